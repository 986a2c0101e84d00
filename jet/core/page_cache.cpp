#include "jet/core/page_cache.h"

namespace jet {

PageCache::PageCache(PageSource& source, size_t capacity_pages)
    : source_(source), capacity_(capacity_pages == 0 ? 1 : capacity_pages) {}

std::span<const uint8_t> PageCache::Page(uint32_t number) {
  if (auto found = where_.find(number); found != where_.end()) {
    recent_.splice(recent_.begin(), recent_, found->second);
    return recent_.front().bytes;
  }
  const auto bytes = source_.Page(number);
  if (recent_.size() >= capacity_) {
    // Reuse the oldest entry's buffer: no allocation once the cache is full.
    auto oldest = std::prev(recent_.end());
    where_.erase(oldest->number);
    oldest->number = number;
    oldest->bytes.assign(bytes.begin(), bytes.end());
    recent_.splice(recent_.begin(), recent_, oldest);
  } else {
    recent_.push_front(Entry{number, std::vector<uint8_t>(bytes.begin(), bytes.end())});
  }
  where_[number] = recent_.begin();
  return recent_.front().bytes;
}

void PageCache::Clear() {
  recent_.clear();
  where_.clear();
}

}  // namespace jet
