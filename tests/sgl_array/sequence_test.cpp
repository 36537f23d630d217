// 1-D sequence operations against plain host loops of their rules, bit for bit, across block and tile
// boundaries; bad arguments, failure injection and the runtime calls each export makes.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/floats.h"
#include "support/runtime.h"
#include "support/sizes.h"

namespace {

using testing_support::bits;
using testing_support::boundary_sizes;
using testing_support::CallCounts;
using testing_support::calls_during;
using testing_support::DeviceBuffer;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kUnwritten = -12345.0f;

class Sequence : public testing_support::ExportTest {};

std::vector<float> random_values(size_t n, unsigned seed, float low = -100.0f, float high = 100.0f) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> value(low, high);
  std::vector<float> v(n);
  for (float& x : v) x = value(generator);
  return v;
}

// Every element equal bit for bit (NaNs: any NaN).
void expect_same(const std::vector<float>& got, const std::vector<float>& expected, const std::string& what) {
  ASSERT_EQ(got.size(), expected.size()) << what;
  for (size_t i = 0; i < got.size(); ++i) {
    if (!testing_support::same_float(got[i], expected[i])) {
      ADD_FAILURE() << what << ": element " << i << " is " << got[i] << ", expected " << expected[i];
      return;
    }
  }
}

// ---- Decimate and interleave -------------------------------------------------------------------------

// Runs the decimation and downloads its outputs (released here).
std::vector<std::vector<float>> decimate(const std::vector<float>& input, int factor, cudaError_t expected_status) {
  DeviceBuffer<float> in(input);
  const int n = static_cast<int>(input.size());
  std::vector<float*> slots(factor, reinterpret_cast<float*>(&in));  // stale values the export must replace
  EXPECT_EQ(SGL_Decimate1DArray(in.get(), n, factor, slots.data()), expected_status) << "n " << n << ", factor " << factor;
  std::vector<std::vector<float>> outputs;
  for (float* slot : slots) {
    if (n / factor == 0 || expected_status != cudaSuccess) {
      EXPECT_EQ(slot, nullptr);
      continue;
    }
    outputs.push_back(DeviceBuffer<float>::adopt(slot, n / factor).download());
  }
  return outputs;
}

TEST_F(Sequence, DecimationTakesEveryFactorthElementAtEachOffset) {
  const std::vector<float> ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const auto by3 = decimate(ten, 3, cudaSuccess);
  ASSERT_EQ(by3.size(), 3u);
  EXPECT_EQ(by3[0], (std::vector<float>{0, 3, 6}));
  EXPECT_EQ(by3[1], (std::vector<float>{1, 4, 7}));
  EXPECT_EQ(by3[2], (std::vector<float>{2, 5, 8}));
  expect_same(decimate(ten, 1, cudaSuccess).at(0), ten, "factor 1 copies");
  EXPECT_TRUE(decimate(ten, 11, cudaSuccess).empty());  // factor > n: every slot null

  for (int n : boundary_sizes()) {
    const std::vector<float> input = random_values(n, n);
    for (int factor : {2, 3, 4, 8, 16, 17, 40}) {
      const auto outputs = decimate(input, factor, cudaSuccess);
      for (size_t k = 0; k < outputs.size(); ++k) {
        std::vector<float> expected;
        for (int j = 0; j < n / factor; ++j) expected.push_back(input[j * factor + k]);
        expect_same(outputs[k], expected, "n " + std::to_string(n) + ", factor " + std::to_string(factor));
      }
    }
  }
}

enum class Where { kDevice, kHost, kMixed };

// Interleaves the sequences, each held in device or host memory as where says, and downloads the result.
std::vector<float> interleave(const std::vector<std::vector<float>>& sequences, int length, Where where) {
  std::vector<DeviceBuffer<float>> on_device;
  std::vector<std::vector<float>> on_host;
  std::vector<float*> inputs;
  on_host.reserve(sequences.size());
  for (size_t k = 0; k < sequences.size(); ++k) {
    const bool device = where == Where::kDevice || (where == Where::kMixed && k % 3 != 1);
    if (device) {
      on_device.emplace_back(sequences[k]);
      inputs.push_back(on_device.back().get());
    } else {
      on_host.push_back(sequences[k]);
      inputs.push_back(on_host.back().data());
    }
  }
  float* output = reinterpret_cast<float*>(&on_host);
  int out_length = -1;
  const int count = static_cast<int>(sequences.size());
  EXPECT_EQ(SGL_Interleave1DArray(inputs.data(), length, count, &output, &out_length), cudaSuccess);
  EXPECT_EQ(out_length, length * count);
  if (length * count == 0) {
    EXPECT_EQ(output, nullptr);
    return {};
  }
  return DeviceBuffer<float>::adopt(output, out_length).download();
}

TEST_F(Sequence, InterleavingTakesTheJthElementOfEveryInputInTurn) {
  EXPECT_EQ(interleave({{1, 2, 3}, {10, 20, 30}}, 3, Where::kDevice), (std::vector<float>{1, 10, 2, 20, 3, 30}));
  EXPECT_EQ(interleave({{1, 2, 3}, {10, 20, 30}}, 3, Where::kHost), (std::vector<float>{1, 10, 2, 20, 3, 30}));
  EXPECT_EQ(interleave({{-0.0f, 7}}, 2, Where::kDevice), (std::vector<float>{-0.0f, 7}));  // count 1: a copy
  // Nothing to interleave: success, a null output and length 0.
  float one = 1.0f;
  float* both[2] = {&one, &one};
  float* output = &one;
  int out_length = -1;
  EXPECT_EQ(SGL_Interleave1DArray(both, 0, 2, &output, &out_length), cudaSuccess);
  EXPECT_EQ(output, nullptr);
  EXPECT_EQ(out_length, 0);
  EXPECT_EQ(SGL_Interleave1DArray(both, 5, 0, &output, &out_length), cudaSuccess);
  EXPECT_EQ(out_length, 0);

  for (int length : {1, 255, 256, 257, 1025}) {
    for (int count : {2, 3, 16, 17, 40}) {
      std::vector<std::vector<float>> sequences;
      for (int k = 0; k < count; ++k) sequences.push_back(random_values(length, 1000 * length + k));
      std::vector<float> expected(static_cast<size_t>(length) * count);
      for (int j = 0; j < length; ++j)
        for (int k = 0; k < count; ++k) expected[static_cast<size_t>(j) * count + k] = sequences[k][j];
      for (Where where : {Where::kDevice, Where::kHost, Where::kMixed}) {
        expect_same(interleave(sequences, length, where), expected,
                    "length " + std::to_string(length) + ", count " + std::to_string(count) + ", where " +
                        std::to_string(static_cast<int>(where)));
      }
    }
  }
}

TEST_F(Sequence, InterleavingADecimationGivesBackTheWholePeriods) {
  for (int n : {20, 513, 65539}) {
    const std::vector<float> input = random_values(n, 7 * n);
    for (int factor : {2, 4, 8, 19}) {
      const auto parts = decimate(input, factor, cudaSuccess);
      ASSERT_EQ(parts.size(), static_cast<size_t>(factor));
      const std::vector<float> whole(input.begin(), input.begin() + (n / factor) * factor);
      expect_same(interleave(parts, n / factor, Where::kMixed), whole, "n " + std::to_string(n));
    }
  }
}

// ---- Interpolate and threshold ----------------------------------------------------------------------

float interpolate(const std::vector<float>& data, float x) {
  DeviceBuffer<float> d(data);
  float result = kUnwritten;
  EXPECT_EQ(SGL_Interpolate1DArray(static_cast<int>(data.size()), x, d.get(), &result), cudaSuccess);
  return result;
}

// The interpolation rule, step by step.
float interpolation_rule(const std::vector<float>& v, float x) {
  const int n = static_cast<int>(v.size());
  if (x < 0) return v[0];
  if (x >= static_cast<float>(n - 1)) return v[n - 1];
  if (std::isnan(x)) return kNaN;
  const int i = static_cast<int>(x);
  const float f = x - static_cast<float>(i);
  const float left = v[i] * (1.0f - f);
  return std::fmaf(f, v[i + 1], left);
}

TEST_F(Sequence, InterpolationWeighsTheTwoNeighbours) {
  const std::vector<float> v = {10, 20, 30};
  struct Row {
    float x, expected;
  };
  for (Row r : std::vector<Row>{{-0.5f, 10}, {0.5f, 15}, {1, 20}, {2, 30}, {7, 30}, {-kInf, 10}, {kInf, 30}, {kNaN, kNaN}}) {
    EXPECT_SAME_FLOAT(interpolate(v, r.x), r.expected) << r.x;
  }
  EXPECT_SAME_FLOAT(interpolate({4.5f}, 0.0f), 4.5f);
  EXPECT_SAME_FLOAT(interpolate({4.5f}, kNaN), kNaN);  // nothing past the one element is read
  // The fused step shows: f * b rounded once with the product a * (1 - f).
  const std::vector<float> w = {1.0f + 0x1p-23f, 3.0f - 0x1p-22f, -1e30f, 1e-30f};
  const std::vector<float> random = random_values(1000, 3);
  std::mt19937 generator(5);
  std::uniform_real_distribution<float> position(-2.0f, 1002.0f);
  for (int k = 0; k < 300; ++k) {
    const float x = position(generator);
    EXPECT_SAME_FLOAT(interpolate(random, x), interpolation_rule(random, x)) << x;
    const float y = x / 333.0f;
    EXPECT_SAME_FLOAT(interpolate(w, y), interpolation_rule(w, y)) << y;
  }
}

TEST_F(Sequence, InterpolationNearTheEndOfALongArrayStaysInside) {
  // (float)(n - 1) rounds up to 16777220: the largest x below it is 16777218, whose right neighbour is the last.
  const int n = 16777220;
  std::vector<float> v(n, 1.0f);
  v[n - 2] = 2.0f;
  v[n - 1] = 6.0f;
  EXPECT_SAME_FLOAT(interpolate(v, 16777218.0f), 2.0f);
  EXPECT_SAME_FLOAT(interpolate(v, 16777220.0f), 6.0f);
}

float threshold(const std::vector<float>& data, float level, int start) {
  DeviceBuffer<float> d(data);
  float result = kUnwritten;
  EXPECT_EQ(SGL_Threshold1DArray(static_cast<int>(data.size()), level, start, d.get(), &result), cudaSuccess);
  return result;
}

// The threshold rules as one sequential scan.
float threshold_rule(const std::vector<float>& v, float t, int start) {
  const int n = static_cast<int>(v.size());
  if (v[start] >= t) return static_cast<float>(start);
  if (v[n - 1] <= t) return static_cast<float>(n - 1);
  for (int i = start; i + 1 < n; ++i) {
    if (v[i] <= t && v[i + 1] >= t) {
      const float fi = static_cast<float>(i), fi1 = static_cast<float>(i + 1);
      const float scaled = (fi1 - fi) * (t - v[i]);
      return scaled / (v[i + 1] - v[i]) + fi;
    }
  }
  return kNaN;
}

TEST_F(Sequence, ThresholdFindsTheFirstRisingCrossing) {
  struct Row {
    std::vector<float> v;
    float level;
    int start;
    float expected;
  };
  const std::vector<Row> rows = {
      {{0, 2, 4, 6, 8}, 5, 0, 2.5f},
      {{0, 2, 4, 6, 8}, 5, 3, 3},            // input[3] already meets it
      {{0, 10, 0}, 5, 0, 2},                  // the last element does not exceed it
      {{0, 2, 5}, 5, 0, 2},                   // the last element equals it
      {{0, 1, 9}, 5, 2, 2},                   // start is the last element and meets it
      {{0, 9, 1, 9}, 5, 0, 5.0f / 9},         // the first of two crossings
      {{0, 4, 4, 9}, 4, 0, 1},                // equal to the threshold at the crossing
      {{0, 1, 2, 9}, kNaN, 0, kNaN},          // a NaN threshold: no rule applies
      {{0, kNaN, kNaN, 9}, 5, 0, kNaN},       // NaNs hide the only crossing
      {{0, kNaN, 3, 9}, 5, 0, 2 + 2.0f / 6},  // past the NaN
      {{-kInf, kInf}, 0, 0, kNaN},            // inf / inf
      {{1, 7}, 3, 0, 1.0f / 3},
      {{6, 6, 6}, 6, 1, 1},
  };
  for (const Row& r : rows) {
    EXPECT_SAME_FLOAT(threshold(r.v, r.level, r.start), r.expected) << "start " << r.start << ", level " << r.level;
    EXPECT_SAME_FLOAT(r.expected, threshold_rule(r.v, r.level, r.start)) << "the reference itself";
  }
}

TEST_F(Sequence, ThresholdAgreesWithTheSequentialScanOnRandomData) {
  std::mt19937 generator(11);
  for (int n : {1, 2, 3, 255, 2049, 4097, 20000}) {
    for (int trial = 0; trial < 6; ++trial) {
      // Rising or falling data, or a single crossing placed near the end, a tile boundary or the start.
      std::vector<float> v = random_values(n, n * 31 + trial, -1.0f, 0.0f);
      const int at = std::uniform_int_distribution<int>(0, n - 1)(generator);
      if (trial % 3 == 0)
        for (int i = at; i < n; ++i) v[i] += 2.0f;
      if (trial % 3 == 1) v = random_values(n, trial, -10.0f, 10.0f);
      if (trial == 5 && n > 3) v[n / 2] = kNaN;
      if (trial == 2) v[n - 1] = 1.0f;
      for (int start : {0, at, n - 1}) {
        for (float level : {0.5f, -0.5f, 0.0f}) {
          EXPECT_SAME_FLOAT(threshold(v, level, start), threshold_rule(v, level, start))
              << "n " << n << ", trial " << trial << ", start " << start << ", level " << level;
        }
      }
    }
  }
}

TEST_F(Sequence, ThresholdCrossingJustBelowTheLastElementOfALongArray) {
  const int n = 2048 * 40 + 3;  // forty tiles and a bit
  std::vector<float> v(n, -1.0f);
  v[n - 1] = 3.0f;
  EXPECT_SAME_FLOAT(threshold(v, 1.0f, 5), static_cast<float>(n - 2) + 0.5f);
  v[2048] = 3.0f;  // an earlier crossing, from the last index of the first tile to the first of the second
  EXPECT_SAME_FLOAT(threshold(v, 1.0f, 0), 2047.5f);
  EXPECT_SAME_FLOAT(threshold(v, 1.0f, 2048), 2048.0f);
}

// ---- Reverse and rotate ------------------------------------------------------------------------------

std::vector<float> reversed(std::vector<float> v) {
  DeviceBuffer<float> d(v);
  EXPECT_EQ(SGL_Reverse1DArray(static_cast<int>(v.size()), d.get()), cudaSuccess);
  return d.download();
}

std::vector<float> rotated(const std::vector<float>& v, int shift) {
  DeviceBuffer<float> d(v);
  EXPECT_EQ(SGL_Rotate1DArray(static_cast<int>(v.size()), shift, d.get()), cudaSuccess);
  return d.download();
}

TEST_F(Sequence, ReversalAndRotationMoveElementsUnchanged) {
  EXPECT_EQ(reversed({1.5f, 2.5f, 3.5f}), (std::vector<float>{3.5f, 2.5f, 1.5f}));
  EXPECT_EQ(reversed({1.5f}), (std::vector<float>{1.5f}));
  const std::vector<float> five = {1, 2, 3, 4, 5};
  EXPECT_EQ(rotated(five, 2), (std::vector<float>{4, 5, 1, 2, 3}));
  EXPECT_EQ(rotated(five, -1), (std::vector<float>{2, 3, 4, 5, 1}));
  EXPECT_EQ(rotated(five, 7), rotated(five, 2));
  EXPECT_EQ(rotated(five, 0), five);
  EXPECT_EQ(rotated(five, 5), five);
  EXPECT_EQ(rotated({0.25f, 0.75f}, 1), (std::vector<float>{0.75f, 0.25f}));

  std::vector<int> sizes = boundary_sizes();
  sizes.insert(sizes.end(), {65537, 131075});  // more than 256 blocks of 256 threads
  for (int n : sizes) {
    std::vector<float> v = random_values(n, 17 * n);
    if (n > 2) v[1] = kNaN;
    std::vector<float> expected(v.rbegin(), v.rend());
    expect_same(reversed(v), expected, "reverse " + std::to_string(n));
    if (n == 0) continue;
    for (long long shift : {1LL, -1LL, 2LL, 255LL, -257LL, n - 1LL, n + 3LL, -3LL * n - 5, 1LL * INT_MAX, 1LL * INT_MIN}) {
      const long long s = ((shift % n) + n) % n;
      for (int i = 0; i < n; ++i) expected[i] = v[(i - s + n) % n];
      expect_same(rotated(v, static_cast<int>(shift)), expected,
                  "rotate " + std::to_string(n) + " by " + std::to_string(shift));
    }
  }
}

// ---- Arguments, failures and runtime calls ------------------------------------------------------------

// A call of one export on small arrays prepared by the fixture below.
struct Call {
  const char* what;
  std::function<cudaError_t()> run;
};

class SequenceCalls : public Sequence {
 protected:
  DeviceBuffer<float> data_{std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7}};
  DeviceBuffer<float> other_{std::vector<float>{8, 9, 10, 11, 12, 13, 14, 15}};
  DeviceBuffer<float> long_{random_values(40, 40)};
  std::vector<float> host_ = {-1, -2, -3, -4, -5, -6, -7, -8};
  float* slots_[20] = {};
  float* device_inputs_[2] = {data_.get(), other_.get()};
  float* host_inputs_[2] = {data_.get(), host_.data()};
  float* output_ = nullptr;
  int out_length_ = -1;
  float result_ = kUnwritten;

  void release_outputs() {
    for (float*& slot : slots_) {
      EXPECT_EQ(cudaFree(slot), cudaSuccess);
      slot = nullptr;
    }
    EXPECT_EQ(cudaFree(output_), cudaSuccess);
    output_ = nullptr;
  }
  void expect_outputs_null(const char* what) {
    for (float* slot : slots_) EXPECT_EQ(slot, nullptr) << what;
    EXPECT_EQ(output_, nullptr) << what;
    EXPECT_LE(out_length_, 0) << what;
  }
};

TEST_F(SequenceCalls, BadArgumentsAreRefusedWithoutDeviceWork) {
  float* null_inputs[2] = {data_.get(), nullptr};
  const std::vector<Call> calls = {
      {"decimate factor 0", [&] { return SGL_Decimate1DArray(data_.get(), 8, 0, slots_); }},
      {"decimate n < 0", [&] { return SGL_Decimate1DArray(data_.get(), -1, 2, slots_); }},
      {"decimate null outputs", [&] { return SGL_Decimate1DArray(data_.get(), 8, 2, nullptr); }},
      {"interleave count < 0", [&] { return SGL_Interleave1DArray(device_inputs_, 4, -1, &output_, &out_length_); }},
      {"interleave length < 0", [&] { return SGL_Interleave1DArray(device_inputs_, -4, 2, &output_, &out_length_); }},
      {"interleave beyond int", [&] { return SGL_Interleave1DArray(device_inputs_, INT_MAX / 2 + 1, 2, &output_, &out_length_); }},
      {"interleave null inputs", [&] { return SGL_Interleave1DArray(nullptr, 4, 2, &output_, &out_length_); }},
      {"interleave null output", [&] { return SGL_Interleave1DArray(device_inputs_, 4, 2, nullptr, &out_length_); }},
      {"interleave null outLength", [&] { return SGL_Interleave1DArray(device_inputs_, 4, 2, &output_, nullptr); }},
      {"interleave a null input", [&] { return SGL_Interleave1DArray(null_inputs, 4, 2, &output_, &out_length_); }},
      {"interpolate n = 0", [&] { return SGL_Interpolate1DArray(0, 0.5f, data_.get(), &result_); }},
      {"interpolate n < 0", [&] { return SGL_Interpolate1DArray(INT_MIN, 0.5f, data_.get(), &result_); }},
      {"interpolate null result", [&] { return SGL_Interpolate1DArray(8, 0.5f, data_.get(), nullptr); }},
      {"threshold n = 0", [&] { return SGL_Threshold1DArray(0, 1.0f, 0, data_.get(), &result_); }},
      {"threshold start < 0", [&] { return SGL_Threshold1DArray(8, 1.0f, -1, data_.get(), &result_); }},
      {"threshold start = n", [&] { return SGL_Threshold1DArray(8, 1.0f, 8, data_.get(), &result_); }},
      {"threshold null result", [&] { return SGL_Threshold1DArray(8, 1.0f, 0, data_.get(), nullptr); }},
      {"reverse n < 0", [&] { return SGL_Reverse1DArray(-1, data_.get()); }},
      {"rotate n < 0", [&] { return SGL_Rotate1DArray(INT_MIN, 3, data_.get()); }},
  };
  for (const Call& call : calls) {
    CallCounts counts{};
    counts = calls_during([&] { EXPECT_EQ(call.run(), cudaErrorInvalidValue) << call.what; });
    EXPECT_EQ(counts, CallCounts{}) << call.what;
    EXPECT_EQ(result_, kUnwritten) << call.what;
    EXPECT_EQ(out_length_, -1) << call.what;
    expect_outputs_null(call.what);
  }
  EXPECT_EQ(data_.download(), (std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(SequenceCalls, EachExportMakesItsRuntimeCalls) {
  REQUIRE_RUNTIME_HOOKS();
  struct Row {
    Call call;
    CallCounts expected;  // alloc, free, h2d, d2h, d2d, memset, sync, launch
  };
  const std::vector<Row> rows = {
      {{"decimate by 2", [&] { return SGL_Decimate1DArray(data_.get(), 8, 2, slots_); }}, {2, 0, 0, 0, 0, 0, 1, 1}},
      {{"decimate by 20 in two groups", [&] { return SGL_Decimate1DArray(long_.get(), 40, 20, slots_); }},
       {20, 0, 0, 0, 0, 0, 1, 2}},
      {{"decimate by 9: empty outputs", [&] { return SGL_Decimate1DArray(data_.get(), 8, 9, slots_); }},
       {0, 0, 0, 0, 0, 0, 1, 0}},
      {{"decimate by -1: no outputs", [&] { return SGL_Decimate1DArray(data_.get(), 8, -1, slots_); }},
       {0, 0, 0, 0, 0, 0, 1, 0}},
      {{"interleave device inputs", [&] { return SGL_Interleave1DArray(device_inputs_, 8, 2, &output_, &out_length_); }},
       {1, 0, 0, 0, 0, 0, 1, 1}},
      {{"interleave a host input", [&] { return SGL_Interleave1DArray(host_inputs_, 8, 2, &output_, &out_length_); }},
       {2, 1, 1, 0, 0, 0, 1, 1}},
      {{"interleave nothing", [&] { return SGL_Interleave1DArray(host_inputs_, 0, 2, &output_, &out_length_); }},
       {0, 0, 0, 0, 0, 0, 0, 0}},
      {{"interpolate inside", [&] { return SGL_Interpolate1DArray(8, 2.5f, data_.get(), &result_); }},
       {0, 0, 0, 1, 0, 0, 0, 0}},
      {{"interpolate past the end", [&] { return SGL_Interpolate1DArray(8, 9.0f, data_.get(), &result_); }},
       {0, 0, 0, 1, 0, 0, 0, 0}},
      {{"interpolate NaN", [&] { return SGL_Interpolate1DArray(8, kNaN, data_.get(), &result_); }},
       {0, 0, 0, 0, 0, 0, 0, 0}},
      {{"threshold crossing", [&] { return SGL_Threshold1DArray(8, 2.5f, 0, data_.get(), &result_); }},
       {1, 1, 0, 2, 0, 1, 0, 1}},
      {{"threshold met at start", [&] { return SGL_Threshold1DArray(8, 2.5f, 0, other_.get(), &result_); }},
       {1, 1, 0, 1, 0, 1, 0, 1}},
      {{"threshold last element", [&] { return SGL_Threshold1DArray(8, 100.0f, 0, data_.get(), &result_); }},
       {1, 1, 0, 1, 0, 1, 0, 1}},
      {{"threshold NaN level", [&] { return SGL_Threshold1DArray(8, kNaN, 0, data_.get(), &result_); }},
       {1, 1, 0, 1, 0, 1, 0, 1}},
      {{"reverse", [&] { return SGL_Reverse1DArray(8, data_.get()); }}, {0, 0, 0, 0, 0, 0, 0, 1}},
      {{"reverse one element", [&] { return SGL_Reverse1DArray(1, data_.get()); }}, {0, 0, 0, 0, 0, 0, 0, 0}},
      {{"rotate", [&] { return SGL_Rotate1DArray(8, -3, data_.get()); }}, {0, 0, 0, 0, 0, 0, 0, 2}},
      {{"rotate by n", [&] { return SGL_Rotate1DArray(8, 16, data_.get()); }}, {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    const CallCounts counts = calls_during([&] { EXPECT_EQ(row.call.run(), cudaSuccess) << row.call.what; });
    EXPECT_EQ(counts, row.expected) << row.call.what;
    release_outputs();
  }
}

TEST_F(SequenceCalls, FailedStepsLeaveNothingAllocatedAndOutputsNull) {
  REQUIRE_RUNTIME_HOOKS();
  struct Row {
    Call call;
    int allocations, copies, launches;
    bool synchronizes;
  };
  const std::vector<Row> rows = {
      {{"decimate", [&] { return SGL_Decimate1DArray(long_.get(), 40, 20, slots_); }}, 20, 0, 2, true},
      {{"interleave", [&] { return SGL_Interleave1DArray(host_inputs_, 8, 2, &output_, &out_length_); }}, 2, 1, 1, true},
      {{"interpolate", [&] { return SGL_Interpolate1DArray(8, 2.5f, data_.get(), &result_); }}, 0, 1, 0, false},
      {{"threshold", [&] { return SGL_Threshold1DArray(8, 2.5f, 0, data_.get(), &result_); }}, 1, 2, 1, false},
      {{"reverse", [&] { return SGL_Reverse1DArray(8, data_.get()); }}, 0, 0, 1, false},
      {{"rotate", [&] { return SGL_Rotate1DArray(8, 3, data_.get()); }}, 0, 0, 2, false},
  };
  for (const Row& row : rows) {
    for (int k = 1; k <= row.allocations; ++k) {
      testing_support::fail_allocation(k);
      EXPECT_EQ(row.call.run(), cudaErrorMemoryAllocation) << row.call.what << ", allocation " << k;
      EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);
      expect_outputs_null(row.call.what);
    }
    for (int k = 1; k <= row.copies; ++k) {
      testing_support::fail_copy(k, cudaErrorIllegalAddress);
      EXPECT_EQ(row.call.run(), cudaErrorIllegalAddress) << row.call.what << ", copy " << k;
      EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
      expect_outputs_null(row.call.what);
    }
    for (int k = 1; k <= row.launches; ++k) {
      testing_support::fail_launch(k, cudaErrorLaunchOutOfResources);
      EXPECT_EQ(row.call.run(), cudaErrorLaunchOutOfResources) << row.call.what << ", launch " << k;
      EXPECT_EQ(cudaGetLastError(), cudaErrorLaunchOutOfResources);
      expect_outputs_null(row.call.what);
    }
    if (row.synchronizes) {
      testing_support::fail_synchronize(cudaErrorIllegalAddress);
      EXPECT_EQ(row.call.run(), cudaErrorIllegalAddress) << row.call.what;
      EXPECT_EQ(cudaGetLastError(), cudaErrorIllegalAddress);
      expect_outputs_null(row.call.what);
    }
    EXPECT_EQ(result_, kUnwritten) << row.call.what;
  }
}

}  // namespace
