// Entry points of the unsymmetric-pattern multifrontal LU solver: each hands
// its arguments on unchanged.
#include "TesselBasicLib.h"
#include "multifrontal_lu/za38_internal.hpp"

extern "C" {

TBL_EXPORT void VIZ_ZA38ID(int32_t* KEEP, double* CNTL, int32_t* ICNTL) { ZA38ID(KEEP, CNTL, ICNTL); }

}  // extern "C"
