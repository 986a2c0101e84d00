#pragma once
// One page of an index B-tree (page type 0x03 intermediate, 0x04 leaf), parsed and checked.

#include <cstdint>
#include <span>
#include <vector>

#include "jet/common/format.h"
#include "jet/index/index_entry.h"

namespace jet {

inline constexpr uint8_t kIndexIntermediatePageType = 0x03;
inline constexpr uint8_t kIndexLeafPageType = 0x04;

// Where the fields of an index page header are. Jet 4 has four more header bytes before the
// sibling pointers and a larger page, hence a longer entry-start bitmask.
struct IndexPageLayout {
  uint32_t previous_page;
  uint32_t next_page;
  uint32_t tail_page;
  uint32_t prefix_length;  // one byte: the next byte is 1 on intermediate pages, 0 on leaves
  uint32_t entry_mask;     // bit k set: an entry ends k bytes after first_entry
  uint32_t first_entry;
};

constexpr IndexPageLayout IndexPageLayoutOf(Format format) {
  return format == Format::kJet3 ? IndexPageLayout{8, 12, 16, 20, 0x16, 0xF8}
                                 : IndexPageLayout{12, 16, 20, 24, 0x1B, 0x1E0};
}

struct IndexPage {
  uint32_t number = 0;
  uint8_t type = kIndexLeafPageType;
  uint16_t free_space = 0;       // as stored; Access keeps it = page size - used_end
  uint32_t owner = 0;            // the table definition page of the index's table
  // Leaves at one level are a doubly linked list; 0 ends it.
  uint32_t previous_page = 0;
  uint32_t next_page = 0;
  // Intermediate pages: the rightmost child. It is not named by any entry; its keys follow
  // those of the last entry's child.
  uint32_t tail_page = 0;
  uint8_t prefix_length = 0;     // key bytes every entry after the first shares with the first
  uint32_t used_end = 0;         // offset just past the last entry
  std::vector<IndexEntry> entries;  // keys expanded to their whole length

  bool leaf() const { return type == kIndexLeafPageType; }
};

// Whether `page` starts like an index page of either kind.
bool IsIndexPage(std::span<const uint8_t> page);

// Parses an index page. Raises a corrupt-database error for a page of another type, an entry
// mask that marks entries past the page end, an entry too short for its pointers, or a shared
// prefix longer than the first key.
IndexPage ParseIndexPage(std::span<const uint8_t> page, Format format, uint32_t number);

}  // namespace jet
