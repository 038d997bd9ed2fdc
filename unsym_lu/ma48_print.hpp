// Monitoring listings shared by the three MA48 phases.  Each phase prints
// parts of the same picture (the permuted matrix by blocks, the factors of
// its diagonal blocks, the KEEP sections); the layouts live here once.
#pragma once

#include <cstdint>

#include "interface/common.hpp"
#include "unsym_lu/ma48.hpp"

namespace tbl::ma48 {

// Where a listing goes and how much of it: level 3 prints shortened lists,
// level 4 and above everything.
struct Monitor {
  fint unit;
  bool full;
  // Number of entries of a list of n that the level prints.
  std::int64_t cut(std::int64_t n) const { return (full || n <= 10) ? n : 10; }
};

// True when messages of the given level reach the unit of ICNTL(2) (or the
// error unit for level 1).
inline bool errors_on(const fint* icntl) { return icntl[0] > 0 && icntl[2] >= 1; }
inline bool warnings_on(const fint* icntl) { return icntl[1] > 0 && icntl[2] >= 2; }
inline bool monitor_on(const fint* icntl) { return icntl[1] > 0 && icntl[2] >= 3; }

void text(fint unit, const char* s);

// The failures of the checks that every phase makes on entry (-1 the
// dimensions, -2 NE, -3 LA with the length NEED, -6 JOB), on the error unit
// when ICNTL lets errors through.  WHO is the phase as the messages name it
// ("MA48A/AD", "MA48B/BD", "MA48C/CD").
void entry_check_message(const fint* icntl, const char* who, fint status, fint m, fint n, fint ne, fint job,
                         fint la, fint need);

// A title line followed by the values in ten columns of six.
void title_and_ints(const Monitor& mon, const char* title, const fint* v, std::int64_t n);

// A title line followed by the values ten to a line behind eight blanks.
void title_and_ints_indented(const Monitor& mon, const char* title, const fint* v, std::int64_t n);

// The row and column position lists held in KEEP(1:M+N).
void position_lists(const Monitor& mon, fint m, fint n, const fint* keep);

// The permuted pattern by blocks (row indices only), first the diagonal
// blocks, then the off-diagonal entries.  KEEP must hold the block triplets.
void pattern_by_blocks(const Monitor& mon, const char* title, fint m, fint n, const fint* irn, const fint* keep);

// The permuted matrix by blocks with its values, as (value, row) pairs.
void values_by_blocks(const Monitor& mon, fint m, fint n, const double* a, const fint* irn, const fint* keep);

// The factors of every printed non-triangular diagonal block.
void factors_by_blocks(const Monitor& mon, fint m, fint n, const double* a, const fint* irn, const fint* keep);

// The pointer lists of KEEP: IPTRD and IPTRO (N+1 entries each) and/or
// IPTRL and IPTRU (N entries each).
void pointer_lists(const Monitor& mon, fint m, fint n, const fint* keep, bool diagonal_and_off, bool factors);

// A per-block list KEEP(base+3k), k = 1..NB, under its title.
void block_list(const Monitor& mon, const char* title, const fint* keep, std::int64_t base, fint nb);

}  // namespace tbl::ma48
