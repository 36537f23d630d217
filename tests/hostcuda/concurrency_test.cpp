// Eight host threads call exports of every family at once, each on arrays of its own, with the blocks of each
// launch on several host threads; every result is checked against a host loop. Under ThreadSanitizer this
// shows that the library and the runtime keep no unguarded state between calls.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"

namespace {

using testing_support::DeviceBuffer;
using Floats = std::vector<float>;

// Whole numbers in [-50, 50]: every sum, product of two and sort below is exact.
Floats whole(std::mt19937& rng, int n) {
  Floats v(n);
  for (float& x : v) x = static_cast<float>(static_cast<int>(rng() % 101) - 50);
  return v;
}

Floats take(float* d, int n) { return d == nullptr ? Floats{} : DeviceBuffer<float>::adopt(d, n).download(); }

// One call per family: each draws its inputs, calls the export and compares with a loop written here.
const std::vector<std::function<void(std::mt19937&)>> kCalls = {
    [](std::mt19937& rng) {  // math in place, then array-scalar arithmetic
      const Floats x = whole(rng, 1100);
      DeviceBuffer<float> d(x);
      ASSERT_EQ(SGL_Sine(d.get(), 1100), cudaSuccess);
      ASSERT_EQ(SGL_MultArrayScalar(d.get(), -4.0f, 1100), cudaSuccess);
      const Floats got = d.download();
      for (int i = 0; i < 1100; ++i) ASSERT_NEAR(got[i], -4 * std::sin(double{x[i]}), 4e-6) << "sine " << i;
    },
    [](std::mt19937& rng) {  // array-array over the common extent
      const Floats a = whole(rng, 30 * 40), b = whole(rng, 25 * 50);
      DeviceBuffer<float> da(a), db(b);
      int sa[] = {30, 40}, sb[] = {25, 50}, sizes[2], bytes = 0;
      float* out = nullptr;
      ASSERT_EQ(SGL_AddArrayArray(2, sa, sb, da.get(), db.get(), &out, sizes, &bytes), cudaSuccess);
      const Floats got = take(out, 25 * 40);
      for (int r = 0; r < 25; ++r)
        for (int c = 0; c < 40; ++c) ASSERT_EQ(got[r * 40 + c], a[r * 40 + c] + b[r * 50 + c]) << r << "," << c;
    },
    [](std::mt19937& rng) {  // reduction
      const Floats x = whole(rng, 1500);
      DeviceBuffer<float> d(x);
      float sum = 0.5f;
      ASSERT_EQ(SGL_AddArrayElement(d.get(), 1500, &sum), BRELMONT_STATUS_SUCCESS);
      ASSERT_EQ(sum, std::accumulate(x.begin(), x.end(), 0.0));
    },
    [](std::mt19937& rng) {  // N-D transpose through shared-memory tiles
      const Floats x = whole(rng, 70 * 45);
      DeviceBuffer<float> d(x), t(70 * 45);
      int dims[] = {70, 45};
      ASSERT_EQ(SGL_Transpose2DArray(dims, d.get(), t.get()), cudaSuccess);
      const Floats got = t.download();
      for (int r = 0; r < 70; ++r)
        for (int c = 0; c < 45; ++c) ASSERT_EQ(got[c * 70 + r], x[r * 45 + c]) << r << "," << c;
    },
    [](std::mt19937& rng) {  // creation and 1-D rotation
      const float value = static_cast<float>(rng() % 7);
      const int shift = static_cast<int>(rng() % 2000) - 1000;
      Floats x = take(SGL_InitArray(1300, value), 1300);
      ASSERT_EQ(x, Floats(1300, value));
      for (int i = 0; i < 1300; ++i) x[i] = static_cast<float>(i);
      DeviceBuffer<float> d(x);
      ASSERT_EQ(SGL_Rotate1DArray(1300, shift, d.get()), cudaSuccess);
      const Floats got = d.download();
      for (int i = 0; i < 1300; ++i) ASSERT_EQ(got[i], x[((i - shift) % 1300 + 1300) % 1300]) << "rotate " << i;
    },
    [](std::mt19937& rng) {  // shuffle, sort (of what the shuffle kept), search and duplicate removal
      Floats x = whole(rng, 1200);
      DeviceBuffer<float> d(x);
      ASSERT_EQ(SGL_ShuffleNDArray(1200, d.get()), cudaSuccess);
      ASSERT_EQ(SGL_SortNDArray(1200, d.get()), cudaSuccess);
      std::sort(x.begin(), x.end());
      ASSERT_EQ(d.download(), x);
      int found = -1, index = -1, n = 1200, start = 0;
      SGL_SearchNDArray(1, n, &n, &start, x[700], d.get(), &found, &index);
      ASSERT_TRUE(found == 1 && index == std::find(x.begin(), x.end(), x[700]) - x.begin()) << found << " " << index;
      float* unique = nullptr;
      int count = -1;
      SGL_RemoveDup1DArray(d.get(), 1200, &unique, &count);
      x.erase(std::unique(x.begin(), x.end()), x.end());
      ASSERT_EQ(take(unique, count), x);
    },
    [](std::mt19937& rng) {  // FFT completion of 3 rows of 600
      std::vector<float2> x(1800);
      for (float2& v : x) v = float2{static_cast<float>(rng() % 9), static_cast<float>(rng() % 9) - 4.0f};
      DeviceBuffer<float2> d(x);
      int sizes[] = {3, 600};
      CompleteFFT(d.get(), sizes, 2);
      const std::vector<float2> got = d.download();
      for (int r = 0; r < 3; ++r)
        for (int j = 1; j < 600; ++j) {
          const float2 want = j <= 300 ? x[r * 600 + j] : float2{x[r * 600 + 600 - j].x, -x[r * 600 + 600 - j].y};
          ASSERT_TRUE(got[r * 600 + j].x == want.x && got[r * 600 + j].y == want.y) << r << "," << j;
        }
    },
};

class Concurrency : public testing_support::ExportTest {};

TEST_F(Concurrency, EightHostThreadsCallEveryFamily) {
#if defined(CUDA_BRELMONT_HOST_VARIANT) && !defined(_WIN32)
  // The launches of each thread on three host threads, so that ThreadSanitizer sees blocks side by side. Not under
  // Wine: there, worker threads that turn into fibers for barrier kernels now and then deadlock in the heap's lock.
  const int previous = hostcudaSetBlockThreads(3);
#endif
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < 8; ++t)
    threads.emplace_back([t] {
      std::mt19937 rng(t);
      for (int round = 0; round < 3; ++round)
        for (size_t k = 0; k < kCalls.size(); ++k) kCalls[(k + t) % kCalls.size()](rng);
      EXPECT_EQ(cudaGetLastError(), cudaSuccess) << "thread " << t;
    });
  for (std::thread& t : threads) t.join();
#if defined(CUDA_BRELMONT_HOST_VARIANT) && !defined(_WIN32)
  hostcudaSetBlockThreads(previous);
#endif
}

}  // namespace
