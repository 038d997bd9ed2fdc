// Storage routines of the factorisation: sliding a stack (MA57_SHIFT_DATA),
// moving a suspended factorisation into larger arrays (MA57ED) and bringing
// the kernel's pivot blocks into stored form (MA57_REPACK_FACTORS).
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "sym_ldlt/ma57_factor.hpp"

namespace {

using tbl::fint;

// --- MA57_SHIFT_DATA --------------------------------------------------------

struct Shift {
  std::vector<double> ra;
  std::vector<fint> ia;
  fint low, high;
  void run(fint newhigh, tbl::logical reals) {
    MA57_SHIFT_DATA(ra.data(), ia.data(), &low, &high, &newhigh, &reals);
  }
};

TEST(Ma57ShiftData, MovesTheBlockUpAcrossAnOverlap) {
  // Entries 3..7 (LOW = 2, HIGH = 8) move to end at position 9.
  Shift s{std::vector<double>(12), std::vector<fint>(12), 2, 8};
  std::iota(s.ia.begin(), s.ia.end(), 1);
  s.run(10, tbl::kFalse);
  EXPECT_EQ(s.high, 10);
  EXPECT_EQ(s.low, 4);
  EXPECT_EQ(std::vector<fint>(s.ia.begin() + 4, s.ia.begin() + 9), (std::vector<fint>{3, 4, 5, 6, 7}));
  EXPECT_EQ(s.ia[9], 10) << "nothing written at or above NEWHIGH";
}

TEST(Ma57ShiftData, LongBlocksWithoutOverlapAndTheRealsFlag) {
  // 30 reals moved far up (no overlap); the integer array is left alone.
  Shift s{std::vector<double>(100), std::vector<fint>(100, -1), 0, 31};
  std::iota(s.ra.begin(), s.ra.end(), 1.0);
  s.run(91, 3);  // low bit set: reals
  EXPECT_EQ(s.low, 60);
  EXPECT_EQ(s.high, 91);
  for (int k = 0; k < 30; ++k) EXPECT_EQ(s.ra[60 + k], k + 1.0);
  EXPECT_EQ(s.ia[60], -1);
  // Low bit clear (2): the integers move, the reals do not.
  Shift t{std::vector<double>(50, 7.0), std::vector<fint>(50), 10, 40};
  std::iota(t.ia.begin(), t.ia.end(), 1);
  t.run(49, 2);
  EXPECT_EQ(t.low, 19);
  for (int k = 0; k < 29; ++k) EXPECT_EQ(t.ia[19 + k], 11 + k);
  EXPECT_EQ(t.ra[19], 7.0);
}

TEST(Ma57ShiftData, EmptyBlockAndNoMove) {
  Shift s{std::vector<double>(10), std::vector<fint>(10, 5), 4, 5};
  s.run(9, tbl::kFalse);
  EXPECT_EQ(s.high, 9);
  EXPECT_EQ(s.low, 8);
  EXPECT_EQ(s.ia, std::vector<fint>(10, 5));
  Shift t{std::vector<double>(10), std::vector<fint>(10, 5), 2, 7};
  t.run(7, tbl::kFalse);
  EXPECT_EQ(t.low, 2);
  EXPECT_EQ(t.high, 7);
}

// --- MA57ED -----------------------------------------------------------------

// A suspended factorisation of order N = 3 in arrays of 20 reals and 20
// integers: stored data below the free space, stacks and structure above.
struct Suspended {
  static constexpr fint kN = 3;
  std::vector<fint> keep = std::vector<fint>(60, 0);
  std::vector<double> fact = std::vector<double>(20);
  std::vector<fint> ifact = std::vector<fint>(20);
  Suspended(fint flag, fint nfront) {
    std::iota(fact.begin(), fact.end(), 1.0);
    std::iota(ifact.begin(), ifact.end(), 101);
    hold(1) = flag;
    hold(8) = 9;    // record's first index: IFACT(1..9+NFRONT-1) below
    hold(24) = nfront;
    hold(10) = 6;   // FACT(1..5) stored factors
    hold(13) = 17;
    hold(14) = 18;
    hold(15) = 15;  // IFACT(16..20) above
    hold(16) = 14;  // FACT(15..20) above
    hold(19) = 19;
    hold(20) = 18;
  }
  fint& hold(int k) { return keep[static_cast<std::size_t>(kN + 2 + k - 1)]; }
};

struct Copied {
  std::vector<double> fact;
  std::vector<fint> ifact;
  fint info[2] = {-99, -99};
};

Copied ma57ed(Suspended& s, fint icopy, fint lnewfact, fint lnewifact) {
  Copied c{std::vector<double>(static_cast<std::size_t>(lnewfact), -1.0),
           std::vector<fint>(static_cast<std::size_t>(lnewifact), -1)};
  fint n = Suspended::kN, lfact = 20, lifact = 20;
  MA57ED(&n, &icopy, s.keep.data(), s.fact.data(), &lfact, c.fact.data(), &lnewfact, s.ifact.data(), &lifact,
         c.ifact.data(), &lnewifact, c.info);
  return c;
}

TEST(Ma57ED, RealCopyMovesTheTopAndItsPositions) {
  Suspended s(1, 2);
  const std::vector<fint> before = s.keep;
  Copied c = ma57ed(s, 0, 25, 20);
  EXPECT_EQ(c.info[0], 0);
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(c.fact[k - 1], k);
  for (int k = 6; k <= 19; ++k) EXPECT_EQ(c.fact[k - 1], -1.0) << "free space untouched at " << k;
  for (int k = 15; k <= 20; ++k) EXPECT_EQ(c.fact[k + 5 - 1], k);
  EXPECT_EQ(s.hold(13), 22);
  EXPECT_EQ(s.hold(20), 23);
  EXPECT_EQ(s.hold(16), 19);
  EXPECT_EQ(s.hold(14), before[Suspended::kN + 2 + 13]) << "integer positions stay";
  EXPECT_EQ(c.ifact, std::vector<fint>(20, -1)) << "ICOPY = 0 copies no integers";
}

TEST(Ma57ED, IntegerCopyLeavesTheRealsAlone) {
  Suspended s(2, 3);
  Copied c = ma57ed(s, 1, 20, 26);
  EXPECT_EQ(c.info[0], 0);
  for (int k = 1; k <= 11; ++k) EXPECT_EQ(c.ifact[k - 1], 100 + k);
  EXPECT_EQ(c.ifact[11], -1);
  for (int k = 16; k <= 20; ++k) EXPECT_EQ(c.ifact[k + 6 - 1], 100 + k);
  EXPECT_EQ(s.hold(14), 24);
  EXPECT_EQ(s.hold(19), 25);
  EXPECT_EQ(s.hold(15), 21);
  EXPECT_EQ(s.hold(13), 17);
  EXPECT_EQ(c.fact, std::vector<double>(20, -1.0));
}

TEST(Ma57ED, BothCopiesAfterAnIntegerSuspensionKeepTheEliminatedFront) {
  // Suspended for integer space with a front of order 3 already eliminated
  // at FACT(6..14): it must reach the new array with the stored factors.
  Suspended s(2, 3);
  Copied c = ma57ed(s, 2, 30, 30);
  EXPECT_EQ(c.info[0], 0);
  for (int k = 1; k <= 14; ++k) EXPECT_EQ(c.fact[k - 1], k);
  for (int k = 15; k <= 20; ++k) EXPECT_EQ(c.fact[k + 10 - 1], k);
  EXPECT_EQ(s.hold(16), 24);
  EXPECT_EQ(s.hold(15), 25);
}

TEST(Ma57ED, RefusalChangesNothing) {
  Suspended s(1, 2);
  const std::vector<fint> before = s.keep;
  Copied c = ma57ed(s, 0, 20, 30);
  EXPECT_EQ(c.info[0], -7);
  EXPECT_EQ(c.info[1], 20);
  c = ma57ed(s, 1, 30, 20);
  EXPECT_EQ(c.info[0], -7);
  EXPECT_EQ(c.info[1], 20);
  // Integers long enough, reals not: nothing may move, KEEP included, so
  // that the host can retry with a larger real array.
  c = ma57ed(s, 2, 19, 30);
  EXPECT_EQ(c.info[0], -7);
  EXPECT_EQ(c.info[1], 19);
  EXPECT_EQ(s.keep, before);
  EXPECT_EQ(c.ifact, std::vector<fint>(30, -1));
  c = ma57ed(s, 5, 30, 15);
  EXPECT_EQ(c.info[0], -7);
  EXPECT_EQ(c.info[1], 15);
  EXPECT_EQ(s.keep, before);
}

TEST(Ma57ED, EmptyStacksStillMoveThePositions) {
  Suspended s(1, 2);
  s.hold(15) = 20;
  s.hold(16) = 20;
  Copied c = ma57ed(s, 2, 24, 23);
  EXPECT_EQ(c.info[0], 0);
  EXPECT_EQ(s.hold(15), 23);
  EXPECT_EQ(s.hold(16), 24);
  EXPECT_EQ(s.hold(13), 21);
  EXPECT_EQ(c.fact[23], -1.0);
  EXPECT_EQ(c.ifact[22], -1);
}

// --- MA57_REPACK_FACTORS -------------------------------------------------------

TEST(Ma57RepackFactors, TwoOneByOnePivotsOnlyChangeTheSignBelowTheFirstDiagonal) {
  // Block 3 columns, 2 pivots: packed pivot block d1, l21, d2, then the
  // off-pivot part (one entry per pivot).
  std::vector<double> fact{4.0, -0.5, 3.0, 7.0, 8.0, 0.0};
  std::vector<fint> ifact{0, 0, 1, 3, 2, 1, 2, 3};
  fint lfact = 6, lifact = 8, lastpos = 5;
  MA57_REPACK_FACTORS(fact.data(), &lfact, ifact.data(), &lifact, &lastpos);
  EXPECT_EQ(fact, (std::vector<double>{4.0, 0.5, 3.0, 7.0, 8.0, 0.0}));
  EXPECT_EQ(lastpos, 5);
}

TEST(Ma57RepackFactors, TwoByTwoEntryMovesToTheList) {
  // Block 1: a 2x2 pivot (indices -2, -1) whose slot below the first
  // diagonal holds D^-1's off-diagonal; block 2: a 1x1 pivot then a 2x2.
  std::vector<double> fact{0.5, 0.25, 0.75,                  // block 1
                           2.0, -1.0, -2.0, 5.0, 0.125, 6.0,  // block 2: 3 pivots
                           0.0, 0.0};
  std::vector<fint> ifact{0, 0, 2, 2, 2, -2, -1, 3, 3, 3, -4, -5};
  fint lfact = 11, lifact = 12, lastpos = 9;
  MA57_REPACK_FACTORS(fact.data(), &lfact, ifact.data(), &lifact, &lastpos);
  EXPECT_EQ(lastpos, 11);
  EXPECT_EQ(fact[0], 0.5);
  EXPECT_EQ(fact[1], 0.0);
  EXPECT_FALSE(std::signbit(fact[1])) << "the zero left in place is +0.0";
  EXPECT_EQ(fact[2], 0.75);
  // Block 2, column 1 (1x1): entries below change sign; column 2 starts a
  // 2x2 whose entry moves out; column 3 has nothing below.
  EXPECT_EQ(std::vector<double>(fact.begin() + 3, fact.begin() + 9),
            (std::vector<double>{2.0, 1.0, 2.0, 5.0, 0.0, 6.0}));
  EXPECT_EQ(fact[9], 0.25);
  EXPECT_EQ(fact[10], 0.125);
}

}  // namespace
