// Jet 4 text keys over the whole Basic Multilingual Plane: what the public weight tables add
// beyond the characters the sample databases show.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/index/general_sort_order_table.h"
#include "jet/index/text_key.h"

namespace {

using Bytes = std::vector<uint8_t>;
using jet::Format;

std::string Utf8(std::u16string_view text) { return jet::Utf16ToUtf8(text); }

Bytes Key(std::u16string_view text) { return jet::GeneralTextKey(Utf8(text), Format::kJet4); }

TEST(TextKeyBmp, EveryCharacterOfThePlaneHasAWeight) {
  // Access takes any of them in a text field; refusing one would stop an index build on it.
  size_t missing = 0;
  for (uint32_t c = 1; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (jet::FindGeneralSortWeight(Format::kJet4, static_cast<char16_t>(c)) == nullptr) {
      if (++missing <= 5) ADD_FAILURE() << "no weight for U+" << std::hex << c;
    }
  }
  EXPECT_EQ(missing, 0u);
}

TEST(TextKeyBmp, IdeographsSortByCodePointAcrossEveryRun) {
  // The ideographs are stored as runs whose weights skip the low bytes 00 and 01 and jump
  // where a radical takes a weight; in the General order they still follow their code points.
  std::mt19937 random(20261208);
  std::uniform_int_distribution<uint32_t> ideograph(0x4E00, 0x9FA5);
  for (int i = 0; i < 20000; ++i) {
    const char16_t a = static_cast<char16_t>(ideograph(random)), b = static_cast<char16_t>(ideograph(random));
    if (a == b) continue;
    EXPECT_EQ(Key(std::u16string(1, a)) < Key(std::u16string(1, b)), a < b) << std::hex << unsigned(a) << " " << unsigned(b);
    if (HasFailure()) return;
  }
  // Neighbours where a run steps over a low byte, and where a new run starts.
  EXPECT_EQ(Key(u"\u794D"), (Bytes{0xCA, 0xFF, 0x01, 0x00}));
  EXPECT_EQ(Key(u"\u794E"), (Bytes{0xCB, 0x02, 0x01, 0x00}));
  EXPECT_EQ(Key(u"\u795D"), (Bytes{0xCB, 0x11, 0x01, 0x00}));
  EXPECT_EQ(Key(u"\u795E"), (Bytes{0xCB, 0x14, 0x01, 0x00}));
  EXPECT_EQ(Key(u"\u9FA5"), (Bytes{0xF1, 0xB4, 0x01, 0x00}));
}

TEST(TextKeyBmp, FullwidthAndHalfwidthFormsKeyAsTheirPlainLetters) {
  EXPECT_EQ(Key(u"\uFF21\uFF42\uFF43"), Key(u"Abc"));
  EXPECT_TRUE(jet::SameGeneralText(Utf8(u"\uFF11\uFF12"), "12", Format::kJet4));
  // Halfwidth katakana are kana: they add the kana part of the key as the full-width ones do.
  EXPECT_EQ(Key(u"\uFF71"), Key(u"\u30A2"));
  EXPECT_EQ(Key(u"\uFF67"), Key(u"\u30A1"));
  EXPECT_NE(Key(u"\uFF67"), Key(u"\uFF71"));
}

TEST(TextKeyBmp, ALetterStandingForTwoCarriesTwoAccents) {
  // U+01C4 weighs as D then Z with a caron: accents 02 and 14, then the next letter's.
  EXPECT_EQ(Key(u"\u01C4\u00E9"), (Bytes{0x4F, 0x78, 0x51, 0x01, 0x02, 0x14, 0x0E, 0x00}));
  // A skipped character after it counts both accent bytes for its place (80 0F, not 80 0B).
  EXPECT_EQ(Key(u"\u01C4-a"),
            (Bytes{0x4F, 0x78, 0x4A, 0x01, 0x02, 0x14, 0x01, 0x01, 0x01, 0x80, 0x0F, 0x06, 0x82, 0x00}));
  EXPECT_EQ(Key(u"\u017D-a"), (Bytes{0x78, 0x4A, 0x01, 0x14, 0x01, 0x01, 0x01, 0x80, 0x0B, 0x06, 0x82, 0x00}));
}

TEST(TextKeyBmp, TrailingBlanksAreNotPartOfTheKeyInEitherFormat) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    EXPECT_EQ(jet::GeneralTextKey("Admin   ", format), jet::GeneralTextKey("Admin", format));
    EXPECT_EQ(jet::GeneralTextKey("  ", format), jet::GeneralTextKey("", format));
    // Only trailing ones: a leading or inner blank weighs.
    EXPECT_NE(jet::GeneralTextKey(" Admin", format), jet::GeneralTextKey("Admin", format));
    EXPECT_NE(jet::GeneralTextKey("Ad min", format), jet::GeneralTextKey("Admin", format));
    EXPECT_TRUE(jet::SameGeneralText("x ", "x", format));
  }
}

TEST(TextKeyBmp, CharactersBeyondThePlaneAddNothing) {
  // The General order gives surrogates no weight, so a unique index takes "a😀b" for "ab".
  EXPECT_EQ(jet::GeneralTextKey("a\xF0\x9F\x98\x80" "b", Format::kJet4), jet::GeneralTextKey("ab", Format::kJet4));
  EXPECT_EQ(jet::GeneralTextKey("\xF0\x9F\x98\x80", Format::kJet4), jet::GeneralTextKey("", Format::kJet4));
}

}  // namespace
