// Entry points of the nonlinear package: each hands its arguments on
// unchanged.  DI23ID and DI23AD are also exported under their own names.
#include "TesselBasicLib.h"
#include "nonlinear/nonlinear.hpp"

using tbl::fint;

extern "C" {

TBL_EXPORT void VIZ_NB01AD(fint* IND, const double* A, const double* B, const double* EPS, double* X, double* Y,
                           const fint* LIMIT) {
  NB01AD(IND, A, B, EPS, X, Y, LIMIT);
}

TBL_EXPORT void VIZ_DI23ID(fint* ICNTL, double* CNTL, double* CNTLD, fint* ICNTLM, double* CNTLM) {
  DI23ID(ICNTL, CNTL, CNTLD, ICNTLM, CNTLM);
}

TBL_EXPORT void VIZ_DI23AD(const fint* M, const fint* N, const fint* NE, const fint* IRN, const fint* JCN, double* X,
                           double* F, double* D, const fint* ICNTL, const double* CNTL, const double* CNTLD,
                           const fint* ICNTLM, const double* CNTLM, fint* IW, const fint* LIW, double* W,
                           const fint* LW, double* AJ, double* XT, fint* IREQ, double* FT, fint* INFO,
                           double* RINFO, fint* NFEV, fint* NJEV, fint* NITER, double* FNORM) {
  DI23AD(M, N, NE, IRN, JCN, X, F, D, ICNTL, CNTL, CNTLD, ICNTLM, CNTLM, IW, LIW, W, LW, AJ, XT, IREQ, FT, INFO,
         RINFO, NFEV, NJEV, NITER, FNORM);
}

}  // extern "C"
