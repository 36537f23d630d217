// Eight host threads call exports of every family at once, each on arrays of its own, with the blocks of each
// launch on several host threads. Every call must give, bit for bit, what it gives alone (the family tests check
// that against host references); under ThreadSanitizer this shows that the library and the runtime keep no
// unguarded state between calls.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/same_bits.h"

namespace {

using testing_support::DeviceBuffer;
using Floats = std::vector<float>;

// Whole numbers in [-50, 50]: sums, sorts and duplicates among them.
Floats whole(unsigned seed, int n) {
  std::mt19937 rng(seed);
  Floats v(n);
  for (float& x : v) x = static_cast<float>(static_cast<int>(rng() % 101) - 50);
  return v;
}

template <typename T>
std::vector<T> take(T* d, int n) {
  return d == nullptr ? std::vector<T>{} : DeviceBuffer<T>::adopt(d, n).download();
}

// One call per family on inputs drawn from seed; each returns everything it wrote.
const std::vector<std::function<Floats(unsigned)>> kCalls = {
    [](unsigned seed) {  // math in place, then array-scalar arithmetic
      DeviceBuffer<float> d(whole(seed, 1100));
      EXPECT_TRUE(SGL_Sine(d.get(), 1100) == cudaSuccess && SGL_MultArrayScalar(d.get(), -4.0f, 1100) == cudaSuccess);
      return d.download();
    },
    [](unsigned seed) {  // array-array over the common extent, then a reduction
      DeviceBuffer<float> a(whole(seed, 30 * 40)), b(whole(seed + 1, 25 * 50));
      int sa[] = {30, 40}, sb[] = {25, 50}, sizes[2], bytes = 0;
      float* out = nullptr;
      float sum = 0.5f;
      EXPECT_EQ(SGL_AddArrayArray(2, sa, sb, a.get(), b.get(), &out, sizes, &bytes), cudaSuccess);
      EXPECT_EQ(SGL_AddArrayElement(a.get(), 30 * 40, &sum), BRELMONT_STATUS_SUCCESS);
      Floats got = take(out, 25 * 40);
      got.push_back(sum);
      return got;
    },
    [](unsigned seed) {  // 2-D transpose through shared-memory tiles
      DeviceBuffer<float> d(whole(seed, 70 * 45)), t(70 * 45);
      int dims[] = {70, 45};
      EXPECT_EQ(SGL_Transpose2DArray(dims, d.get(), t.get()), cudaSuccess);
      return t.download();
    },
    [](unsigned seed) {  // creation and 1-D rotation
      Floats made = take(SGL_InitArray(1300, static_cast<float>(seed % 7)), 1300);
      DeviceBuffer<float> d(whole(seed, 1300));
      EXPECT_EQ(SGL_Rotate1DArray(1300, static_cast<int>(seed * 397 % 2000) - 1000, d.get()), cudaSuccess);
      const Floats rotated = d.download();
      made.insert(made.end(), rotated.begin(), rotated.end());
      return made;
    },
    [](unsigned seed) {  // shuffle, sort (of what the shuffle kept), search and duplicate removal
      DeviceBuffer<float> d(whole(seed, 1200));
      EXPECT_TRUE(SGL_ShuffleNDArray(1200, d.get()) == cudaSuccess && SGL_SortNDArray(1200, d.get()) == cudaSuccess);
      int found = -1, index = -1, n = 1200, start = 0, count = -1;
      float* unique = nullptr;
      SGL_SearchNDArray(1, n, &n, &start, 7.0f, d.get(), &found, &index);
      SGL_RemoveDup1DArray(d.get(), 1200, &unique, &count);
      Floats got = take(unique, count), sorted = d.download();
      got.insert(got.end(), {static_cast<float>(found), static_cast<float>(index), static_cast<float>(count)});
      got.insert(got.end(), sorted.begin(), sorted.end());
      return got;
    },
    [](unsigned seed) {  // FFT completion of 3 rows of 600
      const Floats parts = whole(seed, 3600);
      DeviceBuffer<float2> d(std::vector<float2>(reinterpret_cast<const float2*>(parts.data()),
                                                 reinterpret_cast<const float2*>(parts.data()) + 1800));
      int sizes[] = {3, 600};
      CompleteFFT(d.get(), sizes, 2);
      const std::vector<float2> got = d.download();
      return Floats(&got[0].x, &got[0].x + 3600);
    },
};

class Concurrency : public testing_support::ExportTest {};

TEST_F(Concurrency, EightHostThreadsCallEveryFamily) {
  std::vector<std::vector<Floats>> alone(8);
  for (unsigned t = 0; t < 8; ++t)
    for (const auto& call : kCalls) alone[t].push_back(call(t));
#if defined(CUDA_BRELMONT_HOST_VARIANT) && !defined(_WIN32)
  // The launches of each thread on three host threads, so that ThreadSanitizer sees blocks side by side. Not under
  // Wine: there, worker threads that turn into fibers for barrier kernels now and then deadlock in the heap's lock.
  const int previous = hostcudaSetBlockThreads(3);
#endif
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < 8; ++t)
    threads.emplace_back([t, &alone] {
      for (int round = 0; round < 3; ++round)
        for (size_t k = 0; k < kCalls.size(); ++k) {
          const size_t c = (k + t) % kCalls.size();
          EXPECT_TRUE(testing_support::same_bytes(kCalls[c](t), alone[t][c])) << "thread " << t << ", call " << c;
        }
      EXPECT_EQ(cudaGetLastError(), cudaSuccess) << "thread " << t;
    });
  for (std::thread& t : threads) t.join();
#if defined(CUDA_BRELMONT_HOST_VARIANT) && !defined(_WIN32)
  hostcudaSetBlockThreads(previous);
#endif
}

}  // namespace
