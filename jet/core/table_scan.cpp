#include "jet/core/table_scan.h"

#include <string>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/core/data_page.h"
#include "jet/core/usage_map.h"

namespace jet {

TableScan::TableScan(PageSource& pages, const TableDef& table) : pages_(pages), table_(table) {
  data_pages_ = ReadUsageMap(pages, table.format, table.owned_pages_pointer).pages;
}

bool TableScan::LoadPage() {
  while (next_page_ < data_pages_.size()) {
    page_ = data_pages_[next_page_++];
    if (page_ >= pages_.page_count()) {
      ++foreign_pages_skipped_;
      continue;
    }
    const auto page = pages_.Page(page_);
    const ByteReader reader(page, "data page");
    if (reader.U8(0) != 0x01 || reader.U32(4) != table_.definition_page) {
      ++foreign_pages_skipped_;
      continue;
    }
    slot_count_ = RowSlotCount(page, table_.format, table_.definition_page);
    next_slot_ = 0;
    return true;
  }
  return false;
}

bool TableScan::Next() {
  for (;;) {
    if (!on_page_) {
      if (!LoadPage()) return false;
      on_page_ = true;
    }
    if (next_slot_ >= slot_count_) {
      on_page_ = false;
      continue;
    }
    const uint16_t slot_index = next_slot_++;
    const RowSlot slot = ReadRowSlot(pages_.Page(page_), table_.format, slot_index);
    if (slot.state == RowSlot::State::kDeleted || slot.state == RowSlot::State::kForwardTarget) continue;
    location_ = RowLocation{page_, slot_index};
    if (slot.state == RowSlot::State::kForwarded) {
      bytes_ = ReadForwardedRow(pages_, table_.format, slot, table_.definition_page);
    } else {
      bytes_.assign(slot.bytes.begin(), slot.bytes.end());
    }
    return true;
  }
}

std::vector<uint8_t> ReadStoredRow(PageSource& pages, const TableDef& table, RowLocation location) {
  if (location.page >= pages.page_count())
    ThrowCorrupt("row " + std::to_string(location.page) + "/" + std::to_string(location.slot) + " lies outside the file");
  const std::span<const uint8_t> page = pages.Page(location.page);
  if (location.slot >= RowSlotCount(page, table.format, table.definition_page))
    ThrowCorrupt("page " + std::to_string(location.page) + " has no row " + std::to_string(location.slot));
  const RowSlot slot = ReadRowSlot(page, table.format, location.slot);
  if (slot.state == RowSlot::State::kDeleted || slot.state == RowSlot::State::kForwardTarget)
    ThrowCorrupt("row " + std::to_string(location.page) + "/" + std::to_string(location.slot) + " is no live row");
  if (slot.state == RowSlot::State::kForwarded)
    return ReadForwardedRow(pages, table.format, slot, table.definition_page);
  return std::vector<uint8_t>(slot.bytes.begin(), slot.bytes.end());
}

}  // namespace jet
