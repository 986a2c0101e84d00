#include "jet/write/database_writer.h"

#include <algorithm>

#include "jet/common/error.h"
#include "jet/core/catalog.h"
#include "jet/core/page_bounds.h"
#include "jet/core/row_codec.h"
#include "jet/core/table_scan.h"
#include "jet/query/property_blob.h"
#include "jet/query/property_value.h"
#include "jet/store/page_overlay.h"
#include "jet/write/catalog_writer.h"
#include "jet/write/code_page_text.h"
#include "jet/write/column_layout.h"
#include "jet/write/indexed_table_writer.h"
#include "jet/write/statement.h"
#include "jet/write/table_definition_writer.h"
#include "jet/write/row_copy_progress.h"
#include "jet/write/row_transform.h"
#include "jet/write/value_conversion.h"
#include "jet/write/table_writer.h"

namespace jet {
namespace {

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
  RequireTablesWithinFile(*writer->database_);
  return writer;
}

void DatabaseWriter::Reload() {
  database_ = Database::FromPages(session_->pages(), session_->path());
  ++reloads_;
}

void DatabaseWriter::Change(const std::function<void()>& operation) {
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
  if (!table) ThrowItemNotFound(name);
  if (table->def.columns.empty() && table->linked())
    throw Error(err::kNotSupported, "Operation is not supported for this type of object.");
  return *table;
}

void DatabaseWriter::AddColumn(const std::string& table_name, const NewColumn& spec) {
  Change([&] {
    TableDef table = LocalTable(table_name).def;
    CheckNameStorable(spec.name, "a field of table '" + table.name + "'", format(), database_->header().code_page);
    AppendColumn(table, spec, database_->header());
    WriteTableDefinition(session_->pages(), *allocator_, table, database_->header().code_page);
  });
}

void DatabaseWriter::DeleteColumn(const std::string& table_name, const std::string& column_name) {
  Change([&] {
    const TableInfo& info = LocalTable(table_name);
    TableDef table = info.def;
    auto found = std::find_if(table.columns.begin(), table.columns.end(),
                              [&](const ColumnDef& c) { return SameObjectName(c.name, column_name); });
    if (found == table.columns.end()) ThrowItemNotFound(column_name);
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
      PropertyBlob blob = ParsePropertyBlob(info.object.properties, format(), database_->header().code_page);
      blob.groups.erase(std::remove_if(blob.groups.begin(), blob.groups.end(),
                                       [&](const PropertyGroup& g) {
                                         return g.chunk_type != 0 && SameObjectName(g.target, column_name);
                                       }),
                        blob.groups.end());
      CatalogWriter(session_->pages(), *allocator_, *database_).SetProperties(info.object, EncodePropertyBlob(blob, format(), database_->header().code_page));
    }
  });
}

void DatabaseWriter::SetColumnProperty(const std::string& table_name, const std::string& column_name,
                                       const ColumnPropertyValue& value) {
  Change([&] {
    const TableInfo& info = LocalTable(table_name);
    PropertyBlob blob = info.object.properties.empty() ? PropertyBlob{} : ParsePropertyBlob(info.object.properties, format(), database_->header().code_page);
    ApplyColumnProperty(blob, info, column_name, value);
    CatalogWriter(session_->pages(), *allocator_, *database_).SetProperties(info.object, EncodePropertyBlob(blob, format(), database_->header().code_page));
  });
}

void DatabaseWriter::ApplyColumnProperty(PropertyBlob& blob, const TableInfo& info, const std::string& column_name,
                                         const ColumnPropertyValue& value) const {
  const FieldInfo* field = info.FindField(column_name);
  if (!field) ThrowItemNotFound(column_name);
  PropertyGroup& group = GroupFor(blob, field->name());
  StoredProperty property;
  if (value.integer) {
    // DAO's OrdinalPosition is an Integer.
    property.name = value.name;
    property.type = dao_type::kInteger;
    property.value = {static_cast<uint8_t>(*value.integer), static_cast<uint8_t>(static_cast<uint16_t>(*value.integer) >> 8)};
  } else if (value.boolean) {
    property = BoolProperty(value.name, *value.boolean);
  } else {
    CheckTextStorable(value.text.value_or(""), "the " + value.name + " of field '" + field->name() + "' in table '" + info.name + "'",
                      format(), database_->header().code_page);
    property = TextProperty(value.name, value.text.value_or(""), format(), database_->header().code_page);
    property.type = dao_type::kMemo;  // Access keeps expressions and texts as memo properties
  }
  property.ddl_flag = 1;
  auto existing = std::find_if(group.properties.begin(), group.properties.end(),
                               [&](const StoredProperty& p) { return SameObjectName(p.name, value.name); });
  // An empty text removes the property, as setting "" does in DAO.
  const bool remove = !value.boolean && !value.integer && value.text.value_or("").empty();
  if (existing != group.properties.end()) {
    if (remove) {
      group.properties.erase(existing);
    } else {
      *existing = property;
    }
  } else if (!remove) {
    group.properties.push_back(property);
  }
}

namespace {

[[noreturn]] void RequiredIsNull(const std::string& field) {
  throw Error(3314, "The field '" + field + "' cannot contain a Null value because the Required property for this field is set to True. Enter a value in this field.");
}

// The value a field gets when an insert does not name it: its default when that is a plain
// constant, otherwise Null.
Value DefaultFor(const FieldInfo& field, Format format) {
  if (!field.default_value || field.default_value->empty()) return Value{};
  std::string text = *field.default_value;
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
    return ConvertForColumn(text.substr(1, text.size() - 2), field.column, format);
  try {
    return ConvertForColumn(text, field.column, format);
  } catch (const Error&) {
    return Value{};  // an expression (Date(), Now() ...): not evaluated here
  }
}

}  // namespace

void DatabaseWriter::Execute(const std::string& sql) {
  const Statement statement = ParseStatement(sql);
  Change([&] {
    const uint16_t code_page = database_->header().code_page;
    const TableInfo& info = LocalTable(statement.table);
    TableDef table = info.def;
    if (statement.kind == Statement::Kind::kUpdate) {
      const FieldInfo* field = info.FindField(statement.field);
      if (!field) throw Error(3061, "Too few parameters. Expected 1.");
      const size_t position = field->column.position;
      const Value value = ConvertForColumn(statement.constant, field->column, format());
      if (IsNull(value) && field->Required()) RequiredIsNull(field->name());
      std::vector<std::pair<RowLocation, Row>> rows;
      {
        auto cursor = database_->Rows(info);
        Row row;
        while (cursor.Next(row)) {
          rows.emplace_back(cursor.location(), row);
          session_->pages().SpillIfOverBudget();
        }
      }
      IndexedTableWriter writer(session_->pages(), *allocator_, table, code_page);
      for (auto& [location, row] : rows) {
        row[position] = value;
        writer.Update(location, row);
        session_->pages().SpillIfOverBudget();
      }
      std::vector<size_t> touched;
      for (size_t i = 0; i < table.real_indexes.size(); ++i)
        for (const IndexColumnDef& key : table.real_indexes[i].columns)
          if (key.column_number == field->column.number) touched.push_back(i);
      if (!touched.empty()) {
        writer.UpdateIndexes(touched);
        WriteTableDefinition(session_->pages(), *allocator_, table, code_page);
      }
      return;
    }

    const TableInfo& source = LocalTable(statement.source);
    // Every source field must have a target field of its name.
    std::vector<int> source_of(table.columns.size(), -1);
    for (const FieldInfo& from : source.fields) {
      bool found = false;
      for (size_t t = 0; t < table.columns.size(); ++t) {
        if (SameObjectName(table.columns[t].name, from.name())) {
          source_of[t] = from.column.position;
          found = true;
        }
      }
      if (!found)
        throw Error(3127, "The INSERT INTO statement contains the following unknown field name: '" + from.name() +
                              "'. Make sure you have typed the name correctly, and try the operation again.");
    }
    std::vector<Value> defaults(table.columns.size());
    std::vector<const FieldInfo*> target_fields(table.columns.size());
    for (size_t t = 0; t < table.columns.size(); ++t) {
      target_fields[t] = info.FindField(table.columns[t].name);
      if (source_of[t] < 0 && target_fields[t]) defaults[t] = DefaultFor(*target_fields[t], format());
    }
    auto converted = [&](const Row& from) {
      Row row(table.columns.size());
      for (size_t t = 0; t < table.columns.size(); ++t) {
        row[t] = source_of[t] < 0 ? defaults[t]
                                  : ConvertForColumn(from.at(static_cast<size_t>(source_of[t])), table.columns[t], format());
        if (IsNull(row[t]) && target_fields[t] && target_fields[t]->Required() &&
            (table.columns[t].flags & column_flag::kAutoNumber) == 0)
          RequiredIsNull(table.columns[t].name);
      }
      return row;
    };
    IndexedTableWriter writer(session_->pages(), *allocator_, table, code_page);
    uint64_t copied = 0;
    // Between rows neither the cursor nor the writer holds a page: changed pages may spill.
    auto insert = [&](Row row) {
      writer.Insert(std::move(row));
      ReportRowCopyProgress(info.name, ++copied, source.def.row_count);
      session_->pages().SpillIfOverBudget();
    };
    std::vector<Row> pending;
    const bool same = SameObjectName(source.name, info.name);
    std::vector<bool> required(table.columns.size());
    for (size_t t = 0; t < table.columns.size(); ++t) required[t] = target_fields[t] && target_fields[t]->Required();
    RowTransform transform(source.def, table, source_of, required, format(), code_page);
    if (!same && transform.usable()) {
      // Values whose field keeps its type go over as stored; a row the transform leaves is
      // decoded and converted as below.
      TableScan scan(session_->pages(), source.def);
      const DecodeContext decode{format(), code_page, &session_->pages()};
      while (scan.Next()) {
        if (transform.Build(scan.bytes(), session_->pages(), writer.Builder())) {
          writer.InsertBuilt();
          ReportRowCopyProgress(info.name, ++copied, source.def.row_count);
          session_->pages().SpillIfOverBudget();
        } else {
          insert(converted(DecodeRow(source.def, scan.bytes(), decode)));
        }
      }
    } else {
      auto cursor = database_->Rows(source);
      Row row;
      while (cursor.Next(row)) {
        if (same) {
          pending.push_back(converted(row));
          session_->pages().SpillIfOverBudget();
        } else {
          insert(converted(row));
        }
      }
    }
    for (Row& row : pending) insert(std::move(row));
    ReportRowCopyProgress(info.name, copied, copied);
    writer.UpdateIndexes();
    WriteTableDefinition(session_->pages(), *allocator_, table, code_page);
  });
}

void DatabaseWriter::InsertRows(const std::string& table_name, const std::function<bool(Row&)>& next) {
  Change([&] {
    const uint16_t code_page = database_->header().code_page;
    const TableInfo& info = LocalTable(table_name);
    TableDef table = info.def;
    IndexedTableWriter writer(session_->pages(), *allocator_, table, code_page);
    Row given;
    while (next(given)) {
      if (given.size() != info.fields.size())
        throw Error(3000, "A row for '" + info.name + "' holds " + std::to_string(given.size()) + " values, not " +
                              std::to_string(info.fields.size()) + ".");
      Row row(table.columns.size());
      for (size_t f = 0; f < info.fields.size(); ++f) {
        const FieldInfo& field = info.fields[f];
        Value value = ConvertForColumn(given[f], field.column, format());
        if (IsNull(value) && field.Required() && !field.column.auto_number()) RequiredIsNull(field.name());
        row.at(field.column.position) = std::move(value);
      }
      writer.Insert(std::move(row));
      session_->pages().SpillIfOverBudget();
    }
    writer.UpdateIndexes();
    WriteTableDefinition(session_->pages(), *allocator_, table, code_page);
  });
}

void DatabaseWriter::Commit() {
  // A rebuilt table leaves its old pages free: the new file need not carry their bytes.
  session_->Commit(session_->pages().changed() ? PagesFreedSinceBase(session_->pages(), format())
                                               : std::vector<bool>{});
}

void DatabaseWriter::SetPageMemoryBudget(size_t bytes) { session_->SetPageMemoryBudget(bytes); }

}  // namespace jet
