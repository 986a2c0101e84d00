#pragma once

#include <cstdint>
#include <vector>

#include "jet/common/format.h"
#include "jet/store/page_overlay.h"

namespace jet {

// Hands out pages of a database being changed and takes them back, keeping the global usage
// map (page 1, row 0: a set bit is a free page) true at every step. One allocator serves a
// whole write session.
class PageAllocator {
 public:
  PageAllocator(store::PageOverlay& pages, Format format) : pages_(pages), format_(format) {}

  // A zero-filled page that nothing uses: a free page of the file, or a new one at its end.
  uint32_t Allocate();
  // Gives the page back: marked free, its bytes left as they are (as Access leaves them).
  void Release(uint32_t page);

 private:
  uint32_t Append();
  void Mark(uint32_t page, bool free);
  bool IsFree(uint32_t page);

  store::PageOverlay& pages_;
  Format format_;
  // Pages the map listed as free when first asked, lowest last. Each is checked against the
  // map again before use: a rolled-back operation may have taken a release back.
  std::vector<uint32_t> candidates_;
  bool candidates_read_ = false;
};

// Where the global usage map lives.
inline constexpr uint32_t kGlobalUsageMapPointer = (1u << 8) | 0;

// Whether the global usage map of `pages` marks `page` free; a page it does not cover is.
bool MarkedFree(PageSource& pages, Format format, uint32_t page);

// The pages (by number) that the overlay's map marks free and its base's map marks in use,
// and whose bytes are still the base's: those the pending change released. Their bytes
// belong to nothing any more, so a commit need not carry them. A page the base already
// counted free is not among them, so a damaged base map never makes one.
std::vector<bool> PagesFreedSinceBase(store::PageOverlay& pages, Format format);

}  // namespace jet
