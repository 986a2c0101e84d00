#pragma once
// Encoding one index B-tree page (0x04 leaf, 0x03 intermediate) the way Access lays it out.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "jet/common/format.h"
#include "jet/index/index_entry.h"
#include "jet/index/index_page.h"

namespace jet {

// What a page holds besides its entries. Leaves of one level are a doubly linked list
// (previous/next, 0 at the ends); intermediate pages link their level the same way and name
// their rightmost child in tail_page.
struct IndexPageFrame {
  uint8_t type = kIndexLeafPageType;
  uint32_t owner = 0;  // definition page of the index's table
  uint32_t previous_page = 0;
  uint32_t next_page = 0;
  uint32_t tail_page = 0;
};

// Bytes the first entry and every later one share (capped at 255, the width of the field).
// Access compresses each page against its first entry with the prefix all entries share.
size_t SharedPrefixLength(std::span<const IndexEntry> entries);

// Bytes `entries` take on a page of `type`: the first key whole, later keys after the shared
// prefix, each followed by its pointers.
size_t EncodedEntriesSize(std::span<const IndexEntry> entries, uint8_t type);

// Room for entries on one page of `format`: from the first-entry offset to the page end, and
// no further than the entry-start bitmask can mark.
size_t IndexPageEntryCapacity(Format format);

// A whole page. Raises 3251 when the entries do not fit (callers split before).
std::vector<uint8_t> EncodeIndexPage(const IndexPageFrame& frame, std::span<const IndexEntry> entries,
                                     Format format);

}  // namespace jet
