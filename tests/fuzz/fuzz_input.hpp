// Turns a fuzzer's bytes into the arguments a careless or hostile host might
// pass: small sizes, indices in and out of range, duplicates, awkward reals,
// controls around their documented values and lengths around their
// documented minima.  Every array a target hands to the library is a
// HostArray: a heap block of exactly the length passed, so that the
// sanitizer reports any access outside it.
//
// Every decoder reads a fixed number of bytes for its choice and yields 0
// (or the smallest choice) once the input runs out, so that the fuzzer's
// mutations move one decision at a time.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace tbl::fuzz {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}

  bool empty() const { return pos_ >= n_; }

  std::uint8_t byte() { return pos_ < n_ ? p_[pos_++] : 0; }
  std::uint16_t u16() { return std::uint16_t(byte() | (byte() << 8)); }
  std::uint32_t u32() { return std::uint32_t(u16()) | (std::uint32_t(u16()) << 16); }
  bool flag() { return (byte() & 1) != 0; }

  // A value in lo..hi (hi - lo < 256 keeps it one byte).
  std::int32_t range(std::int32_t lo, std::int32_t hi) {
    const std::uint32_t span = std::uint32_t(hi - lo) + 1;
    const std::uint32_t raw = span <= 256 ? byte() : u16();
    return lo + std::int32_t(raw % span);
  }

  // An index for a dimension of n: mostly 1..n, sometimes just outside it
  // or far away.
  std::int32_t index(std::int32_t n) {
    const std::uint8_t b = byte();
    if (b < 224) return n > 0 ? 1 + std::int32_t(b % std::uint32_t(n)) : 0;
    switch (b & 7) {
      case 0: return 0;
      case 1: return -1;
      case 2: return n + 1;
      case 3: return n + 2;
      case 4: return std::numeric_limits<std::int32_t>::min();
      case 5: return std::numeric_limits<std::int32_t>::max();
      case 6: return -n;
      default: return 2 * n + 1;
    }
  }

  // A real: ordinary small values most of the time, then zeros, signed
  // zeros, NaN, infinities and the extremes of the format.
  double real() {
    const std::uint8_t b = byte();
    if (b < 160) return double(std::int32_t(b % 21) - 10) * (b < 80 ? 1.0 : 0.25);
    switch (b % 16) {
      case 0: return 0.0;
      case 1: return -0.0;
      case 2: return std::numeric_limits<double>::quiet_NaN();
      case 3: return std::numeric_limits<double>::infinity();
      case 4: return -std::numeric_limits<double>::infinity();
      case 5: return std::numeric_limits<double>::max();
      case 6: return -std::numeric_limits<double>::max();
      case 7: return std::numeric_limits<double>::min();
      case 8: return std::numeric_limits<double>::denorm_min();
      case 9: return 1e-300;
      case 10: return 1e300;
      case 11: return 1e-8;
      default: {
        double v;
        const std::uint64_t bits = std::uint64_t(u32()) | (std::uint64_t(u32()) << 32);
        std::memcpy(&v, &bits, sizeof v);
        return v;
      }
    }
  }

  // A control: mostly its default, else a neighbour, a sign change, zero or
  // an extreme.
  std::int32_t icontrol(std::int32_t def) {
    const std::uint8_t b = byte();
    if (b < 128) return def;
    switch (b % 12) {
      case 0: return 0;
      case 1: return def - 1;
      case 2: return def + 1;
      case 3: return -def;
      case 4: return -1;
      case 5: return 1;
      case 6: return 2;
      case 7: return 3;
      case 8: return std::numeric_limits<std::int32_t>::min();
      case 9: return std::numeric_limits<std::int32_t>::max();
      default: return std::int32_t(b % 8);
    }
  }
  double rcontrol(double def) {
    const std::uint8_t b = byte();
    if (b < 128) return def;
    if (b < 160) return -def;
    if (b < 176) return def * 2;
    return real();
  }

  // An output unit: mostly off (negative), one time in sixteen standard
  // output, which the drivers send to /dev/null; never standard error or a
  // numbered file.  Formatting the monitoring dumps costs several times the
  // work they describe, so they are kept for the few inputs (and their
  // descendants in the corpus) that ask for them.
  std::int32_t unit() { return (byte() & 15) == 15 ? 6 : -1; }

  // A length around its documented minimum: mostly the minimum or a little
  // more, sometimes just short of it, zero or negative.
  std::int32_t length(std::int64_t min) {
    const std::uint8_t b = byte();
    std::int64_t v;
    if (b < 128) v = min;
    else if (b < 192) v = min + (b % 8) + 1;
    else if (b < 208) v = min * 2 + (b % 4);
    else if (b < 240) v = min - 1 - (b % 3);
    else if (b < 248) v = 0;
    else v = -1;
    if (v > kMaxLength) v = kMaxLength;
    return std::int32_t(v);
  }

  // Lengths stay small so that no input allocates much.
  static constexpr std::int64_t kMaxLength = 1 << 16;

 private:
  const std::uint8_t* p_;
  std::size_t n_;
  std::size_t pos_ = 0;
};

// A host array of exactly `len` entries (none when len <= 0, yet a valid
// address), filled with a recognisable pattern.
template <class T>
class HostArray {
 public:
  // An empty array needs no filling: with the sanitizers the compiler no
  // longer sees that a fill of a zero-length block does nothing.
  HostArray() : len_(0), data_(new T[0]) {}
  explicit HostArray(std::int64_t len, T fill = T(-7))
      : len_(len > 0 ? len : 0), data_(new T[std::size_t(len_)]) {
    for (std::int64_t i = 0; i < len_; ++i) data_[i] = fill;
  }
  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  std::int64_t size() const { return len_; }
  T& operator[](std::int64_t i) { return data_[i]; }
  const T& operator[](std::int64_t i) const { return data_[i]; }
  // Entry i, 1-based as the library's documentation counts.
  T& at1(std::int64_t i) { return data_[i - 1]; }

  // A new array of the given length keeping the leading entries, as a host
  // that grows its storage does.
  void resize(std::int64_t len, T fill = T(-7)) {
    HostArray bigger(len, fill);
    for (std::int64_t i = 0; i < len_ && i < bigger.len_; ++i) bigger.data_[i] = data_[i];
    *this = std::move(bigger);
  }

 private:
  std::int64_t len_;
  std::unique_ptr<T[]> data_;
};

// The library writes its messages to standard output: send that to
// /dev/null once, so that neither fuzzing nor the replay floods its log.
inline void silence_standard_output() {
  static const bool done = std::freopen("/dev/null", "w", stdout) != nullptr;
  (void)done;
}

}  // namespace tbl::fuzz
