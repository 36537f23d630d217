/* cuda_brelmont: GPU array primitives behind a flat C interface.
 *
 * Conventions every export shares:
 *  - Arrays are raw device pointers (float* or float2*) to memory on the calling thread's current device;
 *    counts and dimension sizes are 32-bit signed ints; N-D arrays are row-major, outermost dimension first.
 *  - All work goes to the default stream. The seven launch-status exports (element update, reverse, rotate, the
 *    2-D transpose, the splits) return as soon as their kernels are queued; every other export returns only when
 *    all of its device work is complete, and reports a failure of it as its result kind allows.
 *  - An array that an export allocates belongs to the caller, who releases it with cudaFree.
 *  - Status exports return cudaErrorInvalidValue, and do no device work, when their arguments would make
 *    them read or write outside the arrays those arguments describe; a failed allocation is returned as
 *    its own status with nothing left allocated. Nothing is ever reported as success that failed.
 *  - A null device pointer for an array of which the call must read or write at least one element is such an
 *    invalid argument, refused before any device work (the reductions: BRELMONT_STATUS_BAD_PARAM; exports
 *    without a status: null outputs and zero counts). Arrays of which nothing is touched may be null.
 *  - Every output size and count an export would write (through a pointer that is not null) is 0 after a
 *    refusal or a failure, so a caller that sizes its copy from them reads no garbage.
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

/* For the first m = min(nx, ny) pairs: q = floor(x / y) after a correctly rounded division, and r = x - y * q
 * rounded once (fused). Allocates two arrays of m floats, the remainders stored through remainder and the
 * quotients through quotient; the caller owns both. Synchronised status. A null output address, or one address for
 * both outputs, is cudaErrorInvalidValue, nothing written. Otherwise both outputs are null unless the call
 * succeeds with m > 0: m = 0 succeeds, a negative count is cudaErrorInvalidValue, and a failed allocation, launch
 * or synchronisation is returned with nothing left allocated. */
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

/* ---- Array-array arithmetic --------------------------------------------------------------------- */

/* result = A + B over the common extent of two row-major arrays of ndims dimensions (0 to 10): along each
 * dimension d the result has min(sizesA[d], sizesB[d]) elements, and each combines the elements of A and B at the
 * same coordinate (no broadcasting; ndims = 0 is one element). The new result array is stored through result and
 * belongs to the caller (cudaFree); its sizes go to resultSizes (ndims entries, the caller's array) and its byte
 * size to *resultBytes (resultSizes may be sizesA or sizesB: they are read first). Waits for the kernel and
 * returns the first failure (allocation, launch or the kernel's work). An empty result is success with *result
 * null and nothing launched. cudaErrorInvalidValue, with nothing allocated, for ndims outside 0..10, a negative
 * size, an operand of more than INT_MAX elements, a result of more than INT_MAX bytes, a null result or
 * resultBytes, or null size arrays when ndims > 0. After every failure *result is null and resultSizes (ndims
 * entries) and *resultBytes are 0 where they are given. */
CUDA_BRELMONT_API cudaError_t SGL_AddArrayArray(int ndims, int* sizesA, int* sizesB, float* A, float* B,
                                                float** result, int* resultSizes, int* resultBytes);

/* result = A - B over the common extent; otherwise as SGL_AddArrayArray. */
CUDA_BRELMONT_API cudaError_t SGL_SubstractArrayArray(int ndims, int* sizesA, int* sizesB, float* A, float* B,
                                                      float** result, int* resultSizes, int* resultBytes);

/* result = A * B over the common extent; otherwise as SGL_AddArrayArray. */
CUDA_BRELMONT_API cudaError_t SGL_MultArrayArray(int ndims, int* sizesA, int* sizesB, float* A, float* B,
                                                 float** result, int* resultSizes, int* resultBytes);

/* result = A / B, correctly rounded, over the common extent; otherwise as SGL_AddArrayArray. */
CUDA_BRELMONT_API cudaError_t SGL_DivideArrayArray(int ndims, int* sizesA, int* sizesB, float* A, float* B,
                                                   float** result, int* resultSizes, int* resultBytes);

/* ---- Whole-array reductions --------------------------------------------------------------------- */

/* What the reductions return: a 32-bit status numbered as cuDNN 9 numbers its statuses. */
typedef int brelmontStatus_t;
enum {
  BRELMONT_STATUS_SUCCESS = 0,
  /* Invalid arguments; nothing was written and no device work done (CUDNN_STATUS_BAD_PARAM). */
  BRELMONT_STATUS_BAD_PARAM = 2000,
  /* A device allocation failed (CUDNN_STATUS_INTERNAL_ERROR_DEVICE_ALLOCATION_FAILED). */
  BRELMONT_STATUS_DEVICE_ALLOCATION_FAILED = 4004,
  /* A launch, a copy or the device work failed (CUDNN_STATUS_EXECUTION_FAILED_CUDART). */
  BRELMONT_STATUS_EXECUTION_FAILED = 5003
};

/* *result = the sum of data[0..count-1] (device array), accumulated in double precision in the device's order
 * and rounded once to float: within half an ulp of the double sum, whose own error is at most about
 * (count-1) * 2^-53 * sum(|data[i]|). count <= 0 gives 0.0 and success without device work; a null result
 * is BRELMONT_STATUS_BAD_PARAM. Returns once the result is written. Every failure leaves *result unwritten
 * and nothing allocated. */
CUDA_BRELMONT_API brelmontStatus_t SGL_AddArrayElement(float* data, int count, float* result);

/* *result = the product of data[0..count-1], accumulated in double precision and rounded once to float
 * (relative error about count * 2^-53 before that rounding, unless a partial product leaves double's
 * range); otherwise as SGL_AddArrayElement. */
CUDA_BRELMONT_API brelmontStatus_t SGL_MultiplyArrayElement(float* data, int count, float* result);

/* Minimum and maximum of the row-major array data of ndims (1 to 10) dimensions of the given sizes, with the
 * coordinates of each (ndims entries, the caller's arrays; either may be sizes itself). A NaN anywhere makes both
 * results NaN, at the first NaN; among equal extremes the lowest row-major index wins (-0 and +0 are equal).
 * unused is not read. BRELMONT_STATUS_BAD_PARAM, with nothing written, for ndims outside 1..10, a negative size,
 * an empty array, more than INT_MAX elements, or a null host pointer. A device failure writes nothing and leaves
 * nothing allocated. */
CUDA_BRELMONT_API brelmontStatus_t SGL_MinMaxArray(int ndims, int unused, int* sizes, float* data, float* minimum,
                                                   float* maximum, int* minPosition, int* maxPosition);

/* ---- N-D restructuring ---------------------------------------------------------------------------- */

/* Shapes are host arrays of ndims sizes, outermost first; arrays are row-major. Every element count must fit an
 * int. Exports with a status return cudaErrorInvalidValue, with no device work and outputs null, for arguments
 * outside their contract; those with no result leave their outputs null instead. After any refusal or failure the
 * output sizes (as many entries as the arguments give the output) are zero.
 * A failed allocation is returned as its own status with nothing left allocated. Output arrays are the
 * caller's (cudaFree); an empty output is a null pointer. Output size arrays may be the input size arrays. */

/* *out = a new array of the box of sizes subDims whose first element is src at coordinates start. The box
 * wraps in every dimension: coordinate start[k] + j reads src at (start[k] + j) mod srcDims[k], also for a
 * box larger than src. ndims = 0 is the one element src[0]. Invalid: ndims < 0, a srcDims entry below 1, a
 * negative start or subDims entry. An empty box succeeds with a null *out. Waits for its kernel and returns
 * the first failure. */
CUDA_BRELMONT_API cudaError_t SGL_ArraySubset(int ndims, int* srcDims, int* start, int* subDims, float* src,
                                              float** out);

/* *out = the elements of src whose coordinate k equals indices[k], for every k whose index is not -1 (those
 * dimensions are kept whole), in row-major order; outDims[k] = srcDims[k] for a kept dimension, else 1.
 * A one-dimensional src gives one element: src[indices[0]], or src[0] for -1 (outDims (1)). No output for an
 * index outside -1 ... srcDims[k] - 1 or a srcDims entry below 1. Returns once the output is complete. */
CUDA_BRELMONT_API void SGL_IndexArray(int ndims, int* srcDims, int* indices, float* src, float** out, int* outDims);

/* In place: the box of dst at start, of sizes subDims, = sub (subDims-shaped, row-major). Nothing wraps:
 * invalid unless 0 <= start[k] and start[k] + subDims[k] <= dstDims[k] for every k, and unless dst and sub
 * (as their sizes describe them) are apart. Waits for its kernel and returns the first failure. */
CUDA_BRELMONT_API cudaError_t SGL_ReplaceArraySubset(int ndims, int* dstDims, int* subDims, int* start, float* dst,
                                                     float* sub);

/* SGL_ReplaceArraySubset for complex arrays. */
CUDA_BRELMONT_API cudaError_t CSG_ReplaceArraySubset(int ndims, int* dstDims, int* subDims, int* start, float2* dst,
                                                     float2* sub);

/* Removes positions start ... start + count - 1 along axis: *out = what remains (outDims: srcDims with
 * srcDims[axis] - count on the axis), *deleted = the removed part (deletedDims: count on the axis); an empty
 * part is a null pointer. Invalid: ndims < 1, axis outside 0 ... ndims - 1, a srcDims entry below 1, start < 0,
 * count < 0 or start + count > srcDims[axis]. Waits for its kernel and returns the first failure. */
CUDA_BRELMONT_API cudaError_t SGL_DeleteFromArray(int ndims, int* srcDims, int start, int count, int axis,
                                                  float* src, float** out, int* outDims, float** deleted,
                                                  int* deletedDims);

/* SGL_DeleteFromArray for complex arrays. */
CUDA_BRELMONT_API cudaError_t CSG_DeleteFromArray(int ndims, int* srcDims, int start, int count, int axis,
                                                  float2* src, float2** out, int* outDims, float2** deleted,
                                                  int* deletedDims);

/* *out = src with the block ins inserted along axis at position start; outDims = srcDims with srcDims[axis] plus
 * the block's width on the axis. ins has ndims dimensions, or ndims - 1 (one slice: its sizes with a 1 put at
 * axis). Where the block is smaller than src along another dimension its slab is padded with 0.0; where it is
 * larger, the surplus is dropped. Invalid: ndims outside 1 ... 10, insNdims other than ndims or ndims - 1,
 * axis outside the rank, start outside 0 ... srcDims[axis], a size below 1. Waits for its kernel and returns
 * the first failure. */
CUDA_BRELMONT_API cudaError_t SGL_InsertIntoArray(int ndims, int insNdims, int* srcDims, int* insDims, int start,
                                                  int axis, float* src, float* ins, float** out, int* outDims);

/* *out = a and b stacked as the two entries of a new first dimension when their ranks are equal, or, when they
 * differ by one, the lower-rank array appended (or prepended) as one more slice of the other. Along every
 * other dimension the result has the larger size and the smaller array is padded with 0.0. A rank-0 array is
 * one element. outDims receives the result's rank (the larger rank, plus one for equal ranks) of sizes.
 * No output for ranks outside 0 ... 10, ranks that differ by two or more, a result rank above 10, or a size
 * below 1. Returns once the output is complete. */
CUDA_BRELMONT_API void SGL_BuildArray(int ndimsA, int ndimsB, int* dimsA, int* dimsB, float* a, float* b,
                                      float** out, int* outDims);

/* As SGL_BuildArray, but equal ranks join along their own first dimension (outDims[0] = dimsA[0] + dimsB[0]);
 * two rank-0 inputs give no output. */
CUDA_BRELMONT_API void SGL_ConcatenateArray(int ndimsA, int ndimsB, int* dimsA, int* dimsB, float* a, float* b,
                                            float** out, int* outDims);

/* *out = a new array of the product of newDims elements (1 for ndims = 0): the first min(that, srcCount)
 * elements of src in order, then 0.0. Invalid: srcCount < 0, ndims < 0, a negative newDims entry. An empty
 * shape succeeds with a null *out. Returns the first failure of its copy and fill, once both are complete. */
CUDA_BRELMONT_API cudaError_t SGL_ReshapeArray(float* src, int srcCount, int* newDims, int ndims, float** out);

/* dst (the caller's array of rows x cols elements, apart from src) = the cols x rows transpose of src, whose
 * dims are (rows, cols). Launch status: returns without waiting. Invalid: a negative size, more than INT_MAX
 * elements, or src and dst overlapping. An empty array succeeds with no launch. */
CUDA_BRELMONT_API cudaError_t SGL_Transpose2DArray(int* dims, float* src, float* dst);

/* *out = src with its dimensions permuted: output dimension j is source dimension perm[j], so
 * outDims[j] = srcDims[perm[j]]. Any rank. No output unless perm holds each of 0 ... ndims - 1 once and every
 * size is at least 1. Returns once the output is complete. */
CUDA_BRELMONT_API void SGL_TransposeNDArray(int ndims, int* srcDims, int* perm, float* src, float** out,
                                            int* outDims);

/* Cuts src (n elements) before element index, clamped into 0 ... n: *first = elements 0 ... index - 1,
 * *second = the rest, with their counts; an empty part is a null pointer with count 0. Launch status:
 * returns without waiting (cudaSuccess when there is nothing to launch). Invalid: n < 0 or a null pointer; after
 * a refusal or a failure both parts are null and both counts 0, where they are given. */
CUDA_BRELMONT_API cudaError_t SGL_Split1DArray(int n, int index, float* src, float** first, int* firstCount,
                                               float** second, int* secondCount);

/* Cuts the rows x cols array src (dims) before row index (mode 1) or before column index (any other mode),
 * the index clamped into 0 ... rows (or cols): the two parts with their (rows, cols); an empty part is a null
 * pointer. Launch status: returns without waiting (cudaSuccess when there is nothing to launch). Invalid: a
 * negative size, more than INT_MAX elements, or a null pointer. */
CUDA_BRELMONT_API cudaError_t SGL_Split2DArray(int* dims, int index, int mode, float* src, float** first,
                                               int* firstDims, float** second, int* secondDims);

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

/* ---- 1-D sequence operations -------------------------------------------------------------------- */
/* Each treats a device array as a plain sequence of floats, whatever its shape. Elements move unchanged. */

/* Splits input[0..n-1] into factor new arrays of n / factor floats: output k holds input[k], input[k + factor],
 * input[k + 2 factor], ...; the last n % factor elements are in none. One new array per slot of the host array
 * outputs (factor slots), each the caller's. Synchronised status. factor > n fills every slot with null
 * (empty outputs); a negative factor makes no output, writes no slot and succeeds. cudaErrorInvalidValue, with no
 * device work, for factor = 0, n < 0, or a null outputs with factor >= 1. After any failure every slot is null
 * and nothing stays allocated. */
CUDA_BRELMONT_API cudaError_t SGL_Decimate1DArray(float* input, int n, int factor, float** outputs);

/* Merges count sequences of length floats each into one new array of length * count floats, stored through
 * output (the caller's), its length to *outLength: output[j * count + k] = inputs[k][j], the inverse of
 * SGL_Decimate1DArray. inputs is a host array of count pointers, each to device or host memory: memory of the
 * current device, or managed memory, is read where it is; host memory and other devices' memory are copied to the
 * current device first. Returns the first failure, once the result is complete. An empty result succeeds with
 * *output null and *outLength 0. cudaErrorInvalidValue, with no device work, for length < 0, count < 0,
 * length * count > INT_MAX, a null inputs, output or outLength, or a null pointer among inputs[0..count-1].
 * After every failure *output is null and *outLength 0 (where they are given). */
CUDA_BRELMONT_API cudaError_t SGL_Interleave1DArray(float** inputs, int length, int count, float** output,
                                                    int* outLength);

/* *result = input read at the fractional index x by linear interpolation, in single precision:
 * input[0] for x < 0; input[n-1] for x >= (float)(n-1); else, with i = (int)x and f = x - i,
 * fmaf(f, input[i+1], input[i] * (1 - f)). A NaN x gives NaN. Returns once *result is written.
 * cudaErrorInvalidValue for n <= 0 or a null result; *result is written only on success. */
CUDA_BRELMONT_API cudaError_t SGL_Interpolate1DArray(int n, float x, float* input, float* result);

/* *result = the fractional index at which input rises to threshold, searching from start on, in single
 * precision with ordered comparisons (false for NaN): (float)start if input[start] >= threshold; else (float)(n-1)
 * if input[n-1] <= threshold; else, for the first i >= start with input[i] <= threshold <= input[i+1],
 * ((float)(i+1) - (float)i) * (threshold - input[i]) / (input[i+1] - input[i]) + (float)i, the division correctly
 * rounded; NaN (with cudaSuccess) when no i qualifies, for example with a NaN threshold. Returns once *result is
 * written. cudaErrorInvalidValue for n <= 0, start outside 0..n-1 or a null result; *result is written only on
 * success. */
CUDA_BRELMONT_API cudaError_t SGL_Threshold1DArray(int n, float threshold, int start, float* input, float* result);

/* Reverses data[0..n-1] in place. Launch status: returns without waiting for the device. n = 0 or 1 changes
 * nothing and succeeds; n < 0 is cudaErrorInvalidValue. */
CUDA_BRELMONT_API cudaError_t SGL_Reverse1DArray(int n, float* data);

/* Rotates data[0..n-1] in place: new[i] = old[(i - shift) mod n], so a positive shift moves elements toward
 * higher indices, for every shift (INT_MIN included). Launch status: returns without waiting (two launches). n = 0
 * or 1 changes nothing and succeeds; n < 0 is cudaErrorInvalidValue. Should the second launch be refused, the array
 * is left reversed and that refusal is returned. */
CUDA_BRELMONT_API cudaError_t SGL_Rotate1DArray(int n, int shift, float* data);
/* ---- Sort, search and duplicate removal ---------------------------------------------------------- */
/* Arrays are flat sequences of their first n elements, whatever their shape. */

/* Sorts data[0..n-1] in place, ascending and stable, every element keeping its bits, in this order: NaNs with
 * the sign bit set, -infinity, negatives, -0.0 and +0.0 as equal keys (they keep their input order), positives,
 * +infinity, NaNs with the sign bit clear. Uses scratch of n floats. Returns the first failure of the call (an
 * allocation, the sort, the release of its scratch), once the sort is complete. n <= 1 succeeds without device
 * work; n < 0 is cudaErrorInvalidValue. */
CUDA_BRELMONT_API cudaError_t SGL_SortNDArray(int n, float* data);

/* Searches data (n elements, row-major of sizes dims[0..ndims-1]) for the first element at or after the position
 * start[0..ndims-1] that equals value under float == (0.0 finds -0.0; NaN finds nothing). *found = 1 and index
 * (ndims entries) = the match's row-major index; on a miss *found = 0 and index is all zeros. ndims = 0 searches
 * from element 0 and reads or writes none of dims, start and index. Reads only the elements up to shortly past
 * the match, and returns once done. The result of a miss (*found = 0, index all zeros, wherever they are given)
 * and no device work when n < 0, ndims < 0, a pointer that must be used is null, the product of dims is not n,
 * or a start coordinate lies outside its dimension; the same after a device failure. index may be dims. */
CUDA_BRELMONT_API void SGL_SearchNDArray(int ndims, int n, int* dims, int* start, float value, float* data,
                                         int* found, int* index);

/* Stores through output a new array (the caller's, cudaFree) of the distinct values of input[0..n-1], each once,
 * in the order of its first occurrence, and their number in *outCount. Values are equal under float ==: +0.0 and
 * -0.0 are one value (the first met is kept), and every NaN is kept. O(n log n) work, returns once done. n = 0
 * gives 0 and a null array. n < 0, a null output or outCount, and every failure: a null array (where output can be
 * written), count 0 (where outCount can be), nothing left allocated. */
CUDA_BRELMONT_API void SGL_RemoveDup1DArray(float* input, int n, float** output, int* outCount);

/* ---- Shuffle ------------------------------------------------------------------------------------ */

/* Puts data[0..n-1] into a uniformly random order in place: every value kept with its bits, elements from n on
 * untouched. Each call draws a new seed (high-resolution clock and a process-wide counter), so no two calls of
 * a process apply the permutation of one seed. Uses scratch of 5 words per element. Returns the first failure of
 * the call, once the permutation is complete. n <= 1 succeeds without device work; n < 0 is
 * cudaErrorInvalidValue. */
CUDA_BRELMONT_API cudaError_t SGL_ShuffleNDArray(int n, float* data);

/* ---- FFT completion ----------------------------------------------------------------------------- */

/* Completes every row along the last dimension (length N = sizes[ndims-1]) of the row-major complex array data
 * of sizes[0..ndims-1] by conjugate symmetry: X[N - j] = conj(X[j]) for j = 1 ... N/2 (odd N) or 1 ... N/2 - 1
 * (even N); positions 0 and N/2 are untouched and rows are never mixed (an imaginary +0.0 mirrors as -0.0).
 * Waits for all earlier device work first and for its own before returning. Nothing is done for ndims < 1, null
 * sizes, a negative size or more than INT_MAX elements; N = 1 or 2 and empty arrays change nothing. */
CUDA_BRELMONT_API void CompleteFFT(float2* data, int* sizes, int ndims);

#ifdef __cplusplus
}
#endif

#endif
