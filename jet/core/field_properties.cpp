#include "jet/core/field_properties.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>

#include "jet/query/property_value.h"

namespace jet {
namespace {

std::string LowerAsciiKey(std::string_view name);

// The column groups of a blob by target, the first of each name as a walk would meet it:
// looked up once per column, which walking the groups made quadratic in a wide table.
class ColumnGroups {
 public:
  explicit ColumnGroups(const PropertyBlob& blob) {
    for (const PropertyGroup& group : blob.groups)
      if (group.chunk_type != 0) by_target_.emplace(LowerAsciiKey(group.target), &group);
  }
  const PropertyGroup* For(const std::string& target) const {
    if (by_target_.empty()) return nullptr;
    const auto found = by_target_.find(LowerAsciiKey(target));
    return found == by_target_.end() ? nullptr : found->second;
  }

 private:
  std::unordered_map<std::string, const PropertyGroup*> by_target_;
};

std::optional<bool> BoolOf(const PropertyGroup* group, const char* name) {
  if (!group) return std::nullopt;
  const StoredProperty* property = FindProperty(*group, name);
  if (!property) return std::nullopt;
  return PropertyBool(*property);
}

std::optional<std::string> TextOf(const PropertyGroup* group, const char* name, Format format, uint16_t code_page) {
  if (!group) return std::nullopt;
  const StoredProperty* property = FindProperty(*group, name);
  if (!property) return std::nullopt;
  return PropertyText(*property, format, code_page);
}

}  // namespace

namespace {
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Equal for two names exactly when SameObjectName holds.
std::string LowerAsciiKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) c = LowerAscii(c);
  return key;
}
}  // namespace

bool SameObjectName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool ObjectNameLess(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
}

const FieldInfo* TableInfo::FindField(std::string_view field_name) const {
  for (const FieldInfo& field : fields)
    if (SameObjectName(field.name(), field_name)) return &field;
  return nullptr;
}

int16_t DaoTypeOf(const ColumnDef& column) {
  // Decimal shows as dbDecimal (20) in DAO; every other stored type number is DAO's own.
  if (column.type == static_cast<uint8_t>(FieldType::kNumeric)) return 20;
  return column.type;
}

int32_t DaoSizeOf(const ColumnDef& column, Format format) {
  switch (static_cast<FieldType>(column.type)) {
    case FieldType::kText:
      return format == Format::kJet4 ? column.length / 2 : column.length;
    case FieldType::kMemo:
    case FieldType::kOle:
      return 0;
    default:
      return column.length;
  }
}

std::vector<FieldInfo> ReadFields(const TableDef& table, const PropertyBlob& properties, uint16_t code_page) {
  std::vector<const ColumnDef*> columns;
  columns.reserve(table.columns.size());
  for (const ColumnDef& column : table.columns) columns.push_back(&column);
  const auto by_number = [](const ColumnDef* a, const ColumnDef* b) { return a->number < b->number; };
  // Definitions nearly always list their columns by number already.
  if (!std::is_sorted(columns.begin(), columns.end(), by_number))
    std::stable_sort(columns.begin(), columns.end(), by_number);
  const ColumnGroups groups(properties);
  std::vector<FieldInfo> fields;
  fields.reserve(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnDef& column = *columns[i];
    FieldInfo& field = fields.emplace_back();
    field.column = column;  // into the new field as it stands: no copy made first to move
    field.column.stored = DescriptorBytes{};
    field.dao_type = DaoTypeOf(column);
    field.size = DaoSizeOf(column, table.format);
    field.ordinal_position = static_cast<int16_t>(i);
    const PropertyGroup* group = groups.For(column.name);
    if (!group) continue;  // a field Access stored no properties for: every one is empty
    field.required = BoolOf(group, "Required");
    field.allow_zero_length = BoolOf(group, "AllowZeroLength");
    field.default_value = TextOf(group, "DefaultValue", table.format, code_page);
    field.validation_rule = TextOf(group, "ValidationRule", table.format, code_page);
    field.validation_text = TextOf(group, "ValidationText", table.format, code_page);
    if (const StoredProperty* p = FindProperty(*group, "OrdinalPosition"))
      field.ordinal_position = static_cast<int16_t>(PropertyInteger(*p));
  }
  return fields;
}

std::vector<IndexInfo> ReadIndexes(const TableDef& table) {
  std::vector<IndexInfo> indexes;
  indexes.reserve(table.indexes.size());
  for (size_t i = 0; i < table.indexes.size(); ++i) {
    const LogicalIndexDef& logical = table.indexes[i];
    const RealIndexDef& real = table.real_indexes.at(logical.real_index);
    IndexInfo index;
    index.name = logical.name;
    index.primary = logical.primary();
    index.foreign_key = logical.foreign_key();
    index.unique = (real.flags & index_flag::kUnique) != 0;
    index.ignore_nulls = (real.flags & index_flag::kIgnoreNulls) != 0;
    index.required = (real.flags & index_flag::kRequired) != 0;
    index.logical_index = static_cast<uint32_t>(i);
    index.real_index = logical.real_index;
    index.fields.reserve(real.columns.size());
    for (const IndexColumnDef& column : real.columns) {
      const ColumnDef* def = table.ColumnByNumber(column.column_number);
      index.fields.push_back(IndexFieldInfo{def ? def->name : std::string(), column.ascending});
    }
    indexes.push_back(std::move(index));
  }
  // DAO lists indexes by their index number, not by where the definition stores them (which
  // is nearly always the same order already).
  const auto by_number = [&](const IndexInfo& a, const IndexInfo& b) {
    return table.indexes[a.logical_index].index_number < table.indexes[b.logical_index].index_number;
  };
  if (!std::is_sorted(indexes.begin(), indexes.end(), by_number))
    std::stable_sort(indexes.begin(), indexes.end(), by_number);
  return indexes;
}

}  // namespace jet
