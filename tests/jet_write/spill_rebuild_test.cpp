// A rebuild whose changed pages do not fit the memory budget spills them to a scratch file
// beside the database. The result must not depend on it: the same steps with a budget of a
// few pages and with room for everything give the same file.
#include <gtest/gtest.h>

#include <sstream>

#include <algorithm>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/common/error.h"
#include "jet/core/database.h"
#include "jet/store/file_io.h"
#include "jet/store/shadow_commit.h"
#include "jet/write/database_writer.h"
#include "jet/write/page_allocator.h"
#include "jet/write/new_database.h"
#include "tests/jet_index/index_test_pages.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t kTinyBudget = 4 * 4096;

// The scratch files beside `database`.
size_t ScratchFilesBeside(const fs::path& database) {
  size_t found = 0;
  const std::string prefix = database.filename().string() + jet::store::kScratchMarker;
  for (const auto& entry : fs::directory_iterator(database.parent_path()))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) ++found;
  return found;
}

class SpillRebuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    jet::CreateDatabase(original);
    auto writer = jet::DatabaseWriter::Open(original);
    jet::NewTable table{"Voci",
                        {{"Id", 4, 0}, {"Nome", 10, 40}, {"Quando", 8, 0}, {"Conto", 3, 0}, {"Nota", 12, 0}, {"Foto", 11, 0}},
                        {{}, {}, {}, {}, {}, {}},
                        {{"PrimaryKey", true, true, {"Id"}}, {"PerNome", false, false, {"Nome"}}, {"PerData", false, false, {"Quando"}}}};
    writer->CreateTable(table);
    int made = 0;
    writer->InsertRows("Voci", [&](jet::Row& row) {
      if (made == kRows) return false;
      ++made;
      // Names repeat, memos run from inline to several pages, some values are Null.
      row = {jet::Value{static_cast<int32_t>(made)}, jet::Value{"Voce " + std::to_string(made % 700)},
             made % 11 == 0 ? jet::Value{} : jet::Value{jet::DateTime{40000.0 + made % 365}},
             jet::Value{static_cast<int16_t>(made % 30000 - 15000)},
             jet::Value{std::string(static_cast<size_t>(made % 97) * (made % 13 == 0 ? 120 : 3), static_cast<char>('a' + made % 26))},
             made % 5 == 0 ? jet::Value{}
                           : jet::Value{jet::Binary{std::vector<uint8_t>(static_cast<size_t>(20 + made % 300), static_cast<uint8_t>(made))}}};
      return true;
    });
    writer->Commit();
  }

  // What the update pass does to a table whose field changed type: a copy with the new
  // definition, the rows copied over, the old table dropped, the copy renamed and indexed.
  static void Rebuild(jet::DatabaseWriter& writer) {
    writer.CreateTable({"Voci1",
                        {{"Id", 4, 0}, {"Nome", 10, 40}, {"Quando", 8, 0}, {"Conto", 4, 0}, {"Nota", 12, 0}, {"Foto", 11, 0}},
                        {{}, {}, {}, {}, {}, {}},
                        {}});
    writer.Execute("INSERT INTO [Voci1] SELECT [Voci].* FROM [Voci]");
    writer.DeleteTable("Voci");
    writer.RenameTable("Voci1", "Voci");
    writer.CreateIndex("Voci", {"PrimaryKey", true, true, {"Id"}});
    writer.CreateIndex("Voci", {"PerNome", false, false, {"Nome"}});
    writer.CreateIndex("Voci", {"PerData", false, false, {"Quando"}});
  }

  fs::path Copy(const std::string& name) {
    const fs::path copy = dir / name;
    fs::copy_file(original, copy);
    return copy;
  }

  static constexpr int kRows = 3000;
  TempDir dir;
  fs::path original = dir / "voci.mdb";
};

TEST_F(SpillRebuildTest, ARebuildOverATinyBudgetGivesTheFileOfOneInMemory) {
  const fs::path in_memory = Copy("memoria.mdb"), spilled = Copy("scratch.mdb");
  {
    auto writer = jet::DatabaseWriter::Open(in_memory);
    Rebuild(*writer);
    writer->Commit();
  }
  {
    auto writer = jet::DatabaseWriter::Open(spilled);
    writer->SetPageMemoryBudget(kTinyBudget);
    writer->CreateTable({"Prima", {{"Codice", 4, 0}}, {{}}, {}});  // a commit before the rebuild keeps the budget
    writer->Commit();
    Rebuild(*writer);
    EXPECT_EQ(ScratchFilesBeside(spilled), 1u) << "the rebuild did not spill";
    // Names repeat: a unique index on them is refused and undone across what was spilled.
    EXPECT_EQ(ErrorOf([&] { writer->CreateIndex("Voci", {"Unico", false, true, {"Nome"}}); }), jet::err::kDuplicateKey);
    EXPECT_EQ(writer->database().FindTable("Voci")->def.real_indexes.size(), 3u);
    writer->Commit();
    EXPECT_EQ(ScratchFilesBeside(spilled), 0u) << "the commit leaves no scratch file";
  }
  {
    // The same tables, rows and indexes; page for page the same but for the extra table.
    auto a = jet::Database::Open(in_memory), b = jet::Database::Open(spilled);
    const jet::TableInfo* before = a->FindTable("Voci");
    const jet::TableInfo* after = b->FindTable("Voci");
    ASSERT_NE(before, nullptr);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->def.row_count, static_cast<uint32_t>(kRows));
    ASSERT_EQ(after->def.real_indexes.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(after->def.real_indexes[i].row_count, before->def.real_indexes[i].row_count);
    std::vector<jet::Row> rows_a, rows_b;
    auto cursor_a = a->Rows(*before);
    for (jet::Row row; cursor_a.Next(row);) rows_a.push_back(row);
    auto cursor_b = b->Rows(*after);
    for (jet::Row row; cursor_b.Next(row);) rows_b.push_back(row);
    ASSERT_EQ(rows_b.size(), static_cast<size_t>(kRows));
    EXPECT_EQ(rows_b, rows_a);
  }
  EXPECT_EQ(CheckErrors(spilled), std::vector<std::string>{});
  EXPECT_EQ(CheckErrors(in_memory), std::vector<std::string>{});
  const std::string exported = Output("mdb-export -b hex '" + spilled.string() + "' Voci");
  EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), kRows + 1);
  EXPECT_EQ(exported, Output("mdb-export -b hex '" + in_memory.string() + "' Voci"));
}

// Spilling changes where pages wait, not which pages the engine takes: the files are the
// same page for page, but for the catalog rows, which carry the time the tables were made;
// so they are whether the commit copies the unchanged pages in the kernel or through memory.
TEST_F(SpillRebuildTest, BothFilesAreTheSamePageForPage) {
  const fs::path in_memory = Copy("memoria.mdb"), spilled = Copy("scratch.mdb"), copied = Copy("copiato.mdb");
  for (const fs::path* path : {&in_memory, &spilled, &copied}) {
    jet::store::DisableKernelCopyForTesting(path == &copied);
    auto writer = jet::DatabaseWriter::Open(*path);
    if (path != &in_memory) writer->SetPageMemoryBudget(kTinyBudget);
    Rebuild(*writer);
    writer->Commit();
  }
  jet::store::DisableKernelCopyForTesting(false);
  const std::string a = FileBytes(in_memory);
  size_t compared = 0;
  for (const fs::path* path : {&spilled, &copied}) {
    SCOPED_TRACE(path->filename().string());
    const std::string b = FileBytes(*path);
    ASSERT_EQ(a.size(), b.size());
    constexpr size_t kPage = 4096;
    constexpr uint8_t kCatalogDefinitionPage = 2;
    for (size_t at = 0; at < a.size(); at += kPage) {
      const bool catalog_rows = a[at] == 0x01 && static_cast<uint8_t>(a[at + 4]) == kCatalogDefinitionPage &&
                                a[at + 5] == 0 && a[at + 6] == 0 && a[at + 7] == 0;
      if (catalog_rows) continue;
      EXPECT_TRUE(a.compare(at, kPage, b, at, kPage) == 0) << "page " << at / kPage;
      ++compared;
    }
  }
  EXPECT_GT(compared, 200u);
}

// The pages a dropped table leaves free do not carry its rows into the new file: the commit
// writes zeros there (mostly by not writing at all), through the scratch file or not.
TEST_F(SpillRebuildTest, PagesTheChangeFreedAreZerosInTheNewFile) {
  const auto database = jet::Database::Open(original);
  const jet::TableInfo* voci = database->FindTable("Voci");
  ASSERT_NE(voci, nullptr);
  const uint32_t old_definition = voci->def.definition_page;
  auto before = vantrel::test::EditablePages::FromFile(original);
  for (const bool spill : {false, true}) {
    SCOPED_TRACE(spill ? "spilled" : "in memory");
    const fs::path path = Copy(spill ? "scratch.mdb" : "memoria.mdb");
    {
      auto writer = jet::DatabaseWriter::Open(path);
      if (spill) writer->SetPageMemoryBudget(kTinyBudget);
      Rebuild(*writer);
      writer->Commit();
    }
    auto after = vantrel::test::EditablePages::FromFile(path);
    size_t zeroed = 0;
    for (uint32_t page = 3; page < before.page_count(); ++page) {
      const auto old_bytes = before.Page(page);
      const bool old_row_page = old_bytes[0] == 0x01 && jet::ByteReader(old_bytes, "page").U32(4) == old_definition;
      if (!old_row_page || !jet::MarkedFree(after, jet::Format::kJet4, page)) continue;
      const auto bytes = after.Page(page);
      EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; })) << "page " << page;
      ++zeroed;
    }
    EXPECT_GE(zeroed, 40u);
    EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
    const std::string exported = Output("mdb-export -b hex '" + path.string() + "' Voci");
    EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), kRows + 1);
  }
}

// A scratch file that cannot be written fails the operation with 3043 and undoes it; the
// database on disk is as it was, and a retry with room on the disk succeeds.
TEST_F(SpillRebuildTest, AFailedScratchWriteLeavesTheDatabaseUntouched) {
  const fs::path path = Copy("locale.mdb");
  const std::string before = FileBytes(path);
  auto writer = jet::DatabaseWriter::Open(path);
  writer->SetPageMemoryBudget(kTinyBudget);
  writer->CreateTable({"Voci1", {{"Id", 4, 0}, {"Nome", 10, 40}, {"Quando", 8, 0}, {"Conto", 4, 0}, {"Nota", 12, 0}, {"Foto", 11, 0}},
                       {{}, {}, {}, {}, {}, {}}, {}});
  jet::store::InjectFaultForTesting(jet::store::InjectedFault{jet::store::IoStep::kWrite, 3, ENOSPC});
  EXPECT_EQ(ErrorOf([&] { writer->Execute("INSERT INTO [Voci1] SELECT [Voci].* FROM [Voci]"); }), jet::err::kDiskIo);
  jet::store::InjectFaultForTesting(std::nullopt);
  EXPECT_EQ(writer->database().FindTable("Voci1")->def.row_count, 0u);
  EXPECT_EQ(FileBytes(path), before);
  writer->Execute("INSERT INTO [Voci1] SELECT [Voci].* FROM [Voci]");
  EXPECT_EQ(writer->database().FindTable("Voci1")->def.row_count, static_cast<uint32_t>(kRows));
  writer.reset();
  EXPECT_EQ(FileBytes(path), before) << "dropped without a commit";
  EXPECT_EQ(ScratchFilesBeside(path), 0u) << "closing removes the scratch file";
}

// A scratch file a killed process left is never read: the next session removes it, and a
// database opened beside one reads as it is.
TEST_F(SpillRebuildTest, AScratchFileLeftByACrashIsRemovedUnread) {
  const fs::path path = Copy("locale.mdb");
  const fs::path leftover = fs::path(path.string() + jet::store::kScratchMarker + "99999-1");
  {
    std::ofstream out(leftover, std::ios::binary);
    out << std::string(4096 * 8, '\xFF');
  }
  {
    auto database = jet::Database::Open(path);
    EXPECT_EQ(database->FindTable("Voci")->def.row_count, static_cast<uint32_t>(kRows));
  }
  auto writer = jet::DatabaseWriter::Open(path);
  EXPECT_FALSE(fs::exists(leftover));
  writer->SetPageMemoryBudget(kTinyBudget);
  Rebuild(*writer);
  writer->Commit();
  writer.reset();
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
}

}  // namespace
}  // namespace vantrel::test

namespace vantrel::test {
namespace {

class SpillCommitTest : public SpillRebuildTest {};

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// A commit of spilled changes makes the scratch file the database. A write, sync or rename
// that fails on the way leaves the database as it was and the changes pending; the retry
// then gives the file a commit without the failure gives, rows and all.
TEST_F(SpillCommitTest, AFailureOnTheWayLeavesTheOldFileAndARetryCommits) {
  const fs::path clean = Copy("pulito.mdb");
  {
    auto writer = jet::DatabaseWriter::Open(clean);
    writer->SetPageMemoryBudget(kTinyBudget);
    Rebuild(*writer);
    writer->Commit();
  }
  const std::string expected = Output("mdb-export -b hex '" + clean.string() + "' Voci");
  ASSERT_EQ(std::count(expected.begin(), expected.end(), '\n'), kRows + 1);
  for (const jet::store::IoStep step : {jet::store::IoStep::kWrite, jet::store::IoStep::kSync, jet::store::IoStep::kRename}) {
    SCOPED_TRACE(static_cast<int>(step));
    const fs::path path = Copy("locale" + std::to_string(static_cast<int>(step)) + ".mdb");
    const std::string before = FileBytes(path);
    auto writer = jet::DatabaseWriter::Open(path);
    writer->SetPageMemoryBudget(kTinyBudget);
    Rebuild(*writer);
    ASSERT_EQ(ScratchFilesBeside(path), 1u);
    jet::store::InjectFaultForTesting(jet::store::InjectedFault{step, 1, EIO});
    EXPECT_EQ(ErrorOf([&] { writer->Commit(); }), jet::err::kDiskIo);
    jet::store::InjectFaultForTesting(std::nullopt);
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(ScratchFilesBeside(path), 1u) << "the changes wait in the scratch file";
    writer->Commit();
    EXPECT_EQ(ScratchFilesBeside(path), 0u);
    // Later changes spill to a new scratch file and commit the same way.
    writer->CreateTable({"Altre",
                         {{"Id", 4, 0}, {"Nome", 10, 40}, {"Quando", 8, 0}, {"Conto", 4, 0}, {"Nota", 12, 0}, {"Foto", 11, 0}},
                         {{}, {}, {}, {}, {}, {}},
                         {}});
    writer->Execute("INSERT INTO [Altre] SELECT [Voci].* FROM [Voci]");
    ASSERT_EQ(ScratchFilesBeside(path), 1u);
    writer->Commit();
    writer.reset();
    EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
    EXPECT_EQ(Output("mdb-export -b hex '" + path.string() + "' Voci"), expected);
    // The copy's rows sit on pages the dropped table freed, so they come in another order.
    EXPECT_EQ(SortedLines(Output("mdb-export -b hex '" + path.string() + "' Altre")), SortedLines(expected));
  }
}

}  // namespace
}  // namespace vantrel::test
