/*
 * TesselBasicLib: public declarations of every exported entry point.
 *
 * Usable from C and C++ (Fortran hosts declare the entry points with
 * BIND(C, NAME=...)); a host links libTesselBasicLib.so (-lTesselBasicLib).
 * Conventions, stated once:
 *
 *  - Integers are 32-bit (int32_t).  Reals are 64-bit (double).
 *  - LOGICAL is a 32-bit integer that counts as true when its lowest bit is
 *    1; the library itself passes -1 for true and 0 for false.
 *  - By-address convention (every family except CLapack_, CLinpack_, VML_
 *    and the two C++ entry points VIZ_FFOPEN/VIZ_FFCLOSE): every ordinary
 *    argument is passed by address; arrays are 1-based in the documentation
 *    (element (i) is p[i-1]) and column-major with a leading dimension.
 *  - HiddenLength: for every character argument of a by-address routine
 *    that the host calls under its own name (FFOPEN, DLAMCH, DPOTRF, DSYEV,
 *    VUR_OPTBQA), the host passes the length of the string by value as a
 *    size_t, after all ordinary arguments, in the order of the character
 *    arguments.  The BLAS_ and Lapack_ forwarders supply these lengths
 *    themselves.
 *  - Value convention (CLapack_, CLinpack_, VML_): scalar integers by value;
 *    arrays and one-character options by address; CLapack_ functions and
 *    CLinpack_DGEFA return INFO.
 *  - Status: INFO(1) (MC49AD's IFLAG, MC29AD's IFAIL) is 0 on success,
 *    negative on error, positive for a warning; each package lists its
 *    codes.  A warning does not always leave a usable answer: a singular or
 *    rank-deficient factorisation is a warning, and a solve with it gives
 *    a solution only of a consistent system; each code says what it means
 *    for the results.  The reverse-communication routines report through their
 *    request flag (DI23AD's IREQ, NB01AD's IND, VF13AD's INFORM,
 *    VUR_OPTBQA's INFO), VE17AD through INFORM: there a positive end code
 *    can be a failure.  The CLapack_ functions return LAPACK's INFO.
 *  - Messages go to numbered output units: 6 is standard output, a unit
 *    attached by FFOPEN writes to its file, any other unit to the file
 *    named by the environment variable FORT<unit>, or else to
 *    "fort.<unit>" in the current directory; unit 5 is standard input, and
 *    a message sent to it unattached ends the process (status 2, with a
 *    diagnostic on standard error).  Unit 0 is standard error for
 *    the packages that write on units >= 0 (ZA38, VUR_OPTBQA, and the
 *    sparse symmetric solver inside DI23 through ICNTLM); MA48, DI23,
 *    MC29AD and MC59AD write only on units > 0, so unit 0 silences them.
 *    A negative unit silences every package; VF13AD, which takes no unit,
 *    writes on unit 6 unless IPRINT is negative.
 *  - An illegal argument to a BLAS or LAPACK routine ends the process after
 *    a one-line message (status 0).
 */
#ifndef TESSELBASICLIB_H
#define TESSELBASICLIB_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------
 * Library interface and common services
 * ---------------------------------------------------------------------- */

#if defined(__GNUC__)
#define TESSELBASICLIB_API __attribute__((visibility("default")))
#else
#define TESSELBASICLIB_API
#endif

/* Output units.  FFOPEN attaches the file named by the first NAME_len
 * characters of NAME (trailing blanks dropped) to unit *IUNIT; an existing
 * file is reused and replaced from the first record written.  FFCLOSE
 * detaches the unit and keeps the file.  A failed open or close ends the
 * process with a diagnostic on standard error. */
TESSELBASICLIB_API void FFOPEN(const char* NAME, const int32_t* IUNIT, size_t NAME_len);
TESSELBASICLIB_API void FFCLOSE(const int32_t* IUNIT);

/* Machine parameters of 64-bit reals by letter (E S B P N R M U L O, either
 * case); any other letter gives 0.0.  CMACH_len is not read. */
TESSELBASICLIB_API double DLAMCH(const char* CMACH, size_t CMACH_len);

/* BLAS, by address; the one-character options need no length. */
TESSELBASICLIB_API void BLAS_DGEMM(const char* TRANSA, const char* TRANSB, const int32_t* M,
                                   const int32_t* N, const int32_t* K, const double* ALPHA,
                                   const double* A, const int32_t* LDA, const double* B,
                                   const int32_t* LDB, const double* BETA, double* C,
                                   const int32_t* LDC);
TESSELBASICLIB_API void BLAS_DSYRK(const char* UPLO, const char* TRANS, const int32_t* N,
                                   const int32_t* K, const double* ALPHA, const double* A,
                                   const int32_t* LDA, const double* BETA, double* C,
                                   const int32_t* LDC);

/* LAPACK, by address; the one-character options need no length. */
TESSELBASICLIB_API void Lapack_DGBTRF(const int32_t* M, const int32_t* N, const int32_t* KL,
                                      const int32_t* KU, double* AB, const int32_t* LDAB,
                                      int32_t* IPIV, int32_t* INFO);
TESSELBASICLIB_API void Lapack_DGBTRS(const char* TRANS, const int32_t* N, const int32_t* KL,
                                      const int32_t* KU, const int32_t* NRHS, const double* AB,
                                      const int32_t* LDAB, const int32_t* IPIV, double* B,
                                      const int32_t* LDB, int32_t* INFO);
TESSELBASICLIB_API void Lapack_DGESDD(const char* JOBZ, const int32_t* M, const int32_t* N, double* A,
                                      const int32_t* LDA, double* S, double* U, const int32_t* LDU,
                                      double* VT, const int32_t* LDVT, double* WORK,
                                      const int32_t* LWORK, int32_t* IWORK, int32_t* INFO);
TESSELBASICLIB_API void Lapack_DGESV(const int32_t* N, const int32_t* NRHS, double* A, const int32_t* LDA,
                                     int32_t* IPIV, double* B, const int32_t* LDB, int32_t* INFO);
TESSELBASICLIB_API void Lapack_DGETRF(const int32_t* M, const int32_t* N, double* A, const int32_t* LDA,
                                      int32_t* IPIV, int32_t* INFO);
TESSELBASICLIB_API void Lapack_DGETRS(const char* TRANS, const int32_t* N, const int32_t* NRHS,
                                      const double* A, const int32_t* LDA, const int32_t* IPIV,
                                      double* B, const int32_t* LDB, int32_t* INFO);
TESSELBASICLIB_API void Lapack_DPOTRF(const char* UPLO, const int32_t* N, double* A, const int32_t* LDA,
                                      int32_t* INFO);
TESSELBASICLIB_API void Lapack_DPOTRS(const char* UPLO, const int32_t* N, const int32_t* NRHS,
                                      const double* A, const int32_t* LDA, double* B,
                                      const int32_t* LDB, int32_t* INFO);
TESSELBASICLIB_API void Lapack_DSYEV(const char* JOBZ, const char* UPLO, const int32_t* N, double* A,
                                     const int32_t* LDA, double* W, double* WORK, const int32_t* LWORK,
                                     int32_t* INFO);

/* LAPACK, value convention: the function result is INFO: 0, or the
 * routine's positive INFO, a failure whose outputs are not a solution (a
 * zero pivot: the factors are complete but singular; a leading minor that
 * is not positive definite; no convergence).  An illegal argument ends the
 * process. */
TESSELBASICLIB_API int32_t CLapack_DGBTRF(int32_t M, int32_t N, int32_t KL, int32_t KU, double* AB,
                                          int32_t LDAB, int32_t* IPIV);
TESSELBASICLIB_API int32_t CLapack_DGBTRS(const char* TRANS, int32_t N, int32_t KL, int32_t KU,
                                          int32_t NRHS, double* AB, int32_t LDAB, int32_t* IPIV,
                                          double* B, int32_t LDB);
TESSELBASICLIB_API int32_t CLapack_DGESDD(const char* JOBZ, int32_t M, int32_t N, double* A, int32_t LDA,
                                          double* S, double* U, int32_t LDU, double* VT, int32_t LDVT,
                                          double* WORK, int32_t LWORK, int32_t* IWORK);
TESSELBASICLIB_API int32_t CLapack_DGESV(int32_t N, int32_t NRHS, double* A, int32_t LDA, int32_t* IPIV,
                                         double* B, int32_t LDB);
TESSELBASICLIB_API int32_t CLapack_DGETRF(int32_t M, int32_t N, double* A, int32_t LDA, int32_t* IPIV);
TESSELBASICLIB_API int32_t CLapack_DGETRS(const char* TRANS, int32_t N, int32_t NRHS, double* A,
                                          int32_t LDA, int32_t* IPIV, double* B, int32_t LDB);
TESSELBASICLIB_API int32_t CLapack_DPOTRF(const char* UPLO, int32_t N, double* A, int32_t LDA);
TESSELBASICLIB_API int32_t CLapack_DPOTRS(const char* UPLO, int32_t N, int32_t NRHS, double* A,
                                          int32_t LDA, double* B, int32_t LDB);
TESSELBASICLIB_API int32_t CLapack_DSYEV(const char* JOBZ, const char* UPLO, int32_t N, double* A,
                                         int32_t LDA, double* W, double* WORK, int32_t LWORK);

/* Dense LU by Gaussian elimination with partial pivoting (LINPACK layout:
 * negated multipliers below the diagonal, IPVT the pivot rows).  INFO > 0
 * is the index of the last zero pivot: the factors are complete, but DGESL
 * would divide by that zero.  JOB = 0 solves A x = b, any other value
 * A' x = b.  No argument is checked. */
TESSELBASICLIB_API void Linpack_DGEFA(double* A, const int32_t* LDA, const int32_t* N, int32_t* IPVT,
                                      int32_t* INFO);
TESSELBASICLIB_API void Linpack_DGESL(const double* A, const int32_t* LDA, const int32_t* N,
                                      const int32_t* IPVT, double* B, const int32_t* JOB);
TESSELBASICLIB_API int32_t CLinpack_DGEFA(double* A, int32_t LDA, int32_t N, int32_t* IPVT);
TESSELBASICLIB_API void CLinpack_DGESL(double* A, int32_t LDA, int32_t N, int32_t* IPVT, double* B,
                                       int32_t JOB);

/* MINPACK building blocks of the Levenberg-Marquardt method, by address.
 * PIVOT is a LOGICAL. */
TESSELBASICLIB_API double Lmder_DPMPAR(const int32_t* I);
TESSELBASICLIB_API double Lmder_ENORM(const int32_t* N, const double* X);
TESSELBASICLIB_API void Lmder_LMPAR(const int32_t* N, double* R, const int32_t* LDR, const int32_t* IPVT,
                                    const double* DIAG, const double* QTB, const double* DELTA,
                                    double* PAR, double* X, double* SDIAG, double* WA1, double* WA2);
TESSELBASICLIB_API void Lmder_QRFAC(const int32_t* M, const int32_t* N, double* A, const int32_t* LDA,
                                    const int32_t* PIVOT, int32_t* IPVT, const int32_t* LIPVT,
                                    double* RDIAG, double* ACNORM, double* WA);

/* The same dependency routines under their own names; the host passes the
 * HiddenLength of each one-character option itself. */
TESSELBASICLIB_API void DGETRF(const int32_t* M, const int32_t* N, double* A, const int32_t* LDA,
                               int32_t* IPIV, int32_t* INFO);
TESSELBASICLIB_API void DPOTRF(const char* UPLO, const int32_t* N, double* A, const int32_t* LDA,
                               int32_t* INFO, size_t UPLO_len);
TESSELBASICLIB_API void DSYEV(const char* JOBZ, const char* UPLO, const int32_t* N, double* A,
                              const int32_t* LDA, double* W, double* WORK, const int32_t* LWORK,
                              int32_t* INFO, size_t JOBZ_len, size_t UPLO_len);
TESSELBASICLIB_API double DPMPAR(const int32_t* I);
TESSELBASICLIB_API double ENORM(const int32_t* N, const double* X);
TESSELBASICLIB_API void QRFAC(const int32_t* M, const int32_t* N, double* A, const int32_t* LDA,
                              const int32_t* PIVOT, int32_t* IPVT, const int32_t* LIPVT, double* RDIAG,
                              double* ACNORM, double* WA);
TESSELBASICLIB_API void LMPAR(const int32_t* N, double* R, const int32_t* LDR, const int32_t* IPVT,
                              const double* DIAG, const double* QTB, const double* DELTA, double* PAR,
                              double* X, double* SDIAG, double* WA1, double* WA2);

/* Element-wise vector kernels, value convention for the count: R[i] =
 * exp(A[i]) and R[i] = 1.0 / A[i] for i = 0..N-1 (a zero gives an infinity
 * of its sign).  Nothing is done for N <= 0; R may be A. */
TESSELBASICLIB_API void VML_vdExp(int32_t N, const double* A, double* R);
TESSELBASICLIB_API void VML_vdInv(int32_t N, const double* A, double* R);


/* ------------------------------------------------------------------------
 * Sparse matrix utilities
 * ---------------------------------------------------------------------- */

/* MC09AD: Y := Y + A*X (TRANS false) or Y := Y + A'*X (TRANS true) for A
 * held by columns (rows IRN, starts IP(1..N+1)).  M is not read; nothing is
 * checked. */
TESSELBASICLIB_API void MC09AD(const int32_t* M, const int32_t* N, const double* A, const double* X,
                               double* Y, const int32_t* TRANS, const int32_t* IRN, const int32_t* IP);
TESSELBASICLIB_API void VIZ_MC09AD(const int32_t* M, const int32_t* N, const double* A, const double* X,
                                   double* Y, const int32_t* TRANS, const int32_t* IRN, const int32_t* IP);

/* MC29AD: natural logarithms of row (RLOG(M)) and column (CLOG(N)) scaling
 * factors of an M by N coordinate matrix, chosen so that the scaled entries
 * A(k) * exp(RLOG(IRN(k)) + CLOG(ICN(k))) are as near 1 in magnitude as a
 * least-squares fit of their logarithms allows.  W holds 2M+3N reals.  An
 * entry with a zero value or an index out of range takes no part (it is
 * neither counted nor reported); an empty row or column gets 0.  IFAIL:
 *    0  success, also when the iteration stops at its limit of 100 steps
 *       (the factors reached then still improve the scaling);
 *   -1  M or N < 1;  -2  NE < 1: RLOG, CLOG and W untouched, and
 *       " **** Error return from MC29AD ****" and " IFAIL =" on unit LP
 *       when LP > 0.
 * There are no warnings. */
TESSELBASICLIB_API void VIZ_MC29AD(const int32_t* M, const int32_t* N, const int32_t* NE, const double* A,
                                   const int32_t* IRN, const int32_t* ICN, double* RLOG, double* CLOG,
                                   double* W, const int32_t* LP, int32_t* IFAIL);

/* MC49AD: coordinate entries into column form in place: on return column J
 * is IRN(IP(J):IP(J+1)-1), with its values in A(IP(J):IP(J+1)-1) when YESA
 * (a LOGICAL) is true, and IP(NC+1)-1 entries are kept.  IND 1/-1: any
 * order within a column, 2/-2: increasing rows.  A positive IND drops
 * entries with an index out of range and merges duplicates (their values
 * summed); a negative one keeps duplicates, and still drops and reports an
 * index out of range rather than use it.  Lengths: IRN, JCN NNZ; A NNZ (1
 * when YESA is false); IP NC+1 (IND 1/-1) or max(NR,NC)+1 (IND 2/-2); IW
 * NC+1 (IND -1), max(NC+1, NR) (IND 1) or NR+1 (IND 2/-2).  Reports
 * through IFLAG only and writes no text:
 *   -1  IND not -2, -1, 1 or 2;  -2  NC, NR or NNZ < 1;  -3  LA, -4  LIW,
 *       -5  LIP too small: nothing is changed.
 * Warnings (the column form of the entries kept is complete and valid; one
 * code only, 1 before 3 before 2, so a host that needs to know whether
 * entries were dropped compares IP(NC+1)-1 with NNZ):
 *    1  duplicates were merged (entries may also have been dropped);
 *    2  entries with a row index out of range were dropped;
 *    3  entries with a column index out of range were dropped (and
 *       perhaps some with a bad row index).
 * When no entry is left, IP(1:NC+1) = 1 (and IFLAG is 2 or 3). */
TESSELBASICLIB_API void MC49AD(const int32_t* IND, const int32_t* NC, const int32_t* NR, const int32_t* NNZ,
                               int32_t* IRN, int32_t* JCN, const int32_t* YESA, const int32_t* LA, double* A,
                               const int32_t* LIP, int32_t* IP, const int32_t* LIW, int32_t* IW,
                               int32_t* IFLAG);
TESSELBASICLIB_API void VIZ_MC49AD(const int32_t* IND, const int32_t* NC, const int32_t* NR,
                                   const int32_t* NNZ, int32_t* IRN, int32_t* JCN, const int32_t* YESA,
                                   const int32_t* LA, double* A, const int32_t* LIP, int32_t* IP,
                                   const int32_t* LIW, int32_t* IW, int32_t* IFLAG);

/* MC59AD: check a coordinate (ICNTL(2) = 0, 1) or column (2) matrix and sort
 * it into column form in place: on return column J is IRN(IP(J):IP(J+1)-1)
 * (rows increasing for ICNTL(2) = 1 and 2) and INFO(6) entries are kept.
 * ICNTL(1..6) are read, with no defaults routine:
 *   (1) 0: check for indices out of range, duplicates and column starts;
 *       other values trust the data: duplicates are kept, but an index out
 *       of range is still dropped and reported rather than used;
 *   (2) the form above; (3) 0: values in A move with their indices, other
 *       values: pattern only, A not referenced;
 *   (4) error unit, (5) warning unit, each written when >= 1;
 *   (6) 0 unsymmetric; -2..2 otherwise symmetric (NR = NC): only the lower
 *       triangle is kept, coordinate entries above the diagonal being
 *       mirrored; a negative value keeps the first of duplicate values
 *       instead of summing them.
 * Lengths: IRN NE; JCN NE (1 for ICNTL(2) = 2); A NE (1 without values);
 * IP NC+1 (max(NR,NC)+1 for ICNTL(2) = 1); IW max(NR,NC)+1.
 * INFO(1..10) are written: (3) duplicates, (4) entries with a row index out
 * of range, (5) with a column index out of range (an entry with both counts
 * in both), (6) entries returned, (7) with column input and symmetry, how
 * many of INFO(4) lay above the diagonal; (8..10) 0.  INFO(1):
 *   errors, with their text on ICNTL(4): -1 ICNTL(2), -11 ICNTL(6) out of
 *     range; -2 NC < 1; -3 NR < 1, or NR /= NC when symmetric; -4 NE < 1;
 *     -5 LJCN, -6 LA, -7 LIP, -8 LIW too small (INFO(2) the length
 *     needed): nothing else is changed.  -9 (column input) starts IP that
 *     do not increase at column INFO(2), start below 1 or run past entry
 *     NE; -10 no entry in range: after either the arrays may be partly
 *     rearranged and are not usable.
 *   warnings, with their text on ICNTL(5): the sum of
 *     1  duplicates found (summed, or the first value kept when
 *        ICNTL(6) < 0);
 *     2  entries with a row index out of range dropped (with column input
 *        and symmetry, entries above the diagonal among them);
 *     4  entries with a column index out of range dropped;
 *   so 3, 5, 6 and 7 combine them.  After a warning the column form of the
 *   entries kept is complete and valid. */
TESSELBASICLIB_API void MC59AD(const int32_t* ICNTL, const int32_t* NC, const int32_t* NR, const int32_t* NE,
                               int32_t* IRN, const int32_t* LJCN, int32_t* JCN, const int32_t* LA, double* A,
                               const int32_t* LIP, int32_t* IP, const int32_t* LIW, int32_t* IW,
                               int32_t* INFO);
TESSELBASICLIB_API void VIZ_MC59AD(const int32_t* ICNTL, const int32_t* NC, const int32_t* NR,
                                   const int32_t* NE, int32_t* IRN, const int32_t* LJCN, int32_t* JCN,
                                   const int32_t* LA, double* A, const int32_t* LIP, int32_t* IP,
                                   const int32_t* LIW, int32_t* IW, int32_t* INFO);

/* ------------------------------------------------------------------------
 * Sparse unsymmetric LU solver
 * ---------------------------------------------------------------------- */

/*
 * MA48: sparse unsymmetric and rectangular (M by N) systems.  Call
 * VIZ_MA48ID once, then VIZ_MA48AD (analyse) once per pattern, VIZ_MA48BD
 * (factorise) whenever the values change, VIZ_MA48CD (solve) for each
 * right-hand side.  Status in INFO(1): 0 success, < 0 error, > 0 warning
 * (the table below).  Lengths, the checked ones marked:
 *   A, IRN, JCN  LA entries each (LA >= 2*NE checked); the analysis uses
 *          JCN(NE+1:LA) as work space, so JCN needs LA entries too.
 *   KEEP   M + 9*N + 2 entries (exactly M + 5*N + 2 + 4*NB are used, NB the
 *          number of blocks).
 *   ICNTL  9 entries, CNTL 5, INFO 12, RINFO 1; the work arrays with each
 *          phase below.
 * The analysis rewrites IRN(1:NE) (the permuted pattern) and JCN(1:NE) (the
 * map of each entry to its stored position) and leaves A(1:NE) as given;
 * KEEP, IRN(1:NE) and JCN(1:NE) must then stay unchanged, and A and IRN as
 * the factorisation left them for the solves.
 *
 * Storage.  INFO(3), set by VIZ_MA48AD, is the length of A and IRN that the
 * analysis needs (after -3 from the analysis: retry with at least
 * max(INFO(3), 1.5*LA), giving A, IRN and JCN their entries again, as a
 * failed analysis may have rewritten them; with JOB = 2 INFO(3) can be only
 * the extent reached, a few entries more at each call).
 * INFO(4) is set by both phases: VIZ_MA48AD's is a forecast of what the
 * factorisation of the values analysed needs; VIZ_MA48BD's is what the
 * factorisation it made needed, which suffices for JOB = 2 and 3 calls on
 * the same pivot sequence.  A JOB = 1 factorisation of new values may pivot
 * differently and need more than the analysis reported (gre_1107: 68,273
 * forecast; the same pattern with its values scaled by factors in 0.5..1.5
 * needed up to 98,040).  On -3 from VIZ_MA48BD, INFO(4) is always more
 * than LA (unless LA is 2^31 - 1 already): 2*NE when LA < 2*NE; otherwise
 * what the blocks before the first one that ran short need, plus for that
 * block and for each later one that is not triangular (each later one
 * tried against the whole factor area):
 *   - when its factor area was shorter than its own entries + 2, or its
 *     rows: that minimum, often far short;
 *   - when it was factorised, or could still be counted to its end (its L
 *     factors kept, its U factors only counted): the length its factors
 *     need;
 *   - when not even the L factors of its columns done left room to go on:
 *     their fill, that of the latest of them extrapolated over the columns
 *     left, the dense trailing block and a column's work area.  Fill mostly
 *     grows towards the end, so this tends to fall short, and the next call
 *     gets further; where it comes early in the pivot order (an order given
 *     to VIZ_MA48AD with JOB = 2, say) it can overshoot by tens of times, so
 *     when any block was extrapolated INFO(4) is at most 3*LA.  As the call
 *     that passes needs more than every LA that ran short, that figure is
 *     never more than 3 times its need.
 * When every such block was counted to its end, a JOB = 1 call with the
 * same values given INFO(4) passes (on the grids below it needs exactly
 * that).  In every case, grow A and IRN to max(INFO(4), 1.5*LA), keeping
 * IRN(1:NE), put the values in A(1:NE) again and call again with JOB = 1,
 * until it passes.
 * Sized by NE instead of the forecast, LA = 4*NE, the 5-point Laplacian
 * passes at the third call on the 100 x 100, 200 x 200 and 300 x 300 grids
 * (INFO(4) 461,746 then 519,270; 1,978,981 then 2,731,452; 4,870,058 then
 * 7,622,344, the last of each the need), its LA then 1.33, 1.09 and 1.00
 * times the need; gre_1107 from LA = 2*NE passes at the fourth call with
 * 1.14 times (INFO(4) 11,330, 50,976 = 3*LA, then 67,144, the need).
 *
 * Status.  Errors (messages on unit ICNTL(1) when it is > 0 and ICNTL(3)
 * >= 1; after -8 and -9 X is a solution, after the others nothing is):
 *   -1  M < 1 or N < 1 (every phase).   -2  NE < 1 (MA48AD, MA48BD).
 *   -3  LA too small (MA48AD: INFO(3); MA48BD: INFO(4)).
 *   -4  MA48AD: structurally singular square matrix (ICNTL(7) != 0).
 *   -5  MA48AD: JOB = 2 and KEEP(1:M+N) not two permutations.
 *   -6  JOB out of range; MA48BD JOB = 2 without the factors of a
 *       successful factorisation, or JOB > 1 after one that dropped
 *       entries.
 *   -7  MA48BD JOB = 2: the new values do not fit the pivot sequence.
 *   -8  MA48CD: the refinement did not converge in ICNTL(9) steps (X and
 *       ERROR(1:2) are those of the last step), or ICNTL(9) <= 0 with
 *       JOB > 1 (no step runs: X and ERROR(1:2) are 0, not results).
 *   -9  MA48CD: the error estimate did not finish.
 *   -10 MA48BD: KEEP, IRN and JCN do not hold an analysis of MA48AD for
 *       this M, N and NE (M, N and NE are not recorded: a different NE is
 *       detected only when its map is not one of the analysis, and a
 *       different M or N only when KEEP read with them fails the checks
 *       below, which an analysis that kept few or no entries can pass:
 *       M = 1, N = 3 with no entry in range passes as M = 7, N = 1);
 *       MA48CD: A, IRN and KEEP do not hold the factors of a successful
 *       MA48BD (none since the analysis, the last call of MA48BD or MA48AD
 *       returned an error other than -1, or the arrays were changed).  An
 *       error -1 leaves no mark, since the M and N that find the mark are
 *       the ones refused: KEEP and the factors stay as they were, and a
 *       solve with the earlier M and N uses the earlier factors (with the
 *       values the host has since put in A(1:NE) as the stored matrix that
 *       JOB > 1 measures against), so a host must not solve after a -1.
 *   -11 MA48AD, MA48BD: an entry is not finite (NaN or an infinity, after
 *       duplicates are summed; entries out of range are still dropped);
 *       the message names the first such entry by its row and column.
 * Warnings (INFO(1) is the sum of those that apply; what each leaves):
 *   MA48AD  1 entries out of range (dropped, INFO(12)) or duplicates
 *           (summed, INFO(11)): the analysis of the matrix without the
 *           dropped entries; 2 the matrix is rank deficient (INFO(5) <
 *           min(M,N)): a complete analysis, the factorisation tells the
 *           rank; 4 JOB = 3 and some block had no acceptable diagonal pivot:
 *           the rest of that block was switched to dense processing (diagonal
 *           pivoting given up), a complete analysis.  So 1 to 7.
 *   MA48BD  2 the matrix is rank deficient (INFO(5) pivots, fewer than
 *           min(M,N)): the factors are complete, but MA48CD sets the
 *           components of the columns without a pivot to 0, so X solves
 *           the system only when it is consistent, and MA48CD still
 *           returns 0 (JOB >= 2 gives the backward errors that show it).
 *           A pivot counts as zero only when its magnitude is at most
 *           CNTL(4), so with the default 0 a matrix singular to rounding
 *           gets full rank and no warning 2 (Rank, below).
 *   MA48CD  none.
 *
 * State from phase to phase.  The later phases check what they are given
 * before they follow any index in it, and refuse with -10 (MA48CD then
 * writes nothing of the host's but INFO(1) and W, except after the later
 * solves below) a KEEP that fails these checks.  They find what no successful earlier phase left through marks,
 * and a KEEP that no analysis wrote only when it fails the structural
 * checks: one that passes them (every word 1 with N = 1, say) is taken as
 * an analysis (MA48BD then returns 2 with no pivots).
 *   - a mark in KEEP(M+2N) and KEEP(M+3N) (the last column's factor
 *     pointers) that says "analysed, no factors" after VIZ_MA48AD and after
 *     any error of VIZ_MA48BD but -1 (the host has put new values over the
 *     stored matrix, so earlier factors no longer go with A; an error found
 *     before the factorisation begins changes only these two words), and
 *     "no analysis" after any error of VIZ_MA48AD but -1 (which a refused
 *     factorisation leaves so).  The error -1 (M < 1 or N < 1) leaves no
 *     mark: the sizes that would find it are the ones refused (-10, above);
 *   - the block list (orders adding up to N, triangular flags, the count of
 *     sparse columns, one block for a rectangular matrix) and the positions
 *     of the stored entries in KEEP;
 *   - MA48BD: the map JCN(1:NE) (each a stored position, or NE for an
 *     entry out of range), the pointers and row indices of every block it
 *     factorises, the changed-column counts when ICNTL(8) != 0, and for
 *     JOB = 2 and 3 the stored factors it reads.  It does not read the
 *     permutations KEEP(1:M+N), so it does not check them;
 *   - MA48CD: both permutations (values in range whose sum is that of a
 *     permutation: any one changed word is found), and every pointer and
 *     index that the solve follows: the pointers of the diagonal and
 *     off-diagonal parts (each inside its own part of the stored entries)
 *     and their row indices (rows of the matrix), each factor area's
 *     pointers (inside the area), row and step indices (rows and columns of
 *     the block), full block and its pivoting record.  With JOB > 1 the
 *     whole block list and every stored entry (pointers in order, a
 *     triangular column led by its diagonal and otherwise above it, the
 *     rows of a kernel block's entries inside the block, off-diagonal rows
 *     in earlier blocks) are checked before anything of the host's is
 *     written.
 * The checks ride in the loops that read each word, or take one pass over a
 * section of KEEP (O(M + N + NB)), over indices that the solve then reads
 * (the off-diagonal rows; a nearly square factor area, with JOB = 1 only
 * one of at most 262,144 indices), over a long block's rows in MA48BD, and
 * over the entries of each kernel block (every stored entry with the
 * monitor) for MA48CD with JOB > 1.  MA48CD tests in its first solve what
 * the solve follows, with JOB > 1 the stored entries that solve reads as
 * the refinement needs them; the later solves of the same call (refinement,
 * error estimate) follow the same words, which nothing changes within a
 * call, and test them again only where the first solve did not test every
 * one (a factor area that is not square, or one with an index out of range
 * that the first solve did not read); a later solve that meets an index
 * out of range stops there, and the call is refused with -10 although X,
 * RHS and IW have been written by then (ERROR has not).  Not
 * detected: a value, or an index changed to another one that passes these
 * tests (a row index changed to another row, a pointer moved to another
 * position that stays inside, two or more permutation entries changed so
 * that the sum stays); the solve then returns a wrong X.  When MA48BD finds
 * a fault in the block list, the map or a block's entries after it has
 * begun, A and the factors of earlier blocks have changed (and KEEP is
 * marked as holding no factors); when MA48CD finds one during its first
 * solve, W has been used (X, RHS, ERROR and IW are written only after that
 * solve has passed).
 *
 * Values that are not finite: an entry of the matrix is refused (-11)
 * by the analysis and the factorisation, which then leave the marks above
 * (a later factorisation, or JOB = 2 and solves, are refused until a phase
 * succeeds).  A right-hand side that is not finite is solved: when X or the
 * residual of a step holds a value that is not finite, ERROR(1) and
 * ERROR(2) are +Inf (never 0), ERROR(3) is +Inf for JOB = 4 (square
 * matrices), and the
 * refinement stops there (returning the previous step's X and errors when
 * that step was finite); INFO(1) is not changed for it.  The same holds
 * for a nonzero residual measured against sums that overflow (|RHS| +
 * |A||X|, or |A||X| + max|X| times the row sums of |A|: entries near 1e308
 * make the row sums overflow whatever X is); a row whose residual is
 * exactly 0 keeps its 0.  A factorisation of finite values whose factors
 * overflow is not detected.
 */

/* Defaults: CNTL(1:5) = 0.5, 0.1, 0, 0, 0.5; ICNTL(1:9) = 6, 6, 2, 3, 32,
 * 1, 1, 0, 10.
 * Rank.  CNTL(4) is the level at which a pivot counts as zero, in the
 * analysis and in the factorisation alike: a pivot is taken only when its
 * magnitude is above CNTL(4) (a negative value acts as 0), and the rank
 * INFO(5) counts the pivots taken.  The default 0 takes any nonzero pivot,
 * however small, so a matrix that is singular only by rounding errors is
 * factorised with full rank, without warning 2, and a solve of a consistent
 * system then returns 0 with a wrong X.  On lp_afiro (27 by 51, in
 * tests/data/matrices) analysed with JOB = 3, the full block takes a pivot
 * of about 3.5e-17 (the largest entry is 2.4) on columns that are singular
 * to rounding, and MA48BD reports rank 27 with INFO(1) = 0: the transposed
 * solve of a consistent system has a relative residual of 1.1 (MA48CD JOB 1
 * and 3), and the plain solve returns an X of size 4e16 (residual 0.35).
 * With CNTL(4) set before MA48AD to any value from 5e-17 to 1e-2 (1e-14,
 * say), or with the JOB = 1 analysis, the same calls pivot elsewhere and
 * every solve has a relative residual below 5e-16.  For rank detection set
 * CNTL(4) before the analysis to about 1e-14 times the largest magnitude of
 * an entry (a few hundred times the rounding errors of the factorisation),
 * or to a level of your own if the entries carry larger errors; a larger
 * value treats pivots that are merely small as zero, and the columns without
 * a pivot then get X = 0.  MA48CD with JOB >= 2 shows such a solve in
 * ERROR(1:2) when its residual is large against |A||X| + |RHS| (0.88 for the
 * transposed solve above); an X far larger than the data warrants with a
 * small ERROR(1) (7.6e-17 for the plain solve above) is the other sign. */
TESSELBASICLIB_API void VIZ_MA48ID(double* CNTL, int32_t* ICNTL);

/* Analyse.  JOB 1: block triangular form and pivots chosen here; 2: the
 * permutations are given in KEEP(1:M+N); 3: diagonal pivoting.
 * IW: 6*M + 3*N entries (IW(1:N) flags changed columns when ICNTL(8) != 0). */
TESSELBASICLIB_API void VIZ_MA48AD(const int32_t* M, const int32_t* N, const int32_t* NE, const int32_t* JOB,
                                   const int32_t* LA, double* A, int32_t* IRN, int32_t* JCN, int32_t* KEEP,
                                   const double* CNTL, const int32_t* ICNTL, int32_t* IW, int32_t* INFO,
                                   double* RINFO);

/* Factorise new values A(1:NE), given in the order of the entries as the
 * host gave them to VIZ_MA48AD.  JOB 1: with pivoting; 2: fast
 * refactorisation on the pivot sequence of the previous JOB 1 call; 3:
 * pivoting from the previous row order.  JOB 2 and 3 check the factors
 * stored by the previous call first: when there are none that are complete
 * (no successful factorisation since the analysis, or the last call
 * returned an error), JOB 2 fails with INFO(1) = -6 and the JOB message,
 * while JOB 3 factorises such blocks from the row order of the analysis.
 * W: M entries.  IW: 2*M + 2*N entries. */
TESSELBASICLIB_API void VIZ_MA48BD(const int32_t* M, const int32_t* N, const int32_t* NE, const int32_t* JOB,
                                   const int32_t* LA, double* A, int32_t* IRN, const int32_t* JCN, int32_t* KEEP,
                                   const double* CNTL, const int32_t* ICNTL, double* W, int32_t* IW,
                                   int32_t* INFO, double* RINFO);

/* Solve A x = RHS (TRANS false) or A' x = RHS (TRANS true, a LOGICAL).
 * JOB 1: solve; 2: also the backward errors ERROR(1:2); 3: iterative
 * refinement (at most ICNTL(9) steps) with ERROR(1:2); 4: as 3 and an error
 * estimate in ERROR(3) (square matrices).  RHS is overwritten when JOB > 1.
 * With LR = M, LX = N (TRANS false) or LR = N, LX = M (TRANS true):
 *   RHS   LR entries, X  LX entries, ERROR 3 entries;
 *   W     LR + 2*max(M,N) entries for JOB = 1, LR + 2*max(M,N) + LX for
 *         JOB > 1 (4*max(M,N) always suffice; 4*N for a square matrix);
 *   IW    LR entries (not used for JOB = 1). */
TESSELBASICLIB_API void VIZ_MA48CD(const int32_t* M, const int32_t* N, const int32_t* TRANS,
                                   const int32_t* JOB, const int32_t* LA, const double* A, const int32_t* IRN,
                                   const int32_t* KEEP, const double* CNTL, const int32_t* ICNTL, double* RHS,
                                   double* X, double* ERROR, double* W, int32_t* IW, int32_t* INFO);

/* ------------------------------------------------------------------------
 * Unsymmetric-pattern multifrontal LU (ZA38)
 * ---------------------------------------------------------------------- */

/* Status INFO(1) of ZA38AD, ZA38BD and ZA38CD: 0 success; < 0 an error
 * (the call stops, its outputs are not valid, and a failed ZA38AD or ZA38BD
 * sets KEEP(1:5) = 0, so that every later ZA38BD or ZA38CD gives -7 until
 * a ZA38AD succeeds); > 0 the sum of the warnings that occurred, each at
 * most once (3 = 1 + 2, 20 = 4 + 16, ...), never added to an error.
 *   -1  N < 1.
 *   -2  NE < 1, no entry left in range, or (ZA38BD) 2*NE > KEEP(4).
 *   -3  LINDEX too small, -4 LVALUE too small, -5 both (INFO(19), INFO(21)
 *       give the lengths needed, below).
 *   -6  ZA38BD: a pivot of the stored order is exactly zero for the new values.
 *   -7  ZA38BD, ZA38CD: the factors are missing or damaged.
 *   -8  ZA38AD, ZA38BD: an entry of the matrix is not finite (Inf or NaN),
 *       once duplicates are summed (1e308 + 1e308 is one); entries out of
 *       range are dropped first, as always.  The message (ICNTL(3) >= 1)
 *       names the first such entry by columns of the matrix factorised (A,
 *       or A' with TRANSA), its row and column as given, and the summed
 *       value; nothing is factorised, and INDEX(1:2*NE) and VALUE(1:NE) no
 *       longer hold the entries as given.
 * Warnings, and what each means for the results:
 *    1  ZA38AD, ZA38BD: entries out of range 1..N (INFO(3)) or, in ZA38BD,
 *       outside the stored pattern (INFO(4)) were ignored; the factors are
 *       those of the matrix without them.
 *    2  ZA38AD, ZA38BD: duplicate entries (INFO(2)) were summed; the factors
 *       are those of the summed matrix.
 *    4  ZA38AD, ZA38BD: the matrix is singular, only INFO(17) pivots were
 *       found (ZA38BD: the stored order was singular, or a block of order 1
 *       is zero for the new values).  The missing pivots act as 1 in the
 *       solves, so an X from these factors is not a solution of the system,
 *       and refinement does not make it one.
 *    8  ZA38CD: refinement was asked for (ICNTL(8) > 0) but is not possible:
 *       the matrix was not kept (JOB other than 1 in the factorising call),
 *       or JOB is 1 or 2.  X is the plain solve; RINFO(7:8) are not
 *       estimated and stay 0.
 *   16  ZA38AD, ZA38BD: the factors grew past 1e8 or are not finite (below,
 *       RINFO(9)); the factors are stored, but a solve may lose over half
 *       its digits, and with factors that are not finite it gives no
 *       solution at all.
 * Values that are not finite: in the matrix given to ZA38AD or ZA38BD,
 * error -8; in factors of finite values (an overflow), warning 16 with
 * RINFO(9) = +Inf; in B, or in an X that the solve produces, INFO(1) as
 * for any solve.  With refinement, an X or residual that is not finite, or
 * a nonzero residual measured against sums that overflow (|B| + |M||X|,
 * or |M||X| + max|X| times the row sums of |M|, M the matrix solved with:
 * entries near 1e308 make the row sums overflow whatever X is), gets
 * RINFO(7) = RINFO(8) = +Inf (never 0) and stops the refinement (an
 * earlier finite X is kept with its figures); without refinement
 * RINFO(7:8) are not estimated and stay 0 whatever X holds, so test X
 * itself. */

/* Defaults: ICNTL(1:8) = 6, 6, 2, 1, 4, 0, 16, 0 and ICNTL(9:20) = 0;
 * CNTL(1:3) = 0.1, 2.0, relative machine precision, CNTL(4:10) = 0;
 * KEEP(6:8) = 0, 64, 1 and KEEP(9:20) = 0.  KEEP(1:5) is left alone.
 * Lengths: KEEP 20, CNTL 10, ICNTL 20 (INFO 40, RINFO 20 in the phases). */
TESSELBASICLIB_API void VIZ_ZA38ID(int32_t* KEEP, double* CNTL, int32_t* ICNTL);

/* Analyse and factorise the N by N matrix given as NE entries: INDEX(1:NE)
 * rows, INDEX(NE+1:2*NE) columns, VALUE(1:NE) values (entries out of range
 * are ignored, duplicates summed; an entry that is not finite gives -8).
 * TRANSA (a LOGICAL) factorises A'.
 * JOB 1 keeps a copy of the matrix with the factors, which ZA38CD needs
 * for iterative refinement; any other value keeps no copy.  ICNTL(4) = 1
 * orders to block upper triangular form first.  Lengths: LINDEX >= NE + 2*N
 * + 1 + max(N+1, 2*NE) and LVALUE >= 2*NE to start (a length equal to its
 * minimum passes, although the message says "greater than"); a shortage
 * gives -3 (INDEX), -4 (VALUE) or -5 (both).  After success INFO(19) (for
 * INDEX) and INFO(21) (for VALUE) give the lengths the factorisation needed,
 * at most 2147483647; INFO(18) and INFO(20) the positions of each in use.
 * After -3, -4 or -5 INFO(19) and INFO(21) are lower bounds: the lengths
 * needed to start or, when the factorisation ran short, what it had needed
 * up to there, the failed request included; later steps may need more.  So
 * grow each short array to the larger of the reported need and 1.5 times
 * its length, and call again.  Each such call prints its "too small" text
 * on ICNTL(1) (standard output by default) at ICNTL(3) >= 1, so a host
 * that grows its arrays in a loop prints one or two lines at every retry;
 * a host that wants them quiet sets ICNTL(1) < 0 (or ICNTL(3) = 0), which
 * silences the other messages too, and reads INFO(1) itself.  INFO(22) (LINDEX) and INFO(23) (LVALUE) give
 * the lengths that a later ZA38BD needs.
 * The factors stay in VALUE(KEEP(1):KEEP(2)) and
 * INDEX(KEEP(3):KEEP(5)) for ZA38CD (and INDEX(KEEP(4):KEEP(5)) for
 * ZA38BD); the host keeps them unchanged.
 * INFO(10) counts the entries of the U parts above the diagonal and
 * INFO(11) those of the L parts below it (the reports print them under the
 * labels "entries below diagonal in L" and "entries above diagonal in U").
 * RINFO(9) is the growth of the factors: the largest magnitude in U (the
 * pivots and U parts of every LU record, pivots of blocks of order 1
 * included) over the largest magnitude of an entry of the matrix factorised
 * (duplicates summed, invalid entries dropped; 0 when it has no nonzero),
 * and +Inf when an entry of the factors, in L or in U, is not finite (the
 * factorisation overflowed).
 * Past 1e8, or +Inf, the call adds warning 16 to INFO(1) (with a message on
 * ICNTL(1) at ICNTL(3) >= 2): a solve without refinement may then lose more
 * than half of its sixteen digits, although every pivot passed the
 * threshold test, and factors that are not finite give no solution.  Expect
 * growth from the defaults (CNTL(1) = 0.1, no diagonal preference) on large
 * grid operators, symmetric and diagonally dominant ones as well as
 * convection-dominated ones, where the growth of each step compounds.  The
 * 5-point Laplacian grows by 5.5e3 at 100 x 100, 3.9e5 at 200 x 200 (below
 * the warning, yet the unrefined solve's relative error is 1e-11 and 2e-11
 * where ICNTL(6) = 1 gives 2e-14 and 3e-14) and 2.9e12 at 300 x 300
 * (error 1.5e-3); a 2D upwind grid grows by 6e5 at 60 x 60, 2e9 at 80 x 80
 * and 4e16 at 300 x 300.  With ICNTL(6) = 1 the same grids grow by 1, in
 * the same time.  So for matrices whose diagonal makes good pivots
 * (symmetric or nearly symmetric, diagonally dominant, most discretised
 * operators) set ICNTL(6) = 1.  After warning 16, a new factorisation with
 * ICNTL(6) = 1 or a larger CNTL(1) usually gives accurate factors (a scaled
 * matrix may avoid an overflow); iterative refinement (JOB = 1 here,
 * ICNTL(8) > 0 in ZA38CD) may recover a solution when the growth is
 * moderate, not always.
 * KEEP 20, CNTL 10, ICNTL 20, INFO 40, RINFO 20 entries. */
TESSELBASICLIB_API void VIZ_ZA38AD(const int32_t* N, const int32_t* NE, const int32_t* JOB, const int32_t* TRANSA,
                                   const int32_t* LVALUE, const int32_t* LINDEX, double* VALUE, int32_t* INDEX,
                                   int32_t* KEEP, const double* CNTL, const int32_t* ICNTL, int32_t* INFO,
                                   double* RINFO);

/* Refactorise: new values on the pattern, pivot order and block form that an
 * earlier VIZ_ZA38AD (or VIZ_ZA38BD) stored, with no search.  The arguments
 * are those of VIZ_ZA38AD (JOB 1 keeps a copy of the new matrix for
 * refinement, any other value keeps none); only INDEX(KEEP(4)..KEEP(5)) of
 * the earlier call must be unchanged (it is moved to the top of INDEX when
 * LINDEX grew), the new entries are given in front of INDEX and VALUE as
 * for VIZ_ZA38AD.  An entry that is not finite gives -8 (checked before the
 * pattern, so also an entry the pattern would drop), and the factors are
 * then gone: KEEP(1:5) = 0.
 * Entries outside the stored pattern are dropped (INFO(4), warning 1); any
 * nonzero pivot is accepted, with no threshold test, and an exactly zero
 * pivot gives INFO(1) = -6; factors not from a successful
 * factorisation, or a damaged INDEX(KEEP(4):KEEP(5)), give -7 (the
 * checks of VIZ_ZA38CD on that region, which holds no reals; an index
 * changed to another valid one is not detected).  INFO(22) (LINDEX) and
 * INFO(23) (LVALUE) of VIZ_ZA38AD give the lengths that a refactorisation
 * needs; after -3, -4 or -5, INFO(19) (LINDEX) and INFO(21) (LVALUE) are
 * lower bounds as for VIZ_ZA38AD, and the same growth applies.
 * RINFO(9) and warning 16 are those of VIZ_ZA38AD, for the new values: with
 * no threshold test, values that make the kept pivots small grow the
 * factors where the first factorisation's did not (or overflow them, even
 * in L alone: RINFO(9) = +Inf), and a call whose values do not grow leaves
 * warning 16 out again. */
TESSELBASICLIB_API void VIZ_ZA38BD(const int32_t* N, const int32_t* NE, const int32_t* JOB, const int32_t* TRANSA,
                                   const int32_t* LVALUE, const int32_t* LINDEX, double* VALUE, int32_t* INDEX,
                                   int32_t* KEEP, const double* CNTL, const int32_t* ICNTL, int32_t* INFO,
                                   double* RINFO);

/* Solve with the stored factors: JOB 1 with L only, 2 with U only, any
 * other value the whole system, M x = B (TRANSC false) or M' x = B, where M
 * is the factorised matrix (A, or A' when TRANSA was set).  With
 * ICNTL(8) > 0 steps of iterative refinement on the copy kept by JOB = 1
 * (RINFO(7:8) the backward errors, INFO(24) the steps taken; without
 * refinement they stay 0, whatever X holds).  A refined solve whose X or
 * residual is not finite (B not finite, or factors that overflowed), or
 * whose sums to measure them against overflow (above), stops
 * refining: a first X comes back with RINFO(7) = RINFO(8) = +Inf, never 0,
 * and a correction that is not finite is dropped for the last finite X with
 * its figures; INFO(1) is what it would be otherwise.  W: 2*N reals, 4*N
 * when ICNTL(8) > 0.  Factors missing (KEEP(1:5) = 0 after a failed call)
 * give -7 with X untouched; so does damage to their structure, checked
 * before anything is read through it:
 * KEEP(1:5) against LINDEX, LVALUE and each other; the trailing integers;
 * the positions, counts and bounds of each part the solve reads (the kept
 * copy, the entries above the blocks, the block boundaries and pointers,
 * every LU record's header and index lists), with the block factors
 * filling INDEX from KEEP(4) up to the block data; the reals of the blocks
 * (the pivot of a block of order 1) and of each block's LU records
 * following each other from the first real of the block factors to
 * KEEP(2), none overlapping another or leaving a gap, so that a start
 * moved to another position is refused; and the permutations.  A changed
 * value, or an index changed to another valid one, is not detected: the
 * solve then succeeds with a wrong X.
 * Only X, W, INFO(1), INFO(24), RINFO(7:8) are written. */
TESSELBASICLIB_API void VIZ_ZA38CD(const int32_t* N, const int32_t* JOB, const int32_t* TRANSC,
                                   const int32_t* LVALUE, const int32_t* LINDEX, const double* VALUE,
                                   const int32_t* INDEX, const int32_t* KEEP, const double* B, double* X, double* W,
                                   const double* CNTL, const int32_t* ICNTL, int32_t* INFO, double* RINFO);

/* ------------------------------------------------------------------------
 * Nonlinear least squares and equations (DI23), zero of a function (NB01)
 * ---------------------------------------------------------------------- */

/*
 * DI23: sparse nonlinear least squares, min ||F(x)|| for M residuals F(x)
 * in N variables, and nonlinear equations (M = N), by a Levenberg-Marquardt
 * method driven by reverse communication.  Each step solves
 * (J'J + mu D^2) p = -J'F with the sparse symmetric solver inside the
 * library; the Jacobian J comes from the host or from grouped finite
 * differences (columns that share no row are shifted together).
 *
 * DI23ID(ICNTL, CNTL, CNTLD, ICNTLM, CNTLM) fills the defaults; it cannot
 * fail.  Unused entries are 0.
 *   ICNTL(20)  (1) error unit 6, (2) warning unit 6, (3) monitoring unit 6
 *              (a unit writes only when > 0); (4) print level 2: errors
 *              from 1, warnings from 2, a line per iteration from 3;
 *              (5) 0: J estimated, 1: the host supplies J (IREQ = 2);
 *              (6) 10000: limit on residual evaluations (estimates
 *              included); (7) 1000: limit on iterations; (8) 1: forward,
 *              2: central differences; (9) 0: automatic scaling, 1: the
 *              host's D.
 *   CNTL(20)   (1) 1e-12: stop when ||F|| <= CNTL(1) (an absolute level;
 *              0 stops only on an exact zero, and a zero that F reaches
 *              only to the rounding of its residuals then ends with -10,
 *              see there; near a zero only this test ends the solve, so
 *              CNTL(1) sets how far the last steps go: a larger level,
 *              1e-10 say, saves the last iteration on the benchmark's
 *              large problems); (2) 1.4901161193847656e-8
 *              (sqrt of the relative precision): stop when a trial point's
 *              actual and predicted relative reductions of ||F||^2 are both
 *              at most CNTL(2) and the scaled gradient (RINFO(4)) is at
 *              most sqrt(CNTL(2)) (a damping that a run of rejected steps
 *              drove up makes the reductions small by itself); (3) the
 *              same value: stop on a step with ||D p|| <= CNTL(3) *
 *              (||D x|| + CNTL(3)) that the damping does not explain: only
 *              a step on a fresh Jacobian (no trial rejected since) counts,
 *              after the damping is first cut tenfold (a step that then
 *              more than doubles goes on), and only from a point whose
 *              scaled gradient is at most CNTL(4) or sqrt(CNTL(2)).  From
 *              any other point a short step is no convergence (a scale
 *              D_j far above its column's present norm makes it short, or
 *              X is near a zero of F): it is tried as an ordinary step
 *              (with the damping so cut), and one that leaves X unchanged
 *              is a stall (-10).  A step that passes the test and leaves
 *              X unchanged ends the solve at X; otherwise it is still
 *              tried: the solve ends at it when it lowers ||F|| (from the
 *              start only when it also passes the acceptance test below),
 *              or at X if X was reached by an accepted step (not at the
 *              start).  After a rejected trial the damping explains a
 *              short step, which is then an ordinary trial; (4) 0: stop
 *              when the scaled gradient (RINFO(4)) is at most CNTL(4); (5)
 *              1e-3: the first damping factor is mu = CNTL(5) * max_j
 *              (J'J)_jj / D_j^2 (over the j with D_j > 0).
 *              A trial point is accepted when ||F|| falls, the ratio
 *              rho of actual to predicted reduction is at least 1e-4 and
 *              its Jacobian is finite; mu then shrinks by max(1/3, 1 -
 *              (2 rho - 1)^3), and after a rejection grows by a factor
 *              that doubles with each rejection in a row (at least to
 *              eps * max_j (J'J)_jj / D_j^2, at most to the largest the
 *              arithmetic can use, huge * eps / max(1, max_j D_j^2), huge
 *              = 1.797e308).  A failed factorisation doubles mu (from at
 *              least that level).
 *   CNTLD(5)   (1) 0: the relative difference step r (0 takes sqrt(eps) =
 *              1.49e-8 for forward and eps^(1/3) = 6.06e-6 for central
 *              differences); (2) 0: the smallest absolute step.  Column j
 *              steps by max(r * max(|x_j|, s_j), CNTLD(2)) (rounded so that
 *              x_j plus the step is exact), s_j the typical size of x_j,
 *              fixed at the start: 1/D(j) with the host's scaling
 *              (ICNTL(9) = 1); otherwise |X(j)| of the start point, and
 *              for an X(j) that starts at 0 the largest |X(k)| of the
 *              start, or 1 when the whole start is 0.  So a coordinate at
 *              or near zero is still differenced with a step the residuals
 *              resolve, and a problem whose variables are all scaled by
 *              one factor is estimated alike at any scale.  What needs the
 *              host's scaling (ICNTL(9) = 1, D(j) = 1/typical size): a
 *              start at 0 of variables whose sizes lie far from 1 (a
 *              variable of size 1e-100 would be stepped by about r, and
 *              the estimate would be meaningless), and a start coordinate
 *              that is not 0 yet far smaller than its variable's size, when
 *              the variable stays near 0 (it is stepped by about r times
 *              that coordinate, which the residuals may not resolve).
 *   ICNTLM(20), CNTLM(5)  the sparse symmetric solver's defaults, with
 *              ICNTLM(5) = 0 (it prints nothing) and ICNTLM(7) = 2 (no
 *              pivoting); ICNTLM(1..3) are its units, ICNTLM(5) its print
 *              level, CNTLM(2) its zero-pivot threshold.
 * Controls DI23AD refuses (-8): ICNTL(5), (8), (9) outside their values,
 * ICNTL(6) or (7) < 1, a CNTL(1..5) or CNTLD(1..2) negative or not finite,
 * ICNTLM(6) = 1, ICNTLM(7) other than 2 or 3, CNTLM(2) negative or not
 * finite, and with ICNTL(9) = 1 a D(j) not finite or <= 0.
 *
 * DI23AD(M, N, NE, IRN, JCN, X, F, D, ICNTL, CNTL, CNTLD, ICNTLM, CNTLM,
 *        IW, LIW, W, LW, AJ, XT, IREQ, FT, INFO, RINFO, NFEV, NJEV, NITER,
 *        FNORM), all by address:
 *   M, N, NE     residuals (M >= 1), variables (N >= 1), entries (NE >= 1)
 *                of the pattern of J at (IRN(k), JCN(k)), k = 1..NE, no
 *                position twice.  Read at the start only.
 *   X(N)         the start; on return the best point so far.
 *   F(M)         on return the residuals at X.
 *   D(N)         with ICNTL(9) = 1 the scaling, read at the start;
 *                otherwise not referenced.  The automatic scaling D_j is
 *                the largest norm column j of J has had at the points
 *                whose Jacobian was taken.  A column that has been zero
 *                at all of them has no size yet: D_j = 0, which leaves it
 *                out of ||D x|| and out of the largest D_j (its damping
 *                term is mu: its step is 0), until the column's own norm
 *                replaces it.  What needs the host's scaling: a start
 *                where columns of J are orders larger than near the
 *                minimum (D_j keeps that size, and the variable then
 *                moves slowly: Chebyquad's function from 10 and 100 times
 *                its standard start ends at the iteration limit, Bard's
 *                from 10 and Beale's from 100 times at minima approached
 *                as variables grow without bound; with D = 1 each reaches
 *                the least minimum); and such a minimum itself, or one
 *                where a column vanishes while ||F|| does not: the scaled
 *                gradient (RINFO(4)) is a cosine, which can stay large
 *                there, and the solve then ends with -10 or at a limit.
 *                An estimate cannot see a column whose change over the
 *                difference step is below the rounding of F: it is zero
 *                to the solver and left out, and such a minimum may end
 *                with test 2 (Bard's from 10 times its start, Box's
 *                3-dimensional function from 100 times).
 *                Neither scaling helps a problem whose columns of J have
 *                entries below about 1e-154 throughout: their squares
 *                underflow in J'J, and the solve ends with a failure; the
 *                host must then state it in variables of other sizes.
 *   IW(LIW), W(LW)  everything DI23AD keeps between calls; unchanged by
 *                the host while a problem runs.  Each call that continues
 *                a problem first checks, in the parts of IW it is about to
 *                read, the words it follows as sizes, offsets, indices or
 *                loop bounds: the heading words and counters against M, N,
 *                NE, LIW, LW, the call's ICNTL(5) and each other (a kept
 *                state that would ask a call with ICNTL(5) = 0 for the
 *                Jacobian, or read AJ in it, fails at its source word
 *                IW(12) or its phase word IW(2)), the patterns of J (by
 *                columns and by rows) and of J'J and the column groups of the
 *                estimate for range and order, and the sparse solver's
 *                analysis (pivot order, tree, the columns of its slots)
 *                against a checksum taken at the start; its map, which
 *                the solver keeps in range itself, only places values.
 *                A word that fails ends the problem with -11.  Any other
 *                change of IW, and any change of W (which holds values
 *                only), gives other iterates or another end, never an
 *                access outside the host's arrays.
 *                With NEJTJ the entries of the lower triangle of the
 *                pattern of J'J (its diagonal included; INFO(4)) and
 *                LFACT, LIFACT the factor storage forecast by the analysis
 *                (INFO(8), INFO(9)):
 *                  LIW >= 13N + M + 5NE + 3NEJTJ + LIFACT + 86,
 *                  LW  >= 8N + 3M + 2NE + NEJTJ + LFACT + 20.
 *                A first call with short arrays reports both in INFO.
 *   AJ(NE)       with ICNTL(5) = 1, the Jacobian at XT on IREQ = 2: entry
 *                k at (IRN(k), JCN(k)).  Not referenced otherwise.
 *   XT(N), FT(M) the point of a request and the residuals there.  The
 *                host reads XT and must not change it: a difference
 *                estimate steps from the values left there.
 *   IREQ         set to 0 by the host to start.  On return:
 *                 1  put FT = F(XT) and call again with IREQ unchanged;
 *                 2  (ICNTL(5) = 1) put AJ = J(XT) and call again;
 *                 3  success, INFO(1) = 0, INFO(2) the test that stopped
 *                    (see CNTL): 1 ||F|| <= CNTL(1), X a zero of F to
 *                    that level; 2 relative reduction, X a stationary
 *                    point of ||F||^2 (the usual end of a problem whose
 *                    minimum is not 0: a local minimum, or a point where
 *                    ||F||^2 can fall only by a relative CNTL(2)); 3 step,
 *                    the model's own step from X (the damping not
 *                    limiting it) is at most CNTL(3) relative to ||D x||,
 *                    from a point that passes the gradient level of test
 *                    2 (or test 4); 4 scaled gradient at most CNTL(4).
 *                    Tests 2, 3 and 4 end only where the scaled gradient
 *                    (RINFO(4)) is at most sqrt(CNTL(2)) or CNTL(4), at X
 *                    or where the step to X started: any of them
 *                    is a result to use, at a large ||F|| a local minimum
 *                    of ||F|| (or another stationary point), which another
 *                    start may better.  Near a zero of F, F is nearly J
 *                    times the distance to it, and the scaled gradient is
 *                    seldom small: there test 1 ends the solve.
 *                DI23AD has no warning codes: INFO(1) is 0 after IREQ =
 *                1, 2 or 3 and negative after a failure.  Its warning
 *                messages (below) say that a trial point was given up,
 *                and change nothing in the results of the solve;
 *                < 0 failure, the same code in INFO(1):
 *                -1  M < 1, N < 1 or NE < 1;
 *                -2  entry INFO(2) out of range or repeating an earlier
 *                    position of the pattern;
 *                -3  LIW too small: INFO(2) the LIW needed, INFO(3) the
 *                    LW needed (2147483647 when it does not fit 32 bits);
 *                -4  LW too small: INFO(2) the LW needed, INFO(3) the LIW;
 *                -5  the evaluation limit ICNTL(6) reached;
 *                -6  the iteration limit ICNTL(7) reached;
 *                -7  a non-finite value at the start: INFO(3) = 1 X,
 *                    2 residual, 3 Jacobian entry, INFO(2) its index;
 *                -8  an invalid control: INFO(3) = 1 ICNTL, 2 CNTL,
 *                    3 CNTLD, 4 ICNTLM, 5 CNTLM, 6 D, INFO(2) the entry;
 *                    INFO(3) = 0: an IREQ (INFO(2)) that does not continue
 *                    the problem held in IW (the header is checked against
 *                    M, N, NE, LIW, LW and the request last made);
 *                -9  J'J + mu D^2 still not factorised after 10 doublings
 *                    of the damping term (INFO(3) the solver's status);
 *               -10  no step can be accepted any more: INFO(2) = 1 the
 *                    damping reached the largest the arithmetic can use,
 *                    2 the steps no longer change X (below rounding
 *                    level), while the scaled gradient is above both
 *                    CNTL(4) and sqrt(CNTL(2)); with a smaller one the
 *                    solve ends with IREQ = 3 and test 4 or 2.  The method
 *                    stalled at X: a Jacobian that does not match the
 *                    residuals ends this way, and so may a zero of F, at
 *                    the start or reached, where ||F|| exceeds CNTL(1)
 *                    only by the rounding of the residuals (CNTL(1) sets
 *                    that level: Brown's badly scaled function in
 *                    variables 1e+100 times the published ones ends so at
 *                    ||F|| = 1.2e-10), and a minimum where the scaled
 *                    gradient stays large (see D).
 *               -11  IW changed between calls (see IW above): INFO(2) the
 *                    position in IW of the first word found out of its
 *                    range or inconsistent with those it is checked
 *                    against (the first word of the analysis when its
 *                    checksum differs).  The problem has ended; X, F,
 *                    FNORM, RINFO, NFEV, NJEV and NITER keep the values of
 *                    the previous return.
 *               -12  the Jacobian (the host's or the estimate) was not
 *                    finite at INFO(3) trial points in a row: at the
 *                    tenth, or sooner when the damping these rejections
 *                    raise reaches the largest the arithmetic can use or
 *                    no longer moves X (then, as for -10, a scaled
 *                    gradient at most CNTL(4) or sqrt(CNTL(2)) ends with
 *                    IREQ = 3 instead).  INFO(2) is the first entry not
 *                    finite in the last of them (k of AJ, in the host's
 *                    numbering also for an estimate).  X is the last point
 *                    whose Jacobian was finite.
 *                Failures -1 to -4, -7 (of X) and -8 at the start write
 *                nothing but IREQ, INFO, RINFO and the zeroed counters;
 *                -8 for a request flag writes only IREQ and INFO(1:3).
 *                After -5, -6, -9, -10, -12 and -8 for a control on a
 *                later call, X, F and FNORM are the best point so far
 *                (once its residuals are known): the last accepted point,
 *                or after -5 during an estimate the point whose Jacobian
 *                it is.
 *                Values that are not finite: in X, or in F or the
 *                Jacobian at the start point, -7.  Later, a trial
 *                point whose residuals are not all finite is rejected
 *                like one where ||F|| grew (after the last, short step
 *                of test 3 the solve ends at X instead); a trial point
 *                whose Jacobian has an entry that is not finite (from
 *                the host, or an estimate from residuals that are not
 *                finite at a shifted point) is rejected too, though its
 *                ||F|| fell: the damping grows from its value before the
 *                point was tried, with the factor that doubles with each
 *                rejection in a row, and ten such Jacobians in a row end
 *                the problem with -12.  A finite Jacobian whose J'J
 *                overflows is not factorised (the damping doubles; -9).
 *                INFO(13) counts these rejected points.
 *   INFO(20)     (1) status, (2) detail, (3) sub-detail, (4) NEJTJ, (5) the
 *                number of column groups of the estimate (0 with the
 *                host's J), (6) factor entries and (7) delayed pivots of
 *                the last factorisation, (8) LFACT, (9) LIFACT, (10)
 *                factorisations, (11) doublings of the damping term after
 *                failed factorisations, (12) rejected trial points, (13)
 *                of them rejected for non-finite values, (14) LIW needed,
 *                (15) LW needed, (16) the solver's status of the last
 *                factorisation.
 *   RINFO(20)    (1) ||F|| at X, (2) ||F|| at the start, (3) the damping
 *                factor mu, (4) the scaled gradient at the last point
 *                whose Jacobian was taken (X, or the point that X's last
 *                step started from): with the automatic scaling max_j
 *                |(J'F)_j| / (||J_j|| ||F||) over the nonzero columns J_j
 *                of J (the largest cosine between F and a column), with
 *                the host's max_j |(J'F)_j| / (D_j ||F||) (+Inf, which
 *                passes no test, when with the automatic scaling a column
 *                norm overflows; a column whose squares underflow is
 *                measured from its entries, not taken for a zero one),
 *                (5) ||D p|| of the last step, (6) ||D x||,
 *                (7) actual over predicted reduction of the last trial,
 *                (8) and (9) those relative reductions.
 *   NFEV, NJEV, NITER  residual evaluations (estimates included),
 *                Jacobians (host or estimated), iterations (trial steps).
 *   FNORM        ||F|| at X; 0 on the first request, before any residual
 *                is known.
 * Messages (format records):
 *   errors, ICNTL(1), print level >= 1: a blank line, " *** Error return
 *     from DI23AD ***  IREQ =" and the code (I3), then
 *     -1 " M =",M,"   N =",N,"   NE =",NE (I10 each)
 *     -2 " Entry",k,(I10) " (",IRN(k),",",JCN(k),(I10) ") is " and "out of
 *        range" or "a repeated pattern entry"
 *     -3 " LIW =",LIW,(I11) " is less than",need (I11); -4 the same with
 *        " LW ="
 *     -5 " Limit of",ICNTL(6),(I10) " residual evaluations reached"
 *     -6 " Limit of",ICNTL(7),(I10) " iterations reached"
 *     -7 " Non-finite ", "X", "residual" or "Jacobian value",
 *        " at the start, component",index (I11)
 *     -8 " Invalid ", the array's name, "(",entry (I2),")"; for D
 *        " Invalid scaling D(",j (I10),")"; for the request flag
 *        " IREQ =",IREQ (I11)," does not continue the problem held in IW"
 *     -9 " Factorization fails after",10 (I3)," doublings of the damping
 *        term; MA57 INFO(1) =",status (I4)
 *     -10 " No step reduces ||F|| from the best point any more; damping
 *        factor =",mu (1P,D12.4)
 *     -11 " Workspace changed between calls: IW(",INFO(2) (I10),") is not
 *        as DI23AD left it"
 *     -12 " Non-finite Jacobian value at",INFO(3) (I3)," trial points in a
 *        row, component",INFO(2) (I11)
 *   warnings, ICNTL(2), print level >= 2: " *** Warning from DI23AD:
 *     non-finite residual at a trial point, step rejected" (or "Jacobian
 *     value" for "residual"), one for each point so rejected (the tenth
 *     Jacobian of a run gives -12 instead); the solve goes on;
 *   monitoring, ICNTL(3), print level >= 3: a blank line, " DI23AD  M =",
 *     " N =", " NE =", " J'J entries =", " groups =", then the heading
 *     "   ITER    NFEV        ||F||      DAMPING     GRADIENT         STEP",
 *     the start (0, NFEV, ||F||) and one record (I7,I8,1P,4D13.4,2X,A) per
 *     iteration: iteration, evaluations, ||F|| after it, damping, scaled
 *     gradient, ||D p||, "accepted" or "rejected"; at the end " DI23AD
 *     ends: IREQ =  3  test",INFO(2), NFEV, NJEV, NITER and ||F||.
 * The start builds its structures in temporary heap storage and copies
 * them into IW only once both lengths are known to suffice.  The state
 * lives in IW/W only, but the sparse symmetric solver keeps scalars in
 * static storage: one call at a time per process.
 */
TESSELBASICLIB_API void DI23ID(int32_t* ICNTL, double* CNTL, double* CNTLD, int32_t* ICNTLM, double* CNTLM);
TESSELBASICLIB_API void VIZ_DI23ID(int32_t* ICNTL, double* CNTL, double* CNTLD, int32_t* ICNTLM,
                                   double* CNTLM);
TESSELBASICLIB_API void DI23AD(const int32_t* M, const int32_t* N, const int32_t* NE, const int32_t* IRN,
                               const int32_t* JCN, double* X, double* F, double* D, const int32_t* ICNTL,
                               const double* CNTL, const double* CNTLD, const int32_t* ICNTLM,
                               const double* CNTLM, int32_t* IW, const int32_t* LIW, double* W,
                               const int32_t* LW, double* AJ, double* XT, int32_t* IREQ, double* FT,
                               int32_t* INFO, double* RINFO, int32_t* NFEV, int32_t* NJEV, int32_t* NITER,
                               double* FNORM);
TESSELBASICLIB_API void VIZ_DI23AD(const int32_t* M, const int32_t* N, const int32_t* NE, const int32_t* IRN,
                                   const int32_t* JCN, double* X, double* F, double* D, const int32_t* ICNTL,
                                   const double* CNTL, const double* CNTLD, const int32_t* ICNTLM,
                                   const double* CNTLM, int32_t* IW, const int32_t* LIW, double* W,
                                   const int32_t* LW, double* AJ, double* XT, int32_t* IREQ, double* FT,
                                   int32_t* INFO, double* RINFO, int32_t* NFEV, int32_t* NJEV, int32_t* NITER,
                                   double* FNORM);

/*
 * NB01AD: a zero of f between A and B (either order), by reverse
 * communication.  The host sets IND = 1 and calls; while the call returns
 * IND = 2 it puts Y = f(X) for the X returned and calls again with IND
 * unchanged (A, B, EPS and LIMIT are read at the start only).
 *   IND = 0   X is the zero found, Y = f(X): |Y| <= EPS, or the bracket
 *             around a sign change has shrunk to rounding level (no double
 *             strictly inside it, or its width at most 2*eps*max|end|, eps
 *             = 2.22e-16), X then being the end with the smaller |f|.
 *   IND = -1  f(A) and f(B) have the same nonzero sign; X, Y the end with
 *             the smaller |f|.
 *   IND = -2  LIMIT evaluations made; X, Y the point of smallest |f|.
 *   IND = -3  invalid argument: EPS < 0 or NaN, LIMIT < 2, A or B not
 *             finite, or an IND other than 1, or 2 in reply to a request;
 *             X and Y are not written, and a live problem is abandoned.
 *   IND = -4  the host returned Y = NaN; X is the point it was asked for
 *             (Y stays NaN), and no zero is known.
 * Infinite values of Y count by their sign.  Each new point is an inverse
 * quadratic or secant interpolation, pulled towards the midpoint and kept
 * close enough to it that after j evaluations inside the first bracket its
 * width is at most 2^(1-j) times the first: never more than one evaluation
 * beyond bisection, superlinear near a smooth simple root.  IND, LIMIT
 * 32-bit integers, the others doubles.  One live problem at a time (static
 * storage); not for concurrent use.  Nothing of the problem is kept in the
 * host's variables: the Y given back is taken as f at the point last
 * returned in X, even when the host has changed X since.
 */
TESSELBASICLIB_API void VIZ_NB01AD(int32_t* IND, const double* A, const double* B, const double* EPS,
                                   double* X, double* Y, const int32_t* LIMIT);

/* ------------------------------------------------------------------------
 * Constrained optimisation (VF13, VE17)
 * ---------------------------------------------------------------------- */

/*
 * VE17AD: minimise 0.5 x'Hx + g'x subject to a_i'x = b_i (i <= MEQ) and
 * a_i'x >= b_i (MEQ < i <= M), a_i column i of A(LA, M), by the dual
 * active-set method for strictly convex problems (orthogonal updates of a
 * factorisation of the active normals).  H(LH, N) must be symmetric positive
 * definite; only its upper triangle is read.  No argument of the host's but
 * X, U, IACT, NACT, W and INFORM is written; no message, no saved state.
 *   G(N), B(M)  the linear term and the right-hand sides.
 *   X(N)        out: the solution.
 *   U(M)        out: the multipliers (Hx + g = sum of U(i) a_i); zero for
 *               inactive constraints, >= 0 for active inequalities.
 *   IACT(M)     out: IACT(1:NACT) the active constraints, equalities first.
 *   TOL         feasibility tolerance: a constraint counts as satisfied
 *               when its violation is at most TOL plus an allowance for the
 *               rounding of a_i'x - b_i (and, for a constraint whose normal
 *               depends on those of active constraints, of theirs, up to
 *               100 times its own).
 *   W(LW)       workspace, LW >= 2*N*N + 4*N + 3*M + 1.
 * INFORM = 0 is given only for a finite X at which every constraint holds
 * to within TOL + 1000*eps*(|B(i)| + ||a_i||*(||X|| + N*tiny) + N*tiny)
 * (eps = 2^-52, tiny = 2^-1022 the smallest normalised double, ||.|| the
 * Euclidean norm; the terms in tiny stand for underflow).
 * A point that misses this after the last step, having carried the rounding
 * of the points passed through (far larger than X when H is small against
 * G), is formed afresh from its active constraints and the search goes on
 * from there.
 * INFORM: 0 solved; 1 the constraints are inconsistent (also when only
 * points beyond the range of doubles satisfy them), or so nearly dependent
 * that no point meeting them all in that sense was found (X, U, IACT, NACT
 * describe the last point reached); 2 H is not positive definite or is
 * numerically singular (a Cholesky pivot not above 10*N*eps times the
 * largest diagonal entry or not above tiny, or the inverse of the factor
 * beyond the range of doubles); 3 an invalid argument (N < 1, M < 0, MEQ
 * outside 0..M, LH < N, LA < N when M > 0, TOL < 0 or not finite, or a value
 * of H, G, A or B that is not finite); 4 LW too small; 5 more than
 * 10*(N + M) + 100 additions and deletions of constraints (a guard against
 * cycling; X, U, IACT, NACT as for INFORM 1); 6 the scale of the data is
 * beyond the method: a point of the solve, the first being the minimum
 * without constraints -H^-1 G, is not finite, a step to a violated
 * constraint underflows to zero, or ||a_i||*||X|| is beyond the range of
 * doubles (H too small or too large against G, or normals too large:
 * scaling the problem helps; X, U, IACT, NACT as for INFORM 1).
 * After INFORM 2, 3 and 4 nothing is solved: X, U, IACT and NACT are left
 * as the host gave them (W may have been written).
 */
TESSELBASICLIB_API void VE17AD(const int32_t* N, const int32_t* M, const int32_t* MEQ, const double* H,
                               const int32_t* LH, const double* G, const double* A, const int32_t* LA,
                               const double* B, double* X, double* U, int32_t* IACT, int32_t* NACT,
                               const double* TOL, double* W, const int32_t* LW, int32_t* INFORM);

/*
 * VF13AD: minimise F(x) subject to c_i(x) = 0 (i <= MEQ) and c_i(x) >= 0
 * (MEQ < i <= M) by sequential quadratic programming: a damped BFGS
 * approximation of the Hessian of the Lagrangian, each step from VE17AD on
 * the linearised constraints (the violated ones relaxed by a common factor
 * when they are inconsistent), and a line search on the exact penalty
 * function F + sum mu_i |c_i| (equalities) + sum mu_i max(0, -c_i), whose
 * weights follow the multipliers.
 *
 * Reverse communication through INFORM: set INFORM = 0 and X to the start;
 * on return INFORM = -1 asks for F, G(N) (the gradient), C(M) and the
 * constraint gradients as the columns of CN(LCN, M) at X; call again with
 * INFORM unchanged.  The end, with what the host's arrays then hold:
 *   0  success: the largest constraint violation is at most ACC, and the
 *      optimality measure max(|G - CN*lambda|, |lambda_i C_i|) (lambda the
 *      subproblem's multipliers) at most ACC*max(1, max|G|); X the
 *      solution;
 *   1  MAXFUN evaluations used: X the best point found, not shown to be a
 *      solution nor feasible;
 *   2  the line search cannot reduce the merit function (the step became
 *      negligible): X the best point found, not shown to be a solution;
 *   3  the linearised constraints are inconsistent and the relaxation
 *      removes no part of the violation: X the best point found, which
 *      violates the constraints (they may have no common point);
 *   4  an invalid argument: N < 1, M < 0, MEQ outside 0..M, LCN < N, ACC not
 *      positive and finite, MAXFUN < 1, X not finite at the start, INFORM
 *      neither 0 nor -1, INFORM = -1 without a problem in progress, or N, M,
 *      MEQ, LCN or LW changed during one: nothing but INFORM is written,
 *      and a problem in progress is abandoned;
 *   5  LW too small: IW(1) is the length needed, nothing else is written;
 *   6  F, G, C or CN not finite at the starting point: X, F, G, C and CN
 *      as the host gave them, nothing computed.
 * After 0 to 3, X is the best point found (the last accepted iterate, with
 * the lowest merit value) and F, G, C and CN hold the values at it.  A
 * value that is not finite at a later trial point shortens the step.  The
 * problem in progress lives in static storage (one at a time; INFORM = 0
 * abandons it) and in W and IW, which the host must not change between
 * calls.  Its sizes and positions stay in the static storage: W holds
 * values only and IW is written before it is read, so a host that changes
 * either gets other iterates or another end, never an access outside its
 * arrays.
 *   W(LW)   LW >= 4*N*N + 2*N*M + 18*N + 10*M + 22; W(1:M) holds the
 *           multipliers of the last subproblem.
 *   IW      2*(N + M) entries; IW(1:M+2) the subproblem's active list.
 * Output goes to unit 6 (standard output, unless FFOPEN has attached it to
 * a file).  IPRINT < 0: nothing is written - the way for a host to silence
 * VF13AD.  IPRINT = 0: the summary below, once, when the problem ends
 * (also for 4 and 5), and nothing else.  IPRINT = k > 0: the summary, and
 * also, from iteration 0 and every k iterations, a line with the
 * iteration, the evaluations, F, the constraint violation and the
 * optimality measure, under a heading line.  The summary:
 *   " VF13AD ends with INFORM = i: <text>", the text one of
 *   "the required accuracy is reached", "MAXFUN evaluations are used",
 *   "the line search cannot reduce the merit function",
 *   "the linearised constraints are inconsistent", "an argument is invalid",
 *   "LW is too small", "a value at the starting point is not finite";
 *   for INFORM 0 to 3, lines with the iterations and evaluations, with F,
 *   the violation and the optimality measure at X, and X itself;
 *   for 4, the values of N, M, MEQ, LCN, MAXFUN and ACC; for 5, LW and the
 *   length needed; for 6, the first line only.
 */
TESSELBASICLIB_API void VF13AD(const int32_t* N, const int32_t* M, const int32_t* MEQ, double* X, double* F,
                               double* G, double* C, double* CN, const int32_t* LCN, const double* ACC,
                               const int32_t* MAXFUN, const int32_t* IPRINT, int32_t* INFORM, double* W,
                               const int32_t* LW, int32_t* IW);
TESSELBASICLIB_API void VIZ_VF13AD(const int32_t* N, const int32_t* M, const int32_t* MEQ, double* X, double* F,
                                   double* G, double* C, double* CN, const int32_t* LCN, const double* ACC,
                                   const int32_t* MAXFUN, const int32_t* IPRINT, int32_t* INFORM, double* W,
                                   const int32_t* LW, int32_t* IW);

/* ------------------------------------------------------------------------
 * Derivative-free bound-constrained optimisation (VUR_OPTBQA)
 * ---------------------------------------------------------------------- */

/*
 * VUR_OPTBQA: minimise F(x) without derivatives subject to XL <= x <= XU,
 * with MEQ equality constraints ceq(x) = 0 and MIN inequality constraints
 * cin(x) <= 0 taken in by a penalty.  The method is a trust-region method
 * on quadratic models that interpolate the function at NPT points, each
 * model update changing the second derivatives as little as possible in
 * the Frobenius norm; every point evaluated lies within the bounds.  It
 * works in the scaled variables x(i)/SCALE(i).
 *
 * Reverse communication.  Set INFO = 0 and call: on each return with
 * INFO = 1, evaluate F, CEQ(1:MEQ) and CIN(1:MIN) at X and call again with
 * INFO (and all other arguments) unchanged.  Any other INFO on return ends
 * the problem.  One problem is live at a time (its scalars are kept inside
 * the library, its arrays in W): a call with INFO = 0 abandons a live
 * problem and starts a new one; a call with INFO other than 0 that does not
 * continue the live problem (none is live, or N, NPT, MEQ, MIN or LW
 * differ from its start) returns INFO = 100 and writes no array.
 *
 * The penalised function is P(x) = F(x) + PEN * sum_i CWT(i) t_i(x), with
 * t_i = v_i^2 (IPTYPE = 1) or |v_i| (IPTYPE = 2), v_i = ceq_i(x) for
 * i <= MEQ and max(cin_i(x), 0) after.  The violation CVIOL is the largest
 * |v_i| over all constraints (a constraint with weight 0 still counts).  A
 * run minimises P with radii from RHOBEG down to RHOEND; when its best
 * point has CVIOL > CTOL, PEN is multiplied by PENGROW and a new run starts
 * from that point with first radius RHORST, at most MAXRST times and only
 * while the grown PEN stays <= PENMAX.  Under IPTYPE = 2 a run that ends on
 * a kink of P is followed by such a restart even when CVIOL <= CTOL, and
 * that restart switches to the penalty of IPTYPE = 1 (see below).  The
 * best point is the least P with the current PEN, over the evaluations of
 * the current run (a restart starts from it).  A value F, CEQ or CIN that
 * is not finite counts as a P larger than any met (at least 1e30), except
 * at the first point, where it ends the problem with INFO = 113.  Such a
 * stand-in lets a run go on, but a run that rests on one - its last model
 * interpolates a point whose F, CEQ or CIN was not finite, or it was given
 * such a value at its current radius - shows nothing of the function near
 * its best point: the problem then ends with INFO = 115 where that run
 * would have given 2, 3, 111, 112 or 114.  (A P that overflows from finite
 * values is only a very large value.)
 *
 *  N       number of variables, >= 1.
 *  X(N)    in: the start (moved inside the bounds, and onto a bound or a
 *          radius away from it when it is nearer than RHOBEG); then the
 *          point of each request; at the end the best point.
 *  XL(N), XU(N)  the bounds, XU(i) - XL(i) >= 2*RHOBEG*SCALE(i); infinite
 *          values are allowed.  Never changed.
 *  SCALE(N)  typical magnitude of each variable, > 0.  Never changed.
 *  MEQ, MIN  numbers of equality and inequality constraints, >= 0.
 *  F, CEQ(MEQ), CIN(MIN)  the values at X, from the host on each request.
 *          CEQ may be a null pointer when MEQ = 0, and CIN when MIN = 0:
 *          neither is then read.
 *  NPT     interpolation points, N+2 <= NPT <= (N+1)(N+2)/2; 2N+1 is
 *          recommended.
 *  RHOBEG, RHOEND  first and last trust-region radius (scaled variables),
 *          0 < RHOEND <= RHOBEG.
 *  MAXFUN  limit on the evaluations over all runs, >= NPT+1.
 *  FTARGET the problem ends once the best point has P <= FTARGET and
 *          CVIOL <= CTOL; not NaN (-Infinity: no target).
 *  PEN     in: the first prefactor, > 0; out: the prefactor in force.
 *  PENGROW factor of PEN at each restart, > 1.  PENMAX >= PEN: the largest
 *          prefactor allowed.  MAXRST >= 0: the most restarts.
 *  RHORST  first radius of a restarted run, RHOEND <= RHORST <= RHOBEG.
 *  CTOL    largest violation accepted, >= 0.
 *  CWT(MEQ+MIN)  weight of each constraint, >= 0.  Never changed; may be
 *          a null pointer when MEQ + MIN = 0.
 *  IPTYPE  1 quadratic penalty, 2 absolute-value penalty (until a run
 *          ends on a kink, then quadratic).
 *  XBEST(N), FBEST, CVIOL, PBEST  the best point with its F, violation and
 *          P with the penalty in force (kept up to date on every return
 *          once a value is known).
 *  RHO     the radius in force (the last one at the end).
 *  NFEV, NRST  evaluations and restarts so far.
 *  IPRINT  0 nothing; 1 the final report; 2 also a line per restart; 3
 *          also a line per new radius; written on unit IOUT when IOUT >= 0
 *          (6 standard output, 0 standard error, other units as FFOPEN
 *          attaches them).
 *  ITRACE  not 0: every evaluation is written to the trace file; 0: no
 *          trace (nothing is opened or written).
 *  INFO    request flag and status (below).
 *  W(LW)   workspace, kept unchanged by the host while the problem lives;
 *          LW >= NPT*(NPT+N+7) + N*(3*N+43)/2.  The sizes and indices of
 *          the problem (the best point's place among the interpolation
 *          points too) stay inside the library and W holds values only: a
 *          host that changes W gets other points or another end, never an
 *          access outside its arrays.
 *  TRACE, TRACE_len  base name of the trace file: the file is the first
 *          TRACE_len characters of TRACE, trailing blanks removed, with
 *          ".vorex" appended.  It is created, or emptied, when a problem
 *          starts and closed when the problem ends.
 *
 * INFO on return:
 *    1  evaluate at X and call again;
 *    2  converged: RHOEND reached with CVIOL <= CTOL (under IPTYPE = 2
 *       never by a run that ended on a kink); XBEST the local minimiser
 *       found;
 *    3  FTARGET reached with CVIOL <= CTOL: the best point has P <=
 *       FTARGET;
 *  100  invalid N, NPT, MEQ or MIN (or a call that continues no problem);
 *  101  XL(i) > XU(i), or XU(i) - XL(i) < 2*RHOBEG*SCALE(i);
 *  102  RHOBEG or RHOEND not positive, RHOEND > RHOBEG, or RHORST outside
 *       [RHOEND, RHOBEG];
 *  103  an invalid control: SCALE(i) <= 0, CWT(i) < 0, PEN <= 0,
 *       PENGROW <= 1, PENMAX < PEN, MAXRST < 0, CTOL < 0, IPTYPE not 1 or
 *       2, MAXFUN < NPT+1, FTARGET NaN;
 *  104  LW too small;
 *  105  the trace file cannot be opened (nothing else is done);
 *  110  MAXFUN evaluations reached: the best point so far, not shown to
 *       be a minimiser nor, when CVIOL > CTOL, feasible;
 *  111  the constraints still violated after MAXRST restarts, or the grown
 *       PEN would exceed PENMAX: the best point has CVIOL > CTOL;
 *  112  numerical breakdown of the model (even after rebuilding it): the
 *       best point so far, not shown to be a minimiser;
 *  113  a non-finite value at the start: a start coordinate that is not
 *       finite once moved inside the bounds, or whose scaled value
 *       X(i)/SCALE(i) exceeds 1e100 in magnitude (the method takes scaled
 *       bounds beyond that as absent): nothing evaluated, only INFO and
 *       NFEV = NRST = 0 written; or F, CEQ or CIN not finite at the first
 *       point: NFEV = 1, XBEST and X that point, FBEST, CVIOL and PBEST its
 *       values as given (not finite);
 *  114  IPTYPE = 2: a run ended on a kink with CVIOL <= CTOL, and no
 *       restart was left (MAXRST reached, or the grown PEN would exceed
 *       PENMAX) to go on with the quadratic penalty: the best point meets
 *       the constraints, but it is not shown to be a minimiser;
 *  115  F, CEQ or CIN not finite near the best point: the run that ended
 *       rested on a stand-in for such a value (see above) where it would
 *       have ended with 2, 3, 111, 112 or 114; a problem whose values are
 *       never finite after the first point ends so (or with 110, should
 *       MAXFUN come first).  The best point (with finite values, as ever)
 *       is not shown to be a minimiser, nor feasible when CVIOL > CTOL; it
 *       may lie next to a region where the function is not defined.
 * Codes 100 to 105 come before any evaluation and write only INFO, NFEV =
 * NRST = 0 (a call out of order only INFO); they are checked in that order,
 * all before the start point is looked at.  After a later failure XBEST,
 * FBEST, CVIOL and PBEST describe the best point found and X holds it;
 * NFEV, NRST, RHO and PEN are those at the end.
 *
 * MAXFUN and the end of a run.  Once RHO has come down to RHOEND, a run
 * ends with one more evaluation at its last trust-region step when that
 * step was too short to have been tried.  This evaluation is a last chance
 * of a small gain, not a need of the method: when MAXFUN leaves no room
 * for it, it is skipped and the run still ends as converged (INFO = 2, or
 * a restart).  INFO = 110 means that an evaluation the method needed to
 * reach RHOEND (or a restart that the constraints or a kink called for)
 * was refused.
 *
 * IPTYPE = 2 makes P kinked wherever a constraint holds exactly, and the
 * smooth quadratic models cannot follow a kink: a run may come to RHOEND
 * at a point of the constraint set where P could still fall along it.  So
 * a run under IPTYPE = 2 that ends on a kink - a constraint with CWT(i) > 0
 * holds to within CTOL at the best point (|CEQ(i)| <= CTOL, |CIN(i)| <=
 * CTOL), or the run evaluated, at its last radius RHOEND, a point that
 * violates such a constraint - never ends the problem as converged: the
 * restart that follows (counted in NRST, PEN grown by PENGROW, first
 * radius RHORST, from the best point) and every later run use the
 * quadratic penalty of IPTYPE = 1, whose runs end only where the model of
 * P is stationary; with no restart left such an end gives INFO = 114 when
 * CVIOL <= CTOL (111 otherwise).  INFO = 2 then comes from a run under the
 * quadratic penalty; from the switch on, PBEST and the P column of the
 * trace are those of IPTYPE = 1 (the restart line of the switch, at
 * IPRINT >= 2, may show CVIOL <= CTOL).  A run that ends with every
 * weighted constraint inactive by more than CTOL and no violation met at
 * its last radius ends as under IPTYPE = 1, with INFO = 2 when CVIOL <=
 * CTOL.  Where constraints are active at the solution, IPTYPE = 2 thus
 * mostly takes more evaluations than IPTYPE = 1 and leaves a violation of
 * up to CTOL even where the absolute-value penalty met a constraint
 * exactly; IPTYPE = 1 is the better choice there.
 *
 * Trace file.  Every line that is not an evaluation starts with '#':
 *   # VUR_OPTBQA trace
 *   # N = .. NPT = .. MEQ = .. MIN = ..
 *   # MAXFUN = .. MAXRST = .. IPTYPE = ..
 *   # RHOBEG = .. RHOEND = .. RHORST = ..
 *   # PEN = .. PENGROW = .. PENMAX = ..
 *   # CTOL = .. FTARGET = ..
 *   #   NFEV RUN   PEN   F   CVIOL   P   RHO   X(1) ... X(N)
 * then one line per evaluation: the evaluation number (8 columns), the
 * run (4 columns: 0 for the first, then the restart number), and, 25
 * columns each with 17 significant digits (1.2345678901234567E+000), PEN,
 * F, CVIOL, P (as computed, even when not finite: NaN, Infinity), RHO and
 * the N coordinates of the point; then the report.
 *
 * Report (on IOUT at IPRINT >= 1, and at the end of the trace):
 *   # VUR_OPTBQA: INFO = <code>  <text>
 *   # <detail of an entry failure: the argument at fault, LW and its least
 *     value, or the trace file's name>
 *   # NFEV = ..  NRST = ..  RHO = ..  PEN = ..
 *   # FBEST = ..  CVIOL = ..  PBEST = ..
 *   # XBEST = <four coordinates per line>
 * (the last three only once a value is known).  Progress lines at
 * IPRINT >= 2: "# VUR_OPTBQA: restart <k> with PEN = .., CVIOL = ..,
 * NFEV = .."; at IPRINT = 3: "# VUR_OPTBQA: RHO = .., NFEV = .., PBEST =
 * .., CVIOL = ..".
 */
TESSELBASICLIB_API void VUR_OPTBQA(const int32_t* N, double* X, const double* XL, const double* XU,
                                   const double* SCALE, const int32_t* MEQ, const int32_t* MIN, const double* F,
                                   const double* CEQ, const double* CIN, const int32_t* NPT, const double* RHOBEG,
                                   const double* RHOEND, const int32_t* MAXFUN, const double* FTARGET, double* PEN,
                                   const double* PENGROW, const double* PENMAX, const int32_t* MAXRST,
                                   const double* RHORST, const double* CTOL, const double* CWT,
                                   const int32_t* IPTYPE, double* XBEST, double* FBEST, double* CVIOL,
                                   double* PBEST, double* RHO, int32_t* NFEV, int32_t* NRST,
                                   const int32_t* IPRINT, const int32_t* IOUT, const int32_t* ITRACE,
                                   int32_t* INFO, double* W, const int32_t* LW, const char* TRACE,
                                   size_t TRACE_len);

#ifdef __cplusplus
} /* extern "C" */

/* ------------------------------------------------------------------------
 * Entry points with C++ linkage (their symbols are decorated with their
 * argument types): attach a named file to an output unit and detach it.
 * ---------------------------------------------------------------------- */

/* VIZ_FFOPEN takes the name as exactly LEN characters (no terminating zero
 * is looked for); a negative LEN is a name that cannot be opened. */
TESSELBASICLIB_API void VIZ_FFOPEN(const char* NAME, int LEN, int* IUNIT);
TESSELBASICLIB_API void VIZ_FFCLOSE(int* IUNIT);
#elif defined(__GNUC__)
/* C hosts reach the same two entry points by their decorated names. */
TESSELBASICLIB_API void VIZ_FFOPEN(const char* NAME, int LEN, int* IUNIT) __asm__("_Z10VIZ_FFOPENPKciPi");
TESSELBASICLIB_API void VIZ_FFCLOSE(int* IUNIT) __asm__("_Z11VIZ_FFCLOSEPi");
#endif

#endif /* TESSELBASICLIB_H */
