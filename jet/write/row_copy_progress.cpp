#include "jet/write/row_copy_progress.h"

#include <utility>

namespace jet {
namespace {

thread_local RowCopyProgress current_observer;

}  // namespace

RowCopyProgressScope::RowCopyProgressScope(RowCopyProgress observer)
    : previous_(std::exchange(current_observer, std::move(observer))) {}

RowCopyProgressScope::~RowCopyProgressScope() { current_observer = std::move(previous_); }

void ReportRowCopyProgress(const std::string& target, uint64_t rows_done, uint64_t rows_total) {
  if (current_observer) current_observer(target, rows_done, rows_total < rows_done ? rows_done : rows_total);
}

}  // namespace jet
