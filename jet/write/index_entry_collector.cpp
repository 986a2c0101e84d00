#include "jet/write/index_entry_collector.h"

#include <algorithm>
#include <cstdint>

#include "jet/common/error.h"
#include "jet/core/row_codec.h"
#include "jet/index/index_reader.h"
#include "jet/index/key_encoder.h"

namespace jet {

IndexEntryCollector::IndexEntryCollector(const TableDef& table, std::vector<size_t> real_indexes, uint16_t code_page,
                                         PageSource& pages)
    : table_(table), code_page_(code_page), pages_(pages), wanted_(table.columns.size(), false) {
  for (size_t real : real_indexes) {
    if (real >= table.real_indexes.size()) throw Error(err::kItemNotFound, "Item not found in this collection.");
    const RealIndexDef& index = table.real_indexes[real];
    Collected collected;
    collected.real_index = real;
    collected.ignore_nulls = (index.flags & index_flag::kIgnoreNulls) != 0;
    for (const IndexColumnDef& key : index.columns) {
      for (size_t c = 0; c < table.columns.size(); ++c) {
        if (table.columns[c].number != key.column_number) continue;
        collected.key_positions.push_back(c);
        wanted_[c] = true;
      }
    }
    collected_.push_back(std::move(collected));
  }
}

void IndexEntryCollector::Add(std::span<const uint8_t> stored_row, RowLocation location) {
  const Row row = DecodeRowColumns(table_, stored_row, DecodeContext{table_.format, code_page_, &pages_}, wanted_);
  for (Collected& collected : collected_) {
    if (collected.failed) continue;
    if (collected.ignore_nulls &&
        std::all_of(collected.key_positions.begin(), collected.key_positions.end(),
                    [&](size_t c) { return IsNull(row[c]); }))
      continue;
    std::vector<uint8_t> key;
    try {
      key = EncodeIndexKey(table_, table_.real_indexes[collected.real_index], row, table_.format);
    } catch (const Error& error) {
      if (error.number() != err::kNotSupported) throw;
      collected.failed = true;
      collected.key_bytes = {};
      collected.slots = {};
      continue;
    }
    if (key.size() > UINT16_MAX) throw Error(err::kNotSupported, "An index key is too long for a page.");
    uint64_t head = 0;
    for (size_t i = 0; i < 8; ++i) head = (head << 8) | (i < key.size() ? key[i] : 0);
    collected.slots.push_back(Slot{head, collected.key_bytes.size(), location.page,
                                   static_cast<uint16_t>(key.size()), static_cast<uint8_t>(location.slot)});
    collected.key_bytes.insert(collected.key_bytes.end(), key.begin(), key.end());
  }
}

std::vector<IndexEntry> IndexEntryCollector::Take(size_t n) {
  Collected& collected = collected_.at(n);
  std::vector<Slot> slots = std::move(collected.slots);
  const std::vector<uint8_t> bytes = std::move(collected.key_bytes);
  collected.slots = {};
  collected.key_bytes = {};
  auto key_of = [&](const Slot& slot) {
    return std::span<const uint8_t>(bytes.data() + slot.key_offset, slot.key_length);
  };
  // Rows arrive in the order they were placed, which is nearly always by page and row: a
  // stable sort by key alone then gives the full order, and the check catches the rest.
  auto by_place = [](const Slot& a, const Slot& b) {
    return a.data_page != b.data_page ? a.data_page < b.data_page : a.data_row < b.data_row;
  };
  if (!std::is_sorted(slots.begin(), slots.end(), by_place)) std::stable_sort(slots.begin(), slots.end(), by_place);
  // Zero padding keeps the order: heads that differ order their keys as the keys would.
  std::stable_sort(slots.begin(), slots.end(), [&](const Slot& a, const Slot& b) {
    if (a.key_head != b.key_head) return a.key_head < b.key_head;
    return KeyLess(key_of(a), key_of(b));
  });
  std::vector<IndexEntry> entries;
  entries.reserve(slots.size());
  for (const Slot& slot : slots) {
    IndexEntry entry;
    const auto key = key_of(slot);
    entry.key.assign(key.begin(), key.end());
    entry.data_page = slot.data_page;
    entry.data_row = slot.data_row;
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace jet
