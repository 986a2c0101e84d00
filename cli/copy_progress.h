#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace cli {

// Progress of a table's row copy as lines on standard error, so that standard output stays
// the run log: one line at each tenth of the announced rows and one at the end.
class CopyProgressLines {
 public:
  explicit CopyProgressLines(std::ostream& err) : err_(err) {}
  void operator()(const std::string& target, uint64_t rows_done, uint64_t rows_total);

 private:
  std::ostream& err_;
  std::string table_;
  uint64_t last_tenth_ = 0;
  bool finished_ = false;
};

}  // namespace cli
