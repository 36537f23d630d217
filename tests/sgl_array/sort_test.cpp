// Sort, search and duplicate removal against host references written for the test: an order spelled out
// by value class, a forward scan, and a first-occurrence loop over a set of seen values.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"
#include "support/sizes.h"

namespace {

using testing_support::bits;
using testing_support::CallCounts;
using testing_support::DeviceBuffer;
using testing_support::from_bits;
using testing_support::launch_count;
using testing_support::poison_value;

const float kNegativeNan = from_bits(0xffc00000u), kNegativeNanPayload = from_bits(0xff800001u);
const float kNan = from_bits(0x7fc00000u), kNanPayload = from_bits(0x7f800001u);

// Random floats salted with both zeros, both infinities and NaNs of both signs and two payloads each.
std::vector<float> salted(std::mt19937& rng, int n) {
  const float salt[] = {0.0f, -0.0f, INFINITY, -INFINITY, kNan, kNanPayload, kNegativeNan, kNegativeNanPayload};
  std::uniform_real_distribution<float> value(-100.0f, 100.0f);
  std::vector<float> v(n);
  for (float& x : v) x = rng() % 8 == 0 ? salt[rng() % 8] : (rng() % 2 ? value(rng) : std::round(value(rng)));
  return v;
}

// The array holds data, bit for bit.
void expect_unchanged(const DeviceBuffer<float>& d, const std::vector<float>& data, const char* what) {
  const std::vector<float> got = d.download();
  for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(bits(got[i]), bits(data[i])) << what << ": element " << i;
}

// ---- Sort ----

// The order by value class: sign-set NaNs (by bits, descending), numbers by value (-0 and +0 equal), sign-clear
// NaNs (by bits, ascending). Stable.
std::vector<float> reference_sort(std::vector<float> v) {
  const auto group = [](float x) { return std::isnan(x) ? (std::signbit(x) ? 0 : 2) : 1; };
  std::stable_sort(v.begin(), v.end(), [&](float a, float b) {
    if (group(a) != group(b)) return group(a) < group(b);
    if (group(a) == 0) return bits(a) > bits(b);
    if (group(a) == 2) return bits(a) < bits(b);
    return a < b;
  });
  return v;
}

// Sorts the first n elements of data and checks every element's bits, those past n untouched.
void expect_sorts(const std::vector<float>& data, int n) {
  DeviceBuffer<float> d(data);
  ASSERT_EQ(SGL_SortNDArray(n, d.get()), cudaSuccess) << "n = " << n;
  std::vector<float> want = reference_sort(std::vector<float>(data.begin(), data.begin() + n));
  want.insert(want.end(), data.begin() + n, data.end());
  const std::vector<float> got = d.download();
  for (size_t i = 0; i < want.size(); ++i)
    ASSERT_EQ(bits(got[i]), bits(want[i])) << "element " << i << " of n = " << n << " (array of " << data.size() << ")";
}

class Sort : public testing_support::ExportTest {};

TEST_F(Sort, ListedCasesKeepBitsAndTheOrderOfEqualZeros) {
  const std::vector<std::vector<float>> rows = {
      {3, -1, 2, -0.0f, 0.0f, -5},
      {0.0f, -0.0f},
      {-0.0f, 1, 0.0f, -0.0f, -1, 0.0f},
      {kNan, INFINITY, -1, kNegativeNan, -INFINITY, 0.5f, kNanPayload, kNegativeNanPayload},
      {7, 7, 7},
  };
  for (const auto& row : rows) expect_sorts(row, static_cast<int>(row.size()));
}

TEST_F(Sort, RandomSaltedDataInPlaceAndOnlyTheFirstN) {
  std::mt19937 rng(5);
  for (int n : testing_support::boundary_sizes()) {
    expect_sorts(salted(rng, n), n);
    if (n >= 2) expect_sorts(salted(rng, n + 7), n);
  }
}

TEST_F(Sort, NothingToSortAndNegativeCounts) {
  DeviceBuffer<float> d(std::vector<float>{2, 1});
  const unsigned long long launches = launch_count();
  EXPECT_EQ(SGL_SortNDArray(1, d.get()), cudaSuccess);
  EXPECT_EQ(SGL_SortNDArray(0, d.get()), cudaSuccess);
  EXPECT_EQ(SGL_SortNDArray(-1, d.get()), cudaErrorInvalidValue);
  EXPECT_EQ(SGL_SortNDArray(INT_MIN, d.get()), cudaErrorInvalidValue);
  EXPECT_EQ(launch_count(), launches);
  EXPECT_EQ(d.download(), (std::vector<float>{2, 1}));
}

// ---- Search ----

constexpr int kUnwritten = -77;

struct SearchCase {
  std::vector<int> dims;
  std::vector<float> data;
  std::vector<int> start;
  float value;
};

// The forward scan from the start's linear offset, and the index of the match (of n when there is none).
void expect_search(const SearchCase& c, const char* what) {
  const int ndims = static_cast<int>(c.dims.size()), n = static_cast<int>(c.data.size());
  int offset = 0, stride = 1;
  for (int d = ndims - 1; d >= 0; --d) {
    offset += c.start[d] * stride;
    stride *= c.dims[d];
  }
  int p = offset;
  while (p < n && !(c.data[p] == c.value)) ++p;
  std::vector<int> want(ndims);
  for (int d = ndims - 1, rest = p; d >= 0; --d) {
    want[d] = rest % c.dims[d];
    rest /= c.dims[d];
  }

  DeviceBuffer<float> d(c.data);
  std::vector<int> dims = c.dims, start = c.start, index(ndims + 1, kUnwritten);
  int found = kUnwritten;
  SGL_SearchNDArray(ndims, n, dims.data(), start.data(), c.value, d.get(), &found, index.data());
  EXPECT_EQ(found, p < n ? 1 : 0) << what;
  EXPECT_EQ(std::vector<int>(index.begin(), index.begin() + ndims), want) << what;
  EXPECT_EQ(index[ndims], kUnwritten) << what << ": wrote past ndims";
}

class Search : public testing_support::ExportTest {};

TEST_F(Search, ListedCases) {
  const std::vector<float> grid = {1, 2, 3, 4, 2, 6};
  const SearchCase rows[] = {
      {{2, 3}, grid, {0, 0}, 2},  // (0, 1)
      {{2, 3}, grid, {0, 2}, 2},  // (1, 1)
      {{2, 3}, grid, {1, 2}, 2},  // a miss: all zeros
      {{2, 3}, grid, {1, 1}, 2},  // the start itself
      {{6}, {1, -0.0f, 3, kNan, 5, 0}, {0}, 0.0f},  // 0.0 finds -0.0
      {{6}, {1, -0.0f, 3, kNan, 5, 0}, {2}, -0.0f},  // and -0.0 finds 0.0
      {{6}, {1, -0.0f, 3, kNan, 5, kNan}, {0}, kNan},  // NaN finds nothing
      {{2, 1, 3}, grid, {1, 0, 0}, 6},
  };
  for (const auto& row : rows) expect_search(row, ::testing::PrintToString(row.dims).c_str());
}

TEST_F(Search, RandomShapesAndStartsAgainstAForwardScan) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 60; ++trial) {
    SearchCase c;
    const int ndims = 1 + static_cast<int>(rng() % 4);
    int n = 1;
    for (int d = 0; d < ndims; ++d) {
      c.dims.push_back(1 + static_cast<int>(rng() % 7));
      c.start.push_back(static_cast<int>(rng() % c.dims.back()));
      n *= c.dims.back();
    }
    for (int i = 0; i < n; ++i) c.data.push_back(static_cast<float>(rng() % 6));
    c.value = static_cast<float>(rng() % 7);  // 6 is never there
    expect_search(c, "random");
  }
}

TEST_F(Search, MatchesAcrossTheGrowingRanges) {
  // Ranges of 2^16, 2^18, 2^20 elements from the start: matches at their edges and in the last one.
  const int n = 1500000;
  for (int at : {0, 65535, 65536, 65536 + 262143, 65536 + 262144, n - 1}) {
    std::vector<float> data(n, 1.0f);
    data[at] = 2.0f;
    expect_search({{n}, data, {0}, 2.0f}, "one dimension");
    expect_search({{1000, 1500}, data, {at / 1500, at % 1500}, 2.0f}, "from the match itself");
  }
  expect_search({{n}, std::vector<float>(n, 1.0f), {3}, 2.0f}, "a miss");
}

TEST_F(Search, NoDimensionsSearchFromTheFirstElementAndLeaveTheIndex) {
  DeviceBuffer<float> d(std::vector<float>{5, 4, 3});
  int index = kUnwritten, found = kUnwritten;
  for (const auto& row : std::vector<std::pair<float, int>>{{3, 1}, {5, 1}, {9, 0}}) {
    SGL_SearchNDArray(0, 3, nullptr, nullptr, row.first, d.get(), &found, nullptr);
    EXPECT_EQ(found, row.second) << row.first;
    SGL_SearchNDArray(0, 3, nullptr, nullptr, row.first, d.get(), &found, &index);
    EXPECT_EQ(index, kUnwritten);
  }
  SGL_SearchNDArray(0, 0, nullptr, nullptr, 1.0f, nullptr, &found, &index);
  EXPECT_EQ(found, 0);
}

TEST_F(Search, ArgumentsOutsideTheContractReportNotFoundWithoutDeviceWork) {
  DeviceBuffer<float> d(std::vector<float>{1, 2, 3, 4, 5, 6});
  int dims[] = {2, 3}, bad_dims[] = {3, 3}, negative_dims[] = {-2, -3};
  int start[] = {0, 0}, outside[] = {0, 3}, below[] = {-1, 0};
  struct Row {
    int ndims, n;
    int* dims;
    int* start;
    bool index;
  } rows[] = {
      {2, -1, dims, start, true},        {-1, 6, dims, start, true},  {2, 6, nullptr, start, true},
      {2, 6, dims, nullptr, true},       {2, 6, dims, start, false},  {2, 6, bad_dims, start, true},
      {2, 6, negative_dims, start, true}, {2, 6, dims, outside, true}, {2, 6, dims, below, true},
      {2, 5, dims, start, true},         {2, 7, dims, start, true},
  };
  const unsigned long long launches = launch_count();
  for (const Row& row : rows) {
    int found = kUnwritten, index[2] = {kUnwritten, kUnwritten};
    SGL_SearchNDArray(row.ndims, row.n, row.dims, row.start, 1.0f, d.get(), &found, row.index ? index : nullptr);
    EXPECT_EQ(found, 0) << row.ndims << " " << row.n;
    EXPECT_EQ(index[0], kUnwritten);
    EXPECT_EQ(index[1], kUnwritten);
  }
  SGL_SearchNDArray(2, 6, dims, start, 1.0f, d.get(), nullptr, start);  // nothing to report to: no crash
  EXPECT_EQ(start[0], 0);
  EXPECT_EQ(launch_count(), launches);
}

// ---- Duplicate removal ----

// First occurrences by a forward loop over a set of the values seen (-0 stored as +0); NaNs always kept.
std::vector<float> reference_unique(const std::vector<float>& v) {
  std::set<uint32_t> seen;
  std::vector<float> kept;
  for (float x : v) {
    if (std::isnan(x)) {
      kept.push_back(x);
    } else if (seen.insert(bits(x == 0.0f ? 0.0f : x)).second) {
      kept.push_back(x);
    }
  }
  return kept;
}

void expect_unique(const std::vector<float>& data, const char* what) {
  DeviceBuffer<float> d(data);
  float* out = poison_value<float*>();
  int count = kUnwritten;
  SGL_RemoveDup1DArray(d.get(), static_cast<int>(data.size()), &out, &count);
  DeviceBuffer<float> result = DeviceBuffer<float>::adopt(out, count > 0 ? count : 0);
  const std::vector<float> want = reference_unique(data);
  ASSERT_EQ(count, static_cast<int>(want.size())) << what;
  if (want.empty()) EXPECT_EQ(out, nullptr);
  const std::vector<float> got = result.download();
  for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(bits(got[i]), bits(want[i])) << what << ": element " << i;
  expect_unchanged(d, data, what);  // the input is only read
}

class RemoveDuplicates : public testing_support::ExportTest {};

TEST_F(RemoveDuplicates, ListedCases) {
  expect_unique({3, 1, 3, 2, 1}, "[3, 1, 3, 2, 1]");
  expect_unique({0.0f, -0.0f, 5}, "+0 first");
  expect_unique({-0.0f, 5, 0.0f}, "-0 first");
  expect_unique({kNan, kNan}, "NaNs");
  expect_unique({kNan, 1, kNegativeNan, 1, kNan}, "NaNs among numbers");
  expect_unique({}, "empty");
  expect_unique({4}, "one element");
}

TEST_F(RemoveDuplicates, FewManyAndAllDistinctValuesAgainstAFirstOccurrenceLoop) {
  std::mt19937 rng(23);
  for (int n : testing_support::boundary_sizes()) {
    for (unsigned distinct : {16u, 4096u}) {
      std::vector<float> v(n);
      for (float& x : v) x = static_cast<float>(static_cast<int>(rng() % distinct) - static_cast<int>(distinct / 2));
      for (int k = 0; k < n / 50; ++k) v[rng() % n] = rng() % 2 ? -0.0f : kNan;
      expect_unique(v, "few or many");
    }
    expect_unique(salted(rng, n), "salted");
    std::vector<float> all(n);
    for (int i = 0; i < n; ++i) all[i] = static_cast<float>((i * 7919) % (n + 1)) - n / 2.0f;
    expect_unique(all, "all distinct");
  }
}

TEST_F(RemoveDuplicates, ArgumentsOutsideTheContractGiveNothing) {
  DeviceBuffer<float> d(std::vector<float>{1, 1});
  const unsigned long long launches = launch_count();
  float* out = poison_value<float*>();
  int count = kUnwritten;
  SGL_RemoveDup1DArray(d.get(), -1, &out, &count);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(count, 0);
  count = kUnwritten;
  SGL_RemoveDup1DArray(d.get(), 2, nullptr, &count);
  EXPECT_EQ(count, 0);
  out = poison_value<float*>();
  SGL_RemoveDup1DArray(d.get(), 2, &out, nullptr);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(launch_count(), launches);
}

// ---- Runtime calls and failures, for the whole family ----

// One call of an export on prepared arrays, and whether its outcome is a success.
struct Call {
  const char* name;
  std::function<bool()> run;
};

class SortFamily : public testing_support::ExportTest {};

TEST_F(SortFamily, RuntimeCallsPerExport) {
  REQUIRE_RUNTIME_HOOKS();
  const int n = 1500000;
  std::vector<float> ramp(n);
  for (int i = 0; i < n; ++i) ramp[i] = static_cast<float>(i % 1000);
  DeviceBuffer<float> d(ramp);
  int dims[] = {n}, start[] = {0}, index[1], found = 0, count = 0;
  float* out = nullptr;
  const struct {
    const char* what;
    std::function<void()> call;
    CallCounts want;  // alloc, free, h2d, d2h, d2d, memset, sync, launch
  } rows[] = {
      // Scratch of n floats, one sort, its result copied back from the scratch half.
      {"sort", [&] { SGL_SortNDArray(1000, d.get()); }, {1, 1, 0, 0, 1, 0, 0, 1}},
      {"sort of one", [&] { SGL_SortNDArray(1, d.get()); }, {}},
      // A match in the first range: one range searched, one result copied, whatever n.
      {"search, early match", [&] { SGL_SearchNDArray(1, n, dims, start, 5.0f, d.get(), &found, index); },
       {1, 1, 0, 1, 0, 0, 0, 1}},
      // A miss: ranges of 2^16, 2^18, 2^20 and the remaining 123744 elements, no copy of the array.
      {"search, miss", [&] { SGL_SearchNDArray(1, n, dims, start, -1.0f, d.get(), &found, index); },
       {1, 1, 0, 4, 0, 0, 0, 4}},
      {"search for NaN", [&] { SGL_SearchNDArray(1, n, dims, start, kNan, d.get(), &found, index); }, {}},
      // Keys, alternate keys, positions, alternate positions, the count and the result; the input copied to the
      // keys and the selection to the result; numbering, sort, marks and selection.
      {"duplicate removal", [&] { SGL_RemoveDup1DArray(d.get(), 5000, &out, &count); cudaFree(out); },
       {6, 6, 0, 1, 2, 0, 0, 4}},
      {"duplicate removal of nothing", [&] { SGL_RemoveDup1DArray(d.get(), 0, &out, &count); }, {}},
      // Two halves of keys and one of values; keys drawn, pairs sorted, values copied back.
      {"shuffle", [&] { SGL_ShuffleNDArray(1000, d.get()); }, {3, 3, 0, 0, 1, 0, 0, 2}},
      {"shuffle of one", [&] { SGL_ShuffleNDArray(1, d.get()); }, {}},
  };
  for (const auto& row : rows) EXPECT_EQ(testing_support::calls_during(row.call), row.want) << row.what;
  EXPECT_EQ(count, 0);
  EXPECT_EQ(found, 0);
}

TEST_F(SortFamily, EachFailedAllocationOrLaunchIsReportedWithNothingLeaked) {
  REQUIRE_RUNTIME_HOOKS();
  std::mt19937 rng(41);
  const std::vector<float> data = salted(rng, 3000);
  DeviceBuffer<float> d(data);
  int dims[] = {3000}, start[] = {0}, index[1] = {kUnwritten}, found = kUnwritten, count = kUnwritten;
  float* out = nullptr;
  const float last = data.back();
  const Call calls[] = {
      {"sort", [&] { return SGL_SortNDArray(3000, d.get()) == cudaSuccess; }},
      {"shuffle", [&] { return SGL_ShuffleNDArray(3000, d.get()) == cudaSuccess; }},
      {"search", [&] {
         SGL_SearchNDArray(1, 3000, dims, start, last, d.get(), &found, index);
         return found == 1;
       }},
      {"duplicate removal", [&] {
         SGL_RemoveDup1DArray(d.get(), 3000, &out, &count);
         const bool made = out != nullptr && count > 0;
         EXPECT_TRUE(made || (out == nullptr && count == 0));
         cudaFree(out);
         return made;
       }},
  };
  for (const Call& call : calls) {
    d.upload(data);
    const CallCounts clean = testing_support::calls_during([&] { ASSERT_TRUE(call.run()) << call.name; });
    ASSERT_GT(clean.allocations, 0u);
    for (unsigned long long k = 1; k <= clean.allocations; ++k) {
      d.upload(data);
      index[0] = kUnwritten;
      testing_support::fail_allocation(static_cast<int>(k));
      EXPECT_FALSE(call.run()) << call.name << ": allocation " << k;
      EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);
      EXPECT_EQ(index[0], kUnwritten) << call.name;
      expect_unchanged(d, data, call.name);
    }
    for (unsigned long long k = 1; k <= clean.launches; ++k) {
      d.upload(data);
      index[0] = kUnwritten;
      testing_support::fail_launch(static_cast<int>(k), cudaErrorLaunchFailure);
      EXPECT_FALSE(call.run()) << call.name << ": launch " << k;
      EXPECT_EQ(cudaGetLastError(), cudaErrorLaunchFailure);
      EXPECT_EQ(index[0], kUnwritten) << call.name;
      expect_unchanged(d, data, call.name);
    }
  }
}

}  // namespace
