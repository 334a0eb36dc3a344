#pragma once

#include <string>
#include <vector>

namespace quorvelle::sim {

// One ordered record of the calls made into several simulated services, so a
// test can check the order across them.
class Journal {
 public:
  void add(std::string entry) { entries_.push_back(std::move(entry)); }
  const std::vector<std::string>& entries() const { return entries_; }
  void clear() { entries_.clear(); }

 private:
  std::vector<std::string> entries_;
};

}  // namespace quorvelle::sim
