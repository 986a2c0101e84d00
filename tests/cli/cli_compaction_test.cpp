// The compaction through the console: alone, and after an update as an unattended run makes
// it. Its failure must reach the exit status even though the window's state does not record it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tests/cli/cli_run.h"
#include "tests/support/corpus.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

class CliCompactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VANTREL_REQUIRE_CORPUS();
    fs::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", dir / "ref.mdb");
    fs::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", dir / "loc.mdb");
  }

  CliRun Run(const std::vector<std::string>& arguments) { return RunCli(arguments, dir.path()); }

  TempDir dir;
};

TEST_F(CliCompactionTest, LeftoverCopyFailsTheCompactionWithTheWindowsTextsAndLeavesTheDatabase) {
  { std::ofstream(dir / "loc.md~") << "resto di un compattamento fallito"; }
  const auto size = fs::file_size(dir / "loc.mdb");
  const CliRun run = Run({"compact", "loc.mdb", "--json", "r.json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "------------- Compattamento  :   loc.mdb\n"
            "Compattamento in corso ...\n"
            "loc.mdb NON compattato\n");
  EXPECT_EQ(run.err,
            "Vantrel: ERRORE IN FASE DI COMPATTAMENTO DEL DATABASE loc.mdb\n"
            "CHIEDERE L'INTERVENTO DEL SISTEMISTA\n");
  EXPECT_EQ(fs::file_size(dir / "loc.mdb"), size);
  EXPECT_TRUE(fs::exists(dir / "loc.md~"));
  const auto report = nlohmann::json::parse(ReadText(dir / "r.json"));
  EXPECT_EQ(report["compacted"], false);
  EXPECT_EQ(report["ok"], false);
  EXPECT_TRUE(report["error"]["number"].is_null()) << "the window keeps no number for a failed compaction";
  EXPECT_EQ(report["error"]["description"],
            "ERRORE IN FASE DI COMPATTAMENTO DEL DATABASE loc.mdb\nCHIEDERE L'INTERVENTO DEL SISTEMISTA");
  std::vector<std::string> kinds;
  for (const auto& change : report["changes"]) kinds.push_back(change["kind"]);
  EXPECT_EQ(kinds, (std::vector<std::string>{"compaction_started", "compaction_running", "compaction_failed"}));
  EXPECT_EQ(report["changes"][2]["path"], "loc.mdb");
}

TEST_F(CliCompactionTest, UpdateThatSucceedsButCannotCompactExitsWithFailure) {
  { std::ofstream(dir / "loc.md~") << "resto"; }
  const CliRun run = Run({"update", "ref.mdb", "loc.mdb"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.OutLines(),
            (std::vector<std::string>{" ", "------------- Compattamento  :   loc.mdb", "Compattamento in corso ...",
                                      "loc.mdb NON compattato"}));
  // The same update without its compaction is a success.
  EXPECT_EQ(Run({"update", "ref.mdb", "loc.mdb", "--no-compact"}).status, 0);
}

TEST_F(CliCompactionTest, CompactionReplacesTheDatabaseWithAWorkingCopy) {
  const CliRun run = Run({"compact", "loc.mdb"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "------------- Compattamento  :   loc.mdb\n"
            "Compattamento in corso ...\n"
            "Compattatamento effettuato.\n");
  // Standard error carries only the rows copied, ending with all of them.
  std::istringstream progress(run.err);
  std::string line, last;
  while (std::getline(progress, line)) {
    EXPECT_EQ(line.rfind("Copia righe compattamento: ", 0), 0u) << line;
    last = line;
  }
  const std::string counts = last.substr(last.find(": ") + 2);
  EXPECT_EQ(counts.substr(0, counts.find(" / ")), counts.substr(counts.find(" / ") + 3));
  EXPECT_FALSE(fs::exists(dir / "loc.md~"));
  EXPECT_EQ(Run({"check", "loc.mdb"}).status, 0);
  EXPECT_EQ(Run({"verify", "ref.mdb", "loc.mdb"}).out, "");
  const CliRun update = Run({"update", "ref.mdb", "loc.mdb", "--json", "r.json"});
  EXPECT_EQ(update.status, 0) << update.err;
  EXPECT_EQ(nlohmann::json::parse(ReadText(dir / "r.json"))["compacted"], true);
}

}  // namespace
}  // namespace vantrel::test
