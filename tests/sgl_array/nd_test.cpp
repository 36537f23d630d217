// The N-D family against plain host loops over coordinates: random shapes, the documented examples, ranks
// beyond ten, bad arguments, failure injection and the runtime calls of each export.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "cuda_brelmont.h"
#include "support/device_buffer.h"
#include "support/runtime.h"

namespace {

using testing_support::CallCounts;
using testing_support::DeviceBuffer;
using Dims = std::vector<int>;
using Values = std::vector<float>;

int count_of(const Dims& d) { return std::accumulate(d.begin(), d.end(), 1, std::multiplies<int>()); }

// Row-major flat index of coordinates c in dims d.
int flat(const Dims& c, const Dims& d) {
  int f = 0;
  for (size_t k = 0; k < d.size(); ++k) f = f * d[k] + c[k];
  return f;
}

// value(coordinates) for every element of dims, in row-major order: an odometer, last dimension fastest.
Values over(const Dims& dims, const std::function<float(const Dims&)>& value) {
  Values out;
  Dims c(dims.size(), 0);
  for (int i = 0; i < count_of(dims); ++i) {
    out.push_back(value(c));
    for (size_t k = c.size(); k-- > 0 && ++c[k] == dims[k];) c[k] = 0;
  }
  return out;
}

Values distinct(int n, float first = 1) {  // nonzero, all different
  Values v(n);
  for (int i = 0; i < n; ++i) v[i] = first + static_cast<float>(i);
  return v;
}

Values download(float* p, int n) { return DeviceBuffer<float>::adopt(p, n).download(); }

int* data(Dims& d) { return d.empty() ? nullptr : d.data(); }

class NdArrays : public testing_support::ExportTest {
 protected:
  std::mt19937 rng{12345};
  Dims random_dims(int rank, int largest = 7) {
    Dims d(rank);
    for (int& s : d) s = 1 + static_cast<int>(rng() % largest);
    return d;
  }
  int below(int n) { return static_cast<int>(rng() % n); }
};

// ---- Subset, index, replace

void expect_subset(Dims src_dims, Dims start, Dims box) {
  const Values src = distinct(count_of(src_dims));
  const Values want = over(box, [&](const Dims& j) {
    Dims c(j.size());
    for (size_t k = 0; k < j.size(); ++k) c[k] = (j[k] + start[k]) % src_dims[k];
    return src[flat(c, src_dims)];
  });
  DeviceBuffer<float> d(src);
  float* out = nullptr;
  ASSERT_EQ(SGL_ArraySubset(static_cast<int>(box.size()), data(src_dims), data(start), data(box), d.get(), &out),
            cudaSuccess);
  EXPECT_EQ(download(out, count_of(box)), want) << ::testing::PrintToString(src_dims) << " at "
                                                << ::testing::PrintToString(start) << " box " << ::testing::PrintToString(box);
}

TEST_F(NdArrays, SubsetWrapsInEveryDimension) {
  expect_subset({4, 5}, {1, 2}, {2, 2});
  expect_subset({4}, {3}, {3});             // s3 s0 s1
  expect_subset({3}, {1}, {7});             // larger than the source: s1 s2 s0 s1 s2 s0 s1
  expect_subset({3, 1, 4}, {5, 9, 2}, {4, 3, 9});
  expect_subset({2, 3}, {0, 1}, {2, 2});
  expect_subset({1030}, {1000}, {1030});    // a multiple-block wrap
  expect_subset({}, {}, {});                // rank 0: src[0]
  expect_subset({3}, {131072}, {0});        // empty boxes: a null output, no index space built
  expect_subset({4, 5}, {1, 2}, {2, 0});
  expect_subset({2, 1, 3, 1, 2, 1, 2, 3, 1, 2, 2, 1, 3, 2}, Dims(14, 1), {2, 1, 2, 1, 2, 1, 1, 3, 1, 1, 2, 1, 2, 2});
  for (int trial = 0; trial < 40; ++trial) {
    const Dims d = random_dims(1 + below(6));
    Dims start(d.size()), box(d.size());
    for (size_t k = 0; k < d.size(); ++k) start[k] = below(12), box[k] = 1 + below(trial % 2 ? 9 : d[k]);
    expect_subset(d, start, box);
  }
}

TEST_F(NdArrays, IndexKeepsTheDimensionsMarkedMinusOne) {
  for (const auto& [dims, indices] : std::vector<std::pair<Dims, Dims>>{
           {{3, 4}, {-1, 2}}, {{3, 4}, {1, -1}}, {{3, 4}, {2, 3}}, {{5}, {-1}}, {{5}, {3}},
           {{2, 3, 4, 5}, {-1, 1, -1, 4}}, {Dims(12, 2), {1, -1, 0, -1, -1, 1, 0, -1, 1, 1, -1, 0}}}) {
    const Values src = distinct(count_of(dims));
    const bool one_d = dims.size() == 1;
    Dims want_dims(dims.size());
    for (size_t k = 0; k < dims.size(); ++k) want_dims[k] = indices[k] == -1 && !one_d ? dims[k] : 1;
    const Values want = over(want_dims, [&](const Dims& j) {
      Dims c(j);
      for (size_t k = 0; k < j.size(); ++k) c[k] = indices[k] == -1 ? j[k] : indices[k];
      return src[flat(c, dims)];
    });
    DeviceBuffer<float> d(src);
    Dims sizes = dims, idx = indices, out_dims(dims.size(), -7);
    float* out = nullptr;
    SGL_IndexArray(static_cast<int>(dims.size()), sizes.data(), idx.data(), d.get(), &out, out_dims.data());
    EXPECT_EQ(out_dims, want_dims);
    EXPECT_EQ(download(out, count_of(want_dims)), want) << ::testing::PrintToString(indices);
  }
}

template <typename T>
T element(int i) {
  if constexpr (std::is_same_v<T, float2>) return float2{i + 1.0f, -0.25f * (i + 1)};
  else return i + 1.0f;
}

template <typename T>
bool same(const T& a, const T& b) {
  if constexpr (std::is_same_v<T, float2>) return a.x == b.x && a.y == b.y;
  else return a == b;
}

template <typename T>
std::vector<T> elements(int n, int first = 0) {
  std::vector<T> v(n);
  for (int i = 0; i < n; ++i) v[i] = element<T>(first + i);
  return v;
}

template <typename T>
void expect_same(const std::vector<T>& got, const std::vector<T>& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < got.size(); ++i) ASSERT_TRUE(same(got[i], want[i])) << what << " at " << i;
}

template <typename T, typename Replace>
void expect_replace(Replace replace, Dims dst_dims, Dims sub_dims, Dims start) {
  std::vector<T> dst = elements<T>(count_of(dst_dims)), want = dst;
  const std::vector<T> sub = elements<T>(count_of(sub_dims), 1000);
  int i = 0;
  over(sub_dims, [&](const Dims& q) {
    Dims c(q);
    for (size_t k = 0; k < q.size(); ++k) c[k] += start[k];
    want[flat(c, dst_dims)] = sub[i++];
    return 0.0f;
  });
  DeviceBuffer<T> d(dst), s(sub);
  ASSERT_EQ(replace(static_cast<int>(dst_dims.size()), data(dst_dims), data(sub_dims), data(start), d.get(), s.get()),
            cudaSuccess);
  expect_same(d.download(), want, "replace " + ::testing::PrintToString(sub_dims));
}

TEST_F(NdArrays, ReplaceOverwritesOnlyTheBox) {
  for (int trial = 0; trial < 30; ++trial) {
    const Dims d = trial == 0 ? Dims{3, 3} : trial == 1 ? Dims(13, 2) : random_dims(1 + below(6));
    Dims sub(d.size()), start(d.size());
    for (size_t k = 0; k < d.size(); ++k) sub[k] = trial == 0 ? 2 : 1 + below(d[k]), start[k] = trial == 0 ? 1 : below(d[k] - sub[k] + 1);
    expect_replace<float>(SGL_ReplaceArraySubset, d, sub, start);
    expect_replace<float2>(CSG_ReplaceArraySubset, d, sub, start);
  }
  // An empty dst whose inner sizes multiply beyond int: an empty box, and no offset formed.
  expect_replace<float>(SGL_ReplaceArraySubset, {0, 46341, 131072}, {0, 1, 1}, {0, 46340, 0});
}

// ---- Delete and insert

template <typename T, typename Delete>
void expect_delete(Delete del, Dims dims, int start, int count, int axis) {
  const std::vector<T> src = elements<T>(count_of(dims));
  Dims kept = dims, removed = dims;
  kept[axis] -= count;
  removed[axis] = count;
  std::vector<T> want_kept, want_removed;
  over(kept, [&](const Dims& j) {  // positions from start on close up over the removed ones
    Dims c(j);
    c[axis] += j[axis] >= start ? count : 0;
    want_kept.push_back(src[flat(c, dims)]);
    return 0.0f;
  });
  over(removed, [&](const Dims& j) {
    Dims c(j);
    c[axis] += start;
    want_removed.push_back(src[flat(c, dims)]);
    return 0.0f;
  });
  DeviceBuffer<T> d(src);
  T *out = nullptr, *deleted = nullptr;
  Dims out_dims(dims.size(), -7), deleted_dims(dims.size(), -7);
  ASSERT_EQ(del(static_cast<int>(dims.size()), dims.data(), start, count, axis, d.get(), &out, out_dims.data(), &deleted,
                deleted_dims.data()),
            cudaSuccess);
  EXPECT_EQ(out_dims, kept);
  EXPECT_EQ(deleted_dims, removed);
  EXPECT_EQ(out == nullptr, want_kept.empty());
  EXPECT_EQ(deleted == nullptr, want_removed.empty());
  expect_same(DeviceBuffer<T>::adopt(out, want_kept.size()).download(), want_kept, "kept");
  expect_same(DeviceBuffer<T>::adopt(deleted, want_removed.size()).download(), want_removed, "deleted");
}

TEST_F(NdArrays, DeleteSplitsAlongTheAxis) {
  expect_delete<float>(SGL_DeleteFromArray, {3, 4}, 1, 2, 1);
  expect_delete<float>(SGL_DeleteFromArray, {5}, 4, 1, 0);
  expect_delete<float>(SGL_DeleteFromArray, {2, 3}, 0, 0, 1);   // nothing deleted
  expect_delete<float2>(CSG_DeleteFromArray, {2, 3}, 0, 3, 1);  // everything deleted
  expect_delete<float>(SGL_DeleteFromArray, Dims{2, 1, 3, 1, 2, 2, 1, 2, 3, 1, 2, 2}, 1, 1, 8);
  for (int trial = 0; trial < 30; ++trial) {
    const Dims d = random_dims(1 + below(6));
    const int axis = below(static_cast<int>(d.size())), start = below(d[axis] + 1), count = below(d[axis] - start + 1);
    expect_delete<float>(SGL_DeleteFromArray, d, start, count, axis);
    expect_delete<float2>(CSG_DeleteFromArray, d, start, count, axis);
  }
}

// Insert and the two joins share one reference: along axis, positions below start come from a, the next
// width from b, the rest from a again; elsewhere a position outside the chosen array's sizes is 0.
Values joined(const Dims& out, int axis, int start, int width, const Values& a, const Dims& da, const Values& b,
              const Dims& db) {
  return over(out, [&](const Dims& j) {
    const bool from_b = j[axis] >= start && j[axis] < start + width;
    Dims c(j);
    c[axis] = from_b ? j[axis] - start : j[axis] < start ? j[axis] : j[axis] - width;
    const Dims& d = from_b ? db : da;
    for (size_t k = 0; k < c.size(); ++k)
      if (c[k] >= d[k]) return 0.0f;
    return (from_b ? b : a)[flat(c, d)];
  });
}

void expect_insert(Dims src_dims, Dims ins_dims, int start, int axis) {
  const Values src = distinct(count_of(src_dims)), ins = distinct(count_of(ins_dims), 500);
  Dims block = ins_dims;
  if (block.size() < src_dims.size()) block.insert(block.begin() + axis, 1);
  Dims out_dims = src_dims;
  out_dims[axis] += block[axis];
  DeviceBuffer<float> s(src), i(ins);
  Dims got_dims(src_dims.size(), -7);
  float* out = nullptr;
  ASSERT_EQ(SGL_InsertIntoArray(static_cast<int>(src_dims.size()), static_cast<int>(ins_dims.size()), src_dims.data(),
                                data(ins_dims), start, axis, s.get(), i.get(), &out, got_dims.data()),
            cudaSuccess);
  EXPECT_EQ(got_dims, out_dims);
  EXPECT_EQ(download(out, count_of(out_dims)), joined(out_dims, axis, start, block[axis], src, src_dims, ins, block))
      << ::testing::PrintToString(ins_dims) << " into " << ::testing::PrintToString(src_dims) << " at " << start;
}

TEST_F(NdArrays, InsertPadsAndDropsAlongTheOtherDimensions) {
  expect_insert({2, 3}, {3}, 2, 0);     // a last row
  expect_insert({2, 3}, {2}, 0, 1);     // a first column
  expect_insert({2, 3}, {2, 2}, 0, 0);  // padded with 0.0 in column 2
  expect_insert({2, 3}, {1, 4}, 1, 0);  // its fourth column dropped
  expect_insert({2, 3}, {2, 2}, 3, 1);
  expect_insert({4}, {}, 2, 0);         // one element into a 1-D array
  for (int trial = 0; trial < 30; ++trial) {
    const Dims d = random_dims(1 + below(6));
    const int axis = below(static_cast<int>(d.size()));
    Dims ins = random_dims(static_cast<int>(d.size()));
    if (trial % 3 == 0) ins.erase(ins.begin() + axis);
    else if (trial % 3 == 1)
      for (size_t k = 0; k < d.size(); ++k) ins[k] = static_cast<int>(k) == axis ? ins[k] : d[k];
    expect_insert(d, ins, below(d[axis] + 1), axis);
  }
}

void expect_join(bool build, Dims da, Dims db) {
  const Values a = distinct(count_of(da)), b = distinct(count_of(db), 300);
  Dims ea = da, eb = db;
  if (ea.size() == eb.size() && build) ea.insert(ea.begin(), 1), eb.insert(eb.begin(), 1);
  if (ea.size() < eb.size()) ea.insert(ea.begin(), 1);
  if (eb.size() < ea.size()) eb.insert(eb.begin(), 1);
  Dims out_dims(ea.size());
  for (size_t k = 0; k < ea.size(); ++k) out_dims[k] = k == 0 ? ea[0] + eb[0] : std::max(ea[k], eb[k]);
  DeviceBuffer<float> x(a), y(b);
  Dims got_dims(out_dims.size(), -7);
  float* out = nullptr;
  (build ? SGL_BuildArray : SGL_ConcatenateArray)(static_cast<int>(da.size()), static_cast<int>(db.size()), data(da),
                                                  data(db), x.get(), y.get(), &out, got_dims.data());
  EXPECT_EQ(got_dims, out_dims);
  EXPECT_EQ(download(out, count_of(out_dims)), joined(out_dims, 0, ea[0], eb[0], a, ea, b, eb))
      << (build ? "build " : "concatenate ") << ::testing::PrintToString(da) << " and " << ::testing::PrintToString(db);
}

TEST_F(NdArrays, BuildAndConcatenateJoinAlongTheFirstDimension) {
  for (const bool build : {false, true}) {
    for (const auto& [a, b] : std::vector<std::pair<Dims, Dims>>{
             {{3}, {5}}, {{2, 3}, {2, 3}}, {{2, 3}, {1, 4}}, {{2, 3}, {3}}, {{3}, {2, 3}}, {{4}, {}}, {{}, {4}},
             {{1030}, {700}}, {{2, 1, 3, 2, 1, 2, 2, 1, 3}, {1, 2, 3, 1, 2, 2, 1, 2, 2}}})
      expect_join(build, a, b);
    for (int trial = 0; trial < 20; ++trial) {
      const Dims a = random_dims(1 + below(5));
      const Dims b = random_dims(static_cast<int>(a.size()) - (trial % 3 == 2 ? 1 : 0));
      expect_join(build, a, b);
    }
  }
  expect_join(true, {}, {});  // two single elements
}

// ---- Reshape, transposes, splits

TEST_F(NdArrays, ReshapeKeepsTheSequenceAndPadsWithZeros) {
  const Values src = distinct(6);
  for (Dims dims : {Dims{2, 2}, Dims{2, 3}, Dims{4, 2}, Dims{}, Dims(12, 1), Dims{3, 0}}) {
    DeviceBuffer<float> d(src);
    const int n = count_of(dims);
    float* out = nullptr;
    ASSERT_EQ(SGL_ReshapeArray(d.get(), 6, data(dims), static_cast<int>(dims.size()), &out), cudaSuccess);
    Values want(src.begin(), src.begin() + std::min(n, 6));
    want.resize(n, 0.0f);
    EXPECT_EQ(download(out, n), want);
  }
}

void expect_transpose(Dims dims, Dims perm) {
  const Values src = distinct(count_of(dims));
  Dims out_dims(dims.size());
  for (size_t j = 0; j < perm.size(); ++j) out_dims[j] = dims[perm[j]];
  const Values want = over(out_dims, [&](const Dims& e) {
    Dims c(e.size());
    for (size_t j = 0; j < perm.size(); ++j) c[perm[j]] = e[j];
    return src[flat(c, dims)];
  });
  DeviceBuffer<float> d(src), dst(src.size());
  float* out = nullptr;
  Dims got_dims(dims.size(), -7);
  SGL_TransposeNDArray(static_cast<int>(dims.size()), dims.data(), perm.data(), d.get(), &out, got_dims.data());
  EXPECT_EQ(got_dims, out_dims);
  EXPECT_EQ(download(out, count_of(dims)), want) << ::testing::PrintToString(dims) << " by " << ::testing::PrintToString(perm);
  if (dims.size() == 2 && perm[0] == 1) {
    ASSERT_EQ(SGL_Transpose2DArray(dims.data(), d.get(), dst.get()), cudaSuccess);
    EXPECT_EQ(dst.download(), want) << "2-D " << ::testing::PrintToString(dims);
  }
}

TEST_F(NdArrays, TransposesPermuteDimensions) {
  for (const Dims& dims : {Dims{2, 3}, Dims{17, 1}, Dims{1, 40}, Dims{33, 65}, Dims{70, 3}}) expect_transpose(dims, {1, 0});
  expect_transpose({2, 3, 4}, {2, 1, 0});
  expect_transpose({2, 3, 4}, {1, 2, 0});
  expect_transpose({2, 3, 4}, {0, 1, 2});
  expect_transpose({40, 3, 35}, {2, 0, 1});  // the innermost moves: tiles over a batch
  expect_transpose({5, 36, 34}, {1, 0, 2});  // the innermost stays: rows
  expect_transpose({2, 1, 3, 1, 2, 2, 1, 2, 2, 1, 3, 2}, {11, 3, 0, 10, 5, 2, 7, 1, 9, 4, 8, 6});
  for (int trial = 0; trial < 30; ++trial) {
    const Dims d = random_dims(1 + below(6));
    Dims perm(d.size());
    std::iota(perm.begin(), perm.end(), 0);
    std::shuffle(perm.begin(), perm.end(), rng);
    expect_transpose(d, perm);
  }
}

TEST_F(NdArrays, SplitsCutAtTheClampedIndex) {
  const Values src = distinct(1320);
  DeviceBuffer<float> d(src);
  for (const auto& [n, index] : std::vector<std::pair<int, int>>{{10, 4}, {10, -3}, {10, 12}, {1000, 600}, {0, 0}}) {
    float *first = nullptr, *second = nullptr;
    int first_count = -1, second_count = -1;
    ASSERT_EQ(SGL_Split1DArray(n, index, d.get(), &first, &first_count, &second, &second_count), cudaSuccess);
    const int at = std::clamp(index, 0, n);
    EXPECT_EQ(first_count, at);
    EXPECT_EQ(second_count, n - at);
    EXPECT_EQ(download(first, at), Values(src.begin(), src.begin() + at));
    EXPECT_EQ(download(second, n - at), Values(src.begin() + at, src.begin() + n));
  }
  for (const auto& [dims, index, mode] : std::vector<std::tuple<Dims, int, int>>{
           {{4, 256}, 2, 1}, {{3, 5}, 2, 0}, {{3, 5}, 0, 1}, {{3, 5}, 9, 2}, {{33, 40}, 17, 0}, {{33, 40}, 20, 1}}) {
    Dims sizes = dims, first_dims(2, -7), second_dims(2, -7);
    float *first = nullptr, *second = nullptr;
    ASSERT_EQ(SGL_Split2DArray(sizes.data(), index, mode, d.get(), &first, first_dims.data(), &second, second_dims.data()),
              cudaSuccess);
    const int rows = dims[0], cols = dims[1], at = std::clamp(index, 0, mode == 1 ? rows : cols);
    const Dims want_first = mode == 1 ? Dims{at, cols} : Dims{rows, at};
    const Dims want_second = mode == 1 ? Dims{rows - at, cols} : Dims{rows, cols - at};
    EXPECT_EQ(first_dims, want_first);
    EXPECT_EQ(second_dims, want_second);
    const auto part = [&](const Dims& shape, int r0, int c0) {
      return over(shape, [&](const Dims& j) { return src[(j[0] + r0) * cols + j[1] + c0]; });
    };
    EXPECT_EQ(download(first, count_of(want_first)), part(want_first, 0, 0));
    EXPECT_EQ(download(second, count_of(want_second)), part(want_second, mode == 1 ? at : 0, mode == 1 ? 0 : at));
  }
}

// ---- Bad arguments, failures and runtime calls

// One call of each export on small valid arguments, whatever the runtime does; outputs released after.
struct Call {
  const char* name;
  std::function<cudaError_t(float*, float*)> run;  // on a 24-element array and a scratch one; status or its stand-in
};

// Stand-in status for the exports with no result: success when they produced an output.
cudaError_t produced(float* out) {
  const cudaError_t status = out != nullptr ? cudaSuccess : cudaErrorInvalidValue;
  cudaFree(out);
  return status;
}

std::vector<Call> typical_calls() {
  static Dims d24{2, 3, 4}, start{1, 0, 2}, box{2, 2, 3}, idx{-1, 1, -1}, perm{2, 0, 1}, d6{6, 4}, d2{2, 12};
  static Dims out_dims(3), other_dims(3), ins{2, 3}, sub{1, 2, 2}, zero{0, 0, 0};
  return {
      {"subset", [](float* a, float*) { float* o = nullptr; const cudaError_t s = SGL_ArraySubset(3, d24.data(), start.data(), box.data(), a, &o); cudaFree(o); return s; }},
      {"index", [](float* a, float*) { float* o = nullptr; SGL_IndexArray(3, d24.data(), idx.data(), a, &o, out_dims.data()); return produced(o); }},
      {"replace", [](float* a, float* b) { return SGL_ReplaceArraySubset(3, d24.data(), sub.data(), zero.data(), a, b); }},
      {"replace complex", [](float* a, float* b) { return CSG_ReplaceArraySubset(2, d6.data(), d6.data(), zero.data(), reinterpret_cast<float2*>(a), reinterpret_cast<float2*>(b)); }},
      {"delete", [](float* a, float*) { float *o = nullptr, *r = nullptr; const cudaError_t s = SGL_DeleteFromArray(3, d24.data(), 1, 2, 1, a, &o, out_dims.data(), &r, other_dims.data()); cudaFree(o); cudaFree(r); return s; }},
      {"delete complex", [](float* a, float*) { float2 *o = nullptr, *r = nullptr; const cudaError_t s = CSG_DeleteFromArray(2, d6.data(), 1, 2, 1, reinterpret_cast<float2*>(a), &o, out_dims.data(), &r, other_dims.data()); cudaFree(o); cudaFree(r); return s; }},
      {"insert", [](float* a, float* b) { float* o = nullptr; const cudaError_t s = SGL_InsertIntoArray(3, 2, d24.data(), ins.data(), 1, 2, a, b, &o, out_dims.data()); cudaFree(o); return s; }},
      {"build", [](float* a, float* b) { float* o = nullptr; SGL_BuildArray(3, 2, d24.data(), ins.data(), a, b, &o, out_dims.data()); return produced(o); }},
      {"concatenate", [](float* a, float* b) { float* o = nullptr; SGL_ConcatenateArray(3, 3, d24.data(), d24.data(), a, b, &o, out_dims.data()); return produced(o); }},
      {"reshape", [](float* a, float*) { float* o = nullptr; const cudaError_t s = SGL_ReshapeArray(a, 20, d24.data(), 3, &o); cudaFree(o); return s; }},
      {"transpose 2-D", [](float* a, float* b) { return SGL_Transpose2DArray(d2.data(), a, b); }},
      {"transpose N-D", [](float* a, float*) { float* o = nullptr; SGL_TransposeNDArray(3, d24.data(), perm.data(), a, &o, out_dims.data()); return produced(o); }},
      {"split 1-D", [](float* a, float*) { float *f = nullptr, *s = nullptr; int nf, ns; const cudaError_t st = SGL_Split1DArray(24, 10, a, &f, &nf, &s, &ns); cudaFree(f); cudaFree(s); return st; }},
      {"split 2-D", [](float* a, float*) { float *f = nullptr, *s = nullptr; const cudaError_t st = SGL_Split2DArray(d2.data(), 5, 0, a, &f, out_dims.data(), &s, other_dims.data()); cudaFree(f); cudaFree(s); return st; }},
  };
}

TEST_F(NdArrays, EachCallMakesItsDocumentedRuntimeCalls) {
  REQUIRE_RUNTIME_HOOKS();
  // alloc, free, h2d, d2h, d2d, memset, sync, launch; the frees are the test's release of the outputs.
  const CallCounts want[] = {
      {1, 1, 0, 0, 0, 0, 1, 1}, {1, 1, 0, 0, 0, 0, 0, 1}, {0, 0, 0, 0, 0, 0, 1, 1}, {0, 0, 0, 0, 0, 0, 1, 1},
      {2, 2, 0, 0, 0, 0, 1, 1}, {2, 2, 0, 0, 0, 0, 1, 1}, {1, 1, 0, 0, 0, 0, 1, 1}, {1, 1, 0, 0, 0, 0, 0, 1},
      {1, 1, 0, 0, 0, 0, 0, 1}, {1, 1, 0, 0, 1, 1, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 1}, {1, 1, 0, 0, 0, 0, 0, 1},
      {2, 2, 0, 0, 0, 0, 0, 2}, {2, 2, 0, 0, 0, 0, 0, 2}};
  DeviceBuffer<float> a(distinct(48)), b(distinct(48, 100));
  const std::vector<Call> calls = typical_calls();
  ASSERT_EQ(calls.size(), std::size(want));
  for (size_t k = 0; k < calls.size(); ++k) {
    cudaError_t status = cudaErrorUnknown;
    EXPECT_EQ(testing_support::calls_during([&] { status = calls[k].run(a.get(), b.get()); }), want[k]) << calls[k].name;
    EXPECT_EQ(status, cudaSuccess) << calls[k].name;
  }
}

TEST_F(NdArrays, FailedAllocationsAndLaunchesAreReportedWithNothingLeft) {
  REQUIRE_RUNTIME_HOOKS();
  DeviceBuffer<float> a(distinct(48)), b(distinct(48, 100));
  for (const Call& call : typical_calls()) {
    const bool allocates = std::string(call.name).find("replace") == std::string::npos && call.name != std::string("transpose 2-D");
    const bool launches = call.name != std::string("reshape");
    for (int k = 1; k <= 2; ++k) {
      testing_support::fail_allocation(k);
      const cudaError_t status = call.run(a.get(), b.get());
      testing_support::fail_allocation(0);
      if (allocates && k == 1) EXPECT_NE(status, cudaSuccess) << call.name << ": allocation " << k;
    }
    if (!launches) continue;
    testing_support::fail_launch(1, cudaErrorLaunchOutOfResources);
    EXPECT_NE(call.run(a.get(), b.get()), cudaSuccess) << call.name << ": launch";
    cudaGetLastError();
  }
}

TEST_F(NdArrays, ArgumentsOutsideTheContractDoNoDeviceWork) {
  DeviceBuffer<float> a(distinct(48)), b(distinct(48, 100));
  Dims d{2, 3, 4}, neg{2, -3, 4}, zero{2, 0, 4}, big{65536, 65536}, start{0, 0, 0}, bad_start{0, -1, 0};
  Dims far{0, 2, 2}, box{2, 2, 3}, idx{-1, 3, 0}, perm_dup{0, 0, 1}, perm_far{0, 3, 1}, o(3), o2(3), ins{2, 5};
  float *out = nullptr, *other = nullptr;  // out is set stale before each row: it must come back null
  int nf = -1, ns = -1;
  const std::function<cudaError_t()> bad[] = {
      [&] { return SGL_ArraySubset(-1, d.data(), start.data(), box.data(), a.get(), &out); },
      [&] { return SGL_ArraySubset(3, zero.data(), start.data(), box.data(), a.get(), &out); },
      [&] { return SGL_ArraySubset(3, Dims{0, 131072, 131072}.data(), start.data(), box.data(), a.get(), &out); },
      [&] { return SGL_ArraySubset(3, d.data(), bad_start.data(), box.data(), a.get(), &out); },
      [&] { return SGL_ArraySubset(3, d.data(), start.data(), neg.data(), a.get(), &out); },
      [&] { return SGL_ArraySubset(3, d.data(), nullptr, box.data(), a.get(), &out); },
      [&] { return SGL_ArraySubset(2, d.data(), start.data(), big.data(), a.get(), &out); },
      [&] { return SGL_ReplaceArraySubset(3, d.data(), box.data(), far.data(), a.get(), b.get()); },
      [&] { return SGL_ReplaceArraySubset(3, d.data(), box.data(), bad_start.data(), a.get(), b.get()); },
      [&] { return SGL_ReplaceArraySubset(3, d.data(), box.data(), start.data(), a.get(), a.get() + 5); },  // overlap
      [&] { return SGL_DeleteFromArray(3, d.data(), 0, 1, 3, a.get(), &out, o.data(), &other, o2.data()); },
      [&] { return SGL_DeleteFromArray(3, d.data(), 2, 2, 1, a.get(), &out, o.data(), &other, o2.data()); },
      [&] { return SGL_DeleteFromArray(3, d.data(), -1, 1, 1, a.get(), &out, o.data(), &other, o2.data()); },
      [&] { return SGL_DeleteFromArray(3, d.data(), 0, -1, 1, a.get(), &out, o.data(), &other, o2.data()); },
      [&] { return SGL_DeleteFromArray(3, zero.data(), 0, 1, 0, a.get(), &out, o.data(), &other, o2.data()); },
      [&] { return SGL_DeleteFromArray(0, d.data(), 0, 0, 0, a.get(), &out, o.data(), &other, o2.data()); },
      [&] { return CSG_DeleteFromArray(3, d.data(), 0, 1, -1, nullptr, nullptr, o.data(), nullptr, o2.data()); },
      [&] { return SGL_InsertIntoArray(3, 1, d.data(), ins.data(), 0, 0, a.get(), b.get(), &out, o.data()); },
      [&] { return SGL_InsertIntoArray(3, 2, d.data(), ins.data(), 3, 0, a.get(), b.get(), &out, o.data()); },
      [&] { return SGL_InsertIntoArray(3, 2, d.data(), ins.data(), -1, 0, a.get(), b.get(), &out, o.data()); },
      [&] { return SGL_InsertIntoArray(3, 2, d.data(), ins.data(), 0, 3, a.get(), b.get(), &out, o.data()); },
      [&] { return SGL_InsertIntoArray(11, 11, Dims(11, 1).data(), Dims(11, 1).data(), 0, 0, a.get(), b.get(), &out, o.data()); },
      [&] { return SGL_InsertIntoArray(3, 3, d.data(), zero.data(), 0, 0, a.get(), b.get(), &out, o.data()); },
      [&] { return SGL_ReshapeArray(a.get(), -1, d.data(), 3, &out); },
      [&] { return SGL_ReshapeArray(a.get(), 24, neg.data(), 3, &out); },
      [&] { return SGL_ReshapeArray(a.get(), 24, big.data(), 2, &out); },
      [&] { return SGL_Transpose2DArray(neg.data() + 1, a.get(), b.get()); },
      [&] { return SGL_Transpose2DArray(big.data(), a.get(), b.get()); },
      [&] { return SGL_Transpose2DArray(d.data(), a.get(), a.get() + 3); },
      [&] { return SGL_Split1DArray(-1, 0, a.get(), &out, &nf, &other, &ns); },
      [&] { return SGL_Split1DArray(4, 2, a.get(), &out, nullptr, &other, &ns); },
      [&] { return SGL_Split1DArray(4, 2, a.get(), &out, &nf, &out, &ns); },
      [&] { return SGL_Split2DArray(neg.data(), 1, 1, a.get(), &out, o.data(), &other, o2.data()); },
      [&] { return SGL_Split2DArray(big.data(), 1, 1, a.get(), &out, o.data(), &other, o2.data()); },
  };
  const unsigned long long launches = testing_support::launch_count();
  for (size_t k = 0; k < std::size(bad); ++k) {
    out = reinterpret_cast<float*>(&nf);
    EXPECT_EQ(bad[k](), cudaErrorInvalidValue) << "row " << k;
    const bool has_output = (k < 7 || k > 9) && k != 16 && (k < 26 || k > 28);  // replace and 2-D transpose have none
    if (has_output) EXPECT_EQ(out, nullptr) << "row " << k;
    EXPECT_EQ(other, nullptr) << "row " << k;
  }
  // The exports with no result: no output, and output sizes zero where the rank is known.
  const std::function<void()> none[] = {
      [&] { SGL_IndexArray(3, d.data(), idx.data(), a.get(), &out, o.data()); },
      [&] { SGL_IndexArray(1, Dims{5}.data(), Dims{-2}.data(), a.get(), &out, o.data()); },
      [&] { SGL_IndexArray(3, zero.data(), start.data(), a.get(), &out, o.data()); },
      [&] { SGL_IndexArray(2, Dims{3, 4}.data(), Dims{INT_MAX, -1}.data(), a.get(), &out, o.data()); },
      [&] { SGL_TransposeNDArray(3, d.data(), perm_dup.data(), a.get(), &out, o.data()); },
      [&] { SGL_TransposeNDArray(3, d.data(), perm_far.data(), a.get(), &out, o.data()); },
      [&] { SGL_TransposeNDArray(3, zero.data(), start.data(), a.get(), &out, o.data()); },
      [&] { SGL_BuildArray(3, 1, d.data(), d.data(), a.get(), b.get(), &out, o.data()); },
      [&] { SGL_BuildArray(10, 10, Dims(10, 1).data(), Dims(10, 1).data(), a.get(), b.get(), &out, o.data()); },
      [&] { SGL_ConcatenateArray(0, 0, nullptr, nullptr, a.get(), b.get(), &out, o.data()); },
      [&] { SGL_ConcatenateArray(3, 3, d.data(), zero.data(), a.get(), b.get(), &out, o.data()); },
      [&] { SGL_ConcatenateArray(11, 11, Dims(11, 1).data(), Dims(11, 1).data(), a.get(), b.get(), &out, o.data()); },
  };
  for (size_t k = 0; k < std::size(none); ++k) {
    out = reinterpret_cast<float*>(&nf);
    o = {7, 7, 7};
    none[k]();
    EXPECT_EQ(out, nullptr) << "no-result row " << k;
    EXPECT_TRUE(std::all_of(o.begin(), o.end(), [](int x) { return x == 0 || x == 7; })) << "no-result row " << k;
  }
  EXPECT_EQ(testing_support::launch_count(), launches);
}

}  // namespace
