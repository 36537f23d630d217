// The status rules every launching export shares, seen through the canonical synchronised-status export
// (SGL_SetTensor) and the canonical launch-status export (SGL_IncrementElement).
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <climits>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"

namespace {

using testing_support::DeviceBuffer;
using testing_support::fail_launch;
using testing_support::fail_synchronize;
using testing_support::launch_count;

class LaunchPolicy : public testing_support::ExportTest {};

TEST_F(LaunchPolicy, NothingToDoLaunchesNothingAndLeavesNoPendingError) {
  DeviceBuffer<float> data(std::vector<float>{1, 2, 3});
  const unsigned long long launches = launch_count();
  for (int n : {0, -1, -511, -512, -100000, INT_MIN}) {
    EXPECT_EQ(SGL_SetTensor(data.get(), 9.0f, n), cudaSuccess) << n;
    EXPECT_EQ(cudaPeekAtLastError(), cudaSuccess) << n;
  }
  EXPECT_EQ(launch_count(), launches);
  EXPECT_EQ(data.download(), (std::vector<float>{1, 2, 3}));
}

TEST_F(LaunchPolicy, AFailedLaunchIsNotHiddenBehindASuccessfulSynchronisation) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> data(std::vector<float>{1, 2, 3});
  fail_launch(1, cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(SGL_SetTensor(data.get(), 9.0f, 3), cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(cudaGetLastError(), cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(data.download(), (std::vector<float>{1, 2, 3}));

  fail_launch(1, cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(SGL_IncrementElement(data.get(), 0, 3), cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(cudaGetLastError(), cudaErrorNoKernelImageForDevice);
}

TEST_F(LaunchPolicy, ADeviceFaultIsReportedByTheSynchronisation) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> data(std::vector<float>{1, 2, 3});
  fail_synchronize(cudaErrorIllegalAddress);
  EXPECT_EQ(SGL_SetTensor(data.get(), 9.0f, 3), cudaErrorIllegalAddress);
  EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
}

}  // namespace
