// The state of one factorisation front end (ZA38_FACTOR_FRONT), shared by
// its single-block road and its block triangular road.
//
// Both work areas W (integers) and AX (reals) are a stack of what stays,
// growing down from the top (FI, FV: its lowest positions), and a used
// region growing up from the bottom (FREE: its first free position, the
// same number in both).  IINUSE and XINUSE count what the current layout
// needs; each growth raises INFO(18..21).
#pragma once

#include <cstdint>

#include "multifrontal_lu/za38_internal.hpp"

namespace tbl::za38 {

struct FrontEnd {
  // The front end's arguments.
  fint n = 0, nz = 0, ne = 0;
  fint* ap = nullptr;  // column pointers of the held matrix into W/AX
  double* ax = nullptr;
  std::int64_t lax = 0;
  fint* w = nullptr;
  std::int64_t lw = 0;
  std::int64_t* iinuse = nullptr;
  std::int64_t* xinuse = nullptr;
  const fint* icntl = nullptr;
  const double* cntl = nullptr;
  fint* info = nullptr;
  double* rinfo = nullptr;
  const logical* preserve_arg = nullptr;
  bool preserve = false;
  const fint* pap = nullptr;
  const fint* pai = nullptr;
  const double* pax = nullptr;
  const fint* pn = nullptr;
  const fint* pnz = nullptr;
  const fint* keep = nullptr;

  std::int64_t fi = 0, fv = 0, free = 0;
  fint noffdiag = 0, nblocks = 1;
  // Blocks of order 1, and those with a nonzero pivot.
  fint ones = 0, onesok = 0;
  // Value need of the next refactorisation and its peak; the largest
  // record extents and the record count the kernel keeps for it.
  std::int64_t vneed = 0, vnmax = 0;
  fint cmax = 1, rmax = 1, nrec = 0;
  // A step ran short of space; what the set-up flagged; the lowest W
  // position the failing step needed.
  bool shortage = false;
  bool ishort = false, xshort = false;
  std::int64_t ineed = 0;

  std::int64_t cperm_at() const { return lw - 2 * std::int64_t{n} - 6; }
  std::int64_t rperm_at() const { return lw - std::int64_t{n} - 6; }
  fint& wi(std::int64_t p) const { return w[p - 1]; }
  double& xv(std::int64_t p) const { return ax[p - 1]; }

  void grow_ints(std::int64_t d) {
    *iinuse += d;
    raise_info(info, kInfoIndexUsed, *iinuse);
    raise_info(info, kInfoIndexNeeded, *iinuse);
  }
  void grow_reals(std::int64_t d) {
    *xinuse += d;
    raise_info(info, kInfoValueUsed, *xinuse);
    raise_info(info, kInfoValueNeeded, *xinuse);
  }
};

// Block triangular form (ICNTL(4) = 1): reserves the ordering's arrays
// below the top, stages the split, and orders.  Returns false on a
// shortage (flags set).  Afterwards f.nblocks is the number of blocks.
bool front_order(FrontEnd& f);

// Two or more blocks: each diagonal block from the last (order 1 here,
// larger ones through the kernel set-up), the pointers made relative, the
// entries above the blocks stored.  Leaves the flags set on a shortage;
// returns at once when the kernel recorded an error.
void front_blocks(FrontEnd& f);

}  // namespace tbl::za38
