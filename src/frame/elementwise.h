// Kernel bodies of the elementwise families: one thread per element of a standard launch, the
// per-element function a template argument, so every kernel of these families is one line.
#pragma once

#include <cuda_runtime.h>

#include "frame/kernel_index.h"

namespace brelmont {

// data[i] = F(data[i]).
template <float (*F)(float)>
__device__ __forceinline__ void in_place(float* data, int n) {
  const int i = standard_index();
  if (i < n) data[i] = F(data[i]);
}

// data[i] = F(data[i], s), the scalar s a kernel argument.
template <float (*F)(float, float)>
__device__ __forceinline__ void in_place_with(float* data, float s, int n) {
  const int i = standard_index();
  if (i < n) data[i] = F(data[i], s);
}

// out[i] = F(x[i], y[i]).
template <float (*F)(float, float)>
__device__ __forceinline__ void from_pair(const float* x, const float* y, int n, float* out) {
  const int i = standard_index();
  if (i < n) out[i] = F(x[i], y[i]);
}

}  // namespace brelmont
