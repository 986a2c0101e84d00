// Updates and compactions killed at random moments (SIGKILL: no clean-up runs). Each time the
// local database must be the old file, byte for byte, or the complete new one, sound by the
// checker. The number of kills per test comes from VANTREL_KILLS (CI raises it).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "jet/core/database.h"
#include "jet/write/database_writer.h"
#include "schema/engine.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"
#include "tests/support/recording_window.h"
#include "update/compact_local_database.h"
#include "update/update_pass.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

int KillsPerTest() {
  const char* text = std::getenv("VANTREL_KILLS");
  const int kills = text ? std::atoi(text) : 0;
  return kills > 0 ? kills : 25;
}

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", reference_);
    auto writer = jet::DatabaseWriter::Open(reference_);
    writer->AddColumn("Table1", {"Nuovo", 10, 30});
    writer->CreateTable({"Aggiunta", {{"Codice", 4, 4}, {"Nome", 10, 40}}, {{}, {}}, {}});
    writer->Commit();
    RestoreLocal();
    original_ = FileBytes(local_);
  }
  void RestoreLocal() {
    fs::remove(local_);
    CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", local_);
  }
  // How long `work` takes in a child left alone: kills are spread over that span, so most of
  // them land while it runs, whatever the machine's speed.
  useconds_t Duration(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
      work();
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const auto spent = std::chrono::steady_clock::now() - start;
    return static_cast<useconds_t>(std::chrono::duration_cast<std::chrono::microseconds>(spent).count());
  }
  // Runs `work` in a child killed after a random delay; returns whether the kill came first.
  bool KilledDuring(const std::function<void()>& work, std::mt19937& random, useconds_t longest) {
    const pid_t child = ::fork();
    if (child == 0) {
      work();
      ::_exit(0);
    }
    ::usleep(std::uniform_int_distribution<useconds_t>(0, longest)(random));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status);
  }
  schema::PassState State() const {
    schema::PassState state;
    state.LPathAgg = reference_.string();
    state.LPathLoc = local_.string();
    return state;
  }

  TempDir folder_;
  fs::path reference_ = folder_ / "ref.mdb";
  fs::path local_ = folder_ / "sede.mdb";
  std::string original_;
};

TEST_F(KillTest, KilledUpdateLeavesTheOldOrTheWholeUpdatedDatabase) {
  std::mt19937 random(1207);
  int killed = 0, old_file = 0, updated = 0;
  const auto update = [&] {
    schema::PassState state = State();
    RecordingWindow window;
    update::RunUpdate(state, window, schema::TheEngine());
  };
  const useconds_t span = Duration(update);
  RestoreLocal();
  for (int round = 0; round < KillsPerTest(); ++round) {
    killed += KilledDuring(update, random, span);
    SCOPED_TRACE("round " + std::to_string(round));
    if (FileBytes(local_) == original_) {
      ++old_file;
      continue;
    }
    ++updated;
    auto database = jet::Database::Open(local_);
    ASSERT_NE(database->FindTable("Aggiunta"), nullptr);
    ASSERT_NE(database->FindTable("Table1")->FindField("Nuovo"), nullptr);
    ASSERT_EQ(CheckErrors(local_), std::vector<std::string>{});
    RestoreLocal();
  }
  std::printf("update kills: %d rounds, %d killed while running, %d old file, %d updated\n", KillsPerTest(),
              killed, old_file, updated);
  EXPECT_GT(killed, 0);
}

TEST_F(KillTest, KilledCompactionLeavesTheOldOrTheCompactedDatabase) {
  std::mt19937 random(2026);
  const auto rows_of = [](const fs::path& path) {
    auto database = jet::Database::Open(path);
    uint64_t rows = 0;
    jet::Row row;
    for (const auto& table : database->tables()) {
      if (table.system() || table.linked()) continue;
      for (auto cursor = database->Rows(table); cursor.Next(row);) ++rows;
    }
    return rows;
  };
  const uint64_t rows = rows_of(local_);
  int killed = 0, old_file = 0, compacted = 0;
  const auto compact = [&] {
    schema::PassState state = State();
    RecordingWindow window;
    update::CompactLocalDatabase(local_.string(), state, window, schema::TheEngine());
  };
  const useconds_t span = Duration(compact);
  RestoreLocal();
  for (int round = 0; round < KillsPerTest(); ++round) {
    killed += KilledDuring(compact, random, span);
    SCOPED_TRACE("round " + std::to_string(round));
    // A copy finished before the kill may wait under the temporary name; it is whole.
    if (fs::exists(folder_ / "sede.md~")) {
      EXPECT_EQ(CheckErrors(folder_ / "sede.md~"), std::vector<std::string>{});
      fs::remove(folder_ / "sede.md~");
    }
    if (FileBytes(local_) == original_) {
      ++old_file;
      continue;
    }
    ++compacted;
    ASSERT_EQ(CheckErrors(local_), std::vector<std::string>{});
    ASSERT_EQ(rows_of(local_), rows);
    RestoreLocal();
  }
  std::printf("compaction kills: %d rounds, %d killed while running, %d old file, %d compacted\n",
              KillsPerTest(), killed, old_file, compacted);
  EXPECT_GT(killed, 0);
}

// A change larger than its page budget commits through the scratch file its pages spilled to:
// killed anywhere, the database is the old file or the whole new one.
TEST_F(KillTest, KilledSpillingCommitLeavesTheOldOrTheWholeNewDatabase) {
  std::mt19937 random(1208);
  uint32_t source_rows = 0;
  {
    auto database = jet::Database::Open(local_);
    source_rows = database->FindTable("Table1")->def.row_count;
  }
  const auto change = [&] {
    auto writer = jet::DatabaseWriter::Open(local_);
    writer->SetPageMemoryBudget(8 * 4096);
    const jet::TableInfo& source = *writer->database().FindTable("Table1");
    jet::NewTable copy{"Copia", {}, {}, {}};
    for (const jet::FieldInfo& field : source.fields) {
      copy.columns.push_back({field.name(), field.dao_type, field.size});
      copy.properties.emplace_back();
    }
    writer->CreateTable(copy);
    writer->Execute("INSERT INTO [Copia] SELECT [Table1].* FROM [Table1]");
    for (int i = 0; i < 9; ++i) writer->Execute("INSERT INTO [Copia] SELECT [Copia].* FROM [Copia]");
    writer->Commit();
  };
  const useconds_t span = Duration(change);
  RestoreLocal();
  int killed = 0, old_file = 0, changed = 0;
  for (int round = 0; round < KillsPerTest(); ++round) {
    killed += KilledDuring(change, random, span);
    SCOPED_TRACE("round " + std::to_string(round));
    if (FileBytes(local_) == original_) {
      ++old_file;
      continue;
    }
    ++changed;
    {
      auto database = jet::Database::Open(local_);
      const jet::TableInfo* copied = database->FindTable("Copia");
      ASSERT_NE(copied, nullptr);
      uint64_t rows = 0;
      jet::Row row;
      for (auto cursor = database->Rows(*copied); cursor.Next(row);) ++rows;
      ASSERT_EQ(rows, uint64_t{source_rows} << 9);
    }
    ASSERT_EQ(CheckErrors(local_), std::vector<std::string>{});
    RestoreLocal();
  }
  std::printf("spilling commit kills: %d rounds, %d killed while running, %d old file, %d changed\n", KillsPerTest(),
              killed, old_file, changed);
  EXPECT_GT(killed, 0);
}

}  // namespace
}  // namespace vantrel::test
