#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/common/format.h"

namespace jet {

// What page 0 says about the whole file.
struct DatabaseHeader {
  Format format = Format::kJet4;
  uint16_t code_page = 1252;  // of Jet 3 text, and of names in both formats' sort keys
  uint16_t sort_order = 0x0409;
  uint8_t sort_order_version = 0;  // Jet 4: 0 = General (legacy)
  double creation_date = 0;        // Jet 4 only
  uint32_t database_key = 0;       // non-zero: pages after 0 are encrypted
  bool has_password = false;
  uint16_t jet3_column_word = 1;   // Jet 3: the word at 0x38, which every column descriptor repeats
};

// The masked region of page 0 starts here and runs for this many bytes.
inline constexpr size_t kHeaderMaskOffset = 0x18;
inline constexpr size_t HeaderMaskLength(Format format) { return format == Format::kJet3 ? 126 : 128; }

// Page 0 with its masked region in the clear (and back: the mask is its own inverse).
std::vector<uint8_t> UnmaskHeaderPage(std::span<const uint8_t> page0, Format format);

// Reads page 0 as stored. Raises 3049 for a page too short to hold the header.
DatabaseHeader ReadDatabaseHeader(std::span<const uint8_t> page0, Format format);

}  // namespace jet
