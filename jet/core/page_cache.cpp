#include "jet/core/page_cache.h"

namespace jet {

PageCache::PageCache(PageSource& source, size_t capacity_pages)
    : source_(source), capacity_(capacity_pages == 0 ? 1 : capacity_pages) {}

std::span<const uint8_t> PageCache::Page(uint32_t number) {
  if (auto found = where_.find(number); found != where_.end()) {
    recent_.splice(recent_.begin(), recent_, found->second);
    return recent_.front().bytes;
  }
  if (recent_.size() >= capacity_) {
    // Reuse the oldest entry's buffer: no allocation once the cache is full. The entry leaves
    // the cache first, so a failed read leaves no half-read page in it.
    auto oldest = std::prev(recent_.end());
    where_.erase(oldest->number);
    oldest->bytes.resize(source_.page_size());
    try {
      source_.CopyPage(number, oldest->bytes);
    } catch (...) {
      recent_.erase(oldest);
      throw;
    }
    oldest->number = number;
    recent_.splice(recent_.begin(), recent_, oldest);
  } else {
    std::vector<uint8_t> bytes(source_.page_size());
    source_.CopyPage(number, bytes);
    recent_.push_front(Entry{number, std::move(bytes)});
  }
  where_[number] = recent_.begin();
  return recent_.front().bytes;
}

void PageCache::Clear() {
  recent_.clear();
  where_.clear();
}

}  // namespace jet
