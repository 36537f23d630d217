// Device arrays allocated inside an export. Each owns its allocation until it is handed to the caller,
// so every early return releases what the call allocated so far.
#pragma once

#include <cuda_runtime.h>

#include <cstddef>
#include <cstdint>

namespace brelmont {

template <typename T>
class ScopedDeviceArray {
 public:
  ScopedDeviceArray() = default;
  ScopedDeviceArray(const ScopedDeviceArray&) = delete;
  ScopedDeviceArray& operator=(const ScopedDeviceArray&) = delete;
  ~ScopedDeviceArray() { cudaFree(data_); }

  // Allocates count >= 0 elements. Zero elements succeed with a null pointer, as the runtime does, so judge
  // the result by the status, never by the pointer.
  cudaError_t allocate(int count) {
    const size_t bytes = static_cast<size_t>(static_cast<long long>(count)) * sizeof(T);
    void* p = nullptr;
    const cudaError_t status = cudaMalloc(&p, bytes);
    if (status == cudaSuccess) data_ = static_cast<T*>(p);
    return status;
  }

  T* get() const { return data_; }

  // Hands the array to the caller, who releases it.
  T* release() {
    T* p = data_;
    data_ = nullptr;
    return p;
  }

  // Releases the array now and returns the release status.
  cudaError_t free() {
    const cudaError_t status = cudaFree(data_);
    data_ = nullptr;
    return status;
  }

 private:
  T* data_ = nullptr;
};

// Whether the byte ranges [a, a + a_bytes) and [b, b + b_bytes) share a byte.
inline bool ranges_overlap(const void* a, size_t a_bytes, const void* b, size_t b_bytes) {
  const uintptr_t x = reinterpret_cast<uintptr_t>(a), y = reinterpret_cast<uintptr_t>(b);
  return a_bytes > 0 && b_bytes > 0 && x < y + b_bytes && y < x + a_bytes;
}

// Allocates count elements in each array, in order, and stops at the first failure, which it returns.
template <typename... Arrays>
cudaError_t allocate_all(int count, Arrays&... arrays) {
  cudaError_t status = cudaSuccess;
  ((status = status == cudaSuccess ? arrays.allocate(count) : status), ...);
  return status;
}

// Releases every array, in order, and returns the first failure of earlier and the releases.
template <typename... Arrays>
cudaError_t free_all(cudaError_t earlier, Arrays&... arrays) {
  cudaError_t status = earlier;
  (
      [&] {
        const cudaError_t released = arrays.free();
        if (status == cudaSuccess) status = released;
      }(),
      ...);
  return status;
}

}  // namespace brelmont
