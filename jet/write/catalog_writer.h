#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/core/database.h"
#include "jet/query/query_row.h"
#include "jet/store/page_overlay.h"
#include "jet/write/page_allocator.h"

namespace jet {

// Changes to the system tables that describe objects: MSysObjects (one row per object),
// MSysACEs (its permissions), MSysQueries (the parts of stored queries) and MSysRelationships.
// Every change keeps the system table's own indexes in step with its rows. The view of the
// database passed in is the one before the change; the caller reloads afterwards.
class CatalogWriter {
 public:
  CatalogWriter(store::PageOverlay& pages, PageAllocator& allocator, Database& database);

  // The container every table and query belongs to ("Tables").
  static constexpr int32_t kTablesContainer = 0x0F000001;
  // Ids of objects that are not tables count up from here.
  static constexpr int32_t kFirstNonTableId = INT32_MIN;

  struct NewObject {
    int32_t id = 0;
    std::string name;
    int16_t type = 0;
    int32_t flags = 0;
    std::vector<uint8_t> properties;  // LvProp; empty for none
  };
  // Adds the object's row, owned by the database's owner, dated now, with the permissions a
  // new object of the Tables container gets.
  void AddObject(const NewObject& object);
  // Removes the object's row and its permissions.
  void RemoveObject(const CatalogObject& object);
  void RenameObject(const CatalogObject& object, const std::string& name);
  // Replaces the object's LvProp (empty: none). The row keeps its place, and so the
  // catalog's index entries, whose keys do not include LvProp, stay valid.
  void SetProperties(const CatalogObject& object, const std::vector<uint8_t>& blob);
  // An id no object has, for a query.
  int32_t UnusedNonTableId() const;

  void AddQueryRows(int32_t object_id, const std::vector<QueryRow>& rows);
  void RemoveQueryRows(int32_t object_id);

  // Relationships that name the table, on either side.
  bool HasRelationships(std::string_view table) const;
  void RenameInRelationships(std::string_view from, const std::string& to);

 private:
  const TableInfo& System(std::string_view name) const;
  // The object's MSysObjects row as stored; a damage error when it is not there.
  Row RowOf(const TableInfo& objects, const CatalogObject& object) const;
  // Rows of a system table with their locations.
  std::vector<std::pair<RowLocation, Row>> RowsOf(const TableInfo& table) const;
  // Applies `change` to the rows of a system table and brings the table's indexes and
  // definition in step: a change of a few rows among many changes only their index entries.
  void Edit(const TableInfo& table, const std::function<void(class IndexedTableWriter&, TableDef&)>& change);

  store::PageOverlay& pages_;
  PageAllocator& allocator_;
  Database& database_;
};

// Position of the named column in the table's definition; raises a damage error if absent.
size_t ColumnPosition(const TableDef& table, std::string_view name);

}  // namespace jet
