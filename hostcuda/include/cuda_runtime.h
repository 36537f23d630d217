/* hostcuda: what a .cu file sees of the runtime. In C++ this also brings the kernel qualifiers, the thread
 * coordinates and the device intrinsics, so kernels compile unchanged with the host compiler. */
#ifndef HOSTCUDA_CUDA_RUNTIME_H
#define HOSTCUDA_CUDA_RUNTIME_H

#include "cuda_runtime_api.h"

#ifdef __cplusplus
#include "hostcuda/atomics.h"
#include "hostcuda/device_functions.h"
#include "hostcuda/kernel.h"

inline float2 make_float2(float x, float y) { return float2{x, y}; }
inline int2 make_int2(int x, int y) { return int2{x, y}; }
inline uint3 make_uint3(unsigned int x, unsigned int y, unsigned int z) { return uint3{x, y, z}; }
#endif

#endif
