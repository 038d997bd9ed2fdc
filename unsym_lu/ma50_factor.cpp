// MA50BD: left-looking sparse LU of the first NP columns, in a given row and
// column order, then a dense LU of the remaining full block.
//
// Work arrays: W(1:M) is the scatter vector of the current column and is
// all zero between columns.  IW(1:N) holds the scan pointer of each step
// during the depth-first search, IW(N+1:N+M) a mark per row, and
// IW(M+N+1:M+2N) for each step the end of the part of its L column that the
// search has to scan: the full end when non-negative, minus the pruning
// boundary once the column has been pruned.
//
// Storage of the column being factorised: between the end of the stored
// factors (pend) and pend+M lies its work area, the U list growing up from
// pend+1 and the candidate rows of its L part growing down from pend+M (the
// two together never exceed M, since each row is met once).  Every column is
// given at least M free positions beyond the stored factors besides room for
// its own entries and, once it has begun, the full block at the end of the
// arrays; INFO(4) records the length with which exactly M were free.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "interface/common.hpp"
#include "interface/fmt.hpp"
#include "unsym_lu/ma50.hpp"
#include "unsym_lu/ma50_print.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
namespace io = tbl::io;

// Operation count of the dense LU of an mf by nf block; the product term is
// accumulated in single precision, as the count has always been reported.
double dense_ops(fint mf, fint nf) {
  double ops = 0.0;
  for (fint k = 1; k <= std::min(mf, nf); ++k) {
    const float prod = 2.0f * float(mf - k) * float(nf - k);
    ops = ops + double(mf + 1 - k) + double(prod);
  }
  return ops;
}

class Factor {
 public:
  Factor(const fint* M, const fint* N, const fint* NE, const fint* JOB, const double* AA, const fint* IRNA,
         const fint* IPTRA, const double* CNTL, const fint* ICNTL, fint* IP, const fint* IQ, const fint* NP,
         const fint* LFACT, double* FACT, fint* IRNF, fint* IPTRL, fint* IPTRU, double* W, fint* IW,
         fint* INFO, double* RINFO, std::int64_t* estimate)
      : m_(*M), n_(*N), ne_(*NE), job_(*JOB), np_(*NP), lfact_(*LFACT), aa_(AA), irna_(IRNA), iptra_(IPTRA, n_),
        cntl_(CNTL), icntl_(ICNTL), ip_(IP, m_), iq_(IQ), fact_(FACT, lfact_), irnf_(IRNF, lfact_),
        iptrl_(IPTRL, n_), iptru_(IPTRU, n_), w_(W, m_), iw_(IW), info_(INFO, 7), rinfo_(RINFO),
        estimate_(estimate) {}

  void run();

 private:
  // Unit guards.
  fint err_unit() const { return (icntl_[2] >= 1 && icntl_[0] > 0) ? icntl_[0] : 0; }
  fint mon_unit() const { return (icntl_[2] >= 2 && icntl_[1] > 0) ? icntl_[1] : 0; }
  fint print_level() const { return icntl_[2]; }

  bool checks();
  void error_message(fint code, fint a = 0, fint b = 0);
  void entry_monitor();
  void exit_monitor();

  // Columns of the input, in permuted order.
  fint orig_col(fint j) const { return iq_[0] > 0 ? iq_[j - 1] : j; }
  fint col_start(fint k) const { return iptra_(k); }
  fint col_end(fint k) const { return k < n_ ? iptra_(k + 1) - 1 : ne_; }

  fint& mark(fint row) { return iw_[n_ + row - 1]; }
  fint& scan(fint step) { return iw_[step - 1]; }
  fint& prune(fint step) { return iw_[m_ + n_ + step - 1]; }
  fint l_start(fint j) const { return j == 1 ? 3 : iptrl_(j - 1) + 1; }
  fint pivot_pos(fint step) const { return iptru_(step) + 1; }
  fint scan_end(fint step) { return prune(step) >= 0 ? iptrl_(step) : -prune(step); }

  bool job2();
  bool job13();
  bool column13(fint j);
  void setup_full();
  void compact(fint j);
  void dfs(fint step, fint root, fint j, fint& nu, fint& nl);
  void prune_steps(fint j, fint nu, fint prow);
  void note_need(fint j, fint len);
  void estimate_rest(fint j, fint len);
  bool fits_full_block();
  void finish_dense();

  fint m_, n_, ne_, job_, np_, lfact_;
  const double* aa_;
  const fint* irna_;
  Vec1<const fint> iptra_;
  const double* cntl_;
  const fint* icntl_;
  Vec1<fint> ip_;
  const fint* iq_;
  Vec1<double> fact_;
  Vec1<fint> irnf_, iptrl_, iptru_;
  Vec1<double> w_;
  fint* iw_;
  Vec1<fint> info_;
  double* rinfo_;
  std::int64_t* estimate_;      // where to extrapolate to when counting stops

  double u_ = 0.0, drop_ = 0.0, tol_ = 0.0;
  fint k0_ = 0;
  fint mf_ = 0, nf_ = 0;
  std::int64_t region_ = 0;     // size of the full block's area at the end
  bool full_begun_ = false;
  bool counting_ = false;       // storage ran short: only the length is found
  bool exhausted_ = false;      // not even the L parts fit any longer
  std::int64_t counted_ = 0;    // entries counted but not stored
  fint pend_ = 2;               // last position of the stored factors
  fint npivotal_ = 0;           // rows pivotal so far (kept and new)
  std::int64_t need_ = 0;       // largest length found necessary
  // The columns whose fill gives the rate of the columns still to come: from
  // window_from_ on, with the U entries of those compacted in window_u_ and
  // counted_ as it stood when counting began.
  fint window_from_ = 1;
  std::int64_t window_u_ = 0;
  std::int64_t counted_at_start_ = 0;
};

// ------------------------------------------------------------------------
// Checks and messages
// ------------------------------------------------------------------------

void Factor::error_message(fint code, fint a, fint b) {
  const fint u = err_unit();
  if (u == 0) return;
  switch (code) {
    case -1:
      io::write(u, "(/,A,/,2(A,I8))", " **** Error return from MA50BD ****", " M =", m_, " N =", n_);
      break;
    case -2:
      io::write(u, "(/,A,/,A,I6)", " **** Error return from MA50BD ****", " NE =", ne_);
      break;
    case -7:
      io::write(u, "(/,A,/,2(A,I8))", " **** Error return from MA50BD ****", " NP =", np_, " N =", n_);
      break;
    case -3:
      io::write(u, "(/,A,/,A,I7,A,I7)", " **** Error return from MA50BD **** ", " LFACT must be increased from",
                lfact_, " to at least", info_(4));
      break;
    case -5:
      io::write(u, "(/,A,/,A,I2)", " **** Error return from MA50BD ****", " JOB =", job_);
      break;
    case -6:
      io::write(u, "(/,A,/,A,I1,A)", " **** Error return from MA50BD ***", " Call with JOB=", job_,
                " follows JOB=1 call in which entries were dropped");
      break;
    case -4:
      io::write(u, "(/,A,/,A,I9,A,I9,A)", " **** Error return from MA50BD ****", " Entry in row", a,
                " and column", b, " duplicated");
      break;
    default:  // small pivot in column a
      io::write(u, "(/,A,/,A,I6,A)", " **** Error return from MA50BD **** ", " Small pivot found in column", a,
                " of the permuted matrix.");
      break;
  }
}

bool Factor::checks() {
  fint code = 0;
  if (m_ < 1 || n_ < 1) {
    code = -1;
  } else if (ne_ < 1) {
    code = -2;
  } else if (np_ < 0 || np_ > n_) {
    code = -7;
  } else if (lfact_ < std::max(m_, ne_ + 2)) {
    code = -3;
    info_(4) = std::max(m_, ne_ + 2);
  } else if (job_ < 1 || job_ > 3) {
    code = -5;
  } else if (job_ != 1 && irnf_(1) != 0) {
    code = -6;
  }
  if (code == 0) return true;
  info_(1) = code;
  error_message(code);
  return false;
}

void Factor::entry_monitor() {
  const fint u = mon_unit();
  if (u == 0 || print_level() < 3) return;
  io::write(u, "(/,2(A,I6),A,I8,A,I3,/,A,I8,A,I7,/,A,1P,4E10.2,/,A,7I8)", " Entering MA50BD with M =", m_,
            " N =", n_, " NE =", ne_, " JOB =", job_, " LFACT =", lfact_, " NP =", np_, " CNTL =",
            io::Reals{cntl_, 4}, " ICNTL =", io::Ints{icntl_, 7});
  if (print_level() < 4) return;
  tbl::ma50::print_int_list(u, " IP = ", ip_.data(), m_);
  if (iq_[0] > 0) {
    tbl::ma50::print_int_list(u, " IQ = ", iq_, n_);
  } else {
    io::write(u, "(A,(T6,I7))", " IQ = ", iq_[0]);
  }
  for (fint k = 1; k <= n_; ++k) {
    const fint s = col_start(k), e = col_end(k);
    if (e < s) continue;
    io::FmtList list;
    list.add(" Column").add(k);
    for (fint p = s; p <= e; ++p) list.add(aa_[p - 1]).add(irna_[p - 1]);
    io::write_list(u, "(A,I5,(T13,3(1P,E12.4,I5)))", list);
  }
}

void Factor::exit_monitor() {
  const fint u = mon_unit();
  if (u == 0 || print_level() < 3) return;
  io::write(u, "(A,I6,A,F12.1,/,A,I3,A,4I8)", " Leaving MA50BD with IRNF(2) =", irnf_(2), " RINFO =", rinfo_[0],
            " INFO(1) =", info_(1), " INFO(4:7) =", io::Ints{info_.at(4), 4});
  if (print_level() < 4) return;
  if (job_ != 2) tbl::ma50::print_int_list(u, " IP = ", ip_.data(), m_);
  tbl::ma50::print_factors(u, m_, n_, np_, fact_.data(), irnf_.data(), iptrl_.data(), iptru_.data());
}

// ------------------------------------------------------------------------
// JOB = 2: the stored pattern and pivot sequence with new values
// ------------------------------------------------------------------------

bool Factor::job2() {
  mf_ = irnf_(2);
  nf_ = n_ - np_;
  const fint base = iptrl_(n_);
  const std::int64_t full = std::max<std::int64_t>(std::int64_t(mf_) * nf_, std::int64_t(mf_) + nf_);
  info_(4) = tbl::saturate(base + full);
  // The stored pattern must lie inside the arrays given now.
  if (base + full > lfact_) {
    info_(1) = -3;
    error_message(-3);
    return false;
  }
  double ops = rinfo_[0];
  for (fint j = k0_ + 1; j <= n_; ++j) {
    const fint k = orig_col(j);
    for (fint p = col_start(k); p <= col_end(k); ++p) w_(irna_[p - 1]) = aa_[p - 1];
    const fint ufirst = l_start(j);
    for (fint q = iptru_(j); q >= ufirst; --q) {
      const fint jj = irnf_(q);
      const fint pp = pivot_pos(jj);
      const fint prow = irnf_(pp);
      const double mult = -w_(prow) * fact_(pp);
      fact_(q) = mult;
      w_(prow) = 0.0;
      for (fint l = pp + 1; l <= iptrl_(jj); ++l) w_(irnf_(l)) += mult * fact_(l);
      ops = ops + double(2 * (iptrl_(jj) - pp) + 1);
    }
    if (j > np_) {
      const fint col = base + (j - np_ - 1) * mf_;
      for (fint i = 1; i <= mf_; ++i) {
        const fint r = irnf_(base + i);
        fact_(col + i) = w_(r);
        w_(r) = 0.0;
      }
      continue;
    }
    if (iptrl_(j) == iptru_(j)) {
      // No pivot: the column's values at rows outside its stored pattern
      // were discarded; they must not leak into the next column.
      for (fint p = col_start(k); p <= col_end(k); ++p) w_(irna_[p - 1]) = 0.0;
      for (fint q = ufirst; q <= iptru_(j); ++q) {
        const fint jj = irnf_(q);
        for (fint l = pivot_pos(jj) + 1; l <= iptrl_(jj); ++l) w_(irnf_(l)) = 0.0;
      }
      continue;
    }
    for (fint l = iptru_(j) + 1; l <= iptrl_(j); ++l) {
      const fint r = irnf_(l);
      fact_(l) = w_(r);
      w_(r) = 0.0;
    }
    const fint pp = pivot_pos(j);
    if (std::fabs(fact_(pp)) <= tol_) {
      rinfo_[0] = ops;
      info_(1) = -(7 + j);
      error_message(info_(1), j);
      return false;
    }
    fact_(pp) = 1.0 / fact_(pp);
    ++info_(5);
    ops = ops + 1.0;
  }
  rinfo_[0] = ops;
  return true;
}

// ------------------------------------------------------------------------
// JOB = 1 and 3: factorisation with pivoting
// ------------------------------------------------------------------------

// Rows not yet pivotal become the rows of the full block, numbered after the
// sparse columns in increasing row order.
void Factor::setup_full() {
  mf_ = m_ - npivotal_;
  nf_ = n_ - np_;
  fint k = 0;
  for (fint i = 1; i <= m_; ++i) {
    if (ip_(i) > 0) ip_(i) = np_ + (++k);
  }
  region_ = std::max<std::int64_t>(std::int64_t(nf_) + mf_, std::int64_t(nf_) * mf_);
  full_begun_ = true;
}

void Factor::note_need(fint j, fint len) {
  const std::int64_t need =
      std::int64_t(pend_) + counted_ + m_ + len + ((j > np_ && full_begun_) ? region_ : 0);
  need_ = std::max(need_, need);
  info_(4) = tbl::saturate(need_);
}

// Storage ran short: keep only the L parts of the columns done so far (the
// search and the updates of later columns need them) and count the U parts.
void Factor::compact(fint j) {
  fint dst = 2;
  fint old_prev = 2;
  window_from_ = std::max<fint>(1, j - std::max<fint>(1, (j - 1) / 32));
  for (fint s = 1; s < j; ++s) {
    const fint old_u = iptru_(s), old_l = iptrl_(s);
    counted_ += old_u - old_prev;
    if (s >= window_from_) window_u_ += old_u - old_prev;
    const fint shift = (old_u + 1) - (dst + 1);
    for (fint q = old_u + 1; q <= old_l; ++q) {
      fact_(q - shift) = fact_(q);
      irnf_(q - shift) = irnf_(q);
    }
    iptru_(s) = dst;
    iptrl_(s) = dst + (old_l - old_u);
    if (prune(s) >= 0) {
      prune(s) = iptrl_(s);
    } else {
      prune(s) += shift;
    }
    dst = iptrl_(s);
    old_prev = old_l;
  }
  pend_ = dst;
  counted_at_start_ = counted_;
}

// Counting stops at column J, with the bound of M entries for every column
// left in need_.  A length closer to what the factorisation takes: the fill
// of the columns done (L parts stored, U parts counted), the columns left at
// the fill per column of the latest ones (about the last 1/32 of the columns
// before counting began and every column since), the full block and the
// work area.  Fill mostly grows towards the end, so this tends to fall
// short, which costs a host that grows its arrays geometrically a call or
// so, where the bound can ask for tens of times what is needed.  Where the
// latest columns fill far more than those left it overshoots instead; the
// caller bounds that.
void Factor::estimate_rest(fint j, fint len) {
  const fint wc = j - window_from_;
  double rate;
  if (wc > 0) {
    const fint l_from = window_from_ == 1 ? 2 : iptrl_(window_from_ - 1);
    const std::int64_t fill = std::int64_t(iptrl_(j - 1)) - l_from + window_u_ + (counted_ - counted_at_start_);
    rate = double(fill) / wc;
  } else {
    rate = double(ne_) / n_;
  }
  std::int64_t region = region_;
  if (!full_begun_) {
    const std::int64_t nf = n_ - np_;
    const std::int64_t mf = std::max<std::int64_t>(0, std::int64_t(m_) - npivotal_ - (np_ - j + 1));
    region = std::max(nf + mf, nf * mf);
  }
  const double est = double(std::int64_t(pend_) + counted_ + m_ + len) + double(region) + rate * double(n_ - j + 1);
  *estimate_ = est < double(need_) ? std::int64_t(est) : need_;
}

// Depth-first search from pivot step `step` reached through row `root`:
// each step is appended to the U list when all its descendants are done
// (postorder); non-pivotal rows met become candidates of the L part.  The
// mark of the pivot row of a step under search holds minus the step it was
// reached from, which is all the stack the search needs.
void Factor::dfs(fint step, fint root, fint j, fint& nu, fint& nl) {
  mark(root) = 0;
  fint s = step;
  scan(s) = pivot_pos(s) + 1;
  for (;;) {
    const fint end = scan_end(s);
    fint q = scan(s);
    bool descended = false;
    while (q <= end) {
      const fint i = irnf_(q++);
      if (mark(i) >= j) continue;
      if (ip_(i) > 0) {
        mark(i) = j;
        irnf_(pend_ + m_ - nl) = i;
        ++nl;
        continue;
      }
      scan(s) = q;
      const fint t = -ip_(i);
      mark(i) = -s;
      s = t;
      scan(s) = pivot_pos(s) + 1;
      descended = true;
      break;
    }
    if (descended) continue;
    const fint prow = irnf_(pivot_pos(s));
    ++nu;
    irnf_(pend_ + nu) = prow;
    const fint parent = -mark(prow);
    mark(prow) = j;
    if (parent == 0) return;
    s = parent;
  }
}

// Symmetric pruning: a step whose L column holds the pivot row of column j
// (or every step, once only the full block is left) needs to be searched
// only through its rows that are pivotal now; the others are reached
// through column j.
void Factor::prune_steps(fint j, fint nu, fint prow) {
  for (fint q = pend_ + 1; q <= pend_ + nu; ++q) {
    const fint jj = irnf_(q);
    if (prune(jj) < 0) continue;
    const fint first = pivot_pos(jj) + 1, last = iptrl_(jj);
    if (j <= np_) {
      bool found = false;
      for (fint l = first; l <= last && !found; ++l) found = irnf_(l) == prow;
      if (!found) continue;
    }
    fint lo = first, hi = last;
    while (lo <= hi) {
      if (ip_(irnf_(lo)) < 0) {
        ++lo;
      } else if (ip_(irnf_(hi)) > 0) {
        --hi;
      } else {
        std::swap(irnf_(lo), irnf_(hi));
        std::swap(fact_(lo), fact_(hi));
      }
    }
    prune(jj) = -(lo - 1);
  }
}

bool Factor::column13(fint j) {
  const fint k = orig_col(j);
  const fint s = col_start(k), e = col_end(k);
  const fint len = e - s + 1;

  note_need(j, len);
  if (!counting_ && need_ > lfact_) {
    counting_ = true;
    info_(1) = -3;
    compact(j);
  }
  if (counting_ && std::int64_t(pend_) + m_ > lfact_) {
    // Not even the work area of this column fits: bound what the remaining
    // columns can need (each at most M entries) so that the caller is given
    // a length that is certain to suffice.
    const std::int64_t rest = std::int64_t(n_ - j + 1) * m_;
    const std::int64_t nf = n_ - np_;
    const std::int64_t block = std::max<std::int64_t>(nf * m_, nf + m_);
    need_ = std::max<std::int64_t>(need_, std::int64_t(pend_) + counted_ + rest + 2 * std::int64_t(m_) + block);
    info_(4) = tbl::saturate(need_);
    if (estimate_ != nullptr) estimate_rest(j, len);
    exhausted_ = true;
    return true;
  }
  if (!counting_ && j == np_ + 1) {
    // The full block's row indices go to the end of IRNF, where its
    // columns are gathered.
    for (fint i = 1; i <= m_; ++i) {
      if (ip_(i) > 0) irnf_(lfact_ - mf_ + (ip_(i) - np_)) = i;
    }
  }

  // Scatter.
  for (fint p = s; p <= e; ++p) {
    const fint r = irna_[p - 1];
    if (mark(r) == -1) {
      info_(1) = -4;
      error_message(-4, r, k);
      return false;
    }
    w_(r) = aa_[p - 1];
    mark(r) = -1;
  }

  // Symbolic step.
  fint nu = 0, nl = 0;
  for (fint p = s; p <= e; ++p) {
    const fint r = irna_[p - 1];
    if (mark(r) >= j) continue;
    if (ip_(r) > 0) {
      mark(r) = j;
      irnf_(pend_ + m_ - nl) = r;
      ++nl;
    } else {
      dfs(-ip_(r), r, j, nu, nl);
    }
  }

  // Numeric step, in topological order of the steps.
  double ops = rinfo_[0];
  for (fint q = pend_ + nu; q > pend_; --q) {
    const fint p = irnf_(q);
    if (!(std::fabs(w_(p)) >= drop_)) continue;
    const fint jj = -ip_(p);
    const fint pp = pivot_pos(jj);
    const double mult = -w_(p) * fact_(pp);
    w_(p) = mult;
    for (fint l = pp + 1; l <= iptrl_(jj); ++l) w_(irnf_(l)) += mult * fact_(l);
    ops = ops + double(2 * (iptrl_(jj) - pp) + 1);
  }
  rinfo_[0] = ops;

  // U part: steps and values, compacted over the dropped entries.
  bool dropped = false;
  fint nstore = 0;
  for (fint q = pend_ + 1; q <= pend_ + nu; ++q) {
    const fint p = irnf_(q);
    const double v = w_(p);
    w_(p) = 0.0;
    if (drop_ > 0.0 && std::fabs(v) < drop_) {
      ++info_(6);
      dropped = true;
      continue;
    }
    ++nstore;
    irnf_(pend_ + nstore) = -ip_(p);
    fact_(pend_ + nstore) = v;
  }
  // Kept only outside counting mode; either way the list stays for pruning.
  const fint uend = counting_ ? pend_ : pend_ + nstore;
  if (counting_) counted_ += nstore;

  const fint ltop = pend_ + m_;  // candidates at ltop-nl+1 .. ltop
  if (j > np_) {
    if (!dropped) prune_steps(j, nstore, 0);
    if (!counting_) {
      const fint col = lfact_ - fint(region_) + (j - np_ - 1) * mf_;
      for (fint i = 1; i <= mf_; ++i) {
        const fint r = irnf_(lfact_ - mf_ + i);
        fact_(col + i) = w_(r);
        w_(r) = 0.0;
      }
    } else {
      // Pruned steps leave values at rows the search did not visit; every
      // row of the full block has to be cleared.
      for (fint i = 1; i <= m_; ++i) {
        if (ip_(i) > 0) w_(i) = 0.0;
      }
    }
    iptru_(j) = iptrl_(j) = uend;
    prune(j) = uend;
    pend_ = uend;
    return true;
  }

  // Sparse column: drop small candidates, then the threshold test; among the
  // acceptable rows the one earliest in the row order wins.
  fint nkeep = 0;
  double cmax = 0.0;
  for (fint q = ltop - nl + 1; q <= ltop; ++q) {
    const fint r = irnf_(q);
    const double v = std::fabs(w_(r));
    if (drop_ > 0.0 && v < drop_) {
      w_(r) = 0.0;
      ++info_(6);
      dropped = true;
      continue;
    }
    cmax = std::max(cmax, v);
    irnf_(ltop - nl + 1 + nkeep) = r;
    ++nkeep;
  }
  const fint lfirst = ltop - nl + 1;
  fint prow = 0;
  for (fint q = lfirst; q < lfirst + nkeep; ++q) {
    const fint r = irnf_(q);
    const double v = std::fabs(w_(r));
    if (v >= u_ * cmax && v > tol_ && (prow == 0 || ip_(r) < ip_(prow))) prow = r;
  }

  if (prow == 0) {
    for (fint q = lfirst; q < lfirst + nkeep; ++q) w_(irnf_(q)) = 0.0;
    if (drop_ > 0.0) info_(6) += nkeep;
    iptru_(j) = iptrl_(j) = uend;
    prune(j) = uend;
    pend_ = uend;
    return true;
  }

  ip_(prow) = -j;
  ++npivotal_;
  if (!dropped) prune_steps(j, nstore, prow);

  // L part behind the U part, pivot first.
  fint pos = uend;
  for (fint q = lfirst; q < lfirst + nkeep; ++q) {
    const fint r = irnf_(q);
    ++pos;
    irnf_(pos) = r;
    fact_(pos) = w_(r);
    w_(r) = 0.0;
    if (r == prow && pos != uend + 1) {
      std::swap(irnf_(pos), irnf_(uend + 1));
      std::swap(fact_(pos), fact_(uend + 1));
    }
  }
  fact_(uend + 1) = 1.0 / fact_(uend + 1);
  ++info_(5);
  rinfo_[0] = rinfo_[0] + 1.0;
  iptru_(j) = uend;
  iptrl_(j) = pos;
  prune(j) = pos;
  pend_ = pos;
  return true;
}

bool Factor::job13() {
  if (job_ == 3) {
    // Rebuild the row order from the stored factors: the pivot rows of the
    // kept columns are pivotal already, every other row keeps its place.
    const fint base = iptrl_(n_);
    const fint mf_old = irnf_(2);
    if (std::int64_t(base) + mf_old > lfact_ || mf_old < 0 || mf_old > m_) {
      info_(1) = -3;
      info_(4) = tbl::saturate(std::int64_t(base) + std::max<fint>(mf_old, 0));
      error_message(-3);
      return false;
    }
    for (fint j = 1; j <= np_; ++j) {
      if (iptrl_(j) > iptru_(j)) ip_(irnf_(pivot_pos(j))) = j > k0_ ? j : -j;
    }
    for (fint i = 1; i <= mf_old; ++i) ip_(irnf_(base + i)) = np_ + i;
  }
  npivotal_ = 0;
  for (fint s = 1; s <= k0_; ++s) {
    prune(s) = iptrl_(s);
    if (iptrl_(s) > iptru_(s)) ++npivotal_;
  }
  pend_ = k0_ > 0 ? iptrl_(k0_) : 2;

  for (fint j = k0_ + 1; j <= n_; ++j) {
    if (j == np_ + 1) setup_full();
    if (!column13(j)) return false;
    if (exhausted_) break;
  }
  if (exhausted_) {
    info_(1) = -3;
    error_message(-3);
    return false;
  }
  if (np_ == n_) setup_full();

  for (fint i = 1; i <= m_; ++i) ip_(i) = std::abs(ip_(i));
  irnf_(1) = info_(6);
  irnf_(2) = mf_;
  info_(7) = mf_;
  fact_(1) = cntl_[2];
  fact_(2) = tol_;

  const std::int64_t full = std::max<std::int64_t>(std::int64_t(mf_) * nf_, std::int64_t(mf_) + nf_);
  need_ = std::max<std::int64_t>(need_, std::int64_t(iptrl_(n_)) + counted_ + full);
  info_(4) = tbl::saturate(need_);
  if (counting_ || need_ > lfact_) {
    info_(1) = -3;
    error_message(-3);
    return false;
  }

  // Move the full block down behind the sparse factors.
  const fint base = iptrl_(n_);
  if (np_ == n_) {
    fint k = 0;
    for (fint i = 1; i <= m_; ++i) {
      if (ip_(i) > np_) irnf_(base + (++k)) = i;
    }
  } else {
    const fint from = lfact_ - fint(region_);
    for (std::int64_t q = 1; q <= std::int64_t(mf_) * nf_; ++q) fact_(base + q) = fact_(from + q);
    for (fint i = 1; i <= mf_; ++i) irnf_(base + i) = irnf_(lfact_ - mf_ + i);
  }
  return true;
}

// Dense LU of the full block, in place behind the sparse factors.
void Factor::finish_dense() {
  if (nf_ < 1) return;
  const fint base = iptrl_(n_);
  fint* ipiv = irnf_.at(base + mf_ + 1);
  if (mf_ < 1) {
    // No rows: every column is without a pivot, rejected at position 1.
    for (fint k = 0; k < nf_; ++k) ipiv[k] = -1;
    return;
  }
  fint rank = 0;
  double* a = fact_.at(base + 1);
  const double tol = tol_;
  if (icntl_[4] > 1) {
    const fint nb = std::min(icntl_[4], nf_);
    MA50_DENSE_FACTOR3(&mf_, &nf_, a, &mf_, &nb, &tol, ipiv, &rank);
  } else if (icntl_[4] == 1) {
    MA50_DENSE_FACTOR2(&mf_, &nf_, a, &mf_, &tol, ipiv, &rank);
  } else {
    MA50_DENSE_FACTOR1(&mf_, &nf_, a, &mf_, &tol, ipiv, &rank);
  }
  info_(5) += rank;
  rinfo_[0] = rinfo_[0] + dense_ops(mf_, nf_);
}

void Factor::run() {
  for (fint k = 5; k <= 7; ++k) info_(k) = 0;
  info_(4) = 0;
  rinfo_[0] = 0.0;
  if (!checks()) return;
  info_(1) = 0;
  entry_monitor();

  u_ = std::clamp(cntl_[1], 0.0, 1.0);
  drop_ = cntl_[2];
  tol_ = std::max(cntl_[3], 0.0);
  for (fint i = 1; i <= m_; ++i) {
    w_(i) = 0.0;
    mark(i) = 0;
  }
  const fint changed = icntl_[5];
  k0_ = (job_ != 1 && changed > 0 && changed < n_) ? std::min(np_, n_ - changed) : 0;

  if (job_ == 2) {
    if (!job2()) return;
  } else {
    if (!job13()) return;
  }
  finish_dense();
  if (info_(5) < std::min(m_, n_)) info_(1) = 1;
  exit_monitor();
}

}  // namespace

extern "C" void MA50BD(const fint* M, const fint* N, const fint* NE, const fint* JOB, const double* AA,
                       const fint* IRNA, const fint* IPTRA, const double* CNTL, const fint* ICNTL, fint* IP,
                       const fint* IQ, const fint* NP, const fint* LFACT, double* FACT, fint* IRNF, fint* IPTRL,
                       fint* IPTRU, double* W, fint* IW, fint* INFO, double* RINFO) {
  Factor f(M, N, NE, JOB, AA, IRNA, IPTRA, CNTL, ICNTL, IP, IQ, NP, LFACT, FACT, IRNF, IPTRL, IPTRU, W, IW, INFO,
           RINFO, nullptr);
  f.run();
}

void tbl::ma50::factorise(const fint* M, const fint* N, const fint* NE, const fint* JOB, const double* AA,
                          const fint* IRNA, const fint* IPTRA, const double* CNTL, const fint* ICNTL, fint* IP,
                          const fint* IQ, const fint* NP, const fint* LFACT, double* FACT, fint* IRNF, fint* IPTRL,
                          fint* IPTRU, double* W, fint* IW, fint* INFO, double* RINFO, std::int64_t* estimate) {
  *estimate = -1;
  Factor f(M, N, NE, JOB, AA, IRNA, IPTRA, CNTL, ICNTL, IP, IQ, NP, LFACT, FACT, IRNF, IPTRL, IPTRU, W, IW, INFO,
           RINFO, estimate);
  f.run();
}
