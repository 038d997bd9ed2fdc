// MA57BD's argument checks and messages, and the pivot rules on fronts that
// hold the whole matrix (a one-node assembly tree laid out by hand, so that
// these cases depend on nothing but the factorisation).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ma57_factor_support.hpp"

namespace {

using ma57test::capture;
using ma57test::Controls;
using ma57test::Factors;
using ma57test::Problem;
using tbl::fint;

constexpr fint kUnit = 42;

// KEEP for the assembly tree with a single node that eliminates all N
// variables in their natural order; each row of the permuted structure has
// its diagonal slot(s) first.
std::vector<fint> single_node_keep(const Problem& p) {
  const fint n = p.n, ne = p.ne(), m = std::max(n, ne);
  const tbl::ma57::KeepLayout kl(n, ne);
  std::vector<fint> keep(static_cast<std::size_t>(tbl::ma57::min_lkeep(n, ne)), 0);
  auto K = [&](std::int64_t i) -> fint& { return keep[static_cast<std::size_t>(i - 1)]; };
  std::vector<fint> ndiag(n + 1, 0), noff(n + 1, 0);
  for (fint k = 0; k < ne; ++k) {
    const fint i = p.irn[k], j = p.jcn[k];
    if (i < 1 || j < 1 || i > n || j > n) continue;
    if (i == j)
      ++ndiag[i];
    else
      ++noff[std::min(i, j)];
  }
  std::vector<fint> start(n + 2, 1), nextdiag(n + 1), nextoff(n + 1);
  for (fint i = 1; i <= n; ++i) {
    const fint len = std::max<fint>(ndiag[i], 1) + noff[i];
    start[i + 1] = start[i] + len;
    K(kl.row_counts() + i - 1) = len;
    nextdiag[i] = start[i];
    nextoff[i] = start[i] + std::max<fint>(ndiag[i], 1);
    for (fint t = 0; t < std::max<fint>(ndiag[i], 1); ++t) K(kl.columns() + start[i] - 1 + t) = i;
    K(i) = i;
    K(kl.node_of_var() + i - 1) = 1;
  }
  const fint nz = start[n + 1] - 1;
  for (fint k = 0; k < ne; ++k) {
    const fint i = p.irn[k], j = p.jcn[k];
    fint slot = 0;
    if (i >= 1 && j >= 1 && i <= n && j <= n) {
      if (i == j) {
        slot = nextdiag[i]++;
      } else {
        slot = nextoff[std::min(i, j)]++;
        K(kl.columns() + slot - 1) = std::max(i, j);
      }
    }
    K(kl.map() + k) = slot;
  }
  K(kl.nsteps()) = 1;
  K(kl.nz()) = nz;
  (void)m;
  return keep;
}

Factors run(const Problem& p, const Controls& c, fint lfact, fint lifact, std::vector<fint> keep = {}) {
  Factors f;
  f.fact.assign(static_cast<std::size_t>(std::max<fint>(lfact, 0)), 0.0);
  f.ifact.assign(static_cast<std::size_t>(std::max<fint>(lifact, 0)), 0);
  f.keep = keep.empty() ? single_node_keep(p) : keep;
  f.iwork.assign(static_cast<std::size_t>(std::max<fint>(p.n, 1)), 0);
  ma57test::factorise_into(p, c, f);
  return f;
}

Problem tiny() {
  Problem p;
  p.n = 2;
  p.add(1, 1, 4.0);
  p.add(2, 1, 1.0);
  p.add(2, 2, 3.0);
  return p;
}

Controls printing(fint level) {
  Controls c;
  c.icntl[0] = c.icntl[1] = c.icntl[2] = kUnit;
  c.icntl[4] = level;
  return c;
}

// --- argument checks -----------------------------------------------------------

TEST(Ma57bdChecks, OrderAndEntries) {
  Problem p = tiny();
  Controls c = printing(1);
  std::string out = capture(kUnit, [&] {
    Problem q = p;
    q.n = 0;
    Factors f = run(q, c, 10, 10, single_node_keep(p));
    EXPECT_EQ(f.info[0], -1);
    EXPECT_EQ(f.info[1], 0);
  });
  EXPECT_EQ(out, "**** Error return from MA57BD ****  INFO(1) = -1\nN has value          0\n");
  out = capture(kUnit, [&] {
    Factors f;
    f.fact.assign(10, 0.0);
    f.ifact.assign(10, 0);
    f.keep = single_node_keep(p);
    f.iwork.assign(2, 0);
    fint n = 2, ne = -3, lfact = 10, lifact = 10, lkeep = static_cast<fint>(f.keep.size());
    MA57BD(&n, &ne, p.val.data(), f.fact.data(), &lfact, f.ifact.data(), &lifact, &lkeep, f.keep.data(),
           f.iwork.data(), c.icntl, c.cntl, f.info, f.rinfo);
    EXPECT_EQ(f.info[0], -2);
    EXPECT_EQ(f.info[1], -3);
  });
  EXPECT_EQ(out, "**** Error return from MA57BD ****  INFO(1) = -2\nNE has value        -3\n");
}

TEST(Ma57bdChecks, KeepLengthBoundIsExact) {
  Problem p = tiny();
  Controls c = printing(1);
  std::vector<fint> keep = single_node_keep(p);  // exactly 5N + NE + max(N,NE) + 42 = 58
  ASSERT_EQ(keep.size(), 58u);
  std::vector<fint> shorter(keep.begin(), keep.end() - 1);
  std::string out = capture(kUnit, [&] {
    Factors f = run(p, c, 100, 100, shorter);
    EXPECT_EQ(f.info[0], -15);
    EXPECT_EQ(f.info[1], 57);
  });
  EXPECT_EQ(out,
            "**** Error return from MA57BD ****  INFO(1) =-15\nLKEEP has value            57\n"
            "Should be at least         58\n");
  Factors f = run(p, c, 100, 100, keep);
  EXPECT_EQ(f.info[0], 0);
}

TEST(Ma57bdChecks, PivotingControlIsCheckedBeforeTheStorage) {
  Problem p = tiny();
  for (fint mode : {0, 5}) {
    Controls c = printing(1);
    c.icntl[6] = mode;
    std::string out = capture(kUnit, [&] {
      Factors f = run(p, c, 1, 1);
      EXPECT_EQ(f.info[0], -10);
      EXPECT_EQ(f.info[1], mode);
      EXPECT_EQ(f.fact[0], 0.0) << "nothing written after a failed check";
    });
    EXPECT_EQ(out, "**** Error return from MA57BD ****  INFO(1) =-10\nICNTL(7) has value" +
                       std::string(mode == 0 ? "         0\n" : "         5\n"));
  }
}

TEST(Ma57bdChecks, StorageLengths) {
  Problem p = tiny();  // NZ = 3
  Controls c = printing(1);
  std::string out = capture(kUnit, [&] {
    Factors f = run(p, c, 100, 2 + 4 + 3);
    EXPECT_EQ(f.info[0], -4);
    EXPECT_EQ(f.info[1], 9);
    EXPECT_EQ(f.info[17], 10);
    f = run(p, c, 3, 100);
    EXPECT_EQ(f.info[0], -3);
    EXPECT_EQ(f.info[1], 3);
    EXPECT_EQ(f.info[16], 3);
  });
  EXPECT_EQ(out,
            "**** Error return from MA57BD ****  INFO(1) = -4\n"
            "Insufficient integer space in IFACT, LIFACT =          9\n"
            "**** Error return from MA57BD ****  INFO(1) = -3\n"
            "Insufficient real space in FACT, LFACT =          3\n");
  // LFACT = NZ + 1 and LIFACT = N + 5 + NZ pass the checks; the kernel then
  // finds no room for the front of order 2 and reports what it needs.
  Factors f = run(p, c, 4, 10);
  EXPECT_EQ(f.info[0], -3);
  EXPECT_EQ(f.info[16], 4 + 3);
  f = run(p, c, 7, 10);
  EXPECT_EQ(f.info[0], 0);
  // With matrix modification the top N + 5 reals are taken.
  c.icntl[6] = 4;
  c.icntl[0] = -1;
  f = run(p, c, 2 + 3 + 5, 100);
  EXPECT_EQ(f.info[0], -3);
  EXPECT_EQ(f.info[16], 11);
  // A negative error unit silences the message; level 0 too.
  std::string quiet = capture(kUnit, [&] {
    Controls d = printing(0);
    Factors g = run(p, d, 1, 100);
    EXPECT_EQ(g.info[0], -3);
  });
  EXPECT_EQ(quiet, "");
}

// --- pivot rules on a single front --------------------------------------------

TEST(Ma57bdPivots, ZeroDiagonalPairBecomesOneTwoByTwoPivot) {
  Problem p;
  p.n = 2;
  p.add(2, 1, 1.0);
  Controls c;
  Factors f = run(p, c, 100, 100);
  ASSERT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[21], 1);  // 2x2 pivots
  EXPECT_EQ(f.info[23], 1);  // negative eigenvalues
  EXPECT_EQ(f.info[24], 2);  // rank
  EXPECT_EQ(f.info[30], 1);  // blocks
  EXPECT_EQ(std::vector<fint>(f.ifact.begin(), f.ifact.begin() + 7), (std::vector<fint>{4, 4, 1, 2, 2, -1, -2}));
  EXPECT_EQ(f.info[13], 3);
  EXPECT_EQ(f.info[14], 4);
  EXPECT_EQ(f.fact[0], 0.0);
  EXPECT_EQ(f.fact[1], 0.0);
  EXPECT_FALSE(std::signbit(f.fact[1]));
  EXPECT_EQ(f.fact[2], 0.0);
  EXPECT_EQ(f.fact[3], 1.0);  // -b/det with det = -1
}

TEST(Ma57bdPivots, ModificationOfANegativeOneByOne) {
  Problem p;
  p.n = 1;
  p.add(1, 1, -1.0);
  Controls c;
  c.icntl[6] = 4;
  Factors f = run(p, c, 1 + 1 + 6, 100);
  ASSERT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[26], 1);
  const double floor = 6.0554522841684655e-06;
  EXPECT_EQ(f.rinfo[13], 1.0000060554522843);
  EXPECT_EQ(f.rinfo[14], floor);
  EXPECT_EQ(f.fact[0], 1.0 / floor);
  EXPECT_EQ(f.info[23], 0);
  // The top N + 5 reals keep the modification data: the amount added last.
  EXPECT_EQ(f.fact.back(), 1.0000060554522843);
}

TEST(Ma57bdPivots, SignRulesWithoutPivoting) {
  Problem p;
  p.n = 2;
  p.add(1, 1, 1.0);
  p.add(2, 2, -1.0);
  Controls c = printing(1);
  c.icntl[6] = 2;
  std::string out = capture(kUnit, [&] {
    Factors f = run(p, c, 100, 100);
    EXPECT_EQ(f.info[0], -6);
    EXPECT_EQ(f.info[1], 2);
  });
  EXPECT_EQ(out,
            "\n*** Error message from routine MA57BD **   INFO(1) =  -6\n"
            "Change in sign of pivot at stage         2  when ICNTL(7) =   2\n");
  c.icntl[6] = 3;
  Factors f = run(p, c, 100, 100);
  EXPECT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[25], 1);
  EXPECT_EQ(f.info[23], 1);
}

TEST(Ma57bdPivots, ZeroPivotWithoutPivotingAndItsMessage) {
  Problem p;
  p.n = 3;
  p.add(1, 1, 2.0);
  p.add(2, 2, 5.0);
  p.add(3, 1, 0.5);
  p.add(3, 3, 0.125);  // the Schur complement of the last pivot is 0
  Controls c = printing(1);
  c.icntl[6] = 3;
  std::string out = capture(kUnit, [&] {
    Factors f = run(p, c, 100, 100);
    EXPECT_EQ(f.info[0], -5);
    EXPECT_EQ(f.info[1], 3);
    EXPECT_EQ(f.keep, single_node_keep(p)) << "KEEP restored after an error in the kernel";
  });
  EXPECT_EQ(out,
            "\n*** Error message from routine MA57BD **   INFO(1) =  -5\n"
            "Pivot has value   0.00000000D+00 when CNTL(2) has value   0.00000000D+00\n"
            "at stage          3  when ICNTL(7) =  3\n");
  // Threshold pivoting leaves the variable out: rank 2, the warning (at
  // print level 1 already) and a trailing block 1, 1, 3 holding 1.0.
  c.icntl[6] = 1;
  out = capture(kUnit, [&] {
    Factors f = run(p, c, 100, 100);
    EXPECT_EQ(f.info[0], 4);
    EXPECT_EQ(f.info[24], 2);
    ASSERT_EQ(f.ifact[2], 2);
    EXPECT_EQ(std::vector<fint>(f.ifact.begin() + 8, f.ifact.begin() + 11), (std::vector<fint>{1, 1, 3}));
    EXPECT_EQ(f.fact[f.info[13] - 1], 1.0);
  });
  EXPECT_EQ(out,
            "\n*** Warning message from routine MA57BD **   INFO(1) = 4\n     Matrix is singular, rank =    2\n");
}

// Variable 2 is the first pivot (variable 1 fails both tests); then the
// candidate after it, variable 3, has two off-diagonal entries of equal
// magnitude, in variable 1 (before it in the front) and in variable 4
// (after it): the one before it is its 2x2 partner.
Problem partner_problem() {
  Problem p;
  p.n = 4;
  p.add(2, 1, 2.0);
  p.add(3, 1, 1.0);
  p.add(2, 2, 100.0);
  p.add(4, 3, 1.0);
  p.add(4, 4, 5.0);
  return p;
}

TEST(Ma57bdPivots, TwoByTwoPartnerAmongEqualEntriesIsTheOneBefore) {
  Problem p = partner_problem();
  Controls c;
  c.cntl[0] = 0.5;
  Factors f = run(p, c, 200, 100);
  ASSERT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[21], 1);
  EXPECT_EQ(std::vector<fint>(f.ifact.begin() + 3, f.ifact.begin() + 9), (std::vector<fint>{4, 4, 2, -1, -3, 4}));
  EXPECT_LT(ma57test::reconstruction_error(p, f), 1e-14);
}

// The stored factors of partner_problem() under the given threshold and
// block size.
std::vector<double> partner_factors(double u, fint nb) {
  Controls c;
  c.cntl[0] = u;
  c.icntl[10] = nb;
  Factors f = run(partner_problem(), c, 200, 100);
  EXPECT_EQ(f.info[0], 0) << "threshold " << u << ", block size " << nb;
  return std::vector<double>(f.fact.begin(), f.fact.begin() + f.info[14]);
}

TEST(Ma57bdPivots, ThresholdIsClampedIntoZeroToHalf) {
  EXPECT_EQ(partner_factors(0.7, 16), partner_factors(0.5, 16));
  EXPECT_EQ(partner_factors(-1.0, 16), partner_factors(0.0, 16));
  // Without a threshold variable 1 pairs with variable 2 at once.
  EXPECT_NE(partner_factors(0.0, 16), partner_factors(0.5, 16));
}

TEST(Ma57bdPivots, NegativeZeroPivotThresholdStillStopsAtAZeroPivot) {
  // Without pivoting a zero pivot must be reported, never inverted.
  Problem p;
  p.n = 2;
  p.add(1, 1, 0.0);
  p.add(2, 1, 1.0);
  p.add(2, 2, 1.0);
  Controls c;
  c.cntl[1] = -1.0;
  for (fint mode : {2, 3}) {
    c.icntl[6] = mode;
    Factors f = run(p, c, 100, 100);
    EXPECT_EQ(f.info[0], -5) << "mode " << mode;
    EXPECT_EQ(f.info[1], 1);
  }
}

TEST(Ma57bdPivots, BlockSizeBelowOneActsAsOne) {
  const double u = Controls().cntl[0];
  const std::vector<double> one = partner_factors(u, 1);
  EXPECT_EQ(partner_factors(u, 0), one);
  EXPECT_EQ(partner_factors(u, -3), one);
}

// --- storage boundaries and counts of one factorisation -------------------------

TEST(Ma57bdStorage, ExactFitNeedsNoCompress) {
  Problem p = partner_problem();  // N = 4, NZ = 7: one front of 16 reals
  Controls c;
  Factors f = run(p, c, 16 + 7, 100);
  EXPECT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[27], 0);
  f = run(p, c, 16 + 7 - 1, 100);
  EXPECT_EQ(f.info[0], -3);
  EXPECT_EQ(f.info[27], 1);
  EXPECT_EQ(f.info[16], 23);
  // The integer test after the elimination asks for the record and one
  // more than the variables left; the first LIFACT the checks accept gets
  // there only by compressing the assembled column indices away.
  f = run(p, c, 100, 4 + 7 + 7);
  EXPECT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[28], 0);
  f = run(p, c, 100, 4 + 5 + 7);
  EXPECT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[28], 1);
  EXPECT_EQ(f.info[17], 16);
  EXPECT_EQ(f.info[19], 18);
}

TEST(Ma57bdStorage, CountsStartAgainWithEveryFactorisation) {
  Problem p;
  p.n = 2;
  p.add(1, 1, -1.0);
  p.add(2, 2, 1.0);
  Controls c;
  c.icntl[6] = 4;
  Factors f = run(p, c, 100, 100);
  ASSERT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[26], 1);
  EXPECT_GT(f.rinfo[13], 0.0);
  // New values on the same pattern that need no modification: nothing of
  // the first factorisation may show through.
  p.val = {2.0, 3.0};
  ma57test::factorise_into(p, c, f);
  EXPECT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[26], 0);
  EXPECT_EQ(f.rinfo[13], 0.0);
  c.icntl[6] = 3;
  p.val = {-1.0, 1.0};
  for (int run_no = 0; run_no < 2; ++run_no) {
    ma57test::factorise_into(p, c, f);
    EXPECT_EQ(f.info[0], 0);
    EXPECT_EQ(f.info[25], 1) << "sign changes of this factorisation only";
  }
  c.icntl[6] = 1;
  f.ifact.resize(2 + 5 + 2);  // the smallest LIFACT: one compress per run
  for (int run_no = 0; run_no < 2; ++run_no) {
    ma57test::factorise_into(p, c, f);
    EXPECT_EQ(f.info[0], 0);
    EXPECT_EQ(f.info[28], 1);
  }
}

}  // namespace
