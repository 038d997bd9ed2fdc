// Entry point of the derivative-free bound-constrained optimiser: hands its
// 37 arguments and the length of the trace file's base name on unchanged.
#include "TesselBasicLib.h"
#include "bound_opt/optbqa.hpp"

extern "C" {

TBL_EXPORT void VUR_OPTBQA(const int32_t* N, double* X, const double* XL, const double* XU,
                           const double* SCALE, const int32_t* MEQ, const int32_t* MIN, const double* F,
                           const double* CEQ, const double* CIN, const int32_t* NPT, const double* RHOBEG,
                           const double* RHOEND, const int32_t* MAXFUN, const double* FTARGET, double* PEN,
                           const double* PENGROW, const double* PENMAX, const int32_t* MAXRST,
                           const double* RHORST, const double* CTOL, const double* CWT, const int32_t* IPTYPE,
                           double* XBEST, double* FBEST, double* CVIOL, double* PBEST, double* RHO,
                           int32_t* NFEV, int32_t* NRST, const int32_t* IPRINT, const int32_t* IOUT,
                           const int32_t* ITRACE, int32_t* INFO, double* W, const int32_t* LW,
                           const char* TRACE, size_t TRACE_len) {
  OPTBQA(N, X, XL, XU, SCALE, MEQ, MIN, F, CEQ, CIN, NPT, RHOBEG, RHOEND, MAXFUN, FTARGET, PEN, PENGROW,
         PENMAX, MAXRST, RHORST, CTOL, CWT, IPTYPE, XBEST, FBEST, CVIOL, PBEST, RHO, NFEV, NRST, IPRINT, IOUT,
         ITRACE, INFO, W, LW, TRACE, TRACE_len);
}

}  // extern "C"
