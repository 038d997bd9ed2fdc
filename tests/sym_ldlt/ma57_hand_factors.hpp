// Factor storage written by hand for small problems, with the dense matrices
// it stands for, so that the solve and the refinement can be checked against
// plain dense arithmetic.
#pragma once

#include <string>
#include <vector>

namespace tbl::test {

// Dense n x n, column-major, 0-based storage; indices in the accessors are
// 1-based variable numbers.
struct Dense {
  int n = 0;
  std::vector<double> v;
  explicit Dense(int order = 0) : n(order), v(static_cast<std::size_t>(order) * order, 0.0) {}
  double& operator()(int i, int j) { return v[(i - 1) + static_cast<std::size_t>(j - 1) * n]; }
  double operator()(int i, int j) const { return v[(i - 1) + static_cast<std::size_t>(j - 1) * n]; }
};

Dense multiply(const Dense& a, const Dense& b);
Dense transpose(const Dense& a);
std::vector<double> multiply(const Dense& a, const std::vector<double>& x);
// Solution of a x = b by Gaussian elimination with partial pivoting in
// extended precision (the reference answer for small systems).
std::vector<double> solve_exact(const Dense& a, const std::vector<double>& b);
// Inverse, column by column, in the same way.
Dense inverse(const Dense& a);

// One factor block: its pivots in elimination order and its other variables.
// Entries of pairs give the 1-based position k within pivots of the first
// half of a 2x2 pivot (pivots k and k+1 form it).
struct BlockLayout {
  std::vector<int> pivots;
  std::vector<int> rest;
  std::vector<int> pairs;
};

struct HandFactors {
  int n = 0;
  std::vector<double> fact;
  std::vector<int> ifact;
  Dense m;  // unit "lower" factor P L P^T in variable numbering
  Dense d;  // P D P^T
  Dense a;  // m d m^T
  int nblocks() const { return ifact[2]; }
};

// Writes the storage for the given blocks and the L and D held in m and d
// (only the positions the blocks own are read).
HandFactors store_factors(int n, const std::vector<BlockLayout>& blocks, const Dense& m, const Dense& d);

// Blocks filled with pseudo-random L entries and pivots (2x2 pivots
// indefinite, 1x1 pivots of either sign), from a fixed seed.
HandFactors random_factors(int n, const std::vector<BlockLayout>& blocks, unsigned seed);

// Four blocks over 16 variables in a scrambled order: 2x2 pivots at the
// start, inside and at the end of blocks, blocks with an odd and an even
// number of pivots, with and without other variables.
HandFactors mixed_factors();

// One block of 1x1 pivots D = diag(dv), L = I.
HandFactors diagonal_factors(const std::vector<double>& dv);

// LDL^T of a symmetric matrix without pivoting (all 1x1 pivots), stored as
// consecutive blocks of the given sizes, each block's other variables being
// all later ones.
HandFactors dense_ldlt(const Dense& a, const std::vector<int>& block_sizes);

// The lower triangle of a dense symmetric matrix as coordinate entries
// (nonzeros only).
struct Entries {
  std::vector<double> val;
  std::vector<int> irn, jcn;
  int ne() const { return static_cast<int>(val.size()); }
};
Entries lower_entries(const Dense& a);

// max |got - want| / max |want| (the plain difference when want is zero).
double rel_diff(const std::vector<double>& got, const std::vector<double>& want);
double max_abs(const std::vector<double>& v);

// Whether text ends with tail (for the last records a monitor prints).
bool ends_with(const std::string& text, const std::string& tail);

}  // namespace tbl::test
