/* hostcuda: test hooks. They exist only in the stand-in runtime: tests use them to see leaks, unwritten
 * memory and launches, and to make a runtime operation fail on demand. */
#ifndef HOSTCUDA_HOOKS_H
#define HOSTCUDA_HOOKS_H

#include <stddef.h>

#include "../driver_types.h"
#include "hostcuda/config.h"

/* Every byte of a new allocation holds this value until something writes it. */
#define HOSTCUDA_POISON_BYTE 0xA5

HOSTCUDA_EXTERN_C_BEGIN

/* Number of device allocations made and not yet released. */
HOSTCUDA_API size_t hostcudaLiveAllocations(void);

/* The k-th next cudaMalloc (k = 1: the very next one) fails with cudaErrorMemoryAllocation and stores a null
 * pointer. k <= 0 cancels a pending request. */
HOSTCUDA_API void hostcudaFailAllocation(int k);

/* The k-th next launch (k = 1: the very next one) is refused with the given error and runs nothing.
 * k <= 0 cancels a pending request. */
HOSTCUDA_API void hostcudaFailLaunch(int k, cudaError_t error);

/* The k-th next cudaMemcpy (k = 1: the very next one) fails with the given error and copies nothing.
 * k <= 0 cancels a pending request. */
HOSTCUDA_API void hostcudaFailCopy(int k, cudaError_t error);

/* The next cudaDeviceSynchronize reports the given error, as it would after a kernel fault. */
HOSTCUDA_API void hostcudaFailSynchronize(cudaError_t error);

/* Number of launches asked for so far, refused ones included. */
HOSTCUDA_API unsigned long long hostcudaLaunchCount(void);

/* Runtime calls served so far, by kind: every call counts, failed ones included (a cudaFree of null is no
 * call). Tests take the difference across an export call to check the calls it makes. */
typedef struct hostcudaCallCounts {
  unsigned long long allocations;      /* cudaMalloc */
  unsigned long long releases;         /* cudaFree of a non-null pointer */
  unsigned long long copies_to_device; /* cudaMemcpy, host to device */
  unsigned long long copies_to_host;   /* cudaMemcpy, device to host */
  unsigned long long copies_on_device; /* cudaMemcpy, device to device */
  unsigned long long copies_on_host;   /* cudaMemcpy, host to host */
  unsigned long long memsets;          /* cudaMemset */
  unsigned long long synchronizations; /* cudaDeviceSynchronize */
  unsigned long long launches;         /* launches asked for, refused ones included */
} hostcudaCallCounts;

HOSTCUDA_API hostcudaCallCounts hostcudaCounts(void);

/* Device work queued since the last call that waits for all of it, as a GPU would still be running it: launches
 * that ran, device-to-device copies and memsets count one each. cudaDeviceSynchronize (even one that reports a
 * fault) and a copy from device to host memory wait for everything: the count drops to 0. A copy from host to
 * device memory waits for what came before it, but returns once the host data is staged: the count drops to 1,
 * its own transfer. A failed or refused call queues and waits for nothing, and cudaFree waits for nothing here,
 * although a GPU's often happens to. */
HOSTCUDA_API unsigned long long hostcudaPendingWork(void);

/* Marks the live allocation whose base address is p as memory of the given device, which
 * cudaPointerGetAttributes then reports; copies and kernels still reach it, as they would with peer access.
 * Allocations start on device 0, the current one. cudaErrorInvalidValue, with nothing changed, when p is no
 * live allocation's base address. */
HOSTCUDA_API cudaError_t hostcudaSetAllocationDevice(void* p, int device);

/* Fixes the seeds of the library's random draws (the shuffle): after this call the k-th seed drawn
 * (k = 0, 1, ...) is seed + k, until the next call. fixed = 0 returns to the library's own seeds. */
HOSTCUDA_API void hostcudaFixSeed(int fixed, unsigned long long seed);

/* For the library: 1 and the next fixed seed in *seed while seeds are fixed, else 0 and *seed untouched. */
HOSTCUDA_API int hostcudaNextFixedSeed(unsigned long long* seed);

/* Runs the blocks of each later launch on n host threads (n < 1 counts as 1; at most 64): the launching
 * thread and n - 1 workers of its own. The start-up value comes from the environment variable
 * HOSTCUDA_BLOCK_THREADS, default 1: one thread, blocks in a fixed scrambled order. Returns the previous n. */
HOSTCUDA_API int hostcudaSetBlockThreads(int n);

HOSTCUDA_EXTERN_C_END

#endif
