// Coordinate-matrix services: conversion of coordinate entries into column
// form (MC49AD, MC59AD), row and column scaling (MC29AD), the sparse
// matrix-vector product (MC09AD) and the minimum degree ordering driver
// (MC47AD).  MC09AD, MC49AD and MC59AD are exported under their own names
// and declared in the public header; the rest are internal.
#pragma once

#include "TesselBasicLib.h"
#include "interface/common.hpp"

namespace tbl {

// What the last call of MC49AD found.  MC47AD reads it after calling MC49AD,
// so the two must not run concurrently.
struct MC49Counts {
  fint irnout;  // entries dropped for a row index outside 1..NR
  fint jcnout;  // entries dropped for a column index outside 1..NC (row valid)
  fint ndup;    // duplicate entries merged
  fint kne;     // entries in the result
};
extern MC49Counts MC49_COUNTS;

}  // namespace tbl

extern "C" {

// Row and column scaling of a coordinate matrix (logarithms of the factors).
void MC29AD(const tbl::fint* M, const tbl::fint* N, const tbl::fint* NE, const double* A,
            const tbl::fint* IRN, const tbl::fint* ICN, double* RLOG, double* CLOG, double* W,
            const tbl::fint* LP, tbl::fint* IFAIL);

// Approximate minimum degree ordering of a symmetric pattern given by one
// triangle, in coordinate or column form; the results lie in PE and in the
// tail of IW.
void MC47AD(const tbl::fint* N, const tbl::fint* NE, tbl::fint* PE, tbl::fint* IW,
            const tbl::fint* IWLEN, const tbl::fint* MP, tbl::fint* INFO);

// Expands the lower triangle of a symmetric pattern held by columns (IRN with
// starts IP(1..N+1), row index >= column index) in place into the full
// pattern.  IRN must have room for the mirrored entries; IW is work of N
// entries.  With YESA true the values in A move and are mirrored too.
void MC47_EXPAND_PATTERN(const tbl::fint* N, tbl::fint* IRN, tbl::fint* IP, const tbl::logical* YESA,
                         double* A, tbl::fint* IW);

// In-place counting sort of KNE entries into N lists by the key in JCN (all
// keys in 1..N); IRN and, with YESA, A travel with the key.  IP(1..N+1)
// receives the list starts; IW holds N+1 counts.
void MC49_COUNT_SORT(const tbl::fint* N, const tbl::fint* KNE, tbl::fint* IRN, tbl::fint* JCN,
                     const tbl::logical* YESA, const tbl::fint* LA, double* A, tbl::fint* IP,
                     tbl::fint* IW);

// Redistributes KNE entries held by rows (row starts IW(1..NR+1), column
// indices in JCN) into columns with increasing row indices: IRN and, with
// YESA, A receive the column form, IP(1..NC+1) its starts; JCN is used as
// scratch.
void MC49_SORT_WITHIN(const tbl::fint* NC, const tbl::fint* NR, const tbl::fint* KNE, tbl::fint* IRN,
                      tbl::fint* JCN, const tbl::logical* YESA, const tbl::fint* LA, double* A,
                      tbl::fint* IP, tbl::fint* IW);

// In-place counting sort of NE entries into N lists by KEY, the other index
// in OTHER bounded by M.  With CHECK, entries with an index out of range are
// dropped (counted in NOUTM for the other index, NOUTN for the list index)
// and the survivors compacted first; without it every index must be valid.
// SYM /= 0 mirrors each entry into the lower triangle (list index >= other
// index when the lists are rows, <= when they are columns: SYM = 1 for
// column lists, -1 for row lists).  NKEPT returns the entries sorted.
void MC59_SORT_COLUMNS(const tbl::logical* CHECK, const tbl::fint* SYM, const tbl::fint* N,
                       const tbl::fint* M, const tbl::fint* NE, tbl::fint* KEY, tbl::fint* OTHER,
                       const tbl::logical* YESA, double* A, tbl::fint* IP, tbl::fint* IW,
                       tbl::fint* NOUTM, tbl::fint* NOUTN, tbl::fint* NKEPT);

}  // extern "C"
