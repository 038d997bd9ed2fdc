// A host program that solves a large sparse nonlinear system with DI23 and a
// Jacobian estimated by grouped finite differences, through the library's
// entry points only.
//
//   nls_solve rosenbrock <N>   extended Rosenbrock function (N even)
//   nls_solve bvp <N>          discretised boundary-value problem
//                              u'' = (u + t + 1)^3 / 2, u(0) = u(1) = 0
//
// The host only evaluates residuals: DI23AD asks for them at the points it
// chooses (IREQ = 1) and estimates the Jacobian from them.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TesselBasicLib.h"

namespace {

struct Problem {
  int32_t n = 0;
  std::vector<int32_t> irn, jcn;
  std::vector<double> x0;
  void (*residuals)(int32_t n, const double* x, double* f) = nullptr;
};

void rosenbrock_residuals(int32_t n, const double* x, double* f) {
  for (int32_t i = 0; i < n; i += 2) {
    f[i] = 10 * (x[i + 1] - x[i] * x[i]);
    f[i + 1] = 1 - x[i];
  }
}

Problem rosenbrock(int32_t n) {
  Problem p;
  p.n = n;
  p.residuals = rosenbrock_residuals;
  for (int32_t i = 1; i <= n / 2; ++i) {
    p.irn.insert(p.irn.end(), {2 * i - 1, 2 * i - 1, 2 * i});
    p.jcn.insert(p.jcn.end(), {2 * i - 1, 2 * i, 2 * i - 1});
    p.x0.insert(p.x0.end(), {-1.2, 1.0});
  }
  return p;
}

void bvp_residuals(int32_t n, const double* x, double* f) {
  const double h = 1.0 / (n + 1);
  for (int32_t i = 1; i <= n; ++i) {
    const double t = i * h, xi = x[i - 1];
    const double left = i > 1 ? x[i - 2] : 0, right = i < n ? x[i] : 0;
    const double c = xi + t + 1;
    f[i - 1] = 2 * xi - left - right + h * h * c * c * c / 2;
  }
}

Problem bvp(int32_t n) {
  Problem p;
  p.n = n;
  p.residuals = bvp_residuals;
  const double h = 1.0 / (n + 1);
  for (int32_t i = 1; i <= n; ++i) {
    for (int32_t j = i > 1 ? i - 1 : 1; j <= (i < n ? i + 1 : n); ++j) {
      p.irn.push_back(i);
      p.jcn.push_back(j);
    }
    p.x0.push_back(i * h * (i * h - 1));
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "rosenbrock") != 0 && std::strcmp(argv[1], "bvp") != 0)) {
    std::fprintf(stderr, "usage: %s rosenbrock|bvp <N>\n", argv[0]);
    return 2;
  }
  const int32_t n = static_cast<int32_t>(std::atol(argv[2]));
  if (n < 2) {
    std::fprintf(stderr, "N must be at least 2\n");
    return 2;
  }
  const bool is_rosenbrock = std::strcmp(argv[1], "rosenbrock") == 0;
  Problem p = is_rosenbrock ? rosenbrock(n - n % 2) : bvp(n);

  int32_t icntl[20], icntlm[20], info[20];
  double cntl[20], cntld[5], cntlm[5], rinfo[20];
  DI23ID(icntl, cntl, cntld, icntlm, cntlm);
  icntl[3] = 0;  // quiet while the lengths are asked for

  const auto t0 = std::chrono::steady_clock::now();
  int32_t m = p.n, nn = p.n, ne = static_cast<int32_t>(p.irn.size());
  int32_t nfev = 0, njev = 0, niter = 0, ireq = 0;
  double fnorm = 0;
  std::vector<double> x = p.x0, f(m), d(nn), aj(1), xt(nn), ft(m);
  // A first call with no workspace reports the lengths needed.
  int32_t liw = 0, lw = 0, iw0 = 0;
  double w0 = 0;
  DI23AD(&m, &nn, &ne, p.irn.data(), p.jcn.data(), x.data(), f.data(), d.data(), icntl, cntl, cntld, icntlm, cntlm,
         &iw0, &liw, &w0, &lw, aj.data(), xt.data(), &ireq, ft.data(), info, rinfo, &nfev, &njev, &niter, &fnorm);
  if (ireq != -3) return 1;
  liw = info[1];
  lw = info[2];
  icntl[3] = 1;  // then errors only
  std::vector<int32_t> iw(liw);
  std::vector<double> w(lw);
  ireq = 0;
  do {
    DI23AD(&m, &nn, &ne, p.irn.data(), p.jcn.data(), x.data(), f.data(), d.data(), icntl, cntl, cntld, icntlm,
           cntlm, iw.data(), &liw, w.data(), &lw, aj.data(), xt.data(), &ireq, ft.data(), info, rinfo, &nfev, &njev,
           &niter, &fnorm);
    if (ireq == 1) p.residuals(nn, xt.data(), ft.data());
  } while (ireq == 1);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  std::printf("%s, N = %d: %d Jacobian entries, %d column groups, J'J %d entries\n", argv[1], nn, ne, info[4],
              info[3]);
  std::printf("  IREQ %d (test %d), ||F|| %.3e from %.3e\n", ireq, info[1], fnorm, rinfo[1]);
  std::printf("  %d residual evaluations, %d Jacobian estimates, %d iterations, %.3f s\n", nfev, njev, niter,
              seconds);
  if (is_rosenbrock) {
    double err = 0;
    for (double v : x) err = std::fmax(err, std::fabs(v - 1));
    std::printf("  largest |x_j - 1| %.3e\n", err);
  }
  std::printf("  workspace: LIW %d, LW %d\n", liw, lw);
  return ireq == 3 ? 0 : 1;
}
