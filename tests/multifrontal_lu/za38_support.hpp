// Drives the multifrontal LU as a host does, with INDEX and VALUE exactly as
// long as the lengths passed (a guard zone behind them outside sanitizer
// builds), and reads the stored factors back with a reader of its own, so
// that the tests check the documented layout rather than the library's
// helpers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/mtx.hpp"

namespace tbl::test {

struct Za38 {
  int32_t n = 0;
  // The host's entries as given (rows, columns, values).
  std::vector<int32_t> row0, col0;
  std::vector<double> val0;

  int32_t lindex = 0, lvalue = 0;
  std::vector<int32_t> index;
  std::vector<double> value;
  int32_t keep[20] = {};
  int32_t icntl[20] = {};
  int32_t info[40] = {};
  double cntl[10] = {};
  double rinfo[20] = {};
  int32_t job = 0;
  bool transa = false;

  // Defaults from ZA38ID, messages off; lengths generous unless set.
  Za38(int32_t n, std::vector<int32_t> rows, std::vector<int32_t> cols, std::vector<double> vals);
  explicit Za38(const Coo& c);

  int32_t ne() const { return static_cast<int32_t>(row0.size()); }
  static int64_t min_index(int64_t n, int64_t ne) { return ne + 2 * n + 1 + std::max(n + 1, 2 * ne); }
  static int64_t min_value(int64_t ne) { return 2 * ne; }

  void quiet();
  // Fresh INDEX and VALUE of the given lengths (their contents are lost).
  void set_lengths(int32_t lindex, int32_t lvalue);
  // Loads the entries into INDEX/VALUE and calls ZA38AD; returns INFO(1).
  int32_t analyse(int32_t job = 0, bool transa = false);
  // As analyse, growing INDEX and VALUE to the reported needs after a
  // shortage (at most a few times).
  int32_t analyse_growing(int32_t job = 0, bool transa = false);
  // Loads the entries (new values on the stored pattern) and calls ZA38BD
  // on the factors left by the last call; returns INFO(1).
  int32_t refactor(int32_t job = 0, bool transa = false);
  // Calls ZA38CD with W of the length it documents (2N, 4N with
  // refinement); returns INFO(1).
  int32_t solve(const std::vector<double>& b, std::vector<double>& x, int32_t job = 0, bool transc = false);
  // Fails the calling test when a call wrote past INDEX or VALUE.
  void check_guards() const;

  int32_t idx(int64_t p) const { return index[p - 1]; }  // INDEX(p)
  double val(int64_t p) const { return value[p - 1]; }   // VALUE(p)

  // op(M) x from the host's entries (in-range ones, duplicates summed),
  // where M is A or A' as factorised; op is M' when trans.
  std::vector<double> apply(const std::vector<double>& x, bool trans) const;
  // Max-norm of b - op(M) x over that of b.
  double relative_residual(const std::vector<double>& b, const std::vector<double>& x, bool trans) const;
};

// The factors read back by the documented layout.
struct StoredFactors {
  int32_t n = 0, nz = 0, nblocks = 0, noffdiag = 0, transa = 0, preserve = 0, ne = 0;
  std::vector<int32_t> cperm, rperm, ib;  // ib(1..nblocks+1) (1 and n+1 with one block)
  // Dense P M Q blocks as L and U in pivot positions (row-major n by n),
  // and the entries above the diagonal blocks (row, column position, value).
  std::vector<double> l, u;
  struct Off {
    int32_t row, col;
    double v;
  };
  std::vector<Off> off;
  std::vector<int32_t> pivots_found;  // per block
};

// Reads the factors (n up to a few hundred: dense L and U); returns an empty
// string when the layout holds together, else the first fault.
std::string read_factors(const Za38& p, StoredFactors& f);

// The held matrix (A or A' as in the last analyse) in dense row-major form.
std::vector<double> held_dense(const Za38& p);

// Checks L U against P M Q on every block whose pivots were all found, and
// the off-diagonal entries against M; empty when they agree to TOL
// relative to the largest entry of M.
std::string reconstruction_fault(const Za38& p, double tol = 1e-12);

// Runs BODY with a fresh file attached to UNIT and returns what was written.
std::string capture_unit(int32_t unit, const std::function<void()>& body);

// Runs BODY with the error and diagnostics units of P on one captured unit
// at print level LEVEL, and leaves P quiet again.
std::string messages(Za38& p, int32_t level, const std::function<void()>& body);

}  // namespace tbl::test
