#include "jet/core/table_scan.h"

#include "jet/common/byte_reader.h"
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

}  // namespace jet
