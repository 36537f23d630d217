// Filling arrays against cudaMemset of the same bytes, measured in the same run (speed_vs_memset): in place
// (SGL_SetTensor) and into a new array (SGL_InitArray, whose allocation is taken out of its time).
// Run: bench/bench_creation (cuda variant for the speed figures; BRELMONT_BENCH_SHORT=65536 for a host run).
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include "bench_timing.h"
#include "cuda_brelmont.h"

namespace {

void BM_SetTensor(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  bench_support::DeviceArray<float> data(static_cast<size_t>(n));
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  bench_support::measure_against(state, "memset", bench_support::memset_seconds(sizeof(float) * n),
                                 [&] { return SGL_SetTensor(data.get(), 1.5f, n) == cudaSuccess; });
}

void BM_InitArray(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const size_t bytes = sizeof(float) * n;
  bench_support::measure_against(state, "memset", bench_support::memset_seconds(bytes), [&] {
    float* data = SGL_InitArray(n, 1.5f);
    cudaFree(data);
    return data != nullptr;
  }, bench_support::allocation_seconds({bytes}));
}

void sizes(bench_support::Registration* b) { bench_support::at_sizes(b, {1 << 10, 1 << 20, 1 << 24}); }

BENCHMARK(BM_SetTensor)->Apply(sizes);
BENCHMARK(BM_InitArray)->Apply(sizes);

}  // namespace
