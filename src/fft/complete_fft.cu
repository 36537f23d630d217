// Completion of a half spectrum: every row along the last dimension gets X[N - j] = conj(X[j]) from its
// valid positions 1 ... N/2, the conjugate symmetry of the transform of real data.
//
// One thread per mirrored element, and the kernel finds its row and position from N alone: no tables of
// sizes or strides. Positions 0 and, for even N, N/2 are their own mirrors and are never written; the reads
// (1 ... h) and writes (h+1 ... N-1) of a row never overlap, so threads need no order among themselves.
#include "cuda_brelmont.h"
#include "frame/device_memory.h"
#include "frame/kernel_index.h"
#include "frame/launch.h"
#include "frame/strides.h"

namespace {

// Sources per row: 1 ... h for odd N = 2h + 1, 1 ... h - 1 for even N = 2h.
__host__ __device__ __forceinline__ int mirrored_per_row(int row_length) {
  return row_length % 2 == 1 ? row_length / 2 : row_length / 2 - 1;
}

// Thread t mirrors source t % m + 1 of row t / m, m sources per row; count = rows * m.
__device__ __forceinline__ void mirror(float2* data, int row_length, int count) {
  const int t = brelmont::standard_index();
  if (t >= count) return;
  const int m = mirrored_per_row(row_length);
  const int row = t / m, j = t - row * m + 1;
  const float2 x = data[row * row_length + j];
  data[row * row_length + (row_length - j)] = make_float2(x.x, -x.y);
}

}  // namespace

__global__ void odd_complete_fft(float2* data, int row_length, int count) { mirror(data, row_length, count); }

__global__ void even_complete_fft(float2* data, int row_length, int count) { mirror(data, row_length, count); }

extern "C" void CompleteFFT(float2* data, int* sizes, int ndims) {
  if (ndims < 1 || sizes == nullptr) return;
  int n = 0;
  if (!brelmont::checked_count(sizes, ndims, &n) || n == 0) return;
  const int row_length = sizes[ndims - 1];
  const int per_row = mirrored_per_row(row_length);
  if (per_row <= 0) return;  // N = 1 or 2: every position is its own mirror
  if (brelmont::reaches_null({{data, n}})) return;
  const int count = n / row_length * per_row;
  // Work queued earlier on any stream (the transform) completes first; the result is complete on return.
  cudaDeviceSynchronize();
  brelmont::synchronize(brelmont::launch(row_length % 2 == 1 ? odd_complete_fft : even_complete_fft,
                                         brelmont::standard_grid(count), brelmont::standard_block(), data,
                                         row_length, count));
}
