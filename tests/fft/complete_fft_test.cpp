// FFT completion against a host loop over rows: X[N - j] = conj(X[j]) from the valid lower half, every other
// element as it was, with the runtime calls of each shape; malformed shapes change nothing. (Every step of a
// typical call fails in tests/frame/exports_test.cpp.)
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "cuda_brelmont.h"
#include "support/contract.h"
#include "support/device_buffer.h"
#include "support/same_bits.h"

namespace {

using namespace testing_support;

class CompleteFft : public ExportTest {};

TEST_F(CompleteFft, MirrorsTheLowerHalfOfEveryRow) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> value(-4.0f, 4.0f);
  for (std::vector<int> sizes : std::vector<std::vector<int>>{
           {5}, {4}, {1}, {2}, {3}, {2, 4}, {3, 2, 5}, {7, 1}, {1, 6}, {0, 5}, {4, 0}, {3, 1024}, {2, 1025},
           {1, 100001}}) {
    size_t count = 1;
    for (int s : sizes) count *= s;
    std::vector<float2> data(count);  // zero imaginary parts of both signs among them
    for (float2& x : data) x = float2{value(rng), rng() % 5 == 0 ? (rng() % 2 ? 0.0f : -0.0f) : value(rng)};
    std::vector<float2> want = data;
    const int N = sizes.back(), last_source = N % 2 == 1 ? N / 2 : N / 2 - 1;
    for (size_t row = 0; N > 0 && row < count / N; ++row)
      for (int j = 1; j <= last_source; ++j) want[row * N + N - j] = float2{data[row * N + j].x, -data[row * N + j].y};
    DeviceBuffer<float2> d(data);
    const std::vector<int> given = sizes;
    const CallCounts made = calls_during([&] { CompleteFFT(d.get(), sizes.data(), static_cast<int>(sizes.size())); });
    EXPECT_TRUE(same_bytes(d.download(), want) && sizes == given) << ::testing::PrintToString(sizes);
    // It waits for earlier work before its one launch, and for the launch after; nothing where nothing mirrors.
    if (kHooks) EXPECT_EQ(made, (same_bytes(want, data) ? CallCounts{} : CallCounts{0, 0, 0, 0, 0, 0, 2, 1}));
  }
}

// No status: a malformed shape changes nothing, makes no runtime call and leaves no error.
TEST_F(CompleteFft, MalformedShapesChangeNothing) {
  const std::vector<float2> data(30, float2{1, 2});
  DeviceBuffer<float2> d(data);
  int rows[] = {15, 2}, negative[] = {-2, -3}, huge[] = {65536, 65536, 2};
  for (auto [sizes, ndims] : {std::pair{rows, 0}, {rows, -1}, {nullptr, 2}, {negative, 2}, {huge, 3}})
    expect_contract({"ndims " + std::to_string(ndims), {}, [&, sizes = sizes, ndims = ndims] {
                       return CompleteFFT(d.get(), sizes, ndims), 1;
                     }, 1, [&] { return same_bytes(d.download(), data); }});
}

}  // namespace
