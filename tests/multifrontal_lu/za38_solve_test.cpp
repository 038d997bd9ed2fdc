// ZA38CD on factor sets written by hand in the documented layout: every JOB
// and orientation against dense solves with the same factors, refinement
// and the backward errors it reports, the refinement warnings, and damaged
// factor sets (every word of INDEX and KEEP in turn), which must give -7
// with X untouched or a solve that stays inside the arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/mtx.hpp"
#include "za38_entry.hpp"
#include "za38_hand_factors.hpp"
#include "za38_support.hpp"

namespace {

using tbl::test::HandDense;
using tbl::test::HandShape;
using tbl::test::messages;
using tbl::test::za38_cd;
using tbl::test::write_hand_factors;
using tbl::test::Za38;
using Dense = std::vector<long double>;

// Solves the dense n by n system A x = b (row-major) by Gaussian
// elimination with partial pivoting in extended precision.
Dense dense_solve(Dense a, Dense b, int n) {
  for (int k = 0; k < n; ++k) {
    int piv = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(a[i * n + k]) > std::fabs(a[piv * n + k])) piv = i;
    for (int j = 0; j < n; ++j) std::swap(a[k * n + j], a[piv * n + j]);
    std::swap(b[k], b[piv]);
    for (int i = k + 1; i < n; ++i) {
      const long double f = a[i * n + k] / a[k * n + k];
      for (int j = k; j < n; ++j) a[i * n + j] -= f * a[k * n + j];
      b[i] -= f * b[k];
    }
  }
  for (int k = n - 1; k >= 0; --k) {
    for (int j = k + 1; j < n; ++j) b[k] -= a[k * n + j] * b[j];
    b[k] /= a[k * n + k];
  }
  return b;
}

Dense transposed(const Dense& a, int n) {
  Dense t(a.size());
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) t[j * n + i] = a[i * n + j];
  return t;
}

Dense widen(const std::vector<double>& v) { return Dense(v.begin(), v.end()); }

// The x that ZA38CD must return for (JOB, TRANSC), from the dense factors.
std::vector<double> reference(const HandDense& d, const std::vector<double>& b, int job, bool trans) {
  const int n = d.n;
  const Dense l = widen(d.l), u = widen(d.u), o = widen(d.o);
  Dense x(n), w(n);
  if (job == 1) {
    if (!trans) {
      for (int i = 0; i < n; ++i) w[i] = b[d.rperm[i] - 1];
      x = dense_solve(l, w, n);
    } else {
      const Dense z = dense_solve(transposed(l, n), widen(b), n);
      for (int i = 0; i < n; ++i) x[d.rperm[i] - 1] = z[i];
    }
  } else if (job == 2) {
    // U with L^-1 times the entries above the blocks.
    Dense uf = u;
    for (int c = 0; c < n; ++c) {
      Dense col(n);
      for (int i = 0; i < n; ++i) col[i] = o[i * n + c];
      const Dense lc = dense_solve(l, col, n);
      for (int i = 0; i < n; ++i) uf[i * n + c] += lc[i];
    }
    if (!trans) {
      const Dense y = dense_solve(uf, widen(b), n);
      for (int i = 0; i < n; ++i) x[d.cperm[i] - 1] = y[i];
    } else {
      for (int i = 0; i < n; ++i) w[i] = b[d.cperm[i] - 1];
      x = dense_solve(transposed(uf, n), w, n);
    }
  } else {
    Dense a(size_t(n) * n, 0.0L);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        long double s = o[i * n + j];
        for (int k = 0; k < n; ++k) s += l[i * n + k] * u[k * n + j];
        a[i * n + j] = s;
      }
    if (!trans) {
      for (int i = 0; i < n; ++i) w[i] = b[d.rperm[i] - 1];
      const Dense y = dense_solve(a, w, n);
      for (int i = 0; i < n; ++i) x[d.cperm[i] - 1] = y[i];
    } else {
      for (int i = 0; i < n; ++i) w[i] = b[d.cperm[i] - 1];
      const Dense z = dense_solve(transposed(a, n), w, n);
      for (int i = 0; i < n; ++i) x[d.rperm[i] - 1] = z[i];
    }
  }
  return std::vector<double>(x.begin(), x.end());
}

double max_rel_diff(const std::vector<double>& a, const std::vector<double>& b) {
  double d = 0.0, s = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    d = std::max(d, std::fabs(a[i] - b[i]));
    s = std::max(s, std::fabs(b[i]));
  }
  return d / std::max(s, 1e-300);
}

std::vector<double> random_rhs(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> b(n);
  for (double& v : b) v = u(gen);
  return b;
}

const std::vector<HandShape> kShapes = {
    {"OneRecordWholeBlock", 5, {{5}}, {5}, false, 1},
    {"MixedRecords", 9, {{3, 1, 2, 1, 2}}, {9}, true, 2},
    {"SinglePivotRecords", 7, {{1, 1, 1, 1, 1, 1, 1}}, {7}, false, 3},
    {"SingularBlock", 6, {{2, 1, 1}}, {6}, true, 4},
    {"Blocks", 12, {{}, {2, 1}, {}, {1, 3}, {}, {1, 1}}, {1, 3, 1, 4, 1, 2}, true, 5},
    {"AllSingletons", 6, {{}, {}, {}, {}, {}, {}}, {1, 1, 1, 1, 1, 1}, false, 6},
    {"SingularBlockAmongOthers", 8, {{}, {2, 1}, {1, 1}}, {1, 4, 3}, false, 7},
};

class Za38cdHand : public testing::TestWithParam<HandShape> {};

INSTANTIATE_TEST_SUITE_P(Shapes, Za38cdHand, testing::ValuesIn(kShapes),
                         [](const testing::TestParamInfo<HandShape>& i) { return std::string(i.param.name); });

TEST_P(Za38cdHand, EveryJobAndOrientationMatchesDenseSolves) {
  Za38 p(1, {1}, {1}, {1.0});
  const HandDense d = write_hand_factors(GetParam(), p);
  const std::vector<int32_t> index0 = p.index, keep0(p.keep, p.keep + 20), info0(p.info, p.info + 40);
  const std::vector<double> value0 = p.value;
  const std::vector<double> b = random_rhs(p.n, 11);
  for (int job : {0, 1, 2})
    for (bool trans : {false, true}) {
      std::vector<double> x;
      ASSERT_EQ(p.solve(b, x, job, trans), 0);
      EXPECT_LT(max_rel_diff(x, reference(d, b, job, trans)), 1e-13) << "JOB " << job << " trans " << trans;
    }
  // Nothing but X, W and the solve's own INFO and RINFO entries is written.
  EXPECT_EQ(p.index, index0);
  EXPECT_EQ(p.value, value0);
  EXPECT_EQ(std::vector<int32_t>(p.keep, p.keep + 20), keep0);
  for (int k = 1; k < 40; ++k) EXPECT_TRUE(k == 23 || p.info[k] == info0[k]) << "INFO(" << k + 1 << ")";
}

TEST_P(Za38cdHand, OneFactorSolvesComposeToTheWholeSolve) {
  Za38 p(1, {1}, {1}, {1.0});
  write_hand_factors(GetParam(), p);
  const std::vector<double> b = random_rhs(p.n, 12);
  std::vector<double> y, x, whole;
  ASSERT_EQ(p.solve(b, y, 1), 0);
  ASSERT_EQ(p.solve(y, x, 2), 0);
  ASSERT_EQ(p.solve(b, whole, 0), 0);
  EXPECT_LT(max_rel_diff(x, whole), 1e-13);
}

// omega1 and omega2 of x for op(M) x = b, evaluated independently.
std::pair<double, double> omegas(const Za38& p, const std::vector<double>& b, const std::vector<double>& x,
                                 bool trans, double eps) {
  const int n = p.n;
  std::vector<long double> r(b.begin(), b.end()), ax(n, 0.0L), rs(n, 0.0L);
  for (int k = 0; k < p.ne(); ++k) {
    const int i = trans ? p.col0[k] : p.row0[k], j = trans ? p.row0[k] : p.col0[k];
    r[i - 1] -= static_cast<long double>(p.val0[k]) * x[j - 1];
    ax[i - 1] += std::fabs(static_cast<long double>(p.val0[k]) * x[j - 1]);
    rs[i - 1] += std::fabs(p.val0[k]);
  }
  long double xn = 0.0L;
  for (double v : x) xn = std::max<long double>(xn, std::fabs(v));
  const long double tau = 1000.0L * eps * n;
  long double w1 = 0.0L, w2 = 0.0L;
  for (int i = 0; i < n; ++i) {
    const long double d1 = std::fabs(b[i]) + ax[i], d2 = (std::fabs(b[i]) + rs[i] * xn) * tau;
    if (d1 > d2)
      w1 = std::max(w1, std::fabs(r[i]) / d1);
    else if (d2 > 0)
      w2 = std::max(w2, std::fabs(r[i]) / (ax[i] + rs[i] * xn));
  }
  return {static_cast<double>(w1), static_cast<double>(w2)};
}

TEST(Za38cd, RefinementRepairsAnInexactFactorisation) {
  // The stored reals perturbed by a relative 1e-7: the plain solve is off
  // by about that much, and each correction gains about as much again.
  struct Case {
    int32_t steps;
    bool trans;
    double cntl3;
  };
  for (const Case c : {Case{10, false, 2.220446049250313e-16}, Case{10, true, 2.220446049250313e-16},
                       Case{1, false, 2.220446049250313e-16}, Case{10, false, 0.0}}) {
    Za38 p(1, {1}, {1}, {1.0});
    write_hand_factors(kShapes[4], p);
    const int64_t xb = p.keep[0] + p.ne() + p.idx(p.lindex - 5);
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-1e-7, 1e-7);
    for (int64_t q = xb; q <= p.lvalue; ++q) p.value[q - 1] *= 1.0 + u(gen);
    p.icntl[7] = c.steps;
    p.cntl[2] = c.cntl3;
    const std::vector<double> b = random_rhs(p.n, 13);
    std::vector<double> x;
    ASSERT_EQ(p.solve(b, x, 0, c.trans), 0);
    EXPECT_GE(p.info[23], 1);
    EXPECT_LE(p.info[23], c.steps);
    // RINFO(7), RINFO(8) describe the x returned.
    const auto w = omegas(p, b, x, c.trans, c.cntl3 > 0 ? c.cntl3 : 3.0517578125e-05);
    // (Equal up to the rounding of the residual itself.)
    EXPECT_NEAR(p.rinfo[6], w.first, 1e-3 * w.first + 5e-16);
    EXPECT_NEAR(p.rinfo[7], w.second, 1e-3 * w.second + 5e-16);
    if (c.steps > 1) {
      EXPECT_LT(w.first + w.second, 1e-14);
    }
    EXPECT_LT(p.relative_residual(b, x, c.trans), c.steps > 1 ? 1e-13 : 1e-9);
  }
}

// Unsymmetric matrices of the collection (reducible or not, some of them
// ill-conditioned), factorised with the copy kept and solved in both
// orientations: after refinement the backward errors, reported and
// evaluated independently, are below 1e-14.
TEST(Za38cd, CollectionMatricesRefineToTheirBackwardError) {
  const double eps = 2.220446049250313e-16;
  for (const char* file : {"west0479.mtx", "fs_183_1.mtx", "bp_1200.mtx", "gre_1107.mtx", "rajat19.mtx",
                           "nnc1374.mtx", "watt_2.mtx"}) {
    SCOPED_TRACE(file);
    Za38 p(tbl::test::read_mtx(tbl::test::matrix_path(file)));
    ASSERT_GE(p.analyse_growing(1), 0);
    std::vector<double> xt(p.n);
    for (int i = 0; i < p.n; ++i) xt[i] = 1.0 + (i % 7) * 0.125;
    p.icntl[7] = 10;
    for (const bool trans : {false, true}) {
      const std::vector<double> b = p.apply(xt, trans);
      std::vector<double> x;
      ASSERT_EQ(p.solve(b, x, 0, trans), 0);
      const auto w = omegas(p, b, x, trans, eps);
      EXPECT_LT(w.first + w.second, 1e-14) << "trans " << trans;
      EXPECT_LT(p.rinfo[6] + p.rinfo[7], 1e-14) << "trans " << trans;
    }
  }
}

TEST(Za38cd, RefinementOffOrImpossible) {
  struct Case {
    const char* name;
    bool preserve;
    int32_t steps, job, status, info24;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"NegativeStepsActAsNone", true, -3, 0, 0, 0, ""},
      {"NotPreserved", false, 2, 0, 8, 0, " ZA38CD: no iterative refinement: original matrix not preserved\n"},
      {"OnlyL", true, 2, 1, 8, 0, " ZA38CD: no iterative refinement: only for Ax=b or A'x=b\n"},
      {"OnlyLNotPreserved", false, 2, 1, 8, 0, " ZA38CD: no iterative refinement: original matrix not preserved\n"},
  };
  for (const Case& c : cases) {
    Za38 p(1, {1}, {1}, {1.0});
    HandShape shape = kShapes[1];
    shape.preserve = c.preserve;
    write_hand_factors(shape, p);
    p.icntl[7] = c.steps;
    std::vector<double> x;
    const std::string out = messages(p, 2, [&] { p.solve(random_rhs(p.n, 3), x, c.job); });
    EXPECT_EQ(p.info[0], c.status) << c.name;
    EXPECT_EQ(p.info[23], c.info24) << c.name;
    EXPECT_EQ(p.rinfo[6], 0.0) << c.name;
    EXPECT_EQ(p.rinfo[7], 0.0) << c.name;
    EXPECT_EQ(out, c.text) << c.name;
  }
}

// N < 1 after a good factorisation is the argument error of every phase,
// not damaged factors, and nothing but the status is written.
TEST(Za38cd, OrderBelowOneIsAnArgumentError) {
  Za38 p(1, {1}, {1}, {1.0});
  write_hand_factors(kShapes[1], p);
  p.icntl[7] = 2;
  const std::vector<double> b = random_rhs(p.n, 5);
  for (int32_t n : {0, -1}) {
    std::vector<double> x(p.n, 42.0), w(4 * size_t(p.n), 42.0);
    const int32_t job = 0, trans = 0;
    const std::string out = messages(p, 1, [&] {
      za38_cd(&n, &job, &trans, &p.lvalue, &p.lindex, p.value.data(), p.index.data(), p.keep, b.data(), x.data(),
              w.data(), p.cntl, p.icntl, p.info, p.rinfo);
    });
    EXPECT_EQ(p.info[0], -1) << n;
    EXPECT_EQ(out, " ZA38CD: N less than one!\n") << n;
    EXPECT_EQ(x, std::vector<double>(p.n, 42.0)) << n;
    EXPECT_EQ(w, std::vector<double>(4 * size_t(p.n), 42.0)) << n;
  }
}

// Every word of INDEX(K3..K5) and of KEEP(1..5) damaged in turn: either -7
// with X untouched, or an accepted set that the solve reads inside its
// arrays (a sanitizer build checks that).
TEST(Za38cd, DamagedFactorsAreRefusedOrReadSafely) {
  for (const HandShape& shape : {kShapes[1], kShapes[4], kShapes[6]}) {
    Za38 p(1, {1}, {1}, {1.0});
    write_hand_factors(shape, p);
    p.icntl[7] = 2;
    const std::vector<double> b = random_rhs(p.n, 17);
    const std::vector<int32_t> index0 = p.index;
    const int32_t keep0[5] = {p.keep[0], p.keep[1], p.keep[2], p.keep[3], p.keep[4]};
    int refused = 0, tried = 0;
    auto run = [&] {
      for (int job : {0, 2})
        for (bool trans : {false, true}) {
          std::vector<double> x(p.n, 42.0);
          const int32_t st = p.solve(b, x, job, trans);
          ++tried;
          if (st == -7) {
            ++refused;
            EXPECT_EQ(x, std::vector<double>(p.n, 42.0));
          }
        }
    };
    const int32_t n = p.n;
    for (int64_t pos = p.keep[2]; pos <= p.keep[4]; ++pos) {
      const int32_t was = index0[pos - 1];
      for (int32_t v : {0, -1, INT_MIN, INT_MAX, n + 1, 3 * n + 1, was + 1, was - 1, was + 1000}) {
        p.index[pos - 1] = v;
        run();
      }
      p.index[pos - 1] = was;
    }
    for (int k = 0; k < 5; ++k) {
      for (int32_t v : {0, -1, INT_MAX, keep0[k] + 1, keep0[k] - 1}) {
        p.keep[k] = v;
        run();
      }
      p.keep[k] = keep0[k];
    }
    EXPECT_GT(refused, tried / 4) << shape.name;
    p.keep[0] = p.keep[1] = p.keep[2] = p.keep[3] = p.keep[4] = 0;
    std::vector<double> x;
    const std::string out = messages(p, 1, [&] { p.solve(b, x); });
    EXPECT_EQ(p.info[0], -7);
    EXPECT_EQ(out, " ZA38CD: LU factors uncomputed or corrupted!\n");
  }
}

}  // namespace
