// Coordinates of an element of a row-major shape, for host and device code alike.
#pragma once

#include <cuda_runtime.h>

#include "frame/strides.h"

namespace brelmont {

// Splits flat, a row-major index into shape, into its coordinates and calls visit(d, coordinate) once per
// dimension, innermost first. flat must lie in the shape (so no size is 0); the arithmetic is unsigned, as
// flat and every coordinate are non-negative. On the device the loop is unrolled over the shape's capacity,
// so a shape passed by value to a kernel is read in place rather than copied to local memory. Host code
// may pass a host-only visitor: the execution-space check belongs to the instantiation, not the template.
#if defined(__CUDACC__)
#pragma nv_exec_check_disable
#endif
template <typename Visit>
__host__ __device__ __forceinline__ void for_each_coordinate(int flat, const Shape& shape, Visit&& visit) {
  unsigned rest = static_cast<unsigned>(flat);
#if defined(__CUDACC__)
#pragma unroll
#endif
  for (int d = kMaxDims - 1; d >= 0; --d) {
    if (d >= shape.ndims) continue;
    const unsigned size = static_cast<unsigned>(shape.dims[d]);
    visit(d, static_cast<int>(rest % size));
    rest /= size;
  }
}

}  // namespace brelmont
