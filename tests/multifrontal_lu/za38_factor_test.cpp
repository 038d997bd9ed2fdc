#include <gtest/gtest.h>

#include "multifrontal_lu/za38_factor_support.hpp"

using namespace tbl::za38test;

TEST(Za38Factor, Smoke) {
  for (int n : {1, 2, 3, 5, 8, 13, 30, 60}) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
      ProblemSpec s;
      s.n = n;
      s.seed = seed;
      s.density = 0.15;
      const Problem p = random_problem(s);
      Controls ctl;
      const FactorRun run = factorise(p, 100000, 100000, ctl);
      ASSERT_GE(run.status(), 0) << "n " << n << " seed " << seed;
      const Check chk = check_factors(p, run);
      EXPECT_EQ(chk.fault, "") << "n " << n << " seed " << seed;
      EXPECT_EQ(chk.pivots, n) << "n " << n << " seed " << seed;
      EXPECT_LT(chk.error, 1e-10) << "n " << n << " seed " << seed;
    }
  }
}
