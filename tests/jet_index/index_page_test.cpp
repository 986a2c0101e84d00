#include <gtest/gtest.h>

#include "jet/common/error.h"
#include "jet/index/index_page.h"
#include "tests/jet_index/index_test_pages.h"

namespace jet {
namespace {

using vantrel::test::Entry;
using vantrel::test::IndexPageImage;

class IndexPageFormats : public ::testing::TestWithParam<Format> {};

TEST_P(IndexPageFormats, ExpandsTheSharedPrefixAndReadsBigEndianPointers) {
  const Format format = GetParam();
  const std::vector<IndexEntry> entries = {Entry({0x7F, 0x10, 0x20, 0x01}, 0x012345, 7),
                                           Entry({0x7F, 0x10, 0x21}, 0x000014, 0x38),
                                           Entry({0x7F, 0x10}, 3, 0)};
  const auto image = IndexPageImage(format, kIndexLeafPageType, 15, entries, 2, 4, 9);
  const IndexPage page = ParseIndexPage(image, format, 32);
  EXPECT_TRUE(page.leaf());
  EXPECT_EQ(page.owner, 15u);
  EXPECT_EQ(page.previous_page, 4u);
  EXPECT_EQ(page.next_page, 9u);
  EXPECT_EQ(page.prefix_length, 2);
  EXPECT_EQ(page.entries, entries);
  EXPECT_EQ(page.free_space, image.size() - page.used_end);
}

TEST_P(IndexPageFormats, IntermediateEntriesCarryTheirChildAndThePageItsTail) {
  const Format format = GetParam();
  const std::vector<IndexEntry> entries = {Entry({0x80, 0x7F, 0xFF}, 17, 0, 0x20), Entry({0x80, 0x7F}, 18, 2, 0x1234)};
  const IndexPage page = ParseIndexPage(
      IndexPageImage(format, kIndexIntermediatePageType, 15, entries, 0, 0, 0, 33), format, 29);
  EXPECT_FALSE(page.leaf());
  EXPECT_EQ(page.tail_page, 33u);
  EXPECT_EQ(page.entries, entries);
}

TEST_P(IndexPageFormats, AnEmptyLeafHasNoEntries) {
  const Format format = GetParam();
  const IndexPage page = ParseIndexPage(IndexPageImage(format, kIndexLeafPageType, 5, {}), format, 10);
  EXPECT_TRUE(page.entries.empty());
  EXPECT_EQ(page.used_end, IndexPageLayoutOf(format).first_entry);
}

TEST_P(IndexPageFormats, RefusesPagesWhoseEntriesDoNotFit) {
  const Format format = GetParam();
  const IndexPageLayout layout = IndexPageLayoutOf(format);
  const auto good = IndexPageImage(format, kIndexLeafPageType, 5, {Entry({0x7F, 1, 2}, 3, 4)}, 0);

  auto wrong_type = good;
  wrong_type[0] = 0x01;
  EXPECT_THROW(ParseIndexPage(wrong_type, format, 1), Error);

  auto too_short = good;  // an entry that cannot even hold its row pointer
  too_short[layout.entry_mask] |= 0x04;
  EXPECT_THROW(ParseIndexPage(too_short, format, 1), Error);

  auto past_end = good;  // the mask runs a few bits past the page; none of them may be set
  past_end[layout.first_entry - 1] |= 0x80;
  EXPECT_THROW(ParseIndexPage(past_end, format, 1), Error);

  auto long_prefix = good;  // more shared bytes than the first key has
  long_prefix[layout.prefix_length] = 4;
  EXPECT_THROW(ParseIndexPage(long_prefix, format, 1), Error);

  EXPECT_THROW(ParseIndexPage(std::span(good).first(layout.first_entry - 1), format, 1), Error);
}

TEST_P(IndexPageFormats, ARandomlyDamagedPageNeverReadsOutsideItself) {
  const Format format = GetParam();
  std::vector<IndexEntry> entries;
  for (uint8_t i = 0; i < 40; ++i) entries.push_back(Entry({0x7F, 0x41, i, 0x01, 0x00}, 20 + i, i));
  const auto good = IndexPageImage(format, kIndexLeafPageType, 5, entries, 2);
  uint32_t seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    auto damaged = good;
    for (int flips = 0; flips < 4; ++flips) {
      seed = seed * 1103515245u + 12345u;
      // Mostly the header and mask, where a flip changes how the rest is read.
      const size_t at = (seed >> 8) % (round % 2 ? damaged.size() : IndexPageLayoutOf(format).first_entry + 64);
      damaged[at] ^= static_cast<uint8_t>(seed >> 24 | 1);
    }
    try {
      const IndexPage page = ParseIndexPage(damaged, format, 1);
      EXPECT_LE(page.used_end, damaged.size());
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), err::kCorrupt);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Jet, IndexPageFormats, ::testing::Values(Format::kJet3, Format::kJet4),
                         [](const auto& info) { return info.param == Format::kJet3 ? "Jet3" : "Jet4"; });

}  // namespace
}  // namespace jet
