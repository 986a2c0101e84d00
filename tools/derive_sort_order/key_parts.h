#pragma once

// Splits the text part of a stored index key into what the General order puts there, so
// that each character's weights can be read off keys Access wrote.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/common/format.h"

namespace vantrel::derive {

struct SkippedMark {
  uint32_t place = 0;  // weighted characters before the skipped one
  uint8_t code = 0;
};

struct TextKeyParts {
  std::vector<uint8_t> primary;
  std::vector<uint8_t> accents;  // Jet 4 bytes or Jet 3 nibbles, trailing plain ones absent
  std::vector<SkippedMark> skipped;  // Jet 4 only
  // Jet 4 kana: the size mark of each kana in order (jet::kSmallKana or kFullSizeKana), the
  // trailing full-size ones absent as in the key, and the groups of seven kana it counts.
  std::vector<uint8_t> kana_marks;
  size_t kana_groups = 0;
  size_t length = 0;  // bytes of the key the text part takes
};

// Parses the ascending-form text part at the start of `key` (the flag byte already removed,
// descending keys already inverted). Nothing when the bytes do not have the expected shape.
std::optional<TextKeyParts> ParseTextKey(std::span<const uint8_t> key, jet::Format format);

}  // namespace vantrel::derive
