// Stored factors damaged between the calls: the refactorisation refuses
// them before it moves anything, or works on them without a read or write
// outside INDEX and VALUE (the guards of the host arrays, and the sanitizer
// build, watch every call).
#include <gtest/gtest.h>

#include <cstdint>
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

}  // namespace
