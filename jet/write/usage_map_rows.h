#pragma once

#include <cstdint>
#include <span>

#include "jet/common/format.h"
#include "jet/store/page_overlay.h"
#include "jet/write/page_allocator.h"

namespace jet {

// Usage maps of tables, indexes and long-value columns are rows of "map host" pages: data
// pages owned by no table. Access keeps a table's maps together on one host page beside its
// definition; a map that no longer fits there goes to a fresh host page.

// Stores `map` as a new row, on `preferred_host` when that is a host page with room, and
// returns its row pointer (page << 8 | row).
uint32_t AddUsageMapRow(store::PageOverlay& pages, PageAllocator& allocator, Format format, uint32_t preferred_host,
                        std::span<const uint8_t> map);

// An empty inline map of the size Access gives new ones (64 bitmap bytes in Jet 4, 128 in
// Jet 3), covering pages from 0.
std::vector<uint8_t> NewInlineMap(Format format);

// Deletes the map row; the host page stays, even when it is left empty, as Access leaves it.
void RemoveUsageMapRow(store::PageOverlay& pages, Format format, uint32_t map_pointer);

}  // namespace jet
