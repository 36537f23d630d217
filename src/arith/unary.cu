// Unary arithmetic and rounding in place, scaling by a power of two, and the floored quotient and remainder.
//
// Every result is bit-exact: each kernel states its operations in the order and rounding it needs, and the
// build forbids contraction and flushing, so the cuda and host variants agree to the bit.
#include "cuda_brelmont.h"
#include "frame/elementwise.h"
#include "frame/kernel_index.h"
#include "frame/launch.h"
#include "frame/new_arrays.h"

using brelmont::in_place;

namespace {

// Nearest integer, an exact half going toward zero (2.5 -> 2, -2.5 -> -2). Off the halves, x + 0.5 (with
// x's sign) rounded toward zero and then truncated: rounding that sum to nearest would lift 0.49999997 to 1.
// x - trunc(x) is exact, so the half test is exact. From 2^23 up every float is an integer and the sum
// rounds back to x; infinities and NaN pass through both branches unchanged.
__device__ __forceinline__ float round_half_toward_zero(float x) {
  const float t = truncf(x);  // keeps x's sign: -0.5 gives -0
  if (fabsf(x - t) == 0.5f) return t;
  return truncf(__fadd_rz(x, copysignf(0.5f, x)));
}

// 2^k as a double, built from its bits: exact for -1074 <= k <= 1023, +infinity above (the power overflows)
// and +0 below (2^-1075 and smaller round to zero), as a correctly rounded pow(2.0, k) would give.
__device__ __forceinline__ double power_of_two(int k) {
  if (k > 1023) return __longlong_as_double(0x7ff0000000000000LL);
  if (k >= -1022) return __longlong_as_double(static_cast<long long>(k + 1023) << 52);
  if (k >= -1074) return __longlong_as_double(1LL << (k + 1074));
  return 0.0;
}

// Zero of either sign gives +0; NaN fails both comparisons and gives +1.
__device__ __forceinline__ float sign(float x) { return x == 0.0f ? 0.0f : (x < 0.0f ? -1.0f : 1.0f); }

__device__ __forceinline__ float increment(float x) { return x + 1.0f; }
__device__ __forceinline__ float decrement(float x) { return x - 1.0f; }
__device__ __forceinline__ float square(float x) { return x * x; }
__device__ __forceinline__ float negate(float x) { return -x; }
__device__ __forceinline__ float reciprocal(float x) { return __frcp_rn(x); }
__device__ __forceinline__ float square_root(float x) { return __fsqrt_rn(x); }
__device__ __forceinline__ float absolute(float x) { return fabsf(x); }
__device__ __forceinline__ float floor_of(float x) { return floorf(x); }
__device__ __forceinline__ float ceiling_of(float x) { return ceilf(x); }

}  // namespace

__global__ void sgl_increment(float* data, int n) { in_place<increment>(data, n); }
__global__ void sgl_decrement(float* data, int n) { in_place<decrement>(data, n); }
__global__ void sgl_square(float* data, int n) { in_place<square>(data, n); }
__global__ void sgl_negate(float* data, int n) { in_place<negate>(data, n); }
__global__ void sgl_reciprocal(float* data, int n) { in_place<reciprocal>(data, n); }
__global__ void sgl_square_root(float* data, int n) { in_place<square_root>(data, n); }
__global__ void sgl_absolute(float* data, int n) { in_place<absolute>(data, n); }
__global__ void sgl_round_to_nearest(float* data, int n) { in_place<round_half_toward_zero>(data, n); }
__global__ void sgl_round_toward_less_infinity(float* data, int n) { in_place<floor_of>(data, n); }
__global__ void sgl_round_toward_more_infinity(float* data, int n) { in_place<ceiling_of>(data, n); }
__global__ void sgl_sign(float* data, int n) { in_place<sign>(data, n); }

// x * 2^k formed in double and rounded once to float. For -1074 <= k <= 1023 the double product is exact
// wherever the float result is not zero, so the result is x * 2^k correctly rounded. Beyond that range the
// factor is infinite or zero and 0 * inf gives NaN, at either end.
__global__ void sgl_scale_by_power_of_2(float* data, int k, int n) {
  const int i = brelmont::standard_index();
  if (i < n) data[i] = static_cast<float>(static_cast<double>(data[i]) * power_of_two(k));
}

// q = floor(x / y) after a correctly rounded division; r = x - y * q with one rounding (a separately rounded
// product loses r: 1e10 and 3 give q = 3333333248 and r = 256, not 0).
__global__ void sgl_quotient_and_remainder(float* x, float* y, float* remainder, float* quotient, int n) {
  const int i = brelmont::standard_index();
  if (i < n) {
    const float a = x[i];
    const float b = y[i];
    const float q = floorf(__fdiv_rn(a, b));
    remainder[i] = fmaf(-b, q, a);
    quotient[i] = q;
  }
}

extern "C" cudaError_t SGL_Increment(float* data, int n) { return brelmont::run_in_place(sgl_increment, data, n); }

extern "C" cudaError_t SGL_Decrement(float* data, int n) { return brelmont::run_in_place(sgl_decrement, data, n); }

extern "C" cudaError_t SGL_Square(float* data, int n) { return brelmont::run_in_place(sgl_square, data, n); }

extern "C" cudaError_t SGL_Negate(float* data, int n) { return brelmont::run_in_place(sgl_negate, data, n); }

extern "C" cudaError_t SGL_Reciprocal(float* data, int n) { return brelmont::run_in_place(sgl_reciprocal, data, n); }

extern "C" cudaError_t SGL_SquareRoot(float* data, int n) { return brelmont::run_in_place(sgl_square_root, data, n); }

extern "C" cudaError_t SGL_Absolute(float* data, int n) { return brelmont::run_in_place(sgl_absolute, data, n); }

extern "C" cudaError_t SGL_RoundToNearest(float* data, int n) {
  return brelmont::run_in_place(sgl_round_to_nearest, data, n);
}

extern "C" cudaError_t SGL_RoundTowardLessInfinity(float* data, int n) {
  return brelmont::run_in_place(sgl_round_toward_less_infinity, data, n);
}

extern "C" cudaError_t SGL_RoundTowardMoreInfinity(float* data, int n) {
  return brelmont::run_in_place(sgl_round_toward_more_infinity, data, n);
}

extern "C" cudaError_t SGL_Sign(float* data, int n) { return brelmont::run_in_place(sgl_sign, data, n); }

extern "C" cudaError_t SGL_ScaleByPowerOfTwo(float* data, int k, int n) {
  return brelmont::run_standard(sgl_scale_by_power_of_2, n, data, k, n);
}

// The pairs are the first min(nx, ny) elements of x and y.
extern "C" cudaError_t SGL_QuotientAndRemainder(float* x, float* y, int nx, int ny, float** remainder,
                                                float** quotient) {
  const int m = nx < ny ? nx : ny;
  return brelmont::produce_new_arrays(m, {remainder, quotient}, {{x, m}, {y, m}}, [&](float* r, float* q) {
    return brelmont::run_standard(sgl_quotient_and_remainder, m, x, y, r, q, m);
  });
}
