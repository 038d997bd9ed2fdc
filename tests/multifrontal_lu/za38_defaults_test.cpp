// ZA38's defaults through the entry point, with a guard past each array.
#include <gtest/gtest.h>

#include <vector>

#include "TesselBasicLib.h"

namespace {

constexpr int32_t kGuard = -12345;
constexpr double kRealGuard = -9.75;

TEST(Za38Defaults, FillExactlyTheirEntries) {
  std::vector<int32_t> keep(21, kGuard), icntl(21, kGuard);
  std::vector<double> cntl(11, kRealGuard);
  VIZ_ZA38ID(keep.data(), cntl.data(), icntl.data());

  const std::vector<int32_t> want_icntl = {6, 6, 2, 1, 4, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<int32_t>(icntl.begin(), icntl.begin() + 20), want_icntl);
  EXPECT_EQ(cntl[0], 0.1);
  EXPECT_EQ(cntl[1], 2.0);
  EXPECT_EQ(cntl[2], 2.220446049250314e-16);
  for (int i = 3; i < 10; ++i) EXPECT_EQ(cntl[i], 0.0) << "CNTL(" << i + 1 << ")";
  for (int i = 0; i < 5; ++i) EXPECT_EQ(keep[i], kGuard) << "KEEP(" << i + 1 << ") belongs to the host";
  EXPECT_EQ(keep[5], 0);
  EXPECT_EQ(keep[6], 64);
  EXPECT_EQ(keep[7], 1);
  for (int i = 8; i < 20; ++i) EXPECT_EQ(keep[i], 0) << "KEEP(" << i + 1 << ")";
  EXPECT_EQ(keep[20], kGuard);
  EXPECT_EQ(icntl[20], kGuard);
  EXPECT_EQ(cntl[10], kRealGuard);
}

}  // namespace
