// hostcuda's blocks: __syncthreads is a barrier of the block and __shared__ memory belongs to the block, so a
// staged kernel gives the device's results, and the same kernel without its barrier gives wrong ones.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "frame/launch.h"
#include "hostcuda/hooks.h"
#include "support/device_buffer.h"

namespace {

using testing_support::DeviceBuffer;

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

std::vector<int> iota_from(int first, int n) {
  std::vector<int> v(n);
  std::iota(v.begin(), v.end(), first);
  return v;
}

TEST(Blocks, StagedKernelNeedsItsBarrier) {
  // What shows the missing barrier is shared memory left by the block before, on one host thread.
  const int block_threads = hostcudaSetBlockThreads(1);
  constexpr int kBlocks = 5;
  const std::vector<int> input = iota_from(100, kBlocks * kThreads);
  DeviceBuffer<int> in(input), out(input.size());
  for (const bool barrier : {true, false}) {
    out.poison();
    ASSERT_EQ(brelmont::launch(reverse_blocks, dim3(kBlocks), dim3(kThreads), in.get(), out.get(), barrier),
              cudaSuccess);
    const std::vector<int> got = out.download();
    int wrong = 0;
    for (int i = 0; i < kBlocks * kThreads; ++i) wrong += got[i] != input[i / kThreads * kThreads + kThreads - 1 - i % kThreads];
    // Without its barrier the kernel must read unwritten elements.
    EXPECT_TRUE(barrier ? wrong == 0 : wrong >= kBlocks * kThreads / 4) << wrong << " wrong, barrier " << barrier;
  }
  hostcudaSetBlockThreads(block_threads);
}

TEST(Blocks, BarriersInLoopsWithThreadsThatLeaveEarly) {
  constexpr int kBlocks = 7;
  const std::vector<int> input = iota_from(-50, kBlocks * kThreads);
  DeviceBuffer<int> in(input), sums(kBlocks);
  for (const int live : {kThreads, 37, 1}) {
    sums.poison();
    ASSERT_EQ(brelmont::launch(block_sums, dim3(kBlocks), dim3(kThreads), in.get(), sums.get(), live), cudaSuccess);
    const std::vector<int> got = sums.download();
    for (int b = 0; b < kBlocks; ++b) {
      const int want = std::accumulate(input.begin() + b * kThreads, input.begin() + b * kThreads + live, 0);
      EXPECT_EQ(got[b], want) << "block " << b << " with " << live << " live threads";
    }
  }
}

}  // namespace
