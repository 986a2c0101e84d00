#include "jet/write/table_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

#include "jet/core/database.h"
#include "jet/core/usage_map.h"
#include "jet/store/page_overlay.h"
#include "jet/write/index_builder.h"
#include "jet/write/table_definition_writer.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"
#include "tests/support/image_pages.h"

namespace vantrel::test {
namespace {

struct Copy {
  explicit Copy(const char* name) : image(CorpusDir() / name), pages(image), allocator(pages, Format()) {}
  jet::Format Format() const { return image.page_size() == 2048 ? jet::Format::kJet3 : jet::Format::kJet4; }
  std::unique_ptr<jet::Database> Open() { return jet::Database::FromPages(pages, "copy"); }
  ImagePages image;
  jet::store::PageOverlay pages;
  jet::PageAllocator allocator;
};

std::vector<jet::Row> AllRows(jet::Database& database, const std::string& table) {
  std::vector<jet::Row> rows;
  auto cursor = database.Rows(*database.FindTable(table));
  jet::Row row;
  while (cursor.Next(row)) rows.push_back(row);
  return rows;
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

// Rows written by the engine read back as written, through every long-value layout, moves
// behind forwarding stubs and deletions, and mdb-export reads the same file.
class TableWriterOnSample : public ::testing::TestWithParam<std::string> {};

TEST_P(TableWriterOnSample, InsertUpdateDeleteReadBackHereAndInMdbtools) {
  VANTREL_REQUIRE_CORPUS();
  Copy copy(GetParam().c_str());
  jet::TableDef table = copy.Open()->FindTable("MSP_PROJECTS")->def;
  const std::vector<jet::Row> before = AllRows(*copy.Open(), "MSP_PROJECTS");
  ASSERT_EQ(before.size(), 1u);

  jet::TableWriter writer(copy.pages, copy.allocator, table, 1252);
  const size_t unit = copy.Format() == jet::Format::kJet4 ? 2 : 1;  // bytes a character of a text field takes
  size_t memo = 0;
  for (size_t i = 0; i < table.columns.size(); ++i)
    if (table.columns[i].type == static_cast<uint8_t>(jet::FieldType::kMemo)) memo = i;
  // The indexed fields get a value of their own in every row, so that the unique indexes can
  // be rebuilt over them at the end.
  std::set<size_t> indexed;
  for (const jet::RealIndexDef& index : table.real_indexes)
    for (const jet::IndexColumnDef& key : index.columns)
      for (size_t c = 0; c < table.columns.size(); ++c)
        if (table.columns[c].number == key.column_number) indexed.insert(c);
  const auto unique_value = [&](size_t c, int i, size_t characters) -> jet::Value {
    if (table.columns[c].type != static_cast<uint8_t>(jet::FieldType::kText)) return int32_t{1000 + i};
    std::string text = std::to_string(i);
    text.resize(std::max(characters, text.size()), 'q');
    return text;
  };
  std::vector<jet::RowLocation> added;
  std::vector<jet::Row> expected = before;
  for (int i = 0; i < 300; ++i) {
    jet::Row row = before[0];
    for (size_t c : indexed) row[c] = unique_value(c, i, 1);
    // Inline, single-row and chained memos in turn.
    row[memo] = std::string(i % 3 == 0 ? 10 : i % 3 == 1 ? 900 : 9000, static_cast<char>('a' + i % 26));
    added.push_back(writer.Insert(row));
    expected.push_back(row);
  }
  // Grow every tenth row so that it must move; delete every seventh.
  for (size_t i = 0; i < added.size(); i += 10) {
    jet::Row row = expected[i + 1];
    row[memo] = std::string(12000, 'z');
    for (size_t c = 0; c < row.size(); ++c)
      if (table.columns[c].type == static_cast<uint8_t>(jet::FieldType::kText))
        row[c] = indexed.count(c) ? unique_value(c, static_cast<int>(i), table.columns[c].length / unit)
                                  : jet::Value{std::string(table.columns[c].length / unit, 'q')};
    writer.Update(added[i], row);
    expected[i + 1] = row;
  }
  std::vector<jet::Row> kept = {expected[0]};
  for (size_t i = 0; i < added.size(); ++i) {
    if (i % 7 == 3) {
      writer.Delete(added[i]);
    } else {
      kept.push_back(expected[i + 1]);
    }
  }
  // The writer leaves the indexes to its caller: rebuilt from the rows, as the engine does.
  for (size_t i = 0; i < table.real_indexes.size(); ++i)
    jet::BuildIndex(copy.pages, copy.allocator, table, i, jet::IndexEntriesFromRows(copy.pages, table, i, 1252));
  jet::WriteTableDefinition(copy.pages, copy.allocator, table);

  auto database = copy.Open();
  const std::vector<jet::Row> rows = AllRows(*database, "MSP_PROJECTS");
  ASSERT_EQ(rows.size(), kept.size());
  // Scan order is page order; compare as multisets keyed by the memo and first text.
  std::multiset<std::string> mine, theirs;
  auto key = [&](const jet::Row& row) { return std::get<std::string>(row[memo]) + "|" + std::to_string(row.size()); };
  for (const auto& row : rows) mine.insert(key(row));
  for (const auto& row : kept) theirs.insert(key(row));
  EXPECT_EQ(mine, theirs);
  EXPECT_EQ(database->FindTable("MSP_PROJECTS")->def.row_count, kept.size());

  TempDir dir;
  SavePages(copy.pages, dir / "written.mdb");
  EXPECT_EQ(CheckErrors(dir / "written.mdb"), std::vector<std::string>{});
  const std::string out = (dir / "export.csv").string();
  ASSERT_EQ(Shell("mdb-export '" + (dir / "written.mdb").string() + "' MSP_PROJECTS > '" + out + "' 2>/dev/null"), 0);
  std::ifstream csv(out);
  std::string text((std::istreambuf_iterator<char>(csv)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find(std::string(12000, 'z')), std::string::npos) << "mdb-export sees the moved rows";
  EXPECT_NE(text.find(std::string(9000, 'c')), std::string::npos) << "and the chained memos";
}

INSTANTIATE_TEST_SUITE_P(SampleFiles, TableWriterOnSample, ::testing::Values("jet4/test2V2000.mdb", "jet3/test2V1997.mdb"),
                         [](const auto& info) { return std::filesystem::path(info.param).stem().string(); });

class TableWriterAutonumber : public ::testing::TestWithParam<std::string> {};

TEST_P(TableWriterAutonumber, AutonumberContinuesFromTheLastValue) {
  VANTREL_REQUIRE_CORPUS();
  Copy copy(GetParam().c_str());
  auto database = copy.Open();
  for (const auto& info : database->tables()) {
    if (info.system() || info.def.columns.empty()) continue;
    jet::TableDef table = info.def;
    size_t autonumber = table.columns.size();
    for (size_t i = 0; i < table.columns.size(); ++i)
      if (table.columns[i].flags & jet::column_flag::kAutoNumber) autonumber = i;
    if (autonumber == table.columns.size()) continue;
    const uint32_t last = table.next_auto_number;
    jet::TableWriter writer(copy.pages, copy.allocator, table, 1252);
    jet::Row row(table.columns.size());
    writer.Insert(row);
    EXPECT_EQ(table.next_auto_number, last + 1) << info.name;
    return;
  }
  GTEST_SKIP() << "no table with an autonumber";
}

INSTANTIATE_TEST_SUITE_P(SampleFiles, TableWriterAutonumber,
                         ::testing::Values("jet4/testUnicodeCompV2003.mdb", "jet3/testIndexCodesV1997.mdb"),
                         [](const auto& info) { return std::filesystem::path(info.param).stem().string(); });

}  // namespace
}  // namespace vantrel::test
