#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/common/format.h"

namespace jet {

// Row-level changes to a data page (type 0x01: table data, long values, usage-map rows).
// Rows keep their slot numbers, because indexes and forwarding stubs point at page/slot;
// their bytes are repacked downward from the page end as Access keeps them, without holes.

inline constexpr uint16_t kMaxRowsPerPage = 255;

// A fresh, empty data page owned by `owner` (a table's definition page, kLongValuePageOwner
// for long values, 0 for usage-map rows).
void InitDataPage(std::span<uint8_t> page, Format format, uint32_t owner);

// Bytes a new row (with its offset entry) may still take.
uint16_t DataPageFreeSpace(std::span<const uint8_t> page, Format format);

// Appends a row in a new slot; returns the slot, or nothing when the page cannot take it.
std::optional<uint16_t> AddRow(std::span<uint8_t> page, Format format, std::span<const uint8_t> row,
                               uint16_t flags = 0);

// Where the row a writer appended last went on its page: enough to append the next one
// without reading the page's whole offset table again.
struct PackedEnd {
  uint16_t count = 0;   // rows on the page after that append
  uint16_t lowest = 0;  // where that row starts, the lowest of the page's rows
};

// As AddRow, with the same result; `end` is what the last call left for this page (empty
// for another page) and is kept up to date. It is only trusted while the page's row count,
// last offset and free-space word still agree with it; otherwise the page is read whole.
std::optional<uint16_t> AddRowAfter(std::span<uint8_t> page, Format format, std::span<const uint8_t> row,
                                    uint16_t flags, std::optional<PackedEnd>& end);

// Gives slot `slot` new bytes and flags (0 = live, 0x4000 stub, 0x8000 forward target);
// false, with the page unchanged, when they do not fit.
bool ReplaceRow(std::span<uint8_t> page, Format format, uint16_t slot, std::span<const uint8_t> row,
                uint16_t flags = 0);

// Marks the slot deleted and gives its bytes back to the page, as Access does.
void DeleteRow(std::span<uint8_t> page, Format format, uint16_t slot);

}  // namespace jet
