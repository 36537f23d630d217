// The shuffle: values kept, permutations and positions spread as a uniform permutation spreads them
// (chi-square at a fixed seed sequence, each check failing by chance with probability below 1e-6), the
// permutation of a fixed seed against SplitMix64 keys computed here, and fresh seeds call after call.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "cuda_brelmont.h"
#include "frame/random.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"
#include "support/sizes.h"

namespace {

using testing_support::bits;
using testing_support::DeviceBuffer;
using testing_support::launch_count;
using testing_support::poison_value;

class Shuffle : public testing_support::ExportTest {
 protected:
  void TearDown() override {
    testing_support::unfix_seeds();
    ExportTest::TearDown();
  }
};

// 0, 1, ..., n-1 as floats: a shuffled array names its permutation.
std::vector<float> identity(int n) {
  std::vector<float> v(n);
  std::iota(v.begin(), v.end(), 0.0f);
  return v;
}

std::vector<float> shuffled(const std::vector<float>& data, int n) {
  DeviceBuffer<float> d(data);
  EXPECT_EQ(SGL_ShuffleNDArray(n, d.get()), cudaSuccess);
  return d.download();
}

double chi_square(const std::vector<long>& counts, double expected) {
  double sum = 0;
  for (long c : counts) sum += (c - expected) * (c - expected) / expected;
  return sum;
}

TEST_F(Shuffle, KeepsEveryValueAndTouchesNothingPastN) {
  std::mt19937 rng(3);
  for (int n : testing_support::boundary_sizes()) {
    std::vector<float> data(n + 2);
    for (float& x : data) x = testing_support::from_bits(static_cast<uint32_t>(rng()));  // any bits, NaNs too
    data[n] = poison_value<float>();
    const std::vector<float> got = shuffled(data, n);
    std::vector<uint32_t> want_bits, got_bits;
    for (int i = 0; i < n; ++i) {
      want_bits.push_back(bits(data[i]));
      got_bits.push_back(bits(got[i]));
    }
    std::sort(want_bits.begin(), want_bits.end());
    std::sort(got_bits.begin(), got_bits.end());
    ASSERT_EQ(got_bits, want_bits) << "n = " << n;
    EXPECT_EQ(bits(got[n]), bits(data[n]));
    EXPECT_EQ(bits(got[n + 1]), bits(data[n + 1]));
  }
}

TEST_F(Shuffle, NothingToShuffleAndNegativeCounts) {
  DeviceBuffer<float> d(std::vector<float>{0.5f, 1.5f});
  const unsigned long long launches = launch_count();
  EXPECT_EQ(SGL_ShuffleNDArray(1, d.get()), cudaSuccess);
  EXPECT_EQ(SGL_ShuffleNDArray(0, d.get()), cudaSuccess);
  EXPECT_EQ(SGL_ShuffleNDArray(-1, d.get()), cudaErrorInvalidValue);
  EXPECT_EQ(SGL_ShuffleNDArray(INT_MIN, d.get()), cudaErrorInvalidValue);
  EXPECT_EQ(launch_count(), launches);
  EXPECT_EQ(d.download(), (std::vector<float>{0.5f, 1.5f}));
}

TEST_F(Shuffle, EveryPermutationOfThreeAndFourElementsIsEquallyFrequent) {
  REQUIRE_RUNTIME_HOOKS();
  // Chi-square bounds exceeded with probability 1e-6 for 5 and 23 degrees of freedom.
  const struct {
    int n, permutations;
    double bound;
  } rows[] = {{3, 6, 35.89}, {4, 24, 70.55}};
  testing_support::fix_seeds(0x5eed0000);
  for (const auto& row : rows) {
    const int calls = 200 * row.permutations;
    std::map<std::vector<float>, long> seen;
    for (int c = 0; c < calls; ++c) ++seen[shuffled(identity(row.n), row.n)];
    ASSERT_EQ(static_cast<int>(seen.size()), row.permutations) << "n = " << row.n;
    std::vector<long> counts;
    for (const auto& kv : seen) counts.push_back(kv.second);
    EXPECT_LT(chi_square(counts, 200.0), row.bound) << "n = " << row.n;
  }
}

TEST_F(Shuffle, EveryValueReachesEveryPositionEvenly) {
  REQUIRE_RUNTIME_HOOKS();
  const int n = 16, calls = 3200;
  testing_support::fix_seeds(0xabcdef);
  std::vector<std::vector<long>> at(n, std::vector<long>(n, 0));  // at[position][value]
  for (int c = 0; c < calls; ++c) {
    const std::vector<float> got = shuffled(identity(n), n);
    for (int p = 0; p < n; ++p) ++at[p][static_cast<int>(got[p])];
  }
  // Each position on its own, 15 degrees of freedom, bound exceeded with probability 1e-6 / 16.
  for (int p = 0; p < n; ++p) EXPECT_LT(chi_square(at[p], calls / double(n)), 63.50) << "position " << p;
}

// SplitMix64 as published: state += golden gamma, then the finaliser.
uint64_t splitmix64(uint64_t& state) {
  uint64_t z = (state += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

TEST_F(Shuffle, TheGeneratorIsSplitMix64) {
  // The first outputs of SplitMix64 seeded with 1234567, as its reference implementation prints them.
  const uint64_t published[] = {6457827717110365317ull, 3203168211198807973ull, 9817491932198370423ull,
                                4593380528125082431ull, 16408922859458223821ull};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(brelmont::random_bits(1234567, i), published[i]) << i;
}

TEST_F(Shuffle, AFixedSeedGivesTheOrderOfItsKeys) {
  REQUIRE_RUNTIME_HOOKS();
  for (int n : {2, 3, 100, 4097}) {
    const uint64_t seed = 977 + n;
    testing_support::fix_seeds(seed);
    const std::vector<float> got = shuffled(identity(n), n);
    uint64_t state = seed;
    std::vector<uint64_t> keys(n);
    for (uint64_t& k : keys) k = splitmix64(state);
    std::vector<float> want = identity(n);
    std::stable_sort(want.begin(), want.end(), [&](float a, float b) { return keys[int(a)] < keys[int(b)]; });
    EXPECT_EQ(got, want) << "n = " << n;
  }
}

TEST_F(Shuffle, ConsecutiveCallsApplyDifferentPermutations) {
  const int n = 64;
  std::vector<float> previous = shuffled(identity(n), n);
  for (int c = 0; c < 20; ++c) {
    const std::vector<float> next = shuffled(identity(n), n);
    ASSERT_NE(next, previous) << "call " << c;
    previous = next;
  }
}

TEST(Seeds, EveryCallOfAProcessGetsItsOwnSeed) {
  // Four threads drawing at once, faster than the clock ticks: still no seed twice.
  std::vector<std::vector<unsigned long long>> drawn(4);
  std::vector<std::thread> threads;
  for (auto& mine : drawn)
    threads.emplace_back([&mine] {
      for (int k = 0; k < 20000; ++k) mine.push_back(brelmont::next_seed());
    });
  for (auto& t : threads) t.join();
  std::set<unsigned long long> all;
  for (const auto& mine : drawn) all.insert(mine.begin(), mine.end());
  EXPECT_EQ(all.size(), 4u * 20000u);
}

TEST(Seeds, FixedSeedsCountUpUntilReleased) {
  REQUIRE_RUNTIME_HOOKS();
  testing_support::fix_seeds(41);
  EXPECT_EQ(brelmont::next_seed(), 41u);
  EXPECT_EQ(brelmont::next_seed(), 42u);
  testing_support::unfix_seeds();
  const unsigned long long a = brelmont::next_seed(), b = brelmont::next_seed();
  EXPECT_NE(a, 43u);
  EXPECT_NE(a, b);
}

}  // namespace
