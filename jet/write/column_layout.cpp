#include "jet/write/column_layout.h"

#include <algorithm>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/core/schema_info.h"

namespace jet {
namespace {

struct StorageOf {
  FieldType type;
  uint16_t length;  // bytes; 0 for variable types sized elsewhere
  bool fixed;
};

StorageOf StorageFor(int16_t dao_type) {
  switch (dao_type) {
    case 1: return {FieldType::kBoolean, 1, true};
    case 2: return {FieldType::kByte, 1, true};
    case 3: return {FieldType::kInteger, 2, true};
    case 4: return {FieldType::kLong, 4, true};
    case 5: return {FieldType::kCurrency, 8, true};
    case 6: return {FieldType::kSingle, 4, true};
    case 7: return {FieldType::kDouble, 8, true};
    case 8: return {FieldType::kDateTime, 8, true};
    case 9: return {FieldType::kBinary, 0, false};
    case 10: return {FieldType::kText, 0, false};
    case 11: return {FieldType::kOle, 0, false};
    case 12: return {FieldType::kMemo, 0, false};
    case 15: return {FieldType::kGuid, 16, true};
    case 20: return {FieldType::kNumeric, 17, true};
    default:
      throw Error(3259, "Invalid field data type.");
  }
}

}  // namespace

void AppendColumn(TableDef& table, const NewColumn& spec, const DatabaseHeader& header) {
  if (table.columns.size() >= 255) throw Error(err::kTooManyFields, "Too many fields defined.");
  for (const ColumnDef& column : table.columns)
    if (SameObjectName(column.name, spec.name)) throw Error(err::kDuplicateField, "Cannot define field more than once.");
  const StorageOf storage = StorageFor(spec.dao_type);
  const Format format = header.format;
  // Decimal came with Jet 4: an Access 97 database has no storage for it.
  if (storage.type == FieldType::kNumeric && format == Format::kJet3)
    throw Error(3259, "Invalid field data type: an Access 97 (Jet 3) database has no Decimal fields ('" + spec.name + "').");
  ColumnDef column;
  column.name = spec.name;
  column.type = static_cast<uint8_t>(storage.type);
  column.number = table.max_columns;
  column.flags = storage.fixed ? (column_flag::kFixedLength | column_flag::kCanBeNull) : column_flag::kCanBeNull;
  column.sort_order = header.sort_order;
  if (format == Format::kJet3) {
    column.code_page = header.code_page;
    // The descriptor as Access 97 starts it: the column number again at +5 and the file's
    // descriptor word (page 0 at 0x38) at +7; the rest the definition writer lays over it.
    column.stored.assign(18, 0);
    PutU16(column.stored.data() + 5, table.max_columns);
    PutU16(column.stored.data() + 7, header.jet3_column_word);
  }
  column.position = static_cast<uint16_t>(table.columns.size());
  if (storage.type == FieldType::kText) {
    const int32_t characters = spec.size <= 0 ? 50 : spec.size;
    if (characters > 255) throw Error(3129, "Invalid field size.");
    column.length = static_cast<uint16_t>(format == Format::kJet4 ? characters * 2 : characters);
    if (format == Format::kJet4) column.extra_flags = 0x01;  // Unicode compression, as Access makes text fields
  } else if (storage.type == FieldType::kBinary) {
    column.length = static_cast<uint16_t>(spec.size <= 0 || spec.size > 255 ? 255 : spec.size);
  } else {
    column.length = storage.length;
  }
  if (storage.type == FieldType::kNumeric) {
    column.precision = 18;
    column.scale = 0;
  }
  if (storage.fixed) {
    // After the highest fixed value, so rows written from now on keep the others in place.
    uint16_t end = 0;
    for (const ColumnDef& other : table.columns)
      if (other.fixed() && other.type != static_cast<uint8_t>(FieldType::kBoolean))
        end = std::max<uint16_t>(end, static_cast<uint16_t>(other.fixed_offset + other.length));
    column.fixed_offset = storage.type == FieldType::kBoolean ? 0 : end;
    column.variable_index = table.variable_column_count;
  } else {
    // The highest slot ever used plus one: slots of deleted columns are never reused.
    column.variable_index = table.variable_column_count;
    for (const ColumnDef& other : table.columns)
      if (!other.fixed()) column.variable_index = std::max<uint16_t>(column.variable_index, other.variable_index + 1);
    table.variable_column_count = static_cast<uint16_t>(column.variable_index + 1);
  }
  if (storage.type == FieldType::kMemo || storage.type == FieldType::kOle)
    table.long_value_maps.push_back(LongValueMapsDef{column.number, 0, 0});
  ++table.max_columns;
  table.columns.push_back(column);
}

}  // namespace jet
