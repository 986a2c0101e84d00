#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "jet/core/database.h"
#include "jet/store/write_session.h"
#include "jet/write/page_allocator.h"

namespace jet {

// A column to add to a table, as DAO's CreateField describes it.
struct NewColumn {
  std::string name;
  int16_t dao_type = 10;
  int32_t size = 0;  // text: characters; other types: ignored
};

// The value of one of the column properties DAO exposes.
struct ColumnPropertyValue {
  std::string name;  // Required, AllowZeroLength, DefaultValue, ValidationRule, ValidationText
  std::optional<bool> boolean;
  std::optional<std::string> text;
};

// A database open for changes. Every operation applies completely or raises its error and
// leaves the database as it was; what it changed is visible at once through database().
// Nothing reaches the file before Commit.
class DatabaseWriter {
 public:
  static std::unique_ptr<DatabaseWriter> Open(const std::filesystem::path& path);

  const Database& database() const { return *database_; }
  Format format() const { return session_->format(); }

  void AddColumn(const std::string& table, const NewColumn& column);
  void DeleteColumn(const std::string& table, const std::string& column);
  void SetColumnProperty(const std::string& table, const std::string& column, const ColumnPropertyValue& value);

  // Runs UPDATE t SET f = constant, or INSERT INTO t1 SELECT t.* FROM t (see statement.h),
  // failing as a whole on the first row that cannot be written (DAO's dbFailOnError).
  void Execute(const std::string& sql);

  void Commit();

 private:
  void RebuildIndexes(TableDef& table, const std::vector<size_t>& real_indexes);
  DatabaseWriter() = default;
  // Runs one operation under a savepoint and reloads the view of the database after it,
  // whether it succeeded or not.
  template <typename Operation>
  void Change(Operation&& operation);
  void Reload();
  const TableInfo& LocalTable(const std::string& name) const;
  void WriteCatalogProperties(const TableInfo& table, const std::vector<uint8_t>& blob);

  std::unique_ptr<store::WriteSession> session_;
  std::unique_ptr<PageAllocator> allocator_;
  std::unique_ptr<Database> database_;
};

}  // namespace jet
