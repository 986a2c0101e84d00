#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "jet/core/database.h"
#include "jet/query/property_blob.h"
#include "jet/store/write_session.h"
#include "jet/write/column_layout.h"
#include "jet/write/index_definition.h"
#include "jet/write/page_allocator.h"

namespace jet {

// The value of one of the column properties DAO exposes.
struct ColumnPropertyValue {
  // The integer comes last and is optional, so the Boolean and text properties are written
  // {name, boolean, text} as before.
  ColumnPropertyValue(std::string name, std::optional<bool> boolean, std::optional<std::string> text,
                      std::optional<int16_t> integer = std::nullopt)
      : name(std::move(name)), boolean(boolean), text(std::move(text)), integer(integer) {}

  std::string name;  // Required, AllowZeroLength, DefaultValue, ValidationRule, ValidationText, OrdinalPosition
  std::optional<bool> boolean;
  std::optional<std::string> text;
  std::optional<int16_t> integer;  // OrdinalPosition
};

// A table to create, as a detached DAO TableDef carries it to TableDefs.Append.
struct NewTable {
  std::string name;
  std::vector<NewColumn> columns;
  std::vector<std::vector<ColumnPropertyValue>> properties;  // per column, applied in order
  std::vector<NewIndex> indexes;
};

// A database open for changes. Every operation applies completely or raises its error and
// leaves the database as it was; what it changed is visible at once through database().
// Nothing reaches the file before Commit.
class DatabaseWriter {
 public:
  static std::unique_ptr<DatabaseWriter> Open(const std::filesystem::path& path);

  const Database& database() const { return *database_; }
  // How many times database() has been made anew: what was found in it stays valid while
  // this stays the same.
  uint64_t reloads() const { return reloads_; }
  Format format() const { return session_->format(); }

  void AddColumn(const std::string& table, const NewColumn& column);
  void DeleteColumn(const std::string& table, const std::string& column);
  void SetColumnProperty(const std::string& table, const std::string& column, const ColumnPropertyValue& value);

  // Runs UPDATE t SET f = constant, or INSERT INTO t1 SELECT t.* FROM t (see statement.h),
  // failing as a whole on the first row that cannot be written (DAO's dbFailOnError).
  void Execute(const std::string& sql);

  // Appends rows to a table: `next` fills one row per call, a value for each field in the order
  // database() lists the table's fields, and returns false when there are no more. Values are
  // converted as an insert converts them (a Null autonumber gets the next number); a Null in a
  // required field raises 3314. The rows and the rebuilt indexes apply as a whole or not at all.
  void InsertRows(const std::string& table, const std::function<bool(Row&)>& next);

  // Objects of the catalog. Names follow Jet's rules (3125); a name another table or query
  // has is refused (3010 / 3012); a table or index that takes part in a relationship is not
  // deleted (3303).
  void CreateTable(const NewTable& spec);
  void DeleteTable(const std::string& name);
  void RenameTable(const std::string& from, const std::string& to);
  // Builds the index from the table's rows: 3022 for duplicate keys of a unique index, 3058
  // for a Null in a primary key.
  void CreateIndex(const std::string& table, const NewIndex& spec);
  void DeleteIndex(const std::string& table, const std::string& index);
  // A copy of `source` (a query of another database) keeps its complete stored definition;
  // without one the query is stored from its SQL text.
  void CreateQuery(const std::string& name, const std::string& sql, const QueryInfo* source = nullptr);
  void DeleteQuery(const std::string& name);

  void Commit();

  // How much memory the pages a pending change touches may take before they move to a
  // scratch file beside the database (store::WriteSession's default unless set).
  void SetPageMemoryBudget(size_t bytes);

 private:
  DatabaseWriter() = default;
  // Runs one operation under a savepoint and reloads the view of the database after it,
  // whether it succeeded or not.
  void Change(const std::function<void()>& operation);
  void Reload();
  const TableInfo& LocalTable(const std::string& name) const;
  // Sets or removes one property of a column in the table's property blob.
  void ApplyColumnProperty(PropertyBlob& blob, const TableInfo& table, const std::string& column,
                           const ColumnPropertyValue& value) const;
  void CheckNewObjectName(const std::string& name, const TableInfo* renamed) const;

  std::unique_ptr<store::WriteSession> session_;
  std::unique_ptr<PageAllocator> allocator_;
  std::unique_ptr<Database> database_;
  uint64_t reloads_ = 0;
};

}  // namespace jet
