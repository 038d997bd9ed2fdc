// The DGEFA/DGESL pair through the library's exports, by address and by
// value, as a host calls them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "TesselBasicLib.h"

namespace {

struct Dense {
  int n;
  std::vector<double> a;  // column-major, leading dimension n
  double& operator()(int i, int j) { return a[(i - 1) + (j - 1) * static_cast<std::size_t>(n)]; }
};

Dense random_matrix(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Dense m{n, std::vector<double>(static_cast<std::size_t>(n) * n)};
  for (double& x : m.a) x = u(gen);
  return m;
}

// Rebuilds P*A from the factors in their stored layout: U on and above the
// diagonal, negated multipliers below it, the exchanges in IPVT.
std::vector<double> rebuild_from_factors(Dense f, const std::vector<int32_t>& ipvt) {
  const int n = f.n;
  Dense lu{n, std::vector<double>(static_cast<std::size_t>(n) * n, 0.0)};
  // Apply the elimination steps in reverse to U: A = P1 L1^-1 ... U.
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= j; ++i) lu(i, j) = f(i, j);
  for (int k = n - 1; k >= 1; --k) {
    for (int j = 1; j <= n; ++j) {
      const double ukj = lu(k, j);
      for (int i = k + 1; i <= n; ++i) lu(i, j) -= f(i, k) * ukj;
    }
    const int l = ipvt[k - 1];
    if (l != k)
      for (int j = 1; j <= n; ++j) std::swap(lu(l, j), lu(k, j));
  }
  return lu.a;
}

double max_abs_diff(const std::vector<double>& x, const std::vector<double>& y) {
  double m = 0.0;
  for (std::size_t k = 0; k < x.size(); ++k) m = std::max(m, std::fabs(x[k] - y[k]));
  return m;
}

TEST(Dgefa, FactorsReproduceTheMatrixAndPivotLikeLapack) {
  const int n = 40;
  Dense a = random_matrix(n, 7);
  Dense f = a;
  std::vector<int32_t> ipvt(n), ipiv(n);
  int32_t info = -1;
  Linpack_DGEFA(f.a.data(), &n, &n, ipvt.data(), &info);
  EXPECT_EQ(info, 0);
  EXPECT_LT(max_abs_diff(rebuild_from_factors(f, ipvt), a.a), 1e-13);
  // Partial pivoting on the largest magnitude picks the same rows.
  Dense g = a;
  EXPECT_EQ(CLapack_DGETRF(n, n, g.a.data(), n, ipiv.data()), 0);
  EXPECT_EQ(ipvt, ipiv);
  EXPECT_EQ(ipvt[n - 1], n);
}

TEST(Dgefa, SmallAndSingularCases) {
  {  // 1 x 1
    double a = 3.0, z = 0.0;
    int32_t ipvt = 0;
    EXPECT_EQ(CLinpack_DGEFA(&a, 1, 1, &ipvt), 0);
    EXPECT_EQ(ipvt, 1);
    EXPECT_EQ(CLinpack_DGEFA(&z, 1, 1, &ipvt), 1);
  }
  {  // zero in A(1,1): the rows are exchanged
    double a[4] = {0.0, 2.0, 1.0, 1.0};
    int32_t ipvt[2] = {};
    EXPECT_EQ(CLinpack_DGEFA(a, 2, 2, ipvt), 0);
    EXPECT_EQ(ipvt[0], 2);
    EXPECT_EQ(ipvt[1], 2);
  }
  {  // exactly singular: the last zero pivot is reported, IPVT complete
    double a[9] = {0.0, 0.0, 0.0, 1.0, 2.0, 3.0, 0.0, 0.0, 0.0};
    int32_t ipvt[3] = {-7, -7, -7};
    EXPECT_EQ(CLinpack_DGEFA(a, 3, 3, ipvt), 3);
    EXPECT_EQ(ipvt[0], 1);  // zero column: first index on ties
    EXPECT_EQ(ipvt[1], 3);
    EXPECT_EQ(ipvt[2], 3);
  }
  {  // a NaN pivot is not a zero pivot
    double a[4] = {std::numeric_limits<double>::quiet_NaN(), 1.0, 1.0, 1.0};
    int32_t ipvt[2];
    EXPECT_EQ(CLinpack_DGEFA(a, 2, 2, ipvt), 0);
  }
}

TEST(Dgefa, EmptyOrNegativeOrderTouchesNothing) {
  for (int32_t n : {0, -3}) {
    int32_t guard[3] = {-5, -5, -5};
    double a[1] = {42.0};
    int32_t info = -1;
    int32_t lda = 1;
    Linpack_DGEFA(a, &lda, &n, guard + 1, &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(guard[0], -5);
    EXPECT_EQ(guard[1], -5);
    EXPECT_EQ(CLinpack_DGEFA(a, 1, n, guard + 1), 0);
    EXPECT_EQ(guard[0], -5);
    double b[1] = {9.0};
    CLinpack_DGESL(a, 1, n, guard + 1, b, 0);
    CLinpack_DGESL(a, 1, n, guard + 1, b, 1);
    EXPECT_EQ(b[0], 9.0);
    EXPECT_EQ(a[0], 42.0);
  }
}

TEST(Dgesl, SolvesBothSystemsWithLeadingDimensionLargerThanOrder) {
  const int n = 25, lda = 31;
  Dense a = random_matrix(n, 11);
  std::vector<double> f(static_cast<std::size_t>(lda) * n, 1e300);  // padding must stay unread
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) f[i + j * static_cast<std::size_t>(lda)] = a.a[i + j * static_cast<std::size_t>(n)];
  std::vector<int32_t> ipvt(n);
  ASSERT_EQ(CLinpack_DGEFA(f.data(), lda, n, ipvt.data()), 0);

  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = 1.0 + i;
  for (int32_t job : {0, 1, -4}) {
    // b = A x (job 0) or A' x (otherwise)
    std::vector<double> b(n, 0.0);
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) b[i - 1] += (job == 0 ? a(i, j) : a(j, i)) * x[j - 1];
    std::vector<double> b2 = b;
    Linpack_DGESL(f.data(), &lda, &n, ipvt.data(), b.data(), &job);
    CLinpack_DGESL(f.data(), lda, n, ipvt.data(), b2.data(), job);
    EXPECT_LT(max_abs_diff(b, x), 1e-10) << "job " << job;
    EXPECT_EQ(b, b2);
  }
}

}  // namespace
