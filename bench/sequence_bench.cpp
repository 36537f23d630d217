// 1-D sequence operations against a device copy of the bytes each call writes, measured in the same run
// (speed_vs_copy). Targets at 2^24 floats and more: reverse 0.85, decimate and interleave 0.7, rotate 0.3. The
// threshold writes nothing to the device: its reference is a copy of half the array, which moves the bytes of
// one read of it (target 1 with the crossing last, far more with it first).
// Run: bench/bench_sequence (cuda variant for the speed figures; BRELMONT_BENCH_SHORT=65536 for a host run).
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <cstdint>
#include <vector>

#include "bench_timing.h"
#include "cuda_brelmont.h"

namespace {

using bench_support::DeviceArray;
using bench_support::measure_against_copy;
using bench_support::ramp;

void BM_Reverse(benchmark::State& state) {
  bench_support::measure_in_place(state, [](float* data, int n) { return SGL_Reverse1DArray(n, data) == cudaSuccess; });
}

void BM_Rotate(benchmark::State& state) {
  bench_support::measure_in_place(
      state, [](float* data, int n) { return SGL_Rotate1DArray(n, n / 3 + 1, data) == cudaSuccess; });
}

// Decimation by range(1); its new arrays are released after each call.
void BM_Decimate(benchmark::State& state) {
  DeviceArray<float> data(ramp(state.range(0)));
  const int factor = static_cast<int>(state.range(1));
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  std::vector<float*> outputs(factor);
  const size_t each = sizeof(float) * (data.size() / factor);
  measure_against_copy(state, each * factor, [&] {
    const bool ok = SGL_Decimate1DArray(data.get(), data.size(), factor, outputs.data()) == cudaSuccess;
    for (float* output : outputs) cudaFree(output);
    return ok;
  }, std::vector<size_t>(factor, each));
}

// Interleaving range(1) device sequences that make up n floats.
void BM_Interleave(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), count = static_cast<int>(state.range(1));
  DeviceArray<float> data(ramp(n));
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  std::vector<float*> inputs(count);
  for (int k = 0; k < count; ++k) inputs[k] = data.get() + static_cast<size_t>(k) * (n / count);
  const size_t bytes = sizeof(float) * (n / count) * count;
  measure_against_copy(state, bytes, [&] {
    float* output = nullptr;
    int length = 0;
    const bool ok = SGL_Interleave1DArray(inputs.data(), n / count, count, &output, &length) == cudaSuccess;
    cudaFree(output);
    return ok;
  }, {bytes});
}

// Threshold 0 on -1, -1, ..., 1: the first rising crossing is the last pair (range(1) = 1) or the first (0).
void BM_Threshold(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool last = state.range(1) == 1;
  std::vector<float> host(n, -1.0f);
  for (int i = last ? n - 1 : 1; i < n; ++i) host[i] = 1.0f;
  DeviceArray<float> data(host);
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  const float expected = last ? static_cast<float>(n - 2) + 0.5f : 0.5f;
  measure_against_copy(state, sizeof(float) * n / 2, [&] {
    float result = 0;
    return SGL_Threshold1DArray(n, 0.0f, 0, data.get(), &result) == cudaSuccess && result == expected;
  });
}

// 2^16 to 2^26 floats in steps of 4.
std::vector<int64_t> sizes() { return benchmark::CreateRange(1 << 16, 1 << 26, 4); }

BENCHMARK(BM_Reverse)->Apply([](bench_support::Registration* b) { bench_support::at_sizes(b, sizes()); });
BENCHMARK(BM_Rotate)->Apply([](bench_support::Registration* b) { bench_support::at_sizes(b, sizes()); });
BENCHMARK(BM_Decimate)->Apply([](bench_support::Registration* b) {
  bench_support::at_sizes(b, sizes(), {2, 4, 8});
})->ArgNames({"n", "factor"});
BENCHMARK(BM_Interleave)->Apply([](bench_support::Registration* b) {
  bench_support::at_sizes(b, sizes(), {2, 4, 8});
})->ArgNames({"n", "count"});
BENCHMARK(BM_Threshold)->Apply([](bench_support::Registration* b) {
  bench_support::at_sizes(b, sizes(), {0, 1});
})->ArgNames({"n", "last"});

}  // namespace
