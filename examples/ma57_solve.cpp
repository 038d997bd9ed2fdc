// Example host program: solves A x = b for a symmetric matrix read from a
// Matrix Market file with the MA57 phases as a host drives them.
//
//   ma57_solve <matrix.mtx> [refinement steps]
//
// The right-hand side is b = A e (e the vector of ones), so the error of the
// computed solution is known.  The program analyses the pattern, factorises
// with the storage the analysis forecasts (enlarging FACT/IFACT when the
// factorisation suspends for lack of space), solves with the factors, then
// refines the solution with backward errors, condition estimates and an
// error bound, and prints what each phase reports together with its time.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "support/mtx.hpp"
#include "sym_ldlt/ma57.hpp"
#include "sym_ldlt/ma57_factor.hpp"
#include "sym_ldlt/ma57_solve.hpp"

namespace {

using tbl::fint;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

int run(const std::string& path, fint steps) {
  tbl::test::Coo coo = tbl::test::read_mtx(path);
  if (coo.nrows != coo.ncols) {
    std::fprintf(stderr, "%s: the matrix is not square\n", path.c_str());
    return 2;
  }
  // MA57 takes one triangle: keep the lower one (a general file is taken to
  // hold a symmetric matrix).
  std::vector<fint> irn, jcn;
  std::vector<double> a;
  for (int k = 0; k < coo.nnz(); ++k) {
    if (coo.row[k] < coo.col[k]) continue;
    irn.push_back(coo.row[k]);
    jcn.push_back(coo.col[k]);
    a.push_back(coo.val[k]);
  }
  const fint n = coo.nrows;
  const fint ne = static_cast<fint>(a.size());
  std::printf("Matrix %s: order %d, %d entries in the lower triangle\n", path.c_str(), n, ne);

  std::vector<double> cntl(5);
  std::vector<fint> icntl(20), info(40);
  std::vector<double> rinfo(20);
  MA57_DEFAULTS(cntl.data(), icntl.data());
  icntl[4] = 1;  // errors only
  icntl[7] = 1;  // suspend when FACT or IFACT runs short, so that we can enlarge them

  // Analyse.
  const fint lkeep = static_cast<fint>(tbl::ma57::min_lkeep(n, ne));
  std::vector<fint> keep(static_cast<std::size_t>(lkeep)), iwork(5 * static_cast<std::size_t>(n));
  auto t0 = Clock::now();
  MA57AD(&n, &ne, irn.data(), jcn.data(), &lkeep, keep.data(), iwork.data(), icntl.data(), info.data(),
         rinfo.data());
  const double t_analyse = seconds_since(t0);
  if (info[0] < 0) {
    std::fprintf(stderr, "analyse failed, INFO(1) = %d\n", info[0]);
    return 1;
  }
  std::printf("Analyse     %9.4f s: forecast %d reals and %d integers for the factors, %d tree nodes\n",
              t_analyse, info[4], info[5], info[7]);

  // Factorise, starting from the forecast and enlarging on suspension.
  fint lfact = std::max<fint>(info[8], ne + 1);
  fint lifact = std::max<fint>(info[9], n + 5 + keep[n + 1]);
  std::vector<double> fact(static_cast<std::size_t>(lfact));
  std::vector<fint> ifact(static_cast<std::size_t>(lifact));
  int enlargements = 0;
  t0 = Clock::now();
  MA57BD(&n, &ne, a.data(), fact.data(), &lfact, ifact.data(), &lifact, &lkeep, keep.data(), iwork.data(),
         icntl.data(), cntl.data(), info.data(), rinfo.data());
  while (info[0] == 10 || info[0] == 11) {
    // Only the array that ran short is doubled and copied.
    const bool reals = info[0] == 10;
    const fint icopy = reals ? 0 : 1;
    const fint newlfact = reals ? 2 * lfact : lfact;
    const fint newlifact = reals ? lifact : 2 * lifact;
    std::vector<double> newfact(reals ? static_cast<std::size_t>(newlfact) : 0);
    std::vector<fint> newifact(reals ? 0 : static_cast<std::size_t>(newlifact));
    MA57ED(&n, &icopy, keep.data(), fact.data(), &lfact, newfact.data(), &newlfact, ifact.data(), &lifact,
           newifact.data(), &newlifact, info.data());
    if (info[0] < 0) break;
    if (reals) {
      fact.swap(newfact);
      lfact = newlfact;
    } else {
      ifact.swap(newifact);
      lifact = newlifact;
    }
    ++enlargements;
    MA57BD(&n, &ne, a.data(), fact.data(), &lfact, ifact.data(), &lifact, &lkeep, keep.data(), iwork.data(),
           icntl.data(), cntl.data(), info.data(), rinfo.data());
  }
  const double t_factor = seconds_since(t0);
  if (info[0] < 0) {
    std::fprintf(stderr, "factorise failed, INFO(1) = %d, INFO(2) = %d\n", info[0], info[1]);
    return 1;
  }
  std::printf("Factorise   %9.4f s: %d entries in the factors (fill %.2f times the matrix), storage enlarged %d times\n",
              t_factor, info[13], static_cast<double>(info[13]) / ne, enlargements);
  std::printf("            inertia: %d negative eigenvalues, rank %d of %d%s; %d 2x2 pivots, %d delayed pivots\n",
              info[23], info[24], n, info[0] == 4 ? " (singular)" : "", info[21], info[22]);

  // b = A e.
  std::vector<double> b(n, 0.0);
  for (fint k = 0; k < ne; ++k) {
    b[irn[k] - 1] += a[k];
    if (irn[k] != jcn[k]) b[jcn[k] - 1] += a[k];
  }
  // With a singular matrix, b = A e has many solutions and x need not be e:
  // the backward errors then tell whether the system was solved.
  if (info[0] == 4) std::printf("            the matrix is singular: |x - e| below measures one of many solutions\n");
  auto error_of = [&](const std::vector<double>& x) {
    double e = 0.0;
    for (double v : x) e = std::max(e, std::abs(v - 1.0));
    return e;
  };

  // Solve with the factors.
  std::vector<double> x = b, w(n);
  const fint job = 1, nrhs = 1;
  t0 = Clock::now();
  MA57CD(&job, &n, fact.data(), &lfact, ifact.data(), &lifact, &nrhs, x.data(), &n, w.data(), &n, iwork.data(),
         icntl.data(), info.data());
  const double t_solve = seconds_since(t0);
  std::printf("Solve       %9.4f s: max |x - e| = %.3e\n", t_solve, error_of(x));

  // Refine from that solution.
  std::vector<double> resid(n), w4(4 * static_cast<std::size_t>(n));
  icntl[8] = steps;
  icntl[9] = 1;  // condition numbers and error bound
  const fint rjob = 2;
  t0 = Clock::now();
  MA57DD(&rjob, &n, &ne, a.data(), irn.data(), jcn.data(), fact.data(), &lfact, ifact.data(), &lifact, b.data(),
         x.data(), resid.data(), w4.data(), iwork.data(), icntl.data(), cntl.data(), info.data(), rinfo.data());
  const double t_refine = seconds_since(t0);
  std::printf("Refinement  %9.4f s: %d steps (INFO(1) = %d), max |x - e| = %.3e\n", t_refine, info[29], info[0],
              error_of(x));
  std::printf("            backward errors OMEGA(1) = %.3e, OMEGA(2) = %.3e\n", rinfo[5], rinfo[6]);
  std::printf("            condition numbers COND(1) = %.3e, COND(2) = %.3e, error bound %.3e\n", rinfo[10],
              rinfo[11], rinfo[12]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <symmetric matrix.mtx> [refinement steps]\n", argv[0]);
    return 2;
  }
  try {
    const fint steps = argc > 2 ? std::max(2, std::atoi(argv[2])) : 10;
    return run(argv[1], steps);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
}
