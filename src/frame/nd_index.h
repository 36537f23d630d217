// The N-D index engine: where the elements of one array lie in the others.
//
// A kernel of the N-D family walks an iteration space (the box it copies, the output it fills, the source it
// splits) whose elements are numbered row-major, so that one array, the flat one, holds element i at i. The
// host first simplifies the space: size-1 dimensions are dropped and neighbouring dimensions that are
// contiguous in every array are merged, so most copies run over one to three long dimensions. The result
// travels to the kernel by value.
//
// Each thread moves one run: up to kRun consecutive elements of one row (a line along the innermost
// dimension). It finds the row's coordinates once, with code specialised for the space's rank (1, 2, 3, or
// any), and steps along the row from there; where a run is contiguous and aligned in an array it moves it as
// 16-byte words.
//
// Dimensions are held innermost first. An array of at most INT_MAX elements has at most 30 dimensions of
// size 2 or more, so kMaxRank covers every valid shape once its size-1 dimensions are gone.
#pragma once

#include <cuda_runtime.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "frame/fast_divisor.h"
#include "frame/kernel_index.h"

namespace brelmont {

constexpr int kMaxRank = 31;
// Elements of one run, and the bytes of one vector move: four floats are one word.
constexpr int kRun = 4;
constexpr int kWordBytes = 16;

// An iteration space of rank 1 or more and the element strides of Arrays arrays along each of its
// dimensions, innermost first, with the runs that cover it: ceil(size[0] / kRun) per row.
template <int Arrays>
struct IndexSpace {
  int rank;
  int runs;
  FastDivisor runs_per_row;
  FastDivisor size[kMaxRank];
  int stride[Arrays][kMaxRank];
};

template <int R>
using Rank = std::integral_constant<int, R>;

// Calls body(Rank<r>()) with r the rank where code is specialised for it (1, 2 and 3), and r = 0 (any rank)
// above. The branch is the same for every thread of a launch.
template <typename Body>
__device__ __forceinline__ void with_rank(int rank, Body&& body) {
  switch (rank) {
    case 1: body(Rank<1>()); break;
    case 2: body(Rank<2>()); break;
    case 3: body(Rank<3>()); break;
    default: body(Rank<0>()); break;
  }
}

// Splits row, a row-major index over dimensions 1 ... rank-1, into coordinates and calls visit(d, c) for each
// of those dimensions, innermost first. d is a constant wherever the code is unrolled, so visitors read the
// record in place.
template <int R, int Arrays, typename Visit>
__device__ __forceinline__ void for_each_row_coordinate(unsigned row, const IndexSpace<Arrays>& space,
                                                        Visit&& visit) {
  if constexpr (R == 2) {
    visit(1, static_cast<int>(row));
  } else if constexpr (R == 3) {
    const unsigned outer = space.size[1].quotient(row);
    visit(1, static_cast<int>(row - outer * space.size[1].divisor));
    visit(2, static_cast<int>(outer));
  } else if constexpr (R == 0) {
    unsigned rest = row;
#if defined(__CUDACC__)
#pragma unroll
#endif
    for (int d = 1; d < kMaxRank; ++d) {
      if (d == space.rank - 1) {  // the outermost coordinate is what is left
        visit(d, static_cast<int>(rest));
        break;
      }
      const unsigned outer = space.size[d].quotient(rest);
      visit(d, static_cast<int>(rest - outer * space.size[d].divisor));
      rest = outer;
    }
  }
}

// A thread's run: its row, its first position along dimension 0 and its length (1 ... kRun).
struct Run {
  unsigned row;
  int x0;
  int count;
};

// Calls body(Rank<r>(), run) for the run of this thread, in a standard launch of space.runs threads; the
// other threads do nothing.
template <int Arrays, typename Body>
__device__ __forceinline__ void for_this_run(const IndexSpace<Arrays>& space, Body&& body) {
  const unsigned t = static_cast<unsigned>(standard_index());
  if (t >= static_cast<unsigned>(space.runs)) return;
  with_rank(space.rank, [&](auto rank) {
    unsigned row = 0, along = t;
    if constexpr (decltype(rank)::value != 1) {  // rank 1 has one row
      row = space.runs_per_row.quotient(t);
      along = t - row * space.runs_per_row.divisor;
    }
    const int x0 = static_cast<int>(along) * kRun;
    const int left = static_cast<int>(space.size[0].divisor) - x0;
    body(rank, Run{row, x0, left < kRun ? left : kRun});
  });
}

// Adds the row's offset in each array to at[a].
template <int R, int Arrays>
__device__ __forceinline__ void add_row_offsets(unsigned row, const IndexSpace<Arrays>& space, int (&at)[Arrays]) {
  for_each_row_coordinate<R>(row, space, [&](int d, int c) {
#if defined(__CUDACC__)
#pragma unroll
#endif
    for (int a = 0; a < Arrays; ++a) at[a] += c * space.stride[a][d];
  });
}

// A run's elements in registers, and its moves: count elements p[0], p[stride], ..., or, where word is set
// and the run is whole, kRun contiguous elements as 16-byte words (p then aligned to 16 bytes).
template <typename T>
struct RunValues {
  static constexpr int kWords = kRun * static_cast<int>(sizeof(T)) / kWordBytes;
  static_assert(kWords * kWordBytes == kRun * static_cast<int>(sizeof(T)), "a run is whole words");
  T v[kRun];

  __device__ __forceinline__ void load(const T* p, int stride, int count, bool word) {
    if (word && count == kRun) {
      float4 w[kWords];
      for (int j = 0; j < kWords; ++j) w[j] = reinterpret_cast<const float4*>(p)[j];
      memcpy(v, w, sizeof v);
      return;
    }
    for (int k = 0; k < kRun; ++k)
      if (k < count) v[k] = p[k * stride];
  }

  __device__ __forceinline__ void store(T* p, int stride, int count, bool word) const {
    if (word && count == kRun) {
      float4 w[kWords];
      memcpy(w, v, sizeof v);
      for (int j = 0; j < kWords; ++j) reinterpret_cast<float4*>(p)[j] = w[j];
      return;
    }
    for (int k = 0; k < kRun; ++k)
      if (k < count) p[k * stride] = v[k];
  }
};

// Host: whether p may be moved in 16-byte words.
inline bool word_aligned(const void* p) { return reinterpret_cast<uintptr_t>(p) % kWordBytes == 0; }

// Host: words (bit k for the array of pointer k) less the bits of pointers that are not aligned to a word.
template <typename... P>
unsigned words_of(unsigned words, const P*... p) {
  unsigned bit = 1;
  ((words &= word_aligned(p) ? ~0u : ~bit, bit <<= 1), ...);
  return words;
}

// Host: builds a simplified space, one dimension at a time from the innermost out. Each dimension has its
// size and, per array, a stride and an extent: the array's own size along it, where that may be smaller than
// the space's (the kernel then pads) or larger (it skips the surplus). Where an array has no bound of its own,
// its extent is the size.
template <int Arrays>
class SpaceBuilder {
 public:
  int rank() const { return rank_; }
  int size(int d) const { return size_[d]; }
  int stride(int a, int d) const { return stride_[a][d]; }
  int extent(int a, int d) const { return extent_[a][d]; }
  bool full() const { return overflow_; }

  // Adds the next dimension outward and returns its position in the simplified space, or -1 when it was
  // dropped (size 1). A pinned dimension (an axis the kernel treats apart) is kept as it is, never dropped or
  // merged. Otherwise it merges into the previous one where every array is contiguous across the two: its
  // stride is the inner stride times the inner size, and the inner dimension lies whole in the array.
  int add(int size, const int (&stride)[Arrays], const int (&extent)[Arrays], bool pinned = false) {
    if (size == 1 && !pinned) return -1;
    if (rank_ > 0 && !pinned && !pinned_[rank_ - 1] && contiguous(stride)) {
      const int inner = size_[rank_ - 1];
      for (int a = 0; a < Arrays; ++a) {
        const long long merged = static_cast<long long>(extent[a]) * inner;
        extent_[a][rank_ - 1] = merged > 0x7fffffffLL ? 0x7fffffff : static_cast<int>(merged);
      }
      size_[rank_ - 1] = inner * size;
      return rank_ - 1;
    }
    if (rank_ == kMaxRank) {
      overflow_ = true;
      return -1;
    }
    size_[rank_] = size;
    pinned_[rank_] = pinned;
    for (int a = 0; a < Arrays; ++a) {
      stride_[a][rank_] = stride[a];
      extent_[a][rank_] = extent[a];
    }
    return rank_++;
  }

  // Every array's stride, and the extents equal to the size: the usual case of a dimension all arrays span.
  int add_whole(int size, const int (&stride)[Arrays], bool pinned = false) {
    int extent[Arrays];
    for (int a = 0; a < Arrays; ++a) extent[a] = size;
    return add(size, stride, extent, pinned);
  }

  // Whether every run of array a starts on a word when the array's first element does (its offset base
  // counted in): contiguous along the rows, every row offset a multiple of kRun.
  bool runs_on_words(int a, long long base = 0) const {
    if (base % kRun != 0 || (rank_ > 0 && stride_[a][0] != 1)) return false;
    for (int d = 1; d < rank_; ++d)
      if (stride_[a][d] % kRun != 0) return false;
    return true;
  }

  // The same for the flat array, whose row r starts at r * size(0).
  bool flat_runs_on_words() const { return rank_ <= 1 || size_[0] % kRun == 0; }

  // Bit a for each array a whose runs start on words, and bit Arrays for the flat array's.
  unsigned word_layout() const {
    unsigned words = flat_runs_on_words() ? 1u << Arrays : 0u;
    for (int a = 0; a < Arrays; ++a) words |= runs_on_words(a) ? 1u << a : 0u;
    return words;
  }

  // The space; one of a single element where every dimension was dropped. Every size must be at least 1.
  IndexSpace<Arrays> space() const {
    IndexSpace<Arrays> s{};
    s.rank = rank_ > 0 ? rank_ : 1;
    long long rows = 1;
    for (int d = 0; d < s.rank; ++d) {
      const int size = rank_ > 0 ? size_[d] : 1;
      s.size[d] = FastDivisor::of(size);
      if (d > 0) rows *= size;
      for (int a = 0; a < Arrays; ++a) s.stride[a][d] = rank_ > 0 ? stride_[a][d] : 0;
    }
    const int per_row = (static_cast<int>(s.size[0].divisor) - 1) / kRun + 1;
    s.runs_per_row = FastDivisor::of(per_row);
    s.runs = static_cast<int>(rows * per_row);  // at most the element count
    return s;
  }

 private:
  bool contiguous(const int (&stride)[Arrays]) const {
    const int d = rank_ - 1;
    for (int a = 0; a < Arrays; ++a) {
      if (extent_[a][d] != size_[d]) return false;
      if (static_cast<long long>(stride_[a][d]) * size_[d] != stride[a]) return false;
    }
    return true;
  }

  int rank_ = 0;
  bool overflow_ = false;
  int size_[kMaxRank] = {};
  int stride_[Arrays][kMaxRank] = {};
  int extent_[Arrays][kMaxRank] = {};
  bool pinned_[kMaxRank] = {};
};

// Splits flat (0 <= flat < the space's element count) into coordinates and calls visit(d, coordinate) for
// every dimension, innermost first: the per-block walk of the tiled transposes' batches.
template <int Arrays, typename Visit>
__device__ __forceinline__ void for_each_coordinate(int flat, const IndexSpace<Arrays>& space, Visit&& visit) {
  unsigned rest = static_cast<unsigned>(flat);
#if defined(__CUDACC__)
#pragma unroll
#endif
  for (int d = 0; d < kMaxRank; ++d) {
    if (d >= space.rank) break;
    if (d == space.rank - 1) {
      visit(d, static_cast<int>(rest));
      break;
    }
    const unsigned outer = space.size[d].quotient(rest);
    visit(d, static_cast<int>(rest - outer * space.size[d].divisor));
    rest = outer;
  }
}

}  // namespace brelmont
