// DI23ID and DI23AD through the exports, driven as a host drives them.
// Results are checked independently: the host recomputes F at the X
// returned, the sum of squares against the known minimum, and the
// optimality J'F = 0 with the analytic Jacobian.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "nonlinear/di23_driver.hpp"
#include "support/child.hpp"

namespace {

using nls::Controls;
using nls::Problem;
using nls::Result;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const char* const kModes[] = {"Analytic", "Forward", "Central"};

Controls controls_for(int mode) {
  Controls c;
  c.icntl[4] = mode == 0 ? 1 : 0;
  c.icntl[7] = mode == 2 ? 2 : 1;
  return c;
}

int max_row_count(const Problem& p) {
  std::vector<int> count(p.m + 1, 0);
  int most = 0;
  for (int i : p.irn) most = std::max(most, ++count[i]);
  return most;
}

// Largest |(J'F)_j| over ||J_j|| ||F||, with the analytic J at x; the
// column norms scaled by the largest entry, so that a column of entries
// below 1e-154 is not taken for a zero one.  A forward estimate cannot see
// a column whose change over the difference step lies below the rounding
// of F (Bard's and Box's functions far out, where columns fall to 1e-18
// and 1e-45): for an ESTIMATED Jacobian such columns are left out.
double gradient_cosine(const Problem& p, const std::vector<double>& x, bool estimated = false) {
  std::vector<double> f(p.m), aj(p.ne()), g(p.n, 0.0), big(p.n, 0.0), cn(p.n, 0.0);
  p.residuals(x.data(), f.data());
  p.jacobian(x.data(), aj.data());
  for (int k = 0; k < p.ne(); ++k) {
    g[p.jcn[k] - 1] += aj[k] * f[p.irn[k] - 1];
    big[p.jcn[k] - 1] = std::max(big[p.jcn[k] - 1], std::fabs(aj[k]));
  }
  for (int k = 0; k < p.ne(); ++k)
    if (const double b = big[p.jcn[k] - 1]; b > 0) cn[p.jcn[k] - 1] += (aj[k] / b) * (aj[k] / b);
  for (int j = 0; j < p.n; ++j) cn[j] = big[j] * std::sqrt(cn[j]);
  double largest = 0;
  for (double v : p.x0) largest = std::max(largest, std::fabs(v));
  const double eps = std::numeric_limits<double>::epsilon(), fn = std::sqrt(nls::sumsq(f));
  double worst = 0;
  for (int j = 0; j < p.n; ++j) {
    const double typical = p.x0[j] != 0 ? std::fabs(p.x0[j]) : largest > 0 ? largest : 1.0;
    const double step = std::sqrt(eps) * std::max(std::fabs(x[j]), typical);
    if (estimated && cn[j] * step <= eps * fn) continue;
    if (cn[j] > 0 && fn > 0) worst = std::max(worst, std::fabs(g[j]) / (cn[j] * fn));
  }
  return worst;
}

struct Case {
  Problem problem;
  int mode;
  // A heavy case (seconds) runs only with TBL_NLS_HEAVY set, and its
  // problem is built only then: PROBLEM holds its name alone, as every test
  // process builds the whole table.
  std::function<Problem()> heavy;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.problem.name << kModes[c.mode]; }

// The published test set at its standard starts (the classic problems
// among them), larger sparse problems, and Bard, Rosenbrock and Powell's
// singular function with variables 1e-100 and 1e+100 times the published
// ones: the difference steps must follow the sizes of the variables.
std::vector<Case> solvable_cases() {
  std::vector<Case> cases;
  auto problems = nls::published_set();
  for (const Problem& p : {nls::extended_rosenbrock(1000), nls::boundary_value(1000), nls::broyden_banded(500),
                           nls::boundary_value(10000)})
    problems.push_back(p);
  for (const auto& [scale, tag] : {std::pair{1e-100, "Scaled1eMinus100"}, {1e+100, "Scaled1ePlus100"}})
    for (const Problem& p : {nls::bard(), nls::rosenbrock(), nls::powell_singular()})
      problems.push_back(nls::scaled(p, scale, tag));
  for (const Problem& p : problems)
    for (int mode = 0; mode < 3; ++mode) cases.push_back({p, mode, {}});
  // Its lowest eigenvalues lie at the rounding level of the assembled J'J.
  Problem heavy;
  heavy.name = "BoundaryValue100000";
  for (int mode = 0; mode < 3; ++mode) cases.push_back({heavy, mode, [] { return nls::boundary_value(100000); }});
  return cases;
}

class Di23Solves : public ::testing::TestWithParam<Case> {};

TEST_P(Di23Solves, ReachesTheKnownMinimum) {
  const Case& c = GetParam();
  if (c.heavy && std::getenv("TBL_NLS_HEAVY") == nullptr) {
    GTEST_SKIP() << "heavy case, run only with TBL_NLS_HEAVY set";
  }
  const Problem built = c.heavy ? c.heavy() : Problem{};
  const Problem& p = c.heavy ? built : c.problem;
  const int mode = c.mode;
  const Result r = nls::solve(p, controls_for(mode));
  ASSERT_EQ(r.ireq, 3) << "INFO(1..3) " << r.info[0] << " " << r.info[1] << " " << r.info[2];
  EXPECT_EQ(r.info[0], 0);
  EXPECT_GE(r.info[1], 1);
  EXPECT_LE(r.info[1], 4);

  // F and FNORM describe the X returned.
  std::vector<double> f(p.m);
  p.residuals(r.x.data(), f.data());
  EXPECT_EQ(f, r.f);
  EXPECT_NEAR(r.fnorm, std::sqrt(nls::sumsq(f)), 1e-15 * (1 + r.fnorm));
  EXPECT_EQ(r.rinfo[0], r.fnorm);

  const double ss = r.fnorm * r.fnorm;
  if (p.min_sumsq == 0) {
    EXPECT_LT(ss, 1e-10) << ss;
  } else {
    // The relative reduction test ends the minimum of BrownDennis, flat
    // and ill-conditioned, about 2e-7 above it.
    const double rtol = p.name == "BrownDennis" ? 1e-6 : 1e-8;
    EXPECT_NEAR(ss, p.min_sumsq, rtol * p.min_sumsq);
    EXPECT_LT(gradient_cosine(p, r.x), std::sqrt(rtol));
  }

  // The counters match what the host was asked for.
  EXPECT_EQ(r.nfev, r.residual_calls);
  EXPECT_EQ(r.njev, mode == 0 ? r.jacobian_calls : r.njev);
  EXPECT_GE(r.niter, 1);
  if (mode == 0) {
    EXPECT_EQ(r.info[4], 0);
  } else {
    // Banded and block patterns reach the lower bound; a dense one has
    // one group per column.
    EXPECT_EQ(r.info[4], max_row_count(p));
    EXPECT_EQ(r.jacobian_calls, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Di23, Di23Solves, ::testing::ValuesIn(solvable_cases()),
                         [](const ::testing::TestParamInfo<Case>& i) {
                           return i.param.problem.name + kModes[i.param.mode];
                         });

// Hard starts and hosts whose Jacobian does not match the residuals: each
// run ends at a minimum with success, or with a failure status at the best
// point found; never with success where the true gradient is not small.
struct Ending {
  const char* name;
  Problem problem;
  int mode;
  int ireq, info2;  // INFO(2) checked when ireq < 0
  bool host_scaling = false;
};
void PrintTo(const Ending& e, std::ostream* os) { *os << e.name; }

// f = x + 1 answered with the slope -1: every step raises |f|, from x = 0
// until the damping is as large as the arithmetic allows.
Problem wrong_slope_line() {
  Problem p{"WrongSlopeLine", 1, 1, {1}, {1}, {}, {}, {0.0}, 0.0};
  p.residuals = [](const double* x, double* f) { f[0] = x[0] + 1; };
  p.jacobian = [](const double*, double* aj) { aj[0] = -1; };
  return p;
}

// Rosenbrock with its Jacobian multiplied by FACTOR.  Turned in sign, the
// steps shrink below rounding level; far too large, the first step is
// already short (by the step test) yet reduces ||F|| by almost nothing.
Problem rosenbrock_jacobian_times(double factor) {
  Problem p = nls::rosenbrock();
  const auto jac = p.jacobian;
  p.jacobian = [jac, factor](const double* x, double* aj) {
    jac(x, aj);
    for (int k = 0; k < 3; ++k) aj[k] *= factor;
  };
  return p;
}

std::vector<Ending> endings() {
  // Chebyquad from ten times its usual start: every early step is rejected
  // while the damping grows; the automatic scaling, never decreasing, then
  // keeps the progress slow until a limit.
  Problem far = nls::chebyquad(8, 10);
  return {{"Chebyquad8FarAnalytic", far, 0, -6, 1000},
          {"Chebyquad8FarForward", far, 1, -6, 1000},
          {"Chebyquad8FarCentral", far, 2, -5, 10000},
          // X(1) goes to about -4e-55: its difference step must not follow it.
          {"Watson6Analytic", nls::watson(6), 0, 3, 0},
          {"Watson6Forward", nls::watson(6), 1, 3, 0},
          {"Watson6Central", nls::watson(6), 2, 3, 0},
          {"Watson6ForwardHostScaling", nls::watson(6), 1, 3, 0, true},
          {"WrongSignRosenbrock", rosenbrock_jacobian_times(-1), 0, -10, 2},
          {"JacobianTooLargeRosenbrock", rosenbrock_jacobian_times(1e9), 0, -10, 2},
          {"WrongSlopeLine", wrong_slope_line(), 0, -10, 1}};
}

class Di23Ends : public ::testing::TestWithParam<Ending> {};

TEST_P(Di23Ends, AtAMinimumOrWithAFailureAtTheBestPoint) {
  const Ending& e = GetParam();
  const Problem& p = e.problem;
  Controls c = controls_for(e.mode);
  std::vector<double> d(p.n, 1.0);
  if (e.host_scaling) c.icntl[8] = 1;
  const Result r = nls::solve(p, c, {}, e.host_scaling ? &d : nullptr);
  ASSERT_EQ(r.ireq, e.ireq) << "INFO(2) " << r.info[1] << " ||F||^2 " << r.fnorm * r.fnorm;
  EXPECT_EQ(r.info[0], e.ireq == 3 ? 0 : e.ireq);
  EXPECT_EQ(r.nfev, r.residual_calls);

  // X, F and FNORM describe one point.
  std::vector<double> f(p.m), f0(p.m);
  p.residuals(r.x.data(), f.data());
  p.residuals(p.x0.data(), f0.data());
  EXPECT_EQ(f, r.f);
  EXPECT_NEAR(r.fnorm, std::sqrt(nls::sumsq(f)), 1e-15 * (1 + r.fnorm));

  const double ss = r.fnorm * r.fnorm, cosine = gradient_cosine(p, r.x);
  if (e.ireq == 3) {
    EXPECT_NEAR(ss, p.min_sumsq, 1e-8 * p.min_sumsq);
    EXPECT_LT(cosine, 1e-4);
  } else {
    EXPECT_EQ(r.info[1], e.info2);
    EXPECT_LE(r.fnorm, std::sqrt(nls::sumsq(f0)));
    EXPECT_GT(cosine, 1e-2);  // the failure is honest
  }
}

INSTANTIATE_TEST_SUITE_P(Di23, Di23Ends, ::testing::ValuesIn(endings()),
                         [](const ::testing::TestParamInfo<Ending>& i) { return std::string(i.param.name); });

// The published set from its standard start and from 10 and 100 times it,
// with the host's Jacobian and the forward estimate, and problems whose
// automatic scaling meets a column that is zero at the start: Beale's
// function (its first column vanishes at y2 = 1) and the rank-1 problem
// with zero columns, their variables 1e+6 or 1e+100 times the published
// ones.  Every run ends with a failure status, with ||F|| <= CNTL(1), or
// where the scaled gradient at the X returned, measured with the exact
// Jacobian, passes the level that test 2 sets; and the runs that reach the
// known minimum (or a zero) keep doing so.
struct FarStart {
  Problem problem;
  int factor;  // the start is FACTOR x0
  int mode;
  bool reaches;  // ends at the known minimum, or at a zero of F
  std::string name;
};
void PrintTo(const FarStart& c, std::ostream* os) { *os << c.name; }

std::vector<FarStart> far_starts() {
  // Runs that end elsewhere: at another local minimum or one at infinity,
  // or with a failure (a start where J'J overflows or underflows, a limit
  // reached on a slow approach).  The suffix is the Jacobian: Analytic, Forward or both.
  const std::map<std::string, const char*> elsewhere = {
      {"PowellBadlyScaled100", ""}, {"Beale10", ""},          {"Beale100", ""},         {"JennrichSampson10", ""},
      {"JennrichSampson100", ""},   {"Bard10", ""},           {"Bard100", ""},          {"Gaussian100", "Forward"},
      {"Meyer10", ""},              {"Meyer100", ""},         {"Gulf100", ""},          {"Box3D10", ""},
      {"Box3D100", ""},             {"PowellSingular100", "Forward"},                   {"BrownDennis1", ""},
      {"Osborne1_100", ""},         {"BiggsExp6_100", ""},    {"Osborne2_10", ""},      {"Osborne2_100", ""},
      {"ExtendedPowellSingular12_100", "Forward"},          {"Trigonometric10_10", ""}, {"Trigonometric10_100", ""},
      {"Chebyquad8_10", ""},        {"Chebyquad8_100", ""},   {"RosenbrockScaled1ePlus170_1", ""}};
  std::vector<FarStart> cases;
  auto add = [&](const Problem& p, int factor) {
    const bool digit = std::isdigit(static_cast<unsigned char>(p.name.back())) != 0;
    const std::string key = p.name + (digit ? "_" : "") + std::to_string(factor);
    for (int mode = 0; mode < 2; ++mode) {
      const auto it = elsewhere.find(key);
      const bool reaches = it == elsewhere.end() || (*it->second != 0 && it->second != std::string(kModes[mode]));
      cases.push_back({p, factor, mode, reaches, key + "x0" + kModes[mode]});
    }
  };
  for (const Problem& p : nls::published_set())
    for (int factor : {1, 10, 100}) add(p, factor);
  for (const auto& [scale, tag] : {std::pair{1e+6, "Scaled1ePlus6"}, {1e+100, "Scaled1ePlus100"}})
    add(nls::scaled(nls::beale(), scale, tag), 1);
  add(nls::scaled(nls::linear_rank1_zero_rows(), 1e+100, "Scaled1ePlus100"), 1);
  // Columns of 1e-170, whose squares underflow: no column is zero, though
  // J'J is.
  add(nls::scaled(nls::rosenbrock(), 1e+170, "Scaled1ePlus170"), 1);
  return cases;
}

class Di23FarStarts : public ::testing::TestWithParam<FarStart> {};

TEST_P(Di23FarStarts, EndAtAStationaryPointOrWithAFailure) {
  const FarStart& c = GetParam();
  Problem p = c.problem;
  for (double& v : p.x0) v *= c.factor;
  const Controls ctl = controls_for(c.mode);
  const Result r = nls::solve(p, ctl);
  ASSERT_TRUE(r.ireq == 3 || r.ireq == -5 || r.ireq == -6 || r.ireq == -9 || r.ireq == -10) << r.ireq;
  std::vector<double> f(p.m), f0(p.m);
  p.residuals(r.x.data(), f.data());
  p.residuals(p.x0.data(), f0.data());
  EXPECT_EQ(f, r.f);
  EXPECT_LE(nls::sumsq(f), nls::sumsq(f0));
  const double ss = r.fnorm * r.fnorm;
  if (r.ireq == 3 && r.info[1] == 1) {
    EXPECT_LE(r.fnorm, ctl.cntl[0]);
  } else if (r.ireq == 3) {
    EXPECT_LE(gradient_cosine(p, r.x, c.mode != 0), std::sqrt(ctl.cntl[1]))
        << "test " << r.info[1] << " at ||F||^2 " << ss;
  }
  if (c.reaches) {
    EXPECT_EQ(r.ireq, 3) << "INFO(2) " << r.info[1];
    if (p.min_sumsq == 0 || ss < 1e-10)
      EXPECT_LT(ss, 1e-10);
    else
      EXPECT_NEAR(ss, p.min_sumsq, 1e-8 * p.min_sumsq);
  }
}

INSTANTIATE_TEST_SUITE_P(Di23, Di23FarStarts, ::testing::ValuesIn(far_starts()),
                         [](const ::testing::TestParamInfo<FarStart>& i) { return i.param.name; });

// A start refused: the code and its details, and nothing written but the
// request flag, INFO, RINFO and the counters.
struct Refusal {
  const char* name;
  std::function<void(Problem&, Controls&, std::vector<double>& d)> change;
  int code, info2, info3;
};
void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class Di23Refuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(Di23Refuses, TheStartAndWritesNothing) {
  Problem p = nls::helical_valley();
  Controls c;
  std::vector<double> d(p.n, 1.0);
  int32_t liw = 0, lw = 0;
  nls::needs(p, c, liw, lw);
  const Refusal& r = GetParam();
  r.change(p, c, d);
  nls::Session s(p, c, liw - (r.code == -3), lw - (r.code == -4), -5.0);
  s.d = d;
  const auto x0 = s.x;
  s.call();
  EXPECT_EQ(s.ireq, r.code);
  EXPECT_EQ(s.info[0], r.code);
  if (r.code == -3 || r.code == -4) {
    EXPECT_EQ(s.info[1], r.code == -3 ? liw : lw);
    EXPECT_EQ(s.info[2], r.code == -3 ? lw : liw);
    EXPECT_EQ(s.info[13], liw);
  } else {
    EXPECT_EQ(s.info[1], r.info2);
    EXPECT_EQ(s.info[2], r.info3);
  }
  EXPECT_EQ(s.nfev + s.njev + s.niter, 0);
  EXPECT_EQ(0, std::memcmp(s.x.data(), x0.data(), x0.size() * sizeof(double)));  // NaN included
  for (const auto* v : {&s.f, &s.xt, &s.w})
    for (double e : *v) EXPECT_EQ(e, -5.0);
  for (int32_t e : s.iw) EXPECT_EQ(e, -5);
}

INSTANTIATE_TEST_SUITE_P(
    Di23, Di23Refuses,
    ::testing::Values(
        Refusal{"NoResiduals", [](Problem& p, Controls&, auto&) { p.m = 0; }, -1, 0, 0},
        Refusal{"NoVariables", [](Problem& p, Controls&, auto&) { p.n = 0; }, -1, 0, 0},
        Refusal{"NoEntries", [](Problem& p, Controls&, auto&) { p.irn.clear(); p.jcn.clear(); }, -1, 0, 0},
        Refusal{"RowOutOfRange", [](Problem& p, Controls&, auto&) { p.irn[4] = 4; }, -2, 5, 0},
        Refusal{"ColumnOutOfRange", [](Problem& p, Controls&, auto&) { p.jcn[5] = 0; }, -2, 6, 0},
        // (1,2) repeats entry 3; the out-of-range entry 6 comes later.
        Refusal{"RepeatedEntry", [](Problem& p, Controls&, auto&) { p.irn[3] = 1; p.irn[5] = 9; }, -2, 4, 0},
        Refusal{"JacobianSource", [](Problem&, Controls& c, auto&) { c.icntl[4] = 2; }, -8, 5, 1},
        Refusal{"EvaluationLimit", [](Problem&, Controls& c, auto&) { c.icntl[5] = 0; }, -8, 6, 1},
        Refusal{"IterationLimit", [](Problem&, Controls& c, auto&) { c.icntl[6] = -1; }, -8, 7, 1},
        Refusal{"DifferenceFormula", [](Problem&, Controls& c, auto&) { c.icntl[7] = 3; }, -8, 8, 1},
        Refusal{"ScalingChoice", [](Problem&, Controls& c, auto&) { c.icntl[8] = -1; }, -8, 9, 1},
        Refusal{"NegativeTolerance", [](Problem&, Controls& c, auto&) { c.cntl[2] = -1e-9; }, -8, 3, 2},
        Refusal{"NaNDamping", [](Problem&, Controls& c, auto&) { c.cntl[4] = kNaN; }, -8, 5, 2},
        Refusal{"InfiniteStep", [](Problem&, Controls& c, auto&) { c.cntld[0] = INFINITY; }, -8, 1, 3},
        Refusal{"GivenPivotOrder", [](Problem&, Controls& c, auto&) { c.icntlm[5] = 1; }, -8, 6, 4},
        Refusal{"ThresholdPivoting", [](Problem&, Controls& c, auto&) { c.icntlm[6] = 1; }, -8, 7, 4},
        Refusal{"NaNZeroPivot", [](Problem&, Controls& c, auto&) { c.cntlm[1] = kNaN; }, -8, 2, 5},
        Refusal{"ZeroScale", [](Problem&, Controls& c, auto& d) { c.icntl[8] = 1; d[2] = 0; }, -8, 3, 6},
        Refusal{"ShortLIW", [](Problem&, Controls&, auto&) {}, -3, 0, 0},
        Refusal{"ShortLW", [](Problem&, Controls&, auto&) {}, -4, 0, 0},
        Refusal{"NaNStart", [](Problem& p, Controls&, auto&) { p.x0[1] = kNaN; }, -7, 2, 1}),
    [](const ::testing::TestParamInfo<Refusal>& i) { return std::string(i.param.name); });

TEST(Di23, ReportedLengthsAreExactAndARetrySucceeds) {
  const Problem p = nls::boundary_value(50);
  Controls c;
  int32_t liw = 0, lw = 0;
  nls::needs(p, c, liw, lw);
  EXPECT_EQ(nls::solve(p, c, {}, nullptr, liw - 1, lw).ireq, -3);
  EXPECT_EQ(nls::solve(p, c, {}, nullptr, liw, lw - 1).ireq, -4);
  const Result r = nls::solve(p, c, {}, nullptr, liw, lw);
  EXPECT_EQ(r.ireq, 3);
  // The documented formulas with the counts the call reports.
  const int64_t n = p.n, m = p.m, ne = p.ne(), nejtj = r.info[3], lfact = r.info[7], lifact = r.info[8];
  EXPECT_EQ(liw, 13 * n + m + 5 * ne + 3 * nejtj + lifact + 86);
  EXPECT_EQ(lw, 8 * n + 3 * m + 2 * ne + nejtj + lfact + 20);
  EXPECT_EQ(nejtj, 2 * n - 1 + n - 2);  // pentadiagonal lower triangle

  // Sizes whose lengths cannot fit 32 bits are refused from M, N and NE
  // alone, without storage sized by them.
  for (const auto& [big_m, big_n] : {std::pair{INT32_MAX, 1}, {1, INT32_MAX / 9}, {INT32_MAX, INT32_MAX}}) {
    int32_t mm = big_m, nn = big_n, one = 1, zero = 0, ireq = 0, info[20], iw[1], nfev, njev, niter;
    double x[1] = {0}, f[1], d[1], aj[1], xt[1], ft[1], w[1], rinfo[20], fnorm;
    VIZ_DI23AD(&mm, &nn, &one, &one, &one, x, f, d, c.icntl, c.cntl, c.cntld, c.icntlm, c.cntlm, iw, &zero, w, &zero,
               aj, xt, &ireq, ft, info, rinfo, &nfev, &njev, &niter, &fnorm);
    EXPECT_EQ(ireq, -3) << big_m << " " << big_n;
    EXPECT_EQ(info[1], INT32_MAX);
    EXPECT_EQ(info[2], INT32_MAX);
  }
}

TEST(Di23, LimitsEndWithTheBestPointSoFar) {
  const Problem p = nls::rosenbrock();
  std::vector<double> f0(2);
  p.residuals(p.x0.data(), f0.data());
  for (int limit : {1, 2, 5, 9}) {  // 2 and 5 stop inside a difference estimate
    Controls c;
    c.icntl[5] = limit;
    const Result r = nls::solve(p, c);
    EXPECT_EQ(r.ireq, -5);
    EXPECT_EQ(r.info[1], limit);
    EXPECT_EQ(r.nfev, limit);
    std::vector<double> f(2);
    p.residuals(r.x.data(), f.data());
    EXPECT_EQ(f, r.f) << limit;
    EXPECT_LE(r.fnorm, std::sqrt(nls::sumsq(f0)));
    EXPECT_EQ(r.fnorm, std::sqrt(nls::sumsq(f)));
  }
  Controls c;
  c.icntl[6] = 3;
  const Result r = nls::solve(p, c);
  EXPECT_EQ(r.ireq, -6);
  EXPECT_EQ(r.niter, 3);
  std::vector<double> f(2);
  p.residuals(r.x.data(), f.data());
  EXPECT_EQ(f, r.f);
}

// Host answers that are not finite: at the start they stop the problem,
// later they reject the point and the solve still succeeds; Jacobians that
// stay non-finite (the host's, or estimated from residuals that are not
// finite off the trial points) end it with -12 at the last point whose
// Jacobian was finite, the damping having doubled its growth with each
// rejection in a row.
TEST(Di23, NonFiniteAnswersStopTheStartAndRejectLaterPoints) {
  const Problem p = nls::helical_valley();
  const double inf = INFINITY;
  struct Case {
    const char* name;
    int mode, bad_residual_call, bad_jacobian_call;
    bool onwards;  // every later Jacobian, or residual off a trial point
    int code, info2, info3;
    double bad;
  } cases[] = {{"residual at start", 0, 1, 0, false, -7, 2, 2, kNaN},
               {"Jacobian at start", 0, 0, 1, false, -7, 4, 3, kNaN},
               // Residual 2 infinite when column 1 is shifted: entry 2, (2,1).
               {"estimate at start", 1, 2, 0, false, -7, 2, 3, inf},
               {"residual later", 0, 3, 0, false, 3, 0, 0, kNaN},
               {"Jacobian later", 0, 0, 2, false, 3, 0, 0, -inf},
               {"estimate later", 1, 6, 0, false, 3, 0, 0, kNaN},
               {"Jacobian +Inf onwards", 0, 0, 2, true, -12, 4, 0, inf},
               {"Jacobian NaN onwards", 0, 0, 2, true, -12, 4, 0, kNaN},
               {"Jacobian -Inf onwards", 0, 0, 2, true, -12, 4, 0, -inf},
               // From the first trial point on, the residuals off the
               // trial points (3 groups, 6 evaluations centrally).
               {"estimate NaN onwards", 1, 4, 0, true, -12, 2, 0, kNaN},
               {"estimate +Inf onwards", 2, 7, 0, true, -12, 2, 0, inf}};
  for (const auto& k : cases) {
    int32_t liw = 0, lw = 0;
    const Controls c = controls_for(k.mode);
    nls::needs(p, c, liw, lw);
    nls::Session s(p, c, liw, lw);
    std::vector<double> f0(p.m);
    p.residuals(p.x0.data(), f0.data());
    // The answer to request CALL of its kind is spoiled: the one named, or
    // with ONWARDS every later one (of the residuals, those off the trial
    // points, which the host sees by NITER).
    auto spoiled = [&k](int call, int first, bool trial) {
      return call == first || (k.onwards && first > 0 && call > first && !trial);
    };
    int rc = 0, jc = 0;
    for (int32_t trials = 0; s.call() == 1 || s.ireq == 2; trials = s.niter) {
      if (s.ireq == 1) {
        p.residuals(s.xt.data(), s.ft.data());
        if (spoiled(++rc, k.bad_residual_call, s.niter != trials)) s.ft[1] = k.bad;
      } else {
        p.jacobian(s.xt.data(), s.aj.data());
        if (spoiled(++jc, k.bad_jacobian_call, false)) s.aj[3] = k.bad;
      }
    }
    EXPECT_EQ(s.ireq, k.code) << k.name;
    EXPECT_EQ(s.info[0], k.code == 3 ? 0 : k.code) << k.name;
    if (k.code == -7) {
      EXPECT_EQ(s.info[2], k.info3) << k.name;
      EXPECT_EQ(s.info[1], k.info2) << k.name;
    } else if (k.code == 3) {
      EXPECT_GE(s.info[12], 1) << k.name;
      EXPECT_LT(s.fnorm, 1e-10) << k.name;
      for (double v : s.x) EXPECT_TRUE(std::isfinite(v)) << k.name;
    } else {
      // The entry in the host's numbering, the run, and the best point.
      EXPECT_EQ(s.info[1], k.info2) << k.name;
      EXPECT_GE(s.info[2], 1) << k.name;
      EXPECT_LE(s.info[2], 10) << k.name;
      EXPECT_LE(s.info[12], s.info[11]) << k.name;
      std::vector<double> f(p.m);
      p.residuals(s.x.data(), f.data());
      EXPECT_EQ(f, s.f) << k.name;
      EXPECT_EQ(s.fnorm, std::sqrt(nls::sumsq(f))) << k.name;
      EXPECT_LE(s.fnorm, std::sqrt(nls::sumsq(f0))) << k.name;
      // The run began after the start's Jacobian, so every rejection was
      // one in a row: the first damping, CNTL(5) times the largest scaled
      // diagonal of J'J (1 with the automatic scaling), grew by 2, 4, 8, ...
      // (a tenth Jacobian in the run ends the problem instead).
      const int r = s.info[11] - (s.info[2] == 10 ? 1 : 0);
      EXPECT_NEAR(s.rinfo[2], c.cntl[4] * std::ldexp(1.0, r * (r + 1) / 2), 1e-12 * s.rinfo[2]) << k.name;
    }
  }
}

TEST(Di23, FactorisationThatKeepsFailingEndsAfterTenDoublings) {
  Controls c;
  c.cntlm[1] = 1e300;  // every pivot counts as zero
  const Result r = nls::solve(nls::rosenbrock(), c);
  EXPECT_EQ(r.ireq, -9);
  EXPECT_EQ(r.info[10], 10);
  EXPECT_EQ(r.info[9], 11);
  EXPECT_EQ(r.info[2], -5);  // the solver's zero-pivot status
  EXPECT_EQ(r.x, nls::rosenbrock().x0);

  // J'J that overflows: an infinite column norm proves no convergence.
  nls::Host huge;
  huge.jacobian = [](const double* x, double* aj) {
    nls::rosenbrock().jacobian(x, aj);
    aj[1] = 1e200;
  };
  const Result h = nls::solve(nls::rosenbrock(), controls_for(0), huge);
  EXPECT_EQ(h.ireq, -9);
  EXPECT_EQ(h.info[9], 0);  // never given to the factorisation
}

TEST(Di23, NoDampingStillFactorisesASingularNormalMatrix) {
  // Columns 1 and 5 are empty: J'J has zero diagonal entries, and doubling
  // a zero damping would never change it.
  Controls c = controls_for(0);
  c.cntl[4] = 0;
  const Problem p = nls::linear_rank1_zero_rows();
  const Result r = nls::solve(p, c);
  EXPECT_EQ(r.ireq, 3);
  EXPECT_GE(r.info[10], 1);
  EXPECT_NEAR(r.fnorm * r.fnorm, p.min_sumsq, 1e-8 * p.min_sumsq);
}

TEST(Di23, ARequestThatDoesNotContinueTheProblemIsRefused) {
  const Problem p = nls::rosenbrock();
  Controls c;
  int32_t liw = 0, lw = 0;
  nls::needs(p, c, liw, lw);
  for (int variant = 0; variant < 4; ++variant) {
    nls::Session s(p, c, liw, lw);
    ASSERT_EQ(s.call(), 1);
    if (variant == 0) s.ireq = 2;    // a Jacobian that was not asked for
    if (variant == 1) s.m = 3;       // another problem's size
    if (variant == 2) s.iw[0] = 0;   // a workspace that holds no problem
    if (variant == 3) s.ireq = 3;    // a finished problem called again
    EXPECT_EQ(s.call(), -8) << variant;
    EXPECT_EQ(s.info[2], 0);
  }
}

// Six residuals in four variables with seventeen entries, linear with a
// small square term: F_i = i/2 + sum over the entries k of row i of
// (1 + k/10) x_j + x_j^2/20 (k from 0 in the order of the pattern).
Problem damage_problem() {
  Problem p{"Damage", 6, 4, {1, 2, 6, 4, 4, 5, 1, 5, 3, 5, 6, 6, 6, 1, 2, 1, 5},
            {1, 2, 1, 4, 2, 3, 4, 1, 3, 4, 2, 3, 4, 2, 1, 3, 2}, {}, {}, {-4, -3.5, -3, -2.5}, 0};
  p.residuals = [irn = p.irn, jcn = p.jcn](const double* x, double* f) {
    for (int i = 0; i < 6; ++i) f[i] = 0.5 * (i + 1);
    for (std::size_t k = 0; k < irn.size(); ++k) {
      const double xj = x[jcn[k] - 1];
      f[irn[k] - 1] += (1 + 0.1 * k) * xj + 0.05 * xj * xj;
    }
  };
  p.jacobian = [jcn = p.jcn](const double* x, double* aj) {
    for (std::size_t k = 0; k < jcn.size(); ++k) aj[k] = 1 + 0.1 * k + 0.1 * x[jcn[k] - 1];
  };
  return p;
}

// A host that changes one word of IW after the first request, every word
// and values in and around the valid ranges, gets a status and never an
// access outside its arrays (each exactly as long as documented, so the
// sanitizer build sees any).  The words the coming calls would follow out
// of range end the problem with -11 and their position.
TEST(Di23, AWordOfIWChangedBetweenCallsEndsWithAStatus) {
  const Problem p = damage_problem();
  Controls c;
  c.icntl[0] = c.icntl[1] = c.icntl[2] = 0;
  for (int k = 0; k < 4; ++k) c.icntlm[k] = -1;
  c.icntl[5] = 200;
  c.icntl[6] = 50;
  int32_t liw = 0, lw = 0;
  nls::needs(p, c, liw, lw);
  ASSERT_EQ(liw, 282);
  ASSERT_EQ(lw, 154);
  // The word is changed once the host has answered request AFTER (the
  // sixth is the first trial point, after the start and the four groups of
  // the estimate); a host that answers it with a residual that is not
  // finite has it rejected.  The Jacobian is estimated: AJ, not referenced,
  // has one entry, and a request for it is answered by calling back (or
  // with FLAG, a request flag changed too).
  auto run = [&](int word, int32_t value, const Controls& ctl, int after = 1, bool reject = false,
                 int32_t flag = 0) {
    nls::Session s(p, ctl, liw, lw);
    s.aj = std::vector<double>(1);
    for (int calls = 1; calls < 1000 && (s.call() == 1 || s.ireq == 2); ++calls) {
      if (s.ireq == 1) p.residuals(s.xt.data(), s.ft.data());
      if (calls == after) {
        s.iw[word - 1] = value;
        if (reject) s.ft[0] = kNaN;
        if (flag) s.ireq = flag;
      }
    }
    return s;
  };
  const int32_t values[] = {0, -1, 1, 5, 1000000, INT32_MIN, INT32_MAX};
  std::map<std::pair<int, int32_t>, std::pair<int32_t, int32_t>> ends;
  for (int word = 2; word <= liw; ++word)
    for (int32_t value : values) {
      const nls::Session s = run(word, value, c);
      EXPECT_TRUE(s.ireq == 3 || s.ireq < 0) << "IW(" << word << ") = " << value << ": IREQ " << s.ireq;
      if (s.ireq == -11) {
        EXPECT_TRUE(s.info[1] >= 2 && s.info[1] <= liw) << word;
      }
      ends[{word, value}] = {s.ireq, s.info[1]};
    }
  auto end = [&](int word, int32_t value) { return ends[{word, value}]; };
  // The column groups ahead of a difference estimate, J'J and J by rows
  // ahead of the assembly of J'J, the pivot order (the first word of the
  // analysis) ahead of the factorisation.
  for (const auto& [word, value] : {std::pair{153, 0}, {138, 0}, {133, -1}, {162, 5}})
    EXPECT_EQ(end(word, value), std::pair(-11, word)) << "IW(" << word << ") = " << value;
  // The step after a rejected trial point is the first use in its call of
  // J by columns and of the analysis (a change anywhere in the analysis is
  // reported at its first word).
  for (const auto& [word, value, at] : {std::tuple{42, 0, 42}, {46, 7, 46}, {215, 3, 162}}) {
    const nls::Session s = run(word, value, c, 6, true);
    EXPECT_EQ(std::pair(s.ireq, s.info[1]), std::pair(-11, at)) << "IW(" << word << ") = " << value;
  }
  // A heading word out of its range is named itself; a phase that says the
  // problem has ended continues nothing.
  EXPECT_EQ(end(2, 5), std::pair(-11, 2));
  EXPECT_EQ(end(2, 0).first, -8);
  EXPECT_EQ(end(15, 5), std::pair(-11, 15));
  // The run of Jacobians that are not finite and the entry it reports.
  for (int word : {35, 36}) EXPECT_EQ(end(word, -1), std::pair(-11, word));
  // A call that estimates the Jacobian neither asks the host for one nor
  // reads AJ, whatever the source and the phase kept in IW say.
  EXPECT_EQ(end(12, 1), std::pair(-11, 12));
  const nls::Session host_phase = run(2, 2, c, 1, false, 2);
  EXPECT_EQ(std::pair(host_phase.ireq, host_phase.info[1]), std::pair(-11, 2));

  const auto out = tbl::test::run_in_child([&] {
    Controls loud = c;
    loud.icntl[0] = 6;
    loud.icntl[3] = 1;
    nls::Session s = run(162, 5, loud);
    // The problem has ended: a further call continues nothing.
    s.ireq = 1;
    s.call();
    std::printf("%d %d\n", s.ireq, s.info[0]);
    std::fflush(stdout);
    std::_Exit(0);
  });
  EXPECT_EQ(out.out,
            "\n *** Error return from DI23AD ***  IREQ =-11\n"
            " Workspace changed between calls: IW(       162) is not as DI23AD left it\n"
            "\n *** Error return from DI23AD ***  IREQ = -8\n"
            " IREQ =          1 does not continue the problem held in IW\n"
            "-8 -8\n");
}

TEST(Di23, ProblemsKeepTheirStateInTheirOwnWorkspace) {
  // Two problems driven in turn, call for call, end as each alone does.
  std::vector<nls::Session> runs;
  std::vector<Result> alone;
  for (const Problem& p : {nls::bard(), nls::box3d()}) {
    int32_t liw = 0, lw = 0;
    nls::needs(p, Controls(), liw, lw);
    runs.emplace_back(p, Controls(), liw, lw);
    alone.push_back(nls::solve(p, Controls()));
  }
  for (bool more = true; more;) {
    more = false;
    for (auto& s : runs) {
      if (s.ireq != 0 && s.ireq != 1) continue;
      if (s.ireq == 1) s.p.residuals(s.xt.data(), s.ft.data());
      more = s.call() == 1 || more;
    }
  }
  for (std::size_t k = 0; k < runs.size(); ++k) {
    EXPECT_EQ(runs[k].ireq, 3);
    EXPECT_EQ(runs[k].x, alone[k].x);
    EXPECT_EQ(runs[k].nfev, alone[k].nfev);
  }
}

TEST(Di23, TheHostsScalingIsUsed) {
  const Problem p = nls::brown_badly_scaled();
  Controls c;
  c.icntl[8] = 1;
  std::vector<double> d = {1, 1e6};  // the column norms near the solution
  const Result r = nls::solve(p, c, {}, &d);
  EXPECT_EQ(r.ireq, 3);
  EXPECT_LT(r.fnorm, 1e-5);
  EXPECT_EQ(d, (std::vector<double>{1, 1e6}));

  // The difference steps follow the typical sizes 1/D: Watson's function in
  // variables 1e-100 times the published ones, from 0, where the automatic
  // scaling has no size to follow.
  const Problem tiny = nls::scaled(nls::watson(6), 1e-100, "Tiny");
  std::vector<double> dt(tiny.n, 1e100);
  const Result rt = nls::solve(tiny, c, {}, &dt);
  EXPECT_EQ(rt.ireq, 3);
  EXPECT_NEAR(rt.fnorm * rt.fnorm, tiny.min_sumsq, 1e-8 * tiny.min_sumsq);
}

TEST(Di23, MessagesFollowThePrintLevel) {
  using tbl::test::run_in_child;
  const auto out = run_in_child([] {
    Controls c;
    c.icntl[3] = 3;
    const Result r = nls::solve(nls::rosenbrock(), c);
    std::printf("host saw NITER %d\n", r.niter);
    std::fflush(stdout);
    std::_Exit(0);
  });
  // The refused first call of the driver, the header, the start line, one
  // line per iteration and the end.
  EXPECT_NE(out.out.find(" *** Error return from DI23AD ***  IREQ = -3\n LIW =          0 is less than        150\n"),
            std::string::npos)
      << out.out;
  int iterations = 0, niter = -1;
  std::size_t pos = 0;
  while ((pos = out.out.find("  accepted\n", pos)) != std::string::npos) ++iterations, ++pos;
  pos = 0;
  while ((pos = out.out.find("  rejected\n", pos)) != std::string::npos) ++iterations, ++pos;
  std::sscanf(out.out.c_str() + out.out.find("host saw NITER "), "host saw NITER %d", &niter);
  EXPECT_EQ(iterations, niter);
  EXPECT_NE(out.out.find("   ITER    NFEV        ||F||      DAMPING     GRADIENT         STEP\n"), std::string::npos);
  EXPECT_NE(out.out.find(" DI23AD ends: IREQ =  3  test"), std::string::npos);

  const auto quiet = run_in_child([] {
    Controls c;
    c.icntl[3] = 1;  // errors only
    nls::solve(nls::rosenbrock(), c);
    std::fflush(stdout);
    std::_Exit(0);
  });
  EXPECT_EQ(quiet.out, "\n *** Error return from DI23AD ***  IREQ = -3\n LIW =          0 is less than        150\n");

  const auto stalled = run_in_child([] {
    Controls c = controls_for(0);
    c.icntl[3] = 1;
    nls::solve(rosenbrock_jacobian_times(-1), c);
    std::fflush(stdout);
    std::_Exit(0);
  });
  EXPECT_NE(stalled.out.find("\n *** Error return from DI23AD ***  IREQ =-10\n No step reduces ||F|| from the best "
                             "point any more; damping factor =  7.3787D+16\n"),
            std::string::npos)
      << stalled.out;

  // Rosenbrock with a Jacobian whose entry 2 is +Inf after the first: a
  // warning for each point given up, then -12, not one line per iteration
  // up to the limit.
  const auto nonfinite = run_in_child([] {
    Controls c = controls_for(0);
    c.icntl[3] = 2;
    nls::Host host;
    int calls = 0;
    host.jacobian = [&calls](const double* x, double* aj) {
      nls::rosenbrock().jacobian(x, aj);
      if (++calls > 1) aj[1] = INFINITY;
    };
    nls::solve(nls::rosenbrock(), c, host);
    std::fflush(stdout);
    std::_Exit(0);
  });
  const std::string warning = " *** Warning from DI23AD: non-finite Jacobian value at a trial point, step rejected\n";
  int warnings = 0;
  for (std::size_t at = 0; (at = nonfinite.out.find(warning, at)) != std::string::npos; at += warning.size())
    ++warnings;
  EXPECT_EQ(warnings, 9);
  EXPECT_NE(nonfinite.out.find("\n *** Error return from DI23AD ***  IREQ =-12\n Non-finite Jacobian value at  9 "
                               "trial points in a row, component          2\n"),
            std::string::npos)
      << nonfinite.out;
}

}  // namespace
