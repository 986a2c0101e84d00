#include "jet/write/table_definition_writer.h"

#include <gtest/gtest.h>

#include "jet/common/byte_reader.h"
#include "jet/core/database.h"
#include "jet/core/table_definition.h"
#include "jet/store/page_overlay.h"
#include "tests/support/corpus.h"
#include "tests/support/image_pages.h"

namespace vantrel::test {
namespace {

std::vector<uint8_t> StoredStream(jet::PageSource& pages, const jet::TableDef& table) {
  std::vector<uint8_t> stream;
  for (uint32_t page : table.definition_pages) {
    const auto bytes = pages.Page(page);
    stream.insert(stream.end(), bytes.begin() + (stream.empty() ? 0 : 8), bytes.end());
  }
  stream.resize(jet::ByteReader(stream).U32(8));
  return stream;
}

// What Access wrote comes back byte for byte from what the engine read: the writer loses
// nothing of a definition, so changing one field of a table changes only that field.
TEST(TableDefinitionWriter, EveryCorpusDefinitionEncodesAsAccessStoredIt) {
  VANTREL_REQUIRE_CORPUS();
  int tables = 0;
  for (const auto& file : CorpusFiles()) {
    if (file.filename() == "passwordV2000.mdb") continue;
    ImagePages image(file);
    auto database = jet::Database::FromPages(image, file);
    for (const jet::TableInfo& table : database->tables()) {
      if (table.def.columns.empty()) continue;
      SCOPED_TRACE(file.filename().string() + " " + table.name);
      std::vector<uint8_t> expected = StoredStream(image, table.def);
      std::vector<uint8_t> mine = jet::EncodeTableDefinition(table.def, database->header().code_page);
      // Bytes 2-7 belong to the page (free space, next page), not to the definition.
      std::fill(expected.begin() + 2, expected.begin() + 8, 0);
      std::fill(mine.begin() + 2, mine.begin() + 8, 0);
      if (database->format() == jet::Format::kJet3) mine[2] = mine[3] = expected[2] = expected[3] = 0;
      ASSERT_EQ(mine.size(), expected.size());
      for (size_t i = 0; i < mine.size(); ++i) ASSERT_EQ(mine[i], expected[i]) << "byte " << i;
      ++tables;
    }
  }
  EXPECT_GT(tables, 100);
}

// A definition that outgrows its pages gets continuation pages, one that shrinks gives them
// back, and either way it reads back as written.
TEST(TableDefinitionWriter, ChainGrowsAndShrinksWithTheDefinition) {
  VANTREL_REQUIRE_CORPUS();
  // Both formats: the same sample as Access 2000 and Access 97 saved it.
  for (const char* name : {"jet4/testV2000.mdb", "jet3/testV1997.mdb"}) {
    SCOPED_TRACE(name);
    ImagePages image(CorpusDir() / name);
    jet::store::PageOverlay pages(image);
    auto database = jet::Database::FromPages(pages, name);
    const jet::Format format = database->format();
    jet::PageAllocator allocator(pages, format);
    jet::TableDef table = database->FindTable("Table1")->def;
    ASSERT_EQ(table.definition_pages.size(), 1u);
    jet::TableDef grown = table;
    for (int i = 0; i < 200; ++i) {
      jet::ColumnDef column = table.columns.back();
      column.stored.clear();
      column.name = "Extra column number " + std::to_string(i);
      column.number = static_cast<uint16_t>(grown.max_columns++);
      grown.columns.push_back(column);
  }
  jet::WriteTableDefinition(pages, allocator, grown);
  EXPECT_GE(grown.definition_pages.size(), 3u);
  jet::TableDef reread = jet::ReadTableDefinition(pages, format, table.definition_page);
  ASSERT_EQ(reread.columns.size(), grown.columns.size());
  EXPECT_EQ(reread.columns.back().name, "Extra column number 199");
  EXPECT_EQ(reread.columns.back().number, grown.columns.back().number);
  EXPECT_EQ(reread.indexes.size(), table.indexes.size());
  EXPECT_EQ(reread.indexes[0].name, table.indexes[0].name);

  const std::vector<uint32_t> continuation(grown.definition_pages.begin() + 1, grown.definition_pages.end());
  jet::TableDef shrunk = reread;
  shrunk.columns = table.columns;
  shrunk.max_columns = table.max_columns;
  jet::WriteTableDefinition(pages, allocator, shrunk);
  EXPECT_EQ(shrunk.definition_pages.size(), 1u);
  EXPECT_EQ(jet::EncodeTableDefinition(jet::ReadTableDefinition(pages, format, table.definition_page)),
            jet::EncodeTableDefinition(shrunk));
  // The released pages are free again.
  const uint32_t reused = allocator.Allocate();
  EXPECT_NE(std::find(continuation.begin(), continuation.end(), reused), continuation.end()) << reused;
  }
}

}  // namespace
}  // namespace vantrel::test
