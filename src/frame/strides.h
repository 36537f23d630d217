// Row-major shapes: strides, element counts and the Shape record that carries a shape into a kernel.
#pragma once

#include <climits>

namespace brelmont {

// Most dimensions an N-D shape may have.
constexpr int kMaxDims = 10;

// A shape passed by value to device code. Entries of dims from ndims on are not used.
struct Shape {
  int dims[kMaxDims];
  int ndims;
};

// strides[k] = dims[k+1] * ... * dims[count-1], so the last stride is 1. Nothing is written for count <= 0.
// The running product wraps as 32-bit arithmetic would; callers validate sizes with checked_count first.
inline void make_strides(int* strides, const int* dims, int count) {
  unsigned product = 1;
  for (int k = count - 1; k >= 0; --k) {
    strides[k] = static_cast<int>(product);
    product *= static_cast<unsigned>(dims[k]);
  }
}

// Product of dims[0..ndims-1] (1 for ndims = 0) into *count. False, with *count untouched, when a size is
// negative or the product does not fit an int.
inline bool checked_count(const int* dims, int ndims, int* count) {
  long long product = 1;
  bool zero = false, too_large = false;
  for (int k = 0; k < ndims; ++k) {
    if (dims[k] < 0) return false;
    if (dims[k] == 0) zero = true;
    if (!too_large) {
      product *= dims[k];
      too_large = product > INT_MAX;
    }
  }
  if (too_large && !zero) return false;
  *count = zero ? 0 : static_cast<int>(product);
  return true;
}

}  // namespace brelmont
