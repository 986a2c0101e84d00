#include "jet/index/text_key.h"

#include <cstdio>
#include <optional>
#include <string>

#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/index/general_sort_order_table.h"
#include "jet/index/key_encoder.h"

namespace jet {

namespace {

// Bytes that end the parts of a Jet 4 text key. Every weight byte is above them, so a text
// that is a prefix of another sorts first.
constexpr uint8_t kSectionEnd = 0x01;
constexpr uint8_t kKeyEnd = 0x00;
// Jet 4 lists each skipped character as 80+place (2 bytes, big-endian), this marker, its code.
constexpr uint8_t kSkippedMarker = 0x06;

const GeneralSortWeight& WeightOf(Format format, char16_t unit) {
  const GeneralSortWeight* weight = FindGeneralSortWeight(format, unit);
  if (weight == nullptr) {
    char code[8];
    std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(unit));
    throw Error(key_err::kUnsupportedKey,
                std::string("Cannot build an index key: no known General sort weight for U+") + code + ".");
  }
  return *weight;
}

bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// What of a text Access keys: the first 255 units (a memo's key is that of its start, as long
// as the longest text field), without trailing blanks, so "a" and "a " are one key.
constexpr size_t kMostKeyedUnits = 255;

std::u16string_view KeyedPart(std::u16string_view text) {
  text = text.substr(0, kMostKeyedUnits);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  return text;
}

// The kana part of a Jet 4 key: the size marks of the kana, three to a byte under a 80 lead
// bit, trailing full-size ones dropped; then FF 02, one 80 for every seven kana (counted
// before the drop), FF, as many 80 again.
void AppendKanaPart(std::vector<uint8_t>& key, std::vector<uint8_t> marks) {
  const size_t kana = marks.size();
  while (!marks.empty() && marks.back() == kFullSizeKana) marks.pop_back();
  for (size_t i = 0; i < marks.size(); i += 3) {
    uint8_t packed = 0x80;
    for (size_t k = 0; k < 3 && i + k < marks.size(); ++k) packed |= static_cast<uint8_t>(marks[i + k] << (4 - 2 * k));
    key.push_back(packed);
  }
  const size_t sevens = (kana + 6) / 7;
  key.insert(key.end(), {0xFF, 0x02});
  key.insert(key.end(), sevens, 0x80);
  key.push_back(0xFF);
  key.insert(key.end(), sevens, 0x80);
}

void TrimTrailingPlainAccents(std::vector<uint8_t>& accents) {
  while (!accents.empty() && accents.back() == kNoAccent) accents.pop_back();
}

// Jet 4: primary weights, then the accent bytes of the weighted characters (one each, two for
// a character standing for two letters), then (only when the text has skipped characters such
// as ' and -, or kana) two empty parts, the kana part, and (after FF when both come) 01 and
// the skipped characters, each with the count of accent bytes before it. A combining mark
// changes the accent of the character before it; one before any weighted character starts the
// accents with a byte of its own, which is not counted. The General order gives surrogates no
// weight: a character outside the BMP adds nothing to the key.
std::vector<uint8_t> Jet4Key(std::u16string_view text) {
  std::vector<uint8_t> primary, accents, skipped, kana;
  std::optional<uint8_t> leading_mark;
  for (char16_t unit : text) {
    if (IsSurrogate(unit)) continue;
    const GeneralSortWeight& w = WeightOf(Format::kJet4, unit);
    if (w.modifies_accent) {
      // Unsigned wrap-around is what Access's byte arithmetic gives too.
      uint8_t& accent = accents.empty() ? leading_mark.emplace(leading_mark.value_or(0)) : accents.back();
      accent = static_cast<uint8_t>(accent + w.extra);
      continue;
    }
    if (w.primary_length == 0 && w.extra == kIgnoredCharacter) continue;
    if (w.primary_length == 0) {
      const uint32_t position = 0x8000u + 4u * static_cast<uint32_t>(accents.size()) + 7u;
      skipped.push_back(static_cast<uint8_t>(position >> 8));
      skipped.push_back(static_cast<uint8_t>(position));
      skipped.push_back(kSkippedMarker);
      skipped.push_back(w.extra);
      continue;
    }
    primary.insert(primary.end(), w.primary, w.primary + w.primary_length);
    accents.push_back(w.extra);
    for (uint8_t more : w.more_accents) {
      if (more != 0) accents.push_back(more);
    }
    if (w.kana != kNotKana) kana.push_back(w.kana);
  }
  if (leading_mark) accents.insert(accents.begin(), *leading_mark);
  TrimTrailingPlainAccents(accents);
  std::vector<uint8_t> key = std::move(primary);
  key.push_back(kSectionEnd);
  key.insert(key.end(), accents.begin(), accents.end());
  if (!skipped.empty() || !kana.empty()) key.insert(key.end(), {kSectionEnd, kSectionEnd});
  if (!kana.empty()) {
    AppendKanaPart(key, std::move(kana));
    if (!skipped.empty()) key.push_back(0xFF);
  }
  if (!skipped.empty()) {
    key.push_back(kSectionEnd);
    key.insert(key.end(), skipped.begin(), skipped.end());
  }
  key.push_back(kKeyEnd);
  return key;
}

// Jet 3: primary weights, then a run of nibbles: 0, one accent nibble per letter (trailing
// plain ones dropped), 0, padded with a zero nibble to whole bytes.
std::vector<uint8_t> Jet3Key(std::u16string_view text) {
  std::vector<uint8_t> key, nibbles;
  for (char16_t unit : text) {
    const GeneralSortWeight& w = WeightOf(Format::kJet3, unit);
    key.insert(key.end(), w.primary, w.primary + w.primary_length);
    if (w.accent_place) nibbles.push_back(w.extra);
  }
  TrimTrailingPlainAccents(nibbles);
  nibbles.insert(nibbles.begin(), 0);
  nibbles.push_back(0);
  if (nibbles.size() % 2 != 0) nibbles.push_back(0);
  for (size_t i = 0; i < nibbles.size(); i += 2) {
    key.push_back(static_cast<uint8_t>((nibbles[i] << 4) | (nibbles[i + 1] & 0x0F)));
  }
  return key;
}

}  // namespace

std::vector<uint8_t> GeneralTextKey(std::string_view utf8, Format format) {
  const std::u16string text = Utf8ToUtf16(utf8);
  const std::u16string_view keyed = KeyedPart(text);
  return format == Format::kJet3 ? Jet3Key(keyed) : Jet4Key(keyed);
}

}  // namespace jet

namespace jet {

int CompareGeneralText(std::string_view a, std::string_view b, Format format) {
  const auto ka = GeneralTextKey(a, format), kb = GeneralTextKey(b, format);
  return ka < kb ? -1 : (kb < ka ? 1 : 0);
}

bool SameGeneralText(std::string_view a, std::string_view b, Format format) {
  return GeneralTextKey(a, format) == GeneralTextKey(b, format);
}

}  // namespace jet
