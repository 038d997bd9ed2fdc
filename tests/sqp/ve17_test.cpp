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

using sqptest::kkt_error;
using sqptest::Qp;
using tbl::fint;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Result {
  std::vector<double> x, u, w;
  std::vector<fint> iact;
  fint nact = -7, inform = -7;
};

// Solves through the exported routine; LW is the documented length plus
// EXTRA_W, and a solve with a limit on the iterations goes to the core.
Result solve(const Qp& p, double tol = 1e-12, int extra_w = 0, std::int64_t limit = -1) {
  Result r;
  r.x.assign(p.n, 0.0);
  r.u.assign(std::max(p.m, 1), 0.0);
  r.iact.assign(std::max(p.m, 1), 0);
  const fint lw = static_cast<fint>(tbl::sqp::ve17_workspace(p.n, p.m)) + extra_w;
  r.w.assign(std::max(lw, 1), 0.0);
  const fint la = std::max(p.n, 1);
  if (limit < 0)
    VE17AD(&p.n, &p.m, &p.meq, p.h.data(), &p.n, p.g.data(), p.a.data(), &la, p.b.data(), r.x.data(), r.u.data(),
           r.iact.data(), &r.nact, &tol, r.w.data(), &lw, &r.inform);
  else
    tbl::sqp::ve17_solve(p.n, p.m, p.meq, p.h.data(), p.n, p.g.data(), p.a.data(), la, p.b.data(), r.x.data(),
                         r.u.data(), r.iact.data(), &r.nact, tol, r.w.data(), lw, limit, &r.inform);
  return r;
}

double kkt(const Qp& p, const Result& r, std::string* what) { return kkt_error(p, r.x, r.u, r.iact, r.nact, what); }

Qp identity_qp(int n) {
  Qp p;
  p.n = n;
  p.h.assign(std::size_t(n) * n, 0.0);
  for (int i = 0; i < n; ++i) p.h[i + std::size_t(i) * n] = 1.0;
  p.g.assign(n, 0.0);
  return p;
}

// Adds the constraint normal'x (= or >=) rhs; equalities must come first.
void constrain(Qp& p, std::vector<double> normal, double rhs, bool equality = false) {
  if (equality) ++p.meq;
  ++p.m;
  p.a.insert(p.a.end(), normal.begin(), normal.end());
  p.b.push_back(rhs);
}

struct HandCase {
  const char* name;
  Qp qp;
  std::vector<double> x;  // the solution
};

std::vector<HandCase> hand_cases() {
  std::vector<HandCase> cases;
  {
    // min 0.5(x1^2 + 2 x2^2 + 3 x3^2) + x1 - x2, x1 + x2 + x3 = 1, x1 = x3.
    Qp p = identity_qp(3);
    p.h[4] = 2.0;
    p.h[8] = 3.0;
    p.g = {1.0, -1.0, 0.0};
    constrain(p, {1, 1, 1}, 1.0, true);
    constrain(p, {1, 0, -1}, 0.0, true);
    // With t = x1 = x3 and x2 = 1 - 2t the objective is 6t^2 - t.
    const double t = 1.0 / 12.0;
    cases.push_back({"EqualityOnly", p, {t, 1.0 - 2.0 * t, t}});
  }
  {
    // min (x1-1)^2 + (x2-2.5)^2 in a pentagon; the solution lies on one edge.
    Qp p = identity_qp(2);
    p.h = {2, 0, 0, 2};
    p.g = {-2.0, -5.0};
    constrain(p, {1, -2}, -2.0);
    constrain(p, {-1, -2}, -6.0);
    constrain(p, {-1, 2}, -2.0);
    constrain(p, {1, 0}, 0.0);
    constrain(p, {0, 1}, 0.0);
    cases.push_back({"InequalityOnly", p, {1.4, 1.7}});
  }
  {
    // Inactive bounds only: the unconstrained minimum (3, -1).
    Qp p = identity_qp(2);
    p.g = {-3.0, 1.0};
    constrain(p, {1, 0}, -10.0);
    constrain(p, {0, -1}, -10.0);
    cases.push_back({"NothingActive", p, {3.0, -1.0}});
  }
  {
    // Three constraints through the solution (1, 1) of a 2-variable problem,
    // one of them twice: more active candidates than variables.
    Qp p = identity_qp(2);
    constrain(p, {1, 1}, 2.0);
    constrain(p, {1, 0}, 1.0);
    constrain(p, {0, 1}, 1.0);
    constrain(p, {2, 2}, 4.0);
    constrain(p, {3, 1}, 4.0);
    cases.push_back({"Degenerate", p, {1.0, 1.0}});
  }
  {
    // The unconstrained minimum is a vertex where three constraints hold
    // with equality: nothing to add, every multiplier zero.
    Qp p = identity_qp(2);
    p.g = {-1.0, 0.0};
    constrain(p, {-1, 0}, -1.0);
    constrain(p, {0, 1}, 0.0);
    constrain(p, {-1, -1}, -1.0);
    cases.push_back({"MinimumOnTheBoundary", p, {1.0, 0.0}});
  }
  {
    // Equalities repeated, scaled and combined: consistent but dependent.
    Qp p = identity_qp(3);
    p.g = {-1.0, -1.0, -1.0};
    constrain(p, {1, 1, 0}, 1.0, true);
    constrain(p, {2, 2, 0}, 2.0, true);
    constrain(p, {0, 1, 1}, 1.0, true);
    constrain(p, {1, 2, 1}, 2.0, true);
    constrain(p, {1, 0, 0}, 0.75);
    constrain(p, {2, 0, 0}, 1.5);
    // x = (s, 1-s, s): the objective 0.5(3s^2 - 2s + 1) - 1 - s is least at
    // s = 2/3, below the bound s >= 0.75 given twice.
    cases.push_back({"DependentConstraints", p, {0.75, 0.25, 0.75}});
  }
  {
    // A zero normal with a right-hand side it satisfies.
    Qp p = identity_qp(2);
    p.g = {1.0, 1.0};
    constrain(p, {0, 0}, 0.0, true);
    constrain(p, {0, 0}, -1.0);
    cases.push_back({"ZeroNormalSatisfied", p, {-1.0, -1.0}});
  }
  {
    // Ill-scaled constraints: the same half-plane at three scales.
    Qp p = identity_qp(2);
    p.g = {0.0, 0.0};
    constrain(p, {1e-6, 1e-6}, 1e-6);
    constrain(p, {1e6, 0}, 1e5);
    constrain(p, {0, 1e3}, 1e2);
    cases.push_back({"BadlyScaled", p, {0.5, 0.5}});
  }
  return cases;
}

class Ve17Hand : public ::testing::TestWithParam<HandCase> {};

TEST_P(Ve17Hand, SolvesWithTheOptimalityConditions) {
  const HandCase& c = GetParam();
  Qp p = c.qp;
  // The lower triangle is never read.
  for (int j = 0; j < p.n; ++j)
    for (int i = j + 1; i < p.n; ++i) p.h[i + std::size_t(j) * p.n] = kNaN;
  const Qp before = p;
  const Result r = solve(p);
  ASSERT_EQ(r.inform, 0);
  std::string what;
  EXPECT_LT(kkt(p, r, &what), 1e-12) << what;
  for (int i = 0; i < p.n; ++i) EXPECT_NEAR(r.x[i], c.x[i], 1e-12) << "x" << i + 1;
  // Nothing of the host's data changed (bitwise, so NaN compares equal).
  EXPECT_EQ(0, std::memcmp(p.h.data(), before.h.data(), p.h.size() * sizeof(double)));
  EXPECT_EQ(p.g, before.g);
  EXPECT_EQ(p.a, before.a);
  EXPECT_EQ(p.b, before.b);
}

INSTANTIATE_TEST_SUITE_P(Cases, Ve17Hand, ::testing::ValuesIn(hand_cases()),
                         [](const ::testing::TestParamInfo<HandCase>& i) { return std::string(i.param.name); });

TEST(Ve17, EqualitiesComeFirstInTheActiveList) {
  const HandCase c = hand_cases()[5];  // dependent constraints
  const Result r = solve(c.qp);
  ASSERT_EQ(r.inform, 0);
  // Two independent equalities (1 and 3) and the bound 5 or its double 6.
  ASSERT_EQ(r.nact, 3);
  EXPECT_EQ(r.iact[0], 1);
  EXPECT_EQ(r.iact[1], 3);
  EXPECT_TRUE(r.iact[2] == 5 || r.iact[2] == 6);
  EXPECT_EQ(r.u[1], 0.0);  // a dependent equality keeps a zero multiplier
  EXPECT_EQ(r.u[3], 0.0);
}

struct FailCase {
  const char* name;
  Qp qp;
  fint inform;
};

std::vector<FailCase> failing_cases() {
  std::vector<FailCase> cases;
  Qp p = identity_qp(2);
  constrain(p, {1, 0}, 1.0);
  constrain(p, {-1, 0}, 0.0);
  cases.push_back({"OppositeBounds", p, 1});
  p = identity_qp(2);
  constrain(p, {1, 1}, 1.0, true);
  constrain(p, {2, 2}, 3.0, true);
  cases.push_back({"InconsistentEqualities", p, 1});
  p = identity_qp(3);
  constrain(p, {1, 1, 1}, 0.0, true);
  constrain(p, {1, 0, 0}, 1.0);
  constrain(p, {0, 1, 0}, 1.0);
  constrain(p, {0, 0, 1}, -0.5);
  cases.push_back({"EqualityAgainstBounds", p, 1});
  p = identity_qp(2);
  constrain(p, {0, 0}, 1.0);
  cases.push_back({"ZeroNormalViolated", p, 1});
  p = identity_qp(2);
  p.h = {1.0, 0.0, 2.0, 1.0};  // upper triangle of [1 2; 2 1]
  cases.push_back({"Indefinite", p, 2});
  p = identity_qp(2);
  p.h[3] = 0.0;
  cases.push_back({"Singular", p, 2});
  p = identity_qp(2);
  p.h[0] = -1.0;
  cases.push_back({"NegativeDiagonal", p, 2});
  p = identity_qp(2);
  p.h[2] = 1.0 - 1e-17;
  p.h[3] = 1.0;
  p.h[0] = 1.0;
  cases.push_back({"NumericallySingular", p, 2});
  return cases;
}

class Ve17Fails : public ::testing::TestWithParam<FailCase> {};

TEST_P(Ve17Fails, ReportsTheFailure) {
  const FailCase& c = GetParam();
  const Result r = solve(c.qp);
  EXPECT_EQ(r.inform, c.inform);
}

INSTANTIATE_TEST_SUITE_P(Cases, Ve17Fails, ::testing::ValuesIn(failing_cases()),
                         [](const ::testing::TestParamInfo<FailCase>& i) { return std::string(i.param.name); });

TEST(Ve17, InvalidArgumentsAndShortWorkspace) {
  const Qp good = hand_cases()[1].qp;
  struct Bad {
    const char* what;
    fint n, m, meq, lh, la;
    double tol;
  };
  const Bad bad[] = {
      {"N < 1", 0, 5, 0, 2, 2, 0.0},       {"M < 0", 2, -1, 0, 2, 2, 0.0},
      {"MEQ < 0", 2, 5, -1, 2, 2, 0.0},    {"MEQ > M", 2, 5, 6, 2, 2, 0.0},
      {"LH < N", 2, 5, 0, 1, 2, 0.0},      {"LA < N", 2, 5, 0, 2, 1, 0.0},
      {"TOL < 0", 2, 5, 0, 2, 2, -1e-9},   {"TOL NaN", 2, 5, 0, 2, 2, kNaN},
      {"TOL infinite", 2, 5, 0, 2, 2, std::numeric_limits<double>::infinity()},
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
  // LA below N is allowed when there is no constraint.
  Qp free = identity_qp(2);
  free.g = {1.0, 2.0};
  {
    fint m = 0, meq = 0, la = 0, lw = static_cast<fint>(tbl::sqp::ve17_workspace(2, 0)), nact, inform;
    double tol = 0.0;
    VE17AD(&free.n, &m, &meq, free.h.data(), &free.n, free.g.data(), nullptr, &la, nullptr, x.data(), u.data(),
           iact.data(), &nact, &tol, w.data(), &lw, &inform);
    EXPECT_EQ(inform, 0);
    EXPECT_EQ(nact, 0);
    EXPECT_EQ(x[0], -1.0);
    EXPECT_EQ(x[1], -2.0);
  }
  EXPECT_EQ(solve(good, 0.0, -1).inform, 4);
  EXPECT_EQ(solve(good, 0.0, 0).inform, 0);
  // Values that are not finite are refused before any work.
  for (int which = 0; which < 4; ++which) {
    Qp p = good;
    (which == 0 ? p.h[2] : which == 1 ? p.g[1] : which == 2 ? p.a[7] : p.b[4]) =
        which % 2 ? kNaN : std::numeric_limits<double>::infinity();
    EXPECT_EQ(solve(p).inform, 3) << which;
  }
}

// Random problems with a known feasible point; some constraints pass through
// it exactly, so that many are active and some degenerate at the solution.
struct RandomCase {
  int n, m, meq;
  unsigned seed;
  bool tight;  // every inequality passes through the feasible point
};

Qp random_qp(const RandomCase& c) {
  std::mt19937 gen(c.seed);
  std::uniform_real_distribution<double> uni(-1.0, 1.0);
  Qp p;
  p.n = c.n;
  p.m = c.m;
  p.meq = c.meq;
  std::vector<double> l(std::size_t(c.n) * c.n);
  for (auto& v : l) v = uni(gen);
  p.h.assign(std::size_t(c.n) * c.n, 0.0);
  for (int i = 0; i < c.n; ++i)
    for (int j = 0; j < c.n; ++j) {
      double s = i == j ? 0.1 : 0.0;
      for (int k = 0; k < c.n; ++k) s += l[i + std::size_t(k) * c.n] * l[j + std::size_t(k) * c.n];
      p.h[i + std::size_t(j) * c.n] = s;
    }
  p.g.resize(c.n);
  for (auto& v : p.g) v = 10.0 * uni(gen);
  std::vector<double> xf(c.n);
  for (auto& v : xf) v = uni(gen);
  p.a.resize(std::size_t(c.n) * c.m);
  for (auto& v : p.a) v = uni(gen);
  p.b.resize(c.m);
  for (int k = 0; k < c.m; ++k) {
    double s = 0.0;
    for (int i = 0; i < c.n; ++i) s += p.aij(i, k) * xf[i];
    const bool through = k < c.meq || c.tight || k % 3 == 0;
    p.b[k] = through ? s : s - std::fabs(uni(gen));
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
                         ::testing::Values(RandomCase{5, 3, 0, 1, false}, RandomCase{5, 12, 2, 2, false},
                                           RandomCase{8, 30, 0, 3, true}, RandomCase{10, 10, 9, 4, false},
                                           RandomCase{20, 60, 5, 5, false}, RandomCase{20, 40, 0, 6, true},
                                           RandomCase{40, 100, 10, 7, false}, RandomCase{3, 50, 0, 8, true},
                                           RandomCase{6, 25, 6, 9, true}),
                         [](const ::testing::TestParamInfo<RandomCase>& i) {
                           const RandomCase& c = i.param;
                           return "N" + std::to_string(c.n) + "_M" + std::to_string(c.m) + "_MEQ" +
                                  std::to_string(c.meq) + (c.tight ? "_tight" : "") + "_seed" +
                                  std::to_string(c.seed);
                         });

TEST(Ve17, IterationLimitEndsTheSolve) {
  // Below the number of additions and deletions that a solve needs, it ends
  // with 5 at an iterate that still satisfies stationarity.
  const Qp p = random_qp({20, 40, 0, 6, true});
  fint needed = 0;
  while (solve(p, 1e-12, 0, needed).inform == 5) ++needed;
  ASSERT_GT(needed, 5);
  EXPECT_LT(needed, tbl::sqp::ve17_iteration_limit(p.n, p.m));
  EXPECT_EQ(solve(p, 1e-12, 0, needed).inform, 0);
  const Result cut = solve(p, 1e-12, 0, needed - 1);
  EXPECT_EQ(cut.inform, 5);
  EXPECT_GT(cut.nact, 0);
}

}  // namespace
