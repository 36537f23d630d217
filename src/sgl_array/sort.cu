// Real arrays as flat sequences: sort, search from an N-D position, and first-occurrence duplicate removal.
//
// The sort and the duplicate removal run on the radix sort of the algorithm seam, in its double-buffer form:
// the caller's array may be sorted in place only through a second half of the same length. The search reads
// the caller's array where it lies, in ranges that grow from the start position, so that it stops soon after
// a match.
#include <climits>

#include "cuda_brelmont.h"
#include "frame/algorithms.h"
#include "frame/device_memory.h"
#include "frame/kernel_index.h"
#include "frame/launch.h"
#include "frame/new_arrays.h"

// positions[i] = i: the values that the duplicate removal's sort carries along with the keys.
__global__ void sgl_number_positions(int* positions, int n) {
  const int i = brelmont::standard_index();
  if (i < n) positions[i] = i;
}

// Over the stably sorted keys and their input positions: first[position] = 1 for the first key of each run
// of keys equal under ==, else 0. Equal keys are neighbours (+0.0 and -0.0 sort as one key), and within a run
// the stable sort keeps input order, so the first of the run is the value's first occurrence. A NaN equals
// nothing, so each NaN is a run of its own.
__global__ void sgl_mark_first_occurrences(const float* sorted, const int* positions, int* first, int n) {
  const int k = brelmont::standard_index();
  if (k < n) first[positions[k]] = (k == 0 || !(sorted[k] == sorted[k - 1])) ? 1 : 0;
}

namespace {

// The search reads this many elements first, and each further range is kGrowth times the one before: a match
// near the start costs one short range, a miss about log(n) round trips beyond one read of the array.
constexpr long long kFirstSearchRange = 1 << 16;
constexpr long long kSearchGrowth = 4;

// Where the search of value in data[0..n-1] from begin finds its first match (n when there is none), into
// *position. The first failure of its steps, with *position untouched.
cudaError_t first_match(const float* data, int n, int begin, float value, int* position) {
  if (begin >= n || value != value) {  // nothing to read, or a NaN, which equals nothing
    *position = n;
    return cudaSuccess;
  }
  if (brelmont::reaches_null({{data, n - begin}})) return cudaErrorInvalidValue;
  brelmont::ScopedDeviceArray<int> found;
  if (const cudaError_t status = found.allocate(1); status != cudaSuccess) return status;
  long long range = kFirstSearchRange;
  for (int from = begin; from < n; range *= kSearchGrowth) {
    const int to = static_cast<int>(range < n - from ? from + range : n);
    int at = to;
    cudaError_t status = brelmont::device_find_first(data, from, to, value, found.get());
    if (status == cudaSuccess) status = cudaMemcpy(&at, found.get(), sizeof at, cudaMemcpyDeviceToHost);
    if (status != cudaSuccess) return status;
    if (at < to) {
      *position = at;
      return found.free();
    }
    from = to;
  }
  *position = n;
  return found.free();
}

// The linear offset of start[0..ndims-1] in the row-major shape dims of n elements. False when the shape
// does not hold n elements or a coordinate lies outside its dimension.
bool linear_offset(int ndims, int n, const int* dims, const int* start, int* offset) {
  long long product = 1, at = 0;
  for (int d = ndims - 1; d >= 0; --d) {
    if (dims[d] < 0 || start[d] < 0 || start[d] >= dims[d]) return false;
    at += start[d] * product;
    product *= dims[d];
    if (product > n) return false;
  }
  if (product != n) return false;
  *offset = static_cast<int>(at);
  return true;
}

}  // namespace

extern "C" cudaError_t SGL_SortNDArray(int n, float* data) {
  if (n < 0) return cudaErrorInvalidValue;
  if (n <= 1) return cudaSuccess;
  if (brelmont::reaches_null({{data, n}})) return cudaErrorInvalidValue;
  brelmont::ScopedDeviceArray<float> alternate;
  if (const cudaError_t status = alternate.allocate(n); status != cudaSuccess) return status;
  brelmont::DoubleBuffer<float> keys{data, alternate.get()};
  cudaError_t status = brelmont::device_sort_keys(keys, n);  // complete on return
  if (status == cudaSuccess && keys.current != data) {
    const size_t bytes = sizeof(float) * static_cast<size_t>(n);
    status = brelmont::synchronize(cudaMemcpy(data, keys.current, bytes, cudaMemcpyDeviceToDevice));
  }
  return brelmont::first_failure(status, alternate.free());
}

extern "C" void SGL_SearchNDArray(int ndims, int n, int* dims, int* start, float value, float* data, int* found,
                                  int* index) {
  if (found != nullptr) *found = 0;
  int offset = 0, position = n;
  const bool valid = found != nullptr && n >= 0 && ndims >= 0 &&
                     (ndims == 0 || (dims != nullptr && start != nullptr && index != nullptr &&
                                     linear_offset(ndims, n, dims, start, &offset)));
  // A refused or failed search leaves the index of a miss, all zeros.
  if (!valid || first_match(data, n, offset, value, &position) != cudaSuccess) {
    brelmont::report_sizes(cudaErrorInvalidValue, index, nullptr, ndims);
    return;
  }
  *found = position < n ? 1 : 0;
  // The row-major index of the match; a miss is the index of n, all zeros. Every size is at least 1 here, and each
  // is read before its entry is written: index may be dims itself.
  for (int d = ndims - 1; d >= 0; --d) {
    const int size = dims[d];
    index[d] = position % size;
    position /= size;
  }
}

extern "C" void SGL_RemoveDup1DArray(float* input, int n, float** output, int* outCount) {
  if (output != nullptr) *output = nullptr;
  if (outCount != nullptr) *outCount = 0;
  if (output == nullptr || outCount == nullptr || n <= 0 || brelmont::reaches_null({{input, n}})) return;

  // Two halves of keys and of positions for the sort. After it, the spare halves hold the marks and the
  // selected values.
  brelmont::ScopedDeviceArray<float> keys_a, keys_b;
  brelmont::ScopedDeviceArray<int> positions_a, positions_b, count;
  if (brelmont::allocate_all(n, keys_a, keys_b, positions_a, positions_b) != cudaSuccess ||
      count.allocate(1) != cudaSuccess) {
    return;
  }
  const size_t bytes = sizeof(float) * static_cast<size_t>(n);
  brelmont::DoubleBuffer<float> keys{keys_a.get(), keys_b.get()};
  brelmont::DoubleBuffer<int> positions{positions_a.get(), positions_b.get()};
  const dim3 grid = brelmont::standard_grid(n), block = brelmont::standard_block();
  // The sort and the selection each wait for the device; the last wait is for the copy of the result, or for
  // whatever a failure left queued.
  cudaError_t status = cudaMemcpy(keys.current, input, bytes, cudaMemcpyDeviceToDevice);
  if (status == cudaSuccess) status = brelmont::launch(sgl_number_positions, grid, block, positions.current, n);
  if (status == cudaSuccess) status = brelmont::device_sort_pairs(keys, positions, n);
  int* const first = positions.alternate;
  float* const selected = keys.alternate;
  if (status == cudaSuccess) {
    status = brelmont::launch(sgl_mark_first_occurrences, grid, block, keys.current, positions.current, first, n);
  }
  if (status == cudaSuccess) status = brelmont::device_select_flagged(input, first, selected, count.get(), n);
  int distinct = 0;
  if (status == cudaSuccess) status = cudaMemcpy(&distinct, count.get(), sizeof distinct, cudaMemcpyDeviceToHost);
  brelmont::ScopedDeviceArray<float> result;
  if (status == cudaSuccess) status = result.allocate(distinct);
  if (status == cudaSuccess) {
    const size_t kept = sizeof(float) * static_cast<size_t>(distinct);
    status = cudaMemcpy(result.get(), selected, kept, cudaMemcpyDeviceToDevice);
  }
  status = brelmont::synchronize(status);
  if (brelmont::free_all(status, keys_a, keys_b, positions_a, positions_b, count) != cudaSuccess) return;
  *output = result.release();
  *outCount = distinct;
}
