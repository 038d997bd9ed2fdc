// The reference BLAS, LAPACK and MINPACK routines as the library calls them:
// Fortran symbols, every argument by address, one size_t length after the
// ordinary arguments for each character argument.
#pragma once

#include <cstddef>

#include "interface/common.hpp"

extern "C" {

// BLAS level 1
double ddot_(const tbl::fint* n, const double* x, const tbl::fint* incx, const double* y,
             const tbl::fint* incy);
double dnrm2_(const tbl::fint* n, const double* x, const tbl::fint* incx);
void daxpy_(const tbl::fint* n, const double* a, const double* x, const tbl::fint* incx, double* y,
            const tbl::fint* incy);
void dcopy_(const tbl::fint* n, const double* x, const tbl::fint* incx, double* y, const tbl::fint* incy);
void dscal_(const tbl::fint* n, const double* a, double* x, const tbl::fint* incx);
void dswap_(const tbl::fint* n, double* x, const tbl::fint* incx, double* y, const tbl::fint* incy);
void drot_(const tbl::fint* n, double* x, const tbl::fint* incx, double* y, const tbl::fint* incy,
           const double* c, const double* s);
tbl::fint idamax_(const tbl::fint* n, const double* x, const tbl::fint* incx);
tbl::logical lsame_(const char* ca, const char* cb, std::size_t la, std::size_t lb);

// BLAS level 2
void dgemv_(const char* trans, const tbl::fint* m, const tbl::fint* n, const double* alpha, const double* a,
            const tbl::fint* lda, const double* x, const tbl::fint* incx, const double* beta, double* y,
            const tbl::fint* incy, std::size_t ltrans);
void dtrsv_(const char* uplo, const char* trans, const char* diag, const tbl::fint* n, const double* a,
            const tbl::fint* lda, double* x, const tbl::fint* incx, std::size_t lu, std::size_t lt,
            std::size_t ld);
void dtpsv_(const char* uplo, const char* trans, const char* diag, const tbl::fint* n, const double* ap,
            double* x, const tbl::fint* incx, std::size_t lu, std::size_t lt, std::size_t ld);

// BLAS level 3
void dgemm_(const char* transa, const char* transb, const tbl::fint* m, const tbl::fint* n,
            const tbl::fint* k, const double* alpha, const double* a, const tbl::fint* lda, const double* b,
            const tbl::fint* ldb, const double* beta, double* c, const tbl::fint* ldc, std::size_t la,
            std::size_t lb);
void dtrsm_(const char* side, const char* uplo, const char* transa, const char* diag, const tbl::fint* m,
            const tbl::fint* n, const double* alpha, const double* a, const tbl::fint* lda, double* b,
            const tbl::fint* ldb, std::size_t ls, std::size_t lu, std::size_t lt, std::size_t ld);
void dsyrk_(const char* uplo, const char* trans, const tbl::fint* n, const tbl::fint* k, const double* alpha,
            const double* a, const tbl::fint* lda, const double* beta, double* c, const tbl::fint* ldc,
            std::size_t lu, std::size_t lt);

// LAPACK
void dgetrf_(const tbl::fint* m, const tbl::fint* n, double* a, const tbl::fint* lda, tbl::fint* ipiv,
             tbl::fint* info);
void dgetrs_(const char* trans, const tbl::fint* n, const tbl::fint* nrhs, const double* a,
             const tbl::fint* lda, const tbl::fint* ipiv, double* b, const tbl::fint* ldb, tbl::fint* info,
             std::size_t lt);
void dgesv_(const tbl::fint* n, const tbl::fint* nrhs, double* a, const tbl::fint* lda, tbl::fint* ipiv,
            double* b, const tbl::fint* ldb, tbl::fint* info);
void dpotrf_(const char* uplo, const tbl::fint* n, double* a, const tbl::fint* lda, tbl::fint* info,
             std::size_t lu);
void dpotrs_(const char* uplo, const tbl::fint* n, const tbl::fint* nrhs, const double* a,
             const tbl::fint* lda, double* b, const tbl::fint* ldb, tbl::fint* info, std::size_t lu);
void dgbtrf_(const tbl::fint* m, const tbl::fint* n, const tbl::fint* kl, const tbl::fint* ku, double* ab,
             const tbl::fint* ldab, tbl::fint* ipiv, tbl::fint* info);
void dgbtrs_(const char* trans, const tbl::fint* n, const tbl::fint* kl, const tbl::fint* ku,
             const tbl::fint* nrhs, const double* ab, const tbl::fint* ldab, const tbl::fint* ipiv, double* b,
             const tbl::fint* ldb, tbl::fint* info, std::size_t lt);
void dgesdd_(const char* jobz, const tbl::fint* m, const tbl::fint* n, double* a, const tbl::fint* lda,
             double* s, double* u, const tbl::fint* ldu, double* vt, const tbl::fint* ldvt, double* work,
             const tbl::fint* lwork, tbl::fint* iwork, tbl::fint* info, std::size_t lj);
void dsyev_(const char* jobz, const char* uplo, const tbl::fint* n, double* a, const tbl::fint* lda,
            double* w, double* work, const tbl::fint* lwork, tbl::fint* info, std::size_t lj, std::size_t lu);

// Supplied by the library itself rather than by the archives: the error
// handler (interface/xerbla.cpp) and the machine parameters
// (interface/dlamch.cpp).
[[noreturn]] void xerbla_(const char* srname, const tbl::fint* info, std::size_t srname_len);
double dlamch_(const char* cmach, std::size_t cmach_len);
double dlamc3_(const double* a, const double* b);

// MINPACK
double dpmpar_(const tbl::fint* i);
double enorm_(const tbl::fint* n, const double* x);
void qrfac_(const tbl::fint* m, const tbl::fint* n, double* a, const tbl::fint* lda, const tbl::logical* pivot,
            tbl::fint* ipvt, const tbl::fint* lipvt, double* rdiag, double* acnorm, double* wa);
void lmpar_(const tbl::fint* n, double* r, const tbl::fint* ldr, const tbl::fint* ipvt, const double* diag,
            const double* qtb, const double* delta, double* par, double* x, double* sdiag, double* wa1,
            double* wa2);
}
