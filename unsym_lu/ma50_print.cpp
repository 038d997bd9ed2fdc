#include "unsym_lu/ma50_print.hpp"

#include <vector>

#include "interface/fmt.hpp"

namespace tbl::ma50 {

namespace {

// One part of a column: positions first..last of FACT/IRNF as pairs.
void print_part(fint unit, fint j, const char* which, const double* fact, const fint* irnf, fint first,
                fint last) {
  if (last < first) return;
  io::FmtList list;
  list.add(" Column").add(j).add(which);
  for (fint k = first; k <= last; ++k) list.add(fact[k - 1]).add(irnf[k - 1]);
  io::write_list(unit, "(A,I5,A,(T18,3(1P,E12.4,I5)))", list);
}

}  // namespace

void print_factors(fint unit, fint m, fint n, fint np, const double* fact, const fint* irnf, const fint* iptrl,
                   const fint* iptru) {
  (void)m;
  fint prev_end = 2;  // the factors start after FACT(1:2)
  for (fint j = 1; j <= n; ++j) {
    if (j > 1) print_part(unit, j, " of U", fact, irnf, prev_end + 1, iptru[j - 1]);
    print_part(unit, j, " of L", fact, irnf, iptru[j - 1] + 1, iptrl[j - 1]);
    prev_end = iptrl[j - 1];
  }
  const fint nf = n - np;
  if (nf < 1) return;
  const fint mf = irnf[1];
  const fint base = iptrl[n - 1];
  io::write(unit, "(A)", " Full part");
  io::write(unit, "((6I12))", io::Ints{irnf + base + mf, nf});
  std::vector<double> row(static_cast<std::size_t>(nf));
  for (fint i = 1; i <= mf; ++i) {
    for (fint k = 0; k < nf; ++k) row[k] = fact[base + i - 1 + static_cast<std::ptrdiff_t>(k) * mf];
    io::write(unit, "(I4,1P,6E12.4,:,/,(4X,1P,6E12.4))", irnf[base + i - 1], io::Reals{row.data(), nf});
  }
}

void print_int_list(fint unit, const char* title, const fint* v, fint n) {
  io::write(unit, "(A,(T6,10(I7)))", title, io::Ints{v, n});
}

}  // namespace tbl::ma50
