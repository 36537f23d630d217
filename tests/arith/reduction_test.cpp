// Whole-array reductions: sums and products against long double references with the bound that double
// accumulation gives; minimum and maximum positions against a scan in index order.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "cuda_brelmont.h"
#include "frame/algorithms.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"
#include "support/sizes.h"

namespace {

using testing_support::bits;
using testing_support::boundary_sizes;
using testing_support::DeviceBuffer;
using testing_support::float_ulp;
using testing_support::launch_count;

constexpr long double kDoubleUnit = 0x1p-53L;  // unit roundoff of double
constexpr float kUnwrittenFloat = -12345.0f;
constexpr int kUnwritten = -777;

using Reduction = brelmontStatus_t (*)(float*, int, float*);

float reduce(Reduction reduction, const std::vector<float>& data) {
  DeviceBuffer<float> d(data);
  float result = kUnwrittenFloat;
  EXPECT_EQ(reduction(d.get(), static_cast<int>(data.size()), &result), BRELMONT_STATUS_SUCCESS);
  return result;
}

// gamma_k = k u / (1 - k u): the relative error bound of k roundings in double precision.
long double rounding_gamma(size_t k) { return k * kDoubleUnit / (1 - k * kDoubleUnit); }

// Sum in double precision in any order, then one rounding to float: |D - S| <= gamma_{n-1} * sum|x| and
// |result - D| <= half an ulp of D.
void expect_sum_within_bound(const std::vector<float>& data, const char* what) {
  long double exact = 0, magnitude = 0;  // exact for the inputs used here: see the callers
  for (float x : data) {
    exact += x;
    magnitude += std::fabs(static_cast<long double>(x));
  }
  const long double accumulation = rounding_gamma(data.size() - 1) * magnitude;
  const long double bound = accumulation + float_ulp(std::fabs(exact) + accumulation) / 2;
  const float got = reduce(SGL_AddArrayElement, data);
  EXPECT_LE(std::fabs(got - exact), bound)
      << what << ", n = " << data.size() << ": got " << got << ", exact " << static_cast<double>(exact);
}

// Values m * 2^e with |m| < 1 of 24 bits and e in [-10, 10]: every partial sum of up to 2^16 of them is a
// multiple of 2^-34 below 2^26, so the long double reference (64-bit significand) is exact.
std::vector<float> moderate_values(std::mt19937& rng, size_t n, float low, float high) {
  std::uniform_real_distribution<float> mantissa(low, high);
  std::uniform_int_distribution<int> exponent(-10, 10);
  std::vector<float> v(n);
  for (float& x : v) x = std::ldexp(mantissa(rng), exponent(rng));
  return v;
}

class Reductions : public testing_support::ExportTest {};

TEST_F(Reductions, SmallSumsAndProductsAreExact) {
  EXPECT_EQ(reduce(SGL_AddArrayElement, {1, 2, 3}), 6.0f);
  EXPECT_EQ(reduce(SGL_MultiplyArrayElement, {1, 2, 3}), 6.0f);
  for (float x : {-3.5f, 1e-40f, FLT_MAX, -INFINITY}) {
    EXPECT_SAME_FLOAT(reduce(SGL_AddArrayElement, {x}), x);
    EXPECT_SAME_FLOAT(reduce(SGL_MultiplyArrayElement, {x}), x);
  }
  EXPECT_EQ(reduce(SGL_MultiplyArrayElement, {2, 0.5f, -3, 4}), -12.0f);
}

TEST_F(Reductions, SumsKeepSignedZerosInfinitiesAndNaN) {
  EXPECT_SAME_FLOAT(reduce(SGL_AddArrayElement, {-0.0f}), -0.0f);
  EXPECT_SAME_FLOAT(reduce(SGL_AddArrayElement, std::vector<float>(1000, -0.0f)), -0.0f);
  EXPECT_SAME_FLOAT(reduce(SGL_AddArrayElement, {-0.0f, 0.0f, -0.0f}), 0.0f);
  EXPECT_SAME_FLOAT(reduce(SGL_AddArrayElement, {1.0f, -1.0f}), 0.0f);
  EXPECT_EQ(reduce(SGL_AddArrayElement, {INFINITY, 1.0f, -FLT_MAX}), INFINITY);
  EXPECT_TRUE(std::isnan(reduce(SGL_AddArrayElement, {INFINITY, 1.0f, -INFINITY})));
  EXPECT_TRUE(std::isnan(reduce(SGL_AddArrayElement, {1.0f, NAN, 2.0f})));
  // The double accumulator does not overflow where a float one would; the final rounding may.
  EXPECT_EQ(reduce(SGL_AddArrayElement, {FLT_MAX, FLT_MAX, -FLT_MAX}), FLT_MAX);
  EXPECT_EQ(reduce(SGL_AddArrayElement, {FLT_MAX, FLT_MAX}), INFINITY);
  // 2^24 + 1 + 1: a float accumulator would lose both ones.
  EXPECT_EQ(reduce(SGL_AddArrayElement, {16777216.0f, 1.0f, 1.0f}), 16777218.0f);
}

TEST_F(Reductions, SumsStayWithinTheDoubleAccumulationBound) {
  std::mt19937 rng(31);
  for (int n : boundary_sizes()) {
    if (n == 0) continue;
    expect_sum_within_bound(moderate_values(rng, n, 0.0f, 1.0f), "positive");
    expect_sum_within_bound(moderate_values(rng, n, -1.0f, 1.0f), "mixed signs");
  }
  // Heavy cancellation: pairs +256x, -256x with x/256 in between (partial sums below 2^19, multiples of 2^-42:
  // still exact in long double). The bound is then mostly the accumulation term, about 0.01, while a float
  // accumulator errs by about 1.
  std::vector<float> cancelling;
  for (float x : moderate_values(rng, 30000, 0.5f, 1.0f)) {
    cancelling.push_back(x * 256.0f);
    cancelling.push_back(x / 256.0f);
    cancelling.push_back(-x * 256.0f);
  }
  expect_sum_within_bound(cancelling, "cancelling");
}

TEST_F(Reductions, ProductsStayWithinTheDoubleAccumulationBound) {
  std::mt19937 rng(47);
  std::uniform_real_distribution<float> near_one(0.99f, 1.01f);
  std::uniform_int_distribution<int> coin(0, 1);
  for (int n : boundary_sizes()) {
    if (n == 0) continue;
    std::vector<float> data(n);
    long double exact = 1;
    for (float& x : data) {
      x = coin(rng) ? near_one(rng) : -near_one(rng);
      exact *= x;
    }
    // n - 1 double roundings (the long double reference adds at most n roundings of 2^-64), then one to float.
    const long double relative = rounding_gamma(n - 1) + n * 0x1p-64L;
    const long double bound = relative * std::fabs(exact) + float_ulp(std::fabs(exact) * (1 + relative)) / 2;
    const float got = reduce(SGL_MultiplyArrayElement, data);
    EXPECT_LE(std::fabs(got - exact), bound) << "n = " << n << ": got " << got;
  }
}

TEST_F(Reductions, ProductsRoundOnceAtTheEnd) {
  // Exact in double, so correctly rounded: a float accumulator would overflow or flush on the way.
  EXPECT_EQ(reduce(SGL_MultiplyArrayElement, {1e30f, 1e30f, 1e-30f}),
            static_cast<float>(static_cast<double>(1e30f) * 1e30f * 1e-30f));
  const float tiny = reduce(SGL_MultiplyArrayElement, {1e-30f, 1e-15f});
  EXPECT_SAME_FLOAT(tiny, static_cast<float>(static_cast<double>(1e-30f) * 1e-15f));
  EXPECT_GT(tiny, 0.0f);  // a subnormal, not flushed
  EXPECT_SAME_FLOAT(reduce(SGL_MultiplyArrayElement, {-0.0f, 5.0f}), -0.0f);
  EXPECT_SAME_FLOAT(reduce(SGL_MultiplyArrayElement, {-0.0f, -5.0f}), 0.0f);
  EXPECT_TRUE(std::isnan(reduce(SGL_MultiplyArrayElement, {INFINITY, 0.0f})));
  EXPECT_EQ(reduce(SGL_MultiplyArrayElement, {FLT_MAX, 2.0f}), INFINITY);
}

TEST_F(Reductions, NothingToReduceIsZeroWithoutDeviceWork) {
  const unsigned long long launches = launch_count();
  for (Reduction reduction : {SGL_AddArrayElement, SGL_MultiplyArrayElement}) {
    for (int count : {0, -1, INT_MIN}) {
      float result = kUnwrittenFloat;
      EXPECT_EQ(reduction(nullptr, count, &result), BRELMONT_STATUS_SUCCESS) << count;
      EXPECT_SAME_FLOAT(result, 0.0f);
    }
    DeviceBuffer<float> d(std::vector<float>{1, 2});
    EXPECT_EQ(reduction(d.get(), 2, nullptr), BRELMONT_STATUS_BAD_PARAM);
    EXPECT_EQ(reduction(d.get(), 0, nullptr), BRELMONT_STATUS_BAD_PARAM);
  }
  EXPECT_EQ(launch_count(), launches);
}

// ---- Minimum and maximum ----

struct Found {
  brelmontStatus_t status;
  float min, max;
  std::vector<int> min_at, max_at;
};

Found min_max(std::vector<int> sizes, const std::vector<float>& data, int unused = 0) {
  DeviceBuffer<float> d(data);
  Found found{0, kUnwrittenFloat, kUnwrittenFloat, std::vector<int>(sizes.size(), kUnwritten),
              std::vector<int>(sizes.size(), kUnwritten)};
  found.status = SGL_MinMaxArray(static_cast<int>(sizes.size()), unused, sizes.data(), d.get(), &found.min, &found.max,
                                 found.min_at.data(), found.max_at.data());
  return found;
}

// Row-major coordinates of flat index i, by repeated subtraction of the trailing block sizes.
std::vector<int> coordinates_of(size_t i, const std::vector<int>& sizes) {
  std::vector<int> at(sizes.size());
  for (size_t d = 0; d < sizes.size(); ++d) {
    size_t block = 1;
    for (size_t e = d + 1; e < sizes.size(); ++e) block *= sizes[e];
    at[d] = static_cast<int>(i / block);
    i -= at[d] * block;
  }
  return at;
}

// The position the rules choose, by a scan in index order: the first NaN if any, else the first element that
// no other element beats (better(x, y): x is strictly more extreme).
size_t expected_position(const std::vector<float>& data, const std::function<bool(float, float)>& better) {
  for (size_t i = 0; i < data.size(); ++i)
    if (std::isnan(data[i])) return i;
  size_t best = 0;
  for (size_t i = 1; i < data.size(); ++i)
    if (better(data[i], data[best])) best = i;
  return best;
}

void expect_extremes(const std::vector<int>& sizes, const std::vector<float>& data, const char* what) {
  const Found got = min_max(sizes, data);
  ASSERT_EQ(got.status, BRELMONT_STATUS_SUCCESS) << what;
  const size_t at_min = expected_position(data, std::less<float>());
  const size_t at_max = expected_position(data, std::greater<float>());
  EXPECT_EQ(bits(got.min), bits(data[at_min])) << what;
  EXPECT_EQ(bits(got.max), bits(data[at_max])) << what;
  EXPECT_EQ(got.min_at, coordinates_of(at_min, sizes)) << what << ": minimum at flat " << at_min;
  EXPECT_EQ(got.max_at, coordinates_of(at_max, sizes)) << what << ": maximum at flat " << at_max;
}

TEST_F(Reductions, MinMaxPositionsAreRowMajorCoordinates) {
  Found got = min_max({2, 3}, {4, 1, 7, 0, 9, 2});
  EXPECT_EQ(got.min, 0.0f);
  EXPECT_EQ(got.min_at, (std::vector<int>{1, 0}));
  EXPECT_EQ(got.max, 9.0f);
  EXPECT_EQ(got.max_at, (std::vector<int>{1, 1}));
  // The maximum 8 occurs twice: the lower index wins.
  got = min_max({5}, {3, 8, -1, 8, 2});
  EXPECT_EQ(got.min_at, (std::vector<int>{2}));
  EXPECT_EQ(got.max_at, (std::vector<int>{1}));
  // Three dimensions: an element at (i, j, k) is reported as (i, j, k).
  std::vector<float> cube(2 * 3 * 4, 1.0f);
  cube[1 * 12 + 2 * 4 + 3] = -5.0f;
  cube[0 * 12 + 1 * 4 + 2] = 6.0f;
  got = min_max({2, 3, 4}, cube);
  EXPECT_EQ(got.min_at, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(got.max_at, (std::vector<int>{0, 1, 2}));
  // The unused argument has no effect.
  for (int unused : {INT_MIN, -1, 12345}) {
    const Found again = min_max({2, 3, 4}, cube, unused);
    EXPECT_EQ(again.min_at, got.min_at);
    EXPECT_EQ(again.max_at, got.max_at);
  }
}

TEST_F(Reductions, MinMaxOnRandomShapesWithTiesNaNAndSignedZeros) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> few(-3, 3);  // few distinct values: ties everywhere
  for (int ndims = 1; ndims <= 6; ++ndims) {
    std::uniform_int_distribution<int> size(1, ndims <= 2 ? 40 : 5);
    for (int trial = 0; trial < 4; ++trial) {
      std::vector<int> sizes(ndims);
      for (int& s : sizes) s = size(rng);
      size_t n = 1;
      for (int s : sizes) n *= s;
      std::vector<float> data(n);
      for (float& x : data) x = static_cast<float>(few(rng));
      expect_extremes(sizes, data, "ties");
      std::uniform_int_distribution<size_t> anywhere(0, n - 1);
      for (float& x : data) x = few(rng) * 0.0f;  // +0 and -0 only
      expect_extremes(sizes, data, "signed zeros");
      data[anywhere(rng)] = NAN;
      data[anywhere(rng)] = -NAN;
      expect_extremes(sizes, data, "NaN");
    }
  }
  // Ties and a NaN far apart, across many blocks.
  std::vector<float> large(65539, 2.0f);
  large[40000] = -1.0f;
  large[4461] = -1.0f;
  large[65538] = 9.0f;
  large[512] = 9.0f;
  expect_extremes({static_cast<int>(large.size())}, large, "large");
  large[33000] = NAN;
  large[65000] = NAN;
  expect_extremes({256, 256}, std::vector<float>(large.begin(), large.begin() + 65536), "large with NaN");
  // Infinities are ordinary extremes.
  expect_extremes({4}, {1.0f, INFINITY, -INFINITY, -INFINITY}, "infinities");
}

TEST_F(Reductions, MinMaxPositionsMayOverwriteTheSizes) {
  DeviceBuffer<float> d(std::vector<float>{4, 1, 7, 0, 9, 2});
  int sizes[] = {2, 3}, max_at[2];
  float mn = 0, mx = 0;
  ASSERT_EQ(SGL_MinMaxArray(2, 0, sizes, d.get(), &mn, &mx, sizes, max_at), BRELMONT_STATUS_SUCCESS);
  EXPECT_EQ(sizes[0], 1);
  EXPECT_EQ(sizes[1], 0);
  EXPECT_EQ(max_at[0], 1);
  EXPECT_EQ(max_at[1], 1);
}

TEST_F(Reductions, MinMaxRefusesBadArgumentsWithNothingWritten) {
  DeviceBuffer<float> d(std::vector<float>{1, 2, 3, 4});
  const unsigned long long launches = launch_count();
  auto expect_refused = [&](int ndims, int* sizes, bool null_min, bool null_max, bool null_min_at, bool null_max_at,
                            const char* what) {
    float mn = kUnwrittenFloat, mx = kUnwrittenFloat;
    int min_at[11], max_at[11];
    std::fill(min_at, min_at + 11, kUnwritten);
    std::fill(max_at, max_at + 11, kUnwritten);
    EXPECT_EQ(SGL_MinMaxArray(ndims, 0, sizes, d.get(), null_min ? nullptr : &mn, null_max ? nullptr : &mx,
                              null_min_at ? nullptr : min_at, null_max_at ? nullptr : max_at),
              BRELMONT_STATUS_BAD_PARAM)
        << what;
    EXPECT_EQ(mn, kUnwrittenFloat) << what;
    EXPECT_EQ(mx, kUnwrittenFloat) << what;
    EXPECT_EQ(std::count(min_at, min_at + 11, kUnwritten), 11) << what;
    EXPECT_EQ(std::count(max_at, max_at + 11, kUnwritten), 11) << what;
  };
  int fine[11] = {2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  expect_refused(0, fine, false, false, false, false, "no dimensions");
  expect_refused(-1, fine, false, false, false, false, "negative ndims");
  expect_refused(11, fine, false, false, false, false, "beyond ten dimensions");
  expect_refused(2, nullptr, false, false, false, false, "null sizes");
  expect_refused(2, fine, true, false, false, false, "null minimum");
  expect_refused(2, fine, false, true, false, false, "null maximum");
  expect_refused(2, fine, false, false, true, false, "null minimum position");
  expect_refused(2, fine, false, false, false, true, "null maximum position");
  int negative[] = {2, -2};
  expect_refused(2, negative, false, false, false, false, "negative size");
  int empty[] = {2, 0};
  expect_refused(2, empty, false, false, false, false, "empty array");
  int huge[] = {65536, 65536};
  expect_refused(2, huge, false, false, false, false, "beyond INT_MAX elements");
  EXPECT_EQ(launch_count(), launches);
  // Ten dimensions are the capacity.
  EXPECT_EQ(min_max({1, 1, 1, 1, 1, 1, 1, 1, 2, 2}, {3, 1, 4, 1}).max_at,
            (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
}

// ---- Failures ----

TEST_F(Reductions, FailedAllocationsAreReportedWithNothingLeakedOrWritten) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> d(std::vector<float>{3, 1, 2});
  const size_t live = testing_support::live_allocations();
  int sizes[] = {3};
  // Fails each allocation of a call in turn until the call makes no more.
  auto for_each_allocation = [&](const char* what, const std::function<brelmontStatus_t()>& call,
                                 const std::function<bool()>& unwritten) {
    for (int k = 1;; ++k) {
      ASSERT_LE(k, 8) << what << ": the call never succeeded";
      testing_support::fail_allocation(k);
      const brelmontStatus_t status = call();
      testing_support::fail_allocation(0);
      if (status == BRELMONT_STATUS_SUCCESS) {
        EXPECT_GT(k, 1) << what << ": no allocation failed";
        return;
      }
      EXPECT_EQ(status, BRELMONT_STATUS_DEVICE_ALLOCATION_FAILED) << what << ", allocation " << k;
      EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);
      EXPECT_TRUE(unwritten()) << what << ", allocation " << k;
      EXPECT_EQ(testing_support::live_allocations(), live) << what << ", allocation " << k;
    }
  };
  float result = kUnwrittenFloat;
  for_each_allocation(
      "sum", [&] { return SGL_AddArrayElement(d.get(), 3, &result); }, [&] { return result == kUnwrittenFloat; });
  EXPECT_EQ(result, 6.0f);
  result = kUnwrittenFloat;
  for_each_allocation(
      "product", [&] { return SGL_MultiplyArrayElement(d.get(), 3, &result); },
      [&] { return result == kUnwrittenFloat; });
  EXPECT_EQ(result, 6.0f);
  float mn = kUnwrittenFloat, mx = kUnwrittenFloat;
  int min_at = kUnwritten, max_at = kUnwritten;
  for_each_allocation(
      "min/max", [&] { return SGL_MinMaxArray(1, 0, sizes, d.get(), &mn, &mx, &min_at, &max_at); },
      [&] { return mn == kUnwrittenFloat && mx == kUnwrittenFloat && min_at == kUnwritten && max_at == kUnwritten; });
  EXPECT_EQ(min_at, 1);
  EXPECT_EQ(max_at, 0);
}

TEST_F(Reductions, FailedDeviceWorkIsReportedWithNothingLeakedOrWritten) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> d(std::vector<float>{3, 1, 2});
  const size_t live = testing_support::live_allocations();
  int sizes[] = {3};
  float result = kUnwrittenFloat, mn = kUnwrittenFloat, mx = kUnwrittenFloat;
  int min_at = kUnwritten, max_at = kUnwritten;
  testing_support::fail_launch(1, cudaErrorLaunchFailure);
  EXPECT_EQ(SGL_AddArrayElement(d.get(), 3, &result), BRELMONT_STATUS_EXECUTION_FAILED);
  EXPECT_EQ(cudaGetLastError(), cudaErrorLaunchFailure);
  testing_support::fail_launch(1, cudaErrorLaunchFailure);
  EXPECT_EQ(SGL_MultiplyArrayElement(d.get(), 3, &result), BRELMONT_STATUS_EXECUTION_FAILED);
  EXPECT_EQ(cudaGetLastError(), cudaErrorLaunchFailure);
  testing_support::fail_launch(1, cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(SGL_MinMaxArray(1, 0, sizes, d.get(), &mn, &mx, &min_at, &max_at), BRELMONT_STATUS_EXECUTION_FAILED);
  EXPECT_EQ(cudaGetLastError(), cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(result, kUnwrittenFloat);
  EXPECT_EQ(mn, kUnwrittenFloat);
  EXPECT_EQ(min_at, kUnwritten);
  EXPECT_EQ(testing_support::live_allocations(), live);
}

// ---- The extremes rules, in any reduction order ----

// The device merges partial extremes in a tree whose shape is the algorithm's; any shape must give the
// result of the scan in index order.
brelmont::Extremes merge_by_random_tree(const std::vector<float>& data, size_t begin, size_t end, std::mt19937& rng) {
  if (end - begin == 1) return brelmont::extremes_rules::single(data[begin], static_cast<int>(begin));
  std::uniform_int_distribution<size_t> split(begin + 1, end - 1);
  const size_t middle = split(rng);
  const brelmont::Extremes left = merge_by_random_tree(data, begin, middle, rng);
  const brelmont::Extremes right = merge_by_random_tree(data, middle, end, rng);
  return rng() & 1 ? brelmont::extremes_rules::merge(left, right) : brelmont::extremes_rules::merge(right, left);
}

TEST(ExtremesRules, AnyMergeTreeGivesTheScanResult) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> value(-2, 2), length(1, 200), kind(0, 3);
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<float> data(length(rng));
    for (float& x : data) {
      const int k = kind(rng);
      x = k == 0 && trial % 3 == 0 ? NAN : value(rng) * (k == 1 ? -0.0f : 1.0f);
    }
    const brelmont::Extremes got = merge_by_random_tree(data, 0, data.size(), rng);
    const size_t at_min = expected_position(data, std::less<float>());
    const size_t at_max = expected_position(data, std::greater<float>());
    ASSERT_EQ(got.min_index, static_cast<int>(at_min)) << "trial " << trial;
    ASSERT_EQ(got.max_index, static_cast<int>(at_max)) << "trial " << trial;
    ASSERT_EQ(bits(got.min), bits(data[at_min]));
    ASSERT_EQ(bits(got.max), bits(data[at_max]));
  }
}

}  // namespace
