#include "tools/derive_sort_order/key_parts.h"

#include <algorithm>

namespace vantrel::derive {

namespace {

constexpr uint8_t kSectionEnd = 0x01;
constexpr uint8_t kKeyEnd = 0x00;
constexpr uint8_t kSkippedMarker = 0x06;
constexpr uint8_t kJet3LowestPrimary = 0x10;

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
    // Two more parts follow; the samples only ever show them empty.
    if (at + 3 > key.size() || key[at + 1] != kSectionEnd || key[at + 2] != kSectionEnd) return std::nullopt;
    at += 3;
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
