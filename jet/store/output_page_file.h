#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/store/background_writer.h"
#include "jet/store/file_io.h"

namespace jet::store {

// A database file being built from nothing: pages are stored at their places as the builder
// hands them over, in any order, and read back from the file. The file is created new (it
// must not exist) and removed again unless Finish gives it its final name. The writes are
// made on a thread of their own; a failed one is raised by a later call.
class OutputPageFile : public PageSource {
 public:
  OutputPageFile(std::filesystem::path path, uint32_t page_size);
  ~OutputPageFile() override;
  OutputPageFile(const OutputPageFile&) = delete;
  OutputPageFile& operator=(const OutputPageFile&) = delete;

  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return page_count_; }
  std::span<const uint8_t> Page(uint32_t number) override;
  // Stores a page; the file grows to hold it (pages skipped over read as zeros). Pages
  // handed over in ascending order reach the file as one large write per run.
  void Write(uint32_t number, std::span<const uint8_t> bytes);
  // Stores pages first, first + 1, ... as Write would each, in one write from where the
  // caller holds them.
  void WritePages(uint32_t first, std::span<const std::span<const uint8_t>> pages);

  const FileHandle& file() const { return file_; }
  // Makes the contents durable and renames the file to `final_path`, which must not exist.
  void Finish(const std::filesystem::path& final_path);

 private:
  std::filesystem::path path_;
  uint32_t page_size_;
  uint32_t page_count_ = 0;
  FileHandle file_;
  BackgroundWriter writer_;
  bool finished_ = false;
  std::vector<uint8_t> buffer_;
  uint32_t buffered_page_ = UINT32_MAX;
  // Pages written but not yet handed to the writer: a run of neighbours from run_first_.
  AlignedBuffer run_;
  uint32_t run_first_ = 0;

  void WriteRun();
};

}  // namespace jet::store
