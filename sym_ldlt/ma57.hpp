// MA57: multifrontal LDL^T factorisation of sparse symmetric indefinite
// matrices with 1x1 and 2x2 pivots.  Controls, analyse phase and the KEEP
// layout that the analyse phase leaves for the later phases.
//
// Every routine takes its arguments by address (1-based arrays, 32-bit
// integers, 64-bit reals), as the library's Fortran-style callers pass them.
#pragma once

#include <cstdint>

#include "interface/common.hpp"

extern "C" {

// Fills CNTL(1..5) and ICNTL(1..20) with the package defaults.
void MA57_DEFAULTS(double* CNTL, tbl::fint* ICNTL);

// Analyse phase: checks the symmetric pattern IRN/JCN (NE entries, order N),
// orders it (approximate minimum degree, or the caller's order in KEEP(1..N)
// when ICNTL(6) = 1), builds the assembly tree, the permuted structure and
// the map, and forecasts the factorisation's storage in INFO and RINFO.
// KEEP needs LKEEP >= 5N + NE + max(N,NE) + 42 entries, IWORK 5N.
void MA57AD(const tbl::fint* N, const tbl::fint* NE, tbl::fint* IRN, tbl::fint* JCN,
            const tbl::fint* LKEEP, tbl::fint* KEEP, tbl::fint* IWORK, const tbl::fint* ICNTL,
            tbl::fint* INFO, double* RINFO);

// Compacts a store of integer lists: list i (LISTPOS(i) > 0) is IW(LISTPOS(i))
// = length L followed by its L entries (all positive).  Lists are slid down
// in the order in which they lie in IW; lists with LISTPOS(i) <= 0 are
// dropped.  IWFREE receives the first free position, NCOMPRESS is counted up.
void MA57_COMPRESS_LISTS(const tbl::fint* N, tbl::fint* LISTPOS, tbl::fint* IW,
                         const tbl::fint* LIW, tbl::fint* IWFREE, tbl::fint* NCOMPRESS);

}  // extern "C"

namespace tbl::ma57 {

// Sizes of the control and information arrays.
inline constexpr int kLenICNTL = 20;
inline constexpr int kLenCNTL = 5;
inline constexpr int kLenINFO = 40;
inline constexpr int kLenRINFO = 20;

// Entries of the saved state of a suspended factorisation: HOLD(k) is
// KEEP(N+2+k), k = 1..40.
inline constexpr int kHoldLength = 40;

// The KEEP array after MA57AD, as 1-based positions (N the order, NE the
// number of entries, M = max(N,NE), NZ = KEEP(N+2)):
//
//   KEEP(1..N)                  position of each variable in the pivot order
//   KEEP(N+1)                   number of nodes of the assembly tree (NSTEPS)
//   KEEP(N+2)                   NZ, slots of the permuted structure: in-range
//                               entries (duplicates each in their own slot)
//                               plus one diagonal slot per row without one
//   KEEP(N+3..N+42)             saved state of a suspended factorisation;
//                               KEEP(N+3) = 0 when none is suspended
//   KEEP(N+43..2N+42)           slot count of each row, by pivot position
//   KEEP(2N+43..3N+42)          tree node at which each variable is eliminated
//   KEEP(3N+43..3N+42+NSTEPS)   contribution blocks each node assembles
//   KEEP(4N+43..4N+42+NE)       map: slot receiving entry k (0 out of range);
//                               the section is M long
//   KEEP(4N+43+M..4N+42+M+NZ)   column indices (variable numbers) of the
//                               slots, row after row in pivot order; each row
//                               starts with its diagonal slot(s)
//
// Nodes are numbered in elimination order (sons before fathers) and the
// variables of a node are consecutive in the pivot order.
struct KeepLayout {
  std::int64_t n = 0;
  std::int64_t m = 0;  // max(N, NE)

  constexpr KeepLayout(std::int64_t order, std::int64_t ne) : n(order), m(order > ne ? order : ne) {}

  constexpr std::int64_t order() const { return 1; }
  constexpr std::int64_t nsteps() const { return n + 1; }
  constexpr std::int64_t nz() const { return n + 2; }
  constexpr std::int64_t hold() const { return n + 3; }  // HOLD(1)
  constexpr std::int64_t row_counts() const { return n + 43; }
  constexpr std::int64_t node_of_var() const { return 2 * n + 43; }
  constexpr std::int64_t sons_per_node() const { return 3 * n + 43; }
  constexpr std::int64_t map() const { return 4 * n + 43; }
  constexpr std::int64_t columns() const { return 4 * n + 43 + m; }
};

// Smallest LKEEP that MA57AD and MA57BD accept: 5N + NE + max(N,NE) + 42.
// Computed in 64 bits; compare before narrowing.
inline constexpr std::int64_t min_lkeep(std::int64_t n, std::int64_t ne) {
  return 5 * n + ne + (n > ne ? n : ne) + 42;
}

}  // namespace tbl::ma57
