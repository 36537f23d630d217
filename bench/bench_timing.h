// Timing an export against a reference measured in the same run, and the sizes the benchmarks run at.
//
// Every benchmark reports speed_vs_<reference>: the reference's time per call over the export's, so 1 is the
// reference's speed and above 1 is faster. Each call of either is followed by cudaDeviceSynchronize and timed
// alone; the median call counts. Against a device copy into an existing array, an export that allocates its
// outputs (released by the caller after each call) also pays for those allocations: their time, measured alone
// in the same run, is taken out of the export's, so that the ratio compares device work with device work, and
// alloc_share says what part of the export's time they took.
//
// Short runs (BRELMONT_BENCH_SHORT set) keep a GPU check brief: each benchmark runs at one size, 2^24 floats, or
// at the element count the variable gives (rounded down to a power of four, at least 2^14) for the host variant:
// BRELMONT_BENCH_SHORT=65536. Timing windows shrink from 0.2 s to 0.02 s.
#pragma once

#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace bench_support {

using Registration = benchmark::internal::Benchmark;

// The element count of a short run, or 0 in a full run.
inline int64_t short_elements() {
  static const int64_t count = [] {
    const char* value = std::getenv("BRELMONT_BENCH_SHORT");
    if (value == nullptr || *value == '\0') return int64_t{0};
    const int64_t given = std::clamp<int64_t>(std::atoll(value), 1, int64_t{1} << 28);
    if (given == 1) return int64_t{1} << 24;
    int64_t power = int64_t{1} << 14;
    while (power * 4 <= given) power *= 4;
    return power;
  }();
  return count;
}

inline bool short_run() { return short_elements() != 0; }

// Seconds spent timing one reference or one benchmark.
inline double window_seconds() { return short_run() ? 0.02 : 0.2; }

// Every benchmark reports the time of the calls that measure_against times, over a window.
inline void timed(Registration* b) { b->UseManualTime()->MinTime(window_seconds()); }

// Registers a benchmark at the element counts `full`, each paired with every value of `second` when given. A
// short run replaces them by its own count, keeping those of `kept` that lie below it.
inline void at_sizes(Registration* b, std::vector<int64_t> full, const std::vector<int64_t>& second = {},
                     const std::vector<int64_t>& kept = {}) {
  if (short_run()) {
    full = {short_elements()};
    for (const int64_t n : kept) {
      if (n < short_elements()) full.push_back(n);
    }
  }
  if (second.empty()) {
    for (const int64_t n : full) b->Arg(n);
  } else {
    b->ArgsProduct({full, second});
  }
  timed(b);
}

// The sizes at which copy-speed targets are judged: 2^24 and 2^26 floats.
inline void at_large_sizes(Registration* b) { at_sizes(b, {1 << 24, 1 << 26}); }

// The counts of a growth measurement from first to last in steps of 4, in a short run none above its count.
inline void growing(Registration* b, int64_t first, int64_t last) {
  if (short_run()) last = std::min(last, std::max(short_elements(), first * 4));
  for (int64_t n = first; n <= last; n *= 4) b->Arg(n);
  timed(b);
}

inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double median(std::vector<double> times) {
  if (times.empty()) return std::numeric_limits<double>::quiet_NaN();
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

// Seconds of one call of work with the synchronisation that follows it.
template <typename Work>
double one_call(Work& work) {
  const auto begin = std::chrono::steady_clock::now();
  work();
  cudaDeviceSynchronize();
  return seconds_since(begin);
}

// Median seconds per call of work over a window of calls, after a warm-up call.
template <typename Work>
double seconds_per_call(Work work) {
  one_call(work);
  std::vector<double> times;
  const auto start = std::chrono::steady_clock::now();
  do {
    times.push_back(one_call(work));
  } while (seconds_since(start) < window_seconds() && times.size() < 100000);
  return median(times);
}

struct Nothing {
  void operator()() const {}
};

// Runs work (true when the export succeeded) in the benchmark's loop, each call timed alone after prepare
// (untimed: restoring an input that the call changes), and reports reference_seconds over the median call as
// speed_vs_<reference>. allocating is the part of each call spent allocating and releasing the export's outputs
// (allocation_seconds()).
template <typename Work, typename Prepare = Nothing>
void measure_against(benchmark::State& state, const std::string& reference, double reference_seconds, Work work,
                     double allocating = 0, Prepare prepare = {}) {
  if (reference_seconds <= 0) return state.SkipWithError("the reference could not run");
  bool ok = true;
  auto checked = [&] { ok = work() && ok; };
  prepare();
  one_call(checked);
  std::vector<double> times;
  for (auto _ : state) {
    prepare();
    cudaDeviceSynchronize();
    const double t = one_call(checked);
    state.SetIterationTime(t);
    times.push_back(t);
  }
  if (!ok) return state.SkipWithError("the export failed");
  const double per_call = median(times), device = per_call - allocating;
  // An allocation that takes the whole call leaves nothing to compare: NaN rather than a made-up ratio.
  state.counters["speed_vs_" + reference] =
      device > 0 ? reference_seconds / device : std::numeric_limits<double>::quiet_NaN();
  if (allocating > 0) state.counters["alloc_share"] = allocating / per_call;
}

// A device array of count elements, uninitialised or uploaded from a host vector; null after a failure.
template <typename T>
class DeviceArray {
 public:
  explicit DeviceArray(size_t count) : count_(count) {
    if (cudaMalloc(reinterpret_cast<void**>(&data_), count * sizeof(T)) != cudaSuccess) data_ = nullptr;
  }
  explicit DeviceArray(const std::vector<T>& host) : DeviceArray(host.size()) {
    if (data_ != nullptr &&
        cudaMemcpy(data_, host.data(), host.size() * sizeof(T), cudaMemcpyHostToDevice) != cudaSuccess) {
      cudaFree(data_);
      data_ = nullptr;
    }
  }
  DeviceArray(const DeviceArray&) = delete;
  DeviceArray& operator=(const DeviceArray&) = delete;
  ~DeviceArray() { cudaFree(data_); }
  T* get() const { return data_; }
  int size() const { return static_cast<int>(count_); }

 private:
  T* data_ = nullptr;
  size_t count_;
};

// 0, 1, 2, ... as floats (exact up to 2^24): inputs are never all zeros, which can flatter a kernel.
inline std::vector<float> ramp(int64_t n) {
  std::vector<float> host(static_cast<size_t>(n));
  for (size_t i = 0; i < host.size(); ++i) host[i] = static_cast<float>(i);
  return host;
}

// The reference of moving bytes: a device-to-device copy of that many bytes between two arrays of its own
// (it reads and writes them). 0 when the arrays cannot be allocated.
inline double copy_seconds(size_t bytes) {
  DeviceArray<unsigned char> from(bytes), to(bytes);
  if (from.get() == nullptr || to.get() == nullptr || cudaMemset(from.get(), 1, bytes) != cudaSuccess) return 0;
  return seconds_per_call([&] { cudaMemcpy(to.get(), from.get(), bytes, cudaMemcpyDeviceToDevice); });
}

// The reference of filling bytes: cudaMemset of that many bytes. 0 when the array cannot be allocated.
inline double memset_seconds(size_t bytes) {
  DeviceArray<unsigned char> to(bytes);
  if (to.get() == nullptr) return 0;
  return seconds_per_call([&] { cudaMemset(to.get(), 1, bytes); });
}

// Seconds to allocate arrays of these byte sizes and release them, as an export and its caller do per call.
inline double allocation_seconds(const std::vector<size_t>& bytes) {
  return seconds_per_call([&] {
    std::vector<void*> arrays(bytes.size(), nullptr);
    for (size_t k = 0; k < bytes.size(); ++k) cudaMalloc(&arrays[k], bytes[k]);
    for (void* p : arrays) cudaFree(p);
  });
}

// Times an export that writes out_bytes (into new arrays of the sizes allocated, or into existing ones) against a
// device copy of those bytes.
template <typename Work, typename Prepare = Nothing>
void measure_against_copy(benchmark::State& state, size_t out_bytes, Work work,
                          const std::vector<size_t>& allocated = {}, Prepare prepare = {}) {
  const double copy = copy_seconds(out_bytes);
  measure_against(state, "copy", copy, work, allocated.empty() ? 0 : allocation_seconds(allocated), prepare);
}

// Times an export that rewrites range(0) floats in place (a ramp), call(data, n), against a device copy of them.
template <typename Call>
void measure_in_place(benchmark::State& state, Call call) {
  DeviceArray<float> data(ramp(state.range(0)));
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  measure_against_copy(state, sizeof(float) * data.size(), [&] { return call(data.get(), data.size()); });
}

}  // namespace bench_support
