// Maximum transversal and block triangular ordering.
#include <gtest/gtest.h>

#include <numeric>
#include <queue>
#include <random>

#include "sparse_utils/btf.hpp"
#include "ordering_patterns.hpp"

namespace {

using tbl::fint;
using tbl::test::Lists;
using tbl::test::make_lists;
using Rows = std::vector<std::vector<fint>>;

struct Matching {
  std::vector<fint> iperm;
  fint numnz = -99;
};

// The kernel with its four work arrays, or the outer routine slicing one.
Matching transversal(const Lists& l, bool outer = false) {
  Matching m;
  const std::size_t n = static_cast<std::size_t>(std::max<fint>(l.n, 1));
  m.iperm.assign(n, -5);
  std::vector<fint> iw(4 * n, 12345);
  const fint licn = static_cast<fint>(l.icn.size());
  if (outer)
    BTF_TRANSVERSAL(&l.n, l.icn.data(), &licn, l.ip.data(), l.lenr.data(), m.iperm.data(), &m.numnz, iw.data());
  else
    BTF_TRANSVERSAL_KERNEL(&l.n, l.icn.data(), &licn, l.ip.data(), l.lenr.data(), m.iperm.data(), &m.numnz,
                           iw.data(), iw.data() + n, iw.data() + 2 * n, iw.data() + 3 * n);
  return m;
}

struct Blocks {
  std::vector<fint> ior, ib;
  fint num = -99;
};

// The kernel with its three work arrays, or the outer routine slicing one.
Blocks scc(const Lists& l, bool outer = false) {
  Blocks b;
  const std::size_t n = static_cast<std::size_t>(std::max<fint>(l.n, 1));
  b.ior.assign(n, -5);
  b.ib.assign(n, -5);
  std::vector<fint> iw(3 * n, 777);
  const fint licn = static_cast<fint>(l.icn.size());
  if (outer)
    BTF_SCC_ORDER(&l.n, l.icn.data(), &licn, l.ip.data(), l.lenr.data(), b.ior.data(), b.ib.data(), &b.num,
                  iw.data());
  else
    BTF_SCC_KERNEL(&l.n, l.icn.data(), &licn, l.ip.data(), l.lenr.data(), b.ior.data(), b.ib.data(), &b.num,
                   iw.data(), iw.data() + n, iw.data() + 2 * n);
  return b;
}

// Structural rank by Hopcroft-Karp, independent of the kernel's search.
fint structural_rank(const Rows& rows) {
  const int n = static_cast<int>(rows.size());
  std::vector<int> mr(n + 1, 0), mc(n + 1, 0), dist(n + 1);
  const int inf = 1 << 30;
  auto bfs = [&]() {
    std::queue<int> q;
    bool found = false;
    for (int r = 1; r <= n; ++r) {
      dist[r] = mr[r] == 0 ? 0 : inf;
      if (mr[r] == 0) q.push(r);
    }
    while (!q.empty()) {
      const int r = q.front();
      q.pop();
      for (int c : rows[r - 1]) {
        const int r2 = mc[c];
        if (r2 == 0) {
          found = true;
        } else if (dist[r2] == inf) {
          dist[r2] = dist[r] + 1;
          q.push(r2);
        }
      }
    }
    return found;
  };
  // Iterative layered DFS from a free row.
  std::vector<std::size_t> it(n + 1);
  auto dfs = [&](int root) {
    std::vector<int> path{root};
    it[root] = 0;
    while (!path.empty()) {
      const int r = path.back();
      if (it[r] == rows[r - 1].size()) {
        dist[r] = inf;
        path.pop_back();
        continue;
      }
      const int c = rows[r - 1][it[r]++];
      const int r2 = mc[c];
      if (r2 == 0) {
        // Augment along the path: each row takes the column it last tried.
        for (std::size_t k = path.size(); k-- > 0;) {
          const int rr = path[k];
          const int cc = rows[rr - 1][it[rr] - 1];
          mr[rr] = cc;
          mc[cc] = rr;
        }
        return true;
      }
      if (dist[r2] == dist[r] + 1) {
        it[r2] = 0;
        path.push_back(r2);
      }
    }
    return false;
  };
  fint rank = 0;
  while (bfs()) {
    for (int r = 1; r <= n; ++r)
      if (mr[r] == 0 && dfs(r)) ++rank;
  }
  return rank;
}

// The search as the transversal documents it, written plainly: roots in
// increasing order; on reaching a row, the look-ahead takes the first free
// column from where the row's look-ahead last stopped; otherwise the row
// searches its columns in order for one not yet visited in this pass and
// goes on to the row that holds it, backtracking when it has none left.
// The rows on the path then take the columns they left by, and in the end
// the k-th unmatched row takes the k-th unmatched column.
Matching documented_matching(const Rows& rows) {
  const fint n = static_cast<fint>(rows.size());
  std::vector<fint> iperm(n + 1, 0), visited(n + 1, 0);
  std::vector<std::size_t> look(n + 1, 0);
  Matching m;
  m.numnz = 0;
  for (fint root = 1; root <= n; ++root) {
    std::vector<std::pair<fint, std::size_t>> path;  // row, next column to search
    fint row = root, free = 0;
    for (;;) {
      const auto& l = rows[row - 1];
      for (; look[row] < l.size(); ++look[row])
        if (iperm[l[look[row]]] == 0) {
          free = l[look[row]++];
          break;
        }
      if (free != 0) break;
      path.push_back({row, 0});
      row = 0;
      while (!path.empty() && row == 0) {
        auto& [r, next] = path.back();
        const auto& lr = rows[r - 1];
        while (next < lr.size() && visited[lr[next]] == root) ++next;
        if (next == lr.size()) {
          path.pop_back();
          continue;
        }
        visited[lr[next]] = root;
        row = iperm[lr[next++]];
      }
      if (row == 0) break;
    }
    if (free == 0) continue;
    ++m.numnz;
    iperm[free] = row;
    for (const auto& [r, next] : path) iperm[rows[r - 1][next - 1]] = r;
  }
  std::vector<char> row_matched(n + 1, 0);
  std::vector<fint> free_columns;
  for (fint j = 1; j <= n; ++j) {
    if (iperm[j] == 0) free_columns.push_back(j);
    else row_matched[iperm[j]] = 1;
  }
  std::size_t k = 0;
  for (fint i = 1; i <= n; ++i)
    if (!row_matched[i]) iperm[free_columns[k++]] = i;
  m.iperm.assign(iperm.begin() + 1, iperm.end());
  return m;
}

bool contains(const std::vector<fint>& v, fint x) { return std::find(v.begin(), v.end(), x) != v.end(); }

void expect_permutation(const std::vector<fint>& p, fint n) {
  std::vector<int> seen(static_cast<std::size_t>(n) + 1, 0);
  for (fint k = 0; k < n; ++k) {
    ASSERT_GE(p[k], 1);
    ASSERT_LE(p[k], n);
    ++seen[p[k]];
  }
  for (fint v = 1; v <= n; ++v) ASSERT_EQ(seen[v], 1) << "index " << v;
}

// A maximum matching, completed to a permutation: exactly NUMNZ columns j
// have (IPERM(j), j) in the pattern, and NUMNZ is the structural rank.
void check_transversal(const Rows& rows, bool scattered = false) {
  const Lists l = make_lists(rows, scattered);
  const Matching m = transversal(l);
  const fint n = l.n;
  ASSERT_EQ(m.numnz, structural_rank(rows));
  expect_permutation(m.iperm, n);
  fint on_diagonal = 0;
  for (fint j = 1; j <= n; ++j) on_diagonal += contains(rows[m.iperm[j - 1] - 1], j) ? 1 : 0;
  EXPECT_EQ(on_diagonal, m.numnz);
  const Matching o = transversal(l, true);
  EXPECT_EQ(o.iperm, m.iperm);
  EXPECT_EQ(o.numnz, m.numnz);
}

// Block lower triangular with irreducible (strongly connected) diagonal blocks.
void check_blocks(const Rows& rows, const Blocks& b) {
  const fint n = static_cast<fint>(rows.size());
  expect_permutation(b.ior, n);
  ASSERT_GE(b.num, 1);
  ASSERT_LE(b.num, n);
  ASSERT_EQ(b.ib[0], 1);
  std::vector<fint> pos(n + 1), blk(n + 1);
  for (fint k = 1; k <= n; ++k) pos[b.ior[k - 1]] = k;
  for (fint t = 1; t <= b.num; ++t) {
    const fint first = b.ib[t - 1], end = t < b.num ? b.ib[t] : n + 1;
    ASSERT_LT(first, end) << "block " << t;
    for (fint k = first; k < end; ++k) blk[b.ior[k - 1]] = t;
  }
  std::vector<std::vector<fint>> back(n + 1);
  for (fint i = 1; i <= n; ++i)
    for (fint j : rows[i - 1]) {
      ASSERT_LE(blk[j], blk[i]) << "entry (" << i << "," << j << ") above the block diagonal";
      back[j].push_back(i);
    }
  // Inside each block every node reaches, and is reached from, its first node.
  auto reach = [&](fint start, bool forward) {
    std::vector<fint> stack{start};
    std::vector<char> seen(n + 1, 0);
    seen[start] = 1;
    fint count = 1;
    while (!stack.empty()) {
      const fint v = stack.back();
      stack.pop_back();
      for (fint u : forward ? rows[v - 1] : back[v])
        if (blk[u] == blk[start] && !seen[u]) {
          seen[u] = 1;
          ++count;
          stack.push_back(u);
        }
    }
    return count;
  };
  for (fint t = 1; t <= b.num; ++t) {
    const fint first = b.ib[t - 1], size = (t < b.num ? b.ib[t] : n + 1) - first;
    const fint v = b.ior[first - 1];
    EXPECT_EQ(reach(v, true), size) << "block " << t << " is reducible";
    EXPECT_EQ(reach(v, false), size) << "block " << t << " is reducible";
  }
}

}  // namespace


TEST(Transversal, SmallPatternsGiveTheDocumentedMatching) {
  struct Case {
    const char* what;
    Rows rows;
    std::vector<fint> iperm;
    fint numnz;
  };
  const std::vector<Case> cases = {
      {"identity", {{1}, {2}, {3}, {4}}, {1, 2, 3, 4}, 4},
      {"permuted identity", {{3}, {1}, {4}, {2}}, {2, 4, 1, 3}, 4},
      {"unmatched row, completed", {{2}, {1}, {1}}, {2, 1, 3}, 2},
      {"no entries", {{}, {}, {}}, {1, 2, 3}, 0},
      {"order one", {{1}}, {1}, 1},
      {"augmenting path", {{1, 2}, {1}}, {2, 1}, 2},
      {"direct by look-ahead", {{2, 1}, {1}}, {2, 1}, 2},
      {"path through two rows", {{1, 2}, {2, 3}, {1}}, {3, 1, 2}, 3},
      {"search backtracks to the root", {{1, 2}, {1}, {2, 1}}, {2, 1, 3}, 2},
      {"repeated indices", {{1, 1, 2}, {1, 1}}, {2, 1}, 2},
      // Unmatched rows 2 and 4 take the unmatched columns 1 and 3 in order.
      {"completion pairs in increasing order", {{2}, {2}, {4}, {4}}, {2, 1, 4, 3}, 2},
  };
  for (const Case& c : cases) {
    for (bool scattered : {false, true}) {
      const Lists l = make_lists(c.rows, scattered);
      const Matching m = transversal(l);
      EXPECT_EQ(m.iperm, c.iperm) << c.what;
      EXPECT_EQ(m.numnz, c.numnz) << c.what;
      const Matching o = transversal(l, true);
      EXPECT_EQ(o.iperm, c.iperm) << c.what;
      EXPECT_EQ(o.numnz, c.numnz) << c.what;
    }
  }
}

TEST(Transversal, NonPositiveOrderSetsOnlyNumnz) {
  for (fint n : {0, -3}) {
    const fint icn[1] = {1}, ip[1] = {1}, lenr[1] = {1}, licn = 1;
    fint iperm[2] = {-5, -5}, numnz = 42, work[4] = {9, 9, 9, 9}, iw[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    BTF_TRANSVERSAL_KERNEL(&n, icn, &licn, ip, lenr, iperm, &numnz, work, work + 1, work + 2, work + 3);
    EXPECT_EQ(numnz, 0);
    EXPECT_EQ(iperm[0], -5);
    EXPECT_EQ(work[0] + work[1] + work[2] + work[3], 36);
    numnz = 42;
    BTF_TRANSVERSAL(&n, icn, &licn, ip, lenr, iperm, &numnz, iw);
    EXPECT_EQ(numnz, 0);
    EXPECT_EQ(iperm[0], -5);
    EXPECT_EQ(iw[0], 9);
  }
}

TEST(Transversal, RandomPatternsReachTheStructuralRank) {
  std::mt19937 rng(20240611);
  for (int trial = 0; trial < 400; ++trial) {
    const int n = 1 + trial % 60;
    const int per_row = trial % 5;  // from empty to several entries per row
    const Rows rows = tbl::test::random_rows(rng, n, per_row);
    SCOPED_TRACE("trial " + std::to_string(trial));
    check_transversal(rows, trial % 2 == 1);
    // Storage layout must not change the result, only the entries' order.
    EXPECT_EQ(transversal(make_lists(rows, false)).iperm, transversal(make_lists(rows, true)).iperm);
  }
}

TEST(Transversal, RandomPatternsGiveTheMatchingOfTheDocumentedSearch) {
  // Every tie-break of the search decides the block triangular form and so
  // the pivots downstream: the kernel must give exactly the matching of the
  // documented search.  Sparse random patterns are structurally singular,
  // with many roots that find no augmenting path; the larger ones make
  // later searches meet what failed searches explored.
  std::mt19937 rng(7);
  for (int trial = 0; trial < 300; ++trial) {
    const int n = trial < 280 ? 1 + trial % 70 : 3000;
    const Rows rows = tbl::test::random_rows(rng, n, 1 + trial % 4);
    SCOPED_TRACE("trial " + std::to_string(trial));
    const Matching want = documented_matching(rows);
    const Matching got = transversal(make_lists(rows, trial % 2 == 1));
    EXPECT_EQ(got.numnz, want.numnz);
    EXPECT_EQ(got.iperm, want.iperm);
  }
}

TEST(Transversal, LongAugmentingPathNeedsNoRecursion) {
  // Rows i = (i, i+1) match greedily; the last row, (1), then shifts the
  // whole chain by one along an augmenting path of length N.
  const fint n = 200000;
  Rows rows(n);
  for (fint i = 1; i < n; ++i) rows[i - 1] = {i, i + 1};
  rows[n - 1] = {1};
  const Matching m = transversal(make_lists(rows));
  ASSERT_EQ(m.numnz, n);
  EXPECT_EQ(m.iperm[0], n);
  for (fint j = 2; j <= n; ++j) ASSERT_EQ(m.iperm[j - 1], j - 1);
}

TEST(BlockTriangular, SmallPatternsGiveTheDocumentedBlocks) {
  struct Case {
    const char* what;
    Rows rows;
    std::vector<fint> ior;
    std::vector<fint> ib;  // the first NUM entries
  };
  const std::vector<Case> cases = {
      {"diagonal", {{1}, {2}, {3}, {4}}, {1, 2, 3, 4}, {1, 2, 3, 4}},
      {"no entries", {{}, {}, {}}, {1, 2, 3}, {1, 2, 3}},
      {"full upper triangle", {{1, 2, 3, 4, 5}, {2, 3, 4, 5}, {3, 4, 5}, {4, 5}, {5}}, {5, 4, 3, 2, 1}, {1, 2, 3, 4, 5}},
      {"cycle with diagonal", {{1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 1}}, {5, 4, 3, 2, 1}, {1}},
      {"two 2-cycles joined", {{2, 3}, {1}, {4}, {3}}, {4, 3, 2, 1}, {1, 3}},
      // The edge 1 -> 3 found first makes {3} a block before {1, 2}.
      {"row order decides", {{3, 2}, {1}, {3}}, {3, 2, 1}, {1, 2}},
  };
  for (const Case& c : cases) {
    for (bool scattered : {false, true}) {
      const Lists l = make_lists(c.rows, scattered);
      for (const Blocks& b : {scc(l), scc(l, true)}) {
        EXPECT_EQ(b.ior, c.ior) << c.what;
        ASSERT_EQ(b.num, static_cast<fint>(c.ib.size())) << c.what;
        EXPECT_EQ(std::vector<fint>(b.ib.begin(), b.ib.begin() + b.num), c.ib) << c.what;
        check_blocks(c.rows, b);
      }
    }
  }
}

TEST(BlockTriangular, NonPositiveOrderSetsOnlyNum) {
  for (fint n : {0, -1}) {
    const fint icn[1] = {1}, ip[1] = {1}, lenr[1] = {1}, licn = 1;
    fint ior[1] = {-5}, ib[1] = {-5}, num = 42, work[3] = {9, 9, 9};
    BTF_SCC_KERNEL(&n, icn, &licn, ip, lenr, ior, ib, &num, work, work + 1, work + 2);
    EXPECT_EQ(num, 0);
    EXPECT_EQ(ior[0], -5);
    EXPECT_EQ(ib[0], -5);
    EXPECT_EQ(work[0] + work[1] + work[2], 27);
    num = 42;
    BTF_SCC_ORDER(&n, icn, &licn, ip, lenr, ior, ib, &num, work);
    EXPECT_EQ(num, 0);
    EXPECT_EQ(ior[0], -5);
  }
}

TEST(BlockTriangular, RandomPatternsGiveIrreducibleBlocks) {
  std::mt19937 rng(77);
  for (int trial = 0; trial < 400; ++trial) {
    const int n = 1 + trial % 50;
    Rows rows = tbl::test::random_rows(rng, n, trial % 4);
    if (trial % 3 == 0)  // a zero-free diagonal, as after a transversal
      for (int i = 1; i <= n; ++i) rows[i - 1].push_back(i);
    SCOPED_TRACE("trial " + std::to_string(trial));
    const Blocks b = scc(make_lists(rows));
    check_blocks(rows, b);
    const Blocks s = scc(make_lists(rows, true), true);
    EXPECT_EQ(s.ior, b.ior);
    EXPECT_EQ(s.num, b.num);
    EXPECT_EQ(std::vector<fint>(s.ib.begin(), s.ib.begin() + s.num),
              std::vector<fint>(b.ib.begin(), b.ib.begin() + b.num));
  }
}

TEST(BlockTriangular, LongChainNeedsNoRecursion) {
  // 1 -> 2 -> ... -> N: every node is its own block, the deepest node first.
  const fint n = 200000;
  Rows rows(n);
  for (fint i = 1; i < n; ++i) rows[i - 1] = {i + 1};
  const Blocks b = scc(make_lists(rows));
  ASSERT_EQ(b.num, n);
  for (fint k = 1; k <= n; ++k) {
    ASSERT_EQ(b.ior[k - 1], n + 1 - k);
    ASSERT_EQ(b.ib[k - 1], k);
  }
  // Closing the chain into a cycle makes a single block.
  rows[n - 1] = {1};
  const Blocks c = scc(make_lists(rows));
  EXPECT_EQ(c.num, 1);
  EXPECT_EQ(c.ior[n - 1], 1);
}

// The structural rank and, for a structurally nonsingular matrix, the number
// of blocks after permuting its rows by the transversal, as the analyse of
// the unsymmetric LU does (the count is the same whichever maximum matching
// is taken).  A rank of -1 stands for the order; 0 blocks for no check.
TEST(BlockTriangular, RealMatricesGiveTheKnownRanksAndBlocks) {
  struct Known {
    const char* file;
    fint rank, blocks;
  };
  const Known known[] = {
      {"b1_ss.mtx", 7, 1},          {"west0067.mtx", 67, 2},   {"fs_183_1.mtx", 183, 30},  {"impcol_a.mtx", 207, 164},
      {"mbeacxc.mtx", 448, 0},      {"west0497.mtx", 497, 294}, {"bp_1200.mtx", 822, 447}, {"rajat19.mtx", 1157, 227},
      {"add32.mtx", 4960, 0},       {"Pd.mtx", 8081, 7877},    {"cage10.mtx", 11397, 1},   {"bayer10.mtx", 13436, 1541},
      {"lp_afiro.mtx", 27, 0},      {"lp_e226.mtx", 223, 0},   {"cont050_A.mtx", 2401, 0}, {"Franz6_id1959_aug.mtx", 3016, 0},
      {"bfwa62.mtx", -1, 2},        {"west0479.mtx", -1, 166}, {"olm500.mtx", -1, 1},      {"gre_1107.mtx", -1, 1},
      {"nnc1374.mtx", -1, 57},      {"adder_dcop_05.mtx", -1, 473}, {"watt_2.mtx", -1, 65}, {"bayer03.mtx", -1, 1780},
  };
  for (const Known& k : known) {
    SCOPED_TRACE(k.file);
    const Rows rows = tbl::test::rows_of(tbl::test::load_matrix(k.file));
    const fint n = static_cast<fint>(rows.size());
    const Matching m = transversal(make_lists(rows));
    EXPECT_EQ(m.numnz, k.rank < 0 ? n : k.rank);
    check_transversal(rows);
    if (k.blocks == 0) continue;
    ASSERT_EQ(m.numnz, n);
    Rows permuted(rows.size());
    for (std::size_t j = 0; j < rows.size(); ++j) permuted[j] = rows[m.iperm[j] - 1];
    const Blocks b = scc(make_lists(permuted));
    EXPECT_EQ(b.num, k.blocks);
    check_blocks(permuted, b);
  }
}
