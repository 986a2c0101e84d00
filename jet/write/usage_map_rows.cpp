#include "jet/write/usage_map_rows.h"

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/core/data_page.h"
#include "jet/write/data_page_writer.h"
#include "jet/write/usage_map_writer.h"

namespace jet {
namespace {

constexpr uint8_t kDataPageType = 0x01;

bool IsMapHost(store::PageOverlay& pages, uint32_t page) {
  if (page == 0 || page >= pages.page_count()) return false;
  const auto bytes = pages.Page(page);
  return bytes[0] == kDataPageType && ByteReader(bytes).U32(4) == 0;
}

}  // namespace

std::vector<uint8_t> NewInlineMap(Format format) { return EmptyInlineMap(0, format == Format::kJet3 ? 128 : 64); }

uint32_t AddUsageMapRow(store::PageOverlay& pages, PageAllocator& allocator, Format format, uint32_t preferred_host,
                        std::span<const uint8_t> map) {
  if (IsMapHost(pages, preferred_host)) {
    if (auto slot = AddRow(pages.MutablePage(preferred_host), format, map)) return preferred_host << 8 | *slot;
  }
  const uint32_t host = allocator.Allocate();
  InitDataPage(pages.MutablePage(host), format, 0);
  auto slot = AddRow(pages.MutablePage(host), format, map);
  if (!slot) ThrowCorrupt("a usage map does not fit on an empty page");
  return host << 8 | *slot;
}

void RemoveUsageMapRow(store::PageOverlay& pages, Format format, uint32_t map_pointer) {
  const uint32_t page = map_pointer >> 8;
  if (!IsMapHost(pages, page)) return;  // nothing of ours to remove
  const uint16_t slot = static_cast<uint16_t>(map_pointer & 0xFF);
  const auto bytes = pages.Page(page);
  const size_t header = format == Format::kJet3 ? 8 : 12;
  if (slot >= ByteReader(bytes).U16(header)) return;
  DeleteRow(pages.MutablePage(page), format, slot);
}

}  // namespace jet
