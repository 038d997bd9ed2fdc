// A host program that solves a sparse system read from a Matrix Market file
// with the unsymmetric solver, through the library's entry points only.
//
//   ma48_solve <matrix.mtx> [more matrices...]
//
// The right-hand side is A times a vector of ones (A' times ones for the
// transposed solve), so that the actual error can be shown beside the
// backward errors and the error estimate the solver returns.  Rectangular
// matrices are solved in the direction that has a solution.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TesselBasicLib.h"
#include "mtx_coo.hpp"

namespace {

using example::Coo;
using example::read_matrix_market;
using example::seconds_since;

// The solver's state for one matrix: the arrays the host keeps between the
// phases.
struct Solver {
  int32_t m, n, ne, la;
  std::vector<double> a;
  std::vector<int32_t> irn, jcn, keep;
  double cntl[5];
  int32_t icntl[9], info[12];
  double rinfo[1];
};

int solve_one(const std::string& path) {
  Coo coo;
  if (!read_matrix_market(path, coo)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  Solver s;
  s.m = coo.m;
  s.n = coo.n;
  s.ne = static_cast<int32_t>(coo.row.size());
  VIZ_MA48ID(s.cntl, s.icntl);
  s.icntl[2] = 0;  // no messages: the storage retries below are expected
  s.keep.assign(static_cast<size_t>(s.m) + 9 * static_cast<size_t>(s.n) + 2, 0);
  std::vector<int32_t> iw(6 * static_cast<size_t>(s.m) + 3 * static_cast<size_t>(s.n));
  std::printf("%s: %d x %d, %d entries\n", path.c_str(), s.m, s.n, s.ne);

  // Analyse, giving more storage whenever the analysis asks for it.
  s.la = 3 * s.ne;
  double t_analyse = 0.0;
  for (;;) {
    s.a.assign(s.la, 0.0);
    s.irn.assign(s.la, 0);
    s.jcn.assign(s.la, 0);
    std::copy(coo.val.begin(), coo.val.end(), s.a.begin());
    std::copy(coo.row.begin(), coo.row.end(), s.irn.begin());
    std::copy(coo.col.begin(), coo.col.end(), s.jcn.begin());
    int32_t job = 1;
    const auto t0 = std::chrono::steady_clock::now();
    VIZ_MA48AD(&s.m, &s.n, &s.ne, &job, &s.la, s.a.data(), s.irn.data(), s.jcn.data(), s.keep.data(), s.cntl,
               s.icntl, iw.data(), s.info, s.rinfo);
    t_analyse += seconds_since(t0);
    if (s.info[0] != -3) break;
    // A failed analysis reports the extent it reached, a lower bound of
    // what it needs: grow by half at least.
    s.la = std::max(s.info[2], s.la + s.la / 2);
  }
  if (s.info[0] < 0) {
    std::printf("  analyse failed, INFO(1) = %d\n", s.info[0]);
    return 1;
  }
  const int32_t nb = s.keep[static_cast<size_t>(s.m) + 5 * static_cast<size_t>(s.n) + 4];
  std::printf("  %-12s%9.3f ms  INFO(1) = %d, blocks %d, structural rank %d, rank estimate %d\n", "analyse",
              1e3 * t_analyse, s.info[0], nb, s.info[9], s.info[4]);
  std::printf("  %-12s%12s LA forecast %d\n", "", "", s.info[3]);

  // Factorise; when short of storage, move to longer arrays and retry.
  if (s.la < s.info[3]) {
    s.la = s.info[3];
    s.a.resize(s.la);
    s.irn.resize(s.la);
  }
  std::vector<double> w(s.m);
  std::vector<int32_t> iwb(2 * static_cast<size_t>(s.m) + 2 * static_cast<size_t>(s.n));
  double t_factorise = 0.0;
  for (;;) {
    std::copy(coo.val.begin(), coo.val.end(), s.a.begin());
    int32_t job = 1;
    const auto t0 = std::chrono::steady_clock::now();
    VIZ_MA48BD(&s.m, &s.n, &s.ne, &job, &s.la, s.a.data(), s.irn.data(), s.jcn.data(), s.keep.data(), s.cntl,
               s.icntl, w.data(), iwb.data(), s.info, s.rinfo);
    t_factorise += seconds_since(t0);
    if (s.info[0] != -3) break;
    // The length reported may fall short: grow by half at least.
    s.la = std::max(s.info[3], s.la + s.la / 2);
    s.a.resize(s.la);
    s.irn.resize(s.la);
  }
  if (s.info[0] < 0) {
    std::printf("  factorise failed, INFO(1) = %d\n", s.info[0]);
    return 1;
  }
  std::printf("  %-12s%9.3f ms  INFO(1) = %d, rank %d, LA needed %d (LA = %d)\n", "factorise", 1e3 * t_factorise,
              s.info[0], s.info[4], s.info[3], s.la);

  // Refactorise the same values on the same pivot sequence.
  {
    std::copy(coo.val.begin(), coo.val.end(), s.a.begin());
    int32_t job = 2;
    const auto t0 = std::chrono::steady_clock::now();
    VIZ_MA48BD(&s.m, &s.n, &s.ne, &job, &s.la, s.a.data(), s.irn.data(), s.jcn.data(), s.keep.data(), s.cntl,
               s.icntl, w.data(), iwb.data(), s.info, s.rinfo);
    std::printf("  %-12s%9.3f ms  INFO(1) = %d\n", "refactorise", 1e3 * seconds_since(t0), s.info[0]);
    if (s.info[0] < 0) return 1;
  }

  // Solve in the direction(s) that have a solution for x = ones.
  for (const int32_t trans : {0, -1}) {
    const int32_t lr = trans ? s.n : s.m, lx = trans ? s.m : s.n;
    const int32_t mx = std::max(s.m, s.n);
    std::vector<double> b(lr, 0.0), x(lx), w2(static_cast<size_t>(lr) + 2 * mx + lx);
    std::vector<int32_t> iw2(lr);
    for (int32_t k = 0; k < s.ne; ++k) {
      const int32_t i = coo.row[k], j = coo.col[k];
      if (i < 1 || i > s.m || j < 1 || j > s.n) continue;
      b[trans ? j - 1 : i - 1] += coo.val[k];
    }
    int32_t job = s.m == s.n ? 4 : 3;
    double error[3] = {0.0, 0.0, 0.0};
    int32_t info = 0;
    const auto t0 = std::chrono::steady_clock::now();
    VIZ_MA48CD(&s.m, &s.n, &trans, &job, &s.la, s.a.data(), s.irn.data(), s.keep.data(), s.cntl, s.icntl, b.data(),
               x.data(), error, w2.data(), iw2.data(), &info);
    const double t_solve = seconds_since(t0);
    std::printf("  %-12s%9.3f ms  INFO(1) = %d, backward errors %.2e %.2e", trans ? "solve (A')" : "solve",
                1e3 * t_solve, info, error[0], error[1]);
    if (job == 4) std::printf(", error estimate %.2e", error[2]);
    // With more unknowns than equations, ones is only one of the solutions.
    if (lx <= lr) {
      double err = 0.0;
      for (double xi : x) err = std::max(err, std::fabs(xi - 1.0));
      std::printf(", actual error %.2e", err);
    }
    std::printf("\n");
    if (info < 0 && info != -8) return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s matrix.mtx [more matrices]\n", argv[0]);
    return 2;
  }
  int status = 0;
  for (int k = 1; k < argc; ++k) status |= solve_one(argv[k]);
  return status;
}
