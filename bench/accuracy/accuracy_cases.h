// Accuracy of the elementwise math exports: for each export, the points it is measured at, the exact value
// it is measured against, and the error bound that follows from its recipe. The accuracy tests and the
// table generator (docs/accuracy.md) share these, and both call only the exports and the runtime, so the
// same program measures the host and the cuda variant.
#pragma once

#include <cuda_runtime.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace math_accuracy {

struct Point {
  float x;
  float y;  // the two-input exports only
};

// What a result is held to at one point.
struct Expectation {
  long double reference;  // exact value (long double) the result is measured against
  double bound;           // allowed error, in float ulps of the reference
  // False where a step of the recipe leaves the float range (a reciprocal or a base function overflows):
  // the point is still checked, against the recipe's own value there, but not counted in the table.
  bool counted;
};

struct Case {
  std::string name;    // the export, and which output for SGL_SineAndCosine
  std::string recipe;  // what the export computes
  std::string bound;   // the bound, or how it is derived per point
  std::function<Expectation(float x, float y)> expect;
  std::function<std::vector<Point>()> points;
  cudaError_t (*in_place)(float*, int);  // one of these three runs the export
  cudaError_t (*two_inputs)(float*, float*, int, float**);
  int sine_and_cosine_output;  // 0 sine, 1 cosine, -1 not this export
  int outputs() const { return in_place != nullptr ? 0 : two_inputs != nullptr ? 1 : 2; }  // new arrays
};

// Every export of the family; SGL_SineAndCosine appears once per output.
const std::vector<Case>& cases();
// The case of that name, or null.
const Case* find(const std::string& name);

// Calls the export of c on x (and y) with n, its new arrays (if any) stored to out[0] and out[1].
cudaError_t run(const Case& c, float* x, float* y, int n, float* out[2]);

// Error of a result in float ulps of the reference. A reference beyond the float range counts as matched
// by an infinity of its sign; a NaN reference must be matched by a NaN.
double ulps(float got, long double reference);

struct PointResult {
  Point at{};
  float got = 0.0f;
  Expectation expected{};
  double error = 0.0;
};

struct Measurement {
  cudaError_t status = cudaSuccess;  // the export's status, or the first failing runtime call
  bool tail_intact = true;           // in-place exports: nothing written past n
  size_t points = 0;
  size_t counted = 0;                 // points measured against a finite exact value
  size_t outside = 0;                 // points where a step of the recipe leaves the float range
  PointResult worst;                  // largest error among the counted points
  double least_margin = 0.0;          // smallest bound - error among the counted points
  std::vector<PointResult> failures;  // every point whose error exceeds its bound
};

// Runs the export over all of its points in one call and measures every result.
Measurement measure(const Case& c);

// "x = 1.5 (0x3fc00000)" or "x = 2, y = -0.5": the point as the table and the test messages show it.
std::string describe(const Case& c, const Point& p);
// One failing point, for test messages.
std::string describe(const Case& c, const PointResult& r);

}  // namespace math_accuracy
