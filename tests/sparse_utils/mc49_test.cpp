// MC49AD through the exports, as a C host calls it.
#include <gtest/gtest.h>

#include <vector>

#include "TesselBasicLib.h"
#include "coord_support.hpp"
#include "support/mtx.hpp"

using namespace tbl::test;

namespace {

struct Mc49Call {
  int ind = 1, nc = 0, nr = 0, nnz = 0;
  std::vector<int> irn, jcn, ip, iw;
  std::vector<double> a;
  int yesa = -1;
  int la = 0, lip = 0, liw = 0;
  int iflag = 99;

  Mc49Call(int ind_, const CooData& d, bool values = true) : ind(ind_), nc(d.nc), nr(d.nr), nnz(d.ne()) {
    irn = d.row;
    jcn = d.col;
    a = d.val;
    yesa = values ? -1 : 0;
    la = values ? nnz : 1;
    lip = std::max(nr, nc) + 1;
    liw = std::max(nr, nc) + 1;
    ip.assign(static_cast<std::size_t>(lip), -7);
    iw.assign(static_cast<std::size_t>(liw), -7);
    if (a.empty()) a.assign(1, 0.0);
  }
  void run(bool viz = false) {
    auto f = viz ? VIZ_MC49AD : MC49AD;
    f(&ind, &nc, &nr, &nnz, irn.data(), jcn.data(), &yesa, &la, a.data(), &lip, ip.data(), &liw, iw.data(),
      &iflag);
  }
  Columns result() const { return read_columns(nc, ip.data(), irn.data(), yesa & 1 ? a.data() : nullptr); }
};

TEST(Mc49Checks, FailInOrderAndLeaveArraysAlone) {
  const CooData d = coo(3, 2, {1, 2}, {1, 2});
  struct Case {
    int ind, nc, nr, nnz, la, lip, liw;
    int yesa;
    int want;
  } cases[] = {
      {0, 0, 0, 0, 0, 0, 0, -1, -1},  // the mode is examined before the sizes
      {3, 2, 3, 2, 2, 4, 4, -1, -1},
      {-3, 2, 3, 2, 2, 4, 4, -1, -1},
      {1, 0, 3, 2, 2, 4, 4, -1, -2},
      {1, 2, 0, 2, 2, 4, 4, -1, -2},
      {1, 2, 3, 0, 2, 4, 4, -1, -2},
      {1, 2, 3, 2, 1, 4, 4, -1, -3},   // values need NNZ entries
      {1, 2, 3, 2, 0, 4, 4, 0, -3},    // even without values LA >= 1
      {1, 2, 3, 2, 2, 4, 2, -1, -4},   // LIW <= NC
      {2, 2, 3, 2, 2, 4, 3, -1, -4},   // LIW <= NR
      {1, 2, 3, 2, 2, 2, 4, -1, -5},   // LIP <= NC
      {2, 2, 3, 2, 2, 3, 4, -1, -5},   // LIP <= max(NR, NC)
  };
  for (const auto& c : cases) {
    Mc49Call m(1, d);
    m.ind = c.ind, m.nc = c.nc, m.nr = c.nr, m.nnz = c.nnz, m.la = c.la, m.lip = c.lip, m.liw = c.liw;
    m.yesa = c.yesa;
    const auto irn = m.irn, jcn = m.jcn, ip = m.ip, iw = m.iw;
    const auto a = m.a;
    m.run();
    EXPECT_EQ(m.iflag, c.want) << "IND " << c.ind << " LA " << c.la << " LIP " << c.lip << " LIW " << c.liw;
    EXPECT_EQ(m.irn, irn);
    EXPECT_EQ(m.jcn, jcn);
    EXPECT_EQ(m.a, a);
    EXPECT_EQ(m.ip, ip);
  }
}

TEST(Mc49Checks, MergingRowsNeedsAMarkerPerRow) {
  // Columns in any order need only NC + 1 work entries, but merging
  // duplicates marks every row: a tall matrix with LIW = NC + 1 < NR fails
  // instead of marking past the end of IW.
  const CooData d = coo(10, 2, {9, 10, 9}, {1, 2, 1});
  Mc49Call m(1, d);
  m.liw = 3;
  m.run();
  EXPECT_EQ(m.iflag, -4);
  // Without merging the same length is enough.
  Mc49Call u(-1, d);
  u.liw = 3;
  u.run();
  EXPECT_EQ(u.iflag, 0);
  expect_columns(u.result(), model(d, false, Dups::Keep), false);
  // And with room for the markers the merge goes ahead.
  Mc49Call ok(1, d);
  ok.liw = 10;
  ok.run();
  EXPECT_EQ(ok.iflag, 1);
  expect_columns(ok.result(), model(d, false, Dups::Sum), false);
}

TEST(Mc49Cleaning, DropsOutOfRangeAndMergesDuplicates) {
  {
    Mc49Call m(1, coo(2, 2, {0, 2}, {1, 1}));
    m.run();
    EXPECT_EQ(m.iflag, 2);
    EXPECT_EQ(std::vector<int>(m.ip.begin(), m.ip.begin() + 3), (std::vector<int>{1, 2, 2}));
    EXPECT_EQ(m.irn[0], 2);
  }
  {
    // A bad column index alone gives 3, and 3 wins over 2.
    Mc49Call m(2, coo(2, 2, {1, 3, 2}, {3, 1, 2}));
    m.run();
    EXPECT_EQ(m.iflag, 3);
    expect_columns(m.result(), {{}, {{2, 1.0}}}, true);
  }
  {
    // Duplicates are summed and 1 wins over the range warnings.
    Mc49Call m(1, coo(2, 2, {1, 1, 5}, {1, 1, 1}, {1.5, 2.5, 7.0}));
    m.run();
    EXPECT_EQ(m.iflag, 1);
    expect_columns(m.result(), {{{1, 4.0}}, {}}, true);
  }
  {
    // Row increasing mode: (3,1), (1,1), (2,1) come back as rows 1, 2, 3.
    Mc49Call m(2, coo(3, 1, {3, 1, 2}, {1, 1, 1}, {30, 10, 20}));
    m.run();
    EXPECT_EQ(m.iflag, 0);
    expect_columns(m.result(), {{{1, 10}, {2, 20}, {3, 30}}}, true);
  }
}

TEST(Mc49Cleaning, EveryEntryOutOfRangeGivesAnEmptyColumnForm) {
  for (int ind : {1, 2, -1, -2}) {
    Mc49Call m(ind, coo(2, 3, {0, 3, 1}, {1, 1, 4}));
    m.run();
    EXPECT_EQ(m.iflag, 3) << ind;
    EXPECT_EQ(std::vector<int>(m.ip.begin(), m.ip.begin() + 4), (std::vector<int>{1, 1, 1, 1})) << ind;
  }
}

TEST(Mc49Unchecked, KeepsDuplicatesButNeverTrustsABadIndex) {
  {
    Mc49Call m(-2, coo(2, 2, {2, 1, 2}, {1, 1, 1}, {5, 6, 7}));
    m.run();
    EXPECT_EQ(m.iflag, 0);
    const Columns got = m.result();
    ASSERT_EQ(got[0].size(), 3u);
    EXPECT_EQ(got[0][0], (Entry{1, 6}));
    EXPECT_EQ(got[0][1].row, 2);
    EXPECT_EQ(got[0][2].row, 2);
    EXPECT_EQ(got[0][1].val + got[0][2].val, 12.0);
  }
  {
    // Indices far outside the matrix are dropped and reported exactly as
    // in the checking mode, rather than used to index the work arrays.
    const CooData d = coo(3, 3, {1, 1000000, 2, 3, -5}, {1, 2, 2000000, 3, 1}, {1, 2, 3, 4, 5});
    for (int ind : {-1, -2}) {
      Mc49Call m(ind, d);
      m.run();
      EXPECT_EQ(m.iflag, 3) << ind;
      expect_columns(m.result(), model(d, false, Dups::Keep), ind == -2);
    }
  }
}

TEST(Mc49Sorting, RandomDataMatchesTheModelInEveryMode) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    const int nr = 1 + static_cast<int>(seed * 37 % 90), nc = 1 + static_cast<int>(seed * 53 % 70);
    const CooData d = random_coo(nr, nc, 600, seed % 2 ? 25 : 0, seed);
    const CooData clean = random_coo(nr, nc, 600, 0, seed + 100);
    for (bool values : {true, false}) {
      Mc49Call c1(1, d, values), c2(2, d, values);
      c1.run();
      c2.run(true);
      Columns w = model(d, false, Dups::Sum);
      if (!values) w = without_values(w);
      expect_columns(c1.result(), w, false);
      expect_columns(c2.result(), w, true);
      EXPECT_EQ(c1.iflag, 1);
      EXPECT_EQ(c2.iflag, 1);

      // The unchecked modes keep every copy.
      Mc49Call u1(-1, clean, values), u2(-2, clean, values);
      u1.run();
      u2.run();
      Columns wk = model(clean, false, Dups::Keep);
      if (!values) wk = without_values(wk);
      expect_columns(u1.result(), wk, false);
      // Copies of one position may come in either order; rows must not.
      Columns g2 = u2.result();
      for (auto& col : g2)
        for (std::size_t k = 1; k < col.size(); ++k) EXPECT_LE(col[k - 1].row, col[k].row);
      expect_columns(g2, wk, false);
    }
  }
}

TEST(Mc49Sorting, RealMatrixKeepsEveryEntry) {
  const Coo a = read_mtx(matrix_path("lp_afiro.mtx"));
  const CooData d = coo(a);
  Mc49Call m(2, d);
  m.run(true);
  EXPECT_EQ(m.iflag, 0);
  EXPECT_EQ(m.ip[static_cast<std::size_t>(d.nc)], d.ne() + 1);
  expect_columns(m.result(), model(d, false, Dups::Sum), true);
}

}  // namespace
