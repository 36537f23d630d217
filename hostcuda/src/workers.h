// hostcuda: the host threads that share the blocks of a launch (workers.cpp).
#pragma once

#include <functional>

namespace hostcuda {

// How many host threads run the blocks of one launch: HOSTCUDA_BLOCK_THREADS from the environment at start-up
// (default 1), or what hostcudaSetBlockThreads set since.
unsigned block_threads();

// Calls share(0) ... share(shares - 1) on worker threads of the calling thread (with one share: share(0) on
// the calling thread itself) and returns once every call has returned. Each launching host thread keeps its own workers, so launches from
// different host threads never wait for one another, and everything a share did is visible on return.
void run_shares(unsigned shares, const std::function<void(unsigned)>& share);

}  // namespace hostcuda
