// The per-element functions of the math module, each written once for both variants; the kernels apply
// them through the elementwise bodies of frame/elementwise.h.
//
// A named function is the full-accuracy single-precision function of the math library: CUDA's device
// library in the cuda variant, the host's libm in the host variant. Reciprocals, quotients, sums and
// products are spelled as the correctly rounded intrinsics so that each rounds exactly once, whatever the
// compiler's division and contraction settings.
#pragma once

#include <cuda_runtime.h>
#include <math.h>

#include "frame/elementwise.h"

namespace brelmont {
namespace math {

__device__ __forceinline__ float reciprocal(float v) { return __frcp_rn(v); }

// Circular functions. Reciprocal forms round the base function first, so a zero base gives a signed
// infinity.
__device__ __forceinline__ float sine(float x) { return sinf(x); }
__device__ __forceinline__ float cosine(float x) { return cosf(x); }
__device__ __forceinline__ float tangent(float x) { return tanf(x); }
__device__ __forceinline__ float secant(float x) { return reciprocal(cosf(x)); }
__device__ __forceinline__ float cosecant(float x) { return reciprocal(sinf(x)); }
__device__ __forceinline__ float cotangent(float x) { return reciprocal(tanf(x)); }

// Inverse circular functions. The inverse reciprocal forms take 1/x first: +-0 becomes +-infinity before
// the inverse function sees it, which is why inverse_cotangent(+-0) is +-pi/2.
__device__ __forceinline__ float inverse_sine(float x) { return asinf(x); }
__device__ __forceinline__ float inverse_cosine(float x) { return acosf(x); }
__device__ __forceinline__ float inverse_tangent(float x) { return atanf(x); }
__device__ __forceinline__ float inverse_secant(float x) { return acosf(reciprocal(x)); }
__device__ __forceinline__ float inverse_cosecant(float x) { return asinf(reciprocal(x)); }
__device__ __forceinline__ float inverse_cotangent(float x) { return atanf(reciprocal(x)); }

// sin(x) / x, unscaled, with no special case: +-0 gives 0/0 = NaN.
__device__ __forceinline__ float sinc(float x) { return __fdiv_rn(sinf(x), x); }

// Exponentials.
__device__ __forceinline__ float exponential(float x) { return expf(x); }

// e^x - 1 from the exponential's own value e = expf(x) = p * 2^k, p in [1, 2): one fused multiply-add
// forms p * 2^k - 1 with a single rounding, so x = 0 gives exactly +0. The product is e itself, so the
// result is e - 1 rounded once; keeping p in [1, 2) keeps 2^k a float for every finite nonzero e. Unlike
// expm1f there is no small-argument method: for tiny x the error is absolute, about 2^-24.
__device__ __forceinline__ float exponential_minus_one(float x) {
  const float e = expf(x);
  const int k = (e > 0.0f && isfinite(e)) ? ilogbf(e) : 0;
  return fmaf(scalbnf(e, -k), scalbnf(1.0f, k), -1.0f);
}

// Powers of 10 and 2 in double precision, rounded to float once.
__device__ __forceinline__ float power_of_10(float x) { return __double2float_rn(pow(10.0, static_cast<double>(x))); }
__device__ __forceinline__ float power_of_2(float x) { return __double2float_rn(pow(2.0, static_cast<double>(x))); }

// Logarithms.
__device__ __forceinline__ float ln(float x) { return logf(x); }
// ln of x + 1 rounded to float first: not log1pf, so |x| < 2^-24 gives 0.
__device__ __forceinline__ float ln_plus_one(float x) { return logf(__fadd_rn(x, 1.0f)); }
// ln x times 0x3EDE5BD9, the float nearest 1/ln 10, rounded once.
__device__ __forceinline__ float log_base_10(float x) { return __fmul_rn(logf(x), __uint_as_float(0x3EDE5BD9u)); }
__device__ __forceinline__ float log_base_2(float x) { return log2f(x); }

// Hyperbolic functions. 1/cosh and 1/sinh are +-0 where the base overflows (|x| above about 89.4).
__device__ __forceinline__ float hyperbolic_sine(float x) { return sinhf(x); }
__device__ __forceinline__ float hyperbolic_cosine(float x) { return coshf(x); }
__device__ __forceinline__ float hyperbolic_tangent(float x) { return tanhf(x); }
__device__ __forceinline__ float hyperbolic_secant(float x) { return reciprocal(coshf(x)); }
__device__ __forceinline__ float hyperbolic_cosecant(float x) { return reciprocal(sinhf(x)); }
__device__ __forceinline__ float hyperbolic_cotangent(float x) { return reciprocal(tanhf(x)); }

// Inverse hyperbolic functions; the reciprocal forms take 1/x first, as above.
__device__ __forceinline__ float inverse_hyperbolic_sine(float x) { return asinhf(x); }
__device__ __forceinline__ float inverse_hyperbolic_cosine(float x) { return acoshf(x); }
__device__ __forceinline__ float inverse_hyperbolic_tangent(float x) { return atanhf(x); }
__device__ __forceinline__ float inverse_hyperbolic_secant(float x) { return acoshf(reciprocal(x)); }
__device__ __forceinline__ float inverse_hyperbolic_cosecant(float x) { return asinhf(reciprocal(x)); }
__device__ __forceinline__ float inverse_hyperbolic_cotangent(float x) { return atanhf(reciprocal(x)); }

// Two inputs: x is the base of the power and the logarithm, the radicand, and the abscissa of the angle.
__device__ __forceinline__ float power(float x, float y) { return powf(x, y); }
// x to the power of the rounded 1/y: a negative x gives NaN unless that reciprocal is an integer.
__device__ __forceinline__ float root(float x, float y) { return powf(x, reciprocal(y)); }
__device__ __forceinline__ float log_base(float x, float y) { return __fdiv_rn(logf(y), logf(x)); }
__device__ __forceinline__ float angle(float x, float y) { return atan2f(y, x); }

}  // namespace math
}  // namespace brelmont
