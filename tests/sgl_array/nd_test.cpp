// The N-D family against plain host loops over coordinates: random shapes, the documented examples, ranks
// beyond ten. The parts of a delete or a split must join back into their source under the reference that
// checks insert and the joins. Then every export's runtime calls, bad arguments and failing steps as rows of
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

class NdArrays : public ExportTest {
 protected:
  std::mt19937 rng{12345};
  Dims random_dims(int rank, int largest = 7) {
    Dims d(rank);
    for (int& s : d) s = 1 + static_cast<int>(rng() % largest);
    return d;
  }
  int below(int n) { return static_cast<int>(rng() % n); }
};

TEST_F(NdArrays, SubsetWrapsAndIndexKeepsTheDimensionsMarkedMinusOne) {
  // {source sizes, start, box}: larger than the source (s1 s2 s0 s1 s2 s0 s1), a multiple-block wrap, rank 0
  // (src[0]), empty boxes (a null output, no index space built), fourteen dimensions. An index row gives the
  // indices whose elements make that box (no wrap).
  std::vector<std::array<Dims, 4>> rows = {
      {{{3}, {1}, {7}}},
      {{{3, 1, 4}, {5, 9, 2}, {4, 3, 9}}},
      {{{1030}, {1000}, {1030}}},
      {{{}, {}, {}}},
      {{{3}, {131072}, {0}}},
      {{{4, 5}, {1, 2}, {2, 0}}},
      {{Dims{2, 1, 3, 1, 2, 1, 2, 3, 1, 2, 2, 1, 3, 2}, Dims(14, 1), Dims{2, 1, 2, 1, 2, 1, 1, 3, 1, 1, 2, 1, 2, 2}}}};
  for (int trial = 0; trial < 40; ++trial) {
    Dims d = random_dims(1 + below(6)), start(d.size()), box(d.size());
    for (size_t k = 0; k < d.size(); ++k) start[k] = below(12), box[k] = 1 + below(trial % 2 ? 9 : d[k]);
    rows.push_back({d, start, box});
  }
  const std::vector<std::pair<Dims, Dims>> indexed = {{{3, 4}, {-1, 2}},
                                                      {{3, 4}, {2, 3}},
                                                      {{5}, {-1}},
                                                      {{5}, {3}},
                                                      {{2, 3, 4, 5}, {-1, 1, -1, 4}},
                                                      {Dims(12, 2), {1, -1, 0, -1, -1, 1, 0, -1, 1, 1, -1, 0}}};
  for (auto [dims, indices] : indexed) {
    Dims start(dims.size()), box(dims.size());
    for (size_t k = 0; k < dims.size(); ++k)
      start[k] = std::max(indices[k], 0), box[k] = indices[k] == -1 && dims.size() > 1 ? dims[k] : 1;
    rows.push_back({dims, start, box, indices});
  }
  for (auto& [src_dims, start, box, indices] : rows) {
    const Values src = distinct(count_of(src_dims));
    const Values want = over(box, [&](const Dims& j) {
      Dims c(j.size());
      for (size_t k = 0; k < j.size(); ++k) c[k] = (j[k] + start[k]) % src_dims[k];
      return src[flat(c, src_dims)];
    });
    DeviceBuffer<float> d(src);
    float *out = nullptr, *picked = nullptr;
    ASSERT_EQ(SGL_ArraySubset(int(box.size()), data(src_dims), data(start), data(box), d.get(), &out), cudaSuccess);
    expect_array(out, want, "subset " + str(src_dims) + " at " + str(start) + " box " + str(box));
    if (indices.empty()) continue;
    Dims got_dims(src_dims.size(), -7);
    SGL_IndexArray(int(src_dims.size()), src_dims.data(), indices.data(), d.get(), &picked, got_dims.data());
    EXPECT_EQ(got_dims, box);
    expect_array(picked, want, "index " + str(indices));
  }
}

// Replace writes sub over the box at start; delete cuts sub_dims[axis] positions from start[axis] along axis,
// and what it kept and what it removed, joined back at the cut, are the source.
template <typename T, typename Replace, typename Delete>
void expect_replace_and_delete(Replace replace, Delete del, Dims dims, Dims sub_dims, Dims start, int axis) {
  const std::vector<T> src = distinct<T>(count_of(dims)), sub = distinct<T>(count_of(sub_dims), 1000);
  std::vector<T> want = src;
  auto at = sub.begin();
  over(sub_dims, [&](const Dims& q) {
    Dims c(q);
    for (size_t k = 0; k < q.size(); ++k) c[k] += start[k];
    return want[flat(c, dims)] = *at++, 0;
  });
  DeviceBuffer<T> d(src), s(sub);
  if (!sub.empty()) {
    ASSERT_EQ(replace(int(dims.size()), data(dims), data(sub_dims), data(start), d.get(), s.get()), cudaSuccess);
    EXPECT_TRUE(same_bytes(d.download(), want)) << "replace " << str(sub_dims) << " at " << str(start);
  }
  const int first = start[axis], count = sub_dims[axis];
  Dims kept = dims, removed = dims, kept_dims(dims.size(), -7), removed_dims(dims.size(), -7);
  kept[axis] -= count, removed[axis] = count;
  T *out = nullptr, *deleted = nullptr;
  d.upload(src);
  ASSERT_EQ(del(int(dims.size()), dims.data(), first, count, axis, d.get(), &out, kept_dims.data(), &deleted,
                removed_dims.data()),
            cudaSuccess);
  EXPECT_TRUE(kept_dims == kept && removed_dims == removed) << str(kept_dims) << str(removed_dims);
  const std::string what = "delete " + std::to_string(count) + " at " + std::to_string(first) + " of " + str(dims);
  const std::vector<T> rest = take(out, count_of(kept), what), cut = take(deleted, count_of(removed), what);
  EXPECT_TRUE(same_bytes(joined(dims, axis, first, count, rest, kept, cut, removed), src)) << what;
}

TEST_F(NdArrays, ReplaceOverwritesOnlyTheBoxDeleteAndSplitsCutAlongTheAxis) {
  for (int trial = 0; trial < 40; ++trial) {
    const Dims d = trial == 0 ? Dims{3, 3} : trial == 1 ? Dims(13, 2) : random_dims(1 + below(6));
    Dims sub(d.size()), start(d.size());
    for (size_t k = 0; k < d.size(); ++k) sub[k] = 1 + below(d[k]), start[k] = below(d[k] - sub[k] + 1);
    const int axis = below(int(d.size()));
    if (trial % 8 == 2) sub[axis] = 0;                         // nothing deleted
    if (trial % 8 == 3) sub[axis] = d[axis], start[axis] = 0;  // everything deleted
    expect_replace_and_delete<float>(SGL_ReplaceArraySubset, SGL_DeleteFromArray, d, sub, start, axis);
    expect_replace_and_delete<float2>(CSG_ReplaceArraySubset, CSG_DeleteFromArray, d, sub, start, axis);
  }
  // The splits: 1-D, or 2-D before a row (mode 1) or a column (any other mode), at the clamped index.
  const Values src = distinct(1320);
  DeviceBuffer<float> d(src);
  const std::vector<std::tuple<Dims, int, int>> splits = {
      {{10}, 4, 0},   {{10}, -3, 0},  {{10}, 12, 0},  {{1000}, 600, 0},  {{0}, 0, 0},      {{4, 256}, 2, 1},
      {{3, 5}, 2, 0}, {{3, 5}, 0, 1}, {{3, 5}, 9, 2}, {{33, 40}, 17, 0}, {{33, 40}, 20, 1}};
  for (auto [dims, index, mode] : splits) {
    const int axis = mode == 1 ? 0 : int(dims.size()) - 1, at = std::clamp(index, 0, dims[axis]);
    Dims first_dims = dims, second_dims = dims, got_first(dims.size(), -7), got_second(dims.size(), -7);
    first_dims[axis] = at, second_dims[axis] -= at;
    float *first = nullptr, *second = nullptr;
    ASSERT_EQ(
        dims.size() == 1
            ? SGL_Split1DArray(dims[0], index, d.get(), &first, &got_first[0], &second, &got_second[0])
            : SGL_Split2DArray(dims.data(), index, mode, d.get(), &first, got_first.data(), &second, got_second.data()),
        cudaSuccess);
    EXPECT_TRUE(got_first == first_dims && got_second == second_dims) << str(got_first) << str(got_second);
    const std::string what = "split " + str(dims) + " at " + std::to_string(index);
    const Values a = take(first, count_of(first_dims), what), b = take(second, count_of(second_dims), what);
    EXPECT_EQ(joined(dims, axis, 0, at, b, second_dims, a, first_dims),
              Values(src.begin(), src.begin() + count_of(dims)))
        << what;
  }
}

TEST_F(NdArrays, InsertBuildAndConcatenatePadAndDropAlongTheOtherDimensions) {
  // {kind, a's sizes, b's sizes, start, axis}: kind 0 inserts b into a at start along axis; 1 builds and 2
  // concatenates, b after a along the first dimension (two single elements build a pair).
  std::vector<std::tuple<int, Dims, Dims, int, int>> rows = {
      {0, {2, 3}, {2, 2}, 0, 0}, {0, {2, 3}, {1, 4}, 1, 0}, {0, {2, 3}, {2, 2}, 3, 1}, {0, {4}, {}, 2, 0}};
  std::vector<std::pair<Dims, Dims>> joins = {{{2, 3}, {1, 4}}, {{2, 3}, {3}}, {{3}, {2, 3}},  {{4}, {}},
                                              {{}, {4}},        {{}, {}},      {{1030}, {700}}};
  joins.push_back({{2, 1, 3, 2, 1, 2, 2, 1, 3}, {1, 2, 3, 1, 2, 2, 1, 2, 2}});
  joins.insert(joins.end(), {{Dims(10, 2), Dims(9, 2)}, {Dims(9, 2), Dims(10, 2)}});  // ten dimensions: the limit
  rows.push_back({0, Dims(10, 2), Dims(9, 3), 1, 4});
  for (auto [a, b] : joins)
    for (int kind : {1, 2})
      if (kind == 1 || a.size() + b.size() > 0) rows.push_back({kind, a, b, 0, 0});
  for (int trial = 0; trial < 30; ++trial) {
    const Dims a = random_dims(1 + below(6));
    const int axis = below(int(a.size()));
    Dims b = random_dims(int(a.size()));
    if (trial % 3 == 0) b.erase(b.begin() + axis);  // one rank less: a single slice to insert
    for (size_t k = 0; trial % 3 == 1 && k < a.size(); ++k) b[k] = int(k) == axis ? b[k] : a[k];
    for (int kind : {0, 1, 2}) rows.push_back({kind, a, b, below(a[axis] + 1), axis});
  }
  for (auto& [kind, da, db, at, along] : rows) {
    const Values a = distinct(count_of(da)), b = distinct(count_of(db), 300);
    Dims ea = da, eb = db;  // of equal rank: build stacks equal ranks along a new first dimension
    int start = at, axis = along;
    if (kind == 0 && eb.size() < ea.size()) eb.insert(eb.begin() + axis, 1);
    if (kind != 0) {
      if (ea.size() == eb.size() && kind == 1) ea.insert(ea.begin(), 1), eb.insert(eb.begin(), 1);
      if (ea.size() < eb.size()) ea.insert(ea.begin(), 1);
      if (eb.size() < ea.size()) eb.insert(eb.begin(), 1);
      start = ea[0], axis = 0;
    }
    Dims out_dims(ea.size()), got_dims(ea.size(), -7);
    for (size_t k = 0; k < ea.size(); ++k)
      out_dims[k] = int(k) == axis ? ea[k] + eb[k] : kind == 0 ? ea[k] : std::max(ea[k], eb[k]);
    DeviceBuffer<float> x(a), y(b);
    float* out = nullptr;
    const int na = int(da.size()), nb = int(db.size());
    if (kind == 0)
      ASSERT_EQ(SGL_InsertIntoArray(na, nb, da.data(), data(db), start, axis, x.get(), y.get(), &out, got_dims.data()),
                cudaSuccess);
    else
      (kind == 1 ? SGL_BuildArray : SGL_ConcatenateArray)(na, nb, data(da), data(db), x.get(), y.get(), &out,
                                                          got_dims.data());
    EXPECT_EQ(got_dims, out_dims);
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
  // {sizes, permutation}: tiles over a batch (40, 3, 35), the innermost staying (rows: 5, 36, 34), twelve dimensions.
  std::vector<std::pair<Dims, Dims>> rows = {{{17, 1}, {1, 0}},       {{1, 40}, {1, 0}},      {{33, 65}, {1, 0}},
                                             {{2, 3, 4}, {1, 2, 0}},  {{2, 3, 4}, {0, 1, 2}}, {{40, 3, 35}, {2, 0, 1}},
                                             {{5, 36, 34}, {1, 0, 2}}};
  rows.push_back({{2, 1, 3, 1, 2, 2, 1, 2, 2, 1, 3, 2}, {11, 3, 0, 10, 5, 2, 7, 1, 9, 4, 8, 6}});
  for (int trial = 0; trial < 30; ++trial) {
    Dims perm(1 + below(6));
    std::iota(perm.begin(), perm.end(), 0), std::shuffle(perm.begin(), perm.end(), rng);
    rows.push_back({random_dims(int(perm.size())), perm});
  }
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
    SGL_TransposeNDArray(int(dims.size()), dims.data(), perm.data(), d.get(), &out, got_dims.data());
    EXPECT_EQ(got_dims, out_dims);
    expect_array(out, want, str(dims) + " by " + str(perm));
    if (dims.size() != 2 || perm[0] != 1) continue;
    ASSERT_EQ(SGL_Transpose2DArray(dims.data(), d.get(), dst.get()), cudaSuccess);
    EXPECT_EQ(dst.download(), want) << "2-D " << str(dims);
  }
}

TEST_F(NdArrays, RuntimeCallsBadArgumentsAndFailures) {
  DeviceBuffer<float> a(distinct(48)), b(distinct(48, 100));
  float *const x = a.get(), *const y = b.get();
  float2 *const cx = reinterpret_cast<float2*>(x), *const cy = reinterpret_cast<float2*>(y);
  Dims d{2, 3, 4}, neg{2, -3, 4}, zero{2, 0, 4}, big{65536, 65536}, start{0, 0, 0}, bad_start{0, -1, 0}, one(11, 1);
  Dims far{0, 2, 2}, box{2, 2, 3}, idx{-1, 3, 0}, perm_dup{0, 0, 1}, perm_far{0, 3, 1}, ins{2, 5}, d6{6, 4}, d2{2, 12};
  Dims corner{1, 0, 2}, sub{1, 2, 2}, minus2{-2}, keep{-1, 1, -1}, perm{2, 0, 1}, ins2{2, 3}, o(11), o2(11);
  Dims empty_wide{0, 131072, 131072}, empty_dst{0, 46341, 131072}, thin{0, 1, 1}, inner{0, 46340, 0}, huge{INT_MAX, -1};
  int *const s = d.data(), *const s0 = zero.data(), *const s1 = one.data(), *const at = start.data();
  float *out, *other;
  float2 *cout, *cother;
  int nf, ns;
  // Every call starts from stale outputs and sizes; what a success hands over is released here.
  const auto with = [&](std::function<int()> call) -> std::function<int()> {
    return [&, call] {
      out = other = x, cout = cother = cx, nf = ns = 7;
      std::fill(o.begin(), o.end(), 7), std::fill(o2.begin(), o2.end(), 7);
      const int status = call();
      for (void* p : {(void*)out, (void*)other, (void*)cout, (void*)cother})
        if (p != x) EXPECT_EQ(cudaFree(p), cudaSuccess);
      return status;
    };
  };
  const auto unset = [](const Dims& v) {
    return std::all_of(v.begin(), v.end(), [](int k) { return k == 0 || k == 7; });
  };
  // The exports with no result: 0 when they made an output, 1 with none and the output sizes zero (or as they were).
  const auto none = [&](std::function<void()> call) {
    return with([&, call] {
      call();
      return out != nullptr && out != x ? 0 : out == nullptr && unset(o) ? 1 : 2;
    });
  };
  const auto call = [&](auto export_call, auto... a) {
    return with([&, export_call, a...] { return export_call(a...); });
  };
  const auto subset = [&](auto... a) { return with([&, a...] { return SGL_ArraySubset(a..., x, &out); }); };
  const auto replace = [&](auto... a) { return with([&, a...] { return SGL_ReplaceArraySubset(3, s, a...); }); };
  const auto cut = [&](auto... a) {
    return with([&, a...] { return SGL_DeleteFromArray(a..., x, &out, o.data(), &other, o2.data()); });
  };
  const auto insert = [&](auto... a) {
    return with([&, a...] { return SGL_InsertIntoArray(a..., x, y, &out, o.data()); });
  };
  const auto reshape = [&](auto... a) { return with([&, a...] { return SGL_ReshapeArray(x, a..., &out); }); };
  const auto transpose = [&](auto... a) { return with([&, a...] { return SGL_Transpose2DArray(a...); }); };
  const auto split = [&](int n, auto... a) {
    return with([&, n, a...] { return SGL_Split1DArray(n, n / 2, x, &out, a..., &ns); });
  };
  const auto split2 = [&](auto... a) {
    return with([&, a...] { return SGL_Split2DArray(a..., 5, 0, x, &out, o.data(), &other, o2.data()); });
  };
  const auto index = [&](auto... a) { return none([&, a...] { SGL_IndexArray(a..., x, &out, o.data()); }); };
  const auto permute = [&](auto... a) { return none([&, a...] { SGL_TransposeNDArray(3, a..., x, &out, o.data()); }); };
  const auto join = [&](bool build, auto... a) {
    return none([&, build, a...] { (build ? SGL_BuildArray : SGL_ConcatenateArray)(a..., x, y, &out, o.data()); });
  };
  // Refused or failed: no output, and the output sizes and counts zero or as they were.
  const auto nulled = [&] {
    return out == nullptr && (other == nullptr || other == x) && unset({nf, ns}) && unset(o) && unset(o2);
  };
  const int bad = cudaErrorInvalidValue;
  // alloc, free, h2d, d2h, d2d, memset, sync, launch: the output allocations, the test's release of them.
  std::vector<Contract> rows = {
      {"subset", {1, 1, 0, 0, 0, 0, 1, 1}, subset(3, s, corner.data(), box.data()), 0, nulled},
      {"replace", {0, 0, 0, 0, 0, 0, 1, 1}, replace(sub.data(), at, x, y)},
      {"replace complex", {0, 0, 0, 0, 0, 0, 1, 1}, call(CSG_ReplaceArraySubset, 2, d6.data(), d6.data(), at, cx, cy)},
      {"delete", {2, 2, 0, 0, 0, 0, 1, 1}, cut(3, s, 1, 2, 1), 0, nulled},
      {"delete complex",
       {2, 2, 0, 0, 0, 0, 1, 1},
       call(CSG_DeleteFromArray, 2, d6.data(), 1, 2, 1, cx, &cout, o.data(), &cother, o2.data())},
      {"insert", {1, 1, 0, 0, 0, 0, 1, 1}, insert(3, 2, s, ins2.data(), 1, 2), 0, nulled},
      {"reshape", {1, 1, 0, 0, 1, 1, 0, 0}, reshape(20, s, 3), 0, nulled},
      {"transpose 2-D", {0, 0, 0, 0, 0, 0, 0, 1}, transpose(d2.data(), x, y)},
      {"split 1-D", {2, 2, 0, 0, 0, 0, 0, 2}, split(24, &nf, &other), 0, nulled},
      {"split 2-D", {2, 2, 0, 0, 0, 0, 0, 2}, split2(d2.data()), 0, nulled},
      {"replace into an empty destination wider than int",
       {},
       call(SGL_ReplaceArraySubset, 3, empty_dst.data(), thin.data(), inner.data(), x, y)}};
  // Refused, with no runtime call: numbered in their messages from 1, in this order.
  for (const auto& refused :
       {// subset: of rank -1, of a zero size, from below 0, of a negative box, from null, beyond INT_MAX, of an
        // empty source
        subset(-1, s, at, box.data()), subset(3, s0, at, box.data()), subset(3, s, bad_start.data(), box.data()),
        subset(3, s, at, neg.data()), subset(3, s, nullptr, box.data()), subset(2, s, at, big.data()),
        subset(3, empty_wide.data(), at, box.data()),
        // delete: on axis 3, past the end, from -1, of -1, from a zero size, of rank 0
        cut(3, s, 0, 1, 3), cut(3, s, 2, 2, 1), cut(3, s, -1, 1, 1), cut(3, s, 0, -1, 1), cut(3, s0, 0, 1, 0),
        cut(0, s, 0, 0, 0),
        // insert: of rank 1 into 3, past the end, at -1, on axis 3, of rank 11, of a zero size
        insert(3, 1, s, ins.data(), 0, 0), insert(3, 2, s, ins.data(), 3, 0), insert(3, 2, s, ins.data(), -1, 0),
        insert(3, 2, s, ins.data(), 0, 3), insert(11, 11, s1, s1, 0, 0), insert(3, 3, s, s0, 0, 0),
        // reshape: of -1, to a negative size, beyond INT_MAX; split 1-D: of -1, without a count, to one address;
        // split 2-D: of a negative size, beyond INT_MAX
        reshape(-1, s, 3), reshape(24, neg.data(), 3), reshape(24, big.data(), 2), split(-1, &nf, &other),
        split(4, nullptr, &other), split(4, &nf, &out), split2(neg.data()), split2(big.data())})
    rows.push_back({"refused " + std::to_string(rows.size() - 10), {}, refused, bad, nulled});
  // Refused, outputs as they were: replace past the end, from below 0, overlapping; delete complex on axis -1;
  // transpose 2-D of a negative size, beyond INT_MAX, overlapping.
  for (const auto& refused : {replace(box.data(), far.data(), x, y), replace(box.data(), bad_start.data(), x, y),
                              replace(box.data(), at, x, x + 5),
                              call(CSG_DeleteFromArray, 3, s, 0, 1, -1, nullptr, nullptr, o.data(), nullptr, o2.data()),
                              transpose(neg.data() + 1, x, y), transpose(big.data(), x, y), transpose(s, x, x + 3)})
    rows.push_back({"refused " + std::to_string(rows.size() - 10), {}, refused, bad});
  for (const Contract& row : rows) expect_contract(row);
  // The exports with no result: a failing step leaves no output either.
  rows = {{"index", {1, 1, 0, 0, 0, 0, 0, 1}, index(3, s, keep.data())},
          {"build", {1, 1, 0, 0, 0, 0, 0, 1}, join(true, 3, 2, s, ins2.data())},
          {"concatenate", {1, 1, 0, 0, 0, 0, 0, 1}, join(false, 3, 3, s, s)},
          {"transpose N-D", {1, 1, 0, 0, 0, 0, 0, 1}, permute(s, perm.data())},
          {"transpose N-D of rank 0, with no sizes to read",
           {1, 1, 0, 0, 0, 0, 0, 1},
           none([&] { SGL_TransposeNDArray(0, nullptr, nullptr, x, &out, nullptr); })}};
  // index: past a size, at -2, of a zero size, at INT_MAX; transpose N-D: by a repeated axis, by axis 3, of a
  // zero size; build of rank 1 onto 3, of rank 10; concatenate of rank 0, of a zero size, of rank 11, of ranks 11
  // and 10; build of ranks 10 and 11; index and transpose N-D of rank 1 without sizes
  for (const auto& refused :
       {index(3, s, idx.data()), index(1, ins.data() + 1, minus2.data()), index(3, s0, at),
        index(2, d6.data(), huge.data()), permute(s, perm_dup.data()), permute(s, perm_far.data()), permute(s0, at),
        index(1, nullptr, at), none([&] { SGL_TransposeNDArray(1, nullptr, at, x, &out, o.data()); }),
        join(true, 3, 1, s, s), join(true, 10, 10, s1, s1), join(false, 0, 0, nullptr, nullptr),
        join(false, 3, 3, s, s0), join(false, 11, 11, s1, s1), join(false, 11, 10, s1, s1), join(true, 10, 11, s1, s1)})
    rows.push_back({"no output " + std::to_string(rows.size() - 4), {}, refused, 1});
  for (const Contract& row : rows) expect_contract(row, [](cudaError_t) { return 1; });
}

}  // namespace
