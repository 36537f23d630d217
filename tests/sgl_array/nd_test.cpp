// The N-D family against plain host loops over coordinates: random shapes, the documented examples, ranks
// beyond ten; then every export's runtime calls, bad arguments and failing steps as rows of one contract table.
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

// The export's new array (adopted, so released) against want, bit for bit, and null exactly when want is empty.
template <typename T>
void expect_array(T* out, const std::vector<T>& want, const std::string& what) {
  EXPECT_EQ(out == nullptr, want.empty()) << what;
  EXPECT_TRUE(same_bytes(DeviceBuffer<T>::adopt(out, want.size()).download(), want)) << what;
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
  std::vector<std::array<Dims, 3>> rows = {
      {{{3}, {1}, {7}}},  // larger than the source: s1 s2 s0 s1 s2 s0 s1
      {{{3, 1, 4}, {5, 9, 2}, {4, 3, 9}}},
      {{{1030}, {1000}, {1030}}},  // a multiple-block wrap
      {{{}, {}, {}}},              // rank 0: src[0]
      {{{3}, {131072}, {0}}},      // empty boxes: a null output, no index space built
      {{{4, 5}, {1, 2}, {2, 0}}},
      {{Dims{2, 1, 3, 1, 2, 1, 2, 3, 1, 2, 2, 1, 3, 2}, Dims(14, 1), Dims{2, 1, 2, 1, 2, 1, 1, 3, 1, 1, 2, 1, 2, 2}}}};
  for (int trial = 0; trial < 40; ++trial) {
    Dims d = random_dims(1 + below(6)), start(d.size()), box(d.size());
    for (size_t k = 0; k < d.size(); ++k) start[k] = below(12), box[k] = 1 + below(trial % 2 ? 9 : d[k]);
    rows.push_back({d, start, box});
  }
  for (auto& [src_dims, start, box] : rows) {
    const Values src = distinct(count_of(src_dims));
    DeviceBuffer<float> d(src);
    float* out = nullptr;
    ASSERT_EQ(SGL_ArraySubset(int(box.size()), data(src_dims), data(start), data(box), d.get(), &out), cudaSuccess);
    const Values want = over(box, [&](const Dims& j) {
      Dims c(j.size());
      for (size_t k = 0; k < j.size(); ++k) c[k] = (j[k] + start[k]) % src_dims[k];
      return src[flat(c, src_dims)];
    });
    expect_array(out, want, "subset " + str(src_dims) + " at " + str(start) + " box " + str(box));
  }
  for (auto [dims, indices] :
       std::vector<std::pair<Dims, Dims>>{{{3, 4}, {-1, 2}},
                                          {{3, 4}, {2, 3}},
                                          {{5}, {-1}},
                                          {{5}, {3}},
                                          {{2, 3, 4, 5}, {-1, 1, -1, 4}},
                                          {Dims(12, 2), {1, -1, 0, -1, -1, 1, 0, -1, 1, 1, -1, 0}}}) {
    const Values src = distinct(count_of(dims));
    Dims want_dims(dims.size()), out_dims(dims.size(), -7);
    for (size_t k = 0; k < dims.size(); ++k) want_dims[k] = indices[k] == -1 && dims.size() > 1 ? dims[k] : 1;
    DeviceBuffer<float> d(src);
    float* out = nullptr;
    SGL_IndexArray(int(dims.size()), dims.data(), indices.data(), d.get(), &out, out_dims.data());
    EXPECT_EQ(out_dims, want_dims);
    const Values want = over(want_dims, [&](const Dims& j) {
      Dims c(j);
      for (size_t k = 0; k < j.size(); ++k) c[k] = indices[k] == -1 ? j[k] : indices[k];
      return src[flat(c, dims)];
    });
    expect_array(out, want, "index " + str(indices));
  }
}

template <typename T, typename Replace, typename Delete>
void expect_replace_and_delete(Replace replace, Delete del, Dims dims, Dims sub_dims, Dims start, int axis) {
  const std::vector<T> src = distinct<T>(count_of(dims)), sub = distinct<T>(count_of(sub_dims), 1000);
  std::vector<T> want = src;
  auto at = sub.begin();
  over(sub_dims, [&](const Dims& q) {
    Dims c(q);
    for (size_t k = 0; k < q.size(); ++k) c[k] += start[k];
    return std::memcpy(&want[flat(c, dims)], &*at++, sizeof(T)), 0;
  });
  DeviceBuffer<T> d(src), s(sub);
  if (!sub.empty()) {
    ASSERT_EQ(replace(int(dims.size()), data(dims), data(sub_dims), data(start), d.get(), s.get()), cudaSuccess);
    EXPECT_TRUE(same_bytes(d.download(), want)) << "replace " << str(sub_dims) << " at " << str(start);
  }
  // Delete sub_dims[axis] positions from start[axis] along axis: the rest close up over them.
  const int first = start[axis], count = sub_dims[axis];
  Dims kept = dims, removed = dims, kept_dims(dims.size(), -7), removed_dims(dims.size(), -7);
  kept[axis] -= count, removed[axis] = count;
  T *out = nullptr, *deleted = nullptr;
  d.upload(src);
  ASSERT_EQ(del(int(dims.size()), dims.data(), first, count, axis, d.get(), &out, kept_dims.data(), &deleted,
                removed_dims.data()),
            cudaSuccess);
  EXPECT_TRUE(kept_dims == kept && removed_dims == removed) << str(kept_dims) << str(removed_dims);
  const auto moved = [&](int by) {
    return [&, by](const Dims& j) {
      Dims c(j);
      c[axis] += by < 0 ? first : j[axis] >= first ? count : 0;
      return src[flat(c, dims)];
    };
  };
  expect_array(out, over(kept, moved(0)), "kept " + str(kept));
  expect_array(deleted, over(removed, moved(-1)), "deleted " + str(removed));
}

TEST_F(NdArrays, ReplaceOverwritesOnlyTheBoxAndDeleteSplitsAlongTheAxis) {
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

TEST_F(NdArrays, InsertBuildAndConcatenatePadAndDropAlongTheOtherDimensions) {
  std::vector<std::tuple<Dims, Dims, int, int>> inserts = {
      {{2, 3}, {2, 2}, 0, 0}, {{2, 3}, {1, 4}, 1, 0}, {{2, 3}, {2, 2}, 3, 1}, {{4}, {}, 2, 0}};
  for (int trial = 0; trial < 30; ++trial) {
    const Dims d = random_dims(1 + below(6));
    const int axis = below(int(d.size()));
    Dims ins = random_dims(int(d.size()));
    if (trial % 3 == 0) ins.erase(ins.begin() + axis);  // one rank less: a single slice
    for (size_t k = 0; trial % 3 == 1 && k < d.size(); ++k) ins[k] = int(k) == axis ? ins[k] : d[k];
    inserts.push_back({d, ins, below(d[axis] + 1), axis});
  }
  for (auto& [src_dims, ins_dims, start, axis] : inserts) {
    const Values src = distinct(count_of(src_dims)), ins = distinct(count_of(ins_dims), 500);
    Dims block = ins_dims, out_dims = src_dims, got_dims(src_dims.size(), -7);
    if (block.size() < src_dims.size()) block.insert(block.begin() + axis, 1);
    out_dims[axis] += block[axis];
    DeviceBuffer<float> s(src), i(ins);
    float* out = nullptr;
    ASSERT_EQ(SGL_InsertIntoArray(int(src_dims.size()), int(ins_dims.size()), src_dims.data(), data(ins_dims), start,
                                  axis, s.get(), i.get(), &out, got_dims.data()),
              cudaSuccess);
    EXPECT_EQ(got_dims, out_dims);
    expect_array(out, joined(out_dims, axis, start, block[axis], src, src_dims, ins, block),
                 "insert " + str(ins_dims) + " into " + str(src_dims) + " at " + std::to_string(start));
  }
  std::vector<std::pair<Dims, Dims>> joins = {{{2, 3}, {1, 4}},
                                              {{2, 3}, {3}},
                                              {{3}, {2, 3}},
                                              {{4}, {}},
                                              {{}, {4}},
                                              {{1030}, {700}},
                                              {{2, 1, 3, 2, 1, 2, 2, 1, 3}, {1, 2, 3, 1, 2, 2, 1, 2, 2}}};
  for (int trial = 0; trial < 20; ++trial) {
    const Dims a = random_dims(1 + below(5));
    joins.push_back({a, random_dims(int(a.size()) - (trial % 3 == 2 ? 1 : 0))});
  }
  for (bool build : {false, true})
    for (auto& [da, db] : joins) {
      const Values a = distinct(count_of(da)), b = distinct(count_of(db), 300);
      Dims ea = da, eb = db;  // build stacks equal ranks along a new first dimension
      if (ea.size() == eb.size() && build) ea.insert(ea.begin(), 1), eb.insert(eb.begin(), 1);
      if (ea.size() < eb.size()) ea.insert(ea.begin(), 1);
      if (eb.size() < ea.size()) eb.insert(eb.begin(), 1);
      Dims out_dims(ea.size()), got_dims(ea.size(), -7);
      for (size_t k = 0; k < ea.size(); ++k) out_dims[k] = k == 0 ? ea[0] + eb[0] : std::max(ea[k], eb[k]);
      DeviceBuffer<float> x(a), y(b);
      float* out = nullptr;
      (build ? SGL_BuildArray : SGL_ConcatenateArray)(int(da.size()), int(db.size()), data(da), data(db), x.get(),
                                                      y.get(), &out, got_dims.data());
      EXPECT_EQ(got_dims, out_dims);
      expect_array(out, joined(out_dims, 0, ea[0], eb[0], a, ea, b, eb),
                   str(da) + (build ? " built " : " and ") + str(db));
    }
  float* out = nullptr;  // two single elements build a pair
  int out_dims = -7;
  DeviceBuffer<float> x(Values{1}), y(Values{2});
  SGL_BuildArray(0, 0, nullptr, nullptr, x.get(), y.get(), &out, &out_dims);
  EXPECT_EQ(out_dims, 2);
  expect_array(out, Values{1, 2}, "two single elements");
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
  std::vector<std::pair<Dims, Dims>> rows = {
      {{17, 1}, {1, 0}},
      {{1, 40}, {1, 0}},
      {{33, 65}, {1, 0}},
      {{2, 3, 4}, {1, 2, 0}},
      {{2, 3, 4}, {0, 1, 2}},
      {{40, 3, 35}, {2, 0, 1}},  // tiles over a batch
      {{5, 36, 34}, {1, 0, 2}},  // the innermost stays: rows
      {{2, 1, 3, 1, 2, 2, 1, 2, 2, 1, 3, 2}, {11, 3, 0, 10, 5, 2, 7, 1, 9, 4, 8, 6}}};
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

TEST_F(NdArrays, SplitsCutAtTheClampedIndex) {
  const Values src = distinct(1320);
  DeviceBuffer<float> d(src);
  for (auto [n, index] : std::vector<std::pair<int, int>>{{10, 4}, {10, -3}, {10, 12}, {1000, 600}, {0, 0}}) {
    float *first = nullptr, *second = nullptr;
    int first_count = -1, second_count = -1, at = std::clamp(index, 0, n);
    ASSERT_EQ(SGL_Split1DArray(n, index, d.get(), &first, &first_count, &second, &second_count), cudaSuccess);
    EXPECT_TRUE(first_count == at && second_count == n - at) << n << " at " << index;
    expect_array(first, Values(src.begin(), src.begin() + at), "first");
    expect_array(second, Values(src.begin() + at, src.begin() + n), "second");
  }
  for (auto [dims, index, mode] : std::vector<std::tuple<Dims, int, int>>{
           {{4, 256}, 2, 1}, {{3, 5}, 2, 0}, {{3, 5}, 0, 1}, {{3, 5}, 9, 2}, {{33, 40}, 17, 0}, {{33, 40}, 20, 1}}) {
    Dims first_dims(2, -7), second_dims(2, -7);
    float *first = nullptr, *second = nullptr;
    ASSERT_EQ(
        SGL_Split2DArray(dims.data(), index, mode, d.get(), &first, first_dims.data(), &second, second_dims.data()),
        cudaSuccess);
    const int rows = dims[0], cols = dims[1], at = std::clamp(index, 0, mode == 1 ? rows : cols);  // 1: by rows
    const Dims want_first = mode == 1 ? Dims{at, cols} : Dims{rows, at};
    const Dims want_second = mode == 1 ? Dims{rows - at, cols} : Dims{rows, cols - at};
    EXPECT_TRUE(first_dims == want_first && second_dims == want_second) << str(first_dims) << str(second_dims);
    const auto part = [&](const Dims& shape, int r0, int c0) {
      return over(shape, [&](const Dims& j) { return src[(j[0] + r0) * cols + j[1] + c0]; });
    };
    expect_array(first, part(want_first, 0, 0), "first of " + str(dims));
    expect_array(second, part(want_second, mode == 1 ? at : 0, mode == 1 ? 0 : at), "second of " + str(dims));
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
  const auto fresh = [&] {
    out = other = x, cout = cother = cx, nf = ns = 7;
    std::fill(o.begin(), o.end(), 7), std::fill(o2.begin(), o2.end(), 7);
  };
  const auto release = [&] {
    for (void* p : {(void*)out, (void*)other, (void*)cout, (void*)cother})
      if (p != x) EXPECT_EQ(cudaFree(p), cudaSuccess);
  };
  using Call = std::function<int()>;
  const auto with = [&](std::function<cudaError_t()> call) -> Call {
    return [&, call] {
      fresh();
      const cudaError_t status = call();
      return release(), status;
    };
  };
  // The exports with no result: 0 when they made an output, 1 with none and the output sizes zero (or as they were).
  const auto none = [&](std::function<void()> call) -> Call {
    return [&, call] {
      fresh(), call();
      const bool made = out != nullptr && out != x;
      const bool zeroed = out == nullptr && std::all_of(o.begin(), o.end(), [](int v) { return v == 0 || v == 7; });
      return release(), made ? 0 : zeroed ? 1 : 2;
    };
  };
  const auto subset = [&](int nd, int* sizes, int* from, int* size) {
    return with([&, nd, sizes, from, size] { return SGL_ArraySubset(nd, sizes, from, size, x, &out); });
  };
  const auto replace = [&](int* size, int* from, float* dst, float* src) {
    return with([&, size, from, dst, src] { return SGL_ReplaceArraySubset(3, s, size, from, dst, src); });
  };
  const auto cut = [&](int nd, int* sizes, int first, int count, int axis) {
    return with([&, nd, sizes, first, count, axis] {
      return SGL_DeleteFromArray(nd, sizes, first, count, axis, x, &out, o.data(), &other, o2.data());
    });
  };
  const auto insert = [&](int nd, int ind, int* sizes, int* ins_sizes, int first, int axis) {
    return with([&, nd, ind, sizes, ins_sizes, first, axis] {
      return SGL_InsertIntoArray(nd, ind, sizes, ins_sizes, first, axis, x, y, &out, o.data());
    });
  };
  const auto reshape = [&](int n, int* sizes, int nd) {
    return with([&, n, sizes, nd] { return SGL_ReshapeArray(x, n, sizes, nd, &out); });
  };
  const auto transpose = [&](int* sizes, float* dst) {
    return with([&, sizes, dst] { return SGL_Transpose2DArray(sizes, x, dst); });
  };
  const auto split = [&](int n, int* count, float** second) {
    return with([&, n, count, second] { return SGL_Split1DArray(n, n / 2, x, &out, count, second, &ns); });
  };
  const auto split2 = [&](int* sizes) {
    return with([&, sizes] { return SGL_Split2DArray(sizes, 5, 0, x, &out, o.data(), &other, o2.data()); });
  };
  const auto index = [&](int nd, int* sizes, int* indices) {
    return none([&, nd, sizes, indices] { SGL_IndexArray(nd, sizes, indices, x, &out, o.data()); });
  };
  const auto permute = [&](int* sizes, int* order) {
    return none([&, sizes, order] { SGL_TransposeNDArray(3, sizes, order, x, &out, o.data()); });
  };
  const auto join = [&](bool build, int nda, int ndb, int* da, int* db) {
    return none([&, build, nda, ndb, da, db] {
      (build ? SGL_BuildArray : SGL_ConcatenateArray)(nda, ndb, da, db, x, y, &out, o.data());
    });
  };
  const auto nulled = [&] { return out == nullptr && (other == nullptr || other == x); };
  const int bad = cudaErrorInvalidValue;
  // alloc, free, h2d, d2h, d2d, memset, sync, launch: the output allocations, the test's release of them.
  const Contract statuses[] = {
      {"subset", {1, 1, 0, 0, 0, 0, 1, 1}, subset(3, s, corner.data(), box.data())},
      {"replace", {0, 0, 0, 0, 0, 0, 1, 1}, replace(sub.data(), at, x, y)},
      {"replace complex", {0, 0, 0, 0, 0, 0, 1, 1}, with([&] {
         return CSG_ReplaceArraySubset(2, d6.data(), d6.data(), at, cx, cy);
       })},
      {"delete", {2, 2, 0, 0, 0, 0, 1, 1}, cut(3, s, 1, 2, 1)},
      {"delete complex", {2, 2, 0, 0, 0, 0, 1, 1}, with([&] {
         return CSG_DeleteFromArray(2, d6.data(), 1, 2, 1, cx, &cout, o.data(), &cother, o2.data());
       })},
      {"insert", {1, 1, 0, 0, 0, 0, 1, 1}, insert(3, 2, s, ins2.data(), 1, 2)},
      {"reshape", {1, 1, 0, 0, 1, 1, 0, 0}, reshape(20, s, 3)},
      {"transpose 2-D", {0, 0, 0, 0, 0, 0, 0, 1}, transpose(d2.data(), y)},
      {"split 1-D", {2, 2, 0, 0, 0, 0, 0, 2}, split(24, &nf, &other)},
      {"split 2-D", {2, 2, 0, 0, 0, 0, 0, 2}, split2(d2.data())},
      {"subset of rank -1", {}, subset(-1, s, at, box.data()), bad, nulled},
      {"subset of a zero size", {}, subset(3, s0, at, box.data()), bad, nulled},
      {"subset from below 0", {}, subset(3, s, bad_start.data(), box.data()), bad, nulled},
      {"subset of a negative box", {}, subset(3, s, at, neg.data()), bad, nulled},
      {"subset from null", {}, subset(3, s, nullptr, box.data()), bad, nulled},
      {"subset beyond INT_MAX", {}, subset(2, s, at, big.data()), bad, nulled},
      {"subset of an empty source", {}, subset(3, empty_wide.data(), at, box.data()), bad, nulled},
      {"replace into an empty destination wider than int", {}, with([&] {
         return SGL_ReplaceArraySubset(3, empty_dst.data(), thin.data(), inner.data(), x, y);
       })},
      {"replace past the end", {}, replace(box.data(), far.data(), x, y), bad},
      {"replace from below 0", {}, replace(box.data(), bad_start.data(), x, y), bad},
      {"replace overlapping", {}, replace(box.data(), at, x, x + 5), bad},
      {"delete on axis 3", {}, cut(3, s, 0, 1, 3), bad, nulled},
      {"delete past the end", {}, cut(3, s, 2, 2, 1), bad, nulled},
      {"delete from -1", {}, cut(3, s, -1, 1, 1), bad, nulled},
      {"delete -1", {}, cut(3, s, 0, -1, 1), bad, nulled},
      {"delete from a zero size", {}, cut(3, s0, 0, 1, 0), bad, nulled},
      {"delete of rank 0", {}, cut(0, s, 0, 0, 0), bad, nulled},
      {"delete complex on axis -1",
       {},
       with([&] { return CSG_DeleteFromArray(3, s, 0, 1, -1, nullptr, nullptr, o.data(), nullptr, o2.data()); }),
       bad},
      {"insert of rank 1 into 3", {}, insert(3, 1, s, ins.data(), 0, 0), bad, nulled},
      {"insert past the end", {}, insert(3, 2, s, ins.data(), 3, 0), bad, nulled},
      {"insert at -1", {}, insert(3, 2, s, ins.data(), -1, 0), bad, nulled},
      {"insert on axis 3", {}, insert(3, 2, s, ins.data(), 0, 3), bad, nulled},
      {"insert of rank 11", {}, insert(11, 11, s1, s1, 0, 0), bad, nulled},
      {"insert of a zero size", {}, insert(3, 3, s, s0, 0, 0), bad, nulled},
      {"reshape of -1", {}, reshape(-1, s, 3), bad, nulled},
      {"reshape to a negative size", {}, reshape(24, neg.data(), 3), bad, nulled},
      {"reshape beyond INT_MAX", {}, reshape(24, big.data(), 2), bad, nulled},
      {"transpose a negative size", {}, transpose(neg.data() + 1, y), bad},
      {"transpose beyond INT_MAX", {}, transpose(big.data(), y), bad},
      {"transpose overlapping", {}, transpose(s, x + 3), bad},
      {"split 1-D of -1", {}, split(-1, &nf, &other), bad, nulled},
      {"split 1-D without a count", {}, split(4, nullptr, &other), bad, nulled},
      {"split 1-D to one address", {}, split(4, &nf, &out), bad, nulled},
      {"split 2-D of a negative size", {}, split2(neg.data()), bad, nulled},
      {"split 2-D beyond INT_MAX", {}, split2(big.data()), bad, nulled},
  };
  for (const Contract& row : statuses) expect_contract(row);
  const Contract stand_ins[] = {
      {"index", {1, 1, 0, 0, 0, 0, 0, 1}, index(3, s, keep.data())},
      {"build", {1, 1, 0, 0, 0, 0, 0, 1}, join(true, 3, 2, s, ins2.data())},
      {"concatenate", {1, 1, 0, 0, 0, 0, 0, 1}, join(false, 3, 3, s, s)},
      {"transpose N-D", {1, 1, 0, 0, 0, 0, 0, 1}, permute(s, perm.data())},
      {"index past a size", {}, index(3, s, idx.data()), 1},
      {"index at -2", {}, index(1, ins.data() + 1, minus2.data()), 1},
      {"index of a zero size", {}, index(3, s0, at), 1},
      {"index at INT_MAX", {}, index(2, d6.data(), huge.data()), 1},
      {"transpose by a repeated axis", {}, permute(s, perm_dup.data()), 1},
      {"transpose by axis 3", {}, permute(s, perm_far.data()), 1},
      {"transpose a zero size", {}, permute(s0, at), 1},
      {"build of rank 1 onto 3", {}, join(true, 3, 1, s, s), 1},
      {"build of rank 10", {}, join(true, 10, 10, s1, s1), 1},
      {"concatenate of rank 0", {}, join(false, 0, 0, nullptr, nullptr), 1},
      {"concatenate a zero size", {}, join(false, 3, 3, s, s0), 1},
      {"concatenate of rank 11", {}, join(false, 11, 11, s1, s1), 1},
  };
  for (const Contract& row : stand_ins) expect_contract(row, [](cudaError_t) { return 1; });
}

}  // namespace
