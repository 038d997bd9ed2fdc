// The growth of the factors, RINFO(9), against Gaussian elimination of the
// held matrix in the stored pivot order, and warning 16 on factors that
// grow past its limit: first-order upwind convection-diffusion grids,
// whose pivots all pass the threshold test while U grows with the grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "za38_support.hpp"

namespace {

using tbl::test::Za38;

struct Entries {
  std::vector<int32_t> r, c;
  std::vector<double> v;
  void add(int i, int j, double a) {
    r.push_back(i);
    c.push_back(j);
    v.push_back(a);
  }
};

// The 5-point operator on a k by k grid with convection 1 along x and 0.5
// along y, first-order upwind: diagonal 5.5, neighbours -2 (west), -1
// (east), -1.5 (south), -1 (north); its unknowns follow BASE.
void add_grid(Entries& e, int k, int base) {
  auto id = [k, base](int x, int y) { return base + 1 + x + k * y; };
  for (int y = 0; y < k; ++y)
    for (int x = 0; x < k; ++x) {
      const int i = id(x, y);
      e.add(i, i, 5.5);
      if (x > 0) e.add(i, id(x - 1, y), -2.0);
      if (x < k - 1) e.add(i, id(x + 1, y), -1.0);
      if (y > 0) e.add(i, id(x, y - 1), -1.5);
      if (y < k - 1) e.add(i, id(x, y + 1), -1.0);
    }
}

Za38 host(int n, const Entries& e) {
  Za38 p(n, e.r, e.c, e.v);
  const auto len = static_cast<int32_t>(40 * e.r.size() + 1000);
  p.set_lengths(len, len);
  return p;
}

Za38 grid(int k) {
  Entries e;
  add_grid(e, k, 0);
  return host(k * k, e);
}

// Two grids coupled one way by entries of 2000 above them, and three rows
// of order 1, one with the pivot 1000: the block triangular form has
// blocks of both kinds, U's largest entry is a pivot of order 1 and the
// matrix's largest entry lies above the diagonal blocks.
Za38 coupled() {
  Entries e;
  add_grid(e, 5, 0);
  add_grid(e, 6, 25);
  for (int i = 1; i <= 5; ++i) e.add(i, 25 + 7 * i, 2000.0);
  e.add(62, 62, 3.0);
  e.add(63, 63, 1000.0);
  e.add(64, 64, -0.5);
  e.add(62, 1, 2.0);
  e.add(63, 30, -1.0);
  e.add(64, 62, 4.0);
  return host(64, e);
}

// max |U| / max |M| of Gaussian elimination without pivoting on each
// diagonal block of P M Q, the permutations and blocks read from the
// stored factors.
double dense_growth(const Za38& p) {
  tbl::test::StoredFactors f;
  const std::string fault = tbl::test::read_factors(p, f);
  EXPECT_EQ(fault, "");
  if (!fault.empty()) return -1.0;
  const std::vector<double> m = tbl::test::held_dense(p);
  const size_t n = p.n;
  double amax = 0.0, umax = 0.0;
  for (double x : m) amax = std::max(amax, std::fabs(x));
  for (size_t t = 0; t + 1 < f.ib.size(); ++t) {
    const size_t s = f.ib[t] - 1, nb = f.ib[t + 1] - f.ib[t];
    std::vector<double> a(nb * nb);
    for (size_t i = 0; i < nb; ++i)
      for (size_t j = 0; j < nb; ++j) a[i * nb + j] = m[(f.rperm[s + i] - 1) * n + (f.cperm[s + j] - 1)];
    std::vector<size_t> cols;
    for (size_t k = 0; k < nb; ++k) {
      cols.clear();
      for (size_t j = k; j < nb; ++j) {
        umax = std::max(umax, std::fabs(a[k * nb + j]));
        if (j > k && a[k * nb + j] != 0.0) cols.push_back(j);
      }
      for (size_t i = k + 1; i < nb; ++i) {
        if (a[i * nb + k] == 0.0) continue;
        const double l = a[i * nb + k] / a[k * nb + k];
        for (size_t j : cols) a[i * nb + j] -= l * a[k * nb + j];
      }
    }
  }
  return amax > 0.0 ? umax / amax : 0.0;
}

struct Case {
  std::string name;
  std::function<Za38()> make;
  int32_t symmetry = 0, job = 0;
  bool transa = false;
  // New values on the same pattern for ZA38BD (none: ZA38AD only).
  std::function<void(Za38&)> revalue = {};
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void steeper(Za38& p) {  // neighbours times 1.3, diagonal times 1.3 plus 4
  for (size_t q = 0; q < p.val0.size(); ++q)
    p.val0[q] = p.row0[q] == p.col0[q] ? 1.3 * p.val0[q] + 4.0 : 1.3 * p.val0[q];
}
void scaled(Za38& p) {
  for (size_t q = 0; q < p.val0.size(); ++q) p.val0[q] *= q % 3 == 0 ? 1.5 : 0.75;
}

class Za38Growth : public ::testing::TestWithParam<Case> {};

TEST_P(Za38Growth, MatchesDenseEliminationInTheStoredOrder) {
  const Case& cs = GetParam();
  Za38 p = cs.make();
  p.icntl[5] = cs.symmetry;
  const int32_t st = p.analyse_growing(cs.job, cs.transa);
  ASSERT_GE(st, 0);
  if (cs.revalue) {
    cs.revalue(p);
    ASSERT_GE(p.refactor(cs.job, cs.transa), 0);
  }
  const double g = p.rinfo[8];
  EXPECT_NEAR(g, dense_growth(p), 1e-9 * g);
  EXPECT_EQ((p.info[0] & 16) != 0, g > 1e8) << "growth " << g;
}

INSTANTIATE_TEST_SUITE_P(
    Grids, Za38Growth,
    ::testing::Values(Case{"grid20", [] { return grid(20); }}, Case{"grid35", [] { return grid(35); }},
                      Case{"grid20_diagonal_preferred", [] { return grid(20); }, 1},
                      Case{"grid12_transposed_kept", [] { return grid(12); }, 0, 1, true},
                      Case{"coupled_blocks", coupled},
                      Case{"coupled_blocks_refactorised", coupled, 0, 0, false, scaled},
                      Case{"coupled_blocks_refactorised_kept", coupled, 0, 1, false, scaled},
                      Case{"grid35_refactorised_steeper", [] { return grid(35); }, 0, 0, false, steeper}),
    [](const ::testing::TestParamInfo<Case>& i) { return i.param.name; });

// The growth read back from the first line of the warning's message.
double growth_in(const std::string& text) {
  const size_t at = text.find("grew by ");
  if (at == std::string::npos) return -1.0;
  std::string num = text.substr(at + 8, 11);
  std::replace(num.begin(), num.end(), 'D', 'E');
  return std::strtod(num.c_str(), nullptr);
}

const std::string kAdvice =
    " (RINFO(9)); a solve may lose over half its digits.\n"
    "    A new ZA38AD with ICNTL(6) = 1 or a larger CNTL(1) usually gives accurate factors;\n"
    "    iterative refinement (ICNTL(8) > 0, matrix kept with JOB = 1) may recover\n"
    "    a solution when the growth is moderate, not always.\n";

// Warning 16 through both factorising phases: set with its message at
// print level 2 (none at 1), merged with other warnings, absent with
// diagonal pivots, and cleared by a refactorisation whose values no
// longer grow.
TEST(Za38GrowthWarning, SetMergedAndCleared) {
  Za38 big = grid(80);
  std::string out = tbl::test::messages(big, 2, [&] { big.analyse_growing(); });
  EXPECT_EQ(big.info[0], 16);
  EXPECT_GT(big.rinfo[8], 1e8);
  EXPECT_NEAR(growth_in(out), big.rinfo[8], 1e-3 * big.rinfo[8]);  // printed to 4 digits
  EXPECT_EQ(out.substr(0, 27), " ZA38AD: factors grew by 0.");
  EXPECT_EQ(out.substr(35), kAdvice);
  EXPECT_EQ(tbl::test::messages(big, 1, [&] { big.analyse(); }), "");
  EXPECT_EQ(big.info[0], 16);

  big.icntl[5] = 1;
  EXPECT_EQ(tbl::test::messages(big, 2, [&] { big.analyse(); }), "");
  EXPECT_EQ(big.info[0], 0);
  EXPECT_LT(big.rinfo[8], 10.0);

  // ZA38BD keeps ZA38AD's pivots; new values that make them small grow.
  Za38 p = grid(35);
  ASSERT_EQ(p.analyse(1), 0);
  const double first = p.rinfo[8];
  const std::vector<double> original = p.val0;
  steeper(p);
  p.row0.push_back(p.row0[0]);  // a duplicate: warning 2 besides
  p.col0.push_back(p.col0[0]);
  p.val0[0] -= 1.0;
  p.val0.push_back(1.0);
  out = tbl::test::messages(p, 2, [&] { p.refactor(1); });
  EXPECT_EQ(p.info[0], 2 + 16);
  EXPECT_GT(p.rinfo[8], 1e8);
  const std::string dup = " ZA38BD:            1 duplicate entries summed.\n";
  EXPECT_EQ(out.substr(0, dup.size()), dup);
  EXPECT_EQ(out.substr(dup.size(), 27), " ZA38BD: factors grew by 0.");
  EXPECT_EQ(out.substr(dup.size() + 35), kAdvice);
  EXPECT_NEAR(growth_in(out), p.rinfo[8], 1e-3 * p.rinfo[8]);

  p.row0.pop_back();
  p.col0.pop_back();
  p.val0 = original;
  EXPECT_EQ(tbl::test::messages(p, 2, [&] { p.refactor(1); }), "");
  EXPECT_EQ(p.info[0], 0);
  EXPECT_NEAR(p.rinfo[8], first, 1e-9 * first);

  // An entry outside the stored pattern is dropped, so it is no entry of
  // the matrix factorised, however large.
  p.row0.push_back(1);
  p.col0.push_back(p.n);
  p.val0.push_back(1e6);
  EXPECT_EQ(p.refactor(1), 1);
  EXPECT_EQ(p.info[3], 1);
  EXPECT_NEAR(p.rinfo[8], first, 1e-9 * first);
}

}  // namespace
