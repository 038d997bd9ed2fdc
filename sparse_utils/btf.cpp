// Maximum transversal (depth-first search with look-ahead) and block
// triangular ordering (Tarjan's strongly connected components).
//
// Both kernels are called with lists that the caller has already validated,
// so indices are only checked by assertion in debug builds.  Their results
// decide the pivot sequences of the LU solvers, so every scan below keeps the
// order it has: roots and starting nodes in increasing order, and within a
// list always the first eligible entry in the list's own order.
#include "sparse_utils/btf.hpp"

#include <algorithm>
#include <cassert>
#include <limits>

namespace {

using tbl::fint;
using tbl::Vec1;

// The pattern as the kernels see it: list i is ICN(IP(i) .. IP(i)+LENR(i)-1).
struct Lists {
  fint n;
  const fint* icn;
  Vec1<const fint> ip;
  Vec1<const fint> lenr;

  Lists(fint n_, const fint* icn_, const fint* ip_, const fint* lenr_)
      : n(n_), icn(icn_), ip(ip_, n_), lenr(lenr_, n_) {}

  // Position in ICN of the last entry of list i.
  fint last(fint i) const { return ip(i) + lenr(i) - 1; }
  fint at(fint pos) const {
    assert(pos >= 1);
    const fint v = icn[pos - 1];
    assert(v >= 1 && v <= n);
    return v;
  }
};

}  // namespace

extern "C" void BTF_TRANSVERSAL_KERNEL(const fint* n_, const fint* icn, const fint* /*licn*/, const fint* ip,
                                       const fint* lenr, fint* iperm_, fint* numnz, fint* pr_, fint* arp_,
                                       fint* cv_, fint* out_) {
  const fint n = *n_;
  *numnz = 0;
  if (n < 1) return;

  const Lists g(n, icn, ip, lenr);
  Vec1<fint> iperm(iperm_, n), pr(pr_, n), arp(arp_, n), cv(cv_, n), out(out_, n);

  // ARP(j) and OUT(j) count the entries of row j still to be examined, less
  // one; the next position to look at is therefore last(j) - count.
  for (fint i = 1; i <= n; ++i) {
    arp(i) = g.lenr(i) - 1;
    cv(i) = 0;
    iperm(i) = 0;
  }
  fint matched = 0;
  // A pass that finds no augmenting path has searched everything its root
  // reaches, and none of those rows can ever reach a free column: a later
  // augmenting path that entered them could not leave them.  Their columns
  // then get a mark above every pass number, so that every later search
  // passes over them as visited instead of searching them again.
  constexpr fint kDead = std::numeric_limits<fint>::max();

  for (fint jord = 1; jord <= n; ++jord) {
    fint j = jord;
    pr(j) = -1;
    fint col = 0;  // column of the new match, once found
    fint pos = 0;  // its position in row j

    // Each turn of this loop arrives at a new row j of the path.  Since the
    // look-ahead pointers never move back, a column passed over by it was
    // matched then and stays matched, so the depth-first step can always
    // follow a column to the row holding it.
    for (;;) {
      if (arp(j) >= 0) {
        const fint e = g.last(j);
        for (fint ii = e - arp(j); ii <= e; ++ii) {
          if (iperm(g.at(ii)) == 0) {
            col = g.at(ii);
            pos = ii;
            break;
          }
        }
        if (col != 0) break;
        arp(j) = -1;
      }
      out(j) = g.lenr(j) - 1;

      // Extend the path by one column not yet visited in this pass, or
      // backtrack until some earlier row still has one.
      bool extended = false;
      while (!extended) {
        if (out(j) >= 0) {
          const fint e = g.last(j);
          for (fint ii = e - out(j); ii <= e; ++ii) {
            const fint i = g.at(ii);
            if (cv(i) >= jord) continue;  // visited in this pass, or dead
            const fint from = j;
            j = iperm(i);
            assert(j >= 1 && j <= n);
            cv(i) = jord;
            pr(j) = from;
            out(from) = e - ii - 1;
            extended = true;
            break;
          }
        }
        if (!extended) {
          j = pr(j);
          if (j == -1) break;
        }
      }
      if (!extended) break;  // row jord has no augmenting path
    }
    if (col == 0) {
      // Walk again through the columns marked in this pass (the only ones
      // it searched), turning each mark into the dead one.  Only a pass
      // that fails pays for this, once.
      j = jord;
      pr(j) = -1;
      out(j) = g.lenr(j) - 1;
      while (j != -1) {
        bool down = false;
        const fint e = g.last(j);
        for (fint ii = e - out(j); ii <= e; ++ii) {
          const fint i = g.at(ii);
          if (cv(i) != jord) continue;
          cv(i) = kDead;
          out(j) = e - ii - 1;
          const fint from = j;
          j = iperm(i);
          pr(j) = from;
          out(j) = g.lenr(j) - 1;
          down = true;
          break;
        }
        if (!down) j = pr(j);
      }
      continue;
    }

    // Augment: the last row of the path takes the free column, and every
    // earlier row takes the column through which the path left it.
    iperm(col) = j;
    arp(j) = g.last(j) - pos - 1;
    ++matched;
    for (j = pr(j); j != -1; j = pr(j)) {
      const fint left = g.ip(j) + g.lenr(j) - out(j) - 2;
      iperm(g.at(left)) = j;
    }
  }
  *numnz = matched;
  if (matched == n) return;

  // Structurally singular: complete IPERM to a permutation by giving the
  // k-th unmatched row the k-th unmatched column, both in increasing order.
  for (fint i = 1; i <= n; ++i) arp(i) = 0;
  fint k = 0;
  for (fint i = 1; i <= n; ++i) {
    if (iperm(i) == 0) {
      out(++k) = i;
    } else {
      arp(iperm(i)) = i;
    }
  }
  k = 0;
  for (fint i = 1; i <= n; ++i) {
    if (arp(i) == 0) iperm(out(++k)) = i;
  }
}

extern "C" void BTF_TRANSVERSAL(const fint* n, const fint* icn, const fint* licn, const fint* ip, const fint* lenr,
                                fint* iperm, fint* numnz, fint* iw) {
  const std::ptrdiff_t len = std::max<fint>(*n, 0);
  BTF_TRANSVERSAL_KERNEL(n, icn, licn, ip, lenr, iperm, numnz, iw, iw + len, iw + 2 * len, iw + 3 * len);
}

extern "C" void BTF_SCC_KERNEL(const fint* n_, const fint* icn, const fint* /*licn*/, const fint* ip,
                               const fint* lenr, fint* arp_, fint* ib_, fint* num, fint* lowl_, fint* numb_,
                               fint* prev_) {
  const fint n = *n_;
  *num = 0;
  if (n < 1) return;

  const Lists g(n, icn, ip, lenr);
  Vec1<fint> arp(arp_, n), ib(ib_, n), lowl(lowl_, n), numb(numb_, n), prev(prev_, n);

  // NUMB(v): 0 unvisited, the stack position while on the stack, the final
  // position once placed.  The stack lives at the back of IB (the s-th node
  // is IB(N+1-s)) while block starts fill IB from the front; blocks found
  // plus nodes stacked never exceed N, so the two never meet.
  for (fint j = 1; j <= n; ++j) {
    numb(j) = 0;
    arp(j) = g.lenr(j) - 1;
  }
  fint placed = 0;
  fint blocks = 0;

  for (fint isn = 1; isn <= n && placed < n; ++isn) {
    if (numb(isn) != 0) continue;
    fint iv = isn;
    fint ist = 1;
    lowl(iv) = 1;
    numb(iv) = 1;
    ib(n) = iv;

    for (;;) {
      // Resume the scan of row iv; descend into the first unvisited node.
      bool descended = false;
      if (arp(iv) >= 0) {
        const fint e = g.last(iv);
        for (fint ii = e - arp(iv); ii <= e; ++ii) {
          const fint w = g.at(ii);
          if (numb(w) == 0) {
            arp(iv) = e - ii - 1;
            prev(w) = iv;
            iv = w;
            ++ist;
            lowl(iv) = numb(iv) = ist;
            ib(n + 1 - ist) = iv;
            descended = true;
            break;
          }
          // Placed nodes carry LOWL = N+1 and so never lower it.
          lowl(iv) = std::min(lowl(iv), lowl(w));
        }
        if (descended) continue;
        arp(iv) = -1;
      }

      if (lowl(iv) >= numb(iv)) {
        // iv roots a block: pop the stack down to and including iv.
        ++blocks;
        const fint first = placed + 1;
        fint s = n + 1 - ist;
        for (;; ++s) {
          const fint w = ib(s);
          lowl(w) = n + 1;
          numb(w) = ++placed;
          if (w == iv) break;
        }
        ist = n - s;
        ib(blocks) = first;
        if (ist == 0) break;
      }
      const fint w = iv;
      iv = prev(w);
      lowl(iv) = std::min(lowl(iv), lowl(w));
    }
  }
  *num = blocks;

  // ARP is free now; it becomes the permutation.
  for (fint i = 1; i <= n; ++i) arp(numb(i)) = i;
}

extern "C" void BTF_SCC_ORDER(const fint* n, const fint* icn, const fint* licn, const fint* ip, const fint* lenr,
                              fint* ior, fint* ib, fint* num, fint* iw) {
  const std::ptrdiff_t len = std::max<fint>(*n, 0);
  BTF_SCC_KERNEL(n, icn, licn, ip, lenr, ior, ib, num, iw, iw + len, iw + 2 * len);
}
