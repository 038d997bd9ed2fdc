// MA57 analyse phase: pattern checks, ordering, assembly tree, permuted
// structure, map and forecasts, all left in the caller's KEEP.
#include <algorithm>
#include <cstdint>

#include "interface/fmt.hpp"
#include "sparse_utils/amd.hpp"
#include "sym_ldlt/ma57.hpp"
#include "sym_ldlt/ma57_analyse.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
using tbl::io::Ints;
using i64 = std::int64_t;

constexpr const char* kErrorHead = "**** Error return from MA57AD ****  INFO(1) =";
constexpr const char* kWarningHead = "*** Warning message from subroutine MA57AD ***";

// Monitors cut every array to this many entries below print level 4.
constexpr fint kDumpCut = 10;

bool out_of_range(fint i, fint j, fint n) { return std::min(i, j) < 1 || std::max(i, j) > n; }

// Warning level of the call: a negative warning unit silences warnings as if
// the print level were 0.
fint warning_level(Vec1<const fint> icntl) { return icntl(2) < 0 ? 0 : icntl(5); }

// Records entry k (i, j) as out of range: counted in INFO(3), INFO(1) = 1
// from the first one on, and the first ten reported one by one.
void note_out_of_range(fint k, fint i, fint j, Vec1<const fint> icntl, Vec1<fint> info) {
  const fint wp = icntl(2);
  const bool print = warning_level(icntl) >= 2 && wp >= 0;
  info(3) += 1;
  if (info(3) == 1) {
    info(1) = 1;
    if (print) tbl::io::write(wp, "(2A,I2)", kWarningHead, " INFO(1) =", info(1));
  }
  if (print && info(3) <= 10) {
    tbl::io::write(wp, "(3(I10,A))", k, "th entry (in row", i, " and column", j, ") ignored");
  }
}

// The duplicate warning, once the repeats of the pattern are counted.
void note_duplicates(Vec1<const fint> icntl, Vec1<fint> info) {
  if (info(4) <= 0) return;
  info(1) += 2;
  const fint wp = icntl(2);
  if (warning_level(icntl) >= 2 && wp >= 0) {
    tbl::io::write(wp, "(A,/,I10,A)", kWarningHead, info(4), " off-diagonal duplicate entries found");
  }
}

// Computed order: the full adjacency structure of the pattern (both
// triangles, no diagonal, every neighbour once), packed from IW(1) on with
// PE(i) the start and LEN(i) the length of i's list; neighbours keep the
// order of the entries.  Returns the first free position.
fint build_full_pattern(fint n, fint ne, Vec1<const fint> irn, Vec1<const fint> jcn, Vec1<fint> iw,
                        Vec1<fint> pe, Vec1<fint> len, Vec1<fint> fill, Vec1<fint> mark,
                        Vec1<const fint> icntl, Vec1<fint> info) {
  for (fint i = 1; i <= n; ++i) len(i) = 0;
  for (fint k = 1; k <= ne; ++k) {
    const fint i = irn(k), j = jcn(k);
    if (out_of_range(i, j, n)) {
      note_out_of_range(k, i, j, icntl, info);
      continue;
    }
    if (i != j) {
      len(i) += 1;
      len(j) += 1;
    }
  }
  fint pos = 1;
  for (fint i = 1; i <= n; ++i) {
    pe(i) = pos;
    fill(i) = pos;
    pos += len(i);
  }
  for (fint k = 1; k <= ne; ++k) {
    const fint i = irn(k), j = jcn(k);
    if (i == j || out_of_range(i, j, n)) continue;
    iw(fill(i)++) = j;
    iw(fill(j)++) = i;
  }

  // Remove repeats in place; each duplicated position shows up in both of
  // its lists, so count it only in the list of its smaller index.
  for (fint i = 1; i <= n; ++i) mark(i) = 0;
  fint free = 1;
  fint ndup = 0;
  for (fint i = 1; i <= n; ++i) {
    const fint first = pe(i);
    const fint last = first + len(i) - 1;
    pe(i) = free;
    for (fint t = first; t <= last; ++t) {
      const fint j = iw(t);
      if (mark(j) == i) {
        if (j > i) ++ndup;
      } else {
        mark(j) = i;
        iw(free++) = j;
      }
    }
    len(i) = free - pe(i);
  }
  info(4) = ndup;
  return free;
}

// Prints the first `count` entries of an array with a title, then the
// continuation line when entries were left out.
void dump_ints(fint mp, const char* title, const fint* values, fint total, fint ldiag,
               const char* continuation) {
  const fint shown = ldiag >= 4 ? total : std::min(total, kDumpCut);
  tbl::io::write(mp, "(/,A,/,(5I12))", title, Ints{values, shown});
  if (shown < total) tbl::io::write(mp, "(16X,A)", continuation);
}

void entering_monitor(fint n, fint ne, const fint* irn, const fint* jcn, const fint* keep,
                      Vec1<const fint> icntl) {
  const fint mp = icntl(3);
  const fint ldiag = icntl(5);
  tbl::io::write(mp,
                 "(/,/,'Entering analysis phase (MA57AD) with ...',/,"
                 "'N         Order of matrix                     =',I12,/,"
                 "'NE        Number of entries                   =',I12,/,"
                 "'ICNTL(1)  Stream for errors                   =',I12,/,"
                 "' --- (2)  Stream for warnings                 =',I12,/,"
                 "' --- (3)  Stream for monitoring               =',I12,/,"
                 "' --- (4)  Stream for statistics               =',I12,/,"
                 "' --- (5)  Level of diagnostic printing        =',I12,/,"
                 "' --- (6)  Flag for input pivot order          =',I12,/,"
                 "' --- (12) Node amalgamation parameter         =',I12)",
                 n, ne, icntl(1), icntl(2), icntl(3), icntl(4), icntl(5), icntl(6), icntl(12));

  const fint shown = ldiag >= 4 ? ne : std::min(ne, kDumpCut);
  tbl::io::FmtList entries;
  entries.add(" Matrix entries:");
  for (fint k = 0; k < shown; ++k) entries.add(k + 1).add(": (").add(irn[k]).add(jcn[k]).add(")");
  tbl::io::write_list(mp, "(/,A,/,(3(I6,A,2I8,A)))", entries);
  if (shown < ne) tbl::io::write(mp, "(A)", "     . . .");

  if (icntl(6) == 1) {
    const fint shown_keep = ldiag >= 4 ? n : std::min(n, kDumpCut);
    tbl::io::write(mp, "(A,10I6,:,/,(7X,10I6))", " KEEP =", Ints{keep, shown_keep});
    if (shown_keep < n) tbl::io::write(mp, "(7X,A)", "     . . .");
  }
}

void leaving_monitor(fint n, fint ne, const tbl::ma57::KeepLayout& at, Vec1<const fint> keep,
                     Vec1<const fint> icntl, Vec1<const fint> info, Vec1<const double> rinfo) {
  const fint mp = icntl(3);
  const fint ldiag = icntl(5);
  const fint nz = keep(at.nz());
  tbl::io::write(mp,
                 "(/,'Leaving analysis phase (MA57AD) with ...',/,"
                 "'INFO(1)  Error indicator                      =',I12,/,"
                 "'Number of entries in matrix with diagonal     =',I12,/,"
                 "'INFO(3)  Number of out-of-range indices       =',I12,/,"
                 "'INFO(4)  Number of off-diagonal duplicates    =',I12,/,"
                 "'INFO(5)  Forecast real storage for factors    =',I12,/,"
                 "'----(6)  Forecast integer storage for factors =',I12,/,"
                 "'----(7)  Forecast maximum front size          =',I12,/,"
                 "'----(8)  Number of nodes in assembly tree     =',I12,/,"
                 "'----(9)  Size of FACT without compress        =',I12,/,"
                 "'----(10) Size of IFACT without compress       =',I12,/,"
                 "'----(11) Size of FACT with compress           =',I12,/,"
                 "'----(12) Size of IFACT with compress          =',I12,/,"
                 "'----(13) Number of compresses                 =',I12,/,"
                 "'RINFO(1) Forecast additions for assembly      =',1P,D12.5,/,"
                 "'RINFO(2) Forecast ops for elimination         =',1P,D12.5)",
                 info(1), nz, Ints{info.at(3), 11}, rinfo(1), rinfo(2));

  dump_ints(mp, "Permutation array:", keep.at(at.order()), n, ldiag, " . . .");
  dump_ints(mp, "Number of entries in rows of permuted matrix:", keep.at(at.row_counts()), n, ldiag,
            " . . .");
  dump_ints(mp, "Column indices of permuted matrix:", keep.at(at.columns()), nz, ldiag,
            "     . . .");
  dump_ints(mp, "Tree nodes at which variables eliminated:", keep.at(at.node_of_var()), n, ldiag,
            " . . .");
  dump_ints(mp, "Map array:", keep.at(at.map()), ne, ldiag, " . . .");
}

}  // namespace

extern "C" {

void MA57_CHECK_ENTRIES(const fint* N, const fint* NE, fint* IRN, fint* JCN, const fint* ORDER,
                        fint* IW, fint* PE, fint* IWFREE, fint* LEN, fint* FILL, fint* MARK,
                        const fint* ICNTL, fint* INFO) {
  const fint n = *N, ne = *NE;
  Vec1<fint> irn(IRN, ne), jcn(JCN, ne), iw(IW), pe(PE, n), len(LEN, n), fill(FILL, n),
      mark(MARK, n), info(INFO, tbl::ma57::kLenINFO);
  Vec1<const fint> order(ORDER, n), icntl(ICNTL, tbl::ma57::kLenICNTL);

  // An entry belongs to the list of whichever of its two variables is
  // eliminated first; a diagonal entry to its own variable's list.
  for (fint i = 1; i <= n; ++i) len(i) = 0;
  for (fint k = 1; k <= ne; ++k) {
    const fint i = irn(k), j = jcn(k);
    if (out_of_range(i, j, n)) {
      note_out_of_range(k, i, j, icntl, info);
      // The factorisation must never see these indices again.
      irn(k) = 0;
      jcn(k) = 0;
      continue;
    }
    len(order(i) <= order(j) ? i : j) += 1;
  }
  // Each list is its length followed by its entries, the form that the list
  // compaction reads.
  fint pos = 1;
  for (fint i = 1; i <= n; ++i) {
    pe(i) = pos;
    fill(i) = pos + 1;
    pos += len(i) + 1;
  }
  for (fint k = 1; k <= ne; ++k) {
    const fint i = irn(k), j = jcn(k);
    if (out_of_range(i, j, n)) continue;
    if (order(i) <= order(j)) {
      iw(fill(i)++) = j;
    } else {
      iw(fill(j)++) = i;
    }
  }

  for (fint i = 1; i <= n; ++i) mark(i) = 0;
  fint free = 1;
  fint ndup = 0;
  for (fint i = 1; i <= n; ++i) {
    const fint first = pe(i) + 1;
    const fint last = pe(i) + len(i);
    const fint head = free;
    fint w = head + 1;
    for (fint t = first; t <= last; ++t) {
      const fint j = iw(t);
      if (mark(j) == i) {
        if (j != i) ++ndup;
      } else {
        mark(j) = i;
        iw(w++) = j;
      }
    }
    // The head is written after the list is read: it may overlay the old
    // head of this very list, never an entry still to be read.
    iw(head) = w - head - 1;
    pe(i) = head;
    free = w;
  }
  info(4) = ndup;
  *IWFREE = free;
}

void MA57_ORDER_PATTERN(const fint* N, const fint* ORDER, const fint* INVP, fint* IW,
                        const fint* IWLEN, fint* PE, const fint* IWFREE, fint* NV, fint* HEAD,
                        fint* NEXT, fint* MARK, fint* NCOMPRESS) {
  const fint n = *N, iwlen = *IWLEN;
  Vec1<const fint> order(ORDER, n), invp(INVP, n);
  Vec1<fint> iw(IW, iwlen), pe(PE, n), nv(NV, n), head(HEAD, n), next(NEXT, n), mark(MARK, n);

  // HEAD(v) chains the elements whose earliest remaining variable is v.
  for (fint v = 1; v <= n; ++v) {
    head(v) = 0;
    mark(v) = 0;
  }
  fint free = *IWFREE;

  // Live lists (variables not yet eliminated, elements not yet absorbed) and
  // the element being built always fit together: the live lists never hold
  // more than N heads plus the stored entries, the new element at most N
  // words, and the store is at least that long (see the LKEEP bound).
  for (fint k = 1; k <= n; ++k) {
    const fint p = invp(k);
    mark(p) = p;
    fint start = free;  // head word of the new element
    fint w = start + 1;
    fint count = 0;
    fint father = 0;
    fint father_pos = n + 1;

    auto take = [&](fint v) {
      if (mark(v) == p) return;
      mark(v) = p;
      if (w > iwlen) {
        // The store is full: compact the lists lying below the new element,
        // then move what is built of it to the new free end.
        fint newfree = 0;
        const fint used = start - 1;
        MA57_COMPRESS_LISTS(N, PE, IW, &used, &newfree, NCOMPRESS);
        for (fint t = 1; t <= count; ++t) iw(newfree + t) = iw(start + t);
        start = newfree;
        w = start + 1 + count;
      }
      iw(w++) = v;
      ++count;
      if (order(v) < father_pos) {
        father_pos = order(v);
        father = v;
      }
    };

    // p's own list.  PE(p) is read afresh for every entry because a
    // compaction may move the list while it is being read.
    const fint own_len = iw(pe(p));
    for (fint t = 1; t <= own_len; ++t) take(iw(pe(p) + t));
    pe(p) = 0;  // consumed: its room is free at the next compaction

    // Absorb the elements chained to p.
    for (fint e = head(p); e != 0; e = next(e)) {
      const fint elen = iw(pe(e));
      for (fint t = 1; t <= elen; ++t) take(iw(pe(e) + t));
      nv(e) = 1 + elen;
      pe(e) = -p;
    }

    if (count > 0) {
      iw(start) = count;
      pe(p) = start;
      free = w;
      next(p) = head(father);
      head(father) = p;
    } else {
      pe(p) = 0;
      nv(p) = 1;
    }
  }
}

void MA57_TREE_BUILD(const fint* N, const fint* PE, const fint* NV, fint* IPS, fint* NSTEPS,
                     fint* NODE, fint* NSONS, fint* WORK, fint* IW, const fint* NEMIN) {
  const fint n = *N, nemin = *NEMIN;
  Vec1<const fint> pe(PE, n), nv(NV, n);
  Vec1<fint> ips(IPS, n), node(NODE, n), nsons(NSONS, n);
  Vec1<fint> merged(WORK, n);                // variables eliminated with each principal
  Vec1<fint> first_son(IW, n);               // sibling chains
  Vec1<fint> sibling(IW + n, n);
  Vec1<fint> nfront(IW + 2 * static_cast<i64>(n), n);  // results by node
  Vec1<fint> nelim(IW + 3 * static_cast<i64>(n), n);
  // Until a principal is placed, its NODE entry counts its sons.
  Vec1<fint> son_count(NODE, n);

  for (fint v = 1; v <= n; ++v) {
    first_son(v) = 0;
    merged(v) = 0;
    son_count(v) = 0;
  }
  // Scanning upwards and pushing in front leaves every chain, and the roots,
  // in decreasing variable order.
  fint roots = 0;
  for (fint v = 1; v <= n; ++v) {
    if (nv(v) > 0) {
      const fint f = -pe(v);
      if (f == 0) {
        sibling(v) = roots;
        roots = v;
      } else {
        sibling(v) = first_son(f);
        first_son(f) = v;
        son_count(f) += 1;
      }
    } else {
      merged(-pe(v)) += 1;
    }
  }

  // One exchange pass over every sibling chain moves the son with the
  // largest front to the end, so that it is assembled last and its block,
  // the largest, is the one on top of the stack.
  for (fint v = 1; v <= n; ++v) {
    if (nv(v) <= 0 || first_son(v) == 0) continue;
    fint prev = 0;
    fint cur = first_son(v);
    while (sibling(cur) != 0) {
      const fint nxt = sibling(cur);
      if (nv(nxt) < nv(cur)) {
        sibling(cur) = sibling(nxt);
        sibling(nxt) = cur;
        if (prev == 0) {
          first_son(v) = nxt;
        } else {
          sibling(prev) = nxt;
        }
        prev = nxt;
      } else {
        prev = cur;
        cur = nxt;
      }
    }
  }

  // Depth-first walk without a stack: sons are taken off their father's
  // chain as they are entered, and the father is found again through PE.
  fint nodes = 0;
  fint pos = 0;
  fint last = 0;  // the node closed most recently
  for (fint r = roots; r != 0; r = sibling(r)) {
    fint p = r;
    for (;;) {
      if (first_son(p) != 0) {
        const fint c = first_son(p);
        first_son(p) = sibling(c);
        p = c;
        continue;
      }
      const fint e = 1 + merged(p);
      const fint f = nv(p);
      const fint s = son_count(p);
      bool merge = false;
      if (s >= 1) {
        // A lone son whose contribution block is exactly this front costs
        // nothing to merge; otherwise merge only small nodes.
        merge = (s == 1 && nfront(last) - nelim(last) == f) || (e < nemin && nelim(last) < nemin);
      }
      fint num;
      if (merge) {
        const fint e_old = nelim(last);
        nelim(last) = e_old + e;
        nfront(last) = f + e_old;
        nsons(last) += s - 1;
        num = last;
      } else {
        num = ++nodes;
        nelim(num) = e;
        nfront(num) = f;
        nsons(num) = s;
      }
      ips(p) = ++pos;
      pos += merged(p);  // room for the variables eliminated with p
      node(p) = num;
      last = num;
      if (p == r) break;
      p = -pe(p);
    }
  }

  // Variables eliminated together with a principal follow it in increasing
  // variable number (first_son is all zero again and serves as the counter).
  for (fint v = 1; v <= n; ++v) {
    if (nv(v) > 0) continue;
    const fint p = -pe(v);
    first_son(p) += 1;
    ips(v) = ips(p) + first_son(p);
    node(v) = node(p);
  }
  *NSTEPS = nodes;
}

void MA57_COUNT_ENTRIES(const fint* N, const fint* NE, const fint* IRN, const fint* JCN,
                        const fint* IPS, fint* LROW, fint* MAP, fint* COLS, fint* NZ, fint* IW) {
  const fint n = *N, ne = *NE;
  Vec1<const fint> irn(IRN, ne), jcn(JCN, ne), ips(IPS, n);
  Vec1<fint> lrow(LROW, n), map(MAP, ne), cols(COLS);
  Vec1<fint> diag(IW, n);     // by variable: diagonal entries, then next diagonal slot
  Vec1<fint> row_end(IW + n, n);  // by position: next off-diagonal slot, filled backwards

  for (fint i = 1; i <= n; ++i) {
    lrow(i) = 0;
    diag(i) = 0;
  }
  for (fint k = 1; k <= ne; ++k) {
    const fint i = irn(k), j = jcn(k);
    if (out_of_range(i, j, n)) continue;
    if (i == j) {
      diag(i) += 1;
    } else {
      lrow(std::min(ips(i), ips(j))) += 1;
    }
  }
  // Every row has at least one diagonal slot, so that the factorisation finds
  // a place for its pivot even when the pattern has none.
  for (fint v = 1; v <= n; ++v) lrow(ips(v)) += std::max<fint>(1, diag(v));
  fint slot = 0;
  for (fint p = 1; p <= n; ++p) {
    slot += lrow(p);
    row_end(p) = slot;
  }
  *NZ = slot;

  for (fint v = 1; v <= n; ++v) {
    const fint p = ips(v);
    const fint start = row_end(p) - lrow(p) + 1;
    const fint ndiag = std::max<fint>(1, diag(v));
    for (fint t = 0; t < ndiag; ++t) cols(start + t) = v;
    diag(v) = start;
  }
  for (fint k = 1; k <= ne; ++k) {
    const fint i = irn(k), j = jcn(k);
    if (out_of_range(i, j, n)) {
      map(k) = 0;
    } else if (i == j) {
      map(k) = diag(i)++;
    } else {
      const bool i_first = ips(i) < ips(j);
      const fint p = i_first ? ips(i) : ips(j);
      const fint s = row_end(p)--;
      cols(s) = i_first ? j : i;
      map(k) = s;
    }
  }
}

void MA57_FORECAST(const fint* N, const fint* NSTEPS, const fint* NZ, const fint* LROW,
                   const fint* NSONS, const fint* NFRONT, const fint* NELIM, fint* STACK,
                   fint* INFO, double* RINFO) {
  const fint n = *N, nsteps = *NSTEPS;
  const i64 nz = *NZ;
  Vec1<const fint> lrow(LROW, n), nsons(NSONS, nsteps), nfront(NFRONT, nsteps),
      nelim(NELIM, nsteps);
  Vec1<fint> stack(STACK, n), info(INFO, tbl::ma57::kLenINFO);
  Vec1<double> rinfo(RINFO, tbl::ma57::kLenRINFO);

  // Counts are formed in 64 bits and saturated when stored: a forecast that
  // does not fit must read as "too large", never wrap to a small value.
  i64 stack_reals = 0, stack_ints = 0;  // R and T
  i64 unassembled = nz;                 // A
  i64 eliminated = 0;                   // E
  i64 factor_reals = 0;                 // L
  i64 factor_ints = 3;                  // Q
  i64 max_front = 0;
  i64 fact_nocomp = nz + 1, fact_comp = nz + 1;
  i64 ifact_nocomp = n + nz + 5, ifact_comp = n + nz + 5;
  double additions = 0.0, operations = 0.0;
  fint top = 0;

  for (fint nd = 1; nd <= nsteps; ++nd) {
    const i64 e = nelim(nd), f = nfront(nd);
    max_front = std::max(max_front, f);
    const i64 pivot_block = e * (e + 1) / 2;
    fact_nocomp = std::max(fact_nocomp, nz + stack_reals + f * f + pivot_block + factor_reals);
    fact_comp = std::max(fact_comp, unassembled + stack_reals + f * f + pivot_block + factor_reals);

    i64 rows = 0;
    for (i64 p = eliminated + 1; p <= eliminated + e; ++p) rows += lrow(p);
    unassembled -= rows;
    eliminated += e;

    i64 popped = 0;
    for (fint s = 1; s <= nsons(nd) && top > 0; ++s) {
      const i64 ints = stack(top--);
      const i64 reals = (ints - 1) * ints / 2;
      stack_reals -= reals;
      stack_ints -= ints;
      popped += reals;
    }
    additions += static_cast<double>(rows) + static_cast<double>(popped);

    factor_reals += pivot_block + e * (f - e);
    factor_ints += f + 2;
    if (f > e) {
      // A block of order c = f - e: c(c+1)/2 reals and c + 1 integers; the
      // stack keeps the integer count, from which the reals follow.
      const i64 c = f - e;
      stack(++top) = static_cast<fint>(c + 1);
      stack_reals += c * (c + 1) / 2;
      stack_ints += c + 1;
    }

    if (nd == nsteps) {
      ifact_nocomp = std::max(ifact_nocomp, nz + factor_ints + stack_ints);
      ifact_comp = std::max(ifact_comp, unassembled + factor_ints + stack_ints);
    } else {
      ifact_nocomp = std::max(ifact_nocomp, n + nz - eliminated + factor_ints + stack_ints + 2);
      ifact_comp = std::max(ifact_comp, n + unassembled - eliminated + factor_ints + stack_ints + 2);
    }

    const double de = static_cast<double>(e), df = static_cast<double>(f);
    operations += de + de * ((6.0 * df + 12.0) * df - (1.0 + de) * (6.0 * df + 5.0 - 2.0 * de)) / 6.0;
  }

  info(5) = tbl::saturate(factor_reals);
  info(6) = tbl::saturate(factor_ints);
  info(7) = tbl::saturate(max_front);
  info(8) = nsteps;
  info(9) = tbl::saturate(fact_nocomp);
  info(10) = tbl::saturate(ifact_nocomp);
  info(11) = tbl::saturate(fact_comp);
  info(12) = tbl::saturate(ifact_comp);
  rinfo(1) = additions;
  rinfo(2) = operations;
}

void MA57AD(const fint* N, const fint* NE, fint* IRN, fint* JCN, const fint* LKEEP, fint* KEEP,
            fint* IWORK, const fint* ICNTL, fint* INFO, double* RINFO) {
  Vec1<fint> info(INFO, tbl::ma57::kLenINFO);
  Vec1<double> rinfo(RINFO, tbl::ma57::kLenRINFO);
  Vec1<const fint> icntl(ICNTL, tbl::ma57::kLenICNTL);
  for (int i = 1; i <= tbl::ma57::kLenINFO; ++i) info(i) = 0;
  for (int i = 1; i <= tbl::ma57::kLenRINFO; ++i) rinfo(i) = 0.0;

  const fint lp = icntl(1);
  const fint mp = icntl(3);
  const fint ldiag = icntl(5);
  const fint n = *N, ne = *NE, lkeep = *LKEEP;
  const bool print_errors = ldiag >= 1 && lp >= 0;

  if (n < 1) {
    info(1) = -1;
    info(2) = n;
    if (print_errors) tbl::io::write(lp, "(A,I3,/,A,I10)", kErrorHead, info(1), "N has value ", n);
    return;
  }
  if (ne < 0) {
    info(1) = -2;
    info(2) = ne;
    if (print_errors) tbl::io::write(lp, "(A,I3,/,A,I10)", kErrorHead, info(1), "NE has value", ne);
    return;
  }
  const i64 need = tbl::ma57::min_lkeep(n, ne);
  if (lkeep < need) {
    info(1) = -15;
    info(2) = lkeep;
    if (print_errors) {
      tbl::io::write(lp, "(A,I3,/,A,I10,/,A,I10)", kErrorHead, info(1), "LKEEP has value    ", lkeep,
                     "Should be at least ", need);
    }
    return;
  }

  // From here on every section of KEEP and IWORK lies within their lengths,
  // and all positions fit 32 bits because LKEEP does.
  const tbl::ma57::KeepLayout at(n, ne);
  Vec1<fint> keep(KEEP, lkeep);
  Vec1<fint> iwork(IWORK, 5 * static_cast<i64>(n));
  const bool caller_order = icntl(6) == 1;

  if (caller_order) {
    // KEEP(1..N) must be a permutation; IWORK(1..N) becomes its inverse,
    // which the symbolic elimination below walks.
    for (fint i = 1; i <= n; ++i) iwork(i) = 0;
    for (fint i = 1; i <= n; ++i) {
      const fint j = keep(i);
      if (j < 1 || j > n || iwork(j) != 0) {
        info(1) = -9;
        info(2) = i;
        if (print_errors) {
          tbl::io::write(lp, "(A,I3,/,A,/,A,I10,A)", kErrorHead, info(1),
                         "Invalid permutation supplied in KEEP", "Component", i, " is faulty");
        }
        return;
      }
      iwork(j) = i;
    }
  }

  if (ldiag >= 3 && mp >= 0) entering_monitor(n, ne, IRN, JCN, KEEP, icntl);

  keep(at.hold()) = 0;

  // Work layout while ordering: PE, ELEN and LEN in the sections that later
  // hold the row counts, the node numbers and the son counts; the lists in
  // the rest of KEEP; NV in the last block of IWORK.
  fint* pe = keep.at(at.row_counts());
  fint* elen = keep.at(at.node_of_var());
  fint* len = keep.at(at.sons_per_node());
  fint* iw = keep.at(at.map());
  const fint iwlen = static_cast<fint>(lkeep - 4 * static_cast<i64>(n) - 42);
  fint* nv = iwork.at(4 * static_cast<i64>(n) + 1);
  fint* iw1 = iwork.at(1);
  fint* iw2 = iwork.at(static_cast<i64>(n) + 1);
  fint* iw3 = iwork.at(2 * static_cast<i64>(n) + 1);
  fint* iw4 = iwork.at(3 * static_cast<i64>(n) + 1);
  Vec1<const fint> irn(IRN, ne), jcn(JCN, ne);

  if (caller_order) {
    fint free = 0;
    MA57_CHECK_ENTRIES(N, NE, IRN, JCN, KEEP, iw, pe, &free, len, iw2, iw4, ICNTL, INFO);
    note_duplicates(icntl, info);
    MA57_ORDER_PATTERN(N, KEEP, iw1, iw, &iwlen, pe, &free, nv, iw2, iw3, iw4, &info(13));
  } else {
    fint pfree = build_full_pattern(n, ne, irn, jcn, Vec1<fint>(iw, iwlen), Vec1<fint>(pe, n),
                                    Vec1<fint>(len, n), Vec1<fint>(iw1, n), Vec1<fint>(iw4, n),
                                    icntl, info);
    note_duplicates(icntl, info);
    fint ncmpa = 0;
    MC47_AMD_KERNEL(N, &iwlen, pe, &pfree, len, iw, nv, elen, KEEP, &ncmpa, iw1, iw2, iw3, iw4);
    info(13) = ncmpa;
  }

  const fint nemin = icntl(12);
  MA57_TREE_BUILD(N, pe, nv, KEEP, keep.at(at.nsteps()), keep.at(at.node_of_var()),
                  keep.at(at.sons_per_node()), keep.at(at.columns()), IWORK, &nemin);

  MA57_COUNT_ENTRIES(N, NE, IRN, JCN, KEEP, keep.at(at.row_counts()), keep.at(at.map()),
                     keep.at(at.columns()), keep.at(at.nz()), IWORK);

  MA57_FORECAST(N, keep.at(at.nsteps()), keep.at(at.nz()), keep.at(at.row_counts()),
                keep.at(at.sons_per_node()), iw3, iw4, iw1, INFO, RINFO);

  if (ldiag >= 3 && mp >= 0) {
    leaving_monitor(n, ne, at, Vec1<const fint>(KEEP, lkeep), icntl, Vec1<const fint>(INFO, 40),
                    Vec1<const double>(RINFO, 20));
  }
}

}  // extern "C"
