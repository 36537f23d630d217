// The arithmetic exports. Elementwise results bit for bit against references that reach them another way
// (double or long double arithmetic, integer truncation); array-array results against a host loop over
// coordinates; sums and products within the bound of double accumulation, extremes against a scan in index
// order. Then the runtime calls of empty and refused calls (tests/frame/exports_test.cpp fails the steps of a
// typical one).
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "cuda_brelmont.h"
#include "frame/algorithms.h"
#include "support/contract.h"
#include "support/device_buffer.h"
#include "support/same_bits.h"

namespace {

using namespace testing_support;
using Floats = std::vector<float>;
using Shape = std::vector<int>;
using InPlace = std::function<cudaError_t(float*, int)>;

// Where rounding rules go wrong, with both signs and both neighbours (zeros, infinities, NaN, the range ends,
// subnormals, integers, halves and quarters near 0 and around 2^12..2^25), then count random values: any bit
// pattern, and one in four of moderate size so that exact eighths and dense fractions occur.
Floats sweep_values(size_t count, uint32_t seed) {
  Floats base = {0.0f, INFINITY, NAN, FLT_MAX, FLT_MIN, FLT_TRUE_MIN, FLT_MIN - FLT_TRUE_MIN, 1e30f, 3e38f, 1e-40f},
         out;
  for (int p : {0, 12, 20, 21, 22, 23, 24, 25})
    for (int d = -3; d <= 9; ++d)
      for (double fraction : {0.0, 0.25, 0.5, 0.75})
        if (const double v = (p ? std::ldexp(1.0, p) : 0.0) + d + fraction; v > 0 && static_cast<float>(v) == v)
          base.push_back(static_cast<float>(v));
  for (float v : base)
    for (float s : {v, -v}) out.insert(out.end(), {s, std::nextafter(s, INFINITY), std::nextafter(s, -INFINITY)});
  std::mt19937 rng(seed);
  for (size_t i = 0; i < count; ++i)
    out.push_back(i % 4 == 0   ? (static_cast<int>(rng() % 641) - 320) * 0.125f
                  : i % 4 == 1 ? std::uniform_real_distribution<float>(-64, 64)(rng)
                               : from_bits(rng()));
  return out;
}

// Floor (side -1) or ceiling (+1) by integer truncation and a step; a zero keeps x's sign.
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

// x * 2^k exact in long double, rounded once; beyond the double range of 2^k, IEEE with an infinite or zero
// factor (0 * inf is NaN).
float scale_reference(float x, int k) {
  if (std::isnan(x)) return x;
  if (k >= 1024) return x == 0.0f ? NAN : std::copysign(INFINITY, x);
  if (k <= -1075) return std::isinf(x) ? NAN : std::copysign(0.0f, x);
  return static_cast<float>(std::ldexp(static_cast<long double>(x), k));
}

struct Elementwise {
  const char* name;
  InPlace call;
  std::function<float(float)> reference;  // a double result of float operands rounds once to the float result
};

InPlace with(cudaError_t (*op)(float*, float, int), float s) {
  return [=](float* d, int n) { return op(d, s, n); };
}

// The eighteen in-place exports, the scalar ones with s and the scaling with k.
std::vector<Elementwise> in_place_exports(float s, int k) {
  return {{"SGL_Increment", SGL_Increment, [](double x) { return float(x + 1); }},
          {"SGL_Decrement", SGL_Decrement, [](double x) { return float(x - 1); }},
          {"SGL_Square", SGL_Square, [](double x) { return float(x * x); }},
          {"SGL_Negate", SGL_Negate, [](float x) { return from_bits(bits(x) ^ 0x80000000u); }},
          {"SGL_Reciprocal", SGL_Reciprocal, [](double x) { return float(1 / x); }},
          {"SGL_SquareRoot", SGL_SquareRoot, [](double x) { return float(std::sqrt(x)); }},
          {"SGL_Absolute", SGL_Absolute, [](float x) { return from_bits(bits(x) & 0x7fffffffu); }},
          {"SGL_RoundToNearest", SGL_RoundToNearest, round_reference},
          {"SGL_RoundTowardLessInfinity", SGL_RoundTowardLessInfinity, [](float x) { return integer_toward(x, -1); }},
          {"SGL_RoundTowardMoreInfinity", SGL_RoundTowardMoreInfinity, [](float x) { return integer_toward(x, 1); }},
          {"SGL_Sign", SGL_Sign, [](float x) { return std::isnan(x) || x > 0 ? 1.0f : x < 0 ? -1.0f : 0.0f; }},
          {"SGL_AddArrayScalar", with(SGL_AddArrayScalar, s), [=](double x) { return float(x + s); }},
          {"SGL_SubtractArrayScalar", with(SGL_SubtractArrayScalar, s), [=](double x) { return float(x - s); }},
          {"SGL_SubtractScalarArray", with(SGL_SubtractScalarArray, s), [=](double x) { return float(s - x); }},
          {"SGL_MultArrayScalar", with(SGL_MultArrayScalar, s), [=](double x) { return float(x * s); }},
          {"SGL_DivideArrayScalar", with(SGL_DivideArrayScalar, s), [=](double x) { return float(x / s); }},
          {"SGL_DivideScalarArray", with(SGL_DivideScalarArray, s), [=](double x) { return float(s / x); }},
          {"SGL_ScaleByPowerOfTwo", [=](float* d, int n) { return SGL_ScaleByPowerOfTwo(d, k, n); },
           [=](float x) { return scale_reference(x, k); }}};
}

class Arith : public ExportTest {};

TEST_F(Arith, ElementwiseSweepsMatchTheReferencesBitForBit) {
  const Floats scalars = {
      0.0f,     -0.0f,        1,        -1,        0.5f, 3,     -7.25f,         1e-40f,          FLT_MIN,
      -FLT_MAX, FLT_TRUE_MIN, INFINITY, -INFINITY, NAN,  1e20f, 0x1.234566p-3f, -0x1.fffffep100f};
  const Shape exponents = {0,     1,     -1,    2,     23,    -24,   126,  127,   128,  -126, -127,    -149,
                           -150,  -151,  200,   -200,  254,   -254,  277,  -277,  1022, 1023, 1024,    1025,
                           -1022, -1023, -1073, -1074, -1075, -1076, 4000, -4000, 37,   -61,  INT_MAX, INT_MIN};
  for (size_t j = 0; j < exponents.size(); ++j) {
    const Floats x = sweep_values(4096, static_cast<uint32_t>(j));
    const float s = scalars[j % scalars.size()];
    for (const Elementwise& e : in_place_exports(s, exponents[j])) {
      Floats want(x.size());
      std::transform(x.begin(), x.end(), want.begin(), e.reference);
      DeviceBuffer<float> data(x);
      ASSERT_EQ(e.call(data.get(), static_cast<int>(x.size())), cudaSuccess) << e.name;
      expect_same_bits(e.name + (" s = " + ::testing::PrintToString(s)) + ", k = " + std::to_string(exponents[j]),
                       data.download(), want, {x});
    }
  }
}

// The floored quotient, and the remainder with one rounding: a rounded y * q makes a third of these remainders wrong.
TEST_F(Arith, QuotientIsFlooredAndRemainderFused) {
  Floats x = sweep_values(16384, 3u), y = sweep_values(16384, 4u), q(x.size()), r(x.size());
  std::shuffle(y.begin(), y.end(), std::mt19937(8));  // every kind of value against every other
  for (size_t i = 0; i < x.size(); ++i) {
    q[i] = std::floor(static_cast<float>(double(x[i]) / double(y[i])));
    // y * q is exact in long double (48 bits), so x - y * q rounds once: 64 >= 2 * 24 + 2.
    r[i] = static_cast<float>(static_cast<long double>(x[i]) - static_cast<long double>(y[i]) * q[i]);
  }
  DeviceBuffer<float> xs(x), ys(y);
  float *remainder = nullptr, *quotient = nullptr;
  const int n = static_cast<int>(x.size());  // the pairs are the first min(nx, ny)
  ASSERT_EQ(SGL_QuotientAndRemainder(xs.get(), ys.get(), n + 7, n, &remainder, &quotient), cudaSuccess);
  expect_same_bits("quotient", DeviceBuffer<float>::adopt(quotient, n).download(), q, {x, y});
  expect_same_bits("remainder", DeviceBuffer<float>::adopt(remainder, n).download(), r, {x, y});
}

// ---- Array-array ----

const struct Operation {
  const char* name;
  cudaError_t (*run)(int, int*, int*, float*, float*, float**, int*, int*);
  float (*op)(float, float);
} kOperations[] = {{"add", SGL_AddArrayArray, [](float a, float b) { return a + b; }},
                   {"subtract", SGL_SubstractArrayArray, [](float a, float b) { return a - b; }},
                   {"multiply", SGL_MultArrayArray, [](float a, float b) { return a * b; }},
                   {"divide", SGL_DivideArrayArray, [](float a, float b) { return a / b; }}};

// p, or null in its place.
template <typename T>
T* unless(bool null, T* p) {
  return null ? nullptr : p;
}

size_t elements(const Shape& s) { return std::accumulate(s.begin(), s.end(), size_t{1}, std::multiplies<>()); }

// The export on a and b against an odometer over the common extent (last dimension fastest), each operand's
// element by Horner's rule on its own sizes: values bit for bit, the common sizes, the byte count, and a null
// result exactly where there are no elements. With alias the result's sizes overwrite A's, which must be read
// first, and B starts one element past an aligned address; otherwise the sizes start stale.
void expect_combined(const Operation& o, Shape sa, Shape sb, const Floats& a, const Floats& b, bool alias) {
  Shape common(sa.size()), at(sa.size(), 0);
  for (size_t d = 0; d < sa.size(); ++d) common[d] = std::min(sa[d], sb[d]);
  Floats want;
  for (size_t t = 0; t < elements(common); ++t) {
    size_t ia = 0, ib = 0;
    for (size_t d = 0; d < at.size(); ++d) ia = ia * sa[d] + at[d], ib = ib * sb[d] + at[d];
    want.push_back(o.op(a[ia], b[ib]));
    for (size_t d = at.size(); d-- > 0 && ++at[d] == common[d];) at[d] = 0;
  }
  const std::string what = o.name + (" of " + ::testing::PrintToString(sa)) + " and " + ::testing::PrintToString(sb);
  Floats shifted(b);
  shifted.insert(shifted.begin(), -1.0f);
  DeviceBuffer<float> da(a), db(alias ? shifted : b);
  Shape sizes = alias ? sa : Shape(sa.size(), -777);
  int bytes = -777;
  float stale = 0, *result = &stale;
  const bool none = sa.empty();
  ASSERT_EQ(o.run(int(sa.size()), unless(none, alias ? sizes.data() : sa.data()), unless(none, sb.data()),
                  da.get(), db.get() + alias, &result, unless(none, sizes.data()), &bytes),
            cudaSuccess);
  EXPECT_EQ(sizes, common) << what;
  ASSERT_EQ(bytes, static_cast<int>(want.size() * sizeof(float))) << what;
  ASSERT_TRUE(result != &stale && (result == nullptr) == want.empty()) << what;
  if (result != nullptr) expect_same_bits(what, DeviceBuffer<float>::adopt(result, want.size()).download(), want);
}

TEST_F(Arith, ArrayArrayMatchesAHostLoopOverCoordinates) {
  // Across blocks, ten dimensions, no elements, then random shapes of 0 to 6 dimensions (equal ones first).
  std::vector<std::pair<Shape, Shape>> shapes = {
      {{1025}, {1500}},       {{3, 700}, {5, 513}}, {{1, 4}, {3, 4}},
      {{3, 0, 2}, {3, 4, 2}}, {{2, 2}, {2, 0}},     {{2, 1, 3, 2, 1, 2, 2, 1, 2, 3}, {1, 2, 2, 3, 2, 2, 1, 2, 3, 2}}};
  std::mt19937 rng(20240604);
  for (int ndims = 0; ndims <= 6; ++ndims)
    for (int trial = 0; trial < 4; ++trial) {
      Shape sa(ndims), sb(ndims);
      for (int d = 0; d < ndims; ++d) sa[d] = 1 + rng() % (ndims <= 3 ? 9 : 4), sb[d] = trial ? 1 + rng() % 9 : sa[d];
      shapes.push_back({sa, sb});
    }
  for (size_t k = 0; k < shapes.size(); ++k) {
    const auto& [sa, sb] = shapes[k];
    Floats a(elements(sa)), b(elements(sb));
    for (Floats* v : {&a, &b})
      for (float& x : *v)
        x = rng() % 16 ? std::ldexp(rng() % 2001 - 1000.0f, static_cast<int>(rng() % 61) - 40)
                       : (rng() % 2 ? 0.0f : -0.0f);
    for (const Operation& o : kOperations) expect_combined(o, sa, sb, a, b, k % 2);
  }
}

// ---- Reductions ----

// n - 1 roundings in double, in any order, then one to float: within gamma_{n-1} * sum |x| of the exact sum
// (gamma_{n-1} * |P| of the exact product P, which long double computes within n roundings of 2^-64), then
// half a float ulp. Sums of m * 2^e with 24-bit m and |e| <= 10 are exact in long double. Where the exact
// value rounds to a zero, an infinity or NaN, that is the result, bit for bit (a sum starts from -0).
void expect_within_double_bound(bool sum, const Floats& data) {
  const size_t n = data.size();
  long double exact = sum ? -0.0L : 1, magnitude = 0;
  for (float x : data) exact = sum ? exact + x : exact * x, magnitude += std::fabs(static_cast<long double>(x));
  const long double gamma = (n - 1) * 0x1p-53L / (1 - (n - 1) * 0x1p-53L);
  const long double accumulated = sum ? gamma * magnitude : (gamma + n * 0x1p-64L) * std::fabs(exact);
  DeviceBuffer<float> d(data);
  float got = -12345.0f;
  const auto reduction = sum ? SGL_AddArrayElement : SGL_MultiplyArrayElement;
  ASSERT_EQ(reduction(d.get(), static_cast<int>(n), &got), BRELMONT_STATUS_SUCCESS);
  const std::string what = (sum ? "sum of " : "product of ") + ::testing::PrintToString(n > 3 ? Floats{} : data);
  if (const float rounded = static_cast<float>(exact); rounded == 0 || !std::isfinite(rounded))
    EXPECT_SAME_FLOAT(got, rounded) << what;
  else
    EXPECT_LE(std::fabs(got - exact), accumulated + float_ulp(std::fabs(exact) + accumulated) / 2)
        << what << " (" << n << "): got " << got << ", exact " << double(exact);
}

TEST_F(Arith, SumsAndProductsStayWithinTheDoubleAccumulationBound) {
  std::mt19937 rng(31);
  const auto draw = [&](float low, float high, int spread) {
    return std::ldexp(std::uniform_real_distribution<float>(low, high)(rng), int(rng() % (2 * spread + 1)) - spread);
  };
  for (int n : {1, 2, 33, 513, 65539}) {
    Floats terms(n), factors(n);
    for (int i = 0; i < n; ++i) terms[i] = draw(-1, 1, 10), factors[i] = draw(0.99f, 1.01f, 0) * (rng() % 2 ? 1 : -1);
    expect_within_double_bound(true, terms);
    expect_within_double_bound(false, factors);
  }
  // +256x, x/256, -256x: the bound is about 0.01 of the exact sum's partial sums, a float accumulator errs by 1.
  Floats cancelling;
  for (int i = 0; i < 30000; ++i) {
    const float x = draw(0.5f, 1, 10);
    cancelling.insert(cancelling.end(), {x * 256, x / 256, -x * 256});
  }
  expect_within_double_bound(true, cancelling);
  // Signed zeros, infinities and NaN, and what overflows or underflows in float but not in double.
  for (const auto& [sum, data] :
       {std::pair{true, Floats(1000, -0.0f)}, {true, {-0.0f, 0.0f}}, {true, {INFINITY, 1, -INFINITY}},
        {true, {FLT_MAX, FLT_MAX, -FLT_MAX}}, {true, {FLT_MAX, FLT_MAX}}, {false, {1e30f, 1e30f, 1e-30f}},
        {false, {1e-30f, 1e-15f}}, {false, {-0.0f, 5}}, {false, {-0.0f, -5}}, {false, {INFINITY, 0}},
        {false, {FLT_MAX, 2}}})
    expect_within_double_bound(sum, data);
}

// The position the rules choose, by a scan in index order: the first NaN, else the first element no later
// one beats.
size_t scan_position(const Floats& data, bool minimum) {
  const auto nan = std::find_if(data.begin(), data.end(), [](float x) { return std::isnan(x); });
  if (nan != data.end()) return nan - data.begin();
  size_t best = 0;
  for (size_t i = 1; i < data.size(); ++i) best = (minimum ? data[i] < data[best] : data[i] > data[best]) ? i : best;
  return best;
}

// Row-major coordinates of flat index i, by repeated subtraction of the trailing block sizes.
Shape coordinates_of(size_t i, const Shape& sizes) {
  Shape at(sizes.size());
  for (size_t d = 0; d < sizes.size(); ++d) {
    const size_t block = elements(Shape(sizes.begin() + d + 1, sizes.end()));
    at[d] = static_cast<int>(i / block), i -= at[d] * block;
  }
  return at;
}

// The device merges partial extremes in a tree of the algorithm's shape: any shape must give the
// scan's result.
brelmont::Extremes merge_by_random_tree(const Floats& data, size_t begin, size_t end, std::mt19937& rng) {
  if (end - begin == 1) return brelmont::extremes_rules::single(data[begin], static_cast<int>(begin));
  const size_t middle = begin + 1 + rng() % (end - begin - 1);
  const brelmont::Extremes left = merge_by_random_tree(data, begin, middle, rng);
  const brelmont::Extremes right = merge_by_random_tree(data, middle, end, rng);
  return rng() & 1 ? brelmont::extremes_rules::merge(left, right) : brelmont::extremes_rules::merge(right, left);
}

// With alias the minimum's position overwrites the sizes, which must be copied first.
void expect_extremes(const Shape& sizes, const Floats& data, bool alias) {
  DeviceBuffer<float> d(data);
  float min = -1, max = -1;
  Shape in = sizes, min_at(sizes.size(), -777), max_at(sizes.size(), -777);
  int* const min_out = alias ? in.data() : min_at.data();
  ASSERT_EQ(SGL_MinMaxArray(int(sizes.size()), INT_MIN, in.data(), d.get(), &min, &max, min_out, max_at.data()),
            BRELMONT_STATUS_SUCCESS);
  if (alias) min_at = in;
  const size_t at_min = scan_position(data, true), at_max = scan_position(data, false);
  EXPECT_TRUE(bits(min) == bits(data[at_min]) && bits(max) == bits(data[at_max])) << min << " " << max;
  EXPECT_EQ(min_at, coordinates_of(at_min, sizes)) << "minimum at " << at_min;
  EXPECT_EQ(max_at, coordinates_of(at_max, sizes)) << "maximum at " << at_max;
  std::mt19937 rng(static_cast<uint32_t>(data.size()));
  const brelmont::Extremes tree = merge_by_random_tree(data, 0, data.size(), rng);
  EXPECT_TRUE(tree.min_index == int(at_min) && tree.max_index == int(at_max) && bits(tree.min) == bits(min) &&
              bits(tree.max) == bits(max))
      << "a random merge tree of " << data.size();
}

TEST_F(Arith, MinMaxOnRandomShapesWithTiesNaNAndSignedZeros) {
  std::mt19937 rng(5);
  for (int ndims : {1, 2, 3, 6, 10}) {
    Shape sizes(ndims);
    for (int& s : sizes) s = 1 + rng() % (ndims <= 2 ? 40 : ndims <= 6 ? 5 : 2);
    Floats data(elements(sizes));
    for (float& x : data) x = rng() % 7 - 3.0f;  // few values: ties everywhere
    expect_extremes(sizes, data, ndims == 2);
    for (float& x : data) x = rng() % 2 ? 0.0f : -0.0f;
    expect_extremes(sizes, data, false);
    data[rng() % data.size()] = NAN, data[rng() % data.size()] = -NAN;
    expect_extremes(sizes, data, false);
  }
  Floats large(65539, 2.0f);  // across many blocks; infinities are ordinary extremes
  large[40000] = large[4461] = -INFINITY, large[65538] = large[512] = 9.0f;
  expect_extremes({65539}, large, false);
  large[33000] = large[65000] = NAN;
  expect_extremes({256, 256}, Floats(large.begin(), large.begin() + 65536), true);
}

// ---- Runtime calls of empty and refused calls ----

TEST_F(Arith, RuntimeCallsOfEmptyAndRefusedCalls) {
  const Floats values = {4, 1, 7, 0, 9, 2};
  DeviceBuffer<float> x(values), y(values);
  std::vector<Contract> rows;
  for (const Elementwise& e : in_place_exports(3, 1))  // n <= 0 is nothing to do, yet synchronised
    for (int n : {6, 0, INT_MIN})
      rows.push_back({e.name + (" n = " + std::to_string(n)), {0, 0, 0, 0, 0, 0, 1, n > 0},
                      [&, e, n] { return e.call(n > 0 ? x.get() : y.get(), n); }, 0,
                      [&] { return y.download() == values; }});
  // Stale outputs before each call, so that a missing reset shows; the pairs are the first min(nx, ny).
  float *r = nullptr, *q = nullptr;
  for (auto [nx, ny, status] : {std::tuple{6, 4, 0}, {0, 6, 0}, {-1, 6, 1}}) {
    const unsigned some = nx > 0 && ny > 0;
    rows.push_back({"SGL_QuotientAndRemainder " + std::to_string(nx) + ", " + std::to_string(ny),
                    {2 * some, 2 * some, 0, 0, 0, 0, status == 0, some},
                    [&, nx = nx, ny = ny] {
                      r = q = x.get();
                      const cudaError_t got = SGL_QuotientAndRemainder(x.get(), y.get(), nx, ny, &r, &q);
                      if (r != nullptr && r != x.get()) EXPECT_TRUE(cudaFree(r) == 0 && cudaFree(q) == 0);
                      return got;
                    },
                    status, [&] { return r == nullptr && q == nullptr; }});
  }
  // Array-array: refused shapes and null arguments (by position) leave a null result and zero sizes where they are
  // given (ndims entries, none for a rank beyond 10); no elements is a null result.
  Shape sizes(11);
  int bytes = 0;
  float* result = nullptr;
  for (const Operation& o : kOperations)
    for (const auto& [what, ndims, sa, sb, null_at, status] :
         {std::tuple{"no elements", 2, Shape{2, 0}, Shape{2, 3}, 0, 0}, {"negative ndims", -1, {2}, {2}, 0, 1},
          {"11 dimensions", 11, Shape(11, 1), Shape(11, 1), 0, 1}, {"negative size", 2, {-1, 2}, {2, 2}, 0, 1},
          {"negative size of B", 2, {2, 2}, {2, INT_MIN}, 0, 1}, {"A past INT_MAX", 2, {65536, 65536}, {2, 2}, 0, 1},
          {"B past INT_MAX", 3, {1, 2, 2}, {2, 1 << 30, 2}, 0, 1}, {"too many bytes", 1, {1 << 29}, {1 << 29}, 0, 1},
          {"null A sizes", 1, {2}, {2}, 2, 1}, {"null B sizes", 1, {2}, {2}, 3, 1}, {"null result", 1, {2}, {2}, 6, 1},
          {"null result sizes", 1, {2}, {2}, 7, 1}, {"null byte count", 1, {2}, {2}, 8, 1}})
      rows.push_back({o.name + std::string(" ") + what, {0, 0, 0, 0, 0, 0, status == 0, 0},
                      [&, o, ndims = ndims, sa = sa, sb = sb, null_at = null_at]() mutable {
                        std::fill(sizes.begin(), sizes.end(), -777), bytes = -777, result = x.get();
                        return o.run(ndims, unless(null_at == 2, sa.data()), unless(null_at == 3, sb.data()), x.get(),
                                     y.get(), unless(null_at == 6, &result), unless(null_at == 7, sizes.data()),
                                     unless(null_at == 8, &bytes));
                      },
                      status, [&, ndims = ndims, null_at = null_at] {
                        Shape zeroed(11, -777);
                        if (null_at != 7 && ndims <= 10) std::fill_n(zeroed.begin(), std::max(ndims, 0), 0);
                        return (null_at == 6 || result == nullptr) && bytes == (null_at == 8 ? -777 : 0) &&
                               sizes == zeroed;
                      }});
  // The reductions: nothing to sum or multiply is 0; a refusal writes nothing.
  float out[2];
  Shape at(22);
  const auto reset = [&] { out[0] = out[1] = -1, std::fill(at.begin(), at.end(), -777); };
  for (auto reduction : {SGL_AddArrayElement, SGL_MultiplyArrayElement}) {
    for (int n : {0, INT_MIN})
      rows.push_back({"reduce nothing", {}, [&, reduction, n] {
                        return reset(), reduction(nullptr, n, out) + (bits(out[0]) != 0);  // +0 written
                      }});
    rows.push_back({"reduce to null", {}, [&, reduction] { return reduction(y.get(), 2, nullptr); },
                    BRELMONT_STATUS_BAD_PARAM});
  }
  for (const auto& [what, ndims, dims, null_at] :
       {std::tuple{"no dimensions", 0, Shape{2}, 0}, {"11 dimensions", 11, Shape(11, 1), 0},
        {"negative size", 2, {2, -2}, 0}, {"empty", 2, {2, 0}, 0}, {"past INT_MAX", 2, {65536, 65536}, 0},
        {"null sizes", 1, {6}, 3}, {"null minimum", 1, {6}, 5}, {"null maximum", 1, {6}, 6},
        {"null minimum position", 1, {6}, 7}, {"null maximum position", 1, {6}, 8}})
    rows.push_back({std::string("SGL_MinMaxArray ") + what, {},
                    [&, ndims = ndims, dims = dims, null_at = null_at]() mutable {
                      reset();
                      return SGL_MinMaxArray(ndims, 0, unless(null_at == 3, dims.data()), y.get(),
                                             unless(null_at == 5, &out[0]), unless(null_at == 6, &out[1]),
                                             unless(null_at == 7, at.data()), unless(null_at == 8, at.data() + 11));
                    },
                    BRELMONT_STATUS_BAD_PARAM, [&] { return out[0] == -1 && out[1] == -1 && at == Shape(22, -777); }});
  for (const Contract& row : rows) expect_contract(row);
}

}  // namespace
