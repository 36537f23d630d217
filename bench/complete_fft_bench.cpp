// FFT completion against a device-to-device copy of the bytes it writes (the copy reads as much as it writes,
// as the completion does). Target: speed_vs_copy at least 0.8. Rows of an odd and an even length.
// Run: bench/bench_complete_fft (cuda variant for the speed figures).
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include "bench_timing.h"
#include "cuda_brelmont.h"

namespace {

// range(0) elements in rows of range(1).
void BM_CompleteFFT(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), row = static_cast<int>(state.range(1));
  int sizes[] = {n / row, row};
  const int elements = sizes[0] * row;
  const size_t written = static_cast<size_t>(sizes[0]) * (row % 2 == 1 ? row / 2 : row / 2 - 1) * sizeof(float2);
  float2* data = nullptr;
  float2* copy = nullptr;
  if (cudaMalloc(&data, elements * sizeof(float2)) != cudaSuccess ||
      cudaMalloc(&copy, elements * sizeof(float2)) != cudaSuccess ||
      cudaMemset(data, 0, elements * sizeof(float2)) != cudaSuccess) {
    cudaFree(data);
    return state.SkipWithError("allocation failed");
  }
  const double reference = bench_support::seconds_per_call(
      [&] { cudaMemcpy(copy, data, written, cudaMemcpyDeviceToDevice); });
  bench_support::measure_against(state, "copy", reference, [&] { CompleteFFT(data, sizes, 2); });
  state.SetBytesProcessed(static_cast<int64_t>(2 * written) * state.iterations());
  cudaFree(data);
  cudaFree(copy);
}

BENCHMARK(BM_CompleteFFT)->ArgsProduct({{1 << 20, 1 << 26}, {1023, 1024, 1 << 20}})->ArgNames({"n", "row"})->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
