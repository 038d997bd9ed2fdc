// The bound-constrained method on its own, driven directly: after every
// step its stored inverse of the interpolation system must still invert the
// system built afresh from its points, its model must interpolate the
// values it was given, and its points must respect the bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "bound_opt/bqa.hpp"
#include "bound_opt/dfo_problems.hpp"

namespace {

using tbl::fint;
using tbl::bqa::Outcome;
using tbl::bqa::Phase;
using RunState = tbl::bqa::Run;
using tbl::bqa::Work;
using Fn = std::function<double(const std::vector<double>&)>;

// Largest violation of H W = I, each entry relative to the size of the
// terms it sums (the 1-norm of its row of H times the largest entry of its
// column of W), where W is the interpolation system of the points XPT
// (relative to XBASE): W = [A e Y; e' 0 0; Y' 0 0], A(i,j) = (y_i'y_j)^2/2.
// The stored parts of H (Omega = Z Z', Xi, Upsilon) must give Omega e = 0,
// Omega Y = 0, Xi e = 0, Xi Y = I, and Omega A + Xi' Y' - I and
// Xi A + Upsilon Y' with equal columns (the columns of the parts of H not
// stored).
double inverse_error(const Work& w) {
  const fint n = w.n, m = w.npt;
  // Row i of H restricted to W's first block row and to its last n rows:
  // hrow(i, k), k <= m from Omega or Xi, k > m from Xi' or Upsilon.
  const fint dim = m + n;
  std::vector<double> h(std::size_t(dim) * dim), wm(std::size_t(dim) * m);
  auto hm = [&](fint i, fint k) -> double& { return h[std::size_t(i - 1) + std::size_t(k - 1) * dim]; };
  auto wc = [&](fint k, fint j) -> double& { return wm[std::size_t(k - 1) + std::size_t(j - 1) * dim]; };
  for (fint i = 1; i <= dim; ++i)
    for (fint k = 1; k <= dim; ++k) {
      double v = 0.0;
      if (i <= m && k <= m) {
        for (fint c = 1; c <= w.nptm; ++c) v += w.zmat(i, c) * w.zmat(k, c);
      } else if (i <= m) {
        v = w.bmat(i, k - m);
      } else if (k <= m) {
        v = w.bmat(k, i - m);
      } else {
        v = w.bmat(m + (i - m), k - m);
      }
      hm(i, k) = v;
    }
  // The columns of W for the points: (A(:,j); y_j), leaving out the row of
  // ones, which is what the unstored column of H multiplies.
  for (fint j = 1; j <= m; ++j)
    for (fint k = 1; k <= dim; ++k) {
      double v = 0.0;
      if (k <= m) {
        for (fint l = 1; l <= n; ++l) v += w.xpt(k, l) * w.xpt(j, l);
        v = 0.5 * v * v;
      } else {
        v = w.xpt(j, k - m);
      }
      wc(k, j) = v;
    }
  std::vector<double> rownorm(dim, 0.0), colmax(m, 0.0);
  for (fint i = 1; i <= dim; ++i)
    for (fint k = 1; k <= dim; ++k) rownorm[i - 1] += std::fabs(hm(i, k));
  for (fint j = 1; j <= m; ++j)
    for (fint k = 1; k <= dim; ++k) colmax[j - 1] = std::max(colmax[j - 1], std::fabs(wc(k, j)));

  double worst = 0.0;
  auto note = [&](double err, double size) {
    worst = std::max(worst, std::fabs(err) / std::max(size, 1e-300));
  };
  // H times the column of ones and the columns of the linear terms.
  for (fint i = 1; i <= dim; ++i) {
    double s = 0.0, size = 0.0;
    for (fint k = 1; k <= m; ++k) s += hm(i, k), size += std::fabs(hm(i, k));
    note(s, size);
    for (fint l = 1; l <= n; ++l) {
      double t = 0.0, ymax = 0.0;
      for (fint k = 1; k <= m; ++k)
        t += hm(i, k) * w.xpt(k, l), ymax = std::max(ymax, std::fabs(w.xpt(k, l)));
      const bool unit = i == m + l;
      note(t - (unit ? 1.0 : 0.0), std::max(size * ymax, unit ? 1.0 : 0.0));
    }
  }
  // H times the columns of the points: the identity, up to the unstored
  // column of H times the row of ones, which is the same in every column.
  std::vector<double> first(dim);
  for (fint j = 1; j <= m; ++j)
    for (fint i = 1; i <= dim; ++i) {
      double s = i == j ? -1.0 : 0.0;
      for (fint k = 1; k <= dim; ++k) s += hm(i, k) * wc(k, j);
      if (j == 1)
        first[i - 1] = s;
      else
        note(s - first[i - 1], std::max(rownorm[i - 1] * std::max(colmax[j - 1], colmax[0]), 1.0));
    }
  // Upsilon is symmetric.
  for (fint i = 1; i <= n; ++i)
    for (fint j = 1; j < i; ++j)
      note(w.bmat(m + i, j) - w.bmat(m + j, i),
           std::fabs(w.bmat(m + i, j)) + std::fabs(w.bmat(m + j, i)) + 1e-300);
  return worst;
}

// Largest |Q(y_k) - fval(k)| relative to the spread of the values.
double interpolation_error(const Work& w, fint kopt) {
  const fint n = w.n, m = w.npt;
  std::vector<double> dv(n + 1), hd(n + 1);
  tbl::Vec1<double> d(dv.data(), n), h(hd.data(), n);
  double spread = 0.0, worst = 0.0;
  for (fint k = 1; k <= m; ++k) spread = std::max(spread, std::fabs(w.fval(k) - w.fval(kopt)));
  for (fint k = 1; k <= m; ++k) {
    for (fint j = 1; j <= n; ++j) d(j) = w.xpt(k, j) - w.xopt(j);
    tbl::bqa::detail::hess_times(w, d, h);
    double q = w.fval(kopt);
    for (fint j = 1; j <= n; ++j) q += d(j) * (w.gopt(j) + 0.5 * h(j));
    worst = std::max(worst, std::fabs(q - w.fval(k)));
  }
  return worst / std::max(spread, 1e-300);
}

// What the caller hands on for a value that is not finite: more than any
// value met.
constexpr double kStandIn = 1e30;

struct Outcomes {
  Outcome end;
  fint evaluations = 0;
  double fbest = INFINITY;
  std::vector<double> xbest;
  double worst_inverse = 0.0, worst_interpolation = 0.0;
  bool inside = true;
  fint stand_ins = 0;         // values of FN that were not finite
  bool marks_follow = true;   // after every value, the points holding kStandIn, and only they, marked
  bool end_judged = true;     // rests_on_finite at the end, from the values held and the radii asked at
};

// Minimises FN over [lo, hi]^n from X0 and checks the invariants at every
// request of a trust-region or geometry step.  With SPOIL > 0, the stored
// inverse is wiped out at that evaluation, and the checks wait for the run
// to have rebuilt its model.  A value of FN that is not finite is handed on
// as kStandIn.
Outcomes minimise(const Fn& fn, std::vector<double> x0, const std::vector<double>& lo,
                  const std::vector<double>& hi, fint npt, double rhobeg, double rhoend, fint maxfun,
                  fint spoil = 0) {
  const fint n = static_cast<fint>(x0.size());
  std::vector<double> store(tbl::bqa::workspace_length(n, npt), NAN);
  Work w(store.data(), n, npt);
  for (fint j = 1; j <= n; ++j) {
    w.xls(j) = lo[j - 1];
    w.xus(j) = hi[j - 1];
  }
  RunState run;
  Outcomes out;
  double stand_in_rho = NAN;  // the radius of the last request answered with kStandIn
  Outcome o = tbl::bqa::start(run, w, x0.data(), rhobeg, rhoend, nullptr);
  std::vector<double> x(n);
  while (o == Outcome::Evaluate && out.evaluations < maxfun) {
    if (out.evaluations == spoil) {
      for (fint k = 1; k <= w.ndim; ++k)
        for (fint j = 1; j <= n; ++j) w.bmat(k, j) = 0.0;
      for (fint k = 1; k <= npt; ++k)
        for (fint j = 1; j <= w.nptm; ++j) w.zmat(k, j) = 0.0;
    }
    if (run.phase == Phase::Trial && (spoil == 0 || run.rebuilt)) {
      out.worst_inverse = std::max(out.worst_inverse, inverse_error(w));
      out.worst_interpolation = std::max(out.worst_interpolation, interpolation_error(w, run.kopt));
    }
    for (fint j = 1; j <= n; ++j) {
      x[j - 1] = w.xeval(j);
      out.inside = out.inside && x[j - 1] >= lo[j - 1] && x[j - 1] <= hi[j - 1];
    }
    const double f = fn(x);
    ++out.evaluations;
    if (f < out.fbest) {
      out.fbest = f;
      out.xbest = x;
    }
    const bool stand_in = !std::isfinite(f);
    if (stand_in) ++out.stand_ins, stand_in_rho = run.rho;
    o = tbl::bqa::resume(run, w, stand_in ? kStandIn : f, {}, stand_in);
    const fint held = run.phase == Phase::Initial ? run.kinit - 1 : npt;
    fint marked = 0;
    for (fint k = 1; k <= npt; ++k) {
      marked += run.stand_in[k];
      out.marks_follow = out.marks_follow && run.stand_in[k] == (k <= held && w.fval(k) == kStandIn);
    }
    out.marks_follow = out.marks_follow && marked == run.stand_ins;
  }
  out.end = o;
  bool finite = stand_in_rho != run.rho;
  for (fint k = 1; k <= npt; ++k) finite = finite && w.fval(k) != kStandIn;
  out.end_judged = tbl::bqa::rests_on_finite(run) == finite;
  return out;
}

using tbl::test::rosenbrock;

TEST(BqaCore, InitialSetsAreInvertedExactly) {
  // Every kind of initial point: one or two per axis, pairs of axes up to
  // the full quadratic count, with the start inside, on and near bounds.
  struct Case {
    fint n, npt;
    double start;
  };
  const Case cases[] = {{1, 3, 0.3}, {2, 4, 0.3},    {2, 5, -1.0}, {2, 6, 0.95}, {3, 10, 0.0},
                        {4, 9, 1.0}, {4, 15, -0.97}, {5, 12, 0.2}, {6, 28, 0.5}};
  for (const Case& c : cases) {
    std::vector<double> store(tbl::bqa::workspace_length(c.n, c.npt), NAN);
    Work w(store.data(), c.n, c.npt);
    for (fint j = 1; j <= c.n; ++j) w.xls(j) = -1.0, w.xus(j) = 1.0;
    std::vector<double> x0(c.n, c.start);
    RunState run;
    Outcome o = tbl::bqa::start(run, w, x0.data(), 0.25, 1e-6, nullptr);
    // The values of a quadratic: the initial model must be that quadratic.
    auto quad = [](const std::vector<double>& x) {
      double f = 0.0;
      for (std::size_t i = 0; i < x.size(); ++i)
        f += (i + 1.0) * x[i] * x[i] + x[i] * x[(i + 1) % x.size()] - x[i];
      return f;
    };
    while (o == Outcome::Evaluate && run.phase == Phase::Initial) {
      std::vector<double> x(c.n);
      for (fint j = 1; j <= c.n; ++j) x[j - 1] = w.xeval(j);
      o = tbl::bqa::resume(run, w, quad(x), {});
    }
    const std::string label = "n=" + std::to_string(c.n) + " npt=" + std::to_string(c.npt);
    EXPECT_LT(inverse_error(w), 1e-13) << label;
    EXPECT_LT(interpolation_error(w, run.kopt), 1e-12) << label;
  }
}

TEST(BqaCore, InverseAndModelStayConsistentThroughARun) {
  // Rosenbrock from far away: many shifts of the origin, radius reductions
  // and both kinds of step; a box that is active at the solution.
  struct Case {
    fint n, npt;
    double upper;
  };
  for (const Case& c : {Case{2, 5, 2.0}, Case{3, 7, 0.5}, Case{4, 15, 2.0}, Case{5, 8, 2.0}}) {
    const std::vector<double> lo(c.n, -2.0), hi(c.n, c.upper);
    const Outcomes r = minimise(rosenbrock, std::vector<double>(c.n, -1.2), lo, hi, c.npt, 0.5, 1e-7, 4000);
    const std::string label = "n=" + std::to_string(c.n) + " npt=" + std::to_string(c.npt);
    EXPECT_EQ(r.end, Outcome::Converged) << label;
    EXPECT_TRUE(r.inside) << label;
    EXPECT_LT(r.worst_inverse, 1e-10) << label;
    EXPECT_LT(r.worst_interpolation, 1e-5) << label;
  }
}

TEST(BqaCore, ABrokenModelIsRebuiltAroundTheBestPoint) {
  // With H wiped out, the next denominators vanish: the run builds fresh
  // initial points at its current radius and still converges.
  const std::vector<double> lo(2, -2.0), hi(2, 2.0);
  const Outcomes clean = minimise(rosenbrock, {-1.2, 1.0}, lo, hi, 5, 0.5, 1e-7, 4000);
  const Outcomes r = minimise(rosenbrock, {-1.2, 1.0}, lo, hi, 5, 0.5, 1e-7, 4000, 40);
  EXPECT_EQ(r.end, Outcome::Converged);
  EXPECT_NE(r.evaluations, clean.evaluations);
  EXPECT_LT(r.fbest, 1e-12);
  EXPECT_GT(r.worst_inverse, 0.0);  // checked after the rebuild
  EXPECT_LT(r.worst_inverse, 1e-10);
  EXPECT_LT(r.worst_interpolation, 1e-5);
}

// A quadratic with no value at every third, fifth or seventh point, or
// left of x1 = -0.8 (around the start only), with the model wiped out once
// or not: the marks follow the points through swaps of initial points,
// replacements and rebuilds, and the run's end knows whether it rests on
// finite values.
TEST(BqaCore, StandInsAreMarkedWhileInterpolated) {
  const std::vector<double> lo(3, -2.0), hi(3, 2.0);
  for (int every : {0, 3, 5, 7})
    for (fint npt : {5, 7, 10})
      for (double rhoend : {1e-3, 1e-7})
        for (fint spoil : {0, 40}) {
          SCOPED_TRACE("every " + std::to_string(every) + " npt " + std::to_string(npt) + " rhoend " +
                       ::testing::PrintToString(rhoend) + " spoil " + std::to_string(spoil));
          fint count = 0;
          const auto fn = [&](const std::vector<double>& x) {
            const bool none = ++count > 1 && (every > 0 ? count % every == 0 : x[0] < -0.8);
            return none ? NAN : (x[0] - 0.3) * (x[0] - 0.3) + 2 * (x[1] + 0.4) * (x[1] + 0.4) + 3 * x[2] * x[2];
          };
          const Outcomes r = minimise(fn, {-1.2, 1.0, -1.2}, lo, hi, npt, 0.5, rhoend, 4000, spoil);
          EXPECT_GT(r.stand_ins, 0);
          EXPECT_TRUE(r.marks_follow);
          EXPECT_TRUE(r.end_judged);
        }
}

}  // namespace
