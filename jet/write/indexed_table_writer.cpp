#include "jet/write/indexed_table_writer.h"

#include <utility>

#include "jet/common/error.h"
#include "jet/core/row_codec.h"
#include "jet/write/index_builder.h"
#include "jet/write/index_maintainer.h"

namespace jet {
namespace {

// A change of one row costs a few page reads and writes per index, a rebuild a decoded row
// and an encoded key per row of the table: one change is worth a rebuild of about this many rows.
constexpr size_t kRowsPerChange = 16;

bool SameEntry(const std::optional<IndexEntry>& a, const std::optional<IndexEntry>& b) {
  if (!a || !b) return a.has_value() == b.has_value();
  return a->key == b->key && a->data_page == b->data_page && a->data_row == b->data_row;
}

}  // namespace

bool FewRowsChanged(size_t changed, size_t rows) { return rows > 0 && changed <= rows / kRowsPerChange; }

IndexedTableWriter::IndexedTableWriter(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table,
                                       uint16_t code_page)
    : pages_(pages),
      allocator_(allocator),
      table_(table),
      code_page_(code_page),
      writer_(pages, allocator, table, code_page),
      rows_before_(table.row_count) {}

Row IndexedTableWriter::StoredRow(RowLocation location) {
  const std::vector<uint8_t> bytes = ReadStoredRow(pages_, table_, location);
  return DecodeRow(table_, bytes, DecodeContext{table_.format, code_page_, &pages_});
}

bool IndexedTableWriter::Noting() {
  if (table_.real_indexes.empty() || rebuild_) return false;
  if (FewRowsChanged(changes_.size() + 1, rows_before_)) return true;
  rebuild_ = true;
  std::vector<Change>().swap(changes_);
  return false;
}

RowLocation IndexedTableWriter::Insert(Row values) {
  const RowLocation location = writer_.Insert(std::move(values));
  // Read back: the writer numbers autonumber columns, and keys come from the stored values.
  if (Noting()) changes_.push_back(Change{location, std::nullopt, StoredRow(location)});
  return location;
}

RowLocation IndexedTableWriter::InsertBuilt() {
  const RowLocation location = writer_.InsertBuilt();
  if (Noting()) changes_.push_back(Change{location, std::nullopt, StoredRow(location)});
  return location;
}

void IndexedTableWriter::Update(RowLocation location, const Row& values) {
  const bool noting = Noting();
  std::optional<Row> before;
  if (noting) before = StoredRow(location);
  writer_.Update(location, values);
  if (!noting) return;
  // A row rewritten with the values it had changes no entry and is not counted.
  Row after = StoredRow(location);
  if (after != *before) changes_.push_back(Change{location, std::move(before), std::move(after)});
}

void IndexedTableWriter::Delete(RowLocation location) {
  const bool noting = Noting();
  std::optional<Row> before;
  if (noting) before = StoredRow(location);
  writer_.Delete(location);
  if (noting) changes_.push_back(Change{location, std::move(before), std::nullopt});
}

void IndexedTableWriter::UpdateIndexes() {
  std::vector<size_t> all(table_.real_indexes.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  UpdateIndexes(all);
}

void IndexedTableWriter::UpdateIndexes(const std::vector<size_t>& real_indexes) {
  for (size_t index : real_indexes) {
    if (!rebuild_) {
      try {
        ChangeEntries(index);
        continue;
      } catch (const Error& error) {
        // A tree that does not hold what its rows say: rebuilt from the rows, as before.
        if (error.number() != err::kCorrupt) throw;
      }
    }
    BuildIndexFromRows(pages_, allocator_, table_, index, code_page_);
  }
}

void IndexedTableWriter::ChangeEntries(size_t real_index) {
  for (const Change& change : changes_) {
    const std::optional<IndexEntry> old_entry =
        change.before ? IndexEntryOfRow(table_, real_index, *change.before, change.location) : std::nullopt;
    const std::optional<IndexEntry> new_entry =
        change.after ? IndexEntryOfRow(table_, real_index, *change.after, change.location) : std::nullopt;
    if (SameEntry(old_entry, new_entry)) continue;
    if (old_entry) RemoveIndexEntry(pages_, allocator_, table_, real_index, *old_entry);
    if (new_entry) InsertIndexEntry(pages_, allocator_, table_, real_index, *new_entry);
  }
}

}  // namespace jet
