#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <set>
#include <stdexcept>

#include "jet/core/data_page.h"
#include "jet/core/database.h"
#include "jet/core/usage_map.h"
#include "jet/store/page_overlay.h"
#include "jet/write/data_page_writer.h"
#include "jet/write/page_allocator.h"
#include "jet/write/usage_map_writer.h"
#include "tests/support/corpus.h"
#include "tests/support/image_pages.h"

namespace vantrel::test {
namespace {

using jet::Format;

std::vector<uint8_t> RowOf(size_t length, uint8_t fill) { return std::vector<uint8_t>(length, fill); }

std::vector<uint8_t> SlotBytes(std::span<const uint8_t> page, Format format, uint16_t slot) {
  const auto row = jet::ReadRowSlot(page, format, slot);
  return std::vector<uint8_t>(row.bytes.begin(), row.bytes.end());
}

TEST(DataPageWriter, RowsKeepTheirSlotsThroughAddReplaceAndDelete) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    std::vector<uint8_t> page(jet::PageSizeOf(format));
    jet::InitDataPage(page, format, 77);
    const uint16_t empty = jet::DataPageFreeSpace(page, format);
    EXPECT_EQ(empty, jet::PageSizeOf(format) - jet::DataPageHeaderSize(format));
    EXPECT_EQ(*jet::AddRow(page, format, RowOf(100, 1)), 0);
    EXPECT_EQ(*jet::AddRow(page, format, RowOf(50, 2)), 1);
    EXPECT_EQ(*jet::AddRow(page, format, RowOf(10, 3)), 2);
    EXPECT_EQ(jet::DataPageFreeSpace(page, format), empty - 160 - 6);
    // Slot 1 grows, slot 0 shrinks: the others keep their bytes and numbers.
    EXPECT_TRUE(jet::ReplaceRow(page, format, 1, RowOf(300, 4)));
    EXPECT_TRUE(jet::ReplaceRow(page, format, 0, RowOf(5, 5)));
    EXPECT_EQ(SlotBytes(page, format, 0), RowOf(5, 5));
    EXPECT_EQ(SlotBytes(page, format, 1), RowOf(300, 4));
    EXPECT_EQ(SlotBytes(page, format, 2), RowOf(10, 3));
    jet::DeleteRow(page, format, 1);
    EXPECT_EQ(jet::ReadRowSlot(page, format, 1).state, jet::RowSlot::State::kDeleted);
    EXPECT_EQ(SlotBytes(page, format, 2), RowOf(10, 3));
    EXPECT_EQ(jet::DataPageFreeSpace(page, format), empty - 15 - 6) << "a deleted row gives its bytes back";
    EXPECT_EQ(jet::RowSlotCount(page, format, 77), 3);
    // A row that does not fit leaves the page as it was.
    const auto before = page;
    EXPECT_FALSE(jet::AddRow(page, format, RowOf(empty, 6)));
    EXPECT_FALSE(jet::ReplaceRow(page, format, 2, RowOf(empty, 6)));
    EXPECT_EQ(page, before);
  }
}

// Appending to a packed page takes a shortcut; it must leave exactly the page a full repack
// gives, and fall back to the repack on a page with a hole (after a delete).
TEST(DataPageWriter, AppendedRowsLeaveThePageARepackWouldLeave) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    std::vector<uint8_t> page(jet::PageSizeOf(format));
    jet::InitDataPage(page, format, 9);
    std::mt19937 random(5);
    uint16_t added = 0;
    while (auto slot = jet::AddRow(page, format, RowOf(random() % 90 + 1, static_cast<uint8_t>(added + 1)))) {
      EXPECT_EQ(*slot, added++);
    }
    ASSERT_GT(added, 20);
    const auto appended = page;
    ASSERT_TRUE(jet::ReplaceRow(page, format, 0, SlotBytes(appended, format, 0)));
    EXPECT_EQ(page, appended);

    jet::DeleteRow(page, format, 3);
    const uint16_t room = jet::DataPageFreeSpace(page, format);
    ASSERT_GE(room, 3);
    ASSERT_TRUE(jet::AddRow(page, format, RowOf(room - 2, 0xEE)));
    EXPECT_EQ(SlotBytes(page, format, added), RowOf(room - 2, 0xEE));
    EXPECT_EQ(SlotBytes(page, format, 4), SlotBytes(appended, format, 4));
    EXPECT_EQ(jet::DataPageFreeSpace(page, format), 0);
  }
}

// Appending with what the last append left must give the page and slot AddRow gives, also
// when the page changed meanwhile behind the caller's back (a delete, a replace that moves
// the rows), when the hint is of another page, and up to the page's limits of room and rows.
TEST(DataPageWriter, AppendingAfterTheLastAppendMatchesAddRow) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
      std::vector<uint8_t> plain(jet::PageSizeOf(format));
      jet::InitDataPage(plain, format, 9);
      std::vector<uint8_t> hinted = plain;
      std::optional<jet::PackedEnd> end;
      std::mt19937 random(seed);
      for (int step = 0; step < 400; ++step) {
        const unsigned choice = random() % 20;
        const uint16_t rows = jet::RowSlotCount(plain, format);
        if (choice == 0 && rows > 0) {
          const auto slot = static_cast<uint16_t>(random() % rows);
          jet::DeleteRow(plain, format, slot);
          jet::DeleteRow(hinted, format, slot);
        } else if (choice == 1 && rows > 0) {
          const auto slot = static_cast<uint16_t>(random() % rows);
          const auto row = RowOf(random() % 40, 0x5A);
          EXPECT_EQ(jet::ReplaceRow(plain, format, slot, row), jet::ReplaceRow(hinted, format, slot, row));
        } else {
          // Mostly small rows, so that the 255-row limit is reached as well as a full page.
          const auto row = RowOf(random() % 4 == 0 ? random() % 200 : random() % 3, static_cast<uint8_t>(step));
          const uint16_t flags = random() % 8 == 0 ? jet::row_offset_flag::kForwardTarget : 0;
          EXPECT_EQ(jet::AddRow(plain, format, row, flags), jet::AddRowAfter(hinted, format, row, flags, end))
              << "seed " << seed << " step " << step;
        }
        ASSERT_EQ(plain, hinted) << "seed " << seed << " step " << step;
      }
    }
    // The hint of a full page given with a fresh one is not believed.
    std::vector<uint8_t> full(jet::PageSizeOf(format));
    jet::InitDataPage(full, format, 9);
    std::optional<jet::PackedEnd> end;
    while (jet::AddRowAfter(full, format, RowOf(70, 1), 0, end)) {
    }
    ASSERT_TRUE(end.has_value());
    std::vector<uint8_t> fresh(jet::PageSizeOf(format));
    jet::InitDataPage(fresh, format, 9);
    EXPECT_EQ(jet::AddRowAfter(fresh, format, RowOf(70, 2), 0, end), std::optional<uint16_t>(0));
    EXPECT_EQ(SlotBytes(fresh, format, 0), RowOf(70, 2));
  }
}

TEST(DataPageWriter, AtMost255RowsPerPage) {
  std::vector<uint8_t> page(4096);
  jet::InitDataPage(page, Format::kJet4, 5);
  for (int i = 0; i < 255; ++i) ASSERT_TRUE(jet::AddRow(page, Format::kJet4, RowOf(1, 1)));
  EXPECT_FALSE(jet::AddRow(page, Format::kJet4, RowOf(1, 1)));
}

std::set<uint32_t> FreePages(jet::PageSource& pages, Format format) {
  const auto map = jet::ReadUsageMap(pages, format, jet::kGlobalUsageMapPointer);
  std::set<uint32_t> free;
  for (uint32_t page : map.pages)
    if (page < pages.page_count()) free.insert(page);
  return free;
}

// The global map stays true while thousands of pages come and go: it grows inline as Access
// grows it, turns into bitmap pages when page 1 runs out of room, and still reads back right.
TEST(PageAllocator, GlobalMapStaysTrueAsTheFileGrows) {
  VANTREL_REQUIRE_CORPUS();
  for (const char* name : {"jet4/testV2000.mdb", "jet3/testV1997.mdb", "jet4/testRefGlobalV2000.mdb"}) {
    SCOPED_TRACE(name);
    ImagePages image(CorpusDir() / name);
    jet::store::PageOverlay pages(image);
    const Format format = image.page_size() == 2048 ? Format::kJet3 : Format::kJet4;
    // Leave page 1 little room, so that the map soon has to move into bitmap pages.
    {
      auto page1 = pages.MutablePage(1);
      const size_t room = jet::DataPageFreeSpace(page1, format);
      ASSERT_TRUE(jet::ReplaceRow(page1, format, 1, std::vector<uint8_t>(room - 100 + jet::ReadRowSlot(page1, format, 1).bytes.size(), 0)));
    }
    jet::PageAllocator allocator(pages, format);
    std::set<uint32_t> free_before = FreePages(pages, format);
    std::set<uint32_t> mine;
    for (int i = 0; i < 3000; ++i) {
      const uint32_t page = allocator.Allocate();
      ASSERT_GE(page, 3u);
      ASSERT_TRUE(mine.insert(page).second) << "page " << page << " handed out twice";
    }
    std::set<uint32_t> free_after = FreePages(pages, format);
    for (uint32_t page : mine) EXPECT_EQ(free_after.count(page), 0u) << page;
    for (uint32_t page : free_before) EXPECT_TRUE(mine.count(page) || page < 3) << "free page " << page << " not reused";
    // Give back every tenth page; exactly those read as free.
    std::set<uint32_t> released;
    for (uint32_t page : mine)
      if (page % 10 == 0) {
        allocator.Release(page);
        released.insert(page);
      }
    free_after = FreePages(pages, format);
    for (uint32_t page : mine) EXPECT_EQ(free_after.count(page), released.count(page)) << page;
    // The file still opens with its catalog intact.
    auto database = jet::Database::FromPages(pages, name);
    EXPECT_NE(database->FindTable("MSysObjects"), nullptr);
  }
}

// An inline map grown one page at a time at its end (as appended pages grow it) and below its
// start keeps every mark it had, and pages it newly covers read as the map's uncovered value:
// free for the global map, unused for a table's.
TEST(UsageMapWriter, InlineMapGrownPageByPageKeepsItsMarks) {
  VANTREL_REQUIRE_CORPUS();
  for (const char* name : {"jet4/testV2000.mdb", "jet3/testV1997.mdb"}) {
    for (const jet::Uncovered uncovered : {jet::Uncovered::kMarked, jet::Uncovered::kUnmarked}) {
      SCOPED_TRACE(name);
      ImagePages image(CorpusDir() / name);
      jet::store::PageOverlay pages(image);
      const Format format = image.page_size() == 2048 ? Format::kJet3 : Format::kJet4;
      const uint32_t host = pages.AppendPage();
      jet::InitDataPage(pages.MutablePage(host), format, 0);
      const auto slot = jet::AddRow(pages.MutablePage(host), format, jet::EmptyInlineMap(1000, 1));
      ASSERT_TRUE(slot.has_value());
      const uint32_t pointer = (host << 8) | *slot;
      const bool marked_value = uncovered == jet::Uncovered::kUnmarked;  // the value a change sets
      std::set<uint32_t> changed;
      auto no_new_page = []() -> uint32_t { throw std::logic_error("an inline map this small needs no bitmap page"); };
      for (uint32_t page = 1000; page < 1000 + 3000; page += 3) {
        jet::SetUsageMapBit(pages, format, pointer, page, marked_value, uncovered, no_new_page);
        changed.insert(page);
      }
      jet::SetUsageMapBit(pages, format, pointer, 990, marked_value, uncovered, no_new_page);  // below its start
      changed.insert(990);
      const auto map = jet::ReadUsageMap(pages, format, pointer);
      const std::set<uint32_t> listed(map.pages.begin(), map.pages.end());
      // Past the last page changed, as far as the map grew ahead, pages read as uncovered.
      const jet::RowSlot row = jet::ReadRowSlot(pages.Page(host), format, *slot);
      ASSERT_GE(row.bytes.size(), 5u);
      const uint32_t covered_end = 984 + static_cast<uint32_t>(row.bytes.size() - 5) * 8;
      EXPECT_GT(covered_end, 4000u);
      for (uint32_t page = 984; page < covered_end; ++page) {
        // The first byte was the map's own from the start, all clear.
        const bool initial = page >= 1000 && page < 1008 ? false : !marked_value;
        const bool expected = changed.count(page) ? marked_value : initial;
        ASSERT_EQ(listed.count(page) == 1, expected) << "page " << page;
      }
    }
  }
}

// A map whose host page has no room for growing ahead still grows inline by what it needs,
// before it would have to become a reference map.
TEST(UsageMapWriter, InlineMapOnAFullHostGrowsByWhatItNeeds) {
  VANTREL_REQUIRE_CORPUS();
  ImagePages image(CorpusDir() / "jet4/testV2000.mdb");
  jet::store::PageOverlay pages(image);
  const Format format = Format::kJet4;
  const uint32_t host = pages.AppendPage();
  jet::InitDataPage(pages.MutablePage(host), format, 0);
  const auto slot = jet::AddRow(pages.MutablePage(host), format, jet::EmptyInlineMap(1000, 1));
  ASSERT_TRUE(slot.has_value());
  // A filler row leaves 12 bytes: room for eight more bitmap bytes, not for the slack.
  const size_t free = jet::DataPageFreeSpace(pages.MutablePage(host), format);
  const std::vector<uint8_t> filler(free - 4 - 12, 0x5A);  // 4: the filler's own slot entry
  ASSERT_TRUE(jet::AddRow(pages.MutablePage(host), format, filler).has_value());
  const uint32_t pointer = (host << 8) | *slot;
  auto no_new_page = []() -> uint32_t { throw std::logic_error("the map was to stay inline"); };
  for (uint32_t page = 1000; page < 1072; ++page)
    jet::SetUsageMapBit(pages, format, pointer, page, true, jet::Uncovered::kUnmarked, no_new_page);
  const auto map = jet::ReadUsageMap(pages, format, pointer);
  ASSERT_EQ(map.pages.size(), 72u);
  EXPECT_EQ(map.pages.front(), 1000u);
  EXPECT_EQ(map.pages.back(), 1071u);
  const jet::RowSlot row = jet::ReadRowSlot(pages.Page(host), format, *slot);
  EXPECT_EQ(row.bytes.size(), 5u + 9u) << "nine bitmap bytes cover pages 1000 to 1071";
}

}  // namespace
}  // namespace vantrel::test
