// Nonlinear least squares and equations, and the zero of a function of one
// variable.  DI23ID and DI23AD are exported under their own names and
// declared in the public header; NB01AD is reached through VIZ_NB01AD.
//
// Every argument is by address (32-bit integers, 64-bit reals, 1-based
// arrays), as the library's Fortran-convention callers pass them.
#pragma once

#include "TesselBasicLib.h"
#include "interface/common.hpp"

extern "C" {

// Zero of f between A and B by reverse communication; IND is the request
// flag (1 start, 2 evaluate Y = f(X) and call again, 0 done, < 0 failed).
// Keeps its one live problem in static storage.
void NB01AD(tbl::fint* IND, const double* A, const double* B, const double* EPS, double* X, double* Y,
            const tbl::fint* LIMIT);

}  // extern "C"
