// ZA38CD: the solve with the stored factors.  The factors are validated as a
// whole first (a host that damaged INDEX between the calls gets -7 and an
// untouched X, never a read outside the arrays); then the permutations, the
// block substitutions over the diagonal blocks' records and the entries
// above them, and iterative refinement with the componentwise backward
// errors omega1 and omega2 on the preserved copy.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "interface/blas.hpp"
#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_layout.hpp"

using namespace tbl;
using namespace tbl::za38;

namespace {

// 2^-15: the precision assumed when CNTL(3) is not a usable one.
constexpr double kFallbackEps = 3.0517578125e-05;

// The block structure and factors as ZA38_SOLVE receives them.
struct Blocks {
  fint n, nblocks;
  const fint* facti;  // FACTI(1) = INDEX(KEEP(4))
  const double* factx;
  const fint* bfptr;  // BFPTR(t) at bfptr[t-1]
  const fint* ib;
  const fint* offrowp;
  const fint* oi;
  const double* ox;
  double* work;  // scratch of the record solves (N reals)

  fint first(fint t) const { return nblocks >= 2 ? ib[t - 1] : 1; }
  fint last(fint t) const { return nblocks >= 2 ? ib[t] - 1 : n; }
  // The pivot of a block of order 1.
  double pivot(fint t) const { return factx[bfptr[t - 1] - 1]; }

  // One block factor's arguments for the record solves.
  struct Factor {
    fint r, npiv, nb;
    const fint* rtab;
    const fint* rdat;
    const double* br;
  };
  Factor factor(fint t) const {
    const fint e = nblocks >= 2 ? bfptr[t - 1] : 1;
    const fint* bf = facti + (e - 1);
    Factor f;
    f.r = bf[kBfRecords];
    f.npiv = bf[kBfPivots];
    f.nb = last(t) - first(t) + 1;
    f.rtab = bf + kBfHeader;
    f.rdat = bf + kBfHeader + f.r;
    f.br = factx + (bf[kBfRealStart] - 1);
    return f;
  }
  void l_solve(fint t, double* v) const {
    const Factor f = factor(t);
    ZA38_L_SOLVE(&f.r, &f.nb, f.rtab, f.rdat, f.br, v, work);
  }
  void u_solve(fint t, double* v) const {
    const Factor f = factor(t);
    ZA38_U_SOLVE(&f.r, &f.npiv, &f.nb, f.rtab, f.rdat, f.br, v, work);
  }
  void lt_solve(fint t, double* v) const {
    const Factor f = factor(t);
    ZA38_LT_SOLVE(&f.r, &f.npiv, &f.nb, f.rtab, f.rdat, f.br, v, work);
  }
  void ut_solve(fint t, double* v) const {
    const Factor f = factor(t);
    ZA38_UT_SOLVE(&f.r, &f.nb, f.rtab, f.rdat, f.br, v, work);
  }
  fint order(fint t) const { return last(t) - first(t) + 1; }
};

// W := (PMQ)^-1 W (trans false) or (PMQ)'^-1 W, in pivot positions.
void block_solve(const Blocks& b, double* w, bool trans) {
  if (b.nblocks < 2) {
    if (!trans) {
      b.l_solve(1, w);
      b.u_solve(1, w);
    } else {
      b.ut_solve(1, w);
      b.lt_solve(1, w);
    }
    return;
  }
  const fint* ib = b.ib;
  const fint* offrowp = b.offrowp;
  const fint* oi = b.oi;
  const double* ox = b.ox;
  if (!trans) {
    for (fint t = b.nblocks; t >= 1; --t) {
      const fint first = ib[t - 1], next = ib[t];
      for (fint i = first; i < next; ++i) {
        double s = w[i - 1];
        for (fint p = offrowp[i - 1]; p < offrowp[i]; ++p) s -= ox[p - 1] * w[oi[p - 1] - 1];
        w[i - 1] = s;
      }
      if (next - first == 1) {
        w[first - 1] /= b.pivot(t);
      } else {
        b.l_solve(t, w + (first - 1));
        b.u_solve(t, w + (first - 1));
      }
    }
    return;
  }
  for (fint t = 1; t <= b.nblocks; ++t) {
    const fint first = ib[t - 1], next = ib[t];
    if (next - first == 1) {
      w[first - 1] /= b.pivot(t);
    } else {
      b.ut_solve(t, w + (first - 1));
      b.lt_solve(t, w + (first - 1));
    }
    for (fint i = first; i < next; ++i) {
      const double wi = w[i - 1];
      for (fint p = offrowp[i - 1]; p < offrowp[i]; ++p) w[oi[p - 1] - 1] -= ox[p - 1] * wi;
    }
  }
}

// The permutations around the solve: W(i) = RHS(IN(i)) before, and
// X(OUT(i)) = W(i) after (or X(OUT(i)) + W(i) when ADD).
struct Ends {
  const double* rhs;
  const fint* in;
  double* x;
  const fint* out;
  bool add;
  void put(const double* w, fint i) const {
    if (add)
      x[out[i - 1] - 1] += w[i - 1];
    else
      x[out[i - 1] - 1] = w[i - 1];
  }
};

// X from RHS through W, as the permutation in, block_solve and the
// permutation out.  With several blocks and no transpose the three run as
// one sweep from the last block: a row takes its right-hand side when its
// block is reached and gives its solution as soon as that is final, so that
// the permutations' scattered reads and writes overlap the substitution,
// whose rows of order-1 blocks wait on each other.  Only when such blocks
// make up most of the matrix (larger blocks' record solves run better
// without the scattered accesses in between), and not when the right-hand
// side is the residual, which lies in the record solves' scratch, or is X
// itself (a host solving in place, which the separate passes allow).  So the
// sweep sets X, never adds a correction to it, and says so in its stores
// (left to the compiler, the test of ADD in the sweep's loop costs it
// registers).  A run of blocks of order 1 is one tight loop, its rows
// walked down while the block boundaries step by one.
void permuted_solve(const Blocks& b, double* w, bool trans, const Ends& e) {
  const fint n = b.n;
  if (trans || b.nblocks < 2 || b.nblocks <= n / 2 || e.add || e.rhs == b.work || e.rhs == e.x) {
    for (fint i = 1; i <= n; ++i) w[i - 1] = e.rhs[e.in[i - 1] - 1];
    block_solve(b, w, trans);
    for (fint i = 1; i <= n; ++i) e.put(w, i);
    return;
  }
  const fint* ib = b.ib;
  const fint* offrowp = b.offrowp;
  const fint* oi = b.oi;
  const double* ox = b.ox;
  for (fint t = b.nblocks; t >= 1; --t) {
    const fint first = ib[t - 1], next = ib[t];
    auto row = [&](fint i) {
      double s = e.rhs[e.in[i - 1] - 1];
      for (fint p = offrowp[i - 1]; p < offrowp[i]; ++p) s -= ox[p - 1] * w[oi[p - 1] - 1];
      return s;
    };
    if (next - first == 1) {
      // Block t and the blocks of order 1 right below it: row i is block t.
      for (fint i = first;; --i, --t) {
        w[i - 1] = row(i) / b.pivot(t);
        e.x[e.out[i - 1] - 1] = w[i - 1];
        if (t == 1 || ib[t - 2] != i - 1) break;
      }
      continue;
    }
    for (fint i = first; i < next; ++i) w[i - 1] = row(i);
    b.l_solve(t, w + (first - 1));
    b.u_solve(t, w + (first - 1));
    for (fint i = first; i < next; ++i) e.x[e.out[i - 1] - 1] = w[i - 1];
  }
}

// The solves with one factor, L or U, in either orientation.
void one_factor_solve(const Blocks& b, fint job, bool trans, const double* rhs, double* x, double* w,
                      const fint* cperm, const fint* rperm) {
  const fint n = b.n;
  const bool multi = b.nblocks >= 2;
  if (job == 1 && !trans) {
    for (fint i = 1; i <= n; ++i) x[i - 1] = rhs[rperm[i - 1] - 1];
    for (fint t = 1; t <= b.nblocks; ++t)
      if (!multi || b.order(t) > 1) b.l_solve(t, x + (b.first(t) - 1));
  } else if (job == 1) {
    for (fint i = 1; i <= n; ++i) w[i - 1] = rhs[i - 1];
    for (fint t = 1; t <= b.nblocks; ++t)
      if (!multi || b.order(t) > 1) b.lt_solve(t, w + (b.first(t) - 1));
    for (fint i = 1; i <= n; ++i) x[rperm[i - 1] - 1] = w[i - 1];
  } else if (!trans) {
    if (!multi) {
      for (fint i = 1; i <= n; ++i) w[i - 1] = rhs[i - 1];
      b.u_solve(1, w);
    } else {
      // Block k: U_kk y_k = b_k - L_k^-1 (entries above the block) y.
      for (fint t = b.nblocks; t >= 1; --t) {
        for (fint i = b.first(t); i <= b.last(t); ++i) {
          double s = 0.0;
          for (fint p = b.offrowp[i - 1]; p < b.offrowp[i]; ++p) s += b.ox[p - 1] * w[b.oi[p - 1] - 1];
          x[i - 1] = s;
        }
        const fint f = b.first(t);
        if (b.order(t) == 1) {
          w[f - 1] = (rhs[f - 1] - x[f - 1]) / b.pivot(t);
        } else {
          b.l_solve(t, x + (f - 1));
          for (fint i = f; i <= b.last(t); ++i) w[i - 1] = rhs[i - 1] - x[i - 1];
          b.u_solve(t, w + (f - 1));
        }
      }
    }
    for (fint i = 1; i <= n; ++i) x[cperm[i - 1] - 1] = w[i - 1];
  } else {
    for (fint i = 1; i <= n; ++i) x[i - 1] = rhs[cperm[i - 1] - 1];
    if (!multi) {
      b.ut_solve(1, x);
      return;
    }
    for (fint t = 1; t <= b.nblocks; ++t) {
      const fint f = b.first(t);
      if (b.order(t) == 1) {
        x[f - 1] /= b.pivot(t);
        w[f - 1] = x[f - 1];
      } else {
        b.ut_solve(t, x + (f - 1));
        for (fint i = f; i <= b.last(t); ++i) w[i - 1] = x[i - 1];
        b.lt_solve(t, w + (f - 1));
      }
      for (fint i = f; i <= b.last(t); ++i) {
        const double wi = w[i - 1];
        for (fint p = b.offrowp[i - 1]; p < b.offrowp[i]; ++p) x[b.oi[p - 1] - 1] -= b.ox[p - 1] * wi;
      }
    }
  }
}

// The componentwise backward errors OMEGA1 and OMEGA2 of X for M x = B (or
// M' x = B) from the kept copy AP/AI/AX; W1 returns the residual, W2 and W3
// (|M||x|) and the row sums of |M|.  X or its residual holding a value that
// is not finite (a right-hand side that is not, or factors that
// overflowed) has no backward error: both are then +Inf, never the 0 that
// the comparisons, which pass a NaN over, would leave.  So too when what a
// row's residual is measured against, |b| + |M||x| or |M||x| + (its sum of
// |M|) max|x|, is not finite although X and the residual are: entries near
// the overflow threshold make the row sums infinite, and a residual over an
// infinite denominator would read 0 for any X.  Out of line, so that the
// substitution loops of the plain solve keep their registers.
__attribute__((noinline)) void backward_errors(fint n, bool trans, const double* b, const double* x, const fint* ap,
                                               const fint* ai, const double* ax, double tau, double* w1, double* w2,
                                               double* w3, double& omega1, double& omega2) {
  const fint inc = 1;
  const double xnorm = std::fabs(x[idamax_(&n, x, &inc) - 1]);
  for (fint i = 0; i < n; ++i) {
    w1[i] = b[i];
    w2[i] = 0.0;
    w3[i] = 0.0;
  }
  for (fint j = 1; j <= n; ++j)
    for (fint p = ap[j - 1]; p < ap[j]; ++p) {
      const fint r = trans ? j : ai[p - 1], c = trans ? ai[p - 1] : j;
      const double m = ax[p - 1], mx = m * x[c - 1];
      w1[r - 1] -= mx;
      w2[r - 1] += std::fabs(mx);
      w3[r - 1] += std::fabs(m);
    }
  if (!all_finite(x, n) || !all_finite(w1, n)) {
    omega1 = omega2 = HUGE_VAL;
    return;
  }
  // The two denominators of a row are sums of magnitudes, so their
  // difference t is finite exactly when both are; t - t is then 0, else
  // NaN, which stays in the sum: every row checked without a branch, |M||x|
  // (in both) included.  A row whose residual is exactly 0 is measured
  // whatever its sums, so an exact X of a matrix near the overflow threshold
  // keeps its 0.  The maxima are kept in locals, as the compiler would
  // otherwise store them through the references at every row.
  double o1 = 0.0, o2 = 0.0, spoilt = 0.0;
  for (fint i = 0; i < n; ++i) {
    const double d1 = std::fabs(b[i]) + w2[i];
    const double sx = w3[i] * xnorm;
    const double d2 = (std::fabs(b[i]) + sx) * tau;
    const double den = w2[i] + sx;
    const double t = d1 - den;
    spoilt += w1[i] != 0.0 ? t - t : 0.0;
    if (d1 > d2) {
      o1 = std::max(o1, std::fabs(w1[i]) / d1);
    } else if (d2 > 0.0) {
      // A row without entries leaves only |b(i)|: measured as omega1,
      // since the omega2 quotient would be infinite.
      if (den > 0.0)
        o2 = std::max(o2, std::fabs(w1[i]) / den);
      else
        o1 = std::max(o1, std::fabs(w1[i]) / d1);
    }
  }
  omega1 = o1;
  omega2 = o2;
  if (spoilt != spoilt) omega1 = omega2 = HUGE_VAL;
}

}  // namespace

extern "C" {

void ZA38_SOLVE(const fint* n_, const fint* job_, const logical* transc, const fint* /*lfactx*/,
                const double* factx, const fint* /*lfacti*/, const fint* facti, const double* b, double* x,
                double* w1, double* w2, const fint* /*lwr*/, double* w3, double* w4, const double* cntl,
                fint* info, double* rinfo, const fint* cperm, const fint* rperm, const fint* /*pn*/,
                const fint* /*pnz*/, const fint* ap, const fint* ai, const double* ax, const fint* /*nor*/,
                const fint* /*noe*/, const fint* offrowp, const fint* oi, const double* ox, const fint* nblocks,
                const fint* bfptr, const fint* ib, const fint* maxstep_) {
  const fint n = *n_, job = *job_, maxstep = *maxstep_;
  const bool trans = is_true(*transc);
  const Blocks blk{n, *nblocks, facti, factx, bfptr, ib, offrowp, oi, ox, w2};
  if (job == 1 || job == 2) {
    one_factor_solve(blk, job, trans, b, x, w1, cperm, rperm);
    return;
  }

  // Rows of the matrix solved with: the preserved copy holds M by columns,
  // so for M' a column of the copy is a row.
  const double eps = cntl[kCntlEps - 1] > 0.0 && cntl[kCntlEps - 1] <= kFallbackEps ? cntl[kCntlEps - 1]
                                                                                    : kFallbackEps;
  const double tau = 1000.0 * eps * n;
  const fint* in_perm = trans ? cperm : rperm;
  const fint* out_perm = trans ? rperm : cperm;
  double last = 0.0, prev1 = 0.0, prev2 = 0.0;
  for (fint k = 0;; ++k) {
    const double* rhs = b;
    if (k > 0) {
      // The residual b - Mx (or b - M'x) before permutation.
      for (fint i = 0; i < n; ++i) w2[i] = b[i];
      for (fint j = 1; j <= n; ++j) {
        if (!trans) {
          const double xj = x[j - 1];
          for (fint p = ap[j - 1]; p < ap[j]; ++p) w2[ai[p - 1] - 1] -= ax[p - 1] * xj;
        } else {
          double s = w2[j - 1];
          for (fint p = ap[j - 1]; p < ap[j]; ++p) s -= ax[p - 1] * x[ai[p - 1] - 1];
          w2[j - 1] = s;
        }
      }
      rhs = w2;
    }
    permuted_solve(blk, w1, trans, Ends{rhs, in_perm, x, out_perm, k > 0});
    if (maxstep == 0) return;

    // Backward errors of the current x.  Infinite ones (X, its residual or
    // what that is measured against not finite) end the refinement at the
    // first solution, as no correction can then be judged; a later one
    // fails the halving test below and the last finite one is restored
    // with its figures.
    double omega1 = 0.0, omega2 = 0.0;
    backward_errors(n, trans, b, x, ap, ai, ax, tau, w1, w2, w3, omega1, omega2);
    if (k == 0 && omega1 == HUGE_VAL) {
      info[kInfoRefineSteps - 1] = 0;
      rinfo[kRinfoOmega1 - 1] = omega1;
      rinfo[kRinfoOmega2 - 1] = omega2;
      return;
    }
    const double sum = omega1 + omega2;

    if (1.0 + sum <= 1.0) {
      info[kInfoRefineSteps - 1] = k;
      rinfo[kRinfoOmega1 - 1] = omega1;
      rinfo[kRinfoOmega2 - 1] = omega2;
      return;
    }
    if (k > 0 && sum > last / 2.0) {
      if (sum > last) {
        for (fint i = 0; i < n; ++i) x[i] = w4[i];
        rinfo[kRinfoOmega1 - 1] = prev1;
        rinfo[kRinfoOmega2 - 1] = prev2;
      } else {
        rinfo[kRinfoOmega1 - 1] = omega1;
        rinfo[kRinfoOmega2 - 1] = omega2;
      }
      info[kInfoRefineSteps - 1] = k - 1;
      return;
    }
    info[kInfoRefineSteps - 1] = k;
    rinfo[kRinfoOmega1 - 1] = omega1;
    rinfo[kRinfoOmega2 - 1] = omega2;
    for (fint i = 0; i < n; ++i) w4[i] = x[i];
    last = sum;
    prev1 = omega1;
    prev2 = omega2;
    if (k + 1 > maxstep) return;
  }
}

void ZA38CD(const fint* n_, const fint* job_, const logical* transc, const fint* lvalue, const fint* lindex,
            const double* value, const fint* index, const fint* keep, const double* b, double* x, double* w,
            const double* cntl, const fint* icntl, fint* info, double* rinfo) {
  const fint n = *n_, job = *job_;
  info[kInfoStatus - 1] = 0;
  info[kInfoRefineSteps - 1] = 0;
  rinfo[kRinfoOmega1 - 1] = 0.0;
  rinfo[kRinfoOmega2 - 1] = 0.0;
  fint maxstep = std::max(icntl[kIcntlRefineSteps - 1], 0);
  fint lw = saturate(std::int64_t{maxstep == 0 ? 2 : 4} * n);
  const fint who = kWhoSolve, in = 1, out = 2, any_ne = 0;
  ZA38_REPORT(&who, &in, n_, &any_ne, job_, transc, lvalue, lindex, value, index, keep, cntl, icntl, info, rinfo, b,
              x, w, &lw);

  FactorSet fs;
  ValidateOptions opt;
  opt.use = FactorUse::kSolve;
  opt.check_copy = maxstep >= 1 && job != 1 && job != 2;
  opt.scratch = reinterpret_cast<unsigned char*>(w);  // N reals are at least N bytes
  if (n < 1) {
    info[kInfoStatus - 1] = kErrN;
    if (icntl[kIcntlPrintLevel - 1] >= 1) print_message(who, kErrN, 0, icntl[kIcntlErrorUnit - 1]);
  } else if (validate_factors(n, keep, index, *lindex, *lvalue, opt, fs) != 0) {
    info[kInfoStatus - 1] = kErrFactors;
    if (icntl[kIcntlPrintLevel - 1] >= 1) print_message(who, kErrFactors, 0, icntl[kIcntlErrorUnit - 1]);
  } else {
    if (maxstep >= 1) {
      const bool warn = warnings_printed(icntl);
      if (!fs.preserved()) {
        info[kInfoStatus - 1] = merged_status(info[kInfoStatus - 1], kWarnNoRefinement);
        if (warn) print_message(who, kWarnNoRefinement, 0, icntl[kIcntlErrorUnit - 1]);
        maxstep = 0;
      } else if (job == 1 || job == 2) {
        info[kInfoStatus - 1] = merged_status(info[kInfoStatus - 1], kWarnNoRefinement);
        if (warn) print_message(who, kWarnNoRefinement, 1, icntl[kIcntlErrorUnit - 1]);
        maxstep = 0;
      }
      if (maxstep == 0) lw = saturate(2 * std::int64_t{n});
    }
    const TopData& top = fs.topd;
    const bool multi = fs.multi();
    const fint lfactx = saturate(fs.k2 - fs.xb + 1), lfacti = saturate(top.pattern_end() - fs.k4 + 1);
    const fint lwr = maxstep > 0 ? n : 1;
    double* w3 = maxstep > 0 ? w + 2 * std::int64_t{n} : w;
    double* w4 = maxstep > 0 ? w + 3 * std::int64_t{n} : w;
    const fint pn = fs.preserved() ? n : 1, pnz = fs.preserved() ? fs.tr.nz : 1;
    const fint nor = multi ? n : 1, noe = std::max(fs.tr.noffdiag, fint{1});
    const fint* ap = fs.preserved() ? index + (fs.ap - 1) : index;
    const fint* ai = fs.preserved() ? index + (fs.ai - 1) : index;
    const double* ax = fs.preserved() ? value + (fs.ax - 1) : value;
    const fint* offrowp = multi ? index + (top.offrowp() - 1) : index;
    const fint* oi = multi ? index + (fs.oi - 1) : index;
    const double* ox = multi ? value + (fs.ox - 1) : value;
    const fint* bfptr = multi ? index + (top.bfptr() - 1) : index;
    const fint* ib = multi ? index + (top.ib() - 1) : index;
    ZA38_SOLVE(n_, job_, transc, &lfactx, value + (fs.xb - 1), &lfacti, index + (fs.k4 - 1), b, x, w,
               w + n, &lwr, w3, w4, cntl, info, rinfo, index + (top.cperm() - 1), index + (top.rperm() - 1), &pn,
               &pnz, ap, ai, ax, &nor, &noe, offrowp, oi, ox, &fs.tr.nblocks, bfptr, ib, &maxstep);
  }
  ZA38_REPORT(&who, &out, n_, &any_ne, job_, transc, lvalue, lindex, value, index, keep, cntl, icntl, info, rinfo,
              b, x, w, &lw);
}

}  // extern "C"
