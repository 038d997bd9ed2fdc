// Factorisation MA50BD and solve MA50CD, alone and after MA50AD.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "unsym_lu/ma50_harness.hpp"

namespace {

using tbl::fint;
using tbl::test::Csc;
using tbl::test::is_permutation;
using tbl::test::Ma50;
using tbl::test::make_csc;
using tbl::test::identity_orders;
using tbl::test::residual;
using tbl::test::small_example;

std::vector<double> ramp(int n, double a, double b) {
  std::vector<double> v(n);
  for (int i = 0; i < n; ++i) v[i] = a + b * (i % 7);
  return v;
}

// Solves with a right-hand side in the range of A (and of A' when A has at
// least as many rows as columns) and returns the worst scaled residual.
double solve_residual(Ma50& p, const Csc& a) {
  const std::vector<double> b = a.mul(ramp(a.n, 1.0, 0.5));
  double worst = residual(a, p.solve(b, false), b, false);
  if (a.m >= a.n) {
    const std::vector<double> d = a.mul(ramp(a.m, -1.0, 0.25), true);
    worst = std::max(worst, residual(a, p.solve(d, true), d, true));
  }
  return worst;
}

// Factorises with identity orders (no analysis).
fint factor_given(Ma50& p, fint np, fint job = 1, fint lfact = 60) {
  identity_orders(p, np);
  return p.factorise(job, lfact);
}

// ---------------------------------------------------------------------------
// Entry checks

TEST(Ma50Factor, EntryChecksInOrder) {
  Ma50 p(small_example());
  ASSERT_EQ(factor_given(p, 1), 0);
  auto with = [&](fint m, fint n, fint ne, fint job, fint np, fint lfact) {
    std::fill(p.info_b, p.info_b + 7, -99);
    MA50BD(&m, &n, &ne, &job, p.a.val.data(), p.a.row.data(), p.a.ptr.data(), p.cntl, p.icntl, p.ip_b.data(),
           p.iq.data(), &np, &lfact, p.fact.data(), p.irnf.data(), p.iptrl.data(), p.iptru.data(), p.w.data(),
           p.iw.data(), p.info_b, &p.rinfo_b);
    return p.info_b[0];
  };
  EXPECT_EQ(with(0, 3, 6, 1, 1, 60), -1);
  EXPECT_EQ(p.info_b[3], 0);
  EXPECT_EQ(p.info_b[4], 0);
  EXPECT_EQ(with(3, 3, 0, 1, 1, 60), -2);
  EXPECT_EQ(with(3, 3, 6, 1, 4, 60), -7);
  EXPECT_EQ(with(3, 3, 6, 1, -1, 60), -7);
  EXPECT_EQ(with(3, 3, 6, 1, 1, 7), -3);
  EXPECT_EQ(p.info_b[3], 8) << "max(M, NE+2)";
  EXPECT_EQ(with(3, 3, 6, 4, 1, 60), -5);
  EXPECT_EQ(with(3, 3, 6, 0, 1, 60), -5);

  // Duplicated entry (row 1 twice in column 3).
  Ma50 d(small_example());
  d.a.row[5] = 1;
  EXPECT_EQ(factor_given(d, 3), -4);
}

// ---------------------------------------------------------------------------
// The factor layout, by hand: A = [2 0 1; 1 3 0; 0 1 4], identity orders,
// one sparse column.  Column 1 pivots on row 1; the full block holds rows 2
// and 3 of columns 2 and 3 after the elimination: [3 -0.5; 1 4].

TEST(Ma50Factor, LayoutOfTheFactors) {
  Ma50 p(small_example());
  p.cntl[2] = 0.0;
  p.cntl[3] = 0.0;
  ASSERT_EQ(factor_given(p, 1), 0);
  EXPECT_EQ(p.fact[0], 0.0);
  EXPECT_EQ(p.fact[1], 0.0);
  EXPECT_EQ(p.irnf[0], 0) << "nothing dropped";
  EXPECT_EQ(p.irnf[1], 2) << "MF";
  EXPECT_EQ(p.iptru, (std::vector<fint>{2, 4, 5}));
  EXPECT_EQ(p.iptrl, (std::vector<fint>{4, 4, 5}));
  // Column 1: pivot (reciprocal) then the L entry, undivided.
  EXPECT_EQ(p.irnf[2], 1);
  EXPECT_EQ(p.fact[2], 0.5);
  EXPECT_EQ(p.irnf[3], 2);
  EXPECT_EQ(p.fact[3], 1.0);
  // Column 3: one U entry of step 1, stored as -w/d.
  EXPECT_EQ(p.irnf[4], 1);
  EXPECT_EQ(p.fact[4], -0.5);
  // Full block: row indices, then its pivoting record; dense LU in place.
  EXPECT_EQ(p.irnf[5], 2);
  EXPECT_EQ(p.irnf[6], 3);
  EXPECT_EQ(p.irnf[7], 1);
  EXPECT_EQ(p.irnf[8], 2);
  EXPECT_EQ(p.fact[5], 3.0);
  EXPECT_DOUBLE_EQ(p.fact[6], 1.0 / 3.0);
  EXPECT_EQ(p.fact[7], -0.5);
  EXPECT_DOUBLE_EQ(p.fact[8], 4.0 + 0.5 / 3.0);
  EXPECT_EQ(p.ip_b, (std::vector<fint>{1, 2, 3}));
  EXPECT_EQ(p.info_b[4], 3);
  EXPECT_EQ(p.info_b[5], 0);
  EXPECT_EQ(p.info_b[6], 2);
  EXPECT_EQ(p.info_b[3], 13) << "column 2 needs 4 + M + 2 + the 2x2 block's 4";
  // 2 updates of column 3 and 1 pivot; dense: (2 + 2) + (1 + 0).
  EXPECT_EQ(p.rinfo_b, 3.0 + 1.0 + 5.0);
  EXPECT_LT(solve_residual(p, p.a), 1e-15);
}

TEST(Ma50Factor, RowPositionsFollowThePivots) {
  // NP = N on a tall matrix: the rows that never became pivotal follow
  // in increasing index and form the (empty-columned) full block.
  Csc a = make_csc(5, 3, {{{4, 1}, 2.0}, {{2, 1}, 1.0}, {{5, 2}, 3.0}, {{1, 3}, 1.0}, {{3, 3}, 5.0}});
  Ma50 p(a);
  ASSERT_EQ(factor_given(p, 3), 0);
  // Column 1 prefers row 2 (earlier in the order) to its larger entry.
  EXPECT_EQ(p.ip_b, (std::vector<fint>{3, 1, 4, 5, 2}));
  EXPECT_EQ(p.irnf[1], 2);
  const fint base = p.iptrl[2];
  EXPECT_EQ(p.irnf[base], 3);
  EXPECT_EQ(p.irnf[base + 1], 4);
  EXPECT_LT(solve_residual(p, a), 1e-15);
  // Transposed, the rows that never became pivotal get zero.
  const std::vector<double> y = p.solve({1.0, 2.0, 3.0}, true);
  EXPECT_EQ(y[2], 0.0);
  EXPECT_EQ(y[3], 0.0);
}

TEST(Ma50Solve, FullBlockWithoutRows) {
  // Both rows are pivots of the sparse columns; column 3 forms a full
  // block of no rows, whose unknown is zero.
  Csc a = make_csc(2, 3, {{{1, 1}, 2.0}, {{2, 2}, 4.0}, {{1, 3}, 1.0}, {{2, 3}, 1.0}});
  Ma50 p(a);
  ASSERT_EQ(factor_given(p, 2), 0);
  EXPECT_EQ(p.irnf[1], 0);
  EXPECT_EQ(p.irnf[p.iptrl[2]], -1) << "its column is recorded as moved to the end";
  const std::vector<double> x = p.solve({2.0, 8.0}, false);
  EXPECT_EQ(x, (std::vector<double>{1.0, 2.0, 0.0}));
  const std::vector<double> y = p.solve({2.0, 4.0, 3.0}, true);
  EXPECT_EQ(y, (std::vector<double>{1.0, 1.0}));
}

TEST(Ma50Solve, InfoIsWrittenOnlyOnError) {
  Ma50 p(small_example());
  ASSERT_EQ(factor_given(p, 1), 0);
  const fint m = 3, n = 3;
  const tbl::logical tr = tbl::kFalse;
  fint info[2] = {77, 88};
  std::vector<double> b = {3.0, 4.0, 5.0}, x(3), w(3);
  MA50CD(&m, &n, p.icntl, p.iq.data(), &p.np, &tr, &p.lfact, p.fact.data(), p.irnf.data(), p.iptrl.data(),
         p.iptru.data(), b.data(), x.data(), w.data(), info);
  EXPECT_EQ(info[0], 77);
  EXPECT_EQ(x, (std::vector<double>{1.0, 1.0, 1.0}));
  EXPECT_EQ(b, (std::vector<double>{3.0, 4.0, 5.0})) << "the right-hand side is not changed";
  const fint zero = 0;
  MA50CD(&m, &zero, p.icntl, p.iq.data(), &p.np, &tr, &p.lfact, p.fact.data(), p.irnf.data(), p.iptrl.data(),
         p.iptru.data(), b.data(), x.data(), w.data(), info);
  EXPECT_EQ(info[0], -1);
  EXPECT_EQ(info[1], 88);
}

// ---------------------------------------------------------------------------
// End to end on square and rectangular matrices, every dense method.

struct Problem {
  std::string name;
  Csc a;
};

std::vector<Problem> problems() {
  std::vector<Problem> v;
  v.push_back({"square", tbl::test::random_csc(80, 80, 3, 1)});
  v.push_back({"tall", tbl::test::random_csc(90, 60, 3, 2)});
  v.push_back({"wide", tbl::test::random_csc(50, 70, 2, 3)});
  v.push_back({"west0067", tbl::test::from_coo(tbl::test::read_mtx(tbl::test::matrix_path("west0067.mtx")))});
  Csc afiro = tbl::test::from_coo(tbl::test::read_mtx(tbl::test::matrix_path("lp_afiro.mtx")));
  v.push_back({"lp_afiro", afiro});
  // Its transpose: 51 by 27.
  std::vector<std::pair<std::pair<int, int>, double>> e;
  for (int j = 1; j <= afiro.n; ++j) {
    for (int k = afiro.ptr[j - 1]; k < afiro.ptr[j]; ++k) e.push_back({{j, afiro.row[k - 1]}, afiro.val[k - 1]});
  }
  v.push_back({"lp_afiro_t", make_csc(afiro.n, afiro.m, e)});
  return v;
}

TEST(Ma50Kernel, SolvesSquareAndRectangularSystems) {
  for (const Problem& pr : problems()) {
    for (fint nb : {0, 1, 4, 32}) {
      for (fint search : {3, 0}) {
        for (double density : {0.5, 0.0, 1.0}) {
          Ma50 p(pr.a);
          p.icntl[4] = nb;
          p.icntl[3] = search;
          p.cntl[0] = density;
          ASSERT_GE(p.analyse(), 0) << pr.name;
          ASSERT_GE(p.factorise(1), 0) << pr.name << " nb " << nb << " search " << search;
          EXPECT_EQ(p.info_b[4], p.info_a[4]) << pr.name << ": the factorisation finds the rank forecast";
          EXPECT_LE(p.info_b[3], p.info_a[3]) << pr.name << ": MA50AD's forecast suffices";
          if (density == 0.0) {
            EXPECT_EQ(p.np, 0) << pr.name;
          }
          EXPECT_LT(solve_residual(p, pr.a), 1e-10) << pr.name << " nb " << nb << " search " << search
                                                   << " density " << density;
        }
      }
    }
  }
}

TEST(Ma50Kernel, ForecastLengthIsEnoughForTheFactorisation) {
  // LFACT exactly MA50AD's INFO(4): at least M positions stay free for
  // every column, which is what the forecast reserves.  Entries that end in
  // no factor (columns without a pivot) must not pull the forecast below
  // the factorisation's least length.
  std::vector<Problem> all = problems();
  all.push_back({"small columns", make_csc(1, 5, {{{1, 1}, 1e-3}, {{1, 2}, 1e-3}, {{1, 3}, 0.0}, {{1, 4}, -4.0}})});
  for (const Problem& pr : all) {
    Ma50 p(pr.a);
    p.cntl[3] = 0.05;
    ASSERT_GE(p.analyse(), 0);
    ASSERT_GE(p.factorise(1, p.info_a[3]), 0) << pr.name;
    Ma50 q(pr.a);
    q.cntl[3] = 0.05;
    ASSERT_GE(q.analyse(), 0);
    ASSERT_GE(q.factorise(1, p.info_b[3]), 0) << pr.name << ": MA50BD's own INFO(4) suffices too";
    EXPECT_EQ(q.info_b[3], p.info_b[3]);
  }
}

TEST(Ma50Kernel, RankDeficientMatrices) {
  // Column 5 repeats column 2 and row 7 is empty: rank 9 of 10, one column
  // of the sparse part without a pivot.
  Csc base = tbl::test::random_csc(10, 10, 2, 8);
  std::vector<std::pair<std::pair<int, int>, double>> e;
  for (int j = 1; j <= 10; ++j) {
    const int src = j == 5 ? 2 : j;
    for (int k = base.ptr[src - 1]; k < base.ptr[src]; ++k) {
      if (base.row[k - 1] != 7) e.push_back({{base.row[k - 1], j}, base.val[k - 1]});
    }
  }
  Csc a = make_csc(10, 10, e);
  for (double density : {0.5, 1.0, 0.0}) {
    Ma50 p(a);
    p.cntl[0] = density;
    p.cntl[3] = 1e-12;
    ASSERT_GE(p.analyse(), 0);
    ASSERT_EQ(p.factorise(1), 1) << "rank below min(M, N) is a warning";
    EXPECT_EQ(p.info_b[4], 9) << "density " << density;
    // A consistent right-hand side is still solved.
    EXPECT_LT(residual(a, p.solve(a.mul(ramp(10, 1.0, 1.0)), false), a.mul(ramp(10, 1.0, 1.0)), false), 1e-12);
  }
}

TEST(Ma50Kernel, RejectedFullColumnsAreMovedToTheEnd) {
  // A dense 6 by 6 matrix (all in the full block) with two columns that
  // repeat others: the dense factorisation rejects them.
  std::vector<double> d(36);
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> val(-1.0, 1.0);
  for (double& x : d) x = val(gen);
  for (int i = 0; i < 6; ++i) {
    d[i + 6 * 2] = d[i];
    d[i + 6 * 4] = d[i + 6];
  }
  Csc a = tbl::test::from_dense(6, 6, d);
  for (fint nb : {0, 1, 2, 32}) {
    Ma50 p(a);
    p.icntl[4] = nb;
    p.cntl[3] = 1e-12;
    ASSERT_GE(p.analyse(), 0);
    EXPECT_EQ(p.np, 0);
    ASSERT_EQ(p.factorise(1), 1);
    EXPECT_EQ(p.info_b[4], 4);
    const fint base = p.iptrl[5];
    EXPECT_LT(p.irnf[base + 6 + 4], 0) << "pivoting record marks the moved columns";
    EXPECT_LT(p.irnf[base + 6 + 5], 0);
    const std::vector<double> b = a.mul(ramp(6, 1.0, 1.0));
    EXPECT_LT(residual(a, p.solve(b, false), b, false), 1e-12) << "nb " << nb;
    const std::vector<double> c = a.mul(ramp(6, 2.0, -1.0), true);
    EXPECT_LT(residual(a, p.solve(c, true), c, true), 1e-12) << "nb " << nb;
  }
}

// ---------------------------------------------------------------------------
// Refactorisation

Csc scaled_copy(const Csc& a, double f, int every) {
  Csc b = a;
  for (std::size_t k = 0; k < b.val.size(); ++k) {
    if (k % every == 0) b.val[k] *= f;
  }
  return b;
}

TEST(Ma50Kernel, RefactorisationWithNewValues) {
  for (const Problem& pr : problems()) {
    for (fint job : {2, 3}) {
      Ma50 p(pr.a);
      p.cntl[1] = 0.01;  // keep the first pivot sequence usable for new values
      ASSERT_GE(p.analyse(), 0);
      ASSERT_GE(p.factorise(1), 0);
      const std::vector<fint> iptrl = p.iptrl, iptru = p.iptru;
      const std::vector<fint> pattern(p.irnf.begin(), p.irnf.begin() + p.iptrl.back());
      const double ops1 = p.rinfo_b;
      Csc b = scaled_copy(pr.a, 1.3, 3);
      ASSERT_GE(p.factorise(job, 0, &b.val), 0) << pr.name << " job " << job;
      EXPECT_LT(solve_residual(p, b), 1e-12) << pr.name << " job " << job;
      if (job == 2) {
        EXPECT_EQ(p.iptrl, iptrl);
        EXPECT_EQ(p.iptru, iptru);
        EXPECT_EQ(std::vector<fint>(p.irnf.begin(), p.irnf.begin() + p.iptrl.back()), pattern);
        EXPECT_EQ(p.info_b[5], 0);
        EXPECT_EQ(p.info_b[6], 0);
        EXPECT_LE(p.rinfo_b, ops1);
      }
    }
  }
}

// Entries of column j of the factors as sorted (index, value) pairs, the
// pivot apart.
std::vector<std::pair<fint, double>> column_entries(const Ma50& p, fint j) {
  const fint first = j == 1 ? 3 : p.iptrl[j - 2] + 1;
  std::vector<std::pair<fint, double>> v;
  for (fint k = first; k <= p.iptrl[j - 1]; ++k) v.push_back({k == p.iptru[j - 1] + 1 ? -p.irnf[k - 1] : p.irnf[k - 1], p.fact[k - 1]});
  std::sort(v.begin(), v.end());
  return v;
}

TEST(Ma50Kernel, KeptColumnsAreNotRecomputed) {
  for (const Problem& pr : problems()) {
    const Csc& a = pr.a;
    Ma50 p(a);
    ASSERT_GE(p.analyse(), 0);
    ASSERT_GE(p.factorise(1), 0);
    const fint n = a.n, changed = std::min<fint>(5, n - 1);
    const fint k0 = std::min(p.np, n - changed);
    // New values only in the last `changed` columns of the sequence.
    Csc b = a;
    for (fint pos = n - changed + 1; pos <= n; ++pos) {
      const fint j = p.iq[pos - 1];
      for (int k = b.ptr[j - 1]; k < b.ptr[j]; ++k) b.val[k - 1] *= 1.25;
    }
    for (fint job : {2, 3}) {
      Ma50 q = p;
      q.icntl[5] = changed;
      const fint st = q.factorise(job, 0, &b.val);
      ASSERT_GE(st, 0) << pr.name << " job " << job;
      // Kept columns hold the same entries (the search may reorder an L
      // part when it prunes it).
      for (fint j = 1; j <= k0; ++j) {
        ASSERT_EQ(q.iptrl[j - 1], p.iptrl[j - 1]);
        ASSERT_EQ(q.iptru[j - 1], p.iptru[j - 1]);
        EXPECT_EQ(column_entries(q, j), column_entries(p, j)) << pr.name << " job " << job << " column " << j;
      }
      // The pivots of kept columns are not counted again.
      fint kept_pivots = 0;
      for (fint j = 1; j <= k0; ++j) kept_pivots += q.iptrl[j - 1] > q.iptru[j - 1] ? 1 : 0;
      EXPECT_EQ(q.info_b[4] + kept_pivots, p.info_b[4]) << pr.name << " job " << job;
      if (kept_pivots > 0) {
        EXPECT_EQ(st, 1);
      }
      EXPECT_LT(solve_residual(q, b), 1e-12) << pr.name << " job " << job;
    }
  }
}

TEST(Ma50Kernel, DroppedEntriesForbidRefactorisation) {
  Csc a = tbl::test::random_csc(40, 40, 3, 31);
  Ma50 p(a);
  p.cntl[2] = 0.3;
  ASSERT_GE(p.analyse(), 0);
  ASSERT_GE(p.factorise(1), 0);
  ASSERT_GT(p.info_b[5], 0);
  EXPECT_EQ(p.irnf[0], p.info_b[5]);
  EXPECT_EQ(p.fact[0], 0.3);
  for (fint job : {2, 3}) {
    Ma50 q = p;
    EXPECT_EQ(q.factorise(job), -6);
  }
}

TEST(Ma50Kernel, SmallPivotUnderJob2) {
  Ma50 p(small_example());
  ASSERT_EQ(factor_given(p, 3), 0);
  // Column 2's pivot is a(2,2) itself (no earlier step touches it).
  std::vector<double> v = p.a.val;
  v[2] = 0.0;  // a(2,2)
  EXPECT_EQ(p.factorise(2, 60, &v), -(7 + 2));
  p.cntl[3] = 0.75;
  v[2] = 0.7;
  EXPECT_EQ(p.factorise(2, 60, &v), -(7 + 2)) << "|0.7| <= CNTL(4)";
  v[2] = 0.8;
  EXPECT_EQ(p.factorise(2, 60, &v), 0);
}

TEST(Ma50Kernel, Job2ClearsTheRowsOfAColumnWithoutPivot) {
  // Column 2 has one tiny entry, in row 3, which is not yet pivotal: under
  // JOB 1 it gets no pivot and its entry is discarded.  Column 3 reaches
  // row 3 only through fill-in from column 1.  Under JOB 2 the discarded
  // value must not be added to that fill-in.
  Csc a = make_csc(4, 4, {{{1, 1}, 2.0}, {{3, 1}, 1.0}, {{3, 2}, 1e-6}, {{1, 3}, 1.0}, {{4, 3}, 3.0},
                          {{2, 4}, 1.0}, {{3, 4}, 1.0}});
  Ma50 p(a);
  p.cntl[3] = 1e-3;
  ASSERT_EQ(factor_given(p, 4), 1);
  ASSERT_EQ(p.iptrl[1], p.iptru[1]) << "column 2 has no pivot";
  const std::vector<double> fact1(p.fact.begin(), p.fact.begin() + p.iptrl[3]);
  std::vector<double> v = a.val;
  v[2] = 1.0;  // column 2's entry grows; JOB 2 does not look at it again
  ASSERT_EQ(p.factorise(2, 60, &v), 1);
  EXPECT_EQ(std::vector<double>(p.fact.begin(), p.fact.begin() + p.iptrl[3]), fact1);
}

TEST(Ma50Kernel, NegativeSmallPivotToleranceActsAsZero) {
  // Column 1's only entry is an explicit zero.
  Csc a = make_csc(2, 2, {{{1, 1}, 0.0}, {{1, 2}, 1.0}, {{2, 2}, 1.0}});
  Ma50 p(a);
  p.cntl[3] = -1.0;
  p.cntl[0] = 1.0;
  ASSERT_EQ(factor_given(p, 2), 1);
  EXPECT_EQ(p.info_b[4], 1);
  for (fint k = 0; k < p.iptrl[1]; ++k) EXPECT_TRUE(std::isfinite(p.fact[k]));
  ASSERT_GE(p.analyse(), 0);
  EXPECT_EQ(p.info_a[4], 1) << "the analysis does not take the zero as a pivot either";
}

// ---------------------------------------------------------------------------
// Storage

TEST(Ma50Kernel, CountingModeFindsTheLengthNeeded) {
  for (const Problem& pr : problems()) {
    Ma50 p(pr.a);
    ASSERT_GE(p.analyse(), 0);
    ASSERT_GE(p.factorise(1), 0);
    const fint need = p.info_b[3];
    const fint lowest = std::max(pr.a.m, pr.a.nnz() + 2);
    for (fint lfact : {lowest, (lowest + need) / 2, need - 1}) {
      if (lfact < lowest || lfact >= need) continue;
      Ma50 q(pr.a);
      ASSERT_GE(q.analyse(), 0);
      ASSERT_EQ(q.factorise(1, lfact), -3) << pr.name << " lfact " << lfact;
      if (lfact == need - 1) {
        EXPECT_EQ(q.info_b[3], need) << pr.name << ": exact once the U parts are only counted";
      } else {
        EXPECT_GE(q.info_b[3], need) << pr.name;
      }
      Ma50 r(pr.a);
      ASSERT_GE(r.analyse(), 0);
      EXPECT_GE(r.factorise(1, q.info_b[3]), 0) << pr.name << " with the reported INFO(4)";
    }
  }
}

TEST(Ma50Kernel, CountingModeBeyondTheLParts) {
  // An arrowhead ordered badly: every column fills in below the first
  // pivot, so the L parts alone outgrow the smallest allowed LFACT.  The
  // length reported must still be enough.
  const int n = 60;
  std::vector<std::pair<std::pair<int, int>, double>> e;
  for (int i = 1; i <= n; ++i) {
    e.push_back({{i, i}, 4.0});
    if (i > 1) {
      e.push_back({{i, 1}, 1.0});
      e.push_back({{1, i}, 1.0});
    }
  }
  Csc a = make_csc(n, n, e);
  Ma50 full(a);
  ASSERT_EQ(factor_given(full, n, 1, 4000), 0);
  const fint need = full.info_b[3];
  Ma50 p(a);
  ASSERT_EQ(factor_given(p, n, 1, a.nnz() + 2), -3);
  EXPECT_GE(p.info_b[3], need);
  Ma50 q(a);
  EXPECT_EQ(factor_given(q, n, 1, p.info_b[3]), 0);
}

}  // namespace
