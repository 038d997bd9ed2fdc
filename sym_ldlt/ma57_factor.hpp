// MA57 factorisation phase: the multifrontal LDL^T factorisation of a
// symmetric matrix on the analysis MA57AD left in KEEP, its numerical
// kernel, the storage routines that move a suspended factorisation into
// larger arrays, and the factor printer.
//
// Every routine takes its arguments by address, 1-based, as a Fortran caller
// passes them.  None of them is exported from the shared library.
//
// Stored form of the factors after a successful MA57BD (INFO(1) = 0 or 4),
// A = P L D L^T P^T with L unit lower triangular and D block diagonal with
// 1x1 and 2x2 blocks.  Every reader of the factors relies on it:
//
//   IFACT(1)   INFO(14) + 1: position in FACT of the first entry of the list
//              of 2x2 off-diagonal entries (just after the last block)
//   IFACT(2)   INFO(15) = INFO(14) + number of 2x2 pivots: position in FACT of
//              the last entry of that list (IFACT(1) - 1 when there is none)
//   IFACT(3)   NBLK, the number of blocks (= INFO(31))
//   IFACT(4..) NBLK block records, one after the other.  A record is
//              NCOLS, NROWS, then NCOLS variable indices; the next record
//              starts NCOLS + 2 entries further on.  NROWS >= 1 pivots were
//              eliminated in the block, the first NROWS indices are those
//              pivots in elimination order, the other NCOLS - NROWS are the
//              remaining variables of the front.  Both indices of a 2x2 pivot
//              are stored negated, next to each other; all other indices,
//              NCOLS and NROWS are positive.  INFO(16) is the last position of
//              IFACT in use.
//
//   FACT, per block in block order from FACT(1):
//     1. the pivot block, NROWS(NROWS+1)/2 reals packed by columns of its
//        lower triangle: for pivot column j, the diagonal entry of D^-1, then
//        L(j+1..NROWS, j) with their true sign.  For a 1x1 pivot d the
//        diagonal entry is 1/d.  For a 2x2 pivot (a first, c second,
//        off-diagonal b, det = a*c - b*b) the diagonal entries are c/det and
//        a/det, L(j+1, j) below the first half is stored as 0.0 and the
//        off-diagonal -b/det of D^-1 goes to the 2x2 list;
//     2. the off-pivot part, NROWS*(NCOLS-NROWS) reals: for each pivot in
//        turn its NCOLS-NROWS entries, one per non-pivot index in index-list
//        order, holding the negated entries of L in those rows (-L21).
//   FACT(IFACT(1)..IFACT(2)): one real per 2x2 pivot, in pivot order, the
//     off-diagonal entry of the inverse of that 2x2 pivot.
//
//   When A is singular (rank INFO(25) < N) every variable that is no pivot
//   gets, after the last block and in increasing variable number, a block
//   record 1, 1, v with the single FACT entry 1.0 (counted in IFACT(3),
//   INFO(31) and INFO(14)).  With ICNTL(7) = 4 the last N + 5 entries of FACT
//   keep the modification data (five parameters, then the amount added to
//   each variable's diagonal); the factor readers ignore them.
//
// Saved state of a suspended factorisation, KEEP(N+3..N+42) = HOLD(1..40):
// HOLD(1) is 0 (none), 1 (suspended for real space, INFO(1) = 10) or 2
// (integer space, INFO(1) = 11).  MA57ED reads and moves the positions
// HOLD(8) (first index of the current front's record), HOLD(10) (next free
// position of FACT for factors), HOLD(13)/HOLD(14) (start of the values /
// column indices of the permuted structure), HOLD(15)/HOLD(16) (last free
// position below the integer / real stack), HOLD(19)/HOLD(20) (first column
// index / value not yet assembled) and HOLD(24) (order of the current front).
#pragma once

#include "interface/common.hpp"

extern "C" {

// Numerical factorisation of the NE values A (in the order of the entries
// given to MA57AD) on the analysis in KEEP.  FACT(LFACT) and IFACT(LIFACT)
// receive the factors; IWORK holds N integers that must be kept unchanged
// between a suspended call (INFO(1) = 10 or 11) and its re-entry.
void MA57BD(const tbl::fint* n, const tbl::fint* ne, const double* a, double* fact, const tbl::fint* lfact,
            tbl::fint* ifact, const tbl::fint* lifact, const tbl::fint* lkeep, tbl::fint* keep,
            tbl::fint* iwork, const tbl::fint* icntl, const double* cntl, tbl::fint* info, double* rinfo);

// The multifrontal kernel behind MA57BD: walks the assembly tree, assembles,
// pivots and eliminates each front, and leaves the factors in stored form.
// LFACT is the length of the real store it may use (the host's LFACT less
// N + 5 with ICNTL(7) = 4).  LROW: slot counts of the permuted structure by
// pivot position; PERM(p): the variable at pivot position p; NSTK: per node,
// the contribution blocks it assembles; NODE: per variable, its tree node;
// DIAGADD(N) and MODPARM(5): matrix modification data (ICNTL(7) = 4 only);
// FRONTPOS(N): work space; HOLD(40): the saved state.
void MA57_FACTOR_KERNEL(const tbl::fint* n, const tbl::fint* nz, double* fact, const tbl::fint* lfact,
                        tbl::fint* ifact, const tbl::fint* lifact, const tbl::fint* lrow, const tbl::fint* perm,
                        const tbl::fint* nsteps, const tbl::fint* nstk, const tbl::fint* node, double* diagadd,
                        double* modparm, tbl::fint* frontpos, const double* cntl, const tbl::fint* icntl,
                        tbl::fint* info, double* rinfo, tbl::fint* hold);

// Moves the entries LOW+1..HIGH-1 of RA (REALS true) or IA (REALS false) up
// so that they end at NEWHIGH-1; then HIGH = NEWHIGH and LOW = NEWHIGH minus
// the number of entries moved minus 1.
void MA57_SHIFT_DATA(double* ra, tbl::fint* ia, tbl::fint* low, tbl::fint* high, const tbl::fint* newhigh,
                     const tbl::logical* reals);

// Copies the storage of a suspended factorisation into larger arrays:
// ICOPY < 1 the reals only, 1 the integers only, >= 2 both.  INFO(1) = -7
// (INFO(2) = the offending new length) when a new array is not longer than
// the old one; nothing is copied and KEEP is unchanged then.
void MA57ED(const tbl::fint* n, const tbl::fint* icopy, tbl::fint* keep, const double* fact,
            const tbl::fint* lfact, double* newfact, const tbl::fint* lnewfact, const tbl::fint* ifact,
            const tbl::fint* lifact, tbl::fint* newifact, const tbl::fint* lnewifact, tbl::fint* info);

// Turns pivot blocks that still hold the 2x2 off-diagonal entries in place
// and L with reversed sign into the stored form above, appending the 2x2
// entries after FACT(LASTPOS); LASTPOS returns the last position appended.
void MA57_REPACK_FACTORS(double* fact, const tbl::fint* lfact, const tbl::fint* ifact, const tbl::fint* lifact,
                         tbl::fint* lastpos);

// Writes the factors on unit ICNTL(3): numbers (ICNTL(5) = 3: first block
// only; 4 and above: all blocks) or, for ICNTL(5) = 5, a picture of the
// nonzero entries.  The caller decides whether monitoring is on.
void MA57_PRINT_FACTORS(const double* fact, const tbl::fint* lfact, const tbl::fint* ifact,
                        const tbl::fint* lifact, const tbl::fint* icntl);
}
