// Problems for the refactorisation tests and benchmark, and an independent
// check of stored factors of any size: (L*U over the diagonal blocks + the
// stored entries above them) applied to a vector, against P*M*Q applied to
// it from the host's entries.
#pragma once

#include <string>
#include <vector>

#include "multifrontal_lu/za38_support.hpp"

namespace tbl::test {

struct Entries {
  int n = 0;
  std::vector<int32_t> row, col;
  std::vector<double> val;
};

// Random unsymmetric matrix of order n: a hidden transversal with a
// dominant diagonal and about `per_col` further entries a column; with
// `blocks` > 1 only entries on or above a block diagonal of that many
// blocks are kept (rows and columns then shuffled), so the matrix is
// reducible.
Entries random_entries(int n, double per_col, int blocks, unsigned seed);
// The 5-point convection-diffusion operator on a g by g grid, and the
// 7-point one on a g^3 grid.
Entries grid2d(int g, double wind);
Entries grid3d(int g, double wind);
// A matrix of tests/data/matrices (a stored triangle mirrored).
Entries file_entries(const std::string& file);

Za38 host_of(const Entries& a);
// The same pattern, every value multiplied by 1 + spread*u, u in [-1, 1].
void new_values(Za38& p, const Entries& a, double spread, unsigned seed);

// New lengths of INDEX and VALUE for the next call, INDEX keeping its
// contents (the retained region) as far as it reaches.
void relength(Za38& p, int32_t lindex, int32_t lvalue);

// max |(LU + OFF) x - P M Q x| / max (|P M Q| |x|) over the pivot
// positions, for a random x; M is the matrix held by the last factorising
// call.  Blocks whose pivots were not all found are left out.
double factor_residual(const Za38& p);

}  // namespace tbl::test
