// The vendor algorithms behind algorithms.h: CUB on the device, loops in the host variant.
#include <climits>
#include <limits>

#include "frame/algorithms.h"
#include "frame/device_memory.h"
#include "frame/launch.h"

#if defined(__CUDACC__)
#include <thrust/iterator/counting_iterator.h>

#include <cub/device/device_reduce.cuh>
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

// Runs a CUB algorithm the CUB way: ask run(nullptr, bytes) for the scratch size, allocate it, run, release.
template <typename Run>
cudaError_t with_scratch(Run run) {
  size_t bytes = 0;
  if (const cudaError_t status = run(nullptr, bytes); status != cudaSuccess) return status;
  if (bytes > static_cast<size_t>(INT_MAX)) return cudaErrorMemoryAllocation;
  ScopedDeviceArray<unsigned char> scratch;
  if (const cudaError_t status = scratch.allocate(static_cast<int>(bytes)); status != cudaSuccess) return status;
  const cudaError_t ran = run(scratch.get(), bytes);
  return first_failure(ran, scratch.free());
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
// device's kernels stand: behind the launch status and the runtime's launch hooks.
namespace {

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

cudaError_t device_sum(const float* data, int n, double* sum) {
  return launch(sum_in_order, dim3(1), dim3(1), data, n, sum);
}

cudaError_t device_product(const float* data, int n, double* product) {
  return launch(product_in_order, dim3(1), dim3(1), data, n, product);
}

cudaError_t device_extremes(const float* data, int n, Extremes* extremes) {
  return launch(extremes_in_order, dim3(1), dim3(1), data, n, extremes);
}

#endif

}  // namespace brelmont
