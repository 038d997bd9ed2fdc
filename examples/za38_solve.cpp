// A host program that solves sparse systems read from Matrix Market files
// with the unsymmetric-pattern multifrontal solver, through the library's
// entry points only.
//
//   za38_solve <matrix.mtx> [more matrices...]
//
// The right-hand side comes from a known solution (x(i) = 1 + i/n), so the
// actual error of each solve is shown beside the backward errors.  For each
// phase: the time, and what the phase reports (blocks, factor entries, the
// growth of the factors, refinement steps).  Only square matrices are
// solved.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "TesselBasicLib.h"
#include "mtx_coo.hpp"

namespace {

using example::Coo;
using example::read_matrix_market;
using example::seconds_since;

// The componentwise backward errors of x for A x = b (trans: A' x = b),
// the two kinds split as the solver splits them.
void backward_errors(const Coo& a, const std::vector<double>& b, const std::vector<double>& x, bool trans,
                     double& w1, double& w2) {
  const size_t n = b.size();
  std::vector<double> r(b), ax(n, 0.0), rs(n, 0.0);
  for (size_t k = 0; k < a.row.size(); ++k) {
    const int32_t i = trans ? a.col[k] : a.row[k], j = trans ? a.row[k] : a.col[k];
    r[i - 1] -= a.val[k] * x[j - 1];
    ax[i - 1] += std::fabs(a.val[k] * x[j - 1]);
    rs[i - 1] += std::fabs(a.val[k]);
  }
  double xn = 0.0;
  for (double v : x) xn = std::max(xn, std::fabs(v));
  const double tau = 1000.0 * 2.220446049250313e-16 * static_cast<double>(n);
  w1 = w2 = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double d1 = std::fabs(b[i]) + ax[i], d2 = (std::fabs(b[i]) + rs[i] * xn) * tau;
    if (d1 > d2)
      w1 = std::max(w1, std::fabs(r[i]) / d1);
    else if (ax[i] + rs[i] * xn > 0.0)
      w2 = std::max(w2, std::fabs(r[i]) / (ax[i] + rs[i] * xn));
  }
}

double relative_error(const std::vector<double>& x, const std::vector<double>& xt) {
  double e = 0.0, s = 0.0;
  for (size_t i = 0; i < x.size(); ++i) {
    e = std::max(e, std::fabs(x[i] - xt[i]));
    s = std::max(s, std::fabs(xt[i]));
  }
  return e / s;
}

int solve_one(const std::string& path) {
  Coo a;
  if (!read_matrix_market(path, a)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  const int32_t n = a.n, ne = static_cast<int32_t>(a.row.size());
  std::printf("%s: %d x %d, %d entries\n", path.c_str(), a.m, a.n, ne);
  if (a.m != a.n) {
    std::printf("  not square: skipped\n");
    return 0;
  }
  int32_t keep[20] = {}, icntl[20], info[40];
  double cntl[10], rinfo[20];
  VIZ_ZA38ID(keep, cntl, icntl);
  icntl[2] = 1;  // errors only; the storage retries below are expected
  icntl[0] = -1;

  // Analyse and factorise, keeping a copy for refinement; after a shortage
  // the call is repeated with more.
  int64_t lindex = std::max<int64_t>(int64_t{ne} + 2 * int64_t{n} + 1 + std::max<int64_t>(n + 1, 2 * int64_t{ne}),
                                     4 * int64_t{ne} + 10 * int64_t{n});
  int64_t lvalue = 6 * int64_t{ne};
  std::vector<int32_t> index;
  std::vector<double> value;
  double t_factor = 0.0;
  int attempts = 0;
  for (;;) {
    index.assign(lindex, 0);
    value.assign(lvalue, 0.0);
    std::copy(a.row.begin(), a.row.end(), index.begin());
    std::copy(a.col.begin(), a.col.end(), index.begin() + ne);
    std::copy(a.val.begin(), a.val.end(), value.begin());
    const int32_t job = 1, transa = 0, li = static_cast<int32_t>(lindex), lv = static_cast<int32_t>(lvalue);
    const auto t0 = std::chrono::steady_clock::now();
    VIZ_ZA38AD(&n, &ne, &job, &transa, &lv, &li, value.data(), index.data(), keep, cntl, icntl, info, rinfo);
    t_factor += seconds_since(t0);
    ++attempts;
    if (info[0] != -3 && info[0] != -4 && info[0] != -5) break;
    // The needs reported after a shortage are lower bounds (what was needed
    // up to it): each short array grows to the larger of its need and 1.5
    // times its length.
    const int64_t was = lindex + lvalue;
    if (info[0] != -4) lindex = std::min<int64_t>(INT32_MAX, std::max(lindex + lindex / 2, int64_t{info[18]}));
    if (info[0] != -3) lvalue = std::min<int64_t>(INT32_MAX, std::max(lvalue + lvalue / 2, int64_t{info[20]}));
    if (lindex + lvalue == was) break;  // neither can grow further
  }
  if (info[0] < 0) {
    std::printf("  analyse and factorise failed, INFO(1) = %d\n", info[0]);
    return 1;
  }
  std::printf("  %-18s%10.3f ms  INFO(1) = %d, %d call(s), blocks %d (%d of order 1), fronts %d\n",
              "analyse+factorise", 1e3 * t_factor, info[0], attempts, info[8], info[7], info[12]);
  std::printf("  %-18s%10s     factor entries %d (L %d, U %d, above blocks %d), %.3g flops\n", "", "", info[11],
              info[10], info[9], info[6], rinfo[0]);
  std::printf("  %-18s%10s     LINDEX %lld needed %d, LVALUE %lld needed %d\n", "", "",
              static_cast<long long>(lindex), info[18], static_cast<long long>(lvalue), info[20]);
  // Past 1e8 the factors carry warning 16: a solve without refinement may
  // lose more than half its digits (refine, or factorise with ICNTL(6) = 1).
  std::printf("  %-18s%10s     growth of the factors %.3g (RINFO(9))%s\n", "", "", rinfo[8],
              (info[0] & 16) != 0 ? ", warning 16" : "");

  std::vector<double> xt(n), x(n), w(4 * static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) xt[i] = 1.0 + static_cast<double>(i) / n;
  for (const bool trans : {false, true}) {
    std::vector<double> b(n, 0.0);
    for (int32_t k = 0; k < ne; ++k) {
      const int32_t i = trans ? a.col[k] : a.row[k], j = trans ? a.row[k] : a.col[k];
      b[i - 1] += a.val[k] * xt[j - 1];
    }
    for (const int32_t steps : {0, 10}) {
      icntl[7] = steps;
      const int32_t job = 0, transc = trans ? 1 : 0, li = static_cast<int32_t>(lindex),
                    lv = static_cast<int32_t>(lvalue);
      const auto t0 = std::chrono::steady_clock::now();
      VIZ_ZA38CD(&n, &job, &transc, &lv, &li, value.data(), index.data(), keep, b.data(), x.data(), w.data(), cntl,
                 icntl, info, rinfo);
      const double t = seconds_since(t0);
      double w1 = 0.0, w2 = 0.0;
      backward_errors(a, b, x, trans, w1, w2);
      const std::string name = std::string(trans ? "solve A'x=b" : "solve Ax=b") + (steps ? " refined" : "");
      std::printf("  %-18s%10.3f ms  INFO(1) = %d, steps %d, omega %.2e %.2e, error %.2e\n", name.c_str(), 1e3 * t,
                  info[0], info[23], w1, w2, relative_error(x, xt));
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <matrix.mtx> [more matrices...]\n", argv[0]);
    return 2;
  }
  int status = 0;
  for (int k = 1; k < argc; ++k) status |= solve_one(argv[k]);
  return status;
}
