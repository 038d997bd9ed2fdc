// The factor printer, byte for byte, on factors laid out by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ma57_factor_support.hpp"

namespace {

using ma57test::capture;
using ma57test::lines_of;
using tbl::fint;

constexpr fint kUnit = 41;

std::string print(const std::vector<double>& fact, const std::vector<fint>& ifact, fint level) {
  fint icntl[20] = {};
  icntl[2] = kUnit;
  icntl[4] = level;
  fint lfact = static_cast<fint>(fact.size()), lifact = static_cast<fint>(ifact.size());
  return capture(kUnit, [&] { MA57_PRINT_FACTORS(fact.data(), &lfact, ifact.data(), &lifact, icntl); });
}

std::string pad(const std::string& s) { return s + std::string(72 - s.size(), ' '); }

const std::vector<std::string> kLegend = {
    "   1. Block number, number of rows, number of columns",
    "   2. List of indices for the pivot, each negated if part of",
    "      a 2x2 pivot",
    "   3. The factorized block pivot",
    "      It has the form",
    "            -1  T",
    "        L  D   L ",
    "                         -1    T",
    "      and is printed as D and L  packed together.",
    "   4. List of indices for the non-pivot columns",
    "   5. The non-pivot part as rectangular block by rows",
};

// One block: a 2x2 pivot on variables 4 and 6, and variable 9 off the pivot.
const std::vector<fint> kTwoByTwoI{6, 6, 1, 3, 2, -4, -6, 9};
const std::vector<double> kTwoByTwoF{0.5, 0.0, -0.25, 1.5, -2.0, 0.125};

TEST(Ma57PrintFactors, NumbersWithTheTwoByTwoEntryBesideItsDiagonal) {
  std::vector<std::string> expect{"", "For each block, the following information is provided:"};
  expect.insert(expect.end(), kLegend.begin(), kLegend.end());
  std::vector<std::string> block{"",
                                 "Block pivot     1 with     2 rows and     3 columns",
                                 "          -4          -6",
                                 pad("  5.0000D-01  1.2500D-01"),
                                 pad("             -2.5000D-01"),
                                 "           9",
                                 pad("  1.5000D+00"),
                                 pad(" -2.0000D+00")};
  expect.insert(expect.end(), block.begin(), block.end());
  EXPECT_EQ(lines_of(print(kTwoByTwoF, kTwoByTwoI, 4)), expect);
  // Level 3 with a single block prints all of it under the same legend.
  EXPECT_EQ(lines_of(print(kTwoByTwoF, kTwoByTwoI, 3)), expect);
}

TEST(Ma57PrintFactors, PictureMode) {
  const std::vector<fint> ifact{3, 2, 1, 2, 1, 5, 7};
  const std::vector<double> fact{2.0, 0.0};
  EXPECT_EQ(print(fact, ifact, 5), "\nBlock pivot     1 with     1 rows and     2 columns\n+\n" + pad("*") + "\n+\n" +
                                       pad(".") + "\n");
  // Index signs and the threshold: the smallest normalised number is "."
  // and anything larger "*".
  const std::vector<double> tiny{2.2250738585072014e-308, 0.0, 1e-300, 0.0, 0.0, 3.0};
  std::vector<std::string> got = lines_of(print(tiny, kTwoByTwoI, 5));
  EXPECT_EQ(got[2], "--");
  EXPECT_EQ(got[3], pad(".*"));
  EXPECT_EQ(got[4], pad(" *"));
  EXPECT_EQ(got[5], "+");
}

TEST(Ma57PrintFactors, FirstBlockOnlyAtLevelThree) {
  // Three 1x1 blocks, no 2x2 list.
  const std::vector<fint> ifact{4, 3, 3, 1, 1, 3, 1, 1, 2, 1, 1, 1};
  const std::vector<double> fact{1.0, 2.0, 3.0};
  std::vector<std::string> lines = lines_of(print(fact, ifact, 3));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "For the first block only, the following information is provided:");
  EXPECT_EQ(lines.size(), 2 + kLegend.size() + 5);
  EXPECT_EQ(lines.back(), "");
  EXPECT_EQ(lines[lines.size() - 3], "           3");
  // All three at level 4, none of the legend at level 5.
  EXPECT_EQ(lines_of(print(fact, ifact, 4)).size(), 2 + kLegend.size() + 15);
  EXPECT_EQ(lines_of(print(fact, ifact, 5)).size(), 15u);
}

TEST(Ma57PrintFactors, LongRowsRunOnOverSeveralLines) {
  // Seven 1x1 pivots, no other variable: column k of the packed block holds
  // the values k.1, k.2, ...
  std::vector<fint> ifact{29, 28, 1, 7, 7, 1, 2, 3, 4, 5, 6, 7};
  std::vector<double> fact;
  for (int k = 1; k <= 7; ++k)
    for (int r = k; r <= 7; ++r) fact.push_back(k + 0.1 * (r - k + 1));
  std::vector<std::string> lines = lines_of(print(fact, ifact, 6));
  const std::size_t first = 2 + kLegend.size() + 4;  // after the two index lines
  EXPECT_EQ(lines[first - 2], "           1           2           3           4           5           6");
  EXPECT_EQ(lines[first - 1], "           7");
  EXPECT_EQ(lines[first], "  1.1000D+00  1.2000D+00  1.3000D+00  1.4000D+00  1.5000D+00  1.6000D+00");
  EXPECT_EQ(lines[first + 1], pad("  1.7000D+00"));
  EXPECT_EQ(lines[first + 2], "              2.1000D+00  2.2000D+00  2.3000D+00  2.4000D+00  2.5000D+00");
  EXPECT_EQ(lines[first + 3], pad("  2.6000D+00"));
  // Row 7: six blank fields fill a line of their own.
  EXPECT_EQ(lines[first + 12], std::string(72, ' '));
  EXPECT_EQ(lines[first + 13], pad("  7.1000D+00"));
  // No other variable: an empty index line and no off-pivot rows.
  EXPECT_EQ(lines[first + 14], "");
  EXPECT_EQ(lines.size(), first + 15);
}

}  // namespace
