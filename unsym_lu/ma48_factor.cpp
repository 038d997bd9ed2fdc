// MA48BD: factorise the matrix that MA48AD analysed, block by block.
//
// Fresh values are scattered through the map into the permuted matrix at
// A(1:NEWNE); triangular diagonal blocks are only tested, every other block
// is factorised by MA50BD into A/IRN behind the permuted matrix.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "interface/fmt.hpp"
#include "unsym_lu/index_check.hpp"
#include "unsym_lu/ma48.hpp"
#include "unsym_lu/ma48_print.hpp"
#include "unsym_lu/ma50.hpp"

using tbl::fint;
using tbl::Vec1;

namespace {

void error_message(const fint* icntl, fint status, bool from_job_check, fint m, fint n, fint ne, fint job, fint la,
                   fint need) {
  if (!tbl::ma48::errors_on(icntl)) return;
  const fint u = icntl[0];
  if (status == -6 && !from_job_check) {
    tbl::io::write(u, "(A,/,A)", " Error return from MA48B/BD with JOB greater than 1",
                   " and entries dropped during previous factorization");
  } else if (status == tbl::ma48::kBadState) {
    tbl::ma48::state_message(icntl, " Error return from MA48B/BD because KEEP, IRN and JCN do not hold",
                             " an analysis of MA48A/AD for these M, N and NE");
  } else if (status == -7) {
    tbl::io::write(u, "(A,/,A)", " Error return from MA48B/BD with JOB=2 because ",
                   " the matrix is incompatible with expectations");
  } else {
    tbl::ma48::entry_check_message(icntl, "MA48B/BD", status, m, n, ne, job, la, need);
  }
}

void entry_monitor(const tbl::ma48::Monitor& mon, fint m, fint n, fint ne, fint job, fint la, const double* a,
                   const fint* irn, const fint* jcn, const fint* keep, const double* cntl, const fint* icntl) {
  using namespace tbl::ma48;
  const KeepLayout kl(m, n);
  const fint nb = keep[kl.kblock + 2];
  tbl::io::write(mon.unit, "(/,A,/,3(A,I8),A,I2,A,I8,/,A,1P,3D12.4,/,A,3I8,/,A,I8,/,A,I8)",
                 " Entering MA48BD with", " M =", m, "     N =", n, "     NE =", ne, "     JOB =", job,
                 "     LA =", la, " CNTL (2:4) =", tbl::io::Reals{cntl + 1, 3},
                 " ICNTL(1:3) =", tbl::io::Ints{icntl, 3}, " ICNTL(5)   =", icntl[4], " ICNTL(8)   =", icntl[7]);
  tbl::io::write(mon.unit, "(' A =',/,(4X,1P,5D12.4))", tbl::io::Reals{a, mon.cut(ne)});
  pattern_by_blocks(mon, " Indices for permuted matrix by blocks", m, n, irn, keep);
  tbl::io::write(mon.unit, "(' JCN (MAP) =',/,(6X,10I6))", tbl::io::Ints{jcn, mon.cut(ne)});
  text(mon.unit, " Contents of KEEP array");
  position_lists(mon, m, n, keep);
  text(mon.unit, " Pointer information from KEEP");
  pointer_lists(mon, m, n, keep, true, job > 1);
  text(mon.unit, " Block structure information from KEEP");
  block_list(mon, " NBLOCK (order blocks) =", keep, kl.nblock, nb);
  block_list(mon, " MBLOCK (triangular flag and number packed rows) =", keep, kl.mblock, nb);
  if (job > 1) block_list(mon, " KBLOCK (position of beginning of block) =", keep, kl.kblock, nb);
  if (icntl[7] != 0)
    title_and_ints_indented(mon, " LBLOCK (number of changed columns) =", keep + kl.kblock + 3 * nb, nb);
}

void exit_monitor(const tbl::ma48::Monitor& mon, fint m, fint n, fint job, const double* a, const fint* irn,
                  const fint* keep, const fint* info, const double* rinfo) {
  using namespace tbl::ma48;
  const KeepLayout kl(m, n);
  const fint nb = keep[kl.kblock + 2];
  tbl::io::write(mon.unit, "(/,A,/,A,I6,/,A,3I6,/,A,F12.1)", " Leaving MA48BD with", " INFO(1)   = ", info[0],
                 " INFO(4:6) = ", tbl::io::Ints{info + 3, 3}, " RINFO     =", rinfo[0]);
  values_by_blocks(mon, m, n, a, irn, keep);
  factors_by_blocks(mon, m, n, a, irn, keep);
  if (job == 1 || job == 3) {
    text(mon.unit, " Contents of KEEP array");
    position_lists(mon, m, n, keep);
    text(mon.unit, " Pointer information from KEEP");
    pointer_lists(mon, m, n, keep, false, true);
    text(mon.unit, " Block structure information from KEEP");
    block_list(mon, " KBLOCK (position of beginning of block) =", keep, kl.kblock, nb);
  }
}

// Factors of a block without any entry: no pivot anywhere, no full part;
// only the header of the factor area and its list of rows, which is what
// MA50CD needs to return zeros for the block.  Returns the length used, or
// minus the length needed when LFACT is short.
fint empty_block_factors(fint nr, fint nc, const double* cntl5, fint lfact, double* fact, fint* irnf, fint* iptrl,
                         fint* iptru) {
  const fint need = nr + 2;
  if (lfact < need) return -need;
  fact[0] = cntl5[2];
  fact[1] = cntl5[3];
  irnf[0] = 0;
  irnf[1] = nr;
  for (fint j = 0; j < nc; ++j) iptrl[j] = iptru[j] = 2;
  for (fint i = 1; i <= nr; ++i) irnf[1 + i] = i;
  return need;
}

// Whether the factor area of an NR by NC block with NP sparse columns
// (LFACT positions from IRNF; EMPTY for a block without entries, whose area
// holds only its header and rows) describes a factorisation of that block as
// the kernel leaves it: the column pointers in order and inside the area,
// each U entry naming an earlier step that has a pivot, L rows in range, no
// L part beyond NP, and every row either the pivot row of one column or one
// of the MF rows of the full part.  Every read stays inside the area and the
// block's pointers, whatever they hold, so that a KEEP and IRN that never saw
// a successful factorisation are refused rather than followed.  On success
// ORDER(1:NR) is the row order the factors imply (the pivot row of sparse
// column J comes J-th, the rows of the full part follow in their stored
// order); the cost is one pass over the stored integers.
bool stored_factors(fint nr, fint nc, fint np, bool empty, std::int64_t lfact, const fint* irnf,
                    const fint* iptrl, const fint* iptru, fint* order) {
  if (lfact < 2 || np < 0 || np > nc) return false;
  const std::int64_t mf = irnf[1];
  if (mf < 0 || mf > nr) return false;
  for (fint i = 0; i < nr; ++i) order[i] = 0;
  fint placed = 0;
  auto place = [&](std::int64_t pos, fint rank) {
    const fint r = irnf[pos - 1];
    if (r < 1 || r > nr || order[r - 1] != 0) return false;
    order[r - 1] = rank;
    ++placed;
    return true;
  };
  std::int64_t prev = 2;  // the area's header takes positions 1 and 2
  for (fint j = 1; j <= nc; ++j) {
    const std::int64_t u = iptru[j - 1], l = iptrl[j - 1];
    if (u < prev || l < u || l > lfact || (j > np && l != u)) return false;
    for (std::int64_t q = prev + 1; q <= u; ++q) {
      const fint step = irnf[q - 1];
      if (step < 1 || step >= j || step > np || iptrl[step - 1] == iptru[step - 1]) return false;
    }
    if (l > u) {
      if (!place(u + 1, j)) return false;
      for (std::int64_t q = u + 2; q <= l; ++q)
        if (irnf[q - 1] < 1 || irnf[q - 1] > nr) return false;
    }
    prev = l;
  }
  const std::int64_t nf = nc - np;
  const std::int64_t full = empty ? mf : std::max(mf * nf, mf + nf);
  if (prev + full > lfact) return false;
  for (std::int64_t i = 1; i <= mf; ++i)
    if (!place(prev + i, static_cast<fint>(np + i))) return false;
  return placed == nr;
}

}  // namespace

extern "C" void MA48BD(const fint* m_p, const fint* n_p, const fint* ne_p, const fint* job_p, const fint* la_p,
                       double* a_p, fint* irn_p, const fint* jcn_p, fint* keep_p, const double* cntl,
                       const fint* icntl, double* w, fint* iw_p, fint* info_p, double* rinfo) {
  using tbl::ma48::KeepLayout;
  const fint M = *m_p, N = *n_p, NE = *ne_p, JOB = *job_p, LA = *la_p;
  Vec1<double> A(a_p);
  Vec1<fint> IRN(irn_p), KEEP(keep_p), IW(iw_p), INFO(info_p);
  Vec1<const fint> JCN(jcn_p);

  // Every error leaves KEEP marked as holding no factors: the host has put
  // the new values in A(1:NE) over the stored matrix that a solve reads, so
  // earlier factors no longer go with A, whatever the error.  Nothing else
  // is written before the checks below have passed.
  auto refuse = [&](fint st, bool from_job_check) {
    if (M >= 1 && N >= 1) tbl::ma48::mark_no_factors(M, N, keep_p);
    INFO(1) = st;
    error_message(icntl, st, from_job_check, M, N, NE, JOB, LA, INFO(4));
  };

  // Checks, each before anything else is written.
  const std::int64_t two_ne = 2 * std::int64_t(NE);
  const fint status = tbl::ma48::entry_check(M, N, NE, LA, JOB);
  if (status != 0) {
    if (status == -3) INFO(4) = tbl::saturate(two_ne);
    refuse(status, true);
    return;
  }

  // What the analysis left, before anything is written: the mark of a
  // failed analysis, the block structure, the changed-column counts when
  // they are read; the map and each block's entries are checked as they are
  // met.  The permutations are not read here (the solve checks them).
  const KeepLayout kl(M, N);
  const bool monitor = tbl::ma48::monitor_on(icntl);
  auto lblock_valid = [&] {
    const fint nb = KEEP(kl.kblock + 3);
    for (fint jb = 1; jb <= nb; ++jb) {
      const fint count = KEEP(kl.kblock + 3 * std::int64_t(nb) + jb);
      if (count < 0 || count > KEEP(kl.nblock + 3 * jb)) return false;
    }
    return true;
  };
  // (The block loops below test each block's order and flag as they meet
  // it; the changed-column counts and the monitor's listing need them all
  // first.)
  const bool whole = icntl[7] != 0 || monitor;
  if (tbl::ma48::marked_no_analysis(M, N, keep_p) ||
      !(whole ? tbl::ma48::blocks_valid(M, N, keep_p, NE) : tbl::ma48::ends_valid(M, N, keep_p, NE)) ||
      (icntl[7] != 0 && !lblock_valid()) ||
      (monitor && !tbl::ma48::pointers_valid(N, keep_p + kl.iptrd, keep_p + kl.iptro))) {
    refuse(tbl::ma48::kBadState, false);
    return;
  }

  INFO(1) = 0;
  double cntl5[4] = {cntl[0], cntl[1], cntl[2], std::max(cntl[3], 0.0)};
  fint icntl5[7] = {icntl[0], icntl[1], 0, icntl[3], icntl[4], 0, 0};
  const fint iq0 = 0;  // no column permutation: the analysis ordered the columns
  const fint nb = KEEP(kl.kblock + 3);
  // Block JB's order and flag, its first column JFIRST: 1 <= order <=
  // N - JFIRST + 1, the flag minus the order (square matrices only) or a
  // count of packed columns up to the order.
  auto block_bad = [&](fint jb, fint jfirst) {
    const fint nc = KEEP(kl.nblock + 3 * jb), flag = KEEP(kl.mblock + 3 * jb);
    return static_cast<std::uint32_t>(nc) - 1u >= static_cast<std::uint32_t>(N - jfirst + 1) ||
           (flag < 0 ? flag != -nc || M != N : flag > nc);
  };
  const tbl::ma48::Monitor mon{icntl[1], icntl[2] >= 4};
  if (monitor) entry_monitor(mon, M, N, NE, JOB, LA, a_p, irn_p, jcn_p, keep_p, cntl, icntl);
  INFO(4) = NE;
  INFO(5) = 0;
  INFO(6) = 0;
  rinfo[0] = 0.0;
  const double tol = std::max(cntl[3], 0.0);
  const fint newne = KEEP(kl.iptro + N + 1) - 1;

  // JOB 2 and 3 work from the factors of the previous call.  Every block's
  // stored factors are checked before anything is written, each read kept
  // inside the arrays, so that a KEEP and IRN without a complete
  // factorisation (none yet, or the last one ran out of storage) are never
  // followed into wild memory.
  //
  // JOB 2 has nothing to fall back on: it refuses such a KEEP with -6, as a
  // JOB that does not fit the stored data.  It reads each block's factors
  // where its block loop below places them, so the check follows that loop.
  //
  // JOB 3 pivots from the row order of the previous factors.  Every block's
  // order is read here, before any block is refactorised: a block's new
  // factors, or the kernel's workspace at the end of A/IRN, may cover the
  // old factors of the blocks after it.  Only the first block that reaches
  // the kernel finds its old factors in place (at the start of the factor
  // area) and is refactorised by the kernel's own JOB 3, which keeps its
  // unchanged columns; every later one is factorised afresh from the order
  // read here, which is what JOB 3 computes for its other columns.  A block
  // whose stored factors do not pass starts from the identity order instead
  // (so a retry after running out of storage still works).
  fint first_block = 0;  // the first block with factors of its own, if intact
  if (JOB == 2 && tbl::ma48::marked_no_factors(M, N, keep_p)) {
    refuse(-6, true);
    return;
  }
  if (JOB > 1) {
    fint jfirst = 1;
    std::int64_t kk = 0;
    for (fint jb = 1; jb <= nb; ++jb) {
      if (block_bad(jb, jfirst)) {
        refuse(tbl::ma48::kBadState, false);
        return;
      }
      const fint nc = KEEP(kl.nblock + 3 * jb), np = KEEP(kl.mblock + 3 * jb);
      const fint nr = (nb == 1) ? M : nc;
      if (np >= 0) {
        const std::int64_t start = jb == 1 ? 1 : KEEP(kl.kblock + 3 * jb);
        const std::int64_t lfact = std::int64_t(LA) - newne - start + 1;
        const bool empty = KEEP(kl.iptrd + jfirst + nc) == KEEP(kl.iptrd + jfirst);
        const fint* iptrl = keep_p + kl.iptrl + jfirst - 1;
        const fint* irnf = irn_p + newne + start - 1;
        fint* order = iw_p + jfirst - 1;
        const bool valid = (JOB == 3 || start == kk + 1) && start >= 1 && lfact >= 2 &&
                           stored_factors(nr, nc, np, empty, lfact, irnf, iptrl, keep_p + kl.iptru + jfirst - 1,
                                          order);
        if (!valid && JOB == 2) {
          refuse(-6, true);
          return;
        }
        if (!valid)
          for (fint i = 0; i < nr; ++i) order[i] = i + 1;
        if (first_block == 0) first_block = valid && start == 1 ? jb : -1;
        if (valid && JOB == 3 && irnf[0] != 0) {
          // The previous factorisation dropped entries: its pattern is not
          // the matrix's.
          refuse(-6, false);
          return;
        }
        // Where the block loop puts the next block's factors.
        if (valid) {
          const std::int64_t mf = irnf[1], nf = nc - np;
          kk = start - 1 + std::max(mf * nf, mf + nf) + iptrl[nc - 1];
        }
      }
      jfirst += nc;
    }
    if (jfirst != N + 1) {  // the orders do not add up to N
      refuse(tbl::ma48::kBadState, false);
      return;
    }
  }

  // Scatter the values through the map into the stored entries only: the
  // factors begin right behind them, and a refactorisation that keeps the
  // unchanged columns of a block (ICNTL(8)) reads their old values there.
  // That is also why the incoming values are then copied aside rather than
  // into A(NE+1:2NE), which lies inside the factors.
  bool bad_map = false;
  bool given_finite = true;
  {
    std::vector<double> aside;
    const double* in = a_p + NE;
    // The values given are summed as they are copied: when that sum is
    // finite, every value is and so is every stored one; with duplicates to
    // sum (a map whose first entry is negated) the sum is of magnitudes and
    // must be well inside the reals.
    const bool duplicates = JCN(1) < 0;
    if (JOB > 1 && icntl[7] != 0) {
      aside.resize(std::size_t(NE));
      in = aside.data();
      given_finite = tbl::ma48::copy_sum_finite(a_p, aside.data(), NE, duplicates);
    } else {
      given_finite = tbl::ma48::copy_sum_finite(a_p, a_p + NE, NE, duplicates);
    }
    // An entry out of range maps to position NE, beyond the stored ones;
    // any other position outside them is not a map of the analysis.
    const std::uint32_t stored = static_cast<std::uint32_t>(newne);
    auto outside = [&](fint p) { return static_cast<std::uint32_t>(p) - 1u >= stored; };
    if (JCN(1) > 0) {
      for (fint k = 1; k <= NE; ++k) {
        const fint p = JCN(k);
        if (__builtin_expect(outside(p), 0)) {
          if (p != NE) bad_map = true;
          continue;
        }
        A(p) = in[k - 1];
      }
    } else {
      for (fint p = 1; p <= newne; ++p) A(p) = 0.0;
      // (JCN(1) negated without overflow: the most negative integer stays
      // out of range)
      const fint p1 = static_cast<fint>(0u - static_cast<std::uint32_t>(JCN(1)));
      if (!outside(p1))
        A(p1) += in[0];
      else if (p1 != NE)
        bad_map = true;
      for (fint k = 2; k <= NE; ++k) {
        const fint p = JCN(k);
        if (__builtin_expect(outside(p), 0)) {
          if (p != NE) bad_map = true;
          continue;
        }
        A(p) += in[k - 1];
      }
    }
  }
  if (bad_map) {
    // The values are scattered already: the stored factors no longer
    // belong to them.
    tbl::ma48::mark_no_factors(M, N, keep_p);
    INFO(1) = tbl::ma48::kBadState;
    error_message(icntl, INFO(1), false, M, N, NE, JOB, LA, 0);
    return;
  }
  // Otherwise the stored values decide (a value that is not finite may
  // belong to an entry out of range, which is dropped, and a sum of
  // duplicates may overflow).
  if (!given_finite && !tbl::all_finite(a_p, newne)) {
    tbl::ma48::mark_no_factors(M, N, keep_p);
    // The first entry whose stored value is not finite.  A map of the
    // analysis reaches every stored position, so without one the map is
    // not such a map.
    const std::int64_t k = tbl::ma48::first_nonfinite_entry(NE, jcn_p, a_p, newne);
    INFO(1) = k == 0 ? tbl::ma48::kBadState : tbl::ma48::kNotFinite;
    if (k == 0) {
      error_message(icntl, INFO(1), false, M, N, NE, JOB, LA, 0);
    } else if (tbl::ma48::errors_on(icntl)) {
      // The entry by the host's row and column: the row whose position is
      // the stored row, the column whose position holds the stored entry.
      const fint pos = static_cast<fint>(k == 1 ? std::abs(std::int64_t(JCN(1))) : JCN(k));
      fint row = 0, col = 0;
      for (fint i = 1; i <= M; ++i)
        if (KEEP(i) == IRN(pos)) row = i;
      for (fint j = 1; j <= N; ++j)
        if ((KEEP(kl.iptrd + j) <= pos && pos < KEEP(kl.iptrd + j + 1)) ||
            (KEEP(kl.iptro + j) <= pos && pos < KEEP(kl.iptro + j + 1)))
          col = KEEP(std::int64_t(M) + j);
      tbl::ma48::not_finite_message(icntl, "MA48B/BD", row, col);
    }
    return;
  }

  // The block count shares its place with block 1's factor start; every
  // return below puts it back so that KEEP stays usable for a retry.
  auto finish = [&](fint st) {
    KEEP(kl.kblock + 3) = nb;
    tbl::ma48::mark_no_factors(M, N, keep_p);
    INFO(1) = st;
    error_message(icntl, st, false, M, N, NE, JOB, LA, INFO(4));
  };

  // The blocks in order.
  std::int64_t kk = 0;
  fint jfirst = 1;
  bool kernel_called = false;
  bool extrapolated = false;  // some block's length after -3 is an estimate
  for (fint jb = 1; jb <= nb; ++jb) {
    if (block_bad(jb, jfirst)) {
      finish(tbl::ma48::kBadState);
      return;
    }
    const fint nc = KEEP(kl.nblock + 3 * jb);
    const fint jlast = jfirst + nc - 1;
    KEEP(kl.kblock + 3 * jb) = 0;
    // JOB 3 away from the intact first block runs as JOB 1 from the order
    // read above.
    const bool own_job3 = JOB == 3 && jb == first_block && !kernel_called;
    fint job5 = JOB == 3 && !own_job3 ? 1 : JOB;
    bool given_order = JOB == 3 && !own_job3;
    if (KEEP(kl.mblock + 3 * jb) < 0) {
      // Triangular block: factors are its own entries if the diagonal is
      // acceptable.
      // Each diagonal's position is tested before it is read: in one vector
      // pass over a long block's pointers, else as it is read.
      const std::uint32_t stored = static_cast<std::uint32_t>(newne);
      const bool long_block = nc >= 16;
      if (long_block && !tbl::unsym::all_inside(keep_p + kl.iptrd + jfirst - 1, nc, 1, newne)) {
        finish(tbl::ma48::kBadState);
        return;
      }
      bool passed = true;
      for (fint j = jfirst; j <= jlast; ++j) {
        KEEP(kl.iptrl + j) = 0;
        KEEP(kl.iptru + j) = 0;
        const fint d = KEEP(kl.iptrd + j);
        if (!long_block && static_cast<std::uint32_t>(d) - 1u >= stored) {
          finish(tbl::ma48::kBadState);
          return;
        }
        if (std::fabs(A(d)) <= tol) passed = false;
      }
      if (passed) {
        INFO(5) += nc;
        jfirst = jlast + 1;
        continue;
      }
      if (JOB == 2) {
        finish(-7);
        return;
      }
      // From now on an ordinary block, all of its columns packed.  It has no
      // earlier factors to start from, whatever JOB asks.
      KEEP(kl.mblock + 3 * jb) = nc;
      job5 = 1;
      given_order = false;
    }

    // An ordinary block through MA50BD, with block-local indices.
    const fint nr = (nb == 1) ? M : nc;
    const fint d0 = KEEP(kl.iptrd + jfirst);
    const std::int64_t nz64 = std::int64_t(KEEP(kl.iptrd + jlast + 1)) - d0;
    const fint nz = static_cast<fint>(std::clamp<std::int64_t>(nz64, -1, newne));
    // The block's entries as MA50BD reads them, checked before it reads
    // them: column pointers in order among the stored entries, rows inside
    // the block's NR rows, made local as they are tested (for a long block
    // each tested first in one vector pass).
    // (The analysis packs every column of a block without entries.)
    bool inside = d0 >= 1 && nz64 >= 0 && std::int64_t(d0) + nz64 - 1 <= newne &&
                  (nz64 > 0 || KEEP(kl.mblock + 3 * jb) == nc);
    const fint* ptr = keep_p + kl.iptrd + jfirst - 1;
    if (inside && nc >= 16) {
      inside = tbl::unsym::nondecreasing(ptr, std::ptrdiff_t(nc) + 1) &&
               tbl::unsym::all_inside(irn_p + d0 - 1, nz, jfirst, jfirst + nr - 1);
      if (inside && jfirst > 1)
        for (fint q = d0; q < d0 + nz; ++q) IRN(q) -= jfirst - 1;
    } else if (inside) {
      for (fint j = 0; inside && j < nc; ++j) inside = ptr[j] <= ptr[j + 1];
      fint q = d0;
      if (inside)
        for (; q < d0 + nz; ++q) {
          // (the local row less one, formed without signed overflow)
          const std::uint32_t r0 = static_cast<std::uint32_t>(IRN(q)) - static_cast<std::uint32_t>(jfirst);
          if (r0 >= static_cast<std::uint32_t>(nr)) break;
          IRN(q) = static_cast<fint>(r0) + 1;
        }
      if (q < d0 + nz) {
        for (fint u = d0; u < q; ++u) IRN(u) += jfirst - 1;
        inside = false;
      }
    }
    if (!inside) {
      finish(tbl::ma48::kBadState);
      return;
    }
    for (fint j = jfirst; j <= jlast; ++j) KEEP(kl.iptrd + j) -= d0 - 1;
    if (!given_order)
      for (fint i = 1; i <= nr; ++i) IW(jfirst - 1 + i) = i;
    // A block keeps the factors of its columns before the changed ones only
    // if the host's new values in A(1:NE) left them alone: they begin at the
    // third position of the block's factor area (its place of the previous
    // call, for every block that does not run as JOB 1).
    if (icntl[7] != 0) {
      const bool intact = std::int64_t(newne) + kk + 3 > NE;
      icntl5[5] = intact ? KEEP(kl.kblock + 3 * std::int64_t(nb) + jb) : 0;
    }
    const fint lfact = tbl::saturate(std::int64_t(LA) - newne - kk);
    double* fact = a_p + newne + kk;
    fint* irnf = irn_p + newne + kk;
    fint* iptrl = keep_p + kl.iptrl + jfirst - 1;
    fint* iptru = keep_p + kl.iptru + jfirst - 1;
    fint info5[7] = {0, 0, 0, 0, 0, 0, 0};
    double rinfo5[1] = {0.0};
    kernel_called = true;
    if (nz == 0) {
      const fint used = empty_block_factors(nr, nc, cntl5, lfact, fact, irnf, iptrl, iptru);
      info5[0] = used < 0 ? -3 : 1;
      info5[3] = used < 0 ? -used : used;
      info5[6] = nr;
    } else {
      // Where the kernel gave up counting, its sure bound can be tens of
      // times what the block needs; the extrapolation it gives instead may
      // fall short, which costs a host that grows its arrays by half at
      // least one more call.
      std::int64_t estimate = -1;
      tbl::ma50::factorise(&nr, &nc, &nz, &job5, a_p + d0 - 1, irn_p + d0 - 1, keep_p + kl.iptrd + jfirst - 1, cntl5,
                           icntl5, iw_p + jfirst - 1, &iq0, &KEEP(kl.mblock + 3 * jb), &lfact, fact, irnf, iptrl,
                           iptru, w, iw_p + M, info5, rinfo5, &estimate);
      if (info5[0] == -3 && estimate >= 0) {
        info5[3] = tbl::saturate(estimate);
        extrapolated = true;
      }
    }
    for (fint j = jfirst; j <= jlast; ++j) KEEP(kl.iptrd + j) += d0 - 1;
    if (jfirst > 1)
      for (fint q = d0; q < d0 + nz; ++q) IRN(q) += jfirst - 1;

    // MA50BD's status.
    const fint st = info5[0];
    if (st == -6) {
      finish(-6);
      return;
    }
    if (st < -7) {
      finish(-7);
      return;
    }
    if (st == -3 || INFO(1) == -3) {
      // Out of storage: go on counting what every block needs, each tried
      // against the whole factor area.
      INFO(1) = -3;
      INFO(4) = tbl::saturate(std::int64_t(INFO(4)) + info5[3]);
      kk = 0;
    } else if (st < 0) {
      // Only a KEEP, IRN or JCN changed since the analysis gets here.
      finish(tbl::ma48::kBadState);
      return;
    } else {
      INFO(4) = std::max<fint>(INFO(4), tbl::saturate(std::int64_t(newne) + kk + info5[3]));
      KEEP(kl.kblock + 3 * jb) = tbl::saturate(kk + 1);
      const std::int64_t mf = irnf[1];
      const std::int64_t nf = nc - KEEP(kl.mblock + 3 * jb);
      kk += std::max(mf * nf, mf + nf) + KEEP(kl.iptrl + jlast);
      if (st == 1) INFO(1) = 2;
    }
    rinfo[0] += rinfo5[0];
    INFO(5) += info5[4];
    INFO(6) += info5[5];
    jfirst = jlast + 1;
  }

  if (jfirst != N + 1) {  // the orders do not add up to N
    finish(tbl::ma48::kBadState);
    return;
  }
  INFO(4) = std::max<fint>(INFO(4), tbl::saturate(two_ne));
  // An extrapolation can also overshoot, by tens of times where the fill
  // comes early in the pivot order and not later.  The factorisation needs
  // more than the LA it ran short with, so three times LA never asks for
  // more than three times that need, and is still more than LA.
  if (extrapolated) INFO(4) = std::min<fint>(INFO(4), tbl::saturate(3 * std::int64_t(LA)));
  KEEP(kl.kblock + 3) = nb;
  if (INFO(1) == -3) {
    // A factorisation that ran short leaves no factors to solve with.
    tbl::ma48::mark_no_factors(M, N, keep_p);
    error_message(icntl, -3, false, M, N, NE, JOB, LA, INFO(4));
    return;
  }
  if (monitor) exit_monitor(mon, M, N, JOB, a_p, irn_p, keep_p, info_p, rinfo);
}
