#include "jet/write/index_page_writer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "jet/common/error.h"
#include "tests/support/corpus.h"
#include "tests/support/image_pages.h"

namespace jet {
namespace {

// Every index page Access wrote comes back from its parsed entries, with the prefix it chose;
// bytes after the last entry are stale in some samples and carry no meaning.
TEST(IndexPageWriter, EveryCorpusIndexPageReencodes) {
  VANTREL_REQUIRE_CORPUS();
  size_t pages_checked = 0;
  for (const auto& file : vantrel::test::CorpusFiles()) {
    if (file.filename() == "passwordV2000.mdb") continue;
    vantrel::test::ImagePages image(file);
    const Format format = image.page_size() == 2048 ? Format::kJet3 : Format::kJet4;
    for (uint32_t n = 1; n < image.page_count(); ++n) {
      const auto bytes = image.Page(n);
      if (!IsIndexPage(bytes) || bytes[1] != 0x01) continue;
      const IndexPage page = ParseIndexPage(bytes, format, n);
      IndexPageFrame frame{page.type, page.owner, page.previous_page, page.next_page, page.tail_page,
                           page.prefix_length};
      const std::vector<uint8_t> encoded = EncodeIndexPage(frame, page.entries, format);
      ASSERT_TRUE(std::equal(encoded.begin(), encoded.begin() + page.used_end, bytes.begin()))
          << file.filename() << " page " << n;
      EXPECT_TRUE(std::all_of(encoded.begin() + page.used_end, encoded.end(), [](uint8_t b) { return b == 0; }));
      ++pages_checked;
    }
  }
  EXPECT_GT(pages_checked, 300u);
}

IndexEntry Entry(std::vector<uint8_t> key, uint32_t page, uint8_t row) { return IndexEntry{std::move(key), page, row, 0}; }

TEST(IndexPageWriter, PrefixAndLimits) {
  const std::vector<IndexEntry> entries{Entry({0x7F, 1, 2, 3}, 5, 0), Entry({0x7F, 1, 2, 9}, 5, 1),
                                        Entry({0x7F, 1, 7}, 6, 0)};
  EXPECT_EQ(SharedPrefixLength(entries), 2u);
  EXPECT_EQ(SharedPrefixLength(std::span(entries).first(1)), 0u);
  // Compressed with the shared prefix, the page parses back to the same entries.
  IndexPageFrame frame;
  frame.owner = 42;
  const auto page = EncodeIndexPage(frame, entries, Format::kJet4);
  const IndexPage parsed = ParseIndexPage(page, Format::kJet4, 9);
  EXPECT_EQ(parsed.prefix_length, 2);
  EXPECT_EQ(parsed.entries, entries);
  EXPECT_EQ(parsed.free_space, 4096 - parsed.used_end);
  // A prefix the entries do not share would corrupt the keys.
  frame.prefix_length = 3;
  EXPECT_THROW(EncodeIndexPage(frame, entries, Format::kJet4), Error);
  // Entries that overflow the page are refused, not truncated.
  std::vector<IndexEntry> many(300, Entry(std::vector<uint8_t>(10, 0x7F), 1, 0));
  frame.prefix_length = 0;
  EXPECT_THROW(EncodeIndexPage(frame, many, Format::kJet3), Error);
  // Empty leaf: only the header.
  frame.prefix_length.reset();
  const IndexPage empty = ParseIndexPage(EncodeIndexPage(frame, {}, Format::kJet3), Format::kJet3, 3);
  EXPECT_TRUE(empty.entries.empty());
  EXPECT_EQ(empty.free_space, 2048 - 0xF8);
}

}  // namespace
}  // namespace jet
