// ZA38 as a host drives it: the analyse and factorise with lengths at,
// around and below the least accepted (and a retry with the lengths it
// reports), any JOB and orientation, tweaked controls; then refactorisations
// (new values, other entries, grown arrays) and solves with every JOB,
// orientation and refinement count, the stored factors now and then damaged
// between the calls (a word of INDEX, a value, or KEEP(1:5)), which both
// must refuse or survive, never follow out of the arrays.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "multifrontal_lu/za38_internal.hpp"
#include "tests/fuzz/fuzz_input.hpp"

using tbl::fint;
using tbl::fuzz::HostArray;
using tbl::fuzz::Input;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tbl::fuzz::silence_standard_output();
  Input in(data, size);
  const fint n = in.range(-1, 10), ne = in.range(-1, 40);
  const std::int64_t nn = std::max<fint>(n, 0), nne = std::max<fint>(ne, 0);
  const fint job = in.flag() ? 1 : in.range(-1, 3);
  const fint transa = in.flag() ? -1 : 0;
  const std::int64_t mini = nne + 2 * nn + 1 + std::max(nn + 1, 2 * nne), minv = 2 * nne;
  fint lindex = in.flag() ? in.length(mini) : fint(std::min<std::int64_t>(4 * mini + 64, Input::kMaxLength));
  fint lvalue = in.flag() ? in.length(minv) : fint(std::min<std::int64_t>(4 * minv + 64, Input::kMaxLength));
  fint keep[20] = {}, icntl[20];
  double cntl[10];
  ZA38ID(keep, cntl, icntl);
  for (fint& c : icntl) c = in.icontrol(c);
  icntl[0] = in.unit();
  icntl[1] = in.unit();
  icntl[7] = std::min<fint>(icntl[7], 4);  // refinement steps: enough to run
  for (double& c : cntl) c = in.rcontrol(c);
  keep[6] = in.icontrol(keep[6]);
  keep[7] = in.icontrol(keep[7]);
  std::vector<fint> rows(nne), cols(nne);
  std::vector<double> vals(nne);
  for (std::int64_t k = 0; k < nne; ++k) {
    rows[k] = in.index(n);
    cols[k] = in.index(n);
    vals[k] = in.real();
  }
  fint info[40] = {};
  double rinfo[20] = {};
  HostArray<double> value;
  HostArray<fint> index;
  for (int attempt = 0; attempt < 2; ++attempt) {
    value = HostArray<double>(lvalue, 0.0);
    index = HostArray<fint>(lindex, 0);
    for (std::int64_t k = 0; k < nne; ++k) {
      if (k < index.size()) index[k] = rows[k];
      if (nne + k < index.size()) index[nne + k] = cols[k];
      if (k < value.size()) value[k] = vals[k];
    }
    ZA38AD(&n, &ne, &job, &transa, &lvalue, &lindex, value.data(), index.data(), keep, cntl, icntl, info, rinfo);
    // The host grows its arrays to the lengths reported and tries again,
    // once: the lengths passed later must stay those of the arrays.
    if (info[0] >= 0 || !in.flag() || attempt == 1) break;
    lindex = std::min<fint>(std::max(lindex, info[18]), Input::kMaxLength);
    lvalue = std::min<fint>(std::max(lvalue, info[20]), Input::kMaxLength);
  }
  if (n < 1) return 0;

  // Refactorisations and solves, with the stored factors now and then
  // damaged.
  for (int solve = 0; solve < 4 && !in.empty(); ++solve) {
    const std::uint8_t damage = in.byte();
    if (damage >= 184 && damage < 200) {
      // Refactorise: new entries in front of INDEX and VALUE (the same
      // positions or others, as many or not), now and then in arrays the
      // host has grown, keeping their contents.
      const fint ne2 = in.flag() ? ne : in.range(-1, 40);
      if (in.flag()) {
        lindex = fint(std::min<std::int64_t>(std::int64_t(lindex) + in.range(0, 64), Input::kMaxLength));
        lvalue = fint(std::min<std::int64_t>(std::int64_t(lvalue) + in.range(0, 64), Input::kMaxLength));
        index.resize(lindex, 0);
        value.resize(lvalue, 0.0);
      }
      for (std::int64_t k = 0; k < ne2; ++k) {
        const bool same = k < nne && (damage & 1) == 0;
        if (k < index.size()) index[k] = same ? rows[k] : in.index(n);
        if (ne2 + k < index.size()) index[ne2 + k] = same ? cols[k] : in.index(n);
        if (k < value.size()) value[k] = in.real();
      }
      const fint bjob = in.flag() ? job : in.range(-1, 3);
      ZA38BD(&n, &ne2, &bjob, &transa, &lvalue, &lindex, value.data(), index.data(), keep, cntl, icntl, info,
             rinfo);
      continue;
    }
    if (damage >= 224 && index.size() > 0) {
      index[std::int64_t(in.u16()) % index.size()] = in.index(n);
    } else if (damage >= 208 && value.size() > 0) {
      value[std::int64_t(in.u16()) % value.size()] = in.real();
    } else if (damage >= 200) {
      keep[in.range(0, 4)] = in.index(lindex);
    }
    const fint cjob = in.range(0, 3), transc = in.flag() ? -1 : 0;
    icntl[7] = std::min<fint>(in.icontrol(0), 4);
    HostArray<double> b(nn), x(nn), w(icntl[7] > 0 ? 4 * nn : 2 * nn);
    for (std::int64_t i = 0; i < nn; ++i) b[i] = in.real();
    ZA38CD(&n, &cjob, &transc, &lvalue, &lindex, value.data(), index.data(), keep, b.data(), x.data(), w.data(),
           cntl, icntl, info, rinfo);
    // A refined solve (no warning 8) that leaves a solution that is not
    // finite never reports a backward error of 0 (nor NaN).
    const bool refined = info[0] == 0 && icntl[7] > 0 && cjob != 1 && cjob != 2;
    if (refined && !tbl::za38::all_finite(x.data(), nn) && !(rinfo[6] > 0.0 && rinfo[7] > 0.0)) std::abort();
  }
  return 0;
}
