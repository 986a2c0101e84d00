#include "jet/store/output_page_file.h"

#include <algorithm>
#include <string>

#include "jet/common/error.h"

namespace jet::store {

namespace {
// Bytes of neighbouring pages gathered before they go to the file in one write.
constexpr size_t kRunBytes = size_t{1} << 20;
// The file is handed to the disk in windows of this size as it grows, so that the final
// sync finds little left to write.
constexpr uint64_t kWriteBackBytes = uint64_t{16} << 20;
}  // namespace

OutputPageFile::OutputPageFile(std::filesystem::path path, uint32_t page_size)
    : path_(std::move(path)), page_size_(page_size), file_(CreateNew(path_)), buffer_(page_size) {
  run_.reserve(kRunBytes);
}

void OutputPageFile::WriteRun() {
  if (run_.empty()) return;
  const uint64_t at = uint64_t{run_first_} * page_size_;
  const uint64_t end = at + run_.size();
  WriteAt(file_, at, run_, path_);
  run_.clear();
  Written(end);
}

void OutputPageFile::Written(uint64_t end) {
  // Most pages arrive in ascending order, so the file grows at its end: each full window
  // there is handed to the disk, and the one before it waited for. Pages rewritten below
  // are dirty again and go at the final sync.
  if (end <= end_written_) return;
  end_written_ = end;
  if (end_written_ - written_back_ < kWriteBackBytes) return;
  WriteBack(file_, written_back_, end_written_ - written_back_, waited_, written_back_ - waited_);
  waited_ = written_back_;
  written_back_ = end_written_;
}

OutputPageFile::~OutputPageFile() {
  if (finished_) return;
  file_.Reset();
  RemoveQuietly(path_);
}

std::span<const uint8_t> OutputPageFile::Page(uint32_t number) {
  if (number >= page_count_) ThrowCorrupt("page " + std::to_string(number) + " lies past the end of the file");
  const size_t run_pages = run_.size() / page_size_;
  if (number >= run_first_ && number - run_first_ < run_pages)
    return std::span<const uint8_t>(run_).subspan(size_t{number - run_first_} * page_size_, page_size_);
  // A page before the run or past it may lie where only the run's write extends the file to.
  WriteRun();
  if (buffered_page_ != number) {
    buffered_page_ = UINT32_MAX;  // a failed read must not leave a half-read page behind
    ReadAt(file_, uint64_t{number} * page_size_, buffer_, path_);
    buffered_page_ = number;
  }
  return buffer_;
}

void OutputPageFile::Write(uint32_t number, std::span<const uint8_t> bytes) {
  if (bytes.size() != page_size_) throw Error(err::kDiskIo, "A page of the wrong size was written.");
  if (buffered_page_ == number) buffered_page_ = UINT32_MAX;
  const size_t run_pages = run_.size() / page_size_;
  if (!run_.empty() && number >= run_first_ && number - run_first_ < run_pages) {
    std::copy(bytes.begin(), bytes.end(), run_.begin() + static_cast<std::ptrdiff_t>(size_t{number - run_first_} * page_size_));
    return;
  }
  if (run_.empty() || number != run_first_ + run_pages || run_.size() + page_size_ > kRunBytes) {
    WriteRun();
    run_first_ = number;
  }
  run_.insert(run_.end(), bytes.begin(), bytes.end());
  if (number >= page_count_) page_count_ = number + 1;
}

void OutputPageFile::WritePages(uint32_t first, std::span<const std::span<const uint8_t>> pages) {
  if (pages.empty()) return;
  for (const std::span<const uint8_t> bytes : pages)
    if (bytes.size() != page_size_) throw Error(err::kDiskIo, "A page of the wrong size was written.");
  if (pages.size() > UINT32_MAX - first) throw Error(err::kDiskIo, "Pages were written past the largest page number.");
  const auto count = static_cast<uint32_t>(pages.size());
  // Pages handed over before go first, so that these win where both hold a page.
  WriteRun();
  if (buffered_page_ >= first && buffered_page_ - first < count) buffered_page_ = UINT32_MAX;
  const uint64_t at = uint64_t{first} * page_size_;
  const uint64_t end = at + uint64_t{count} * page_size_;
  WriteGatheredAt(file_, at, pages, path_);
  if (first + count > page_count_) page_count_ = first + count;
  Written(end);
}

void OutputPageFile::Finish(const std::filesystem::path& final_path) {
  WriteRun();
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
