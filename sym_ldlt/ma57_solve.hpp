// MA57 solve phase and iterative refinement.
//
// MA57CD applies the inverse of A = P L D L^T P^T, or of one of its factors,
// to one or several right-hand sides with the factors MA57BD left in
// FACT/IFACT; MA57DD solves A x = b and improves x by iterative refinement
// against the matrix itself, with componentwise backward errors and, on
// request, condition numbers and an error bound.
//
// Every argument is by address, arrays 1-based and column-major, as the
// library's Fortran-convention callers pass them.  ICNTL, INFO and RINFO are
// the MA57 control and information arrays (20, 40 and 20 entries).
#pragma once

#include "interface/common.hpp"

extern "C" {

// Solves with the factors.  JOB 1 (and below): A X = B; 2: (P L P^T) X = B;
// 3: (P D P^T) X = B; 4 (and above): (P L^T P^T) X = B.  RHS(LRHS, NRHS) is
// overwritten with X.  W(LW) with LW >= N*NRHS is real workspace; IWORK needs
// one entry per factor block (N entries always suffice).  INFO is written
// only when an argument check fails (-1 N, -16 NRHS, -11 LRHS, -17 LW).
void MA57CD(const tbl::fint* job, const tbl::fint* n, const double* fact, const tbl::fint* lfact,
            const tbl::fint* ifact, const tbl::fint* lifact, const tbl::fint* nrhs, double* rhs,
            const tbl::fint* lrhs, double* w, const tbl::fint* lw, tbl::fint* iwork, const tbl::fint* icntl,
            tbl::fint* info);

// The passes over the factor blocks.  LDW is the leading dimension of W as
// MA57CD uses it (LW / NRHS).  A forward pass records in IWORK(IBLK) where
// each block's record starts in IFACT; the backward pass with D reads it back.
void MA57_FWD_SOLVE1(const tbl::fint* n, const double* fact, const tbl::fint* lfact, const tbl::fint* ifact,
                     const tbl::fint* lifact, double* rhs, const tbl::fint* lrhs, double* w,
                     const tbl::fint* ldw, tbl::fint* iwork, const tbl::fint* icntl);
void MA57_FWD_SOLVEM(const tbl::fint* n, const double* fact, const tbl::fint* lfact, const tbl::fint* ifact,
                     const tbl::fint* lifact, const tbl::fint* nrhs, double* rhs, const tbl::fint* lrhs,
                     double* w, const tbl::fint* ldw, tbl::fint* iwork, const tbl::fint* icntl);
void MA57_BACK_SOLVE1(const tbl::fint* n, const double* fact, const tbl::fint* lfact, const tbl::fint* ifact,
                      const tbl::fint* lifact, double* rhs, const tbl::fint* lrhs, double* w,
                      const tbl::fint* ldw, tbl::fint* iwork, const tbl::fint* icntl);
void MA57_BACK_SOLVEM2(const tbl::fint* n, const double* fact, const tbl::fint* lfact, const tbl::fint* ifact,
                       const tbl::fint* lifact, const tbl::fint* nrhs, double* rhs, const tbl::fint* lrhs,
                       double* w, const tbl::fint* ldw, tbl::fint* iwork, const tbl::fint* icntl);
// Backward pass without D (rebuilds IWORK itself).
void MA57_BACK_SOLVEM(const tbl::fint* n, const double* fact, const tbl::fint* lfact, const tbl::fint* ifact,
                      const tbl::fint* lifact, const tbl::fint* nrhs, double* rhs, const tbl::fint* lrhs,
                      double* w, const tbl::fint* ldw, tbl::fint* iwork, const tbl::fint* icntl);
void MA57_DIAG_SOLVE(const double* fact, const tbl::fint* lfact, const tbl::fint* ifact, const tbl::fint* lifact,
                     const tbl::fint* nrhs, double* rhs, const tbl::fint* lrhs, double* w, const tbl::fint* ldw,
                     const tbl::fint* icntl);

// Solution with iterative refinement.  A/IRN/JCN are the NE entries that were
// factorised (one triangle; out-of-range entries are skipped, duplicates add
// up).  JOB 0..4 selects what is given and done; ICNTL(9) > 1 selects
// refinement mode (JOB 0 or 2 only).  W needs N reals, 3N in refinement mode,
// 4N when ICNTL(10) > 0 as well; IW needs N integers.  INFO(1) is set only on
// failure: -1 N, -2 NE, -13 ICNTL(9), -12 JOB, -8 no convergence, -14 the
// norm estimator did not finish.  INFO(30) and RINFO(6..13) report the
// refinement.
void MA57DD(const tbl::fint* job, const tbl::fint* n, const tbl::fint* ne, const double* a, const tbl::fint* irn,
            const tbl::fint* jcn, const double* fact, const tbl::fint* lfact, const tbl::fint* ifact,
            const tbl::fint* lifact, const double* rhs, double* x, double* resid, double* w, tbl::fint* iw,
            const tbl::fint* icntl, const double* cntl, tbl::fint* info, double* rinfo);
}

namespace tbl::ma57 {

// Monitor dump of a vector of n reals with the given format record: all of
// it from print level 4 on, else its first 10 entries followed by a line of
// dots when some were left out.
void print_vector(fint unit, fint level, const char* record, fint n, const double* v);

}  // namespace tbl::ma57
