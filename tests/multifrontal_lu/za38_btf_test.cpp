// The block triangular road through ZA38AD and ZA38CD: the exact stored
// layout of a small triangular case, reducible matrices (singletons, chains
// of blocks, randomly permuted) rebuilt from their stored factors and
// solved in both orientations, structurally singular matrices, the
// backward error of a row with no entries, and random patterns against an
// independently found block triangular form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "za38_entry.hpp"
#include "za38_support.hpp"

namespace {

using tbl::test::messages;
using tbl::test::reconstruction_fault;
using tbl::test::Za38;

// [2 1 0; 0 3 4; 0 0 5]: three blocks of order 1.
Za38 upper3() { return Za38(3, {1, 1, 2, 2, 3}, {1, 2, 2, 3, 3}, {2.0, 1.0, 3.0, 4.0, 5.0}); }

std::vector<int32_t> index_tail(const Za38& p, int64_t from) {
  return std::vector<int32_t>(p.index.begin() + (from - 1), p.index.begin() + p.lindex);
}
std::vector<double> value_tail(const Za38& p, int64_t from) {
  return std::vector<double>(p.value.begin() + (from - 1), p.value.begin() + p.lvalue);
}

TEST(Za38Btf, ExactLayoutOfThreeSingletons) {
  // The entries above the blocks by row ((1,2) and (2,3)), one integer 0
  // for the block factors, block pointers into VALUE, boundaries, row
  // pointers, the permutations and the trailer.
  const std::vector<int32_t> top = {2, 3, 0, 1, 2, 3, 1, 2, 3, 4, 1, 2, 3, 3, 1, 2, 3, 1, 2, 3, 0, 2, 3, 0, 5, 3, 5};
  for (const bool preserve : {false, true}) {
    Za38 p = upper3();
    ASSERT_EQ(p.analyse(preserve ? 1 : 0), 0);
    const int64_t k3 = p.keep[2], k1 = p.keep[0];
    std::vector<int32_t> want_i = top;
    std::vector<double> want_v = {1.0, 4.0, 2.0, 3.0, 5.0};
    if (preserve) {
      want_i.insert(want_i.begin(), {1, 2, 4, 6, 1, 1, 2, 2, 3});
      want_i[want_i.size() - 4] = 1;  // the JOB word of the trailer
      want_v.insert(want_v.begin(), {2.0, 1.0, 3.0, 4.0, 5.0});
    }
    EXPECT_EQ(k3, p.lindex - int64_t(want_i.size()) + 1);
    EXPECT_EQ(index_tail(p, k3), want_i);
    EXPECT_EQ(k1, p.lvalue - int64_t(want_v.size()) + 1);
    EXPECT_EQ(value_tail(p, k1), want_v);
    EXPECT_EQ(p.keep[3], k3 + (preserve ? 9 : 0) + 2);
    EXPECT_EQ(p.info[7], 3);  // blocks of order 1
    EXPECT_EQ(p.info[8], 3);
    EXPECT_EQ(p.info[6], 2);  // entries above the blocks
    EXPECT_EQ(p.info[16], 3);
    // Triangular: the solve is exact.
    std::vector<double> x;
    ASSERT_EQ(p.solve({4.0, 18.0, 15.0}, x), 0);
    EXPECT_EQ(x, std::vector<double>({1.0, 2.0, 3.0}));
    ASSERT_EQ(p.solve({2.0, 7.0, 23.0}, x, 0, true), 0);
    EXPECT_EQ(x, std::vector<double>({1.0, 2.0, 3.0}));
  }
}

// A reducible matrix: NB blocks of the given orders in a chain (each block
// coupled to the next above the diagonal and to a random later one), each
// block a cycle with its diagonal, rows and columns randomly permuted.
Za38 chain(const std::vector<int>& orders, unsigned seed, bool singular_last = false) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(0.5, 1.5);
  const int n = std::accumulate(orders.begin(), orders.end(), 0);
  std::vector<int32_t> rp(n), cp(n);
  std::iota(rp.begin(), rp.end(), 1);
  std::iota(cp.begin(), cp.end(), 1);
  std::shuffle(rp.begin(), rp.end(), gen);
  std::shuffle(cp.begin(), cp.end(), gen);
  std::vector<int32_t> r, c;
  std::vector<double> v;
  std::set<std::pair<int, int>> seen;
  auto add = [&](int i, int j, double a) {
    if (!seen.insert({i, j}).second) return;
    r.push_back(rp[i - 1]);
    c.push_back(cp[j - 1]);
    v.push_back(a);
  };
  int first = 1;
  for (size_t b = 0; b < orders.size(); ++b) {
    const int m = orders[b], last = first + m - 1;
    for (int i = first; i <= last; ++i) {
      if (!(singular_last && b + 1 == orders.size() && i == last)) add(i, i, 4.0 * u(gen));
      if (m > 1) add(i, i == last ? first : i + 1, -u(gen));
    }
    if (last < n) {
      add(last, last + 1, u(gen));
      add(first, first + static_cast<int>(gen() % (n - first)) + 1, u(gen));
    }
    first = last + 1;
  }
  return Za38(n, r, c, v);
}

std::vector<double> ramp(int n) {
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = 1.0 + 0.25 * i;
  return x;
}

double max_err(const std::vector<double>& x, const std::vector<double>& want) {
  double e = 0.0;
  for (size_t i = 0; i < x.size(); ++i) e = std::max(e, std::fabs(x[i] - want[i]) / std::fabs(want[i]));
  return e;
}

struct ChainCase {
  const char* name;
  std::vector<int> orders;
  int32_t job;
  bool transa;
  int32_t btf;  // ICNTL(4)
};
void PrintTo(const ChainCase& c, std::ostream* os) { *os << c.name; }

class Za38BtfChains : public testing::TestWithParam<ChainCase> {};

INSTANTIATE_TEST_SUITE_P(
    Reducible, Za38BtfChains,
    testing::Values(ChainCase{"Singletons", {1, 1, 1, 1, 1}, 0, false, 1},
                    ChainCase{"Chain", {3, 1, 4, 2, 1, 5}, 0, false, 1},
                    ChainCase{"ChainPreserved", {3, 1, 4, 2, 1, 5}, 1, false, 1},
                    ChainCase{"ChainTransposed", {2, 6, 1, 3}, 0, true, 1},
                    ChainCase{"ChainTransposedPreserved", {2, 6, 1, 3}, 1, true, 1},
                    ChainCase{"OrderingOff", {3, 1, 4, 2, 1, 5}, 1, false, 0},
                    ChainCase{"OneBlock", {9}, 0, false, 1}),
    [](const testing::TestParamInfo<ChainCase>& i) { return std::string(i.param.name); });

TEST_P(Za38BtfChains, FactorsRebuildTheMatrixAndSolveIt) {
  const ChainCase& c = GetParam();
  Za38 p = chain(c.orders, 21);
  p.icntl[3] = c.btf;
  ASSERT_EQ(p.analyse(c.job, c.transa), 0);
  EXPECT_EQ(reconstruction_fault(p), "");
  const int32_t nb = p.idx(p.lindex - 4);
  EXPECT_EQ(nb, c.btf == 1 ? static_cast<int32_t>(c.orders.size()) : 1);
  EXPECT_EQ(p.info[8], nb);
  EXPECT_EQ(p.info[7], c.btf == 1 ? std::count(c.orders.begin(), c.orders.end(), 1) : 0);
  EXPECT_EQ(p.info[5] + p.info[6], p.info[4]);
  p.icntl[7] = c.job == 1 ? 3 : 0;
  const std::vector<double> xt = ramp(p.n);
  for (const bool trans : {false, true}) {
    std::vector<double> x;
    const std::vector<double> b = p.apply(xt, trans);
    ASSERT_EQ(p.solve(b, x, 0, trans), 0);
    EXPECT_LT(max_err(x, xt), 1e-13) << "trans " << trans;
    EXPECT_TRUE(c.job != 1 || p.rinfo[6] + p.rinfo[7] < 1e-15) << p.rinfo[6] << " " << p.rinfo[7];
  }
}

// Block data damaged between the calls, each in a way that stays inside
// the arrays but breaks the block triangular form: the solve refuses it
// with X as the host left it.
TEST(Za38Btf, DamagedBlockDataIsRefused) {
  Za38 base = chain({1, 3, 1, 2, 1}, 8);
  ASSERT_EQ(base.analyse(), 0);
  const int32_t n = base.n, k5 = base.keep[4], nb = base.idx(k5 - 4);
  ASSERT_EQ(nb, 5);
  // INDEX positions of the block data (row pointers, boundaries, block
  // pointers, permutations) and of the first off-diagonal column.
  const int64_t offrowp = k5 - 3 * n - 7, ib = offrowp - nb - 1, bfptr = ib - nb, cperm = k5 - 2 * n - 6,
                rperm = k5 - n - 6, oi = base.keep[2];
  auto at = [](Za38& p, int64_t pos) -> int32_t& { return p.index[pos - 1]; };
  // The first row of block t with an entry above the blocks, and its first entry.
  auto entry_of_block = [&](Za38& p, int t) -> int64_t {
    for (int32_t i = p.idx(ib + t - 1); i < p.idx(ib + t); ++i)
      if (p.idx(offrowp + i) > p.idx(offrowp + i - 1)) return oi + p.idx(offrowp + i - 1) - 1;
    return 0;
  };
  struct Case {
    const char* name;
    std::function<void(Za38&)> damage;
  };
  const std::vector<Case> cases = {
      {"column permutation repeats an index", [&](Za38& p) { at(p, cperm + 1) = p.idx(cperm); }},
      {"row permutation beyond N", [&](Za38& p) { at(p, rperm + n - 1) = n + 1; }},
      {"boundaries not rising", [&](Za38& p) { at(p, ib + 2) = p.idx(ib + 1); }},
      {"order-1 pivot beyond VALUE", [&](Za38& p) { at(p, bfptr) = INT32_MAX; }},
      {"order-1 row names its own column",
       [&](Za38& p) { at(p, entry_of_block(p, 1)) = p.idx(ib); }},
      {"row of a larger block names a column of its block",
       [&](Za38& p) { at(p, entry_of_block(p, 2)) = p.idx(ib + 1) + 1; }},
      {"row names an earlier block", [&](Za38& p) { at(p, entry_of_block(p, 4)) = 1; }},
      {"row pointers falling", [&](Za38& p) { at(p, offrowp + 1) = p.idx(offrowp + 2) + 1; }},
  };
  const std::vector<double> b = ramp(n);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Za38 p = base;
    for (int t : {1, 2, 4}) ASSERT_NE(entry_of_block(p, t), 0) << "block " << t;
    c.damage(p);
    for (const bool trans : {false, true}) {
      std::vector<double> x(n, 42.0);
      EXPECT_EQ(p.solve(b, x, 0, trans), -7);
      EXPECT_EQ(x, std::vector<double>(n, 42.0));
    }
  }
}

// Mostly blocks of order 1, solved with B and X one array as well as two:
// the same solution.
TEST(Za38Btf, SolveInPlaceGivesTheSameSolution) {
  Za38 p = chain({1, 1, 2, 1, 1, 1, 3, 1, 1}, 4);
  ASSERT_EQ(p.analyse(), 0);
  ASSERT_GT(p.info[8], p.n / 2);
  const std::vector<double> b = p.apply(ramp(p.n), false);
  for (const int32_t transc : {0, -1}) {
    std::vector<double> x;
    ASSERT_EQ(p.solve(b, x, 0, transc != 0), 0);
    std::vector<double> bx(b), w(2 * static_cast<size_t>(p.n));
    const int32_t job = 0;
    tbl::test::za38_cd(&p.n, &job, &transc, &p.lvalue, &p.lindex, p.value.data(), p.index.data(), p.keep, bx.data(),
                       bx.data(), w.data(), p.cntl, p.icntl, p.info, p.rinfo);
    ASSERT_EQ(p.info[0], 0);
    EXPECT_EQ(bx, x) << "transc " << transc;
  }
}

TEST(Za38Btf, StructurallySingularMatrixPassesWithItsCompletedMatching) {
  // The last diagonal entry missing and its column otherwise empty: the
  // matching pairs the unmatched row and column, whose block of order 1 has
  // a zero pivot, stored as 1.0.
  Za38 p = chain({2, 3, 1}, 5, true);
  const std::string out = messages(p, 2, [&] { p.analyse(1); });
  EXPECT_EQ(p.info[0], 4);
  EXPECT_EQ(p.info[16], p.n - 1);
  EXPECT_EQ(out, " ZA38AD: matrix is singular.  Only            5 pivots found.\n");
  EXPECT_EQ(reconstruction_fault(p), "") << "the complete blocks still rebuild";
  std::vector<double> x;
  const std::vector<double> b(p.n, 1.0);
  ASSERT_EQ(p.solve(b, x), 0);  // the solve reports nothing about the pivots
  for (double v : x) EXPECT_TRUE(std::isfinite(v));
}

TEST(Za38Btf, DiagonalMatrixIsAllSingletons) {
  Za38 p(4, {4, 3, 2, 1}, {4, 3, 2, 1}, {4.0, 3.0, 2.0, -1.0});
  ASSERT_EQ(p.analyse(), 0);
  EXPECT_EQ(p.info[7], 4);
  EXPECT_EQ(p.info[6], 0);
  EXPECT_EQ(p.idx(p.keep[3]), 0);  // the block factors: one integer 0
  EXPECT_EQ(p.keep[3], p.keep[2]);
  std::vector<double> x;
  ASSERT_EQ(p.solve({-1.0, 4.0, 6.0, 8.0}, x), 0);
  EXPECT_EQ(x, std::vector<double>({1.0, 2.0, 2.0, 2.0}));
}

TEST(Za38Btf, RowWithoutEntriesKeepsTheBackwardErrorsFinite) {
  // The last row and column are empty; with the fallback precision the
  // tolerance exceeds 1 (N = 40), so that row falls to the second kind,
  // whose measure would divide by zero.
  const int n = 40;
  std::vector<int32_t> r, c;
  std::vector<double> v;
  for (int i = 1; i < n; ++i) {
    r.push_back(i);
    c.push_back(i);
    v.push_back(2.0);
  }
  Za38 p(n, r, c, v);
  ASSERT_EQ(p.analyse(1), 4);
  p.icntl[7] = 5;
  p.cntl[2] = 0.0;
  std::vector<double> x;
  ASSERT_EQ(p.solve(std::vector<double>(n, 1.0), x), 0);
  EXPECT_TRUE(std::isfinite(p.rinfo[7]));
  EXPECT_EQ(p.rinfo[6], 1.0);  // |b - Ax| = |b| in that row
  EXPECT_EQ(p.info[23], 0);    // the correction did not halve it
}

// The finest block triangular form, found independently: a maximum
// matching by augmenting paths, then the strongly connected components (by
// two depth-first sweeps) of the graph "row i reaches the row matched to
// the column of each of its entries".  Returns the sorted block orders, or
// nothing when the pattern is structurally singular.
std::vector<int> finest_block_orders(int n, const std::vector<std::vector<int>>& rows) {
  std::vector<int> col_row(n, -1), row_col(n, -1);
  for (int r = 0; r < n; ++r) {
    std::vector<char> seen(n, 0);
    std::function<bool(int)> augment = [&](int i) {
      for (int c : rows[i])
        if (!seen[c]++ && (col_row[c] < 0 || augment(col_row[c]))) {
          col_row[c] = i;
          row_col[i] = c;
          return true;
        }
      return false;
    };
    if (!augment(r)) return {};
  }
  std::vector<std::vector<int>> out(n), in(n);
  for (int i = 0; i < n; ++i)
    for (int c : rows[i]) {
      out[i].push_back(col_row[c]);
      in[col_row[c]].push_back(i);
    }
  std::vector<int> order, comp(n, -1);
  std::vector<char> done(n, 0);
  std::function<void(int)> finish = [&](int v) {
    done[v] = 1;
    for (int w : out[v])
      if (!done[w]) finish(w);
    order.push_back(v);
  };
  for (int v = 0; v < n; ++v)
    if (!done[v]) finish(v);
  std::vector<int> orders;
  std::function<void(int)> collect = [&](int v) {
    comp[v] = static_cast<int>(orders.size()) - 1;
    ++orders.back();
    for (int w : in[v])
      if (comp[w] < 0) collect(w);
  };
  for (auto v = order.rbegin(); v != order.rend(); ++v)
    if (comp[*v] < 0) {
      orders.push_back(0);
      collect(*v);
    }
  std::sort(orders.begin(), orders.end());
  return orders;
}

// Random sparse patterns, mostly reducible (entries below the diagonal are
// rare before the rows and columns are shuffled), some structurally
// singular (diagonal entries left out).
Za38 random_pattern(std::mt19937& gen) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const int n = 1 + static_cast<int>(gen() % 40);
  const double density = 0.01 + 0.25 * u(gen), diagonal = gen() % 4 == 0 ? 0.85 : 1.0;
  std::vector<int32_t> rp(n), cp(n), r, c;
  std::iota(rp.begin(), rp.end(), 1);
  std::iota(cp.begin(), cp.end(), 1);
  std::shuffle(rp.begin(), rp.end(), gen);
  std::shuffle(cp.begin(), cp.end(), gen);
  std::vector<double> v;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      if (i == j ? u(gen) < diagonal : u(gen) < density && (j > i || gen() % 3 == 0)) {
        r.push_back(rp[i - 1]);
        c.push_back(cp[j - 1]);
        v.push_back(i == j ? 4.0 + u(gen) : u(gen) - 0.5);
      }
  if (r.empty()) return Za38(n, {1}, {1}, {1.0});
  return Za38(n, r, c, v);
}

struct RandomCase {
  const char* name;
  int32_t job;
  bool transa;
  unsigned seed;
};
void PrintTo(const RandomCase& c, std::ostream* os) { *os << c.name; }

class Za38BtfRandom : public testing::TestWithParam<RandomCase> {};

INSTANTIATE_TEST_SUITE_P(Patterns, Za38BtfRandom,
                         testing::Values(RandomCase{"Consumed", 0, false, 1}, RandomCase{"Kept", 1, false, 2},
                                         RandomCase{"TransposedConsumed", 0, true, 3},
                                         RandomCase{"TransposedKept", 1, true, 4}),
                         [](const testing::TestParamInfo<RandomCase>& i) { return std::string(i.param.name); });

// The stored blocks are those of the finest block triangular form; the
// factors rebuild the matrix; a copy of the factors at other positions of
// other arrays solves exactly as the original; the solves with one factor
// compose to the whole solve in both orientations.
TEST_P(Za38BtfRandom, BlocksAreTheFinestAndTheFactorsMoveAsAWhole) {
  const RandomCase& rc = GetParam();
  std::mt19937 gen(rc.seed);
  for (int trial = 0; trial < 150; ++trial) {
    Za38 p = random_pattern(gen);
    const int n = p.n;
    SCOPED_TRACE("trial " + std::to_string(trial) + ", N " + std::to_string(n));
    std::vector<std::vector<int>> rows(n);
    for (int k = 0; k < p.ne(); ++k)
      (rc.transa ? rows[p.col0[k] - 1] : rows[p.row0[k] - 1]).push_back(rc.transa ? p.row0[k] - 1 : p.col0[k] - 1);
    const std::vector<int> want = finest_block_orders(n, rows);
    const int32_t st = p.analyse(rc.job, rc.transa);
    ASSERT_EQ(st, want.empty() ? 4 : p.info[16] < n ? 4 : 0);
    EXPECT_EQ(reconstruction_fault(p, 1e-9), "");
    tbl::test::StoredFactors f;
    ASSERT_EQ(tbl::test::read_factors(p, f), "");
    if (!want.empty()) {
      std::vector<int> got;
      for (size_t t = 0; t + 1 < f.ib.size(); ++t) got.push_back(f.ib[t + 1] - f.ib[t]);
      std::sort(got.begin(), got.end());
      EXPECT_EQ(got, want);
    }
    // Each block's reals (and integers) lie above those of earlier blocks.
    const int64_t nb = f.nblocks, xb = p.keep[0] + (rc.job == 1 ? f.nz : 0) + (nb >= 2 ? f.noffdiag : 0);
    int64_t last_real = 0, last_int = 0;
    for (int64_t t = 1; nb >= 2 && t <= nb; ++t) {
      const int32_t ptr = p.idx(p.keep[4] - 3 * n - 2 * nb - 9 + t);
      const bool single = f.ib[t] - f.ib[t - 1] == 1;
      const int64_t real = xb + (single ? ptr : p.idx(p.keep[3] + ptr - 1)) - 1;
      EXPECT_GT(real, last_real) << "block " << t;
      last_real = real;
      if (!single) {
        EXPECT_GT(ptr, last_int) << "block " << t;
        last_int = ptr;
      }
    }

    Za38 moved = p;
    const int64_t k1 = p.keep[0], k2 = p.keep[1], k3 = p.keep[2], k5 = p.keep[4];
    moved.set_lengths(static_cast<int32_t>(k5 - k3 + 4), static_cast<int32_t>(k2 - k1 + 3));
    std::copy(p.index.begin() + (k3 - 1), p.index.begin() + k5, moved.index.begin() + 1);
    std::copy(p.value.begin() + (k1 - 1), p.value.begin() + k2, moved.value.begin() + 2);
    const int32_t keep[5] = {3, static_cast<int32_t>(k2 - k1 + 3), 2, static_cast<int32_t>(p.keep[3] - k3 + 2),
                             static_cast<int32_t>(k5 - k3 + 2)};
    std::copy(keep, keep + 5, moved.keep);
    std::vector<double> b(n);
    for (int i = 0; i < n; ++i) b[i] = 1.0 + 0.5 * i;
    for (const int32_t job : {0, 1, 2})
      for (const bool trans : {false, true}) {
        std::vector<double> x, y;
        ASSERT_EQ(p.solve(b, x, job, trans), 0);
        ASSERT_EQ(moved.solve(b, y, job, trans), 0);
        if (st == 0) {
          EXPECT_EQ(x, y) << "JOB " << job << " trans " << trans;
        }
      }
    if (st != 0) continue;
    for (const bool trans : {false, true}) {
      std::vector<double> whole, y, x;
      ASSERT_EQ(p.solve(b, whole, 0, trans), 0);
      ASSERT_EQ(p.solve(b, y, trans ? 2 : 1, trans), 0);
      ASSERT_EQ(p.solve(y, x, trans ? 1 : 2, trans), 0);
      double diff = 0.0, size = 0.0;
      for (int i = 0; i < n; ++i) {
        diff = std::max(diff, std::fabs(x[i] - whole[i]));
        size = std::max(size, std::fabs(whole[i]));
      }
      EXPECT_LE(diff, 1e-9 * size) << "trans " << trans;
      EXPECT_LT(p.relative_residual(b, whole, trans), 1e-9) << "trans " << trans;
    }
  }
}

}  // namespace

namespace {

// A host that starts from the minimum lengths and retries with the lengths
// reported after each shortage gets through, whether the matrix is kept and
// whatever the ordering: every shortage reports more than it was given (the
// need found so far, so it may take many retries).
TEST(Za38Btf, RetriesWithTheReportedLengthsGetThrough) {
  for (const int32_t job : {0, 1})
    for (const int32_t btf : {1, 0}) {
      Za38 p(tbl::test::read_mtx(tbl::test::matrix_path("west0067.mtx")));
      p.icntl[3] = btf;
      int64_t li = Za38::min_index(p.n, p.ne()), lv = Za38::min_value(p.ne());
      int32_t st = -3;
      for (int attempt = 0; attempt < 100 && st < 0; ++attempt) {
        p.set_lengths(static_cast<int32_t>(li), static_cast<int32_t>(lv));
        st = p.analyse(job);
        if (st >= 0) break;
        ASSERT_TRUE(st == -3 || st == -4 || st == -5) << st;
        EXPECT_TRUE(p.info[18] > li || p.info[20] > lv) << "JOB " << job << " ICNTL(4) " << btf;
        li = std::max<int64_t>(li, p.info[18]);
        lv = std::max<int64_t>(lv, p.info[20]);
      }
      EXPECT_EQ(st, 0) << "JOB " << job << " ICNTL(4) " << btf;
    }
}

}  // namespace
