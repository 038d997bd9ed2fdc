// MA57CD: solves with the factors of A = P L D L^T P^T, block by block.
//
// What is read of the factors:
//   IFACT(1)  first position of the list of 2x2 off-diagonal entries in FACT
//             (just after the last block), IFACT(2) its last position,
//   IFACT(3)  NBLK, then NBLK records NCOLS, NROWS, NCOLS variable indices
//             (the NROWS pivots first, both halves of a 2x2 pivot negated).
//   FACT, per block: the pivot block packed by columns (D^-1 on the diagonal,
//             then L below it), then the off-pivot part, NCOLS-NROWS entries
//             per pivot, holding -L21.
//
// Each block is processed either by the BLAS on a gathered copy of its rows
// (when it is big enough to repay the gather and the call overhead) or by
// indirect addressing straight in RHS; both apply the same operator.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "interface/blas.hpp"
#include "interface/common.hpp"
#include "interface/fmt.hpp"
#include "sym_ldlt/ma57_factor.hpp"
#include "sym_ldlt/ma57_solve.hpp"

namespace {

using tbl::fint;
using tbl::Mat1;
using tbl::Vec1;
using idx = std::ptrdiff_t;

constexpr fint kIOne = 1;
constexpr double kOne = 1.0;

// Offset of the diagonal entry of pivot column k within a packed lower
// triangle of order nrows (column k is preceded by columns of lengths
// nrows, nrows-1, ..., nrows-k+2).
inline idx packed_diag(idx k, idx nrows) { return (k - 1) * nrows - (k - 1) * (k - 2) / 2; }

inline idx packed_size(idx nrows) { return nrows * (nrows + 1) / 2; }

// Small blocks go by indirect addressing: below this size gathering into W
// and calling the BLAS costs more than it saves.
inline bool dense_block(idx nrows, idx ncols, fint threshold) { return nrows > 4 && ncols > threshold; }

struct Factors {
  Vec1<const double> fact;
  Vec1<const fint> ifact;
  Factors(const double* f, fint lfact, const fint* i, fint lifact) : fact(f, lfact), ifact(i, lifact) {}
};

// Solves L Y = B, the unit lower factor in pivot order.  Records in iwork
// where each block's record starts, for the backward pass.
void forward_pass(const Factors& fc, fint nrhs, double* rhs, idx lrhs, double* w, fint ldw, fint* iwork,
                  fint threshold, bool level3) {
  const auto& F = fc.fact;
  const auto& IF = fc.ifact;
  Vec1<fint> blk(iwork);
  Mat1<double> R(rhs, lrhs);
  Mat1<double> W(w, ldw);
  const fint nblk = IF(3);
  idx fpos = 1;
  idx ipos = 4;
  for (fint iblk = 1; iblk <= nblk; ++iblk) {
    blk(iblk) = static_cast<fint>(ipos);
    const fint ncols = IF(ipos);
    const fint nrows = IF(ipos + 1);
    const Vec1<const fint> var(IF.at(ipos + 2));
    auto row = [&](idx i) { return static_cast<idx>(std::abs(var(i))); };
    const fint nnp = ncols - nrows;  // non-pivot variables of the block

    if (dense_block(nrows, ncols, threshold)) {
      for (fint j = 1; j <= nrhs; ++j)
        for (idx i = 1; i <= ncols; ++i) W(i, j) = R(row(i), j);
      for (fint j = 1; j <= nrhs; ++j) dtpsv_("L", "N", "U", &nrows, F.at(fpos), W.at(1, j), &kIOne, 1, 1, 1);
      fpos += packed_size(nrows);
      if (nnp > 0) {
        if (level3)
          dgemm_("N", "N", &nnp, &nrhs, &nrows, &kOne, F.at(fpos), &nnp, W.at(1, 1), &ldw, &kOne,
                 W.at(nrows + 1, 1), &ldw, 1, 1);
        else
          dgemv_("N", &nnp, &nrows, &kOne, F.at(fpos), &nnp, W.at(1, 1), &kIOne, &kOne, W.at(nrows + 1, 1),
                 &kIOne, 1);
      }
      fpos += static_cast<idx>(nrows) * nnp;
      for (fint j = 1; j <= nrhs; ++j)
        for (idx i = 1; i <= ncols; ++i) R(row(i), j) = W(i, j);
    } else {
      const idx opos = fpos + packed_size(nrows);  // off-pivot part
      for (fint j = 1; j <= nrhs; ++j) {
        // Pivot block: column k of L, below its diagonal.
        idx p = fpos;
        for (idx k = 1; k <= nrows; ++k) {
          ++p;  // diagonal holds D^-1, not part of L
          const double wk = R(row(k), j);
          for (idx i = k + 1; i <= nrows; ++i, ++p) R(row(i), j) -= F(p) * wk;
        }
        // Off-pivot part, two pivots per sweep over the non-pivot rows.
        p = opos;
        idx k = 1;
        for (; k + 1 <= nrows; k += 2, p += 2 * static_cast<idx>(nnp)) {
          const double w1 = R(row(k), j);
          const double w2 = R(row(k + 1), j);
          for (idx r = 1; r <= nnp; ++r) R(row(nrows + r), j) += F(p + r - 1) * w1 + F(p + nnp + r - 1) * w2;
        }
        if (k == nrows) {
          const double w1 = R(row(k), j);
          for (idx r = 1; r <= nnp; ++r) R(row(nrows + r), j) += F(p + r - 1) * w1;
        }
      }
      fpos = opos + static_cast<idx>(nrows) * nnp;
    }
    ipos += static_cast<idx>(ncols) + 2;
  }
}

// Solves D L^T X = Y (with_d) or L^T X = Y, blocks in reverse order; iwork
// holds the block record positions.
void backward_pass(const Factors& fc, fint nrhs, double* rhs, idx lrhs, double* w, fint ldw, const fint* iwork,
                   fint threshold, bool level3, bool with_d) {
  const auto& F = fc.fact;
  const auto& IF = fc.ifact;
  Vec1<const fint> blk(iwork);
  Mat1<double> R(rhs, lrhs);
  Mat1<double> W(w, ldw);
  const fint nblk = IF(3);
  idx fpos = IF(1);
  idx lpos = IF(2);  // the 2x2 list is consumed from its end
  for (fint iblk = nblk; iblk >= 1; --iblk) {
    const idx ipos = blk(iblk);
    const fint ncols = std::abs(IF(ipos));
    const fint nrows = std::abs(IF(ipos + 1));
    const Vec1<const fint> var(IF.at(ipos + 2));
    auto row = [&](idx i) { return static_cast<idx>(std::abs(var(i))); };
    const fint nnp = ncols - nrows;
    fpos -= static_cast<idx>(nrows) * nnp;  // now at the off-pivot part
    const idx apos = fpos - packed_size(nrows);

    // D^-1 applied to the pivot rows, into W(1:nrows, j): the 2x2 pivots need
    // both halves' old values, so the result cannot go straight into RHS.
    idx lp = lpos;
    for (fint j = 1; j <= nrhs; ++j) {
      if (!with_d) {
        for (idx i = 1; i <= nrows; ++i) W(i, j) = R(row(i), j);
        continue;
      }
      for (idx i = nrows; i >= 1; --i) W(i, j) = F(apos + packed_diag(i, nrows)) * R(row(i), j);
      lp = lpos;
      idx s = -1;  // the later half of a 2x2 pivot is met first
      for (idx i = nrows; i >= 1; --i) {
        if (var(i) >= 0) continue;
        W(i, j) += F(lp) * R(row(i + s), j);
        if (s == 1) --lp;
        s = -s;
      }
    }
    lpos = lp;

    if (dense_block(nrows, ncols, threshold)) {
      for (fint j = 1; j <= nrhs; ++j)
        for (idx r = nrows + 1; r <= ncols; ++r) W(r, j) = R(row(r), j);
      if (nnp > 0) {
        if (level3)
          dgemm_("T", "N", &nrows, &nrhs, &nnp, &kOne, F.at(fpos), &nnp, W.at(nrows + 1, 1), &ldw, &kOne,
                 W.at(1, 1), &ldw, 1, 1);
        else
          dgemv_("T", &nnp, &nrows, &kOne, F.at(fpos), &nnp, W.at(nrows + 1, 1), &kIOne, &kOne, W.at(1, 1),
                 &kIOne, 1);
      }
      for (fint j = 1; j <= nrhs; ++j) dtpsv_("L", "T", "U", &nrows, F.at(apos), W.at(1, j), &kIOne, 1, 1, 1);
      for (fint j = 1; j <= nrhs; ++j)
        for (idx i = 1; i <= nrows; ++i) R(row(i), j) = W(i, j);
    } else {
      for (fint j = 1; j <= nrhs; ++j) {
        for (idx i = 1; i <= nrows; ++i) R(row(i), j) = W(i, j);
        // Off-pivot part: x_k += sum_r F(r,k) x_r, two pivots per sweep.
        idx p = fpos;
        idx k = 1;
        for (; k + 1 <= nrows; k += 2, p += 2 * static_cast<idx>(nnp)) {
          double s1 = 0.0;
          double s2 = 0.0;
          for (idx r = 1; r <= nnp; ++r) {
            const double xr = R(row(nrows + r), j);
            s1 += F(p + r - 1) * xr;
            s2 += F(p + nnp + r - 1) * xr;
          }
          R(row(k), j) += s1;
          R(row(k + 1), j) += s2;
        }
        if (k == nrows) {
          double s1 = 0.0;
          for (idx r = 1; r <= nnp; ++r) s1 += F(p + r - 1) * R(row(nrows + r), j);
          R(row(k), j) += s1;
        }
        // Unit upper triangle L11^T, last pivot first.
        for (idx kk = nrows; kk >= 1; --kk) {
          const idx d = apos + packed_diag(kk, nrows);
          double t = R(row(kk), j);
          for (idx i = nrows; i > kk; --i) t -= F(d + i - kk) * R(row(i), j);
          R(row(kk), j) = t;
        }
      }
    }
    fpos = apos;
  }
}

// Solves D X = B.  Applying D^-1 touches each pivot row once and reads only
// the block's own rows, so gathering them first would change nothing: both
// ways of the block switch are the same loop here.
void diagonal_pass(const Factors& fc, fint nrhs, double* rhs, idx lrhs, double* w, fint ldw) {
  const auto& F = fc.fact;
  const auto& IF = fc.ifact;
  Mat1<double> R(rhs, lrhs);
  Mat1<double> W(w, ldw);
  const fint nblk = IF(3);
  idx fpos = 1;
  idx lpos = IF(1);  // the 2x2 list is consumed from its start
  idx ipos = 4;
  for (fint iblk = 1; iblk <= nblk; ++iblk) {
    const fint ncols = IF(ipos);
    const fint nrows = IF(ipos + 1);
    const Vec1<const fint> var(IF.at(ipos + 2));
    auto row = [&](idx i) { return static_cast<idx>(std::abs(var(i))); };
    idx lp = lpos;
    for (fint j = 1; j <= nrhs; ++j) {
      for (idx i = 1; i <= nrows; ++i) W(i, j) = F(fpos + packed_diag(i, nrows)) * R(row(i), j);
      lp = lpos;
      idx s = 1;  // the earlier half of a 2x2 pivot is met first
      for (idx i = 1; i <= nrows; ++i) {
        if (var(i) >= 0) continue;
        W(i, j) += F(lp) * R(row(i + s), j);
        if (s == -1) ++lp;
        s = -s;
      }
      for (idx i = 1; i <= nrows; ++i) R(row(i), j) = W(i, j);
    }
    lpos = lp;
    fpos += packed_size(nrows) + static_cast<idx>(nrows) * (ncols - nrows);
    ipos += static_cast<idx>(ncols) + 2;
  }
}

void rebuild_block_positions(const Factors& fc, fint* iwork) {
  const fint nblk = fc.ifact(3);
  Vec1<fint> blk(iwork);
  if (nblk < 1) return;
  blk(1) = 4;
  for (fint k = 1; k < nblk; ++k) blk(k + 1) = blk(k) + std::abs(fc.ifact(blk(k))) + 2;
}

// Prints each column of RHS headed by title and the column number.
void print_columns(fint unit, fint level, const char* title, fint n, fint nrhs, const double* rhs, idx lrhs) {
  for (fint j = 1; j <= nrhs; ++j) {
    tbl::io::write(unit, "(/,A,I10)", title, j);
    tbl::ma57::print_vector(unit, level, "(1P,5D13.3)", n, rhs + (j - 1) * lrhs);
  }
}

}  // namespace

void tbl::ma57::print_vector(fint unit, fint level, const char* record, fint n, const double* v) {
  const fint k = level >= 4 ? n : std::min<fint>(n, 10);
  tbl::io::write(unit, record, tbl::io::Reals{v, k});
  if (k < n) tbl::io::write(unit, "(A)", "     . . .");
}

extern "C" {

void MA57_FWD_SOLVE1(const fint* /*n*/, const double* fact, const fint* lfact, const fint* ifact,
                     const fint* lifact, double* rhs, const fint* lrhs, double* w, const fint* ldw, fint* iwork,
                     const fint* icntl) {
  forward_pass(Factors(fact, *lfact, ifact, *lifact), 1, rhs, *lrhs, w, *ldw, iwork, icntl[12], false);
}

void MA57_FWD_SOLVEM(const fint* /*n*/, const double* fact, const fint* lfact, const fint* ifact,
                     const fint* lifact, const fint* nrhs, double* rhs, const fint* lrhs, double* w,
                     const fint* ldw, fint* iwork, const fint* icntl) {
  forward_pass(Factors(fact, *lfact, ifact, *lifact), *nrhs, rhs, *lrhs, w, *ldw, iwork, icntl[12], true);
}

void MA57_BACK_SOLVE1(const fint* /*n*/, const double* fact, const fint* lfact, const fint* ifact,
                      const fint* lifact, double* rhs, const fint* lrhs, double* w, const fint* ldw, fint* iwork,
                      const fint* icntl) {
  backward_pass(Factors(fact, *lfact, ifact, *lifact), 1, rhs, *lrhs, w, *ldw, iwork, icntl[12], false, true);
}

void MA57_BACK_SOLVEM2(const fint* /*n*/, const double* fact, const fint* lfact, const fint* ifact,
                       const fint* lifact, const fint* nrhs, double* rhs, const fint* lrhs, double* w,
                       const fint* ldw, fint* iwork, const fint* icntl) {
  backward_pass(Factors(fact, *lfact, ifact, *lifact), *nrhs, rhs, *lrhs, w, *ldw, iwork, icntl[12], true,
                true);
}

void MA57_BACK_SOLVEM(const fint* /*n*/, const double* fact, const fint* lfact, const fint* ifact,
                      const fint* lifact, const fint* nrhs, double* rhs, const fint* lrhs, double* w,
                      const fint* ldw, fint* iwork, const fint* icntl) {
  const Factors fc(fact, *lfact, ifact, *lifact);
  // No forward pass has recorded where the blocks start.
  rebuild_block_positions(fc, iwork);
  backward_pass(fc, *nrhs, rhs, *lrhs, w, *ldw, iwork, icntl[12], true, false);
}

void MA57_DIAG_SOLVE(const double* fact, const fint* lfact, const fint* ifact, const fint* lifact,
                     const fint* nrhs, double* rhs, const fint* lrhs, double* w, const fint* ldw,
                     const fint* /*icntl*/) {
  diagonal_pass(Factors(fact, *lfact, ifact, *lifact), *nrhs, rhs, *lrhs, w, *ldw);
}

void MA57CD(const fint* job, const fint* n, const double* fact, const fint* lfact, const fint* ifact,
            const fint* lifact, const fint* nrhs, double* rhs, const fint* lrhs, double* w, const fint* lw,
            fint* iwork, const fint* icntl, fint* info) {
  const Vec1<const fint> ic(icntl, 20);
  const Vec1<fint> inf(info, 40);
  const fint lp = ic(1);
  const fint mp = ic(3);
  const fint ldiag = ic(5);
  const bool print_errors = ldiag >= 1 && lp >= 0;
  const char* head = "**** Error return from MA57CD ****  INFO(1) =";

  if (*n < 1) {
    inf(1) = -1;
    inf(2) = *n;
    if (print_errors) tbl::io::write(lp, "(A,I3,/,A,I10)", head, inf(1), "N has value", *n);
    return;
  }
  if (*nrhs < 1) {
    inf(1) = -16;
    inf(2) = *nrhs;
    if (print_errors)
      tbl::io::write(lp, "(A,I4,/,A,I10,A)", head, inf(1), "value of NRHS =", *nrhs, " is less than 1");
    return;
  }
  if (*lrhs < *n) {
    inf(1) = -11;
    inf(2) = *lrhs;
    if (print_errors)
      tbl::io::write(lp, "(A,I4,/,A,I10,A,I10)", head, inf(1), "value of LRHS =", *lrhs, " is less than N=", *n);
    return;
  }
  // The product is formed in 64 bits: in 32 it can wrap and let a short W
  // through.
  const std::int64_t need = static_cast<std::int64_t>(*n) * *nrhs;
  if (*lw < need) {
    inf(1) = -17;
    inf(2) = tbl::saturate(need);
    if (print_errors)
      tbl::io::write(lp, "(A,I4,/,A,I10,A,I10)", head, inf(1), "value of LW =", *lw, " is less than", need);
    return;
  }

  const bool monitor = ldiag >= 3 && mp >= 0;
  if (monitor) {
    tbl::io::write(mp,
                   "(/,'Entering solution phase (MA57CD) with ...',/,"
                   "'JOB       Control on coefficient matrix       =',I12,/,"
                   "'N         Order of matrix                     =',I12,/,"
                   "'ICNTL(1)  Stream for errors                   =',I12,/,"
                   "' --- (2)  Stream for warnings                 =',I12,/,"
                   "' --- (3)  Stream for monitoring               =',I12,/,"
                   "' --- (4)  Stream for statistics               =',I12,/,"
                   "' --- (5)  Level of diagnostic printing        =',I12,/,"
                   "'LFACT     Length of array FACT                =',I12,/,"
                   "'LIFACT    Length of array IFACT               =',I12,/,"
                   "'NRHS      Number of right-hand sides          =',I12,/,"
                   "'LRHS      Leading dimension of RHS array      =',I12,/,"
                   "'LW        Leading dimension of work array     =',I12,/,"
                   "'ICNTL(13) Threshold for Level 2 and 3 BLAS    =',I12)",
                   *job, *n, ic(1), ic(2), ic(3), ic(4), ic(5), *lfact, *lifact, *nrhs, *lrhs, *lw, ic(13));
    MA57_PRINT_FACTORS(fact, lfact, ifact, lifact, icntl);
    print_columns(mp, ldiag, "Right-hand side", *n, *nrhs, rhs, *lrhs);
  }

  const fint ldw = *lw / *nrhs;
  const fint op = std::clamp<fint>(*job, 1, 4);
  if (op <= 2) {
    if (*nrhs == 1)
      MA57_FWD_SOLVE1(n, fact, lfact, ifact, lifact, rhs, lrhs, w, &ldw, iwork, icntl);
    else
      MA57_FWD_SOLVEM(n, fact, lfact, ifact, lifact, nrhs, rhs, lrhs, w, &ldw, iwork, icntl);
    if (op == 1) {
      if (*nrhs == 1)
        MA57_BACK_SOLVE1(n, fact, lfact, ifact, lifact, rhs, lrhs, w, &ldw, iwork, icntl);
      else
        MA57_BACK_SOLVEM2(n, fact, lfact, ifact, lifact, nrhs, rhs, lrhs, w, &ldw, iwork, icntl);
    }
  } else if (op == 3) {
    MA57_DIAG_SOLVE(fact, lfact, ifact, lifact, nrhs, rhs, lrhs, w, &ldw, icntl);
  } else {
    MA57_BACK_SOLVEM(n, fact, lfact, ifact, lifact, nrhs, rhs, lrhs, w, &ldw, iwork, icntl);
  }

  if (monitor) {
    tbl::io::write(mp, "(/,/,A)", "Leaving solution phase (MA57CD) with ...");
    print_columns(mp, ldiag, "Solution       ", *n, *nrhs, rhs, *lrhs);
  }
}

}  // extern "C"
