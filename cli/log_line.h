#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cli {

// One run-log line of a pass read back into what it says: which kind of finding or change,
// on which objects, and the old and new type or size where the line tells them.
struct LogEntry {
  std::string kind;  // see ReadLogLine
  std::string table;
  std::string field;
  std::string index;
  std::string query;
  std::string path;  // the compaction's database
  std::optional<int16_t> old_type, new_type;  // field type numbers
  std::optional<int32_t> old_size, new_size;  // text sizes in characters
};

// The lines of the verify pass ("unlink_table", "delete_query", "new_query", "delete_table",
// "delete_index", "delete_field", "new_field", "type_change", "size_change", "new_table"), of
// the update pass ("deleted_query", "created_query", "deleted_table", "deleted_index",
// "deleted_field", "added_field", "created_index", "created_table", and the same
// "type_change" / "size_change" that announce a rebuild) and of the compaction
// ("compaction_started", "compaction_running", "compaction_done", "compaction_failed").
// Empty for any other line, such as the blank line an update starts with.
std::optional<LogEntry> ReadLogLine(const std::string& line);

}  // namespace cli
