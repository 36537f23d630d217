// The in-place elementwise math exports: data[i] = f(data[i]) for i < n, one standard launch of one kernel
// each, then the device synchronisation. The functions themselves are in functions.h.
#include "cuda_brelmont.h"
#include "frame/launch.h"
#include "math/functions.h"

using brelmont::run_in_place;
using brelmont::in_place;
using namespace brelmont::math;

// Circular functions and their reciprocals.
__global__ void sgl_sine(float* data, int n) { in_place<sine>(data, n); }
__global__ void sgl_cosine(float* data, int n) { in_place<cosine>(data, n); }
__global__ void sgl_tangent(float* data, int n) { in_place<tangent>(data, n); }
__global__ void sgl_secant(float* data, int n) { in_place<secant>(data, n); }
__global__ void sgl_cosecant(float* data, int n) { in_place<cosecant>(data, n); }
__global__ void sgl_cotangent(float* data, int n) { in_place<cotangent>(data, n); }

extern "C" cudaError_t SGL_Sine(float* data, int n) { return run_in_place(sgl_sine, data, n); }
extern "C" cudaError_t SGL_Cosine(float* data, int n) { return run_in_place(sgl_cosine, data, n); }
extern "C" cudaError_t SGL_Tangent(float* data, int n) { return run_in_place(sgl_tangent, data, n); }
extern "C" cudaError_t SGL_Secant(float* data, int n) { return run_in_place(sgl_secant, data, n); }
extern "C" cudaError_t SGL_Cosecant(float* data, int n) { return run_in_place(sgl_cosecant, data, n); }
extern "C" cudaError_t SGL_Cotangent(float* data, int n) { return run_in_place(sgl_cotangent, data, n); }

// Inverse circular functions.
__global__ void sgl_inverse_sine(float* data, int n) { in_place<inverse_sine>(data, n); }
__global__ void sgl_inverse_cosine(float* data, int n) { in_place<inverse_cosine>(data, n); }
__global__ void sgl_inverse_tangent(float* data, int n) { in_place<inverse_tangent>(data, n); }
__global__ void sgl_inverse_secant(float* data, int n) { in_place<inverse_secant>(data, n); }
__global__ void sgl_inverse_cosecant(float* data, int n) { in_place<inverse_cosecant>(data, n); }
__global__ void sgl_inverse_cotangent(float* data, int n) { in_place<inverse_cotangent>(data, n); }

extern "C" cudaError_t SGL_InverseSine(float* data, int n) { return run_in_place(sgl_inverse_sine, data, n); }
extern "C" cudaError_t SGL_InverseCosine(float* data, int n) { return run_in_place(sgl_inverse_cosine, data, n); }
extern "C" cudaError_t SGL_InverseTangent(float* data, int n) { return run_in_place(sgl_inverse_tangent, data, n); }
extern "C" cudaError_t SGL_InverseSecant(float* data, int n) { return run_in_place(sgl_inverse_secant, data, n); }
extern "C" cudaError_t SGL_InverseCosecant(float* data, int n) { return run_in_place(sgl_inverse_cosecant, data, n); }
extern "C" cudaError_t SGL_InverseCotangent(float* data, int n) { return run_in_place(sgl_inverse_cotangent, data, n); }

// Sinc.
__global__ void sgl_sinc(float* data, int n) { in_place<sinc>(data, n); }

extern "C" cudaError_t SGL_Sinc(float* data, int n) { return run_in_place(sgl_sinc, data, n); }

// Exponentials.
__global__ void sgl_exponential(float* data, int n) { in_place<exponential>(data, n); }
__global__ void sgl_exponential_arg_minus_one(float* data, int n) { in_place<exponential_minus_one>(data, n); }
__global__ void sgl_power_of_10(float* data, int n) { in_place<power_of_10>(data, n); }
__global__ void sgl_power_of_2(float* data, int n) { in_place<power_of_2>(data, n); }

extern "C" cudaError_t SGL_Exponential(float* data, int n) { return run_in_place(sgl_exponential, data, n); }
extern "C" cudaError_t SGL_ExponentialArgMinusOne(float* data, int n) {
  return run_in_place(sgl_exponential_arg_minus_one, data, n);
}
extern "C" cudaError_t SGL_PowerOf10(float* data, int n) { return run_in_place(sgl_power_of_10, data, n); }
extern "C" cudaError_t SGL_PowerOf2(float* data, int n) { return run_in_place(sgl_power_of_2, data, n); }

// Logarithms.
__global__ void sgl_ln(float* data, int n) { in_place<ln>(data, n); }
__global__ void sgl_ln_arg_plus_one(float* data, int n) { in_place<ln_plus_one>(data, n); }
__global__ void sgl_log_base_10(float* data, int n) { in_place<log_base_10>(data, n); }
__global__ void sgl_log_base_2(float* data, int n) { in_place<log_base_2>(data, n); }

extern "C" cudaError_t SGL_LN(float* data, int n) { return run_in_place(sgl_ln, data, n); }
extern "C" cudaError_t SGL_LNArgPlusOne(float* data, int n) { return run_in_place(sgl_ln_arg_plus_one, data, n); }
extern "C" cudaError_t SGL_LogBase10(float* data, int n) { return run_in_place(sgl_log_base_10, data, n); }
extern "C" cudaError_t SGL_LogBase2(float* data, int n) { return run_in_place(sgl_log_base_2, data, n); }

// Hyperbolic functions and their reciprocals.
__global__ void sgl_hyperbolic_sine(float* data, int n) { in_place<hyperbolic_sine>(data, n); }
__global__ void sgl_hyperbolic_cosine(float* data, int n) { in_place<hyperbolic_cosine>(data, n); }
__global__ void sgl_hyperbolic_tangent(float* data, int n) { in_place<hyperbolic_tangent>(data, n); }
__global__ void sgl_hyperbolic_secant(float* data, int n) { in_place<hyperbolic_secant>(data, n); }
__global__ void sgl_hyperbolic_cosecant(float* data, int n) { in_place<hyperbolic_cosecant>(data, n); }
__global__ void sgl_hyperbolic_cotangent(float* data, int n) { in_place<hyperbolic_cotangent>(data, n); }

extern "C" cudaError_t SGL_HyperbolicSine(float* data, int n) { return run_in_place(sgl_hyperbolic_sine, data, n); }
extern "C" cudaError_t SGL_HyperbolicCosine(float* data, int n) { return run_in_place(sgl_hyperbolic_cosine, data, n); }
extern "C" cudaError_t SGL_HyperbolicTangent(float* data, int n) {
  return run_in_place(sgl_hyperbolic_tangent, data, n);
}
extern "C" cudaError_t SGL_HyperbolicSecant(float* data, int n) { return run_in_place(sgl_hyperbolic_secant, data, n); }
extern "C" cudaError_t SGL_HyperbolicCosecant(float* data, int n) {
  return run_in_place(sgl_hyperbolic_cosecant, data, n);
}
extern "C" cudaError_t SGL_HyperbolicCotangent(float* data, int n) {
  return run_in_place(sgl_hyperbolic_cotangent, data, n);
}

// Inverse hyperbolic functions.
__global__ void sgl_inverse_hyperbolic_sine(float* data, int n) { in_place<inverse_hyperbolic_sine>(data, n); }
__global__ void sgl_inverse_hyperbolic_cosine(float* data, int n) { in_place<inverse_hyperbolic_cosine>(data, n); }
__global__ void sgl_inverse_hyperbolic_tangent(float* data, int n) { in_place<inverse_hyperbolic_tangent>(data, n); }
__global__ void sgl_inverse_hyperbolic_secant(float* data, int n) { in_place<inverse_hyperbolic_secant>(data, n); }
__global__ void sgl_inverse_hyperbolic_cosecant(float* data, int n) { in_place<inverse_hyperbolic_cosecant>(data, n); }
__global__ void sgl_inverse_hyperbolic_cotangent(float* data, int n) {
  in_place<inverse_hyperbolic_cotangent>(data, n);
}

extern "C" cudaError_t SGL_InverseHyperbolicSine(float* data, int n) {
  return run_in_place(sgl_inverse_hyperbolic_sine, data, n);
}
extern "C" cudaError_t SGL_InverseHyperbolicCosine(float* data, int n) {
  return run_in_place(sgl_inverse_hyperbolic_cosine, data, n);
}
extern "C" cudaError_t SGL_InverseHyperbolicTangent(float* data, int n) {
  return run_in_place(sgl_inverse_hyperbolic_tangent, data, n);
}
extern "C" cudaError_t SGL_InverseHyperbolicSecant(float* data, int n) {
  return run_in_place(sgl_inverse_hyperbolic_secant, data, n);
}
extern "C" cudaError_t SGL_InverseHyperbolicCosecant(float* data, int n) {
  return run_in_place(sgl_inverse_hyperbolic_cosecant, data, n);
}
extern "C" cudaError_t SGL_InverseHyperbolicCotangent(float* data, int n) {
  return run_in_place(sgl_inverse_hyperbolic_cotangent, data, n);
}
