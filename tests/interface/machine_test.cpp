// Machine constants and the library's stop, reached through the core.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "interface/blas.hpp"
#include "interface/fmt.hpp"
#include "interface/machine.hpp"
#include "interface/units.hpp"
#include "support/child.hpp"
#include "support/files.hpp"

namespace {

using tbl::test::run_in_child;

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

TEST(Re05re, TableHoldsTheExactPatterns) {
  EXPECT_EQ(bits(tbl::re05re(1)), 0x3CB0000000000002u);
  EXPECT_EQ(bits(tbl::re05re(2)), 0x3CA0000000000006u);
  EXPECT_EQ(bits(tbl::re05re(3)), 0x0010000000000001u);
  EXPECT_EQ(bits(tbl::re05re(4)), 0x0010000000000001u);
  EXPECT_EQ(bits(tbl::re05re(5)), 0x7FEFFFFFFFFFFFFBu);
  EXPECT_GT(1.0 + tbl::re05re(1), 1.0);
}

TEST(Re05re, OutOfRangeWritesOneLineAndStopsWithStatusZero) {
  for (int inum : {0, 6}) {
    auto r = run_in_child([&] { tbl::re05re(inum); });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, " INUM =  " + std::to_string(inum) +
                         " OUT OF RANGE IN RE05RE. EXECUTION TERMINATED.\n");
    EXPECT_EQ(r.err, "");
  }
  auto r = run_in_child([] { tbl::re05re(-100); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, " INUM =*** OUT OF RANGE IN RE05RE. EXECUTION TERMINATED.\n");
}

TEST(Dlamch, LettersGiveTheFixedPatternsWhateverTheirCase) {
  struct Case {
    char letter;
    std::uint64_t pattern;
  };
  const Case cases[] = {
      {'E', 0x3CA0000000000000}, {'S', 0x0010000000000001}, {'B', 0x4000000000000000},
      {'P', 0x3CB0000000000000}, {'N', 0x404A800000000000}, {'R', 0x3FF0000000000000},
      {'M', 0xC08FE80000000000}, {'U', 0x0010000000000001}, {'L', 0x4090000000000000},
      {'O', 0x7FEFFFFFFFFFFFFB},
  };
  for (const Case& c : cases) {
    const char lower = static_cast<char>(c.letter - 'A' + 'a');
    EXPECT_EQ(bits(DLAMCH(&c.letter, 1)), c.pattern) << c.letter;
    EXPECT_EQ(bits(DLAMCH(&lower, 1)), c.pattern) << lower;
    // LAPACK binds to the same answers, not to the archive's own routine.
    EXPECT_EQ(bits(dlamch_(&c.letter, 1)), c.pattern) << c.letter;
  }
  // Only the first character counts; unknown letters give zero.
  EXPECT_EQ(bits(DLAMCH("Epsilon", 7)), 0x3CA0000000000000u);
  EXPECT_EQ(DLAMCH("X", 1), 0.0);
  EXPECT_EQ(DLAMCH(" ", 1), 0.0);
  const double a = 1.0, b = 0x1p-53;
  EXPECT_EQ(dlamc3_(&a, &b), 1.0);
}

TEST(Xerbla, IllegalLapackArgumentReportsAndStops) {
  auto r = run_in_child([] {
    tbl::fint m = -1, n = 2, lda = 2, ipiv[2], info = 0;
    double a[4] = {};
    dgetrf_(&m, &n, a, &lda, ipiv, &info);
  });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, " ** On entry to DGETRF parameter number  1 had an illegal value\n");
  EXPECT_EQ(r.err, "");
}

TEST(Xerbla, NameTakesExactlySixColumns) {
  // The BLAS passes "DGEMM " with its trailing blank.
  auto r = run_in_child([] {
    tbl::fint m = 2, n = 2, k = 2, lda = 1, ldb = 2, ldc = 2;
    double a[4] = {}, b[4] = {}, c[4] = {}, one = 1.0;
    dgemm_("N", "N", &m, &n, &k, &one, a, &lda, b, &ldb, &one, c, &ldc, 1, 1);
  });
  EXPECT_EQ(r.out, " ** On entry to DGEMM  parameter number  8 had an illegal value\n");
  r = run_in_child([] {
    tbl::fint info = 3;
    xerbla_("AB", &info, 2);
  });
  EXPECT_EQ(r.out, " ** On entry to AB     parameter number  3 had an illegal value\n");
  r = run_in_child([] {
    tbl::fint info = 123;
    xerbla_("DGETRF2", &info, 7);
  });
  EXPECT_EQ(r.out, " ** On entry to DGETRF parameter number ** had an illegal value\n");
}

using Stop = tbl::test::ScratchDir;

TEST_F(Stop, FlushesAndClosesOpenUnits) {
  const std::string f = path("stop.txt");
  auto r = run_in_child([&] {
    tbl::io::unit_attach(31, f);
    tbl::io::write(31, "(' written before the stop')");
    tbl::fint info = 1;
    xerbla_("DPOTRF", &info, 6);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(tbl::test::read_file(f), " written before the stop\n");
}

}  // namespace
