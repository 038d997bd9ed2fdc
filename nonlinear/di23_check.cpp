// DI23AD, the check of the state kept in IW on every call that continues a
// problem.
//
// The host owns IW and may have changed it between calls.  Everything the
// coming call will follow in IW as an index, a pointer or a loop bound is
// checked before the call reads through it: the heading words, and the
// parts of the sections that the phase about to run reads.  DI23AD's own
// sections are checked for range and order only: a changed word that still
// points inside the arrays gives another iterate, not a fault.  MA57's
// analysis in KEEP is a tree whose consistency only a replay of the
// factorisation's symbolic steps could establish; it never changes after
// the start (the factorisation restores the one part it borrows, unless it
// suspends for storage, after which the problem ends with -9), so a
// checksum taken at the start proves what the factorisation follows
// unchanged in one pass.  W holds values only (no real in it sizes or
// addresses anything) and is not checked.
//
// Scratch that every call rewrites before reading it is never checked: the
// slot marker of the assembly of J'J (ISCR(1..N), which the assembly starts
// afresh), MA57's IWORK (ISCR(N+1..2N)) and its factors IFACT.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "nonlinear/di23.hpp"
#include "sym_ldlt/ma57.hpp"

namespace tbl::di23 {

Sizes kept_sizes(const fint* iw) {
  Vec1<const fint> h(iw);
  Sizes s;
  s.m = h(kM);
  s.n = h(kN);
  s.ne = h(kNE);
  s.nejtj = h(kNejtj);
  s.lfact = h(kLfact);
  s.lifact = h(kLifact);
  return s;
}

namespace {

// Counters go up by one per call, the factorisations and doublings by at
// most a few thousand (each cut of the damping while probing a short step
// divides it by ten, which underflows to zero after some 650 cuts, each
// with at most 11 factorisations): this much headroom keeps every
// increment from overflowing.
constexpr i64 kCounterRoom = i64{1} << 16;
constexpr i64 kCounterMax = std::numeric_limits<fint>::max() - kCounterRoom;

// Whether TEST(k) holds for some k in FIRST..LAST-1.  Blocks of a fixed
// length, each position with its own flag, become vector code with the
// flags in vector registers; they are combined once at the end.
template <class Test>
bool any_of(i64 first, i64 last, Test test) {
  constexpr int kBlock = 8;
  unsigned any = 0;
  i64 k = first;
  if (last - first >= kBlock) {
    unsigned hit[kBlock] = {};
    for (; k + kBlock <= last; k += kBlock)
      for (int l = 0; l < kBlock; ++l) hit[l] |= test(k + l);
    for (int l = 0; l < kBlock; ++l) any |= hit[l];
  }
  for (; k < last; ++k) any |= test(k);
  return any != 0;
}

// Checks on the sections of IW; each returns the position in IW of the
// first word found wrong, or 0.
class Checker {
 public:
  Checker(const fint* iw, const Sizes& s, const Layout& lay) : iw_(iw), s_(s), lay_(lay) {}

  // A section is first scanned without an exit, in blocks of a fixed
  // length that the compiler turns into vector code; the position is
  // looked for only when that scan finds a fault.

  // Pointers STARTS(1..COUNT+1) of a section of LENGTH entries: from 1,
  // never decreasing, to LENGTH + 1.
  i64 pointers(i64 at, i64 count, i64 length) const {
    if (iw_(at) != 1) return at;
    if (iw_(at + count) != length + 1) return at + count;
    const fint* p = iw_.at(at);
    auto falls = [p](i64 k) { return p[k] < p[k - 1]; };
    if (!any_of(1, count + 1, falls)) return 0;
    i64 k = 1;
    while (!falls(k)) ++k;
    return at + k;
  }
  // Entries AT..AT+COUNT-1 all within 1..HI.
  i64 within(i64 at, i64 count, i64 hi) const {
    const fint* p = iw_.at(at);
    const auto top = static_cast<std::uint32_t>(hi);
    auto outside = [p, top](i64 k) { return static_cast<std::uint32_t>(p[k]) - 1u >= top; };
    if (!any_of(0, count, outside)) return 0;
    i64 k = 0;
    while (!outside(k)) ++k;
    return at + k;
  }

  // J by columns, read by every product with J and by the estimate.
  i64 columns() const {
    if (const i64 bad = pointers(lay_.ipj, s_.n, s_.ne)) return bad;
    return within(lay_.irnj, s_.ne, s_.m);
  }
  // Group G of the estimate, and with COLS the columns of J in it: what
  // one step of the estimate reads of them.
  i64 group(fint g, bool cols) const {
    const i64 at = lay_.gptr + g - 1;
    const fint first = iw_(at), next = iw_(at + 1);
    if (first < 1 || first > s_.n + 1) return at;
    if (next < first || next > s_.n + 1) return at + 1;
    const i64 from = lay_.gcol + first - 1, count = next - first;
    if (const i64 bad = within(from, count, s_.n)) return bad;
    if (!cols) return 0;
    // Column by column the check costs several times what the check of all
    // of J, in vector code, costs a word: for a group of a quarter of the
    // columns or more, all of J is checked instead.
    if (4 * count >= s_.n) return columns();
    Vec1<const fint> gcol(iw_.at(from)), ipj(iw_.at(lay_.ipj)), irnj(iw_.at(lay_.irnj));
    const auto top = static_cast<std::uint32_t>(s_.ne + 1), m = static_cast<std::uint32_t>(s_.m);
    auto outside = [](fint v, std::uint32_t hi) { return static_cast<std::uint32_t>(v) - 1u >= hi; };
    for (i64 s = 1; s <= count; ++s) {
      const fint j = gcol(s), lo = ipj(j), hi = ipj(j + 1);
      if (outside(lo, top) || outside(hi, top) || hi < lo) return lay_.ipj + j - (outside(lo, top) ? 1 : 0);
      unsigned out = 0;
      for (fint e = lo; e < hi; ++e) out |= outside(irnj(e), m);
      if (out == 0) continue;
      fint e = lo;
      while (!outside(irnj(e), m)) ++e;
      return lay_.irnj + e - 1;
    }
    return 0;
  }
  // Where the host's entries go in J by columns (a Jacobian from the host).
  i64 host_positions() const { return within(lay_.hostpos, s_.ne, s_.ne); }
  // J by rows and the pattern of J'J, read by the assembly of J'J.
  i64 normal_pattern() const {
    if (const i64 bad = pointers(lay_.ipr, s_.m, s_.ne)) return bad;
    if (const i64 bad = within(lay_.jcr, s_.ne, s_.n)) return bad;
    if (const i64 bad = within(lay_.posr, s_.ne, s_.ne)) return bad;
    if (const i64 bad = within(lay_.rowpos, s_.ne, s_.ne)) return bad;
    if (const i64 bad = pointers(lay_.ipa, s_.n, s_.nejtj)) return bad;
    return within(lay_.ira, s_.nejtj, s_.n);
  }
  // MA57's analysis, which the factorisation follows.
  i64 analysis() const {
    const std::uint64_t sum = analysis_checksum(iw_.at(lay_.keep), s_);
    const bool same = static_cast<std::uint32_t>(iw_(kKeepSumLow)) == static_cast<std::uint32_t>(sum) &&
                      static_cast<std::uint32_t>(iw_(kKeepSumHigh)) == static_cast<std::uint32_t>(sum >> 32);
    return same ? 0 : lay_.keep;
  }

 private:
  Vec1<const fint> iw_;
  const Sizes& s_;
  const Layout& lay_;
};

}  // namespace

std::uint64_t analysis_checksum(const fint* keep, const Sizes& s) {
  // Four independent lanes of xor-multiply by an odd constant, each step
  // taking two words as one 64-bit chunk: a step is one-to-one in the lane
  // and in the chunk, so a change of a single word always changes the sum.
  constexpr std::uint64_t kOdd = 0x9e3779b97f4a7c15;
  std::uint64_t l0 = 0xcbf29ce484222325, l1 = 0x84222325cbf29ce4, l2 = 0x9e3779b97f4a7c15, l3 = 0x7f4a7c159e3779b9;
  auto chunk = [](const fint* p) {
    std::uint64_t c;
    std::memcpy(&c, p, sizeof c);
    return c;
  };
  auto add = [&](i64 first, i64 last) {
    const fint* p = keep + (first - 1);
    i64 left = last - first + 1;
    for (; left >= 8; left -= 8, p += 8) {
      l0 = (l0 ^ chunk(p)) * kOdd;
      l1 = (l1 ^ chunk(p + 2)) * kOdd;
      l2 = (l2 ^ chunk(p + 4)) * kOdd;
      l3 = (l3 ^ chunk(p + 6)) * kOdd;
    }
    for (; left > 0; --left, ++p) l0 = (l0 ^ static_cast<std::uint32_t>(*p)) * kOdd;
  };
  // What the factorisation follows: the pivot order, the number of nodes,
  // the number of slots and the flag of a suspended factorisation (whose
  // saved state it reads only when the flag is set), the row counts, the
  // node of each variable, the sons of each node and the column indices of
  // the slots (as many as there are values).  The map, which places each
  // value in its slot, is left out: the factorisation drops a value whose
  // slot is out of range, so a changed map gives other values, never an
  // access outside FACT.
  const ma57::KeepLayout kl(s.n, s.ne57());
  const i64 nsteps = std::clamp<i64>(keep[kl.nsteps() - 1], 0, s.n);
  add(1, kl.hold());
  add(kl.row_counts(), kl.sons_per_node() + nsteps - 1);
  add(kl.columns(), kl.columns() + s.ne57() - 1);
  std::uint64_t sum = 0;
  for (const std::uint64_t lane : {l0, l1, l2, l3}) sum = (sum << 17 | sum >> 47) ^ lane;
  return sum;
}

i64 damaged_word(const Args& a) {
  Vec1<const fint> h(a.IW);
  const auto phase = static_cast<Phase>(h(kPhase));
  if (h(kPhase) < static_cast<fint>(Phase::StartF) || h(kPhase) > static_cast<fint>(Phase::Trial)) return kPhase;

  // The header: the sizes that place the sections, and the words that pick
  // a section or bound a loop.
  const Sizes s = kept_sizes(a.IW);
  // M, N and NE match the call's, which a host may have changed with them.
  if (s.m < 1) return kM;
  if (s.n < 1) return kN;
  if (s.ne < 1) return kNE;
  if (s.nejtj < s.n || s.nejtj > s.n * (s.n + 1) / 2) return kNejtj;
  if (s.lifact < 1) return kLifact;
  const Layout lay(s);
  if (lay.liw > *a.LIW) return kLifact;
  if (s.lfact < 1 || lay.lw > *a.LW) return kLfact;
  const fint source = h(kSource), method = h(kMethod), ngroup = h(kNgroup);
  if (source != 0 && source != 1) return kSource;
  // AJ is the host's array only in a call with ICNTL(5) = 1; otherwise it
  // may be a single word, and no Jacobian may be asked for or read.
  if (source == 1 && a.ICNTL[4] == 0) return kSource;
  if (phase == Phase::HostJ && source != 1) return kPhase;
  if (method != 1 && method != 2) return kMethod;
  if (h(kScaling) != 0 && h(kScaling) != 1) return kScaling;
  if (ngroup < (source == 0 ? 1 : 0) || ngroup > s.n) return kNgroup;
  if (h(kCurrent) != 0 && h(kCurrent) != 1) return kCurrent;
  // A negative counter, seen unsigned, is above the bound as well.
  auto wild = [&h](int c) { return static_cast<std::uint32_t>(h(c)) > std::uint32_t{kCounterMax}; };
  if (any_of(kNiter, kNnonfinite + 1, wild))
    for (int c = kNiter;; ++c)
      if (wild(c)) return c;
  if (static_cast<std::uint32_t>(h(kNonfiniteRun)) >= std::uint32_t{kMaxNonfiniteJacobians}) return kNonfiniteRun;
  // The entry that -12 reports is a position in AJ.
  if (h(kNonfiniteAt) < 0 || h(kNonfiniteAt) > s.ne) return kNonfiniteAt;
  const fint g = h(kTdGroup);
  if (phase == Phase::Estimate && (g < 1 || g > ngroup)) return kTdGroup;

  // The parts of the sections the coming phase reads.  A step of an
  // estimate reads its group with the columns of J in it and shifts the
  // next group; the step of the last group (the backward shift of a
  // central difference still to come aside) goes on to J'J and the
  // factorisation, as a Jacobian from the host does.  A trial point, like
  // the start's residuals, may go on to a new estimate (its first group);
  // whether it goes on to a new step instead is known only once its
  // residuals are judged, and damaged_before_step checks that then.
  const Checker check(a.IW, s, lay);
  const bool backward_next = method == 2 && h(kTdSide) == 1;
  const bool new_jacobian = phase == Phase::HostJ || (phase == Phase::Estimate && g == ngroup && !backward_next);
  i64 bad = 0;
  if (phase == Phase::Estimate) {
    // The columns of J in the last group are checked with all of J below.
    bad = check.group(g, !new_jacobian);
    if (!bad && g < ngroup && !backward_next) bad = check.group(g + 1, false);
  }
  if (!bad && source == 0 && (phase == Phase::StartF || phase == Phase::Trial)) bad = check.group(1, false);
  if (!bad && phase == Phase::HostJ) bad = check.host_positions();
  if (!bad && new_jacobian) bad = check.columns();
  if (!bad && new_jacobian) bad = check.normal_pattern();
  if (!bad && new_jacobian) bad = check.analysis();
  return bad;
}

i64 damaged_before_step(const Args& a) {
  const Sizes s = kept_sizes(a.IW);
  const Layout lay(s);
  const Checker check(a.IW, s, lay);
  if (const i64 bad = check.columns()) return bad;
  return check.analysis();
}

void end_damaged(const Args& a, i64 word) {
  a.IW[kPhase - 1] = static_cast<fint>(Phase::Idle);
  *a.IREQ = -11;
  a.INFO[0] = -11;
  a.INFO[1] = static_cast<fint>(word);
  a.INFO[2] = 0;
  print_error(a.ICNTL, -11, word);
}

}  // namespace tbl::di23
