#include "jet/write/new_database.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/core/catalog.h"
#include "jet/core/data_page.h"
#include "jet/core/header_page.h"
#include "jet/core/table_def.h"
#include "jet/store/output_page_file.h"
#include "jet/store/page_overlay.h"
#include "jet/store/shadow_commit.h"
#include "jet/write/column_layout.h"
#include "jet/write/data_page_writer.h"
#include "jet/write/index_builder.h"
#include "jet/write/index_definition.h"
#include "jet/write/page_allocator.h"
#include "jet/write/table_definition_writer.h"
#include "jet/write/table_writer.h"
#include "jet/write/usage_map_rows.h"
#include "jet/write/usage_map_writer.h"

namespace jet {
namespace {

constexpr uint16_t kCodePage = 1252;
constexpr uint16_t kGeneralSortOrder = 0x0409;
constexpr uint8_t kSystemTableType = 0x53;

// Object ids of the objects every database has (containers and MSysDb have fixed ids; a
// table's id is its definition page).
constexpr int32_t kRootId = 0x0F000000;
constexpr int32_t kTablesId = 0x0F000001;
constexpr int32_t kDatabasesId = 0x0F000002;
constexpr int32_t kRelationshipsId = 0x0F000003;
constexpr int32_t kMSysDbId = 0x10000000;
constexpr int32_t kSystemObjectFlags = INT32_MIN;  // 0x80000000: hidden system object

// The owners and the security ids of the built-in accounts, as Jet stores them (two bytes;
// Jet 3 numbers them differently, as every Access 97 file shows).
struct BuiltInSids {
  std::vector<uint8_t> engine, admins, users, creator;
};
BuiltInSids SidsOf(Format format) {
  if (format == Format::kJet3) return {{0x02, 0x03}, {0x03, 0x01}, {0x02, 0x01}, {0x02, 0x04}};
  return {{0x06, 0xEA}, {0x07, 0xE8}, {0x06, 0xE8}, {0x06, 0xED}};
}

void PutLe16(std::span<uint8_t> bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

double Now() {
  // Days since 1899-12-30, local time not known here: UTC, as the file only records it.
  const auto seconds = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  return 25569.0 + seconds / 86400.0;
}

// Page 0 as Jet writes it for a new file. The constant runs are those every Access and Jet
// file carries; their meaning is not known, so they are written exactly as found.
void WriteHeaderPage(std::span<uint8_t> page, double created, Format format) {
  static const char kEngine[] = "Standard Jet DB";
  page[0x01] = 0x01;
  std::memcpy(page.data() + 0x04, kEngine, sizeof kEngine);
  static const uint8_t kConstants[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                       0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  std::memcpy(page.data() + 0x18, kConstants, sizeof kConstants);
  PutLe16(page, 0x3C, kCodePage);
  if (format == Format::kJet3) {
    // Version 0. The word at 0x38 is the one every column descriptor repeats (1 in Access 97
    // files), then the sort order; no password, no creation date. The word after the password
    // is unexplained: the value nearly every Access 97 file holds.
    page[0x38] = 0x01;
    PutLe16(page, 0x3A, kGeneralSortOrder);
    PutLe16(page, 0x56, 0x251E);
    const std::vector<uint8_t> masked = UnmaskHeaderPage(page, Format::kJet3);
    std::copy(masked.begin(), masked.end(), page.begin());
    for (size_t entry = 0; entry < 256; ++entry) page[0x600 + 2 * entry + 1] = 0x01;
    page[0x600] = 0x01;
    return;
  }
  page[0x14] = 0x01;  // Jet 4
  // No password: the password field holds the pattern it is masked with, the integer part
  // of the creation date, ten times.
  const auto day = static_cast<uint32_t>(std::floor(created));
  for (size_t i = 0; i < 10; ++i) PutU32(page.data() + 0x42 + 4 * i, day);
  PutLe16(page, 0x6E, kGeneralSortOrder);
  std::memcpy(page.data() + 0x72, &created, sizeof created);
  // The mask is its own inverse: unmasking the clear page masks it.
  const std::vector<uint8_t> masked = UnmaskHeaderPage(page, Format::kJet4);
  std::copy(masked.begin(), masked.end(), page.begin());
  static const uint8_t kVersionTag[] = {0x54, 0x06, 0x00, 0x00, 0x34, 0x2E, 0x30, 0x00};
  std::memcpy(page.data() + 0x98, kVersionTag, sizeof kVersionTag);
  for (size_t entry = 0; entry < 256; ++entry) page[0xE00 + 2 * entry + 1] = 0x01;
  page[0xE00] = 0x01;
}

struct SystemTable {
  const char* name;
  uint32_t page = 0;
  std::vector<NewColumn> columns;
  struct Index {
    NewIndex spec;
    bool ignore_nulls = false;
    bool required = false;
  };
  std::vector<Index> indexes;
  std::vector<Row> rows;
  TableDef def;
};

std::vector<SystemTable> SystemTables(double created, Format format) {
  const Value now = DateTime{created};
  const BuiltInSids sids = SidsOf(format);
  const std::vector<uint8_t>& kEngineSid = sids.engine;
  const std::vector<uint8_t>& kAdminsSid = sids.admins;
  const std::vector<uint8_t>& kUsersSid = sids.users;
  const std::vector<uint8_t>& kCreatorSid = sids.creator;
  // The catalog's binary columns hold up to 510 bytes in Jet 4, 255 in Jet 3.
  const int32_t binary = format == Format::kJet3 ? 255 : 510;
  const Value null;
  auto object = [&](int32_t id, int32_t parent, const char* name, int16_t type, const std::vector<uint8_t>& owner) {
    Row row{id, parent, std::string(name), type, now, now, Binary{owner}, kSystemObjectFlags};
    row.resize(17, null);
    return row;
  };
  auto ace = [](int32_t object, const std::vector<uint8_t>& sid, int32_t mask, bool inheritable) {
    return Row{object, Binary{sid}, mask, inheritable};
  };
  std::vector<SystemTable> tables(4);
  tables[0].name = "MSysObjects";
  tables[0].columns = {{"Id", 4, 4},          {"ParentId", 4, 4},     {"Name", 10, 255},    {"Type", 3, 2},
                       {"DateCreate", 8, 8},  {"DateUpdate", 8, 8},   {"Owner", 9, binary},    {"Flags", 4, 4},
                       {"Database", 12, 0},   {"Connect", 12, 0},     {"ForeignName", 10, 255},
                       {"RmtInfoShort", 9, binary}, {"RmtInfoLong", 11, 0}, {"Lv", 11, 0},     {"LvProp", 11, 0},
                       {"LvModule", 11, 0},   {"LvExtra", 11, 0}};
  tables[0].indexes = {{{"ParentIdName", false, true, {"ParentId", "Name"}}, false, false},
                       {{"Id", true, true, {"Id"}}, false, false}};
  tables[1].name = "MSysACEs";
  tables[1].columns = {{"ObjectId", 4, 4}, {"SID", 9, binary}, {"ACM", 4, 4}, {"FInheritable", 1, 1}};
  tables[1].indexes = {{{"ObjectId", false, false, {"ObjectId"}}, false, true}};
  tables[2].name = "MSysQueries";
  tables[2].columns = {{"ObjectId", 4, 4},   {"Attribute", 2, 1},  {"Order", 9, binary}, {"Name1", 10, 255},
                       {"Name2", 10, 255},   {"Expression", 12, 0}, {"Flag", 3, 2},    {"LvExtra", 4, 4}};
  if (format == Format::kJet3) tables[2].columns.pop_back();  // Jet 3 has no LvExtra there
  tables[2].indexes = {{{"ObjectIdAttribute", true, true, {"ObjectId", "Attribute", "Order"}}, false, false}};
  tables[3].name = "MSysRelationships";
  tables[3].columns = {{"szRelationship", 10, 255},   {"grbit", 4, 4},      {"ccolumn", 4, 4},
                       {"icolumn", 4, 4},             {"szObject", 10, 255}, {"szColumn", 10, 255},
                       {"szReferencedObject", 10, 255}, {"szReferencedColumn", 10, 255}};
  tables[3].indexes = {{{"szRelationship", false, false, {"szRelationship"}}, true, false},
                       {{"szObject", false, false, {"szObject"}}, true, false},
                       {{"szReferencedObject", false, false, {"szReferencedObject"}}, true, false}};
  for (uint32_t i = 0; i < tables.size(); ++i) tables[i].page = kCatalogDefinitionPage + i;

  tables[0].rows = {object(kTablesId, kRootId, "Tables", object_type::kContainer, kEngineSid),
                    object(kDatabasesId, kRootId, "Databases", object_type::kContainer, kEngineSid),
                    object(kRelationshipsId, kRootId, "Relationships", object_type::kContainer, kEngineSid),
                    object(kMSysDbId, kDatabasesId, "MSysDb", object_type::kDatabase, kAdminsSid)};
  for (const SystemTable& table : tables)
    tables[0].rows.push_back(object(static_cast<int32_t>(table.page), kTablesId, table.name, object_type::kTable, kEngineSid));
  // The permissions Jet gives the built-in accounts on a new database.
  tables[1].rows = {ace(2, kAdminsSid, 393216, false),          ace(3, kAdminsSid, 393216, false),
                    ace(4, kAdminsSid, 393216, false),          ace(5, kAdminsSid, 917504, false),
                    ace(kTablesId, kCreatorSid, 983294, true),
                    format == Format::kJet3 ? ace(kTablesId, kAdminsSid, 1048319, true) : ace(kTablesId, kAdminsSid, 393217, false),
                    ace(kRelationshipsId, kCreatorSid, 983294, true), ace(kRelationshipsId, kAdminsSid, 393217, false),
                    ace(kDatabasesId, kAdminsSid, 393216, false), ace(kMSysDbId, kAdminsSid, 393230, false),
                    ace(kMSysDbId, kUsersSid, 14, false),       ace(4, kUsersSid, 20, false),
                    ace(5, kUsersSid, 20, false),               ace(2, kUsersSid, 20, false),
                    ace(kTablesId, kUsersSid, 1048319, true),   ace(kRelationshipsId, kUsersSid, 1048575, true)};
  return tables;
}

}  // namespace

void CreateDatabase(const std::filesystem::path& path, Format format) {
  std::error_code error;
  if (std::filesystem::exists(path, error) || std::filesystem::is_symlink(path, error))
    throw Error(3204, "Database '" + path.string() + "' already exists.");
  const double created = Now();
  store::OutputPageFile output(store::detail::ShadowPathFor(path), PageSizeOf(format));
  store::PageOverlay pages(output);
  for (int i = 0; i < 3; ++i) pages.AppendPage();
  WriteHeaderPage(pages.MutablePage(0), created, format);
  auto global = pages.MutablePage(1);
  InitDataPage(global, format, 1);
  AddRow(global, format, NewInlineMap(format));
  AddRow(global, format, NewInlineMap(format));  // a second map, all zero, as in every file
  PageAllocator allocator(pages, format);

  DatabaseHeader header;
  header.format = format;
  header.code_page = kCodePage;
  header.sort_order = kGeneralSortOrder;
  if (format == Format::kJet4) header.creation_date = created;
  std::vector<SystemTable> tables = SystemTables(created, format);
  for (size_t i = 1; i < tables.size(); ++i) {
    if (allocator.Allocate() != tables[i].page) ThrowCorrupt("a new database's pages were not handed out in order");
  }
  const uint32_t host = allocator.Allocate();
  InitDataPage(pages.MutablePage(host), format, 0);
  auto map_row = [&] { return AddUsageMapRow(pages, allocator, format, host, NewInlineMap(format)); };

  for (SystemTable& table : tables) {
    TableDef& def = table.def;
    def.name = table.name;
    def.format = format;
    def.table_type = kSystemTableType;
    def.definition_page = table.page;
    for (const NewColumn& column : table.columns) {
      AppendColumn(def, column, header);
      // The catalog's binary columns hold up to 510 bytes, past what a user's binary field may.
      if (column.dao_type == static_cast<int16_t>(FieldType::kBinary)) def.columns.back().length = static_cast<uint16_t>(column.size);
      // Jet flags the columns of its own tables (0x10; MSysObjects.Owner also 0x20), and Jet 3
      // leaves their second column number 0, as every file Jet or Access made shows.
      ColumnDef& added = def.columns.back();
      added.flags |= column_flag::kReplication;
      if (def.name == std::string("MSysObjects") && added.name == "Owner") added.flags |= 0x20;
      if (format == Format::kJet3) PutLe16(added.stored, 5, 0);
    }
    def.owned_pages_pointer = map_row();
    def.free_pages_pointer = map_row();
    for (const SystemTable::Index& index : table.indexes) {
      const size_t real = AppendIndexDefinition(def, index.spec, map_row());
      // The catalog's own keys are flagged as Jet flags them, which is not what a primary key
      // made through DAO gets: not required, even where primary.
      uint8_t& flags = def.real_indexes[real].flags;
      flags = index.spec.unique ? index_flag::kUnique : 0;
      if (index.ignore_nulls) flags |= index_flag::kIgnoreNulls;
      if (index.required) flags |= index_flag::kRequired;
    }
    TableWriter writer(pages, allocator, def, kCodePage);
    for (Row& row : table.rows) writer.Insert(std::move(row));
    for (size_t i = 0; i < def.real_indexes.size(); ++i)
      BuildIndex(pages, allocator, def, i, IndexEntriesFromRows(pages, def, i, kCodePage));
    WriteTableDefinition(pages, allocator, def, kCodePage);
  }
  pages.Flush([&](uint32_t number, std::span<const uint8_t> bytes) { output.Write(number, bytes); });
  output.Finish(path);
}

}  // namespace jet
