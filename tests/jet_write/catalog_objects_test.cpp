// Tables, indexes and queries created, renamed and deleted on copies of Access's files: the
// engine reads them back, its checker finds nothing wrong, and mdbtools reads them too.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "jet/check/database_check.h"
#include "jet/common/error.h"
#include "jet/write/database_writer.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

// The table as a detached definition would carry it: every field of `table`, same names.
jet::NewTable CopyOf(const jet::TableInfo& table, const std::string& name) {
  jet::NewTable copy;
  copy.name = name;
  for (const jet::FieldInfo& field : table.fields) {
    copy.columns.push_back({field.name(), field.dao_type, field.size});
    copy.properties.push_back({{"AllowZeroLength", true, std::nullopt}});
  }
  return copy;
}

class CatalogObjectsTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    path = dir / "local.mdb";
    fs::copy_file(CorpusDir() / GetParam(), path);
  }
  TempDir dir;
  fs::path path;
};

TEST_P(CatalogObjectsTest, NewTableTakesFieldsPropertiesIndexesAndCopiedRows) {
  std::string source;
  size_t source_rows = 0;
  {
    auto writer = jet::DatabaseWriter::Open(path);
    source = writer->database().FindTable("Table1") ? "Table1" : writer->database().tables().back().name;
    jet::NewTable spec = CopyOf(*writer->database().FindTable(source), "Nuova tabella");
    spec.columns.push_back({"CODICE", 10, 20});
    spec.properties.push_back({{"Required", false, std::nullopt}, {"DefaultValue", std::nullopt, "\"X\""},
                               {"ValidationRule", std::nullopt, "Is Not Null"}});
    spec.indexes.push_back({"Chiave", false, false, {"CODICE"}});
    writer->CreateTable(spec);
    writer->Execute("INSERT INTO [Nuova tabella] SELECT [" + source + "].* FROM [" + source + "]");
    source_rows = RowsOf(const_cast<jet::Database&>(writer->database()), source).size();
    writer->Commit();
  }
  auto database = jet::Database::Open(path);
  const jet::TableInfo* table = database->FindTable("nuova TABELLA");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->name, "Nuova tabella");
  EXPECT_EQ(table->attributes, 0);
  const jet::FieldInfo* code = table->FindField("CODICE");
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(code->size, 20);
  EXPECT_EQ(code->default_value.value_or(""), "\"X\"");
  EXPECT_EQ(code->validation_rule.value_or(""), "Is Not Null");
  EXPECT_TRUE(table->fields.front().AllowZeroLength());
  ASSERT_EQ(table->indexes.size(), 1u);
  EXPECT_EQ(table->indexes[0].name, "Chiave");
  // Rows the insert copied, each with the default of the field the source lacks.
  const std::vector<jet::Row> rows = RowsOf(*database, "Nuova tabella");
  ASSERT_EQ(rows.size(), source_rows);
  for (const jet::Row& row : rows) EXPECT_EQ(row[code->column.position], jet::Value{std::string("X")});
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  EXPECT_NE(Output("mdb-tables -1 " + path.string()).find("Nuova tabella"), std::string::npos);
  // Values may hold line breaks: compare with what mdbtools prints for the source rows.
  const auto lines = [&](const std::string& table) {
    return Output("mdb-export -H '" + path.string() + "' '" + table + "' | wc -l");
  };
  EXPECT_EQ(lines("Nuova tabella"), lines(source));
}

TEST_P(CatalogObjectsTest, IndexesAreBuiltFromTheRowsAndGoAway) {
  std::string table;
  size_t count = 0;
  {
    auto writer = jet::DatabaseWriter::Open(path);
    table = writer->database().tables().back().name;
    for (const jet::TableInfo& candidate : writer->database().tables())
      if (!candidate.system() && !candidate.linked() && !candidate.def.columns.empty()) table = candidate.name;
    const std::string field = writer->database().FindTable(table)->fields.front().name();
    writer->CreateIndex(table, {"Nuovo", false, false, {field}});
    EXPECT_EQ(ErrorOf([&] { writer->CreateIndex(table, {"nuovo", false, false, {field}}); }), 3284);
    EXPECT_EQ(ErrorOf([&] { writer->CreateIndex(table, {"Altro", false, false, {"manca"}}); }), 3265);
    EXPECT_EQ(ErrorOf([&] { writer->CreateIndex(table, {"Vuoto", false, false, {}}); }), 3264);
    writer->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  {
    auto database = jet::Database::Open(path);
    const jet::TableInfo* info = database->FindTable(table);
    count = info->indexes.size();
    EXPECT_TRUE(std::any_of(info->indexes.begin(), info->indexes.end(),
                            [](const jet::IndexInfo& index) { return index.name == "Nuovo"; }));
  }
  {
    auto again = jet::DatabaseWriter::Open(path);
    again->DeleteIndex(table, "NUOVO");
    EXPECT_EQ(again->database().FindTable(table)->indexes.size(), count - 1);
    again->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
}

// Keys twice over: a unique or primary index is refused with 3022 (a Null in a primary key
// with 3058) and leaves nothing behind; a plain index takes the duplicates and the Nulls.
TEST_P(CatalogObjectsTest, UniqueAndPrimaryIndexesRefuseDuplicatesAndNulls) {
  std::string field;
  {
    auto writer = jet::DatabaseWriter::Open(path);
    // A copy of a table with rows, twice over, with a field of its own that holds the same
    // value in every row: nothing but duplicates.
    const jet::TableInfo* source = nullptr;
    for (const jet::TableInfo& candidate : writer->database().tables())
      if (!candidate.system() && !candidate.linked() && candidate.def.row_count > 0 && !source) source = &candidate;
    ASSERT_NE(source, nullptr);
    const std::string source_name = source->name;
    jet::NewTable spec = CopyOf(*source, "Doppi");
    field = "Numero";
    spec.columns.push_back({field, 4, 0});
    spec.columns.push_back({"Sigla", 10, 10});
    spec.properties.resize(spec.columns.size());
    writer->CreateTable(spec);
    writer->Execute("INSERT INTO [Doppi] SELECT [" + source_name + "].* FROM [" + source_name + "]");
    writer->Execute("INSERT INTO [Doppi] SELECT [" + source_name + "].* FROM [" + source_name + "]");
    writer->Execute("UPDATE [Doppi] SET [Numero] = 7");
    writer->Execute("UPDATE [Doppi] SET [Sigla] = 'Città'");
    writer->Commit();
  }
  const std::string committed = FileBytes(path);
  {
    auto writer = jet::DatabaseWriter::Open(path);
    EXPECT_EQ(ErrorOf([&] { writer->CreateIndex("Doppi", {"Unico", false, true, {field}}); }), jet::err::kDuplicateKey);
    EXPECT_EQ(ErrorOf([&] { writer->CreateIndex("Doppi", {"PrimaryKey", true, true, {field}}); }), jet::err::kDuplicateKey);
    EXPECT_EQ(ErrorOf([&] { writer->CreateIndex("Doppi", {"Testo", false, true, {"Sigla"}}); }), jet::err::kDuplicateKey);
    EXPECT_TRUE(writer->database().FindTable("Doppi")->indexes.empty());
    writer->Commit();
  }
  EXPECT_EQ(FileBytes(path), committed) << "refused indexes change nothing";
  {
    auto writer = jet::DatabaseWriter::Open(path);
    writer->Execute("UPDATE [Doppi] SET [" + field + "] = Null");
    EXPECT_EQ(ErrorOf([&] { writer->CreateIndex("Doppi", {"PrimaryKey", true, true, {field}}); }), 3058);
    writer->CreateIndex("Doppi", {"Semplice", false, false, {field}});
    writer->CreateIndex("Doppi", {"Testo", false, false, {"Sigla"}});
    writer->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  auto database = jet::Database::Open(path);
  ASSERT_EQ(database->FindTable("Doppi")->indexes.size(), 2u);
  EXPECT_NE(Output("mdb-schema --indexes '" + path.string() + "' mysql 2>&1").find("ADD INDEX `Semplice`"), std::string::npos);
}

// Every text field of every user table filled to its full size: rows Access wrote grow in
// place or move behind forwarding stubs, their indexes follow, and both readers see them.
TEST_P(CatalogObjectsTest, FillsToFullSizeMoveAccessRowsAndKeepThemReadable) {
  std::map<std::string, size_t> counts;
  {
    auto writer = jet::DatabaseWriter::Open(path);
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, int32_t>>>> texts;
    for (const jet::TableInfo& table : writer->database().tables()) {
      if (table.system() || table.linked() || table.def.row_count == 0) continue;
      std::vector<std::pair<std::string, int32_t>> fields;
      for (const jet::FieldInfo& field : table.fields)
        if (field.dao_type == 10 && !std::any_of(table.indexes.begin(), table.indexes.end(), [&](const jet::IndexInfo& index) {
              return index.unique && std::any_of(index.fields.begin(), index.fields.end(),
                                                 [&](const jet::IndexFieldInfo& part) { return part.name == field.name(); });
            }))
          fields.emplace_back(field.name(), field.size);
      if (!fields.empty()) texts.emplace_back(table.name, fields);
    }
    if (texts.empty()) GTEST_SKIP() << "no text field to fill";
    for (const auto& [table, fields] : texts) {
      for (const auto& [field, size] : fields)
        writer->Execute("UPDATE [" + table + "] SET [" + field + "] = '" + std::string(static_cast<size_t>(size), 'w') + "'");
      counts[table] = RowsOf(const_cast<jet::Database&>(writer->database()), table).size();
    }
    writer->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  auto database = jet::Database::Open(path);
  for (const auto& [table, count] : counts) {
    SCOPED_TRACE(table);
    EXPECT_EQ(RowsOf(*database, table).size(), count);
    // Memos may hold line breaks: rows end with a mark of their own.
    EXPECT_EQ(Output("mdb-export -H -R '<<row>>' '" + path.string() + "' '" + table + "' 2>&1 | grep -a -o '<<row>>' | wc -l"),
              std::to_string(count) + "\n");
  }
}

TEST_P(CatalogObjectsTest, RenamedAndDeletedTablesLeaveACleanCatalog) {
  std::vector<std::string> user_tables;
  std::map<std::string, std::vector<jet::Row>> kept;
  {
    auto writer = jet::DatabaseWriter::Open(path);
    for (const jet::TableInfo& table : writer->database().tables())
      if (!table.system()) user_tables.push_back(table.name);
    ASSERT_FALSE(user_tables.empty());
    EXPECT_EQ(ErrorOf([&] { writer->RenameTable(user_tables[0], "bad.name"); }), 3125);
    EXPECT_EQ(ErrorOf([&] { writer->RenameTable(user_tables[0], " lead"); }), 3125);
    EXPECT_EQ(ErrorOf([&] { writer->RenameTable(user_tables[0], "MSysObjects"); }), 3010);
    EXPECT_EQ(ErrorOf([&] { writer->DeleteTable("MSysObjects"); }), 3251);
    EXPECT_EQ(ErrorOf([&] { writer->DeleteTable("Nessuna"); }), 3265);
    writer->RenameTable(user_tables[0], "Rinominata");
    for (size_t i = 1; i < user_tables.size(); ++i) {
      const int32_t error = ErrorOf([&] { writer->DeleteTable(user_tables[i]); });
      // Tables in a relationship stay, refused with 3303; all others go.
      EXPECT_TRUE(error == 0 || error == 3303) << error;
      EXPECT_EQ(writer->database().FindTable(user_tables[i]) == nullptr, error == 0);
      if (error != 0) kept[user_tables[i]] = RowsOf(const_cast<jet::Database&>(writer->database()), user_tables[i]);
    }
    kept["Rinominata"] = RowsOf(const_cast<jet::Database&>(writer->database()), "Rinominata");
    writer->Commit();
  }
  {
    // New long values take the pages the dropped tables gave back; what stayed keeps its rows.
    auto writer = jet::DatabaseWriter::Open(path);
    writer->CreateTable({"Riempita", {{"Id", 4, 0}, {"Nota", 12, 0}, {"Foto", 11, 0}}, {{}, {}, {}}, {}});
    int made = 0;
    writer->InsertRows("Riempita", [&](jet::Row& row) {
      if (made == 300) return false;
      ++made;
      row = {jet::Value{static_cast<int32_t>(made)}, jet::Value{std::string(static_cast<size_t>(made * 7), 'n')},
             jet::Value{jet::Binary{std::vector<uint8_t>(static_cast<size_t>(made * 13), 0xB6)}}};
      return true;
    });
    writer->Commit();
  }
  auto database = jet::Database::Open(path);
  for (const auto& [table, rows] : kept) EXPECT_EQ(RowsOf(*database, table), rows) << table;
  EXPECT_NE(database->FindTable("Rinominata"), nullptr);
  EXPECT_EQ(database->FindTable(user_tables[0] == "Rinominata" ? "-" : user_tables[0]), nullptr);
  database.reset();
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  EXPECT_NE(Output("mdb-tables -1 " + path.string()).find("Rinominata"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(SampleFiles, CatalogObjectsTest,
                         ::testing::Values("jet4/testV2000.mdb", "jet3/testV1997.mdb", "jet4/indexTestV2000.mdb",
                                           "jet3/indexTestV1997.mdb", "jet4/testUnicodeCompV2003.mdb",
                                           "jet3/test2V1997.mdb", "jet3/compIndexTestV1997.mdb",
                                           "jet3/delColTestV1997.mdb", "jet3/delTestV1997.mdb",
                                           "jet3/overflowTestV1997.mdb", "jet4/overflowTestV2000.mdb"),
                         [](const auto& info) { return fs::path(info.param).stem().string(); });

TEST(CatalogQueries, QueriesCopiedFromAnotherDatabaseKeepTheirSqlAndCanBeDeleted) {
  VANTREL_REQUIRE_CORPUS();
  for (const char* format : {"jet4", "jet3"}) {
    TempDir dir;
    const fs::path reference = CorpusDir() / format / (std::string(format) == "jet4" ? "queryTestV2000.mdb" : "queryTestV1997.mdb");
    const fs::path path = dir / "local.mdb";
    fs::copy_file(CorpusDir() / format / (std::string(format) == "jet4" ? "testV2000.mdb" : "testV1997.mdb"), path);
    auto source = jet::Database::Open(reference);
    {
      auto writer = jet::DatabaseWriter::Open(path);
      for (const jet::QueryInfo& query : source->queries()) writer->CreateQuery(query.name, query.sql, &query);
      writer->CreateQuery("xMia", "SELECT Table1.* FROM Table1;");
      EXPECT_EQ(ErrorOf([&] { writer->CreateQuery("XMIA", "SELECT 1;"); }), 3012);
      writer->Commit();
    }
    {
      auto local = jet::Database::Open(path);
      ASSERT_EQ(local->queries().size(), source->queries().size() + 1) << format;
      for (const jet::QueryInfo& query : source->queries()) {
        const jet::QueryInfo* copy = local->FindQuery(query.name);
        ASSERT_NE(copy, nullptr) << query.name;
        EXPECT_EQ(copy->sql, query.sql);
      }
      EXPECT_NE(Output("mdb-queries -1 " + path.string()).find("xMia"), std::string::npos);
    }
    EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
    {
      auto writer = jet::DatabaseWriter::Open(path);
      for (const jet::QueryInfo& query : source->queries()) writer->DeleteQuery(query.name);
      EXPECT_EQ(ErrorOf([&] { writer->DeleteQuery("nessuna"); }), 3265);
      writer->Commit();
    }
    auto local = jet::Database::Open(path);
    ASSERT_EQ(local->queries().size(), 1u);
    EXPECT_EQ(local->queries()[0].name, "xMia");
  }
}

}  // namespace
}  // namespace vantrel::test
