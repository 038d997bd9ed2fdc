// Entry points of the unsymmetric-pattern multifrontal LU solver: each hands
// its arguments on unchanged.
#include "TesselBasicLib.h"
#include "multifrontal_lu/za38_internal.hpp"

extern "C" {

TBL_EXPORT void VIZ_ZA38ID(int32_t* KEEP, double* CNTL, int32_t* ICNTL) { ZA38ID(KEEP, CNTL, ICNTL); }

TBL_EXPORT void VIZ_ZA38AD(const int32_t* N, const int32_t* NE, const int32_t* JOB, const int32_t* TRANSA,
                           const int32_t* LVALUE, const int32_t* LINDEX, double* VALUE, int32_t* INDEX, int32_t* KEEP,
                           const double* CNTL, const int32_t* ICNTL, int32_t* INFO, double* RINFO) {
  ZA38AD(N, NE, JOB, TRANSA, LVALUE, LINDEX, VALUE, INDEX, KEEP, CNTL, ICNTL, INFO, RINFO);
}

TBL_EXPORT void VIZ_ZA38BD(const int32_t* N, const int32_t* NE, const int32_t* JOB, const int32_t* TRANSA,
                           const int32_t* LVALUE, const int32_t* LINDEX, double* VALUE, int32_t* INDEX, int32_t* KEEP,
                           const double* CNTL, const int32_t* ICNTL, int32_t* INFO, double* RINFO) {
  ZA38BD(N, NE, JOB, TRANSA, LVALUE, LINDEX, VALUE, INDEX, KEEP, CNTL, ICNTL, INFO, RINFO);
}

TBL_EXPORT void VIZ_ZA38CD(const int32_t* N, const int32_t* JOB, const int32_t* TRANSC, const int32_t* LVALUE,
                           const int32_t* LINDEX, const double* VALUE, const int32_t* INDEX, const int32_t* KEEP,
                           const double* B, double* X, double* W, const double* CNTL, const int32_t* ICNTL,
                           int32_t* INFO, double* RINFO) {
  ZA38CD(N, JOB, TRANSC, LVALUE, LINDEX, VALUE, INDEX, KEEP, B, X, W, CNTL, ICNTL, INFO, RINFO);
}

}  // extern "C"
