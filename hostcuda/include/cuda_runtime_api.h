/* hostcuda: the C interface of the runtime, for the part of it that this project and its callers use.
 * Memory lives in host RAM; "device" pointers are ordinary pointers, so callers run unchanged on a CPU. */
#ifndef HOSTCUDA_CUDA_RUNTIME_API_H
#define HOSTCUDA_CUDA_RUNTIME_API_H

#include <stddef.h>

#include "driver_types.h"
#include "hostcuda/config.h"
#include "vector_types.h"

#define CUDART_VERSION 12000

HOSTCUDA_EXTERN_C_BEGIN

HOSTCUDA_API cudaError_t cudaMalloc(void** devPtr, size_t size);
HOSTCUDA_API cudaError_t cudaFree(void* devPtr);
HOSTCUDA_API cudaError_t cudaMemcpy(void* dst, const void* src, size_t count, enum cudaMemcpyKind kind);
HOSTCUDA_API cudaError_t cudaMemset(void* devPtr, int value, size_t count);
HOSTCUDA_API cudaError_t cudaDeviceSynchronize(void);
HOSTCUDA_API cudaError_t cudaGetLastError(void);
HOSTCUDA_API cudaError_t cudaPeekAtLastError(void);
HOSTCUDA_API const char* cudaGetErrorName(cudaError_t error);
HOSTCUDA_API const char* cudaGetErrorString(cudaError_t error);
HOSTCUDA_API cudaError_t cudaGetDeviceCount(int* count);
HOSTCUDA_API cudaError_t cudaGetDevice(int* device);
HOSTCUDA_API cudaError_t cudaSetDevice(int device);
HOSTCUDA_API cudaError_t cudaPointerGetAttributes(struct cudaPointerAttributes* attributes, const void* ptr);

HOSTCUDA_EXTERN_C_END

#ifdef __cplusplus
/* The runtime's typed convenience overload. */
template <typename T>
inline cudaError_t cudaMalloc(T** devPtr, size_t size) {
  return cudaMalloc(reinterpret_cast<void**>(devPtr), size);
}
#endif

#endif
