// The N-D family against a device copy of the bytes each call writes, measured in the same run (speed_vs_copy;
// target: 0.9 for every export, 0.85 for the transposes, at 2^24 floats and more). Square shapes of n = side^2
// floats; the transposes also run at 2^18 and 2^20 floats: (16, 128, 128), (64, 128, 128) and 512 x 512,
// 1024 x 1024, where the order of their tiles matters most. The small case times a 1024-element subset against
// what a call cannot avoid (speed_vs_floor; target: 0.67).
// Run: bench/bench_nd (cuda variant for the speed figures; BRELMONT_BENCH_SHORT=65536 for a host run).
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bench_timing.h"
#include "cuda_brelmont.h"

namespace {

using bench_support::DeviceArray;
using bench_support::measure_against_copy;

constexpr size_t kFloat = sizeof(float);

int side_of(const benchmark::State& state) { return static_cast<int>(std::lround(std::sqrt(state.range(0)))); }

// An input of n floats, 0, 1, 2, ...
struct Input : DeviceArray<float> {
  explicit Input(int64_t n) : DeviceArray<float>(bench_support::ramp(n)) {}
};

// A box of 31/32 of the side in each dimension (496 x 496 of 512 x 512), away from the corner.
void BM_Subset(benchmark::State& state) {
  const int side = side_of(state), edge = side / 32 * 31;
  Input src(int64_t{side} * side);
  if (src.get() == nullptr) return state.SkipWithError("allocation failed");
  const size_t bytes = size_t{kFloat} * edge * edge;
  measure_against_copy(state, bytes, [&] {
    int dims[] = {side, side}, start[] = {side / 64, side / 64}, box[] = {edge, edge};
    float* out = nullptr;
    const bool ok = SGL_ArraySubset(2, dims, start, box, src.get(), &out) == cudaSuccess;
    cudaFree(out);
    return ok;
  }, {bytes});
}

// The middle half of every row replaced.
void BM_Replace(benchmark::State& state) {
  const int side = side_of(state);
  Input dst(int64_t{side} * side), sub(int64_t{side} * side / 2);
  if (dst.get() == nullptr || sub.get() == nullptr) return state.SkipWithError("allocation failed");
  measure_against_copy(state, size_t{kFloat} * sub.size(), [&] {
    int dims[] = {side, side}, sub_dims[] = {side, side / 2}, start[] = {0, side / 4};
    return SGL_ReplaceArraySubset(2, dims, sub_dims, start, dst.get(), sub.get()) == cudaSuccess;
  });
}

// (n / 4096, 64, 64) without positions 16 ... 31 of the middle axis: both parts are written.
void BM_Delete(benchmark::State& state) {
  const int64_t n = state.range(0);
  Input src(n);
  if (src.get() == nullptr) return state.SkipWithError("allocation failed");
  const size_t kept = kFloat * n / 4 * 3, deleted_bytes = kFloat * n / 4;
  measure_against_copy(state, kept + deleted_bytes, [&] {
    int dims[] = {static_cast<int>(n / 4096), 64, 64}, out_dims[3], deleted_dims[3];
    float *out = nullptr, *deleted = nullptr;
    const bool ok =
        SGL_DeleteFromArray(3, dims, 16, 16, 1, src.get(), &out, out_dims, &deleted, deleted_dims) == cudaSuccess;
    cudaFree(out);
    cudaFree(deleted);
    return ok;
  }, {kept, deleted_bytes});
}

// An eighth of the rows inserted in the middle of the other seven eighths (64 rows into 448 x 512).
void BM_Insert(benchmark::State& state) {
  const int side = side_of(state);
  Input src(int64_t{side} * side / 8 * 7), ins(int64_t{side} * side / 8);
  if (src.get() == nullptr || ins.get() == nullptr) return state.SkipWithError("allocation failed");
  const size_t bytes = size_t{kFloat} * side * side;
  measure_against_copy(state, bytes, [&] {
    int dims[] = {side / 8 * 7, side}, ins_dims[] = {side / 8, side}, out_dims[2];
    float* out = nullptr;
    const bool ok =
        SGL_InsertIntoArray(2, 2, dims, ins_dims, side / 16 * 7, 0, src.get(), ins.get(), &out, out_dims) ==
        cudaSuccess;
    cudaFree(out);
    return ok;
  }, {bytes});
}

// Two halves of the rows joined (two 256 x 512 blocks): range(1) 0 concatenates, 1 builds.
void BM_Join(benchmark::State& state) {
  const int side = side_of(state);
  Input a(int64_t{side} * side / 2), b(int64_t{side} * side / 2);
  if (a.get() == nullptr || b.get() == nullptr) return state.SkipWithError("allocation failed");
  const size_t bytes = size_t{kFloat} * side * side;
  const bool build = state.range(1) == 1;
  measure_against_copy(state, bytes, [&] {
    int dims[] = {side / 2, side}, out_dims[3];
    float* out = nullptr;
    (build ? SGL_BuildArray : SGL_ConcatenateArray)(2, 2, dims, dims, a.get(), b.get(), &out, out_dims);
    cudaFree(out);
    return out != nullptr;
  }, {bytes});
}

void BM_Reshape(benchmark::State& state) {
  const int side = side_of(state);
  Input src(int64_t{side} * side);
  if (src.get() == nullptr) return state.SkipWithError("allocation failed");
  const size_t bytes = size_t{kFloat} * side * side;
  measure_against_copy(state, bytes, [&] {
    int dims[] = {side * 2, side / 2};
    float* out = nullptr;
    const bool ok = SGL_ReshapeArray(src.get(), src.size(), dims, 2, &out) == cudaSuccess;
    cudaFree(out);
    return ok;
  }, {bytes});
}

// Square, into the caller's array; n = 2^18 and 2^20 give the named 512 x 512 and 1024 x 1024.
void BM_Transpose2D(benchmark::State& state) {
  const int side = side_of(state);
  Input src(int64_t{side} * side), dst(int64_t{side} * side);
  if (src.get() == nullptr || dst.get() == nullptr) return state.SkipWithError("allocation failed");
  measure_against_copy(state, size_t{kFloat} * side * side, [&] {
    int dims[] = {side, side};
    return SGL_Transpose2DArray(dims, src.get(), dst.get()) == cudaSuccess;
  });
}

// (n / 16384, 128, 128) permuted by (2, 1, 0), the innermost dimension moving (range(1) 0), or by (1, 0, 2),
// the innermost staying (range(1) 1).
void BM_TransposeND(benchmark::State& state) {
  const int64_t n = state.range(0);
  Input src(n);
  if (src.get() == nullptr) return state.SkipWithError("allocation failed");
  const bool stays = state.range(1) == 1;
  measure_against_copy(state, kFloat * n, [&] {
    int dims[] = {static_cast<int>(n / 16384), 128, 128}, out_dims[3];
    int moves[] = {2, 1, 0}, keeps[] = {1, 0, 2};
    float* out = nullptr;
    SGL_TransposeNDArray(3, dims, stays ? keeps : moves, src.get(), &out, out_dims);
    cudaFree(out);
    return out != nullptr;
  }, {kFloat * n});
}

// A 1024-element subset against what it cannot avoid: one allocation, one copy of the box (standing for the
// launch), one synchronisation and the caller's release.
void BM_SmallSubset(benchmark::State& state) {
  Input src(1024);
  if (src.get() == nullptr) return state.SkipWithError("allocation failed");
  const double floor = bench_support::seconds_per_call([&] {
    float* out = nullptr;
    cudaMalloc(&out, 1024 * kFloat);
    cudaMemcpy(out, src.get(), 1024 * kFloat, cudaMemcpyDeviceToDevice);
    cudaDeviceSynchronize();
    cudaFree(out);
  });
  bench_support::measure_against(state, "floor", floor, [&] {
    int dims[] = {1024}, start[] = {0}, box[] = {1024};
    float* out = nullptr;
    const bool ok = SGL_ArraySubset(1, dims, start, box, src.get(), &out) == cudaSuccess;
    cudaFree(out);
    return ok;
  });
}

// The transposes also run at 2^18 and 2^20 floats, the named shapes, in short runs too.
void transpose_sizes(bench_support::Registration* b, const std::vector<int64_t>& second) {
  bench_support::at_sizes(b, {1 << 18, 1 << 20, 1 << 24, 1 << 26}, second, {1 << 18, 1 << 20});
}

BENCHMARK(BM_Subset)->Apply(bench_support::at_large_sizes);
BENCHMARK(BM_Replace)->Apply(bench_support::at_large_sizes);
BENCHMARK(BM_Delete)->Apply(bench_support::at_large_sizes);
BENCHMARK(BM_Insert)->Apply(bench_support::at_large_sizes);
BENCHMARK(BM_Join)->Apply([](bench_support::Registration* b) {
  bench_support::at_sizes(b, {1 << 24, 1 << 26}, {0, 1});
})->ArgNames({"n", "build"});
BENCHMARK(BM_Reshape)->Apply(bench_support::at_large_sizes);
BENCHMARK(BM_Transpose2D)->Apply([](bench_support::Registration* b) { transpose_sizes(b, {}); });
BENCHMARK(BM_TransposeND)->Apply([](bench_support::Registration* b) {
  transpose_sizes(b, {0, 1});
})->ArgNames({"n", "innermost_stays"});
BENCHMARK(BM_SmallSubset)->Apply(bench_support::timed);

}  // namespace
