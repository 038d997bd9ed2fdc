// Steps of the MA57 analyse phase, separate so that each can be tested on
// its own.  All arguments by address, 1-based; MA57AD passes sections of
// KEEP and IWORK (see the layout in ma57.hpp).
#pragma once

#include "interface/common.hpp"

extern "C" {

// Caller's order: checks the entries and builds, for every variable, the list
// of the other indices of the in-range entries (diagonal ones included) for
// which it comes first in ORDER; repeats are removed and the off-diagonal
// ones counted in INFO(4).  Out-of-range entries are reported (INFO(1) = 1,
// INFO(3)) and set to 0 in IRN and JCN.  The lists are stored in IW, each as
// its length followed by its entries, starting at PE(i); IWFREE receives the
// first free position.  LEN, FILL and MARK: work arrays of N.
// ICNTL as for MA57AD (units and print level of the warnings).
void MA57_CHECK_ENTRIES(const tbl::fint* N, const tbl::fint* NE, tbl::fint* IRN, tbl::fint* JCN,
                        const tbl::fint* ORDER, tbl::fint* IW, tbl::fint* PE, tbl::fint* IWFREE,
                        tbl::fint* LEN, tbl::fint* FILL, tbl::fint* MARK, const tbl::fint* ICNTL,
                        tbl::fint* INFO);

// Caller's order: symbolic elimination of the lists that MA57_CHECK_ENTRIES
// left in IW(1..IWFREE-1), in the order INVP (INVP(k) = the k-th variable;
// ORDER its inverse).  Produces the assembly tree in the form the tree
// builder reads, every variable principal: PE(i) = -(father) or 0 for a root,
// NV(i) = the order of i's front.  The store IW(1..IWLEN) is compacted in
// place when full; NCOMPRESS counts the compactions.  HEAD, NEXT, MARK: work
// arrays of N.
void MA57_ORDER_PATTERN(const tbl::fint* N, const tbl::fint* ORDER, const tbl::fint* INVP,
                        tbl::fint* IW, const tbl::fint* IWLEN, tbl::fint* PE, const tbl::fint* IWFREE,
                        tbl::fint* NV, tbl::fint* HEAD, tbl::fint* NEXT, tbl::fint* MARK,
                        tbl::fint* NCOMPRESS);

// Builds the final assembly tree from the ordering's tree (PE, NV): orders
// the sons, numbers the nodes in postorder, amalgamates under NEMIN, and
// writes the pivot position of every variable in IPS, the number of nodes in
// NSTEPS, the node of every variable in NODE and the son count of every node
// in NSONS.  WORK: N integers.  IW: 4N integers; on exit IW(2N+node) is the
// front order and IW(3N+node) the number of eliminated variables of each
// node.
void MA57_TREE_BUILD(const tbl::fint* N, const tbl::fint* PE, const tbl::fint* NV, tbl::fint* IPS,
                     tbl::fint* NSTEPS, tbl::fint* NODE, tbl::fint* NSONS, tbl::fint* WORK,
                     tbl::fint* IW, const tbl::fint* NEMIN);

// Builds the permuted structure for the pivot positions IPS: slot count of
// every row (LROW, by position), the column index of every slot (COLS) and
// the slot of every entry (MAP, 0 when out of range); NZ receives the number
// of slots.  IW: 2N integers of work.
void MA57_COUNT_ENTRIES(const tbl::fint* N, const tbl::fint* NE, const tbl::fint* IRN,
                        const tbl::fint* JCN, const tbl::fint* IPS, tbl::fint* LROW, tbl::fint* MAP,
                        tbl::fint* COLS, tbl::fint* NZ, tbl::fint* IW);

// Forecasts storage and operations of the factorisation from the tree
// (front order NFRONT, eliminated count NELIM and son count NSONS of every
// node) and the row slot counts LROW: INFO(5..12) and RINFO(1..2).
// STACK: N integers of work.
void MA57_FORECAST(const tbl::fint* N, const tbl::fint* NSTEPS, const tbl::fint* NZ,
                   const tbl::fint* LROW, const tbl::fint* NSONS, const tbl::fint* NFRONT,
                   const tbl::fint* NELIM, tbl::fint* STACK, tbl::fint* INFO, double* RINFO);

}  // extern "C"
