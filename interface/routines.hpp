// The library's own routines of the interface layer, as the export layer and
// the tests reach them: every argument by address.
#pragma once

#include <cstddef>

#include "interface/common.hpp"

extern "C" {

// Attach a named file to an output unit, and detach it (units.hpp).
TBL_EXPORT void FFOPEN(const char* name, const tbl::fint* iunit, std::size_t name_len);
TBL_EXPORT void FFCLOSE(const tbl::fint* iunit);

// Dense LU with partial pivoting and the solve with its factors.
void DGEFA(double* a, const tbl::fint* lda, const tbl::fint* n, tbl::fint* ipvt, tbl::fint* info);
void DGESL(const double* a, const tbl::fint* lda, const tbl::fint* n, const tbl::fint* ipvt, double* b,
           const tbl::fint* job);

// Element-wise loops behind the vector kernels; r may be a.
void VML_EXP_LOOP(const tbl::fint* n, const double* a, double* r);
void VML_INV_LOOP(const tbl::fint* n, const double* a, double* r);
}
