#pragma once
// The leaf entries of a table's indexes gathered while its rows are read or placed, so that a
// bulk load builds every index without another pass over the rows.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/core/row_codec.h"
#include "jet/core/table_def.h"
#include "jet/core/table_scan.h"
#include "jet/core/value.h"
#include "jet/index/index_entry.h"
#include "jet/index/stored_key.h"
#include "jet/write/index_entry_sorter.h"

namespace jet {

// Where entries go when memory would hold too many. With no path they all stay in memory.
struct EntrySpill {
  std::filesystem::path path;  // the run file, made only when needed
  // Memory the entries of all indexes may take before the largest share goes to the file.
  size_t memory_budget = size_t{64} << 20;
};

class IndexEntryCollector {
 public:
  // Collects for the real indexes of `table` listed in `real_indexes`. Long values of key
  // columns are read from `pages`.
  IndexEntryCollector(const TableDef& table, std::vector<size_t> real_indexes, uint16_t code_page,
                      PageSource& pages, EntrySpill spill = {});

  // One stored row of the table and where it is. Decodes only the key columns. A key that
  // cannot be computed (3251: a character without a known sort weight) marks its index
  // failed instead of raising; other errors raise.
  void Add(std::span<const uint8_t> stored_row, RowLocation location);
  // The same for a row whose layout the caller has read already (ReadRowLayout on the row).
  void Add(const RowLayout& layout, RowLocation location);
  // An entry of the n-th listed index made elsewhere (from another tree, for a failed index).
  void AddEntry(size_t n, std::span<const uint8_t> key, uint32_t data_page, uint8_t data_row);

  // The entries of the n-th listed index in the order Access keeps them (key, then row), as
  // IndexEntriesFromRows gives them, one at a time; the collector keeps none of them after.
  // A failed index gives those AddEntry gave it. The stream reads the spill file, so it must
  // not outlive the collector.
  IndexEntrySorter::Stream Sorted(size_t n);
  // The same, as objects.
  std::vector<IndexEntry> Take(size_t n);
  bool failed(size_t n) const { return collected_.at(n).failed; }
  // Whether some row added had a Null in a key column of the n-th listed index (what a
  // primary key refuses), whether or not the index ignores nulls.
  bool null_in_key(size_t n) const { return collected_.at(n).null_in_key; }
  // Has every index sort its entries in ranges of `entries` as they are added (0: only when
  // read), and SortAdded sort what is left and merge the ranges: for a collector fed on a
  // thread of its own, which then does the sorting.
  void SortInPieces(size_t entries) { piece_ = entries; }
  void SortAdded();
  // Whether keying a row may read pages (long values of key columns): only then must Add run
  // where the pages are not being changed meanwhile.
  bool reads_pages() const { return row_path_long_values_; }
  // Whether entries have gone to the spill file (for tests and diagnostics).
  bool spilled() const { return spill_file_ != nullptr && spill_file_->made(); }

 private:
  struct KeyPart {
    size_t position = 0;  // in table.columns
    bool ascending = true;
  };
  struct Collected {
    size_t real_index = 0;
    bool ignore_nulls = false;
    bool failed = false;
    bool null_in_key = false;
    bool column_missing = false;     // the index names a column the table does not have
    bool stored = true;              // keyed from the stored bytes, not from a decoded row
    std::vector<size_t> key_positions;  // in table.columns, every column with a key's number
    std::vector<KeyPart> parts;         // one per key column, in key order
    IndexEntrySorter entries;
  };
  void KeepWithinBudget();
  void AddKeys(const RowLayout* layout, std::span<const uint8_t> stored_row, RowLocation location);

  const TableDef& table_;
  uint16_t code_page_;
  PageSource& pages_;
  EntrySpill spill_;
  std::unique_ptr<EntrySpillFile> spill_file_;
  std::vector<size_t> stored_columns_;  // the key columns of the indexes keyed from stored bytes
  std::vector<bool> wanted_;            // the key columns of the indexes keyed from decoded rows
  bool row_path_ = false;               // some index is keyed from decoded rows
  bool row_path_long_values_ = false;   // ... and those need long values read
  std::vector<StoredKeyValue> values_;  // per column, of the row being keyed
  std::vector<std::u16string> units_;   // per column: text converted for its key
  std::vector<uint8_t> row_copy_;       // the row, when reading long values may move its page
  std::vector<Collected> collected_;
  std::vector<uint8_t> key_;  // reused from row to row
  size_t piece_ = 0;          // entries sorted at a time (SortInPieces)
};

}  // namespace jet
