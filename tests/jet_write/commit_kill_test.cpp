// A writer killed at random moments, most of them inside the commit: the database file is
// afterwards either the original, byte for byte, or the complete changed database.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "jet/core/database.h"
#include "jet/write/database_writer.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

void ChangeAndCommit(const fs::path& path) {
  auto writer = jet::DatabaseWriter::Open(path);
  writer->CreateTable({"Nuova", {{"Codice", 4, 4}, {"Nome", 10, 50}}, {{}, {}}, {}});
  writer->AddColumn("Table1", {"Aggiunto", 10, 20});
  writer->Execute("UPDATE Table1 SET Aggiunto = 'x'");
  writer->Commit();
}

TEST(CommitKill, TheFileIsTheOldOneOrTheWholeNewOne) {
  VANTREL_REQUIRE_CORPUS();
  TempDir folder;
  const fs::path database = folder / "local.mdb";
  CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", database);
  const std::string original = FileBytes(database);

  // Kills are spread over the time a writer takes when left alone, on this machine (a
  // sanitizer build is many times slower), and a little past it.
  const auto started = std::chrono::steady_clock::now();
  if (const pid_t probe = ::fork(); probe == 0) {
    try {
      ChangeAndCommit(database);
    } catch (...) {
      ::_exit(1);
    }
    ::_exit(0);
  } else {
    int status = 0;
    ::waitpid(probe, &status, 0);
  }
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
  const auto longest = static_cast<useconds_t>(span.count() * 6 / 5);
  fs::remove(database);
  CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", database);

  std::mt19937 random(7122026);
  int old_file = 0, new_file = 0;
  for (int round = 0; round < 60; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        ChangeAndCommit(database);
      } catch (...) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    ::usleep(std::uniform_int_distribution<useconds_t>(0, longest)(random));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    if (FileBytes(database) == original) {
      ++old_file;
      continue;
    }
    ++new_file;
    auto changed = jet::Database::Open(database);
    ASSERT_NE(changed->FindTable("Nuova"), nullptr) << "round " << round;
    ASSERT_NE(changed->FindTable("Table1")->FindField("Aggiunto"), nullptr) << "round " << round;
    ASSERT_EQ(CheckErrors(database), std::vector<std::string>{}) << "round " << round;
    // Back to the original for the next round.
    fs::remove(database);
    CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", database);
  }
  // Both outcomes must have been seen, or the kills missed the commit altogether.
  EXPECT_GT(old_file, 0);
  EXPECT_GT(new_file, 0);
  // Whatever the killed writers left beside the database goes with the next open.
  { auto writer = jet::DatabaseWriter::Open(database); }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 1);
}

}  // namespace
}  // namespace vantrel::test
