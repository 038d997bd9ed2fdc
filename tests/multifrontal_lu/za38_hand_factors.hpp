// Factor sets written by hand in the documented layout of the stored LU
// factors, for the solve's tests: random records of given pivot counts in
// each diagonal block, random entries above the blocks, random permutations.
// The writer is the tests' own (it uses nothing of the library).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "za38_support.hpp"

namespace tbl::test {

struct HandShape {
  const char* name;
  int32_t n;
  // Per diagonal block: the pivot counts k of its records in pivot order
  // (a block of order 1 with one block of any other size around it is a
  // singleton with its pivot in VALUE).  Blocks cover 1..n in order.
  std::vector<std::vector<int32_t>> records;
  std::vector<int32_t> orders;  // order of each block
  bool preserve;
  unsigned seed;
};

void PrintTo(const HandShape& s, std::ostream* os);

// The factors in dense row-major n by n form, in pivot positions: L (unit,
// block diagonal), U (block diagonal; a position that a singular block left
// without a pivot has a unit diagonal, which is how the solves treat it) and
// O, the entries above the diagonal blocks.  P M Q = L U + O on every
// complete block.
struct HandDense {
  int32_t n = 0;
  std::vector<double> l, u, o;
  std::vector<int32_t> cperm, rperm;
};

// Writes the factors of SHAPE into P's INDEX, VALUE and KEEP (resizing them,
// with SLACK free positions below the factors in both), and sets P's
// entries to the matrix M they factorise (so P can compute residuals).
HandDense write_hand_factors(const HandShape& shape, Za38& p, int32_t slack = 7);

}  // namespace tbl::test
