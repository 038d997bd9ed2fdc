// Entry points of the library interface and common services.  Each one only
// adapts the calling convention (hidden lengths, by-value integers, INFO as
// the result) and hands control to exactly one routine.
#include <cstddef>

#include "TesselBasicLib.h"
#include "interface/blas.hpp"
#include "interface/routines.hpp"
#include "interface/units.hpp"

using tbl::fint;

namespace {
// The hidden length of a one-character option.
constexpr std::size_t kChar = 1;
}  // namespace

extern "C" {

// ---- BLAS, by address ----------------------------------------------------

TBL_EXPORT void BLAS_DGEMM(const char* TRANSA, const char* TRANSB, const fint* M, const fint* N, const fint* K,
                           const double* ALPHA, const double* A, const fint* LDA, const double* B,
                           const fint* LDB, const double* BETA, double* C, const fint* LDC) {
  dgemm_(TRANSA, TRANSB, M, N, K, ALPHA, A, LDA, B, LDB, BETA, C, LDC, kChar, kChar);
}

TBL_EXPORT void BLAS_DSYRK(const char* UPLO, const char* TRANS, const fint* N, const fint* K,
                           const double* ALPHA, const double* A, const fint* LDA, const double* BETA, double* C,
                           const fint* LDC) {
  dsyrk_(UPLO, TRANS, N, K, ALPHA, A, LDA, BETA, C, LDC, kChar, kChar);
}

// ---- LAPACK, by address --------------------------------------------------

TBL_EXPORT void Lapack_DGBTRF(const fint* M, const fint* N, const fint* KL, const fint* KU, double* AB,
                              const fint* LDAB, fint* IPIV, fint* INFO) {
  dgbtrf_(M, N, KL, KU, AB, LDAB, IPIV, INFO);
}

TBL_EXPORT void Lapack_DGBTRS(const char* TRANS, const fint* N, const fint* KL, const fint* KU, const fint* NRHS,
                              const double* AB, const fint* LDAB, const fint* IPIV, double* B, const fint* LDB,
                              fint* INFO) {
  dgbtrs_(TRANS, N, KL, KU, NRHS, AB, LDAB, IPIV, B, LDB, INFO, kChar);
}

TBL_EXPORT void Lapack_DGESDD(const char* JOBZ, const fint* M, const fint* N, double* A, const fint* LDA,
                              double* S, double* U, const fint* LDU, double* VT, const fint* LDVT, double* WORK,
                              const fint* LWORK, fint* IWORK, fint* INFO) {
  dgesdd_(JOBZ, M, N, A, LDA, S, U, LDU, VT, LDVT, WORK, LWORK, IWORK, INFO, kChar);
}

TBL_EXPORT void Lapack_DGESV(const fint* N, const fint* NRHS, double* A, const fint* LDA, fint* IPIV, double* B,
                             const fint* LDB, fint* INFO) {
  dgesv_(N, NRHS, A, LDA, IPIV, B, LDB, INFO);
}

TBL_EXPORT void Lapack_DGETRF(const fint* M, const fint* N, double* A, const fint* LDA, fint* IPIV, fint* INFO) {
  dgetrf_(M, N, A, LDA, IPIV, INFO);
}

TBL_EXPORT void Lapack_DGETRS(const char* TRANS, const fint* N, const fint* NRHS, const double* A,
                              const fint* LDA, const fint* IPIV, double* B, const fint* LDB, fint* INFO) {
  dgetrs_(TRANS, N, NRHS, A, LDA, IPIV, B, LDB, INFO, kChar);
}

TBL_EXPORT void Lapack_DPOTRF(const char* UPLO, const fint* N, double* A, const fint* LDA, fint* INFO) {
  dpotrf_(UPLO, N, A, LDA, INFO, kChar);
}

TBL_EXPORT void Lapack_DPOTRS(const char* UPLO, const fint* N, const fint* NRHS, const double* A,
                              const fint* LDA, double* B, const fint* LDB, fint* INFO) {
  dpotrs_(UPLO, N, NRHS, A, LDA, B, LDB, INFO, kChar);
}

TBL_EXPORT void Lapack_DSYEV(const char* JOBZ, const char* UPLO, const fint* N, double* A, const fint* LDA,
                             double* W, double* WORK, const fint* LWORK, fint* INFO) {
  dsyev_(JOBZ, UPLO, N, A, LDA, W, WORK, LWORK, INFO, kChar, kChar);
}

// ---- LAPACK, value convention --------------------------------------------
// INFO starts at zero: the routines set it on every path that returns, but
// the result must never be an indeterminate value.

TBL_EXPORT fint CLapack_DGBTRF(fint M, fint N, fint KL, fint KU, double* AB, fint LDAB, fint* IPIV) {
  fint info = 0;
  dgbtrf_(&M, &N, &KL, &KU, AB, &LDAB, IPIV, &info);
  return info;
}

TBL_EXPORT fint CLapack_DGBTRS(const char* TRANS, fint N, fint KL, fint KU, fint NRHS, double* AB, fint LDAB,
                               fint* IPIV, double* B, fint LDB) {
  fint info = 0;
  dgbtrs_(TRANS, &N, &KL, &KU, &NRHS, AB, &LDAB, IPIV, B, &LDB, &info, kChar);
  return info;
}

TBL_EXPORT fint CLapack_DGESDD(const char* JOBZ, fint M, fint N, double* A, fint LDA, double* S, double* U,
                               fint LDU, double* VT, fint LDVT, double* WORK, fint LWORK, fint* IWORK) {
  fint info = 0;
  dgesdd_(JOBZ, &M, &N, A, &LDA, S, U, &LDU, VT, &LDVT, WORK, &LWORK, IWORK, &info, kChar);
  return info;
}

TBL_EXPORT fint CLapack_DGESV(fint N, fint NRHS, double* A, fint LDA, fint* IPIV, double* B, fint LDB) {
  fint info = 0;
  dgesv_(&N, &NRHS, A, &LDA, IPIV, B, &LDB, &info);
  return info;
}

TBL_EXPORT fint CLapack_DGETRF(fint M, fint N, double* A, fint LDA, fint* IPIV) {
  fint info = 0;
  dgetrf_(&M, &N, A, &LDA, IPIV, &info);
  return info;
}

TBL_EXPORT fint CLapack_DGETRS(const char* TRANS, fint N, fint NRHS, double* A, fint LDA, fint* IPIV, double* B,
                               fint LDB) {
  fint info = 0;
  dgetrs_(TRANS, &N, &NRHS, A, &LDA, IPIV, B, &LDB, &info, kChar);
  return info;
}

TBL_EXPORT fint CLapack_DPOTRF(const char* UPLO, fint N, double* A, fint LDA) {
  fint info = 0;
  dpotrf_(UPLO, &N, A, &LDA, &info, kChar);
  return info;
}

TBL_EXPORT fint CLapack_DPOTRS(const char* UPLO, fint N, fint NRHS, double* A, fint LDA, double* B, fint LDB) {
  fint info = 0;
  dpotrs_(UPLO, &N, &NRHS, A, &LDA, B, &LDB, &info, kChar);
  return info;
}

TBL_EXPORT fint CLapack_DSYEV(const char* JOBZ, const char* UPLO, fint N, double* A, fint LDA, double* W,
                              double* WORK, fint LWORK) {
  fint info = 0;
  dsyev_(JOBZ, UPLO, &N, A, &LDA, W, WORK, &LWORK, &info, kChar, kChar);
  return info;
}

// ---- LINPACK pair ----------------------------------------------------------

TBL_EXPORT void Linpack_DGEFA(double* A, const fint* LDA, const fint* N, fint* IPVT, fint* INFO) {
  DGEFA(A, LDA, N, IPVT, INFO);
}

TBL_EXPORT void Linpack_DGESL(const double* A, const fint* LDA, const fint* N, const fint* IPVT, double* B,
                              const fint* JOB) {
  DGESL(A, LDA, N, IPVT, B, JOB);
}

TBL_EXPORT fint CLinpack_DGEFA(double* A, fint LDA, fint N, fint* IPVT) {
  fint info = 0;
  DGEFA(A, &LDA, &N, IPVT, &info);
  return info;
}

TBL_EXPORT void CLinpack_DGESL(double* A, fint LDA, fint N, fint* IPVT, double* B, fint JOB) {
  DGESL(A, &LDA, &N, IPVT, B, &JOB);
}

// ---- MINPACK ---------------------------------------------------------------

TBL_EXPORT double Lmder_DPMPAR(const fint* I) { return dpmpar_(I); }

TBL_EXPORT double Lmder_ENORM(const fint* N, const double* X) { return enorm_(N, X); }

TBL_EXPORT void Lmder_LMPAR(const fint* N, double* R, const fint* LDR, const fint* IPVT, const double* DIAG,
                            const double* QTB, const double* DELTA, double* PAR, double* X, double* SDIAG,
                            double* WA1, double* WA2) {
  lmpar_(N, R, LDR, IPVT, DIAG, QTB, DELTA, PAR, X, SDIAG, WA1, WA2);
}

TBL_EXPORT void Lmder_QRFAC(const fint* M, const fint* N, double* A, const fint* LDA, const fint* PIVOT,
                            fint* IPVT, const fint* LIPVT, double* RDIAG, double* ACNORM, double* WA) {
  qrfac_(M, N, A, LDA, PIVOT, IPVT, LIPVT, RDIAG, ACNORM, WA);
}

// ---- Dependency routines under their own names -----------------------------
// The host supplies the hidden lengths; they are passed on as given.

TBL_EXPORT void DGETRF(const fint* M, const fint* N, double* A, const fint* LDA, fint* IPIV, fint* INFO) {
  dgetrf_(M, N, A, LDA, IPIV, INFO);
}

TBL_EXPORT void DPOTRF(const char* UPLO, const fint* N, double* A, const fint* LDA, fint* INFO,
                       std::size_t UPLO_len) {
  dpotrf_(UPLO, N, A, LDA, INFO, UPLO_len);
}

TBL_EXPORT void DSYEV(const char* JOBZ, const char* UPLO, const fint* N, double* A, const fint* LDA, double* W,
                      double* WORK, const fint* LWORK, fint* INFO, std::size_t JOBZ_len, std::size_t UPLO_len) {
  dsyev_(JOBZ, UPLO, N, A, LDA, W, WORK, LWORK, INFO, JOBZ_len, UPLO_len);
}

TBL_EXPORT double DPMPAR(const fint* I) { return dpmpar_(I); }

TBL_EXPORT double ENORM(const fint* N, const double* X) { return enorm_(N, X); }

TBL_EXPORT void QRFAC(const fint* M, const fint* N, double* A, const fint* LDA, const fint* PIVOT, fint* IPVT,
                      const fint* LIPVT, double* RDIAG, double* ACNORM, double* WA) {
  qrfac_(M, N, A, LDA, PIVOT, IPVT, LIPVT, RDIAG, ACNORM, WA);
}

TBL_EXPORT void LMPAR(const fint* N, double* R, const fint* LDR, const fint* IPVT, const double* DIAG,
                      const double* QTB, const double* DELTA, double* PAR, double* X, double* SDIAG, double* WA1,
                      double* WA2) {
  lmpar_(N, R, LDR, IPVT, DIAG, QTB, DELTA, PAR, X, SDIAG, WA1, WA2);
}

// ---- Vector kernels ----------------------------------------------------------

TBL_EXPORT void VML_vdExp(fint N, const double* A, double* R) { VML_EXP_LOOP(&N, A, R); }

TBL_EXPORT void VML_vdInv(fint N, const double* A, double* R) { VML_INV_LOOP(&N, A, R); }

}  // extern "C"

// ---- Entry points with C++ linkage ------------------------------------------

TBL_EXPORT void VIZ_FFOPEN(const char* NAME, int LEN, int* IUNIT) {
  // A negative length would widen to nearly 2^64 characters: no such name
  // can be opened, so it takes the path of every failed open.
  if (LEN < 0) tbl::io::fatal_io("cannot open file", *IUNIT, "negative name length");
  FFOPEN(NAME, IUNIT, static_cast<std::size_t>(static_cast<unsigned>(LEN)));
}

TBL_EXPORT void VIZ_FFCLOSE(int* IUNIT) { FFCLOSE(IUNIT); }
