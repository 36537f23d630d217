// Complex arrays: delete along one axis, each element moved as its 8 bytes.
#include "cuda_brelmont.h"
#include "sgl_array/restructure.h"

__global__ void csg_copy_elements(const float2* src, float2* out, float2* deleted, brelmont::Split split) {
  brelmont::split_along_axis(src, out, deleted, split);
}

extern "C" cudaError_t CSG_DeleteFromArray(int ndims, int* srcDims, int start, int count, int axis, float2* src,
                                           float2** out, int* outDims, float2** deleted, int* deletedDims) {
  return brelmont::delete_range(csg_copy_elements, ndims, srcDims, start, count, axis, src, out, outDims, deleted,
                                deletedDims);
}
