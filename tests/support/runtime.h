// What tests may ask of the runtime beyond the CUDA API: leak counts, launch counts and failure injection.
// They exist in the host variant (hostcuda's hooks); on a real GPU the tests that need them are skipped.
#pragma once

#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <ostream>

#if defined(CUDA_BRELMONT_HOST_VARIANT)
#include "hostcuda/hooks.h"
#endif

namespace testing_support {

#if defined(CUDA_BRELMONT_HOST_VARIANT)
constexpr bool kHooks = true;
constexpr unsigned char kPoisonByte = HOSTCUDA_POISON_BYTE;
inline size_t live_allocations() { return hostcudaLiveAllocations(); }
inline void fail_allocation(int k) { hostcudaFailAllocation(k); }
inline void fail_launch(int k, cudaError_t error) { hostcudaFailLaunch(k, error); }
inline void fail_synchronize(cudaError_t error) { hostcudaFailSynchronize(error); }
inline void fail_copy(int k, cudaError_t error) { hostcudaFailCopy(k, error); }
// Device work a GPU could still be running: queued since the last call that waits for it.
inline unsigned long long pending_work() { return hostcudaPendingWork(); }
// Makes the allocation at p memory of another device than the current one.
inline void move_to_other_device(void* p) { ASSERT_EQ(hostcudaSetAllocationDevice(p, 1), cudaSuccess); }
// Seeds of random draws: seed, seed + 1, ... from now on; unfix_seeds() returns to the library's own.
inline void fix_seeds(unsigned long long seed) { hostcudaFixSeed(1, seed); }
inline void unfix_seeds() { hostcudaFixSeed(0, 0); }
#else
constexpr bool kHooks = false;
constexpr unsigned char kPoisonByte = 0xA5;
inline size_t live_allocations() { return 0; }
inline void fail_allocation(int) {}
inline void fail_launch(int, cudaError_t) {}
inline void fail_synchronize(cudaError_t) {}
inline void fail_copy(int, cudaError_t) {}
inline unsigned long long pending_work() { return 0; }
inline void move_to_other_device(void*) {}
inline void fix_seeds(unsigned long long) {}
inline void unfix_seeds() {}
#endif

// Runtime calls by kind, made across a piece of work (calls_during). Table rows list them in this order.
struct CallCounts {
  unsigned long long allocations, releases, copies_to_device, copies_to_host, copies_on_device, memsets,
      synchronizations, launches;
  bool operator==(const CallCounts& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
  friend std::ostream& operator<<(std::ostream& os, const CallCounts& c) {
    return os << "{alloc " << c.allocations << ", free " << c.releases << ", h2d " << c.copies_to_device << ", d2h "
              << c.copies_to_host << ", d2d " << c.copies_on_device << ", memset " << c.memsets << ", sync "
              << c.synchronizations << ", launch " << c.launches << "}";
  }
};

#if defined(CUDA_BRELMONT_HOST_VARIANT)
template <typename Work>
CallCounts calls_during(Work&& work) {
  const hostcudaCallCounts a = hostcudaCounts();
  work();
  const hostcudaCallCounts b = hostcudaCounts();
  return CallCounts{b.allocations - a.allocations,         b.releases - a.releases,
                    b.copies_to_device - a.copies_to_device, b.copies_to_host - a.copies_to_host,
                    b.copies_on_device - a.copies_on_device, b.memsets - a.memsets,
                    b.synchronizations - a.synchronizations, b.launches - a.launches};
}
#else
template <typename Work>
CallCounts calls_during(Work&& work) {
  work();
  return CallCounts{};
}
#endif

// Skips the current test where the runtime has no hooks (a real GPU).
#define REQUIRE_RUNTIME_HOOKS() \
  do {                                                                          \
    if (!::testing_support::kHooks) GTEST_SKIP() << "needs the host runtime's test hooks"; \
  } while (0)

// Base fixture for tests of exports: every test starts with no pending runtime error and must end with
// the live-allocation count it started with and no pending error.
class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fail_allocation(0);
    fail_launch(0, cudaSuccess);
    fail_copy(0, cudaSuccess);
    ASSERT_EQ(cudaGetLastError(), cudaSuccess) << "an earlier test left a pending error";
    baseline_ = live_allocations();
  }
  void TearDown() override {
    EXPECT_EQ(live_allocations(), baseline_) << "device memory leaked";
    EXPECT_EQ(cudaGetLastError(), cudaSuccess) << "the test left a pending runtime error";
  }

 private:
  size_t baseline_ = 0;
};

}  // namespace testing_support
