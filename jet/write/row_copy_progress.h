#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace jet {

// Rows written so far into `target` by INSERT INTO ... SELECT, and the rows the source's
// definition announces (a guide: stored counts may be stale, so `rows_total` grows with
// `rows_done` when they run past it). A last call with both equal marks the end of the copy.
using RowCopyProgress = std::function<void(const std::string& target, uint64_t rows_done, uint64_t rows_total)>;

// Front ends that show progress install an observer for the copies made on this thread while
// the scope lives; the engine's callers deeper down need not carry it through.
class RowCopyProgressScope {
 public:
  explicit RowCopyProgressScope(RowCopyProgress observer);
  ~RowCopyProgressScope();
  RowCopyProgressScope(const RowCopyProgressScope&) = delete;
  RowCopyProgressScope& operator=(const RowCopyProgressScope&) = delete;

 private:
  RowCopyProgress previous_;
};

// Tells the observer, if there is one.
void ReportRowCopyProgress(const std::string& target, uint64_t rows_done, uint64_t rows_total);

}  // namespace jet
