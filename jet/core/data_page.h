#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "jet/common/format.h"

namespace jet {

// A row slot of a data page (page type 0x01) or long-value page, as its offset entry says.
struct RowSlot {
  enum class State : uint8_t { kLive, kDeleted, kForwarded };
  State state = State::kLive;
  std::span<const uint8_t> bytes;  // the row's bytes; for kForwarded, the 4-byte page/row pointer
};

// Number of row slots on a data page; raises a corrupt-database error for a page that is not
// a data page of `owner_definition_page` (pass 0 to skip the owner check).
uint16_t RowSlotCount(std::span<const uint8_t> page, Format format, uint32_t owner_definition_page = 0);

// Row slot `index` of a data page: its extent is from its offset to the previous slot's
// offset (or the page end for slot 0). Raises a corrupt-database error for an index or offset
// outside the page.
RowSlot ReadRowSlot(std::span<const uint8_t> page, Format format, uint16_t index);

}  // namespace jet
