// ZA38BD against ZA38AD over many random problems and every control that
// shapes the stored structure: refactorising the values the structure was
// chosen for gives the first factorisation's factors again (same records,
// same statistics); new values give factors of the new matrix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "multifrontal_lu/za38_layout.hpp"
#include "za38_support.hpp"
#include "za38bd_support.hpp"

namespace {

using tbl::test::Entries;
using tbl::test::Za38;
namespace lay = tbl::za38;

// Random values without a dominant diagonal, so that the first
// factorisation pivots off the diagonal and grows its fronts; a hidden
// transversal keeps the matrix nonsingular, a few dense rows and columns
// and (with BLOCKS > 1) a block triangular form shape the structure.
Entries wild_entries(int n, double per_col, int blocks, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::uniform_int_distribution<int> pick(1, n);
  auto block_of = [&](int i) { return (i - 1) * blocks / n; };
  std::map<std::pair<int, int>, double> m;
  for (int j = 1; j <= n; ++j) {
    m[{j, j}] = u(gen) + (u(gen) < 0 ? -0.5 : 0.5);
    for (int t = 0; t < per_col; ++t) {
      const int i = pick(gen);
      if (block_of(i) <= block_of(j)) m[{i, j}] = u(gen);
    }
  }
  if (n > 8) {
    const int dense = pick(gen);
    for (int j = 1; j <= n; ++j)
      if (block_of(dense) <= block_of(j)) m[{dense, j}] = u(gen);
  }
  std::vector<int> p(n), q(n);
  for (int i = 0; i < n; ++i) p[i] = q[i] = i + 1;
  std::shuffle(p.begin(), p.end(), gen);
  std::shuffle(q.begin(), q.end(), gen);
  Entries a;
  a.n = n;
  for (const auto& [ij, v] : m) {
    a.row.push_back(p[ij.first - 1]);
    a.col.push_back(q[ij.second - 1]);
    a.val.push_back(v);
  }
  return a;
}

// Every real of the block factors by where it stands in P M Q (block,
// row position, column position), so that two factor sets on one
// structure can be compared whatever order each call wrote its lists in.
using Reals = std::map<std::tuple<int32_t, int32_t, int32_t>, double>;
Reals block_reals(const Za38& h) {
  auto ix = [&](lay::Pos p) { return h.index[p - 1]; };
  auto vx = [&](lay::Pos p) { return h.value[p - 1]; };
  const lay::Pos k1 = h.keep[0], k4 = h.keep[3], k5 = h.keep[4];
  lay::TopData top(k5, h.n, 1);
  const int32_t nb = ix(top.trailer_word(lay::kTrNblocks));
  const int32_t noff = ix(top.trailer_word(lay::kTrNoffdiag));
  const int32_t nz = ix(top.trailer_word(lay::kTrNz));
  const bool pres = ix(top.trailer_word(lay::kTrPreserve)) != 0;
  top = lay::TopData(k5, h.n, nb);
  const lay::Pos xb = k1 + (pres ? nz : 0) + (nb >= 2 ? noff : 0);
  Reals out;
  for (int32_t t = 1; t <= nb; ++t) {
    const int32_t m = nb == 1 ? h.n : ix(top.ib() + t) - ix(top.ib() + t - 1);
    const int32_t bfptr = nb == 1 ? 1 : ix(top.bfptr() + t - 1);
    if (m == 1 && nb >= 2) {
      out[{t, 1, 1}] = vx(xb + bfptr - 1);
      continue;
    }
    const lay::Pos e = k4 + bfptr - 1, br = xb + ix(e) - 1;
    const int32_t records = ix(e + lay::kBfRecords);
    int32_t off = 0;
    for (int32_t j = 1; j <= records; ++j) {
      const lay::Pos rec = lay::bf_record(e, records, ix(lay::bf_table(e, j)));
      const int32_t k = ix(rec + lay::kRecPivots), c = ix(rec + lay::kRecCols), r = ix(rec + lay::kRecRows);
      const lay::Pos q = br + ix(rec) - 1, ldr = k + r;
      for (int32_t pc = 1; pc <= k; ++pc) {
        for (int32_t pr = 1; pr <= k; ++pr) out[{t, off + pr, off + pc}] = vx(q + (pr - 1) + (pc - 1) * ldr);
        for (int32_t i = 1; i <= r; ++i) out[{t, ix(rec + 6 + i), off + pc}] = vx(q + k + (i - 1) + (pc - 1) * ldr);
        for (int32_t i = 1; i <= c; ++i)
          out[{t, off + pc, ix(rec + 6 + r + i)}] = vx(q + k * ldr + (pc - 1) + lay::Pos{i - 1} * k);
      }
      off += k;
    }
  }
  return out;
}

double max_abs(const Reals& v) {
  double m = 0.0;
  for (const auto& [at, x] : v) m = std::max(m, std::abs(x));
  return m;
}

// The host of AD with INDEX and VALUE of new lengths, the retained region
// moved to the top of INDEX as the host may move it.
Za38 on_region(const Za38& ad, int32_t lindex, int32_t lvalue) {
  Za38 p = ad;
  p.set_lengths(lindex, lvalue);
  const int32_t d = ad.keep[4] - ad.keep[3];
  std::copy(ad.index.begin() + (ad.keep[3] - 1), ad.index.begin() + ad.keep[4], p.index.begin() + (lindex - d - 1));
  p.keep[3] = lindex - d;
  p.keep[4] = lindex;
  return p;
}

struct Controls {
  int32_t btf, nb, symmetry, job;
  bool transa;
  double growth, tol;
};

std::string describe(const Controls& c) {
  return "BTF " + std::to_string(c.btf) + " NB " + std::to_string(c.nb) + " sym " + std::to_string(c.symmetry) +
         " JOB " + std::to_string(c.job) + (c.transa ? " A'" : " A") + " growth " + std::to_string(c.growth) +
         " u " + std::to_string(c.tol);
}

TEST(Za38bdSweep, SameValuesGiveTheSameFactorsAndNewValuesFactorise) {
  std::mt19937 gen(2024);
  std::uniform_int_distribution<int> size(2, 70), blocks(1, 6), dice(0, 5);
  int cases = 0, compacted = 0, shortened = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const int n = size(gen);
    const Entries a = wild_entries(n, 1 + dice(gen) % 4, dice(gen) < 3 ? 1 : blocks(gen), 1000 + trial);
    const Controls c{dice(gen) < 4 ? 1 : 0,
                     std::vector<int32_t>{1, 2, 3, 16}[dice(gen) % 4],
                     dice(gen) < 2 ? 1 : 0,
                     dice(gen) < 3 ? 1 : 0,
                     dice(gen) < 2,
                     std::vector<double>{1.0, 1.0, 1.2, 2.0}[dice(gen) % 4],
                     std::vector<double>{0.01, 0.1, 0.5, 1.0}[dice(gen) % 4]};
    SCOPED_TRACE("trial " + std::to_string(trial) + " n " + std::to_string(n) + " " + describe(c));
    Za38 ad = tbl::test::host_of(a);
    ad.icntl[3] = c.btf;
    ad.icntl[5] = c.symmetry;
    ad.icntl[6] = c.nb;
    ad.cntl[0] = c.tol;
    ad.cntl[1] = c.growth;
    const int32_t st = ad.analyse(c.job, c.transa);
    ASSERT_GE(st, 0);
    ++cases;

    // The values the structure was chosen for: the same factors, to
    // rounding (blocked and unblocked updates sum in other orders).
    Za38 bd = ad;
    ASSERT_EQ(bd.refactor(c.job, c.transa), st);
    EXPECT_EQ(bd.info[3], 0);
    for (const int i : {2, 3, 7, 8, 9, 10, 11, 12, 16, 17}) EXPECT_EQ(bd.info[i - 1], ad.info[i - 1]) << "INFO " << i;
    const Reals fa = block_reals(ad), fb = block_reals(bd);
    ASSERT_EQ(fa.size(), fb.size());
    double diff = 0.0;
    for (const auto& [at, v] : fa) {
      const auto it = fb.find(at);
      diff = it == fb.end() ? HUGE_VAL : std::max(diff, std::abs(v - it->second));
      if (it == fb.end()) break;
    }
    EXPECT_LE(diff, 1e-9 * max_abs(fa));

    // New values, with the other JOB and INDEX grown by some words: the
    // region slides to the new top and the factors are the new matrix's.
    tbl::test::new_values(bd, a, 0.2, trial);
    tbl::test::relength(bd, bd.lindex + trial % 7, bd.lvalue);
    const int32_t st2 = bd.refactor(1 - c.job, c.transa);
    ASSERT_GE(st2, 0);
    EXPECT_EQ(bd.info[3], 0);
    EXPECT_EQ(bd.keep[4], bd.lindex);
    const double fr = tbl::test::factor_residual(bd);
    EXPECT_GE(fr, 0.0);
    EXPECT_LT(fr, 1e-8);
    // The solve, refining with the copy kept when JOB is 1, answers the
    // new matrix in either orientation.
    bd.icntl[7] = c.job == 0 ? 2 : 0;
    for (const bool transc : {false, true}) {
      std::vector<double> b(n), x;
      for (int i = 0; i < n; ++i) b[i] = 1.0 + (i % 5);
      ASSERT_GE(bd.solve(b, x, 0, transc), 0);
      EXPECT_LT(bd.relative_residual(b, x, transc), 1e-8) << (transc ? "A'x = b" : "Ax = b");
    }

    // The lengths either factorising call gives for the next refactorisation
    // (with the same JOB) suffice; less VALUE either still factorises
    // (compacting) or reports a shortage beyond the length given.
    for (const Za38* before : {&ad, &bd}) {
      const int32_t job = before == &ad ? c.job : 1 - c.job;
      Za38 next = on_region(*before, before->info[21], before->info[22]);
      tbl::test::new_values(next, a, 0.2, trial + 1);
      EXPECT_GE(next.refactor(job, c.transa), 0) << (before == &ad ? "after ZA38AD" : "after ZA38BD");
      EXPECT_LT(tbl::test::factor_residual(next), 1e-8);
    }
    Za38 tight = on_region(ad, ad.info[21], std::max(2 * ad.ne(), ad.info[22] * 3 / 4));
    tbl::test::new_values(tight, a, 0.2, trial + 1);
    const int32_t st3 = tight.refactor(c.job, c.transa);
    if (st3 >= 0) {
      EXPECT_LT(tbl::test::factor_residual(tight), 1e-8);
      compacted += tight.info[14] > 0;
    } else {
      EXPECT_EQ(st3, -4);
      EXPECT_GT(tight.info[20], tight.lvalue);
    }

    // INDEX just long enough for the entry checks: a shortage further on
    // reports a length with which the same call succeeds.
    const int64_t ne = ad.ne(), nn = n, d = ad.keep[4] - ad.keep[3];
    const auto entry_need = static_cast<int32_t>(ne + 2 * nn + std::max(nn + 1, 2 * ne) + d + 2);
    Za38 shortl = on_region(ad, entry_need, ad.lvalue);
    tbl::test::new_values(shortl, a, 0.2, trial + 2);
    const int32_t st4 = shortl.refactor(c.job, c.transa);
    if (st4 < 0) {
      ++shortened;
      ASSERT_EQ(st4, -3);
      EXPECT_EQ(shortl.info[17], entry_need);
      const int32_t need = shortl.info[18];
      EXPECT_GT(need, entry_need);
      shortl = on_region(ad, need, ad.lvalue);
      tbl::test::new_values(shortl, a, 0.2, trial + 2);
      EXPECT_GE(shortl.refactor(c.job, c.transa), 0) << "retry with " << need;
      EXPECT_LT(tbl::test::factor_residual(shortl), 1e-8);
    }
  }
  // Both roads were taken often enough to mean something.
  EXPECT_GT(compacted, 20);
  EXPECT_GT(shortened, 20);
  EXPECT_GT(cases, 300);
}

}  // namespace
