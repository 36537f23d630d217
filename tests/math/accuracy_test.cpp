// Every math export against an exact reference over its points (accuracy_cases.cpp): each result within
// the bound that its recipe earns, NaN where the reference is NaN, infinities of the right sign.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "math/accuracy_cases.h"
#include "support/runtime.h"

namespace {

using math_accuracy::cases;

class Accuracy : public testing_support::ExportTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(Accuracy, StaysWithinTheBoundOfItsRecipe) {
  const math_accuracy::Case& c = cases()[GetParam()];
  const math_accuracy::Measurement m = math_accuracy::measure(c);
  ASSERT_EQ(m.status, cudaSuccess);
  EXPECT_TRUE(m.tail_intact) << c.name << " wrote past n";
  EXPECT_GT(m.counted, 5000u) << "too few points measured against a finite exact value";
  const size_t shown = std::min<size_t>(m.failures.size(), 12);
  for (size_t i = 0; i < shown; ++i) ADD_FAILURE() << math_accuracy::describe(c, m.failures[i]);
  EXPECT_EQ(m.failures.size(), 0u) << "of " << m.points << " points";
}

std::string case_name(const ::testing::TestParamInfo<size_t>& info) {
  std::string name;
  for (char ch : std::string(cases()[info.param].name).substr(4))  // without "SGL_"
    if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
  return name;
}

INSTANTIATE_TEST_SUITE_P(Math, Accuracy, ::testing::Range<size_t>(0, cases().size()), case_name);

}  // namespace
