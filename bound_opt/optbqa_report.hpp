// The texts of the optimiser: the trace file (header, one line per
// evaluation) and the report that ends both the trace and the printed
// output, with the progress lines of the higher print levels.  Every line
// that is not an evaluation starts with '#', so that a program reading the
// trace back can skip them all at once.
#pragma once

#include <cstdint>
#include <string_view>

#include "interface/common.hpp"

namespace tbl::optbqa {

struct Controls {
  fint n = 0, npt = 0, meq = 0, min = 0, maxfun = 0, maxrst = 0, iptype = 0;
  double rhobeg = 0, rhoend = 0, rhorst = 0, pen = 0, pengrow = 0, penmax = 0, ctol = 0, ftarget = 0;
};

// What a failed entry check points at: the argument, and for an array the
// first entry at fault.
struct Fault {
  const char* argument = nullptr;
  std::int64_t index = 0;           // 0 for a scalar argument
  std::int64_t have = 0, need = 0;  // LW and its least value
  std::string_view file;            // the trace file that could not be opened
};

struct Summary {
  fint info = 0;
  bool evaluated = false;   // the results below are meaningful
  bool call_order = false;  // INFO did not start or continue a problem
  fint n = 0, nfev = 0, nrst = 0;
  double rho = 0, pen = 0, fbest = 0, cviol = 0, pbest = 0;
  const double* xbest = nullptr;
  Fault fault;
};

void write_trace_header(fint unit, const Controls& c);
void write_trace_line(fint unit, fint nfev, fint run, double pen, double f, double viol, double p, double rho,
                      const double* x, fint n);
void write_report(fint unit, const Summary& s);
void write_restart_line(fint unit, fint nrst, double pen, double cviol, fint nfev);
void write_radius_line(fint unit, double rho, fint nfev, double pbest, double cviol);

}  // namespace tbl::optbqa
