#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "jet/core/database.h"
#include "jet/core/field_properties.h"
#include "jet/query/property_value.h"
#include "jet/write/database_writer.h"
#include "jet/write/new_database.h"
#include "tests/support/corpus.h"

namespace jet {
namespace {

using vantrel::test::TempDir;

TEST(CatalogLookup, QueriesAreFoundWithoutRegardToCaseAndListedByName) {
  TempDir folder;
  const auto path = folder / "queries.mdb";
  CreateDatabase(path);
  {
    auto writer = DatabaseWriter::Open(path);
    writer->CreateTable({"T", {{"ID", 4, 4}}, {{}}, {}});
    for (const char* name : {"qZeta", "QALFA", "qbeta"}) writer->CreateQuery(name, "SELECT T.ID FROM T;");
    writer->Commit();
  }
  auto database = Database::Open(path);
  ASSERT_EQ(database->queries().size(), 3u);
  std::vector<std::string> listed;
  for (const QueryInfo* query : database->queries_by_name()) listed.push_back(query->name);
  EXPECT_EQ(listed, (std::vector<std::string>{"QALFA", "qbeta", "qZeta"}));
  ASSERT_NE(database->FindQuery("qalfa"), nullptr);
  EXPECT_EQ(database->FindQuery("qalfa")->name, "QALFA");
  EXPECT_EQ(database->FindQuery("QZETA")->name, "qZeta");
  EXPECT_EQ(database->FindQuery("qAlfa "), nullptr);  // Jet does not trim
  EXPECT_EQ(database->FindQuery("T"), nullptr);
}

TEST(CatalogLookup, FieldsCarryNoDescriptorBytesWhileTheDefinitionKeepsThem) {
  TempDir folder;
  const auto path = folder / "fields.mdb";
  CreateDatabase(path);
  {
    auto writer = DatabaseWriter::Open(path);
    writer->CreateTable({"T", {{"ID", 4, 4}, {"Nome", 10, 30}}, {{}, {}}, {}});
    writer->Commit();
  }
  auto database = Database::Open(path);
  const TableInfo* table = database->FindTable("t");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->fields.size(), 2u);
  for (size_t i = 0; i < table->fields.size(); ++i) {
    const ColumnDef& column = table->def.columns[table->fields[i].column.position];
    EXPECT_EQ(column.stored.size(), 25u);  // a Jet 4 descriptor, for the writer
    EXPECT_TRUE(table->fields[i].column.stored.empty());
    EXPECT_EQ(table->fields[i].column.name, column.name);
    EXPECT_EQ(table->fields[i].column.length, column.length);
    EXPECT_EQ(table->fields[i].column.number, column.number);
  }
  EXPECT_EQ(table->fields[1].size, 30);
}

TEST(DescriptorBytes, HoldsBothFormatsAndRefusesMore) {
  DescriptorBytes bytes;
  const std::vector<uint8_t> jet4(25, 0xAB);
  bytes.assign(jet4.begin(), jet4.end());
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), jet4);
  bytes.assign(18, 0);
  EXPECT_EQ(bytes.size(), 18u);
  const std::vector<uint8_t> too_long(DescriptorBytes::kCapacity + 1, 1);
  EXPECT_THROW(bytes.assign(too_long.begin(), too_long.end()), std::length_error);
  EXPECT_EQ(bytes.size(), 18u);  // unchanged by the refusal
  bytes.clear();
  EXPECT_TRUE(bytes.empty());
}

// Column groups are found by name without regard to case; the first group of a name counts,
// and the table's own group (chunk type 0) is never a column's even when the names agree.
TEST(ReadFields, ColumnGroupsAreMatchedByNameFirstOneWins) {
  TableDef table;
  table.format = Format::kJet4;
  for (uint16_t i = 0; i < 3; ++i) {
    ColumnDef column;
    column.name = i == 0 ? "Nome" : i == 1 ? "Città" : "T";
    column.type = 10;
    column.length = 100;
    column.number = static_cast<uint16_t>(2 - i);  // listed in column-number order
    column.position = i;
    table.columns.push_back(column);
  }
  PropertyBlob blob;
  auto group = [](std::string target, uint16_t chunk_type, bool required) {
    PropertyGroup g;
    g.target = std::move(target);
    g.chunk_type = chunk_type;
    g.properties.push_back(BoolProperty("Required", required));
    return g;
  };
  blob.groups = {group("T", 0, true), group("NOME", 1, true), group("nome", 1, false), group("Città", 1, true)};
  const std::vector<FieldInfo> fields = ReadFields(table, blob);
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].name(), "T");
  EXPECT_FALSE(fields[0].required.has_value());  // the table's own group is not the column's
  EXPECT_EQ(fields[1].name(), "Città");
  EXPECT_EQ(fields[1].required, true);
  EXPECT_EQ(fields[2].name(), "Nome");
  EXPECT_EQ(fields[2].required, true);  // the first group of the name
  EXPECT_EQ(ReadFields(table, PropertyBlob{}).at(2).required, std::nullopt);
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

// Column and index names of every length around the four units read at a time, with a
// letter outside ASCII in the first and in a later group of units and one outside Latin-1,
// read back as written.
TEST(CatalogLookup, NamesOfEveryLengthAndAlphabetReadBackAsWritten) {
  TempDir folder;
  const auto path = folder / "names.mdb";
  CreateDatabase(path);
  std::vector<std::string> names;
  for (size_t length = 1; length <= 17; ++length) names.push_back("C" + std::string(length - 1, 'x'));
  names.push_back("Città");
  names.push_back("Quantità venduta");
  names.push_back("Campo\xC4\x80");  // Ā: a unit with a high byte
  names.push_back("Z\xE2\x82\xAC");  // €: outside Latin-1 too
  NewTable table{"Nomi", {}, {}, {}};
  for (const std::string& name : names) {
    table.columns.push_back({name, 4, 4});
    table.properties.emplace_back();
  }
  table.indexes.push_back({"Indice città", false, false, {"Città"}});
  table.indexes.push_back({"Ix", false, false, {"Cxxxxxxxx"}});
  {
    auto writer = DatabaseWriter::Open(path);
    writer->CreateTable(table);
    writer->Commit();
  }
  auto database = Database::Open(path);
  const TableInfo* read = database->FindTable("Nomi");
  ASSERT_NE(read, nullptr);
  std::vector<std::string> read_names;
  for (const FieldInfo& field : read->fields) read_names.push_back(field.name());
  EXPECT_EQ(read_names, names);
  std::vector<std::string> index_names;
  for (const IndexInfo& index : read->indexes) index_names.push_back(index.name);
  std::sort(index_names.begin(), index_names.end());
  EXPECT_EQ(index_names, (std::vector<std::string>{"Indice città", "Ix"}));
}

}  // namespace
}  // namespace jet
