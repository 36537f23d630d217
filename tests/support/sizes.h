// Element counts that cross the block (512 threads) and warp boundaries.
#pragma once

#include <vector>

namespace testing_support {

inline const std::vector<int>& boundary_sizes() {
  static const std::vector<int> sizes = {0,   1,   2,    31,   32,   33,   255,   256,  257,
                                         511, 512, 513, 1023, 1024, 1025, 65536, 65539};
  return sizes;
}

}  // namespace testing_support
