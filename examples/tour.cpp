// A tour of cuda_brelmont: one typical sequence of calls, printing what each step does and what it returns.
// Every status is checked; the tour stops at the first failure with a non-zero exit code.
#include <cuda_runtime.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cuda_brelmont.h"

namespace {

void check(cudaError_t status, const char* what) {
  if (status != cudaSuccess) {
    std::fprintf(stderr, "tour: %s failed: %s (%s)\n", what, cudaGetErrorName(status), cudaGetErrorString(status));
    std::exit(1);
  }
}

template <typename T>
T* check_new(T* array, const char* what) {
  if (array == nullptr) {
    std::fprintf(stderr, "tour: %s returned no array\n", what);
    std::exit(1);
  }
  return array;
}

std::vector<float> download(const float* device, int n) {
  std::vector<float> host(n);
  check(cudaMemcpy(host.data(), device, n * sizeof(float), cudaMemcpyDeviceToHost), "cudaMemcpy to the host");
  return host;
}

void print(const char* label, const std::vector<float>& values) {
  std::printf("  %-28s [", label);
  for (size_t i = 0; i < values.size(); ++i) std::printf(i ? ", %.7g" : "%.7g", values[i]);
  std::printf("]\n");
}

}  // namespace

int main() {
  int devices = 0;
  check(cudaGetDeviceCount(&devices), "cudaGetDeviceCount");
  std::printf("cuda_brelmont tour on %d device(s)\n\n", devices);

  std::printf("1. SGL_InitArray(6, 0.5f): a new device array of six floats, all 0.5\n");
  float* p = check_new(SGL_InitArray(6, 0.5f), "SGL_InitArray");
  print("p =", download(p, 6));

  std::printf("2. SGL_IncrementElement(p, 2, 6) and SGL_DecrementElement(p, 5, 6): one element each\n");
  check(SGL_IncrementElement(p, 2, 6), "SGL_IncrementElement");
  check(SGL_DecrementElement(p, 5, 6), "SGL_DecrementElement");
  check(cudaDeviceSynchronize(), "cudaDeviceSynchronize");  // element updates return before their kernels run
  print("p =", download(p, 6));

  std::printf("3. SGL_SetTensor(p, -1.25f, 2): overwrite the first two elements\n");
  check(SGL_SetTensor(p, -1.25f, 2), "SGL_SetTensor");
  print("p =", download(p, 6));

  std::printf("4. CSG_InitArray(3, &(1, -2)): a new complex array\n");
  float2 value{1.0f, -2.0f};
  float2* c = check_new(CSG_InitArray(3, &value), "CSG_InitArray");
  value = float2{0.0f, 4.0f};
  check(CSG_SetTensor(c, &value, 1), "CSG_SetTensor");
  print("c as (re, im) pairs =", download(reinterpret_cast<float*>(c), 6));

  std::printf("5. release what the library handed over, with the runtime's own cudaFree\n");
  check(cudaFree(p), "cudaFree");
  check(cudaFree(c), "cudaFree");
  std::printf("\ntour complete\n");
  return 0;
}
