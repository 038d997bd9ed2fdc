// DI23: sparse nonlinear least squares and nonlinear equations by a
// Levenberg-Marquardt method with reverse communication.  Internal layout of
// the host's workspace IW/W and the pieces shared by the start of a problem
// (di23_start.cpp) and its iteration (di23.cpp).
//
// Everything DI23AD keeps between calls lives in IW and W:
//
//   IW(1..40)   the header below (sizes, phase, counters)
//   then        IPJ(N+1), IRNJ(NE)   the pattern of J by columns
//               HOSTPOS(NE)          column-form position of host entry k
//               IPR(M+1), JCR(NE)    the pattern by rows, columns increasing
//               POSR(NE)             column-form position of row entry t
//               ROWPOS(NE)           row-form position of column entry e
//               IPA(N+1), IRA(NEJTJ) lower triangle of the pattern of J'J by
//                                    columns, each column's diagonal first
//               GPTR(N+1), GCOL(N)   the column groups of the estimator
//               KEEP(LKEEP)          MA57's analysis
//               IFACT(LIFACT)        MA57's integer factors
//               ISCR(2N)             scratch (slot marker, MA57's IWORK)
//
//   W(1..20)    the header below (damping, norms, ratios)
//   then        D(N)                 the variable scaling in use
//               XS(N,2), FS(M,2)     the current and the candidate point and
//                                    residuals (slot k = 0 or 1)
//               AJS(NE,2)            their Jacobians, by columns
//               G(N), P(N), TYP(N), WN(N)  J'f, the step, the typical
//                                    sizes of the variables, MA57's solve
//                                    workspace (while a difference
//                                    estimate runs, its steps)
//               WM(M)                J p, or the forward residuals of a
//                                    central difference
//               AV(NEJTJ+N)          values given to MA57: J'J on its pattern,
//                                    then the damping term mu*D(j)^2 as a
//                                    second diagonal entry of each j (MA57
//                                    sums repeated entries), so a new mu
//                                    rewrites only the last N values
//               FACT(LFACT)          MA57's real factors
#pragma once

#include <cstdint>

#include "interface/common.hpp"

namespace tbl::di23 {

using i64 = std::int64_t;

inline constexpr int kLenICNTL = 20;
inline constexpr int kLenCNTL = 20;
inline constexpr int kLenCNTLD = 5;
inline constexpr int kLenINFO = 20;
inline constexpr int kLenRINFO = 20;

inline constexpr i64 kIwHeader = 40;
inline constexpr i64 kWHeader = 20;
// Marks a workspace that holds a live problem.
inline constexpr fint kMagic = 0x44493233;
// Doublings of the damping term after failed factorisations of one step.
inline constexpr fint kMaxDoublings = 10;
// Jacobians with a value that is not finite, in a row, that end a problem.
// Each rejects its point and doubles the growth of the damping, so the
// trial steps retreat towards X; ten in a row say that J is not finite
// however near X the steps come (a run that drives the damping to its
// largest, or to where it no longer moves X, ends sooner).
inline constexpr fint kMaxNonfiniteJacobians = 10;

enum class Phase : fint { Idle = 0, StartF = 1, HostJ = 2, Estimate = 3, Trial = 4 };

// A short step is cut off by the damping, not by the model, when cutting
// the damping by this factor lengthens it by more than kGrowth.
inline constexpr double kProbeCut = 10;
inline constexpr double kGrowth = 2;

// IW header entries.
enum IwSlot : int {
  kMagicAt = 1,
  kPhase,
  kM,
  kN,
  kNE,
  kLIW,
  kLW,
  kNejtj,
  kLfact,
  kLifact,
  kNgroup,
  kSource,   // 0 estimated Jacobian, 1 the host's
  kMethod,   // 1 forward, 2 central differences
  kScaling,  // 0 automatic, 1 the host's D
  kCurrent,  // slot of the current point (0 or 1); the candidate is the other
  kStarted,  // 1 once the first point with its Jacobian is current
  kTdGroup,  // the estimator's ISAVE(1..2)
  kTdSide,
  kNiter,
  kNfev,
  kNjev,
  kNfact,
  kNdoubling,
  kNreject,
  kNnonfinite,
  kFactorEntries,
  kDelayed,
  kMa57Status,
  kNeedIW,
  kNeedW,
  kFresh,    // 1 while no trial has been rejected since the last Jacobian
  kFinal,    // 1 while the last, short step is being evaluated
  kKeepSumLow,   // checksum of MA57's analysis in KEEP, taken at the start
  kKeepSumHigh,
  kNonfiniteRun,  // Jacobians not finite since the last finite one
  kNonfiniteAt,   // the first value not finite in the last of them (host's numbering)
};

// W header entries.
enum WSlot : int {
  kMu = 1,     // damping factor mu
  kNu,         // its growth factor after a rejected step
  kFnorm,      // ||F|| at the current point
  kFnorm0,     // ||F|| at the start
  kGnorm,      // scaled gradient max |g_j| / (||J_j|| ||F||), D_j for ||J_j|| with the host's D
  kStep,       // ||D p|| of the last step
  kXnorm,      // ||D x|| at the current point
  kRatio,      // actual over predicted reduction of the last trial
  kAred,       // relative actual reduction 1 - (||F_trial|| / ||F||)^2
  kPred,       // relative predicted reduction
  kFcand,      // ||F|| at the candidate point
  kDiagRatio,  // max_j (J'J)_jj / D_j^2 of the current Jacobian
  kMaxD2,      // max_j D_j^2
  kProbeStep,  // ||D p|| of a short step before the damping was cut
  kMuAccepted, // the damping once the candidate's Jacobian proves finite
};

struct Sizes {
  i64 m = 0, n = 0, ne = 0, nejtj = 0, lfact = 0, lifact = 0;
  i64 ne57() const { return nejtj + n; }
  i64 lkeep() const { return 5 * n + ne57() + (n > ne57() ? n : ne57()) + 42; }
};

// 1-based positions of the sections of IW and W, and the lengths they need.
struct Layout {
  i64 ipj, irnj, hostpos, ipr, jcr, posr, rowpos, ipa, ira, gptr, gcol, keep, ifact, iscr, liw;
  i64 d, xs, fs, ajs, g, p, typ, wn, wm, av, fact, lw;

  explicit Layout(const Sizes& s) {
    ipj = kIwHeader + 1;
    irnj = ipj + s.n + 1;
    hostpos = irnj + s.ne;
    ipr = hostpos + s.ne;
    jcr = ipr + s.m + 1;
    posr = jcr + s.ne;
    rowpos = posr + s.ne;
    ipa = rowpos + s.ne;
    ira = ipa + s.n + 1;
    gptr = ira + s.nejtj;
    gcol = gptr + s.n + 1;
    keep = gcol + s.n;
    ifact = keep + s.lkeep();
    iscr = ifact + s.lifact;
    liw = iscr + 2 * s.n - 1;

    d = kWHeader + 1;
    xs = d + s.n;
    fs = xs + 2 * s.n;
    ajs = fs + 2 * s.m;
    g = ajs + 2 * s.ne;
    p = g + s.n;
    typ = p + s.n;
    wn = typ + s.n;
    wm = wn + s.n;
    av = wm + s.m;
    fact = av + s.ne57();
    lw = fact + s.lfact - 1;
  }
};

// The arguments of one DI23AD call.
struct Args {
  const fint *M, *N, *NE, *IRN, *JCN;
  double *X, *F, *D;
  const fint* ICNTL;
  const double *CNTL, *CNTLD;
  const fint* ICNTLM;
  const double* CNTLM;
  fint* IW;
  const fint* LIW;
  double* W;
  const fint* LW;
  double *AJ, *XT;
  fint* IREQ;
  double* FT;
  fint* INFO;
  double* RINFO;
  fint *NFEV, *NJEV, *NITER;
  double* FNORM;
};

// Checks the controls (and, with the host's scaling, D).  Returns true when
// they are valid; otherwise INFO(2) and INFO(3) name the first faulty entry.
bool controls_valid(const Args& a, bool check_d);

// Writes the error message of status CODE on the error unit when the print
// level allows; the values are those its text shows.
void print_error(const fint* icntl, fint code, i64 v1 = 0, i64 v2 = 0, i64 v3 = 0, const char* text = "",
                 double r = 0);

// A new problem (IREQ = 0): checks, the structures and MA57's analysis in
// the workspace, and the request for the residuals at X.
void start_problem(const Args& a);

// Euclidean norm without overflow or harmful underflow.
double norm2(const double* v, i64 n);
// Euclidean norm of D .* v.
double scaled_norm2(const double* d, const double* v, i64 n);
// Index (1-based) of the first entry that is not finite, 0 if none.
i64 first_nonfinite(const double* v, i64 n);

// The sizes in the heading words of IW.
Sizes kept_sizes(const fint* iw);

// A call that continues the problem held in IW (its header matches the
// call): the position in IW of the first word, among those the call will
// follow as an index, a pointer or a loop bound, that cannot be what
// DI23AD left there; 0 when there is none.
i64 damaged_word(const Args& a);
// The same for a step computed after a trial point (J by columns and MA57's
// analysis), once the heading words have passed damaged_word.
i64 damaged_before_step(const Args& a);
// Ends that problem with IREQ = INFO(1) = -11, INFO(2) = WORD, and the
// message; nothing else is written.
void end_damaged(const Args& a, i64 word);
// The checksum of the parts of MA57's analysis in KEEP that its
// factorisation follows as indices or bounds, kept in the header.
std::uint64_t analysis_checksum(const fint* keep, const Sizes& s);

}  // namespace tbl::di23
