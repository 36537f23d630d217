/* hostcuda: what kernel code needs to compile and run as host C++.
 *
 * A launch runs every thread of the grid on the calling host thread, one call of the kernel per thread,
 * blocks in a scrambled order; on request (hostcudaSetBlockThreads) its blocks are shared among several
 * worker threads instead. __syncthreads is a real barrier of the block: the threads of a block that meets
 * one run as fibers of the host thread that runs the block. A block's __shared__ variables are static
 * thread_locals: one copy per host thread, which runs one block at a time, so each block has its own,
 * holding whatever an earlier block left there until its threads write them. */
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
#define __shared__ static thread_local

/* The coordinates of the running thread; set by the launcher before each call of the kernel. Plain uint3
 * for all four keeps them trivially constructed, so kernels read them without a TLS wrapper call. */
#if defined(_WIN32)
/* A DLL cannot export thread-local data: on Windows other modules reach the coordinates through functions
 * of hostcuda, which return this host thread's copy. */
HOSTCUDA_EXTERN_C_BEGIN
HOSTCUDA_API const uint3* hostcudaThreadIdx(void);
HOSTCUDA_API const uint3* hostcudaBlockIdx(void);
HOSTCUDA_API const uint3* hostcudaBlockDim(void);
HOSTCUDA_API const uint3* hostcudaGridDim(void);
HOSTCUDA_EXTERN_C_END
#  if defined(HOSTCUDA_BUILDING)
extern thread_local uint3 threadIdx;
extern thread_local uint3 blockIdx;
extern thread_local uint3 blockDim;
extern thread_local uint3 gridDim;
#  else
#    define threadIdx (*hostcudaThreadIdx())
#    define blockIdx (*hostcudaBlockIdx())
#    define blockDim (*hostcudaBlockDim())
#    define gridDim (*hostcudaGridDim())
#  endif
#else
extern HOSTCUDA_API thread_local uint3 threadIdx;
extern HOSTCUDA_API thread_local uint3 blockIdx;
extern HOSTCUDA_API thread_local uint3 blockDim;
extern HOSTCUDA_API thread_local uint3 gridDim;
#endif

HOSTCUDA_EXTERN_C_BEGIN

/* Validates grid and block against the device limits (as the runtime's launch does) and, if they are
 * valid, calls thread(context) once for every thread of the grid. A refused launch runs nothing,
 * returns cudaErrorInvalidConfiguration and leaves it as the pending last error. */
HOSTCUDA_API cudaError_t hostcudaLaunch(dim3 grid, dim3 block, void (*thread)(void*), void* context);

/* Waits until every thread of the block that has not finished reaches this call. */
HOSTCUDA_API void __syncthreads(void);

HOSTCUDA_EXTERN_C_END

#endif
