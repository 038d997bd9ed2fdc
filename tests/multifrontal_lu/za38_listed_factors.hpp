// Stored ZA38 factor sets with chosen record lists, sons and extents and
// sequential values (1, 2, 3, ... in storage order), so that a listing of
// them can be checked line by line: every printed value names its storage
// position.  INDEX and VALUE are sized exactly, so a read past them is
// caught by the sanitizer.
#pragma once

#include <cstdint>
#include <vector>

#include "interface/common.hpp"

namespace za38test {

using tbl::fint;

struct HandRecord {
  fint k = 1;
  std::vector<fint> rows, cols, sons;  // pivot positions within the block; son codes
  fint colext = 0, rowext = 0;         // front extents (first record of a front)
};

struct HandBlock {
  fint order = 1;
  double pivot = 0.0;               // order 1
  std::vector<HandRecord> records;  // order 2 or more
  fint pivots = -1;                 // pivots found; -1: the sum over the records
};

struct HandFactors {
  fint n = 0, ne = 0;
  bool transa = false;
  std::vector<HandBlock> blocks;  // one block: no block triangular data
  // Preserved copy (column pointers, rows, values), empty when none.
  std::vector<fint> ap, ai;
  std::vector<double> ax;
  // Entries above the diagonal blocks, by row (two or more blocks).
  std::vector<fint> offrowp, oi;
  std::vector<double> ox;
  std::vector<fint> cperm, rperm;  // identity when empty
  fint free_ints = 2, free_reals = 2;  // positions left free below the factors
};

struct Stored {
  std::vector<fint> index;
  std::vector<double> value;
  fint keep[20] = {};
  fint lindex() const { return static_cast<fint>(index.size()); }
  fint lvalue() const { return static_cast<fint>(value.size()); }
};

// Reals of the records are 1, 2, 3, ... in storage order, so every printed
// value names its position.
Stored store(const HandFactors& h);

}  // namespace za38test
