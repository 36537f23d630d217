// Real arrays: creation by fill, and single-element updates.
#include "cuda_brelmont.h"
#include "frame/device_memory.h"
#include "frame/kernel_index.h"
#include "frame/launch.h"

__global__ void sgl_init(float* data, float value, int n) {
  const int i = brelmont::wide_index();
  if (i < n) data[i] = value;
}

// One thread. The host rejects negative indices; the guard here keeps the kernel safe on its own.
__global__ void sgl_increment_element(float* data, int index, int n) {
  if (index >= 0 && index < n) data[index] = data[index] + 1.0f;
}

__global__ void sgl_decrement_element(float* data, int index, int n) {
  if (index >= 0 && index < n) data[index] = data[index] + -1.0f;
}

namespace {

// Launch status: returns without waiting. An index at or beyond n is a successful no-op.
cudaError_t update_element(void (*kernel)(float*, int, int), float* data, int index, int n) {
  if (index < 0) return cudaErrorInvalidValue;
  if (index >= n) return cudaSuccess;
  if (brelmont::reaches_null({{data, 1}})) return cudaErrorInvalidValue;
  return brelmont::launch(kernel, dim3(1), dim3(1), data, index, n);
}

}  // namespace

extern "C" float* SGL_InitArray(int n, float value) { return brelmont::create_filled(sgl_init, n, value); }

extern "C" cudaError_t SGL_IncrementElement(float* data, int index, int n) {
  return update_element(sgl_increment_element, data, index, n);
}

extern "C" cudaError_t SGL_DecrementElement(float* data, int index, int n) {
  return update_element(sgl_decrement_element, data, index, n);
}
