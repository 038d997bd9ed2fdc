// Test support for the multifrontal factorisation: random problems, one
// factorisation through the front end laid out as ZA38AD lays out INDEX
// and VALUE, and an independent check that rebuilds P*M*Q and L*U densely
// from the stored LU records.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "interface/common.hpp"

namespace tbl::za38test {

struct Problem {
  int n = 0;
  std::vector<int> row, col;  // 1-based
  std::vector<double> val;
  int nnz() const { return static_cast<int>(row.size()); }
  Problem transposed() const;
};

struct ProblemSpec {
  int n = 10;
  double density = 0.2;  // probability of an entry off the hidden transversal
  int dense_cols = 0;    // columns made full
  int dense_rows = 0;    // rows made full
  int empty_cols = 0;    // columns emptied: structurally singular
  int zero_cols = 0;     // columns whose values are all 0.0: numerically singular
  unsigned seed = 1;
};
Problem random_problem(const ProblemSpec& spec);

struct Controls {
  std::array<fint, 20> icntl{};
  std::array<double, 10> cntl{};
  std::array<fint, 20> keep{};
  Controls();  // the package defaults, messages off
};

struct FactorRun {
  int n = 0;
  bool preserve = false;
  std::vector<fint> index;
  std::vector<double> value;
  fint fi = 0, fv = 0;          // first positions of the factors in W and AX
  std::int64_t w0 = 0, ax0 = 0;  // W(1) is index[w0], AX(1) is value[ax0]
  fint lw = 0;
  fint noffdiag = 0, nblocks = 0;
  std::array<fint, 40> info{};
  std::array<double, 20> rinfo{};
  fint status() const { return info[0]; }
  const fint* w() const { return index.data() + w0; }
  const double* ax() const { return value.data() + ax0; }
};

// Factorises M (the problem as given) with the front end, in the layout of
// ZA38AD with or without the preserved copy; lindex/lvalue are the whole
// lengths of INDEX and VALUE.
FactorRun factorise(const Problem& m, fint lindex, fint lvalue, const Controls& ctl, bool preserve = false);

struct Check {
  int pivots = 0;      // pivots found, from the block factor
  double error = 0.0;  // max |P M Q - L U| over rows or columns 1..pivots, relative to max |M|
  double growth = 0.0;  // max |U| relative to max |M|
  std::string fault;   // a structural fault of the stored records, empty when none
  long long u_entries = 0, l_entries = 0;  // sums of c*k + k(k-1)/2 and r*k + k(k-1)/2 over the records
  int records = 0;
};
// Rebuilds the factors of a successful run densely (small N only).
Check check_factors(const Problem& m, const FactorRun& run);

}  // namespace tbl::za38test
