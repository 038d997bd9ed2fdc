// Values that are not finite: a matrix holding one (as given, or only once
// duplicates are summed) is refused by the factorising call that meets it,
// with the entry named and the factors left unusable for the later calls;
// factors of finite values that overflow carry warning 16; a solution or
// residual that is not finite, or one measured against row sums that
// overflow, is never reported with a backward error of 0.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "za38_support.hpp"

namespace {

using tbl::test::Za38;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

enum class Phase { kAnalyse, kRefactor, kSolve };  // the call that meets the value
enum class Change {
  kEntry,       // entry (3,4) of the matrix
  kDuplicate,   // entry (3,4) given twice, the two finite, their sum not
  kOutOfRange,  // an extra entry (41,4), which is dropped
  kRhs,         // B(5)
  kOverflow,    // finite values whose factors overflow
  kBigRows,     // finite values whose row sums of |A| overflow, as do the factors
};

struct Case {
  const char* name;
  Phase phase;
  Change change;
  double v;
  bool transa;
  int32_t status;       // INFO(1) of the call that meets the value
  std::string message;  // what that call prints at print level 2
  int32_t steps = 2;    // ICNTL(8): refinement on the kept copy, or none
};

std::string refused(const char* who, const char* value) {
  return std::string(" ") + who + ": matrix entry not finite!\n    row:            3 col:            4 value: " +
         value + "\n";
}
std::string overflowed(const char* who) {
  return std::string(" ") + who +
         ": factors not finite (RINFO(9) = Infinity); a solve gives no solution.\n"
         "    A new ZA38AD with ICNTL(6) = 1, a larger CNTL(1) or a scaled matrix\n    may avoid the overflow.\n";
}

// 40 x 40, diagonal 4 and a ring of -1 either side: X = 1 solves it.
Za38 ring() {
  std::vector<int32_t> r, c;
  std::vector<double> v;
  for (int32_t i = 1; i <= 40; ++i)
    for (const int32_t j : {i, i % 40 + 1, (i + 38) % 40 + 1}) {
      r.push_back(i);
      c.push_back(j);
      v.push_back(i == j ? 4.0 : -1.0);
    }
  return Za38(40, r, c, v);
}

// 3 x 3, one block: pivot (1,1) comes first and its row has nothing else,
// so a tiny pivot there overflows the multipliers of L alone.
Za38 lower_first() {
  Za38 p(3, {1, 2, 3, 2, 2, 3, 3}, {1, 1, 1, 2, 3, 2, 3}, {4.0, 1.0, 1.0, 4.0, 1.0, 1.0, 4.0});
  p.icntl[3] = 0;
  return p;
}

// 2 x 2 with entries of 1e308: U(2,2) and both row sums of |A| are 2e308.
Za38 big_rows() { return Za38(2, {1, 2, 1, 2}, {1, 1, 2, 2}, {1e308, -1e308, 1e308, 1e308}); }

void make_bad(Za38& p, const Case& c) {
  if (c.change == Change::kBigRows) return;
  if (c.change == Change::kOverflow) {
    p.val0[0] = 1e-300;
    p.val0[1] = 1e10;
    p.cntl[0] = 0.0;  // no threshold test in ZA38AD either
    return;
  }
  for (int32_t k = 0; k < p.ne(); ++k)
    if (p.row0[k] == 3 && p.col0[k] == 4 && c.change != Change::kOutOfRange) p.val0[k] = c.v;
  if (c.change == Change::kDuplicate || c.change == Change::kOutOfRange) {
    p.row0.push_back(c.change == Change::kDuplicate ? 3 : 41);
    p.col0.push_back(4);
    p.val0.push_back(c.v);
  }
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Za38NonFinite : public testing::TestWithParam<Case> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, Za38NonFinite,
    testing::Values(
        Case{"AnalysePlusInf", Phase::kAnalyse, Change::kEntry, kInf, false, -8, refused("ZA38AD", "   Infinity")},
        Case{"AnalyseNan", Phase::kAnalyse, Change::kEntry, kNan, false, -8, refused("ZA38AD", "        NaN")},
        Case{"AnalyseMinusInf", Phase::kAnalyse, Change::kEntry, -kInf, false, -8, refused("ZA38AD", "  -Infinity")},
        Case{"AnalyseTransposedNan", Phase::kAnalyse, Change::kEntry, kNan, true, -8, refused("ZA38AD", "        NaN")},
        Case{"AnalyseDuplicatesSumToInf", Phase::kAnalyse, Change::kDuplicate, 1.5e308, false, -8,
             " ZA38AD:            1 duplicate entries summed.\n" + refused("ZA38AD", "   Infinity")},
        Case{"AnalyseNanOutOfRangeDropped", Phase::kAnalyse, Change::kOutOfRange, kNan, false, 1,
             " ZA38AD:            1 invalid entries ignored (out of range 1..N).\n"},
        Case{"RefactorPlusInf", Phase::kRefactor, Change::kEntry, kInf, false, -8, refused("ZA38BD", "   Infinity")},
        Case{"RefactorNan", Phase::kRefactor, Change::kEntry, kNan, true, -8, refused("ZA38BD", "        NaN")},
        Case{"SolveNanRhs", Phase::kSolve, Change::kRhs, kNan, false, 0, ""},
        Case{"SolveMinusInfRhs", Phase::kSolve, Change::kRhs, -kInf, false, 0, ""},
        Case{"SolveNanRhsUnrefined", Phase::kSolve, Change::kRhs, kNan, false, 0, "", 0},
        Case{"AnalyseOverflow", Phase::kAnalyse, Change::kOverflow, 0.0, false, 16, overflowed("ZA38AD")},
        Case{"RefactorOverflow", Phase::kRefactor, Change::kOverflow, 0.0, false, 16, overflowed("ZA38BD")},
        Case{"SolveRowSumsOverflow", Phase::kAnalyse, Change::kBigRows, 0.0, false, 16, overflowed("ZA38AD")}),
    [](const testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

TEST_P(Za38NonFinite, StatusAndFigures) {
  const Case& c = GetParam();
  Za38 p = c.change == Change::kOverflow ? lower_first() : c.change == Change::kBigRows ? big_rows() : ring();
  const Za38 good = p;
  // A times 1 would overflow for the big rows: B = 1, solved by (0, 1e-308).
  std::vector<double> b = c.change == Change::kBigRows ? std::vector<double>(2, 1.0)
                                                       : p.apply(std::vector<double>(p.n, 1.0), false),
                      x;
  p.icntl[7] = c.steps;
  if (c.phase != Phase::kAnalyse) {
    ASSERT_EQ(p.analyse(1, c.transa), 0);
  }
  if (c.phase != Phase::kSolve) make_bad(p, c);
  if (c.change == Change::kRhs) b[4] = c.v;
  const std::string text = tbl::test::messages(p, 2, [&] {
    if (c.phase == Phase::kAnalyse) p.analyse(1, c.transa);
    if (c.phase == Phase::kRefactor) p.refactor(1, c.transa);
    if (c.phase == Phase::kSolve) p.solve(b, x);
  });
  EXPECT_EQ(p.info[0], c.status);
  EXPECT_EQ(text, c.message);
  if (c.change == Change::kOverflow || c.change == Change::kBigRows) {
    EXPECT_EQ(p.rinfo[8], kInf);  // RINFO(9)
  }

  if (c.status == -8) {
    // Nothing factorised: the later calls refuse the factors.
    EXPECT_EQ(std::vector<int32_t>(p.keep, p.keep + 5), std::vector<int32_t>(5, 0));
    x.assign(p.n, 42.0);
    EXPECT_EQ(p.solve(b, x), -7);
    EXPECT_EQ(x, std::vector<double>(p.n, 42.0));
    p.row0 = good.row0;
    p.col0 = good.col0;
    p.val0 = good.val0;
    EXPECT_EQ(p.refactor(1), -7);
    return;
  }
  if (c.phase != Phase::kSolve) {
    ASSERT_EQ(p.solve(b, x), 0);
  }
  if (c.change == Change::kOutOfRange) {
    EXPECT_LT(p.relative_residual(b, x, false), 1e-14);
    return;
  }
  // A solution that is not finite, or a finite one whose residual would be
  // divided by infinite row sums: infinite backward errors, refinement
  // stopped at once; without refinement none are estimated.
  if (c.change == Change::kBigRows) {
    EXPECT_TRUE(std::isfinite(x[0]) && std::isfinite(x[1]));
  }
  EXPECT_EQ(p.rinfo[6], c.steps > 0 ? kInf : 0.0);
  EXPECT_EQ(p.rinfo[7], c.steps > 0 ? kInf : 0.0);
  EXPECT_EQ(p.info[23], 0);
}

// The converse: a row whose residual is exactly 0 is measured whatever its
// sums, so the exact X of the identity with B near the overflow threshold
// (|B| + |M||X| = 2e308) keeps backward errors of 0.
TEST(Za38NonFiniteSums, AnExactSolutionKeepsItsZeroBackwardErrors) {
  Za38 p(2, {1, 2}, {1, 2}, {1.0, 1.0});
  p.icntl[7] = 2;
  ASSERT_EQ(p.analyse(1), 0);
  const std::vector<double> b(2, 1e308);
  std::vector<double> x;
  ASSERT_EQ(p.solve(b, x), 0);
  EXPECT_EQ(x, b);
  EXPECT_EQ(p.rinfo[6], 0.0);
  EXPECT_EQ(p.rinfo[7], 0.0);
}

}  // namespace
