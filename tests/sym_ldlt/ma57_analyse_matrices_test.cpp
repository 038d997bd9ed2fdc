// The analyse phase on real symmetric matrices and on the ordering examples:
// the KEEP it leaves must describe a consistent tree and permuted structure,
// and its factor forecast must equal the fill of the order it chose.
#include <gtest/gtest.h>

#include <numeric>

#include "support/mtx.hpp"
#include "sym_ldlt/ma57_analyse_support.hpp"
#include "sym_ldlt/ma57_factor.hpp"

using tbl::fint;
using tbl::test::Analysis;
using tbl::test::make_analysis;
using tbl::test::run;
using V = std::vector<fint>;

namespace {

Analysis analyse(int n, const V& irn, const V& jcn, const V* order = nullptr) {
  Analysis a = make_analysis(n, irn, jcn);
  if (order != nullptr) {
    a.icntl[5] = 1;
    std::copy(order->begin(), order->end(), a.keep.begin());
  }
  run(a);
  return a;
}

// Entries of L (diagonal included) for the pivot positions `pos`, by the
// elimination tree and row subtrees, independently of the code under test.
std::int64_t factor_entries(int n, const V& irn, const V& jcn, const V& pos) {
  std::vector<std::vector<int>> lower(n);  // earlier neighbours, by position
  for (std::size_t k = 0; k < irn.size(); ++k) {
    const int pi = pos[irn[k] - 1] - 1, pj = pos[jcn[k] - 1] - 1;
    if (pi != pj) lower[std::max(pi, pj)].push_back(std::min(pi, pj));
  }
  std::vector<int> parent(n, -1), ancestor(n, -1), mark(n, -1);
  std::int64_t count = n;
  for (int k = 0; k < n; ++k) {
    for (int r : lower[k]) {
      while (ancestor[r] != -1 && ancestor[r] != k) {
        const int t = ancestor[r];
        ancestor[r] = k;
        r = t;
      }
      if (ancestor[r] == -1) {
        ancestor[r] = k;
        parent[r] = k;
      }
    }
    mark[k] = k;
    for (int r : lower[k]) {
      for (; mark[r] != k; r = parent[r]) {
        mark[r] = k;
        ++count;
      }
    }
  }
  return count;
}

// Everything MA57AD promises about KEEP after a successful call.
void expect_consistent(const Analysis& a, const V& irn, const V& jcn) {
  const int n = a.n;
  ASSERT_GE(a.info[0], 0);
  V var_at(n + 1, 0);
  for (int v = 1; v <= n; ++v) {
    ASSERT_TRUE(a.pos(v) >= 1 && a.pos(v) <= n);
    ASSERT_EQ(var_at[a.pos(v)], 0) << "position used twice";
    var_at[a.pos(v)] = v;
  }
  // Nodes are numbered 1..NSTEPS along the pivot order, each a run of
  // consecutive positions; replaying the son counts on a stack of closed
  // nodes never pops more than was pushed, and leaves only the roots.
  fint node = 0;
  for (int p = 1; p <= n; ++p) {
    const fint nd = a.node(var_at[p]);
    ASSERT_TRUE(nd == node || nd == node + 1) << "position " << p;
    node = nd;
  }
  EXPECT_EQ(node, a.nsteps());
  EXPECT_EQ(a.info[7], a.nsteps());
  fint open = 0;
  for (int nd = 1; nd <= a.nsteps(); ++nd) {
    ASSERT_LE(a.sons(nd), open) << "node " << nd;
    open += 1 - a.sons(nd);
  }
  EXPECT_GE(open, 1);
  // Rows of the permuted structure: diagonal slots first, then one slot per
  // off-diagonal entry in the row of its earlier variable.
  V start(n + 2, 1);
  for (int p = 1; p <= n; ++p) start[p + 1] = start[p] + a.row_count(p);
  ASSERT_EQ(start[n + 1] - 1, a.nz());
  for (int p = 1; p <= n; ++p) EXPECT_EQ(a.col(start[p]), var_at[p]);
  std::vector<int> used(a.nz() + 1, 0);
  for (int k = 1; k <= a.ne; ++k) {
    const fint i = irn[k - 1], j = jcn[k - 1], s = a.map(k);
    ASSERT_TRUE(s >= 1 && s <= a.nz());
    const int p = std::min(a.pos(i), a.pos(j));
    EXPECT_TRUE(s >= start[p] && s < start[p + 1]);
    EXPECT_EQ(a.col(s), i == j ? i : (a.pos(i) < a.pos(j) ? j : i));
    EXPECT_EQ(used[s]++, 0) << "slot shared";
  }
  // Forecasts: INFO(5) is the exact fill of the order chosen.
  EXPECT_EQ(a.info[4], factor_entries(n, irn, jcn, a.order()));
  EXPECT_GE(a.info[8], a.info[10]);
  EXPECT_GE(a.info[9], a.info[11]);
  EXPECT_GT(a.rinfo[1], 0.0);
}

}  // namespace

TEST(Ma57AnalyseOrderingExamples, TwoSupervariablesOfOrderFour) {
  const V irn = {3, 4, 3, 4}, jcn = {1, 1, 2, 2};
  Analysis a = analyse(4, irn, jcn);
  // 4 is eliminated first; then 2 with 1 and 3 in one front of three.
  EXPECT_EQ(a.order(), V({3, 2, 4, 1}));
  EXPECT_EQ(a.nsteps(), 2);
  EXPECT_EQ(V({a.node(1), a.node(2), a.node(3), a.node(4)}), V({2, 2, 2, 1}));
  EXPECT_EQ(a.info[6], 3);
  expect_consistent(a, irn, jcn);
}

TEST(Ma57AnalyseOrderingExamples, PathFullPatternAndIsolatedVariable) {
  const V pi = {2, 3, 4, 5}, pj = {1, 2, 3, 4};
  Analysis path = analyse(5, pi, pj);
  EXPECT_EQ(path.order(), V({5, 4, 3, 2, 1}));
  EXPECT_EQ(path.nsteps(), 4);
  EXPECT_EQ(path.node(1), 4);
  EXPECT_EQ(path.info[4], 9);
  expect_consistent(path, pi, pj);

  V fi, fj;
  for (int i = 1; i <= 5; ++i) {
    for (int j = 1; j < i; ++j) {
      fi.push_back(i);
      fj.push_back(j);
    }
  }
  Analysis full = analyse(5, fi, fj);
  EXPECT_EQ(full.order(), V({2, 3, 4, 5, 1}));  // the principal, then the others by number
  EXPECT_EQ(full.nsteps(), 1);
  EXPECT_EQ(full.info[4], 15);
  expect_consistent(full, fi, fj);

  Analysis iso = analyse(3, {2}, {1});
  EXPECT_EQ(iso.order(), V({3, 2, 1}));
  EXPECT_EQ(iso.nsteps(), 2);
}

TEST(Ma57AnalyseMatrices, SymmetricCollection) {
  for (const char* file : {"LFAT5.mtx", "bcsstk01.mtx", "tumorAntiAngiogenesis_2.mtx", "494_bus.mtx",
                           "reorientation_1.mtx", "hangGlider_2.mtx", "zenios.mtx", "bcsstk13.mtx", "kkt_cont050.mtx",
                           "bcsstk16.mtx", "kkt_cvxqp3_l.mtx", "kkt_dtoc3.mtx"}) {
    SCOPED_TRACE(file);
    const tbl::test::Coo m = tbl::test::read_mtx(tbl::test::matrix_path(file));
    ASSERT_TRUE(m.symmetric);
    const V irn(m.row.begin(), m.row.end()), jcn(m.col.begin(), m.col.end());
    Analysis computed = analyse(m.nrows, irn, jcn);
    EXPECT_EQ(computed.info[0], 0);
    expect_consistent(computed, irn, jcn);
    // The same order given back: the same fill and the same forecasts, and
    // entries given in the other triangle change nothing.
    const V order = computed.order();
    Analysis given = analyse(m.nrows, jcn, irn, &order);
    EXPECT_EQ(given.info[0], 0);
    expect_consistent(given, jcn, irn);
    EXPECT_EQ(given.info[4], computed.info[4]);
    EXPECT_EQ(given.info[6], computed.info[6]);
  }
}

TEST(Ma57AnalyseMatrices, FactorisationReadsTheKeepAsForecast) {
  // On positive definite matrices no pivot is delayed, so the factorisation
  // must use exactly the storage and fronts the analysis forecast.
  for (const char* file : {"LFAT5.mtx", "494_bus.mtx", "bcsstk13.mtx"}) {
    SCOPED_TRACE(file);
    const tbl::test::Coo m = tbl::test::read_mtx(tbl::test::matrix_path(file));
    Analysis a = analyse(m.nrows, V(m.row.begin(), m.row.end()), V(m.col.begin(), m.col.end()));
    const fint lfact = a.info[8], lifact = a.info[9], lkeep = static_cast<fint>(a.keep.size());
    std::vector<double> fact(lfact), rinfo(20);
    V ifact(lifact), iwork(m.nrows), info(40);
    MA57BD(&a.n, &a.ne, m.val.data(), fact.data(), &lfact, ifact.data(), &lifact, &lkeep,
           a.keep.data(), iwork.data(), a.icntl.data(), a.cntl.data(), info.data(), rinfo.data());
    ASSERT_EQ(info[0], 0);
    ASSERT_EQ(info[22], 0);
    EXPECT_EQ(info[14], a.info[4]);   // real storage for factors
    EXPECT_EQ(info[15], a.info[5]);   // integer storage for factors
    EXPECT_EQ(info[20], a.info[6]);   // largest front
    EXPECT_EQ(info[19], a.info[9]);   // IFACT without compresses
    EXPECT_EQ(info[17], a.info[11]);  // IFACT with compresses
    EXPECT_LE(info[18], a.info[8]);   // FACT forecasts bound the use
    EXPECT_LE(info[16], a.info[10]);
  }
}
