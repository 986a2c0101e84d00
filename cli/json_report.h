#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/recorded_window.h"
#include "schema/data_loss_preview.h"

namespace cli {

// What one run of verify, update or compact did, for the --json report.
struct RunReport {
  std::string command;
  std::vector<std::string> files;
  int exit_status = 0;
  bool failed = false;
  std::optional<int32_t> error_number;  // the engine's, when a failure has one
  std::string error_description;
  std::vector<std::string> lines;  // the run log
  std::vector<RecordedWindow::Box> boxes;
  std::vector<schema::FieldLossPreview> previews;  // verify only
  std::optional<bool> compacted;                   // whether a compaction ran and how it ended
};

// {"command", "files", "exit_status", "ok", "error": {number or null, description} or null,
//  "findings" (verify) or "changes" (update, compact): one object per run-log line that
//  tells of a finding or a change, with "kind", "line" and where known "table", "field",
//  "index", "query", "path", "old_type"/"new_type" ({number, name}), "old_size"/"new_size"
//  and, for a rebuilt field of a verify run, "data_loss": {rows, not_convertible, cut},
//  "messages": [{title, text, style, answer}], "log": [lines], "compacted": bool or null}.
nlohmann::json ReportJson(const RunReport& report);

}  // namespace cli
