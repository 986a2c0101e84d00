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

// Gives slot `slot` new bytes and flags (0 = live, 0x4000 stub, 0x8000 forward target);
// false, with the page unchanged, when they do not fit.
bool ReplaceRow(std::span<uint8_t> page, Format format, uint16_t slot, std::span<const uint8_t> row,
                uint16_t flags = 0);

// Marks the slot deleted and gives its bytes back to the page, as Access does.
void DeleteRow(std::span<uint8_t> page, Format format, uint16_t slot);

}  // namespace jet
