// Whole-array reductions against a device copy of half the array: the copy reads and writes what the reduction
// only reads, so 1 is the copy's bandwidth (speed_vs_copy). Sizes from 2^10 floats, where a call's fixed costs
// dominate, to 2^26.
// Run: bench/bench_reduction (cuda variant for the speed figures; BRELMONT_BENCH_SHORT=65536 for a host run).
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <cstdint>
#include <vector>

#include "bench_timing.h"
#include "cuda_brelmont.h"

namespace {

using bench_support::DeviceArray;

// n floats near 1, so that products stay finite.
std::vector<float> near_one(int64_t n) {
  std::vector<float> host(static_cast<size_t>(n));
  for (size_t i = 0; i < host.size(); ++i) host[i] = 1.0f + static_cast<float>(static_cast<int>(i % 17) - 8) * 1e-7f;
  return host;
}

template <typename Reduce>
void against_half_copy(benchmark::State& state, Reduce reduce) {
  DeviceArray<float> input(near_one(state.range(0)));
  if (input.get() == nullptr) return state.SkipWithError("allocation failed");
  const double copy = bench_support::copy_seconds(sizeof(float) * input.size() / 2);
  bench_support::measure_against(state, "copy", copy, [&] { return reduce(input.get(), input.size()); });
}

void BM_Accumulate(benchmark::State& state, brelmontStatus_t (*accumulate)(float*, int, float*)) {
  float result = 0;
  against_half_copy(state, [&](float* data, int n) { return accumulate(data, n, &result) == BRELMONT_STATUS_SUCCESS; });
}

void BM_MinMax(benchmark::State& state) {
  float mn = 0, mx = 0;
  int min_at[2], max_at[2];
  against_half_copy(state, [&](float* data, int n) {
    int sizes[] = {n / 1024, 1024};
    return SGL_MinMaxArray(2, 0, sizes, data, &mn, &mx, min_at, max_at) == BRELMONT_STATUS_SUCCESS;
  });
}

void sizes(bench_support::Registration* b) {
  bench_support::at_sizes(b, {1 << 10, 1 << 14, 1 << 18, 1 << 22, 1 << 26});
}

BENCHMARK_CAPTURE(BM_Accumulate, Sum, SGL_AddArrayElement)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Accumulate, Product, SGL_MultiplyArrayElement)->Apply(sizes);
BENCHMARK(BM_MinMax)->Apply(sizes);

}  // namespace
