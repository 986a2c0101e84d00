#pragma once

#include <cstdint>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/core/table_def.h"

namespace jet {

// Where a row lives: the page and slot of its first (home) slot, the one index entries and
// forwarding stubs point at.
struct RowLocation {
  uint32_t page = 0;
  uint16_t slot = 0;
};

// Streams the stored bytes of every live row of a table, in page and slot order. Deleted
// slots and the targets of forwarded rows are skipped; a forwarded row is read through its
// stub, at the stub's place. Pages the table's map lists but that are not its data pages are
// skipped and counted (the checker reports them).
// The stored bytes of the live row at `location`, through its forwarding stub if it has one.
// Raises a corrupt-database error for a slot that holds no live row of the table.
std::vector<uint8_t> ReadStoredRow(PageSource& pages, const TableDef& table, RowLocation location);

class TableScan {
 public:
  TableScan(PageSource& pages, const TableDef& table);

  // The next row, or false at the end. `bytes` is valid until the next call.
  bool Next();
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  RowLocation location() const { return location_; }

  uint32_t foreign_pages_skipped() const { return foreign_pages_skipped_; }

 private:
  bool LoadPage();

  PageSource& pages_;
  const TableDef& table_;
  std::vector<uint32_t> data_pages_;
  size_t next_page_ = 0;
  uint32_t page_ = 0;
  uint16_t slot_count_ = 0;
  uint16_t next_slot_ = 0;
  bool on_page_ = false;
  std::vector<uint8_t> bytes_;
  RowLocation location_;
  uint32_t foreign_pages_skipped_ = 0;
};

}  // namespace jet
