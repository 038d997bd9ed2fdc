// Running the MA57 analyse phase in tests, and reading back its KEEP.
#pragma once

#include <cstdint>
#include <vector>

#include "interface/common.hpp"
#include "sym_ldlt/ma57.hpp"

namespace tbl::test {

struct Analysis {
  int n = 0, ne = 0;
  std::vector<fint> irn, jcn;  // as the call left them
  std::vector<fint> keep, iwork;
  std::vector<fint> icntl = std::vector<fint>(20);
  std::vector<double> cntl = std::vector<double>(5);
  std::vector<fint> info = std::vector<fint>(40);
  std::vector<double> rinfo = std::vector<double>(20);

  // KEEP sections, 1-based within the section.
  ma57::KeepLayout at() const { return ma57::KeepLayout(n, ne); }
  fint pos(int v) const { return keep[v - 1]; }
  fint nsteps() const { return keep[n]; }
  fint nz() const { return keep[n + 1]; }
  fint row_count(int p) const { return keep[at().row_counts() + p - 2]; }
  fint node(int v) const { return keep[at().node_of_var() + v - 2]; }
  fint sons(int nd) const { return keep[at().sons_per_node() + nd - 2]; }
  fint map(int k) const { return keep[at().map() + k - 2]; }
  fint col(int s) const { return keep[at().columns() + s - 2]; }
  std::vector<fint> order() const { return {keep.begin(), keep.begin() + n}; }
};

// Sets up the arrays with the defaults, print level 0 (silent), and the
// minimum LKEEP plus `extra`.
inline Analysis make_analysis(int n, const std::vector<fint>& irn, const std::vector<fint>& jcn,
                              std::int64_t extra = 0) {
  Analysis a;
  a.n = n;
  a.ne = static_cast<int>(irn.size());
  a.irn = irn;
  a.jcn = jcn;
  MA57_DEFAULTS(a.cntl.data(), a.icntl.data());
  a.icntl[4] = 0;
  const std::int64_t lkeep = ma57::min_lkeep(n > 0 ? n : 0, a.ne > 0 ? a.ne : 0) + extra;
  a.keep.assign(static_cast<std::size_t>(lkeep > 0 ? lkeep : 1), 0);
  a.iwork.assign(static_cast<std::size_t>(n > 0 ? 5 * n : 1), 0);
  return a;
}

// Calls MA57AD on the arrays as they stand (LKEEP = keep.size()).
inline void run(Analysis& a) {
  const fint lkeep = static_cast<fint>(a.keep.size());
  MA57AD(&a.n, &a.ne, a.irn.data(), a.jcn.data(), &lkeep, a.keep.data(), a.iwork.data(),
         a.icntl.data(), a.info.data(), a.rinfo.data());
}

}  // namespace tbl::test
