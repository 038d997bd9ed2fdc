// MA50AD: threshold-Markowitz pivot selection on one sparse M by N matrix,
// with the switch to full processing once the active part is dense enough.
//
// The active submatrix is held twice: by columns with values (A/IRN, start
// IQ(j), length LENC(j)) and by rows as column indices only (JCN, start IP(i),
// length LENR(i)).  Every list is packed; a list that must grow and has too
// few free positions after it moves to the free end of its storage, taking
// exactly the room of its new entries, and a zero index marks a vacated
// position.  When the free end reaches LA the storage is compressed.  Lists
// of length 0 have start 0 (but for a row that holds room for the fill-ins
// of the current step), so that the compression never takes another list's
// first position for theirs.
//
// While the analysis runs, an eliminated column j has IQ(j) = -(its position)
// and a row that was given a position has IP(i) = -(that position); active
// lists always have positive starts.
//
// Count lists: columns (and, in the full search, rows) are kept in doubly
// linked lists by their length.  A column or row always enters a list at its
// head.  Since the initial lists are built from the highest index down, each
// list starts in increasing index order; that order decides ties between
// candidates of equal cost and ratio (the first found is kept).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "interface/blas.hpp"
#include "interface/common.hpp"
#include "unsym_lu/ma50.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;

class Analysis {
 public:
  Analysis(fint m, fint n, fint la, double* a, fint* irn, fint* jcn, fint* iq, const double* cntl,
           const fint* icntl, fint* ip, fint* jfirst, fint* lenr, fint* lastr, fint* nextr, fint* iw,
           fint* ifirst, fint* lenc, fint* lastc, fint* nextc, fint* info, double* rinfo)
      : m_(m), n_(n), la_(la), a_(a, la), irn_(irn, la), jcn_(jcn, la), iq_(iq, n), ip_(ip, m),
        jfirst_(jfirst, m), lenr_(lenr, m), lastr_(lastr, m), nextr_(nextr, m), iw_(iw, m), ifirst_(ifirst, n),
        lenc_(lenc, n), lastc_(lastc, n), nextc_(nextc, n), info_(info, 7), rinfo_(rinfo), cntl_(cntl),
        icntl_(icntl) {}

  // Runs the analysis after the entry checks; NE >= 1 and LA >= NE.
  void run(fint ne, fint* np_out);

 private:
  // ---- storage of the active lists ------------------------------------
  bool room(bool cols, fint j, fint extra, fint hold);
  void col_remove_at(fint j, fint k);
  void row_remove(fint i, fint j, bool keep_start = false);
  void compress(bool cols);
  void note_extent() {
    info_(3) = std::max<fint>(info_(3), std::max(iac_ - 1, iar_ - 1));
  }
  void overflow(std::int64_t wanted) {
    info_(1) = -3;
    note_extent();
    info_(3) = std::max<fint>(info_(3), tbl::saturate(wanted));
  }

  // ---- count lists ----------------------------------------------------
  void col_list_add(fint j);
  void col_list_remove(fint j);
  void row_list_add(fint i);
  void row_list_remove(fint i);

  // ---- positions ------------------------------------------------------
  void place_empty_row(fint i) {
    ip_(i) = -(--last_row_pos_);
    ++nempty_rows_;
  }
  void place_column(fint j);

  // ---- steps ----------------------------------------------------------
  double col_max(fint j);
  double entry(fint i, fint j) const;
  bool acceptable(double v, double amax) const { return v != 0.0 && v >= std::max(u_ * amax, tol_); }
  void search(fint rr, fint cr, fint& pr, fint& pc, fint& nopiv);
  void given_order(fint k, fint& pr, fint& pc, fint& nopiv);
  void eliminate_without_pivot(fint c);
  bool eliminate(fint r, fint c);
  void finish();

  fint m_, n_, la_;
  fint ne_ = 0;
  Vec1<double> a_;
  Vec1<fint> irn_, jcn_, iq_, ip_, jfirst_, lenr_, lastr_, nextr_, iw_, ifirst_, lenc_, lastc_, nextc_, info_;
  double* rinfo_;
  const double* cntl_;
  const fint* icntl_;

  double u_ = 0.0, tol_ = 0.0, drop_ = 0.0, density_ = 0.0;
  fint limit_ = 0, mode_ = 0;
  bool full_ = false;   // rows are searched too (and kept in count lists)
  bool lists_ = false;  // columns are kept in count lists (not with a given order)
  fint b_ = 0;          // columns beyond b_ are set aside until the others are eliminated
  fint iac_ = 1, iar_ = 1;
  fint np_ = 0, npiv_ = 0, ntrail_ = 0, last_row_pos_ = 0, nempty_rows_ = 0;
  fint mincol_ = 1, minrow_ = 1;
  std::int64_t active_ = 0;   // entries of the active submatrix
  std::int64_t factor_ = 0;   // entries of the sparse factor columns
  std::vector<fint> dropped_;  // rows dropped from each column in one step
  // Full search: the largest magnitude of each column, and the search that
  // found it, so that one search finds it once however many rows lead to it.
  std::vector<double> colmax_;
  std::vector<fint> colmax_search_;
  fint search_ = 0;
};

// ------------------------------------------------------------------------
// Storage of the lists
// ------------------------------------------------------------------------

void Analysis::compress(bool cols) {
  ++info_(2);
  const tbl::logical reals = cols ? tbl::kTrue : tbl::kFalse;
  if (cols) {
    MA50_COMPRESS(&la_, a_.data(), irn_.data(), iq_.data(), &n_, &iac_, &reals);
  } else {
    MA50_COMPRESS(&la_, a_.data(), jcn_.data(), ip_.data(), &m_, &iar_, &reals);
  }
}

// Makes room for `extra` more entries directly behind list j of the column
// storage (cols) or of the row storage: in place when the positions behind
// it are free, else by moving the list to the free end, compressing the
// storage first when the free end is too short.  The room asked for is
// exact, so that no step leaves unused reserves behind that would bring the
// next compression forward.  The new positions hold the index `hold` until
// the caller fills them: being non-zero, they stay with the list through a
// compression made for another list.
bool Analysis::room(bool cols, fint j, fint extra, fint hold) {
  if (extra == 0) return true;
  Vec1<fint>& ind = cols ? irn_ : jcn_;
  Vec1<fint>& first = cols ? iq_ : ip_;
  fint& free_end = cols ? iac_ : iar_;
  const fint len = cols ? lenc_(j) : lenr_(j);
  if (len > 0) {
    const fint end = first(j) + len;
    fint k = end;
    while (k < free_end && k < end + extra && ind(k) == 0) ++k;
    bool fits = k == end + extra;
    if (!fits && k == free_end && std::int64_t(end) + extra - 1 <= la_) {
      free_end = end + extra;  // the list ends at the free end and grows into it
      fits = true;
    }
    if (fits) {
      for (k = end; k < end + extra; ++k) ind(k) = hold;
      note_extent();
      return true;
    }
  }
  const std::int64_t need = std::int64_t(len) + extra;
  if (free_end + need - 1 > la_) {
    compress(cols);
    if (free_end + need - 1 > la_) {
      overflow(free_end + need - 1);
      return false;
    }
  }
  const fint start = free_end;
  if (len > 0) {
    const fint old = first(j);
    if (cols) std::copy(a_.at(old), a_.at(old + len), a_.at(start));
    std::copy(ind.at(old), ind.at(old + len), ind.at(start));
    std::fill(ind.at(old), ind.at(old + len), 0);
  }
  std::fill(ind.at(start + len), ind.at(start + fint(need)), hold);
  first(j) = start;
  free_end = start + fint(need);
  note_extent();
  return true;
}

// Position of the first V among the LEN indices from position S of IND,
// which holds it (the last position when it does not).  Eight indices are
// compared at a time, so that a long row or column costs a branch per eight
// rather than per index.
fint find_index(const Vec1<fint>& ind, fint s, fint len, fint v) {
  const fint* p = ind.at(s);
  fint k = 0;
#if defined(__SSE2__)
  const __m128i key = _mm_set1_epi32(v);
  for (; k + 8 <= len; k += 8) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 4));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi32(lo, key), _mm_cmpeq_epi32(hi, key))) != 0) break;
  }
#else
  for (; k + 8 <= len; k += 8) {
    bool any = false;
    for (int t = 0; t < 8; ++t) any |= p[k + t] == v;
    if (any) break;
  }
#endif
  while (k < len - 1 && p[k] != v) ++k;
  return s + k;
}

// Removes the entry at position k of column j (the last entry takes its
// place).
void Analysis::col_remove_at(fint j, fint k) {
  const fint last = iq_(j) + lenc_(j) - 1;
  a_(k) = a_(last);
  irn_(k) = irn_(last);
  irn_(last) = 0;
  if (--lenc_(j) == 0) iq_(j) = 0;
}

// Removes column index j from row i (the last index takes its place).  A
// row that is emptied loses its start unless room is held for it behind.
void Analysis::row_remove(fint i, fint j, bool keep_start) {
  const fint s = ip_(i);
  const fint last = s + lenr_(i) - 1;
  jcn_(find_index(jcn_, s, lenr_(i), j)) = jcn_(last);
  jcn_(last) = 0;
  if (--lenr_(i) == 0 && !keep_start) ip_(i) = 0;
}

// ------------------------------------------------------------------------
// Count lists
// ------------------------------------------------------------------------

// One count list structure serves the columns (heads JFIRST, links
// LASTC/NEXTC) and the rows (IFIRST, LASTR/NEXTR): entry x of length len
// enters at the head of list len.
void list_add(Vec1<fint>& first, Vec1<fint>& last, Vec1<fint>& next, fint x, fint len, fint& minlen) {
  const fint head = first(len);
  next(x) = head;
  last(x) = 0;
  if (head != 0) last(head) = x;
  first(len) = x;
  minlen = std::min(minlen, len);
}

void list_remove(Vec1<fint>& first, Vec1<fint>& last, Vec1<fint>& next, fint x, fint len) {
  const fint prev = last(x), after = next(x);
  if (prev != 0) {
    next(prev) = after;
  } else {
    first(len) = after;
  }
  if (after != 0) last(after) = prev;
}

void Analysis::col_list_add(fint j) { list_add(jfirst_, lastc_, nextc_, j, lenc_(j), mincol_); }
void Analysis::col_list_remove(fint j) { list_remove(jfirst_, lastc_, nextc_, j, lenc_(j)); }
void Analysis::row_list_add(fint i) { list_add(ifirst_, lastr_, nextr_, i, lenr_(i), minrow_); }
void Analysis::row_list_remove(fint i) { list_remove(ifirst_, lastr_, nextr_, i, lenr_(i)); }

// Gives an eliminated (or emptied) column its position: a set-aside trailing
// column goes behind the boundary, any other one to the next front position.
// Once the front reaches the boundary the trailing columns already placed
// follow and nothing is set aside any more.  A given pivot sequence is
// followed as it stands, so there every column goes to the front.
void Analysis::place_column(fint j) {
  if (j > b_ && mode_ != 2) {
    ++ntrail_;
    iq_(j) = -(b_ + ntrail_);
    return;
  }
  iq_(j) = -(++np_);
  if (np_ == b_ && b_ < n_) {
    np_ += ntrail_;
    b_ = n_;
  }
}

// ------------------------------------------------------------------------
// Pivot search
// ------------------------------------------------------------------------

double Analysis::col_max(fint j) {
  const bool cached = !colmax_.empty();
  if (cached && colmax_search_[j - 1] == search_) return colmax_[j - 1];
  fint len = lenc_(j);
  double amax = 0.0;
  if (len > 0) {
    const fint one = 1;
    const fint k = idamax_(&len, a_.at(iq_(j)), &one);
    amax = std::fabs(a_(iq_(j) + k - 1));
  }
  if (cached) {
    colmax_[j - 1] = amax;
    colmax_search_[j - 1] = search_;
  }
  return amax;
}

double Analysis::entry(fint i, fint j) const {
  const fint s = iq_(j);
  for (fint k = s; k < s + lenc_(j); ++k) {
    if (irn_(k) == i) return a_(k);
  }
  return 0.0;
}

// Markowitz search.  On return either pc > 0 with pivot row pr (pr = 0: no
// candidate at all), or nopiv > 0: a column to eliminate without a pivot.
void Analysis::search(fint rr, fint cr, fint& pr, fint& pc, fint& nopiv) {
  pr = pc = nopiv = 0;
  ++search_;
  double best_cost = double(m_) * double(n_);
  double best_ratio = 0.0;
  fint evaluated = 0;
  const bool diag = mode_ == 1;
  while (mincol_ <= m_ && jfirst_(mincol_) == 0) ++mincol_;
  if (full_) {
    while (minrow_ <= n_ && ifirst_(minrow_) == 0) ++minrow_;
  }
  const fint start = full_ ? std::min(mincol_, minrow_) : mincol_;
  for (fint cnt = std::max<fint>(start, 1); cnt <= rr; ++cnt) {
    const double c1 = double(cnt - 1);
    if (full_ && pc != 0 && best_cost <= c1 * c1) return;
    if (cnt <= m_) {
      for (fint j = jfirst_(cnt); j != 0; j = nextc_(j)) {
        if (j > b_) continue;
        const double amax = col_max(j);
        if (amax <= tol_) {
          nopiv = j;
          pr = pc = 0;
          return;
        }
        const fint s = iq_(j);
        bool has_diag = !diag;
        for (fint k = s; k < s + cnt; ++k) {
          const fint i = irn_(k);
          if (diag && i != j) continue;
          has_diag = true;
          const double v = std::fabs(a_(k));
          if (!acceptable(v, amax)) continue;
          const double cost = double(lenr_(i) - 1) * c1;
          const double ratio = v / amax;
          if (cost < best_cost || (cost == best_cost && ratio > best_ratio)) {
            best_cost = cost;
            best_ratio = ratio;
            pr = i;
            pc = j;
            if (full_ && cost <= c1 * c1) return;
          }
        }
        if (!has_diag) continue;
        ++evaluated;
        if (evaluated >= limit_ && pc != 0) return;
      }
    }
    if (!full_) continue;
    if (pc != 0 && best_cost <= double(cnt) * c1) return;
    if (cnt > cr || cnt > n_) continue;
    for (fint i = ifirst_(cnt); i != 0; i = nextr_(i)) {
      const fint s = ip_(i);
      for (fint k = s; k < s + cnt; ++k) {
        const fint j = jcn_(k);
        if (j > b_ || (diag && j != i)) continue;
        const double cost = double(lenc_(j) - 1) * c1;
        if (!(cost < best_cost)) continue;
        const double amax = col_max(j);
        if (amax <= tol_) {
          nopiv = j;
          pr = pc = 0;
          return;
        }
        const double v = std::fabs(entry(i, j));
        if (v == 0.0 || v < u_ * amax) continue;
        best_cost = cost;
        best_ratio = v / amax;
        pr = i;
        pc = j;
        if (cost <= double(cnt) * c1) return;
      }
    }
  }
}

// Given pivot sequence: column IFIRST(k), and among its acceptable entries
// the row that comes first in the given row order (kept in NEXTR).
void Analysis::given_order(fint k, fint& pr, fint& pc, fint& nopiv) {
  pr = pc = nopiv = 0;
  const fint c = ifirst_(k);
  if (c < 1 || c > n_ || iq_(c) < 0) {
    info_(1) = -5;
    return;
  }
  const double amax = col_max(c);
  if (lenc_(c) == 0 || amax <= tol_) {
    nopiv = c;
    return;
  }
  const fint s = iq_(c);
  for (fint q = s; q < s + lenc_(c); ++q) {
    const fint i = irn_(q);
    if (!acceptable(std::fabs(a_(q)), amax)) continue;
    if (pr == 0 || nextr_(i) < nextr_(pr)) pr = i;
  }
  // With finite values and tolerance the largest entry is always
  // acceptable.  A NaN among the values or as CNTL(4) can leave no
  // candidate at all: the column then gets no pivot, as one whose largest
  // magnitude is not above the tolerance.
  if (pr == 0) {
    nopiv = c;
    return;
  }
  pc = c;
}

// ------------------------------------------------------------------------
// Elimination
// ------------------------------------------------------------------------

void Analysis::eliminate_without_pivot(fint c) {
  const fint len = lenc_(c);
  if (lists_ && len > 0) col_list_remove(c);
  const fint s = iq_(c);
  for (fint k = s; k < s + len; ++k) {
    const fint i = irn_(k);
    if (full_) row_list_remove(i);
    row_remove(i, c);
    if (lenr_(i) == 0) {
      place_empty_row(i);
    } else if (full_) {
      row_list_add(i);
    }
    irn_(k) = 0;
  }
  if (drop_ > 0.0) info_(6) += len;
  active_ -= len;
  lenc_(c) = 0;
  place_column(c);
}

// Eliminates column c with pivot row r: every other column j of row r gets
// column c times -a(r,j)/a(r,c).  Returns false when the storage overflows.
bool Analysis::eliminate(fint r, fint c) {
  const fint lenr_r = lenr_(r), lenc_c = lenc_(c);
  rinfo_[0] = rinfo_[0] + double(lenr_r) + 2.0 * (double(lenr_r - 1) * double(lenc_c - 1));
  ++npiv_;
  factor_ += lenr_r + lenc_c - 1;
  active_ -= lenr_r + lenc_c - 1;

  // Take the touched columns and rows out of their count lists.
  for (fint k = ip_(r); k < ip_(r) + lenr_r; ++k) {
    if (lists_) col_list_remove(jcn_(k));
  }
  if (full_) {
    for (fint k = iq_(c); k < iq_(c) + lenc_c; ++k) row_list_remove(irn_(k));
  }

  // Rows of column c are marked with the offset of their entry (plus one),
  // which survives a compression of the column storage.  LASTR counts the
  // fill-ins of each of these rows in this step and `seen` notes the last
  // column of the pivot row that already has the row (their count-list
  // links are free while they are out of the lists; without row lists
  // NEXTR is free throughout, except with a given pivot sequence, which
  // keeps its row order there but has no column lists).
  const Vec1<fint> seen = mode_ == 2 ? jfirst_ : nextr_;
  double pivot = 0.0;
  for (fint off = 0; off < lenc_c; ++off) {
    const fint i = irn_(iq_(c) + off);
    if (i == r) {
      pivot = a_(iq_(c) + off);
      iw_(i) = 0;
    } else {
      iw_(i) = off + 1;
      lastr_(i) = 0;
      seen(i) = 0;
      row_remove(i, c);
    }
  }

  // Columns first.  NEXTC(j) keeps where column j's fill-ins begin, so that
  // the rows can take them once each row knows how much room it needs;
  // LASTC(j) counts the entries dropped from column j, whose rows are kept
  // in dropped_ in the same order.  The loops below work on local copies of
  // the views and of the drop tolerance: no store into the arrays can then
  // change them, so they stay in registers.
  const Vec1<double> a = a_;
  const Vec1<fint> irn = irn_, iw = iw_;
  const double drop = drop_;
  dropped_.clear();
  for (fint t = 0; t < lenr_r; ++t) {
    const fint j = jcn_(ip_(r) + t);
    if (j == c) continue;
    // Remove the entry of the pivot row from column j and form the
    // multiplier.
    double arj = 0.0;
    if (lenc_(j) > 0) {
      const fint kr = find_index(irn, iq_(j), lenc_(j), r);
      if (irn(kr) == r) {
        arj = a(kr);
        col_remove_at(j, kr);
      }
    }
    const double mult = -arj / pivot;
    // Update the entries that column j already has in the rows of column c,
    // last to first so that a removal only moves an entry already visited.
    // Nothing moves in the storage meanwhile, so the starts of both columns
    // are read once.
    const std::size_t ndropped = dropped_.size();
    fint hits = 0;
    if (lenc_(j) > 0) {
      const fint cbase = iq_(c) - 1, js = iq_(j);
      if (drop > 0.0) {
        for (fint k = js + lenc_(j) - 1; k >= js; --k) {
          const fint i = irn(k);
          const fint off = iw(i);
          if (off <= 0) continue;
          ++hits;
          const double v = a(k) + mult * a(cbase + off);
          seen(i) = j;
          a(k) = v;
          if (std::fabs(v) < drop) {
            ++info_(6);
            --active_;
            dropped_.push_back(i);
            col_remove_at(j, k);
            if (lenc_(j) == 0) break;
          }
        }
      } else {
        for (fint k = js + lenc_(j) - 1; k >= js; --k) {
          const fint i = irn(k);
          const fint off = iw(i);
          if (off <= 0) continue;
          ++hits;
          a(k) = a(k) + mult * a(cbase + off);
          seen(i) = j;
        }
      }
    }
    // Fill-ins: rows of column c that column j does not have.  Without a
    // drop tolerance they are all the rows not met above.
    fint nfill = lenc_c - 1 - hits;
    if (drop > 0.0) {
      nfill = 0;
      for (fint off = 0, cs = iq_(c); off < lenc_c; ++off) {
        const fint i = irn(cs + off);
        if (i == r || seen(i) == j) continue;
        const double f = mult * a(cs + off);
        if (std::fabs(f) < drop) continue;
        ++nfill;
      }
    }
    lastc_(j) = fint(dropped_.size() - ndropped);
    if (!room(true, j, nfill, r)) return false;
    nextc_(j) = lenc_(j);
    // A compression for the room above may have moved column c.  Without a
    // drop tolerance the scan ends with the last fill-in.
    const fint cs = iq_(c);
    const fint first = iq_(j) + lenc_(j);
    fint pos = first;
    if (drop > 0.0) {
      for (fint off = 0; off < lenc_c; ++off) {
        const fint i = irn(cs + off);
        if (i == r || seen(i) == j) continue;
        const double f = mult * a(cs + off);
        if (std::fabs(f) < drop) {
          ++info_(6);
          continue;
        }
        a(pos) = f;
        irn(pos) = i;
        ++pos;
        ++lastr_(i);
      }
    } else {
      const fint end = first + nfill;
      for (fint off = 0; pos < end; ++off) {
        const fint i = irn(cs + off);
        if (i == r || seen(i) == j) continue;
        a(pos) = mult * a(cs + off);
        irn(pos) = i;
        ++pos;
        ++lastr_(i);
      }
    }
    lenc_(j) += pos - first;
    active_ += pos - first;
  }

  // Then the rows: each one moves at most once, with exactly the room its
  // fill-ins take (LASTR(i) becomes the extent of that room from the row's
  // start, which a compression does not change).  The rows then lose their
  // dropped entries and receive their fill-ins column by column in the
  // order of the pivot row, just as if each column had been applied to
  // them in turn: that order within the rows decides later ties.
  const fint hold = n_ + 1;
  for (fint off = 0; off < lenc_c; ++off) {
    const fint i = irn_(iq_(c) + off);
    if (i == r || lastr_(i) == 0) continue;
    if (!room(false, i, lastr_(i), hold)) return false;
    lastr_(i) += lenr_(i);
  }
  std::size_t next_dropped = 0;
  for (fint t = 0; t < lenr_r; ++t) {
    const fint j = jcn_(ip_(r) + t);
    if (j == c) continue;
    for (fint d = 0; d < lastc_(j); ++d) {
      const fint i = dropped_[next_dropped++];
      row_remove(i, j, lastr_(i) > 0);
    }
    if (lenc_(j) == 0) continue;
    for (fint k = iq_(j) + nextc_(j); k < iq_(j) + lenc_(j); ++k) {
      const fint i = irn_(k);
      jcn_(ip_(i) + lenr_(i)) = j;
      ++lenr_(i);
    }
  }
  if (!dropped_.empty()) {
    // Room that the dropped entries freed in a row stays empty.
    for (fint off = 0; off < lenc_c; ++off) {
      const fint i = irn_(iq_(c) + off);
      if (i == r || lastr_(i) == 0) continue;
      for (fint k = ip_(i) + lenr_(i); k < ip_(i) + lastr_(i); ++k) jcn_(k) = 0;
    }
  }

  // Rows of column c: emptied rows take the last positions, the others go
  // back to their count lists.
  for (fint off = 0; off < lenc_c; ++off) {
    const fint i = irn_(iq_(c) + off);
    iw_(i) = 0;
    if (i == r) continue;
    if (lenr_(i) == 0) {
      place_empty_row(i);
    } else if (full_) {
      row_list_add(i);
    }
  }
  // Column c takes its position before any column that this step emptied,
  // so that the factorisation meets those only once row r is pivotal.
  for (fint k = iq_(c); k < iq_(c) + lenc_c; ++k) irn_(k) = 0;
  lenc_(c) = 0;
  place_column(c);
  // Columns of row r go back to their count lists; an emptied one is
  // eliminated at once without a pivot (it can never get one).
  for (fint k = ip_(r); k < ip_(r) + lenr_r; ++k) {
    const fint j = jcn_(k);
    jcn_(k) = 0;
    if (j == c) continue;
    if (lenc_(j) > 0) {
      if (lists_) col_list_add(j);
    } else if (lists_) {
      place_column(j);
    }
  }
  ip_(r) = -npiv_;
  lenr_(r) = 0;
  note_extent();
  return true;
}

// ------------------------------------------------------------------------
// Driver
// ------------------------------------------------------------------------

void Analysis::run(fint ne, fint* np_out) {
  ne_ = ne;
  u_ = std::clamp(cntl_[1], 0.0, 1.0);
  drop_ = cntl_[2];
  tol_ = std::max(cntl_[3], 0.0);
  density_ = std::min(cntl_[0], 1.0);
  limit_ = icntl_[3] != 0 ? icntl_[3] : n_;
  full_ = icntl_[3] <= 0;
  if (full_) {
    colmax_.assign(n_, 0.0);
    colmax_search_.assign(n_, 0);
  }
  mode_ = icntl_[6];
  const fint k_trail = icntl_[5];
  b_ = (k_trail > 0 && k_trail < n_) ? n_ - k_trail : n_;

  // Column lengths, then pack the columns from position 1 on, leaving out
  // the entries below the drop tolerance.
  for (fint j = 1; j <= n_; ++j) lenc_(j) = (j < n_ ? iq_(j + 1) : ne + 1) - iq_(j);
  fint next = 1;
  for (fint j = 1; j <= n_; ++j) {
    const fint s = iq_(j), len = lenc_(j);
    iq_(j) = next;
    for (fint k = s; k < s + len; ++k) {
      if (drop_ > 0.0 && std::fabs(a_(k)) < drop_) {
        ++info_(6);
        continue;
      }
      a_(next) = a_(k);
      irn_(next) = irn_(k);
      ++next;
    }
    lenc_(j) = next - iq_(j);
  }
  const fint nz = next - 1;
  iac_ = iar_ = next;

  if (mode_ == 2) {
    for (fint i = 1; i <= m_; ++i) nextr_(i) = ip_(i);
    if (icntl_[3] != 1) {
      info_(1) = -6;
      return;
    }
  }

  // Row lists, with the check for a row met twice in one column.
  for (fint i = 1; i <= m_; ++i) {
    lenr_(i) = 0;
    iw_(i) = 0;
  }
  for (fint j = 1; j <= n_; ++j) {
    for (fint k = iq_(j); k < iq_(j) + lenc_(j); ++k) {
      const fint i = irn_(k);
      if (iw_(i) == j) {
        info_(1) = -4;
        return;
      }
      iw_(i) = j;
      ++lenr_(i);
    }
  }
  fint pos = 1;
  for (fint i = 1; i <= m_; ++i) {
    ip_(i) = lenr_(i) > 0 ? pos : 0;
    pos += lenr_(i);
    lenr_(i) = 0;
    iw_(i) = 0;
  }
  for (fint j = 1; j <= n_; ++j) {
    for (fint k = iq_(j); k < iq_(j) + lenc_(j); ++k) {
      const fint i = irn_(k);
      jcn_(ip_(i) + lenr_(i)) = j;
      ++lenr_(i);
    }
    if (lenc_(j) == 0) iq_(j) = 0;
  }
  active_ = nz;

  // Count lists.
  lists_ = mode_ != 2;
  last_row_pos_ = m_ + 1;
  for (fint len = 1; len <= m_; ++len) jfirst_(len) = 0;
  if (full_) {
    for (fint len = 1; len <= n_; ++len) ifirst_(len) = 0;
  }
  mincol_ = m_ + 1;
  minrow_ = n_ + 1;
  for (fint i = m_; i >= 1; --i) {
    if (lenr_(i) == 0) {
      place_empty_row(i);
    } else if (full_) {
      row_list_add(i);
    }
  }
  if (lists_) {
    for (fint j = n_; j >= 1; --j) {
      if (lenc_(j) == 0) {
        place_column(j);
      } else {
        col_list_add(j);
      }
    }
  }

  // Pivot steps until the active part is dense enough (or empty).
  for (;;) {
    const fint rr = m_ - npiv_;
    const fint cr = n_ - np_;
    if (density_ * double(cr) * double(rr) <= double(active_)) break;
    fint pr = 0, pc = 0, nopiv = 0;
    if (mode_ == 2) {
      given_order(np_ + 1, pr, pc, nopiv);
      if (info_(1) < 0) return;
    } else {
      search(rr, cr, pr, pc, nopiv);
    }
    if (nopiv != 0) {
      eliminate_without_pivot(nopiv);
      continue;
    }
    if (pc == 0) {
      info_(1) += 2;
      break;
    }
    if (!eliminate(pr, pc)) {
      // Partial counts stay in INFO(4) for the caller's diagnosis.
      info_(4) = tbl::saturate(factor_);
      *np_out = np_;
      return;
    }
  }
  finish();
  *np_out = np_;
}

void Analysis::finish() {
  const fint rr = m_ - npiv_;
  const fint cr = n_ - np_;
  const fint ncmin = std::min(rr, cr);
  info_(5) = npiv_ + std::min(rr - nempty_rows_, cr - (n_ - b_));
  double ops = rinfo_[0];
  for (fint k = 1; k <= ncmin; ++k) {
    const float prod = 2.0f * float(rr - k) * float(cr - k);
    ops = ops + double(rr - k + 1) + double(prod);
  }
  rinfo_[0] = ops;
  const std::int64_t block = std::max<std::int64_t>(std::int64_t(rr) * cr, std::int64_t(rr) + cr);
  // Entries that end in no factor (dropped, or in columns without a pivot)
  // can leave the forecast below the least length the factorisation
  // accepts at all, NE+2.
  info_(4) = tbl::saturate(std::max<std::int64_t>(factor_ + 2 * std::int64_t(m_) + 2 + block, ne_ + 2));
  info_(7) = rr;

  // Row positions: rows still active follow the pivots in index order.
  fint next = npiv_;
  for (fint i = 1; i <= m_; ++i) ip_(i) = ip_(i) < 0 ? -ip_(i) : ++next;

  // Column positions (kept in LENC), then inverted into IQ.
  fint front = np_;
  fint back = b_ + ntrail_;
  for (fint j = 1; j <= n_; ++j) {
    if (iq_(j) < 0) {
      lenc_(j) = -iq_(j);
    } else if (j <= b_) {
      lenc_(j) = ++front;
    } else {
      lenc_(j) = ++back;
    }
  }
  for (fint j = 1; j <= n_; ++j) iq_(lenc_(j)) = j;

  if (info_(5) < std::min(m_, n_)) info_(1) += 1;
  note_extent();
}

// The stored lists are long runs of kept positions between long runs of
// vacated ones (index 0), so the compression looks for the ends of both
// eight indices at a time.  With KEPT, the first position from K below END
// that is kept; otherwise the first that is not a plain kept index (vacated,
// or a list's marked first position).  END when there is none.
fint next_boundary(const Vec1<fint>& ind, fint k, fint end, bool kept) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; k + 8 <= end; k += 8) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ind.at(k)));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ind.at(k + 4)));
    const __m128i same = kept ? _mm_and_si128(_mm_cmpeq_epi32(lo, zero), _mm_cmpeq_epi32(hi, zero))
                              : _mm_and_si128(_mm_cmpgt_epi32(lo, zero), _mm_cmpgt_epi32(hi, zero));
    if (_mm_movemask_epi8(same) != 0xFFFF) break;
  }
#endif
  if (kept) {
    while (k < end && ind(k) == 0) ++k;
  } else {
    while (k < end && ind(k) > 0) ++k;
  }
  return k;
}

}  // namespace

extern "C" {

void MA50_COMPRESS(const fint* LA, double* A, fint* IND, fint* IPTR, const fint* N, fint* IACTIV,
                   const tbl::logical* REALS) {
  (void)LA;
  const fint n = *N;
  Vec1<double> a(A);
  Vec1<fint> ind(IND), iptr(IPTR, n);
  // Nothing is stored: leave the lists alone rather than mark positions
  // that hold no list.
  if (*IACTIV < 2) {
    *IACTIV = 1;
    return;
  }
  for (fint j = 1; j <= n; ++j) {
    if (iptr(j) <= 0) continue;
    const fint first = iptr(j);
    iptr(j) = ind(first);
    ind(first) = -j;
  }
  // Each run of kept positions moves down in one copy; the marked first
  // positions in it get their indices back and their lists the new starts.
  const bool reals = tbl::is_true(*REALS);
  const fint end = *IACTIV;
  fint out = 1;
  for (fint k = next_boundary(ind, 1, end, true); k < end;) {
    fint e = k;
    for (;;) {
      e = next_boundary(ind, e, end, false);
      if (e == end || ind(e) == 0) break;
      const fint j = -ind(e);
      ind(e) = iptr(j);
      iptr(j) = out + (e - k);
      ++e;
    }
    if (out != k) {
      std::copy(ind.at(k), ind.at(e), ind.at(out));
      if (reals) std::copy(a.at(k), a.at(e), a.at(out));
    }
    out += e - k;
    k = next_boundary(ind, e, end, true);
  }
  *IACTIV = out;
}

void MA50AD(const fint* M, const fint* N, const fint* NE, const fint* LA, double* A, fint* IRN, fint* JCN,
            fint* IQ, const double* CNTL, const fint* ICNTL, fint* IP, fint* NP, fint* JFIRST, fint* LENR,
            fint* LASTR, fint* NEXTR, fint* IW, fint* IFIRST, fint* LENC, fint* LASTC, fint* NEXTC, fint* INFO,
            double* RINFO) {
  Vec1<fint> info(INFO, 7);
  info(2) = 0;
  info(4) = *NE;
  for (fint k = 5; k <= 7; ++k) info(k) = 0;
  RINFO[0] = 0.0;
  *NP = 0;
  info(3) = *NE;
  if (*M < 1 || *N < 1) {
    info(1) = -1;
    return;
  }
  if (*NE < 1) {
    info(1) = -2;
    return;
  }
  if (*LA < *NE) {
    info(1) = -3;
    return;
  }
  info(1) = 0;
  Analysis an(*M, *N, *LA, A, IRN, JCN, IQ, CNTL, ICNTL, IP, JFIRST, LENR, LASTR, NEXTR, IW, IFIRST, LENC,
              LASTC, NEXTC, INFO, RINFO);
  an.run(*NE, NP);
}

}  // extern "C"
