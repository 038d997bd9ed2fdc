// ZA38_REPORT: the input and output reports of the three phases on the
// diagnostics unit ICNTL(2), at print level 3 and above.  Level 3 cuts
// every listing after ten items, level 4 lists everything, level 5 adds
// where things lie in INDEX and VALUE.  The report reads and prints only.
#include "multifrontal_lu/za38_report.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

using tbl::fint;
using i64 = std::int64_t;
using namespace tbl::za38;
using namespace tbl::za38::report;

constexpr const char* kPhase[] = {"ZA38AD", "ZA38BD", "ZA38CD"};

void header(const Args& a, std::string_view label) { tbl::io::write(a.unit(), "(' ',59('='),A)", label); }

void scalars(const Args& a) {
  text(a, "Scalar arguments:");
  text(a, "   N:         ", a.n, " : order of matrix A");
  if (a.who != kWhoSolve) {
    text(a, "   NE:        ", a.ne, " : entries in matrix A");
    text(a, "   JOB:       ", a.job, a.job == 1 ? " : matrix A preserved" : " : matrix A not preserved");
    text(a,
         a.trans ? "   TRANSA:          .true. : factorize A transpose" : "   TRANSA:         .false. : factorize A");
  } else {
    // The orientation of the factors, from their trailer when KEEP points
    // at one inside INDEX.
    const i64 k5 = a.keep[kKeepIndexLast - 1];
    const bool tf = k5 >= 7 && k5 - 6 <= a.lindex && a.index[k5 - 7] != 0;
    const char* what;
    if (a.job == 1)
      what = a.trans ? " : solve L'Px=b" : " : solve P'Lx=b";
    else if (a.job == 2)
      what = a.trans ? " : solve QU'x=b" : " : solve UQ'x=b";
    else if (!tf)
      what = a.trans ? " : solve A'x=b (PAQ=LU was factorized)" : " : solve Ax=b (PAQ=LU was factorized)";
    else
      what = a.trans ? " : solve Ax=b (PA'Q=LU was factorized)" : " : solve A'x=b (PA'Q=LU was factorized)";
    text(a, "   JOB:       ", a.job, what);
    text(a, a.trans ? "   TRANSC:          .true. : see JOB above " : "   TRANSC:         .false. : see JOB above ");
  }
  text(a, "   LVALUE:    ", a.lvalue, " : size of VALUE array");
  text(a, "   LINDEX:    ", a.lindex, " : size of INDEX array");
}

void controls(const Args& a) {
  auto icntl = [&](int i, const char* what) {
    static constexpr const char* kLabel[] = {"   ICNTL (1): ", "   ICNTL (2): ", "   ICNTL (3): ", "   ICNTL (4): ",
                                             "   ICNTL (5): ", "   ICNTL (6): ", "   ICNTL (7): ", "   ICNTL (8): "};
    text(a, kLabel[i - 1], a.icntl[i - 1], what);
  };
  auto cntl = [&](int i, const char* what) {
    static constexpr const char* kLabel[] = {"   CNTL (1): ", "   CNTL (2): ", "   CNTL (3): "};
    tbl::io::write(a.unit(), kReal, kLabel[i - 1], a.cntl[i - 1], what);
  };
  text(a, "Control parameters, normally initialized by ZA38ID:");
  icntl(kIcntlErrorUnit, " : I/O unit for error and warning messages");
  icntl(kIcntlDiagUnit, " : I/O unit for diagnostics");
  icntl(kIcntlPrintLevel, " : printing control");
  if (a.who == kWhoAnalyse) {
    icntl(kIcntlBtf, a.icntl[kIcntlBtf - 1] == 1 ? " : use block triangular form (BTF)"
                                                 : " : do not permute to block triangular form (BTF)");
    icntl(kIcntlSearch, " : columns examined during pivot search");
    icntl(kIcntlSymmetry, a.icntl[kIcntlSymmetry - 1] == 0 ? " : do not preserve symmetry" : " : preserve symmetry");
    icntl(kIcntlBlockSize, " : block size for dense matrix multiply");
    cntl(kCntlPivotTol, " : relative pivot tolerance");
    cntl(kCntlGrowth, " : frontal matrix growth factor");
    text(a, "   KEEP (7):  ", a.keep[kKeepDense1 - 1], " : dense row/col control, d1");
    text(a, "   KEEP (8):  ", a.keep[kKeepDense2 - 1], " : dense row/col control, d2");
  } else if (a.who == kWhoRefactor) {
    icntl(kIcntlBlockSize, " : block size for dense matrix multiply");
  } else {
    icntl(kIcntlRefineSteps, " : maximum number of iterative refinement steps");
    cntl(kCntlEps, " : machine epsilon");
  }
}

// The host's coordinate entries.  They are listed before the driver has
// compared NE with the lengths, so the listing stops where INDEX(NE+k) or
// VALUE(k) would leave the arrays.
void input_matrix(const Args& a) {
  const i64 ne = a.ne;
  if (a.level() >= 5) {
    text(a, a.trans ? "The input matrix A transpose:" : "The input matrix A:");
    text(a, "   VALUE (1 ... ", ne, " ): numerical values");
    text(a, "   INDEX (1 ... ", ne, a.trans ? " ): column indices" : " ): row indices");
    text(a, "   INDEX (", ne + 1, " ... ", 2 * ne, a.trans ? " ): row indices" : " ): column indices");
  }
  text(a, a.trans ? "Input matrix A transpose (entry: row, column, value):"
                  : "Input matrix A (entry: row, column, value):");
  if (ne < 1) return;
  i64 m = a.level() >= 4 ? ne : std::min<i64>(ne, 10);
  m = std::max<i64>(0, std::min({m, i64{a.lvalue}, i64{a.lindex} - ne}));
  for (i64 k = 1; k <= m; ++k) {
    const fint first = a.index[k - 1], second = a.index[ne + k - 1];
    tbl::io::write(a.unit(), "(' ',I12,': ',I12,' ',I12,' ',D11.4)", k, a.trans ? second : first,
                   a.trans ? first : second, a.value[k - 1]);
  }
  if (m < ne) line(a, kEllipsis);
}

void information(const Args& a) {
  const fint status = a.info[kInfoStatus - 1];
  text(a, "Output information:");
  text(a, "   INFO (1):  ", status,
       status < 0    ? " : error occurred!"
       : status == 0 ? " : no error or warning occurred"
                     : " : warning occurred");
  if (a.who == kWhoSolve) {
    text(a, "   INFO (24): ", a.info[kInfoRefineSteps - 1], " : steps of iterative refinement taken");
    if (i64{a.lw} == 4 * i64{a.n}) {
      tbl::io::write(a.unit(), kReal, "   RINFO (7):", a.rinfo[kRinfoOmega1 - 1], " : sparse error estimate omega1");
      tbl::io::write(a.unit(), kReal, "   RINFO (8):", a.rinfo[kRinfoOmega2 - 1], " : sparse error estimate omega2");
    }
    return;
  }
  // INFO(2..23) and RINFO(1..6): label and description.
  static constexpr const char* kInfoLine[][2] = {
      {"   INFO (2):  ", " : duplicate entries in A"},
      {"   INFO (3):  ", " : invalid entries in A (indices not in 1..N)"},
      {"   INFO (4):  ", " : invalid entries in A (not in prior pattern)"},
      {"   INFO (5):  ", " : entries in A after summing duplicates"},
      {"   INFO (6):  ", " : entries in diagonal blocks of A"},
      {"   INFO (7):  ", " : entries in off-diagonal blocks of A"},
      {"   INFO (8):  ", " : 1-by-1 diagonal blocks in A"},
      {"   INFO (9):  ", " : diagonal blocks in A (>1 only if BTF used)"},
      {"   INFO (10): ", " : entries below diagonal in L"},
      {"   INFO (11): ", " : entries above diagonal in U"},
      {"   INFO (12): ", " : entries in L + U + offdiagonal blocks of A"},
      {"   INFO (13): ", " : frontal matrices"},
      {"   INFO (14): ", " : integer garbage collections"},
      {"   INFO (15): ", " : real garbage collections"},
      {"   INFO (16): ", " : diagonal pivots chosen"},
      {"   INFO (17): ", " : numerically valid pivots found in A"},
      {"   INFO (18): ", " : memory used in INDEX"},
      {"   INFO (19): ", " : minimum memory needed in INDEX"},
      {"   INFO (20): ", " : memory used in VALUE"},
      {"   INFO (21): ", " : minimum memory needed in VALUE"},
      {"   INFO (22): ", " : memory needed in INDEX for next call to ZA38BD"},
      {"   INFO (23): ", " : memory needed in VALUE for next call to ZA38BD"},
  };
  static constexpr const char* kRinfoLine[][2] = {
      {"   RINFO (1):", " : total BLAS flop count"},   {"   RINFO (2):", " : assembly flop count"},
      {"   RINFO (3):", " : pivot search flop count"}, {"   RINFO (4):", " : Level-1 BLAS flop count"},
      {"   RINFO (5):", " : Level-2 BLAS flop count"}, {"   RINFO (6):", " : Level-3 BLAS flop count"},
  };
  for (int i = kInfoDuplicates; i <= kInfoRefactorValue; ++i) {
    text(a, kInfoLine[i - 2][0], a.info[i - 1], kInfoLine[i - 2][1]);
    if (i == kInfoEntries) text(a, "                             and removing invalid entries");
  }
  for (int i = kRinfoBlasOps; i <= kRinfoBlas3Ops; ++i)
    tbl::io::write(a.unit(), kReal, kRinfoLine[i - 1][0], a.rinfo[i - 1], kRinfoLine[i - 1][1]);
}

void vector_listing(const Args& a, const double* v) {
  const fint m = a.level() >= 4 ? a.n : std::min<fint>(a.n, 10);
  for (fint i = 1; i <= m; ++i) tbl::io::write(a.unit(), kIndexValue, i, v[i - 1]);
  if (m < a.n) line(a, kEllipsis);
}

void vectors(const Args& a) {
  line(a, kDashed);
  if (a.input) {
    text(a, "W (1 ... ", a.lw, " ), work vector: not printed");
    text(a, "B (1 ... ", a.n, " ), right-hand side: ");
    vector_listing(a, a.b);
    return;
  }
  if (a.info[kInfoStatus - 1] < 0) {
    text(a, "W (1 ... ", a.lw, " ), work vector, and");
    text(a, "X (1 ... ", a.n, " ), solution,");
    text(a, "   not printed because of error flag, INFO (1) = ", a.info[kInfoStatus - 1]);
    return;
  }
  if (i64{a.lw} == 4 * i64{a.n}) {
    text(a, "W (1 ... ", a.n, " ), residual: ");
    vector_listing(a, a.w);
    text(a, "W (", i64{a.n} + 1, " ... ", a.lw, " ), work vector: not printed");
  } else {
    text(a, "W (1 ... ", a.lw, " ), work vector: not printed");
  }
  text(a, "X (1 ... ", a.n, " ), solution: ");
  vector_listing(a, a.x);
}

}  // namespace

extern "C" void ZA38_REPORT(const fint* who, const fint* inout, const fint* n, const fint* ne, const fint* job,
                            const tbl::logical* trans, const fint* lvalue, const fint* lindex, const double* value,
                            const fint* index, const fint* keep, const double* cntl, const fint* icntl,
                            const fint* info, const double* rinfo, const double* b, const double* x, const double* w,
                            const fint* lw) {
  if (icntl[kIcntlPrintLevel - 1] < 3 || icntl[kIcntlDiagUnit - 1] < 0) return;
  if (*who < kWhoAnalyse || *who > kWhoSolve) return;
  Args a;
  a.who = *who;
  a.input = *inout == 1;
  a.n = *n;
  a.ne = a.who == kWhoSolve ? 0 : *ne;
  a.job = *job;
  a.trans = tbl::is_true(*trans);
  a.lvalue = *lvalue;
  a.lindex = *lindex;
  a.value = value;
  a.index = index;
  a.keep = keep;
  a.cntl = cntl;
  a.icntl = icntl;
  a.info = info;
  a.rinfo = rinfo;
  if (a.who == kWhoSolve) {
    a.b = b;
    a.x = x;
    a.w = w;
    a.lw = *lw;
  }

  const std::string_view phase = kPhase[a.who - 1];
  std::string title(phase);
  title += a.input ? " input:" : " output:";
  header(a, title);
  if (a.input) {
    scalars(a);
    controls(a);
    if (a.who != kWhoSolve) input_matrix(a);
    if (a.who != kWhoAnalyse) stored_factors(a);
  } else {
    information(a);
    if (a.who != kWhoSolve) stored_factors(a);
  }
  if (a.who == kWhoSolve) vectors(a);
  std::string closing = "end of ";
  closing += phase;
  closing += a.input ? " input " : " output";
  header(a, closing);
}
