// TD22: grouping of the columns of a sparse Jacobian and its estimate by
// grouped finite differences.
#include "nonlinear/td22.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "interface/machine.hpp"

using tbl::fint;
using tbl::Vec1;
using i64 = std::int64_t;

namespace {

// Greedy colouring of the columns in the order ORDER(1..N) into COLOUR;
// returns the number of colours.  MARK(c) = j forbids colour c to column j.
fint colour_in_order(fint n, Vec1<const fint> ipj, Vec1<const fint> irnj, Vec1<const fint> ipr,
                     Vec1<const fint> jcr, Vec1<fint> order, Vec1<fint> colour, Vec1<fint> mark) {
  for (fint j = 1; j <= n; ++j) {
    colour(j) = 0;
    mark(j) = 0;
  }
  fint ncolour = 0;
  for (fint s = 1; s <= n; ++s) {
    const fint j = order(s);
    for (fint e = ipj(j); e < ipj(j + 1); ++e) {
      const fint i = irnj(e);
      for (fint t = ipr(i); t < ipr(i + 1); ++t) {
        const fint c = colour(jcr(t));
        if (c > 0) mark(c) = j;
      }
    }
    fint c = 1;
    while (mark(c) == j) ++c;
    colour(j) = c;
    ncolour = std::max(ncolour, c);
  }
  return ncolour;
}

// Group lists from the colours: counting sort by colour, columns in
// increasing order within each group.
void group_lists(fint n, fint ngroup, Vec1<fint> colour, Vec1<fint> gptr, Vec1<fint> gcol) {
  for (fint g = 1; g <= ngroup + 1; ++g) gptr(g) = 0;
  for (fint j = 1; j <= n; ++j) ++gptr(colour(j) + 1);
  gptr(1) = 1;
  for (fint g = 2; g <= ngroup + 1; ++g) gptr(g) += gptr(g - 1);
  for (fint j = 1; j <= n; ++j) {
    const fint g = colour(j);
    gcol(gptr(g)) = j;
    ++gptr(g);
  }
  for (fint g = ngroup + 1; g >= 2; --g) gptr(g) = gptr(g - 1);
  gptr(1) = 1;
}

double base_step(fint method, double cntld1) {
  if (cntld1 > 0) return cntld1;
  const double eps = tbl::re05re(1);
  return method == 2 ? std::cbrt(eps) : std::sqrt(eps);
}

// A step that X + h represents exactly, forwards unless that leaves the
// finite numbers.  A relative step above 1 may overflow: the step is then
// the largest finite one.  SIZE, the typical size of x, keeps the step
// meaningful where x is zero or tiny.
double column_step(double x, double size, double r, double hmin) {
  double h = std::fmin(std::fmax(r * std::fmax(std::fabs(x), size), hmin), std::numeric_limits<double>::max());
  if (h == 0) h = r;
  if (!std::isfinite(x + h)) h = -h;
  double exact = (x + h) - x;
  if (exact == 0) exact = std::nextafter(x, h > 0 ? INFINITY : -INFINITY) - x;
  return exact;
}

}  // namespace

extern "C" {

void TD22_GROUPS(const fint* M, const fint* N, const fint* IPJ, const fint* IRNJ, const fint* IPR, const fint* JCR,
                 fint* NGROUP, fint* GPTR, fint* GCOL, fint* IW) {
  (void)M;
  const fint n = *N;
  Vec1<const fint> ipj(IPJ), irnj(IRNJ), ipr(IPR), jcr(JCR);
  Vec1<fint> gptr(GPTR), gcol(GCOL);
  Vec1<fint> colour(IW), mark(IW + n), order(IW + 2 * i64{n});

  for (fint j = 1; j <= n; ++j) order(j) = j;
  const fint natural = colour_in_order(n, ipj, irnj, ipr, jcr, order, colour, mark);
  group_lists(n, natural, colour, gptr, gcol);
  *NGROUP = natural;

  // Largest first, by the bound sum over the column's rows of (row count - 1)
  // on its neighbours; the bound is kept in MARK while sorting.
  for (fint j = 1; j <= n; ++j) {
    i64 bound = 0;
    for (fint e = ipj(j); e < ipj(j + 1); ++e) bound += ipr(irnj(e) + 1) - ipr(irnj(e)) - 1;
    mark(j) = tbl::saturate(bound);
  }
  std::stable_sort(order.at(1), order.at(n + 1), [&](fint a, fint b) { return mark(a) > mark(b); });
  const fint largest_first = colour_in_order(n, ipj, irnj, ipr, jcr, order, colour, mark);
  if (largest_first < natural) {
    group_lists(n, largest_first, colour, gptr, gcol);
    *NGROUP = largest_first;
  }
}

void TD22AD(const fint* M, const fint* N, const fint* IPJ, const fint* IRNJ, const fint* NGROUP, const fint* GPTR,
            const fint* GCOL, const fint* METHOD, const double* CNTLD, const double* S, const double* X,
            const double* F, double* XT, const double* FT, double* AJ, double* H, double* FP, fint* ISAVE,
            fint* IREQ) {
  (void)M;
  const fint n = *N, ngroup = *NGROUP, method = *METHOD;
  Vec1<const fint> ipj(IPJ), irnj(IRNJ), gptr(GPTR), gcol(GCOL);
  Vec1<const double> s(S), x(X), f(F), ft(FT);
  Vec1<double> xt(XT), aj(AJ), h(H), fp(FP);
  fint& group = ISAVE[0];
  fint& side = ISAVE[1];  // 1 the forward shift, 2 the backward one

  // The backward point of a central difference, or X itself where X - h
  // is not finite (the step was turned back at the top of the range): that
  // column then gets the one-sided difference.
  auto backward = [&](fint j) {
    const double v = x(j) - h(j);
    return std::isfinite(v) ? v : x(j);
  };
  auto shift = [&](fint g, bool forward) {
    for (fint t = gptr(g); t < gptr(g + 1); ++t) {
      const fint j = gcol(t);
      xt(j) = forward ? x(j) + h(j) : backward(j);
    }
  };

  if (*IREQ == 0) {
    const double r = base_step(method, CNTLD[0]);
    for (fint j = 1; j <= n; ++j) {
      h(j) = column_step(x(j), s(j), r, CNTLD[1]);
      xt(j) = x(j);
    }
    group = 1;
    side = 1;
    if (ngroup < 1) {
      *IREQ = 0;
      return;
    }
    shift(group, true);
    *IREQ = 1;
    return;
  }

  if (method == 2 && side == 1) {
    for (fint t = gptr(group); t < gptr(group + 1); ++t) {
      const fint j = gcol(t);
      for (fint e = ipj(j); e < ipj(j + 1); ++e) fp(irnj(e)) = ft(irnj(e));
    }
    shift(group, false);
    side = 2;
    *IREQ = 1;
    return;
  }

  for (fint t = gptr(group); t < gptr(group + 1); ++t) {
    const fint j = gcol(t);
    if (method == 2) {
      const double span = (x(j) + h(j)) - backward(j);
      for (fint e = ipj(j); e < ipj(j + 1); ++e) aj(e) = (fp(irnj(e)) - ft(irnj(e))) / span;
    } else {
      for (fint e = ipj(j); e < ipj(j + 1); ++e) aj(e) = (ft(irnj(e)) - f(irnj(e))) / h(j);
    }
    xt(j) = x(j);
  }
  ++group;
  side = 1;
  if (group > ngroup) {
    *IREQ = 0;
    return;
  }
  shift(group, true);
  *IREQ = 1;
}

}  // extern "C"
