// VUR_OPTBQA as a host calls it, on problems with known minima: under bounds
// alone, with constraints that need restarts of the penalty, and with values
// that are not finite in part of the box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "bound_opt/dfo_problems.hpp"
#include "bound_opt/optbqa_host.hpp"
#include "tests/sqp/hs_problems.hpp"

namespace {

using tbl::test::dfo_solve;
using tbl::test::DfoProblem;
using tbl::test::DfoResult;
using tbl::test::DfoSettings;
using tbl::test::rosenbrock;
using V = std::vector<double>;

DfoProblem quadratic_on_bounds(int n) {
  DfoProblem p;
  p.name = "quadratic_n" + std::to_string(n);
  p.x0.assign(n, 0.5);
  p.xl.assign(n, 0.0);
  p.xu.assign(n, 1.0);
  p.f = tbl::test::BoundQuadratic(n);
  return p;
}

struct Known {
  DfoProblem problem;
  double fstar;
  double tol;  // relative
  int32_t npt = 0;
};

std::vector<Known> known_minima() {
  std::vector<Known> cases;
  DfoProblem rosen{{-1.2, 1.0}, {-2.0, -2.0}, {2.0, 2.0}, {}, 0, 0, rosenbrock, {}, "rosenbrock_inside"};
  cases.push_back({rosen, 0.0, 1e-10});
  DfoProblem rosen_bound = rosen;
  rosen_bound.name = "rosenbrock_on_bound";
  rosen_bound.xu = {0.5, 2.0};  // least value 0.25 at (0.5, 0.25)
  cases.push_back({rosen_bound, 0.25, 1e-10});
  // The same problem in variables of very different magnitudes.
  DfoProblem rosen_scaled{{-1.2e3, 1.0e-3},
                          {-2e3, -2e-3},
                          {0.5e3, 2e-3},
                          {1e3, 1e-3},
                          0,
                          0,
                          [](const V& x) {
                            return rosenbrock({x[0] * 1e-3, x[1] * 1e3});
                          },
                          {},
                          "rosenbrock_scaled"};
  cases.push_back({rosen_scaled, 0.25, 1e-10});
  // Charges on a sphere: 4 (a tetrahedron), 5 and 6 points.
  for (int m = 4; m <= 6; ++m) {
    DfoProblem sphere;
    sphere.name = "sphere_" + std::to_string(m) + "_points";
    sphere.x0 = tbl::test::sphere_start(m);
    sphere.xl.assign(3 * m, -1.0);
    sphere.xu.assign(3 * m, 1.0);
    sphere.f = tbl::test::sphere_energy;
    cases.push_back({sphere, tbl::test::sphere_least(m), 1e-8});
  }
  for (int n : {2, 10, 30, 100})
    cases.push_back({quadratic_on_bounds(n), tbl::test::BoundQuadratic(n).least(), 1e-10});
  cases.push_back(
      {quadratic_on_bounds(100), tbl::test::BoundQuadratic(100).least(), 1e-10, 106});  // fewer points
  return cases;
}

TEST(OptbqaSolve, KnownMinimaUnderBounds) {
  for (const Known& k : known_minima()) {
    SCOPED_TRACE(k.problem.name + " npt " + std::to_string(k.npt));
    DfoSettings s;
    s.npt = k.npt;
    s.rhoend = 1e-9;
    s.null_when_empty = true;  // no constraints: CEQ, CIN and CWT need no storage
    const DfoResult r = dfo_solve(k.problem, s);
    ASSERT_EQ(r.info, 2);
    EXPECT_TRUE(r.inside);
    EXPECT_LE(std::fabs(r.fbest - k.fstar), k.tol * std::max(1.0, std::fabs(k.fstar)));
    // The results describe one evaluated point, which X holds at the end.
    EXPECT_EQ(r.fbest, k.problem.f(r.xbest));
    EXPECT_EQ(r.x, r.xbest);
    EXPECT_EQ(r.nfev, static_cast<int32_t>(r.evaluations.size()));
    EXPECT_EQ(r.pbest, r.fbest);
    EXPECT_EQ(r.cviol, 0.0);
    EXPECT_EQ(r.nrst, 0);
    EXPECT_EQ(r.rho, 1e-9);
    // Where the least value lies on a bound, the point is on it exactly.
    if (k.problem.name.rfind("quadratic", 0) == 0) {
      for (std::size_t i = 0; i < r.xbest.size(); i += 3) EXPECT_EQ(r.xbest[i], 1.0) << i;
    }
  }
}

// The method does not depend on the units of F: a power of two leaves every
// step as it was, and values of any magnitude are solved alike (their
// squares would overflow or underflow in the method's own units).
TEST(OptbqaSolve, ValuesFarFromOneAreSolvedAlike) {
  DfoProblem rosen{{-1.2, 1.0}, {-2.0, -2.0}, {2.0, 2.0}, {}, 0, 0, rosenbrock, {}, "rosenbrock"};
  DfoSettings s;
  s.rhoend = 1e-9;
  const DfoResult plain = dfo_solve(rosen, s);
  ASSERT_EQ(plain.info, 2);
  for (double factor : {std::ldexp(1.0, -600), std::ldexp(1.0, 600), 1e-250, 1e250}) {
    SCOPED_TRACE(factor);
    DfoProblem p = rosen;
    p.f = [factor](const V& x) { return factor * rosenbrock(x); };
    const DfoResult r = dfo_solve(p, s);
    ASSERT_EQ(r.info, 2);
    EXPECT_LE(r.fbest / factor, 1e-12);
    if (std::ldexp(1.0, std::ilogb(factor)) == factor) {
      ASSERT_EQ(r.evaluations.size(), plain.evaluations.size());
      for (std::size_t k = 0; k < r.evaluations.size(); ++k)
        ASSERT_EQ(r.evaluations[k].x, plain.evaluations[k].x) << k;
      EXPECT_EQ(r.fbest, factor * plain.fbest);
    }
  }
}

// min x1 + x2 with x1^2 + x2^2 = 1 (least -sqrt 2) and min (x1-2)^2 +
// (x2-1)^2 with x1 + x2 <= 2 (least 0.5 at (1.5, 0.5)), with each penalty
// where its kink is straight.  The constraint is active at the solution,
// so the absolute-value penalty hands over to the quadratic one and P ends
// in that form.
TEST(OptbqaSolve, ConstraintsAreMetThroughRestarts) {
  DfoProblem circle{{0.5, 0.5},
                    {-2, -2},
                    {2, 2},
                    {},
                    1,
                    0,
                    [](const V& x) { return x[0] + x[1]; },
                    [](const V& x, double* ceq, double*) { ceq[0] = x[0] * x[0] + x[1] * x[1] - 1.0; },
                    "circle"};
  DfoProblem halfplane{{0.0, 0.0},
                       {-3, -3},
                       {3, 3},
                       {},
                       0,
                       1,
                       [](const V& x) { return (x[0] - 2) * (x[0] - 2) + (x[1] - 1) * (x[1] - 1); },
                       [](const V& x, double*, double* cin) { cin[0] = x[0] + x[1] - 2.0; },
                       "halfplane"};
  struct Case {
    DfoProblem p;
    int32_t iptype;
    double fstar;
  };
  for (const Case& c : {Case{circle, 1, -std::sqrt(2.0)}, Case{halfplane, 1, 0.5}, Case{halfplane, 2, 0.5}}) {
    SCOPED_TRACE(c.p.name + " iptype " + std::to_string(c.iptype));
    DfoSettings s;
    s.iptype = c.iptype;
    s.pen = 0.1;
    s.ctol = 1e-5;
    s.null_when_empty = true;  // the kind of constraint absent has no storage
    const DfoResult r = dfo_solve(c.p, s);
    ASSERT_EQ(r.info, 2);
    EXPECT_GE(r.nrst, 1);  // PEN = 0.1 is too small for either penalty
    EXPECT_DOUBLE_EQ(r.pen, 0.1 * std::pow(10.0, r.nrst));
    EXPECT_LE(r.cviol, 1e-5);
    EXPECT_NEAR(r.fbest, c.fstar, 1e-4);
    // CVIOL and PBEST recomputed from the values the host gave at XBEST.
    V ceq(1), cin(1);
    c.p.c(r.xbest, ceq.data(), cin.data());
    const double v = c.p.meq == 1 ? std::fabs(ceq[0]) : std::max(cin[0], 0.0);
    EXPECT_EQ(r.cviol, v);
    EXPECT_DOUBLE_EQ(r.pbest, r.fbest + r.pen * v * v);
  }
}

// The classic constrained problems (no bounds; those of the collection are
// constraints here) from their standard starts under the absolute-value
// penalty, with RHOBEG 0.12, RHOEND 1e-8, PEN 1, PENGROW 10 and CTOL 1e-6.
// Its runs stall on the kinks of |v_i| at points of the constraint set that
// are no solutions (there the first-order conditions fail by 0.01 to 1);
// a problem may end with INFO = 2 only at a point that meets them, checked
// with the problem's own derivatives, to 2e-3 (a point whose value is
// right to 1e-6 is right to about its square root), and that has the known
// least value.  HS15 needs a larger PEN than eight restarts reach and
// HS113 more evaluations than MAXFUN, as under the quadratic penalty: they
// end with the failures that say so.
DfoProblem unbounded(const sqptest::Problem& hp) {
  DfoProblem p;
  p.name = hp.name;
  p.x0 = hp.x0;
  p.xl.assign(hp.n, -INFINITY);
  p.xu.assign(hp.n, INFINITY);
  p.meq = hp.meq;
  p.min = hp.m - hp.meq;
  const auto values = [&hp](const V& x, V& c) {
    V g(hp.n), cn(std::size_t(hp.n) * hp.m);
    double f = 0.0;
    c.resize(hp.m);
    sqptest::evaluate(hp, x.data(), f, g.data(), c.data(), cn.data(), hp.n);
    return f;
  };
  p.f = [values](const V& x) {
    V c;
    return values(x, c);
  };
  // The collection's inequalities read c >= 0, the optimiser's cin <= 0.
  p.c = [values, &hp](const V& x, double* ceq, double* cin) {
    V c;
    values(x, c);
    for (int j = 0; j < hp.m; ++j) (j < hp.meq ? ceq[j] : cin[j - hp.meq]) = j < hp.meq ? c[j] : -c[j];
  };
  return p;
}

// The first-order conditions at X: the gradient of F against those of the
// constraints that hold to 1e-4, with multipliers by least squares (an
// inequality whose multiplier comes out negative leaves the set); the
// residual relative to the gradient's size.
double stationarity_error(const sqptest::Problem& p, const V& x) {
  V g(p.n), c(p.m), cn(std::size_t(p.n) * p.m);
  double f = 0.0;
  sqptest::evaluate(p, x.data(), f, g.data(), c.data(), cn.data(), p.n);
  std::vector<const double*> a;  // the active gradients
  std::vector<bool> inequality;
  for (int j = 0; j < p.m; ++j)
    if (j < p.meq || c[j] <= 1e-4) a.push_back(&cn[std::size_t(j) * p.n]), inequality.push_back(j >= p.meq);
  const auto dot = [&p](const double* u, const double* v) {
    double s = 0.0;
    for (int i = 0; i < p.n; ++i) s += u[i] * v[i];
    return s;
  };
  for (;;) {
    // The normal equations [A'A | A'g], by elimination with row exchanges;
    // a tiny shift keeps dependent gradients solvable.
    const std::size_t k = a.size();
    std::vector<V> m(k, V(k + 1));
    for (std::size_t r = 0; r < k; ++r) {
      for (std::size_t q = 0; q < k; ++q) m[r][q] = dot(a[r], a[q]) * (r == q ? 1.0 + 1e-12 : 1.0);
      m[r][k] = dot(a[r], g.data());
    }
    for (std::size_t col = 0; col < k; ++col) {
      std::size_t piv = col;
      for (std::size_t r = col + 1; r < k; ++r)
        if (std::fabs(m[r][col]) > std::fabs(m[piv][col])) piv = r;
      std::swap(m[col], m[piv]);
      for (std::size_t r = 0; r < k; ++r)
        if (r != col && m[col][col] != 0.0) {
          const double t = m[r][col] / m[col][col];
          for (std::size_t q = col; q <= k; ++q) m[r][q] -= t * m[col][q];
        }
    }
    V mu(k, 0.0);
    std::size_t worst = k;
    for (std::size_t r = 0; r < k; ++r) {
      if (m[r][r] != 0.0) mu[r] = m[r][k] / m[r][r];
      if (inequality[r] && mu[r] < 0.0 && (worst == k || mu[r] < mu[worst])) worst = r;
    }
    if (worst < k) {
      a.erase(a.begin() + std::ptrdiff_t(worst));
      inequality.erase(inequality.begin() + std::ptrdiff_t(worst));
      continue;
    }
    double scale = 1.0, err = 0.0;
    for (int i = 0; i < p.n; ++i) {
      double res = g[i];
      for (std::size_t r = 0; r < k; ++r) res -= mu[r] * a[r][i];
      scale = std::max(scale, std::fabs(g[i]));
      err = std::max(err, std::fabs(res));
    }
    return err / scale;
  }
}

class OptbqaAbsolutePenalty : public ::testing::TestWithParam<sqptest::Problem> {};

TEST_P(OptbqaAbsolutePenalty, EndsAtASolutionOrSaysSo) {
  const sqptest::Problem& hp = GetParam();
  DfoSettings s;
  s.iptype = 2;
  s.rhobeg = 0.12;
  s.rhoend = 1e-8;
  s.pen = 1.0;
  s.ctol = 1e-6;
  const DfoResult r = dfo_solve(unbounded(hp), s);
  ASSERT_EQ(r.info, hp.name == "HS15" ? 111 : hp.name == "HS113" ? 110 : 2);
  EXPECT_EQ(r.nfev, static_cast<int32_t>(r.evaluations.size()));
  EXPECT_EQ(r.cviol, sqptest::violation(hp, r.xbest.data()));
  if (r.info != 2) return;
  EXPECT_LE(r.cviol, s.ctol);
  EXPECT_LE(stationarity_error(hp, r.xbest), 2e-3);
  EXPECT_NEAR(r.fbest, hp.fstar, 1e-5 * std::max(1.0, std::fabs(hp.fstar)));
}

// All thirty problems of the collection have constraints; HS1's one
// constraint is inactive at its solution, where P is smooth.
INSTANTIATE_TEST_SUITE_P(HockSchittkowski, OptbqaAbsolutePenalty, ::testing::ValuesIn(sqptest::hs_problems()),
                         [](const ::testing::TestParamInfo<sqptest::Problem>& i) { return i.param.name; });

TEST(OptbqaSolve, ValuesThatAreNotFiniteCountAsVeryLarge) {
  // No value beyond a line next to the start, of F or of an inactive
  // constraint: the first steps land there.
  const auto beyond = [](const V& x) { return x[0] + x[1] > 1.5; };
  const auto bowl = [](const V& x) { return (x[0] - 0.5) * (x[0] - 0.5) + 2 * (x[1] - 0.5) * (x[1] - 0.5); };
  DfoProblem in_f{
      {1.2, 0.2}, {-2, -2}, {2, 2}, {}, 0, 0, [&](const V& x) { return beyond(x) ? NAN : bowl(x); }, {}, "F"};
  DfoProblem in_c{
      {1.2, 0.2}, {-2, -2},
      {2, 2},     {},
      0,          1,
      bowl,       [&](const V& x, double*, double* cin) { cin[0] = beyond(x) ? INFINITY : x[0] - 1.9; },
      "CIN"};
  for (const DfoProblem& p : {in_f, in_c}) {
    SCOPED_TRACE(p.name);
    const DfoResult r = dfo_solve(p, DfoSettings{});
    ASSERT_EQ(r.info, 2);
    EXPECT_NEAR(r.xbest[0], 0.5, 1e-6);
    EXPECT_NEAR(r.xbest[1], 0.5, 1e-6);
    EXPECT_TRUE(std::any_of(r.evaluations.begin(), r.evaluations.end(), [](const tbl::test::Evaluation& e) {
      return std::isnan(e.f) || (!e.cin.empty() && std::isinf(e.cin[0]));
    }));
  }
}

// Values that are not finite after the first evaluation, at every third,
// near the least value of sum (x_i - i)^2 over [0, 2.5]^4 (2.5 at (1, 2,
// 2.5, 2.5)) or only far from it; in F, in an equality that holds there or
// in an inactive inequality.  Converged (2) or FTARGET (3) only in the last
// case; XBEST is always a point the host evaluated with finite values.
TEST(OptbqaSolve, NonFiniteValuesNearTheEndAreReported) {
  enum Where { AfterFirst, EveryThird, NearLeast, FarFromLeast };
  const char* where_names[] = {"after the first", "every third", "near the least value", "far from it"};
  struct Case {
    char in;  // 'F', 'E' (CEQ) or 'I' (CIN)
    double bad;
    Where where;
    int32_t info;
    double ftarget = -INFINITY;
  };
  std::vector<Case> cases;
  for (double bad : {double(NAN), double(INFINITY), -double(INFINITY)})
    for (Where where : {AfterFirst, EveryThird, NearLeast}) cases.push_back({'F', bad, where, 115});
  cases.insert(cases.end(), {{'E', NAN, AfterFirst, 115},
                             {'E', NAN, NearLeast, 115},
                             {'I', INFINITY, EveryThird, 115},
                             {'I', -INFINITY, NearLeast, 115},
                             {'F', NAN, EveryThird, 115, 18.0},  // FTARGET met by a finite value
                             {'F', NAN, FarFromLeast, 2},
                             {'I', INFINITY, FarFromLeast, 3, 3.0}});
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.in) + " " + std::to_string(c.bad) + " " + where_names[c.where] + ", FTARGET " +
                 std::to_string(c.ftarget));
    int count = 0;  // evaluations so far
    const auto spoiled = [&](const V& x) {
      const bool near = std::fabs(x[0] - 1.0) <= 0.1 && std::fabs(x[1] - 2.0) <= 0.1 && x[2] >= 2.4 && x[3] >= 2.4;
      const bool by_where[] = {count > 1, count % 3 == 0, near, x[3] < 0.25};
      return by_where[c.where];
    };
    DfoProblem p{V(4, 0.5), V(4, 0.0), V(4, 2.5), {}, c.in == 'E', c.in == 'I', {}, {}, "sum"};
    p.f = [&](const V& x) {
      ++count;
      double f = 0.0;
      for (std::size_t i = 0; i < x.size(); ++i) f += (x[i] - double(i + 1)) * (x[i] - double(i + 1));
      return c.in == 'F' && spoiled(x) ? c.bad : f;
    };
    p.c = [&](const V& x, double* ceq, double* cin) {
      (c.in == 'E' ? ceq[0] : cin[0]) = spoiled(x) ? c.bad : c.in == 'E' ? x[0] - 1.0 : x[0] - 2.4;
    };
    DfoSettings s;
    s.rhoend = 1e-6;
    s.ftarget = c.ftarget;
    const DfoResult r = dfo_solve(p, s);
    EXPECT_EQ(r.info, c.info);
    EXPECT_EQ(r.x, r.xbest);
    const auto finite = [](const tbl::test::Evaluation& e) {
      const auto is = [](double t) { return std::isfinite(t); };
      return is(e.f) && std::all_of(e.ceq.begin(), e.ceq.end(), is) && std::all_of(e.cin.begin(), e.cin.end(), is);
    };
    const auto& ev = r.evaluations;
    EXPECT_FALSE(std::all_of(ev.begin(), ev.end(), finite));  // each case meets such values
    EXPECT_TRUE(std::any_of(ev.begin(), ev.end(), [&](const tbl::test::Evaluation& e) {
      return finite(e) && e.x == r.xbest && e.f == r.fbest;
    }));
  }
}

}  // namespace
