// A tour of cuda_brelmont: one typical sequence of calls, printing what each step does and what it returns.
// Every status is checked; the tour stops at the first failure with a non-zero exit code.
#include <cuda_runtime.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cuda_brelmont.h"

namespace {

void check(cudaError_t status, const char* what) {
  if (status != cudaSuccess) {
    std::fprintf(stderr, "tour: %s failed: %s (%s)\n", what, cudaGetErrorName(status), cudaGetErrorString(status));
    std::exit(1);
  }
}

void check_reduction(brelmontStatus_t status, const char* what) {
  if (status != BRELMONT_STATUS_SUCCESS) {
    std::fprintf(stderr, "tour: %s failed with status %d\n", what, status);
    std::exit(1);
  }
}

template <typename T>
T* check_new(T* array, const char* what) {
  if (array == nullptr) {
    std::fprintf(stderr, "tour: %s returned no array\n", what);
    std::exit(1);
  }
  return array;
}

std::vector<float> download(const float* device, int n) {
  std::vector<float> host(n);
  check(cudaMemcpy(host.data(), device, n * sizeof(float), cudaMemcpyDeviceToHost), "cudaMemcpy to the host");
  return host;
}

void print(const char* label, const std::vector<float>& values) {
  std::printf("  %-28s [", label);
  for (size_t i = 0; i < values.size(); ++i) std::printf(i ? ", %.7g" : "%.7g", values[i]);
  std::printf("]\n");
}

}  // namespace

int main() {
  int devices = 0;
  check(cudaGetDeviceCount(&devices), "cudaGetDeviceCount");
  std::printf("cuda_brelmont tour on %d device(s)\n\n", devices);

  std::printf("1. SGL_InitArray(6, 0.5f): a new device array of six floats, all 0.5\n");
  float* p = check_new(SGL_InitArray(6, 0.5f), "SGL_InitArray");
  print("p =", download(p, 6));

  std::printf("2. SGL_Sine(p, 6): each element replaced by its sine, in place\n");
  check(SGL_Sine(p, 6), "SGL_Sine");
  print("sin p =", download(p, 6));

  std::printf("3. SGL_IncrementElement(p, 2, 6) and SGL_DecrementElement(p, 5, 6): one element each\n");
  check(SGL_IncrementElement(p, 2, 6), "SGL_IncrementElement");
  check(SGL_DecrementElement(p, 5, 6), "SGL_DecrementElement");
  check(cudaDeviceSynchronize(), "cudaDeviceSynchronize");  // element updates return before their kernels run
  print("p =", download(p, 6));

  std::printf("4. SGL_SetTensor(p, -1.25f, 2): overwrite the first two elements\n");
  check(SGL_SetTensor(p, -1.25f, 2), "SGL_SetTensor");
  print("p =", download(p, 6));

  std::printf("5. SGL_MultArrayScalar(p, 2.0f, 6), then SGL_RoundToNearest(p, 6): halves round toward zero\n");
  check(SGL_MultArrayScalar(p, 2.0f, 6), "SGL_MultArrayScalar");
  print("p * 2 =", download(p, 6));
  check(SGL_RoundToNearest(p, 6), "SGL_RoundToNearest");
  print("rounded =", download(p, 6));

  std::printf("6. SGL_QuotientAndRemainder(p, d, 6, 4, &r, &q): floored quotients of the first min(6, 4) pairs\n");
  float* d = check_new(SGL_InitArray(4, -2.0f), "SGL_InitArray");
  float* r = nullptr;
  float* q = nullptr;
  check(SGL_QuotientAndRemainder(p, d, 6, 4, &r, &q), "SGL_QuotientAndRemainder");
  print("q =", download(q, 4));
  print("r =", download(r, 4));

  std::printf("7. SGL_AddArrayArray: p as 2 x 3 plus b as 3 x 2 gives their common 2 x 2 extent\n");
  float* b = check_new(SGL_InitArray(6, 100.0f), "SGL_InitArray");
  int sizes_p[] = {2, 3}, sizes_b[] = {3, 2}, sizes_sum[2] = {0, 0}, sum_bytes = 0;
  float* sum = nullptr;
  check(SGL_AddArrayArray(2, sizes_p, sizes_b, p, b, &sum, sizes_sum, &sum_bytes), "SGL_AddArrayArray");
  std::printf("  result sizes (%d, %d), %d bytes\n", sizes_sum[0], sizes_sum[1], sum_bytes);
  print("p + b =", download(sum, sizes_sum[0] * sizes_sum[1]));

  std::printf("8. SGL_AddArrayElement and SGL_MinMaxArray over p as 2 x 3\n");
  float total = 0.0f, lowest = 0.0f, highest = 0.0f;
  int at_lowest[2] = {0, 0}, at_highest[2] = {0, 0};
  check_reduction(SGL_AddArrayElement(p, 6, &total), "SGL_AddArrayElement");
  check_reduction(SGL_MinMaxArray(2, 0, sizes_p, p, &lowest, &highest, at_lowest, at_highest), "SGL_MinMaxArray");
  std::printf("  sum %.7g; minimum %.7g at (%d, %d); maximum %.7g at (%d, %d)\n", total, lowest, at_lowest[0],
              at_lowest[1], highest, at_highest[0], at_highest[1]);

  std::printf("9. CSG_InitArray(3, &(1, -2)) and CSG_SetTensor: complex arrays\n");
  float2 value{1.0f, -2.0f};
  float2* c = check_new(CSG_InitArray(3, &value), "CSG_InitArray");
  value = float2{0.0f, 4.0f};
  check(CSG_SetTensor(c, &value, 1), "CSG_SetTensor");
  print("c as (re, im) pairs =", download(reinterpret_cast<float*>(c), 6));

  std::printf("10. SGL_ArraySubset: p as 2 x 3, the 2 x 2 box from (0, 1); then its transpose\n");
  int dims_p[] = {2, 3}, corner[] = {0, 1}, box[] = {2, 2}, swap[] = {1, 0}, dims_t[] = {0, 0};
  float* part = nullptr;
  check(SGL_ArraySubset(2, dims_p, corner, box, p, &part), "SGL_ArraySubset");
  print("box of p =", download(part, 4));
  float* turned = nullptr;
  SGL_TransposeNDArray(2, box, swap, part, &turned, dims_t);  // returns once the transpose is complete
  check_new(turned, "SGL_TransposeNDArray");
  std::printf("  transposed sizes (%d, %d)\n", dims_t[0], dims_t[1]);
  print("box transposed =", download(turned, 4));
  std::printf("11. 1-D sequences: split a ramp into evens and odds, merge them back, rotate, reverse, read it\n");
  const std::vector<float> ramp = {0, 1, 2, 3, 4, 5, 6, 7};
  float* s = nullptr;
  check(cudaMalloc(&s, ramp.size() * sizeof(float)), "cudaMalloc");
  check(cudaMemcpy(s, ramp.data(), ramp.size() * sizeof(float), cudaMemcpyHostToDevice), "cudaMemcpy to the device");
  float* halves[2] = {nullptr, nullptr};
  check(SGL_Decimate1DArray(s, 8, 2, halves), "SGL_Decimate1DArray");
  print("decimated by 2: offset 0 =", download(halves[0], 4));
  print("                offset 1 =", download(halves[1], 4));
  float* merged = nullptr;
  int merged_length = 0;
  check(SGL_Interleave1DArray(halves, 4, 2, &merged, &merged_length), "SGL_Interleave1DArray");
  print("interleaved again =", download(merged, merged_length));
  check(SGL_Rotate1DArray(8, 3, merged), "SGL_Rotate1DArray");
  print("rotated by 3 =", download(merged, 8));  // the blocking copy waits for the rotation
  check(SGL_Reverse1DArray(8, merged), "SGL_Reverse1DArray");
  print("reversed =", download(merged, 8));
  float at = 0.0f, crossing = 0.0f;
  check(SGL_Interpolate1DArray(8, 2.25f, s, &at), "SGL_Interpolate1DArray");
  check(SGL_Threshold1DArray(8, 4.5f, 0, s, &crossing), "SGL_Threshold1DArray");
  std::printf("  the ramp at x = 2.25 is %.7g; it rises to 4.5 at index %.7g\n", at, crossing);
  for (float* array : {s, halves[0], halves[1], merged}) check(cudaFree(array), "cudaFree");


  std::printf("12. SGL_SortNDArray(6, p): p sorted ascending, in place\n");
  check(SGL_SortNDArray(6, p), "SGL_SortNDArray");
  print("sorted p =", download(p, 6));

  std::printf("13. SGL_RemoveDup1DArray(p, 6, &u, &count): each distinct value once, in order of first occurrence\n");
  float* u = nullptr;
  int distinct = 0;
  SGL_RemoveDup1DArray(p, 6, &u, &distinct);
  check_new(u, "SGL_RemoveDup1DArray");
  std::printf("  %d distinct values\n", distinct);
  print("u =", download(u, distinct));

  std::printf("14. release every array the library handed over, with the runtime's own cudaFree\n");
  for (void* array : {static_cast<void*>(p), static_cast<void*>(d), static_cast<void*>(r), static_cast<void*>(q),
                      static_cast<void*>(b), static_cast<void*>(sum), static_cast<void*>(c), static_cast<void*>(part),
                      static_cast<void*>(turned), static_cast<void*>(u)}) {
    check(cudaFree(array), "cudaFree");
  }
  std::printf("\ntour complete\n");
  return 0;
}
