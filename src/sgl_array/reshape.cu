// Rearranging one array: reshape (the flat sequence under new sizes), the 2-D and N-D transposes (tiles
// staged through shared memory where the innermost dimension moves, a copy of rows where it stays), and the
// splits of a 1-D array and of a 2-D array by rows or columns.
#include <new>

#include "cuda_brelmont.h"
#include "sgl_array/restructure.h"

using brelmont::Box;
using brelmont::Tiles;

__global__ void sgl_transpose_2d_array(const float* src, float* dst, Tiles tiles) {
  brelmont::transpose_tiles(src, dst, tiles);
}

__global__ void sgl_transpose_nd_array(const float* src, float* out, Tiles tiles) {
  brelmont::transpose_tiles(src, out, tiles);
}

__global__ void sgl_transpose_nd_rows(const float* src, float* out, Box box) { brelmont::gather_box(src, out, box); }

__global__ void sgl_split_1d(const float* src, float* dst, Box box) { brelmont::gather_box(src, dst, box); }

__global__ void sgl_split_2d_row(const float* src, float* dst, Box box) { brelmont::gather_box(src, dst, box); }

__global__ void sgl_split_2d_col(const float* src, float* dst, Box box) { brelmont::gather_box(src, dst, box); }

namespace {

int tiles_for(int length) { return static_cast<int>((static_cast<unsigned>(length) + brelmont::kTile - 1) / brelmont::kTile); }

// The tiled transpose of a batch of rows x cols slices: one block per tile, 1-D grid.
cudaError_t launch_tiles(void (*kernel)(const float*, float*, Tiles), const float* src, float* out, Tiles tiles,
                         int slices) {
  tiles.tiles_across = brelmont::FastDivisor::of(tiles_for(tiles.cols));
  tiles.tiles_down = brelmont::FastDivisor::of(tiles_for(tiles.rows));
  const unsigned per_slice = tiles.tiles_across.divisor * tiles.tiles_down.divisor;
  tiles.tiles_per_slice = brelmont::FastDivisor::of(static_cast<int>(per_slice));
  const unsigned blocks = per_slice * static_cast<unsigned>(slices);
  return brelmont::launch(kernel, dim3(blocks), dim3(brelmont::kTile, brelmont::kTileRows), src, out, tiles);
}

// The permutation's simplified space: the output's dimensions with their strides in src (array 0) and out
// (array 1). A dimension of out with src stride 1 is the source's innermost.
struct Permuted {
  brelmont::SpaceBuilder<2> space;
  int count;
};

bool permute(int ndims, const int* src_dims, const int* perm, Permuted* p) {
  if (ndims < 0 || (ndims > 0 && !brelmont::all_given(src_dims, perm))) return false;
  if (!brelmont::checked_count(src_dims, ndims, &p->count) || p->count == 0) return false;
  // Host scratch of ndims entries: the rank has no limit of its own.
  int* src_strides = new (std::nothrow) int[ndims > 0 ? ndims : 1];
  bool* seen = new (std::nothrow) bool[ndims > 0 ? ndims : 1]();
  bool valid = src_strides != nullptr && seen != nullptr;
  for (int j = 0; valid && j < ndims; ++j) {
    valid = perm[j] >= 0 && perm[j] < ndims && !seen[perm[j]];
    if (valid) seen[perm[j]] = true;
  }
  if (valid) {
    brelmont::make_strides(src_strides, src_dims, ndims);
    int out_stride = 1;
    for (int j = ndims - 1; j >= 0; --j) {
      const int size = src_dims[perm[j]];
      p->space.add_whole(size, {src_strides[perm[j]], out_stride});
      out_stride *= size;
    }
    valid = !p->space.full();
  }
  delete[] src_strides;
  delete[] seen;
  return valid;
}

// Launches the transpose of a permuted space: a copy of rows when the source's innermost dimension stays
// innermost, else tiles over the two innermost dimensions of src and out, the others a batch.
cudaError_t launch_permuted(const Permuted& p, const float* src, float* out) {
  const brelmont::SpaceBuilder<2>& space = p.space;
  int inner = 0;  // the dimension that is innermost in src
  while (inner < space.rank() && space.stride(0, inner) != 1) ++inner;
  if (space.rank() == 0 || inner == 0) {
    brelmont::SpaceBuilder<1> rows;
    for (int d = 0; d < space.rank(); ++d) rows.add_whole(space.size(d), {space.stride(0, d)});
    return brelmont::launch_box(sgl_transpose_nd_rows, src, out, brelmont::box_of(rows, 0));
  }
  brelmont::SpaceBuilder<2> batch;
  for (int d = 1; d < space.rank(); ++d)
    if (d != inner) batch.add_whole(space.size(d), {space.stride(0, d), space.stride(1, d)}, true);
  Tiles tiles{};
  tiles.batch = batch.space();
  tiles.rows = space.size(0);
  tiles.cols = space.size(inner);
  tiles.src_row_stride = space.stride(0, 0);
  tiles.out_row_stride = space.stride(1, inner);
  return launch_tiles(sgl_transpose_nd_array, src, out, tiles, p.count / (tiles.rows * tiles.cols));
}

// The index clamped into 0 ... limit.
int clamp(int index, int limit) { return index < 0 ? 0 : index > limit ? limit : index; }

}  // namespace

extern "C" cudaError_t SGL_ReshapeArray(float* src, int srcCount, int* newDims, int ndims, float** out) {
  if (out == nullptr) return cudaErrorInvalidValue;
  *out = nullptr;
  int n = 0;
  if (srcCount < 0 || ndims < 0 || (ndims > 0 && newDims == nullptr) || !brelmont::checked_count(newDims, ndims, &n)) {
    return cudaErrorInvalidValue;
  }
  // The flat sequence keeps its order: the first min(n, srcCount) elements, then zeros.
  const int kept = n < srcCount ? n : srcCount;
  const int counts[] = {n};  // an empty shape: a null array, no device work
  return brelmont::produce_new_arrays(counts, {out}, {{src, kept}}, [&](float* result) {
    if (n == 0) return cudaSuccess;
    // Both steps are queued on the device: the output is complete only once they have run.
    const size_t bytes = sizeof(float) * static_cast<size_t>(kept);
    cudaError_t status = kept == 0 ? cudaSuccess : cudaMemcpy(result, src, bytes, cudaMemcpyDeviceToDevice);
    if (status == cudaSuccess && kept < n) status = cudaMemset(result + kept, 0, sizeof(float) * (n - kept));
    return brelmont::synchronize(status);
  });
}

extern "C" cudaError_t SGL_Transpose2DArray(int* dims, float* src, float* dst) {
  if (dims == nullptr) return cudaErrorInvalidValue;
  int n = 0;
  if (!brelmont::checked_count(dims, 2, &n)) return cudaErrorInvalidValue;
  if (n == 0) return cudaSuccess;
  if (brelmont::reaches_null({{src, n}, {dst, n}})) return cudaErrorInvalidValue;
  if (brelmont::ranges_overlap(src, sizeof(float) * n, dst, sizeof(float) * n)) return cudaErrorInvalidValue;
  Tiles tiles{};
  tiles.batch.rank = 0;
  tiles.rows = dims[0];
  tiles.cols = dims[1];
  tiles.src_row_stride = dims[1];
  tiles.out_row_stride = dims[0];
  return launch_tiles(sgl_transpose_2d_array, src, dst, tiles, 1);
}

extern "C" void SGL_TransposeNDArray(int ndims, int* srcDims, int* perm, float* src, float** out, int* outDims) {
  if (out != nullptr) *out = nullptr;
  Permuted p;
  // outDims may be srcDims or perm itself: the sizes are gathered before any entry is written.
  int* sizes = new (std::nothrow) int[ndims > 0 ? ndims : 1];
  const bool valid = out != nullptr && sizes != nullptr && (ndims <= 0 || outDims != nullptr) &&
                     permute(ndims, srcDims, perm, &p);
  const cudaError_t status =
      !valid ? cudaErrorInvalidValue
             : brelmont::produce_new_arrays(p.count, {out}, {{src, p.count}}, [&](float* result) {
                 return brelmont::synchronize(launch_permuted(p, src, result));
               });
  if (status == cudaSuccess)
    for (int j = 0; j < ndims; ++j) sizes[j] = srcDims[perm[j]];
  brelmont::report_sizes(status, outDims, sizes, ndims);
  delete[] sizes;
}

extern "C" cudaError_t SGL_Split1DArray(int n, int index, float* src, float** first, int* firstCount, float** second,
                                        int* secondCount) {
  if (first != nullptr) *first = nullptr;
  if (second != nullptr) *second = nullptr;
  if (n < 0 || !brelmont::all_given(firstCount, secondCount)) {
    brelmont::report_sizes(cudaErrorInvalidValue, firstCount, nullptr, 1);
    brelmont::report_sizes(cudaErrorInvalidValue, secondCount, nullptr, 1);
    return cudaErrorInvalidValue;
  }
  const int at = clamp(index, n);
  const cudaError_t status =
      brelmont::produce_new_arrays({at, n - at}, {first, second}, {{src, n}}, [&](float* head, float* tail) {
        const cudaError_t launched =
            at > 0 ? brelmont::launch_box(sgl_split_1d, src, head, brelmont::run_of(0, at)) : cudaSuccess;
        return brelmont::first_failure(
            launched,
            at < n ? brelmont::launch_box(sgl_split_1d, src, tail, brelmont::run_of(at, n - at)) : cudaSuccess);
      });
  const int tail = n - at;
  brelmont::report_sizes(status, firstCount, &at, 1);
  brelmont::report_sizes(status, secondCount, &tail, 1);
  return status;
}

extern "C" cudaError_t SGL_Split2DArray(int* dims, int index, int mode, float* src, float** first, int* firstDims,
                                        float** second, int* secondDims) {
  if (first != nullptr) *first = nullptr;
  if (second != nullptr) *second = nullptr;
  int n = 0;
  if (!brelmont::all_given(dims, firstDims, secondDims) || !brelmont::checked_count(dims, 2, &n)) {
    brelmont::report_sizes(cudaErrorInvalidValue, firstDims, nullptr, 2);
    brelmont::report_sizes(cudaErrorInvalidValue, secondDims, nullptr, 2);
    return cudaErrorInvalidValue;
  }
  const int rows = dims[0], cols = dims[1];
  const bool by_rows = mode == 1;
  const int at = clamp(index, by_rows ? rows : cols);
  // Each part is a box of src: whole rows (a contiguous run), or a band of columns (rows x width, row stride cols).
  const int head[2] = {by_rows ? at : rows, by_rows ? cols : at};
  const int tail[2] = {by_rows ? rows - at : rows, by_rows ? cols : cols - at};
  const auto part = [&](const int (&shape)[2], int first_column_or_row, float* dst) -> cudaError_t {
    const int count = shape[0] * shape[1];
    if (count == 0) return cudaSuccess;
    if (by_rows) {
      return brelmont::launch_box(sgl_split_2d_row, src, dst, brelmont::run_of(first_column_or_row * cols, count));
    }
    brelmont::SpaceBuilder<1> band;
    band.add_whole(shape[1], {1});
    band.add_whole(shape[0], {cols});
    return brelmont::launch_box(sgl_split_2d_col, src, dst, brelmont::box_of(band, first_column_or_row));
  };
  const cudaError_t status = brelmont::produce_new_arrays(
      {head[0] * head[1], tail[0] * tail[1]}, {first, second}, {{src, n}},
      [&](float* a, float* b) { return brelmont::first_failure(part(head, 0, a), part(tail, at, b)); });
  brelmont::report_sizes(status, firstDims, head, 2);
  brelmont::report_sizes(status, secondDims, tail, 2);
  return status;
}
