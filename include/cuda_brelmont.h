/* cuda_brelmont: GPU array primitives behind a flat C interface.
 *
 * Conventions every export shares:
 *  - Arrays are raw device pointers (float* or float2*) to memory on the calling thread's current device;
 *    counts and dimension sizes are 32-bit signed ints; N-D arrays are row-major, outermost dimension first.
 *  - All work goes to the default stream. Exports that return a synchronised status wait for the device.
 *  - An array that an export allocates belongs to the caller, who releases it with cudaFree.
 *  - Status exports return cudaErrorInvalidValue, and do no device work, when their arguments would make
 *    them read or write outside the arrays those arguments describe; a failed allocation is returned as
 *    its own status with nothing left allocated. Nothing is ever reported as success that failed.
 */
#ifndef CUDA_BRELMONT_H
#define CUDA_BRELMONT_H

#include <cuda_runtime_api.h>

#if defined(_WIN32)
#  if defined(CUDA_BRELMONT_BUILDING)
#    define CUDA_BRELMONT_API __declspec(dllexport)
#  else
#    define CUDA_BRELMONT_API __declspec(dllimport)
#  endif
#else
#  define CUDA_BRELMONT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Array creation and element update ---------------------------------------------------------- */

/* New device array of n floats, each equal to value; the caller owns it (cudaFree).
 * Null when n <= 0 or when allocating or filling fails. */
CUDA_BRELMONT_API float* SGL_InitArray(int n, float value);

/* New device array of n float2, each equal to *value (host address, read once); the caller owns it.
 * Null when n <= 0, value is null, or allocating or filling fails. */
CUDA_BRELMONT_API float2* CSG_InitArray(int n, float2* value);

/* data[0..n-1] = value. Synchronised status; n <= 0 writes nothing and succeeds. */
CUDA_BRELMONT_API cudaError_t SGL_SetTensor(float* data, float value, int n);

/* data[0..n-1] = *value (host address). Synchronised status; n <= 0 writes nothing and succeeds;
 * a null value with n > 0 is cudaErrorInvalidValue. */
CUDA_BRELMONT_API cudaError_t CSG_SetTensor(float2* data, float2* value, int n);

/* data[index] += 1.0f when 0 <= index < n. Launch status: returns without waiting for the device.
 * index >= n changes nothing and succeeds; a negative index is cudaErrorInvalidValue. */
CUDA_BRELMONT_API cudaError_t SGL_IncrementElement(float* data, int index, int n);

/* data[index] += -1.0f when 0 <= index < n; otherwise as SGL_IncrementElement. */
CUDA_BRELMONT_API cudaError_t SGL_DecrementElement(float* data, int index, int n);

/* ---- Elementwise math --------------------------------------------------------------------------- */

/* In place: data[i] = f(data[i]) for 0 <= i < n, in single precision with the full-accuracy math library
 * (no fast approximations, subnormals kept). Domain errors give NaN, poles a signed infinity; a NaN stays
 * NaN. Synchronised status; n <= 0 writes nothing and succeeds. */

/* Circular functions and their reciprocals. */
/* sin x. */
CUDA_BRELMONT_API cudaError_t SGL_Sine(float* data, int n);
/* cos x. */
CUDA_BRELMONT_API cudaError_t SGL_Cosine(float* data, int n);
/* tan x. */
CUDA_BRELMONT_API cudaError_t SGL_Tangent(float* data, int n);
/* 1 / cos x (+-infinity where cos x rounds to 0). */
CUDA_BRELMONT_API cudaError_t SGL_Secant(float* data, int n);
/* 1 / sin x; +-0 gives +-infinity. */
CUDA_BRELMONT_API cudaError_t SGL_Cosecant(float* data, int n);
/* 1 / tan x; +-0 gives +-infinity. */
CUDA_BRELMONT_API cudaError_t SGL_Cotangent(float* data, int n);

/* Inverse circular functions. */
/* asin x; NaN for |x| > 1. */
CUDA_BRELMONT_API cudaError_t SGL_InverseSine(float* data, int n);
/* acos x; NaN for |x| > 1. */
CUDA_BRELMONT_API cudaError_t SGL_InverseCosine(float* data, int n);
/* atan x. */
CUDA_BRELMONT_API cudaError_t SGL_InverseTangent(float* data, int n);
/* acos(1 / x), the reciprocal rounded first; NaN for |x| < 1. */
CUDA_BRELMONT_API cudaError_t SGL_InverseSecant(float* data, int n);
/* asin(1 / x), the reciprocal rounded first; NaN for |x| < 1. */
CUDA_BRELMONT_API cudaError_t SGL_InverseCosecant(float* data, int n);
/* atan(1 / x), the reciprocal rounded first: +-0 gives +-pi/2. */
CUDA_BRELMONT_API cudaError_t SGL_InverseCotangent(float* data, int n);

/* Sinc. */
/* sin(x) / x, unscaled; +-0 gives NaN. */
CUDA_BRELMONT_API cudaError_t SGL_Sinc(float* data, int n);

/* Exponentials. */
/* e^x. */
CUDA_BRELMONT_API cudaError_t SGL_Exponential(float* data, int n);
/* expf(x) - 1 rounded once (not expm1: absolute error about 2^-24 near 0); 0 gives 0. */
CUDA_BRELMONT_API cudaError_t SGL_ExponentialArgMinusOne(float* data, int n);
/* 10^x computed in double precision, rounded to float once. */
CUDA_BRELMONT_API cudaError_t SGL_PowerOf10(float* data, int n);
/* 2^x computed in double precision, rounded to float once. */
CUDA_BRELMONT_API cudaError_t SGL_PowerOf2(float* data, int n);

/* Logarithms. */
/* ln x; +-0 gives -infinity, x < 0 gives NaN. */
CUDA_BRELMONT_API cudaError_t SGL_LN(float* data, int n);
/* ln of (x + 1 rounded to float) (not log1p: |x| < 2^-24 gives 0); -1 gives -infinity. */
CUDA_BRELMONT_API cudaError_t SGL_LNArgPlusOne(float* data, int n);
/* ln x times the float nearest 1/ln 10, rounded once. */
CUDA_BRELMONT_API cudaError_t SGL_LogBase10(float* data, int n);
/* log2 x. */
CUDA_BRELMONT_API cudaError_t SGL_LogBase2(float* data, int n);

/* Hyperbolic functions and their reciprocals. */
/* sinh x. */
CUDA_BRELMONT_API cudaError_t SGL_HyperbolicSine(float* data, int n);
/* cosh x. */
CUDA_BRELMONT_API cudaError_t SGL_HyperbolicCosine(float* data, int n);
/* tanh x. */
CUDA_BRELMONT_API cudaError_t SGL_HyperbolicTangent(float* data, int n);
/* 1 / cosh x; +0 where cosh x overflows (|x| above about 89.4). */
CUDA_BRELMONT_API cudaError_t SGL_HyperbolicSecant(float* data, int n);
/* 1 / sinh x; +-0 gives +-infinity. */
CUDA_BRELMONT_API cudaError_t SGL_HyperbolicCosecant(float* data, int n);
/* 1 / tanh x; +-0 gives +-infinity. */
CUDA_BRELMONT_API cudaError_t SGL_HyperbolicCotangent(float* data, int n);

/* Inverse hyperbolic functions. */
/* asinh x. */
CUDA_BRELMONT_API cudaError_t SGL_InverseHyperbolicSine(float* data, int n);
/* acosh x; NaN for x < 1. */
CUDA_BRELMONT_API cudaError_t SGL_InverseHyperbolicCosine(float* data, int n);
/* atanh x; +-1 gives +-infinity, NaN for |x| > 1. */
CUDA_BRELMONT_API cudaError_t SGL_InverseHyperbolicTangent(float* data, int n);
/* acosh(1 / x), the reciprocal rounded first; NaN outside (0, 1]. */
CUDA_BRELMONT_API cudaError_t SGL_InverseHyperbolicSecant(float* data, int n);
/* asinh(1 / x), the reciprocal rounded first. */
CUDA_BRELMONT_API cudaError_t SGL_InverseHyperbolicCosecant(float* data, int n);
/* atanh(1 / x), the reciprocal rounded first; NaN for |x| < 1. */
CUDA_BRELMONT_API cudaError_t SGL_InverseHyperbolicCotangent(float* data, int n);

/* New arrays: *out (and *sinOut, *cosOut) receive new device arrays of n floats, which the caller owns
 * (cudaFree); the inputs are only read. Synchronised status. n == 0 succeeds with null outputs. n < 0 is
 * cudaErrorInvalidValue with null outputs; a null output address is cudaErrorInvalidValue and nothing is
 * written. A failed allocation, launch or synchronisation is returned with the outputs null and nothing
 * left allocated. */

/* out[i] = powf(x[i], y[i]), with the C99 special values (x^+-0 = 1 and 1^y = 1, even for NaN). */
CUDA_BRELMONT_API cudaError_t SGL_PowerOfX(float* x, float* y, int n, float** out);

/* out[i] = powf(x[i], 1 / y[i]), the reciprocal rounded first: a negative x gives NaN unless 1/y is an integer. */
CUDA_BRELMONT_API cudaError_t SGL_YTHRootOfX(float* x, float* y, int n, float** out);

/* out[i] = ln y[i] / ln x[i], the logarithm of y to the base x. */
CUDA_BRELMONT_API cudaError_t SGL_LogBaseX(float* x, float* y, int n, float** out);

/* out[i] = atan2f(y[i], x[i]), the angle of the point (x[i], y[i]) in [-pi, pi]. */
CUDA_BRELMONT_API cudaError_t SGL_InverseTangent2Input(float* x, float* y, int n, float** out);

/* sinOut[i], cosOut[i] = sin x[i], cos x[i]: bit for bit what SGL_Sine and SGL_Cosine store. */
CUDA_BRELMONT_API cudaError_t SGL_SineAndCosine(float* x, int n, float** sinOut, float** cosOut);

#ifdef __cplusplus
}
#endif

#endif
