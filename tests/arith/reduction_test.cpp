// Whole-array reductions: sums and products against long double references with the bound that double
// accumulation gives; minimum and maximum positions against a scan in index order.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

#include "arith/arith_checks.h"
#include "cuda_brelmont.h"
#include "frame/algorithms.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"
#include "support/sizes.h"

namespace {

using testing_support::bits;
using testing_support::DeviceBuffer;
using testing_support::launch_count;

constexpr float kUnwrittenFloat = -12345.0f;
constexpr int kUnwritten = -777;

using Reduction = brelmontStatus_t (*)(float*, int, float*);

float reduce(Reduction reduction, const std::vector<float>& data) {
  DeviceBuffer<float> d(data);
  float result = kUnwrittenFloat;
  EXPECT_EQ(reduction(d.get(), static_cast<int>(data.size()), &result), BRELMONT_STATUS_SUCCESS);
  return result;
}

// n - 1 roundings in double precision, in any order, then one to float: within gamma_{n-1} * sum |x| of the
// exact sum, or gamma_{n-1} * |P| of the exact product P, then half a float ulp. The long double reference is
// exact for the sums used here (see moderate_values) and adds at most n roundings of 2^-64 to a product.
void expect_within_the_double_bound(Reduction reduction, const std::vector<float>& data, const char* what) {
  const bool sum = reduction == SGL_AddArrayElement;
  const size_t n = data.size();
  long double exact = sum ? 0 : 1, magnitude = 0;
  for (float x : data) {
    exact = sum ? exact + x : exact * x;
    magnitude += std::fabs(static_cast<long double>(x));
  }
  const long double gamma = (n - 1) * 0x1p-53L / (1 - (n - 1) * 0x1p-53L);
  const long double accumulation = sum ? gamma * magnitude : (gamma + n * 0x1p-64L) * std::fabs(exact);
  const long double bound = accumulation + testing_support::float_ulp(std::fabs(exact) + accumulation) / 2;
  const float got = reduce(reduction, data);
  EXPECT_LE(std::fabs(got - exact), bound) << what << ", n = " << n << ": got " << got << ", exact "
                                           << static_cast<double>(exact);
}

// m * 2^e with m in [low, high) of 24 bits and e in [-10, 10]: every partial sum of up to 2^16 of them is a
// multiple of 2^-34 below 2^26, so a long double (64-bit significand) holds it exactly.
std::vector<float> moderate_values(std::mt19937& rng, size_t n, float low, float high) {
  std::uniform_real_distribution<float> mantissa(low, high);
  std::vector<float> v(n);
  for (float& x : v) {
    const int exponent = static_cast<int>(rng() % 21) - 10;
    x = std::ldexp(mantissa(rng), exponent);
  }
  return v;
}

class Reductions : public testing_support::ExportTest {};

TEST_F(Reductions, SumsAndProductsStayWithinTheDoubleAccumulationBound) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<float> near_one(0.99f, 1.01f);
  for (int n : testing_support::boundary_sizes()) {
    if (n == 0) continue;
    expect_within_the_double_bound(SGL_AddArrayElement, moderate_values(rng, n, 0.0f, 1.0f), "positive");
    expect_within_the_double_bound(SGL_AddArrayElement, moderate_values(rng, n, -1.0f, 1.0f), "mixed signs");
    std::vector<float> factors(n);
    for (float& x : factors) x = rng() % 2 ? near_one(rng) : -near_one(rng);
    expect_within_the_double_bound(SGL_MultiplyArrayElement, factors, "product");
  }
  // Heavy cancellation: +256x, x/256, -256x (partial sums below 2^19, multiples of 2^-42: still exact in long
  // double). The bound is then mostly the accumulation term, about 0.01, while a float accumulator errs by 1.
  std::vector<float> cancelling;
  for (float x : moderate_values(rng, 30000, 0.5f, 1.0f))
    cancelling.insert(cancelling.end(), {x * 256, x / 256, -x * 256});
  expect_within_the_double_bound(SGL_AddArrayElement, cancelling, "cancelling");
}

TEST_F(Reductions, SpecialValuesFollowTheDoubleAccumulation) {
  const Reduction sum = SGL_AddArrayElement, product = SGL_MultiplyArrayElement;
  const struct {
    Reduction reduction;
    std::vector<float> data;
    float want;
  } rows[] = {
      {sum, std::vector<float>(1000, -0.0f), -0.0f},  // accumulated from -0
      {sum, {-0.0f, 0.0f, -0.0f}, 0.0f},          {sum, {INFINITY, 1, -FLT_MAX}, INFINITY},
      {sum, {INFINITY, 1, -INFINITY}, NAN},       {sum, {1, NAN, 2}, NAN},
      {sum, {FLT_MAX, FLT_MAX, -FLT_MAX}, FLT_MAX},  // no overflow in double; the final rounding may overflow:
      {sum, {FLT_MAX, FLT_MAX}, INFINITY},
      {sum, {0x1p24f, 1, 1}, 0x1p24f + 2},  // a float accumulator loses both ones
      {product, {1e30f, 1e30f, 1e-30f}, static_cast<float>(double{1e30f} * double{1e30f} * double{1e-30f})},
      {product, {1e-30f, 1e-15f}, static_cast<float>(double{1e-30f} * double{1e-15f})},  // subnormal, kept
      {product, {-0.0f, 5}, -0.0f},               {product, {-0.0f, -5}, 0.0f},
      {product, {INFINITY, 0}, NAN},              {product, {FLT_MAX, 2}, INFINITY},
  };
  for (const auto& row : rows)
    EXPECT_SAME_FLOAT(reduce(row.reduction, row.data), row.want) << ::testing::PrintToString(row.data);
}

// ---- Minimum and maximum ----

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
// no later element beats.
size_t expected_position(const std::vector<float>& data, bool minimum) {
  const auto nan = std::find_if(data.begin(), data.end(), [](float x) { return std::isnan(x); });
  if (nan != data.end()) return nan - data.begin();
  size_t best = 0;
  for (size_t i = 1; i < data.size(); ++i)
    if (minimum ? data[i] < data[best] : data[i] > data[best]) best = i;
  return best;
}

void expect_extremes(std::vector<int> sizes, const std::vector<float>& data, const char* what) {
  DeviceBuffer<float> d(data);
  float min = kUnwrittenFloat, max = kUnwrittenFloat;
  std::vector<int> min_at(sizes.size(), kUnwritten), max_at(sizes.size(), kUnwritten);
  // The second argument is not read.
  ASSERT_EQ(SGL_MinMaxArray(static_cast<int>(sizes.size()), INT_MIN, sizes.data(), d.get(), &min, &max,
                            min_at.data(), max_at.data()),
            BRELMONT_STATUS_SUCCESS)
      << what;
  const size_t at_min = expected_position(data, true), at_max = expected_position(data, false);
  EXPECT_EQ(bits(min), bits(data[at_min])) << what;
  EXPECT_EQ(bits(max), bits(data[at_max])) << what;
  EXPECT_EQ(min_at, coordinates_of(at_min, sizes)) << what << ": minimum at flat " << at_min;
  EXPECT_EQ(max_at, coordinates_of(at_max, sizes)) << what << ": maximum at flat " << at_max;
}

TEST_F(Reductions, MinMaxOnRandomShapesWithTiesNaNAndSignedZeros) {
  std::mt19937 rng(5);
  for (int ndims : {1, 2, 3, 4, 5, 6, 10})
    for (int trial = 0; trial < 4; ++trial) {
      std::vector<int> sizes(ndims);
      for (int& s : sizes) s = 1 + static_cast<int>(rng() % (ndims <= 2 ? 40 : ndims <= 6 ? 5 : 2));
      std::vector<float> data(std::accumulate(sizes.begin(), sizes.end(), size_t{1}, std::multiplies<size_t>()));
      for (float& x : data) x = static_cast<float>(static_cast<int>(rng() % 7) - 3);  // few values: ties everywhere
      expect_extremes(sizes, data, "ties");
      for (float& x : data) x = rng() % 2 ? 0.0f : -0.0f;
      expect_extremes(sizes, data, "signed zeros");
      data[rng() % data.size()] = NAN;
      data[rng() % data.size()] = -NAN;
      expect_extremes(sizes, data, "NaN");
    }
  // Ties and NaNs far apart, across many blocks; infinities are ordinary extremes.
  std::vector<float> large(65539, 2.0f);
  large[40000] = large[4461] = -1.0f;
  large[65538] = large[512] = 9.0f;
  expect_extremes({65539}, large, "large");
  large[33000] = large[65000] = NAN;
  expect_extremes({256, 256}, std::vector<float>(large.begin(), large.begin() + 65536), "large with NaN");
  expect_extremes({4}, {1.0f, INFINITY, -INFINITY, -INFINITY}, "infinities");
}

TEST_F(Reductions, MinMaxPositionsAreRowMajorAndMayOverwriteTheSizes) {
  DeviceBuffer<float> d(std::vector<float>{4, 1, 7, 0, 9, 2});
  int sizes[] = {2, 3}, max_at[2];
  float min = 0, max = 0;
  ASSERT_EQ(SGL_MinMaxArray(2, 0, sizes, d.get(), &min, &max, sizes, max_at), BRELMONT_STATUS_SUCCESS);
  EXPECT_EQ(std::vector<int>(sizes, sizes + 2), (std::vector<int>{1, 0}));
  EXPECT_EQ(std::vector<int>(max_at, max_at + 2), (std::vector<int>{1, 1}));
}

TEST_F(Reductions, BadArgumentsAreRefusedWithNothingWrittenAndNothingToReduceIsZero) {
  DeviceBuffer<float> d(std::vector<float>{1, 2, 3, 4});
  const struct {
    const char* what;
    int ndims;
    std::vector<int> sizes;
    int null_argument = 0;  // the position of an argument passed as null
  } rows[] = {
      {"no dimensions", 0, {2, 2}},          {"negative ndims", -1, {2, 2}},
      {"beyond ten dimensions", 11, std::vector<int>(11, 1)},
      {"negative size", 2, {2, -2}},         {"empty array", 2, {2, 0}},
      {"beyond INT_MAX elements", 2, {65536, 65536}},
      {"null sizes", 2, {2, 2}, 3},          {"null minimum", 2, {2, 2}, 5},
      {"null maximum", 2, {2, 2}, 6},        {"null minimum position", 2, {2, 2}, 7},
      {"null maximum position", 2, {2, 2}, 8},
  };
  const unsigned long long launches = launch_count();
  for (Reduction reduction : {SGL_AddArrayElement, SGL_MultiplyArrayElement}) {
    for (int count : {0, -1, INT_MIN}) {  // nothing to reduce: zero
      float result = kUnwrittenFloat;
      EXPECT_EQ(reduction(nullptr, count, &result), BRELMONT_STATUS_SUCCESS) << count;
      EXPECT_SAME_FLOAT(result, 0.0f);
    }
    EXPECT_EQ(reduction(d.get(), 2, nullptr), BRELMONT_STATUS_BAD_PARAM);
  }
  for (auto row : rows) {
    float min = kUnwrittenFloat, max = kUnwrittenFloat;
    std::vector<int> min_at(11, kUnwritten), max_at(11, kUnwritten);
    const auto unless = [&](int position, auto* arg) { return row.null_argument == position ? nullptr : arg; };
    EXPECT_EQ(SGL_MinMaxArray(row.ndims, 0, unless(3, row.sizes.data()), d.get(), unless(5, &min), unless(6, &max),
                              unless(7, min_at.data()), unless(8, max_at.data())),
              BRELMONT_STATUS_BAD_PARAM)
        << row.what;
    EXPECT_TRUE(min == kUnwrittenFloat && max == kUnwrittenFloat) << row.what;
    EXPECT_EQ(min_at, std::vector<int>(11, kUnwritten)) << row.what;
    EXPECT_EQ(max_at, std::vector<int>(11, kUnwritten)) << row.what;
  }
  EXPECT_EQ(launch_count(), launches);
}

TEST_F(Reductions, FailuresAreReportedWithNothingLeakedOrWritten) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> d(std::vector<float>{3, 1, 2});
  int sizes[] = {3}, at[2];
  float out[3];
  // One allocation each in the host variant, the result's: its algorithms need no scratch.
  const std::pair<const char*, std::function<brelmontStatus_t()>> calls[] = {
      {"sum", [&] { return SGL_AddArrayElement(d.get(), 3, &out[0]); }},
      {"product", [&] { return SGL_MultiplyArrayElement(d.get(), 3, &out[0]); }},
      {"min/max", [&] { return SGL_MinMaxArray(1, 0, sizes, d.get(), &out[1], &out[2], &at[0], &at[1]); }},
  };
  for (const auto& [name, call] : calls)
    arith_testing::expect_failures_reported<brelmontStatus_t>(
        name, 1,
        [&, call = call] {
          std::fill(out, out + 3, kUnwrittenFloat);
          std::fill(at, at + 2, kUnwritten);
          return call();
        },
        [&] { return std::count(out, out + 3, kUnwrittenFloat) == 3 && std::count(at, at + 2, kUnwritten) == 2; },
        BRELMONT_STATUS_DEVICE_ALLOCATION_FAILED, BRELMONT_STATUS_EXECUTION_FAILED);
}

// ---- The extremes rules, in any reduction order ----

// The device merges partial extremes in a tree whose shape is the algorithm's; any shape must give the
// result of the scan in index order.
brelmont::Extremes merge_by_random_tree(const std::vector<float>& data, size_t begin, size_t end, std::mt19937& rng) {
  if (end - begin == 1) return brelmont::extremes_rules::single(data[begin], static_cast<int>(begin));
  const size_t middle = begin + 1 + rng() % (end - begin - 1);
  const brelmont::Extremes left = merge_by_random_tree(data, begin, middle, rng);
  const brelmont::Extremes right = merge_by_random_tree(data, middle, end, rng);
  return rng() & 1 ? brelmont::extremes_rules::merge(left, right) : brelmont::extremes_rules::merge(right, left);
}

TEST(ExtremesRules, AnyMergeTreeGivesTheScanResult) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<float> data(1 + rng() % 200);  // few values, both zeros, NaNs in every third trial
    for (float& x : data) {
      const float value = rng() % 5 - 2.0f;
      x = trial % 3 == 0 && rng() % 4 == 0 ? NAN : rng() % 2 ? value : -value;
    }
    const brelmont::Extremes got = merge_by_random_tree(data, 0, data.size(), rng);
    const size_t at_min = expected_position(data, true), at_max = expected_position(data, false);
    ASSERT_EQ(got.min_index, static_cast<int>(at_min)) << "trial " << trial;
    ASSERT_EQ(got.max_index, static_cast<int>(at_max)) << "trial " << trial;
    ASSERT_TRUE(bits(got.min) == bits(data[at_min]) && bits(got.max) == bits(data[at_max])) << "trial " << trial;
  }
}

}  // namespace
