// 1-D sequence operations against a device-to-device copy of the same n floats, measured in the same run.
// Every benchmark reports vs_copy: its time per call over the copy's. The targets, on 2^24 to 2^26 elements:
// reverse <= 1.18 (85% of copy bandwidth), decimate and interleave <= 1.43 (70%), rotate <= 3.3, threshold
// <= 0.5 (one read of the array) with the crossing last and far less with it first.
// Run on the cuda variant: bench/bench_sequence (a short host run: --benchmark_filter=/65536)
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <vector>

#include "cuda_brelmont.h"

namespace {

// A device array holding 0, 1, 2, ... (exact up to 2^24, rising beyond), released at the end.
class Ramp {
 public:
  explicit Ramp(int n) : n_(n) {
    std::vector<float> host(n);
    for (int i = 0; i < n; ++i) host[i] = static_cast<float>(i);
    if (cudaMalloc(&data_, host.size() * sizeof(float)) != cudaSuccess ||
        cudaMemcpy(data_, host.data(), host.size() * sizeof(float), cudaMemcpyHostToDevice) != cudaSuccess) {
      data_ = nullptr;
    }
  }
  Ramp(const Ramp&) = delete;
  Ramp& operator=(const Ramp&) = delete;
  ~Ramp() { cudaFree(data_); }
  float* get() const { return data_; }
  int size() const { return n_; }

 private:
  float* data_ = nullptr;
  int n_;
};

// Seconds per copy of n floats, filled in by BM_Copy, which runs first.
std::map<int, double>& copy_seconds() {
  static std::map<int, double> seconds;
  return seconds;
}

// Times call() per iteration (each call ends with the device idle) and reports it against the copy of n floats.
template <typename Call>
void measure(benchmark::State& state, int n, Call call) {
  double total = 0;
  for (auto _ : state) {
    const auto begin = std::chrono::steady_clock::now();
    if (!call()) return state.SkipWithError("the export failed");
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  }
  const double per_call = total / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * 4 * static_cast<int64_t>(n));
  if (copy_seconds().count(n) != 0) state.counters["vs_copy"] = per_call / copy_seconds()[n];
}

void BM_Copy(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Ramp from(n), to(n);
  if (from.get() == nullptr || to.get() == nullptr) return state.SkipWithError("allocation failed");
  double total = 0;
  for (auto _ : state) {
    const auto begin = std::chrono::steady_clock::now();
    cudaMemcpy(to.get(), from.get(), 4ull * n, cudaMemcpyDeviceToDevice);
    cudaDeviceSynchronize();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  }
  copy_seconds()[n] = total / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * 4 * static_cast<int64_t>(n));
}

void BM_Reverse(benchmark::State& state) {
  Ramp data(static_cast<int>(state.range(0)));
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  measure(state, data.size(), [&] {
    return SGL_Reverse1DArray(data.size(), data.get()) == cudaSuccess && cudaDeviceSynchronize() == cudaSuccess;
  });
}

void BM_Rotate(benchmark::State& state) {
  Ramp data(static_cast<int>(state.range(0)));
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  const int shift = data.size() / 3 + 1;
  measure(state, data.size(), [&] {
    return SGL_Rotate1DArray(data.size(), shift, data.get()) == cudaSuccess && cudaDeviceSynchronize() == cudaSuccess;
  });
}

// Decimation by factor, its new arrays released after each call (their allocation is part of the export).
void BM_Decimate(benchmark::State& state) {
  Ramp data(static_cast<int>(state.range(0)));
  const int factor = static_cast<int>(state.range(1));
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  std::vector<float*> outputs(factor);
  measure(state, data.size(), [&] {
    const bool ok = SGL_Decimate1DArray(data.get(), data.size(), factor, outputs.data()) == cudaSuccess;
    for (float* output : outputs) cudaFree(output);
    return ok;
  });
}

// Interleaving factor device sequences that make up n floats.
void BM_Interleave(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), count = static_cast<int>(state.range(1));
  Ramp data(n);
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  std::vector<float*> inputs(count);
  for (int k = 0; k < count; ++k) inputs[k] = data.get() + static_cast<size_t>(k) * (n / count);
  measure(state, n, [&] {
    float* output = nullptr;
    int length = 0;
    const bool ok = SGL_Interleave1DArray(inputs.data(), n / count, count, &output, &length) == cudaSuccess;
    cudaFree(output);
    return ok;
  });
}

// Threshold 0 on -1, -1, ..., 1: the first rising crossing is the last pair (where = 1) or the first (where = 0).
void BM_Threshold(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<float> host(n, -1.0f);
  for (int i = state.range(1) == 1 ? n - 1 : 1; i < n; ++i) host[i] = 1.0f;
  float* data = nullptr;
  if (cudaMalloc(&data, 4ull * n) != cudaSuccess) return state.SkipWithError("allocation failed");
  cudaMemcpy(data, host.data(), 4ull * n, cudaMemcpyHostToDevice);
  float result = 0;
  measure(state, n, [&] { return SGL_Threshold1DArray(n, 0.0f, 0, data, &result) == cudaSuccess; });
  if (result != (state.range(1) == 1 ? static_cast<float>(n - 2) + 0.5f : 0.5f)) state.SkipWithError("wrong crossing");
  cudaFree(data);
}

constexpr int kSmallest = 1 << 16, kLargest = 1 << 26;

BENCHMARK(BM_Copy)->RangeMultiplier(4)->Range(kSmallest, kLargest)->UseRealTime();
BENCHMARK(BM_Reverse)->RangeMultiplier(4)->Range(kSmallest, kLargest)->UseRealTime();
BENCHMARK(BM_Rotate)->RangeMultiplier(4)->Range(kSmallest, kLargest)->UseRealTime();
BENCHMARK(BM_Decimate)->ArgsProduct({benchmark::CreateRange(kSmallest, kLargest, 4), {2, 4, 8}})->UseRealTime();
BENCHMARK(BM_Interleave)->ArgsProduct({benchmark::CreateRange(kSmallest, kLargest, 4), {2, 4, 8}})->UseRealTime();
BENCHMARK(BM_Threshold)->ArgsProduct({benchmark::CreateRange(kSmallest, kLargest, 4), {0, 1}})->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
