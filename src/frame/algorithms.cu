// The vendor algorithms behind algorithms.h: CUB on the device, loops in the host variant.
#include <climits>
#include <limits>

#include "frame/algorithms.h"
#include "frame/device_memory.h"
#include "frame/launch.h"

#if defined(__CUDACC__)
#include <thrust/iterator/counting_iterator.h>

#include <cub/device/device_radix_sort.cuh>
#include <cub/device/device_reduce.cuh>
#include <cub/device/device_select.cuh>
#else
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>
#endif

namespace brelmont {

#if defined(__CUDACC__)

namespace {

struct ToDouble {
  __device__ double operator()(float x) const { return x; }
};
struct AddDoubles {
  __device__ double operator()(double a, double b) const { return a + b; }
};
struct MultiplyDoubles {
  __device__ double operator()(double a, double b) const { return a * b; }
};

// The extremes of the element at an index.
struct ElementExtremes {
  const float* data;
  __device__ Extremes operator()(int i) const { return extremes_rules::single(data[i], i); }
};
struct MergeExtremes {
  __device__ Extremes operator()(const Extremes& x, const Extremes& y) const { return extremes_rules::merge(x, y); }
};

// Runs a CUB algorithm the CUB way: ask run(nullptr, bytes) for the scratch size, allocate it, run, wait for the
// device, release. The scratch is at least one byte: a null one would make the second call another size query.
// The wait comes on every path, so the caller's earlier work is complete too, and the scratch is released only
// once no kernel can still read it.
template <typename Run>
cudaError_t with_scratch(Run run) {
  size_t bytes = 0;
  ScopedDeviceArray<unsigned char> scratch;
  cudaError_t status = run(nullptr, bytes);
  if (status == cudaSuccess) {
    status = bytes > static_cast<size_t>(INT_MAX) ? cudaErrorMemoryAllocation
                                                  : scratch.allocate(bytes > 0 ? static_cast<int>(bytes) : 1);
  }
  if (status == cudaSuccess) status = run(scratch.get(), bytes);
  return first_failure(synchronize(status), scratch.free());
}

}  // namespace

cudaError_t device_sum(const float* data, int n, double* sum) {
  return with_scratch([&](void* scratch, size_t& bytes) {
    return cub::DeviceReduce::TransformReduce(scratch, bytes, data, sum, n, AddDoubles(), ToDouble(), -0.0);
  });
}

cudaError_t device_product(const float* data, int n, double* product) {
  return with_scratch([&](void* scratch, size_t& bytes) {
    return cub::DeviceReduce::TransformReduce(scratch, bytes, data, product, n, MultiplyDoubles(), ToDouble(), 1.0);
  });
}

cudaError_t device_extremes(const float* data, int n, Extremes* extremes) {
  // The identity of the merge: every element ranks before it.
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  const Extremes none{kInfinity, INT_MAX, -kInfinity, INT_MAX};
  return with_scratch([&](void* scratch, size_t& bytes) {
    return cub::DeviceReduce::TransformReduce(scratch, bytes, thrust::counting_iterator<int>(0), extremes, n,
                                              MergeExtremes(), ElementExtremes{data}, none);
  });
}

#else

// One host thread walks the array in index order. It runs as a one-thread launch so that it stands where the
// device's kernels stand: behind the launch status and the runtime's launch hooks. Each function then waits for
// the device, as the CUB implementations must before they release their scratch, so that both variants make the
// same synchronisations and report a failure of them in the same place.
namespace {

// One launch of kernel(args...) on a single thread, waited for.
template <typename... Params>
cudaError_t run_in_order(void (*kernel)(Params...), exactly_t<Params>... args) {
  return synchronize(launch(kernel, dim3(1), dim3(1), args...));
}

__global__ void sum_in_order(const float* data, int n, double* sum) {
  double total = -0.0;
  for (int i = 0; i < n; ++i) total += data[i];
  *sum = total;
}

__global__ void product_in_order(const float* data, int n, double* product) {
  double total = 1.0;
  for (int i = 0; i < n; ++i) total *= data[i];
  *product = total;
}

__global__ void extremes_in_order(const float* data, int n, Extremes* extremes) {
  Extremes found = extremes_rules::single(data[0], 0);
  for (int i = 1; i < n; ++i) found = extremes_rules::merge(found, extremes_rules::single(data[i], i));
  *extremes = found;
}

}  // namespace

cudaError_t device_sum(const float* data, int n, double* sum) { return run_in_order(sum_in_order, data, n, sum); }

cudaError_t device_product(const float* data, int n, double* product) {
  return run_in_order(product_in_order, data, n, product);
}

cudaError_t device_extremes(const float* data, int n, Extremes* extremes) {
  return run_in_order(extremes_in_order, data, n, extremes);
}

#endif

// ---- Sorting, selection and search ------------------------------------------------------------------

#if defined(__CUDACC__)

namespace {

// CUB's double buffer over ours: CUB picks the half that holds the result, ours reports it.
template <typename T>
struct CubHalves {
  explicit CubHalves(DoubleBuffer<T>& ours) : ours(ours), cub(ours.current, ours.alternate) {}
  ~CubHalves() { ours = DoubleBuffer<T>{cub.Current(), cub.Alternate()}; }
  DoubleBuffer<T>& ours;
  cub::DoubleBuffer<T> cub;
};

template <typename Key, typename Value>
cudaError_t sort_pairs_on_device(DoubleBuffer<Key>& keys, DoubleBuffer<Value>& values, int n) {
  CubHalves<Key> k(keys);
  CubHalves<Value> v(values);
  return with_scratch([&](void* scratch, size_t& bytes) {
    return cub::DeviceRadixSort::SortPairs(scratch, bytes, k.cub, v.cub, n);
  });
}

// i where data[i] equals the value, else end: the minimum over a range is the first match.
struct MatchOrEnd {
  const float* data;
  float value;
  int end;
  __device__ int operator()(int i) const { return data[i] == value ? i : end; }
};
struct Lower {
  __device__ int operator()(int a, int b) const { return b < a ? b : a; }
};

}  // namespace

cudaError_t device_sort_keys(DoubleBuffer<float>& keys, int n) {
  CubHalves<float> k(keys);
  return with_scratch(
      [&](void* scratch, size_t& bytes) { return cub::DeviceRadixSort::SortKeys(scratch, bytes, k.cub, n); });
}

cudaError_t device_sort_pairs(DoubleBuffer<float>& keys, DoubleBuffer<int>& values, int n) {
  return sort_pairs_on_device(keys, values, n);
}

cudaError_t device_sort_pairs(DoubleBuffer<unsigned long long>& keys, DoubleBuffer<float>& values, int n) {
  return sort_pairs_on_device(keys, values, n);
}

cudaError_t device_select_flagged(const float* data, const int* flags, float* out, int* count, int n) {
  return with_scratch([&](void* scratch, size_t& bytes) {
    return cub::DeviceSelect::Flagged(scratch, bytes, data, flags, out, count, n);
  });
}

cudaError_t device_find_first(const float* data, int begin, int end, float value, int* position) {
  return with_scratch([&](void* scratch, size_t& bytes) {
    return cub::DeviceReduce::TransformReduce(scratch, bytes, thrust::counting_iterator<int>(begin), position,
                                              end - begin, Lower(), MatchOrEnd{data, value, end}, end);
  });
}

#else

// One host thread again. A sort is std::stable_sort on the keys CUB's radix sort ranks by, so both give one
// order bit for bit. It sorts out of place into the alternate halves and hands them back as current, as a
// radix sort with an odd number of passes would, so callers always meet a result in either half.
namespace {

// The unsigned integer whose order is the radix order of float keys: a set sign bit inverts every bit,
// a clear one only the sign; -0.0 then takes the place of +0.0.
unsigned long long radix_rank(float key) {
  unsigned u;
  std::memcpy(&u, &key, sizeof u);
  u = (u & 0x80000000u) ? ~u : (u | 0x80000000u);
  return u == 0x7fffffffu ? 0x80000000u : u;
}
unsigned long long radix_rank(unsigned long long key) { return key; }

template <typename Key>
std::vector<int> stable_order(const Key* keys, int n) {
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return radix_rank(keys[a]) < radix_rank(keys[b]); });
  return order;
}

template <typename T>
void gather(const T* from, const std::vector<int>& order, T* to) {
  for (size_t k = 0; k < order.size(); ++k) to[k] = from[order[k]];
}

__global__ void sort_keys_in_order(const float* keys, float* sorted, int n) { gather(keys, stable_order(keys, n), sorted); }

template <typename Key, typename Value>
__global__ void sort_pairs_in_order(const Key* keys, Key* sorted_keys, const Value* values, Value* sorted_values,
                                    int n) {
  const std::vector<int> order = stable_order(keys, n);
  gather(keys, order, sorted_keys);
  gather(values, order, sorted_values);
}

template <typename Key, typename Value>
cudaError_t sort_pairs_in_order_of(DoubleBuffer<Key>& keys, DoubleBuffer<Value>& values, int n) {
  const cudaError_t status = run_in_order(sort_pairs_in_order<Key, Value>, keys.current, keys.alternate,
                                          values.current, values.alternate, n);
  std::swap(keys.current, keys.alternate);
  std::swap(values.current, values.alternate);
  return status;
}

__global__ void select_in_order(const float* data, const int* flags, float* out, int* count, int n) {
  int selected = 0;
  for (int i = 0; i < n; ++i)
    if (flags[i] != 0) out[selected++] = data[i];
  *count = selected;
}

__global__ void find_in_order(const float* data, int begin, int end, float value, int* position) {
  int i = begin;
  while (i < end && !(data[i] == value)) ++i;
  *position = i;
}

}  // namespace

cudaError_t device_sort_keys(DoubleBuffer<float>& keys, int n) {
  const cudaError_t status = run_in_order(sort_keys_in_order, keys.current, keys.alternate, n);
  std::swap(keys.current, keys.alternate);
  return status;
}

cudaError_t device_sort_pairs(DoubleBuffer<float>& keys, DoubleBuffer<int>& values, int n) {
  return sort_pairs_in_order_of(keys, values, n);
}

cudaError_t device_sort_pairs(DoubleBuffer<unsigned long long>& keys, DoubleBuffer<float>& values, int n) {
  return sort_pairs_in_order_of(keys, values, n);
}

cudaError_t device_select_flagged(const float* data, const int* flags, float* out, int* count, int n) {
  return run_in_order(select_in_order, data, flags, out, count, n);
}

cudaError_t device_find_first(const float* data, int begin, int end, float value, int* position) {
  return run_in_order(find_in_order, data, begin, end, value, position);
}

#endif

}  // namespace brelmont
