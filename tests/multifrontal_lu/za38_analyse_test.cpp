// ZA38AD as a host calls it: the argument and length checks with their
// texts, lengths whose minimum passes 32 bits, the conversion of invalid and
// duplicate entries in both orientations (read back from the preserved
// copy), and the stored factors the call leaves.
#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "za38_entry.hpp"
#include "za38_support.hpp"

namespace {

using tbl::test::messages;
using tbl::test::Za38;

// A 5 by 5 unsymmetric matrix with a full diagonal.
Za38 small_matrix() {
  return Za38(5, {1, 2, 3, 4, 5, 1, 3, 5, 2, 4, 5}, {1, 2, 3, 4, 5, 3, 1, 2, 4, 5, 1},
              {4.0, 5.0, 6.0, 7.0, 8.0, 1.5, -2.0, 0.5, 3.0, -1.0, 2.5});
}

struct ArgCase {
  const char* name;
  int32_t n, ne;
  int64_t dindex, dvalue;  // lengths relative to the minimum
  int32_t status;
  std::string text;
  int32_t info18, info19, info20, info21;  // -1: the length passed
};

std::string arg_case_name(const testing::TestParamInfo<ArgCase>& i) { return i.param.name; }
void PrintTo(const ArgCase& c, std::ostream* os) { *os << c.name; }

class Za38adArguments : public testing::TestWithParam<ArgCase> {};

// N = 3, NE = 5: MINI = 22, MINV = 10.
INSTANTIATE_TEST_SUITE_P(
    Checks, Za38adArguments,
    testing::Values(
        ArgCase{"N0", 0, 0, 0, 0, -1, " ZA38AD: N less than one!\n", 0, 0, 0, 0},
        ArgCase{"NE0", 3, 0, 0, 0, -2, " ZA38AD: NE less than one!\n", 0, 0, 0, 0},
        ArgCase{"LindexShort", 3, 5, -1, 0, -3,
                " ZA38AD: LINDEX too small!  Must be greater than           22\n", -1, 22, 10, 10},
        ArgCase{"LvalueShort", 3, 5, 0, -1, -4,
                " ZA38AD: LVALUE too small!  Must be greater than           10\n", 22, 22, -1, 10},
        ArgCase{"BothShort", 3, 5, -1, -1, -5,
                " ZA38AD: LINDEX too small!  Must be greater than           22\n"
                " ZA38AD: LVALUE too small!  Must be greater than           10\n",
                -1, 22, -1, 10}),
    arg_case_name);

TEST_P(Za38adArguments, FailBeforeTouchingTheMatrix) {
  const ArgCase& c = GetParam();
  std::vector<int32_t> rows = {1, 2, 3, 1, 2}, cols = {1, 2, 3, 3, 1};
  std::vector<double> vals = {1, 2, 3, 4, 5};
  rows.resize(c.ne);
  cols.resize(c.ne);
  vals.resize(c.ne);
  Za38 p(c.n, rows, cols, vals);
  const int64_t li = Za38::min_index(c.n, c.ne) + c.dindex, lv = Za38::min_value(c.ne) + c.dvalue;
  p.set_lengths(static_cast<int32_t>(std::max<int64_t>(li, 1)), static_cast<int32_t>(std::max<int64_t>(lv, 1)));
  for (int k = 0; k < 5; ++k) p.keep[k] = 99;
  const std::string out = messages(p, 2, [&] { p.analyse(); });
  EXPECT_EQ(p.info[0], c.status);
  EXPECT_EQ(out, c.text);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(p.keep[k], 0);
  EXPECT_EQ(p.info[4], c.ne);
  EXPECT_EQ(p.info[5], c.ne);
  const int32_t want[4] = {c.info18 < 0 ? p.lindex : c.info18, c.info19, c.info20 < 0 ? p.lvalue : c.info20,
                           c.info21};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(p.info[17 + k], want[k]) << "INFO(" << 18 + k << ")";
  for (int32_t k = 0; k < c.ne && c.n >= 1; ++k) {
    EXPECT_EQ(p.index[k], rows[k]);
    EXPECT_EQ(p.index[c.ne + k], cols[k]);
    EXPECT_EQ(p.value[k], vals[k]);
  }
}

TEST(Za38ad, LengthsEqualToTheirMinimumPass) {
  // One duplicate and one entry out of range: the conversion runs only
  // when the lengths were accepted.
  Za38 p(3, {1, 2, 3, 1, 9}, {1, 2, 3, 1, 1}, {1, 2, 3, 4, 5});
  p.set_lengths(22, 10);
  const std::string out = messages(p, 2, [&] { p.analyse(); });
  EXPECT_EQ(out.find("greater than           22\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("greater than           10\n"), std::string::npos) << out;
  EXPECT_EQ(p.info[1], 1);
  EXPECT_EQ(p.info[2], 1);
}

TEST(Za38ad, MinimumLengthsBeyond32BitsAreShortages) {
  // The arrays are never reached: the checks fail first, so tiny arrays
  // stand for the huge lengths claimed.
  struct Case {
    int32_t ne, status, info19, info21;
    std::string text;
  };
  const std::vector<Case> cases = {
      {800000000, -3, INT32_MAX, 1600000000, " ZA38AD: LINDEX too small!  Must be greater than   2147483647\n"},
      {1200000000, -5, INT32_MAX, INT32_MAX,
       " ZA38AD: LINDEX too small!  Must be greater than   2147483647\n"
       " ZA38AD: LVALUE too small!  Must be greater than   2147483647\n"},
  };
  for (const Case& c : cases) {
    Za38 p(1, {1}, {1}, {1.0});
    const int32_t n = 1, job = 0, transa = 0, big = INT32_MAX;
    std::vector<int32_t> index(4, 7);
    std::vector<double> value(4, 7.0);
    const std::string out = messages(p, 1, [&] {
      tbl::test::za38_ad(&n, &c.ne, &job, &transa, &big, &big, value.data(), index.data(), p.keep, p.cntl, p.icntl,
                         p.info, p.rinfo);
    });
    EXPECT_EQ(p.info[0], c.status);
    EXPECT_EQ(p.info[18], c.info19);
    EXPECT_EQ(p.info[20], c.info21);
    EXPECT_EQ(out, c.text);
    EXPECT_EQ(index, std::vector<int32_t>(4, 7));
  }
}

// The column form of the held matrix, as the preserved copy keeps it.
struct ColumnForm {
  std::vector<int32_t> ptr, rows;
  std::vector<double> vals;
};

ColumnForm preserved_copy(const Za38& p) {
  ColumnForm c;
  const int64_t k3 = p.keep[2], k1 = p.keep[0];
  for (int64_t j = 0; j <= p.n; ++j) c.ptr.push_back(p.idx(k3 + j));
  const int32_t nz = c.ptr.back() - 1;
  for (int64_t e = 0; e < nz; ++e) {
    c.rows.push_back(p.idx(k3 + p.n + 1 + e));
    c.vals.push_back(p.val(k1 + e));
  }
  return c;
}

struct ConvCase {
  const char* name;
  int32_t n;
  std::vector<int32_t> rows, cols;
  std::vector<double> vals;
  bool transa;
  int32_t status, duplicates, invalid;
  ColumnForm want;
  std::string lines;  // per-entry lines and warnings, in order, at print level 3
};

std::string conv_case_name(const testing::TestParamInfo<ConvCase>& i) { return i.param.name; }
void PrintTo(const ConvCase& c, std::ostream* os) { *os << c.name; }

class Za38adConversion : public testing::TestWithParam<ConvCase> {};

const std::string kRowCol = "\n    row: ";

INSTANTIATE_TEST_SUITE_P(
    Entries, Za38adConversion,
    testing::Values(
        ConvCase{"Duplicate", 2, {1, 1, 2, 2}, {1, 1, 1, 2}, {1.0, 2.0, 4.0, 5.0}, false, 2, 1, 0,
                 {{1, 3, 4}, {1, 2, 2}, {3.0, 4.0, 5.0}},
                 " ZA38AD: duplicate entry summed:\n    row:            1 col:            1 value:  0.2000D+01\n"
                 " ZA38AD:            1 duplicate entries summed.\n"},
        // The entry (0,5) is dropped and the last entry takes its place.
        ConvCase{"OutOfRange", 3, {1, 0, 2, 3, 3}, {1, 5, 2, 3, 1}, {1.0, 9.0, 2.0, 3.0, 4.0}, false, 1, 0, 1,
                 {{1, 3, 4, 5}, {1, 3, 2, 3}, {1.0, 4.0, 2.0, 3.0}},
                 " ZA38AD: invalid entry (out of range 1..N):\n    row:            0 col:            5 value:  0.9000D+01\n"
                 " ZA38AD:            1 invalid entries ignored (out of range 1..N).\n"},
        // Invalid entries listed from the highest position down, then the
        // duplicates as the host gave them.
        ConvCase{"BothKinds", 3, {1, 4, 2, 3, 2, -1, 3}, {1, 1, 2, 3, 2, 2, 1}, {1.0, 7.0, 2.0, 3.0, 0.5, 8.0, 4.0},
                 false, 3, 1, 2, {{1, 3, 4, 5}, {1, 3, 2, 3}, {1.0, 4.0, 2.5, 3.0}},
                 " ZA38AD: invalid entry (out of range 1..N):\n    row:           -1 col:            2 value:  0.8000D+01\n"
                 " ZA38AD: invalid entry (out of range 1..N):\n    row:            4 col:            1 value:  0.7000D+01\n"
                 " ZA38AD:            2 invalid entries ignored (out of range 1..N).\n"
                 " ZA38AD: duplicate entry summed:\n    row:            2 col:            2 value:  0.5000D+00\n"
                 " ZA38AD:            1 duplicate entries summed.\n"},
        // The transpose: column j lists the columns of row j of A; the
        // duplicate's line still shows its row and column in A.
        ConvCase{"Transposed", 3, {1, 1, 2, 3, 1, 3}, {1, 3, 2, 3, 3, 2}, {1.0, 5.0, 2.0, 3.0, 0.25, 6.0}, true, 2, 1, 0,
                 {{1, 3, 4, 6}, {1, 3, 2, 3, 2}, {1.0, 5.25, 2.0, 3.0, 6.0}},
                 " ZA38AD: duplicate entry summed:\n    row:            1 col:            3 value:  0.2500D+00\n"
                 " ZA38AD:            1 duplicate entries summed.\n"}),
    conv_case_name);

TEST_P(Za38adConversion, PreservedCopyHoldsTheCleanedColumnForm) {
  const ConvCase& c = GetParam();
  Za38 p(c.n, c.rows, c.cols, c.vals);
  const std::string out = messages(p, 3, [&] { p.analyse(1, c.transa); });
  ASSERT_EQ(p.info[0], c.status);
  EXPECT_EQ(p.info[1], c.duplicates);
  EXPECT_EQ(p.info[2], c.invalid);
  const int32_t nz = c.want.ptr.back() - 1;
  EXPECT_EQ(p.info[4], nz);
  EXPECT_EQ(p.idx(p.lindex - 2), nz);
  const ColumnForm got = preserved_copy(p);
  EXPECT_EQ(got.ptr, c.want.ptr);
  EXPECT_EQ(got.rows, c.want.rows);
  EXPECT_EQ(got.vals, c.want.vals);
  // The reports share the unit; the lines come between them, in order.
  EXPECT_NE(out.find(c.lines), std::string::npos) << out;
  EXPECT_EQ(tbl::test::reconstruction_fault(p), "");
}

TEST(Za38ad, EveryEntryInvalidLeavesNoEntry) {
  Za38 p(2, {3, 0}, {1, 1}, {1.0, 2.0});
  const std::string out = messages(p, 2, [&] { p.analyse(); });
  EXPECT_EQ(p.info[0], -2);
  EXPECT_EQ(p.info[2], 2);
  EXPECT_EQ(p.info[4], 0);
  EXPECT_EQ(out,
            " ZA38AD:            2 invalid entries ignored (out of range 1..N).\n"
            " ZA38AD: NE less than one!\n");
  for (int k = 0; k < 5; ++k) EXPECT_EQ(p.keep[k], 0);
}

TEST(Za38ad, PrintLevelZeroAndNegativeUnitSilenceEverything) {
  for (const int32_t level : {0, 5}) {
    Za38 p(2, {3, 0}, {1, 1}, {1.0, 2.0});
    const std::string out = messages(p, level, [&] {
      if (level != 0) p.icntl[0] = p.icntl[1] = -1;
      p.analyse();
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(p.info[0], -2);
  }
}

// The layout of the stored factors for each JOB and orientation.
struct Setting {
  int32_t job;
  bool transa;
};
void PrintTo(const Setting& s, std::ostream* os) { *os << "JOB " << s.job << (s.transa ? ", transposed" : ""); }

class Za38adStored : public testing::TestWithParam<Setting> {};

INSTANTIATE_TEST_SUITE_P(JobsAndOrientations, Za38adStored,
                         testing::Values(Setting{0, false}, Setting{1, false}, Setting{2, false}, Setting{0, true},
                                         Setting{1, true}),
                         [](const testing::TestParamInfo<Setting>& i) {
                           return std::string("Job") + std::to_string(i.param.job) +
                                  (i.param.transa ? "Transposed" : "");
                         });

TEST_P(Za38adStored, FactorsLieAtTheTopAndReproduceTheMatrix) {
  const Setting s = GetParam();
  Za38 p = small_matrix();
  ASSERT_EQ(p.analyse(s.job, s.transa), 0);
  const int64_t n = p.n, nz = p.info[4];
  EXPECT_EQ(p.keep[1], p.lvalue);
  EXPECT_EQ(p.keep[4], p.lindex);
  const int64_t nb = p.idx(p.lindex - 4), noff = p.idx(p.lindex - 5);
  EXPECT_EQ(p.keep[3], p.keep[2] + (s.job == 1 ? n + 1 + nz : 0) + (nb >= 2 ? noff : 0));
  if (s.job == 1) {
    // The copy lies directly below the factors and is the held matrix.
    EXPECT_EQ(p.idx(p.keep[2]), 1);
    EXPECT_EQ(p.idx(p.keep[2] + n), nz + 1);
  }
  EXPECT_EQ(tbl::test::reconstruction_fault(p), "");
  // Memory entries: what stays is counted, and nothing beyond the arrays.
  EXPECT_GE(p.info[17], p.lindex - p.keep[2] + 1);
  EXPECT_LE(p.info[17], p.lindex);
  EXPECT_GE(p.info[19], p.lvalue - p.keep[0] + 1);
  EXPECT_LE(p.info[19], p.lvalue);
  EXPECT_GE(p.info[21], p.lindex - p.keep[3] + 1);
  EXPECT_EQ(p.info[11], p.info[9] + p.info[10] + p.info[6] + n);
}

TEST(Za38ad, JobTwoIsJobZero) {
  Za38 a = small_matrix(), b = small_matrix();
  ASSERT_EQ(a.analyse(0), 0);
  ASSERT_EQ(b.analyse(2), 0);
  EXPECT_EQ(a.index, b.index);
  EXPECT_EQ(std::vector<int32_t>(a.keep, a.keep + 5), std::vector<int32_t>(b.keep, b.keep + 5));
  EXPECT_EQ(std::vector<int32_t>(a.info, a.info + 40), std::vector<int32_t>(b.info, b.info + 40));
}

}  // namespace
