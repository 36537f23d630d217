// Timing an export against a reference measured in the same run, reported as a ratio.
#pragma once

#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <chrono>

namespace bench_support {

inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Seconds per call of work (device work included), over enough calls to take about 0.2 s after a warm-up call.
template <typename Work>
double seconds_per_call(Work work) {
  work();
  cudaDeviceSynchronize();
  int calls = 0;
  const auto start = std::chrono::steady_clock::now();
  do {
    work();
    cudaDeviceSynchronize();
    ++calls;
  } while (seconds_since(start) < 0.2 && calls < 10000);
  return seconds_since(start) / calls;
}

// Runs work in the benchmark's loop and reports reference time / its time per call as the counter
// "speed_vs_<name>": 1 is the reference's speed, above 1 faster. Printed, never asserted.
template <typename Work>
void measure_against(benchmark::State& state, const char* name, double reference_seconds, Work work) {
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) work();
  cudaDeviceSynchronize();
  const double per_call = seconds_since(start) / static_cast<double>(state.iterations());
  state.counters[std::string("speed_vs_") + name] = reference_seconds / per_call;
}

}  // namespace bench_support
