#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/store/file_io.h"

namespace jet::store {

// The pages of a database being changed: the base file's pages with the changed and new ones
// laid over them. Nothing reaches the base; the overlay is the whole pending change, so
// dropping it discards the change and writing it out (shadow commit) applies it.
//
// One savepoint at a time lets an engine operation undo what it changed when it fails part
// way, so a raising operation leaves the session as it was.
//
// A rebuild changes more pages than memory should hold. With spilling enabled, changed pages
// move to a scratch file beside the database once they take more than the budget, and come
// back when they are needed again. Spans into the overlay's pages stay valid until the next
// SpillIfOverBudget, so the engine calls it only where it holds none (between rows, between
// index pages). The scratch file only ever holds pending changes: it is never read after the
// process ends, and goes when the overlay does.
class PageOverlay : public PageSource {
 public:
  explicit PageOverlay(PageSource& base);
  ~PageOverlay() override;
  PageOverlay(const PageOverlay&) = delete;
  PageOverlay& operator=(const PageOverlay&) = delete;

  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return page_count_; }
  std::span<const uint8_t> Page(uint32_t number) override;
  // Runs of pages the overlay does not hold come from the base in one call each.
  void AppendPages(uint32_t first, uint32_t count, std::vector<uint8_t>& out) override;

  // A writable copy of the page, taken from the base on first change.
  std::span<uint8_t> MutablePage(uint32_t number);
  // Appends a zero-filled page and returns its number.
  uint32_t AppendPage();

  // How many pages differ from the base, in memory or in the scratch file.
  class ChangedPages {
   public:
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

   private:
    friend class PageOverlay;
    explicit ChangedPages(size_t count) : count_(count) {}
    size_t count_;
  };
  // Whether the page's bytes are the overlay's (changed or new) rather than the base's.
  bool Holds(uint32_t number) const {
    return number < pages_.size() && (pages_[number].bytes || pages_[number].slot != kNoSlot);
  }
  bool changed() const { return changed_count_ != 0 || page_count_ != base_.page_count(); }
  ChangedPages changed_pages() const { return ChangedPages(changed_count_); }
  PageSource& base() { return base_; }

  // Lets SpillIfOverBudget move changed pages to the file `scratch` (created when first
  // needed) while they take more than `budget_bytes` of memory.
  void EnableSpill(std::filesystem::path scratch, size_t budget_bytes);
  // Moves changed pages to the scratch file, the least recently used first, until those left
  // in memory take half the budget; a no-op under budget or without spilling enabled. Every
  // span handed out before may then be invalid. A failed write raises 3043 and leaves the
  // overlay's content as it was.
  void SpillIfOverBudget();
  size_t resident_bytes() const { return resident_count_ * size_t{page_size_}; }
  size_t spilled_count() const { return spilled_count_; }
  const std::filesystem::path& scratch_path() const { return scratch_path_; }

  // A commit through the scratch file: spilled pages sit in it at their own places, so
  // writing every other page there too makes it the whole changed database without writing
  // or reading the spilled ones again. False when it cannot: nothing was spilled, or a page
  // spilled past the current end (an append undone) would leave bytes beyond it.
  bool CanCompleteScratch() const;
  // Writes every page whose current bytes the scratch file lacks at its place. The overlay's
  // content stays as it was: on a failure, or until ReleaseScratch, the file remains its
  // scratch file. Pages marked in `discarded` (by number) that the overlay does not hold
  // become zeros instead of the base's bytes: pages the change freed, whose old bytes
  // nothing reads. Most of them need no write at all (a hole in the file reads as zeros).
  void CompleteScratch(const std::vector<bool>& discarded = {});
  // The same, the base's pages copied from `base_file` (which holds page n at n times the
  // page size, as the base reads it) without passing through memory.
  void CompleteScratch(const FileHandle& base_file, const std::filesystem::path& base_path,
                       const std::vector<bool>& discarded = {});
  FileHandle& scratch_file() { return scratch_; }
  // Gives up the completed scratch file, which the caller has put in the database's place;
  // later spills go to `next_scratch`. Call ForgetChanges next.
  FileHandle ReleaseScratch(std::filesystem::path next_scratch);

  // Hands every changed page, lowest number first, to `write` and forgets them: from then on
  // they are read from the base, which must now hold them (a file being built, whose pages
  // the callback stores). Keeps a long build's memory bounded. Not inside a savepoint.
  void Flush(const std::function<void(uint32_t, std::span<const uint8_t>)>& write);
  // As Flush, handing neighbouring pages over together, up to `most` at a time, as views of
  // the overlay's own buffers: `write(first, pages)` gets pages first, first + 1, ...
  void FlushRuns(const std::function<void(uint32_t, std::span<const std::span<const uint8_t>>)>& write,
                 size_t most);
  // Forgets every change, spilled ones too: the base now holds them (a commit put the new
  // file under it) or they are dropped. The overlay stays the same object, so what refers to
  // it (a database view, an allocator) stays valid.
  void ForgetChanges();
  void BeginSavepoint();
  void ReleaseSavepoint();
  void RollbackToSavepoint();
  bool in_savepoint() const { return saved_.has_value(); }

 private:
  static constexpr uint32_t kNoSlot = UINT32_MAX;

  // A page the overlay knows of. Its bytes are in memory (`bytes`), in the scratch file
  // (`slot`, always the page's own number, so that the file can become the database), or both; when both, `dirty` says the memory copy is newer. Neither: the page is
  // the base's.
  struct Entry {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t slot = kNoSlot;
    bool dirty = false;
    uint64_t used = 0;  // when it was last asked for, for choosing what to spill
  };

  // What a rollback needs: the overlay's bytes, before their first change in the savepoint,
  // of the pages that existed when it began (none: the page was read from the base). Pages
  // appended since are dropped. Kept per page changed, not as a copy of the whole overlay,
  // because the overlay of a large rebuild holds hundreds of megabytes.
  struct Saved {
    std::map<uint32_t, std::optional<std::vector<uint8_t>>> before;
    uint32_t page_count = 0;
  };

  Entry* Find(uint32_t number);
  // The entry's bytes in memory, read back from the scratch file when spilled.
  uint8_t* Resident(Entry& entry);
  std::unique_ptr<uint8_t[]> NewBuffer();
  // Forgets the entry's memory copy and scratch copy: the page is the base's again.
  void Drop(Entry& entry);
  void WriteSlots(std::vector<std::pair<uint32_t, const uint8_t*>>& writes);
  // Closes and removes the scratch file once nothing lives in it.
  void RemoveScratchIfUnused();
  void CompleteScratchFrom(const FileHandle* base_file, const std::filesystem::path& base_path,
                           const std::vector<bool>& discarded);

  PageSource& base_;
  uint32_t page_size_;
  uint32_t page_count_;
  std::vector<Entry> pages_;  // by page number; shorter than page_count_ when the tail is the base's
  size_t changed_count_ = 0;
  size_t resident_count_ = 0;
  size_t spilled_count_ = 0;  // entries with a slot
  uint64_t clock_ = 0;
  std::vector<std::unique_ptr<uint8_t[]>> spare_buffers_;
  std::optional<Saved> saved_;

  std::optional<size_t> budget_;
  std::filesystem::path scratch_path_;
  FileHandle scratch_;
  uint32_t scratch_pages_ = 0;  // pages the scratch file reaches to
  std::vector<bool> written_in_scratch_;  // by number: bytes, current or not, lie at the page's place
};

// Runs an operation under a savepoint: released when it returns, rolled back when it throws.
template <typename Operation>
auto Atomically(PageOverlay& overlay, Operation&& operation) {
  overlay.BeginSavepoint();
  try {
    if constexpr (std::is_void_v<decltype(operation())>) {
      operation();
      overlay.ReleaseSavepoint();
    } else {
      auto result = operation();
      overlay.ReleaseSavepoint();
      return result;
    }
  } catch (...) {
    overlay.RollbackToSavepoint();
    throw;
  }
}

}  // namespace jet::store
