// Whole-array reductions: sum, product, and minimum and maximum with their positions.
//
// They return a status numbered as cuDNN 9 numbers its own. No handle or descriptor is made per call: the
// device memory of a call is its result buffer and the algorithm's scratch, both released before return.
#include "cuda_brelmont.h"
#include "frame/algorithms.h"
#include "frame/coordinates.h"
#include "frame/device_memory.h"
#include "frame/launch.h"
#include "frame/strides.h"

namespace {

brelmontStatus_t status_of(cudaError_t error) {
  if (error == cudaSuccess) return BRELMONT_STATUS_SUCCESS;
  return error == cudaErrorMemoryAllocation ? BRELMONT_STATUS_DEVICE_ALLOCATION_FAILED
                                            : BRELMONT_STATUS_EXECUTION_FAILED;
}

// Runs algorithm(device buffer of one T), which returns with its work complete and a fault of it reported, and
// copies the T it wrote to *host.
template <typename T, typename Algorithm>
cudaError_t reduce_to_host(T* host, Algorithm algorithm) {
  brelmont::ScopedDeviceArray<T> buffer;
  if (const cudaError_t status = buffer.allocate(1); status != cudaSuccess) return status;
  if (const cudaError_t status = algorithm(buffer.get()); status != cudaSuccess) return status;
  const cudaError_t copied = cudaMemcpy(host, buffer.get(), sizeof(T), cudaMemcpyDeviceToHost);
  return brelmont::first_failure(copied, buffer.free());
}

// Sum or product: accumulated in double precision on the device, rounded once to float here.
brelmontStatus_t accumulate(cudaError_t (*algorithm)(const float*, int, double*), const float* data, int count,
                            float* result) {
  if (result == nullptr) return BRELMONT_STATUS_BAD_PARAM;
  if (count <= 0) {
    *result = 0.0f;
    return BRELMONT_STATUS_SUCCESS;
  }
  if (brelmont::reaches_null({{data, count}})) return BRELMONT_STATUS_BAD_PARAM;
  double total = 0.0;
  const cudaError_t status = reduce_to_host(&total, [&](double* out) { return algorithm(data, count, out); });
  if (status != cudaSuccess) return status_of(status);
  *result = static_cast<float>(total);
  return BRELMONT_STATUS_SUCCESS;
}

}  // namespace

extern "C" brelmontStatus_t SGL_AddArrayElement(float* data, int count, float* result) {
  return accumulate(brelmont::device_sum, data, count, result);
}

extern "C" brelmontStatus_t SGL_MultiplyArrayElement(float* data, int count, float* result) {
  return accumulate(brelmont::device_product, data, count, result);
}

extern "C" brelmontStatus_t SGL_MinMaxArray(int ndims, int /*unused*/, int* sizes, float* data, float* minimum,
                                            float* maximum, int* minPosition, int* maxPosition) {
  if (ndims < 1 || ndims > brelmont::kMaxDims || sizes == nullptr || minimum == nullptr || maximum == nullptr ||
      minPosition == nullptr || maxPosition == nullptr) {
    return BRELMONT_STATUS_BAD_PARAM;
  }
  // A copy of the sizes, so that a position array may share storage with them.
  brelmont::Shape shape{};
  shape.ndims = ndims;
  for (int d = 0; d < ndims; ++d) shape.dims[d] = sizes[d];
  int count = 0;
  if (!brelmont::checked_count(shape.dims, ndims, &count) || count == 0 || brelmont::reaches_null({{data, count}})) {
    return BRELMONT_STATUS_BAD_PARAM;
  }

  brelmont::Extremes found{};
  const cudaError_t status =
      reduce_to_host(&found, [&](brelmont::Extremes* out) { return brelmont::device_extremes(data, count, out); });
  if (status != cudaSuccess) return status_of(status);

  *minimum = found.min;
  *maximum = found.max;
  brelmont::for_each_coordinate(found.min_index, shape, [&](int d, int c) { minPosition[d] = c; });
  brelmont::for_each_coordinate(found.max_index, shape, [&](int d, int c) { maxPosition[d] = c; });
  return BRELMONT_STATUS_SUCCESS;
}
