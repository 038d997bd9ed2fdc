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

}  // namespace tbl::ma48
