// VE17AD: hand-made quadratic programs of every kind and random ones,
// checked by the optimality conditions rather than by the iterates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sqp/sqp.hpp"
#include "tests/sqp/qp_check.hpp"

using sqptest::Qp;
using tbl::fint;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kBig = std::numeric_limits<double>::max();

struct Result {
  std::vector<double> x, u, w;
  std::vector<fint> iact;
  fint nact = -7, inform = -7;
};

// Through the exported routine with LW the documented length plus EXTRA_W;
// with a LIMIT on the additions and deletions through the core.
Result solve(const Qp& p, int extra_w = 0, std::int64_t limit = -1, double tol = 1e-12) {
  Result r;
  r.x.assign(p.n, 0.0);
  r.u.assign(std::max(p.m, 1), 0.0);
  r.iact.assign(std::max(p.m, 1), 0);
  const fint lw = static_cast<fint>(tbl::sqp::ve17_workspace(p.n, p.m)) + extra_w;
  r.w.assign(std::max(lw, 1), 0.0);
  if (limit < 0)
    VE17AD(&p.n, &p.m, &p.meq, p.h.data(), &p.n, p.g.data(), p.a.data(), &p.n, p.b.data(), r.x.data(), r.u.data(),
           r.iact.data(), &r.nact, &tol, r.w.data(), &lw, &r.inform);
  else
    tbl::sqp::ve17_solve(p.n, p.m, p.meq, p.h.data(), p.n, p.g.data(), p.a.data(), p.n, p.b.data(), r.x.data(),
                         r.u.data(), r.iact.data(), &r.nact, tol, r.w.data(), lw, limit, &r.inform);
  return r;
}

double kkt(const Qp& p, const Result& r, std::string* what) {
  return sqptest::kkt_error(p, r.x, r.u, r.iact, r.nact, what);
}

// H = diag(HDIAG) with NaN below the diagonal (never read); each row of
// ROWS is a constraint's normal followed by its right-hand side.
Qp make(std::vector<double> hdiag, std::vector<double> g, int meq, std::vector<std::vector<double>> rows) {
  Qp p;
  p.n = static_cast<int32_t>(g.size());
  p.m = static_cast<int32_t>(rows.size());
  p.meq = meq;
  p.h.assign(std::size_t(p.n) * p.n, 0.0);
  for (int j = 0; j < p.n; ++j) {
    p.h[j + std::size_t(j) * p.n] = hdiag[j];
    for (int i = j + 1; i < p.n; ++i) p.h[i + std::size_t(j) * p.n] = kNaN;
  }
  p.g = std::move(g);
  for (auto& r : rows) {
    p.b.push_back(r.back());
    p.a.insert(p.a.end(), r.begin(), r.end() - 1);
  }
  return p;
}

Qp with_upper(Qp p, double h12) {
  p.h[std::size_t(p.n)] = h12;
  return p;
}

// P with the full symmetric H given by columns.
Qp with_hessian(Qp p, std::vector<double> h) {
  p.h = std::move(h);
  return p;
}

struct Case {
  const char* name;
  Qp qp;
  fint inform;
  std::vector<double> x;  // the solution when INFORM is 0
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      // x1 = x3 = t, x2 = 1 - 2t leave 6t^2 - t.
      {"EqualityOnly", make({1, 2, 3}, {1, -1, 0}, 2, {{1, 1, 1, 1}, {1, 0, -1, 0}}), 0, {1 / 12.0, 5 / 6.0, 1 / 12.0}},
      // (x1-1)^2 + (x2-2.5)^2 over a pentagon: one edge active.
      {"InequalityOnly", make({2, 2}, {-2, -5}, 0, {{1, -2, -2}, {-1, -2, -6}, {-1, 2, -2}, {1, 0, 0}, {0, 1, 0}}), 0,
       {1.4, 1.7}},
      {"NothingActive", make({1, 1}, {-3, 1}, 0, {{1, 0, -10}, {0, -1, -10}}), 0, {3, -1}},
      // Five constraints through the solution of a problem in two variables.
      {"Degenerate", make({1, 1}, {0, 0}, 0, {{1, 1, 2}, {1, 0, 1}, {0, 1, 1}, {2, 2, 4}, {3, 1, 4}}), 0, {1, 1}},
      // The unconstrained minimum is a vertex of three constraints.
      {"MinimumOnTheBoundary", make({1, 1}, {-1, 0}, 0, {{-1, 0, -1}, {0, 1, 0}, {-1, -1, -1}}), 0, {1, 0}},
      // Equalities repeated, scaled and combined; a bound given twice.
      {"DependentConstraints",
       make({1, 1, 1}, {-1, -1, -1}, 4,
            {{1, 1, 0, 1}, {2, 2, 0, 2}, {0, 1, 1, 1}, {1, 2, 1, 2}, {1, 0, 0, 0.75}, {2, 0, 0, 1.5}}),
       0, {0.75, 0.25, 0.75}},
      {"ZeroNormalsSatisfied", make({1, 1}, {1, 1}, 1, {{0, 0, 0}, {0, 0, -1}}), 0, {-1, -1}},
      {"BadlyScaled", make({1, 1}, {0, 0}, 0, {{1e-6, 1e-6, 1e-6}, {1e6, 0, 1e5}, {0, 1e3, 1e2}}), 0, {0.5, 0.5}},
      // Squared norms of the normals beyond the range of doubles.
      {"ExtremeScales", make({1, 1}, {0, 0}, 1, {{1e-200, 1e-200, 2e-200}, {1e200, 0, 1.5e200}, {0, 1e160, 0}}), 0,
       {1.5, 0.5}},
      {"OppositeBounds", make({1, 1}, {0, 0}, 0, {{1, 0, 1}, {-1, 0, 0}}), 1, {}},
      {"InconsistentEqualities", make({1, 1}, {0, 0}, 2, {{1, 1, 1}, {2, 2, 3}}), 1, {}},
      {"EqualityAgainstBounds", make({1, 1, 1}, {0, 0, 0}, 1, {{1, 1, 1, 0}, {1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, -0.5}}),
       1, {}},
      {"ZeroNormalViolated", make({1, 1}, {0, 0}, 0, {{0, 0, 1}}), 1, {}},
      // Only x1 = 1e310 and beyond satisfy it.
      {"SolutionBeyondRange", make({1, 1}, {0, 0}, 0, {{1e-10, 0, 1e300}}), 1, {}},
      {"EqualityBeyondRange", make({1, 1}, {0, 0}, 1, {{1e-10, 0, 1e300}}), 1, {}},
      // Finite data whose products overflow: the step to the constraint is
      // not a number, and no active constraint can be dropped.
      {"OverflowingProducts", make({9, 9, 4}, {-kBig, -kBig, -kBig}, 0, {{-kBig, 5, 5, 5}}), 1, {}},
      {"Indefinite", with_upper(make({1, 1}, {0, 0}, 0, {}), 2.0), 2, {}},
      {"Singular", make({1, 0}, {0, 0}, 0, {}), 2, {}},
      {"NumericallySingular", with_upper(make({1, 1}, {0, 0}, 0, {}), 1.0), 2, {}},
      {"NegativeDiagonal", make({-1, 1}, {0, 0}, 0, {}), 2, {}},
      // Extreme but valid scales: success only at the solution.  Far from
      // the unconstrained minimum, the point reached by steps carries that
      // minimum's rounding, which swamps the constraint.
      {"TinyHessianEquality", make({1e-150}, {-3.59375}, 1, {{-3.5, -0.84375}}), 0, {0.84375 / 3.5}},
      {"HugeGradientEquality", make({1.586181640625}, {-1e300}, 1, {{-6.25, -4}}), 0, {0.64}},
      {"TinyHessianRepeatedBound", make({1e-300}, {3.8125}, 0, {{3.8125, 3.8125}, {3.8125, 3.8125}}), 0, {1}},
      {"TinyHessianInconsistentBounds", make({1e-300}, {-1}, 0, {{-2, 0}, {-7, 8}, {2.25, 8}}), 1, {}},
      // -H^{-1} g, where the method starts, overflows although x = 0 solves.
      {"MinimumBeyondRange", make({1e-300}, {1e10}, 0, {{1, 0}}), 6, {}},
      {"SubnormalHessian", make({4.9406564584124654e-324}, {1.625}, 0, {}), 2, {}},
      // Singular (its last pivot is 0, rounded to 4.9e-15).
      {"SingularToRounding",
       with_hessian(make({1, 1, 1}, {1.65625, 1.9375, -0.3125}, 1, {{-3.84375, 1.65625, -4, -4}}),
                    {2.8187255859375, 2.3433837890625, 1.05419921875, 2.3433837890625, 2.1339111328125,
                     1.5657958984375, 1.05419921875, 1.5657958984375, 2.95330810546875}),
       2, {}},
  };
  return all;
}

class Ve17Cases : public ::testing::TestWithParam<Case> {};

TEST_P(Ve17Cases, SolvesOrReportsAndLeavesTheDataAlone) {
  const Case& c = GetParam();
  const Qp before = c.qp;
  const Result r = solve(c.qp);
  ASSERT_EQ(r.inform, c.inform);
  if (c.inform <= 1 || c.inform >= 5) {
    EXPECT_TRUE(r.nact >= 0 && r.nact <= c.qp.m) << r.nact;
  }
  if (c.inform == 0) {
    std::string what;
    EXPECT_LT(kkt(c.qp, r, &what), 1e-12) << what;
    for (int i = 0; i < c.qp.n; ++i) EXPECT_NEAR(r.x[i], c.x[i], 1e-12) << "x" << i + 1;
  }
  // Bitwise, so that the NaN of the lower triangle compares equal.
  EXPECT_EQ(0, std::memcmp(c.qp.h.data(), before.h.data(), c.qp.h.size() * sizeof(double)));
  EXPECT_TRUE(c.qp.g == before.g && c.qp.a == before.a && c.qp.b == before.b);
}

INSTANTIATE_TEST_SUITE_P(Hand, Ve17Cases, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

TEST(Ve17, InvalidArgumentsAndShortWorkspace) {
  const Qp good = cases()[1].qp;  // N = 2, M = 5
  struct Bad {
    const char* what;
    fint n, m, meq, lh, la;
    double tol;
  } const bad[] = {
      {"N < 1", 0, 5, 0, 2, 2, 0.0},   {"M < 0", 2, -1, 0, 2, 2, 0.0},       {"MEQ < 0", 2, 5, -1, 2, 2, 0.0},
      {"MEQ > M", 2, 5, 6, 2, 2, 0.0}, {"LH < N", 2, 5, 0, 1, 2, 0.0},       {"LA < N", 2, 5, 0, 2, 1, 0.0},
      {"TOL < 0", 2, 5, 0, 2, 2, -1.0}, {"TOL NaN", 2, 5, 0, 2, 2, kNaN},    {"TOL infinite", 2, 5, 0, 2, 2, kInf},
  };
  std::vector<double> x(2), u(5), w(100);
  std::vector<fint> iact(5);
  for (const Bad& c : bad) {
    fint nact = -7, inform = -7, lw = 100;
    VE17AD(&c.n, &c.m, &c.meq, good.h.data(), &c.lh, good.g.data(), good.a.data(), &c.la, good.b.data(), x.data(),
           u.data(), iact.data(), &nact, &c.tol, w.data(), &lw, &inform);
    EXPECT_EQ(inform, 3) << c.what;
    EXPECT_EQ(nact, -7) << c.what;
  }
  // Without constraints A, B and LA are not looked at.
  fint n = 2, m = 0, meq = 0, la = 0, lw = static_cast<fint>(tbl::sqp::ve17_workspace(2, 0)), nact, inform;
  double tol = 0.0;
  VE17AD(&n, &m, &meq, good.h.data(), &n, good.g.data(), nullptr, &la, nullptr, x.data(), u.data(), iact.data(), &nact,
         &tol, w.data(), &lw, &inform);
  EXPECT_EQ(inform, 0);
  EXPECT_NEAR(x[0], 1.0, 1e-15);
  EXPECT_NEAR(x[1], 2.5, 1e-15);
  // Dimensions whose workspace no 32-bit length reaches: nothing is read.
  n = m = lw = INT32_MAX;
  VE17AD(&n, &m, &meq, good.h.data(), &n, good.g.data(), good.a.data(), &n, good.b.data(), x.data(), u.data(),
         iact.data(), &nact, &tol, w.data(), &lw, &inform);
  EXPECT_EQ(inform, 4);
  // Many constraints on one variable: LW within 32 bits, and one short of
  // 3M + 7 is short.
  n = 1, m = 1 << 25, lw = 3 * m + 6;
  VE17AD(&n, &m, &meq, good.h.data(), &n, good.g.data(), good.a.data(), &n, good.b.data(), x.data(), u.data(),
         iact.data(), &nact, &tol, w.data(), &lw, &inform);
  EXPECT_EQ(inform, 4);
  EXPECT_EQ(solve(good, -1).inform, 4);
  // Values that are not finite are refused before any work.
  for (int which = 0; which < 4; ++which) {
    Qp p = good;
    (which == 0 ? p.h[0] : which == 1 ? p.g[1] : which == 2 ? p.a[7] : p.b[4]) = which % 2 ? kNaN : kInf;
    EXPECT_EQ(solve(p).inform, 3) << which;
  }
}

// Random problems with a known feasible point through which some (or all)
// inequalities pass, so that many are active and some degenerate.  With a
// GAP, about half the normals are copies of earlier ones moved by GAP in
// each entry: nearly parallel pairs and clusters.
struct RandomCase {
  int n, m, meq;
  unsigned seed;
  bool tight;
  double gap = 0.0;
};
std::string case_name(const RandomCase& c) {
  return "N" + std::to_string(c.n) + "_M" + std::to_string(c.m) + "_MEQ" + std::to_string(c.meq) +
         (c.tight ? "_tight" : "") + "_seed" + std::to_string(c.seed);
}
void PrintTo(const RandomCase& c, std::ostream* os) { *os << case_name(c); }

Qp random_qp(const RandomCase& c) {
  std::mt19937 gen(c.seed);
  std::uniform_real_distribution<double> uni(-1.0, 1.0);
  Qp p;
  p.n = c.n, p.m = c.m, p.meq = c.meq;
  std::vector<double> l(std::size_t(c.n) * c.n), xf(c.n);
  for (auto& v : l) v = uni(gen);
  p.h.assign(l.size(), 0.0);
  for (int i = 0; i < c.n; ++i)
    for (int j = 0; j < c.n; ++j)
      for (int k = 0; k <= c.n; ++k)
        p.h[i + std::size_t(j) * c.n] += k == c.n ? 0.1 * (i == j) : l[i + std::size_t(k) * c.n] * l[j + std::size_t(k) * c.n];
  p.g.resize(c.n);
  for (auto& v : p.g) v = 10.0 * uni(gen);
  for (auto& v : xf) v = uni(gen);
  p.a.resize(std::size_t(c.n) * c.m);
  for (auto& v : p.a) v = uni(gen);
  for (int k = 1; c.gap > 0.0 && k < c.m; ++k) {
    if (gen() % 2) continue;
    const int from = static_cast<int>(gen() % k);
    for (int i = 0; i < c.n; ++i) p.a[i + std::size_t(k) * c.n] = p.aij(i, from) + c.gap * uni(gen);
  }
  p.b.assign(c.m, 0.0);
  for (int k = 0; k < c.m; ++k) {
    for (int i = 0; i < c.n; ++i) p.b[k] += p.aij(i, k) * xf[i];
    if (!(k < c.meq || c.tight || k % 3 == 0)) p.b[k] -= std::fabs(uni(gen));
  }
  return p;
}

class Ve17Random : public ::testing::TestWithParam<RandomCase> {};

TEST_P(Ve17Random, SatisfiesTheOptimalityConditions) {
  const Qp p = random_qp(GetParam());
  const Result r = solve(p);
  ASSERT_EQ(r.inform, 0);
  std::string what;
  EXPECT_LT(kkt(p, r, &what), 1e-10) << what;
}

INSTANTIATE_TEST_SUITE_P(Seeds, Ve17Random,
                         ::testing::Values(RandomCase{5, 12, 2, 2, false}, RandomCase{8, 30, 0, 3, true},
                                           RandomCase{10, 10, 9, 4, false}, RandomCase{20, 60, 5, 5, false},
                                           RandomCase{40, 100, 10, 7, false}, RandomCase{3, 50, 0, 8, true},
                                           RandomCase{6, 25, 6, 9, true}),
                         [](const ::testing::TestParamInfo<RandomCase>& i) { return case_name(i.param); });

TEST(Ve17, NearlyParallelConstraintsAreSolvedOrReported) {
  // Rounding through nearly dependent active normals is no licence for a
  // violation or for multipliers out of balance: each solve either meets
  // the optimality conditions or reports the constraints inconsistent.
  int solved = 0;
  for (double gap : {1e-3, 1e-6, 1e-9, 1e-12})
    for (unsigned seed = 1; seed <= 150; ++seed) {
      std::mt19937 dims(seed);
      const int n = 2 + static_cast<int>(dims() % 12), m = n + static_cast<int>(dims() % (2 * n));
      const RandomCase c{n, m, static_cast<int>(dims() % 3 ? 0 : dims() % n), seed, seed % 2 == 0, gap};
      const Qp p = random_qp(c);
      const Result r = solve(p);
      ASSERT_TRUE(r.inform == 0 || r.inform == 1) << case_name(c) << " gap " << gap;
      if (r.inform == 1) continue;
      ++solved;
      std::string what;
      EXPECT_LT(kkt(p, r, &what), 1e-10) << case_name(c) << " gap " << gap << ": " << what;
    }
  EXPECT_GT(solved, 500);
}

TEST(Ve17, IterationLimitEndsTheSolve) {
  // One step short of the additions and deletions a solve needs, it ends
  // with 5; the default limit is far above.
  const Qp p = random_qp({20, 40, 0, 6, true});
  fint needed = 0;
  while (solve(p, 0, needed).inform == 5) ++needed;
  EXPECT_GT(needed, 5);
  EXPECT_LT(needed, tbl::sqp::ve17_iteration_limit(p.n, p.m) / 10);
  EXPECT_EQ(solve(p, 0, needed).inform, 0);
  EXPECT_EQ(solve(p, 0, needed - 1).inform, 5);
}

}  // namespace
