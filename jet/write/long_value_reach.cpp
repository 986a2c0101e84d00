#include "jet/write/long_value_reach.h"

#include <algorithm>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/core/data_page.h"
#include "jet/core/long_value.h"
#include "jet/core/row_codec.h"

namespace jet {
namespace {

constexpr uint32_t kLayoutBits = 0xC0000000;
constexpr uint32_t kSingleRow = 0x40000000;

// The live LVAL row `pointer` names, or nothing for a pointer that names none. A page that is
// not a long-value page raises, as RowSlotCount does.
std::optional<std::span<const uint8_t>> LongValueRowAt(PageSource& pages, Format format, uint32_t pointer) {
  const uint32_t page_number = pointer >> 8;
  if (page_number == 0 || page_number >= pages.page_count()) return std::nullopt;
  const std::span<const uint8_t> page = pages.Page(page_number);
  const uint16_t row = pointer & 0xFF;
  if (row >= RowSlotCount(page, format, kLongValuePageOwner)) return std::nullopt;
  const RowSlot slot = ReadRowSlot(page, format, row);
  if (slot.state != RowSlot::State::kLive) return std::nullopt;
  return slot.bytes;
}

}  // namespace

LongValueReach::LongValueReach(const TableDef& table) : table_(table) {
  for (const ColumnDef& column : table.columns)
    if (column.long_value()) long_columns_.push_back(&column);
}

bool LongValueReach::Reach(uint32_t pointer) {
  std::bitset<256>& rows = reached_[pointer >> 8];
  if (rows.test(pointer & 0xFF)) return false;
  rows.set(pointer & 0xFF);
  return true;
}

void LongValueReach::AddRow(std::span<const uint8_t> row) {
  if (long_columns_.empty()) return;
  try {
    const RowLayout layout = ReadRowLayout(table_, row, table_.format);
    for (const ColumnDef* column : long_columns_) {
      const auto bytes = layout.ValueBytes(*column);
      if (!bytes || bytes->size() < kLongValueHeaderSize) continue;
      const ByteReader header(*bytes, "long-value header");
      const uint32_t kind = header.U32(0) & kLayoutBits;
      const uint32_t pointer = header.U32(4);
      if (kind == kSingleRow) {
        Reach(pointer);
      } else if (kind == 0) {
        chain_starts_.push_back(pointer);
      }  // inline, or a layout no value has: nothing outside the row
    }
  } catch (const Error&) {
    // A row that cannot be laid out names nothing this can trust.
  }
}

void LongValueReach::AddDataPage(std::span<const uint8_t> page) {
  if (long_columns_.empty()) return;
  try {
    const uint16_t count = RowSlotCount(page, table_.format);
    for (uint16_t row = 0; row < count; ++row) {
      const RowSlot slot = ReadRowSlot(page, table_.format, row);
      // A moved row's bytes are its forward target; the stub holds only a pointer.
      if (slot.state == RowSlot::State::kLive || slot.state == RowSlot::State::kForwardTarget) AddRow(slot.bytes);
    }
  } catch (const Error&) {
  }
}

std::vector<uint32_t> LongValueReach::PagesOnlyTheseRowsUse(PageSource& pages) {
  const Format format = table_.format;
  for (uint32_t pointer : chain_starts_) {
    try {
      // Each row is reached once, so a chain that loops or runs into another stops there.
      while (pointer != 0) {
        const auto row = LongValueRowAt(pages, format, pointer);
        if (!row || row->size() < 4 || !Reach(pointer)) break;
        pointer = ByteReader(*row, "long-value chunk").U32(0);
      }
    } catch (const Error&) {
    }
  }
  std::vector<uint32_t> candidates;
  for (const auto& [page, rows] : reached_)
    if (page != 0 && page < pages.page_count()) candidates.push_back(page);
  std::sort(candidates.begin(), candidates.end());
  std::vector<uint32_t> only_these;
  // A table's long-value pages mostly lie together: neighbours are read in one call.
  constexpr size_t kPagesPerRead = 256;
  const size_t page_size = pages.page_size();
  std::vector<uint8_t> run;
  for (size_t at = 0; at < candidates.size();) {
    size_t count = 1;
    while (at + count < candidates.size() && count < kPagesPerRead && candidates[at + count] == candidates[at] + count)
      ++count;
    run.clear();
    pages.AppendPages(candidates[at], static_cast<uint32_t>(count), run);
    if (run.size() != count * page_size) ThrowCorrupt("long-value pages shorter than a page");
    for (size_t i = 0; i < count; ++i) {
      const uint32_t number = candidates[at + i];
      const std::span<const uint8_t> page(run.data() + i * page_size, page_size);
      try {
        const uint16_t slots = RowSlotCount(page, format, kLongValuePageOwner);
        const std::bitset<256>& rows = reached_[number];
        bool all_reached = slots <= 256;
        for (uint16_t row = 0; row < slots && all_reached; ++row)
          if (ReadRowSlot(page, format, row).state != RowSlot::State::kDeleted && !rows.test(row)) all_reached = false;
        if (all_reached) only_these.push_back(number);
      } catch (const Error&) {
        // Not a long-value page, or one that cannot be read through: not known to be free of
        // other rows.
      }
    }
    at += count;
  }
  return only_these;
}

}  // namespace jet
