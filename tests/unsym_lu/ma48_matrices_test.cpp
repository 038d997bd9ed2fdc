// Real matrices, square and rectangular, reducible and irreducible, through
// all three phases: the layout of the analysis, refinement down to rounding
// level, transposed solves, refactorisation on new values.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ma48_support.hpp"

namespace {

using tbl::test::backward_errors;
using tbl::test::Coo;
using tbl::test::matrix_path;
using tbl::test::layout_fault;
using tbl::test::Ma48;
using tbl::test::random_vector;
using tbl::test::read_mtx;

// Analyses and factorises, growing A/IRN/JCN as the forecasts ask.
void analyse_and_factorise(Ma48& p) {
  // A failed analysis reports the extent it reached, which need not be
  // enough to finish: grow until it is.
  int32_t st;
  for (int tries = 0; (st = p.analyse()) == -3 && tries < 4; ++tries)
    p.resize_la(std::max(p.info[2], p.la + p.la / 4));
  ASSERT_GE(st, 0);
  ASSERT_EQ(layout_fault(p), "");
  if (p.info[3] > p.la) p.grow_la(p.info[3]);
  // Each retry is given at least the length the failed call asked for.
  for (int tries = 0; (st = p.factorise()) == -3 && tries < 4; ++tries)
    p.grow_la(std::max(p.info[3], p.la + p.la / 4));
  ASSERT_GE(st, 0);
}

// Solves op(A) x = op(A) ones with refinement and checks the backward
// errors, both as returned and as evaluated independently.  With more
// equations than unknowns only the pivotal ones are solved; the others meet
// the tolerance times the conditioning of the system.
void check_solves(Ma48& p, double tolerance) {
  for (const bool trans : {false, true}) {
    const double tol = (trans ? p.n > p.m : p.m > p.n) ? 100 * tolerance : tolerance;
    const int32_t lx = trans ? p.m : p.n;
    const std::vector<double> b = p.apply(std::vector<double>(lx, 1.0), trans);
    std::vector<double> x;
    double err[3];
    const int32_t job = p.m == p.n ? 4 : 3;
    ASSERT_EQ(p.solve(b, x, trans, job, err), 0) << trans;
    EXPECT_LT(err[0] + err[1], tol) << trans;
    const auto [w1, w2] = backward_errors(p, b, x, trans);
    EXPECT_LT(w1 + w2, 2 * tol) << trans;
    if (job == 4) {
      EXPECT_GE(err[2], 0.0);
      EXPECT_TRUE(std::isfinite(err[2]));
    }
  }
}

class Ma48Matrices : public ::testing::TestWithParam<const char*> {
 protected:
  static Coo load(const std::string& name) {
    return read_mtx(matrix_path(name));
  }
};

TEST_P(Ma48Matrices, RefinementReachesRoundingLevel) {
  Ma48 p(load(GetParam()), 3);
  analyse_and_factorise(p);
  check_solves(p, 1e-14);
}

TEST_P(Ma48Matrices, RefactorisationOnNewValues) {
  Ma48 p(load(GetParam()), 3);
  analyse_and_factorise(p);
  // Same pattern, values scaled column by column and perturbed.
  std::vector<double> v = p.val0;
  for (size_t k = 0; k < v.size(); ++k) v[k] *= 1.0 + 0.25 * std::sin(3.0 * p.col0[k] + k);
  for (const int32_t job : {2, 3}) {
    int32_t st = p.factorise(v, job);
    if (st == -7) continue;  // the old pivots no longer suit the new values
    // With pivoting the factors may grow: a retry with the length reported.
    if (st == -3) {
      p.grow_la(p.info[3]);
      st = p.factorise(v, job);
    }
    ASSERT_GE(st, 0) << job;
    Ma48 q = p;
    q.val0 = v;
    check_solves(q, 1e-14);
  }
}

INSTANTIATE_TEST_SUITE_P(Small, Ma48Matrices,
                         ::testing::Values("west0067.mtx", "west0497.mtx", "lp_afiro.mtx", "impcol_a.mtx"));
INSTANTIATE_TEST_SUITE_P(Larger, Ma48Matrices,
                         ::testing::Values("b1_ss.mtx", "bfwa62.mtx", "fs_183_1.mtx", "west0479.mtx", "olm500.mtx",
                                           "bp_1200.mtx", "gre_1107.mtx", "rajat19.mtx", "Pd.mtx",
                                           "lp_share1b.mtx", "lp_e226.mtx"));

TEST(Ma48MatricesSpecial, StructurallySingularMatrixAsOneBlock) {
  // Structural rank 448 of 496.
  Ma48 p(read_mtx(matrix_path("mbeacxc.mtx")), 3);
  ASSERT_EQ(p.analyse(), -4);
  EXPECT_EQ(p.info[9], 448);
  p.icntl[6] = 0;
  analyse_and_factorise(p);
  EXPECT_EQ(p.info[0], 2);
  EXPECT_LE(p.info[4], 448);
  // The rank-deficient factors still give a solution with its backward
  // errors.
  const std::vector<double> b = p.apply(random_vector(p.n, 4), false);
  std::vector<double> x;
  double err[3];
  const int32_t st = p.solve(b, x, false, 4, err);
  EXPECT_TRUE(st == 0 || st == -8);
  const auto [w1, w2] = backward_errors(p, b, x, false);
  EXPECT_NEAR(w1 + w2, err[0] + err[1], 1e-6 * (err[0] + err[1]) + 1e-15);
}

TEST(Ma48MatricesSpecial, ReducibleMatrixKeepsItsBlocks) {
  // Many small blocks: most of the matrix never reaches the pivoting kernel.
  Ma48 p(read_mtx(matrix_path("impcol_a.mtx")), 3);
  analyse_and_factorise(p);
  int32_t triangular = 0;
  for (int k = 1; k <= p.nb(); ++k)
    if (p.block_flag(k) < 0) triangular += p.block_order(k);
  EXPECT_GT(p.nb(), 10);
  EXPECT_EQ(p.info[7] + triangular, p.n);
  EXPECT_GT(triangular, p.n / 2);
}

}  // namespace
