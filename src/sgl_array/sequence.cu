// 1-D sequence operations: decimate, interleave, interpolate, threshold, reverse and rotate.
//
// Decimation and interleaving move elements between one long sequence and several short ones. The short
// sequences travel to the kernel by value in groups, so one launch reads (decimation) or writes
// (interleaving) a run of consecutive elements of every period of the long one: the long sequence is
// touched about once, however many short ones there are, and no pointer table is uploaded.
//
// Interpolation needs only two elements, so it copies them back and combines them here, in the same
// single-precision steps a kernel would take. The threshold is a parallel search for the first crossing,
// which stops early when the crossing comes early. Rotation is three reversals, each a kernel whose threads
// own disjoint pairs of elements, so no thread reads what another has written and block order never matters.
#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

#include "cuda_brelmont.h"
#include "frame/device_memory.h"
#include "frame/kernel_index.h"
#include "frame/launch.h"

namespace brelmont {

// Threads per block of the sequence kernels.
constexpr unsigned kSequenceThreads = 256;

// Most short sequences one decimation or interleaving launch serves: 16 consecutive floats of every period
// of the long sequence, two 32-byte sectors.
constexpr int kGroupSize = 16;

// The short sequences of one launch, size of them, passed by value.
template <typename T>
struct SequenceGroup {
  T* at[kGroupSize];
  int size;
};

// Indices one block of the threshold search examines.
constexpr unsigned kThresholdTile = kSequenceThreads * 8;

// What the threshold search leaves in device memory. The export sets every byte to 0xFF first, so first
// starts as UINT_MAX: no crossing found.
struct ThresholdScan {
  unsigned first;  // lowest rising crossing found
  float at_start;  // input[start]
  float last;      // input[n - 1]
};

// Exchanges the k-th pair of data[lo..hi-1] counted from the outside: data[lo + k] and data[hi - 1 - k].
__device__ __forceinline__ void swap_pair(float* data, int lo, int hi, int k) {
  const float front = data[lo + k];
  data[lo + k] = data[hi - 1 - k];
  data[hi - 1 - k] = front;
}

}  // namespace brelmont

using brelmont::SequenceGroup;
using brelmont::ThresholdScan;

// Thread j writes element j of every output in the group: output first + g takes input[j * factor + first + g].
// count * factor <= n, so every index fits an int.
__global__ void sgl_decimate(const float* input, SequenceGroup<float> outputs, int first, int factor, int count) {
  const int j = brelmont::standard_index();
  if (j >= count) return;
  const float* period = input + j * factor + first;
#pragma unroll
  for (int g = 0; g < brelmont::kGroupSize; ++g)
    if (g < outputs.size) outputs.at[g][j] = period[g];
}

// Thread j reads element j of every input in the group: input first + g goes to output[j * count + first + g].
__global__ void sgl_interleave(SequenceGroup<const float> inputs, float* output, int first, int count, int length) {
  const int j = brelmont::standard_index();
  if (j >= length) return;
  float* period = output + j * count + first;
#pragma unroll
  for (int g = 0; g < brelmont::kGroupSize; ++g)
    if (g < inputs.size) period[g] = inputs.at[g][j];
}

// The lowest i in start .. n - 2 with input[i] <= threshold <= input[i + 1] (ordered comparisons: a NaN never
// qualifies) goes to scan->first by atomicMin. Block b searches kThresholdTile indices from
// start + b * kThresholdTile and skips its tile when a crossing below it is already known, so an early
// crossing ends the search early. The search is skipped when input[start] or input[n - 1] already settles
// the result; both values go to the host with the crossing.
__global__ void sgl_threshold_kernel(const float* input, int n, float threshold, int start, ThresholdScan* scan) {
  const float at_start = input[start], last = input[n - 1];
  if (blockIdx.x == 0 && threadIdx.x == 0) {
    scan->at_start = at_start;
    scan->last = last;
  }
  if (at_start >= threshold || last <= threshold) return;
  // Unsigned: start + b * kThresholdTile stays below n - 1 + kThresholdTile, beyond INT_MAX for large n.
  const unsigned end = static_cast<unsigned>(n) - 1;
  const unsigned tile = static_cast<unsigned>(start) + blockIdx.x * brelmont::kThresholdTile;
  if (tile >= __ldcv(&scan->first)) return;  // a fresh read: other blocks lower it meanwhile
  for (unsigned k = threadIdx.x; k < brelmont::kThresholdTile; k += blockDim.x) {
    const unsigned i = tile + k;
    if (i >= end) return;
    if (input[i] <= threshold && input[i + 1] >= threshold) {
      atomicMin(&scan->first, i);  // this thread's later indices are larger
      return;
    }
  }
}

// Thread i < n / 2 exchanges data[i] and data[n - 1 - i]; a middle element stays.
__global__ void sgl_reverse_array(float* data, int n) {
  const int i = brelmont::standard_index();
  if (i < n / 2) brelmont::swap_pair(data, 0, n, i);
}

// The last step of rotating by s (0 < s < n) once the whole array is reversed: reverses data[0..s-1] and
// data[s..n-1], the first s / 2 threads taking the pairs of the first part, the next (n - s) / 2 those of
// the second.
__global__ void sgl_rotate(float* data, int n, int s) {
  const int j = brelmont::standard_index();
  const int head = s / 2;
  if (j < head) {
    brelmont::swap_pair(data, 0, s, j);
  } else if (j - head < (n - s) / 2) {
    brelmont::swap_pair(data, s, n, j - head);
  }
}

namespace {

using brelmont::kGroupSize;
using brelmont::kSequenceThreads;

// launch_group(first, size) for the sequences 0 .. total - 1 in groups of at most kGroupSize; stops at the
// first failure.
template <typename LaunchGroup>
cudaError_t for_each_group(int total, LaunchGroup launch_group) {
  for (long long first = 0; first < total; first += kGroupSize) {
    const int size = static_cast<int>(total - first < kGroupSize ? total - first : kGroupSize);
    if (const cudaError_t status = launch_group(static_cast<int>(first), size); status != cudaSuccess) return status;
  }
  return cudaSuccess;
}

// One sequence kernel over n >= 1 threads.
template <typename... Params>
cudaError_t launch_over(int n, void (*kernel)(Params...), brelmont::exactly_t<Params>... args) {
  return brelmont::launch(kernel, brelmont::blocks_covering(n, kSequenceThreads), dim3(kSequenceThreads), args...);
}

// The new arrays of a decimation, made in the caller's slots, which are null from construction on. Until
// they are kept, the destructor releases what was made and nulls its slots again.
class OutputSlots {
 public:
  OutputSlots(float** slots, int count) : slots_(slots), count_(count) {
    for (int k = 0; k < count; ++k) slots[k] = nullptr;
  }
  OutputSlots(const OutputSlots&) = delete;
  OutputSlots& operator=(const OutputSlots&) = delete;
  ~OutputSlots() {
    if (kept_) return;
    for (int k = 0; k < made_; ++k) {
      cudaFree(slots_[k]);
      slots_[k] = nullptr;
    }
  }

  // One array of elements floats in every slot; stops at the first failed allocation.
  cudaError_t allocate_each(int elements) {
    for (; made_ < count_; ++made_) {
      brelmont::ScopedDeviceArray<float> array;
      if (const cudaError_t status = array.allocate(elements); status != cudaSuccess) return status;
      slots_[made_] = array.release();
    }
    return cudaSuccess;
  }

  void keep() { kept_ = true; }

 private:
  float** slots_;
  int count_;
  int made_ = 0;
  bool kept_ = false;
};

// The address through which kernels on device `current` read the caller's sequence at p, or null when it must
// be copied there first: host memory, or another device's memory, which a kernel here faults on without peer
// access (and the fault would end the caller's context). Managed memory is read where it is.
const float* device_address(const float* p, int current) {
  cudaPointerAttributes attributes{};
  if (cudaPointerGetAttributes(&attributes, p) != cudaSuccess) return nullptr;
  const bool here = attributes.type == cudaMemoryTypeManaged ||
                    (attributes.type == cudaMemoryTypeDevice && attributes.device == current);
  return here ? static_cast<const float*>(attributes.devicePointer) : nullptr;
}

// Copies count floats at device address from to *to; *to is written only when the copy succeeds.
cudaError_t copy_to_host(float* to, const float* from, int count) {
  float values[2];
  const cudaError_t status = cudaMemcpy(values, from, count * sizeof(float), cudaMemcpyDeviceToHost);
  if (status == cudaSuccess) std::copy(values, values + count, to);
  return status;
}

// The crossing between i and i + 1, interpolated in single precision with each step rounded:
// ((i + 1 - i) * (threshold - a)) / (b - a) + i, the indices converted to float first.
float crossing(int i, float a, float b, float threshold) {
  const float fi = static_cast<float>(i), fi1 = static_cast<float>(i + 1);
  return ((fi1 - fi) * (threshold - a)) / (b - a) + fi;
}

// Reverses data[0..n-1], n >= 2, without waiting.
cudaError_t reverse(float* data, int n) { return launch_over(n / 2, sgl_reverse_array, data, n); }

}  // namespace

extern "C" cudaError_t SGL_Decimate1DArray(float* input, int n, int factor, float** outputs) {
  if (factor == 0 || n < 0) return cudaErrorInvalidValue;
  if (factor < 0) return brelmont::synchronize(cudaSuccess);  // no output to make
  if (outputs == nullptr) return cudaErrorInvalidValue;
  OutputSlots made(outputs, factor);
  const int count = n / factor;
  if (count == 0) return brelmont::synchronize(cudaSuccess);  // factor empty outputs
  if (brelmont::reaches_null({{input, static_cast<long long>(count) * factor}})) return cudaErrorInvalidValue;
  if (const cudaError_t status = made.allocate_each(count); status != cudaSuccess) return status;

  const cudaError_t launched = for_each_group(factor, [&](int first, int size) {
    SequenceGroup<float> group{};
    group.size = size;
    for (int g = 0; g < size; ++g) group.at[g] = outputs[first + g];
    return launch_over(count, sgl_decimate, input, group, first, factor, count);
  });
  if (const cudaError_t status = brelmont::synchronize(launched); status != cudaSuccess) return status;
  made.keep();
  return cudaSuccess;
}

extern "C" cudaError_t SGL_Interleave1DArray(float** inputs, int length, int count, float** output, int* outLength) {
  if (output != nullptr) *output = nullptr;
  if (outLength != nullptr) *outLength = 0;
  if (inputs == nullptr || output == nullptr || outLength == nullptr || length < 0 || count < 0) {
    return cudaErrorInvalidValue;
  }
  if (static_cast<long long>(length) * count > INT_MAX) return cudaErrorInvalidValue;
  for (int k = 0; k < count; ++k)
    if (inputs[k] == nullptr) return cudaErrorInvalidValue;
  const int total = length * count;
  if (total == 0) return cudaSuccess;

  // Inputs the kernel cannot read where they are go to consecutive slices of one scratch array.
  int device = 0, staged = 0;
  if (const cudaError_t status = cudaGetDevice(&device); status != cudaSuccess) return status;
  for (int k = 0; k < count; ++k)
    if (device_address(inputs[k], device) == nullptr) ++staged;
  brelmont::ScopedDeviceArray<float> result, scratch;
  if (const cudaError_t status = result.allocate(total); status != cudaSuccess) return status;
  if (staged > 0) {
    if (const cudaError_t status = scratch.allocate(staged * length); status != cudaSuccess) return status;
  }

  float* next_slice = scratch.get();
  const cudaError_t launched = for_each_group(count, [&](int first, int size) {
    SequenceGroup<const float> group{};
    group.size = size;
    for (int g = 0; g < size; ++g) {
      const float* source = device_address(inputs[first + g], device);
      if (source == nullptr) {
        // The runtime finds the copy's direction from the addresses: from the host, or from another device.
        const size_t bytes = static_cast<size_t>(length) * sizeof(float);
        if (const cudaError_t status = cudaMemcpy(next_slice, inputs[first + g], bytes, cudaMemcpyDefault);
            status != cudaSuccess) {
          return status;
        }
        source = next_slice;
        next_slice += length;
      }
      group.at[g] = source;
    }
    return launch_over(length, sgl_interleave, group, result.get(), first, count, length);
  });
  const cudaError_t status = brelmont::first_failure(brelmont::synchronize(launched), scratch.free());
  if (status != cudaSuccess) return status;
  *output = result.release();
  *outLength = total;
  return cudaSuccess;
}

extern "C" cudaError_t SGL_Interpolate1DArray(int n, float x, float* input, float* result) {
  if (n <= 0 || result == nullptr) return cudaErrorInvalidValue;
  // A NaN x makes both weights NaN, whatever the elements.
  if (std::isnan(x)) {
    *result = std::numeric_limits<float>::quiet_NaN();
    return cudaSuccess;
  }
  if (brelmont::reaches_null({{input, n}})) return cudaErrorInvalidValue;
  if (x < 0.0f) return copy_to_host(result, input, 1);
  if (x >= static_cast<float>(n - 1)) return copy_to_host(result, input + (n - 1), 1);
  // 0 <= x < (float)(n - 1), so i + 1 <= n - 1 even where n - 1 rounds up to its float.
  const int i = static_cast<int>(x);
  float pair[2];
  if (const cudaError_t status = copy_to_host(pair, input + i, 2); status != cudaSuccess) return status;
  const float f = x - static_cast<float>(i);
  *result = std::fmaf(f, pair[1], pair[0] * (1.0f - f));
  return cudaSuccess;
}

extern "C" cudaError_t SGL_Threshold1DArray(int n, float threshold, int start, float* input, float* result) {
  if (n <= 0 || start < 0 || start >= n || result == nullptr || brelmont::reaches_null({{input, n}})) {
    return cudaErrorInvalidValue;
  }
  brelmont::ScopedDeviceArray<ThresholdScan> scan;
  if (const cudaError_t status = scan.allocate(1); status != cudaSuccess) return status;
  cudaError_t status = cudaMemset(scan.get(), 0xFF, sizeof(ThresholdScan));
  const int indices = n - 1 - start;  // candidate crossings; one block runs even for none
  const dim3 grid = brelmont::blocks_covering(indices > 0 ? indices : 1, brelmont::kThresholdTile);
  if (status == cudaSuccess) {
    status =
        brelmont::launch(sgl_threshold_kernel, grid, dim3(kSequenceThreads), input, n, threshold, start, scan.get());
  }
  // The blocking copy of the scan waits for the search; a failure before it or of it waits explicitly, so that
  // the scan is released, and the call returns, with none of its work left running.
  ThresholdScan found{};
  if (status == cudaSuccess) status = cudaMemcpy(&found, scan.get(), sizeof found, cudaMemcpyDeviceToHost);
  if (status != cudaSuccess) return brelmont::synchronize(status);
  status = scan.free();
  if (status != cudaSuccess) return status;

  if (found.at_start >= threshold) {
    *result = static_cast<float>(start);
  } else if (found.last <= threshold) {
    *result = static_cast<float>(n - 1);
  } else if (found.first == UINT_MAX) {
    *result = std::numeric_limits<float>::quiet_NaN();  // no crossing, or NaNs in the comparisons
  } else {
    const int i = static_cast<int>(found.first);
    float pair[2];
    status = copy_to_host(pair, input + i, 2);
    if (status != cudaSuccess) return status;
    *result = crossing(i, pair[0], pair[1], threshold);
  }
  return cudaSuccess;
}

extern "C" cudaError_t SGL_Reverse1DArray(int n, float* data) {
  if (n < 0) return cudaErrorInvalidValue;
  if (n < 2) return cudaSuccess;
  return brelmont::reaches_null({{data, n}}) ? cudaErrorInvalidValue : reverse(data, n);
}

extern "C" cudaError_t SGL_Rotate1DArray(int n, int shift, float* data) {
  if (n < 0) return cudaErrorInvalidValue;
  if (n < 2) return cudaSuccess;
  int s = shift % n;  // n >= 2, so even INT_MIN % n is defined
  if (s < 0) s += n;
  if (s == 0) return cudaSuccess;
  if (brelmont::reaches_null({{data, n}})) return cudaErrorInvalidValue;
  // Rotating right by s: reverse the whole array, then each of its first s and last n - s elements.
  if (const cudaError_t status = reverse(data, n); status != cudaSuccess) return status;
  const int pairs = s / 2 + (n - s) / 2;
  return pairs == 0 ? cudaSuccess : launch_over(pairs, sgl_rotate, data, n, s);
}
