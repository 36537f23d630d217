// hostcuda's blocks: __syncthreads is a barrier of the block and __shared__ memory belongs to the block, so a
// staged kernel gives the device's results, and the same kernel without its barrier gives wrong ones.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <numeric>
#include <thread>
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
    for (int i = 0; i < kBlocks * kThreads; ++i) {
      const int want = input[i / kThreads * kThreads + kThreads - 1 - i % kThreads];
      wrong += got[i] != want;
    }
    if (barrier) {
      EXPECT_EQ(wrong, 0);
    } else {
      EXPECT_GE(wrong, kBlocks * kThreads / 4) << "without its barrier the kernel must read unwritten elements";
    }
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

// Each host thread has its own coordinates and its own fibers: host threads that launch barrier kernels at the
// same time, several times over (so fibers are reused), each get their own blocks' sums.
TEST(Blocks, HostThreadsRunTheirBarrierKernelsSideBySide) {
  constexpr int kBlocks = 3, kHostThreads = 4, kRounds = 3;
  std::vector<std::vector<int>> got(kHostThreads * kRounds), want(kHostThreads * kRounds);
  std::vector<std::thread> threads;
  for (int h = 0; h < kHostThreads; ++h) {
    threads.emplace_back([&, h] {
      for (int r = 0; r < kRounds; ++r) {
        const int live = kThreads - 9 * h - r, k = h * kRounds + r;
        const std::vector<int> input = iota_from(1000 * h - 17 * r, kBlocks * kThreads);
        for (int b = 0; b < kBlocks; ++b)
          want[k].push_back(std::accumulate(input.begin() + b * kThreads, input.begin() + b * kThreads + live, 0));
        DeviceBuffer<int> in(input), sums(kBlocks);
        const cudaError_t status =
            brelmont::launch(block_sums, dim3(kBlocks), dim3(kThreads), in.get(), sums.get(), live);
        if (status == cudaSuccess) got[k] = sums.download();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (int k = 0; k < kHostThreads * kRounds; ++k)
    EXPECT_EQ(got[k], want[k]) << "host thread " << k / kRounds << " round " << k % kRounds;
}

}  // namespace
