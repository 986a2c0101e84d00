#pragma once
// Test-only page sources and index page images, shared by the index and checker suites.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/common/format.h"
#include "jet/common/page_source.h"
#include "jet/index/index_entry.h"
#include "jet/index/index_page.h"

namespace vantrel::test {

// Pages held in memory that a test may change freely: a whole corpus file or a built tree.
class EditablePages : public jet::PageSource {
 public:
  EditablePages(uint32_t count, uint32_t page_size) : page_size_(page_size), bytes_(size_t{count} * page_size) {}
  static EditablePages FromFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const uint32_t page_size = bytes.size() > 0x14 && bytes[0x14] == 0 ? 2048 : 4096;
    EditablePages pages(static_cast<uint32_t>(bytes.size() / page_size), page_size);
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(pages.bytes_.size()), pages.bytes_.begin());
    return pages;
  }
  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return static_cast<uint32_t>(bytes_.size() / page_size_); }
  std::span<const uint8_t> Page(uint32_t number) override {
    if (number >= page_count()) jet::ThrowCorrupt("page " + std::to_string(number) + " past the end");
    return std::span<const uint8_t>(bytes_).subspan(size_t{number} * page_size_, page_size_);
  }
  std::span<uint8_t> Mutable(uint32_t number) {
    return std::span<uint8_t>(bytes_).subspan(size_t{number} * page_size_, page_size_);
  }
  void Put(uint32_t number, const std::vector<uint8_t>& page) {
    std::copy(page.begin(), page.end(), Mutable(number).begin());
  }
  jet::Format format() const { return page_size_ == 2048 ? jet::Format::kJet3 : jet::Format::kJet4; }

 private:
  uint32_t page_size_;
  std::vector<uint8_t> bytes_;
};

// An index page image as Access lays it out: entries from the first-entry offset, their ends
// marked in the mask, every entry after the first stored without the shared prefix.
inline std::vector<uint8_t> IndexPageImage(jet::Format format, uint8_t type, uint32_t owner,
                                           const std::vector<jet::IndexEntry>& entries, uint8_t prefix_length = 0,
                                           uint32_t previous = 0, uint32_t next = 0, uint32_t tail = 0) {
  const jet::IndexPageLayout layout = jet::IndexPageLayoutOf(format);
  std::vector<uint8_t> page(jet::PageSizeOf(format), 0);
  page[0] = type;
  page[1] = 0x01;
  jet::PutU32(&page[4], owner);
  jet::PutU32(&page[layout.previous_page], previous);
  jet::PutU32(&page[layout.next_page], next);
  jet::PutU32(&page[layout.tail_page], tail);
  page[layout.prefix_length] = prefix_length;
  page[layout.prefix_length + 1] = type == jet::kIndexIntermediatePageType ? 1 : 0;
  size_t at = layout.first_entry;
  for (size_t i = 0; i < entries.size(); ++i) {
    const jet::IndexEntry& entry = entries[i];
    const size_t skip = i == 0 ? 0 : prefix_length;
    for (size_t k = skip; k < entry.key.size(); ++k) page.at(at++) = entry.key[k];
    page.at(at++) = static_cast<uint8_t>(entry.data_page >> 16);
    page.at(at++) = static_cast<uint8_t>(entry.data_page >> 8);
    page.at(at++) = static_cast<uint8_t>(entry.data_page);
    page.at(at++) = entry.data_row;
    if (type == jet::kIndexIntermediatePageType)
      for (int shift = 24; shift >= 0; shift -= 8) page.at(at++) = static_cast<uint8_t>(entry.child_page >> shift);
    const size_t bit = at - layout.first_entry;
    page.at(layout.entry_mask + bit / 8) |= static_cast<uint8_t>(1u << (bit % 8));
  }
  jet::PutU16(&page[2], static_cast<uint16_t>(page.size() - at));
  return page;
}

inline jet::IndexEntry Entry(std::vector<uint8_t> key, uint32_t data_page, uint8_t data_row, uint32_t child = 0) {
  return jet::IndexEntry{std::move(key), data_page, data_row, child};
}

}  // namespace vantrel::test
