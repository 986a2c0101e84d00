#include "jet/write/new_database.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "jet/core/database.h"
#include "jet/dump/dump_json.h"
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

// The stored queries of the query samples, copied into a database made from nothing, read
// back with the same stored rows and the same SQL.
TEST(CreateDatabase, QueriesCopiedIntoANewDatabaseKeepTheirDefinitions) {
  VANTREL_REQUIRE_CORPUS();
  for (const char* sample : {"jet4/queryTestV2000.mdb", "jet3/queryTestV1997.mdb"}) {
    SCOPED_TRACE(sample);
    TempDir folder;
    const fs::path path = folder / "nuovo.mdb";
    jet::CreateDatabase(path);
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
