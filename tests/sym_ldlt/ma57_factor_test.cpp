// MA57BD after MA57AD: factor layout, pivots and delays, singular
// matrices, the four pivoting controls, suspension and resumption,
// counting, the storage forecasts and the monitors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ma57_factor_support.hpp"

namespace {

using ma57test::analyse;
using ma57test::Analysis;
using ma57test::capture;
using ma57test::Controls;
using ma57test::factorise;
using ma57test::Factors;
using ma57test::lines_of;
using ma57test::Problem;
using tbl::fint;

constexpr fint kUnit = 43;

std::vector<fint> natural(fint n) {
  std::vector<fint> o(static_cast<std::size_t>(n));
  for (fint i = 0; i < n; ++i) o[i] = i + 1;
  return o;
}

Problem tridiagonal() {
  Problem p;
  p.n = 3;
  p.add(1, 1, 4.0);
  p.add(2, 1, 2.0);
  p.add(2, 2, 5.0);
  p.add(3, 2, 1.0);
  p.add(3, 3, 3.0);
  return p;
}

// --- stored form ----------------------------------------------------------------

TEST(Ma57bdLayout, TwoNodesOfATridiagonalMatrix) {
  // In the natural order the tree has node {1} (front 1, 2) below node
  // {2, 3}.
  Problem p = tridiagonal();
  Controls c;
  Analysis a = analyse(p, c, natural(3));
  ASSERT_EQ(a.info[0], 0);
  ASSERT_EQ(a.keep[3], 2);
  Factors f = factorise(p, c, a, 100, 100);
  ASSERT_EQ(f.info[0], 0);
  EXPECT_EQ(std::vector<fint>(f.ifact.begin(), f.ifact.begin() + 11),
            (std::vector<fint>{6, 5, 2, 2, 1, 1, 2, 2, 2, 2, 3}));
  EXPECT_EQ(std::vector<double>(f.fact.begin(), f.fact.begin() + 5),
            (std::vector<double>{0.25, -0.5, 0.25, 0.25, 1.0 / 2.75}));
  EXPECT_EQ(f.info[13], 5);   // entries in factors
  EXPECT_EQ(f.info[14], 5);   // with the (empty) 2x2 list
  EXPECT_EQ(f.info[15], 11);  // integers
  EXPECT_EQ(f.info[20], 2);   // largest front
  EXPECT_EQ(f.info[24], 3);
  EXPECT_EQ(f.info[30], 2);
  EXPECT_EQ(f.keep, a.keep) << "KEEP is as the analysis left it";
  // Assembly: 5 entries and one block of order 1; elimination: 1 + 1 + 2
  // at the first node, 1 + 1 + 2 and 1 at the second.
  EXPECT_EQ(f.rinfo[2], 6.0);
  EXPECT_EQ(f.rinfo[3], 9.0);
}

TEST(Ma57bdLayout, DuplicatesAreSummedAndOutOfRangeEntriesIgnored) {
  Problem p = tridiagonal();
  Problem q = p;
  q.val[1] = 1.5;
  q.add(1, 2, 0.5);   // mirror position of (2,1): summed with it
  q.add(0, 2, 9.0);   // out of range at analysis
  q.add(3, 3, 0.0);   // a second diagonal entry
  Controls c;
  Analysis a = analyse(p, c, natural(3)), b = analyse(q, c, natural(3));
  ASSERT_EQ(b.info[0], 3);
  Factors f = factorise(p, c, a, 100, 100), g = factorise(q, c, b, 100, 100);
  ASSERT_EQ(g.info[0], 0);
  EXPECT_EQ(std::vector<double>(g.fact.begin(), g.fact.begin() + 5),
            std::vector<double>(f.fact.begin(), f.fact.begin() + 5));
}

// --- pivots ---------------------------------------------------------------------

TEST(Ma57bdPivots, ZeroDiagonalDelaysToTheFather) {
  // Variable 1 has a zero diagonal and is alone at its node: it goes up to
  // the node of {2, 3} and is eliminated there.
  Problem p;
  p.n = 3;
  p.add(2, 1, 1.0);
  p.add(2, 2, 2.0);
  p.add(3, 2, 1.0);
  p.add(3, 3, 3.0);
  Controls c;
  Analysis a = analyse(p, c, natural(3));
  ASSERT_EQ(a.keep[3], 2);
  Factors f = factorise(p, c, a, 100, 100);
  ASSERT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[22], 1);
  EXPECT_EQ(f.info[24], 3);
  EXPECT_EQ(f.info[30], 1) << "the first node has no pivot and so no block";
  EXPECT_EQ(f.ifact[3], 3);
  EXPECT_EQ(f.ifact[4], 3);
  EXPECT_EQ(std::abs(f.ifact[7]), 1) << "the delayed variable comes after the node's own";
  EXPECT_LT(ma57test::reconstruction_error(p, f), 1e-15);
}

TEST(Ma57bdPivots, SaddlePointsForEveryBlockSize) {
  // The pivot search and the deferred updates depend on the block size;
  // every choice must give the inertia of the matrix and its factors.
  for (std::uint32_t seed : {1u, 2u, 7u}) {
    Problem p = ma57test::kkt(60, 25, 3 + seed % 2, seed);
    for (fint nb : {1, 2, 3, 16, 64}) {
      Controls c;
      c.icntl[10] = nb;
      Analysis a = analyse(p, c);
      Factors f = factorise(p, c, a);
      ASSERT_EQ(f.info[0], 0) << "seed " << seed << ", block size " << nb;
      EXPECT_EQ(f.info[23], 25);
      EXPECT_EQ(f.info[24], 85);
      EXPECT_LT(ma57test::reconstruction_error(p, f), 1e-13) << "seed " << seed << ", block size " << nb;
    }
  }
}

// --- singular matrices ----------------------------------------------------------

TEST(Ma57bdSingular, UneliminatedVariablesGetUnitRecordsInVariableOrder) {
  // Variables 2 and 5 have zero rows; the caller's order puts 5 first.
  Problem p;
  p.n = 5;
  p.add(1, 1, 2.0);
  p.add(3, 1, 1.0);
  p.add(3, 3, 4.0);
  p.add(4, 3, 1.0);
  p.add(4, 4, 3.0);
  p.add(2, 2, 0.0);
  p.add(5, 5, 0.0);
  Controls c;
  c.icntl[1] = kUnit;
  c.icntl[4] = 1;
  Analysis a = analyse(p, c, {2, 5, 3, 4, 1});
  std::string out = capture(kUnit, [&] {
    Factors f = factorise(p, c, a, 200, 200);
    ASSERT_EQ(f.info[0], 4);
    EXPECT_EQ(f.info[24], 3);
    const fint nblk = f.ifact[2];
    const fint end = f.info[15];
    EXPECT_EQ(std::vector<fint>(f.ifact.begin() + end - 6, f.ifact.begin() + end),
              (std::vector<fint>{1, 1, 2, 1, 1, 5}));
    EXPECT_EQ(f.info[30], nblk);
    EXPECT_EQ(f.fact[f.info[13] - 1], 1.0);
    EXPECT_EQ(f.fact[f.info[13] - 2], 1.0);
    EXPECT_LT(ma57test::reconstruction_error(p, f), 1e-15);
  });
  EXPECT_EQ(out, "\n*** Warning message from routine MA57BD **   INFO(1) = 4\n     Matrix is singular, rank =    3\n");
}

TEST(Ma57bdSingular, NoEntriesAtAll) {
  Problem p;
  p.n = 3;
  Controls c;
  Analysis a = analyse(p, c);
  ASSERT_EQ(a.info[0], 0);
  Factors f = factorise(p, c, a, 50, 50);
  ASSERT_EQ(f.info[0], 4);
  EXPECT_EQ(f.info[24], 0);
  EXPECT_EQ(std::vector<fint>(f.ifact.begin(), f.ifact.begin() + 12),
            (std::vector<fint>{4, 3, 3, 1, 1, 1, 1, 1, 2, 1, 1, 3}));
  EXPECT_EQ(std::vector<double>(f.fact.begin(), f.fact.begin() + 3), (std::vector<double>{1.0, 1.0, 1.0}));
  for (fint mode : {2, 3}) {
    c.icntl[6] = mode;
    f = factorise(p, c, a, 50, 50);
    EXPECT_EQ(f.info[0], -5);
    EXPECT_EQ(f.info[1], 1);
  }
}

// --- pivoting controls ------------------------------------------------------------

TEST(Ma57bdControls, NoPivotingOnDefiniteAndIndefiniteMatrices) {
  Problem spd = ma57test::laplacian3d(4);
  Problem neg = spd;
  for (double& v : neg.val) v = -v;
  Problem indef = ma57test::kkt(20, 8, 2, 5);
  for (fint i = 1; i <= indef.n; ++i) indef.add(i, i, i > 20 ? -1.0 : 0.0);  // regularised: no zero pivot
  Controls c;
  for (fint mode : {2, 3}) {
    c.icntl[6] = mode;
    for (const Problem* p : {&spd, &neg}) {
      Analysis a = analyse(*p, c);
      Factors f = factorise(*p, c, a);
      ASSERT_EQ(f.info[0], 0);
      EXPECT_EQ(f.info[25], 0);
      EXPECT_EQ(f.info[23], p == &neg ? p->n : 0);
      EXPECT_EQ(f.info[21] + f.info[22], 0) << "no 2x2 pivots and no delays";
      EXPECT_LT(ma57test::reconstruction_error(*p, f), 1e-14);
    }
  }
  Analysis a = analyse(indef, c);
  c.icntl[6] = 2;
  Factors f = factorise(indef, c, a);
  EXPECT_EQ(f.info[0], -6);
  c.icntl[6] = 3;
  f = factorise(indef, c, a);
  ASSERT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[23], 8);
  EXPECT_GE(f.info[25], 1);
  EXPECT_LT(ma57test::reconstruction_error(indef, f), 1e-13);
}

TEST(Ma57bdControls, ModificationMakesTheMatrixDefinite) {
  Problem p = ma57test::kkt(25, 10, 3, 11);
  Controls c;
  c.icntl[6] = 4;
  Analysis a = analyse(p, c);
  Factors f = factorise(p, c, a);
  ASSERT_EQ(f.info[0], 0);
  EXPECT_GT(f.info[26], 0);
  EXPECT_EQ(f.info[23], 0) << "every pivot positive";
  // The factors are those of A + diag(DIAGADD), DIAGADD at the top of FACT.
  Problem m = p;
  double largest = 0.0;
  for (fint v = 1; v <= p.n; ++v) {
    const double e = f.fact[f.fact.size() - p.n + (v - 1)];
    EXPECT_GE(e, 0.0);
    largest = std::max(largest, e);
    m.add(v, v, e);
  }
  EXPECT_EQ(f.rinfo[13], largest);
  EXPECT_GT(f.rinfo[14], 0.0);
  EXPECT_LT(ma57test::reconstruction_error(m, f), 1e-13);
  // A definite matrix is left alone.
  Problem spd = ma57test::laplacian3d(3);
  a = analyse(spd, c);
  f = factorise(spd, c, a);
  ASSERT_EQ(f.info[0], 0);
  EXPECT_EQ(f.info[26], 0);
  EXPECT_LT(ma57test::reconstruction_error(spd, f), 1e-14);
}

// --- suspension, counting and the storage forecasts -----------------------------

struct Resumed {
  Factors f;
  int real_suspensions = 0, int_suspensions = 0;
};

// Starts with the smallest lengths MA57BD accepts and, at each suspension,
// moves the data into arrays a quarter larger: the short array alone, or
// both after every other suspension for integer space (starting with the
// first, when the eliminated front must come along with the reals).
Resumed factorise_with_suspensions(const Problem& p, Controls c, const Analysis& a) {
  c.icntl[7] = 1;
  const fint nz = a.keep[static_cast<std::size_t>(p.n) + 1];
  Resumed r;
  r.f = factorise(p, c, a, nz + 1 + (c.icntl[6] == 4 ? p.n + 5 : 0), p.n + 5 + nz);
  while (r.f.info[0] == 10 || r.f.info[0] == 11) {
    const bool real = r.f.info[0] == 10;
    const int count = ++(real ? r.real_suspensions : r.int_suspensions);
    fint icopy = real ? 0 : (count % 2 == 1 ? 2 : 1);
    fint n = p.n, lf = r.f.lfact(), li = r.f.lifact();
    fint nlf = icopy != 1 ? lf + lf / 4 + 1 : lf, nli = icopy >= 1 ? li + li / 4 + 1 : li;
    std::vector<double> nf(static_cast<std::size_t>(nlf), 0.0);
    std::vector<fint> ni(static_cast<std::size_t>(nli), 0);
    fint info[40];
    MA57ED(&n, &icopy, r.f.keep.data(), r.f.fact.data(), &lf, nf.data(), &nlf, r.f.ifact.data(), &li, ni.data(),
           &nli, info);
    EXPECT_EQ(info[0], 0);
    if (icopy != 1) r.f.fact.swap(nf);
    if (icopy >= 1) r.f.ifact.swap(ni);
    ma57test::factorise_into(p, c, r.f);
  }
  return r;
}

void expect_same_factors(const Factors& f, const Factors& g) {
  ASSERT_EQ(f.info[0], g.info[0]);
  for (int k : {13, 14, 15, 20, 21, 22, 23, 24, 25, 26, 30}) EXPECT_EQ(f.info[k], g.info[k]) << "INFO(" << k + 1 << ")";
  for (int k : {2, 3, 4, 13, 14}) EXPECT_EQ(f.rinfo[k], g.rinfo[k]) << "RINFO(" << k + 1 << ")";
  EXPECT_EQ(0, std::memcmp(f.fact.data(), g.fact.data(), sizeof(double) * static_cast<std::size_t>(f.info[14])));
  EXPECT_EQ(0, std::memcmp(f.ifact.data(), g.ifact.data(), sizeof(fint) * static_cast<std::size_t>(f.info[15])));
}

TEST(Ma57bdSuspension, ResumedFactorisationEqualsTheOneShot) {
  struct Case {
    Problem p;
    fint mode;
  };
  std::vector<Case> cases{{ma57test::kkt(80, 30, 3, 21), 1},
                          {ma57test::laplacian3d(5), 1},
                          {ma57test::laplacian3d(4), 2},
                          {ma57test::kkt(40, 15, 2, 4), 4}};
  for (const Case& k : cases) {
    Controls c;
    c.icntl[6] = k.mode;
    Analysis a = analyse(k.p, c);
    Factors once = factorise(k.p, c, a);
    ASSERT_EQ(once.info[0], 0);
    Resumed r = factorise_with_suspensions(k.p, c, a);
    EXPECT_GT(r.real_suspensions, 0);
    EXPECT_GT(r.int_suspensions, 0);
    expect_same_factors(r.f, once);
    const std::size_t n = static_cast<std::size_t>(k.p.n);
    EXPECT_EQ(std::vector<fint>(r.f.keep.begin(), r.f.keep.begin() + n),
              std::vector<fint>(a.keep.begin(), a.keep.begin() + n));
    EXPECT_EQ(r.f.keep[n + 2], 0) << "no suspension pending";
  }
}

// After the last node the records of uneliminated variables (three
// integers each) and the list of 2x2 entries (one real each) still need
// room; the arrays may run short there and nowhere else.
void expect_short_only_at_the_end(const Problem& p, bool integers) {
  Controls c;
  const fint n = p.n;
  Analysis a = analyse(p, c, natural(n));
  Factors once = factorise(p, c, a);
  ASSERT_GE(once.info[0], 0);
  if (integers)
    EXPECT_EQ(once.info[17], once.info[15]) << "the records decide the integer length";
  else
    EXPECT_EQ(once.info[16], once.info[14]) << "the 2x2 list decides the real length";
  const fint lf = integers ? 100000 : once.info[16] - 1, li = integers ? once.info[17] - 1 : 100000;
  Factors f = factorise(p, c, a, lf, li);
  EXPECT_EQ(f.info[0], integers ? -4 : -3);
  EXPECT_EQ(f.info[integers ? 17 : 16], once.info[integers ? 17 : 16]);
  c.icntl[7] = 1;
  f = factorise(p, c, a, lf, li);
  ASSERT_EQ(f.info[0], integers ? 11 : 10);
  EXPECT_EQ(f.keep[static_cast<std::size_t>(n) + 2 + 22], a.keep[static_cast<std::size_t>(n)] + 1)
      << "suspended after the last node";
  fint icopy = integers ? 1 : 0, lf2 = lf + 1, li2 = li + 1, info[40];
  std::vector<double> nf(static_cast<std::size_t>(lf2));
  std::vector<fint> ni(static_cast<std::size_t>(li2));
  MA57ED(&n, &icopy, f.keep.data(), f.fact.data(), &lf, nf.data(), &lf2, f.ifact.data(), &li, ni.data(), &li2, info);
  ASSERT_EQ(info[0], 0);
  if (integers)
    f.ifact.swap(ni);
  else
    f.fact.swap(nf);
  ma57test::factorise_into(p, c, f);
  expect_same_factors(f, once);
}

TEST(Ma57bdSuspension, RecordsOfUneliminatedVariablesAfterTheLastNode) {
  // Variables 2..9 hang on variable 1 with zero entries and stay
  // uneliminated at their root; a long chain follows.
  Problem p;
  p.n = 209;
  p.add(1, 1, 1.0);
  for (fint i = 2; i <= 9; ++i) p.add(i, 1, 0.0);
  for (fint i = 10; i <= 209; ++i) {
    p.add(i, i, 4.0);
    if (i > 10) p.add(i, i - 1, 1.0);
  }
  expect_short_only_at_the_end(p, true);
}

TEST(Ma57bdSuspension, TwoByTwoListAfterTheLastNode) {
  Problem p;  // fifty independent 2x2 pivots
  p.n = 100;
  for (fint i = 1; i <= 50; ++i) p.add(2 * i, 2 * i - 1, 1.0 + i);
  expect_short_only_at_the_end(p, false);
}

TEST(Ma57bdForecast, ReportedLengthsSufficeForARerun) {
  std::vector<Problem> problems{ma57test::kkt(120, 50, 3, 8), ma57test::laplacian3d(6), ma57test::kkt(60, 59, 2, 9)};
  for (const Problem& p : problems) {
    for (fint mode : {1, 4}) {
      Controls c;
      c.icntl[6] = mode;
      Analysis a = analyse(p, c);
      Factors f = factorise(p, c, a);
      ASSERT_EQ(f.info[0], 0);
      EXPECT_GE(f.info[16], f.info[14]);
      // With compresses allowed.
      Factors g = factorise(p, c, a, f.info[16], f.info[17]);
      expect_same_factors(g, f);
      // Without any compress.
      Factors h = factorise(p, c, a, f.info[18], f.info[19]);
      expect_same_factors(h, f);
      EXPECT_EQ(h.info[27], 0);
      EXPECT_EQ(h.info[28], 0);
      // One less than needed fails with what is needed.
      Factors s = factorise(p, c, a, f.info[16] - 1, f.info[19]);
      EXPECT_EQ(s.info[0], -3);
      Factors t = factorise(p, c, a, f.info[18], f.info[17] - 1);
      EXPECT_EQ(t.info[0], -4);
      EXPECT_EQ(t.info[1], f.info[17] - 1);
      EXPECT_EQ(t.info[17], f.info[17]);
    }
  }
}

TEST(Ma57bdForecast, CountingModeReportsWhatARerunNeeds) {
  Problem p = ma57test::kkt(150, 60, 3, 13);
  Controls c;
  Analysis a = analyse(p, c);
  Factors f = factorise(p, c, a);
  ASSERT_EQ(f.info[0], 0);
  // Short by one real: the run goes on counting past the node that does
  // not fit and reports the full length.
  Factors g = factorise(p, c, a, f.info[16] - 1, f.info[17]);
  EXPECT_EQ(g.info[0], -3);
  EXPECT_EQ(g.info[1], f.info[16] - 1);
  EXPECT_EQ(g.info[16], f.info[16]);
  // Far too short: the first front does not fit even with no factor
  // stored, and the run stops there with what it needs so far.
  const fint nz = a.keep[static_cast<std::size_t>(p.n) + 1];
  Factors s = factorise(p, c, a, nz + 1, f.info[17]);
  EXPECT_EQ(s.info[0], -3);
  EXPECT_GT(s.info[16], nz + 1);
  EXPECT_LE(s.info[16], f.info[16]);
}

// --- monitors -------------------------------------------------------------------

std::string factorise_printed(const Problem& p, fint level, const Analysis& a, fint lf = 100, fint li = 100) {
  Controls c;
  c.icntl[0] = c.icntl[1] = c.icntl[2] = kUnit;
  c.icntl[4] = level;
  return capture(kUnit, [&] { factorise(p, c, a, lf, li); });
}

TEST(Ma57bdMonitor, EnteringAndLeavingRecords) {
  Problem p = tridiagonal();
  Controls c;
  Analysis a = analyse(p, c, natural(3));
  std::vector<std::string> lines = lines_of(factorise_printed(p, 3, a));
  const std::vector<std::string> head{
      "",
      "",
      "Entering factorization phase (MA57BD) with ...",
      "N       Order of input matrix               =           3",
      "NE      Entries in input matrix             =           5",
      "        Entries in input matrix (inc diags) =           5",
      "ICNTL(1)  Stream for errors                 =          43",
      " --- (2)  Stream for warnings               =          43",
      " --- (3)  Stream for monitoring             =          43",
      " --- (4)  Stream for statistics             =          -1",
      " --- (5)  Level of diagnostic printing      =           3",
      " --- (7)  Numerical pivoting control        =           1",
      " --- (8)  Restart or discard factors        =           0",
      " --- (11) Block size for Level 3 BLAS       =          16",
      "LFACT   Size of real working space          =         100",
      "LIFACT  Size of integer working space       =         100",
      "        Number nodes in assembly tree       =           2",
      "CNTL(1) Value of threshold parameter        = 0.10000D-01",
      "CNTL(2) Threshold for zero pivot            = 0.00000D+00",
      "",
      "Matrix entries:",
      "     1: (  4.00000000D+00)     2: (  2.00000000D+00)     3: (  5.00000000D+00)",
      "     4: (  1.00000000D+00)     5: (  3.00000000D+00)",
      "",
      "Permutation array:",
      "           1           2           3",
  };
  ASSERT_GT(lines.size(), head.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + head.size()), head);
  const std::vector<std::string> leaving{
      "",
      "Leaving factorization phase (MA57BD) with ...",
      "INFO (1)                                      =           0",
      " --- (2)                                      =           0",
      " --- (14) Number of entries in factors        =           5",
      " --- (15) Real storage for factors            =           5",
      " --- (16) Integer storage for factors         =          11",
  };
  auto it = std::find(lines.begin(), lines.end(), leaving[1]);
  ASSERT_NE(it, lines.end());
  EXPECT_EQ(std::vector<std::string>(it - 1, it - 1 + leaving.size()), leaving);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "RINFO(3)  Operations during node assembly     =   6.000D+00"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "For the first block only, the following information is provided:"),
            lines.end());
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Block pivot     2 with     2 rows and     2 columns"), 0);
  // Level 4: every block; level 5: the picture, without the legend.
  lines = lines_of(factorise_printed(p, 4, a));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Block pivot     2 with     2 rows and     2 columns"), 1);
  lines = lines_of(factorise_printed(p, 5, a));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Block pivot     2 with     2 rows and     2 columns"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "For each block, the following information is provided:"), 0);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], " *" + std::string(70, ' '));
  EXPECT_EQ(lines.back(), "") << "no variable besides the pivots";
  // Level 2: nothing.
  EXPECT_EQ(factorise_printed(p, 2, a), "");
}

TEST(Ma57bdMonitor, LongArraysAreCutBelowLevelFour) {
  Problem p = ma57test::laplacian3d(3);  // N = 27
  Controls c;
  Analysis a = analyse(p, c);
  std::vector<std::string> lines = lines_of(factorise_printed(p, 3, a, 5000, 5000));
  auto after = [&](const std::string& title) {
    auto it = std::find(lines.begin(), lines.end(), title);
    EXPECT_NE(it, lines.end()) << title;
    return it == lines.end() ? std::vector<std::string>{} : std::vector<std::string>(it + 1, it + 4);
  };
  std::vector<std::string> perm = after("Permutation array:");
  ASSERT_EQ(perm.size(), 3u);
  EXPECT_EQ(perm[2], std::string(16, ' ') + " . . .");
  std::vector<std::string> cols = after("Column indices of permuted matrix:");
  EXPECT_EQ(cols[2], std::string(16, ' ') + "     . . .");
  auto entries = std::find(lines.begin(), lines.end(), "Matrix entries:");
  ASSERT_NE(entries, lines.end());
  EXPECT_EQ(*(entries + 5), "     . . .");
  lines = lines_of(factorise_printed(p, 4, a, 5000, 5000));
  auto it = std::find(lines.begin(), lines.end(), "Permutation array:");
  ASSERT_NE(it, lines.end());
  EXPECT_EQ(std::find(it, lines.end(), "") - it, 1 + 6) << "all 27 entries, five to a line";
}

TEST(Ma57bdMonitor, SuspensionAndReentry) {
  Problem p = ma57test::laplacian3d(3);
  Controls c;
  c.icntl[0] = c.icntl[1] = c.icntl[2] = kUnit;
  c.icntl[4] = 3;
  c.icntl[7] = 1;
  Analysis a = analyse(p, c);
  const fint nz = a.keep[static_cast<std::size_t>(p.n) + 1];
  Factors f;
  std::string out = capture(kUnit, [&] { f = factorise(p, c, a, nz + 1, 5000); });
  ASSERT_EQ(f.info[0], 10);
  std::vector<std::string> lines = lines_of(out);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"Leaving factorization phase (MA57BD) with ...",
                                      "Factorization suspended because of lack of real space", "INFO (1) =  10"}));
  fint n = p.n, icopy = 0, lf = f.lfact(), nlf = 5000, li = f.lifact(), info[40];
  std::vector<double> nf(5000);
  MA57ED(&n, &icopy, f.keep.data(), f.fact.data(), &lf, nf.data(), &nlf, f.ifact.data(), &li, nullptr, &li, info);
  ASSERT_EQ(info[0], 0);
  f.fact.swap(nf);
  out = capture(kUnit, [&] { ma57test::factorise_into(p, c, f); });
  EXPECT_EQ(f.info[0], 0);
  lines = lines_of(out);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[2], "Entering factorization phase (MA57BD) with ...");
  EXPECT_EQ(lines[3], "Re-entry call after call to MA57ED");
}

}  // namespace
