#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/core/header_page.h"
#include "jet/core/schema_info.h"
#include "jet/core/table_scan.h"
#include "jet/core/value.h"

namespace jet {

// A Jet database opened for reading: its header, its catalog of tables and queries, and the
// rows of its tables. Opening reads the whole catalog; rows are read on demand.
class Database {
 public:
  // Raises 3024 for a missing file, 3051 for one that may not be read, 3343 for a file that
  // is not a Jet 3 or Jet 4 database, 3049 for a damaged one, 3031 when the database has a
  // password (the path alone does not open it).
  static std::unique_ptr<Database> Open(const std::filesystem::path& path);
  // Reads a database from pages already at hand (a write session's view, a test image).
  static std::unique_ptr<Database> FromPages(PageSource& pages, const std::filesystem::path& path);

  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::filesystem::path& path() const { return path_; }
  const DatabaseHeader& header() const { return header_; }
  Format format() const { return header_.format; }
  PageSource& pages() { return *pages_; }

  // Every table, system and linked ones included, in catalog order.
  const std::vector<TableInfo>& tables() const { return tables_; }
  // The same tables by name without regard to case, as DAO's collection lists them.
  const std::vector<const TableInfo*>& tables_by_name() const { return tables_by_name_; }
  const TableInfo* FindTable(std::string_view name) const;
  // Every stored query, in catalog order.
  const std::vector<QueryInfo>& queries() const { return queries_; }
  // The same queries by name without regard to case, as DAO's collection lists them.
  const std::vector<const QueryInfo*>& queries_by_name() const { return queries_by_name_; }
  const QueryInfo* FindQuery(std::string_view name) const;
  // Every row of MSysObjects, whatever it describes.
  const std::vector<CatalogObject>& catalog() const { return catalog_; }

  // Streams the decoded rows of a local table.
  class RowCursor {
   public:
    RowCursor(Database& database, const TableInfo& table);
    // One value per column of table.def.columns, in that order.
    bool Next(Row& row);
    RowLocation location() const { return scan_.location(); }

   private:
    const TableInfo& table_;
    Format format_;
    TableScan scan_;
    uint16_t code_page_;
    PageSource& pages_;
  };
  RowCursor Rows(const TableInfo& table) { return RowCursor(*this, table); }

 private:
  struct Files;
  Database() = default;
  void Load();
  void IndexTableNames();
  void IndexQueryNames();

  std::filesystem::path path_;
  std::unique_ptr<Files> files_;
  PageSource* pages_ = nullptr;
  DatabaseHeader header_;
  std::vector<CatalogObject> catalog_;
  std::vector<TableInfo> tables_;
  std::unordered_map<std::string, size_t> table_positions_;  // lower-case name -> first table
  std::vector<const TableInfo*> tables_by_name_;
  std::vector<QueryInfo> queries_;
  std::unordered_map<std::string, size_t> query_positions_;  // lower-case name -> first query
  std::vector<const QueryInfo*> queries_by_name_;
};

}  // namespace jet
