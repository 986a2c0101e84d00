// Index entries inserted and removed one at a time, in trees the engine built and in trees
// Access wrote: after every batch the tree reads back as the rows say, every row is found,
// the checker finds nothing wrong and mdbtools reads the file.
#include "jet/write/index_maintainer.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "jet/check/database_check.h"
#include "jet/common/error.h"
#include "jet/core/database.h"
#include "jet/core/usage_map.h"
#include "jet/index/index_page.h"
#include "jet/index/index_reader.h"
#include "jet/write/database_writer.h"
#include "jet/write/index_builder.h"
#include "jet/write/table_definition_writer.h"
#include "jet/write/table_writer.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"
#include "tests/support/image_pages.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using vantrel::test::CorpusDir;

std::vector<IndexEntry> TreeEntries(PageSource& pages, Format format, uint32_t root) {
  IndexCursor cursor(pages, format, root);
  std::vector<IndexEntry> entries;
  for (IndexEntry entry; cursor.Next(entry);) entries.push_back(entry);
  return entries;
}

// Levels from the root down to the first leaf.
size_t TreeDepth(PageSource& pages, Format format, uint32_t root) {
  size_t depth = 1;
  for (IndexPage page = ParseIndexPage(pages.Page(root), format, root); !page.leaf(); ++depth) {
    const uint32_t child = page.entries.empty() ? page.tail_page : page.entries.front().child_page;
    page = ParseIndexPage(pages.Page(child), format, child);
  }
  return depth;
}

// Each intermediate entry names the greatest entry below its child, entries below a child
// come after the entry before it, and every leaf is as deep as the others. Returns the
// greatest entry below `page` and adds the tree's pages to `pages_seen`.
std::optional<IndexEntry> CheckSubtree(PageSource& pages, Format format, uint32_t number, size_t depth,
                                       std::optional<size_t>& leaf_depth, std::set<uint32_t>& pages_seen) {
  pages_seen.insert(number);
  const IndexPage page = ParseIndexPage(pages.Page(number), format, number);
  if (page.leaf()) {
    if (!leaf_depth) leaf_depth = depth;
    EXPECT_EQ(*leaf_depth, depth) << "leaf " << number;
    if (page.entries.empty()) return std::nullopt;
    return page.entries.back();
  }
  std::optional<IndexEntry> greatest;
  for (const IndexEntry& entry : page.entries) {
    const auto below = CheckSubtree(pages, format, entry.child_page, depth + 1, leaf_depth, pages_seen);
    EXPECT_TRUE(below.has_value()) << "page " << entry.child_page << " under " << number << " is empty";
    if (!below) continue;
    EXPECT_EQ(below->key, entry.key) << "entry naming page " << entry.child_page;
    EXPECT_EQ(below->data_page, entry.data_page);
    EXPECT_EQ(below->data_row, entry.data_row);
    if (greatest) {
      EXPECT_TRUE(IndexEntryLess(*greatest, entry));
    }
    greatest = entry;
    greatest->child_page = 0;
  }
  EXPECT_NE(page.tail_page, 0u) << "intermediate page " << number;
  if (page.tail_page != 0) {
    const auto below = CheckSubtree(pages, format, page.tail_page, depth + 1, leaf_depth, pages_seen);
    if (below && greatest) {
      EXPECT_TRUE(IndexEntryLess(*greatest, *below));
    }
    if (below) greatest = below;
  }
  return greatest;
}

// Leaves of the tree, found by walking it from the root.
size_t LeafCount(PageSource& pages, Format format, uint32_t root) {
  std::optional<size_t> leaf_depth;
  std::set<uint32_t> tree_pages;
  CheckSubtree(pages, format, root, 1, leaf_depth, tree_pages);
  size_t leaves = 0;
  for (uint32_t number : tree_pages) leaves += ParseIndexPage(pages.Page(number), format, number).leaf();
  return leaves;
}

size_t DistinctKeys(const std::vector<IndexEntry>& entries) {
  size_t distinct = 0;
  for (size_t i = 0; i < entries.size(); ++i) distinct += i == 0 || entries[i].key != entries[i - 1].key;
  return distinct;
}

// Letters that sort apart only by accent or case, and others, so that keys share long
// prefixes and differ late.
std::string RandomText(std::mt19937& random, size_t longest) {
  static const std::vector<std::string> kLetters = {"a", "A", "b", "e", "E", "é", "É", "è", "n", "ñ", "o", "ö",
                                                    "Ö", "u", "ü", "c", "ç", "z", "Z", " ", "-", "1", "9"};
  const size_t length = std::uniform_int_distribution<size_t>(1, longest)(random);
  // A few fixed openings make long shared prefixes.
  static const std::vector<std::string> kOpenings = {"", "Société ", "societe ", "Ärger über ", "zz"};
  std::string text = kOpenings[std::uniform_int_distribution<size_t>(0, kOpenings.size() - 1)(random)];
  for (size_t i = 0; i < length; ++i)
    text += kLetters[std::uniform_int_distribution<size_t>(0, kLetters.size() - 1)(random)];
  return text;
}

struct TreeCase {
  const char* sample;
  bool unique_text;    // the text index is unique (else the number index is)
  bool ignore_nulls;   // the number index leaves out rows without a number
  size_t text_length;  // longest random text: long keys split pages at fewer entries
};

std::ostream& operator<<(std::ostream& out, const TreeCase& c) {
  return out << c.sample << (c.unique_text ? " unique text" : " unique number") << (c.ignore_nulls ? " ignore nulls" : "");
}

// A table "Keys" (Name text, Number long), one index on each, made in a copy of a sample and
// changed in memory: rows through a TableWriter, index entries through the maintainer only.
class IndexMaintainerTest : public ::testing::TestWithParam<TreeCase> {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    path_ = dir_ / "work.mdb";
    vantrel::test::CopyWritable(CorpusDir() / GetParam().sample, path_);
    {
      auto writer = DatabaseWriter::Open(path_);
      NewTable spec;
      spec.name = "Keys";
      spec.columns = {{"Name", 10, 200}, {"Number", 4, 0}};
      spec.indexes = {{"ByName", false, GetParam().unique_text, {"Name"}},
                      {"ByNumber", false, !GetParam().unique_text, {"Number"}}};
      writer->CreateTable(spec);
      writer->Commit();
    }
    image_ = std::make_unique<vantrel::test::ImagePages>(path_);
    overlay_ = std::make_unique<store::PageOverlay>(*image_);
    auto database = Database::FromPages(*overlay_, path_);
    table_ = database->FindTable("Keys")->def;
    code_page_ = database->header().code_page;
    if (GetParam().ignore_nulls) table_.real_indexes[1].flags |= index_flag::kIgnoreNulls;
    allocator_ = std::make_unique<PageAllocator>(*overlay_, table_.format);
    writer_ = std::make_unique<TableWriter>(*overlay_, *allocator_, table_, code_page_);
  }

  Row RandomRow() {
    Row row(2);
    row[0] = RandomText(random_, GetParam().text_length);
    // Few distinct numbers when they may repeat: long runs of equal keys, ordered by row pointer.
    const int32_t spread = GetParam().unique_text ? 400 : 100000;
    if (std::uniform_int_distribution<int>(0, 9)(random_) > 0)
      row[1] = std::uniform_int_distribution<int32_t>(-50, spread)(random_);
    return row;
  }

  std::optional<IndexEntry> EntryOf(size_t index, const Row& row, RowLocation at) const {
    return IndexEntryOfRow(table_, index, row, at);
  }

  size_t UniqueIndex() const { return GetParam().unique_text ? 0 : 1; }

  // The row's key in the unique index, unless it is one the index may hold many times.
  std::optional<std::vector<uint8_t>> UniqueKey(const Row& row) const {
    const auto entry = EntryOf(UniqueIndex(), row, {});
    if (!entry || IsAllNullKey(table_.real_indexes[UniqueIndex()], entry->key)) return std::nullopt;
    return entry->key;
  }

  bool Duplicate(const Row& row) const {
    const auto key = UniqueKey(row);
    return key && unique_keys_.count(*key) > 0;
  }

  void Track(const Row& row, bool present) {
    const auto key = UniqueKey(row);
    if (!key) return;
    if (present) {
      unique_keys_.insert(*key);
    } else {
      unique_keys_.erase(unique_keys_.find(*key));
    }
  }

  void Insert() {
    Row row = RandomRow();
    if (Duplicate(row)) {
      ExpectDuplicateRefused(row);
      return;
    }
    const RowLocation at = writer_->Insert(row);
    for (size_t i = 0; i < 2; ++i)
      if (auto entry = EntryOf(i, row, at)) InsertIndexEntry(*overlay_, *allocator_, table_, i, *entry);
    Track(row, true);
    rows_[{at.page, at.slot}] = row;
  }

  std::map<std::pair<uint32_t, uint16_t>, Row>::iterator RandomLiveRow() {
    auto it = rows_.begin();
    std::advance(it, std::uniform_int_distribution<size_t>(0, rows_.size() - 1)(random_));
    return it;
  }

  void Delete() {
    if (rows_.empty()) return;
    auto it = RandomLiveRow();
    const RowLocation at{it->first.first, it->first.second};
    for (size_t i = 0; i < 2; ++i)
      if (auto entry = EntryOf(i, it->second, at)) RemoveIndexEntry(*overlay_, *allocator_, table_, i, *entry);
    writer_->Delete(at);
    Track(it->second, false);
    rows_.erase(it);
  }

  void Update() {
    if (rows_.empty()) return;
    auto it = RandomLiveRow();
    const RowLocation at{it->first.first, it->first.second};
    Row changed = it->second;
    const size_t column = std::uniform_int_distribution<size_t>(0, 1)(random_);
    changed[column] = RandomRow()[column];
    const Row before = it->second;
    Track(before, false);
    if (Duplicate(changed)) {
      Track(before, true);
      return;
    }
    Track(changed, true);
    writer_->Update(at, changed);
    for (size_t i = 0; i < 2; ++i) {
      const auto old_entry = EntryOf(i, before, at);
      const auto new_entry = EntryOf(i, changed, at);
      if (old_entry == new_entry) continue;
      if (old_entry) RemoveIndexEntry(*overlay_, *allocator_, table_, i, *old_entry);
      if (new_entry) InsertIndexEntry(*overlay_, *allocator_, table_, i, *new_entry);
    }
    rows_[{at.page, at.slot}] = changed;
  }

  // A key the unique index holds: refused with 3022, and no page, count or root changes.
  void ExpectDuplicateRefused(const Row& row) {
    const size_t unique = UniqueIndex();
    const RealIndexDef before = table_.real_indexes[unique];
    std::vector<std::vector<uint8_t>> pages;
    IndexCursor cursor(*overlay_, table_.format, before.first_page);
    for (IndexEntry e; cursor.Next(e);) {
    }
    for (uint32_t page : cursor.pages_read())
      pages.emplace_back(overlay_->Page(page).begin(), overlay_->Page(page).end());
    const uint32_t page_count = overlay_->page_count();
    IndexEntry entry = *EntryOf(unique, row, {});
    entry.data_page = 0xFFFFFF;
    EXPECT_EQ(vantrel::test::ErrorOf([&] { InsertIndexEntry(*overlay_, *allocator_, table_, unique, entry); }),
              err::kDuplicateKey);
    EXPECT_EQ(table_.real_indexes[unique].first_page, before.first_page);
    EXPECT_EQ(table_.real_indexes[unique].row_count, before.row_count);
    EXPECT_EQ(overlay_->page_count(), page_count);
    for (size_t i = 0; i < pages.size(); ++i) {
      const auto now = overlay_->Page(cursor.pages_read()[i]);
      EXPECT_TRUE(std::equal(now.begin(), now.end(), pages[i].begin())) << "page " << cursor.pages_read()[i];
    }
    ++duplicates_refused_;
  }

  // The tree holds what the rows give, in their order; the counts follow; every row is found;
  // the checker finds nothing wrong once the definition is written.
  void ExpectSound(bool look_up_every_row) {
    for (size_t i = 0; i < 2; ++i) {
      const RealIndexDef& index = table_.real_indexes[i];
      const auto expected = IndexEntriesFromRows(*overlay_, table_, i, code_page_);
      const auto stored = TreeEntries(*overlay_, table_.format, index.first_page);
      ASSERT_EQ(stored, expected) << "index " << i << " after " << operations_ << " operations";
      EXPECT_EQ(index.row_count, expected.size());
      EXPECT_EQ(index.unique_entry_count, DistinctKeys(expected));
      deepest_[i] = std::max(deepest_[i], TreeDepth(*overlay_, table_.format, index.first_page));
      std::optional<size_t> leaf_depth;
      std::set<uint32_t> tree_pages;
      CheckSubtree(*overlay_, table_.format, index.first_page, 1, leaf_depth, tree_pages);
      // The usage map lists the tree's pages and no others: freed pages leave it.
      const auto mapped = ReadUsageMap(*overlay_, table_.format, index.usage_map_pointer).pages;
      EXPECT_EQ(std::set<uint32_t>(mapped.begin(), mapped.end()), tree_pages) << "index " << i;
      if (!look_up_every_row) continue;
      for (const IndexEntry& entry : expected) {
        const auto found = FindEqual(*overlay_, table_.format, index.first_page, entry.key);
        EXPECT_NE(std::find(found.begin(), found.end(), entry), found.end()) << "row " << entry.data_page;
      }
    }
    WriteTableDefinition(*overlay_, *allocator_, table_, code_page_);
    std::vector<std::string> errors;
    for (const auto& finding : check::CheckDatabase(*overlay_).findings)
      if (finding.severity == check::Severity::kError) errors.push_back(finding.table + ": " + finding.text);
    EXPECT_EQ(errors, std::vector<std::string>{}) << "after " << operations_ << " operations";
  }

  // Random operations, inserts weighing `grow` against deletes, checked every few hundred.
  void Run(size_t operations, int grow) {
    for (size_t n = 0; n < operations; ++n, ++operations_) {
      const int pick = std::uniform_int_distribution<int>(0, 99)(random_);
      if (pick < grow) {
        Insert();
      } else if (pick < 85) {
        Delete();
      } else {
        Update();
      }
      if (operations_ % 500 == 499) {
        ExpectSound(false);
        if (HasFatalFailure()) return;
      }
    }
    ExpectSound(true);
  }

  vantrel::test::TempDir dir_;
  fs::path path_;
  std::unique_ptr<vantrel::test::ImagePages> image_;
  std::unique_ptr<store::PageOverlay> overlay_;
  std::unique_ptr<PageAllocator> allocator_;
  std::unique_ptr<TableWriter> writer_;
  TableDef table_;
  uint16_t code_page_ = 1252;
  std::mt19937 random_{20261207};
  std::map<std::pair<uint32_t, uint16_t>, Row> rows_;
  std::multiset<std::vector<uint8_t>> unique_keys_;
  size_t operations_ = 0;
  size_t duplicates_refused_ = 0;
  size_t deepest_[2] = {0, 0};
};

// Grows to a few thousand rows (the text index three levels deep), shrinks to none (pages
// freed, the root giving way), grows again; mdbtools then reads every row.
TEST_P(IndexMaintainerTest, RandomChangesKeepTreeInStepWithRows) {
  Run(4000, 75);
  ASSERT_FALSE(HasFatalFailure());
  const size_t grown = rows_.size();
  EXPECT_GE(deepest_[0], 3u) << grown << " rows";
  size_t leaves_grown[2];
  for (size_t i = 0; i < 2; ++i) leaves_grown[i] = LeafCount(*overlay_, table_.format, table_.real_indexes[i].first_page);
  while (!rows_.empty() && !HasFatalFailure()) {
    Delete();
    ++operations_;
    if (rows_.size() % 700 == 0) ExpectSound(false);
    // Deletes spread over the whole tree leave few entries on every leaf: the leaves must
    // join up rather than stay one page per handful of entries.
    if (rows_.size() == grown / 8) {
      for (size_t i = 0; i < 2; ++i) {
        const size_t leaves = LeafCount(*overlay_, table_.format, table_.real_indexes[i].first_page);
        EXPECT_LE(leaves * 3, leaves_grown[i]) << "index " << i << ": " << leaves << " leaves for " << rows_.size()
                                               << " rows, " << leaves_grown[i] << " for " << grown;
      }
    }
  }
  ASSERT_FALSE(HasFatalFailure());
  ExpectSound(false);
  for (size_t i = 0; i < 2; ++i)
    EXPECT_EQ(TreeDepth(*overlay_, table_.format, table_.real_indexes[i].first_page), 1u) << "index " << i;
  Run(1500, 60);
  EXPECT_GT(duplicates_refused_, 0u);

  if (std::system("command -v mdb-export >/dev/null 2>&1") != 0) return;
  const fs::path out = dir_ / "changed.mdb";
  vantrel::test::SavePages(*overlay_, out);
  const std::string csv = vantrel::test::Output("mdb-export '" + out.string() + "' Keys");
  EXPECT_EQ(static_cast<size_t>(std::count(csv.begin(), csv.end(), '\n')), rows_.size() + 1);
}

INSTANTIATE_TEST_SUITE_P(Samples, IndexMaintainerTest,
                         ::testing::Values(TreeCase{"jet4/testV2000.mdb", true, false, 120},
                                           TreeCase{"jet4/testV2000.mdb", false, true, 100},
                                           TreeCase{"jet3/testV1997.mdb", true, true, 60},
                                           TreeCase{"jet3/testV1997.mdb", false, false, 120}));

// Access's own multi-level trees: entries taken out and put back one at a time read back as
// before at every step's end, whatever Access put in its intermediate entries.
TEST(IndexMaintainerOnAccessTrees, RemoveAndReinsertEntries) {
  VANTREL_REQUIRE_CORPUS();
  size_t trees = 0;
  for (const auto& file : vantrel::test::CorpusFiles()) {
    if (file.filename() == "passwordV2000.mdb") continue;
    vantrel::test::ImagePages image(file);
    store::PageOverlay overlay(image);
    auto db = Database::FromPages(overlay, file);
    PageAllocator allocator(overlay, db->format());
    for (const TableInfo& info : db->tables()) {
      if (info.linked()) continue;
      TableDef table = info.def;
      for (size_t r = 0; r < table.real_indexes.size(); ++r) {
        const uint32_t root = table.real_indexes[r].first_page;
        if (root == 0 || ParseIndexPage(overlay.Page(root), table.format, root).leaf()) continue;
        ++trees;
        const auto all = TreeEntries(overlay, table.format, root);
        std::vector<IndexEntry> kept, taken;
        for (size_t i = 0; i < all.size(); ++i) (i % 3 == 1 ? taken : kept).push_back(all[i]);
        for (const IndexEntry& entry : taken) RemoveIndexEntry(overlay, allocator, table, r, entry);
        EXPECT_EQ(TreeEntries(overlay, table.format, table.real_indexes[r].first_page), kept)
            << file.filename() << " " << info.name;
        for (const IndexEntry& entry : taken) InsertIndexEntry(overlay, allocator, table, r, entry);
        EXPECT_EQ(TreeEntries(overlay, table.format, table.real_indexes[r].first_page), all)
            << file.filename() << " " << info.name;
        EXPECT_EQ(table.real_indexes[r].row_count, info.def.real_indexes[r].row_count + 0u);
      }
    }
  }
  EXPECT_GT(trees, 0u);
}

// Damage found before anything changes: an entry that is not there, one that is there twice,
// a key too long for any page.
TEST(IndexMaintainerOnAccessTrees, RefusesWhatTheTreeCannotTake) {
  VANTREL_REQUIRE_CORPUS();
  vantrel::test::ImagePages image(CorpusDir() / "jet4" / "testV2000.mdb");
  store::PageOverlay overlay(image);
  auto db = Database::FromPages(overlay, "testV2000.mdb");
  PageAllocator allocator(overlay, db->format());
  for (const TableInfo& info : db->tables()) {
    if (info.linked() || info.def.real_indexes.empty() || info.def.real_indexes[0].first_page == 0) continue;
    TableDef table = info.def;
    const auto all = TreeEntries(overlay, table.format, table.real_indexes[0].first_page);
    if (all.empty()) continue;
    IndexEntry missing = all.front();
    missing.data_row ^= 0x80;
    EXPECT_EQ(vantrel::test::ErrorOf([&] { RemoveIndexEntry(overlay, allocator, table, 0, missing); }), err::kCorrupt);
    EXPECT_EQ(vantrel::test::ErrorOf([&] { InsertIndexEntry(overlay, allocator, table, 0, all.front()); }),
              err::kCorrupt);
    IndexEntry huge = all.front();
    huge.key.resize(5000, 0x41);
    EXPECT_EQ(vantrel::test::ErrorOf([&] { InsertIndexEntry(overlay, allocator, table, 0, huge); }), err::kNotSupported);
    EXPECT_FALSE(overlay.changed()) << info.name;
    return;
  }
  FAIL() << "no indexed table";
}

}  // namespace
}  // namespace jet
