// Array-array arithmetic over the common extent: each result element combines the elements of A and B at
// the same N-D coordinate, and the result's size along each dimension is the smaller of the two operands'.
// A dimension of size 1 does not broadcast; it makes the result size 1 there.
//
// The shapes travel to the kernel by value, so a call makes one allocation (the result) and no copy to the
// device. The export waits for its kernel and reports the first failure, the kernel's included.
#include <climits>

#include "cuda_brelmont.h"
#include "frame/coordinates.h"
#include "frame/kernel_index.h"
#include "frame/launch.h"
#include "frame/new_arrays.h"
#include "frame/strides.h"

namespace brelmont {

// The result's shape and the operands' row-major strides: all a thread needs to find its two operands.
// Named outside an anonymous namespace, so the kernels' mangled names stay readable.
struct CommonExtent {
  Shape result;
  int a_strides[kMaxDims];
  int b_strides[kMaxDims];
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

// One thread per result element, standard launch. A is always the left operand.
template <typename Op>
__device__ __forceinline__ void combine(const float* a, const float* b, float* result, const CommonExtent& extent,
                                        int count) {
  const int t = brelmont::standard_index();
  if (t >= count) return;
  int at_a = 0, at_b = 0;
  brelmont::for_each_coordinate(t, extent.result, [&](int d, int coordinate) {
    at_a += coordinate * extent.a_strides[d];
    at_b += coordinate * extent.b_strides[d];
  });
  result[t] = Op()(a[at_a], b[at_b]);
}

}  // namespace

__global__ void sgl_add_matrix(const float* a, const float* b, float* result, CommonExtent extent, int count) {
  combine<Add>(a, b, result, extent, count);
}

__global__ void sgl_substract_matrix(const float* a, const float* b, float* result, CommonExtent extent, int count) {
  combine<Subtract>(a, b, result, extent, count);
}

__global__ void sgl_mult_matrix(const float* a, const float* b, float* result, CommonExtent extent, int count) {
  combine<Multiply>(a, b, result, extent, count);
}

__global__ void sgl_divide_matrix(const float* a, const float* b, float* result, CommonExtent extent, int count) {
  combine<Divide>(a, b, result, extent, count);
}

namespace {

using CombineKernel = void (*)(const float*, const float*, float*, CommonExtent, int);

// The result's shape and the operands' strides, and the result's element count; false outside the contract.
// Every operand offset must fit an int, so each operand may hold at most INT_MAX elements, and the result's byte
// size must fit an int.
bool common_extent(int ndims, const int* sizes_a, const int* sizes_b, CommonExtent* extent, int* count) {
  if (ndims < 0 || ndims > brelmont::kMaxDims || (ndims > 0 && (sizes_a == nullptr || sizes_b == nullptr))) {
    return false;
  }
  extent->result.ndims = ndims;
  for (int d = 0; d < ndims; ++d) extent->result.dims[d] = sizes_a[d] < sizes_b[d] ? sizes_a[d] : sizes_b[d];
  int count_a = 0, count_b = 0;
  if (!brelmont::checked_count(sizes_a, ndims, &count_a) || !brelmont::checked_count(sizes_b, ndims, &count_b) ||
      !brelmont::checked_count(extent->result.dims, ndims, count) ||
      *count > INT_MAX / static_cast<int>(sizeof(float))) {
    return false;
  }
  brelmont::make_strides(extent->a_strides, sizes_a, ndims);
  brelmont::make_strides(extent->b_strides, sizes_b, ndims);
  return true;
}

// Validates the shapes, allocates the result and runs kernel over it, then reports the result's sizes and byte
// size (zeros after a refusal or a failure). The sizes are read before anything is written, so result_sizes may
// share storage with an operand's sizes.
cudaError_t combine_arrays(CombineKernel kernel, int ndims, const int* sizes_a, const int* sizes_b, const float* a,
                           const float* b, float** result, int* result_sizes, int* result_bytes) {
  if (result != nullptr) *result = nullptr;
  CommonExtent extent{};
  int count = 0;
  const bool valid = result != nullptr && result_bytes != nullptr && (ndims <= 0 || result_sizes != nullptr) &&
                     common_extent(ndims, sizes_a, sizes_b, &extent, &count);
  const cudaError_t status =
      !valid ? cudaErrorInvalidValue
             : brelmont::produce_new_arrays(count, {result}, {{a, count}, {b, count}}, [&](float* out) {
                 return brelmont::synchronize(brelmont::launch(kernel, brelmont::standard_grid(count),
                                                               brelmont::standard_block(), a, b, out, extent, count));
               });
  const int bytes = status == cudaSuccess ? count * static_cast<int>(sizeof(float)) : 0;
  // A rank beyond a shape's capacity is not trusted for the length of result_sizes.
  brelmont::report_sizes(status, result_sizes, extent.result.dims, ndims <= brelmont::kMaxDims ? ndims : 0);
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
