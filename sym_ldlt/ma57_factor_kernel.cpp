// The multifrontal LDL^T kernel behind MA57BD.
//
// Working layout of the host's arrays while a factorisation runs:
//
//   FACT:  [stored factors 1..POSFAC-1][front NFRONT^2 at POSFAC][free]
//          [stack of contribution blocks, last pushed lowest][values of the
//           permuted structure, row after row in pivot order, the ones not
//           yet assembled from RFIRST on]
//   IFACT: [IFACT(1..3) header][block records from IFACT(4), the current
//           front's record last][free][stack of contribution index lists,
//           each its length then its indices][column indices of the
//           permuted structure, the ones not yet assembled from IFIRST on]
//
// The stacks grow down; RLOW/ILOW are the last free positions below them and
// RHIGH/IHIGH the first positions above them (the start of the values and
// of the column indices).  Space is regained by sliding a stack up against
// the first unassembled value or index, never by allocating.
//
// The front is a full NFRONT x NFRONT square (leading dimension NFRONT).
// Its lower triangle is the live symmetric matrix.  When a pivot at
// position k is eliminated its column below the diagonal keeps the unscaled
// entries W, and row k of the upper triangle receives the negated
// multipliers -L, so every update is F := F + W * (-L^T): one DGEMM with
// alpha = beta = 1 per strip.  The upper rows of the pivots are exactly the
// packed factor columns the solve reads, which also lets the factors be
// compacted in place in order of increasing source position.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "interface/blas.hpp"
#include "interface/fmt.hpp"
#include "interface/machine.hpp"
#include "sym_ldlt/ma57_factor.hpp"

namespace {

using tbl::fint;
using tbl::Mat1;
using tbl::Vec1;
using i64 = std::int64_t;

// Entries of the saved state HOLD(1..40).  8, 10, 13 to 16, 19, 20 and 24
// are also read and moved by MA57ED; their meaning is shared with it.
enum HoldEntry : int {
  kFlag = 1,           // 0 none, 1 suspended for real space, 2 for integer space
  kBlocks = 2,         // blocks stored so far
  kTwoByTwo = 3,       // 2x2 pivots so far
  kDelays = 4,         // delayed pivots so far
  kIntCompress = 5,    // compresses of IFACT so far
  kNegative = 6,       // negative eigenvalues so far
  kMaxFront = 7,       // largest front so far
  kRecord = 8,         // first index of the current front's record
  kNodePivots = 9,     // pivots of the current node
  kPosFac = 10,        // next free position of FACT for factors
  kMinRealC = 11,      // running minimum LFACT with compresses
  kMinRealNC = 12,     // running minimum LFACT without compresses
  kRealHigh = 13,      // start of the values (top of the real stack + 1)
  kIntHigh = 14,       // start of the column indices
  kIntLow = 15,        // last free position below the integer stack
  kRealLow = 16,       // last free position below the real stack
  kMinIntC = 17,       // running minimum LIFACT with compresses
  kMinIntNC = 18,      // running minimum LIFACT without compresses
  kIntFirst = 19,      // first column index not yet assembled
  kRealFirst = 20,     // first value not yet assembled
  kPivots = 21,        // pivots so far
  kPivotPos = 22,      // next pivot position in PERM
  kNode = 23,          // current node (NSTEPS + 1: the final pass)
  kFront = 24,         // order of the current front
  kFullySummed = 25,   // fully summed variables of the current front
  kSign = 27,          // recorded pivot sign (ICNTL(7) = 2, 3)
  kPhase = 28,         // modification phase (ICNTL(7) = 4)
  kOwnFirst = 29,      // first pivot position of the current node's own rows
};

constexpr fint kSuspendReal = 1;
constexpr fint kSuspendInt = 2;

// Single-precision constants widened to double, as the modification rule
// fixes them.
constexpr double kOneThird = 0.3333333432674408;
constexpr double kNegTolerance = 0.10000000149011612;

void raise_to(i64& v, i64 x) { v = std::max(v, x); }

class Kernel {
 public:
  Kernel(fint n, fint nz, double* fact, fint lfact, fint* ifact, fint lifact, const fint* lrow,
         const fint* perm, fint nsteps, const fint* nstk, const fint* node, double* diagadd, double* modparm,
         fint* frontpos, const double* cntl, const fint* icntl, fint* info, double* rinfo, fint* hold)
      : n_(n),
        nz_(nz),
        lfact_(lfact),
        lifact_(lifact),
        nsteps_(nsteps),
        fact_(fact, lfact),
        iw_(ifact, lifact),
        lrow_(lrow, n),
        perm_(perm, n),
        nstk_(nstk, nsteps),
        node_(node, n),
        diagadd_(diagadd, n),
        modparm_(modparm, 5),
        frontpos_(frontpos, n),
        cntl_(cntl, 5),
        icntl_(icntl, 20),
        info_(info, 40),
        rinfo_(rinfo, 20),
        hold_(hold, 40) {}

  void run();

 private:
  // --- set-up and saved state
  void start_fresh();
  void resume();
  void save(fint flag);
  void publish_counts();
  fint host_lfact() const { return mode_ == 4 ? lfact_ + n_ + 5 : lfact_; }

  // --- one node
  void build_front();
  bool real_space();
  void assemble();
  bool eliminate();
  bool int_space();
  void store_and_push();
  void final_pass();

  // --- dense work on the front
  Mat1<double> front() { return Mat1<double>(fact_.at(apos_), nfront_); }
  void threshold_pivoting();
  bool pivot_in_order();
  int test_candidate(fint j, fint k, fint bend, fint& partner);
  double column_max_excluding(fint j, fint skip, fint k);
  void interchange(fint i, fint j, fint k);
  void pivot1x1(fint k, fint bend);
  void pivot2x2(fint k, fint bend);
  bool modify_pivot(fint k, fint stage);
  void strip_update(fint c0, fint ncols, fint p0, fint q);
  void deferred_update(fint cfirst, fint clast, fint p0, fint q, fint width);
  void update_non_fully_summed();
  void copy_factors();
  void push_contribution(i64 rec);

  void compress(i64& low, i64& high, i64 newhigh, bool reals);
  void error_small_pivot(double a, fint stage);
  void error_sign_change(fint stage);

  // arguments
  fint n_, nz_, lfact_, lifact_, nsteps_;
  Vec1<double> fact_;
  Vec1<fint> iw_;
  Vec1<const fint> lrow_, perm_, nstk_, node_;
  Vec1<double> diagadd_, modparm_;
  Vec1<fint> frontpos_;
  Vec1<const double> cntl_;
  Vec1<const fint> icntl_;
  Vec1<fint> info_;
  Vec1<double> rinfo_;
  Vec1<fint> hold_;

  // controls
  double u_ = 0.0, delta_ = 0.0;
  fint nbase_ = 1, mode_ = 1, lp_ = 6, wp_ = 6, ldiag_ = 2;
  bool may_suspend_ = false;

  // state (mirrors HOLD)
  i64 posfac_ = 1, rec_ = 6, rhigh_ = 0, ihigh_ = 0, ilow_ = 0, rlow_ = 0, ifirst_ = 0, rfirst_ = 0;
  fint nfront_ = 0, nass_ = 0, npiv_ = 0, s_ = 1, ipos_ = 1, npivt_ = 0, ownfirst_ = 1;
  fint nblk_ = 0, n2x2_ = 0, ndelay_ = 0, ncmpbi_ = 0, neig_ = 0, maxfrt_ = 0, sign_ = 0, phase_ = 1;
  i64 minr_c_ = 0, minr_nc_ = 0, mini_c_ = 0, mini_nc_ = 0;

  // position of the current front; counting mode (real space exhausted
  // with ICNTL(8) = 0): fronts at FACT(1), factors only counted
  i64 apos_ = 1;
  bool counting_ = false;
  i64 fst_ = 0, ist_ = 0;
};

void Kernel::run() {
  mode_ = icntl_(7);
  lp_ = icntl_(1);
  wp_ = icntl_(2);
  ldiag_ = icntl_(5);
  may_suspend_ = icntl_(8) != 0;
  u_ = std::clamp(cntl_(1), 0.0, 0.5);
  // A negative zero-pivot threshold would let exact zeros through as
  // pivots: never go below zero.
  delta_ = std::max(cntl_(2), 0.0);
  // A block size below 1 would give empty candidate blocks and a search
  // that never ends.
  nbase_ = std::max<fint>(icntl_(11), 1);

  fint stage = 0;
  if (hold_(kFlag) > 0) {
    stage = hold_(kFlag) == kSuspendInt ? kSuspendInt : kSuspendReal;
    resume();
  } else {
    start_fresh();
  }

  for (; s_ <= nsteps_; ++s_) {
    if (stage == 0) build_front();
    if (stage != kSuspendInt) {
      if (!real_space()) return;
      assemble();
      if (!eliminate()) return;
    } else {
      apos_ = posfac_;
    }
    stage = 0;
    if (!int_space()) return;
    store_and_push();
  }
  final_pass();
}

void Kernel::start_fresh() {
  for (fint v = 1; v <= n_; ++v) frontpos_(v) = n_ + 1;
  for (fint i = 1; i <= 5; ++i) iw_(i) = 0;
  info_(1) = 0;
  info_(2) = 0;
  // Everything this factorisation reports starts again from zero; only a
  // resumed factorisation carries its counts over.
  for (fint i = 14; i <= 29; ++i) info_(i) = 0;
  info_(31) = 0;
  rinfo_(3) = 0.0;
  rinfo_(4) = 0.0;
  rinfo_(5) = 0.0;
  rinfo_(14) = 0.0;
  rinfo_(15) = 0.0;

  rhigh_ = rfirst_ = i64{lfact_} - nz_ + 1;
  rlow_ = rhigh_ - 1;
  ihigh_ = ifirst_ = i64{lifact_} - nz_ + 1;
  ilow_ = ihigh_ - 1;
  posfac_ = 1;
  rec_ = 6;
  minr_c_ = minr_nc_ = nz_;
  mini_c_ = mini_nc_ = i64{n_} + 5 + nz_;
  s_ = 1;
  ipos_ = 1;
  npivt_ = 0;
  sign_ = 0;
  phase_ = 1;

  if (mode_ == 4) {
    // Diagonal of A per variable, from the values of the permuted structure.
    for (fint v = 1; v <= n_; ++v) diagadd_(v) = 0.0;
    i64 slot = 0;
    for (fint p = 1; p <= n_; ++p) {
      fint v = perm_(p);
      for (fint t = 0; t < lrow_(p); ++t, ++slot) {
        if (iw_(ifirst_ + slot) == v) diagadd_(v) += fact_(rfirst_ + slot);
      }
    }
    double dmax = 0.0, dmin = 0.0;
    for (fint v = 1; v <= n_; ++v) {
      dmax = std::max(dmax, std::abs(diagadd_(v)));
      dmin = std::min(dmin, diagadd_(v));
    }
    modparm_(1) = dmax;
    modparm_(4) = dmax;
    modparm_(5) = dmin;
    modparm_(2) = std::pow(tbl::re05re(1), kOneThird);
    modparm_(3) = kNegTolerance;
    rinfo_(15) = tbl::re05re(5);
  }
}

void Kernel::resume() {
  hold_(kFlag) = 0;
  info_(1) = 0;
  nblk_ = hold_(kBlocks);
  n2x2_ = hold_(kTwoByTwo);
  ndelay_ = hold_(kDelays);
  info_(23) = ndelay_;
  ncmpbi_ = hold_(kIntCompress);
  neig_ = hold_(kNegative);
  maxfrt_ = hold_(kMaxFront);
  rec_ = hold_(kRecord);
  npiv_ = hold_(kNodePivots);
  posfac_ = hold_(kPosFac);
  minr_c_ = hold_(kMinRealC);
  minr_nc_ = hold_(kMinRealNC);
  rhigh_ = hold_(kRealHigh);
  ihigh_ = hold_(kIntHigh);
  ilow_ = hold_(kIntLow);
  rlow_ = hold_(kRealLow);
  mini_c_ = hold_(kMinIntC);
  mini_nc_ = hold_(kMinIntNC);
  ifirst_ = hold_(kIntFirst);
  rfirst_ = hold_(kRealFirst);
  npivt_ = hold_(kPivots);
  ipos_ = hold_(kPivotPos);
  s_ = hold_(kNode);
  nfront_ = hold_(kFront);
  nass_ = hold_(kFullySummed);
  sign_ = hold_(kSign);
  phase_ = hold_(kPhase);
  ownfirst_ = hold_(kOwnFirst);
  apos_ = posfac_;
}

void Kernel::save(fint flag) {
  hold_(kFlag) = flag;
  hold_(kBlocks) = nblk_;
  hold_(kTwoByTwo) = n2x2_;
  hold_(kDelays) = ndelay_;
  hold_(kIntCompress) = ncmpbi_;
  hold_(kNegative) = neig_;
  hold_(kMaxFront) = maxfrt_;
  hold_(kRecord) = static_cast<fint>(rec_);
  hold_(kNodePivots) = npiv_;
  hold_(kPosFac) = static_cast<fint>(posfac_);
  hold_(kMinRealC) = tbl::saturate(minr_c_);
  hold_(kMinRealNC) = tbl::saturate(minr_nc_);
  hold_(kRealHigh) = static_cast<fint>(rhigh_);
  hold_(kIntHigh) = static_cast<fint>(ihigh_);
  hold_(kIntLow) = static_cast<fint>(ilow_);
  hold_(kRealLow) = static_cast<fint>(rlow_);
  hold_(kMinIntC) = tbl::saturate(mini_c_);
  hold_(kMinIntNC) = tbl::saturate(mini_nc_);
  hold_(kIntFirst) = static_cast<fint>(ifirst_);
  hold_(kRealFirst) = static_cast<fint>(rfirst_);
  hold_(kPivots) = npivt_;
  hold_(kPivotPos) = ipos_;
  hold_(kNode) = s_;
  hold_(kFront) = nfront_;
  hold_(kFullySummed) = nass_;
  hold_(kSign) = sign_;
  hold_(kPhase) = phase_;
  hold_(kOwnFirst) = ownfirst_;
  publish_counts();
}

// The counts and storage forecasts, as they stand, into INFO: on success,
// on failure and at a suspension alike.
void Kernel::publish_counts() {
  const i64 extra = mode_ == 4 ? i64{n_} + 5 : 0;
  info_(17) = tbl::saturate(minr_c_ + extra);
  info_(18) = tbl::saturate(mini_c_);
  info_(19) = tbl::saturate(minr_nc_ + extra);
  info_(20) = tbl::saturate(mini_nc_);
  info_(21) = maxfrt_;
  info_(22) = n2x2_;
  info_(23) = ndelay_;
  info_(24) = neig_;
  info_(29) = ncmpbi_;
}

// The index list of a node's front, in the node's record,
// fully summed variables first (the node's own, then those its sons could
// not eliminate), then the rest.
void Kernel::build_front() {
  nfront_ = 0;
  auto add = [&](fint v) {
    ++nfront_;
    iw_(rec_ + nfront_ - 1) = v;
    frontpos_(v) = nfront_;
  };
  ownfirst_ = ipos_;
  while (ipos_ <= n_ && std::abs(node_(perm_(ipos_))) <= s_) {
    add(perm_(ipos_));
    ++ipos_;
  }
  const fint nsons = nstk_(s_);
  i64 pos = ilow_ + 1;
  for (fint b = 1; b <= nsons; ++b) {
    const fint len = iw_(pos);
    for (fint t = 1; t <= len; ++t) {
      const fint v = iw_(pos + t);
      if (std::abs(node_(v)) <= s_ && frontpos_(v) > n_) add(v);
    }
    pos += len + 1;
  }
  nass_ = nfront_;
  pos = ilow_ + 1;
  for (fint b = 1; b <= nsons; ++b) {
    const fint len = iw_(pos);
    for (fint t = 1; t <= len; ++t) {
      const fint v = iw_(pos + t);
      if (frontpos_(v) > n_) add(v);
    }
    pos += len + 1;
  }
  i64 col = ifirst_;
  for (fint p = ownfirst_; p < ipos_; ++p) {
    for (fint t = 0; t < lrow_(p); ++t) {
      const fint w = iw_(col + t);
      if (frontpos_(w) > n_) add(w);
    }
    col += lrow_(p);
  }
  maxfrt_ = std::max(maxfrt_, nfront_);
}

// Slides a stack (reals or integers) up against the first value or index
// not yet assembled, giving the space of the assembled ones back.
void Kernel::compress(i64& low, i64& high, i64 newhigh, bool reals) {
  fint l = static_cast<fint>(low), h = static_cast<fint>(high);
  const fint nh = static_cast<fint>(newhigh);
  const tbl::logical flag = reals ? tbl::kTrue : tbl::kFalse;
  MA57_SHIFT_DATA(fact_.data(), iw_.data(), &l, &h, &nh, &flag);
  low = l;
  high = h;
}

// Room for the front below the real stack.  Returns false when the
// kernel must return (suspended, or failed beyond counting).
bool Kernel::real_space() {
  const i64 need = i64{nfront_} * nfront_;
  const i64 stacked = rhigh_ - rlow_ - 1;
  const i64 unassembled = i64{lfact_} - rfirst_ + 1;
  const i64 factors = counting_ ? fst_ : posfac_ - 1;
  raise_to(minr_c_, factors + need + stacked + unassembled);
  raise_to(minr_nc_, factors + need + stacked + nz_);

  apos_ = counting_ ? 1 : posfac_;
  if (apos_ + need - 1 <= rlow_) return true;
  compress(rlow_, rhigh_, rfirst_, true);
  ++info_(28);
  if (apos_ + need - 1 <= rlow_) return true;

  if (may_suspend_) {
    save(kSuspendReal);
    info_(1) = 10;
    return false;
  }
  info_(1) = -3;
  info_(2) = host_lfact();
  if (need > rlow_) {
    publish_counts();
    return false;
  }
  if (!counting_) {
    // Give up the factors: every further front goes to FACT(1) and only
    // the storage it would have needed is counted.  The records go too, so
    // the current index list moves to the first record's place.
    counting_ = true;
    fst_ = posfac_ - 1;
    ist_ = rec_ - 3;
    std::memmove(iw_.at(6), iw_.at(rec_), sizeof(fint) * static_cast<std::size_t>(nfront_));
    rec_ = 6;
    apos_ = 1;
  }
  return true;
}

// Zero the front, add the node's rows of A and its sons'
// contribution blocks (which then leave the stack).
void Kernel::assemble() {
  Mat1<double> f = front();
  // Only the lower triangle is live; each entry of the upper triangle is
  // written (with the pivot's negated multipliers) before it is read.
  for (fint c = 1; c <= nfront_; ++c) std::fill(f.at(c, c), f.at(1, c) + nfront_, 0.0);
  for (fint p = ownfirst_; p < ipos_; ++p) {
    const fint v = perm_(p);
    const fint i = frontpos_(v);
    const fint len = lrow_(p);
    for (fint t = 0; t < len; ++t) {
      const fint w = iw_(ifirst_ + t);
      const double x = fact_(rfirst_ + t);
      if (w == v) {
        f(i, i) += x;
      } else {
        const fint j = frontpos_(w);
        if (i >= j)
          f(i, j) += x;
        else
          f(j, i) += x;
      }
    }
    ifirst_ += len;
    rfirst_ += len;
    rinfo_(3) += len;
  }
  const fint nsons = nstk_(s_);
  for (fint b = 1; b <= nsons; ++b) {
    const fint len = iw_(ilow_ + 1);
    const fint* idx = iw_.at(ilow_ + 2);
    const double* val = fact_.at(rlow_ + 1);
    for (fint c = 0; c < len; ++c) {
      const fint fc = frontpos_(idx[c]);
      for (fint r = c; r < len; ++r) {
        const fint fr = frontpos_(idx[r]);
        if (fr >= fc)
          f(fr, fc) += *val++;
        else
          f(fc, fr) += *val++;
      }
    }
    const i64 packed = i64{len} * (len + 1) / 2;
    rinfo_(3) += static_cast<double>(packed);
    ilow_ += len + 1;
    rlow_ += packed;
  }
}

// Pivot and eliminate, then update the part outside the fully
// summed rows and columns.
bool Kernel::eliminate() {
  npiv_ = 0;
  if (mode_ == 1) {
    threshold_pivoting();
  } else if (!pivot_in_order()) {
    return false;
  }
  update_non_fully_summed();
  npivt_ += npiv_;
  return true;
}

// Threshold pivoting with 1x1 and 2x2 pivots over blocks of candidate
// columns; the update of the columns right of a block is deferred to one
// DGEMM per strip at the end of each pass.
void Kernel::threshold_pivoting() {
  fint nb = std::min(nbase_, nass_);
  fint k = 1;  // next pivot position
  bool ended = nass_ == 0;
  for (fint pass = 1; pass <= nass_ && !ended; ++pass) {
    const fint k0 = k;
    const fint bend = static_cast<fint>(std::min<i64>(i64{k0} + nb - 1, nass_));
    fint cand = k, examined = 0;
    while (k <= bend && examined < bend - k + 1) {
      const fint j = cand;
      fint p = 0;
      const int kind = test_candidate(j, k, bend, p);
      if (kind == 0) {
        ++examined;
        cand = j >= bend ? k : j + 1;
        continue;
      }
      if (kind == 1) {
        if (j != k) interchange(k, j, k);
        pivot1x1(k, bend);
        k += 1;
      } else {
        const fint lo = std::min(j, p), hi = std::max(j, p);
        if (lo != k) interchange(k, lo, k);
        if (hi != k + 1) interchange(k + 1, hi, k);
        pivot2x2(k, bend);
        k += 2;
      }
      examined = 0;
      cand = (j + 1 > bend || j + 1 < k) ? k : j + 1;
    }
    const fint q = k - k0;
    if (bend == nass_) {
      ended = true;
    } else if (q == 0) {
      nb = static_cast<fint>(std::min<i64>(2 * i64{nb}, nass_));
    } else {
      deferred_update(bend + 1, nass_, k0, q, nb);
    }
  }
  if (!ended && lp_ >= 0) tbl::io::write(lp_, "(A)", "****** BE WORRIED LOOP 918");
  npiv_ = k - 1;
}

// Examines candidate column j of the block [k, bend]: 0 pass over, 1 a 1x1
// pivot, 2 a 2x2 pivot with row `partner`.
int Kernel::test_candidate(fint j, fint k, fint bend, fint& partner) {
  Mat1<double> f = front();
  const double a = f(j, j);
  double b = 0.0;
  fint p = 0;
  for (fint r = j - 1; r >= k; --r) {
    const double v = std::abs(f(j, r));
    if (v > b) {
      b = v;
      p = r;
    }
  }
  for (fint r = j + 1; r <= bend; ++r) {
    const double v = std::abs(f(r, j));
    if (v > b) {
      b = v;
      p = r;
    }
  }
  double gamma = b;
  for (fint r = bend + 1; r <= nfront_; ++r) gamma = std::max(gamma, std::abs(f(r, j)));

  if (std::max(std::abs(a), b) <= delta_) return 0;
  if (std::abs(a) > u_ * gamma) return 1;
  if (p == 0 || b <= delta_) return 0;

  const double c = f(p, p);
  const double apj = p < j ? f(j, p) : f(p, j);
  const double det = a * c - apj * apj;
  const double rj = column_max_excluding(j, p, k);
  const double rp = column_max_excluding(p, j, k);
  double maxac = std::max(std::abs(a), std::abs(c));
  if (maxac == 0.0) maxac = 1.0;
  const double adet = std::abs(det);
  if (adet / maxac <= delta_) return 0;
  if (adet < u_ * (std::abs(c) * rj + std::abs(apj) * rp)) return 0;
  if (adet < u_ * (std::abs(apj) * rj + std::abs(a) * rp)) return 0;
  partner = p;
  return 2;
}

// Largest magnitude in column j over the uneliminated rows other than j and
// `skip`.
double Kernel::column_max_excluding(fint j, fint skip, fint k) {
  Mat1<double> f = front();
  double m = 0.0;
  for (fint r = k; r < j; ++r)
    if (r != skip) m = std::max(m, std::abs(f(j, r)));
  for (fint r = j + 1; r <= nfront_; ++r)
    if (r != skip) m = std::max(m, std::abs(f(r, j)));
  return m;
}

// Symmetric interchange of front positions i < j (both not yet
// eliminated; k is the first uneliminated position).  Besides the live lower
// triangle, the unscaled columns (rows i, j of the eliminated columns) and
// the negated multipliers (columns i, j of the eliminated rows) follow their
// variables.
void Kernel::interchange(fint i, fint j, fint k) {
  Mat1<double> f = front();
  std::swap(f(i, i), f(j, j));
  for (fint c = 1; c < i; ++c) std::swap(f(i, c), f(j, c));
  for (fint c = 1; c < k; ++c) std::swap(f(c, i), f(c, j));
  for (fint c = i + 1; c < j; ++c) std::swap(f(c, i), f(j, c));
  for (fint r = j + 1; r <= nfront_; ++r) std::swap(f(r, i), f(r, j));
  const fint vi = iw_(rec_ + i - 1), vj = iw_(rec_ + j - 1);
  iw_(rec_ + i - 1) = vj;
  iw_(rec_ + j - 1) = vi;
  frontpos_(vj) = i;
  frontpos_(vi) = j;
}

// Eliminates the 1x1 pivot at position k and updates the block's columns
// k+1..bend at once.
void Kernel::pivot1x1(fint k, fint bend) {
  Mat1<double> f = front();
  const double dinv = 1.0 / f(k, k);
  f(k, k) = dinv;
  if (dinv < 0.0) ++neig_;
  for (fint r = k + 1; r <= nfront_; ++r) f(k, r) = -f(r, k) * dinv;
  double ops = 1.0 + (nfront_ - k);
  for (fint c = k + 1; c <= bend; ++c) {
    const double lc = f(k, c);
    double* col = f.at(1, c);
    const double* w = f.at(1, k);
    for (fint r = c; r <= nfront_; ++r) col[r - 1] += w[r - 1] * lc;
    ops += 2.0 * (nfront_ - c + 1);
  }
  rinfo_(4) += ops;
}

// Eliminates the 2x2 pivot at positions k, k+1.  Its D^-1 replaces the
// block; the off-diagonal entry of D^-1 sits where the packed factor column
// keeps L(k+1,k), until the final pass moves it to the 2x2 list.
void Kernel::pivot2x2(fint k, fint bend) {
  Mat1<double> f = front();
  const double a = f(k, k), c = f(k + 1, k + 1), b = f(k + 1, k);
  const double det = a * c - b * b;
  const double d11 = c / det, d22 = a / det, d12 = -b / det;
  f(k, k) = d11;
  f(k + 1, k + 1) = d22;
  f(k, k + 1) = d12;
  if (det < 0.0)
    neig_ += 1;
  else if (d22 < 0.0)
    neig_ += 2;
  ++n2x2_;
  for (fint r = k + 2; r <= nfront_; ++r) {
    const double w1 = f(r, k), w2 = f(r, k + 1);
    f(k, r) = -(w1 * d11 + w2 * d12);
    f(k + 1, r) = -(w1 * d12 + w2 * d22);
  }
  double ops = 6.0 + 6.0 * (nfront_ - k - 1);
  for (fint c2 = k + 2; c2 <= bend; ++c2) {
    const double l1 = f(k, c2), l2 = f(k + 1, c2);
    double* col = f.at(1, c2);
    const double* w1 = f.at(1, k);
    const double* w2 = f.at(1, k + 1);
    for (fint r = c2; r <= nfront_; ++r) col[r - 1] += w1[r - 1] * l1 + w2[r - 1] * l2;
    ops += 4.0 * (nfront_ - c2 + 1);
  }
  rinfo_(4) += ops;
  iw_(rec_ + k - 1) = -iw_(rec_ + k - 1);
  iw_(rec_ + k) = -iw_(rec_ + k);
}

// ICNTL(7) = 2, 3, 4: every fully summed variable is a 1x1 pivot in its
// order, with no delays.  Returns false on an error (INFO set, message
// written).
bool Kernel::pivot_in_order() {
  Mat1<double> f = front();
  const fint nb = std::min(nbase_, nass_);
  for (fint k0 = 1; k0 <= nass_;) {
    const fint bend = static_cast<fint>(std::min<i64>(i64{k0} + nb - 1, nass_));
    for (fint k = k0; k <= bend; ++k) {
      const fint stage = npivt_ + k;
      const double a = f(k, k);
      if (mode_ == 4) {
        if (!modify_pivot(k, stage)) return false;
      } else {
        if (std::abs(a) <= delta_) {
          error_small_pivot(a, stage);
          return false;
        }
        const fint sg = a > 0.0 ? 1 : -1;
        if (stage == 1) {
          sign_ = sg;
        } else if (sg != sign_) {
          if (mode_ == 2) {
            error_sign_change(stage);
            return false;
          }
          sign_ = -sign_;
          ++info_(26);
        }
      }
      pivot1x1(k, bend);
      npiv_ = k;
    }
    deferred_update(bend + 1, nass_, k0, bend - k0 + 1, nb);
    k0 = bend + 1;
  }
  return true;
}

// Matrix modification (ICNTL(7) = 4).  Phase 1 accepts pivots as they are
// while the running estimates of the remaining diagonal stay safely
// positive; from the first failure on (phase 2) each pivot is raised to at
// least the sum of the magnitudes of its off-diagonal row.
bool Kernel::modify_pivot(fint k, fint stage) {
  Mat1<double> f = front();
  const double a = f(k, k);
  const fint var = iw_(rec_ + k - 1);
  if (phase_ == 1) {
    bool accept = std::abs(a) > delta_ && a >= modparm_(2) * modparm_(1) &&
                  -modparm_(4) * modparm_(3) <= modparm_(5);
    if (accept) {
      double emax = 0.0, emin = 0.0;
      for (fint r = k + 1; r <= nfront_; ++r) {
        const fint w = iw_(rec_ + r - 1);
        diagadd_(w) -= f(r, k) * f(r, k) / a;
        emax = std::max(emax, diagadd_(w));
        emin = std::min(emin, diagadd_(w));
      }
      if (emin < -modparm_(3) * modparm_(1)) {
        accept = false;
      } else {
        modparm_(4) = emax;
        modparm_(5) = emin;
        rinfo_(15) = std::min(rinfo_(15), a);
        diagadd_(var) = 0.0;
      }
    }
    if (accept) return true;
    phase_ = 2;
  }
  if (info_(27) == 0) info_(27) = stage;
  double sigma = 0.0;
  for (fint r = k + 1; r <= nfront_; ++r) sigma += std::abs(f(r, k));
  const double tau = std::max(sigma, modparm_(2) * modparm_(1));
  double added = 0.0, pivot = a;
  if (tau > a) {
    added = tau - a;
    pivot = tau;
  }
  diagadd_(var) = added;
  rinfo_(15) = std::min(rinfo_(15), pivot);
  if (pivot == 0.0) {
    error_small_pivot(a, stage);
    return false;
  }
  f(k, k) = pivot;
  return true;
}

// One strip: columns c0..c0+ncols-1, all rows from c0 down, updated by
// the q pivots from position p0 (unscaled columns times negated
// multipliers).
void Kernel::strip_update(fint c0, fint ncols, fint p0, fint q) {
  Mat1<double> f = front();
  const double one = 1.0;
  const fint ld = nfront_;
  const fint m = nfront_ - c0 + 1;
  dgemm_("N", "N", &m, &ncols, &q, &one, f.at(c0, p0), &ld, f.at(p0, c0), &ld, &one, f.at(c0, c0), &ld, 1, 1);
}

// Update of columns cfirst..clast (all rows from each strip's diagonal
// down) by the q pivots from position p0, in strips of `width` columns.
void Kernel::deferred_update(fint cfirst, fint clast, fint p0, fint q, fint width) {
  if (q <= 0 || cfirst > clast) return;
  for (fint c0 = cfirst; c0 <= clast; c0 += width) {
    const fint ncols = std::min<fint>(width, clast - c0 + 1);
    const fint m = nfront_ - c0 + 1;
    strip_update(c0, ncols, p0, q);
    const double lower = 0.5 * ncols * (ncols + 1.0) + double(ncols) * (m - ncols);
    rinfo_(4) += 2.0 * q * lower;
    rinfo_(5) += double(q) * ncols * (ncols - 1.0);
  }
}

// The part of the front outside the fully summed rows and columns (the
// future contribution block) receives the update by all the node's pivots:
// full strips of ICNTL(11) columns through DGEMM when that pays, the rest
// column by column.
void Kernel::update_non_fully_summed() {
  const fint rest = nfront_ - nass_;
  if (npiv_ == 0 || rest <= 0) return;
  Mat1<double> f = front();
  rinfo_(4) += double(npiv_) * rest * (rest + 1.0);
  const fint w = nbase_;
  fint c = nass_ + 1;
  if (w < rest && w <= npiv_) {
    for (; c + w - 1 <= nfront_; c += w) {
      strip_update(c, w, 1, npiv_);
      rinfo_(5) += double(npiv_) * w * (w - 1.0);
    }
  }
  for (; c <= nfront_; ++c) {
    double* col = f.at(1, c);
    for (fint p = 1; p <= npiv_; ++p) {
      const double lc = f(p, c);
      const double* wp = f.at(1, p);
      for (fint r = c; r <= nfront_; ++r) col[r - 1] += wp[r - 1] * lc;
    }
  }
}

// Room in IFACT for this node's record, the next front's record and
// this node's contribution index list.
bool Kernel::int_space() {
  const i64 k = nfront_ > npiv_ ? i64{nfront_} - npiv_ + 1 : 0;
  const i64 stacked = ihigh_ - ilow_ - 1;
  const i64 unassembled = i64{lifact_} - ifirst_ + 1;
  const i64 record = counting_ ? ist_ + 3 : rec_;
  const i64 ahead = i64{nfront_} + (i64{n_} - npivt_) + 1 + k;
  raise_to(mini_c_, unassembled + stacked + record + ahead);
  raise_to(mini_nc_, nz_ + stacked + record + ahead);

  const i64 needpos = rec_ + ahead;
  if (ilow_ >= needpos) return true;
  compress(ilow_, ihigh_, ifirst_, false);
  ++ncmpbi_;
  if (ilow_ >= needpos) return true;
  if (may_suspend_) {
    save(kSuspendInt);
    info_(1) = 11;
    return false;
  }
  info_(1) = -4;
  info_(2) = lifact_;
  publish_counts();
  return false;
}

// The record and the factors of the node, its delayed
// pivots, and its contribution block onto the stacks.
void Kernel::store_and_push() {
  const i64 rec0 = rec_;
  if (npiv_ >= 1) {
    ++nblk_;
    const i64 stored = i64{npiv_} * (npiv_ + 1) / 2 + i64{npiv_} * (nfront_ - npiv_);
    if (counting_) {
      fst_ += stored;
      ist_ += nfront_ + 2;
    } else {
      iw_(rec_ - 2) = nfront_;
      iw_(rec_ - 1) = npiv_;
      copy_factors();
      posfac_ += stored;
      rec_ += nfront_ + 2;
    }
  }
  if (s_ < nsteps_) ndelay_ += nass_ - npiv_;
  if (nfront_ > npiv_) push_contribution(rec0);
  // Every variable of the front leaves it: a pivot is marked eliminated
  // (0), any other goes back to "in no front" so that the father takes it
  // into its own front.
  for (fint i = 1; i <= nfront_; ++i) {
    const fint v = std::abs(iw_(rec0 + i - 1));
    frontpos_(v) = i <= npiv_ ? 0 : n_ + 1;
  }
}

// Packs the pivot rows of the front into FACT at POSFAC, which is where the
// front itself starts: the pivot block by columns of its lower triangle,
// then per pivot its off-pivot entries.  Each destination lies at or below
// its source, so copying in order of increasing source position never
// overwrites an entry still to be read.
void Kernel::copy_factors() {
  double* base = fact_.at(apos_);
  const i64 nf = nfront_, np = npiv_;
  const i64 tri = np * (np + 1) / 2;
  const i64 rest = nf - np;
  for (i64 r = 1; r <= nf; ++r) {
    const i64 jmax = std::min(r, np);
    const double* src = base + (r - 1) * nf;
    for (i64 j = 1; j <= jmax; ++j) {
      i64 dest;
      if (r <= np)
        dest = (j - 1) * np - (j - 1) * (j - 2) / 2 + (r - j);
      else
        dest = tri + (j - 1) * rest + (r - np - 1);
      base[dest] = src[j - 1];
    }
  }
}

// Pushes the Schur complement (packed lower triangle by columns) and its
// indices.  The block lands just below the real stack, which may overlap
// the top of the front; each destination is at or above its source, so the
// copy runs downward from the last entry.
void Kernel::push_contribution(i64 rec0) {
  Mat1<double> f = front();
  const fint k = nfront_ - npiv_;
  for (fint t = k; t >= 1; --t) iw_(ilow_ - k + t) = iw_(rec0 + npiv_ + t - 1);
  iw_(ilow_ - k) = k;
  ilow_ -= k + 1;
  i64 pos = rlow_;
  for (fint c = nfront_; c > npiv_; --c)
    for (fint r = nfront_; r >= c; --r) fact_(pos--) = f(r, c);
  rlow_ = pos;
}

void Kernel::final_pass() {
  const fint missing = n_ - npivt_;
  const i64 factors = counting_ ? fst_ : posfac_ - 1;
  const i64 ints = counting_ ? ist_ : rec_ - 3;
  raise_to(minr_c_, factors + missing + n2x2_);
  raise_to(minr_nc_, factors + missing + n2x2_);
  raise_to(mini_c_, ints + 3 * i64{missing});
  raise_to(mini_nc_, ints + 3 * i64{missing});
  if (counting_) {
    info_(1) = -3;
    info_(2) = host_lfact();
    publish_counts();
    return;
  }

  // Everything above the records and the factors is dead now; the records
  // of uneliminated variables and the 2x2 list must still fit.
  i64 iwpos = rec_ - 2;
  const bool int_short = iwpos + 3 * i64{missing} - 1 > lifact_;
  const bool real_short = posfac_ + missing + n2x2_ - 1 > lfact_;
  if (int_short || real_short) {
    nfront_ = 0;
    if (may_suspend_) {
      save(int_short ? kSuspendInt : kSuspendReal);
      info_(1) = int_short ? 11 : 10;
    } else {
      info_(1) = int_short ? -4 : -3;
      info_(2) = int_short ? lifact_ : host_lfact();
      publish_counts();
    }
    return;
  }

  info_(25) = npivt_;
  if (missing > 0) {
    info_(1) = 4;
    if (ldiag_ >= 1 && wp_ >= 0)
      tbl::io::write(wp_,
                     "(/,'*** Warning message from routine MA57BD **','   INFO(1) =',I2,/,5X,"
                     "'Matrix is singular, rank =',I5)",
                     4, npivt_);
    for (fint v = 1; v <= n_; ++v) {
      if (frontpos_(v) == 0) continue;
      iw_(iwpos) = 1;
      iw_(iwpos + 1) = 1;
      iw_(iwpos + 2) = v;
      iwpos += 3;
      fact_(posfac_) = 1.0;
      ++posfac_;
      ++nblk_;
    }
  }
  info_(14) = static_cast<fint>(posfac_ - 1);
  iw_(1) = info_(14) + 1;
  info_(15) = info_(14) + n2x2_;
  iw_(2) = info_(15);
  iw_(3) = nblk_;
  info_(31) = nblk_;
  info_(16) = static_cast<fint>(iwpos - 1);
  fint lastpos = info_(14);
  MA57_REPACK_FACTORS(fact_.data(), &lfact_, iw_.data(), &lifact_, &lastpos);
  publish_counts();
  if (info_(27) > 0) {
    double m = 0.0;
    for (fint v = 1; v <= n_; ++v) m = v == 1 ? diagadd_(v) : std::max(m, diagadd_(v));
    rinfo_(14) = m;
  }
}

void Kernel::error_small_pivot(double a, fint stage) {
  info_(1) = -5;
  info_(2) = stage;
  publish_counts();
  if (ldiag_ >= 1 && lp_ >= 0)
    tbl::io::write(lp_,
                   "(/,'*** Error message from routine MA57BD **','   INFO(1) = ',I3,/,'Pivot has value ',"
                   "D16.8,' when ','CNTL(2) has value ',D16.8,/,'at stage',I11,2X,'when ICNTL(7) =',I3)",
                   -5, a, cntl_(2), stage, mode_);
}

void Kernel::error_sign_change(fint stage) {
  info_(1) = -6;
  info_(2) = stage;
  publish_counts();
  if (ldiag_ >= 1 && lp_ >= 0)
    tbl::io::write(lp_,
                   "(/,'*** Error message from routine MA57BD **','   INFO(1) = ',I3,/,'Change in sign of "
                   "pivot at stage',I10,2X,'when ICNTL(7) = ',I3)",
                   -6, stage, 2);
}

}  // namespace

extern "C" {

void MA57_FACTOR_KERNEL(const fint* n, const fint* nz, double* fact, const fint* lfact, fint* ifact,
                        const fint* lifact, const fint* lrow, const fint* perm, const fint* nsteps,
                        const fint* nstk, const fint* node, double* diagadd, double* modparm, fint* frontpos,
                        const double* cntl, const fint* icntl, fint* info, double* rinfo, fint* hold) {
  Kernel k(*n, *nz, fact, *lfact, ifact, *lifact, lrow, perm, *nsteps, nstk, node, diagadd, modparm, frontpos,
           cntl, icntl, info, rinfo, hold);
  k.run();
}

void MA57_SHIFT_DATA(double* ra, fint* ia, fint* low, fint* high, const fint* newhigh,
                     const tbl::logical* reals) {
  if (*high == *newhigh) return;
  const i64 count = i64{*high} - *low - 1;
  if (count <= 0) {
    *high = *newhigh;
    *low = *newhigh - 1;
    return;
  }
  // Source LOW+1..HIGH-1, target NEWHIGH-COUNT..NEWHIGH-1 (1-based).
  const std::size_t from = static_cast<std::size_t>(*low);
  const std::size_t to = static_cast<std::size_t>(*newhigh - count - 1);
  if (tbl::is_true(*reals))
    std::memmove(ra + to, ra + from, sizeof(double) * static_cast<std::size_t>(count));
  else
    std::memmove(ia + to, ia + from, sizeof(fint) * static_cast<std::size_t>(count));
  *high = *newhigh;
  *low = static_cast<fint>(*newhigh - count - 1);
}

}  // extern "C"
