#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "jet/common/page_source.h"

namespace vantrel::test {

// A database file held whole in memory, for tests that change pages and read them back.
class ImagePages : public jet::PageSource {
 public:
  explicit ImagePages(const std::filesystem::path& file);
  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return static_cast<uint32_t>(bytes_.size() / page_size_); }
  std::span<const uint8_t> Page(uint32_t number) override;

 private:
  uint32_t page_size_ = 4096;
  std::vector<uint8_t> bytes_;
};

// Writes every page of `pages` to `file`, so that other readers (mdbtools) can look at it.
void SavePages(jet::PageSource& pages, const std::filesystem::path& file);

}  // namespace vantrel::test
