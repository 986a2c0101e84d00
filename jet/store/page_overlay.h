#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "jet/common/page_source.h"

namespace jet::store {

// The pages of a database being changed: the base file's pages with the changed and new ones
// laid over them. Nothing reaches the base; the overlay is the whole pending change, so
// dropping it discards the change and writing it out (shadow commit) applies it.
//
// One savepoint at a time lets an engine operation undo what it changed when it fails part
// way, so a raising operation leaves the session as it was.
class PageOverlay : public PageSource {
 public:
  explicit PageOverlay(PageSource& base);

  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return page_count_; }
  std::span<const uint8_t> Page(uint32_t number) override;

  // A writable copy of the page, taken from the base on first change.
  std::span<uint8_t> MutablePage(uint32_t number);
  // Appends a zero-filled page and returns its number.
  uint32_t AppendPage();

  bool changed() const { return !pages_.empty() || page_count_ != base_.page_count(); }
  const std::map<uint32_t, std::vector<uint8_t>>& changed_pages() const { return pages_; }
  PageSource& base() { return base_; }

  // Hands every changed page, lowest number first, to `write` and forgets them: from then on
  // they are read from the base, which must now hold them (a file being built, whose pages
  // the callback stores). Keeps a long build's memory bounded. Not inside a savepoint.
  void Flush(const std::function<void(uint32_t, std::span<const uint8_t>)>& write);
  void BeginSavepoint();
  void ReleaseSavepoint();
  void RollbackToSavepoint();
  bool in_savepoint() const { return saved_.has_value(); }

 private:
  // What a rollback needs: the overlay's bytes, before their first change in the savepoint,
  // of the pages that existed when it began (none: the page was read from the base). Pages
  // appended since are dropped. Kept per page changed, not as a copy of the whole overlay,
  // because the overlay of a large rebuild holds hundreds of megabytes.
  struct Saved {
    std::map<uint32_t, std::optional<std::vector<uint8_t>>> before;
    uint32_t page_count = 0;
  };

  PageSource& base_;
  uint32_t page_size_;
  uint32_t page_count_;
  std::map<uint32_t, std::vector<uint8_t>> pages_;
  std::optional<Saved> saved_;
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
