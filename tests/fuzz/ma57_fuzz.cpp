// MA57 as a host drives it: the analysis (its own order or the host's, good
// or bad), the factorisation with short arrays and every pivoting control,
// suspension with MA57ED and re-entry (new arrays longer, equal or shorter,
// the integer, real or both copied), then the solves with every JOB and
// several right-hand sides, and the refinement with every JOB, step count
// and error analysis.  Arrays are exactly as long as passed or documented.
#include <algorithm>
#include <cstdint>

#include "sym_ldlt/ma57.hpp"
#include "sym_ldlt/ma57_factor.hpp"
#include "sym_ldlt/ma57_solve.hpp"
#include "tests/fuzz/fuzz_input.hpp"

using tbl::fint;
using tbl::fuzz::HostArray;
using tbl::fuzz::Input;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tbl::fuzz::silence_standard_output();
  Input in(data, size);
  const fint n = in.range(0, 12), ne = in.range(-1, 40);
  const std::int64_t nn = std::max<fint>(n, 1), nne = std::max<fint>(ne, 0);
  HostArray<fint> irn(nne), jcn(nne);
  HostArray<double> a(nne);
  for (std::int64_t k = 0; k < nne; ++k) {
    irn[k] = in.index(n);
    jcn[k] = in.index(n);
    a[k] = in.real();
  }
  double cntl[5];
  fint icntl[20];
  MA57_DEFAULTS(cntl, icntl);
  for (double& c : cntl) c = in.rcontrol(c);
  for (fint& c : icntl) c = in.icontrol(c);
  icntl[0] = in.unit();
  icntl[1] = in.unit();
  icntl[2] = in.unit();
  icntl[3] = -1;
  const fint lkeep = in.length(tbl::ma57::min_lkeep(nn, nne));
  HostArray<fint> keep(lkeep, 0), iwork(5 * nn);
  if (icntl[5] == 1) {
    // The host's pivot order, now and then spoilt.
    for (fint i = 0; i < n && i < lkeep; ++i) keep[i] = i + 1;
    for (fint i = n - 1; i > 0 && i < lkeep; --i) std::swap(keep[i], keep[in.range(0, 255) % (i + 1)]);
    if (in.byte() >= 240 && n > 0 && n <= lkeep) keep[in.range(0, 255) % n] = in.index(n);
  }
  fint info[40] = {};
  double rinfo[20] = {};
  MA57AD(&n, &ne, irn.data(), jcn.data(), &lkeep, keep.data(), iwork.data(), icntl, info, rinfo);
  if (info[0] < 0) return 0;

  // Factorisation, with lengths around the forecasts or the least accepted.
  const fint nz = keep[n + 1];
  fint lfact = in.flag() ? in.length(info[8]) : in.length(std::int64_t(nz) + 1 + (icntl[6] == 4 ? n + 5 : 0));
  fint lifact = in.flag() ? in.length(info[9]) : in.length(std::int64_t(n) + 5 + nz);
  HostArray<double> fact(lfact);
  HostArray<fint> ifact(lifact), iwb(nn);
  for (int round = 0; round < 6; ++round) {
    MA57BD(&n, &ne, a.data(), fact.data(), &lfact, ifact.data(), &lifact, &lkeep, keep.data(), iwb.data(), icntl,
           cntl, info, rinfo);
    if (info[0] != 10 && info[0] != 11) break;
    // Suspended: the host copies into new arrays and resumes.
    const fint icopy = in.range(-1, 3);
    const fint lnewfact = in.flag() ? fint(std::min<std::int64_t>(2 * std::int64_t(lfact) + 8, Input::kMaxLength))
                                    : in.length(lfact);
    const fint lnewifact = in.flag()
                               ? fint(std::min<std::int64_t>(2 * std::int64_t(lifact) + 8, Input::kMaxLength))
                               : in.length(lifact);
    HostArray<double> newfact(lnewfact);
    HostArray<fint> newifact(lnewifact);
    MA57ED(&n, &icopy, keep.data(), fact.data(), &lfact, newfact.data(), &lnewfact, ifact.data(), &lifact,
           newifact.data(), &lnewifact, info);
    if (info[0] < 0) {
      if (in.flag()) continue;  // try again with the old arrays
      return 0;
    }
    if (icopy != 1) {
      fact = std::move(newfact);
      lfact = lnewfact;
    }
    if (icopy >= 1) {
      ifact = std::move(newifact);
      lifact = lnewifact;
    }
  }
  if (info[0] < 0 || info[0] == 10 || info[0] == 11) return 0;

  // Solves with the factors.
  for (int solve = 0; solve < 3 && in.flag(); ++solve) {
    const fint job = in.range(0, 5), nrhs = in.range(-1, 3);
    const fint lrhs = in.length(n);
    const fint lw = in.length(std::int64_t(n) * std::max<fint>(nrhs, 0));
    HostArray<double> rhs(std::int64_t(std::max<fint>(lrhs, 0)) * std::max<fint>(nrhs, 0)), w(lw);
    HostArray<fint> iw(nn);
    for (std::int64_t k = 0; k < rhs.size(); ++k) rhs[k] = in.real();
    fint cinfo[40] = {};
    MA57CD(&job, &n, fact.data(), &lfact, ifact.data(), &lifact, &nrhs, rhs.data(), &lrhs, w.data(), &lw,
           iw.data(), icntl, cinfo);
  }

  // Refinement.
  for (int solve = 0; solve < 3 && !in.empty(); ++solve) {
    const fint job = in.range(-1, 5);
    // Refinement takes as many steps as asked when it cannot converge (a
    // NaN in the data): keep the count small enough to run.
    icntl[8] = std::min<fint>(in.icontrol(1), 4);
    icntl[9] = in.icontrol(0);
    cntl[2] = in.rcontrol(0.5);
    const std::int64_t lw = icntl[8] <= 1 ? nn : (icntl[9] > 0 ? 4 * nn : 3 * nn);
    HostArray<double> rhs(nn), x(nn), resid(nn), w(lw);
    HostArray<fint> iw(nn);
    for (std::int64_t i = 0; i < nn; ++i) {
      rhs[i] = in.real();
      x[i] = in.real();
      resid[i] = in.real();
    }
    MA57DD(&job, &n, &ne, a.data(), irn.data(), jcn.data(), fact.data(), &lfact, ifact.data(), &lifact, rhs.data(),
           x.data(), resid.data(), w.data(), iw.data(), icntl, cntl, info, rinfo);
  }
  return 0;
}
