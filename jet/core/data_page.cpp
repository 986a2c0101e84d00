#include "jet/core/data_page.h"

#include <string>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"

namespace jet {
namespace {

constexpr uint8_t kDataPageType = 0x01;

ByteReader CheckedDataPage(std::span<const uint8_t> page, Format format) {
  if (page.size() != PageSizeOf(format)) {
    ThrowCorrupt("data page of " + std::to_string(page.size()) + " bytes");
  }
  ByteReader reader(page, "data page");
  if (reader.U8(0) != kDataPageType) {
    ThrowCorrupt("page of type " + std::to_string(reader.U8(0)) + " where a data page was expected");
  }
  return reader;
}

uint16_t CheckedRowCount(const ByteReader& reader, Format format) {
  uint16_t count = reader.U16(DataPageRowCountOffset(format));
  // Every row needs its two-byte offset entry after the header, so a count the page cannot
  // hold is damage, not a big page.
  if (DataPageHeaderSize(format) + 2u * count > reader.size()) {
    ThrowCorrupt("data page claims " + std::to_string(count) + " rows");
  }
  return count;
}

}  // namespace

uint32_t RowSlot::forward_page() const { return ByteReader(bytes, "forwarding stub").U32(0) >> 8; }
uint8_t RowSlot::forward_row() const { return ByteReader(bytes, "forwarding stub").U8(0); }

uint16_t RowSlotCount(std::span<const uint8_t> page, Format format, uint32_t owner_definition_page) {
  ByteReader reader = CheckedDataPage(page, format);
  if (owner_definition_page != 0 && reader.U32(4) != owner_definition_page) {
    ThrowCorrupt("data page owned by page " + std::to_string(reader.U32(4)) + " listed for the table at page " +
                 std::to_string(owner_definition_page));
  }
  return CheckedRowCount(reader, format);
}

RowSlot ReadRowSlot(std::span<const uint8_t> page, Format format, uint16_t index) {
  ByteReader reader = CheckedDataPage(page, format);
  uint16_t count = CheckedRowCount(reader, format);
  if (index >= count) {
    ThrowCorrupt("row " + std::to_string(index) + " asked of a data page with " + std::to_string(count) + " rows");
  }
  const uint32_t table_at = DataPageHeaderSize(format);
  const uint16_t entry = reader.U16(table_at + 2u * index);
  const uint32_t start = entry & row_offset_flag::kOffsetMask;
  // Rows are packed downward in row order: each ends where the one before it starts.
  const uint32_t end =
      index == 0 ? static_cast<uint32_t>(page.size())
                 : static_cast<uint32_t>(reader.U16(table_at + 2u * (index - 1)) & row_offset_flag::kOffsetMask);

  RowSlot slot;
  const uint16_t flags = entry & row_offset_flag::kDeleted;
  if (flags == row_offset_flag::kDeleted) {
    slot.state = RowSlot::State::kDeleted;
    // A deleted row's bytes mean nothing; an odd extent is not worth failing the page for.
    if (start >= table_at + 2u * count && start <= end && end <= page.size()) {
      slot.bytes = reader.Slice(start, end - start);
    }
    return slot;
  }
  if (start < table_at + 2u * count || start > end || end > page.size()) {
    ThrowCorrupt("row " + std::to_string(index) + " of a data page spans [" + std::to_string(start) + ", " +
                 std::to_string(end) + ")");
  }
  slot.bytes = reader.Slice(start, end - start);
  if (flags == row_offset_flag::kForwarded) {
    slot.state = RowSlot::State::kForwarded;
    if (slot.bytes.size() < 4) ThrowCorrupt("forwarding stub shorter than its row pointer");
    slot.bytes = slot.bytes.first(4);
  } else if (flags == row_offset_flag::kForwardTarget) {
    slot.state = RowSlot::State::kForwardTarget;
  }
  return slot;
}

std::vector<uint8_t> ReadForwardedRow(PageSource& pages, Format format, const RowSlot& stub,
                                      uint32_t owner_definition_page) {
  // A row moves at most once per update; a chain longer than this is a loop or damage.
  constexpr int kMostHops = 16;
  uint32_t page_number = stub.forward_page();
  uint8_t row = stub.forward_row();
  for (int hop = 0; hop < kMostHops; ++hop) {
    if (page_number == 0 || page_number >= pages.page_count()) {
      ThrowCorrupt("forwarded row points at page " + std::to_string(page_number));
    }
    std::span<const uint8_t> page = pages.Page(page_number);
    if (row >= RowSlotCount(page, format, owner_definition_page)) {
      ThrowCorrupt("forwarded row points at row " + std::to_string(row) + " of page " + std::to_string(page_number));
    }
    RowSlot target = ReadRowSlot(page, format, row);
    if (target.state == RowSlot::State::kDeleted) ThrowCorrupt("forwarded row points at a deleted row");
    if (target.state != RowSlot::State::kForwarded) return {target.bytes.begin(), target.bytes.end()};
    page_number = target.forward_page();
    row = target.forward_row();
  }
  ThrowCorrupt("forwarded rows form a loop");
}

}  // namespace jet
