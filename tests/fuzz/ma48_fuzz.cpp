// MA48 as a host drives it: one analysis (any JOB, the host's permutations
// for JOB 2, good or bad), then a few factorisations with fresh values and
// any JOB (also JOB 2 and 3 with no JOB 1 before them, and after a failed
// one), a host that grows A and IRN after a storage failure, and solves in
// both orientations with every JOB, also with no factorisation or after a
// failed one, and with one word of KEEP or IRN damaged before the call.  Every array is exactly as long as the
// documentation asks (or as the input says, where the routine checks it).
#include <algorithm>
#include <cstdint>

#include "tests/fuzz/fuzz_input.hpp"
#include "unsym_lu/ma48.hpp"

using tbl::fint;
using tbl::fuzz::HostArray;
using tbl::fuzz::Input;

namespace {

// The host's permutations for JOB 2: a shuffle of 1..n, now and then with
// one entry spoilt.
void permutation(Input& in, fint* p, fint n) {
  for (fint i = 0; i < n; ++i) p[i] = i + 1;
  for (fint i = n - 1; i > 0; --i) std::swap(p[i], p[in.range(0, 255) % (i + 1)]);
  if (in.byte() >= 240 && n > 0) p[in.range(0, 255) % n] = in.index(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tbl::fuzz::silence_standard_output();
  Input in(data, size);
  const fint m = in.range(0, 12), n = in.range(0, 12);
  const fint ne = in.range(0, 48);
  const fint job = in.range(0, 4);
  const std::int64_t two_ne = 2 * std::int64_t(ne);
  fint la = in.flag() ? in.length(two_ne) : fint(two_ne + 4 * ne + in.range(0, 64));
  if (m < 1 || n < 1 || ne < 1) {
    // The checks come first; only the scalars matter.
    la = std::max<fint>(la, 1);
  }
  HostArray<double> a(la, 0.0);
  HostArray<fint> irn(la, 0), jcn(la, 0);
  for (fint k = 0; k < ne && k < la; ++k) {
    irn[k] = in.index(m);
    jcn[k] = in.index(n);
    a[k] = in.real();
  }
  const std::int64_t lkeep = std::int64_t(std::max<fint>(m, 1)) + 9 * std::int64_t(std::max<fint>(n, 1)) + 2;
  HostArray<fint> keep(lkeep, 0);
  if (job == 2 && m >= 1 && n >= 1) {
    permutation(in, keep.data(), m);
    permutation(in, keep.data() + m, n);
  }
  double cntl[5];
  fint icntl[9];
  MA48ID(cntl, icntl);
  for (double& c : cntl) c = in.rcontrol(c);
  for (fint& c : icntl) c = in.icontrol(c);
  icntl[0] = in.unit();
  icntl[1] = in.unit();
  // Refinement takes as many steps as asked when it cannot converge (a NaN
  // in the data): keep the count small enough to run.
  icntl[8] = std::min<fint>(icntl[8], 4);
  const std::int64_t mm = std::max<fint>(m, 1), nn = std::max<fint>(n, 1);
  HostArray<fint> iw(6 * mm + 3 * nn, 0);
  if (icntl[7] != 0)
    for (std::int64_t j = 0; j < nn; ++j) iw[j] = in.range(0, 3) == 0 ? 0 : 1;
  fint info[12] = {};
  double rinfo[1] = {};
  MA48AD(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, iw.data(), info,
         rinfo);
  if (info[0] < 0) return 0;

  // Factorisations and solves, as many as the input asks for.
  HostArray<double> w(mm, 0.0);
  HostArray<fint> iwb(2 * mm + 2 * nn, 0);
  bool factorised = false;
  for (int step = 0; step < 6 && !in.empty(); ++step) {
    const std::uint8_t choice = in.byte();
    const std::uint8_t what = choice % 4;
    if (what == 0 || (!factorised && (choice & 0x80) == 0)) {
      const fint fjob = in.range(0, 4);
      if (in.flag())
        for (fint k = 0; k < ne; ++k) a[k] = in.real();
      if (in.byte() >= 224) icntl[7] = in.icontrol(0);
      fint finfo[12] = {};
      double frinfo[1] = {};
      MA48BD(&m, &n, &ne, &fjob, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, w.data(),
             iwb.data(), finfo, frinfo);
      factorised = finfo[0] >= 0;
      if (finfo[0] == -3 && in.flag()) {
        // The host grows A and IRN as told and tries again.
        const fint bigger = std::max<fint>(finfo[3], la);
        if (bigger <= Input::kMaxLength) {
          a.resize(bigger, 0.0);
          irn.resize(bigger, 0);
          la = bigger;
        }
      }
      continue;
    }
    if (choice & 0x40) {
      // One word of what the factorisation left, changed before the solve.
      const bool in_keep = in.flag();
      const std::int64_t len = in_keep ? lkeep : la;
      const std::int64_t k = std::int64_t(in.u16()) % len;
      fint& word = in_keep ? keep[k] : irn[k];
      const std::uint8_t how = in.byte() % 3;
      const std::uint32_t u = static_cast<std::uint32_t>(word);  // wraps at the extremes
      word = how == 0 ? fint(u + 1u) : how == 1 ? fint(u - 1u) : in.index(std::max(m, n));
    }
    const fint trans = in.flag() ? -1 : 0;
    const fint sjob = in.range(0, 5);
    const std::int64_t lr = trans ? nn : mm, lx = trans ? mm : nn;
    const std::int64_t big = std::max(mm, nn);
    const std::int64_t lw = (sjob <= 1) ? lr + 2 * big : lr + 2 * big + lx;
    HostArray<double> rhs(lr), x(lx), w2(lw), error(3);
    HostArray<fint> iw2(lr);
    for (std::int64_t i = 0; i < lr; ++i) rhs[i] = in.real();
    fint sinfo[12] = {};
    MA48CD(&m, &n, &trans, &sjob, &la, a.data(), irn.data(), keep.data(), cntl, icntl, rhs.data(), x.data(),
           error.data(), w2.data(), iw2.data(), sinfo);
  }
  return 0;
}
