// The elementwise arithmetic exports (unary and rounding in place, scale by a power of two, array-scalar,
// quotient and remainder): bit-exact against references that reach each result another way (double or long
// double arithmetic, integer truncation, distances to the neighbouring integers), and the rules that every
// in-place export shares.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "arith/arith_checks.h"
#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"

namespace {

using arith_testing::expect_same_bits;
using testing_support::bits;
using testing_support::DeviceBuffer;
using testing_support::from_bits;
using testing_support::launch_count;

using Call = std::function<cudaError_t(float*, int)>;
using ScalarOp = cudaError_t (*)(float*, float, int);

struct Export {
  std::string name;
  Call call;
  std::function<float(float)> reference;
};

// Values where rounding rules go wrong, each with both signs and both float neighbours (zeros, infinities,
// NaN, the range ends, subnormals; integers, halves and quarters near 0 and around 2^12..2^25, where the
// spacing of floats crosses 0.5 and 1), then count random values: mostly any bit pattern, a quarter of
// moderate size so that exact eighths and dense fractions occur.
std::vector<float> sweep_values(size_t count, uint32_t seed) {
  std::vector<float> base = {0.0f,  INFINITY, NAN,    FLT_MAX, FLT_MIN, FLT_TRUE_MIN, FLT_MIN - FLT_TRUE_MIN,
                             1e30f, 3e38f,    1e-30f, 1e-40f};
  for (int p : {0, 12, 20, 21, 22, 23, 24, 25})
    for (int d = -3; d <= 9; ++d)
      for (double fraction : {0.0, 0.25, 0.5, 0.75})
        if (const double v = (p ? std::ldexp(1.0, p) : 0.0) + d + fraction; v > 0 && static_cast<float>(v) == v)
          base.push_back(static_cast<float>(v));
  std::vector<float> out;
  for (float v : base)
    for (float s : {v, -v}) out.insert(out.end(), {s, std::nextafter(s, INFINITY), std::nextafter(s, -INFINITY)});
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> moderate(-64.0f, 64.0f);
  for (size_t i = 0; i < count; ++i)
    out.push_back(i % 8 == 0 ? (static_cast<int>(rng() % 641) - 320) * 0.125f
                             : i % 8 == 1 ? moderate(rng) : from_bits(static_cast<uint32_t>(rng())));
  return out;
}

std::vector<float> apply(const Call& call, const std::vector<float>& x) {
  DeviceBuffer<float> data(x);
  EXPECT_EQ(call(data.get(), static_cast<int>(x.size())), cudaSuccess);
  return data.download();
}

void expect_export(const Export& e, const std::vector<float>& x) {
  std::vector<float> want(x.size());
  std::transform(x.begin(), x.end(), want.begin(), e.reference);
  expect_same_bits(e.name, apply(e.call, x), want, {x});
}

// A double result of float operands rounded to float is the correctly rounded float result: double carries
// more than 2 * 24 + 2 bits.
float via_double(double exact) { return static_cast<float>(exact); }

// Floor (side -1) or ceiling (side +1) by integer truncation and a step; a zero result keeps x's sign.
float integer_toward(float x, int side) {
  if (!std::isfinite(x) || std::fabs(x) >= 0x1p23f) return x;
  long long t = static_cast<long long>(x);
  if ((static_cast<double>(t) - x) * side < 0) t += side;
  return std::copysign(static_cast<float>(t), x);
}

// The nearer of floor and ceiling; at an exact tie, the one nearer zero.
float round_reference(float x) {
  const double below = integer_toward(x, -1), above = integer_toward(x, 1), to_below = x - below, to_above = above - x;
  const bool take_below = to_below < to_above || (to_below == to_above && std::fabs(below) < std::fabs(above));
  return std::isfinite(x) ? std::copysign(static_cast<float>(take_below ? below : above), x) : x;
}

// x * 2^k exact in long double and rounded once, where the double factor 2^k is exact; beyond, the factor is
// infinite or zero and the product follows IEEE (0 * inf is NaN).
float scale_reference(float x, int k) {
  static_assert(std::numeric_limits<long double>::max_exponent >= 16384, "needs an extended long double");
  if (std::isnan(x)) return x;
  if (k >= 1024) return x == 0.0f ? NAN : std::copysign(INFINITY, x);
  if (k <= -1075) return std::isinf(x) ? NAN : std::copysign(0.0f, x);
  return static_cast<float>(std::ldexp(static_cast<long double>(x), k));
}

std::vector<Export> unary_exports() {
  return {
      {"SGL_Increment", SGL_Increment, [](float x) { return via_double(double(x) + 1.0); }},
      {"SGL_Decrement", SGL_Decrement, [](float x) { return via_double(double(x) - 1.0); }},
      {"SGL_Square", SGL_Square, [](float x) { return via_double(double(x) * double(x)); }},
      {"SGL_Negate", SGL_Negate, [](float x) { return from_bits(bits(x) ^ 0x80000000u); }},
      {"SGL_Reciprocal", SGL_Reciprocal, [](float x) { return via_double(1.0 / double(x)); }},
      {"SGL_SquareRoot", SGL_SquareRoot, [](float x) { return via_double(std::sqrt(double(x))); }},
      {"SGL_Absolute", SGL_Absolute, [](float x) { return from_bits(bits(x) & 0x7fffffffu); }},
      {"SGL_RoundToNearest", SGL_RoundToNearest, round_reference},
      {"SGL_RoundTowardLessInfinity", SGL_RoundTowardLessInfinity, [](float x) { return integer_toward(x, -1); }},
      {"SGL_RoundTowardMoreInfinity", SGL_RoundTowardMoreInfinity, [](float x) { return integer_toward(x, 1); }},
      {"SGL_Sign", SGL_Sign, [](float x) { return std::isnan(x) || x > 0 ? 1.0f : x < 0 ? -1.0f : 0.0f; }},
  };
}

Call with(ScalarOp op, float s) {
  return [=](float* data, int n) { return op(data, s, n); };
}

Call scale(int k) {
  return [=](float* data, int n) { return SGL_ScaleByPowerOfTwo(data, k, n); };
}

std::vector<Export> scalar_exports(float s) {
  const auto row = [s](const char* name, ScalarOp op, double (*exact)(double, double)) {
    return Export{name + (" s = " + ::testing::PrintToString(s)), with(op, s),
                  [=](float x) { return via_double(exact(x, s)); }};
  };
  return {row("SGL_AddArrayScalar", SGL_AddArrayScalar, [](double x, double s) { return x + s; }),
          row("SGL_SubtractArrayScalar", SGL_SubtractArrayScalar, [](double x, double s) { return x - s; }),
          row("SGL_SubtractScalarArray", SGL_SubtractScalarArray, [](double x, double s) { return s - x; }),
          row("SGL_MultArrayScalar", SGL_MultArrayScalar, [](double x, double s) { return x * s; }),
          row("SGL_DivideArrayScalar", SGL_DivideArrayScalar, [](double x, double s) { return x / s; }),
          row("SGL_DivideScalarArray", SGL_DivideScalarArray, [](double x, double s) { return s / x; })};
}

Export scale_export(int k) {
  return {"SGL_ScaleByPowerOfTwo k = " + std::to_string(k), scale(k), [k](float x) { return scale_reference(x, k); }};
}

class Elementwise : public testing_support::ExportTest {};

TEST_F(Elementwise, DenseSweepsMatchTheReferencesBitForBit) {
  const std::vector<float> x = sweep_values(40000, 20240601u);
  for (const Export& e : unary_exports()) expect_export(e, x);

  const std::vector<float> shorter = sweep_values(8192, 11u);
  std::vector<float> scalars = {0.0f,    -0.0f,    1.0f,         -1.0f,    0.5f,      3.0f, -7.25f, 1e-40f,
                                FLT_MIN, -FLT_MAX, FLT_TRUE_MIN, INFINITY, -INFINITY, NAN,  1e20f};
  for (int j = 0; j < 8; ++j) scalars.push_back(shorter[shorter.size() - 1 - j]);  // random, any size
  for (float s : scalars)
    for (const Export& e : scalar_exports(s)) expect_export(e, shorter);

  std::vector<int> exponents = {0,    1,    -1,   2,    23,   -24,   126,   127,   128,   -126,  -127,    -149,
                                -150, -151, 200,  -200, 254,  -254,  277,   -277,  1022,  1023,  1024,    1025,
                                -1022, -1023, -1073, -1074, -1075, -1076, 4000, -4000, INT_MAX, INT_MIN};
  std::mt19937 rng(5);
  for (int j = 0; j < 16; ++j) exponents.push_back(static_cast<int>(rng() % 641) - 320);
  const std::vector<float> short_x = sweep_values(2048, 99u);
  for (int k : exponents) expect_export(scale_export(k), short_x);
}

TEST_F(Elementwise, EdgeCasesGiveTheDefinedBits) {
  const struct {
    const char* what;
    Call call;
    std::vector<float> x, want;
  } rows[] = {
      // Halves toward zero, and a toward-zero addition: a nearest one lifts 0.49999997 + 0.5 to 1.
      {"round", SGL_RoundToNearest, {0.5f, -0.5f, 2.5f, -3.5f, 2.6f, 0.49999997f, -1.4999999f, 8388607.5f},
       {0.0f, -0.0f, 2, -3, 3, 0, -1, 8388607}},
      {"floor", SGL_RoundTowardLessInfinity, {-0.5f, 0.5f, -0.0f, -FLT_TRUE_MIN}, {-1, 0, -0.0f, -1}},
      {"ceiling", SGL_RoundTowardMoreInfinity, {-0.5f, 0.5f, -FLT_TRUE_MIN}, {-0.0f, 1, -0.0f}},
      {"sign", SGL_Sign, {-0.0f, NAN, -FLT_TRUE_MIN}, {0, 1, -1}},
      {"reciprocal", SGL_Reciprocal, {-0.0f, 0x1p127f}, {-INFINITY, 0x1p-127f}},
      {"square root", SGL_SquareRoot, {-0.0f, -1}, {-0.0f, NAN}},
      {"scale 2^-150", scale(-150), {1, 1.5f, -1}, {0, FLT_TRUE_MIN, -0.0f}},  // the tie goes to even
      {"scale 2^1024", scale(1024), {0, -1}, {NAN, -INFINITY}},
      {"scale 2^-1100", scale(-1100), {INFINITY, 1}, {NAN, 0}},
      {"s - x", with(SGL_SubtractScalarArray, -0.0f), {0.0f, 1}, {-0.0f, -1}},
      {"x / s", with(SGL_DivideArrayScalar, -0.0f), {2, 0}, {-INFINITY, NAN}},
      {"s / x", with(SGL_DivideScalarArray, 1), {-0.0f, 4}, {-INFINITY, 0.25f}},
  };
  for (const auto& row : rows) expect_same_bits(row.what, apply(row.call, row.x), row.want, {row.x});
}

// The quotients and remainders of the first min(nx, ny) pairs.
std::pair<std::vector<float>, std::vector<float>> divide(const std::vector<float>& x, const std::vector<float>& y,
                                                         int nx, int ny) {
  DeviceBuffer<float> xs(x), ys(y);
  float* r = nullptr;
  float* q = nullptr;
  EXPECT_EQ(SGL_QuotientAndRemainder(xs.get(), ys.get(), nx, ny, &r, &q), cudaSuccess);
  const size_t m = std::min(nx, ny);
  return {DeviceBuffer<float>::adopt(q, m).download(), DeviceBuffer<float>::adopt(r, m).download()};
}

TEST_F(Elementwise, QuotientIsFlooredAndRemainderFused) {
  // x, y, q, r; 1e10 / 3 needs the fused remainder: a rounded y * q gives r = 0.
  const float rows[][4] = {{7, 2, 3, 1},         {-7, 2, -4, 1},   {7, -2, -4, -1},           {-7, -2, 3, -1},
                           {5, 0, INFINITY, NAN}, {0, 0, NAN, NAN}, {-3, INFINITY, -0.0f, NAN},
                           {1e10f, 3, 3333333248.0f, 256}};
  std::vector<float> x, y, q, r;
  for (const auto& row : rows) x.push_back(row[0]), y.push_back(row[1]), q.push_back(row[2]), r.push_back(row[3]);
  y.insert(y.end(), {1, 1, 1});  // only the first min(nx, ny) pairs count
  auto got = divide(x, y, 8, 11);
  expect_same_bits("quotient", got.first, q, {x, y});
  expect_same_bits("remainder", got.second, r, {x, y});

  x = sweep_values(16384, 3u);
  y = sweep_values(16384, 4u);
  std::mt19937 rng(8);
  std::shuffle(y.begin(), y.end(), rng);  // every kind of value against every other
  const int n = static_cast<int>(x.size());
  q.resize(n);
  r.resize(n);
  for (int i = 0; i < n; ++i) {
    q[i] = std::floor(via_double(double(x[i]) / double(y[i])));
    // y * q is exact in long double (48 significant bits); the difference, rounded there and then to float,
    // is rounded once: 64 >= 2 * 24 + 2.
    r[i] = static_cast<float>(static_cast<long double>(x[i]) - static_cast<long double>(y[i]) * q[i]);
  }
  got = divide(x, y, n + 7, n);
  expect_same_bits("quotient", got.first, q, {x, y});
  expect_same_bits("remainder", got.second, r, {x, y});
}

TEST_F(Elementwise, QuotientAndRemainderWithNothingToDoOrBadArguments) {
  DeviceBuffer<float> x(std::vector<float>{1, 2});
  const unsigned long long launches = launch_count();
  const struct {
    int nx, ny;
    cudaError_t status;
  } counts[] = {{0, 2, cudaSuccess},           {2, 0, cudaSuccess},           {0, 0, cudaSuccess},
                {-1, 2, cudaErrorInvalidValue}, {2, -1, cudaErrorInvalidValue}, {INT_MIN, 0, cudaErrorInvalidValue}};
  for (const auto& c : counts) {
    float* r = x.get();  // stale outputs, so that a missing reset shows
    float* q = x.get();
    EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), x.get(), c.nx, c.ny, &r, &q), c.status) << c.nx << ", " << c.ny;
    EXPECT_TRUE(r == nullptr && q == nullptr) << c.nx << ", " << c.ny;
  }
  float* out = nullptr;
  EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), x.get(), 2, 2, nullptr, &out), cudaErrorInvalidValue);
  EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), x.get(), 2, 2, &out, nullptr), cudaErrorInvalidValue);
  EXPECT_EQ(SGL_QuotientAndRemainder(x.get(), x.get(), 2, 2, &out, &out), cudaErrorInvalidValue);
  EXPECT_EQ(launch_count(), launches);
}

// The eighteen in-place exports.
std::vector<Export> in_place_exports() {
  std::vector<Export> all = unary_exports();
  for (const Export& e : scalar_exports(3.0f)) all.push_back(e);
  all.push_back(scale_export(1));
  return all;
}

TEST_F(Elementwise, NothingToDoLaunchesNothingAndFailuresLeaveNothingBehind) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> data(std::vector<float>{1.5f, -2.5f, 4.0f});
  float* r = nullptr;
  float* q = nullptr;
  std::vector<std::tuple<std::string, int, std::function<cudaError_t()>, std::function<bool()>>> calls;
  calls.emplace_back(
      "SGL_QuotientAndRemainder", 2,
      [&] {
        r = q = data.get();
        const cudaError_t status = SGL_QuotientAndRemainder(data.get(), data.get(), 3, 3, &r, &q);
        if (status == cudaSuccess) EXPECT_TRUE(cudaFree(r) == cudaSuccess && cudaFree(q) == cudaSuccess);
        return status;
      },
      [&] { return r == nullptr && q == nullptr; });
  const unsigned long long launches = launch_count();
  for (const Export& e : in_place_exports()) {  // nothing to do for n <= 0; no allocations, no outputs to check
    for (int n : {0, -1, INT_MIN}) EXPECT_EQ(e.call(data.get(), n), cudaSuccess) << e.name << " n = " << n;
    testing_support::fail_synchronize(cudaErrorIllegalAddress);  // n = 0 still reports the synchronisation
    EXPECT_EQ(e.call(data.get(), 0), cudaErrorIllegalAddress) << e.name;
    EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
    calls.emplace_back(e.name, 0, [&, call = e.call] { return call(data.get(), 3); }, nullptr);
  }
  EXPECT_EQ(launch_count(), launches) << "launched with nothing to do";
  for (const auto& [name, allocations, call, untouched] : calls)
    arith_testing::expect_failures_reported<cudaError_t>(name, allocations, call, untouched, cudaErrorMemoryAllocation,
                                                         cudaErrorNoKernelImageForDevice, cudaErrorIllegalAddress);
}

}  // namespace
