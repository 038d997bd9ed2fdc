// MA57_PRINT_FACTORS: the factors block by block, as numbers or as a
// picture of the nonzero entries.
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "interface/fmt.hpp"
#include "interface/machine.hpp"
#include "sym_ldlt/ma57_factor.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
using i64 = std::int64_t;

// Rows of values are laid into 72-column lines field by field; a row runs
// on over as many lines as it needs, and only its last line is padded.
class LineBuffer {
 public:
  LineBuffer(fint unit, bool picture, double tiny) : unit_(unit), picture_(picture), tiny_(tiny) {}

  void blank() { place(picture_ ? std::string_view(" ") : std::string_view("            ")); }

  void value(double v) {
    if (picture_) {
      place(std::abs(v) <= tiny_ ? "." : "*");
    } else {
      std::string text = tbl::io::format("(1P,D12.4)", v);
      if (!text.empty() && text.back() == '\n') text.pop_back();
      place(text);
    }
  }

  void end_row() {
    if (col_ > 0) flush();
  }

 private:
  void place(std::string_view field) {
    for (char ch : field) line_[static_cast<std::size_t>(col_++)] = ch;
    if (col_ >= kWidth) flush();
  }
  void flush() {
    for (int c = col_; c < kWidth; ++c) line_[static_cast<std::size_t>(c)] = ' ';
    tbl::io::write(unit_, "(A)", std::string_view(line_.data(), kWidth));
    col_ = 0;
  }

  static constexpr int kWidth = 72;
  fint unit_;
  bool picture_;
  double tiny_;
  std::array<char, kWidth> line_{};
  int col_ = 0;  // characters placed on the current line
};

void index_list(fint unit, bool picture, const fint* idx, fint count) {
  if (!picture) {
    tbl::io::write(unit, "(6I12)", tbl::io::Ints{idx, count});
    return;
  }
  tbl::io::FmtList signs;
  for (fint i = 0; i < count; ++i) signs.add(idx[i] < 0 ? "-" : "+");
  tbl::io::write_list(unit, "(72A1)", signs);
}

}  // namespace

extern "C" void MA57_PRINT_FACTORS(const double* fact_, const fint* lfact, const fint* ifact_, const fint* lifact,
                                   const fint* icntl) {
  Vec1<const double> fact(fact_, *lfact);
  Vec1<const fint> ifact(ifact_, *lifact);
  const fint unit = icntl[2];
  const fint level = icntl[4];
  const bool picture = level == 5;
  const fint nblk = ifact(3);
  const fint nprint = level == 3 && nblk > 1 ? 1 : nblk;

  if (!picture) {
    if (nprint == nblk)
      tbl::io::write(unit, "(/,A)", "For each block, the following information is provided:");
    else
      tbl::io::write(unit, "(/,A,A)", "For the first block only,", " the following information is provided:");
    static constexpr const char* kLegend[] = {
        "   1. Block number, number of rows, number of columns",
        "   2. List of indices for the pivot, each negated if part of",
        "      a 2x2 pivot",
        "   3. The factorized block pivot",
        "      It has the form",
        "            -1  T",
        "        L  D   L ",
        "                         -1    T",
        "      and is printed as D and L  packed together.",
        "   4. List of indices for the non-pivot columns",
        "   5. The non-pivot part as rectangular block by rows",
    };
    for (const char* line : kLegend) tbl::io::write(unit, "(A)", line);
  }

  LineBuffer buf(unit, picture, tbl::re05re(4));
  i64 fpos = 1, lpos = ifact(1), ipos = 4;
  for (fint iblk = 1; iblk <= nprint; ++iblk) {
    const fint ncols = ifact(ipos), nrows = ifact(ipos + 1);
    tbl::io::write(unit, "(/,4(A,I6))", "Block pivot", iblk, " with", nrows, " rows and", ncols, " columns");
    index_list(unit, picture, ifact.at(ipos + 2), nrows);

    bool prev_first = false;
    for (fint k = 1; k <= nrows; ++k) {
      for (fint t = 1; t < k; ++t) buf.blank();
      const bool first = ifact(ipos + 1 + k) < 0 && !prev_first;
      for (fint r = k; r <= nrows; ++r) {
        double v = fact(fpos++);
        // The first half of a 2x2 pivot shows D^-1's off-diagonal, kept in
        // the list after the blocks, beside its diagonal.
        if (first && r == k + 1) v = fact(lpos++);
        buf.value(v);
      }
      buf.end_row();
      prev_first = first;
    }

    index_list(unit, picture, ifact.at(ipos + 2 + nrows), ncols - nrows);
    if (ncols > nrows) {
      for (fint k = 1; k <= nrows; ++k) {
        for (fint t = nrows; t < ncols; ++t) buf.value(fact(fpos++));
        buf.end_row();
      }
    }
    ipos += i64{ncols} + 2;
  }
}
