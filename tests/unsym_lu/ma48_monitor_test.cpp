// The monitoring listings of the three phases, byte for byte, at the
// shortened level 3 and the full level 4.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ma48_support.hpp"

namespace {

using tbl::test::capture_unit;
using tbl::test::data_path;
using tbl::test::Ma48;

constexpr int32_t kUnit = 44;

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("missing " + path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

Ma48 reducible() {
  return Ma48(7, 7, {1, 2, 1, 2, 3, 3, 4, 4, 5, 6, 5, 6, 7, 5}, {1, 2, 2, 1, 3, 1, 4, 3, 5, 6, 6, 5, 7, 4},
              {4.0, 5.0, 1.0, 2.0, 3.0, 1.0, 6.0, 1.0, 7.0, 8.0, 1.0, 2.0, 9.0, 1.0});
}

// A cycle of order 8 with its diagonal: sparse pivots, then a full block.
Ma48 cycle() {
  std::vector<int32_t> r, c;
  std::vector<double> v;
  for (int32_t j = 1; j <= 8; ++j) {
    r.insert(r.end(), {j, j % 8 + 1});
    c.insert(c.end(), {j, j});
    v.insert(v.end(), {4.0 + j, -1.0});
  }
  return Ma48(8, 8, r, c, v);
}

TEST(Ma48Monitor, ShortListingsOfEveryPhase) {
  Ma48 p = reducible();
  p.icntl[0] = p.icntl[1] = kUnit;
  p.icntl[2] = 3;
  const std::string out = capture_unit(kUnit, [&] {
    ASSERT_EQ(p.analyse(), 0);
    ASSERT_EQ(p.factorise(1), 0);
    ASSERT_EQ(p.factorise(2), 0);
    std::vector<double> x;
    double err[3];
    ASSERT_EQ(p.solve({1, 2, 3, 4, 5, 6, 7}, x, false, 4, err), 0);
  });
  EXPECT_EQ(out, read_file(data_path("ma48_monitor_level3.txt")));
}

TEST(Ma48Monitor, FullListingOfFactors) {
  Ma48 p = cycle();
  ASSERT_EQ(p.analyse(), 0);
  p.icntl[0] = p.icntl[1] = kUnit;
  p.icntl[2] = 4;
  const std::string out = capture_unit(kUnit, [&] { ASSERT_EQ(p.factorise(1), 0); });
  EXPECT_EQ(out, read_file(data_path("ma48_monitor_cycle_level4.txt")));
}

TEST(Ma48Monitor, NothingBelowLevelThreeOrWithoutAUnit) {
  for (const auto& [unit, level] : {std::pair{kUnit, 2}, std::pair{0, 4}, std::pair{-3, 4}}) {
    Ma48 p = reducible();
    p.icntl[0] = kUnit;
    p.icntl[1] = unit;
    p.icntl[2] = level;
    const std::string out = capture_unit(kUnit, [&] {
      p.analyse();
      p.factorise();
      std::vector<double> x;
      p.solve(std::vector<double>(7, 1.0), x, true, 4);
    });
    EXPECT_EQ(out, "") << unit << " " << level;
  }
}

}  // namespace
