// ZA38BD driven as a host drives it: new values on the stored structure,
// checked by applying the stored factors against the new matrix; failures
// that leave the retained pattern usable; lengths reported for a retry;
// entries the structure has no place for; the texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "za38_listed_factors.hpp"
#include "za38_support.hpp"
#include "za38bd_support.hpp"

namespace {

using tbl::test::Entries;
using tbl::test::Za38;

struct Problem {
  const char* name;
  Entries a;
  bool well_conditioned;
};

std::vector<Problem> generated() {
  using namespace tbl::test;
  return {
      {"random 40", random_entries(40, 3, 1, 11), true},
      {"random 120 in 6 blocks", random_entries(120, 4, 6, 12), true},
      {"grid 12x12", grid2d(12, 0.3), true},
      {"grid 5x5x5", grid3d(5, 0.2), true},
  };
}

// The solution of the host's matrix with its stored factors, for a right-
// hand side made from a known vector.
std::vector<double> solution(Za38& p, bool transc) {
  std::vector<double> xt(p.n);
  for (int32_t i = 0; i < p.n; ++i) xt[i] = 1.0 + 0.1 * (i % 7);
  const std::vector<double> b = p.apply(xt, transc);
  std::vector<double> x(p.n, 0.0);
  EXPECT_GE(p.solve(b, x, 0, transc), 0);
  return x;
}

double relative_difference(const std::vector<double>& x, const std::vector<double>& y) {
  double d = 0.0, m = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    d = std::max(d, std::abs(x[i] - y[i]));
    m = std::max(m, std::abs(y[i]));
  }
  return d / m;
}

// The stored factors of `p`: pivot positions, block boundaries.
tbl::test::StoredFactors layout(const Za38& p) {
  tbl::test::StoredFactors f;
  tbl::test::read_factors(p, f);
  return f;
}

// The stored factors are those of the host's matrix, to TOL.
void expect_factors(const Za38& p, double tol) {
  const double r = tbl::test::factor_residual(p);
  EXPECT_GE(r, 0.0) << "factors not readable";
  EXPECT_LT(r, tol);
}

// Every job, orientation and growth allowance: the refactorised factors
// are those of the new matrix as closely as the first factorisation's are
// of the first (threshold pivoting lets some growth through), nothing is
// dropped, and a second call on the same arrays puts the factors in the
// same place.
TEST(Za38bd, NewValuesOnTheStoredStructure) {
  std::vector<Problem> problems = generated();
  for (const char* file : {"west0067.mtx", "fs_183_1.mtx", "impcol_a.mtx", "west0479.mtx", "gre_1107.mtx"})
    problems.push_back({file, tbl::test::file_entries(file), false});
  for (const Problem& pr : problems)
    for (const int job : {0, 1})
      for (const bool transa : {false, true})
        for (const double growth : {2.0, 1.0}) {
          SCOPED_TRACE(std::string(pr.name) + " JOB " + std::to_string(job) + (transa ? " A'" : " A") + " growth " +
                       std::to_string(growth));
          Za38 p = tbl::test::host_of(pr.a);
          p.cntl[1] = growth;
          ASSERT_EQ(p.analyse(job, transa), 0);
          const double tol = std::max(1e-14, 100 * tbl::test::factor_residual(p));
          tbl::test::new_values(p, pr.a, 0.05, 3);
          ASSERT_EQ(p.refactor(job, transa), 0);
          EXPECT_EQ(p.info[3], 0);  // nothing outside the prior pattern
          expect_factors(p, tol);
          if (pr.well_conditioned) {
            // The same solution as from factors chosen afresh for the new
            // values, in either orientation of the solve (as close as the
            // growth that the threshold lets into either set allows).
            Za38 fresh = p;
            ASSERT_EQ(fresh.analyse(job, transa), 0);
            const double agree = std::max(1e-12, 1e4 * tbl::test::factor_residual(fresh));
            for (const bool transc : {false, true})
              EXPECT_LT(relative_difference(solution(p, transc), solution(fresh, transc)), agree);
          }
          EXPECT_EQ(p.idx(p.lindex - 3), job == 1 ? 1 : 0);
          const std::vector<int32_t> keep(p.keep, p.keep + 5);
          const int32_t diag = p.info[15];
          tbl::test::new_values(p, pr.a, 0.05, 4);
          ASSERT_EQ(p.refactor(job, transa), 0);
          EXPECT_EQ(std::vector<int32_t>(p.keep, p.keep + 5), keep);
          EXPECT_EQ(p.info[15], diag);
          expect_factors(p, tol);
        }
}

// A block triangular form written by hand (blocks of order 1, and larger
// ones whose single record holds all their pivots), and a matrix on it:
// every road of the refactorisation over several blocks, with the entries
// above the blocks stored and those below dropped.
TEST(Za38bd, SeveralBlocksOnAStoredForm) {
  const std::vector<int32_t> orders = {1, 3, 1, 1, 4, 2, 1};
  za38test::HandFactors h;
  h.n = 13;
  std::mt19937 gen(5);
  std::vector<int32_t> block_of;
  for (std::size_t b = 0; b < orders.size(); ++b) {
    const int32_t m = orders[b];
    za38test::HandRecord r;
    r.k = m;
    r.colext = r.rowext = m;
    h.blocks.push_back(m == 1 ? za38test::HandBlock{1, 1.0, {}, -1} : za38test::HandBlock{m, 0.0, {r}, -1});
    block_of.insert(block_of.end(), m, static_cast<int32_t>(b));
  }
  h.offrowp.assign(h.n + 1, 1);
  for (int32_t k = 1; k <= h.n; ++k) h.cperm.push_back(k), h.rperm.push_back(k);
  std::shuffle(h.cperm.begin(), h.cperm.end(), gen);
  std::shuffle(h.rperm.begin(), h.rperm.end(), gen);
  h.ne = 1;
  h.free_ints = 2000;

  // The matrix in pivot positions: dense diagonal blocks with a dominant
  // diagonal, some entries above them, two below (to be dropped).
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<int32_t> rows, cols;
  std::vector<double> vals;
  auto add = [&](int32_t i, int32_t j, double v) {
    rows.push_back(h.rperm[i - 1]);
    cols.push_back(h.cperm[j - 1]);
    vals.push_back(v);
  };
  for (int32_t i = 1; i <= h.n; ++i)
    for (int32_t j = 1; j <= h.n; ++j) {
      if (block_of[i - 1] == block_of[j - 1])
        add(i, j, i == j ? 8.0 + u(gen) : u(gen));
      else if (block_of[i - 1] < block_of[j - 1] && (i + 2 * j) % 3 == 0)
        add(i, j, u(gen));
    }
  add(12, 2, 9.0);
  add(13, 5, 9.5);

  for (const int job : {0, 1})
    for (const bool transa : {false, true}) {
      SCOPED_TRACE("JOB " + std::to_string(job) + (transa ? " A'" : " A"));
      za38test::Stored st = za38test::store(h);
      Za38 p(h.n, transa ? cols : rows, transa ? rows : cols, vals);
      tbl::test::relength(p, st.lindex(), 4000);
      std::copy(st.index.begin(), st.index.end(), p.index.begin());
      p.keep[3] = st.keep[3];
      p.keep[4] = st.keep[4];
      const std::string text = tbl::test::messages(p, 3, [&] { p.refactor(job, transa); });
      EXPECT_EQ(p.info[0], 1);  // the two entries below the blocks
      EXPECT_EQ(p.info[3], 2);
      EXPECT_EQ(p.info[8], 7);
      EXPECT_EQ(p.info[7], 4);  // blocks of order 1
      EXPECT_NE(text.find(" ZA38BD: invalid entry (below diagonal blocks):\n"), std::string::npos);
      // Without the two dropped entries the factors are those of the matrix.
      p.row0.resize(p.ne() - 2);
      p.col0.resize(p.ne() - 2);
      p.val0.resize(p.ne() - 2);
      expect_factors(p, 1e-14);
      EXPECT_EQ(p.info[6], p.idx(p.keep[4] - 5));  // entries above the blocks, as stored
      EXPECT_GT(p.info[6], 0);
    }
}

// A pivot that is exactly zero for the new values stops the call with -6;
// one that fails at the length checks or in the kernel leaves the retained
// pattern as the host had it, so the host can call again on it.
TEST(Za38bd, FailuresLeaveThePatternUsable) {
  const Entries a = tbl::test::random_entries(50, 3, 1, 21);
  Za38 p = tbl::test::host_of(a);
  ASSERT_EQ(p.analyse(), 0);
  const double tol = std::max(1e-14, 100 * tbl::test::factor_residual(p));
  const tbl::test::StoredFactors f = layout(p);
  const int32_t k4 = p.keep[3], k5 = p.keep[4];
  auto restore = [&] {
    p.keep[3] = k4;
    p.keep[4] = k5;
  };

  // The first pivot meets no update: a zero there is a zero pivot.
  for (int e = 0; e < p.ne(); ++e)
    if (a.row[e] == f.rperm[0] && a.col[e] == f.cperm[0]) p.val0[e] = 0.0;
  const std::string text = tbl::test::messages(p, 1, [&] { p.refactor(); });
  EXPECT_EQ(p.info[0], -6);
  EXPECT_EQ(text, " ZA38BD: pivot order from ZA38AD failed!\n");
  EXPECT_EQ(std::vector<int32_t>(p.keep, p.keep + 5), std::vector<int32_t>(5, 0));
  // The marks the kernel leaves on the pattern are gone.
  EXPECT_TRUE(std::all_of(p.index.begin() + (k4 - 1), p.index.begin() + k5, [](int32_t w) { return w >= 0; }));
  restore();
  p.val0 = a.val;
  ASSERT_EQ(p.refactor(), 0);
  expect_factors(p, tol);

  // Too little VALUE for the entries, with more INDEX than before: the
  // region is neither moved nor touched.
  const int32_t lindex = p.lindex, lvalue = p.lvalue;
  const int32_t k4b = p.keep[3], k5b = p.keep[4];
  const std::vector<int32_t> region(p.index.begin() + (k4b - 1), p.index.begin() + k5b);
  tbl::test::relength(p, lindex + 50, 2 * p.ne() - 1);
  EXPECT_EQ(p.refactor(), -4);
  EXPECT_EQ(std::vector<int32_t>(p.index.begin() + (k4b - 1), p.index.begin() + k5b), region);
  p.keep[3] = k4b;
  p.keep[4] = k5b;
  tbl::test::relength(p, lindex + 50, lvalue);
  ASSERT_EQ(p.refactor(), 0);
  EXPECT_EQ(p.keep[4], lindex + 50);
  expect_factors(p, tol);
}

// A shortage reports the length a retry needs: INDEX at once (the length
// that failed is not it), VALUE at least further than before.
TEST(Za38bd, ShortLengthsReportWhatARetryNeeds) {
  const Entries a = tbl::test::grid2d(10, 0.4);
  Za38 p = tbl::test::host_of(a);
  ASSERT_EQ(p.analyse(), 0);
  // The entries given twice at half their values: the same matrix with
  // more entries, so the conversion needs more INDEX than the region's
  // old top; INDEX is sized just at that top.
  const int32_t d = p.keep[4] - p.keep[3];
  const int32_t r = 2 + (p.info[18] + d) / p.ne();
  Entries twice;
  twice.n = a.n;
  for (int c = 0; c < r; ++c) {
    twice.row.insert(twice.row.end(), a.row.begin(), a.row.end());
    twice.col.insert(twice.col.end(), a.col.begin(), a.col.end());
    for (double v : a.val) twice.val.push_back(v / r);
  }
  Za38 q = tbl::test::host_of(twice);
  q.set_lengths(static_cast<int32_t>(Za38::min_index(q.n, q.ne())), q.lvalue);
  ASSERT_EQ(q.analyse(), 2);  // duplicates summed
  const int32_t k4 = q.keep[3], k5 = q.keep[4];
  const std::vector<int32_t> region(q.index.begin() + (k4 - 1), q.index.begin() + k5);
  const std::string text = tbl::test::messages(q, 1, [&] { q.refactor(); });
  ASSERT_EQ(q.info[0], -3);
  const int32_t need = q.info[18];
  EXPECT_GT(need, q.lindex);
  EXPECT_EQ(q.info[17], q.lindex);
  EXPECT_EQ(text, " ZA38BD: LINDEX too small!  Must be greater than " +
                      std::string(12 - std::to_string(need).size(), ' ') + std::to_string(need) + "\n");
  EXPECT_EQ(std::vector<int32_t>(q.index.begin() + (k4 - 1), q.index.begin() + k5), region);

  // The host enlarges INDEX and gives the pattern again.
  tbl::test::relength(q, need, q.lvalue);
  q.keep[3] = k4;
  q.keep[4] = k5;
  EXPECT_EQ(q.refactor(), 2);
  expect_factors(q, 1e-13);

  // VALUE: the shortage reports how far the call got; the length the
  // first factorisation gave for later refactorisations gets through.
  Za38 v = tbl::test::host_of(a);
  ASSERT_EQ(v.analyse(), 0);
  const int32_t later = v.info[22];
  const std::vector<int32_t> keep(v.keep, v.keep + 5);
  tbl::test::relength(v, v.lindex, later / 2);
  EXPECT_EQ(v.refactor(), -4);
  EXPECT_GT(v.info[20], later / 2);
  std::copy(keep.begin(), keep.end(), v.keep);
  tbl::test::relength(v, v.lindex, later);
  EXPECT_EQ(v.refactor(), 0);
  expect_factors(v, 1e-13);

  // Both short at the entry checks: both texts, INDEX's first; the lengths
  // used stay within the arrays while INFO(19) is the length INDEX needs.
  const std::vector<int32_t> pattern(v.index.begin() + (v.keep[3] - 1), v.index.begin() + v.keep[4]);
  const auto dv = static_cast<int32_t>(pattern.size()) - 1;
  const int64_t both_need = Za38::min_index(v.n, v.ne()) + dv + 1;
  tbl::test::relength(v, static_cast<int32_t>(both_need - 1), 2 * v.ne() - 1);
  std::copy(pattern.begin(), pattern.end(), v.index.begin() + (v.lindex - dv - 1));
  v.keep[3] = v.lindex - dv;
  v.keep[4] = v.lindex;
  const std::string both = tbl::test::messages(v, 1, [&] { v.refactor(); });
  EXPECT_EQ(v.info[0], -5);
  auto i12 = [](int64_t x) { return std::string(12 - std::to_string(x).size(), ' ') + std::to_string(x); };
  EXPECT_EQ(both, " ZA38BD: LINDEX too small!  Must be greater than " + i12(both_need) +
                      "\n ZA38BD: LVALUE too small!  Must be greater than " + i12(2 * v.ne()) + "\n");
  EXPECT_EQ(v.info[17], v.lindex);
  EXPECT_EQ(v.info[18], both_need);
  EXPECT_EQ(v.info[19], v.lvalue);
  EXPECT_EQ(v.info[21], v.lindex);
}

// A damaged retained region, or KEEP of a failed call, is refused.
TEST(Za38bd, DamagedFactorsAreRefused) {
  const Entries a = tbl::test::random_entries(30, 3, 1, 31);
  struct Case {
    const char* name;
    void (*damage)(Za38&);
  };
  const std::vector<Case> cases = {
      {"KEEP of a failed call", [](Za38& p) { std::fill(p.keep, p.keep + 5, 0); }},
      {"KEEP(5) beyond LINDEX", [](Za38& p) { p.keep[4] = p.lindex + 1; }},
      {"trailer of another order", [](Za38& p) { p.index[p.keep[4] - 2] = p.n + 1; }},
      {"column permutation repeated",
       [](Za38& p) { p.index[p.keep[4] - 2 * p.n - 7] = p.index[p.keep[4] - 2 * p.n - 6]; }},
      {"record table outside the region", [](Za38& p) { p.index[p.keep[3] + 4] = 1 << 28; }},
      {"a record with a negative count",
       [](Za38& p) {
         const int32_t r = p.index[p.keep[3]];  // records
         p.index[p.keep[3] + 5 + r + 2] = -3;   // columns of the lowest record
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Za38 p = tbl::test::host_of(a);
    ASSERT_EQ(p.analyse(), 0);
    c.damage(p);
    const std::string text = tbl::test::messages(p, 1, [&] { p.refactor(); });
    EXPECT_EQ(p.info[0], -7);
    EXPECT_EQ(text, " ZA38BD: LU factors uncomputed or corrupted!\n");
  }
}

// Entries with no place in the stored structure are dropped and counted,
// and listed at print level 3.
TEST(Za38bd, EntriesOutsideTheStructure) {
  // Column 4 empty: three pivots; a new entry (4,4) falls in the arrowhead
  // of the pivot never found, (1,2) outside every record.
  Entries a;
  a.n = 4;
  a.row = {1, 2, 3, 4, 2, 1};
  a.col = {1, 2, 3, 1, 3, 3};
  a.val = {2.0, 3.0, 4.0, 1.0, 0.5, -1.0};
  Za38 p = tbl::test::host_of(a);
  p.icntl[3] = 0;
  ASSERT_EQ(p.analyse(), 4);
  p.row0.insert(p.row0.end(), {4, 1, 9});
  p.col0.insert(p.col0.end(), {4, 4, 1});
  p.val0.insert(p.val0.end(), {7.0, 0.25, 1.0});
  const std::string text = tbl::test::messages(p, 3, [&] { p.refactor(); });
  EXPECT_EQ(p.info[0], 5);  // entries ignored, singular
  EXPECT_EQ(p.info[2], 1);  // out of range
  EXPECT_EQ(p.info[3], 2);  // not in the prior pattern
  EXPECT_NE(text.find(" ZA38BD: invalid entry (prior matrix singular):\n"
                      "    row:            4 col:            4 value:  0.7000D+01\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(" ZA38BD: invalid entry (not in pattern of prior factors)\n"
                      "    row:            1 col:            4 value:  0.2500D+00\n"),
            std::string::npos);
  EXPECT_NE(text.find(" ZA38BD:            2 invalid entries ignored (not in prior pattern).\n"), std::string::npos);
  EXPECT_NE(text.find(" ZA38BD: matrix is singular.  Only            3 pivots found.\n"), std::string::npos);
  EXPECT_NE(text.find("Nonzero pattern of prior LU factors:"), std::string::npos);
  EXPECT_NE(text.find("end of ZA38BD output"), std::string::npos);
}

TEST(Za38bd, ArgumentErrorsAndTheirTexts) {
  const Entries a = tbl::test::random_entries(6, 2, 1, 41);
  struct Case {
    const char* name;
    void (*set)(Za38&);
    int32_t status;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"N = 0", [](Za38& p) { p.n = 0; }, -1, " ZA38BD: N less than one!\n"},
      {"NE = 0", [](Za38& p) { p.row0.clear(), p.col0.clear(), p.val0.clear(); }, -2, " ZA38BD: NE less than one!\n"},
      {"NE above KEEP(4)/2",
       [](Za38& p) {
         p.keep[3] = 2 * p.ne() - 1;
         p.keep[4] = std::max(p.keep[4], p.keep[3] + 6);
       },
       -2, nullptr},
      {"N of another matrix", [](Za38& p) { p.n += 1; }, -7, " ZA38BD: LU factors uncomputed or corrupted!\n"},
      {"LVALUE short", [](Za38& p) { tbl::test::relength(p, p.lindex, 1); }, -4, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Za38 p = tbl::test::host_of(a);
    ASSERT_EQ(p.analyse(), 0);
    c.set(p);
    const std::string text = tbl::test::messages(p, 1, [&] { p.refactor(); });
    EXPECT_EQ(p.info[0], c.status);
    auto i12 = [](int32_t v) { return std::string(12 - std::to_string(v).size(), ' ') + std::to_string(v); };
    if (c.text)
      EXPECT_EQ(text, c.text);
    else if (c.status == -2)
      EXPECT_EQ(text, " ZA38BD: NE too large!  Must be less than " + i12(p.ne() - 1) + "\n");
    else
      EXPECT_EQ(text, " ZA38BD: LVALUE too small!  Must be greater than " + i12(2 * p.ne()) + "\n");
  }
}

}  // namespace
