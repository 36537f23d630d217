// Array-array arithmetic over the common extent, against a plain host loop over coordinates.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"

namespace {

using testing_support::DeviceBuffer;
using testing_support::launch_count;
using testing_support::same_float;

using Export = cudaError_t (*)(int, int*, int*, float*, float*, float**, int*, int*);

struct Operation {
  const char* name;
  Export run;
  float (*op)(float, float);
};

const Operation kOperations[] = {
    {"add", SGL_AddArrayArray, [](float a, float b) { return a + b; }},
    {"subtract", SGL_SubstractArrayArray, [](float a, float b) { return a - b; }},
    {"multiply", SGL_MultArrayArray, [](float a, float b) { return a * b; }},
    {"divide", SGL_DivideArrayArray, [](float a, float b) { return a / b; }},
};

constexpr int kUnwritten = -777;

size_t element_count(const std::vector<int>& sizes) {
  size_t n = 1;
  for (int s : sizes) n *= static_cast<size_t>(s);
  return n;
}

// The expected result: walks the common extent coordinate by coordinate (an odometer, last dimension fastest)
// and finds each operand's element by Horner's rule on its own sizes.
std::vector<float> reference(const Operation& operation, const std::vector<int>& sizes_a,
                             const std::vector<int>& sizes_b, const std::vector<float>& a,
                             const std::vector<float>& b) {
  const int ndims = static_cast<int>(sizes_a.size());
  std::vector<int> common(ndims);
  for (int d = 0; d < ndims; ++d) common[d] = std::min(sizes_a[d], sizes_b[d]);
  std::vector<float> out;
  if (element_count(common) == 0) return out;
  std::vector<int> at(ndims, 0);
  while (true) {
    size_t ia = 0, ib = 0;
    for (int d = 0; d < ndims; ++d) {
      ia = ia * sizes_a[d] + at[d];
      ib = ib * sizes_b[d] + at[d];
    }
    out.push_back(operation.op(a[ia], b[ib]));
    int d = ndims - 1;
    while (d >= 0 && ++at[d] == common[d]) at[d--] = 0;
    if (d < 0) return out;
  }
}

struct Outcome {
  cudaError_t status;
  std::vector<float> values;  // the downloaded result, sized by the reported byte count
  bool result_null;
  std::vector<int> sizes;
  int bytes;
};

// Calls the export on device copies of a and b; the output arguments start poisoned.
Outcome call(const Operation& operation, std::vector<int> sizes_a, std::vector<int> sizes_b,
             const std::vector<float>& a, const std::vector<float>& b) {
  DeviceBuffer<float> da(a), db(b);
  Outcome outcome{};
  outcome.sizes.assign(sizes_a.size(), kUnwritten);
  outcome.bytes = kUnwritten;
  float* result = reinterpret_cast<float*>(0x1);
  outcome.status = operation.run(static_cast<int>(sizes_a.size()), sizes_a.data(), sizes_b.data(), da.get(), db.get(),
                                 &result, outcome.sizes.data(), &outcome.bytes);
  outcome.result_null = result == nullptr;
  if (result != nullptr && outcome.bytes > 0) {
    outcome.values = DeviceBuffer<float>::adopt(result, outcome.bytes / sizeof(float)).download();
  } else if (result != nullptr && result != reinterpret_cast<float*>(0x1)) {
    EXPECT_EQ(cudaFree(result), cudaSuccess);
  }
  return outcome;
}

// Values over a wide range of magnitudes and both signs, with some zeros.
std::vector<float> random_values(std::mt19937& rng, size_t n) {
  std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::uniform_int_distribution<int> pick(0, 15);
  std::vector<float> v(n);
  for (float& x : v) x = pick(rng) == 0 ? 0.0f : std::ldexp(mantissa(rng), exponent(rng));
  return v;
}

void expect_matches(const Operation& operation, const std::vector<int>& sizes_a, const std::vector<int>& sizes_b,
                    const std::vector<float>& a, const std::vector<float>& b, const std::string& what) {
  const Outcome got = call(operation, sizes_a, sizes_b, a, b);
  ASSERT_EQ(got.status, cudaSuccess) << what;
  const std::vector<float> expected = reference(operation, sizes_a, sizes_b, a, b);
  for (size_t d = 0; d < sizes_a.size(); ++d) EXPECT_EQ(got.sizes[d], std::min(sizes_a[d], sizes_b[d])) << what;
  ASSERT_EQ(got.bytes, static_cast<int>(expected.size() * sizeof(float))) << what;
  EXPECT_EQ(got.result_null, expected.empty()) << what;
  ASSERT_EQ(got.values.size(), expected.size()) << what;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (!same_float(got.values[i], expected[i])) {
      ADD_FAILURE() << what << ": element " << i << " is " << got.values[i] << ", expected " << expected[i];
      return;
    }
  }
}

std::string describe(const Operation& operation, const std::vector<int>& sizes_a, const std::vector<int>& sizes_b) {
  std::string text = std::string(operation.name) + " A(";
  for (int s : sizes_a) text += std::to_string(s) + ",";
  text += ") B(";
  for (int s : sizes_b) text += std::to_string(s) + ",";
  return text + ")";
}

class ArrayArray : public testing_support::ExportTest {};

TEST_F(ArrayArray, RandomShapesMatchAHostLoopOverCoordinates) {
  std::mt19937 rng(20240604);
  for (int ndims = 0; ndims <= 6; ++ndims) {
    std::uniform_int_distribution<int> size(1, ndims <= 3 ? 9 : 4);
    for (int trial = 0; trial < 6; ++trial) {
      std::vector<int> sizes_a(ndims), sizes_b(ndims);
      for (int d = 0; d < ndims; ++d) {
        sizes_a[d] = size(rng);
        sizes_b[d] = trial == 0 ? sizes_a[d] : size(rng);  // equal shapes once, independent ones after
      }
      const std::vector<float> a = random_values(rng, element_count(sizes_a));
      const std::vector<float> b = random_values(rng, element_count(sizes_b));
      for (const Operation& operation : kOperations) {
        expect_matches(operation, sizes_a, sizes_b, a, b, describe(operation, sizes_a, sizes_b));
      }
    }
  }
}

TEST_F(ArrayArray, ResultsCrossingBlockBoundariesAreComplete) {
  std::mt19937 rng(7);
  const std::vector<std::vector<int>> shapes_a = {{1025}, {3, 700}, {2, 3, 300}, {513, 2}};
  const std::vector<std::vector<int>> shapes_b = {{1500}, {5, 513}, {3, 2, 257}, {600, 3}};
  for (size_t k = 0; k < shapes_a.size(); ++k) {
    const std::vector<float> a = random_values(rng, element_count(shapes_a[k]));
    const std::vector<float> b = random_values(rng, element_count(shapes_b[k]));
    for (const Operation& operation : kOperations) {
      expect_matches(operation, shapes_a[k], shapes_b[k], a, b, describe(operation, shapes_a[k], shapes_b[k]));
    }
  }
}

TEST_F(ArrayArray, CommonExtentTakesTheLeadingBlockOfEachOperand) {
  const Operation& add = kOperations[0];
  // Equal shapes: plain elementwise; 24 bytes.
  Outcome got = call(add, {2, 3}, {2, 3}, {1, 2, 3, 4, 5, 6}, {10, 20, 30, 40, 50, 60});
  EXPECT_EQ(got.values, (std::vector<float>{11, 22, 33, 44, 55, 66}));
  EXPECT_EQ(got.bytes, 24);
  // 2 x 3 and 3 x 2: a 2 x 2 result, A read with row stride 3 and B with row stride 2.
  got = call(add, {2, 3}, {3, 2}, {1, 2, 3, 4, 5, 6}, {10, 20, 30, 40, 50, 60});
  EXPECT_EQ(got.values, (std::vector<float>{11, 22, 34, 45}));
  EXPECT_EQ(got.sizes, (std::vector<int>{2, 2}));
  // 1 x 4 and 3 x 4: row 0 of B only, no broadcasting.
  got = call(add, {1, 4}, {3, 4}, {1, 2, 3, 4}, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120});
  EXPECT_EQ(got.values, (std::vector<float>{11, 22, 33, 44}));
  EXPECT_EQ(got.sizes, (std::vector<int>{1, 4}));
  // 5 and 3 elements.
  got = call(add, {5}, {3}, {1, 2, 3, 4, 5}, {10, 20, 30});
  EXPECT_EQ(got.values, (std::vector<float>{11, 22, 33}));
  EXPECT_EQ(got.sizes, (std::vector<int>{3}));
  EXPECT_EQ(got.bytes, 12);
}

TEST_F(ArrayArray, OperandOrderAndDivisionByZero) {
  const std::vector<float> a = {5, -3, 0, 1, -0.0f};
  const std::vector<float> b = {2, 0, 0, -0.0f, 4};
  Outcome got = call(kOperations[1], {5}, {5}, a, b);
  EXPECT_EQ(got.values, (std::vector<float>{3, -3, 0, 1, -4}));
  got = call(kOperations[3], {5}, {5}, a, b);
  ASSERT_EQ(got.values.size(), 5u);
  EXPECT_EQ(got.values[0], 2.5f);
  EXPECT_EQ(got.values[1], -INFINITY);
  EXPECT_TRUE(std::isnan(got.values[2]));  // 0 / 0
  EXPECT_EQ(got.values[3], -INFINITY);     // 1 / -0
  EXPECT_SAME_FLOAT(got.values[4], -0.0f);
  // Subnormal results are kept.
  got = call(kOperations[2], {1}, {1}, {1e-20f}, {1e-20f});
  EXPECT_SAME_FLOAT(got.values.at(0), 1e-20f * 1e-20f);
  EXPECT_GT(got.values.at(0), 0.0f);
}

TEST_F(ArrayArray, ZeroDimensionsCombineOneElement) {
  DeviceBuffer<float> a(std::vector<float>{7.0f}), b(std::vector<float>{2.0f});
  for (const Operation& operation : kOperations) {
    float* result = nullptr;
    int bytes = kUnwritten;
    // No sizes to read or write: null size arrays are fine.
    ASSERT_EQ(operation.run(0, nullptr, nullptr, a.get(), b.get(), &result, nullptr, &bytes), cudaSuccess);
    EXPECT_EQ(bytes, 4);
    DeviceBuffer<float> out = DeviceBuffer<float>::adopt(result, 1);
    EXPECT_SAME_FLOAT(out.download()[0], operation.op(7.0f, 2.0f)) << operation.name;
  }
}

TEST_F(ArrayArray, TenDimensionsAreTheCapacity) {
  std::mt19937 rng(10);
  const std::vector<int> sizes_a = {2, 1, 3, 2, 1, 2, 2, 1, 2, 3};
  const std::vector<int> sizes_b = {1, 2, 2, 3, 2, 2, 1, 2, 3, 2};
  const std::vector<float> a = random_values(rng, element_count(sizes_a));
  const std::vector<float> b = random_values(rng, element_count(sizes_b));
  expect_matches(kOperations[3], sizes_a, sizes_b, a, b, "ten dimensions");
}

TEST_F(ArrayArray, AnEmptyCommonExtentSucceedsWithoutDeviceWork) {
  const unsigned long long launches = launch_count();
  for (const Operation& operation : kOperations) {
    // A zero size in either operand empties the result; the sizes are still reported.
    Outcome got = call(operation, {3, 0, 2}, {3, 4, 2}, {}, std::vector<float>(24, 1.0f));
    EXPECT_EQ(got.status, cudaSuccess);
    EXPECT_TRUE(got.result_null);
    EXPECT_EQ(got.bytes, 0);
    EXPECT_EQ(got.sizes, (std::vector<int>{3, 0, 2}));
    got = call(operation, {2, 2}, {2, 0}, {1, 2, 3, 4}, {});
    EXPECT_EQ(got.status, cudaSuccess);
    EXPECT_TRUE(got.result_null);
    EXPECT_EQ(got.sizes, (std::vector<int>{2, 0}));
  }
  EXPECT_EQ(launch_count(), launches);
}

TEST_F(ArrayArray, ResultSizesMayOverwriteAnOperandsSizes) {
  DeviceBuffer<float> a(std::vector<float>{1, 2, 3, 4, 5, 6}), b(std::vector<float>{10, 20, 30, 40, 50, 60});
  int sizes_a[] = {2, 3}, sizes_b[] = {3, 2};
  float* result = nullptr;
  int bytes = 0;
  ASSERT_EQ(SGL_AddArrayArray(2, sizes_a, sizes_b, a.get(), b.get(), &result, sizes_a, &bytes), cudaSuccess);
  DeviceBuffer<float> out = DeviceBuffer<float>::adopt(result, 4);
  EXPECT_EQ(out.download(), (std::vector<float>{11, 22, 34, 45}));
  EXPECT_EQ(sizes_a[0], 2);
  EXPECT_EQ(sizes_a[1], 2);
}

TEST_F(ArrayArray, BadArgumentsAreRefusedWithNothingAllocatedOrWritten) {
  DeviceBuffer<float> a(std::vector<float>{1, 2, 3, 4}), b(std::vector<float>{5, 6, 7, 8});
  const unsigned long long launches = launch_count();
  struct Case {
    const char* what;
    int ndims;
    std::vector<int> sizes_a, sizes_b;
  };
  const std::vector<Case> cases = {
      {"negative ndims", -1, {2, 2}, {2, 2}},
      {"ndims beyond 10", 11, std::vector<int>(11, 1), std::vector<int>(11, 1)},
      {"negative size of A", 2, {-1, 2}, {2, 2}},
      {"negative size of B", 2, {2, 2}, {2, INT_MIN}},
      {"A beyond INT_MAX elements", 2, {65536, 65536}, {2, 2}},
      {"B beyond INT_MAX elements", 3, {1, 2, 2}, {2, 1 << 30, 2}},
      {"result beyond INT_MAX bytes", 1, {1 << 29}, {1 << 29}},
  };
  for (const Operation& operation : kOperations) {
    for (Case c : cases) {
      std::vector<int> sizes(c.sizes_a.size(), kUnwritten);
      int bytes = kUnwritten;
      float* result = reinterpret_cast<float*>(0x1);
      EXPECT_EQ(
          operation.run(c.ndims, c.sizes_a.data(), c.sizes_b.data(), a.get(), b.get(), &result, sizes.data(), &bytes),
          cudaErrorInvalidValue)
          << operation.name << ": " << c.what;
      EXPECT_EQ(result, nullptr) << c.what;
      EXPECT_EQ(bytes, kUnwritten) << c.what;
      EXPECT_EQ(sizes, std::vector<int>(c.sizes_a.size(), kUnwritten)) << c.what;
    }
    int sizes_a[] = {2, 2}, sizes_b[] = {2, 2}, out_sizes[2] = {kUnwritten, kUnwritten};
    int bytes = kUnwritten;
    float* result = reinterpret_cast<float*>(0x1);
    EXPECT_EQ(operation.run(2, sizes_a, sizes_b, a.get(), b.get(), nullptr, out_sizes, &bytes), cudaErrorInvalidValue);
    EXPECT_EQ(operation.run(2, sizes_a, sizes_b, a.get(), b.get(), &result, out_sizes, nullptr), cudaErrorInvalidValue);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(operation.run(2, nullptr, sizes_b, a.get(), b.get(), &result, out_sizes, &bytes), cudaErrorInvalidValue);
    EXPECT_EQ(operation.run(2, sizes_a, nullptr, a.get(), b.get(), &result, out_sizes, &bytes), cudaErrorInvalidValue);
    EXPECT_EQ(operation.run(2, sizes_a, sizes_b, a.get(), b.get(), &result, nullptr, &bytes), cudaErrorInvalidValue);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(bytes, kUnwritten);
    EXPECT_EQ(out_sizes[0], kUnwritten);
  }
  EXPECT_EQ(launch_count(), launches);
}

TEST_F(ArrayArray, FailuresLeaveNothingAllocatedAndANullResult) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> a(std::vector<float>{1, 2, 3, 4}), b(std::vector<float>{5, 6, 7, 8});
  int sizes_a[] = {2, 2}, sizes_b[] = {2, 2}, out_sizes[2];
  int bytes = 0;
  const size_t live = testing_support::live_allocations();
  for (const Operation& operation : kOperations) {
    const unsigned long long launches = launch_count();
    float* result = reinterpret_cast<float*>(0x1);
    testing_support::fail_allocation(1);
    EXPECT_EQ(operation.run(2, sizes_a, sizes_b, a.get(), b.get(), &result, out_sizes, &bytes),
              cudaErrorMemoryAllocation);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(launch_count(), launches) << "launched on a failed allocation";
    EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);

    result = reinterpret_cast<float*>(0x1);
    testing_support::fail_launch(1, cudaErrorNoKernelImageForDevice);
    EXPECT_EQ(operation.run(2, sizes_a, sizes_b, a.get(), b.get(), &result, out_sizes, &bytes),
              cudaErrorNoKernelImageForDevice);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(cudaGetLastError(), cudaErrorNoKernelImageForDevice);

    // A kernel fault, reported by the wait for the kernel.
    result = reinterpret_cast<float*>(0x1);
    testing_support::fail_synchronize(cudaErrorIllegalAddress);
    EXPECT_EQ(operation.run(2, sizes_a, sizes_b, a.get(), b.get(), &result, out_sizes, &bytes),
              cudaErrorIllegalAddress);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
    EXPECT_EQ(testing_support::live_allocations(), live) << operation.name;
  }
}

}  // namespace
