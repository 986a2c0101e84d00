// A compaction whose index entries do not fit its memory budget sorts them in runs on disk:
// the copy must be the same bytes as one sorted in memory, and the run file must be gone after
// the compaction, whether it succeeded or failed part way.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/common/error.h"
#include "jet/store/file_io.h"
#include "jet/store/shadow_commit.h"
#include "jet/write/compaction.h"
#include "jet/write/database_writer.h"
#include "jet/write/new_database.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace {

using vantrel::test::CheckErrors;
using vantrel::test::CopyWritable;
using vantrel::test::CorpusFiles;
using vantrel::test::ErrorOf;
using vantrel::test::FileBytes;
using vantrel::test::TempDir;

// Budgets set here are put back whatever the test does.
struct Budget {
  explicit Budget(std::optional<size_t> bytes) { jet::SetEntryMemoryBudgetForTesting(bytes); }
  ~Budget() {
    jet::SetEntryMemoryBudgetForTesting(std::nullopt);
    jet::store::InjectFaultForTesting(std::nullopt);
  }
};

// Whether tables are keyed on a thread of their own, whatever their size; put back after.
struct KeyingThread {
  explicit KeyingThread(bool used) { jet::SetKeyingThreadRowsForTesting(used ? 0 : UINT32_MAX); }
  ~KeyingThread() { jet::SetKeyingThreadRowsForTesting(std::nullopt); }
};

// A table whose indexes need several leaves and levels: a unique key in row order, a text key
// with many repeats (the rows break the ties), a date key, and a key of two columns, with
// memos kept outside the rows.
void MakeDatabase(const std::filesystem::path& path, int rows) {
  jet::CreateDatabase(path);
  auto writer = jet::DatabaseWriter::Open(path);
  jet::NewTable table{"Voci", {{"Id", 4, 0}, {"Nome", 10, 30}, {"Data", 8, 0}, {"Nota", 12, 0}}, {}, {}};
  table.properties = {{}, {}, {}, {}};
  table.indexes.push_back({"PrimaryKey", true, true, {"Id"}});
  table.indexes.push_back({"PerNome", false, false, {"Nome"}});
  table.indexes.push_back({"PerData", false, false, {"Data"}});
  table.indexes.push_back({"PerNomeData", false, false, {"Nome", "Data"}});
  writer->CreateTable(table);
  int made = 0;
  writer->InsertRows("Voci", [&](jet::Row& row) {
    if (made >= rows) return false;
    ++made;
    const std::string name = made % 7 == 0 ? std::string() : "Voce " + std::to_string((made * 37) % 101) + " è";
    row = {jet::Value{static_cast<int32_t>(made)}, made % 11 == 0 ? jet::Value{} : jet::Value{name},
           jet::Value{jet::DateTime{40000.0 + (made * 13) % 500}},
           jet::Value{std::string(100 + made % 300, static_cast<char>('a' + made % 26))}};
    return true;
  });
  writer->Commit();
}

// The files of the folder whose names the engine gives its temporary files, with the budget
// of a run.
std::vector<std::string> TemporaryFiles(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(jet::store::kShadowMarker) != std::string::npos) names.push_back(name);
  }
  return names;
}

bool IsRunFile(const std::string& name) { return name.size() > 5 && name.compare(name.size() - 5, 5, "-keys") == 0; }

TEST(CompactionSpill, ATinyBudgetGivesTheBytesOfTheSortInMemory) {
  TempDir folder;
  const auto source = folder / "voci.mdb";
  MakeDatabase(source, 3000);
  jet::CompactDatabase(source, folder / "memory.mdb");
  bool spilled = false;
  {
    Budget tiny(4096);
    jet::CompactDatabase(source, folder / "runs.mdb", [&](uint64_t, uint64_t) {
      for (const std::string& name : TemporaryFiles(folder.path())) spilled = spilled || IsRunFile(name);
    });
  }
  EXPECT_TRUE(spilled) << "the budget did not make the entries go to a file";
  EXPECT_EQ(TemporaryFiles(folder.path()), std::vector<std::string>{});
  EXPECT_TRUE(FileBytes(folder / "memory.mdb") == FileBytes(folder / "runs.mdb"));
  EXPECT_EQ(CheckErrors(folder / "runs.mdb"), std::vector<std::string>{});
}

TEST(CompactionSpill, EverySampleCompactsToTheSameBytesThroughRuns) {
  VANTREL_REQUIRE_CORPUS();
  for (const auto& sample : CorpusFiles()) {
    if (sample.filename() == "passwordV2000.mdb") continue;
    SCOPED_TRACE(sample.filename().string());
    TempDir folder;
    const auto source = folder / "sample.mdb";
    CopyWritable(sample, source);
    jet::CompactDatabase(source, folder / "memory.mdb");
    {
      Budget tiny(1);  // every entry of every index a run of its own
      jet::CompactDatabase(source, folder / "runs.mdb");
    }
    EXPECT_TRUE(FileBytes(folder / "memory.mdb") == FileBytes(folder / "runs.mdb"));
    EXPECT_EQ(TemporaryFiles(folder.path()), std::vector<std::string>{});
  }
}

void ExpectEveryFailedWriteLeavesNoTemporaryFile();

// A write that fails anywhere, in the runs' file or in the copy, before or after the runs
// were written, fails the compaction with the disk error and leaves only the source.
TEST(CompactionSpill, AFailedWriteAnywhereLeavesNoTemporaryFile) {
  for (bool threaded : {false, true}) {
    SCOPED_TRACE(threaded ? "keyed on a thread" : "keyed in line");
    KeyingThread keying(threaded);
    ExpectEveryFailedWriteLeavesNoTemporaryFile();
  }
}

void ExpectEveryFailedWriteLeavesNoTemporaryFile() {
  TempDir folder;
  const auto source = folder / "voci.mdb";
  MakeDatabase(source, 1500);
  const std::string original = FileBytes(source);
  Budget tiny(2048);
  int failures = 0, failures_in_runs = 0;
  for (int nth = 1; nth < 1000; ++nth) {
    SCOPED_TRACE(nth);
    jet::store::InjectFaultForTesting(jet::store::InjectedFault{jet::store::IoStep::kWrite, nth, ENOSPC});
    const auto out = folder / "out.mdb";
    std::string description;
    int32_t error = 0;
    try {
      jet::CompactDatabase(source, out);
    } catch (const jet::Error& e) {
      error = e.number();
      description = e.description();
    }
    if (jet::store::InjectedFaultPending()) {
      // The run made fewer writes than nth: every write has been failed once.
      EXPECT_EQ(error, 0);
      break;
    }
    ASSERT_EQ(error, jet::err::kDiskIo);
    ++failures;
    failures_in_runs += description.find("-keys") != std::string::npos;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(TemporaryFiles(folder.path()), std::vector<std::string>{});
  }
  EXPECT_GT(failures_in_runs, 0);
  EXPECT_GT(failures, failures_in_runs);
  EXPECT_TRUE(FileBytes(source) == original);
}

// An index whose keys this engine cannot compute (here a character without a known weight,
// put into a stored row behind the engine's back) is taken from the source's own entries,
// moved to the rows' new places: through the rows' file and runs, the same bytes again.
TEST(CompactionSpill, AnIndexTakenFromTheSourceMovesItsEntriesThroughTheRowsFile) {
  TempDir folder;
  const auto source = folder / "voci.mdb";
  jet::CreateDatabase(source);
  {
    auto writer = jet::DatabaseWriter::Open(source);
    jet::NewTable table{"Voci", {{"Id", 4, 0}, {"Nome", 10, 30}}, {{}, {}}, {}};
    table.indexes.push_back({"PrimaryKey", true, true, {"Id"}});
    table.indexes.push_back({"PerNome", false, false, {"Nome"}});
    writer->CreateTable(table);
    int made = 0;
    writer->InsertRows("Voci", [&](jet::Row& row) {
      if (made >= 2000) return false;
      ++made;
      // U+0100, U+0102, U+0104, U+0106: stored as two-byte units, easy to find in the file.
      row = {jet::Value{made}, jet::Value{made == 777 ? std::string("\xC4\x80\xC4\x82\xC4\x84\xC4\x86")
                                                       : "Voce " + std::to_string(made % 50)}};
      return true;
    });
    writer->Commit();
  }
  std::string bytes = FileBytes(source);
  const std::string units("\x00\x01\x02\x01\x04\x01\x06\x01", 8);
  const size_t at = bytes.find(units);
  ASSERT_NE(at, std::string::npos);
  bytes[at + 7] = '\x80';  // the last one becomes U+8006
  { std::ofstream(source, std::ios::binary | std::ios::trunc) << bytes; }

  jet::CompactDatabase(source, folder / "memory.mdb");
  bool rows_file = false;
  {
    Budget tiny(1024);
    jet::CompactDatabase(source, folder / "runs.mdb", [&](uint64_t, uint64_t) {
      for (const std::string& name : TemporaryFiles(folder.path()))
        rows_file = rows_file || name.find("-rows") != std::string::npos;
    });
  }
  EXPECT_TRUE(rows_file);
  EXPECT_TRUE(FileBytes(folder / "memory.mdb") == FileBytes(folder / "runs.mdb"));
  EXPECT_EQ(TemporaryFiles(folder.path()), std::vector<std::string>{});
  // The copy's index holds every row, and the check finds only the key it could not compute.
  const std::vector<std::string> errors = CheckErrors(folder / "runs.mdb");
  for (const std::string& error : errors) EXPECT_NE(error.find("PerNome"), std::string::npos) << error;
  EXPECT_LE(errors.size(), 1u);
}

// Keys made on a thread of their own give the copy the bytes of keys made in line, through
// runs on disk or not, for every sample, for a table of several runs and for one whose index
// has to be taken from the source.
TEST(CompactionSpill, KeysMadeOnAThreadGiveTheSameBytes) {
  std::vector<std::filesystem::path> sources;
  TempDir folder;
  MakeDatabase(folder / "voci.mdb", 12000);
  sources.push_back(folder / "voci.mdb");
  for (const auto& sample : CorpusFiles())
    if (sample.filename() != "passwordV2000.mdb") sources.push_back(sample);
  for (const auto& source : sources) {
    SCOPED_TRACE(source.filename().string());
    for (std::optional<size_t> budget : {std::optional<size_t>{}, std::optional<size_t>{4096}}) {
      Budget limit(budget);
      std::filesystem::remove(folder / "inline.mdb");
      std::filesystem::remove(folder / "thread.mdb");
      {
        KeyingThread keying(false);
        jet::CompactDatabase(source, folder / "inline.mdb");
      }
      {
        KeyingThread keying(true);
        jet::CompactDatabase(source, folder / "thread.mdb");
      }
      EXPECT_TRUE(FileBytes(folder / "inline.mdb") == FileBytes(folder / "thread.mdb"));
      EXPECT_EQ(TemporaryFiles(folder.path()), std::vector<std::string>{});
      if (source == sources.front()) {
        EXPECT_EQ(CheckErrors(folder / "thread.mdb"), std::vector<std::string>{});
      }
    }
  }
}

// Damage the keys meet on the thread fails the compaction as it does in line, and leaves
// neither the copy nor its runs behind.
TEST(CompactionSpill, DamageFoundWhileKeyingOnAThreadFailsTheCompaction) {
  TempDir folder;
  const auto source = folder / "voci.mdb";
  jet::CreateDatabase(source);
  {
    auto writer = jet::DatabaseWriter::Open(source);
    jet::NewTable table{"Voci", {{"Id", 4, 0}, {"Nome", 10, 30}}, {{}, {}}, {}};
    table.indexes.push_back({"PrimaryKey", true, true, {"Id"}});
    table.indexes.push_back({"PerNome", false, false, {"Nome"}});
    writer->CreateTable(table);
    int made = 0;
    writer->InsertRows("Voci", [&](jet::Row& row) {
      if (made >= 20000) return false;
      ++made;
      row = {jet::Value{made}, jet::Value{made == 15000 ? std::string("Zqxjw") : "Voce " + std::to_string(made % 50)}};
      return true;
    });
    writer->Commit();
  }
  std::string bytes = FileBytes(source);
  const size_t at = bytes.find(std::string("\xFF\xFE" "Zqxjw", 7));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 5] = '\0';  // a switch to two-byte characters with one byte left
  { std::ofstream(source, std::ios::binary | std::ios::trunc) << bytes; }
  for (bool threaded : {false, true}) {
    SCOPED_TRACE(threaded ? "keyed on a thread" : "keyed in line");
    KeyingThread keying(threaded);
    Budget tiny(threaded ? std::optional<size_t>{8192} : std::nullopt);
    EXPECT_EQ(ErrorOf([&] { jet::CompactDatabase(source, folder / "out.mdb"); }), jet::err::kCorrupt);
    EXPECT_FALSE(std::filesystem::exists(folder / "out.mdb"));
    EXPECT_EQ(TemporaryFiles(folder.path()), std::vector<std::string>{});
  }
}

// A compaction killed with its runs on disk leaves them under a name the next open of the
// source sweeps away, as it sweeps a half-written copy.
TEST(CompactionSpill, RunsLeftByAKilledCompactionGoAtTheNextOpen) {
  TempDir folder;
  const auto source = folder / "voci.mdb";
  MakeDatabase(source, 10);
  const auto left = jet::store::detail::ShadowPathFor(source).string() + "-keys";
  { std::ofstream(left) << "runs"; }
  jet::CompactDatabase(source, folder / "out.mdb");
  EXPECT_FALSE(std::filesystem::exists(left));
}

}  // namespace
