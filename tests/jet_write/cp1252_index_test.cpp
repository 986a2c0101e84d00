// Indexes over Jet 4 text holding the characters code page 1252 adds at 0x80-0x9F (€, the
// typographic quotes and dashes, Š Œ Ž ...) and text of other scripts: the engine builds them,
// the checker finds every key where the General order puts it, and other readers still read
// the file.
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

// The checker is clean, the PerNome tree holds exactly the keys of `names` and `extra` in byte
// order, and mdb-export reads every name back.
void ExpectIndexedAndReadable(const std::filesystem::path& path, std::vector<std::string> all,
                              const std::string& extra) {
  all.push_back(extra);
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});

  auto database = jet::Database::Open(path);
  const jet::TableInfo* table = database->FindTable("Voci");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->def.row_count, all.size());
  const auto logical = std::find_if(table->def.indexes.begin(), table->def.indexes.end(),
                                    [](const jet::LogicalIndexDef& i) { return i.name == "PerNome"; });
  ASSERT_NE(logical, table->def.indexes.end());
  const jet::RealIndexDef& index = table->def.real_indexes[logical->real_index];
  // The tree holds exactly the keys of the names, in byte order.
  std::vector<std::vector<uint8_t>> expected;
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
  ExpectIndexedAndReadable(path, kNames, "Skoda");
}

TEST_F(Cp1252IndexTest, TextOfOtherScriptsIndexesAndEqualKeysAreDuplicates) {
  const std::vector<std::string> names = {"한국어",      "中文字符",   "日本語のかな", "ｶﾀｶﾅ",   "ＡＢＣ",
                                          "עברית",       "العربية",    "ไทย",         "हिन्दी",  "Ελληνικά",
                                          "Русский",     "Ǆemal",      "ﬁne",         "№ 5",     "①②"};
  {
    auto writer = jet::DatabaseWriter::Open(path);
    Insert(*writer, names, 1);
    // Equal keys: fullwidth letters weigh as plain ones, a trailing blank is no part of a key,
    // a character beyond the BMP adds nothing, halfwidth kana weigh as full-width ones.
    EXPECT_EQ(ErrorOf([&] { Insert(*writer, {"abc"}, 100); }), 3022);
    EXPECT_EQ(ErrorOf([&] { Insert(*writer, {"한국어 "}, 100); }), 3022);
    EXPECT_EQ(ErrorOf([&] { Insert(*writer, {"中文\xF0\x9F\x98\x80字符"}, 100); }), 3022);
    EXPECT_EQ(ErrorOf([&] { Insert(*writer, {"カタカナ"}, 100); }), 3022);
    Insert(*writer, {"中文"}, 100);
    writer->Commit();
  }
  ExpectIndexedAndReadable(path, names, "中文");
}

}  // namespace
}  // namespace vantrel::test
