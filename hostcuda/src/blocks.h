// hostcuda: how one block of a launch runs (blocks.cpp).
#pragma once

#include "hostcuda/kernel.h"

namespace hostcuda {

// Runs every thread of one block, with blockIdx, blockDim and gridDim already set: thread(context) once
// per thread, threadIdx set for each. __syncthreads works in it as on the device.
void run_block(void (*thread)(void*), void* context, dim3 block);

}  // namespace hostcuda
