// Drives MA48 through the exported entry points, as a host does, with every
// array exactly as long as the documented requirement (so that a sanitizer
// build catches any write beyond it).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/mtx.hpp"

namespace tbl::test {

// Built with AddressSanitizer, where the largest cases are left out.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

struct Ma48 {
  int32_t m = 0, n = 0, ne = 0, la = 0;
  std::vector<int32_t> irn, jcn, keep, iw;
  std::vector<double> a;
  double cntl[5] = {};
  int32_t icntl[9] = {};
  int32_t info[12] = {};
  double rinfo[1] = {};
  // The entries as given, for refactorisations and residuals.
  std::vector<int32_t> row0, col0;
  std::vector<double> val0;

  // LA = max(2*NE, la_factor*NE); messages off unless a unit is given.
  Ma48(int32_t m, int32_t n, std::vector<int32_t> rows, std::vector<int32_t> cols, std::vector<double> vals,
       int32_t la_factor = 10);
  explicit Ma48(const Coo& c, int32_t la_factor = 10);

  void quiet();
  // Fails the test when a phase wrote beyond KEEP, A, IRN or JCN.
  void check_guards() const;
  // A fresh A/IRN/JCN of length LA (for a new analysis).
  void resize_la(int32_t la);
  // Longer arrays keeping their contents, as a host retrying with more
  // storage does.
  void grow_la(int32_t la);
  // Each phase returns INFO(1).
  int32_t analyse(int32_t job = 1);
  int32_t factorise(int32_t job = 1);
  int32_t factorise(const std::vector<double>& values, int32_t job = 1);
  // RHS as MA48CD left it in the last solve.
  std::vector<double> last_rhs;

  // Solves with the given right-hand side (copied, the copy kept in
  // last_rhs); x receives the solution.  W, IW and X are exactly as long as
  // documented; outside sanitizer builds a guard zone behind each is checked.
  int32_t solve(const std::vector<double>& rhs, std::vector<double>& x, bool trans = false, int32_t job = 1,
                double* error = nullptr);

  // Max-norm of b - op(A) x over max-norm of b, from the original entries
  // (in-range ones, duplicates summed).
  double relative_residual(const std::vector<double>& b, const std::vector<double>& x, bool trans) const;
  // op(A) x from the original entries.
  std::vector<double> apply(const std::vector<double>& x, bool trans) const;

  // KEEP section helpers (1-based as in the documentation).
  int32_t keep1(int64_t i) const { return keep[i - 1]; }
  int32_t nb() const { return keep1(int64_t(m) + 5 * int64_t(n) + 2 + 3); }
  int32_t block_order(int k) const { return keep1(int64_t(m) + 5 * int64_t(n) + 3 * k); }
  int32_t block_flag(int k) const { return keep1(int64_t(m) + 5 * int64_t(n) + 1 + 3 * k); }
  int32_t block_start(int k) const { return keep1(int64_t(m) + 5 * int64_t(n) + 2 + 3 * k); }
  int32_t iptrd(int j) const { return keep1(int64_t(m) + 3 * int64_t(n) + j); }
  int32_t iptro(int j) const { return keep1(int64_t(m) + 4 * int64_t(n) + 1 + j); }
  int32_t lblock(int k) const { return keep1(int64_t(m) + 5 * int64_t(n) + 2 + 3 * int64_t(nb()) + k); }
};

// Order-2 cycles {1,2} and {5,6}, the singletons 3 and 4 between them in the
// dependency order, and the singleton 7 with no coupling at all: blocks
// {5,6}, the triangular run {4,3}, {1,2} and the triangular {7}.
Ma48 reducible_matrix();

// NB cycles of order 8 with their diagonals (the first coupled to the
// second by one entry): the kernel takes the first columns of each as
// sparse pivots.  EXTRAS adds three duplicates and an out-of-range entry.
Ma48 cycle_matrix(int32_t nb = 1, bool extras = false);

// Runs BODY with the error and monitoring units of P on one captured unit
// and the print level LEVEL; returns what was written and leaves P quiet.
std::string messages(Ma48& p, int32_t level, const std::function<void()>& body);

// Checks what the analysis leaves for the later phases against the entries
// given: two permutations in KEEP, the permuted matrix in IRN/KEEP pointers
// (block upper triangular, triangular blocks with their diagonal first) and
// the map in JCN.  Returns an empty string when everything holds, else the
// first fault found.
std::string layout_fault(const Ma48& p);

// The componentwise backward errors (OMEGA(1), OMEGA(2)) of X for op(A) x =
// b, evaluated independently in extended precision from the original
// entries, with the solver's split of the equations into the two kinds.
// G1 and G2, when given, receive the weights of the two kinds (zero for the
// equations of the other kind) that scale the error estimate.
std::pair<double, double> backward_errors(const Ma48& p, const std::vector<double>& b,
                                          const std::vector<double>& x, bool trans,
                                          std::vector<long double>* g1 = nullptr,
                                          std::vector<long double>* g2 = nullptr);

// Runs BODY with a fresh file attached to UNIT and returns what was written.
std::string capture_unit(int32_t unit, const std::function<void()>& body);

// A random right-hand side in [-1, 1] (fixed seed per call site).
std::vector<double> random_vector(int32_t n, unsigned seed);

}  // namespace tbl::test
