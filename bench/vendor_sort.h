// The vendor's radix sort, bare: the reference that sorting exports are measured against.
#pragma once

#include <cstddef>

// Sorts n float keys from in to out (device arrays) with scratch prepared once, as a caller of CUB would.
class VendorSort {
 public:
  explicit VendorSort(int n);
  ~VendorSort();
  VendorSort(const VendorSort&) = delete;
  VendorSort& operator=(const VendorSort&) = delete;
  bool ready() const { return ready_; }
  void run(const float* in, float* out);

 private:
  int n_;
  void* scratch_ = nullptr;
  size_t bytes_ = 0;
  bool ready_ = false;
};
