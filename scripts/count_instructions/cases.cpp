// The cases measured: one call of an export each, on the host variant with record_launches preloaded, so
// that the records the exports build for their kernels are captured as the device would receive them.
#include <cuda_runtime.h>

#include <cstdlib>
#include <string>

#include "cuda_brelmont.h"

namespace {

const char* const kTwoArrays = "8,8,4096";      // two pointers and a record
const char* const kThreeArrays = "8,8,8,4096";  // three pointers and a record

void label(const char* name, const char* sizes) {
  setenv("COUNT_LABEL", name, 1);
  setenv("COUNT_SIZES", sizes, 1);
}

float* device_array(int n) {
  float* p = nullptr;
  cudaMalloc(&p, sizeof(float) * static_cast<size_t>(n));
  cudaMemset(p, 0, sizeof(float) * static_cast<size_t>(n));
  return p;
}

}  // namespace

int main() {
  const int n = 1 << 20;
  float *a = device_array(n), *b = device_array(n), *out = nullptr, *other = nullptr;
  float2 *ca = reinterpret_cast<float2*>(a), *cb = reinterpret_cast<float2*>(b), *cout = nullptr, *cother = nullptr;
  int sizes[4], more[4], first, second, bytes;
  {
    label("subset1", kTwoArrays);
    int dims[] = {n}, start[] = {8}, box[] = {n - 16};
    SGL_ArraySubset(1, dims, start, box, a, &out);
  }
  {
    label("subset2", kTwoArrays);
    int dims[] = {512, 512}, start[] = {8, 8}, box[] = {496, 496};
    SGL_ArraySubset(2, dims, start, box, a, &out);
    label("subset2u", kTwoArrays);  // the box off the 16-byte words of src
    int start_off[] = {1, 1};
    SGL_ArraySubset(2, dims, start_off, box, a, &out);
    label("replace2", kTwoArrays);
    SGL_ReplaceArraySubset(2, dims, box, start, a, b);
    label("creplace2", kTwoArrays);
    CSG_ReplaceArraySubset(2, dims, box, start, ca, cb);
  }
  {
    label("subset3", kTwoArrays);
    int dims[] = {64, 64, 64}, start[] = {4, 4, 4}, box[] = {32, 32, 32};
    SGL_ArraySubset(3, dims, start, box, a, &out);
  }
  {
    label("subset4", kTwoArrays);
    int dims[] = {16, 16, 16, 16}, start[] = {4, 4, 4, 4}, box[] = {8, 8, 8, 8};
    SGL_ArraySubset(4, dims, start, box, a, &out);
  }
  {
    label("delete2", kThreeArrays);
    int dims[] = {512, 512};
    SGL_DeleteFromArray(2, dims, 128, 128, 0, a, &out, sizes, &other, more);
    label("delete_cols", kThreeArrays);
    SGL_DeleteFromArray(2, dims, 100, 12, 1, a, &out, sizes, &other, more);
  }
  {
    label("delete3", kThreeArrays);
    int dims[] = {64, 128, 128};
    SGL_DeleteFromArray(3, dims, 32, 32, 1, a, &out, sizes, &other, more);
    label("cdelete3", kThreeArrays);
    int half[] = {32, 128, 128};
    CSG_DeleteFromArray(3, half, 32, 32, 1, ca, &cout, sizes, &cother, more);
  }
  {
    label("insert_rows", kThreeArrays);
    int dims[] = {448, 512}, block[] = {64, 512};
    SGL_InsertIntoArray(2, 2, dims, block, 200, 0, a, b, &out, sizes);
    label("insert_cols", kThreeArrays);
    int narrow[] = {512, 500}, columns[] = {512, 12};
    SGL_InsertIntoArray(2, 2, narrow, columns, 100, 1, a, b, &out, sizes);
    label("insert3", kThreeArrays);
    int dims3[] = {64, 96, 128}, block3[] = {64, 32, 128};
    SGL_InsertIntoArray(3, 3, dims3, block3, 40, 1, a, b, &out, sizes);
  }
  {
    int half[] = {256, 512}, narrow[] = {256, 500};
    label("concat", kThreeArrays);
    SGL_ConcatenateArray(2, 2, half, half, a, b, &out, sizes);
    label("concat_pad", kThreeArrays);
    SGL_ConcatenateArray(2, 2, narrow, half, a, b, &out, sizes);
    label("build", kThreeArrays);
    SGL_BuildArray(2, 2, half, half, a, b, &out, sizes);
  }
  {
    int dims[] = {16, 128, 128}, rows[] = {1, 0, 2}, tiles[] = {2, 1, 0}, square[] = {512, 512};
    label("rows3", kTwoArrays);
    SGL_TransposeNDArray(3, dims, rows, a, &out, sizes);
    label("tiles_nd", kTwoArrays);
    SGL_TransposeNDArray(3, dims, tiles, a, &out, sizes);
    label("tiles_2d", kTwoArrays);
    SGL_Transpose2DArray(square, a, b);
  }
  {
    int square[] = {1024, 1024};
    label("split1d", kTwoArrays);
    SGL_Split1DArray(n, n / 2, a, &out, &first, &other, &second);
    label("split1d_u", kTwoArrays);  // the second part off the 16-byte words of src
    SGL_Split1DArray(n, n / 2 + 3, a, &out, &first, &other, &second);
    label("split2d_row", kTwoArrays);
    SGL_Split2DArray(square, 400, 1, a, &out, sizes, &other, more);
    label("split2d_col", kTwoArrays);
    SGL_Split2DArray(square, 400, 0, a, &out, sizes, &other, more);
  }
  {
    int same[] = {512, 512}, wider[] = {512, 600}, a3[] = {8, 64, 64}, b3[] = {8, 72, 68};
    int a4[] = {4, 8, 16, 16}, b4[] = {4, 9, 18, 20};
    label("add1", kThreeArrays);
    SGL_AddArrayArray(2, same, same, a, b, &out, sizes, &bytes);
    label("add2", kThreeArrays);
    SGL_AddArrayArray(2, same, wider, a, b, &out, sizes, &bytes);
    label("add3", kThreeArrays);
    SGL_AddArrayArray(3, a3, b3, a, b, &out, sizes, &bytes);
    label("add4", kThreeArrays);
    SGL_AddArrayArray(4, a4, b4, a, b, &out, sizes, &bytes);
  }
  return 0;
}
