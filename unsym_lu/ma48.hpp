// Sparse unsymmetric and rectangular solver over a block triangular form.
//
// MA48ID fills the controls, MA48AD analyses (maximum transversal, block
// triangular form, pivot choice of each non-triangular diagonal block by
// MA50AD), MA48BD factorises (and refactorises on the same pattern) with
// MA50BD, MA48CD solves with iterative refinement, backward errors and an
// error estimate.  The phases share the host's arrays; KEEP carries the
// permutations, the block structure and the factor pointers from one phase
// to the next.
#pragma once

#include "interface/common.hpp"
#include "interface/finite.hpp"

extern "C" {

void MA48ID(double* cntl, tbl::fint* icntl);

void MA48AD(const tbl::fint* m, const tbl::fint* n, const tbl::fint* ne, const tbl::fint* job, const tbl::fint* la,
            double* a, tbl::fint* irn, tbl::fint* jcn, tbl::fint* keep, const double* cntl, const tbl::fint* icntl,
            tbl::fint* iw, tbl::fint* info, double* rinfo);

void MA48BD(const tbl::fint* m, const tbl::fint* n, const tbl::fint* ne, const tbl::fint* job, const tbl::fint* la,
            double* a, tbl::fint* irn, const tbl::fint* jcn, tbl::fint* keep, const double* cntl,
            const tbl::fint* icntl, double* w, tbl::fint* iw, tbl::fint* info, double* rinfo);

void MA48CD(const tbl::fint* m, const tbl::fint* n, const tbl::logical* trans, const tbl::fint* job,
            const tbl::fint* la, const double* a, const tbl::fint* irn, const tbl::fint* keep, const double* cntl,
            const tbl::fint* icntl, double* rhs, double* x, double* error, double* w, tbl::fint* iw,
            tbl::fint* info);

// Solves the permuted block upper triangular system (every block square)
// whose right-hand side is B (overwritten) into X, both in permuted order.
// FACT/IRNF are A/IRN from position NEWNE+1 (LAF entries); BLOCKS is the
// block triplet list starting at KEEP(NBLOCK+3).
void MA48_BLOCK_SOLVE(const tbl::fint* n, const tbl::fint* newne, const tbl::fint* laf, const double* fact,
                      const double* a, const tbl::fint* irnf, const tbl::fint* irn, const tbl::fint* iptrd,
                      const tbl::fint* iptro, const tbl::fint* nb, const tbl::fint* blocks, const tbl::fint* iptrl,
                      const tbl::fint* iptru, double* b, double* x, const tbl::logical* trans,
                      const tbl::fint* icntl5, double* w);
}

namespace tbl::ma48 {

// Offsets of the KEEP sections, from the matrix dimensions (1-based: the
// section's first entry is KEEP(offset+1), the block triplets are
// KEEP(nblock+3k), KEEP(mblock+3k), KEEP(kblock+3k)).
struct KeepLayout {
  std::int64_t iptrl, iptru, iptrd, iptro, nblock, mblock, kblock;
  KeepLayout(fint m, fint n)
      : iptrl(std::int64_t(m) + n),
        iptru(std::int64_t(m) + 2 * std::int64_t(n)),
        iptrd(std::int64_t(m) + 3 * std::int64_t(n)),
        iptro(std::int64_t(m) + 4 * std::int64_t(n) + 1),
        nblock(std::int64_t(m) + 5 * std::int64_t(n)),
        mblock(std::int64_t(m) + 5 * std::int64_t(n) + 1),
        kblock(std::int64_t(m) + 5 * std::int64_t(n) + 2) {}
};

// The checks on the scalar arguments that the analyse and the factorise
// make first, in their order: -1 the dimensions, -2 NE, -3 LA below 2*NE,
// -6 JOB outside 1..3; 0 when all pass.
inline fint entry_check(fint m, fint n, fint ne, fint la, fint job) {
  if (m < 1 || n < 1) return -1;
  if (ne < 1) return -2;
  if (la < 2 * std::int64_t(ne)) return -3;
  if (job < 1 || job > 3) return -6;
  return 0;
}

// Statuses shared by the phases: KEEP, A, IRN or JCN do not hold what an
// earlier phase left for this one (MA48BD, MA48CD); an entry that is not
// finite (MA48AD, MA48BD).
constexpr fint kBadState = -10;
constexpr fint kNotFinite = -11;

// The marks that carry the phase state in the last column's factor
// pointers (ma48_check.cpp): "no factors" and "no analysis".
constexpr fint kNoFactors = -1;
constexpr fint kNoAnalysis = -2;
void mark_no_factors(fint m, fint n, fint* keep);
void mark_no_analysis(fint m, fint n, fint* keep);
bool marked_no_analysis(fint m, fint n, const fint* keep);

// Either mark (inline, as this and the next run before every solve).
inline bool marked_no_factors(fint m, fint n, const fint* keep) {
  const KeepLayout kl(m, n);
  return keep[kl.iptrl + n - 1] < 0 || keep[kl.iptru + n - 1] < 0;
}

// The block count (1..N, 1 for a rectangular matrix) and the ends of the
// stored entries' pointers in KEEP: IPTRD(1) = 1 <= IPTRD(N+1) = IPTRO(1)
// <= IPTRO(N+1), at most MAX_STORED stored entries.  Reads O(1) words.
inline bool ends_valid(fint m, fint n, const fint* keep_p, std::int64_t max_stored) {
  const KeepLayout kl(m, n);
  Vec1<const fint> keep(keep_p);
  const fint nb = keep(kl.kblock + 3);
  if (nb < 1 || nb > n || (m != n && nb != 1)) return false;
  const std::int64_t d_end = keep(kl.iptrd + n + 1), o_end = keep(kl.iptro + n + 1);
  return keep(kl.iptrd + 1) == 1 && keep(kl.iptro + 1) == d_end && 1 <= d_end && d_end <= o_end &&
         o_end - 1 <= max_stored;
}

// The block structure in KEEP: ends_valid, the orders adding up to N, each
// flag minus the order (square matrices only) or 0..order.  Reads O(NB)
// words.
bool blocks_valid(fint m, fint n, const fint* keep, std::int64_t max_stored);

// V(1:N) holds values in 1..N whose sum is that of a permutation (so a
// change of any one entry never passes).
bool permutation_valid(const fint* v, fint n);

// IPTRD(1:N+1) and IPTRO(1:N+1) (given from their first entry) never
// decrease.
bool pointers_valid(fint n, const fint* iptrd, const fint* iptro);

// The factor area of an NR by NC block with NP sparse columns, LFACT
// positions from IRNF, as the solve follows it: the column pointers in
// order and inside the area, no L part beyond NP, the full block inside the
// area with its rows increasing in 1..NR and a pivoting record that stays
// inside it.  The row and step indices of the sparse columns are not read.
bool factor_area_valid(fint nr, fint nc, fint np, std::int64_t lfact, const fint* irnf, const fint* iptrl,
                       const fint* iptru);

// Every stored entry of the permuted matrix (KEEP passing blocks_valid):
// pointers in order, diagonal-block rows inside their block (a triangular
// column led by its diagonal and otherwise above it), off-diagonal rows in
// earlier blocks.
bool entries_valid(fint m, fint n, const fint* keep, const fint* irn);

// Copies FROM(1:N) to TO (not overlapping) and tells, in the same pass,
// whether the values are surely finite, and with SUMMED (values that will
// be added together) every sum of some of them too: true only then; false
// for a value that is not finite and also when their sum overflows, or with
// SUMMED when their magnitudes add up to half the largest real or more (the
// caller then decides with tbl::all_finite).
bool copy_sum_finite(const double* from, double* to, std::int64_t n, bool summed);

// The first entry k (1-based) whose stored position MAP(k) (the map of the
// analysis; MAP(1) may be negated) holds a value that is not finite among
// STORED(1:NSTORED); 0 when there is none.
std::int64_t first_nonfinite_entry(fint ne, const fint* map, const double* stored, std::int64_t nstored);

// The messages of the two statuses: two lines of text, and the first entry
// that is not finite by its row and column as the host numbered them.
void state_message(const fint* icntl, const char* line1, const char* line2);
void not_finite_message(const fint* icntl, const char* who, fint row, fint col);

}  // namespace tbl::ma48
