// Complex arrays: a box overwritten in place, each element moved as its 8 bytes.
#include "cuda_brelmont.h"
#include "sgl_array/restructure.h"

__global__ void csg_replace_array_subset(float2* dst, const float2* sub, brelmont::Box box) {
  brelmont::scatter_box(dst, sub, box);
}

extern "C" cudaError_t CSG_ReplaceArraySubset(int ndims, int* dstDims, int* subDims, int* start, float2* dst,
                                              float2* sub) {
  return brelmont::replace_subset(csg_replace_array_subset, ndims, dstDims, subDims, start, dst, sub);
}
