// The N-D index engine: where the element at a flat index of one array lies in the others.
//
// A kernel of the N-D family walks an iteration space (the box it copies, the output it fills, the source it
// splits) and finds, for each element, its partner in every other array by coordinates: decompose the flat
// index into coordinates, recompose them with each array's strides. The host first simplifies the space:
// size-1 dimensions are dropped and neighbouring dimensions that are contiguous in every array are merged,
// so most copies run as one or two long dimensions. The result travels to the kernel by value.
//
// Dimensions are held innermost first. An array of at most INT_MAX elements has at most 30 dimensions of
// size 2 or more, so kMaxRank covers every valid shape once its size-1 dimensions are gone.
#pragma once

#include <cuda_runtime.h>

#include "frame/fast_divisor.h"

namespace brelmont {

constexpr int kMaxRank = 31;

// An iteration space and the element strides of Arrays arrays along each of its dimensions, innermost first.
template <int Arrays>
struct IndexSpace {
  int rank;
  FastDivisor size[kMaxRank];
  int stride[Arrays][kMaxRank];
};

// Splits flat (0 <= flat < the space's element count) into coordinates and calls visit(d, coordinate) for
// every dimension, innermost first. The loop is unrolled over the capacity, so the record is read in place.
#if defined(__CUDACC__)
#pragma nv_exec_check_disable
#endif
template <int Arrays, typename Visit>
__host__ __device__ __forceinline__ void for_each_coordinate(int flat, const IndexSpace<Arrays>& space, Visit&& visit) {
  unsigned rest = static_cast<unsigned>(flat);
#if defined(__CUDACC__)
#pragma unroll
#endif
  for (int d = 0; d < kMaxRank; ++d) {
    if (d >= space.rank) break;
    if (d == space.rank - 1) {  // the outermost coordinate is what is left
      visit(d, static_cast<int>(rest));
      break;
    }
    const unsigned outer = space.size[d].quotient(rest);
    visit(d, static_cast<int>(rest - outer * space.size[d].divisor));
    rest = outer;
  }
}

// The offset of the element at flat in each array: the sum of coordinate times stride.
template <int Arrays>
__host__ __device__ __forceinline__ void offsets_of(int flat, const IndexSpace<Arrays>& space, int (&at)[Arrays]) {
  for_each_coordinate(flat, space, [&](int d, int c) {
    for (int a = 0; a < Arrays; ++a) at[a] += c * space.stride[a][d];
  });
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

  IndexSpace<Arrays> space() const {
    IndexSpace<Arrays> s{};
    s.rank = rank_;
    for (int d = 0; d < rank_; ++d) {
      s.size[d] = FastDivisor::of(size_[d]);
      for (int a = 0; a < Arrays; ++a) s.stride[a][d] = stride_[a][d];
    }
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

}  // namespace brelmont
