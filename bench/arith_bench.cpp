// Elementwise and array-array arithmetic against a device copy of the bytes each call writes, measured in the
// same run (speed_vs_copy; target: 0.9 at 2^24 floats and more). Array-array addition runs on two arrays of one
// shape (side x side, the common call) and on a B one row and one column larger (read with its own stride).
// Run: bench/bench_arith (cuda variant for the speed figures; BRELMONT_BENCH_SHORT=65536 for a host run).
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <cmath>
#include <cstdint>

#include "bench_timing.h"
#include "cuda_brelmont.h"

namespace {

using bench_support::DeviceArray;
using bench_support::measure_against_copy;
using bench_support::ramp;

void BM_AddArrayScalar(benchmark::State& state) {
  bench_support::measure_in_place(
      state, [](float* data, int n) { return SGL_AddArrayScalar(data, 0.5f, n) == cudaSuccess; });
}

// range(1): 0 for B of A's shape, 1 for B one row and one column larger.
void BM_AddArrayArray(benchmark::State& state) {
  const int side = static_cast<int>(std::lround(std::sqrt(state.range(0)))), wider = side + state.range(1);
  DeviceArray<float> a(ramp(int64_t{side} * side)), b(ramp(int64_t{wider} * wider));
  if (a.get() == nullptr || b.get() == nullptr) return state.SkipWithError("allocation failed");
  const size_t bytes = sizeof(float) * a.size();
  measure_against_copy(state, bytes, [&] {
    int sizes_a[] = {side, side}, sizes_b[] = {wider, wider}, sizes[2], result_bytes = 0;
    float* result = nullptr;
    const bool ok =
        SGL_AddArrayArray(2, sizes_a, sizes_b, a.get(), b.get(), &result, sizes, &result_bytes) == cudaSuccess;
    cudaFree(result);
    return ok;
  }, {bytes});
}

BENCHMARK(BM_AddArrayScalar)->Apply(bench_support::at_large_sizes);
BENCHMARK(BM_AddArrayArray)->Apply([](bench_support::Registration* b) {
  bench_support::at_sizes(b, {1 << 24, 1 << 26}, {0, 1});
})->ArgNames({"n", "b_wider"});

}  // namespace
