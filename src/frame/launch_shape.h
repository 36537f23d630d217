// Launch shapes shared by every export: the standard launch and the wide grid. Host code only.
#pragma once

#include <cuda_runtime.h>

#include <cmath>

namespace brelmont {

// Threads per block of the standard and wide-grid launches.
constexpr unsigned kBlockThreads = 512;
// Largest grid.x of a 1-D wide grid before it turns two-dimensional.
constexpr unsigned kWideGridMaxX = 65535;

inline dim3 standard_block() { return dim3(kBlockThreads); }

// Standard launch over n >= 1 elements: ceil(n / 512) blocks. n * 2^-9 is exact in double, so the ceiling
// is exact for every int n; for n = 2147483647 it is 4194304 blocks.
inline dim3 standard_grid(int n) { return dim3(static_cast<unsigned>(std::ceil(n * 0.001953125))); }

// Wide-grid launch over n >= 1 elements: up to 65535 blocks in x, beyond that a near-square x * y grid.
// Pair it with wide_index() in the kernel.
inline dim3 make_grid(int n) {
  const unsigned count = static_cast<unsigned>(n);
  const unsigned blocks = ((count - 1) >> 9) + 1;
  if (blocks <= kWideGridMaxX) return dim3(blocks);
  const unsigned x = static_cast<unsigned>(std::ceil(std::sqrt(static_cast<double>(blocks))));
  const unsigned y = (count - 1) / (x * kBlockThreads) + 1;
  return dim3(x, y);
}

// Blocks of `threads` threads covering n >= 1 elements, one per thread: ceil(n / threads), without the int
// overflow of (n + threads - 1) / threads near INT_MAX. Pair it with standard_index() in the kernel.
inline dim3 blocks_covering(int n, unsigned threads) { return dim3((static_cast<unsigned>(n) - 1) / threads + 1); }

}  // namespace brelmont
