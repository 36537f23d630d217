// Boxes of N-D arrays: a wrapping box copied out (subset), some coordinates fixed (index), a box overwritten
// in place (replace). Each is one launch over the box through the index engine.
#include "cuda_brelmont.h"
#include "sgl_array/restructure.h"

using brelmont::Box;

__global__ void sgl_extract_subarray(const float* src, float* out, Box box) { brelmont::gather_box(src, out, box); }

__global__ void sgl_index_array(const float* src, float* out, Box box) { brelmont::gather_box(src, out, box); }

__global__ void sgl_replace_array_subset(float* dst, const float* sub, Box box) {
  brelmont::scatter_box(dst, sub, box);
}

namespace {

// The box of the subset: along each dimension the coordinates start ... start + size - 1, taken modulo the
// source's size. A dimension of size 1, or one that fits without wrapping, adds a fixed offset; only the
// wrapping ones need the modulo. False when the arguments are outside the contract.
bool subset_box(int ndims, const int* src_dims, const int* start, const int* sub_dims, Box* box, int* count) {
  if (ndims < 0 || (ndims > 0 && !brelmont::all_given(src_dims, start, sub_dims))) return false;
  int src_count = 0;
  // Every source size is at least 1, so the strides below stay within src_count.
  if (!brelmont::checked_count(src_dims, ndims, &src_count) || src_count == 0 ||
      !brelmont::checked_count(sub_dims, ndims, count)) {
    return false;
  }
  brelmont::SpaceBuilder<1> dims;
  int base = 0, stride = 1;
  int wrap_start[brelmont::kMaxRank] = {}, wrap_size[brelmont::kMaxRank] = {};
  unsigned wrapping = 0;
  for (int k = ndims - 1; k >= 0; --k) {
    if (src_dims[k] < 1 || start[k] < 0) return false;
    const int first = start[k] % src_dims[k];
    const bool wraps = sub_dims[k] > 1 && sub_dims[k] > src_dims[k] - first;
    if (wraps) {
      const int at = dims.add_whole(sub_dims[k], {stride}, true);
      wrapping |= 1u << at;
      wrap_start[at] = first;
      wrap_size[at] = src_dims[k];
    } else {
      base += first * stride;
      dims.add_whole(sub_dims[k], {stride});
    }
    stride *= src_dims[k];
  }
  if (*count == 0) return true;  // an empty box reads nothing; its size 0 could not even divide an index
  if (dims.full()) return false;
  *box = brelmont::box_of(dims, base, wrapping);
  for (int d = 0; d < dims.rank(); ++d) {
    box->wrap_start[d] = wrap_start[d];
    if (wrapping >> d & 1u) box->wrap_size[d] = brelmont::FastDivisor::of(wrap_size[d]);
  }
  return true;
}

}  // namespace

extern "C" cudaError_t SGL_ArraySubset(int ndims, int* srcDims, int* start, int* subDims, float* src, float** out) {
  if (out == nullptr) return cudaErrorInvalidValue;
  *out = nullptr;
  Box box;
  int n = 0;
  if (!subset_box(ndims, srcDims, start, subDims, &box, &n)) return cudaErrorInvalidValue;
  return brelmont::produce_new_arrays(n, {out}, {{src, n}}, [&](float* result) {
    return brelmont::synchronize(brelmont::launch_box(sgl_extract_subarray, src, result, box));
  });
}

extern "C" void SGL_IndexArray(int ndims, int* srcDims, int* indices, float* src, float** out, int* outDims) {
  if (out != nullptr) *out = nullptr;
  int src_count = 0;
  if (out == nullptr || ndims < 0 || (ndims > 0 && !brelmont::all_given(srcDims, indices, outDims)) ||
      !brelmont::checked_count(srcDims, ndims, &src_count) || src_count == 0) {
    brelmont::report_sizes(cudaErrorInvalidValue, outDims, nullptr, ndims);
    return;
  }
  // Each dimension keeps its whole extent (index -1) or the one position given; a one-dimensional source
  // always gives one element, src[0] for -1.
  brelmont::SpaceBuilder<1> dims;
  int base = 0, stride = 1, n = 1;
  bool valid = true;
  for (int k = ndims - 1; k >= 0; --k) {
    const int index = indices[k];
    valid = valid && index >= -1 && index < srcDims[k];
    const bool keep = index == -1 && ndims > 1;
    if (keep) {
      dims.add_whole(srcDims[k], {stride});
      n *= srcDims[k];
    } else if (valid && index > 0) {  // an index beyond its dimension would overflow the offset
      base += index * stride;
    }
    stride *= srcDims[k];
  }
  const cudaError_t status =
      !valid ? cudaErrorInvalidValue : brelmont::produce_new_arrays(n, {out}, {{src, n}}, [&](float* result) {
        const brelmont::Box box = brelmont::box_of(dims, base);
        return brelmont::synchronize(brelmont::launch_box(sgl_index_array, src, result, box));
      });
  for (int k = 0; k < ndims; ++k) {  // each entry read before it is written: outDims may be srcDims or indices
    const bool keep = indices[k] == -1 && ndims > 1;
    outDims[k] = status != cudaSuccess ? 0 : keep ? srcDims[k] : 1;
  }
}

extern "C" cudaError_t SGL_ReplaceArraySubset(int ndims, int* dstDims, int* subDims, int* start, float* dst, float* sub) {
  return brelmont::replace_subset(sgl_replace_array_subset, ndims, dstDims, subDims, start, dst, sub);
}
