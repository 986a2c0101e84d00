#pragma once

#include <cstdint>
#include <list>
#include <unordered_map>
#include <vector>

#include "jet/common/page_source.h"

namespace jet {

// Keeps the most recently read pages of another source in memory. Table definitions, usage
// maps and catalog pages are read over and over while a scan reads each data page once, so a
// small bound serves both without holding the file.
class PageCache : public PageSource {
 public:
  PageCache(PageSource& source, size_t capacity_pages);

  uint32_t page_size() const override { return source_.page_size(); }
  uint32_t page_count() const override { return source_.page_count(); }
  std::span<const uint8_t> Page(uint32_t number) override;

  // Forgets every page: the source's contents changed under it.
  void Clear();

 private:
  struct Entry {
    uint32_t number;
    std::vector<uint8_t> bytes;
  };
  PageSource& source_;
  size_t capacity_;
  std::list<Entry> recent_;  // most recent first
  std::unordered_map<uint32_t, std::list<Entry>::iterator> where_;
};

}  // namespace jet
