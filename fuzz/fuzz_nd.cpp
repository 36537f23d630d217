// Fuzz target: the N-D restructuring exports, one chosen by the first byte.
#include <algorithm>

#include "fuzz_support.h"

namespace {

using namespace fuzzing;

float* const kUnset = reinterpret_cast<float*>(alignof(float2));  // never a real allocation
float2* const kUnset2 = reinterpret_cast<float2*>(alignof(float2));
constexpr int kDimSentinel = -77;

// After a failure: the output is null and every output size is 0.
void expect_refused(const void* out, const std::vector<int>& dims, const char* what) {
  FUZZ_CHECK(out == nullptr, "%s: failed, yet the output is not null", what);
  for (int d : dims) FUZZ_CHECK(d == 0, "%s: failed, yet an output size is %d", what, d);
}

std::vector<int> read_back(const int* p, size_t n) { return std::vector<int>(p, p + n); }

void array_subset(Input& in, Arrays& a) {
  const int nd = in.pick(-1, 6);
  const std::vector<int> src = sizes(in, nd, 0, 5), start = sizes(in, nd, -1, 8), sub = sizes(in, nd, -1, 6);
  const long long n = count_of(src.data(), nd), m = count_of(sub.data(), nd);
  if (!worth(n) || !worth(m)) return;
  float* s = a.device<float>(n, in);
  int *ps = a.host(src), *pst = a.host(start), *psub = a.host(sub);
  float* out = kUnset;
  Injection inj(in);
  const cudaError_t st = SGL_ArraySubset(nd, ps, pst, psub, s, &out);
  inj.clear();
  FUZZ_CHECK(inj.known(st), "subset status %d", st);
  const bool valid = nd >= 0 && n >= 1 && std::all_of(src.begin(), src.end(), [](int d) { return d >= 1; }) &&
                     std::all_of(start.begin(), start.end(), [](int d) { return d >= 0; }) && m >= 0 &&
                     m <= INT_MAX;
  if (!valid) FUZZ_CHECK(st == cudaErrorInvalidValue, "subset of invalid arguments: %d", st);
  if (st != cudaSuccess) return expect_refused(out, {}, "subset");
  a.adopt(out);
  expect_output(out, m, "subset");
  // The box wraps: each output element is src at the wrapped coordinate.
  const std::vector<float> hs = download(s, n), ho = download(out, m);
  for (long long j = 0; j < m; ++j) {
    long long rest = j, at = 0, stride = 1;
    for (int k = nd - 1; k >= 0; --k) {
      const long long c = rest % sub[k];
      rest /= sub[k];
      at += (start[k] + c) % src[k] * stride;
      stride *= src[k];
    }
    FUZZ_CHECK(std::memcmp(&ho[j], &hs[at], 4) == 0, "subset element %lld", j);
  }
}

void index_array(Input& in, Arrays& a) {
  const int nd = in.pick(-1, 6);
  const std::vector<int> src = sizes(in, nd, 0, 5), idx = sizes(in, nd, -2, 5);
  const long long n = count_of(src.data(), nd);
  if (!worth(n)) return;
  float* s = a.device<float>(n, in);
  int* od = a.host(std::vector<int>(nd < 0 ? 0 : nd, kDimSentinel));
  float* out = kUnset;
  Injection inj(in);
  SGL_IndexArray(nd, a.host(src), a.host(idx), s, &out, od);
  inj.clear();
  bool valid = nd >= 0 && n <= INT_MAX;  // rank 0: the one element
  long long m = 1;
  for (int k = 0; k < nd; ++k) {
    valid = valid && src[k] >= 1 && idx[k] >= -1 && idx[k] < src[k];
    if (valid && idx[k] == -1 && nd > 1) m *= src[k];
  }
  const std::vector<int> got = read_back(od, nd < 0 ? 0 : nd);
  if (!valid || out == nullptr) {
    FUZZ_CHECK(!valid || inj.active(), "index of valid arguments gave no output");
    return expect_refused(out, got, "index");
  }
  a.adopt(out);
  for (int k = 0; k < nd; ++k)
    FUZZ_CHECK(got[k] == (idx[k] == -1 || nd == 1 ? (nd == 1 ? 1 : src[k]) : 1), "index outDims[%d] = %d", k, got[k]);
  expect_output(out, m, "index");
}

template <typename T>
void replace_subset(Input& in, Arrays& a) {
  const int nd = in.pick(-1, 5);
  const std::vector<int> dst = sizes(in, nd, -1, 5), sub = sizes(in, nd, -1, 5), start = sizes(in, nd, -1, 4);
  const long long n = count_of(dst.data(), nd), m = count_of(sub.data(), nd);
  if (!worth(n) || !worth(m)) return;
  T* d = a.device<T>(n, in);
  const bool inside = in.flag() && n >= 1 && m >= 1 && m <= n;  // sub taken from inside dst
  T* s = inside ? d + (n - m) : a.device<T>(m, in);
  const std::vector<T> before = download(d, n < 0 || n > INT_MAX ? 1 : n);
  Injection inj(in);
  cudaError_t st;
  if constexpr (sizeof(T) == 4) st = SGL_ReplaceArraySubset(nd, a.host(dst), a.host(sub), a.host(start), d, s);
  else st = CSG_ReplaceArraySubset(nd, a.host(dst), a.host(sub), a.host(start), d, s);
  inj.clear();
  FUZZ_CHECK(inj.known(st), "replace status %d", st);
  bool fits = nd >= 0 && n >= 0 && n <= INT_MAX && m >= 0;
  for (int k = 0; k < nd && fits; ++k) fits = dst[k] >= 0 && sub[k] >= 0 && start[k] >= 0 && 0LL + start[k] + sub[k] <= dst[k];
  if (!fits || (inside && m > 0)) FUZZ_CHECK(st == cudaErrorInvalidValue, "replace of invalid arguments: %d", st);
  if (st == cudaErrorInvalidValue) {
    const std::vector<T> after = download(d, before.size());
    FUZZ_CHECK(before.empty() || std::memcmp(after.data(), before.data(), before.size() * sizeof(T)) == 0,
               "refused replace wrote dst");
  }
}

template <typename T>
void delete_from(Input& in, Arrays& a) {
  const int nd = in.pick(-1, 5);
  const std::vector<int> src = sizes(in, nd, 0, 5);
  const int start = in.small(-1, 5), count = in.small(-1, 5), axis = in.small(-1, 5);
  const long long n = count_of(src.data(), nd);
  if (!worth(n)) return;
  T* s = a.device<T>(n, in);
  int* od = a.host(std::vector<int>(nd < 0 ? 0 : nd, kDimSentinel));
  int* dd = a.host(std::vector<int>(nd < 0 ? 0 : nd, kDimSentinel));
  T *out = reinterpret_cast<T*>(kUnset), *del = reinterpret_cast<T*>(kUnset);
  Injection inj(in);
  cudaError_t st;
  if constexpr (sizeof(T) == 4) st = SGL_DeleteFromArray(nd, a.host(src), start, count, axis, s, &out, od, &del, dd);
  else st = CSG_DeleteFromArray(nd, a.host(src), start, count, axis, s, &out, od, &del, dd);
  inj.clear();
  FUZZ_CHECK(inj.known(st), "delete status %d", st);
  const bool valid = nd >= 1 && axis >= 0 && axis < nd && n >= 1 && n <= INT_MAX && start >= 0 && count >= 0 &&
                     std::all_of(src.begin(), src.end(), [](int d) { return d >= 1; }) &&
                     static_cast<long long>(start) + count <= src[axis];
  if (!valid) FUZZ_CHECK(st == cudaErrorInvalidValue, "delete of invalid arguments: %d", st);
  if (st != cudaSuccess) {
    FUZZ_CHECK(del == nullptr, "failed delete left a deleted part");
    expect_refused(out, read_back(dd, nd < 0 ? 0 : nd), "delete");
    return expect_refused(out, read_back(od, nd < 0 ? 0 : nd), "delete");
  }
  a.adopt(out), a.adopt(del);
  std::vector<int> want_out = src, want_del = src;
  want_out[axis] -= count, want_del[axis] = count;
  FUZZ_CHECK(read_back(od, nd) == want_out && read_back(dd, nd) == want_del, "delete sizes");
  expect_output(out, count_of(want_out.data(), nd), "delete remainder");
  expect_output(del, count_of(want_del.data(), nd), "delete deleted");
}

void insert_into(Input& in, Arrays& a) {
  const int nd = in.pick(-1, 11), ind = nd - in.pick(-1, 2);
  const std::vector<int> src = sizes(in, nd, 0, 4), ins = sizes(in, ind, 0, 4);
  const int start = in.small(-1, 5), axis = in.small(-1, 4);
  const long long n = count_of(src.data(), nd), m = count_of(ins.data(), ind);
  if (!worth(n) || !worth(m)) return;
  float *s = a.device<float>(n, in), *b = a.device<float>(m, in);
  int* od = a.host(std::vector<int>(nd < 0 ? 0 : nd, kDimSentinel));
  float* out = kUnset;
  Injection inj(in);
  const cudaError_t st = SGL_InsertIntoArray(nd, ind, a.host(src), a.host(ins), start, axis, s, b, &out, od);
  inj.clear();
  FUZZ_CHECK(inj.known(st), "insert status %d", st);
  const bool valid = nd >= 1 && nd <= 10 && (ind == nd || ind == nd - 1) && axis >= 0 && axis < nd && start >= 0 &&
                     start <= src[axis] && std::all_of(src.begin(), src.end(), [](int d) { return d >= 1; }) &&
                     std::all_of(ins.begin(), ins.end(), [](int d) { return d >= 1; }) && n <= INT_MAX && m <= INT_MAX;
  if (!valid) FUZZ_CHECK(st == cudaErrorInvalidValue, "insert of invalid arguments: %d", st);
  if (st != cudaSuccess) {  // a rank beyond 10 is not trusted for the length of outDims: nothing is written
    const std::vector<int> got = read_back(od, nd < 0 ? 0 : nd);
    FUZZ_CHECK(nd <= 10 || got == std::vector<int>(got.size(), kDimSentinel), "insert of rank %d wrote sizes", nd);
    return expect_refused(out, nd <= 10 ? got : std::vector<int>(), "insert");
  }
  a.adopt(out);
  std::vector<int> want = src;
  want[axis] += ind == nd ? ins[axis] : 1;
  FUZZ_CHECK(read_back(od, nd) == want, "insert sizes");
  expect_output(out, count_of(want.data(), nd), "insert");
}

// Build (stack) and concatenate (join): the result's sizes by the rule, or no output.
void join(Input& in, Arrays& a, bool stack) {
  const int na = in.pick(-1, 11), nb = in.pick(-1, 11);
  const std::vector<int> da = sizes(in, na, 0, 4), db = sizes(in, nb, 0, 4);
  const long long ca = count_of(da.data(), na), cb = count_of(db.data(), nb);
  if (!worth(ca) || !worth(cb)) return;
  float *pa = a.device<float>(ca, in), *pb = a.device<float>(cb, in);
  const int rank = std::max(na, nb) + (na == nb && stack ? 1 : 0);
  int* od = a.host(std::vector<int>(std::max(rank, 0), kDimSentinel));
  float* out = kUnset;
  Injection inj(in);
  (stack ? SGL_BuildArray : SGL_ConcatenateArray)(na, nb, a.host(da), a.host(db), pa, pb, &out, od);
  inj.clear();
  std::vector<int> want;
  bool valid = na >= 0 && nb >= 0 && na <= 10 && nb <= 10 && std::abs(na - nb) <= 1 && ca >= 1 && cb >= 1 &&
               ca <= INT_MAX && cb <= INT_MAX;
  if (valid) {
    std::vector<int> ha = da, hb = db;
    if (na == nb && stack) ha.insert(ha.begin(), 1), hb.insert(hb.begin(), 1);
    if (na < nb) ha.insert(ha.begin(), 1);
    if (nb < na) hb.insert(hb.begin(), 1);
    valid = !ha.empty() && ha.size() <= 10;
    for (size_t k = 0; valid && k < ha.size(); ++k)
      want.push_back(k == 0 ? ha[0] + hb[0] : std::max(ha[k], hb[k]));
    valid = valid && count_of(want.data(), static_cast<int>(want.size())) <= INT_MAX;
  }
  const std::vector<int> got = read_back(od, std::max(rank, 0));
  if (!valid || out == nullptr) {
    FUZZ_CHECK(!valid || inj.active(), "%s of valid arguments gave no output", stack ? "build" : "concatenate");
    // Ranks that fix no result rank (one negative, or two apart) or one beyond 10 give outDims no length: nothing
    // is written.
    const bool ranked = na >= 0 && nb >= 0 && std::abs(na - nb) <= 1 && rank <= 10;
    FUZZ_CHECK(ranked || got == std::vector<int>(got.size(), kDimSentinel), "unranked join wrote sizes");
    return expect_refused(out, ranked ? got : std::vector<int>(), stack ? "build" : "concatenate");
  }
  a.adopt(out);
  FUZZ_CHECK(got == want, "%s sizes", stack ? "build" : "concatenate");
  expect_output(out, count_of(want.data(), static_cast<int>(want.size())), stack ? "build" : "concatenate");
}

void reshape(Input& in, Arrays& a) {
  const int n = in.small(-1, 40), nd = in.pick(-1, 6);
  const std::vector<int> dims = sizes(in, nd, -1, 5);
  const long long m = count_of(dims.data(), nd);
  if (!worth(m) || n > kMaxElements) return;
  float* s = a.device<float>(n, in);
  float* out = kUnset;
  Injection inj(in);
  const cudaError_t st = SGL_ReshapeArray(s, n, a.host(dims), nd, &out);
  inj.clear();
  FUZZ_CHECK(inj.known(st), "reshape status %d", st);
  if (n < 0 || nd < 0 || m < 0 || m > INT_MAX) FUZZ_CHECK(st == cudaErrorInvalidValue, "reshape of invalid arguments: %d", st);
  if (st != cudaSuccess) return expect_refused(out, {}, "reshape");
  a.adopt(out);
  expect_output(out, m, "reshape");
}

void transpose_2d(Input& in, Arrays& a) {
  const std::vector<int> dims = sizes(in, 2, -1, 70);
  const long long n = count_of(dims.data(), 2);
  if (!worth(n)) return;
  float* s = a.device<float>(n, in);
  float* d = in.flag() ? s : a.device<float>(n, in);
  Injection inj(in);
  const cudaError_t st = SGL_Transpose2DArray(a.host(dims), s, d);
  cudaError_t done = cudaDeviceSynchronize();
  inj.clear();
  FUZZ_CHECK(inj.known(st) && inj.known(done), "transpose status %d", st);
  if (n < 0 || n > INT_MAX || (s == d && n > 0)) FUZZ_CHECK(st == cudaErrorInvalidValue, "2-D transpose of invalid arguments: %d", st);
  if (st == cudaSuccess && !inj.active() && d != s) expect_output(d, n, "2-D transpose");
}

void transpose_nd(Input& in, Arrays& a) {
  const int nd = in.pick(-1, 7);
  const std::vector<int> src = sizes(in, nd, 0, 4);
  std::vector<int> perm(nd < 0 ? 0 : nd);
  for (int k = 0; k < nd; ++k) perm[k] = k;
  for (int k = nd - 1; k > 0; --k) std::swap(perm[k], perm[in.byte() % (k + 1)]);
  if (nd > 0 && in.byte() > 230) perm[in.byte() % nd] = in.small(-1, nd);  // now and then not a permutation
  const long long n = count_of(src.data(), nd);
  if (!worth(n)) return;
  float* s = a.device<float>(n, in);
  int* od = a.host(std::vector<int>(perm.size(), kDimSentinel));
  float* out = kUnset;
  Injection inj(in);
  SGL_TransposeNDArray(nd, a.host(src), a.host(perm), s, &out, od);
  inj.clear();
  std::vector<int> seen(perm.size(), 0), want(perm.size());
  bool valid = nd >= 0 && n >= 1 && n <= INT_MAX;
  for (size_t j = 0; valid && j < perm.size(); ++j) {
    valid = perm[j] >= 0 && perm[j] < nd && seen[perm[j]]++ == 0 && src[j] >= 1;
    if (valid) want[j] = src[perm[j]];
  }
  const std::vector<int> got = read_back(od, perm.size());
  if (!valid || out == nullptr) {
    FUZZ_CHECK(!valid || inj.active(), "N-D transpose of valid arguments gave no output");
    return expect_refused(out, got, "N-D transpose");
  }
  a.adopt(out);
  FUZZ_CHECK(got == want, "N-D transpose sizes");
  expect_output(out, n, "N-D transpose");
}

void split(Input& in, Arrays& a, bool two_d) {
  const std::vector<int> dims = sizes(in, 2, -1, 40);
  const int index = in.small(-3, 45), mode = in.pick(0, 2);
  const long long n = two_d ? count_of(dims.data(), 2) : dims[0];
  if (!worth(n)) return;
  float* s = a.device<float>(n, in);
  float *first = kUnset, *second = kUnset;
  int fc = kDimSentinel, sc = kDimSentinel;
  int* fd = a.host(std::vector<int>(2, kDimSentinel));
  int* sd = a.host(std::vector<int>(2, kDimSentinel));
  Injection inj(in);
  const cudaError_t st = two_d ? SGL_Split2DArray(a.host(dims), index, mode, s, &first, fd, &second, sd)
                               : SGL_Split1DArray(dims[0], index, s, &first, &fc, &second, &sc);
  const cudaError_t done = cudaDeviceSynchronize();
  inj.clear();
  FUZZ_CHECK(inj.known(st) && inj.known(done), "split status %d", st);
  if (n < 0 || n > INT_MAX) FUZZ_CHECK(st == cudaErrorInvalidValue, "split of invalid arguments: %d", st);
  if (st != cudaSuccess) {
    FUZZ_CHECK(first == nullptr && second == nullptr, "failed split left an output");
    std::vector<int> left = two_d ? read_back(fd, 2) : std::vector<int>{fc, sc};
    if (two_d) left.insert(left.end(), sd, sd + 2);
    return expect_refused(first, left, "split");
  }
  a.adopt(first), a.adopt(second);
  if (inj.active()) return;
  if (!two_d) {
    const int cut = std::clamp(index, 0, dims[0]);
    FUZZ_CHECK(fc == cut && sc == dims[0] - cut, "split counts %d %d", fc, sc);
    expect_output(first, fc, "split first"), expect_output(second, sc, "split second");
    return;
  }
  const int axis = mode == 1 ? 0 : 1, cut = std::clamp(index, 0, dims[axis]);
  std::vector<int> wf = dims, ws = dims;
  wf[axis] = cut, ws[axis] = dims[axis] - cut;
  FUZZ_CHECK(read_back(fd, 2) == wf && read_back(sd, 2) == ws, "2-D split sizes");
  expect_output(first, count_of(wf.data(), 2), "2-D split first");
  expect_output(second, count_of(ws.data(), 2), "2-D split second");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  return run_checked(data + 1, size - 1, [&](Input& in, Arrays& a) {
    switch (data[0] % 14) {
      case 0: return array_subset(in, a);
      case 1: return index_array(in, a);
      case 2: return replace_subset<float>(in, a);
      case 3: return replace_subset<float2>(in, a);
      case 4: return delete_from<float>(in, a);
      case 5: return delete_from<float2>(in, a);
      case 6: return insert_into(in, a);
      case 7: return join(in, a, true);
      case 8: return join(in, a, false);
      case 9: return reshape(in, a);
      case 10: return transpose_2d(in, a);
      case 11: return transpose_nd(in, a);
      case 12: return split(in, a, false);
      default: return split(in, a, true);
    }
  });
}
