// The N-D family against plain host loops over coordinates: the documented examples, shapes that merge, drop and
// wrap dimensions, ranks beyond ten, random boxes. The parts of a delete or a split must join back into their
// source under the reference that checks insert and the joins. Then the bad arguments of every export as rows of
// one contract table.
#include <cuda_runtime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "cuda_brelmont.h"
#include "support/contract.h"
#include "support/device_buffer.h"
#include "support/same_bits.h"

namespace {

using namespace testing_support;
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
template <typename Value>
auto over(const Dims& dims, Value value) {
  std::vector<decltype(value(dims))> out;
  Dims c(dims.size(), 0);
  for (int i = 0; i < count_of(dims); ++i) {
    out.push_back(value(c));
    for (size_t k = c.size(); k-- > 0 && ++c[k] == dims[k];) c[k] = 0;
  }
  return out;
}

// n nonzero elements, all different (complex ones with distinct imaginary parts too).
template <typename T = float>
std::vector<T> distinct(int n, int first = 1) {
  std::vector<T> v(n);
  for (int i = 0; i < n; ++i) {
    const float parts[2] = {float(first + i), -0.25f * (first + i)};
    std::memcpy(&v[i], parts, sizeof(T));
  }
  return v;
}

// An export's new array of n elements, downloaded and released; null exactly when n is 0.
template <typename T>
std::vector<T> take(T* out, int n, const std::string& what) {
  EXPECT_EQ(out == nullptr, n == 0) << what;
  return DeviceBuffer<T>::adopt(out, n).download();
}

template <typename T>
void expect_array(T* out, const std::vector<T>& want, const std::string& what) {
  EXPECT_TRUE(same_bytes(take(out, int(want.size()), what), want)) << what;
}

// Insert and the joins: along axis, positions below start come from a, the next width from b, the rest from a
// again; elsewhere a position outside the chosen array's sizes is 0.
template <typename T>
std::vector<T> joined(const Dims& out, int axis, int start, int width, const std::vector<T>& a, const Dims& da,
                      const std::vector<T>& b, const Dims& db) {
  return over(out, [&](const Dims& j) {
    const bool from_b = j[axis] >= start && j[axis] < start + width;
    Dims c(j);
    c[axis] = from_b ? j[axis] - start : j[axis] < start ? j[axis] : j[axis] - width;
    const Dims& d = from_b ? db : da;
    for (size_t k = 0; k < c.size(); ++k)
      if (c[k] >= d[k]) return T{};
    return (from_b ? b : a)[flat(c, d)];
  });
}

int* data(Dims& d) { return d.empty() ? nullptr : d.data(); }
std::string str(const Dims& d) { return ::testing::PrintToString(d); }

// Random boxes: shapes of rank 1 to 6 and sizes 1 to 7, from one seed per test.
class NdArrays : public ExportTest {
 protected:
  std::mt19937 rng{12345};
  int below(int n) { return static_cast<int>(rng() % n); }
  Dims random_dims() {
    Dims d(1 + below(6));
    for (int& s : d) s = 1 + below(7);
    return d;
  }
};

TEST_F(NdArrays, SubsetWrapsAndIndexKeepsTheDimensionsMarkedMinusOne) {
  // {source sizes, start, box}: larger than the source (s1 s2 s0 s1 s2 s0 s1), a multiple-block wrap, rank 0
  // (src[0]), empty boxes (a null output, no index space built), fourteen dimensions. An index row gives the
  // indices whose elements make that box (no wrap).
  std::vector<std::array<Dims, 4>> rows = {{{{3}, {1}, {7}}},          {{{3, 1, 4}, {5, 9, 2}, {4, 3, 9}}},
                                           {{{1030}, {1000}, {1030}}}, {{{}, {}, {}}},
                                           {{{3}, {131072}, {0}}},     {{{4, 5}, {1, 2}, {2, 0}}}};
  rows.push_back(
      {Dims{2, 1, 3, 1, 2, 1, 2, 3, 1, 2, 2, 1, 3, 2}, Dims(14, 1), Dims{2, 1, 2, 1, 2, 1, 1, 3, 1, 1, 2, 1, 2, 2}});
  for (int trial = 0; trial < 40; ++trial) {
    Dims d = random_dims(), start(d.size()), box(d.size());
    for (size_t k = 0; k < d.size(); ++k) start[k] = below(12), box[k] = 1 + below(trial % 2 ? 9 : d[k]);
    rows.push_back({d, start, box});
  }
  std::vector<std::pair<Dims, Dims>> indexed = {
      {{3, 4}, {-1, 2}}, {{3, 4}, {2, 3}}, {{5}, {-1}}, {{5}, {3}}, {{2, 3, 4, 5}, {-1, 1, -1, 4}}};
  indexed.push_back({Dims(12, 2), {1, -1, 0, -1, -1, 1, 0, -1, 1, 1, -1, 0}});
  for (auto [d, ix] : indexed) {
    Dims start(d.size()), box(d.size());
    for (size_t k = 0; k < d.size(); ++k)
      start[k] = std::max(ix[k], 0), box[k] = ix[k] == -1 && d.size() > 1 ? d[k] : 1;
    rows.push_back({d, start, box, ix});
  }
  for (auto& [src_dims, start, box, indices] : rows) {
    const Values src = distinct(count_of(src_dims));
    const Values want = over(box, [&](const Dims& j) {
      Dims c(j.size());
      for (size_t k = 0; k < j.size(); ++k) c[k] = (j[k] + start[k]) % src_dims[k];
      return src[flat(c, src_dims)];
    });
    DeviceBuffer<float> d(src);
    float* out = nullptr;
    ASSERT_EQ(SGL_ArraySubset(int(box.size()), data(src_dims), data(start), data(box), d.get(), &out), cudaSuccess);
    expect_array(out, want, "subset " + str(src_dims) + " at " + str(start) + " box " + str(box));
    if (indices.empty()) continue;
    Dims got_dims(src_dims.size(), -7);
    SGL_IndexArray(int(src_dims.size()), src_dims.data(), indices.data(), d.get(), &out, got_dims.data());
    EXPECT_EQ(got_dims, box);
    expect_array(out, want, "index " + str(indices));
  }
}

// cut(src, &kept, its sizes, &removed, its sizes) takes count positions from first along axis out of dims: what it
// kept and what it removed, joined back at the cut, are the source.
template <typename T, typename Cut>
void expect_cut(Cut cut, const Dims& dims, int first, int count, int axis, const std::string& what) {
  const std::vector<T> src = distinct<T>(count_of(dims));
  DeviceBuffer<T> d(src);
  Dims kept = dims, removed = dims, got_kept(dims.size(), -7), got_removed(dims.size(), -7);
  kept[axis] -= count, removed[axis] = count;
  T *rest = nullptr, *taken = nullptr;
  ASSERT_EQ(cut(d.get(), &rest, got_kept.data(), &taken, got_removed.data()), cudaSuccess) << what;
  EXPECT_TRUE(got_kept == kept && got_removed == removed) << what << ": " << str(got_kept) << str(got_removed);
  const std::vector<T> a = take(rest, count_of(kept), what), b = take(taken, count_of(removed), what);
  EXPECT_TRUE(same_bytes(joined(dims, axis, first, count, a, kept, b, removed), src)) << what;
}

// Replace writes sub over the box at start; delete cuts the box's positions along axis.
template <typename T, typename Replace, typename Delete>
void expect_replace_and_delete(Replace replace, Delete del, Dims dims, Dims sub_dims, Dims start, int axis) {
  const std::vector<T> src = distinct<T>(count_of(dims)), sub = distinct<T>(count_of(sub_dims), 1000);
  const std::vector<T> want = over(dims, [&](Dims c) {
    const T old = src[flat(c, dims)];
    for (size_t k = 0; k < c.size(); ++k)
      if ((c[k] -= start[k]) < 0 || c[k] >= sub_dims[k]) return old;
    return sub[flat(c, sub_dims)];
  });
  DeviceBuffer<T> d(src), s(sub);
  ASSERT_EQ(replace(int(dims.size()), data(dims), data(sub_dims), data(start), d.get(), s.get()), cudaSuccess);
  EXPECT_TRUE(same_bytes(d.download(), want)) << "replace " << str(sub_dims) << " at " << str(start);
  const int first = start[axis], count = sub_dims[axis];
  expect_cut<T>([&](auto... out) { return del(int(dims.size()), dims.data(), first, count, axis, out...); }, dims,
                first, count, axis, "delete " + std::to_string(count) + " at " + std::to_string(first) + str(dims));
}

TEST_F(NdArrays, ReplaceOverwritesOnlyTheBoxDeleteAndSplitsCutAlongTheAxis) {
  for (int trial = 0; trial < 40; ++trial) {
    const Dims d = trial == 0 ? Dims{3, 3} : trial == 1 ? Dims(13, 2) : random_dims();
    Dims sub(d.size()), start(d.size());
    for (size_t k = 0; k < d.size(); ++k) sub[k] = 1 + below(d[k]), start[k] = below(d[k] - sub[k] + 1);
    const int axis = below(int(d.size()));
    if (trial % 8 == 2) sub[axis] = 0;                         // nothing deleted
    if (trial % 8 == 3) sub[axis] = d[axis], start[axis] = 0;  // everything deleted
    expect_replace_and_delete<float>(SGL_ReplaceArraySubset, SGL_DeleteFromArray, d, sub, start, axis);
    expect_replace_and_delete<float2>(CSG_ReplaceArraySubset, CSG_DeleteFromArray, d, sub, start, axis);
  }
  // A range off the 16-byte words of a row: the runs of four after it are shifted off words too.
  expect_replace_and_delete<float>(SGL_ReplaceArraySubset, SGL_DeleteFromArray, {12}, {3}, {1}, 0);
  // The splits: 1-D, or 2-D before a row (mode 1) or a column (any other mode), at the clamped index; the first
  // part is what a cut from 0 removes.
  const std::vector<std::tuple<Dims, int, int>> splits = {
      {{10}, 4, 0},   {{10}, -3, 0},  {{10}, 12, 0},  {{1000}, 600, 0},  {{0}, 0, 0},      {{4, 256}, 2, 1},
      {{3, 5}, 2, 0}, {{3, 5}, 0, 1}, {{3, 5}, 9, 2}, {{33, 40}, 17, 0}, {{33, 40}, 20, 1}};
  for (auto [dims, index, mode] : splits) {
    const int axis = mode == 1 ? 0 : int(dims.size()) - 1;
    const auto split = [&](float* src, float** second, int* second_dims, float** first, int* first_dims) {
      return dims.size() == 1 ? SGL_Split1DArray(dims[0], index, src, first, first_dims, second, second_dims)
                              : SGL_Split2DArray(dims.data(), index, mode, src, first, first_dims, second, second_dims);
    };
    expect_cut<float>(split, dims, 0, std::clamp(index, 0, dims[axis]), axis,
                      str(dims) + " at " + std::to_string(index));
  }
}

TEST_F(NdArrays, InsertBuildAndConcatenatePadAndDropAlongTheOtherDimensions) {
  // {kind, a's sizes, b's sizes, start, axis}: kind 0 inserts b into a at start along axis; 1 builds and 2
  // concatenates, b after a along the first dimension (two single elements build a pair). Inserts narrower and
  // wider than a, at the end, of a slice (one rank less), before dimensions that merge, padded and cut at once, at
  // ten dimensions; along the rows, inside one run of four, shifted off the 16-byte words, and with the block cut
  // along a dimension the result drops.
  std::vector<std::tuple<int, Dims, Dims, int, int>> rows = {
      {0, {2, 3}, {2, 2}, 0, 0},    {0, {2, 3}, {1, 4}, 1, 0},       {0, {2, 3}, {2, 2}, 3, 1},      {0, {4}, {}, 2, 0},
      {0, {3, 2, 4}, {3, 4}, 2, 1}, {0, {2, 3, 4}, {1, 3, 4}, 1, 0}, {0, {2, 3, 2}, {1, 4, 3}, 2, 2},
      {0, {2, 3}, {2}, 1, 1},       {0, {2, 8}, {2, 8}, 2, 1},       {0, {2, 3, 1}, {2, 2, 2}, 1, 1}};
  rows.push_back({0, Dims(10, 2), Dims(9, 3), 1, 4});
  std::vector<std::pair<Dims, Dims>> joins = {{{2, 3}, {1, 4}}, {{2, 3}, {3}}, {{3}, {2, 3}},   {{4}, {}},
                                              {{}, {4}},        {{}, {}},      {{1030}, {700}}, {{2, 3, 4}, {5, 3, 4}}};
  joins.push_back({{2, 1, 3, 2, 1, 2, 2, 1, 3}, {1, 2, 3, 1, 2, 2, 1, 2, 2}});
  joins.insert(joins.end(), {{Dims(10, 2), Dims(9, 2)}, {Dims(9, 2), Dims(10, 2)}});  // ten dimensions: the limit
  for (auto [a, b] : joins)
    for (int kind : {1, 2})
      if (kind == 1 || a.size() + b.size() > 0) rows.push_back({kind, a, b, 0, 0});
  for (auto& [kind, da, db, at, along] : rows) {
    const Values a = distinct(count_of(da)), b = distinct(count_of(db), 300);
    // Of equal rank: build stacks equal ranks along a new first dimension, a slice to insert is one thick along
    // the axis, and the joins give the lower rank a leading 1.
    Dims ea = da, eb = db;
    if (kind == 1 && ea.size() == eb.size()) ea.insert(ea.begin(), 1), eb.insert(eb.begin(), 1);
    if (eb.size() < ea.size()) eb.insert(eb.begin() + (kind == 0 ? along : 0), 1);
    if (ea.size() < eb.size()) ea.insert(ea.begin(), 1);
    const int start = kind == 0 ? at : ea[0], axis = kind == 0 ? along : 0;
    Dims out_dims(ea.size()), got(ea.size(), -7);
    for (size_t k = 0; k < ea.size(); ++k)
      out_dims[k] = int(k) == axis ? ea[k] + eb[k] : kind == 0 ? ea[k] : std::max(ea[k], eb[k]);
    DeviceBuffer<float> x(a), y(b);
    float *const px = x.get(), *const py = y.get(), *out = nullptr;
    const int na = int(da.size()), nb = int(db.size());
    if (kind == 0)
      ASSERT_EQ(SGL_InsertIntoArray(na, nb, da.data(), data(db), start, axis, px, py, &out, got.data()), cudaSuccess);
    else
      (kind == 1 ? SGL_BuildArray : SGL_ConcatenateArray)(na, nb, data(da), data(db), px, py, &out, got.data());
    EXPECT_EQ(got, out_dims);
    expect_array(out, joined(out_dims, axis, start, eb[axis], a, ea, b, eb),
                 std::to_string(kind) + ": " + str(db) + " into " + str(da) + " at " + std::to_string(start));
  }
}

TEST_F(NdArrays, ReshapeKeepsTheSequenceAndTransposesPermuteDimensions) {
  const Values six = distinct(6);
  DeviceBuffer<float> d6(six);
  for (Dims dims : {Dims{2, 2}, Dims{4, 2}, Dims{}, Dims(12, 1), Dims{3, 0}}) {
    float* out = nullptr;
    ASSERT_EQ(SGL_ReshapeArray(d6.get(), 6, data(dims), int(dims.size()), &out), cudaSuccess);
    Values want(six.begin(), six.begin() + std::min(count_of(dims), 6));
    want.resize(count_of(dims), 0.0f);  // padded with zeros
    expect_array(out, want, "reshape to " + str(dims));
  }
  // {sizes, permutation}: tiles over a batch (40, 3, 35), the innermost staying (rows: 5, 36, 34), rank 0 (no sizes
  // read), rank 1, size-1 dimensions dropped and neighbours merged, twelve dimensions.
  std::vector<std::pair<Dims, Dims>> rows = {
      {{17, 1}, {1, 0}},      {{1, 40}, {1, 0}},        {{33, 65}, {1, 0}},       {{2, 3, 4}, {1, 2, 0}},
      {{2, 3, 4}, {0, 1, 2}}, {{40, 3, 35}, {2, 0, 1}}, {{5, 36, 34}, {1, 0, 2}}, {{7}, {0}}};
  rows.insert(rows.end(), {{{}, {}}, {{3, 1, 4, 5, 2}, {2, 3, 0, 1, 4}}, {{2, 3, 4, 5}, {2, 3, 0, 1}}});
  rows.push_back({{2, 1, 3, 1, 2, 2, 1, 2, 2, 1, 3, 2}, {11, 3, 0, 10, 5, 2, 7, 1, 9, 4, 8, 6}});
  for (auto& [dims, perm] : rows) {
    const Values src = distinct(count_of(dims));
    Dims out_dims(dims.size()), got_dims(dims.size(), -7);
    for (size_t j = 0; j < perm.size(); ++j) out_dims[j] = dims[perm[j]];
    const Values want = over(out_dims, [&](const Dims& e) {
      Dims c(e.size());
      for (size_t j = 0; j < perm.size(); ++j) c[perm[j]] = e[j];
      return src[flat(c, dims)];
    });
    DeviceBuffer<float> d(src), dst(src.size());
    float* out = nullptr;
    SGL_TransposeNDArray(int(dims.size()), data(dims), data(perm), d.get(), &out, data(got_dims));
    EXPECT_EQ(got_dims, out_dims);
    expect_array(out, want, str(dims) + " by " + str(perm));
    if (dims.size() != 2 || perm[0] != 1) continue;
    ASSERT_EQ(SGL_Transpose2DArray(dims.data(), d.get(), dst.get()), cudaSuccess);
    EXPECT_EQ(dst.download(), want) << "2-D " << str(dims);
  }
}

// Refused: no runtime call, the status, and no output: outputs null, sizes and counts zero (as they were). The
// exports with no status show a refusal that way only. Rows are numbered in their messages from 1, in order.
TEST_F(NdArrays, RefusedCallsDoNoDeviceWorkAndLeaveNoOutput) {
  DeviceBuffer<float> a(distinct(48)), b(distinct(48, 100));
  float *const x = a.get(), *const y = b.get(), *out, *other;
  int d[] = {2, 3, 4}, neg[] = {2, -3, 4}, zero[] = {2, 0, 4}, big[] = {65536, 65536}, at[] = {0, 0, 0};
  int below0[] = {0, -1, 0}, far[] = {0, 2, 2}, box[] = {2, 2, 3}, idx[] = {-1, 3, 0}, all[] = {-1, -1, -1};
  int dup[] = {0, 0, 1}, perm3[] = {0, 3, 1}, ins[] = {2, 5}, huge[] = {INT_MAX, -1}, minus2[] = {-2};
  int wide[] = {0, 131072, 131072}, empty_dst[] = {0, 46341, 131072}, thin[] = {0, 1, 1}, inner[] = {0, 46340, 0};
  Dims ones(11, 1);
  int *const one = ones.data(), sizes[24], *const o = sizes, *const o2 = sizes + 11, &nf = sizes[22], &ns = sizes[23];
  const auto subset = [&](auto... a) { return [&, a...] { return SGL_ArraySubset(a..., x, &out); }; };
  const auto replace = [&](auto... a) { return [&, a...] { return SGL_ReplaceArraySubset(3, d, a...); }; };
  const auto cut = [&](auto... a) { return [&, a...] { return SGL_DeleteFromArray(a..., x, &out, o, &other, o2); }; };
  const auto insert = [&](auto... a) { return [&, a...] { return SGL_InsertIntoArray(a..., x, y, &out, o); }; };
  const auto reshape = [&](auto... a) { return [&, a...] { return SGL_ReshapeArray(x, a..., &out); }; };
  const auto transpose = [&](auto... a) { return [&, a...] { return SGL_Transpose2DArray(a...); }; };
  const auto split = [&](auto n, auto... a) {
    return [&, n, a...] { return SGL_Split1DArray(n, 2, x, &out, a..., &ns); };
  };
  const auto split2 = [&](auto* s) { return [&, s] { return SGL_Split2DArray(s, 5, 0, x, &out, o, &other, o2); }; };
  // The exports with no status: 1 once they return.
  const auto index = [&](auto... a) { return [&, a...] { return SGL_IndexArray(a..., x, &out, o), 1; }; };
  const auto permute = [&](auto... a) { return [&, a...] { return SGL_TransposeNDArray(a..., x, &out, o), 1; }; };
  const auto build = [&](auto... a) { return [&, a...] { return SGL_BuildArray(a..., x, y, &out, o), 1; }; };
  const auto concat = [&](auto... a) { return [&, a...] { return SGL_ConcatenateArray(a..., x, y, &out, o), 1; }; };
  const auto nulled = [&] { return out == nullptr && other == nullptr && std::count(sizes, sizes + 24, 0) == 24; };
  int row = 0;
  const auto expect_rows = [&](int status, std::function<bool()> clean, std::vector<std::function<int()>> calls) {
    for (const auto& call : calls) {
      out = x, other = nullptr, std::fill_n(sizes, 24, 0);  // a stale output
      expect_contract({"row " + std::to_string(++row), {}, call, status, clean});
    }
  };
  // An empty destination whose inner sizes multiply beyond int takes an empty box without forming an offset.
  expect_rows(0, nullptr, {[&] { return SGL_ReplaceArraySubset(3, empty_dst, thin, inner, x, y); }});
  expect_rows(cudaErrorInvalidValue, nulled,
              {// subset: of rank -1, of a zero size, from below 0, of a negative box, from null, beyond INT_MAX, of
               // an empty source
               subset(-1, d, at, box), subset(3, zero, at, box), subset(3, d, below0, box), subset(3, d, at, neg),
               subset(3, d, nullptr, box), subset(2, d, at, big), subset(3, wide, at, box),
               // delete: on axis 3, past the end, from -1, of -1, from a zero size, of rank 0
               cut(3, d, 0, 1, 3), cut(3, d, 2, 2, 1), cut(3, d, -1, 1, 1), cut(3, d, 0, -1, 1), cut(3, zero, 0, 1, 0),
               cut(0, d, 0, 0, 0),
               // insert: of rank 1 into 3, past the end, at -1, on axis 3, of rank 11, of a zero size
               insert(3, 1, d, ins, 0, 0), insert(3, 2, d, ins, 3, 0), insert(3, 2, d, ins, -1, 0),
               insert(3, 2, d, ins, 0, 3), insert(11, 11, one, one, 0, 0), insert(3, 3, d, zero, 0, 0),
               // reshape: of -1, to a negative size, beyond INT_MAX; split 1-D: of -1, without a count, to one
               // address; split 2-D: of a negative size, beyond INT_MAX
               reshape(-1, d, 3), reshape(24, neg, 3), reshape(24, big, 2), split(-1, &nf, &other),
               split(4, nullptr, &other), split(4, &nf, &out), split2(neg), split2(big)});
  // No output to check: replace past the end, from below 0, overlapping; delete complex on axis -1; transpose 2-D
  // of a negative size, beyond INT_MAX, overlapping.
  expect_rows(cudaErrorInvalidValue, nullptr,
              {replace(box, far, x, y), replace(box, below0, x, y), replace(box, at, x, x + 5),
               [&] { return CSG_DeleteFromArray(3, d, 0, 1, -1, nullptr, nullptr, o, nullptr, o2); },
               transpose(neg + 1, x, y), transpose(big, x, y), transpose(d, x, x + 3)});
  // index: past a size, at -2, of a zero size, at INT_MAX, of rank 1 without sizes; transpose N-D: by a repeated
  // axis, by axis 3, of a zero size, of rank 1 without sizes; build of rank 1 onto 3, of rank 10; concatenate of
  // rank 0, of a zero size, of rank 11, of ranks 11 and 10; build of ranks 10 and 11
  expect_rows(1, nulled,
              {index(3, d, idx), index(1, ins + 1, minus2), index(3, zero, all), index(2, ins, huge),
               index(1, nullptr, at), permute(3, d, dup), permute(3, d, perm3), permute(3, zero, at),
               permute(1, nullptr, at), build(3, 1, d, d), build(10, 10, one, one), concat(0, 0, nullptr, nullptr),
               concat(3, 3, d, zero), concat(11, 11, one, one), concat(11, 10, one, one), build(10, 11, one, one)});
}

}  // namespace
