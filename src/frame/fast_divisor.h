// Division by a divisor fixed before a launch, as a multiply-high, an add and a shift: the magic number is
// made once on the host, so splitting an element index into coordinates costs a kernel no integer division.
#pragma once

#include <cuda_runtime.h>

#include <cstdint>

namespace brelmont {

struct FastDivisor {
  unsigned divisor;  // 1 ... INT_MAX
  unsigned magic;
  unsigned shift;

  // Host: the divisor d >= 1. With s the least power of two >= d, magic = 2^32 (2^s - d) / d + 1 fits 32 bits,
  // and (mulhi(n, magic) + n) >> s is n / d for every 0 <= n < 2^31 (the sum stays below 2^32).
  static FastDivisor of(int d) {
    unsigned s = 0;
    while ((1u << s) < static_cast<unsigned>(d)) ++s;
    const uint64_t m = ((uint64_t{1} << 32) * ((uint64_t{1} << s) - static_cast<unsigned>(d))) / static_cast<unsigned>(d) + 1;
    return FastDivisor{static_cast<unsigned>(d), static_cast<unsigned>(m), s};
  }

  // n / divisor, for 0 <= n <= INT_MAX.
  __host__ __device__ __forceinline__ unsigned quotient(unsigned n) const {
#if defined(__CUDA_ARCH__)
    const unsigned high = __umulhi(n, magic);
#else
    const unsigned high = static_cast<unsigned>((uint64_t{n} * magic) >> 32);
#endif
    return (high + n) >> shift;
  }
};

}  // namespace brelmont
