#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/common/error.h"
#include "jet/common/page_source.h"

namespace jet::store {

// Pages held in memory, each filled with a pattern of its own number, so that a test can tell
// which page a byte came from.
class MemoryPages : public PageSource {
 public:
  MemoryPages(uint32_t count, uint32_t page_size) : page_size_(page_size), bytes_(size_t{count} * page_size) {
    for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<uint8_t>(i / page_size_ * 7 + 1);
  }
  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return static_cast<uint32_t>(bytes_.size() / page_size_); }
  std::span<const uint8_t> Page(uint32_t number) override {
    if (number >= page_count()) ThrowCorrupt("page " + std::to_string(number) + " past the end");
    return std::span<const uint8_t>(bytes_).subspan(size_t{number} * page_size_, page_size_);
  }

 private:
  uint32_t page_size_;
  std::vector<uint8_t> bytes_;
};

}  // namespace jet::store
