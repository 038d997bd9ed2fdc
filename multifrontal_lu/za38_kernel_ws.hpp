// The one view of the multifrontal factorisation kernel's workspace that
// every stage of the kernel shares: the integer and real sections ISEC and
// XSEC, the caller's work arrays, the counters, and the state of the
// current frontal matrix.  Each stage lives in its own file:
//
//   za38_factor_kernel.cpp    entry, initialisation, main loop
//   za38_kernel_search.cpp    pivot search and frontal matrix allocation
//   za38_kernel_assemble.cpp  degree update and assembly of elements
//   za38_kernel_pivots.cpp    further pivots inside a frontal matrix
//   za38_kernel_records.cpp   LU records, closing a front, new elements
//   za38_kernel_finish.cpp    end of the factorisation, permutations
//   za38_compact.cpp          compaction of both sections
//
// Words of a block of ISEC are counted from 0: w(p, k) is ISEC(p+k).
//
// ISEC, low heap (grows up to IFREE):
//   column block of column j at CBLK(j):
//     0 length, 1 degree, 2 value position, 3/4 next/previous in the value
//     list, 5 tuples T, 6 input entries E, 7/8 next/previous in its degree
//     list, 9.. the T tuples (element, offset), the E row indices last.
//   row block of row i at RPTR(i):
//     0 length, 1 degree, 2.. the CCNT(i) tuples, the RCNT(i) column
//     indices last.
//   dense column element N+k at RPTR(N+k) (the column's original block):
//     1 rows (= leading dimension), 2 value position, 3/4 value list,
//     5 live columns, 6 live rows, 8 its column, 9.. its rows.
//   frontal element e <= N at RPTR(e), 7 words:
//     0 position of the LU record holding its pattern, 1 leading
//     dimension, 2 value position, 3/4 value list, 5 live columns, 6 live
//     rows.  The record's word 2 is its column count, word 3 its row
//     count, its rows from word 7 and its columns after them; a row or
//     column taken out of the element is stored negated.
//   a free block has word 1 = -1 and its length in word 0.
// ISEC, high heap (grows down from IFSTART): the LU records.
// XSEC: input values, element values and the frontal matrix up to XFREE;
// the LU values from XFSTART to the top.
//
// RCNT and CCNT: for an active row, its input entries and its tuples; for
// an element, its external row and column counts stamped with TAG during
// a degree update, or the dead mark once it has been absorbed.
#pragma once

#include <cstdint>

#include "interface/common.hpp"

namespace tbl::za38 {

using i64 = std::int64_t;

// The column block header has 9 words, the row block header 2, the element
// header of a frontal matrix 7, an LU record header 7.
inline constexpr fint kColHead = 9;
inline constexpr fint kRowHead = 2;
inline constexpr fint kElemHead = 7;
inline constexpr fint kRecHead = 7;
inline constexpr fint kDenseHead = 11;

struct Kernel {
  // ---- order and sections
  fint n = 0;       // order of the block
  fint nzb = 0;     // entries of the block
  fint nd = 0;      // dense columns
  fint dthresh = 0;
  i64 lisec = 0, lxsec = 0;
  Vec1<fint> is;    // ISEC
  Vec1<double> xs;  // XSEC

  // ---- caller's arrays (1-based views)
  Vec1<fint> cblk, rowpos, colpos, fcols, frows, cpat, dhead, roff, rptr, rcnt, ccnt;
  Vec1<fint> colmap, rowmap;  // kernel arguments 5 and 6
  bool multi = false;         // kernel argument 17

  const fint* icntl = nullptr;
  const double* cntl = nullptr;
  fint* info = nullptr;
  double* rinfo = nullptr;
  fint* cmax = nullptr;
  fint* rmax = nullptr;
  fint* nrec = nullptr;
  i64* vnmax = nullptr;
  i64* vneed = nullptr;

  // ---- controls
  fint nsearch = 4, nb = 16;
  double tol = 0.1, growth = 2.0;
  bool sympref = false;

  // ---- heaps and accounts
  i64 ifree = 1, ifstart = 1, xfree = 1, xfstart = 1;
  i64 iinuse = 0, xinuse = 0;  // words in use (the caller's counts)
  i64 iest = 0, xest = 0;      // minimum memory without slack
  i64 ibase = 0, xbase = 0;    // what the counts held outside the factors at entry

  // ---- elimination state
  fint npiv = 0, mindeg = 1, nclosed = 0;
  fint tag = 0, tagm = 1;  // stamp of the degree update, largest front side so far
  fint dead = 0;           // -(N + NDENSE + 2)
  fint vhead = 0, vtail = 0, gapblk = 0;
  i64 gapsize = -1;
  bool failed = false;

  // ---- the current frontal matrix
  i64 fp = 0;             // its position in XSEC
  fint ld = 0, ldc = 0;   // leading dimension, columns allocated
  fint r = 0, c = 0;      // non-pivotal rows and columns
  fint k = 0, p = 0;      // pivots held, pending among them
  fint prow = 0, pcol = 0;
  fint cdeg = 0, ncols = 0;
  fint rowcap = 0;        // max(DTHRESH, LDC): rows with more input entries are not searched
  fint child_head = 0, nchild = 0;
  fint rec_name = 0;      // the row that names the next LU record
  i64 first_rec = 0;      // position of the front's first record (0 before)
  fint col_extent = 0, row_extent = 0;
  fint nrec_block = 0, maxr_rec = 1, maxc_rec = 1;

  // ---- small helpers
  fint& w(i64 pos, fint word) const { return is(pos + word); }
  i64 wcol() const { return fp + static_cast<i64>(ld) * ldc; }
  double* front(i64 row0, i64 col0) const { return xs.at(fp + row0 + col0 * ld); }
  fint nactive() const { return n - npiv; }
  bool is_dead(fint e) const { return rcnt(e) == dead; }
  // Rows and columns of element e: count, and the position of its list.
  fint elem_nrows(fint e) const;
  fint elem_ncols(fint e) const;
  i64 elem_rows(fint e) const;
  i64 elem_cols(fint e) const;
  fint& elem_live_cols(fint e) const { return w(rptr(e), 5); }
  fint& elem_live_rows(fint e) const { return w(rptr(e), 6); }
  fint elem_ld(fint e) const { return w(rptr(e), 1); }
  i64 elem_vals(fint e) const { return w(rptr(e), 2); }

  // ---- accounts
  void use_int(i64 words);   // IINUSE += words, INFO(18) raised
  void use_real(i64 reals);  // XINUSE += reals, INFO(20) raised
  void est_int(i64 words);   // integer estimate += words, INFO(19) raised
  void est_real(i64 reals);  // real estimate += reals, INFO(21) raised
  void need_value(i64 reals);  // the caller's running value need (argument 36) and its peak

  // ---- stages
  bool initialise();
  void release_value_tail();
  bool search_pivot(bool& found);
  bool allocate_front();
  void assemble(fint rs, fint cs, fint ca, fint ra);
  bool factor_front();
  bool write_record(bool goes_on);
  bool close_front();
  bool finish();
  void fail(bool ishort, bool xshort);  // records -3, -4 or both

  // ---- shared pieces
  void compact(bool spare, bool keep_front, bool keep_wcol);
  void link_child(fint e);
  void absorb(fint e);
  void free_values(fint b);
  void unlink_degree(fint j);
  void push_degree(fint j, fint d);
  void advance_tag(fint rr, fint cc);
  bool add_tuple(bool column, fint x, fint e, fint f);  // grows the block when full
  bool reserve_reals(i64 amount);  // XFREE grows, compacting first when short
};

}  // namespace tbl::za38

extern "C" {
// Compaction of the kernel's sections (arguments in the order the kernel
// passes them; see za38_compact.cpp).  FRONTP/WCOLP: the frontal matrix to
// move and its work column to place (0 = none).
void ZA38_COMPACT(double* xsec, const tbl::fint* lxsec, tbl::fint* xfree, std::int64_t* xinuse, tbl::fint* isec,
                  const tbl::fint* lisec, tbl::fint* ifree, std::int64_t* iinuse, tbl::fint* cblk, tbl::fint* rptr,
                  const tbl::fint* ndense, const tbl::fint* n, const tbl::fint* rowpos, const tbl::fint* colpos,
                  const tbl::fint* ccnt, const tbl::fint* rcnt, tbl::fint* frontp, const tbl::fint* frontsz,
                  tbl::fint* wcolp, const tbl::fint* wcolsz, const tbl::logical* spare, tbl::fint* gapblk,
                  tbl::fint* gapsize, tbl::fint* vhead, tbl::fint* vtail, tbl::fint* nspare);
}
