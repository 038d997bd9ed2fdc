// Element-wise loops behind the exported vector kernels.  Each element is
// read before its result is stored, so the output may overwrite the input.
#include <cmath>

#include "interface/routines.hpp"

extern "C" {

void VML_EXP_LOOP(const tbl::fint* n, const double* a, double* r) {
  for (tbl::fint i = 0; i < *n; ++i) r[i] = std::exp(a[i]);
}

// No test for zero: 1/(+-0) is the infinity of the zero's sign.
void VML_INV_LOOP(const tbl::fint* n, const double* a, double* r) {
  for (tbl::fint i = 0; i < *n; ++i) r[i] = 1.0 / a[i];
}
}
