// Pivot selection MA50AD and the list compression it uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "unsym_lu/ma50_harness.hpp"

namespace {

using tbl::fint;
using tbl::test::Csc;
using tbl::test::is_permutation;
using tbl::test::Ma50;
using tbl::test::make_csc;

// Position of column j in the sequence IQ (IQ(p) = column at position p).
fint position_of(const std::vector<fint>& iq, fint j) {
  return static_cast<fint>(std::find(iq.begin(), iq.end(), j) - iq.begin()) + 1;
}

TEST(Ma50Analyse, EntryChecksComeFirst) {
  Csc a = make_csc(2, 2, {{{1, 1}, 1.0}, {{2, 2}, 1.0}});
  fint m = 2, n = 2, ne = 2, la = 2, np = -1;
  double cntl[4];
  fint icntl[7];
  MA50_DEFAULTS(cntl, icntl);
  std::vector<double> av = a.val;
  std::vector<fint> irn = a.row, jcn(2), iq = {1, 2}, ip(2), w1(2), w2(2), w3(2), w4(2), w5(2), w6(2), w7(2),
                    w8(2), w9(2);
  fint info[7];
  double rinfo = -1.0;
  auto call = [&](fint mm, fint nn, fint nee, fint laa) {
    std::fill(info, info + 7, -99);
    MA50AD(&mm, &nn, &nee, &laa, av.data(), irn.data(), jcn.data(), iq.data(), cntl, icntl, ip.data(), &np,
           w1.data(), w2.data(), w3.data(), w4.data(), w5.data(), w6.data(), w7.data(), w8.data(), w9.data(),
           info, &rinfo);
    return info[0];
  };
  EXPECT_EQ(call(0, n, ne, la), -1);
  EXPECT_EQ(info[2], ne);
  EXPECT_EQ(call(m, -3, ne, la), -1);
  EXPECT_EQ(call(m, n, 0, la), -2);
  EXPECT_EQ(info[2], 0);
  EXPECT_EQ(call(m, n, ne, 1), -3);
  EXPECT_EQ(info[2], ne);
  EXPECT_EQ(info[3], ne);
  EXPECT_EQ(np, 0);
  EXPECT_EQ(rinfo, 0.0);
  EXPECT_EQ(call(m, n, ne, la), 0);
}

TEST(Ma50Analyse, DuplicatesAndFaultyGivenSequencesAreRejected) {
  Ma50 dup(make_csc(3, 2, {{{1, 1}, 1.0}, {{2, 2}, 1.0}}));
  dup.a.row = {2, 2};  // row 2 twice in column 1
  dup.a.ptr = {1, 3, 3};
  EXPECT_EQ(dup.analyse(), -4);

  Csc a = make_csc(3, 3, {{{1, 1}, 2.0}, {{2, 2}, 2.0}, {{3, 3}, 2.0}, {{1, 3}, 1.0}});
  Ma50 given(a);
  given.icntl[6] = 2;
  given.ip = {1, 2, 3};
  given.ifirst_in = {1, 2, 3};
  EXPECT_EQ(given.analyse(), -6) << "a given order needs the search limit 1";
  given.icntl[3] = 1;
  EXPECT_EQ(given.analyse(), 0);
  for (std::vector<fint> seq : {std::vector<fint>{0, 2, 3}, {1, 4, 3}, {1, 1, 3}}) {
    Ma50 bad(a);
    bad.icntl[6] = 2;
    bad.icntl[3] = 1;
    bad.cntl[0] = 1.0;  // stay sparse to the end
    bad.ip = {1, 2, 3};
    bad.ifirst_in = seq;
    EXPECT_EQ(bad.analyse(), -5) << seq[0] << seq[1] << seq[2];
  }
}

TEST(Ma50Analyse, EmptyRowsAndColumnsTakeTheEdgePositions) {
  // Rows 2 and 4 and columns 1 and 3 are empty.
  Csc a = make_csc(5, 5, {{{1, 2}, 3.0}, {{3, 4}, 2.0}, {{5, 5}, 1.0}, {{1, 5}, 1.0}, {{3, 2}, 1.0}});
  Ma50 p(a);
  p.cntl[0] = 1.0;
  ASSERT_EQ(p.analyse(), 1);  // rank 3 < 5
  EXPECT_EQ(p.ip[3], 5) << "highest empty row takes the last position";
  EXPECT_EQ(p.ip[1], 4);
  EXPECT_EQ(p.iq[0], 3) << "empty columns come first, highest index first";
  EXPECT_EQ(p.iq[1], 1);
  EXPECT_EQ(p.np, 5);
  EXPECT_EQ(p.info_a[4], 3);
  EXPECT_EQ(p.info_a[6], 2);
  EXPECT_TRUE(is_permutation(p.ip, 5));
  EXPECT_TRUE(is_permutation(p.iq, 5));
}

TEST(Ma50Analyse, DensityZeroMakesEverythingFull) {
  // Column 2 and row 3 empty.
  Csc a = make_csc(4, 3, {{{1, 1}, 1.0}, {{2, 1}, 2.0}, {{4, 3}, 1.0}, {{2, 3}, 5.0}});
  Ma50 p(a);
  p.cntl[0] = 0.0;
  ASSERT_EQ(p.analyse(), 1);
  EXPECT_EQ(p.np, 1) << "only the empty column is placed";
  EXPECT_EQ(p.iq, (std::vector<fint>{2, 1, 3}));
  EXPECT_EQ(p.info_a[4], 2) << "min(non-empty rows 3, columns left 2)";
  EXPECT_EQ(p.info_a[6], 4);
  EXPECT_EQ(p.info_a[3], 2 * 4 + 2 + std::max(4 * 2, 4 + 2));
  EXPECT_EQ(p.ip, (std::vector<fint>{1, 2, 4, 3}));
  EXPECT_GT(p.rinfo_a, 0.0);
}

TEST(Ma50Analyse, SmallColumnsGetNoPivot) {
  Csc a = make_csc(3, 3, {{{1, 1}, 4.0}, {{2, 2}, 1e-4}, {{3, 2}, -1e-4}, {{3, 3}, 5.0}, {{1, 3}, 1.0}});
  Ma50 p(a);
  p.cntl[0] = 1.0;
  p.cntl[3] = 1e-3;
  ASSERT_EQ(p.analyse(), 1);
  EXPECT_EQ(p.info_a[4], 2);
  EXPECT_EQ(p.iq[0], 2) << "the search takes the small column at once";
  EXPECT_EQ(p.info_a[5], 0) << "nothing counts as dropped without a drop tolerance";

  p.cntl[2] = 1e-6;
  ASSERT_EQ(p.analyse(), 1);
  EXPECT_EQ(p.info_a[5], 2) << "with a drop tolerance the discarded entries are counted";
}

TEST(Ma50Analyse, DropToleranceRemovesEntriesAndFillIns) {
  Csc a = tbl::test::random_csc(40, 40, 3, 5);
  for (double& v : a.val) v *= 1e-3;
  for (int j = 1; j <= 40; ++j) {
    for (int k = a.ptr[j - 1]; k < a.ptr[j]; ++k) {
      if (a.row[k - 1] == j) a.val[k - 1] = 1.0;
    }
  }
  Ma50 p(a);
  p.cntl[2] = 1e-2;
  ASSERT_GE(p.analyse(), 0);
  EXPECT_EQ(p.info_a[5], a.nnz() - 40) << "every off-diagonal entry is below the tolerance";
  // Only the diagonal is left; the last 2 by 2 part is dense enough to
  // switch (0.5 * 2 * 2 <= 2 entries).  The factors would fit into
  // 38 + 2 * 40 + 2 + 4 positions, but the factorisation takes no LFACT
  // below NE+2, which the forecast respects.
  EXPECT_EQ(p.np, 38);
  ASSERT_GT(a.nnz() + 2, 38 + 2 * 40 + 2 + 4);
  EXPECT_EQ(p.info_a[3], a.nnz() + 2);
  ASSERT_GE(p.factorise(1, p.info_a[3]), 0);

  // Pivoting on (1,1) cancels a(2,2) exactly, which is dropped, and fills
  // (2,3) in: row 2 is empty for a moment and must still take its fill-in.
  Ma50 q(make_csc(3, 3, {{{1, 1}, 1.0}, {{1, 2}, 1.0}, {{1, 3}, 1.0}, {{2, 1}, 1.0}, {{2, 2}, 1.0}, {{3, 2}, 1.0}}));
  q.cntl[0] = 1.0;
  q.cntl[2] = 1e-3;
  q.icntl[6] = 2;
  q.icntl[3] = 1;
  q.ip = {1, 2, 3};
  q.ifirst_in = {1, 2, 3};
  ASSERT_EQ(q.analyse(), 0);
  EXPECT_EQ(q.np, 2) << "the last 1 by 1 part, the fill-in, is full";
  EXPECT_EQ(q.info_a[5], 1);
  EXPECT_EQ(q.info_a[4], 3);
  EXPECT_EQ(q.ip, (std::vector<fint>{1, 3, 2})) << "column 2 pivots on row 3";
}

TEST(Ma50Analyse, DiagonalModeGivesUpWhenNoDiagonalIsAcceptable) {
  // A cyclic permutation matrix plus a few entries, all off the diagonal.
  std::vector<std::pair<std::pair<int, int>, double>> e;
  for (int j = 1; j <= 6; ++j) e.push_back({{j % 6 + 1, j}, 1.0 + j});
  e.push_back({{4, 1}, 0.5});
  Ma50 p(make_csc(6, 6, e));
  p.icntl[6] = 1;
  p.cntl[0] = 1.0;
  ASSERT_EQ(p.analyse(), 2);
  EXPECT_EQ(p.np, 0);
  EXPECT_EQ(p.info_a[4], 6);
  EXPECT_EQ(p.info_a[6], 6);

  // With a usable diagonal every pivot is a diagonal entry.
  Csc b = tbl::test::random_csc(30, 30, 3, 17);
  Ma50 q(b);
  q.icntl[6] = 1;
  q.cntl[0] = 1.0;
  ASSERT_EQ(q.analyse(), 0);
  for (fint k = 1; k <= q.np; ++k) EXPECT_EQ(q.ip[q.iq[k - 1] - 1], k) << "step " << k;
}

TEST(Ma50Analyse, GivenOrderIsFollowed) {
  // Column j has entries in rows j and j+n only, so no elimination changes
  // the candidates: the given row order alone picks the pivot rows.
  const int n = 6;
  std::vector<std::pair<std::pair<int, int>, double>> e;
  for (int j = 1; j <= n; ++j) {
    e.push_back({{j, j}, 1.0});
    e.push_back({{j + n, j}, 0.5});
  }
  Ma50 p(make_csc(2 * n, n, e));
  p.icntl[6] = 2;
  p.icntl[3] = 1;
  p.ifirst_in = {3, 1, 2, 6, 5, 4};
  p.ip.assign(2 * n, 0);
  for (int i = 1; i <= n; ++i) {
    p.ip[i - 1] = n + i;      // rows 1..n late in the order
    p.ip[i + n - 1] = n - i;  // rows n+1..2n early, the last one first
  }
  ASSERT_EQ(p.analyse(), 0);
  ASSERT_EQ(p.np, n);
  EXPECT_EQ(p.iq, p.ifirst_in);
  for (int k = 1; k <= n; ++k) EXPECT_EQ(p.ip[p.ifirst_in[k - 1] + n - 1], k) << "step " << k;
  // Each step leaves its row j empty, which takes the last free position.
  for (int k = 1; k <= n; ++k) EXPECT_EQ(p.ip[p.ifirst_in[k - 1] - 1], 2 * n - k + 1) << "step " << k;
}

TEST(Ma50Analyse, TrailingColumnsArePivotedLast) {
  Csc a = tbl::test::random_csc(50, 50, 3, 23);
  for (fint k : {1, 5, 20}) {
    Ma50 p(a);
    p.icntl[5] = k;
    ASSERT_GE(p.analyse(), 0);
    for (fint j = 50 - k + 1; j <= 50; ++j) EXPECT_GT(position_of(p.iq, j), 50 - k) << "k " << k << " col " << j;
    EXPECT_TRUE(is_permutation(p.iq, 50));
  }
}

TEST(Ma50Analyse, EqualCostsGoToTheLargerRatioThenToTheFirstFound) {
  // Column 1 has the lowest cost; its two entries lie in rows of equal
  // length, so the ratio decides.
  auto matrix = [](double a11) {
    return make_csc(3, 3,
                    {{{1, 1}, a11}, {{2, 1}, 3.0}, {{1, 2}, 1.0}, {{2, 2}, 1.0}, {{3, 2}, 5.0}, {{1, 3}, 1.0},
                     {{2, 3}, 1.0}, {{3, 3}, 1.0}});
  };
  Ma50 p(matrix(1.0));
  p.cntl[0] = 1.0;
  ASSERT_EQ(p.analyse(), 0);
  EXPECT_EQ(p.iq[0], 1);
  EXPECT_EQ(p.ip[1], 1) << "row 2 holds the larger entry";

  Ma50 q(matrix(3.0));
  q.cntl[0] = 1.0;
  ASSERT_EQ(q.analyse(), 0);
  EXPECT_EQ(q.iq[0], 1);
  EXPECT_EQ(q.ip[0], 1) << "equal ratios keep the first found";
}

// Replays the sparse steps of an analysis on a dense copy (pattern and
// values, with the same update formula) and checks every pivot: its entry
// passes the threshold test against its column, and with the full search no
// acceptable entry of the active part has a lower Markowitz cost.  Without
// a small-pivot tolerance a column is eliminated without a pivot exactly
// when it has no non-zero value left.
void check_pivots(const Ma50& p, bool full_search) {
  const Csc& a = p.a;
  const int m = a.m, n = a.n;
  std::vector<double> v(static_cast<std::size_t>(m) * n, 0.0);
  std::vector<char> nz(v.size(), 0);
  auto at = [&](int i, int j) { return static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * m; };
  for (int j = 1; j <= n; ++j) {
    for (int k = a.ptr[j - 1]; k < a.ptr[j]; ++k) {
      v[at(a.row[k - 1], j)] = a.val[k - 1];
      nz[at(a.row[k - 1], j)] = 1;
    }
  }
  std::vector<char> row_done(m + 1, 0), col_done(n + 1, 0);
  const double u = p.cntl[1];
  fint pivots = 0;
  for (fint step = 1; step <= p.np; ++step) {
    const int c = p.iq[step - 1];
    std::vector<int> lenr(m + 1, 0), lenc(n + 1, 0);
    std::vector<double> amax(n + 1, 0.0);
    for (int j = 1; j <= n; ++j) {
      for (int i = 1; i <= m; ++i) {
        if (col_done[j] || row_done[i] || !nz[at(i, j)]) continue;
        ++lenr[i];
        ++lenc[j];
        amax[j] = std::max(amax[j], std::fabs(v[at(i, j)]));
      }
    }
    auto acceptable = [&](int i, int j) {
      const double x = std::fabs(v[at(i, j)]);
      return nz[at(i, j)] && x != 0.0 && x >= u * amax[j];
    };
    auto cost = [&](int i, int j) { return double(lenr[i] - 1) * double(lenc[j] - 1); };
    col_done[c] = 1;
    if (amax[c] == 0.0) continue;
    ++pivots;
    const int r = static_cast<int>(std::find(p.ip.begin(), p.ip.end(), pivots) - p.ip.begin()) + 1;
    ASSERT_LE(r, m) << "step " << step;
    ASSERT_TRUE(acceptable(r, c)) << "step " << step;
    if (full_search) {
      for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= m; ++i) {
          if ((!col_done[j] || j == c) && !row_done[i] && acceptable(i, j)) {
            ASSERT_GE(cost(i, j), cost(r, c)) << "step " << step << ": (" << i << "," << j << ") is cheaper";
          }
        }
      }
    }
    const double pivot = v[at(r, c)];
    for (int j = 1; j <= n; ++j) {
      if (j == c || col_done[j] || !nz[at(r, j)]) continue;
      const double mult = -v[at(r, j)] / pivot;
      for (int i = 1; i <= m; ++i) {
        if (i == r || row_done[i] || !nz[at(i, c)]) continue;
        v[at(i, j)] = nz[at(i, j)] ? v[at(i, j)] + mult * v[at(i, c)] : mult * v[at(i, c)];
        nz[at(i, j)] = 1;
      }
    }
    row_done[r] = 1;
  }
}

TEST(Ma50Analyse, PivotsPassTheThresholdAndTheFullSearchFindsTheCheapest) {
  struct Case {
    Csc a;
    double u;
  };
  std::vector<Case> cases;
  // Diagonals of every size make the threshold bite.
  for (unsigned seed : {3u, 4u, 5u}) {
    Csc a = tbl::test::random_csc(40, 40, 3, seed);
    for (int j = 1; j <= 40; ++j) {
      for (int k = a.ptr[j - 1]; k < a.ptr[j]; ++k) {
        if (a.row[k - 1] == j) a.val[k - 1] *= std::pow(10.0, -double(j % 4));
      }
    }
    cases.push_back({a, 0.5});
  }
  // Every column is long, but row 4 is a singleton: only the rows lead the
  // full search to its entry, the one of cost 0.
  std::vector<std::pair<std::pair<int, int>, double>> e;
  for (int j = 1; j <= 5; ++j) {
    for (int i = 1; i <= 3; ++i) e.push_back({{i, j}, 1.0 + i + j});
  }
  e.push_back({{4, 4}, 2.0});
  e.push_back({{5, 5}, 1.0});
  e.push_back({{5, 1}, 1.0});
  e.push_back({{5, 2}, 1.0});
  cases.push_back({make_csc(5, 5, e), 0.1});
  cases.push_back({tbl::test::from_coo(tbl::test::read_mtx(tbl::test::matrix_path("west0067.mtx"))), 0.1});
  for (const Case& c : cases) {
    for (fint search : {3, 0, -1}) {
      Ma50 p(c.a);
      p.icntl[3] = search;
      p.cntl[0] = 1.0;
      p.cntl[1] = c.u;
      ASSERT_GE(p.analyse(), 0) << c.a.m << " rows, search " << search;
      check_pivots(p, search == 0);
    }
  }
}

TEST(Ma50Analyse, ResultsDoNotDependOnTheRoomGiven) {
  // A tight LA forces compressions: the analysis either ends with the same
  // orders and forecasts as with ample room, or fails asking for more.
  Csc a = tbl::test::random_csc(120, 100, 4, 77, false);
  int failures = 0;
  for (fint search : {3, 0}) {
    Ma50 roomy(a);
    roomy.icntl[3] = search;
    ASSERT_GE(roomy.analyse(20.0), 0);
    EXPECT_EQ(roomy.info_a[1], 0);
    const fint need = roomy.info_a[2];
    EXPECT_GT(need, a.nnz());
    for (double factor : {1.0, 1.1, 1.2, double(need) / a.nnz() + 1e-9}) {
      Ma50 tight(a);
      tight.icntl[3] = search;
      const fint la = std::max<fint>(a.nnz(), static_cast<fint>(factor * a.nnz()));
      const fint st = tight.analyse(factor);
      if (st == -3) {
        ++failures;
        EXPECT_GT(tight.info_a[1], 0) << "compressed before giving up";
        EXPECT_GT(tight.info_a[2], la) << "INFO(3) asks for more than LA";
        EXPECT_LT(la, need);
        continue;
      }
      ASSERT_EQ(st, roomy.info_a[0]);
      EXPECT_EQ(tight.ip, roomy.ip);
      EXPECT_EQ(tight.iq, roomy.iq);
      EXPECT_EQ(tight.np, roomy.np);
      EXPECT_EQ(tight.info_a[3], roomy.info_a[3]);
      EXPECT_EQ(tight.rinfo_a, roomy.rinfo_a);
      if (la < need) {
        EXPECT_GT(tight.info_a[1], 0);
      }
    }
  }
  EXPECT_GT(failures, 0) << "the smallest LA should be too small for the limited search";
}

TEST(Ma50Analyse, ListsThatGrowTakeOnlyTheRoomTheyNeed) {
  // Row 1 and column 1 are full, columns 2 and 3 hold only row 1, every
  // other position is filled.  Pivoting on (1,1) gives each other row two
  // fill-ins for the one entry it loses, so each has to move once, with one
  // position more than it had: the rows then need one further copy of the
  // matrix at most.  Room taken for more than a row's own fill-ins would
  // need more, and in a tight storage fail although the step fits.
  const int k = 10;
  std::vector<std::pair<std::pair<int, int>, double>> e;
  for (int j = 1; j <= k; ++j) {
    for (int i = 1; i <= k; ++i) {
      if (i == 1 || j == 1 || j > 3) e.push_back({{i, j}, i == 1 && j == 1 ? 2.0 : 1.0});
    }
  }
  Ma50 p(make_csc(k, k, e));
  p.icntl[6] = 2;  // pivot on (1,1) first
  p.icntl[3] = 1;
  p.cntl[0] = 1.0;
  p.ip.resize(k);
  p.ifirst_in.resize(k);
  for (int i = 1; i <= k; ++i) p.ip[i - 1] = p.ifirst_in[i - 1] = i;
  const fint ne = p.a.nnz();
  Ma50 tight = p;
  ASSERT_EQ(p.analyse(3.0), 0);
  EXPECT_EQ(p.np, 1) << "the rest is dense";
  EXPECT_EQ(p.info_a[1], 0);
  EXPECT_LE(p.info_a[2], 2 * ne);
  ASSERT_EQ(tight.analyse(1.2), 0) << "the step fits into 1.2 NE with compressions";
  EXPECT_GT(tight.info_a[1], 0);
  EXPECT_EQ(tight.iq, p.iq);
  EXPECT_EQ(tight.ip, p.ip);
}

TEST(Ma50Analyse, OutputsArePermutationsOnRealMatrices) {
  for (const char* file : {"west0067.mtx", "lp_afiro.mtx"}) {
    Csc a = tbl::test::from_coo(tbl::test::read_mtx(tbl::test::matrix_path(file)));
    for (fint search : {3, 1, 0, -1}) {
      Ma50 p(a);
      p.icntl[3] = search;
      ASSERT_GE(p.analyse(), 0) << file;
      EXPECT_TRUE(is_permutation(p.ip, a.m)) << file << " search " << search;
      EXPECT_TRUE(is_permutation(p.iq, a.n)) << file << " search " << search;
      EXPECT_LE(p.info_a[4], std::min(a.m, a.n));
      EXPECT_GE(p.info_a[2], a.nnz());
    }
  }
}

TEST(Ma50Compress, PacksListsAndKeepsTheirOrder) {
  // Three lists with holes; list 2 has no storage.
  std::vector<fint> ind = {0, 7, 8, 0, 0, 4, 0, 5, 6, 9, 0};
  std::vector<double> a = {0, 1, 2, 0, 0, 3, 0, 4, 5, 6, 0};
  std::vector<fint> iptr = {2, 0, 6, 8};
  // list 1: 7 8 (positions 2-3); list 3: 4 (position 6); list 4: 5 6 9.
  fint n = 4, iactiv = 11, la = 11;
  tbl::logical reals = tbl::kTrue;
  MA50_COMPRESS(&la, a.data(), ind.data(), iptr.data(), &n, &iactiv, &reals);
  EXPECT_EQ(iactiv, 7);
  EXPECT_EQ(iptr, (std::vector<fint>{1, 0, 3, 4}));
  EXPECT_EQ(std::vector<fint>(ind.begin(), ind.begin() + 6), (std::vector<fint>{7, 8, 4, 5, 6, 9}));
  EXPECT_EQ(std::vector<double>(a.begin(), a.begin() + 6), (std::vector<double>{1, 2, 3, 4, 5, 6}));

  // Without values only the indices move; an empty storage stays untouched.
  std::vector<fint> ind2 = {0, 3, 0, 2};
  std::vector<double> a2 = {9, 9, 9, 9};
  std::vector<fint> iptr2 = {2, 4};
  fint n2 = 2, iact2 = 5;
  reals = tbl::kFalse;
  MA50_COMPRESS(&la, a2.data(), ind2.data(), iptr2.data(), &n2, &iact2, &reals);
  EXPECT_EQ(iact2, 3);
  EXPECT_EQ(iptr2, (std::vector<fint>{1, 2}));
  EXPECT_EQ(a2, (std::vector<double>{9, 9, 9, 9}));
  fint empty = 1;
  MA50_COMPRESS(&la, a2.data(), ind2.data(), iptr2.data(), &n2, &empty, &reals);
  EXPECT_EQ(empty, 1);
  EXPECT_EQ(iptr2, (std::vector<fint>{1, 2}));
}

}  // namespace
