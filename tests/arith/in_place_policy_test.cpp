// What every in-place arithmetic export shares: it writes exactly the first n elements, does nothing for
// n <= 0, and reports a failed launch or a device fault.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"
#include "support/sizes.h"

namespace {

using testing_support::bits;
using testing_support::DeviceBuffer;
using testing_support::launch_count;

struct Export {
  const char* name;
  std::function<cudaError_t(float*, int)> call;
};

#define UNARY(f) Export{#f, f}
#define WITH_SCALAR(f) Export{#f, [](float* data, int n) { return f(data, 3.0f, n); }}

// Each export maps the poison value (0xA5A5A5A5, about -2.9e-16) to something else, so an unwritten
// element shows.
const std::vector<Export>& in_place_exports() {
  static const std::vector<Export> exports = {
      UNARY(SGL_Increment),
      UNARY(SGL_Decrement),
      UNARY(SGL_Square),
      UNARY(SGL_Negate),
      UNARY(SGL_Reciprocal),
      UNARY(SGL_SquareRoot),
      UNARY(SGL_Absolute),
      UNARY(SGL_RoundToNearest),
      UNARY(SGL_RoundTowardLessInfinity),
      UNARY(SGL_RoundTowardMoreInfinity),
      UNARY(SGL_Sign),
      Export{"SGL_ScaleByPowerOfTwo", [](float* data, int n) { return SGL_ScaleByPowerOfTwo(data, 1, n); }},
      WITH_SCALAR(SGL_AddArrayScalar),
      WITH_SCALAR(SGL_SubtractArrayScalar),
      WITH_SCALAR(SGL_SubtractScalarArray),
      WITH_SCALAR(SGL_MultArrayScalar),
      WITH_SCALAR(SGL_DivideArrayScalar),
      WITH_SCALAR(SGL_DivideScalarArray),
  };
  return exports;
}

class InPlaceArithmetic : public testing_support::ExportTest {};

TEST_F(InPlaceArithmetic, EveryExportWritesExactlyTheFirstNElements) {
  const uint32_t poison = bits(testing_support::poison_value<float>());
  for (const Export& e : in_place_exports()) {
    for (int n : testing_support::boundary_sizes()) {
      DeviceBuffer<float> data(static_cast<size_t>(n) + 2);
      ASSERT_EQ(e.call(data.get(), n), cudaSuccess) << e.name << " n = " << n;
      const std::vector<float> got = data.download();
      for (int i = 0; i < n; ++i)
        if (bits(got[i]) == poison) FAIL() << e.name << " left element " << i << " of " << n;
      for (size_t i = n; i < got.size(); ++i) ASSERT_EQ(bits(got[i]), poison) << e.name << " wrote past n = " << n;
    }
  }
}

TEST_F(InPlaceArithmetic, NothingToDoLaunchesNothing) {
  const std::vector<float> values = {1.5f, -2.5f, 4.0f};
  DeviceBuffer<float> data(values);
  const unsigned long long launches = launch_count();
  for (const Export& e : in_place_exports())
    for (int n : {0, -1, -512, INT_MIN}) {
      EXPECT_EQ(e.call(data.get(), n), cudaSuccess) << e.name << " n = " << n;
      EXPECT_EQ(cudaPeekAtLastError(), cudaSuccess) << e.name;
    }
  EXPECT_EQ(launch_count(), launches);
  EXPECT_EQ(data.download(), values);
}

TEST_F(InPlaceArithmetic, EveryExportReportsAFailedLaunchOrDeviceFault) {
  REQUIRE_RUNTIME_HOOKS();
  const std::vector<float> values = {1.5f, -2.5f, 4.0f};
  DeviceBuffer<float> data(values);
  for (const Export& e : in_place_exports()) {
    testing_support::fail_launch(1, cudaErrorNoKernelImageForDevice);
    EXPECT_EQ(e.call(data.get(), 3), cudaErrorNoKernelImageForDevice) << e.name;
    EXPECT_EQ(cudaGetLastError(), cudaErrorNoKernelImageForDevice);
    // With nothing to launch the status is still the synchronisation's.
    testing_support::fail_synchronize(cudaErrorIllegalAddress);
    EXPECT_EQ(e.call(data.get(), 0), cudaErrorIllegalAddress) << e.name;
    EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
  }
  EXPECT_EQ(data.download(), values);  // the refused launches ran nothing
}

}  // namespace
