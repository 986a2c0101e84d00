#pragma once
// One entry of an index B-tree page, with its prefix compression already undone.

#include <cstdint>
#include <vector>

namespace jet {

struct IndexEntry {
  // The whole key as it sorts: column flag bytes and encoded values, not a prefix.
  std::vector<uint8_t> key;
  // The row this entry stands for. On an intermediate page these name the last
  // (greatest) row reachable through child_page.
  uint32_t data_page = 0;
  uint8_t data_row = 0;
  // Intermediate pages only: the page one level down; 0 on a leaf.
  uint32_t child_page = 0;

  friend bool operator==(const IndexEntry&, const IndexEntry&) = default;
};

}  // namespace jet
