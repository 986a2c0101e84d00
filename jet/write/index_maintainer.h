#pragma once
// Changing one entry of a real index's B-tree in place. A change of a few rows then touches
// the pages on the path to each entry instead of rebuilding the whole tree from all rows.

#include <cstddef>

#include "jet/core/table_def.h"
#include "jet/index/index_entry.h"
#include "jet/store/page_overlay.h"
#include "jet/write/page_allocator.h"

namespace jet {

// Adds leaf entry `entry` (key and row pointer; child_page is ignored) to real index
// `real_index`, where the order of IndexEntriesFromRows puts it. A page that overflows is
// split, the pieces before it on new pages linked into its level and named in its parent; a
// root that splits gets a new root above it, and first_page changes. New pages enter the
// index's usage map; the count block words in `table` follow. The caller writes the table
// definition. Raises 3022 before changing anything when the index is unique and already holds
// the key (keys of nulls only excepted), and a corrupt-database error for a damaged tree or an
// entry that is already there.
void InsertIndexEntry(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, size_t real_index,
                      const IndexEntry& entry);

// Takes leaf entry `entry` (key and row pointer) out of real index `real_index`. A page left
// empty is unlinked, named no more by its parent and freed; a root left with a single child
// gives way to it (first_page changes), and an index left without entries keeps one empty
// leaf. Raises a corrupt-database error before changing anything when the entry is not there.
void RemoveIndexEntry(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, size_t real_index,
                      const IndexEntry& entry);

}  // namespace jet
