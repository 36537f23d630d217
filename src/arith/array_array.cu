// Array-array arithmetic over the common extent: each result element combines the elements of A and B at
// the same N-D coordinate, and the result's size along each dimension is the smaller of the two operands'.
// A dimension of size 1 does not broadcast; it makes the result size 1 there.
//
// The result's space goes through the N-D index engine: dimensions contiguous in both operands merge, so two
// operands of one shape are a single dimension and combine as the elementwise kernels do, a run of elements
// at a time. The space travels to the kernel by value, so a call makes one allocation (the result) and no
// copy to the device. The export waits for its kernel and reports the first failure, the kernel's included.
#include <climits>

#include "cuda_brelmont.h"
#include "frame/launch.h"
#include "frame/nd_index.h"
#include "frame/new_arrays.h"
#include "frame/strides.h"

namespace brelmont {

// The result's simplified space, the flat array, with the strides of A (array 0) and B (array 1), and which
// arrays take word moves (bit 0: A, bit 1: B, bit 2: the result). Named outside an anonymous namespace, so
// the kernels' mangled names stay readable.
struct CommonExtent {
  IndexSpace<2> space;
  unsigned words;
};

}  // namespace brelmont

using brelmont::CommonExtent;

namespace {

struct Add {
  __device__ float operator()(float a, float b) const { return a + b; }
};
struct Subtract {
  __device__ float operator()(float a, float b) const { return a - b; }
};
struct Multiply {
  __device__ float operator()(float a, float b) const { return a * b; }
};
// Correctly rounded: device code is compiled with -prec-div=true.
struct Divide {
  __device__ float operator()(float a, float b) const { return a / b; }
};

// One thread per run of the result. A is always the left operand.
template <typename Op>
__device__ __forceinline__ void combine(const float* a, const float* b, float* result, const CommonExtent& extent) {
  const brelmont::IndexSpace<2>& space = extent.space;
  brelmont::for_this_run(space, [&](auto rank, const brelmont::Run& run) {
    int at[2] = {0, 0};
    brelmont::add_row_offsets<decltype(rank)::value>(run.row, space, at);
    const int step_a = space.stride[0][0], step_b = space.stride[1][0];
    brelmont::RunValues<float> x, y;
    x.load(a + (at[0] + run.x0 * step_a), step_a, run.count, extent.words & 1u);
    y.load(b + (at[1] + run.x0 * step_b), step_b, run.count, extent.words & 2u);
    for (int k = 0; k < brelmont::kRun; ++k)
      if (k < run.count) x.v[k] = Op()(x.v[k], y.v[k]);
    x.store(result + (run.row * space.size[0].divisor + run.x0), 1, run.count, extent.words & 4u);
  });
}

}  // namespace

__global__ void sgl_add_matrix(const float* a, const float* b, float* result, CommonExtent extent) {
  combine<Add>(a, b, result, extent);
}

__global__ void sgl_substract_matrix(const float* a, const float* b, float* result, CommonExtent extent) {
  combine<Subtract>(a, b, result, extent);
}

__global__ void sgl_mult_matrix(const float* a, const float* b, float* result, CommonExtent extent) {
  combine<Multiply>(a, b, result, extent);
}

__global__ void sgl_divide_matrix(const float* a, const float* b, float* result, CommonExtent extent) {
  combine<Divide>(a, b, result, extent);
}

namespace {

using CombineKernel = void (*)(const float*, const float*, float*, CommonExtent);

// The common extent of A and B (common, ndims entries), its element count and the kernel's record of it; false
// outside the contract. Every operand offset must fit an int, so each operand may hold at most INT_MAX elements,
// and the result's byte size must fit an int.
bool common_extent(int ndims, const int* sizes_a, const int* sizes_b, int* common, CommonExtent* extent, int* count) {
  if (ndims < 0 || ndims > brelmont::kMaxDims || (ndims > 0 && (sizes_a == nullptr || sizes_b == nullptr))) {
    return false;
  }
  for (int d = 0; d < ndims; ++d) common[d] = sizes_a[d] < sizes_b[d] ? sizes_a[d] : sizes_b[d];
  int count_a = 0, count_b = 0;
  if (!brelmont::checked_count(sizes_a, ndims, &count_a) || !brelmont::checked_count(sizes_b, ndims, &count_b) ||
      !brelmont::checked_count(common, ndims, count) || *count > INT_MAX / static_cast<int>(sizeof(float))) {
    return false;
  }
  if (*count > 0) {  // every size is then at least 1, and each operand's strides stay within its count
    brelmont::SpaceBuilder<2> space;
    int strides[2] = {1, 1};
    for (int d = ndims - 1; d >= 0; --d) {
      space.add(common[d], strides, {sizes_a[d], sizes_b[d]});
      strides[0] *= sizes_a[d];
      strides[1] *= sizes_b[d];
    }
    extent->space = space.space();
    extent->words = space.word_layout();
  }
  return true;
}

// Validates the shapes, allocates the result and runs kernel over it, then reports the result's sizes and byte
// size (zeros after a refusal or a failure). The sizes are read before anything is written, so result_sizes may
// share storage with an operand's sizes.
cudaError_t combine_arrays(CombineKernel kernel, int ndims, const int* sizes_a, const int* sizes_b, const float* a,
                           const float* b, float** result, int* result_sizes, int* result_bytes) {
  if (result != nullptr) *result = nullptr;
  int common[brelmont::kMaxDims] = {}, count = 0;
  CommonExtent extent{};
  const bool valid = result != nullptr && result_bytes != nullptr && (ndims <= 0 || result_sizes != nullptr) &&
                     common_extent(ndims, sizes_a, sizes_b, common, &extent, &count);
  const cudaError_t status =
      !valid ? cudaErrorInvalidValue
             : brelmont::produce_new_arrays(count, {result}, {{a, count}, {b, count}}, [&](float* out) {
                 extent.words = brelmont::words_of(extent.words, a, b, out);
                 return brelmont::synchronize(brelmont::launch(kernel, brelmont::standard_grid(extent.space.runs),
                                                               brelmont::standard_block(), a, b, out, extent));
               });
  const int bytes = status == cudaSuccess ? count * static_cast<int>(sizeof(float)) : 0;
  // A rank beyond a shape's capacity is not trusted for the length of result_sizes.
  brelmont::report_sizes(status, result_sizes, common, ndims <= brelmont::kMaxDims ? ndims : 0);
  brelmont::report_sizes(status, result_bytes, &bytes, 1);
  return status;
}

}  // namespace

extern "C" cudaError_t SGL_AddArrayArray(int ndims, int* sizesA, int* sizesB, float* A, float* B, float** result,
                                         int* resultSizes, int* resultBytes) {
  return combine_arrays(sgl_add_matrix, ndims, sizesA, sizesB, A, B, result, resultSizes, resultBytes);
}

extern "C" cudaError_t SGL_SubstractArrayArray(int ndims, int* sizesA, int* sizesB, float* A, float* B, float** result,
                                               int* resultSizes, int* resultBytes) {
  return combine_arrays(sgl_substract_matrix, ndims, sizesA, sizesB, A, B, result, resultSizes, resultBytes);
}

extern "C" cudaError_t SGL_MultArrayArray(int ndims, int* sizesA, int* sizesB, float* A, float* B, float** result,
                                          int* resultSizes, int* resultBytes) {
  return combine_arrays(sgl_mult_matrix, ndims, sizesA, sizesB, A, B, result, resultSizes, resultBytes);
}

extern "C" cudaError_t SGL_DivideArrayArray(int ndims, int* sizesA, int* sizesB, float* A, float* B, float** result,
                                            int* resultSizes, int* resultBytes) {
  return combine_arrays(sgl_divide_matrix, ndims, sizesA, sizesB, A, B, result, resultSizes, resultBytes);
}
