// Indexes over Jet 4 text holding the characters code page 1252 adds at 0x80-0x9F (€, the
// typographic quotes and dashes, Š Œ Ž ...): the engine builds them, the checker finds every
// key where the General order puts it, and other readers still read the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "jet/core/database.h"
#include "jet/index/index_reader.h"
#include "jet/index/key_encoder.h"
#include "jet/write/database_writer.h"
#include "jet/write/new_database.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace vantrel::test {
namespace {

const std::vector<std::string> kNames = {
    "Prezzo 5 €",   "„Anführung“", "‚einfach‘",  "Œuvre",  "Škoda",      "Žilina",      "Ÿvonne", "ƒ(x)",
    "wait…",        "† 1900",      "‡ note",     "10‰",    "‹ pagina ›", "“quoted”",    "• voce", "a–b",
    "a—b",          "ˆ e ˜",       "Marca™",     "škoda 2", "œil",        "žena",        "’tis",   "ab"};

class Cp1252IndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    jet::CreateDatabase(path);
    auto writer = jet::DatabaseWriter::Open(path);
    jet::NewTable table{"Voci", {{"Id", 4, 0}, {"Nome", 10, 40}}, {{}, {}}, {}};
    table.indexes.push_back({"PrimaryKey", true, true, {"Id"}});
    table.indexes.push_back({"PerNome", false, true, {"Nome"}});
    writer->CreateTable(table);
    writer->Commit();
  }

  void Insert(jet::DatabaseWriter& writer, const std::vector<std::string>& names, int first_id) {
    size_t next = 0;
    writer.InsertRows("Voci", [&](jet::Row& row) {
      if (next == names.size()) return false;
      row = {jet::Value{static_cast<int32_t>(first_id + static_cast<int>(next))}, jet::Value{names[next]}};
      ++next;
      return true;
    });
  }

  TempDir dir;
  std::filesystem::path path = dir / "voci.mdb";
};

TEST_F(Cp1252IndexTest, AUniqueTextIndexOverThemRoundTrips) {
  {
    auto writer = jet::DatabaseWriter::Open(path);
    Insert(*writer, kNames, 1);
    // The unique index takes case and the letters Œ joins as the same key.
    EXPECT_EQ(ErrorOf([&] { Insert(*writer, {"ŠKODA"}, 100); }), 3022);
    EXPECT_EQ(ErrorOf([&] { Insert(*writer, {"OEUVRE"}, 100); }), 3022);
    // An accent alone is a different key.
    Insert(*writer, {"Skoda"}, 100);
    writer->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});

  auto database = jet::Database::Open(path);
  const jet::TableInfo* table = database->FindTable("Voci");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->def.row_count, kNames.size() + 1);
  const auto logical = std::find_if(table->def.indexes.begin(), table->def.indexes.end(),
                                    [](const jet::LogicalIndexDef& i) { return i.name == "PerNome"; });
  ASSERT_NE(logical, table->def.indexes.end());
  const jet::RealIndexDef& index = table->def.real_indexes[logical->real_index];
  // The tree holds exactly the keys of the names, in byte order.
  std::vector<std::vector<uint8_t>> expected;
  std::vector<std::string> all = kNames;
  all.push_back("Skoda");
  for (const auto& name : all) expected.push_back(jet::EncodeIndexKey(table->def, index, {int32_t{0}, name}, jet::Format::kJet4));
  std::sort(expected.begin(), expected.end());
  std::vector<std::vector<uint8_t>> stored;
  jet::IndexCursor cursor(database->pages(), jet::Format::kJet4, index.first_page, table->def.definition_page);
  for (jet::IndexEntry entry; cursor.Next(entry);) stored.push_back(entry.key);
  EXPECT_EQ(stored, expected);
  database.reset();

  const std::string exported = Output("mdb-export '" + path.string() + "' Voci 2>&1");
  for (const auto& name : all) EXPECT_NE(exported.find(name), std::string::npos) << name << "\n" << exported;
}

}  // namespace
}  // namespace vantrel::test
