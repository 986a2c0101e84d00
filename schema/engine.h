#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The database engine as the program sees it: the object model of DAO over Jet, reduced to
// what the passes and the compaction use. Collections are addressed by 0-based 16-bit position
// (Item(i) for i in 0 .. Count() - 1); Append and Delete take effect at once, and Count stays
// fixed between changes. Every call that fails raises jet::Error with the engine's number.
namespace schema {

class Field;
class Index;
class TableDef;
class QueryDef;
class Database;

using FieldRef = std::shared_ptr<Field>;
using IndexRef = std::shared_ptr<Index>;
using TableDefRef = std::shared_ptr<TableDef>;
using QueryDefRef = std::shared_ptr<QueryDef>;
using DatabaseRef = std::shared_ptr<Database>;

class Field {
 public:
  virtual ~Field() = default;
  virtual std::string Name() const = 0;
  virtual int16_t Type() const = 0;
  virtual int32_t Size() const = 0;  // text: length in characters
  virtual bool AllowZeroLength() const = 0;
  virtual std::string DefaultValue() const = 0;
  virtual int16_t OrdinalPosition() const = 0;
  virtual bool Required() const = 0;
  virtual std::string ValidationRule() const = 0;
  virtual std::string ValidationText() const = 0;

  virtual void SetAllowZeroLength(bool value) = 0;
  virtual void SetDefaultValue(const std::string& value) = 0;
  virtual void SetOrdinalPosition(int16_t value) = 0;
  virtual void SetRequired(bool value) = 0;
  virtual void SetValidationRule(const std::string& value) = 0;
  virtual void SetValidationText(const std::string& value) = 0;
};

// What a comparison of two schemas reads of a field.
struct FieldFacts {
  std::string_view name;  // held by the engine: valid until the database changes
  int16_t type = 0;
  int32_t size = 0;
};

class Fields {
 public:
  virtual ~Fields() = default;
  virtual int16_t Count() const = 0;
  virtual FieldRef Item(int16_t position) const = 0;  // 3265 outside 0 .. Count() - 1
  virtual void Append(const FieldRef& field) = 0;
  virtual void Delete(const std::string& name) = 0;
  // Name, Type and Size of every field in position order, at once, from an engine that holds
  // them at hand and cannot fail to give them; false from any other, whose items are then
  // read one by one. A pass comparing every field of a wide schema spent most of its time
  // making field objects to ask three questions each.
  virtual bool ReadFacts(std::vector<FieldFacts>& facts) const {
    facts.clear();
    return false;
  }
};

class Index {
 public:
  virtual ~Index() = default;
  virtual std::string Name() const = 0;
  virtual bool Primary() const = 0;
  virtual bool Unique() const = 0;
  virtual void SetPrimary(bool value) = 0;
  virtual void SetUnique(bool value) = 0;
  virtual Fields& IndexFields() = 0;  // DAO's Index.Fields: names in key order
  virtual FieldRef CreateField(const std::string& name) = 0;
};

class Indexes {
 public:
  virtual ~Indexes() = default;
  virtual int16_t Count() const = 0;
  virtual IndexRef Item(int16_t position) const = 0;
  virtual void Append(const IndexRef& index) = 0;
  virtual void Delete(const std::string& name) = 0;
  // Every index's Name in position order, as Fields::ReadFacts gives fields.
  virtual bool ReadNames(std::vector<std::string_view>& names) const {
    names.clear();
    return false;
  }
};

class TableDef {
 public:
  virtual ~TableDef() = default;
  virtual std::string Name() const = 0;
  virtual void SetName(const std::string& name) = 0;  // rename a stored table
  virtual int32_t Attributes() const = 0;
  virtual Fields& TableFields() = 0;
  virtual Indexes& TableIndexes() = 0;
  virtual FieldRef CreateField(const std::string& name, int16_t type, int16_t size) = 0;
  virtual IndexRef CreateIndex(const std::string& name) = 0;
};

class TableDefs {
 public:
  virtual ~TableDefs() = default;
  virtual int16_t Count() const = 0;
  virtual TableDefRef Item(int16_t position) const = 0;
  virtual void Refresh() = 0;
  virtual void Append(const TableDefRef& table) = 0;
  virtual void Delete(const std::string& name) = 0;
};

class QueryDef {
 public:
  virtual ~QueryDef() = default;
  virtual std::string Name() const = 0;
  virtual std::string SQL() const = 0;
};

class QueryDefs {
 public:
  virtual ~QueryDefs() = default;
  virtual int16_t Count() const = 0;
  virtual QueryDefRef Item(int16_t position) const = 0;
  virtual void Delete(const std::string& name) = 0;
};

class Database {
 public:
  virtual ~Database() = default;
  virtual std::string Name() const = 0;  // the path it was opened from
  virtual TableDefs& Tables() = 0;       // DAO's Database.TableDefs
  virtual QueryDefs& Queries() = 0;      // DAO's Database.QueryDefs
  virtual TableDefRef CreateTableDef(const std::string& name) = 0;
  // Creates and stores the query at once. `source` is the query it copies when the program
  // copies a query from another database (the copy keeps its complete stored definition);
  // null when only the SQL text is known.
  virtual QueryDefRef CreateQueryDef(const std::string& name, const std::string& sql,
                                     const QueryDef* source = nullptr) = 0;
  virtual void Execute(const std::string& sql, int32_t options) = 0;
  virtual void Close() = 0;
  // Closes without keeping what was changed since the database was opened, where the engine
  // holds changes until Close (the jet engine does); an engine that cannot closes normally.
  // A failed update then leaves the database exactly as it was, instead of half updated.
  virtual void CloseDiscardingChanges() { Close(); }
  virtual bool DiscardsChangesOnRequest() const { return false; }
};

class Workspace {
 public:
  virtual ~Workspace() = default;
  // Shared, read-write, path only (no options, no connect string).
  virtual DatabaseRef OpenDatabase(const std::string& path) = 0;
  // An open that may run while the caller opens another database: the call may start it, the
  // function returned finishes it, giving the database or raising the open's error. Dropped
  // without being called, it waits for an open it started and drops its error too. This one
  // opens only when called.
  using PendingOpen = std::function<DatabaseRef()>;
  virtual PendingOpen OpenDatabaseAhead(const std::string& path) {
    return [this, path] { return OpenDatabase(path); };
  }
};

using WorkspaceRef = std::shared_ptr<Workspace>;

class DBEngine {
 public:
  virtual ~DBEngine() = default;
  virtual WorkspaceRef Workspaces(int16_t position) = 0;
  // The source must be closed; the destination must not exist.
  virtual void CompactDatabase(const std::string& source, const std::string& destination) = 0;
};

// The program's engine: created on first use, kept until the program ends.
DBEngine& TheEngine();

}  // namespace schema
