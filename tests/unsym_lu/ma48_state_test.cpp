// What the factorise and the solve do with state that no successful earlier
// phase left (a failed or missing factorisation, a KEEP never analysed, a
// damaged KEEP or IRN), and with values that are not finite.  The call under
// test gets every host array exactly as long as the header says, ending on
// an inaccessible page.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "TesselBasicLib.h"
#include "ma48_support.hpp"
#include "page_end.hpp"
#include "support/mtx.hpp"

namespace {

using tbl::test::Ma48;
using tbl::test::PageEnd;

constexpr int32_t kBadState = -10, kNotFinite = -11;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

size_t keep_length(const Ma48& p) { return size_t(p.m) + 9 * size_t(p.n) + 2; }

// What a solve left in the host's arrays.
struct Solved {
  int32_t info;
  std::vector<double> x, rhs, error;
  std::vector<int32_t> iw;
  // Refused with nothing of the host's written but INFO(1).
  bool refused_untouched(const std::vector<double>& b) const {
    return info == kBadState && x == std::vector<double>(x.size(), 42.0) && rhs == b &&
           error == std::vector<double>(3, -1.0) && iw == std::vector<int32_t>(iw.size(), -5);
  }
};

Solved solve_guarded(const Ma48& p, const std::vector<double>& b, int32_t job, bool trans = false) {
  const size_t lr = trans ? p.n : p.m, lx = trans ? p.m : p.n, mx = std::max(p.m, p.n);
  PageEnd<double> a(p.a, p.la), rhs(b, lr), x(lx, 42.0), w(job == 1 ? lr + 2 * mx : lr + 2 * mx + lx), err(3, -1.0);
  PageEnd<int32_t> irn(p.irn, p.la), keep(p.keep, keep_length(p)), iw(lr, -5);
  int32_t t = trans ? -1 : 0, info = 0;
  VIZ_MA48CD(&p.m, &p.n, &t, &job, &p.la, a.data(), irn.data(), keep.data(), p.cntl, p.icntl, rhs.data(), x.data(),
             err.data(), w.data(), iw.data(), &info);
  return {info, x.copy(), rhs.copy(), err.copy(), iw.copy()};
}

// MA48BD on P's arrays (copied to and from guarded ones) with new values.
int32_t factorise_guarded(Ma48& p, const std::vector<double>& values, int32_t job) {
  std::copy(values.begin(), values.end(), p.a.begin());
  PageEnd<double> a(p.a, p.la), w(p.m);
  PageEnd<int32_t> irn(p.irn, p.la), jcn(p.jcn, p.ne), keep(p.keep, keep_length(p)), iw(2 * p.m + 2 * p.n);
  VIZ_MA48BD(&p.m, &p.n, &p.ne, &job, &p.la, a.data(), irn.data(), jcn.data(), keep.data(), p.cntl, p.icntl,
             w.data(), iw.data(), p.info, p.rinfo);
  const auto back = [](auto& from, auto& to, size_t n) {
    const auto v = from.copy();
    std::copy(v.begin(), v.begin() + n, to.begin());
  };
  back(a, p.a, p.la);
  back(irn, p.irn, p.la);
  back(keep, p.keep, keep_length(p));
  return p.info[0];
}

Ma48 west0067(int32_t la_factor) {
  return Ma48(tbl::test::read_mtx(tbl::test::matrix_path("west0067.mtx")), la_factor);
}

std::vector<double> ones(int32_t n) { return std::vector<double>(n, 1.0); }

// ------------------------------------------------ the state before a solve

// P analysed and factorised, both with success.
Ma48 factorised(Ma48 p) {
  EXPECT_EQ(p.analyse(), 0);
  EXPECT_EQ(p.factorise(), 0);
  return p;
}

struct Before {
  const char* name;
  std::function<Ma48()> make;  // the phases run before the solve
};

const std::vector<Before>& befores() {
  static const std::vector<Before> b = {
      {"AnalysisAlone",
       [] {
         Ma48 p = tbl::test::reducible_matrix();
         EXPECT_EQ(p.analyse(), 0);
         return p;
       }},
      {"StorageRanShort",
       [] {
         Ma48 p = west0067(3);
         EXPECT_EQ(p.analyse(), 0);
         EXPECT_EQ(factorise_guarded(p, p.val0, 1), -3);
         return p;
       }},
      {"ValuesNotFinite",
       [] {
         Ma48 p = factorised(tbl::test::reducible_matrix());
         std::vector<double> v = p.val0;
         v[2] = kNaN;
         EXPECT_EQ(factorise_guarded(p, v, 1), kNotFinite);
         return p;
       }},
      {"ZeroDiagonalWithJob2",
       [] {
         Ma48 p = factorised(tbl::test::reducible_matrix());
         std::vector<double> v = p.val0;
         v[6] = 0.0;  // the diagonal (4,4) of a triangular block
         EXPECT_EQ(factorise_guarded(p, v, 2), -7);
         return p;
       }},
      // Errors of a factorisation after a good one, each after the host
      // has put the new values in A(1:NE) as the call asks.
      {"FactoriseJobOutOfRange",
       [] {
         Ma48 p = factorised(tbl::test::reducible_matrix());
         EXPECT_EQ(factorise_guarded(p, p.val0, 4), -6);
         return p;
       }},
      {"FactoriseLaBelowTwiceNe",
       [] {
         Ma48 p = factorised(tbl::test::reducible_matrix());
         const int32_t la = p.la;
         p.la = 2 * p.ne - 1;
         EXPECT_EQ(factorise_guarded(p, p.val0, 1), -3);
         p.la = la;
         return p;
       }},
      {"Job3AfterDroppedEntries",
       [] {
         Ma48 p = west0067(10);
         p.cntl[2] = 0.5;  // drop small entries
         EXPECT_GE(p.analyse(), 0);
         EXPECT_GE(p.factorise(), 0);
         EXPECT_EQ(factorise_guarded(p, p.val0, 3), -6);
         return p;
       }},
      {"ChangedColumnCountTooLarge",
       [] {
         Ma48 r = tbl::test::reducible_matrix();
         r.icntl[7] = 1;
         Ma48 p = factorised(r);
         const size_t kblock = size_t(p.m) + 5 * size_t(p.n) + 2, nb = size_t(p.keep[kblock + 2]);
         p.keep[kblock + 3 * nb] = p.n + 1;  // block 1's count of changed columns
         EXPECT_EQ(factorise_guarded(p, p.val0, 2), kBadState);
         return p;
       }},
      {"FactoriseNeBelowOne",
       [] {
         Ma48 p = factorised(tbl::test::reducible_matrix());
         const int32_t ne = p.ne;
         p.ne = 0;
         EXPECT_EQ(factorise_guarded(p, p.val0, 1), -2);
         p.ne = ne;
         return p;
       }},
      {"ReanalysisNeBelowOne",
       [] {
         Ma48 p = factorised(tbl::test::reducible_matrix());
         const int32_t ne = p.ne;
         p.ne = 0;
         EXPECT_EQ(p.analyse(), -2);
         p.ne = ne;
         return p;
       }},
      {"ReanalysisJobOutOfRange",
       [] {
         Ma48 p = factorised(tbl::test::reducible_matrix());
         EXPECT_EQ(p.analyse(4), -6);
         return p;
       }},
      {"AnalysisRefused",
       [] {
         Ma48 p = factorised(tbl::test::reducible_matrix());
         p.val0[0] = kInf;
         EXPECT_EQ(p.analyse(), kNotFinite);
         return p;
       }},
  };
  return b;
}

struct StateCase {
  size_t before;
  int32_t job;
};

class Ma48SolveState : public testing::TestWithParam<StateCase> {};

std::vector<StateCase> state_cases() {
  std::vector<StateCase> c;
  for (size_t b = 0; b < befores().size(); ++b)
    for (int32_t job = 1; job <= 4; ++job) c.push_back({b, job});
  return c;
}

INSTANTIATE_TEST_SUITE_P(EachJob, Ma48SolveState, testing::ValuesIn(state_cases()),
                         [](const testing::TestParamInfo<StateCase>& i) {
                           return std::string(befores()[i.param.before].name) + "Job" +
                                  std::to_string(i.param.job);
                         });

TEST_P(Ma48SolveState, IsRefused) {
  Ma48 p = befores()[GetParam().before].make();
  const std::vector<double> b = ones(p.m);
  for (const bool trans : {false, true}) {
    const Solved s = solve_guarded(p, b, GetParam().job, trans);
    EXPECT_TRUE(s.refused_untouched(b)) << "INFO(1) = " << s.info << " X(1) = " << s.x[0];
  }
  // The text on the error unit.
  std::vector<double> x;
  const std::string text = tbl::test::messages(p, 1, [&] { p.solve(b, x, false, 1); });
  EXPECT_EQ(text,
            " Error return from MA48C/CD because A, IRN and KEEP do not hold\n"
            " the factors of a successful call of MA48B/BD\n");
}

// M < 1 or N < 1 are the sizes that locate the marks, so neither phase can
// leave one: KEEP must come back exactly as it was (a mark written with the
// refused sizes would land elsewhere in KEEP, or outside it).
TEST(Ma48StateMarks, OrderBelowOneLeavesKeepAsItWas) {
  for (const bool analyse : {true, false})
    for (const int32_t bad : {0, -1})
      for (const bool rows : {true, false}) {
        Ma48 p = factorised(tbl::test::reducible_matrix());
        const std::vector<int32_t> keep = p.keep;
        int32_t& size = rows ? p.m : p.n;
        const int32_t good = size;
        size = bad;
        EXPECT_EQ(analyse ? p.analyse() : p.factorise(), -1);
        size = good;
        EXPECT_EQ(p.keep, keep) << (analyse ? "MA48AD" : "MA48BD") << (rows ? " M = " : " N = ") << bad;
      }
}

// ------------------------------------------------ a KEEP never analysed

struct NeverCase {
  int fill;     // 0 zeros, 1 all -99, 2 random words
  int32_t job;  // > 0 a solve with this JOB, < 0 a factorisation with -JOB
};

class Ma48NeverAnalysed : public testing::TestWithParam<NeverCase> {};

std::vector<NeverCase> never_cases() {
  std::vector<NeverCase> c;
  for (int fill = 0; fill < 3; ++fill)
    for (const int32_t job : {1, 2, 3, 4, -1, -2, -3}) c.push_back({fill, job});
  return c;
}

std::string never_name(const testing::TestParamInfo<NeverCase>& i) {
  static const char* const kFill[] = {"Zeros", "Minus99", "Random"};
  const int32_t job = i.param.job;
  return std::string(kFill[i.param.fill]) + (job > 0 ? "SolveJob" : "FactoriseJob") +
         std::to_string(job > 0 ? job : -job);
}

INSTANTIATE_TEST_SUITE_P(EachPhase, Ma48NeverAnalysed, testing::ValuesIn(never_cases()), never_name);

TEST_P(Ma48NeverAnalysed, IsRefused) {
  for (unsigned seed = 1; seed <= (GetParam().fill == 2 ? 20u : 1u); ++seed) {
    // The entries as a host gives them; KEEP as it was never analysed.
    Ma48 p = tbl::test::cycle_matrix(2, true);
    std::copy(p.row0.begin(), p.row0.end(), p.irn.begin());
    std::copy(p.col0.begin(), p.col0.end(), p.jcn.begin());
    std::mt19937 gen(seed);
    for (size_t k = 0; k < keep_length(p); ++k)
      p.keep[k] = GetParam().fill == 0 ? 0 : GetParam().fill == 1 ? -99 : static_cast<int32_t>(gen());
    const std::vector<int32_t> keep = p.keep;
    if (GetParam().job > 0) {
      const std::vector<double> b = ones(p.m);
      EXPECT_TRUE(solve_guarded(p, b, GetParam().job).refused_untouched(b)) << "seed " << seed;
    } else {
      EXPECT_EQ(factorise_guarded(p, p.val0, -GetParam().job), kBadState) << "seed " << seed;
      // Nothing changed but the mark of no factors in the last column's
      // factor pointers (a mark of no analysis stays).
      std::vector<int32_t> marked = keep;
      const size_t last_l = size_t(p.m) + 2 * size_t(p.n) - 1, last_u = last_l + size_t(p.n);
      if (keep[last_l] != -2 && keep[last_u] != -2) marked[last_l] = marked[last_u] = -1;
      EXPECT_EQ(p.keep, marked);
    }
  }
}

// ------------------------------------------------ one damaged word

struct Damaged {
  const char* name;
  std::function<Ma48()> make;
  // b = 0: the first solve then scatters no L column (each X(j) is 0), so
  // a damaged L row is met first by the error estimate's solves, which
  // must test it again.
  bool zero_rhs = false;
};

// Every word of KEEP's layout, and every word of IRN, after a successful
// factorisation, set to values that no word of its kind holds or moved by
// one.  A run either is refused with nothing of the host's written, or
// succeeds; it succeeds with an X other than the undamaged one only for a
// value that may be a valid index (0, -1, N+1 or a neighbour of the old
// value), never for the extreme integers.
class Ma48Damage : public testing::TestWithParam<Damaged> {};

Ma48 rectangular() {
  std::vector<int32_t> r, c;
  std::vector<double> v;
  for (int32_t j = 1; j <= 6; ++j)
    for (int32_t i = 1; i <= 9; ++i)
      if (i == j || (i * 3 + j * 5) % 7 == 0) {
        r.push_back(i);
        c.push_back(j);
        v.push_back(i == j ? 4.0 + i : 0.5 / (i + j));
      }
  return Ma48(9, 6, r, c, v);
}

// The positions of A and IRN that the factors reach: the permuted matrix,
// then each factorised block's area (pointers, then the full block with its
// rows and pivoting record).
int64_t used_length(const Ma48& p) {
  const int64_t m = p.m, n = p.n;
  const int64_t newne = p.iptro(p.n + 1) - 1;
  int64_t used = newne, jfirst = 1;
  for (int k = 1; k <= p.nb(); ++k) {
    const int64_t nc = p.block_order(k), np = p.block_flag(k);
    if (np >= 0) {
      const int64_t start = newne + (k == 1 ? 1 : p.block_start(k)) - 1;
      const int64_t mf = p.irn[start + 1], nf = nc - np;
      used = std::max(used, start + p.keep1(m + n + jfirst + nc - 1) + std::max(mf * nf, mf + nf));
    }
    jfirst += nc;
  }
  return used;
}

INSTANTIATE_TEST_SUITE_P(
    Matrices, Ma48Damage,
    testing::Values(Damaged{"Reducible", [] { return tbl::test::reducible_matrix(); }},
                    Damaged{"TwoCycles", [] { return tbl::test::cycle_matrix(2, true); }},
                    Damaged{"Rectangular", [] { return rectangular(); }},
                    Damaged{"TwoCyclesZeroRhs", [] { return tbl::test::cycle_matrix(2, true); }, true},
                    Damaged{"OneCycleZeroRhs", [] { return tbl::test::cycle_matrix(1, true); }, true}),
    [](const testing::TestParamInfo<Damaged>& i) { return std::string(i.param.name); });

TEST_P(Ma48Damage, KeepAndIrnWords) {
  Ma48 base = GetParam().make();
  ASSERT_GE(base.analyse(), 0);
  ASSERT_GE(base.factorise(), 0);
  // Both orientations: the passes that test the pointers differ.  JOB 3
  // and 4 solve again, without tests, what the first solve tested; JOB 4's
  // estimate also in the other orientation (X is JOB 3's).
  const bool zero = GetParam().zero_rhs;
  const std::vector<double> b = zero ? std::vector<double>(base.m, 0.0) : tbl::test::random_vector(base.m, 7),
                            bt = zero ? std::vector<double>(base.n, 0.0) : tbl::test::random_vector(base.n, 8);
  const std::vector<double> x1 = solve_guarded(base, b, 1).x, x3 = solve_guarded(base, b, 3).x;
  const std::vector<double> x1t = solve_guarded(base, bt, 1, true).x, x3t = solve_guarded(base, bt, 3, true).x;
  const int64_t layout = int64_t(base.m) + 5 * int64_t(base.n) + 2 + 4 * int64_t(base.nb());
  int runs = 0, refused = 0, refused_late = 0;
  auto sweep = [&](const char* name, std::vector<int32_t> Ma48::*array, int64_t words, int32_t in_range) {
    SCOPED_TRACE(name);
    for (int64_t k = 0; k < words; ++k) {
      const int32_t was = (base.*array)[k];
      for (const int32_t v : {0, -1, in_range, INT_MAX, INT_MIN, was + 1, was - 1}) {
        if (v == was) continue;
        Ma48 p = base;
        (p.*array)[k] = v;
        for (const bool trans : {false, true})
          for (const int32_t job : {1, 3, 4}) {
            const std::vector<double>& rhs = trans ? bt : b;
            const Solved s = solve_guarded(p, rhs, job, trans);
            ++runs;
            if (s.info == kBadState) {
              ++refused;
              // Refused by a later solve of the call (refinement, estimate):
              // X, RHS and IW are written by then, ERROR is not.
              const bool late = job > 1 && s.x != std::vector<double>(s.x.size(), 42.0);
              refused_late += late;
              EXPECT_TRUE(late ? s.error == std::vector<double>(3, -1.0) : s.refused_untouched(rhs))
                  << "word " << k + 1 << " = " << v << " trans " << trans;
            } else if (v == INT_MAX || v == INT_MIN) {
              EXPECT_GE(s.info, 0) << "word " << k + 1 << " = " << v << " trans " << trans;
              EXPECT_EQ(s.x, job == 1 ? (trans ? x1t : x1) : (trans ? x3t : x3))
                  << "word " << k + 1 << " = " << v << " trans " << trans;
            }
          }
      }
    }
  };
  sweep("KEEP", &Ma48::keep, layout, base.n + 1);
  sweep("IRN", &Ma48::irn, used_length(base), base.m + 1);
  EXPECT_GT(refused, runs / 2);
  // With b = 0 some damage is met only by the estimate's solves, which
  // refuse it as well.
  if (zero) {
    EXPECT_GT(refused_late, 0);
  }
}

// ------------------------------------------------ values that are not finite

// Each row makes one phase meet a value that is not finite: an entry given
// to the analysis or the factorisation (refused, naming the entry by its
// row and column, and every later phase that needs what it did not leave is
// refused too), or a right-hand side (solved; the backward errors say so).
TEST(Ma48NotFinite, EachPhase) {
  struct Case {
    const char* name;
    char phase;  // 'A' analysis, 'B' factorisation (JOB in job), 'C' solve (JOB in job)
    int32_t job;
    std::function<void(Ma48&, std::vector<double>&)> spoil;  // the entries or the right-hand side
    int32_t row, col;                                         // the entry named
  };
  const std::vector<Case> cases = {
      {"plus infinity", 'A', 1, [](Ma48& p, std::vector<double>&) { p.val0[2] = kInf; }, 1, 2},
      {"NaN", 'A', 1, [](Ma48& p, std::vector<double>&) { p.val0[4] = kNaN; }, 3, 3},
      {"minus infinity", 'A', 1, [](Ma48& p, std::vector<double>&) { p.val0[13] = -kInf; }, 5, 4},
      {"duplicates summed past the largest real", 'A', 1,
       [](Ma48& p, std::vector<double>&) {
         p.row0.push_back(6);
         p.col0.push_back(5);
         p.val0.push_back(1e308);
         p.val0[11] = 1e308;  // entry (6,5)
         p.ne = 15;
       },
       6, 5},
      {"new values, plus infinity", 'B', 1, [](Ma48& p, std::vector<double>&) { p.val0[7] = kInf; }, 4, 3},
      {"new values, NaN, refactorisation", 'B', 2, [](Ma48& p, std::vector<double>&) { p.val0[0] = kNaN; }, 1, 1},
      {"right-hand side NaN, backward errors", 'C', 2, [](Ma48&, std::vector<double>& b) { b[3] = kNaN; }, 0, 0},
      {"right-hand side NaN, refinement", 'C', 3, [](Ma48&, std::vector<double>& b) { b[0] = kNaN; }, 0, 0},
      {"right-hand side infinite, estimate", 'C', 4, [](Ma48&, std::vector<double>& b) { b[6] = kInf; }, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ma48 p = tbl::test::reducible_matrix();
    std::vector<double> b = ones(p.m);
    if (c.phase != 'A') {
      ASSERT_EQ(p.analyse(), 0);
      ASSERT_EQ(p.factorise(), 0);
    }
    if (c.phase == 'A') p.resize_la(10 * 15);
    c.spoil(p, b);
    if (c.phase == 'C') {
      double err[3];
      std::vector<double> x;
      EXPECT_EQ(p.solve(b, x, false, c.job, err), 0);
      EXPECT_NE(err[0] + err[1], 0.0);
      if (c.job == 4) {
        EXPECT_NE(err[2], 0.0);
      }
      continue;
    }
    const std::string text = tbl::test::messages(p, 1, [&] {
      if (c.phase == 'A')
        p.analyse();
      else
        factorise_guarded(p, p.val0, c.job);
    });
    EXPECT_EQ(p.info[0], kNotFinite);
    char expect[200];
    std::snprintf(expect, sizeof expect,
                  " Error return from MA48%c/%cD because of a value that is not finite\n"
                  " in the entry in row%10d and column%10d\n",
                  c.phase, c.phase, c.row, c.col);
    EXPECT_EQ(text, expect);
    // Nothing to solve with; after the analysis nothing to factorise, after
    // the factorisation nothing to refactorise on.
    EXPECT_TRUE(solve_guarded(p, b, 1).refused_untouched(b));
    std::vector<double> good = p.val0;
    for (double& v : good)
      if (!std::isfinite(v)) v = 1.0;
    EXPECT_EQ(factorise_guarded(p, good, c.phase == 'A' ? 1 : 2), c.phase == 'A' ? kBadState : -6);
  }
}

// Values that only look suspect are not refused: a value that is not finite
// in an entry out of range (dropped), and finite values whose magnitudes
// add up past the largest real, each through the analysis, a factorisation,
// a refactorisation and a solve.
TEST(Ma48NotFinite, DroppedOrLargeValuesPass) {
  struct Case {
    const char* name;
    std::function<Ma48()> make;
  };
  const std::vector<Case> cases = {
      {"NaN in the entry out of range",
       [] {
         Ma48 p = tbl::test::cycle_matrix(1, true);
         p.val0.back() = kNaN;  // (9,1) of an 8 by 8 matrix
         return p;
       }},
      {"two diagonals of 1.5e308",
       [] {
         Ma48 p = tbl::test::reducible_matrix();
         p.val0[4] = p.val0[12] = 1.5e308;  // (3,3) and (7,7), triangular blocks
         return p;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ma48 p = c.make();
    EXPECT_GE(p.analyse(), 0);
    EXPECT_GE(p.factorise(), 0);
    EXPECT_GE(factorise_guarded(p, p.val0, 2), 0);
    const std::vector<double> b = ones(p.m);
    const Solved s = solve_guarded(p, b, 1);
    EXPECT_EQ(s.info, 0);
    for (const double v : s.x) EXPECT_TRUE(std::isfinite(v));
  }
}

// Entries near the largest real make the row sums of |A| overflow whatever
// X is: a nonzero residual measured against them is +Inf, never 0, while a
// row whose residual is exactly 0 keeps its 0 (the identity with B near the
// largest real).
TEST(Ma48NotFinite, SumsThatOverflow) {
  struct Case {
    const char* name;
    std::vector<int32_t> rows, cols;
    std::vector<double> vals, b;
    bool infinite;
  };
  const std::vector<Case> cases = {
      {"rows of 1e308", {1, 2, 1, 2}, {1, 1, 2, 2}, {1e308, -1e308, 1e308, 1e308}, {1.0, 1.0}, true},
      {"identity, B of 1e308", {1, 2}, {1, 2}, {1.0, 1.0}, {1e308, 1e308}, false},
  };
  for (const Case& c : cases) {
    for (const int32_t job : {2, 3, 4}) {
      SCOPED_TRACE(testing::Message() << c.name << ", JOB " << job);
      Ma48 p(2, 2, c.rows, c.cols, c.vals);
      ASSERT_EQ(p.analyse(), 0);
      ASSERT_EQ(p.factorise(), 0);
      double err[3];
      std::vector<double> x;
      EXPECT_EQ(p.solve(c.b, x, false, job, err), 0);
      EXPECT_EQ(err[0], c.infinite ? kInf : 0.0);
      EXPECT_EQ(err[1], c.infinite ? kInf : 0.0);
      if (job == 4) {
        EXPECT_EQ(err[2] == kInf, c.infinite);
      }
    }
  }
}

// ------------------------------------------------ JCN of LA entries

// A host that gives A, IRN and JCN exactly LA entries (the header's
// lengths), KEEP, IW and W theirs, each ending on an inaccessible page.
TEST(Ma48HostLengths, JcnOfLaEntries) {
  const tbl::test::Coo c = tbl::test::read_mtx(tbl::test::matrix_path("west0067.mtx"));
  int32_t m = c.nrows, n = c.ncols, ne = c.nnz(), la = 4 * ne, job = 1, info[12];
  double cntl[5], rinfo[1];
  int32_t icntl[9];
  VIZ_MA48ID(cntl, icntl);
  icntl[0] = icntl[1] = 0;
  PageEnd<double> a(c.val, la);
  PageEnd<int32_t> irn(c.row, la), jcn(c.col, la), keep(size_t(m) + 9 * n + 2), iw(6 * size_t(m) + 3 * n);
  VIZ_MA48AD(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, iw.data(), info,
             rinfo);
  ASSERT_EQ(info[0], 0);
  for (int32_t k = 0; k < ne; ++k) a[k] = c.val[k];
  PageEnd<double> w(m);
  PageEnd<int32_t> iwb(2 * size_t(m) + 2 * n);
  VIZ_MA48BD(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, w.data(),
             iwb.data(), info, rinfo);
  ASSERT_EQ(info[0], 0);
  std::vector<double> xs(n);
  for (int32_t j = 0; j < n; ++j) xs[j] = 1.0 + j % 5;
  std::vector<double> bs(m, 0.0);
  for (int32_t k = 0; k < ne; ++k) bs[c.row[k] - 1] += c.val[k] * xs[c.col[k] - 1];
  PageEnd<double> rhs(bs, m), x(n), err(3), wc(4 * size_t(n));
  PageEnd<int32_t> iwc(m);
  int32_t trans = 0, sjob = 3;
  VIZ_MA48CD(&m, &n, &trans, &sjob, &la, a.data(), irn.data(), keep.data(), cntl, icntl, rhs.data(), x.data(),
             err.data(), wc.data(), iwc.data(), info);
  ASSERT_EQ(info[0], 0);
  for (int32_t j = 0; j < n; ++j) EXPECT_NEAR(x[j], xs[j], 1e-10);
}

}  // namespace
