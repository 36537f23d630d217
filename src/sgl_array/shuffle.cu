// Real arrays: a uniformly random permutation in place.
//
// Every element draws a random 64-bit key and the elements are sorted by their keys: with independent keys
// every order is equally likely, and two equal keys among n elements (chance about n^2 / 2^65) are too rare
// to bias anything. The keys come from the frame's counter-based generator, one per element, so the
// permutation is a function of the call's seed and n alone, in both variants.
#include "cuda_brelmont.h"
#include "frame/algorithms.h"
#include "frame/device_memory.h"
#include "frame/kernel_index.h"
#include "frame/launch.h"
#include "frame/random.h"

// keys[i] = the i-th random word of seed.
__global__ void sgl_draw_shuffle_keys(unsigned long long seed, unsigned long long* keys, int n) {
  const int i = brelmont::standard_index();
  if (i < n) keys[i] = brelmont::random_bits(seed, static_cast<unsigned long long>(i));
}

extern "C" cudaError_t SGL_ShuffleNDArray(int n, float* data) {
  if (n < 0) return cudaErrorInvalidValue;
  if (n <= 1) return cudaSuccess;
  if (brelmont::reaches_null({{data, n}})) return cudaErrorInvalidValue;
  brelmont::ScopedDeviceArray<unsigned long long> keys_a, keys_b;
  brelmont::ScopedDeviceArray<float> alternate;
  if (const cudaError_t status = brelmont::allocate_all(n, keys_a, keys_b, alternate); status != cudaSuccess) {
    return status;
  }
  brelmont::DoubleBuffer<unsigned long long> keys{keys_a.get(), keys_b.get()};
  brelmont::DoubleBuffer<float> values{data, alternate.get()};
  cudaError_t status = brelmont::launch(sgl_draw_shuffle_keys, brelmont::standard_grid(n),
                                        brelmont::standard_block(), brelmont::next_seed(), keys.current, n);
  // The sort waits for the device, the keys' launch included; a failed launch queued nothing.
  if (status == cudaSuccess) status = brelmont::device_sort_pairs(keys, values, n);
  if (status == cudaSuccess && values.current != data) {
    const size_t bytes = sizeof(float) * static_cast<size_t>(n);
    status = brelmont::synchronize(cudaMemcpy(data, values.current, bytes, cudaMemcpyDeviceToDevice));
  }
  return brelmont::free_all(status, keys_a, keys_b, alternate);
}
