// The N-D family against a device-to-device copy of the same bytes, measured in the same run: each benchmark
// reports vs_copy, its time per call over the copy's (a copy of the output's bytes; 1.0 is copy bandwidth).
// The small case times a 1024-element call against one launch, one synchronisation and the output's allocation.
// Run on the cuda variant: bench/bench_nd
#include <benchmark/benchmark.h>
#include <cuda_runtime.h>

#include <chrono>
#include <functional>
#include <vector>

#include "cuda_brelmont.h"

namespace {

float* device_array(int n) {
  float* p = nullptr;
  if (cudaMalloc(&p, sizeof(float) * static_cast<size_t>(n)) != cudaSuccess) return nullptr;
  cudaMemset(p, 0, sizeof(float) * static_cast<size_t>(n));
  return p;
}

// Seconds per call of work (followed by a device synchronisation), over a few timed calls.
double seconds_per_call(const std::function<void()>& work, int calls = 5) {
  work();
  cudaDeviceSynchronize();
  const auto start = std::chrono::steady_clock::now();
  for (int k = 0; k < calls; ++k) work();
  cudaDeviceSynchronize();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / calls;
}

// Times one N-D call on n-element inputs against a device copy of n floats.
void run(benchmark::State& state, const std::function<void(float*, float*, float*)>& call) {
  const int n = static_cast<int>(state.range(0));
  float *a = device_array(n), *b = device_array(n), *c = device_array(n);
  if (a == nullptr || b == nullptr || c == nullptr) return state.SkipWithError("allocation failed");
  const double copy = seconds_per_call([&] { cudaMemcpy(c, a, sizeof(float) * n, cudaMemcpyDeviceToDevice); });
  double total = 0;
  for (auto _ : state) {
    const double t = seconds_per_call([&] { call(a, b, c); });
    state.SetIterationTime(t);
    total += t;
  }
  state.counters["vs_copy"] = total / static_cast<double>(state.iterations()) / copy;
  cudaFree(a);
  cudaFree(b);
  cudaFree(c);
}

// Shapes of n = 2^k elements: (n / 1024, 1024) and (n / 4096, 64, 64).
int rows_of(int n) { return n / 1024; }

void BM_Subset(benchmark::State& state) {  // all rows but the first, columns 1 ... 1022 (n - 2 rows read)
  run(state, [&](float* a, float*, float*) {
    const int n = static_cast<int>(state.range(0));
    int dims[] = {rows_of(n), 1024}, start[] = {1, 1}, box[] = {rows_of(n) - 1, 1022};
    float* out = nullptr;
    SGL_ArraySubset(2, dims, start, box, a, &out);
    cudaFree(out);
  });
}

void BM_Replace(benchmark::State& state) {
  run(state, [&](float* a, float* b, float*) {
    const int n = static_cast<int>(state.range(0));
    int dims[] = {rows_of(n), 1024}, sub[] = {rows_of(n), 512}, start[] = {0, 256};
    SGL_ReplaceArraySubset(2, dims, sub, start, a, b);
  });
}

void BM_Delete(benchmark::State& state) {
  run(state, [&](float* a, float*, float*) {
    const int n = static_cast<int>(state.range(0));
    int dims[] = {n / 4096, 64, 64}, out_dims[3], deleted_dims[3];
    float *out = nullptr, *deleted = nullptr;
    SGL_DeleteFromArray(3, dims, 16, 16, 1, a, &out, out_dims, &deleted, deleted_dims);
    cudaFree(out);
    cudaFree(deleted);
  });
}

void BM_Insert(benchmark::State& state) {
  run(state, [&](float* a, float* b, float*) {
    const int n = static_cast<int>(state.range(0));
    int dims[] = {n / 4096, 64, 32}, ins[] = {n / 4096, 64, 32}, out_dims[3];
    float* out = nullptr;
    SGL_InsertIntoArray(3, 3, dims, ins, 16, 2, a, b, &out, out_dims);
    cudaFree(out);
  });
}

void BM_Concatenate(benchmark::State& state) {
  run(state, [&](float* a, float* b, float*) {
    const int n = static_cast<int>(state.range(0));
    int dims[] = {rows_of(n) / 2, 1024}, out_dims[2];
    float* out = nullptr;
    SGL_ConcatenateArray(2, 2, dims, dims, a, b, &out, out_dims);
    cudaFree(out);
  });
}

void BM_Build(benchmark::State& state) {
  run(state, [&](float* a, float* b, float*) {
    const int n = static_cast<int>(state.range(0));
    int dims[] = {rows_of(n) / 2, 1024}, out_dims[3];
    float* out = nullptr;
    SGL_BuildArray(2, 2, dims, dims, a, b, &out, out_dims);
    cudaFree(out);
  });
}

void BM_Reshape(benchmark::State& state) {
  run(state, [&](float* a, float*, float*) {
    const int n = static_cast<int>(state.range(0));
    int dims[] = {1024, rows_of(n)};
    float* out = nullptr;
    SGL_ReshapeArray(a, n, dims, 2, &out);
    cudaFree(out);
  });
}

void BM_Transpose2D(benchmark::State& state) {
  run(state, [&](float* a, float*, float* c) {
    int dims[] = {rows_of(static_cast<int>(state.range(0))), 1024};
    SGL_Transpose2DArray(dims, a, c);
  });
}

void BM_TransposeInnermostMoves(benchmark::State& state) {
  run(state, [&](float* a, float*, float*) {
    int dims[] = {static_cast<int>(state.range(0)) / 4096, 64, 64}, perm[] = {2, 0, 1}, out_dims[3];
    float* out = nullptr;
    SGL_TransposeNDArray(3, dims, perm, a, &out, out_dims);
    cudaFree(out);
  });
}

void BM_TransposeInnermostStays(benchmark::State& state) {
  run(state, [&](float* a, float*, float*) {
    int dims[] = {static_cast<int>(state.range(0)) / 4096, 64, 64}, perm[] = {1, 0, 2}, out_dims[3];
    float* out = nullptr;
    SGL_TransposeNDArray(3, dims, perm, a, &out, out_dims);
    cudaFree(out);
  });
}

// A 1024-element subset against what it cannot avoid: one allocation, one launch (a device copy stands for
// it) and one synchronisation. Target: vs_floor at most 1.5.
void BM_SmallSubset(benchmark::State& state) {
  float* a = device_array(1024);
  int dims[] = {1024}, start[] = {0}, box[] = {1024};
  const double floor = seconds_per_call([&] {
    float* out = nullptr;
    cudaMalloc(&out, 4096);
    cudaMemcpy(out, a, 4096, cudaMemcpyDeviceToDevice);
    cudaDeviceSynchronize();
    cudaFree(out);
  }, 50);
  double total = 0;
  for (auto _ : state) {
    const double t = seconds_per_call([&] {
      float* out = nullptr;
      SGL_ArraySubset(1, dims, start, box, a, &out);
      cudaFree(out);
    }, 50);
    state.SetIterationTime(t);
    total += t;
  }
  state.counters["vs_floor"] = total / static_cast<double>(state.iterations()) / floor;
  cudaFree(a);
}

}  // namespace

#define ND_BENCH(f) BENCHMARK(f)->RangeMultiplier(4)->Range(1 << 24, 1 << 26)->UseManualTime()->Iterations(3)
ND_BENCH(BM_Subset);
ND_BENCH(BM_Replace);
ND_BENCH(BM_Delete);
ND_BENCH(BM_Insert);
ND_BENCH(BM_Concatenate);
ND_BENCH(BM_Build);
ND_BENCH(BM_Reshape);
ND_BENCH(BM_Transpose2D);
ND_BENCH(BM_TransposeInnermostMoves);
ND_BENCH(BM_TransposeInnermostStays);
BENCHMARK(BM_SmallSubset)->UseManualTime()->Iterations(3);
