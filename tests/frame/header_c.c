/* The public header compiles as C on its own, and its exports link from C. */
#include "cuda_brelmont.h"

int main(void) {
  cudaError_t (*set)(float*, float, int) = SGL_SetTensor;
  float* (*create)(int, float) = SGL_InitArray;
  return (set != 0 && create != 0) ? 0 : 1;
}
