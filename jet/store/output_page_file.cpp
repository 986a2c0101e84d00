#include "jet/store/output_page_file.h"

#include <algorithm>
#include <string>

#include "jet/common/error.h"

namespace jet::store {

namespace {
// Bytes of neighbouring pages gathered before they go to the file in one write: large
// enough that a disk written past its cache takes them at its full speed.
constexpr size_t kRunBytes = size_t{4} << 20;
}  // namespace

OutputPageFile::OutputPageFile(std::filesystem::path path, uint32_t page_size)
    : path_(std::move(path)), page_size_(page_size), file_(CreateNew(path_)),
      writer_(file_, path_, kRunBytes / page_size * page_size), buffer_(page_size), run_(writer_.TakeBuffer()) {}

void OutputPageFile::WriteRun() {
  if (run_.empty()) return;
  const uint64_t at = uint64_t{run_first_} * page_size_;
  AlignedBuffer next = writer_.TakeBuffer();
  std::swap(next, run_);
  writer_.Write(at, std::move(next));
}

OutputPageFile::~OutputPageFile() {
  if (finished_) return;
  // Closed first: a file still open may not be removed everywhere.
  writer_.Abandon();
  file_.Reset();
  RemoveQuietly(path_);
}

std::span<const uint8_t> OutputPageFile::Page(uint32_t number) {
  if (number >= page_count_) ThrowCorrupt("page " + std::to_string(number) + " lies past the end of the file");
  const size_t run_pages = run_.size() / page_size_;
  if (number >= run_first_ && number - run_first_ < run_pages)
    return std::span<const uint8_t>(run_.bytes()).subspan(size_t{number - run_first_} * page_size_, page_size_);
  if (buffered_page_ == number) return buffer_;
  buffered_page_ = UINT32_MAX;  // a failed read must not leave a half-read page behind
  const uint64_t at = uint64_t{number} * page_size_;
  if (!writer_.ReadQueued(at, buffer_)) {
    // A page skipped over lies where only a later write extends the file to.
    if (at + page_size_ > writer_.written_end()) {
      WriteRun();
      writer_.Drain();
    }
    ReadAt(file_, at, buffer_, path_);
  }
  buffered_page_ = number;
  return buffer_;
}

void OutputPageFile::Write(uint32_t number, std::span<const uint8_t> bytes) {
  if (bytes.size() != page_size_) throw Error(err::kDiskIo, "A page of the wrong size was written.");
  if (buffered_page_ == number) buffered_page_ = UINT32_MAX;
  const size_t run_pages = run_.size() / page_size_;
  if (!run_.empty() && number >= run_first_ && number - run_first_ < run_pages) {
    std::copy(bytes.begin(), bytes.end(), run_.bytes().begin() + static_cast<std::ptrdiff_t>(size_t{number - run_first_} * page_size_));
    return;
  }
  if (run_.empty() || number != run_first_ + run_pages || run_.size() + page_size_ > run_.capacity()) {
    WriteRun();
    run_first_ = number;
  }
  run_.Append(bytes);
  if (number >= page_count_) page_count_ = number + 1;
}

void OutputPageFile::WritePages(uint32_t first, std::span<const std::span<const uint8_t>> pages) {
  for (const std::span<const uint8_t> bytes : pages)
    if (bytes.size() != page_size_) throw Error(err::kDiskIo, "A page of the wrong size was written.");
  if (pages.size() > UINT32_MAX - first) throw Error(err::kDiskIo, "Pages were written past the largest page number.");
  for (size_t i = 0; i < pages.size(); ++i) Write(first + static_cast<uint32_t>(i), pages[i]);
}

void OutputPageFile::Finish(const std::filesystem::path& final_path) {
  WriteRun();
  writer_.Drain();
  SyncFile(file_, path_);
  RenameNoReplace(path_, final_path);
  finished_ = true;
  const std::filesystem::path folder = final_path.has_parent_path() ? final_path.parent_path() : ".";
  try {
    SyncDirectory(folder);
  } catch (const Error&) {
    // The file is complete under its name and every reader sees it; only a crash before the
    // folder reaches the disk could still lose the name, and failing now would not help that.
  }
}

}  // namespace jet::store
