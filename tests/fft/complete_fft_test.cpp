// FFT completion against a host loop over rows: X[N - j] = conj(X[j]) from the valid lower half, every other
// element as it was.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"

namespace {

using testing_support::bits;
using testing_support::calls_during;
using testing_support::CallCounts;
using testing_support::DeviceBuffer;

std::vector<float2> random_spectrum(std::mt19937& rng, size_t n) {
  std::uniform_real_distribution<float> value(-4.0f, 4.0f);
  std::vector<float2> v(n);
  for (float2& x : v) x = float2{value(rng), rng() % 5 == 0 ? (rng() % 2 ? 0.0f : -0.0f) : value(rng)};
  return v;
}

// Completes data in place on the device and compares every element's bits with the host loop's result.
void expect_completes(const std::vector<int>& sizes, const std::vector<float2>& data) {
  std::vector<float2> want = data;
  const int N = sizes.back();
  const int h = N / 2, last_source = N % 2 == 1 ? h : h - 1;
  for (size_t row = 0; N > 0 && row < data.size() / N; ++row)
    for (int j = 1; j <= last_source; ++j) want[row * N + N - j] = float2{data[row * N + j].x, -data[row * N + j].y};

  DeviceBuffer<float2> d(data);
  std::vector<int> dims = sizes;
  CompleteFFT(d.get(), dims.data(), static_cast<int>(dims.size()));
  const std::vector<float2> got = d.download();
  for (size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(bits(got[i].x), bits(want[i].x)) << ::testing::PrintToString(sizes) << " element " << i;
    ASSERT_EQ(bits(got[i].y), bits(want[i].y)) << ::testing::PrintToString(sizes) << " element " << i;
  }
  EXPECT_EQ(dims, sizes) << "the sizes changed";
}

size_t count_of(const std::vector<int>& sizes) {
  size_t n = 1;
  for (int s : sizes) n *= s;
  return n;
}

class CompleteFft : public testing_support::ExportTest {};

TEST_F(CompleteFft, ListedShapesAndRandomOnesAgainstAHostLoop) {
  std::mt19937 rng(17);
  const std::vector<std::vector<int>> shapes = {
      {5}, {4}, {1}, {2}, {3}, {2, 4}, {3, 2, 5}, {7, 1}, {1, 6}, {0, 5}, {4, 0}, {3, 1024}, {2, 1025}, {1, 100001}};
  for (const auto& sizes : shapes) expect_completes(sizes, random_spectrum(rng, count_of(sizes)));
  for (int trial = 0; trial < 40; ++trial) {
    std::vector<int> sizes(1 + rng() % 4);
    for (int& s : sizes) s = 1 + static_cast<int>(rng() % 9);
    expect_completes(sizes, random_spectrum(rng, count_of(sizes)));
  }
  // A positive imaginary zero mirrors as a negative one.
  DeviceBuffer<float2> d(std::vector<float2>{{1, 0}, {2, 0.0f}, {3, 9}, {-1, -1}});
  int sizes[] = {3};
  CompleteFFT(d.get(), sizes, 1);
  EXPECT_EQ(bits(d.download()[2].y), bits(-0.0f));
}

TEST_F(CompleteFft, MalformedShapesChangeNothingWithoutDeviceWork) {
  const std::vector<float2> data = {{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}, {11, 12}};
  DeviceBuffer<float2> d(data);
  int negative[] = {-2, -3}, too_large[] = {65536, 65536, 2}, fine[] = {2, 3};
  const struct {
    int* sizes;
    int ndims;
  } rows[] = {{fine, 0}, {fine, -1}, {nullptr, 2}, {negative, 2}, {too_large, 3}};
  for (const auto& row : rows) {
    EXPECT_EQ(calls_during([&] { CompleteFFT(d.get(), row.sizes, row.ndims); }), CallCounts{}) << row.ndims;
  }
  const std::vector<float2> got = d.download();
  for (size_t i = 0; i < data.size(); ++i) EXPECT_EQ(bits(got[i].y), bits(data[i].y));
}

TEST_F(CompleteFft, WaitsBeforeAndAfterItsOneLaunch) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float2> d(std::vector<float2>(30, float2{1, 1}));
  int three_by_two_by_five[] = {3, 2, 5}, rows_of_two[] = {15, 2};
  EXPECT_EQ(calls_during([&] { CompleteFFT(d.get(), three_by_two_by_five, 3); }),
            (CallCounts{0, 0, 0, 0, 0, 0, 2, 1}));
  EXPECT_EQ(calls_during([&] { CompleteFFT(d.get(), rows_of_two, 2); }), CallCounts{});  // nothing to mirror

  // A refused launch writes nothing and stays the pending error; there is no status to report it.
  testing_support::fail_launch(1, cudaErrorLaunchOutOfResources);
  const std::vector<float2> before = d.download();
  CompleteFFT(d.get(), three_by_two_by_five, 3);
  EXPECT_EQ(cudaGetLastError(), cudaErrorLaunchOutOfResources);
  const std::vector<float2> after = d.download();
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(bits(after[i].y), bits(before[i].y));
}

}  // namespace
