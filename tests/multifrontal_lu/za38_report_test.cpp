// Reports of the three ZA38 phases on hand-made factor sets: every line of
// the six reports at level 4, the level-3 cuts of each listing, the layout
// lines of level 5, damaged factor sets, and an input listing that must
// not leave arrays shorter than NE says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "multifrontal_lu/za38_internal.hpp"
#include "za38_listed_factors.hpp"
#include "za38_support.hpp"

namespace {

using tbl::fint;
using namespace za38test;

constexpr fint kUnit = 47;

// N = 3 in one block of two records (the second continues the first's
// front and lists it as its son), a preserved copy, and five coordinate
// entries in front of the factors.
HandFactors small_set() {
  HandFactors h;
  h.n = 3;
  h.ne = 5;
  HandRecord first;
  first.k = 1;
  first.rows = {3};
  first.cols = {2};
  first.colext = 3;
  first.rowext = 2;
  HandRecord second;
  second.k = 2;
  second.sons = {1};
  HandBlock b;
  b.order = 3;
  b.records = {first, second};
  h.blocks = {b};
  h.ap = {1, 3, 4, 6};
  h.ai = {1, 3, 2, 2, 3};
  h.ax = {10, 30, 20, 21, 31};
  h.free_ints = 10;
  h.free_reals = 5;
  return h;
}

// Eleven blocks of order 1.
HandFactors singletons() {
  HandFactors h;
  h.n = h.ne = 11;
  for (int i = 1; i <= 11; ++i) h.blocks.push_back(HandBlock{1, double(i), {}, -1});
  h.offrowp.assign(12, 1);
  return h;
}

// One block whose single record holds all five pivots.
HandFactors five_pivots() {
  HandFactors h;
  h.n = 5;
  h.ne = 25;
  HandRecord r;
  r.k = 5;
  r.colext = r.rowext = 5;
  h.blocks = {HandBlock{5, 0.0, {r}, -1}};
  return h;
}

// A block of order 1 above one of order 4, two entries above the blocks,
// and a preserved copy with three entries in every column.
HandFactors two_blocks() {
  HandFactors h;
  h.n = 5;
  h.ne = 15;
  h.ap = {1, 4, 7, 10, 13, 16};
  for (int j = 0; j < 5; ++j)
    for (int t = 0; t < 3; ++t) {
      h.ai.push_back((j + t) % 5 + 1);
      h.ax.push_back(100 + 10 * j + t);
    }
  HandRecord r1;
  r1.k = 2;
  r1.rows = {4};
  r1.cols = {3};
  r1.colext = r1.rowext = 3;
  HandRecord r2;
  r2.k = 2;
  r2.sons = {1};
  h.blocks = {HandBlock{1, 7.0, {}, -1}, HandBlock{4, 0.0, {r1, r2}, -1}};
  h.offrowp = {1, 3, 3, 3, 3, 3};
  h.oi = {2, 4};
  h.ox = {-1.5, -2.5};
  return h;
}

struct Phase {
  fint who, inout;
};

// The report of one phase on a stored set, with recognisable controls,
// information entries and vectors.
std::string report(Stored st, const HandFactors& h, Phase ph, fint level, fint info1 = 0, fint lw_mult = 4) {
  fint icntl[20] = {6, kUnit, level, 1, 4, 0, 16, 2};
  double cntl[10] = {0.1, 2.0, 0.25e-15};
  fint info[40] = {};
  double rinfo[20] = {};
  for (int i = 1; i < 40; ++i) info[i] = 100 + i + 1;
  for (int i = 0; i < 20; ++i) rinfo[i] = i + 1.5;
  info[0] = info1;
  st.keep[6] = 64;
  st.keep[7] = 1;
  if (ph.who == 2 && ph.inout == 1) st.keep[0] = st.keep[1] = st.keep[2] = 0;
  for (fint k = 1; h.ne + k <= h.free_ints && k <= h.free_reals; ++k) {
    st.index[k - 1] = k;
    st.index[h.ne + k - 1] = 4 - k;
    st.value[k - 1] = k / 4.0;
  }
  std::vector<double> b(h.n), x(h.n), w(4 * h.n);
  for (fint i = 0; i < h.n; ++i) {
    b[i] = i + 0.5;
    x[i] = -i;
  }
  for (fint i = 0; i < 4 * h.n; ++i) w[i] = 0.25 * i;
  fint n = h.n, ne = h.ne, job = 1, lv = st.lvalue(), li = st.lindex(), lw = lw_mult * h.n;
  tbl::logical trans = tbl::kFalse;
  return tbl::test::capture_unit(kUnit, [&] {
    ZA38_REPORT(&ph.who, &ph.inout, &n, &ne, &job, &trans, &lv, &li, st.value.data(), st.index.data(), st.keep, cntl,
                icntl, info, rinfo, b.data(), x.data(), w.data(), &lw);
  });
}

// The lines from the first that starts with `from` to the first after it
// that starts with `to` (inclusive).
std::string excerpt(const std::string& text, const std::string& from, const std::string& to) {
  const std::size_t a = text.find("\n" + from);
  if (a == std::string::npos) return "<no " + from + ">";
  const std::size_t b = text.find("\n" + to, a + 1);
  if (b == std::string::npos) return "<no " + to + ">";
  return text.substr(a + 1, text.find('\n', b + 1) - a);
}

const std::string kDash = " " + std::string(79, '-') + "\n";
const std::string kDots = " " + std::string(79, '.') + "\n";
std::string head(const std::string& s) { return " " + std::string(59, '=') + s + "\n"; }

const std::string kScalarsFactorise =
    " Scalar arguments:\n"
    "    N:                    3 : order of matrix A\n"
    "    NE:                   5 : entries in matrix A\n"
    "    JOB:                  1 : matrix A preserved\n"
    "    TRANSA:         .false. : factorize A\n"
    "    LVALUE:              17 : size of VALUE array\n"
    "    LINDEX:              56 : size of INDEX array\n";
const std::string kUnits =
    " Control parameters, normally initialized by ZA38ID:\n"
    "    ICNTL (1):            6 : I/O unit for error and warning messages\n"
    "    ICNTL (2):           47 : I/O unit for diagnostics\n"
    "    ICNTL (3):            4 : printing control\n";
const std::string kControlsAD = kUnits +
                                "    ICNTL (4):            1 : use block triangular form (BTF)\n"
                                "    ICNTL (5):            4 : columns examined during pivot search\n"
                                "    ICNTL (6):            0 : do not preserve symmetry\n"
                                "    ICNTL (7):           16 : block size for dense matrix multiply\n"
                                "    CNTL (1):    0.1000D+00 : relative pivot tolerance\n"
                                "    CNTL (2):    0.2000D+01 : frontal matrix growth factor\n"
                                "    KEEP (7):            64 : dense row/col control, d1\n"
                                "    KEEP (8):             1 : dense row/col control, d2\n";
const std::string kControlsBD = kUnits + "    ICNTL (7):           16 : block size for dense matrix multiply\n";
const std::string kEntries =
    " Input matrix A (entry: row, column, value):\n"
    "            1:            1            3  0.2500D+00\n"
    "            2:            2            2  0.5000D+00\n"
    "            3:            3            1  0.7500D+00\n"
    "            4:            4            0  0.1000D+01\n"
    "            5:            5           -1  0.1250D+01\n";
const std::string kInformation =
    " Output information:\n"
    "    INFO (1):             0 : no error or warning occurred\n"
    "    INFO (2):           102 : duplicate entries in A\n"
    "    INFO (3):           103 : invalid entries in A (indices not in 1..N)\n"
    "    INFO (4):           104 : invalid entries in A (not in prior pattern)\n"
    "    INFO (5):           105 : entries in A after summing duplicates\n"
    "                              and removing invalid entries\n"
    "    INFO (6):           106 : entries in diagonal blocks of A\n"
    "    INFO (7):           107 : entries in off-diagonal blocks of A\n"
    "    INFO (8):           108 : 1-by-1 diagonal blocks in A\n"
    "    INFO (9):           109 : diagonal blocks in A (>1 only if BTF used)\n"
    "    INFO (10):          110 : entries below diagonal in L\n"
    "    INFO (11):          111 : entries above diagonal in U\n"
    "    INFO (12):          112 : entries in L + U + offdiagonal blocks of A\n"
    "    INFO (13):          113 : frontal matrices\n"
    "    INFO (14):          114 : integer garbage collections\n"
    "    INFO (15):          115 : real garbage collections\n"
    "    INFO (16):          116 : diagonal pivots chosen\n"
    "    INFO (17):          117 : numerically valid pivots found in A\n"
    "    INFO (18):          118 : memory used in INDEX\n"
    "    INFO (19):          119 : minimum memory needed in INDEX\n"
    "    INFO (20):          120 : memory used in VALUE\n"
    "    INFO (21):          121 : minimum memory needed in VALUE\n"
    "    INFO (22):          122 : memory needed in INDEX for next call to ZA38BD\n"
    "    INFO (23):          123 : memory needed in VALUE for next call to ZA38BD\n"
    "    RINFO (1):   0.1500D+01 : total BLAS flop count\n"
    "    RINFO (2):   0.2500D+01 : assembly flop count\n"
    "    RINFO (3):   0.3500D+01 : pivot search flop count\n"
    "    RINFO (4):   0.4500D+01 : Level-1 BLAS flop count\n"
    "    RINFO (5):   0.5500D+01 : Level-2 BLAS flop count\n"
    "    RINFO (6):   0.6500D+01 : Level-3 BLAS flop count\n";
// The factors of small_set(); pattern mode drops the copy and the values.
const std::string kFactors = kDash +
                             " Preserved copy of original matrix (stored by column),\n"
                             " one entry per line (row index, value):\n"
                             "    col:            1\n"
                             "            1:  0.1000D+02\n"
                             "            3:  0.3000D+02\n"
                             "    col:            2\n"
                             "            2:  0.2000D+02\n"
                             "    col:            3\n"
                             "            2:  0.2100D+02\n"
                             "            3:  0.3100D+02\n" +
                             kDash +
                             " LU factors:\n"
                             "       L, col:            1\n"
                             "            1:  0.1000D+01\n"
                             "            3:  0.2000D+01\n"
                             "       U, row:            1\n"
                             "            1:  0.1000D+01\n"
                             "            2:  0.3000D+01\n"
                             "       L, col:            2\n"
                             "            2:  0.1000D+01\n"
                             "            3:  0.5000D+01\n"
                             "       L, col:            3\n"
                             "            3:  0.1000D+01\n"
                             "       U, row:            2\n"
                             "            2:  0.4000D+01\n"
                             "            3:  0.6000D+01\n"
                             "       U, row:            3\n"
                             "            3:  0.7000D+01\n";
// Pattern mode lists the same lines with the index alone and its own
// heading, and no preserved copy.
std::string pattern_of(const std::string& factors) {
  std::string out = kDash + " Nonzero pattern of prior LU factors:\n";
  std::size_t at = factors.find(" LU factors:\n") + 13;
  for (std::size_t nl; (nl = factors.find('\n', at)) != std::string::npos; at = nl + 1) {
    const std::string line = factors.substr(at, nl - at);
    const bool value_line = line.size() > 13 && line[12] >= '0' && line[12] <= '9' && line.compare(13, 2, ": ") == 0;
    out += (value_line ? line.substr(0, 13) : line) + "\n";
  }
  return out;
}

const std::string kPermutations = kDash + " Column permutations\n            1\n            2\n            3\n" + kDash +
                                  " Row permutations\n            1\n            2\n            3\n";

TEST(Za38Report, EveryLineOfTheSixReports) {
  const HandFactors h = small_set();
  const Stored st = store(h);
  struct Case {
    Phase phase;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{1, 1}, head("ZA38AD input:") + kScalarsFactorise + kControlsAD + kEntries + head("end of ZA38AD input ")},
      {{1, 2}, head("ZA38AD output:") + kInformation + kFactors + kPermutations + head("end of ZA38AD output")},
      {{2, 1},
       head("ZA38BD input:") + kScalarsFactorise + kControlsBD + kEntries + pattern_of(kFactors) + kPermutations +
           head("end of ZA38BD input ")},
      {{2, 2}, head("ZA38BD output:") + kInformation + kFactors + kPermutations + head("end of ZA38BD output")},
      {{3, 1},
       head("ZA38CD input:") +
           " Scalar arguments:\n"
           "    N:                    3 : order of matrix A\n"
           "    JOB:                  1 : solve P'Lx=b\n"
           "    TRANSC:         .false. : see JOB above \n"
           "    LVALUE:              17 : size of VALUE array\n"
           "    LINDEX:              56 : size of INDEX array\n" +
           kUnits +
           "    ICNTL (8):            2 : maximum number of iterative refinement steps\n"
           "    CNTL (3):    0.2500D-15 : machine epsilon\n" +
           kFactors + kPermutations + kDash +
           " W (1 ...           12 ), work vector: not printed\n"
           " B (1 ...            3 ), right-hand side: \n"
           "            1:  0.5000D+00\n"
           "            2:  0.1500D+01\n"
           "            3:  0.2500D+01\n" +
           head("end of ZA38CD input ")},
      {{3, 2},
       head("ZA38CD output:") +
           " Output information:\n"
           "    INFO (1):             0 : no error or warning occurred\n"
           "    INFO (24):          124 : steps of iterative refinement taken\n"
           "    RINFO (7):   0.7500D+01 : sparse error estimate omega1\n"
           "    RINFO (8):   0.8500D+01 : sparse error estimate omega2\n" +
           kDash +
           " W (1 ...            3 ), residual: \n"
           "            1:  0.0000D+00\n"
           "            2:  0.2500D+00\n"
           "            3:  0.5000D+00\n"
           " W (           4 ...           12 ), work vector: not printed\n"
           " X (1 ...            3 ), solution: \n"
           "            1:  0.0000D+00\n"
           "            2: -0.1000D+01\n"
           "            3: -0.2000D+01\n" +
           head("end of ZA38CD output")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("WHO " + std::to_string(c.phase.who) + " INOUT " + std::to_string(c.phase.inout));
    EXPECT_EQ(report(st, h, c.phase, 4), c.expected);
  }
}

// Without refinement the work vector is not listed; after an error nothing
// but the error flag is.
TEST(Za38Report, SolveReportsWithoutRefinementOrAfterAnError) {
  const HandFactors h = small_set();
  const Stored st = store(h);
  const std::string plain = report(st, h, {3, 2}, 4, 0, 2);
  EXPECT_EQ(plain.find("RINFO (7)"), std::string::npos);
  EXPECT_NE(plain.find(" W (1 ...            6 ), work vector: not printed\n X (1 ..."), std::string::npos);
  EXPECT_NE(report(st, h, {3, 2}, 3, -7, 2)
                .find(kDash + " W (1 ...            6 ), work vector, and\n X (1 ...            3 ), solution,\n"
                              "    not printed because of error flag, INFO (1) =           -7\n"),
            std::string::npos);
  EXPECT_NE(report(st, h, {1, 2}, 3, -3).find(" LU factors not printed because of error flag, INFO (1) =          -3\n" +
                                              head("end of ZA38AD output")),
            std::string::npos);
  EXPECT_EQ(report(st, h, {1, 2}, 2), "");  // below the report level
}

TEST(Za38Report, LevelThreeCutsEveryListingAfterTen) {
  struct Case {
    const char* name;
    HandFactors h;
    std::string from, to, expected;
  };
  std::string eleven;
  for (int b = 1; b <= 10; ++b) {
    char line[96];
    std::snprintf(line, sizeof line, " Block: %12d (singleton) at index : %12d value:  0.%d000D+%02d\n", b, b,
                  b < 10 ? b : 1, b < 10 ? 1 : 2);
    eleven += std::string(line) + kDots;
  }
  const std::vector<Case> cases = {
      {"eleven singletons", singletons(), " LU factors:", "    ...", " LU factors:\n" + eleven + "    ...\n"},
      {"a record of five pivots", five_pivots(), " LU factors:", "    ...",
       " LU factors:\n"
       "       L, col:            1\n"
       "            1:  0.1000D+01\n"
       "            2:  0.2000D+01\n"
       "            3:  0.3000D+01\n"
       "            4:  0.4000D+01\n"
       "            5:  0.5000D+01\n"
       "       L, col:            2\n"
       "            2:  0.1000D+01\n"
       "            3:  0.8000D+01\n"
       "            4:  0.9000D+01\n"
       "            5:  0.1000D+02\n"
       "       L, col:            3\n"
       "            3:  0.1000D+01\n"
       "    ...\n"},
      {"three entries in each preserved column", two_blocks(), "    col:            1", "    ...",
       "    col:            1\n"
       "            1:  0.1000D+03\n"
       "            2:  0.1010D+03\n"
       "            3:  0.1020D+03\n"
       "    col:            2\n"
       "            2:  0.1100D+03\n"
       "            3:  0.1110D+03\n"
       "            4:  0.1120D+03\n"
       "    col:            3\n"
       "            3:  0.1200D+03\n"
       "            4:  0.1210D+03\n"
       "            5:  0.1220D+03\n"
       "    col:            4\n"
       "            4:  0.1300D+03\n"
       "    ...\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = report(store(c.h), c.h, {3, 1}, 3);
    EXPECT_EQ(excerpt(text, c.from, c.to), c.expected);
    // The permutations are cut the same way, after the LU listing.
    const std::string tail = c.h.n > 10 ? "           10\n    ...\n" : "            5\n";
    EXPECT_NE(text.find(" Row permutations\n"), std::string::npos);
    EXPECT_NE(text.find(tail + kDash + " W (1 ..."), std::string::npos);
  }
}

TEST(Za38Report, LevelFiveLocatesEveryPart) {
  const HandFactors h = two_blocks();
  const Stored st = store(h);
  const std::string seven =
      "    other data in INDEX: \n"
      "       INDEX (           71 ):            0 : TRANSA ZA38AD/ZA38BD argument\n"
      "       INDEX (           72 ):            2 : entries in off-diagonal part\n"
      "       INDEX (           73 ):            2 : number of diagonal blocks\n"
      "       INDEX (           74 ):            1 : JOB ZA38AD/ZA38BD argument\n"
      "       INDEX (           75 ):           15 : entries in original matrix\n"
      "       INDEX (           76 ):            5 : N ZA38AD/ZA38BD argument\n"
      "       INDEX (           77 ):           15 : NE ZA38AD/ZA38BD argument\n";
  EXPECT_EQ(excerpt(report(st, h, {3, 1}, 5), " KEEP (1...5)", "       INDEX (           77 )"),
            " KEEP (1...5) gives the location of LU factors\n"
            "    which must be preserved for calls to ZA38CD: \n"
            "       VALUE ( KEEP (1):            3 ... KEEP (2):           32 )\n"
            "       INDEX ( KEEP (3):            3 ... KEEP (5):           77 )\n"
            "    and for calls to ZA38BD: \n"
            "       INDEX ( KEEP (4):           26 ... KEEP (5):           77 )\n"
            " Layout of LU factors in VALUE and INDEX:\n"
            "    preserved copy of original matrix:\n"
            "       INDEX (            3 ...            8 ): column pointers\n"
            "       INDEX (            9 ...           23 ): row indices\n"
            "       VALUE (            3 ...           17 ): numerical values\n"
            "    matrix permuted to upper block triangular form.\n"
            "    entries not in diagonal blocks:\n"
            "       INDEX (           24 ...           25 ): row indices\n"
            "       VALUE (           18 ...           19 ): numerical values\n"
            "    collection of elements in LU factors of diagonal blocks:\n"
            "       INDEX (           26 ...           49 ): integer data\n"
            "       VALUE (           20 ...           32 ): numerical values\n"
            "    other block triangular data:\n"
            "       INDEX (           50 ...           51 ): pointers to block factors\n"
            "       INDEX (           52 ...           54 ): index range of blocks\n"
            "       INDEX (           55 ...           60 ): off-diagonal row pointers\n"
            "    permutation vectors:\n"
            "       INDEX (           61 ...           65 ): column permutations\n"
            "       INDEX (           66 ...           70 ): row permutations\n" +
                seven);
  const std::string pattern = report(st, h, {2, 1}, 5);
  EXPECT_EQ(excerpt(pattern, " KEEP (4...5)", "    other block"),
            " KEEP (4...5) gives the location of LU factors\n"
            "    which must be preserved for calls to ZA38BD: \n"
            "       INDEX ( KEEP (4):           26 ... KEEP (5):           77 )\n"
            " Layout of LU factors in INDEX:\n"
            "    matrix permuted to upper block triangular form.\n"
            "    collection of elements in LU factors of diagonal blocks:\n"
            "       INDEX (           26 ...           49 ): integer data\n"
            "    other block triangular data:\n");
  EXPECT_EQ(excerpt(pattern, " Block:            1", "       L, col:            1"),
            " Block:            1 (singleton) at index :            1\n"
            " located in VALUE (           17 )\n" + kDots +  // from KEEP(1) = 0
                " Block:            2 first index:            2 last index:            5\n"
                " elements:            2 pivots:            4\n"
                " largest contribution block:            1 by            1\n"
                " located in INDEX (           26 ... )\n"
                "    e:            1 pivots:            2\n"
                "    children in dag:            0 frontal matrix:            3 by            3\n"
                "       L, col:            1\n");
  EXPECT_NE(report(st, h, {1, 2}, 5).find(" located in VALUE (           20 )\n"), std::string::npos);
  EXPECT_NE(pattern.find("            4\n       LUson:            1\n" + kDash), std::string::npos);
}

// Damaged factor sets: the section shows what it can locate, the one line,
// a dashed rule, and no listing.  Arrays are exact, so a stray read of the
// interior would be caught by the sanitizer.
TEST(Za38Report, DamagedFactorsListNothing) {
  struct Case {
    const char* name;
    void (*damage)(Stored&);
  };
  const std::vector<Case> cases = {
      {"KEEP(5) beyond LINDEX", [](Stored& s) { s.keep[4] = s.lindex() + 1; }},
      {"KEEP never set", [](Stored& s) { std::fill(s.keep, s.keep + 5, 0); }},
      {"trailer of another order", [](Stored& s) { s.index[s.lindex() - 2] = 4; }},
      {"off-diagonal count off by one", [](Stored& s) { s.index[s.lindex() - 6] = 3; }},
      {"block boundaries not rising", [](Stored& s) { s.index[52] = 7; }},
      {"record table pointing outside", [](Stored& s) { s.index[25 + 5] = 4000; }},
      {"son naming a later record", [](Stored& s) { s.index[25 + 23] = 2; }},
  };
  const HandFactors h = two_blocks();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stored st = store(h);
    c.damage(st);
    for (const Phase ph : {Phase{3, 1}, Phase{1, 2}}) {
      const std::string text = report(st, h, ph, 4);
      const std::string before = ph.inout == 1 ? "    CNTL (3):    0.2500D-15 : machine epsilon\n" : "Level-3 BLAS flop count\n";
      const std::string after = ph.inout == 1 ? kDash + " W (1 ..." : " =====";
      EXPECT_NE(text.find(before + " LU factors uncomputed or corrupted!\n" + kDash + after), std::string::npos) << text;
    }
  }
  // The level-5 lines still locate the parts, from a trailer read as zeros
  // when KEEP itself is out of range.
  Stored st = store(h);
  st.keep[4] = st.lindex() + 1;
  EXPECT_NE(report(st, h, {3, 1}, 5)
                .find("       INDEX (           72 ):            0 : TRANSA ZA38AD/ZA38BD argument\n"),
            std::string::npos);
}

// The entries are listed before the driver compares NE with the lengths:
// the listing stops where INDEX(NE+k) or VALUE(k) would leave the arrays.
TEST(Za38Report, InputListingStaysInsideTheArrays) {
  struct Case {
    fint ne, lindex, lvalue, level;
    int lines;
    bool ellipsis;
  };
  const std::vector<Case> cases = {
      {25, 60, 30, 3, 10, true},  {25, 60, 30, 4, 25, false}, {10, 20, 10, 3, 10, false},
      {25, 32, 30, 4, 7, true},   {25, 60, 4, 4, 4, true},    {25, 20, 30, 4, 0, true},
      {0, 20, 20, 4, 0, false},   {-3, 20, 20, 3, 0, false},  {2147483647, 5, 5, 4, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("NE " + std::to_string(c.ne) + " LINDEX " + std::to_string(c.lindex) + " LVALUE " +
                 std::to_string(c.lvalue));
    std::vector<fint> index(c.lindex, 1);
    std::vector<double> value(c.lvalue, 0.5);
    fint keep[20] = {}, icntl[20] = {6, kUnit, c.level}, info[40] = {};
    double cntl[10] = {}, rinfo[20] = {};
    fint who = 1, inout = 1, n = 4, job = 0, lw = 0;
    fint ne = c.ne, li = c.lindex, lv = c.lvalue;
    tbl::logical trans = tbl::kTrue;
    const std::string text = tbl::test::capture_unit(kUnit, [&] {
      ZA38_REPORT(&who, &inout, &n, &ne, &job, &trans, &lv, &li, value.data(), index.data(), keep, cntl, icntl, info,
                  rinfo, nullptr, nullptr, nullptr, &lw);
    });
    const std::string listing = excerpt(text, " Input matrix A transpose (entry", " =====");
    int lines = 0;
    for (std::size_t p = listing.find("0.5000D+00"); p != std::string::npos; p = listing.find("0.5000D+00", p + 1))
      ++lines;
    EXPECT_EQ(lines, c.lines) << listing;
    EXPECT_EQ(listing.find("    ...\n") != std::string::npos, c.ellipsis) << listing;
  }
}

// The drivers' own reports read the factors they store: nothing is found
// damaged, every section is there, and the retained pattern that ZA38BD
// would read passes as well.
TEST(Za38Report, FactorsOfTheDriverReadBack) {
  tbl::test::Za38 p(4, {1, 2, 3, 4, 1, 4, 2}, {1, 2, 3, 4, 3, 1, 4}, {4.0, 5.0, 6.0, 7.0, 1.0, -2.0, 0.5});
  for (const int job : {0, 1}) {
    SCOPED_TRACE("JOB " + std::to_string(job));
    const std::string text = tbl::test::messages(p, 5, [&] { p.analyse(job); });
    ASSERT_EQ(p.info[0], 0);
    EXPECT_EQ(text.find("corrupted"), std::string::npos) << text;
    for (const char* part : {"ZA38AD input:", "Input matrix A (entry", "Output information:", "LU factors:",
                             " Row permutations", "end of ZA38AD output"})
      EXPECT_NE(text.find(part), std::string::npos) << part;
    EXPECT_EQ(text.find("Preserved copy") != std::string::npos, job == 1);
  }
}

}  // namespace
