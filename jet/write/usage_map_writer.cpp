#include "jet/write/usage_map_writer.h"

#include <algorithm>
#include <string>

#include "jet/common/byte_reader.h"
#include "jet/core/data_page.h"
#include "jet/core/usage_map.h"
#include "jet/write/data_page_writer.h"

namespace jet {
namespace {

constexpr uint8_t kBitmapPageType = 0x05;
// Bitmap bytes an inline map gains beyond the page it must cover when it grows at its end.
constexpr size_t kGrowthSlackBytes = 32;

struct MapRow {
  std::span<uint8_t> page;
  uint16_t slot = 0;
  std::span<uint8_t> bytes;  // the row inside the mutable page
};

MapRow MutableMapRow(store::PageOverlay& pages, Format format, uint32_t map_pointer) {
  MapRow row;
  row.page = pages.MutablePage(map_pointer >> 8);
  row.slot = static_cast<uint16_t>(map_pointer & 0xFF);
  const RowSlot slot = ReadRowSlot(row.page, format, row.slot);
  if (slot.state != RowSlot::State::kLive || slot.bytes.empty()) ThrowCorrupt("usage map row is not a live row");
  const auto offset = static_cast<size_t>(slot.bytes.data() - row.page.data());
  row.bytes = row.page.subspan(offset, slot.bytes.size());
  return row;
}

void SetBit(std::span<uint8_t> bits, uint64_t index, bool value) {
  auto& byte = bits[static_cast<size_t>(index / 8)];
  const auto mask = static_cast<uint8_t>(1u << (index % 8));
  byte = value ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
}

// A fresh bitmap page whose every page reads as `uncovered_value` until marked.
uint32_t NewBitmapPage(store::PageOverlay& pages, bool uncovered_value, const std::function<uint32_t()>& new_page) {
  const uint32_t number = new_page();
  auto bytes = pages.MutablePage(number);
  std::fill(bytes.begin(), bytes.end(), uncovered_value ? 0xFF : 0x00);
  bytes[0] = kBitmapPageType;
  bytes[1] = 0x01;
  bytes[2] = bytes[3] = 0;
  return number;
}

bool GetBit(std::span<const uint8_t> bits, uint64_t index) { return (bits[static_cast<size_t>(index / 8)] >> (index % 8)) & 1; }

// The inline map as a list of (page, bit) for every page it covers, rebuilt to cover `page`
// too; returns the new row.
// `slack`: bitmap bytes to add past what covers `page` when the map grows at its end, the
// bits for pages beyond as the uncovered ones read.
std::vector<uint8_t> GrownInlineMap(std::span<const uint8_t> row, uint32_t page, bool uncovered_value,
                                    size_t slack) {
  const ByteReader reader(row, "usage map");
  const uint32_t start = reader.U32(1);
  const uint64_t covered = (row.size() - 5) * uint64_t{8};
  const uint32_t new_start = page < start ? page - page % 8 : start;
  const uint64_t end = std::max<uint64_t>(start + covered, uint64_t{page} + 1);
  const size_t bytes = static_cast<size_t>((end - new_start + 7) / 8) + (new_start == start ? slack : 0);
  std::vector<uint8_t> grown = EmptyInlineMap(new_start, bytes);
  std::span<uint8_t> bits(grown.data() + 5, bytes);
  if (new_start == start) {
    // Grown at its end, as every page appended to a file grows the global map: the bits it
    // had stay where they were, whole bytes at a time, and only the new ones are set. Bit by
    // bit, appending page after page would cost the square of the map's size.
    const size_t kept = row.size() - 5;
    std::copy(row.begin() + 5, row.end(), bits.begin());
    std::fill(bits.begin() + static_cast<std::ptrdiff_t>(kept), bits.end(), uncovered_value ? 0xFF : 0x00);
    return grown;
  }
  for (uint64_t p = new_start; p < new_start + bytes * uint64_t{8}; ++p) {
    const bool inside = p >= start && p < start + covered;
    SetBit(bits, p - new_start, inside ? GetBit(row.subspan(5), p - start) : uncovered_value);
  }
  return grown;
}

// A reference map holding the same marks as the inline map `row`.
// `stored_size` is the size of the row the map has on its host page now: the reference row
// takes no more room than that (where it can), so it fits where the grown inline row did not.
std::vector<uint8_t> AsReferenceMap(store::PageOverlay& pages, Format format, std::span<const uint8_t> row,
                                    size_t stored_size, bool uncovered_value, const std::function<uint32_t()>& new_page) {
  const ByteReader reader(row, "usage map");
  const uint32_t start = reader.U32(1);
  const uint32_t per_page = PagesPerBitmapPage(format);
  // As many pointers as the stored row has room for, and at least enough for the largest
  // file the format allows (1 GB for Jet 3, 2 GB for Jet 4).
  const uint64_t largest_file = format == Format::kJet3 ? uint64_t{1} << 30 : uint64_t{1} << 31;
  const size_t pointers = std::max<size_t>((stored_size - 1) / 4, largest_file / PageSizeOf(format) / per_page + 1);
  std::vector<uint8_t> reference(1 + 4 * pointers, 0);
  reference[0] = 1;
  const uint64_t covered = (row.size() - 5) * uint64_t{8};
  for (uint64_t p = start; p < start + covered; ++p) {
    const bool marked = GetBit(row.subspan(5), p - start);
    if (marked == uncovered_value) continue;
    const size_t j = static_cast<size_t>(p / per_page);
    if (j >= pointers) ThrowCorrupt("usage map covers pages past the largest file");
    uint32_t bitmap = ByteReader(reference).U32(1 + 4 * j);
    if (bitmap == 0) {
      bitmap = NewBitmapPage(pages, uncovered_value, new_page);
      PutU32(reference.data() + 1 + 4 * j, bitmap);
    }
    SetBit(pages.MutablePage(bitmap).subspan(4), p % per_page, marked);
  }
  return reference;
}

}  // namespace

std::vector<uint8_t> EmptyInlineMap(uint32_t first_page, size_t bitmap_bytes) {
  std::vector<uint8_t> row(5 + bitmap_bytes, 0);
  PutU32(row.data() + 1, first_page);
  return row;
}

void SetUsageMapBit(store::PageOverlay& pages, Format format, uint32_t map_pointer, uint32_t page, bool marked,
                    Uncovered uncovered, const std::function<uint32_t()>& new_page) {
  const bool uncovered_value = uncovered == Uncovered::kMarked;
  MapRow row = MutableMapRow(pages, format, map_pointer);
  const uint32_t per_page = PagesPerBitmapPage(format);
  if (row.bytes[0] == 0) {
    const uint32_t start = ByteReader(row.bytes).U32(1);
    const uint64_t covered = (row.bytes.size() - 5) * uint64_t{8};
    if (page >= start && page < start + covered) {
      SetBit(row.bytes.subspan(5), page - start, marked);
      return;
    }
    if (marked == uncovered_value) return;
    // Pages come one after another past the map's end as a table or the file grows: grown a
    // byte at a time, the map would be rewritten every eight pages. Where the slack does not
    // fit its host page, the map grows by just what it needs.
    std::vector<uint8_t> grown;
    for (const size_t slack : {kGrowthSlackBytes, size_t{0}}) {
      grown = GrownInlineMap(row.bytes, page, uncovered_value, slack);
      SetBit(std::span<uint8_t>(grown).subspan(5), page - ByteReader(grown).U32(1), marked);
      if (ReplaceRow(row.page, format, row.slot, grown)) return;
    }
    // No room on the host page: keep the marks in bitmap pages instead.
    const std::vector<uint8_t> reference =
        AsReferenceMap(pages, format, grown, row.bytes.size(), uncovered_value, new_page);
    MapRow host = MutableMapRow(pages, format, map_pointer);
    if (!ReplaceRow(host.page, format, host.slot, reference))
      ThrowCorrupt("usage map host page " + std::to_string(map_pointer >> 8) + " is full");
    return;
  }
  if (row.bytes[0] != 1) ThrowCorrupt("usage map of unknown kind " + std::to_string(row.bytes[0]));
  const size_t j = page / per_page;
  if (1 + 4 * j + 4 > row.bytes.size()) {
    if (marked == uncovered_value) return;
    ThrowCorrupt("page " + std::to_string(page) + " lies beyond what its usage map can cover");
  }
  uint32_t bitmap = ByteReader(row.bytes).U32(1 + 4 * j);
  if (bitmap == 0) {
    if (marked == uncovered_value) return;
    bitmap = NewBitmapPage(pages, uncovered_value, new_page);
    row = MutableMapRow(pages, format, map_pointer);  // new_page may have changed the host
    PutU32(row.bytes.data() + 1 + 4 * j, bitmap);
  }
  auto bitmap_page = pages.MutablePage(bitmap);
  if (bitmap_page[0] != kBitmapPageType) ThrowCorrupt("page " + std::to_string(bitmap) + " is not a bitmap page");
  SetBit(bitmap_page.subspan(4), page % per_page, marked);
}

}  // namespace jet
