// Array-array arithmetic over the common extent, against a plain host loop over coordinates.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "arith/arith_checks.h"
#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/runtime.h"

namespace {

using testing_support::DeviceBuffer;
using testing_support::launch_count;
using Shape = std::vector<int>;

const struct Operation {
  const char* name;
  cudaError_t (*run)(int, int*, int*, float*, float*, float**, int*, int*);
  float (*op)(float, float);
} kOperations[] = {
    {"add", SGL_AddArrayArray, [](float a, float b) { return a + b; }},
    {"subtract", SGL_SubstractArrayArray, [](float a, float b) { return a - b; }},
    {"multiply", SGL_MultArrayArray, [](float a, float b) { return a * b; }},
    {"divide", SGL_DivideArrayArray, [](float a, float b) { return a / b; }},
};

constexpr int kUnwritten = -777;

size_t element_count(const Shape& sizes) {
  return std::accumulate(sizes.begin(), sizes.end(), size_t{1}, std::multiplies<size_t>());
}

Shape common_extent(const Shape& sizes_a, const Shape& sizes_b) {
  Shape common(sizes_a.size());
  for (size_t d = 0; d < common.size(); ++d) common[d] = std::min(sizes_a[d], sizes_b[d]);
  return common;
}

// The expected result: an odometer over the common extent (last dimension fastest), each operand's element
// found by Horner's rule on its own sizes.
std::vector<float> reference(const Operation& operation, const Shape& sizes_a, const Shape& sizes_b,
                             const std::vector<float>& a, const std::vector<float>& b) {
  const Shape common = common_extent(sizes_a, sizes_b);
  std::vector<float> out;
  Shape at(common.size(), 0);
  for (size_t t = 0; t < element_count(common); ++t) {
    size_t ia = 0, ib = 0;
    for (size_t d = 0; d < at.size(); ++d) ia = ia * sizes_a[d] + at[d], ib = ib * sizes_b[d] + at[d];
    out.push_back(operation.op(a[ia], b[ib]));
    for (size_t d = at.size(); d-- > 0 && ++at[d] == common[d];) at[d] = 0;  // the odometer's next reading
  }
  return out;
}

// Calls the export on device copies of a and b (null size arrays where there are no dimensions), its outputs
// stale, and checks its result against want: values bit for bit, the sizes of the common extent, the byte
// count, a null result exactly where there are no elements, and one launch exactly where there are some.
void expect_result(const Operation& operation, Shape sizes_a, Shape sizes_b, const std::vector<float>& a,
                   const std::vector<float>& b, const std::vector<float>& want) {
  const std::string what = operation.name + (" of " + ::testing::PrintToString(sizes_a)) + " and " +
                           ::testing::PrintToString(sizes_b);
  DeviceBuffer<float> da(a), db(b);
  Shape sizes(sizes_a.size(), kUnwritten);
  int bytes = kUnwritten;
  float stale = 0;
  float* result = &stale;
  const unsigned long long launches = launch_count();
  const auto or_null = [](Shape& s) { return s.empty() ? nullptr : s.data(); };
  ASSERT_EQ(operation.run(static_cast<int>(sizes_a.size()), or_null(sizes_a), or_null(sizes_b), da.get(), db.get(),
                          &result, or_null(sizes), &bytes),
            cudaSuccess)
      << what;
  if (testing_support::kHooks) EXPECT_EQ(launch_count() - launches, want.empty() ? 0u : 1u) << what;
  EXPECT_EQ(sizes, common_extent(sizes_a, sizes_b)) << what;
  ASSERT_EQ(bytes, static_cast<int>(want.size() * sizeof(float))) << what;
  ASSERT_TRUE(result != &stale && (result == nullptr) == want.empty()) << what << ": result " << result;
  if (result != nullptr)
    arith_testing::expect_same_bits(what, DeviceBuffer<float>::adopt(result, want.size()).download(), want);
}

// Values over a wide range of magnitudes and both signs, one in sixteen a zero.
std::vector<float> random_values(std::mt19937& rng, size_t n) {
  std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
  std::vector<float> v(n);
  for (float& x : v) {
    const int exponent = static_cast<int>(rng() % 61) - 30;
    x = rng() % 16 == 0 ? 0.0f : std::ldexp(mantissa(rng), exponent);
  }
  return v;
}

class ArrayArray : public testing_support::ExportTest {};

TEST_F(ArrayArray, RandomShapesMatchAHostLoopOverCoordinates) {
  // Shapes across many blocks, ten dimensions, then random shapes of 0 to 6 dimensions: equal shapes once,
  // independent sizes per dimension after.
  std::vector<std::pair<Shape, Shape>> shapes = {{{1025}, {1500}},           {{3, 700}, {5, 513}},
                                                 {{2, 3, 300}, {3, 2, 257}}, {{513, 2}, {600, 3}},
                                                 {{2, 1, 3, 2, 1, 2, 2, 1, 2, 3}, {1, 2, 2, 3, 2, 2, 1, 2, 3, 2}}};
  std::mt19937 rng(20240604);
  for (int ndims = 0; ndims <= 6; ++ndims)
    for (int trial = 0; trial < 6; ++trial) {
      Shape sizes_a(ndims), sizes_b(ndims);
      const auto size = [&] { return 1 + static_cast<int>(rng() % (ndims <= 3 ? 9 : 4)); };
      for (int d = 0; d < ndims; ++d) sizes_a[d] = size();
      for (int d = 0; d < ndims; ++d) sizes_b[d] = trial == 0 ? sizes_a[d] : size();
      shapes.push_back({sizes_a, sizes_b});
    }
  for (const auto& [sizes_a, sizes_b] : shapes) {
    const std::vector<float> a = random_values(rng, element_count(sizes_a));
    const std::vector<float> b = random_values(rng, element_count(sizes_b));
    for (const Operation& operation : kOperations)
      expect_result(operation, sizes_a, sizes_b, a, b, reference(operation, sizes_a, sizes_b, a, b));
  }
}

TEST_F(ArrayArray, ShapeAndValueEdgeCases) {
  const std::vector<float> six = {1, 2, 3, 4, 5, 6}, tens = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
  const std::vector<float> a = {5, -3, 0, 1, -0.0f}, b = {2, 0, 0, -0.0f, 4};
  const struct {
    const Operation& operation;
    Shape sizes_a, sizes_b;
    std::vector<float> a, b, want;
  } rows[] = {
      {kOperations[0], {2, 3}, {3, 2}, six, tens, {11, 22, 34, 45}},  // A read with row stride 3, B with 2
      {kOperations[0], {1, 4}, {3, 4}, six, tens, {11, 22, 33, 44}},  // row 0 of B only: no broadcasting
      {kOperations[1], {5}, {5}, a, b, {3, -3, 0, 1, -4}},
      {kOperations[3], {5}, {5}, a, b, {2.5f, -INFINITY, NAN, -INFINITY, -0.0f}},
      {kOperations[2], {3, 0, 2}, {3, 4, 2}, {}, std::vector<float>(24, 1), {}},  // no elements, no device work
      {kOperations[3], {2, 2}, {2, 0}, {1, 2, 3, 4}, {}, {}},
  };
  for (const auto& row : rows) expect_result(row.operation, row.sizes_a, row.sizes_b, row.a, row.b, row.want);
}

TEST_F(ArrayArray, ResultSizesMayOverwriteAnOperandsSizes) {
  DeviceBuffer<float> a(std::vector<float>{1, 2, 3, 4, 5, 6}), b(std::vector<float>{10, 20, 30, 40, 50, 60});
  int sizes_a[] = {2, 3}, sizes_b[] = {3, 2};
  float* result = nullptr;
  int bytes = 0;
  ASSERT_EQ(SGL_AddArrayArray(2, sizes_a, sizes_b, a.get(), b.get(), &result, sizes_a, &bytes), cudaSuccess);
  EXPECT_EQ(DeviceBuffer<float>::adopt(result, 4).download(), (std::vector<float>{11, 22, 34, 45}));
  EXPECT_EQ(Shape(sizes_a, sizes_a + 2), (Shape{2, 2}));
}

TEST_F(ArrayArray, BadArgumentsAreRefusedWithNothingWritten) {
  DeviceBuffer<float> a(std::vector<float>{1, 2, 3, 4});
  const struct {
    const char* what;
    int ndims;
    Shape sizes_a, sizes_b;
    int null_argument = 0;  // the position of an argument passed as null
  } rows[] = {
      {"negative ndims", -1, {2, 2}, {2, 2}},           {"ndims beyond 10", 11, Shape(11, 1), Shape(11, 1)},
      {"negative size of A", 2, {-1, 2}, {2, 2}},       {"negative size of B", 2, {2, 2}, {2, INT_MIN}},
      {"A beyond INT_MAX elements", 2, {65536, 65536}, {2, 2}},
      {"B beyond INT_MAX elements", 3, {1, 2, 2}, {2, 1 << 30, 2}},
      {"result beyond INT_MAX bytes", 1, {1 << 29}, {1 << 29}},
      {"null sizes of A", 2, {2, 2}, {2, 2}, 2},        {"null sizes of B", 2, {2, 2}, {2, 2}, 3},
      {"null result address", 2, {2, 2}, {2, 2}, 6},    {"null result sizes", 2, {2, 2}, {2, 2}, 7},
      {"null byte count", 2, {2, 2}, {2, 2}, 8},
  };
  const unsigned long long launches = launch_count();
  for (const Operation& operation : kOperations)
    for (auto row : rows) {
      Shape sizes(row.sizes_a.size(), kUnwritten);
      int bytes = kUnwritten;
      float* result = a.get();
      const auto unless = [&](int position, auto* arg) { return row.null_argument == position ? nullptr : arg; };
      EXPECT_EQ(operation.run(row.ndims, unless(2, row.sizes_a.data()), unless(3, row.sizes_b.data()), a.get(), a.get(),
                              unless(6, &result), unless(7, sizes.data()), unless(8, &bytes)),
                cudaErrorInvalidValue)
          << operation.name << ": " << row.what;
      EXPECT_TRUE(row.null_argument == 6 || result == nullptr) << row.what;
      EXPECT_EQ(bytes, kUnwritten) << row.what;
      EXPECT_EQ(sizes, Shape(row.sizes_a.size(), kUnwritten)) << row.what;
    }
  EXPECT_EQ(launch_count(), launches);
}

TEST_F(ArrayArray, FailuresLeaveNothingAllocatedAndANullResult) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> a(std::vector<float>{1, 2, 3, 4});
  int sizes[] = {2, 2}, out_sizes[2];
  int bytes = 0;
  float* result = nullptr;
  for (const Operation& operation : kOperations)
    arith_testing::expect_failures_reported<cudaError_t>(
        operation.name, 1,
        [&] {
          result = a.get();
          const cudaError_t status = operation.run(2, sizes, sizes, a.get(), a.get(), &result, out_sizes, &bytes);
          if (status == cudaSuccess) EXPECT_EQ(cudaFree(result), cudaSuccess);
          return status;
        },
        [&] { return result == nullptr; }, cudaErrorMemoryAllocation, cudaErrorNoKernelImageForDevice,
        cudaErrorIllegalAddress);
}

}  // namespace
