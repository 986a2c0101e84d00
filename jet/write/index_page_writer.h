#pragma once
// Encoding one index B-tree page (0x04 leaf, 0x03 intermediate) the way Access lays it out.

#include <cstddef>
#include <cstdint>
#include <optional>
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
  // Key bytes the later entries take from the first; unset: all they share.
  std::optional<size_t> prefix_length;
};

// The prefix-length field is one byte.
inline constexpr size_t kMaxIndexPrefix = 255;

size_t CommonPrefix(std::span<const uint8_t> a, std::span<const uint8_t> b);

// Bytes the first entry and every later one share (capped at 255, the width of the field).
// Access compresses the pages it splits off with this prefix; the rightmost page of a level,
// which it grows by appending, keeps prefix 0.
size_t SharedPrefixLength(std::span<const IndexEntry> entries);

// Bytes `entries` take on a page of `type`: the first key whole, later keys after `prefix`
// bytes, each followed by its pointers.
size_t EncodedEntriesSize(std::span<const IndexEntry> entries, uint8_t type, size_t prefix);

// Room for entries on one page of `format`: from the first-entry offset to the page end, and
// no further than the entry-start bitmask can mark.
size_t IndexPageEntryCapacity(Format format);

// A whole page; free space = page size - end of the last entry, unused bytes zero. Raises
// 3251 when the entries do not fit or the prefix is longer than they share.
std::vector<uint8_t> EncodeIndexPage(const IndexPageFrame& frame, std::span<const IndexEntry> entries,
                                     Format format);

}  // namespace jet
