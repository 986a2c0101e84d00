#include "jet/index/index_page.h"

#include <string>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"

namespace jet {
namespace {

// Entry pointers are big-endian, unlike every other number in the file, so that entries with
// equal keys sort by row place when compared as bytes.
uint32_t BigEndian(std::span<const uint8_t> bytes) {
  uint32_t value = 0;
  for (uint8_t byte : bytes) value = (value << 8) | byte;
  return value;
}

[[noreturn]] void ThrowBadPage(uint32_t number, const std::string& what) {
  ThrowCorrupt("index page " + std::to_string(number) + " " + what);
}

}  // namespace

bool IsIndexPage(std::span<const uint8_t> page) {
  return !page.empty() && (page[0] == kIndexIntermediatePageType || page[0] == kIndexLeafPageType);
}

IndexPage ParseIndexPage(std::span<const uint8_t> bytes, Format format, uint32_t number) {
  const IndexPageLayout layout = IndexPageLayoutOf(format);
  const ByteReader page(bytes, "index page");
  if (bytes.size() < layout.first_entry) ThrowBadPage(number, "is shorter than its header");
  if (!IsIndexPage(bytes)) ThrowBadPage(number, "has page type " + std::to_string(bytes[0]));

  IndexPage result;
  result.number = number;
  result.type = page.U8(0);
  result.free_space = page.U16(2);
  result.owner = page.U32(4);
  result.previous_page = page.U32(layout.previous_page);
  result.next_page = page.U32(layout.next_page);
  result.tail_page = page.U32(layout.tail_page);
  result.prefix_length = page.U8(layout.prefix_length);

  const size_t pointer_size = result.leaf() ? 4 : 8;
  const size_t mask_bits = size_t{layout.first_entry - layout.entry_mask} * 8;
  size_t start = layout.first_entry;
  for (size_t bit = 0; bit < mask_bits; ++bit) {
    if ((bytes[layout.entry_mask + bit / 8] >> (bit % 8) & 1) == 0) continue;
    const size_t end = layout.first_entry + bit;
    if (end > bytes.size()) ThrowBadPage(number, "marks an entry ending past the page");
    const size_t length = end - start;
    if (length < pointer_size)
      ThrowBadPage(number, "has an entry of " + std::to_string(length) + " bytes at " + std::to_string(start));
    const auto stored = bytes.subspan(start, length);
    const auto stored_key = stored.first(length - pointer_size);
    const auto pointer = stored.subspan(length - pointer_size);

    IndexEntry entry;
    if (result.entries.empty()) {
      if (stored_key.size() < result.prefix_length)
        ThrowBadPage(number, "shares a prefix longer than its first key");
    } else {
      const std::vector<uint8_t>& first_key = result.entries.front().key;
      entry.key.assign(first_key.begin(), first_key.begin() + result.prefix_length);
    }
    entry.key.insert(entry.key.end(), stored_key.begin(), stored_key.end());
    entry.data_page = BigEndian(pointer.first(3));
    entry.data_row = pointer[3];
    if (!result.leaf()) entry.child_page = BigEndian(pointer.subspan(4, 4));
    result.entries.push_back(std::move(entry));
    start = end;
  }
  result.used_end = static_cast<uint32_t>(start);
  return result;
}

}  // namespace jet
