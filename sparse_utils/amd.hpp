// Approximate minimum degree ordering of a symmetric pattern.
#pragma once

#include "interface/common.hpp"

extern "C" {

// Orders the full pattern held in IW(1..PFREE-1) (list of i at PE(i), LEN(i) entries, no diagonal)
// and returns the order (ELEN, its inverse LAST), the assembly tree (PE, NV), the peak storage in
// PFREE and the number of compressions of IW in NCMPA.  DEGREE, HEAD, NEXT, W: work arrays of N.
void MC47_AMD_KERNEL(const tbl::fint* n, const tbl::fint* iwlen, tbl::fint* pe, tbl::fint* pfree, tbl::fint* len,
                     tbl::fint* iw, tbl::fint* nv, tbl::fint* elen, tbl::fint* last, tbl::fint* ncmpa,
                     tbl::fint* degree, tbl::fint* head, tbl::fint* next, tbl::fint* w);

}  // extern "C"
