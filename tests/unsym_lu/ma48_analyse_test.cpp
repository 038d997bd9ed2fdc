// The analysis through the entry points: argument checks and their
// messages, the block triangular form and the layout it leaves for the
// later phases, duplicates and out-of-range entries, structural singularity,
// given permutations and changed columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "TesselBasicLib.h"
#include "ma48_families.hpp"
#include "ma48_support.hpp"

namespace {

using tbl::test::layout_fault;
using tbl::test::Ma48;
using tbl::test::messages;
using tbl::test::reducible_matrix;

std::string analyse_messages(Ma48& p, int32_t job = 1, int32_t level = 2) {
  return messages(p, level, [&] { p.analyse(job); });
}

Ma48 diagonal(std::vector<double> d) {
  std::vector<int32_t> idx;
  for (size_t i = 1; i <= d.size(); ++i) idx.push_back(static_cast<int32_t>(i));
  const int32_t n = static_cast<int32_t>(d.size());
  return Ma48(n, n, idx, idx, d);
}

TEST(Ma48Defaults, FillExactlyTheControlArrays) {
  double cntl[6];
  int32_t icntl[10];
  std::fill(cntl, cntl + 6, -1.0);
  std::fill(icntl, icntl + 10, -1);
  VIZ_MA48ID(cntl, icntl);
  const double c[6] = {0.5, 0.1, 0.0, 0.0, 0.5, -1.0};
  const int32_t ic[10] = {6, 6, 2, 3, 32, 1, 1, 0, 10, -1};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(cntl[k], c[k]) << k;
  for (int k = 0; k < 10; ++k) EXPECT_EQ(icntl[k], ic[k]) << k;
}

TEST(Ma48AnalyseChecks, EachFailureReportsItsStatusAndMessage) {
  struct Case {
    int32_t m, n, ne_cut, la_less, job, status;
    const char* text;
  } cases[] = {
      {0, 3, 0, 0, 1, -1, " Error return from MA48A/AD because M =         0 and N =         3\n"},
      {3, -2, 0, 0, 1, -1, " Error return from MA48A/AD because M =         3 and N =        -2\n"},
      {3, 3, 3, 0, 1, -2, " Error return from MA48A/AD because NE =         0\n"},
      {3, 3, 0, 1, 1, -3,
       " Error return from MA48A/AD because LA is         5\n and must be at least         6\n"},
      {3, 3, 0, 0, 0, -6, " Error return from MA48A/AD because JOB =          0\n"},
      {3, 3, 0, 0, 4, -6, " Error return from MA48A/AD because JOB =          4\n"},
  };
  for (const Case& c : cases) {
    Ma48 p(3, 3, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}, 2);
    p.m = c.m;
    p.n = c.n;
    p.ne -= c.ne_cut;
    p.la -= c.la_less;
    p.info[2] = -5;
    const std::string out = analyse_messages(p, c.job);
    EXPECT_EQ(p.info[0], c.status);
    EXPECT_EQ(out, c.text);
    EXPECT_EQ(p.info[2], c.status == -3 ? 6 : -5);
    // Nothing but INFO is touched by a failed check.
    EXPECT_EQ(p.jcn[0], 1);
    EXPECT_EQ(p.keep[0], -77);
  }
}

TEST(Ma48AnalyseChecks, GivenPermutationsMustBePermutations) {
  const char* text = " Error return from MA48A/AD because faulty permutations input when JOB = 2\n";
  // Rows are checked first: a zero, a repeat, a value beyond M; then columns.
  const std::vector<std::vector<int32_t>> bad = {
      {0, 2, 3, 1, 2}, {1, 1, 3, 1, 2}, {1, 2, 4, 1, 2}, {1, 2, 3, 2, 2}, {1, 2, 3, 1, 3}};
  for (const auto& perm : bad) {
    Ma48 p(3, 2, {1, 2, 3}, {1, 2, 2}, {1, 2, 3});
    std::copy(perm.begin(), perm.end(), p.keep.begin());
    EXPECT_EQ(analyse_messages(p, 2), text);
    EXPECT_EQ(p.info[0], -5);
  }
}

TEST(Ma48AnalyseChecks, StructurallySingularFailsUnlessAskedToGoOn) {
  // Columns 1 and 2 have entries only in row 1.
  Ma48 p(3, 3, {1, 1, 2, 3}, {1, 2, 3, 3}, {1.0, 2.0, 3.0, 4.0});
  EXPECT_EQ(analyse_messages(p),
            " Error return from MA48A/AD because matrix structurally  singular\n"
            " order is       3 and structural rank      2\n");
  EXPECT_EQ(p.info[0], -4);
  EXPECT_EQ(p.info[9], 2);

  // Analysed as one block: the rank estimate is cut to the structural rank.
  p.icntl[6] = 0;
  EXPECT_EQ(analyse_messages(p), "");
  EXPECT_EQ(p.info[0], 2);
  EXPECT_EQ(p.info[9], 2);
  EXPECT_LE(p.info[4], 2);
  EXPECT_EQ(p.nb(), 1);
  EXPECT_GE(p.block_flag(1), 0);
  EXPECT_EQ(layout_fault(p), "");
}

TEST(Ma48AnalyseTriangular, DiagonalMatrixIsOneTriangularBlock) {
  Ma48 p = diagonal({2.0, 0.0, -3.0, 0.25, 1.0});
  p.cntl[3] = 0.5;  // 0.25 does not count as a pivot, nor does the zero
  ASSERT_EQ(p.analyse(), 0);
  EXPECT_EQ(p.nb(), 1);
  EXPECT_EQ(p.block_order(1), 5);
  EXPECT_EQ(p.block_flag(1), -5);
  EXPECT_EQ(p.info[4], 3);         // rank estimate
  EXPECT_EQ(p.info[3], p.ne);      // storage forecast: no MA50 block
  EXPECT_EQ(p.info[2], 2 * p.ne);  // INFO(3)
  EXPECT_EQ(p.info[6], 0);
  EXPECT_EQ(p.info[7], 0);
  EXPECT_EQ(p.info[8], 0);
  EXPECT_EQ(p.info[9], 5);
  EXPECT_EQ(p.rinfo[0], 0.0);
  EXPECT_EQ(layout_fault(p), "");

  // A negative tolerance counts like zero: only the zero entry is no pivot.
  p.cntl[3] = -1.0;
  ASSERT_EQ(p.analyse(), 0);
  EXPECT_EQ(p.info[4], 4);
}

TEST(Ma48AnalyseBlocks, ReducibleMatrixSplitsIntoItsComponents) {
  Ma48 p = reducible_matrix();
  ASSERT_EQ(p.analyse(), 0);
  EXPECT_EQ(layout_fault(p), "");
  // Column 4 needs row 5 first, column 3 row 4, column 1 row 3: the cycle
  // {5,6} leads, the singletons 4 and 3 form one triangular run, then the
  // cycle {1,2}; the isolated 7 is a run of its own at the end.
  ASSERT_EQ(p.nb(), 4);
  const int32_t order[4] = {2, 2, 2, 1}, flag[4] = {0, -2, 0, -1};
  for (int k = 1; k <= 4; ++k) {
    EXPECT_EQ(p.block_order(k), order[k - 1]) << k;
    if (flag[k - 1] < 0)
      EXPECT_EQ(p.block_flag(k), flag[k - 1]) << k;
    else
      EXPECT_GE(p.block_flag(k), 0) << k;
  }
  EXPECT_EQ(p.info[7], 4);  // columns given to MA50AD
  EXPECT_EQ(p.info[6], 2);  // largest block given to MA50AD
  EXPECT_EQ(p.info[8], 8);  // entries in those blocks
  EXPECT_EQ(p.info[4], 7);
  EXPECT_EQ(p.iptro(p.n + 1) - p.iptro(1), 2);  // entries (4,3) and (5,4) lie off the blocks
}

TEST(Ma48AnalyseBlocks, SmallBlocksAreMergedWithTheirSuccessors) {
  Ma48 p = reducible_matrix();
  p.icntl[5] = 3;
  ASSERT_EQ(p.analyse(), 0);
  EXPECT_EQ(layout_fault(p), "");
  // 2 + the run of 2 reach 4; the cycle {1,2} takes the singleton 7.
  ASSERT_EQ(p.nb(), 2);
  EXPECT_EQ(p.block_order(1), 4);
  EXPECT_EQ(p.block_order(2), 3);
  EXPECT_GE(p.block_flag(1), 0);
  EXPECT_GE(p.block_flag(2), 0);
  EXPECT_EQ(p.info[7], 7);

  // ICNTL(6) >= N switches the block triangular form off.
  p.icntl[5] = 7;
  ASSERT_EQ(p.analyse(), 0);
  EXPECT_EQ(p.nb(), 1);
  EXPECT_GE(p.block_flag(1), 0);
  EXPECT_EQ(layout_fault(p), "");
}

TEST(Ma48AnalyseBlocks, KernelShortOfStorageReportsTheExtentReached) {
  // A 5-point grid kept sparse to the end fills in far beyond its entries.
  const int32_t k = 20;
  std::vector<int32_t> r, c;
  std::vector<double> v;
  for (int32_t i = 1; i <= k * k; ++i)
    for (const int32_t d : {0, -1, 1, -k, k}) {
      const int32_t j = i + d;
      if (j < 1 || j > k * k || (std::abs(d) == 1 && (std::min(i, j) % k == 0))) continue;
      r.push_back(i);
      c.push_back(j);
      v.push_back(d == 0 ? 4.0 : -1.0 + 0.1 * d / k);
    }
  Ma48 p(k * k, k * k, r, c, v, 2);
  p.cntl[0] = 1.0;
  const std::string out = analyse_messages(p);
  ASSERT_EQ(p.info[0], -3);
  EXPECT_GT(p.info[2], p.la);
  const std::string need = std::to_string(p.info[2]);
  EXPECT_EQ(out, " Error return from MA48A/AD because LA is" + std::string(10 - std::to_string(p.la).size(), ' ') +
                     std::to_string(p.la) + "\n and must be at least" + std::string(10 - need.size(), ' ') + need +
                     "\n");
  // The extent reached need not be enough: a host grows the arrays until
  // the analysis finishes, and the forecast then suffices to factorise.
  for (int tries = 0; p.info[0] == -3 && tries < 10; ++tries) {
    p.resize_la(std::max(p.info[2], p.la + p.la / 2));
    p.analyse();
  }
  ASSERT_EQ(p.info[0], 0);
  EXPECT_EQ(layout_fault(p), "");
  p.grow_la(std::max(p.la, p.info[3]));
  EXPECT_EQ(p.factorise(), 0);
}

TEST(Ma48AnalyseEntries, DuplicatesAreSummedAndReported) {
  // Entry 3 repeats position (1,1); found while the block form is built.
  Ma48 p(2, 2, {1, 2, 1, 2, 1}, {1, 2, 1, 1, 2}, {1.0, 2.0, 3.0, 4.0, 5.0});
  EXPECT_EQ(analyse_messages(p),
            " Message from MA48A/AD .. duplicate in position       3 with indices     1     1\n"
            " Message from MA48A/AD ..       1 duplicates found\n");
  EXPECT_EQ(p.info[0], 1);
  EXPECT_EQ(p.info[10], 1);
  EXPECT_LT(p.jcn[0], 0);
  EXPECT_EQ(-p.jcn[0], p.jcn[2]);
  EXPECT_EQ(p.iptro(3) - 1, 4);  // four stored entries
  EXPECT_EQ(layout_fault(p), "");

  // Without the block form (JOB = 3) the report names the entry number.
  Ma48 q(2, 2, {1, 2, 1, 2, 1}, {1, 2, 1, 1, 2}, {1.0, 2.0, 3.0, 4.0, 5.0});
  EXPECT_EQ(analyse_messages(q, 3),
            " Message from MA48A/AD .. duplicate in position       1 with indices     1     1\n"
            " Message from MA48A/AD ..       1 duplicates found\n");
  EXPECT_EQ(q.info[10], 1);
  EXPECT_EQ(layout_fault(q), "");
}

TEST(Ma48AnalyseEntries, OutOfRangeEntriesAreIgnoredAndMappedToNE) {
  Ma48 p(2, 2, {1, 2, 0, 2, 3, 1}, {1, 2, 1, 1, 1, 9}, {1.0, 2.0, 3.0, 4.0, 5.0, 6.0});
  EXPECT_EQ(analyse_messages(p),
            " Message from MA48A/AD .. indices for entry       3 are     0     1\n"
            " Message from MA48A/AD .. indices for entry       5 are     3     1\n"
            " Message from MA48A/AD .. indices for entry       6 are     1     9\n"
            " Message from MA48A/AD ..       3 out-of-range indices found\n");
  EXPECT_EQ(p.info[0], 1);
  EXPECT_EQ(p.info[11], 3);
  EXPECT_EQ(p.jcn[2], 6);
  EXPECT_EQ(p.jcn[4], 6);
  EXPECT_EQ(p.jcn[5], 6);
  EXPECT_EQ(layout_fault(p), "");

  // Only the first ten of each kind are listed.
  std::vector<int32_t> r(30, 5), c(30, 1);
  r[0] = 1;
  Ma48 q(1, 1, r, c, std::vector<double>(30, 1.0));
  const std::string out = analyse_messages(q);
  EXPECT_EQ(q.info[11], 29);
  size_t lines = 0;
  for (char ch : out) lines += ch == '\n';
  EXPECT_EQ(lines, 11u);
  EXPECT_NE(out.find("      29 out-of-range"), std::string::npos);
}

TEST(Ma48AnalyseEntries, BothKindsOfWarningAddUpOnce) {
  Ma48 p(3, 3, {1, 2, 3, 3, 4}, {1, 2, 3, 3, 1}, {1.0, 2.0, 3.0, 4.0, 5.0});
  EXPECT_EQ(p.analyse(), 1);
  EXPECT_EQ(p.info[10], 1);
  EXPECT_EQ(p.info[11], 1);
  EXPECT_EQ(p.jcn[4], 5);
  EXPECT_EQ(layout_fault(p), "");
}

TEST(Ma48AnalyseEntries, NoEntryInRangeIsAZeroBlock) {
  // Nothing to analyse: a zero block of rank 0, reported as a warning, not
  // an error and not a silent success.
  Ma48 p(3, 2, {4, 0}, {1, 1}, {1.0, 2.0});
  EXPECT_EQ(p.analyse(), 3);
  EXPECT_EQ(p.info[4], 0);
  EXPECT_EQ(p.info[11], 2);
  EXPECT_EQ(p.nb(), 1);
  EXPECT_EQ(layout_fault(p), "");
}

TEST(Ma48AnalyseOrders, GivenPermutationsAreKeptAsOneBlock) {
  Ma48 p = reducible_matrix();
  const int32_t rows[7] = {7, 6, 5, 4, 3, 2, 1}, cols[7] = {2, 1, 3, 4, 6, 5, 7};
  std::copy(rows, rows + 7, p.keep.begin());
  std::copy(cols, cols + 7, p.keep.begin() + 7);
  ASSERT_EQ(p.analyse(2), 0);
  EXPECT_EQ(p.nb(), 1);
  EXPECT_EQ(p.info[9], 7);  // no transversal: min(M, N)
  EXPECT_EQ(layout_fault(p), "");
}

TEST(Ma48AnalyseOrders, AnalysisThatPassesAfterOneThatFailedCanBeFactorised) {
  // A failed analysis marks KEEP as holding none.  With a given order the
  // kernel does not rewrite the words of that mark, and a passing analysis
  // on the same KEEP kept it: every factorisation was then refused (-10).
  Ma48 p(tbl::test::families::convection_diffusion(10, 2, 0.0), 2);
  for (int32_t k = 0; k < p.n; ++k) p.keep[k] = p.keep[p.m + k] = k + 1;
  ASSERT_EQ(p.analyse(2), -3);
  p.resize_la(4 * p.ne);
  ASSERT_EQ(p.analyse(2), 0);
  p.grow_la(std::max(p.la, p.info[3]));
  ASSERT_EQ(p.factorise(), 0);
  std::vector<double> b(p.m, 1.0), x;
  ASSERT_EQ(p.solve(b, x), 0);
  EXPECT_LT(p.relative_residual(b, x, false), 1e-13);
}

TEST(Ma48AnalyseOrders, GivenOrderPassesOverColumnsWithoutAcceptableEntry) {
  // A NaN small-pivot tolerance leaves a column of the given sequence with
  // no acceptable entry: it gets no pivot, and nothing outside the arrays
  // is read.  A NaN among the values is refused before any pivot is chosen.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  {
    Ma48 p(9, 9, {2}, {2}, {0.0});
    p.resize_la(17);
    const int32_t order[18] = {1, 8, 6, 4, 2, 9, 7, 5, 3, 1, 6, 2, 7, 3, 8, 4, 9, 5};
    std::copy(order, order + 18, p.keep.begin());
    p.cntl[3] = nan;
    EXPECT_GE(p.analyse(2), 0);
    EXPECT_EQ(p.info[4], 0);
  }
  {
    Ma48 p(3, 3, {1, 2, 3, 1}, {1, 2, 3, 2}, {nan, 1.0, 1.0, 1.0});
    for (int32_t k = 0; k < 3; ++k) p.keep[k] = p.keep[3 + k] = k + 1;
    EXPECT_EQ(p.analyse(2), -11);
  }
}

TEST(Ma48AnalyseOrders, RectangularMatricesAreOneBlockOfAllRows) {
  for (const bool tall : {true, false}) {
    const int32_t m = tall ? 4 : 2, n = tall ? 2 : 4;
    std::vector<int32_t> r, c;
    std::vector<double> v;
    for (int32_t i = 1; i <= m; ++i)
      for (int32_t j = 1; j <= n; ++j)
        if ((i + j) % 2 == 0 || i == j) {
          r.push_back(i);
          c.push_back(j);
          v.push_back(i * 10.0 + j);
        }
    Ma48 p(m, n, r, c, v);
    ASSERT_EQ(p.analyse(), 0) << tall;
    EXPECT_EQ(p.nb(), 1);
    EXPECT_EQ(p.info[6], m);
    EXPECT_EQ(p.info[7], n);
    EXPECT_EQ(p.info[9], 2);
    EXPECT_EQ(p.iptrd(n + 1), p.iptro(n + 1));  // no off-diagonal part
    EXPECT_EQ(layout_fault(p), "");
  }
}

TEST(Ma48AnalyseOrders, ChangedColumnsGoLastInTheirBlocks) {
  Ma48 p = reducible_matrix();
  p.icntl[7] = 1;
  // Flag every column: each non-triangular block counts all its columns.
  p.iw.assign(6 * 7 + 3 * 7, 0);
  ASSERT_EQ(p.analyse(), 0);
  for (int k = 1; k <= p.nb(); ++k) EXPECT_EQ(p.lblock(k), p.block_flag(k) < 0 ? 0 : p.block_order(k)) << k;
  EXPECT_EQ(layout_fault(p), "");

  // Flag columns 2 and 6 only: one changed column in each order-2 block,
  // standing in the last position of its block.  (The kernel leaves such a
  // column out of its rank estimate when it goes dense at once: warning 2.)
  p.iw.assign(6 * 7 + 3 * 7, 1);
  p.iw[1] = 0;
  p.iw[5] = 0;
  ASSERT_GE(p.analyse(), 0);
  int32_t s = 1;
  for (int k = 1; k <= p.nb(); ++k) {
    const int32_t e = s + p.block_order(k) - 1;
    if (p.block_flag(k) >= 0) {
      EXPECT_EQ(p.lblock(k), 1);
      // MA50AD keeps the changed column last within the block.
      const int32_t last = p.keep1(7 + e);
      EXPECT_TRUE(last == 2 || last == 6) << last;
    } else {
      EXPECT_EQ(p.lblock(k), 0);
    }
    s = e + 1;
  }

  // Given permutations: LBLOCK(1) counts from the first flagged column on.
  Ma48 q = reducible_matrix();
  q.icntl[7] = 1;
  q.iw.assign(6 * 7 + 3 * 7, 1);
  q.iw[4] = 0;
  for (int32_t i = 0; i < 7; ++i) q.keep[i] = q.keep[7 + i] = i + 1;
  ASSERT_EQ(q.analyse(2), 0);
  EXPECT_EQ(q.lblock(1), 3);
}

}  // namespace
