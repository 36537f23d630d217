// The math exports. Each against an exact reference over its points (accuracy_cases.cpp): every result within
// the bound that its recipe earns, NaN where the reference is NaN, infinities of the right sign. Then what those
// bounds leave open (the sign of a zero and the finite values the recipes define exactly, SGL_SineAndCosine bit
// for bit, the constant of SGL_LogBase10), and the runtime calls of empty and refused calls (every step of a
// typical call fails in tests/frame/exports_test.cpp).
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
using Floats = std::vector<float>;

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
  std::string name = cases()[info.param].name.substr(4);  // without "SGL_"
  name.erase(std::remove_if(name.begin(), name.end(), [](unsigned char ch) { return !std::isalnum(ch); }), name.end());
  return name;
}

INSTANTIATE_TEST_SUITE_P(Math, Accuracy, ::testing::Range<size_t>(0, cases().size()), case_name);

// Exact values, where the accuracy tests hold a zero's sign and a finite value only to a bound (they
// already match NaN and infinite results exactly, by class and sign).
const float kNaN = NAN, kInf = INFINITY;
// The floats nearest pi, pi/2, pi/4 and 3pi/4.
const float kPi = from_bits(0x40490fdbu), kHalfPi = from_bits(0x3fc90fdbu), kQuarterPi = from_bits(0x3f490fdbu),
            kThreeQuarterPi = from_bits(0x4016cbe4u);

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

// The export's results on xs and ys (read by the exports of two inputs); a new-array export must leave its
// inputs as they were.
Floats results(const std::string& name, const Floats& xs, const Floats& ys) {
  const Case* c = math_accuracy::find(name);
  DeviceBuffer<float> x(xs), y(ys);
  float* out[2] = {nullptr, nullptr};
  EXPECT_TRUE(c != nullptr && math_accuracy::run(*c, x.get(), y.get(), int(xs.size()), out) == cudaSuccess) << name;
  if (out[0] == nullptr) return x.download();
  EXPECT_TRUE(same_bytes(x.download(), xs) && same_bytes(y.download(), ys)) << name << " wrote an input";
  const DeviceBuffer<float> first = DeviceBuffer<float>::adopt(out[0], xs.size()),
                            second = DeviceBuffer<float>::adopt(out[1], xs.size());
  return (c->sine_and_cosine_output == 1 ? second : first).download();
}

class Math : public ExportTest {};

TEST_F(Math, SpecialValuesAreExactByClassAndSign) {
  for (const auto& [names, rows] : kExact)
    for (const char* name : names) {
      Floats xs, ys, want;
      for (const auto& row : rows)
        xs.push_back(row[0]), ys.push_back(row.size() == 3 ? row[1] : 0), want.push_back(row.back());
      expect_same_bits(name, results(name, xs, ys), want, {xs, ys});
    }
}

// SGL_SineAndCosine stores what SGL_Sine and SGL_Cosine store; SGL_LogBase10 is SGL_LN's result times the float
// 0x3EDE5BD9, rounded once (the likely fault, the constant an ulp off, stays within the accuracy bound).
TEST_F(Math, CompositesStoreTheBitsOfTheirParts) {
  Floats x, l;
  for (const math_accuracy::Point& p : math_accuracy::find("SGL_Sine")->points()) x.push_back(p.x);
  for (const math_accuracy::Point& p : math_accuracy::find("SGL_LogBase10")->points()) l.push_back(p.x);
  expect_same_bits("sine", results("SGL_SineAndCosine (sine)", x, x), results("SGL_Sine", x, x), {x});
  expect_same_bits("cosine", results("SGL_SineAndCosine (cosine)", x, x), results("SGL_Cosine", x, x), {x});
  Floats want = results("SGL_LN", l, l);
  for (float& v : want) v *= from_bits(0x3EDE5BD9u);
  expect_same_bits("SGL_LogBase10", results("SGL_LogBase10", l, l), want, {l});
}

// Nothing done for n <= 0, yet synchronised; nothing made for n < 0 or without an address for a new array.
TEST_F(Math, RuntimeCallsOfEmptyAndRefusedCalls) {
  DeviceBuffer<float> x(Floats{0.25f, -0.5f, 1.5f}), y(Floats{2.0f, -3.0f, 0.75f});
  float* const stale = reinterpret_cast<float*>(uintptr_t{0x5a5a5a5a5a5a5a5a});  // what no export would store
  float* out[2] = {stale, stale};
  for (const Case& c : cases()) {
    const unsigned k = c.outputs();
    for (int n : {0, INT_MIN})
      expect_contract({c.name + " n = " + std::to_string(n), {0, 0, 0, 0, 0, 0, n == 0 || k == 0, 0},
                       [&, n] { return out[0] = out[1] = stale, math_accuracy::run(c, x.get(), y.get(), n, out); },
                       n < 0 && k > 0, [&] { return k == 0 || (out[0] == nullptr && (k == 1 || out[1] == nullptr)); }});
    for (unsigned j = 0; j < k; ++j)
      expect_contract({c.name + " null output", {}, [&, j] {
                         return k == 1 ? c.two_inputs(x.get(), y.get(), 3, nullptr)
                                       : SGL_SineAndCosine(x.get(), 3, j ? &out[0] : nullptr, j ? nullptr : &out[1]);
                       }, 1});
  }
}

}  // namespace
