#include "schema/data_loss_preview.h"

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "jet/common/error.h"
#include "jet/write/column_layout.h"
#include "jet/write/value_conversion.h"
#include "schema/comparison_rules.h"
#include "schema/jet_engine.h"
#include "schema/name_index.h"
#include "schema/name_matches.h"

namespace schema {
namespace {

constexpr int16_t kText = 10;

// The local tables by SameName's rule, the first of each name; made once, as the preview
// looks up every reference table.
class LocalTables {
 public:
  explicit LocalTables(const jet::Database& local) : index_(local.tables().size()) {
    for (const jet::TableInfo& table : local.tables()) {
      if (table.system()) continue;
      index_.Add(table.name);
      tables_.push_back(&table);
    }
  }
  const jet::TableInfo* Find(const std::string& name) const {
    const int32_t found = index_.First(name);
    return found < 0 ? nullptr : tables_[static_cast<size_t>(found)];
  }

 private:
  BasicNameIndex<std::string_view> index_;  // of the tables' own names
  std::vector<const jet::TableInfo*> tables_;
};

void FieldNames(const jet::TableInfo& table, std::vector<std::string_view>& names) {
  names.resize(table.fields.size());
  for (size_t i = 0; i < table.fields.size(); ++i) names[i] = table.fields[i].name();
}

bool Rebuilds(const jet::FieldInfo& local, const jet::FieldInfo& reference) {
  if (local.dao_type != reference.dao_type) return true;
  return local.dao_type == kText && local.size != reference.size;
}

// The column the rebuild makes in the local database: created from type and size alone, as
// the engine lays out a new field, so its length follows the local file's format.
std::optional<jet::ColumnDef> RebuiltColumn(const jet::FieldInfo& reference, const jet::DatabaseHeader& local) {
  jet::TableDef scratch;
  scratch.format = local.format;
  try {
    jet::AppendColumn(scratch, {reference.name(), reference.dao_type, reference.size}, local);
  } catch (const jet::Error&) {
    return std::nullopt;  // no storage for the type: the rebuild itself would fail
  }
  return scratch.columns.front();
}

size_t Utf8Characters(const std::string& text) {
  size_t count = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

// Whether the value keeps all of itself in the column. The conversion shortens text and
// bytes without a word, so the length is measured before it.
bool IsCut(const jet::Value& value, const jet::ColumnDef& target, jet::Format format) {
  const auto type = static_cast<jet::FieldType>(target.type);
  if (type == jet::FieldType::kText) {
    const size_t characters = format == jet::Format::kJet4 ? target.length / 2u : target.length;
    return Utf8Characters(jet::ValueAsText(value)) > characters;
  }
  if (type == jet::FieldType::kBinary) {
    if (const auto* binary = std::get_if<jet::Binary>(&value)) return binary->bytes.size() > target.length;
    if (const auto* text = std::get_if<std::string>(&value)) return text->size() > target.length;
  }
  return false;
}

struct Candidate {
  FieldLossPreview preview;
  size_t position = 0;  // of the local value in a row
  std::optional<jet::ColumnDef> target;
};

void CountRows(jet::Database& local, const jet::TableInfo& table, std::vector<Candidate>& fields) {
  const jet::Format format = local.format();
  auto cursor = local.Rows(table);
  jet::Row row;
  uint64_t rows = 0;
  while (cursor.Next(row)) {
    ++rows;
    for (Candidate& candidate : fields) {
      const jet::Value& value = row.at(candidate.position);
      if (jet::IsNull(value)) continue;
      if (!candidate.target) {
        ++candidate.preview.not_convertible;
        continue;
      }
      try {
        jet::ConvertForColumn(value, *candidate.target, format);
      } catch (const jet::Error&) {
        ++candidate.preview.not_convertible;
        continue;
      }
      if (IsCut(value, *candidate.target, format)) ++candidate.preview.cut;
    }
  }
  for (Candidate& candidate : fields) candidate.preview.rows = rows;
}

}  // namespace

std::vector<FieldLossPreview> PreviewDataLoss(jet::Database& reference, jet::Database& local) {
  std::vector<FieldLossPreview> previews;
  const LocalTables local_tables(local);
  std::vector<std::string_view> reference_names, local_names;
  NameMatches matches;
  for (const jet::TableInfo& reference_table : reference.tables()) {
    if (reference_table.system() || reference_table.linked()) continue;
    const jet::TableInfo* local_table = local_tables.Find(reference_table.name);
    // A linked table's rows live elsewhere; the update drops it rather than rebuilding it.
    if (!local_table || local_table->linked()) continue;
    std::vector<Candidate> fields;
    FieldNames(reference_table, reference_names);
    FieldNames(*local_table, local_names);
    matches.Match(reference_names, local_names);
    for (size_t k = 0; k < reference_table.fields.size(); ++k) {
      const jet::FieldInfo& reference_field = reference_table.fields[k];
      const int32_t match = matches.LocalOf(k);
      if (match < 0) continue;
      const jet::FieldInfo* local_field = &local_table->fields[static_cast<size_t>(match)];
      if (!Rebuilds(*local_field, reference_field)) continue;
      Candidate candidate;
      candidate.preview = {reference_table.name, reference_field.name(), local_field->dao_type,
                           reference_field.dao_type, local_field->size, reference_field.size};
      candidate.position = local_field->column.position;
      candidate.target = RebuiltColumn(reference_field, local.header());
      fields.push_back(std::move(candidate));
    }
    if (fields.empty()) continue;
    CountRows(local, *local_table, fields);
    for (Candidate& candidate : fields) previews.push_back(std::move(candidate.preview));
  }
  return previews;
}

std::vector<FieldLossPreview> PreviewDataLoss(const std::filesystem::path& reference,
                                              const std::filesystem::path& local) {
  auto reference_database = jet::Database::Open(reference);
  auto local_database = jet::Database::Open(local);
  return PreviewDataLoss(*reference_database, *local_database);
}

std::vector<FieldLossPreview> PreviewDataLoss(Database& reference, Database& local) {
  std::unique_ptr<jet::Database> reference_opened, local_opened;
  jet::Database* reference_view = JetReadView(reference);
  if (!reference_view) {
    reference_opened = jet::Database::Open(reference.Name());
    reference_view = reference_opened.get();
  }
  jet::Database* local_view = JetReadView(local);
  if (!local_view) {
    local_opened = jet::Database::Open(local.Name());
    local_view = local_opened.get();
  }
  return PreviewDataLoss(*reference_view, *local_view);
}

}  // namespace schema
