// Unary arithmetic and rounding in place, scaling by a power of two, and the floored quotient and remainder:
// bit-exact against references that reach each result another way (exact double or long double arithmetic,
// integer truncation, distances to the neighbouring integers).
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "arith/arith_values.h"
#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"

namespace {

using testing_support::bits;
using testing_support::DeviceBuffer;
using testing_support::from_bits;
using testing_support::launch_count;

using InPlace = cudaError_t (*)(float*, int);
using Reference = std::function<float(float)>;

class UnaryArithmetic : public testing_support::ExportTest {};

// The export applied to a copy of the inputs on the device.
std::vector<float> apply(InPlace op, const std::vector<float>& inputs) {
  DeviceBuffer<float> data(inputs);
  EXPECT_EQ(op(data.get(), static_cast<int>(inputs.size())), cudaSuccess);
  return data.download();
}

void expect_matches(const char* name, const std::vector<float>& inputs, const std::vector<float>& got,
                    const Reference& reference) {
  int failures = 0;
  for (size_t i = 0; i < inputs.size() && failures < 10; ++i) {
    const float want = reference(inputs[i]);
    if (!testing_support::same_float(got[i], want)) {
      ++failures;
      ADD_FAILURE() << name << "(" << inputs[i] << " = 0x" << std::hex << bits(inputs[i]) << ") gave " << got[i]
                    << " = 0x" << bits(got[i]) << ", expected " << want << " = 0x" << bits(want) << std::dec;
    }
  }
}

// The single operations, rounded once: a double result of float operands rounded to float is the correctly
// rounded float result, because double carries more than 2 * 24 + 2 bits.
float via_double(double exact) { return static_cast<float>(exact); }

// floor for a finite float: integer truncation, then one step down for negative non-integers.
float floor_reference(float x) {
  if (!std::isfinite(x) || std::fabs(x) >= 8388608.0f) return x;
  long long t = static_cast<long long>(x);
  if (static_cast<double>(t) > x) --t;
  return std::copysign(static_cast<float>(t), x);  // zero keeps x's sign
}

float ceil_reference(float x) {
  if (!std::isfinite(x) || std::fabs(x) >= 8388608.0f) return x;
  long long t = static_cast<long long>(x);
  if (static_cast<double>(t) < x) ++t;
  return std::copysign(static_cast<float>(t), x);
}

// The nearer of the integers below and above x; at an exact tie, the one nearer zero.
float round_half_toward_zero_reference(float x) {
  if (!std::isfinite(x)) return x;
  const double below = floor_reference(x), above = ceil_reference(x);
  const double to_below = static_cast<double>(x) - below, to_above = above - static_cast<double>(x);
  double nearest;
  if (to_below != to_above) nearest = to_below < to_above ? below : above;
  else nearest = std::fabs(below) < std::fabs(above) ? below : above;
  return std::copysign(static_cast<float>(nearest), x);
}

float sign_reference(float x) {
  if (std::isnan(x)) return 1.0f;
  if (x == 0.0f) return 0.0f;
  return std::signbit(x) ? -1.0f : 1.0f;
}

// x * 2^k: exact in long double (15-bit exponent) for the k where the double factor is exact, then rounded
// once; beyond that range the factor is infinite or zero and the product follows IEEE (0 * inf is NaN).
float scale_reference(float x, int k) {
  static_assert(std::numeric_limits<long double>::max_exponent >= 16384, "needs an extended long double");
  if (std::isnan(x)) return x;
  if (k >= 1024) return x == 0.0f ? NAN : std::copysign(INFINITY, x);
  if (k <= -1075) return std::isinf(x) ? NAN : std::copysign(0.0f, x);
  return static_cast<float>(std::ldexp(static_cast<long double>(x), k));
}

struct UnaryCase {
  const char* name;
  InPlace op;
  Reference reference;
};

const std::vector<UnaryCase>& unary_cases() {
  static const std::vector<UnaryCase> cases = {
      {"SGL_Increment", SGL_Increment, [](float x) { return via_double(double(x) + 1.0); }},
      {"SGL_Decrement", SGL_Decrement, [](float x) { return via_double(double(x) - 1.0); }},
      {"SGL_Square", SGL_Square, [](float x) { return via_double(double(x) * double(x)); }},
      {"SGL_Negate", SGL_Negate, [](float x) { return from_bits(bits(x) ^ 0x80000000u); }},
      {"SGL_Reciprocal", SGL_Reciprocal, [](float x) { return via_double(1.0 / double(x)); }},
      {"SGL_SquareRoot", SGL_SquareRoot, [](float x) { return via_double(std::sqrt(double(x))); }},
      {"SGL_Absolute", SGL_Absolute, [](float x) { return from_bits(bits(x) & 0x7fffffffu); }},
      {"SGL_RoundToNearest", SGL_RoundToNearest, round_half_toward_zero_reference},
      {"SGL_RoundTowardLessInfinity", SGL_RoundTowardLessInfinity, floor_reference},
      {"SGL_RoundTowardMoreInfinity", SGL_RoundTowardMoreInfinity, ceil_reference},
      {"SGL_Sign", SGL_Sign, sign_reference},
  };
  return cases;
}

TEST_F(UnaryArithmetic, DenseSweepsMatchTheReferenceBitForBit) {
  const std::vector<float> inputs = arith_testing::sweep_values();
  for (const UnaryCase& c : unary_cases()) expect_matches(c.name, inputs, apply(c.op, inputs), c.reference);
}

TEST_F(UnaryArithmetic, RoundToNearestTakesHalvesTowardZero) {
  const std::vector<float> x = {0.5f,        -0.5f, 1.5f,        2.5f,       -2.5f, -3.5f, 2.6f, -0.4f, 0.49999997f,
                                -0.49999997f, 1.4999999f, 8388607.5f, 8388609.0f, 1.0e30f, -0.0f};
  const std::vector<float> want = {0.0f, -0.0f, 1.0f, 2.0f, -2.0f, -3.0f, 3.0f, -0.0f, 0.0f,
                                   -0.0f, 1.0f, 8388607.0f, 8388609.0f, 1.0e30f, -0.0f};
  const std::vector<float> got = apply(SGL_RoundToNearest, x);
  for (size_t i = 0; i < x.size(); ++i) EXPECT_SAME_FLOAT(got[i], want[i]) << "round(" << x[i] << ")";
}

TEST_F(UnaryArithmetic, FloorCeilingAndSignKeepOrDropTheSignOfZeroAsDefined) {
  const std::vector<float> x = {-0.5f, -0.0f, 0.5f, -FLT_TRUE_MIN, NAN};
  const std::vector<float> floors = apply(SGL_RoundTowardLessInfinity, x);
  const std::vector<float> ceilings = apply(SGL_RoundTowardMoreInfinity, x);
  const std::vector<float> signs = apply(SGL_Sign, x);
  const std::vector<float> want_floor = {-1.0f, -0.0f, 0.0f, -1.0f, NAN};
  const std::vector<float> want_ceil = {-0.0f, -0.0f, 1.0f, -0.0f, NAN};
  const std::vector<float> want_sign = {-1.0f, 0.0f, 1.0f, -1.0f, 1.0f};
  for (size_t i = 0; i < x.size(); ++i) {
    EXPECT_SAME_FLOAT(floors[i], want_floor[i]) << "floor(" << x[i] << ")";
    EXPECT_SAME_FLOAT(ceilings[i], want_ceil[i]) << "ceil(" << x[i] << ")";
    EXPECT_SAME_FLOAT(signs[i], want_sign[i]) << "sign(" << x[i] << ")";
  }
}

TEST_F(UnaryArithmetic, ZerosKeepTheirSignWhereIeeeSaysSo) {
  EXPECT_SAME_FLOAT(apply(SGL_Negate, {0.0f})[0], -0.0f);
  EXPECT_SAME_FLOAT(apply(SGL_Absolute, {-0.0f})[0], 0.0f);
  EXPECT_SAME_FLOAT(apply(SGL_Reciprocal, {-0.0f})[0], -INFINITY);
  EXPECT_SAME_FLOAT(apply(SGL_SquareRoot, {-0.0f})[0], -0.0f);
  EXPECT_TRUE(std::isnan(apply(SGL_SquareRoot, {-1.0f})[0]));
  // Subnormals survive: no flush to zero on either side of an operation.
  EXPECT_SAME_FLOAT(apply(SGL_Reciprocal, {from_bits(0x7f000000u)})[0], from_bits(0x00400000u));  // 2^127 -> 2^-127
  const float tiny = 1.0e-20f;  // its square is subnormal
  const float square = apply(SGL_Square, {tiny})[0];
  EXPECT_SAME_FLOAT(square, via_double(double(tiny) * double(tiny)));
  EXPECT_GT(square, 0.0f);
}

TEST_F(UnaryArithmetic, ScaleIsCorrectlyRoundedAndNanWhereTheFactorLeavesTheDoubleRange) {
  const std::vector<float> inputs = arith_testing::structured_values();
  std::vector<float> mixed = inputs;
  const std::vector<float> random = arith_testing::random_bit_patterns(2048, 99u);
  mixed.insert(mixed.end(), random.begin(), random.end());

  std::vector<int> exponents = {0,    1,    -1,   2,     23,   24,    -23,   -24,   126,     127,    128,
                                -126, -127, -149, -150,  -151, 200,   -200,  254,   -254,    277,    -277,
                                1022, 1023, 1024, 1025,  1100, -1022, -1073, -1074, -1075,   -1076,  -1100,
                                4000, -4000, INT_MAX, INT_MIN, INT_MIN + 1};
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> small(-320, 320);
  for (int j = 0; j < 16; ++j) exponents.push_back(small(rng));

  for (int k : exponents) {
    DeviceBuffer<float> data(mixed);
    ASSERT_EQ(SGL_ScaleByPowerOfTwo(data.get(), k, static_cast<int>(mixed.size())), cudaSuccess);
    const std::vector<float> got = data.download();
    int failures = 0;
    for (size_t i = 0; i < mixed.size() && failures < 5; ++i) {
      const float want = scale_reference(mixed[i], k);
      if (!testing_support::same_float(got[i], want)) {
        ++failures;
        ADD_FAILURE() << mixed[i] << " * 2^" << k << " gave " << got[i] << ", expected " << want;
      }
    }
  }
}

TEST_F(UnaryArithmetic, ScaleEdgeCases) {
  auto scale = [](float x, int k) {
    DeviceBuffer<float> data(std::vector<float>{x});
    EXPECT_EQ(SGL_ScaleByPowerOfTwo(data.get(), k, 1), cudaSuccess);
    return data.download()[0];
  };
  EXPECT_SAME_FLOAT(scale(1.0f, 128), INFINITY);
  EXPECT_SAME_FLOAT(scale(1.0f, -149), FLT_TRUE_MIN);
  EXPECT_SAME_FLOAT(scale(1.0f, -150), 0.0f);           // the tie goes to even, zero
  EXPECT_SAME_FLOAT(scale(1.5f, -150), FLT_TRUE_MIN);   // above the tie
  EXPECT_SAME_FLOAT(scale(3.0e38f, -200), static_cast<float>(std::ldexp(static_cast<long double>(3.0e38f), -200)));
  EXPECT_NE(scale(3.0e38f, -200), 0.0f);                // formed in double, not 2^-200 in float
  EXPECT_SAME_FLOAT(scale(-INFINITY, 0), -INFINITY);
  EXPECT_SAME_FLOAT(scale(-0.0f, 5), -0.0f);
  EXPECT_TRUE(std::isnan(scale(0.0f, 1024)));
  EXPECT_TRUE(std::isnan(scale(INFINITY, -1100)));
  EXPECT_SAME_FLOAT(scale(FLT_TRUE_MIN, 1023), static_cast<float>(std::ldexp(1.0L, 1023 - 149)));
}

// q and r for one pair, through the export.
struct Division {
  float q, r;
};

Division divide(float x, float y) {
  DeviceBuffer<float> xs(std::vector<float>{x}), ys(std::vector<float>{y});
  float* r = nullptr;
  float* q = nullptr;
  EXPECT_EQ(SGL_QuotientAndRemainder(xs.get(), ys.get(), 1, 1, &r, &q), cudaSuccess);
  DeviceBuffer<float> remainder = DeviceBuffer<float>::adopt(r, 1), quotient = DeviceBuffer<float>::adopt(q, 1);
  return {quotient.download()[0], remainder.download()[0]};
}

TEST_F(UnaryArithmetic, QuotientIsFlooredAndRemainderRoundedOnce) {
  struct Case {
    float x, y, q, r;
  };
  const Case cases[] = {
      {7, 2, 3, 1},       {-7, 2, -4, 1},     {7, -2, -4, -1},     {-7, -2, 3, -1},
      {5, 0, INFINITY, NAN}, {0, 0, NAN, NAN}, {3, INFINITY, 0, NAN}, {-3, INFINITY, -0.0f, NAN},
      {1.0e10f, 3, 3333333248.0f, 256.0f},  // a separately rounded y * q would give r = 0
      {6, 3, 2, 0},
  };
  for (const Case& c : cases) {
    const Division d = divide(c.x, c.y);
    EXPECT_SAME_FLOAT(d.q, c.q) << c.x << " / " << c.y;
    EXPECT_SAME_FLOAT(d.r, c.r) << c.x << " / " << c.y;
  }
}

TEST_F(UnaryArithmetic, QuotientAndRemainderSweepMatchesTheExactReference) {
  // Pairs of random bit patterns, random moderate values (small quotients, exact multiples) and structured
  // values against each other.
  std::vector<float> x = arith_testing::random_bit_patterns(1 << 14, 3u);
  std::vector<float> y = arith_testing::random_bit_patterns(1 << 14, 4u);
  for (const auto& part : {arith_testing::random_moderate(1 << 12, 5u)}) x.insert(x.end(), part.begin(), part.end());
  for (const auto& part : {arith_testing::random_moderate(1 << 12, 6u)}) y.insert(y.end(), part.begin(), part.end());
  const std::vector<float> structured = arith_testing::structured_values();
  std::mt19937 rng(8);
  std::uniform_int_distribution<size_t> pick(0, structured.size() - 1);
  for (int j = 0; j < 4096; ++j) {
    x.push_back(structured[pick(rng)]);
    y.push_back(structured[pick(rng)]);
  }
  const int n = static_cast<int>(x.size());
  DeviceBuffer<float> xs(x), ys(y);
  float* r = nullptr;
  float* q = nullptr;
  ASSERT_EQ(SGL_QuotientAndRemainder(xs.get(), ys.get(), n, n + 7, &r, &q), cudaSuccess);
  DeviceBuffer<float> remainder = DeviceBuffer<float>::adopt(r, n), quotient = DeviceBuffer<float>::adopt(q, n);
  const std::vector<float> got_r = remainder.download(), got_q = quotient.download();
  int failures = 0;
  for (int i = 0; i < n && failures < 10; ++i) {
    const float want_q = std::floor(via_double(double(x[i]) / double(y[i])));
    // y * q is exact in long double (48 significant bits); the difference rounds there and then to float,
    // which for an addition with 64 >= 2 * 24 + 2 bits is the same as rounding once.
    const float want_r = static_cast<float>(static_cast<long double>(x[i]) -
                                            static_cast<long double>(y[i]) * static_cast<long double>(want_q));
    if (!testing_support::same_float(got_q[i], want_q) || !testing_support::same_float(got_r[i], want_r)) {
      ++failures;
      ADD_FAILURE() << x[i] << " / " << y[i] << " gave q " << got_q[i] << " r " << got_r[i] << ", expected q "
                    << want_q << " r " << want_r;
    }
  }
  const std::vector<float> x_after = xs.download(), y_after = ys.download();  // the inputs are only read
  for (int i = 0; i < n; ++i) ASSERT_TRUE(bits(x_after[i]) == bits(x[i]) && bits(y_after[i]) == bits(y[i])) << i;
}

TEST_F(UnaryArithmetic, QuotientAndRemainderUsesTheShorterInput) {
  DeviceBuffer<float> x(std::vector<float>{7, -7, 9, 10, 11}), y(std::vector<float>{2, 2, 4});
  float* r = nullptr;
  float* q = nullptr;
  ASSERT_EQ(SGL_QuotientAndRemainder(x.get(), y.get(), 5, 3, &r, &q), cudaSuccess);
  DeviceBuffer<float> remainder = DeviceBuffer<float>::adopt(r, 3), quotient = DeviceBuffer<float>::adopt(q, 3);
  EXPECT_EQ(quotient.download(), (std::vector<float>{3, -4, 2}));
  EXPECT_EQ(remainder.download(), (std::vector<float>{1, 1, 1}));
  ASSERT_EQ(SGL_QuotientAndRemainder(y.get(), x.get(), 3, 5, &r, &q), cudaSuccess);
  DeviceBuffer<float> remainder2 = DeviceBuffer<float>::adopt(r, 3), quotient2 = DeviceBuffer<float>::adopt(q, 3);
  EXPECT_EQ(quotient2.download(), (std::vector<float>{0, -1, 0}));
  EXPECT_EQ(remainder2.download(), (std::vector<float>{2, -5, 4}));
}

TEST_F(UnaryArithmetic, QuotientAndRemainderWithNothingToDoOrBadCounts) {
  DeviceBuffer<float> x(std::vector<float>{1, 2}), y(std::vector<float>{3, 4});
  float* const stale = x.get();  // outputs start non-null so that a missing reset shows
  float* r = stale;
  float* q = stale;
  const unsigned long long launches = launch_count();
  for (auto [nx, ny] : {std::pair{0, 2}, std::pair{2, 0}, std::pair{0, 0}}) {
    r = q = stale;
    EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), y.get(), nx, ny, &r, &q), cudaSuccess) << nx << ", " << ny;
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(q, nullptr);
  }
  for (auto [nx, ny] : {std::pair{-1, 2}, std::pair{2, -1}, std::pair{INT_MIN, INT_MIN}}) {
    r = q = stale;
    EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), y.get(), nx, ny, &r, &q), cudaErrorInvalidValue) << nx << ", " << ny;
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(q, nullptr);
  }
  EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), y.get(), 2, 2, nullptr, &q), cudaErrorInvalidValue);
  EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), y.get(), 2, 2, &r, nullptr), cudaErrorInvalidValue);
  EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), y.get(), 2, 2, &r, &r), cudaErrorInvalidValue);
  EXPECT_EQ(launch_count(), launches);
  // The fixture checks that nothing was allocated and left behind.
}

TEST_F(UnaryArithmetic, QuotientAndRemainderFailuresLeaveNothingBehind) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> x(std::vector<float>{7, 8}), y(std::vector<float>{2, 3});
  float* const stale = x.get();
  for (int k : {1, 2}) {  // the remainder's allocation, then the quotient's
    float* r = stale;
    float* q = stale;
    const unsigned long long launches = launch_count();
    testing_support::fail_allocation(k);
    EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), y.get(), 2, 2, &r, &q), cudaErrorMemoryAllocation) << k;
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(q, nullptr);
    EXPECT_EQ(launch_count(), launches) << "launched on a failed allocation";
    EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);
  }
  float* r = stale;
  float* q = stale;
  testing_support::fail_launch(1, cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), y.get(), 2, 2, &r, &q), cudaErrorNoKernelImageForDevice);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(q, nullptr);
  EXPECT_EQ(cudaGetLastError(), cudaErrorNoKernelImageForDevice);
  r = q = stale;
  testing_support::fail_synchronize(cudaErrorIllegalAddress);
  EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), y.get(), 2, 2, &r, &q), cudaErrorIllegalAddress);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(q, nullptr);
  EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
}

}  // namespace
