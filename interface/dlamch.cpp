// LAPACK's machine parameters.  The library answers them itself, with fixed
// bit patterns, so that every LAPACK routine it reaches sees the same
// constants whatever the processor's environment; the archive's own DLAMCH
// is never linked (see the --undefined options on the core).
#include <bit>
#include <cstdint>

#include "interface/blas.hpp"
#include "interface/machine.hpp"

namespace {

struct MachineParameters {
  double eps, sfmin, base, prec, t, rnd, emin, rmin, emax, rmax;
};

constexpr double from_bits(std::uint64_t b) { return std::bit_cast<double>(b); }

MachineParameters compute() {
  const double tiny = from_bits(0x0010000000000001);
  const double huge = from_bits(0x7FEFFFFFFFFFFFFB);
  MachineParameters p{};
  p.eps = from_bits(0x3CB0000000000000) * 0.5;
  p.base = 2.0;
  p.t = 53.0;
  p.rnd = 1.0;
  p.emin = -1021.0;
  p.emax = 1024.0;
  p.prec = 2.0 * p.eps;
  // Safe minimum: the smallest number whose reciprocal does not overflow.
  const double small = 1.0 / huge;
  p.sfmin = small >= tiny ? small * (1.0 + p.eps) : tiny;
  p.rmin = tiny;
  p.rmax = huge;
  return p;
}

bool same_letter(const char* c, char letter) {
  return tbl::is_true(lsame_(c, &letter, 1, 1));
}

double lookup(const char* cmach) {
  // Computed once, on the first call; the initialisation is thread-safe.
  static const MachineParameters p = compute();
  if (same_letter(cmach, 'E')) return p.eps;
  if (same_letter(cmach, 'S')) return p.sfmin;
  if (same_letter(cmach, 'B')) return p.base;
  if (same_letter(cmach, 'P')) return p.prec;
  if (same_letter(cmach, 'N')) return p.t;
  if (same_letter(cmach, 'R')) return p.rnd;
  if (same_letter(cmach, 'M')) return p.emin;
  if (same_letter(cmach, 'U')) return p.rmin;
  if (same_letter(cmach, 'L')) return p.emax;
  if (same_letter(cmach, 'O')) return p.rmax;
  return 0.0;
}

}  // namespace

extern "C" {

TBL_EXPORT double DLAMCH(const char* cmach, std::size_t /*cmach_len*/) { return lookup(cmach); }

// The symbols LAPACK binds to.
double dlamch_(const char* cmach, std::size_t /*cmach_len*/) { return lookup(cmach); }

// Adds through memory so that no extended-precision register takes part;
// LAPACK uses it to force rounding to working precision.
double dlamc3_(const double* a, const double* b) { return *a + *b; }

}
