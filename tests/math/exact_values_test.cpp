// Special values of the math exports, exactly: zeros with their sign, infinities, NaN (by class), and the
// few finite values that the recipes define exactly (pi and pi/2 as the nearest floats, powers of two).
// The accuracy tests cover these inputs too, but only to within their bounds.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <utility>
#include <vector>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"

namespace {

using testing_support::DeviceBuffer;
using testing_support::from_bits;

const float kNaN = NAN;
const float kInf = INFINITY;
const float kPi = from_bits(0x40490fdbu);         // the float nearest pi
const float kHalfPi = from_bits(0x3fc90fdbu);     // nearest pi/2
const float kQuarterPi = from_bits(0x3f490fdbu);  // nearest pi/4
const float kThreeQuarterPi = from_bits(0x4016cbe4u);

using Pairs = std::vector<std::pair<float, float>>;  // input, expected result

class SpecialValues : public testing_support::ExportTest {
 protected:
  void expect_in_place(cudaError_t (*run)(float*, int), const char* name, const Pairs& cases) {
    std::vector<float> inputs;
    for (const auto& c : cases) inputs.push_back(c.first);
    DeviceBuffer<float> data(inputs);
    ASSERT_EQ(run(data.get(), static_cast<int>(inputs.size())), cudaSuccess) << name;
    const std::vector<float> got = data.download();
    for (size_t i = 0; i < cases.size(); ++i) {
      EXPECT_SAME_FLOAT(got[i], cases[i].second) << name << "(" << cases[i].first << ")";
    }
  }

  struct Triple {
    float x, y, expected;
  };
  void expect_two_inputs(cudaError_t (*run)(float*, float*, int, float**), const char* name,
                         const std::vector<Triple>& cases) {
    std::vector<float> xs, ys;
    for (const Triple& c : cases) xs.push_back(c.x), ys.push_back(c.y);
    DeviceBuffer<float> x(xs), y(ys);
    float* out = nullptr;
    ASSERT_EQ(run(x.get(), y.get(), static_cast<int>(xs.size()), &out), cudaSuccess) << name;
    const std::vector<float> got = DeviceBuffer<float>::adopt(out, xs.size()).download();
    for (size_t i = 0; i < cases.size(); ++i) {
      EXPECT_SAME_FLOAT(got[i], cases[i].expected) << name << "(x = " << cases[i].x << ", y = " << cases[i].y << ")";
    }
  }
};

TEST_F(SpecialValues, CircularFunctionsAndTheirReciprocals) {
  expect_in_place(SGL_Sine, "SGL_Sine", {{0.0f, 0.0f}, {-0.0f, -0.0f}, {kInf, kNaN}, {-kInf, kNaN}});
  expect_in_place(SGL_Cosine, "SGL_Cosine", {{0.0f, 1.0f}, {-0.0f, 1.0f}, {kInf, kNaN}, {-kInf, kNaN}});
  expect_in_place(SGL_Tangent, "SGL_Tangent", {{0.0f, 0.0f}, {-0.0f, -0.0f}, {kInf, kNaN}, {-kInf, kNaN}});
  expect_in_place(SGL_Secant, "SGL_Secant", {{0.0f, 1.0f}, {-0.0f, 1.0f}, {kInf, kNaN}, {-kInf, kNaN}});
  // 1/sin and 1/tan of a zero: an infinity with the zero's sign.
  expect_in_place(SGL_Cosecant, "SGL_Cosecant", {{0.0f, kInf}, {-0.0f, -kInf}, {kInf, kNaN}, {-kInf, kNaN}});
  expect_in_place(SGL_Cotangent, "SGL_Cotangent", {{0.0f, kInf}, {-0.0f, -kInf}, {kInf, kNaN}, {-kInf, kNaN}});
  // No special case at 0: 0/0. The float nearest pi is within the accuracy test's reach.
  expect_in_place(SGL_Sinc, "SGL_Sinc", {{0.0f, kNaN}, {-0.0f, kNaN}, {kInf, kNaN}, {-kInf, kNaN}, {0x1p-149f, 1.0f}});
}

TEST_F(SpecialValues, InverseCircularFunctions) {
  expect_in_place(SGL_InverseSine, "SGL_InverseSine",
                  {{0.0f, 0.0f}, {-0.0f, -0.0f}, {1.00000012f, kNaN}, {-2.0f, kNaN}, {kInf, kNaN}});
  expect_in_place(SGL_InverseCosine, "SGL_InverseCosine",
                  {{1.0f, 0.0f}, {-1.0f, kPi}, {1.00000012f, kNaN}, {-kInf, kNaN}});
  expect_in_place(SGL_InverseTangent, "SGL_InverseTangent",
                  {{0.0f, 0.0f}, {-0.0f, -0.0f}, {kInf, kHalfPi}, {-kInf, -kHalfPi}});
  // The reciprocal comes first: |x| < 1 (zeros included) leaves acos and asin's domain.
  expect_in_place(SGL_InverseSecant, "SGL_InverseSecant",
                  {{0.0f, kNaN}, {-0.0f, kNaN}, {0.5f, kNaN}, {-0.999999940f, kNaN}, {1.0f, 0.0f}, {-1.0f, kPi},
                   {kInf, kHalfPi}, {-kInf, kHalfPi}});
  expect_in_place(SGL_InverseCosecant, "SGL_InverseCosecant",
                  {{0.0f, kNaN}, {-0.0f, kNaN}, {-0.5f, kNaN}, {1.0f, kHalfPi}, {-1.0f, -kHalfPi}, {kInf, 0.0f},
                   {-kInf, -0.0f}});
  // atan(1/+-0) = atan(+-infinity): +-pi/2, the sign of the zero kept.
  expect_in_place(SGL_InverseCotangent, "SGL_InverseCotangent",
                  {{0.0f, kHalfPi}, {-0.0f, -kHalfPi}, {kInf, 0.0f}, {-kInf, -0.0f}});
}

TEST_F(SpecialValues, Exponentials) {
  expect_in_place(SGL_Exponential, "SGL_Exponential",
                  {{0.0f, 1.0f}, {-0.0f, 1.0f}, {kInf, kInf}, {-kInf, 0.0f}, {89.0f, kInf}, {-110.0f, 0.0f}});
  // Not expm1: tiny arguments give e^x = 1 exactly, hence 0.
  expect_in_place(SGL_ExponentialArgMinusOne, "SGL_ExponentialArgMinusOne",
                  {{0.0f, 0.0f}, {-0.0f, 0.0f}, {0x1p-30f, 0.0f}, {-0x1p-30f, 0.0f}, {1e-30f, 0.0f}, {kInf, kInf},
                   {-kInf, -1.0f}, {-110.0f, -1.0f}, {89.0f, kInf}});
  expect_in_place(SGL_PowerOf10, "SGL_PowerOf10",
                  {{0.0f, 1.0f}, {-0.0f, 1.0f}, {3.0f, 1000.0f}, {-2.0f, from_bits(0x3c23d70au)}, {39.0f, kInf},
                   {-46.0f, 0.0f}, {kInf, kInf}, {-kInf, 0.0f}});
  // 2^-150 is the tie between 0 and the smallest subnormal: to even, 0.
  expect_in_place(SGL_PowerOf2, "SGL_PowerOf2",
                  {{0.0f, 1.0f}, {-0.0f, 1.0f}, {3.0f, 8.0f}, {-149.0f, 0x1p-149f}, {-150.0f, 0.0f}, {127.0f, 0x1p127f},
                   {128.0f, kInf}, {0.5f, from_bits(0x3fb504f3u)}, {kInf, kInf}, {-kInf, 0.0f}});
}

TEST_F(SpecialValues, Logarithms) {
  for (auto run : {SGL_LN, SGL_LogBase2, SGL_LogBase10}) {
    expect_in_place(run, "logarithm",
                    {{0.0f, -kInf}, {-0.0f, -kInf}, {1.0f, 0.0f}, {kInf, kInf}, {-1.0f, kNaN}, {-kInf, kNaN},
                     {-0x1p-149f, kNaN}});
  }
  // x + 1 rounds first: 1e-30 + 1 is 1, whose logarithm is 0.
  expect_in_place(SGL_LNArgPlusOne, "SGL_LNArgPlusOne",
                  {{-1.0f, -kInf}, {-2.0f, kNaN}, {1e-30f, 0.0f}, {-1e-30f, 0.0f}, {0.0f, 0.0f}, {-0.0f, 0.0f},
                   {kInf, kInf}, {-kInf, kNaN}});
}

TEST_F(SpecialValues, HyperbolicFunctionsAndTheirReciprocals) {
  expect_in_place(SGL_HyperbolicSine, "SGL_HyperbolicSine",
                  {{0.0f, 0.0f}, {-0.0f, -0.0f}, {kInf, kInf}, {-kInf, -kInf}, {100.0f, kInf}, {-100.0f, -kInf}});
  expect_in_place(SGL_HyperbolicCosine, "SGL_HyperbolicCosine",
                  {{0.0f, 1.0f}, {-0.0f, 1.0f}, {kInf, kInf}, {-kInf, kInf}, {-100.0f, kInf}});
  expect_in_place(SGL_HyperbolicTangent, "SGL_HyperbolicTangent",
                  {{0.0f, 0.0f}, {-0.0f, -0.0f}, {kInf, 1.0f}, {-kInf, -1.0f}, {20.0f, 1.0f}, {-20.0f, -1.0f}});
  // cosh overflows from about 89.4 on, so 1/cosh is +0 there although sech x is a subnormal up to 103.
  expect_in_place(SGL_HyperbolicSecant, "SGL_HyperbolicSecant",
                  {{0.0f, 1.0f}, {-0.0f, 1.0f}, {kInf, 0.0f}, {-kInf, 0.0f}, {90.0f, 0.0f}, {-90.0f, 0.0f},
                   {100.0f, 0.0f}, {1e30f, 0.0f}});
  expect_in_place(SGL_HyperbolicCosecant, "SGL_HyperbolicCosecant",
                  {{0.0f, kInf}, {-0.0f, -kInf}, {kInf, 0.0f}, {-kInf, -0.0f}, {100.0f, 0.0f}, {-100.0f, -0.0f}});
  expect_in_place(SGL_HyperbolicCotangent, "SGL_HyperbolicCotangent",
                  {{0.0f, kInf}, {-0.0f, -kInf}, {kInf, 1.0f}, {-kInf, -1.0f}, {0x1p-149f, kInf}});
}

TEST_F(SpecialValues, InverseHyperbolicFunctions) {
  expect_in_place(SGL_InverseHyperbolicSine, "SGL_InverseHyperbolicSine",
                  {{0.0f, 0.0f}, {-0.0f, -0.0f}, {kInf, kInf}, {-kInf, -kInf}});
  expect_in_place(SGL_InverseHyperbolicCosine, "SGL_InverseHyperbolicCosine",
                  {{1.0f, 0.0f}, {0.999999940f, kNaN}, {0.0f, kNaN}, {-kInf, kNaN}, {kInf, kInf}});
  expect_in_place(SGL_InverseHyperbolicTangent, "SGL_InverseHyperbolicTangent",
                  {{0.0f, 0.0f}, {-0.0f, -0.0f}, {1.0f, kInf}, {-1.0f, -kInf}, {1.00000012f, kNaN}, {kInf, kNaN}});
  // acosh(1/x): 1/+0 = +infinity gives +infinity, 1/-0 = -infinity gives NaN, and outside (0, 1] NaN.
  expect_in_place(SGL_InverseHyperbolicSecant, "SGL_InverseHyperbolicSecant",
                  {{1.0f, 0.0f}, {0.0f, kInf}, {-0.0f, kNaN}, {2.0f, kNaN}, {1.00000012f, kNaN}, {-0.5f, kNaN},
                   {kInf, kNaN}});
  expect_in_place(SGL_InverseHyperbolicCosecant, "SGL_InverseHyperbolicCosecant",
                  {{0.0f, kInf}, {-0.0f, -kInf}, {kInf, 0.0f}, {-kInf, -0.0f}});
  expect_in_place(SGL_InverseHyperbolicCotangent, "SGL_InverseHyperbolicCotangent",
                  {{1.0f, kInf}, {-1.0f, -kInf}, {0.0f, kNaN}, {-0.0f, kNaN}, {0.5f, kNaN}, {kInf, 0.0f},
                   {-kInf, -0.0f}});
}

TEST_F(SpecialValues, PowerFollowsC99) {
  expect_two_inputs(SGL_PowerOfX, "SGL_PowerOfX",
                    {{2, 10, 1024}, {-8, 3, -512}, {-8, 1.0f / 3, kNaN}, {-2, 0.5f, kNaN}, {0.0f, -1, kInf},
                     {-0.0f, -1, -kInf}, {-0.0f, 3, -0.0f}, {-0.0f, 2, 0.0f}, {kNaN, 0.0f, 1}, {kNaN, -0.0f, 1},
                     {1, kNaN, 1}, {1, kInf, 1}, {-1, kInf, 1}, {-1, -kInf, 1}, {0.5f, -kInf, kInf},
                     {2, -kInf, 0.0f}, {0.5f, kInf, 0.0f}, {-kInf, 3, -kInf}, {-kInf, -3, -0.0f},
                     {-kInf, 2, kInf}, {kInf, -2, 0.0f}, {kNaN, 1, kNaN}, {2, kNaN, kNaN}, {2, 200, kInf},
                     {2, -200, 0.0f}});
}

TEST_F(SpecialValues, RootIsThePowerOfTheRoundedReciprocal) {
  // 1/0.5 is exactly 2; 1/3 is not an integer, so a negative radicand gives NaN; 1/+-0 = +-infinity.
  expect_two_inputs(SGL_YTHRootOfX, "SGL_YTHRootOfX",
                    {{4, 0.5f, 16}, {-27, 3, kNaN}, {-8, 1, -8}, {2, 0.0f, kInf}, {0.5f, 0.0f, 0.0f},
                     {2, -0.0f, 0.0f}, {0.5f, -0.0f, kInf}, {1, 0.0f, 1}, {5, kInf, 1}, {5, -kInf, 1},
                     {kNaN, kInf, 1}, {kNaN, 2, kNaN}});
}

TEST_F(SpecialValues, LogarithmToABaseIsAnIEEEQuotient) {
  expect_two_inputs(SGL_LogBaseX, "SGL_LogBaseX",
                    {{1, 1, kNaN}, {1, 2, kInf}, {1, 0.5f, -kInf}, {2, 1, 0.0f}, {0.5f, 1, -0.0f}, {-2, 4, kNaN},
                     {2, -4, kNaN}, {0.0f, 2, -0.0f}, {0.0f, 0.5f, 0.0f}, {2, 0.0f, -kInf}, {0.5f, 0.0f, kInf},
                     {kInf, kInf, kNaN}, {kNaN, 2, kNaN}});
}

TEST_F(SpecialValues, AngleTakesTheSignOfYAndMeasuresFromTheNegativeAxisWhenXIsNegative) {
  // Points are (x, y); the result is atan2f(y, x).
  expect_two_inputs(SGL_InverseTangent2Input, "SGL_InverseTangent2Input",
                    {{-1, 0.0f, kPi}, {-1, -0.0f, -kPi}, {0.0f, 0.0f, 0.0f}, {0.0f, -0.0f, -0.0f},
                     {-0.0f, 0.0f, kPi}, {-0.0f, -0.0f, -kPi}, {0.0f, 1, kHalfPi}, {-0.0f, -1, -kHalfPi},
                     {kInf, kInf, kQuarterPi}, {kInf, -kInf, -kQuarterPi}, {-kInf, kInf, kThreeQuarterPi},
                     {-kInf, -kInf, -kThreeQuarterPi}, {kInf, 2, 0.0f}, {kInf, -2, -0.0f}, {-kInf, 2, kPi},
                     {-kInf, -2, -kPi}, {5, kInf, kHalfPi}, {5, -kInf, -kHalfPi}, {kNaN, 1, kNaN},
                     {1, kNaN, kNaN}});
}

TEST_F(SpecialValues, NaNStaysNaNInEveryInPlaceExport) {
  cudaError_t (*const all[])(float*, int) = {
      SGL_Sine, SGL_Cosine, SGL_Tangent, SGL_Secant, SGL_Cosecant, SGL_Cotangent, SGL_InverseSine,
      SGL_InverseCosine, SGL_InverseTangent, SGL_InverseSecant, SGL_InverseCosecant, SGL_InverseCotangent,
      SGL_Sinc, SGL_Exponential, SGL_ExponentialArgMinusOne, SGL_PowerOf10, SGL_PowerOf2, SGL_LN,
      SGL_LNArgPlusOne, SGL_LogBase10, SGL_LogBase2, SGL_HyperbolicSine, SGL_HyperbolicCosine,
      SGL_HyperbolicTangent, SGL_HyperbolicSecant, SGL_HyperbolicCosecant, SGL_HyperbolicCotangent,
      SGL_InverseHyperbolicSine, SGL_InverseHyperbolicCosine, SGL_InverseHyperbolicTangent,
      SGL_InverseHyperbolicSecant, SGL_InverseHyperbolicCosecant, SGL_InverseHyperbolicCotangent};
  const float quiet = from_bits(0x7fc00000u), negative = from_bits(0xffc12345u), signalling = from_bits(0x7f800001u);
  for (auto run : all) expect_in_place(run, "NaN", {{quiet, kNaN}, {negative, kNaN}, {signalling, kNaN}});
}

}  // namespace
