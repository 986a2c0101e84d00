#include "jet/write/statement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "jet/common/error.h"
#include "jet/write/database_writer.h"
#include "jet/core/database.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace vantrel::test {
namespace {

int32_t ParseError(const std::string& sql) {
  try {
    jet::ParseStatement(sql);
  } catch (const jet::Error& error) {
    return error.number();
  }
  return 0;
}

TEST(Statement, ParsesTheFillAndTheCopyWithBracketedNames) {
  jet::Statement fill = jet::ParseStatement("UPDATE [Tab 1] SET [Campo x] = 0");
  EXPECT_EQ(fill.kind, jet::Statement::Kind::kUpdate);
  EXPECT_EQ(fill.table, "Tab 1");
  EXPECT_EQ(fill.field, "Campo x");
  EXPECT_EQ(fill.constant, jet::Value{int32_t{0}});
  EXPECT_EQ(jet::ParseStatement("update T set T.F = 'it''s';").constant, jet::Value{std::string("it's")});
  EXPECT_EQ(jet::ParseStatement("UPDATE T SET F = -2.5").constant, jet::Value{-2.5});
  EXPECT_TRUE(jet::IsNull(jet::ParseStatement("UPDATE T SET F = Null").constant));
  EXPECT_EQ(jet::ParseStatement("UPDATE T SET F = True").constant, jet::Value{true});

  jet::Statement copy = jet::ParseStatement("INSERT INTO [T1] SELECT [T].* FROM [T]");
  EXPECT_EQ(copy.kind, jet::Statement::Kind::kInsertSelect);
  EXPECT_EQ(copy.table, "T1");
  EXPECT_EQ(copy.source, "T");
  EXPECT_EQ(jet::ParseStatement("INSERT INTO ORDINI1 SELECT ORDINI.* FROM ORDINI").source, "ORDINI");
}

TEST(Statement, RefusesWhatItDoesNotRunWithJetsSyntaxErrors) {
  // Unbracketed names with blanks, as the unbracketed rebuild statement would send them.
  EXPECT_EQ(ParseError("INSERT INTO Tab 11 SELECT Tab 1.* FROM Tab 1"), jet::err::kSyntaxInsert);
  EXPECT_EQ(ParseError("UPDATE Tab 1 SET x = 0"), jet::err::kSyntaxUpdate);
  EXPECT_EQ(ParseError("UPDATE T SET F = G"), jet::err::kSyntaxUpdate);
  EXPECT_EQ(ParseError("DELETE FROM T"), jet::err::kSyntaxOther);
  EXPECT_EQ(ParseError(""), jet::err::kSyntaxOther);
  EXPECT_EQ(ParseError("UPDATE T SET F = 'open"), jet::err::kSyntaxUpdate);
  EXPECT_EQ(ParseError("INSERT INTO A SELECT B.* FROM C"), 3075);
}

class ExecuteTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    path = dir / "local.mdb";
    std::filesystem::copy_file(CorpusDir() / GetParam(), path);
  }
  TempDir dir;
  std::filesystem::path path;
};

TEST_P(ExecuteTest, FillSetsEveryRowAndConvertsTheConstant) {
  {
    auto writer = jet::DatabaseWriter::Open(path);
    writer->Execute("UPDATE [Table1] SET [E] = '77'");
    writer->Execute("UPDATE Table1 SET Table1.F = 1");
    writer->Commit();
  }
  auto database = jet::Database::Open(path);
  auto rows = database->Rows(*database->FindTable("Table1"));
  jet::Row row;
  int count = 0;
  while (rows.Next(row)) {
    ++count;
    EXPECT_EQ(row[4], jet::Value{int32_t{77}});
    EXPECT_EQ(row[5], jet::Value{1.0});
  }
  EXPECT_EQ(count, 2);
  database.reset();
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  EXPECT_NE(Output("mdb-export '" + path.string() + "' Table1 2>&1").find(",77,1"), std::string::npos);
}

TEST_P(ExecuteTest, AFailingStatementChangesNothing) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto writer = jet::DatabaseWriter::Open(path);
  auto error_of = [&](const std::string& sql) {
    try {
      writer->Execute(sql);
    } catch (const jet::Error& error) {
      return error.number();
    }
    return 0;
  };
  EXPECT_EQ(error_of("UPDATE Table1 SET C = 300"), 3349) << "a Byte cannot hold 300";
  EXPECT_EQ(error_of("UPDATE Table1 SET E = 'abc'"), 3421);
  EXPECT_EQ(error_of("UPDATE Table1 SET Nessuno = 1"), 3061);
  EXPECT_EQ(error_of("UPDATE Nessuna SET E = 1"), jet::err::kItemNotFound);
  // Copying a table into itself duplicates its primary key.
  EXPECT_NE(error_of("INSERT INTO Table1 SELECT Table1.* FROM Table1"), 0);
  auto rows = writer->database().FindTable("Table1");
  EXPECT_EQ(rows->def.row_count, 2u);
  writer->Commit();
  writer.reset();
  std::ifstream again(path, std::ios::binary);
  EXPECT_EQ(std::vector<char>((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>()), original);
}

INSTANTIATE_TEST_SUITE_P(SampleFiles, ExecuteTest, ::testing::Values("jet4/testV2000.mdb", "jet3/testV1997.mdb"),
                         [](const auto& info) { return std::filesystem::path(info.param).stem().string(); });

}  // namespace
}  // namespace vantrel::test

namespace vantrel::test {
namespace {

class ExecuteOnLongValues : public ::testing::TestWithParam<std::string> {};

// Fills and copies over thousands of rows holding memo and OLE values: every row is written
// back with its long values, and an independent reader sees them all.
TEST_P(ExecuteOnLongValues, FillsAndCopiesOfThousandsOfRowsWithMemoAndOle) {
  VANTREL_REQUIRE_CORPUS();
  TempDir dir;
  const auto path = dir / "local.mdb";
  CopyWritable(CorpusDir() / GetParam(), path);
  const std::string long_text(3000, 'x');
  {
    auto writer = jet::DatabaseWriter::Open(path);
    const jet::TableInfo* source = writer->database().FindTable("MSP_PROJECTS");
    ASSERT_NE(source, nullptr);
    jet::NewTable copy{"Grande", {}, {}, {}};
    for (const jet::FieldInfo& field : source->fields) {
      copy.columns.push_back({field.name(), field.dao_type, field.size});
      copy.properties.emplace_back();
    }
    writer->CreateTable(copy);
    writer->Execute("INSERT INTO [Grande] SELECT [MSP_PROJECTS].* FROM [MSP_PROJECTS]");
    for (int i = 0; i < 12; ++i) writer->Execute("INSERT INTO Grande SELECT Grande.* FROM Grande");
    writer->Execute("UPDATE Grande SET PROJ_PROP_AUTHOR = '" + long_text + "'");
    writer->Execute("UPDATE Grande SET PROJ_NAME = 'Progetto'");
    writer->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  auto database = jet::Database::Open(path);
  const jet::TableInfo& table = *database->FindTable("Grande");
  const size_t author = table.FindField("PROJ_PROP_AUTHOR")->column.position;
  jet::Row row;
  int rows = 0;
  for (auto cursor = database->Rows(table); cursor.Next(row); ++rows) ASSERT_EQ(row[author], jet::Value{long_text});
  EXPECT_EQ(rows, 4096);
  // One line a row (line feeds inside memos escaped), each with the new name and the long text.
  std::istringstream exported(Output("mdb-export -H -e '" + path.string() + "' Grande 2>&1"));
  int lines = 0;
  for (std::string line; std::getline(exported, line); ++lines) {
    ASSERT_EQ(line.rfind("1,\"Progetto\",\"" + long_text + "\",", 0), 0u) << line.substr(0, 120);
  }
  EXPECT_EQ(lines, 4096);
}

INSTANTIATE_TEST_SUITE_P(SampleFiles, ExecuteOnLongValues, ::testing::Values("jet4/test2V2000.mdb", "jet3/test2V1997.mdb"),
                         [](const auto& info) { return std::filesystem::path(info.param).stem().string(); });

}  // namespace
}  // namespace vantrel::test
