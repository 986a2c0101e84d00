#include "tools/derive_sort_order/key_parts.h"

#include <algorithm>

#include "jet/index/general_sort_order_table.h"

namespace vantrel::derive {

namespace {

constexpr uint8_t kSectionEnd = 0x01;
constexpr uint8_t kKeyEnd = 0x00;
constexpr uint8_t kSkippedMarker = 0x06;
constexpr uint8_t kJet3LowestPrimary = 0x10;
constexpr uint8_t kKanaPartEnd = 0xFF;
constexpr uint8_t kKanaGroup = 0x80;

// The kana part: bytes of three two-bit size marks under a 80 lead bit, then FF 02, one 80 per
// group of seven kana, FF and as many 80 again.
bool ParseKanaPart(std::span<const uint8_t> key, size_t& at, TextKeyParts& parts) {
  while (at < key.size() && (key[at] & 0xC0) == 0x80) {
    for (int shift = 4; shift >= 0; shift -= 2) {
      const uint8_t mark = (key[at] >> shift) & 0x03;
      if (mark == jet::kSmallKana || mark == jet::kFullSizeKana) parts.kana_marks.push_back(mark);
      else if (mark != 0) return false;
    }
    ++at;
  }
  if (at + 2 > key.size() || key[at] != kKanaPartEnd || key[at + 1] != 0x02) return false;
  at += 2;
  while (at < key.size() && key[at] == kKanaGroup) ++parts.kana_groups, ++at;
  if (at == key.size() || key[at] != kKanaPartEnd) return false;
  ++at;
  for (size_t i = 0; i < parts.kana_groups; ++i, ++at) {
    if (at == key.size() || key[at] != kKanaGroup) return false;
  }
  return parts.kana_groups > 0;
}
std::optional<TextKeyParts> ParseJet4(std::span<const uint8_t> key) {
  TextKeyParts parts;
  size_t at = 0;
  while (at < key.size() && key[at] != kSectionEnd) {
    if (key[at] == kKeyEnd) return std::nullopt;
    parts.primary.push_back(key[at++]);
  }
  if (at == key.size()) return std::nullopt;
  ++at;
  while (at < key.size() && key[at] != kSectionEnd && key[at] != kKeyEnd) parts.accents.push_back(key[at++]);
  if (at == key.size()) return std::nullopt;
  if (key[at] == kSectionEnd) {
    // Two empty parts, then the kana part, the skipped characters after 01, or both (FF 01
    // between them).
    if (at + 3 > key.size() || key[at + 1] != kSectionEnd) return std::nullopt;
    at += 2;
    bool skipped_follow = true;
    if (key[at] != kSectionEnd) {
      if (!ParseKanaPart(key, at, parts)) return std::nullopt;
      skipped_follow = at < key.size() && key[at] == kKanaPartEnd;
      if (skipped_follow) ++at;
    }
    if (skipped_follow) {
      if (at == key.size() || key[at] != kSectionEnd) return std::nullopt;
      ++at;
    }
    while (at < key.size() && key[at] != kKeyEnd) {
      if (at + 4 > key.size() || (key[at] & 0x80) == 0 || key[at + 2] != kSkippedMarker) return std::nullopt;
      const uint32_t position = ((uint32_t{key[at]} & 0x7F) << 8) | key[at + 1];
      if (position < 7 || (position - 7) % 4 != 0) return std::nullopt;
      parts.skipped.push_back({(position - 7) / 4, key[at + 3]});
      at += 4;
    }
    if (at == key.size()) return std::nullopt;
  }
  parts.length = at + 1;
  return parts;
}

std::optional<TextKeyParts> ParseJet3(std::span<const uint8_t> key) {
  TextKeyParts parts;
  size_t at = 0;
  while (at < key.size() && key[at] >= kJet3LowestPrimary) parts.primary.push_back(key[at++]);
  if (at == key.size()) return std::nullopt;
  // Nibbles: a leading 0, the accents, a closing 0, a pad nibble to whole bytes.
  std::vector<uint8_t> nibbles;
  for (size_t i = at; i < key.size() && nibbles.size() < 2 * 256; ++i) {
    nibbles.push_back(key[i] >> 4);
    nibbles.push_back(key[i] & 0x0F);
    if (nibbles[0] != 0) return std::nullopt;
    auto close = std::find(nibbles.begin() + 1, nibbles.end(), 0);
    if (close != nibbles.end()) {
      parts.accents.assign(nibbles.begin() + 1, close);
      parts.length = i + 1;
      return parts;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<TextKeyParts> ParseTextKey(std::span<const uint8_t> key, jet::Format format) {
  return format == jet::Format::kJet3 ? ParseJet3(key) : ParseJet4(key);
}

}  // namespace vantrel::derive
