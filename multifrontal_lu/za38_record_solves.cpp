// Solves with one block factor, record by record: records of two or more
// pivots through DTRSV on their pivot block and DGEMV on their L or U part
// (the vector's entries gathered into WORK and scattered back), records of
// one pivot, the common case of very sparse factors, in plain loops.
#include "interface/blas.hpp"
#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_layout.hpp"

using namespace tbl;
using namespace tbl::za38;

namespace {

const double kMinusOne = -1.0, kOne = 1.0;
const fint kInc = 1;

// One record as the solves read it: X(m) is its first pivot, BR(q) its
// first real; rows and cols are its L rows and U columns (1-based lists).
struct Rec {
  fint q, k, c, r;
  const fint* rows;
  const fint* cols;
};

inline Rec record(const fint* rtab, const fint* rdat, fint j) {
  const fint* w = rdat + (rtab[j - 1] - 1);
  Rec rec{w[kRecRealStart], w[kRecPivots], w[kRecCols], w[kRecRows], nullptr, nullptr};
  rec.rows = w + kRecHeader;
  rec.cols = w + kRecHeader + rec.r;
  return rec;
}

inline void gather(const fint* list, fint len, const double* x, double* work) {
  for (fint i = 0; i < len; ++i) work[i] = x[list[i] - 1];
}
inline void scatter(const fint* list, fint len, const double* work, double* x) {
  for (fint i = 0; i < len; ++i) x[list[i] - 1] = work[i];
}

}  // namespace

extern "C" {

void ZA38_L_SOLVE(const fint* r_, const fint* /*nb*/, const fint* rtab, const fint* rdat, const double* br,
                  double* x, double* work) {
  fint off = 0;
  for (fint j = 1; j <= *r_; ++j) {
    const Rec e = record(rtab, rdat, j);
    const double* a = br + (e.q - 1);
    if (e.k == 1) {
      const double xm = x[off];
      for (fint i = 0; i < e.r; ++i) x[e.rows[i] - 1] -= xm * a[1 + i];
    } else {
      const fint ld = e.k + e.r;
      dtrsv_("L", "N", "U", &e.k, a, &ld, x + off, &kInc, 1, 1, 1);
      gather(e.rows, e.r, x, work);
      dgemv_("N", &e.r, &e.k, &kMinusOne, a + e.k, &ld, x + off, &kInc, &kOne, work, &kInc, 1);
      scatter(e.rows, e.r, work, x);
    }
    off += e.k;
  }
}

void ZA38_U_SOLVE(const fint* r_, const fint* npiv, const fint* /*nb*/, const fint* rtab, const fint* rdat,
                  const double* br, double* x, double* work) {
  fint off = *npiv;
  for (fint j = *r_; j >= 1; --j) {
    const Rec e = record(rtab, rdat, j);
    const double* a = br + (e.q - 1);
    off -= e.k;
    if (e.k == 1) {
      double t = x[off];
      const double* u12 = a + 1 + e.r;
      for (fint i = 0; i < e.c; ++i) t -= u12[i] * x[e.cols[i] - 1];
      x[off] = t / a[0];
    } else {
      const fint ld = e.k + e.r;
      gather(e.cols, e.c, x, work);
      dgemv_("N", &e.k, &e.c, &kMinusOne, a + std::int64_t{e.k} * ld, &e.k, work, &kInc, &kOne, x + off, &kInc, 1);
      dtrsv_("U", "N", "N", &e.k, a, &ld, x + off, &kInc, 1, 1, 1);
    }
  }
}

void ZA38_LT_SOLVE(const fint* r_, const fint* npiv, const fint* /*nb*/, const fint* rtab, const fint* rdat,
                   const double* br, double* x, double* work) {
  fint off = *npiv;
  for (fint j = *r_; j >= 1; --j) {
    const Rec e = record(rtab, rdat, j);
    const double* a = br + (e.q - 1);
    off -= e.k;
    if (e.k == 1) {
      double t = x[off];
      for (fint i = 0; i < e.r; ++i) t -= a[1 + i] * x[e.rows[i] - 1];
      x[off] = t;
    } else {
      const fint ld = e.k + e.r;
      gather(e.rows, e.r, x, work);
      dgemv_("T", &e.r, &e.k, &kMinusOne, a + e.k, &ld, work, &kInc, &kOne, x + off, &kInc, 1);
      dtrsv_("L", "T", "U", &e.k, a, &ld, x + off, &kInc, 1, 1, 1);
    }
  }
}

void ZA38_UT_SOLVE(const fint* r_, const fint* /*nb*/, const fint* rtab, const fint* rdat, const double* br,
                   double* x, double* work) {
  fint off = 0;
  for (fint j = 1; j <= *r_; ++j) {
    const Rec e = record(rtab, rdat, j);
    const double* a = br + (e.q - 1);
    if (e.k == 1) {
      const double xm = x[off] / a[0];
      x[off] = xm;
      const double* u12 = a + 1 + e.r;
      for (fint i = 0; i < e.c; ++i) x[e.cols[i] - 1] -= xm * u12[i];
    } else {
      const fint ld = e.k + e.r;
      dtrsv_("U", "T", "N", &e.k, a, &ld, x + off, &kInc, 1, 1, 1);
      gather(e.cols, e.c, x, work);
      dgemv_("T", &e.k, &e.c, &kMinusOne, a + std::int64_t{e.k} * ld, &e.k, x + off, &kInc, &kOne, work, &kInc, 1);
      scatter(e.cols, e.c, work, x);
    }
    off += e.k;
  }
}

}  // extern "C"
