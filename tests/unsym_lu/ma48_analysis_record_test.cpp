// The analysis keeps every result it gave when these records were taken:
// MA48AD (INFO, RINFO, the documented parts of KEEP, IRN, JCN and A),
// MA50AD on whole matrices (INFO, RINFO, NP and both orders) and the
// maximum transversal (the matching and its size), on every unsymmetric
// matrix of tests/data/matrices and on generated families, under several
// control settings.  Each run is condensed into one line of
// tests/data/ma48_analysis_record.txt; the work that these routines do may
// be reorganised freely, but not one pivot, tie-break, storage count or
// forecast may move.
//
// To take the records afresh (only when a change of results is intended and
// understood), run this program directly with TBL_RECORD_ANALYSIS set to the
// file to write; every case appends its line.
//
// Under the sanitizers only the small cases run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sparse_utils/btf.hpp"
#include "support/mtx.hpp"
#include "unsym_lu/ma48.hpp"
#include "unsym_lu/ma48_families.hpp"
#include "unsym_lu/ma48_support.hpp"
#include "unsym_lu/ma50.hpp"

namespace {

using tbl::fint;
using tbl::test::Coo;
namespace fam = tbl::test::families;

using tbl::test::kSanitized;

// ------------------------------------------------------------ digests

// 64-bit FNV-1a over the values, byte by byte from the least significant,
// so that a digest does not depend on the host's byte order.
class Digest {
 public:
  void add(std::uint64_t v, int bytes) {
    for (int b = 0; b < bytes; ++b) {
      h_ ^= (v >> (8 * b)) & 0xffu;
      h_ *= 0x100000001b3ull;
    }
  }
  void add(fint v) { add(static_cast<std::uint32_t>(v), 4); }
  void add(double v) { add(bits(v), 8); }
  template <class T>
  void add(const T* p, std::int64_t n) {
    add(static_cast<std::uint64_t>(n), 8);
    for (std::int64_t k = 0; k < n; ++k) add(p[k]);
  }
  std::string hex() const { return hex64(h_); }

  static std::uint64_t bits(double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    return u;
  }
  static std::string hex64(std::uint64_t v) {
    char s[17];
    std::snprintf(s, sizeof s, "%016" PRIx64, v);
    return s;
  }

 private:
  std::uint64_t h_ = 0xcbf29ce484222325ull;
};

// ------------------------------------------------------------ records

const std::string& record_path() {
  static const std::string p = tbl::test::data_path("ma48_analysis_record.txt");
  return p;
}

const char* recording() { return std::getenv("TBL_RECORD_ANALYSIS"); }

const std::map<std::string, std::string>& records() {
  static const std::map<std::string, std::string> r = [] {
    std::map<std::string, std::string> m;
    std::ifstream in(record_path());
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      const auto sp = line.find(' ');
      m[line.substr(0, sp)] = line.substr(sp + 1);
    }
    return m;
  }();
  return r;
}

// Appends the line in record mode (one write, so that parallel cases do not
// interleave), else compares it with the recorded one.
void check(const std::string& name, const std::string& result) {
  if (const char* out = recording()) {
    const std::string line = name + " " + result + "\n";
    const int fd = ::open(out, O_WRONLY | O_CREAT | O_APPEND, 0644);
    ASSERT_GE(fd, 0) << out;
    ASSERT_EQ(::write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    ::close(fd);
    return;
  }
  const auto it = records().find(name);
  ASSERT_NE(it, records().end()) << name << " is not recorded in " << record_path();
  EXPECT_EQ(result, it->second) << name;
}

// ------------------------------------------------------------ problems

// What runs on a problem: every MA48AD setting with MA50AD on the whole
// matrix as well, the settings that try the block triangular form, or the
// default controls only (the largest cases).
enum class Runs { kAll, kBtf, kDefault };

struct Problem {
  std::string name;
  std::function<Coo()> make;
  bool small;  // also run under the sanitizers
  Runs runs;
  fint la_factor = 6;  // LA = la_factor * NE for the analyses
  bool heavy = false;  // run only on request (TBL_ANALYSIS_HEAVY set)
};

// Failure messages name the problem rather than dump its bytes.
void PrintTo(const Problem& p, std::ostream* os) { *os << p.name; }

Coo from_file(const std::string& file) { return tbl::test::read_mtx(tbl::test::matrix_path(file)); }

std::vector<Problem> problems() {
  std::vector<Problem> p;
  auto add = [&](const std::string& name, std::function<Coo()> make, bool small, Runs runs, fint la_factor = 6,
                 bool heavy = false) {
    p.push_back({name, std::move(make), small, runs, la_factor, heavy});
  };
  // Every unsymmetric matrix of the collection, square and rectangular.
  for (const char* f : {"b1_ss", "west0067", "bfwa62", "fs_183_1", "impcol_a", "west0479", "mbeacxc", "west0497",
                        "olm500", "bp_1200", "gre_1107", "rajat19", "nnc1374", "adder_dcop_05", "watt_2", "lp_afiro",
                        "lp_share1b", "lp_e226"})
    add(f, [f] { return from_file(std::string(f) + ".mtx"); }, true, Runs::kAll);
  for (const char* f : {"cryg2500", "add32", "bayer03", "Pd", "cont050_A", "Franz6_id1959_aug"})
    add(f, [f] { return from_file(std::string(f) + ".mtx"); }, false, Runs::kAll);
  add("bayer10", [] { return from_file("bayer10.mtx"); }, false, Runs::kDefault);
  add("dw4096", [] { return from_file("dw4096.mtx"); }, false, Runs::kDefault, 12);
  // In this storage the pivot choice of cage10 runs short after a good part
  // of its work (-3); the whole analysis takes tens of seconds and is kept
  // for runs on request, with the largest members of the families.
  add("cage10", [] { return from_file("cage10.mtx"); }, false, Runs::kDefault);
  add("cage10_whole", [] { return from_file("cage10.mtx"); }, false, Runs::kDefault, 80, true);
  add("convdiff2d_300", [] { return fam::convection_diffusion(300, 2); }, false, Runs::kDefault, 12, true);
  add("convdiff3d_30", [] { return fam::convection_diffusion(30, 3); }, false, Runs::kDefault, 40, true);
  add("shuffled_grid_300", [] { return fam::shuffled_grid(300, 13, true); }, false, Runs::kDefault, 12, true);
  add("circuit_200000", [] { return fam::circuit(200000, 25); }, false, Runs::kDefault, 6, true);
  add("circuit_shuffled_200000", [] { return fam::circuit(200000, 26, 4, 0.7, true); }, false, Runs::kDefault, 6,
      true);
  // Generated families, a small member of each for the sanitizers.
  add("convdiff2d_20", [] { return fam::convection_diffusion(20, 2); }, true, Runs::kAll);
  add("convdiff2d_50", [] { return fam::convection_diffusion(50, 2); }, false, Runs::kAll);
  add("convdiff3d_7", [] { return fam::convection_diffusion(7, 3); }, true, Runs::kAll);
  add("convdiff3d_14", [] { return fam::convection_diffusion(14, 3); }, false, Runs::kAll);
  add("shuffled_grid_30", [] { return fam::shuffled_grid(30, 11); }, true, Runs::kAll);
  add("shuffled_grid_100", [] { return fam::shuffled_grid(100, 12, true); }, false, Runs::kDefault);
  add("circuit_1500", [] { return fam::circuit(1500, 21); }, true, Runs::kAll);
  add("circuit_shuffled_1500", [] { return fam::circuit(1500, 22, 4, 0.9, true); }, true, Runs::kAll);
  add("circuit_20000", [] { return fam::circuit(20000, 23); }, false, Runs::kBtf);
  add("circuit_shuffled_20000", [] { return fam::circuit(20000, 24, 4, 0.7, true); }, false, Runs::kBtf);
  return p;
}

// ------------------------------------------------------------ MA48AD

struct Setting {
  const char* name;
  fint job;
  std::function<void(double* cntl, fint* icntl)> controls;
};

const std::vector<Setting>& settings() {
  static const std::vector<Setting> s = {
      {"default", 1, [](double*, fint*) {}},
      {"full_search", 1,
       [](double* c, fint* i) {
         i[3] = 0;
         c[1] = 0.5;
       }},
      {"first_column", 1,
       [](double* c, fint* i) {
         i[3] = -1;
         c[3] = 1e-3;
       }},
      {"diagonal", 3, [](double*, fint*) {}},
      {"drop_merge_flags", 1,
       [](double* c, fint* i) {
         c[0] = 0.25;
         c[2] = 1e-3;
         i[5] = 6;
         i[7] = 1;
       }},
      {"given_order", 2, [](double*, fint*) {}},
  };
  return s;
}

struct Analysis {
  fint m, n, ne, la;
  std::vector<double> a;
  std::vector<fint> irn, jcn, keep, iw;
  double cntl[5];
  fint icntl[9], info[12];
  double rinfo[1];
};

Analysis run_ma48(const Coo& c, const Setting& s, fint la) {
  Analysis r;
  r.m = c.nrows;
  r.n = c.ncols;
  r.ne = c.nnz();
  r.la = la;
  MA48ID(r.cntl, r.icntl);
  r.icntl[0] = r.icntl[1] = 0;
  s.controls(r.cntl, r.icntl);
  r.a.assign(la, 0.0);
  r.irn.assign(la, 0);
  r.jcn.assign(la, 0);
  std::copy(c.val.begin(), c.val.end(), r.a.begin());
  std::copy(c.row.begin(), c.row.end(), r.irn.begin());
  std::copy(c.col.begin(), c.col.end(), r.jcn.begin());
  r.keep.assign(static_cast<std::size_t>(r.m) + 9 * static_cast<std::size_t>(r.n) + 2, -1);
  r.iw.assign(6 * static_cast<std::size_t>(r.m) + 3 * static_cast<std::size_t>(r.n), 0);
  if (s.job == 2) {
    // Rows in reverse, columns in a seeded random order.
    for (fint i = 1; i <= r.m; ++i) r.keep[i - 1] = r.m + 1 - i;
    std::vector<fint> q(r.n);
    for (fint j = 1; j <= r.n; ++j) q[j - 1] = j;
    fam::Rng rng(5);
    rng.shuffle(q);
    std::copy(q.begin(), q.end(), r.keep.begin() + r.m);
  }
  if (r.icntl[7] != 0)
    for (fint j = 1; j <= r.n; ++j) r.iw[j - 1] = j % 5 == 0 ? 0 : 1;
  MA48AD(&r.m, &r.n, &r.ne, &s.job, &r.la, r.a.data(), r.irn.data(), r.jcn.data(), r.keep.data(), r.cntl, r.icntl,
         r.iw.data(), r.info, r.rinfo);
  return r;
}

// INFO and RINFO in the open, then a digest of what KEEP documents and one
// of IRN, JCN and A(1:NE).
std::string summary(const Analysis& r) {
  std::ostringstream out;
  for (fint v : r.info) out << v << ' ';
  out << Digest::hex64(Digest::bits(r.rinfo[0]));
  const fint st = r.info[0];
  if (st >= 0 || st == -3) {
    const tbl::ma48::KeepLayout kl(r.m, r.n);
    const fint* k = r.keep.data();
    const fint nb = k[kl.kblock + 3 - 1];
    Digest d;
    d.add(k, std::int64_t(r.m) + r.n);
    // IPTRD, IPTRO and the block triplets.
    d.add(k + kl.iptrd, kl.kblock + 3 * std::int64_t(nb) - kl.iptrd);
    if (r.icntl[7] != 0) d.add(k + kl.kblock + 3 * std::int64_t(nb), nb);
    // The storage needs of the blocks given to MA50AD.
    fint handled = 0;
    for (fint b = 1; b <= nb; ++b) handled += k[kl.mblock + 3 * b - 1] >= 0 ? 1 : 0;
    d.add(k + kl.iptrl, handled);
    d.add(k + kl.iptru, handled);
    out << ' ' << d.hex();
  } else {
    out << " -";
  }
  Digest d;
  d.add(r.irn.data(), r.ne);
  d.add(r.jcn.data(), r.ne);
  d.add(r.a.data(), r.ne);
  out << ' ' << d.hex();
  return out.str();
}

void check_ma48(const std::string& name, const Coo& c, Runs runs, fint la_factor) {
  const fint ne = c.nnz();
  const fint roomy = std::max<fint>(2 * ne, la_factor * ne);
  for (const Setting& s : settings()) {
    const bool is_default = std::string(s.name) == "default";
    if (runs == Runs::kDefault && !is_default) continue;
    if (runs == Runs::kBtf && s.job != 1) continue;
    SCOPED_TRACE(s.name);
    const Analysis r = run_ma48(c, s, roomy);
    check("ma48/" + name + "/" + s.name, summary(r));
    if (!is_default) continue;
    // The same analysis in three quarters of the storage it reached, so
    // that the column and row files are compressed.
    if (r.info[0] >= 0) {
      const fint tight = std::max<fint>(2 * ne, fint(std::int64_t(r.info[2]) * 3 / 4));
      check("ma48/" + name + "/tight", summary(run_ma48(c, s, tight)));
    }
    // A structurally singular matrix, analysed as one block.
    if (r.info[0] == -4) {
      const Setting one{"one_block", 1, [](double*, fint* i) { i[6] = 0; }};
      check("ma48/" + name + "/one_block", summary(run_ma48(c, one, roomy)));
    }
  }
}

// ------------------------------------------------------------ MA50AD

// The whole matrix by columns, duplicates summed at their first place.
struct Columns {
  fint m, n, ne;
  std::vector<fint> start, row;
  std::vector<double> val;
};

Columns by_columns(const Coo& c) {
  Columns a{c.nrows, c.ncols, 0, {}, {}, {}};
  std::vector<std::vector<std::size_t>> col(c.ncols);
  for (std::size_t k = 0; k < c.row.size(); ++k) col[c.col[k] - 1].push_back(k);
  std::vector<fint> at(c.nrows + 1, -1);
  for (fint j = 0; j < a.n; ++j) {
    a.start.push_back(fint(a.row.size()) + 1);
    for (std::size_t k : col[j]) {
      const fint i = c.row[k];
      if (at[i] >= a.start.back() - 1) {
        a.val[at[i]] += c.val[k];
        continue;
      }
      at[i] = fint(a.row.size());
      a.row.push_back(i);
      a.val.push_back(c.val[k]);
    }
  }
  a.ne = fint(a.row.size());
  return a;
}

std::string run_ma50(const Columns& c, fint la, const std::function<void(double*, fint*)>& controls) {
  const fint m = c.m, n = c.n;
  double cntl[4];
  fint icntl[7];
  MA50_DEFAULTS(cntl, icntl);
  icntl[0] = icntl[1] = icntl[2] = 0;
  controls(cntl, icntl);
  std::vector<double> a(la, 0.0);
  std::vector<fint> irn(la, 0), jcn(la, 0), iq(c.start), ip(m, 0);
  std::copy(c.val.begin(), c.val.end(), a.begin());
  std::copy(c.row.begin(), c.row.end(), irn.begin());
  std::vector<fint> rw(5 * std::size_t(m)), cw(4 * std::size_t(n));
  fint info[7], np = 0;
  double rinfo[1];
  MA50AD(&m, &n, &c.ne, &la, a.data(), irn.data(), jcn.data(), iq.data(), cntl, icntl, ip.data(), &np, rw.data(),
         rw.data() + m, rw.data() + 2 * m, rw.data() + 3 * m, rw.data() + 4 * m, cw.data(), cw.data() + n,
         cw.data() + 2 * n, cw.data() + 3 * n, info, rinfo);
  std::ostringstream out;
  for (fint v : info) out << v << ' ';
  out << np << ' ' << Digest::hex64(Digest::bits(rinfo[0]));
  Digest d;
  if (info[0] >= 0) {
    d.add(ip.data(), m);
    d.add(iq.data(), n);
  }
  out << ' ' << d.hex();
  return out.str();
}

// Settings that MA48AD never passes on to a whole matrix: trailing columns
// under the full search, and the limited search in a short storage.
void check_ma50(const std::string& name, const Coo& c) {
  const Columns a = by_columns(c);
  const fint trail = std::max<fint>(1, a.n / 10);
  check("ma50/" + name + "/full_trailing", run_ma50(a, 8 * a.ne, [trail](double*, fint* i) {
          i[3] = 0;
          i[5] = trail;
        }));
  check("ma50/" + name + "/short_storage", run_ma50(a, 2 * a.ne, [](double* cn, fint*) { cn[0] = 0.8; }));
}

// ------------------------------------------------------------ transversal

// Lists as MA48AD builds them (each column of the matrix from its last
// entry to its first, without repeats) and, as a second tie order, the rows
// in the order of the entries.
std::string run_transversal(fint n, const std::vector<std::vector<fint>>& lists) {
  std::vector<fint> icn, ip, len;
  for (const auto& l : lists) {
    ip.push_back(fint(icn.size()) + 1);
    len.push_back(fint(l.size()));
    icn.insert(icn.end(), l.begin(), l.end());
  }
  icn.push_back(0);
  const fint licn = fint(icn.size());
  std::vector<fint> iperm(n), pr(n), arp(n), cv(n), out(n);
  fint numnz = -1;
  BTF_TRANSVERSAL_KERNEL(&n, icn.data(), &licn, ip.data(), len.data(), iperm.data(), &numnz, pr.data(), arp.data(),
                         cv.data(), out.data());
  Digest d;
  d.add(iperm.data(), n);
  return std::to_string(numnz) + " " + d.hex();
}

void check_transversal(const std::string& name, const Coo& c) {
  const fint n = std::max(c.nrows, c.ncols);
  std::vector<std::vector<fint>> cols(n), rows(n);
  std::vector<fint> mark(n + 1, 0);
  for (std::size_t k = c.row.size(); k-- > 0;) cols[c.col[k] - 1].push_back(c.row[k]);
  for (fint j = 0; j < n; ++j) {
    auto& l = cols[j];
    std::vector<fint> kept;
    for (fint i : l)
      if (mark[i] != j + 1) {
        mark[i] = j + 1;
        kept.push_back(i);
      }
    l = kept;
  }
  for (std::size_t k = 0; k < c.row.size(); ++k) rows[c.row[k] - 1].push_back(c.col[k]);
  check("btf/" + name + "/columns", run_transversal(n, cols));
  check("btf/" + name + "/rows", run_transversal(n, rows));
}

// ------------------------------------------------------------ cases

class AnalysisRecord : public ::testing::TestWithParam<Problem> {};

TEST_P(AnalysisRecord, SameResultsAsRecorded) {
  const Problem& p = GetParam();
  if (kSanitized && !p.small) {
    GTEST_SKIP() << "large case, not run under the sanitizers";
  }
  if (p.heavy && std::getenv("TBL_ANALYSIS_HEAVY") == nullptr) {
    GTEST_SKIP() << "heavy case, run only with TBL_ANALYSIS_HEAVY set";
  }
  if (!recording()) {
    ASSERT_FALSE(records().empty()) << "no records in " << record_path();
  }
  const Coo c = p.make();
  check_transversal(p.name, c);
  check_ma48(p.name, c, p.runs, p.la_factor);
  if (p.runs == Runs::kAll) check_ma50(p.name, c);
}

INSTANTIATE_TEST_SUITE_P(All, AnalysisRecord, ::testing::ValuesIn(problems()),
                         [](const ::testing::TestParamInfo<Problem>& i) { return i.param.name; });

}  // namespace
