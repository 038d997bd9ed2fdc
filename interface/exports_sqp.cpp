// Entry points of the constrained optimisation package.  VF13AD and VE17AD
// are exported under their own names by the routines themselves; this
// forwarder only gives the host the second name of VF13AD.
#include "TesselBasicLib.h"
#include "interface/common.hpp"

using tbl::fint;

extern "C" {

TBL_EXPORT void VIZ_VF13AD(const fint* N, const fint* M, const fint* MEQ, double* X, double* F, double* G, double* C,
                           double* CN, const fint* LCN, const double* ACC, const fint* MAXFUN, const fint* IPRINT,
                           fint* INFORM, double* W, const fint* LW, fint* IW) {
  VF13AD(N, M, MEQ, X, F, G, C, CN, LCN, ACC, MAXFUN, IPRINT, INFORM, W, LW, IW);
}

}  // extern "C"
