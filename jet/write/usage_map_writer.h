#pragma once

#include <cstdint>
#include <functional>

#include "jet/common/format.h"
#include "jet/store/page_overlay.h"

namespace jet {

// What a page the map does not cover counts as: free for the global map, not owned for a
// table's, an index's or a column's map.
enum class Uncovered : uint8_t { kMarked, kUnmarked };

// Sets or clears the bit of `page` in the usage map stored at row pointer `map_pointer`.
// An inline map that does not cover the page grows (its row gets longer), and becomes a
// reference map when its host page cannot hold the longer row; a reference map gets the
// bitmap page it lacks. `new_page` supplies fresh pages for those bitmap pages.
void SetUsageMapBit(store::PageOverlay& pages, Format format, uint32_t map_pointer, uint32_t page, bool marked,
                    Uncovered uncovered, const std::function<uint32_t()>& new_page);

// An empty inline map row covering 8 x `bitmap_bytes` pages from `first_page`.
std::vector<uint8_t> EmptyInlineMap(uint32_t first_page, size_t bitmap_bytes);

}  // namespace jet
