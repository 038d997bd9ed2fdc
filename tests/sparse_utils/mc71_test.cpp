// 1-norm estimation by reverse communication.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "sparse_utils/mc71.hpp"

namespace {

using tbl::fint;

// A dense matrix stored by columns, applied as the caller of the estimator does.
struct Dense {
  fint n;
  std::vector<double> a;
  double& operator()(fint i, fint j) { return a[(i - 1) + (j - 1) * static_cast<std::size_t>(n)]; }
  double at(fint i, fint j) const { return a[(i - 1) + (j - 1) * static_cast<std::size_t>(n)]; }

  void apply(int kase, std::vector<double>& x) const {
    std::vector<double> y(n, 0.0);
    for (fint i = 1; i <= n; ++i)
      for (fint j = 1; j <= n; ++j) {
        if (kase == 1)
          y[i - 1] += at(i, j) * x[j - 1];
        else
          y[i - 1] += at(j, i) * x[j - 1];
      }
    x = y;
  }
  double norm1() const {
    double best = 0.0;
    for (fint j = 1; j <= n; ++j) {
      double s = 0.0;
      for (fint i = 1; i <= n; ++i) s += std::fabs(at(i, j));
      best = std::max(best, s);
    }
    return best;
  }
};

Dense random_dense(std::mt19937& rng, fint n, bool nonnegative) {
  std::uniform_real_distribution<double> u(nonnegative ? 0.0 : -1.0, 1.0);
  Dense d{n, std::vector<double>(static_cast<std::size_t>(n) * n)};
  for (double& v : d.a) v = u(rng);
  return d;
}

// One estimate, driven to the end, recording every request.
struct Estimate {
  fint n;
  std::vector<double> x, w;
  std::vector<fint> iw, keep = std::vector<fint>(4, -77);
  fint kase = 0;
  double est = -1.0;
  std::vector<int> requests;
  int calls = 0;

  explicit Estimate(fint n_) : n(n_), x(std::max<fint>(n_, 1)), w(std::max<fint>(n_, 1)), iw(std::max<fint>(n_, 1)) {}
  // One call; returns true while the estimator asks for a product.
  bool step() {
    MC71AD(&n, &kase, x.data(), &est, w.data(), iw.data(), keep.data());
    ++calls;
    if (kase == 1 || kase == 2) requests.push_back(kase);
    return kase == 1 || kase == 2;
  }
  void run(const Dense& b) {
    while (step()) b.apply(kase, x);
  }
};

}  // namespace

TEST(NormEstimate, OrderOneNeedsOneProduct) {
  Dense b{1, {-3.5}};
  Estimate e(1);
  ASSERT_TRUE(e.step());
  EXPECT_EQ(e.x[0], 1.0);
  b.apply(e.kase, e.x);
  EXPECT_FALSE(e.step());
  EXPECT_EQ(e.kase, 0);
  EXPECT_EQ(e.est, 3.5);
  EXPECT_EQ(e.w[0], -3.5);
  EXPECT_EQ(e.calls, 2);
}

TEST(NormEstimate, NonPositiveOrderWritesNothingElse) {
  for (fint n : {0, -4}) {
    double x = 7.0, w = 8.0, est = 9.0;
    fint iw = 5, keep[4] = {1, 2, 3, 4}, kase = 0;
    MC71AD(&n, &kase, &x, &est, &w, &iw, keep);
    EXPECT_EQ(kase, -1);
    EXPECT_EQ(x + w + est, 24.0);
    EXPECT_EQ(iw, 5);
    EXPECT_EQ(keep[0] + keep[1] + keep[2] + keep[3], 10);
  }
}

TEST(NormEstimate, IdentityOfOrderTwoFollowsTheDocumentedSequence) {
  Dense b{2, {1, 0, 0, 1}};
  Estimate e(2);
  ASSERT_TRUE(e.step());
  EXPECT_EQ(e.kase, 1);
  EXPECT_EQ(e.x, (std::vector<double>{0.5, 0.5}));
  EXPECT_EQ(e.keep, (std::vector<fint>{1, 0, 0, 0}));
  b.apply(1, e.x);
  ASSERT_TRUE(e.step());
  EXPECT_EQ(e.kase, 2);
  EXPECT_EQ(e.x, (std::vector<double>{1, 1}));
  EXPECT_EQ(e.iw, (std::vector<fint>{1, 1}));
  b.apply(2, e.x);
  ASSERT_TRUE(e.step());  // J = 1, the first of two equal magnitudes
  EXPECT_EQ(e.x, (std::vector<double>{1, 0}));
  EXPECT_EQ(e.keep, (std::vector<fint>{3, 2, 1, 0}));
  b.apply(1, e.x);
  ASSERT_TRUE(e.step());  // signs repeat: straight to the alternating check
  EXPECT_EQ(e.est, 1.0);
  EXPECT_EQ(e.x, (std::vector<double>{1, -2}));
  b.apply(1, e.x);
  EXPECT_FALSE(e.step());
  EXPECT_EQ(e.kase, 0);
  EXPECT_EQ(e.est, 1.0);  // 2*3/6 = 1 does not exceed it
  EXPECT_EQ(e.w, (std::vector<double>{1, 0}));
  EXPECT_EQ(e.calls, 5);
  EXPECT_EQ(e.requests, (std::vector<int>{1, 2, 1, 1}));
}

TEST(NormEstimate, ExactOnDiagonalAndNonnegativeMatrices) {
  // Diagonal: the largest entry, wherever it sits.
  for (fint k = 1; k <= 6; ++k) {
    Dense b{6, std::vector<double>(36, 0.0)};
    for (fint i = 1; i <= 6; ++i) b(i, i) = (i == k ? -9.0 : 0.5 * i);
    Estimate e(6);
    e.run(b);
    EXPECT_EQ(e.est, 9.0) << "largest entry in column " << k;
  }
  // Nonnegative: B'*sign(B*x) gives the column sums; the largest column is
  // taken and its signs repeat, so the estimate is the norm itself.
  std::mt19937 rng(3);
  for (int trial = 0; trial < 50; ++trial) {
    const Dense b = random_dense(rng, 2 + trial % 9, true);
    Estimate e(b.n);
    e.run(b);
    EXPECT_DOUBLE_EQ(e.est, b.norm1());
    EXPECT_LE(e.calls, 5);
  }
}

TEST(NormEstimate, NeverExceedsTheNormAndKeepsItsWitness) {
  std::mt19937 rng(12345);
  for (int trial = 0; trial < 400; ++trial) {
    const fint n = 2 + trial % 12;
    const Dense b = random_dense(rng, n, false);
    Estimate e(n);
    double before_last = -1.0;
    std::vector<double> w_before, alternating_product;
    while (e.step()) {
      if (e.keep[0] == 5) {  // the alternating-sign check is being asked for
        before_last = e.est;
        w_before = e.w;
        alternating_product = e.x;
        b.apply(1, alternating_product);
      }
      b.apply(e.kase, e.x);
    }
    SCOPED_TRACE("trial " + std::to_string(trial));
    ASSERT_EQ(e.kase, 0);
    EXPECT_LE(e.calls, 12);
    EXPECT_LE(e.requests.size(), 11u);
    EXPECT_LE(e.est, b.norm1() * (1 + 1e-14));
    // W is a product B*v for which EST was obtained: either the last column
    // B*e_J (EST its 1-norm) or B times the alternating vector.
    ASSERT_GE(before_last, 0.0);
    if (e.est > before_last) {
      EXPECT_EQ(e.w, alternating_product);
    } else {
      EXPECT_EQ(e.est, before_last);
      EXPECT_EQ(e.w, w_before);
      double s = 0.0;
      for (double v : e.w) s += std::fabs(v);
      EXPECT_EQ(e.est, s);
    }
  }
}

TEST(NormEstimate, AlternatingCheckRaisesAStalledEstimate) {
  // B = [2 0; 1 -2]: the sign steps settle on column 2 (norm 2) while column
  // 1 has norm 3; B*(1, -2) = (2, 5) gives 2*7/6 = 7/3 and W keeps it.
  Dense b{2, {2, 1, 0, -2}};
  Estimate e(2);
  e.run(b);
  EXPECT_EQ(e.requests, (std::vector<int>{1, 2, 1, 1}));
  EXPECT_EQ(e.est, 2.0 * 7.0 / 6.0);
  EXPECT_EQ(e.w, (std::vector<double>{2, 5}));
  EXPECT_LE(e.est, b.norm1());
}

TEST(NormEstimate, StopsWhenTheSameColumnComesBack) {
  // B*e_1 has new signs, but B' times them points at column 1 again, so the
  // iteration stops after one unit vector although the limit is 5.
  Dense b{3, {4, -1, 0.5, 0, 3, 0, 0, 0, 1}};
  Estimate e(3);
  e.run(b);
  EXPECT_EQ(e.requests, (std::vector<int>{1, 2, 1, 2, 1}));
  EXPECT_EQ(e.keep, (std::vector<fint>{5, 2, 1, 1}));
  EXPECT_EQ(e.est, 5.5);
}

TEST(NormEstimate, InterleavedEstimatesDoNotDisturbEachOther) {
  std::mt19937 rng(99);
  for (int trial = 0; trial < 40; ++trial) {
    const Dense a = random_dense(rng, 7, false), b = random_dense(rng, 5, false);
    Estimate alone_a(7), alone_b(5);
    alone_a.run(a);
    alone_b.run(b);
    Estimate ea(7), eb(5);
    bool more_a = true, more_b = true;
    while (more_a || more_b) {
      if (more_a && (more_a = ea.step())) a.apply(ea.kase, ea.x);
      if (more_b && (more_b = eb.step())) b.apply(eb.kase, eb.x);
    }
    EXPECT_EQ(ea.est, alone_a.est);
    EXPECT_EQ(eb.est, alone_b.est);
    EXPECT_EQ(ea.requests, alone_a.requests);
    EXPECT_EQ(eb.w, alone_b.w);
  }
}
