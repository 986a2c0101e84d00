// General-order text keys: the structure Access writes, and the ordering it implies.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "jet/common/error.h"
#include "jet/index/key_encoder.h"
#include "jet/index/text_key.h"

namespace {

using Bytes = std::vector<uint8_t>;
using jet::Format;

TEST(TextKey, Jet4KeysHavePrimariesAccentsAndSkippedCharacters) {
  EXPECT_EQ(jet::GeneralTextKey("", Format::kJet4), (Bytes{0x01, 0x00}));
  EXPECT_EQ(jet::GeneralTextKey("row1", Format::kJet4), (Bytes{0x69, 0x64, 0x73, 0x38, 0x01, 0x00}));
  // A hyphen has no primary weight: it is listed at the end with its place (after 1 character).
  EXPECT_EQ(jet::GeneralTextKey("a-b", Format::kJet4),
            (Bytes{0x4A, 0x4C, 0x01, 0x01, 0x01, 0x01, 0x80, 0x0B, 0x06, 0x82, 0x00}));
}

// Greek letters with polytonic marks (U+1Fxx) leave no trace in an Access key; ϰ (U+03F0)
// weighs as kappa with accent 03.
TEST(TextKey, Jet4LeavesSomeCharactersOutAltogether) {
  // The hyphen's listed place counts weighted characters only.
  EXPECT_EQ(jet::GeneralTextKey("\u03C4\u1F79\u03C4-", Format::kJet4),
            jet::GeneralTextKey("\u03C4\u03C4-", Format::kJet4));
  EXPECT_EQ(jet::GeneralTextKey("\u03F0\u03B1", Format::kJet4), (Bytes{0x79, 0x15, 0x79, 0x0C, 0x01, 0x03, 0x00}));
}

TEST(TextKey, Jet3PacksAccentNibblesToWholeBytes) {
  EXPECT_EQ(jet::GeneralTextKey("AA", Format::kJet3), (Bytes{0x60, 0x60, 0x00}));
  // Hyphen has a primary weight in Jet 3 but no accent place.
  EXPECT_EQ(jet::GeneralTextKey("A-", Format::kJet3), (Bytes{0x60, 0x1E, 0x00}));
}

TEST(TextKey, CaseNeverMattersInEitherFormat) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    EXPECT_TRUE(jet::SameGeneralText("Admin User", "ADMIN user", format));
    EXPECT_FALSE(jet::SameGeneralText("Admin", "Admn", format));
    EXPECT_LT(jet::CompareGeneralText("abc", "ABD", format), 0);
    EXPECT_GT(jet::CompareGeneralText("b", "AZZZ", format), 0);
  }
}

TEST(TextKey, APrefixSortsBeforeEveryLongerText) {
  std::mt19937 rng(3);
  const std::string alphabet = "aZ09 _.'-";
  for (Format format : {Format::kJet3, Format::kJet4}) {
    for (int i = 0; i < 300; ++i) {
      std::string text;
      for (int n = static_cast<int>(rng() % 8); n >= 0; --n) text += alphabet[rng() % alphabet.size()];
      const std::string longer = text + alphabet[rng() % 4];  // a character with a primary weight
      EXPECT_LT(jet::CompareGeneralText(text, longer, format), 0) << text << " / " << longer;
    }
  }
}

// Texts made of characters with a primary weight order by those weights, character by
// character, whatever the skipped characters around them.
TEST(TextKey, RandomTextsOrderLikeTheirLettersAndDigits) {
  std::mt19937 rng(5);
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  auto folded = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // Digits come before letters in both orders, as in ASCII.
    return s;
  };
  for (Format format : {Format::kJet3, Format::kJet4}) {
    std::vector<std::string> texts;
    for (int i = 0; i < 400; ++i) {
      std::string text;
      for (int n = static_cast<int>(rng() % 6); n >= 0; --n) text += alphabet[rng() % alphabet.size()];
      texts.push_back(text);
    }
    std::sort(texts.begin(), texts.end(), [&](const std::string& a, const std::string& b) {
      return jet::GeneralTextKey(a, format) < jet::GeneralTextKey(b, format);
    });
    for (size_t i = 1; i < texts.size(); ++i) {
      EXPECT_LE(folded(texts[i - 1]), folded(texts[i])) << texts[i - 1] << " / " << texts[i];
    }
  }
}

TEST(TextKey, DescendingTextIsTheInvertedAscendingKey) {
  jet::ColumnDef text;
  text.type = static_cast<uint8_t>(jet::FieldType::kText);
  Bytes up, down;
  jet::AppendColumnKey(up, text, std::string("ab-c"), true, Format::kJet4);
  jet::AppendColumnKey(down, text, std::string("ab-c"), false, Format::kJet4);
  ASSERT_EQ(up.size(), down.size());
  EXPECT_EQ(down[0], jet::key_flag::kDescending);
  for (size_t i = 1; i < up.size(); ++i) EXPECT_EQ(down[i], static_cast<uint8_t>(~up[i]));
}

TEST(TextKey, RefusesCharactersWithoutAKnownWeight) {
  // A wrong weight would misplace the row in the index; no key is the safe answer. Jet 3 keys
  // text of its code page, which holds neither ideographs nor Hangul.
  for (const char* text : {"\xE7\xA5\x8A", "\xEA\xB0\x80"}) {  // U+794A, U+AC00
    try {
      jet::GeneralTextKey(text, Format::kJet3);
      ADD_FAILURE() << "built a key for " << text;
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), jet::key_err::kUnsupportedKey);
    }
  }
}

TEST(TextKey, ColumnsOutsideTheGeneralOrderTakeOnlyAscii) {
  jet::ColumnDef swedish;
  swedish.type = static_cast<uint8_t>(jet::FieldType::kText);
  swedish.sort_order = 0x041D;
  auto refused = [](const jet::ColumnDef& column, const char* text) {
    Bytes key;
    try {
      jet::AppendColumnKey(key, column, std::string(text), true, Format::kJet4);
    } catch (const jet::Error& e) {
      return e.number() == jet::key_err::kUnsupportedKey;
    }
    return false;
  };
  EXPECT_FALSE(refused(swedish, "MSysObjects"));
  EXPECT_TRUE(refused(swedish, "\xC3\xA4"));  // a-umlaut sorts after z there
  jet::ColumnDef general = swedish;
  general.sort_order = 0x0409;
  EXPECT_FALSE(refused(general, "\xC3\xA4"));
}

TEST(TextKey, AMemoIsKeyedByItsFirst255Characters) {
  jet::ColumnDef memo;
  memo.type = static_cast<uint8_t>(jet::FieldType::kMemo);
  const auto key = [&](const std::string& text) {
    Bytes out;
    jet::AppendColumnKey(out, memo, text, true, Format::kJet4);
    return out;
  };
  const std::string start(255, 'x');
  EXPECT_EQ(key(start + "tail"), key(start));
  EXPECT_EQ(key(start + "tail"), key(start + "other tail"));
  EXPECT_NE(key(std::string(254, 'x') + "y"), key(start));
  // Blanks at the cut are trailing ones too.
  EXPECT_EQ(key(std::string(250, 'x') + "     more"), key(std::string(250, 'x')));
  EXPECT_EQ(key("short"), key("short  "));
}

}  // namespace

namespace {

using jet::CompareGeneralText;
using jet::SameGeneralText;

// The characters code page 1252 puts at 0x80-0x9F. No sample shows Jet 4 indexing them; their
// weights come from the public tables, so these pin what those tables say.
const char* const kCp1252Extras[] = {"€", "‚", "ƒ", "„", "…", "†", "‡", "ˆ", "‰", "Š", "‹", "Œ", "Ž",
                                     "‘", "’", "“", "”", "•", "–", "—", "˜", "™", "š", "›", "œ", "ž", "Ÿ"};

TEST(TextKeyCp1252, EveryCharacterOfTheCodePageIndexesInJet4) {
  for (const char* c : kCp1252Extras) {
    const std::string text = std::string("a") + c + "b";
    EXPECT_NO_THROW(jet::GeneralTextKey(text, Format::kJet4)) << c;
    // The character adds something: no key confuses it with its absence.
    EXPECT_FALSE(SameGeneralText(text, "ab", Format::kJet4)) << c;
  }
  EXPECT_EQ(jet::GeneralTextKey("€", Format::kJet4), (Bytes{0x35, 0xA1, 0x01, 0x00}));
  EXPECT_EQ(jet::GeneralTextKey("™", Format::kJet4), (Bytes{0x6E, 0x04, 0x01, 0x00}));
  // Inline weight plus an accent byte: Š is S with accent 14, ˆ is ^ with accent 03.
  EXPECT_EQ(jet::GeneralTextKey("Š", Format::kJet4), (Bytes{0x6B, 0x01, 0x14, 0x00}));
  EXPECT_EQ(jet::GeneralTextKey("ˆ", Format::kJet4), (Bytes{0x2B, 0x02, 0x01, 0x03, 0x00}));
  // The dashes weigh nothing and are listed after the accents, like the hyphen.
  EXPECT_EQ(jet::GeneralTextKey("a–b", Format::kJet4),
            (Bytes{0x4A, 0x4C, 0x01, 0x01, 0x01, 0x01, 0x80, 0x0B, 0x06, 0x89, 0x00}));
}

TEST(TextKeyCp1252, CaseNeverMattersAndAccentsOnlyBreakTies) {
  EXPECT_TRUE(SameGeneralText("ŠKODA Ž", "škoda ž", Format::kJet4));
  EXPECT_TRUE(SameGeneralText("Ÿ", "ÿ", Format::kJet4));
  EXPECT_TRUE(SameGeneralText("Œuvre", "œUVRE", Format::kJet4));
  // Œ weighs as the two letters it joins, with no accent: Access takes "OEuvre" for the same key.
  EXPECT_TRUE(SameGeneralText("Œuvre", "oeuvre", Format::kJet4));
  EXPECT_FALSE(SameGeneralText("Š", "S", Format::kJet4));
  EXPECT_FALSE(SameGeneralText("ƒ", "f", Format::kJet4));
  EXPECT_LT(CompareGeneralText("S", "Š", Format::kJet4), 0);
  EXPECT_LT(CompareGeneralText("Šb", "Sc", Format::kJet4), 0) << "the letters decide before the caron";
  EXPECT_LT(CompareGeneralText("ƒa", "fb", Format::kJet4), 0);
  // ˆ is the circumflex's weight with an accent: unequal, sorting right after it.
  EXPECT_GT(CompareGeneralText("zˆ", "z^", Format::kJet4), 0);
  EXPECT_LT(CompareGeneralText("zˆ", "z_", Format::kJet4), 0);
}

TEST(TextKeyCp1252, OrderFollowsThePublicWeights) {
  // Each list ascends in the General order.
  const std::vector<std::vector<const char*>> ascending = {
      {"‘", "’", "‚", "“", "”", "„"},         // quotes, 2B37..2B3D
      {"†", "‡", "•", "…", "‰"},              // symbols, 34B3..34BA
      {"$", "€"},                             // 0E, 35A1
      {"T", "™", "U", "Ž"},                   // 6D, 6E04, 6F, 78
      {"‹", "›"},
      {"ab", "a-b", "a–b", "a—b"},            // no skipped character, then codes 82, 89, 8B
  };
  for (const auto& list : ascending) {
    for (size_t i = 1; i < list.size(); ++i)
      EXPECT_LT(CompareGeneralText(list[i - 1], list[i], Format::kJet4), 0) << list[i - 1] << " " << list[i];
  }
}

// The Greek of testUnicodeCompV2003: capital and small kappa weigh alike, and the letters
// of the Greek Extended block leave no trace.
TEST(TextKeyCp1252, GreekLettersFromThePublicWeights) {
  // Κ ύ ϰ λ (U+1F7B is the polytonic upsilon) against κ ϰ λ.
  EXPECT_TRUE(SameGeneralText("\u039A\u1F7B\u03F0\u03BB", "\u03BA\u03F0\u03BB", Format::kJet4));
  EXPECT_TRUE(SameGeneralText("\u1F10\u03B3\u1F7C", "\u03B3", Format::kJet4));  // ἐ γ ὼ
  EXPECT_LT(CompareGeneralText("β", "γ", Format::kJet4), 0);
}

}  // namespace

namespace {

// Decomposed text (as macOS and some web forms send it) must key like the precomposed
// letters, or a unique index takes "é" twice and a seek for one misses the other.
TEST(TextKeyCombiningMarks, DecomposedLettersKeyAsPrecomposedOnes) {
  EXPECT_EQ(jet::GeneralTextKey("e\u0301", Format::kJet4), jet::GeneralTextKey("\u00E9", Format::kJet4));
  EXPECT_TRUE(jet::SameGeneralText("Ca\u0300 d'Oro", "C\u00E0 d'Oro", Format::kJet4));
  EXPECT_TRUE(jet::SameGeneralText("C\u0327a A\u030Aland N\u0303 o\u0308", "\u00C7a \u00C5land \u00D1 \u00F6", Format::kJet4));
  EXPECT_TRUE(jet::SameGeneralText("A\u0302", "\u00E2", Format::kJet4));
  // The mark never moves the letter: primaries decide first.
  EXPECT_LT(jet::CompareGeneralText("e\u0301z", "fa", Format::kJet4), 0);
  EXPECT_GT(jet::CompareGeneralText("e\u0301", "e", Format::kJet4), 0);
  // A skipped character after the mark keeps its place among the letters.
  EXPECT_EQ(jet::GeneralTextKey("e\u0301-", Format::kJet4), jet::GeneralTextKey("\u00E9-", Format::kJet4));
}

TEST(TextKeyCombiningMarks, AMarkBeforeEveryLetterStartsTheAccentsAlone) {
  // No letter to modify: the mark's byte comes first and takes no letter's place.
  EXPECT_EQ(jet::GeneralTextKey("\u0301a", Format::kJet4), (Bytes{0x4A, 0x01, 0x0C, 0x00}));
  EXPECT_EQ(jet::GeneralTextKey("\u0301a\u0301", Format::kJet4), (Bytes{0x4A, 0x01, 0x0C, 0x0E, 0x00}));
  EXPECT_EQ(jet::GeneralTextKey("\u0301", Format::kJet4), (Bytes{0x01, 0x0C, 0x00}));
  // A lone mark whose byte says nothing is trimmed like any trailing plain accent.
  EXPECT_EQ(jet::GeneralTextKey("\u309A", Format::kJet4), (Bytes{0x01, 0x00}));
  EXPECT_EQ(jet::GeneralTextKey("\u309Aa", Format::kJet4), (Bytes{0x4A, 0x01, 0x00}));
}

}  // namespace
