#include "cli/log_line.h"

#include <array>
#include <charconv>
#include <string_view>

#include "schema/comparison_rules.h"

namespace cli {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::optional<int32_t> Number(std::string_view text) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<int16_t> TypeNumber(std::string_view name) {
  static const schema::FieldTypeTable types;
  for (int16_t type = 1; type <= 12; ++type)
    if (types.Name(type) == name) return type;
  return std::nullopt;
}

struct Plain {
  std::string_view prefix;
  std::string_view kind;
  std::string LogEntry::*object;
};

// Lines made of a fixed text and one name.
constexpr std::array kPlainLines = {
    Plain{"Disconnetto: ", "unlink_table", &LogEntry::table},
    Plain{"Cancello query: ", "delete_query", &LogEntry::query},
    Plain{"Nuova query: ", "new_query", &LogEntry::query},
    Plain{"Elimino Tabella: ", "delete_table", &LogEntry::table},
    Plain{"Nuova tabella: ", "new_table", &LogEntry::table},
    Plain{"Eliminata Query -> ", "deleted_query", &LogEntry::query},
    Plain{"Nuova query -> ", "created_query", &LogEntry::query},
    Plain{"Eliminata Tabella -> ", "deleted_table", &LogEntry::table},
    Plain{"Nuova tabella ", "created_table", &LogEntry::table},
    Plain{"------------- Compattamento  :   ", "compaction_started", &LogEntry::path},
};

// "Tabella  " + table + marker + name.
constexpr std::array kTableLines = {
    Plain{" : Elimino Indice -> ", "delete_index", &LogEntry::index},
    Plain{" : Elimino  Campo -> ", "delete_field", &LogEntry::field},
    Plain{" :     Nuovo  Campo: ", "new_field", &LogEntry::field},
    Plain{" : Eliminato Indice -> ", "deleted_index", &LogEntry::index},
    Plain{" : Eliminato  Campo -> ", "deleted_field", &LogEntry::field},
    Plain{" :     Nuovo  Campo -> ", "added_field", &LogEntry::field},
    Plain{" :     Nuovo Indice -> ", "created_index", &LogEntry::index},
};

constexpr std::string_view kTablePrefix = "Tabella  ";
constexpr std::string_view kFieldMarker = " : Campo ";
constexpr std::string_view kReplacing = " - sostituisco ...";
constexpr std::string_view kTypeMarker = " di tipo diverso: da '";
constexpr std::string_view kTypeBetween = "' a '";
constexpr std::string_view kSizeMarker = " con dimensione diversa: da ";
constexpr std::string_view kSizeBetween = " a ";

// "Campo F di tipo diverso: da 'A' a 'B'" or "Campo F con dimensione diversa: da N a M",
// the replacing tail already taken off. Field names may hold the markers' words, so the
// markers are looked for from the end.
std::optional<LogEntry> ChangedField(std::string table, std::string_view rest) {
  LogEntry entry;
  entry.table = std::move(table);
  if (const size_t at = rest.rfind(kTypeMarker); at != std::string_view::npos && EndsWith(rest, "'")) {
    const std::string_view types = rest.substr(at + kTypeMarker.size(), rest.size() - at - kTypeMarker.size() - 1);
    const size_t between = types.find(kTypeBetween);
    if (between == std::string_view::npos) return std::nullopt;
    entry.kind = "type_change";
    entry.field = std::string(rest.substr(0, at));
    entry.old_type = TypeNumber(types.substr(0, between));
    entry.new_type = TypeNumber(types.substr(between + kTypeBetween.size()));
    return entry;
  }
  if (const size_t at = rest.rfind(kSizeMarker); at != std::string_view::npos) {
    const std::string_view sizes = rest.substr(at + kSizeMarker.size());
    const size_t between = sizes.find(kSizeBetween);
    if (between == std::string_view::npos) return std::nullopt;
    entry.old_size = Number(sizes.substr(0, between));
    entry.new_size = Number(sizes.substr(between + kSizeBetween.size()));
    if (!entry.old_size || !entry.new_size) return std::nullopt;
    entry.kind = "size_change";
    entry.field = std::string(rest.substr(0, at));
    entry.old_type = entry.new_type = 10;  // only text fields are compared by size
    return entry;
  }
  return std::nullopt;
}

std::optional<LogEntry> TableLine(std::string_view line) {
  const std::string_view body = line.substr(kTablePrefix.size());
  // The table name comes first: the earliest marker ends it.
  size_t best = std::string_view::npos;
  const Plain* best_line = nullptr;
  for (const Plain& candidate : kTableLines) {
    const size_t at = body.find(candidate.prefix);
    if (at < best) best = at, best_line = &candidate;
  }
  const size_t field_at = EndsWith(body, kReplacing) ? body.find(kFieldMarker) : std::string_view::npos;
  if (field_at < best) {
    const std::string_view rest = body.substr(field_at + kFieldMarker.size(),
                                              body.size() - field_at - kFieldMarker.size() - kReplacing.size());
    return ChangedField(std::string(body.substr(0, field_at)), rest);
  }
  if (!best_line) return std::nullopt;
  LogEntry entry;
  entry.kind = best_line->kind;
  entry.table = std::string(body.substr(0, best));
  entry.*(best_line->object) = std::string(body.substr(best + best_line->prefix.size()));
  return entry;
}

LogEntry Kind(std::string kind) {
  LogEntry entry;
  entry.kind = std::move(kind);
  return entry;
}

}  // namespace

std::optional<LogEntry> ReadLogLine(const std::string& line) {
  if (StartsWith(line, kTablePrefix)) return TableLine(line);
  if (line == "Compattamento in corso ...") return Kind("compaction_running");
  if (line == "Compattatamento effettuato.") return Kind("compaction_done");
  for (const Plain& plain : kPlainLines) {
    if (!StartsWith(line, plain.prefix)) continue;
    LogEntry entry;
    entry.kind = plain.kind;
    entry.*(plain.object) = line.substr(plain.prefix.size());
    return entry;
  }
  if (EndsWith(line, " NON compattato")) {
    LogEntry entry;
    entry.kind = "compaction_failed";
    entry.path = line.substr(0, line.size() - std::string_view(" NON compattato").size());
    return entry;
  }
  return std::nullopt;
}

}  // namespace cli
