#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/core/catalog.h"
#include "jet/core/optional_text.h"
#include "jet/core/table_def.h"
#include "jet/query/query_attribute.h"
#include "jet/query/query_row.h"

namespace jet {

// A field as DAO shows it: its column plus the properties Access keeps in the table's
// property blob. A property the blob does not hold is empty.
struct FieldInfo {
  ColumnDef column;  // without its stored descriptor bytes (see ColumnDef::WithoutStored)
  int16_t dao_type = 0;
  int32_t size = 0;              // text: characters; memo and OLE: 0; others: bytes
  int16_t ordinal_position = 0;  // stored property or the column's place
  std::optional<bool> required;
  std::optional<bool> allow_zero_length;
  OptionalText default_value;
  OptionalText validation_rule;
  OptionalText validation_text;

  const std::string& name() const { return column.name; }
  bool Required() const { return required.value_or(false); }
  bool AllowZeroLength() const { return allow_zero_length.value_or(false); }
};

struct IndexFieldInfo {
  std::string name;
  bool ascending = true;
};

// An index as DAO shows it: a logical index with the flags of the real index it uses.
struct IndexInfo {
  std::string name;
  bool primary = false;
  bool unique = false;
  bool ignore_nulls = false;
  bool required = false;
  bool foreign_key = false;
  std::vector<IndexFieldInfo> fields;
  uint32_t logical_index = 0;  // position in TableDef::indexes
  uint32_t real_index = 0;     // position in TableDef::real_indexes
};

// Attribute bits of DAO's TableDef.Attributes.
namespace table_attribute {
inline constexpr uint32_t kSystemMask = 0x80000002u;
inline constexpr uint32_t kLinked = 0x40000000u;
inline constexpr uint32_t kLinkedOdbc = 0x20000000u;
}  // namespace table_attribute

struct TableInfo {
  CatalogObject object;         // its MSysObjects row
  std::string name;
  int32_t attributes = 0;       // as DAO shows it
  TableDef def;                 // local tables only
  std::vector<FieldInfo> fields;  // in column-number order, as DAO lists them
  std::vector<IndexInfo> indexes;  // in stored order

  bool system() const { return (static_cast<uint32_t>(attributes) & table_attribute::kSystemMask) != 0; }
  bool linked() const {
    return (static_cast<uint32_t>(attributes) & (table_attribute::kLinked | table_attribute::kLinkedOdbc)) != 0;
  }
  const FieldInfo* FindField(std::string_view field_name) const;
};

struct QueryInfo {
  CatalogObject object;
  std::string name;
  std::vector<QueryRow> rows;  // its MSysQueries rows, in stored order
  std::optional<QueryType> type;  // empty when the rows carry no type Jet knows
  std::string sql;                // as DAO's QueryDef.SQL shows it
  // The code page of the database it was read from, in which a Jet 3 properties blob holds
  // its texts.
  uint16_t code_page = 1252;
};

// Jet compares object names without regard to (ASCII) case.
bool SameObjectName(std::string_view a, std::string_view b);
// The order catalog collections list objects in: by name without regard to case.
bool ObjectNameLess(std::string_view a, std::string_view b);

}  // namespace jet
