#include "jet/write/data_page_writer.h"

#include <algorithm>
#include <string>

#include "jet/common/byte_reader.h"
#include "jet/core/data_page.h"

namespace jet {
namespace {

constexpr uint8_t kDataPageType = 0x01;

struct Slot {
  std::vector<uint8_t> bytes;
  uint16_t flags = 0;
};

std::vector<Slot> ReadSlots(std::span<const uint8_t> page, Format format) {
  const uint16_t count = RowSlotCount(page, format);
  const ByteReader reader(page, "data page");
  std::vector<Slot> slots;
  for (uint16_t i = 0; i < count; ++i) {
    const uint16_t entry = reader.U16(DataPageHeaderSize(format) + 2u * i);
    const auto flags = static_cast<uint16_t>(entry & ~row_offset_flag::kOffsetMask);
    // A deleted row's bytes are dead: repacking gives them back.
    if (flags == row_offset_flag::kDeleted) {
      slots.push_back(Slot{{}, flags});
      continue;
    }
    const RowSlot slot = ReadRowSlot(page, format, i);
    slots.push_back(Slot{std::vector<uint8_t>(slot.bytes.begin(), slot.bytes.end()), flags});
  }
  return slots;
}

size_t SpaceNeeded(const std::vector<Slot>& slots, Format format) {
  size_t total = DataPageHeaderSize(format) + 2 * slots.size();
  for (const Slot& slot : slots) total += slot.bytes.size();
  return total;
}

// Writes the slots back from the page end; the caller has checked that they fit.
void WriteSlots(std::span<uint8_t> page, Format format, const std::vector<Slot>& slots) {
  const size_t table = DataPageHeaderSize(format);
  size_t end = page.size();
  for (size_t i = 0; i < slots.size(); ++i) {
    const Slot& slot = slots[i];
    const size_t start = end - slot.bytes.size();
    std::copy(slot.bytes.begin(), slot.bytes.end(), page.begin() + static_cast<std::ptrdiff_t>(start));
    // A zero-length row starts where the previous one does (the page end for slot 0).
    PutU16(page.data() + table + 2 * i, static_cast<uint16_t>(start | slot.flags));
    end = start;
  }
  const size_t used = table + 2 * slots.size();
  std::fill(page.begin() + static_cast<std::ptrdiff_t>(used), page.begin() + static_cast<std::ptrdiff_t>(end), 0);
  PutU16(page.data() + DataPageRowCountOffset(format), static_cast<uint16_t>(slots.size()));
  PutU16(page.data() + 2, static_cast<uint16_t>(end - used));
}

enum class Append { kDone, kNoRoom, kNotPacked };

// Adds a row below the lowest one without rewriting the page, when the page is laid out the
// way the repacking leaves it: rows packed downward in slot order and the free-space word
// equal to the gap. Filling a page row by row then costs the row, not the page.
Append AppendToPackedPage(std::span<uint8_t> page, Format format, uint16_t count, std::span<const uint8_t> row,
                          uint16_t flags) {
  const size_t table = DataPageHeaderSize(format);
  const size_t used = table + 2u * count;
  if (used + 2 > page.size()) return Append::kNoRoom;  // the offset table alone fills the page
  // One bounds check for the whole offset table: this runs for every row a table gets.
  const auto offset_at = [&](size_t at) { return static_cast<size_t>(page[at] | (page[at + 1] << 8)); };
  size_t lowest = page.size();
  size_t last = page.size();
  for (uint16_t i = 0; i < count; ++i) {
    last = offset_at(table + 2u * i) & row_offset_flag::kOffsetMask;
    lowest = std::min(lowest, last);
  }
  if (last != lowest || lowest < used || offset_at(2) != lowest - used) return Append::kNotPacked;
  if (row.size() + 2 > lowest - used) return Append::kNoRoom;
  const size_t start = lowest - row.size();
  std::copy(row.begin(), row.end(), page.begin() + static_cast<std::ptrdiff_t>(start));
  PutU16(page.data() + used, static_cast<uint16_t>(start | flags));
  PutU16(page.data() + DataPageRowCountOffset(format), static_cast<uint16_t>(count + 1));
  PutU16(page.data() + 2, static_cast<uint16_t>(start - used - 2));
  return Append::kDone;
}

}  // namespace

void InitDataPage(std::span<uint8_t> page, Format format, uint32_t owner) {
  std::fill(page.begin(), page.end(), 0);
  page[0] = kDataPageType;
  page[1] = 0x01;
  PutU32(page.data() + 4, owner);
  PutU16(page.data() + 2, static_cast<uint16_t>(page.size() - DataPageHeaderSize(format)));
}

uint16_t DataPageFreeSpace(std::span<const uint8_t> page, Format format) {
  const auto slots = ReadSlots(page, format);
  const size_t used = SpaceNeeded(slots, format);
  return used >= page.size() ? 0 : static_cast<uint16_t>(page.size() - used);
}

std::optional<uint16_t> AddRow(std::span<uint8_t> page, Format format, std::span<const uint8_t> row, uint16_t flags) {
  const uint16_t count = RowSlotCount(page, format);
  if (count >= kMaxRowsPerPage) return std::nullopt;
  switch (AppendToPackedPage(page, format, count, row, flags)) {
    case Append::kDone:
      return count;
    case Append::kNoRoom:
      return std::nullopt;
    case Append::kNotPacked:
      break;
  }
  auto slots = ReadSlots(page, format);
  if (slots.size() >= kMaxRowsPerPage) return std::nullopt;
  slots.push_back(Slot{std::vector<uint8_t>(row.begin(), row.end()), flags});
  if (SpaceNeeded(slots, format) > page.size()) return std::nullopt;
  WriteSlots(page, format, slots);
  return static_cast<uint16_t>(slots.size() - 1);
}

std::optional<uint16_t> AddRowAfter(std::span<uint8_t> page, Format format, std::span<const uint8_t> row,
                                    uint16_t flags, std::optional<PackedEnd>& end) {
  const size_t table = DataPageHeaderSize(format);
  if (end && end->count > 0 && end->count < kMaxRowsPerPage && page.size() >= table + 2u * end->count + 2) {
    const auto word = [&](size_t at) { return static_cast<size_t>(page[at] | (page[at + 1] << 8)); };
    const uint16_t count = end->count;
    const size_t used = table + 2u * count;
    const size_t lowest = end->lowest;
    // The last append left the page packed with its lowest row last; the repacking of any
    // change since leaves it so too. What the page says now decides whether that still holds.
    if (word(DataPageRowCountOffset(format)) == count && (word(used - 2) & row_offset_flag::kOffsetMask) == lowest &&
        lowest >= used && lowest <= page.size() && word(2) == lowest - used) {
      if (row.size() + 2 > lowest - used) return std::nullopt;
      const size_t start = lowest - row.size();
      std::copy(row.begin(), row.end(), page.begin() + static_cast<std::ptrdiff_t>(start));
      PutU16(page.data() + used, static_cast<uint16_t>(start | flags));
      PutU16(page.data() + DataPageRowCountOffset(format), static_cast<uint16_t>(count + 1));
      PutU16(page.data() + 2, static_cast<uint16_t>(start - used - 2));
      end = PackedEnd{static_cast<uint16_t>(count + 1), static_cast<uint16_t>(start)};
      return count;
    }
  }
  const std::optional<uint16_t> slot = AddRow(page, format, row, flags);
  end.reset();
  if (slot) {
    // Whether appended below the others or repacked, the new row is the lowest.
    const size_t at = table + 2u * *slot;
    const auto offset = static_cast<uint16_t>((page[at] | (page[at + 1] << 8)) & row_offset_flag::kOffsetMask);
    end = PackedEnd{static_cast<uint16_t>(*slot + 1), offset};
  }
  return slot;
}

bool ReplaceRow(std::span<uint8_t> page, Format format, uint16_t slot, std::span<const uint8_t> row, uint16_t flags) {
  auto slots = ReadSlots(page, format);
  if (slot >= slots.size()) ThrowCorrupt("row " + std::to_string(slot) + " replaced on a page without it");
  slots[slot] = Slot{std::vector<uint8_t>(row.begin(), row.end()), flags};
  if (SpaceNeeded(slots, format) > page.size()) return false;
  WriteSlots(page, format, slots);
  return true;
}

void DeleteRow(std::span<uint8_t> page, Format format, uint16_t slot) {
  auto slots = ReadSlots(page, format);
  if (slot >= slots.size()) ThrowCorrupt("row " + std::to_string(slot) + " deleted on a page without it");
  slots[slot] = Slot{{}, row_offset_flag::kDeleted};
  WriteSlots(page, format, slots);
}

}  // namespace jet
