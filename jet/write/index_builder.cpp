#include "jet/write/index_builder.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <set>

#include "jet/common/error.h"
#include "jet/core/row_codec.h"
#include "jet/core/table_scan.h"
#include "jet/core/usage_map.h"
#include "jet/index/index_page.h"
#include "jet/index/index_reader.h"
#include "jet/index/key_encoder.h"
#include "jet/write/index_entry_collector.h"
#include "jet/write/index_entry_sorter.h"
#include "jet/write/index_page_writer.h"
#include "jet/write/keying_thread.h"
#include "jet/write/usage_map_writer.h"

namespace jet {
namespace {

const RealIndexDef& RealIndexAt(const TableDef& table, size_t real_index) {
  if (real_index >= table.real_indexes.size())
    throw Error(err::kItemNotFound, "Item not found in this collection.");
  return table.real_indexes[real_index];
}

bool AllKeyColumnsNull(const TableDef& table, const RealIndexDef& index, const Row& row) {
  for (const IndexColumnDef& column : index.columns) {
    for (size_t i = 0; i < table.columns.size(); ++i)
      if (table.columns[i].number == column.column_number && i < row.size() && !std::holds_alternative<std::monostate>(row[i])) return false;
  }
  return true;
}

// A page written for the level above: its number and the last entry reachable through it.
struct Written {
  uint32_t page = 0;
  IndexEntry last;
};

// Splits `entries` into runs that each fill one page as Access fills it: as many entries as
// fit once compressed with the prefix they all share.
std::vector<std::span<const IndexEntry>> FillPages(std::span<const IndexEntry> entries, uint8_t type,
                                                   Format format) {
  const size_t capacity = IndexPageEntryCapacity(format);
  const size_t pointer = type == kIndexLeafPageType ? 4 : 8;
  std::vector<std::span<const IndexEntry>> runs;
  size_t start = 0;
  while (start < entries.size()) {
    const IndexEntry& first = entries[start];
    if (first.key.size() + pointer > capacity) throw Error(err::kNotSupported, "An index key is too long for a page.");
    size_t prefix = std::min(first.key.size(), kMaxIndexPrefix);
    size_t later_bytes = 0;  // later entries' key lengths plus pointers
    size_t end = start + 1;
    for (; end < entries.size(); ++end) {
      const size_t next_prefix = std::min(prefix, CommonPrefix(first.key, entries[end].key));
      const size_t next_bytes = later_bytes + entries[end].key.size() + pointer;
      const size_t count = end - start;  // later entries including this one
      if (first.key.size() + pointer + next_bytes - count * next_prefix > capacity) break;
      prefix = next_prefix;
      later_bytes = next_bytes;
    }
    runs.push_back(entries.subspan(start, end - start));
    start = end;
  }
  return runs;
}

// Writes one level; returns what the level above must point at.
std::vector<Written> WriteLevel(store::PageOverlay& pages, PageAllocator& allocator, uint32_t owner,
                                std::span<const IndexEntry> entries, uint8_t type, Format format,
                                std::vector<uint32_t>& tree_pages, const std::vector<Written>& children) {
  std::vector<std::span<const IndexEntry>> runs;
  std::vector<uint32_t> tails;
  if (type == kIndexLeafPageType) {
    runs = FillPages(entries, type, format);
    if (runs.empty()) runs.push_back({});
  } else {
    // Each intermediate page names all its children but the last in entries; the last is its tail.
    // Fill with the entries, and take the child after each run as that page's tail.
    size_t start = 0;
    while (start < children.size()) {
      auto fitted = FillPages(entries.subspan(start, entries.size() - start), type, format);
      size_t take = fitted.empty() ? 0 : fitted.front().size();
      if (start + take >= children.size()) take = children.size() - start - 1;
      runs.push_back(entries.subspan(start, take));
      tails.push_back(children[start + take].page);
      start += take + 1;
    }
  }
  std::vector<uint32_t> numbers;
  for (size_t i = 0; i < runs.size(); ++i) {
    numbers.push_back(allocator.Allocate());
    tree_pages.push_back(numbers.back());
  }
  std::vector<Written> written;
  size_t child_cursor = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    IndexPageFrame frame;
    frame.type = type;
    frame.owner = owner;
    frame.previous_page = i == 0 ? 0 : numbers[i - 1];
    frame.next_page = i + 1 == runs.size() ? 0 : numbers[i + 1];
    if (type != kIndexLeafPageType) frame.tail_page = tails[i];
    // The rightmost page of a level grows by appends in Access and is left uncompressed.
    if (i + 1 == runs.size() && EncodedEntriesSize(runs[i], type, 0) <= IndexPageEntryCapacity(format))
      frame.prefix_length = 0;
    const std::vector<uint8_t> bytes = EncodeIndexPage(frame, runs[i], format);
    std::span<uint8_t> target = pages.MutablePage(numbers[i]);
    std::copy(bytes.begin(), bytes.end(), target.begin());
    pages.SpillIfOverBudget();
    Written w;
    w.page = numbers[i];
    if (type == kIndexLeafPageType) {
      if (!runs[i].empty()) w.last = runs[i].back();
    } else {
      child_cursor += runs[i].size() + 1;
      w.last = children[child_cursor - 1].last;
    }
    w.last.child_page = 0;
    written.push_back(std::move(w));
  }
  return written;
}

// Leaves written as their entries arrive, each page filled as FillPages fills it: the next
// page's number is taken only once an entry does not fit, so the numbers come from the
// allocator in the order a whole-level write takes them. The page being filled is the only
// one held.
class LeafWriter {
 public:
  LeafWriter(store::PageOverlay& pages, PageAllocator& allocator, uint32_t owner, Format format,
             std::vector<uint32_t>& tree_pages, const std::function<void()>& after_leaf)
      : pages_(pages), allocator_(allocator), owner_(owner), format_(format), capacity_(IndexPageEntryCapacity(format)),
        tree_pages_(tree_pages), after_leaf_(after_leaf) {}

  void Add(std::span<const uint8_t> key, uint32_t data_page, uint8_t data_row) {
    if (count_ == 0) {
      Start(key, data_page, data_row);
      return;
    }
    const std::vector<uint8_t>& first = run_[0].key;
    const size_t next_prefix = std::min(prefix_, CommonPrefix(first, key));
    const size_t next_bytes = later_bytes_ + key.size() + kPointer;
    if (first.size() + kPointer + next_bytes - count_ * next_prefix > capacity_) {
      Write(false);
      Start(key, data_page, data_row);
      return;
    }
    prefix_ = next_prefix;
    later_bytes_ = next_bytes;
    Put(key, data_page, data_row);
  }

  // The entry added last (there must be one): the builder checks the order against it.
  const IndexEntry& last() const { return run_[count_ - 1]; }

  // The last page; an empty level is one empty leaf.
  std::vector<Written> Finish() {
    if (number_ == 0) Number();
    Write(true);
    return std::move(written_);
  }

 private:
  static constexpr size_t kPointer = 4;

  void Number() {
    number_ = allocator_.Allocate();
    tree_pages_.push_back(number_);
  }

  void Start(std::span<const uint8_t> key, uint32_t data_page, uint8_t data_row) {
    if (key.size() + kPointer > capacity_) throw Error(err::kNotSupported, "An index key is too long for a page.");
    if (number_ == 0) Number();
    prefix_ = std::min(key.size(), kMaxIndexPrefix);
    later_bytes_ = 0;
    Put(key, data_page, data_row);
  }

  // Entries are kept in objects reused page after page, so a long build allocates nothing
  // per entry.
  void Put(std::span<const uint8_t> key, uint32_t data_page, uint8_t data_row) {
    if (count_ == run_.size()) run_.emplace_back();
    IndexEntry& entry = run_[count_++];
    entry.key.assign(key.begin(), key.end());
    entry.data_page = data_page;
    entry.data_row = data_row;
    entry.child_page = 0;
  }

  void Write(bool last) {
    const std::span<const IndexEntry> entries(run_.data(), count_);
    const uint32_t number = number_;
    IndexPageFrame frame;
    frame.type = kIndexLeafPageType;
    frame.owner = owner_;
    frame.previous_page = previous_;
    if (!last) {
      Number();
      frame.next_page = number_;
    }
    // The rightmost page of a level grows by appends in Access and is left uncompressed.
    if (last && EncodedEntriesSize(entries, kIndexLeafPageType, 0) <= capacity_) frame.prefix_length = 0;
    const std::vector<uint8_t> bytes = EncodeIndexPage(frame, entries, format_);
    std::span<uint8_t> target = pages_.MutablePage(number);
    std::copy(bytes.begin(), bytes.end(), target.begin());
    Written w;
    w.page = number;
    if (count_ > 0) w.last = entries.back();
    w.last.child_page = 0;
    written_.push_back(std::move(w));
    previous_ = number;
    count_ = 0;
    // The run is held as copies, no page is: a spilling overlay may free memory here.
    pages_.SpillIfOverBudget();
    if (after_leaf_) after_leaf_();
  }

  store::PageOverlay& pages_;
  PageAllocator& allocator_;
  uint32_t owner_;
  Format format_;
  size_t capacity_;
  std::vector<uint32_t>& tree_pages_;
  const std::function<void()>& after_leaf_;
  std::vector<IndexEntry> run_;
  size_t count_ = 0;
  size_t prefix_ = 0;
  size_t later_bytes_ = 0;  // later entries' key lengths plus pointers
  uint32_t number_ = 0;     // the page being filled; 0 before the first
  uint32_t previous_ = 0;
  std::vector<Written> written_;
};

// The intermediate levels over `level` (the leaves), up to one root; then the index's
// definition words and usage map.
void WriteUpperLevels(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, RealIndexDef& index,
                      std::vector<Written> level, std::vector<uint32_t>& tree_pages, uint32_t entry_count,
                      uint32_t unique) {
  for (size_t depth = 1; level.size() > 1; ++depth) {
    if (depth >= kMaxIndexDepth) throw Error(err::kNotSupported, "The index tree is too deep.");
    std::vector<IndexEntry> upper;
    for (size_t i = 0; i + 1 < level.size(); ++i) {
      IndexEntry e = level[i].last;
      e.child_page = level[i].page;
      upper.push_back(std::move(e));
    }
    level = WriteLevel(pages, allocator, table.definition_page, upper, kIndexIntermediatePageType, table.format,
                       tree_pages, level);
  }
  index.first_page = level.front().page;
  index.row_count = entry_count;
  index.unique_entry_count = unique;
  if (index.usage_map_pointer != 0)
    for (uint32_t page : tree_pages)
      SetUsageMapBit(pages, table.format, index.usage_map_pointer, page, true, Uncovered::kUnmarked,
                     [&allocator] { return allocator.Allocate(); });
}

void ClearMap(store::PageOverlay& pages, PageAllocator& allocator, Format format, uint32_t map_pointer,
              const std::set<uint32_t>& tree) {
  for (uint32_t page : tree)
    SetUsageMapBit(pages, format, map_pointer, page, false, Uncovered::kUnmarked,
                   [&allocator] { return allocator.Allocate(); });
}

std::set<uint32_t> OldTreePages(store::PageOverlay& pages, const TableDef& table, const RealIndexDef& index) {
  std::set<uint32_t> tree;
  if (index.usage_map_pointer != 0) {
    for (uint32_t page : ReadUsageMap(pages, table.format, index.usage_map_pointer).pages)
      if (page < pages.page_count() && IsIndexPage(pages.Page(page))) tree.insert(page);
  }
  if (index.first_page != 0 && index.first_page < pages.page_count() && IsIndexPage(pages.Page(index.first_page))) {
    const std::vector<uint32_t> reached =
        IndexTreePages(pages, table.format, index.first_page, table.definition_page);
    tree.insert(reached.begin(), reached.end());
  }
  return tree;
}

}  // namespace

bool IndexEntryLess(const IndexEntry& a, const IndexEntry& b) {
  if (a.key != b.key) return KeyLess(a.key, b.key);
  if (a.data_page != b.data_page) return a.data_page < b.data_page;
  return a.data_row < b.data_row;
}

bool IsAllNullKey(const RealIndexDef& index, std::span<const uint8_t> key) {
  if (key.size() != index.columns.size()) return false;
  for (size_t i = 0; i < key.size(); ++i)
    if (key[i] != (index.columns[i].ascending ? key_flag::kAscendingNull : key_flag::kDescendingNull)) return false;
  return true;
}

std::optional<IndexEntry> IndexEntryOfRow(const TableDef& table, size_t real_index, const Row& row,
                                          RowLocation location) {
  const RealIndexDef& index = RealIndexAt(table, real_index);
  if ((index.flags & index_flag::kIgnoreNulls) != 0 && AllKeyColumnsNull(table, index, row)) return std::nullopt;
  IndexEntry entry;
  entry.key = EncodeIndexKey(table, index, row, table.format);
  entry.data_page = location.page;
  entry.data_row = static_cast<uint8_t>(location.slot);
  return entry;
}

void ThrowDuplicateIndexKey() {
  throw Error(err::kDuplicateKey,
              "The changes you requested to the table were not successful because they would create duplicate "
              "values in the index, primary key, or relationship. Change the data in the field or fields that "
              "contain duplicate data, remove the index, or redefine the index to permit duplicate entries and "
              "try again.");
}

namespace {

// Which columns of `table` the keys of `index` are made of.
std::vector<bool> KeyColumns(const TableDef& table, const RealIndexDef& index) {
  std::vector<bool> key_columns(table.columns.size(), false);
  for (const IndexColumnDef& key : index.columns)
    for (size_t c = 0; c < table.columns.size(); ++c)
      if (table.columns[c].number == key.column_number) key_columns[c] = true;
  return key_columns;
}

}  // namespace

std::vector<IndexEntry> IndexEntriesFromRows(PageSource& pages, const TableDef& table, size_t real_index,
                                             uint16_t code_page) {
  const RealIndexDef& index = RealIndexAt(table, real_index);
  const DecodeContext context{table.format, code_page, &pages};
  const std::vector<bool> key_columns = KeyColumns(table, index);  // the only ones decoded
  std::vector<IndexEntry> entries;
  TableScan scan(pages, table);
  while (scan.Next()) {
    const RowLocation location = scan.location();
    if (auto entry = IndexEntryOfRow(table, real_index, DecodeRowColumns(table, scan.bytes(), context, key_columns),
                                     location))
      entries.push_back(std::move(*entry));
  }
  std::sort(entries.begin(), entries.end(), IndexEntryLess);
  return entries;
}

void BuildIndex(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, size_t real_index,
                std::vector<IndexEntry> entries) {
  RealIndexAt(table, real_index);
  RealIndexDef& index = table.real_indexes[real_index];
  for (IndexEntry& entry : entries) entry.child_page = 0;
  if (!std::is_sorted(entries.begin(), entries.end(), IndexEntryLess))
    std::sort(entries.begin(), entries.end(), IndexEntryLess);
  size_t unique = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i != 0 && entries[i].key == entries[i - 1].key) {
      if ((index.flags & index_flag::kUnique) != 0 && !IsAllNullKey(index, entries[i].key)) ThrowDuplicateIndexKey();
      continue;
    }
    ++unique;
  }

  DeleteIndexPages(pages, allocator, table, real_index);
  std::vector<uint32_t> tree_pages;
  const std::function<void()> no_hook;
  LeafWriter leaves(pages, allocator, table.definition_page, table.format, tree_pages, no_hook);
  for (const IndexEntry& entry : entries) leaves.Add(entry.key, entry.data_page, entry.data_row);
  WriteUpperLevels(pages, allocator, table, index, leaves.Finish(), tree_pages, static_cast<uint32_t>(entries.size()),
                   static_cast<uint32_t>(unique));
}

void BuildIndexFromSorted(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, size_t real_index,
                          const std::function<bool(IndexEntryView&)>& next,
                          const std::function<void()>& after_leaf) {
  RealIndexAt(table, real_index);
  RealIndexDef& index = table.real_indexes[real_index];
  DeleteIndexPages(pages, allocator, table, real_index);
  std::vector<uint32_t> tree_pages;
  LeafWriter leaves(pages, allocator, table.definition_page, table.format, tree_pages, after_leaf);
  const bool unique_index = (index.flags & index_flag::kUnique) != 0;
  uint64_t count = 0, unique = 0;
  for (IndexEntryView entry; next(entry);) {
    if (count > 0) {
      const IndexEntry& previous = leaves.last();
      const std::vector<uint8_t>& previous_key = previous.key;
      const uint32_t previous_page = previous.data_page;
      const uint8_t previous_row = previous.data_row;
      // One comparison of the bytes tells both whether the key repeats and whether it is in
      // order: this runs for every entry of the index.
      const size_t common = std::min(previous_key.size(), entry.key.size());
      int order = common == 0 ? 0 : std::memcmp(previous_key.data(), entry.key.data(), common);
      if (order == 0) order = previous_key.size() < entry.key.size() ? -1 : previous_key.size() > entry.key.size();
      const bool same_key = order == 0;
      const bool in_order = same_key ? (entry.data_page != previous_page ? entry.data_page > previous_page
                                                                          : entry.data_row > previous_row)
                                     : order < 0;
      if (!in_order) throw Error(err::kNotSupported, "Index entries arrived out of order.");
      if (same_key && unique_index && !IsAllNullKey(index, entry.key)) ThrowDuplicateIndexKey();
      unique += !same_key;
    } else {
      unique = 1;
    }
    if (++count > UINT32_MAX) throw Error(err::kNotSupported, "An index cannot hold that many entries.");
    leaves.Add(entry.key, entry.data_page, entry.data_row);
  }
  WriteUpperLevels(pages, allocator, table, index, leaves.Finish(), tree_pages, static_cast<uint32_t>(count),
                   static_cast<uint32_t>(unique));
}

namespace {

constexpr uint32_t kRowsForKeyingThread = 2048;

// The entries keyed as every row is decoded: the way that raises what the decoder and the key
// encoder raise, kept for the rows the stored keys cannot take.
IndexEntrySorter EntriesFromDecodedRows(store::PageOverlay& pages, const TableDef& table, size_t real_index,
                                        uint16_t code_page, bool refuse_null_keys) {
  const RealIndexDef& index = RealIndexAt(table, real_index);
  const DecodeContext context{table.format, code_page, &pages};
  const std::vector<bool> key_columns = KeyColumns(table, index);  // the only ones decoded
  IndexEntrySorter entries;
  // A Null anywhere in a primary key is what is raised, even after a row whose key cannot be
  // made: that error waits until the scan has found no Null.
  std::exception_ptr unkeyable;
  TableScan scan(pages, table);
  while (scan.Next()) {
    const RowLocation location = scan.location();
    const Row row = DecodeRowColumns(table, scan.bytes(), context, key_columns);
    if (refuse_null_keys)
      for (size_t c = 0; c < row.size(); ++c)
        if (key_columns[c] && IsNull(row[c])) ThrowNullInPrimaryKey();
    if (!unkeyable) {
      try {
        if (auto entry = IndexEntryOfRow(table, real_index, row, location))
          entries.Add(entry->key, location.page, static_cast<uint8_t>(location.slot));
      } catch (const Error&) {
        if (!refuse_null_keys) throw;
        unkeyable = std::current_exception();
      }
    }
    pages.SpillIfOverBudget();
  }
  if (unkeyable) std::rethrow_exception(unkeyable);
  return entries;
}

}  // namespace

void ThrowNullInPrimaryKey() { throw Error(3058, "Index or primary key cannot contain a Null value."); }

void BuildIndexFromRows(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, size_t real_index,
                        uint16_t code_page, bool refuse_null_keys) {
  RealIndexAt(table, real_index);
  // Keys taken from the stored bytes spare decoding each row into Values. When they cannot
  // be had for every row, or the scan meets anything wrong, the decoding scan runs instead,
  // so that the error raised (or the build made) is exactly the one it gives.
  std::optional<IndexEntryCollector> keyed;
  try {
    keyed.emplace(table, std::vector<size_t>{real_index}, code_page, pages);
    // Keys that need no pages are made on a second thread while this one reads the rows: the
    // thread takes copies of them, so the pages may spill meanwhile. A few rows are not worth
    // a thread.
    std::optional<KeyingThread> keying;
    if (!keyed->reads_pages() && table.row_count >= kRowsForKeyingThread) keying.emplace(*keyed);
    TableScan scan(pages, table);
    while (scan.Next()) {
      if (keying) {
        keying->Add(scan.bytes(), scan.location());
      } else {
        keyed->Add(scan.bytes(), scan.location());
      }
      pages.SpillIfOverBudget();
    }
    if (keying) keying->Finish();
    if (keyed->failed(0)) keyed.reset();
  } catch (const std::exception&) {
    keyed.reset();
  }
  std::optional<IndexEntrySorter> decoded;
  if (!keyed) decoded.emplace(EntriesFromDecodedRows(pages, table, real_index, code_page, refuse_null_keys));
  if (keyed && refuse_null_keys && keyed->null_in_key(0)) ThrowNullInPrimaryKey();
  // The sorted build raises 3022 at a unique index's first duplicate; the caller's change is
  // undone with whatever it wrote by then.
  IndexEntrySorter::Stream sorted = keyed ? keyed->Sorted(0) : decoded->Sorted(nullptr, 0);
  BuildIndexFromSorted(
      pages, allocator, table, real_index, [&sorted](IndexEntryView& view) { return sorted.Next(view); }, {});
}

void DeleteIndexPages(store::PageOverlay& pages, PageAllocator& allocator, const TableDef& table,
                      size_t real_index) {
  const RealIndexDef& index = RealIndexAt(table, real_index);
  const std::set<uint32_t> tree = OldTreePages(pages, table, index);
  if (index.usage_map_pointer != 0) ClearMap(pages, allocator, table.format, index.usage_map_pointer, tree);
  for (uint32_t page : tree) allocator.Release(page);
}

}  // namespace jet
