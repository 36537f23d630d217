// The stand-in runtime keeps the rules of the real one that the library and its tests rely on, and its blocks
// are the device's: __syncthreads is a barrier of the block and __shared__ memory belongs to the block.
#include "support/runtime.h"

#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <numeric>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "frame/launch.h"
#include "hostcuda/hooks.h"
#include "support/device_buffer.h"
#include "support/floats.h"

namespace {

using testing_support::DeviceBuffer;
using testing_support::from_bits;
using Runtime = testing_support::ExportTest;  // no failure pending at the start, no leak and no error at the end

// Device memory is poisoned, aligned, of exactly the size asked for, counted and known as device memory anywhere
// inside a live allocation; host memory, freed memory and one past the end are unregistered.
TEST_F(Runtime, AllocationsArePoisonedAlignedExactCountedKnownByTheirAttributesAndFailOnDemand) {
  const size_t live = hostcudaLiveAllocations();
  unsigned char* p = nullptr;
  void* none = &p;
  ASSERT_EQ(cudaMalloc(&none, 0), cudaSuccess);  // zero bytes: a null pointer, nothing live
  ASSERT_EQ(cudaMalloc(&p, 1000), cudaSuccess);
  EXPECT_TRUE(none == nullptr && reinterpret_cast<uintptr_t>(p) % 256 == 0 && hostcudaLiveAllocations() == live + 1);
  std::vector<unsigned char> host(1000, 0);
  ASSERT_EQ(cudaMemcpy(host.data(), p, host.size(), cudaMemcpyDeviceToHost), cudaSuccess);
  EXPECT_EQ(host, std::vector<unsigned char>(1000, HOSTCUDA_POISON_BYTE));
#if defined(__SANITIZE_ADDRESS__)  // heap memory of exactly the requested size: a kernel's access past it fails
  EXPECT_DEATH(static_cast<volatile unsigned char*>(p)[1000] = 1, "heap-buffer-overflow");
#endif
  for (const unsigned char* q : {p, p + 7, p + 999, p + 1000, host.data()}) {
    cudaPointerAttributes a{};
    a.device = 99;
    ASSERT_EQ(cudaPointerGetAttributes(&a, q), cudaSuccess);
    const bool device = q < p + 1000 && q >= p;
    EXPECT_EQ(a.type, device ? cudaMemoryTypeDevice : cudaMemoryTypeUnregistered);
    EXPECT_TRUE(a.device == (device ? 0 : cudaInvalidDeviceId) && a.devicePointer == (device ? q : nullptr) &&
                a.hostPointer == (device ? nullptr : q))
        << q - p;
  }
  // An allocation marked as another device's memory is reported so, at any address inside it.
  cudaPointerAttributes elsewhere{};
  EXPECT_EQ(hostcudaSetAllocationDevice(p + 7, 1), cudaErrorInvalidValue);  // not the base address
  EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidValue);
  ASSERT_EQ(hostcudaSetAllocationDevice(p, 1), cudaSuccess);
  ASSERT_EQ(cudaPointerGetAttributes(&elsewhere, p + 7), cudaSuccess);
  EXPECT_TRUE(elsewhere.type == cudaMemoryTypeDevice && elsewhere.device == 1 && elsewhere.devicePointer == p + 7);
  cudaPointerAttributes freed{};
  EXPECT_EQ(cudaFree(p), cudaSuccess);
  ASSERT_EQ(cudaPointerGetAttributes(&freed, p), cudaSuccess);
  EXPECT_EQ(freed.type, cudaMemoryTypeUnregistered);
  EXPECT_TRUE(cudaMemoryTypeUnregistered == 0 && cudaMemoryTypeHost == 1 && cudaMemoryTypeDevice == 2 &&
              cudaMemoryTypeManaged == 3);  // the runtime's own numbers
  EXPECT_EQ(cudaFree(nullptr), cudaSuccess);
  EXPECT_TRUE(cudaFree(p) == cudaErrorInvalidValue && cudaFree(&host) == cudaErrorInvalidValue);  // twice; foreign
  EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidValue);
  EXPECT_EQ(cudaPointerGetAttributes(nullptr, host.data()), cudaErrorInvalidValue);
  EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidValue);
  EXPECT_EQ(hostcudaLiveAllocations(), live);
  // The k-th next allocation fails, a zero-byte request counted; only that one.
  float *a = nullptr, *b = nullptr, *c = reinterpret_cast<float*>(0x10);
  hostcudaFailAllocation(3);
  ASSERT_TRUE(cudaMalloc(&a, 4) == cudaSuccess && cudaMalloc(&b, 0) == cudaSuccess);
  EXPECT_EQ(cudaMalloc(&c, 4), cudaErrorMemoryAllocation);
  EXPECT_TRUE(c == nullptr && cudaGetLastError() == cudaErrorMemoryAllocation);
  EXPECT_EQ(cudaMalloc(&c, 4), cudaSuccess);
  cudaFree(a), cudaFree(c);
}

// Records every thread that a launch of 5 x 3 x 2 blocks runs.
struct Visits {
  std::vector<unsigned> blocks;  // linear block numbers, in the order blocks began
  std::set<std::tuple<unsigned, unsigned, unsigned, unsigned, unsigned, unsigned>> threads;
};

void record_thread(void* context) {
  auto* visits = static_cast<Visits*>(context);
  if (threadIdx.x == 0 && threadIdx.y == 0 && threadIdx.z == 0)
    visits->blocks.push_back((blockIdx.z * 3 + blockIdx.y) * 5 + blockIdx.x);
  visits->threads.insert({blockIdx.x, blockIdx.y, blockIdx.z, threadIdx.x, threadIdx.y, threadIdx.z});
  EXPECT_TRUE(gridDim.x == 5 && blockDim.y == 2);
}

void count_thread(void* context) { ++*static_cast<int*>(context); }
void noop_thread(void*) {}

// The error of a refused launch is the last error of the launching host thread only; an injected launch or
// synchronisation failure arrives once.
TEST_F(Runtime, LaunchRunsEveryThreadOnceWithBlocksOutOfOrderWithinTheDeviceLimitsAndFailsOnDemand) {
  Visits visits;
  const int block_threads = hostcudaSetBlockThreads(1);  // the default order, on this thread
  ASSERT_EQ(hostcudaLaunch(dim3(5, 3, 2), dim3(4, 2, 3), record_thread, &visits), cudaSuccess);
  hostcudaSetBlockThreads(block_threads);
  EXPECT_EQ(visits.threads.size(), 5u * 3 * 2 * 4 * 2 * 3);
  const std::set<unsigned> distinct(visits.blocks.begin(), visits.blocks.end());
  EXPECT_TRUE(visits.blocks.size() == 30 && distinct.size() == 30 && *distinct.rbegin() == 29);
  EXPECT_TRUE(!std::is_sorted(visits.blocks.begin(), visits.blocks.end()) && visits.blocks.front() != 0);
  for (auto [grid, block] : {std::pair{dim3(0), dim3(32)}, {dim3(1), dim3(0)}, {dim3(1, 0), dim3(1)},
                             {dim3(1), dim3(1025)}, {dim3(1), dim3(41, 25)}, {dim3(1), dim3(32, 32, 2)},
                             {dim3(1), dim3(1, 1, 65)}, {dim3(2147483648u), dim3(1)}, {dim3(1, 65536), dim3(1)},
                             {dim3(1, 1, 65536), dim3(1)}}) {
    int ran = 0;
    cudaError_t elsewhere = cudaErrorUnknown;
    EXPECT_EQ(hostcudaLaunch(grid, block, count_thread, &ran), cudaErrorInvalidConfiguration);
    std::thread([&] { elsewhere = cudaPeekAtLastError(); }).join();
    EXPECT_TRUE(ran == 0 && elsewhere == cudaSuccess && cudaPeekAtLastError() == cudaErrorInvalidConfiguration);
    EXPECT_EQ(cudaDeviceSynchronize(), cudaSuccess);  // a refused launch is not a device fault
    EXPECT_TRUE(cudaGetLastError() == cudaErrorInvalidConfiguration && cudaGetLastError() == cudaSuccess);
  }
  EXPECT_EQ(hostcudaLaunch(dim3(1, 65535, 1), dim3(1024), noop_thread, nullptr), cudaSuccess);
  int ran = 0;
  const unsigned long long before = hostcudaLaunchCount();
  hostcudaFailLaunch(2, cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(hostcudaLaunch(dim3(1), dim3(1), count_thread, &ran), cudaSuccess);
  EXPECT_EQ(hostcudaLaunch(dim3(1), dim3(1), count_thread, &ran), cudaErrorNoKernelImageForDevice);
  EXPECT_TRUE(ran == 1 && hostcudaLaunchCount() == before + 2 && cudaGetLastError() == cudaErrorNoKernelImageForDevice);
  hostcudaFailSynchronize(cudaErrorIllegalAddress);
  EXPECT_EQ(cudaDeviceSynchronize(), cudaErrorIllegalAddress);
  EXPECT_EQ(cudaDeviceSynchronize(), cudaSuccess);
  EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
  // The runtime's own numbers and names, which callers compare against.
  EXPECT_TRUE(cudaErrorInvalidValue == 1 && cudaErrorMemoryAllocation == 2 && cudaErrorInvalidConfiguration == 9);
  EXPECT_STREQ(cudaGetErrorName(cudaErrorInvalidConfiguration), "cudaErrorInvalidConfiguration");
  EXPECT_STREQ(cudaGetErrorString(cudaErrorMemoryAllocation), "out of memory");
}

// Worked sums where rounding toward zero differs from rounding to nearest; SGL_RoundToNearest, built on it, is swept
// bit for bit against an independent reference in the arithmetic tests.
TEST_F(Runtime, TowardZeroAdditionTruncates) {
  for (auto [a, b, sum] :
       {std::tuple{0.49999997f, 0.5f, 0.99999994f}, {-0.49999997f, -0.5f, -0.99999994f}, {FLT_MAX, FLT_MAX, FLT_MAX},
        {-FLT_MAX, -FLT_MAX, -FLT_MAX}, {16777216.0f, 1.0f, 16777216.0f}, {-16777216.0f, -3.0f, -16777218.0f},
        {1.0f, 0x1p-30f, 1.0f}, {-1.0f, -0x1p-30f, -1.0f}, {1.0f, -0x1p-30f, 0.99999994f}, {1.0f, -1.0f, 0.0f},
        {-0.0f, -0.0f, -0.0f}, {0x1p-149f, 0x1p-149f, 0x1p-148f}, {INFINITY, 1.0f, INFINITY}, {INFINITY, -INFINITY, NAN}})
    EXPECT_SAME_FLOAT(__fadd_rz(a, b), sum) << a << " + " << b;
}

TEST_F(Runtime, EachCallCountsOnceUnderItsKindCopiesStayInsideTheAllocationAndTheKthFailsOnDemand) {
  constexpr size_t kBytes = 4 * sizeof(float);
  float host[5] = {1, 2, 3, 4, 5}, back[4] = {0, 0, 0, 0}, *a = nullptr, *b = nullptr;
  const testing_support::CallCounts counted = testing_support::calls_during([&] {
    ASSERT_TRUE(cudaMalloc(&a, kBytes) == cudaSuccess && cudaMalloc(&b, kBytes) == cudaSuccess);
    ASSERT_EQ(cudaMemcpy(a, host, kBytes, cudaMemcpyHostToDevice), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(b, a, kBytes, cudaMemcpyDeviceToDevice), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(host, b, kBytes, cudaMemcpyDeviceToHost), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(host, b, kBytes, cudaMemcpyDefault), cudaSuccess);  // resolved: device to host
    ASSERT_TRUE(cudaMemset(a, 0x3c, kBytes) == cudaSuccess && cudaDeviceSynchronize() == cudaSuccess);
    ASSERT_EQ(hostcudaLaunch(dim3(2), dim3(3), noop_thread, nullptr), cudaSuccess);
    ASSERT_EQ(hostcudaLaunch(dim3(0), dim3(3), noop_thread, nullptr), cudaErrorInvalidConfiguration);
    ASSERT_TRUE(cudaFree(b) == cudaSuccess && cudaFree(nullptr) == cudaSuccess);  // null reaches no device
  });
  EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidConfiguration);
  EXPECT_EQ(counted, (testing_support::CallCounts{2, 1, 1, 2, 1, 1, 1, 2}));
  ASSERT_EQ(cudaMemcpy(back, a, kBytes, cudaMemcpyDeviceToHost), cudaSuccess);  // every byte of a set
  EXPECT_EQ(std::vector<float>(back, back + 4), std::vector<float>(4, from_bits(0x3c3c3c3cu)));
  // Past the end of the allocation, or in no direction, nothing is copied.
  EXPECT_EQ(cudaMemcpy(a, host, sizeof host, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
  EXPECT_EQ(cudaMemcpy(host, a + 1, kBytes, cudaMemcpyDeviceToHost), cudaErrorInvalidValue);
  EXPECT_EQ(cudaMemset(a + 2, 0, 3 * sizeof(float)), cudaErrorInvalidValue);
  EXPECT_EQ(cudaMemcpy(a, host, kBytes, static_cast<cudaMemcpyKind>(7)), cudaErrorInvalidMemcpyDirection);
  EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidMemcpyDirection);
  hostcudaFailCopy(4, cudaErrorIllegalAddress);  // the fourth copy from here on, whatever its direction
  ASSERT_EQ(cudaMemcpy(a, host, kBytes, cudaMemcpyHostToDevice), cudaSuccess);
  ASSERT_EQ(cudaMemcpy(a + 1, a, 2 * sizeof(float), cudaMemcpyDefault), cudaSuccess);  // overlapping, as memmove
  ASSERT_EQ(cudaMemcpy(back, a, kBytes, cudaMemcpyDeviceToHost), cudaSuccess);
  EXPECT_EQ(std::vector<float>(back, back + 4), (std::vector<float>{1, 1, 2, 4}));
  EXPECT_EQ(cudaMemcpy(a, host + 1, kBytes, cudaMemcpyHostToDevice), cudaErrorIllegalAddress);  // copies nothing
  EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
  EXPECT_EQ(cudaMemcpy(back, a, kBytes, cudaMemcpyDeviceToHost), cudaSuccess);  // one failure only
  EXPECT_EQ(std::vector<float>(back, back + 4), (std::vector<float>{1, 1, 2, 4}));
  hostcudaFailCopy(1, cudaErrorUnknown), hostcudaFailCopy(0, cudaSuccess);  // cancelled
  EXPECT_EQ(cudaMemcpy(back, a, kBytes, cudaMemcpyDeviceToHost), cudaSuccess);
  cudaFree(a);
}

// What a GPU would still be running when a call returns: work queued since the last call that waits for it.
TEST_F(Runtime, PendingWorkIsWhatNoLaterCallHasWaitedFor) {
  float host[4] = {1, 2, 3, 4};
  DeviceBuffer<float> a(4), b(4);
  const auto pending_after = [](cudaError_t expected, cudaError_t status) {
    EXPECT_EQ(status, expected);
    return hostcudaPendingWork();
  };
  EXPECT_EQ(pending_after(cudaSuccess, cudaDeviceSynchronize()), 0u);
  EXPECT_EQ(pending_after(cudaSuccess, cudaMemcpy(a.get(), host, sizeof host, cudaMemcpyHostToDevice)), 1u);
  EXPECT_EQ(pending_after(cudaSuccess, cudaMemcpy(b.get(), a.get(), sizeof host, cudaMemcpyDefault)), 2u);
  EXPECT_EQ(pending_after(cudaSuccess, cudaMemset(a.get(), 0, sizeof host)), 3u);
  EXPECT_EQ(pending_after(cudaSuccess, hostcudaLaunch(dim3(1), dim3(1), noop_thread, nullptr)), 4u);
  EXPECT_EQ(pending_after(cudaErrorInvalidConfiguration, hostcudaLaunch(dim3(0), dim3(1), noop_thread, nullptr)), 4u);
  hostcudaFailCopy(1, cudaErrorUnknown);
  EXPECT_EQ(pending_after(cudaErrorUnknown, cudaMemcpy(host, b.get(), sizeof host, cudaMemcpyDeviceToHost)), 4u);
  {
    DeviceBuffer<float> released(4);  // its poisoning memset is queued; its release waits for nothing
  }
  EXPECT_EQ(hostcudaPendingWork(), 5u);
  EXPECT_EQ(pending_after(cudaSuccess, cudaMemcpy(host, b.get(), sizeof host, cudaMemcpyDeviceToHost)), 0u);
  ASSERT_EQ(cudaMemset(a.get(), 0, sizeof host), cudaSuccess);
  hostcudaFailSynchronize(cudaErrorIllegalAddress);  // a fault reported: the work is over all the same
  EXPECT_EQ(pending_after(cudaErrorIllegalAddress, cudaDeviceSynchronize()), 0u);
  EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
}

TEST_F(Runtime, AtomicMinKeepsTheSmallerAndReturnsTheOldValue) {
  unsigned u = UINT_MAX;
  int i = 3;
  EXPECT_TRUE(atomicMin(&u, 7u) == UINT_MAX && atomicMin(&u, 9u) == 7u && u == 7u);
  EXPECT_TRUE(atomicMin(&i, -5) == 3 && atomicMin(&i, INT_MIN) == -5 && atomicMin(&i, 0) == INT_MIN && i == INT_MIN);
}

constexpr int kThreads = 64;

// Each block reverses its 64 elements through shared memory; with_barrier = false leaves the barrier out.
__global__ void reverse_blocks(const int* in, int* out, bool with_barrier) {
  __shared__ int staged[kThreads];
  const int t = static_cast<int>(threadIdx.x), base = static_cast<int>(blockIdx.x) * kThreads;
  staged[t] = in[base + t];
  if (with_barrier) __syncthreads();
  out[base + t] = staged[kThreads - 1 - t];
}

// Tree sum of each block's elements in shared memory: a barrier in a loop, and threads that leave early.
__global__ void block_sums(const int* in, int* sums, int live) {
  __shared__ int partial[kThreads];
  const int t = static_cast<int>(threadIdx.x);
  if (t >= live) return;  // finished threads no longer hold the barrier
  partial[t] = in[static_cast<int>(blockIdx.x) * kThreads + t];
  __syncthreads();
  for (int half = kThreads / 2; half > 0; half /= 2) {
    if (t < half && t + half < live) partial[t] += partial[t + half];
    __syncthreads();
  }
  if (t == 0) sums[blockIdx.x] = partial[0];
}

TEST_F(Runtime, BlocksHoldAtTheirBarriersAndOwnTheirSharedMemory) {
  constexpr int kBlocks = 7;
  std::vector<int> input(kBlocks * kThreads);
  std::iota(input.begin(), input.end(), -50);
  DeviceBuffer<int> in(input), out(input.size()), sums(kBlocks);
  // Without its barrier the staged kernel reads unwritten elements: shared memory left by the block before, on
  // one host thread.
  const int block_threads = hostcudaSetBlockThreads(1);
  for (const bool barrier : {true, false}) {
    out.poison();
    ASSERT_EQ(brelmont::launch(reverse_blocks, dim3(kBlocks), dim3(kThreads), in.get(), out.get(), barrier),
              cudaSuccess);
    const std::vector<int> got = out.download();
    int wrong = 0;
    for (int i = 0; i < kBlocks * kThreads; ++i)
      wrong += got[i] != input[i / kThreads * kThreads + kThreads - 1 - i % kThreads];
    EXPECT_TRUE(barrier ? wrong == 0 : wrong >= kBlocks * kThreads / 4) << wrong << " wrong, barrier " << barrier;
  }
  hostcudaSetBlockThreads(block_threads);
  // Barriers in a loop with threads that have left, the blocks on as many host threads as the runtime is set to.
  for (const int live : {kThreads, 37, 1}) {
    sums.poison();
    ASSERT_EQ(brelmont::launch(block_sums, dim3(kBlocks), dim3(kThreads), in.get(), sums.get(), live), cudaSuccess);
    const std::vector<int> got = sums.download();
    for (int b = 0; b < kBlocks; ++b)
      EXPECT_EQ(got[b], std::accumulate(input.begin() + b * kThreads, input.begin() + b * kThreads + live, 0))
          << "block " << b << " with " << live << " live threads";
  }
}

}  // namespace
