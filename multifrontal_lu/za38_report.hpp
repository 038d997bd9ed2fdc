// The line writers of the input and output reports of the multifrontal LU,
// shared by the report proper and its listing of the stored factors.
#pragma once

#include <string_view>

#include "interface/fmt.hpp"
#include "multifrontal_lu/za38_internal.hpp"

namespace tbl::za38::report {

// Texts and integers alternately, each integer in twelve columns.
inline constexpr std::string_view kText = "(' ',A,:,I12,:,A,:,I12,:,A,:,I12,:,A,:,I12,:,A,:,I12)";
// A label, a real, a description.
inline constexpr std::string_view kReal = "(' ',A,D13.4,A)";
// An index and a value, or the index alone.
inline constexpr std::string_view kIndexValue = "(' ',I12,:,': ',D11.4)";
inline constexpr std::string_view kDashed = "(' ',79('-'))";
inline constexpr std::string_view kDotted = "(' ',79('.'))";
inline constexpr std::string_view kEllipsis = "('    ...')";

// What a report is given.  Arrays are 1-based views of the driver's
// arguments; lengths are those the driver was called with.
struct Args {
  fint who = 0;
  bool input = false;  // input report (INOUT = 1)
  fint n = 0, ne = 0, job = 0;
  bool trans = false;
  fint lvalue = 0, lindex = 0;
  const double* value = nullptr;
  const fint* index = nullptr;
  const fint* keep = nullptr;
  const double* cntl = nullptr;
  const fint* icntl = nullptr;
  const fint* info = nullptr;
  const double* rinfo = nullptr;
  const double* b = nullptr;
  const double* x = nullptr;
  const double* w = nullptr;
  fint lw = 0;

  fint unit() const { return icntl[kIcntlDiagUnit - 1]; }
  fint level() const { return icntl[kIcntlPrintLevel - 1]; }
};

template <class... A>
void text(const Args& a, const A&... v) {
  io::write(a.unit(), kText, v...);
}
inline void line(const Args& a, std::string_view record) { io::write(a.unit(), record); }

// The factor section: location, checks, layout and listing of the stored
// factors (pattern only in the input report of ZA38BD).
void stored_factors(const Args& a);

}  // namespace tbl::za38::report
