// The block triangular road of the factorisation front end.
//
// Below the two permutations and the trailer the ordering reserves 6N+2
// integers: its four work arrays of N, then the N+1 of IB (whose top NB+1
// places receive the boundaries) and the N+1 of OFFROWP.  With two or more
// blocks this shrinks to the block pointers, the boundaries and the row
// pointers, exactly where the stored factors keep them, so nothing moves.
//
// The blocks are factorised from the last to the first: the last block's
// factors go to the top, and the entries of the earlier blocks, lower in
// the used region, are still intact when their turn comes.
#include <algorithm>
#include <cmath>

#include "multifrontal_lu/za38_front.hpp"
#include "multifrontal_lu/za38_layout.hpp"

namespace tbl::za38 {

bool front_order(FrontEnd& f) {
  const std::int64_t n = f.n, nz = f.nz;
  f.fi -= 6 * n + 2;
  f.grow_ints(6 * n + 2);
  if (!f.preserve) {
    // The split stages the diagonal-block entries in NZ more places of both.
    f.free += nz;
    f.grow_ints(nz);
    f.grow_reals(nz);
  }
  if (f.fi < f.free || f.free > f.lax + 1) {
    f.shortage = true;
    f.ineed = f.free;
    return false;
  }
  const TopData top(f.lw, n, 1);
  const std::int64_t offrowp = top.offrowp();
  const std::int64_t ib = offrowp - n - 1;  // N+1 places ending just below OFFROWP
  const std::int64_t rinv = f.fi, cinv = rinv + n, lenr = cinv + n, iperm = lenr + n;
  fint nindiag = 0;
  const logical pres = to_logical(f.preserve);
  if (f.preserve) {
    ZA38_BTF_ORDER(const_cast<double*>(f.pax), f.pnz, const_cast<fint*>(f.pai), f.pnz, &f.n, &f.nz, &nindiag,
                   &f.noffdiag, &f.nblocks, f.ap, &f.wi(f.cperm_at()), &f.wi(f.rperm_at()), &f.wi(rinv),
                   &f.wi(cinv), &f.wi(lenr), &f.wi(iperm), &f.wi(ib), &f.wi(offrowp), &pres);
  } else {
    const fint twice = saturate(2 * nz);
    ZA38_BTF_ORDER(f.ax, &twice, f.w, &twice, &f.n, &f.nz, &nindiag, &f.noffdiag, &f.nblocks, f.ap,
                   &f.wi(f.cperm_at()), &f.wi(f.rperm_at()), &f.wi(rinv), &f.wi(cinv), &f.wi(lenr),
                   &f.wi(iperm), &f.wi(ib), &f.wi(offrowp), &pres);
    f.free -= nz;
    *f.iinuse -= nz;
    *f.xinuse -= nz;
  }
  return true;
}

void front_blocks(FrontEnd& f) {
  const std::int64_t n = f.n;
  const fint nb = f.nblocks;
  const TopData top(f.lw, n, nb);
  f.fi = top.bfptr();
  *f.iinuse += 2 * std::int64_t{nb} - 5 * n;
  Vec1<fint> bfptr(&f.wi(top.bfptr()), nb), bnd(&f.wi(top.ib()), std::int64_t{nb} + 1);
  Vec1<fint> offrowp(&f.wi(top.offrowp()), n + 1);
  Vec1<fint> cperm(&f.wi(f.cperm_at()), n), rperm(&f.wi(f.rperm_at()), n);
  Vec1<fint> ap(f.ap, n + 1);
  // With the matrix preserved, the row pointers' places hold the inverse
  // row permutation until the store.
  Vec1<fint>& rinv = offrowp;
  if (f.preserve)
    for (fint k = 1; k <= n; ++k) rinv(rperm(k)) = k;

  for (fint t = nb; t >= 1; --t) {
    const fint s = bnd(t), last = bnd(t + 1) - 1;
    if (!f.preserve) ap(last + 1) = static_cast<fint>(f.free);
    if (s == last) {
      double pivot = 0.0;
      if (!f.preserve) {
        if (ap(s) < f.free) {
          pivot = f.xv(ap(s));
          *f.iinuse -= 1;
          *f.xinuse -= 1;
          f.vneed -= 1;
          f.free = ap(s);
        }
      } else {
        const fint j = cperm(s);
        for (fint p = f.pap[j - 1]; p < f.pap[j]; ++p) {
          const fint r = rinv(f.pai[p - 1]);
          if (r < s) ++f.noffdiag;
          if (r == s) pivot = f.pax[p - 1];
        }
      }
      f.fv -= 1;
      f.vneed += 1;
      f.vnmax = std::max(f.vnmax, f.vneed);
      ++f.ones;
      f.grow_reals(1);
      if (f.fv < f.free) {
        f.shortage = true;
        f.ineed = f.free;
        return;
      }
      // A pivot that is exactly zero is kept as 1.0 (the matrix is
      // reported singular).
      f.xv(f.fv) = pivot == 0.0 ? 1.0 : pivot;
      if (pivot != 0.0) ++f.onesok;
      // The stand-in 1.0 of a zero pivot is no entry of U.
      double& umax = f.rinfo[kRinfoGrowth - 1];
      umax = std::max(umax, std::fabs(pivot));
      bfptr(t) = static_cast<fint>(-f.fv);
      continue;
    }
    const fint order = last - s + 1;
    const fint start = ap(s);  // the set-up turns the block's pointers into its own positions
    fint bfi = 0, bfv = 0;
    const fint xlim = saturate(f.fv - 1), ilim = saturate(f.fi - 1);
    logical ishort = kFalse, xshort = kFalse;
    const fint pn = f.preserve ? f.n : 0, pnz = f.preserve ? f.nz : 1;
    ZA38_FACTOR_SETUP(ap.at(s), &order, cperm.at(s), rperm.at(s), &f.noffdiag, &bfi, &bfv, f.ax, &xlim, f.xinuse,
                      f.w, &ilim, f.iinuse, f.icntl, f.cntl, f.info, f.rinfo, &f.nblocks, f.pap, f.pai, f.pax,
                      f.preserve_arg, &s, &pn, &pnz, rinv.data(), f.keep, &f.cmax, &f.rmax, &f.nrec, &f.vnmax,
                      &f.vneed, &ishort, &xshort);
    if (is_true(ishort) || is_true(xshort)) {
      f.shortage = true;
      f.ishort = is_true(ishort);
      f.xshort = is_true(xshort);
      f.ineed = f.free;
      return;
    }
    if (f.info[kInfoStatus - 1] < 0) return;
    f.fi = bfi;
    f.fv = bfv;
    bfptr(t) = bfi;
    f.free = f.preserve ? 1 : start;
  }

  // Positions made relative: a value's from FV, a block factor's from FI
  // (and its first word, its reals' position, from FV).
  for (fint t = 1; t <= nb; ++t) {
    if (bfptr(t) < 0) {
      bfptr(t) = static_cast<fint>(-bfptr(t) - f.fv + 1);
    } else {
      fint& first = f.wi(bfptr(t));
      first = static_cast<fint>(first - f.fv + 1);
      bfptr(t) = static_cast<fint>(bfptr(t) - f.fi + 1);
    }
  }
  // With every block of order 1 the block factors are one integer 0.
  const bool all_ones = nb == f.n;
  if (all_ones) f.fi -= 1;
  const std::int64_t factors_at = f.fi;
  const std::int64_t noff = f.noffdiag;
  f.fi -= noff;
  f.fv -= noff;
  f.grow_ints(n + (all_ones ? 1 : 0) + noff);
  f.vneed += noff;
  f.vnmax = std::max(f.vnmax, f.vneed);
  f.grow_reals(noff);
  if (f.fi < f.free + n || f.fv < f.free) {
    f.shortage = true;
    f.ineed = f.free + n;
    return;
  }
  if (all_ones) f.wi(factors_at) = 0;

  fint nbad = 0;
  const fint who = kWhoAnalyse, zero = 0;
  const fint lai = f.preserve ? f.nz : saturate(noff), lax = lai;
  if (f.preserve) {
    ZA38_STORE_OFFDIAG(f.ap, &f.n, rperm.data(), cperm.data(), &f.noffdiag, offrowp.data(), &f.wi(f.fi),
                       &f.xv(f.fv), &f.wi(f.free), f.icntl, f.pap, f.pai, f.pax, &lai, &lax, f.preserve_arg,
                       &f.nblocks, bnd.data(), &zero, &who, &nbad, &zero);
  } else {
    ZA38_STORE_OFFDIAG(f.ap, &f.n, rperm.data(), cperm.data(), &f.noffdiag, offrowp.data(), &f.wi(f.fi),
                       &f.xv(f.fv), &f.wi(f.free), f.icntl, f.ap, f.w, f.ax, &lai, &lax, f.preserve_arg,
                       &f.nblocks, bnd.data(), &zero, &who, &nbad, &zero);
    *f.iinuse -= noff;
    *f.xinuse -= noff;
  }
  *f.iinuse -= n;
}

}  // namespace tbl::za38
