#include "multifrontal_lu/za38_layout.hpp"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "multifrontal_lu/za38_internal.hpp"

namespace tbl::za38 {
namespace {

// True when v lies in 1..hi; one unsigned comparison, so the loops over
// index lists stay branch-free.
inline bool outside(fint v, std::uint32_t hi) { return static_cast<std::uint32_t>(v) - 1u >= hi; }

// The long scans run four entries at a time (a generic vector type, which
// the compiler maps onto the machine's vector registers).
using U4 = std::uint32_t __attribute__((vector_size(16)));
using I4 = std::int32_t __attribute__((vector_size(16)));

inline I4 load4(const fint* p) {
  I4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline unsigned lanes_or(I4 v) { return static_cast<unsigned>(v[0] | v[1] | v[2] | v[3]); }

// Some a[0..len) lies outside 1..hi.  Runs of four or more end with the
// last four entries (a few seen twice) instead of a scalar tail, as the
// lists of sparse factors are short.
inline bool any_outside(const fint* a, Pos len, std::uint32_t hi) {
  const U4 one = {1, 1, 1, 1}, lim = {hi, hi, hi, hi};
  if (len < 4) {
    unsigned bad = 0;
    for (Pos t = 0; t < len; ++t) bad |= static_cast<unsigned>(outside(a[t], hi));
    return bad != 0;
  }
  I4 acc = (reinterpret_cast<U4>(load4(a + len - 4)) - one) >= lim, acc2 = {0, 0, 0, 0};
  Pos t = 0;
  for (; t + 8 < len; t += 8) {
    acc |= (reinterpret_cast<U4>(load4(a + t)) - one) >= lim;
    acc2 |= (reinterpret_cast<U4>(load4(a + t + 4)) - one) >= lim;
  }
  if (t + 4 < len) acc |= (reinterpret_cast<U4>(load4(a + t)) - one) >= lim;
  return lanes_or(acc | acc2) != 0;
}

// Some a[0..len) lies outside lo..hi (1 <= lo, lo <= hi + 1).
bool any_between(const fint* a, Pos len, std::uint32_t lo, std::uint32_t hi) {
  const std::uint32_t width = hi + 1u - lo;
  const U4 base = {lo, lo, lo, lo}, lim = {width, width, width, width};
  I4 acc = {0, 0, 0, 0};
  Pos t = 0;
  for (; t + 4 <= len; t += 4) acc |= (reinterpret_cast<U4>(load4(a + t)) - base) >= lim;
  unsigned bad = lanes_or(acc);
  for (; t < len; ++t) bad |= static_cast<unsigned>(static_cast<std::uint32_t>(a[t]) - lo >= width);
  return bad != 0;
}

// Some a[i] < a[i-1], i = 1..len-1.
bool any_decrease(const fint* a, Pos len) {
  I4 acc = {0, 0, 0, 0};
  Pos i = 1;
  for (; i + 4 <= len; i += 4) acc |= load4(a + i) < load4(a + i - 1);
  unsigned bad = lanes_or(acc);
  for (; i < len; ++i) bad |= static_cast<unsigned>(a[i] < a[i - 1]);
  return bad != 0;
}

// Two permutations of 1..n, with one mark byte per index (SEEN holds n
// bytes).  The indices are range-checked first, so the marking is a plain
// scatter with no read to wait on: P's marks must then cover every byte
// (n indices in range that hit n places are all different), and Q's, of
// another value, must leave none of P's.
bool are_permutations(const fint* p, const fint* q, fint n, unsigned char* seen) {
  if (n < 1) return false;
  const auto hi = static_cast<std::uint32_t>(n);
  const auto len = static_cast<std::size_t>(n);
  if (any_outside(p, n, hi) || any_outside(q, n, hi)) return false;
  std::memset(seen, 0, len);
  for (fint k = 0; k < n; ++k) seen[p[k] - 1] = 1;
  if (std::memchr(seen, 0, len) != nullptr) return false;
  for (fint k = 0; k < n; ++k) seen[q[k] - 1] = 2;
  return std::memchr(seen, 1, len) == nullptr;
}

// Non-decreasing pointers p(1..len) from first to last.
bool pointers_ok(const fint* p, Pos len, fint first, Pos last) {
  return p[0] == first && p[len - 1] == last && !any_decrease(p, len);
}

// What a block factor takes: its integers from its first word, and its
// reals (both counted as the factorisation lays them out, with no gap).
struct BlockSize {
  Pos words = 0, reals = 0;
};

// One block factor of order m at E: its table and records inside
// INDEX(K4..pattern end), their index lists in 1..m, sons naming earlier
// records, pivots adding up, the largest row and column counts those of
// the records, and (when the reals are read) its reals starting at FIRST
// (counted from XB) and every record's reals inside VALUE(block
// start..K2), the records tiling them without gap or overlap; SIZE is set
// to what the block takes.  Compiled once for each reader, so that neither
// pays for the other's tests.
template <bool kReals>
bool block_factor_ok(Region& reg, Pos e, Pos m, const FactorSet& fs, Pos first, BlockSize& size) {
  const fint records = reg(e + kBfRecords);
  const fint npiv = reg(e + kBfPivots);
  if (reg.bad() || records < 0 || npiv < 0 || npiv > m) return false;
  if (!reg.holds(e, kBfHeader + records)) return false;
  Pos br = 0;
  if constexpr (kReals) {
    const fint rel = reg(e + kBfRealStart);
    if (rel != first) return false;
    br = fs.xb + rel - 1;
  }
  // The records' reals tile the block's in record order, stacked downward
  // as the factorisation writes them (record j's end where record j-1's
  // start, the last record's start at the block's first real) or upward
  // (record j's start where record j-1's end, the first at the block's
  // first real).  A start moved to another position inside the block
  // breaks both, and is refused rather than read as other numbers.
  Pos up_next = 1, down_above = 0;  // what the next start must be, going up; record j-1's start
  unsigned up_bad = 0, down_bad = 0;
  const auto hi = static_cast<std::uint32_t>(m);
  const fint* table = reg.at(bf_table(e, 1));  // table[j-1]: record j's position
  Pos pivots = 0, maxr = 1, maxc = 1;
  Pos words = kBfHeader + records, nreals = 0;
  for (Pos j = 1; j <= records; ++j) {
    const fint rel = table[j - 1];
    if (rel < 1) return false;
    const Pos x = bf_record(e, records, rel);
    if (!reg.holds(x, kRecHeader)) return false;
    // The walk is bound by the wait for each record's first words: ask for
    // the next record's now.
    if (j < records) {
      const Pos next = bf_record(e, records, table[j]);
      if (reg.contains(next)) __builtin_prefetch(reg.at(next));
    }
    const fint* w = reg.at(x);
    RecordShape sh{w[kRecPivots], w[kRecCols], w[kRecRows], w[kRecSons]};
    // k in 1..m, c and r in 0..m, s >= 0 (one unsigned test each).
    if ((static_cast<std::uint32_t>(sh.k) - 1u >= hi) | (static_cast<std::uint32_t>(sh.c) > hi) |
        (static_cast<std::uint32_t>(sh.r) > hi) | (sh.s < 0))
      return false;
    // The refactorisation builds its fronts from these counts: its rows and
    // columns beyond its pivots are those of later records (or unmatched
    // ones), no more than the block has left after them.  (The solve only
    // follows the lists as indices, checked below.)
    if constexpr (!kReals)
      if (sh.r > m - pivots - sh.k || sh.c > m - pivots - sh.k) return false;
    if (!reg.holds(x, sh.int_length())) return false;
    words += sh.int_length();  // each inside the region: no overflow
    if constexpr (kReals) {
      const Pos q = w[kRecRealStart];
      if (q < 1 || br + q - 1 + sh.real_length() - 1 > fs.k2) return false;
      up_bad |= static_cast<unsigned>(q != up_next);
      up_next = q + sh.real_length();
      down_bad |= static_cast<unsigned>(j > 1 && q + sh.real_length() != down_above);
      down_above = q;
      nreals += sh.real_length();  // at most K2 each: no overflow
    }
    pivots += sh.k;
    maxr = std::max(maxr, sh.r);
    maxc = std::max(maxc, sh.c);
    const fint* lists = w + kRecHeader;
    unsigned bad = static_cast<unsigned>(any_outside(lists, sh.r + sh.c, hi));
    // Son codes in 1..3m naming records before this one.
    const fint* sons = lists + sh.r + sh.c;
    for (Pos t = 0; t < sh.s; ++t) {
      const Pos code = sons[t];
      const Pos rec = code - m * (static_cast<Pos>(code > m) + static_cast<Pos>(code > 2 * m));  // son_record
      bad |= static_cast<unsigned>(static_cast<std::uint64_t>(code - 1) >= static_cast<std::uint64_t>(3 * m)) |
             static_cast<unsigned>(rec >= j);
    }
    if (bad != 0) return false;
  }
  if constexpr (kReals)
    if (up_bad != 0 && (down_bad != 0 || down_above != 1)) return false;
  // A block in which no pivot was found keeps one integer and one real
  // (zeros) above its table instead.
  size = records == 0 ? BlockSize{kBfHeader + 1, 1} : BlockSize{words, nreals};
  // The refactorisation sizes the row and column lists of its fronts by
  // the block's largest counts, so they must be what the records hold.
  return pivots == npiv && reg(e + kBfMaxRows) == maxr && reg(e + kBfMaxCols) == maxc;
}

bool block_factor_ok(Region& reg, Pos e, Pos m, const FactorSet& fs, bool reals, Pos first, BlockSize& size) {
  return reals ? block_factor_ok<true>(reg, e, m, fs, first, size) : block_factor_ok<false>(reg, e, m, fs, first, size);
}

}  // namespace

Trailer read_trailer(const fint* index, Pos top) {
  const fint* t = index + (top - kTrailerLength);  // word w at t[w - 1]
  Trailer r;
  r.transa = t[kTrTransa - 1];
  r.noffdiag = t[kTrNoffdiag - 1];
  r.nblocks = t[kTrNblocks - 1];
  r.preserve = t[kTrPreserve - 1];
  r.nz = t[kTrNz - 1];
  r.n = t[kTrN - 1];
  r.ne = t[kTrNe - 1];
  return r;
}

void write_trailer(fint* index, Pos top, const Trailer& tr) {
  fint* t = index + (top - kTrailerLength);
  t[kTrTransa - 1] = tr.transa;
  t[kTrNoffdiag - 1] = tr.noffdiag;
  t[kTrNblocks - 1] = tr.nblocks;
  t[kTrPreserve - 1] = tr.preserve;
  t[kTrNz - 1] = tr.nz;
  t[kTrN - 1] = tr.n;
  t[kTrNe - 1] = tr.ne;
}

fint check_location(fint n, const fint* keep, const fint* index, fint lindex, fint lvalue, FactorUse use,
                    FactorSet& fs) {
  fs = FactorSet{};
  fs.k1 = keep[kKeepValueFirst - 1];
  fs.k2 = keep[kKeepValueLast - 1];
  fs.k3 = keep[kKeepIndexFirst - 1];
  fs.k4 = keep[kKeepRetainedFirst - 1];
  fs.k5 = keep[kKeepIndexLast - 1];
  if (fs.k4 < 1 || fs.k4 > fs.k5 - 6 || fs.k5 > lindex) return kErrFactors;
  const bool solve = use == FactorUse::kSolve;
  if (solve && (fs.k1 < 1 || fs.k1 > fs.k2 || fs.k2 > lvalue || fs.k3 < 1 || fs.k3 > fs.k4 || fs.k4 > fs.k5))
    return kErrFactors;

  fs.tr = read_trailer(index, fs.k5);
  const Trailer& t = fs.tr;
  if (t.n != n || t.nz < 1 || t.nblocks < 1 || t.nblocks > n || t.noffdiag < 0) return kErrFactors;
  if ((t.transa != 0 && t.transa != 1) || (t.preserve != 0 && t.preserve != 1)) return kErrFactors;
  fs.topd = TopData(fs.k5, n, t.nblocks);
  if (fs.topd.pattern_end() < fs.k4) return kErrFactors;
  if (!solve) return 0;

  Pos i = fs.k3, v = fs.k1;
  if (fs.preserved()) {
    fs.ap = i;
    fs.ai = i + n + 1;
    fs.ax = v;
    i += preserved_ints(n, t.nz);
    v += t.nz;
  }
  if (fs.multi()) {
    fs.oi = i;
    fs.ox = v;
    i += t.noffdiag;
    v += t.noffdiag;
  }
  fs.xb = v;
  if (fs.xb > fs.k2 || i != fs.k4) return kErrFactors;
  return 0;
}

fint validate_factors(fint n, const fint* keep, const fint* index, fint lindex, fint lvalue,
                      const ValidateOptions& opt, FactorSet& fs) {
  if (check_location(n, keep, index, lindex, lvalue, opt.use, fs) != 0) return kErrFactors;
  const bool solve = opt.use == FactorUse::kSolve;
  const TopData& top = fs.topd;
  const Pos pend = top.pattern_end();

  std::vector<unsigned char> own;
  unsigned char* seen = opt.scratch;
  if (seen == nullptr) {
    own.resize(static_cast<std::size_t>(n));
    seen = own.data();
  }
  if (!are_permutations(index + (top.cperm() - 1), index + (top.rperm() - 1), n, seen)) return kErrFactors;

  if (solve && opt.check_copy && fs.preserved()) {
    const fint* ap = index + (fs.ap - 1);
    if (!pointers_ok(ap, Pos{n} + 1, 1, Pos{fs.tr.nz} + 1)) return kErrFactors;
    if (any_outside(index + (fs.ai - 1), fs.tr.nz, static_cast<std::uint32_t>(n))) return kErrFactors;
  }

  // The factors must add up: INDEX(K4..pattern end) holds the block
  // factors and nothing else, and VALUE(XB..K2) the pivots of the blocks
  // of order 1 and the reals of the LU records (XB already counts the
  // preserved values and the entries above the blocks), so that a KEEP
  // entry moved off its place is refused, not read one place off.
  const Pos words = pend - fs.k4 + 1;
  const Pos reals = solve ? fs.k2 - fs.xb + 1 : 0;
  BlockSize size;
  Region reg(index, fs.k4, pend);
  if (!fs.multi())
    return block_factor_ok(reg, fs.k4, n, fs, solve, 1, size) && size.words == words &&
                   (!solve || size.reals == reals)
               ? 0
               : kErrFactors;

  // The block data in short branch-free passes (blocks of order 1 can be
  // nearly all of them): the boundaries rise from 1 to N+1 and the pointer
  // of every block of order 1 lies inside its region; then the factors of
  // the larger blocks; for the solve, the row pointers rise from 1 to
  // NOFFDIAG+1 and the rows of each block name columns of later blocks only.
  // Orders are differences taken in unsigned arithmetic, so that damaged
  // boundaries cannot overflow; only rising boundaries count.
  const fint nb = fs.tr.nblocks;
  const fint* ib = index + (top.ib() - 1);        // ib[t-1] = IB(t)
  const fint* bfptr = index + (top.bfptr() - 1);  // bfptr[t-1] = BFPTR(t)
  if (ib[0] != 1 || ib[nb] != n + 1) return kErrFactors;
  // Order-1 pivots lie in XB..K2 (any positive pointer for the pattern).
  // For the solve the blocks' reals also tile VALUE(XB..K2) in block order,
  // as the factorisation lays them out: block t's reals (its pivot, for a
  // block of order 1) start where block t-1's end.  Between two blocks of
  // order 1 that is BFPTR(t) = BFPTR(t-1) + 1, checked in the same pass
  // (BFPTR(1) = 1 when block 1 has order 1); the walk over the larger
  // blocks checks where they meet the others.
  const auto span = static_cast<std::uint32_t>(solve ? std::min<Pos>(fs.k2 - fs.xb + 1, INT32_MAX) : INT32_MAX);
  const auto u32 = [](fint v) { return static_cast<std::uint32_t>(v); };
  unsigned bad = 0, larger = 0, singles = 0;
  {
    auto one_block = [&](fint t) {
      const bool rising = ib[t] > ib[t - 1];
      const bool single = u32(ib[t]) - u32(ib[t - 1]) == 1u;
      const bool joined = t == 1 ? bfptr[0] == 1
                                 : u32(ib[t - 1]) - u32(ib[t - 2]) != 1u || u32(bfptr[t - 1]) - u32(bfptr[t - 2]) == 1u;
      bad |= static_cast<unsigned>(!rising || (single && (outside(bfptr[t - 1], span) || (solve && !joined))));
      larger |= static_cast<unsigned>(rising && !single);
      singles |= static_cast<unsigned>(single);
    };
    one_block(1);
    // Compiled once for each reader, so that the retained region's check
    // does not pay for the tiling test the solve needs.
    fint t = 2;
    auto pass = [&](auto chained) {
      const U4 one = {1, 1, 1, 1}, lim = {span, span, span, span};
      I4 acc = {0, 0, 0, 0}, big = {0, 0, 0, 0}, one_row = {0, 0, 0, 0};
      for (; t + 3 <= nb; t += 4) {
        const I4 lo = load4(ib + t - 1), up = load4(ib + t);
        const I4 rising = up > lo;
        const I4 single = (reinterpret_cast<U4>(up) - reinterpret_cast<U4>(lo)) == one;
        const U4 ptr = reinterpret_cast<U4>(load4(bfptr + t - 1));
        I4 out = (ptr - one) >= lim;
        if constexpr (decltype(chained)::value) {
          const I4 after_single = (reinterpret_cast<U4>(lo) - reinterpret_cast<U4>(load4(ib + t - 2))) == one;
          out |= after_single & ((ptr - reinterpret_cast<U4>(load4(bfptr + t - 2))) != one);
        }
        acc |= ~rising | (single & out);
        big |= rising & ~single;
        one_row |= single;
      }
      bad |= lanes_or(acc);
      larger |= lanes_or(big);
      singles |= lanes_or(one_row);
    };
    if (solve)
      pass(std::true_type{});
    else
      pass(std::false_type{});
    for (; t <= nb; ++t) one_block(t);
  }
  if (bad != 0) return kErrFactors;
  // With every block of order 1 the block factors are one integer, a zero.
  BlockSize total{larger != 0 ? 0 : 1, nb};  // reals: one pivot for each block of order 1
  if (larger != 0) {
    Pos next = 1;  // where the reals after the last larger block walked start, counted from XB
    for (fint t = 1; t <= nb; ++t) {
      const fint m = ib[t] - ib[t - 1];
      if (m == 1) continue;
      // Its reals follow those of block t-1: the pivot of a block of order
      // 1 (whose place the pass above tied to the blocks before it), or the
      // larger block walked last.
      const Pos first = solve && t > 1 && ib[t - 1] - ib[t - 2] == 1 ? Pos{bfptr[t - 2]} + 1 : next;
      if (bfptr[t - 1] < 1 || !block_factor_ok(reg, fs.k4 + bfptr[t - 1] - 1, m, fs, solve, first, size))
        return kErrFactors;
      // Each part is at least 1 and at most its region: the sums only grow,
      // so they stop long before they could overflow.
      total.words += size.words;
      if (total.words > words) return kErrFactors;
      if (!solve) continue;
      total.reals += size.reals - 1;
      if (total.reals > reals) return kErrFactors;
      next = first + size.reals;
      // A block of order 1 right after it has its pivot right behind it.
      if (t < nb && ib[t + 1] - ib[t] == 1 && bfptr[t] != next) return kErrFactors;
    }
  }
  if (total.words != words) return kErrFactors;
  if (!solve) return 0;
  if (total.reals != reals) return kErrFactors;

  const fint* offrowp = index + (top.offrowp() - 1);  // offrowp[i-1] = OFFROWP(i)
  if (!pointers_ok(offrowp, Pos{n} + 1, 1, Pos{fs.tr.noffdiag} + 1)) return kErrFactors;
  // Entry p of row i must name a later block.  For every row this implies
  // a column j > i, which for monotone pointers is OFFROWP(j) > p: one
  // gather per entry, with no walk over the rows, and exact for the rows of
  // blocks of order 1.  The rows of larger blocks then take the exact bound,
  // one contiguous run of entries per block.
  const fint* oi = index + (fs.oi - 1);  // oi[p-1] = OI(p)
  const auto hi = static_cast<std::uint32_t>(n);
  if (singles != 0)
    for (fint p = 1; p <= fs.tr.noffdiag; ++p) {
      std::uint32_t j = static_cast<std::uint32_t>(oi[p - 1]) - 1u;  // OI(p) - 1
      bad |= static_cast<unsigned>(j >= hi);
      j = j < hi ? j : 0u;
      bad |= static_cast<unsigned>(offrowp[j] <= p);
    }
  if (larger != 0)
    for (fint t = 1; t <= nb; ++t) {
      if (ib[t] - ib[t - 1] == 1) continue;
      const fint* run = oi + (offrowp[ib[t - 1] - 1] - 1);
      const Pos len = offrowp[ib[t] - 1] - offrowp[ib[t - 1] - 1];
      bad |= static_cast<unsigned>(any_between(run, len, static_cast<std::uint32_t>(ib[t]), hi));
    }
  if (bad != 0) return kErrFactors;
  return 0;
}

}  // namespace tbl::za38
