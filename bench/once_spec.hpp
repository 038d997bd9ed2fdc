// The --once=NAME[:WORD][:KEY=VALUE]... argument of the benchmarks that can
// run one problem alone, outside the benchmark loop, for a profiler.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

class OnceSpec {
 public:
  explicit OnceSpec(const std::string& spec) {
    for (std::size_t at = 0;;) {
      const auto colon = spec.find(':', at);
      parts_.push_back(spec.substr(at, colon - at));
      if (colon == std::string::npos) break;
      at = colon + 1;
    }
  }
  const std::string& name() const { return parts_[0]; }
  bool has(const std::string& word) const {
    for (std::size_t k = 1; k < parts_.size(); ++k)
      if (parts_[k] == word) return true;
    return false;
  }
  // The value of KEY=VALUE, or `fallback` when it is not given.
  double number(const std::string& key, double fallback = 0.0) const {
    const std::size_t k = find(key);
    return k != 0 ? std::stod(parts_[k].substr(key.size() + 1)) : fallback;
  }

 private:
  // The word holding KEY=..., or 0 (the name's place) when there is none.
  std::size_t find(const std::string& key) const {
    for (std::size_t k = 1; k < parts_.size(); ++k)
      if (parts_[k].size() > key.size() && parts_[k].compare(0, key.size(), key) == 0 && parts_[k][key.size()] == '=')
        return k;
    return 0;
  }
  std::vector<std::string> parts_;
};

}  // namespace bench
