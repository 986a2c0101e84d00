// Statements and catalog changes that change a few rows of a large table change their index
// entries one by one, larger ones rebuild: either way the file reads back sound.
#include <gtest/gtest.h>

#include <filesystem>

#include "jet/write/database_writer.h"
#include "jet/write/indexed_table_writer.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

TEST(IndexedTableWriter, FewMeansASixteenthOfTheRowsTheTableHeld) {
  EXPECT_FALSE(jet::FewRowsChanged(1, 0));  // an empty table is loaded in bulk
  EXPECT_FALSE(jet::FewRowsChanged(1, 15));
  EXPECT_TRUE(jet::FewRowsChanged(1, 16));
  EXPECT_TRUE(jet::FewRowsChanged(32, 512));
  EXPECT_FALSE(jet::FewRowsChanged(33, 512));
}

class IndexedStatementsTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    path = dir / "local.mdb";
    CopyWritable(CorpusDir() / GetParam(), path);
  }
  size_t ExportedRows(const std::string& table) {
    const std::string csv = Output("mdb-export -H '" + path.string() + "' '" + table + "'");
    return static_cast<size_t>(std::count(csv.begin(), csv.end(), '\n'));
  }
  TempDir dir;
  fs::path path;
};

// Table1 of the samples has two rows. A copy doubled to 512 rows (bulk loads), then two rows
// more (entry by entry), every row updated (bulk), two rows more and only they updated (their
// entries taken out and put back).
TEST_P(IndexedStatementsTest, FewAndManyRowChangesKeepIndexesSound) {
  {
    auto writer = jet::DatabaseWriter::Open(path);
    jet::NewTable spec;
    spec.name = "Copy";
    for (const jet::FieldInfo& field : writer->database().FindTable("Table1")->fields)
      spec.columns.push_back({field.name(), field.dao_type, field.size});
    spec.indexes = {{"ByA", false, false, {"A"}}, {"ByE", false, false, {"E", "A"}}};
    writer->CreateTable(spec);
    writer->Execute("INSERT INTO Copy SELECT Table1.* FROM Table1");
    for (int i = 0; i < 8; ++i) writer->Execute("INSERT INTO Copy SELECT Copy.* FROM Copy");
    writer->Execute("INSERT INTO Copy SELECT Table1.* FROM Table1");
    writer->Execute("UPDATE Copy SET A = 'Société'");
    writer->Execute("INSERT INTO Copy SELECT Table1.* FROM Table1");
    writer->Execute("UPDATE Copy SET A = 'Société'");
    writer->Execute("UPDATE Copy SET E = 7");
    writer->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  if (std::system("command -v mdb-export >/dev/null 2>&1") == 0) {
    EXPECT_EQ(ExportedRows("Copy"), 516u);
  }
}

// Many tables created one after another: each adds a row or two to the catalog's tables, whose
// indexes take them entry by entry once the catalog is large; it stays sound throughout.
TEST_P(IndexedStatementsTest, ManyNewTablesKeepTheCatalogIndexesSound) {
  {
    auto writer = jet::DatabaseWriter::Open(path);
    for (int i = 0; i < 80; ++i) {
      jet::NewTable spec;
      spec.name = "Tabella " + std::to_string(i * 7919 % 1000);
      spec.columns = {{"Nome", 10, 50}};
      writer->CreateTable(spec);
      if (i % 3 == 0) writer->RenameTable(spec.name, "Rinominata " + std::to_string(i));
      if (i % 5 == 0) writer->DeleteTable(i % 3 == 0 ? "Rinominata " + std::to_string(i) : spec.name);
    }
    writer->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  if (std::system("command -v mdb-tables >/dev/null 2>&1") != 0) return;
  const std::string tables = Output("mdb-tables -1 '" + path.string() + "'");
  EXPECT_EQ(std::count(tables.begin(), tables.end(), '\n'), 4 + 80 - 16);
}

INSTANTIATE_TEST_SUITE_P(Samples, IndexedStatementsTest, ::testing::Values("jet4/testV2000.mdb", "jet3/testV1997.mdb"));

}  // namespace
}  // namespace vantrel::test
