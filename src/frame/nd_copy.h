// The element moves of the N-D family, written once for every element type: a box gathered from or
// scattered into an array, an array split in two along an axis, two arrays joined along an axis, and a
// transpose staged through shared memory. Each record travels to its kernel by value; the host makes it
// with the engine's SpaceBuilder (frame/nd_index.h) and marks which arrays take word moves, from the layout
// and the actual pointers.
//
// No kernel indexes a record's arrays, or its own per-array values, with a value known only at run time:
// that would put them in local memory. Inputs are chosen by selects over scalars.
#pragma once

#include <cuda_runtime.h>

#include "frame/fast_divisor.h"
#include "frame/kernel_index.h"
#include "frame/nd_index.h"

namespace brelmont {

// A box of an array: element i of the box (numbered row-major, the flat array) lies at base + sum of
// coordinate times stride in the array. Where the box runs past the array's end along a wrapping dimension
// (bit d of wrapping), its coordinate c there reads the array at (c + wrap_start[d]) mod wrap_size[d]
// instead.
struct Box {
  IndexSpace<1> space;
  int base;
  unsigned wrapping;
  unsigned words;  // bit 0: the box's array takes word moves; bit 1: the flat array
  int wrap_start[kMaxRank];
  FastDivisor wrap_size[kMaxRank];
};

// The coordinate in the array of coordinate c of the box along dimension d.
__device__ __forceinline__ int box_coordinate(const Box& box, int d, int c) {
  if (!(box.wrapping >> d & 1u)) return c;
  const FastDivisor& size = box.wrap_size[d];
  unsigned wrapped = static_cast<unsigned>(c) - size.quotient(static_cast<unsigned>(c)) * size.divisor;
  wrapped += static_cast<unsigned>(box.wrap_start[d]);  // both below size, so no overflow
  if (wrapped >= size.divisor) wrapped -= size.divisor;
  return static_cast<int>(wrapped);
}

// One element, or a run of them, moved between the box's array and the flat one: gathered (box to flat) or
// scattered. Function templates rather than branches inside the kernels' generic lambdas, where CUDA 11's
// front end instantiates the discarded branch of an if constexpr.
template <bool Gather, typename BoxArray, typename FlatArray>
__device__ __forceinline__ void move_element(BoxArray boxed, FlatArray flat) {
  if constexpr (Gather) {
    *flat = *boxed;
  } else {
    *boxed = *flat;
  }
}

template <bool Gather, typename T, typename BoxArray, typename FlatArray>
__device__ __forceinline__ void move_run(RunValues<T>& values, BoxArray boxed, int step, FlatArray flat, int count,
                                         unsigned words) {
  if constexpr (Gather) {
    values.load(boxed, step, count, words & 1u);
    values.store(flat, 1, count, words & 2u);
  } else {
    values.load(flat, 1, count, words & 2u);
    values.store(boxed, step, count, words & 1u);
  }
}

// Moves this thread's run between the box's array and the flat one.
template <bool Gather, typename BoxArray, typename FlatArray>
__device__ __forceinline__ void move_box_run(BoxArray boxed, FlatArray flat, const Box& box) {
  using T = std::remove_cv_t<std::remove_pointer_t<BoxArray>>;
  for_this_run(box.space, [&](auto rank, const Run& run) {
    int at = box.base;
    for_each_row_coordinate<decltype(rank)::value>(run.row, box.space, [&](int d, int c) {
      at += box_coordinate(box, d, c) * box.space.stride[0][d];
    });
    const int step = box.space.stride[0][0];
    FlatArray line = flat + (run.row * box.space.size[0].divisor + run.x0);
    if (box.wrapping & 1u) {  // the row wraps: each element apart
      for (int k = 0; k < kRun; ++k) {
        if (k >= run.count) break;
        move_element<Gather>(boxed + (at + box_coordinate(box, 0, run.x0 + k) * step), line + k);
      }
      return;
    }
    RunValues<T> values;
    move_run<Gather>(values, boxed + (at + run.x0 * step), step, line, run.count, box.words);
  });
}

// out[i] = src[box(i)] for the elements of the box: standard launch of box.space.runs threads.
template <typename T>
__device__ __forceinline__ void gather_box(const T* src, T* out, const Box& box) {
  move_box_run<true>(src, out, box);
}

// dst[box(i)] = src[i] for the elements of the box.
template <typename T>
__device__ __forceinline__ void scatter_box(T* dst, const T* src, const Box& box) {
  move_box_run<false>(dst, src, box);
}

// Split and joins divide an axis into a band, positions start ... start + width - 1, and the rest. Whether
// position along lies in the band, and how far it moves back on its side: by start inside the band, by width
// beyond it, not at all before it.
__device__ __forceinline__ bool in_band(int start, int width, int along, int* shift) {
  const bool inside = along >= start && along - start < width;
  *shift = inside ? start : (along < start ? 0 : width);
  return inside;
}

// The side of this thread's run: where the axis is across the rows, its coordinate along decides; where the axis
// runs along the rows, the run's first element decides, unless the run crosses an edge of the band (true is
// returned: then each element finds its own side).
__device__ __forceinline__ bool run_crosses_band(int start, int width, bool along_rows, int along, const Run& run,
                                                 bool* inside, int* shift) {
  *inside = in_band(start, width, along_rows ? run.x0 : along, shift);
  int last_shift = 0;
  return along_rows && (in_band(start, width, run.x0 + run.count - 1, &last_shift) != *inside || last_shift != *shift);
}

// A source split along an axis: the positions start ... start + count - 1 along it go to the second output,
// the others, closed up, to the first. The space is the source's (the flat array); array 0 is the first
// output, 1 the second. Both have the source's dimensions inside the axis, so one stride along it.
struct Split {
  IndexSpace<2> space;
  int axis;  // position of the axis in space
  int start;
  int count;
  int axis_step;   // both outputs' stride along the axis
  unsigned words;  // bit 0: the first output takes word moves, bit 1: the second, bit 2: the source
};

// One thread per run of the source; each element is written once, to one of the outputs. The row walk
// treats the axis as any dimension (its coordinate times each output's stride), then moves the position
// back by the shift of its side: no branch on which dimension is the axis. The sums are unsigned: a sum
// for the other output may pass INT_MAX, and only the chosen one is used, which fits.
template <typename T>
__device__ __forceinline__ void split_along_axis(const T* src, T* first, T* second, const Split& split) {
  for_this_run(split.space, [&](auto rank, const Run& run) {
    unsigned at_first = 0, at_second = 0;
    int along = 0;
    for_each_row_coordinate<decltype(rank)::value>(run.row, split.space, [&](int d, int c) {
      at_first += static_cast<unsigned>(c) * static_cast<unsigned>(split.space.stride[0][d]);
      at_second += static_cast<unsigned>(c) * static_cast<unsigned>(split.space.stride[1][d]);
      along = d == split.axis ? c : along;
    });
    RunValues<T> values;
    values.load(src + (run.row * split.space.size[0].divisor + run.x0), 1, run.count, split.words & 4u);
    // The band is the range removed to the second output.
    bool to_second = false;
    int shift = 0;
    if (run_crosses_band(split.start, split.count, split.axis == 0, along, run, &to_second, &shift)) {
      for (int k = 0; k < kRun; ++k) {
        if (k >= run.count) break;
        const int x = run.x0 + k;
        if (in_band(split.start, split.count, x, &shift)) {
          second[static_cast<int>(at_second) + (x - shift) * split.axis_step] = values.v[k];
        } else {
          first[static_cast<int>(at_first) + (x - shift) * split.axis_step] = values.v[k];
        }
      }
      return;
    }
    const unsigned back = static_cast<unsigned>(shift) * static_cast<unsigned>(split.axis_step);
    const int at = static_cast<int>((to_second ? at_second : at_first) - back);
    const int step = to_second ? split.space.stride[1][0] : split.space.stride[0][0];
    values.store((to_second ? second : first) + (at + run.x0 * step), step, run.count,
                 to_second ? (split.words & 2u) : (split.words & 1u));
  });
}

// Two arrays joined along an axis: output positions below start along it come from the first array, the
// next width from the second (shifted by start), the rest from the first again (shifted by width). Along the
// other dimensions a position beyond the chosen array's extent is 0.0, and what lies beyond the output is
// never read. The space is the output's (the flat array); array 0 is the first input, array 1 the second.
// Along the axis the extents are INT_MAX (no padding there) and the inputs' strides are also scalar fields.
//
// Where the axis is the outermost dimension and neither input is padded, the output is three blocks (two
// for a join at the end): first[0, block_start), second, then the rest of first. The kernel then copies
// blocks over a space of one dimension, with no coordinates at all.
struct Join {
  IndexSpace<2> space;
  int extent[2][kMaxRank];
  int axis;  // position of the axis in space
  int start;
  int width;
  int step_first, step_second;  // the inputs' strides along the axis
  int blocks;        // nonzero: a join of blocks, over a space of one dimension
  int block_start;   // the second input's first element in the output
  int block_end;     // its end
  unsigned words;    // bit 0: the first input takes word moves, bit 1: the second, bit 2: the output
};

// The values of a run of a join of blocks: from the block that holds it, or element by element where the run
// crosses an edge of the second block.
template <typename T>
__device__ __forceinline__ void join_blocks(const T* first, const T* second, const Run& run, const Join& join,
                                            RunValues<T>& values) {
  const int i = run.x0;
  const bool in_second = i >= join.block_start && i < join.block_end;
  const bool straddles = (i + run.count - 1 >= join.block_start) != (i >= join.block_start) ||
                         (i + run.count - 1 >= join.block_end) != (i >= join.block_end);
  if (straddles) {  // a run across a block's edge, with edges not on words: each element apart
    for (int k = 0; k < kRun; ++k) {
      if (k >= run.count) break;
      const int j = i + k;
      values.v[k] = j < join.block_start ? first[j]
                    : j < join.block_end ? second[j - join.block_start]
                                         : first[j - (join.block_end - join.block_start)];
    }
    return;
  }
  const T* from = in_second ? second + (i - join.block_start)
                            : first + (i < join.block_start ? i : i - (join.block_end - join.block_start));
  values.load(from, 1, run.count, in_second ? (join.words & 2u) : (join.words & 1u));
}

// One thread per run of the output: each output element written once, from an input or as 0. The row walk
// treats the axis as any dimension, as the split's does.
template <typename T>
__device__ __forceinline__ void join_along_axis(const T* first, const T* second, T* out, const Join& join) {
  for_this_run(join.space, [&](auto rank, const Run& run) {
    RunValues<T> values;
    T* line = out + (run.row * join.space.size[0].divisor + run.x0);
    if (join.blocks) {
      join_blocks(first, second, run, join, values);
      values.store(line, 1, run.count, join.words & 4u);
      return;
    }
    unsigned at_first = 0, at_second = 0;
    int along = 0;
    bool in_first = true, in_second = true;
    for_each_row_coordinate<decltype(rank)::value>(run.row, join.space, [&](int d, int c) {
      at_first += static_cast<unsigned>(c) * static_cast<unsigned>(join.space.stride[0][d]);
      at_second += static_cast<unsigned>(c) * static_cast<unsigned>(join.space.stride[1][d]);
      in_first = in_first && c < join.extent[0][d];
      in_second = in_second && c < join.extent[1][d];
      along = d == join.axis ? c : along;
    });
    // The band is where the second input lies.
    bool from_second = false;
    int shift = 0;
    if (run_crosses_band(join.start, join.width, join.axis == 0, along, run, &from_second, &shift)) {
      for (int k = 0; k < kRun; ++k) {
        if (k >= run.count) break;
        const int x = run.x0 + k;
        const bool second_here = in_band(join.start, join.width, x, &shift);
        values.v[k] = !(second_here ? in_second : in_first) ? T{}
                      : second_here ? second[static_cast<int>(at_second) + (x - shift) * join.step_second]
                                    : first[static_cast<int>(at_first) + (x - shift) * join.step_first];
      }
      values.store(line, 1, run.count, join.words & 4u);
      return;
    }
    // Elements of the row below limit come from the input, the rest (its padding) are 0.
    const int limit = !(from_second ? in_second : in_first) ? 0 : from_second ? join.extent[1][0] : join.extent[0][0];
    const int step = from_second ? join.space.stride[1][0] : join.space.stride[0][0];
    const unsigned back = static_cast<unsigned>(shift) * static_cast<unsigned>(from_second ? join.step_second
                                                                                           : join.step_first);
    const int at = static_cast<int>((from_second ? at_second : at_first) - back);
    const T* from = (from_second ? second : first) + (at + run.x0 * step);
    if (run.x0 + run.count <= limit) {
      values.load(from, step, run.count, from_second ? (join.words & 2u) : (join.words & 1u));
    } else {
      for (int k = 0; k < kRun; ++k) values.v[k] = k < run.count && run.x0 + k < limit ? from[k * step] : T{};
    }
    values.store(line, 1, run.count, join.words & 4u);
  });
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
  FastDivisor tiles_per_slice;
};

constexpr unsigned kTile = 32;      // a tile is kTile x kTile elements
constexpr unsigned kTileRows = 8;   // rows of threads in a block of kTile x kTileRows

// One block of kTile x kTileRows threads per tile, 1-D grid over (slice, tile). Reads run along the rows of
// src and writes along the rows of out, both coalesced; the tile waits in shared memory (one spare column, so
// the transposed reads hit distinct banks). Within a slice the blocks take the tiles in diagonal order:
// block b of the slice takes tile row b mod down and tile column (b / down + b mod down) mod across, so
// consecutive blocks read rows and write rows of different tiles, far apart in memory, rather than all reading
// one band of src and writing one column band of out (partition camping).
template <typename T>
__device__ __forceinline__ void transpose_tiles(const T* src, T* out, const Tiles& tiles) {
  __shared__ T tile[kTile][kTile + 1];
  const unsigned block = blockIdx.x;
  const unsigned slice = tiles.tiles_per_slice.quotient(block);
  const unsigned b = block - slice * tiles.tiles_per_slice.divisor;
  const unsigned diagonal = tiles.tiles_down.quotient(b);
  const unsigned tile_row = b - diagonal * tiles.tiles_down.divisor;
  const unsigned sum = diagonal + tile_row;
  const unsigned tile_col = sum - tiles.tiles_across.quotient(sum) * tiles.tiles_across.divisor;
  const int col0 = static_cast<int>(tile_col * kTile);
  const int row0 = static_cast<int>(tile_row * kTile);
  int at[2] = {0, 0};
  for_each_coordinate(static_cast<int>(slice), tiles.batch, [&](int d, int c) {
    at[0] += c * tiles.batch.stride[0][d];
    at[1] += c * tiles.batch.stride[1][d];
  });
  // Each thread moves kTile / kTileRows elements each way, rows kTileRows apart: a loop of fixed length,
  // unrolled, stepping one offset each way from the thread's first element (where that lies in the array).
  const int x = static_cast<int>(threadIdx.x), y0 = static_cast<int>(threadIdx.y);
  constexpr int kSteps = static_cast<int>(kTile / kTileRows), kStep = static_cast<int>(kTileRows);
  if (col0 + x < tiles.cols && row0 + y0 < tiles.rows) {
    unsigned from = static_cast<unsigned>(at[0] + (row0 + y0) * tiles.src_row_stride + col0 + x);
#if defined(__CUDACC__)
#pragma unroll
#endif
    for (int k = 0; k < kSteps && row0 + y0 + k * kStep < tiles.rows; ++k) {
      tile[y0 + k * kStep][x] = src[from];
      from += static_cast<unsigned>(kStep * tiles.src_row_stride);  // may pass the end after the last
    }
  }
  __syncthreads();
  if (row0 + x < tiles.rows && col0 + y0 < tiles.cols) {
    unsigned to = static_cast<unsigned>(at[1] + (col0 + y0) * tiles.out_row_stride + row0 + x);
#if defined(__CUDACC__)
#pragma unroll
#endif
    for (int k = 0; k < kSteps && col0 + y0 + k * kStep < tiles.cols; ++k) {
      out[to] = tile[x][y0 + k * kStep];
      to += static_cast<unsigned>(kStep * tiles.out_row_stride);
    }
  }
}

}  // namespace brelmont
