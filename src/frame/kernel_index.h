// Where a kernel thread finds its element. The arithmetic is unsigned, so it cannot overflow, and the
// result fits a signed int for every grid that make_grid and standard_grid produce (at most 2^31 threads).
#pragma once

#include <cuda_runtime.h>

namespace brelmont {

// Element of this thread in a standard (1-D) launch.
__device__ __forceinline__ int standard_index() {
  return static_cast<int>(blockIdx.x * blockDim.x + threadIdx.x);
}

// Element of this thread in a wide-grid launch (make_grid).
__device__ __forceinline__ int wide_index() {
  return static_cast<int>((blockIdx.y * gridDim.x + blockIdx.x) * blockDim.x + threadIdx.x);
}

}  // namespace brelmont
