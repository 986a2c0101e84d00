// The public weights file: a malformed line must stop the derivation rather than leave a
// character unweighted or misweighted, and the weights read from Access's keys always win.
#include "tools/derive_sort_order/public_weights.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vantrel::derive {
namespace {

jet::GeneralSortWeight Weight(char16_t c, std::vector<uint8_t> primary, uint8_t extra, bool observed) {
  jet::GeneralSortWeight w;
  w.character = c;
  w.primary_length = static_cast<uint8_t>(primary.size());
  std::copy(primary.begin(), primary.end(), w.primary);
  w.extra = extra;
  w.accent_place = !primary.empty();
  w.observed = observed;
  return w;
}

TEST(PublicWeights, ReadsEveryKindOfLineSortedByCharacter) {
  auto weights = ParsePublicWeights(
      "# comment\n"
      "20AC weight 35A1 02\n"
      "\n"
      "2013 skipped 89   # en dash\n"
      "1F00-1F02 ignored\n"
      "0160 weight 6b 14\n"
      "0301 modifier 0C\n");
  ASSERT_EQ(weights.size(), 7u);
  EXPECT_EQ(weights[1].character, 0x0301);
  EXPECT_TRUE(weights[1].modifies_accent);
  EXPECT_EQ(weights[1].extra, 0x0C);
  EXPECT_FALSE(weights[1].accent_place);
  weights.erase(weights.begin() + 1);
  EXPECT_EQ(weights[0].character, 0x0160);
  EXPECT_EQ(weights[0].primary_length, 1);
  EXPECT_EQ(weights[0].extra, 0x14);
  EXPECT_TRUE(weights[0].accent_place);
  for (size_t i = 1; i <= 3; ++i) {
    EXPECT_EQ(weights[i].character, 0x1F00 + i - 1);
    EXPECT_EQ(weights[i].primary_length, 0);
    EXPECT_EQ(weights[i].extra, jet::kIgnoredCharacter);
  }
  EXPECT_EQ(weights[4].character, 0x2013);
  EXPECT_EQ(weights[4].primary_length, 0);
  EXPECT_EQ(weights[4].extra, 0x89);
  EXPECT_FALSE(weights[4].accent_place);
  EXPECT_EQ(weights[5].primary[0], 0x35);
  EXPECT_EQ(weights[5].primary[1], 0xA1);
  for (const auto& w : weights) EXPECT_FALSE(w.observed);
}

TEST(PublicWeights, ReadsKanaRunsAndLettersWithTwoAccents) {
  const auto weights = ParsePublicWeights(
      "3041 kana 7F02 02 small\n"
      "304C kana 7F0A 03 full\n"
      "01C4 weight 4F78 0214\n"
      "4EFE-4F03 run 9FFE\n");
  ASSERT_EQ(weights.size(), 9u);
  EXPECT_EQ(weights[0].character, 0x01C4);
  EXPECT_EQ(weights[0].extra, 0x02);
  EXPECT_EQ(weights[0].more_accents[0], 0x14);
  EXPECT_EQ(weights[0].more_accents[1], 0x00);
  EXPECT_EQ(weights[1].kana, jet::kSmallKana);
  EXPECT_EQ(weights[2].kana, jet::kFullSizeKana);
  EXPECT_EQ(weights[2].extra, 0x03);
  // A run's weights skip the low bytes 00 and 01, which end key parts: 9FFE, 9FFF, A002 ...
  const std::vector<std::pair<uint8_t, uint8_t>> expected = {{0x9F, 0xFE}, {0x9F, 0xFF}, {0xA0, 0x02},
                                                             {0xA0, 0x03}, {0xA0, 0x04}, {0xA0, 0x05}};
  for (size_t i = 0; i < expected.size(); ++i) {
    const auto& w = weights[3 + i];
    EXPECT_EQ(w.character, 0x4EFE + i);
    ASSERT_EQ(w.primary_length, 2);
    EXPECT_EQ(w.primary[0], expected[i].first) << i;
    EXPECT_EQ(w.primary[1], expected[i].second) << i;
    EXPECT_EQ(w.extra, jet::kNoAccent);
  }
}

TEST(PublicWeights, RefusesLinesThatWouldMisweighACharacter) {
  for (const char* line : {
           "20AC weight 35A 02",        // half a byte
           "20AC weight 35A1 02020202", // more accent bytes than an entry holds
           "01C4 weight 4F78 0201",     // an accent byte that ends a key part
           "20AC weight 01 02",         // a byte that ends a key part
           "20AC weight 35 01",
           "20AC weight 1122334455 02", // longer than an entry holds
           "20AC skipped 00",           // that code means left out
           "20AC skipped",
           "0301 modifier 00",
           "0301 modifier",
           "20AC weighs 35 02",
           "2000-2010 weight 07 02",    // ranges only for left-out characters and runs
           "3041 kana 7F02 02 tiny",
           "3041 kana 7F02 02",
           "4E00-4E10 run 9F",          // a run is of two-byte weights
           "4E00-4E10 run 9F01",
           "4E00-4E10 run FFFE",        // past FFFF before its end
           "D7F0-E000 run 9F02",        // over the surrogates
           "2010-2000 ignored",
           "D800 ignored",
           "12345 ignored",
           "20XC ignored",
           "0041 weight 4A 02\n0041 weight 4A 02",
       }) {
    EXPECT_THROW(ParsePublicWeights(line), std::runtime_error) << line;
  }
}

TEST(PublicWeights, KeysWinAndDisagreementsAreReported) {
  std::vector<jet::GeneralSortWeight> derived = {Weight(0x0041, {0x4A}, 0x02, true), Weight(0x0042, {0x4C}, 0x02, true),
                                                 Weight(0x0100, {0x4A}, 0x17, true)};
  const std::vector<jet::GeneralSortWeight> published = {
      Weight(0x0030, {0x36}, 0x02, false), Weight(0x0041, {0x4A}, 0x02, false), Weight(0x0042, {0x4D}, 0x02, false),
      Weight(0x0101, {0x4A}, 0x17, false), Weight(0x20AC, {0x35, 0xA1}, 0x02, false)};
  const WeightComparison comparison = CompareWeights(derived, published);
  EXPECT_EQ(comparison.agreeing, 1u);
  ASSERT_EQ(comparison.disagreements.size(), 1u);
  EXPECT_EQ(comparison.disagreements[0], "U+0042: keys 4C 02, public 4D 02");

  EXPECT_EQ(FillFromPublic(derived, published), 3u);
  ASSERT_EQ(derived.size(), 6u);
  const char16_t order[] = {0x0030, 0x0041, 0x0042, 0x0100, 0x0101, 0x20AC};
  for (size_t i = 0; i < derived.size(); ++i) EXPECT_EQ(derived[i].character, order[i]);
  EXPECT_EQ(derived[2].primary[0], 0x4C) << "the key's reading stays";
  EXPECT_TRUE(derived[2].observed);
  EXPECT_FALSE(derived[5].observed);
}

}  // namespace
}  // namespace vantrel::derive
