#include "tests/support/image_pages.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "jet/common/error.h"

namespace vantrel::test {

ImagePages::ImagePages(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (bytes_.size() < 0x15) throw std::runtime_error("not a database: " + file.string());
  page_size_ = bytes_[0x14] == 0 ? 2048 : 4096;
}

std::span<const uint8_t> ImagePages::Page(uint32_t number) {
  if (number >= page_count()) jet::ThrowCorrupt("page " + std::to_string(number) + " past the end");
  return std::span<const uint8_t>(bytes_).subspan(size_t{number} * page_size_, page_size_);
}

void SavePages(jet::PageSource& pages, const std::filesystem::path& file) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  for (uint32_t i = 0; i < pages.page_count(); ++i) {
    const auto page = pages.Page(i);
    out.write(reinterpret_cast<const char*>(page.data()), static_cast<std::streamsize>(page.size()));
  }
}

}  // namespace vantrel::test
