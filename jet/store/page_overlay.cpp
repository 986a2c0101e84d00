#include "jet/store/page_overlay.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include "jet/common/error.h"

namespace jet::store {

PageOverlay::PageOverlay(PageSource& base)
    : base_(base), page_size_(base.page_size()), page_count_(base.page_count()) {}

std::span<const uint8_t> PageOverlay::Page(uint32_t number) {
  if (number >= page_count_) ThrowCorrupt("page " + std::to_string(number) + " lies past the end of the file");
  auto it = pages_.find(number);
  if (it != pages_.end()) return it->second;
  return base_.Page(number);
}

std::span<uint8_t> PageOverlay::MutablePage(uint32_t number) {
  if (number >= page_count_) ThrowCorrupt("page " + std::to_string(number) + " lies past the end of the file");
  auto it = pages_.find(number);
  if (saved_ && number < saved_->page_count && saved_->before.count(number) == 0)
    saved_->before.emplace(number, it == pages_.end() ? std::nullopt : std::optional(it->second));
  if (it == pages_.end()) {
    auto base_page = base_.Page(number);
    if (base_page.size() != page_size_) ThrowCorrupt("page " + std::to_string(number) + " is short");
    it = pages_.emplace(number, std::vector<uint8_t>(base_page.begin(), base_page.end())).first;
  }
  return it->second;
}

uint32_t PageOverlay::AppendPage() {
  // Jet addresses pages with 32-bit numbers, and files stay far below 2 GB; refuse rather
  // than wrap around.
  if (page_count_ >= std::numeric_limits<uint32_t>::max() / page_size_)
    throw Error(err::kDiskIo, "The database has grown past the largest size a Jet file can have.");
  const uint32_t number = page_count_;
  pages_[number] = std::vector<uint8_t>(page_size_, 0);
  ++page_count_;
  return number;
}

void PageOverlay::Flush(const std::function<void(uint32_t, std::span<const uint8_t>)>& write) {
  if (saved_) throw std::logic_error("pages flushed inside a savepoint");
  for (const auto& [number, bytes] : pages_) write(number, bytes);
  pages_.clear();
}

void PageOverlay::BeginSavepoint() { saved_ = Saved{{}, page_count_}; }

void PageOverlay::ReleaseSavepoint() { saved_.reset(); }

void PageOverlay::RollbackToSavepoint() {
  if (!saved_) return;
  for (auto& [number, bytes] : saved_->before) {
    if (bytes) {
      pages_[number] = std::move(*bytes);
    } else {
      pages_.erase(number);
    }
  }
  pages_.erase(pages_.lower_bound(saved_->page_count), pages_.end());
  page_count_ = saved_->page_count;
  saved_.reset();
}

}  // namespace jet::store
