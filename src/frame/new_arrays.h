// Exports that hand new arrays to the caller through output arguments (float** and the like).
#pragma once

#include <cuda_runtime.h>

#include <cstddef>
#include <initializer_list>
#include <utility>

#include "frame/device_memory.h"
#include "frame/launch.h"

namespace brelmont {

namespace detail {
template <typename T, typename Work, size_t... K>
cudaError_t run_on(Work& work, ScopedDeviceArray<T>* arrays, std::index_sequence<K...>) {
  return work(arrays[K].get()...);
}
}  // namespace detail

// Allocates output k with counts[k] elements (none, a null array, for a count of 0), runs
// work(array0, array1, ...) over the caller's arrays inputs and, if every step succeeded, stores the arrays
// through the outputs for the caller to own. Otherwise nothing stays allocated and every output is null:
//  - a null output address, two outputs at one address, a negative count, or a null input that the work
//    must read (reaches_null): cudaErrorInvalidValue, no device work;
//  - a failed allocation: its status, nothing launched;
//  - a failure reported by work (a launch or the synchronisation): that status, once the device has finished
//    what the work queued, which may still write the arrays about to be released.
template <typename T, size_t N, typename Work>
cudaError_t produce_new_arrays(const int (&counts)[N], T** const (&outputs)[N], std::initializer_list<ArrayUse> inputs,
                               Work work) {
  for (size_t k = 0; k < N; ++k) {
    if (outputs[k] == nullptr) return cudaErrorInvalidValue;
    for (size_t j = 0; j < k; ++j)
      if (outputs[j] == outputs[k]) return cudaErrorInvalidValue;  // one would overwrite, and leak, the other
  }
  for (T** out : outputs) *out = nullptr;
  for (int count : counts)
    if (count < 0) return cudaErrorInvalidValue;
  if (reaches_null(inputs)) return cudaErrorInvalidValue;

  ScopedDeviceArray<T> arrays[N];
  for (size_t k = 0; k < N; ++k) {
    if (counts[k] == 0) continue;
    if (const cudaError_t status = arrays[k].allocate(counts[k]); status != cudaSuccess) return status;
  }
  if (const cudaError_t status = detail::run_on(work, arrays, std::make_index_sequence<N>()); status != cudaSuccess) {
    return synchronize(status);
  }
  for (size_t k = 0; k < N; ++k) *outputs[k] = arrays[k].release();
  return cudaSuccess;
}

// The same with count elements in every output. count == 0 is success with null outputs and nothing
// allocated or launched (the device is still synchronised, as every synchronised-status export is).
template <typename T, size_t N, typename Work>
cudaError_t produce_new_arrays(int count, T** const (&outputs)[N], std::initializer_list<ArrayUse> inputs, Work work) {
  int counts[N];
  for (int& c : counts) c = count;
  if (count == 0) {
    const cudaError_t status = produce_new_arrays(counts, outputs, inputs, [](auto...) { return cudaSuccess; });
    return status != cudaSuccess ? status : synchronize(cudaSuccess);
  }
  return produce_new_arrays(counts, outputs, inputs, work);
}

// Reports count output sizes through sizes, where it is given: values[k] after a success, 0 after a refusal or a
// failure (values is then not read), so that a caller sizing its copy from them reads no garbage. The values
// must be gathered first: sizes may be an input's own size array.
inline void report_sizes(cudaError_t status, int* sizes, const int* values, int count) {
  if (sizes == nullptr) return;
  for (int k = 0; k < count; ++k) sizes[k] = status == cudaSuccess ? values[k] : 0;
}

}  // namespace brelmont
