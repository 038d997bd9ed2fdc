// NB01AD through its export, driven as a host drives it.  Every run is
// checked independently of the routine: each requested point must lie
// strictly inside the bracket the host can rebuild from the signs seen so
// far, and after j such points that bracket may be at most 2^(1-j) times as
// wide as the first one (never more than one evaluation behind bisection).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <ostream>
#include <limits>
#include <string>
#include <vector>

#include "TesselBasicLib.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Outcome {
  int ind = 99;
  double x = 0, y = 0;
  std::vector<double> xs;          // every point the host was asked for
  double lo = 0, hi = 0;           // the bracket rebuilt from the signs
  std::string bracket_fault;       // first breach of the bracket rules
};

Outcome solve(const std::function<double(double)>& f, double a, double b, double eps, int limit = 500) {
  Outcome r;
  int ind = 1;
  double x = 0, y = 0;
  VIZ_NB01AD(&ind, &a, &b, &eps, &x, &y, &limit);
  double width0 = 0, fa = 0, flo = 0;
  int inner = 0;
  while (ind == 2 && r.xs.size() < 5000) {
    r.xs.push_back(x);
    y = f(x);
    if (r.xs.size() == 1) {
      fa = y;
    } else if (r.xs.size() == 2) {
      r.lo = std::fmin(a, b);
      r.hi = std::fmax(a, b);
      flo = a < b ? fa : y;
      width0 = r.hi - r.lo;
    } else if (r.bracket_fault.empty()) {
      ++inner;
      if (!(x > r.lo && x < r.hi)) r.bracket_fault = "point " + std::to_string(x) + " outside the bracket";
      if (std::signbit(y) == std::signbit(flo)) {
        r.lo = x;
        flo = y;
      } else {
        r.hi = x;
      }
      if (r.hi - r.lo > std::ldexp(width0, 1 - inner))
        r.bracket_fault = "bracket behind bisection after " + std::to_string(inner) + " inner points";
    }
    VIZ_NB01AD(&ind, &a, &b, &eps, &x, &y, &limit);
  }
  r.ind = ind;
  r.x = x;
  r.y = y;
  return r;
}

// Evaluations bisection needs to bring [a, b] down to width w, plus the two
// ends and the one evaluation of slack.
std::size_t bisection_bound(double a, double b, double w) {
  return 3 + static_cast<std::size_t>(std::ceil(std::log2(std::fabs(b - a) / w)));
}

struct Converging {
  const char* name;
  std::function<double(double)> f;
  double a, b, eps;
  double root;            // the root expected (NaN: any of the function's roots)
  double xtol;            // |X - root| allowed
  std::size_t max_evals;  // evaluations allowed
};

void PrintTo(const Converging& c, std::ostream* os) { *os << c.name; }

std::string converging_name(const ::testing::TestParamInfo<Converging>& info) { return info.param.name; }

class Nb01Converges : public ::testing::TestWithParam<Converging> {};

TEST_P(Nb01Converges, FindsTheRootWithinTheBisectionBound) {
  const Converging& c = GetParam();
  const Outcome r = solve(c.f, c.a, c.b, c.eps);
  ASSERT_EQ(r.ind, 0);
  EXPECT_TRUE(r.bracket_fault.empty()) << r.bracket_fault;
  EXPECT_EQ(r.y, c.f(r.x)) << "Y is f(X)";
  bool evaluated = false;
  for (double p : r.xs) evaluated = evaluated || p == r.x;
  EXPECT_TRUE(evaluated);
  if (!std::isnan(c.root)) {
    EXPECT_LE(std::fabs(r.x - c.root), c.xtol) << r.x;
  }
  EXPECT_TRUE(std::fabs(r.y) <= c.eps || r.hi - r.lo <= 2 * DBL_EPSILON * std::fmax(std::fabs(r.lo), std::fabs(r.hi)))
      << "neither |Y| <= EPS nor a bracket at rounding level: " << r.lo << " " << r.hi;
  EXPECT_LE(r.xs.size(), c.max_evals);
}

double cubic(double x) { return (x * x - 2) * x - 5; }

INSTANTIATE_TEST_SUITE_P(
    Nb01, Nb01Converges,
    ::testing::Values(
        // Smooth simple roots: far fewer evaluations than bisection's 50-odd.
        Converging{"Cubic", cubic, 2, 3, 0, 2.0945514815423265, 4e-16, 12},
        Converging{"CubicReversedBracket", cubic, 3, 2, 0, 2.0945514815423265, 4e-16, 12},
        Converging{"SquareRootOfTwo", [](double x) { return x * x - 2; }, 0, 2, 0, std::sqrt(2.0), 4e-16, 12},
        Converging{"CosMinusX", [](double x) { return std::cos(x) - x; }, 0, 1, 0, 0.7390851332151607, 4e-16, 12},
        Converging{"ExpWithTolerance", [](double x) { return std::exp(x) - 2; }, 0, 1, 1e-6, std::log(2.0), 1e-6, 8},
        // No overflow across the widest bracket; the bound is bisection's
        // 81 halvings from 3.4e308 down to rounding level at 1e300.
        Converging{"WideBracket", [](double x) { return x - 1e300; }, -1.7e308, 1.7e308, 0, 1e300, 1e285, 84},
        // Three roots inside: any one of them.
        Converging{"ThreeRoots", [](double x) { return (x - 0.1) * (x - 0.5) * (x - 0.9); }, 0, 1, 0, NAN, 0, 60},
        // A triple root: linear convergence at best, so the bisection bound
        // is what holds.
        Converging{"TripleRoot", [](double x) { return std::pow(x - 1, 3); }, 0, 3, 0, 1.0, 4.5e-16,
                   bisection_bound(0, 3, 2 * DBL_EPSILON)},
        // A jump across zero: the bracket closes on the jump.
        Converging{"Jump", [](double x) { return x < 1.0 / 3 ? -1.0 : 1.0; }, 0, 1, 0.5, 1.0 / 3, 2.5e-16,
                   bisection_bound(0, 1, DBL_EPSILON / 3)},
        // An infinite end counts by its sign.
        Converging{"InfiniteEnd", [](double x) { return x <= 0 ? -kInf : std::log(x); }, -1, 3, 0, 1.0, 4e-16,
                   bisection_bound(-1, 3, 2 * DBL_EPSILON)},
        // The root at an end: one evaluation.
        Converging{"RootAtFirstEnd", [](double x) { return x - 2; }, 2, 5, 0, 2.0, 0, 1}),
    converging_name);

TEST(Nb01, NoSignChangeEndsWithTheBetterEnd) {
  const Outcome r = solve([](double x) { return x * x + 1; }, -1, 2, 0);
  EXPECT_EQ(r.ind, -1);
  EXPECT_EQ(r.xs.size(), 2u);
  EXPECT_EQ(r.x, -1.0);
  EXPECT_EQ(r.y, 2.0);
}

TEST(Nb01, EvaluationLimitGivesTheBestPointSoFar) {
  for (int limit : {2, 5}) {
    const auto f = [](double x) { return std::pow(x - 1, 3); };
    const Outcome r = solve(f, 0, 3, 0, limit);
    EXPECT_EQ(r.ind, -2) << limit;
    ASSERT_EQ(r.xs.size(), static_cast<std::size_t>(limit));
    double best = r.xs[0];
    for (double p : r.xs)
      if (std::fabs(f(p)) < std::fabs(f(best))) best = p;
    EXPECT_EQ(r.x, best);
    EXPECT_EQ(r.y, f(best));
  }
}

TEST(Nb01, InvalidArgumentsAskForNothing) {
  struct Case {
    double a, b, eps;
    int limit;
  } cases[] = {{0, 1, -1e-9, 10}, {0, 1, kNaN, 10}, {0, 1, 0, 1}, {kInf, 1, 0, 10}, {0, kNaN, 0, 10}, {-kInf, 0, 0, 10}};
  for (const Case& c : cases) {
    int ind = 1, limit = c.limit;
    double a = c.a, b = c.b, eps = c.eps, x = 42, y = 43;
    VIZ_NB01AD(&ind, &a, &b, &eps, &x, &y, &limit);
    EXPECT_EQ(ind, -3) << c.a << " " << c.b << " " << c.eps << " " << c.limit;
    EXPECT_EQ(x, 42.0);
    EXPECT_EQ(y, 43.0);
  }
}

TEST(Nb01, OnlyARequestMayBeAnswered) {
  int limit = 50;
  double a = 0, b = 2, eps = 0, x = 0, y = 0;
  for (int flag : {0, 3, -1, 2}) {  // 2 with no live problem
    int ind = flag;
    VIZ_NB01AD(&ind, &a, &b, &eps, &x, &y, &limit);
    EXPECT_EQ(ind, -3) << flag;
  }
  // A finished problem takes no further reply, and a wrong flag in the
  // middle of a problem ends it.
  const Outcome r = solve([](double t) { return t - 1; }, 0, 2, 0);
  ASSERT_EQ(r.ind, 0);
  int ind = 2;
  VIZ_NB01AD(&ind, &a, &b, &eps, &x, &y, &limit);
  EXPECT_EQ(ind, -3);
  ind = 1;
  VIZ_NB01AD(&ind, &a, &b, &eps, &x, &y, &limit);
  ASSERT_EQ(ind, 2);
  ind = 5;
  VIZ_NB01AD(&ind, &a, &b, &eps, &x, &y, &limit);
  EXPECT_EQ(ind, -3);
  ind = 2;
  VIZ_NB01AD(&ind, &a, &b, &eps, &x, &y, &limit);
  EXPECT_EQ(ind, -3);
}

TEST(Nb01, NaNFromTheHostIsReported) {
  for (int at : {1, 2, 4}) {
    int calls = 0;
    const Outcome r = solve([&](double t) { return ++calls == at ? kNaN : t * t - 2; }, 0, 2, 0);
    EXPECT_EQ(r.ind, -4) << at;
    EXPECT_EQ(r.x, r.xs.back());
    EXPECT_TRUE(std::isnan(r.y));
  }
}

}  // namespace
