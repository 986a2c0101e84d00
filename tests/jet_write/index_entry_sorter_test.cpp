// Index entries sorted with runs spilled to a file must come out exactly as a sort in memory
// gives them, whatever the runs' sizes, and the file must be gone once the sorter's user is.
#include "jet/write/index_entry_sorter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "jet/common/error.h"
#include "jet/write/index_builder.h"
#include "jet/write/merging_thread.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace {

using vantrel::test::ErrorOf;
using vantrel::test::TempDir;

// Keys that make the order hard: many equal keys (the row decides), keys that are prefixes of
// others, empty keys, 0x00 and 0xFF bytes, and keys longer than a read buffer's start.
std::vector<jet::IndexEntry> Entries(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<jet::IndexEntry> entries;
  for (size_t i = 0; i < count; ++i) {
    jet::IndexEntry entry;
    switch (random() % 6) {
      case 0: break;  // empty
      case 1: entry.key = {0x7F, static_cast<uint8_t>(random() % 3)}; break;
      case 2: entry.key = {0x7F, static_cast<uint8_t>(random() % 3), 0x00}; break;
      case 3: entry.key.assign(1 + random() % 12, 0xFF); break;
      case 4: entry.key.assign(5000 + random() % 15000, static_cast<uint8_t>(random() % 2)); break;
      default:
        for (size_t b = 0, n = random() % 40; b < n; ++b) entry.key.push_back(static_cast<uint8_t>(random()));
    }
    entry.data_page = random() % 5;
    entry.data_row = static_cast<uint8_t>(i % 251);  // with the page: every entry its own row
    entry.data_page += static_cast<uint32_t>(i / 251) * 5;
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<jet::IndexEntry> Drained(jet::IndexEntrySorter::Stream stream) {
  std::vector<jet::IndexEntry> out;
  for (jet::IndexEntryView view; stream.Next(view);) {
    jet::IndexEntry entry;
    entry.key.assign(view.key.begin(), view.key.end());
    entry.data_page = view.data_page;
    entry.data_row = view.data_row;
    out.push_back(std::move(entry));
  }
  return out;
}

TEST(IndexEntrySorter, RunsOfAnySizeMergeIntoTheOrderOfASortInMemory) {
  const std::vector<jet::IndexEntry> entries = Entries(3000, 7);
  std::vector<jet::IndexEntry> expected = entries;
  std::sort(expected.begin(), expected.end(), jet::IndexEntryLess);
  // 0: nothing spilled; 1: every entry a run of its own; the last: everything spilled, memory
  // empty when reading starts.
  for (size_t run_length : {size_t{0}, size_t{1}, size_t{2}, size_t{97}, size_t{1000}, entries.size()}) {
    SCOPED_TRACE(run_length);
    TempDir folder;
    jet::EntrySpillFile file(folder / "runs");
    jet::IndexEntrySorter sorter;
    for (size_t i = 0; i < entries.size(); ++i) {
      sorter.Add(entries[i].key, entries[i].data_page, entries[i].data_row);
      if (run_length != 0 && (i + 1) % run_length == 0) sorter.Spill(file);
    }
    EXPECT_EQ(sorter.size(), entries.size());
    EXPECT_EQ(file.made(), run_length != 0);
    // A budget smaller than one buffer per run still reads every run whole.
    const std::vector<jet::IndexEntry> sorted = Drained(sorter.Sorted(&file, 1));
    ASSERT_EQ(sorted.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(sorted[i], expected[i]) << "entry " << i;
    EXPECT_EQ(sorter.size(), 0u);
    EXPECT_TRUE(Drained(sorter.Sorted(&file, 1)).empty());
  }
}

// Ranges sorted as they are added merge with each other, with a range left unsorted and with
// runs on disk into the one order; a spill takes the ranges into its run.
TEST(IndexEntrySorter, RangesSortedAsAddedMergeIntoTheOrderOfASortInMemory) {
  const std::vector<jet::IndexEntry> entries = Entries(3000, 11);
  std::vector<jet::IndexEntry> expected = entries;
  std::sort(expected.begin(), expected.end(), jet::IndexEntryLess);
  struct Plan {
    size_t range, spill;  // every so many entries (0: never)
  };
  for (const Plan plan : {Plan{1, 0}, Plan{7, 0}, Plan{500, 0}, Plan{501, 0}, Plan{500, 1200}, Plan{64, 999}, Plan{3, 1000}}) {
    SCOPED_TRACE(std::to_string(plan.range) + " " + std::to_string(plan.spill));
    TempDir folder;
    jet::EntrySpillFile file(folder / "runs");
    jet::IndexEntrySorter sorter;
    for (size_t i = 0; i < entries.size(); ++i) {
      sorter.Add(entries[i].key, entries[i].data_page, entries[i].data_row);
      if ((i + 1) % plan.range == 0) {
        sorter.SortAdded();
        EXPECT_EQ(sorter.unsorted(), 0u);
      }
      if (plan.spill != 0 && (i + 1) % plan.spill == 0) sorter.Spill(file);
    }
    // Merged or not before reading, the same order.
    if (plan.range % 2 == 1) sorter.MergeRanges();
    const std::vector<jet::IndexEntry> sorted = Drained(sorter.Sorted(&file, 1));
    ASSERT_EQ(sorted.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(sorted[i], expected[i]) << "entry " << i;
  }
  // Cleared, the sorter forgets its ranges with its entries.
  jet::IndexEntrySorter sorter;
  sorter.Add(std::vector<uint8_t>{9}, 1, 0);
  sorter.SortAdded();
  sorter.Clear();
  sorter.Add(std::vector<uint8_t>{1}, 2, 0);
  EXPECT_EQ(sorter.unsorted(), 1u);
  EXPECT_EQ(Drained(sorter.Sorted(nullptr, 0)).size(), 1u);
}

// Entries read ahead on a merging thread come in the stream's order, whatever the batches'
// bounds (none, one entry, entries of 5000-20000 bytes), and a run damaged on disk raises its
// error from Next after the entries merged before it.
TEST(IndexEntrySorter, AMergingThreadGivesTheStreamsEntries) {
  for (size_t count : {size_t{0}, size_t{1}, size_t{8192}, size_t{20000}}) {
    SCOPED_TRACE(count);
    const std::vector<jet::IndexEntry> entries = Entries(count, 13);
    std::vector<jet::IndexEntry> expected = entries;
    std::sort(expected.begin(), expected.end(), jet::IndexEntryLess);
    TempDir folder;
    jet::EntrySpillFile file(folder / "runs");
    jet::IndexEntrySorter sorter;
    for (size_t i = 0; i < entries.size(); ++i) {
      sorter.Add(entries[i].key, entries[i].data_page, entries[i].data_row);
      if ((i + 1) % 3000 == 0) sorter.Spill(file);
    }
    jet::MergingThread merged(sorter.Sorted(&file, 1 << 20));
    std::vector<jet::IndexEntry> out;
    for (jet::IndexEntryView view; merged.Next(view);)
      out.push_back(jet::IndexEntry{{view.key.begin(), view.key.end()}, view.data_page, view.data_row, 0});
    jet::IndexEntryView view;
    EXPECT_FALSE(merged.Next(view));  // and stays ended
    ASSERT_EQ(out.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(out[i], expected[i]) << "entry " << i;
  }
  TempDir folder;
  jet::EntrySpillFile file(folder / "runs");
  jet::IndexEntrySorter sorter;
  for (const jet::IndexEntry& entry : Entries(6000, 17)) {
    sorter.Add(entry.key, entry.data_page, entry.data_row);
    if (sorter.size() % 2000 == 0) sorter.Spill(file);
  }
  std::filesystem::resize_file(folder / "runs", std::filesystem::file_size(folder / "runs") / 2);
  size_t given = 0;
  const int32_t error = ErrorOf([&] {
    jet::MergingThread merged(sorter.Sorted(&file, 1 << 16));
    for (jet::IndexEntryView view; merged.Next(view);) ++given;
  });
  EXPECT_NE(error, 0);
  EXPECT_LT(given, 6000u);
  // Dropped unread, the thread stops and goes.
  jet::IndexEntrySorter again;
  for (const jet::IndexEntry& entry : Entries(30000, 19)) again.Add(entry.key, entry.data_page, entry.data_row);
  again.Spill(file);
  { jet::MergingThread dropped(again.Sorted(&file, 1 << 16)); }
}

TEST(IndexEntrySorter, TheRunFileExistsOnlyFromTheFirstRunUntilItsOwnerGoes) {
  TempDir folder;
  const auto path = folder / "runs";
  {
    jet::EntrySpillFile file(path);
    jet::IndexEntrySorter sorter;
    sorter.Spill(file);  // nothing to write: no file
    EXPECT_FALSE(std::filesystem::exists(path));
    sorter.Add(std::vector<uint8_t>{1, 2, 3}, 1, 0);
    sorter.Spill(file);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(Drained(sorter.Sorted(&file, 0)).size(), 1u);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  // A file that may not be made (its folder is gone) raises the engine's disk error and
  // leaves nothing behind.
  {
    jet::EntrySpillFile file(folder / "missing" / "runs");
    jet::IndexEntrySorter sorter;
    sorter.Add(std::vector<uint8_t>{1}, 1, 0);
    EXPECT_EQ(ErrorOf([&] { sorter.Spill(file); }), jet::err::kDiskIo);
    EXPECT_FALSE(file.made());
  }
  // Reading past what was written is a damaged run, not bytes from beyond it.
  jet::EntrySpillFile file(path);
  file.Append(std::vector<uint8_t>(10, 0));
  std::vector<uint8_t> bytes(4);
  EXPECT_EQ(ErrorOf([&] { file.Read(8, bytes); }), jet::err::kCorrupt);
  EXPECT_EQ(ErrorOf([&] { file.Read(UINT64_MAX - 1, bytes); }), jet::err::kCorrupt);
}

TEST(IndexEntrySorter, AKeyTooLongForAnEntryIsRefused) {
  jet::IndexEntrySorter sorter;
  EXPECT_EQ(ErrorOf([&] { sorter.Add(std::vector<uint8_t>(size_t{UINT16_MAX} + 1, 1), 1, 0); }),
            jet::err::kNotSupported);
  EXPECT_EQ(sorter.size(), 0u);
}

}  // namespace
