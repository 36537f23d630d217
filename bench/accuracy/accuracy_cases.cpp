// Points, references and bounds of the math exports (see accuracy_cases.h).
//
// References are long double (64-bit significand) evaluations of the exact function, at least 2^-40
// relative even where the function is ill-conditioned, far below a float ulp. Published bounds are those
// of the CUDA math library in ulps of the correctly rounded result; against the exact value half an ulp is
// added, so a single call of a function published at N ulps is held to N + 0.5.
#include "accuracy/accuracy_cases.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <utility>

#include "cuda_brelmont.h"
#include "support/floats.h"

namespace math_accuracy {
namespace {

using Floats = std::vector<float>;
using Points = std::vector<Point>;
using LD = long double;
using testing_support::float_ulp;
using testing_support::from_bits;

constexpr float kInf = INFINITY;
constexpr LD kHalfPi = 1.5707963267948966192313216916397514L;

// Error of a float result against an exact (or extended-precision) reference, in float ulps of the
// reference. Infinity counts as the float after the largest one (2^128), so an overflow just past the
// range costs about one ulp; an infinite or NaN reference must be matched exactly.
double ulp_error(float got, long double exact) {
  if (std::isnan(exact) || std::isnan(got)) return (std::isnan(exact) && std::isnan(got)) ? 0.0 : INFINITY;
  if (std::isinf(exact)) return static_cast<long double>(got) == exact ? 0.0 : INFINITY;
  const long double g = std::isinf(got) ? std::copysign(std::ldexp(1.0L, 128), static_cast<long double>(got)) : got;
  return static_cast<double>(std::fabs(g - exact) / float_ulp(exact));
}

// ---- Bounds ----------------------------------------------------------------------------------------

Expectation within(LD reference, double bound) { return {reference, bound, true}; }

// 1 / v, or v / x with x exact, where v comes from a library function held to E ulps. The relative error
// of v passes through unchanged, but an ulp near the bottom of v's binade is nearly two ulps near the top
// of the result's binade, so E ulps of v become up to 2E ulps of the result. The correctly rounded
// division adds half an ulp, a whole one when it rounds up across a power of two: 2E + 1. A subnormal v
// has coarser ulps than that assumes, so there the ratio is taken at the point (up to 8E for 1/v).
double carried_to_quotient(LD v, LD result, double e) {
  if (v == 0 || std::fabs(v) >= FLT_MIN || !std::isfinite(result)) return 2 * e + 1;
  return static_cast<double>(e * float_ulp(v) / std::fabs(v) * std::fabs(result) / float_ulp(result)) + 1;
}

// Where v is within its error of overflowing (cosh and sinh above about 89.4), 1/v may be 0: the loss of
// the whole subnormal value is allowed there, and the point is not counted.
Expectation reciprocal_of(LD v, double e) {
  const LD r = 1.0L / v;
  if (std::isfinite(v) && std::fabs(v) >= FLT_MAX - e * float_ulp(FLT_MAX)) {
    return {r, static_cast<double>(std::fabs(r) / float_ulp(r)) + 2 * e + 1, false};
  }
  return {r, carried_to_quotient(v, r, e), true};
}

// f(w) where w is the correctly rounded value of an exact intermediate (1/x, x + 1, 1/y) and f a library
// function held to E ulps. The rounding of w is carried through f by f's conditioning at that point,
// which can be large (acos and acosh near 1, atanh near +-1, x^w for large |w ln x|): rather than the
// first-order condition-number estimate, the bound takes the exact propagated error |f(w) - f(exact)|,
// plus E ulps of f(w) rescaled to ulps of the reference. Where w overflows, or f(w) and the exact value
// differ in kind (one NaN or infinite, the other not), the point is held to E ulps of f(w), not counted.
Expectation after_rounded_step(LD f_of_w, LD exact, float w, double e) {
  const bool same_class =
      std::isfinite(exact) ? std::isfinite(f_of_w) : f_of_w == exact || (std::isnan(f_of_w) && std::isnan(exact));
  if (!std::isfinite(w) || !same_class) return {f_of_w, e, false};
  if (!std::isfinite(exact)) return {exact, 0.0, true};
  return within(exact, static_cast<double>((e * float_ulp(f_of_w) + std::fabs(f_of_w - exact)) / float_ulp(exact)));
}

// ---- Points ----------------------------------------------------------------------------------------

// Point lists compose: join({around(1.0f, 64), both_signs(spread(0, 1, 101))}).
Floats join(std::initializer_list<Floats> parts) {
  Floats v;
  for (const Floats& part : parts) v.insert(v.end(), part.begin(), part.end());
  return v;
}

Floats around(float center, int count) {  // center and count neighbouring floats on each side of it
  Floats v{center};
  for (float up = center, down = center; count-- > 0;)
    v.push_back(up = std::nextafter(up, kInf)), v.push_back(down = std::nextafter(down, -kInf));
  return v;
}

Floats spread(double lo, double hi, int count) {  // count points evenly spread over [lo, hi]
  Floats v;
  for (int i = 0; i < count; ++i) v.push_back(static_cast<float>(lo + (hi - lo) * i / (count - 1)));
  return v;
}

Floats both_signs(const Floats& m) {  // m and its negatives
  Floats v;
  for (float f : m) v.push_back(f), v.push_back(-f);
  return v;
}

// +-0, +-smallest and largest subnormal, +-smallest normal, +-1, +-largest finite, +-infinity, NaN.
Floats special_values() {
  return join({{NAN}, both_signs({0.0f, 0x1p-149f, 0x1.fffffcp-127f, FLT_MIN, 1.0f, FLT_MAX, kInf})});
}

// per_binade significands in every binade of the float range (the subnormals' included), both signs:
// evenly spread, each shifted by a different small offset so that the sweep does not only hit round
// significands.
Floats exponent_sweep(uint32_t per_binade) {
  Floats v;
  const uint32_t step = (1u << 23) / per_binade;
  for (uint32_t exponent = 0; exponent < 255; ++exponent)
    for (uint32_t j = 0; j < per_binade; ++j) {
      const uint32_t magnitude = exponent << 23 | (j * step + (exponent * 40503u + j * 7919u) % step);
      if (magnitude != 0) v.push_back(from_bits(magnitude)), v.push_back(from_bits(magnitude | 0x80000000u));
    }
  return v;
}

// 1 and its neighbourhood: the first 256 floats on each side, then 1 +- 2^-k.
Floats near_one() {
  Floats v = around(1.0f, 256);
  for (int k = 1; k <= 24; ++k) v = join({v, around(1 + std::ldexp(1.0f, -k), 2), around(1 - std::ldexp(1.0f, -k), 2)});
  return v;
}

// +-2^-k, k = 1 to 40, and neighbours: near 0, where e^x - 1 and x + 1 lose the small argument.
Floats small_powers_of_two() {
  Floats v;
  for (int k = 1; k <= 40; ++k) v = join({v, both_signs(around(std::ldexp(1.0f, -k), 2))});
  return v;
}

// The float of each binade [2^e, 2^(e+1)), 0 <= e <= 127, nearest a multiple of pi/2, found from the
// continued fraction of theta = frac(u * 2/pi), u the binade's ulp: a float m * u lies near a multiple
// exactly when m * theta is near an integer. Every integer is a * q_k + b * q_(k+1) for consecutive
// convergent denominators; for small |b| the best a is the one nearest -b * d_(k+1) / d_k (d_k = q_k theta
// - p_k) that keeps m a significand. In every binade this finds what a search of all 2^23 significands
// finds (checked once by meeting in the middle, too slow to run here under the sanitizers).
Floats nearest_multiples_of_half_pi() {
  Floats v;
  const LD lowest = 0x1p23L, end = 0x1p24L;
  for (int e = 0; e <= 127; ++e) {
    const LD u = std::ldexp(1.0L, e - 23), phase = std::atan2(std::sin(u), std::cos(u)) / kHalfPi;
    const LD theta = phase - std::floor(phase);
    std::vector<LD> q{1.0L}, d{theta};
    for (LD p0 = 1, q0 = 0, p1 = 0, q1 = 1, rest = theta; rest != 0 && q.back() < end * 4;) {
      const LD a = std::floor(1 / rest), p2 = a * p1 + p0, q2 = a * q1 + q0;
      rest = 1 / rest - a, p0 = p1, q0 = q1, p1 = p2, q1 = q2;
      q.push_back(q2), d.push_back(q2 * theta - p2);
    }
    LD best = 1, best_m = lowest;
    for (size_t k = 0; k + 1 < q.size(); ++k) {
      for (int b = -64; b <= 64; ++b) {
        const LD lo = std::ceil((lowest - b * q[k + 1]) / q[k]), hi = std::floor((end - 1 - b * q[k + 1]) / q[k]);
        const LD a = std::min(hi, std::max(lo, std::round(-b * d[k + 1] / d[k])));
        for (LD m = (a - 1) * q[k] + b * q[k + 1], i = 0; i < 3 && lo <= hi; ++i, m += q[k]) {
          const LD distance = std::fabs(m * theta - std::round(m * theta));
          if (m >= lowest && m < end && distance < best) best = distance, best_m = m;
        }
      }
    }
    v = join({v, both_signs(around(static_cast<float>(best_m * u), 8))});
  }
  for (int k = 1; k <= 64; ++k) v = join({v, both_signs(around(static_cast<float>(k * kHalfPi), 8))});
  return v;
}

// The hard regions of each group of in-place exports, which are all also measured at the special values
// and at 256 points in every binade.
Floats circular() {  // near multiples of pi/2, at every magnitude
  static const Floats hard = nearest_multiples_of_half_pi();
  return join({hard, spread(-10, 10, 6001)});
}

Floats inverse_circular() {  // [-1, 1] densely; |x| >= 1 densest where 1/x is near +-1
  return join({spread(-1, 1, 8001),
               both_signs(join({around(1, 256), around(0.5f, 64), spread(1, 1.01, 6001), spread(1, 8, 6001)}))});
}

// The overflow and underflow thresholds of e^x, 10^x and 2^x (above ln FLT_MAX, log10 FLT_MAX, 128;
// subnormal below -87.3, -37.9, -126; zero below ln 2^-150, log10 2^-150, -150), the integers between,
// and near 0.
Floats exponentials() {
  Floats v = join({spread(-151, 129, 8001), spread(-46, 39, 8001), spread(-1, 1, 6001), spread(-20, 20, 6001),
                   spread(-150, 128, 279), small_powers_of_two()});
  for (float edge : {88.7228394f, -87.3365479f, -103.278931f, -103.972076f, 38.5318394f, -37.9297752f,
                     -44.8534698f, -45.1544991f, 128.0f, -126.0f, -149.0f, -150.0f})
    v = join({v, around(edge, 64)});
  return v;
}

Floats logarithms() {  // near 1; near 0 and just above -1, where x + 1 rounds
  return join({near_one(), spread(0.5, 2, 6001), spread(-1e-3, 1e-3, 6001), spread(-1, 1, 6001), around(-1, 64),
               small_powers_of_two()});
}

// cosh and sinh overflow above ln(2 FLT_MAX) = 89.4159862, e^x above 88.7228394; 1/x overflows below 2^-128.
Floats hyperbolic() {
  return join({spread(-92, 92, 6001), spread(-10, 10, 6001),
               both_signs(join({around(89.4159851f, 64), around(88.7228394f, 16), around(0x1p-128f, 16)}))});
}

Floats inverse_hyperbolic() {  // acosh and atanh near 1, also of 1/x; 1/x overflowing for tiny x
  return both_signs(join({near_one(), spread(0.99, 1.01, 6001), spread(0, 10, 6001), around(0x1p-128f, 16)}));
}

// ---- Two-input points ------------------------------------------------------------------------------

// Every pair of the operands that the special-value rules of pow, atan2 and division are about, then
// for each x of a sweep (16 a binade), the y that more() gives.
Points pairs(const std::function<void(Points&, const Floats& sweep, size_t k)>& more) {
  const Floats v = join({special_values(), both_signs({0.5f, 2.0f, 3.0f, 2.5f, 0.333333343f, 7.0f})});
  const Floats sweep = exponent_sweep(16);
  Points p;
  for (float x : v)
    for (float y : v) p.push_back({x, y});
  for (size_t k = 0; k < sweep.size(); ++k) more(p, sweep, k);
  return p;
}

// Positive x in every binade, each with exponents y that put x^y = 2^t across the whole float range:
// below and at the underflow threshold, in the subnormals, in the middle, at and above overflow.
// Negative bases with integer (odd and even) and other exponents; bases next to 1 with large exponents,
// where x^y depends on every bit of x. The root takes y = 1/w for each exponent w.
Points powers(bool root) {
  Points p = pairs([root](Points& p, const Floats& sweep, size_t k) {
    const float x = sweep[k];
    const auto add = [&](float w) { p.push_back({x, root ? 1.0f / w : w}); };
    if (x > 0.0f && x != 1.0f) {
      for (double t : {-152.0, -149.5, -149.0, -140.0, -126.0, -40.0, -3.3, 0.7, 9.0, 100.0, 127.99, 128.0, 128.01}) {
        const float w = static_cast<float>(t / std::log2(static_cast<double>(x)));
        add(w), add(std::nextafter(w, kInf));
      }
    } else if (x < 0.0f && std::fabs(x) <= 1e6f && std::fabs(x) >= 1e-6f) {
      for (float w : {2.0f, 3.0f, -3.0f, 7.0f, -8.0f, 21.0f, 0.5f, 2.5f}) add(w);
    }
  });
  for (float x : around(1, 32))
    for (float w : both_signs({0x1p10f, 0x1p14f, 0x1p18f, 0x1p22f, 0x1p26f, 0x1p30f}))
      p.push_back({x, root ? 1.0f / w : w});
  return p;
}

// For quotients of logarithms and for angles: ratios from tiny to huge, each side of the diagonal
// |y| = |x|, and either operand next to 1 (a base near 1 has a logarithm near 0).
Points quotients() {
  Points p = pairs([](Points& p, const Floats& sweep, size_t k) {
    const float x = sweep[k];
    for (size_t j = 0; j < 6; ++j) p.push_back({x, sweep[(k * 257 + j * 1543) % sweep.size()]});
    if (!std::isfinite(x)) return;
    for (int shift : {-30, -12, -1, 1, 12, 30}) p.push_back({x, std::ldexp(x, shift)});
    p.push_back({x, std::nextafter(x, kInf)}), p.push_back({x, -std::nextafter(x, -kInf)});
  });
  for (float a : around(1, 64))
    for (float b : {0.5f, 2.0f, 10.0f, 1e-30f, 3e38f, 0.999f, 1.001f}) p.push_back({a, b}), p.push_back({b, a});
  return p;
}

// ---- The cases -------------------------------------------------------------------------------------

using InPlace = cudaError_t (*)(float*, int);
using Exact = LD (*)(LD);

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// An in-place export, measured at the special values (and two more NaNs: negative, signalling), the
// exponent sweep and its hard points.
Case one(const char* name, std::string recipe, std::string bound, std::function<Expectation(float)> expect,
         Floats (*hard)(), InPlace run) {
  const auto points = [hard] {
    Points p;
    const Floats nans = {from_bits(0xffc12345u), from_bits(0x7f800001u)};
    for (float x : join({special_values(), nans, exponent_sweep(256), hard()})) p.push_back({x, 0.0f});
    return p;
  };
  return Case{name, recipe, bound, [expect](float x, float) { return expect(x); }, points, run, nullptr, -1};
}

// f(x), one library call held to its published bound E.
Case call(const char* name, const char* f, Exact exact, double e, Floats (*hard)(), InPlace run) {
  return one(name, std::string(f) + "(x)", number(e), [=](float x) { return within(exact(x), e); }, hard, run);
}

// 1 / f(x): the E ulps of f carried through the correctly rounded reciprocal, 2E + 1.
Case reciprocal(const char* name, const char* f, Exact exact, double e, Floats (*hard)(), InPlace run) {
  return one(name, "1 / " + std::string(f) + "(x)", number(2 * e + 1) + " = 2 x " + number(e) + " + 1",
             [=](float x) { return reciprocal_of(exact(x), e); }, hard, run);
}

// f(1 / x): E plus the rounding of 1/x carried through f, per point.
Case of_reciprocal(const char* name, const char* f, Exact exact, double e, Floats (*hard)(), InPlace run) {
  return one(name, std::string(f) + "(1 / x)", number(e) + " + rounding of 1/x, per point",
             [=](float x) { return after_rounded_step(exact(1.0f / x), exact(1.0L / x), 1.0f / x, e); }, hard, run);
}

Case sine_and_cosine(int output) {
  Case c = output == 0 ? call("SGL_SineAndCosine (sine)", "sinf", sinl, 2.5, circular, nullptr)
                       : call("SGL_SineAndCosine (cosine)", "cosf", cosl, 2.5, circular, nullptr);
  c.sine_and_cosine_output = output;
  return c;
}

std::vector<Case> make_cases() {
  return {
      call("SGL_Sine", "sinf", sinl, 2.5, circular, SGL_Sine),
      call("SGL_Cosine", "cosf", cosl, 2.5, circular, SGL_Cosine),
      call("SGL_Tangent", "tanf", tanl, 4.5, circular, SGL_Tangent),
      reciprocal("SGL_Secant", "cosf", cosl, 2.5, circular, SGL_Secant),
      reciprocal("SGL_Cosecant", "sinf", sinl, 2.5, circular, SGL_Cosecant),
      reciprocal("SGL_Cotangent", "tanf", tanl, 4.5, circular, SGL_Cotangent),
      call("SGL_InverseSine", "asinf", asinl, 2.5, inverse_circular, SGL_InverseSine),
      call("SGL_InverseCosine", "acosf", acosl, 2.5, inverse_circular, SGL_InverseCosine),
      call("SGL_InverseTangent", "atanf", atanl, 2.5, inverse_circular, SGL_InverseTangent),
      of_reciprocal("SGL_InverseSecant", "acosf", acosl, 2.5, inverse_circular, SGL_InverseSecant),
      of_reciprocal("SGL_InverseCosecant", "asinf", asinl, 2.5, inverse_circular, SGL_InverseCosecant),
      of_reciprocal("SGL_InverseCotangent", "atanf", atanl, 2.5, inverse_circular, SGL_InverseCotangent),
      // sin x within 2.5 ulps divided by an exact x, as for a reciprocal.
      one("SGL_Sinc", "sinf(x) / x", "6 = 2 x 2.5 + 1",
          [](float x) { return within(sinl(x) / x, carried_to_quotient(sinl(x), sinl(x) / x, 2.5)); }, circular,
          SGL_Sinc),
      call("SGL_Exponential", "expf", expl, 2.5, exponentials, SGL_Exponential),
      // e = expf(x) is within 2.5 ulps of e^x; e - 1 rounds once, by half an ulp of a value at most
      // |e^x - 1| + 2.5 ulp(e^x). The error is absolute, so near 0 it is many ulps of the small result.
      one("SGL_ExponentialArgMinusOne", "fmaf(p, 2^k, -1), expf(x) = p 2^k",
          "2.5 ulp(e^x) + 0.5 ulp(e^x - 1), per point",
          [](float x) {
            const LD exact = expm1l(x), slack = 2.5L * float_ulp(expl(x));
            if (!std::isfinite(exact)) return within(exact, 0.0);
            const LD error = slack + 0.5L * float_ulp(fabsl(exact) + slack);
            return within(exact, static_cast<double>(error / float_ulp(exact)));
          },
          exponentials, SGL_ExponentialArgMinusOne),
      // pow in double is within 2 double ulps (2^-28 float ulps); rounding once to float adds half an ulp.
      one("SGL_PowerOf10", "(float)pow(10.0, (double)x)", "0.5 (+ 2^-20)",
          [](float x) { return within(powl(10, x), 0.5 + 0x1p-20); }, exponentials, SGL_PowerOf10),
      one("SGL_PowerOf2", "(float)pow(2.0, (double)x)", "0.5 (+ 2^-20)",
          [](float x) { return within(exp2l(x), 0.5 + 0x1p-20); }, exponentials, SGL_PowerOf2),
      call("SGL_LN", "logf", logl, 1.5, logarithms, SGL_LN),
      one("SGL_LNArgPlusOne", "logf(x + 1)", "1.5 + rounding of x + 1, per point",
          [](float x) { return after_rounded_step(logl(x + 1.0f), log1pl(x), x + 1.0f, 1.5); }, logarithms,
          SGL_LNArgPlusOne),
      // logf is within 1.5 ulps of ln x; times c = 0.4343 an ulp of ln x is 0.87 or 1.74 ulps of
      // log10 x (2.61 in all); c is 2.33e-8 relatively off 1/ln 10 (0.39 ulp); the product rounds by up
      // to one ulp when it rounds across a power of two. 2.61 + 0.39 + 1 = 4.
      one("SGL_LogBase10", "logf(x) * 0x3EDE5BD9", "4 = 1.5 x 1.74 + 0.39 + 1",
          [](float x) { return within(log10l(x), 4.0); }, logarithms, SGL_LogBase10),
      call("SGL_LogBase2", "log2f", log2l, 1.5, logarithms, SGL_LogBase2),
      call("SGL_HyperbolicSine", "sinhf", sinhl, 3.5, hyperbolic, SGL_HyperbolicSine),
      call("SGL_HyperbolicCosine", "coshf", coshl, 2.5, hyperbolic, SGL_HyperbolicCosine),
      call("SGL_HyperbolicTangent", "tanhf", tanhl, 2.5, hyperbolic, SGL_HyperbolicTangent),
      reciprocal("SGL_HyperbolicSecant", "coshf", coshl, 2.5, hyperbolic, SGL_HyperbolicSecant),
      reciprocal("SGL_HyperbolicCosecant", "sinhf", sinhl, 3.5, hyperbolic, SGL_HyperbolicCosecant),
      reciprocal("SGL_HyperbolicCotangent", "tanhf", tanhl, 2.5, hyperbolic, SGL_HyperbolicCotangent),
      call("SGL_InverseHyperbolicSine", "asinhf", asinhl, 3.5, inverse_hyperbolic, SGL_InverseHyperbolicSine),
      call("SGL_InverseHyperbolicCosine", "acoshf", acoshl, 4.5, inverse_hyperbolic, SGL_InverseHyperbolicCosine),
      call("SGL_InverseHyperbolicTangent", "atanhf", atanhl, 3.5, inverse_hyperbolic, SGL_InverseHyperbolicTangent),
      of_reciprocal("SGL_InverseHyperbolicSecant", "acoshf", acoshl, 4.5, inverse_hyperbolic,
                    SGL_InverseHyperbolicSecant),
      of_reciprocal("SGL_InverseHyperbolicCosecant", "asinhf", asinhl, 3.5, inverse_hyperbolic,
                    SGL_InverseHyperbolicCosecant),
      of_reciprocal("SGL_InverseHyperbolicCotangent", "atanhf", atanhl, 3.5, inverse_hyperbolic,
                    SGL_InverseHyperbolicCotangent),
      Case{"SGL_PowerOfX", "powf(x, y)", "4.5", [](float x, float y) { return within(powl(x, y), 4.5); },
           [] { return powers(false); }, nullptr, SGL_PowerOfX, -1},
      Case{"SGL_YTHRootOfX", "powf(x, 1 / y)", "4.5 + rounding of 1/y, per point",
           [](float x, float y) { return after_rounded_step(powl(x, 1.0f / y), powl(x, 1.0L / y), 1.0f / y, 4.5); },
           [] { return powers(true); }, nullptr, SGL_YTHRootOfX, -1},
      // Each logarithm is within 1.5 ulps; in ulps of the quotient, whose significand can be up to twice
      // either operand's, they add up to less than 6 (1.5 x 2 from each, the two maxima exclusive of each
      // other beyond that sum), and the quotient rounds by up to one ulp across a power of two.
      Case{"SGL_LogBaseX", "logf(y) / logf(x)", "7 = 2 x 1.5 x 2 + 1",
           [](float x, float y) { return within(logl(y) / logl(x), 7.0); }, quotients, nullptr, SGL_LogBaseX, -1},
      Case{"SGL_InverseTangent2Input", "atan2f(y, x)", "3.5",
           [](float x, float y) { return within(atan2l(y, x), 3.5); }, quotients, nullptr,
           SGL_InverseTangent2Input, -1},
      sine_and_cosine(0),
      sine_and_cosine(1),
  };
}

// ---- Running an export -----------------------------------------------------------------------------

struct DeviceFree {
  void operator()(float* p) const { cudaFree(p); }
};
using DeviceFloats = std::unique_ptr<float, DeviceFree>;

DeviceFloats upload(const Floats& host, cudaError_t& status) {
  float* device = nullptr;
  const size_t bytes = host.size() * sizeof(float);
  if (status == cudaSuccess) status = cudaMalloc(reinterpret_cast<void**>(&device), bytes);
  if (status == cudaSuccess) status = cudaMemcpy(device, host.data(), bytes, cudaMemcpyHostToDevice);
  return DeviceFloats(device);
}

// Runs the export once over all points; the results, and whether the 7 elements past n stayed as they were.
Floats run_export(const Case& c, const Points& points, cudaError_t& status, bool& tail_intact) {
  const size_t n = points.size();
  Floats xs(n + 7, -1234.5f), ys(n), got(n + 7);
  for (size_t i = 0; i < n; ++i) xs[i] = points[i].x, ys[i] = points[i].y;
  const DeviceFloats x = upload(xs, status), y = upload(ys, status);
  float* out[2] = {nullptr, nullptr};
  if (status == cudaSuccess) status = run(c, x.get(), y.get(), static_cast<int>(n), out);
  const DeviceFloats first(out[0]), second(out[1]);
  const float* result = c.in_place != nullptr ? x.get() : out[c.sine_and_cosine_output == 1 ? 1 : 0];
  const size_t count = c.in_place != nullptr ? n + 7 : n;
  if (status == cudaSuccess) status = cudaMemcpy(got.data(), result, count * sizeof(float), cudaMemcpyDeviceToHost);
  tail_intact = c.in_place == nullptr || std::equal(got.begin() + n, got.end(), xs.begin() + n);
  got.resize(n);
  return got;
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

const Case* find(const std::string& name) {
  const auto c = std::find_if(cases().begin(), cases().end(), [&](const Case& c) { return c.name == name; });
  return c == cases().end() ? nullptr : &*c;
}

cudaError_t run(const Case& c, float* x, float* y, int n, float* out[2]) {
  if (c.in_place != nullptr) return c.in_place(x, n);
  if (c.two_inputs != nullptr) return c.two_inputs(x, y, n, &out[0]);
  return SGL_SineAndCosine(x, n, &out[0], &out[1]);
}

double ulps(float got, long double reference) {
  const bool overflowed = std::isfinite(reference) && std::fabs(reference) >= 0x1p128L;
  return overflowed && got == std::copysign(kInf, reference) ? 0.0 : ulp_error(got, reference);
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
    if (m.counted == 0 || r.error > m.worst.error) m.worst = r;
    if (m.counted++ == 0 || r.expected.bound - r.error < m.least_margin) m.least_margin = r.expected.bound - r.error;
  }
  return m;
}

std::string describe(const Case& c, const Point& p) {
  return "x = " + format_float(p.x) + (c.two_inputs != nullptr ? ", y = " + format_float(p.y) : "");
}

std::string describe(const Case& c, const PointResult& r) {
  char text[200];
  std::snprintf(text, sizeof text, ": got %s, reference %.12Lg, error %.3g ulp, bound %.3g%s",
                format_float(r.got).c_str(), r.expected.reference, r.error, r.expected.bound,
                r.expected.counted ? "" : " (the recipe's own value)");
  return c.name + " at " + describe(c, r.at) + text;
}

}  // namespace math_accuracy
