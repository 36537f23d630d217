// hostcuda's call counters: each runtime call counts once, under its own kind, failed calls included.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include "support/runtime.h"

namespace {

using testing_support::CallCounts;
using testing_support::calls_during;

void noop_thread(void*) {}

TEST(Counters, EachRuntimeCallCountsOnceUnderItsKind) {
  float host[4] = {1, 2, 3, 4};
  float* a = nullptr;
  float* b = nullptr;
  const CallCounts counted = calls_during([&] {
    ASSERT_EQ(cudaMalloc(&a, sizeof host), cudaSuccess);
    ASSERT_EQ(cudaMalloc(&b, sizeof host), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(a, host, sizeof host, cudaMemcpyHostToDevice), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(b, a, sizeof host, cudaMemcpyDeviceToDevice), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(host, b, sizeof host, cudaMemcpyDeviceToHost), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(host, b, sizeof host, cudaMemcpyDefault), cudaSuccess);  // resolved: device to host
    ASSERT_EQ(cudaMemset(a, 0, sizeof host), cudaSuccess);
    ASSERT_EQ(cudaDeviceSynchronize(), cudaSuccess);
    ASSERT_EQ(hostcudaLaunch(dim3(2), dim3(3), noop_thread, nullptr), cudaSuccess);
    ASSERT_EQ(hostcudaLaunch(dim3(0), dim3(3), noop_thread, nullptr), cudaErrorInvalidConfiguration);
    ASSERT_EQ(cudaFree(a), cudaSuccess);
    ASSERT_EQ(cudaFree(b), cudaSuccess);
    ASSERT_EQ(cudaFree(nullptr), cudaSuccess);  // no call reaches the device
  });
  EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidConfiguration);
  EXPECT_EQ(counted, (CallCounts{2, 2, 1, 2, 1, 1, 1, 2}));
}

}  // namespace
