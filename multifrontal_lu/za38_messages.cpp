// The error and warning texts of the package, and the merge of a code into
// the status.
#include <cmath>

#include "interface/fmt.hpp"
#include "multifrontal_lu/za38_internal.hpp"

namespace tbl::za38 {
namespace {

// Layout S: a text, and only when values follow, an integer in twelve
// columns and a closing text.  Layout E: a text, then the entry's line.
constexpr const char* kLayoutS = "(' ',A,:,I12,:,A)";
constexpr const char* kLayoutE = "(' ',A,/,'    row: ',I12,' col: ',I12,' value: ',D11.4)";
// Layout G, the growth of the factors: the phase, a text, the growth and a
// closing text, then three lines of advice, indented as the entry line of
// layout E.  Layout O, factors that overflowed (an infinite growth): the
// phase and a text, then two lines of advice.
constexpr const char* kLayoutG = "(' ',A,A,D11.4,A,/,'    ',A,/,'    ',A,/,'    ',A)";
constexpr const char* kLayoutO = "(' ',A,A,/,'    ',A,/,'    ',A)";

void text(fint unit, const char* s) { io::write(unit, kLayoutS, s); }
void text_value(fint unit, const char* s, fint v) { io::write(unit, kLayoutS, s, v); }
void text_value_text(fint unit, const char* s, fint v, const char* t) { io::write(unit, kLayoutS, s, v, t); }
void entry(fint unit, const char* s, fint row, fint col, double x) { io::write(unit, kLayoutE, s, row, col, x); }
void growth(fint unit, const char* who, double x) {
  if (x == HUGE_VAL) {
    io::write(unit, kLayoutO, who, " factors not finite (RINFO(9) = Infinity); a solve gives no solution.",
              "A new ZA38AD with ICNTL(6) = 1, a larger CNTL(1) or a scaled matrix",
              "may avoid the overflow.");
    return;
  }
  io::write(unit, kLayoutG, who, " factors grew by", x, " (RINFO(9)); a solve may lose over half its digits.",
            "A new ZA38AD with ICNTL(6) = 1 or a larger CNTL(1) usually gives accurate factors;",
            "iterative refinement (ICNTL(8) > 0, matrix kept with JOB = 1) may recover",
            "a solution when the growth is moderate, not always.");
}

void analyse_message(fint code, fint i1, fint i2, double x, fint u) {
  switch (code) {
    case kErrN: return text(u, "ZA38AD: N less than one!");
    case kErrNe: return text(u, "ZA38AD: NE less than one!");
    case kErrIndex: return text_value(u, "ZA38AD: LINDEX too small!  Must be greater than ", i1);
    case kErrValue: return text_value(u, "ZA38AD: LVALUE too small!  Must be greater than ", i1);
    case kErrNotFinite: return entry(u, "ZA38AD: matrix entry not finite!", i1, i2, x);
    case kWarnInvalid:
      return text_value_text(u, "ZA38AD: ", i1, " invalid entries ignored (out of range 1..N).");
    case kWarnDuplicate: return text_value_text(u, "ZA38AD: ", i1, " duplicate entries summed.");
    case kWarnSingular: return text_value_text(u, "ZA38AD: matrix is singular.  Only ", i1, " pivots found.");
    case kWarnGrowth: return growth(u, "ZA38AD:", x);
    case kLineDuplicate: return entry(u, "ZA38AD: duplicate entry summed:", i1, i2, x);
    case kLineOutOfRange: return entry(u, "ZA38AD: invalid entry (out of range 1..N):", i1, i2, x);
    default: return;
  }
}

void refactor_message(fint code, fint i1, fint i2, double x, fint u) {
  switch (code) {
    case kErrFactors: return text(u, "ZA38BD: LU factors uncomputed or corrupted!");
    case kErrPivotOrder: return text(u, "ZA38BD: pivot order from ZA38AD failed!");
    case kErrValue: return text_value(u, "ZA38BD: LVALUE too small!  Must be greater than ", i1);
    case kErrIndex: return text_value(u, "ZA38BD: LINDEX too small!  Must be greater than ", i1);
    case kErrNe:
      if (i1 >= 0) return text_value(u, "ZA38BD: NE too large!  Must be less than ", i1);
      return text(u, "ZA38BD: NE less than one!");
    case kErrN: return text(u, "ZA38BD: N less than one!");
    case kErrNotFinite: return entry(u, "ZA38BD: matrix entry not finite!", i1, i2, x);
    case kWarnInvalid:
      if (i1 > 0) return text_value_text(u, "ZA38BD: ", i1, " invalid entries ignored (out of range 1..N).");
      // The count of entries outside the prior pattern comes negated.
      return text_value_text(u, "ZA38BD: ", saturate(-std::int64_t{i1}),
                             " invalid entries ignored (not in prior pattern).");
    case kWarnDuplicate: return text_value_text(u, "ZA38BD: ", i1, " duplicate entries summed.");
    case kWarnSingular: return text_value_text(u, "ZA38BD: matrix is singular.  Only ", i1, " pivots found.");
    case kWarnGrowth: return growth(u, "ZA38BD:", x);
    case kLinePriorSingular: return entry(u, "ZA38BD: invalid entry (prior matrix singular):", i1, i2, x);
    case kLineBelowBlocks: return entry(u, "ZA38BD: invalid entry (below diagonal blocks):", i1, i2, x);
    case kLineNotInPattern: return entry(u, "ZA38BD: invalid entry (not in pattern of prior factors)", i1, i2, x);
    case kLineDuplicate: return entry(u, "ZA38BD: duplicate entry summed:", i1, i2, x);
    case kLineOutOfRange: return entry(u, "ZA38BD: invalid entry (out of range 1..N):", i1, i2, x);
    default: return;
  }
}

void solve_message(fint code, fint i1, fint u) {
  switch (code) {
    case kErrFactors: return text(u, "ZA38CD: LU factors uncomputed or corrupted!");
    case kErrN: return text(u, "ZA38CD: N less than one!");
    case kWarnNoRefinement:
      if (i1 == 0) return text(u, "ZA38CD: no iterative refinement: original matrix not preserved");
      return text(u, "ZA38CD: no iterative refinement: only for Ax=b or A'x=b");
    default: return;
  }
}

}  // namespace

void print_message(fint who, fint code, fint i1, fint unit) {
  const fint zero = 0;
  const double x = 0.0;
  ZA38_PRINT_MESSAGE(&who, &code, &i1, &zero, &x, &unit);
}

void print_entry_line(fint who, fint code, fint row, fint col, double x, fint unit) {
  ZA38_PRINT_MESSAGE(&who, &code, &row, &col, &x, &unit);
}

void finish_growth(fint who, double amax, const fint* icntl, fint* info, double* rinfo) {
  double& g = rinfo[kRinfoGrowth - 1];
  g = amax > 0.0 ? g / amax : 0.0;
  // Factors that are not finite (an overflow) report an infinite growth,
  // whether the kernels met an Inf or a NaN.
  if (g != g) g = HUGE_VAL;
  if (g <= kGrowthLimit) return;
  info[kInfoStatus - 1] = merged_status(info[kInfoStatus - 1], kWarnGrowth);
  if (warnings_printed(icntl)) {
    const fint code = kWarnGrowth, zero = 0, unit = icntl[kIcntlErrorUnit - 1];
    ZA38_PRINT_MESSAGE(&who, &code, &zero, &zero, &g, &unit);
  }
}

}  // namespace tbl::za38

using namespace tbl;
using namespace tbl::za38;

extern "C" {

void ZA38_PRINT_MESSAGE(const fint* who, const fint* code, const fint* i1, const fint* i2, const double* x,
                        const fint* unit) {
  const fint u = *unit;
  if (u < 0) return;
  switch (*who) {
    case kWhoAnalyse: return analyse_message(*code, *i1, *i2, *x, u);
    case kWhoRefactor: return refactor_message(*code, *i1, *i2, *x, u);
    case kWhoSolve: return solve_message(*code, *i1, u);
    default: return;
  }
}

void ZA38_RECORD_ERROR(const fint* who, const fint* icntl, fint* info, const fint* code, const fint* value) {
  info[kInfoStatus - 1] = merged_status(info[kInfoStatus - 1], *code);
  const fint c = *code;
  const fint level = icntl[kIcntlPrintLevel - 1];
  fint unit = icntl[kIcntlErrorUnit - 1];
  bool printed = false;
  if (c < 0) {
    printed = level >= 1;
  } else if (c == kWarnInvalid || c == kWarnDuplicate || c == kWarnSingular || c == kWarnNoRefinement) {
    printed = level >= 2;
  } else if (c >= kLinePriorSingular && c <= kLineOutOfRange) {
    printed = level >= 3;
    unit = icntl[kIcntlDiagUnit - 1];
  }
  if (printed) print_message(*who, c, *value, unit);
}

}  // extern "C"
