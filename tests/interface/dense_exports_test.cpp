// The BLAS, LAPACK and MINPACK entry points, called as a host calls them:
// through the shared library only, in both conventions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "TesselBasicLib.h"
#include "support/child.hpp"

namespace {

using tbl::test::run_in_child;
using Vec = std::vector<double>;

Vec random_vec(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Vec v(n);
  for (double& x : v) x = u(gen);
  return v;
}

// y = op(A) x for a column-major m x n matrix.
Vec matvec(const Vec& a, int m, int n, const Vec& x, bool trans = false) {
  Vec y(trans ? n : m, 0.0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) {
      if (trans)
        y[j] += a[i + j * static_cast<std::size_t>(m)] * x[i];
      else
        y[i] += a[i + j * static_cast<std::size_t>(m)] * x[j];
    }
  return y;
}

double max_diff(const Vec& x, const Vec& y) {
  double m = 0.0;
  for (std::size_t k = 0; k < x.size(); ++k) m = std::max(m, std::fabs(x[k] - y[k]));
  return m;
}

// A symmetric positive definite matrix: B'B + n I.
Vec spd(int n, unsigned seed) {
  Vec b = random_vec(static_cast<std::size_t>(n) * n, seed), a(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      for (int k = 0; k < n; ++k) a[i + j * n] += b[k + i * n] * b[k + j * n];
      if (i == j) a[i + j * n] += n;
    }
  return a;
}

TEST(LapackLu, SingularAndRegularMatricesInBothConventions) {
  double s[4] = {1.0, 2.0, 2.0, 4.0};  // rows (1, 2) and (2, 4)
  int32_t ipiv[2] = {};
  EXPECT_EQ(CLapack_DGETRF(2, 2, s, 2, ipiv), 2);
  EXPECT_EQ(ipiv[0], 2);
  EXPECT_EQ(ipiv[1], 2);
  EXPECT_EQ(s[0], 2.0);  // the factors are written
  EXPECT_EQ(s[1], 0.5);

  const int n = 30;
  const Vec a = random_vec(n * n, 3), x = random_vec(n, 4);
  for (bool trans : {false, true}) {
    const Vec b = matvec(a, n, n, x, trans);
    Vec f = a, y = b, f2 = a, y2 = b;
    std::vector<int32_t> p(n), p2(n);
    int32_t info = -1, one = 1;
    Lapack_DGETRF(&n, &n, f.data(), &n, p.data(), &info);
    ASSERT_EQ(info, 0);
    Lapack_DGETRS(trans ? "T" : "N", &n, &one, f.data(), &n, p.data(), y.data(), &n, &info);
    EXPECT_EQ(info, 0);
    EXPECT_LT(max_diff(y, x), 1e-12);
    ASSERT_EQ(CLapack_DGETRF(n, n, f2.data(), n, p2.data()), 0);
    EXPECT_EQ(CLapack_DGETRS(trans ? "t" : "n", n, 1, f2.data(), n, p2.data(), y2.data(), n), 0);
    EXPECT_EQ(y, y2);
    // The own-name export reaches the same routine.
    Vec f3 = a;
    DGETRF(&n, &n, f3.data(), &n, p2.data(), &info);
    EXPECT_EQ(f3, f);
  }

  const Vec b = matvec(a, n, n, x);
  Vec f = a, y = b, f2 = a, y2 = b;
  std::vector<int32_t> p(n);
  int32_t info = -1, one = 1;
  Lapack_DGESV(&n, &one, f.data(), &n, p.data(), y.data(), &n, &info);
  EXPECT_EQ(info, 0);
  EXPECT_LT(max_diff(y, x), 1e-12);
  EXPECT_EQ(CLapack_DGESV(n, 1, f2.data(), n, p.data(), y2.data(), n), 0);
  EXPECT_EQ(y, y2);
}

TEST(LapackCholesky, OptionLetterIgnoresCaseAndIndefiniteMatrixReportsItsMinor) {
  const int n = 12;
  const Vec a = spd(n, 5), x = random_vec(n, 6), b = matvec(a, n, n, x);
  Vec ref;
  for (const char* uplo : {"L", "l", "U", "u"}) {
    Vec f = a, y = b;
    int32_t info = -1, one = 1;
    Lapack_DPOTRF(uplo, &n, f.data(), &n, &info);
    ASSERT_EQ(info, 0);
    Lapack_DPOTRS(uplo, &n, &one, f.data(), &n, y.data(), &n, &info);
    EXPECT_EQ(info, 0);
    EXPECT_LT(max_diff(y, x), 1e-12);
    Vec f2 = a, y2 = b;
    EXPECT_EQ(CLapack_DPOTRF(uplo, n, f2.data(), n), 0);
    EXPECT_EQ(CLapack_DPOTRS(uplo, n, 1, f2.data(), n, y2.data(), n), 0);
    EXPECT_EQ(y2, y);
    Vec f3 = a;
    DPOTRF(uplo, &n, f3.data(), &n, &info, 1);
    EXPECT_EQ(f3, f);
    if (uplo[0] == 'L') ref = y;
    if (uplo[0] == 'l') {
      EXPECT_EQ(y, ref);
    }
  }
  double ind[4] = {1.0, 2.0, 2.0, 1.0};  // eigenvalues 3 and -1
  EXPECT_EQ(CLapack_DPOTRF("U", 2, ind, 2), 2);
}

TEST(LapackBanded, SolutionMatchesTheDenseSolve) {
  const int n = 20, kl = 2, ku = 1, ldab = 2 * kl + ku + 1;
  Vec dense(n * n, 0.0), ab(static_cast<std::size_t>(ldab) * n, 0.0);
  const Vec v = random_vec(n * n, 8);
  for (int j = 0; j < n; ++j)
    for (int i = std::max(0, j - ku); i <= std::min(n - 1, j + kl); ++i) {
      const double x = v[i + j * n] + (i == j ? 0.5 : 0.0);
      dense[i + j * n] = x;
      ab[(kl + ku + i - j) + j * static_cast<std::size_t>(ldab)] = x;
    }
  const Vec x = random_vec(n, 9), b = matvec(dense, n, n, x);
  for (bool byvalue : {false, true}) {
    Vec f = ab, y = b;
    std::vector<int32_t> p(n);
    int32_t info = -1, one = 1;
    if (byvalue) {
      ASSERT_EQ(CLapack_DGBTRF(n, n, kl, ku, f.data(), ldab, p.data()), 0);
      EXPECT_EQ(CLapack_DGBTRS("N", n, kl, ku, 1, f.data(), ldab, p.data(), y.data(), n), 0);
    } else {
      Lapack_DGBTRF(&n, &n, &kl, &ku, f.data(), &ldab, p.data(), &info);
      ASSERT_EQ(info, 0);
      Lapack_DGBTRS("N", &n, &kl, &ku, &one, f.data(), &ldab, p.data(), y.data(), &n, &info);
      EXPECT_EQ(info, 0);
    }
    EXPECT_LT(max_diff(y, x), 1e-11);
  }
}

TEST(LapackSpectral, EigenvaluesAndSingularValuesOfKnownMatrices) {
  // The second-difference matrix: eigenvalues 2 - 2 cos(k pi / (n + 1)).
  const int n = 8;
  Vec t(n * n, 0.0);
  for (int i = 0; i < n; ++i) {
    t[i + i * n] = 2.0;
    if (i + 1 < n) t[i + 1 + i * n] = t[i + (i + 1) * n] = -1.0;
  }
  Vec expect(n);
  for (int k = 1; k <= n; ++k) expect[k - 1] = 2.0 - 2.0 * std::cos(k * M_PI / (n + 1));
  const int lwork = 3 * n;
  for (int variant = 0; variant < 3; ++variant) {
    Vec a = t, w(n), work(lwork);
    int32_t info = -1;
    if (variant == 0) Lapack_DSYEV("V", "L", &n, a.data(), &n, w.data(), work.data(), &lwork, &info);
    if (variant == 1) info = CLapack_DSYEV("v", "u", n, a.data(), n, w.data(), work.data(), lwork);
    if (variant == 2) DSYEV("V", "L", &n, a.data(), &n, w.data(), work.data(), &lwork, &info, 1, 1);
    EXPECT_EQ(info, 0);
    EXPECT_LT(max_diff(w, expect), 1e-14);
    // First eigenvector against A v = lambda v.
    Vec v(a.begin(), a.begin() + n), av = matvec(t, n, n, v);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(av[i], w[0] * v[i], 1e-14);
  }
  // diag(3, 2) padded to 3 x 2 with a zero row, rotated: singular values 3, 2.
  const int m = 3, c = 2;
  const double cs = std::cos(0.3), sn = std::sin(0.3);
  Vec a = {3 * cs, 3 * sn, 0.0, -2 * sn, 2 * cs, 0.0};
  Vec a2 = a, s(2), s2(2), u(m * m), vt(c * c), work(200);
  std::vector<int32_t> iwork(8 * c);
  int32_t info = -1, lw = 200;
  Lapack_DGESDD("A", &m, &c, a.data(), &m, s.data(), u.data(), &m, vt.data(), &c, work.data(), &lw,
                iwork.data(), &info);
  EXPECT_EQ(info, 0);
  EXPECT_NEAR(s[0], 3.0, 1e-14);
  EXPECT_NEAR(s[1], 2.0, 1e-14);
  EXPECT_EQ(CLapack_DGESDD("N", m, c, a2.data(), m, s2.data(), u.data(), m, vt.data(), c, work.data(), lw,
                           iwork.data()),
            0);
  EXPECT_NEAR(s2[0], 3.0, 1e-14);
}

TEST(Blas, ProductsMatchAPlainLoop) {
  const int m = 7, n = 5, k = 4;
  const Vec a = random_vec(k * m, 12), b = random_vec(k * n, 13), c0 = random_vec(m * n, 14);
  const double alpha = 1.5, beta = -0.5;
  Vec c = c0;
  // C = alpha A' B + beta C with A stored k x m.
  BLAS_DGEMM("T", "N", &m, &n, &k, &alpha, a.data(), &k, b.data(), &k, &beta, c.data(), &m);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) {
      double s = 0.0;
      for (int l = 0; l < k; ++l) s += a[l + i * k] * b[l + j * k];
      EXPECT_NEAR(c[i + j * m], alpha * s + beta * c0[i + j * m], 1e-14);
    }
  Vec d = c0;  // only the upper triangle of an m x m result is referenced
  d.resize(m * m, 0.0);
  const Vec d0 = d;
  BLAS_DSYRK("U", "T", &m, &k, &alpha, a.data(), &k, &beta, d.data(), &m);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) {
      double s = 0.0;
      for (int l = 0; l < k; ++l) s += a[l + i * k] * a[l + j * k];
      const double want = i <= j ? alpha * s + beta * d0[i + j * m] : d0[i + j * m];
      EXPECT_NEAR(d[i + j * m], want, 1e-14);
    }
}

TEST(Minpack, MachineParametersNormAndQrWithPivoting) {
  for (int32_t i : {1, 2, 3}) EXPECT_EQ(Lmder_DPMPAR(&i), DPMPAR(&i));
  int32_t one = 1;
  EXPECT_NEAR(Lmder_DPMPAR(&one), 0x1p-52, 1e-26);  // machine precision

  const Vec x = {3.0, -4.0, 12.0};
  int32_t three = 3, zero = 0;
  EXPECT_DOUBLE_EQ(Lmder_ENORM(&three, x.data()), 13.0);
  EXPECT_EQ(ENORM(&three, x.data()), Lmder_ENORM(&three, x.data()));
  EXPECT_EQ(ENORM(&zero, x.data()), 0.0);

  // QR with column pivoting: IPVT a permutation, |R(k,k)| decreasing and
  // ACNORM the column norms of A, so every argument reached its place.
  const int m = 6, n = 4;
  const Vec a = random_vec(m * n, 21);
  Vec f = a, rdiag(n), acnorm(n), wa(n);
  std::vector<int32_t> ipvt(n);
  int32_t pivot = -1, lipvt = n;
  Lmder_QRFAC(&m, &n, f.data(), &m, &pivot, ipvt.data(), &lipvt, rdiag.data(), acnorm.data(), wa.data());
  std::vector<int32_t> sorted = ipvt;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int32_t>{1, 2, 3, 4}));
  for (int j = 0; j < n; ++j) {
    double s = 0.0;
    for (int i = 0; i < m; ++i) s += a[i + j * m] * a[i + j * m];
    EXPECT_NEAR(acnorm[j], std::sqrt(s), 1e-14);
    if (j > 0) {
      EXPECT_LE(std::fabs(rdiag[j]), std::fabs(rdiag[j - 1]) + 1e-15);
    }
  }
  Vec f2 = a, rdiag2(n), acnorm2(n);
  QRFAC(&m, &n, f2.data(), &m, &pivot, ipvt.data(), &lipvt, rdiag2.data(), acnorm2.data(), wa.data());
  EXPECT_EQ(rdiag2, rdiag);
}

TEST(Minpack, LevenbergMarquardtParameterMeetsTheTrustRegion) {
  // R upper triangular, identity permutation, D = I: with a large radius
  // the Gauss-Newton step R x = qtb is taken (par = 0); with a small one
  // the step's length is the radius within ten per cent.
  const int n = 3;
  const Vec r0 = {2.0, 0.0, 0.0, 0.5, 1.0, 0.0, -0.3, 0.2, 0.5};
  const Vec diag = {1.0, 1.0, 1.0}, qtb = {1.0, -2.0, 0.5};
  const std::vector<int32_t> ipvt = {1, 2, 3};
  for (double delta : {100.0, 0.2}) {
    Vec r = r0, x(n), sdiag(n), wa1(n), wa2(n);
    double par = 0.0;
    Lmder_LMPAR(&n, r.data(), &n, ipvt.data(), diag.data(), qtb.data(), &delta, &par, x.data(), sdiag.data(),
                wa1.data(), wa2.data());
    if (delta > 1.0) {
      EXPECT_EQ(par, 0.0);
      EXPECT_LT(max_diff(matvec(r0, n, n, x), qtb), 1e-14);
    } else {
      EXPECT_GT(par, 0.0);
      const double len = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
      EXPECT_LE(std::fabs(len - delta), 0.1 * delta);
    }
    Vec r2 = r0, x2(n);
    double par2 = 0.0;
    LMPAR(&n, r2.data(), &n, ipvt.data(), diag.data(), qtb.data(), &delta, &par2, x2.data(), sdiag.data(),
          wa1.data(), wa2.data());
    EXPECT_EQ(x2, x);
    EXPECT_EQ(par2, par);
  }
}

TEST(VectorKernels, ElementwiseInPlaceAndEmpty) {
  const Vec a = {0.0, 1.0, -2.5, 700.0, -800.0};
  Vec r(a.size());
  VML_vdExp(static_cast<int32_t>(a.size()), a.data(), r.data());
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(r[i], std::exp(a[i]));
  Vec in_place = a;
  VML_vdExp(static_cast<int32_t>(a.size()), in_place.data(), in_place.data());
  EXPECT_EQ(in_place, r);

  const Vec b = {2.0, -0.0, 0.0, 0.25};
  Vec q(b.size());
  VML_vdInv(static_cast<int32_t>(b.size()), b.data(), q.data());
  EXPECT_EQ(q[0], 0.5);
  EXPECT_TRUE(std::isinf(q[1]) && q[1] < 0);
  EXPECT_TRUE(std::isinf(q[2]) && q[2] > 0);
  EXPECT_EQ(q[3], 4.0);

  for (int32_t n : {0, -1, INT32_MIN}) {
    Vec untouched = {7.0, 8.0};
    VML_vdExp(n, a.data(), untouched.data());
    VML_vdInv(n, a.data(), untouched.data());
    EXPECT_EQ(untouched, (Vec{7.0, 8.0}));
  }
}

TEST(IllegalArguments, EndTheProcessWithTheMessageAndStatusZero) {
  struct Case {
    std::function<void()> call;
    const char* out;
  };
  double a[4] = {1, 0, 0, 1}, w[2], work[8];
  int32_t ipiv[2];
  const Case cases[] = {
      {[&] { CLapack_DGETRF(-1, 2, a, 2, ipiv); },
       " ** On entry to DGETRF parameter number  1 had an illegal value\n"},
      {[&] { CLapack_DPOTRF("X", 2, a, 2); }, " ** On entry to DPOTRF parameter number  1 had an illegal value\n"},
      {[&] { CLapack_DSYEV("N", "U", 2, a, 1, w, work, 8); },
       " ** On entry to DSYEV  parameter number  5 had an illegal value\n"},
      {[&] {
         const int32_t n = 2, lda = 2, bad = 0;
         const double one = 1.0;
         BLAS_DGEMM("N", "N", &n, &n, &n, &one, a, &lda, a, &bad, &one, a, &lda);
       },
       " ** On entry to DGEMM  parameter number 10 had an illegal value\n"},
  };
  for (const Case& c : cases) {
    auto r = run_in_child(c.call);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
}

}  // namespace
