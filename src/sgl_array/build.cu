// Joining two arrays along their first dimension: a then b, the other dimensions the larger of the two, the
// smaller array padded with 0.0. One launch fills the whole output, each element once.
#include "cuda_brelmont.h"
#include "sgl_array/restructure.h"

__global__ void sgl_copy_to_c(const float* a, const float* b, float* out, brelmont::Join join) {
  brelmont::join_along_axis(a, b, out, join);
}

namespace {

using brelmont::Shape;

// Gives shape a new leading dimension of size 1.
void add_leading_one(Shape& shape) {
  for (int k = shape.ndims; k > 0; --k) shape.dims[k] = shape.dims[k - 1];
  shape.dims[0] = 1;
  ++shape.ndims;
}

// The shape rule: equal ranks are stacked along a new first dimension (stack) or joined along their own,
// ranks that differ by one append the lower as one more slice. False outside the rule.
bool join_shapes(bool stack, int ndims_a, int ndims_b, const int* dims_a, const int* dims_b, Shape* a, Shape* b,
                 Shape* c) {
  if (ndims_a < 0 || ndims_b < 0 || ndims_a > brelmont::kMaxDims || ndims_b > brelmont::kMaxDims) return false;
  if ((ndims_a > 0 && dims_a == nullptr) || (ndims_b > 0 && dims_b == nullptr)) return false;
  const int gap = ndims_a > ndims_b ? ndims_a - ndims_b : ndims_b - ndims_a;
  if (gap > 1) return false;
  *a = Shape{{}, ndims_a};
  *b = Shape{{}, ndims_b};
  for (int k = 0; k < ndims_a; ++k) a->dims[k] = dims_a[k];
  for (int k = 0; k < ndims_b; ++k) b->dims[k] = dims_b[k];
  if (gap == 0 && stack) {
    if (ndims_a == brelmont::kMaxDims) return false;
    add_leading_one(*a);
    add_leading_one(*b);
  } else if (gap == 1) {
    add_leading_one(ndims_a < ndims_b ? *a : *b);
  }
  if (a->ndims == 0) return false;  // two single elements joined along no dimension
  *c = Shape{{}, a->ndims};
  for (int k = 0; k < c->ndims; ++k) {
    if (a->dims[k] < 1 || b->dims[k] < 1) return false;
    c->dims[k] = k == 0 ? 0 : (a->dims[k] > b->dims[k] ? a->dims[k] : b->dims[k]);
  }
  const long long first = static_cast<long long>(a->dims[0]) + b->dims[0];
  if (first > INT_MAX) return false;
  c->dims[0] = static_cast<int>(first);
  return true;
}

// The rank of the result by the shape rule, which the caller gives outDims; 0 where the ranks fix none or one
// beyond a shape's capacity (a rank that is refused as a whole is not trusted for the length of outDims).
int joined_rank(bool stack, int ndims_a, int ndims_b) {
  if (ndims_a < 0 || ndims_b < 0 || ndims_a - ndims_b > 1 || ndims_b - ndims_a > 1) return 0;
  const int rank = (ndims_a > ndims_b ? ndims_a : ndims_b) + (stack && ndims_a == ndims_b ? 1 : 0);
  return rank <= brelmont::kMaxDims ? rank : 0;
}

void join_first_axis(bool stack, int ndimsA, int ndimsB, const int* dimsA, const int* dimsB, const float* a,
                     const float* b, float** out, int* outDims) {
  if (out != nullptr) *out = nullptr;
  Shape sa, sb, sc;
  int count_a = 0, count_b = 0, n = 0;
  if (out == nullptr || outDims == nullptr || !join_shapes(stack, ndimsA, ndimsB, dimsA, dimsB, &sa, &sb, &sc) ||
      !brelmont::checked_count(sa.dims, sa.ndims, &count_a) || !brelmont::checked_count(sb.dims, sb.ndims, &count_b) ||
      !brelmont::checked_count(sc.dims, sc.ndims, &n)) {
    brelmont::report_sizes(cudaErrorInvalidValue, outDims, nullptr, joined_rank(stack, ndimsA, ndimsB));
    return;
  }
  int axis_at = 0;
  brelmont::SpaceBuilder<2> space;
  int strides[2] = {1, 1};  // of a and of b
  for (int k = sc.ndims - 1; k >= 0; --k) {
    const int at = space.add(sc.dims[k], strides, {sa.dims[k], sb.dims[k]}, k == 0);
    if (k == 0) axis_at = at;
    strides[0] *= sa.dims[k];
    strides[1] *= sb.dims[k];
  }
  const brelmont::Join join = brelmont::join_of(space, axis_at, sa.dims[0], sb.dims[0], n);
  const cudaError_t status = brelmont::produce_new_arrays(n, {out}, {{a, count_a}, {b, count_b}}, [&](float* result) {
    return brelmont::synchronize(brelmont::launch_join(sgl_copy_to_c, a, b, result, join));
  });
  brelmont::report_sizes(status, outDims, sc.dims, sc.ndims);
}

}  // namespace

extern "C" void SGL_BuildArray(int ndimsA, int ndimsB, int* dimsA, int* dimsB, float* a, float* b, float** out,
                               int* outDims) {
  join_first_axis(true, ndimsA, ndimsB, dimsA, dimsB, a, b, out, outDims);
}

extern "C" void SGL_ConcatenateArray(int ndimsA, int ndimsB, int* dimsA, int* dimsB, float* a, float* b, float** out,
                                     int* outDims) {
  join_first_axis(false, ndimsA, ndimsB, dimsA, dimsB, a, b, out, outDims);
}
