// One scalar combined with every element of an array, in place. The scalar travels as a kernel argument.
#include "cuda_brelmont.h"
#include "frame/kernel_index.h"
#include "frame/launch.h"

// Addition and multiplication commute, so one kernel each serves both operand orders.
__global__ void sgl_add_scalar_array(float* data, float s, int n) {
  const int i = brelmont::standard_index();
  if (i < n) data[i] = data[i] + s;
}

__global__ void sgl_subtract_array_scalar(float* data, float s, int n) {
  const int i = brelmont::standard_index();
  if (i < n) data[i] = data[i] - s;
}

__global__ void sgl_subtract_scalar_array(float* data, float s, int n) {
  const int i = brelmont::standard_index();
  if (i < n) data[i] = s - data[i];
}

__global__ void sgl_mult_scalar_array(float* data, float s, int n) {
  const int i = brelmont::standard_index();
  if (i < n) data[i] = data[i] * s;
}

__global__ void sgl_divide_array_scalar(float* data, float s, int n) {
  const int i = brelmont::standard_index();
  if (i < n) data[i] = __fdiv_rn(data[i], s);
}

__global__ void sgl_divide_scalar_array(float* data, float s, int n) {
  const int i = brelmont::standard_index();
  if (i < n) data[i] = __fdiv_rn(s, data[i]);
}

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
