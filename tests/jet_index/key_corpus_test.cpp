// Rebuilds every leaf key of every real index in the sample databases from the row the entry
// points at, and compares it byte for byte with what Access wrote.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "jet/common/error.h"
#include "jet/index/key_encoder.h"
#include "tests/support/corpus.h"
#include "tools/derive_sort_order/corpus_index_walk.h"

namespace {

using vantrel::derive::FileImage;

bool HasTextColumn(const jet::TableDef& table, const jet::RealIndexDef& index) {
  for (const auto& part : index.columns) {
    for (const auto& c : table.columns) {
      if (c.number == part.column_number &&
          (c.type == static_cast<uint8_t>(jet::FieldType::kText) ||
           c.type == static_cast<uint8_t>(jet::FieldType::kMemo))) {
        return true;
      }
    }
  }
  return false;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string out;
  char buf[4];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    out += buf;
  }
  return out;
}

struct Tally {
  size_t entries = 0, matched = 0;
  size_t unsupported = 0;  // keys over characters whose weight no sample shows
  std::set<std::string> unsupported_reasons;
  std::vector<std::string> first_mismatches;
};

// Every entry of every index of `file`; `with_text` chooses the indexes over text columns.
Tally CompareFile(const std::filesystem::path& file, bool with_text) {
  FileImage pages(file);
  Tally tally;
  for (uint32_t definition_page : vantrel::derive::ListTablePages(pages)) {
    const jet::TableDef table = vantrel::derive::ReadIndexedTableDef(pages, definition_page);
    for (const auto& index : table.real_indexes) {
      if (HasTextColumn(table, index) != with_text) continue;
      for (const auto& entry : vantrel::derive::ReadLeafEntries(pages, index.first_page)) {
        const jet::Row row = vantrel::derive::ReadEntryRow(pages, table, entry);
        ++tally.entries;
        std::vector<uint8_t> key;
        try {
          key = jet::EncodeIndexKey(table, index, row, pages.format());
        } catch (const jet::Error& e) {
          if (e.number() != jet::key_err::kUnsupportedKey) throw;
          ++tally.unsupported;
          tally.unsupported_reasons.insert(e.what());
          continue;
        }
        if (key == entry.key) {
          ++tally.matched;
        } else if (tally.first_mismatches.size() < 5) {
          tally.first_mismatches.push_back(table.name + "@" + std::to_string(definition_page) + ": stored " +
                                           Hex(entry.key) + " built " + Hex(key));
        }
      }
    }
  }
  return tally;
}

TEST(KeyCorpus, EveryNonTextKeyMatchesWhatAccessWrote) {
  VANTREL_REQUIRE_CORPUS();
  size_t total = 0;
  for (const auto& file : vantrel::test::CorpusFiles()) {
    const Tally tally = CompareFile(file, false);
    total += tally.entries;
    std::printf("  %-32s non-text keys %zu/%zu\n", file.filename().string().c_str(), tally.matched, tally.entries);
    EXPECT_EQ(tally.matched, tally.entries) << file << "\n"
                                            << (tally.first_mismatches.empty() ? "" : tally.first_mismatches[0]);
  }
  EXPECT_GT(total, 1000u);  // the samples hold far more; fewer means the walk lost entries
}

// Every text key is built as Access wrote it, the kanji and kana of testUnicodeCompV2003's
// "漢字仮名交じり文" (with its kana part) and the Greek "ϰαὶ τότ' ἐγὼ Κύϰλωπα", built from the
// public weights of γ and Κ (the Greek Extended letters are left out of keys), among them.
TEST(KeyCorpus, TextKeysMatchWhatAccessWrote) {
  VANTREL_REQUIRE_CORPUS();
  size_t text_keys = 0;
  for (const auto& file : vantrel::test::CorpusFiles()) {
    const Tally tally = CompareFile(file, true);
    text_keys += tally.entries;
    std::printf("  %-32s text keys %zu/%zu (%zu over characters without a known weight)\n",
                file.filename().string().c_str(), tally.matched, tally.entries, tally.unsupported);
    EXPECT_EQ(tally.matched + tally.unsupported, tally.entries)
        << file << "\n"
        << (tally.first_mismatches.empty() ? "" : tally.first_mismatches[0]);
    EXPECT_EQ(tally.unsupported_reasons, std::set<std::string>{}) << file;
    EXPECT_EQ(tally.unsupported, 0u) << file;
  }
  EXPECT_GT(text_keys, 3000u);
}

}  // namespace
