// The bulk paths a large load or a compaction takes: rows appended through InsertRows, key
// columns decoded alone, index entries gathered while rows are placed, and long values copied
// between files without being decoded. Each must give what the general path gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/common/error.h"
#include "jet/core/database.h"
#include "jet/core/row_codec.h"
#include "jet/core/table_scan.h"
#include "jet/write/compaction.h"
#include "jet/write/database_writer.h"
#include "jet/write/index_builder.h"
#include "jet/write/index_entry_collector.h"
#include "jet/write/new_database.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace vantrel::test {
namespace {

bool Readable(const std::filesystem::path& path) { return path.filename() != "passwordV2000.mdb"; }

TEST(BulkLoad, KeyColumnsDecodeAloneAsInTheWholeRow) {
  VANTREL_REQUIRE_CORPUS();
  for (const auto& sample : CorpusFiles()) {
    if (!Readable(sample)) continue;
    SCOPED_TRACE(sample.filename().string());
    auto database = jet::Database::Open(sample);
    const jet::DecodeContext context{database->format(), database->header().code_page, &database->pages()};
    for (const jet::TableInfo& table : database->tables()) {
      if (table.def.columns.empty()) continue;
      // Every other column, long values included, and the first one alone.
      std::vector<bool> odd(table.def.columns.size()), first(table.def.columns.size());
      for (size_t c = 0; c < odd.size(); ++c) odd[c] = c % 2 == 1;
      first[0] = true;
      jet::TableScan scan(database->pages(), table.def);
      while (scan.Next()) {
        const jet::Row whole = jet::DecodeRow(table.def, scan.bytes(), context);
        for (const std::vector<bool>* wanted : {&odd, &first}) {
          const jet::Row some = jet::DecodeRowColumns(table.def, scan.bytes(), context, *wanted);
          ASSERT_EQ(some.size(), whole.size());
          for (size_t c = 0; c < whole.size(); ++c) {
            if ((*wanted)[c]) {
              EXPECT_EQ(some[c], whole[c]) << table.name << " column " << c;
            } else {
              EXPECT_TRUE(jet::IsNull(some[c])) << table.name << " column " << c;
            }
          }
        }
      }
    }
  }
}

// The collector sees each row once, as it is placed; its entries must be those a pass over
// the stored table gives, index by index, and an index whose keys cannot all be computed must
// be marked failed exactly when that pass raises.
TEST(BulkLoad, CollectedIndexEntriesEqualThoseFromTheStoredRows) {
  VANTREL_REQUIRE_CORPUS();
  size_t indexes = 0;
  for (const auto& sample : CorpusFiles()) {
    if (!Readable(sample)) continue;
    SCOPED_TRACE(sample.filename().string());
    auto database = jet::Database::Open(sample);
    const uint16_t code_page = database->header().code_page;
    for (const jet::TableInfo& table : database->tables()) {
      if (table.def.columns.empty() || table.def.real_indexes.empty()) continue;
      std::vector<size_t> all(table.def.real_indexes.size());
      for (size_t i = 0; i < all.size(); ++i) all[i] = i;
      jet::IndexEntryCollector collector(table.def, all, code_page, database->pages());
      jet::TableScan scan(database->pages(), table.def);
      while (scan.Next()) collector.Add(scan.bytes(), scan.location());
      for (size_t i = 0; i < all.size(); ++i) {
        std::vector<jet::IndexEntry> expected;
        int32_t error = ErrorOf([&] { expected = jet::IndexEntriesFromRows(database->pages(), table.def, i, code_page); });
        ASSERT_TRUE(error == 0 || error == jet::err::kNotSupported) << error;
        EXPECT_EQ(collector.failed(i), error != 0) << table.name << " index " << i;
        if (error != 0) continue;
        const std::vector<jet::IndexEntry> collected = collector.Take(i);
        ASSERT_EQ(collected.size(), expected.size()) << table.name << " index " << i;
        for (size_t e = 0; e < expected.size(); ++e) {
          EXPECT_EQ(collected[e].key, expected[e].key) << table.name << " index " << i << " entry " << e;
          EXPECT_EQ(collected[e].data_page, expected[e].data_page);
          EXPECT_EQ(collected[e].data_row, expected[e].data_row);
        }
        ++indexes;
      }
    }
  }
  EXPECT_GT(indexes, 50u);
}

class InsertRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    jet::CreateDatabase(path);
    auto writer = jet::DatabaseWriter::Open(path);
    jet::NewTable table{"Voci", {{"Id", 4, 0}, {"Nome", 10, 20}, {"Nota", 12, 0}, {"Foto", 11, 0}}, {}, {}};
    table.properties = {{}, {}, {}, {}};
    table.properties[0].push_back(jet::ColumnPropertyValue("Required", true, std::nullopt));
    table.indexes.push_back({"PrimaryKey", true, true, {"Id"}});
    table.indexes.push_back({"PerNome", false, false, {"Nome"}});
    writer->CreateTable(table);
    writer->Commit();
  }

  // Rows Id = 1..count with a name, a memo of `memo_length` characters and a small picture.
  static std::function<bool(jet::Row&)> Rows(int count, size_t memo_length) {
    auto made = std::make_shared<int>(0);
    return [=](jet::Row& row) {
      if (*made >= count) return false;
      const int id = ++*made;
      row = {jet::Value{static_cast<int32_t>(id)}, jet::Value{"Voce " + std::to_string(count - id)},
             jet::Value{std::string(memo_length, static_cast<char>('a' + id % 26))},
             jet::Value{jet::Binary{std::vector<uint8_t>(100 + static_cast<size_t>(id), static_cast<uint8_t>(id))}}};
      return true;
    };
  }

  TempDir dir;
  std::filesystem::path path = dir / "voci.mdb";
};

TEST_F(InsertRowsTest, RowsAndIndexesArriveAsAReaderSeesThem) {
  {
    auto writer = jet::DatabaseWriter::Open(path);
    writer->InsertRows("voci", Rows(3000, 30));
    writer->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  auto database = jet::Database::Open(path);
  const jet::TableInfo* table = database->FindTable("Voci");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->def.row_count, 3000u);
  const std::string exported = Output("mdb-export -b hex '" + path.string() + "' Voci | wc -l");
  EXPECT_EQ(std::stoi(exported), 3001);  // the header line and every row
}

TEST_F(InsertRowsTest, ARefusedRowLeavesTheTableAsItWas) {
  auto writer = jet::DatabaseWriter::Open(path);
  writer->InsertRows("Voci", Rows(10, 5));
  // A Null in the required field, after rows that were fine: none of this call's rows stay.
  int made = 0;
  EXPECT_EQ(ErrorOf([&] {
              writer->InsertRows("Voci", [&](jet::Row& row) {
                if (made == 5) return false;
                ++made;
                row = {made == 4 ? jet::Value{} : jet::Value{static_cast<int32_t>(100 + made)}, jet::Value{"x"},
                       jet::Value{}, jet::Value{}};
                return true;
              });
            }),
            3314);
  // A duplicate primary key (3022) and a row of the wrong width are refused the same way.
  EXPECT_EQ(ErrorOf([&] { writer->InsertRows("Voci", Rows(1, 5)); }), 3022);
  EXPECT_NE(ErrorOf([&] {
              writer->InsertRows("Voci", [](jet::Row& row) {
                row = {jet::Value{static_cast<int32_t>(500)}};
                return true;
              });
            }),
            0);
  EXPECT_EQ(ErrorOf([&] { writer->InsertRows("Manca", Rows(1, 5)); }), jet::err::kItemNotFound);
  EXPECT_EQ(writer->database().FindTable("Voci")->def.row_count, 10u);
  writer->Commit();
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
}

// Long values outside the row (one LVAL row, or a chain of pages) are copied between files
// byte for byte and packed; inline ones move with their row.
TEST_F(InsertRowsTest, CompactionCopiesLongValuesOfEveryLayout) {
  {
    auto writer = jet::DatabaseWriter::Open(path);
    writer->InsertRows("Voci", Rows(40, 10));  // inline memos
    int made = 0;
    writer->InsertRows("Voci", [&](jet::Row& row) {
      if (made == 40) return false;
      ++made;
      // Memos of a few hundred characters to several pages, pictures of several pages.
      row = {jet::Value{static_cast<int32_t>(1000 + made)}, jet::Value{"Lunga"},
             jet::Value{std::string(static_cast<size_t>(made) * 350, static_cast<char>('A' + made % 26))},
             jet::Value{jet::Binary{std::vector<uint8_t>(static_cast<size_t>(made) * 300, static_cast<uint8_t>(made))}}};
      return true;
    });
    writer->Commit();
  }
  const auto copy = dir / "copy.mdb";
  jet::CompactDatabase(path, copy);
  EXPECT_EQ(CheckErrors(copy), std::vector<std::string>{});
  auto rows_of = [](const std::filesystem::path& file) {
    auto database = jet::Database::Open(file);
    std::vector<jet::Row> rows;
    auto cursor = database->Rows(*database->FindTable("Voci"));
    for (jet::Row row; cursor.Next(row);) rows.push_back(row);
    return rows;
  };
  const std::vector<jet::Row> before = rows_of(path), after = rows_of(copy);
  ASSERT_EQ(after.size(), 80u);
  EXPECT_EQ(after, before);
  EXPECT_EQ(Output("mdb-export -b hex '" + copy.string() + "' Voci"),
            Output("mdb-export -b hex '" + path.string() + "' Voci"));
}

}  // namespace
}  // namespace vantrel::test
