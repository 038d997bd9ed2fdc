// Estimate of the 1-norm of a matrix known only through products with it
// and its transpose, by reverse communication.
#pragma once

#include "interface/common.hpp"

extern "C" {

// Start with KASE = 0; on return KASE = 1 asks for X := B*X, 2 for X := B'*X, 0 means EST is final,
// -1 means N < 1.  All state lives in X, W(N), IW(N) and KEEP(4), so estimates may interleave.
void MC71AD(const tbl::fint* n, tbl::fint* kase, double* x, double* est, double* w, tbl::fint* iw, tbl::fint* keep);

}  // extern "C"
