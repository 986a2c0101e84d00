#include "jet/write/page_allocator.h"

#include <algorithm>

#include "jet/common/byte_reader.h"
#include "jet/core/data_page.h"
#include "jet/core/usage_map.h"
#include "jet/write/usage_map_writer.h"

namespace jet {
namespace {
// Pages 0 (header), 1 (global map) and 2 (the catalog's definition) are never handed out.
constexpr uint32_t kFirstAllocatablePage = 3;
}  // namespace

void PageAllocator::Mark(uint32_t page, bool free) {
  // Changing a bit may need bitmap pages for the map itself; those come from the end of the
  // file and are marked in turn, once the change that needed them is complete, so the map is
  // never changed from inside its own change.
  std::vector<uint32_t> unmarked;
  auto append_unmarked = [&] {
    unmarked.push_back(pages_.AppendPage());
    return unmarked.back();
  };
  SetUsageMapBit(pages_, format_, kGlobalUsageMapPointer, page, free, Uncovered::kMarked, append_unmarked);
  for (size_t next = 0; next < unmarked.size(); ++next)
    SetUsageMapBit(pages_, format_, kGlobalUsageMapPointer, unmarked[next], false, Uncovered::kMarked, append_unmarked);
}

uint32_t PageAllocator::Append() {
  // The new page reads as allocated before anything points at it.
  const uint32_t page = pages_.AppendPage();
  Mark(page, false);
  return page;
}

bool PageAllocator::IsFree(uint32_t page) { return MarkedFree(pages_, format_, page); }

bool MarkedFree(PageSource& pages, Format format, uint32_t page) {
  const RowSlot row = ReadRowSlot(pages.Page(kGlobalUsageMapPointer >> 8), format, 0);
  const ByteReader map(row.bytes, "usage map");
  if (map.U8(0) == 0) {
    const uint32_t start = map.U32(1);
    if (page < start) return true;
    const uint64_t bit = page - start;
    if (5 + bit / 8 >= row.bytes.size()) return true;
    return (map.U8(5 + static_cast<size_t>(bit / 8)) >> (bit % 8)) & 1;
  }
  const uint32_t per_page = PagesPerBitmapPage(format);
  const size_t j = page / per_page;
  if (1 + 4 * j + 4 > row.bytes.size()) return true;
  const uint32_t bitmap = map.U32(1 + 4 * j);
  if (bitmap == 0) return true;
  const auto bits = pages.Page(bitmap);
  const uint32_t bit = page % per_page;
  return (ByteReader(bits, "bitmap page").U8(4 + bit / 8) >> (bit % 8)) & 1;
}

std::vector<bool> PagesFreedSinceBase(store::PageOverlay& pages, Format format) {
  std::vector<bool> freed;
  PageSource& base = pages.base();
  for (uint32_t page : ReadUsageMap(pages, format, kGlobalUsageMapPointer).pages) {
    if (page < kFirstAllocatablePage || page >= base.page_count() || pages.Holds(page) ||
        MarkedFree(base, format, page))
      continue;
    if (freed.size() <= page) freed.resize(page + 1, false);
    freed[page] = true;
  }
  return freed;
}

uint32_t PageAllocator::Allocate() {
  if (!candidates_read_) {
    candidates_ = ReadUsageMap(pages_, format_, kGlobalUsageMapPointer).pages;
    std::reverse(candidates_.begin(), candidates_.end());
    candidates_read_ = true;
  }
  while (!candidates_.empty()) {
    const uint32_t page = candidates_.back();
    candidates_.pop_back();
    if (page < kFirstAllocatablePage || page >= pages_.page_count() || !IsFree(page)) continue;
    Mark(page, false);
    auto bytes = pages_.MutablePage(page);
    std::fill(bytes.begin(), bytes.end(), 0);
    return page;
  }
  return Append();
}

void PageAllocator::Release(uint32_t page) {
  if (page < kFirstAllocatablePage || page >= pages_.page_count()) return;
  Mark(page, true);
  candidates_.push_back(page);
}

}  // namespace jet
