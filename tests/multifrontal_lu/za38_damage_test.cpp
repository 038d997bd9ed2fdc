// Stored factors damaged between the calls: the refactorisation refuses
// them before it moves anything, or works on them without a read or write
// outside INDEX and VALUE (the guards of the host arrays, and the sanitizer
// build, watch every call).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "za38_support.hpp"
#include "za38bd_support.hpp"

namespace {

using tbl::test::Entries;
using tbl::test::random_entries;
using tbl::test::Za38;

// INDEX beyond the host's entries, which a call that is refused must leave
// as it found it.
std::vector<int32_t> beyond_entries(const Za38& p) {
  return std::vector<int32_t>(p.index.begin() + 2 * p.ne(), p.index.begin() + p.lindex);
}

// The largest row and column counts of a block factor size the work arrays
// of the refactorisation; a count that is not the largest of its records is
// damage like any other.
TEST(Za38Damage, LargestListCountsOfABlockFactor) {
  struct Case {
    const char* name;
    int word;  // INDEX(KEEP(4) + word) of the single block factor
    int32_t value;
  };
  const std::vector<Case> cases = {
      {"rows at the most negative integer", 3, INT32_MIN},
      {"rows understated", 3, 0},
      {"columns understated", 4, 0},
      {"columns beyond every record", 4, 1 << 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Za38 p = tbl::test::host_of(random_entries(12, 2, 1, 5));
    ASSERT_EQ(p.analyse(), 0);
    p.index[p.keep[3] + c.word - 1] = c.value;
    const std::vector<int32_t> before = beyond_entries(p);
    const std::string text = tbl::test::messages(p, 1, [&] { p.refactor(); });
    EXPECT_EQ(p.info[0], -7);
    EXPECT_EQ(text, " ZA38BD: LU factors uncomputed or corrupted!\n");
    EXPECT_EQ(beyond_entries(p), before);
  }
}

// Every word of the retained region in turn, set to values outside the
// ranges the layout gives it.  Whatever the status, the call stays inside
// the arrays; most of the damage is refused.
TEST(Za38Damage, EveryRetainedWordAltered) {
  struct Stored {
    const char* name;
    Entries a;
    int32_t job;
  };
  const std::vector<Stored> sets = {
      {"one block", random_entries(12, 2, 1, 5), 0},
      {"four blocks, preserved", random_entries(16, 2, 4, 6), 1},
      {"blocks of order one", random_entries(8, 1, 8, 9), 0},
  };
  for (const Stored& s : sets) {
    SCOPED_TRACE(s.name);
    Za38 base = tbl::test::host_of(s.a);
    ASSERT_GE(base.analyse(s.job), 0);
    const int32_t n = base.n;
    int tried = 0, refused = 0;
    for (int64_t pos = base.keep[3]; pos <= base.keep[4]; ++pos) {
      const int32_t was = base.idx(pos);
      for (const int32_t v : {0, -1, INT32_MIN, INT32_MAX, n + 1, 3 * n + 1, was + 1, was - 1, -was}) {
        if (v == was) continue;
        Za38 p = base;
        p.index[pos - 1] = v;
        ++tried;
        if (p.refactor(s.job) == -7) ++refused;
      }
    }
    EXPECT_GT(refused, tried / 2);
  }
}

// The stored factors that the KEEP shifts below start from.
enum class Shape {
  kBlocks,          // 8 x 8, five blocks: kept copy, entries above, order-1 pivots, records
  kOneBlock,        // the same matrix with the ordering off: one block of records
  kOrderOne,        // 8 x 8 upper triangular: every block of order 1, no records
  kOneByOneLonger,  // 1 x 1 of A', kept, with INDEX and VALUE longer at the call
};

// An 8 x 8 matrix with diagonal 4 + i and sixteen entries off it: cycles
// over {1,2,3} and {4,5} and forward links between them and 6, 7, 8.
Za38 eight_by_eight(bool ordered) {
  std::vector<int32_t> rows, cols;
  std::vector<double> vals;
  auto add = [&](int32_t i, int32_t j, double v) {
    rows.push_back(i);
    cols.push_back(j);
    vals.push_back(v);
  };
  for (int32_t i = 1; i <= 8; ++i) add(i, i, 4.0 + i);
  const int32_t off[16][2] = {{1, 2}, {2, 3}, {3, 1}, {4, 5}, {5, 4}, {1, 4}, {2, 6}, {3, 8},
                              {1, 7}, {4, 6}, {5, 7}, {5, 8}, {6, 7}, {6, 8}, {7, 8}, {2, 5}};
  for (int k = 0; k < 16; ++k) add(off[k][0], off[k][1], k % 2 == 0 ? -1.5 : 2.0 - 0.25 * k);
  Za38 p(8, rows, cols, vals);
  p.icntl[3] = ordered ? 1 : 0;
  return p;
}

Za38 upper_triangular() {
  std::vector<int32_t> rows, cols;
  std::vector<double> vals;
  for (int32_t i = 1; i <= 8; ++i)
    for (int32_t j = i; j <= 8; j += 3) {
      rows.push_back(i);
      cols.push_back(j);
      vals.push_back(i == j ? 4.0 + i : -1.0);
    }
  return Za38(8, rows, cols, vals);
}

// INDEX and VALUE lengthened by EXTRA with their contents kept, as a host
// that enlarged its arrays between the calls.
void lengthen(Za38& p, int32_t extra) {
  const std::vector<int32_t> ix(p.index.begin(), p.index.begin() + p.lindex);
  const std::vector<double> vx(p.value.begin(), p.value.begin() + p.lvalue);
  p.set_lengths(p.lindex + extra, p.lvalue + extra);
  std::copy(ix.begin(), ix.end(), p.index.begin());
  std::copy(vx.begin(), vx.end(), p.value.begin());
}

// KEEP(1..5) each moved by one either way after a factorisation with JOB = 1:
// the solve refuses every one of them (the integers of the block factors
// fill INDEX(KEEP(4)..) and their reals VALUE(..KEEP(2)) exactly, the
// integers lead from KEEP(3) to KEEP(4)), and so does the refactorisation
// for the two it reads.
struct KeepShift {
  Shape shape;
  bool refactor;  // through ZA38BD, else ZA38CD
  int entry;      // KEEP(entry)
  int by;
};

void PrintTo(const KeepShift& c, std::ostream* os) {
  static const char* const kShape[] = {"Blocks", "OneBlock", "OrderOne", "OneByOneLonger"};
  *os << (c.refactor ? "Refactor" : "Solve") << kShape[static_cast<int>(c.shape)] << "Keep" << c.entry
      << (c.by > 0 ? "Raised" : "Lowered");
}

std::vector<KeepShift> keep_shifts() {
  std::vector<KeepShift> cases;
  for (const Shape shape : {Shape::kBlocks, Shape::kOneBlock, Shape::kOrderOne, Shape::kOneByOneLonger})
    for (const bool refactor : {false, true})
      for (int entry = refactor ? 4 : 1; entry <= 5; ++entry)
        for (const int by : {-1, 1}) cases.push_back({shape, refactor, entry, by});
  return cases;
}

class Za38KeepShift : public testing::TestWithParam<KeepShift> {};

INSTANTIATE_TEST_SUITE_P(EachEntry, Za38KeepShift, testing::ValuesIn(keep_shifts()),
                         [](const testing::TestParamInfo<KeepShift>& i) {
                           std::ostringstream os;
                           PrintTo(i.param, &os);
                           return os.str();
                         });

TEST_P(Za38KeepShift, IsRefused) {
  const KeepShift& c = GetParam();
  const bool transa = c.shape == Shape::kOneByOneLonger;
  Za38 p = c.shape == Shape::kOrderOne         ? upper_triangular()
           : c.shape == Shape::kOneByOneLonger ? Za38(1, {1}, {1}, {3.0})
                                               : eight_by_eight(c.shape == Shape::kBlocks);
  ASSERT_EQ(p.analyse(1, transa), 0);
  const int32_t blocks[] = {5, 1, 8, 1};
  ASSERT_EQ(p.info[8], blocks[static_cast<int>(c.shape)]);
  if (transa) lengthen(p, 2);
  std::vector<double> b(p.n), x;
  for (int i = 0; i < p.n; ++i) b[i] = 1.0 - 0.3 * i;
  ASSERT_EQ(p.solve(b, x), 0);
  ASSERT_LT(p.relative_residual(b, x, false), 1e-14);

  p.keep[c.entry - 1] += c.by;
  if (c.refactor) {
    const std::vector<int32_t> before = beyond_entries(p);
    EXPECT_EQ(p.refactor(1, transa), -7);
    EXPECT_EQ(beyond_entries(p), before);
  } else {
    x.assign(p.n, 42.0);
    EXPECT_EQ(p.solve(b, x), -7) << "X(1) = " << x[0];
    EXPECT_EQ(x, std::vector<double>(p.n, 42.0));
  }
  p.check_guards();
}

// The words that say where reals start: each block's and each LU record's
// start (counted from the first real of the block factors, XB) and the
// pointer of every block of order 1.  Moved to any other position inside
// the block factors' reals, each must be refused by the solve, which would
// otherwise read another part's numbers and return a wrong X.
TEST(Za38Damage, RealStartMovedInsideTheFactors) {
  for (const bool ordered : {true, false}) {
    SCOPED_TRACE(ordered ? "five blocks" : "one block");
    Za38 base = eight_by_eight(ordered);
    ASSERT_EQ(base.analyse(1), 0);
    const int64_t n = base.n, k4 = base.keep[3], k5 = base.keep[4];
    const int64_t nb = base.idx(k5 - 4), noff = nb >= 2 ? base.idx(k5 - 5) : 0;
    const int64_t reals = base.keep[1] - (base.keep[0] + base.idx(k5 - 2) + noff) + 1;
    std::vector<int64_t> starts;  // positions in INDEX
    auto block = [&](int64_t e) {
      const int64_t r = base.idx(e + 1);
      starts.push_back(e);
      for (int64_t j = 1; j <= r; ++j) starts.push_back(e + 5 + r + base.idx(e + 4 + j) - 1);
    };
    if (nb == 1) block(k4);
    for (int64_t t = 1; t <= nb && nb >= 2; ++t) {
      const int64_t bf = k5 - 3 * n - 2 * nb - 9 + t, ib = k5 - 3 * n - nb - 9 + t;
      if (base.idx(ib + 1) - base.idx(ib) == 1)
        starts.push_back(bf);
      else
        block(k4 + base.idx(bf) - 1);
    }
    ASSERT_EQ(starts.size(), ordered ? 8u : 7u);
    std::vector<double> b(n, 1.0), x;
    for (const int64_t pos : starts)
      for (int32_t v = 1; v <= reals; ++v) {
        if (v == base.idx(pos)) continue;
        Za38 p = base;
        p.index[pos - 1] = v;
        x.assign(n, 42.0);
        EXPECT_EQ(p.solve(b, x), -7) << "INDEX(" << pos << ") = " << v << ": X(1) = " << x[0];
      }
  }
}

}  // namespace
