// Dense LU of the full block (three methods) and the solve with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "interface/blas.hpp"
#include "unsym_lu/ma50.hpp"

namespace {

using tbl::fint;

enum class Method { Vector, Column, Blocked };

struct DenseCase {
  Method method;
  fint nb;  // panel width of the blocked method
};

std::vector<double> random_block(fint m, fint n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> val(-1.0, 1.0);
  std::vector<double> a(static_cast<std::size_t>(m) * n);
  for (double& v : a) v = val(gen);
  return a;
}

// An m by n block of the given rank: the product of random m by rank and
// rank by n factors.
std::vector<double> low_rank_block(fint m, fint n, fint rank, unsigned seed) {
  const std::vector<double> f = random_block(m, rank, seed), g = random_block(rank, n, seed + 1);
  std::vector<double> a(static_cast<std::size_t>(m) * n, 0.0);
  for (fint j = 0; j < n; ++j) {
    for (fint k = 0; k < rank; ++k) {
      for (fint i = 0; i < m; ++i) a[i + j * m] += f[i + k * m] * g[k + j * rank];
    }
  }
  return a;
}

// Runs one method; the pivoting record lives in its own allocation so that
// a read in front of it is caught by the address sanitizer.
fint factor(const DenseCase& c, fint m, fint n, std::vector<double>& a, std::unique_ptr<fint[]>& ipiv,
            double tol = 0.0) {
  ipiv.reset(new fint[n]);
  fint rank = -1;
  switch (c.method) {
    case Method::Vector:
      MA50_DENSE_FACTOR1(&m, &n, a.data(), &m, &tol, ipiv.get(), &rank);
      break;
    case Method::Column:
      MA50_DENSE_FACTOR2(&m, &n, a.data(), &m, &tol, ipiv.get(), &rank);
      break;
    case Method::Blocked:
      MA50_DENSE_FACTOR3(&m, &n, a.data(), &m, &c.nb, &tol, ipiv.get(), &rank);
      break;
  }
  return rank;
}

// Rebuilds the block from its factors: rows permuted by the interchanges,
// columns by the moves to the end.  Returns max |P A Q - L U|.
double reconstruction_error(fint m, fint n, const std::vector<double>& a0, const std::vector<double>& lu,
                            const fint* ipiv, fint rank) {
  std::vector<fint> rowperm(m), colperm(n);
  for (fint i = 0; i < m; ++i) rowperm[i] = i;
  for (fint j = 0; j < n; ++j) colperm[j] = j;
  for (fint k = n; k > rank; --k) std::swap(colperm[-ipiv[k - 1] - 1], colperm[k - 1]);
  for (fint k = 1; k <= rank; ++k) std::swap(rowperm[k - 1], rowperm[ipiv[k - 1] - 1]);
  double err = 0.0;
  for (fint i = 1; i <= m; ++i) {
    for (fint j = 1; j <= n; ++j) {
      double s = 0.0;
      for (fint k = 1; k <= std::min({i, j, rank}); ++k) {
        const double l = (k == i) ? 1.0 : lu[(i - 1) + (k - 1) * m];
        s += l * lu[(k - 1) + (j - 1) * m];
      }
      const double orig = a0[rowperm[i - 1] + colperm[j - 1] * static_cast<std::size_t>(m)];
      err = std::max(err, std::fabs(orig - s));
    }
  }
  return err;
}

class DenseFactor : public ::testing::TestWithParam<DenseCase> {};

std::string dense_case_name(const ::testing::TestParamInfo<DenseCase>& info) {
  static const char* const names[] = {"Vector", "Column", "Blocked"};
  return std::string(names[static_cast<int>(info.param.method)]) + "_nb" + std::to_string(info.param.nb);
}

TEST_P(DenseFactor, MatchesLapackOnNonsingularBlock) {
  const fint n = 70;
  std::vector<double> a = random_block(n, n, 11);
  std::vector<double> ref = a;
  std::vector<fint> ref_piv(n);
  fint info = 0;
  dgetrf_(&n, &n, ref.data(), &n, ref_piv.data(), &info);
  ASSERT_EQ(info, 0);
  std::unique_ptr<fint[]> ipiv;
  EXPECT_EQ(factor(GetParam(), n, n, a, ipiv), n);
  for (fint k = 0; k < n; ++k) EXPECT_EQ(ipiv[k], ref_piv[k]) << "pivot " << k + 1;
  for (std::size_t k = 0; k < a.size(); ++k) ASSERT_NEAR(a[k], ref[k], 1e-11) << "entry " << k;
}

TEST_P(DenseFactor, RectangularAndRankDeficientBlocksAreReproduced) {
  struct Shape {
    fint m, n, rank;
  };
  for (Shape s : {Shape{40, 25, 25}, Shape{25, 40, 25}, Shape{30, 30, 17}, Shape{45, 33, 12}, Shape{20, 50, 9}}) {
    std::vector<double> a = low_rank_block(s.m, s.n, s.rank, 3);
    const std::vector<double> a0 = a;
    std::unique_ptr<fint[]> ipiv;
    const fint rank = factor(GetParam(), s.m, s.n, a, ipiv, 1e-10);
    EXPECT_EQ(rank, s.rank) << s.m << "x" << s.n;
    for (fint k = 1; k <= rank; ++k) EXPECT_GE(ipiv[k - 1], k);
    for (fint k = rank + 1; k <= s.n; ++k) {
      EXPECT_LE(ipiv[k - 1], -1);
      EXPECT_GE(ipiv[k - 1], -(rank + 1));
    }
    EXPECT_LT(reconstruction_error(s.m, s.n, a0, a, ipiv.get(), rank), 1e-11) << s.m << "x" << s.n;
  }
}

TEST_P(DenseFactor, ZeroColumnsAreNeverPivots) {
  // A negative tolerance must still reject exact zeros.
  const fint m = 6, n = 5;
  std::vector<double> a = random_block(m, n, 9);
  for (fint i = 0; i < m; ++i) a[i + 1 * m] = 0.0;
  std::unique_ptr<fint[]> ipiv;
  const fint rank = factor(GetParam(), m, n, a, ipiv, -1.0);
  EXPECT_EQ(rank, 4);
  EXPECT_EQ(ipiv[4], -2) << "column 2 was met at pivot position 2 and moved to the end";
  for (double v : a) EXPECT_TRUE(std::isfinite(v));
}

INSTANTIATE_TEST_SUITE_P(Methods, DenseFactor,
                         ::testing::Values(DenseCase{Method::Vector, 0}, DenseCase{Method::Column, 1},
                                           DenseCase{Method::Blocked, 1}, DenseCase{Method::Blocked, 4},
                                           DenseCase{Method::Blocked, 32}, DenseCase{Method::Blocked, 200}),
                         dense_case_name);

// ---------------------------------------------------------------------------
// Solve with the dense factors.

struct SolveCase {
  fint m, n, rank;
  fint nblas;
};

class DenseSolve : public ::testing::TestWithParam<SolveCase> {};

TEST_P(DenseSolve, ConsistentSystemsAreSolvedPlainAndTransposed) {
  const SolveCase c = GetParam();
  std::vector<double> a = low_rank_block(c.m, c.n, c.rank, 21);
  const std::vector<double> a0 = a;
  std::unique_ptr<fint[]> ipiv;
  ASSERT_EQ(factor(DenseCase{Method::Blocked, 8}, c.m, c.n, a, ipiv, 1e-10), c.rank);
  const fint len = std::max(c.m, c.n);

  // A x = b with b in the range of A.
  std::vector<double> x0 = random_block(c.n, 1, 5), b(len, 0.0);
  for (fint j = 0; j < c.n; ++j) {
    for (fint i = 0; i < c.m; ++i) b[i] += a0[i + j * c.m] * x0[j];
  }
  std::vector<double> x = b;
  tbl::logical no = tbl::kFalse, yes = tbl::kTrue;
  MA50_DENSE_SOLVE(&no, &c.m, &c.n, a.data(), &c.m, ipiv.get(), x.data(), &c.nblas);
  double worst = 0.0;
  for (fint i = 0; i < c.m; ++i) {
    double s = 0.0;
    for (fint j = 0; j < c.n; ++j) s += a0[i + j * c.m] * x[j];
    worst = std::max(worst, std::fabs(s - b[i]));
  }
  EXPECT_LT(worst, 1e-9);

  // A' y = d with d in the range of A'.
  std::vector<double> y0 = random_block(c.m, 1, 6), d(len, 0.0);
  for (fint j = 0; j < c.n; ++j) {
    for (fint i = 0; i < c.m; ++i) d[j] += a0[i + j * c.m] * y0[i];
  }
  std::vector<double> y = d;
  MA50_DENSE_SOLVE(&yes, &c.m, &c.n, a.data(), &c.m, ipiv.get(), y.data(), &c.nblas);
  worst = 0.0;
  for (fint j = 0; j < c.n; ++j) {
    double s = 0.0;
    for (fint i = 0; i < c.m; ++i) s += a0[i + j * c.m] * y[i];
    worst = std::max(worst, std::fabs(s - d[j]));
  }
  EXPECT_LT(worst, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Shapes, DenseSolve,
                         ::testing::Values(SolveCase{12, 12, 12, 1}, SolveCase{12, 12, 12, 0},
                                           SolveCase{15, 9, 9, 1}, SolveCase{15, 9, 9, 0},
                                           SolveCase{9, 15, 9, 1}, SolveCase{9, 15, 9, 0},
                                           SolveCase{14, 14, 6, 1}, SolveCase{14, 14, 6, 0}),
                         [](const ::testing::TestParamInfo<SolveCase>& info) {
                           const SolveCase& c = info.param;
                           return std::to_string(c.m) + "x" + std::to_string(c.n) + "_rank" +
                                  std::to_string(c.rank) + (c.nblas > 0 ? "_blas" : "_vector");
                         });

TEST(DenseSolve, BlockOfRankZeroGivesZeroSolution) {
  // The rank scan must stop at zero instead of reading in front of the
  // pivoting record.
  const fint m = 3, n = 4;
  std::vector<double> a(m * n, 0.0);
  std::unique_ptr<fint[]> ipiv;
  ASSERT_EQ(factor(DenseCase{Method::Column, 1}, m, n, a, ipiv), 0);
  for (fint nblas : {0, 1}) {
    for (tbl::logical trans : {tbl::kFalse, tbl::kTrue}) {
      std::vector<double> x = {1.0, 2.0, 3.0, 4.0};
      MA50_DENSE_SOLVE(&trans, &m, &n, a.data(), &m, ipiv.get(), x.data(), &nblas);
      const fint len = tbl::is_true(trans) ? m : n;
      for (fint k = 0; k < len; ++k) EXPECT_EQ(x[k], 0.0);
    }
  }
}

}  // namespace
