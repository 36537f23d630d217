// Sort, duplicate removal, shuffle and search, each against a reference measured in the same run:
//  - the sort, the duplicate removal (16, 2^16 and n distinct values) and the shuffle against a bare
//    cub::DeviceRadixSort::SortKeys of the same n keys (targets: the sort at least 0.9 of its speed, the others
//    within 3 times its time, that is speed_vs_cub_sort >= 0.33);
//  - the search, with the match first and last, against one read of the array (a sum);
//  - Growth/...: duplicate removal and shuffle over n = 2^14 ... 2^20, with the fitted complexity, for the host
//    variant's check that neither grows faster than n log n.
// Run: bench/bench_sort (cuda variant for the speed figures).
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <cstdint>
#include <vector>

#include "bench_timing.h"
#include "cuda_brelmont.h"
#include "vendor_sort.h"

namespace {

using bench_support::measure_against;
using bench_support::seconds_per_call;

// A device array of n floats, released at the end of the benchmark.
class Floats {
 public:
  explicit Floats(const std::vector<float>& host) {
    if (cudaMalloc(&data_, host.size() * sizeof(float)) != cudaSuccess ||
        cudaMemcpy(data_, host.data(), host.size() * sizeof(float), cudaMemcpyHostToDevice) != cudaSuccess) {
      data_ = nullptr;
    }
  }
  ~Floats() { cudaFree(data_); }
  float* get() const { return data_; }

 private:
  float* data_ = nullptr;
};

uint32_t scramble(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  return x ^ (x >> 16);
}

// n values in a scrambled order, distinct of them different.
std::vector<float> values(int n, uint32_t distinct) {
  std::vector<float> v(n);
  for (int i = 0; i < n; ++i) v[i] = static_cast<float>(scramble(i) % distinct) - static_cast<float>(distinct / 2);
  return v;
}

// The bare vendor sort of the same keys, seconds per call.
double vendor_sort_seconds(const std::vector<float>& keys) {
  const int n = static_cast<int>(keys.size());
  Floats in(keys), out(keys);
  VendorSort sort(n);
  if (!sort.ready() || in.get() == nullptr || out.get() == nullptr) return 0;
  return seconds_per_call([&] { sort.run(in.get(), out.get()); });
}

void BM_Sort(benchmark::State& state) {
  const std::vector<float> keys = values(static_cast<int>(state.range(0)), 0xffffffffu);
  const double reference = vendor_sort_seconds(keys);
  Floats data(keys);
  if (data.get() == nullptr || reference == 0) return state.SkipWithError("allocation failed");
  measure_against(state, "cub_sort", reference, [&] { SGL_SortNDArray(static_cast<int>(keys.size()), data.get()); });
}

void BM_RemoveDuplicates(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const uint32_t distinct = state.range(1) == 0 ? static_cast<uint32_t>(n) : static_cast<uint32_t>(state.range(1));
  const std::vector<float> input = distinct == static_cast<uint32_t>(n) ? values(n, 0xffffffffu) : values(n, distinct);
  const double reference = vendor_sort_seconds(input);
  Floats data(input);
  if (data.get() == nullptr || reference == 0) return state.SkipWithError("allocation failed");
  measure_against(state, "cub_sort", reference, [&] {
    float* out = nullptr;
    int count = 0;
    SGL_RemoveDup1DArray(data.get(), n, &out, &count);
    cudaFree(out);
  });
}

void BM_Shuffle(benchmark::State& state) {
  const std::vector<float> input = values(static_cast<int>(state.range(0)), 0xffffffffu);
  const double reference = vendor_sort_seconds(input);
  Floats data(input);
  if (data.get() == nullptr || reference == 0) return state.SkipWithError("allocation failed");
  measure_against(state, "cub_sort", reference,
                  [&] { SGL_ShuffleNDArray(static_cast<int>(input.size()), data.get()); });
}

// range(1): 0 for the match at the first element, 1 for the last.
void BM_Search(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<float> input(n, 1.0f);
  input[state.range(1) == 0 ? 0 : n - 1] = 2.0f;
  Floats data(input);
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  float sum = 0;
  const double one_read = seconds_per_call([&] { SGL_AddArrayElement(data.get(), n, &sum); });
  int dims[] = {n}, start[] = {0}, index[1], found = 0;
  measure_against(state, "one_read", one_read,
                  [&] { SGL_SearchNDArray(1, n, dims, start, 2.0f, data.get(), &found, index); });
  if (found != 1) state.SkipWithError("no match");
}

// Growth of the time per call with n: the fitted complexity is printed after the rows.
void BM_GrowthRemoveDuplicates(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Floats data(values(n, static_cast<uint32_t>(n / 4)));
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  for (auto _ : state) {
    float* out = nullptr;
    int count = 0;
    SGL_RemoveDup1DArray(data.get(), n, &out, &count);
    cudaFree(out);
  }
  state.SetComplexityN(n);
}

void BM_GrowthShuffle(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Floats data(values(n, 0xffffffffu));
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  for (auto _ : state) SGL_ShuffleNDArray(n, data.get());
  state.SetComplexityN(n);
}

constexpr int kSmall = 1 << 20, kLarge = 1 << 26;

BENCHMARK(BM_Sort)->Arg(kSmall)->Arg(kLarge)->UseRealTime();
BENCHMARK(BM_RemoveDuplicates)->ArgsProduct({{kSmall, kLarge}, {16, 1 << 16, 0}})->ArgNames({"n", "distinct"})->UseRealTime();
BENCHMARK(BM_Shuffle)->Arg(kSmall)->Arg(kLarge)->UseRealTime();
BENCHMARK(BM_Search)->ArgsProduct({{kSmall, kLarge}, {0, 1}})->ArgNames({"n", "last"})->UseRealTime();
BENCHMARK(BM_GrowthRemoveDuplicates)->RangeMultiplier(4)->Range(1 << 14, 1 << 20)->Complexity()->UseRealTime();
BENCHMARK(BM_GrowthShuffle)->RangeMultiplier(4)->Range(1 << 14, 1 << 20)->Complexity()->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
