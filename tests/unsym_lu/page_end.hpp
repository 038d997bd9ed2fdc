// A host array whose last entry ends where an inaccessible page begins, so
// that a read or write one entry beyond it stops the test with a fault in
// every build (the sanitizer build reports it).
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tbl::test {

template <class T>
class PageEnd {
 public:
  explicit PageEnd(std::size_t n, T fill = T()) : n_(n) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    span_ = (n * sizeof(T) + page - 1) / page * page + page;
    void* base = mmap(nullptr, span_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::runtime_error("mmap failed");
    base_ = static_cast<char*>(base);
    if (mprotect(base_ + span_ - page, page, PROT_NONE) != 0) throw std::runtime_error("mprotect failed");
    data_ = reinterpret_cast<T*>(base_ + span_ - page - n * sizeof(T));
    for (std::size_t i = 0; i < n; ++i) data_[i] = fill;
  }
  explicit PageEnd(const std::vector<T>& v, std::size_t n) : PageEnd(n) {
    for (std::size_t i = 0; i < n && i < v.size(); ++i) data_[i] = v[i];
  }
  PageEnd(const PageEnd&) = delete;
  PageEnd& operator=(const PageEnd&) = delete;
  ~PageEnd() { munmap(base_, span_); }

  T* data() { return data_; }
  T& operator[](std::size_t i) { return data_[i]; }
  std::vector<T> copy() const { return std::vector<T>(data_, data_ + n_); }

 private:
  std::size_t n_, span_;
  char* base_;
  T* data_;
};

}  // namespace tbl::test
