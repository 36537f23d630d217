// A device array owned by a test: uploads from and downloads to std::vector, poisons, frees itself.
#pragma once

#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "support/runtime.h"

namespace testing_support {

template <typename T>
class DeviceBuffer {
 public:
  // count elements, every byte set to the poison pattern so that an unwritten element shows.
  explicit DeviceBuffer(size_t count) : count_(count) {
    allocate();
    poison();
  }

  explicit DeviceBuffer(const std::vector<T>& host) : count_(host.size()) {
    allocate();
    upload(host);
  }

  // Takes ownership of an array that an export allocated.
  static DeviceBuffer adopt(T* data, size_t count) { return DeviceBuffer(data, count); }

  DeviceBuffer(DeviceBuffer&& other) noexcept : data_(other.data_), count_(other.count_) { other.data_ = nullptr; }
  DeviceBuffer(const DeviceBuffer&) = delete;
  DeviceBuffer& operator=(const DeviceBuffer&) = delete;
  DeviceBuffer& operator=(DeviceBuffer&&) = delete;
  ~DeviceBuffer() {
    if (data_ != nullptr) EXPECT_EQ(cudaFree(data_), cudaSuccess);
  }

  T* get() const { return data_; }
  size_t size() const { return count_; }

  void upload(const std::vector<T>& host) {
    ASSERT_EQ(host.size(), count_);
    ASSERT_EQ(cudaMemcpy(data_, host.data(), bytes(), cudaMemcpyHostToDevice), cudaSuccess);
  }

  std::vector<T> download() const {
    std::vector<T> host(count_);
    EXPECT_EQ(cudaMemcpy(host.data(), data_, bytes(), cudaMemcpyDeviceToHost), cudaSuccess);
    return host;
  }

  void poison() { ASSERT_EQ(cudaMemset(data_, kPoisonByte, bytes()), cudaSuccess); }

 private:
  DeviceBuffer(T* data, size_t count) : data_(data), count_(count) {}
  size_t bytes() const { return count_ * sizeof(T); }
  void allocate() { ASSERT_EQ(cudaMalloc(reinterpret_cast<void**>(&data_), bytes()), cudaSuccess); }

  T* data_ = nullptr;
  size_t count_ = 0;
};

// The value whose bytes are all the poison byte: what an element holds when nothing wrote it.
template <typename T>
T poison_value() {
  T value;
  std::memset(&value, kPoisonByte, sizeof value);
  return value;
}

}  // namespace testing_support
