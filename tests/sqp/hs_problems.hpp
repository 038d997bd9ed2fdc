// Classic constrained test problems of the Hock-Schittkowski collection with
// their known optimal values, for the tests, the benchmark and the example
// host.  Each problem is written once as a function of its variables; the
// gradients come from forward-mode differentiation, so no derivative is
// coded by hand.  Bounds are ordinary inequality constraints.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace sqptest {

// A value with its gradient with respect to at most kMaxVars variables.
inline constexpr int kMaxVars = 10;
struct Ad {
  double v = 0.0;
  std::array<double, kMaxVars> d{};
  Ad() = default;
  Ad(double value) : v(value) {}  // constants convert implicitly
};

Ad operator+(const Ad& a, const Ad& b);
Ad operator-(const Ad& a, const Ad& b);
Ad operator*(const Ad& a, const Ad& b);
Ad operator/(const Ad& a, const Ad& b);
Ad operator-(const Ad& a);
Ad sin(const Ad& a);
Ad cos(const Ad& a);
Ad log(const Ad& a);
Ad pow(const Ad& a, int k);

struct Problem {
  std::string name;
  int32_t n = 0, m = 0, meq = 0;
  std::vector<double> x0;
  double fstar = 0.0;
  // F and the constraints (equalities first, then c_i >= 0) at x.
  std::function<void(const Ad* x, Ad& f, Ad* c)> model;
};

// Tests name a problem by its name alone.
inline void PrintTo(const Problem& p, std::ostream* os) { *os << p.name; }

const std::vector<Problem>& hs_problems();
const Problem& hs_problem(const std::string& name);

// F, its gradient G(n), the constraints C(m) and their gradients as the
// columns of CN(lcn, m) at x.
void evaluate(const Problem& p, const double* x, double& f, double* g, double* c, double* cn, int32_t lcn);

// The largest violation of the constraints at x.
double violation(const Problem& p, const double* x);

}  // namespace sqptest
