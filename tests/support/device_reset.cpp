// Linked into every test program of the cuda variant: once the tests are done, the CUDA context is torn down, so
// that compute-sanitizer's leak check, which reports what is still allocated when a context ends, sees every
// array that a test or the library failed to release. (hostcuda counts live allocations itself.)
#include <cuda_runtime.h>
#include <gtest/gtest.h>

namespace {

class DeviceReset : public testing::Environment {
 public:
  // Its status is not a test's outcome: a device left in error has already failed the test that broke it.
  void TearDown() override { static_cast<void>(cudaDeviceReset()); }
};

[[maybe_unused]] const testing::Environment* const kDeviceReset = testing::AddGlobalTestEnvironment(new DeviceReset);

}  // namespace
