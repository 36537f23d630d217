// The math exports that write new arrays: four of two inputs (power, root, logarithm to a base, angle)
// and sine with cosine. Each allocates its outputs, runs one standard launch, synchronises, and hands the
// outputs to the caller only when every step succeeded (frame/new_arrays.h).
#include "cuda_brelmont.h"
#include "frame/launch.h"
#include "frame/new_arrays.h"
#include "math/functions.h"

using brelmont::from_pair;
using namespace brelmont::math;

__global__ void sgl_power_of_x(float* x, float* y, int n, float* out) { from_pair<power>(x, y, n, out); }
__global__ void sgl_y_th_root_of_x(float* x, float* y, int n, float* out) { from_pair<root>(x, y, n, out); }
__global__ void sgl_log_base_x(float* x, float* y, int n, float* out) { from_pair<log_base>(x, y, n, out); }
__global__ void sgl_inverse_tangent_2_input(float* x, float* y, int n, float* out) { from_pair<angle>(x, y, n, out); }

// The same per-element functions as SGL_Sine and SGL_Cosine, so both outputs match them bit for bit.
__global__ void sgl_sine_cosine(float* x, int n, float* sines, float* cosines) {
  const int i = brelmont::standard_index();
  if (i < n) {
    const float v = x[i];
    sines[i] = sine(v);
    cosines[i] = cosine(v);
  }
}

namespace {

cudaError_t from_two_inputs(void (*kernel)(float*, float*, int, float*), float* x, float* y, int n, float** out) {
  return brelmont::produce_new_arrays(n, {out}, {{x, n}, {y, n}}, [&](float* result) {
    return brelmont::run_standard(kernel, n, x, y, n, result);
  });
}

}  // namespace

extern "C" cudaError_t SGL_PowerOfX(float* x, float* y, int n, float** out) {
  return from_two_inputs(sgl_power_of_x, x, y, n, out);
}

extern "C" cudaError_t SGL_YTHRootOfX(float* x, float* y, int n, float** out) {
  return from_two_inputs(sgl_y_th_root_of_x, x, y, n, out);
}

extern "C" cudaError_t SGL_LogBaseX(float* x, float* y, int n, float** out) {
  return from_two_inputs(sgl_log_base_x, x, y, n, out);
}

extern "C" cudaError_t SGL_InverseTangent2Input(float* x, float* y, int n, float** out) {
  return from_two_inputs(sgl_inverse_tangent_2_input, x, y, n, out);
}

extern "C" cudaError_t SGL_SineAndCosine(float* x, int n, float** sinOut, float** cosOut) {
  return brelmont::produce_new_arrays(n, {sinOut, cosOut}, {{x, n}}, [&](float* sines, float* cosines) {
    return brelmont::run_standard(sgl_sine_cosine, n, x, n, sines, cosines);
  });
}
