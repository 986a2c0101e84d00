#pragma once

#include <cstdint>
#include <vector>

#include "jet/common/format.h"
#include "jet/common/page_source.h"

namespace jet {

// Usage maps: bitmaps of pages stored as a row (inline, type 0) or as a row of pointers to
// bitmap pages (reference, type 1). They say which pages a table, an index or a long-value
// column owns, and (page 1) which pages of the file are free.
enum class UsageMapKind : uint8_t { kInline = 0, kReference = 1 };

struct UsageMap {
  UsageMapKind kind = UsageMapKind::kInline;
  uint32_t first_page = 0;        // inline maps: the page bit 0 stands for
  std::vector<uint32_t> pages;    // the pages whose bit is set, ascending
};

// Reads the map stored at the row pointer `pointer` (page << 8 | row). Raises a
// corrupt-database error for a pointer to a missing row, an unknown map kind or a bitmap
// page that is not one.
UsageMap ReadUsageMap(PageSource& pages, Format format, uint32_t pointer);

// Pages each bitmap page of a reference map covers.
inline constexpr uint32_t PagesPerBitmapPage(Format format) { return (PageSizeOf(format) - 4) * 8; }

}  // namespace jet
