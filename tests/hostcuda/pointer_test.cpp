// hostcuda's answers about pointers, the atomic functions kernels call, and copies that fail on request.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include "hostcuda/hooks.h"

#include <climits>
#include <vector>

namespace {

TEST(PointerAttributes, DeviceMemoryAnywhereInsideALiveAllocation) {
  float* p = nullptr;
  ASSERT_EQ(cudaMalloc(&p, 16 * sizeof(float)), cudaSuccess);
  for (const float* q : {p, p + 7, p + 15}) {
    cudaPointerAttributes a{};
    a.device = 99;
    ASSERT_EQ(cudaPointerGetAttributes(&a, q), cudaSuccess);
    EXPECT_EQ(a.type, cudaMemoryTypeDevice);
    EXPECT_EQ(a.device, 0);
    EXPECT_EQ(a.devicePointer, q);
    EXPECT_EQ(a.hostPointer, nullptr);
  }
  cudaPointerAttributes past{};
  ASSERT_EQ(cudaPointerGetAttributes(&past, p + 16), cudaSuccess);  // one past the end belongs to no allocation
  EXPECT_EQ(past.type, cudaMemoryTypeUnregistered);
  ASSERT_EQ(cudaFree(p), cudaSuccess);
  cudaPointerAttributes freed{};
  ASSERT_EQ(cudaPointerGetAttributes(&freed, p), cudaSuccess);
  EXPECT_EQ(freed.type, cudaMemoryTypeUnregistered);
}

TEST(PointerAttributes, HostMemoryIsUnregisteredAndANullAttributesIsRefused) {
  std::vector<float> host(4);
  cudaPointerAttributes a{};
  ASSERT_EQ(cudaPointerGetAttributes(&a, host.data()), cudaSuccess);
  EXPECT_EQ(a.type, cudaMemoryTypeUnregistered);
  EXPECT_EQ(a.device, cudaInvalidDeviceId);
  EXPECT_EQ(a.devicePointer, nullptr);
  EXPECT_EQ(a.hostPointer, host.data());
  // The runtime's own numbers.
  EXPECT_EQ(cudaMemoryTypeUnregistered, 0);
  EXPECT_EQ(cudaMemoryTypeHost, 1);
  EXPECT_EQ(cudaMemoryTypeDevice, 2);
  EXPECT_EQ(cudaMemoryTypeManaged, 3);
  EXPECT_EQ(cudaPointerGetAttributes(nullptr, host.data()), cudaErrorInvalidValue);
  EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidValue);
}

TEST(Atomics, MinKeepsTheSmallerAndReturnsTheOldValue) {
  unsigned u = UINT_MAX;
  EXPECT_EQ(atomicMin(&u, 7u), UINT_MAX);
  EXPECT_EQ(atomicMin(&u, 9u), 7u);
  EXPECT_EQ(u, 7u);
  int i = 3;
  EXPECT_EQ(atomicMin(&i, -5), 3);
  EXPECT_EQ(atomicMin(&i, INT_MIN), -5);
  EXPECT_EQ(atomicMin(&i, 0), INT_MIN);
  EXPECT_EQ(i, INT_MIN);
}

TEST(CopyFailure, TheKthNextCopyFailsAndCopiesNothing) {
  float* d = nullptr;
  ASSERT_EQ(cudaMalloc(&d, 2 * sizeof(float)), cudaSuccess);
  float host[2] = {1, 2}, back[2] = {0, 0};
  hostcudaFailCopy(2, cudaErrorIllegalAddress);
  EXPECT_EQ(cudaMemcpy(d, host, sizeof host, cudaMemcpyHostToDevice), cudaSuccess);
  host[0] = 5;
  EXPECT_EQ(cudaMemcpy(d, host, sizeof host, cudaMemcpyHostToDevice), cudaErrorIllegalAddress);
  EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
  EXPECT_EQ(cudaMemcpy(back, d, sizeof back, cudaMemcpyDeviceToHost), cudaSuccess);  // one failure only
  EXPECT_EQ(back[0], 1.0f);
  hostcudaFailCopy(1, cudaErrorUnknown);
  hostcudaFailCopy(0, cudaSuccess);  // cancelled
  EXPECT_EQ(cudaMemcpy(back, d, sizeof back, cudaMemcpyDeviceToHost), cudaSuccess);
  ASSERT_EQ(cudaFree(d), cudaSuccess);
}

}  // namespace
