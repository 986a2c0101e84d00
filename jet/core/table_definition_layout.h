#pragma once

#include <cstddef>
#include <cstdint>

#include "jet/common/format.h"

namespace jet {

// Offsets inside the definition stream and its records, for one format.
struct TableDefinitionLayout {
  size_t header;             // where the column/index counts begin
  size_t header_end;
  size_t count_block;        // bytes per real-index count block
  size_t column_descriptor;
  size_t real_index;
  size_t logical_index;
  // column descriptor
  size_t column_number, variable_index, sort_order, code_page, flags, fixed_offset, length;
  // real index descriptor
  size_t real_columns, real_usage_map, real_first_page, real_flags;
  // logical index descriptor
  size_t logical_number, logical_real, logical_related_type, logical_related_index, logical_related_page,
      logical_cascade_update, logical_cascade_delete, logical_kind;
};

inline constexpr TableDefinitionLayout kJet3Layout{21, 43, 8,  18, 39, 20, 1, 3, 9,  11, 13, 14, 16,
                       0,  30, 34, 38, 0,  4,  8, 9, 13, 17, 18, 19};
inline constexpr TableDefinitionLayout kJet4Layout{41, 63, 12, 25, 52, 28, 5, 7, 11, 0,  15, 21, 23,
                       4,  34, 38, 46, 4,  8,  12, 13, 17, 21, 22, 23};

inline constexpr const TableDefinitionLayout& LayoutOf(Format format) {
  return format == Format::kJet3 ? kJet3Layout : kJet4Layout;
}

inline constexpr size_t kMaxIndexColumns = 10;
inline constexpr uint16_t kNoIndexColumn = 0xFFFF;
inline constexpr uint8_t kAscendingOrder = 0x01;  // the order byte of a descending column is 0x00
inline constexpr uint32_t kDefinitionConstant = 1625;  // Jet 4 header, column and logical index
inline constexpr uint32_t kRealIndexConstant = 1923;   // Jet 4 real index descriptors

}  // namespace jet
