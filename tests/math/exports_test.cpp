// How the math exports launch, report and hand over memory: one launch each, nothing done for n <= 0,
// failures reported and never leaked, new arrays owned by the caller only when every step succeeded.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "cuda_brelmont.h"
#include "math/accuracy_cases.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"
#include "support/sizes.h"

namespace {

using testing_support::bits;
using testing_support::DeviceBuffer;
using testing_support::launch_count;

using InPlace = cudaError_t (*)(float*, int);
using TwoInputs = cudaError_t (*)(float*, float*, int, float**);

const InPlace kInPlace[] = {
    SGL_Sine, SGL_Cosine, SGL_Tangent, SGL_Secant, SGL_Cosecant, SGL_Cotangent, SGL_InverseSine,
    SGL_InverseCosine, SGL_InverseTangent, SGL_InverseSecant, SGL_InverseCosecant, SGL_InverseCotangent,
    SGL_Sinc, SGL_Exponential, SGL_ExponentialArgMinusOne, SGL_PowerOf10, SGL_PowerOf2, SGL_LN,
    SGL_LNArgPlusOne, SGL_LogBase10, SGL_LogBase2, SGL_HyperbolicSine, SGL_HyperbolicCosine,
    SGL_HyperbolicTangent, SGL_HyperbolicSecant, SGL_HyperbolicCosecant, SGL_HyperbolicCotangent,
    SGL_InverseHyperbolicSine, SGL_InverseHyperbolicCosine, SGL_InverseHyperbolicTangent,
    SGL_InverseHyperbolicSecant, SGL_InverseHyperbolicCosecant, SGL_InverseHyperbolicCotangent};
const TwoInputs kTwoInputs[] = {SGL_PowerOfX, SGL_YTHRootOfX, SGL_LogBaseX, SGL_InverseTangent2Input};

// Something no export would store: an output must be overwritten with null on failure.
float* const kStale = reinterpret_cast<float*>(uintptr_t{0x5a5a5a5a5a5a5a5a});

class MathExports : public testing_support::ExportTest {
 protected:
  const std::vector<float> values_ = {0.25f, -0.5f, 1.5f, 2.0f, -3.0f, 0.75f, 10.0f};
};

TEST_F(MathExports, InPlaceExportsLaunchOnceAndTouchOnlyTheFirstNElements) {
  const float poison = testing_support::poison_value<float>();
  for (InPlace run : kInPlace) {
    std::vector<float> padded = values_;
    padded.insert(padded.end(), {poison, poison});
    DeviceBuffer<float> data(padded);
    const unsigned long long launches = launch_count();
    ASSERT_EQ(run(data.get(), static_cast<int>(values_.size())), cudaSuccess);
    if (testing_support::kHooks) EXPECT_EQ(launch_count(), launches + 1);
    const std::vector<float> got = data.download();
    for (size_t i = 0; i < values_.size(); ++i) EXPECT_NE(bits(got[i]), bits(values_[i])) << "element " << i;
    EXPECT_EQ(bits(got[values_.size()]), bits(poison));
    EXPECT_EQ(bits(got[values_.size() + 1]), bits(poison));
  }
}

TEST_F(MathExports, SineCoversEveryBoundarySize) {
  for (int n : testing_support::boundary_sizes()) {
    std::vector<float> x(static_cast<size_t>(n) + 1);
    for (int i = 0; i <= n; ++i) x[i] = 0.001f * static_cast<float>(i) - 3.0f;
    DeviceBuffer<float> data(x);
    ASSERT_EQ(SGL_Sine(data.get(), n), cudaSuccess) << n;
    const std::vector<float> got = data.download();
    for (int i = 0; i < n; ++i) {
      const double error = math_accuracy::ulps(got[i], std::sin(static_cast<long double>(x[i])));
      ASSERT_LE(error, 2.5) << "n = " << n << ", element " << i;
    }
    EXPECT_EQ(bits(got[n]), bits(x[n])) << "wrote past n = " << n;
  }
}

TEST_F(MathExports, NothingToDoIsASuccessWithoutALaunch) {
  DeviceBuffer<float> a(values_), b(values_);
  const unsigned long long launches = launch_count();
  for (int n : {0, -1, -512, -513, INT_MIN}) {
    for (InPlace run : kInPlace) EXPECT_EQ(run(a.get(), n), cudaSuccess) << n;
    EXPECT_EQ(cudaPeekAtLastError(), cudaSuccess) << n;
  }
  // Zero elements: success with null outputs.
  for (TwoInputs run : kTwoInputs) {
    float* out = kStale;
    EXPECT_EQ(run(a.get(), b.get(), 0, &out), cudaSuccess);
    EXPECT_EQ(out, nullptr);
  }
  float* sines = kStale;
  float* cosines = kStale;
  EXPECT_EQ(SGL_SineAndCosine(a.get(), 0, &sines, &cosines), cudaSuccess);
  EXPECT_EQ(sines, nullptr);
  EXPECT_EQ(cosines, nullptr);
  EXPECT_EQ(launch_count(), launches);
  EXPECT_EQ(a.download(), values_);
}

// A negative count cannot describe an array (its byte size would wrap), and a null output address
// cannot receive one: both are refused before any device work.
TEST_F(MathExports, NegativeCountsAndNullOutputAddressesAreInvalid) {
  DeviceBuffer<float> a(values_), b(values_);
  const unsigned long long launches = launch_count();
  for (int n : {-1, -513, INT_MIN}) {
    for (TwoInputs run : kTwoInputs) {
      float* out = kStale;
      EXPECT_EQ(run(a.get(), b.get(), n, &out), cudaErrorInvalidValue) << n;
      EXPECT_EQ(out, nullptr);
    }
    float* sines = kStale;
    float* cosines = kStale;
    EXPECT_EQ(SGL_SineAndCosine(a.get(), n, &sines, &cosines), cudaErrorInvalidValue) << n;
    EXPECT_EQ(sines, nullptr);
    EXPECT_EQ(cosines, nullptr);
  }
  for (TwoInputs run : kTwoInputs) EXPECT_EQ(run(a.get(), b.get(), 3, nullptr), cudaErrorInvalidValue);
  float* out = nullptr;
  EXPECT_EQ(SGL_SineAndCosine(a.get(), 3, nullptr, &out), cudaErrorInvalidValue);
  EXPECT_EQ(SGL_SineAndCosine(a.get(), 3, &out, nullptr), cudaErrorInvalidValue);
  EXPECT_EQ(launch_count(), launches);
}

TEST_F(MathExports, NewArraysBelongToTheCallerAndTheInputsStayAsTheyWere) {
  const std::vector<float> ys = {2.0f, 3.0f, 0.5f, -1.0f, 4.0f, 2.0f, -2.0f};
  DeviceBuffer<float> x(values_), y(ys);
  for (TwoInputs run : kTwoInputs) {
    float* out = nullptr;
    ASSERT_EQ(run(x.get(), y.get(), static_cast<int>(values_.size()), &out), cudaSuccess);
    ASSERT_NE(out, nullptr);
    EXPECT_NE(out, x.get());
    DeviceBuffer<float>::adopt(out, values_.size());  // released by the caller, here
  }
  float* sines = nullptr;
  float* cosines = nullptr;
  ASSERT_EQ(SGL_SineAndCosine(x.get(), static_cast<int>(values_.size()), &sines, &cosines), cudaSuccess);
  ASSERT_NE(sines, nullptr);
  ASSERT_NE(cosines, nullptr);
  EXPECT_NE(sines, cosines);
  DeviceBuffer<float>::adopt(sines, values_.size());
  DeviceBuffer<float>::adopt(cosines, values_.size());
  EXPECT_EQ(x.download(), values_);
  EXPECT_EQ(y.download(), ys);
}

// Each failing step is returned, with no launch on a failed allocation, the outputs null and nothing
// left allocated (the fixture counts the allocations).
TEST_F(MathExports, FailuresAreReportedWithNullOutputsAndNothingLeaked) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> a(values_), b(values_);
  const int n = static_cast<int>(values_.size());
  for (TwoInputs run : kTwoInputs) {
    float* out = kStale;
    const unsigned long long launches = launch_count();
    testing_support::fail_allocation(1);
    EXPECT_EQ(run(a.get(), b.get(), n, &out), cudaErrorMemoryAllocation);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(launch_count(), launches);
    EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);

    out = kStale;
    testing_support::fail_launch(1, cudaErrorLaunchOutOfResources);
    EXPECT_EQ(run(a.get(), b.get(), n, &out), cudaErrorLaunchOutOfResources);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(cudaGetLastError(), cudaErrorLaunchOutOfResources);

    out = kStale;
    testing_support::fail_synchronize(cudaErrorIllegalAddress);
    EXPECT_EQ(run(a.get(), b.get(), n, &out), cudaErrorIllegalAddress);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
  }
  for (int k : {1, 2}) {  // the sine array's allocation, then the cosine array's
    float* sines = kStale;
    float* cosines = kStale;
    const unsigned long long launches = launch_count();
    testing_support::fail_allocation(k);
    EXPECT_EQ(SGL_SineAndCosine(a.get(), n, &sines, &cosines), cudaErrorMemoryAllocation) << k;
    EXPECT_EQ(sines, nullptr);
    EXPECT_EQ(cosines, nullptr);
    EXPECT_EQ(launch_count(), launches);
    EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);
  }
  float* sines = kStale;
  float* cosines = kStale;
  testing_support::fail_synchronize(cudaErrorIllegalAddress);
  EXPECT_EQ(SGL_SineAndCosine(a.get(), n, &sines, &cosines), cudaErrorIllegalAddress);
  EXPECT_EQ(sines, nullptr);
  EXPECT_EQ(cosines, nullptr);
  EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
}

TEST_F(MathExports, InPlaceFailuresAreReported) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> a(values_);
  for (InPlace run : kInPlace) {
    testing_support::fail_launch(1, cudaErrorNoKernelImageForDevice);
    EXPECT_EQ(run(a.get(), 3), cudaErrorNoKernelImageForDevice);
    EXPECT_EQ(cudaGetLastError(), cudaErrorNoKernelImageForDevice);
  }
  EXPECT_EQ(a.download(), values_);  // the refused launches ran nothing
  for (InPlace run : kInPlace) {
    testing_support::fail_synchronize(cudaErrorIllegalAddress);
    EXPECT_EQ(run(a.get(), 3), cudaErrorIllegalAddress);
    EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
  }
}

// The outputs of SGL_SineAndCosine are, bit for bit, what SGL_Sine and SGL_Cosine store, over the
// circular functions' whole point set.
TEST_F(MathExports, SineAndCosineMatchSineAndCosineBitForBit) {
  std::vector<float> x;
  for (const math_accuracy::Case& c : math_accuracy::cases()) {
    if (c.sine_and_cosine_output != 0) continue;
    for (const math_accuracy::Point& p : c.points()) x.push_back(p.x);
  }
  ASSERT_GT(x.size(), 10000u);
  const int n = static_cast<int>(x.size());
  DeviceBuffer<float> input(x), sine(x), cosine(x);
  ASSERT_EQ(SGL_Sine(sine.get(), n), cudaSuccess);
  ASSERT_EQ(SGL_Cosine(cosine.get(), n), cudaSuccess);
  float* sines = nullptr;
  float* cosines = nullptr;
  ASSERT_EQ(SGL_SineAndCosine(input.get(), n, &sines, &cosines), cudaSuccess);
  const std::vector<float> s = DeviceBuffer<float>::adopt(sines, x.size()).download();
  const std::vector<float> c = DeviceBuffer<float>::adopt(cosines, x.size()).download();
  const std::vector<float> expected_s = sine.download(), expected_c = cosine.download();
  size_t differences = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    if (bits(s[i]) != bits(expected_s[i]) || bits(c[i]) != bits(expected_c[i])) {
      if (++differences <= 5) ADD_FAILURE() << "x = " << x[i] << ": sine " << s[i] << " vs " << expected_s[i]
                                           << ", cosine " << c[i] << " vs " << expected_c[i];
    }
  }
  EXPECT_EQ(differences, 0u);
  const std::vector<float> unchanged = input.download();
  for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(bits(unchanged[i]), bits(x[i])) << "input changed at " << i;
}

}  // namespace

namespace {

std::vector<float> points_of(const char* name) {
  for (const math_accuracy::Case& c : math_accuracy::cases()) {
    if (std::string(c.name) != name) continue;
    std::vector<float> x;
    for (const math_accuracy::Point& p : c.points()) x.push_back(p.x);
    return x;
  }
  ADD_FAILURE() << "no case " << name;
  return {};
}

std::vector<float> applied(InPlace run, const std::vector<float>& x) {
  DeviceBuffer<float> data(x);
  EXPECT_EQ(run(data.get(), static_cast<int>(x.size())), cudaSuccess);
  return data.download();
}

std::vector<float> applied(TwoInputs run, const std::vector<float>& x, const std::vector<float>& y) {
  DeviceBuffer<float> a(x), b(y);
  float* out = nullptr;
  EXPECT_EQ(run(a.get(), b.get(), static_cast<int>(x.size()), &out), cudaSuccess);
  return DeviceBuffer<float>::adopt(out, x.size()).download();
}

template <typename Op>
std::vector<float> each(const std::vector<float>& x, Op op) {
  std::vector<float> r;
  for (float v : x) r.push_back(op(v));
  return r;
}

void expect_same(const char* what, const std::vector<float>& x, const std::vector<float>& got,
                 const std::vector<float>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  size_t differences = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    if (testing_support::same_float(got[i], expected[i])) continue;
    if (++differences <= 5) ADD_FAILURE() << what << " at x = " << x[i] << ": " << got[i] << " vs " << expected[i];
  }
  EXPECT_EQ(differences, 0u) << what << ", of " << got.size();
}

class Recipes : public testing_support::ExportTest {};

// The composed exports are exactly their recipes: the library function the base export computes, and
// correctly rounded float steps around it. Each is compared bit for bit with that composition of the
// base exports (NaN by class), over the composed export's whole point set.
TEST_F(Recipes, ReciprocalFormsAreTheCorrectlyRoundedReciprocalOfTheBaseFunction) {
  const auto reciprocal = [](float v) { return 1.0f / v; };
  const std::vector<float> circular = points_of("SGL_Secant"), hyperbolic = points_of("SGL_HyperbolicSecant");
  expect_same("secant", circular, applied(SGL_Secant, circular), each(applied(SGL_Cosine, circular), reciprocal));
  expect_same("cosecant", circular, applied(SGL_Cosecant, circular), each(applied(SGL_Sine, circular), reciprocal));
  expect_same("cotangent", circular, applied(SGL_Cotangent, circular),
              each(applied(SGL_Tangent, circular), reciprocal));
  expect_same("hyperbolic secant", hyperbolic, applied(SGL_HyperbolicSecant, hyperbolic),
              each(applied(SGL_HyperbolicCosine, hyperbolic), reciprocal));
  expect_same("hyperbolic cosecant", hyperbolic, applied(SGL_HyperbolicCosecant, hyperbolic),
              each(applied(SGL_HyperbolicSine, hyperbolic), reciprocal));
  expect_same("hyperbolic cotangent", hyperbolic, applied(SGL_HyperbolicCotangent, hyperbolic),
              each(applied(SGL_HyperbolicTangent, hyperbolic), reciprocal));
  const std::vector<float> sines = applied(SGL_Sine, circular);
  std::vector<float> quotients;
  for (size_t i = 0; i < circular.size(); ++i) quotients.push_back(sines[i] / circular[i]);
  expect_same("sinc", circular, applied(SGL_Sinc, circular), quotients);
}

TEST_F(Recipes, InverseReciprocalFormsApplyTheInverseToTheRoundedReciprocal) {
  const auto reciprocal = [](float v) { return 1.0f / v; };
  const std::vector<float> circular = points_of("SGL_InverseSecant");
  const std::vector<float> r = each(circular, reciprocal);
  expect_same("inverse secant", circular, applied(SGL_InverseSecant, circular), applied(SGL_InverseCosine, r));
  expect_same("inverse cosecant", circular, applied(SGL_InverseCosecant, circular), applied(SGL_InverseSine, r));
  expect_same("inverse cotangent", circular, applied(SGL_InverseCotangent, circular),
              applied(SGL_InverseTangent, r));
  const std::vector<float> hyperbolic = points_of("SGL_InverseHyperbolicSecant");
  const std::vector<float> s = each(hyperbolic, reciprocal);
  expect_same("inverse hyperbolic secant", hyperbolic, applied(SGL_InverseHyperbolicSecant, hyperbolic),
              applied(SGL_InverseHyperbolicCosine, s));
  expect_same("inverse hyperbolic cosecant", hyperbolic, applied(SGL_InverseHyperbolicCosecant, hyperbolic),
              applied(SGL_InverseHyperbolicSine, s));
  expect_same("inverse hyperbolic cotangent", hyperbolic, applied(SGL_InverseHyperbolicCotangent, hyperbolic),
              applied(SGL_InverseHyperbolicTangent, s));
}

TEST_F(Recipes, ExponentialAndLogarithmFormsRoundEachStepOnce) {
  const std::vector<float> x = points_of("SGL_ExponentialArgMinusOne");
  expect_same("e^x - 1", x, applied(SGL_ExponentialArgMinusOne, x),
              each(applied(SGL_Exponential, x), [](float e) { return e - 1.0f; }));
  const std::vector<float> y = points_of("SGL_LNArgPlusOne");
  expect_same("ln(x + 1)", y, applied(SGL_LNArgPlusOne, y),
              applied(SGL_LN, each(y, [](float v) { return v + 1.0f; })));
  const std::vector<float> z = points_of("SGL_LogBase10");
  const float c = testing_support::from_bits(0x3EDE5BD9u);
  expect_same("log10", z, applied(SGL_LogBase10, z), each(applied(SGL_LN, z), [c](float l) { return l * c; }));
}

TEST_F(Recipes, RootAndLogarithmToABaseComposeThePowerAndTheLogarithm) {
  std::vector<float> x, y;
  for (const math_accuracy::Case& c : math_accuracy::cases()) {
    if (std::string(c.name) != "SGL_YTHRootOfX") continue;
    for (const math_accuracy::Point& p : c.points()) x.push_back(p.x), y.push_back(p.y);
  }
  ASSERT_FALSE(x.empty());
  expect_same("root", x, applied(SGL_YTHRootOfX, x, y),
              applied(SGL_PowerOfX, x, each(y, [](float v) { return 1.0f / v; })));
  const std::vector<float> ln_x = applied(SGL_LN, x), ln_y = applied(SGL_LN, y);
  std::vector<float> quotients;
  for (size_t i = 0; i < x.size(); ++i) quotients.push_back(ln_y[i] / ln_x[i]);
  expect_same("logarithm to a base", x, applied(SGL_LogBaseX, x, y), quotients);
}

}  // namespace
