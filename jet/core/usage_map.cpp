#include "jet/core/usage_map.h"

#include <string>

#include "jet/common/byte_reader.h"
#include "jet/core/data_page.h"

namespace jet {
namespace {

constexpr uint8_t kBitmapPageType = 0x05;

void AddMarked(std::span<const uint8_t> bits, uint64_t first, std::vector<uint32_t>& out) {
  for (size_t byte = 0; byte < bits.size(); ++byte) {
    if (bits[byte] == 0) continue;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if ((bits[byte] >> bit & 1) == 0) continue;
      const uint64_t page = first + byte * 8 + bit;
      if (page > UINT32_MAX) return;  // a start page near the top: the rest cannot exist
      out.push_back(static_cast<uint32_t>(page));
    }
  }
}

}  // namespace

UsageMap ReadUsageMap(PageSource& pages, Format format, uint32_t pointer) {
  const uint32_t host = pointer >> 8;
  const auto row_index = static_cast<uint16_t>(pointer & 0xFF);
  // The row is copied: reading bitmap pages below invalidates the host page's view.
  const RowSlot slot = ReadRowSlot(pages.Page(host), format, row_index);
  if (slot.state != RowSlot::State::kLive)
    ThrowCorrupt("usage map " + std::to_string(host) + "/" + std::to_string(row_index) + " is not a live row");
  const std::vector<uint8_t> row(slot.bytes.begin(), slot.bytes.end());
  const ByteReader map(row, "usage map");

  UsageMap result;
  switch (map.U8(0)) {
    case 0:
      result.kind = UsageMapKind::kInline;
      result.first_page = map.U32(1);
      AddMarked(map.Slice(5, row.size() - 5), result.first_page, result.pages);
      break;
    case 1: {
      result.kind = UsageMapKind::kReference;
      const uint32_t per_page = PagesPerBitmapPage(format);
      for (size_t j = 0; 1 + 4 * j + 4 <= row.size(); ++j) {
        const uint32_t bitmap_page = map.U32(1 + 4 * j);
        // Access ends the reference global map of testRefGlobalV2000 with 0xFFFFFF80 in a
        // slot that would cover pages past any Jet 4 file: a slot past the file is no page.
        if (bitmap_page == 0 || bitmap_page >= pages.page_count()) continue;
        const auto bitmap = pages.Page(bitmap_page);
        if (bitmap.empty() || bitmap[0] != kBitmapPageType)
          ThrowCorrupt("page " + std::to_string(bitmap_page) + " of a usage map is not a bitmap page");
        AddMarked(bitmap.subspan(4), uint64_t{j} * per_page, result.pages);
      }
      break;
    }
    default:
      ThrowCorrupt("usage map " + std::to_string(host) + "/" + std::to_string(row_index) + " has unknown kind " +
                   std::to_string(map.U8(0)));
  }
  return result;
}

}  // namespace jet
