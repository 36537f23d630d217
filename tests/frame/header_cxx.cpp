// The public header compiles as C++ on its own, and its exports link from C++.
#include "cuda_brelmont.h"

int main() {
  cudaError_t (*set)(float2*, float2*, int) = CSG_SetTensor;
  float2* (*create)(int, float2*) = CSG_InitArray;
  return (set != nullptr && create != nullptr) ? 0 : 1;
}
