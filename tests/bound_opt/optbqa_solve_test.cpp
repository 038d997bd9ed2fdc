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
// where its kink is straight.
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
    EXPECT_DOUBLE_EQ(r.pbest, r.fbest + r.pen * (c.iptype == 1 ? v * v : v));
  }
}

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

}  // namespace
