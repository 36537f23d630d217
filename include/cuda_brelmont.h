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

/* ---- Unary arithmetic and rounding -------------------------------------------------------------- */
/* Each replaces data[0..n-1] in place, bit-exact in single precision (no contraction, no flush to zero),
 * and returns the synchronised status; n <= 0 changes nothing and succeeds. */

/* x + 1.0f. */
CUDA_BRELMONT_API cudaError_t SGL_Increment(float* data, int n);

/* x - 1.0f. */
CUDA_BRELMONT_API cudaError_t SGL_Decrement(float* data, int n);

/* x * x. */
CUDA_BRELMONT_API cudaError_t SGL_Square(float* data, int n);

/* -x: the sign flipped, so +0 becomes -0. */
CUDA_BRELMONT_API cudaError_t SGL_Negate(float* data, int n);

/* 1 / x, correctly rounded; +-0 gives +-infinity. */
CUDA_BRELMONT_API cudaError_t SGL_Reciprocal(float* data, int n);

/* Square root, correctly rounded; x < 0 gives NaN, -0 stays -0. */
CUDA_BRELMONT_API cudaError_t SGL_SquareRoot(float* data, int n);

/* |x|: the sign cleared. */
CUDA_BRELMONT_API cudaError_t SGL_Absolute(float* data, int n);

/* Nearest integer; an exact half rounds toward zero (2.5 -> 2, -0.5 -> -0). */
CUDA_BRELMONT_API cudaError_t SGL_RoundToNearest(float* data, int n);

/* floor(x), keeping the sign of zero. */
CUDA_BRELMONT_API cudaError_t SGL_RoundTowardLessInfinity(float* data, int n);

/* ceil(x), keeping the sign of zero (-0.5 -> -0). */
CUDA_BRELMONT_API cudaError_t SGL_RoundTowardMoreInfinity(float* data, int n);

/* +0 for either zero, -1 for x < 0, +1 otherwise (NaN included). */
CUDA_BRELMONT_API cudaError_t SGL_Sign(float* data, int n);

/* x * 2^k correctly rounded: formed in double, rounded once. The double factor 2^k is infinite for
 * k >= 1024 and zero for k <= -1075, so there a zero, respectively an infinite, element becomes NaN. */
CUDA_BRELMONT_API cudaError_t SGL_ScaleByPowerOfTwo(float* data, int k, int n);

/* For the first m = min(nx, ny) pairs: q = floor(x / y) after a correctly rounded division, and
 * r = x - y * q rounded once (fused). Allocates two arrays of m floats, the remainders stored through
 * remainder and the quotients through quotient; the caller owns both. Synchronised status. A null output
 * address, or one address for both outputs, is cudaErrorInvalidValue, nothing written. Otherwise both outputs are null unless the call
 * succeeds with m > 0: m = 0 succeeds, a negative count is cudaErrorInvalidValue, and a failed allocation,
 * launch or synchronisation is returned with nothing left allocated. */
CUDA_BRELMONT_API cudaError_t SGL_QuotientAndRemainder(float* x, float* y, int nx, int ny, float** remainder,
                                                       float** quotient);

/* ---- Array-scalar arithmetic -------------------------------------------------------------------- */
/* Each combines every element x of data[0..n-1] with the scalar s in place, in single precision (division
 * correctly rounded, IEEE rules for zero divisors), and returns the synchronised status; n <= 0 changes
 * nothing and succeeds. */

/* x + s. */
CUDA_BRELMONT_API cudaError_t SGL_AddArrayScalar(float* data, float s, int n);

/* x - s. */
CUDA_BRELMONT_API cudaError_t SGL_SubtractArrayScalar(float* data, float s, int n);

/* s - x. */
CUDA_BRELMONT_API cudaError_t SGL_SubtractScalarArray(float* data, float s, int n);

/* x * s. */
CUDA_BRELMONT_API cudaError_t SGL_MultArrayScalar(float* data, float s, int n);

/* x / s. */
CUDA_BRELMONT_API cudaError_t SGL_DivideArrayScalar(float* data, float s, int n);

/* s / x. */
CUDA_BRELMONT_API cudaError_t SGL_DivideScalarArray(float* data, float s, int n);

#ifdef __cplusplus
}
#endif

#endif
