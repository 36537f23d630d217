// Fill throughput of the creation exports: bytes written per second.
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include "cuda_brelmont.h"

namespace {

void BM_SetTensor(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  float* data = nullptr;
  if (cudaMalloc(&data, n * sizeof(float)) != cudaSuccess) return state.SkipWithError("cudaMalloc failed");
  for (auto _ : state) {
    if (SGL_SetTensor(data, 1.5f, n) != cudaSuccess) state.SkipWithError("SGL_SetTensor failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(n) * sizeof(float));
  cudaFree(data);
}
BENCHMARK(BM_SetTensor)->Arg(1 << 10)->Arg(1 << 20)->Arg(1 << 24);

void BM_InitArray(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    float* data = SGL_InitArray(n, 1.5f);
    if (data == nullptr) state.SkipWithError("SGL_InitArray failed");
    cudaFree(data);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(n) * sizeof(float));
}
BENCHMARK(BM_InitArray)->Arg(1 << 10)->Arg(1 << 20)->Arg(1 << 24);

}  // namespace
