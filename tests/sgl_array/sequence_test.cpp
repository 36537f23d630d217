// 1-D sequence operations bit for bit against plain host loops of their rules, across block, group and tile
// boundaries; then the runtime calls, bad arguments and failing steps that differ from a typical call's as rows of
// one contract table.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "cuda_brelmont.h"
#include "support/contract.h"
#include "support/device_buffer.h"
#include "support/same_bits.h"
#include "support/sizes.h"

namespace {

using namespace testing_support;
using Floats = std::vector<float>;

constexpr float kNaN = NAN, kInf = INFINITY, kUnwritten = -12345.0f;

class Sequence : public ExportTest {};

Floats random_values(size_t n, unsigned seed, float low = -100.0f, float high = 100.0f) {
  std::mt19937 rng(seed);
  Floats v(n);
  for (float& x : v) x = std::uniform_real_distribution<float>(low, high)(rng);
  return v;
}

// Decimation into factor sequences, each checked against its loop, then interleaved back (every third from the
// host): the input's first length * factor elements again.
TEST_F(Sequence, DecimationAndInterleavingMatchTheirLoops) {
  for (int n : boundary_sizes())
    for (int factor : {1, 2, 3, 16, 17, 40}) {  // groups of 16 sequences; more sequences than elements
      const Floats input = random_values(n, n);
      const int length = n / factor;
      const std::string what = std::to_string(n) + " by " + std::to_string(factor);
      DeviceBuffer<float> in(input);
      std::vector<float*> slots(factor, in.get()), inputs(factor);  // stale slots: each must be replaced
      ASSERT_EQ(SGL_Decimate1DArray(in.get(), n, factor, slots.data()), cudaSuccess);
      std::vector<Floats> want(factor);
      std::vector<DeviceBuffer<float>> made;
      for (int k = 0; k < factor; ++k) {
        EXPECT_TRUE(length > 0 || slots[k] == nullptr) << what;
        made.push_back(DeviceBuffer<float>::adopt(slots[k], length));
        for (int j = 0; j < length; ++j) want[k].push_back(input[j * factor + k]);
        expect_same_bits("decimate " + what, made.back().download(), want[k]);
        inputs[k] = k % 3 == 1 ? want[k].data() : slots[k];
      }
      if (length == 0) continue;
      float* out = in.get();
      int out_length = -1;
      ASSERT_EQ(SGL_Interleave1DArray(inputs.data(), length, factor, &out, &out_length), cudaSuccess);
      ASSERT_EQ(out_length, length * factor) << what;
      expect_same_bits("interleave " + what, DeviceBuffer<float>::adopt(out, out_length).download(),
                       Floats(input.begin(), input.begin() + out_length));
    }
}

// The export's one result over v on the device.
float result_over(const Floats& v, const std::function<cudaError_t(int, float*, float*)>& call) {
  DeviceBuffer<float> d(v);
  float result = kUnwritten;
  EXPECT_EQ(call(static_cast<int>(v.size()), d.get(), &result), cudaSuccess);
  return result;
}

float interpolate(const Floats& v, float x) {
  return result_over(v, [x](int n, float* d, float* r) { return SGL_Interpolate1DArray(n, x, d, r); });
}

// The interpolation rule step by step: clamped ends, then a * (1 - f) + f * b with the last step fused.
float interpolation_rule(const Floats& v, float x) {
  const int n = static_cast<int>(v.size());
  if (x < 0) return v[0];
  if (x >= static_cast<float>(n - 1)) return v[n - 1];
  if (std::isnan(x)) return kNaN;
  const int i = static_cast<int>(x);
  const float f = x - static_cast<float>(i);
  return std::fmaf(f, v[i + 1], v[i] * (1.0f - f));
}

TEST_F(Sequence, InterpolationWeighsTheTwoNeighbours) {
  const Floats random = random_values(1000, 3), w = {1.0f + 0x1p-23f, 3.0f - 0x1p-22f, -1e30f, 1e-30f}, one = {4.5f};
  const Floats signed_zero = {-0.0f, kInf};  // x = 0 weighs both: 0 * inf is NaN, where input[0] would be -0
  std::mt19937 rng(5);
  std::vector<std::pair<const Floats*, float>> rows = {{&w, -kInf},  {&w, kInf}, {&w, kNaN},
                                                       {&w, 3},      {&one, 0},  {&signed_zero, 0}};
  for (int k = 0; k < 300; ++k) {
    const float x = std::uniform_real_distribution<float>(-2.0f, 1002.0f)(rng);
    rows.push_back({&random, x}), rows.push_back({&w, x / 333.0f});
  }
  for (const auto& [v, x] : rows) EXPECT_SAME_FLOAT(interpolate(*v, x), interpolation_rule(*v, x)) << x;
  // (float)(n - 1) rounds up to 16777220: the largest x below it is 16777218, whose right neighbour is the last.
  Floats longest(16777220, 1.0f);
  longest[16777218] = 2.0f, longest[16777219] = 6.0f;
  EXPECT_SAME_FLOAT(interpolate(longest, 16777218.0f), 2.0f);
  EXPECT_SAME_FLOAT(interpolate(longest, 16777220.0f), 6.0f);
}

float threshold(const Floats& v, float level, int start) {
  return result_over(v, [=](int n, float* d, float* r) { return SGL_Threshold1DArray(n, level, start, d, r); });
}

// The threshold rules as one sequential scan.
float threshold_rule(const Floats& v, float t, int start) {
  const int n = static_cast<int>(v.size());
  if (v[start] >= t) return static_cast<float>(start);
  if (v[n - 1] <= t) return static_cast<float>(n - 1);
  for (int i = start; i + 1 < n; ++i)
    if (v[i] <= t && v[i + 1] >= t) return (float(i + 1) - float(i)) * (t - v[i]) / (v[i + 1] - v[i]) + float(i);
  return kNaN;
}

// Worked rows for what random values seldom hit: elements equal to the level, NaNs, infinities; then random
// trials against the scan.
TEST_F(Sequence, ThresholdFindsTheFirstRisingCrossing) {
  using Row = std::tuple<Floats, float, int, float>;  // values, level, start, the crossing
  for (const auto& [v, level, start, want] :
       {Row{{0, 9, 1, 9}, 5, 0, 5.0f / 9}, Row{{0, 2, 5}, 5, 0, 2}, Row{{0, 4, 4, 9}, 4, 0, 1}, Row{{6, 6, 6}, 6, 1, 1},
        Row{{0, 1, 2, 9}, kNaN, 0, kNaN}, Row{{0, kNaN, kNaN, 9}, 5, 0, kNaN}, Row{{0, kNaN, 4, 9}, 4, 0, 2},
        Row{{-kInf, kInf}, 0, 0, kNaN}})
    EXPECT_SAME_FLOAT(threshold(v, level, start), want) << start << " " << level;
  std::mt19937 rng(11);
  for (int n : {1, 2, 255, 2049, 20000})
    for (int trial = 0; trial < 6; ++trial) {  // one crossing (over a tile edge where there is one), or none; noise
      Floats v =
          trial % 3 == 1 ? random_values(n, trial, -10.0f, 10.0f) : random_values(n, n * 31 + trial, -1.0f, 0.0f);
      const int at = trial == 0 && n > 2048 ? 2048 : std::uniform_int_distribution<int>(0, n - 1)(rng);
      for (int i = at; trial % 3 == 0 && i < n; ++i) v[i] += 2.0f;
      if (trial == 5 && n > 3) v[n / 2] = kNaN;
      if (trial == 2) v[n - 1] = 1.0f;
      for (int start : {0, at, n - 1})
        for (float level : {0.5f, -0.5f, 0.0f})
          EXPECT_SAME_FLOAT(threshold(v, level, start), threshold_rule(v, level, start)) << n << " " << trial;
    }
}

TEST_F(Sequence, ReversalAndRotationMoveElementsUnchanged) {
  std::vector<int> sizes = boundary_sizes();
  sizes.insert(sizes.end(), {3, 65537, 131075});  // one pair to exchange after the reversal; more than 256 blocks
  for (int n : sizes) {
    Floats v = random_values(n, 17 * n), want(v.rbegin(), v.rend());
    DeviceBuffer<float> d(v);
    ASSERT_EQ(SGL_Reverse1DArray(n, d.get()), cudaSuccess);
    expect_same_bits("reverse " + std::to_string(n), d.download(), want);
    for (long long shift : {1LL, -1LL, 2LL, 0LL, -257LL, n + 3LL, -3LL * n - 5, 1LL * INT_MAX, 1LL * INT_MIN}) {
      if (n == 0) break;
      const long long s = ((shift % n) + n) % n;
      for (int i = 0; i < n; ++i) want[i] = v[(i - s + n) % n];
      d.upload(v);
      ASSERT_EQ(SGL_Rotate1DArray(n, static_cast<int>(shift), d.get()), cudaSuccess);
      expect_same_bits("rotate " + std::to_string(n) + " by " + std::to_string(shift), d.download(), want);
    }
  }
}

// Runtime calls, refusals and failing steps where a call differs from the typical one that
// tests/frame/exports_test.cpp fails step by step for every export: many groups, host inputs, empty results.
TEST_F(Sequence, RuntimeCallsBadArgumentsAndFailures) {
  const Floats eight = {0, 1, 2, 3, 4, 5, 6, 7};
  DeviceBuffer<float> data(eight), forty(random_values(40, 40)), remote(eight);
  move_to_other_device(remote.get());
  Floats host = {-1, -2, -3, -4, -5, -6, -7, -8};
  float* const d = data.get();
  float *slots[20], result = kUnwritten, *with_host[2] = {d, host.data()}, *on_device[2] = {d, forty.get()},
                    *with_remote[2] = {d, remote.get()};
  int length = -1;
  const int bad = cudaErrorInvalidValue;
  // Each call starts from null outputs (interleaving's result in slots[0]) and an unwritten result, and releases
  // what a success hands over.
  const auto row = [&](std::string what, CallCounts cost, int status, std::function<cudaError_t()> call) {
    const auto run = [&, call] {
      std::fill(std::begin(slots), std::end(slots), nullptr), result = kUnwritten, length = -1;
      const cudaError_t s = call();
      for (float* p : slots) EXPECT_EQ(cudaFree(p), cudaSuccess);
      return s;
    };
    const auto clean = [&] {
      return length <= 0 && result == kUnwritten && data.download() == eight &&
             std::all_of(std::begin(slots), std::end(slots), [](float* p) { return p == nullptr; });
    };
    return Contract{what, cost, run, status, clean};
  };
  const Contract rows[] = {
      row("decimate by 20: two groups", {20, 20, 0, 0, 0, 0, 1, 2}, 0,
          [&] { return SGL_Decimate1DArray(forty.get(), 40, 20, slots); }),
      row("decimate by 9: empty outputs", {0, 0, 0, 0, 0, 0, 1, 0}, 0,
          [&] { return SGL_Decimate1DArray(d, 8, 9, slots); }),
      row("decimate by -1", {0, 0, 0, 0, 0, 0, 1, 0}, 0, [&] { return SGL_Decimate1DArray(d, 8, -1, slots); }),
      row("decimate by 0", {}, bad, [&] { return SGL_Decimate1DArray(d, 8, 0, slots); }),
      row("decimate n < 0", {}, bad, [&] { return SGL_Decimate1DArray(d, -1, 2, slots); }),
      row("decimate to null", {}, bad, [&] { return SGL_Decimate1DArray(d, 8, 2, nullptr); }),
      row("interleave, no scratch", {1, 1, 0, 0, 0, 0, 1, 1}, 0,
          [&] { return SGL_Interleave1DArray(on_device, 8, 2, slots, &length); }),
      row("interleave a host input", {2, 2, 1, 0, 0, 0, 1, 1}, 0,
          [&] { return SGL_Interleave1DArray(with_host, 8, 2, slots, &length); }),
      row("interleave another device's input", {2, 2, 0, 0, 1, 0, 1, 1}, 0,
          [&] { return SGL_Interleave1DArray(with_remote, 8, 2, slots, &length); }),
      row("interleave nothing", {}, 0, [&] { return SGL_Interleave1DArray(with_host, 0, 2, slots, &length); }),
      row("interleave no inputs", {}, 0, [&] { return SGL_Interleave1DArray(with_host, 5, 0, slots, &length); }),
      row("interleave count < 0", {}, bad, [&] { return SGL_Interleave1DArray(with_host, 4, -1, slots, &length); }),
      row("interleave length < 0", {}, bad, [&] { return SGL_Interleave1DArray(with_host, -4, 2, slots, &length); }),
      row("interleave beyond int", {}, bad,
          [&] { return SGL_Interleave1DArray(with_host, INT_MAX / 2 + 1, 2, slots, &length); }),
      row("interleave null inputs", {}, bad, [&] { return SGL_Interleave1DArray(nullptr, 4, 2, slots, &length); }),
      row("interleave to null", {}, bad, [&] { return SGL_Interleave1DArray(with_host, 4, 2, nullptr, &length); }),
      row("interleave null length", {}, bad, [&] { return SGL_Interleave1DArray(with_host, 4, 2, slots, nullptr); }),
      row("interpolate n = 0", {}, bad, [&] { return SGL_Interpolate1DArray(0, 0.5f, d, &result); }),
      row("interpolate to null", {}, bad, [&] { return SGL_Interpolate1DArray(8, 0.5f, d, nullptr); }),
      row("threshold n = 0", {}, bad, [&] { return SGL_Threshold1DArray(0, 1, 0, d, &result); }),
      row("threshold start < 0", {}, bad, [&] { return SGL_Threshold1DArray(8, 1, -1, d, &result); }),
      row("threshold start = n", {}, bad, [&] { return SGL_Threshold1DArray(8, 1, 8, d, &result); }),
      row("threshold to null", {}, bad, [&] { return SGL_Threshold1DArray(8, 1, 0, d, nullptr); }),
      row("reverse n < 0", {}, bad, [&] { return SGL_Reverse1DArray(-1, d); }),
      row("rotate nothing", {}, 0, [&] { return SGL_Rotate1DArray(0, 3, d); }),
      row("rotate n < 0", {}, bad, [&] { return SGL_Rotate1DArray(INT_MIN, 3, d); }),
  };
  for (const Contract& r : rows) expect_contract(r);
}

}  // namespace
