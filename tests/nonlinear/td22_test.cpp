// The column groups and the grouped difference estimate, on random sparse
// patterns: every group must be free of shared rows, the estimate must
// agree with the analytic Jacobian, and it must cost one evaluation per
// group (two with central differences).
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "nonlinear/td22.hpp"

namespace {

using tbl::fint;

struct Pattern {
  fint m, n;
  std::vector<fint> ipj, irnj, ipr, jcr;  // by columns and by rows (columns increasing)
};

// Each column gets a few random rows, some columns none; a dense row
// (row 1 in every column) when asked.
Pattern random_pattern(fint m, fint n, unsigned seed, bool dense_row) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<fint> row(1, m), len(0, 4);
  std::vector<std::vector<fint>> cols(n), rows(m);
  for (fint j = 0; j < n; ++j) {
    if (dense_row) cols[j].push_back(1);
    for (int k = len(gen); k > 0; --k) {
      const fint i = row(gen);
      if (std::find(cols[j].begin(), cols[j].end(), i) == cols[j].end()) cols[j].push_back(i);
    }
  }
  Pattern p{m, n, {1}, {}, {1}, {}};
  for (fint j = 0; j < n; ++j) {
    for (fint i : cols[j]) {
      p.irnj.push_back(i);
      rows[i - 1].push_back(j + 1);
    }
    p.ipj.push_back(static_cast<fint>(p.irnj.size()) + 1);
  }
  for (fint i = 0; i < m; ++i) {
    for (fint j : rows[i]) p.jcr.push_back(j);
    p.ipr.push_back(static_cast<fint>(p.jcr.size()) + 1);
  }
  return p;
}

// f_i(x) = sum over the row's columns of sin(i + j x_j) + x_j^2 / j.
double entry_derivative(fint i, fint j, const double* x) { return j * std::cos(i + j * x[j - 1]) + 2 * x[j - 1] / j; }

void residuals(const Pattern& p, const double* x, double* f) {
  for (fint i = 1; i <= p.m; ++i) {
    double s = 0;
    for (fint t = p.ipr[i - 1]; t < p.ipr[i]; ++t) {
      const fint j = p.jcr[t - 1];
      s += std::sin(i + j * x[j - 1]) + x[j - 1] * x[j - 1] / j;
    }
    f[i - 1] = s;
  }
}

TEST(Td22, GroupsShareNoRowAndEstimateTheJacobian) {
  struct Case {
    fint m, n;
    unsigned seed;
    bool dense_row;
  } cases[] = {{40, 60, 1, false}, {200, 150, 2, false}, {30, 25, 3, true}, {5, 1, 4, false}};
  for (const Case& c : cases) {
    const Pattern p = random_pattern(c.m, c.n, c.seed, c.dense_row);
    fint ngroup = 0;
    std::vector<fint> gptr(c.n + 1), gcol(c.n), work(3 * c.n);
    TD22_GROUPS(&c.m, &c.n, p.ipj.data(), p.irnj.data(), p.ipr.data(), p.jcr.data(), &ngroup, gptr.data(),
                gcol.data(), work.data());

    // Every column in exactly one group; no row twice in a group.
    fint max_row = 0;
    for (fint i = 0; i < c.m; ++i) max_row = std::max(max_row, p.ipr[i + 1] - p.ipr[i]);
    EXPECT_GE(ngroup, max_row);
    if (c.dense_row) {
      EXPECT_EQ(ngroup, c.n);
    }
    std::vector<int> seen(c.n + 1, 0), row_owner(c.m + 1, 0);
    ASSERT_EQ(gptr[0], 1);
    ASSERT_EQ(gptr[ngroup], c.n + 1);
    for (fint g = 1; g <= ngroup; ++g) {
      EXPECT_LT(gptr[g - 1], gptr[g]) << "empty group " << g;
      for (fint s = gptr[g - 1]; s < gptr[g]; ++s) {
        const fint j = gcol[s - 1];
        ++seen[j];
        for (fint e = p.ipj[j - 1]; e < p.ipj[j]; ++e) {
          EXPECT_NE(row_owner[p.irnj[e - 1]], g) << "row " << p.irnj[e - 1] << " twice in group " << g;
          row_owner[p.irnj[e - 1]] = g;
        }
      }
    }
    for (fint j = 1; j <= c.n; ++j) EXPECT_EQ(seen[j], 1) << "column " << j;

    // The estimate against the analytic values, with the evaluations it costs.
    std::vector<double> x(c.n), f(c.m), xt(c.n), ft(c.m), aj(p.irnj.size()), h(c.n), fp(c.m), size(c.n, 1.0);
    // Zeros (the step is then the relative step itself, the typical size
    // being 1) and magnitudes from 0.5 to 1.5.
    for (fint j = 0; j < c.n; ++j) x[j] = j % 3 == 0 ? 0.0 : (1 + 0.5 * std::sin(j)) * (j % 2 ? 1 : -1);
    residuals(p, x.data(), f.data());
    for (fint method : {1, 2}) {
      const double cntld[5] = {0, 0, 0, 0, 0};
      fint isave[2], ireq = 0, evaluations = 0;
      TD22AD(&c.m, &c.n, p.ipj.data(), p.irnj.data(), &ngroup, gptr.data(), gcol.data(), &method, cntld,
             size.data(), x.data(), f.data(), xt.data(), ft.data(), aj.data(), h.data(), fp.data(), isave, &ireq);
      while (ireq == 1) {
        residuals(p, xt.data(), ft.data());
        ++evaluations;
        TD22AD(&c.m, &c.n, p.ipj.data(), p.irnj.data(), &ngroup, gptr.data(), gcol.data(), &method, cntld,
               size.data(), x.data(), f.data(), xt.data(), ft.data(), aj.data(), h.data(), fp.data(), isave, &ireq);
      }
      EXPECT_EQ(evaluations, method * ngroup);
      EXPECT_EQ(xt, x);
      // Truncation error of the formulas with the default steps (second and
      // third
      // derivatives grow as j^3) plus rounding, which grows with the terms of f_i.
      for (fint j = 1; j <= c.n; ++j) {
        for (fint e = p.ipj[j - 1]; e < p.ipj[j]; ++e) {
          const fint i = p.irnj[e - 1];
          const double terms = p.ipr[i] - p.ipr[i - 1];  // each at most 3.25 in magnitude
          const double tol = method == 1 ? 2e-8 * (1.0 + j * j) + 1e-7 * terms : 2e-11 * (1.0 + j * j * j) + 5e-10 * terms;
          EXPECT_NEAR(aj[e - 1], entry_derivative(p.irnj[e - 1], j, x.data()), tol)
              << "method " << method << " entry (" << p.irnj[e - 1] << "," << j << ")";
        }
      }
    }
  }
}

// The estimate of the slope of FUN, a function of one variable of typical
// size SIZE, at X, with the step it took and whether every point asked for
// was finite.
struct Slope {
  double aj = 0, h = 0;
  bool finite = true;
};
template <class Fun>
Slope estimate_slope(fint method, const double* cntld, double size, double x, Fun fun) {
  const fint one = 1, ipj[] = {1, 2}, irnj[] = {1}, gptr[] = {1, 2}, gcol[] = {1};
  double f = fun(x), xt = 0, ft = 0, fp = 0;
  fint isave[2], ireq = 0;
  Slope s;
  for (;;) {
    TD22AD(&one, &one, ipj, irnj, &one, gptr, gcol, &method, cntld, &size, &x, &f, &xt, &ft, &s.aj, &s.h, &fp,
           isave, &ireq);
    if (ireq != 1) return s;
    s.finite = s.finite && std::isfinite(xt);
    ft = fun(xt);
  }
}

// Steps at the ends of the range: every point asked for is finite, and the
// estimate of a linear f(x) = x / 2 is its slope.
TEST(Td22, StepsNearOverflowStayFinite) {
  struct Case {
    fint method;
    double x, cntld1;
  } cases[] = {{2, DBL_MAX, 0}, {2, -DBL_MAX, 0}, {2, std::nextafter(DBL_MAX, 0.0), 0}, {1, -1.2e10, 1e300},
               {2, 1e308, 1}};
  for (const Case& c : cases) {
    const double cntld[5] = {c.cntld1, 0, 0, 0, 0};
    const Slope s = estimate_slope(c.method, cntld, 1.0, c.x, [](double v) { return v / 2; });
    EXPECT_TRUE(s.finite) << c.x << " method " << c.method;
    EXPECT_NEAR(s.aj, 0.5, 1e-15) << c.x << " method " << c.method;
  }
}

// Coordinates at or near zero next to a residual of the size of the
// variable: the step must follow the typical size of the variable, not the
// coordinate, or f(x + h) - f(x) is lost in rounding.
TEST(Td22, StepsAtTinyCoordinatesFollowTheTypicalSize) {
  struct Case {
    fint method;
    double x, offset, size;  // f(x) = offset + 2x
  } cases[] = {{1, 0.0, 1, 1},           {1, -4.1e-55, 1, 1},   {2, 1e-300, 1, 1},          {1, -4.1e-55, 1e-6, 1e-6},
               {2, 3e-9, 1e-6, 1e-6},    {1, 1e-60, 1e3, 1e3},  {1, 0.0, 1e-100, 1e-100}, {2, 1e-120, 1e-100, 1e-100}};
  for (const Case& c : cases) {
    const double cntld[5] = {0, 0, 0, 0, 0};
    const Slope s = estimate_slope(c.method, cntld, c.size, c.x, [&c](double v) { return c.offset + 2 * v; });
    EXPECT_NEAR(s.aj, 2, 1e-6) << c.x << " method " << c.method;
    const double r = c.method == 1 ? std::sqrt(DBL_EPSILON) : std::cbrt(DBL_EPSILON);
    EXPECT_NEAR(s.h, r * c.size, 1e-6 * r * c.size) << c.x << " method " << c.method;
  }
}

}  // namespace
