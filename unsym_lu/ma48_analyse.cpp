// MA48ID (defaults) and MA48AD (analyse).
//
// The analysis works entirely in the host's arrays.  Its use of them, in
// order of the steps:
//   IW(1:N)              changed-column flags (ICNTL(8)), read by the
//                        reordering of flagged columns
//   IW(N+1:2N+1)         starts of the column lists, whose entry numbers
//                        stand in JCN(NE+1:2NE), each column's from its
//                        last entry to its first
//   IW(2N+2:8N+1)        block triangular form (square matrices only):
//                        column starts and lengths of the pattern, the
//                        transversal, the starts and lengths in transversal
//                        order, the block starts
//   IW(2N+2:2N+2M+1)     row marks and stored positions while the permuted
//                        matrix is built
//   IW(1:M), IW(M+1:M+N) the pivot order of the rows and of the columns,
//                        filled block by block by the pivot choice
//   IW(M+N+1:)           MA50AD's row arrays and two of its column arrays;
//                        the other two column arrays are the top of the
//                        IPTRL and IPTRU sections of KEEP, whose bottom
//                        collects the storage needs of the blocks already
//                        analysed (blocks go from last to first, so the two
//                        never meet)
// A(NE+1:2NE) and IRN(NE+1:2NE) hold the permuted matrix while it is built
// and give each block to MA50AD in place.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "interface/fmt.hpp"
#include "sparse_utils/btf.hpp"
#include "unsym_lu/ma48.hpp"
#include "unsym_lu/ma48_print.hpp"
#include "unsym_lu/ma50.hpp"

using tbl::fint;
using tbl::Vec1;

namespace {

constexpr const char* kMsg = " Message from MA48A/AD ..";

struct Controls5 {
  double cntl[4];
  fint icntl[7];
};

void error_message(const fint* icntl, fint status, fint m, fint n, fint ne, fint job, fint la, fint info3,
                   fint numnz) {
  if (!tbl::ma48::errors_on(icntl)) return;
  const fint u = icntl[0];
  switch (status) {
    case -4:
      tbl::io::write(u, "(A,A,/,A,I7,A,I7)", " Error return from MA48A/AD because matrix structurally ",
                     " singular", " order is ", n, " and structural rank", numnz);
      break;
    case -5:
      tbl::io::write(u, "(A)", " Error return from MA48A/AD because faulty permutations input when JOB = 2");
      break;
    default:
      tbl::ma48::entry_check_message(icntl, "MA48A/AD", status, m, n, ne, job, la, info3);
      break;
  }
}

void entry_monitor(const tbl::ma48::Monitor& mon, fint m, fint n, fint ne, fint job, fint la, const double* a,
                   const fint* irn, const fint* jcn, const fint* keep, const double* cntl, const fint* icntl,
                   const fint* iw) {
  tbl::io::write(mon.unit, "(/,A,/,A,I7,A,I6,A,I7,A,I2,A,I7,/,A,1P,4D12.4,/,A,4I8,/,A,3I8)",
                 " Entering MA48AD with", " M =", m, "     N =", n, "     NE =", ne, "     JOB =", job,
                 "     LA =", la, " CNTL (1:4) =", tbl::io::Reals{cntl, 4},
                 " ICNTL(1:4) = ", tbl::io::Ints{icntl, 4}, " ICNTL(6:8) = ", tbl::io::Ints{icntl + 5, 3});
  tbl::io::FmtList entries;
  const std::int64_t shown = mon.full ? ne : std::min<fint>(ne, 9);
  for (std::int64_t k = 0; k < shown; ++k) entries.add(a[k]).add(irn[k]).add(jcn[k]);
  tbl::io::write_list(mon.unit, "(' Entries:',/,3(1P,D12.4,2I6))", entries);
  if (job == 2) {
    tbl::ma48::text(mon.unit, " Permutations input (JOB=2)");
    tbl::ma48::position_lists(mon, m, n, keep);
  }
  if (icntl[7] != 0) {
    tbl::io::write(mon.unit, "(A,I6)", " Value of IW entries on call with ICNTL(8) =", icntl[7]);
    tbl::io::write(mon.unit, "(10I6)", tbl::io::Ints{iw, mon.cut(n)});
  }
}

void exit_monitor(const tbl::ma48::Monitor& mon, fint m, fint n, fint ne, const fint* irn, const fint* jcn,
                  const fint* keep, const fint* icntl, const fint* info, const double* rinfo) {
  using namespace tbl::ma48;
  const KeepLayout kl(m, n);
  const fint nb = keep[kl.kblock + 3 - 1];
  tbl::io::write(mon.unit, "(/,A,/,A,I5,11I6,/,A,F12.1)", " Leaving MA48AD with", " INFO  =", info[0],
                 tbl::io::Ints{info + 1, 11}, " RINFO =", rinfo[0]);
  pattern_by_blocks(mon, " Permuted matrix by blocks (IRN)", m, n, irn, keep);
  tbl::io::write(mon.unit, "(' JCN (MAP) =',/,(6X,10I6))", tbl::io::Ints{jcn, mon.cut(ne)});
  text(mon.unit, " Contents of KEEP array");
  position_lists(mon, m, n, keep);
  text(mon.unit, " Pointer information from KEEP");
  pointer_lists(mon, m, n, keep, true, false);
  text(mon.unit, " Block structure information from KEEP");
  block_list(mon, " NBLOCK (order blocks) =", keep, kl.nblock, nb);
  block_list(mon, " MBLOCK (triangular flag and number packed rows) =", keep, kl.mblock, nb);
  if (icntl[7] != 0)
    title_and_ints_indented(mon, " LBLOCK (number of changed columns) =", keep + kl.kblock + 3 * nb, nb);
}

// True when KEEP(1:M) and KEEP(M+1:M+N) are permutations; MARK needs
// max(M,N) entries.
bool permutations_valid(fint m, fint n, const Vec1<fint>& keep, const Vec1<fint>& mark) {
  for (fint i = 1; i <= m; ++i) mark(i) = 0;
  for (fint i = 1; i <= m; ++i) {
    const fint v = keep(i);
    if (v < 1 || v > m || mark(v) != 0) return false;
    mark(v) = 1;
  }
  for (fint j = 1; j <= n; ++j) mark(j) = 0;
  for (fint j = 1; j <= n; ++j) {
    const fint v = keep(std::int64_t(m) + j);
    if (v < 1 || v > n || mark(v) != 0) return false;
    mark(v) = 1;
  }
  return true;
}

}  // namespace

extern "C" void MA48ID(double* cntl, fint* icntl) {
  cntl[0] = 0.5;
  cntl[1] = 0.1;
  cntl[2] = 0.0;
  cntl[3] = 0.0;
  cntl[4] = 0.5;
  const fint defaults[9] = {6, 6, 2, 3, 32, 1, 1, 0, 10};
  std::copy(defaults, defaults + 9, icntl);
}

extern "C" void MA48AD(const fint* m_p, const fint* n_p, const fint* ne_p, const fint* job_p, const fint* la_p,
                       double* a_p, fint* irn_p, fint* jcn_p, fint* keep_p, const double* cntl, const fint* icntl,
                       fint* iw_p, fint* info_p, double* rinfo) {
  using tbl::ma48::KeepLayout;
  const fint M = *m_p, N = *n_p, NE = *ne_p, JOB = *job_p, LA = *la_p;
  Vec1<double> A(a_p);
  Vec1<fint> IRN(irn_p), JCN(jcn_p), KEEP(keep_p), IW(iw_p), INFO(info_p);

  // Checks, each before anything is written.
  const std::int64_t two_ne = 2 * std::int64_t(NE);
  fint status = tbl::ma48::entry_check(M, N, NE, LA, JOB);
  if (status == 0 && JOB == 2 && !permutations_valid(M, N, KEEP, Vec1<fint>(iw_p + N))) status = -5;
  if (status != 0) {
    // The host has usually put a new pattern in IRN and JCN before the
    // call, so whatever analysis KEEP held no longer describes them.
    if (M >= 1 && N >= 1) tbl::ma48::mark_no_analysis(M, N, keep_p);
    INFO(1) = status;
    if (status == -3) INFO(3) = tbl::saturate(two_ne);
    error_message(icntl, status, M, N, NE, JOB, LA, INFO(3), 0);
    return;
  }

  // Statistics and the controls handed to MA50AD.
  INFO(1) = 0;
  const bool monitor = tbl::ma48::monitor_on(icntl);
  const bool warnings = tbl::ma48::warnings_on(icntl);
  const tbl::ma48::Monitor mon{icntl[1], icntl[2] >= 4};
  if (monitor) entry_monitor(mon, M, N, NE, JOB, LA, a_p, irn_p, jcn_p, keep_p, cntl, icntl, iw_p);
  INFO(2) = 0;
  INFO(3) = tbl::saturate(two_ne);
  INFO(4) = NE;
  for (int k = 5; k <= 9; ++k) INFO(k) = 0;
  INFO(10) = std::min(M, N);
  INFO(11) = 0;
  INFO(12) = 0;
  rinfo[0] = 0.0;
  Controls5 c5;
  c5.cntl[0] = cntl[0];
  c5.cntl[1] = cntl[1];
  c5.cntl[2] = cntl[2];
  // A negative small-pivot tolerance means no tolerance at all.
  c5.cntl[3] = std::max(cntl[3], 0.0);
  for (int k = 0; k < 5; ++k) c5.icntl[k] = icntl[k];
  c5.icntl[2] = 0;  // MA50AD prints nothing under MA48
  c5.icntl[5] = 0;
  c5.icntl[6] = (JOB == 1) ? 0 : (JOB == 3 ? 1 : 2);
  if (JOB == 2) c5.icntl[3] = 1;
  const double tol = std::max(cntl[3], 0.0);
  const KeepLayout kl(M, N);

  // Column lists, from each column's last entry to its first: the entry
  // numbers bucketed by column into JCN(NE+1:), so that the later walks
  // read them in sequence rather than chase links.
  Vec1<fint> colptr(iw_p + N);  // colptr(j) .. colptr(j+1)-1 in JCN(NE+..)
  for (fint j = 1; j <= N + 1; ++j) colptr(j) = 0;
  for (fint k = 1; k <= NE; ++k) {
    const fint i = IRN(k), j = JCN(k);
    if (i < 1 || i > M || j < 1 || j > N) {
      ++INFO(12);
      if (INFO(12) <= 10 && warnings)
        tbl::io::write(icntl[1], "(A,I7,A,2I6)", " Message from MA48A/AD .. indices for entry ", k, " are", i, j);
      JCN(k) = 0;
    } else {
      ++colptr(j);
    }
  }
  {
    fint end = 1;
    for (fint j = 1; j <= N; ++j) {
      end += colptr(j);
      colptr(j) = end;
    }
    colptr(N + 1) = end;
    // Filling each bucket from its end in increasing entry order leaves the
    // entries in decreasing order.
    for (fint k = 1; k <= NE; ++k)
      if (JCN(k) != 0) JCN(std::int64_t(NE) + --colptr(JCN(k))) = k;
  }
  auto column_entries = [&](fint j, auto&& visit) {
    for (fint q = colptr(j); q < colptr(j + 1); ++q) visit(JCN(std::int64_t(NE) + q));
  };

  // Block triangular form, for square matrices analysed freely.
  bool dups_counted = false;
  fint nb = 1;
  const fint min_block = std::max<fint>(icntl[5], 1);
  bool btf = false;
  if (M == N && JOB == 1 && N > min_block) {
    // The pattern by columns without duplicates, in IRN(NE+1:).
    fint* work = iw_p + 2 * std::int64_t(N) + 1;
    Vec1<fint> start(work), len(work + N), iperm(work + 2 * std::int64_t(N)), pstart(work + 3 * std::int64_t(N)),
        plen(work + 4 * std::int64_t(N)), ib(work + 5 * std::int64_t(N));
    Vec1<fint>& mark = ib;  // free until the block starts are computed
    for (fint i = 1; i <= N; ++i) mark(i) = 0;
    fint nd = 0;
    for (fint j = 1; j <= N; ++j) {
      start(j) = nd + 1;
      column_entries(j, [&](fint k) {
        const fint i = IRN(k);
        if (mark(i) == j) {
          ++INFO(11);
          if (INFO(11) <= 10 && warnings)
            tbl::io::write(icntl[1], "(A,I7,A,2I6)", " Message from MA48A/AD .. duplicate in position ", nd + 1,
                           " with indices", i, j);
        } else {
          mark(i) = j;
          ++nd;
          IRN(std::int64_t(NE) + nd) = i;
        }
      });
      len(j) = nd + 1 - start(j);
    }
    dups_counted = true;
    const fint* pattern = irn_p + NE;

    // Maximum transversal, the columns playing the rows of the kernel.
    fint numnz = 0;
    BTF_TRANSVERSAL(&N, pattern, &nd, start.data(), len.data(), iperm.data(), &numnz,
                    keep_p + 2 * std::int64_t(N));
    INFO(10) = numnz;
    if (numnz < N && icntl[6] != 0) {
      // Structurally singular.
      INFO(1) = -4;
      tbl::ma48::mark_no_analysis(M, N, keep_p);
      error_message(icntl, -4, M, N, NE, JOB, LA, INFO(3), numnz);
      return;
    }
    if (numnz == N) {
      btf = true;
      // Strongly connected components of the matched pattern.
      for (fint i = 1; i <= N; ++i) {
        pstart(i) = start(iperm(i));
        plen(i) = len(iperm(i));
      }
      fint num = 0;
      BTF_SCC_ORDER(&N, pattern, &nd, pstart.data(), plen.data(), keep_p + M, ib.data(), &num,
                    keep_p + 2 * std::int64_t(N));
      // Block sizes, in place of the block starts.
      for (fint b = 1; b < num; ++b) ib(b) = ib(b + 1) - ib(b);
      ib(num) = N + 1 - ib(num);
      // Consecutive blocks of order 1 form triangular runs (negative).
      fint nrun = 0;
      for (fint b = 1; b <= num; ++b) {
        if (ib(b) == 1) {
          if (nrun > 0 && ib(nrun) < 0)
            --ib(nrun);
          else
            ib(++nrun) = -1;
        } else {
          ib(++nrun) = ib(b);
        }
      }
      // Blocks below the smallest order are merged with their successors.
      nb = 0;
      for (fint b = 1; b <= nrun;) {
        fint cur = ib(b++);
        while (std::abs(cur) < min_block && b <= nrun) cur = std::abs(cur) + std::abs(ib(b++));
        ib(++nb) = cur;
      }
      // The block list and both permutations.
      for (fint k = 1; k <= nb; ++k) {
        KEEP(kl.nblock + 3 * k) = std::abs(ib(k));
        KEEP(kl.mblock + 3 * k) = ib(k);
      }
      for (fint p = 1; p <= N; ++p) {
        const fint row = KEEP(std::int64_t(M) + p);
        KEEP(row) = p;
        KEEP(std::int64_t(M) + p) = iperm(row);
      }
    }
  }

  // Otherwise one block in the natural (or the host's) order.
  if (!btf) {
    nb = 1;
    if (JOB != 2) {
      for (fint i = 1; i <= M; ++i) KEEP(i) = i;
      for (fint j = 1; j <= N; ++j) KEEP(std::int64_t(M) + j) = j;
    }
    KEEP(kl.nblock + 3) = N;
    KEEP(kl.mblock + 3) = 0;
  }
  const std::int64_t lblock = kl.kblock + 3 * std::int64_t(nb);

  // Columns flagged as changing go last in their blocks.
  if (icntl[7] != 0) {
    if (JOB == 2) {
      fint count = 0;
      for (fint j = 1; j <= N; ++j)
        if (IW(j) == 0) {
          count = N + 1 - j;
          break;
        }
      KEEP(lblock + 1) = count;
    } else {
      fint s = 1;
      for (fint k = 1; k <= nb; ++k) {
        const fint nc = KEEP(kl.nblock + 3 * k);
        fint count = 0;
        if (KEEP(kl.mblock + 3 * k) >= 0) {
          fint lo = s, hi = s + nc - 1;
          while (lo <= hi) {
            if (IW(KEEP(std::int64_t(M) + lo)) == 0) {
              ++count;
              std::swap(KEEP(std::int64_t(M) + lo), KEEP(std::int64_t(M) + hi));
              --hi;
            } else {
              ++lo;
            }
          }
        }
        KEEP(lblock + k) = count;
        s += nc;
      }
    }
  }

  // The permuted matrix: diagonal-block entries forward from position 1,
  // off-diagonal entries backward from position NE, both in A(NE+1:2NE)
  // and IRN(NE+1:2NE); JCN(k) becomes the position of entry k.
  KEEP(kl.kblock + 3) = nb;
  bool stored_finite = true;
  {
    Vec1<fint> mark(iw_p + 2 * std::int64_t(N) + 1), pos(iw_p + 2 * std::int64_t(N) + 1 + M);
    for (fint i = 1; i <= M; ++i) mark(i) = 0;
    fint fwd = 1, bwd = NE;
    fint s = 1;
    for (fint k = 1; k <= nb; ++k) {
      const fint nc = KEEP(kl.nblock + 3 * k);
      const fint e = s + nc - 1;
      const bool tri = KEEP(kl.mblock + 3 * k) < 0;
      for (fint j = s; j <= e; ++j) {
        KEEP(kl.iptrd + j) = fwd;
        KEEP(kl.iptro + j) = bwd;
        fint diag = 0;
        if (tri) {
          // The diagonal entry of a triangular column leads its column.
          diag = fwd++;
          A(std::int64_t(NE) + diag) = 0.0;
          IRN(std::int64_t(NE) + diag) = j;
        }
        column_entries(KEEP(std::int64_t(M) + j), [&](fint kk) {
          const fint r = KEEP(IRN(kk));
          if (mark(r) == j) {
            if (!dups_counted) {
              ++INFO(11);
              if (INFO(11) <= 10 && warnings)
                tbl::io::write(icntl[1], "(A,I7,A,2I6)", " Message from MA48A/AD .. duplicate in position ", kk,
                               " with indices", IRN(kk), KEEP(std::int64_t(M) + j));
            }
            A(std::int64_t(NE) + pos(r)) += A(kk);
            JCN(kk) = pos(r);
          } else if (tri && r == j) {
            mark(r) = j;
            pos(r) = diag;
            A(std::int64_t(NE) + diag) = A(kk);
            JCN(kk) = diag;
          } else {
            mark(r) = j;
            const fint p = (M == N && (r < s || r > e)) ? bwd-- : fwd++;
            A(std::int64_t(NE) + p) = A(kk);
            IRN(std::int64_t(NE) + p) = r;
            pos(r) = p;
            JCN(kk) = p;
          }
        });
      }
      s = e + 1;
    }
    KEEP(kl.iptrd + N + 1) = fwd;
    KEEP(kl.iptro + N + 1) = bwd;
    for (fint p = 1; p < fwd; ++p) IRN(p) = IRN(std::int64_t(NE) + p);
    for (fint p = bwd + 1; p <= NE; ++p) IRN(p) = IRN(std::int64_t(NE) + p);
    for (fint p = fwd; p <= bwd; ++p) IRN(p) = 0;
    // The stored values, duplicates summed, in one pass.
    stored_finite = tbl::all_finite(a_p + NE, fwd - 1) && tbl::all_finite(a_p + NE + bwd, NE - bwd);
  }
  if (!stored_finite) {
    // Named by the host's indices: the row whose position is the stored
    // row, the column whose position holds the stored entry.
    INFO(1) = tbl::ma48::kNotFinite;
    tbl::ma48::mark_no_analysis(M, N, keep_p);
    if (tbl::ma48::errors_on(icntl)) {
      // (A dropped entry maps to 0, outside the stored positions.)
      const fint p = JCN(tbl::ma48::first_nonfinite_entry(NE, jcn_p, a_p + NE, NE));
      fint row = 0, col = 0;
      for (fint i = 1; i <= M; ++i)
        if (KEEP(i) == IRN(std::int64_t(NE) + p)) row = i;
      for (fint j = 1; j <= N; ++j)
        if ((KEEP(kl.iptrd + j) <= p && p < KEEP(kl.iptrd + j + 1)) ||
            (KEEP(kl.iptro + j + 1) < p && p <= KEEP(kl.iptro + j)))
          col = KEEP(std::int64_t(M) + j);
      tbl::ma48::not_finite_message(icntl, "MA48A/AD", row, col);
    }
    return;
  }

  // Pivot choice, blocks from the last to the first.
  Vec1<fint> rowpos(iw_p), colseq(iw_p + M);
  for (fint i = 1; i <= M; ++i) rowpos(i) = i;
  for (fint j = 1; j <= N; ++j) colseq(j) = j;
  fint handled = 0;
  {
    fint e = N;
    for (fint k = nb; k >= 1; --k) {
      const fint nc = KEEP(kl.nblock + 3 * k);
      const fint s = e - nc + 1;
      if (KEEP(kl.mblock + 3 * k) < 0) {
        for (fint j = s; j <= e; ++j)
          if (std::fabs(A(std::int64_t(NE) + KEEP(kl.iptrd + j))) > tol) ++INFO(5);
        e = s - 1;
        continue;
      }
      const fint nr = (nb == 1) ? M : nc;
      const fint p0 = KEEP(kl.iptrd + s);
      const fint nz = KEEP(kl.iptrd + e + 1) - p0;
      for (fint q = p0; q < p0 + nz; ++q) IRN(std::int64_t(NE) + q) = IRN(q) - s + 1;
      // MA50AD's orders of this block land directly in the pivot-order lists.
      fint* ip = iw_p + (s - 1);
      fint* iq = iw_p + M + (s - 1);
      for (fint jl = 1; jl <= nc; ++jl) iq[jl - 1] = KEEP(kl.iptrd + s + jl - 1) - p0 + 1;
      fint* rows5 = iw_p + M + N;
      fint* jfirst = rows5;
      fint* lenr = rows5 + nr;
      fint* lastr = rows5 + 2 * std::int64_t(nr);
      fint* nextr = rows5 + 3 * std::int64_t(nr);
      fint* iwm = rows5 + 4 * std::int64_t(nr);
      fint* ifirst = rows5 + 5 * std::int64_t(nr);
      fint* lenc = ifirst + nc;
      fint* lastc = keep_p + kl.iptrl + (N - nc);
      fint* nextc = keep_p + kl.iptru + (N - nc);
      for (fint i = 0; i < nr; ++i) ip[i] = i + 1;
      if (JOB == 2)
        for (fint jl = 0; jl < nc; ++jl) ifirst[jl] = jl + 1;
      if (icntl[7] != 0) c5.icntl[5] = KEEP(lblock + k);
      fint info5[7] = {0, 0, 0, 0, 0, 0, 0};
      double rinfo5[1] = {0.0};
      fint np = 0;
      if (nz == 0) {
        // No entry in range at all: a zero block, every column without a
        // pivot, the factor area only its header and the row list.
        info5[0] = 1;
        info5[3] = 3 * nr + 2;
        info5[6] = nr;
        np = nc;
        for (fint jl = 0; jl < nc; ++jl) iq[jl] = jl + 1;
      } else {
        const fint la5 = LA - NE - p0 + 1;
        MA50AD(&nr, &nc, &nz, &la5, a_p + NE + p0 - 1, irn_p + NE + p0 - 1, jcn_p + NE, iq, c5.cntl, c5.icntl, ip,
               &np, jfirst, lenr, lastr, nextr, iwm, ifirst, lenc, lastc, nextc, info5, rinfo5);
      }
      const fint st = info5[0];
      if (st < 0) {
        // The block's orders are not valid: leave them alone.
        if (st == -3 || INFO(1) >= 0) INFO(1) = st;
      } else {
        KEEP(kl.mblock + 3 * k) = np;
        for (fint i = 0; i < nr; ++i) ip[i] += s - 1;
        for (fint jl = 0; jl < nc; ++jl) iq[jl] += s - 1;
        if (st == 1 && (INFO(1) == 0 || INFO(1) == 4))
          INFO(1) += 2;
        else if (st == 2 && (INFO(1) == 0 || INFO(1) == 2))
          INFO(1) += 4;
        else if (st == 3 && INFO(1) >= 0)
          INFO(1) = 6;
      }
      INFO(7) = std::max(INFO(7), nr);
      INFO(8) += nc;
      INFO(9) += nz;
      INFO(2) += info5[1];
      INFO(3) = std::max<fint>(INFO(3), tbl::saturate(std::int64_t(NE) + p0 - 1 + info5[2]));
      INFO(5) += info5[4];
      INFO(6) += info5[5];
      rinfo[0] += rinfo5[0];
      ++handled;
      KEEP(kl.iptrl + handled) = info5[3];
      KEEP(kl.iptru + handled) = info5[3] - 2 * nr;
      e = s - 1;
    }
  }

  // Forecast of the factorisation's storage: each block's peak on top of
  // the lasting factors of the blocks before it.
  {
    std::int64_t kept = NE, need = NE;
    for (fint b = handled; b >= 1; --b) {
      need = std::max(need, kept + KEEP(kl.iptrl + b));
      kept += KEEP(kl.iptru + b);
    }
    INFO(4) = tbl::saturate(need);
  }

  // A block that ran out of storage: all blocks were tried, so INFO(3)
  // covers them all.
  if (INFO(1) < 0) {
    tbl::ma48::mark_no_analysis(M, N, keep_p);
    error_message(icntl, INFO(1), M, N, NE, JOB, LA, INFO(3), 0);
    return;
  }

  // Final order: rows and columns follow the block pivot orders; the
  // stored entries are rewritten in that order and the map follows them.
  for (fint i = 1; i <= M; ++i) KEEP(i) = rowpos(KEEP(i));
  {
    for (fint p = 1; p <= NE; ++p) IRN(std::int64_t(NE) + p) = IRN(p);
    Vec1<fint> nd(iw_p + std::int64_t(M) + N), no(iw_p + std::int64_t(M) + 2 * std::int64_t(N) + 1);
    fint pos = 1;
    auto move = [&](fint old) {
      IRN(pos) = rowpos(IRN(std::int64_t(NE) + old));
      JCN(std::int64_t(NE) + old) = pos;
      ++pos;
    };
    for (fint p = 1; p <= N; ++p) {
      const fint q = colseq(p);
      nd(p) = pos;
      for (fint old = KEEP(kl.iptrd + q); old < KEEP(kl.iptrd + q + 1); ++old) move(old);
    }
    nd(N + 1) = pos;
    for (fint p = 1; p <= N; ++p) {
      const fint q = colseq(p);
      no(p) = pos;
      for (fint old = KEEP(kl.iptro + q + 1) + 1; old <= KEEP(kl.iptro + q); ++old) move(old);
    }
    no(N + 1) = pos;
    for (fint p = 1; p <= N + 1; ++p) {
      KEEP(kl.iptrd + p) = nd(p);
      KEEP(kl.iptro + p) = no(p);
    }
    for (fint p = 1; p <= N; ++p) colseq(p) = KEEP(std::int64_t(M) + colseq(p));
    for (fint p = 1; p <= N; ++p) KEEP(std::int64_t(M) + p) = colseq(p);
    for (fint k = 1; k <= NE; ++k) JCN(k) = (JCN(k) == 0) ? NE : JCN(std::int64_t(NE) + JCN(k));
  }

  // Warnings for duplicates and out-of-range entries.
  if (INFO(11) > 0 || INFO(12) > 0) {
    INFO(1) += 1;
    if (warnings) {
      if (INFO(11) > 0) tbl::io::write(icntl[1], "(A,I8,A)", kMsg, INFO(11), " duplicates found");
      if (INFO(12) > 0) tbl::io::write(icntl[1], "(A,I8,A)", kMsg, INFO(12), " out-of-range indices found");
    }
  }
  if (INFO(11) > 0) JCN(1) = -JCN(1);

  // The rank estimate never exceeds the structural rank.
  if (INFO(10) < INFO(5)) {
    INFO(5) = INFO(10);
    if (!(INFO(1) == 2 || INFO(1) == 3 || INFO(1) >= 6)) INFO(1) += 2;
  }

  // Analysed: no factors yet for a solve or a refactorisation to use.  The
  // mark is written whatever these two words hold: a failed analysis on the
  // same KEEP left its own mark there, which mark_no_factors keeps, and the
  // kernel does not always use them as work space in between.
  KEEP(kl.iptrl + N) = KEEP(kl.iptru + N) = tbl::ma48::kNoFactors;
  if (monitor) exit_monitor(mon, M, N, NE, irn_p, jcn_p, keep_p, icntl, info_p, rinfo);
}
