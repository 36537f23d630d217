/* hostcuda: the device intrinsics that kernels call, with the device's rounding. Host code is compiled
 * without contraction, so each operation below rounds exactly once, as its device counterpart does. */
#ifndef HOSTCUDA_DEVICE_FUNCTIONS_H
#define HOSTCUDA_DEVICE_FUNCTIONS_H

#include <float.h>
#include <math.h>
#include <string.h>

inline float __fadd_rn(float a, float b) { return a + b; }
inline float __fsub_rn(float a, float b) { return a - b; }
inline float __fmul_rn(float a, float b) { return a * b; }
inline float __fdiv_rn(float a, float b) { return a / b; }
inline float __frcp_rn(float a) { return 1.0f / a; }
inline float __fsqrt_rn(float a) { return sqrtf(a); }
inline float __fmaf_rn(float a, float b, float c) { return fmaf(a, b, c); }
inline double __dadd_rn(double a, double b) { return a + b; }
inline double __dmul_rn(double a, double b) { return a * b; }
inline double __fma_rn(double a, double b, double c) { return fma(a, b, c); }
inline float __double2float_rn(double a) { return static_cast<float>(a); }

/* a + b rounded toward zero. The round-to-nearest sum s and its exact error e (Knuth's two-sum) give the
 * exact a + b = s + e; s was rounded away from zero exactly when e points back toward zero. */
inline float __fadd_rz(float a, float b) {
  const float s = a + b;
  if (isinf(s)) return (isfinite(a) && isfinite(b)) ? copysignf(FLT_MAX, s) : s;
  if (isnan(s) || s == 0.0f) return s;
  const float bv = s - a;
  const float e = (a - (s - bv)) + (b - bv);
  const bool rounded_away = (s > 0.0f) ? (e < 0.0f) : (e > 0.0f);
  return rounded_away ? nextafterf(s, 0.0f) : s;
}

inline int __float_as_int(float f) { int i; memcpy(&i, &f, sizeof i); return i; }
inline unsigned int __float_as_uint(float f) { unsigned int u; memcpy(&u, &f, sizeof u); return u; }
inline float __int_as_float(int i) { float f; memcpy(&f, &i, sizeof f); return f; }
inline float __uint_as_float(unsigned int u) { float f; memcpy(&f, &u, sizeof f); return f; }
inline long long __double_as_longlong(double d) { long long l; memcpy(&l, &d, sizeof l); return l; }
inline double __longlong_as_double(long long l) { double d; memcpy(&d, &l, sizeof d); return d; }

#endif
