#include <gtest/gtest.h>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/index/index_reader.h"
#include "tests/jet_index/index_test_pages.h"
#include "tests/support/corpus.h"

namespace jet {
namespace {

using vantrel::test::EditablePages;
using vantrel::test::Entry;
using vantrel::test::IndexPageImage;

constexpr Format kFormat = Format::kJet4;
constexpr uint32_t kOwner = 9;

std::vector<IndexEntry> ReadAll(IndexCursor& cursor) {
  std::vector<IndexEntry> entries;
  for (IndexEntry entry; cursor.Next(entry);) entries.push_back(entry);
  return entries;
}

// Root 1 over leaves 2 and 3 (the tail), as Access builds a two-level tree; keys 10..15, the
// key 12 twice and split across the leaves.
class TwoLevelTree : public ::testing::Test {
 protected:
  TwoLevelTree() : pages(8, PageSizeOf(kFormat)) {
    left = {Entry({0x7F, 10}, 20, 0), Entry({0x7F, 11}, 20, 1), Entry({0x7F, 12}, 20, 2)};
    right = {Entry({0x7F, 12}, 21, 0), Entry({0x7F, 14}, 21, 1), Entry({0x7F, 15}, 21, 2)};
    IndexEntry separator = left.back();
    separator.child_page = 2;
    pages.Put(1, IndexPageImage(kFormat, kIndexIntermediatePageType, kOwner, {separator}, 0, 0, 0, 3));
    pages.Put(2, IndexPageImage(kFormat, kIndexLeafPageType, kOwner, left, 1, 0, 3));
    pages.Put(3, IndexPageImage(kFormat, kIndexLeafPageType, kOwner, right, 1, 2, 0));
  }
  void Root(std::vector<IndexEntry> entries, uint32_t tail) {
    pages.Put(1, IndexPageImage(kFormat, kIndexIntermediatePageType, kOwner, entries, 0, 0, 0, tail));
  }

  EditablePages pages;
  std::vector<IndexEntry> left, right;
};

TEST_F(TwoLevelTree, WalksEveryChildThenTheTail) {
  IndexCursor cursor(pages, kFormat, 1, kOwner);
  std::vector<IndexEntry> all = left;
  all.insert(all.end(), right.begin(), right.end());
  EXPECT_EQ(ReadAll(cursor), all);
  EXPECT_EQ(cursor.pages_read(), (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(cursor.leaf_pages_read(), (std::vector<uint32_t>{2, 3}));
  EXPECT_EQ(IndexTreePages(pages, kFormat, 1, kOwner), (std::vector<uint32_t>{1, 2, 3}));
}

// Taking a tree apart needs its pages, not its leaf entries: a leaf whose entries cannot be
// read is still listed (the walk raises), as long as its header says it is this tree's.
TEST_F(TwoLevelTree, TheTreesPagesAreFoundWithoutReadingTheLeaves) {
  auto leaf = pages.Mutable(3);
  const IndexPageLayout layout = IndexPageLayoutOf(kFormat);
  std::fill(leaf.begin() + layout.entry_mask, leaf.begin() + layout.first_entry, 0);
  leaf[layout.entry_mask] = 1;  // an entry one byte long: too short for its pointer
  IndexCursor cursor(pages, kFormat, 1, kOwner);
  EXPECT_THROW(ReadAll(cursor), Error);
  EXPECT_EQ(IndexTreePages(pages, kFormat, 1, kOwner), (std::vector<uint32_t>{1, 2, 3}));
}

TEST_F(TwoLevelTree, LookupsCrossFromAChildIntoTheTail) {
  const std::vector<uint8_t> twelve = {0x7F, 12}, thirteen = {0x7F, 13}, sixteen = {0x7F, 16};
  EXPECT_EQ(FindEqual(pages, kFormat, 1, twelve), (std::vector<IndexEntry>{left[2], right[0]}));
  EXPECT_EQ(FindFirstAtLeast(pages, kFormat, 1, thirteen), right[1]);
  EXPECT_TRUE(FindEqual(pages, kFormat, 1, thirteen).empty());
  EXPECT_FALSE(FindFirstAtLeast(pages, kFormat, 1, sixteen).has_value());
  // A shorter key sorts before every longer key it begins.
  EXPECT_EQ(FindFirstAtLeast(pages, kFormat, 1, std::vector<uint8_t>{0x7F}), left[0]);

  IndexCursor cursor(pages, kFormat, 1);
  cursor.Seek(thirteen);
  EXPECT_EQ(ReadAll(cursor), (std::vector<IndexEntry>{right[1], right[2]}));
  cursor.Seek(std::vector<uint8_t>{0x7F, 11});  // a second seek starts a fresh walk
  EXPECT_EQ(ReadAll(cursor).size(), 5u);
}

TEST_F(TwoLevelTree, AnIntermediatePageWithOnlyATailStillReachesIt) {
  Root({}, 3);
  IndexCursor cursor(pages, kFormat, 1);
  EXPECT_EQ(ReadAll(cursor), right);
}

TEST_F(TwoLevelTree, LoopsAndForeignPagesRaiseInsteadOfHanging) {
  const auto expect_corrupt = [&](const char* what) {
    SCOPED_TRACE(what);
    IndexCursor cursor(pages, kFormat, 1, kOwner);
    try {
      ReadAll(cursor);
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), err::kCorrupt);
    }
    try {
      IndexTreePages(pages, kFormat, 1, kOwner);
      ADD_FAILURE() << "no error from the page walk";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), err::kCorrupt);
    }
  };
  IndexEntry separator = left.back();
  separator.child_page = 1;
  Root({separator}, 3);
  expect_corrupt("child is the root");
  separator.child_page = 2;
  Root({separator}, 2);
  expect_corrupt("tail is also a child");
  Root({separator}, 8);
  expect_corrupt("tail past the end of the file");
  Root({separator}, 4);  // page 4 is all zeros: not an index page
  expect_corrupt("tail is not an index page");
  pages.Put(4, IndexPageImage(kFormat, kIndexLeafPageType, kOwner + 1, right));
  expect_corrupt("tail belongs to another table");
  // A chain of intermediate pages, each only a tail to the next: too deep, though no page repeats.
  EditablePages deep(40, PageSizeOf(kFormat));
  for (uint32_t page = 1; page < 40; ++page)
    deep.Put(page, IndexPageImage(kFormat, kIndexIntermediatePageType, kOwner, {}, 0, 0, 0, page + 1 < 40 ? page + 1 : 0));
  IndexCursor cursor(deep, kFormat, 1);
  EXPECT_THROW(ReadAll(cursor), Error);
  EXPECT_THROW(IndexTreePages(deep, kFormat, 1, kOwner), Error);
}

// Flipped bytes in the index pages of real files: the walk ends or raises, never crashes or
// loops (the sanitizer build makes a stray read fail loudly).
TEST(IndexCursorDamage, FlippedBytesInSampleTreesEndOrRaise) {
  VANTREL_REQUIRE_CORPUS();
  for (const char* name : {"jet3/testIndexCodesV1997.mdb", "jet4/compIndexTestV2000.mdb", "jet3/compIndexTestV1997.mdb"}) {
    auto original = EditablePages::FromFile(vantrel::test::CorpusDir() / name);
    std::vector<uint32_t> roots, index_pages;
    for (uint32_t page = 0; page < original.page_count(); ++page) {
      const auto bytes = original.Page(page);
      if (IsIndexPage(bytes)) index_pages.push_back(page);
      if (bytes[0] == kIndexIntermediatePageType) roots.push_back(page);
    }
    uint32_t seed = 77;
    size_t raised = 0;
    for (int round = 0; round < 300; ++round) {
      EditablePages pages = original;
      for (int flip = 0; flip < 3; ++flip) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t page = index_pages[(seed >> 4) % index_pages.size()];
        const size_t at = (seed >> 12) % (round % 3 == 0 ? pages.page_size() : 64);
        pages.Mutable(page)[at] ^= static_cast<uint8_t>((seed >> 24) | 1);
      }
      for (uint32_t root : roots) {
        try {
          IndexCursor cursor(pages, original.format(), root);
          ReadAll(cursor);
          (void)FindFirstAtLeast(pages, original.format(), root, std::vector<uint8_t>{0x7F, 0x40});
          (void)IndexTreePages(pages, original.format(), root, ByteReader(pages.Page(root), "index page").U32(4));
        } catch (const Error& error) {
          EXPECT_EQ(error.number(), err::kCorrupt);
          ++raised;
        }
      }
    }
    EXPECT_GT(raised, 0u) << name;
  }
}

}  // namespace
}  // namespace jet
