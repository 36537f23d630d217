// Insert and delete along one axis of an N-D array. Delete splits the source in one pass, each element to
// what remains or to what was removed; insert fills the enlarged output in one pass, each element from the
// source, from the block, or 0.0 where the block is smaller than the source.
#include "cuda_brelmont.h"
#include "sgl_array/restructure.h"

__global__ void sgl_copy_elements(const float* src, float* out, float* deleted, brelmont::Split split) {
  brelmont::split_along_axis(src, out, deleted, split);
}

__global__ void sgl_insert_elements(const float* src, const float* ins, float* out, brelmont::Join join) {
  brelmont::join_along_axis(src, ins, out, join);
}

extern "C" cudaError_t SGL_DeleteFromArray(int ndims, int* srcDims, int start, int count, int axis, float* src,
                                           float** out, int* outDims, float** deleted, int* deletedDims) {
  return brelmont::delete_range(sgl_copy_elements, ndims, srcDims, start, count, axis, src, out, outDims, deleted,
                                deletedDims);
}

extern "C" cudaError_t SGL_InsertIntoArray(int ndims, int insNdims, int* srcDims, int* insDims, int start, int axis,
                                           float* src, float* ins, float** out, int* outDims) {
  using brelmont::Shape;
  if (out != nullptr) *out = nullptr;
  const auto refuse = [&] {  // a rank beyond a shape's capacity is not trusted for the length of outDims
    brelmont::report_sizes(cudaErrorInvalidValue, outDims, nullptr, ndims <= brelmont::kMaxDims ? ndims : 0);
    return cudaErrorInvalidValue;
  };
  if (out == nullptr || ndims < 1 || ndims > brelmont::kMaxDims || (insNdims != ndims && insNdims != ndims - 1)) {
    return refuse();
  }
  if (!brelmont::all_given(srcDims, outDims) || (insNdims > 0 && insDims == nullptr) || axis < 0 || axis >= ndims) {
    return refuse();
  }
  // The block gets the source's rank: a block of one dimension fewer is one slice thick along the axis.
  Shape block{{}, ndims}, result{{}, ndims};
  for (int k = 0, j = 0; k < ndims; ++k) block.dims[k] = insNdims == ndims || k != axis ? insDims[j++] : 1;
  for (int k = 0; k < ndims; ++k) result.dims[k] = srcDims[k];
  int src_count = 0, block_count = 0, n = 0;
  if (!brelmont::checked_count(srcDims, ndims, &src_count) || !brelmont::checked_count(block.dims, ndims, &block_count) ||
      src_count == 0 || block_count == 0 || start < 0 || start > srcDims[axis]) {
    return refuse();
  }
  const long long along = static_cast<long long>(srcDims[axis]) + block.dims[axis];
  if (along > INT_MAX) return refuse();
  result.dims[axis] = static_cast<int>(along);
  if (!brelmont::checked_count(result.dims, ndims, &n)) return refuse();

  int axis_at = 0;
  brelmont::SpaceBuilder<2> space;
  int strides[2] = {1, 1};  // of src and of the block
  for (int k = ndims - 1; k >= 0; --k) {
    const int at = space.add(result.dims[k], strides, {srcDims[k], block.dims[k]}, k == axis);
    if (k == axis) axis_at = at;
    strides[0] *= srcDims[k];
    strides[1] *= block.dims[k];
  }
  const brelmont::Join join = brelmont::join_of(space, axis_at, start, block.dims[axis], n);
  const cudaError_t status =
      brelmont::produce_new_arrays(n, {out}, {{src, src_count}, {ins, block_count}}, [&](float* result_array) {
        return brelmont::synchronize(brelmont::launch_join(sgl_insert_elements, src, ins, result_array, join));
      });
  brelmont::report_sizes(status, outDims, result.dims, ndims);
  return status;
}
