#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "jet/common/format.h"
#include "jet/common/page_source.h"
#include "jet/store/file_io.h"

namespace jet::store {

// The pages of an open database file, read on demand. The handle is borrowed: the write
// session owns it because it also carries the session's lock.
//
// Kept private to the store until the reader's file page source serves both.
class FilePageReader : public PageSource {
 public:
  // Checks page 0 (signature, format byte) and that the file is a whole number of pages.
  FilePageReader(const FileHandle& file, std::filesystem::path path);

  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return page_count_; }
  std::span<const uint8_t> Page(uint32_t number) override;
  void AppendPages(uint32_t first, uint32_t count, std::vector<uint8_t>& out) override;
  void CopyPage(uint32_t number, std::span<uint8_t> into) override;
  Format format() const { return format_; }

  // Reads from another handle of the same database: the file the commit put in place.
  void Switch(const FileHandle& file);

 private:
  void Measure();

  const FileHandle* file_;
  std::filesystem::path path_;
  Format format_ = Format::kJet4;
  uint32_t page_size_ = 4096;
  uint32_t page_count_ = 0;
  // The last pages read. The file does not change under the reader (the session holds it
  // locked), and a table scan asks for its data page again for every row, between the long
  // value pages of the row before.
  static constexpr size_t kRecentPages = 4;
  struct Recent {
    uint32_t number = UINT32_MAX;
    std::vector<uint8_t> bytes;
  };
  std::array<Recent, kRecentPages> recent_;
  size_t next_recent_ = 0;
};

}  // namespace jet::store
