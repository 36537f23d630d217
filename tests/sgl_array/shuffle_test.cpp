// The shuffle: values kept, permutations and positions spread as a uniform permutation spreads them
// (chi-square at a fixed seed sequence, each check failing by chance with probability below 1e-6), the
// permutation of a fixed seed against SplitMix64 keys computed here, and fresh seeds call after call.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
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

using namespace testing_support;

class Shuffle : public ExportTest {
 protected:
  void TearDown() override { unfix_seeds(), ExportTest::TearDown(); }
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
  for (int n : boundary_sizes()) {
    std::vector<float> data(n + 2);
    for (float& x : data) x = from_bits(static_cast<uint32_t>(rng()));  // any bits, NaNs too
    std::vector<float> got = shuffled(data, n);
    const auto by_bits = [](float a, float b) { return bits(a) < bits(b); };
    std::sort(data.begin(), data.begin() + n, by_bits), std::sort(got.begin(), got.begin() + n, by_bits);
    for (int i = 0; i < n + 2; ++i) ASSERT_EQ(bits(got[i]), bits(data[i])) << "n = " << n << ", " << i;
  }
}

TEST_F(Shuffle, PermutationsAndPositionsAreEvenlySpread) {
  REQUIRE_RUNTIME_HOOKS();
  fix_seeds(0x5eed0000);
  // Every permutation of 3 and 4 elements; chi-square bounds for 5 and 23 degrees of freedom.
  for (auto [n, permutations, bound] : {std::tuple{3, 6, 35.89}, {4, 24, 70.55}}) {
    std::map<std::vector<float>, long> seen;
    for (int c = 0; c < 200 * permutations; ++c) ++seen[shuffled(identity(n), n)];
    ASSERT_EQ(static_cast<int>(seen.size()), permutations) << "n = " << n;
    std::vector<long> counts;
    for (const auto& kv : seen) counts.push_back(kv.second);
    EXPECT_LT(chi_square(counts, 200.0), bound) << "n = " << n;
  }
  // Every value at every position of 16: each position on its own, 15 degrees of freedom, 1e-6 / 16.
  const int n = 16, calls = 3200;
  std::vector<std::vector<long>> at(n, std::vector<long>(n, 0));  // at[position][value]
  for (int c = 0; c < calls; ++c) {
    const std::vector<float> got = shuffled(identity(n), n);
    for (int p = 0; p < n; ++p) ++at[p][static_cast<int>(got[p])];
  }
  for (int p = 0; p < n; ++p) EXPECT_LT(chi_square(at[p], calls / double(n)), 63.50) << "position " << p;
}

TEST_F(Shuffle, AFixedSeedGivesTheOrderOfItsSplitMix64Keys) {
  // The first outputs of SplitMix64 seeded with 1234567, as its reference implementation prints them.
  const uint64_t published[] = {6457827717110365317ull, 3203168211198807973ull, 9817491932198370423ull,
                                4593380528125082431ull, 16408922859458223821ull};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(brelmont::random_bits(1234567, i), published[i]) << i;
  REQUIRE_RUNTIME_HOOKS();
  for (int n : {2, 3, 100, 4097}) {
    const uint64_t seed = 977 + n;
    fix_seeds(seed);
    std::vector<uint64_t> keys(n);
    uint64_t state = seed;
    for (uint64_t& k : keys) {  // SplitMix64 as published: state += golden gamma, then the finaliser
      uint64_t z = (state += 0x9e3779b97f4a7c15ull);
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull, z = (z ^ (z >> 27)) * 0x94d049bb133111ebull, k = z ^ (z >> 31);
    }
    std::vector<float> want = identity(n);
    std::stable_sort(want.begin(), want.end(), [&](float a, float b) { return keys[int(a)] < keys[int(b)]; });
    EXPECT_EQ(shuffled(identity(n), n), want) << "n = " << n;
  }
}

TEST_F(Shuffle, EveryCallGetsItsOwnSeed) {
  std::vector<float> previous = shuffled(identity(64), 64);
  for (int c = 0; c < 20; ++c) {
    const std::vector<float> next = shuffled(identity(64), 64);
    ASSERT_NE(next, previous) << "call " << c;
    previous = next;
  }
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
  if (!kHooks) return;
  fix_seeds(41);  // fixed seeds count up until released
  EXPECT_TRUE(brelmont::next_seed() == 41u && brelmont::next_seed() == 42u);
  unfix_seeds();
  const unsigned long long a = brelmont::next_seed(), b = brelmont::next_seed();
  EXPECT_TRUE(a != 43u && a != b);
}

}  // namespace
