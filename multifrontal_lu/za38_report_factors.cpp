// The stored factors in a report: where they lie, whether they hang
// together, the preserved copy, the entries above the diagonal blocks, the
// LU records block by block, and the permutations.  The input report of
// ZA38BD shows the retained pattern only (no VALUE position is used).
//
// Nothing inside INDEX or VALUE is read before KEEP and the trailer pass
// their checks and the whole factor set passes the validator; the walk
// itself reads through bounded readers, so a header that still points
// outside its region ends the listing instead of leaving it.
#include <algorithm>
#include <cstdint>

#include "multifrontal_lu/za38_layout.hpp"
#include "multifrontal_lu/za38_report.hpp"

namespace {

using tbl::fint;
using i64 = std::int64_t;
using namespace tbl::za38;
using namespace tbl::za38::report;

constexpr const char* kCorrupt = "LU factors uncomputed or corrupted!";

class FactorSection {
 public:
  explicit FactorSection(const Args& a) : a_(a), pattern_(a.who == kWhoRefactor && a.input) {}
  void print();

 private:
  void location_lines() const;
  void first_checks();
  void layout_lines();
  void preserved_copy();
  void offdiagonal();
  bool lu_listing();
  bool block(fint b, i64 e, i64 first, i64 last, i64 size);
  void permutations() const;

  // The level-3 test before a line that counts: false when the listing is
  // cut here (the ellipsis line is then printed).
  bool take() {
    if (a_.level() == 3 && count_ >= 10) {
      line(a_, kEllipsis);
      return false;
    }
    ++count_;
    return true;
  }
  void value_line(i64 index, double v) const {
    if (pattern_)
      tbl::io::write(a_.unit(), kIndexValue, index);
    else
      tbl::io::write(a_.unit(), kIndexValue, index, v);
  }
  bool level5() const { return a_.level() >= 5; }

  const Args& a_;
  const bool pattern_;
  bool corrupt_ = false;
  i64 k1_ = 0, k2_ = 0, k3_ = 0, k4_ = 0, k5_ = 0;
  i64 tf_ = 0, noffdiag_ = 0, nblocks_ = 0, jobf_ = 0, nz_ = 0, nf_ = 0, nef_ = 0;
  i64 p_ = 0, ioff_ = 0, xoff_ = 0, xb_ = 0;
  int count_ = 0;
};

void FactorSection::location_lines() const {
  if (pattern_) {
    text(a_, "KEEP (4...5) gives the location of LU factors");
    text(a_, "   which must be preserved for calls to ZA38BD: ");
  } else {
    text(a_, "KEEP (1...5) gives the location of LU factors");
    text(a_, "   which must be preserved for calls to ZA38CD: ");
    text(a_, "      VALUE ( KEEP (1): ", k1_, " ... KEEP (2): ", k2_, " )");
    text(a_, "      INDEX ( KEEP (3): ", k3_, " ... KEEP (5): ", k5_, " )");
    text(a_, "   and for calls to ZA38BD: ");
  }
  text(a_, "      INDEX ( KEEP (4): ", k4_, " ... KEEP (5): ", k5_, " )");
}

// KEEP alone; only when it passes is the trailer read.
void FactorSection::first_checks() {
  bool ok = k4_ >= 1 && k4_ <= k5_ - 6 && k5_ <= a_.lindex;
  if (!pattern_) ok = ok && k1_ >= 1 && k1_ <= k2_ && k2_ <= a_.lvalue && k3_ >= 1 && k4_ >= k3_ && k4_ <= k5_;
  if (!ok) {
    corrupt_ = true;
    return;
  }
  const Trailer t = read_trailer(a_.index, k5_);
  tf_ = t.transa;
  noffdiag_ = t.noffdiag;
  nblocks_ = t.nblocks;
  jobf_ = t.preserve;
  nz_ = t.nz;
  nf_ = t.n;
  nef_ = t.ne;
}

void FactorSection::layout_lines() {
  const i64 n = a_.n;
  if (level5()) {
    text(a_, pattern_ ? "Layout of LU factors in INDEX:" : "Layout of LU factors in VALUE and INDEX:");
    if (!pattern_) {
      if (jobf_ != 0) {
        text(a_, "   preserved copy of original matrix:");
        text(a_, "      INDEX ( ", k3_, " ... ", k3_ + nf_, " ): column pointers");
        text(a_, "      INDEX ( ", k3_ + nf_ + 1, " ... ", k3_ + nf_ + nz_, " ): row indices");
        text(a_, "      VALUE ( ", k1_, " ... ", k1_ + nz_ - 1, " ): numerical values");
      } else {
        text(a_, "   original matrix not preserved.");
      }
    }
  }

  bool second = nf_ == n && nz_ >= 1 && p_ - 1 >= k4_ && nblocks_ >= 1 && nblocks_ <= n;
  if (!pattern_) second = second && k2_ >= xoff_ && noffdiag_ >= 0;
  if (!second) corrupt_ = true;

  const i64 nb = nblocks_;
  const i64 pend = p_ - n - 2 * nb - 3;  // last word of the block factors
  if (!corrupt_ && nb > 1) {
    bool third = pend >= k4_;
    if (!pattern_) third = third && ioff_ + noffdiag_ <= pend && k2_ >= xb_ && ioff_ + noffdiag_ == k4_;
    if (!third) corrupt_ = true;
    if (level5()) {
      text(a_, "   matrix permuted to upper block triangular form.");
      if (!pattern_ && noffdiag_ != 0) {
        text(a_, "   entries not in diagonal blocks:");
        text(a_, "      INDEX ( ", ioff_, " ... ", k4_ - 1, " ): row indices");
        text(a_, "      VALUE ( ", xoff_, " ... ", xb_ - 1, " ): numerical values");
      }
      text(a_, "   collection of elements in LU factors of diagonal blocks:");
      if (pend >= k4_) text(a_, "      INDEX ( ", k4_, " ... ", pend, " ): integer data");
      if (!pattern_ && k2_ >= xb_) text(a_, "      VALUE ( ", xb_, " ... ", k2_, " ): numerical values");
      text(a_, "   other block triangular data:");
      text(a_, "      INDEX ( ", p_ - n - 2 * nb - 2, " ... ", p_ - n - nb - 3, " ): pointers to block factors");
      text(a_, "      INDEX ( ", p_ - n - nb - 2, " ... ", p_ - n - 2, " ): index range of blocks");
      if (!pattern_) text(a_, "      INDEX ( ", p_ - n - 1, " ... ", p_ - 1, " ): off-diagonal row pointers");
    }
  } else {
    if (corrupt_) nblocks_ = 0;
    if (level5()) {
      text(a_, "   collection of elements in LU factors:");
      text(a_, "      INDEX ( ", k4_, " ... ", p_ - 1, " ): integer data");
      if (!pattern_) text(a_, "      VALUE ( ", xoff_, " ... ", k2_, " ): numerical values");
    }
  }

  if (level5()) {
    text(a_, "   permutation vectors:");
    text(a_, "      INDEX ( ", p_, " ... ", p_ + nf_ - 1, " ): column permutations");
    text(a_, "      INDEX ( ", p_ + nf_, " ... ", k5_ - 7, " ): row permutations");
    text(a_, "   other data in INDEX: ");
    const i64 values[] = {tf_, noffdiag_, nblocks_, jobf_, nz_, nf_, nef_};
    static constexpr const char* kWhat[] = {" : TRANSA ZA38AD/ZA38BD argument", " : entries in off-diagonal part",
                                            " : number of diagonal blocks",     " : JOB ZA38AD/ZA38BD argument",
                                            " : entries in original matrix",    " : N ZA38AD/ZA38BD argument",
                                            " : NE ZA38AD/ZA38BD argument"};
    for (int w = 0; w < 7; ++w) text(a_, "      INDEX ( ", k5_ - 6 + w, " ): ", values[w], kWhat[w]);
  }
}

// Column by column.  At level 3 positions above 10 are not shown, and the
// listing ends after the first column that reaches position 10.
void FactorSection::preserved_copy() {
  line(a_, kDashed);
  text(a_, "Preserved copy of original matrix (stored by column),");
  text(a_, "one entry per line (row index, value):");
  Region ptr(a_.index, k3_, k3_ + nf_);
  Region rows(a_.index, k3_ + nf_ + 1, k3_ + nf_ + nz_);
  Bounded<double> vals(a_.value, k1_, k1_ + nz_ - 1);
  const bool cut = a_.level() == 3;
  for (i64 j = 1; j <= a_.n; ++j) {
    text(a_, "   col: ", j);
    const i64 lo = ptr(k3_ + j - 1), hi = ptr(k3_ + j) - 1;
    for (i64 p = lo; p <= hi && !(cut && p > 10); ++p)
      tbl::io::write(a_.unit(), kIndexValue, rows(k3_ + nf_ + p), vals(k1_ + p - 1));
    if (cut && hi >= 10) {
      line(a_, kEllipsis);
      return;
    }
  }
}

void FactorSection::offdiagonal() {
  line(a_, kDashed);
  text(a_, "Entries not in diagonal blocks (stored by row):");
  text(a_, "one entry per line (column index, value):");
  if (noffdiag_ == 0) text(a_, "   (none)");
  const i64 n = a_.n;
  Region ptr(a_.index, p_ - n - 1, p_ - 1);  // OFFROWP(i) at P-N-2+i
  Region cols(a_.index, ioff_, ioff_ + noffdiag_ - 1);
  Bounded<double> vals(a_.value, xoff_, xoff_ + noffdiag_ - 1);
  const bool cut = a_.level() == 3;
  for (i64 i = 1; i <= n; ++i) {
    const i64 lo = ptr(p_ - n - 2 + i), hi = ptr(p_ - n - 1 + i) - 1;
    if (lo <= hi) text(a_, "   row: ", i);
    for (i64 p = lo; p <= hi && !(cut && p > 10); ++p)
      tbl::io::write(a_.unit(), kIndexValue, cols(ioff_ + p - 1), vals(xoff_ + p - 1));
    if (cut && hi >= 10) {
      line(a_, kEllipsis);
      return;
    }
  }
}

// One block factor at INDEX(E) and its records; false when the listing
// ends inside it (cut at level 3, or a header pointing outside).
bool FactorSection::block(fint b, i64 e, i64 first, i64 last, i64 size) {
  const i64 n = a_.n, nb = nblocks_;
  const i64 pend = nb > 1 ? p_ - n - 2 * nb - 3 : p_ - 1;
  Region ix(a_.index, k4_, pend);
  Bounded<double> vx(a_.value, xb_, k2_);
  const i64 xblk = xb_ + ix(e + kBfRealStart) - 1;
  const i64 records = ix(e + kBfRecords);
  if (nb > 1) text(a_, "Block: ", b, " first index: ", first, " last index: ", last);
  if (level5()) {
    text(a_, "elements: ", records, " pivots: ", ix(e + kBfPivots));
    text(a_, "largest contribution block: ", ix(e + kBfMaxRows), " by ", ix(e + kBfMaxCols));
    text(a_, "located in INDEX ( ", e, " ... )");
    if (!pattern_) text(a_, "and in VALUE ( ", xblk, " ... )");
  }
  i64 k0 = 0;
  for (i64 j = 1; j <= records && !ix.bad(); ++j) {
    const i64 x = bf_record(e, records, ix(bf_table(e, j)));
    const i64 k = ix(x + kRecPivots), nu = ix(x + kRecCols), nl = ix(x + kRecRows), ns = ix(x + kRecSons);
    const i64 xe = xblk + ix(x + kRecRealStart) - 1;
    const i64 ldr = k + nl;
    if (ix.bad()) break;
    auto v = [&](i64 pos) { return pattern_ ? 0.0 : vx(pos); };
    if (level5()) {
      text(a_, "   e: ", j, " pivots: ", k);
      text(a_, "   children in dag: ", ns, " frontal matrix: ", ix(x + kRecColExtent), " by ", ix(x + kRecRowExtent));
    }
    for (i64 c = 1; c <= k; ++c) {
      text(a_, "      L, col: ", k0 + c);
      ++count_;
      value_line(k0 + c, 1.0);
      for (i64 i = c + 1; i <= k; ++i) {
        if (!take()) return false;
        value_line(k0 + i, v(xe + (i - 1) + (c - 1) * ldr));
      }
      for (i64 t = 1; t <= nl; ++t) {
        if (!take()) return false;
        value_line(ix(x + 6 + t), v(xe + k + (t - 1) + (c - 1) * ldr));
      }
    }
    for (i64 r = 1; r <= k; ++r) {
      text(a_, "      U, row: ", k0 + r);
      for (i64 c = r; c <= k; ++c) {
        if (!take()) return false;
        value_line(k0 + c, v(xe + (r - 1) + (c - 1) * ldr));
      }
      for (i64 t = 1; t <= nu; ++t) {
        if (!take()) return false;
        value_line(ix(x + 6 + nl + t), v(xe + k * ldr + (r - 1) + (t - 1) * k));
      }
    }
    if (level5()) {
      for (i64 t = 1; t <= ns; ++t) {
        const i64 s = ix(x + 6 + nl + nu + t);
        ++count_;
        if (s <= size)
          text(a_, "      LUson: ", s);
        else if (s <= 2 * size)
          text(a_, "      Uson:  ", s - size);
        else
          text(a_, "      Lson:  ", s - 2 * size);
      }
    }
    if (vx.bad()) break;
    k0 += k;
  }
  if (ix.bad() || vx.bad()) {
    text(a_, kCorrupt);
    corrupt_ = true;
    return false;
  }
  return true;
}

bool FactorSection::lu_listing() {
  line(a_, kDashed);
  if (nblocks_ <= 0) return true;
  text(a_, pattern_ ? "Nonzero pattern of prior LU factors:" : "LU factors:");
  count_ = 0;
  const i64 n = a_.n, nb = nblocks_;
  if (nb == 1) return block(1, k4_, 1, n, n);
  Region top(a_.index, k4_, k5_);
  Bounded<double> vx(a_.value, xb_, k2_);
  for (fint b = 1; b <= nb; ++b) {
    const i64 first = top(p_ - n - nb - 3 + b), last = top(p_ - n - nb - 2 + b) - 1;
    const i64 bfptr = top(p_ - n - 2 * nb - 3 + b);
    const i64 size = last - first + 1;
    if (b > 1) line(a_, kDotted);
    if (size == 1) {
      if (!take()) return false;
      const i64 pos = xb_ + bfptr - 1;
      if (pattern_)
        text(a_, "Block: ", b, " (singleton) at index : ", first);
      else
        tbl::io::write(a_.unit(), "(' ',A,I12,A,I12,A,D11.4)", "Block: ", b, " (singleton) at index : ", first,
                       " value: ", vx(pos));
      // The position is shown in the pattern too, where it is only computed
      // from KEEP(1) as given, never read.
      if (level5()) text(a_, "located in VALUE ( ", pos, " )");
      if (vx.bad()) {
        text(a_, kCorrupt);
        corrupt_ = true;
        return false;
      }
    } else if (!block(b, k4_ + bfptr - 1, first, last, size)) {
      return false;
    }
  }
  return true;
}

void FactorSection::permutations() const {
  const fint n = a_.n;
  const fint m = a_.level() >= 4 ? n : std::min<fint>(n, 10);
  line(a_, kDashed);
  text(a_, "Column permutations");
  for (fint i = 1; i <= m; ++i) tbl::io::write(a_.unit(), kIndexValue, a_.index[p_ + i - 2]);
  if (m < n) line(a_, kEllipsis);
  line(a_, kDashed);
  text(a_, "Row permutations");
  for (fint i = 1; i <= m; ++i) tbl::io::write(a_.unit(), kIndexValue, a_.index[p_ + nf_ + i - 2]);
  if (m < n) line(a_, kEllipsis);
}

void FactorSection::print() {
  const fint status = a_.info[kInfoStatus - 1];
  if (status < 0) {
    text(a_, "LU factors not printed because of error flag, INFO (1) =", status);
    return;
  }
  const fint* keep = a_.keep;
  k1_ = keep[kKeepValueFirst - 1];
  k2_ = keep[kKeepValueLast - 1];
  k3_ = keep[kKeepIndexFirst - 1];
  k4_ = keep[kKeepRetainedFirst - 1];
  k5_ = keep[kKeepIndexLast - 1];
  if (level5()) location_lines();
  first_checks();
  p_ = k5_ - 2 * nf_ - 6;
  ioff_ = jobf_ != 0 ? k3_ + nf_ + 1 + nz_ : k3_;
  xoff_ = jobf_ != 0 ? k1_ + nz_ : k1_;
  xb_ = nblocks_ > 1 ? xoff_ + noffdiag_ : xoff_;
  layout_lines();

  if (!pattern_ && !corrupt_ && (nblocks_ > 1 ? ioff_ + noffdiag_ : ioff_) != k4_) corrupt_ = true;
  if (!corrupt_) {
    // The interior as every reader checks it before use.
    FactorSet fs;
    ValidateOptions opt;
    opt.use = pattern_ ? FactorUse::kRetained : FactorUse::kSolve;
    opt.check_copy = true;
    if (validate_factors(a_.n, keep, a_.index, a_.lindex, a_.lvalue, opt, fs) != 0) corrupt_ = true;
  }
  if (corrupt_) {
    text(a_, kCorrupt);
    nblocks_ = 0;
    jobf_ = 0;
  }
  if (!pattern_ && jobf_ != 0) preserved_copy();
  if (!pattern_ && nblocks_ > 1) offdiagonal();
  if (!lu_listing() && corrupt_) return;
  if (!corrupt_) permutations();
}

}  // namespace

namespace tbl::za38::report {

void stored_factors(const Args& a) { FactorSection(a).print(); }

}  // namespace tbl::za38::report
