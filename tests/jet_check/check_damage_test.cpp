// Copies of sample files damaged in memory: the checker names the damage and never raises.

#include <gtest/gtest.h>

#include "jet/check/database_check.h"
#include "jet/index/index_page.h"
#include "tests/jet_index/index_test_pages.h"
#include "tests/support/corpus.h"

namespace jet::check {
namespace {

using vantrel::test::EditablePages;

EditablePages Sample(const char* name) { return EditablePages::FromFile(vantrel::test::CorpusDir() / name); }

bool Mentions(const CheckReport& report, const std::string& text) {
  return Describe(report).find(text) != std::string::npos;
}

TEST(CheckDamage, NamesBrokenIndexEntriesLinksAndPages) {
  VANTREL_REQUIRE_CORPUS();
  const Format format = Format::kJet4;
  const IndexPageLayout layout = IndexPageLayoutOf(format);
  EditablePages intact = Sample("jet4/compIndexTestV2000.mdb");
  ASSERT_TRUE(CheckDatabase(intact).ok());

  {  // page 33 is the tail leaf of Table1's two-level tree; its first entry's row byte moves
    EditablePages pages = Sample("jet4/compIndexTestV2000.mdb");
    ASSERT_EQ(pages.Page(33)[0], kIndexLeafPageType);
    pages.Mutable(33)[layout.first_entry + 4] = 0xF0;
    const CheckReport report = CheckDatabase(pages);
    EXPECT_FALSE(report.ok());
    EXPECT_TRUE(Mentions(report, "no live row")) << Describe(report);
    EXPECT_TRUE(Mentions(report, "has no entry in the index")) << Describe(report);
  }
  {  // the left leaf forgets its sibling
    EditablePages pages = Sample("jet4/compIndexTestV2000.mdb");
    PutU32(&pages.Mutable(32)[layout.next_page], 0);
    const CheckReport report = CheckDatabase(pages);
    EXPECT_TRUE(Mentions(report, "as the one after it")) << Describe(report);
  }
  {  // the free-space field disagrees with the entries
    EditablePages pages = Sample("jet4/compIndexTestV2000.mdb");
    pages.Mutable(32)[2] ^= 0x10;
    EXPECT_TRUE(Mentions(CheckDatabase(pages), "bytes are free")) << Describe(CheckDatabase(pages));
  }
  {  // the root's tail points back at the root: a loop, reported, not followed
    EditablePages pages = Sample("jet4/compIndexTestV2000.mdb");
    PutU32(&pages.Mutable(29)[layout.tail_page], 29);
    const CheckReport report = CheckDatabase(pages);
    EXPECT_TRUE(Mentions(report, "twice")) << Describe(report);
  }
  {  // a data page of Table1 (definition page 15) claims another owner
    EditablePages pages = Sample("jet4/compIndexTestV2000.mdb");
    const auto page = pages.Page(20);
    ASSERT_EQ(page[0], 0x01);
    ASSERT_EQ(ByteReader(page).U32(4), 15u);
    PutU32(&pages.Mutable(20)[4], 16);
    const CheckReport report = CheckDatabase(pages);
    EXPECT_TRUE(Mentions(report, "not one of its data pages")) << Describe(report);
  }
}

TEST(CheckDamage, RandomFlipsNeverEscapeTheReport) {
  VANTREL_REQUIRE_CORPUS();
  for (const char* name : {"jet4/compIndexTestV2000.mdb", "jet3/testIndexCodesV1997.mdb", "jet4/test2V2000.mdb"}) {
    EditablePages original = Sample(name);
    uint32_t seed = 99;
    size_t flagged = 0;
    for (int round = 0; round < 60; ++round) {
      EditablePages pages = original;
      for (int flip = 0; flip < 6; ++flip) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t page = 1 + (seed >> 8) % (pages.page_count() - 1);
        seed = seed * 1103515245u + 12345u;
        pages.Mutable(page)[(seed >> 8) % pages.page_size()] ^= static_cast<uint8_t>(seed >> 24 | 1);
      }
      const CheckReport report = CheckDatabase(pages);  // must not raise
      flagged += !report.findings.empty();
    }
    EXPECT_GT(flagged, 0u) << name;
  }
}

}  // namespace
}  // namespace jet::check
