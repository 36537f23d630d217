// Whole results compared bit for bit, with the operands of the first differences in the message.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/floats.h"

namespace testing_support {

// got against want bit for bit (any NaN matches any NaN); reports the first five differences, with the
// operands at that index where given.
inline void expect_same_bits(const std::string& what, const std::vector<float>& got, const std::vector<float>& want,
                             const std::vector<std::vector<float>>& operands = {}) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0, shown = 0; i < got.size() && shown < 5; ++i) {
    if (same_float(got[i], want[i])) continue;
    std::string at;
    for (const std::vector<float>& operand : operands) at += ::testing::PrintToString(operand[i]) + " ";
    ++shown, ADD_FAILURE() << what << " at " << i << " (" << at
                           << "): " << SameFloat("got", "expected", got[i], want[i]).message();
  }
}

// Same elements byte for byte (complex elements, and NaN payloads where they must survive).
template <typename T>
bool same_bytes(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

}  // namespace testing_support
