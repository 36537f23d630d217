// Checks shared by the arithmetic tests: bit-exact comparison of whole results, and failure injection.
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

// Failure injection: fails each of the allocations that call() makes in turn, then its launch, then (where
// sync_failed is not 0) its synchronisation. Each must return its status with the runtime's error pending,
// nothing left allocated and untouched() true (where given); a failed allocation must stop the call before
// any launch. With no allocation failing the call must succeed, so a call that makes more or fewer
// allocations than `allocations` fails the check.
template <typename Status>
void expect_failures_reported(const std::string& what, int allocations, const std::function<Status()>& call,
                              const std::function<bool()>& untouched, Status allocation_failed, Status launch_failed,
                              Status sync_failed = Status{}) {
  const size_t live = testing_support::live_allocations();
  const auto expect_failed = [&](Status want, cudaError_t pending, const std::string& step) {
    EXPECT_EQ(call(), want) << what << ": " << step;
    EXPECT_EQ(cudaGetLastError(), pending) << what << ": " << step;
    EXPECT_EQ(testing_support::live_allocations(), live) << what << ": " << step;
    EXPECT_TRUE(!untouched || untouched()) << what << ": " << step;
  };
  for (int k = 1; k <= allocations; ++k) {
    const unsigned long long launches = testing_support::launch_count();
    testing_support::fail_allocation(k);
    expect_failed(allocation_failed, cudaErrorMemoryAllocation, "allocation " + std::to_string(k));
    EXPECT_EQ(testing_support::launch_count(), launches) << what << " launched on a failed allocation";
  }
  testing_support::fail_allocation(allocations + 1);
  EXPECT_EQ(call(), Status{}) << what << " makes more than " << allocations << " allocations";
  testing_support::fail_allocation(0);
  testing_support::fail_launch(1, cudaErrorNoKernelImageForDevice);
  expect_failed(launch_failed, cudaErrorNoKernelImageForDevice, "launch");
  if (sync_failed == Status{}) return;
  testing_support::fail_synchronize(cudaErrorIllegalAddress);
  expect_failed(sync_failed, cudaErrorIllegalAddress, "synchronisation");
}

}  // namespace arith_testing
