// Fuzz target: the 1-D sequence operations, one chosen by the first byte.
#include <algorithm>
#include <cmath>

#include "fuzz_support.h"

namespace {

using namespace fuzzing;

float* const kUnset = reinterpret_cast<float*>(16);

void decimate(Input& in, Arrays& a) {
  const int n = in.small(-1, 200), factor = in.small(-2, 40);
  if (n > kMaxElements || factor > 4096) return;
  float* d = a.device<float>(n, in);
  std::vector<float*> slots(factor > 0 ? factor : 1, kUnset);
  float** outputs = a.host(slots);
  Injection inj(in);
  const cudaError_t st = SGL_Decimate1DArray(d, n, factor, outputs);
  inj.clear();
  FUZZ_CHECK(inj.known(st), "decimate status %d", st);
  if (n < 0 || factor == 0) FUZZ_CHECK(st == cudaErrorInvalidValue, "decimate of invalid arguments: %d", st);
  if (factor < 0) {
    const bool expected = st == (n < 0 ? cudaErrorInvalidValue : cudaSuccess) || (inj.active() && st == inj.error());
    FUZZ_CHECK(expected && outputs[0] == kUnset, "negative factor: %d", st);
    return;
  }
  for (int k = 0; k < factor; ++k) {
    if (st != cudaSuccess) {
      if (factor >= 1 && n >= 0) FUZZ_CHECK(outputs[k] == nullptr, "failed decimate left slot %d", k);
      continue;
    }
    a.adopt(outputs[k]);
    expect_output(outputs[k], n / factor, "decimate");
  }
}

void interleave(Input& in, Arrays& a) {
  const int length = in.small(-1, 60), count = in.small(-1, 20);
  if (static_cast<long long>(length) * count > kMaxElements || count > 4096) return;
  std::vector<float*> inputs(count > 0 ? count : 0);
  std::vector<std::vector<float>> host_inputs;
  host_inputs.reserve(inputs.size());
  for (float*& p : inputs) {
    const uint8_t b = in.byte();
    if (b < 150 || length <= 0) {
      p = a.device<float>(length < 0 ? 0 : length, in);
    } else {
      host_inputs.emplace_back(static_cast<size_t>(length));
      for (float& x : host_inputs.back()) x = in.value();
      p = a.host(host_inputs.back());
    }
  }
  float* out = kUnset;
  int out_length = -77;
  Injection inj(in);
  const cudaError_t st = SGL_Interleave1DArray(a.host(inputs), length, count, &out, &out_length);
  inj.clear();
  FUZZ_CHECK(inj.known(st), "interleave status %d", st);
  const bool has_null = length > 0 && std::find(inputs.begin(), inputs.end(), nullptr) != inputs.end();
  if (length < 0 || count < 0 || has_null) FUZZ_CHECK(st == cudaErrorInvalidValue, "interleave of invalid arguments: %d", st);
  if (st != cudaSuccess) {
    FUZZ_CHECK(out == nullptr && out_length == 0, "failed interleave left a result");
    return;
  }
  a.adopt(out);
  FUZZ_CHECK(out_length == length * count, "interleave length %d", out_length);
  expect_output(out, out_length, "interleave");
}

void interpolate_or_threshold(Input& in, Arrays& a, bool interpolate) {
  const int n = in.small(-1, 3000), start = in.small(-1, 3000);
  if (n > kMaxElements) return;
  const float x = in.flag() ? static_cast<float>(in.small(-2, 3000)) + 0.25f * in.pick(0, 3) : in.value();
  float* d = a.device<float>(n, in);
  float result = -77.0f;
  Injection inj(in);
  const cudaError_t st = interpolate ? SGL_Interpolate1DArray(n, x, d, &result) : SGL_Threshold1DArray(n, x, start, d, &result);
  inj.clear();
  FUZZ_CHECK(inj.known(st), "status %d", st);
  const bool valid = n >= 1 && (interpolate || (start >= 0 && start < n));
  if (!valid) FUZZ_CHECK(st == cudaErrorInvalidValue, "invalid arguments: %d", st);
  if (st != cudaSuccess) {
    FUZZ_CHECK(result == -77.0f, "a failed call wrote its result");
    return;
  }
  if (interpolate || std::isnan(result)) return;
  FUZZ_CHECK(result >= static_cast<float>(start) && result <= static_cast<float>(n - 1), "threshold %g outside", result);
}

void reverse_or_rotate(Input& in, Arrays& a, bool rotate) {
  const int n = in.small(-1, 3000), shift = in.any();
  if (n > kMaxElements) return;
  float* d = a.device<float>(n, in);
  const std::vector<float> before = download(d, n < 0 ? 1 : n);
  Injection inj(in);
  const cudaError_t st = rotate ? SGL_Rotate1DArray(n, shift, d) : SGL_Reverse1DArray(n, d);
  const cudaError_t done = cudaDeviceSynchronize();
  inj.clear();
  FUZZ_CHECK(inj.known(st) && inj.known(done), "status %d", st);
  if (n < 0) FUZZ_CHECK(st == cudaErrorInvalidValue, "n < 0 gave %d", st);
  if (st != cudaSuccess || inj.active()) return;
  const std::vector<float> after = download(d, n < 0 ? 1 : n);
  for (int i = 0; i < n; ++i) {
    const long long from = rotate ? ((i - static_cast<long long>(shift)) % n + n) % n : n - 1 - i;
    FUZZ_CHECK(std::memcmp(&after[i], &before[from], 4) == 0, "element %d", i);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  return run_checked(data + 1, size - 1, [&](Input& in, Arrays& a) {
    switch (data[0] % 6) {
      case 0: return decimate(in, a);
      case 1: return interleave(in, a);
      case 2: return interpolate_or_threshold(in, a, true);
      case 3: return interpolate_or_threshold(in, a, false);
      case 4: return reverse_or_rotate(in, a, false);
      default: return reverse_or_rotate(in, a, true);
    }
  });
}
