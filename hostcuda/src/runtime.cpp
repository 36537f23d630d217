// hostcuda: the CPU stand-in for the part of the CUDA runtime that cuda_brelmont and its callers use.
//
// Device memory is host memory from the C heap, so AddressSanitizer sees every out-of-bounds access a
// kernel makes. The runtime's observable rules are kept: zero-byte allocations succeed with a null pointer,
// a refused launch runs nothing and stays the pending last error, the last error is per host thread.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <stdlib.h>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#if defined(_WIN32)
#include <malloc.h>
#endif

#include "blocks.h"
#include "workers.h"
#include "cuda_runtime.h"
#include "hostcuda/hooks.h"

thread_local uint3 threadIdx;
thread_local uint3 blockIdx;
thread_local uint3 blockDim;
thread_local uint3 gridDim;

#if defined(_WIN32)
extern "C" {
const uint3* hostcudaThreadIdx(void) { return &threadIdx; }
const uint3* hostcudaBlockIdx(void) { return &blockIdx; }
const uint3* hostcudaBlockDim(void) { return &blockDim; }
const uint3* hostcudaGridDim(void) { return &gridDim; }
}
#endif

namespace {

// Device limits of every GPU this library targets.
constexpr unsigned kMaxThreadsPerBlock = 1024;
constexpr unsigned kMaxBlockX = 1024, kMaxBlockY = 1024, kMaxBlockZ = 64;
constexpr unsigned kMaxGridX = 2147483647u, kMaxGridYZ = 65535;
constexpr size_t kAlignment = 256;  // what cudaMalloc guarantees

thread_local cudaError_t last_error = cudaSuccess;

cudaError_t record(cudaError_t error) {
  if (error != cudaSuccess) last_error = error;
  return error;
}

// A live allocation: its size in bytes and the device whose memory it is (hostcudaSetAllocationDevice).
struct Allocation {
  size_t size;
  int device;
};

// Live allocations by base address.
std::mutex allocations_mutex;
std::map<uintptr_t, Allocation>& allocations() {
  static auto* table = new std::map<uintptr_t, Allocation>;  // never destroyed: callers may free at exit
  return *table;
}

std::atomic<int> allocation_countdown{0};
std::atomic<int> launch_countdown{0};
std::atomic<int> launch_failure{cudaSuccess};
std::atomic<int> synchronize_failure{cudaSuccess};
std::atomic<int> copy_countdown{0};
std::atomic<int> copy_failure{cudaSuccess};

// Fixed seeds (hostcudaFixSeed): whether they are on, and the next one.
std::mutex seed_mutex;
bool seeds_fixed = false;
unsigned long long next_fixed_seed = 0;

// Runtime calls served, by kind (hostcudaCounts).
struct Counters {
  std::atomic<unsigned long long> allocations{0}, releases{0}, copies_to_device{0}, copies_to_host{0},
      copies_on_device{0}, copies_on_host{0}, memsets{0}, synchronizations{0}, launches{0};
};
Counters counters;

// Device work queued since the last call that waits for it (hostcudaPendingWork).
std::atomic<unsigned long long> pending_work{0};

// Device work that succeeded joins the queue; a failure queued nothing. Returns status.
cudaError_t queued(cudaError_t status) {
  if (status == cudaSuccess) pending_work.fetch_add(1);
  return status;
}

// A call that waits for all queued work, once it has waited. Returns status.
cudaError_t waited(cudaError_t status) {
  pending_work.store(0);
  return status;
}

// Counts down a pending failure request; true when this call is the one that must fail.
// Heap memory aligned as cudaMalloc aligns; null when there is none. Released with release_aligned.
void* allocate_aligned(size_t size) {
#if defined(_WIN32)
  return _aligned_malloc(size, kAlignment);
#else
  void* p = nullptr;
  return posix_memalign(&p, kAlignment, size) == 0 ? p : nullptr;
#endif
}

void release_aligned(void* p) {
#if defined(_WIN32)
  _aligned_free(p);
#else
  std::free(p);
#endif
}

bool take_failure(std::atomic<int>& countdown) {
  int k = countdown.load();
  while (k > 0) {
    if (countdown.compare_exchange_weak(k, k - 1)) return k == 1;
  }
  return false;
}

// The device of the live allocation that holds all of [p, p + bytes), or -1 when none does.
int device_of_range(const void* p, size_t bytes) {
  const auto address = reinterpret_cast<uintptr_t>(p);
  std::lock_guard<std::mutex> lock(allocations_mutex);
  auto it = allocations().upper_bound(address);
  if (it == allocations().begin()) return -1;
  --it;
  const size_t size = it->second.size;
  return address - it->first <= size && bytes <= size - (address - it->first) ? it->second.device : -1;
}

// True when [p, p + bytes) lies inside one live allocation.
bool is_device_range(const void* p, size_t bytes) { return device_of_range(p, bytes) >= 0; }

bool valid_configuration(dim3 grid, dim3 block) {
  if (grid.x == 0 || grid.y == 0 || grid.z == 0 || block.x == 0 || block.y == 0 || block.z == 0) return false;
  if (block.x > kMaxBlockX || block.y > kMaxBlockY || block.z > kMaxBlockZ) return false;
  if (uint64_t{block.x} * block.y * block.z > kMaxThreadsPerBlock) return false;
  return grid.x <= kMaxGridX && grid.y <= kMaxGridYZ && grid.z <= kMaxGridYZ;
}

uint64_t gcd(uint64_t a, uint64_t b) {
  while (b != 0) {
    const uint64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

}  // namespace

extern "C" {

cudaError_t cudaMalloc(void** devPtr, size_t size) {
  counters.allocations.fetch_add(1);
  if (devPtr == nullptr) return record(cudaErrorInvalidValue);
  *devPtr = nullptr;
  if (take_failure(allocation_countdown)) return record(cudaErrorMemoryAllocation);
  if (size == 0) return cudaSuccess;
  // Exactly size bytes, so that AddressSanitizer flags the first byte past the end.
  void* p = allocate_aligned(size);
  if (p == nullptr) return record(cudaErrorMemoryAllocation);
  std::memset(p, HOSTCUDA_POISON_BYTE, size);
  {
    std::lock_guard<std::mutex> lock(allocations_mutex);
    allocations()[reinterpret_cast<uintptr_t>(p)] = Allocation{size, 0};
  }
  *devPtr = p;
  return cudaSuccess;
}

cudaError_t cudaFree(void* devPtr) {
  if (devPtr == nullptr) return cudaSuccess;
  counters.releases.fetch_add(1);
  {
    std::lock_guard<std::mutex> lock(allocations_mutex);
    if (allocations().erase(reinterpret_cast<uintptr_t>(devPtr)) == 0) return record(cudaErrorInvalidValue);
  }
  release_aligned(devPtr);
  return cudaSuccess;
}

cudaError_t cudaMemcpy(void* dst, const void* src, size_t count, cudaMemcpyKind kind) {
  if (kind == cudaMemcpyDefault && count != 0 && dst != nullptr && src != nullptr) {
    kind = is_device_range(src, count) ? (is_device_range(dst, count) ? cudaMemcpyDeviceToDevice : cudaMemcpyDeviceToHost)
                                       : (is_device_range(dst, count) ? cudaMemcpyHostToDevice : cudaMemcpyHostToHost);
  }
  switch (kind) {
    case cudaMemcpyHostToHost: counters.copies_on_host.fetch_add(1); break;
    case cudaMemcpyHostToDevice: counters.copies_to_device.fetch_add(1); break;
    case cudaMemcpyDeviceToHost: counters.copies_to_host.fetch_add(1); break;
    case cudaMemcpyDeviceToDevice: counters.copies_on_device.fetch_add(1); break;
    default: break;
  }
  if (take_failure(copy_countdown)) return record(static_cast<cudaError_t>(copy_failure.load()));
  if (count == 0) return cudaSuccess;
  if (dst == nullptr || src == nullptr) return record(cudaErrorInvalidValue);
  bool src_on_device = false, dst_on_device = false;
  switch (kind) {
    case cudaMemcpyHostToHost: break;
    case cudaMemcpyHostToDevice: dst_on_device = true; break;
    case cudaMemcpyDeviceToHost: src_on_device = true; break;
    case cudaMemcpyDeviceToDevice: src_on_device = dst_on_device = true; break;
    default: return record(cudaErrorInvalidMemcpyDirection);
  }
  if ((src_on_device && !is_device_range(src, count)) || (dst_on_device && !is_device_range(dst, count))) {
    return record(cudaErrorInvalidValue);
  }
  std::memmove(dst, src, count);
  // A copy between host and device waits for the work queued before it. One to the device returns once the
  // host data is staged, so its own transfer may still be running; one to the host has landed.
  if (kind == cudaMemcpyHostToDevice) waited(cudaSuccess);
  if (kind == cudaMemcpyHostToDevice || kind == cudaMemcpyDeviceToDevice) return queued(cudaSuccess);
  return kind == cudaMemcpyDeviceToHost ? waited(cudaSuccess) : cudaSuccess;
}

cudaError_t cudaMemset(void* devPtr, int value, size_t count) {
  counters.memsets.fetch_add(1);
  if (count == 0) return cudaSuccess;
  if (!is_device_range(devPtr, count)) return record(cudaErrorInvalidValue);
  std::memset(devPtr, value, count);
  return queued(cudaSuccess);
}

cudaError_t cudaDeviceSynchronize(void) {
  counters.synchronizations.fetch_add(1);
  return waited(record(static_cast<cudaError_t>(synchronize_failure.exchange(cudaSuccess))));
}

cudaError_t cudaGetLastError(void) {
  const cudaError_t error = last_error;
  last_error = cudaSuccess;
  return error;
}

cudaError_t cudaPeekAtLastError(void) { return last_error; }

const char* cudaGetErrorName(cudaError_t error) {
  switch (error) {
    case cudaSuccess: return "cudaSuccess";
    case cudaErrorInvalidValue: return "cudaErrorInvalidValue";
    case cudaErrorMemoryAllocation: return "cudaErrorMemoryAllocation";
    case cudaErrorInitializationError: return "cudaErrorInitializationError";
    case cudaErrorInvalidConfiguration: return "cudaErrorInvalidConfiguration";
    case cudaErrorInvalidDevicePointer: return "cudaErrorInvalidDevicePointer";
    case cudaErrorInvalidMemcpyDirection: return "cudaErrorInvalidMemcpyDirection";
    case cudaErrorInvalidDeviceFunction: return "cudaErrorInvalidDeviceFunction";
    case cudaErrorNoDevice: return "cudaErrorNoDevice";
    case cudaErrorInvalidDevice: return "cudaErrorInvalidDevice";
    case cudaErrorNoKernelImageForDevice: return "cudaErrorNoKernelImageForDevice";
    case cudaErrorIllegalAddress: return "cudaErrorIllegalAddress";
    case cudaErrorLaunchOutOfResources: return "cudaErrorLaunchOutOfResources";
    case cudaErrorLaunchFailure: return "cudaErrorLaunchFailure";
    case cudaErrorUnknown: return "cudaErrorUnknown";
  }
  return "cudaErrorUnknown";
}

const char* cudaGetErrorString(cudaError_t error) {
  switch (error) {
    case cudaSuccess: return "no error";
    case cudaErrorInvalidValue: return "invalid argument";
    case cudaErrorMemoryAllocation: return "out of memory";
    case cudaErrorInitializationError: return "initialization error";
    case cudaErrorInvalidConfiguration: return "invalid configuration argument";
    case cudaErrorInvalidDevicePointer: return "invalid device pointer";
    case cudaErrorInvalidMemcpyDirection: return "invalid copy direction for memcpy";
    case cudaErrorInvalidDeviceFunction: return "invalid device function";
    case cudaErrorNoDevice: return "no CUDA-capable device is detected";
    case cudaErrorInvalidDevice: return "invalid device ordinal";
    case cudaErrorNoKernelImageForDevice: return "no kernel image is available for execution on the device";
    case cudaErrorIllegalAddress: return "an illegal memory access was encountered";
    case cudaErrorLaunchOutOfResources: return "too many resources requested for launch";
    case cudaErrorLaunchFailure: return "unspecified launch failure";
    case cudaErrorUnknown: return "unknown error";
  }
  return "unrecognized error code";
}

cudaError_t cudaGetDeviceCount(int* count) {
  if (count == nullptr) return record(cudaErrorInvalidValue);
  *count = 1;
  return cudaSuccess;
}

cudaError_t cudaGetDevice(int* device) {
  if (device == nullptr) return record(cudaErrorInvalidValue);
  *device = 0;
  return cudaSuccess;
}

cudaError_t cudaSetDevice(int device) { return device == 0 ? cudaSuccess : record(cudaErrorInvalidDevice); }

// Answered from the allocation table: an address inside a live allocation is device memory of device 0,
// anything else is host memory that the runtime does not know (as the runtime reports pageable memory).
cudaError_t cudaPointerGetAttributes(cudaPointerAttributes* attributes, const void* ptr) {
  if (attributes == nullptr) return record(cudaErrorInvalidValue);
  *attributes = cudaPointerAttributes{};
  const int device = ptr != nullptr ? device_of_range(ptr, 1) : -1;
  const bool on_device = device >= 0;
  attributes->type = on_device ? cudaMemoryTypeDevice : cudaMemoryTypeUnregistered;
  attributes->device = on_device ? device : cudaInvalidDeviceId;
  attributes->devicePointer = on_device ? const_cast<void*>(ptr) : nullptr;
  attributes->hostPointer = on_device ? nullptr : const_cast<void*>(ptr);
  return cudaSuccess;
}

cudaError_t hostcudaLaunch(dim3 grid, dim3 block, void (*thread)(void*), void* context) {
  counters.launches.fetch_add(1);
  if (!valid_configuration(grid, block)) return record(cudaErrorInvalidConfiguration);
  if (take_failure(launch_countdown)) return record(static_cast<cudaError_t>(launch_failure.load()));

  // Blocks run in the order start, start + step, ... (mod total): a permutation that never begins at block
  // 0 of several, so code that wrongly relies on block order shows in tests.
  const uint64_t total = uint64_t{grid.x} * grid.y * grid.z;
  uint64_t step = total / 2 + 1;
  while (gcd(step, total) != 1) ++step;
  step %= total;
  if (step == 0) step = 1;

  // With several block threads, share s runs the blocks at positions s, s + shares, ... of that order.
  const unsigned shares = static_cast<unsigned>(std::min<uint64_t>(hostcuda::block_threads(), total));
  hostcuda::run_shares(shares, [&](unsigned s) {
    gridDim = grid;
    blockDim = block;
    uint64_t b = total - 1, stride = 0;
    for (unsigned k = 0; k < shares; ++k) {
      if (k < s) b = (b + step) % total;
      stride = (stride + step) % total;
    }
    for (uint64_t visited = s; visited < total; visited += shares, b = (b + stride) % total) {
      blockIdx = uint3{static_cast<unsigned>(b % grid.x), static_cast<unsigned>(b / grid.x % grid.y),
                       static_cast<unsigned>(b / grid.x / grid.y)};
      hostcuda::run_block(thread, context, block);
    }
  });
  return queued(cudaSuccess);
}

size_t hostcudaLiveAllocations(void) {
  std::lock_guard<std::mutex> lock(allocations_mutex);
  return allocations().size();
}

void hostcudaFailAllocation(int k) { allocation_countdown.store(k > 0 ? k : 0); }

void hostcudaFailLaunch(int k, cudaError_t error) {
  launch_failure.store(error);
  launch_countdown.store(k > 0 ? k : 0);
}

void hostcudaFailCopy(int k, cudaError_t error) {
  copy_failure.store(error);
  copy_countdown.store(k > 0 ? k : 0);
}

void hostcudaFailSynchronize(cudaError_t error) { synchronize_failure.store(error); }

unsigned long long hostcudaLaunchCount(void) { return counters.launches.load(); }

unsigned long long hostcudaPendingWork(void) { return pending_work.load(); }

cudaError_t hostcudaSetAllocationDevice(void* p, int device) {
  std::lock_guard<std::mutex> lock(allocations_mutex);
  const auto it = allocations().find(reinterpret_cast<uintptr_t>(p));
  if (it == allocations().end() || device < 0) return record(cudaErrorInvalidValue);
  it->second.device = device;
  return cudaSuccess;
}

hostcudaCallCounts hostcudaCounts(void) {
  hostcudaCallCounts c;
  c.allocations = counters.allocations.load();
  c.releases = counters.releases.load();
  c.copies_to_device = counters.copies_to_device.load();
  c.copies_to_host = counters.copies_to_host.load();
  c.copies_on_device = counters.copies_on_device.load();
  c.copies_on_host = counters.copies_on_host.load();
  c.memsets = counters.memsets.load();
  c.synchronizations = counters.synchronizations.load();
  c.launches = counters.launches.load();
  return c;
}

void hostcudaFixSeed(int fixed, unsigned long long seed) {
  std::lock_guard<std::mutex> lock(seed_mutex);
  seeds_fixed = fixed != 0;
  next_fixed_seed = seed;
}

int hostcudaNextFixedSeed(unsigned long long* seed) {
  std::lock_guard<std::mutex> lock(seed_mutex);
  if (!seeds_fixed || seed == nullptr) return 0;
  *seed = next_fixed_seed++;
  return 1;
}

}  // extern "C"
