// Random numbers: a counter-based generator that device and host code share, and the seed of each call.
//
// random_bits(seed, i) is the i-th output of SplitMix64 started at seed: a bijective mix of seed + (i + 1) *
// golden gamma. It needs no state, so every thread draws its own number, and the same seed gives the same
// numbers in both variants.
#pragma once

#include <cuda_runtime.h>

#include <atomic>
#include <chrono>

// The host variant's runtime, hostcuda, lets tests fix the seeds.
#if defined(HOSTCUDA_CUDA_RUNTIME_H)
#include "hostcuda/hooks.h"
#define BRELMONT_SEEDS_CAN_BE_FIXED 1
#endif

namespace brelmont {

// SplitMix64's increment: 2^64 over the golden ratio, odd.
constexpr unsigned long long kGoldenGamma = 0x9e3779b97f4a7c15ull;

// SplitMix64's finaliser, a bijection of 64-bit words.
__host__ __device__ __forceinline__ unsigned long long mix64(unsigned long long z) {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

__host__ __device__ __forceinline__ unsigned long long random_bits(unsigned long long seed, unsigned long long i) {
  return mix64(seed + (i + 1) * kGoldenGamma);
}

// A new seed for every call in the process. Each call takes a tick that is the high-resolution clock or, when
// the clock has not moved past the last tick handed out, that tick plus one; the ticks of a process are
// therefore all different, and mixing them bijectively keeps the seeds different. In the host variant a test
// may fix the seeds instead (hostcudaFixSeed).
inline unsigned long long next_seed() {
#if defined(BRELMONT_SEEDS_CAN_BE_FIXED)
  unsigned long long fixed = 0;
  if (hostcudaNextFixedSeed(&fixed)) return fixed;
#endif
  static std::atomic<unsigned long long> last_tick{0};
  const auto now = std::chrono::high_resolution_clock::now().time_since_epoch();
  const unsigned long long clock = static_cast<unsigned long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
  unsigned long long last = last_tick.load();
  unsigned long long tick;
  do {
    tick = clock > last ? clock : last + 1;
  } while (!last_tick.compare_exchange_weak(last, tick));
  return mix64(tick);
}

}  // namespace brelmont
