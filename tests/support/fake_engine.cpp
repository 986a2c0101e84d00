#include "tests/support/fake_engine.h"

#include <algorithm>
#include <cctype>

#include "jet/common/error.h"

namespace vantrel::test {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool SameKey(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

[[noreturn]] void NotFound() { throw jet::Error(jet::err::kItemNotFound, "Item not found in this collection."); }

template <typename T>
T& At(std::vector<T>& items, int16_t position) {
  if (position < 0 || static_cast<size_t>(position) >= items.size()) NotFound();
  return items[static_cast<size_t>(position)];
}

template <typename T>
auto Find(std::vector<std::shared_ptr<T>>& items, const std::string& name) {
  return std::find_if(items.begin(), items.end(), [&](const auto& item) { return SameKey(item->name, name); });
}

struct FieldData : FakeField {};
struct IndexData {
  FakeIndex values;
  std::vector<std::shared_ptr<FieldData>> fields;
};
struct TableData {
  std::string name;
  int32_t attributes = 0;
  std::vector<std::shared_ptr<FieldData>> fields;
  std::vector<std::shared_ptr<IndexData>> indexes;
};

}  // namespace

struct FakeEngine::Store {
  std::vector<std::shared_ptr<TableData>> tables;
  std::vector<std::shared_ptr<FakeQuery>> queries;
  std::vector<std::string> statements;
};

namespace {

class FieldObject : public schema::Field {
 public:
  FieldObject(FakeEngine& engine, std::shared_ptr<FieldData> data) : engine_(engine), data_(std::move(data)) {}
  const std::shared_ptr<FieldData>& data() const { return data_; }

  std::string Name() const override { return Get("Field.Name").name; }
  int16_t Type() const override { return Get("Field.Type").type; }
  int32_t Size() const override { return Get("Field.Size").size; }
  bool AllowZeroLength() const override { return Get("Field.AllowZeroLength").allow_zero_length; }
  std::string DefaultValue() const override { return Get("Field.DefaultValue").default_value; }
  int16_t OrdinalPosition() const override { return Get("Field.OrdinalPosition").ordinal_position; }
  bool Required() const override { return Get("Field.Required").required; }
  std::string ValidationRule() const override { return Get("Field.ValidationRule").validation_rule; }
  std::string ValidationText() const override { return Get("Field.ValidationText").validation_text; }

  void SetAllowZeroLength(bool value) override { Set("Field.AllowZeroLength").allow_zero_length = value; }
  void SetDefaultValue(const std::string& value) override { Set("Field.DefaultValue").default_value = value; }
  void SetOrdinalPosition(int16_t value) override { Set("Field.OrdinalPosition").ordinal_position = value; }
  void SetRequired(bool value) override { Set("Field.Required").required = value; }
  void SetValidationRule(const std::string& value) override { Set("Field.ValidationRule").validation_rule = value; }
  void SetValidationText(const std::string& value) override { Set("Field.ValidationText").validation_text = value; }

 private:
  const FieldData& Get(const char* call) const {
    engine_.Call(call);
    return *data_;
  }
  FieldData& Set(const char* call) {
    engine_.Call(std::string(call) + "=");
    return *data_;
  }
  FakeEngine& engine_;
  std::shared_ptr<FieldData> data_;
};

// A table's Fields, or an index's Fields (then `index` is set and only names matter).
class FieldsObject : public schema::Fields {
 public:
  FieldsObject(FakeEngine& engine, std::vector<std::shared_ptr<FieldData>>& items, TableData* owner)
      : engine_(engine), items_(items), owner_(owner) {}

  int16_t Count() const override {
    engine_.Call("Fields.Count");
    return static_cast<int16_t>(items_.size());
  }
  schema::FieldRef Item(int16_t position) const override {
    engine_.Call("Fields.Item");
    return std::make_shared<FieldObject>(engine_, At(items_, position));
  }
  void Append(const schema::FieldRef& field) override {
    engine_.Call("Fields.Append");
    auto* object = dynamic_cast<FieldObject*>(field.get());
    if (object == nullptr) throw jet::Error(3367, "Cannot append. An object with that name is already in the collection.");
    if (Find(items_, object->data()->name) != items_.end())
      throw jet::Error(jet::err::kDuplicateField, "Cannot define field more than once.");
    items_.push_back(object->data());
  }
  void Delete(const std::string& name) override {
    engine_.Call("Fields.Delete");
    auto found = Find(items_, name);
    if (found == items_.end()) NotFound();
    if (owner_ != nullptr) {
      for (const auto& index : owner_->indexes)
        for (const auto& field : index->fields)
          if (field == *found)
            throw jet::Error(jet::err::kFieldInIndex, "Cannot delete a field that is part of an index or is needed by the system.");
    }
    items_.erase(found);
  }

 private:
  FakeEngine& engine_;
  std::vector<std::shared_ptr<FieldData>>& items_;
  TableData* owner_;
};

class IndexObject : public schema::Index {
 public:
  IndexObject(FakeEngine& engine, std::shared_ptr<IndexData> data)
      : engine_(engine), data_(std::move(data)), fields_(engine, data_->fields, nullptr) {}
  const std::shared_ptr<IndexData>& data() const { return data_; }

  std::string Name() const override { return data_->values.name; }
  bool Primary() const override { return data_->values.primary; }
  bool Unique() const override { return data_->values.unique; }
  void SetPrimary(bool value) override { data_->values.primary = value; }
  void SetUnique(bool value) override { data_->values.unique = value; }
  schema::Fields& IndexFields() override { return fields_; }
  schema::FieldRef CreateField(const std::string& name) override {
    engine_.Call("Index.CreateField");
    auto field = std::make_shared<FieldData>();
    field->name = name;
    return std::make_shared<FieldObject>(engine_, field);
  }

 private:
  FakeEngine& engine_;
  std::shared_ptr<IndexData> data_;
  FieldsObject fields_;
};

class IndexesObject : public schema::Indexes {
 public:
  IndexesObject(FakeEngine& engine, TableData& table) : engine_(engine), table_(table) {}
  int16_t Count() const override {
    engine_.Call("Indexes.Count");
    return static_cast<int16_t>(table_.indexes.size());
  }
  schema::IndexRef Item(int16_t position) const override {
    engine_.Call("Indexes.Item");
    return std::make_shared<IndexObject>(engine_, At(table_.indexes, position));
  }
  void Append(const schema::IndexRef& index) override {
    engine_.Call("Indexes.Append");
    auto& data = dynamic_cast<IndexObject&>(*index).data();
    auto same = std::find_if(table_.indexes.begin(), table_.indexes.end(),
                             [&](const auto& other) { return SameKey(other->values.name, data->values.name); });
    if (same != table_.indexes.end()) throw jet::Error(3284, "Index already exists.");
    // Index fields name table fields: bind them to the table's own field objects.
    for (auto& field : data->fields) {
      auto column = Find(table_.fields, field->name);
      if (column == table_.fields.end()) throw jet::Error(3264, "No field defined--cannot append TableDef or Index.");
      field = *column;
    }
    table_.indexes.push_back(data);
  }
  void Delete(const std::string& name) override {
    engine_.Call("Indexes.Delete");
    auto found = std::find_if(table_.indexes.begin(), table_.indexes.end(),
                              [&](const auto& index) { return SameKey(index->values.name, name); });
    if (found == table_.indexes.end()) NotFound();
    table_.indexes.erase(found);
  }

 private:
  FakeEngine& engine_;
  TableData& table_;
};

class TableObject : public schema::TableDef {
 public:
  TableObject(FakeEngine& engine, std::shared_ptr<FakeEngine::Store> store, std::shared_ptr<TableData> data)
      : engine_(engine), store_(std::move(store)), data_(std::move(data)),
        fields_(engine, data_->fields, data_.get()), indexes_(engine, *data_) {}
  const std::shared_ptr<TableData>& data() const { return data_; }

  std::string Name() const override {
    engine_.Call("TableDef.Name");
    return data_->name;
  }
  void SetName(const std::string& name) override {
    engine_.Call("TableDef.Name=");
    for (const auto& other : store_->tables)
      if (other != data_ && SameKey(other->name, name))
        throw jet::Error(jet::err::kTableExists, "Table '" + name + "' already exists.");
    data_->name = name;
  }
  int32_t Attributes() const override {
    engine_.Call("TableDef.Attributes");
    return data_->attributes;
  }
  schema::Fields& TableFields() override { return fields_; }
  schema::Indexes& TableIndexes() override { return indexes_; }
  schema::FieldRef CreateField(const std::string& name, int16_t type, int16_t size) override {
    engine_.Call("TableDef.CreateField");
    auto field = std::make_shared<FieldData>();
    field->name = name;
    field->type = type;
    field->size = size;
    return std::make_shared<FieldObject>(engine_, field);
  }
  schema::IndexRef CreateIndex(const std::string& name) override {
    engine_.Call("TableDef.CreateIndex");
    auto index = std::make_shared<IndexData>();
    index->values.name = name;
    return std::make_shared<IndexObject>(engine_, index);
  }

 private:
  FakeEngine& engine_;
  std::shared_ptr<FakeEngine::Store> store_;
  std::shared_ptr<TableData> data_;
  FieldsObject fields_;
  IndexesObject indexes_;
};

class TablesObject : public schema::TableDefs {
 public:
  TablesObject(FakeEngine& engine, std::shared_ptr<FakeEngine::Store> store) : engine_(engine), store_(std::move(store)) {}
  int16_t Count() const override {
    engine_.Call("TableDefs.Count");
    return static_cast<int16_t>(store_->tables.size());
  }
  schema::TableDefRef Item(int16_t position) const override {
    engine_.Call("TableDefs.Item");
    return std::make_shared<TableObject>(engine_, store_, At(store_->tables, position));
  }
  void Refresh() override { engine_.Call("TableDefs.Refresh"); }
  void Append(const schema::TableDefRef& table) override {
    engine_.Call("TableDefs.Append");
    auto& data = dynamic_cast<TableObject&>(*table).data();
    if (Find(store_->tables, data->name) != store_->tables.end())
      throw jet::Error(jet::err::kTableExists, "Table '" + data->name + "' already exists.");
    if (data->fields.empty()) throw jet::Error(3264, "No field defined--cannot append TableDef or Index.");
    store_->tables.push_back(data);
  }
  void Delete(const std::string& name) override {
    engine_.Call("TableDefs.Delete");
    auto found = Find(store_->tables, name);
    if (found == store_->tables.end()) NotFound();
    store_->tables.erase(found);
  }

 private:
  FakeEngine& engine_;
  std::shared_ptr<FakeEngine::Store> store_;
};

class QueryObject : public schema::QueryDef {
 public:
  explicit QueryObject(std::shared_ptr<FakeQuery> data) : data_(std::move(data)) {}
  std::string Name() const override { return data_->name; }
  std::string SQL() const override { return data_->sql; }

 private:
  std::shared_ptr<FakeQuery> data_;
};

class QueriesObject : public schema::QueryDefs {
 public:
  QueriesObject(FakeEngine& engine, std::shared_ptr<FakeEngine::Store> store) : engine_(engine), store_(std::move(store)) {}
  int16_t Count() const override {
    engine_.Call("QueryDefs.Count");
    return static_cast<int16_t>(store_->queries.size());
  }
  schema::QueryDefRef Item(int16_t position) const override {
    engine_.Call("QueryDefs.Item");
    return std::make_shared<QueryObject>(At(store_->queries, position));
  }
  void Delete(const std::string& name) override {
    engine_.Call("QueryDefs.Delete");
    auto found = Find(store_->queries, name);
    if (found == store_->queries.end()) NotFound();
    store_->queries.erase(found);
  }

 private:
  FakeEngine& engine_;
  std::shared_ptr<FakeEngine::Store> store_;
};

class DatabaseObject : public schema::Database {
 public:
  DatabaseObject(FakeEngine& engine, std::string path, std::shared_ptr<FakeEngine::Store> store)
      : engine_(engine), path_(std::move(path)), store_(store), tables_(engine, store), queries_(engine, store) {}

  std::string Name() const override { return path_; }
  schema::TableDefs& Tables() override { return tables_; }
  schema::QueryDefs& Queries() override { return queries_; }
  schema::TableDefRef CreateTableDef(const std::string& name) override {
    engine_.Call("Database.CreateTableDef");
    auto table = std::make_shared<TableData>();
    table->name = name;
    return std::make_shared<TableObject>(engine_, store_, table);
  }
  schema::QueryDefRef CreateQueryDef(const std::string& name, const std::string& sql,
                                     const schema::QueryDef*) override {
    engine_.Call("Database.CreateQueryDef");
    if (Find(store_->queries, name) != store_->queries.end())
      throw jet::Error(3012, "Object '" + name + "' already exists.");
    auto query = std::make_shared<FakeQuery>(FakeQuery{name, sql});
    store_->queries.push_back(query);
    return std::make_shared<QueryObject>(query);
  }
  void Execute(const std::string& sql, int32_t) override {
    engine_.Call("Database.Execute");
    store_->statements.push_back(sql);
  }
  void Close() override {
    engine_.Call("Database.Close");
    engine_.NoteClose();
  }

 private:
  FakeEngine& engine_;
  std::string path_;
  std::shared_ptr<FakeEngine::Store> store_;
  TablesObject tables_;
  QueriesObject queries_;
};

class WorkspaceObject : public schema::Workspace {
 public:
  explicit WorkspaceObject(FakeEngine& engine) : engine_(engine) {}
  schema::DatabaseRef OpenDatabase(const std::string& path) override { return engine_.Open(path); }

 private:
  FakeEngine& engine_;
};

}  // namespace

FakeEngine::FakeEngine() : workspace_(std::make_shared<WorkspaceObject>(*this)) {}

void FakeEngine::Add(const std::string& path, const FakeSchema& schema) {
  auto store = std::make_shared<Store>();
  for (const FakeTable& table : schema.tables) {
    auto data = std::make_shared<TableData>();
    data->name = table.name;
    data->attributes = table.attributes;
    for (const FakeField& field : table.fields) {
      auto copy = std::make_shared<FieldData>();
      static_cast<FakeField&>(*copy) = field;
      data->fields.push_back(copy);
    }
    for (const FakeIndex& index : table.indexes) {
      auto copy = std::make_shared<IndexData>();
      copy->values = index;
      for (const std::string& name : index.fields) {
        auto column = Find(data->fields, name);
        if (column == data->fields.end()) throw std::logic_error("index field " + name + " not in table " + table.name);
        copy->fields.push_back(*column);
      }
      data->indexes.push_back(copy);
    }
    store->tables.push_back(data);
  }
  for (const FakeQuery& query : schema.queries) store->queries.push_back(std::make_shared<FakeQuery>(query));
  store->statements = schema.statements;
  files_[path] = store;
}

FakeSchema FakeEngine::Snapshot(const std::string& path) const {
  const Store& store = *files_.at(path);
  FakeSchema schema;
  for (const auto& table : store.tables) {
    FakeTable copy{table->name, table->attributes, {}, {}};
    for (const auto& field : table->fields) copy.fields.push_back(*field);
    for (const auto& index : table->indexes) {
      FakeIndex values = index->values;
      values.fields.clear();
      for (const auto& field : index->fields) values.fields.push_back(field->name);
      copy.indexes.push_back(values);
    }
    schema.tables.push_back(copy);
  }
  for (const auto& query : store.queries) schema.queries.push_back(*query);
  schema.statements = store.statements;
  return schema;
}

schema::WorkspaceRef FakeEngine::Workspaces(int16_t position) {
  Call("DBEngine.Workspaces");
  if (position != 0) NotFound();
  return workspace_;
}

void FakeEngine::CompactDatabase(const std::string& source, const std::string& destination) {
  Call("DBEngine.CompactDatabase");
  auto found = files_.find(source);
  if (found == files_.end()) throw jet::Error(jet::err::kCannotOpenFile, "Could not find file '" + source + "'.");
  files_[destination] = std::make_shared<Store>(*found->second);
}

schema::DatabaseRef FakeEngine::Open(const std::string& path) {
  Call("OpenDatabase");
  auto found = files_.find(path);
  if (found == files_.end()) throw jet::Error(jet::err::kCannotOpenFile, "Could not find file '" + path + "'.");
  ++open_count_;
  return std::make_shared<DatabaseObject>(*this, path, found->second);
}

}  // namespace vantrel::test
