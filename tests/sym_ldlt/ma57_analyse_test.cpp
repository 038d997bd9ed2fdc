#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "support/child.hpp"
#include "sym_ldlt/ma57_analyse_support.hpp"

using tbl::fint;
using tbl::test::Analysis;
using tbl::test::make_analysis;
using tbl::test::run;
using tbl::test::run_in_child;
using V = std::vector<fint>;

namespace {

// The arrow of order 4: full diagonal, row 4 coupled to 1, 2 and 3.
Analysis arrow(const V& order) {
  Analysis a = make_analysis(4, {1, 2, 3, 4, 4, 4, 4}, {1, 2, 3, 4, 1, 2, 3});
  a.icntl[5] = 1;
  std::copy(order.begin(), order.end(), a.keep.begin());
  return a;
}

// Runs MA57AD in a child to capture what it prints, then again here for the
// results (the child's changes to the arrays are not seen by the parent).
std::string output_of(Analysis& a) {
  auto r = run_in_child([&] { run(a); });
  EXPECT_EQ(r.err, "");
  run(a);
  return r.out;
}

}  // namespace

TEST(Ma57Defaults, ValuesIncludingTheWidenedThreshold) {
  std::vector<double> cntl(5, -1.0);
  V icntl(20, -7);
  MA57_DEFAULTS(cntl.data(), icntl.data());
  std::uint64_t bits;
  std::memcpy(&bits, &cntl[0], sizeof bits);
  EXPECT_EQ(bits, 0x3F847AE140000000u);
  EXPECT_NE(cntl[0], 0.01);
  EXPECT_EQ(cntl[1], 0.0);
  EXPECT_EQ(cntl[2], 0.5);
  EXPECT_EQ(cntl[3], 0.0);
  EXPECT_EQ(cntl[4], 0.0);
  EXPECT_EQ(icntl, V({6, 6, 6, -1, 2, 0, 1, 0, 1, 0, 16, 1, 10, 100, 0, 0, 0, 0, 0, 0}));
}

TEST(Ma57AnalyseChecks, ErrorsInOrderWithTheirMessages) {
  const char* head = "**** Error return from MA57AD ****  INFO(1) =";
  Analysis a = make_analysis(0, {}, {});
  a.ne = -3;  // N is checked first
  a.icntl[4] = 1;
  EXPECT_EQ(output_of(a), std::string(head) + " -1\nN has value          0\n");
  EXPECT_EQ(a.info[0], -1);
  EXPECT_EQ(a.info[1], 0);

  a = make_analysis(2, {}, {});
  a.ne = -3;
  a.icntl[4] = 1;
  EXPECT_EQ(output_of(a), std::string(head) + " -2\nNE has value        -3\n");
  EXPECT_EQ(a.info[1], -3);

  // The bound 5N + NE + max(N,NE) + 42 is exact: one less fails, reporting it.
  a = make_analysis(3, {1, 2, 3, 3, 1}, {1, 2, 3, 1, 2});
  run(a);
  EXPECT_EQ(a.info[0], 0);
  EXPECT_EQ(a.keep.size(), 15u + 5 + 5 + 42);
  a.keep.pop_back();
  a.icntl[4] = 1;
  EXPECT_EQ(output_of(a), std::string(head) +
                              "-15\nLKEEP has value            66\nShould be at least         67\n");
  EXPECT_EQ(a.info[1], 66);

  // A caller's order that is not a permutation: the first faulty component.
  a = make_analysis(4, {1}, {1});
  a.icntl[5] = 1;
  a.icntl[4] = 1;
  for (const auto& [keep, bad] : std::vector<std::pair<V, int>>{
           {{1, 2, 3, 2}, 4}, {{0, 2, 3, 4}, 1}, {{5, 2, 3, 4}, 1}, {{3, 3, 1, 2}, 2}}) {
    std::copy(keep.begin(), keep.end(), a.keep.begin());
    EXPECT_EQ(output_of(a), std::string(head) + " -9\nInvalid permutation supplied in KEEP\nComponent" +
                                std::string(9, ' ') + std::to_string(bad) + " is faulty\n");
    EXPECT_EQ(a.info[0], -9);
    EXPECT_EQ(a.info[1], bad);
  }

  // Errors stay silent below print level 1 or on a negative unit.
  a = make_analysis(0, {}, {});
  EXPECT_EQ(output_of(a), "");
  a.icntl[4] = 2;
  a.icntl[0] = -1;
  EXPECT_EQ(output_of(a), "");
  a.icntl[0] = 0;  // unit 0 is standard error
  auto r = run_in_child([&] { run(a); });
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, std::string(head) + " -1\nN has value          0\n");
}

// Forecasts of the arrow, worked out by hand: nodes {3}, {2}, {1} each with a
// front of 2, then {4} with a front of 1 assembling the three blocks.
TEST(Ma57AnalyseCallerOrder, ArrowTreeStructureAndForecasts) {
  Analysis a = arrow({1, 2, 3, 4});
  run(a);
  EXPECT_EQ(a.info[0], 0);
  EXPECT_EQ(a.order(), V({3, 2, 1, 4}));
  EXPECT_EQ(a.nsteps(), 4);
  EXPECT_EQ(a.nz(), 7);
  EXPECT_EQ(a.keep[a.n + 2], 0);  // nothing suspended
  for (int p = 1; p <= 4; ++p) EXPECT_EQ(a.row_count(p), p < 4 ? 2 : 1);
  for (int v = 1; v <= 4; ++v) EXPECT_EQ(a.node(v), a.pos(v));
  EXPECT_EQ(V({a.sons(1), a.sons(2), a.sons(3), a.sons(4)}), V({0, 0, 0, 3}));
  // Diagonal slots first, off-diagonal ones filled from the end of the row.
  V cols, map;
  for (int s = 1; s <= 7; ++s) cols.push_back(a.col(s));
  for (int k = 1; k <= 7; ++k) map.push_back(a.map(k));
  EXPECT_EQ(cols, V({3, 4, 2, 4, 1, 4, 4}));
  EXPECT_EQ(map, V({5, 3, 1, 7, 6, 4, 2}));
  EXPECT_EQ(V(a.info.begin() + 4, a.info.begin() + 13), V({7, 18, 2, 4, 18, 31, 14, 25, 0}));
  EXPECT_EQ(a.rinfo[0], 10.0);
  EXPECT_EQ(a.rinfo[1], 13.0);
}

TEST(Ma57AnalyseCallerOrder, AmalgamationOfChainsAndSmallNodes) {
  // A dense block collapses into one node through contribution blocks that
  // equal the father's front.
  Analysis d = make_analysis(3, {1, 2, 3, 2, 3, 3}, {1, 2, 3, 1, 1, 2});
  d.icntl[5] = 1;
  std::iota(d.keep.begin(), d.keep.begin() + 3, 1);
  run(d);
  EXPECT_EQ(d.nsteps(), 1);
  EXPECT_EQ(d.order(), V({1, 2, 3}));
  EXPECT_EQ(d.info[4], 6);  // the whole lower triangle
  EXPECT_EQ(d.info[6], 3);

  // In a path each contribution block is one smaller than the father's front
  // of two; only the root, whose front is that block, merges.
  Analysis p = make_analysis(5, {1, 2, 3, 4, 5, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 1, 2, 3, 4});
  p.icntl[5] = 1;
  std::iota(p.keep.begin(), p.keep.begin() + 5, 1);
  run(p);
  EXPECT_EQ(p.nsteps(), 4);
  EXPECT_EQ(p.node(4), 4);
  EXPECT_EQ(p.node(5), 4);
  EXPECT_EQ(p.info[4], 9);

  // NEMIN = 2 merges the arrow's root into its last son.
  Analysis a = arrow({1, 2, 3, 4});
  a.icntl[11] = 2;
  run(a);
  EXPECT_EQ(a.nsteps(), 3);
  EXPECT_EQ(a.order(), V({3, 2, 1, 4}));
  EXPECT_EQ(V({a.node(1), a.node(2), a.node(3), a.node(4)}), V({3, 2, 1, 3}));
  EXPECT_EQ(V({a.sons(1), a.sons(2), a.sons(3)}), V({0, 0, 2}));
  EXPECT_EQ(a.info[4], 7);
  EXPECT_EQ(a.info[6], 2);
}

TEST(Ma57AnalyseBothOrders, DiagonalMatrixGivesRootsInReverseOrder) {
  const int n = 6;
  V idx(n);
  std::iota(idx.begin(), idx.end(), 1);
  for (int caller = 0; caller <= 1; ++caller) {
    Analysis a = make_analysis(n, idx, idx);
    if (caller) {
      a.icntl[5] = 1;
      const V given = {4, 6, 1, 2, 5, 3};
      std::copy(given.begin(), given.end(), a.keep.begin());
    }
    run(a);
    EXPECT_EQ(a.info[0], 0);
    EXPECT_EQ(a.order(), V({6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(a.nsteps(), n);
    EXPECT_EQ(a.nz(), n);
    EXPECT_EQ(a.info[6], 1);
    EXPECT_EQ(a.info[4], n);
    for (int nd = 1; nd <= n; ++nd) EXPECT_EQ(a.sons(nd), 0);
  }
  // No entries at all: one diagonal slot per row.
  Analysis e = make_analysis(3, {}, {});
  run(e);
  EXPECT_EQ(e.info[0], 0);
  EXPECT_EQ(e.nz(), 3);
}

TEST(Ma57AnalyseWarnings, OutOfRangeEntries) {
  // Eleven bad entries among good ones: all counted, ten reported.
  V irn = {1, 0, 2}, jcn = {1, 5, 2};
  for (int k = 0; k < 10; ++k) {
    irn.push_back(k % 2 ? 3 : -1);
    jcn.push_back(k % 2 ? 9 : 1);
  }
  for (int caller = 0; caller <= 1; ++caller) {
    Analysis a = make_analysis(3, irn, jcn);
    a.icntl[4] = 2;
    if (caller) {
      a.icntl[5] = 1;
      const V given = {2, 1, 3};
      std::copy(given.begin(), given.end(), a.keep.begin());
    }
    std::string out = output_of(a);
    EXPECT_EQ(a.info[0], 1);
    EXPECT_EQ(a.info[2], 11);
    EXPECT_EQ(out.substr(0, out.find('\n') + 1),
              "*** Warning message from subroutine MA57AD *** INFO(1) = 1\n");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 11);
    EXPECT_NE(out.find("         2th entry (in row         0 and column         5) ignored\n"),
              std::string::npos);
    EXPECT_NE(out.find("        12th entry (in row        -1 and column         1) ignored\n"),
              std::string::npos);
    EXPECT_EQ(out.find("13th entry"), std::string::npos);
    // Only a caller's order clears the bad indices in the caller's arrays.
    EXPECT_EQ(a.jcn[1], caller ? 0 : 5);
    EXPECT_EQ(a.irn[3], caller ? 0 : -1);
    EXPECT_EQ(a.map(2), 0);
    EXPECT_EQ(a.map(13), 0);
    EXPECT_EQ(a.nz(), 3);
  }
}

TEST(Ma57AnalyseWarnings, DuplicatesCountedOncePerPosition) {
  struct Case {
    V irn, jcn;
    int dups, nz;
  };
  // Duplicates keep slots of their own; every row without a diagonal entry
  // gets one slot for it.
  const std::vector<Case> cases = {
      {{3, 3}, {5, 5}, 1, 7},              // the same entry twice
      {{3, 5}, {5, 3}, 1, 7},              // an entry and its mirror
      {{3, 5, 3, 2}, {5, 3, 5, 2}, 2, 8},  // three copies: two repeats
      {{4, 4}, {4, 4}, 0, 6},              // diagonal repeats are not counted
  };
  for (const Case& c : cases) {
    for (int caller = 0; caller <= 1; ++caller) {
      for (const V& order : {V({1, 2, 3, 4, 5}), V({5, 4, 3, 2, 1})}) {
        Analysis a = make_analysis(5, c.irn, c.jcn);
        a.icntl[4] = 2;
        if (caller) {
          a.icntl[5] = 1;
          std::copy(order.begin(), order.end(), a.keep.begin());
        }
        std::string out = output_of(a);
        EXPECT_EQ(a.info[3], c.dups);
        EXPECT_EQ(a.info[0], c.dups ? 2 : 0);
        EXPECT_EQ(out, c.dups ? "*** Warning message from subroutine MA57AD ***\n         " +
                                    std::to_string(c.dups) + " off-diagonal duplicate entries found\n"
                              : "");
        EXPECT_EQ(a.nz(), c.nz);
      }
    }
  }
  // Both warnings give INFO(1) = 3; a negative warning unit silences them.
  Analysis a = make_analysis(5, {3, 3, 9}, {5, 5, 1});
  a.icntl[4] = 4;
  a.icntl[1] = -1;
  a.icntl[2] = -1;
  EXPECT_EQ(output_of(a), "");
  EXPECT_EQ(a.info[0], 3);
}

TEST(Ma57AnalyseCallerOrder, FullStoreIsCompactedWithoutChangingTheResult) {
  // A star ordered centre first fills in completely, so the elements written
  // overflow the smallest store several times.
  const int n = 12;
  V irn, jcn;
  for (int i = 1; i <= n; ++i) {
    irn.push_back(i);
    jcn.push_back(i);
    if (i > 1) {
      irn.push_back(i);
      jcn.push_back(1);
    }
  }
  Analysis tight = make_analysis(n, irn, jcn);
  Analysis ample = make_analysis(n, irn, jcn, 10000);
  for (Analysis* a : {&tight, &ample}) {
    a->icntl[5] = 1;
    std::iota(a->keep.begin(), a->keep.begin() + n, 1);
    run(*a);
    EXPECT_EQ(a->info[0], 0);
    EXPECT_EQ(a->nsteps(), 1);
    EXPECT_EQ(a->info[4], n * (n + 1) / 2);
  }
  EXPECT_GT(tight.info[12], 0);
  EXPECT_EQ(ample.info[12], 0);
  const auto used = ample.at().columns() - 1 + ample.nz();
  EXPECT_EQ(V(tight.keep.begin(), tight.keep.begin() + used),
            V(ample.keep.begin(), ample.keep.begin() + used));
  EXPECT_EQ(V(tight.info.begin() + 4, tight.info.begin() + 12),
            V(ample.info.begin() + 4, ample.info.begin() + 12));
}

TEST(Ma57AnalyseMonitor, EnteringAndLeavingRecords) {
  Analysis a = arrow({1, 2, 3, 4});
  a.icntl[4] = 3;
  EXPECT_EQ(output_of(a),
            "\n\nEntering analysis phase (MA57AD) with ...\n"
            "N         Order of matrix                     =           4\n"
            "NE        Number of entries                   =           7\n"
            "ICNTL(1)  Stream for errors                   =           6\n"
            " --- (2)  Stream for warnings                 =           6\n"
            " --- (3)  Stream for monitoring               =           6\n"
            " --- (4)  Stream for statistics               =          -1\n"
            " --- (5)  Level of diagnostic printing        =           3\n"
            " --- (6)  Flag for input pivot order          =           1\n"
            " --- (12) Node amalgamation parameter         =           1\n"
            "\n Matrix entries:\n"
            "     1: (       1       1)     2: (       2       2)     3: (       3       3)\n"
            "     4: (       4       4)     5: (       4       1)     6: (       4       2)\n"
            "     7: (       4       3)\n"
            " KEEP =     1     2     3     4\n"
            "\nLeaving analysis phase (MA57AD) with ...\n"
            "INFO(1)  Error indicator                      =           0\n"
            "Number of entries in matrix with diagonal     =           7\n"
            "INFO(3)  Number of out-of-range indices       =           0\n"
            "INFO(4)  Number of off-diagonal duplicates    =           0\n"
            "INFO(5)  Forecast real storage for factors    =           7\n"
            "----(6)  Forecast integer storage for factors =          18\n"
            "----(7)  Forecast maximum front size          =           2\n"
            "----(8)  Number of nodes in assembly tree     =           4\n"
            "----(9)  Size of FACT without compress        =          18\n"
            "----(10) Size of IFACT without compress       =          31\n"
            "----(11) Size of FACT with compress           =          14\n"
            "----(12) Size of IFACT with compress          =          25\n"
            "----(13) Number of compresses                 =           0\n"
            "RINFO(1) Forecast additions for assembly      = 1.00000D+01\n"
            "RINFO(2) Forecast ops for elimination         = 1.30000D+01\n"
            "\nPermutation array:\n           3           2           1           4\n"
            "\nNumber of entries in rows of permuted matrix:\n"
            "           2           2           2           1\n"
            "\nColumn indices of permuted matrix:\n"
            "           3           4           2           4           1\n           4           4\n"
            "\nTree nodes at which variables eliminated:\n           3           2           1           4\n"
            "\nMap array:\n           5           3           1           7           6\n"
            "           4           2\n");
  // A negative monitoring unit silences the monitors whatever the level.
  a.icntl[2] = -1;
  a.icntl[4] = 4;
  EXPECT_EQ(output_of(a), "");
}

TEST(Ma57AnalyseMonitor, ArraysAreCutToTenEntriesBelowLevelFour) {
  V idx(25);
  std::iota(idx.begin(), idx.end(), 1);
  Analysis a = make_analysis(25, idx, idx);
  a.icntl[5] = 1;
  std::iota(a.keep.begin(), a.keep.begin() + 25, 1);
  a.icntl[4] = 3;
  const std::string cut = output_of(a);
  EXPECT_NE(cut.find("\n    10: (      10      10)\n     . . .\n KEEP =     1     2"), std::string::npos);
  EXPECT_NE(cut.find("    10\n            . . .\n"), std::string::npos);  // the KEEP dump
  EXPECT_NE(cut.find("\nPermutation array:\n          25          24          23          22          21\n"
                     "          20          19          18          17          16\n"
                     "                 . . .\n"),
            std::string::npos);
  EXPECT_NE(cut.find("\nColumn indices of permuted matrix:\n          25          24          23"
                     "          22          21\n          20          19          18          17"
                     "          16\n                     . . .\n"),
            std::string::npos);
  int continuations = 0;
  for (auto at = cut.find(". . ."); at != std::string::npos; at = cut.find(". . .", at + 1)) {
    ++continuations;
  }
  EXPECT_EQ(continuations, 7);  // entries, KEEP and the five arrays on leaving

  a.icntl[4] = 4;
  const std::string full = output_of(a);
  EXPECT_EQ(full.find(". . ."), std::string::npos);
  EXPECT_NE(full.find("    25: (      25      25)\n"), std::string::npos);
  EXPECT_NE(full.find("\n           5           4           3           2           1\n\nNumber"),
            std::string::npos);
}
