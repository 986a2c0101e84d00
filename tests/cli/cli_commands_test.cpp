// vantrel-cli run as a subprocess on copies of an Access sample and on references the engine
// makes from it: what reaches stdout and stderr, the exit status and the --json report.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tests/cli/cli_run.h"
#include "tests/support/corpus.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

class CliCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VANTREL_REQUIRE_CORPUS();
    fs::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", dir / "ref.mdb");
    fs::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", dir / "loc.mdb");
  }

  // The reference: Table1 with A cut from 50 to 3 characters and E (long integer) narrowed
  // to an integer; the local Table1 keeps its two rows ("abcdefg" / 333333333 and "a" / 0).
  void NarrowReferenceTable1() {
    auto writer = jet::DatabaseWriter::Open(dir / "ref.mdb");
    RedefineTable(*writer, "Table1", [](jet::NewTable& table) {
      table.columns[0].size = 3;       // A
      table.columns[4].dao_type = 3;   // E
    });
    writer->Commit();
  }

  CliRun Run(const std::vector<std::string>& arguments) { return RunCli(arguments, dir.path()); }

  TempDir dir;
};

TEST_F(CliCommandsTest, HelpVersionAndBadArguments) {
  const CliRun help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("verify REF LOCAL"), std::string::npos);
  EXPECT_NE(help.out.find("--no-compact"), std::string::npos);
  EXPECT_EQ(Run({"--version"}).status, 0);
  EXPECT_EQ(Run({"--version"}).out.rfind("vantrel-cli ", 0), 0u);
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{}, {"verifica", "ref.mdb", "loc.mdb"}, {"verify", "ref.mdb"},
        {"verify", "ref.mdb", "loc.mdb", "x.mdb"}, {"verify", "ref.mdb", "loc.mdb", "--no-compact"},
        {"update", "ref.mdb", "loc.mdb", "--json"}, {"dump", "loc.mdb", "--json", "r.json"}, {"compact"}}) {
    const CliRun run = Run(wrong);
    EXPECT_EQ(run.status, 2) << (wrong.empty() ? "" : wrong[0]);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("Usage:"), std::string::npos);
  }
}

TEST_F(CliCommandsTest, PathsThatNameNoFileOrTheSameFileAreRefusedBeforeAnyWork) {
  const auto before = fs::last_write_time(dir / "loc.mdb");
  CliRun run = Run({"update", "manca.mdb", "loc.mdb"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.out.empty()) << "no run-log line, not even the update's blank one";
  EXPECT_EQ(run.err, "Vantrel: DataBase aggiornato inesistente\nmanca.mdb\n");
  run = Run({"verify", "ref.mdb", "manca.mdb"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "Vantrel: DataBase locale da aggiornare inesistente\nmanca.mdb\n");
  // Two spellings of one file: an update of a database from itself is no update.
  run = Run({"update", "loc.mdb", "./loc.mdb"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "Vantrel: DataBase aggiornato uguale al DataBase locale da aggiornare\nloc.mdb\n");
  EXPECT_EQ(Run({"compact", "manca.mdb"}).status, 2);
  EXPECT_EQ(Run({"dump", "manca.mdb"}).status, 2);
  EXPECT_EQ(Run({"check", "."}).status, 2);
  EXPECT_EQ(fs::last_write_time(dir / "loc.mdb"), before);
}

TEST_F(CliCommandsTest, AFileThatIsNoDatabaseFailsThePass) {
  { std::ofstream(dir / "testo.mdb") << "non sono un database"; }
  const CliRun run = Run({"verify", "ref.mdb", "testo.mdb"});
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.OutLines().size(), 1u);
  EXPECT_EQ(run.OutLines()[0].rfind("Impossibile aprire il database testo.mdb: ", 0), 0u);
  EXPECT_NE(run.err.find("Errore 3343"), std::string::npos) << run.err;
  EXPECT_EQ(Run({"check", "testo.mdb"}).status, 1);
}

TEST_F(CliCommandsTest, VerifyOfTwoEqualDatabasesPrintsNothing) {
  const CliRun run = Run({"verify", "ref.mdb", "loc.mdb"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

TEST_F(CliCommandsTest, VerifyPrintsTheRunLogAndThePreviewApart) {
  NarrowReferenceTable1();
  const CliRun run = Run({"verify", "ref.mdb", "loc.mdb"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Tabella  Table1 : Campo A con dimensione diversa: da 50 a 3 - sostituisco ...\n"
            "Tabella  Table1 : Campo E di tipo diverso: da 'Int. Lungo' a 'Intero' - sostituisco ...\n");
  EXPECT_EQ(run.err,
            "Anteprima dei campi da ricostruire:\n"
            "Tabella  Table1 : Campo A - 2 righe: 0 valori non convertibili, 1 troncati\n"
            "Tabella  Table1 : Campo E - 2 righe: 1 valori non convertibili, 0 troncati"
            " (la copia si fermerebbe al primo non convertibile)\n");
}

TEST_F(CliCommandsTest, VerifyJsonReportCarriesEachFindingWithItsTypesSizesAndLosses) {
  NarrowReferenceTable1();
  const CliRun run = Run({"verify", "ref.mdb", "loc.mdb", "--json", "rapporto.json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.OutLines().size(), 2u) << "a report in a file leaves the run log on stdout";
  const auto report = nlohmann::json::parse(ReadText(dir / "rapporto.json"));
  EXPECT_EQ(report["command"], "verify");
  EXPECT_EQ(report["exit_status"], 0);
  EXPECT_EQ(report["ok"], true);
  EXPECT_TRUE(report["error"].is_null());
  EXPECT_EQ(report["log"].size(), 2u);
  ASSERT_EQ(report["findings"].size(), 2u);
  const auto& size = report["findings"][0];
  EXPECT_EQ(size["kind"], "size_change");
  EXPECT_EQ(size["table"], "Table1");
  EXPECT_EQ(size["field"], "A");
  EXPECT_EQ(size["old_type"]["number"], 10);
  EXPECT_EQ(size["new_type"]["name"], "Testo");
  EXPECT_EQ(size["old_size"], 50);
  EXPECT_EQ(size["new_size"], 3);
  EXPECT_EQ(size["data_loss"], nlohmann::json({{"rows", 2}, {"not_convertible", 0}, {"cut", 1}}));
  const auto& type = report["findings"][1];
  EXPECT_EQ(type["kind"], "type_change");
  EXPECT_EQ(type["field"], "E");
  EXPECT_EQ(type["old_type"], nlohmann::json({{"number", 4}, {"name", "Int. Lungo"}}));
  EXPECT_EQ(type["new_type"], nlohmann::json({{"number", 3}, {"name", "Intero"}}));
  EXPECT_EQ(type["data_loss"]["not_convertible"], 1);
  EXPECT_EQ(type["line"], run.OutLines()[1]);
}

TEST_F(CliCommandsTest, JsonOnStandardOutputReplacesTheRunLog) {
  NarrowReferenceTable1();
  const CliRun run = Run({"verify", "--json", "-", "ref.mdb", "loc.mdb"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_EQ(report["findings"].size(), 2u);
}

TEST_F(CliCommandsTest, JsonReportNeverOverwritesADatabase) {
  const auto size = fs::file_size(dir / "loc.mdb");
  EXPECT_EQ(Run({"verify", "ref.mdb", "loc.mdb", "--json", "loc.mdb"}).status, 2);
  EXPECT_EQ(fs::file_size(dir / "loc.mdb"), size);
  EXPECT_EQ(Run({"verify", "ref.mdb", "loc.mdb", "--json", "cartella/mancante/r.json"}).status, 2);
}

TEST_F(CliCommandsTest, JsonReportOfANameThatIsNotUtf8IsStillWritten) {
  const CliRun run = Run({"verify", "rif\xff.mdb", "loc.mdb", "--json", "r.json"});
  EXPECT_EQ(run.status, 2);
  const auto report = nlohmann::json::parse(ReadText(dir / "r.json"));
  EXPECT_EQ(report["exit_status"], 2);
  EXPECT_EQ(report["files"][0], "rif\xEF\xBF\xBD.mdb");
  EXPECT_EQ(report["error"]["description"], "DataBase aggiornato inesistente\nrif\xEF\xBF\xBD.mdb");
}

TEST_F(CliCommandsTest, UpdateWhoseCopyCannotConvertFailsAndKeepsTheRows) {
  NarrowReferenceTable1();
  const CliRun run = Run({"update", "ref.mdb", "loc.mdb", "--json", "r.json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.OutLines().at(0), " ");
  EXPECT_EQ(run.OutLines().at(1), "Tabella  Table1 : Campo A con dimensione diversa: da 50 a 3 - sostituisco ...");
  EXPECT_NE(run.err.find("ERRORE in aggiornamento: ERRORE in aggiornamento DB: tabella Table1"), std::string::npos)
      << run.err;
  const auto report = nlohmann::json::parse(ReadText(dir / "r.json"));
  EXPECT_EQ(report["ok"], false);
  EXPECT_EQ(report["exit_status"], 1);
  EXPECT_EQ(report["error"]["number"], 3349) << report.dump();
  EXPECT_TRUE(report["compacted"].is_null()) << "no compaction after a failed pass";
  ASSERT_EQ(report["messages"].size(), 1u);
  EXPECT_EQ(report["messages"][0]["style"], 16);
  auto local = jet::Database::Open(dir / "loc.mdb");
  EXPECT_EQ(local->FindTable("Table1")->fields.at(0).size, 50);
}

TEST_F(CliCommandsTest, UpdateWithoutCompactionBringsTheLocalInLineWithProgressOnStderr) {
  {
    auto writer = jet::DatabaseWriter::Open(dir / "ref.mdb");
    RedefineTable(*writer, "Table1", [](jet::NewTable& table) { table.columns[0].size = 3; });
    writer->Commit();
  }
  const CliRun run = Run({"update", "ref.mdb", "loc.mdb", "--no-compact", "--json", "r.json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            " \n"
            "Tabella  Table1 : Campo A con dimensione diversa: da 50 a 3 - sostituisco ...\n"
            "Tabella  Table1 :     Nuovo Indice -> PrimaryKey\n"
            "Tabella  Table1 :     Nuovo Indice -> B\n");
  EXPECT_NE(run.err.find(" 2 / 2\n"), std::string::npos) << run.err;
  const auto report = nlohmann::json::parse(ReadText(dir / "r.json"));
  ASSERT_EQ(report["changes"].size(), 3u);
  EXPECT_EQ(report["changes"][0]["kind"], "size_change");
  EXPECT_EQ(report["changes"][1], nlohmann::json({{"kind", "created_index"},
                                                  {"table", "Table1"},
                                                  {"index", "PrimaryKey"},
                                                  {"line", run.OutLines()[2]}}));
  EXPECT_TRUE(report["compacted"].is_null());
  // Nothing is left to do, and the cut value is what the preview said it would be.
  EXPECT_EQ(Run({"verify", "ref.mdb", "loc.mdb"}).out, "");
  const CliRun dump = Run({"dump", "loc.mdb"});
  EXPECT_EQ(dump.status, 0);
  EXPECT_NE(dump.out.find("\"abc\""), std::string::npos);
  EXPECT_EQ(dump.out.find("\"abcdefg\""), std::string::npos);
  EXPECT_EQ(Run({"check", "loc.mdb"}).status, 0);
}

TEST_F(CliCommandsTest, ProgressOfALongCopyComesATenthAtATime) {
  // Grande: Table1's fields, 128 rows locally; the reference widens A, so the update
  // rebuilds it and copies every row.
  for (const char* name : {"loc.mdb", "ref.mdb"}) {
    auto writer = jet::DatabaseWriter::Open(dir / name);
    jet::NewTable grande = CopyOf(*writer->database().FindTable("Table1"), "Grande");
    grande.indexes.clear();
    if (std::string(name) == "ref.mdb") grande.columns[0].size = 60;
    writer->CreateTable(grande);
    if (std::string(name) == "loc.mdb") {
      writer->Execute("INSERT INTO Grande SELECT Table1.* FROM Table1");
      for (int i = 0; i < 6; ++i) writer->Execute("INSERT INTO Grande SELECT Grande.* FROM Grande");
    }
    writer->Commit();
  }
  const CliRun run = Run({"update", "ref.mdb", "loc.mdb", "--no-compact"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines;
  std::istringstream err(run.err);
  for (std::string line; std::getline(err, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 10u) << run.err;
  EXPECT_EQ(lines.front().rfind("Copia righe Grande", 0), 0u) << lines.front();
  EXPECT_NE(lines.front().find(": 13 / 128"), std::string::npos) << lines.front();
  EXPECT_NE(lines.back().find(": 128 / 128"), std::string::npos) << lines.back();
  EXPECT_EQ(run.out.find("Copia"), std::string::npos);
}

TEST_F(CliCommandsTest, AKvoReferenceLeavesTheLocalWorkTablesAlone) {
  {
    auto writer = jet::DatabaseWriter::Open(dir / "loc.mdb");
    writer->CreateTable({"APPOGGIO_", {{"ID", 4, 0}}, {{}}, {}});
    writer->Commit();
  }
  fs::copy_file(dir / "ref.mdb", dir / "KVOref.mdb");
  EXPECT_EQ(Run({"verify", (dir / "KVOref.mdb").string(), "loc.mdb"}).out, "");
  EXPECT_EQ(Run({"verify", (dir / "ref.mdb").string(), "loc.mdb"}).out, "Elimino Tabella: APPOGGIO_\n");
}

TEST_F(CliCommandsTest, NoProgressKeepsStderrForMessagesOnly) {
  {
    auto writer = jet::DatabaseWriter::Open(dir / "ref.mdb");
    RedefineTable(*writer, "Table1", [](jet::NewTable& table) { table.columns[0].size = 3; });
    writer->Commit();
  }
  const CliRun run = Run({"update", "--no-progress", "--no-compact", "ref.mdb", "loc.mdb"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace vantrel::test
