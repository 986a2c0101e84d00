// The sort-order derivation reading keys that do not split over their text: it takes a
// character's weight only where every reading of the key's bytes agrees on it.
#include "tools/derive_sort_order/weight_derivation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "jet/common/text_codec.h"
#include "jet/index/text_key.h"

namespace vantrel::derive {
namespace {

TextKeyParts Primary(std::vector<uint8_t> primary, std::vector<uint8_t> accents = {}) {
  TextKeyParts parts;
  parts.primary = std::move(primary);
  parts.accents = std::move(accents);
  return parts;
}

const jet::GeneralSortWeight* Find(const std::vector<jet::GeneralSortWeight>& table, char16_t c) {
  auto it = std::find_if(table.begin(), table.end(), [c](const auto& w) { return w.character == c; });
  return it == table.end() ? nullptr : &*it;
}

// "a" and "b" weigh 4A and 4C; the Greek letters here are unknown until a key shows them.
class WeightDerivationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(jet4.Observe(u"a", Primary({0x4A}), "a"));
    ASSERT_TRUE(jet4.Observe(u"b", Primary({0x4C}), "b"));
  }
  WeightDerivation jet4{jet::Format::kJet4};
};

// ὶ adds nothing to the key: no weight, no accent place, no skipped entry.
TEST_F(WeightDerivationTest, CharacterLeftOutOfTheKeyIsIsolated) {
  EXPECT_FALSE(jet4.Observe(u"a\u1F76b", Primary({0x4A, 0x4C}), "left out"));
  const auto table = jet4.Settle();
  const jet::GeneralSortWeight* w = Find(table, 0x1F76);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->primary_length, 0);
  EXPECT_EQ(w->extra, jet::kIgnoredCharacter);
  EXPECT_FALSE(w->accent_place);
  EXPECT_EQ(jet4.isolated_keys(), 1u);
}

// Two unknown characters and one weight between them: either may carry it, so neither is
// taken. A second key that shows one of them settles the other.
TEST_F(WeightDerivationTest, AmbiguousCharactersWaitForAKeyThatSettlesThem) {
  EXPECT_FALSE(jet4.Observe(u"a\u03B3\u1F10b", Primary({0x4A, 0x79, 0x0E, 0x4C}, {2, 3}), "two unknown"));
  {
    WeightDerivation alone = jet4;
    const auto table = alone.Settle();
    EXPECT_EQ(Find(table, 0x03B3), nullptr);
    EXPECT_EQ(Find(table, 0x1F10), nullptr);
  }
  // γ before b splits at once; the first key then leaves ἐ nothing to weigh.
  ASSERT_TRUE(jet4.Observe(u"\u03B3b", Primary({0x79, 0x0E, 0x4C}, {3}), "gamma"));
  const auto table = jet4.Settle();
  const jet::GeneralSortWeight* gamma = Find(table, 0x03B3);
  const jet::GeneralSortWeight* epsilon = Find(table, 0x1F10);
  ASSERT_NE(gamma, nullptr);
  ASSERT_NE(epsilon, nullptr);
  EXPECT_EQ(gamma->primary_length, 2);
  EXPECT_EQ(gamma->extra, 3);
  EXPECT_EQ(epsilon->extra, jet::kIgnoredCharacter);
}

// The accent at a character's place goes with it: ϰ's 03 in the key sets it apart from κ.
TEST_F(WeightDerivationTest, IsolatedCharacterTakesTheAccentAtItsPlace) {
  EXPECT_FALSE(jet4.Observe(u"b\u03F0\u1F79a", Primary({0x4C, 0x79, 0x15, 0x4A}, {2, 3}), "kappa"));
  const auto table = jet4.Settle();
  // ϰ weighs 79 15 with accent 03 and ό is left out, or the other way round with ό taking
  // 79 15 and accent 03 while ϰ is left out: both readings fit, so neither is taken.
  EXPECT_EQ(Find(table, 0x03F0), nullptr);
  EXPECT_EQ(Find(table, 0x1F79), nullptr);
  WeightDerivation more = jet4;
  ASSERT_FALSE(more.Observe(u"\u1F79a", Primary({0x4A}), "omicron left out"));
  const auto settled = more.Settle();
  ASSERT_NE(Find(settled, 0x03F0), nullptr);
  EXPECT_EQ(Find(settled, 0x03F0)->extra, 3);
  EXPECT_EQ(Find(settled, 0x03F0)->primary[1], 0x15);
}

}  // namespace
}  // namespace vantrel::derive

namespace vantrel::derive {
namespace {

// Keys with a kana part, as the engine builds them: the parts read back, and the size marks
// land on the kana they belong to.
TEST(KanaKeyParts, KanaPartsReadBackAndMarkTheirKana) {
  struct Case {
    std::u16string text;
    std::vector<uint8_t> marks;
    size_t groups;
    size_t skipped;
  };
  // ぁ small, じ and り full; eight kana need two groups of seven; a hyphen adds a skipped entry.
  for (const Case& c : std::vector<Case>{{u"\u3041", {jet::kSmallKana}, 1, 0},
                                         {u"\u6F22\u3058\u308A", {}, 1, 0},
                                         {u"\u3041\u3042\u3043", {jet::kSmallKana, jet::kFullSizeKana, jet::kSmallKana}, 1, 0},
                                         {u"\u3042\u3042\u3042\u3041-", {3, 3, 3, 2}, 1, 1},
                                         {u"\u3042\u3042\u3042\u3042\u3042\u3042\u3042\u3041", {3, 3, 3, 3, 3, 3, 3, 2}, 2, 0}}) {
    const std::vector<uint8_t> key = jet::GeneralTextKey(jet::Utf16ToUtf8(c.text), jet::Format::kJet4);
    const auto parts = ParseTextKey(key, jet::Format::kJet4);
    ASSERT_TRUE(parts.has_value()) << jet::Utf16ToUtf8(c.text);
    EXPECT_EQ(parts->kana_marks, c.marks) << jet::Utf16ToUtf8(c.text);
    EXPECT_EQ(parts->kana_groups, c.groups);
    EXPECT_EQ(parts->skipped.size(), c.skipped);
    EXPECT_EQ(parts->length, key.size());
  }
  // A kana part that does not close is no key shape.
  EXPECT_FALSE(ParseTextKey(std::vector<uint8_t>{0x7F, 0x02, 0x01, 0x01, 0x01, 0xA0, 0xFF, 0x02, 0x80, 0x00},
                            jet::Format::kJet4)
                   .has_value());

  WeightDerivation jet4(jet::Format::kJet4);
  const std::u16string text = u"\u3041\u3042";
  const auto key = jet::GeneralTextKey(jet::Utf16ToUtf8(text), jet::Format::kJet4);
  ASSERT_TRUE(jet4.Observe(text, *ParseTextKey(key, jet::Format::kJet4), "kana"));
  const auto table = jet4.Settle();
  ASSERT_NE(Find(table, 0x3041), nullptr);
  EXPECT_EQ(Find(table, 0x3041)->kana, jet::kSmallKana);
  EXPECT_EQ(Find(table, 0x3042)->kana, jet::kFullSizeKana);
  EXPECT_EQ(Find(table, 0x3042)->primary[0], 0x7F);
}

}  // namespace
}  // namespace vantrel::derive
