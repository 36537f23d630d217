// Creating arrays by fill, filling existing ones and single-element updates: every element written holds the
// value's bits, nothing past n is written; then the runtime calls and statuses of empty and refused calls (the
// steps of a typical call fail in tests/frame/exports_test.cpp) and of element updates, applied once each, which
// leave the values checked at the end.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "cuda_brelmont.h"
#include "support/contract.h"
#include "support/device_buffer.h"
#include "support/same_bits.h"
#include "support/sizes.h"

namespace {

using namespace testing_support;
using Update = cudaError_t (*)(float*, int, int);

class Creation : public ExportTest {};

// The first n elements of got hold value's bits, the rest the poison.
template <typename T>
void expect_filled(const char* what, const std::vector<T>& got, size_t n, T value) {
  const T poison = poison_value<T>();
  for (size_t i = 0; i < got.size(); ++i)
    ASSERT_EQ(std::memcmp(&got[i], i < n ? &value : &poison, sizeof(T)), 0) << what << ": element " << i << ", n " << n;
}

TEST_F(Creation, FillsEveryElementUpToN) {
  std::vector<int> sizes = boundary_sizes();
  sizes.insert(sizes.end(), {16777217, 33553921});  // 32769 standard blocks (fills); the first 2-D wide grid (new)
  for (int n : sizes) {
    const float value = n % 2 ? -0.0f : from_bits(0x7fc12345u - n);  // a negative zero and NaN payloads survive
    float2 pair{float(n), -0.5f};
    if (n > 0 && n != 16777217)
      expect_filled("SGL_InitArray", DeviceBuffer<float>::adopt(SGL_InitArray(n, value), n).download(), n, value);
    if (n > 0 && n <= 65539)
      expect_filled("CSG_InitArray", DeviceBuffer<float2>::adopt(CSG_InitArray(n, &pair), n).download(), n, pair);
    if (n > 16777217) continue;
    DeviceBuffer<float> a(n + 3);  // poisoned: what lies past n must stay so
    DeviceBuffer<float2> b(n + 1);
    ASSERT_TRUE(SGL_SetTensor(a.get(), value, n) == cudaSuccess && CSG_SetTensor(b.get(), &pair, n) == cudaSuccess);
    expect_filled("SGL_SetTensor", a.download(), n, value);
    expect_filled("CSG_SetTensor", b.download(), n, pair);
  }
}

// A new array's status: 0 when the export returned one (released here), 1 for null.
int created(void* array) {
  if (array == nullptr) return 1;
  EXPECT_EQ(cudaFree(array), cudaSuccess);
  return 0;
}

TEST_F(Creation, RuntimeCallsOfEmptyAndRefusedCallsAndUpdates) {
  DeviceBuffer<float> a(std::vector<float>{16777216.0f, 16777216.0f, INFINITY, NAN, -0.5f, 10}),
      z(std::vector<float>{1, 2, 3});
  DeviceBuffer<float2> b(std::vector<float2>{{1, 2}, {3, 4}, {5, 6}});
  float2 pair{5, 6};
  const auto filled = [&] { return z.download() == std::vector<float>{9, 9, 9}; };  // by n = 3; n <= 0 writes 7
  std::vector<Contract> rows = {{"CSG_InitArray null", {}, [] { return created(CSG_InitArray(4, nullptr)); }, 1},
                                {"CSG_SetTensor null", {}, [&] { return CSG_SetTensor(b.get(), nullptr, 3); }, 1}};
  // Nothing to do: no array made; a fill is synchronised all the same, reading no value.
  for (int n : {3, 0, INT_MIN}) {
    if (n <= 0) rows.push_back({"SGL_InitArray", {}, [=] { return created(SGL_InitArray(n, 1)); }, 1});
    if (n <= 0) rows.push_back({"CSG_InitArray", {}, [&, n] { return created(CSG_InitArray(n, &pair)); }, 1});
    rows.push_back({"SGL_SetTensor", {0, 0, 0, 0, 0, 0, 1, n > 0},
                    [&, n] { return SGL_SetTensor(z.get(), n > 0 ? 9 : 7, n); }, 0, filled});
    rows.push_back({"CSG_SetTensor", {0, 0, 0, 0, 0, 0, 1, n > 0},
                    [&, n] { return CSG_SetTensor(b.get(), n > 0 ? &pair : nullptr, n); }});
  }
  // Element updates return the launch status without waiting; an index at or past n launches nothing.
  for (auto [update, index, n, status] :
       {std::tuple{Update(SGL_IncrementElement), 0, 6, 0}, {SGL_DecrementElement, 0, 6, 0},
        {SGL_IncrementElement, 0, 6, 0}, {SGL_DecrementElement, 0, 6, 0}, {SGL_DecrementElement, 1, 6, 0},
        {SGL_IncrementElement, 2, 6, 0}, {SGL_DecrementElement, 3, 6, 0}, {SGL_IncrementElement, 4, 6, 0},
        {SGL_DecrementElement, 5, 6, 0}, {SGL_IncrementElement, 5, 5, 0}, {SGL_DecrementElement, 6, 6, 0},
        {SGL_DecrementElement, 0, 0, 0}, {SGL_IncrementElement, -1, 6, 1}, {SGL_DecrementElement, INT_MIN, 6, 1}})
    rows.push_back({"element update " + std::to_string(index) + " of " + std::to_string(n),
                    {0, 0, 0, 0, 0, 0, 0, index >= 0 && index < n},
                    [&, update, index, n] { return update(a.get(), index, n); }, status});
  for (const Contract& row : rows) expect_contract(row);
  ASSERT_EQ(cudaDeviceSynchronize(), cudaSuccess);  // the updates return before their kernels finish
  // 16777217 is not a float: the tie rounds to even, and element 0 then goes down, up and down again, so that a
  // skipped increment or decrement of the first element shows.
  expect_same_bits("updates", a.download(), {16777215.0f, 16777215.0f, INFINITY, NAN, 0.5f, 9});
}

}  // namespace
