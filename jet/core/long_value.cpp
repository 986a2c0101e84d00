#include "jet/core/long_value.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/core/data_page.h"

namespace jet {
namespace {

constexpr uint32_t kLengthMask = 0x3FFFFFFF;
constexpr uint32_t kInlineBit = 0x80000000;
constexpr uint32_t kSingleRowBit = 0x40000000;

// The bytes of one LVAL row, a view of its page.
std::span<const uint8_t> LongValueRowView(PageSource& pages, Format format, uint32_t pointer) {
  const uint32_t page_number = pointer >> 8;
  const uint16_t row = pointer & 0xFF;
  if (page_number == 0 || page_number >= pages.page_count()) {
    ThrowCorrupt("long value points at page " + std::to_string(page_number));
  }
  std::span<const uint8_t> page = pages.Page(page_number);
  ByteReader reader(page, "long-value page");
  if (page.size() != PageSizeOf(format) || reader.U8(0) != 0x01 || reader.U32(4) != kLongValuePageOwner) {
    ThrowCorrupt("long value points at page " + std::to_string(page_number) + ", which is not a long-value page");
  }
  if (row >= RowSlotCount(page, format)) {
    ThrowCorrupt("long value points at row " + std::to_string(row) + " of page " + std::to_string(page_number));
  }
  RowSlot slot = ReadRowSlot(page, format, row);
  if (slot.state != RowSlot::State::kLive) {
    ThrowCorrupt("long value points at a deleted row of page " + std::to_string(page_number));
  }
  return slot.bytes;
}

// The same, copied because the page view lasts only until the next page.
std::vector<uint8_t> LongValueRow(PageSource& pages, Format format, uint32_t pointer) {
  const std::span<const uint8_t> bytes = LongValueRowView(pages, format, pointer);
  return {bytes.begin(), bytes.end()};
}

// No value can be larger than the file holding it.
void CheckLengthFits(uint32_t length, const PageSource& pages) {
  if (uint64_t{length} > uint64_t{pages.page_count()} * pages.page_size()) {
    ThrowCorrupt("long value of " + std::to_string(length) + " bytes in a smaller file");
  }
}

}  // namespace

std::vector<uint8_t> ReadLongValue(std::span<const uint8_t> stored, Format format, PageSource* pages) {
  ByteReader header(stored, "long-value header");
  const uint32_t word = header.U32(0);
  const uint32_t length = word & kLengthMask;
  const uint32_t kind = word & ~kLengthMask;
  header.U32(8);  // the header is always 12 bytes

  if (kind == kInlineBit) {
    auto data = header.Slice(kLongValueHeaderSize, length);
    return {data.begin(), data.end()};
  }
  if (kind != kSingleRowBit && kind != 0) ThrowCorrupt("long value of unknown layout");
  if (pages == nullptr) ThrowCorrupt("long value stored outside the row, with no pages to read it from");
  CheckLengthFits(length, *pages);  // before anything is allocated for it

  uint32_t pointer = header.U32(4);  // the last use of `stored`: fetching pages may reuse it
  if (kind == kSingleRowBit) {
    std::vector<uint8_t> row = LongValueRow(*pages, format, pointer);
    if (row.size() < length) ThrowCorrupt("long-value row shorter than its value");
    row.resize(length);
    return row;
  }

  std::vector<uint8_t> data;
  data.reserve(length);
  std::set<uint32_t> visited;
  while (true) {
    if (!visited.insert(pointer).second) ThrowCorrupt("long-value chain runs in a circle");
    std::vector<uint8_t> row = LongValueRow(*pages, format, pointer);
    ByteReader chunk(row, "long-value chunk");
    const uint32_t next = chunk.U32(0);
    const size_t chunk_length = row.size() - 4;
    if (chunk_length > length - data.size()) ThrowCorrupt("long-value chain longer than its value");
    data.insert(data.end(), row.begin() + 4, row.end());
    if (next == 0) break;
    pointer = next;
  }
  if (data.size() != length) ThrowCorrupt("long-value chain shorter than its value");
  return data;
}

size_t LongValueChunkCapacity(Format format) {
  return PageSizeOf(format) - DataPageHeaderSize(format) - 2 - 4;
}

std::optional<std::span<const uint8_t>> SingleRowLongValue(std::span<const uint8_t> stored, Format format,
                                                           PageSource& pages) {
  ByteReader header(stored, "long-value header");
  const uint32_t word = header.U32(0);
  header.U32(8);  // the header is always 12 bytes
  if ((word & ~kLengthMask) != kSingleRowBit) return std::nullopt;
  const uint32_t length = word & kLengthMask;
  CheckLengthFits(length, pages);
  const std::span<const uint8_t> row = LongValueRowView(pages, format, header.U32(4));
  if (row.size() < length) ThrowCorrupt("long-value row shorter than its value");
  return row.first(length);
}

void LongValueImage::SetFirstRow(uint32_t page, uint8_t row) { PutU32(header.data() + 4, RowPointer(page, row)); }

void LongValueImage::LinkChain(std::span<const uint32_t> row_pointers) {
  if (layout != LongValueLayout::kChain) return;
  for (size_t i = 0; i + 1 < rows.size() && i + 1 < row_pointers.size(); ++i) {
    PutU32(rows[i].data(), row_pointers[i + 1]);
  }
}

bool IsInlineLongValue(std::span<const uint8_t> header) {
  return header.size() >= 4 && (header[3] & (kInlineBit >> 24)) != 0;
}

LongValueImage BuildLongValue(std::span<const uint8_t> data, Format format, size_t inline_room) {
  if (data.size() > kLengthMask) {
    throw Error(err::kDiskIo, "A long value of " + std::to_string(data.size()) + " bytes cannot be stored.");
  }
  LongValueImage image;
  image.header.assign(kLongValueHeaderSize, 0);
  const auto length = static_cast<uint32_t>(data.size());
  // A single row has the page to itself at most: header and one offset entry.
  const size_t single_row_capacity = PageSizeOf(format) - DataPageHeaderSize(format) - 2;
  if (data.size() <= LongValueInlineLimit(format) && data.size() <= inline_room) {
    image.layout = LongValueLayout::kInline;
    PutU32(image.header.data(), length | kInlineBit);
    image.header.insert(image.header.end(), data.begin(), data.end());
  } else if (data.size() <= single_row_capacity) {
    image.layout = LongValueLayout::kSingleRow;
    PutU32(image.header.data(), length | kSingleRowBit);
    image.rows.emplace_back(data.begin(), data.end());
  } else {
    image.layout = LongValueLayout::kChain;
    PutU32(image.header.data(), length);
    const size_t capacity = LongValueChunkCapacity(format);
    for (size_t at = 0; at < data.size(); at += capacity) {
      const size_t take = std::min(capacity, data.size() - at);
      std::vector<uint8_t> row(4, 0);
      row.insert(row.end(), data.begin() + at, data.begin() + at + take);
      image.rows.push_back(std::move(row));
    }
  }
  return image;
}

}  // namespace jet
