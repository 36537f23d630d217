// The element moves of the N-D family, written once for every element type: a box gathered from or
// scattered into an array, an array split in two along an axis, two arrays joined along an axis, and a
// transpose staged through shared memory. Each record travels to its kernel by value; the host makes it
// with the engine's SpaceBuilder (frame/nd_index.h).
#pragma once

#include <cuda_runtime.h>

#include "frame/fast_divisor.h"
#include "frame/kernel_index.h"
#include "frame/nd_index.h"

namespace brelmont {

// A box of an array: the element at flat index i of the box lies at base + sum of coordinate times stride in
// the array. Where the box runs past the array's end along a wrapping dimension (bit d of wrapping), its
// coordinate c there reads the array at (c + wrap_start[d]) mod wrap_size[d] instead.
struct Box {
  IndexSpace<1> space;
  int base;
  unsigned wrapping;
  int wrap_start[kMaxRank];
  FastDivisor wrap_size[kMaxRank];
};

__host__ __device__ __forceinline__ int box_offset(int i, const Box& box) {
  int at = box.base;
  for_each_coordinate(i, box.space, [&](int d, int c) {
    if (box.wrapping >> d & 1u) {
      const FastDivisor& size = box.wrap_size[d];
      unsigned wrapped = static_cast<unsigned>(c) - size.quotient(static_cast<unsigned>(c)) * size.divisor;
      wrapped += static_cast<unsigned>(box.wrap_start[d]);  // both below size, so no overflow
      if (wrapped >= size.divisor) wrapped -= size.divisor;
      c = static_cast<int>(wrapped);
    }
    at += c * box.space.stride[0][d];
  });
  return at;
}

// out[i] = src[box(i)] for the n elements of the box. Standard launch.
template <typename T>
__device__ __forceinline__ void gather_box(const T* src, T* out, const Box& box, int n) {
  const int i = standard_index();
  if (i < n) out[i] = src[box_offset(i, box)];
}

// dst[box(i)] = src[i] for the n elements of the box. Standard launch.
template <typename T>
__device__ __forceinline__ void scatter_box(T* dst, const T* src, const Box& box, int n) {
  const int i = standard_index();
  if (i < n) dst[box_offset(i, box)] = src[i];
}

// A source split along an axis: the positions start ... start + count - 1 along it go to the second output,
// the others, closed up, to the first. The space is the source's; array 0 is the first output, 1 the second.
struct Split {
  IndexSpace<2> space;
  int axis;  // position of the axis in space
  int start;
  int count;
};

// One thread per source element, standard launch; each element is written once, to one of the outputs. The
// strides along the axis are read where the unrolled walk meets it, so no record entry is indexed at run time
// (that would put the record, or the offsets, in local memory).
template <typename T>
__device__ __forceinline__ void split_along_axis(const T* src, T* first, T* second, const Split& split, int n) {
  const int i = standard_index();
  if (i >= n) return;
  int at_first = 0, at_second = 0, along = 0, step_first = 0, step_second = 0;
  for_each_coordinate(i, split.space, [&](int d, int c) {
    if (d == split.axis) {
      along = c;
      step_first = split.space.stride[0][d];
      step_second = split.space.stride[1][d];
    } else {
      at_first += c * split.space.stride[0][d];
      at_second += c * split.space.stride[1][d];
    }
  });
  if (along >= split.start && along - split.start < split.count) {
    second[at_second + (along - split.start) * step_second] = src[i];
  } else {
    const int kept = along < split.start ? along : along - split.count;
    first[at_first + kept * step_first] = src[i];
  }
}

// Two arrays joined along an axis: output positions below start along it come from the first array, the
// next width from the second (shifted by start), the rest from the first again (shifted by width). Along the
// other dimensions a position beyond the chosen array's extent is 0.0, and what lies beyond the output is
// never read. The space is the output's; array 0 is the first input, array 1 the second.
struct Join {
  IndexSpace<2> space;
  int extent[2][kMaxRank];
  int axis;  // position of the axis in space
  int start;
  int width;
};

// One thread per output element, standard launch: each output element written once, from an input or as 0.
// The input is chosen by selects over scalars, never by an index into per-input arrays (local memory).
template <typename T>
__device__ __forceinline__ void join_along_axis(const T* first, const T* second, T* out, const Join& join, int n) {
  const int i = standard_index();
  if (i >= n) return;
  int at_first = 0, at_second = 0, along = 0, step_first = 0, step_second = 0;
  bool in_first = true, in_second = true;
  for_each_coordinate(i, join.space, [&](int d, int c) {
    if (d == join.axis) {
      along = c;
      step_first = join.space.stride[0][d];
      step_second = join.space.stride[1][d];
      return;
    }
    at_first += c * join.space.stride[0][d];
    at_second += c * join.space.stride[1][d];
    in_first = in_first && c < join.extent[0][d];
    in_second = in_second && c < join.extent[1][d];
  });
  const bool from_second = along >= join.start && along - join.start < join.width;
  const int position = from_second ? along - join.start : (along < join.start ? along : along - join.width);
  const int at = from_second ? at_second + position * step_second : at_first + position * step_first;
  out[i] = (from_second ? in_second : in_first) ? (from_second ? second : first)[at] : T{};
}

// A batch of 2-D transposes: each slice of src is a rows x cols matrix (row stride src_row_stride, elements
// contiguous along a row) and becomes a cols x rows slice of out (row stride out_row_stride). The batch space
// gives each slice's offset in src (array 0) and in out (array 1).
struct Tiles {
  IndexSpace<2> batch;
  int rows, cols;
  int src_row_stride, out_row_stride;
  FastDivisor tiles_across;  // tiles along a row
  FastDivisor tiles_down;    // tiles along a column
};

constexpr unsigned kTile = 32;      // a tile is kTile x kTile elements
constexpr unsigned kTileRows = 8;   // rows of threads in a block of kTile x kTileRows

// One block of kTile x kTileRows threads per tile, 1-D grid over (slice, tile row, tile column). Reads run
// along the rows of src and writes along the rows of out, both coalesced; the tile waits in shared memory
// (one spare column, so the transposed reads hit distinct banks).
template <typename T>
__device__ __forceinline__ void transpose_tiles(const T* src, T* out, const Tiles& tiles) {
  __shared__ T tile[kTile][kTile + 1];
  const unsigned block = blockIdx.x;
  const unsigned row_of_tiles = tiles.tiles_across.quotient(block);
  const unsigned slice = tiles.tiles_down.quotient(row_of_tiles);
  const int col0 = static_cast<int>((block - row_of_tiles * tiles.tiles_across.divisor) * kTile);
  const int row0 = static_cast<int>((row_of_tiles - slice * tiles.tiles_down.divisor) * kTile);
  int at[2] = {0, 0};
  offsets_of(static_cast<int>(slice), tiles.batch, at);
  const int x = static_cast<int>(threadIdx.x);
  for (int y = static_cast<int>(threadIdx.y); y < static_cast<int>(kTile); y += kTileRows) {
    if (row0 + y < tiles.rows && col0 + x < tiles.cols) {
      tile[y][x] = src[at[0] + (row0 + y) * tiles.src_row_stride + col0 + x];
    }
  }
  __syncthreads();
  for (int y = static_cast<int>(threadIdx.y); y < static_cast<int>(kTile); y += kTileRows) {
    if (col0 + y < tiles.cols && row0 + x < tiles.rows) {
      out[at[1] + (col0 + y) * tiles.out_row_stride + row0 + x] = tile[x][y];
    }
  }
}

}  // namespace brelmont
