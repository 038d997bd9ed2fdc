// Solve and refinement on factors made by the analyse and factorise phases:
// real positive definite, saddle-point and singular matrices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "support/mtx.hpp"
#include "sym_ldlt/ma57.hpp"
#include "sym_ldlt/ma57_factor.hpp"
#include "sym_ldlt/ma57_hand_factors.hpp"
#include "sym_ldlt/ma57_solve.hpp"

namespace {

using tbl::fint;

struct Factorised {
  fint n = 0;
  std::vector<fint> irn, jcn;
  std::vector<double> a;
  std::vector<double> cntl = std::vector<double>(5);
  std::vector<fint> icntl = std::vector<fint>(20), info = std::vector<fint>(40);
  std::vector<double> rinfo = std::vector<double>(20);
  std::vector<fint> keep, iwork;
  std::vector<double> fact;
  std::vector<fint> ifact;
  fint lfact = 0, lifact = 0;

  fint ne() const { return static_cast<fint>(a.size()); }

  explicit Factorised(const tbl::test::Coo& coo) : n(coo.nrows) {
    for (int k = 0; k < coo.nnz(); ++k) {
      if (coo.row[k] < coo.col[k]) continue;
      irn.push_back(coo.row[k]);
      jcn.push_back(coo.col[k]);
      a.push_back(coo.val[k]);
    }
    factorise();
  }
  Factorised(fint order, std::vector<fint> i, std::vector<fint> j, std::vector<double> v)
      : n(order), irn(std::move(i)), jcn(std::move(j)), a(std::move(v)) {
    factorise();
  }

  void factorise() {
    const fint nn = n, nne = ne();
    MA57_DEFAULTS(cntl.data(), icntl.data());
    icntl[4] = 0;
    const fint lkeep = static_cast<fint>(tbl::ma57::min_lkeep(nn, nne));
    keep.assign(static_cast<std::size_t>(lkeep), 0);
    iwork.assign(5 * static_cast<std::size_t>(nn), 0);
    MA57AD(&nn, &nne, irn.data(), jcn.data(), &lkeep, keep.data(), iwork.data(), icntl.data(), info.data(),
           rinfo.data());
    ASSERT_GE(info[0], 0);
    // The forecast does not know about delayed pivots: grow the arrays that
    // ran short until the factors fit.
    lfact = std::max<fint>(info[8], nne + 1);
    lifact = std::max<fint>(info[9], nn + 5 + keep[nn + 1]);
    for (int attempt = 0; attempt < 10; ++attempt) {
      fact.assign(static_cast<std::size_t>(lfact), 0.0);
      ifact.assign(static_cast<std::size_t>(lifact), 0);
      MA57BD(&nn, &nne, a.data(), fact.data(), &lfact, ifact.data(), &lifact, &lkeep, keep.data(), iwork.data(),
             icntl.data(), cntl.data(), info.data(), rinfo.data());
      if (info[0] == -3)
        lfact = std::max(2 * lfact, info[16]);
      else if (info[0] == -4)
        lifact = std::max(2 * lifact, info[17]);
      else
        break;
    }
    ASSERT_GE(info[0], 0);
  }

  std::vector<double> times(const std::vector<double>& x) const {
    std::vector<double> y(n, 0.0);
    for (fint k = 0; k < ne(); ++k) {
      y[irn[k] - 1] += a[k] * x[jcn[k] - 1];
      if (irn[k] != jcn[k]) y[jcn[k] - 1] += a[k] * x[irn[k] - 1];
    }
    return y;
  }

  // Normwise backward error of x for A x = b.
  double backward_error(const std::vector<double>& x, const std::vector<double>& b) const {
    std::vector<double> rowsum(n, 0.0);
    for (fint k = 0; k < ne(); ++k) {
      rowsum[irn[k] - 1] += std::abs(a[k]);
      if (irn[k] != jcn[k]) rowsum[jcn[k] - 1] += std::abs(a[k]);
    }
    const auto ax = times(x);
    double r = 0.0, anorm = 0.0, xnorm = 0.0, bnorm = 0.0;
    for (fint i = 0; i < n; ++i) {
      r = std::max(r, std::abs(b[i] - ax[i]));
      anorm = std::max(anorm, rowsum[i]);
      xnorm = std::max(xnorm, std::abs(x[i]));
      bnorm = std::max(bnorm, std::abs(b[i]));
    }
    return r / (anorm * xnorm + bnorm);
  }

  void solve(fint job, fint nrhs, std::vector<double>& rhs) {
    const fint lw = n * nrhs;
    std::vector<double> w(static_cast<std::size_t>(lw));
    std::vector<fint> info_copy = info;
    MA57CD(&job, &n, fact.data(), &lfact, ifact.data(), &lifact, &nrhs, rhs.data(), &n, w.data(), &lw,
           iwork.data(), icntl.data(), info.data());
    EXPECT_EQ(info, info_copy);
  }

  // Refinement from scratch (JOB 0); returns X.
  std::vector<double> refine(const std::vector<double>& b, fint steps, fint analysis) {
    const fint job = 0, nne = ne();
    std::vector<double> x(n), resid(n), w(4 * static_cast<std::size_t>(n));
    std::vector<fint> ic = icntl;
    ic[8] = steps;
    ic[9] = analysis;
    MA57DD(&job, &n, &nne, a.data(), irn.data(), jcn.data(), fact.data(), &lfact, ifact.data(), &lifact, b.data(),
           x.data(), resid.data(), w.data(), iwork.data(), ic.data(), cntl.data(), info.data(), rinfo.data());
    return x;
  }
};

std::vector<double> wavy(fint n, int seed) {
  std::vector<double> x(n);
  for (fint i = 0; i < n; ++i) x[i] = std::sin(0.7 * i + seed) + 1.5;
  return x;
}

struct Known {
  const char* file;
  int negative;  // negative eigenvalues
};

class MA57SolveReal : public ::testing::TestWithParam<Known> {};

TEST_P(MA57SolveReal, SolvesRefinesAndCountsInertia) {
  const Known k = GetParam();
  const auto coo = tbl::test::read_mtx(tbl::test::matrix_path(k.file));
  Factorised f(coo);
  ASSERT_EQ(f.info[0], 0) << k.file;
  EXPECT_EQ(f.info[23], k.negative) << k.file;

  // Ten right-hand sides at once, against ten single solves.
  const fint n = f.n, nrhs = 10;
  std::vector<double> many;
  for (int j = 0; j < nrhs; ++j) {
    const auto b = f.times(wavy(n, j));
    many.insert(many.end(), b.begin(), b.end());
  }
  const std::vector<double> bs = many;
  f.solve(1, nrhs, many);
  for (int j = 0; j < nrhs; ++j) {
    std::vector<double> one(bs.begin() + j * n, bs.begin() + (j + 1) * n);
    const std::vector<double> b = one;
    f.solve(1, 1, one);
    // Threshold pivoting lets entries grow: without refinement the normwise
    // backward error may be well above rounding level.
    EXPECT_LT(f.backward_error(one, b), 1e-9) << k.file << " column " << j;
    for (fint i = 0; i < n; ++i) ASSERT_NEAR(many[j * n + i], one[i], 1e-9 * (1 + std::abs(one[i]))) << k.file;
  }

  // The full solve is the forward, diagonal and backward solves in turn.
  std::vector<double> parts(bs.begin(), bs.begin() + n), whole = parts;
  for (fint job : {2, 3, 4}) f.solve(job, 1, parts);
  f.solve(1, 1, whole);
  for (fint i = 0; i < n; ++i) EXPECT_NEAR(parts[i], whole[i], 1e-9 * (1 + std::abs(whole[i]))) << k.file;

  // Refinement brings the componentwise backward error to rounding level.
  const std::vector<double> b(bs.begin(), bs.begin() + n);
  const auto x = f.refine(b, 10, 1);
  EXPECT_EQ(f.info[0], 0) << k.file;
  EXPECT_LT(f.rinfo[5] + f.rinfo[6], 1e-14) << k.file;
  EXPECT_GT(f.rinfo[10], 0.0) << k.file;
  EXPECT_GT(f.rinfo[12], 0.0) << k.file;
  if (n > 64) return;
  // Small enough to know the true solution: the error bound brackets the
  // true error.
  tbl::test::Dense dense(n);
  for (fint e = 0; e < f.ne(); ++e) {
    dense(f.irn[e], f.jcn[e]) += f.a[e];
    if (f.irn[e] != f.jcn[e]) dense(f.jcn[e], f.irn[e]) += f.a[e];
  }
  const auto xstar = tbl::test::solve_exact(dense, b);
  EXPECT_LE(tbl::test::rel_diff(x, xstar) * tbl::test::max_abs(xstar) / tbl::test::max_abs(x), f.rinfo[12])
      << k.file;
  EXPECT_LT(f.rinfo[12], 1e-6) << k.file;
}

std::string matrix_name(const ::testing::TestParamInfo<Known>& p) {
  std::string s = p.param.file;
  s = s.substr(0, s.find('.'));
  std::replace(s.begin(), s.end(), '-', '_');
  return s;
}

INSTANTIATE_TEST_SUITE_P(Small, MA57SolveReal,
                         ::testing::Values(Known{"LFAT5.mtx", 0}, Known{"bcsstk01.mtx", 0},
                                           Known{"tumorAntiAngiogenesis_2.mtx", 122}),
                         matrix_name);
INSTANTIATE_TEST_SUITE_P(Larger, MA57SolveReal,
                         ::testing::Values(Known{"hangGlider_2.mtx", 733},
                                           Known{"kkt_cont050.mtx", 2401},
                                           Known{"bcsstk13.mtx", 0}),
                         matrix_name);

TEST(MA57SolveSingular, ConsistentSystemsAreSolved) {
  // A rank-2 matrix of order 4: rows 3 and 4 repeat rows 1 and 2.
  //   [ 2 1 2 1 ]
  //   [ 1 3 1 3 ]
  //   [ 2 1 2 1 ]
  //   [ 1 3 1 3 ]
  Factorised f(4, {1, 2, 2, 3, 3, 3, 4, 4, 4, 4}, {1, 1, 2, 1, 2, 3, 1, 2, 3, 4},
               {2.0, 1.0, 3.0, 2.0, 1.0, 2.0, 1.0, 3.0, 1.0, 3.0});
  ASSERT_EQ(f.info[0], 4);
  EXPECT_EQ(f.info[24], 2);
  const std::vector<double> b = f.times({1.0, -2.0, 0.5, 1.0});
  std::vector<double> x = b;
  f.solve(1, 1, x);
  EXPECT_LT(f.backward_error(x, b), 1e-15);
}

TEST(MA57SolveSingular, NumericallySingularRealMatrix) {
  const auto coo = tbl::test::read_mtx(tbl::test::matrix_path("zenios.mtx"));
  Factorised f(coo);
  ASSERT_GE(f.info[0], 0);
  const std::vector<double> b = f.times(wavy(f.n, 3));
  std::vector<double> x = b;
  f.solve(1, 1, x);
  EXPECT_LT(f.backward_error(x, b), 1e-10);
  const auto xr = f.refine(b, 10, 0);
  EXPECT_LT(f.backward_error(xr, b), 1e-14);
}

}  // namespace
