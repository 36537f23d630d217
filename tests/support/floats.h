// Comparing floats by their bits and measuring errors in units in the last place.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace testing_support {

inline uint32_t bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

inline float from_bits(uint32_t u) {
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}

// Same value and same sign, bit for bit; any NaN matches any NaN (NaN payloads are not specified).
inline bool same_float(float a, float b) { return (std::isnan(a) && std::isnan(b)) || bits(a) == bits(b); }

inline ::testing::AssertionResult SameFloat(const char* a_expr, const char* b_expr, float a, float b) {
  if (same_float(a, b)) return ::testing::AssertionSuccess();
  char text[160];
  std::snprintf(text, sizeof text, "%.9g (0x%08x) vs %.9g (0x%08x)", a, bits(a), b, bits(b));
  return ::testing::AssertionFailure() << a_expr << " and " << b_expr << " differ: " << text;
}

#define EXPECT_SAME_FLOAT(a, b) EXPECT_PRED_FORMAT2(::testing_support::SameFloat, a, b)
#define ASSERT_SAME_FLOAT(a, b) ASSERT_PRED_FORMAT2(::testing_support::SameFloat, a, b)

// Size of one float ulp at the magnitude of x (x finite): 2^(e - 23) for normal x, 2^-149 below.
inline long double float_ulp(long double x) {
  const long double ax = std::fabs(x);
  if (ax < std::numeric_limits<float>::min()) return std::ldexp(1.0L, -149);
  int e;
  std::frexp(ax, &e);  // ax = m * 2^e with m in [0.5, 1)
  if (e > 128) e = 128;  // beyond the float range, measure in ulps of the largest binade
  return std::ldexp(1.0L, e - 1 - 23);
}

}  // namespace testing_support
