// One scalar combined with every element of an array, in place. The scalar travels as a kernel argument.
#include "cuda_brelmont.h"
#include "frame/elementwise.h"
#include "frame/launch.h"

using brelmont::in_place_with;

namespace {

__device__ __forceinline__ float plus(float x, float s) { return x + s; }
__device__ __forceinline__ float minus(float x, float s) { return x - s; }
__device__ __forceinline__ float subtracted_from(float x, float s) { return s - x; }
__device__ __forceinline__ float times(float x, float s) { return x * s; }
__device__ __forceinline__ float over(float x, float s) { return __fdiv_rn(x, s); }
__device__ __forceinline__ float divided_into(float x, float s) { return __fdiv_rn(s, x); }

}  // namespace

// Addition and multiplication commute, so one kernel each serves both operand orders.
__global__ void sgl_add_scalar_array(float* data, float s, int n) { in_place_with<plus>(data, s, n); }
__global__ void sgl_subtract_array_scalar(float* data, float s, int n) { in_place_with<minus>(data, s, n); }
__global__ void sgl_subtract_scalar_array(float* data, float s, int n) { in_place_with<subtracted_from>(data, s, n); }
__global__ void sgl_mult_scalar_array(float* data, float s, int n) { in_place_with<times>(data, s, n); }
__global__ void sgl_divide_array_scalar(float* data, float s, int n) { in_place_with<over>(data, s, n); }
__global__ void sgl_divide_scalar_array(float* data, float s, int n) { in_place_with<divided_into>(data, s, n); }

extern "C" cudaError_t SGL_AddArrayScalar(float* data, float s, int n) {
  return brelmont::run_standard(sgl_add_scalar_array, n, data, s, n);
}

extern "C" cudaError_t SGL_SubtractArrayScalar(float* data, float s, int n) {
  return brelmont::run_standard(sgl_subtract_array_scalar, n, data, s, n);
}

extern "C" cudaError_t SGL_SubtractScalarArray(float* data, float s, int n) {
  return brelmont::run_standard(sgl_subtract_scalar_array, n, data, s, n);
}

extern "C" cudaError_t SGL_MultArrayScalar(float* data, float s, int n) {
  return brelmont::run_standard(sgl_mult_scalar_array, n, data, s, n);
}

extern "C" cudaError_t SGL_DivideArrayScalar(float* data, float s, int n) {
  return brelmont::run_standard(sgl_divide_array_scalar, n, data, s, n);
}

extern "C" cudaError_t SGL_DivideScalarArray(float* data, float s, int n) {
  return brelmont::run_standard(sgl_divide_scalar_array, n, data, s, n);
}
