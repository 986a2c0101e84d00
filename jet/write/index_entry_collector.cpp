#include "jet/write/index_entry_collector.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "jet/common/error.h"
#include "jet/core/row_codec.h"
#include "jet/index/key_encoder.h"

namespace jet {

IndexEntryCollector::IndexEntryCollector(const TableDef& table, std::vector<size_t> real_indexes, uint16_t code_page,
                                         PageSource& pages, EntrySpill spill)
    : table_(table), code_page_(code_page), pages_(pages), spill_(std::move(spill)),
      wanted_(table.columns.size(), false), values_(table.columns.size()), units_(table.columns.size()) {
  if (!spill_.path.empty()) spill_file_ = std::make_unique<EntrySpillFile>(spill_.path);
  std::vector<bool> stored(table.columns.size(), false);
  for (size_t real : real_indexes) {
    if (real >= table.real_indexes.size()) throw Error(err::kItemNotFound, "Item not found in this collection.");
    const RealIndexDef& index = table.real_indexes[real];
    Collected collected;
    collected.real_index = real;
    collected.ignore_nulls = (index.flags & index_flag::kIgnoreNulls) != 0;
    for (const IndexColumnDef& key : index.columns) {
      bool found = false;
      for (size_t c = 0; c < table.columns.size(); ++c) {
        if (table.columns[c].number != key.column_number) continue;
        collected.key_positions.push_back(c);
        collected.stored = collected.stored && StoredKeyApplies(table.columns[c], table.format);
        // The key takes the first column of the number, as the key encoder looks it up.
        if (!found) collected.parts.push_back(KeyPart{c, key.ascending});
        found = true;
      }
      if (!found) collected.column_missing = true;
    }
    for (size_t c : collected.key_positions) {
      if (collected.stored) {
        stored[c] = true;
      } else {
        wanted_[c] = true;
        row_path_ = true;
        row_path_long_values_ = row_path_long_values_ || table.columns[c].long_value();
      }
    }
    collected_.push_back(std::move(collected));
  }
  for (size_t c = 0; c < stored.size(); ++c)
    if (stored[c]) stored_columns_.push_back(c);
}

void IndexEntryCollector::Add(std::span<const uint8_t> stored_row, RowLocation location) {
  AddKeys(nullptr, stored_row, location);
}

void IndexEntryCollector::Add(const RowLayout& layout, RowLocation location) {
  AddKeys(&layout, layout.row, location);
}

void IndexEntryCollector::AddKeys(const RowLayout* given_layout, std::span<const uint8_t> stored_row,
                                  RowLocation location) {
  // Reading a long value may fetch pages into the buffer the row lies in; the stored values
  // below view the row, so they view a copy of it then.
  std::span<const uint8_t> bytes = stored_row;
  if (row_path_long_values_) {
    row_copy_.assign(stored_row.begin(), stored_row.end());
    bytes = row_copy_;
    given_layout = nullptr;
  }
  if (!stored_columns_.empty()) {
    std::optional<RowLayout> own_layout;
    if (given_layout == nullptr) own_layout.emplace(ReadRowLayout(table_, bytes, table_.format));
    const RowLayout& layout = given_layout != nullptr ? *given_layout : *own_layout;
    for (size_t c : stored_columns_) {
      const ColumnDef& column = table_.columns[c];
      try {
        values_[c] = ReadStoredKeyValue(layout, column, units_[c]);
      } catch (const Error& error) {
        if (error.number() != err::kCorrupt) throw;
        throw Error(err::kCorrupt, std::string(error.what()) + " (column '" + column.name + "' of table '" +
                                       table_.name + "')");
      }
    }
  }
  Row row;
  if (row_path_) row = DecodeRowColumns(table_, bytes, DecodeContext{table_.format, code_page_, &pages_}, wanted_);
  bool added = false;
  for (Collected& collected : collected_) {
    if (collected.failed) continue;
    size_t nulls = 0;
    for (size_t c : collected.key_positions)
      nulls += collected.stored ? values_[c].kind == StoredKeyValue::Kind::kNull : IsNull(row[c]);
    collected.null_in_key |= nulls != 0;
    if (collected.ignore_nulls && nulls == collected.key_positions.size()) continue;
    try {
      // What EncodeIndexKey gives, into a buffer kept from row to row.
      if (collected.column_missing) {
        if (collected.stored) throw Error(err::kNotSupported, "Cannot build an index key: a key column is missing.");
        EncodeIndexKey(table_, table_.real_indexes[collected.real_index], row, table_.format);
      }
      key_.clear();
      for (const KeyPart& part : collected.parts) {
        if (collected.stored) {
          AppendStoredColumnKey(key_, table_.columns[part.position], values_[part.position], part.ascending);
        } else {
          AppendColumnKey(key_, table_.columns[part.position], row[part.position], part.ascending, table_.format);
        }
      }
    } catch (const Error& error) {
      if (error.number() != err::kNotSupported) throw;
      collected.failed = true;
      collected.entries.Clear();
      continue;
    }
    collected.entries.Add(key_, location.page, static_cast<uint8_t>(location.slot));
    if (piece_ != 0 && collected.entries.unsorted() >= piece_) collected.entries.SortAdded();
    added = true;
  }
  if (added) KeepWithinBudget();
}

void IndexEntryCollector::SortAdded() {
  for (Collected& collected : collected_) collected.entries.MergeRanges();
}

void IndexEntryCollector::AddEntry(size_t n, std::span<const uint8_t> key, uint32_t data_page, uint8_t data_row) {
  collected_.at(n).entries.Add(key, data_page, data_row);
  KeepWithinBudget();
}

void IndexEntryCollector::KeepWithinBudget() {
  if (!spill_file_) return;
  size_t total = 0;
  Collected* largest = nullptr;
  for (Collected& collected : collected_) {
    const size_t bytes = collected.entries.memory_bytes();
    total += bytes;
    if (largest == nullptr || bytes > largest->entries.memory_bytes()) largest = &collected;
  }
  // The largest share goes, so that each run is as long as the budget lets it be.
  if (total > spill_.memory_budget && largest != nullptr) largest->entries.Spill(*spill_file_);
}

IndexEntrySorter::Stream IndexEntryCollector::Sorted(size_t n) {
  return collected_.at(n).entries.Sorted(spill_file_.get(), spill_.memory_budget);
}

std::vector<IndexEntry> IndexEntryCollector::Take(size_t n) {
  std::vector<IndexEntry> entries;
  if (collected_.at(n).failed) return entries;
  entries.reserve(static_cast<size_t>(collected_.at(n).entries.size()));
  IndexEntrySorter::Stream stream = Sorted(n);
  for (IndexEntryView view; stream.Next(view);) {
    IndexEntry entry;
    entry.key.assign(view.key.begin(), view.key.end());
    entry.data_page = view.data_page;
    entry.data_row = view.data_row;
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace jet
