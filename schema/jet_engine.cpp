#include "schema/jet_engine.h"

#include <algorithm>
#include <vector>

#include "jet/common/error.h"
#include "jet/core/database.h"

namespace schema {
namespace {

[[noreturn]] void NotFound() { throw jet::Error(jet::err::kItemNotFound, "Item not found in this collection."); }

[[noreturn]] void NotYetWritable() {
  throw jet::Error(jet::err::kNotSupported, "Operation is not supported for this type of object.");
}

template <typename T>
const T& At(const std::vector<T>& items, int16_t position) {
  if (position < 0 || static_cast<size_t>(position) >= items.size()) NotFound();
  return items[static_cast<size_t>(position)];
}

int16_t CountOf(size_t size) {
  if (size > static_cast<size_t>(INT16_MAX)) throw jet::Error(6, "Overflow");
  return static_cast<int16_t>(size);
}

// Collections list objects by name, as DAO enumerates them from the catalog's name index.
bool NameBefore(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) < lower(y);
  });
}

class StoredField : public Field {
 public:
  explicit StoredField(jet::FieldInfo info) : info_(std::move(info)) {}
  std::string Name() const override { return info_.name(); }
  int16_t Type() const override { return info_.dao_type; }
  int32_t Size() const override { return info_.size; }
  bool AllowZeroLength() const override { return info_.AllowZeroLength(); }
  std::string DefaultValue() const override { return info_.default_value.value_or(""); }
  int16_t OrdinalPosition() const override { return info_.ordinal_position; }
  bool Required() const override { return info_.Required(); }
  std::string ValidationRule() const override { return info_.validation_rule.value_or(""); }
  std::string ValidationText() const override { return info_.validation_text.value_or(""); }
  void SetAllowZeroLength(bool) override { NotYetWritable(); }
  void SetDefaultValue(const std::string&) override { NotYetWritable(); }
  void SetOrdinalPosition(int16_t) override { NotYetWritable(); }
  void SetRequired(bool) override { NotYetWritable(); }
  void SetValidationRule(const std::string&) override { NotYetWritable(); }
  void SetValidationText(const std::string&) override { NotYetWritable(); }

 private:
  jet::FieldInfo info_;
};

class StoredFields : public Fields {
 public:
  explicit StoredFields(std::vector<FieldRef> items) : items_(std::move(items)) {}
  int16_t Count() const override { return CountOf(items_.size()); }
  FieldRef Item(int16_t position) const override { return At(items_, position); }
  void Append(const FieldRef&) override { NotYetWritable(); }
  void Delete(const std::string&) override { NotYetWritable(); }

 private:
  std::vector<FieldRef> items_;
};

class StoredIndex : public Index {
 public:
  StoredIndex(const jet::IndexInfo& info, std::vector<FieldRef> fields) : info_(info), fields_(std::move(fields)) {}
  std::string Name() const override { return info_.name; }
  bool Primary() const override { return info_.primary; }
  bool Unique() const override { return info_.unique; }
  void SetPrimary(bool) override { NotYetWritable(); }
  void SetUnique(bool) override { NotYetWritable(); }
  Fields& IndexFields() override { return fields_; }
  FieldRef CreateField(const std::string&) override { NotYetWritable(); }

 private:
  jet::IndexInfo info_;
  StoredFields fields_;
};

class StoredIndexes : public Indexes {
 public:
  explicit StoredIndexes(std::vector<IndexRef> items) : items_(std::move(items)) {}
  int16_t Count() const override { return CountOf(items_.size()); }
  IndexRef Item(int16_t position) const override { return At(items_, position); }
  void Append(const IndexRef&) override { NotYetWritable(); }
  void Delete(const std::string&) override { NotYetWritable(); }

 private:
  std::vector<IndexRef> items_;
};

std::vector<FieldRef> FieldsOf(const jet::TableInfo& table) {
  std::vector<FieldRef> fields;
  for (const jet::FieldInfo& field : table.fields) fields.push_back(std::make_shared<StoredField>(field));
  return fields;
}

std::vector<IndexRef> IndexesOf(const jet::TableInfo& table) {
  std::vector<IndexRef> indexes;
  for (const jet::IndexInfo& index : table.indexes) {
    std::vector<FieldRef> key;
    for (const jet::IndexFieldInfo& column : index.fields) {
      const jet::FieldInfo* field = table.FindField(column.name);
      if (field) key.push_back(std::make_shared<StoredField>(*field));
    }
    indexes.push_back(std::make_shared<StoredIndex>(index, std::move(key)));
  }
  return indexes;
}

class StoredTable : public TableDef {
 public:
  explicit StoredTable(const jet::TableInfo& table)
      : name_(table.name), attributes_(table.attributes), fields_(FieldsOf(table)), indexes_(IndexesOf(table)) {}
  std::string Name() const override { return name_; }
  void SetName(const std::string&) override { NotYetWritable(); }
  int32_t Attributes() const override { return attributes_; }
  Fields& TableFields() override { return fields_; }
  Indexes& TableIndexes() override { return indexes_; }
  FieldRef CreateField(const std::string&, int16_t, int16_t) override { NotYetWritable(); }
  IndexRef CreateIndex(const std::string&) override { NotYetWritable(); }

 private:
  std::string name_;
  int32_t attributes_;
  StoredFields fields_;
  StoredIndexes indexes_;
};

class StoredTables : public TableDefs {
 public:
  void Load(const jet::Database& database) {
    std::vector<const jet::TableInfo*> tables;
    for (const jet::TableInfo& table : database.tables()) tables.push_back(&table);
    std::stable_sort(tables.begin(), tables.end(),
                     [](const jet::TableInfo* a, const jet::TableInfo* b) { return NameBefore(a->name, b->name); });
    items_.clear();
    for (const jet::TableInfo* table : tables) items_.push_back(std::make_shared<StoredTable>(*table));
  }
  int16_t Count() const override { return CountOf(items_.size()); }
  TableDefRef Item(int16_t position) const override { return At(items_, position); }
  void Refresh() override {}
  void Append(const TableDefRef&) override { NotYetWritable(); }
  void Delete(const std::string&) override { NotYetWritable(); }

 private:
  std::vector<TableDefRef> items_;
};

class StoredQuery : public QueryDef {
 public:
  explicit StoredQuery(const jet::QueryInfo& query) : query_(query) {}
  std::string Name() const override { return query_.name; }
  std::string SQL() const override { return query_.sql; }
  const jet::QueryInfo& info() const { return query_; }

 private:
  jet::QueryInfo query_;
};

class StoredQueries : public QueryDefs {
 public:
  void Load(const jet::Database& database) {
    items_.clear();
    std::vector<const jet::QueryInfo*> queries;
    for (const jet::QueryInfo& query : database.queries()) queries.push_back(&query);
    std::stable_sort(queries.begin(), queries.end(),
                     [](const jet::QueryInfo* a, const jet::QueryInfo* b) { return NameBefore(a->name, b->name); });
    for (const jet::QueryInfo* query : queries) items_.push_back(std::make_shared<StoredQuery>(*query));
  }
  int16_t Count() const override { return CountOf(items_.size()); }
  QueryDefRef Item(int16_t position) const override { return At(items_, position); }
  void Delete(const std::string&) override { NotYetWritable(); }

 private:
  std::vector<QueryDefRef> items_;
};

class JetDatabase : public Database {
 public:
  explicit JetDatabase(const std::string& path) : path_(path), database_(jet::Database::Open(path)) {
    tables_.Load(*database_);
    queries_.Load(*database_);
  }
  std::string Name() const override { return path_; }
  TableDefs& Tables() override { return tables_; }
  QueryDefs& Queries() override { return queries_; }
  TableDefRef CreateTableDef(const std::string&) override { NotYetWritable(); }
  QueryDefRef CreateQueryDef(const std::string&, const std::string&, const QueryDef*) override { NotYetWritable(); }
  void Execute(const std::string&, int32_t) override { NotYetWritable(); }
  void Close() override { database_.reset(); }

 private:
  std::string path_;
  std::unique_ptr<jet::Database> database_;
  StoredTables tables_;
  StoredQueries queries_;
};

class JetWorkspace : public Workspace {
 public:
  DatabaseRef OpenDatabase(const std::string& path) override { return std::make_shared<JetDatabase>(path); }
};

}  // namespace

JetEngine::JetEngine() : workspace_(std::make_shared<JetWorkspace>()) {}

WorkspaceRef JetEngine::Workspaces(int16_t position) {
  if (position != 0) NotFound();
  return workspace_;
}

void JetEngine::CompactDatabase(const std::string&, const std::string&) { NotYetWritable(); }

DBEngine& TheEngine() {
  static JetEngine engine;
  return engine;
}

}  // namespace schema
