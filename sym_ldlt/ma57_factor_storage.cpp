// Storage routines of the factorisation: moving a suspended factorisation
// into larger arrays (MA57ED) and turning the kernel's pivot blocks into
// the stored form the solve reads (MA57_REPACK_FACTORS).
#include <algorithm>
#include <cstdint>

#include "sym_ldlt/ma57_factor.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
using i64 = std::int64_t;

i64 clamp_len(i64 v, i64 hi) { return std::clamp<i64>(v, 0, hi); }

// The part below the free space, FROM(1..low), keeps its place; the part
// above it, FROM(top+1..len), goes to the top of the new array.  Returns
// the growth by which the positions into the upper part move.
template <class T>
i64 move_into_larger(const T* from, i64 len, T* to, i64 newlen, i64 low, i64 top) {
  low = clamp_len(low, len);
  top = clamp_len(top, len);
  const i64 move = newlen - len;
  std::copy_n(from, low, to);
  std::copy(from + top, from + len, to + top + move);
  return move;
}

}  // namespace

extern "C" {

// The suspended factorisation's data lies in two parts of each array: below
// the free space (stored factors and records, plus the current front) and
// above it (stacks and the not yet assembled structure).  The lower part
// keeps its place, the upper part moves to the top of the new array, and
// the saved positions that point into it move with it.
void MA57ED(const fint* n_, const fint* icopy_, fint* keep, const double* fact, const fint* lfact_,
            double* newfact, const fint* lnewfact_, const fint* ifact, const fint* lifact_, fint* newifact,
            const fint* lnewifact_, fint* info) {
  const fint n = *n_, icopy = *icopy_;
  const fint lfact = *lfact_, lnewfact = *lnewfact_, lifact = *lifact_, lnewifact = *lnewifact_;
  Vec1<fint> hold(keep + n + 2, 40);  // HOLD(k) = KEEP(N+2+k)
  const bool ints = icopy >= 1;
  const bool reals = icopy != 1;

  // Both lengths are checked before anything moves, so that a refusal
  // leaves KEEP and the new arrays as they were and the call can be retried.
  if (ints && lnewifact <= lifact) {
    info[0] = -7;
    info[1] = lnewifact;
    return;
  }
  if (reals && lnewfact <= lfact) {
    info[0] = -7;
    info[1] = lnewfact;
    return;
  }
  info[0] = 0;
  info[1] = 0;

  if (ints) {
    const i64 move = move_into_larger(ifact, lifact, newifact, lnewifact, i64{hold(8)} + hold(24) - 1, hold(15));
    hold(14) += static_cast<fint>(move);
    hold(19) += static_cast<fint>(move);
    hold(15) += static_cast<fint>(move);
  }
  if (reals) {
    // After a suspension for integer space the current front is already
    // eliminated above the stored factors and must come along.
    i64 low = i64{hold(10)} - 1;
    if (hold(1) == 2) low += i64{hold(24)} * hold(24);
    const i64 move = move_into_larger(fact, lfact, newfact, lnewfact, low, hold(16));
    hold(13) += static_cast<fint>(move);
    hold(20) += static_cast<fint>(move);
    hold(16) += static_cast<fint>(move);
  }
}

void MA57_REPACK_FACTORS(double* fact_, const fint* lfact, const fint* ifact_, const fint* lifact,
                         fint* lastpos) {
  Vec1<double> fact(fact_, *lfact);
  Vec1<const fint> ifact(ifact_, *lifact);
  i64 last = *lastpos;
  i64 fpos = 1, ipos = 4;
  const fint nblk = ifact(3);
  for (fint b = 1; b <= nblk; ++b) {
    const fint ncols = ifact(ipos), nrows = ifact(ipos + 1);
    bool prev_first = false;
    for (fint k = 1; k <= nrows; ++k) {
      const bool first = ifact(ipos + 1 + k) < 0 && !prev_first;
      const fint below = nrows - k;
      const double off = below >= 1 ? fact(fpos + 1) : 0.0;
      for (fint t = 1; t <= below; ++t) fact(fpos + t) = -fact(fpos + t);
      if (first && below >= 1) {
        // The 2x2 block's own L entry is zero; its slot held D^-1's
        // off-diagonal, which joins the list after the blocks.
        fact(fpos + 1) = 0.0;
        fact(++last) = off;
      }
      prev_first = first;
      fpos += below + 1;
    }
    fpos += i64{nrows} * (ncols - nrows);
    ipos += i64{ncols} + 2;
  }
  *lastpos = static_cast<fint>(last);
}

}  // extern "C"
