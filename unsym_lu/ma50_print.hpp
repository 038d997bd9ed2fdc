// Listings shared by the MA50 factorisation and solve monitors.
#pragma once

#include "interface/common.hpp"

namespace tbl::ma50 {

// The factors of an M by N block in the layout that MA50BD leaves: for each
// column its U and L parts as (value, index) pairs, then the full block with
// its pivoting record and its rows.
void print_factors(fint unit, fint m, fint n, fint np, const double* fact, const fint* irnf, const fint* iptrl,
                   const fint* iptru);

// A list of integers behind a title, ten to a line from column 6.
void print_int_list(fint unit, const char* title, const fint* v, fint n);

}  // namespace tbl::ma50
