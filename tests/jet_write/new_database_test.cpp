#include "jet/write/new_database.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "jet/core/database.h"
#include "jet/dump/dump_json.h"
#include "jet/query/property_blob.h"
#include "jet/query/property_value.h"
#include "jet/write/database_writer.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

// The system tables as the dump shows them, without their rows (dates and ids differ).
nlohmann::json SystemTablesOf(const fs::path& path) {
  auto dump = jet::DumpDatabase(*jet::Database::Open(path));
  nlohmann::json tables = dump["systemTables"];
  for (auto& table : tables) {
    table.erase("rows");
    table.erase("rowCount");
  }
  return tables;
}

TEST(CreateDatabase, MakesTheSystemObjectsOfAnEmptyJetDatabase) {
  TempDir folder;
  const fs::path path = folder / "nuovo.mdb";
  jet::CreateDatabase(path);
  auto database = jet::Database::Open(path);
  EXPECT_EQ(database->format(), jet::Format::kJet4);
  EXPECT_EQ(database->header().code_page, 1252);
  std::vector<std::string> names;
  for (const auto& object : database->catalog()) names.push_back(object.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Tables", "Databases", "Relationships", "MSysDb", "MSysObjects",
                                             "MSysACEs", "MSysQueries", "MSysRelationships"}));
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  EXPECT_EQ(Output("mdb-tables -S -1 '" + path.string() + "' 2>&1"),
            "MSysObjects\nMSysACEs\nMSysQueries\nMSysRelationships\n");
  EXPECT_EQ(ErrorOf([&] { jet::CreateDatabase(path); }), 3204);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 1);
  if (CorpusDir().empty()) return;
  // Against a database Jet itself created: the same system tables, fields and indexes, the
  // same catalog rows (dates aside) and the same permissions.
  const fs::path made_by_jet = CorpusDir() / "jet4" / "emptyJet4.mdb";
  EXPECT_EQ(SystemTablesOf(path), SystemTablesOf(made_by_jet));
  auto rows_of = [](const fs::path& file, const std::string& table) {
    auto dump = jet::DumpDatabase(*jet::Database::Open(file));
    for (auto& t : dump["systemTables"]) {
      if (t["name"] != table) continue;
      for (auto& row : t["rows"]) {
        if (table == "MSysObjects") row[4] = row[5] = "date";
      }
      return t["rows"];
    }
    return nlohmann::json();
  };
  EXPECT_EQ(rows_of(path, "MSysObjects"), rows_of(made_by_jet, "MSysObjects"));
  EXPECT_EQ(rows_of(path, "MSysACEs"), rows_of(made_by_jet, "MSysACEs"));
}

// An Access 97 database from nothing: the system tables of every Access 97 sample (those
// Access itself adds left out), with the catalog rows and permissions Jet gives them.
TEST(CreateDatabase, MakesTheSystemObjectsOfAnEmptyJet3Database) {
  TempDir folder;
  const fs::path path = folder / "nuovo97.mdb";
  jet::CreateDatabase(path, jet::Format::kJet3);
  EXPECT_EQ(fs::file_size(path) % 2048, 0u);
  auto database = jet::Database::Open(path);
  EXPECT_EQ(database->format(), jet::Format::kJet3);
  EXPECT_EQ(database->header().code_page, 1252);
  EXPECT_EQ(database->header().sort_order, 0x0409);
  EXPECT_FALSE(database->header().has_password);
  std::vector<std::string> names;
  for (const auto& object : database->catalog()) names.push_back(object.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Tables", "Databases", "Relationships", "MSysDb", "MSysObjects",
                                             "MSysACEs", "MSysQueries", "MSysRelationships"}));
  database.reset();
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  EXPECT_EQ(Output("mdb-tables -S -1 '" + path.string() + "' 2>&1"),
            "MSysObjects\nMSysACEs\nMSysQueries\nMSysRelationships\n");
  EXPECT_EQ(Output("mdb-export '" + path.string() + "' MSysACEs 2>&1 | wc -l"), "17\n");
  EXPECT_EQ(ErrorOf([&] { jet::CreateDatabase(path, jet::Format::kJet3); }), 3204);
  if (CorpusDir().empty()) return;
  // The Jet tables of every Access 97 sample are the same; the rows Jet made in them are the
  // ones with the built-in owners (Access adds its own objects, owned by the user).
  const std::set<std::string> jet_tables = {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"};
  auto jet_system_tables = [&](const fs::path& file) {
    nlohmann::json tables = nlohmann::json::array();
    for (auto& table : SystemTablesOf(file))
      if (jet_tables.count(table["name"].get<std::string>())) tables.push_back(table);
    return tables;
  };
  const std::set<int64_t> jet_objects = {2, 3, 4, 5, 0x0F000001, 0x0F000002, 0x0F000003, 0x10000000};
  auto jet_rows = [&](const fs::path& file, const std::string& table) {
    auto dump = jet::DumpDatabase(*jet::Database::Open(file));
    nlohmann::json rows = nlohmann::json::array();
    for (auto& t : dump["systemTables"]) {
      if (t["name"] != table) continue;
      for (auto row : t["rows"]) {
        if (!jet_objects.count(row[0].get<int64_t>())) continue;
        if (table == "MSysObjects") {
          row[4] = row[5] = "date";
          row[14] = nullptr;  // MSysDb's properties: what Access sets (AccessVersion ...)
        }
        if (table == "MSysACEs" && row[1].get<std::string>().size() > std::string("hex:0000").size()) continue;
        rows.push_back(row);
      }
    }
    return rows;
  };
  for (const char* sample : {"testV1997.mdb", "queryTestV1997.mdb", "indexTestV1997.mdb"}) {
    SCOPED_TRACE(sample);
    const fs::path made_by_access = CorpusDir() / "jet3" / sample;
    EXPECT_EQ(jet_system_tables(path), jet_system_tables(made_by_access));
    EXPECT_EQ(jet_rows(path, "MSysObjects"), jet_rows(made_by_access, "MSysObjects"));
    if (std::string(sample) != "indexTestV1997.mdb") {  // that one lists its permissions in another order
      EXPECT_EQ(jet_rows(path, "MSysACEs"), jet_rows(made_by_access, "MSysACEs"));
    }
  }
}

TEST(CreateDatabase, ANewJet3DatabaseTakesTablesRowsIndexesAndQueries) {
  TempDir folder;
  const fs::path path = folder / "nuovo97.mdb";
  jet::CreateDatabase(path, jet::Format::kJet3);
  {
    auto writer = jet::DatabaseWriter::Open(path);
    EXPECT_EQ(writer->format(), jet::Format::kJet3);
    writer->CreateTable({"Clienti",
                         {{"Codice", 4, 4}, {"Nome", 10, 40}, {"Città", 10, 30}, {"Note", 12, 0}},
                         {{}, {{"Required", true, std::nullopt}}, {{"DefaultValue", std::nullopt, "\"Forlì\""}}, {}},
                         {{"PrimaryKey", true, true, {"Codice"}}, {"Nome", false, false, {"Nome"}}}});
    writer->CreateTable({"Copia", {{"Codice", 4, 4}, {"Nome", 10, 40}}, {{}, {}}, {}});
    writer->CreateQuery("Elenco", "SELECT Clienti.* FROM Clienti;");
    writer->Execute("INSERT INTO Copia SELECT Copia.* FROM Copia");
    writer->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  auto database = jet::Database::Open(path);
  const jet::TableInfo* clienti = database->FindTable("Clienti");
  ASSERT_NE(clienti, nullptr);
  ASSERT_NE(clienti->FindField("Città"), nullptr);
  EXPECT_EQ(clienti->FindField("Città")->default_value.value_or(""), "\"Forlì\"");
  EXPECT_TRUE(clienti->FindField("Nome")->Required());
  EXPECT_EQ(clienti->indexes.size(), 2u);
  ASSERT_NE(database->FindQuery("Elenco"), nullptr);
  const std::string schema = Output("mdb-schema '" + path.string() + "' 2>&1");
  EXPECT_NE(schema.find("[Città]"), std::string::npos) << schema;
  EXPECT_NE(Output("mdb-queries -1 '" + path.string() + "' 2>&1").find("Elenco"), std::string::npos);
}

// The stored queries of the query samples, copied into a database made from nothing, read
// back with the same stored rows and the same SQL.
TEST(CreateDatabase, QueriesCopiedIntoANewDatabaseKeepTheirDefinitions) {
  VANTREL_REQUIRE_CORPUS();
  // Into a database of either version, from a sample of either.
  for (const auto& [sample, format] :
       std::vector<std::pair<const char*, jet::Format>>{{"jet4/queryTestV2000.mdb", jet::Format::kJet4},
                                                        {"jet3/queryTestV1997.mdb", jet::Format::kJet4},
                                                        {"jet3/queryTestV1997.mdb", jet::Format::kJet3},
                                                        {"jet4/queryTestV2000.mdb", jet::Format::kJet3}}) {
    SCOPED_TRACE(std::string(sample) + (format == jet::Format::kJet3 ? " into Jet 3" : " into Jet 4"));
    TempDir folder;
    const fs::path path = folder / "nuovo.mdb";
    jet::CreateDatabase(path, format);
    auto source = jet::Database::Open(CorpusDir() / sample);
    {
      auto writer = jet::DatabaseWriter::Open(path);
      for (const auto& table : source->tables()) {
        if (table.system() || table.linked()) continue;
        jet::NewTable copy{table.name, {}, {}, {}};
        for (const auto& field : table.fields) {
          copy.columns.push_back({field.name(), field.dao_type, field.size});
          copy.properties.emplace_back();
        }
        writer->CreateTable(copy);
      }
      for (const auto& query : source->queries()) writer->CreateQuery(query.name, query.sql, &query);
      writer->Commit();
    }
    auto copied = jet::Database::Open(path);
    ASSERT_EQ(copied->queries().size(), source->queries().size());
    for (const auto& query : source->queries()) {
      const jet::QueryInfo* twin = copied->FindQuery(query.name);
      ASSERT_NE(twin, nullptr) << query.name;
      EXPECT_EQ(twin->sql, query.sql) << query.name;
      EXPECT_EQ(twin->type, query.type) << query.name;
      EXPECT_EQ(twin->rows.size(), query.rows.size()) << query.name;
      // Its properties come along, stored as the new database's version stores them.
      ASSERT_EQ(twin->object.properties.empty(), query.object.properties.empty()) << query.name;
      if (query.object.properties.empty()) continue;
      const jet::PropertyBlob theirs = jet::ParsePropertyBlob(query.object.properties, source->format());
      const jet::PropertyBlob ours = jet::ParsePropertyBlob(twin->object.properties, format);
      ASSERT_EQ(ours.groups.size(), theirs.groups.size()) << query.name;
      for (size_t g = 0; g < ours.groups.size(); ++g) {
        EXPECT_EQ(ours.groups[g].target, theirs.groups[g].target);
        ASSERT_EQ(ours.groups[g].properties.size(), theirs.groups[g].properties.size());
        for (size_t k = 0; k < ours.groups[g].properties.size(); ++k) {
          const jet::StoredProperty& mine = ours.groups[g].properties[k];
          const jet::StoredProperty& original = theirs.groups[g].properties[k];
          EXPECT_EQ(mine.name, original.name);
          EXPECT_EQ(mine.type, original.type);
          if (mine.type == jet::dao_type::kText || mine.type == jet::dao_type::kMemo) {
            EXPECT_EQ(jet::PropertyText(mine, format), jet::PropertyText(original, source->format())) << mine.name;
          } else {
            EXPECT_EQ(mine.value, original.value) << mine.name;
          }
        }
      }
    }
    EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
    EXPECT_EQ(Output("mdb-queries -1 '" + path.string() + "' 2>&1 | sort"),
              Output("mdb-queries -1 '" + (CorpusDir() / sample).string() + "' 2>&1 | sort"));
  }
}

TEST(CreateDatabase, ANewDatabaseTakesTablesRowsAndIndexes) {
  TempDir folder;
  const fs::path path = folder / "nuovo.mdb";
  jet::CreateDatabase(path);
  {
    auto writer = jet::DatabaseWriter::Open(path);
    writer->CreateTable({"Clienti", {{"Codice", 4, 4}, {"Nome", 10, 40}}, {{}, {}}, {{"PrimaryKey", true, true, {"Codice"}}}});
    writer->Execute("INSERT INTO Clienti SELECT Clienti.* FROM Clienti");
    writer->Commit();
  }
  auto database = jet::Database::Open(path);
  ASSERT_NE(database->FindTable("Clienti"), nullptr);
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  EXPECT_NE(Output("mdb-schema '" + path.string() + "' 2>&1").find("Clienti"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::test
