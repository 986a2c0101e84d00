#pragma once
// Building a real index's B-tree from the rows of its table, and taking one away.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/core/table_def.h"
#include "jet/core/table_scan.h"
#include "jet/core/value.h"
#include "jet/index/index_entry.h"
#include "jet/store/page_overlay.h"
#include "jet/write/page_allocator.h"

namespace jet {

// The order of a real index's leaf entries: by key as unsigned bytes, then (equal keys) by the
// row's home page and row.
bool IndexEntryLess(const IndexEntry& a, const IndexEntry& b);

// The entry one row gives in real index `real_index`; nothing when the index ignores nulls and
// the row's key columns are all null. Raises what the key encoder raises.
std::optional<IndexEntry> IndexEntryOfRow(const TableDef& table, size_t real_index, const Row& row,
                                          RowLocation location);

// Whether `key` is one null flag per column: the key Jet lets a unique index hold any number
// of times.
bool IsAllNullKey(const RealIndexDef& index, std::span<const uint8_t> key);

// The leaf entries `table`'s rows give in real index `real_index`, in the order Access keeps
// them: by key, then (equal keys) by the row's home page and row. Rows whose key columns are
// all null are left out when the index ignores nulls. Raises what the row decoder and the key
// encoder raise (3251 for a value the key cannot carry).
std::vector<IndexEntry> IndexEntriesFromRows(PageSource& pages, const TableDef& table, size_t real_index,
                                             uint16_t code_page);

// Replaces the B-tree of real index `real_index` with one holding `entries` (sorted as
// IndexEntriesFromRows sorts them; they are sorted again here). Releases the old tree's pages,
// writes leaves and intermediate levels as Access fills them, and sets first_page, the count
// block words and the bits of the index's usage map (whose row must exist). An empty index
// gets one empty leaf. The caller writes the table definition afterwards.
// Raises 3022 before changing anything when the index is unique and two keys are equal.
void BuildIndex(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, size_t real_index,
                std::vector<IndexEntry> entries);

// A leaf entry handed over by reference: the bytes stay the giver's.
struct IndexEntryView {
  std::span<const uint8_t> key;
  uint32_t data_page = 0;
  uint8_t data_row = 0;
};

// BuildIndex for more entries than memory should hold as IndexEntry objects: `next` gives
// them one at a time in index order (false after the last; each view need only last until
// the next call), and `after_leaf` runs after each leaf page is stored, so that the caller
// can move finished pages out of memory. The pages written are those BuildIndex writes for
// the same entries. Entries out of order raise 3251, a duplicate in a unique index 3022;
// either leaves part of a tree behind, so this suits a file that a failure discards.
void BuildIndexFromSorted(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, size_t real_index,
                          const std::function<bool(IndexEntryView&)>& next,
                          const std::function<void()>& after_leaf);

// BuildIndex over IndexEntriesFromRows, with the entries held compactly (their keys in one
// buffer) rather than as IndexEntry objects: the same pages, in a fraction of the memory and
// time for a large table. Raises as the two raise, 3022 before any page is written; a key too
// long for a page raises while the tree is being written, so call it under a savepoint.
// Between rows and between pages it lets a spilling overlay free memory. With
// `refuse_null_keys` (a primary key) a Null in any key column raises 3058 before any page is
// written.
void BuildIndexFromRows(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, size_t real_index,
                        uint16_t code_page, bool refuse_null_keys = false);

// The 3058 error a primary key raises for a row with a Null in a key column.
[[noreturn]] void ThrowNullInPrimaryKey();

// Frees every page of the index's B-tree (those its usage map lists and those reachable from
// its root) and clears its usage map. first_page and the table definition stay as they are.
void DeleteIndexPages(store::PageOverlay& pages, PageAllocator& allocator, const TableDef& table,
                      size_t real_index);

// The 3022 error BuildIndex raises for a duplicate key in a unique index.
[[noreturn]] void ThrowDuplicateIndexKey();

}  // namespace jet
