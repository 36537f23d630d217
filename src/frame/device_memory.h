// Device arrays allocated inside an export. Each owns its allocation until it is handed to the caller,
// so every early return releases what the call allocated so far.
#pragma once

#include <cuda_runtime.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <type_traits>

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

// One caller array that a call uses: its device pointer and how many of its elements the call reads or writes.
struct ArrayUse {
  const void* data;
  long long count;
};

// Whether a call would reach through a null device pointer: an array it must read or write (count >= 1) is
// null. A kernel that faulted on it would leave the caller's whole context unusable, so such a call is refused
// before any device work, as other invalid arguments are. Arrays of no elements may be null.
inline bool reaches_null(std::initializer_list<ArrayUse> uses) {
  for (const ArrayUse& use : uses)
    if (use.data == nullptr && use.count > 0) return true;
  return false;
}

// The use of a kernel argument in a launch over count elements: count elements of a pointer, none of a value.
template <typename T>
ArrayUse use_of(const T& argument, int count) {
  if constexpr (std::is_pointer_v<T>) return {argument, count};
  return {nullptr, 0};
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
