// hostcuda: how one block of a launch runs (blocks.cpp).
#pragma once

#include "hostcuda/kernel.h"

namespace hostcuda {

// Runs every thread of one block, with blockIdx, blockDim and gridDim already set: thread(context) once
// per thread, threadIdx set for each. __syncthreads works in it as on the device.
void run_block(void (*thread)(void*), void* context, dim3 block);

// Frees the fiber stacks the calling thread keeps for its later blocks. A worker calls it as it ends; a
// host thread of the caller's keeps them until the process ends.
void release_block_stacks();

}  // namespace hostcuda
