// What VUR_OPTBQA tells its host: every INFO code with the state it leaves,
// the trace file read back line by line against the host's own record of
// the evaluations, the report and progress lines of each print level, and
// problems that follow one another.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bound_opt/dfo_problems.hpp"
#include "bound_opt/optbqa_host.hpp"
#include "support/files.hpp"

namespace {

using tbl::test::dfo_solve;
using tbl::test::DfoProblem;
using tbl::test::DfoResult;
using tbl::test::DfoSettings;
using tbl::test::file_exists;
using tbl::test::read_file;
using V = std::vector<double>;

class OptbqaIo : public tbl::test::ScratchDir {
 protected:
  // Runs the problem with its messages on unit 31, attached to a file of
  // this test; returns the text written there.
  std::string solve_printing(const DfoProblem& p, DfoSettings s, DfoResult& r) {
    const std::string name = path("messages.txt");
    const int32_t unit = 31;
    FFOPEN(name.data(), &unit, name.size());
    s.iout = unit;
    r = dfo_solve(p, s);
    FFCLOSE(&unit);
    return read_file(name);
  }
};

DfoProblem rosenbrock_problem(int n = 2) {
  DfoProblem p{{-1.2, 1.0}, {}, {}, {}, 0, 0, tbl::test::rosenbrock, {}, "rosenbrock"};
  p.x0.resize(n, -1.2);
  p.xl.assign(n, -2.0);
  p.xu.assign(n, 2.0);
  return p;
}

// min x1 + x2 on the unit circle: PEN = 0.1 needs restarts.
DfoProblem circle_problem() {
  return {{0.5, 0.5},
          {-2, -2},
          {2, 2},
          {},
          1,
          0,
          [](const V& x) { return x[0] + x[1]; },
          [](const V& x, double* ceq, double*) { ceq[0] = x[0] * x[0] + x[1] * x[1] - 1.0; },
          "circle"};
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> tokens_of(const std::string& line) {
  std::vector<std::string> t;
  std::istringstream in(line);
  for (std::string s; in >> s;) t.push_back(s);
  return t;
}

double real_of(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

TEST_F(OptbqaIo, TraceFileIsReadBackLineByLine) {
  const DfoProblem p = circle_problem();
  DfoSettings s;
  s.pen = 0.1;
  s.rhoend = 1e-6;
  s.ctol = 1e-4;
  s.itrace = 1;
  s.iprint = 1;
  s.trace = path("run") + "      ";  // a blank-padded buffer
  DfoResult r;
  const std::string printed = solve_printing(p, s, r);
  ASSERT_EQ(r.info, 2);
  ASSERT_GE(r.nrst, 1);
  const std::vector<std::string> lines = lines_of(read_file(path("run.vorex")));
  ASSERT_GT(lines.size(), 7u);

  // Header: six lines of sizes and controls, then the column names.
  EXPECT_EQ(lines[0], "# VUR_OPTBQA trace");
  int n = 0, npt = 0, meq = 0, min = 0;
  ASSERT_EQ(std::sscanf(lines[1].c_str(), "# N = %d NPT = %d MEQ = %d MIN = %d", &n, &npt, &meq, &min), 4);
  EXPECT_EQ(std::vector<int>({n, npt, meq, min}), std::vector<int>({2, 5, 1, 0}));
  EXPECT_EQ(tokens_of(lines[6]),
            std::vector<std::string>({"#", "NFEV", "RUN", "PEN", "F", "CVIOL", "P", "RHO", "X(1)", "X(2)"}));

  // One line per evaluation, the values as the host computed them.
  std::size_t at = 7;
  double pen = s.pen, last_rho = INFINITY;
  int32_t run = 0;
  for (std::size_t k = 0; k < r.evaluations.size(); ++k, ++at) {
    ASSERT_LT(at, lines.size());
    const std::vector<std::string> t = tokens_of(lines[at]);
    ASSERT_EQ(t.size(), 9u) << lines[at];
    const tbl::test::Evaluation& e = r.evaluations[k];
    EXPECT_EQ(std::atoi(t[0].c_str()), int(k + 1));
    const int32_t this_run = std::atoi(t[1].c_str());
    if (this_run != run) {  // a restart: PEN grows, the radius starts again
      EXPECT_EQ(this_run, run + 1);
      run = this_run;
      pen *= s.pengrow;
      EXPECT_EQ(real_of(t[6]), s.rhorst);
      last_rho = INFINITY;
    }
    const double viol = std::fabs(e.ceq[0]);
    EXPECT_EQ(real_of(t[2]), pen);
    EXPECT_EQ(real_of(t[3]), e.f);
    EXPECT_EQ(real_of(t[4]), viol);
    EXPECT_EQ(real_of(t[5]), e.f + pen * (viol * viol));
    const double rho = real_of(t[6]);
    EXPECT_LE(rho, last_rho);
    EXPECT_GE(rho, s.rhoend);
    last_rho = rho;
    EXPECT_EQ(real_of(t[7]), e.x[0]);
    EXPECT_EQ(real_of(t[8]), e.x[1]);
  }
  EXPECT_EQ(run, r.nrst);

  // Then the report, the same as the one printed on the unit.
  std::string report;
  for (; at < lines.size(); ++at) report += lines[at] + "\n";
  EXPECT_EQ(report, printed);
  const std::vector<std::string> rl = lines_of(report);
  ASSERT_EQ(rl.size(), 4u);
  EXPECT_EQ(rl[0], "# VUR_OPTBQA: INFO =   2  converged: RHOEND reached with the constraints satisfied");
  const std::vector<std::string> xl = tokens_of(rl[3]);
  ASSERT_EQ(xl.size(), 5u);
  EXPECT_EQ(real_of(xl[3]), r.xbest[0]);
  EXPECT_EQ(real_of(xl[4]), r.xbest[1]);
}

// Each code with the arguments that cause it.  Codes up to 105 leave
// everything but INFO, NFEV and NRST as they were, evaluate nothing and
// come before the trace file is opened; later ones leave the best point
// found in XBEST and X, and the trace ends with the report printed.
TEST_F(OptbqaIo, EveryInfoCode) {
  struct Case {
    const char* name;
    int32_t info;
    std::function<void(DfoProblem&, DfoSettings&)> change;
  };
  const auto infeasible = [](DfoProblem& p, DfoSettings&) {
    p.meq = 1;
    p.c = [](const V& x, double* ceq, double*) { ceq[0] = x[0] * x[0] + 1.0; };
  };
  const std::string missing = path("no/such/dir/run");
  const Case cases[] = {
      {"N < 1", 100, [](DfoProblem& p, DfoSettings&) { p.x0.clear(); }},
      {"NPT < N+2", 100, [](DfoProblem&, DfoSettings& s) { s.npt = 3; }},
      {"NPT > (N+1)(N+2)/2", 100, [](DfoProblem&, DfoSettings& s) { s.npt = 7; }},
      {"MEQ < 0", 100, [](DfoProblem& p, DfoSettings&) { p.meq = -1; }},
      {"MIN < 0", 100, [](DfoProblem& p, DfoSettings&) { p.min = -1; }},
      {"XL > XU", 101, [](DfoProblem& p, DfoSettings&) { p.xl[1] = 3.0; }},
      {"bounds closer than 2 RHOBEG SCALE", 101,
       [](DfoProblem& p, DfoSettings&) {
         p.scale = {1.0, 4.5};
       }},
      {"NaN bound", 101, [](DfoProblem& p, DfoSettings&) { p.xu[0] = NAN; }},
      {"RHOBEG = 0", 102, [](DfoProblem&, DfoSettings& s) { s.rhobeg = 0.0; }},
      {"RHOEND = 0", 102, [](DfoProblem&, DfoSettings& s) { s.rhoend = 0.0; }},
      {"RHOEND > RHOBEG", 102, [](DfoProblem&, DfoSettings& s) { s.rhoend = 0.6; }},
      {"RHORST < RHOEND", 102, [](DfoProblem&, DfoSettings& s) { s.rhorst = 1e-8; }},
      {"RHORST > RHOBEG", 102, [](DfoProblem&, DfoSettings& s) { s.rhorst = 0.6; }},
      {"SCALE = 0", 103,
       [](DfoProblem& p, DfoSettings&) {
         p.scale = {1.0, 0.0};
       }},
      {"CWT < 0", 103, [](DfoProblem& p, DfoSettings& s) { p.min = 1, s.cwt = {-1.0}; }},
      {"PEN = 0", 103, [](DfoProblem&, DfoSettings& s) { s.pen = 0.0; }},
      {"PENGROW = 1", 103, [](DfoProblem&, DfoSettings& s) { s.pengrow = 1.0; }},
      {"PENMAX < PEN", 103, [](DfoProblem&, DfoSettings& s) { s.penmax = 1.0; }},
      {"MAXRST < 0", 103, [](DfoProblem&, DfoSettings& s) { s.maxrst = -1; }},
      {"CTOL < 0", 103, [](DfoProblem&, DfoSettings& s) { s.ctol = -1.0; }},
      {"IPTYPE = 3", 103, [](DfoProblem&, DfoSettings& s) { s.iptype = 3; }},
      {"MAXFUN = NPT", 103, [](DfoProblem&, DfoSettings& s) { s.maxfun = 5; }},
      {"FTARGET NaN", 103, [](DfoProblem&, DfoSettings& s) { s.ftarget = NAN; }},
      {"LW one short", 104, [](DfoProblem&, DfoSettings& s) { s.lw = tbl::test::dfo_workspace(2, 5) - 1; }},
      {"trace directory missing", 105, [&](DfoProblem&, DfoSettings& s) { s.trace = missing; }},
      {"trace directory missing, start not finite", 105,
       [&](DfoProblem& p, DfoSettings& s) { s.trace = missing, p.x0[0] = NAN; }},
      {"INFO = 1 with no live problem", 100, [](DfoProblem&, DfoSettings& s) { s.info_in = 1; }},
      {"INFO = 7", 100, [](DfoProblem&, DfoSettings& s) { s.info_in = 7; }},
      {"converged", 2, [](DfoProblem&, DfoSettings&) {}},
      {"FTARGET", 3, [](DfoProblem&, DfoSettings& s) { s.ftarget = 1e-3; }},
      {"MAXFUN", 110, [](DfoProblem&, DfoSettings& s) { s.maxfun = 6; }},
      {"infeasible after MAXRST restarts", 111,
       [&](DfoProblem& p, DfoSettings& s) { infeasible(p, s), s.maxrst = 2; }},
      {"infeasible beyond PENMAX", 111,
       [&](DfoProblem& p, DfoSettings& s) { infeasible(p, s), s.penmax = 50.0; }},
      {"IPTYPE 2 ends on a constraint with no restart left", 114,
       [](DfoProblem& p, DfoSettings& s) {
         p.meq = 1, s.iptype = 2, s.maxrst = 0;
         p.c = [](const V& x, double* ceq, double*) { ceq[0] = x[0] - 0.5; };
       }},
      {"model overflows", 112,  // 1 at the start, 1e299 a radius away
       [](DfoProblem& p, DfoSettings&) {
         p.f = [](const V& x) { return x[1] * x[1] + 1e300 * std::max(x[0] + 1.2, 0.0); };
       }},
      {"F not finite at the start", 113,
       [](DfoProblem& p, DfoSettings&) { p.f = [](const V&) { return NAN; }; }},
      {"start not finite", 113, [](DfoProblem& p, DfoSettings&) { p.x0[0] = NAN; }},
      {"F not finite after the start", 115,
       [](DfoProblem& p, DfoSettings&) {
         p.f = [count = std::make_shared<int>(0)](const V& x) {
           return ++*count > 1 ? NAN : tbl::test::rosenbrock(x);
         };
       }},
      {"start beyond 1e100 in the scaled variables", 113,
       [](DfoProblem& p, DfoSettings&) {
         p.xl[0] = -INFINITY, p.xu[0] = INFINITY, p.x0[0] = 2e100;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DfoProblem p = rosenbrock_problem();
    DfoSettings s;
    s.iprint = 1;
    s.itrace = 1;
    s.trace = path("case");
    s.null_when_empty = true;  // the report and the trace read no constraint array that has no entry
    std::remove(path("case.vorex").c_str());
    c.change(p, s);
    DfoResult r;
    const std::string printed = solve_printing(p, s, r);
    EXPECT_EQ(r.info, c.info);
    const std::vector<std::string> report = lines_of(printed);
    ASSERT_FALSE(report.empty());
    const std::string code = std::to_string(c.info);
    EXPECT_EQ(report[0].substr(0, 24), "# VUR_OPTBQA: INFO =" + std::string(4 - code.size(), ' ') + code);
    const bool opened = c.info > 105 || c.info < 100;
    ASSERT_EQ(file_exists(path("case.vorex")), opened);
    if (opened) {
      const std::string trace = read_file(path("case.vorex"));
      ASSERT_GE(trace.size(), printed.size());
      EXPECT_EQ(trace.substr(trace.size() - printed.size()), printed);
    }
    if (c.info >= 100 && c.info <= 105) {
      EXPECT_TRUE(r.evaluations.empty());
      EXPECT_EQ(r.x.size(), p.x0.size());
      for (std::size_t j = 0; j < r.x.size(); ++j) EXPECT_TRUE(r.x[j] == p.x0[j] || std::isnan(p.x0[j]));
      for (double v : r.xbest) EXPECT_TRUE(std::isnan(v));
      if (s.info_in == 0) {
        EXPECT_EQ(r.nfev, 0);
      }
      EXPECT_EQ(report.size(), s.info_in == 0 ? 2u : 1u);  // the detail of the failed check
      continue;
    }
    if (c.info == 113 && !(std::fabs(p.x0[0]) <= 1e100)) {
      EXPECT_TRUE(r.evaluations.empty());
      continue;
    }
    // After evaluations: NFEV counts them, XBEST is the best of them and X
    // holds it, and the report gives the results.
    ASSERT_FALSE(r.evaluations.empty());
    EXPECT_EQ(r.nfev, static_cast<int32_t>(r.evaluations.size()));
    EXPECT_LE(r.nfev, s.maxfun);
    EXPECT_EQ(r.x, r.xbest);
    EXPECT_EQ(report.size(), 4u);
    if (c.info == 111) {
      EXPECT_EQ(r.nrst, s.maxrst == 2 ? 2 : 0);
      continue;
    }
    if (c.info == 114) {  // the constraints met, the point not shown optimal
      EXPECT_LE(r.cviol, s.ctol);
      EXPECT_EQ(r.nrst, 0);
      continue;
    }
    double least = INFINITY;
    for (const auto& e : r.evaluations) least = std::min(least, e.f);
    if (c.info == 113) {
      EXPECT_EQ(r.nfev, 1);
      EXPECT_TRUE(std::isnan(r.fbest));
    } else {
      EXPECT_EQ(r.fbest, least);
    }
    if (c.info == 3) {
      EXPECT_LE(r.fbest, 1e-3);
    } else if (c.info == 110) {
      EXPECT_EQ(r.nfev, 6);
    } else if (c.info == 112) {
      EXPECT_EQ(r.nfev, 5);  // the initial points only
    }
  }
}

// A run at RHOEND tries its last short step; when MAXFUN leaves no room for
// it the run is still converged, while one evaluation fewer is a failure.
// (On this problem the last evaluation of the full run is such a step.)
TEST_F(OptbqaIo, MaxfunSparesOnlyTheLastShortStep) {
  const DfoProblem p = rosenbrock_problem(3);
  DfoSettings s;
  const DfoResult full = dfo_solve(p, s);
  ASSERT_EQ(full.info, 2);
  s.maxfun = full.nfev - 1;
  const DfoResult spared = dfo_solve(p, s);
  EXPECT_EQ(spared.info, 2);
  EXPECT_EQ(spared.nfev, s.maxfun);
  EXPECT_EQ(spared.rho, s.rhoend);
  ASSERT_EQ(spared.evaluations.size(), full.evaluations.size() - 1);
  for (std::size_t k = 0; k < spared.evaluations.size(); ++k)
    ASSERT_EQ(spared.evaluations[k].x, full.evaluations[k].x) << k;
  s.maxfun = full.nfev - 2;
  EXPECT_EQ(dfo_solve(p, s).info, 110);
}

TEST_F(OptbqaIo, PrintLevelsAddRestartAndRadiusLines) {
  for (int32_t level = 0; level <= 3; ++level) {
    SCOPED_TRACE("IPRINT " + std::to_string(level));
    DfoSettings s;
    s.pen = 0.1;
    s.rhoend = 1e-6;
    s.ctol = 1e-4;
    s.iprint = level;
    DfoResult r;
    const std::vector<std::string> lines = lines_of(solve_printing(circle_problem(), s, r));
    ASSERT_EQ(r.info, 2);
    int restarts = 0, radii = 0;
    double rho = INFINITY;
    for (const std::string& line : lines) {
      if (line.rfind("# VUR_OPTBQA: restart", 0) == 0) {
        ++restarts;
        rho = INFINITY;
      }
      if (line.rfind("# VUR_OPTBQA: RHO =", 0) == 0) {
        ++radii;
        const double value = real_of(line.substr(19));
        EXPECT_LT(value, rho);
        rho = value;
      }
    }
    EXPECT_EQ(lines.size(), (level >= 1 ? 4u : 0u) + restarts + radii);
    EXPECT_EQ(restarts, level >= 2 ? r.nrst : 0);
    // Each run brings the radius down to RHOEND in at least two steps.
    EXPECT_GE(radii, level >= 3 ? 2 * (r.nrst + 1) : 0);
    EXPECT_LE(radii, level >= 3 ? 1000 : 0);
    if (level >= 3) {
      EXPECT_EQ(rho, s.rhoend);
    }
  }
}

// One live problem at a time: a problem that ends leaves room for the next,
// a new start abandons a live one, and the trace file of the same name is
// replaced.
TEST_F(OptbqaIo, ProblemsFollowOneAnother) {
  DfoSettings s;
  s.itrace = 1;
  s.trace = path("no/such/dir/first");
  const DfoProblem rosen = rosenbrock_problem();
  EXPECT_EQ(dfo_solve(rosen, s).info, 105);  // the host goes on
  s.trace = path("first");
  const DfoResult a = dfo_solve(rosen, s);
  ASSERT_EQ(a.info, 2);
  const std::string first_trace = read_file(path("first.vorex"));
  EXPECT_NE(first_trace.find("# VUR_OPTBQA: INFO =   2"), std::string::npos);

  // Ended: INFO = 1 continues nothing.
  DfoSettings again = s;
  again.info_in = 1;
  EXPECT_EQ(dfo_solve(rosen, again).info, 100);
  EXPECT_EQ(read_file(path("first.vorex")), first_trace);

  // Abandoned after ten evaluations, then a three-variable problem under
  // the same name: the file holds the new problem only.
  DfoSettings partial = s;
  partial.stop_after = 10;
  EXPECT_EQ(dfo_solve(rosen, partial).info, 1);
  DfoProblem sphere{
      {0.5, 0.5, 0.5},
      {-1, -1, -1},
      {1, 1, 1},
      {},
      0,
      0,
      [](const V& x) { return (x[0] - 0.2) * (x[0] - 0.2) + x[1] * x[1] + (x[2] + 0.3) * (x[2] + 0.3); },
      {},
      "bowl"};
  const DfoResult b = dfo_solve(sphere, s);
  ASSERT_EQ(b.info, 2);
  EXPECT_EQ(b.nfev, static_cast<int32_t>(b.evaluations.size()));
  EXPECT_NEAR(b.xbest[2], -0.3, 1e-6);
  const std::vector<std::string> lines = lines_of(read_file(path("first.vorex")));
  ASSERT_GT(lines.size(), 2u);
  int n = 0;
  ASSERT_EQ(std::sscanf(lines[1].c_str(), "# N = %d", &n), 1);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(lines.size(), 7 + b.evaluations.size() + 4);
}

}  // namespace
