// Host steps of the N-D exports that have float and float2 twins (replace and delete), and the shapes every
// N-D export shares: each validates, simplifies its shapes into one record and makes one launch.
#pragma once

#include <cuda_runtime.h>

#include <climits>

#include "frame/device_memory.h"
#include "frame/launch.h"
#include "frame/launch_shape.h"
#include "frame/nd_copy.h"
#include "frame/nd_index.h"
#include "frame/new_arrays.h"
#include "frame/strides.h"

namespace brelmont {

// A box over the dimensions of a builder with one array (the one the box addresses), starting at base,
// wrapping along the dimensions of the bits of wrapping. The word bits say what the layout allows; the
// launch clears those of pointers that are not aligned.
inline Box box_of(const SpaceBuilder<1>& dims, int base, unsigned wrapping = 0) {
  Box box{};
  box.space = dims.space();
  box.base = base;
  box.wrapping = wrapping;
  box.words = (dims.runs_on_words(0, base) && !(wrapping & 1u) ? 1u : 0u) | (dims.flat_runs_on_words() ? 2u : 0u);
  return box;
}

// The contiguous run of count elements from first.
inline Box run_of(int first, int count) {
  SpaceBuilder<1> dims;
  dims.add_whole(count, {1});
  return box_of(dims, first);
}

// The join record of a simplified output space whose arrays 0 and 1 are the two inputs. Where the axis is
// outermost and neither input is padded or cut, the inputs are blocks of the output: the record copies
// blocks over one dimension of all n output elements.
inline Join join_of(const SpaceBuilder<2>& space, int axis, int start, int width, int n) {
  Join join{};
  const int rank = space.rank();
  const bool whole_rows = rank == 1 || (rank == 2 && space.extent(0, 0) == space.size(0) &&
                                         space.extent(1, 0) == space.size(0));
  if (axis == rank - 1 && whole_rows) {
    const int row = rank == 2 ? space.size(0) : 1;  // elements per position along the axis
    SpaceBuilder<2> blocks;
    blocks.add_whole(n, {1, 1});
    join.space = blocks.space();
    join.blocks = 1;
    join.block_start = start * row;
    join.block_end = (start + width) * row;
    const bool edges_on_words = join.block_start % kRun == 0 && join.block_end % kRun == 0;
    join.words = (edges_on_words ? 3u : 0u) | 4u;
    return join;
  }
  join.space = space.space();
  for (int d = 0; d < rank; ++d) {
    join.extent[0][d] = d == axis ? INT_MAX : space.extent(0, d);
    join.extent[1][d] = d == axis ? INT_MAX : space.extent(1, d);
  }
  join.step_first = space.stride(0, axis);
  join.step_second = space.stride(1, axis);
  join.axis = axis;
  join.start = start;
  join.width = width;
  join.words = space.word_layout();
  if (axis == 0 && (start | width) % kRun != 0) join.words &= 4u;  // a shift along the rows off a word
  return join;
}

// Launches kernel(boxed, flat, box) over the runs of the box, boxed the array it addresses.
template <typename Boxed, typename Flat>
cudaError_t launch_box(void (*kernel)(Boxed*, Flat*, Box), exactly_t<Boxed>* boxed, exactly_t<Flat>* flat, Box box) {
  box.words = words_of(box.words, boxed, flat);
  return launch(kernel, standard_grid(box.space.runs), standard_block(), boxed, flat, box);
}

// Launches kernel(first, second, out, join) over the runs of the output.
template <typename T>
cudaError_t launch_join(void (*kernel)(const T*, const T*, T*, Join), const T* first, const T* second, T* out,
                        Join join) {
  join.words = words_of(join.words, first, second, out);
  return launch(kernel, standard_grid(join.space.runs), standard_block(), first, second, out, join);
}

// Whether every pointer is non-null (arrays of sizes that must be read or written).
template <typename... P>
bool all_given(const P*... p) {
  return ((p != nullptr) && ...);
}

// dst's box at start, of sub's sizes, = sub: validated (the box inside dst, dst and sub apart), one launch,
// waited for. Returns the first failure.
template <typename T>
cudaError_t replace_subset(void (*kernel)(T*, const T*, Box), int ndims, const int* dst_dims,
                           const int* sub_dims, const int* start, T* dst, const T* sub) {
  if (ndims < 0 || (ndims > 0 && !all_given(dst_dims, sub_dims, start))) return cudaErrorInvalidValue;
  int dst_count = 0, sub_count = 0;
  if (!checked_count(dst_dims, ndims, &dst_count) || !checked_count(sub_dims, ndims, &sub_count)) {
    return cudaErrorInvalidValue;
  }
  // A box that is not empty cannot fit into an empty dst; otherwise every stride stays below dst_count.
  if (sub_count > 0 && dst_count == 0) return cudaErrorInvalidValue;
  SpaceBuilder<1> box;
  int base = 0, stride = 1;
  for (int k = ndims - 1; k >= 0; --k) {
    if (start[k] < 0 || static_cast<long long>(start[k]) + sub_dims[k] > dst_dims[k]) return cudaErrorInvalidValue;
    if (sub_count == 0) continue;  // an empty dst may have sizes whose product overflows
    base += start[k] * stride;
    box.add_whole(sub_dims[k], {stride});
    stride *= dst_dims[k];
  }
  if (sub_count == 0) return cudaSuccess;
  if (reaches_null({{dst, sub_count}, {sub, sub_count}})) return cudaErrorInvalidValue;
  if (ranges_overlap(dst, sizeof(T) * dst_count, sub, sizeof(T) * sub_count)) return cudaErrorInvalidValue;
  return synchronize(launch_box(kernel, dst, sub, box_of(box, base)));
}

// Splits src along axis into what remains (out) and the positions start ... start + count - 1 (deleted),
// new arrays with their sizes written to out_dims and deleted_dims; an empty part is a null array. One
// launch, waited for. Returns the first failure; on any failure both outputs are null.
template <typename T>
cudaError_t delete_range(void (*kernel)(const T*, T*, T*, Split), int ndims, const int* src_dims, int start,
                         int count, int axis, const T* src, T** out, int* out_dims, T** deleted, int* deleted_dims) {
  if (out != nullptr) *out = nullptr;
  if (deleted != nullptr) *deleted = nullptr;
  int n = 0;
  if (ndims < 1 || !all_given(src_dims, out_dims, deleted_dims) || axis < 0 || axis >= ndims ||
      !checked_count(src_dims, ndims, &n) || n == 0 || start < 0 || count < 0 ||
      static_cast<long long>(start) + count > src_dims[axis]) {
    report_sizes(cudaErrorInvalidValue, out_dims, nullptr, ndims);
    report_sizes(cudaErrorInvalidValue, deleted_dims, nullptr, ndims);
    return cudaErrorInvalidValue;
  }
  const int along = src_dims[axis];

  Split split{};
  SpaceBuilder<2> space;
  int strides[2] = {1, 1};  // of out and deleted
  for (int k = ndims - 1; k >= 0; --k) {
    const bool is_axis = k == axis;
    const int at = space.add_whole(src_dims[k], strides, is_axis);
    if (is_axis) split.axis = at;
    strides[0] *= is_axis ? along - count : src_dims[k];
    strides[1] *= is_axis ? count : src_dims[k];
  }
  split.space = space.space();
  split.start = start;
  split.count = count;
  split.axis_step = space.stride(0, split.axis);
  split.words = space.word_layout();
  if (split.axis == 0 && (start | count) % kRun != 0) split.words &= 4u;  // a shift along the rows off a word
  // What remains and what is removed: n / along slices, each along - count or count positions wide.
  const int counts[2] = {n / along * (along - count), n / along * count};
  const cudaError_t status = produce_new_arrays(counts, {out, deleted}, {{src, n}}, [&](T* kept, T* removed) {
    split.words = words_of(split.words, kept, removed, src);
    return synchronize(launch(kernel, standard_grid(split.space.runs), standard_block(), src, kept, removed, split));
  });
  for (int k = ndims - 1; k >= 0; --k) {  // src_dims is read to the end before either is written
    out_dims[k] = status != cudaSuccess ? 0 : k == axis ? along - count : src_dims[k];
    deleted_dims[k] = status != cudaSuccess ? 0 : k == axis ? count : src_dims[k];
  }
  return status;
}

}  // namespace brelmont
