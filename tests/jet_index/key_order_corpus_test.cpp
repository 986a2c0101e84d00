// The order of text keys held against the order of Access's own index entries, over every
// character the sample indexes hold: two texts whose stored primary weights part before
// either ends keep Access's order whatever random text follows each of them.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>

#include "jet/common/error.h"
#include "jet/index/general_sort_order_table.h"
#include "jet/index/key_encoder.h"
#include "jet/index/text_key.h"
#include "tests/support/corpus.h"
#include "tools/derive_sort_order/corpus_index_walk.h"

namespace {

using vantrel::derive::FileImage;

struct AccessText {
  std::string text;
  std::vector<uint8_t> primary;  // the primary weights of the key Access stored
};

// The primary part of a stored ascending text key, after the column's flag byte: Jet 4 ends
// it with 01, Jet 3 with the first byte below the lowest weight (the accent nibbles).
std::vector<uint8_t> StoredPrimary(const std::vector<uint8_t>& key, jet::Format format) {
  std::vector<uint8_t> primary;
  for (size_t i = 1; i < key.size(); ++i) {
    if (format == jet::Format::kJet4 ? key[i] == 0x01 : key[i] < 0x10) break;
    primary.push_back(key[i]);
  }
  return primary;
}

// Texts of the single-column ascending text indexes of one format, with the characters in them.
struct FormatTexts {
  std::vector<AccessText> texts;
  std::set<char16_t> characters;
};

std::map<jet::Format, FormatTexts> CorpusTexts() {
  std::map<jet::Format, FormatTexts> found;
  for (const auto& file : vantrel::test::CorpusFiles()) {
    FileImage pages(file);
    for (uint32_t definition_page : vantrel::derive::ListTablePages(pages)) {
      const jet::TableDef table = vantrel::derive::ReadIndexedTableDef(pages, definition_page);
      for (const auto& index : table.real_indexes) {
        if (index.columns.size() != 1 || !index.columns[0].ascending) continue;
        const jet::ColumnDef* column = table.ColumnByNumber(index.columns[0].column_number);
        if (!column || column->type != static_cast<uint8_t>(jet::FieldType::kText)) continue;
        const size_t position = column->position;
        for (const auto& entry : vantrel::derive::ReadLeafEntries(pages, index.first_page)) {
          const jet::Row row = vantrel::derive::ReadEntryRow(pages, table, entry);
          const auto* text = position < row.size() ? std::get_if<std::string>(&row[position]) : nullptr;
          if (!text || text->empty()) continue;
          FormatTexts& into = found[pages.format()];
          into.texts.push_back({*text, StoredPrimary(entry.key, pages.format())});
          for (char16_t c : jet::Utf8ToUtf16(*text)) into.characters.insert(c);
        }
      }
    }
  }
  return found;
}

bool PartsBeforeEitherEnds(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return ia != a.end() && ib != b.end();
}

TEST(KeyOrderCorpus, RandomTextsAfterAccessTextsKeepAccessOrder) {
  VANTREL_REQUIRE_CORPUS();
  std::mt19937 random(20261207);
  for (auto& [format, corpus] : CorpusTexts()) {
    // Every text of the samples has a key now; a refused one would be left out, with its
    // characters without a weight, and counted as a failure below.
    std::vector<char16_t> alphabet;
    for (char16_t c : corpus.characters)
      if (jet::FindGeneralSortWeight(format, c)) alphabet.push_back(c);
    const size_t texts = corpus.texts.size();
    std::erase_if(corpus.texts, [&](const AccessText& t) {
      try {
        jet::GeneralTextKey(t.text, format);
        return false;
      } catch (const jet::Error&) {
        return true;
      }
    });
    EXPECT_EQ(texts - corpus.texts.size(), 0u);
    ASSERT_GT(corpus.texts.size(), 100u);
    auto random_tail = [&] {
      std::u16string tail;
      for (int n = static_cast<int>(random() % 6); n > 0; --n) tail += alphabet[random() % alphabet.size()];
      return jet::Utf16ToUtf8(tail);
    };
    size_t compared = 0, refused = 0;
    for (int i = 0; i < 40000; ++i) {
      const AccessText& a = corpus.texts[random() % corpus.texts.size()];
      const AccessText& b = corpus.texts[random() % corpus.texts.size()];
      if (!PartsBeforeEitherEnds(a.primary, b.primary)) continue;
      const int access = a.primary < b.primary ? -1 : 1;
      const std::string left = a.text + random_tail(), right = b.text + random_tail();
      int ours = 0;
      try {
        const int compared_texts = jet::CompareGeneralText(left, right, format);
        ours = (compared_texts > 0) - (compared_texts < 0);
      } catch (const jet::Error& e) {
        ASSERT_EQ(e.number(), jet::key_err::kUnsupportedKey);
        ++refused;
        continue;
      }
      EXPECT_EQ(ours, access) << (format == jet::Format::kJet3 ? "Jet 3: " : "Jet 4: ") << left << " / " << right;
      if (HasFailure()) return;
      ++compared;
    }
    std::printf("  %s: %zu texts, %zu characters, %zu pairs compared, %zu refused\n",
                format == jet::Format::kJet3 ? "Jet 3" : "Jet 4", corpus.texts.size(), alphabet.size(), compared,
                refused);
    EXPECT_GT(compared, 5000u);
    EXPECT_EQ(refused, 0u);
  }
}

}  // namespace
