#pragma once
// Row changes through a TableWriter, with the table's indexes brought in step afterwards.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "jet/core/table_def.h"
#include "jet/core/table_scan.h"
#include "jet/core/value.h"
#include "jet/store/page_overlay.h"
#include "jet/write/page_allocator.h"
#include "jet/write/table_writer.h"

namespace jet {

// Whether `changed` rows are few enough next to the `rows` a table held to change its indexes
// entry by entry: each such change reads and writes a few pages, a rebuild reads every row.
bool FewRowsChanged(size_t changed, size_t rows);

// Notes each row change as it is made. UpdateIndexes then changes the index entries of those
// rows one by one when they are few next to the rows the table held; after more changes, or
// on a table that was empty, it rebuilds each index from the rows, which lays the pages out
// as Access lays a bulk load. The caller writes the table definition afterwards.
class IndexedTableWriter {
 public:
  IndexedTableWriter(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, uint16_t code_page);

  RowLocation Insert(Row values);
  // As TableWriter's: the row Builder() was given.
  RowBuilder& Builder() { return writer_.Builder(); }
  RowLocation InsertBuilt();
  void Update(RowLocation location, const Row& values);
  void Delete(RowLocation location);

  // Brings every real index of the table in step, or those listed. Raises 3022 for a
  // duplicate key in a unique index, and what the key encoder raises.
  void UpdateIndexes();
  void UpdateIndexes(const std::vector<size_t>& real_indexes);

 private:
  struct Change {
    RowLocation location;
    std::optional<Row> before;  // unset: the row is new
    std::optional<Row> after;   // unset: the row is gone
  };
  // The row as stored now, decoded as a table scan decodes it.
  Row StoredRow(RowLocation location);
  // Whether the next change is still noted; false once they are too many for changing
  // entries one by one.
  bool Noting();
  void ChangeEntries(size_t real_index);

  store::PageOverlay& pages_;
  PageAllocator& allocator_;
  TableDef& table_;
  uint16_t code_page_;
  TableWriter writer_;
  size_t rows_before_;
  bool rebuild_ = false;
  std::vector<Change> changes_;
};

}  // namespace jet
