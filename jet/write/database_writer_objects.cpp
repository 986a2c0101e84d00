// The catalog operations of DatabaseWriter: tables, indexes and queries as whole objects.
#include <algorithm>
#include <set>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/core/row_codec.h"
#include "jet/core/table_scan.h"
#include "jet/core/usage_map.h"
#include "jet/query/query_from_sql.h"
#include "jet/store/page_overlay.h"
#include "jet/write/catalog_writer.h"
#include "jet/write/code_page_text.h"
#include "jet/write/data_page_writer.h"
#include "jet/write/database_writer.h"
#include "jet/write/index_builder.h"
#include "jet/write/long_value_reach.h"
#include "jet/write/table_definition_writer.h"
#include "jet/write/usage_map_rows.h"

namespace jet {
namespace {

constexpr size_t kMaxObjectNameLength = 64;
constexpr int32_t kRelationshipInUse = 3303;
// Table ids are definition pages, kept in the low 24 bits of the id.
constexpr uint32_t kHighestTablePage = 0x00FFFFFF;

[[noreturn]] void InUseByRelationship() {
  throw Error(kRelationshipInUse,
              "Cannot delete this index or table.  It is either the current index or is used in a relationship.");
}

// MSysObjects.Flags of a query: DAO's QueryDef.Type.
int32_t QueryObjectFlags(const std::vector<QueryRow>& rows) {
  for (const QueryRow& row : rows) {
    if (row.attribute != query_attribute::kType || !row.flag) continue;
    switch (static_cast<QueryType>(*row.flag)) {
      case QueryType::kCrossTab: return 16;
      case QueryType::kDelete: return 32;
      case QueryType::kUpdate: return 48;
      case QueryType::kAppend: return 64;
      case QueryType::kMakeTable: return 80;
      case QueryType::kDataDefinition: return 96;
      case QueryType::kPassThrough: return 112;
      case QueryType::kUnion: return 128;
      default: return 0;
    }
  }
  return 0;
}

}  // namespace

void DatabaseWriter::CheckNewObjectName(const std::string& name, const TableInfo* renamed) const {
  const bool bad_character = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == '.' || c == '!' || c == '`' || c == '[' || c == ']';
  });
  if (name.empty() || name.front() == ' ' || name.size() > kMaxObjectNameLength || bad_character)
    throw Error(err::kNameInvalid, "'" + name + "' is not a valid name. Make sure that it does not include invalid "
                                   "characters or punctuation and that it is not too long.");
  CheckNameStorable(name, "a table or query", format(), database_->header().code_page);
  if (const TableInfo* table = database_->FindTable(name); table && table != renamed)
    throw Error(err::kTableExists, "Table '" + name + "' already exists.");
  if (database_->FindQuery(name)) throw Error(3012, "Object '" + name + "' already exists.");
}

void DatabaseWriter::CreateTable(const NewTable& spec) {
  Change([&] {
    CheckNewObjectName(spec.name, nullptr);
    if (spec.columns.empty()) throw Error(3264, "No field defined--cannot append TableDef or Index.");
    store::PageOverlay& pages = session_->pages();
    const Format format = this->format();
    const uint16_t code_page = database_->header().code_page;
    // Every text the new table brings, checked before anything is written.
    for (size_t c = 0; c < spec.columns.size(); ++c) {
      CheckNameStorable(spec.columns[c].name, "a field of table '" + spec.name + "'", format, code_page);
      if (c < spec.properties.size())
        for (const ColumnPropertyValue& value : spec.properties[c])
          if (value.text)
            CheckTextStorable(*value.text, "the " + value.name + " of field '" + spec.columns[c].name + "' in table '" +
                                               spec.name + "'",
                              format, code_page);
    }
    for (const NewIndex& index : spec.indexes)
      CheckNameStorable(index.name, "an index of table '" + spec.name + "'", format, code_page);

    TableDef table;
    table.name = spec.name;
    table.format = format;
    table.table_type = 0x4E;
    table.definition_page = allocator_->Allocate();
    if (table.definition_page > kHighestTablePage) throw Error(3035, "System resource exceeded.");
    for (const NewColumn& column : spec.columns) AppendColumn(table, column, database_->header());

    // The table's maps share a host page beside its definition, as Access keeps them.
    const uint32_t host = allocator_->Allocate();
    InitDataPage(pages.MutablePage(host), format, 0);
    const std::vector<uint8_t> empty_map = NewInlineMap(format);
    table.owned_pages_pointer = AddUsageMapRow(pages, *allocator_, format, host, empty_map);
    table.free_pages_pointer = AddUsageMapRow(pages, *allocator_, format, host, empty_map);
    for (const NewIndex& index : spec.indexes) {
      const size_t real = AppendIndexDefinition(table, index, AddUsageMapRow(pages, *allocator_, format, host, empty_map));
      BuildIndex(pages, *allocator_, table, real, {});
    }
    WriteTableDefinition(pages, *allocator_, table, code_page);

    CatalogWriter catalog(pages, *allocator_, *database_);
    catalog.AddObject({static_cast<int32_t>(table.definition_page), spec.name, object_type::kTable, 0, {}});
    Reload();
    // All the fields' properties go into one blob, written once.
    const TableInfo& stored = LocalTable(spec.name);
    PropertyBlob blob;
    bool any = false;
    for (size_t c = 0; c < spec.properties.size() && c < spec.columns.size(); ++c) {
      for (const ColumnPropertyValue& value : spec.properties[c]) {
        ApplyColumnProperty(blob, stored, spec.columns[c].name, value);
        any = true;
      }
    }
    if (any) CatalogWriter(pages, *allocator_, *database_).SetProperties(stored.object, EncodePropertyBlob(blob, format, code_page));
  });
}

void DatabaseWriter::DeleteTable(const std::string& name) {
  Change([&] {
    const TableInfo* found = database_->FindTable(name);
    if (!found) ThrowItemNotFound(name);
    const TableInfo& info = *found;
    if (info.system()) throw Error(err::kNotSupported, "Operation is not supported for this type of object.");
    CatalogWriter catalog(session_->pages(), *allocator_, *database_);
    if (catalog.HasRelationships(info.name)) InUseByRelationship();
    catalog.RemoveObject(info.object);
    if (info.def.columns.empty()) return;  // a linked table is only its catalog row

    // Its pages go back to the file. Pages the maps name but the table does not own are left
    // alone: a damaged map must not free another table's data.
    store::PageOverlay& pages = session_->pages();
    const TableDef& table = info.def;
    const Format format = this->format();
    std::set<uint32_t> released;
    auto release = [&](uint32_t page) {
      if (page > 2 && page < pages.page_count() && released.insert(page).second) allocator_->Release(page);
    };
    // Each page the map names is still read to see whose it is, but neighbours are read in one
    // call: a large table's pages lie together, and reading them one at a time cost a system
    // call each.
    const std::vector<uint32_t> owned = ReadUsageMap(pages, format, table.owned_pages_pointer).pages;
    // Long-value pages name no owner: they go when the rows alone use them.
    LongValueReach long_values(table);
    constexpr size_t kPagesPerRead = 256;
    const size_t page_size = pages.page_size();
    std::vector<uint8_t> run;
    for (size_t at = 0; at < owned.size();) {
      const uint32_t first = owned[at];
      if (first >= pages.page_count()) {
        ++at;
        continue;
      }
      size_t count = 1;
      while (at + count < owned.size() && count < kPagesPerRead && owned[at + count] == first + count &&
             owned[at + count] < pages.page_count())
        ++count;
      run.clear();
      pages.AppendPages(first, static_cast<uint32_t>(count), run);
      for (size_t i = 0; i < count; ++i) {
        const std::span<const uint8_t> bytes(run.data() + i * page_size, page_size);
        if (bytes[0] != 0x01 || ByteReader(bytes).U32(4) != table.definition_page) continue;
        release(first + static_cast<uint32_t>(i));
        long_values.AddDataPage(bytes);
      }
      at += count;
      pages.SpillIfOverBudget();  // a table made in this session may have been spilled
    }
    for (uint32_t page : long_values.PagesOnlyTheseRowsUse(pages)) release(page);
    for (size_t i = 0; i < table.real_indexes.size(); ++i) DeleteIndexPages(pages, *allocator_, table, i);
    for (uint32_t page : table.definition_pages) release(page);
    std::vector<uint32_t> maps = {table.owned_pages_pointer, table.free_pages_pointer};
    for (const RealIndexDef& index : table.real_indexes) maps.push_back(index.usage_map_pointer);
    for (const LongValueMapsDef& lv : table.long_value_maps) {
      if (lv.owned_pages_pointer) maps.push_back(lv.owned_pages_pointer);
      if (lv.free_pages_pointer) maps.push_back(lv.free_pages_pointer);
    }
    std::sort(maps.begin(), maps.end());  // so that a map shared by two owners is removed once
    maps.erase(std::unique(maps.begin(), maps.end()), maps.end());
    for (uint32_t map : maps) RemoveUsageMapRow(pages, format, map);
  });
}

void DatabaseWriter::RenameTable(const std::string& from, const std::string& to) {
  Change([&] {
    const TableInfo* found = database_->FindTable(from);
    if (!found) ThrowItemNotFound(from);
    if (found->system()) throw Error(err::kNotSupported, "Operation is not supported for this type of object.");
    CheckNewObjectName(to, found);
    CatalogWriter catalog(session_->pages(), *allocator_, *database_);
    catalog.RenameObject(found->object, to);
    catalog.RenameInRelationships(found->name, to);
  });
}

void DatabaseWriter::CreateIndex(const std::string& table_name, const NewIndex& spec) {
  Change([&] {
    const TableInfo& info = LocalTable(table_name);
    if (spec.name.empty() || spec.name.size() > kMaxObjectNameLength)
      throw Error(err::kNameInvalid, "'" + spec.name + "' is not a valid name.");
    CheckNameStorable(spec.name, "an index of table '" + info.name + "'", format(), database_->header().code_page);
    TableDef table = info.def;
    store::PageOverlay& pages = session_->pages();
    const uint32_t host = table.owned_pages_pointer >> 8;
    const size_t real =
        AppendIndexDefinition(table, spec, AddUsageMapRow(pages, *allocator_, format(), host, NewInlineMap(format())));
    const uint16_t code_page = database_->header().code_page;
    BuildIndexFromRows(pages, *allocator_, table, real, code_page, spec.primary);
    WriteTableDefinition(pages, *allocator_, table, code_page);
  });
}

void DatabaseWriter::DeleteIndex(const std::string& table_name, const std::string& index_name) {
  Change([&] {
    const TableInfo& info = LocalTable(table_name);
    TableDef table = info.def;
    auto found = std::find_if(table.indexes.begin(), table.indexes.end(),
                              [&](const LogicalIndexDef& index) { return SameObjectName(index.name, index_name); });
    if (found == table.indexes.end()) ThrowItemNotFound(index_name);
    if (found->foreign_key() || found->related_table != 0) InUseByRelationship();
    store::PageOverlay& pages = session_->pages();
    const uint16_t code_page = database_->header().code_page;
    const uint32_t real_position = found->real_index;
    const TableDef before = table;
    const RemovedIndex removed = RemoveIndexDefinition(table, static_cast<size_t>(found - table.indexes.begin()));
    if (removed.real) {
      DeleteIndexPages(pages, *allocator_, before, real_position);
      RemoveUsageMapRow(pages, format(), removed.real->usage_map_pointer);
    }
    WriteTableDefinition(pages, *allocator_, table, code_page);
    if (removed.renumbered.empty()) return;
    // Foreign keys of other tables name this table's indexes by number.
    for (const TableInfo& other : database_->tables()) {
      if (other.def.columns.empty() || other.def.definition_page == table.definition_page) continue;
      TableDef partner = other.def;
      bool changed = false;
      for (LogicalIndexDef& index : partner.indexes) {
        if (index.related_table != table.definition_page) continue;
        if (auto renumbered = removed.renumbered.find(index.related_index); renumbered != removed.renumbered.end()) {
          index.related_index = renumbered->second;
          changed = true;
        }
      }
      if (changed) WriteTableDefinition(pages, *allocator_, partner, code_page);
    }
  });
}

void DatabaseWriter::CreateQuery(const std::string& name, const std::string& sql, const QueryInfo* source) {
  Change([&] {
    CheckNewObjectName(name, nullptr);
    std::vector<QueryRow> rows = source ? source->rows : QueryRowsFromSql(name, sql);
    // A query of a database of the other version: its texts must suit this one, and its
    // properties are stored as this version stores them.
    const uint16_t code_page = database_->header().code_page;
    const std::string owner = "query '" + name + "'";
    for (const QueryRow& row : rows) {
      if (row.expression) CheckTextStorable(*row.expression, "a part of the SQL of " + owner, format(), code_page);
      if (row.name1) CheckTextStorable(*row.name1, "a name in the SQL of " + owner, format(), code_page);
      if (row.name2) CheckTextStorable(*row.name2, "a name in the SQL of " + owner, format(), code_page);
    }
    const std::vector<uint8_t> properties =
        source ? PropertyBlobFor(source->object.properties, source->code_page, format(), code_page, owner) : std::vector<uint8_t>{};
    CatalogWriter catalog(session_->pages(), *allocator_, *database_);
    const int32_t id = catalog.UnusedNonTableId();
    for (QueryRow& row : rows) row.object_id = id;
    const int32_t flags = source ? source->object.flags : QueryObjectFlags(rows);
    catalog.AddObject({id, name, object_type::kQuery, flags, properties});
    catalog.AddQueryRows(id, rows);
  });
}

void DatabaseWriter::DeleteQuery(const std::string& name) {
  Change([&] {
    const QueryInfo* query = database_->FindQuery(name);
    if (!query) ThrowItemNotFound(name);
    CatalogWriter catalog(session_->pages(), *allocator_, *database_);
    catalog.RemoveObject(query->object);
    catalog.RemoveQueryRows(query->object.id);
  });
}

}  // namespace jet
