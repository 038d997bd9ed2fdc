// Compaction of the kernel's two sections: every live block of the low
// parts of ISEC and XSEC slides towards position 1, dead blocks and slack
// go, and element values still laid out with the leading dimension of the
// front that made them are packed to their own row count.  The LU records
// above IFSTART and XFSTART are not touched.
//
// Each live block is marked in its word 1 with the name of its owner (the
// word it held waits meanwhile in the owner's pointer entry), so that one
// sequential scan of ISEC knows what every block is:
//   element e (1..N) -> e, column j -> N+j, row i -> 2N+i, dense N+k -> 3N+k.
#include <algorithm>
#include <cstdint>

#include "interface/common.hpp"
#include "multifrontal_lu/za38_kernel_ws.hpp"

using tbl::fint;
using tbl::logical;
using tbl::Vec1;
using i64 = std::int64_t;
using namespace tbl::za38;

extern "C" void ZA38_COMPACT(double* xsec, const fint* /*lxsec*/, fint* xfree, std::int64_t* xinuse, fint* isec,
                             const fint* /*lisec*/, fint* ifree, std::int64_t* iinuse, fint* cblk_, fint* rptr_,
                             const fint* ndense, const fint* nn, const fint* rowpos_, const fint* colpos_,
                             const fint* ccnt_, const fint* rcnt_, fint* frontp, const fint* frontsz, fint* wcolp,
                             const fint* wcolsz, const logical* spare, fint* gapblk, fint* gapsize, fint* vhead,
                             fint* vtail, fint* nspare) {
  const fint n = *nn, nd = *ndense;
  Vec1<double> xs(xsec);
  Vec1<fint> is(isec), cblk(cblk_, n), rptr(rptr_, n + nd);
  Vec1<const fint> rowpos(rowpos_, n), colpos(colpos_, n), ccnt(ccnt_, n + nd), rcnt(rcnt_, n + nd);
  const fint dead = -(n + nd + 2);
  auto w = [&](i64 b, int k) -> fint& { return is(b + k); };
  const bool give_spare = tbl::is_true(*spare);

  *nspare = 0;

  // Marks.
  for (fint j = 1; j <= n; ++j) {
    if (cblk(j) == 0) continue;
    const fint b = cblk(j);
    cblk(j) = w(b, 1);
    w(b, 1) = n + j;
  }
  for (fint i = 1; i <= n; ++i) {
    if (rptr(i) == 0) continue;
    const fint b = rptr(i);
    if (rcnt(i) >= 0 && rcnt(i) <= n) {
      rptr(i) = w(b, 1);
      w(b, 1) = 2 * n + i;
    } else if (ccnt(i) != dead) {
      rptr(i) = w(b, 1);
      w(b, 1) = i;
    }
  }
  for (fint kk = 1; kk <= nd; ++kk) {
    if (rptr(n + kk) == 0) continue;
    const fint b = rptr(n + kk);
    rptr(n + kk) = w(b, 1);
    w(b, 1) = 3 * n + kk;
  }

  // Real pass along the value list.  A block that leaves the list has its
  // value words cleared, so that the integer pass does not link it again.
  i64 d = 1;
  for (fint b = *vhead; b != 0;) {
    const fint next = w(b, 3);
    const fint m = w(b, 1);
    auto move = [&](i64 from, i64 len) {
      if (from != d) std::copy(xs.at(from), xs.at(from) + len, xs.at(d));
    };
    if (m > 3 * n) {
      const fint nr = rptr(n + (m - 3 * n));
      move(w(b, 2), nr);
      w(b, 2) = static_cast<fint>(d);
      d += nr;
    } else if (m == -1 || w(b, 6) == 0) {
      const fint pv = w(b, 4);
      if (pv != 0) w(pv, 3) = next; else *vhead = next;
      if (next != 0) w(next, 4) = pv; else *vtail = pv;
      w(b, 2) = w(b, 3) = w(b, 4) = 0;
    } else if (m > n) {
      const fint ne = w(b, 6);
      move(w(b, 2), ne);
      w(b, 2) = static_cast<fint>(d);
      d += ne;
    } else {
      const i64 pat = w(b, 0);
      const i64 nc = is(pat + 2), nr = is(pat + 3);
      const i64 lde = rptr(m);
      const i64 from = w(b, 2);
      if (lde == nr) {
        move(from, nr * nc);
      } else {
        for (i64 col = 0; col < nc; ++col) {
          const i64 s = from + col * lde, t = d + col * nr;
          if (s != t) std::copy(xs.at(s), xs.at(s) + nr, xs.at(t));
        }
        rptr(m) = static_cast<fint>(nr);
      }
      w(b, 2) = static_cast<fint>(d);
      d += nr * nc;
    }
    b = next;
  }
  *gapblk = 0;
  *gapsize = -1;
  if (*frontp != 0) {
    if (*frontp != d) std::copy(xs.at(*frontp), xs.at(*frontp) + *frontsz, xs.at(d));
    *frontp = static_cast<fint>(d);
    d += *frontsz;
  }
  if (*wcolp != 0) {
    *wcolp = static_cast<fint>(d);
    d += *wcolsz;
  }

  // Integer pass.
  auto relink = [&](i64 t) {
    if (w(t, 2) == 0 && w(t, 3) == 0 && w(t, 4) == 0) return;  // not in the value list
    const fint pv = w(t, 4), nx = w(t, 3);
    if (pv == 0) *vhead = static_cast<fint>(t); else w(pv, 3) = static_cast<fint>(t);
    if (nx == 0) *vtail = static_cast<fint>(t); else w(nx, 4) = static_cast<fint>(t);
  };
  auto copy_words = [&](i64 from, i64 to, i64 len) {
    if (from != to)
      for (i64 q = 0; q < len; ++q) is(to + q) = is(from + q);
  };
  const i64 end = *ifree;
  i64 s = 1, t = 1;
  while (s < end) {
    const fint m = w(s, 1);
    if (m == -1) {
      s += w(s, 0);
    } else if (m > 3 * n) {
      const fint kk = m - 3 * n;
      w(s, 1) = rptr(n + kk);
      const i64 len = kColHead + w(s, 1);
      rptr(n + kk) = static_cast<fint>(t);
      copy_words(s, t, len);
      relink(t);
      s += len;
      t += len;
    } else if (m > 2 * n) {
      const fint i = m - 2 * n;
      const i64 ntup = ccnt(i), ne = rcnt(i);
      const bool extra = give_spare && rowpos(i) >= 0 && s >= t + 2;
      const i64 len = kRowHead + 2 * ntup + ne + (extra ? 2 : 0);
      const i64 old = w(s, 0);
      w(s, 1) = rptr(i);
      rptr(i) = static_cast<fint>(t);
      copy_words(s, t, kRowHead + 2 * ntup);
      w(t, 0) = static_cast<fint>(len);
      if (extra) *nspare += 2;
      copy_words(s + old - ne, t + len - ne, ne);
      s += old;
      t += len;
    } else if (m > n) {
      const fint j = m - n;
      const i64 ntup = w(s, 5), ne = w(s, 6);
      const bool extra = give_spare && colpos(j) >= 0 && s >= t + 2;
      const i64 len = kColHead + 2 * ntup + ne + (extra ? 2 : 0);
      const i64 old = w(s, 0);
      w(s, 1) = cblk(j);
      cblk(j) = static_cast<fint>(t);
      copy_words(s, t, kColHead + 2 * ntup);
      w(t, 0) = static_cast<fint>(len);
      if (ne > 0) relink(t);
      if (extra) *nspare += 2;
      copy_words(s + old - ne, t + len - ne, ne);
      s += old;
      t += len;
    } else {
      const fint e = m;
      w(s, 1) = rptr(e);
      rptr(e) = static_cast<fint>(t);
      copy_words(s, t, kElemHead);
      relink(t);
      s += kElemHead;
      t += kElemHead;
    }
  }
  *ifree = static_cast<fint>(t);
  *iinuse -= end - t;
  *xinuse -= *xfree - d;
  *xfree = static_cast<fint>(d);
}
