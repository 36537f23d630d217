// Complex arrays: creation by fill.
#include "cuda_brelmont.h"
#include "frame/kernel_index.h"
#include "frame/launch.h"

__global__ void csg_init(float2* data, float2 value, int n) {
  const int i = brelmont::wide_index();
  if (i < n) data[i] = value;
}

extern "C" float2* CSG_InitArray(int n, float2* value) {
  if (value == nullptr) return nullptr;
  return brelmont::create_filled(csg_init, n, *value);
}
