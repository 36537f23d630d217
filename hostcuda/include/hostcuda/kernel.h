/* hostcuda: what kernel code needs to compile and run as host C++.
 *
 * A launch runs every thread of the grid on the calling host thread, one call of the kernel per thread,
 * blocks in a scrambled order. There is no barrier and no shared memory: __syncthreads and __shared__
 * are deliberately absent, so a kernel that needs them does not compile here. */
#ifndef HOSTCUDA_KERNEL_H
#define HOSTCUDA_KERNEL_H

#include "hostcuda/config.h"
#include "../driver_types.h"
#include "../vector_types.h"

#define __global__
#define __device__
#define __host__
#define __forceinline__ inline __attribute__((always_inline))
#define __launch_bounds__(...)

/* The coordinates of the running thread; set by the launcher before each call of the kernel. Plain uint3
 * for all four keeps them trivially constructed, so kernels read them without a TLS wrapper call. */
extern HOSTCUDA_API thread_local uint3 threadIdx;
extern HOSTCUDA_API thread_local uint3 blockIdx;
extern HOSTCUDA_API thread_local uint3 blockDim;
extern HOSTCUDA_API thread_local uint3 gridDim;

HOSTCUDA_EXTERN_C_BEGIN

/* Validates grid and block against the device limits (as the runtime's launch does) and, if they are
 * valid, calls thread(context) once for every thread of the grid. A refused launch runs nothing,
 * returns cudaErrorInvalidConfiguration and leaves it as the pending last error. */
HOSTCUDA_API cudaError_t hostcudaLaunch(dim3 grid, dim3 block, void (*thread)(void*), void* context);

HOSTCUDA_EXTERN_C_END

#endif
