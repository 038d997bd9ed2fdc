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

}  // extern "C"
