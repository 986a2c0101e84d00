#include "jet/store/page_overlay.h"

#include <gtest/gtest.h>

#include <vector>

#include "jet/common/error.h"
#include "tests/jet_store/memory_pages.h"

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

}  // namespace
}  // namespace jet::store
