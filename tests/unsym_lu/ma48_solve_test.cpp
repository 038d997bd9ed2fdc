// The solve through the entry points: checks, plain and transposed solves,
// rectangular systems both ways, the backward errors, the refinement with
// its stopping tests and the error estimate.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "TesselBasicLib.h"
#include "ma48_support.hpp"

namespace {

using tbl::test::backward_errors;
using tbl::test::Ma48;
using tbl::test::messages;
using tbl::test::random_vector;
using tbl::test::reducible_matrix;

// An M by N matrix with a dominant leading diagonal and a few couplings.
Ma48 rectangular(int32_t m, int32_t n) {
  std::vector<int32_t> r, c;
  std::vector<double> v;
  for (int32_t j = 1; j <= n; ++j)
    for (int32_t i = 1; i <= m; ++i)
      if (i == j || (i * 3 + j * 5) % 7 == 0) {
        r.push_back(i);
        c.push_back(j);
        v.push_back(i == j ? 4.0 + i : 0.5 / (i + j));
      }
  return Ma48(m, n, r, c, v);
}

void factorised(Ma48& p) {
  ASSERT_GE(p.analyse(), 0);
  ASSERT_GE(p.factorise(), 0);
}

std::string solve_messages(Ma48& p, const std::vector<double>& b, std::vector<double>& x, bool trans, int32_t job,
                           double* err) {
  return messages(p, 2, [&] { p.solve(b, x, trans, job, err); });
}

TEST(Ma48SolveChecks, FailuresChangeNothingButInfo) {
  Ma48 p = reducible_matrix();
  factorised(p);
  struct Case {
    int32_t m, n, job, status;
    const char* text;
  } cases[] = {
      {0, 7, 1, -1, " Error return from MA48C/CD because M =         0 and N =         7\n"},
      {7, -1, 1, -1, " Error return from MA48C/CD because M =         7 and N =        -1\n"},
      {7, 7, 0, -6, " Error return from MA48C/CD because JOB =          0\n"},
      {7, 7, 5, -6, " Error return from MA48C/CD because JOB =          5\n"},
  };
  for (const Case& c : cases) {
    double err[3] = {-1.0, -2.0, -3.0}, x[7], b[7], w[4 * 7];
    int32_t iw[7], info = 99;
    std::fill(x, x + 7, 5.0);
    std::fill(b, b + 7, 6.0);
    const int32_t t = 0;
    const std::string out = messages(p, 1, [&] {
      VIZ_MA48CD(&c.m, &c.n, &t, &c.job, &p.la, p.a.data(), p.irn.data(), p.keep.data(), p.cntl, p.icntl, b, x, err,
                 w, iw, &info);
    });
    EXPECT_EQ(out, c.text);
    EXPECT_EQ(info, c.status);
    EXPECT_EQ(err[0], -1.0);
    EXPECT_EQ(err[1], -2.0);
    EXPECT_EQ(err[2], -3.0);
    for (int k = 0; k < 7; ++k) {
      EXPECT_EQ(x[k], 5.0);
      EXPECT_EQ(b[k], 6.0);
    }
  }
}

TEST(Ma48SolvePlain, Job1SolvesBothWaysAndLeavesTheRest) {
  // A reducible matrix: triangular and ordinary blocks, off-diagonal parts.
  // x = (1..7): the right-hand sides follow from the matrix.  JOB 1 leaves
  // ERROR(1:2) and RHS alone.
  Ma48 p = reducible_matrix();
  factorised(p);
  std::vector<double> xt(7);
  for (int i = 0; i < 7; ++i) xt[i] = i + 1.0;
  for (const bool trans : {false, true}) {
    const std::vector<double> b = p.apply(xt, trans);
    std::vector<double> x;
    double err[3] = {-1.0, -2.0, -3.0};
    ASSERT_EQ(p.solve(b, x, trans, 1, err), 0);
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(x[i], xt[i], 1e-14) << trans;
    EXPECT_EQ(err[0], -1.0);
    EXPECT_EQ(err[1], -2.0);
    EXPECT_EQ(err[2], 0.0);
    EXPECT_EQ(p.last_rhs, b);
  }
}

TEST(Ma48SolvePlain, RectangularSystemsBothWays) {
  // Consistent systems: b is A x or A' y for known x, y.
  for (const auto& [m, n] : {std::pair{7, 4}, std::pair{4, 7}}) {
    Ma48 p = rectangular(m, n);
    factorised(p);
    for (const bool trans : {false, true}) {
      const int32_t lx = trans ? m : n;
      const bool consistent = trans ? m <= n : n <= m;
      if (!consistent) continue;
      std::vector<double> xt(lx);
      for (int i = 0; i < lx; ++i) xt[i] = 1.0 - 0.25 * i;
      const std::vector<double> b = p.apply(xt, trans);
      for (const int32_t job : {1, 3}) {
        std::vector<double> x;
        double err[3];
        ASSERT_EQ(p.solve(b, x, trans, job, err), 0) << m << trans << job;
        for (int i = 0; i < lx; ++i) EXPECT_NEAR(x[i], xt[i], 1e-14);
        if (job == 3) {
          EXPECT_LT(err[0] + err[1], 1e-15);
        }
      }
    }
    // The other direction has more unknowns than equations: any solution
    // that satisfies them will do.
    for (const bool trans : {false, true}) {
      const bool wide = trans ? m > n : n > m;
      if (!wide) continue;
      const std::vector<double> b = random_vector(trans ? n : m, 9);
      for (const int32_t job : {1, 3, 4}) {
        std::vector<double> x;
        double err[3];
        ASSERT_EQ(p.solve(b, x, trans, job, err), 0) << m << trans << job;
        EXPECT_LT(p.relative_residual(b, x, trans), 1e-14);
        if (job == 4) {
          EXPECT_EQ(err[2], 0.0);  // no estimate when M /= N
        }
      }
    }
  }
}

TEST(Ma48SolvePlain, TransposedSolveOfAWideDenseMatrixWritesOnlyItsUnknowns) {
  // A' x = b with A of 2 rows and 6 columns, all handled as a full block:
  // the kernel works on 6 entries, the host's X has 2.
  std::vector<int32_t> r, c;
  std::vector<double> v;
  for (int32_t j = 1; j <= 6; ++j)
    for (int32_t i = 1; i <= 2; ++i) {
      r.push_back(i);
      c.push_back(j);
      v.push_back(i == 1 ? 1.0 + j : 1.0 / j);
    }
  Ma48 p(2, 6, r, c, v);
  factorised(p);
  const std::vector<double> y = {0.5, -2.0};
  const std::vector<double> b = p.apply(y, true);
  for (const int32_t job : {1, 2, 3}) {
    std::vector<double> x;
    ASSERT_EQ(p.solve(b, x, true, job), 0);
    ASSERT_EQ(x.size(), 2u);
    EXPECT_NEAR(x[0], y[0], 1e-14);
    EXPECT_NEAR(x[1], y[1], 1e-14);
  }
}

TEST(Ma48SolveRefinement, Job2IsOnePlainSolveWithItsBackwardErrors) {
  Ma48 p = reducible_matrix();
  factorised(p);
  const std::vector<double> b = random_vector(7, 21);
  std::vector<double> x1, x2;
  double err[3];
  ASSERT_EQ(p.solve(b, x1, false, 1), 0);
  ASSERT_EQ(p.solve(b, x2, false, 2, err), 0);
  EXPECT_EQ(x1, x2);
  EXPECT_LT(err[0], 1e-15);
  EXPECT_EQ(err[2], 0.0);
  // RHS now holds the permuted right-hand side.
  for (int32_t i = 1; i <= 7; ++i) EXPECT_EQ(p.last_rhs[p.keep1(i) - 1], b[i - 1]);
}

TEST(Ma48SolveRefinement, NoStepAllowedReportsNonconvergence) {
  Ma48 p = reducible_matrix();
  factorised(p);
  p.icntl[8] = 0;
  const std::vector<double> b = random_vector(7, 22);
  for (const int32_t job : {2, 3, 4}) {
    std::vector<double> x;
    double err[3] = {-1.0, -1.0, -1.0};
    p.icntl[8] = 0;
    EXPECT_EQ(solve_messages(p, b, x, false, job, err),
              " Error return from MA48C/CD because of nonconvergence of iterative refinement\n"
              " Error INFO(1) = -8  with ICNTL(9) =          0\n");
    EXPECT_EQ(p.info[0], -8);
    for (double xi : x) EXPECT_EQ(xi, 0.0);
    EXPECT_EQ(err[0], 0.0);
    EXPECT_EQ(err[1], 0.0);
    EXPECT_EQ(err[2], 0.0);
    for (int32_t i = 1; i <= 7; ++i) EXPECT_EQ(p.last_rhs[p.keep1(i) - 1], b[i - 1]);
  }
}

TEST(Ma48SolveRefinement, StepsThatDoNotConvergeKeepTheLastIterate) {
  // An inconsistent overdetermined system keeps a backward error far above
  // rounding: one allowed step ends with -8, the iterate of that step and
  // its backward errors, which are those of the plain solve.
  Ma48 p = rectangular(7, 4);
  factorised(p);
  const std::vector<double> b = random_vector(7, 23);
  std::vector<double> x1, x2, x3;
  double err2[3], err3[3];
  ASSERT_EQ(p.solve(b, x1, false, 1), 0);
  ASSERT_EQ(p.solve(b, x2, false, 2, err2), 0);
  EXPECT_GT(err2[0] + err2[1], 1e-3);
  p.icntl[8] = 1;
  EXPECT_EQ(p.solve(b, x3, false, 3, err3), -8);
  EXPECT_EQ(x3, x1);
  EXPECT_EQ(err3[0], err2[0]);
  EXPECT_EQ(err3[1], err2[1]);
  // With more steps the stagnation stops the refinement without an error.
  p.icntl[8] = 10;
  EXPECT_EQ(p.solve(b, x3, false, 4, err3), 0);
  EXPECT_GT(err3[0] + err3[1], 1e-3);
  EXPECT_EQ(err3[2], 0.0);
}

TEST(Ma48SolveRefinement, ReturnedIterateHasTheReturnedBackwardErrors) {
  // Systems with more unknowns than equations, both ways round, with values
  // over several orders of magnitude.  Now and then a second refinement step
  // does worse than the first and the first iterate is restored: it must
  // come back intact, with the backward errors that belong to it.
  int restored_or_repeated = 0;
  for (unsigned seed = 1; seed <= 400; ++seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    int32_t m = 3 + static_cast<int32_t>(gen() % 6), n = m + 1 + static_cast<int32_t>(gen() % 8);
    const bool trans = seed % 2 == 1;
    if (trans) std::swap(m, n);
    std::vector<int32_t> r, c;
    std::vector<double> v;
    for (int32_t i = 1; i <= m; ++i)
      for (int32_t j = 1; j <= n; ++j)
        if (gen() % 3 == 0 || i == j) {
          r.push_back(i);
          c.push_back(j);
          v.push_back(u(gen) * std::pow(10.0, static_cast<int>(gen() % 7) - 3));
        }
    Ma48 p(m, n, r, c, v);
    ASSERT_GE(p.analyse(), 0);
    ASSERT_GE(p.factorise(), 0);
    const std::vector<double> b = random_vector(trans ? n : m, seed);
    std::vector<double> x, previous;
    double err[3];
    int32_t info = 0;
    for (int32_t steps = 1; steps <= 10; ++steps) {
      p.icntl[8] = steps;
      info = p.solve(b, x, trans, 3, err);
      ASSERT_TRUE(info == 0 || info == -8) << seed;
      const auto [w1, w2] = backward_errors(p, b, x, trans);
      EXPECT_NEAR(w1 + w2, err[0] + err[1], std::max(2e-16, 0.01 * (err[0] + err[1]))) << seed << " " << steps;
      if (info == 0) {
        restored_or_repeated += x == previous;
        break;
      }
      previous = x;
    }
  }
  EXPECT_GT(restored_or_repeated, 0);
}

TEST(Ma48SolveRefinement, ExactSolutionsStopAtOnce) {
  Ma48 p = reducible_matrix();
  factorised(p);
  // Zero right-hand side: zero solution, zero backward errors, and the
  // estimates are left undivided by the zero norm of the solution.
  std::vector<double> x;
  double err[3];
  ASSERT_EQ(p.solve(std::vector<double>(7, 0.0), x, false, 4, err), 0);
  for (double xi : x) EXPECT_EQ(xi, 0.0);
  EXPECT_EQ(err[0], 0.0);
  EXPECT_EQ(err[1], 0.0);
  EXPECT_EQ(err[2], 0.0);
  // One refinement step is enough when the first solution is exact.
  p.icntl[8] = 1;
  std::vector<double> xt(7, 1.0);
  ASSERT_EQ(p.solve(p.apply(xt, false), x, false, 3, err), 0);
}

// The solution of a small dense system in extended precision.
std::vector<long double> solve_extended(std::vector<std::vector<long double>> a, const std::vector<double>& b) {
  const size_t n = b.size();
  std::vector<long double> x(b.begin(), b.end());
  for (size_t k = 0; k < n; ++k) {
    size_t p = k;
    for (size_t i = k + 1; i < n; ++i)
      if (std::fabs(a[i][k]) > std::fabs(a[p][k])) p = i;
    std::swap(a[k], a[p]);
    std::swap(x[k], x[p]);
    for (size_t i = k + 1; i < n; ++i) {
      const long double l = a[i][k] / a[k][k];
      for (size_t j = k; j < n; ++j) a[i][j] -= l * a[k][j];
      x[i] -= l * x[k];
    }
  }
  for (size_t k = n; k-- > 0;) {
    for (size_t j = k + 1; j < n; ++j) x[k] -= a[k][j] * x[j];
    x[k] /= a[k][k];
  }
  return x;
}

// A dense matrix of order N with entries F(i, j), factorised, with its
// entries and those of its transpose in extended precision.
struct Dense {
  Ma48 p;
  std::vector<std::vector<long double>> a, at;
};
template <class F>
Dense dense(int n, F f) {
  std::vector<int32_t> r, c;
  std::vector<double> v;
  std::vector<std::vector<long double>> a(n, std::vector<long double>(n)), at = a;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      r.push_back(i);
      c.push_back(j);
      v.push_back(f(i, j));
      a[i - 1][j - 1] = at[j - 1][i - 1] = v.back();
    }
  Dense d{Ma48(n, n, r, c, v), a, at};
  factorised(d.p);
  return d;
}

TEST(Ma48SolveEstimate, ErrorEstimateFollowsTheActualError) {
  // The Hilbert matrix of order 6 (condition near 1.5e7).
  const int n = 6;
  auto [p, a, at] = dense(n, [](int i, int j) { return 1.0 / (i + j - 1); });
  for (const bool trans : {false, true}) {
    double worst = 0.0, best = 1e300;
    int measured = 0;
    for (unsigned seed = 1; seed <= 20; ++seed) {
      const std::vector<double> b = random_vector(n, seed);
      const std::vector<long double> xt = solve_extended(trans ? at : a, b);
      std::vector<double> x;
      double err[3];
      ASSERT_EQ(p.solve(b, x, trans, 4, err), 0);
      long double actual = 0.0, xnorm = 0.0;
      for (int i = 0; i < n; ++i) {
        actual = std::max(actual, std::fabs(x[i] - xt[i]));
        xnorm = std::max<long double>(xnorm, std::fabs(x[i]));
      }
      EXPECT_LT(err[0] + err[1], 1e-15);
      // A residual that rounds to zero gives no backward error to scale.
      if (err[0] + err[1] == 0.0) continue;
      ++measured;
      const double ratio = double(actual / xnorm) / err[2];
      worst = std::max(worst, ratio);
      best = std::min(best, ratio);
    }
    // An estimate, not a bound: within a modest factor of the error it
    // estimates, and not wildly pessimistic either.
    EXPECT_GE(measured, 10) << trans;
    EXPECT_LT(worst, 10.0) << trans;
    EXPECT_GT(best, 1e-3) << trans;
  }
  // A well-conditioned matrix: a tiny estimate.
  Ma48 q = reducible_matrix();
  factorised(q);
  std::vector<double> x;
  double err[3];
  ASSERT_EQ(q.solve(random_vector(7, 30), x, true, 4, err), 0);
  EXPECT_LT(err[2], 1e-13);
}

TEST(Ma48SolveEstimate, EstimateIsTheWeightedNormOfTheInverse) {
  // ERROR(3) = (OMEGA(1) |inv(S) G1|_inf + OMEGA(2) |inv(S) G2|_inf) / |x|,
  // S = A or A', each norm estimated from below.  The strong coupling above
  // the diagonal makes inv(S) far from symmetric, so the orientation of
  // every solve matters.
  const int n = 6;
  auto [p, a, at] = dense(n, [](int i, int j) { return j == i + 1 ? 9.0 : (i == j ? 1.0 : 0.1 / (i + j)); });
  for (const bool trans : {false, true}) {
    // Columns of inv(S).
    std::vector<std::vector<long double>> inv(n);
    for (int j = 0; j < n; ++j) {
      std::vector<double> e(n, 0.0);
      e[j] = 1.0;
      inv[j] = solve_extended(trans ? at : a, e);
    }
    auto weighted_norm = [&](const std::vector<long double>& g) {
      long double norm = 0.0L;
      for (int i = 0; i < n; ++i) {
        long double row = 0.0L;
        for (int j = 0; j < n; ++j) row += std::fabs(inv[j][i]) * g[j];
        norm = std::max(norm, row);
      }
      return norm;
    };
    int measured = 0;
    for (unsigned seed = 1; seed <= 10; ++seed) {
      const std::vector<double> b = random_vector(n, seed);
      std::vector<double> x;
      double err[3];
      ASSERT_EQ(p.solve(b, x, trans, 4, err), 0);
      std::vector<long double> g1, g2;
      backward_errors(p, b, x, trans, &g1, &g2);
      long double xnorm = 0.0L;
      for (double xi : x) xnorm = std::max<long double>(xnorm, std::fabs(xi));
      const long double target = (err[0] * weighted_norm(g1) + err[1] * weighted_norm(g2)) / xnorm;
      if (target == 0.0L) continue;
      ++measured;
      // So small a matrix leaves the estimator no room: it finds the norms.
      EXPECT_NEAR(err[2] / target, 1.0, 1e-6) << trans << seed;
    }
    EXPECT_GE(measured, 5) << trans;
  }
}

TEST(Ma48SolveEstimate, EquationsWithoutScaleCountInNeitherBackwardError) {
  // Row 2 is empty and its right-hand side zero.
  Ma48 p(3, 3, {1, 3, 1, 3}, {1, 3, 2, 2}, {2.0, 3.0, 1.0, 1.0});
  p.icntl[6] = 0;
  factorised(p);
  std::vector<double> x;
  double err[3];
  ASSERT_EQ(p.solve({1.0, 0.0, 2.0}, x, false, 4, err), 0);
  EXPECT_EQ(err[0] + err[1] < 1e-15, true);
  EXPECT_TRUE(std::isfinite(err[2]));
}

}  // namespace
