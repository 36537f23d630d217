// Array-scalar arithmetic in place: each operation rounded once in single precision, against the same
// operation done exactly in double and rounded to float (double carries more than 2 * 24 + 2 bits, so that
// double rounding is harmless for +, -, *, /).
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "arith/arith_values.h"
#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"

namespace {

using testing_support::bits;
using testing_support::DeviceBuffer;

using ScalarOp = cudaError_t (*)(float*, float, int);

class ScalarArithmetic : public testing_support::ExportTest {};

struct ScalarCase {
  const char* name;
  ScalarOp op;
  double (*exact)(double x, double s);
};

const ScalarCase kCases[] = {
    {"SGL_AddArrayScalar", SGL_AddArrayScalar, [](double x, double s) { return x + s; }},
    {"SGL_SubtractArrayScalar", SGL_SubtractArrayScalar, [](double x, double s) { return x - s; }},
    {"SGL_SubtractScalarArray", SGL_SubtractScalarArray, [](double x, double s) { return s - x; }},
    {"SGL_MultArrayScalar", SGL_MultArrayScalar, [](double x, double s) { return x * s; }},
    {"SGL_DivideArrayScalar", SGL_DivideArrayScalar, [](double x, double s) { return x / s; }},
    {"SGL_DivideScalarArray", SGL_DivideScalarArray, [](double x, double s) { return s / x; }},
};

std::vector<float> apply(ScalarOp op, const std::vector<float>& inputs, float s) {
  DeviceBuffer<float> data(inputs);
  EXPECT_EQ(op(data.get(), s, static_cast<int>(inputs.size())), cudaSuccess);
  return data.download();
}

TEST_F(ScalarArithmetic, DenseSweepsMatchTheReferenceBitForBit) {
  std::vector<float> inputs = arith_testing::structured_values();
  const std::vector<float> random = arith_testing::random_bit_patterns(1 << 13, 11u);
  inputs.insert(inputs.end(), random.begin(), random.end());
  // Scalars that matter to IEEE rules (zeros, infinities, NaN, subnormals, the range ends) and a few of any size.
  std::vector<float> scalars = {0.0f,     -0.0f,   1.0f,     -1.0f,        0.5f,    3.0f,    -7.25f, 1.0e-40f,
                                FLT_MIN,  FLT_MAX, -FLT_MAX, FLT_TRUE_MIN, INFINITY, -INFINITY, NAN, 1.0e20f};
  const std::vector<float> random_scalars = arith_testing::random_bit_patterns(8, 12u);
  scalars.insert(scalars.end(), random_scalars.begin(), random_scalars.end());

  for (const ScalarCase& c : kCases) {
    for (float s : scalars) {
      const std::vector<float> got = apply(c.op, inputs, s);
      int failures = 0;
      for (size_t i = 0; i < inputs.size() && failures < 5; ++i) {
        const float want = static_cast<float>(c.exact(inputs[i], s));
        if (!testing_support::same_float(got[i], want)) {
          ++failures;
          ADD_FAILURE() << c.name << "(x = " << inputs[i] << ", s = " << s << ") gave " << got[i] << " (0x" << std::hex
                        << bits(got[i]) << "), expected " << want << " (0x" << bits(want) << ")" << std::dec;
        }
      }
    }
  }
}

TEST_F(ScalarArithmetic, DivisionByZeroAndSignedZerosFollowIeee) {
  const std::vector<float> x = {2.0f, -3.0f, 0.0f, -0.0f};
  const std::vector<float> by_zero = apply(SGL_DivideArrayScalar, x, 0.0f);
  EXPECT_SAME_FLOAT(by_zero[0], INFINITY);
  EXPECT_SAME_FLOAT(by_zero[1], -INFINITY);
  EXPECT_TRUE(std::isnan(by_zero[2]));
  EXPECT_TRUE(std::isnan(by_zero[3]));
  EXPECT_SAME_FLOAT(apply(SGL_DivideArrayScalar, {2.0f}, -0.0f)[0], -INFINITY);
  EXPECT_SAME_FLOAT(apply(SGL_DivideScalarArray, {-0.0f}, 1.0f)[0], -INFINITY);
  EXPECT_SAME_FLOAT(apply(SGL_SubtractScalarArray, {0.0f}, -0.0f)[0], -0.0f);
  EXPECT_SAME_FLOAT(apply(SGL_SubtractScalarArray, {-2.5f}, -2.5f)[0], 0.0f);
  EXPECT_TRUE(std::isnan(apply(SGL_MultArrayScalar, {INFINITY}, 0.0f)[0]));
  EXPECT_TRUE(std::isnan(apply(SGL_MultArrayScalar, {-INFINITY}, 0.0f)[0]));
}

TEST_F(ScalarArithmetic, AddingOneIsIncrement) {
  const std::vector<float> inputs = arith_testing::sweep_values();
  const std::vector<float> added = apply(SGL_AddArrayScalar, inputs, 1.0f);
  DeviceBuffer<float> data(inputs);
  ASSERT_EQ(SGL_Increment(data.get(), static_cast<int>(inputs.size())), cudaSuccess);
  const std::vector<float> incremented = data.download();
  for (size_t i = 0; i < inputs.size(); ++i) ASSERT_SAME_FLOAT(added[i], incremented[i]) << inputs[i];
}

}  // namespace
