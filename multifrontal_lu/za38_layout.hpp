// The stored LU factors of the multifrontal LU: the one set of positions
// that every writer (the factorisation, its front end, the drivers, the
// refactorisation) and every reader (the solve, the refactorisation, the
// reports) uses, and the validator that every reader runs first.
//
// All positions are 1-based and 64-bit.  K1..K5 are KEEP(1..5): the
// factors are VALUE(K1..K2) and INDEX(K3..K5); the refactorisation keeps
// INDEX(K4..K5).  From K3 up INDEX holds
//   [preserved copy: N+1 pointers, NZ rows]        only when preserved
//   [off-diagonal column positions, NOFFDIAG]       only with >= 2 blocks
//   K4: block factors ............ pattern end
//   [BFPTR (NBLOCKS), IB (NBLOCKS+1), OFFROWP (N+1)] only with >= 2 blocks
//   CPERM (N), RPERM (N), 7 trailing integers ending at K5;
// from K1 up VALUE holds [preserved values, NZ] [off-diagonal values] and,
// from XB to K2, the reals of the block factors.
//
// Everything above the pattern end is at a fixed distance from the top, so
// the same positions serve the front end, whose integer work area ends
// where the factors will (TopData with its own top).
//
// A block factor at INDEX(E):
//   E: real start (from XB), E+1: R records, E+2: pivots found,
//   E+3, E+4: largest L rows and U columns of a record,
//   E+4+j: record j's position, counted from the record area E+5+R.
// An LU record at INDEX(X):
//   X: real start (from the block's), X+1: k, X+2: c, X+3: r, X+4: s,
//   X+5, X+6: column and row extent of the front (first record only),
//   then r rows, c columns (pivot positions in the block) and s son codes.
// Its (k+r+c)*k reals: the (k+r) by k pivot columns (L11\U11 over L21),
// then the k by c rows of U12 (leading dimension k).
#pragma once

#include <cstdint>

#include "interface/common.hpp"

namespace tbl::za38 {

using Pos = std::int64_t;

// Reads of INDEX or VALUE limited to the region a reader may use.  Any
// read outside it returns 0 and marks the reader as failed, so a header
// read from a corrupted position never leaves the region.
template <class T>
class Bounded {
 public:
  Bounded(const T* base, Pos lo, Pos hi) : base_(base), lo_(lo), hi_(hi) {}
  T operator()(Pos p) {
    if (p < lo_ || p > hi_) {
      bad_ = true;
      return T{};
    }
    return base_[p - 1];
  }
  // The run p..p+len-1 lies inside the region (len >= 0).
  bool holds(Pos p, Pos len) {
    if (len < 0 || p < lo_ || p + len - 1 > hi_) bad_ = true;
    return !bad_;
  }
  const T* at(Pos p) const { return base_ + (p - 1); }
  bool contains(Pos p) const { return p >= lo_ && p <= hi_; }
  bool bad() const { return bad_; }
  void fail() { bad_ = true; }

 private:
  const T* base_;
  Pos lo_, hi_;
  bool bad_ = false;
};
using Region = Bounded<fint>;

// The seven trailing integers, word w at top - 7 + w.
enum TrailerWord : int {
  kTrTransa = 1,
  kTrNoffdiag = 2,
  kTrNblocks = 3,
  kTrPreserve = 4,
  kTrNz = 5,
  kTrN = 6,
  kTrNe = 7,
};
inline constexpr Pos kTrailerLength = 7;

struct Trailer {
  fint transa = 0;  // 1: the held matrix is A'
  fint noffdiag = 0;
  fint nblocks = 0;
  fint preserve = 0;  // 1: a preserved copy is present
  fint nz = 0;
  fint n = 0;
  fint ne = 0;
};

// Reads and writes the trailer ending at index(top) (index 1-based).
Trailer read_trailer(const fint* index, Pos top);
void write_trailer(fint* index, Pos top, const Trailer& t);

// The data at fixed distances below the top of the integer factors.
struct TopData {
  Pos top = 0;
  Pos n = 0;
  Pos nblocks = 1;

  TopData() = default;
  TopData(Pos top_, Pos n_, Pos nblocks_) : top(top_), n(n_), nblocks(nblocks_) {}

  Pos trailer_word(int w) const { return top - kTrailerLength + w; }
  Pos rperm() const { return top - n - 6; }
  Pos cperm() const { return top - 2 * n - 6; }
  // Only with two or more blocks:
  Pos offrowp() const { return top - 3 * n - 7; }
  Pos ib() const { return top - 3 * n - nblocks - 8; }
  Pos bfptr() const { return top - 3 * n - 2 * nblocks - 8; }
  // Last position of the block factors' integer data.
  Pos pattern_end() const { return nblocks >= 2 ? bfptr() - 1 : cperm() - 1; }
  // Words from the first block pointer (or CPERM) to the top.
  Pos fixed_words() const { return top - pattern_end(); }
};

// Integers of the preserved copy, and the starts of the retained region
// and of the block factors' reals as the walk from K3 and K1 gives them.
inline Pos preserved_ints(Pos n, Pos nz) { return n + 1 + nz; }
inline Pos retained_first(Pos k3, Pos n, Pos nz, bool preserve, Pos nblocks, Pos noffdiag) {
  return k3 + (preserve ? preserved_ints(n, nz) : 0) + (nblocks >= 2 ? noffdiag : 0);
}
inline Pos block_reals_first(Pos k1, Pos nz, bool preserve, Pos nblocks, Pos noffdiag) {
  return k1 + (preserve ? nz : 0) + (nblocks >= 2 ? noffdiag : 0);
}

// Words of a block factor at E.
enum BlockWord : int {
  kBfRealStart = 0,
  kBfRecords = 1,
  kBfPivots = 2,
  kBfMaxRows = 3,
  kBfMaxCols = 4,
};
inline constexpr Pos kBfHeader = 5;
inline Pos bf_table(Pos e, Pos j) { return e + 4 + j; }            // record j's position word
inline Pos bf_area(Pos e, Pos records) { return e + kBfHeader + records; }
inline Pos bf_record(Pos e, Pos records, Pos rel) { return bf_area(e, records) + rel - 1; }

// Words of an LU record at X.
enum RecordWord : int {
  kRecRealStart = 0,
  kRecPivots = 1,  // k
  kRecCols = 2,    // c
  kRecRows = 3,    // r
  kRecSons = 4,    // s
  kRecColExtent = 5,
  kRecRowExtent = 6,
};
inline constexpr Pos kRecHeader = 7;

struct RecordShape {
  Pos k = 0, c = 0, r = 0, s = 0;
  Pos rows(Pos x) const { return x + kRecHeader; }
  Pos cols(Pos x) const { return x + kRecHeader + r; }
  Pos sons(Pos x) const { return x + kRecHeader + r + c; }
  Pos int_length() const { return kRecHeader + r + c + s; }
  Pos real_length() const { return (k + r + c) * k; }
  Pos l_ld() const { return k + r; }          // leading dimension of the pivot columns
  Pos u12_offset() const { return k * (k + r); }
};

// Son codes of a record in a block of order n: a son absorbed whole, one
// whose rows were assembled (U), one whose columns were (L).
enum class SonKind { kWhole, kU, kL };
inline Pos son_code(SonKind kind, Pos record, Pos n) {
  return record + (kind == SonKind::kWhole ? 0 : kind == SonKind::kU ? n : 2 * n);
}
inline SonKind son_kind(Pos code, Pos n) {
  return code <= n ? SonKind::kWhole : code <= 2 * n ? SonKind::kU : SonKind::kL;
}
inline Pos son_record(Pos code, Pos n) { return code <= n ? code : code <= 2 * n ? code - n : code - 2 * n; }

// What a reader will use of the factors.
enum class FactorUse {
  kSolve,     // INDEX(K3..K5) and VALUE(K1..K2), off-diagonal part and reals
  kRetained,  // INDEX(K4..K5) only: the pattern that the refactorisation keeps
};

// Positions of a validated factor set.  Absent parts have position 0.
struct FactorSet {
  Pos k1 = 0, k2 = 0, k3 = 0, k4 = 0, k5 = 0;
  Trailer tr;
  TopData topd;
  Pos ap = 0, ai = 0;  // preserved pointers and rows in INDEX
  Pos ax = 0;          // preserved values in VALUE
  Pos oi = 0, ox = 0;  // off-diagonal column positions and values
  Pos xb = 0;          // first real of the block factors
  bool preserved() const { return tr.preserve != 0; }
  bool multi() const { return tr.nblocks >= 2; }
};

struct ValidateOptions {
  FactorUse use = FactorUse::kSolve;
  bool check_copy = false;  // also the preserved copy (when present): pointers and rows
  // Scratch of at least N bytes that the caller may have overwritten (the
  // solve lends its W); without it the validator allocates its own.
  unsigned char* scratch = nullptr;
};

// The checks of KEEP and the trailer alone (no interior read): 0 when they
// pass, else kErrFactors.  Fills fs with the derived positions.
fint check_location(fint n, const fint* keep, const fint* index, fint lindex, fint lvalue, FactorUse use,
                    FactorSet& fs);

// The full validation: the location checks, then the interior: the
// permutations are permutations, IB rises from 1 to N+1, the off-diagonal
// row pointers and column positions (in a later block than the row), every
// block pointer and block factor table inside the region, every record
// header, index list and real range inside its bounds (for the
// refactorisation, which builds its fronts from them, no more rows or
// columns beyond its pivots than the block has left), the pivots of the
// records adding up to the block's count, the block's largest row and
// column counts equal to its records' (at least 1), son codes naming
// earlier records, and INDEX(K4..) exactly filled by the block factors
// (a block without records keeps one integer above its table; with every
// block of order 1 they are one integer); for the solve also the reals
// tiling VALUE(XB..K2) exactly, with no gap or overlap: the blocks' reals
// (an order-1 pivot, a record-less block's one real, or a block's records)
// in block order, and inside each block the records' reals in record
// order, stacked downward (as the factorisation writes them) or upward.
// Returns 0 or kErrFactors; nothing outside INDEX(1..LINDEX) and the stated
// regions is read.
fint validate_factors(fint n, const fint* keep, const fint* index, fint lindex, fint lvalue,
                      const ValidateOptions& opt, FactorSet& fs);

}  // namespace tbl::za38
