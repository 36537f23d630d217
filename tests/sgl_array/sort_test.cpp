// Sort, shuffle, search and duplicate removal against host references written for the test: an order spelled out
// by value class, SplitMix64 keys computed here, a forward scan, and a first-occurrence loop over a set of seen
// values. Then the family's refusals and the runtime calls that differ from a typical call's as one contract table.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "cuda_brelmont.h"
#include "frame/random.h"
#include "support/contract.h"
#include "support/device_buffer.h"
#include "support/same_bits.h"
#include "support/sizes.h"

namespace {

using namespace testing_support;
using Floats = std::vector<float>;
using Ints = std::vector<int>;

const float kNegativeNan = from_bits(0xffc00000u), kNegativeNanPayload = from_bits(0xff800001u);
const float kNan = from_bits(0x7fc00000u), kNanPayload = from_bits(0x7f800001u);
constexpr int kUnwritten = -77;

// Random floats salted with both zeros, both infinities and NaNs of both signs and two payloads each.
Floats salted(std::mt19937& rng, int n) {
  const float salt[] = {0.0f, -0.0f, INFINITY, -INFINITY, kNan, kNanPayload, kNegativeNan, kNegativeNanPayload};
  std::uniform_real_distribution<float> value(-100.0f, 100.0f);
  Floats v(n);
  for (float& x : v) x = rng() % 8 == 0 ? salt[rng() % 8] : (rng() % 2 ? value(rng) : std::round(value(rng)));
  return v;
}

// 0, 1, ..., n-1 shuffled: a shuffled array names its permutation.
Floats shuffled_identity(int n) {
  Floats v(n);
  std::iota(v.begin(), v.end(), 0.0f);
  DeviceBuffer<float> d(v);
  EXPECT_EQ(SGL_ShuffleNDArray(n, d.get()), cudaSuccess);
  return d.download();
}

class SortFamily : public ExportTest {
 protected:
  void TearDown() override { unfix_seeds(), ExportTest::TearDown(); }
};

// The sort's order by value class: sign-set NaNs (by bits, descending), numbers by value (-0 and +0 equal, kept in
// their order), sign-clear NaNs (by bits, ascending). The shuffle keeps the same bits in some order. Duplicate
// removal keeps first occurrences in order, -0 and +0 as one value, every NaN.
TEST_F(SortFamily, SortShuffleAndDuplicateRemovalKeepBitsAndTouchNothingPastN) {
  const auto group = [](float x) { return std::isnan(x) ? (std::signbit(x) ? 0 : 2) : 1; };
  const auto before = [&](float a, float b) {
    if (group(a) != group(b)) return group(a) < group(b);
    return group(a) == 1 ? a < b : group(a) == 0 ? bits(a) > bits(b) : bits(a) < bits(b);
  };
  const auto by_bits = [](float a, float b) { return bits(a) < bits(b); };
  std::mt19937 rng(5);
  std::vector<std::pair<Floats, int>> rows = {{{-0.0f, 1, 0.0f, -0.0f, -1, 0.0f, 7, 7, 7}, 9},
                                              {{0.0f, -0.0f, kNan, 1, kNegativeNan, 1, kNan, 5}, 8}};
  for (int n : boundary_sizes()) rows.push_back({salted(rng, n + 7), n});  // seven more that no call may touch
  for (const auto& [data, n] : rows) {
    const std::string what = std::to_string(n) + " of " + std::to_string(data.size());
    Floats want = data, kept = data, unique;
    std::stable_sort(want.begin(), want.begin() + n, before);
    std::set<uint32_t> seen;  // -0 stored as +0
    for (int i = 0; i < n; ++i)
      if (std::isnan(data[i]) || seen.insert(bits(data[i] == 0.0f ? 0.0f : data[i])).second) unique.push_back(data[i]);
    DeviceBuffer<float> d(data), s(data), u(data);
    ASSERT_EQ(SGL_SortNDArray(n, d.get()), cudaSuccess);
    EXPECT_TRUE(same_bytes(d.download(), want)) << "sort " << what;  // NaNs in their order too
    ASSERT_EQ(SGL_ShuffleNDArray(n, s.get()), cudaSuccess);
    Floats got = s.download();
    std::sort(got.begin(), got.begin() + n, by_bits), std::sort(kept.begin(), kept.begin() + n, by_bits);
    EXPECT_TRUE(same_bytes(got, kept)) << "shuffle " << what;
    float* out = poison_value<float*>();
    int count = kUnwritten;
    SGL_RemoveDup1DArray(u.get(), n, &out, &count);
    ASSERT_EQ(count, static_cast<int>(unique.size())) << what;
    if (unique.empty()) EXPECT_EQ(out, nullptr);
    expect_same_bits("unique of " + what, DeviceBuffer<float>::adopt(out, count).download(), unique);
    expect_same_bits("input of " + what, u.download(), data);
  }
}

// A shuffle sorts the elements by their SplitMix64 keys from the call's seed: the same seed gives the same
// permutation, the next seed its own.
TEST_F(SortFamily, AShuffleIsTheOrderOfItsSeedsSplitMix64Keys) {
  // The first outputs of SplitMix64 seeded with 1234567, as its reference implementation prints them.
  const uint64_t published[] = {6457827717110365317ull, 3203168211198807973ull, 9817491932198370423ull,
                                4593380528125082431ull, 16408922859458223821ull};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(brelmont::random_bits(1234567, i), published[i]) << i;
  REQUIRE_RUNTIME_HOOKS();
  for (int n : {2, 3, 100, 4097})
    for (uint64_t seed : {977ull + n, 977ull + n, 978ull + n}) {
      fix_seeds(seed);
      std::vector<uint64_t> keys(n);
      uint64_t state = seed;
      for (uint64_t& k : keys) {  // SplitMix64 as published: state += golden gamma, then the finaliser
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull, z = (z ^ (z >> 27)) * 0x94d049bb133111ebull, k = z ^ (z >> 31);
      }
      Floats want(n);
      std::iota(want.begin(), want.end(), 0.0f);
      std::stable_sort(want.begin(), want.end(), [&](float a, float b) { return keys[int(a)] < keys[int(b)]; });
      EXPECT_EQ(shuffled_identity(n), want) << "n = " << n << ", seed " << seed;
    }
}

TEST_F(SortFamily, EveryShuffleGetsItsOwnSeed) {
  const Floats first = shuffled_identity(64);
  for (int c = 0; c < 5; ++c) ASSERT_NE(shuffled_identity(64), first) << "call " << c;
  // Four threads drawing at once, faster than the clock ticks: still no seed twice.
  std::vector<unsigned long long> drawn(4 * 20000);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] { std::generate_n(drawn.begin() + t * 20000, 20000, brelmont::next_seed); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(std::set<unsigned long long>(drawn.begin(), drawn.end()).size(), drawn.size());
  // Seeds follow the clock, so that a process started again draws others: once the clock has passed every tick
  // handed out, a seed is the mix of a tick read during its call.
  using namespace std::chrono;
  const auto clock = [] { return duration_cast<nanoseconds>(high_resolution_clock::now().time_since_epoch()).count(); };
  std::this_thread::sleep_for(milliseconds(2));
  const unsigned long long from = clock(), seed = brelmont::next_seed(), to = clock();
  unsigned long long tick = from;
  while (tick <= to && brelmont::mix64(tick) != seed) ++tick;
  EXPECT_LE(tick, to) << "the seed is not the mix of a tick of the clock";
}

// The forward scan from the start's row-major offset; the coordinates of the match, zeros for none.
void expect_search(Ints dims, const Floats& data, Ints start, float value) {
  const int ndims = static_cast<int>(dims.size()), n = static_cast<int>(data.size());
  int p = 0;
  for (int d = 0; d < ndims; ++d) p = p * dims[d] + start[d];
  while (p < n && !(data[p] == value)) ++p;
  Ints want(ndims + 1, kUnwritten), index(ndims + 1, kUnwritten);
  for (int d = ndims - 1, rest = p; d >= 0; rest /= dims[d], --d) want[d] = p < n ? rest % dims[d] : 0;
  DeviceBuffer<float> device(data);
  int found = kUnwritten;
  SGL_SearchNDArray(ndims, n, dims.data(), start.data(), value, device.get(), &found, index.data());
  EXPECT_EQ(found, p < n ? 1 : 0) << ::testing::PrintToString(dims) << " from " << ::testing::PrintToString(start);
  EXPECT_EQ(index, want) << ::testing::PrintToString(dims) << " from " << ::testing::PrintToString(start);
}

TEST_F(SortFamily, SearchScansForwardFromTheStart) {
  const Floats grid = {1, 2, 3, 4, 2, 6}, zeros = {1, -0.0f, 3, kNan, 5, 0}, nans = {1, -0.0f, 3, kNan, 5, kNan};
  using Row = std::tuple<Ints, const Floats*, Ints, float>;  // sizes, data, start, value
  // Matches before, at and after the start; 0 and -0 find each other, NaN nothing; without dimensions (found or
  // not) no index is written.
  for (const auto& [dims, data, start, value] :
       {Row{{2, 3}, &grid, {0, 0}, 2}, Row{{2, 3}, &grid, {0, 2}, 2}, Row{{2, 3}, &grid, {1, 2}, 2},
        Row{{2, 3}, &grid, {1, 1}, 2}, Row{{2, 1, 3}, &grid, {1, 0, 1}, 6}, Row{{6}, &zeros, {0}, 0.0f},
        Row{{6}, &zeros, {2}, -0.0f}, Row{{6}, &nans, {0}, kNan}, Row{{}, &grid, {}, 6}, Row{{}, &grid, {}, 7}})
    expect_search(dims, *data, start, value);
  // Ranges of 2^16, 2^18, 2^20 elements from the start: matches at their edges and in the last one, or none.
  const int n = 1500000;
  Floats ones(n, 1.0f);
  for (int at : {0, 65535, 65536, 65536 + 262143, 65536 + 262144, n - 1}) {
    ones[at] = 2.0f;
    expect_search({1000, 1500}, ones, {0, 0}, 2.0f);
    ones[at] = 1.0f;
  }
  expect_search({n}, ones, {3}, 2.0f);
}

// Where a call differs from the typical one that tests/frame/exports_test.cpp fails step by step for every export:
// refusals and calls with nothing to do make no runtime call; a search reads ranges that grow until a match.
TEST_F(SortFamily, RuntimeCallsBadArgumentsAndFailures) {
  const int n = 1500000;
  DeviceBuffer<float> d(Floats(n, 1.0f)), two(Floats{2, 1});
  int dims[] = {n}, start[] = {0, 0}, index[2] = {kUnwritten, kUnwritten}, found, count, six[] = {2, 3}, far[] = {0, 3},
      below[] = {-1, 0};
  float* out = nullptr;
  // Stand-in statuses of the exports with none: 0 when a match was found or an array made (released here), else 1.
  const auto search = [&](int ndims, int m, int* sizes, int* from, float value, bool with_index = true) {
    found = index[0] = index[1] = kUnwritten;
    SGL_SearchNDArray(ndims, m, sizes, from, value, d.get(), &found, with_index ? index : nullptr);
    return found == 1 ? 0 : found == 0 ? 1 : 2;
  };
  const auto unique = [&](int m, float** to, int* counted) {
    out = d.get(), count = kUnwritten;
    SGL_RemoveDup1DArray(d.get(), m, to, counted);
    EXPECT_EQ(cudaFree(out == d.get() ? nullptr : out), cudaSuccess);
    return (out == nullptr || out == d.get()) && count <= 0 ? 1 : 0;
  };
  // A refusal leaves the array, and an index of a miss (all zeros where written).
  const auto untouched = [&] {
    return std::all_of(index, index + 2, [](int i) { return i == 0 || i == kUnwritten; }) &&
           two.download() == Floats{2, 1};
  };
  const int bad = cudaErrorInvalidValue;
  // A match in the first range searches one range; a miss ranges of 2^16, 2^18, 2^20 and the remaining 123744.
  // Only the searches make runtime calls, and a step of theirs that fails is reported as nothing found.
  const Contract rows[] = {
      {"sort n < 0", {}, [&] { return SGL_SortNDArray(-1, two.get()); }, bad, untouched},
      {"shuffle of one", {}, [&] { return SGL_ShuffleNDArray(1, two.get()); }},
      {"shuffle n < 0", {}, [&] { return SGL_ShuffleNDArray(-1, two.get()); }, bad, untouched},
      {"search, early match", {1, 1, 0, 1, 0, 0, 1, 1}, [&] { return search(1, n, dims, start, 1); }, 0, untouched},
      {"search, miss", {1, 1, 0, 4, 0, 0, 4, 4}, [&] { return search(1, n, dims, start, -1); }, 1},
      {"search for NaN", {}, [&] { return search(1, n, dims, start, kNan); }, 1},
      {"search ndims < 0", {}, [&] { return search(-1, 6, six, start, 1); }, 1, untouched},
      {"search null sizes", {}, [&] { return search(2, 6, nullptr, start, 1); }, 1, untouched},
      {"search null start", {}, [&] { return search(2, 6, six, nullptr, 1); }, 1, untouched},
      {"search null index", {}, [&] { return search(2, 6, six, start, 1, false); }, 1, untouched},
      {"search sizes beyond n", {}, [&] { return search(2, 5, six, start, 1); }, 1, untouched},
      {"search sizes short of n", {}, [&] { return search(2, 7, six, start, 1); }, 1, untouched},
      {"search start past a size", {}, [&] { return search(2, 6, six, far, 1); }, 1, untouched},
      {"search start below 0", {}, [&] { return search(2, 6, six, below, 1); }, 1, untouched},
      {"duplicate removal of none", {}, [&] { return unique(0, &out, &count); }, 1},
      {"duplicate removal n < 0", {}, [&] { return unique(-1, &out, &count); }, 1},
      {"duplicate removal to null", {}, [&] { return unique(2, nullptr, &count); }, 1},
      {"duplicate removal null count", {}, [&] { return unique(2, &out, nullptr); }, 1},
  };
  for (const Contract& row : rows) expect_contract(row, [](cudaError_t) { return 1; });
  SGL_SearchNDArray(2, 6, six, start, 1.0f, d.get(), nullptr, start);  // nothing to report to: no crash
  EXPECT_EQ(start[0], 0);
}

}  // namespace
