#include "unsym_lu/ma48_print.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "interface/fmt.hpp"

namespace tbl::ma48 {
namespace {

constexpr const char* kShortened = " Only first column of up to 10 blocks printed";

// Walks the printed blocks and columns: all of them at full level, else the
// first column of each of the first ten blocks.
template <class F>
void for_printed_columns(const Monitor& mon, fint nb, const Vec1<const fint>& keep, const KeepLayout& kl,
                         F&& per_block) {
  const fint blocks = mon.full ? nb : std::min<fint>(nb, 10);
  fint jfirst = 1;
  for (fint jb = 1; jb <= blocks; ++jb) {
    const fint nc = keep(kl.nblock + 3 * jb);
    const fint jlast = mon.full ? jfirst + nc - 1 : jfirst;
    per_block(jb, jfirst, jlast);
    jfirst += nc;
  }
}

void column_indices(fint unit, fint j, const fint* irn, fint first, fint last) {
  io::write(unit, "(A,I5,(T13,10I6))", " Column", j, io::Ints{irn + first - 1, last - first});
}

void column_pairs(fint unit, const char* record, fint j, const char* part, const double* a, const fint* irn,
                  std::int64_t first, std::int64_t last) {
  io::FmtList list;
  list.add(" Column").add(j);
  if (part != nullptr) list.add(part);
  for (std::int64_t k = first; k < last; ++k) list.add(a[k - 1]).add(irn[k - 1]);
  io::write_list(unit, record, list);
}

}  // namespace

void text(fint unit, const char* s) { io::write(unit, "(A)", s); }

void entry_check_message(const fint* icntl, const char* who, fint status, fint m, fint n, fint ne, fint job,
                         fint la, fint need) {
  if (!errors_on(icntl)) return;
  const fint u = icntl[0];
  const std::string from = std::string(" Error return from ") + who + " because";
  switch (status) {
    case -1:
      io::write(u, "(A,I10,A,I10)", from + " M =", m, " and N =", n);
      break;
    case -2:
      io::write(u, "(A,I10)", from + " NE =", ne);
      break;
    case -3:
      io::write(u, "(A,I10,/,A,I10)", from + " LA is", la, " and must be at least", need);
      break;
    case -6:
      io::write(u, "(A,I10)", from + " JOB = ", job);
      break;
    default:
      break;
  }
}

void title_and_ints(const Monitor& mon, const char* title, const fint* v, std::int64_t n) {
  text(mon.unit, title);
  io::write(mon.unit, "(10I6)", io::Ints{v, mon.cut(n)});
}

void title_and_ints_indented(const Monitor& mon, const char* title, const fint* v, std::int64_t n) {
  text(mon.unit, title);
  io::write(mon.unit, "(8X,10I6)", io::Ints{v, mon.cut(n)});
}

void position_lists(const Monitor& mon, fint m, fint n, const fint* keep) {
  title_and_ints(mon, " Positions of original rows in the permuted matrix", keep, m);
  title_and_ints(mon, " Positions of columns of permuted matrix in original matrix ", keep + m, n);
}

void pointer_lists(const Monitor& mon, fint m, fint n, const fint* keep, bool diagonal_and_off, bool factors) {
  const KeepLayout kl(m, n);
  if (diagonal_and_off) {
    io::write(mon.unit, "(' IPTRD =',/,(8X,10I6))", io::Ints{keep + kl.iptrd, mon.cut(n + 1)});
    io::write(mon.unit, "(' IPTRO =',/,(8X,10I6))", io::Ints{keep + kl.iptro, mon.cut(n + 1)});
  }
  if (factors) {
    io::write(mon.unit, "(' IPTRL =',/,(8X,10I6))", io::Ints{keep + kl.iptrl, mon.cut(n)});
    io::write(mon.unit, "(' IPTRU =',/,(8X,10I6))", io::Ints{keep + kl.iptru, mon.cut(n)});
  }
}

void block_list(const Monitor& mon, const char* title, const fint* keep, std::int64_t base, fint nb) {
  std::vector<fint> v(static_cast<std::size_t>(mon.cut(nb)));
  for (std::size_t k = 0; k < v.size(); ++k) v[k] = keep[base + 3 * (std::int64_t(k) + 1) - 1];
  title_and_ints_indented(mon, title, v.data(), static_cast<std::int64_t>(v.size()));
}

void pattern_by_blocks(const Monitor& mon, const char* title, fint m, fint n, const fint* irn,
                       const fint* keep_p) {
  const KeepLayout kl(m, n);
  const Vec1<const fint> keep(keep_p);
  const fint nb = keep(kl.kblock + 3);
  text(mon.unit, title);
  if (!mon.full) text(mon.unit, kShortened);
  text(mon.unit, " Diagonal blocks");
  for_printed_columns(mon, nb, keep, kl, [&](fint jb, fint jfirst, fint jlast) {
    io::write(mon.unit, "(A,I6)", " Block", jb);
    for (fint j = jfirst; j <= jlast; ++j)
      column_indices(mon.unit, j, irn, keep(kl.iptrd + j), keep(kl.iptrd + j + 1));
  });
  if (keep(kl.iptrd + n + 1) < keep(kl.iptro + n + 1)) {
    text(mon.unit, " Off-diagonal entries");
    for_printed_columns(mon, nb, keep, kl, [&](fint, fint jfirst, fint jlast) {
      for (fint j = jfirst; j <= jlast; ++j)
        if (keep(kl.iptro + j) < keep(kl.iptro + j + 1))
          column_indices(mon.unit, j, irn, keep(kl.iptro + j), keep(kl.iptro + j + 1));
    });
  }
}

void values_by_blocks(const Monitor& mon, fint m, fint n, const double* a, const fint* irn, const fint* keep_p) {
  const KeepLayout kl(m, n);
  const Vec1<const fint> keep(keep_p);
  const fint nb = keep(kl.kblock + 3);
  const char* record = "(A,I5,(T13,3(1P,D12.4,I5)))";
  text(mon.unit, " Permuted matrix by blocks");
  if (!mon.full) text(mon.unit, kShortened);
  text(mon.unit, " Diagonal blocks");
  for_printed_columns(mon, nb, keep, kl, [&](fint jb, fint jfirst, fint jlast) {
    io::write(mon.unit, "(A,I6)", " Block", jb);
    for (fint j = jfirst; j <= jlast; ++j)
      column_pairs(mon.unit, record, j, nullptr, a, irn, keep(kl.iptrd + j), keep(kl.iptrd + j + 1));
  });
  if (keep(kl.iptrd + n + 1) < keep(kl.iptro + n + 1)) {
    text(mon.unit, " Off-diagonal entries");
    for_printed_columns(mon, nb, keep, kl, [&](fint, fint jfirst, fint jlast) {
      for (fint j = jfirst; j <= jlast; ++j)
        if (keep(kl.iptro + j) < keep(kl.iptro + j + 1))
          column_pairs(mon.unit, record, j, nullptr, a, irn, keep(kl.iptro + j), keep(kl.iptro + j + 1));
    });
  }
}

void factors_by_blocks(const Monitor& mon, fint m, fint n, const double* a, const fint* irn, const fint* keep_p) {
  const KeepLayout kl(m, n);
  const Vec1<const fint> keep(keep_p);
  const fint nb = keep(kl.kblock + 3);
  const std::int64_t newne = keep(kl.iptro + n + 1) - 1;
  const char* record = "(A,I5,A,(T18,3(1P,D12.4,I5)))";
  text(mon.unit, " Factorized matrix by blocks");
  const fint blocks = mon.full ? nb : std::min<fint>(nb, 10);
  fint jfirst = 1;
  for (fint jb = 1; jb <= blocks; ++jb) {
    const fint nc = keep(kl.nblock + 3 * jb);
    const fint np = keep(kl.mblock + 3 * jb);
    const fint jlast = jfirst + nc - 1;
    if (np >= 0) {
      // The block's factor area: block 1 always starts the factor storage,
      // whose KBLOCK entry holds the block count instead.
      const std::int64_t start = newne + (jb == 1 ? 1 : keep(kl.kblock + 3 * jb));
      const double* fact = a + start - 1;
      const fint* irnf = irn + start - 1;
      auto lptr = [&](fint j) -> std::int64_t { return j < jfirst ? 2 : keep(kl.iptrl + j); };
      auto uptr = [&](fint j) -> std::int64_t { return keep(kl.iptru + j); };
      io::write(mon.unit, "(A,I6)", " Block", jb);
      column_pairs(mon.unit, record, jfirst, " of L", fact, irnf, uptr(jfirst) + 1, lptr(jfirst) + 1);
      if (mon.full) {
        for (fint j = jfirst + 1; j <= jlast; ++j) {
          if (lptr(j - 1) < uptr(j))
            column_pairs(mon.unit, record, j, " of U", fact, irnf, lptr(j - 1) + 1, uptr(j) + 1);
          if (uptr(j) < lptr(j)) column_pairs(mon.unit, record, j, " of L", fact, irnf, uptr(j) + 1, lptr(j) + 1);
        }
      }
      const std::int64_t full_at = lptr(jlast);
      const std::int64_t mf = irnf[1];
      const std::int64_t nf = nc - np;
      text(mon.unit, " Full block");
      text(mon.unit, " Row indices");
      io::write(mon.unit, "(10I6)", io::Ints{irnf + full_at, mon.cut(mf)});
      text(mon.unit, " Column pivoting information");
      io::write(mon.unit, "(10I6)", io::Ints{irnf + full_at + mf, mon.cut(nf)});
      text(mon.unit, " Reals by columns");
      io::write(mon.unit, "(1P,5D12.4)", io::Reals{fact + full_at, mon.cut(mf * nf)});
    }
    jfirst += nc;
  }
}

}  // namespace tbl::ma48
