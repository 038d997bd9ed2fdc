// Machine constants of 64-bit reals.
#pragma once

#include <cstddef>

#include "interface/common.hpp"

extern "C" {
// 1: relative precision, 2: half of it, 3 and 4: smallest normal number,
// 5: largest finite number.  Any other INUM writes a line on unit 6 and
// stops the process.
double RE05RE(const tbl::fint* inum);
// LAPACK's machine parameters by letter (E S B P N R M U L O).
TBL_EXPORT double DLAMCH(const char* cmach, std::size_t cmach_len);
}

namespace tbl {
// Convenience for the library's own callers.
inline double re05re(fint inum) { return RE05RE(&inum); }
}  // namespace tbl
