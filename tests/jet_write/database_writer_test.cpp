#include "jet/write/database_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "jet/common/error.h"
#include "jet/core/header_page.h"
#include "jet/write/new_database.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The same sample in both formats: Access 2000's and Access 97's testV*.mdb hold the same
// tables and rows.
class DatabaseWriterTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    path = dir / "local.mdb";
    fs::copy_file(CorpusDir() / GetParam(), path);
  }
  TempDir dir;
  fs::path path;
};

TEST_P(DatabaseWriterTest, NewFieldsReadAsNullInOldRowsAndSurviveTheCommit) {
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
  database.reset();
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
}

TEST_P(DatabaseWriterTest, PropertiesAreStoredAsAccessStoresThem) {
  auto writer = jet::DatabaseWriter::Open(path);
  writer->SetColumnProperty("Table1", "E", {"DefaultValue", std::nullopt, "42"});
  writer->SetColumnProperty("Table1", "E", {"ValidationRule", std::nullopt, "<1000000000"});
  writer->SetColumnProperty("Table1", "E", {"ValidationText", std::nullopt, "Più di un miliardo è troppo"});
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
  EXPECT_EQ(e->validation_text, "Più di un miliardo è troppo");
  EXPECT_EQ(table->FindField("A")->required, true);
  EXPECT_EQ(table->FindField("A")->allow_zero_length, true);
  EXPECT_EQ(table->FindField("NUOVO")->default_value, "\"x\"");
  EXPECT_EQ(table->FindField("NUOVO")->ordinal_position, 2) << "kept as the Integer property DAO reads";
  EXPECT_EQ(table->FindField("E")->ordinal_position, 4) << "a field without the property keeps its place";
  EXPECT_EQ(table->FindField("C")->default_value, "0") << "other fields keep theirs";
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  // An empty text removes the property.
  auto again = jet::DatabaseWriter::Open(path);
  database.reset();
  again->SetColumnProperty("Table1", "E", {"DefaultValue", std::nullopt, ""});
  EXPECT_FALSE(again->database().FindTable("Table1")->FindField("E")->default_value.has_value());
}

TEST_P(DatabaseWriterTest, RefusedChangesLeaveEverythingAsItWas) {
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

TEST_P(DatabaseWriterTest, DeletedFieldsLeaveTheOthersReadable) {
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
  // The row that holds values in every field (the samples store it first or second).
  do ASSERT_TRUE(rows.Next(row));
  while (std::get<std::string>(row[0]) != "abcdefg");
  // Values by column: A, C, E ... keep theirs.
  EXPECT_EQ(std::get<std::string>(row[0]), "abcdefg");
  EXPECT_EQ(std::get<std::string>(row[1]), "hijklmnop");
  EXPECT_EQ(std::get<int32_t>(row[3]), 333333333) << "E, after the deleted D";
  EXPECT_EQ(Output("mdb-export '" + path.string() + "' Table1").substr(0, 10), "A,B,C,E,G,");
  database.reset();
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
}

// A table grown to well over a hundred fields: its definition continues on further pages
// (2048 bytes each in Jet 3), its rows pass 256 bytes many times over (Jet 3 locates their
// values through the jump table), and both readers still read every value.
TEST_P(DatabaseWriterTest, WideTablesKeepEveryValue) {
  constexpr int kAdded = 120;
  {
    auto writer = jet::DatabaseWriter::Open(path);
    for (int i = 0; i < kAdded; ++i) writer->AddColumn("Table1", {"Campo " + std::to_string(i), 10, 12});
    for (int i = 0; i < kAdded; i += 7)
      writer->Execute("UPDATE Table1 SET [Campo " + std::to_string(i) + "] = 'v" + std::to_string(i) + " àè'");
    writer->Execute("UPDATE Table1 SET [Campo " + std::to_string(kAdded - 1) + "] = 'ultimo'");
    writer->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  auto database = jet::Database::Open(path);
  const jet::TableInfo* table = database->FindTable("Table1");
  ASSERT_EQ(table->fields.size(), 9u + kAdded);
  EXPECT_GT(table->def.definition_pages.size(), 1u);
  auto rows = database->Rows(*table);
  jet::Row row;
  int count = 0;
  while (rows.Next(row)) {
    ++count;
    for (int i = 0; i < kAdded; ++i) {
      const jet::Value& value = row[table->FindField("Campo " + std::to_string(i))->column.position];
      if (i == kAdded - 1) {
        EXPECT_EQ(value, jet::Value{std::string("ultimo")});
      } else if (i % 7 == 0) {
        EXPECT_EQ(value, jet::Value{"v" + std::to_string(i) + " àè"}) << i;
      } else {
        EXPECT_TRUE(jet::IsNull(value)) << i;
      }
    }
  }
  EXPECT_EQ(count, 2);
  const std::string exported = Output("mdb-export '" + path.string() + "' Table1 2>&1");
  EXPECT_NE(exported.find("\"v112 àè\",,,,,,,\"ultimo\""), std::string::npos) << exported;
}

// Jet 3 keeps text in the database's code page: names and texts it cannot hold are refused
// with 3125 (names) or 3421 (texts), saying which text and why, and nothing changes; what the
// code page holds goes through.
TEST(Jet3CodePage, TextsTheCodePageCannotHoldAreRefusedAndChangeNothing) {
  VANTREL_REQUIRE_CORPUS();
  TempDir dir;
  const fs::path path = dir / "local.mdb";
  CopyWritable(CorpusDir() / "jet3" / "testV1997.mdb", path);
  const auto original = Bytes(path);
  {
    auto writer = jet::DatabaseWriter::Open(path);
    const auto message_of = [&](const std::function<void()>& operation) {
      try {
        operation();
      } catch (const jet::Error& error) {
        return std::to_string(error.number()) + " " + error.description();
      }
      return std::string("no error");
    };
    const std::string snowman = "\u2603";
    std::string text = message_of([&] { writer->SetColumnProperty("Table1", "A", {"DefaultValue", std::nullopt, "\"" + snowman + "\""}); });
    EXPECT_EQ(text.substr(0, 5), "3421 ") << text;
    EXPECT_NE(text.find("DefaultValue of field 'A' in table 'Table1'"), std::string::npos) << text;
    EXPECT_NE(text.find("code page 1252, which has no character U+2603"), std::string::npos) << text;
    EXPECT_EQ(ErrorOf([&] { writer->AddColumn("Table1", {"Prezzo \u20B9", 5, 0}); }), jet::err::kNameInvalid);
    EXPECT_EQ(ErrorOf([&] { writer->CreateTable({"T\u0101", {{"x", 4, 0}}, {{}}, {}}); }), jet::err::kNameInvalid);
    EXPECT_EQ(ErrorOf([&] {
      writer->CreateTable({"Nuova", {{"x", 10, 10}}, {{{"ValidationText", std::nullopt, "\u0416"}}}, {}});
    }), 3421);
    EXPECT_EQ(ErrorOf([&] { writer->CreateIndex("Table1", {"Indice \u4E00", false, false, {"C"}}); }), jet::err::kNameInvalid);
    EXPECT_EQ(ErrorOf([&] { writer->CreateQuery("Q", "SELECT Table1.* FROM Table1 WHERE A = '\u0416';"); }), 3421);
    EXPECT_EQ(ErrorOf([&] { writer->Execute("UPDATE Table1 SET A = '\u0416'"); }), 3421);
    EXPECT_EQ(ErrorOf([&] { writer->AddColumn("Table1", {"Importo", 20, 0}); }), 3259) << "no Decimal in Jet 3";
    EXPECT_EQ(writer->database().FindTable("Nuova"), nullptr);
    writer->Commit();
  }
  EXPECT_EQ(Bytes(path), original);
  {
    // The code page's own characters (Latin-1 and the 0x80-0x9F range of 1252) are stored.
    auto writer = jet::DatabaseWriter::Open(path);
    writer->AddColumn("Table1", {"Città €", 10, 20});
    writer->SetColumnProperty("Table1", "Città €", {"DefaultValue", std::nullopt, "\"Œuvre – “ok”\""});
    writer->Execute("UPDATE Table1 SET [Città €] = 'Forlì €'");
    writer->Commit();
  }
  auto database = jet::Database::Open(path);
  const jet::FieldInfo* city = database->FindTable("Table1")->FindField("Città €");
  ASSERT_NE(city, nullptr);
  EXPECT_EQ(city->default_value.value_or(""), "\"Œuvre – “ok”\"");
  database.reset();
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  EXPECT_NE(Output("mdb-export '" + path.string() + "' Table1 2>&1").find("Forlì €"), std::string::npos);
}

// A Greek Access 97 database (code page 1253) keeps its field properties in that code page
// too: Greek names and texts go in, come back, and the bytes are the code page's.
TEST(Jet3CodePage, PropertiesOfAGreekDatabaseUseItsCodePage) {
  TempDir dir;
  const fs::path path = dir / "greco.mdb";
  jet::CreateDatabase(path, jet::Format::kJet3);
  {
    std::string bytes = FileBytes(path);
    std::vector<uint8_t> page0(bytes.begin(), bytes.begin() + 2048);
    page0 = jet::UnmaskHeaderPage(page0, jet::Format::kJet3);
    page0[0x3C] = 1253 & 0xFF;
    page0[0x3D] = 1253 >> 8;
    page0 = jet::UnmaskHeaderPage(page0, jet::Format::kJet3);  // the mask is its own inverse
    std::copy(page0.begin(), page0.end(), bytes.begin());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
  const std::string field = "Ώρα";  // Ώρα
  const std::string rule = "<> \"αβγ\"";
  {
    auto writer = jet::DatabaseWriter::Open(path);
    ASSERT_EQ(writer->database().header().code_page, 1253);
    writer->CreateTable({"Tempi", {{field, 10, 20}}, {{{"ValidationRule", std::nullopt, rule}}}, {}});
    writer->SetColumnProperty("Tempi", field, {"DefaultValue", std::nullopt, "\"Ω\""});
    writer->Commit();
  }
  auto database = jet::Database::Open(path);
  const jet::TableInfo* table = database->FindTable("Tempi");
  ASSERT_NE(table, nullptr);
  const jet::FieldInfo* stored = table->FindField(field);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->validation_rule.value_or("<none>"), rule);
  EXPECT_EQ(stored->default_value.value_or("<none>"), "\"Ω\"");
  // In code page 1253, alpha beta gamma are E1 E2 E3 and the field's name starts with BF.
  const std::vector<uint8_t>& blob = table->object.properties;
  const std::vector<uint8_t> greek = {0xE1, 0xE2, 0xE3};
  EXPECT_NE(std::search(blob.begin(), blob.end(), greek.begin(), greek.end()), blob.end());
  const std::vector<uint8_t> name = {0xBF, 0xF1, 0xE1};
  EXPECT_NE(std::search(blob.begin(), blob.end(), name.begin(), name.end()), blob.end());
  database.reset();
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
}

// A writer goes on after a commit: its view of the database and its page allocator still
// serve the file the commit put in place (they read freed memory once).
TEST(DatabaseWriterCommits, ChangesAfterACommitReachTheNextOne) {
  TempDir dir;
  const fs::path path = dir / "due.mdb";
  jet::CreateDatabase(path);
  auto writer = jet::DatabaseWriter::Open(path);
  writer->CreateTable({"Prima", {{"Codice", 4, 0}}, {{}}, {}});
  writer->Commit();
  ASSERT_NE(writer->database().FindTable("Prima"), nullptr);
  writer->CreateTable({"Seconda", {{"Codice", 4, 0}, {"Nome", 10, 20}}, {{}, {}}, {}});
  int made = 0;
  writer->InsertRows("Seconda", [&](jet::Row& row) {
    if (made == 500) return false;
    row = {jet::Value{static_cast<int32_t>(++made)}, jet::Value{"riga"}};
    return true;
  });
  writer->Commit();
  writer.reset();
  auto database = jet::Database::Open(path);
  ASSERT_NE(database->FindTable("Prima"), nullptr);
  ASSERT_NE(database->FindTable("Seconda"), nullptr);
  EXPECT_EQ(database->FindTable("Seconda")->def.row_count, 500u);
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(SampleFiles, DatabaseWriterTest, ::testing::Values("jet4/testV2000.mdb", "jet3/testV1997.mdb"),
                         [](const auto& info) { return fs::path(info.param).stem().string(); });

}  // namespace
}  // namespace vantrel::test

#include <set>

#include "jet/common/byte_reader.h"
#include "jet/core/data_page.h"
#include "jet/core/database.h"
#include "jet/core/usage_map.h"
#include "jet/write/data_page_writer.h"
#include "jet/write/page_allocator.h"
#include "jet/write/usage_map_writer.h"
#include "tests/jet_index/index_test_pages.h"

namespace vantrel::test {
namespace {

// A damaged map may name another table's data pages beside the table's own: dropping the
// table frees only its own, however the pages lie, and the other table's rows survive the
// reuse of what was freed.
TEST(DatabaseWriterDeleteTable, PagesTheMapNamesButAnotherTableOwnsAreNotFreed) {
  TempDir dir;
  const fs::path path = dir / "due.mdb";
  jet::CreateDatabase(path);
  auto fill = [](jet::DatabaseWriter& writer, const std::string& table, int rows, int seed) {
    int made = 0;
    writer.InsertRows(table, [&](jet::Row& row) {
      if (made == rows) return false;
      ++made;
      row = {jet::Value{static_cast<int32_t>(made + seed)}, jet::Value{std::string(120, static_cast<char>('a' + made % 26))}};
      return true;
    });
  };
  {
    auto writer = jet::DatabaseWriter::Open(path);
    for (const char* name : {"Prima", "Seconda"})
      writer->CreateTable({name, {{"Id", 4, 0}, {"Testo", 10, 200}}, {{}, {}}, {}});
    fill(*writer, "Prima", 2000, 0);
    fill(*writer, "Seconda", 2000, 100000);
    writer->Commit();
  }
  std::vector<jet::Row> kept;
  {
    auto db = jet::Database::Open(path);
    auto cursor = db->Rows(*db->FindTable("Seconda"));
    for (jet::Row row; cursor.Next(row);) kept.push_back(row);
  }
  ASSERT_EQ(kept.size(), 2000u);
  {
    // Prima's map is made to name Seconda's pages too, right after its own.
    auto db = jet::Database::Open(path);
    const jet::TableDef prima = db->FindTable("Prima")->def, seconda = db->FindTable("Seconda")->def;
    auto session = jet::store::WriteSession::Open(path);
    const std::vector<uint32_t> theirs =
        jet::ReadUsageMap(session->pages(), session->format(), seconda.owned_pages_pointer).pages;
    ASSERT_GT(theirs.size(), 10u);
    uint32_t next = session->pages().page_count();
    for (uint32_t page : theirs)
      jet::SetUsageMapBit(session->pages(), session->format(), prima.owned_pages_pointer, page, true,
                          jet::Uncovered::kUnmarked, [&] { return next++; });
    ASSERT_EQ(next, session->pages().page_count()) << "the map needed no new page";
    session->Commit();
  }
  {
    auto writer = jet::DatabaseWriter::Open(path);
    writer->DeleteTable("Prima");
    writer->CreateTable({"Terza", {{"Id", 4, 0}, {"Testo", 10, 200}}, {{}, {}}, {}});
    fill(*writer, "Terza", 4000, 200000);  // takes every page Prima gave back, and more
    writer->Commit();
  }
  auto db = jet::Database::Open(path);
  std::vector<jet::Row> after;
  auto cursor = db->Rows(*db->FindTable("Seconda"));
  for (jet::Row row; cursor.Next(row);) after.push_back(row);
  EXPECT_EQ(after, kept);
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
}

// Long-value pages name no owner: dropping a table frees those its rows alone use (single
// rows and chains alike), and keeps a page that also holds a row none of them names. The
// other table's memos and OLE values survive the reuse of what was freed.
TEST(DatabaseWriterDeleteTable, LongValuePagesOnlyItsRowsUseAreFreed) {
  TempDir dir;
  const fs::path path = dir / "lunghi.mdb";
  jet::CreateDatabase(path);
  const auto long_value_pages = [&] {
    std::set<uint32_t> found;
    auto pages = EditablePages::FromFile(path);
    for (uint32_t page = 3; page < pages.page_count(); ++page) {
      const auto bytes = pages.Page(page);
      if (bytes[0] == 0x01 && jet::ByteReader(bytes, "page").U32(4) == jet::kLongValuePageOwner) found.insert(page);
    }
    return found;
  };
  const auto fill = [](jet::DatabaseWriter& writer, const std::string& table, int rows, int seed) {
    writer.CreateTable({table, {{"Id", 4, 0}, {"Nota", 12, 0}, {"Foto", 11, 0}}, {{}, {}, {}}, {}});
    int made = 0;
    writer.InsertRows(table, [&](jet::Row& row) {
      if (made == rows) return false;
      ++made;
      // Inline, single-row and chained values, some Null.
      const size_t memo = static_cast<size_t>(made % 7 == 0 ? 9000 : made % 3 == 0 ? 10 : 300 + made % 500);
      row = {jet::Value{static_cast<int32_t>(made + seed)}, jet::Value{std::string(memo, static_cast<char>('a' + made % 26))},
             made % 4 == 0 ? jet::Value{}
                           : jet::Value{jet::Binary{std::vector<uint8_t>(static_cast<size_t>(100 + made % 2000),
                                                                          static_cast<uint8_t>(made + seed))}}};
      return true;
    });
  };
  {
    auto writer = jet::DatabaseWriter::Open(path);
    fill(*writer, "Prima", 400, 0);
    writer->Commit();
  }
  const std::set<uint32_t> first = long_value_pages();
  {
    auto writer = jet::DatabaseWriter::Open(path);
    fill(*writer, "Seconda", 400, 100000);
    writer->Commit();
  }
  std::set<uint32_t> second = long_value_pages();
  for (uint32_t page : first) second.erase(page);
  ASSERT_GT(first.size(), 20u);
  ASSERT_GT(second.size(), 20u);
  // A row no value of Prima names, on a page of Prima's values that has room for it.
  uint32_t shared = 0;
  {
    auto session = jet::store::WriteSession::Open(path);
    const std::vector<uint8_t> orphan(40, 0x5A);
    for (auto it = first.rbegin(); it != first.rend() && shared == 0; ++it)
      if (jet::AddRow(session->pages().MutablePage(*it), session->format(), orphan)) shared = *it;
    ASSERT_NE(shared, 0u);
    session->Commit();
  }
  const std::vector<jet::Row> kept = RowsOf(*jet::Database::Open(path), "Seconda");
  {
    auto writer = jet::DatabaseWriter::Open(path);
    writer->DeleteTable("Prima");
    writer->Commit();
  }
  {
    auto pages = EditablePages::FromFile(path);
    for (uint32_t page : first) EXPECT_EQ(jet::MarkedFree(pages, jet::Format::kJet4, page), page != shared) << page;
    for (uint32_t page : second) EXPECT_FALSE(jet::MarkedFree(pages, jet::Format::kJet4, page)) << page;
  }
  {
    auto writer = jet::DatabaseWriter::Open(path);
    fill(*writer, "Terza", 800, 200000);  // takes every page Prima gave back, and more
    writer->Commit();
  }
  EXPECT_EQ(RowsOf(*jet::Database::Open(path), "Seconda"), kept);
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  EXPECT_EQ(Output("mdb-export -H -R '<<row>>' '" + path.string() + "' Seconda | grep -a -o '<<row>>' | wc -l"), "400\n");
}

// A primary key refuses a single Null among thousands of rows (keyed on the second thread),
// and the Null is what is raised even where the keys also repeat.
TEST(DatabaseWriterCreateIndex, ANullAnywhereInAPrimaryKeyIsRaisedFirst) {
  TempDir dir;
  const fs::path path = dir / "chiavi.mdb";
  jet::CreateDatabase(path);
  auto writer = jet::DatabaseWriter::Open(path);
  writer->CreateTable({"Voci", {{"Id", 4, 0}, {"Gruppo", 4, 0}}, {{}, {}}, {}});
  int made = 0;
  writer->InsertRows("Voci", [&](jet::Row& row) {
    if (made == 5000) return false;
    ++made;
    row = {made == 4321 ? jet::Value{} : jet::Value{static_cast<int32_t>(made)},
           made == 4321 ? jet::Value{} : jet::Value{static_cast<int32_t>(made % 10)}};
    return true;
  });
  EXPECT_EQ(ErrorOf([&] { writer->CreateIndex("Voci", {"PrimaryKey", true, true, {"Id"}}); }), 3058);
  EXPECT_EQ(ErrorOf([&] { writer->CreateIndex("Voci", {"PrimaryKey", true, true, {"Gruppo"}}); }), 3058);
  EXPECT_EQ(ErrorOf([&] { writer->CreateIndex("Voci", {"PerGruppo", false, true, {"Gruppo"}}); }), jet::err::kDuplicateKey);
  writer->CreateIndex("Voci", {"Unico", false, true, {"Id"}});  // a unique index takes Nulls
  EXPECT_EQ(ErrorOf([&] { writer->CreateIndex("Voci", {"PrimaryKey", true, true, {"Gruppo", "Id"}}); }), 3058);
  writer->CreateIndex("Voci", {"PerId", false, false, {"Id"}});
  writer->Commit();
  EXPECT_EQ(writer->database().FindTable("Voci")->def.real_indexes.size(), 2u);
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
}

}  // namespace
}  // namespace vantrel::test
