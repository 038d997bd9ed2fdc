// DI23AD, the start of a problem: checks of the arguments, the patterns of
// J by columns and rows, the pattern of J'J and its analysis by MA57AD, the
// column groups of the estimator, the workspace check, and the first
// request.
//
// The lengths DI23AD needs depend on the pattern of J'J and on MA57's
// forecast of the factors, which only the analysis gives.  So the
// structures are built in temporary storage first; only when both lengths
// fit are they copied into IW, so that a call refused for short workspace
// writes nothing in the host's arrays.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "interface/fmt.hpp"
#include "nonlinear/di23.hpp"
#include "nonlinear/td22.hpp"
#include "sym_ldlt/ma57.hpp"

namespace tbl::di23 {
namespace {

constexpr i64 kInt32Max = std::numeric_limits<fint>::max();

// The structures of a new problem, in temporary storage (1-based contents,
// 0-based vectors).
struct Built {
  Sizes sizes;
  std::vector<fint> ipj, irnj, hostpos, ipr, jcr, posr, rowpos, ipa, ira, gptr, gcol, keep;
  fint ngroup = 0;
  bool too_large = false;  // J'J or MA57's storage beyond 32-bit lengths
  fint ma57_status = 0;
};

// The first entry that is out of range or repeats an earlier position of
// the pattern; 0 when there is none.
i64 first_bad_entry(fint m, fint n, fint ne, const fint* irn, const fint* jcn, bool& repeated) {
  i64 bad = 0;
  for (i64 k = 1; k <= ne; ++k) {
    const fint i = irn[k - 1], j = jcn[k - 1];
    if (i < 1 || i > m || j < 1 || j > n) {
      bad = k;
      break;
    }
  }
  // Repeats: the in-range entries sorted stably by column, then a marker
  // per row within each column.
  std::vector<i64> start(static_cast<std::size_t>(n) + 2, 0);
  for (i64 k = 1; k <= ne; ++k) {
    const fint i = irn[k - 1], j = jcn[k - 1];
    if (i >= 1 && i <= m && j >= 1 && j <= n) ++start[static_cast<std::size_t>(j) + 1];
  }
  for (std::size_t j = 1; j < start.size(); ++j) start[j] += start[j - 1];
  std::vector<fint> order(static_cast<std::size_t>(start.back()));
  std::vector<i64> next(start.begin(), start.end() - 1);
  for (i64 k = 1; k <= ne; ++k) {
    const fint i = irn[k - 1], j = jcn[k - 1];
    if (i >= 1 && i <= m && j >= 1 && j <= n) order[static_cast<std::size_t>(next[static_cast<std::size_t>(j)]++)] = static_cast<fint>(k);
  }
  std::vector<fint> mark(static_cast<std::size_t>(m) + 1, 0);
  i64 repeat = 0;
  for (fint j = 1; j <= n; ++j) {
    for (i64 s = start[static_cast<std::size_t>(j)]; s < start[static_cast<std::size_t>(j) + 1]; ++s) {
      const fint k = order[static_cast<std::size_t>(s)];
      const fint i = irn[k - 1];
      if (mark[static_cast<std::size_t>(i)] == j) {
        if (repeat == 0 || k < repeat) repeat = k;
        break;  // later repeats of this column come after k
      }
      mark[static_cast<std::size_t>(i)] = j;
    }
  }
  repeated = repeat != 0 && (bad == 0 || repeat < bad);
  return repeated ? repeat : bad;
}

// The patterns of J by columns (entries of a column in the host's order)
// and by rows (columns increasing), with the maps between them.
void build_patterns(fint m, fint n, fint ne, const fint* irn, const fint* jcn, Built& b) {
  b.ipj.assign(static_cast<std::size_t>(n) + 1, 0);
  b.irnj.resize(static_cast<std::size_t>(ne));
  b.hostpos.resize(static_cast<std::size_t>(ne));
  Vec1<fint> ipj(b.ipj.data()), irnj(b.irnj.data()), hostpos(b.hostpos.data());
  for (fint k = 1; k <= ne; ++k) ++ipj(jcn[k - 1]);
  fint pos = 1;
  for (fint j = 1; j <= n; ++j) {
    const fint count = ipj(j);
    ipj(j) = pos;
    pos += count;
  }
  ipj(n + 1) = pos;
  std::vector<fint> next(b.ipj.begin(), b.ipj.end() - 1);
  for (fint k = 1; k <= ne; ++k) {
    const fint e = next[static_cast<std::size_t>(jcn[k - 1]) - 1]++;
    irnj(e) = irn[k - 1];
    hostpos(k) = e;
  }

  b.ipr.assign(static_cast<std::size_t>(m) + 1, 0);
  b.jcr.resize(static_cast<std::size_t>(ne));
  b.posr.resize(static_cast<std::size_t>(ne));
  b.rowpos.resize(static_cast<std::size_t>(ne));
  Vec1<fint> ipr(b.ipr.data()), jcr(b.jcr.data()), posr(b.posr.data()), rowpos(b.rowpos.data());
  for (fint e = 1; e <= ne; ++e) ++ipr(irnj(e));
  pos = 1;
  for (fint i = 1; i <= m; ++i) {
    const fint count = ipr(i);
    ipr(i) = pos;
    pos += count;
  }
  ipr(m + 1) = pos;
  std::vector<fint> rnext(b.ipr.begin(), b.ipr.end() - 1);
  for (fint j = 1; j <= n; ++j) {
    for (fint e = ipj(j); e < ipj(j + 1); ++e) {
      const fint t = rnext[static_cast<std::size_t>(irnj(e)) - 1]++;
      jcr(t) = j;
      posr(t) = e;
      rowpos(e) = t;
    }
  }
}

// Lower triangle of the pattern of J'J by columns, the diagonal first in
// each: column k holds the j >= k that share a row with k.  The cost is the
// sum over the rows of their squared counts, the size of J'J itself.
void build_normal_pattern(fint n, Built& b) {
  Vec1<const fint> ipj(b.ipj.data()), irnj(b.irnj.data()), ipr(b.ipr.data()), jcr(b.jcr.data()),
      rowpos(b.rowpos.data());
  b.ipa.assign(static_cast<std::size_t>(n) + 1, 0);
  b.ira.clear();
  b.ira.reserve(static_cast<std::size_t>(2) * n);
  std::vector<fint> mark(static_cast<std::size_t>(n) + 1, 0);
  // J'J, its diagonal repeated for the damping term, and MA57's lengths
  // must all stay within 32 bits.
  const i64 limit = (kInt32Max - 42 - 7 * i64{n}) / 3;
  for (fint k = 1; k <= n; ++k) {
    b.ipa[static_cast<std::size_t>(k) - 1] = static_cast<fint>(b.ira.size() + 1);
    b.ira.push_back(k);
    mark[static_cast<std::size_t>(k)] = k;
    for (fint e = ipj(k); e < ipj(k + 1); ++e) {
      const fint i = irnj(e);
      for (fint t = rowpos(e) + 1; t < ipr(i + 1); ++t) {
        const fint j = jcr(t);
        if (mark[static_cast<std::size_t>(j)] == k) continue;
        mark[static_cast<std::size_t>(j)] = k;
        b.ira.push_back(j);
      }
      if (static_cast<i64>(b.ira.size()) > limit) {
        b.too_large = true;
        return;
      }
    }
  }
  b.ipa[static_cast<std::size_t>(n)] = static_cast<fint>(b.ira.size() + 1);
  b.sizes.nejtj = static_cast<i64>(b.ira.size());
}

// MA57's analysis of J'J plus the repeated diagonal; the factor lengths are
// its forecasts without compression (the factorisation pivots in the
// analysed order, so nothing is ever delayed).
void analyse(fint n, const fint* icntlm, Built& b) {
  const i64 ne57 = b.sizes.ne57();
  std::vector<fint> irn57(static_cast<std::size_t>(ne57)), jcn57(static_cast<std::size_t>(ne57));
  i64 s = 0;
  for (fint k = 1; k <= n; ++k) {
    for (fint t = b.ipa[static_cast<std::size_t>(k) - 1]; t < b.ipa[static_cast<std::size_t>(k)]; ++t) {
      irn57[static_cast<std::size_t>(s)] = b.ira[static_cast<std::size_t>(t) - 1];
      jcn57[static_cast<std::size_t>(s)] = k;
      ++s;
    }
  }
  for (fint j = 1; j <= n; ++j, ++s) {
    irn57[static_cast<std::size_t>(s)] = j;
    jcn57[static_cast<std::size_t>(s)] = j;
  }
  const fint lkeep = static_cast<fint>(b.sizes.lkeep());
  const fint nef = static_cast<fint>(ne57);
  b.keep.assign(static_cast<std::size_t>(lkeep), 0);
  std::vector<fint> iwork(static_cast<std::size_t>(5) * n);
  fint info[ma57::kLenINFO] = {};
  double rinfo[ma57::kLenRINFO] = {};
  MA57AD(&n, &nef, irn57.data(), jcn57.data(), &lkeep, b.keep.data(), iwork.data(), icntlm, info, rinfo);
  b.ma57_status = info[0];
  b.sizes.lfact = info[8];
  b.sizes.lifact = info[9];
}

void groups(fint m, fint n, Built& b) {
  b.gptr.assign(static_cast<std::size_t>(n) + 1, 0);
  b.gcol.assign(static_cast<std::size_t>(n), 0);
  std::vector<fint> work(static_cast<std::size_t>(3) * n);
  TD22_GROUPS(&m, &n, b.ipj.data(), b.irnj.data(), b.ipr.data(), b.jcr.data(), &b.ngroup, b.gptr.data(),
              b.gcol.data(), work.data());
}

// The typical size of each variable, which its difference step follows
// where the coordinate itself is smaller: 1/D(j) with the host's scaling;
// otherwise |X(j)| of the start, and for a coordinate that starts at zero
// the largest |X(k)| of the start (1 when the whole start is zero).  Steps
// that follow the start's own sizes keep the estimate independent of the
// units of the variables.  They also suit problems whose J'J has its
// smallest eigenvalues at the rounding level of its assembly, where the
// pattern of the estimate's errors decides how much of each step's
// reduction is lost: on such a problem (10^5 variables) one step common to
// every column stalled, while steps that follow the coordinates converge
// as fast as with the exact Jacobian.
void typical_sizes(fint n, const double* x, const double* d, double* typ) {
  double largest = 0;
  for (fint j = 0; j < n; ++j) largest = std::fmax(largest, std::fabs(x[j]));
  if (largest == 0) largest = 1;
  for (fint j = 0; j < n; ++j) typ[j] = d ? 1 / d[j] : x[j] != 0 ? std::fabs(x[j]) : largest;
}

template <class T>
void put(const std::vector<T>& v, T* dest) {
  std::copy(v.begin(), v.end(), dest);
}

}  // namespace

void start_problem(const Args& a) {
  Vec1<fint> info(a.INFO);
  Vec1<double> rinfo(a.RINFO);
  for (int k = 1; k <= kLenINFO; ++k) info(k) = 0;
  for (int k = 1; k <= kLenRINFO; ++k) rinfo(k) = 0;
  *a.NFEV = *a.NJEV = *a.NITER = 0;
  auto fail = [&](fint code) {
    info(1) = code;
    *a.IREQ = code;
  };

  const fint m = *a.M, n = *a.N, ne = *a.NE;
  if (m < 1 || n < 1 || ne < 1) {
    fail(-1);
    print_error(a.ICNTL, -1, m, n, ne);
    return;
  }
  Vec1<const fint> icntl(a.ICNTL);
  if (!controls_valid(a, icntl(9) == 1)) {
    fail(-8);
    print_error(a.ICNTL, -8, info(2), info(3));
    return;
  }
  Built b;
  b.sizes.m = m;
  b.sizes.n = n;
  b.sizes.ne = ne;
  // The lengths from M, N and NE alone, J'J holding at least its diagonal:
  // sizes that cannot fit 32-bit lengths are refused before any temporary
  // storage is sized by them, and storage the process cannot give is
  // refused the same way rather than ending the host.
  const i64 least_iw = 16 * i64{n} + m + 5 * i64{ne} + 86;
  const i64 least_w = 9 * i64{n} + 3 * i64{m} + 2 * i64{ne} + 20;
  b.too_large = least_iw > kInt32Max || least_w > kInt32Max;
  const bool estimate = icntl(5) == 0;
  try {
    if (!b.too_large) {
      bool repeated = false;
      const i64 bad = first_bad_entry(m, n, ne, a.IRN, a.JCN, repeated);
      if (bad > 0) {
        fail(-2);
        info(2) = static_cast<fint>(bad);
        print_error(a.ICNTL, -2, bad, a.IRN[bad - 1], a.JCN[bad - 1],
                    repeated ? "a repeated pattern entry" : "out of range");
        return;
      }
      build_patterns(m, n, ne, a.IRN, a.JCN, b);
      build_normal_pattern(n, b);
    }
    if (!b.too_large) {
      analyse(n, a.ICNTLM, b);
      if (estimate) groups(m, n, b);
    }
  } catch (const std::bad_alloc&) {
    b.too_large = true;
  }

  i64 need_iw = kInt32Max, need_w = kInt32Max;
  if (!b.too_large) {
    const Layout lay(b.sizes);
    need_iw = std::min(lay.liw, kInt32Max);
    need_w = std::min(lay.lw, kInt32Max);
  }
  info(4) = saturate(b.sizes.nejtj);
  info(5) = b.ngroup;
  info(8) = saturate(b.sizes.lfact);
  info(9) = saturate(b.sizes.lifact);
  info(14) = static_cast<fint>(need_iw);
  info(15) = static_cast<fint>(need_w);
  // A length beyond 32 bits cannot be met: it is reported as the largest.
  const bool short_iw = b.too_large || need_iw > *a.LIW || need_iw == kInt32Max;
  if (short_iw || need_w > *a.LW) {
    const fint code = short_iw ? -3 : -4;
    fail(code);
    info(2) = static_cast<fint>(short_iw ? need_iw : need_w);
    info(3) = static_cast<fint>(short_iw ? need_w : need_iw);
    print_error(a.ICNTL, code, short_iw ? *a.LIW : *a.LW, info(2));
    return;
  }
  if (b.ma57_status < 0) {
    // The analysis of a valid pattern does not fail; should it, the
    // factorisation could not go on.
    fail(-9);
    info(3) = b.ma57_status;
    print_error(a.ICNTL, -9, 0, b.ma57_status);
    return;
  }
  const i64 bad_x = first_nonfinite(a.X, n);
  if (bad_x > 0) {
    fail(-7);
    info(2) = static_cast<fint>(bad_x);
    info(3) = 1;
    print_error(a.ICNTL, -7, bad_x, 0, 0, "X");
    return;
  }

  // Everything fits: the structures go into the workspace.
  const Layout lay(b.sizes);
  Vec1<fint> iw(a.IW);
  Vec1<double> w(a.W);
  put(b.ipj, iw.at(lay.ipj));
  put(b.irnj, iw.at(lay.irnj));
  put(b.hostpos, iw.at(lay.hostpos));
  put(b.ipr, iw.at(lay.ipr));
  put(b.jcr, iw.at(lay.jcr));
  put(b.posr, iw.at(lay.posr));
  put(b.rowpos, iw.at(lay.rowpos));
  put(b.ipa, iw.at(lay.ipa));
  put(b.ira, iw.at(lay.ira));
  if (estimate) {
    put(b.gptr, iw.at(lay.gptr));
    put(b.gcol, iw.at(lay.gcol));
  }
  put(b.keep, iw.at(lay.keep));

  for (i64 k = 1; k <= kIwHeader; ++k) iw(k) = 0;
  iw(kMagicAt) = kMagic;
  iw(kM) = m;
  iw(kN) = n;
  iw(kNE) = ne;
  iw(kLIW) = *a.LIW;
  iw(kLW) = *a.LW;
  iw(kNejtj) = static_cast<fint>(b.sizes.nejtj);
  iw(kLfact) = static_cast<fint>(b.sizes.lfact);
  iw(kLifact) = static_cast<fint>(b.sizes.lifact);
  iw(kNgroup) = b.ngroup;
  iw(kSource) = icntl(5);
  iw(kMethod) = icntl(8);
  iw(kScaling) = icntl(9);
  iw(kCurrent) = 1;  // the start goes into slot 0, the first candidate
  iw(kNeedIW) = static_cast<fint>(need_iw);
  iw(kNeedW) = static_cast<fint>(need_w);
  const std::uint64_t keep_sum = analysis_checksum(b.keep.data(), b.sizes);
  iw(kKeepSumLow) = static_cast<fint>(static_cast<std::uint32_t>(keep_sum));
  iw(kKeepSumHigh) = static_cast<fint>(static_cast<std::uint32_t>(keep_sum >> 32));
  iw(kPhase) = static_cast<fint>(Phase::StartF);

  for (i64 k = 1; k <= kWHeader; ++k) w(k) = 0;
  for (i64 j = 1; j <= n; ++j) w(lay.d + j - 1) = icntl(9) == 1 ? a.D[j - 1] : 0.0;
  typical_sizes(n, a.X, icntl(9) == 1 ? a.D : nullptr, w.at(lay.typ));
  for (i64 j = 1; j <= n; ++j) {
    w(lay.xs + j - 1) = a.X[j - 1];
    a.XT[j - 1] = a.X[j - 1];
  }
  info(1) = 0;
  *a.FNORM = 0;  // no residuals known yet
  *a.IREQ = 1;
}

}  // namespace tbl::di23
