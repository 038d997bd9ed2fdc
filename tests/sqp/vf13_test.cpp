// VF13AD: the classic test problems checked by the optimality conditions at
// the point returned and by their known optimal values, every end code, and
// the output on unit 6.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "interface/units.hpp"
#include "tests/sqp/vf13_driver.hpp"

using namespace sqptest;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

Values values_at(const Problem& p, const std::vector<double>& x, int32_t lcn) {
  Values v;
  v.x = x;
  v.g.resize(p.n);
  v.c.resize(p.m);
  v.cn.resize(std::size_t(lcn) * std::max(p.m, 1));
  evaluate(p, x.data(), v.f, v.g.data(), v.c.data(), v.cn.data(), lcn);
  return v;
}

// First-order optimality at X with the multipliers VF13AD reports, every
// term recomputed from the problem, relative to the size of the gradient.
double kkt_error(const Problem& p, const Outcome& r) {
  const Values v = values_at(p, r.v.x, p.n);
  const std::vector<double> lam = r.multipliers();
  double scale = 1.0, err = 0.0;
  for (double g : v.g) scale = std::max(scale, std::fabs(g));
  for (int i = 0; i < p.n; ++i) {
    double s = v.g[i];
    for (int j = 0; j < p.m; ++j) s -= v.cn[i + std::size_t(j) * p.n] * lam[j];
    err = std::max(err, std::fabs(s) / scale);
  }
  for (int j = 0; j < p.m; ++j) {
    err = std::max({err, j < p.meq ? std::fabs(v.c[j]) : -v.c[j], std::fabs(lam[j] * v.c[j]) / scale});
    if (j >= p.meq && lam[j] < 0.0) err = std::max(err, 1.0);
  }
  return err;
}

class Vf13Classic : public ::testing::TestWithParam<Problem> {};

TEST_P(Vf13Classic, ReachesTheKnownOptimum) {
  const Problem& p = GetParam();
  const Outcome r = run_vf13(p);  // ACC = 1e-10
  ASSERT_EQ(r.inform, 0);
  // The optimal values are known to about ten digits.
  EXPECT_NEAR(r.v.f, p.fstar, 1e-8 * std::max(1.0, std::fabs(p.fstar)));
  EXPECT_LE(kkt_error(p, r), 1e-10);
  EXPECT_LE(r.evaluations, 60);
  // F, G, C and CN are the values at X, bit for bit.
  const Values v = values_at(p, r.v.x, r.lcn);
  EXPECT_TRUE(v.f == r.v.f && v.g == r.v.g && v.c == r.v.c && v.cn == r.v.cn);
}

// Thirty problems, nineteen of them from an infeasible start; fourteen with
// equalities only, thirteen with inequalities only, three with both.
INSTANTIATE_TEST_SUITE_P(HockSchittkowski, Vf13Classic, ::testing::ValuesIn(hs_problems()),
                         [](const ::testing::TestParamInfo<Problem>& i) { return i.param.name; });

Problem custom(const char* name, int n, int m, int meq, std::vector<double> x0,
               std::function<void(const Ad*, Ad&, Ad*)> model) {
  Problem p;
  p.name = name, p.n = n, p.m = m, p.meq = meq, p.x0 = std::move(x0), p.model = std::move(model);
  return p;
}

struct EndCase {
  const char* name;
  Problem p;
  Options o;
  int32_t inform;
  int evaluations;  // the count expected, or -1
};
void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

Options with(int32_t maxfun, std::function<void(int, Values&)> tamper = {}) {
  Options o;
  o.maxfun = maxfun;
  o.tamper = std::move(tamper);
  return o;
}

std::vector<EndCase> end_cases() {
  auto nan_at_start = [](int which) {
    return [which](int evaluation, Values& v) {
      if (evaluation == 1) (which == 0 ? v.f : which == 1 ? v.g[1] : which == 2 ? v.c[0] : v.cn[1]) = which % 2 ? kInf : kNaN;
    };
  };
  const Problem bowl = custom("bowl", 2, 0, 0, {1, 2}, [](const Ad* x, Ad& f, Ad*) { f = x[0] * x[0] + x[1] * x[1]; });
  return {
      // At x = 0 the linearisations ask for d >= 1 and d <= 0.5: the relaxed
      // step goes half way, then x* = 1.
      {"InconsistentLinearisationRelaxed", custom("relax", 1, 2, 0, {0.0}, [](const Ad* x, Ad& f, Ad* c) {
         f = x[0] * x[0];
         c[0] = x[0] - 1.0;
         c[1] = x[0] * x[0] - x[0] + 0.5;
       }),
       Options{}, 0, -1},
      {"MaxfunOne", hs_problem("HS1"), with(1), 1, 1},
      {"MaxfunSix", hs_problem("HS1"), with(6), 1, 6},
      {"WrongGradientStallsTheLineSearch", bowl,
       with(400, [](int, Values& v) {
         for (double& g : v.g) g = -g;
       }),
       2, -1},
      {"NoDirectionReducesTheViolation", custom("nowhere", 2, 1, 1, {0, 1}, [](const Ad* x, Ad& f, Ad* c) {
         f = x[1] * x[1];
         c[0] = x[0] * x[0] + 1.0;
       }),
       Options{}, 3, 1},
      {"ContradictoryBounds", custom("bounds", 1, 2, 0, {0.5}, [](const Ad* x, Ad& f, Ad* c) {
         f = x[0];
         c[0] = x[0] - 1.0;
         c[1] = -x[0];
       }),
       Options{}, 3, 1},
      {"NaNF", hs_problem("HS14"), with(400, nan_at_start(0)), 6, 1},
      {"InfiniteG", hs_problem("HS14"), with(400, nan_at_start(1)), 6, 1},
      {"NaNC", hs_problem("HS14"), with(400, nan_at_start(2)), 6, 1},
      {"InfiniteCN", hs_problem("HS14"), with(400, nan_at_start(3)), 6, 1},
  };
}

class Vf13Ends : public ::testing::TestWithParam<EndCase> {};

TEST_P(Vf13Ends, EndsWithTheCodeAtTheBestPoint) {
  const EndCase& c = GetParam();
  const Outcome r = run_vf13(c.p, c.o);
  EXPECT_EQ(r.inform, c.inform);
  if (c.evaluations >= 0) {
    EXPECT_EQ(r.evaluations, c.evaluations);
  }
  if (c.inform == 6) {
    EXPECT_EQ(r.v.x, c.p.x0);
    return;
  }
  // The point returned, with its values, is no worse than the start.
  if (!c.o.tamper) {
    const Values v = values_at(c.p, r.v.x, r.lcn);
    EXPECT_TRUE(v.f == r.v.f && v.g == r.v.g && v.c == r.v.c && v.cn == r.v.cn);
  }
  const double start_violation = violation(c.p, c.p.x0.data());
  EXPECT_LE(violation(c.p, r.v.x.data()), start_violation + 1e-12);
  if (start_violation == 0.0) {
    EXPECT_LE(values_at(c.p, r.v.x, c.p.n).f, values_at(c.p, c.p.x0, c.p.n).f);
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, Vf13Ends, ::testing::ValuesIn(end_cases()),
                         [](const ::testing::TestParamInfo<EndCase>& i) { return std::string(i.param.name); });

TEST(Vf13, NonFiniteTrialValuesShortenTheStep) {
  // A host that cannot evaluate beyond x1 = 1.5, nor at the first trial.
  bool refused = false;
  const Outcome r = run_vf13(hs_problem("HS1"), with(400, [&refused](int evaluation, Values& v) {
                               if (evaluation == 2 || v.x[0] > 1.5) v.f = kNaN, v.c[0] = kInf, refused = true;
                             }));
  EXPECT_TRUE(refused);
  ASSERT_EQ(r.inform, 0);
  EXPECT_NEAR(r.v.x[0], 1.0, 1e-8);
  EXPECT_NEAR(r.v.x[1], 1.0, 1e-8);
}

// One call of VF13AD on arrays for N = M = 2, for the argument checks.
struct Call {
  int32_t n = 2, m = 2, meq = 1, lcn = 2, maxfun = 50, iprint = -1, inform = 0, lw = 102;
  double acc = 1e-8, f = 0.0;
  std::vector<double> x{2, 2}, g{0, 0}, c{0, 0}, cn{0, 0, 0, 0}, w = std::vector<double>(102);
  std::vector<int32_t> iw = std::vector<int32_t>(8);
  Call& operator()() {
    VF13AD(&n, &m, &meq, x.data(), &f, g.data(), c.data(), cn.data(), &lcn, &acc, &maxfun, &iprint, &inform, w.data(),
           &lw, iw.data());
    return *this;
  }
};

TEST(Vf13, InvalidArgumentsShortWorkspaceAndLostProblems) {
  ASSERT_EQ(tbl::sqp::vf13_workspace(2, 2), 102);
  const std::function<void(Call&)> bad[] = {
      [](Call& c) { c.n = 0; },       [](Call& c) { c.m = -1; },       [](Call& c) { c.meq = -1; },
      [](Call& c) { c.meq = 3; },     [](Call& c) { c.lcn = 1; },      [](Call& c) { c.acc = 0.0; },
      [](Call& c) { c.acc = kNaN; },  [](Call& c) { c.acc = kInf; },   [](Call& c) { c.maxfun = 0; },
      [](Call& c) { c.x[1] = kNaN; }, [](Call& c) { c.inform = 7; },   [](Call& c) { c.inform = -1; },
  };
  for (std::size_t k = 0; k < std::size(bad); ++k) {
    Call c;
    bad[k](c);
    EXPECT_EQ(c().inform, 4) << k;
  }
  // A problem whose dimensions change between calls ends, and stays ended.
  Call changed;
  ASSERT_EQ(changed().inform, -1);
  changed.m = 1;
  EXPECT_EQ(changed().inform, 4);
  changed.m = 2;
  changed.inform = -1;
  EXPECT_EQ(changed().inform, 4);
  // Short workspace: 5 and the length needed, also for dimensions no
  // 32-bit length could serve, before any array is touched.
  Call shortw;
  shortw.lw = 101;
  EXPECT_EQ(shortw().inform, 5);
  EXPECT_EQ(shortw.iw[0], 102);
  Call huge;
  huge.n = huge.m = huge.lcn = huge.lw = INT32_MAX;
  huge.meq = 0;
  EXPECT_EQ(huge().inform, 5);
  EXPECT_EQ(huge.iw[0], INT32_MAX);
  huge.n = huge.lcn = 1;
  huge.m = 1 << 25;
  huge.lw = 12 * huge.m + 43;
  huge.inform = 0;
  EXPECT_EQ(huge().inform, 5);
  EXPECT_EQ(huge.iw[0], huge.lw + 1);
  // Starting a problem abandons the one in progress.
  Call first;
  ASSERT_EQ(first().inform, -1);
  Options wide;  // and a wider CN changes nothing
  wide.extra_lcn = 3;
  EXPECT_EQ(run_vf13(hs_problem("HS71"), wide).inform, 0);
  EXPECT_EQ(first().inform, 4);
}

// What BODY writes on unit 6, as lines.
std::vector<std::string> unit6(const std::function<void()>& body) {
  char path[] = "/tmp/tbl_vf13_XXXXXX";
  const int fd = mkstemp(path);
  if (fd >= 0) close(fd);
  tbl::io::unit_attach(6, path);
  body();
  tbl::io::unit_detach(6);
  std::ifstream in(path);
  std::vector<std::string> out;
  for (std::string l; std::getline(in, l);) out.push_back(l);
  std::remove(path);
  return out;
}

TEST(Vf13Output, SummaryAndProgressLines) {
  EXPECT_TRUE(unit6([] { run_vf13(hs_problem("HS14")); }).empty());
  const Problem& p = hs_problem("HS100");
  for (int32_t iprint : {0, 3}) {
    Options o;
    o.iprint = iprint;
    Outcome r;
    const std::vector<std::string> out = unit6([&] { r = run_vf13(p, o); });
    ASSERT_EQ(r.inform, 0);
    // The summary: the end, the counts, F and the measures, X over two
    // lines (seven values, five to a line).
    ASSERT_GE(out.size(), 5u);
    const std::size_t s = out.size() - 5;
    EXPECT_EQ(out[s], " VF13AD ends with INFORM = 0: the required accuracy is reached");
    int iterations = -1, evaluations = -1;
    ASSERT_EQ(std::sscanf(out[s + 1].c_str(), " iterations = %d evaluations = %d", &iterations, &evaluations), 2);
    EXPECT_EQ(evaluations, r.evaluations);
    EXPECT_EQ(out[s + 2].find(" F = "), 0u);
    EXPECT_NE(out[s + 2].find("   violation = "), std::string::npos);
    EXPECT_EQ(out[s + 3].find(" X = "), 0u);
    EXPECT_EQ(out[s + 3].size(), 4u + 5 * 16);
    EXPECT_EQ(out[s + 4].size(), 4u + 2 * 16);
    if (iprint == 0) {
      EXPECT_EQ(s, 0u);
      continue;
    }
    // A heading, then iterations 0, 3, 6, ... with rising evaluations.
    EXPECT_EQ(out[0], " iteration  evaluations                     F   violation  optimality");
    ASSERT_EQ(s, 1u + iterations / iprint + 1);
    for (std::size_t l = 1, last = 0; l < s; ++l) {
      std::string line = out[l];
      for (char& ch : line) ch = ch == 'D' ? 'E' : ch;
      int it = -1, ev = -1;
      double f, viol, opt;
      ASSERT_EQ(std::sscanf(line.c_str(), "%d %d %lf %lf %lf", &it, &ev, &f, &viol, &opt), 5) << out[l];
      EXPECT_EQ(it, static_cast<int>(l - 1) * iprint);
      EXPECT_GT(ev, static_cast<int>(last));
      last = ev;
      EXPECT_TRUE(viol >= 0.0 && opt >= 0.0);
    }
  }
}

TEST(Vf13Output, FailuresBeforeAnyIteration) {
  Call bad;
  bad.iprint = 0;
  bad.maxfun = 0;
  EXPECT_EQ(unit6([&] { bad(); }),
            (std::vector<std::string>{
                " VF13AD ends with INFORM = 4: an argument is invalid",
                " N =       2   M =       2   MEQ =       1   LCN =       2   MAXFUN =       0   ACC =  1.00D-08"}));
  Call shortw;
  shortw.iprint = 2;
  shortw.lw = 60;
  EXPECT_EQ(unit6([&] { shortw(); }), (std::vector<std::string>{" VF13AD ends with INFORM = 5: LW is too small",
                                                                " LW =          60 but at least         102 is needed"}));
  Options o = with(400, [](int, Values& v) { v.f = kNaN; });
  o.iprint = 0;
  EXPECT_EQ(unit6([&] { run_vf13(hs_problem("HS14"), o); }),
            (std::vector<std::string>{" VF13AD ends with INFORM = 6: a value at the starting point is not finite"}));
}

}  // namespace
