// Sort, duplicate removal, shuffle and search, each against a reference measured in the same run:
//  - the sort, the duplicate removal (16, 2^16 and n distinct values) and the shuffle against a bare
//    cub::DeviceRadixSort::SortKeys of the same n scrambled keys (targets: the sort at least 0.9 of its speed, the
//    others within 3 times its time, speed_vs_cub_sort >= 0.33). The sort gets its scrambled keys back before
//    every call, outside the timed region;
//  - the search, with the match first and last, against a device copy of half the array, which moves the bytes
//    of one read of it (speed_vs_copy);
//  - Growth: duplicate removal and shuffle over n = 2^14 ... 2^20 against the same vendor sort, with the fitted
//    complexity, for the host variant's check that neither grows faster than n log n.
// Run: bench/bench_sort (cuda variant for the speed figures; BRELMONT_BENCH_SHORT=65536 for a host run).
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <cstdint>
#include <vector>

#include "bench_timing.h"
#include "cuda_brelmont.h"
#include "vendor_sort.h"

namespace {

using bench_support::DeviceArray;
using bench_support::measure_against;

uint32_t scramble(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  return x ^ (x >> 16);
}

// n values in a scrambled order, distinct of them different.
std::vector<float> values(int64_t n, uint32_t distinct) {
  std::vector<float> v(static_cast<size_t>(n));
  for (size_t i = 0; i < v.size(); ++i) {
    v[i] = static_cast<float>(scramble(static_cast<uint32_t>(i)) % distinct) - static_cast<float>(distinct / 2);
  }
  return v;
}

// The bare vendor sort of the same keys, seconds per call; 0 when it cannot run.
double vendor_sort_seconds(const std::vector<float>& keys) {
  DeviceArray<float> in(keys), out(keys.size());
  VendorSort sort(static_cast<int>(keys.size()));
  if (!sort.ready() || in.get() == nullptr || out.get() == nullptr) return 0;
  return bench_support::seconds_per_call([&] { sort.run(in.get(), out.get()); });
}

void BM_Sort(benchmark::State& state) {
  const std::vector<float> keys = values(state.range(0), 0xffffffffu);
  DeviceArray<float> scrambled(keys), data(keys.size());
  if (scrambled.get() == nullptr || data.get() == nullptr) return state.SkipWithError("allocation failed");
  const size_t bytes = sizeof(float) * keys.size();
  measure_against(
      state, "cub_sort", vendor_sort_seconds(keys),
      [&] { return SGL_SortNDArray(data.size(), data.get()) == cudaSuccess; }, 0,
      [&] { cudaMemcpy(data.get(), scrambled.get(), bytes, cudaMemcpyDeviceToDevice); });
}

void remove_duplicates(benchmark::State& state, uint32_t distinct) {
  const std::vector<float> input = values(state.range(0), distinct);
  DeviceArray<float> data(input);
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  measure_against(state, "cub_sort", vendor_sort_seconds(input), [&] {
    float* out = nullptr;
    int count = 0;
    SGL_RemoveDup1DArray(data.get(), data.size(), &out, &count);
    cudaFree(out);
    return count > 0;
  });
}

// range(1) distinct values, or for 0 as many as n scrambled 32-bit keys give.
void BM_RemoveDuplicates(benchmark::State& state) {
  remove_duplicates(state, state.range(1) == 0 ? 0xffffffffu : static_cast<uint32_t>(state.range(1)));
}

void shuffle(benchmark::State& state) {
  const std::vector<float> input = values(state.range(0), 0xffffffffu);
  DeviceArray<float> data(input);
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  measure_against(state, "cub_sort", vendor_sort_seconds(input),
                  [&] { return SGL_ShuffleNDArray(data.size(), data.get()) == cudaSuccess; });
}

void BM_Shuffle(benchmark::State& state) { shuffle(state); }

// range(1): 0 for the match at the first element, 1 for the last.
void BM_Search(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<float> input(n, 1.0f);
  input[state.range(1) == 0 ? 0 : n - 1] = 2.0f;
  DeviceArray<float> data(input);
  if (data.get() == nullptr) return state.SkipWithError("allocation failed");
  bench_support::measure_against_copy(state, sizeof(float) * n / 2, [&] {
    int dims[] = {n}, start[] = {0}, index[1], found = 0;
    SGL_SearchNDArray(1, n, dims, start, 2.0f, data.get(), &found, index);
    return found == 1;
  });
}

// Growth of the time per call with n: the fitted complexity is printed after the rows.
void BM_GrowthRemoveDuplicates(benchmark::State& state) {
  remove_duplicates(state, static_cast<uint32_t>(state.range(0) / 4));
  state.SetComplexityN(state.range(0));
}

void BM_GrowthShuffle(benchmark::State& state) {
  shuffle(state);
  state.SetComplexityN(state.range(0));
}

void sizes(bench_support::Registration* b) { bench_support::at_sizes(b, {1 << 20, 1 << 26}); }
void growth(bench_support::Registration* b) { bench_support::growing(b, 1 << 14, 1 << 20); }

BENCHMARK(BM_Sort)->Apply(sizes);
BENCHMARK(BM_RemoveDuplicates)->Apply([](bench_support::Registration* b) {
  bench_support::at_sizes(b, {1 << 20, 1 << 26}, {16, 1 << 16, 0});
})->ArgNames({"n", "distinct"});
BENCHMARK(BM_Shuffle)->Apply(sizes);
BENCHMARK(BM_Search)->Apply([](bench_support::Registration* b) {
  bench_support::at_sizes(b, {1 << 20, 1 << 26}, {0, 1});
})->ArgNames({"n", "last"});
BENCHMARK(BM_GrowthRemoveDuplicates)->Apply(growth)->Complexity();
BENCHMARK(BM_GrowthShuffle)->Apply(growth)->Complexity();

}  // namespace
