#pragma once
// The leaf entries of a table's indexes gathered while its rows are read or placed, so that a
// bulk load builds every index without another pass over the rows.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/core/table_def.h"
#include "jet/core/table_scan.h"
#include "jet/index/index_entry.h"

namespace jet {

class IndexEntryCollector {
 public:
  // Collects for the real indexes of `table` listed in `real_indexes`. Long values of key
  // columns are read from `pages`.
  IndexEntryCollector(const TableDef& table, std::vector<size_t> real_indexes, uint16_t code_page,
                      PageSource& pages);

  // One stored row of the table and where it is. Decodes only the key columns. A key that
  // cannot be computed (3251: a character without a known sort weight) marks its index
  // failed instead of raising; other errors raise.
  void Add(std::span<const uint8_t> stored_row, RowLocation location);

  // The entries of the n-th listed index in the order Access keeps them (key, then row), as
  // IndexEntriesFromRows gives them. Empty for a failed index.
  std::vector<IndexEntry> Take(size_t n);
  bool failed(size_t n) const { return collected_.at(n).failed; }

 private:
  // An entry kept small: a million-row table has millions of them until its indexes are built.
  struct Slot {
    uint64_t key_head = 0;    // the key's first 8 bytes, big-endian, zero-padded: most
                              // comparisons of a sort end here
    uint64_t key_offset = 0;  // in key_bytes
    uint32_t data_page = 0;
    uint16_t key_length = 0;
    uint8_t data_row = 0;
  };
  struct Collected {
    size_t real_index = 0;
    bool ignore_nulls = false;
    bool failed = false;
    std::vector<size_t> key_positions;  // in table.columns
    std::vector<uint8_t> key_bytes;     // every key, one after another
    std::vector<Slot> slots;
  };

  const TableDef& table_;
  uint16_t code_page_;
  PageSource& pages_;
  std::vector<bool> wanted_;  // the key columns of all listed indexes
  std::vector<Collected> collected_;
};

}  // namespace jet
