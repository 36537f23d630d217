/* hostcuda: the device's atomic read-modify-write functions that kernels call. Each is atomic on the host
 * too, so kernels stay correct whichever order, or however many host threads, run their blocks. */
#ifndef HOSTCUDA_ATOMICS_H
#define HOSTCUDA_ATOMICS_H

/* *address = min(*address, value); returns the old value. */
template <typename T>
inline T hostcuda_atomic_min(T* address, T value) {
  T old = __atomic_load_n(address, __ATOMIC_RELAXED);
  while (value < old &&
         !__atomic_compare_exchange_n(address, &old, value, true, __ATOMIC_ACQ_REL, __ATOMIC_RELAXED)) {
  }
  return old;
}

inline int atomicMin(int* address, int value) { return hostcuda_atomic_min(address, value); }
inline unsigned int atomicMin(unsigned int* address, unsigned int value) { return hostcuda_atomic_min(address, value); }

/* A fresh read of a word that other blocks may be changing with atomics (the device's load that bypasses the
 * cache): a relaxed atomic load, so that two blocks on two host threads do not race. */
inline unsigned int __ldcv(const unsigned int* address) { return __atomic_load_n(address, __ATOMIC_RELAXED); }

#endif
