// Fuzz target: array-array arithmetic over the common extent and the whole-array reductions, one chosen by
// the first byte.
#include <algorithm>
#include <cmath>

#include "fuzz_support.h"

namespace {

using namespace fuzzing;

using Combine = cudaError_t (*)(int, int*, int*, float*, float*, float**, int*, int*);
const Combine kCombine[] = {SGL_AddArrayArray, SGL_SubstractArrayArray, SGL_MultArrayArray, SGL_DivideArrayArray};

void array_array(Input& in, Arrays& a, Combine combine) {
  const int nd = in.pick(-1, 11);
  const std::vector<int> sa = sizes(in, nd, -1, 5), sb = sizes(in, nd, -1, 5);
  const long long ca = count_of(sa.data(), nd), cb = count_of(sb.data(), nd);
  if (!worth(ca) || !worth(cb)) return;
  float *pa = a.device<float>(ca, in), *pb = a.device<float>(cb, in);
  std::vector<int> want(nd < 0 ? 0 : nd);
  for (size_t k = 0; k < want.size(); ++k) want[k] = std::min(sa[k], sb[k]);
  const long long count = nd < 0 ? -1 : count_of(want.data(), nd);
  // The result sizes go to a host array of their own, or over the sizes of A (read first).
  const bool over_a = in.flag();
  int* psa = a.host(sa);
  int* out_sizes = over_a ? psa : a.host(std::vector<int>(want.size(), -77));
  float* out = reinterpret_cast<float*>(16);
  int bytes = -77;
  Injection inj(in);
  const cudaError_t st = combine(nd, psa, a.host(sb), pa, pb, &out, out_sizes, &bytes);
  inj.clear();
  FUZZ_CHECK(inj.known(st), "array-array status %d", st);
  const bool valid = nd >= 0 && nd <= 10 && ca >= 0 && cb >= 0 && ca <= INT_MAX && cb <= INT_MAX && count >= 0 &&
                     count <= INT_MAX / 4;
  if (!valid) FUZZ_CHECK(st == cudaErrorInvalidValue, "array-array of invalid arguments: %d", st);
  if (st != cudaSuccess) {
    FUZZ_CHECK(out == nullptr, "failed array-array left a result");
    return;
  }
  a.adopt(out);
  FUZZ_CHECK(std::vector<int>(out_sizes, out_sizes + want.size()) == want && bytes == 4 * count, "result sizes");
  expect_output(out, count, "array-array");
}

void sum_or_product(Input& in, Arrays& a, bool sum) {
  const int n = in.small(-2, 300);
  if (n > kMaxElements) return;
  float* d = a.device<float>(n < 0 ? 0 : n, in);
  const std::vector<float> h = download(d, n < 0 ? 0 : n);
  float result = -77.0f;
  Injection inj(in);
  const brelmontStatus_t st = (sum ? SGL_AddArrayElement : SGL_MultiplyArrayElement)(d, n, &result);
  inj.clear();
  FUZZ_CHECK(st == BRELMONT_STATUS_SUCCESS || (inj.active() && (st == BRELMONT_STATUS_DEVICE_ALLOCATION_FAILED ||
                                                                st == BRELMONT_STATUS_EXECUTION_FAILED)),
             "reduction status %d", st);
  if (st != BRELMONT_STATUS_SUCCESS) {
    FUZZ_CHECK(result == -77.0f, "a failed reduction wrote its result");
    return;
  }
  if (n <= 0) {
    FUZZ_CHECK(result == 0.0f, "an empty reduction gave %g", result);
    return;
  }
  if (!sum) return;
  double total = 0, magnitude = 0;
  for (float x : h) total += x, magnitude += std::fabs(x);
  if (!std::isfinite(magnitude) || std::isinf(static_cast<float>(total))) return;
  const double bound = std::fabs(total) * 0x1p-24 + magnitude * n * 0x1p-52 + 0x1p-149;
  FUZZ_CHECK(std::fabs(result - total) <= bound, "sum %.9g, double sum %.17g", result, total);
}

void min_max(Input& in, Arrays& a) {
  const int nd = in.pick(-1, 11);
  const std::vector<int> dims = sizes(in, nd, -1, 5);
  const long long n = count_of(dims.data(), nd);
  if (!worth(n)) return;
  float* d = a.device<float>(n, in);
  int* psizes = a.host(dims);
  const bool over_sizes = in.flag();
  int* min_at = over_sizes ? psizes : a.host(std::vector<int>(dims.size(), -77));
  int* max_at = a.host(std::vector<int>(dims.size(), -77));
  float lo = -77.0f, hi = -77.0f;
  Injection inj(in);
  const brelmontStatus_t st = SGL_MinMaxArray(nd, in.any(), psizes, d, &lo, &hi, min_at, max_at);
  inj.clear();
  const bool valid = nd >= 1 && nd <= 10 && n >= 1 && n <= INT_MAX;
  FUZZ_CHECK(st == (valid ? BRELMONT_STATUS_SUCCESS : BRELMONT_STATUS_BAD_PARAM) ||
                 (valid && inj.active() && (st == BRELMONT_STATUS_DEVICE_ALLOCATION_FAILED ||
                                            st == BRELMONT_STATUS_EXECUTION_FAILED)),
             "min-max status %d", st);
  if (st != BRELMONT_STATUS_SUCCESS) {
    FUZZ_CHECK(lo == -77.0f && hi == -77.0f, "a failed min-max wrote");
    return;
  }
  // The reference: the first NaN makes both NaN; otherwise the first of the smallest and of the largest.
  const std::vector<float> h = download(d, n);
  long long want_lo = 0, want_hi = 0;
  for (long long i = 0; i < n; ++i) {
    if (std::isnan(h[i])) {
      want_lo = want_hi = i;
      break;
    }
    if (h[i] < h[want_lo]) want_lo = i;
    if (h[i] > h[want_hi]) want_hi = i;
  }
  const auto flat = [&](const int* at) {
    long long f = 0;
    for (int k = 0; k < nd; ++k) f = f * dims[k] + at[k];
    return f;
  };
  FUZZ_CHECK(flat(min_at) == want_lo && flat(max_at) == want_hi, "min-max positions");
  FUZZ_CHECK(std::memcmp(&lo, &h[want_lo], 4) == 0 || (std::isnan(lo) && std::isnan(h[want_lo])), "minimum");
  FUZZ_CHECK(std::memcmp(&hi, &h[want_hi], 4) == 0 || (std::isnan(hi) && std::isnan(h[want_hi])), "maximum");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  return run_checked(data + 1, size - 1, [&](Input& in, Arrays& a) {
    const int which = data[0] % 7;
    if (which < 4) return array_array(in, a, kCombine[which]);
    if (which < 6) return sum_or_product(in, a, which == 4);
    return min_max(in, a);
  });
}
