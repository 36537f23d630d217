/* A C caller of an installed cuda_brelmont: creates an array (SGL_InitArray), takes the sine of its elements
 * in place (SGL_Sine), then cuts a 2 x 2 box out of it seen as a 2 x 3 array (SGL_ArraySubset). Every status
 * and every value is checked, against the C library's sin in double precision; exits 1 at the first fault. */
#include <math.h>
#include <stdio.h>

#include <cuda_brelmont.h>

static int ok(cudaError_t status, const char* what) {
  if (status != cudaSuccess) fprintf(stderr, "consumer: %s failed: %s\n", what, cudaGetErrorName(status));
  return status == cudaSuccess;
}

/* got is expected to single precision (a few units in the last place). */
static int near(float got, double expected, const char* what, int i) {
  const double tolerance = 4.0 * 5.96e-8 * (fabs(expected) > 1.0 ? fabs(expected) : 1.0);
  if (fabs(got - expected) <= tolerance) return 1;
  fprintf(stderr, "consumer: %s[%d] = %.9g, expected %.9g\n", what, i, got, expected);
  return 0;
}

int main(void) {
  const float x[6] = {0.5f, -1.25f, 2.0f, 3.0f, -0.75f, 1.5f};
  float back[6];
  int dims[2] = {2, 3}, start[2] = {0, 1}, box[2] = {2, 2};
  /* The box (rows 0-1, columns 1-2) of the row-major 2 x 3 array holds elements 1, 2, 4 and 5. */
  const int picked[4] = {1, 2, 4, 5};
  float* p = NULL;
  float* sub = NULL;
  int good = 1, i;

  p = SGL_InitArray(6, 0.5f);
  if (p == NULL) {
    fprintf(stderr, "consumer: SGL_InitArray returned no array\n");
    return 1;
  }
  good = ok(cudaMemcpy(back, p, sizeof back, cudaMemcpyDeviceToHost), "cudaMemcpy of the new array");
  for (i = 0; good && i < 6; ++i) good = near(back[i], 0.5, "SGL_InitArray", i);

  good = good && ok(cudaMemcpy(p, x, sizeof x, cudaMemcpyHostToDevice), "cudaMemcpy to the device");
  good = good && ok(SGL_Sine(p, 6), "SGL_Sine");
  good = good && ok(cudaMemcpy(back, p, sizeof back, cudaMemcpyDeviceToHost), "cudaMemcpy of the sines");
  for (i = 0; good && i < 6; ++i) good = near(back[i], sin(x[i]), "SGL_Sine", i);

  good = good && ok(SGL_ArraySubset(2, dims, start, box, p, &sub), "SGL_ArraySubset");
  if (good && sub == NULL) {
    fprintf(stderr, "consumer: SGL_ArraySubset returned no array\n");
    good = 0;
  }
  good = good && ok(cudaMemcpy(back, sub, 4 * sizeof(float), cudaMemcpyDeviceToHost), "cudaMemcpy of the box");
  for (i = 0; good && i < 4; ++i) good = near(back[i], sin(x[picked[i]]), "SGL_ArraySubset", i);

  good = ok(cudaFree(sub), "cudaFree of the box") && good;
  good = ok(cudaFree(p), "cudaFree of the array") && good;
  if (good) printf("consumer: SGL_InitArray, SGL_Sine and SGL_ArraySubset gave the expected values\n");
  return good ? 0 : 1;
}
