#include "jet/core/database.h"

#include <algorithm>
#include <map>
#include <string>
#include <unordered_map>

#include "jet/common/error.h"
#include "jet/core/catalog.h"
#include "jet/core/field_properties.h"
#include "jet/core/page_cache.h"
#include "jet/core/row_codec.h"
#include "jet/core/table_definition.h"
#include "jet/query/property_blob.h"
#include "jet/query/query_sql.h"
#include "jet/store/file_io.h"
#include "jet/store/file_page_reader.h"

namespace jet {
namespace {

// Enough for every definition, map and catalog page of a large schema, small enough to be
// no concern: 4 MB of Jet 4 pages.
constexpr size_t kCachedPages = 1024;

Format FormatOfPageSize(uint32_t page_size) { return page_size == 2048 ? Format::kJet3 : Format::kJet4; }

int32_t DaoAttributes(const CatalogObject& object) {
  uint32_t attributes = static_cast<uint32_t>(object.flags);
  if (object.type == object_type::kLinkedTable) attributes |= table_attribute::kLinked;
  if (object.type == object_type::kLinkedOdbc) attributes |= table_attribute::kLinkedOdbc;
  return static_cast<int32_t>(attributes);
}

}  // namespace

struct Database::Files {
  store::FileHandle handle;
  std::unique_ptr<store::FilePageReader> reader;
  std::unique_ptr<PageCache> cache;
};

Database::~Database() = default;

std::unique_ptr<Database> Database::Open(const std::filesystem::path& path) {
  std::unique_ptr<Database> database(new Database());
  database->path_ = path;
  database->files_ = std::make_unique<Files>();
  Files& files = *database->files_;
  files.handle = store::OpenExisting(path, store::OpenMode::kRead);
  files.reader = std::make_unique<store::FilePageReader>(files.handle, path);
  files.cache = std::make_unique<PageCache>(*files.reader, kCachedPages);
  // Loading reads every definition page once and the catalog's pages in order, which the
  // reader's few recent pages serve: copying each into the cache as well cost a fresh heap
  // page per file page on a large schema. The cache is for the rows, read later.
  database->pages_ = files.reader.get();
  database->Load();
  database->pages_ = files.cache.get();
  return database;
}

std::unique_ptr<Database> Database::FromPages(PageSource& pages, const std::filesystem::path& path) {
  std::unique_ptr<Database> database(new Database());
  database->path_ = path;
  database->pages_ = &pages;
  database->Load();
  return database;
}

void Database::Load() {
  PageSource& pages = *pages_;
  const Format format = FormatOfPageSize(pages.page_size());
  if (pages.page_count() <= kCatalogDefinitionPage)
    ThrowCorrupt("the file '" + path_.string() + "' ends before its catalog");
  header_ = ReadDatabaseHeader(pages.Page(0), format);
  if (header_.has_password) throw Error(err::kNotValidPassword, "Not a valid password.");
  if (header_.database_key != 0)
    throw Error(err::kUnrecognizedFormat, "Unrecognized database format '" + path_.string() +
                                              "': the database is encrypted.");
  const uint16_t code_page = header_.code_page;

  TableDef msys_objects = ReadTableDefinition(pages, format, kCatalogDefinitionPage, code_page);
  msys_objects.name = "MSysObjects";
  catalog_ = ReadCatalog(pages, msys_objects, code_page);
  // Every Jet catalog lists MSysObjects itself. Without that row the catalog's pages are gone
  // (a cut or damaged file), and reading it as a database without tables would let an update
  // drop every local table that such a reference seems to lack.
  if (std::none_of(catalog_.begin(), catalog_.end(), [](const CatalogObject& object) {
        return object.type == object_type::kTable && SameObjectName(object.name, "MSysObjects");
      }))
    ThrowCorrupt("the catalog of '" + path_.string() + "' has no row for MSysObjects");

  std::vector<const CatalogObject*> query_objects;
  // Sized once: a table's entry is large, and growing the list moved every one read before.
  tables_.reserve(static_cast<size_t>(std::count_if(catalog_.begin(), catalog_.end(), [](const CatalogObject& object) {
    return object.type == object_type::kTable || object.type == object_type::kLinkedTable ||
           object.type == object_type::kLinkedOdbc;
  })));
  for (const CatalogObject& object : catalog_) {
    if (object.type == object_type::kQuery) query_objects.push_back(&object);
    if (object.type != object_type::kTable && object.type != object_type::kLinkedTable &&
        object.type != object_type::kLinkedOdbc)
      continue;
    TableInfo table;
    table.object = object;
    table.name = object.name;
    table.attributes = DaoAttributes(object);
    if (object.type == object_type::kTable) {
      const uint32_t page = static_cast<uint32_t>(object.id) & kObjectIdPageMask;
      table.def = page == kCatalogDefinitionPage ? msys_objects : ReadTableDefinition(pages, format, page, code_page);
      table.def.name = object.name;
      const PropertyBlob properties =
          object.properties.empty() ? PropertyBlob{} : ParsePropertyBlob(object.properties, format, code_page);
      table.fields = ReadFields(table.def, properties, code_page);
      table.indexes = ReadIndexes(table.def);
    }
    tables_.push_back(std::move(table));
  }
  IndexTableNames();

  if (query_objects.empty()) {
    IndexQueryNames();
    return;
  }
  const TableInfo* msys_queries = FindTable("MSysQueries");
  if (!msys_queries || msys_queries->def.columns.empty())
    ThrowCorrupt("the database has stored queries but no MSysQueries table");
  std::map<int32_t, std::vector<QueryRow>> rows_by_query;
  for (QueryRow& row : ReadQueryRows(pages, msys_queries->def, code_page))
    rows_by_query[row.object_id].push_back(std::move(row));
  for (const CatalogObject* object : query_objects) {
    QueryInfo query;
    query.object = *object;
    query.name = object->name;
    query.rows = std::move(rows_by_query[object->id]);
    query.code_page = header().code_page;
    // A query Jet itself could not run still belongs to the database: it is listed, with
    // empty SQL, rather than making the whole file unreadable.
    try {
      query.type = QueryTypeOf(query.rows);
      query.sql = QuerySql(query.rows);
    } catch (const Error&) {
    }
    queries_.push_back(std::move(query));
  }
  IndexQueryNames();
}

namespace {

// The key a name is found by: Jet compares names without regard to ASCII case.
std::string NameKey(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

}  // namespace

void Database::IndexTableNames() {
  // A pass looks tables up by name and walks them by position thousands of times; both are
  // answered from these, made once, instead of a scan and a sort each time.
  table_positions_.clear();
  for (size_t i = 0; i < tables_.size(); ++i) table_positions_.emplace(NameKey(tables_[i].name), i);
  tables_by_name_.resize(tables_.size());
  for (size_t i = 0; i < tables_.size(); ++i) tables_by_name_[i] = &tables_[i];
  std::stable_sort(tables_by_name_.begin(), tables_by_name_.end(),
                   [](const TableInfo* a, const TableInfo* b) { return ObjectNameLess(a->name, b->name); });
}

void Database::IndexQueryNames() {
  query_positions_.clear();
  for (size_t i = 0; i < queries_.size(); ++i) query_positions_.emplace(NameKey(queries_[i].name), i);
  queries_by_name_.resize(queries_.size());
  for (size_t i = 0; i < queries_.size(); ++i) queries_by_name_[i] = &queries_[i];
  std::stable_sort(queries_by_name_.begin(), queries_by_name_.end(),
                   [](const QueryInfo* a, const QueryInfo* b) { return ObjectNameLess(a->name, b->name); });
}

const TableInfo* Database::FindTable(std::string_view name) const {
  const auto found = table_positions_.find(NameKey(name));  // the first table of that name
  return found == table_positions_.end() ? nullptr : &tables_[found->second];
}

const QueryInfo* Database::FindQuery(std::string_view name) const {
  const auto found = query_positions_.find(NameKey(name));  // the first query of that name
  return found == query_positions_.end() ? nullptr : &queries_[found->second];
}

Database::RowCursor::RowCursor(Database& database, const TableInfo& table)
    : table_(table),
      format_(database.format()),
      scan_(database.pages(), table.def),
      code_page_(database.header().code_page),
      pages_(database.pages()) {
  if (table.def.columns.empty() && table.linked())
    throw Error(err::kItemNotFound, "The rows of the linked table '" + table.name + "' live in another database.");
}

bool Database::RowCursor::Next(Row& row) {
  if (!scan_.Next()) return false;
  row = DecodeRow(table_.def, scan_.bytes(), DecodeContext{format_, code_page_, &pages_});
  return true;
}

}  // namespace jet
