// Iterative refinement on factor storage written by hand.  Giving the
// refinement the matrix s*A while the factors are those of A makes each step
// shrink the error by exactly |1 - s|, so convergence, stalling, divergence
// and running out of steps can each be produced on purpose.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "sym_ldlt/ma57_hand_factors.hpp"
#include "sym_ldlt/ma57_solve.hpp"
#include "support/child.hpp"

namespace {

using tbl::test::Dense;
using tbl::test::HandFactors;
using tbl::test::diagonal_factors;
using tbl::test::ends_with;
using tbl::test::max_abs;
using tbl::test::mixed_factors;
using tbl::test::rel_diff;

Dense scaled(const Dense& a, double s) {
  Dense c = a;
  for (double& v : c.v) v *= s;
  return c;
}

struct Refine {
  const HandFactors& f;
  Dense matrix;  // the matrix the refinement is given
  tbl::test::Entries e;
  std::vector<int> icntl = std::vector<int>(20, 0);
  std::vector<double> cntl = {0.01, 0.0, 0.5, 0.0, 0.0};
  std::vector<int> info = std::vector<int>(40, 0);
  std::vector<double> rinfo = std::vector<double>(20, 0.0);
  std::vector<double> x, resid, w;
  std::vector<int> iw;

  Refine(const HandFactors& fac, double s = 1.0) : f(fac), matrix(scaled(fac.a, s)) {
    e = tbl::test::lower_entries(matrix);
    icntl[0] = icntl[1] = icntl[2] = 6;
    icntl[3] = -1;
    icntl[4] = 0;
    icntl[8] = 1;
    icntl[12] = 10;
    x.assign(f.n, 0.0);
    resid.assign(f.n, 0.0);
    w.assign(4 * f.n, 0.0);
    iw.assign(f.n, 0);
  }
  void operator()(int job, const std::vector<double>& b) {
    const int n = f.n, ne = e.ne();
    const int lfact = static_cast<int>(f.fact.size()), lifact = static_cast<int>(f.ifact.size());
    MA57DD(&job, &n, &ne, e.val.data(), e.irn.data(), e.jcn.data(), f.fact.data(), &lfact, f.ifact.data(),
           &lifact, b.data(), x.data(), resid.data(), w.data(), iw.data(), icntl.data(), cntl.data(), info.data(),
           rinfo.data());
  }
};

std::vector<double> rhs_for(const Dense& a, int seed = 0) {
  std::vector<double> x(a.n);
  for (int i = 0; i < a.n; ++i) x[i] = std::cos(0.3 + i + seed) + 0.5;
  return tbl::test::multiply(a, x);
}

std::vector<double> axpy(double alpha, const std::vector<double>& x, const std::vector<double>& y) {
  std::vector<double> r(y);
  for (std::size_t i = 0; i < r.size(); ++i) r[i] += alpha * x[i];
  return r;
}

// --- one-step mode ---------------------------------------------------------

TEST(MA57DDOneStep, EachJobAgainstDenseArithmetic) {
  // The matrix given is 1.25 A, so the correction is never zero.
  const HandFactors f = mixed_factors();
  const double s = 1.25;
  const auto b = rhs_for(f.a);
  const auto x0 = tbl::test::solve_exact(f.a, b);  // what the factors give
  auto residual = [&](const std::vector<double>& x) { return axpy(-1.0, tbl::test::multiply(scaled(f.a, s), x), b); };
  const std::vector<double> z(f.n, 0.75), given_resid = rhs_for(f.a, 3);
  for (int job = 0; job <= 4; ++job) {
    SCOPED_TRACE(job);
    Refine r(f, s);
    if (job >= 2) r.x = z;  // X given
    if (job >= 3) r.resid = given_resid;  // and its residual
    r(job, b);
    const auto start = job <= 1 ? x0 : z;
    const auto used = job <= 2 ? residual(start) : given_resid;
    if (job == 0) {  // the solution and its residual
      EXPECT_LT(rel_diff(r.x, x0), 1e-12);
      EXPECT_LT(rel_diff(r.resid, used), 1e-12);
      continue;
    }
    // One correction d from the residual; RESID returns d, or for JOB 4 the
    // residual of the corrected X.
    const auto d = tbl::test::solve_exact(f.a, used);
    EXPECT_LT(rel_diff(r.x, axpy(1.0, d, start)), 1e-12);
    EXPECT_LT(rel_diff(r.resid, job == 4 ? residual(r.x) : d), 1e-11);
  }
}

TEST(MA57DDOneStep, EntriesOutOfRangeSkippedDuplicatesAddedNothingElseWritten) {
  const HandFactors f = diagonal_factors({2.0, -4.0, 8.0});
  Refine r(f);
  // Row 2's value split over two entries, plus entries outside the matrix.
  r.e.val = {2.0, -1.0, -3.0, 8.0, 5.0, 6.0, 7.0};
  r.e.irn = {1, 2, 2, 3, 0, 4, 2};
  r.e.jcn = {1, 2, 2, 3, 1, 1, -1};
  r.info.assign(40, 5);
  r.rinfo.assign(20, 9.0);
  r(0, {2.0, -4.0, 8.0});
  EXPECT_EQ(r.x, (std::vector<double>{1.0, 1.0, 1.0}));
  EXPECT_EQ(r.resid, (std::vector<double>{0.0, 0.0, 0.0}));
  EXPECT_EQ(r.info, std::vector<int>(40, 5));
  EXPECT_EQ(r.rinfo, std::vector<double>(20, 9.0));
}

TEST(MA57DDOneStep, NoEntries) {
  const HandFactors f = diagonal_factors({2.0, 4.0});
  for (int job : {0, 3}) {
    Refine r(f);
    r.e = {};
    r.x = {5.0, 6.0};
    r.resid = {7.0, 8.0};
    r.rinfo.assign(20, 9.0);
    r.info[29] = 12;
    r(job, {1.0, 1.0});
    EXPECT_EQ(r.x, (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(r.resid, job == 3 ? (std::vector<double>{7.0, 8.0}) : (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(r.info[29], 0);
    for (int k = 6; k <= 13; ++k) EXPECT_EQ(r.rinfo[k - 1], 0.0);
    EXPECT_EQ(r.rinfo[13], 9.0);
  }
}

// --- refinement mode -------------------------------------------------------

TEST(MA57DDRefinement, OutcomesAndWhatIsReported) {
  // With s*A given and the factors of A, the k-th iterate from x0 = s x* is
  // x* (1 - (1-s)^(k+1)): each way of stopping is reached on purpose and its
  // iterate is known.  Whatever the outcome, RESID and RINFO must describe
  // the X returned.
  struct Case {
    const char* what;
    double s;
    int steps;
    double cntl3;
    int info1, info30;  // info30 < 0: converged after 10 to 20 steps
    int iterate;        // -1: x* itself
  };
  const std::vector<Case> cases = {
      {"converges", 1.1, 40, 0.5, 0, -1, -1},
      {"runs out of steps", 1.1, 3, 0.5, -8, 4, 3},
      {"stalls and keeps the new iterate", 1.1, 10, 0.01, 0, 1, 1},
      {"step makes things worse and is undone", 3.0, 10, 0.5, 0, 1, 0},
  };
  const HandFactors f = mixed_factors();
  const auto b = rhs_for(f.a);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Refine r(f, c.s);
    r.icntl[8] = c.steps;
    r.cntl[2] = c.cntl3;
    r(0, b);
    EXPECT_EQ(r.info[0], c.info1);
    if (c.info30 >= 0) {
      EXPECT_EQ(r.info[29], c.info30);
    } else {
      EXPECT_GE(r.info[29], 10);
      EXPECT_LE(r.info[29], 20);
    }
    std::vector<double> want = tbl::test::solve_exact(r.matrix, b);
    const double factor = c.iterate < 0 ? 1.0 : 1.0 - std::pow(1.0 - c.s, c.iterate + 1);
    for (double& v : want) v *= factor;
    EXPECT_LT(rel_diff(r.x, want), c.iterate < 0 ? 1e-13 : 1e-10);

    const auto res = axpy(-1.0, tbl::test::multiply(r.matrix, r.x), b);
    EXPECT_LE(max_abs(axpy(-1.0, res, r.resid)), 1e-14 * max_abs(b));
    double anorm = 0.0, omega1 = 0.0;
    for (int i = 1; i <= f.n; ++i) {
      double ax = 0.0, rowsum = 0.0;
      for (int j = 1; j <= f.n; ++j) {
        ax += std::abs(r.matrix(i, j) * r.x[j - 1]);
        rowsum += std::abs(r.matrix(i, j));
      }
      anorm = std::max(anorm, rowsum);
      omega1 = std::max(omega1, std::abs(res[i - 1]) / (std::abs(b[i - 1]) + ax));
    }
    // Every row is of the first class here.
    if (c.iterate < 0) {
      EXPECT_LT(r.rinfo[5], 1e-15);
    } else {
      EXPECT_NEAR(r.rinfo[5], omega1, 1e-10 * omega1);
    }
    EXPECT_EQ(r.rinfo[6], 0.0);
    EXPECT_DOUBLE_EQ(r.rinfo[7], anorm);
    EXPECT_EQ(r.rinfo[8], max_abs(r.x));
    EXPECT_EQ(r.rinfo[9], max_abs(r.resid) / (r.rinfo[7] * r.rinfo[8]));
  }

  // Starting from a given X (JOB 2) ends at the same place.
  Refine r(f, 1.1);
  r.icntl[8] = 40;
  r.x.assign(f.n, 1.0);
  r(2, b);
  EXPECT_EQ(r.info[0], 0);
  EXPECT_LT(rel_diff(r.x, tbl::test::solve_exact(r.matrix, b)), 1e-13);
}

TEST(MA57DDRefinement, NaNIsNeverTakenForConvergence) {
  // A NaN in the given X or in an entry of A makes the residual NaN: the
  // backward error must say so and refinement must end in failure, not pass
  // the iterate as exact.
  const HandFactors f = diagonal_factors({2.0, 4.0, 8.0});
  for (int where : {0, 1}) {
    SCOPED_TRACE(where == 0 ? "X" : "A");
    Refine r(f);
    r.icntl[8] = 3;
    r.x = {1.0, 1.0, 1.0};
    (where == 0 ? r.x[0] : r.e.val[1]) = std::nan("");
    r(2, {2.0, 4.0, 8.0});
    EXPECT_EQ(r.info[0], -8);
    EXPECT_EQ(r.info[29], 4);
    EXPECT_TRUE(std::isnan(r.rinfo[5] + r.rinfo[6]));
  }
}

// --- error analysis --------------------------------------------------------

// max_j (|A^-1| w)_j: the quantity the estimator approaches from below.
double weighted_inverse_norm(const Dense& inv, const std::vector<double>& w) {
  double best = 0.0;
  for (int j = 1; j <= inv.n; ++j) {
    double s = 0.0;
    for (int i = 1; i <= inv.n; ++i) s += std::abs(inv(j, i)) * w[i - 1];
    best = std::max(best, s);
  }
  return best;
}

TEST(MA57DDErrorAnalysis, ConditionNumbersOfBothRowClasses) {
  // Two uncoupled halves; the right-hand side vanishes on the second, so x
  // does too and the second half's rows fall into the second class.
  const std::vector<tbl::test::BlockLayout> blocks = {
      {{3, 1, 5, 7, 9}, {10}, {2}}, {{10}, {}, {}}, {{2, 4, 6, 8, 11, 12}, {}, {1, 5}}};
  const HandFactors f = tbl::test::random_factors(12, blocks, 5u);
  std::vector<double> xt(12, 0.0);
  for (int v : {1, 3, 5, 7, 9, 10}) xt[v - 1] = 1.0 + 0.1 * v;
  const auto b = tbl::test::multiply(f.a, xt);
  Refine r(f);
  r.icntl[8] = 4;
  r.icntl[9] = 1;
  r(0, b);
  ASSERT_EQ(r.info[0], 0);

  const Dense inv = tbl::test::inverse(f.a);
  const double xnorm = max_abs(r.x);
  std::vector<double> w1(12, 0.0), w2(12, 0.0);
  for (int i = 1; i <= 12; ++i) {
    double ax = 0.0, rowsum = 0.0;
    for (int j = 1; j <= 12; ++j) {
      ax += std::abs(f.a(i, j) * r.x[j - 1]);
      rowsum += std::abs(f.a(i, j));
    }
    if (xt[i - 1] != 0.0) {
      w1[i - 1] = std::abs(b[i - 1]) + ax;
    } else {
      ASSERT_EQ(b[i - 1], 0.0);
      w2[i - 1] = xnorm * rowsum + ax;
    }
  }
  const double cond1 = weighted_inverse_norm(inv, w1) / xnorm;
  const double cond2 = weighted_inverse_norm(inv, w2) / xnorm;
  EXPECT_LE(r.rinfo[10], cond1 * (1 + 1e-10));
  EXPECT_GE(r.rinfo[10], cond1 * 0.5);
  EXPECT_LE(r.rinfo[11], cond2 * (1 + 1e-10));
  EXPECT_GE(r.rinfo[11], cond2 * 0.5);
  EXPECT_DOUBLE_EQ(r.rinfo[12], r.rinfo[10] * r.rinfo[5] + r.rinfo[11] * r.rinfo[6]);
}

Dense hilbert(int n) {
  Dense h(n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) h(i, j) = 1.0 / (i + j - 1);
  return h;
}

TEST(MA57DDErrorAnalysis, BoundBracketsTheTrueError) {
  struct Case {
    HandFactors f;
    const char* name;
  };
  std::vector<Case> cases;
  cases.push_back({tbl::test::dense_ldlt(hilbert(7), {3, 4}), "hilbert7"});
  cases.push_back({tbl::test::dense_ldlt(hilbert(9), {9}), "hilbert9"});
  cases.push_back({mixed_factors(), "indefinite16"});
  for (const auto& c : cases) {
    Refine r(c.f);
    r.icntl[8] = 10;
    r.icntl[9] = 1;
    r.icntl[12] = 0;
    std::vector<double> b(c.f.n);
    for (int i = 0; i < c.f.n; ++i) b[i] = 1.0 + i % 3;
    r(0, b);
    ASSERT_GE(r.info[0], 0) << c.name;
    const auto xstar = tbl::test::solve_exact(c.f.a, b);
    const double err = rel_diff(r.x, xstar) * max_abs(xstar) / max_abs(r.x);
    EXPECT_LE(err, r.rinfo[12]) << c.name;
    EXPECT_LT(r.rinfo[12], 1e-4) << c.name;
  }
}

TEST(MA57DDErrorAnalysis, StaleErrorStatusSkipsIt) {
  const HandFactors f = mixed_factors();
  auto out = tbl::test::run_in_child([&] {
    Refine r(f, 1.1);
    r.icntl[8] = 40;
    r.icntl[9] = 1;
    r.icntl[4] = 3;
    r.icntl[2] = 6;
    r.info[0] = -3;
    r.rinfo[10] = r.rinfo[11] = r.rinfo[12] = 42.0;
    r(0, rhs_for(f.a));
    EXPECT_EQ(r.info[0], -3);
    EXPECT_GT(r.info[29], 5);
    EXPECT_GT(r.rinfo[7], 0.0);
    EXPECT_EQ(r.rinfo[10], 42.0);
    EXPECT_EQ(r.rinfo[11], 42.0);
    EXPECT_EQ(r.rinfo[12], 42.0);
    if (::testing::Test::HasFailure()) std::exit(1);
  });
  EXPECT_EQ(out.status, tbl::test::kBodyReturned) << out.err;
  const std::string tail =
      "\nLeaving iterative refinement solution phase (MA57DD) with ...\n"
      "INFO (1)                                      =          -3\n\n";
  EXPECT_TRUE(ends_with(out.out, tail)) << out.out;
}

// --- checks and messages ---------------------------------------------------

TEST(MA57DDChecks, OrderCodesAndMessages) {
  const HandFactors f = diagonal_factors({2.0, 4.0});
  struct Case {
    int job, n, ne, steps;
    int info1, info2;
    std::string message;
  };
  const std::string head = "**** Error return from MA57DD ****  INFO(1) =";
  const std::vector<Case> cases = {
      {9, 0, -1, 0, -1, 0, head + " -1\nN has value           0\n"},
      {9, 2, -1, 0, -2, -1, head + " -2\nNE has value          -1\n"},
      {9, 2, 2, 0, -13, 0, head + " -13\nICNTL(9) has value           0\n"},
      {5, 2, 2, 1, -12, 5, head + " -12\nJOB has value           5\n"},
      {-1, 2, 2, 1, -12, -1, head + " -12\nJOB has value          -1\n"},
      {1, 2, 2, 2, -12, 1, head + " -12\nJOB has value           1\nand ICNTL(9) =  2\n"},
      {3, 2, 2, 7, -12, 3, head + " -12\nJOB has value           3\nand ICNTL(9) =  7\n"},
  };
  for (const auto& c : cases) {
    auto out = tbl::test::run_in_child([&] {
      Refine r(f);
      r.icntl[4] = 1;
      r.icntl[8] = c.steps;
      r.info.assign(40, 8);
      r.x = {3.0, 3.0};
      const int lfact = 3, lifact = 7;
      MA57DD(&c.job, &c.n, &c.ne, r.e.val.data(), r.e.irn.data(), r.e.jcn.data(), f.fact.data(), &lfact,
             f.ifact.data(), &lifact, r.x.data(), r.x.data(), r.resid.data(), r.w.data(), r.iw.data(),
             r.icntl.data(), r.cntl.data(), r.info.data(), r.rinfo.data());
      EXPECT_EQ(r.info[0], c.info1);
      EXPECT_EQ(r.info[1], c.info2);
      EXPECT_EQ(r.info[29], 8);
      EXPECT_EQ(r.x, (std::vector<double>{3.0, 3.0}));
      if (::testing::Test::HasFailure()) std::exit(1);
    });
    EXPECT_EQ(out.status, tbl::test::kBodyReturned) << out.err;
    EXPECT_EQ(out.out, c.message);
  }
}

TEST(MA57DDChecks, NonConvergenceMessageGuardedByUnitAndLevel) {
  const HandFactors f = mixed_factors();
  for (auto [unit, level] : {std::pair{6, 1}, {6, 0}, {-1, 2}}) {
    auto out = tbl::test::run_in_child([&] {
      Refine r(f, 1.1);
      r.icntl[0] = unit;
      r.icntl[4] = level;
      r.icntl[8] = 2;
      r(0, rhs_for(f.a));
    });
    const bool prints = unit >= 0 && level > 0;
    EXPECT_EQ(out.out, prints ? "Error return from MA57D/DD because of nonconvergence of iterative refinement\n"
                                "Error INFO(1) = -8  with ICNTL(9) =          2\n"
                              : "");
  }
}

// --- monitoring ------------------------------------------------------------

std::string monitored(int job, int steps, int level, int analysis) {
  const HandFactors f = diagonal_factors({2.0, -4.0, 8.0, 0.5});
  return tbl::test::run_in_child([&] {
           Refine r(f);
           r.icntl[4] = level;
           r.icntl[8] = steps;
           r.icntl[9] = analysis;
           r(job, {2.0, 4.0, 8.0, 1.0});
         })
      .out;
}

TEST(MA57DDMonitoring, RefinementModeReport) {
  // The factors are exact: the first backward error is zero, so no step is
  // taken (INFO(30) = 0) and X is the direct solution.
  const std::string out = monitored(0, 3, 3, 1);
  const std::string entering =
      "\nEntering iterative refinement solution phase (MA57DD) with ...\n"
      "JOB       Control for coefficient matrix      =           0\n"
      "N         Order of matrix                     =           4\n"
      "NE        Number of entries in matrix         =           4\n"
      "ICNTL(1)  Stream for errors                   =           6\n"
      " --- (2)  Stream for warnings                 =           6\n"
      " --- (3)  Stream for monitoring               =           6\n"
      " --- (4)  Stream for statistics               =          -1\n"
      " --- (5)  Level of diagnostic printing        =           3\n"
      "LFACT     Length of array FACT                =          10\n"
      "LIFACT    Length of array IFACT               =           9\n"
      "ICNTL(9)  Number steps iterative refinement   =           3\n"
      "ICNTL(10) Control for error analysis          =           1\n"
      "ICNTL(13) Threshold for Level 2 and 3 BLAS    =          10\n"
      "CNTL(3)   Convergence test for IR             =  5.0000D-01\n";
  EXPECT_EQ(out.substr(0, entering.size()), entering);
  const std::string rhs = "\nRight-hand side\n        2.000D+00    4.000D+00    8.000D+00    1.000D+00\n";
  const std::string leaving =
      "\nLeaving iterative refinement solution phase (MA57DD) with ...\n"
      "INFO (1)                                      =           0\n\n"
      "INFO(30)  Number steps iterative ref   =         0\n"
      "RINFO(6)  Backward errors  (OMEGA(1))  = 0.000D+00\n"
      "-----(7)  Backward errors  (OMEGA(2))  = 0.000D+00\n"
      "-----(8)  Infinity norm of matrix      = 8.000D+00\n"
      "-----(9)  Infinity norm of solution    = 2.000D+00\n"
      "-----(10) Norm of scaled residuals     = 0.000D+00\n"
      "RINFO(11) Condition number (COND(1))   = 2.000D+00\n"
      "RINFO(12) Condition number (COND(2))   = 0.000D+00\n"
      "RINFO(13) Error in solution            = 0.000D+00\n"
      "\nResidual\n"
      "    0.000D+00    0.000D+00    0.000D+00    0.000D+00\n"
      "\nSolution\n"
      "    1.000D+00   -1.000D+00    1.000D+00    2.000D+00\n";
  EXPECT_TRUE(ends_with(out, rhs + leaving)) << out;
}

TEST(MA57DDMonitoring, OneStepTitles) {
  const std::string tail_job1 =
      "INFO (1)                                      =           0\n\n"
      "\nCorrection to solution\n"
      "    0.000D+00    0.000D+00    0.000D+00    0.000D+00\n"
      "\nSolution\n"
      "    1.000D+00   -1.000D+00    1.000D+00    2.000D+00\n";
  const std::string out1 = monitored(1, 1, 3, 0);
  EXPECT_TRUE(ends_with(out1, tail_job1)) << out1;
  const std::string out0 = monitored(0, 1, 3, 0);
  EXPECT_NE(out0.find("\nResidual\n"), std::string::npos);
  EXPECT_EQ(out0.find("Correction"), std::string::npos);
  EXPECT_EQ(out0.find("RINFO"), std::string::npos);
  EXPECT_EQ(monitored(0, 3, 2, 1), "");
}

}  // namespace
