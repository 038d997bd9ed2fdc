// Entry points of the sparse unsymmetric LU solver: each hands its arguments
// on unchanged.
#include "TesselBasicLib.h"
#include "unsym_lu/ma48.hpp"

extern "C" {

TBL_EXPORT void VIZ_MA48ID(double* CNTL, int32_t* ICNTL) { MA48ID(CNTL, ICNTL); }

TBL_EXPORT void VIZ_MA48AD(const int32_t* M, const int32_t* N, const int32_t* NE, const int32_t* JOB,
                           const int32_t* LA, double* A, int32_t* IRN, int32_t* JCN, int32_t* KEEP,
                           const double* CNTL, const int32_t* ICNTL, int32_t* IW, int32_t* INFO, double* RINFO) {
  MA48AD(M, N, NE, JOB, LA, A, IRN, JCN, KEEP, CNTL, ICNTL, IW, INFO, RINFO);
}

TBL_EXPORT void VIZ_MA48BD(const int32_t* M, const int32_t* N, const int32_t* NE, const int32_t* JOB,
                           const int32_t* LA, double* A, int32_t* IRN, const int32_t* JCN, int32_t* KEEP,
                           const double* CNTL, const int32_t* ICNTL, double* W, int32_t* IW, int32_t* INFO,
                           double* RINFO) {
  MA48BD(M, N, NE, JOB, LA, A, IRN, JCN, KEEP, CNTL, ICNTL, W, IW, INFO, RINFO);
}

TBL_EXPORT void VIZ_MA48CD(const int32_t* M, const int32_t* N, const int32_t* TRANS, const int32_t* JOB,
                           const int32_t* LA, const double* A, const int32_t* IRN, const int32_t* KEEP,
                           const double* CNTL, const int32_t* ICNTL, double* RHS, double* X, double* ERROR,
                           double* W, int32_t* IW, int32_t* INFO) {
  MA48CD(M, N, TRANS, JOB, LA, A, IRN, KEEP, CNTL, ICNTL, RHS, X, ERROR, W, IW, INFO);
}

}  // extern "C"
