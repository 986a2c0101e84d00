#include "jet/write/catalog_writer.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "jet/common/error.h"
#include "jet/core/catalog_values.h"
#include "jet/write/indexed_table_writer.h"
#include "jet/write/table_definition_writer.h"
#include "jet/write/table_writer.h"

namespace jet {
namespace {

// The ACE of the "Creator" placeholder: the rights the creator of an object gets, which Jet
// does not copy to new objects as it stands. Observed with this mask on every sample file.
constexpr int32_t kCreatorAccessMask = 983294;

bool AsBool(const Value& value) {
  if (const auto* v = std::get_if<bool>(&value)) return *v;
  return AsInt32(value) != 0;
}

// Local time as Jet keeps dates: days since 1899-12-30, the time of day as the fraction.
DateTime Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  // Days from 1899-12-30 to the civil date, by the usual days-from-civil count.
  const int y = local.tm_year + 1900 - (local.tm_mon < 2 ? 1 : 0);
  const int m = local.tm_mon + 1;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + local.tm_mday - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days_since_1970 = static_cast<long>(era) * 146097 + doe - 719468;
  const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  return DateTime{static_cast<double>(days_since_1970 + 25569) + seconds / 86400.0};
}

}  // namespace

size_t ColumnPosition(const TableDef& table, std::string_view name) {
  for (size_t i = 0; i < table.columns.size(); ++i)
    if (table.columns[i].name == name) return i;
  ThrowCorrupt("the system table " + table.name + " has no column " + std::string(name));
}

namespace {

bool HasColumn(const TableDef& table, std::string_view name) {
  for (const ColumnDef& column : table.columns)
    if (column.name == name) return true;
  return false;
}

}  // namespace

CatalogWriter::CatalogWriter(store::PageOverlay& pages, PageAllocator& allocator, Database& database)
    : pages_(pages), allocator_(allocator), database_(database) {}

const TableInfo& CatalogWriter::System(std::string_view name) const {
  const TableInfo* table = database_.FindTable(name);
  if (!table || table->def.columns.empty()) ThrowCorrupt("the system table " + std::string(name) + " is missing");
  return *table;
}

std::vector<std::pair<RowLocation, Row>> CatalogWriter::RowsOf(const TableInfo& table) const {
  std::vector<std::pair<RowLocation, Row>> rows;
  auto cursor = database_.Rows(table);
  Row row;
  while (cursor.Next(row)) rows.emplace_back(cursor.location(), row);
  return rows;
}

void CatalogWriter::Edit(const TableInfo& table, const std::function<void(IndexedTableWriter&, TableDef&)>& change) {
  TableDef def = table.def;
  const uint16_t code_page = database_.header().code_page;
  IndexedTableWriter writer(pages_, allocator_, def, code_page);
  change(writer, def);
  writer.UpdateIndexes();
  WriteTableDefinition(pages_, allocator_, def, code_page);
}

void CatalogWriter::AddObject(const NewObject& object) {
  const TableInfo& objects = System("MSysObjects");
  const TableDef& def = objects.def;
  // New objects are owned by whoever owns the database, as Access records them.
  Value owner;
  for (const auto& [location, row] : RowsOf(objects))
    if (AsText(row[ColumnPosition(def, "Name")]).value_or("") == "MSysDb" && AsInt32(row[ColumnPosition(def, "Type")]) == 2)
      owner = row[ColumnPosition(def, "Owner")];
  const DateTime now = Now();
  Row row(def.columns.size());
  row[ColumnPosition(def, "Id")] = object.id;
  row[ColumnPosition(def, "ParentId")] = kTablesContainer;
  row[ColumnPosition(def, "Name")] = object.name;
  row[ColumnPosition(def, "Type")] = object.type;
  row[ColumnPosition(def, "DateCreate")] = now;
  row[ColumnPosition(def, "DateUpdate")] = now;
  row[ColumnPosition(def, "Owner")] = owner;
  row[ColumnPosition(def, "Flags")] = object.flags;
  if (!object.properties.empty()) row[ColumnPosition(def, "LvProp")] = Binary{object.properties};
  Edit(objects, [&](IndexedTableWriter& writer, TableDef&) { writer.Insert(row); });

  // The container's inheritable permissions, the creator's placeholder left out.
  const TableInfo& aces = System("MSysACEs");
  const TableDef& ace_def = aces.def;
  const size_t object_id = ColumnPosition(ace_def, "ObjectId"), sid = ColumnPosition(ace_def, "SID"),
               mask = ColumnPosition(ace_def, "ACM"), inheritable = ColumnPosition(ace_def, "FInheritable");
  std::vector<Row> granted;
  for (const auto& [location, ace] : RowsOf(aces)) {
    if (AsInt32(ace[object_id]) != kTablesContainer || !AsBool(ace[inheritable])) continue;
    if (AsInt32(ace[mask]) == kCreatorAccessMask) continue;
    Row copy(ace_def.columns.size());
    copy[object_id] = object.id;
    copy[sid] = ace[sid];
    copy[mask] = ace[mask];
    copy[inheritable] = false;
    granted.push_back(std::move(copy));
  }
  if (!granted.empty())
    Edit(aces, [&](IndexedTableWriter& writer, TableDef&) {
      for (Row& ace : granted) writer.Insert(std::move(ace));
    });
}

void CatalogWriter::RemoveObject(const CatalogObject& object) {
  Edit(System("MSysObjects"), [&](IndexedTableWriter& writer, TableDef&) { writer.Delete(object.location); });
  const TableInfo& aces = System("MSysACEs");
  const size_t object_id = ColumnPosition(aces.def, "ObjectId");
  std::vector<RowLocation> doomed;
  for (const auto& [location, ace] : RowsOf(aces))
    if (AsInt32(ace[object_id]) == object.id) doomed.push_back(location);
  if (!doomed.empty())
    Edit(aces, [&](IndexedTableWriter& writer, TableDef&) {
      for (RowLocation location : doomed) writer.Delete(location);
    });
}

Row CatalogWriter::RowOf(const TableInfo& objects, const CatalogObject& object) const {
  auto cursor = database_.Rows(objects);
  Row row;
  while (cursor.Next(row))
    if (cursor.location().page == object.location.page && cursor.location().slot == object.location.slot) return row;
  ThrowCorrupt("the catalog row of '" + object.name + "' is missing");
}

void CatalogWriter::RenameObject(const CatalogObject& object, const std::string& name) {
  const TableInfo& objects = System("MSysObjects");
  Row row = RowOf(objects, object);
  row[ColumnPosition(objects.def, "Name")] = name;
  row[ColumnPosition(objects.def, "DateUpdate")] = Now();
  Edit(objects, [&](IndexedTableWriter& writer, TableDef&) { writer.Update(object.location, row); });
}

void CatalogWriter::SetProperties(const CatalogObject& object, const std::vector<uint8_t>& blob) {
  const TableInfo& objects = System("MSysObjects");
  Row row = RowOf(objects, object);
  row[ColumnPosition(objects.def, "LvProp")] = blob.empty() ? Value{} : Value{Binary{blob}};
  TableDef def = objects.def;
  TableWriter writer(pages_, allocator_, def, database_.header().code_page);
  writer.Update(object.location, row);
}

int32_t CatalogWriter::UnusedNonTableId() const {
  int32_t highest = kFirstNonTableId;
  bool any = false;
  for (const CatalogObject& object : database_.catalog()) {
    if (object.id < 0 && (!any || object.id > highest)) {
      highest = object.id;
      any = true;
    }
  }
  if (!any) return kFirstNonTableId;
  if (highest == -1) throw Error(3035, "System resource exceeded.");
  return highest + 1;
}

void CatalogWriter::AddQueryRows(int32_t object_id, const std::vector<QueryRow>& rows) {
  const TableInfo& queries = System("MSysQueries");
  const TableDef& def = queries.def;
  Edit(queries, [&](IndexedTableWriter& writer, TableDef&) {
    for (const QueryRow& part : rows) {
      Row row(def.columns.size());
      row[ColumnPosition(def, "ObjectId")] = object_id;
      row[ColumnPosition(def, "Attribute")] = part.attribute;
      if (part.expression) row[ColumnPosition(def, "Expression")] = *part.expression;
      if (part.flag) row[ColumnPosition(def, "Flag")] = *part.flag;
      // Jet 3's MSysQueries has no LvExtra: a query of a Jet 4 database leaves it behind.
      if (part.lv_extra && HasColumn(def, "LvExtra")) row[ColumnPosition(def, "LvExtra")] = Binary{*part.lv_extra};
      if (part.name1) row[ColumnPosition(def, "Name1")] = *part.name1;
      if (part.name2) row[ColumnPosition(def, "Name2")] = *part.name2;
      if (part.order) row[ColumnPosition(def, "Order")] = Binary{*part.order};
      writer.Insert(std::move(row));
    }
  });
}

void CatalogWriter::RemoveQueryRows(int32_t object_id) {
  const TableInfo& queries = System("MSysQueries");
  const size_t id = ColumnPosition(queries.def, "ObjectId");
  std::vector<RowLocation> doomed;
  for (const auto& [location, row] : RowsOf(queries))
    if (AsInt32(row[id]) == object_id) doomed.push_back(location);
  if (doomed.empty()) return;
  Edit(queries, [&](IndexedTableWriter& writer, TableDef&) {
    for (RowLocation location : doomed) writer.Delete(location);
  });
}

bool CatalogWriter::HasRelationships(std::string_view table) const {
  const TableInfo* relationships = database_.FindTable("MSysRelationships");
  if (!relationships || relationships->def.columns.empty()) return false;
  const size_t from = ColumnPosition(relationships->def, "szObject");
  const size_t to = ColumnPosition(relationships->def, "szReferencedObject");
  for (const auto& [location, row] : RowsOf(*relationships))
    if (SameObjectName(AsText(row[from]).value_or(""), table) || SameObjectName(AsText(row[to]).value_or(""), table)) return true;
  return false;
}

void CatalogWriter::RenameInRelationships(std::string_view from_name, const std::string& to_name) {
  const TableInfo* relationships = database_.FindTable("MSysRelationships");
  if (!relationships || relationships->def.columns.empty()) return;
  const size_t from = ColumnPosition(relationships->def, "szObject");
  const size_t to = ColumnPosition(relationships->def, "szReferencedObject");
  std::vector<std::pair<RowLocation, Row>> changed;
  for (auto& [location, row] : RowsOf(*relationships)) {
    bool touched = false;
    for (size_t column : {from, to}) {
      if (SameObjectName(AsText(row[column]).value_or(""), from_name)) {
        row[column] = to_name;
        touched = true;
      }
    }
    if (touched) changed.emplace_back(location, row);
  }
  if (changed.empty()) return;
  Edit(*relationships, [&](IndexedTableWriter& writer, TableDef&) {
    for (const auto& [location, row] : changed) writer.Update(location, row);
  });
}

}  // namespace jet
