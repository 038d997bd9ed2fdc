// Unsymmetric-pattern multifrontal LU: the routines of the package as the
// phases call each other, and the names of the entries of its control and
// information arrays.
//
// ZA38ID fills the controls; ZA38AD converts the host's entries, orders the
// matrix to block upper triangular form and factorises each diagonal block
// by frontal matrices; ZA38BD refactorises a matrix of the same pattern on
// the stored structure; ZA38CD solves with the stored factors.  The factors
// live in the host's INDEX and VALUE between the calls, at the positions
// that za38_layout.hpp defines; KEEP(1..5) says where.
//
// Every routine takes its arguments by address, 1-based, as a Fortran
// caller passes them.  The memory accounts (IINUSE, XINUSE and the value
// need of the next refactorisation) are kept in 64 bits: they add sizes of
// fronts and of whole matrices, which can pass 2^31 long before any array
// does; the INFO entries that report them saturate at 2147483647.
#pragma once

#include <cstdint>

#include "interface/common.hpp"
#include "interface/finite.hpp"

extern "C" {

// ---------------------------------------------------------------- phases

// Defaults: ICNTL(1..20), CNTL(1..10) and KEEP(6..20).  KEEP(1..5) untouched.
void ZA38ID(tbl::fint* keep, double* cntl, tbl::fint* icntl);

// Analyse and factorise the N by N matrix given as NE coordinate entries
// (INDEX(1..NE) rows, INDEX(NE+1..2NE) columns, VALUE(1..NE) values).
void ZA38AD(const tbl::fint* n, const tbl::fint* ne, const tbl::fint* job, const tbl::logical* transa,
            const tbl::fint* lvalue, const tbl::fint* lindex, double* value, tbl::fint* index, tbl::fint* keep,
            const double* cntl, const tbl::fint* icntl, tbl::fint* info, double* rinfo);

// Refactorise new values on the structure stored by an earlier call.
void ZA38BD(const tbl::fint* n, const tbl::fint* ne, const tbl::fint* job, const tbl::logical* transa,
            const tbl::fint* lvalue, const tbl::fint* lindex, double* value, tbl::fint* index, tbl::fint* keep,
            const double* cntl, const tbl::fint* icntl, tbl::fint* info, double* rinfo);

// Solve with the stored factors (JOB 1: L only, 2: U only, other: the whole
// matrix, with iterative refinement when ICNTL(8) > 0 and the matrix was
// preserved).  W: 2N reals, 4N with refinement.
void ZA38CD(const tbl::fint* n, const tbl::fint* job, const tbl::logical* transc, const tbl::fint* lvalue,
            const tbl::fint* lindex, const double* value, const tbl::fint* index, const tbl::fint* keep,
            const double* b, double* x, double* w, const double* cntl, const tbl::fint* icntl, tbl::fint* info,
            double* rinfo);

// ------------------------------------------------- messages and statuses

// Prints the message of (WHO, CODE) with the values I1, I2, X on UNIT when
// UNIT >= 0; tests no print level.
void ZA38_PRINT_MESSAGE(const tbl::fint* who, const tbl::fint* code, const tbl::fint* i1, const tbl::fint* i2,
                        const double* x, const tbl::fint* unit);

// Merges CODE into INFO(1), then prints it on ICNTL(1) under the print
// level (errors from 1, warnings from 2) with I1 = VALUE.
void ZA38_RECORD_ERROR(const tbl::fint* who, const tbl::fint* icntl, tbl::fint* info, const tbl::fint* code,
                       const tbl::fint* value);

// Input (INOUT = 1) and output (INOUT = 2) report of a phase on ICNTL(2).
// NE and B, X, W, LW are read only for the phases that have them.
void ZA38_REPORT(const tbl::fint* who, const tbl::fint* inout, const tbl::fint* n, const tbl::fint* ne,
                 const tbl::fint* job, const tbl::logical* trans, const tbl::fint* lvalue, const tbl::fint* lindex,
                 const double* value, const tbl::fint* index, const tbl::fint* keep, const double* cntl,
                 const tbl::fint* icntl, const tbl::fint* info, const double* rinfo, const double* b,
                 const double* x, const double* w, const tbl::fint* lw);

// ------------------------------------------------------ input conversion

// Coordinate entries at the front of INDEX/VALUE into column form of M (A,
// or A' when TRANSA) in place: INDEX(1..N+1) pointers, INDEX(N+2..N+1+NZ)
// rows, VALUE(1..NZ) values.  NZ: NE on entry, entries kept on return.
// CW (N) and CP (N+1) are work arrays inside INDEX above the sorting area.
void ZA38_CONVERT_INPUT(const tbl::fint* n, tbl::fint* nz, const tbl::logical* transa, double* value,
                        const tbl::fint* lvalue, tbl::fint* info, const tbl::fint* icntl, tbl::fint* index,
                        const tbl::fint* liw, tbl::fint* cw, tbl::fint* cp, const tbl::fint* who);

// ------------------------------------------------------- factorisation

// One factorisation for ZA38AD once the entries are in column form: the
// layout of the work areas, the block triangular form, the diagonal blocks,
// the off-diagonal store and the statistics.  AP: pointers into W/AX;
// FV, FI: first positions of the stored factors in AX and W; IINUSE,
// XINUSE: memory accounts; PAP/PAI/PAX with PN, PNZ: the preserved copy
// (PN = 0 and PNZ = 1 when there is none).  Sets RINFO(9), the growth of
// the factors, and merges warning 16 when it is too large.
void ZA38_FACTOR_FRONT(const tbl::fint* n, const tbl::fint* nz, tbl::fint* ap, double* ax, const tbl::fint* lax,
                       tbl::fint* w, const tbl::fint* lw, tbl::fint* fv, tbl::fint* fi, std::int64_t* iinuse,
                       std::int64_t* xinuse, tbl::fint* noffdiag, tbl::fint* nblocks, const tbl::fint* icntl,
                       const double* cntl, tbl::fint* info, double* rinfo, const tbl::logical* preserve,
                       const tbl::fint* pap, const tbl::fint* pai, const double* pax, const tbl::fint* pn,
                       const tbl::fint* pnz, const tbl::fint* keep, const tbl::fint* ne);

// Row and column permutations to block upper triangular form of the column
// form IP/ICN/A; unless PRESERVE, splits the entries into the off-diagonal
// group (ICN/A(1..NOFFDIAG), by unpermuted column through OFFROWP) and the
// diagonal-block group (by column position through IP, rows local to their
// block).  The block boundaries end at IB(N+1).  ICN and A are declared
// with LICN = LA = 2*NZ when split (the upper half is staging).
void ZA38_BTF_ORDER(double* a, const tbl::fint* la, tbl::fint* icn, const tbl::fint* licn, const tbl::fint* n,
                    const tbl::fint* nz, tbl::fint* nindiag, tbl::fint* noffdiag, tbl::fint* nblocks, tbl::fint* ip,
                    tbl::fint* cperm, tbl::fint* rperm, tbl::fint* rinv, tbl::fint* cinv, tbl::fint* lenr,
                    tbl::fint* iperm, tbl::fint* ib, tbl::fint* offrowp, const tbl::logical* preserve);

// The entries above the diagonal blocks by permuted row (OFFROWP, OI column
// positions, OX values).  First mode (PRESERVE false): AI/AX hold the
// separated entries by unpermuted column through OFFROWP.  Second mode:
// reads the held matrix AP/AI/AX block by block; entries below the diagonal
// blocks are counted in NBAD (and listed) when WHO = 2.  LAI, LAX, UNUSED19
// and UNUSED22 are not read.
void ZA38_STORE_OFFDIAG(tbl::fint* rp, const tbl::fint* n, const tbl::fint* rperm, const tbl::fint* cperm,
                        tbl::fint* noffdiag, tbl::fint* offrowp, tbl::fint* oi, double* ox, tbl::fint* rinv,
                        const tbl::fint* icntl, const tbl::fint* ap, const tbl::fint* ai, const double* ax,
                        const tbl::fint* lai, const tbl::fint* lax, const tbl::logical* preserve,
                        const tbl::fint* nblocks, const tbl::fint* bnd, const tbl::fint* unused19,
                        const tbl::fint* who, tbl::fint* nbad, const tbl::fint* unused22);

// Prepares one diagonal block of order n (starting at block position S)
// for the kernel and calls it; ISHORT/XSHORT flag a shortage found before
// the kernel runs.
void ZA38_FACTOR_SETUP(tbl::fint* cblk, const tbl::fint* n, tbl::fint* cperm, tbl::fint* rperm, tbl::fint* noffdiag,
                       tbl::fint* fi, tbl::fint* fv, double* ax, const tbl::fint* xlim, std::int64_t* xinuse,
                       tbl::fint* w, const tbl::fint* ilim, std::int64_t* iinuse, const tbl::fint* icntl,
                       const double* cntl, tbl::fint* info, double* rinfo, const tbl::fint* nblocks,
                       const tbl::fint* pap, const tbl::fint* pai, const double* pax, const tbl::logical* preserve,
                       const tbl::fint* s, const tbl::fint* pn, const tbl::fint* pnz, const tbl::fint* rinv,
                       const tbl::fint* keep, tbl::fint* cmax, tbl::fint* rmax, tbl::fint* nrec,
                       std::int64_t* vnmax, std::int64_t* vneed, tbl::logical* ishort, tbl::logical* xshort);

// Factorises one diagonal block of order N (NZB entries laid out by the
// set-up) inside the sections ISEC (LISEC) and XSEC (LXSEC); the factors end
// at the top of both, from IFSTART and XFSTART.  MULTI: the block is one of
// several (its RPERM/CPERM parts are reordered by its pivot order).
// Argument 5 is the column map (the block's CPERM part), argument 6 the row
// map (its RPERM part); the single-block call passes the same arrays as
// COLPOS and ROWPOS, which then receive the column and row orders.
// RINFO(9) is raised to the largest magnitude in the U parts it writes
// (+Inf when the block's factors are not finite).
void ZA38_FACTOR_KERNEL(tbl::fint* cblk, const tbl::fint* nzb, const tbl::fint* n, const tbl::fint* unused4,
                        tbl::fint* cperm, tbl::fint* rperm, tbl::fint* ifstart, tbl::fint* xfstart, double* xsec,
                        const tbl::fint* lxsec, tbl::fint* isec, const tbl::fint* lisec, const tbl::fint* icntl,
                        const double* cntl, tbl::fint* info, double* rinfo, const tbl::logical* multi,
                        std::int64_t* iinuse, std::int64_t* xinuse, tbl::fint* rowpos, tbl::fint* colpos,
                        tbl::fint* fcols, tbl::fint* frows, tbl::fint* cpat, tbl::fint* dhead, tbl::fint* roff,
                        tbl::fint* rptr, tbl::fint* rcnt, tbl::fint* ccnt, const tbl::fint* ndense,
                        const tbl::fint* dthresh, tbl::fint* cmax, tbl::fint* rmax, tbl::fint* nrec,
                        std::int64_t* vnmax, std::int64_t* vneed);

// ----------------------------------------------------- refactorisation

// The numerical work of ZA38BD once the new entries are in column form (AP
// into AI/AX, NZ entries; with PRESERVE the held matrix AP0/AI0/AX0 of
// order AN and ANZ entries is left intact and AP is a copy of its
// pointers): the split into the prior blocks, each block refactorised on
// its stored records, the pivots of the blocks of order 1 and the entries
// above the blocks.  FACTI is the retained region INDEX(KEEP(4)..) with
// LLUI words before the permutation and block data; BFPTR, IB, OFFROWP,
// CPERM, RPERM are its block data.  XFSTART and IFSTART return the lowest
// positions of the stored reals and integers in AX and AI.  Sets RINFO(9),
// the growth of the new factors, and merges warning 16 when it is too large.
void ZA38_REFACTOR_FRONT(const tbl::fint* n, tbl::fint* nz, tbl::fint* ap, double* ax, const tbl::fint* lax,
                         tbl::fint* ai, const tbl::fint* lai, tbl::fint* xfstart, tbl::fint* ifstart,
                         std::int64_t* iinuse, std::int64_t* xinuse, tbl::fint* noffdiag, const tbl::fint* nblocks,
                         const tbl::fint* icntl, tbl::fint* info, double* rinfo, const tbl::logical* preserve,
                         const tbl::fint* ap0, tbl::fint* ai0, double* ax0, const tbl::fint* an,
                         const tbl::fint* anz, tbl::fint* facti, const tbl::fint* llui, tbl::fint* bfptr,
                         const tbl::fint* ib, tbl::fint* offrowp, const tbl::fint* cperm, const tbl::fint* rperm,
                         const tbl::fint* ne);

// Sorts the NZ entries of AP/AI/AX into the prior block structure: the
// entries above the diagonal blocks by row position (IOUT/XOUT(1..NOFFDIAG)
// with OFFROWP; only with two or more blocks and PRESERVE false), then the
// arrowheads of each block (positions through CNT), the last pivot's first;
// entries below the blocks are counted in NBAD and listed.  SEL = 0: all
// blocks (M = N); SEL = b: block b alone (M its order).  RINV is computed
// here unless PRESERVE with several blocks, when the caller provides it.
// Without PRESERVE the sorted entries are copied over AI/AX(1..NZ).
void ZA38_BLOCK_SPLIT(const tbl::logical* preserve, const tbl::fint* n, const tbl::fint* nz, const tbl::fint* cperm,
                      const tbl::fint* rperm, tbl::fint* rinv, tbl::fint* cnt, const tbl::fint* nblocks, double* xout,
                      tbl::fint* iout, tbl::fint* noffdiag, tbl::fint* nzin, const tbl::fint* icntl,
                      const tbl::fint* ap, const tbl::fint* ib, tbl::fint* ai, double* ax, tbl::fint* offrowp,
                      const tbl::fint* sel, const tbl::fint* m, tbl::fint* nkept, tbl::fint* nbad);

// New values of one diagonal block of order N on its stored LU records
// (NELEM of them at ISEC(HDRP(e))), in their pivot order.  The input is in
// arrowhead form at the bottom of XSEC (arrowhead j at ARROWP(j+1) ..
// ARROWP(j)-1, indices in ARROWI); the LU blocks are written from the top
// of XSEC(1..LXSEC) down to XFSTART, and each record's first word becomes
// its LU block's position counted from XFSTART.  NINPUT is only added to
// the assembly count.  MAXR/MAXC size FROWS, SPOS, SOFF and FCOLS; ELD,
// EPOS, ENEXT, EPREV have NELEM+2 entries.  Leaves negative marks in the
// lists of records whose rows or columns were assembled into a parent.
// RINFO(9) is raised to the largest magnitude in the U parts it writes
// (+Inf when the block's factors are not finite) and
// RINFO(10) to that of the input entries it assembles.
void ZA38_REFACTOR_KERNEL(tbl::fint* arrowp, const tbl::fint* ninput, const tbl::fint* n, tbl::fint* xfstart,
                          double* xsec, const tbl::fint* lxsec, std::int64_t* xinuse, tbl::fint* arrowi,
                          const tbl::fint* cperm, const tbl::fint* rperm, const tbl::fint* icntl, tbl::fint* info,
                          double* rinfo, const tbl::fint* maxr, const tbl::fint* maxc, tbl::fint* rowpos,
                          tbl::fint* colpos, tbl::fint* fcols, tbl::fint* frows, tbl::fint* spos, tbl::fint* soff,
                          tbl::fint* eld, tbl::fint* epos, tbl::fint* enext, tbl::fint* eprev, const tbl::fint* nelem,
                          const tbl::fint* hdrp, tbl::fint* isec, tbl::fint* nignored, std::int64_t* xpeak);

// Slides the stored contribution blocks of the refactorisation kernel down
// to the start of its contribution area, dropping deleted ones and
// squeezing each to the leading dimension of its row count, then the
// current front (FPOS, FSIZE reals; FPOS = 0 when none).
void ZA38_REFACTOR_COMPACT(double* xsec, const tbl::fint* lxsec, tbl::fint* xfree, std::int64_t* xinuse,
                           tbl::fint* isec, tbl::fint* eld, tbl::fint* epos, tbl::fint* enext, tbl::fint* eprev,
                           const tbl::fint* nelem, const tbl::fint* hdrp, tbl::fint* fpos, const tbl::fint* fsize,
                           tbl::fint* gappos, tbl::fint* gapsize);

// ---------------------------------------------------------------- solve

// The permutations, block substitutions and refinement of ZA38CD.  FACTX
// (LFACTX reals) and FACTI (LFACTI integers) are the block factors; W1 is
// W(1..N), W2 W(N+1..); W3, W4 are W(2N+1..), W(3N+1..) with length LWR = N
// (W(1) and 1 without refinement).  PN, PNZ, AP, AI, AX: the preserved copy
// ((1, 1) and dummies when none); NOR, NOE, OFFROWP, OI, OX: the off-diagonal
// part (1, 1 and dummies with one block).
void ZA38_SOLVE(const tbl::fint* n, const tbl::fint* job, const tbl::logical* transc, const tbl::fint* lfactx,
                const double* factx, const tbl::fint* lfacti, const tbl::fint* facti, const double* b, double* x,
                double* w1, double* w2, const tbl::fint* lwr, double* w3, double* w4, const double* cntl,
                tbl::fint* info, double* rinfo, const tbl::fint* cperm, const tbl::fint* rperm, const tbl::fint* pn,
                const tbl::fint* pnz, const tbl::fint* ap, const tbl::fint* ai, const double* ax,
                const tbl::fint* nor, const tbl::fint* noe, const tbl::fint* offrowp, const tbl::fint* oi,
                const double* ox, const tbl::fint* nblocks, const tbl::fint* bfptr, const tbl::fint* ib,
                const tbl::fint* maxstep);

// Solves with one block factor in place on the block's part X of a vector:
// RTAB is the record table, RDAT the record area (record j at
// RDAT(RTAB(j))), BR the block's reals, WORK scratch as long as the
// largest row or column list of a record.  NB (the block order) is not read.
void ZA38_L_SOLVE(const tbl::fint* r, const tbl::fint* nb, const tbl::fint* rtab, const tbl::fint* rdat,
                  const double* br, double* x, double* work);
void ZA38_U_SOLVE(const tbl::fint* r, const tbl::fint* npiv, const tbl::fint* nb, const tbl::fint* rtab,
                  const tbl::fint* rdat, const double* br, double* x, double* work);
void ZA38_LT_SOLVE(const tbl::fint* r, const tbl::fint* npiv, const tbl::fint* nb, const tbl::fint* rtab,
                   const tbl::fint* rdat, const double* br, double* x, double* work);
void ZA38_UT_SOLVE(const tbl::fint* r, const tbl::fint* nb, const tbl::fint* rtab, const tbl::fint* rdat,
                   const double* br, double* x, double* work);

}  // extern "C"

namespace tbl::za38 {

// Lengths of the arrays shared by the phases.
inline constexpr int kLenIcntl = 20;
inline constexpr int kLenCntl = 10;
inline constexpr int kLenKeep = 20;
inline constexpr int kLenInfo = 40;
inline constexpr int kLenRinfo = 20;

// ICNTL entries.
inline constexpr int kIcntlErrorUnit = 1;    // errors and warnings
inline constexpr int kIcntlDiagUnit = 2;     // reports and per-entry lines
inline constexpr int kIcntlPrintLevel = 3;
inline constexpr int kIcntlBtf = 4;          // 1: block triangular form
inline constexpr int kIcntlSearch = 5;       // columns examined per pivot search
inline constexpr int kIcntlSymmetry = 6;     // not 0: prefer diagonal pivots
inline constexpr int kIcntlBlockSize = 7;    // delayed dense updates
inline constexpr int kIcntlRefineSteps = 8;  // refinement steps of ZA38CD

// CNTL entries.
inline constexpr int kCntlPivotTol = 1;
inline constexpr int kCntlGrowth = 2;
inline constexpr int kCntlEps = 3;

// KEEP entries: where the stored factors lie, and the dense controls.
inline constexpr int kKeepValueFirst = 1;     // K1
inline constexpr int kKeepValueLast = 2;      // K2
inline constexpr int kKeepIndexFirst = 3;     // K3
inline constexpr int kKeepRetainedFirst = 4;  // K4
inline constexpr int kKeepIndexLast = 5;      // K5
inline constexpr int kKeepDense1 = 7;
inline constexpr int kKeepDense2 = 8;

// INFO entries.
inline constexpr int kInfoStatus = 1;
inline constexpr int kInfoDuplicates = 2;
inline constexpr int kInfoInvalid = 3;
inline constexpr int kInfoNotInPattern = 4;
inline constexpr int kInfoEntries = 5;
inline constexpr int kInfoDiagEntries = 6;
inline constexpr int kInfoOffdiagEntries = 7;
inline constexpr int kInfoOnesBlocks = 8;
inline constexpr int kInfoBlocks = 9;
inline constexpr int kInfoUEntries = 10;  // U parts above the diagonal
inline constexpr int kInfoLEntries = 11;  // L parts below the diagonal
inline constexpr int kInfoFactorEntries = 12;
inline constexpr int kInfoFronts = 13;
inline constexpr int kInfoIntCompactions = 14;
inline constexpr int kInfoRealCompactions = 15;
inline constexpr int kInfoDiagPivots = 16;
inline constexpr int kInfoGoodPivots = 17;
inline constexpr int kInfoIndexUsed = 18;
inline constexpr int kInfoIndexNeeded = 19;
inline constexpr int kInfoValueUsed = 20;
inline constexpr int kInfoValueNeeded = 21;
inline constexpr int kInfoRefactorIndex = 22;
inline constexpr int kInfoRefactorValue = 23;
inline constexpr int kInfoRefineSteps = 24;

// RINFO entries.
inline constexpr int kRinfoBlasOps = 1;
inline constexpr int kRinfoAssemblyOps = 2;
inline constexpr int kRinfoSearchOps = 3;
inline constexpr int kRinfoBlas1Ops = 4;
inline constexpr int kRinfoBlas2Ops = 5;
inline constexpr int kRinfoBlas3Ops = 6;
inline constexpr int kRinfoOmega1 = 7;
inline constexpr int kRinfoOmega2 = 8;
// The growth of the factors: the largest magnitude in U (pivots, the U
// parts of the LU records, the pivots of blocks of order 1) over the
// largest magnitude of an entry of the matrix factorised, and +Inf when an
// entry of the factors (in L or U) is not finite.  While a factorisation
// runs it holds the largest magnitude in U written so far (the kernels
// raise it as they write their records, and set it to +Inf when a block's
// factors are not finite), and the front ends divide it at the end
// (finish_growth).
inline constexpr int kRinfoGrowth = 9;
// Carried inside ZA38BD only, from the refactorisation kernel to its front
// end: the largest magnitude of an input entry assembled into a front.
// The front end clears it before it returns.
inline constexpr int kRinfoAssembledMax = 10;

// The calling phase handed to the message, report and off-diagonal routines.
inline constexpr fint kWhoAnalyse = 1;    // ZA38AD
inline constexpr fint kWhoRefactor = 2;   // ZA38BD
inline constexpr fint kWhoSolve = 3;      // ZA38CD

// Errors (INFO(1) < 0).
inline constexpr fint kErrN = -1;
inline constexpr fint kErrNe = -2;          // NE < 1, no valid entry, or NE too large (ZA38BD)
inline constexpr fint kErrIndex = -3;       // LINDEX too small
inline constexpr fint kErrValue = -4;       // LVALUE too small
inline constexpr fint kErrBoth = -5;        // -3 and -4
inline constexpr fint kErrPivotOrder = -6;  // ZA38BD: stored pivot order failed
inline constexpr fint kErrFactors = -7;     // factors missing or damaged
inline constexpr fint kErrNotFinite = -8;   // an entry of the matrix is Inf or NaN

// Warnings: bits of a positive INFO(1).
inline constexpr fint kWarnInvalid = 1;
inline constexpr fint kWarnDuplicate = 2;
inline constexpr fint kWarnSingular = 4;
inline constexpr fint kWarnNoRefinement = 8;
inline constexpr fint kWarnGrowth = 16;  // RINFO(9) above kGrowthLimit

// Beyond this growth a solve without refinement can lose more than half of
// the sixteen digits.
inline constexpr double kGrowthLimit = 1e8;

// Codes of the per-entry lines (layout E).
inline constexpr fint kLinePriorSingular = 95;
inline constexpr fint kLineBelowBlocks = 96;
inline constexpr fint kLineNotInPattern = 97;
inline constexpr fint kLineDuplicate = 98;
inline constexpr fint kLineOutOfRange = 99;

// Largest length an INDEX or VALUE can have; a need above it is a shortage.
inline constexpr std::int64_t kMaxLength = INT32_MAX;

// The merge of a code into the status INFO(1): an error replaces whatever
// was there, except that -3 and -4 together give -5; a warning bit is added
// once, and never over an error; 0 changes nothing.
inline constexpr fint merged_status(fint status, fint code) {
  if (code < 0) {
    if ((status == kErrIndex && code == kErrValue) || (status == kErrValue && code == kErrIndex)) return kErrBoth;
    return code;
  }
  if (code > 0 && status >= 0 && (status / code) % 2 == 0) return status + code;
  return status;
}

// The print-level gates.  Each also needs its unit to be 0 or more.
inline bool errors_printed(const fint* icntl) {
  return icntl[kIcntlPrintLevel - 1] >= 1 && icntl[kIcntlErrorUnit - 1] >= 0;
}
inline bool warnings_printed(const fint* icntl) {
  return icntl[kIcntlPrintLevel - 1] >= 2 && icntl[kIcntlErrorUnit - 1] >= 0;
}
inline bool entry_lines_printed(const fint* icntl) {
  return icntl[kIcntlPrintLevel - 1] >= 3 && icntl[kIcntlDiagUnit - 1] >= 0;
}

// Raises a memory entry of INFO to at least a 64-bit amount; the entry
// saturates at 2147483647.
inline void raise_info(fint* info, int entry, std::int64_t amount) {
  const fint v = saturate(amount);
  if (info[entry - 1] < v) info[entry - 1] = v;
}

// Message helpers over ZA38_PRINT_MESSAGE, by value.
void print_message(fint who, fint code, fint i1, fint unit);
void print_entry_line(fint who, fint code, fint row, fint col, double x, fint unit);

// After the input conversion of ZA38AD (WHO 1) or ZA38BD (WHO 2): when an
// entry of the held matrix in column form (INDEX(1..N+1) pointers,
// INDEX(N+2..) rows, VALUE(1..NZ), duplicates summed) is not finite, sets
// INFO(1) to kErrNotFinite, prints the first such entry by columns (row and
// column as the host gave them, TRANSA undone) at ICNTL(3) >= 1, and
// returns true.  One pass over the values.
bool refuse_non_finite(fint who, fint n, fint nz, bool transa, const fint* index, const double* value,
                       const fint* icntl, fint* info);

// The end of a factorisation (WHO 1) or refactorisation (WHO 2) that
// succeeded: RINFO(9), which holds the largest magnitude in U, becomes the
// growth over AMAX, the largest magnitude of an entry of the matrix
// factorised (0 when AMAX is 0), and warning 16 is merged and printed when
// the growth passes kGrowthLimit or is not finite (it is then +Inf, a NaN
// included).  Its message carries the growth, a real,
// so it has this recorder of its own rather than ZA38_RECORD_ERROR.
void finish_growth(fint who, double amax, const fint* icntl, fint* info, double* rinfo);

// True when every one of N reals is finite (shared with the other solvers).
using tbl::all_finite;

// The largest magnitude of N reals (NaNs are passed over).
inline double largest_magnitude(const double* x, std::int64_t n) {
  double m = 0.0;
  for (std::int64_t p = 0; p < n; ++p) {
    const double a = x[p] < 0.0 ? -x[p] : x[p];
    if (a > m) m = a;
  }
  return m;
}

}  // namespace tbl::za38
