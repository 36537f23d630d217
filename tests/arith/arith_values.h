// Test inputs for the elementwise arithmetic exports: random bit patterns plus the values where rounding
// rules go wrong (halves and their neighbours, the 2^23 and 2^24 boundaries, subnormals, zeros, infinities).
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "support/floats.h"

namespace arith_testing {

// The same value with both signs, and its two float neighbours.
inline void add_with_neighbours(std::vector<float>& out, float v) {
  for (float s : {v, -v}) {
    out.push_back(s);
    out.push_back(std::nextafter(s, INFINITY));
    out.push_back(std::nextafter(s, -INFINITY));
  }
}

// Values that stress rounding to integers and special-value handling.
inline std::vector<float> structured_values() {
  std::vector<float> out = {0.0f, -0.0f, INFINITY, -INFINITY, NAN, -NAN};
  for (float v : {FLT_MAX, FLT_MIN, FLT_TRUE_MIN, FLT_MIN - FLT_TRUE_MIN, 1.0e30f, 3.0e38f, 1.0e-30f, 1.0e-40f})
    add_with_neighbours(out, v);
  // Integers, halves, quarters and their neighbours, near 0 and around the 2^22..2^24 boundaries where
  // the spacing of floats crosses 0.5 and 1.
  std::vector<double> centres;
  for (int k = 0; k <= 9; ++k) centres.push_back(k);
  for (int p : {12, 20, 21, 22, 23, 24, 25})
    for (int d = -3; d <= 3; ++d) centres.push_back(std::ldexp(1.0, p) + d);
  for (double c : centres)
    for (double frac : {0.0, 0.25, 0.5, 0.75}) {
      const float v = static_cast<float>(c + frac);
      if (static_cast<double>(v) == c + frac) add_with_neighbours(out, v);
    }
  return out;
}

// Random bit patterns: every exponent, subnormals, NaNs and infinities alike.
inline std::vector<float> random_bit_patterns(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<uint32_t> any;
  std::vector<float> out(count);
  for (float& v : out) v = testing_support::from_bits(any(rng));
  return out;
}

// Random values of moderate size, so that fractional parts and exact halves are dense.
inline std::vector<float> random_moderate(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> whole(-40, 40);
  std::uniform_int_distribution<int> eighths(0, 7);
  std::uniform_real_distribution<float> any(-64.0f, 64.0f);
  std::vector<float> out(count);
  for (size_t i = 0; i < count; ++i) out[i] = (i % 2) ? any(rng) : whole(rng) + eighths(rng) * 0.125f;
  return out;
}

// Everything above, concatenated.
inline std::vector<float> sweep_values() {
  std::vector<float> out = structured_values();
  for (const std::vector<float>& part : {random_bit_patterns(1 << 15, 20240601u), random_moderate(1 << 13, 77u)})
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

}  // namespace arith_testing
