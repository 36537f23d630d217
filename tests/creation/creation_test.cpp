// Creating arrays by fill, filling existing ones, and single-element updates.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"
#include "support/sizes.h"

namespace {

using testing_support::bits;
using testing_support::boundary_sizes;
using testing_support::DeviceBuffer;
using testing_support::from_bits;
using testing_support::launch_count;
using testing_support::poison_value;

class Creation : public testing_support::ExportTest {};

// Every element holds exactly these bits.
template <typename T>
void expect_all(const std::vector<T>& values, T expected, const char* what) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (std::memcmp(&values[i], &expected, sizeof(T)) != 0) {
      ADD_FAILURE() << what << ": element " << i << " of " << values.size() << " not filled";
      return;
    }
  }
}

TEST_F(Creation, InitArrayFillsEveryElementAcrossBlockBoundaries) {
  for (int n : boundary_sizes()) {
    if (n == 0) continue;
    DeviceBuffer<float> a = DeviceBuffer<float>::adopt(SGL_InitArray(n, 2.5f), n);
    ASSERT_NE(a.get(), nullptr) << n;
    expect_all(a.download(), 2.5f, "SGL_InitArray");
  }
  // The value's bits are stored as they are: a negative zero and a NaN payload survive.
  DeviceBuffer<float> z = DeviceBuffer<float>::adopt(SGL_InitArray(3, -0.0f), 3);
  expect_all(z.download(), -0.0f, "negative zero");
  const float payload = from_bits(0x7fc12345u);
  DeviceBuffer<float> q = DeviceBuffer<float>::adopt(SGL_InitArray(3, payload), 3);
  for (float v : q.download()) EXPECT_EQ(bits(v), 0x7fc12345u);
}

TEST_F(Creation, ComplexInitArrayStoresRealThenImaginary) {
  float2 value{1.0f, -2.0f};
  DeviceBuffer<float> as_floats = DeviceBuffer<float>::adopt(reinterpret_cast<float*>(CSG_InitArray(3, &value)), 6);
  ASSERT_NE(as_floats.get(), nullptr);
  EXPECT_EQ(as_floats.download(), (std::vector<float>{1, -2, 1, -2, 1, -2}));
  for (int n : boundary_sizes()) {
    if (n == 0) continue;
    value = float2{float(n), -0.5f};
    DeviceBuffer<float2> a = DeviceBuffer<float2>::adopt(CSG_InitArray(n, &value), n);
    ASSERT_NE(a.get(), nullptr) << n;
    expect_all(a.download(), value, "CSG_InitArray");
  }
}

TEST_F(Creation, WideGridFillReachesTheLastElement) {
  const int n = 33553921;  // the first count that needs a two-dimensional grid
  DeviceBuffer<float> a = DeviceBuffer<float>::adopt(SGL_InitArray(n, -7.25f), n);
  ASSERT_NE(a.get(), nullptr);
  expect_all(a.download(), -7.25f, "wide grid");
}

TEST_F(Creation, NothingToCreateReturnsNullWithoutDeviceWork) {
  const unsigned long long launches = launch_count();
  float2 value{1, 2};
  for (int n : {0, -1, -513, INT_MIN}) {
    EXPECT_EQ(SGL_InitArray(n, 1.0f), nullptr) << n;
    EXPECT_EQ(CSG_InitArray(n, &value), nullptr) << n;
  }
  EXPECT_EQ(CSG_InitArray(4, nullptr), nullptr);
  EXPECT_EQ(launch_count(), launches);
}

TEST_F(Creation, FailedStepsReturnNullAndReleaseTheArray) {
  REQUIRE_RUNTIME_HOOKS();
  float2 value{1, 2};
  const unsigned long long launches = launch_count();
  testing_support::fail_allocation(1);
  EXPECT_EQ(SGL_InitArray(10, 1.0f), nullptr);
  EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);
  testing_support::fail_allocation(1);
  EXPECT_EQ(CSG_InitArray(10, &value), nullptr);
  EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);
  EXPECT_EQ(launch_count(), launches);  // nothing launched on a failed allocation

  testing_support::fail_launch(1, cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(SGL_InitArray(10, 1.0f), nullptr);
  EXPECT_EQ(cudaGetLastError(), cudaErrorNoKernelImageForDevice);
  testing_support::fail_synchronize(cudaErrorIllegalAddress);
  EXPECT_EQ(CSG_InitArray(10, &value), nullptr);
  EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
  // The fixture checks that none of these calls leaked its array.
}

TEST_F(Creation, SetTensorWritesOnlyTheFirstNElements) {
  const float poison = poison_value<float>();
  for (int n : boundary_sizes()) {
    DeviceBuffer<float> a(static_cast<size_t>(n) + 3);
    ASSERT_EQ(SGL_SetTensor(a.get(), 0.75f, n), cudaSuccess) << n;
    const std::vector<float> got = a.download();
    expect_all(std::vector<float>(got.begin(), got.begin() + n), 0.75f, "SGL_SetTensor");
    for (size_t i = n; i < got.size(); ++i) ASSERT_EQ(bits(got[i]), bits(poison)) << "wrote past n = " << n;
  }
  DeviceBuffer<float> a(std::vector<float>{1, 2, 3, 4, 5});
  EXPECT_EQ(SGL_SetTensor(a.get(), -1.0f, 2), cudaSuccess);
  EXPECT_EQ(a.download(), (std::vector<float>{-1, -1, 3, 4, 5}));
  EXPECT_EQ(SGL_SetTensor(a.get(), 8.0f, 0), cudaSuccess);
  EXPECT_EQ(SGL_SetTensor(a.get(), 8.0f, -600), cudaSuccess);
  EXPECT_EQ(a.download(), (std::vector<float>{-1, -1, 3, 4, 5}));
}

TEST_F(Creation, ComplexSetTensorCoversALargeCountToTheLastElement) {
  const int n = 16777217;  // 32769 blocks
  DeviceBuffer<float2> a(static_cast<size_t>(n) + 1);
  float2 value{3.0f, -0.0f};
  ASSERT_EQ(CSG_SetTensor(a.get(), &value, n), cudaSuccess);
  std::vector<float2> got = a.download();
  const float2 poison = poison_value<float2>();
  EXPECT_EQ(std::memcmp(&got[n], &poison, sizeof poison), 0) << "wrote past n";
  got.pop_back();
  expect_all(got, value, "CSG_SetTensor");
}

TEST_F(Creation, ComplexSetTensorRejectsANullValue) {
  DeviceBuffer<float2> a(std::vector<float2>{{1, 2}, {3, 4}});
  EXPECT_EQ(CSG_SetTensor(a.get(), nullptr, 2), cudaErrorInvalidValue);
  EXPECT_EQ(CSG_SetTensor(a.get(), nullptr, 0), cudaSuccess);  // nothing to read, nothing to do
  const std::vector<float2> got = a.download();
  EXPECT_EQ(got[0].x, 1.0f);
  EXPECT_EQ(got[1].y, 4.0f);
}

TEST_F(Creation, ElementUpdatesChangeOneElementWithinBounds) {
  DeviceBuffer<float> a(std::vector<float>{10, 20, 30, 40});
  EXPECT_EQ(SGL_IncrementElement(a.get(), 3, 4), cudaSuccess);  // the last element
  EXPECT_EQ(SGL_DecrementElement(a.get(), 0, 4), cudaSuccess);
  EXPECT_EQ(SGL_IncrementElement(a.get(), 4, 4), cudaSuccess);  // index == n: nothing
  EXPECT_EQ(SGL_DecrementElement(a.get(), 9, 4), cudaSuccess);
  EXPECT_EQ(SGL_IncrementElement(a.get(), 0, 0), cudaSuccess);
  EXPECT_EQ(SGL_IncrementElement(a.get(), -1, 4), cudaErrorInvalidValue);
  EXPECT_EQ(SGL_DecrementElement(a.get(), INT_MIN, 4), cudaErrorInvalidValue);
  ASSERT_EQ(cudaDeviceSynchronize(), cudaSuccess);  // the updates return before their kernels finish
  EXPECT_EQ(a.download(), (std::vector<float>{9, 20, 30, 41}));
}

TEST_F(Creation, ElementUpdatesRoundInSinglePrecision) {
  const float nan = std::nanf("");
  DeviceBuffer<float> a(std::vector<float>{16777216.0f, 16777216.0f, INFINITY, -INFINITY, nan, -0.5f});
  SGL_IncrementElement(a.get(), 0, 6);
  SGL_DecrementElement(a.get(), 1, 6);
  SGL_IncrementElement(a.get(), 2, 6);
  SGL_DecrementElement(a.get(), 3, 6);
  SGL_IncrementElement(a.get(), 4, 6);
  EXPECT_EQ(SGL_IncrementElement(a.get(), 5, 6), cudaSuccess);
  ASSERT_EQ(cudaDeviceSynchronize(), cudaSuccess);
  const std::vector<float> got = a.download();
  EXPECT_EQ(got[0], 16777216.0f);  // 16777217 is not a float: the tie rounds to even
  EXPECT_EQ(got[1], 16777215.0f);
  EXPECT_EQ(got[2], INFINITY);
  EXPECT_EQ(got[3], -INFINITY);
  EXPECT_TRUE(std::isnan(got[4]));
  EXPECT_EQ(got[5], 0.5f);
}

}  // namespace
