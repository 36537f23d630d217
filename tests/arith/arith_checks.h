// Checks shared by the arithmetic tests: bit-exact comparison of whole results, and failure of each
// allocation of an export in turn.
#pragma once

#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/floats.h"
#include "support/runtime.h"

namespace arith_testing {

// got against want bit for bit (any NaN matches any NaN); reports the first five differences with the
// operands at that index, if given.
inline void expect_same_bits(const std::string& what, const std::vector<float>& got, const std::vector<float>& want,
                             const std::vector<std::vector<float>>& operands = {}) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0, shown = 0; i < got.size() && shown < 5; ++i) {
    if (testing_support::same_float(got[i], want[i])) continue;
    ++shown;
    std::ostringstream at;
    for (const std::vector<float>& operand : operands) at << ::testing::PrintToString(operand[i]) << " ";
    ADD_FAILURE() << what << " at " << i << " (" << at.str() << "): got " << ::testing::PrintToString(got[i])
                  << " = 0x" << std::hex << testing_support::bits(got[i]) << ", expected "
                  << ::testing::PrintToString(want[i]) << " = 0x" << testing_support::bits(want[i]);
  }
}

// Fails each of the allocations that call() makes in turn: each must return `failed` with nothing launched,
// nothing left allocated and untouched() true. With no allocation failing the call must succeed (status 0),
// so a call that makes more or fewer allocations than `allocations` fails the check.
template <typename Status>
void expect_each_allocation_to_fail(const std::string& what, int allocations, Status failed,
                                    const std::function<Status()>& call, const std::function<bool()>& untouched) {
  const size_t live = testing_support::live_allocations();
  for (int k = 1; k <= allocations + 1; ++k) {
    const unsigned long long launches = testing_support::launch_count();
    testing_support::fail_allocation(k);
    const Status status = call();
    testing_support::fail_allocation(0);
    if (k > allocations) {
      EXPECT_EQ(status, Status{}) << what << " makes more than " << allocations << " allocations";
      return;
    }
    EXPECT_EQ(status, failed) << what << ", allocation " << k;
    EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation) << what;
    EXPECT_EQ(testing_support::launch_count(), launches) << what << " launched on a failed allocation";
    EXPECT_EQ(testing_support::live_allocations(), live) << what << ", allocation " << k;
    EXPECT_TRUE(untouched()) << what << ", allocation " << k;
  }
}

}  // namespace arith_testing
