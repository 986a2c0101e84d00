#include "cli/json_report.h"

#include "cli/log_line.h"
#include "schema/comparison_rules.h"

namespace cli {
namespace {

nlohmann::json TypeJson(int16_t type) {
  static const schema::FieldTypeTable types;
  nlohmann::json json = {{"number", type}};
  if (type >= 1 && type <= 12) json["name"] = types.Name(type);
  return json;
}

const schema::FieldLossPreview* PreviewFor(const std::vector<schema::FieldLossPreview>& previews,
                                           const LogEntry& entry) {
  for (const schema::FieldLossPreview& preview : previews)
    if (schema::SameName(preview.table, entry.table) && schema::SameName(preview.field, entry.field)) return &preview;
  return nullptr;
}

nlohmann::json EntryJson(const LogEntry& entry, const std::string& line,
                         const std::vector<schema::FieldLossPreview>& previews) {
  nlohmann::json json = {{"kind", entry.kind}, {"line", line}};
  const std::pair<const char*, const std::string*> names[] = {
      {"table", &entry.table}, {"field", &entry.field}, {"index", &entry.index},
      {"query", &entry.query}, {"path", &entry.path}};
  for (const auto& [key, value] : names)
    if (!value->empty()) json[key] = *value;
  std::optional<int16_t> old_type = entry.old_type, new_type = entry.new_type;
  std::optional<int32_t> old_size = entry.old_size, new_size = entry.new_size;
  if (entry.kind == "type_change" || entry.kind == "size_change") {
    if (const schema::FieldLossPreview* preview = PreviewFor(previews, entry)) {
      old_type = preview->old_type, new_type = preview->new_type;
      old_size = preview->old_size, new_size = preview->new_size;
      json["data_loss"] = {{"rows", preview->rows},
                           {"not_convertible", preview->not_convertible},
                           {"cut", preview->cut}};
    }
  }
  if (old_type) json["old_type"] = TypeJson(*old_type);
  if (new_type) json["new_type"] = TypeJson(*new_type);
  if (old_size) json["old_size"] = *old_size;
  if (new_size) json["new_size"] = *new_size;
  return json;
}

}  // namespace

nlohmann::json ReportJson(const RunReport& report) {
  nlohmann::json entries = nlohmann::json::array();
  for (const std::string& line : report.lines)
    if (const auto entry = ReadLogLine(line)) entries.push_back(EntryJson(*entry, line, report.previews));
  nlohmann::json messages = nlohmann::json::array();
  for (const RecordedWindow::Box& box : report.boxes)
    messages.push_back({{"title", box.title}, {"text", box.text}, {"style", box.style}, {"answer", box.answer}});

  nlohmann::json json;
  json["command"] = report.command;
  json["files"] = report.files;
  json["exit_status"] = report.exit_status;
  json["ok"] = report.exit_status == 0;
  json["error"] = nullptr;
  if (report.failed) {
    json["error"] = {{"number", report.error_number ? nlohmann::json(*report.error_number) : nlohmann::json(nullptr)},
                     {"description", report.error_description}};
  }
  json[report.command == "verify" ? "findings" : "changes"] = std::move(entries);
  json["messages"] = std::move(messages);
  json["log"] = report.lines;
  json["compacted"] = report.compacted ? nlohmann::json(*report.compacted) : nlohmann::json(nullptr);
  return json;
}

}  // namespace cli
