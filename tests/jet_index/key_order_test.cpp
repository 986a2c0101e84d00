// Order of text keys against the order Access itself gave: the Jet 3 sample indexes a row
// "AA" + c + "AA" for each single-byte character c, so the order of those leaf entries ranks
// the characters. Random texts over them must sort by our keys as by those ranks.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "jet/index/text_key.h"
#include "tests/support/corpus.h"
#include "tools/derive_sort_order/corpus_index_walk.h"

namespace {

using vantrel::derive::FileImage;

// Each character's rank among the distinct primary weights, in the order of Access's leaf
// entries. Ranks come from Access's own key bytes (the part before the accent nibbles), not
// from the table under test.
std::map<char16_t, int> AccessCharacterRanks(const std::filesystem::path& file) {
  FileImage pages(file);
  std::map<char16_t, int> ranks;
  for (uint32_t definition_page : vantrel::derive::ListTablePages(pages)) {
    const jet::TableDef table = vantrel::derive::ReadIndexedTableDef(pages, definition_page);
    if (table.columns.size() != 2 || table.columns[1].name != "data") continue;
    for (const auto& index : table.real_indexes) {
      if (index.columns.size() != 1 || index.columns[0].column_number != table.columns[1].number ||
          !index.columns[0].ascending) {
        continue;
      }
      std::vector<uint8_t> previous_primary;
      int rank = -1;
      for (const auto& entry : vantrel::derive::ReadLeafEntries(pages, index.first_page)) {
        const jet::Row row = vantrel::derive::ReadEntryRow(pages, table, entry);
        const auto* text = std::get_if<std::string>(&row[1]);
        if (text == nullptr) continue;
        const std::u16string units = jet::Utf8ToUtf16(*text);
        if (units.size() != 5 || units.substr(0, 2) != u"AA" || units.substr(3) != u"AA") continue;
        // flag, A, A, c (one byte unless it weighs as two letters), A, A, then the nibbles
        if (entry.key.size() < 7 || entry.key[4] != 0x60 || entry.key[5] != 0x60) continue;
        std::vector<uint8_t> primary(entry.key.begin() + 3, entry.key.begin() + 4);
        if (primary != previous_primary) ++rank, previous_primary = primary;
        ranks.emplace(units[2], rank);
      }
      if (!ranks.empty()) return ranks;
    }
  }
  return ranks;
}

TEST(KeyOrder, RandomJet3TextsSortAsAccessRanksTheirCharacters) {
  VANTREL_REQUIRE_CORPUS();
  const auto ranks = AccessCharacterRanks(vantrel::test::CorpusDir() / "jet3" / "testIndexCodesV1997.mdb");
  ASSERT_GT(ranks.size(), 150u);
  std::vector<char16_t> alphabet;
  for (const auto& [c, rank] : ranks) alphabet.push_back(c);
  std::mt19937 rng(17);
  int compared = 0;
  for (int i = 0; i < 3000; ++i) {
    std::u16string a, b;
    for (int n = static_cast<int>(rng() % 5); n >= 0; --n) a += alphabet[rng() % alphabet.size()];
    b = a.substr(0, rng() % (a.size() + 1));
    for (int n = static_cast<int>(rng() % 4); n >= 0; --n) b += alphabet[rng() % alphabet.size()];
    // Trailing blanks are not part of a key.
    const auto keyed = [](std::u16string t) {
      while (!t.empty() && t.back() == u' ') t.pop_back();
      return t;
    };
    std::vector<int> ra, rb;
    for (char16_t c : keyed(a)) ra.push_back(ranks.at(c));
    for (char16_t c : keyed(b)) rb.push_back(ranks.at(c));
    if (ra == rb) continue;  // equal weights: only accents decide, which the ranks do not show
    const int expected = ra < rb ? -1 : 1;
    const int actual =
        jet::CompareGeneralText(jet::Utf16ToUtf8(a), jet::Utf16ToUtf8(b), jet::Format::kJet3);
    EXPECT_EQ(actual, expected) << jet::Utf16ToUtf8(a) << " / " << jet::Utf16ToUtf8(b);
    ++compared;
  }
  EXPECT_GT(compared, 2500);
}

}  // namespace
