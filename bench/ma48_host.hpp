// MA48 driven as a host drives it, through its four entry points given as
// function pointers: the static core's (ma48_bench), or those of a build
// of the shared library opened by path, so that builds of different
// commits run side by side in one process (ma48_solve_libs_bench,
// ma48_refusals_vs).
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ma48_counts.hpp"
#include "support/mtx.hpp"

namespace bench {

using fint = std::int32_t;

extern "C" {
using Ma48id = void(double*, fint*);
using Ma48ad = void(const fint*, const fint*, const fint*, const fint*, const fint*, double*, fint*, fint*, fint*,
                    const double*, const fint*, fint*, fint*, double*);
using Ma48bd = void(const fint*, const fint*, const fint*, const fint*, const fint*, double*, fint*, const fint*,
                    fint*, const double*, const fint*, double*, fint*, fint*, double*);
using Ma48cd = void(const fint*, const fint*, const fint*, const fint*, const fint*, const double*, const fint*,
                    const fint*, const double*, const fint*, double*, double*, double*, double*, fint*, fint*);
}

struct Ma48Entries {
  Ma48id* id;
  Ma48ad* ad;
  Ma48bd* bd;
  Ma48cd* cd;
};

// The VIZ_MA48 entry points of the shared library at PATH, opened with
// RTLD_LOCAL: each build keeps its own symbols and static storage.
inline Ma48Entries ma48_library(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
  auto find = [&](const char* name) {
    void* f = dlsym(handle, name);
    if (f == nullptr) throw std::runtime_error(path + " has no " + name);
    return f;
  };
  return {reinterpret_cast<Ma48id*>(find("VIZ_MA48ID")), reinterpret_cast<Ma48ad*>(find("VIZ_MA48AD")),
          reinterpret_cast<Ma48bd*>(find("VIZ_MA48BD")), reinterpret_cast<Ma48cd*>(find("VIZ_MA48CD"))};
}

// One matrix with MA48's arrays, analysed and factorised (JOB 1) at
// construction, with a length LA that suffices for both phases.
struct Ma48Problem {
  Ma48Entries e;
  fint m, n, ne, la;
  tbl::test::Coo coo;
  std::vector<double> a, w;
  std::vector<fint> irn, jcn, keep, iw, iwb;
  double cntl[5], rinfo[1];
  fint icntl[9], info[12];

  Ma48Problem(Ma48Entries entries, tbl::test::Coo c) : e(entries), coo(std::move(c)) {
    if (coo.symmetric) coo = tbl::test::expand_symmetric(coo);
    m = coo.nrows;
    n = coo.ncols;
    ne = coo.nnz();
    e.id(cntl, icntl);
    icntl[2] = 0;  // the retries below are expected failures
    ma48_workspace(m, n, keep, iw, iwb, w);
    la = 3 * ne;
    // A failed analysis reports only the extent it reached, so grow by
    // half at least.
    for (int tries = 0; tries < 20; ++tries) {
      a.assign(la, 0.0);
      irn.assign(la, 0);
      jcn.assign(la, 0);
      if (analyse() == -3) {
        la = std::max(info[2], la + la / 2);
        continue;
      }
      if (info[0] < 0) throw std::runtime_error("analyse failed");
      if (info[3] > la) {
        la = info[3];
        continue;
      }
      if (factorise(1) == -3) {
        la = std::max(la + la / 2, info[3]);
        continue;
      }
      if (info[0] < 0) throw std::runtime_error("factorise failed");
      return;
    }
    throw std::runtime_error("no storage length found");
  }

  // Each phase returns INFO(1); the values come from COO every time.
  fint analyse() {
    std::copy(coo.row.begin(), coo.row.end(), irn.begin());
    std::copy(coo.col.begin(), coo.col.end(), jcn.begin());
    std::copy(coo.val.begin(), coo.val.end(), a.begin());
    const fint job = 1;
    e.ad(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, iw.data(), info, rinfo);
    return info[0];
  }
  fint factorise(fint job) {
    std::copy(coo.val.begin(), coo.val.end(), a.begin());
    e.bd(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, w.data(), iwb.data(),
         info, rinfo);
    return info[0];
  }

  fint blocks() const { return keep[std::size_t(m) + 5 * std::size_t(n) + 4]; }
  double factor_entries() const { return ma48_factor_entries(m, n, keep, irn); }
};

}  // namespace bench
