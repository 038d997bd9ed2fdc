// MC29AD (scaling) and MC09AD (products) through the exports.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "TesselBasicLib.h"
#include "support/child.hpp"
#include "support/mtx.hpp"

using namespace tbl::test;

namespace {

struct Scaling {
  std::vector<double> r, c, w;
  int ifail = 99;
};

Scaling scale(int m, int n, const std::vector<double>& a, const std::vector<int>& irn, const std::vector<int>& icn,
              int lp = 0, int ne = -1) {
  Scaling s;
  s.r.assign(static_cast<std::size_t>(std::max(m, 1)), 123.0);
  s.c.assign(static_cast<std::size_t>(std::max(n, 1)), 123.0);
  s.w.assign(static_cast<std::size_t>(std::max(2 * m + 3 * n, 1)), 123.0);
  if (ne < 0) ne = static_cast<int>(a.size());
  VIZ_MC29AD(&m, &n, &ne, a.data(), irn.data(), icn.data(), s.r.data(), s.c.data(), s.w.data(), &lp, &s.ifail);
  return s;
}

// The quantity the scaling minimises, over the entries that take part.
double objective(int m, int n, const std::vector<double>& a, const std::vector<int>& irn,
                 const std::vector<int>& icn, const std::vector<double>& r, const std::vector<double>& c) {
  double f = 0.0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    const int i = irn[k], j = icn[k];
    if (a[k] == 0.0 || i < 1 || i > m || j < 1 || j > n) continue;
    const double t = std::log(std::fabs(a[k])) + r[static_cast<std::size_t>(i - 1)] + c[static_cast<std::size_t>(j - 1)];
    f += t * t;
  }
  return f;
}

TEST(Mc29Scaling, SingleEntryScalesToOne) {
  const double v = std::exp(2.0);
  const Scaling s = scale(1, 1, {v}, {1}, {1});
  EXPECT_EQ(s.ifail, 0);
  EXPECT_EQ(s.r[0], 0.0);
  EXPECT_NEAR(s.c[0], -2.0, 1e-15);
  EXPECT_NEAR(v * std::exp(s.r[0] + s.c[0]), 1.0, 1e-15);
}

TEST(Mc29Scaling, EqualMagnitudesScaleToOneAndUnusedEntriesAreIgnored) {
  // A 3 x 4 pattern with entries of magnitude 7, plus a zero value and
  // indices outside the matrix, which must take no part (a zero would give
  // an infinite logarithm); row 2 and column 3 have no entry in use.
  const std::vector<int> irn = {1, 1, 3, 3, 1, 2, 0, 4, 3};
  const std::vector<int> icn = {1, 2, 2, 4, 4, 3, 1, 1, 5};
  const std::vector<double> a = {7, -7, 7, -7, 7, 0.0, 5, 5, 5};
  const Scaling s = scale(3, 4, a, irn, icn);
  ASSERT_EQ(s.ifail, 0);
  for (std::size_t k = 0; k < 5; ++k)
    EXPECT_NEAR(s.r[static_cast<std::size_t>(irn[k] - 1)] + s.c[static_cast<std::size_t>(icn[k] - 1)], -std::log(7.0), 1e-14);
  EXPECT_EQ(s.r[1], 0.0);
  EXPECT_EQ(s.c[2], 0.0);
}

TEST(Mc29Scaling, ReachesTheLeastSquaresOptimumOnARealMatrix) {
  // A real matrix with its rows and columns badly scaled on purpose, so
  // that the iteration has work to do; the optimum is that of the original.
  Coo mat = read_mtx(matrix_path("west0067.mtx"));
  const int m = mat.nrows, n = mat.ncols;
  for (int k = 0; k < mat.nnz(); ++k) mat.val[k] *= std::exp(4.0 * std::sin(mat.row[k]) + 4.0 * std::cos(mat.col[k]));
  const Scaling s = scale(m, n, mat.val, mat.row, mat.col);
  ASSERT_EQ(s.ifail, 0);

  // The optimum by many sweeps of exact block minimisation over the rows
  // and then the columns: slow, but plainly right.
  std::vector<double> r(static_cast<std::size_t>(m), 0.0), c(static_cast<std::size_t>(n), 0.0);
  for (int sweep = 0; sweep < 5000; ++sweep) {
    std::vector<double> sr(r.size(), 0.0), nr(r.size(), 0.0), sc(c.size(), 0.0), nc(c.size(), 0.0);
    for (int k = 0; k < mat.nnz(); ++k) {
      if (mat.val[k] == 0.0) continue;
      sr[static_cast<std::size_t>(mat.row[k] - 1)] -= std::log(std::fabs(mat.val[k])) + c[static_cast<std::size_t>(mat.col[k] - 1)];
      nr[static_cast<std::size_t>(mat.row[k] - 1)] += 1;
    }
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = nr[i] > 0 ? sr[i] / nr[i] : 0.0;
    for (int k = 0; k < mat.nnz(); ++k) {
      if (mat.val[k] == 0.0) continue;
      sc[static_cast<std::size_t>(mat.col[k] - 1)] -= std::log(std::fabs(mat.val[k])) + r[static_cast<std::size_t>(mat.row[k] - 1)];
      nc[static_cast<std::size_t>(mat.col[k] - 1)] += 1;
    }
    for (std::size_t j = 0; j < c.size(); ++j) c[j] = nc[j] > 0 ? sc[j] / nc[j] : 0.0;
  }
  const std::vector<double> zr(r.size(), 0.0), zc(c.size(), 0.0);
  const double f0 = objective(m, n, mat.val, mat.row, mat.col, zr, zc);
  const double fopt = objective(m, n, mat.val, mat.row, mat.col, r, c);
  const double f = objective(m, n, mat.val, mat.row, mat.col, s.r, s.c);
  ASSERT_LT(fopt, f0);
  // The iteration stops once its residual is below 0.1 per entry, so it
  // comes close to the optimum without reaching it exactly.
  EXPECT_LE(f, fopt + 0.1 * mat.nnz()) << "f0 " << f0 << " fopt " << fopt;
  EXPECT_LT(f, 0.05 * f0) << "f0 " << f0 << " fopt " << fopt;
}

TEST(Mc29Errors, ReportedAndTheOutputsLeftAlone) {
  struct Case {
    int m, n, ne, want;
  } cases[] = {{0, 3, 0, -1}, {3, -1, 5, -1}, {2, 2, 0, -2}};
  for (const auto& c : cases) {
    const auto r = run_in_child([&] {
      const Scaling s = scale(c.m, c.n, {1.0}, {1}, {1}, 6, c.ne);
      std::fflush(stdout);
      bool untouched = s.ifail == c.want;
      for (double x : s.r) untouched = untouched && x == 123.0;
      for (double x : s.c) untouched = untouched && x == 123.0;
      for (double x : s.w) untouched = untouched && x == 123.0;
      std::_Exit(untouched ? 0 : 1);
    });
    EXPECT_EQ(r.status, 0) << c.m << " " << c.n << " " << c.ne;
    char line[40];
    std::snprintf(line, sizeof line, " IFAIL =%3d", c.want);
    EXPECT_EQ(r.out, "\n **** Error return from MC29AD ****\n" + std::string(line) + "\n");
  }
  const auto quiet = run_in_child([] {
    const Scaling s = scale(0, 0, {1.0}, {1}, {1}, 0, 0);
    std::fflush(stdout);
    std::_Exit(s.ifail == -1 ? 0 : 1);
  });
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
}

// Column form of a random matrix with some long columns and some empty ones.
struct ColMatrix {
  int m, n;
  std::vector<int> ip, irn;
  std::vector<double> a;
};

ColMatrix random_columns(int m, int n, unsigned seed) {
  std::mt19937 gen(seed);
  ColMatrix c{m, n, {1}, {}, {}};
  std::uniform_int_distribution<int> row(1, m), len(0, 30);
  std::uniform_real_distribution<double> val(-1.0, 1.0);
  for (int j = 1; j <= n; ++j) {
    const int l = j % 5 == 0 ? 0 : len(gen);
    for (int k = 0; k < l; ++k) {
      c.irn.push_back(row(gen));  // repeated rows are fine for a product
      c.a.push_back(val(gen));
    }
    c.ip.push_back(static_cast<int>(c.irn.size()) + 1);
  }
  return c;
}

TEST(Mc09Product, PlainAndTransposedMatchADenseProduct) {
  const ColMatrix c = random_columns(37, 53, 5);
  std::vector<double> dense(37 * 53, 0.0);
  for (int j = 1; j <= c.n; ++j)
    for (int k = c.ip[static_cast<std::size_t>(j - 1)]; k < c.ip[static_cast<std::size_t>(j)]; ++k)
      dense[static_cast<std::size_t>((c.irn[static_cast<std::size_t>(k - 1)] - 1) + 37 * (j - 1))] += c.a[static_cast<std::size_t>(k - 1)];
  std::vector<double> xn(53), xm(37);
  for (std::size_t i = 0; i < xn.size(); ++i) xn[i] = std::sin(1.0 + static_cast<double>(i));
  for (std::size_t i = 0; i < xm.size(); ++i) xm[i] = std::cos(2.0 + static_cast<double>(i));

  for (int trans : {0, 2, -1, 1, 3}) {
    const bool t = (trans & 1) != 0;
    std::vector<double> y(t ? 53 : 37, 0.25);
    MC09AD(nullptr, &c.n, c.a.data(), t ? xm.data() : xn.data(), y.data(), &trans, c.irn.data(), c.ip.data());
    for (std::size_t i = 0; i < y.size(); ++i) {
      double want = 0.25;
      if (t)
        for (int r = 0; r < 37; ++r) want += dense[static_cast<std::size_t>(r) + 37 * i] * xm[static_cast<std::size_t>(r)];
      else
        for (int j = 0; j < 53; ++j) want += dense[i + 37 * static_cast<std::size_t>(j)] * xn[static_cast<std::size_t>(j)];
      EXPECT_NEAR(y[i], want, 1e-13) << "TRANS " << trans << " component " << i;
    }
  }
}

TEST(Mc09Product, AccumulatesAndDoesNothingWithoutColumns) {
  // Y := Y + A x followed by Y := Y + A' x into the same 2-vector.
  const int n = 2;
  const std::vector<int> ip = {1, 3, 3}, irn = {1, 2};
  const std::vector<double> a = {2.0, 3.0}, x = {1.0, 10.0};
  std::vector<double> y = {1.0, 1.0};
  const int no = 0, yes = -1;
  VIZ_MC09AD(&n, &n, a.data(), x.data(), y.data(), &no, irn.data(), ip.data());
  EXPECT_EQ(y, (std::vector<double>{3.0, 4.0}));
  VIZ_MC09AD(&n, &n, a.data(), x.data(), y.data(), &yes, irn.data(), ip.data());
  EXPECT_EQ(y, (std::vector<double>{35.0, 4.0}));  // column 2 is empty

  for (int none : {0, -3}) {
    std::vector<double> z = {7.0, 8.0};
    VIZ_MC09AD(&n, &none, a.data(), x.data(), z.data(), &yes, irn.data(), ip.data());
    EXPECT_EQ(z, (std::vector<double>{7.0, 8.0}));
  }
}

}  // namespace
