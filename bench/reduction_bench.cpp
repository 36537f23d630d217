// Whole-array reductions and array-array arithmetic, per call, against a device-to-device copy of the same
// array as the memory-bandwidth reference: a reduction reads the array once, the copy reads and writes it.
// Run on the cuda variant: bench/reduction_bench
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <cstdint>
#include <vector>

#include "cuda_brelmont.h"

namespace {

// A device array of n floats near 1 (so products stay finite), released at the end of the benchmark.
class Input {
 public:
  explicit Input(int n) : n_(n) {
    std::vector<float> host(n);
    for (int i = 0; i < n; ++i) host[i] = 1.0f + static_cast<float>(i % 17 - 8) * 1e-7f;
    if (cudaMalloc(&data_, host.size() * sizeof(float)) != cudaSuccess ||
        cudaMemcpy(data_, host.data(), host.size() * sizeof(float), cudaMemcpyHostToDevice) != cudaSuccess) {
      data_ = nullptr;
    }
  }
  ~Input() { cudaFree(data_); }
  float* get() const { return data_; }
  int size() const { return n_; }

 private:
  float* data_ = nullptr;
  int n_;
};

void count_bytes(benchmark::State& state, double bytes_per_call) {
  state.SetBytesProcessed(static_cast<int64_t>(bytes_per_call * static_cast<double>(state.iterations())));
}

// Sum or product of the whole array, one export call per iteration.
void BM_Accumulate(benchmark::State& state, brelmontStatus_t (*accumulate)(float*, int, float*)) {
  Input input(static_cast<int>(state.range(0)));
  if (input.get() == nullptr) return state.SkipWithError("allocation failed");
  float result = 0;
  for (auto _ : state) {
    if (accumulate(input.get(), input.size(), &result) != BRELMONT_STATUS_SUCCESS) {
      return state.SkipWithError("reduction failed");
    }
    benchmark::DoNotOptimize(result);
  }
  count_bytes(state, 4.0 * input.size());
}

void BM_MinMax(benchmark::State& state) {
  Input input(static_cast<int>(state.range(0)));
  if (input.get() == nullptr) return state.SkipWithError("allocation failed");
  int sizes[] = {input.size() / 1024, 1024};
  float mn = 0, mx = 0;
  int min_at[2], max_at[2];
  for (auto _ : state) {
    if (SGL_MinMaxArray(2, 0, sizes, input.get(), &mn, &mx, min_at, max_at) != BRELMONT_STATUS_SUCCESS) {
      return state.SkipWithError("min/max failed");
    }
    benchmark::DoNotOptimize(mn);
  }
  count_bytes(state, 4.0 * input.size());
}

// A and B of 1024 columns, B one row and one column larger: the result is A's shape, B read with its own stride.
void BM_AddArrayArray(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0)) / 1024;
  Input a(rows * 1024), b((rows + 1) * 1025);
  if (a.get() == nullptr || b.get() == nullptr) return state.SkipWithError("allocation failed");
  int sizes_a[] = {rows, 1024}, sizes_b[] = {rows + 1, 1025}, sizes[2], bytes = 0;
  for (auto _ : state) {
    float* result = nullptr;
    if (SGL_AddArrayArray(2, sizes_a, sizes_b, a.get(), b.get(), &result, sizes, &bytes) != cudaSuccess) {
      return state.SkipWithError("add failed");
    }
    cudaFree(result);
  }
  count_bytes(state, 3.0 * 4.0 * a.size());
}

void BM_CopyReference(benchmark::State& state) {
  Input from(static_cast<int>(state.range(0))), to(static_cast<int>(state.range(0)));
  if (from.get() == nullptr || to.get() == nullptr) return state.SkipWithError("allocation failed");
  for (auto _ : state) {
    cudaMemcpy(to.get(), from.get(), 4ull * from.size(), cudaMemcpyDeviceToDevice);
    cudaDeviceSynchronize();
  }
  count_bytes(state, 2.0 * 4.0 * from.size());
}

constexpr int kSmallest = 1 << 10, kLargest = 1 << 26;

BENCHMARK_CAPTURE(BM_Accumulate, Sum, SGL_AddArrayElement)->RangeMultiplier(16)->Range(kSmallest, kLargest)->UseRealTime();
BENCHMARK_CAPTURE(BM_Accumulate, Product, SGL_MultiplyArrayElement)->RangeMultiplier(16)->Range(kSmallest, kLargest)->UseRealTime();
BENCHMARK(BM_MinMax)->RangeMultiplier(16)->Range(kSmallest, kLargest)->UseRealTime();
BENCHMARK(BM_AddArrayArray)->RangeMultiplier(16)->Range(kSmallest, kLargest)->UseRealTime();
BENCHMARK(BM_CopyReference)->RangeMultiplier(16)->Range(kSmallest, kLargest)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
