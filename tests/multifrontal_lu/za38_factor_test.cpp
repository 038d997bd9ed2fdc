// The multifrontal factorisation of one block, checked by rebuilding
// P*M*Q = L*U densely from the stored LU records.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "multifrontal_lu/za38_factor_support.hpp"
#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_kernel_ws.hpp"

using namespace tbl::za38test;
using tbl::fint;

namespace {

constexpr fint kAmple = 4'000'000;

struct Case {
  std::string name;
  ProblemSpec spec;
  bool transpose = false;
  bool preserve = false;
  std::function<void(Controls&)> tweak = [](Controls&) {};
  int missing = 0;  // pivots short of N
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<Case> cases() {
  auto spec = [](int n, double d) {
    ProblemSpec s;
    s.n = n;
    s.density = d;
    return s;
  };
  std::vector<Case> v;
  v.push_back({"order1", spec(1, 1.0)});
  v.push_back({"order2", spec(2, 0.5)});
  v.push_back({"order7_half_full", spec(7, 0.5)});
  v.push_back({"sparse40", spec(40, 0.04)});
  v.push_back({"sparse40_transposed", spec(40, 0.04), true});
  v.push_back({"medium90", spec(90, 0.08)});
  v.push_back({"medium90_transposed", spec(90, 0.08), true});
  v.push_back({"nearly_full50", spec(50, 0.7)});
  v.push_back({"preserved60", spec(60, 0.08), false, true});
  {
    Case c{"dense_rows_and_columns80", spec(80, 0.03)};
    c.spec.dense_cols = 3;
    c.spec.dense_rows = 2;
    v.push_back(c);
  }
  {
    Case c{"every_column_dense30", spec(30, 0.2)};
    c.tweak = [](Controls& k) { k.keep[6] = 0, k.keep[7] = 0; };
    v.push_back(c);
  }
  {
    Case c{"dense_preserved70", spec(70, 0.05), false, true};
    c.spec.dense_cols = 2;
    c.tweak = [](Controls& k) { k.keep[6] = 8; };
    v.push_back(c);
  }
  v.push_back({"one_column_searched", spec(60, 0.1), false, false, [](Controls& k) { k.icntl[4] = 0; }});
  v.push_back({"diagonal_preferred", spec(60, 0.1), false, false, [](Controls& k) { k.icntl[5] = 1; }});
  v.push_back({"unblocked_updates", spec(60, 0.15), false, false, [](Controls& k) { k.icntl[6] = -3; }});
  v.push_back({"exact_front_size", spec(60, 0.1), false, false, [](Controls& k) { k.cntl[1] = 0.25; }});
  // Without a threshold any nonzero may pivot: the error then grows with the
  // entries of U.
  v.push_back({"any_nonzero_pivot", spec(60, 0.1), false, false, [](Controls& k) { k.cntl[0] = -2.0; }});
  v.push_back({"largest_pivot_only", spec(60, 0.1), false, false, [](Controls& k) { k.cntl[0] = 7.0; }});
  v.push_back({"large_blocks", spec(120, 0.25), false, false, [](Controls& k) { k.icntl[6] = 40; }});
  {
    Case c{"structurally_singular", spec(50, 0.06)};
    c.spec.empty_cols = 2;
    c.missing = 2;
    v.push_back(c);
  }
  {
    Case c{"numerically_singular", spec(40, 0.1)};
    c.spec.zero_cols = 1;
    c.missing = 1;
    v.push_back(c);
  }
  return v;
}

class Reconstruction : public ::testing::TestWithParam<Case> {};

TEST_P(Reconstruction, RecordsRebuildTheMatrix) {
  const Case& cs = GetParam();
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ProblemSpec s = cs.spec;
    s.seed = seed;
    Problem p = random_problem(s);
    if (cs.transpose) p = p.transposed();
    Controls ctl;
    cs.tweak(ctl);
    const FactorRun run = factorise(p, kAmple, kAmple, ctl, cs.preserve);
    const int n = p.n;
    const Check chk = check_factors(p, run);
    // Without a threshold the factors may grow past the warning's limit.
    const fint want_status = (cs.missing > 0 ? tbl::za38::kWarnSingular : 0) +
                             (chk.growth > tbl::za38::kGrowthLimit ? tbl::za38::kWarnGrowth : 0);
    ASSERT_EQ(run.status(), want_status);
    ASSERT_EQ(chk.fault, "");
    EXPECT_DOUBLE_EQ(run.rinfo[8], chk.growth);  // RINFO(9), over every record written
    EXPECT_EQ(chk.pivots, n - cs.missing);
    EXPECT_EQ(run.info[16], n - cs.missing);  // INFO(17)
    EXPECT_LT(chk.error, 1e-12 * std::max(100.0, chk.growth));
    EXPECT_EQ(run.info[9], chk.u_entries);
    EXPECT_EQ(run.info[10], chk.l_entries);
    EXPECT_EQ(run.info[11], chk.u_entries + chk.l_entries + n);
    EXPECT_GE(run.info[12], 1);
    EXPECT_LE(run.info[12], chk.records);
    EXPECT_EQ(run.info[8], 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Za38Factor, Reconstruction, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& i) { return i.param.name; });

// The lengths reported as minima suffice, and one real fewer than the
// reported LVALUE does not; far too little INDEX fails with -3, and with
// too little of both for the matrix itself the front end reports -5.  At the minima the factorisation has to compact.
TEST(Za38Factor, ReportedMinimumLengths) {
  struct Sizes {
    int n;
    double density;
    int dense;
    bool preserve;
  };
  for (const Sizes& z : {Sizes{60, 0.1, 0, false}, Sizes{150, 0.02, 2, false}, Sizes{100, 0.3, 0, true},
                         Sizes{200, 0.015, 0, false}}) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      SCOPED_TRACE("n " + std::to_string(z.n) + " seed " + std::to_string(seed));
      ProblemSpec s;
      s.n = z.n;
      s.density = z.density;
      s.dense_cols = z.dense;
      s.seed = seed;
      const Problem p = random_problem(s);
      Controls ctl;
      const FactorRun big = factorise(p, kAmple, kAmple, ctl, z.preserve);
      ASSERT_EQ(big.status(), 0);
      EXPECT_EQ(big.info[13] + big.info[14], 0);
      const fint li = big.info[18], lv = big.info[20];
      const FactorRun tight = factorise(p, li, lv, ctl, z.preserve);
      ASSERT_EQ(tight.status(), 0);
      EXPECT_GT(tight.info[13] + tight.info[14], 0);
      const Check chk = check_factors(p, tight);
      EXPECT_EQ(chk.fault, "");
      EXPECT_LT(chk.error, 1e-10);
      EXPECT_EQ(factorise(p, li, lv - 1, ctl, z.preserve).status(), tbl::za38::kErrValue);
      const FactorRun short_i = factorise(p, li / 2, lv, ctl, z.preserve);
      EXPECT_EQ(short_i.status(), tbl::za38::kErrIndex);
      EXPECT_GT(short_i.info[18], li / 2);
      const fint nz = p.nnz();
      EXPECT_EQ(factorise(p, z.n + nz + 4, nz - 1, ctl, z.preserve).status(), tbl::za38::kErrBoth);
    }
  }
}

// Controls that would make the arithmetic undefined: a NaN tolerance is
// read as the default (a regular matrix stays regular); an infinite, huge
// or NaN growth factor still gives fronts no larger than the active matrix;
// a huge KEEP(8) makes no column dense instead of wrapping the threshold.
TEST(Za38Factor, UndefinedControlsAreReadSoundly) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Tweak {
    const char* what;
    std::function<void(Controls&)> set;
  };
  const std::vector<Tweak> tweaks = {
      {"nan tolerance", [&](Controls& k) { k.cntl[0] = nan; }},
      {"infinite growth", [&](Controls& k) { k.cntl[1] = inf; }},
      {"huge growth", [&](Controls& k) { k.cntl[1] = 1e300; }},
      {"nan growth", [&](Controls& k) { k.cntl[1] = nan; }},
      {"huge dense factor", [&](Controls& k) { k.keep[6] = 0, k.keep[7] = INT_MAX; }},
  };
  ProblemSpec s;
  s.n = 100;
  s.density = 0.05;
  s.dense_cols = 2;
  for (const Tweak& t : tweaks) {
    SCOPED_TRACE(t.what);
    const Problem p = random_problem(s);
    Controls ctl;
    t.set(ctl);
    const FactorRun run = factorise(p, kAmple, kAmple, ctl);
    ASSERT_EQ(run.status(), 0);
    const Check chk = check_factors(p, run);
    EXPECT_EQ(chk.fault, "");
    EXPECT_EQ(chk.pivots, s.n);
    EXPECT_LT(chk.error, 1e-10);
  }
}

// A kernel state built by hand: column blocks of the 3 by 3 matrix with
// column 1 full and columns 2, 3 holding their diagonal, laid out as the
// set-up lays them out.
struct HandKernel {
  static constexpr fint n = 3;
  std::vector<fint> isec = std::vector<fint>(200, 0);
  std::vector<double> xsec = std::vector<double>(8, 0.0);
  std::vector<fint> a[11];
  std::vector<fint> icntl = std::vector<fint>(20, 0);
  std::vector<fint> info = std::vector<fint>(40, 0);
  std::vector<double> rinfo = std::vector<double>(20, 0.0);
  std::vector<fint> rowmap = std::vector<fint>(n), colmap = std::vector<fint>(n), cblk = {1, 13, 23};
  fint cmax = 1, rmax = 1, nrec = 0;
  std::int64_t vnmax = 0, vneed = 0;
  tbl::za38::Kernel kn;

  explicit HandKernel(fint lxsec) {
    const fint blocks[] = {12, 3, 1, 0, 0, 0, 3, 0, 0, 1, 2, 3, 10, 1, 4, 0, 0, 0, 1, 0, 0, 2,
                           10, 1, 5, 0, 0, 0, 1, 0, 0, 3};
    std::copy(std::begin(blocks), std::end(blocks), isec.begin());
    const double vals[] = {4.0, 1.0, 1.0, 2.0, 3.0};
    std::copy(std::begin(vals), std::end(vals), xsec.begin());
    for (auto& v : a) v.assign(n + 1, 0);
    icntl[0] = icntl[1] = -1;
    kn.n = n;
    kn.nzb = 5;
    kn.dthresh = 64;
    kn.lisec = static_cast<fint>(isec.size());
    kn.lxsec = lxsec;
    kn.is = tbl::Vec1<fint>(isec.data());
    kn.xs = tbl::Vec1<double>(xsec.data());
    kn.cblk = tbl::Vec1<fint>(cblk.data());
    kn.rowpos = tbl::Vec1<fint>(a[0].data());
    kn.colpos = tbl::Vec1<fint>(a[1].data());
    kn.fcols = tbl::Vec1<fint>(a[2].data());
    kn.frows = tbl::Vec1<fint>(a[3].data());
    kn.cpat = tbl::Vec1<fint>(a[4].data());
    kn.dhead = tbl::Vec1<fint>(a[5].data());
    kn.roff = tbl::Vec1<fint>(a[6].data());
    kn.rptr = tbl::Vec1<fint>(a[7].data());
    kn.rcnt = tbl::Vec1<fint>(a[8].data());
    kn.ccnt = tbl::Vec1<fint>(a[9].data());
    kn.rowmap = tbl::Vec1<fint>(rowmap.data());
    kn.colmap = tbl::Vec1<fint>(colmap.data());
    kn.icntl = icntl.data();
    kn.info = info.data();
    kn.rinfo = rinfo.data();
    kn.cmax = &cmax;
    kn.rmax = &rmax;
    kn.nrec = &nrec;
    kn.vnmax = &vnmax;
    kn.vneed = &vneed;
    kn.ifstart = kn.lisec + 1;
    kn.xfstart = lxsec + 1;
    kn.xfree = 6;
    kn.dead = -(n + 2);
    kn.tag = n + 2;
    kn.iinuse = 32;
    kn.xinuse = 5;
    kn.xest = 5;
  }
};

// A column longer than the degree it was listed under gets a reservation
// of its true length: here the section has one free real, so the kernel
// compacts, finds no room and stops with -4, and nothing is written past
// the section.
TEST(Za38Factor, ColumnLongerThanItsDegreeStaysInsideItsReservation) {
  HandKernel h(6);
  h.xsec[6] = h.xsec[7] = 99.0;  // beyond the section
  ASSERT_TRUE(h.kn.initialise());
  h.kn.unlink_degree(1);
  h.isec[h.cblk[0]] = 1;  // degree word: listed as if it had one entry
  h.kn.push_degree(1, 1);
  bool found = true;
  EXPECT_FALSE(h.kn.search_pivot(found));
  EXPECT_EQ(h.info[0], tbl::za38::kErrValue);
  EXPECT_EQ(h.info[14], 1);  // one compaction for real space
  EXPECT_EQ(h.xsec[6], 99.0);
  EXPECT_EQ(h.xsec[7], 99.0);
  EXPECT_GE(h.info[20], 5 + 3);  // INFO(21) counts the whole column

  HandKernel roomy(8);
  ASSERT_TRUE(roomy.kn.initialise());
  roomy.kn.unlink_degree(1);
  roomy.isec[roomy.cblk[0]] = 1;
  roomy.kn.push_degree(1, 1);
  ASSERT_TRUE(roomy.kn.search_pivot(found));
  EXPECT_TRUE(found);
  EXPECT_EQ(roomy.kn.pcol, 1);
  EXPECT_EQ(roomy.kn.prow, 1);  // the largest entry, 4.0, with the smallest row degree
  EXPECT_EQ(roomy.kn.cdeg, 3);
  EXPECT_EQ(roomy.kn.xfree, 6);  // the reservation was given back
}

// A compaction made for the search's reservation moves the examined
// column's block: the column is read at its new place.  Column 1 has left
// (its block free, its values dead) and no real is free, so reserving room
// for column 2 compacts and column 2's block slides down over column 1's.
TEST(Za38Factor, SearchReadsTheColumnWhereCompactionMovedIt) {
  HandKernel h(5);
  ASSERT_TRUE(h.kn.initialise());
  h.kn.unlink_degree(1);
  h.isec[1] = -1;  // word 1 of column 1's block: free
  h.isec[6] = 0;   // no live input values
  h.cblk[0] = 0;
  bool found = false;
  ASSERT_TRUE(h.kn.search_pivot(found));
  EXPECT_EQ(h.info[14], 1);
  EXPECT_EQ(h.cblk[1], 1);  // column 2's block moved to the start
  ASSERT_TRUE(found);
  EXPECT_EQ(h.kn.pcol, 2);
  EXPECT_EQ(h.kn.prow, 2);
  EXPECT_EQ(h.kn.cdeg, 1);
  EXPECT_EQ(h.isec[h.cblk[1]], 1);  // its exact length in its degree word
}

// The stamp of the degree update: the overflow test comes before the
// addition, and a restart sends every stamped element back to "untouched"
// while row tuple counts and dead marks stay.
TEST(Za38Factor, TagRestartsBeforeItWouldOverflow) {
  HandKernel h(8);
  h.kn.nd = 1;
  std::vector<fint> rc = {0, 9, 1, -6, 100}, cc = {0, 9, 2, -6, 100};
  h.kn.rcnt = tbl::Vec1<fint>(rc.data() + 1);
  h.kn.ccnt = tbl::Vec1<fint>(cc.data() + 1);
  h.kn.tag = 100;
  h.kn.tagm = 5;
  h.kn.advance_tag(7, 2);
  EXPECT_EQ(h.kn.tag, 106);
  EXPECT_EQ(h.kn.tagm, 7);
  h.kn.tag = INT_MAX - 7;  // one more step of 8 would pass INT_MAX
  h.kn.advance_tag(1, 1);
  EXPECT_EQ(h.kn.tag, 3 + 1 + 2);
  EXPECT_EQ(rc, (std::vector<fint>{0, 5, 1, -6, 5}));
  EXPECT_EQ(cc, (std::vector<fint>{0, 5, 2, -6, 5}));
  h.kn.tag = INT_MAX - 8;  // exactly reaches INT_MAX: no restart
  h.kn.advance_tag(1, 1);
  EXPECT_EQ(h.kn.tag, INT_MAX);
}

}  // namespace
