// The factorisation through the entry points: checks and messages,
// triangular blocks, refactorisation on new values, storage shortage with
// its forecast and retry, and KEEP staying usable after every return.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "TesselBasicLib.h"
#include "ma48_families.hpp"
#include "ma48_support.hpp"

namespace {

using tbl::test::Coo;
using tbl::test::cycle_matrix;
using tbl::test::layout_fault;
using tbl::test::Ma48;
using tbl::test::messages;
using tbl::test::random_vector;
using tbl::test::reducible_matrix;

std::string factorise_messages(Ma48& p, int32_t job = 1) {
  return messages(p, 2, [&] { p.factorise(job); });
}

// Solves with the current factors and returns the relative residual.
double solve_residual(Ma48& p, bool trans = false) {
  const std::vector<double> b = random_vector(trans ? p.n : p.m, 11);
  std::vector<double> x;
  EXPECT_EQ(p.solve(b, x, trans), 0);
  return p.relative_residual(b, x, trans);
}

// Two dense blocks of order 4 coupled by one entry: factors that do not fit
// in twice the number of entries.
Ma48 two_dense_blocks() {
  std::vector<int32_t> r, c;
  std::vector<double> v;
  for (int32_t b = 0; b < 2; ++b)
    for (int32_t j = 1; j <= 4; ++j)
      for (int32_t i = 1; i <= 4; ++i) {
        r.push_back(4 * b + i);
        c.push_back(4 * b + j);
        v.push_back(i == j ? 10.0 + i : 1.0 / (i + 2 * j));
      }
  r.push_back(1);
  c.push_back(8);
  v.push_back(3.0);
  return Ma48(8, 8, r, c, v);
}

TEST(Ma48FactoriseChecks, EachFailureReportsItsStatusAndMessage) {
  struct Case {
    int32_t m, n, ne, la, job, status;
    const char* text;
  } cases[] = {
      {0, 7, 14, 28, 1, -1, " Error return from MA48B/BD because M =         0 and N =         7\n"},
      {7, 0, 14, 28, 1, -1, " Error return from MA48B/BD because M =         7 and N =         0\n"},
      {7, 7, -1, 28, 1, -2, " Error return from MA48B/BD because NE =        -1\n"},
      {7, 7, 14, 27, 1, -3,
       " Error return from MA48B/BD because LA is        27\n and must be at least        28\n"},
      {7, 7, 14, 28, 0, -6, " Error return from MA48B/BD because JOB =          0\n"},
      {7, 7, 14, 28, 4, -6, " Error return from MA48B/BD because JOB =          4\n"},
  };
  for (const Case& c : cases) {
    Ma48 p = reducible_matrix();
    ASSERT_EQ(p.analyse(), 0);
    const std::vector<int32_t> keep = p.keep;
    p.m = c.m;
    p.n = c.n;
    p.ne = c.ne;
    p.la = c.la;
    p.info[3] = -5;
    EXPECT_EQ(factorise_messages(p, c.job), c.text);
    EXPECT_EQ(p.info[0], c.status);
    EXPECT_EQ(p.info[3], c.status == -3 ? 28 : -5);
    EXPECT_EQ(p.keep, keep);
  }
}

TEST(Ma48FactoriseTriangular, PermutedTriangularMatrixNeedsNoFactors) {
  // A lower triangular matrix with its rows shuffled: every strongly
  // connected component is a single node, so all blocks join one upper
  // triangular run whose diagonal is the original one, and whose acceptable
  // diagonal leaves nothing to factorise.
  const int32_t n = 6;
  const int32_t rowof[n] = {4, 1, 6, 2, 5, 3};
  std::vector<int32_t> r, c;
  std::vector<double> v;
  for (int32_t j = 1; j <= n; ++j)
    for (int32_t i = j; i <= n; ++i) {
      r.push_back(rowof[i - 1]);
      c.push_back(j);
      v.push_back(i == j ? -2.0 - i : 1.0 / (i + j));
    }
  Ma48 p(n, n, r, c, v, 2);
  ASSERT_EQ(p.analyse(), 0);
  EXPECT_EQ(p.nb(), 1);
  EXPECT_EQ(p.block_flag(1), -n);
  EXPECT_EQ(p.info[4], n);
  EXPECT_EQ(layout_fault(p), "");
  for (int32_t j = 1; j <= n; ++j) {
    const int32_t col = p.keep1(n + j);
    EXPECT_EQ(p.irn[p.iptrd(j) - 1], j);
    EXPECT_EQ(p.keep1(rowof[col - 1]), j) << "column " << col;
  }
  ASSERT_EQ(p.factorise(), 0);
  EXPECT_EQ(p.info[4], n);
  EXPECT_EQ(p.info[3], 2 * p.ne);
  EXPECT_EQ(p.info[5], 0);
  EXPECT_EQ(p.rinfo[0], 0.0);
  EXPECT_EQ(p.nb(), 1);
  for (int32_t j = 1; j <= n; ++j) {
    EXPECT_EQ(p.keep1(2 * n + j), 0);  // IPTRL
    EXPECT_EQ(p.keep1(3 * n + j), 0);  // IPTRU
  }
  EXPECT_LT(solve_residual(p), 1e-15);
  EXPECT_LT(solve_residual(p, true), 1e-15);
}

// Upper triangular of order 4 whose second diagonal entry is D.
Ma48 triangular_with(double d) {
  return Ma48(4, 4, {1, 2, 3, 4, 1, 2, 1}, {1, 2, 3, 4, 2, 3, 4}, {2.0, d, 3.0, 4.0, 1.0, 1.0, 1.0});
}

TEST(Ma48FactoriseTriangular, FailedDiagonalMakesAnOrdinaryBlock) {
  // A diagonal entry at or below the tolerance: with JOB 1 the block goes to
  // the kernel as an ordinary block, all its columns packed.  The entry
  // cannot be a pivot there either, so the block is rank deficient.
  for (const auto& [tol, d] : {std::pair{1e-2, 1e-3}, std::pair{0.0, 0.0}, std::pair{-1.0, 0.0}}) {
    Ma48 p = triangular_with(d);
    p.cntl[3] = tol;
    ASSERT_EQ(p.analyse(), 0);
    ASSERT_EQ(p.block_flag(1), -4);
    EXPECT_EQ(p.factorise(1), 2) << tol;
    EXPECT_EQ(p.info[4], 3);
    EXPECT_EQ(p.block_flag(1), 4);
    EXPECT_EQ(p.nb(), 1);
    std::vector<double> x;
    EXPECT_EQ(p.solve(random_vector(4, 1), x), 0);
  }
}

TEST(Ma48FactoriseTriangular, Job3OnAFailedDiagonalStartsAfresh) {
  // The block passed its test in the JOB 1 call, so it has no factors of
  // its own; a JOB 3 call that converts it must factorise it from scratch,
  // exactly as JOB 1 does.
  Ma48 p = triangular_with(1.0), q = triangular_with(1.0);
  ASSERT_EQ(p.analyse(), 0);
  ASSERT_EQ(q.analyse(), 0);
  ASSERT_EQ(p.factorise(1), 0);
  std::vector<double> zero_diag = p.val0;
  zero_diag[1] = 0.0;
  EXPECT_EQ(p.factorise(zero_diag, 3), 2);
  EXPECT_EQ(q.factorise(zero_diag, 1), 2);
  EXPECT_EQ(p.block_flag(1), 4);
  EXPECT_EQ(p.info[4], q.info[4]);
  std::vector<double> xp, xq;
  const std::vector<double> b = random_vector(4, 2);
  ASSERT_EQ(p.solve(b, xp), 0);
  ASSERT_EQ(q.solve(b, xq), 0);
  EXPECT_EQ(xp, xq);
  // Both now refactorise on the kernel's pattern.
  EXPECT_EQ(p.factorise(zero_diag, 2), 2);
}

TEST(Ma48FactoriseTriangular, FailedDiagonalWithJob2LeavesKeepUsable) {
  Ma48 p = reducible_matrix();
  ASSERT_EQ(p.analyse(), 0);
  ASSERT_EQ(p.factorise(), 0);
  const std::vector<int32_t> keep = p.keep;
  // A zero on the diagonal of the triangular run {4,3}: entry 7 is (4,4).
  std::vector<double> v = p.val0;
  v[6] = 0.0;
  EXPECT_EQ(messages(p, 2, [&] { p.factorise(v, 2); }),
            " Error return from MA48B/BD with JOB=2 because \n"
            " the matrix is incompatible with expectations\n");
  EXPECT_EQ(p.info[0], -7);
  // The block count is back in place and the analysis still serves, but
  // the factors no longer match A: only a factorisation that pivots may
  // follow.
  EXPECT_EQ(p.nb(), 4);
  EXPECT_EQ(p.factorise(p.val0, 2), -6);
  ASSERT_EQ(p.factorise(p.val0, 1), 0);
  EXPECT_EQ(p.keep, keep);
  EXPECT_LT(solve_residual(p), 1e-14);
  EXPECT_LT(solve_residual(p, true), 1e-14);
}

TEST(Ma48FactoriseValues, SmallPivotWithJob2NeedsPivotingAgain) {
  // A cycle with its diagonal: its first columns are eliminated as sparse
  // pivots on the diagonal.  New values with a zero there cannot be
  // refactorised on the same pivots.
  Ma48 p = cycle_matrix();
  ASSERT_EQ(p.analyse(), 0);
  ASSERT_EQ(p.factorise(1), 0);
  ASSERT_GT(p.block_flag(1), 0);  // some columns are sparse pivots
  std::vector<double> bad = p.val0;
  bad[0] = 0.0;  // (1,1), the first pivot
  EXPECT_EQ(messages(p, 2, [&] { p.factorise(bad, 2); }),
            " Error return from MA48B/BD with JOB=2 because \n"
            " the matrix is incompatible with expectations\n");
  EXPECT_EQ(p.info[0], -7);
  EXPECT_EQ(p.nb(), 1);
  // Pivoting again copes (the matrix is now poorly conditioned, so judge by
  // the backward error).
  ASSERT_EQ(p.factorise(bad, 1), 0);
  Ma48 q = p;
  q.val0 = bad;
  std::vector<double> x;
  double err[3];
  ASSERT_EQ(q.solve(random_vector(8, 5), x, false, 3, err), 0);
  EXPECT_LT(err[0] + err[1], 1e-15);
}

TEST(Ma48FactoriseValues, RefactorisationFollowsNewValues) {
  Ma48 p = reducible_matrix();
  ASSERT_EQ(p.analyse(), 0);
  ASSERT_EQ(p.factorise(), 0);
  for (const int32_t job : {2, 3, 1}) {
    std::vector<double> v = p.val0;
    for (size_t k = 0; k < v.size(); ++k) v[k] *= 1.0 + 0.1 * ((k * 7 + job) % 5);
    ASSERT_EQ(p.factorise(v, job), 0) << job;
    Ma48 q = p;
    q.val0 = v;  // residuals against the new values
    EXPECT_LT(solve_residual(q), 1e-14) << job;
    EXPECT_LT(solve_residual(q, true), 1e-14) << job;
  }
}

TEST(Ma48FactoriseValues, DuplicatesAreSummedOnEveryCall) {
  // (2,2) given three times, (1,2) twice.
  Ma48 p(3, 3, {1, 2, 2, 3, 1, 2, 1, 3}, {1, 2, 2, 3, 2, 2, 2, 1}, {2.0, 1.0, 0.5, 3.0, 1.0, 0.25, -1.0, 1.0});
  ASSERT_EQ(p.analyse(), 1);
  for (int call = 0; call < 2; ++call) {
    ASSERT_EQ(p.factorise(), 0);
    EXPECT_LT(solve_residual(p), 1e-15) << call;
  }
}

TEST(Ma48FactoriseValues, ChangedColumnsAloneAreRefactorised) {
  // The last column of each cycle is flagged as the one that changes.  JOB 2
  // and 3 keep the factors of the columns before it, as long as the host's
  // new values did not cover them: duplicates and an out-of-range entry make
  // A(1:NE) reach into the factor area of the first block.  Either way the
  // factors must be those of the new values.
  for (const int32_t nb : {1, 2})
    for (const bool extras : {false, true})
      for (const int32_t job : {2, 3}) {
        Ma48 p = cycle_matrix(nb, extras);
        p.icntl[7] = 1;
        p.iw.assign(6 * p.m + 3 * p.n, 1);
        for (int32_t b = 1; b <= nb; ++b) p.iw[8 * b - 1] = 0;
        ASSERT_GE(p.analyse(), 0);
        ASSERT_GE(p.factorise(1), 0);
        std::vector<double> v = p.val0;
        for (size_t k = 0; k < v.size(); ++k)
          if (p.col0[k] % 8 == 0) v[k] *= 1.5;
        ASSERT_GE(p.factorise(v, job), 0);
        // Kept pivots are not counted again.
        if (nb == 1) {
          EXPECT_EQ(p.info[4] < p.n, !extras) << extras << job;
        }
        Ma48 q = p;
        q.val0 = v;
        EXPECT_LT(solve_residual(q), 1e-14) << nb << extras << job;
        EXPECT_LT(solve_residual(q, true), 1e-14) << nb << extras << job;
      }
}

TEST(Ma48FactoriseStorage, ShortFactorAreaGivesALengthThatSuffices) {
  Ma48 p = two_dense_blocks();
  p.resize_la(2 * p.ne);
  ASSERT_EQ(p.analyse(), 0);
  const int32_t forecast = p.info[3];
  EXPECT_GT(forecast, p.la);
  const std::string out = factorise_messages(p);
  EXPECT_EQ(p.info[0], -3);
  const int32_t need = p.info[3];
  EXPECT_GT(need, p.la);
  const std::string need_text = std::to_string(need);
  EXPECT_EQ(out, " Error return from MA48B/BD because LA is        66\n and must be at least" +
                     std::string(10 - need_text.size(), ' ') + need_text + "\n");
  EXPECT_EQ(p.nb(), 2);

  // The host's retry: larger arrays holding the analysed pattern, the same
  // KEEP and map.
  p.grow_la(need);
  ASSERT_EQ(p.factorise(), 0);
  EXPECT_LT(solve_residual(p), 1e-14);
  EXPECT_LE(p.info[3], need);
}

// A host that sizes A and IRN by NE, below what the analysis forecasts, and
// after each -3 follows the header: grow to max(INFO(4), 1.5*LA), keeping
// IRN(1:NE), and call again.  Every -3 must ask for more than the LA it was
// given, the calls must end in a factorisation within a few of them, and no
// length asked on the way may exceed three times what that factorisation
// needs.  The grids run short so early that the kernel cannot even finish
// counting; the others run short at different points of their factorisation,
// early_fill where the fill of the latest columns is far above that of the
// columns still to come.
struct Shortage {
  std::string name;
  std::function<Coo()> make;
  int32_t la_factor;   // the first LA, in multiples of NE
  bool large = false;  // left out under the sanitizers
  bool heavy = false;  // seconds: run only with TBL_MA48_HEAVY set
  bool given_order = false;  // analysed in its own order (JOB = 2)
};

void PrintTo(const Shortage& c, std::ostream* os) { *os << c.name; }

// A chain (tridiagonal) of order BEFORE + K + AFTER whose K rows and columns
// after the first BEFORE have about 2% further entries: eliminated in this
// order they fill in completely, and the long chain after them adds almost
// nothing.
Coo early_fill(int before, int k, int after) {
  namespace fam = tbl::test::families;
  fam::Rng rng(11);
  Coo a;
  const int n = before + k + after;
  a.nrows = a.ncols = n;
  for (int i = 1; i <= n; ++i) {
    fam::add(a, i, i, 10.0);
    if (i > 1) fam::add(a, i, i - 1, -1.0);
    if (i < n) fam::add(a, i, i + 1, -1.0);
  }
  for (int i = before + 1; i <= before + k; ++i)
    for (int j = before + 1; j <= before + k; ++j)
      if ((i - j > 1 || j - i > 1) && rng.below(50) == 0) fam::add(a, i, j, rng.uniform(-0.1, 0.1));
  return a;
}

std::vector<Shortage> shortages() {
  namespace fam = tbl::test::families;
  auto file = [](const char* f, bool symmetric = false) {
    return [f, symmetric] {
      const Coo c = tbl::test::read_mtx(tbl::test::matrix_path(std::string(f) + ".mtx"));
      return symmetric ? tbl::test::expand_symmetric(c) : c;
    };
  };
  return {
      {"laplace_100", [] { return fam::convection_diffusion(100, 2, 0.0); }, 4},
      {"laplace_200", [] { return fam::convection_diffusion(200, 2, 0.0); }, 4},
      {"laplace_300", [] { return fam::convection_diffusion(300, 2, 0.0); }, 4, true, true},
      {"gre_1107", file("gre_1107"), 2},
      {"nnc1374", file("nnc1374"), 2},
      {"watt_2", file("watt_2"), 2},
      {"lp_share1b", file("lp_share1b"), 2},
      {"reorientation_1", file("reorientation_1", true), 2},
      {"kkt_dtoc3", file("kkt_dtoc3", true), 2},
      {"bayer10", file("bayer10"), 2},
      {"dw4096", file("dw4096"), 2},
      {"early_fill", [] { return early_fill(100, 300, 5000); }, 2, false, false, true},
  };
}

class Ma48StorageRetry : public ::testing::TestWithParam<Shortage> {};

TEST_P(Ma48StorageRetry, HeaderRuleReachesAFactorisationWithinThreeTimesItsNeed) {
  const Shortage& c = GetParam();
  if (c.large && tbl::test::kSanitized) GTEST_SKIP() << "large case, not run under the sanitizers";
  if (c.heavy && std::getenv("TBL_MA48_HEAVY") == nullptr)
    GTEST_SKIP() << "heavy case, run only with TBL_MA48_HEAVY set";
  Ma48 p(c.make(), c.la_factor);
  auto analyse = [&] {
    if (!c.given_order) return p.analyse();
    for (int32_t k = 0; k < p.n; ++k) p.keep[k] = p.keep[p.m + k] = k + 1;
    return p.analyse(2);
  };
  int32_t st;
  for (int tries = 0; (st = analyse()) == -3 && tries < 8; ++tries)
    p.resize_la(std::max(p.info[2], p.la + p.la / 2));
  ASSERT_GE(st, 0);
  // (down to the first LA again after an analysis that needed more)
  p.grow_la(std::max(2 * p.ne, c.la_factor * p.ne));
  std::vector<int32_t> asked;
  std::string calls;
  while ((st = p.factorise()) == -3 && asked.size() < 8) {
    calls += " LA " + std::to_string(p.la) + ": INFO(4) " + std::to_string(p.info[3]) + ";";
    ASSERT_GT(p.info[3], p.la) << calls;
    asked.push_back(p.info[3]);
    p.grow_la(std::max(p.info[3], p.la + p.la / 2));
  }
  ASSERT_FALSE(asked.empty()) << "the first call was not short";
  ASSERT_GE(st, 0) << calls;
  EXPECT_LE(asked.size() + 1, 8u) << calls;
  const int64_t need = p.info[3];
  calls += " passed with LA " + std::to_string(p.la) + " needing " + std::to_string(need);
  EXPECT_LE(p.la, 3 * need) << calls;
  for (const int32_t a : asked) EXPECT_LE(a, 3 * need) << calls;
  // The factors solve: refinement reaches rounding level.
  const std::vector<double> b = random_vector(p.m, 5);
  std::vector<double> x;
  double err[3];
  ASSERT_EQ(p.solve(b, x, false, 3, err), 0) << calls;
  const auto [w1, w2] = tbl::test::backward_errors(p, b, x, false);
  EXPECT_LT(w1 + w2, 1e-13) << calls;
}

INSTANTIATE_TEST_SUITE_P(FromShortLengths, Ma48StorageRetry, ::testing::ValuesIn(shortages()),
                         [](const ::testing::TestParamInfo<Shortage>& i) { return i.param.name; });

TEST(Ma48FactoriseValues, FastRefactorisationNeedsCompleteFactors) {
  // No factorisation yet, or the last one ran out of storage: JOB 2 has no
  // pattern to follow and refuses before writing anything; JOB 3 starts
  // from the analysis's row order, after which JOB 2 works.
  for (const bool after_shortage : {false, true}) {
    Ma48 p = two_dense_blocks();
    if (after_shortage) p.resize_la(2 * p.ne);
    ASSERT_EQ(p.analyse(), 0);
    if (after_shortage) {
      ASSERT_EQ(p.factorise(1), -3);
      p.grow_la(p.info[3]);
    }
    const std::vector<int32_t> keep = p.keep, irn = p.irn;
    EXPECT_EQ(factorise_messages(p, 2), " Error return from MA48B/BD because JOB =          2\n");
    EXPECT_EQ(p.info[0], -6);
    EXPECT_EQ(p.keep, keep);
    EXPECT_EQ(p.irn, irn);
    ASSERT_EQ(p.factorise(3), 0);
    EXPECT_LT(solve_residual(p), 1e-14);
    ASSERT_EQ(p.factorise(2), 0);
    EXPECT_LT(solve_residual(p), 1e-14);
  }
}

TEST(Ma48FactoriseValues, NoFastRefactorisationAfterDroppedEntries) {
  // Entries below the drop tolerance leave the factors without them: JOB 2
  // and 3 cannot reuse such a pattern.
  Ma48 p = two_dense_blocks();
  p.cntl[2] = 0.2;
  ASSERT_GE(p.analyse(), 0);
  ASSERT_GE(p.factorise(1), 0);
  EXPECT_GT(p.info[5], 0);  // entries dropped
  for (const int32_t job : {2, 3}) {
    EXPECT_EQ(factorise_messages(p, job),
              " Error return from MA48B/BD with JOB greater than 1\n"
              " and entries dropped during previous factorization\n");
    EXPECT_EQ(p.info[0], -6);
    EXPECT_EQ(p.nb(), 2);
  }
  p.cntl[2] = 0.0;
  ASSERT_EQ(p.factorise(1), 0);
  EXPECT_LT(solve_residual(p), 1e-14);
  ASSERT_EQ(p.factorise(3), 0);
  EXPECT_LT(solve_residual(p), 1e-14);
}

TEST(Ma48FactoriseRank, DeficientBlocksGiveWarningTwo) {
  // The block {1,2} is singular.
  Ma48 p(3, 3, {1, 2, 1, 2, 3, 1}, {1, 2, 2, 1, 3, 3}, {1.0, 4.0, 2.0, 2.0, 5.0, 1.0});
  ASSERT_EQ(p.analyse(), 0);
  EXPECT_EQ(p.factorise(), 2);
  EXPECT_EQ(p.info[4], 2);
}

TEST(Ma48FactoriseRank, NoEntryInRangeFactorisesToZero) {
  for (const bool tall : {true, false}) {
    Ma48 p(tall ? 3 : 2, tall ? 2 : 3, {9, 0}, {1, 1}, {1.0, 2.0});
    ASSERT_EQ(p.analyse(), 3);
    ASSERT_EQ(p.factorise(), 2);
    EXPECT_EQ(p.info[4], 0);
    for (const bool trans : {false, true}) {
      std::vector<double> x;
      ASSERT_EQ(p.solve(random_vector(trans ? p.n : p.m, 3), x, trans), 0);
      for (double xi : x) EXPECT_EQ(xi, 0.0);
    }
  }
}

}  // namespace
