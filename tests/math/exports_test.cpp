// How the math exports launch, report and hand over memory, all 38 through the table of accuracy cases
// (which can run any of them): one launch each, nothing done for n <= 0, failures reported and never
// leaked, new arrays owned by the caller only when every step succeeded.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "cuda_brelmont.h"
#include "math/accuracy_cases.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"

namespace {

using math_accuracy::Case;
using math_accuracy::cases;
using testing_support::DeviceBuffer;
using testing_support::launch_count;

// Something no export would store: an output must be overwritten with null on failure.
float* const kStale = reinterpret_cast<float*>(uintptr_t{0x5a5a5a5a5a5a5a5a});
const std::vector<float> kValues = {0.25f, -0.5f, 1.5f, 2.0f, -3.0f, 0.75f, 10.0f};
const int kN = static_cast<int>(kValues.size());

class MathExports : public testing_support::ExportTest {
 protected:
  cudaError_t call(const Case& c, int n) {  // c on x_ (and y_), its outputs preset to kStale
    out_[0] = out_[1] = kStale;
    return math_accuracy::run(c, x_.get(), y_.get(), n, out_);
  }
  void expect_null_outputs(const Case& c) {
    for (int k = 0; k < c.outputs(); ++k) EXPECT_EQ(out_[k], nullptr) << c.name << ", output " << k;
  }
  DeviceBuffer<float> x_{kValues}, y_{kValues};
  float* out_[2] = {nullptr, nullptr};
};

TEST_F(MathExports, LaunchOnceAndHandTheCallerDistinctNewArrays) {
  for (const Case& c : cases()) {
    const unsigned long long launches = launch_count();
    ASSERT_EQ(call(c, kN), cudaSuccess) << c.name;
    if (testing_support::kHooks) EXPECT_EQ(launch_count(), launches + 1) << c.name;
    if (c.outputs() == 2) EXPECT_NE(out_[0], out_[1]);
    for (int k = 0; k < c.outputs(); ++k) {
      ASSERT_NE(out_[k], nullptr) << c.name;
      EXPECT_TRUE(out_[k] != x_.get() && out_[k] != y_.get()) << c.name;
      DeviceBuffer<float>::adopt(out_[k], kValues.size());  // released by the caller, here
    }
    if (c.outputs() > 0) EXPECT_TRUE(x_.download() == kValues && y_.download() == kValues) << c.name;
    x_.upload(kValues);
  }
}

// In place, n <= 0 is a successful no-op; no elements make no new arrays; a negative count cannot
// describe one, nor can a null address receive one. None of them launches or leaves an error pending.
TEST_F(MathExports, NothingToDoOrRefusedLaunchesNothing) {
  const unsigned long long launches = launch_count();
  for (const Case& c : cases()) {
    for (int n : {0, -1, -513, INT_MIN}) {
      EXPECT_EQ(call(c, n), n == 0 || c.outputs() == 0 ? cudaSuccess : cudaErrorInvalidValue) << c.name << ", " << n;
      expect_null_outputs(c);
      EXPECT_EQ(cudaPeekAtLastError(), cudaSuccess) << c.name;
    }
    if (c.two_inputs != nullptr) EXPECT_EQ(c.two_inputs(x_.get(), y_.get(), kN, nullptr), cudaErrorInvalidValue);
  }
  EXPECT_EQ(SGL_SineAndCosine(x_.get(), kN, nullptr, &out_[1]), cudaErrorInvalidValue);
  EXPECT_EQ(SGL_SineAndCosine(x_.get(), kN, &out_[0], nullptr), cudaErrorInvalidValue);
  EXPECT_EQ(launch_count(), launches);
  EXPECT_EQ(x_.download(), kValues);
}

// Each failing step (every allocation in turn, the launch, the synchronisation) is returned and left as
// the last error, with no launch on a failed allocation, the outputs null and nothing left allocated
// (the fixture counts the allocations).
TEST_F(MathExports, FailuresAreReportedWithNullOutputsAndNothingLeaked) {
  REQUIRE_RUNTIME_HOOKS();
  for (const Case& c : cases()) {
    std::vector<std::pair<std::function<void()>, cudaError_t>> failures = {
        {[] { testing_support::fail_launch(1, cudaErrorLaunchOutOfResources); }, cudaErrorLaunchOutOfResources},
        {[] { testing_support::fail_synchronize(cudaErrorIllegalAddress); }, cudaErrorIllegalAddress}};
    for (int k = 1; k <= c.outputs(); ++k)
      failures.push_back({[k] { testing_support::fail_allocation(k); }, cudaErrorMemoryAllocation});
    for (const auto& failure : failures) {
      x_.upload(kValues);
      const unsigned long long launches = launch_count();
      failure.first();
      EXPECT_EQ(call(c, kN), failure.second) << c.name;
      expect_null_outputs(c);
      EXPECT_EQ(cudaGetLastError(), failure.second) << c.name;
      if (failure.second == cudaErrorMemoryAllocation) EXPECT_EQ(launch_count(), launches) << c.name;
      if (failure.second == cudaErrorLaunchOutOfResources) EXPECT_EQ(x_.download(), kValues) << c.name;
    }
  }
}

}  // namespace
