// The launch shapes and the stride rule on their boundaries.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "frame/launch_shape.h"
#include "frame/strides.h"

namespace {

using brelmont::checked_count;
using brelmont::make_grid;
using brelmont::make_strides;
using brelmont::standard_grid;

TEST(StandardGrid, CoversEveryElementWithOneBlockPer512) {
  EXPECT_EQ(standard_grid(1).x, 1u);
  EXPECT_EQ(standard_grid(512).x, 1u);
  EXPECT_EQ(standard_grid(513).x, 2u);
  EXPECT_EQ(standard_grid(16777217).x, 32769u);
  EXPECT_EQ(standard_grid(INT_MAX).x, 4194304u);
  EXPECT_EQ(standard_grid(INT_MAX).y, 1u);
  EXPECT_EQ(standard_grid(INT_MAX).z, 1u);
  EXPECT_EQ(brelmont::standard_block().x, 512u);
  // The largest thread index of the largest grid still fits a signed int.
  EXPECT_EQ(4194304ull * 512 - 1, static_cast<unsigned long long>(INT_MAX));
}

TEST(WideGrid, SwitchesToTwoDimensionsAbove65535Blocks) {
  const dim3 last_1d = make_grid(33553920);
  EXPECT_EQ(last_1d.x, 65535u);
  EXPECT_EQ(last_1d.y, 1u);
  const dim3 first_2d = make_grid(33553921);
  EXPECT_EQ(first_2d.x, 256u);
  EXPECT_EQ(first_2d.y, 256u);
  EXPECT_EQ(first_2d.z, 1u);
  EXPECT_EQ(make_grid(1).x, 1u);
  EXPECT_EQ(make_grid(513).x, 2u);
}

TEST(WideGrid, EveryCountIsCoveredWithinTheDeviceLimitsAndTheIntRange) {
  for (long long n : {33553921LL, 33554432LL, 33554433LL, 100000000LL, 1000000007LL, 2147483136LL, 2147483137LL,
                      2147483647LL}) {
    const dim3 g = make_grid(static_cast<int>(n));
    const unsigned long long threads = 1ull * g.x * g.y * 512;
    EXPECT_GE(threads, static_cast<unsigned long long>(n)) << n;
    EXPECT_LE(threads - 1, static_cast<unsigned long long>(INT_MAX)) << n;  // wide_index never wraps
    EXPECT_LT(1ull * g.x * (g.y - 1) * 512, static_cast<unsigned long long>(n)) << n;  // no idle row of blocks
    EXPECT_LE(g.y, 65535u) << n;
    EXPECT_EQ(g.x, static_cast<unsigned>(std::ceil(std::sqrt(((n - 1) >> 9) + 1.0)))) << n;
  }
}

TEST(Strides, RowMajorFromTheLastDimension) {
  const int dims[] = {2, 3, 4};
  int strides[] = {-1, -1, -1};
  make_strides(strides, dims, 3);
  EXPECT_EQ(strides[0], 12);
  EXPECT_EQ(strides[1], 4);
  EXPECT_EQ(strides[2], 1);

  const int one[] = {7};
  int stride = -1;
  make_strides(&stride, one, 1);
  EXPECT_EQ(stride, 1);

  int untouched = -1;
  make_strides(&untouched, one, 0);
  EXPECT_EQ(untouched, -1);
}

TEST(Strides, CheckedCountRejectsNegativeSizesAndOverflow) {
  int count = -1;
  EXPECT_TRUE(checked_count(nullptr, 0, &count));
  EXPECT_EQ(count, 1);
  const int dims[] = {2, 3, 4};
  EXPECT_TRUE(checked_count(dims, 3, &count));
  EXPECT_EQ(count, 24);
  const int largest[] = {INT_MAX, 1};
  EXPECT_TRUE(checked_count(largest, 2, &count));
  EXPECT_EQ(count, INT_MAX);

  count = -7;
  const int negative[] = {2, -3, 0};
  EXPECT_FALSE(checked_count(negative, 3, &count));
  const int too_large[] = {65536, 32768};
  EXPECT_FALSE(checked_count(too_large, 2, &count));
  EXPECT_EQ(count, -7);

  const int empty_after_overflow[] = {100000, 100000, 0};
  EXPECT_TRUE(checked_count(empty_after_overflow, 3, &count));
  EXPECT_EQ(count, 0);
  const int negative_after_zero[] = {0, -1};
  EXPECT_FALSE(checked_count(negative_after_zero, 2, &count));
}

TEST(BlocksCovering, CeilingOfTheCountEvenAtTheTopOfTheIntRange) {
  EXPECT_EQ(brelmont::blocks_covering(1, 256).x, 1u);
  EXPECT_EQ(brelmont::blocks_covering(256, 256).x, 1u);
  EXPECT_EQ(brelmont::blocks_covering(257, 256).x, 2u);
  EXPECT_EQ(brelmont::blocks_covering(INT_MAX, 256).x, 8388608u);  // (n + 255) / 256 would overflow
  EXPECT_EQ(brelmont::blocks_covering(INT_MAX, 2048).x, 1048576u);
  EXPECT_EQ(brelmont::blocks_covering(INT_MAX, 2048).y, 1u);
}

}  // namespace
