#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "jet/common/page_source.h"
#include "jet/core/table_def.h"
#include "jet/core/row_encoder.h"
#include "jet/core/table_scan.h"
#include "jet/core/value.h"
#include "jet/store/page_overlay.h"
#include "jet/write/data_page_writer.h"
#include "jet/write/page_allocator.h"

namespace jet {

// Row changes on one table of a database being written: rows are encoded as Access stores
// them, placed on the table's data pages (new pages taken from the allocator and entered in
// the table's usage maps), long values on long-value pages. The definition's row count and
// autonumber are kept in `table`; the caller writes the definition and rebuilds the table's
// indexes when it is done, because entries point at row locations.
class TableWriter {
 public:
  TableWriter(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, uint16_t code_page);

  // `values` holds one value per entry of table.columns. A Null in the autonumber column
  // gets the next number.
  RowLocation Insert(Row values);
  // A row as another table of the same definition stores it, placed as it is. For rows that
  // hold no long-value pointers (those name pages of the other file); the caller checks.
  RowLocation InsertStored(std::span<const uint8_t> row);
  // A row of another file whose table has the same definition: placed as it is stored, except
  // that memo and OLE values kept outside the row are copied from `source` onto this table's
  // long-value pages and the row's headers name the copies. No value is decoded.
  RowLocation InsertStoredFrom(std::span<const uint8_t> row, PageSource& source);
  // The builder of this table's rows, cleared, for InsertBuilt.
  RowBuilder& Builder();
  // The row Builder() was given, as Insert would store the values it stands for: an
  // autonumber column left unset gets the next number.
  RowLocation InsertBuilt();
  // The row keeps its location: it is rewritten in place, or moved behind a forwarding stub.
  void Update(RowLocation location, const Row& values);
  void Delete(RowLocation location);

 private:
  std::vector<uint8_t> Encode(const Row& values);
  LongValuePlacer Placer();
  void PlaceLongValue(struct LongValueImage& image);
  // Copies a long value of another file that one LVAL row holds into one of this table's,
  // as BuildLongValue and PlaceLongValue would, and writes the new 12-byte header at
  // `header`; false, with nothing done, for a value those would lay out another way.
  bool PlaceSingleRowFrom(std::span<const uint8_t> stored, PageSource& source, uint8_t* header);
  // A row placed on some data page of the table with room for it.
  RowLocation Place(std::span<const uint8_t> row, uint16_t flags);
  uint32_t NewDataPage();

  store::PageOverlay& pages_;
  PageAllocator& allocator_;
  TableDef& table_;
  uint16_t code_page_;
  Format format_;
  std::optional<uint32_t> last_data_page_;
  std::optional<uint32_t> long_value_page_;
  // What the last append to each of those pages left, for the next one.
  std::optional<PackedEnd> data_end_;
  std::optional<PackedEnd> long_value_end_;
  std::vector<uint8_t> stored_;      // InsertStoredFrom's copy of a row, kept from row to row
  std::vector<uint8_t> long_value_;  // and of a long value
  std::optional<RowBuilder> builder_;
};

}  // namespace jet
