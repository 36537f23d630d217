// The one way the library launches a kernel, and the status rules of the launching exports.
//
// In the cuda variant a launch is cudaLaunchKernel on the default stream with no dynamic shared memory; a
// refused launch returns its status and stays the runtime's pending last error. In the host variant the
// stand-in runtime validates the configuration the same way and runs the grid on the calling thread.
#pragma once

#include <cuda_runtime.h>

#include "frame/device_memory.h"
#include "frame/launch_shape.h"

namespace brelmont {

// Keeps a launch argument out of template deduction, so arguments convert to the kernel's parameter types.
template <typename T>
struct exactly {
  using type = T;
};
template <typename T>
using exactly_t = typename exactly<T>::type;

#if !defined(__CUDACC__)
template <typename Body>
void run_kernel_thread(void* body) {
  (*static_cast<Body*>(body))();
}
#endif

// Launches kernel(args...) over grid x block and returns the launch status (the kernel may still be running).
template <typename... Params>
cudaError_t launch(void (*kernel)(Params...), dim3 grid, dim3 block, exactly_t<Params>... args) {
#if defined(__CUDACC__)
  void* argv[] = {static_cast<void*>(&args)...};
  return cudaLaunchKernel(reinterpret_cast<const void*>(kernel), grid, block, argv, 0, nullptr);
#else
  auto body = [&] { kernel(args...); };
  return hostcudaLaunch(grid, block, &run_kernel_thread<decltype(body)>, &body);
#endif
}

// The earlier failure of two steps, or success.
inline cudaError_t first_failure(cudaError_t earlier, cudaError_t later) {
  return earlier != cudaSuccess ? earlier : later;
}

// Waits for the device. A failed launch is reported ahead of the synchronisation, which would not see it.
inline cudaError_t synchronize(cudaError_t launched) { return first_failure(launched, cudaDeviceSynchronize()); }

// Synchronised-status export over n elements: one standard launch of kernel(args...), then the device
// synchronisation. n <= 0 launches nothing (a launch the runtime would only refuse) and still synchronises.
// Every pointer argument of a standard kernel is an array of n elements: a null one, with n >= 1, is
// cudaErrorInvalidValue with no device work.
template <typename... Params>
cudaError_t run_standard(void (*kernel)(Params...), int n, exactly_t<Params>... args) {
  if (reaches_null({use_of(args, n)...})) return cudaErrorInvalidValue;
  const cudaError_t launched = n > 0 ? launch(kernel, standard_grid(n), standard_block(), args...) : cudaSuccess;
  return synchronize(launched);
}

// The in-place elementwise export: kernel(data, n) over n elements, synchronised.
inline cudaError_t run_in_place(void (*kernel)(float*, int), float* data, int n) {
  return run_standard(kernel, n, data, n);
}

// New-array export: allocates n elements and fills them with one wide-grid launch of fill(array, value, n).
// Null when n <= 0 or when any step fails, with nothing left allocated; otherwise the caller owns the array.
template <typename T>
T* create_filled(void (*fill)(T*, T, int), int n, T value) {
  if (n <= 0) return nullptr;
  ScopedDeviceArray<T> array;
  if (array.allocate(n) != cudaSuccess) return nullptr;
  if (synchronize(launch(fill, make_grid(n), standard_block(), array.get(), value, n)) != cudaSuccess) return nullptr;
  return array.release();
}

}  // namespace brelmont
