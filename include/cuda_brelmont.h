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

#ifdef __cplusplus
}
#endif

#endif
