// A kernel with an inter-block race, for the ThreadSanitizer build: it rotates an array in place, so each
// block writes elements that another block reads. With the blocks on several host threads ThreadSanitizer
// must report a data race; the ctest entry passes only on that report.
#include <cstdio>

#include "cuda_brelmont.h"
#include "frame/launch.h"
#include "hostcuda/hooks.h"

namespace {

__global__ void rotate_in_place(float* data, int n, int shift) {
  const int i = static_cast<int>(blockIdx.x * blockDim.x + threadIdx.x);
  if (i < n) data[(i + shift) % n] = data[i];
}

}  // namespace

int main() {
  constexpr int n = 256;
  if (hostcudaSetBlockThreads(4) < 1) return 1;
  float* data = SGL_InitArray(n, 1.0f);
  if (data == nullptr) return 1;
  // A few rounds: ThreadSanitizer drops the odd report whose earlier access it cannot trace back.
  cudaError_t status = cudaSuccess;
  for (int round = 0; round < 4 && status == cudaSuccess; ++round)
    status = brelmont::launch(rotate_in_place, dim3(n / 32), dim3(32), data, n, 32);
  cudaFree(data);
  std::printf("rotation launched: %d\n", static_cast<int>(status));
  return 0;
}
