#pragma once
// Leaf entries of one index put in index order with bounded memory: entries are gathered in
// memory, and when the caller says so they are sorted and written out as a run to a file
// beside the database being built. Reading merges the runs with what memory still holds.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "jet/index/index_entry.h"
#include "jet/store/file_io.h"
#include "jet/write/index_builder.h"

namespace jet {

// The file that sorted runs go to. It is made at the first run, so that a build whose entries
// fit in memory never touches the disk for them, and removed when this goes out of scope,
// whether the build succeeded or not. Give it a name the database's stale-file sweep knows,
// so that a killed run's file goes at the next open.
class EntrySpillFile {
 public:
  explicit EntrySpillFile(std::filesystem::path path);
  ~EntrySpillFile();
  EntrySpillFile(const EntrySpillFile&) = delete;
  EntrySpillFile& operator=(const EntrySpillFile&) = delete;

  const std::filesystem::path& path() const { return path_; }
  bool made() const { return file_.is_open(); }
  // Appends at the file's end; returns where the bytes start.
  uint64_t Append(std::span<const uint8_t> bytes);
  // Reads bytes that Append wrote; a range past what was written is a damaged file.
  void Read(uint64_t offset, std::span<uint8_t> bytes);

 private:
  std::filesystem::path path_;
  store::FileHandle file_;
  uint64_t size_ = 0;
};

// Entries in the order Access keeps them: key as unsigned bytes, then row page, then row.
class IndexEntrySorter {
 public:
  IndexEntrySorter() = default;
  IndexEntrySorter(IndexEntrySorter&&) noexcept = default;
  IndexEntrySorter& operator=(IndexEntrySorter&&) noexcept = default;

  void Add(std::span<const uint8_t> key, uint32_t data_page, uint8_t data_row);
  // What the entries held in memory take, counted by the storage reserved for them.
  size_t memory_bytes() const { return slots_.capacity() * sizeof(Slot) + key_bytes_.capacity(); }
  uint64_t size() const { return spilled_ + slots_.size(); }
  // Sorts what memory holds, writes it to `file` as one run and frees the memory.
  void Spill(EntrySpillFile& file);
  // Forgets every entry (the runs stay in the file, unread).
  void Clear();
  // Sorts the entries added since the last call (or since the last spill) as one range of
  // their own, to be merged with the others when read: sorting a table's entries piece by
  // piece where they are made (on a thread that keys the rows) leaves only a merge of few
  // ranges to the reader.
  void SortAdded();
  // Sorts what was added since, then merges the sorted ranges into one, so that reading is no
  // merge of them.
  void MergeRanges();
  // Entries added since the last sorted range.
  size_t unsorted() const { return slots_.size() - (sorted_ends_.empty() ? 0 : sorted_ends_.back()); }

  // Every entry once, in order; the sorter is left empty. `file` is the file Spill wrote to
  // (may be null when nothing was spilled). `read_budget` bounds the buffers of the runs.
  class Stream;
  Stream Sorted(EntrySpillFile* file, size_t read_budget);

 private:
  // An entry kept small: a million-row table has millions of them until its index is built.
  // The key's first bytes live in the entry itself, so that most comparisons of a sort, and
  // every use of a short key (numbers, dates), never reach the keys' buffer, which the sorted
  // order visits at random.
  static constexpr size_t kInlineKey = 16;
  struct Slot {
    uint64_t head[2] = {0, 0};  // the key's first 16 bytes, big-endian, zero-padded
    uint64_t key_offset = 0;    // in key_bytes_, for keys longer than kInlineKey
    uint32_t data_page = 0;
    uint16_t key_length = 0;
    uint8_t data_row = 0;

    bool inline_key() const { return key_length <= kInlineKey; }
    // The key's bytes: from the entry when it holds them all (`scratch` takes them).
    std::span<const uint8_t> Key(const std::vector<uint8_t>& bytes, uint8_t (&scratch)[kInlineKey]) const;
  };
  struct Run {
    uint64_t offset = 0;
    uint64_t bytes = 0;
    uint64_t entries = 0;
  };
  static bool Before(const std::vector<uint8_t>& bytes, const Slot& a, const Slot& b);
  // Sorts slots_[begin, end).
  void SortSlots(size_t begin, size_t end);

  std::vector<Slot> slots_;
  std::vector<uint8_t> key_bytes_;
  std::vector<size_t> sorted_ends_;  // ranges of slots_ sorted each on its own, by their ends
  std::vector<Run> runs_;
  uint64_t spilled_ = 0;
};

class IndexEntrySorter::Stream {
 public:
  Stream(Stream&&) noexcept;
  Stream& operator=(Stream&&) noexcept;
  ~Stream();
  // The next entry; false after the last. The view lasts until the next call.
  bool Next(IndexEntryView& entry);
  // The sorted sequences merged: runs on disk, and ranges of what memory held.
  size_t sources() const { return sources_.size(); }

 private:
  friend class IndexEntrySorter;
  struct Source;
  explicit Stream(std::vector<std::unique_ptr<Source>> sources);
  bool Advance(size_t source);

  std::vector<std::unique_ptr<Source>> sources_;
  std::vector<size_t> heap_;  // sources with a current entry, least first
  bool started_ = false;
};

}  // namespace jet
