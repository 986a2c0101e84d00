#include "jet/dump/dump_json.h"

#include <algorithm>

#include "jet/core/value_format.h"
#include "jet/query/query_sql.h"

namespace jet {
namespace {

const char* TypeName(uint8_t type) {
  switch (static_cast<FieldType>(type)) {
    case FieldType::kBoolean: return "BOOLEAN";
    case FieldType::kByte: return "BYTE";
    case FieldType::kInteger: return "INT";
    case FieldType::kLong: return "LONG";
    case FieldType::kCurrency: return "MONEY";
    case FieldType::kSingle: return "FLOAT";
    case FieldType::kDouble: return "DOUBLE";
    case FieldType::kDateTime: return "SHORT_DATE_TIME";
    case FieldType::kBinary: return "BINARY";
    case FieldType::kText: return "TEXT";
    case FieldType::kOle: return "OLE";
    case FieldType::kMemo: return "MEMO";
    case FieldType::kGuid: return "GUID";
    case FieldType::kNumeric: return "NUMERIC";
  }
  return "UNKNOWN";
}

template <typename T>
nlohmann::json Optional(const std::optional<T>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json Optional(const OptionalText& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json DumpColumn(const FieldInfo& field, Format format) {
  const ColumnDef& column = field.column;
  const bool text = column.type == static_cast<uint8_t>(FieldType::kText) ||
                    column.type == static_cast<uint8_t>(FieldType::kMemo);
  return {
      {"name", column.name},
      {"type", column.type},
      {"typeName", TypeName(column.type)},
      {"lengthBytes", column.length},
      {"lengthUnits", text && format == Format::kJet4 ? column.length / 2 : column.length},
      {"autoNumber", column.auto_number()},
      {"DefaultValue", Optional(field.default_value)},
      {"ValidationRule", Optional(field.validation_rule)},
      {"ValidationText", Optional(field.validation_text)},
      {"Required", Optional(field.required)},
      {"AllowZeroLength", Optional(field.allow_zero_length)},
  };
}

nlohmann::json DumpIndex(const IndexInfo& index) {
  nlohmann::json columns = nlohmann::json::array();
  for (const IndexFieldInfo& field : index.fields) columns.push_back({{"name", field.name}, {"ascending", field.ascending}});
  return {{"name", index.name},
          {"primary", index.primary},
          {"unique", index.unique},
          {"ignoreNulls", index.ignore_nulls},
          {"required", index.required},
          {"foreignKey", index.foreign_key},
          {"columns", columns}};
}

nlohmann::json DumpTable(Database& database, const TableInfo& table, bool with_rows) {
  nlohmann::json columns = nlohmann::json::array();
  for (const FieldInfo& field : table.fields) columns.push_back(DumpColumn(field, database.format()));
  nlohmann::json indexes = nlohmann::json::array();
  for (const IndexInfo& index : table.indexes) indexes.push_back(DumpIndex(index));
  nlohmann::json rows = nlohmann::json::array();
  size_t row_count = 0;
  if (!table.def.columns.empty()) {
    // Values in field order (column number), the order DAO lists them in.
    std::vector<size_t> order;
    for (const FieldInfo& field : table.fields) order.push_back(field.column.position);
    auto cursor = database.Rows(table);
    Row row;
    while (cursor.Next(row)) {
      ++row_count;
      if (!with_rows) continue;
      nlohmann::json values = nlohmann::json::array();
      for (size_t position : order) values.push_back(DumpValue(row.at(position)));
      rows.push_back(std::move(values));
    }
  }
  nlohmann::json out = {{"name", table.name}, {"rowCount", row_count}, {"columns", columns}, {"indexes", indexes}};
  if (with_rows) out["rows"] = rows;
  return out;
}

}  // namespace

nlohmann::json DumpValue(const Value& value) {
  struct Visitor {
    nlohmann::json operator()(std::monostate) const { return nullptr; }
    nlohmann::json operator()(bool v) const { return v; }
    nlohmann::json operator()(uint8_t v) const { return v; }
    nlohmann::json operator()(int16_t v) const { return v; }
    nlohmann::json operator()(int32_t v) const { return v; }
    nlohmann::json operator()(Currency v) const { return FormatCurrency(v); }
    nlohmann::json operator()(float v) const { return static_cast<double>(v); }
    nlohmann::json operator()(double v) const { return v; }
    nlohmann::json operator()(DateTime v) const { return FormatDateTime(v); }
    nlohmann::json operator()(const Binary& v) const { return FormatBinary(v.bytes); }
    nlohmann::json operator()(const std::string& v) const { return v; }
    nlohmann::json operator()(const Guid& v) const { return FormatGuid(v); }
    nlohmann::json operator()(const Decimal& v) const { return FormatDecimal(v); }
  };
  return std::visit(Visitor{}, value);
}

nlohmann::json DumpDatabase(Database& database, bool with_rows) {
  std::vector<const TableInfo*> tables;
  for (const TableInfo& table : database.tables()) tables.push_back(&table);
  std::stable_sort(tables.begin(), tables.end(),
                   [](const TableInfo* a, const TableInfo* b) { return ObjectNameLess(a->name, b->name); });
  nlohmann::json user = nlohmann::json::array();
  nlohmann::json system = nlohmann::json::array();
  for (const TableInfo* table : tables) (table->system() ? system : user).push_back(DumpTable(database, *table, with_rows));

  nlohmann::json queries = nlohmann::json::array();
  for (const QueryInfo& query : database.queries())
    queries.push_back({{"name", query.name},
                       {"type", query.type ? QueryTypeName(*query.type) : "UNKNOWN"},
                       {"sql", query.sql}});
  return {{"format", database.format() == Format::kJet3 ? "Jet 3" : "Jet 4"},
          {"tables", user},
          {"systemTables", system},
          {"queries", queries}};
}

}  // namespace jet
