#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/common/format.h"
#include "jet/common/page_source.h"

namespace jet {

// A row slot of a data page (page type 0x01) or long-value page, as its offset entry says.
struct RowSlot {
  // kForwarded: a stub left where an updated row no longer fitted; it points at the row's
  // current bytes. kForwardTarget: those current bytes; a table scan must skip them (they are
  // reached through the stub), or the row would be read twice.
  enum class State : uint8_t { kLive, kDeleted, kForwarded, kForwardTarget };
  State state = State::kLive;
  std::span<const uint8_t> bytes;  // the row's bytes; for kForwarded, the 4-byte page/row pointer

  // For kForwarded: where the row now lives.
  uint32_t forward_page() const;
  uint8_t forward_row() const;
};

namespace row_offset_flag {
inline constexpr uint16_t kForwardTarget = 0x8000;
inline constexpr uint16_t kForwarded = 0x4000;
inline constexpr uint16_t kDeleted = 0xC000;  // both bits: Access sets both when deleting
inline constexpr uint16_t kOffsetMask = 0x1FFF;
}  // namespace row_offset_flag

// Bytes before the row offset table of a data page.
inline constexpr uint32_t DataPageHeaderSize(Format format) { return format == Format::kJet3 ? 10 : 14; }

// Where a data page keeps its row count.
inline constexpr uint32_t DataPageRowCountOffset(Format format) { return format == Format::kJet3 ? 8 : 12; }

// Long-value pages carry these four bytes where a table's data page names its owner.
inline constexpr uint32_t kLongValuePageOwner = 0x4C41564C;  // "LVAL" read as a little-endian word

// Number of row slots on a data page; raises a corrupt-database error for a page that is not
// a data page of `owner_definition_page` (pass 0 to skip the owner check).
uint16_t RowSlotCount(std::span<const uint8_t> page, Format format, uint32_t owner_definition_page = 0);

// Row slot `index` of a data page: its extent is from its offset to the previous slot's
// offset (or the page end for slot 0). Raises a corrupt-database error for an index or offset
// outside the page.
RowSlot ReadRowSlot(std::span<const uint8_t> page, Format format, uint16_t index);

// The current bytes of a row whose slot is the forwarding stub `stub`, following further stubs
// (bounded) on pages of the table at `owner_definition_page`. The bytes are copied because
// reading pages invalidates earlier page views. Raises a corrupt-database error for a pointer
// to another table's page, a missing or deleted row, or a loop.
std::vector<uint8_t> ReadForwardedRow(PageSource& pages, Format format, const RowSlot& stub,
                                      uint32_t owner_definition_page);

}  // namespace jet
