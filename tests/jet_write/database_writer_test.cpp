#include "jet/write/database_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "jet/common/error.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class DatabaseWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    path = dir / "local.mdb";
    fs::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", path);
  }
  TempDir dir;
  fs::path path;
};

TEST_F(DatabaseWriterTest, NewFieldsReadAsNullInOldRowsAndSurviveTheCommit) {
  {
    auto writer = jet::DatabaseWriter::Open(path);
    writer->AddColumn("Table1", {"NOTE", 10, 30});
    writer->AddColumn("table1", {"Testo lungo", 12, 0});
    writer->AddColumn("Table1", {"Conto", 4, 0});
    writer->AddColumn("Table1", {"Fatto", 1, 0});
    const jet::TableInfo* table = writer->database().FindTable("Table1");
    ASSERT_EQ(table->fields.size(), 13u);
    EXPECT_EQ(table->FindField("note")->size, 30);
    EXPECT_EQ(table->FindField("Testo lungo")->dao_type, 12);
    writer->Commit();
  }
  auto database = jet::Database::Open(path);
  const jet::TableInfo* table = database->FindTable("Table1");
  ASSERT_EQ(table->fields.size(), 13u);
  auto rows = database->Rows(*table);
  jet::Row row;
  int count = 0;
  while (rows.Next(row)) {
    ++count;
    EXPECT_EQ(std::get<std::string>(row[0]).substr(0, 1), "a") << "old values stay";
    for (size_t i = 9; i < 13; ++i) EXPECT_TRUE(jet::IsNull(row[i])) << i;
  }
  EXPECT_EQ(count, 2);
  const std::string schema = Output("mdb-schema '" + path.string() + "' 2>&1");
  EXPECT_NE(schema.find("[NOTE]"), std::string::npos) << schema;
  EXPECT_NE(schema.find("[Testo lungo]"), std::string::npos);
  EXPECT_NE(Output("mdb-export '" + path.string() + "' Table1").find("abcdefg"), std::string::npos);
}

TEST_F(DatabaseWriterTest, PropertiesAreStoredAsAccessStoresThem) {
  auto writer = jet::DatabaseWriter::Open(path);
  writer->SetColumnProperty("Table1", "E", {"DefaultValue", std::nullopt, "42"});
  writer->SetColumnProperty("Table1", "E", {"ValidationRule", std::nullopt, "<1000000000"});
  writer->SetColumnProperty("Table1", "E", {"ValidationText", std::nullopt, "Troppo grande"});
  writer->SetColumnProperty("Table1", "A", {"Required", true, std::nullopt});
  writer->SetColumnProperty("Table1", "A", {"AllowZeroLength", true, std::nullopt});
  writer->AddColumn("Table1", {"NUOVO", 10, 20});
  writer->SetColumnProperty("Table1", "NUOVO", {"DefaultValue", std::nullopt, "\"x\""});
  writer->SetColumnProperty("Table1", "NUOVO", {"OrdinalPosition", std::nullopt, std::nullopt, int16_t{2}});
  writer->Commit();
  writer.reset();
  auto database = jet::Database::Open(path);
  const jet::TableInfo* table = database->FindTable("Table1");
  const jet::FieldInfo* e = table->FindField("E");
  EXPECT_EQ(e->default_value, "42");
  EXPECT_EQ(e->validation_rule, "<1000000000");
  EXPECT_EQ(e->validation_text, "Troppo grande");
  EXPECT_EQ(table->FindField("A")->required, true);
  EXPECT_EQ(table->FindField("A")->allow_zero_length, true);
  EXPECT_EQ(table->FindField("NUOVO")->default_value, "\"x\"");
  EXPECT_EQ(table->FindField("NUOVO")->ordinal_position, 2) << "kept as the Integer property DAO reads";
  EXPECT_EQ(table->FindField("E")->ordinal_position, 4) << "a field without the property keeps its place";
  EXPECT_EQ(table->FindField("C")->default_value, "0") << "other fields keep theirs";
  // An empty text removes the property.
  auto again = jet::DatabaseWriter::Open(path);
  database.reset();
  again->SetColumnProperty("Table1", "E", {"DefaultValue", std::nullopt, ""});
  EXPECT_FALSE(again->database().FindTable("Table1")->FindField("E")->default_value.has_value());
}

TEST_F(DatabaseWriterTest, RefusedChangesLeaveEverythingAsItWas) {
  const auto original = Bytes(path);
  {
    auto writer = jet::DatabaseWriter::Open(path);
    EXPECT_EQ(ErrorOf([&] { writer->AddColumn("Table1", {"a", 10, 10}); }), jet::err::kDuplicateField);
    EXPECT_EQ(ErrorOf([&] { writer->DeleteColumn("Table1", "A"); }), jet::err::kFieldInIndex);
    EXPECT_EQ(ErrorOf([&] { writer->DeleteColumn("Table1", "nessuno"); }), jet::err::kItemNotFound);
    EXPECT_EQ(ErrorOf([&] { writer->AddColumn("Nessuna", {"x", 10, 10}); }), jet::err::kItemNotFound);
    EXPECT_EQ(ErrorOf([&] { writer->AddColumn("Table1", {"x", 10, 300}); }), 3129);
    EXPECT_EQ(ErrorOf([&] { writer->AddColumn("Table1", {"x", 99, 0}); }), 3259);
    EXPECT_EQ(writer->database().FindTable("Table1")->fields.size(), 9u);
    writer->Commit();  // nothing to write
  }
  EXPECT_EQ(Bytes(path), original);
  {
    auto writer = jet::DatabaseWriter::Open(path);
    writer->AddColumn("Table1", {"dropped", 10, 10});
  }
  EXPECT_EQ(Bytes(path), original) << "an uncommitted change never reaches the file";
}

TEST_F(DatabaseWriterTest, DeletedFieldsLeaveTheOthersReadable) {
  {
    auto writer = jet::DatabaseWriter::Open(path);
    writer->DeleteColumn("Table1", "D");
    writer->DeleteColumn("Table1", "F");
    writer->AddColumn("Table1", {"Dopo", 10, 10});
    writer->Commit();
  }
  auto database = jet::Database::Open(path);
  const jet::TableInfo* table = database->FindTable("Table1");
  EXPECT_EQ(table->FindField("F"), nullptr);
  EXPECT_EQ(table->FindField("D"), nullptr);
  ASSERT_NE(table->FindField("Dopo"), nullptr);
  auto rows = database->Rows(*table);
  jet::Row row;
  ASSERT_TRUE(rows.Next(row));
  // Values by column: A, C, E ... keep theirs.
  EXPECT_EQ(std::get<std::string>(row[0]), "abcdefg");
  EXPECT_EQ(std::get<std::string>(row[1]), "hijklmnop");
  EXPECT_EQ(std::get<int32_t>(row[3]), 333333333) << "E, after the deleted D";
  EXPECT_EQ(Output("mdb-export '" + path.string() + "' Table1").substr(0, 1), "A");
}

}  // namespace
}  // namespace vantrel::test
