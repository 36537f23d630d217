// The seam to the vendor's device algorithms: whole-array reductions.
//
// In the cuda variant these run CUB's device-wide reductions; in the host variant, loops over the (host
// resident) device memory. Both follow the same rules, so they agree: the extremes exactly, the sum and the
// product within their double-precision rounding. Each function writes its result to a small device buffer
// that the caller owns, owns whatever scratch the algorithm needs, and returns once the device is idle (the
// caller's earlier work complete too, and the scratch released only then) with the first failure of its steps,
// the synchronisation included. Both variants synchronise once per function, so they make the same waits.
#pragma once

#include <cuda_runtime.h>

namespace brelmont {

// Sum of data[0..n-1], n >= 1, accumulated in double precision from -0.0 (the identity that keeps the sign of
// an all-negative-zero sum), into *sum. The order of the additions is the algorithm's.
cudaError_t device_sum(const float* data, int n, double* sum);

// Product of data[0..n-1], n >= 1, accumulated in double precision, into *product.
cudaError_t device_product(const float* data, int n, double* product);

// The smallest and the largest element with their indices.
struct Extremes {
  float min;
  int min_index;
  float max;
  int max_index;
};

// Minimum and maximum of data[0..n-1], n >= 1, with their indices, into *extremes. A NaN anywhere is both
// extremes, at the lowest index holding a NaN; among equal values (-0 and +0 included) the lowest index wins.
cudaError_t device_extremes(const float* data, int n, Extremes* extremes);

// The rules of device_extremes, for both implementations. Each is a selection by a total order on
// (value, index), so the merge is associative and commutative and any reduction order gives the same result.
namespace extremes_rules {

__host__ __device__ __forceinline__ bool is_nan(float x) { return x != x; }

// Whether (a at ia) ranks before (b at ib): a NaN first, then the value that prefer(a, b) chooses,
// then the lower index.
template <typename Prefer>
__host__ __device__ __forceinline__ bool ranks_first(float a, int ia, float b, int ib, Prefer prefer) {
  if (is_nan(a) || is_nan(b)) return is_nan(a) && (!is_nan(b) || ia < ib);
  if (a != b) return prefer(a, b);
  return ia < ib;
}

struct Smaller {
  __host__ __device__ bool operator()(float a, float b) const { return a < b; }
};
struct Larger {
  __host__ __device__ bool operator()(float a, float b) const { return a > b; }
};

// The extremes of one element.
__host__ __device__ __forceinline__ Extremes single(float value, int index) {
  return Extremes{value, index, value, index};
}

// The extremes of the union of two ranges.
__host__ __device__ __forceinline__ Extremes merge(const Extremes& x, const Extremes& y) {
  Extremes r = y;
  if (ranks_first(x.min, x.min_index, y.min, y.min_index, Smaller())) {
    r.min = x.min;
    r.min_index = x.min_index;
  }
  if (ranks_first(x.max, x.max_index, y.max, y.max_index, Larger())) {
    r.max = x.max;
    r.max_index = x.max_index;
  }
  return r;
}

}  // namespace extremes_rules

// ---- Sorting, selection and search ------------------------------------------------------------------
//
// Sorts are stable and ascending in radix order. For float keys that is: NaNs with the sign bit set, -inf,
// negatives, -0.0 and +0.0 as one key, positives, +inf, NaNs with the sign bit clear; unsigned keys sort as
// numbers. Keys and values keep their bits. Every function owns its algorithm scratch and, as the reductions
// do, returns once the device is idle, with the first failure of its steps.

// A sequence in double-buffer form: current holds the input, alternate is scratch of the same length.
// A sort may use both halves and leaves its result in current, which then points at either of them.
template <typename T>
struct DoubleBuffer {
  T* current;
  T* alternate;
};

// Sorts keys.current[0..n-1], n >= 1.
cudaError_t device_sort_keys(DoubleBuffer<float>& keys, int n);

// Sorts n >= 1 pairs by key; each value travels with its key.
cudaError_t device_sort_pairs(DoubleBuffer<float>& keys, DoubleBuffer<int>& values, int n);
cudaError_t device_sort_pairs(DoubleBuffer<unsigned long long>& keys, DoubleBuffer<float>& values, int n);

// Copies the data[i] whose flags[i] is non-zero, in index order, to out[0..*count-1]; n >= 1. count is one
// device int.
cudaError_t device_select_flagged(const float* data, const int* flags, float* out, int* count, int n);

// The lowest i in [begin, end) with data[i] == value (single-precision ==), or end when there is none, into
// the device int *position; 0 <= begin < end.
cudaError_t device_find_first(const float* data, int begin, int end, float value, int* position);

}  // namespace brelmont
