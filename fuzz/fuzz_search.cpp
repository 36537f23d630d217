// Fuzz target: sort, search, duplicate removal, shuffle and FFT completion, one chosen by the first byte.
#include <algorithm>
#include <cmath>

#include "fuzz_support.h"

namespace {

using namespace fuzzing;

void search(Input& in, Arrays& a) {
  const int nd = in.pick(-1, 6);
  const std::vector<int> dims = sizes(in, nd, -1, 6), start = sizes(in, nd, -1, 6);
  const long long described = count_of(dims.data(), nd);
  const int n = in.flag() || described < 0 || described > INT_MAX ? in.small(-1, 300) : static_cast<int>(described);
  if (n > kMaxElements) return;
  float* d = a.device<float>(n, in);
  const std::vector<float> h = download(d, n < 0 ? 0 : n);
  const float value = !h.empty() && in.flag() ? h[in.byte() % h.size()] : in.value();
  int* index = a.host(std::vector<int>(dims.size(), -77));
  int found = -77;
  Injection inj(in);
  SGL_SearchNDArray(nd, n, a.host(dims), a.host(start), value, d, &found, index);
  inj.clear();
  bool valid = nd >= 0 && n >= 0 && (nd == 0 || (described == n && n > 0));  // rank 0: n from the first
  long long from = 0;
  for (int k = 0; k < nd && valid; ++k) valid = start[k] >= 0 && start[k] < dims[k], from = from * dims[k] + start[k];
  const std::vector<int> got(index, index + dims.size());
  if (!valid) {
    FUZZ_CHECK(found == 0 && std::all_of(got.begin(), got.end(), [](int i) { return i == 0; }),
               "refused search left a found flag or an index other than a miss's");
    return;
  }
  long long want = -1;
  for (long long i = from; i < n && want < 0; ++i)
    if (h[i] == value) want = i;
  if (inj.active() && found == 0) return;  // a device failure may end the search
  FUZZ_CHECK(found == (want >= 0 ? 1 : 0), "found %d, first match %lld", found, want);
  long long at = 0;
  for (int k = 0; k < nd; ++k) at = at * dims[k] + got[k];
  if (want >= 0) FUZZ_CHECK(at == want || nd == 0, "match at %lld, not %lld", at, want);
  else FUZZ_CHECK(std::all_of(got.begin(), got.end(), [](int i) { return i == 0; }), "a miss leaves index zero");
}

void remove_duplicates(Input& in, Arrays& a) {
  const int n = in.small(-1, 300);
  if (n > kMaxElements) return;
  float* d = a.device<float>(n < 0 ? 0 : n, in);
  const std::vector<float> h = download(d, n < 0 ? 0 : n);
  float* out = reinterpret_cast<float*>(16);
  int count = -77;
  Injection inj(in);
  SGL_RemoveDup1DArray(d, n, &out, &count);
  inj.clear();
  std::vector<float> want;
  for (float x : h)
    if (std::none_of(want.begin(), want.end(), [&](float y) { return y == x; })) want.push_back(x);
  if (out == nullptr && count == 0 && (n < 0 || inj.active() || want.empty())) return;
  a.adopt(out);
  FUZZ_CHECK(n >= 0 && count == static_cast<int>(want.size()), "%d distinct values, not %zu", count, want.size());
  expect_output(out, count, "duplicate removal");
  const std::vector<float> got = download(out, count);
  for (int i = 0; i < count; ++i)
    FUZZ_CHECK(std::memcmp(&got[i], &want[i], 4) == 0 || (std::isnan(got[i]) && std::isnan(want[i])), "value %d", i);
}

// Sort or shuffle: the first n elements keep their multiset of bit patterns (sorted, for the sort).
void sort_or_shuffle(Input& in, Arrays& a, bool sort) {
  const int n = in.small(-1, 600), extra = in.pick(0, 3);
  if (n > kMaxElements) return;
  const int size = (n < 0 ? 0 : n) + extra;
  float* d = a.device<float>(size, in);
  const std::vector<float> before = download(d, size);
  Injection inj(in);
  const cudaError_t st = (sort ? SGL_SortNDArray : SGL_ShuffleNDArray)(n, d);
  inj.clear();
  FUZZ_CHECK(inj.known(st), "status %d", st);
  if (n < 0) FUZZ_CHECK(st == cudaErrorInvalidValue, "n < 0 gave %d", st);
  const std::vector<float> after = download(d, size);
  FUZZ_CHECK(size == 0 || std::memcmp(after.data() + size - extra, before.data() + size - extra, 4 * extra) == 0,
             "elements beyond n changed");
  if (st != cudaSuccess || n <= 0) return;
  std::vector<uint32_t> x(n), y(n);
  std::memcpy(x.data(), before.data(), 4 * n), std::memcpy(y.data(), after.data(), 4 * n);
  if (sort)
    for (int i = 1; i < n; ++i) FUZZ_CHECK(!(after[i] < after[i - 1]), "unsorted at %d", i);
  std::sort(x.begin(), x.end()), std::sort(y.begin(), y.end());
  FUZZ_CHECK(x == y, "the values changed");
}

void complete_fft(Input& in, Arrays& a) {
  const int nd = in.pick(-1, 5);
  const std::vector<int> dims = sizes(in, nd, -1, 9);
  const long long n = count_of(dims.data(), nd);
  if (!worth(n)) return;
  float2* d = a.device<float2>(n, in);
  const std::vector<float2> before = download(d, n < 0 || n > INT_MAX ? 1 : n);
  Injection inj(in);
  CompleteFFT(d, a.host(dims), nd);
  inj.clear();
  const std::vector<float2> after = download(d, before.size());
  const bool valid = nd >= 1 && n >= 0 && n <= INT_MAX;
  const int N = valid ? dims[nd - 1] : 1;
  for (size_t i = 0; i < before.size(); ++i) {
    const int j = static_cast<int>(i % N);
    const bool mirrored = valid && !inj.active() && j > N / 2;
    const float2 want = mirrored ? float2{before[i - j + N - j].x, -before[i - j + N - j].y} : before[i];
    if (inj.active() && j > N / 2) continue;
    FUZZ_CHECK(std::memcmp(&after[i], &want, 8) == 0, "element %zu", i);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  return run_checked(data + 1, size - 1, [&](Input& in, Arrays& a) {
    switch (data[0] % 5) {
      case 0: return search(in, a);
      case 1: return remove_duplicates(in, a);
      case 2: return sort_or_shuffle(in, a, true);
      case 3: return sort_or_shuffle(in, a, false);
      default: return complete_fft(in, a);
    }
  });
}
