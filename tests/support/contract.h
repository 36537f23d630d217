// One row of an export's runtime contract: the calls it makes, the status it returns, and how it reports
// each of its runtime steps failing. Every family's cost, bad-argument and failure tests are tables of these.
#pragma once

#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/runtime.h"

namespace testing_support {

struct Contract {
  std::string what;
  CallCounts cost;                // the runtime calls of one call (hostcuda only)
  std::function<int()> call;      // the export's status as an int, 0 success; releases what a success hands over
  int status = 0;                 // its status with nothing failing
  std::function<bool()> clean;    // after a refused or failed call: outputs null, nothing written (if given)
};

// The status an export returns when a runtime step fails with error: that error, for the cudaError_t exports.
inline int same_error(cudaError_t error) { return error; }

// Calls c once and checks its status, its cost and that it left no error pending. Where it succeeds, fails each of its
// allocations, then each copy, each launch and its synchronisation: each must return reported(error) with that error
// pending, launch nothing after a failed allocation, leave nothing allocated and leave c.clean() true.
inline void expect_contract(const Contract& c, const std::function<int(cudaError_t)>& reported = same_error) {
  int status = -1;
  const CallCounts cost = calls_during([&] { status = c.call(); });
  if (kHooks) EXPECT_EQ(cost, c.cost) << c.what;
  ASSERT_EQ(status, c.status) << c.what;
  EXPECT_EQ(cudaGetLastError(), cudaSuccess) << c.what << " left an error pending";
  if (c.status != 0) EXPECT_TRUE(!c.clean || c.clean()) << c.what << ": refused, yet something was written";
  if (!kHooks || c.status != 0) return;
  const size_t live = live_allocations();
  const auto expect_failed = [&](cudaError_t error, const std::string& step, bool allocation = false) {
    const CallCounts made = calls_during([&] { EXPECT_EQ(c.call(), reported(error)) << c.what << ": " << step; });
    fail_allocation(0), fail_copy(0, cudaSuccess), fail_launch(0, cudaSuccess), fail_synchronize(cudaSuccess);
    EXPECT_EQ(cudaGetLastError(), error) << c.what << ": " << step;
    EXPECT_EQ(live_allocations(), live) << c.what << ": " << step << " leaked";
    EXPECT_TRUE(!c.clean || c.clean()) << c.what << ": " << step;
    if (allocation) EXPECT_EQ(made.launches, 0u) << c.what << " launched after a failed allocation";
  };
  for (unsigned k = 1; k <= c.cost.allocations; ++k)
    fail_allocation(k), expect_failed(cudaErrorMemoryAllocation, "allocation " + std::to_string(k), true);
  for (unsigned k = 1; k <= c.cost.copies_to_device + c.cost.copies_to_host + c.cost.copies_on_device; ++k)
    fail_copy(k, cudaErrorIllegalAddress), expect_failed(cudaErrorIllegalAddress, "copy " + std::to_string(k));
  for (unsigned k = 1; k <= c.cost.launches; ++k)
    fail_launch(k, cudaErrorNoKernelImageForDevice), expect_failed(cudaErrorNoKernelImageForDevice, "launch");
  if (c.cost.synchronizations > 0)
    fail_synchronize(cudaErrorIllegalAddress), expect_failed(cudaErrorIllegalAddress, "sync");
}

}  // namespace testing_support
