// Maximum transversal and block triangular ordering of a sparse pattern.
//
// The pattern is given as N lists (rows for the unsymmetric LU analyse,
// columns for the multifrontal LU): list i is ICN(IP(i) .. IP(i)+LENR(i)-1),
// every index in 1..N, lists anywhere in ICN.  Only the pattern is read.
// Nothing is checked and nothing is printed: the callers validate indices.
#pragma once

#include "interface/common.hpp"

extern "C" {

// Maximum transversal over one work array IW(4N) (PR, ARP, CV, OUT in turn).
void BTF_TRANSVERSAL(const tbl::fint* n, const tbl::fint* icn, const tbl::fint* licn, const tbl::fint* ip,
                     const tbl::fint* lenr, tbl::fint* iperm, tbl::fint* numnz, tbl::fint* iw);

// Maximum transversal: IPERM(j) is the list matched to index j, NUMNZ the structural rank; an
// incomplete matching is completed to a permutation.  PR, ARP, CV, OUT: work arrays of N.
void BTF_TRANSVERSAL_KERNEL(const tbl::fint* n, const tbl::fint* icn, const tbl::fint* licn, const tbl::fint* ip,
                            const tbl::fint* lenr, tbl::fint* iperm, tbl::fint* numnz, tbl::fint* pr,
                            tbl::fint* arp, tbl::fint* cv, tbl::fint* out);

// Block triangular ordering over one work array IW(3N) (LOWL, NUMB, PREV in turn).
void BTF_SCC_ORDER(const tbl::fint* n, const tbl::fint* icn, const tbl::fint* licn, const tbl::fint* ip,
                   const tbl::fint* lenr, tbl::fint* ior, tbl::fint* ib, tbl::fint* num, tbl::fint* iw);

// Strongly connected components: ARP(k) is the node at position k, IB(b) the first position of
// block b (b = 1..NUM); IB(NUM+1..N) is scratch.  LOWL, NUMB, PREV: work arrays of N.
void BTF_SCC_KERNEL(const tbl::fint* n, const tbl::fint* icn, const tbl::fint* licn, const tbl::fint* ip,
                    const tbl::fint* lenr, tbl::fint* arp, tbl::fint* ib, tbl::fint* num, tbl::fint* lowl,
                    tbl::fint* numb, tbl::fint* prev);

}  // extern "C"
