#include "jet/index/text_key.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
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

// What of a text Access keys: the first 255 units (a memo's key is that of its start, as long
// as the longest text field), without trailing blanks, so "a" and "a " are one key.
constexpr size_t kMostKeyedUnits = 255;

template <typename Units>
Units KeyedPart(Units text) {
  text = text.substr(0, kMostKeyedUnits);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}
template <typename Unit>
std::span<const Unit> KeyedPart(std::span<const Unit> text) {
  text = text.first(std::min(text.size(), kMostKeyedUnits));
  while (!text.empty() && text.back() == ' ') text = text.first(text.size() - 1);
  return text;
}

[[noreturn]] void NoWeight(char16_t unit) {
  char code[8];
  std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(unit));
  throw Error(key_err::kUnsupportedKey,
              std::string("Cannot build an index key: no known General sort weight for U+") + code + ".");
}

bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// The parts of a key other than the primary weights, kept between calls: a bulk index build
// keys millions of texts, and allocating them each time cost more than the weighing.
struct KeyScratch {
  std::vector<uint8_t> accents, skipped, kana;
  void Clear() {
    accents.clear();
    skipped.clear();
    kana.clear();
  }
};

KeyScratch& Scratch() {
  thread_local KeyScratch scratch;
  scratch.Clear();
  return scratch;
}

// The kana part of a Jet 4 key: the size marks of the kana, three to a byte under a 80 lead
// bit, trailing full-size ones dropped; then FF 02, one 80 for every seven kana (counted
// before the drop), FF, as many 80 again.
void AppendKanaPart(std::vector<uint8_t>& key, std::vector<uint8_t>& marks) {
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

// Trailing accents that say nothing are not written: plain ones, and the bytes below them a
// combining mark's addition can wrap round to.
bool SaysNothing(uint8_t accent) { return accent <= kNoAccent; }

void TrimTrailingPlainAccents(std::vector<uint8_t>& accents) {
  while (!accents.empty() && SaysNothing(accents.back())) accents.pop_back();
}

// Jet 4: primary weights, then the accent bytes of the weighted characters (one each, two for
// a character standing for two letters), then (only when the text has skipped characters such
// as ' and -, or kana) two empty parts, the kana part, and (after FF when both come) 01 and
// the skipped characters, each with the count of accent bytes before it. A combining mark
// changes the accent of the character before it; one before any weighted character starts the
// accents with a byte of its own, which is not counted. The General order gives surrogates no
// weight: a character outside the BMP adds nothing to the key. `Units` is a view of UTF-16
// units, or of bytes for ASCII text, which needs no decoding.
template <typename Units>
void AppendJet4Key(std::vector<uint8_t>& key, Units text) {
  const auto weights = GeneralSortWeightsByUnit(Format::kJet4);
  KeyScratch& scratch = Scratch();
  std::vector<uint8_t>& accents = scratch.accents;
  std::optional<uint8_t> leading_mark;
  // The primary weights are written through a pointer into room made for the longest they
  // can be: inserting a byte or two at a time cost more than weighing the characters.
  const size_t start = key.size();
  key.resize(start + sizeof(GeneralSortWeight::primary) * text.size());
  uint8_t* primary = key.data() + start;
  for (const auto character : text) {
    const char16_t unit = static_cast<char16_t>(static_cast<std::make_unsigned_t<decltype(character)>>(character));
    if (IsSurrogate(unit)) continue;
    const GeneralSortWeight* w = weights[unit];
    if (w == nullptr) NoWeight(unit);
    if (w->modifies_accent) {
      // Unsigned wrap-around is what Access's byte arithmetic gives too.
      uint8_t& accent = accents.empty() ? leading_mark.emplace(leading_mark.value_or(0)) : accents.back();
      accent = static_cast<uint8_t>(accent + w->extra);
      continue;
    }
    if (w->primary_length == 0) {
      if (w->extra == kIgnoredCharacter) continue;
      const uint32_t position = 0x8000u + 4u * static_cast<uint32_t>(accents.size()) + 7u;
      scratch.skipped.insert(scratch.skipped.end(), {static_cast<uint8_t>(position >> 8), static_cast<uint8_t>(position),
                                                     kSkippedMarker, w->extra});
      continue;
    }
    std::memcpy(primary, w->primary, sizeof(GeneralSortWeight::primary));
    primary += w->primary_length;
    accents.push_back(w->extra);
    for (uint8_t more : w->more_accents) {
      if (more != 0) accents.push_back(more);
    }
    if (w->kana != kNotKana) scratch.kana.push_back(w->kana);
  }
  key.resize(static_cast<size_t>(primary - key.data()));
  TrimTrailingPlainAccents(accents);
  // The leading mark is the first of the accents, so it is trimmed with them.
  if (accents.empty() && leading_mark && SaysNothing(*leading_mark)) leading_mark.reset();
  key.push_back(kSectionEnd);
  if (leading_mark) key.push_back(*leading_mark);
  key.insert(key.end(), accents.begin(), accents.end());
  const bool skipped = !scratch.skipped.empty(), kana = !scratch.kana.empty();
  if (skipped || kana) key.insert(key.end(), {kSectionEnd, kSectionEnd});
  if (kana) {
    AppendKanaPart(key, scratch.kana);
    if (skipped) key.push_back(0xFF);
  }
  if (skipped) {
    key.push_back(kSectionEnd);
    key.insert(key.end(), scratch.skipped.begin(), scratch.skipped.end());
  }
  key.push_back(kKeyEnd);
}

// Jet 3: primary weights, then a run of nibbles: 0, one accent nibble per letter (trailing
// plain ones dropped), 0, padded with a zero nibble to whole bytes.
void AppendJet3Key(std::vector<uint8_t>& key, std::u16string_view text) {
  const auto weights = GeneralSortWeightsByUnit(Format::kJet3);
  std::vector<uint8_t>& nibbles = Scratch().accents;
  nibbles.push_back(0);
  for (char16_t unit : text) {
    const GeneralSortWeight* w = weights[unit];
    if (w == nullptr) NoWeight(unit);
    key.insert(key.end(), w->primary, w->primary + w->primary_length);
    if (w->accent_place) nibbles.push_back(w->extra);
  }
  while (nibbles.size() > 1 && nibbles.back() == kNoAccent) nibbles.pop_back();
  nibbles.push_back(0);
  if (nibbles.size() % 2 != 0) nibbles.push_back(0);
  for (size_t i = 0; i < nibbles.size(); i += 2) {
    key.push_back(static_cast<uint8_t>((nibbles[i] << 4) | (nibbles[i + 1] & 0x0F)));
  }
}

bool IsAscii(std::string_view utf8) {
  return std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

void AppendGeneralTextKey(std::vector<uint8_t>& key, std::string_view utf8, Format format) {
  if (format == Format::kJet4 && IsAscii(utf8)) {
    AppendJet4Key(key, KeyedPart(utf8));
    return;
  }
  const std::u16string text = Utf8ToUtf16(utf8);
  const std::u16string_view keyed = KeyedPart(std::u16string_view(text));
  if (format == Format::kJet3) {
    AppendJet3Key(key, keyed);
  } else {
    AppendJet4Key(key, keyed);
  }
}

void AppendJet4TextKey(std::vector<uint8_t>& key, std::span<const char16_t> units) {
  AppendJet4Key(key, KeyedPart(units));
}

void AppendJet4TextKey(std::vector<uint8_t>& key, std::span<const uint8_t> latin1) {
  AppendJet4Key(key, KeyedPart(latin1));
}

std::vector<uint8_t> GeneralTextKey(std::string_view utf8, Format format) {
  std::vector<uint8_t> key;
  AppendGeneralTextKey(key, utf8, format);
  return key;
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
