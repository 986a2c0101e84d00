#include "schema/jet_engine.h"

#include <algorithm>
#include <future>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "jet/common/error.h"
#include "jet/core/database.h"
#include "jet/core/page_bounds.h"
#include "jet/write/database_writer.h"
#include "jet/write/compaction.h"

namespace schema {
namespace {

[[noreturn]] void NotFound() { throw jet::Error(jet::err::kItemNotFound, "Item not found in this collection."); }

[[noreturn]] void NotSupported() {
  throw jet::Error(jet::err::kNotSupported, "Operation is not supported for this type of object.");
}

int16_t CountOf(size_t size) {
  if (size > static_cast<size_t>(INT16_MAX)) throw jet::Error(6, "Overflow");
  return static_cast<int16_t>(size);
}

template <typename T>
const T& At(const std::vector<T>& items, int16_t position) {
  if (position < 0 || static_cast<size_t>(position) >= items.size()) NotFound();
  return items[static_cast<size_t>(position)];
}

// One opened database: read-only until the first change, then held for writing until Close,
// which makes the changes durable.
class Session {
 public:
  explicit Session(std::string path) : path_(std::move(path)), read_(jet::Database::Open(path_)) {
    jet::RequireTablesWithinFile(*read_);
  }

  const std::string& path() const { return path_; }
  const jet::Database& view() const {
    if (writer_) return writer_->database();
    if (!read_) throw jet::Error(3420, "Object invalid or no longer set.");
    return *read_;
  }
  // Changes whenever what view() shows may have changed, so that objects may keep what they
  // looked up in it until then.
  std::pair<uint64_t, uint64_t> generation() const { return {generation_, writer_ ? writer_->reloads() : 0}; }

  jet::DatabaseWriter& writer() {
    if (!read_ && !writer_) throw jet::Error(3420, "Object invalid or no longer set.");
    if (!writer_) {
      ++generation_;
      writer_ = jet::DatabaseWriter::Open(path_);
      read_.reset();
    }
    return *writer_;
  }
  jet::Database* unchanged() const { return writer_ ? nullptr : read_.get(); }
  const jet::TableInfo& Table(const std::string& name) const {
    const jet::TableInfo* table = view().FindTable(name);
    if (!table) NotFound();
    return *table;
  }
  void Discard() {
    ++generation_;
    read_.reset();
    writer_.reset();
  }
  void Close() {
    ++generation_;
    read_.reset();
    if (writer_) {
      // Keep the writer if the commit fails: the database stays as it was, and a second
      // Close may try again.
      writer_->Commit();
      writer_.reset();
    }
  }

 private:
  std::string path_;
  std::unique_ptr<jet::Database> read_;
  std::unique_ptr<jet::DatabaseWriter> writer_;
  uint64_t generation_ = 0;
};

using SessionRef = std::shared_ptr<Session>;

// A stored table by name, looked up once per state of the database: a pass asks one table for
// its name, attributes, fields and indexes many times in a row.
class TableLookup {
 public:
  TableLookup(SessionRef session, std::string name) : session_(std::move(session)), name_(std::move(name)) {}

  const SessionRef& session() const { return session_; }
  const std::string& name() const { return name_; }
  void Rename(std::string name) {
    name_ = std::move(name);
    found_ = nullptr;
  }
  const jet::TableInfo& info() const {
    if (!found_ || generation_ != session_->generation()) {
      found_ = &session_->Table(name_);
      generation_ = session_->generation();
    }
    return *found_;
  }

 private:
  SessionRef session_;
  std::string name_;
  mutable const jet::TableInfo* found_ = nullptr;
  mutable std::pair<uint64_t, uint64_t> generation_;
};

// A field of a stored table (read through to the database each time, so changes show at
// once), or a detached one made by CreateField that lives here until it is appended.
class JetField : public Field {
 public:
  JetField(SessionRef session, std::string table, std::string name)
      : session_(std::move(session)), table_(std::move(table)), name_(std::move(name)) {}
  // The field at hand in the database as it is now: no lookup until the database changes.
  // Copies straight into place: a pass makes one for every field it reads.
  JetField(const SessionRef& session, const std::string& table, const jet::FieldInfo& found)
      : session_(session), table_(table), name_(found.name()), found_(&found),
        found_generation_(session_->generation()), found_type_(found.dao_type), found_size_(found.size) {}
  JetField(std::string name, int16_t type, int32_t size) : name_(std::move(name)) {
    detached_ = std::make_unique<jet::FieldInfo>();
    detached_->dao_type = type;
    detached_->size = size;
    detached_->column.name = name_;
  }

  bool detached() const { return detached_ != nullptr; }
  const jet::FieldInfo& info() const {
    if (detached_) return *detached_;
    // A pass asks a field for several properties in a row: look it up once per state of the
    // database rather than once per property.
    if (!found_ || found_generation_ != session_->generation()) {
      const jet::FieldInfo* field = session_->Table(table_).FindField(name_);
      if (!field) NotFound();
      found_ = field;
      found_generation_ = session_->generation();
      found_type_ = field->dao_type;
      found_size_ = field->size;
    }
    return *found_;
  }

  std::string Name() const override { return detached_ ? name_ : info().name(); }
  // Type and size are what a pass compares, long after the catalog was read: kept here from
  // the lookup, which reads the field's name beside them, so that asking does not wait for
  // the catalog's memory again.
  int16_t Type() const override {
    if (detached_) return detached_->dao_type;
    info();
    return found_type_;
  }
  int32_t Size() const override {
    if (detached_) return detached_->size;
    info();
    return found_size_;
  }
  bool AllowZeroLength() const override { return info().AllowZeroLength(); }
  std::string DefaultValue() const override { return info().default_value.value_or(""); }
  int16_t OrdinalPosition() const override { return info().ordinal_position; }
  bool Required() const override { return info().Required(); }
  std::string ValidationRule() const override { return info().validation_rule.value_or(""); }
  std::string ValidationText() const override { return info().validation_text.value_or(""); }

  void SetAllowZeroLength(bool value) override { SetBool("AllowZeroLength", value, &jet::FieldInfo::allow_zero_length); }
  void SetRequired(bool value) override { SetBool("Required", value, &jet::FieldInfo::required); }
  void SetDefaultValue(const std::string& value) override { SetText("DefaultValue", value, &jet::FieldInfo::default_value); }
  void SetValidationRule(const std::string& value) override {
    SetText("ValidationRule", value, &jet::FieldInfo::validation_rule);
  }
  void SetValidationText(const std::string& value) override {
    SetText("ValidationText", value, &jet::FieldInfo::validation_text);
  }
  void SetOrdinalPosition(int16_t value) override {
    if (detached_) {
      detached_->ordinal_position = value;
      return;
    }
    session_->writer().SetColumnProperty(table_, name_, {"OrdinalPosition", std::nullopt, std::nullopt, value});
  }

  // A detached field appended to a stored table becomes that table's field: what is set on it
  // from now on must reach the database, as with DAO.
  void Attach(SessionRef session, std::string table) {
    session_ = std::move(session);
    table_ = std::move(table);
    detached_.reset();
    found_ = nullptr;
  }

  // Stores what was set on a detached field once it belongs to a table.
  void ApplyTo(jet::DatabaseWriter& writer, const std::string& table) const {
    const jet::FieldInfo& f = *detached_;
    const std::string& name = name_;
    if (f.required) writer.SetColumnProperty(table, name, {"Required", *f.required, std::nullopt});
    if (f.allow_zero_length) writer.SetColumnProperty(table, name, {"AllowZeroLength", *f.allow_zero_length, std::nullopt});
    if (f.default_value) writer.SetColumnProperty(table, name, {"DefaultValue", std::nullopt, *f.default_value});
    if (f.validation_rule) writer.SetColumnProperty(table, name, {"ValidationRule", std::nullopt, *f.validation_rule});
    if (f.validation_text) writer.SetColumnProperty(table, name, {"ValidationText", std::nullopt, *f.validation_text});
  }

 private:
  void SetBool(const char* property, bool value, std::optional<bool> jet::FieldInfo::*member) {
    if (detached_) {
      (*detached_).*member = value;
      return;
    }
    session_->writer().SetColumnProperty(table_, name_, {property, value, std::nullopt});
  }
  void SetText(const char* property, const std::string& value, jet::OptionalText jet::FieldInfo::*member) {
    if (detached_) {
      (*detached_).*member = value;
      return;
    }
    session_->writer().SetColumnProperty(table_, name_, {property, std::nullopt, value});
  }

  SessionRef session_;
  std::string table_;
  std::string name_;
  // Held apart: a pass makes a field object for every field it reads, and few are detached.
  std::unique_ptr<jet::FieldInfo> detached_;
  mutable const jet::FieldInfo* found_ = nullptr;
  mutable std::pair<uint64_t, uint64_t> found_generation_;
  mutable int16_t found_type_ = 0;
  mutable int32_t found_size_ = 0;
};

class TableFieldsCollection : public Fields {
 public:
  TableFieldsCollection(SessionRef session, std::string table) : table_(std::move(session), std::move(table)) {}
  int16_t Count() const override { return CountOf(table_.info().fields.size()); }
  FieldRef Item(int16_t position) const override {
    const auto& fields = table_.info().fields;
    const jet::FieldInfo& found = At(fields, position);
    // The objects of one state of the table are made in one block, each on first use, and an
    // object asked for again is the one made before: a stored field object holds nothing but
    // where its field is, so the two could not tell apart. A pass walks every field of every
    // table, and a heap block for each was a good part of its cost.
    // The collection only watches the block: it goes with the last object handed out, so a
    // table object kept for later (the pass keeps every local one) does not keep its fields'.
    const auto generation = table_.session()->generation();
    std::shared_ptr<MadeFields> made = made_.lock();
    if (!made || made_generation_ != generation || made->fields.size() != fields.size()) {
      made = std::make_shared<MadeFields>(fields.size());
      made_ = made;
      made_generation_ = generation;
    }
    std::optional<JetField>& slot = made->fields[static_cast<size_t>(position)];
    if (!slot) slot.emplace(table_.session(), table_.name(), found);
    return FieldRef(std::move(made), &*slot);
  }
  void Append(const FieldRef& field) override {
    auto* detached = dynamic_cast<JetField*>(field.get());
    if (!detached || !detached->detached())
      throw jet::Error(3367, "Cannot append. An object with that name is already in the collection.");
    const SessionRef& session = table_.session();
    const std::string& table = table_.name();
    jet::DatabaseWriter& writer = session->writer();
    writer.AddColumn(table, {detached->Name(), detached->Type(), detached->Size()});
    detached->ApplyTo(writer, table);
    detached->Attach(session, table);
  }
  void Delete(const std::string& name) override { table_.session()->writer().DeleteColumn(table_.name(), name); }
  bool ReadFacts(std::vector<FieldFacts>& facts) const override {
    const auto& fields = table_.info().fields;
    CountOf(fields.size());  // raises as Count would
    facts.resize(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) facts[i] = {fields[i].name(), fields[i].dao_type, fields[i].size};
    return true;
  }

 private:
  // The objects are in the vector's own storage, freed with the last object handed out even
  // while the collection still watches the block.
  struct MadeFields {
    explicit MadeFields(size_t count) : fields(count) {}
    std::vector<std::optional<JetField>> fields;
  };

  TableLookup table_;
  mutable std::weak_ptr<MadeFields> made_;
  mutable std::pair<uint64_t, uint64_t> made_generation_;
};

// The fields of an index, or of a detached object: names (and detached values) only.
class DetachedFields : public Fields {
 public:
  explicit DetachedFields(std::vector<FieldRef> items = {}) : items_(std::move(items)) {}
  int16_t Count() const override { return CountOf(items_.size()); }
  FieldRef Item(int16_t position) const override { return At(items_, position); }
  void Append(const FieldRef& field) override {
    for (const FieldRef& item : items_)
      if (jet::SameObjectName(item->Name(), field->Name()))
        throw jet::Error(jet::err::kDuplicateField, "Cannot define field more than once.");
    items_.push_back(field);
  }
  void Delete(const std::string& name) override {
    auto found = std::find_if(items_.begin(), items_.end(),
                              [&](const FieldRef& f) { return jet::SameObjectName(f->Name(), name); });
    if (found == items_.end()) NotFound();
    items_.erase(found);
  }
  const std::vector<FieldRef>& items() const { return items_; }

 private:
  std::vector<FieldRef> items_;
};

class JetIndex : public Index {
 public:
  JetIndex(const jet::IndexInfo& info, bool stored) : info_(info), stored_(stored) {}
  std::string Name() const override { return info_.name; }
  bool Primary() const override { return info_.primary; }
  bool Unique() const override { return info_.unique; }
  void SetPrimary(bool value) override {
    if (stored_) NotSupported();
    info_.primary = value;
  }
  void SetUnique(bool value) override {
    if (stored_) NotSupported();
    info_.unique = value;
  }
  Fields& IndexFields() override { return Made(); }
  FieldRef CreateField(const std::string& name) override { return std::make_shared<JetField>(name, 0, 0); }

  bool stored() const { return stored_; }
  jet::NewIndex Spec() const {
    jet::NewIndex spec{info_.name, info_.primary, info_.unique, {}};
    for (const FieldRef& field : Made().items()) spec.fields.push_back(field->Name());
    return spec;
  }

 private:
  // The field objects are made when first asked for: a pass reads most indexes only by name.
  DetachedFields& Made() const {
    if (!fields_) {
      std::vector<FieldRef> names;
      names.reserve(info_.fields.size());
      for (const auto& field : info_.fields) names.push_back(std::make_shared<JetField>(field.name, 0, 0));
      fields_.emplace(std::move(names));
    }
    return *fields_;
  }

  jet::IndexInfo info_;
  bool stored_;
  mutable std::optional<DetachedFields> fields_;
};

class TableIndexesCollection : public Indexes {
 public:
  TableIndexesCollection(SessionRef session, std::string table) : table_(std::move(session), std::move(table)) {}
  int16_t Count() const override { return CountOf(table_.info().indexes.size()); }
  IndexRef Item(int16_t position) const override {
    return std::make_shared<JetIndex>(At(table_.info().indexes, position), true);
  }
  void Append(const IndexRef& index) override {
    auto* detached = dynamic_cast<JetIndex*>(index.get());
    if (!detached || detached->stored())
      throw jet::Error(3367, "Cannot append. An object with that name is already in the collection.");
    table_.session()->writer().CreateIndex(table_.name(), detached->Spec());
  }
  void Delete(const std::string& name) override { table_.session()->writer().DeleteIndex(table_.name(), name); }
  bool ReadNames(std::vector<std::string_view>& names) const override {
    const auto& indexes = table_.info().indexes;
    CountOf(indexes.size());
    names.resize(indexes.size());
    for (size_t i = 0; i < indexes.size(); ++i) names[i] = indexes[i].name;
    return true;
  }
  void Rename(std::string table) { table_.Rename(std::move(table)); }

 private:
  TableLookup table_;
};

// The indexes of a table definition not yet stored.
class DetachedIndexes : public Indexes {
 public:
  int16_t Count() const override { return CountOf(items_.size()); }
  IndexRef Item(int16_t position) const override { return At(items_, position); }
  void Append(const IndexRef& index) override {
    auto* detached = dynamic_cast<JetIndex*>(index.get());
    if (!detached || detached->stored())
      throw jet::Error(3367, "Cannot append. An object with that name is already in the collection.");
    for (const IndexRef& item : items_)
      if (jet::SameObjectName(item->Name(), index->Name())) throw jet::Error(3284, "Index already exists.");
    items_.push_back(index);
  }
  void Delete(const std::string& name) override {
    auto found = std::find_if(items_.begin(), items_.end(),
                              [&](const IndexRef& i) { return jet::SameObjectName(i->Name(), name); });
    if (found == items_.end()) NotFound();
    items_.erase(found);
  }
  const std::vector<IndexRef>& items() const { return items_; }

 private:
  std::vector<IndexRef> items_;
};

// A stored table (read through to the database each time), or a detached definition made by
// CreateTableDef that holds its fields and indexes until TableDefs.Append stores it.
class JetTable : public TableDef {
 public:
  JetTable(SessionRef session, std::string name, bool detached = false)
      : session_(session), name_(name), stored_(session, name), detached_(detached), fields_(session, name),
        indexes_(session, name) {}
  std::string Name() const override { return detached_ ? name_ : stored_.info().name; }
  void SetName(const std::string& name) override {
    if (!detached_) session_->writer().RenameTable(name_, name);
    // A new definition renamed before it is appended is stored under the new name: its
    // fields and indexes must be found there afterwards too.
    fields_ = TableFieldsCollection(session_, name);
    indexes_.Rename(name);
    stored_.Rename(name);
    name_ = name;
  }
  int32_t Attributes() const override { return detached_ ? 0 : stored_.info().attributes; }
  Fields& TableFields() override { return detached_ ? static_cast<Fields&>(new_fields_) : fields_; }
  Indexes& TableIndexes() override { return detached_ ? static_cast<Indexes&>(new_indexes_) : indexes_; }
  FieldRef CreateField(const std::string& name, int16_t type, int16_t size) override {
    return std::make_shared<JetField>(name, type, size);
  }
  IndexRef CreateIndex(const std::string& name) override {
    jet::IndexInfo info;
    info.name = name;
    return std::make_shared<JetIndex>(info, false);
  }

  bool detached() const { return detached_; }
  // The detached definition as the engine stores it, with each field's properties in the
  // order they are set on a field of a new table.
  jet::NewTable Spec() const {
    jet::NewTable spec;
    spec.name = name_;
    for (const FieldRef& item : new_fields_.items()) {
      const auto* field = dynamic_cast<const JetField*>(item.get());
      if (!field || !field->detached()) NotSupported();
      const jet::FieldInfo& f = field->info();
      spec.columns.push_back({field->Name(), f.dao_type, f.size});
      std::vector<jet::ColumnPropertyValue> properties;
      if (f.allow_zero_length) properties.push_back({"AllowZeroLength", *f.allow_zero_length, std::nullopt});
      if (f.default_value) properties.push_back({"DefaultValue", std::nullopt, *f.default_value});
      if (f.required) properties.push_back({"Required", *f.required, std::nullopt});
      if (f.validation_rule) properties.push_back({"ValidationRule", std::nullopt, *f.validation_rule});
      if (f.validation_text) properties.push_back({"ValidationText", std::nullopt, *f.validation_text});
      spec.properties.push_back(std::move(properties));
    }
    for (const IndexRef& item : new_indexes_.items()) spec.indexes.push_back(dynamic_cast<const JetIndex&>(*item).Spec());
    return spec;
  }
  void MarkStored() { detached_ = false; }

 private:
  SessionRef session_;
  std::string name_;
  TableLookup stored_;
  bool detached_;
  TableFieldsCollection fields_;
  TableIndexesCollection indexes_;
  DetachedFields new_fields_;
  DetachedIndexes new_indexes_;
};

class TablesCollection : public TableDefs {
 public:
  explicit TablesCollection(SessionRef session) : session_(std::move(session)) {}
  int16_t Count() const override { return CountOf(session_->view().tables().size()); }
  TableDefRef Item(int16_t position) const override {
    // By name, as DAO enumerates them from the catalog's name index.
    return std::make_shared<JetTable>(session_, At(session_->view().tables_by_name(), position)->name);
  }
  void Refresh() override {}
  void Append(const TableDefRef& table) override {
    auto* detached = dynamic_cast<JetTable*>(table.get());
    if (!detached || !detached->detached())
      throw jet::Error(3367, "Cannot append. An object with that name is already in the collection.");
    session_->writer().CreateTable(detached->Spec());
    detached->MarkStored();
  }
  void Delete(const std::string& name) override { session_->writer().DeleteTable(name); }

 private:
  SessionRef session_;
};

class JetQuery : public QueryDef {
 public:
  JetQuery(SessionRef session, std::string name) : session_(std::move(session)), name_(std::move(name)) {}
  std::string Name() const override { return info().name; }
  std::string SQL() const override { return info().sql; }
  const jet::QueryInfo& info() const {
    const jet::QueryInfo* query = session_->view().FindQuery(name_);
    if (!query) NotFound();
    return *query;
  }

 private:
  SessionRef session_;
  std::string name_;
};

class QueriesCollection : public QueryDefs {
 public:
  explicit QueriesCollection(SessionRef session) : session_(std::move(session)) {}
  int16_t Count() const override { return CountOf(session_->view().queries().size()); }
  QueryDefRef Item(int16_t position) const override {
    // By name, as DAO enumerates them from the catalog's name index.
    return std::make_shared<JetQuery>(session_, At(session_->view().queries_by_name(), position)->name);
  }
  void Delete(const std::string& name) override { session_->writer().DeleteQuery(name); }

 private:
  SessionRef session_;
};

class JetDatabase : public Database {
 public:
  explicit JetDatabase(const std::string& path)
      : session_(std::make_shared<Session>(path)), tables_(session_), queries_(session_) {}
  std::string Name() const override { return session_->path(); }
  TableDefs& Tables() override { return tables_; }
  QueryDefs& Queries() override { return queries_; }
  TableDefRef CreateTableDef(const std::string& name) override {
    return std::make_shared<JetTable>(session_, name, true);
  }
  QueryDefRef CreateQueryDef(const std::string& name, const std::string& sql, const QueryDef* source) override {
    const auto* copied = dynamic_cast<const JetQuery*>(source);
    session_->writer().CreateQuery(name, sql, copied ? &copied->info() : nullptr);
    return std::make_shared<JetQuery>(session_, name);
  }
  // Statements always fail as a whole: the engine has no partial mode, which is what option
  // 128 (fail on error) asks for.
  void Execute(const std::string& sql, int32_t) override { session_->writer().Execute(sql); }
  void Close() override { session_->Close(); }
  void CloseDiscardingChanges() override { session_->Discard(); }
  bool DiscardsChangesOnRequest() const override { return true; }
  jet::Database* unchanged() const { return session_->unchanged(); }

 private:
  SessionRef session_;
  TablesCollection tables_;
  QueriesCollection queries_;
};

class JetWorkspace : public Workspace {
 public:
  DatabaseRef OpenDatabase(const std::string& path) override { return std::make_shared<JetDatabase>(path); }
  // Two opened databases share nothing, so the second is read on a thread of its own while
  // the first is read here: reading the catalog and every table definition is most of a
  // verify.
  PendingOpen OpenDatabaseAhead(const std::string& path) override {
    try {
      auto opening = std::make_shared<std::future<DatabaseRef>>(
          std::async(std::launch::async, [path] { return DatabaseRef(std::make_shared<JetDatabase>(path)); }));
      return [opening] { return opening->get(); };
    } catch (const std::system_error&) {
      return Workspace::OpenDatabaseAhead(path);  // no thread to be had: open when asked
    }
  }
};

}  // namespace

JetEngine::JetEngine() : workspace_(std::make_shared<JetWorkspace>()) {}

WorkspaceRef JetEngine::Workspaces(int16_t position) {
  if (position != 0) NotFound();
  return workspace_;
}

void JetEngine::CompactDatabase(const std::string& source, const std::string& destination) {
  jet::CompactDatabase(source, destination);
}

jet::Database* JetReadView(Database& database) {
  auto* jet_database = dynamic_cast<JetDatabase*>(&database);
  return jet_database ? jet_database->unchanged() : nullptr;
}

DBEngine& TheEngine() {
  static JetEngine engine;
  return engine;
}

}  // namespace schema
