#include "jet/store/page_overlay.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "jet/common/error.h"
#include "jet/store/file_io.h"
#include "tests/jet_store/memory_pages.h"
#include "tests/support/corpus.h"

namespace jet::store {
namespace {

TEST(PageOverlay, ChangesStayInTheOverlayAndNewPagesAppend) {
  MemoryPages base(4, 4096);
  PageOverlay overlay(base);
  EXPECT_FALSE(overlay.changed());

  overlay.MutablePage(2)[10] = 0xAB;
  const uint32_t added = overlay.AppendPage();
  EXPECT_EQ(added, 4u);
  EXPECT_EQ(overlay.page_count(), 5u);
  EXPECT_TRUE(overlay.changed());

  EXPECT_EQ(overlay.Page(2)[10], 0xAB);
  EXPECT_EQ(overlay.Page(2)[0], base.Page(2)[0]);  // the rest of the page came from the base
  EXPECT_NE(base.Page(2)[10], 0xAB);               // the base never sees a change
  EXPECT_EQ(overlay.Page(4).size(), 4096u);
  EXPECT_EQ(overlay.Page(4)[0], 0);
  EXPECT_THROW(overlay.Page(5), Error);
  EXPECT_THROW(overlay.MutablePage(5), Error);
}

TEST(PageOverlay, RollbackRestoresChangedAndAppendedPages) {
  MemoryPages base(3, 2048);
  PageOverlay overlay(base);
  overlay.MutablePage(1)[0] = 1;  // before the savepoint: survives the rollback

  overlay.BeginSavepoint();
  overlay.MutablePage(1)[0] = 2;
  overlay.MutablePage(2)[0] = 3;
  overlay.AppendPage();
  overlay.RollbackToSavepoint();

  EXPECT_EQ(overlay.page_count(), 3u);
  EXPECT_EQ(overlay.Page(1)[0], 1);
  EXPECT_EQ(overlay.Page(2)[0], base.Page(2)[0]);
  EXPECT_EQ(overlay.changed_pages().size(), 1u);
  EXPECT_EQ(overlay.AppendPage(), 3u);  // the rolled-back page number is handed out again
}

// A rollback keeps only what the savepoint saw first: a page changed twice comes back as it
// was before the first change, a page appended before the savepoint keeps its earlier bytes,
// and what an earlier, released savepoint changed stays.
TEST(PageOverlay, RollbackRestoresEachPageAsTheSavepointFoundIt) {
  MemoryPages base(2, 2048);
  PageOverlay overlay(base);
  const uint32_t appended = overlay.AppendPage();
  overlay.MutablePage(appended)[5] = 7;
  overlay.BeginSavepoint();
  overlay.MutablePage(0)[9] = 1;
  overlay.ReleaseSavepoint();

  overlay.BeginSavepoint();
  overlay.MutablePage(appended)[5] = 8;
  overlay.MutablePage(appended)[5] = 9;
  overlay.MutablePage(0)[9] = 2;
  overlay.MutablePage(1)[9] = 3;
  const uint32_t inside = overlay.AppendPage();
  overlay.MutablePage(inside)[0] = 4;
  overlay.RollbackToSavepoint();

  EXPECT_EQ(overlay.page_count(), 3u);
  EXPECT_EQ(overlay.Page(appended)[5], 7);
  EXPECT_EQ(overlay.Page(0)[9], 1);
  EXPECT_EQ(overlay.Page(1)[9], base.Page(1)[9]);
  EXPECT_EQ(overlay.changed_pages().size(), 2u);  // page 0 and the page appended first
  EXPECT_EQ(overlay.AppendPage(), inside);
  EXPECT_EQ(overlay.Page(inside)[0], 0) << "a page handed out again starts empty";
}

TEST(PageOverlay, AtomicallyKeepsWhatSucceedsAndUndoesWhatThrows) {
  MemoryPages base(2, 4096);
  PageOverlay overlay(base);

  const uint32_t page = Atomically(overlay, [&] { return overlay.AppendPage(); });
  EXPECT_EQ(page, 2u);
  EXPECT_FALSE(overlay.in_savepoint());

  EXPECT_THROW(Atomically(overlay,
                          [&] {
                            overlay.MutablePage(page)[5] = 9;
                            overlay.AppendPage();
                            throw Error(err::kDuplicateKey, "duplicate");
                          }),
               Error);
  EXPECT_FALSE(overlay.in_savepoint());
  EXPECT_EQ(overlay.page_count(), 3u);
  EXPECT_EQ(overlay.Page(page)[5], 0);
}


// Spilling: pages of a 2048-byte base, a budget of four pages, so that a spill keeps two.
class SpillingOverlay : public ::testing::Test {
 protected:
  static constexpr uint32_t kPage = 2048;
  void SetUp() override { overlay.EnableSpill(scratch, 4 * kPage); }
  void TearDown() override { InjectFaultForTesting(std::nullopt); }

  // Gives page `number` a mark of its own in byte `at` and returns it.
  uint8_t Mark(uint32_t number, size_t at, uint8_t mark) {
    overlay.MutablePage(number)[at] = mark;
    return mark;
  }
  std::vector<uint8_t> Bytes(uint32_t number) {
    const auto page = overlay.Page(number);
    return std::vector<uint8_t>(page.begin(), page.end());
  }

  vantrel::test::TempDir dir;
  std::filesystem::path scratch = dir / "db.mdb.~vtspill-test";
  MemoryPages base{6, kPage};
  PageOverlay overlay{base};
};

TEST_F(SpillingOverlay, PagesOverTheBudgetMoveToTheScratchFileAndReadBackAsTheyWere) {
  overlay.SpillIfOverBudget();
  EXPECT_FALSE(std::filesystem::exists(scratch)) << "nothing to spill, no file";

  std::vector<std::vector<uint8_t>> expected;
  for (uint32_t number = 0; number < 6; ++number) Mark(number, 100, static_cast<uint8_t>(0xA0 + number));
  for (int i = 0; i < 4; ++i) Mark(overlay.AppendPage(), 7, static_cast<uint8_t>(0xB0 + i));
  for (uint32_t number = 0; number < overlay.page_count(); ++number) expected.push_back(Bytes(number));
  // Pages 0 and 1 are used again: the least recently used go first.
  Mark(0, 200, 1);
  Mark(1, 200, 2);
  expected[0][200] = 1;
  expected[1][200] = 2;

  overlay.SpillIfOverBudget();
  EXPECT_EQ(overlay.resident_bytes(), 2 * kPage);
  EXPECT_EQ(overlay.spilled_count(), 8u);
  EXPECT_EQ(overlay.changed_pages().size(), 10u);
  EXPECT_TRUE(std::filesystem::exists(scratch));
  EXPECT_EQ(std::filesystem::file_size(scratch), 10u * kPage) << "each page at its own place";
  for (uint32_t number = 0; number < overlay.page_count(); ++number)
    EXPECT_EQ(Bytes(number), expected[number]) << "page " << number;
  EXPECT_EQ(base.Page(3)[100], MemoryPages(6, kPage).Page(3)[100]) << "the base never sees a change";

  // Reading them all brought them back; another spill forgets the unchanged copies without
  // writing them again.
  overlay.SpillIfOverBudget();
  EXPECT_EQ(overlay.resident_bytes(), 2 * kPage);
  EXPECT_EQ(std::filesystem::file_size(scratch), 10u * kPage) << "each page at its own place";
}

TEST_F(SpillingOverlay, APageChangedAfterItsSpillKeepsBothChanges) {
  for (uint32_t number = 0; number < 6; ++number) Mark(number, 10, 0x11);
  overlay.SpillIfOverBudget();
  ASSERT_GT(overlay.spilled_count(), 0u);
  Mark(0, 11, 0x22);  // page 0 went first
  for (uint32_t number = 1; number < 6; ++number) Bytes(number);
  overlay.SpillIfOverBudget();
  Mark(0, 12, 0x33);
  overlay.SpillIfOverBudget();
  for (uint32_t number = 1; number < 6; ++number) Bytes(number);
  overlay.SpillIfOverBudget();
  const auto page = overlay.Page(0);
  EXPECT_EQ(page[10], 0x11);
  EXPECT_EQ(page[11], 0x22);
  EXPECT_EQ(page[12], 0x33);
  EXPECT_EQ(page[13], base.Page(0)[13]);
  EXPECT_EQ(overlay.changed_pages().size(), 6u);
}

// A rollback undoes changes to spilled pages and drops appended pages wherever they are;
// what was spilled before the savepoint stays, and a scratch file left with nothing in it goes.
TEST_F(SpillingOverlay, RollbackReachesAcrossASpill) {
  Mark(0, 50, 0x01);
  Mark(1, 50, 0x02);
  for (uint32_t number = 2; number < 6; ++number) Bytes(number);
  overlay.BeginSavepoint();
  for (int i = 0; i < 5; ++i) Mark(overlay.AppendPage(), 0, 0xEE);
  overlay.SpillIfOverBudget();  // pages 0 and 1 are the oldest: spilled inside the savepoint
  ASSERT_GE(overlay.spilled_count(), 2u);
  Mark(0, 50, 0x99);
  Mark(2, 50, 0x98);
  overlay.SpillIfOverBudget();
  overlay.RollbackToSavepoint();

  EXPECT_EQ(overlay.page_count(), 6u);
  EXPECT_EQ(overlay.Page(0)[50], 0x01);
  EXPECT_EQ(overlay.Page(1)[50], 0x02);
  EXPECT_EQ(overlay.Page(2)[50], base.Page(2)[50]);
  EXPECT_EQ(overlay.changed_pages().size(), 2u);
  EXPECT_THROW(overlay.Page(6), Error);
  EXPECT_EQ(overlay.Page(overlay.AppendPage())[0], 0) << "a page handed out again starts empty";

}

// The scratch file lives only while it holds pages: a rollback of all that was spilled and
// the end of the overlay both remove it.
TEST_F(SpillingOverlay, TheScratchFileGoesWithTheLastSpilledPage) {
  overlay.BeginSavepoint();
  for (int i = 0; i < 6; ++i) Mark(overlay.AppendPage(), 0, 0xEE);
  overlay.SpillIfOverBudget();
  ASSERT_TRUE(std::filesystem::exists(scratch));
  overlay.RollbackToSavepoint();
  EXPECT_FALSE(std::filesystem::exists(scratch));
  EXPECT_FALSE(overlay.changed());

  const auto other_scratch = dir / "other.mdb.~vtspill-test";
  {
    PageOverlay other(base);
    other.EnableSpill(other_scratch, kPage);
    for (int i = 0; i < 3; ++i) other.AppendPage();
    other.SpillIfOverBudget();
    ASSERT_TRUE(std::filesystem::exists(other_scratch));
  }
  EXPECT_FALSE(std::filesystem::exists(other_scratch));
}

TEST_F(SpillingOverlay, AFailedScratchWriteRaises3043AndLosesNothing) {
  for (uint32_t number = 0; number < 6; ++number) Mark(number, 30, static_cast<uint8_t>(number + 1));
  InjectFaultForTesting(InjectedFault{IoStep::kWrite, 1, ENOSPC});
  try {
    overlay.SpillIfOverBudget();
    ADD_FAILURE() << "the spill survived the fault";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), err::kDiskIo);
  }
  EXPECT_EQ(overlay.resident_bytes(), 6u * kPage);
  for (uint32_t number = 0; number < 6; ++number) EXPECT_EQ(overlay.Page(number)[30], number + 1);
  overlay.SpillIfOverBudget();  // the disk has room again
  for (uint32_t number = 0; number < 6; ++number) EXPECT_EQ(overlay.Page(number)[30], number + 1);
}

// A flush hands over spilled pages as well, in page order, and leaves no scratch file.
TEST_F(SpillingOverlay, FlushHandsOverSpilledPagesInOrder) {
  for (uint32_t number = 5; number > 0; --number) Mark(number, 60, static_cast<uint8_t>(number));
  overlay.SpillIfOverBudget();
  std::vector<uint32_t> order;
  overlay.Flush([&](uint32_t number, std::span<const uint8_t> bytes) {
    order.push_back(number);
    EXPECT_EQ(bytes[60], number);
  });
  EXPECT_EQ(order, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_FALSE(overlay.changed());
  EXPECT_FALSE(std::filesystem::exists(scratch));
}

// Flushing in runs: neighbours go together, never more than asked for at once, a page the
// overlay does not hold ends a run, and spilled pages come back from the scratch file.
TEST_F(SpillingOverlay, FlushRunsHandsOverNeighboursTogether) {
  for (uint32_t number : {0u, 1u, 2u, 4u}) Mark(number, 60, static_cast<uint8_t>(number + 1));
  Mark(overlay.AppendPage(), 60, 0x77);  // page 6, past page 5 that stays the base's
  overlay.SpillIfOverBudget();
  ASSERT_GT(overlay.spilled_count(), 0u);
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> runs;  // first page, byte 60 of each
  overlay.FlushRuns(
      [&](uint32_t first, std::span<const std::span<const uint8_t>> pages) {
        std::vector<uint8_t> marks;
        for (const auto& page : pages) {
          EXPECT_EQ(page.size(), kPage);
          marks.push_back(page[60]);
        }
        runs.emplace_back(first, marks);
      },
      2);
  const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> expected = {
      {0, {1, 2}}, {2, {3}}, {4, {5}}, {6, {0x77}}};
  EXPECT_EQ(runs, expected);
  EXPECT_TRUE(overlay.changed_pages().empty());
  EXPECT_FALSE(std::filesystem::exists(scratch));
}

// What a commit reads: runs of pages that mix the base's, those in memory and spilled ones,
// each as Page gives it; a run past the end is refused.
TEST_F(SpillingOverlay, RunsOfPagesMixBaseMemoryAndScratch) {
  for (uint32_t number = 0; number < 4; ++number) Mark(number, 5, static_cast<uint8_t>(0x50 + number));
  Mark(overlay.AppendPage(), 5, 0x56);
  overlay.SpillIfOverBudget();
  Mark(4, 5, 0x54);
  ASSERT_GT(overlay.spilled_count(), 0u);
  std::vector<uint8_t> run = {0xCC};
  overlay.AppendPages(0, overlay.page_count(), run);
  ASSERT_EQ(run.size(), 1 + size_t{overlay.page_count()} * kPage);
  EXPECT_EQ(run[0], 0xCC) << "appended after what was there";
  for (uint32_t number = 0; number < overlay.page_count(); ++number)
    EXPECT_TRUE(std::equal(run.begin() + 1 + number * kPage, run.begin() + 1 + (number + 1) * kPage,
                           overlay.Page(number).begin()))
        << "page " << number;
  EXPECT_THROW(overlay.AppendPages(5, 3, run), Error);
}

TEST(PageOverlay, AnOverlayWithoutSpillingKeepsEveryPage) {
  MemoryPages base(2, 2048);
  PageOverlay overlay(base);
  for (int i = 0; i < 100; ++i) overlay.AppendPage();
  overlay.SpillIfOverBudget();
  EXPECT_EQ(overlay.resident_bytes(), 100u * 2048);
  EXPECT_EQ(overlay.spilled_count(), 0u);
}

}  // namespace
}  // namespace jet::store
