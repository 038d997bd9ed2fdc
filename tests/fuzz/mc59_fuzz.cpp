// MC59AD with every input form and symmetry code, lengths around their
// minima and, when checking, indices out of range, duplicates and column
// starts out of order.  Without checks the data are what the caller must
// guarantee: indices in range, no duplicates, non-decreasing starts.
#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

#include "TesselBasicLib.h"
#include "tests/fuzz/fuzz_input.hpp"

using tbl::fuzz::HostArray;
using tbl::fuzz::Input;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tbl::fuzz::silence_standard_output();
  Input in(data, size);
  int32_t icntl[6];
  icntl[0] = in.range(0, 3) == 0 ? 1 : 0;
  icntl[1] = in.range(-1, 3);
  icntl[2] = in.flag() ? 0 : 1;
  icntl[3] = in.unit();
  icntl[4] = in.unit();
  icntl[5] = in.range(-3, 3);
  const bool check = icntl[0] == 0;
  const int32_t nc = in.range(-1, 16);
  const int32_t nr = in.flag() ? nc : in.range(-1, 16);
  const int32_t ne = in.range(-1, 48);
  const int64_t maxrc = std::max(nr, nc);
  const bool columns = icntl[1] == 2;
  const int32_t ljcn = in.length(columns ? 1 : ne);
  const int32_t la = in.length(icntl[2] == 0 ? ne : 1);
  const int32_t lip = in.length(icntl[1] == 1 ? maxrc + 1 : int64_t(nc) + 1);
  const int32_t liw = in.length(maxrc + 1);
  HostArray<int32_t> irn(ne, 0), jcn(ljcn, 0), ip(lip, 0), iw(liw);
  HostArray<double> a(la, 0.0);
  for (int64_t k = 0; k < a.size(); ++k) a[k] = in.real();
  if (check) {
    for (int64_t k = 0; k < irn.size(); ++k) irn[k] = in.index(nr);
    if (!columns)
      for (int64_t k = 0; k < jcn.size(); ++k) jcn[k] = in.index(nc);
    // Column starts: mostly a split of 1..NE+1, sometimes anything.
    if (columns && nc >= 1 && ip.size() >= nc + 1) {
      ip[0] = 1;
      for (int32_t j = 1; j < nc; ++j) ip[j] = std::min<int32_t>(ip[j - 1] + in.range(0, 4), ne + 1);
      ip[nc] = ne + 1;
      if (in.byte() >= 224) ip[in.range(0, nc)] = in.index(ne + 1);
    }
  } else if (nr >= 1 && nc >= 1 && ne >= 1) {
    // Distinct in-range entries (in the lower triangle when symmetric, as
    // the column form then requires), as many as fit.
    std::set<std::pair<int32_t, int32_t>> used;
    std::vector<std::pair<int32_t, int32_t>> entries;
    for (int32_t k = 0; k < ne && !in.empty(); ++k) {
      int32_t i = in.range(1, nr), j = in.range(1, nc);
      if (icntl[5] != 0 && i < j) std::swap(i, j);
      if (used.insert({i, j}).second) entries.push_back({i, j});
    }
    for (int32_t i = 1; int32_t(entries.size()) < ne && i <= nr; ++i)
      for (int32_t j = 1; int32_t(entries.size()) < ne && j <= nc; ++j)
        if ((icntl[5] == 0 || i >= j) && used.insert({i, j}).second) entries.push_back({i, j});
    if (int32_t(entries.size()) < ne) return 0;  // no valid matrix has that many entries
    if (columns) {
      std::sort(entries.begin(), entries.end(),
                [](const auto& x, const auto& y) { return x.second < y.second; });
      if (ip.size() >= nc + 1) {
        int32_t k = 0;
        for (int32_t j = 1; j <= nc; ++j) {
          ip[j - 1] = k + 1;
          while (k < ne && entries[k].second == j) ++k;
        }
        ip[nc] = ne + 1;
      }
    }
    for (int32_t k = 0; k < ne; ++k) {
      irn[k] = entries[k].first;
      if (!columns && k < jcn.size()) jcn[k] = entries[k].second;
    }
  }
  int32_t info[10] = {};
  MC59AD(icntl, &nc, &nr, &ne, irn.data(), &ljcn, jcn.data(), &la, a.data(), &lip, ip.data(), &liw, iw.data(),
         info);
  return 0;
}
