// The factor entries MA48 keeps, counted the same way by every benchmark
// that compares a solver with it: the entries of the permuted matrix plus
// those of the factors of the blocks that went through the kernel (L, U
// and the full part).
#pragma once

#include <cstdint>
#include <vector>

#include "unsym_lu/ma48.hpp"

namespace bench {

inline double ma48_factor_entries(tbl::fint m, tbl::fint n, const std::vector<tbl::fint>& keep,
                                  const std::vector<tbl::fint>& irn) {
  const tbl::ma48::KeepLayout kl(m, n);
  auto K = [&](std::int64_t i) { return keep[static_cast<std::size_t>(i - 1)]; };
  const tbl::fint blocks = keep[static_cast<std::size_t>(m) + 5 * static_cast<std::size_t>(n) + 4];
  const std::int64_t newne = K(kl.iptro + n + 1) - 1;
  double total = static_cast<double>(newne);
  tbl::fint jfirst = 1;
  for (tbl::fint b = 1; b <= blocks; ++b) {
    const tbl::fint nc = K(kl.nblock + 3 * b), np = K(kl.mblock + 3 * b);
    if (np >= 0) {
      const std::int64_t start = newne + (b == 1 ? 1 : K(kl.kblock + 3 * b));
      const std::int64_t mf = irn[static_cast<std::size_t>(start)];  // second integer of the block's area
      total += static_cast<double>(K(kl.iptrl + jfirst + nc - 1) - 2) + static_cast<double>(mf) * (nc - np);
    }
    jfirst += nc;
  }
  return total;
}

// MA48's integer and real workspace for an M by N matrix, sized as its
// analysis and factorisation need them.
inline void ma48_workspace(tbl::fint m, tbl::fint n, std::vector<tbl::fint>& keep, std::vector<tbl::fint>& iw,
                           std::vector<tbl::fint>& iwb, std::vector<double>& w) {
  keep.assign(static_cast<std::size_t>(m) + 9 * static_cast<std::size_t>(n) + 2, 0);
  iw.assign(6 * static_cast<std::size_t>(m) + 3 * static_cast<std::size_t>(n), 0);
  iwb.assign(2 * static_cast<std::size_t>(m) + 2 * static_cast<std::size_t>(n), 0);
  w.assign(static_cast<std::size_t>(m), 0.0);
}

}  // namespace bench
