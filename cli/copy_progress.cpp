#include "cli/copy_progress.h"

#include <ostream>

namespace cli {

void CopyProgressLines::operator()(const std::string& target, uint64_t rows_done, uint64_t rows_total) {
  if (target != table_ || rows_done == 0) {
    table_ = target;
    last_tenth_ = 0;
    finished_ = false;
  }
  if (finished_) return;
  const uint64_t tenth = rows_total == 0 ? 10 : rows_done * 10 / rows_total;
  const bool last = rows_done >= rows_total;
  if (tenth <= last_tenth_ && !last) return;
  last_tenth_ = tenth;
  finished_ = last;
  err_ << "Copia righe " << target << ": " << rows_done << " / " << rows_total << '\n' << std::flush;
}

}  // namespace cli
