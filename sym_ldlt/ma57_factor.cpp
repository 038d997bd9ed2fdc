// MA57BD: checks, lays the values of the permuted structure out at the top
// of FACT and IFACT, runs the kernel and writes the monitors.
#include <algorithm>
#include <cstdint>

#include "interface/fmt.hpp"
#include "sym_ldlt/ma57.hpp"
#include "sym_ldlt/ma57_factor.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
using i64 = std::int64_t;

void error_record(fint unit, fint code, const char* text, i64 value) {
  tbl::io::write(unit, "(A,I3,/,A,I10)", "**** Error return from MA57BD ****  INFO(1) =", code, text,
                 static_cast<long long>(value));
}

// An integer array of the monitor: title, then five to a line; below print
// level 4 at most ten entries and a continuation line.
void dump_ints(fint unit, bool all, const char* title, const fint* p, i64 count, const char* more) {
  const i64 shown = all ? count : std::min<i64>(count, 10);
  tbl::io::write(unit, "(/,A,/,(5I12))", title, tbl::io::Ints{p, shown});
  if (shown < count) tbl::io::write(unit, "(16X,A)", more);
}

void entering_monitor(fint mp, bool reentry, fint n, fint ne, const double* a, fint lfact, fint lifact,
                      const fint* keep, const fint* icntl, const double* cntl) {
  const tbl::ma57::KeepLayout kl(n, ne);
  Vec1<const fint> K(keep);
  Vec1<const fint> ic(icntl);
  const fint nz = K(kl.nz());
  const fint nsteps = K(kl.nsteps());
  tbl::io::write(mp, "(/,/,'Entering factorization phase (MA57BD) with ...')");
  if (reentry) tbl::io::write(mp, "('Re-entry call after call to MA57ED')");
  tbl::io::write(mp,
                 "('N       Order of input matrix               =',I12,/,'NE      Entries in input matrix     "
                 "        =',I12,/,'        Entries in input matrix (inc diags) =',I12,/,'ICNTL(1)  Stream for "
                 "errors                 =',I12,/,' --- (2)  Stream for warnings               =',I12,/,' --- "
                 "(3)  Stream for monitoring             =',I12,/,' --- (4)  Stream for statistics           "
                 "  =',I12,/,' --- (5)  Level of diagnostic printing      =',I12,/,' --- (7)  Numerical pivoting "
                 "control        =',I12,/,' --- (8)  Restart or discard factors        =',I12,/,' --- (11) Block "
                 "size for Level 3 BLAS       =',I12,/,'LFACT   Size of real working space          =',I12,/,"
                 "'LIFACT  Size of integer working space       =',I12,/,'        Number nodes in assembly tree   "
                 "    =',I12,/,'CNTL(1) Value of threshold parameter        =',D12.5,/,'CNTL(2) Threshold for "
                 "zero pivot            =',D12.5)",
                 n, ne, nz, ic(1), ic(2), ic(3), ic(4), ic(5), ic(7), ic(8), ic(11), lfact, lifact, nsteps, cntl[0],
                 cntl[1]);
  const bool all = ic(5) >= 4;
  if (ne > 0) {
    const i64 shown = all ? ne : std::min<i64>(ne, 10);
    tbl::io::FmtList list;
    list.add("Matrix entries:");
    for (i64 k = 1; k <= shown; ++k) list.add(static_cast<long long>(k)).add(": (").add(a[k - 1]).add(")");
    tbl::io::write_list(mp, "(/,A,/,(3(I6,A,1P,D16.8,A)))", list);
    if (shown < ne) tbl::io::write(mp, "(A)", "     . . .");
  }
  dump_ints(mp, all, "Permutation array:", K.at(1), n, " . . .");
  dump_ints(mp, all, "Number of entries in rows of permuted matrix:", K.at(kl.row_counts()), n, " . . .");
  dump_ints(mp, all, "Tree nodes at which variables eliminated:", K.at(kl.node_of_var()), n, " . . .");
  if (nsteps >= 1)
    dump_ints(mp, all, "Number of assemblies at each tree node:", K.at(kl.sons_per_node()), nsteps, " . . .");
  dump_ints(mp, all, "Map array:", K.at(kl.map()), ne, " . . .");
  dump_ints(mp, all, "Column indices of permuted matrix:", K.at(kl.columns()), nz, "     . . .");
}

void leaving_monitor(fint mp, const fint* info, const double* rinfo) {
  Vec1<const fint> I(info);
  Vec1<const double> R(rinfo);
  tbl::io::write(mp,
                 "(/,'Leaving factorization phase (MA57BD) with ...',/,'INFO (1)                              "
                 "        =',I12,/,' --- (2)                                      =',I12,/,' --- (14) Number of "
                 "entries in factors        =',I12,/,' --- (15) Real storage for factors            =',I12,/,' "
                 "--- (16) Integer storage for factors         =',I12,/,' --- (17) Min LFACT with compresses       "
                 "    =',I12,/,' --- (18) Min LIFACT with compresses          =',I12,/,' --- (19) Min LFACT without "
                 "compresses        =',I12,/,' --- (20) Min LIFACT without compresses       =',I12,/,' --- (21) "
                 "Order of largest frontal matrix     =',I12,/,' --- (22) Number of 2x2 pivots                "
                 "=',I12,/,' --- (23) Number of delayed pivots            =',I12,/,' --- (24) Number of negative "
                 "eigenvalues      =',I12,/,' --- (25) Rank of factorization               =',I12,/,' --- (28) "
                 "Number compresses on real data      =',I12,/,' --- (29) Number compresses on integer data   "
                 "=',I12,/,' --- (31) Number of block pivots in factors   =',I12)",
                 I(1), I(2), I(14), I(15), I(16), I(17), I(18), I(19), I(20), I(21), I(22), I(23), I(24), I(25),
                 I(28), I(29), I(31));
  tbl::io::write(mp,
                 "('RINFO(3)  Operations during node assembly     =  ',1P,D10.3,/,'-----(4)  Operations during "
                 "node elimination  =  ',1P,D10.3,/,'-----(5)  Extra operations because of BLAS    =  ',1P,"
                 "D10.3)",
                 R(3), R(4), R(5));
  if (I(27) > 0)
    tbl::io::write(mp,
                   "(/,'Matrix modification performed',/,'INFO (27) Step at which matrix first modified =',I12,"
                   "/,'RINFO(14) Maximum value added to diagonal     =  ',1P,D10.3,/,'RINFO(15) Smallest pivot in "
                   "modified matrix   =  ',1P,D10.3)",
                   I(27), R(14), R(15));
}

}  // namespace

extern "C" void MA57BD(const fint* n_, const fint* ne_, const double* a, double* fact, const fint* lfact_,
                       fint* ifact, const fint* lifact_, const fint* lkeep_, fint* keep, fint* iwork,
                       const fint* icntl, const double* cntl, fint* info_, double* rinfo) {
  Vec1<const fint> ic(icntl);
  Vec1<fint> info(info_);
  const fint lp = ic(1), mp = ic(3), ldiag = ic(5);
  const fint n = *n_, ne = *ne_, lfact = *lfact_, lifact = *lifact_, lkeep = *lkeep_;
  const bool errors = ldiag >= 1 && lp >= 0;
  const bool monitor = ldiag >= 3 && mp >= 0;

  auto fail = [&](fint code, fint detail, const char* text, i64 value) {
    info(1) = code;
    info(2) = detail;
    if (errors) error_record(lp, code, text, value);
  };
  if (n < 1) return fail(-1, n, "N has value ", n);
  if (ne < 0) return fail(-2, ne, "NE has value", ne);
  const i64 need_keep = tbl::ma57::min_lkeep(n, ne);
  if (lkeep < need_keep) {
    info(1) = -15;
    info(2) = lkeep;
    if (errors)
      tbl::io::write(lp, "(A,I3,/,A,I10,/,A,I10)", "**** Error return from MA57BD ****  INFO(1) =", -15,
                     "LKEEP has value    ", lkeep, "Should be at least ", static_cast<long long>(need_keep));
    return;
  }
  const fint mode = ic(7);
  if (mode < 1 || mode > 4) return fail(-10, mode, "ICNTL(7) has value", mode);

  const tbl::ma57::KeepLayout kl(n, ne);
  Vec1<fint> K(keep);
  const fint nz = K(kl.nz());
  const fint nsteps = K(kl.nsteps());
  const i64 need_int = i64{n} + 5 + nz;
  if (lifact < need_int) {
    fail(-4, lifact, "Insufficient integer space in IFACT, LIFACT = ", lifact);
    info(18) = tbl::saturate(need_int);
    return;
  }
  if (mode != 4 && lfact <= nz) {
    fail(-3, lfact, "Insufficient real space in FACT, LFACT = ", lfact);
    info(17) = nz;
    return;
  }
  const i64 need_real_mod = i64{n} + nz + 6;
  if (mode == 4 && lfact < need_real_mod) {
    fail(-3, lfact, "Insufficient real space in FACT, LFACT = ", lfact);
    info(17) = tbl::saturate(need_real_mod);
    return;
  }

  const bool reentry = K(kl.hold()) > 0;
  if (monitor) entering_monitor(mp, reentry, n, ne, a, lfact, lifact, keep, icntl, cntl);

  // With matrix modification the top N + 5 reals of FACT hold the
  // modification parameters and the amounts added to the diagonal, so the
  // kernel works below them.
  fint l = lfact;
  double* diagadd = fact;
  double* modparm = fact;
  if (mode == 4) {
    l = lfact - n - 5;
    diagadd = fact + (lfact - n);
    modparm = fact + (lfact - n - 5);
  }

  Vec1<fint> iw(iwork, n);
  if (!reentry) {
    Vec1<double> f(fact, lfact);
    const i64 base = i64{l} - nz;
    std::fill_n(f.at(base + 1), nz, 0.0);
    for (fint k = 1; k <= ne; ++k) {
      const fint slot = K(kl.map() + k - 1);
      // Slot 0 marks an entry that was out of range at analysis.
      if (slot >= 1 && slot <= nz) f(base + slot) = a[k - 1];
    }
    std::copy_n(K.at(kl.columns()), nz, ifact + (lifact - nz));
    for (fint i = 1; i <= n; ++i) iw(K(i)) = i;
  }

  MA57_FACTOR_KERNEL(&n, &nz, fact, &l, ifact, &lifact, K.at(kl.row_counts()), iwork, &nsteps,
                     K.at(kl.sons_per_node()), K.at(kl.node_of_var()), diagadd, modparm, keep, cntl, icntl,
                     info_, rinfo, K.at(kl.hold()));

  if (info(1) == 10 || info(1) == 11) {
    if (monitor) {
      if (info(1) == 10)
        tbl::io::write(mp,
                       "(/,'Leaving factorization phase (MA57BD) with ...',/,'Factorization suspended because of "
                       "lack of real space',/,'INFO (1) = ',I3)",
                       info(1));
      else
        tbl::io::write(mp,
                       "(/,'Leaving factorization phase (MA57BD) with ...',/,'Factorization suspended because of "
                       "lack of integer space',/,'INFO (1) = ',I3)",
                       info(1));
    }
    return;
  }
  for (fint i = 1; i <= n; ++i) K(iw(i)) = i;
  if (info(1) < 0) return;
  if (monitor) {
    leaving_monitor(mp, info_, rinfo);
    MA57_PRINT_FACTORS(fact, lfact_, ifact, lifact_, icntl);
  }
}
