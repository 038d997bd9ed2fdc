/*
 * TesselBasicLib: public declarations of every exported entry point.
 *
 * Usable from C and C++.  Conventions, stated once:
 *
 *  - Integers are 32-bit (int32_t).  Reals are 64-bit (double).
 *  - LOGICAL is a 32-bit integer that counts as true when its lowest bit is
 *    1; the library itself passes -1 for true and 0 for false.
 *  - By-address convention (every family except CLapack_, CLinpack_, VML_
 *    and the two C++ entry points VIZ_FFOPEN/VIZ_FFCLOSE): every ordinary
 *    argument is passed by address; arrays are 1-based in the documentation
 *    (element (i) is p[i-1]) and column-major with a leading dimension.
 *  - HiddenLength: for every character argument of a by-address routine
 *    that the host calls under its own name (FFOPEN, DLAMCH, DPOTRF, DSYEV),
 *    the host passes the length of the string by value as a size_t, after
 *    all ordinary arguments, in the order of the character arguments.  The
 *    BLAS_ and Lapack_ forwarders supply these lengths themselves.
 *  - Value convention (CLapack_, CLinpack_, VML_): scalar integers by value;
 *    arrays and one-character options by address; CLapack_ functions and
 *    CLinpack_DGEFA return INFO.
 *  - Status: INFO(1) (or IFLAG, IFAIL) is 0 on success, negative on error,
 *    positive for a warning.  Messages go to numbered output units: 6 is
 *    standard output, 0 standard error, a unit attached by FFOPEN writes to
 *    its file, any other unit to the file "fort.<unit>".
 *  - An illegal argument to a BLAS or LAPACK routine ends the process after
 *    a one-line message (status 0).
 */
#ifndef TESSELBASICLIB_H
#define TESSELBASICLIB_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------
 * Library interface and common services
 * ---------------------------------------------------------------------- */

/* ------------------------------------------------------------------------
 * Sparse matrix utilities
 * ---------------------------------------------------------------------- */

/* ------------------------------------------------------------------------
 * Sparse unsymmetric LU solver
 * ---------------------------------------------------------------------- */

#ifdef __cplusplus
} /* extern "C" */

/* ------------------------------------------------------------------------
 * Entry points with C++ linkage (their symbols are decorated with their
 * argument types): attach a named file to an output unit and detach it.
 * ---------------------------------------------------------------------- */
#endif

#endif /* TESSELBASICLIB_H */
