// Approximate minimum degree ordering on a quotient graph.
//
// Eliminated pivots become elements (cliques kept as lists of variables),
// indistinguishable variables are merged into supervariables, and degrees
// are upper bounds computed from element external degrees rather than exact
// set unions.  Everything lives in the caller's arrays: the graph in IW,
// which is compressed in place whenever the free tail runs out, and the
// degree lists and hash buckets as linked lists sharing HEAD, NEXT and LAST.
//
// The symmetric analyse builds its pivot sequence, assembly tree and storage
// forecasts on this order, so every choice below (the head of each degree
// list, the order in which lists are scanned, which member of a hash bucket
// absorbs the others) is deliberate and must not change.
#include "sparse_utils/amd.hpp"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <limits>

namespace {

using tbl::fint;
using tbl::Vec1;

constexpr fint kIntMax = std::numeric_limits<fint>::max();

}  // namespace

extern "C" void MC47_AMD_KERNEL(const fint* n_, const fint* iwlen_, fint* pe_, fint* pfree_, fint* len_, fint* iw_,
                                fint* nv_, fint* elen_, fint* last_, fint* ncmpa, fint* degree_, fint* head_,
                                fint* next_, fint* w_) {
  const fint n = *n_;
  const fint iwlen = *iwlen_;
  Vec1<fint> pe(pe_, n), len(len_, n), iw(iw_, iwlen), nv(nv_, n), elen(elen_, n), last(last_, n),
      degree(degree_, n), head(head_, n), next(next_, n), w(w_, n);

  fint pfree = *pfree_;
  fint wflg = 2;
  fint mindeg = 1;
  fint nel = 0;
  const fint hmod = std::max<fint>(1, n - 1);
  fint dmax = 0;
  fint mem = pfree - 1;
  fint maxmem = mem;
  *ncmpa = 0;

  // W holds markers relative to WFLG; when the flag nears overflow, every
  // live marker is reset to the starting values (dead elements keep 0).
  auto clear_flag = [&]() {
    if (static_cast<std::int64_t>(wflg) + n > kIntMax) {
      for (fint x = 1; x <= n; ++x) {
        if (w(x) != 0) w(x) = 1;
      }
      wflg = 2;
    }
  };
  auto insert_degree = [&](fint i, fint deg) {
    assert(deg >= 1 && deg <= n);
    const fint inext = head(deg);
    if (inext != 0) last(inext) = i;
    next(i) = inext;
    last(i) = 0;
    head(deg) = i;
  };
  auto remove_degree = [&](fint i) {
    const fint ilast = last(i);
    const fint inext = next(i);
    if (inext != 0) last(inext) = ilast;
    if (ilast != 0) {
      next(ilast) = inext;
    } else {
      head(degree(i)) = inext;
    }
  };

  for (fint i = 1; i <= n; ++i) {
    last(i) = 0;
    head(i) = 0;
    nv(i) = 1;
    w(i) = 1;
    elen(i) = 0;
    degree(i) = len(i);
  }
  for (fint i = 1; i <= n; ++i) {
    if (degree(i) > 0) {
      insert_degree(i, degree(i));
    } else {
      // No neighbours: eliminated at once, a root of the tree.
      ++nel;
      elen(i) = -nel;
      pe(i) = 0;
      w(i) = 0;
    }
  }

  while (nel < n) {
    // 1. The pivot: the head of the first non-empty degree list, i.e. the
    //    variable inserted into it last.
    fint deg = mindeg;
    for (; deg <= n; ++deg) {
      if (head(deg) > 0) break;
    }
    assert(deg <= n);
    const fint me = head(deg);
    mindeg = deg;
    {
      const fint inext = next(me);
      if (inext != 0) last(inext) = 0;
      head(deg) = inext;
    }

    // 2. ME becomes an element.
    const fint elenme = elen(me);
    elen(me) = -(nel + 1);
    fint nvpiv = nv(me);
    nel += nvpiv;
    nv(me) = -nvpiv;
    fint degme = 0;

    // 3. Lme: the principal variables adjacent to ME, flagged by a negative
    //    NV and taken out of their degree lists.
    auto take = [&](fint i) {
      const fint nvi = nv(i);
      degme += nvi;
      nv(i) = -nvi;
      remove_degree(i);
    };
    fint pme1 = 0;
    fint pme2 = 0;
    const bool built_at_end = elenme != 0;
    fint newmem = 0;
    if (!built_at_end) {
      // No adjacent element: ME's list holds only variables; build in place.
      pme1 = pe(me);
      pme2 = pme1 - 1;
      const fint pend = pme1 + len(me) - 1;
      for (fint p = pme1; p <= pend; ++p) {
        const fint i = iw(p);
        if (nv(i) > 0) {
          take(i);
          iw(++pme2) = i;
        }
      }
    } else {
      // Union of the adjacent elements and ME's own variables, written at
      // the free tail; each adjacent element is absorbed into ME.
      fint p = pe(me);
      pme1 = pfree;
      const fint slenme = len(me) - elenme;
      for (fint knt1 = 1; knt1 <= elenme + 1; ++knt1) {
        fint e = 0;
        fint pj = 0;
        fint ln = 0;
        if (knt1 > elenme) {
          e = me;
          pj = p;
          ln = slenme;
        } else {
          e = iw(p++);
          pj = pe(e);
          ln = len(e);
        }
        for (fint knt2 = 1; knt2 <= ln; ++knt2) {
          const fint i = iw(pj++);
          if (nv(i) <= 0) continue;
          if (pfree > iwlen) {
            // (a) Drop what has been read of ME's list and of the current
            //     list, so the compression reclaims it.
            pe(me) = p;
            len(me) -= knt1;
            if (len(me) == 0) pe(me) = 0;
            pe(e) = pj;
            len(e) = ln - knt2;
            if (len(e) == 0) pe(e) = 0;
            ++*ncmpa;
            // (b) Tag the start of every live list with -owner, keeping
            //     the entry it replaces in PE.
            for (fint j = 1; j <= n; ++j) {
              const fint pn = pe(j);
              if (pn > 0) {
                assert(len(j) > 0);
                pe(j) = iw(pn);
                iw(pn) = -j;
              }
            }
            // (c) Slide the live lists down over the gaps.
            fint psrc = 1;
            fint pdst = 1;
            const fint pend = pme1 - 1;
            while (psrc <= pend) {
              const fint j = -iw(psrc++);
              if (j > 0) {
                iw(pdst) = pe(j);
                pe(j) = pdst++;
                const fint lenj = len(j);
                for (fint knt3 = 0; knt3 <= lenj - 2; ++knt3) iw(pdst + knt3) = iw(psrc + knt3);
                pdst += lenj - 1;
                psrc += lenj - 1;
              }
            }
            // (d) The part of the new element written so far follows them.
            const fint p1 = pdst;
            for (fint ps = pme1; ps <= pfree - 1; ++ps) iw(pdst++) = iw(ps);
            pme1 = p1;
            pfree = pdst;
            pj = pe(e);
            p = pe(me);
            // Every entry written to the new element was read from a list
            // that the compression reclaimed, so room is guaranteed now.
            assert(pfree <= iwlen);
          }
          take(i);
          iw(pfree++) = i;
        }
        if (e != me) {
          pe(e) = -me;
          w(e) = 0;
        }
      }
      pme2 = pfree - 1;
      newmem = pfree - pme1;
      mem += newmem;
      maxmem = std::max(maxmem, mem);
    }

    // 4.
    degree(me) = degme;
    pe(me) = pme1;
    len(me) = pme2 - pme1 + 1;

    // 5.
    clear_flag();

    // 6. Scan 1: W(e) - WFLG becomes |Le \ Lme|, the external degree of each
    //    element met relative to the new element.
    for (fint pme = pme1; pme <= pme2; ++pme) {
      const fint i = iw(pme);
      const fint eln = elen(i);
      if (eln <= 0) continue;
      const fint nvi = -nv(i);
      const fint wnvi = wflg - nvi;
      for (fint p = pe(i); p <= pe(i) + eln - 1; ++p) {
        const fint e = iw(p);
        fint we = w(e);
        if (we >= wflg) {
          we -= nvi;
        } else if (we != 0) {
          we = degree(e) + wnvi;
        }
        w(e) = we;
      }
    }

    // 7. Scan 2: approximate degrees, element absorption, mass elimination
    //    and the hash of each list for supervariable detection.
    for (fint pme = pme1; pme <= pme2; ++pme) {
      const fint i = iw(pme);
      const fint p1 = pe(i);
      const fint p2 = p1 + elen(i) - 1;
      fint pn = p1;
      // Both sums in 64 bits: the degree bound adds one term per element
      // and the hash one index per entry.
      std::int64_t hash = 0;
      std::int64_t d = 0;
      for (fint p = p1; p <= p2; ++p) {
        const fint e = iw(p);
        const fint dext = w(e) - wflg;
        if (dext > 0) {
          d += dext;
          iw(pn++) = e;
          hash += e;
        } else if (dext == 0) {
          // Le lies within Lme: absorb e into ME (aggressive absorption).
          pe(e) = -me;
          w(e) = 0;
        }
        // dext < 0: a dead element, dropped.
      }
      elen(i) = pn - p1 + 1;
      const fint p3 = pn;
      const fint pend = p1 + len(i) - 1;
      for (fint p = p2 + 1; p <= pend; ++p) {
        const fint j = iw(p);
        const fint nvj = nv(j);
        if (nvj > 0) {
          d += nvj;
          iw(pn++) = j;
          hash += j;
        }
      }

      if (d == 0) {
        // Nothing outside Lme: i is indistinguishable from ME and is
        // eliminated with it.
        pe(i) = -me;
        const fint nvi = -nv(i);
        degme -= nvi;
        nvpiv += nvi;
        nel += nvi;
        nv(i) = 0;
        elen(i) = 0;
      } else {
        degree(i) = static_cast<fint>(std::min<std::int64_t>(degree(i), d));
        // ME goes to the front: the first kept variable moves to the end,
        // the first kept element to the end of the element part.  There is
        // room, because at least one entry (ME as a variable, or an element
        // absorbed into ME) was dropped.
        iw(pn) = iw(p3);
        iw(p3) = iw(p1);
        iw(p1) = me;
        len(i) = pn - p1 + 1;
        const fint h = static_cast<fint>(hash % hmod) + 1;
        // A bucket's head is kept in HEAD(h) as a negative index when no
        // degree list uses HEAD(h), else in LAST of that list's head.
        const fint j = head(h);
        if (j <= 0) {
          next(i) = -j;
          head(h) = -i;
        } else {
          next(i) = last(j);
          last(j) = i;
        }
        last(i) = h;
      }
    }

    // 8.
    degree(me) = degme;
    dmax = std::max(dmax, degme);
    wflg += dmax;
    clear_flag();

    // 9. Supervariable detection: within each bucket, merge every later
    //    member whose list equals that of an earlier one (ME, the first
    //    entry of each list, is common to all).
    for (fint pme = pme1; pme <= pme2; ++pme) {
      fint i = iw(pme);
      if (nv(i) >= 0) continue;
      const fint h = last(i);
      const fint j0 = head(h);
      if (j0 == 0) continue;
      if (j0 < 0) {
        i = -j0;
        head(h) = 0;
      } else {
        i = last(j0);
        last(j0) = 0;
      }
      while (i != 0) {
        if (next(i) != 0) {
          const fint ln = len(i);
          const fint eln = elen(i);
          for (fint p = pe(i) + 1; p <= pe(i) + ln - 1; ++p) w(iw(p)) = wflg;
          fint jlast = i;
          fint j = next(i);
          while (j != 0) {
            bool same = len(j) == ln && elen(j) == eln;
            for (fint p = pe(j) + 1; same && p <= pe(j) + ln - 1; ++p) {
              if (w(iw(p)) != wflg) same = false;
            }
            if (same) {
              pe(j) = -i;
              nv(i) += nv(j);
              nv(j) = 0;
              elen(j) = 0;
              j = next(j);
              next(jlast) = j;
            } else {
              jlast = j;
              j = next(j);
            }
          }
        }
        ++wflg;
        i = next(i);
      }
    }

    // 10. Back into the degree lists, with the approximate degree bounded
    //     by the number of variables left; Lme keeps its principal members.
    fint p = pme1;
    const fint nleft = n - nel;
    for (fint pme = pme1; pme <= pme2; ++pme) {
      const fint i = iw(pme);
      const fint nvi = -nv(i);
      if (nvi <= 0) continue;
      nv(i) = nvi;
      const fint d = std::min(degree(i) + degme - nvi, nleft - nvi);
      insert_degree(i, d);
      mindeg = std::min(mindeg, d);
      degree(i) = d;
      iw(p++) = i;
    }

    // 11. The front of ME: its pivots plus its external degree.
    nv(me) = nvpiv + degme;
    len(me) = p - pme1;
    if (len(me) == 0) {
      pe(me) = 0;
      w(me) = 0;
    }
    if (built_at_end) {
      pfree = p;
      mem = mem - newmem + len(me);
    }
  }

  // Post-processing: every non-principal variable follows its absorption
  // path to the element whose step eliminated it and takes the next free
  // position of that step's block; the principal pivot comes last.
  for (fint i = 1; i <= n; ++i) {
    if (elen(i) != 0) continue;
    fint j = -pe(i);
    while (elen(j) >= 0) j = -pe(j);
    const fint e = j;
    fint k = -elen(e);
    j = i;
    while (elen(j) >= 0) {
      const fint jnext = -pe(j);
      pe(j) = -e;
      if (elen(j) == 0) elen(j) = k++;
      j = jnext;
    }
    elen(e) = -k;
  }
  for (fint i = 1; i <= n; ++i) {
    elen(i) = elen(i) < 0 ? -elen(i) : elen(i);
    last(elen(i)) = i;
  }
  *pfree_ = maxmem;
}
