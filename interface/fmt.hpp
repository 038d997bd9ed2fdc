// The format-record writer.  Every message and report line of the library is
// written through it, with its record given exactly as a Fortran FORMAT
// list, e.g.
//
//   tbl::io::write(unit, "(1X,'NC = ',I6,' is out of range')", nc);
//   tbl::io::write(unit, "(' X =    ',1P,5D12.4,:,/,(8X,5D12.4))",
//                  tbl::io::Reals{x, n});
//
// Supported: 'text' and "text" (doubled quote inside), Iw[.m], Fw.d,
// Ew.d[Ee], Dw.d, Gw.d[Ee], ESw.d, Lw, A, Aw, nX, Tn, TLn, TRn, /, :, kP,
// repeat counts on descriptors and parenthesised groups, and reversion to the
// last top-level group when values remain at the end of the list.  Output
// follows the usual Fortran rules: a field too narrow is filled with
// asterisks, exponents of three digits drop the letter, trailing positioning
// transmits nothing, and the list ends at the first data descriptor (or
// colon) met with no value left.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interface/common.hpp"

namespace tbl::io {

// Array arguments: every element becomes one value of the list.
struct Ints {
  const fint* p;
  std::ptrdiff_t n;
};
struct Reals {
  const double* p;
  std::ptrdiff_t n;
};
// A LOGICAL value for an L descriptor (a bare fint would be an integer).
struct Lgl {
  logical v;
};

struct FmtValue {
  enum class Kind : unsigned char { Int, Real, Str, Logical };
  Kind kind = Kind::Int;
  std::int64_t i = 0;
  double d = 0.0;
  std::string_view s;
};

// The list of values written against a record.  Strings are referenced, not
// copied: they must outlive the call that writes them.
class FmtList {
 public:
  FmtList() = default;
  template <class... A>
  explicit FmtList(const A&... a) {
    (add(a), ...);
  }

  FmtList& add(int v) { return push_int(v); }
  FmtList& add(long v) { return push_int(v); }
  FmtList& add(long long v) { return push_int(v); }
  FmtList& add(unsigned v) { return push_int(v); }
  FmtList& add(double v);
  FmtList& add(const char* s) { return add(std::string_view(s)); }
  FmtList& add(std::string_view s);
  FmtList& add(const std::string& s) { return add(std::string_view(s)); }
  FmtList& add(Lgl l);
  FmtList& add(Ints a);
  FmtList& add(Reals a);

  const std::vector<FmtValue>& values() const { return values_; }

 private:
  FmtList& push_int(std::int64_t v);
  std::vector<FmtValue> values_;
};

// Formats the record against the values and returns its lines, without line
// terminators.
std::vector<std::string> format_lines(std::string_view record, const FmtList& values);

// The same lines joined, each ended by '\n' (convenient for tests).
std::string format_text(std::string_view record, const FmtList& values);

// Writes the lines on an output unit (see units.hpp).
void write_list(fint unit, std::string_view record, const FmtList& values);

template <class... A>
void write(fint unit, std::string_view record, const A&... a) {
  write_list(unit, record, FmtList(a...));
}

template <class... A>
std::string format(std::string_view record, const A&... a) {
  return format_text(record, FmtList(a...));
}

}  // namespace tbl::io
