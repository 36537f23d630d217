// The stand-in runtime keeps the rules of the real one that the library and its tests rely on.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cstring>
#include <random>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "hostcuda/hooks.h"
#include "support/floats.h"

namespace {

using testing_support::bits;
using testing_support::from_bits;

class Runtime : public ::testing::Test {
 protected:
  void SetUp() override {
    hostcudaFailAllocation(0);
    hostcudaFailLaunch(0, cudaSuccess);
    cudaGetLastError();
  }
};

TEST_F(Runtime, ZeroByteAllocationSucceedsWithNullPointer) {
  void* p = reinterpret_cast<void*>(0x1234);
  const size_t live = hostcudaLiveAllocations();
  EXPECT_EQ(cudaMalloc(&p, 0), cudaSuccess);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(hostcudaLiveAllocations(), live);
  EXPECT_EQ(cudaFree(nullptr), cudaSuccess);
}

TEST_F(Runtime, NewAllocationIsPoisonedAlignedAndCounted) {
  const size_t live = hostcudaLiveAllocations();
  unsigned char* p = nullptr;
  ASSERT_EQ(cudaMalloc(&p, 1000), cudaSuccess);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 256, 0u);
  EXPECT_EQ(hostcudaLiveAllocations(), live + 1);
  std::vector<unsigned char> host(1000, 0);
  ASSERT_EQ(cudaMemcpy(host.data(), p, host.size(), cudaMemcpyDeviceToHost), cudaSuccess);
  for (unsigned char byte : host) ASSERT_EQ(byte, HOSTCUDA_POISON_BYTE);
  EXPECT_EQ(cudaFree(p), cudaSuccess);
  EXPECT_EQ(hostcudaLiveAllocations(), live);
}

#if defined(__SANITIZE_ADDRESS__)
// Device memory is heap memory of exactly the requested size, so a kernel's out-of-bounds access fails the test.
TEST_F(Runtime, AccessPastAnAllocationIsCaught) {
  float* p = nullptr;
  ASSERT_EQ(cudaMalloc(&p, 3 * sizeof(float)), cudaSuccess);
  EXPECT_DEATH(static_cast<volatile float*>(p)[3] = 1.0f, "heap-buffer-overflow");
  cudaFree(p);
}
#endif

TEST_F(Runtime, FreeingAPointerTwiceOrAForeignOneIsInvalid) {
  float* p = nullptr;
  ASSERT_EQ(cudaMalloc(&p, 16), cudaSuccess);
  ASSERT_EQ(cudaFree(p), cudaSuccess);
  int host = 0;
  EXPECT_EQ(cudaFree(&host), cudaErrorInvalidValue);
  EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidValue);
}

TEST_F(Runtime, KthNextAllocationFailsOnDemand) {
  float* a = nullptr;
  float* b = nullptr;
  float* c = reinterpret_cast<float*>(0x10);
  hostcudaFailAllocation(3);
  ASSERT_EQ(cudaMalloc(&a, 4), cudaSuccess);
  ASSERT_EQ(cudaMalloc(&b, 0), cudaSuccess);  // a zero-byte request counts as an allocation
  EXPECT_EQ(cudaMalloc(&c, 4), cudaErrorMemoryAllocation);
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);
  EXPECT_EQ(cudaMalloc(&c, 4), cudaSuccess);  // only the k-th fails
  cudaFree(a);
  cudaFree(c);
}

TEST_F(Runtime, CopiesOutsideAnAllocationAreRefused) {
  float* p = nullptr;
  ASSERT_EQ(cudaMalloc(&p, 4 * sizeof(float)), cudaSuccess);
  float host[5] = {1, 2, 3, 4, 5};
  EXPECT_EQ(cudaMemcpy(p, host, sizeof host, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
  EXPECT_EQ(cudaMemcpy(host, p + 1, 4 * sizeof(float), cudaMemcpyDeviceToHost), cudaErrorInvalidValue);
  EXPECT_EQ(cudaMemset(p + 2, 0, 3 * sizeof(float)), cudaErrorInvalidValue);
  EXPECT_EQ(cudaMemcpy(p, host, 4 * sizeof(float), static_cast<cudaMemcpyKind>(7)), cudaErrorInvalidMemcpyDirection);
  EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidMemcpyDirection);
  ASSERT_EQ(cudaMemcpy(p, host, 4 * sizeof(float), cudaMemcpyHostToDevice), cudaSuccess);
  ASSERT_EQ(cudaMemcpy(p + 1, p, 2 * sizeof(float), cudaMemcpyDefault), cudaSuccess);
  float back[4];
  ASSERT_EQ(cudaMemcpy(back, p, sizeof back, cudaMemcpyDeviceToHost), cudaSuccess);
  EXPECT_EQ(back[0], 1.0f);
  EXPECT_EQ(back[1], 1.0f);
  EXPECT_EQ(back[2], 2.0f);
  EXPECT_EQ(back[3], 4.0f);
  cudaFree(p);
}

// Records every thread that a launch runs.
struct Visits {
  std::vector<uint3> blocks;  // in the order blocks began
  std::set<std::tuple<unsigned, unsigned, unsigned, unsigned, unsigned, unsigned>> threads;
};

void record_thread(void* context) {
  auto* visits = static_cast<Visits*>(context);
  if (threadIdx.x == 0 && threadIdx.y == 0 && threadIdx.z == 0) visits->blocks.push_back(blockIdx);
  visits->threads.insert({blockIdx.x, blockIdx.y, blockIdx.z, threadIdx.x, threadIdx.y, threadIdx.z});
  EXPECT_EQ(gridDim.x, 5u);
  EXPECT_EQ(blockDim.y, 2u);
}

TEST_F(Runtime, LaunchRunsEveryThreadOnceWithBlocksOutOfOrder) {
  Visits visits;
  const dim3 grid(5, 3, 2), block(4, 2, 3);
  ASSERT_EQ(hostcudaLaunch(grid, block, record_thread, &visits), cudaSuccess);
  EXPECT_EQ(visits.threads.size(), 5u * 3 * 2 * 4 * 2 * 3);
  ASSERT_EQ(visits.blocks.size(), 30u);
  std::set<unsigned> linear;
  bool ascending = true;
  for (size_t k = 0; k < visits.blocks.size(); ++k) {
    const uint3 b = visits.blocks[k];
    const unsigned id = (b.z * 3 + b.y) * 5 + b.x;
    linear.insert(id);
    ascending = ascending && id == k;
  }
  EXPECT_EQ(linear.size(), 30u);
  EXPECT_FALSE(ascending);
  EXPECT_NE(visits.blocks.front().x + visits.blocks.front().y + visits.blocks.front().z, 0u);
}

void count_thread(void* context) { ++*static_cast<int*>(context); }

TEST_F(Runtime, LaunchBeyondTheDeviceLimitsIsRefusedAndStaysPending) {
  const struct {
    dim3 grid, block;
  } refused[] = {
      {dim3(0), dim3(32)},          {dim3(1), dim3(0)},           {dim3(1, 0), dim3(1)},
      {dim3(1), dim3(1025)},        {dim3(1), dim3(32, 32, 2)},   {dim3(1), dim3(1, 1, 65)},
      {dim3(2147483648u), dim3(1)}, {dim3(1, 65536), dim3(1)},    {dim3(1, 1, 65536), dim3(1)},
  };
  for (const auto& c : refused) {
    int ran = 0;
    EXPECT_EQ(hostcudaLaunch(c.grid, c.block, count_thread, &ran), cudaErrorInvalidConfiguration);
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(cudaPeekAtLastError(), cudaErrorInvalidConfiguration);
    EXPECT_EQ(cudaDeviceSynchronize(), cudaSuccess);  // a refused launch is not a device fault
    EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidConfiguration);
    EXPECT_EQ(cudaGetLastError(), cudaSuccess);
  }
  int ran = 0;
  EXPECT_EQ(hostcudaLaunch(dim3(1, 65535, 1), dim3(1024), [](void*) {}, &ran), cudaSuccess);
}

TEST_F(Runtime, LastErrorBelongsToTheHostThread) {
  int ran = 0;
  EXPECT_EQ(hostcudaLaunch(dim3(0), dim3(1), count_thread, &ran), cudaErrorInvalidConfiguration);
  cudaError_t seen_elsewhere = cudaErrorUnknown;
  std::thread([&] { seen_elsewhere = cudaPeekAtLastError(); }).join();
  EXPECT_EQ(seen_elsewhere, cudaSuccess);
  EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidConfiguration);
}

TEST_F(Runtime, InjectedLaunchAndSynchronizeFailures) {
  int ran = 0;
  const unsigned long long before = hostcudaLaunchCount();
  hostcudaFailLaunch(2, cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(hostcudaLaunch(dim3(1), dim3(1), count_thread, &ran), cudaSuccess);
  EXPECT_EQ(hostcudaLaunch(dim3(1), dim3(1), count_thread, &ran), cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(hostcudaLaunchCount(), before + 2);
  EXPECT_EQ(cudaGetLastError(), cudaErrorNoKernelImageForDevice);
  hostcudaFailSynchronize(cudaErrorIllegalAddress);
  EXPECT_EQ(cudaDeviceSynchronize(), cudaErrorIllegalAddress);
  EXPECT_EQ(cudaDeviceSynchronize(), cudaSuccess);
  EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
}

// The runtime's own numbers, which callers compare against.
TEST_F(Runtime, ErrorCodesAndNames) {
  EXPECT_EQ(cudaErrorInvalidValue, 1);
  EXPECT_EQ(cudaErrorMemoryAllocation, 2);
  EXPECT_EQ(cudaErrorInvalidConfiguration, 9);
  EXPECT_STREQ(cudaGetErrorName(cudaErrorInvalidConfiguration), "cudaErrorInvalidConfiguration");
  EXPECT_STREQ(cudaGetErrorString(cudaErrorMemoryAllocation), "out of memory");
}

// a + b rounded toward zero by the floating-point unit itself.
float add_toward_zero_reference(float a, float b) {
  volatile float va = a, vb = b;
  const int mode = std::fegetround();
  std::fesetround(FE_TOWARDZERO);
  volatile float sum = va + vb;
  std::fesetround(mode);
  return sum;
}

TEST_F(Runtime, TowardZeroAdditionMatchesTheHardwareRoundingMode) {
  EXPECT_EQ(bits(__fadd_rz(0.49999997f, 0.5f)), bits(0.99999994f));
  EXPECT_EQ(bits(__fadd_rz(-0.49999997f, -0.5f)), bits(-0.99999994f));
  EXPECT_EQ(bits(__fadd_rz(FLT_MAX, FLT_MAX)), bits(FLT_MAX));
  EXPECT_EQ(bits(__fadd_rz(-FLT_MAX, -FLT_MAX)), bits(-FLT_MAX));
  EXPECT_EQ(bits(__fadd_rz(16777216.0f, 1.0f)), bits(16777216.0f));
  EXPECT_EQ(bits(__fadd_rz(1.0f, -1.0f)), bits(0.0f));
  EXPECT_EQ(bits(__fadd_rz(-0.0f, -0.0f)), bits(-0.0f));
  EXPECT_EQ(bits(__fadd_rz(INFINITY, 1.0f)), bits(INFINITY));
  EXPECT_TRUE(std::isnan(__fadd_rz(INFINITY, -INFINITY)));

  std::mt19937 rng(12345);
  std::uniform_int_distribution<uint32_t> any_bits;
  std::uniform_int_distribution<int> shift(0, 40);
  for (int k = 0; k < 200000; ++k) {
    const float a = from_bits(any_bits(rng));
    if (!std::isfinite(a) || a == 0.0f) continue;
    // b near a's magnitude so that the sum rounds, with either sign.
    float b = std::ldexp(from_bits((any_bits(rng) & 0x807fffffu) | 0x3f800000u), std::ilogb(a) - shift(rng));
    if (!std::isfinite(b)) continue;
    if (k % 3 == 0) b = from_bits(any_bits(rng) & 0x807fffffu);  // subnormals too
    ASSERT_EQ(bits(__fadd_rz(a, b)), bits(add_toward_zero_reference(a, b))) << a << " + " << b;
  }
}

}  // namespace
