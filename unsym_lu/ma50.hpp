// MA50: the sparse LU kernel that the unsymmetric solver runs on each
// diagonal block.  MA50AD chooses a threshold-Markowitz pivot sequence and
// the point at which the active part is dense enough to switch to a full
// block; MA50BD factorises with those orders (sparse left-looking columns,
// then a dense LU of the full block through BLAS); MA50CD solves with the
// factors, plain or transposed.
//
// Every argument is passed by address and every array is 1-based in the
// descriptions below (element (i) is p[i-1]).  Integers are 32-bit, reals
// 64-bit, LOGICALs 32-bit words that are true when the lowest bit is set.
//
// Control arrays (MA50_DEFAULTS fills them):
//   CNTL(1) density for the switch to full processing   (default 0.5)
//   CNTL(2) relative pivot threshold u, clipped to 0..1  (default 0.1)
//   CNTL(3) drop tolerance, active when > 0               (default 0)
//   CNTL(4) small-pivot tolerance                         (default 0)
//   ICNTL(1) error unit, ICNTL(2) monitoring unit, ICNTL(3) print level,
//   ICNTL(4) pivot search limit (0: full Markowitz search of rows and
//            columns), ICNTL(5) dense block size, ICNTL(6) number of
//            trailing columns (set aside by MA50AD; changed since the last
//            factorisation for MA50BD with JOB 2 and 3), ICNTL(7) pivoting
//            mode of MA50AD (0 normal, 1 diagonal, 2 given sequence).
//   Defaults: CNTL = 0.5, 0.1, 0, 0; ICNTL = 6, 6, 1, 3, 32, 0, 0.
//
// Factor storage that MA50BD writes and MA50CD reads (FACT, IRNF of length
// LFACT; IPTRL, IPTRU of length N; IPTRL(0) is read as 2):
//   FACT(1) = CNTL(3), FACT(2) = CNTL(4) in force when the factors were made;
//   IRNF(1) = entries dropped, IRNF(2) = MF, the rows of the full block.
//   Column J: U part at IPTRL(J-1)+1 .. IPTRU(J) (IRNF = pivot step, FACT =
//   minus the entry of the unit upper triangular U, in an order that is
//   valid when applied from the last position back to the first); L part at
//   IPTRU(J)+1 .. IPTRL(J), first the pivot (IRNF = its row, FACT = its
//   reciprocal), then the remaining entries (IRNF = row, FACT = value not
//   divided by the pivot).  The L part is empty for a column without pivot
//   and for every column beyond NP.
//   Full block (MF rows, NF = N-NP columns, leading dimension MF) at
//   FACT(IPTRL(N)+1 ..), holding its dense LU in place; its row indices in
//   increasing order at IRNF(IPTRL(N)+1 .. IPTRL(N)+MF), its pivoting record
//   at IRNF(IPTRL(N)+MF+1 .. IPTRL(N)+MF+NF).
//
// None of these routines is reentrant (scalars are kept in static storage).
#pragma once

#include "interface/common.hpp"

extern "C" {

// Fills CNTL(1:4) and ICNTL(1:7) with the default controls.
void MA50_DEFAULTS(double* CNTL, tbl::fint* ICNTL);

// Pivot selection on the M by N matrix held by columns in A/IRN(1..NE)
// (column starts in IQ); returns row positions in IP, the column sequence
// in IQ, the number NP of columns eliminated in sparse mode, status and
// storage forecasts in INFO(1:7) and the operation count in RINFO(1).
// A, IRN and JCN (length LA) are work space beyond the first NE entries;
// JFIRST, LENR, LASTR, NEXTR, IW have M entries, IFIRST, LENC, LASTC, NEXTC
// have N.  With ICNTL(7) = 2 the row order comes in IP and the column
// sequence in IFIRST.
void MA50AD(const tbl::fint* M, const tbl::fint* N, const tbl::fint* NE, const tbl::fint* LA, double* A,
            tbl::fint* IRN, tbl::fint* JCN, tbl::fint* IQ, const double* CNTL, const tbl::fint* ICNTL,
            tbl::fint* IP, tbl::fint* NP, tbl::fint* JFIRST, tbl::fint* LENR, tbl::fint* LASTR,
            tbl::fint* NEXTR, tbl::fint* IW, tbl::fint* IFIRST, tbl::fint* LENC, tbl::fint* LASTC,
            tbl::fint* NEXTC, tbl::fint* INFO, double* RINFO);

// Factorisation of the M by N matrix given by columns in AA/IRNA(1..NE)
// (IPTRA(j) = start of column j, the last column ending at NE), in the row
// order IP and the column order IQ (IQ(1) <= 0: identity), the first NP
// columns sparse and the rest as a full block.  JOB 1 pivots afresh, JOB 2
// refactorises on the stored pattern and pivot sequence without any choice,
// JOB 3 pivots starting from the row order of the stored factors.  Factors go to FACT/IRNF (length
// LFACT), IPTRL, IPTRU; W has M entries, IW M+2N; INFO(1:7), RINFO(1).
void MA50BD(const tbl::fint* M, const tbl::fint* N, const tbl::fint* NE, const tbl::fint* JOB,
            const double* AA, const tbl::fint* IRNA, const tbl::fint* IPTRA, const double* CNTL,
            const tbl::fint* ICNTL, tbl::fint* IP, const tbl::fint* IQ, const tbl::fint* NP,
            const tbl::fint* LFACT, double* FACT, tbl::fint* IRNF, tbl::fint* IPTRL, tbl::fint* IPTRU,
            double* W, tbl::fint* IW, tbl::fint* INFO, double* RINFO);

// Solves A x = b (TRANS false: B has M entries, X N) or A' x = b (TRANS
// true: B has N entries, X M, and at least N-NP) with the factors of
// MA50BD; IQ and NP as in that call.  W has max(M, N) entries.  INFO(1) is
// written only on error (-1: M < 1 or N < 1).
void MA50CD(const tbl::fint* M, const tbl::fint* N, const tbl::fint* ICNTL, const tbl::fint* IQ,
            const tbl::fint* NP, const tbl::logical* TRANS, const tbl::fint* LFACT, const double* FACT,
            const tbl::fint* IRNF, const tbl::fint* IPTRL, const tbl::fint* IPTRU, const double* B,
            double* X, double* W, tbl::fint* INFO);

// Internal pieces of the kernel, declared for their own tests.

// Packs the N lists of one storage (starts in IPTR, IPTR(j) <= 0 for no
// list; vacated positions have IND = 0) into positions 1..; IACTIV is one
// past the last position in use, on entry and on return.  Values in A move
// with their indices when REALS is true.
void MA50_COMPRESS(const tbl::fint* LA, double* A, tbl::fint* IND, tbl::fint* IPTR, const tbl::fint* N,
                   tbl::fint* IACTIV, const tbl::logical* REALS);

// Dense LU with partial pivoting by rows of the M by N matrix A (leading
// dimension LDA), Crout order; columns whose pivot would not exceed CNTL4
// in magnitude are moved to the end.  IPIV(k) > 0 is the row exchanged
// with row k; IPIV(k) = -r marks a column moved to position k without a
// pivot, r being the pivot position when it was rejected.  RANK = pivots.
// FACTOR3 works in panels of NB columns with DTRSM/DGEMM, FACTOR2 by
// columns with DGEMV, FACTOR1 with vector operations only.
void MA50_DENSE_FACTOR3(const tbl::fint* M, const tbl::fint* N, double* A, const tbl::fint* LDA,
                        const tbl::fint* NB, const double* CNTL4, tbl::fint* IPIV, tbl::fint* RANK);
void MA50_DENSE_FACTOR2(const tbl::fint* M, const tbl::fint* N, double* A, const tbl::fint* LDA,
                        const double* CNTL4, tbl::fint* IPIV, tbl::fint* RANK);
void MA50_DENSE_FACTOR1(const tbl::fint* M, const tbl::fint* N, double* A, const tbl::fint* LDA,
                        const double* CNTL4, tbl::fint* IPIV, tbl::fint* RANK);

// Solves with the dense factors of an M by N full block (A, LDA, IPIV as
// left by the dense factorisation), in place in X (max(M, N) entries);
// NBLAS > 0 uses DTRSV for the triangular solves.
void MA50_DENSE_SOLVE(const tbl::logical* TRANS, const tbl::fint* M, const tbl::fint* N, const double* A,
                      const tbl::fint* LDA, const tbl::fint* IPIV, double* X, const tbl::fint* NBLAS);

}  // extern "C"

namespace tbl::ma50 {

// MA50BD, also telling how long LFACT should be tried next when it ran so
// short that not even the work area of a column fit.  INFO(4) is then a
// bound sure to suffice, but one that counts up to M entries for every
// column left; ESTIMATE receives instead the fill of the columns done
// extrapolated over the columns left, which may fall short but always
// exceeds LFACT (and never the bound).  Otherwise ESTIMATE is -1.
void factorise(const fint* M, const fint* N, const fint* NE, const fint* JOB, const double* AA, const fint* IRNA,
               const fint* IPTRA, const double* CNTL, const fint* ICNTL, fint* IP, const fint* IQ, const fint* NP,
               const fint* LFACT, double* FACT, fint* IRNF, fint* IPTRL, fint* IPTRU, double* W, fint* IW,
               fint* INFO, double* RINFO, std::int64_t* estimate);

// What a checked solve found besides the solution.
enum class Checked {
  kFault,   // an index out of range: refused, X, B and W partly written
  kSolved,  // solved; some index was tested only where this solve read it
  kAll,     // solved, and every pointer and index that a solve with these
            // factors follows, plain or transposed, has been tested
};

// MA50CD's solve (no column permutation, no output) for a caller that
// cannot trust the factors: every pointer of IPTRL/IPTRU, the full block
// and its pivoting record are tested against LFACT first, every row and
// step index of the factors before it is followed (in one pass over the
// factor area for a block that is nearly square, when AGAIN says that more
// solves with these factors follow or the area is small, else where it is
// read).  B (M entries, N with TRANS) is overwritten: it is the working
// vector; W (max(M,N) entries) is used only when the full block needs more
// room than B has.  X needs max(M,N) entries.
Checked solve_checked(fint m, fint n, fint np, bool trans, fint nblas, fint lfact, const double* fact,
                      const fint* irnf, const fint* iptrl, const fint* iptru, double* b, double* x, double* w,
                      bool again);

// The same solve, either way, with factors that solve_checked has found
// kAll of and that have not changed since: only the full block's rows are
// tested (a few compares); false if one is out of range.
bool solve_tested(fint m, fint n, fint np, bool trans, fint nblas, const double* fact, const fint* irnf,
                  const fint* iptrl, const fint* iptru, double* b, double* x, double* w);

}  // namespace tbl::ma50
