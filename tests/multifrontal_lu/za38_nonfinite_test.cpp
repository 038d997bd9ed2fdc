// Values that are not finite: a matrix holding one (as given, or only once
// duplicates are summed) is refused by the factorising call that meets it,
// with the entry named and the factors left unusable for the later calls;
// factors of finite values that overflow carry warning 16; a solution or
// residual that is not finite is never reported with a backward error of 0.
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

void make_bad(Za38& p, const Case& c) {
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
        Case{"RefactorOverflow", Phase::kRefactor, Change::kOverflow, 0.0, false, 16, overflowed("ZA38BD")}),
    [](const testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

TEST_P(Za38NonFinite, StatusAndFigures) {
  const Case& c = GetParam();
  Za38 p = c.change == Change::kOverflow ? lower_first() : ring();
  const Za38 good = p;
  std::vector<double> b = p.apply(std::vector<double>(p.n, 1.0), false), x;
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
  if (c.change == Change::kOverflow) {
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
  // A solution that is not finite: infinite backward errors, refinement
  // stopped at once; without refinement none are estimated.
  EXPECT_EQ(p.rinfo[6], c.steps > 0 ? kInf : 0.0);
  EXPECT_EQ(p.rinfo[7], c.steps > 0 ? kInf : 0.0);
  EXPECT_EQ(p.info[23], 0);
}

}  // namespace
