// The optimiser behind VUR_OPTBQA, driven through its reverse communication by a host that is
// sometimes careless: bounds and controls around and outside their valid
// ranges, infinite bounds, workspace lengths around the least accepted, and
// in the evaluation loop values that are NaN or infinite, a request flag
// changed between calls and a problem abandoned and restarted.  The host's
// function is a quadratic with coefficients from the input.  A problem that
// ends as converged or at FTARGET must not have met a value that is not
// finite at its last radius (of its last run): that aborts.  Messages go to
// standard output (sent to /dev/null); a trace file, when asked for, to a
// file of this process in memory (/dev/shm), else under /tmp: a disk file
// system writes a rewritten file out at every close, which took a third of
// the time of the runs that trace.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "bound_opt/optbqa.hpp"
#include "tests/fuzz/fuzz_input.hpp"

using tbl::fuzz::HostArray;
using tbl::fuzz::Input;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tbl::fuzz::silence_standard_output();
  Input in(data, size);
  const double inf = std::numeric_limits<double>::infinity();
  const int32_t n = in.range(0, 4);
  const int64_t nn = std::max(n, 1);
  const int32_t meq = in.range(-1, 2), min = in.range(-1, 2);
  const int64_t nc = std::max(meq, 0) + std::max(min, 0);
  const int64_t npt_lo = nn + 2, npt_hi = (nn + 1) * (nn + 2) / 2;
  const int32_t npt = in.flag() ? int32_t(2 * nn + 1) : in.range(int32_t(npt_lo) - 1, int32_t(npt_hi) + 1);
  const int64_t lw_min = tbl::optbqa::workspace_length(nn, std::max(npt, 1));
  const int32_t lw = in.length(lw_min);

  HostArray<double> x(nn), xl(nn), xu(nn), scale(nn), ceq(std::max(meq, 0)), cin(std::max(min, 0)), cwt(nc),
      xbest(nn), w(lw);
  for (int64_t i = 0; i < nn; ++i) {
    const std::uint8_t b = in.byte();
    xl[i] = b < 192 ? -1.0 - (b % 4) : (b < 224 ? -inf : in.real());
    const std::uint8_t c = in.byte();
    xu[i] = c < 192 ? 1.0 + (c % 4) : (c < 224 ? inf : in.real());
    x[i] = in.real() * 0.25;
    scale[i] = in.rcontrol(1.0);
  }
  for (int64_t i = 0; i < nc; ++i) cwt[i] = in.rcontrol(1.0);
  const double rhobeg = in.rcontrol(0.5), rhoend = in.rcontrol(1e-4), rhorst = in.rcontrol(0.1);
  // The start takes NPT evaluations; a few more reach every state of the loop.
  const int32_t maxfun = std::min(in.icontrol(npt + 8), npt + 16);
  const double ftarget = in.rcontrol(-inf);
  double pen = in.rcontrol(1.0);
  const double pengrow = in.rcontrol(10.0), penmax = in.rcontrol(1e6);
  const int32_t maxrst = std::min(in.icontrol(2), 5);
  const double ctol = in.rcontrol(1e-6);
  const int32_t iptype = in.icontrol(1);
  const int32_t iprint = in.range(-1, 4), iout = in.unit();
  const int32_t itrace = in.byte() >= 240 ? 1 : 0;
  // A trace name of this process, given with trailing blanks or without.
  static const std::string trace_dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string trace = trace_dir + "/tbl_fuzz_optbqa_" + std::to_string(getpid());
  const std::size_t trace_len = trace.size() + in.range(0, 3);
  trace.resize(trace_len, ' ');

  // The host's function: a separable quadratic plus a coupling term, the
  // constraints linear; coefficients from the input.
  double q[4];
  for (double& c : q) c = in.real();
  double fval = 0.0, fbest = 0.0, cviol = 0.0, pbest = 0.0, rho = 0.0;
  int32_t nfev = 0, nrst = 0, info = 0;
  // The run and radius of the latest evaluation that was not finite; only
  // a status the call returned is judged (the host may have set INFO).
  bool bad = false;
  int32_t bad_nrst = 0;
  double bad_rho = 0.0;
  for (int call = 0; call < 200; ++call) {
    OPTBQA(&n, x.data(), xl.data(), xu.data(), scale.data(), &meq, &min, &fval, ceq.data(), cin.data(), &npt,
           &rhobeg, &rhoend, &maxfun, &ftarget, &pen, &pengrow, &penmax, &maxrst, &rhorst, &ctol, cwt.data(), &iptype,
           xbest.data(), &fbest, &cviol, &pbest, &rho, &nfev, &nrst, &iprint, &iout, &itrace, &info, w.data(), &lw,
           trace.data(), trace_len);
    if (info != 1) {
      if ((info == 2 || info == 3) && bad && bad_nrst == nrst && bad_rho == rho) std::abort();
      break;
    }
    fval = q[0];
    for (int64_t i = 0; i < nn; ++i) fval += (q[1] + double(i)) * x[i] * x[i] + q[2] * x[i];
    if (nn > 1) fval += q[3] * x[0] * x[1];
    for (int64_t i = 0; i < ceq.size(); ++i) ceq[i] = x[0] - 0.25 * double(i) - q[2];
    for (int64_t i = 0; i < cin.size(); ++i) cin[i] = x[nn - 1] + q[3] - double(i);
    // Now and then a careless host.
    const std::uint8_t b = in.byte();
    if (b >= 240) {
      switch (b % 8) {
        case 0: fval = std::numeric_limits<double>::quiet_NaN(); break;
        case 1: fval = inf; break;
        case 2: fval = -inf; break;
        case 3: if (ceq.size() > 0) ceq[0] = std::numeric_limits<double>::quiet_NaN(); break;
        case 4: if (cin.size() > 0) cin[0] = inf; break;
        case 5: info = in.range(-1, 120); break;   // the request flag changed
        case 6: info = 0; break;                   // abandon, start again
        default: fval = std::numeric_limits<double>::max(); break;
      }
    }
    bool finite = std::isfinite(fval);
    for (int64_t i = 0; i < ceq.size(); ++i) finite = finite && std::isfinite(ceq[i]);
    for (int64_t i = 0; i < cin.size(); ++i) finite = finite && std::isfinite(cin[i]);
    if (!finite) bad = true, bad_nrst = nrst, bad_rho = rho;
    if (info == 0) bad = false;  // a new problem
  }
  if (itrace != 0) unlink((trace.substr(0, trace.find(' ')) + ".vorex").c_str());
  return 0;
}
