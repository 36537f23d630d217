// Points, references and bounds of the math exports (see accuracy_cases.h).
//
// References are long double (64-bit significand) evaluations of the exact function, at least 2^-40
// relative even where the function is ill-conditioned, far below a float ulp. Published bounds are those
// of the CUDA math library in ulps of the correctly rounded result; against the exact value half an ulp is
// added, so a single call of a function published at N ulps is held to N + 0.5.
#include "math/accuracy_cases.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cuda_brelmont.h"
#include "support/floats.h"

namespace math_accuracy {
namespace {

using Floats = std::vector<float>;
using Points = std::vector<Point>;
using LD = long double;

constexpr float kInf = INFINITY;
constexpr LD kHalfPi = 1.5707963267948966192313216916397514L;

// Density of the sweeps across all exponents: points per binade for one input, and for each operand of
// the two-input exports (whose point sets pair each operand with several others).
constexpr int kPerBinade = 256;
constexpr int kPairPerBinade = 16;

// ---- Bounds ----------------------------------------------------------------------------------------

// One library call, or a double-precision recipe rounded once.
Expectation within(LD reference, double bound) { return {reference, bound, true}; }

// 1 / v, or v / x with x exact, where v comes from a library function held to E ulps. The relative error
// of v passes through unchanged, but an ulp near the bottom of v's binade is nearly two ulps near the top
// of the result's binade, so E ulps of v become up to 2E ulps of the result. The correctly rounded
// division adds half an ulp, a whole one when it rounds up across a power of two: 2E + 1. A subnormal v
// has coarser ulps than that assumes, so there the ratio is taken at the point (up to 8E for 1/v).
constexpr double quotient_bound(double e) { return 2 * e + 1; }

double carried_to_quotient(LD v, LD result, double e) {
  if (v == 0 || std::fabs(v) >= FLT_MIN || !std::isfinite(result)) return quotient_bound(e);
  const LD relative = e * testing_support::float_ulp(v) / std::fabs(v);
  return static_cast<double>(relative * std::fabs(result) / testing_support::float_ulp(result)) + 1;
}

// Where v is within its error of overflowing (cosh and sinh above about 89.4), 1/v may be 0: the loss of
// the whole subnormal value is allowed there, and the point is not counted.
Expectation reciprocal_of(LD v, double e) {
  const LD r = 1.0L / v;
  const LD overflow_band = static_cast<LD>(FLT_MAX) - e * testing_support::float_ulp(FLT_MAX);
  if (std::isfinite(v) && std::fabs(v) >= overflow_band) {
    return {r, static_cast<double>(std::fabs(r) / testing_support::float_ulp(r)) + quotient_bound(e), false};
  }
  return {r, carried_to_quotient(v, r, e), true};
}

Expectation sine_over(float x) {
  const LD s = std::sin(static_cast<LD>(x)), q = s / static_cast<LD>(x);
  return {q, carried_to_quotient(s, q, 2.5), true};
}

bool same_class(LD a, LD b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  if (std::isinf(a) || std::isinf(b)) return a == b;
  return true;
}

// f(w) where w is the correctly rounded value of an exact intermediate (1/x, x + 1, 1/y) and f a library
// function held to E ulps. The rounding of w is carried through f by f's conditioning at that point,
// which can be large (acos and acosh near 1, atanh near +-1, x^w for large |w ln x|): rather than the
// first-order condition-number estimate, the bound takes the exact propagated error |f(w) - f(exact)|,
// plus E ulps of f(w) rescaled to ulps of the reference. Where w overflows, or f(w) and the exact value
// differ in kind (one NaN or infinite, the other not), the point is held to E ulps of f(w), not counted.
Expectation after_rounded_step(LD f_of_w, LD exact, bool w_finite, double e) {
  if (!w_finite || !same_class(f_of_w, exact)) return {f_of_w, e, false};
  if (!std::isfinite(exact)) return {exact, 0.0, true};
  const LD ulp = testing_support::float_ulp(exact);
  return {exact, static_cast<double>((e * testing_support::float_ulp(f_of_w) + std::fabs(f_of_w - exact)) / ulp), true};
}

// ---- Points ----------------------------------------------------------------------------------------

float from_bits(uint32_t u) { return testing_support::from_bits(u); }

// +-0, +-smallest subnormal, +-largest subnormal, +-smallest normal, +-1, +-largest finite, +-infinity, NaN.
Floats special_values() {
  return {0.0f, -0.0f, 0x1p-149f, -0x1p-149f, 0x1.fffffcp-127f, -0x1.fffffcp-127f, FLT_MIN, -FLT_MIN,
          1.0f, -1.0f, FLT_MAX, -FLT_MAX, kInf, -kInf, NAN};
}

// per_binade significands in every binade of the float range (the subnormals' included), both signs:
// evenly spread, each shifted by a different small offset so that the sweep does not only hit round
// significands.
Floats exponent_sweep(int per_binade) {
  Floats v;
  const uint32_t step = (1u << 23) / per_binade;
  for (uint32_t exponent = 0; exponent < 255; ++exponent) {
    for (uint32_t j = 0; j < static_cast<uint32_t>(per_binade); ++j) {
      const uint32_t significand = j * step + (exponent * 40503u + j * 7919u) % step;
      const uint32_t magnitude = exponent << 23 | significand;
      if (magnitude == 0) continue;
      v.push_back(from_bits(magnitude));
      v.push_back(from_bits(magnitude | 0x80000000u));
    }
  }
  return v;
}

// center and count neighbouring floats on each side of it.
void add_around(Floats& v, float center, int count) {
  v.push_back(center);
  float up = center, down = center;
  for (int k = 0; k < count; ++k) {
    up = std::nextafter(up, kInf);
    down = std::nextafter(down, -kInf);
    v.push_back(up);
    v.push_back(down);
  }
}

// count points evenly spread over [lo, hi].
void add_spread(Floats& v, double lo, double hi, int count) {
  for (int i = 0; i < count; ++i) v.push_back(static_cast<float>(lo + (hi - lo) * i / (count - 1)));
}

void add_both_signs(Floats& v, const Floats& magnitudes) {
  for (float m : magnitudes) {
    v.push_back(m);
    v.push_back(-m);
  }
}

// The float of each binade [2^e, 2^(e+1)), 0 <= e <= 127, nearest a multiple of pi/2, found from the
// continued fraction of theta = frac(u * 2/pi), u the binade's ulp: a float m * u lies near a multiple
// exactly when m * theta is near an integer. Every integer is a * q_k + b * q_(k+1) for consecutive
// convergent denominators; for small |b| the best a is the one nearest -b * d_(k+1) / d_k (d_k = q_k theta
// - p_k) that keeps m a significand. This finds the exhaustive search's answer in the binades checked.
Floats nearest_multiples_of_half_pi() {
  Floats v;
  const LD lowest = 0x1p23L, end = 0x1p24L;
  for (int e = 0; e <= 127; ++e) {
    const LD u = std::ldexp(1.0L, e - 23);
    const LD phase = std::atan2(std::sin(u), std::cos(u)) / kHalfPi;  // u mod 2 pi, in quarter turns
    const LD theta = phase - std::floor(phase);
    std::vector<LD> q{1.0L}, d{theta};
    LD p0 = 1, q0 = 0, p1 = 0, q1 = 1, rest = theta;
    while (rest != 0 && q.back() < end * 4) {
      const LD inverse = 1.0L / rest;
      const LD a = std::floor(inverse);
      rest = inverse - a;
      const LD p2 = a * p1 + p0, q2 = a * q1 + q0;
      p0 = p1, q0 = q1, p1 = p2, q1 = q2;
      q.push_back(q2);
      d.push_back(q2 * theta - p2);
    }
    LD best = 1, best_m = lowest;
    for (size_t k = 0; k + 1 < q.size(); ++k) {
      for (int b = -64; b <= 64; ++b) {
        const LD lo = std::ceil((lowest - b * q[k + 1]) / q[k]), hi = std::floor((end - 1 - b * q[k + 1]) / q[k]);
        if (lo > hi) continue;
        const LD a = std::min(hi, std::max(lo, std::round(-b * d[k + 1] / d[k])));
        for (LD aa = a - 1; aa <= a + 1; ++aa) {
          const LD m = aa * q[k] + b * q[k + 1];
          if (m < lowest || m >= end) continue;
          const LD t = m * theta, distance = std::fabs(t - std::round(t));
          if (distance < best) best = distance, best_m = m;
        }
      }
    }
    add_around(v, static_cast<float>(best_m * u), 8);
  }
  for (int k = 1; k <= 64; ++k) add_around(v, static_cast<float>(k * kHalfPi), 8);
  Floats both;
  add_both_signs(both, v);
  return both;
}

// 1 and its neighbourhood: the first 256 floats on each side, then 1 +- 2^-k.
void add_near_one(Floats& v) {
  add_around(v, 1.0f, 256);
  for (int k = 1; k <= 24; ++k) {
    add_around(v, 1.0f + std::ldexp(1.0f, -k), 2);
    add_around(v, 1.0f - std::ldexp(1.0f, -k), 2);
  }
}

Points singles(const Floats& xs) {
  Points p;
  p.reserve(xs.size());
  for (float x : xs) p.push_back({x, 0.0f});
  return p;
}

// The common part of every one-input point set: the special values and kPerBinade points in each binade.
Floats base_points() {
  Floats v = special_values();
  const Floats sweep = exponent_sweep(kPerBinade);
  v.insert(v.end(), sweep.begin(), sweep.end());
  return v;
}

Points circular_points() {
  static const Floats hard = nearest_multiples_of_half_pi();
  Floats v = base_points();
  v.insert(v.end(), hard.begin(), hard.end());
  add_spread(v, -10, 10, 6001);
  return singles(v);
}

Points inverse_circular_points() {  // asin, acos, atan: [-1, 1] densely, and the domain edges
  Floats v = base_points();
  add_spread(v, -1, 1, 8001);
  for (float edge : {1.0f, -1.0f, 0.5f, -0.5f}) add_around(v, edge, 64);
  return singles(v);
}

Points inverse_reciprocal_circular_points() {  // |x| >= 1, densest where 1/x is near +-1
  Floats v = base_points(), m;
  add_around(m, 1.0f, 256);
  add_spread(m, 1, 1.01, 6001);
  add_spread(m, 1, 8, 6001);
  add_both_signs(v, m);
  return singles(v);
}

Points exponential_points() {  // the overflow and underflow thresholds of e^x, and the range between
  Floats v = base_points();
  for (float edge : {88.7228394f, -87.3365479f, -103.278931f, -103.972076f}) add_around(v, edge, 64);
  add_spread(v, -104, 89, 8001);
  return singles(v);
}

Points minus_one_points() {  // near 0, where e^x - 1 cancels, and the overflow threshold
  Floats v = base_points(), m;
  add_spread(v, -1, 1, 6001);
  add_spread(v, -20, 20, 6001);
  for (int k = 1; k <= 40; ++k) add_around(m, std::ldexp(1.0f, -k), 2);
  add_both_signs(v, m);
  add_around(v, 88.7228394f, 64);
  return singles(v);
}

Points power_of_10_points() {
  Floats v = base_points();
  // 10^x overflows above log10(FLT_MAX); is subnormal below log10(2^-126); vanishes below log10(2^-150).
  for (float edge : {38.5318394f, -37.9297752f, -44.8534698f, -45.1544991f}) add_around(v, edge, 64);
  add_spread(v, -46, 39, 8001);
  for (int k = -46; k <= 39; ++k) v.push_back(static_cast<float>(k));
  return singles(v);
}

Points power_of_2_points() {
  Floats v = base_points();
  for (float edge : {128.0f, -126.0f, -149.0f, -150.0f}) add_around(v, edge, 64);
  add_spread(v, -151, 129, 8001);
  return singles(v);
}

Points logarithm_points() {
  Floats v = base_points();
  add_near_one(v);
  add_spread(v, 0.5, 2, 6001);
  return singles(v);
}

Points plus_one_points() {  // near 0, where x + 1 rounds, and just above -1
  Floats v = base_points(), m;
  add_spread(v, -1e-3, 1e-3, 6001);
  add_spread(v, -1, 1, 6001);
  for (int k = 1; k <= 40; ++k) add_around(m, std::ldexp(1.0f, -k), 2);
  add_both_signs(v, m);
  add_around(v, -1.0f, 64);
  return singles(v);
}

// cosh and sinh overflow above ln(2 FLT_MAX) = 89.4159862, e^x above 88.7228394.
void add_hyperbolic_thresholds(Floats& v) {
  Floats m;
  add_around(m, 89.4159851f, 64);
  add_around(m, 88.7228394f, 16);
  add_both_signs(v, m);
  add_spread(v, -92, 92, 6001);
}

Points hyperbolic_points() {
  Floats v = base_points();
  add_hyperbolic_thresholds(v);
  add_spread(v, -10, 10, 6001);
  return singles(v);
}

// Reciprocal hyperbolic forms: also where 1/x overflows for tiny x (2^-128).
Points reciprocal_hyperbolic_points() {
  Floats v = base_points(), m;
  add_hyperbolic_thresholds(v);
  add_spread(v, -10, 10, 6001);
  add_around(m, 0x1p-128f, 16);
  add_both_signs(v, m);
  return singles(v);
}

Points inverse_hyperbolic_points() {  // asinh; acosh and atanh near 1, where they are hardest
  Floats v = base_points(), m;
  add_near_one(m);
  add_spread(m, 1, 1.01, 6001);
  add_spread(m, 0, 10, 6001);
  add_both_signs(v, m);
  return singles(v);
}

Points inverse_reciprocal_hyperbolic_points() {  // 1/x near 1, and 1/x overflowing for tiny x
  Floats v = base_points(), m;
  add_near_one(m);
  add_spread(m, 0.99, 1.01, 6001);
  add_spread(m, 0, 10, 6001);
  add_around(m, 0x1p-128f, 16);
  add_both_signs(v, m);
  return singles(v);
}

// ---- Two-input points ------------------------------------------------------------------------------

// The operands whose combinations the special-value rules of pow, atan2 and division are about.
Floats pair_specials() {
  Floats v = special_values();
  for (float m : {0.5f, 2.0f, 3.0f, 2.5f, 0.333333343f, 7.0f}) {
    v.push_back(m);
    v.push_back(-m);
  }
  return v;
}

void add_all_pairs(Points& p, const Floats& xs, const Floats& ys) {
  for (float x : xs)
    for (float y : ys) p.push_back({x, y});
}

// Positive x in every binade, each with exponents y that put x^y = 2^t across the whole float range:
// below and at the underflow threshold, in the subnormals, in the middle, at and above overflow.
Points power_points(bool root) {
  Points p;
  const Floats specials = pair_specials();
  add_all_pairs(p, specials, specials);
  const Floats xs = exponent_sweep(kPairPerBinade);
  const double targets[] = {-152, -149.5, -149, -140, -126, -40, -3.3, 0.7, 9, 100, 127.99, 128, 128.01};
  for (float x : xs) {
    if (!(x > 0.0f) || x == 1.0f) continue;
    const double log2x = std::log2(static_cast<double>(x));
    for (double t : targets) {
      const float y = static_cast<float>(root ? log2x / t : t / log2x);
      p.push_back({x, y});
      p.push_back({x, std::nextafter(y, kInf)});
    }
  }
  // Negative bases: integer exponents (odd and even), and exponents that are not integers.
  const float exponents[] = {2, 3, -3, 7, -8, 21, 0.5f, 2.5f};
  for (float x : xs) {
    if (!(x < 0.0f) || !std::isfinite(x) || std::fabs(x) > 1e6f || std::fabs(x) < 1e-6f) continue;
    for (float y : exponents) p.push_back({x, root ? 1.0f / y : y});
  }
  // Bases next to 1 with large exponents, where x^y depends on every bit of x.
  Floats near_one;
  add_around(near_one, 1.0f, 32);
  for (float x : near_one)
    for (int k = 10; k <= 30; k += 4) {
      const float y = std::ldexp(1.0f, k);
      p.push_back({x, root ? 1.0f / y : y});
      p.push_back({x, root ? -1.0f / y : -y});
    }
  return p;
}

Points power_of_x_points() { return power_points(false); }
Points root_points() { return power_points(true); }

Points log_base_points() {
  Points p;
  const Floats specials = pair_specials();
  add_all_pairs(p, specials, specials);
  const Floats xs = exponent_sweep(kPairPerBinade);
  size_t k = 0;
  for (float x : xs) {  // each x with eight y from elsewhere in the sweep, across binades, both positive
    for (int j = 0; j < 8; ++j) p.push_back({std::fabs(x), std::fabs(xs[(k * 131 + j * 977) % xs.size()])});
    ++k;
  }
  Floats near_one;
  add_around(near_one, 1.0f, 64);
  const Floats others = {0.5f, 2.0f, 10.0f, 1e-30f, 3e38f, 0.999f, 1.001f};
  add_all_pairs(p, near_one, others);
  add_all_pairs(p, others, near_one);
  return p;
}

Points angle_points() {
  Points p;
  const Floats specials = pair_specials();
  add_all_pairs(p, specials, specials);
  const Floats xs = exponent_sweep(kPairPerBinade);
  size_t k = 0;
  for (float x : xs) {
    // Across binades (ratios from tiny to huge), and each side of the diagonal |y| = |x|.
    for (int j = 0; j < 6; ++j) p.push_back({x, xs[(k * 257 + j * 1543) % xs.size()]});
    if (std::isfinite(x)) {
      for (int shift : {-30, -12, -1, 1, 12, 30}) p.push_back({x, std::ldexp(x, shift)});
      p.push_back({x, std::nextafter(x, kInf)});
      p.push_back({x, -std::nextafter(x, -kInf)});
    }
    ++k;
  }
  return p;
}

// ---- The cases -------------------------------------------------------------------------------------

LD reciprocal_ld(float x) { return 1.0L / static_cast<LD>(x); }

std::vector<Case> make_cases() {
  using X = LD;  // reference arguments: the float widened exactly
  auto in_place = [](const char* name, const char* recipe, const char* bound, Expectation (*expect)(float, float),
                     Points (*points)(), cudaError_t (*run)(float*, int)) {
    return Case{name, recipe, bound, expect, points, run, nullptr, -1};
  };
  auto two = [](const char* name, const char* recipe, const char* bound, Expectation (*expect)(float, float),
                Points (*points)(), cudaError_t (*run)(float*, float*, int, float**)) {
    return Case{name, recipe, bound, expect, points, nullptr, run, -1};
  };
  std::vector<Case> all = {
      in_place("SGL_Sine", "sinf(x)", "2.5",
               [](float x, float) { return within(std::sin(X(x)), 2.5); }, circular_points, SGL_Sine),
      in_place("SGL_Cosine", "cosf(x)", "2.5",
               [](float x, float) { return within(std::cos(X(x)), 2.5); }, circular_points, SGL_Cosine),
      in_place("SGL_Tangent", "tanf(x)", "4.5",
               [](float x, float) { return within(std::tan(X(x)), 4.5); }, circular_points, SGL_Tangent),
      in_place("SGL_Secant", "1 / cosf(x)", "6 = 2 x 2.5 + 1",
               [](float x, float) { return reciprocal_of(std::cos(X(x)), 2.5); }, circular_points, SGL_Secant),
      in_place("SGL_Cosecant", "1 / sinf(x)", "6 = 2 x 2.5 + 1",
               [](float x, float) { return reciprocal_of(std::sin(X(x)), 2.5); }, circular_points, SGL_Cosecant),
      in_place("SGL_Cotangent", "1 / tanf(x)", "10 = 2 x 4.5 + 1",
               [](float x, float) { return reciprocal_of(std::tan(X(x)), 4.5); }, circular_points, SGL_Cotangent),
      in_place("SGL_InverseSine", "asinf(x)", "2.5",
               [](float x, float) { return within(std::asin(X(x)), 2.5); }, inverse_circular_points,
               SGL_InverseSine),
      in_place("SGL_InverseCosine", "acosf(x)", "2.5",
               [](float x, float) { return within(std::acos(X(x)), 2.5); }, inverse_circular_points,
               SGL_InverseCosine),
      in_place("SGL_InverseTangent", "atanf(x)", "2.5",
               [](float x, float) { return within(std::atan(X(x)), 2.5); }, inverse_circular_points,
               SGL_InverseTangent),
      in_place("SGL_InverseSecant", "acosf(1 / x)", "2.5 + rounding of 1/x carried through acos",
               [](float x, float) {
                 const float w = 1.0f / x;
                 return after_rounded_step(std::acos(X(w)), std::acos(reciprocal_ld(x)), std::isfinite(w), 2.5);
               },
               inverse_reciprocal_circular_points, SGL_InverseSecant),
      in_place("SGL_InverseCosecant", "asinf(1 / x)", "2.5 + rounding of 1/x carried through asin",
               [](float x, float) {
                 const float w = 1.0f / x;
                 return after_rounded_step(std::asin(X(w)), std::asin(reciprocal_ld(x)), std::isfinite(w), 2.5);
               },
               inverse_reciprocal_circular_points, SGL_InverseCosecant),
      in_place("SGL_InverseCotangent", "atanf(1 / x)", "2.5 + rounding of 1/x carried through atan",
               [](float x, float) {
                 const float w = 1.0f / x;
                 return after_rounded_step(std::atan(X(w)), std::atan(reciprocal_ld(x)), std::isfinite(w), 2.5);
               },
               inverse_circular_points, SGL_InverseCotangent),
      in_place("SGL_Sinc", "sinf(x) / x", "6 = 2 x 2.5 + 1",
               [](float x, float) { return sine_over(x); }, circular_points, SGL_Sinc),
      in_place("SGL_Exponential", "expf(x)", "2.5",
               [](float x, float) { return within(std::exp(X(x)), 2.5); }, exponential_points, SGL_Exponential),
      // e = expf(x) is within 2.5 ulps of e^x; e - 1 rounds once, by half an ulp of a value at most
      // |e^x - 1| + 2.5 ulp(e^x). The error is absolute, so near 0 it is many ulps of the small result.
      in_place("SGL_ExponentialArgMinusOne", "fmaf(p, 2^k, -1), expf(x) = p 2^k",
               "2.5 ulp(e^x) + 0.5 ulp(e^x - 1), per point",
               [](float x, float) {
                 const LD exact = std::expm1(X(x));
                 if (!std::isfinite(exact)) return within(exact, 0.0);
                 const LD slack = 2.5L * testing_support::float_ulp(std::exp(X(x)));
                 const LD error = slack + 0.5L * testing_support::float_ulp(std::fabs(exact) + slack);
                 return within(exact, static_cast<double>(error / testing_support::float_ulp(exact)));
               },
               minus_one_points, SGL_ExponentialArgMinusOne),
      in_place("SGL_PowerOf10", "(float)pow(10.0, (double)x)", "1",
               [](float x, float) { return within(std::pow(10.0L, X(x)), 1.0); }, power_of_10_points,
               SGL_PowerOf10),
      in_place("SGL_PowerOf2", "(float)pow(2.0, (double)x)", "1",
               [](float x, float) { return within(std::exp2(X(x)), 1.0); }, power_of_2_points, SGL_PowerOf2),
      in_place("SGL_LN", "logf(x)", "1.5",
               [](float x, float) { return within(std::log(X(x)), 1.5); }, logarithm_points, SGL_LN),
      in_place("SGL_LNArgPlusOne", "logf(x + 1)", "1.5 + rounding of x + 1 carried through ln",
               [](float x, float) {
                 const float w = x + 1.0f;
                 return after_rounded_step(std::log(X(w)), std::log1p(X(x)), std::isfinite(w), 1.5);
               },
               plus_one_points, SGL_LNArgPlusOne),
      // logf is within 1.5 ulps of ln x; times c = 0.4343 an ulp of ln x is 0.87 or 1.74 ulps of
      // log10 x (2.61 in all); c is 2.33e-8 relatively off 1/ln 10 (0.39 ulp); the product rounds by up
      // to one ulp when it rounds across a power of two. 2.61 + 0.39 + 1 = 4.
      in_place("SGL_LogBase10", "logf(x) * 0x3EDE5BD9", "4 = 1.5 x 1.74 + 0.39 + 1",
               [](float x, float) { return within(std::log10(X(x)), 4.0); }, logarithm_points, SGL_LogBase10),
      in_place("SGL_LogBase2", "log2f(x)", "1.5",
               [](float x, float) { return within(std::log2(X(x)), 1.5); }, logarithm_points, SGL_LogBase2),
      in_place("SGL_HyperbolicSine", "sinhf(x)", "3.5",
               [](float x, float) { return within(std::sinh(X(x)), 3.5); }, hyperbolic_points, SGL_HyperbolicSine),
      in_place("SGL_HyperbolicCosine", "coshf(x)", "2.5",
               [](float x, float) { return within(std::cosh(X(x)), 2.5); }, hyperbolic_points,
               SGL_HyperbolicCosine),
      in_place("SGL_HyperbolicTangent", "tanhf(x)", "2.5",
               [](float x, float) { return within(std::tanh(X(x)), 2.5); }, hyperbolic_points,
               SGL_HyperbolicTangent),
      in_place("SGL_HyperbolicSecant", "1 / coshf(x)", "6 = 2 x 2.5 + 1",
               [](float x, float) { return reciprocal_of(std::cosh(X(x)), 2.5); }, reciprocal_hyperbolic_points,
               SGL_HyperbolicSecant),
      in_place("SGL_HyperbolicCosecant", "1 / sinhf(x)", "8 = 2 x 3.5 + 1",
               [](float x, float) { return reciprocal_of(std::sinh(X(x)), 3.5); }, reciprocal_hyperbolic_points,
               SGL_HyperbolicCosecant),
      in_place("SGL_HyperbolicCotangent", "1 / tanhf(x)", "6 = 2 x 2.5 + 1",
               [](float x, float) { return reciprocal_of(std::tanh(X(x)), 2.5); }, reciprocal_hyperbolic_points,
               SGL_HyperbolicCotangent),
      in_place("SGL_InverseHyperbolicSine", "asinhf(x)", "3.5",
               [](float x, float) { return within(std::asinh(X(x)), 3.5); }, inverse_hyperbolic_points,
               SGL_InverseHyperbolicSine),
      in_place("SGL_InverseHyperbolicCosine", "acoshf(x)", "4.5",
               [](float x, float) { return within(std::acosh(X(x)), 4.5); }, inverse_hyperbolic_points,
               SGL_InverseHyperbolicCosine),
      in_place("SGL_InverseHyperbolicTangent", "atanhf(x)", "3.5",
               [](float x, float) { return within(std::atanh(X(x)), 3.5); }, inverse_hyperbolic_points,
               SGL_InverseHyperbolicTangent),
      in_place("SGL_InverseHyperbolicSecant", "acoshf(1 / x)", "4.5 + rounding of 1/x carried through acosh",
               [](float x, float) {
                 const float w = 1.0f / x;
                 return after_rounded_step(std::acosh(X(w)), std::acosh(reciprocal_ld(x)), std::isfinite(w), 4.5);
               },
               inverse_reciprocal_hyperbolic_points, SGL_InverseHyperbolicSecant),
      in_place("SGL_InverseHyperbolicCosecant", "asinhf(1 / x)", "3.5 + rounding of 1/x carried through asinh",
               [](float x, float) {
                 const float w = 1.0f / x;
                 return after_rounded_step(std::asinh(X(w)), std::asinh(reciprocal_ld(x)), std::isfinite(w), 3.5);
               },
               inverse_reciprocal_hyperbolic_points, SGL_InverseHyperbolicCosecant),
      in_place("SGL_InverseHyperbolicCotangent", "atanhf(1 / x)", "3.5 + rounding of 1/x carried through atanh",
               [](float x, float) {
                 const float w = 1.0f / x;
                 return after_rounded_step(std::atanh(X(w)), std::atanh(reciprocal_ld(x)), std::isfinite(w), 3.5);
               },
               inverse_reciprocal_hyperbolic_points, SGL_InverseHyperbolicCotangent),
      two("SGL_PowerOfX", "powf(x, y)", "4.5",
          [](float x, float y) { return within(std::pow(X(x), X(y)), 4.5); }, power_of_x_points, SGL_PowerOfX),
      two("SGL_YTHRootOfX", "powf(x, 1 / y)", "4.5 + rounding of 1/y carried through x^w",
          [](float x, float y) {
            const float w = 1.0f / y;
            return after_rounded_step(std::pow(X(x), X(w)), std::pow(X(x), 1.0L / X(y)), std::isfinite(w), 4.5);
          },
          root_points, SGL_YTHRootOfX),
      // Each logarithm is within 1.5 ulps; in ulps of the quotient, whose significand can be up to twice
      // either operand's, they add up to less than 6 (1.5 x 2 from each, the two maxima exclusive of each
      // other beyond that sum), and the quotient rounds by up to one ulp across a power of two.
      two("SGL_LogBaseX", "logf(y) / logf(x)", "7 = 2 x 1.5 x 2 + 1",
          [](float x, float y) { return within(std::log(X(y)) / std::log(X(x)), 7.0); }, log_base_points,
          SGL_LogBaseX),
      two("SGL_InverseTangent2Input", "atan2f(y, x)", "3.5",
          [](float x, float y) { return within(std::atan2(X(y), X(x)), 3.5); }, angle_points,
          SGL_InverseTangent2Input),
  };
  all.push_back(Case{"SGL_SineAndCosine (sine)", "sinf(x)", "2.5",
                     [](float x, float) { return within(std::sin(X(x)), 2.5); }, circular_points, nullptr, nullptr, 0});
  all.push_back(Case{"SGL_SineAndCosine (cosine)", "cosf(x)", "2.5",
                     [](float x, float) { return within(std::cos(X(x)), 2.5); }, circular_points, nullptr, nullptr, 1});
  return all;
}

// ---- Running an export -----------------------------------------------------------------------------

// A device copy of host floats, released on scope exit.
class DeviceFloats {
 public:
  DeviceFloats(const Floats& host, size_t extra, cudaError_t& status) {
    const size_t bytes = (host.size() + extra) * sizeof(float);
    status = cudaMalloc(reinterpret_cast<void**>(&data_), bytes);
    if (status != cudaSuccess) return;
    std::vector<float> padded(host);
    padded.resize(host.size() + extra, kTailMark);
    status = cudaMemcpy(data_, padded.data(), bytes, cudaMemcpyHostToDevice);
  }
  DeviceFloats(const DeviceFloats&) = delete;
  DeviceFloats& operator=(const DeviceFloats&) = delete;
  ~DeviceFloats() { cudaFree(data_); }
  float* get() const { return data_; }

  static Floats download(const float* device, size_t count, cudaError_t& status) {
    Floats host(count);
    status = cudaMemcpy(host.data(), device, count * sizeof(float), cudaMemcpyDeviceToHost);
    return host;
  }
  static constexpr float kTailMark = -1234.5f;

 private:
  float* data_ = nullptr;
};

constexpr size_t kTail = 7;  // elements past n that an in-place export must not write

// Runs the export once over all points; the results, and whether the elements past n stayed as they were.
Floats run_export(const Case& c, const Points& points, cudaError_t& status, bool& tail_intact) {
  const int n = static_cast<int>(points.size());
  Floats xs, ys;
  for (const Point& p : points) {
    xs.push_back(p.x);
    ys.push_back(p.y);
  }
  DeviceFloats x(xs, kTail, status);
  if (status != cudaSuccess) return {};
  if (c.in_place != nullptr) {
    if ((status = c.in_place(x.get(), n)) != cudaSuccess) return {};
    Floats all = DeviceFloats::download(x.get(), xs.size() + kTail, status);
    for (size_t i = xs.size(); i < all.size(); ++i)
      tail_intact = tail_intact && testing_support::bits(all[i]) == testing_support::bits(DeviceFloats::kTailMark);
    all.resize(xs.size());
    return all;
  }
  float* outputs[2] = {nullptr, nullptr};
  if (c.two_inputs != nullptr) {
    DeviceFloats y(ys, 0, status);
    if (status != cudaSuccess) return {};
    status = c.two_inputs(x.get(), y.get(), n, &outputs[0]);
  } else {
    status = SGL_SineAndCosine(x.get(), n, &outputs[0], &outputs[1]);
  }
  Floats result;
  const int wanted = c.two_inputs != nullptr ? 0 : c.sine_and_cosine_output;
  if (status == cudaSuccess) result = DeviceFloats::download(outputs[wanted], xs.size(), status);
  cudaFree(outputs[0]);
  cudaFree(outputs[1]);
  return result;
}

std::string format_float(float v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g (0x%08x)", static_cast<double>(v), testing_support::bits(v));
  return text;
}

}  // namespace

const std::vector<Case>& cases() {
  static const std::vector<Case> all = make_cases();
  return all;
}

double ulps(float got, long double reference) {
  if (std::isinf(got) && std::isfinite(reference) && std::fabs(reference) >= 0x1p128L &&
      std::signbit(got) == std::signbit(reference)) {
    return 0.0;
  }
  return testing_support::ulp_error(got, reference);
}

Measurement measure(const Case& c) {
  Measurement m;
  const Points points = c.points();
  m.points = points.size();
  const Floats got = run_export(c, points, m.status, m.tail_intact);
  if (m.status != cudaSuccess) return m;
  for (size_t i = 0; i < points.size(); ++i) {
    PointResult r{points[i], got[i], c.expect(points[i].x, points[i].y), 0.0};
    r.error = ulps(r.got, r.expected.reference);
    if (!(r.error <= r.expected.bound)) m.failures.push_back(r);
    // NaN and infinite references are matched exactly; the statistics are about the finite ones.
    if (!r.expected.counted) ++m.outside;
    if (!r.expected.counted || !std::isfinite(r.expected.reference)) continue;
    const double margin = r.expected.bound - r.error;
    if (m.counted == 0 || r.error > m.worst.error) m.worst = r;
    if (m.counted == 0 || margin < m.least_margin) m.tightest = r, m.least_margin = margin;
    ++m.counted;
  }
  return m;
}

std::string describe(const Case& c, const Point& p) {
  std::string text = "x = " + format_float(p.x);
  if (c.in_place == nullptr && c.sine_and_cosine_output < 0) text += ", y = " + format_float(p.y);
  return text;
}

std::string describe(const Case& c, const PointResult& r) {
  char text[200];
  std::snprintf(text, sizeof text, ": got %s, reference %.12Lg, error %.3g ulp, bound %.3g%s",
                format_float(r.got).c_str(), r.expected.reference, r.error, r.expected.bound,
                r.expected.counted ? "" : " (the recipe's own value)");
  return c.name + std::string(" at ") + describe(c, r.at) + text;
}

}  // namespace math_accuracy
