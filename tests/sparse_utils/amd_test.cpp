// Approximate minimum degree ordering kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ordering_patterns.hpp"
#include "sparse_utils/amd.hpp"

namespace {

using tbl::fint;
using Adj = std::vector<std::vector<fint>>;

struct Amd {
  std::vector<fint> pe, nv, elen, last;
  fint ncmpa = -1;
  fint pfree = -1;  // on exit: the peak storage
};

// Runs the kernel on the full pattern adj with `room` free places after it.
Amd order(const Adj& adj, fint room) {
  const fint n = static_cast<fint>(adj.size());
  Amd r;
  const std::size_t sn = std::max<std::size_t>(adj.size(), 1);
  r.pe.assign(sn, 0);
  std::vector<fint> len(sn, 0), iw;
  for (fint i = 1; i <= n; ++i) {
    r.pe[i - 1] = static_cast<fint>(iw.size()) + 1;
    len[i - 1] = static_cast<fint>(adj[i - 1].size());
    iw.insert(iw.end(), adj[i - 1].begin(), adj[i - 1].end());
  }
  r.pfree = static_cast<fint>(iw.size()) + 1;
  const fint iwlen = r.pfree - 1 + room;
  iw.resize(std::max<fint>(iwlen, 1), -99);
  r.nv.assign(sn, -9);
  r.elen.assign(sn, -9);
  r.last.assign(sn, -9);
  std::vector<fint> degree(sn), head(sn), next(sn), w(sn);
  MC47_AMD_KERNEL(&n, &iwlen, r.pe.data(), &r.pfree, len.data(), iw.data(), r.nv.data(), r.elen.data(),
                  r.last.data(), &r.ncmpa, degree.data(), head.data(), next.data(), w.data());
  return r;
}

// Row structure (below the diagonal, as positions) of each column of the
// Cholesky factor of the pattern ordered by pos -> variable `seq`.
std::vector<std::vector<fint>> factor_pattern(const Adj& adj, const std::vector<fint>& seq) {
  const fint n = static_cast<fint>(adj.size());
  std::vector<fint> pos(n + 1);
  for (fint k = 1; k <= n; ++k) pos[seq[k - 1]] = k;
  std::vector<std::vector<fint>> s(n + 1), children(n + 1);
  for (fint k = 1; k <= n; ++k) {
    std::vector<fint>& col = s[k];
    for (fint u : adj[seq[k - 1] - 1])
      if (pos[u] > k) col.push_back(pos[u]);
    for (fint c : children[k])
      for (fint r : s[c])
        if (r != k) col.push_back(r);
    std::sort(col.begin(), col.end());
    col.erase(std::unique(col.begin(), col.end()), col.end());
    if (!col.empty()) children[col.front()].push_back(k);
  }
  return s;
}

long long factor_entries(const Adj& adj, const std::vector<fint>& seq) {
  long long total = 0;
  for (const auto& c : factor_pattern(adj, seq)) total += static_cast<long long>(c.size());
  return total;
}

bool subset_of_union(const std::vector<fint>& a, fint lo, fint hi, const std::vector<fint>& b) {
  for (fint x : a)
    if (!(x >= lo && x <= hi) && !std::binary_search(b.begin(), b.end(), x)) return false;
  return true;
}

// The order is a permutation with LAST its inverse; every pivot step fills a
// consecutive block of positions closed by its principal pivot; the front of
// each principal pivot is exactly its column of the factor; every column of
// a block fits in the block's front; and the contribution of each front fits
// in the front of its parent, which comes later.
void check_order_and_tree(const Adj& adj, const Amd& r) {
  const fint n = static_cast<fint>(adj.size());
  std::vector<int> seen(n + 1, 0);
  for (fint i = 1; i <= n; ++i) {
    ASSERT_GE(r.elen[i - 1], 1);
    ASSERT_LE(r.elen[i - 1], n);
    ASSERT_EQ(seen[r.elen[i - 1]]++, 0) << "position " << r.elen[i - 1] << " given twice";
    ASSERT_EQ(r.last[r.elen[i - 1] - 1], i);
  }
  std::vector<fint> npiv(n + 1, 0);
  for (fint i = 1; i <= n; ++i) {
    if (r.nv[i - 1] > 0) {
      ++npiv[i];
    } else {
      ASSERT_EQ(r.nv[i - 1], 0);
      const fint e = -r.pe[i - 1];
      ASSERT_TRUE(e >= 1 && e <= n && r.nv[e - 1] > 0) << "variable " << i << " not tied to a principal pivot";
      ++npiv[e];
    }
  }
  for (fint i = 1; i <= n; ++i) {
    if (r.nv[i - 1] > 0) continue;
    const fint e = -r.pe[i - 1];
    EXPECT_GT(r.elen[i - 1], r.elen[e - 1] - npiv[e]) << "variable " << i << " outside the block of " << e;
    EXPECT_LT(r.elen[i - 1], r.elen[e - 1]) << "variable " << i << " after its principal pivot " << e;
  }
  const auto s = factor_pattern(adj, r.last);
  for (fint e = 1; e <= n; ++e) {
    if (r.nv[e - 1] <= 0) continue;
    const fint k = r.elen[e - 1], first = k - npiv[e] + 1;
    ASSERT_EQ(static_cast<fint>(s[k].size()), r.nv[e - 1] - npiv[e]) << "front of " << e;
    for (fint c = first; c < k; ++c)
      EXPECT_TRUE(subset_of_union(s[c], c + 1, k, s[k])) << "column " << c << " exceeds the front of " << e;
    const fint p = -r.pe[e - 1];
    if (p == 0) {
      EXPECT_TRUE(s[k].empty()) << "root " << e << " with a contribution";
      continue;
    }
    ASSERT_TRUE(p >= 1 && p <= n && r.nv[p - 1] > 0) << "parent of " << e;
    const fint kp = r.elen[p - 1];
    ASSERT_GT(kp, k) << "parent of " << e << " ordered before it";
    EXPECT_TRUE(subset_of_union(s[k], kp - npiv[p] + 1, kp, s[kp])) << "front of " << e << " not in its parent";
  }
}

void expect_same_result(const Amd& a, const Amd& b) {
  EXPECT_EQ(a.elen, b.elen);
  EXPECT_EQ(a.last, b.last);
  EXPECT_EQ(a.nv, b.nv);
  EXPECT_EQ(a.pe, b.pe);
  EXPECT_EQ(a.pfree, b.pfree);
}

Adj from_edges(fint n, const std::vector<std::pair<fint, fint>>& edges) {
  tbl::test::Coo c;
  c.nrows = c.ncols = n;
  for (auto [i, j] : edges) {
    c.row.push_back(i);
    c.col.push_back(j);
  }
  return tbl::test::adjacency_of(c);
}

}  // namespace

TEST(ApproximateMinimumDegree, SmallPatternsGiveTheDocumentedOrderAndTree) {
  struct Case {
    const char* what;
    Adj adj;
    std::vector<fint> elen, last, nv, pe;
  };
  Adj full(6);
  for (fint i = 1; i <= 6; ++i)
    for (fint j = 1; j <= 6; ++j)
      if (i != j) full[i - 1].push_back(j);
  const std::vector<Case> cases = {
      {"two pairs joined crosswise", from_edges(4, {{1, 3}, {1, 4}, {2, 3}, {2, 4}}), {2, 4, 3, 1}, {4, 1, 3, 2},
       {0, 3, 0, 3}, {-2, 0, -2, -2}},
      {"path", from_edges(5, {{1, 2}, {2, 3}, {3, 4}, {4, 5}}), {4, 5, 3, 2, 1}, {5, 4, 3, 1, 2}, {0, 2, 2, 2, 2},
       {-2, 0, -2, -3, -4}},
      {"full", full, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, {0, 0, 0, 0, 0, 6}, {-6, -6, -6, -6, -6, 0}},
      {"isolated variables first", from_edges(5, {{2, 4}}), {1, 4, 2, 5, 3}, {1, 3, 5, 2, 4}, {1, 0, 1, 2, 1},
       {0, -4, 0, 0, 0}},
      {"order one", Adj(1), {1}, {1}, {1}, {0}},
      // Hubs 1 and 5 over leaves 2, 3, 4: after leaf 4, the hubs have equal
      // lists and merge (their bucket hangs off the head of degree list 2),
      // and the merged pair then takes the remaining leaves with it.
      {"two hubs merge", from_edges(5, {{1, 2}, {1, 3}, {1, 4}, {2, 5}, {3, 5}, {4, 5}}), {2, 3, 4, 1, 5},
       {4, 1, 2, 3, 5}, {0, 0, 0, 3, 4}, {-5, -5, -5, -5, 0}},
  };
  for (const Case& c : cases) {
    for (fint room : {0, 3, 100}) {
      const Amd r = order(c.adj, room);
      EXPECT_EQ(r.elen, c.elen) << c.what;
      EXPECT_EQ(r.last, c.last) << c.what;
      EXPECT_EQ(r.nv, c.nv) << c.what;
      EXPECT_EQ(r.pe, c.pe) << c.what;
      check_order_and_tree(c.adj, r);
    }
  }
}

TEST(ApproximateMinimumDegree, PeakStorageAndCompressions) {
  // A full pattern is eliminated in one step built in place: the peak is
  // the pattern itself, even with no room at all.
  Adj full(7);
  for (fint i = 1; i <= 7; ++i)
    for (fint j = 1; j <= 7; ++j)
      if (i != j) full[i - 1].push_back(j);
  const Amd f = order(full, 0);
  EXPECT_EQ(f.pfree, 42);
  EXPECT_EQ(f.ncmpa, 0);
  // On a grid, new elements are built at the free tail: with no room the
  // workspace is compressed, with ample room never, and the order is the same.
  const Adj grid = tbl::test::grid_adjacency(12, 12);
  fint entries = 0;
  for (const auto& l : grid) entries += static_cast<fint>(l.size());
  const fint n = static_cast<fint>(grid.size());
  const Amd tight = order(grid, 0), some = order(grid, n / 4), ample = order(grid, 10 * (entries + n));
  EXPECT_GT(tight.ncmpa, some.ncmpa);
  EXPECT_GT(some.ncmpa, 0);
  EXPECT_EQ(ample.ncmpa, 0);
  expect_same_result(tight, ample);
  expect_same_result(some, ample);
  EXPECT_GT(ample.pfree, entries);
  check_order_and_tree(grid, tight);
}

TEST(ApproximateMinimumDegree, RandomPatternsGiveAConsistentTreeWhateverTheRoom) {
  std::mt19937 rng(4711);
  for (int trial = 0; trial < 150; ++trial) {
    const int n = 1 + trial % 70;
    const int edges = (trial * 7) % (3 * n + 1);
    const Adj adj = tbl::test::random_adjacency(rng, n, edges);
    SCOPED_TRACE("trial " + std::to_string(trial));
    const Amd ample = order(adj, 2 * n + 10);
    check_order_and_tree(adj, ample);
    expect_same_result(order(adj, 0), ample);
  }
}

TEST(ApproximateMinimumDegree, GridsGetLessFillThanTheNaturalOrder) {
  struct Grid {
    int k1, k2, k3;
  };
  for (const Grid g : {Grid{30, 30, 1}, Grid{40, 7, 1}, Grid{10, 10, 10}, Grid{14, 9, 6}}) {
    SCOPED_TRACE(std::to_string(g.k1) + "x" + std::to_string(g.k2) + "x" + std::to_string(g.k3));
    const Adj adj = tbl::test::grid_adjacency(g.k1, g.k2, g.k3);
    const Amd r = order(adj, static_cast<fint>(adj.size()));
    check_order_and_tree(adj, r);
    std::vector<fint> natural(adj.size());
    for (std::size_t k = 0; k < natural.size(); ++k) natural[k] = static_cast<fint>(k + 1);
    EXPECT_LT(factor_entries(adj, r.last), factor_entries(adj, natural));
  }
}

TEST(ApproximateMinimumDegree, RealPatternsGiveAConsistentTree) {
  std::vector<std::pair<std::string, tbl::test::Coo>> mats;
  mats.emplace_back("bcsstk01", tbl::test::read_mtx(tbl::test::matrix_path("bcsstk01.mtx")));
  for (const char* f : {"494_bus.mtx", "bcsstk13.mtx", "tumorAntiAngiogenesis_2.mtx", "kkt_cont050.mtx"})
    mats.emplace_back(f, tbl::test::load_matrix(f));
  for (const auto& [name, a] : mats) {
    SCOPED_TRACE(name);
    const Adj adj = tbl::test::adjacency_of(a);
    const Amd ample = order(adj, static_cast<fint>(adj.size()));
    check_order_and_tree(adj, ample);
    expect_same_result(order(adj, 0), ample);
    std::vector<fint> natural(adj.size());
    for (std::size_t k = 0; k < natural.size(); ++k) natural[k] = static_cast<fint>(k + 1);
    EXPECT_LE(factor_entries(adj, ample.last), factor_entries(adj, natural));
  }
}
