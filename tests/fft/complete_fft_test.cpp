// FFT completion against a host loop over rows: X[N - j] = conj(X[j]) from the valid lower half, every other
// element as it was; then its runtime calls, malformed shapes and failing steps as contract rows.
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

std::vector<float2> random_spectrum(std::mt19937& rng, size_t n) {  // zero imaginary parts of both signs
  std::uniform_real_distribution<float> value(-4.0f, 4.0f);
  std::vector<float2> v(n);
  for (float2& x : v) x = float2{value(rng), rng() % 5 == 0 ? (rng() % 2 ? 0.0f : -0.0f) : value(rng)};
  return v;
}

class CompleteFft : public ExportTest {};

TEST_F(CompleteFft, MirrorsTheLowerHalfOfEveryRow) {
  std::mt19937 rng(17);
  std::vector<std::vector<int>> shapes = {{5},    {4},    {1},    {2},    {3},       {2, 4},    {3, 2, 5},
                                          {7, 1}, {1, 6}, {0, 5}, {4, 0}, {3, 1024}, {2, 1025}, {1, 100001}};
  for (std::vector<int> sizes : shapes) {
    size_t count = 1;
    for (int s : sizes) count *= s;
    const std::vector<float2> data = random_spectrum(rng, count);
    std::vector<float2> want = data;
    const int N = sizes.back(), last_source = N % 2 == 1 ? N / 2 : N / 2 - 1;
    for (size_t row = 0; N > 0 && row < count / N; ++row)
      for (int j = 1; j <= last_source; ++j) want[row * N + N - j] = float2{data[row * N + j].x, -data[row * N + j].y};
    DeviceBuffer<float2> d(data);
    const std::vector<int> given = sizes;
    CompleteFFT(d.get(), sizes.data(), static_cast<int>(sizes.size()));
    EXPECT_TRUE(same_bytes(d.download(), want)) << ::testing::PrintToString(sizes);
    EXPECT_EQ(sizes, given) << "the sizes changed";
  }
}

TEST_F(CompleteFft, RuntimeCallsMalformedShapesAndFailures) {
  const std::vector<float2> data(30, float2{1, 2});
  DeviceBuffer<float2> d(data);
  int three_by_two_by_five[] = {3, 2, 5}, rows_of_two[] = {15, 2}, negative[] = {-2, -3}, huge[] = {65536, 65536, 2};
  // No status: 0 for a call that ran, 1 for one that must change nothing.
  const auto run = [&](int* sizes, int ndims, int status) {
    return [&, sizes, ndims, status] { return CompleteFFT(d.get(), sizes, ndims), status; };
  };
  const auto unchanged = [&] { return same_bytes(d.download(), data); };
  // It waits for earlier work before its one launch, and for the launch after (last: it changes the data).
  const Contract rows[] = {{"rows of two: nothing to mirror", {}, run(rows_of_two, 2, 1), 1, unchanged},
                           {"no dimensions", {}, run(rows_of_two, 0, 1), 1, unchanged},
                           {"ndims < 0", {}, run(rows_of_two, -1, 1), 1, unchanged},
                           {"null sizes", {}, run(nullptr, 2, 1), 1, unchanged},
                           {"negative sizes", {}, run(negative, 2, 1), 1, unchanged},
                           {"beyond INT_MAX", {}, run(huge, 3, 1), 1, unchanged},
                           {"3 x 2 x 5", {0, 0, 0, 0, 0, 0, 2, 1}, run(three_by_two_by_five, 3, 0)}};
  for (const Contract& row : rows) expect_contract(row, [](cudaError_t) { return 0; });
}

}  // namespace
