// Filling the first n elements of an existing array with one value.
#include "cuda_brelmont.h"
#include "frame/kernel_index.h"
#include "frame/launch.h"

__global__ void sgl_set_tensor(float* data, float value, int n) {
  const int i = brelmont::standard_index();
  if (i < n) data[i] = value;
}

__global__ void csg_set_tensor(float2* data, float2 value, int n) {
  const int i = brelmont::standard_index();
  if (i < n) data[i] = value;
}

extern "C" cudaError_t SGL_SetTensor(float* data, float value, int n) {
  return brelmont::run_standard(sgl_set_tensor, n, data, value, n);
}

extern "C" cudaError_t CSG_SetTensor(float2* data, float2* value, int n) {
  if (n <= 0) return brelmont::synchronize(cudaSuccess);
  if (value == nullptr) return cudaErrorInvalidValue;
  return brelmont::run_standard(csg_set_tensor, n, data, *value, n);
}
