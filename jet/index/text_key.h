#pragma once

// Text keys in Access's "General" sort order, the order its indexes keep text in.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "jet/common/format.h"

namespace jet {

// The value bytes (without the column's flag byte) of `utf8` in an ascending index. As in
// Access's keys, only the first 255 UTF-16 units count (a memo is keyed by its start) and
// trailing blanks do not.
std::vector<uint8_t> GeneralTextKey(std::string_view utf8, Format format);
// The same appended to `key`, without a vector of its own.
void AppendGeneralTextKey(std::vector<uint8_t>& key, std::string_view utf8, Format format);
// The same for Jet 4 text already in UTF-16 units, as a row stores it: a bulk build keys the
// stored text without a round trip through UTF-8. A lone surrogate must already read as
// U+FFFD, as it does once decoded. `latin1` holds one unit per byte (U+0001-U+00FF), the
// form Access compresses text to.
void AppendJet4TextKey(std::vector<uint8_t>& key, std::span<const char16_t> units);
void AppendJet4TextKey(std::vector<uint8_t>& key, std::span<const uint8_t> latin1);

}  // namespace jet

namespace jet {

// Text compared the way an index over it orders: by General key, so case never matters and
// accents only break ties between otherwise equal texts. Raise key_err::kUnsupportedKey for
// a character without a known weight.
int CompareGeneralText(std::string_view a, std::string_view b, Format format);
// Whether a unique index would take the two texts for the same key.
bool SameGeneralText(std::string_view a, std::string_view b, Format format);

}  // namespace jet
