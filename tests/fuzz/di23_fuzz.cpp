// DI23AD driven through its reverse communication by a host that is
// sometimes careless: sizes and pattern entries in and out of range or
// repeated, controls around their valid values, a first call with short
// arrays and a restart with the lengths it reports (or a little less), and
// in the loop residuals or Jacobian values that are NaN, infinite or huge,
// a request flag changed between calls, and a word of IW or W, where the
// problem is kept, changed between calls.  D and AJ, when not referenced,
// are one word long, and a host that estimates the Jacobian answers a
// request for it by calling back.  The residuals are linear plus a square
// term on the pattern, with coefficients from the input.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "TesselBasicLib.h"
#include "tests/fuzz/fuzz_input.hpp"

using tbl::fuzz::HostArray;
using tbl::fuzz::Input;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tbl::fuzz::silence_standard_output();
  Input in(data, size);
  const int32_t m = in.range(0, 6), n = in.range(0, 5), ne = in.range(0, 16);
  const int64_t mm = std::max(m, 1), nn = std::max(n, 1), nne = std::max(ne, 1);
  HostArray<int32_t> irn(nne, 1), jcn(nne, 1);
  HostArray<double> coef(nne), sq(nne);
  for (int64_t k = 0; k < nne; ++k) {
    irn[k] = in.index(m);
    jcn[k] = in.index(n);
    coef[k] = in.real();
    sq[k] = in.real() * 0.25;
  }
  int32_t icntl[20], icntlm[20];
  double cntl[20], cntld[20], cntlm[20];
  DI23ID(icntl, cntl, cntld, icntlm, cntlm);
  for (int i = 0; i < 9; ++i) icntl[i] = in.icontrol(icntl[i]);
  icntl[0] = in.unit();
  icntl[1] = in.unit();
  icntl[2] = in.unit();
  // Evaluations and iterations: a few reach every state of the loop, and
  // each costs a factorisation.
  icntl[5] = std::min(icntl[5], 12);
  icntl[6] = std::min(icntl[6], 6);
  for (int i = 0; i < 5; ++i) cntl[i] = in.rcontrol(cntl[i]);
  for (int i = 0; i < 2; ++i) cntld[i] = in.rcontrol(cntld[i]);
  if (in.byte() >= 224) icntlm[6] = in.icontrol(icntlm[6]);
  if (in.byte() >= 224) cntlm[1] = in.rcontrol(cntlm[1]);
  const bool host_d = icntl[8] == 1, host_j = icntl[4] == 1;
  HostArray<double> x(nn), f(mm), d(host_d ? nn : 1), aj(host_j ? nne : 1), xt(nn), ft(mm);
  for (int64_t j = 0; j < nn; ++j) {
    x[j] = in.real() * 0.25;
    const double dj = in.rcontrol(1.0);
    if (host_d) d[j] = dj;
  }
  const double target = in.real();

  int32_t liw = in.length(16), lw = in.length(16);
  HostArray<int32_t> iw(liw);
  HostArray<double> w(lw);
  int32_t ireq = 0, info[20] = {}, nfev = 0, njev = 0, niter = 0;
  double rinfo[20] = {}, fnorm = 0.0;
  bool grown = false;
  for (int call = 0; call < 300; ++call) {
    DI23AD(&m, &n, &ne, irn.data(), jcn.data(), x.data(), f.data(), d.data(), icntl, cntl, cntld, icntlm, cntlm,
           iw.data(), &liw, w.data(), &lw, aj.data(), xt.data(), &ireq, ft.data(), info, rinfo, &nfev, &njev,
           &niter, &fnorm);
    if ((ireq == -3 || ireq == -4) && !grown) {
      // The host takes the lengths reported (now and then one short) and
      // starts again.
      grown = true;
      const int32_t short_by = in.byte() >= 224 ? 1 : 0;
      liw = std::min<int32_t>(info[13] - short_by, Input::kMaxLength);
      lw = std::min<int32_t>(info[14] - short_by, Input::kMaxLength);
      iw = HostArray<int32_t>(liw);
      w = HostArray<double>(lw);
      ireq = 0;
      continue;
    }
    if (ireq != 1 && ireq != 2) break;
    if (ireq == 1) {
      for (int64_t i = 0; i < mm; ++i) ft[i] = -target;
      for (int64_t k = 0; k < nne; ++k) {
        const int32_t i = irn[k], j = jcn[k];
        if (i < 1 || i > m || j < 1 || j > n) continue;
        ft[i - 1] += coef[k] * xt[j - 1] + sq[k] * xt[j - 1] * xt[j - 1];
      }
    } else if (host_j) {
      for (int64_t k = 0; k < nne; ++k) {
        const int32_t j = jcn[k];
        aj[k] = (j >= 1 && j <= n) ? coef[k] + 2.0 * sq[k] * xt[j - 1] : 0.0;
      }
    }
    const std::uint8_t k = in.byte();
    if (k >= 224 && k < 240) {
      // A word of the kept state: an integer moved a little or set to an
      // index in or out of range, or a real.
      const std::uint8_t how = in.byte();
      if (how < 160 && iw.size() > 0) {
        int32_t& word = iw[std::int64_t(in.u16()) % iw.size()];
        const std::int64_t moved = std::int64_t(word) + in.range(-2, 2);
        word = how < 64 ? int32_t(std::clamp<std::int64_t>(moved, INT32_MIN, INT32_MAX)) : in.index(in.range(1, 64));
      } else if (w.size() > 0) {
        w[std::int64_t(in.u16()) % w.size()] = in.real();
      }
    } else if (k >= 240) {
      const double bad = (k & 1) ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
      switch (k % 5) {
        case 0: ft[0] = bad; break;
        case 1: aj[0] = bad; break;
        case 2: ft[0] = std::numeric_limits<double>::max(); break;
        case 3: ireq = in.range(-1, 4); break;  // the request flag changed
        default: ireq = 0; break;               // start again
      }
    }
  }
  return 0;
}
