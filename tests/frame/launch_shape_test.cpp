// The launch shapes and the stride rule on their boundaries.
#include "frame/launch_shape.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <tuple>
#include <vector>

#include "frame/strides.h"

namespace {

using brelmont::checked_count;
using brelmont::make_grid;
using brelmont::make_strides;

TEST(LaunchShape, GridsCoverEveryCountWithinTheLimits) {
  EXPECT_EQ(brelmont::standard_block().x, 512u);
  // ceil(n / threads) blocks, even at the top of the int range, where (n + threads - 1) / threads would overflow;
  // the standard grid is that of 512 threads.
  for (auto [n, threads, blocks] :
       {std::tuple{1, 512u, 1u}, {512, 512u, 1u}, {513, 512u, 2u}, {16777217, 512u, 32769u}, {INT_MAX, 512u, 4194304u},
        {1, 256u, 1u}, {256, 256u, 1u}, {257, 256u, 2u}, {INT_MAX, 256u, 8388608u}, {INT_MAX, 2048u, 1048576u}}) {
    const dim3 covering = brelmont::blocks_covering(n, threads), standard = brelmont::standard_grid(n);
    EXPECT_TRUE(covering.x == blocks && covering.y == 1 && covering.z == 1) << n << " / " << threads;
    if (threads == 512) EXPECT_TRUE(standard.x == blocks && standard.y == 1 && standard.z == 1) << n;
  }
  // Wide: 1-D up to 65535 blocks, then the near-square x * y grid.
  for (long long n :
       {1LL, 513LL, 33553920LL, 33553921LL, 33554433LL, 1000000007LL, 2147483136LL, 2147483137LL, 2147483647LL}) {
    const dim3 g = make_grid(static_cast<int>(n));
    const long long blocks = ((n - 1) >> 9) + 1, x = blocks <= 65535 ? blocks : std::ceil(std::sqrt(blocks + 0.0));
    EXPECT_TRUE(g.x == x && g.z == 1 && g.y <= 65535) << n;
    EXPECT_GE(512ull * g.x * g.y, n) << n;
    EXPECT_LE(512ull * g.x * g.y - 1, static_cast<unsigned long long>(INT_MAX)) << n;  // wide_index never wraps
    EXPECT_LT(512ull * g.x * (g.y - 1), n) << n;                                       // no idle row of blocks
  }
}

TEST(Strides, RowMajorFromTheLastDimensionAndCheckedCounts) {
  int strides[] = {-1, -1, -1, -1};
  const int dims[] = {2, 3, 4};
  make_strides(strides, dims, 3);
  EXPECT_EQ(std::vector<int>(strides, strides + 4), (std::vector<int>{12, 4, 1, -1}));
  make_strides(strides + 3, dims, 0);  // nothing for no dimensions
  EXPECT_EQ(strides[3], -1);
  // Sizes, then the count (-7: refused, count untouched).
  const std::vector<std::vector<int>> rows = {{24, 2, 3, 4}, {INT_MAX, INT_MAX, 1}, {-7, 2, -3, 0}, {-7, 65536, 32768},
                                              {0, 100000, 100000, 0}, {-7, 0, -1}, {1}, {0, 0}};
  for (const std::vector<int>& row : rows) {
    int count = -7;
    EXPECT_EQ(checked_count(row.data() + 1, static_cast<int>(row.size()) - 1, &count), row[0] != -7);
    EXPECT_EQ(count, row[0]) << ::testing::PrintToString(row);
  }
}

}  // namespace
