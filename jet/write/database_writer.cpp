#include "jet/write/database_writer.h"

#include <algorithm>

#include "jet/common/error.h"
#include "jet/core/catalog.h"
#include "jet/core/row_codec.h"
#include "jet/query/property_blob.h"
#include "jet/query/property_value.h"
#include "jet/store/page_overlay.h"
#include "jet/write/table_definition_writer.h"
#include "jet/write/table_writer.h"

namespace jet {
namespace {

[[noreturn]] void NotFound(const std::string& what) {
  throw Error(err::kItemNotFound, "Item not found in this collection. (" + what + ")");
}

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

PropertyGroup& GroupFor(PropertyBlob& blob, const std::string& target) {
  for (PropertyGroup& group : blob.groups)
    if (group.chunk_type != 0 && SameObjectName(group.target, target)) return group;
  PropertyGroup group;
  group.target = target;
  group.chunk_type = 1;
  blob.groups.push_back(group);
  return blob.groups.back();
}

}  // namespace

std::unique_ptr<DatabaseWriter> DatabaseWriter::Open(const std::filesystem::path& path) {
  std::unique_ptr<DatabaseWriter> writer(new DatabaseWriter());
  writer->session_ = store::WriteSession::Open(path);
  writer->allocator_ = std::make_unique<PageAllocator>(writer->session_->pages(), writer->session_->format());
  writer->Reload();
  return writer;
}

void DatabaseWriter::Reload() { database_ = Database::FromPages(session_->pages(), session_->path()); }

template <typename Operation>
void DatabaseWriter::Change(Operation&& operation) {
  try {
    store::Atomically(session_->pages(), operation);
  } catch (...) {
    Reload();
    throw;
  }
  Reload();
}

const TableInfo& DatabaseWriter::LocalTable(const std::string& name) const {
  const TableInfo* table = database_->FindTable(name);
  if (!table) NotFound(name);
  if (table->def.columns.empty() && table->linked())
    throw Error(err::kNotSupported, "Operation is not supported for this type of object.");
  return *table;
}

void DatabaseWriter::AddColumn(const std::string& table_name, const NewColumn& spec) {
  Change([&] {
    TableDef table = LocalTable(table_name).def;
    if (table.columns.size() >= 255) throw Error(err::kTooManyFields, "Too many fields defined.");
    for (const ColumnDef& column : table.columns)
      if (SameObjectName(column.name, spec.name))
        throw Error(err::kDuplicateField, "Cannot define field more than once.");
    const StorageOf storage = StorageFor(spec.dao_type);
    ColumnDef column;
    column.name = spec.name;
    column.type = static_cast<uint8_t>(storage.type);
    column.number = table.max_columns;
    column.flags = storage.fixed ? (column_flag::kFixedLength | column_flag::kCanBeNull) : column_flag::kCanBeNull;
    column.sort_order = database_->header().sort_order;
    if (format() == Format::kJet3) column.code_page = database_->header().code_page;
    column.position = static_cast<uint16_t>(table.columns.size());
    if (storage.type == FieldType::kText) {
      const int32_t characters = spec.size <= 0 ? 50 : spec.size;
      if (characters > 255) throw Error(3129, "Invalid field size.");
      column.length = static_cast<uint16_t>(format() == Format::kJet4 ? characters * 2 : characters);
      if (format() == Format::kJet4) column.extra_flags = 0x01;  // Unicode compression, as Access makes text fields
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
    WriteTableDefinition(session_->pages(), *allocator_, table, database_->header().code_page);
  });
}

void DatabaseWriter::DeleteColumn(const std::string& table_name, const std::string& column_name) {
  Change([&] {
    const TableInfo& info = LocalTable(table_name);
    TableDef table = info.def;
    auto found = std::find_if(table.columns.begin(), table.columns.end(),
                              [&](const ColumnDef& c) { return SameObjectName(c.name, column_name); });
    if (found == table.columns.end()) NotFound(column_name);
    for (const RealIndexDef& index : table.real_indexes)
      for (const IndexColumnDef& key : index.columns)
        if (key.column_number == found->number)
          throw Error(err::kFieldInIndex,
                      "Cannot delete a field that is part of an index or is needed by the system.");
    const uint16_t number = found->number;
    table.columns.erase(found);
    for (size_t i = 0; i < table.columns.size(); ++i) table.columns[i].position = static_cast<uint16_t>(i);
    table.long_value_maps.erase(std::remove_if(table.long_value_maps.begin(), table.long_value_maps.end(),
                                               [&](const LongValueMapsDef& maps) { return maps.column_number == number; }),
                                table.long_value_maps.end());
    WriteTableDefinition(session_->pages(), *allocator_, table, database_->header().code_page);
    // The column's properties go with it.
    if (!info.object.properties.empty()) {
      PropertyBlob blob = ParsePropertyBlob(info.object.properties, format());
      blob.groups.erase(std::remove_if(blob.groups.begin(), blob.groups.end(),
                                       [&](const PropertyGroup& g) {
                                         return g.chunk_type != 0 && SameObjectName(g.target, column_name);
                                       }),
                        blob.groups.end());
      WriteCatalogProperties(info, EncodePropertyBlob(blob, format()));
    }
  });
}

void DatabaseWriter::SetColumnProperty(const std::string& table_name, const std::string& column_name,
                                       const ColumnPropertyValue& value) {
  Change([&] {
    const TableInfo& info = LocalTable(table_name);
    if (!info.FindField(column_name)) NotFound(column_name);
    PropertyBlob blob = info.object.properties.empty() ? PropertyBlob{} : ParsePropertyBlob(info.object.properties, format());
    PropertyGroup& group = GroupFor(blob, info.FindField(column_name)->name());
    StoredProperty property;
    if (value.boolean) {
      property = BoolProperty(value.name, *value.boolean);
    } else {
      property = TextProperty(value.name, value.text.value_or(""), format());
      property.type = dao_type::kMemo;  // Access keeps expressions and texts as memo properties
    }
    property.ddl_flag = 1;
    auto existing = std::find_if(group.properties.begin(), group.properties.end(),
                                 [&](const StoredProperty& p) { return SameObjectName(p.name, value.name); });
    // An empty text removes the property, as setting "" does in DAO.
    const bool remove = !value.boolean && value.text.value_or("").empty();
    if (existing != group.properties.end()) {
      if (remove) {
        group.properties.erase(existing);
      } else {
        *existing = property;
      }
    } else if (!remove) {
      group.properties.push_back(property);
    }
    WriteCatalogProperties(info, EncodePropertyBlob(blob, format()));
  });
}

void DatabaseWriter::WriteCatalogProperties(const TableInfo& table, const std::vector<uint8_t>& blob) {
  const TableInfo* catalog = database_->FindTable("MSysObjects");
  if (!catalog) ThrowCorrupt("the catalog is missing");
  TableDef catalog_def = catalog->def;
  // The row as stored, with its LvProp replaced; its place (and so the catalog's index
  // entries, whose keys do not include LvProp) stays.
  Row row;
  {
    auto cursor = database_->Rows(*catalog);
    Row candidate;
    bool found = false;
    while (cursor.Next(candidate)) {
      if (cursor.location().page == table.object.location.page && cursor.location().slot == table.object.location.slot) {
        row = candidate;
        found = true;
        break;
      }
    }
    if (!found) ThrowCorrupt("the catalog row of '" + table.name + "' is missing");
  }
  for (size_t i = 0; i < catalog_def.columns.size(); ++i)
    if (catalog_def.columns[i].name == "LvProp") row[i] = blob.empty() ? Value{} : Value{Binary{blob}};
  TableWriter writer(session_->pages(), *allocator_, catalog_def, database_->header().code_page);
  writer.Update(table.object.location, row);
}

void DatabaseWriter::Commit() { session_->Commit(); }

}  // namespace jet
