#include "tests/sqp/hs_problems.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace sqptest {

Ad operator+(const Ad& a, const Ad& b) {
  Ad r(a.v + b.v);
  for (int i = 0; i < kMaxVars; ++i) r.d[i] = a.d[i] + b.d[i];
  return r;
}
Ad operator-(const Ad& a, const Ad& b) {
  Ad r(a.v - b.v);
  for (int i = 0; i < kMaxVars; ++i) r.d[i] = a.d[i] - b.d[i];
  return r;
}
Ad operator*(const Ad& a, const Ad& b) {
  Ad r(a.v * b.v);
  for (int i = 0; i < kMaxVars; ++i) r.d[i] = a.d[i] * b.v + a.v * b.d[i];
  return r;
}
Ad operator/(const Ad& a, const Ad& b) {
  Ad r(a.v / b.v);
  for (int i = 0; i < kMaxVars; ++i) r.d[i] = (a.d[i] - r.v * b.d[i]) / b.v;
  return r;
}
Ad operator-(const Ad& a) { return Ad(0.0) - a; }
namespace {
Ad chain(const Ad& a, double value, double slope) {
  Ad r(value);
  for (int i = 0; i < kMaxVars; ++i) r.d[i] = slope * a.d[i];
  return r;
}
}  // namespace
Ad sin(const Ad& a) { return chain(a, std::sin(a.v), std::cos(a.v)); }
Ad cos(const Ad& a) { return chain(a, std::cos(a.v), -std::sin(a.v)); }
Ad log(const Ad& a) { return chain(a, std::log(a.v), 1.0 / a.v); }
Ad pow(const Ad& a, int k) {
  Ad r(1.0);
  for (int i = 0; i < k; ++i) r = r * a;
  return r;
}

namespace {

const double kPi = std::acos(-1.0);
const double kSqrt2 = std::sqrt(2.0);

Ad sq(const Ad& a) { return a * a; }

std::vector<Problem> build() {
  std::vector<Problem> ps;
  auto add = [&](const char* name, int n, int m, int meq, std::vector<double> x0, double fstar,
                 std::function<void(const Ad*, Ad&, Ad*)> model) {
    ps.push_back({name, n, m, meq, std::move(x0), fstar, std::move(model)});
  };
  add("HS1", 2, 1, 0, {-2, 1}, 0.0, [](const Ad* x, Ad& f, Ad* c) {
    f = 100.0 * sq(x[1] - sq(x[0])) + sq(1.0 - x[0]);
    c[0] = x[1] + 1.5;
  });
  add("HS6", 2, 1, 1, {-1.2, 1}, 0.0, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(1.0 - x[0]);
    c[0] = 10.0 * (x[1] - sq(x[0]));
  });
  add("HS7", 2, 1, 1, {2, 2}, -std::sqrt(3.0), [](const Ad* x, Ad& f, Ad* c) {
    f = log(1.0 + sq(x[0])) - x[1];
    c[0] = sq(1.0 + sq(x[0])) + sq(x[1]) - 4.0;
  });
  add("HS8", 2, 2, 2, {2, 1}, -1.0, [](const Ad* x, Ad& f, Ad* c) {
    f = Ad(-1.0);
    c[0] = sq(x[0]) + sq(x[1]) - 25.0;
    c[1] = x[0] * x[1] - 9.0;
  });
  add("HS9", 2, 1, 1, {0, 0}, -0.5, [](const Ad* x, Ad& f, Ad* c) {
    f = sin(kPi * x[0] / 12.0) * cos(kPi * x[1] / 16.0);
    c[0] = 4.0 * x[0] - 3.0 * x[1];
  });
  add("HS10", 2, 1, 0, {-10, 10}, -1.0, [](const Ad* x, Ad& f, Ad* c) {
    f = x[0] - x[1];
    c[0] = -3.0 * sq(x[0]) + 2.0 * x[0] * x[1] - sq(x[1]) + 1.0;
  });
  add("HS11", 2, 1, 0, {4.9, 0.1}, -8.498464223, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0] - 5.0) + sq(x[1]) - 25.0;
    c[0] = -sq(x[0]) + x[1];
  });
  add("HS12", 2, 1, 0, {0, 0}, -30.0, [](const Ad* x, Ad& f, Ad* c) {
    f = 0.5 * sq(x[0]) + sq(x[1]) - x[0] * x[1] - 7.0 * x[0] - 7.0 * x[1];
    c[0] = 25.0 - 4.0 * sq(x[0]) - sq(x[1]);
  });
  add("HS14", 2, 2, 1, {2, 2}, 9.0 - 2.875 * std::sqrt(7.0), [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0] - 2.0) + sq(x[1] - 1.0);
    c[0] = x[0] - 2.0 * x[1] + 1.0;
    c[1] = -sq(x[0]) / 4.0 - sq(x[1]) + 1.0;
  });
  add("HS15", 2, 3, 0, {-2, 1}, 306.5, [](const Ad* x, Ad& f, Ad* c) {
    f = 100.0 * sq(x[1] - sq(x[0])) + sq(1.0 - x[0]);
    c[0] = x[0] * x[1] - 1.0;
    c[1] = x[0] + sq(x[1]);
    c[2] = 0.5 - x[0];
  });
  add("HS18", 2, 6, 0, {2, 2}, 5.0, [](const Ad* x, Ad& f, Ad* c) {
    f = 0.01 * sq(x[0]) + sq(x[1]);
    c[0] = x[0] * x[1] - 25.0;
    c[1] = sq(x[0]) + sq(x[1]) - 25.0;
    c[2] = x[0] - 2.0;
    c[3] = 50.0 - x[0];
    c[4] = x[1];
    c[5] = 50.0 - x[1];
  });
  add("HS21", 2, 5, 0, {-1, -1}, -99.96, [](const Ad* x, Ad& f, Ad* c) {
    f = 0.01 * sq(x[0]) + sq(x[1]) - 100.0;
    c[0] = 10.0 * x[0] - x[1] - 10.0;
    c[1] = x[0] - 2.0;
    c[2] = 50.0 - x[0];
    c[3] = x[1] + 50.0;
    c[4] = 50.0 - x[1];
  });
  add("HS26", 3, 1, 1, {-2.6, 2, 2}, 0.0, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0] - x[1]) + pow(x[1] - x[2], 4);
    c[0] = (1.0 + sq(x[1])) * x[0] + pow(x[2], 4) - 3.0;
  });
  add("HS27", 3, 1, 1, {2, 2, 2}, 0.04, [](const Ad* x, Ad& f, Ad* c) {
    f = 0.01 * sq(x[0] - 1.0) + sq(x[1] - sq(x[0]));
    c[0] = x[0] + sq(x[2]) + 1.0;
  });
  add("HS28", 3, 1, 1, {-4, 1, 1}, 0.0, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0] + x[1]) + sq(x[1] + x[2]);
    c[0] = x[0] + 2.0 * x[1] + 3.0 * x[2] - 1.0;
  });
  add("HS32", 3, 5, 1, {0.1, 0.7, 0.2}, 1.0, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0] + 3.0 * x[1] + x[2]) + 4.0 * sq(x[0] - x[1]);
    c[0] = 1.0 - x[0] - x[1] - x[2];
    c[1] = 6.0 * x[1] + 4.0 * x[2] - pow(x[0], 3) - 3.0;
    for (int i = 0; i < 3; ++i) c[2 + i] = x[i];
  });
  add("HS35", 3, 4, 0, {0.5, 0.5, 0.5}, 1.0 / 9.0, [](const Ad* x, Ad& f, Ad* c) {
    f = 9.0 - 8.0 * x[0] - 6.0 * x[1] - 4.0 * x[2] + 2.0 * sq(x[0]) + 2.0 * sq(x[1]) + sq(x[2]) +
        2.0 * x[0] * x[1] + 2.0 * x[0] * x[2];
    c[0] = 3.0 - x[0] - x[1] - 2.0 * x[2];
    for (int i = 0; i < 3; ++i) c[1 + i] = x[i];
  });
  add("HS39", 4, 2, 2, {2, 2, 2, 2}, -1.0, [](const Ad* x, Ad& f, Ad* c) {
    f = -x[0];
    c[0] = x[1] - pow(x[0], 3) - sq(x[2]);
    c[1] = sq(x[0]) - x[1] - sq(x[3]);
  });
  add("HS40", 4, 3, 3, {0.8, 0.8, 0.8, 0.8}, -0.25, [](const Ad* x, Ad& f, Ad* c) {
    f = -(x[0] * x[1] * x[2] * x[3]);
    c[0] = pow(x[0], 3) + sq(x[1]) - 1.0;
    c[1] = sq(x[0]) * x[3] - x[2];
    c[2] = sq(x[3]) - x[1];
  });
  add("HS43", 4, 3, 0, {0, 0, 0, 0}, -44.0, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0]) + sq(x[1]) + 2.0 * sq(x[2]) + sq(x[3]) - 5.0 * x[0] - 5.0 * x[1] - 21.0 * x[2] + 7.0 * x[3];
    c[0] = 8.0 - sq(x[0]) - sq(x[1]) - sq(x[2]) - sq(x[3]) - x[0] + x[1] - x[2] + x[3];
    c[1] = 10.0 - sq(x[0]) - 2.0 * sq(x[1]) - sq(x[2]) - 2.0 * sq(x[3]) + x[0] + x[3];
    c[2] = 5.0 - 2.0 * sq(x[0]) - sq(x[1]) - sq(x[2]) - 2.0 * x[0] + x[1] + x[3];
  });
  add("HS46", 5, 2, 2, {0.5 * kSqrt2, 1.75, 0.5, 2, 2}, 0.0, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0] - x[1]) + sq(x[2] - 1.0) + pow(x[3] - 1.0, 4) + pow(x[4] - 1.0, 6);
    c[0] = sq(x[0]) * x[3] + sin(x[3] - x[4]) - 1.0;
    c[1] = x[1] + pow(x[2], 4) * sq(x[3]) - 2.0;
  });
  add("HS48", 5, 2, 2, {3, 5, -3, 2, -2}, 0.0, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0] - 1.0) + sq(x[1] - x[2]) + sq(x[3] - x[4]);
    c[0] = x[0] + x[1] + x[2] + x[3] + x[4] - 5.0;
    c[1] = x[2] - 2.0 * (x[3] + x[4]) + 3.0;
  });
  add("HS65", 3, 7, 0, {-5, 5, 0}, 0.9535288567, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0] - x[1]) + sq(x[0] + x[1] - 10.0) / 9.0 + sq(x[2] - 5.0);
    c[0] = 48.0 - sq(x[0]) - sq(x[1]) - sq(x[2]);
    c[1] = x[0] + 4.5;
    c[2] = 4.5 - x[0];
    c[3] = x[1] + 4.5;
    c[4] = 4.5 - x[1];
    c[5] = x[2] + 5.0;
    c[6] = 5.0 - x[2];
  });
  add("HS71", 4, 10, 1, {1, 5, 5, 1}, 17.0140173, [](const Ad* x, Ad& f, Ad* c) {
    f = x[0] * x[3] * (x[0] + x[1] + x[2]) + x[2];
    c[0] = sq(x[0]) + sq(x[1]) + sq(x[2]) + sq(x[3]) - 40.0;
    c[1] = x[0] * x[1] * x[2] * x[3] - 25.0;
    for (int i = 0; i < 4; ++i) {
      c[2 + 2 * i] = x[i] - 1.0;
      c[3 + 2 * i] = 5.0 - x[i];
    }
  });
  add("HS76", 4, 7, 0, {0.5, 0.5, 0.5, 0.5}, -4.681818181, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0]) + 0.5 * sq(x[1]) + sq(x[2]) + 0.5 * sq(x[3]) - x[0] * x[2] + x[2] * x[3] - x[0] - 3.0 * x[1] +
        x[2] - x[3];
    c[0] = 5.0 - x[0] - 2.0 * x[1] - x[2] - x[3];
    c[1] = 4.0 - 3.0 * x[0] - x[1] - 2.0 * x[2] + x[3];
    c[2] = x[1] + 4.0 * x[2] - 1.5;
    for (int i = 0; i < 4; ++i) c[3 + i] = x[i];
  });
  add("HS77", 5, 2, 2, {2, 2, 2, 2, 2}, 0.24150513, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0] - 1.0) + sq(x[0] - x[1]) + sq(x[2] - 1.0) + pow(x[3] - 1.0, 4) + pow(x[4] - 1.0, 6);
    c[0] = sq(x[0]) * x[3] + sin(x[3] - x[4]) - 2.0 * kSqrt2;
    c[1] = x[1] + pow(x[2], 4) * sq(x[3]) - 8.0 - kSqrt2;
  });
  add("HS78", 5, 3, 3, {-2, 1.5, 2, -1, -1}, -2.91970041, [](const Ad* x, Ad& f, Ad* c) {
    f = x[0] * x[1] * x[2] * x[3] * x[4];
    c[0] = sq(x[0]) + sq(x[1]) + sq(x[2]) + sq(x[3]) + sq(x[4]) - 10.0;
    c[1] = x[1] * x[2] - 5.0 * x[3] * x[4];
    c[2] = pow(x[0], 3) + pow(x[1], 3) + 1.0;
  });
  add("HS79", 5, 3, 3, {2, 2, 2, 2, 2}, 0.0787768209, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0] - 1.0) + sq(x[0] - x[1]) + sq(x[1] - x[2]) + pow(x[2] - x[3], 4) + pow(x[3] - x[4], 4);
    c[0] = x[0] + sq(x[1]) + pow(x[2], 3) - 2.0 - 3.0 * kSqrt2;
    c[1] = x[1] - sq(x[2]) + x[3] + 2.0 - 2.0 * kSqrt2;
    c[2] = x[0] * x[4] - 2.0;
  });
  add("HS100", 7, 4, 0, {1, 2, 0, 4, 0, 1, 1}, 680.6300573, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0] - 10.0) + 5.0 * sq(x[1] - 12.0) + pow(x[2], 4) + 3.0 * sq(x[3] - 11.0) + 10.0 * pow(x[4], 6) +
        7.0 * sq(x[5]) + pow(x[6], 4) - 4.0 * x[5] * x[6] - 10.0 * x[5] - 8.0 * x[6];
    c[0] = 127.0 - 2.0 * sq(x[0]) - 3.0 * pow(x[1], 4) - x[2] - 4.0 * sq(x[3]) - 5.0 * x[4];
    c[1] = 282.0 - 7.0 * x[0] - 3.0 * x[1] - 10.0 * sq(x[2]) - x[3] + x[4];
    c[2] = 196.0 - 23.0 * x[0] - sq(x[1]) - 6.0 * sq(x[5]) + 8.0 * x[6];
    c[3] = -4.0 * sq(x[0]) - sq(x[1]) + 3.0 * x[0] * x[1] - 2.0 * sq(x[2]) - 5.0 * x[5] + 11.0 * x[6];
  });
  add("HS113", 10, 8, 0, {2, 3, 5, 5, 1, 2, 7, 3, 6, 10}, 24.3062091, [](const Ad* x, Ad& f, Ad* c) {
    f = sq(x[0]) + sq(x[1]) + x[0] * x[1] - 14.0 * x[0] - 16.0 * x[1] + sq(x[2] - 10.0) + 4.0 * sq(x[3] - 5.0) +
        sq(x[4] - 3.0) + 2.0 * sq(x[5] - 1.0) + 5.0 * sq(x[6]) + 7.0 * sq(x[7] - 11.0) + 2.0 * sq(x[8] - 10.0) +
        sq(x[9] - 7.0) + 45.0;
    c[0] = 105.0 - 4.0 * x[0] - 5.0 * x[1] + 3.0 * x[6] - 9.0 * x[7];
    c[1] = -10.0 * x[0] + 8.0 * x[1] + 17.0 * x[6] - 2.0 * x[7];
    c[2] = 8.0 * x[0] - 2.0 * x[1] - 5.0 * x[8] + 2.0 * x[9] + 12.0;
    c[3] = -3.0 * sq(x[0] - 2.0) - 4.0 * sq(x[1] - 3.0) - 2.0 * sq(x[2]) + 7.0 * x[3] + 120.0;
    c[4] = -5.0 * sq(x[0]) - 8.0 * x[1] - sq(x[2] - 6.0) + 2.0 * x[3] + 40.0;
    c[5] = -0.5 * sq(x[0] - 8.0) - 2.0 * sq(x[1] - 4.0) - 3.0 * sq(x[4]) + x[5] + 30.0;
    c[6] = -sq(x[0]) - 2.0 * sq(x[1] - 2.0) + 2.0 * x[0] * x[1] - 14.0 * x[4] + 6.0 * x[5];
    c[7] = 3.0 * x[0] - 6.0 * x[1] - 12.0 * sq(x[8] - 8.0) + 7.0 * x[9];
  });
  return ps;
}

}  // namespace

const std::vector<Problem>& hs_problems() {
  static const std::vector<Problem> problems = build();
  return problems;
}

const Problem& hs_problem(const std::string& name) {
  for (const Problem& p : hs_problems())
    if (p.name == name) return p;
  throw std::invalid_argument("no test problem " + name);
}

void evaluate(const Problem& p, const double* x, double& f, double* g, double* c, double* cn, int32_t lcn) {
  std::vector<Ad> xa(p.n), ca(std::max(p.m, 1));
  for (int i = 0; i < p.n; ++i) {
    xa[i] = Ad(x[i]);
    xa[i].d[i] = 1.0;
  }
  Ad fa;
  p.model(xa.data(), fa, ca.data());
  f = fa.v;
  for (int i = 0; i < p.n; ++i) g[i] = fa.d[i];
  for (int k = 0; k < p.m; ++k) {
    c[k] = ca[k].v;
    for (int i = 0; i < p.n; ++i) cn[i + std::size_t(k) * lcn] = ca[k].d[i];
  }
}

double violation(const Problem& p, const double* x) {
  std::vector<double> g(p.n), c(std::max(p.m, 1)), cn(std::size_t(p.n) * std::max(p.m, 1));
  double f;
  evaluate(p, x, f, g.data(), c.data(), cn.data(), p.n);
  double v = 0.0;
  for (int k = 0; k < p.m; ++k) v = std::max(v, k < p.meq ? std::fabs(c[k]) : -c[k]);
  return v;
}

}  // namespace sqptest
