// The rows a rebuild would lose, counted on tables the engine fills from an Access sample, in
// both file formats: the text size of a Jet 4 file is twice its characters, of a Jet 3 file
// once.
#include <gtest/gtest.h>

#include "schema/data_loss_preview.h"
#include "schema/engine.h"
#include "tests/cli/cli_run.h"
#include "tests/support/corpus.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

class DataLossPreviewTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    VANTREL_REQUIRE_CORPUS();
    const fs::path sample = CorpusDir() / GetParam();
    fs::copy_file(sample, reference);
    fs::copy_file(sample, local);
    // Prova: Table1's fields without its keys, plus an empty text field N, and 8 rows: four
    // copies of ("abcdefg", "hijklmnop", 2, 222, 333333333, 444.555, 21/09/1974, 3.5, True)
    // and four of ("a", "b", 0, 0, 0, 0, 12/12/1981, 0, False).
    auto writer = jet::DatabaseWriter::Open(local);
    jet::NewTable prova = CopyOf(*writer->database().FindTable("Table1"), "Prova");
    prova.indexes.clear();
    prova.columns.push_back({"N", 10, 10});
    prova.properties.emplace_back();
    writer->CreateTable(prova);
    writer->Execute("INSERT INTO Prova SELECT Table1.* FROM Table1");
    writer->Execute("INSERT INTO Prova SELECT Prova.* FROM Prova");
    writer->Execute("INSERT INTO Prova SELECT Prova.* FROM Prova");
    writer->Commit();
  }

  std::vector<schema::FieldLossPreview> PreviewWith(const std::function<void(jet::NewTable&)>& change) {
    {
      auto writer = jet::DatabaseWriter::Open(reference);
      jet::NewTable prova = CopyOf(*jet::DatabaseWriter::Open(local)->database().FindTable("Prova"), "Prova");
      change(prova);
      writer->CreateTable(prova);
      writer->Commit();
    }
    return schema::PreviewDataLoss(reference, local);
  }

  TempDir dir;
  fs::path reference = dir / "ref.mdb";
  fs::path local = dir / "loc.mdb";
};

TEST_P(DataLossPreviewTest, CountsValuesCutOrRefusedByEachRebuiltField) {
  const auto previews = PreviewWith([](jet::NewTable& prova) {
    prova.columns[0].size = 5;                                  // A: "abcdefg" is cut
    prova.columns[1].dao_type = 12;                             // B to memo: nothing lost
    prova.columns[3] = {"D", 10, 2};                            // D to text 2: "222" is cut
    prova.columns[4].dao_type = 2;                              // E to byte: 333333333 is refused
    prova.columns[6] = {"G", 10, 8};                            // G to text 8: every date is cut
    prova.columns[7].dao_type = 1;                              // H to Yes/No: converts
    prova.columns[9] = {"N", 4, 0};                             // N to long: only Nulls
  });
  struct Expected {
    const char* field;
    int16_t old_type, new_type;
    uint64_t not_convertible, cut;
  };
  const std::vector<Expected> expected = {{"A", 10, 10, 0, 4}, {"B", 10, 12, 0, 0}, {"D", 3, 10, 0, 4},
                                          {"E", 4, 2, 4, 0},   {"G", 8, 10, 0, 8},  {"H", 5, 1, 0, 0},
                                          {"N", 10, 4, 0, 0}};
  ASSERT_EQ(previews.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].field);
    EXPECT_EQ(previews[i].table, "Prova");
    EXPECT_EQ(previews[i].field, expected[i].field);
    EXPECT_EQ(previews[i].old_type, expected[i].old_type);
    EXPECT_EQ(previews[i].new_type, expected[i].new_type);
    EXPECT_EQ(previews[i].rows, 8u);
    EXPECT_EQ(previews[i].not_convertible, expected[i].not_convertible);
    EXPECT_EQ(previews[i].cut, expected[i].cut);
  }
  EXPECT_EQ(previews[0].old_size, 50);
  EXPECT_EQ(previews[0].new_size, 5);
}

TEST_P(DataLossPreviewTest, ATextExactlyAtTheNewSizeIsKept) {
  const auto previews = PreviewWith([](jet::NewTable& prova) { prova.columns[0].size = 7; });
  ASSERT_EQ(previews.size(), 1u);
  EXPECT_EQ(previews[0].cut, 0u) << "\"abcdefg\" has seven characters";
}

TEST_P(DataLossPreviewTest, FieldsThatNeedNoRebuildAreNotListed) {
  // Same types, and sizes that do not count for anything but text; a field the local table
  // lacks is added, not rebuilt; table and field names match without regard to case.
  const auto previews = PreviewWith([](jet::NewTable& prova) {
    prova.name = "PROVA";
    prova.columns[1].name = " b ";
    prova.columns[2].size = 99;
    prova.columns.push_back({"Nuovo", 10, 1});
    prova.properties.emplace_back();
  });
  EXPECT_TRUE(previews.empty());
  EXPECT_TRUE(schema::PreviewDataLoss(local, local).empty());
}

// The verify run hands the preview the databases its pass has open. A database with a change
// pending through the engine is not the file the preview means: it is read from the file.
TEST_P(DataLossPreviewTest, DatabasesOpenThroughTheEngineGiveTheFilesFigures) {
  const auto from_files = PreviewWith([](jet::NewTable& prova) {
    prova.columns[0].size = 5;
    prova.columns[4].dao_type = 2;
  });
  ASSERT_EQ(from_files.size(), 2u);
  auto workspace = schema::TheEngine().Workspaces(0);
  auto reference_database = workspace->OpenDatabase(reference.string());
  auto local_database = workspace->OpenDatabase(local.string());
  auto same = [&](const std::vector<schema::FieldLossPreview>& previews) {
    ASSERT_EQ(previews.size(), from_files.size());
    for (size_t i = 0; i < previews.size(); ++i) {
      EXPECT_EQ(previews[i].field, from_files[i].field);
      EXPECT_EQ(previews[i].rows, from_files[i].rows);
      EXPECT_EQ(previews[i].not_convertible, from_files[i].not_convertible);
      EXPECT_EQ(previews[i].cut, from_files[i].cut);
    }
  };
  same(schema::PreviewDataLoss(*reference_database, *local_database));
  local_database->Execute("UPDATE Prova SET A = 'x'", 128);  // held until Close
  same(schema::PreviewDataLoss(*reference_database, *local_database));
  local_database->CloseDiscardingChanges();
  reference_database->Close();
}

INSTANTIATE_TEST_SUITE_P(BothFormats, DataLossPreviewTest,
                         ::testing::Values("jet4/testV2000.mdb", "jet3/testV1997.mdb"));

}  // namespace
}  // namespace vantrel::test
