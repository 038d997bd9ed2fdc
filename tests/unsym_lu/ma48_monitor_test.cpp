// The monitoring listings of the three phases, byte for byte, at the
// shortened level 3 and the full level 4.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ma48_support.hpp"
#include "support/child.hpp"

namespace {

using tbl::test::capture_unit;
using tbl::test::cycle_matrix;
using tbl::test::data_path;
using tbl::test::Ma48;
using tbl::test::reducible_matrix;
using tbl::test::run_in_child;

constexpr int32_t kUnit = 44;

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("missing " + path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Ma48Monitor, ShortListingsOfEveryPhase) {
  Ma48 p = reducible_matrix();
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
  Ma48 p = cycle_matrix();
  ASSERT_EQ(p.analyse(), 0);
  p.icntl[0] = p.icntl[1] = kUnit;
  p.icntl[2] = 4;
  const std::string out = capture_unit(kUnit, [&] { ASSERT_EQ(p.factorise(1), 0); });
  EXPECT_EQ(out, read_file(data_path("ma48_monitor_cycle_level4.txt")));
}

TEST(Ma48Monitor, EachKindOfMessageNeedsItsUnitAndLevel) {
  // Every phase once, with a duplicate (a warning) and a failed check (an
  // error), on units 6 (standard output) and 0 (standard error, which the
  // unit guard never lets through).
  auto run = [](int32_t unit, int32_t level) {
    return run_in_child([&] {
      Ma48 p(2, 2, {1, 2, 1}, {1, 2, 1}, {1.0, 2.0, 3.0});
      p.icntl[0] = p.icntl[1] = unit;
      p.icntl[2] = level;
      p.analyse();
      p.factorise();
      std::vector<double> x;
      p.solve({1.0, 1.0}, x, false, 4);
      p.solve({1.0, 1.0}, x, false, 0);
    });
  };
  for (const int32_t level : {0, 4}) {
    const auto quiet = run(level == 0 ? 6 : 0, level);
    EXPECT_EQ(quiet.out + quiet.err, "") << level;
  }
  const char* error = " Error return from MA48C/CD because JOB =          0\n";
  const char* warning = " Message from MA48A/AD ..       1 duplicates found\n";
  EXPECT_EQ(run(6, 1).out, error);
  const std::string two = run(6, 2).out;
  EXPECT_NE(two.find(warning), std::string::npos);
  EXPECT_NE(two.find(error), std::string::npos);
  EXPECT_EQ(two.find("Entering"), std::string::npos);
  EXPECT_NE(run(6, 3).out.find(" Entering MA48CD with"), std::string::npos);
}

}  // namespace
