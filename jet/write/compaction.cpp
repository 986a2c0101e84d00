#include "jet/write/compaction.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/core/catalog.h"
#include "jet/core/data_page.h"
#include "jet/core/database.h"
#include "jet/core/row_codec.h"
#include "jet/core/schema_info.h"
#include "jet/core/table_scan.h"
#include "jet/index/index_reader.h"
#include "jet/store/file_io.h"
#include "jet/store/output_page_file.h"
#include "jet/store/page_overlay.h"
#include "jet/store/shadow_commit.h"
#include "jet/store/write_session.h"
#include "jet/write/data_page_writer.h"
#include "jet/write/index_builder.h"
#include "jet/write/index_entry_collector.h"
#include "jet/write/keying_thread.h"
#include "jet/write/merging_thread.h"
#include "jet/write/page_allocator.h"
#include "jet/write/row_copy_progress.h"
#include "jet/write/table_definition_writer.h"
#include "jet/write/table_writer.h"
#include "jet/write/usage_map_rows.h"

namespace jet {
namespace {

// Changed pages kept in memory before they go to the file: a few megabytes, whatever the
// size of the database.
constexpr size_t kPagesHeldInMemory = 2048;

// Pages that go to the file in one write when the changed ones are flushed.
constexpr size_t kPagesPerWrite = 256;

// Rows a table needs (by its stored count) for its keys to be made on a thread of their own.
constexpr uint32_t kRowsForKeyingThread = 2048;
std::optional<uint32_t> keying_thread_rows_for_testing;
uint32_t RowsForKeyingThread() { return keying_thread_rows_for_testing.value_or(kRowsForKeyingThread); }

// What the row-copy progress names as the copy's target.
constexpr char kProgressName[] = "compattamento";

// Columns of the system tables that hold catalog object ids. A table's id is the page of its
// definition, so these follow the definitions to their new pages. Other objects (containers,
// queries, forms) have ids of their own that no page number can equal.
struct ObjectIdColumn {
  const char* table;
  const char* column;
};
constexpr ObjectIdColumn kObjectIdColumns[] = {
    {"MSysObjects", "Id"},
    {"MSysObjects", "ParentId"},
    {"MSysACEs", "ObjectId"},
    {"MSysQueries", "ObjectId"},
    {"MSysNavPaneObjectIDs", "Id"},
    {"MSysNavPaneGroupToObjects", "ObjectID"},
};

// Where a row of the source went in the copy; `from` is the source's page and slot as one key.
struct MovedRow {
  uint64_t from = 0;
  RowLocation to;
};
uint64_t LocationKey(uint32_t page, uint32_t slot) { return (uint64_t{page} << 16) | slot; }

// Where the rows of the table being copied went. Only an index whose keys this engine cannot
// compute needs them, so past a bound they wait in a file beside the copy instead of taking
// memory for every row of a large table; the file goes with this object.
class MovedRows {
 public:
  MovedRows(std::filesystem::path path, size_t held) : file_(std::move(path)), limit_(std::max<size_t>(held, 1)) {}

  void Add(const RowLocation& from, const RowLocation& to) {
    held_.push_back({LocationKey(from.page, from.slot), to});
    if (held_.size() >= limit_) WriteHeld();
  }

  // Every row, by its place in the source.
  std::vector<MovedRow> All() {
    std::vector<MovedRow> all;
    all.reserve(static_cast<size_t>(in_file_) + held_.size());
    std::vector<uint8_t> chunk;
    for (uint64_t done = 0; done < in_file_;) {
      const uint64_t count = std::min<uint64_t>(in_file_ - done, kRecordsPerChunk);
      chunk.resize(static_cast<size_t>(count) * kRecord);
      file_.Read(done * kRecord, chunk);
      const ByteReader reader(chunk, "moved rows");
      for (size_t i = 0; i < count; ++i)
        all.push_back({reader.U64(i * kRecord), RowLocation{reader.U32(i * kRecord + 8), reader.U16(i * kRecord + 12)}});
      done += count;
    }
    all.insert(all.end(), held_.begin(), held_.end());
    std::sort(all.begin(), all.end(), [](const MovedRow& a, const MovedRow& b) { return a.from < b.from; });
    return all;
  }

 private:
  static constexpr size_t kRecord = 14;  // source place (8 bytes), page (4), slot (2)
  static constexpr size_t kRecordsPerChunk = 65536;

  void WriteHeld() {
    std::vector<uint8_t> bytes(held_.size() * kRecord);
    for (size_t i = 0; i < held_.size(); ++i) {
      uint8_t* at = bytes.data() + i * kRecord;
      PutU32(at, static_cast<uint32_t>(held_[i].from));
      PutU32(at + 4, static_cast<uint32_t>(held_[i].from >> 32));
      PutU32(at + 8, held_[i].to.page);
      PutU16(at + 12, held_[i].to.slot);
    }
    file_.Append(bytes);
    in_file_ += held_.size();
    held_.clear();
  }

  EntrySpillFile file_;
  size_t limit_;
  std::vector<MovedRow> held_;
  uint64_t in_file_ = 0;
};

class Compactor {
 public:
  Compactor(Database& source, store::OutputPageFile& output, EntrySpill spill, std::filesystem::path moved_rows_path,
            const CompactionProgress& progress)
      : source_(source), output_(output), pages_(output), format_(source.format()),
        code_page_(source.header().code_page), spill_(std::move(spill)), moved_rows_path_(std::move(moved_rows_path)),
        progress_(progress) {}

  void Run() {
    StartFile();
    const std::vector<const TableInfo*> tables = TablesByDefinitionPage();
    for (const TableInfo* table : tables) rows_total_ += table->def.row_count;
    for (const TableInfo* table : tables) {
      if (new_pages_.count(table->def.definition_page) == 0)
        new_pages_[table->def.definition_page] = table->def.definition_page == kCatalogDefinitionPage
                                                      ? kCatalogDefinitionPage
                                                      : allocator_->Allocate();
    }
    for (size_t i = 0; i < tables.size(); ++i) {
      // Two catalog rows naming one definition (a damaged catalog) share one copy of it; the
      // tables are in definition-page order, so such rows are neighbours.
      if (i > 0 && tables[i]->def.definition_page == tables[i - 1]->def.definition_page) continue;
      CopyTable(*tables[i]);
    }
    MarkPagesPastTheEndFree();
    Flush();
    ReportRowCopyProgress(kProgressName, rows_done_, rows_done_);  // the end of the copy
  }

 private:
  // Page 0 as it is (its masked region, the password and the collation stay), page 1 with a
  // global map that knows no free page, page 2 for the catalog's definition.
  void StartFile() {
    PageSource& from = source_.pages();
    for (uint32_t number = 0; number < 3; ++number) pages_.AppendPage();
    const auto header = from.Page(0);
    std::copy(header.begin(), header.end(), pages_.MutablePage(0).begin());
    const auto global = from.Page(1);
    auto page1 = pages_.MutablePage(1);
    std::copy(global.begin(), global.end(), page1.begin());
    if (page1[0] != 0x01 || RowSlotCount(page1, format_) < 1)
      ThrowCorrupt("page 1 does not hold the global usage map");
    if (!ReplaceRow(page1, format_, 0, NewInlineMap(format_)))
      ThrowCorrupt("page 1 has no room for the global usage map");
    allocator_ = std::make_unique<PageAllocator>(pages_, format_);
  }

  std::vector<const TableInfo*> TablesByDefinitionPage() const {
    std::vector<const TableInfo*> tables;
    for (const TableInfo& table : source_.tables())
      if (table.object.type == object_type::kTable && !table.def.columns.empty()) tables.push_back(&table);
    std::stable_sort(tables.begin(), tables.end(), [](const TableInfo* a, const TableInfo* b) {
      return a->def.definition_page < b->def.definition_page;
    });
    if (tables.empty() || tables.front()->def.definition_page != kCatalogDefinitionPage)
      ThrowCorrupt("the catalog does not describe itself");
    return tables;
  }

  // Map rows of all tables share host pages, filled one after another: a page per table
  // would make the copy larger than the source for a database of many small tables.
  uint32_t NewMapRow() {
    if (map_host_ == 0) {
      map_host_ = allocator_->Allocate();
      InitDataPage(pages_.MutablePage(map_host_), format_, 0);
    }
    const uint32_t pointer = AddUsageMapRow(pages_, *allocator_, format_, map_host_, NewInlineMap(format_));
    map_host_ = pointer >> 8;
    return pointer;
  }

  void CopyTable(const TableInfo& info) {
    TableDef table = info.def;
    table.definition_page = new_pages_.at(info.def.definition_page);
    table.definition_pages = {table.definition_page};
    table.row_count = 0;

    table.owned_pages_pointer = NewMapRow();
    table.free_pages_pointer = info.def.free_pages_pointer != 0 ? NewMapRow() : 0;
    for (RealIndexDef& index : table.real_indexes) {
      index.usage_map_pointer = NewMapRow();
      index.first_page = 0;
    }
    for (LongValueMapsDef& maps : table.long_value_maps) {
      if (maps.owned_pages_pointer != 0) maps.owned_pages_pointer = NewMapRow();
      if (maps.free_pages_pointer != 0) maps.free_pages_pointer = NewMapRow();
    }
    for (LogicalIndexDef& index : table.indexes) {
      auto related = new_pages_.find(index.related_table);
      if (index.related_table != 0 && related != new_pages_.end()) index.related_table = related->second;
    }

    std::vector<size_t> all(table.real_indexes.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
    const std::vector<size_t> id_columns = IdColumns(info, table);
    IndexEntryCollector keys(table, all, code_page_, pages_, spill_);
    // A quarter of the entries' budget for the rows' places, so that a small table keeps
    // them in memory.
    MovedRows moved(moved_rows_path_, spill_.memory_budget / 4 / sizeof(MovedRow));
    CopyRows(info, table, id_columns, keys, moved);
    std::vector<MovedRow> places;
    for (size_t i = 0; i < table.real_indexes.size(); ++i) {
      if (keys.failed(i)) {
        if (places.empty()) places = moved.All();
        EntriesFromSource(info.def, table, i, places, keys);
      }
      // The leaves go to the file as they fill, and the entries come from the runs one at a
      // time: an index of millions of rows holds neither in memory.
      IndexEntrySorter::Stream entries = keys.Sorted(i);
      if (entries.sources() > 1) {
        // Runs on disk are read and merged on a thread of their own while the leaves are
        // written here.
        MergingThread merged(std::move(entries));
        BuildIndexFromSorted(
            pages_, *allocator_, table, i, [&merged](IndexEntryView& entry) { return merged.Next(entry); },
            [this] { FlushIfLarge(); });
      } else {
        BuildIndexFromSorted(
            pages_, *allocator_, table, i, [&entries](IndexEntryView& entry) { return entries.Next(entry); },
            [this] { FlushIfLarge(); });
      }
      FlushIfLarge();
    }
    WriteTableDefinition(pages_, *allocator_, table, code_page_);
    FlushIfLarge();
  }

  // The keys of the copy's index come from its rows as they are placed. A key this engine
  // cannot compute (a character whose sort weight it does not know) fails the whole index,
  // which is then taken from the source's own index, its entries moved to the rows' new
  // places: Access computed those keys itself.
  void EntriesFromSource(const TableDef& source_table, const TableDef& table, size_t real_index,
                         const std::vector<MovedRow>& moved, IndexEntryCollector& keys) {
    const RealIndexDef& index = source_table.real_indexes[real_index];
    IndexCursor cursor(source_.pages(), format_, index.first_page, source_table.definition_page);
    for (IndexEntry entry; cursor.Next(entry);) {
      const uint64_t from = LocationKey(entry.data_page, entry.data_row);
      auto it = std::lower_bound(moved.begin(), moved.end(), from,
                                 [](const MovedRow& row, uint64_t key) { return row.from < key; });
      if (it == moved.end() || it->from != from)
        ThrowCorrupt("an entry of index " + std::to_string(real_index) + " of table '" + table.name +
                     "' names no row");
      keys.AddEntry(real_index, entry.key, it->to.page, static_cast<uint8_t>(it->to.slot));
    }
  }

  // The columns of the table's rows that name catalog object ids.
  static std::vector<size_t> IdColumns(const TableInfo& info, const TableDef& table) {
    std::vector<size_t> id_columns;
    for (const ObjectIdColumn& reference : kObjectIdColumns) {
      if (!SameObjectName(info.name, reference.table)) continue;
      for (size_t c = 0; c < table.columns.size(); ++c)
        if (SameObjectName(table.columns[c].name, reference.column) &&
            table.columns[c].type == static_cast<uint8_t>(FieldType::kLong))
          id_columns.push_back(c);
    }
    return id_columns;
  }

  void CopyRows(const TableInfo& info, TableDef& table, const std::vector<size_t>& id_columns,
                IndexEntryCollector& keys, MovedRows& moved) {
    const uint32_t auto_number = info.def.next_auto_number;
    TableWriter writer(pages_, *allocator_, table, code_page_);
    // Keys that need no pages are made on a thread of their own while the rows are placed;
    // the thread takes copies of the placed rows, so the pages may change meanwhile.
    std::optional<KeyingThread> keying;
    // A table of a few rows is keyed where it is copied: a thread would cost more than it saves.
    if (!keys.reads_pages() && !table.real_indexes.empty() && info.def.row_count >= RowsForKeyingThread() &&
        RowsForKeyingThread() != UINT32_MAX)
      keying.emplace(keys);
    auto add_keys = [&](std::span<const uint8_t> placed, RowLocation to) {
      if (keying) {
        keying->Add(placed, to);
      } else {
        keys.Add(placed, to);
      }
    };
    if (id_columns.empty()) {
      // Nothing in these rows names an id: their stored bytes are carried over as Access
      // wrote them, once their layout has been checked against the definition; long values
      // outside the row are copied to the new file and packed there.
      const bool long_values = HasLongValueColumns(info.def);
      TableScan scan(source_.pages(), info.def);
      while (scan.Next()) {
        const RowLocation from = scan.location();
        RowLocation to;
        if (long_values) {
          // The keys come from the row as placed, whose long values are the copy's. The page
          // was changed a moment ago and is held in memory, so its view needs no copy.
          to = writer.InsertStoredFrom(scan.bytes(), source_.pages());
          add_keys(ReadRowSlot(pages_.Page(to.page), format_, to.slot).bytes, to);
        } else {
          const RowLayout layout = ReadRowLayout(info.def, scan.bytes(), format_);
          to = writer.InsertStored(scan.bytes());
          if (keying) {
            keying->Add(scan.bytes(), to);
          } else {
            keys.Add(layout, to);
          }
        }
        moved.Add(from, to);
        CountRow();
      }
      if (keying) keying->Finish();
      Finished(table, auto_number);
      return;
    }
    Row row;
    for (auto cursor = source_.Rows(info); cursor.Next(row);) {
      const RowLocation from = cursor.location();
      for (size_t c : id_columns) {
        if (c >= row.size()) continue;
        if (const int32_t* id = std::get_if<int32_t>(&row[c]); id && *id > 0) {
          auto moved = new_pages_.find(static_cast<uint32_t>(*id));
          if (moved != new_pages_.end()) row[c] = static_cast<int32_t>(moved->second);
        }
      }
      const RowLocation to = writer.Insert(std::move(row));
      add_keys(ReadRowSlot(pages_.Page(to.page), format_, to.slot).bytes, to);
      moved.Add(from, to);
      row.clear();
      CountRow();
    }
    if (keying) keying->Finish();
    Finished(table, auto_number);
  }

  void CountRow() {
    ++rows_done_;
    if (rows_done_ % 1024 == 0) Progress();
    FlushIfLarge();
  }

  // To the caller's callback, and to the front end's row-copy observer as a copy of the
  // whole database.
  void Progress() {
    const uint64_t total = std::max(rows_done_, rows_total_);
    if (progress_) progress_(rows_done_, total);
    ReportRowCopyProgress(kProgressName, rows_done_, total);
  }

  void Finished(TableDef& table, uint32_t auto_number) {
    // The counter goes on from where the source's stood, not from the highest number left.
    table.next_auto_number = std::max(table.next_auto_number, auto_number);
    Progress();
  }

  static bool HasLongValueColumns(const TableDef& table) {
    return std::any_of(table.columns.begin(), table.columns.end(), [](const ColumnDef& c) { return c.long_value(); });
  }

  // Access marks the pages past the end of the file free in the global map; so does this
  // file once it is complete.
  void MarkPagesPastTheEndFree() {
    auto page1 = pages_.MutablePage(1);
    const RowSlot slot = ReadRowSlot(page1, format_, 0);
    std::vector<uint8_t> map(slot.bytes.begin(), slot.bytes.end());
    if (map.size() < 5 || map[0] != 0) return;
    const uint32_t start = ByteReader(map, "global usage map").U32(1);
    const uint32_t count = pages_.page_count();
    for (size_t bit = 0; bit < (map.size() - 5) * 8; ++bit)
      if (start + bit >= count) map[5 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    ReplaceRow(page1, format_, 0, map);
  }

  void FlushIfLarge() {
    if (pages_.changed_pages().size() >= kPagesHeldInMemory) Flush();
  }
  void Flush() {
    // Straight from the overlay's buffers, a megabyte of neighbours a write.
    pages_.FlushRuns(
        [this](uint32_t first, std::span<const std::span<const uint8_t>> pages) { output_.WritePages(first, pages); },
        kPagesPerWrite);
  }

  Database& source_;
  store::OutputPageFile& output_;
  store::PageOverlay pages_;
  Format format_;
  uint16_t code_page_;
  EntrySpill spill_;
  std::filesystem::path moved_rows_path_;
  const CompactionProgress& progress_;
  std::unique_ptr<PageAllocator> allocator_;
  uint32_t map_host_ = 0;
  std::map<uint32_t, uint32_t> new_pages_;  // definition page in the source -> in the copy
  uint64_t rows_done_ = 0;
  uint64_t rows_total_ = 0;
};

std::optional<size_t> entry_budget_for_testing;

std::filesystem::path FolderOf(const std::filesystem::path& path) {
  const std::filesystem::path absolute = std::filesystem::absolute(path);
  return absolute.parent_path();
}

}  // namespace

void SetEntryMemoryBudgetForTesting(std::optional<size_t> bytes) { entry_budget_for_testing = bytes; }
void SetKeyingThreadRowsForTesting(std::optional<uint32_t> rows) { keying_thread_rows_for_testing = rows; }

void CompactDatabase(const std::filesystem::path& source, const std::filesystem::path& destination,
                     const CompactionProgress& progress) {
  std::error_code error;
  if (std::filesystem::exists(destination, error) || std::filesystem::is_symlink(destination, error))
    throw Error(3204, "Database '" + destination.string() + "' already exists.");
  // The session holds the source so that nobody changes it meanwhile; the rows are read
  // through the reader's own page cache.
  auto session = store::WriteSession::Open(source);
  auto database = Database::Open(source);

  // Built beside the source when the destination is in the same folder, so that a copy a
  // killed run left behind is cleared by the next open of the source; otherwise beside the
  // destination, where the final rename can reach it.
  const bool same_folder = FolderOf(source) == FolderOf(destination);
  const std::filesystem::path temporary = store::detail::ShadowPathFor(same_folder ? source : destination);
  store::OutputPageFile output(temporary, session->pages().page_size());
  // The sorted runs of large indexes go beside the copy, under a name the same sweep clears.
  const std::filesystem::path runs = store::detail::ShadowPathFor(same_folder ? source : destination);
  EntrySpill spill;
  spill.path = runs.string() + "-keys";
  if (entry_budget_for_testing) spill.memory_budget = *entry_budget_for_testing;
  Compactor(*database, output, std::move(spill), runs.string() + "-rows", progress).Run();
  store::CopyModeAndOwner(store::OpenExisting(source, store::OpenMode::kRead), output.file(), temporary);
  output.Finish(destination);
}

}  // namespace jet
