// The math exports. Each against an exact reference over its points (accuracy_cases.cpp): every result within
// the bound that its recipe earns, NaN where the reference is NaN, infinities of the right sign. Then what those
// bounds leave open (the sign of a zero and the finite values the recipes define exactly, SGL_SineAndCosine bit
// for bit, the constant of SGL_LogBase10), and all 38 exports' runtime calls, refusals and failing steps.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "accuracy/accuracy_cases.h"
#include "cuda_brelmont.h"
#include "support/contract.h"
#include "support/device_buffer.h"
#include "support/same_bits.h"

namespace {

using namespace testing_support;
using math_accuracy::Case;
using math_accuracy::cases;

class Accuracy : public ExportTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(Accuracy, StaysWithinTheBoundOfItsRecipe) {
  const Case& c = cases()[GetParam()];
  const math_accuracy::Measurement m = math_accuracy::measure(c);
  ASSERT_EQ(m.status, cudaSuccess);
  EXPECT_TRUE(m.tail_intact) << c.name << " wrote past n";
  EXPECT_GT(m.counted, 5000u) << "too few points measured against a finite exact value";
  for (size_t i = 0; i < std::min<size_t>(m.failures.size(), 12); ++i) ADD_FAILURE() << describe(c, m.failures[i]);
  EXPECT_EQ(m.failures.size(), 0u) << "of " << m.points << " points";
}

std::string case_name(const ::testing::TestParamInfo<size_t>& info) {
  std::string name;
  for (char ch : cases()[info.param].name.substr(4))  // without "SGL_"
    if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
  return name;
}

INSTANTIATE_TEST_SUITE_P(Math, Accuracy, ::testing::Range<size_t>(0, cases().size()), case_name);

// Exact values, where the accuracy tests hold a zero's sign and a finite value only to a bound (they
// already match NaN and infinite results exactly, by class and sign).
const float kNaN = NAN, kInf = INFINITY;
const float kPi = from_bits(0x40490fdbu);      // the float nearest pi
const float kHalfPi = from_bits(0x3fc90fdbu);  // nearest pi/2
const float kQuarterPi = from_bits(0x3f490fdbu);
const float kThreeQuarterPi = from_bits(0x4016cbe4u);

// Exports and their exact results: {x, expected} for one input, {x, y, expected} for two.
const std::pair<std::vector<const char*>, std::vector<std::vector<float>>> kExact[] = {
    {{"SGL_Sine", "SGL_Tangent", "SGL_InverseSine", "SGL_InverseTangent", "SGL_HyperbolicSine", "SGL_HyperbolicTangent",
      "SGL_InverseHyperbolicSine", "SGL_InverseHyperbolicTangent"},
     {{0.0f, 0.0f}, {-0.0f, -0.0f}}},  // odd functions keep the sign of a zero
    {{"SGL_Cosine", "SGL_Secant", "SGL_Exponential", "SGL_PowerOf10", "SGL_PowerOf2", "SGL_HyperbolicCosine",
      "SGL_HyperbolicSecant"},
     {{0.0f, 1.0f}, {-0.0f, 1.0f}}},
    {{"SGL_LN", "SGL_LogBase2", "SGL_LogBase10", "SGL_InverseCosine", "SGL_InverseSecant",
      "SGL_InverseHyperbolicCosine", "SGL_InverseHyperbolicSecant"},
     {{1.0f, 0.0f}}},
    {{"SGL_InverseCosine", "SGL_InverseSecant"}, {{-1.0f, kPi}}},
    {{"SGL_InverseTangent"}, {{kInf, kHalfPi}, {-kInf, -kHalfPi}}},
    // The reciprocal comes first: atan(1/+-0) = atan(+-infinity) = +-pi/2.
    {{"SGL_InverseCotangent"}, {{0.0f, kHalfPi}, {-0.0f, -kHalfPi}, {kInf, 0.0f}, {-kInf, -0.0f}}},
    {{"SGL_InverseSecant"}, {{-kInf, kHalfPi}}},
    {{"SGL_InverseCosecant"}, {{1.0f, kHalfPi}, {-1.0f, -kHalfPi}, {kInf, 0.0f}, {-kInf, -0.0f}}},
    {{"SGL_InverseHyperbolicCosecant", "SGL_InverseHyperbolicCotangent"}, {{kInf, 0.0f}, {-kInf, -0.0f}}},
    {{"SGL_Sinc"}, {{0x1p-149f, 1.0f}}},
    {{"SGL_Exponential"}, {{-kInf, 0.0f}, {-110.0f, 0.0f}}},
    // Not expm1: a tiny argument gives e^x = 1 exactly, hence 0.
    {{"SGL_ExponentialArgMinusOne"}, {{0.0f, 0.0f}, {-0.0f, 0.0f}, {0x1p-30f, 0.0f}, {-1e-30f, 0.0f}, {-kInf, -1.0f}}},
    {{"SGL_PowerOf10"}, {{3.0f, 1000.0f}, {-46.0f, 0.0f}}},
    // 2^-150 is the tie between 0 and the smallest subnormal: to even, 0.
    {{"SGL_PowerOf2"}, {{-149.0f, 0x1p-149f}, {-150.0f, 0.0f}, {127.0f, 0x1p127f}}},
    {{"SGL_LogBase2"}, {{8.0f, 3.0f}}},
    // x + 1 rounds first (not log1p): 1e-30 + 1 is 1, whose logarithm is 0.
    {{"SGL_LNArgPlusOne"}, {{1e-30f, 0.0f}, {-1e-30f, 0.0f}, {-0.0f, 0.0f}}},
    {{"SGL_HyperbolicTangent", "SGL_HyperbolicCotangent"}, {{-kInf, -1.0f}, {20.0f, 1.0f}}},
    // cosh overflows from about 89.4 on, so 1/cosh is +0 there although sech x is a subnormal up to 103.
    {{"SGL_HyperbolicSecant"}, {{90.0f, 0.0f}, {-90.0f, 0.0f}, {-kInf, 0.0f}}},
    {{"SGL_HyperbolicCosecant"}, {{100.0f, 0.0f}, {-100.0f, -0.0f}}},
    // C99's pow; atan2f(y, x) below: the sign of y, from the negative axis when x < 0.
    {{"SGL_PowerOfX"},
     {{2, 10, 1024}, {-8, 3, -512}, {-0.0f, 3, -0.0f}, {-0.0f, 2, 0.0f}, {kNaN, -0.0f, 1}, {1, kNaN, 1}, {-1, -kInf, 1},
      {2, -kInf, 0.0f}, {-kInf, -3, -0.0f}, {2, -200, 0.0f}}},
    // x to the rounded 1/y: 1/0.5 is exactly 2, 1/+-0 = +-infinity.
    {{"SGL_YTHRootOfX"},
     {{4, 0.5f, 16}, {-8, 1, -8}, {0.5f, 0.0f, 0.0f}, {2, -0.0f, 0.0f}, {1, 0.0f, 1}, {kNaN, kInf, 1}}},
    {{"SGL_LogBaseX"}, {{2, 1, 0.0f}, {0.5f, 1, -0.0f}, {0.0f, 2, -0.0f}, {0.0f, 0.5f, 0.0f}}},  // IEEE quotients
    {{"SGL_InverseTangent2Input"},
     {{-1, 0.0f, kPi}, {-1, -0.0f, -kPi}, {0.0f, 0.0f, 0.0f}, {0.0f, -0.0f, -0.0f}, {-0.0f, 0.0f, kPi},
      {-0.0f, -0.0f, -kPi}, {0.0f, 1, kHalfPi}, {kInf, kInf, kQuarterPi}, {-kInf, -kInf, -kThreeQuarterPi},
      {kInf, -2, -0.0f}, {-kInf, 2, kPi}, {5, -kInf, -kHalfPi}}},
};

class Math : public ExportTest {};

TEST_F(Math, SpecialValuesAreExactByClassAndSign) {
  for (const auto& [names, rows] : kExact)
    for (const char* name : names) {
      const Case* c = math_accuracy::find(name);
      ASSERT_NE(c, nullptr) << name;
      std::vector<float> xs, ys;
      for (const auto& row : rows) xs.push_back(row[0]), ys.push_back(row.size() == 3 ? row[1] : 0.0f);
      DeviceBuffer<float> x(xs), y(ys);
      float* out[2] = {nullptr, nullptr};
      ASSERT_EQ(math_accuracy::run(*c, x.get(), y.get(), static_cast<int>(xs.size()), out), cudaSuccess) << name;
      const std::vector<float> got = out[0] ? DeviceBuffer<float>::adopt(out[0], xs.size()).download() : x.download();
      for (size_t i = 0; i < xs.size(); ++i)
        EXPECT_SAME_FLOAT(got[i], rows[i].back()) << name << " at x = " << xs[i] << ", y = " << ys[i];
    }
}

// SGL_SineAndCosine stores what SGL_Sine and SGL_Cosine store; SGL_LogBase10 is SGL_LN's result times the float
// 0x3EDE5BD9, rounded once (the likely fault, the constant an ulp off, stays within the accuracy bound).
TEST_F(Math, CompositesStoreTheBitsOfTheirParts) {
  std::vector<float> x, log10;
  for (const math_accuracy::Point& p : math_accuracy::find("SGL_Sine")->points()) x.push_back(p.x);
  for (const math_accuracy::Point& p : math_accuracy::find("SGL_LogBase10")->points()) log10.push_back(p.x);
  const int n = static_cast<int>(x.size()), m = static_cast<int>(log10.size());
  DeviceBuffer<float> input(x), sine(x), cosine(x), ln(log10), product(log10);
  float* out[2] = {nullptr, nullptr};
  ASSERT_TRUE(SGL_Sine(sine.get(), n) == cudaSuccess && SGL_Cosine(cosine.get(), n) == cudaSuccess &&
              SGL_SineAndCosine(input.get(), n, &out[0], &out[1]) == cudaSuccess);
  ASSERT_TRUE(SGL_LN(ln.get(), m) == cudaSuccess && SGL_LogBase10(product.get(), m) == cudaSuccess);
  std::vector<float> want = ln.download();
  for (float& v : want) v *= from_bits(0x3EDE5BD9u);
  expect_same_bits("sine", DeviceBuffer<float>::adopt(out[0], x.size()).download(), sine.download(), {x});
  expect_same_bits("cosine", DeviceBuffer<float>::adopt(out[1], x.size()).download(), cosine.download(), {x});
  expect_same_bits("input", input.download(), x);
  expect_same_bits("SGL_LogBase10", product.download(), want, {log10});
}

// One launch each, nothing done for n <= 0 (and nothing made for n < 0), null addresses refused; new arrays
// distinct from the inputs and from each other, owned by the caller only when every step succeeded.
TEST_F(Math, RuntimeCallsRefusalsAndFailures) {
  const std::vector<float> values = {0.25f, -0.5f, 1.5f, 2.0f, -3.0f, 0.75f, 10.0f};
  DeviceBuffer<float> in_place(values), x(values), y(values);
  float* const stale = reinterpret_cast<float*>(uintptr_t{0x5a5a5a5a5a5a5a5a});  // what no export would store
  float* out[2] = {nullptr, nullptr};
  std::vector<Contract> rows;
  for (const Case& c : cases()) {
    const unsigned k = c.outputs();
    const auto call = [&, k](int n, float** first, float** second) {
      out[0] = out[1] = stale;
      const cudaError_t status = k == 0   ? c.in_place(in_place.get(), n)
                                 : k == 1 ? c.two_inputs(x.get(), y.get(), n, first)
                                          : SGL_SineAndCosine(x.get(), n, first, second);
      for (unsigned j = 0; j < k && status == cudaSuccess && n > 0; ++j) {
        EXPECT_TRUE(out[j] != x.get() && out[j] != y.get() && out[j] != out[1 - j]) << c.name;
        EXPECT_EQ(cudaFree(out[j]), cudaSuccess);
      }
      return status;
    };
    const auto no_outputs = [&, k] { return k == 0 || (out[0] == nullptr && (k == 1 || out[1] == nullptr)); };
    for (int n : {7, 0, -1, INT_MIN})
      rows.push_back({c.name + " n = " + std::to_string(n),
                      {n > 0 ? k : 0, n > 0 ? k : 0, 0, 0, 0, 0, n >= 0 || k == 0, n > 0},
                      [&out, call, n] { return call(n, &out[0], &out[1]); }, n >= 0 || k == 0 ? 0 : 1, no_outputs});
    for (unsigned j = 0; j < k; ++j)
      rows.push_back({c.name + " null output", {},
                      [&out, call, j] { return call(7, j ? &out[0] : nullptr, j ? nullptr : &out[1]); }, 1});
  }
  for (const Contract& row : rows) expect_contract(row);
  EXPECT_TRUE(x.download() == values && y.download() == values) << "a new-array export wrote its input";
}

}  // namespace
