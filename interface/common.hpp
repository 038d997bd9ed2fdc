// Conventions shared by every package of the library.
//
// Every routine that a host or another package calls takes all its arguments
// by address, as a Fortran caller passes them: 32-bit integers, 32-bit
// LOGICALs, 64-bit reals and arrays of these, 1-based and column-major.
// The helpers here keep the 1-based index arithmetic of the algorithms
// readable without scattering "-1" through the code.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

// Marks a definition that the shared library exports (the version script
// still decides the final table); everything else is compiled hidden.
#define TBL_EXPORT __attribute__((visibility("default")))

namespace tbl {

using fint = std::int32_t;     // Fortran INTEGER
using logical = std::int32_t;  // Fortran LOGICAL: true when the lowest bit is 1

inline constexpr logical kTrue = -1;
inline constexpr logical kFalse = 0;
inline constexpr bool is_true(logical v) { return (v & 1) != 0; }
inline constexpr logical to_logical(bool b) { return b ? kTrue : kFalse; }

// A 1-based view of a caller's array: v(1) is base[0].  Bounds are checked
// by assertion in debug builds only; the callers validate lengths first.
template <class T>
class Vec1 {
 public:
  Vec1() = default;
  explicit Vec1(T* base, std::ptrdiff_t len = -1) : base_(base), len_(len) {}
  T& operator()(std::ptrdiff_t i) const {
    assert(i >= 1 && (len_ < 0 || i <= len_));
    return base_[i - 1];
  }
  // Address of element i, for handing a section on to a routine that takes
  // an array by address (the equivalent of passing A(I) in Fortran).
  T* at(std::ptrdiff_t i) const {
    assert(i >= 1 && (len_ < 0 || i <= len_ + 1));
    return base_ + (i - 1);
  }
  T* data() const { return base_; }

 private:
  T* base_ = nullptr;
  std::ptrdiff_t len_ = -1;
};

// A 1-based column-major view with leading dimension ld: m(i,j).
template <class T>
class Mat1 {
 public:
  Mat1(T* base, std::ptrdiff_t ld) : base_(base), ld_(ld) {}
  T& operator()(std::ptrdiff_t i, std::ptrdiff_t j) const {
    assert(i >= 1 && j >= 1);
    return base_[(i - 1) + (j - 1) * ld_];
  }
  T* at(std::ptrdiff_t i, std::ptrdiff_t j) const { return base_ + (i - 1) + (j - 1) * ld_; }
  std::ptrdiff_t ld() const { return ld_; }

 private:
  T* base_;
  std::ptrdiff_t ld_;
};

// Saturating conversion for counts computed in 64 bits that must be reported
// in a 32-bit INFO entry.
inline fint saturate(std::int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<fint>(v);
}

}  // namespace tbl
