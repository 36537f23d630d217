// What every fuzz target shares: decoding the input into arguments, device and host arrays of exactly the
// described number of elements, and the checks that hold after any call.
//
// A target decodes its bytes with Input, makes its arrays through Arrays (device arrays with cudaMalloc of
// hostcuda, host arrays from the C heap, so that AddressSanitizer flags the first element beyond either),
// optionally asks for one runtime failure (Injection), calls the export and checks its invariants. A broken
// invariant prints what broke and aborts, which libFuzzer reports with the input that did it.
#pragma once

#include <cuda_runtime.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "cuda_brelmont.h"
#include "hostcuda/hooks.h"

namespace fuzzing {

#define FUZZ_CHECK(condition, ...)                                                            \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: broken: %s: ", __FILE__, __LINE__, #condition);           \
      std::fprintf(stderr, __VA_ARGS__);                                                      \
      std::fprintf(stderr, "\n");                                                             \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

// Elements beyond this many are not worth a run: arguments that describe more, but no more than INT_MAX,
// are skipped; arguments beyond INT_MAX must be refused and get arrays of one element.
constexpr long long kMaxElements = 1 << 14;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  bool flag() { return byte() & 1; }

  // Mostly small sizes and positions in [lo, hi]; now and then a value at an edge of int.
  int small(int lo, int hi) {
    const uint8_t b = byte();
    if (b >= 250) {
      static const int edges[] = {INT_MIN, -1, INT_MAX, 1 << 16, 46341, 65536 * 2};
      return edges[b - 250];
    }
    return lo + static_cast<int>(b % static_cast<unsigned>(hi - lo + 1));
  }

  // A value in [lo, hi], never beyond (ranks, choices).
  int pick(int lo, int hi) { return lo + static_cast<int>(byte() % static_cast<unsigned>(hi - lo + 1)); }

  // Any 32-bit value, through four bytes.
  int any() {
    uint32_t u = 0;
    for (int k = 0; k < 4; ++k) u = u << 8 | byte();
    int v;
    std::memcpy(&v, &u, sizeof v);
    return v;
  }

  // A float that is never the poison pattern, with zeros of both signs, infinities and NaNs among them.
  float value() {
    const uint8_t b = byte();
    static const float specials[] = {0.0f, -0.0f, INFINITY, -INFINITY, NAN, -NAN, 1e-40f, 3.4e38f};
    if (b < 16) return specials[b % 8];
    float v = static_cast<float>(static_cast<int>(b) - 136) * 0.25f;
    if (byte() & 1) v = -v;
    return v;
  }

  bool empty() const { return at_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// The element count that sizes describe, in 64 bits; -1 for a negative size. dims may be null with n = 0.
inline long long count_of(const int* dims, int n) {
  constexpr long long kBeyond = 1LL << 40;  // enough to know it is beyond int
  long long c = 1;
  bool zero = false;
  for (int k = 0; k < n; ++k) {
    if (dims[k] < 0) return -1;
    zero = zero || dims[k] == 0;
    if (dims[k] > 0) c = c > kBeyond / dims[k] ? kBeyond : c * dims[k];
  }
  return zero ? 0 : c;
}

inline bool is_poison(const void* p) {
  static const uint32_t poison = 0x01010101u * HOSTCUDA_POISON_BYTE;
  return std::memcmp(p, &poison, 4) == 0;
}

// Owns the arrays of one run and releases them at its end.
class Arrays {
 public:
  ~Arrays() {
    for (void* p : device_) cudaFree(p);
  }

  // A device array of exactly count elements of T, filled from the input; null for count 0. A count the
  // arguments make invalid (beyond INT_MAX, negative) gets one element: the call must not touch it.
  template <typename T>
  T* device(long long count, Input& in) {
    if (count < 0 || count > INT_MAX) count = 1;
    if (count == 0) return nullptr;
    std::vector<T> host(static_cast<size_t>(count));
    fill(host.data(), host.size() * sizeof(T) / sizeof(float), in);
    void* p = nullptr;
    FUZZ_CHECK(cudaMalloc(&p, host.size() * sizeof(T)) == cudaSuccess, "cudaMalloc of %lld", count);
    FUZZ_CHECK(cudaMemcpy(p, host.data(), host.size() * sizeof(T), cudaMemcpyHostToDevice) == cudaSuccess, "upload");
    device_.push_back(p);
    return static_cast<T*>(p);
  }

  // A host array of exactly count elements (at least a valid pointer for count 0) holding values.
  template <typename T>
  T* host(const std::vector<T>& values) {
    host_.emplace_back(new char[values.size() * sizeof(T) + (values.empty() ? 1 : 0)]);
    if (!values.empty()) std::memcpy(host_.back().get(), values.data(), values.size() * sizeof(T));
    return reinterpret_cast<T*>(host_.back().get());
  }

  // Takes an output array of the call for release at the end.
  void adopt(void* p) {
    if (p != nullptr) device_.push_back(p);
  }

 private:
  static void fill(void* at, size_t floats, Input& in) {
    float* f = static_cast<float*>(at);
    for (size_t i = 0; i < floats; ++i) f[i] = in.value();
  }

  std::vector<void*> device_;
  std::vector<std::unique_ptr<char[]>> host_;
};

// The host copy of a device array of count elements of T.
template <typename T>
std::vector<T> download(const T* p, long long count) {
  std::vector<T> h(static_cast<size_t>(count));
  if (count > 0) FUZZ_CHECK(cudaMemcpy(h.data(), p, count * sizeof(T), cudaMemcpyDeviceToHost) == cudaSuccess, "download");
  return h;
}

// p is a live device allocation of exactly count elements of T (null for 0), every element written.
template <typename T>
void expect_output(const T* p, long long count, const char* what) {
  if (count == 0) {
    FUZZ_CHECK(p == nullptr, "%s: an empty output must be null", what);
    return;
  }
  FUZZ_CHECK(p != nullptr, "%s: %lld elements expected, got null", what, count);
  const std::vector<T> h = download(p, count);
  std::vector<char> beyond(count * sizeof(T) + 1);
  FUZZ_CHECK(cudaMemcpy(beyond.data(), p, beyond.size(), cudaMemcpyDeviceToHost) == cudaErrorInvalidValue,
             "%s: the output holds more than %lld elements", what, count);
  cudaGetLastError();
  for (long long i = 0; i < count * static_cast<long long>(sizeof(T) / 4); ++i)
    FUZZ_CHECK(!is_poison(reinterpret_cast<const char*>(h.data()) + 4 * i), "%s: word %lld never written", what, i);
}

// One runtime failure on request: the k-th allocation, launch or copy, or the synchronisation.
class Injection {
 public:
  explicit Injection(Input& in) {
    const uint8_t b = in.byte();
    kind_ = b < 200 ? 0 : 1 + b % 4;
    const int k = 1 + b / 4 % 3;
    if (kind_ == 1) hostcudaFailAllocation(k), error_ = cudaErrorMemoryAllocation;
    if (kind_ == 2) hostcudaFailLaunch(k, error_ = cudaErrorLaunchFailure);
    if (kind_ == 3) hostcudaFailCopy(k, error_ = cudaErrorInvalidDevicePointer);
    if (kind_ == 4) hostcudaFailSynchronize(error_ = cudaErrorIllegalAddress);
  }
  ~Injection() { clear(); }
  bool active() const { return kind_ != 0; }
  cudaError_t error() const { return error_; }

  // Cancels what did not fire. Without an injection nothing may be pending; with one, a pending error is its.
  void clear() {
    hostcudaFailAllocation(0), hostcudaFailLaunch(0, cudaSuccess), hostcudaFailCopy(0, cudaSuccess);
    hostcudaFailSynchronize(cudaSuccess);
    const cudaError_t pending = cudaGetLastError();
    FUZZ_CHECK(pending == cudaSuccess || (active() && pending == error_), "pending error %d after the call", pending);
  }

  // A status the call may return: success, a refusal, or the injected failure.
  bool known(cudaError_t status) const {
    return status == cudaSuccess || status == cudaErrorInvalidValue || status == cudaErrorMemoryAllocation ||
           (active() && status == error_);
  }

 private:
  int kind_ = 0;
  cudaError_t error_ = cudaSuccess;
};

// Sizes of rank n: each mostly in [lo, hi], the odd one at an edge of int.
inline std::vector<int> sizes(Input& in, int n, int lo, int hi) {
  std::vector<int> v(n < 0 ? 0 : n);
  for (int& s : v) s = in.small(lo, hi);
  return v;
}

// A run is worth making when each array it describes is either small or invalid beyond int.
inline bool worth(long long count) { return count <= kMaxElements || count > INT_MAX || count < 0; }

// Runs one call: the live allocations are back to where they were and nothing is pending afterwards.
template <typename Run>
int run_checked(const uint8_t* data, size_t size, Run run) {
  const size_t live = hostcudaLiveAllocations();
  {
    Input in(data, size);
    Arrays arrays;
    run(in, arrays);
  }
  FUZZ_CHECK(hostcudaLiveAllocations() == live, "%zu device arrays leaked", hostcudaLiveAllocations() - live);
  FUZZ_CHECK(cudaGetLastError() == cudaSuccess, "an error stayed pending");
  return 0;
}

}  // namespace fuzzing
