// TD22: finite-difference estimation of a sparse Jacobian by reverse
// communication.  Columns that share no row form a group; one evaluation of
// the residuals at a point shifted along every column of a group gives all
// of that group's columns at once (two evaluations with central
// differences).  Keeps no static state: everything between calls lives in
// the caller's arrays.
//
// The pattern is held twice, by columns (IPJ(1..N+1) starts, IRNJ row
// indices; AJ, the values, in the same order) and by rows (IPR(1..M+1)
// starts, JCR column indices).  No row may hold a column twice.
#pragma once

#include "interface/common.hpp"

extern "C" {

// Greedy colouring of the column intersection graph: each column in turn
// takes the lowest group that no column sharing a row with it holds.  Two
// orders are tried, the natural one and decreasing bound on the number of
// neighbours (ties by column number), and the one with fewer groups is kept.
// NGROUP receives the number of groups (at least the largest row count);
// group g holds the columns GCOL(GPTR(g)..GPTR(g+1)-1) in increasing order.
// GPTR needs N+1 entries, GCOL N, IW 3N of work.
void TD22_GROUPS(const tbl::fint* M, const tbl::fint* N, const tbl::fint* IPJ, const tbl::fint* IRNJ,
                 const tbl::fint* IPR, const tbl::fint* JCR, tbl::fint* NGROUP, tbl::fint* GPTR, tbl::fint* GCOL,
                 tbl::fint* IW);

// One step of the estimation of J(X), F = f(X).  IREQ on entry: 0 starts an
// estimate; 1 says FT holds f(XT) for the XT of the previous return.  On
// return: 1 asks for FT = f(XT); 0 means AJ holds the estimate and XT = X.
// METHOD 1 forward differences (NGROUP evaluations), 2 central (2*NGROUP).
// The step of column j is h = max(r*max(|X(j)|, S(j)), CNTLD(2)), S(j) the
// typical size of X(j), so that a coordinate at or near zero still gets a
// step the residuals can resolve; r = CNTLD(1) when positive, else
// sqrt(eps) (forward) or eps^(1/3) (central), eps = RE05RE(1).  The step is
// then rounded so that X(j) + h is exact, and taken backwards when X(j) + h
// would not be finite (a central difference then uses X(j) itself for its
// backward point).  H(N) keeps the steps, FP(M) the residuals of the
// forward shift (central only), ISAVE(2) the group and the side in
// progress.  XT(N) must not change between calls.
void TD22AD(const tbl::fint* M, const tbl::fint* N, const tbl::fint* IPJ, const tbl::fint* IRNJ,
            const tbl::fint* NGROUP, const tbl::fint* GPTR, const tbl::fint* GCOL, const tbl::fint* METHOD,
            const double* CNTLD, const double* S, const double* X, const double* F, double* XT, const double* FT,
            double* AJ, double* H, double* FP, tbl::fint* ISAVE, tbl::fint* IREQ);

}  // extern "C"
