// The package's message table byte for byte, the merge of codes into the
// status, and the print-level and unit gates of recorded errors.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "interface/routines.hpp"
#include "multifrontal_lu/za38_internal.hpp"
#include "support/child.hpp"

namespace {

// What BODY writes on UNIT, through a scratch file attached to it.
std::string capture_unit(int32_t unit, const std::function<void()>& body) {
  char tmpl[] = "/tmp/tbl_za38_messages_XXXXXX";
  const int fd = mkstemp(tmpl);
  if (fd < 0) return "mkstemp failed";
  close(fd);
  FFOPEN(tmpl, &unit, std::string(tmpl).size());
  body();
  FFCLOSE(&unit);
  std::ifstream in(tmpl);
  std::stringstream s;
  s << in.rdbuf();
  unlink(tmpl);
  return s.str();
}

constexpr int32_t kUnit = 72;

std::string print(int32_t who, int32_t code, int32_t i1, int32_t i2, double x, int32_t unit = kUnit) {
  return capture_unit(kUnit, [&] { ZA38_PRINT_MESSAGE(&who, &code, &i1, &i2, &x, &unit); });
}

const std::string kRow2Col5 = "\n    row:            2 col:            5 value:  0.1500D+01\n";
const std::string kGrowthAdvice =
    " (RINFO(9)); a solve may lose over half its digits.\n"
    "    A new ZA38AD with ICNTL(6) = 1 or a larger CNTL(1) usually gives accurate factors;\n"
    "    iterative refinement (ICNTL(8) > 0, matrix kept with JOB = 1) may recover\n"
    "    a solution when the growth is moderate, not always.\n";

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
const std::string kOverflow =
    ": factors not finite (RINFO(9) = Infinity); a solve gives no solution.\n"
    "    A new ZA38AD with ICNTL(6) = 1, a larger CNTL(1) or a scaled matrix\n"
    "    may avoid the overflow.\n";

struct Text {
  int32_t who, code, i1, i2;
  double x;
  std::string want;
};

// Every (phase, code) pair that has a text, the two-form ones in both forms,
// and pairs that must print nothing.
const std::vector<Text> kTable = {
    {1, -1, 0, 0, 0.0, " ZA38AD: N less than one!\n"},
    {1, -2, 0, 0, 0.0, " ZA38AD: NE less than one!\n"},
    {1, -3, 22, 0, 0.0, " ZA38AD: LINDEX too small!  Must be greater than           22\n"},
    {1, -4, 10, 0, 0.0, " ZA38AD: LVALUE too small!  Must be greater than           10\n"},
    {1, 1, 3, 0, 0.0, " ZA38AD:            3 invalid entries ignored (out of range 1..N).\n"},
    {1, 2, 3, 0, 0.0, " ZA38AD:            3 duplicate entries summed.\n"},
    {1, 4, 7, 0, 0.0, " ZA38AD: matrix is singular.  Only            7 pivots found.\n"},
    {1, 98, 2, 5, 1.5, " ZA38AD: duplicate entry summed:" + kRow2Col5},
    {1, 99, 0, 5, -2.5e-300,
     " ZA38AD: invalid entry (out of range 1..N):\n    row:            0 col:            5 value: -0.2500-299\n"},
    {1, 16, 0, 0, 1.5e9, " ZA38AD: factors grew by 0.1500D+10" + kGrowthAdvice},
    {1, 16, 0, 0, kInf, " ZA38AD" + kOverflow},
    {1, -8, 2, 5, -kInf,
     " ZA38AD: matrix entry not finite!\n    row:            2 col:            5 value:   -Infinity\n"},
    {1, -5, 1, 0, 0.0, ""},
    {1, -7, 1, 0, 0.0, ""},
    {1, 8, 0, 0, 0.0, ""},
    {2, -7, 0, 0, 0.0, " ZA38BD: LU factors uncomputed or corrupted!\n"},
    {2, -6, 0, 0, 0.0, " ZA38BD: pivot order from ZA38AD failed!\n"},
    {2, -4, 8, 0, 0.0, " ZA38BD: LVALUE too small!  Must be greater than            8\n"},
    {2, -3, 9, 0, 0.0, " ZA38BD: LINDEX too small!  Must be greater than            9\n"},
    {2, -2, -1, 0, 0.0, " ZA38BD: NE less than one!\n"},
    {2, -2, 0, 0, 0.0, " ZA38BD: NE too large!  Must be less than            0\n"},
    {2, -2, 4, 0, 0.0, " ZA38BD: NE too large!  Must be less than            4\n"},
    {2, -1, 0, 0, 0.0, " ZA38BD: N less than one!\n"},
    {2, 1, 2, 0, 0.0, " ZA38BD:            2 invalid entries ignored (out of range 1..N).\n"},
    {2, 1, 0, 0, 0.0, " ZA38BD:            0 invalid entries ignored (not in prior pattern).\n"},
    {2, 1, -5, 0, 0.0, " ZA38BD:            5 invalid entries ignored (not in prior pattern).\n"},
    {2, 2, 6, 0, 0.0, " ZA38BD:            6 duplicate entries summed.\n"},
    {2, 4, 1, 0, 0.0, " ZA38BD: matrix is singular.  Only            1 pivots found.\n"},
    {2, 95, 2, 5, 1.5, " ZA38BD: invalid entry (prior matrix singular):" + kRow2Col5},
    {2, 96, 2, 5, 1.5, " ZA38BD: invalid entry (below diagonal blocks):" + kRow2Col5},
    {2, 97, 2, 5, 1.5, " ZA38BD: invalid entry (not in pattern of prior factors)" + kRow2Col5},
    {2, 98, 2, 5, 1.5, " ZA38BD: duplicate entry summed:" + kRow2Col5},
    {2, 99, -3, 7, 1e100,
     " ZA38BD: invalid entry (out of range 1..N):\n    row:           -3 col:            7 value:  0.1000+101\n"},
    {2, 16, 0, 0, 2.5e123, " ZA38BD: factors grew by 0.2500+124" + kGrowthAdvice},
    {2, 16, 0, 0, kInf, " ZA38BD" + kOverflow},
    {2, -8, 2, 5, kNan,
     " ZA38BD: matrix entry not finite!\n    row:            2 col:            5 value:         NaN\n"},
    {2, -5, 1, 0, 0.0, ""},
    {2, 8, 0, 0, 0.0, ""},
    {3, -7, 0, 0, 0.0, " ZA38CD: LU factors uncomputed or corrupted!\n"},
    {3, 8, 0, 0, 0.0, " ZA38CD: no iterative refinement: original matrix not preserved\n"},
    {3, 8, 1, 0, 0.0, " ZA38CD: no iterative refinement: only for Ax=b or A'x=b\n"},
    {3, -1, 0, 0, 0.0, " ZA38CD: N less than one!\n"},
    {3, 4, 2, 0, 0.0, ""},
    {3, 16, 0, 0, 1e9, ""},
    {3, -8, 2, 5, kNan, ""},
    {0, -1, 0, 0, 0.0, ""},
    {4, -7, 0, 0, 0.0, ""},
};

TEST(Za38Messages, EveryTextByteForByte) {
  for (const Text& t : kTable)
    EXPECT_EQ(print(t.who, t.code, t.i1, t.i2, t.x), t.want) << "WHO " << t.who << " code " << t.code;
}

TEST(Za38Messages, NegativeUnitIsSilentAndUnitZeroIsStandardError) {
  EXPECT_EQ(print(1, -1, 0, 0, 0.0, -1), "");
  const auto r = tbl::test::run_in_child([] {
    int32_t who = 3, code = -7, i = 0, unit = 0;
    double x = 0.0;
    ZA38_PRINT_MESSAGE(&who, &code, &i, &i, &x, &unit);
  });
  EXPECT_EQ(r.err, " ZA38CD: LU factors uncomputed or corrupted!\n");
  EXPECT_EQ(r.out, "");
}

struct Merge {
  int32_t before, code, after;
};

TEST(Za38Messages, MergeRule) {
  const std::vector<Merge> table = {
      {-3, -4, -5}, {-4, -3, -5}, {0, -3, -3},  {2, -4, -4}, {-7, -3, -3}, {-5, -4, -4}, {2, 1, 3},
      {3, 1, 3},    {3, 2, 3},    {3, 4, 7},    {7, 8, 15},  {8, 4, 12},   {12, 2, 14},  {-7, 4, -7},
      {-2, 1, -2},  {0, 0, 0},    {-6, 0, -6},  {5, 0, 5},   {15, 8, 15},  {4, 4, 4},
      {0, 16, 16},  {15, 16, 31}, {18, 16, 18}, {16, 4, 20}, {-4, 16, -4},
  };
  int32_t icntl[20] = {-1, -1, 0}, who = 2;
  for (const Merge& m : table) {
    int32_t info[40] = {m.before}, value = 1;
    ZA38_RECORD_ERROR(&who, icntl, info, &m.code, &value);
    EXPECT_EQ(info[0], m.after) << m.before << " with " << m.code;
  }
}

TEST(Za38Messages, RecordedCodesObeyTheirPrintLevels) {
  struct Case {
    int32_t level, before, code, value, unit;
    int32_t after;
    std::string want;
  };
  const std::string singular = " ZA38AD: matrix is singular.  Only           12 pivots found.\n";
  const std::vector<Case> cases = {
      {0, 0, -3, 40, kUnit, -3, ""},
      {1, 0, -3, 40, kUnit, -3, " ZA38AD: LINDEX too small!  Must be greater than           40\n"},
      // The -4 text, not a -5 one, when the merge gives -5.
      {1, -3, -4, 50, kUnit, -5, " ZA38AD: LVALUE too small!  Must be greater than           50\n"},
      {1, 0, 4, 12, kUnit, 4, ""},
      {2, 0, 4, 12, kUnit, 4, singular},
      // A warning after an error is printed though not recorded.
      {2, -7, 4, 12, kUnit, -7, singular},
      {5, 0, -4, 50, -1, -4, ""},
  };
  for (const Case& c : cases) {
    int32_t icntl[20] = {c.unit, kUnit, c.level}, info[40] = {c.before}, who = 1;
    const std::string out = capture_unit(kUnit, [&] { ZA38_RECORD_ERROR(&who, icntl, info, &c.code, &c.value); });
    EXPECT_EQ(out, c.want) << "level " << c.level << " code " << c.code;
    EXPECT_EQ(info[0], c.after);
  }
}

}  // namespace
