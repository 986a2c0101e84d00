// Every real index of every sample database, read through its B-tree and held against the
// rows of its table: Access wrote these files, so whatever they hold is the format.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "jet/common/error.h"
#include "jet/core/database.h"
#include "jet/index/index_reader.h"
#include "tests/support/corpus.h"

namespace jet {
namespace {

using Place = std::pair<uint32_t, uint16_t>;

std::unique_ptr<Database> OpenSample(const std::filesystem::path& file) {
  try {
    return Database::Open(file);
  } catch (const Error& error) {
    if (error.number() == err::kNotValidPassword) return nullptr;  // its rows are not ours to read
    throw;
  }
}

bool AllIndexColumnsNull(const TableDef& table, const RealIndexDef& index, const Row& row) {
  for (const IndexColumnDef& part : index.columns)
    for (size_t i = 0; i < table.columns.size(); ++i)
      if (table.columns[i].number == part.column_number && !IsNull(row[i])) return false;
  return true;
}

struct Totals {
  size_t indexes = 0, entries = 0, multi_level = 0;
};

void CheckTable(Database& database, const TableInfo& table, Totals& totals) {
  std::map<Place, Row> rows;
  auto cursor = database.Rows(table);
  Row row;
  while (cursor.Next(row)) rows.emplace(Place{cursor.location().page, cursor.location().slot}, row);

  for (size_t i = 0; i < table.def.real_indexes.size(); ++i) {
    const RealIndexDef& index = table.def.real_indexes[i];
    SCOPED_TRACE(table.name + " real index " + std::to_string(i) + " root " + std::to_string(index.first_page));
    IndexCursor walk(database.pages(), database.format(), index.first_page, table.def.definition_page);
    std::vector<IndexEntry> entries;
    for (IndexEntry entry; walk.Next(entry);) entries.push_back(entry);
    ++totals.indexes;
    totals.entries += entries.size();
    if (walk.pages_read().size() > walk.leaf_pages_read().size()) ++totals.multi_level;

    size_t expected = 0;
    for (const auto& [place, values] : rows)
      if (!(index.flags & index_flag::kIgnoreNulls) || !AllIndexColumnsNull(table.def, index, values)) ++expected;
    EXPECT_EQ(entries.size(), expected);

    std::set<Place> pointed;
    for (size_t e = 0; e < entries.size(); ++e) {
      const Place place{entries[e].data_page, entries[e].data_row};
      EXPECT_TRUE(rows.count(place)) << "entry " << e << " points at " << place.first << "/" << place.second;
      EXPECT_TRUE(pointed.insert(place).second) << "two entries for one row";
      if (e > 0) {
        EXPECT_FALSE(KeyLess(entries[e].key, entries[e - 1].key)) << "entry " << e << " out of order";
      }
    }

    // Each key finds its own rows, and the first entry at or above it is the first of them.
    for (size_t e = 0; e < entries.size(); ++e) {
      if (e > 0 && entries[e].key == entries[e - 1].key) continue;
      const auto first = FindFirstAtLeast(database.pages(), database.format(), index.first_page, entries[e].key);
      ASSERT_TRUE(first.has_value());
      EXPECT_EQ(*first, entries[e]);
      const auto equal = FindEqual(database.pages(), database.format(), index.first_page, entries[e].key);
      size_t same = 0;
      while (e + same < entries.size() && entries[e + same].key == entries[e].key) ++same;
      ASSERT_EQ(equal.size(), same);
      for (size_t k = 0; k < same; ++k) EXPECT_EQ(equal[k], entries[e + k]);
    }
    if (!entries.empty()) {
      std::vector<uint8_t> above = entries.back().key;
      above.push_back(0);
      EXPECT_FALSE(FindFirstAtLeast(database.pages(), database.format(), index.first_page, above).has_value());
      EXPECT_EQ(FindFirstAtLeast(database.pages(), database.format(), index.first_page, {}), entries.front());
    }
  }
}

TEST(IndexReaderCorpus, EveryIndexListsEveryRowOnceInKeyOrder) {
  VANTREL_REQUIRE_CORPUS();
  Totals totals;
  for (const auto& file : vantrel::test::CorpusFiles()) {
    SCOPED_TRACE(file.string());
    const auto database = OpenSample(file);
    if (!database) continue;
    for (const TableInfo& table : database->tables())
      if (table.object.type == object_type::kTable) CheckTable(*database, table, totals);
  }
  // The samples hold two-level trees (a root with a tail) in both formats.
  EXPECT_GT(totals.indexes, 100u);
  EXPECT_GE(totals.multi_level, 9u);
  std::printf("%zu indexes, %zu entries, %zu with intermediate pages\n", totals.indexes, totals.entries,
              totals.multi_level);
}

}  // namespace
}  // namespace jet
