// FFT completion against a device copy of the bytes it writes (the copy reads as much as it writes, as the
// completion does), measured in the same run (speed_vs_copy; target: 0.9 at 2^24 floats and more). Rows of an
// odd and an even length (128 x 1024 complex scaled up), and in a full run one long row.
// Run: bench/bench_complete_fft (cuda variant for the speed figures; BRELMONT_BENCH_SHORT=65536 for a host run).
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <cstdint>
#include <vector>

#include "bench_timing.h"
#include "cuda_brelmont.h"

namespace {

// range(0) floats (range(0) / 2 complex elements) in rows of range(1) complex elements.
void BM_CompleteFFT(benchmark::State& state) {
  const int row = static_cast<int>(state.range(1));
  int sizes[] = {static_cast<int>(state.range(0) / 2 / row), row};
  if (sizes[0] < 1) return state.SkipWithError("fewer elements than one row");
  std::vector<float2> host(static_cast<size_t>(sizes[0]) * row);
  for (size_t i = 0; i < host.size(); ++i) host[i] = {static_cast<float>(i % 1000), -static_cast<float>(i % 999)};
  bench_support::DeviceArray<float2> data(host);
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  const size_t written = static_cast<size_t>(sizes[0]) * (row % 2 == 1 ? row / 2 : row / 2 - 1) * sizeof(float2);
  bench_support::measure_against_copy(state, written, [&] {
    CompleteFFT(data.get(), sizes, 2);
    return cudaGetLastError() == cudaSuccess;
  });
}

BENCHMARK(BM_CompleteFFT)->Apply([](bench_support::Registration* b) {
  std::vector<int64_t> rows = {1023, 1024};
  if (!bench_support::short_run()) rows.push_back(1 << 20);
  bench_support::at_sizes(b, {1 << 24, 1 << 26}, rows);
})->ArgNames({"n", "row"});

}  // namespace
