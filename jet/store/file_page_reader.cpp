#include "jet/store/file_page_reader.h"

#include <array>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "jet/common/error.h"

namespace jet::store {
namespace {

constexpr std::array<uint8_t, 4> kHeaderPageStart = {0x00, 0x01, 0x00, 0x00};
constexpr char kEngineName[] = "Standard Jet DB";
constexpr size_t kEngineNameOffset = 0x04;
constexpr size_t kVersionOffset = 0x14;
constexpr size_t kHeaderBytesChecked = 0x18;

}  // namespace

FilePageReader::FilePageReader(const FileHandle& file, std::filesystem::path path)
    : file_(&file), path_(std::move(path)) {
  Measure();
}

void FilePageReader::Switch(const FileHandle& file) {
  file_ = &file;
  Measure();
}

void FilePageReader::Measure() {
  const uint64_t size = FileSize(*file_, path_);
  const std::string quoted = "'" + path_.string() + "'";
  if (size < kHeaderBytesChecked)
    throw Error(err::kUnrecognizedFormat, "Unrecognized database format " + quoted + ".");
  std::array<uint8_t, kHeaderBytesChecked> head{};
  ReadAt(*file_, 0, head, path_);
  if (std::memcmp(head.data(), kHeaderPageStart.data(), kHeaderPageStart.size()) != 0 ||
      std::memcmp(head.data() + kEngineNameOffset, kEngineName, sizeof kEngineName) != 0)
    throw Error(err::kUnrecognizedFormat, "Unrecognized database format " + quoted + ".");
  // 0 is Jet 3, 1 is Jet 4; 2 and above are the ACE formats of .accdb, which this engine
  // does not write.
  switch (head[kVersionOffset]) {
    case 0: format_ = Format::kJet3; break;
    case 1: format_ = Format::kJet4; break;
    default: throw Error(err::kUnrecognizedFormat, "Unrecognized database format " + quoted + ".");
  }
  page_size_ = PageSizeOf(format_);
  // A file that ends inside a page was cut short; rewriting it would silently drop the tail,
  // so a write session refuses it.
  if (size % page_size_ != 0 || size / page_size_ > std::numeric_limits<uint32_t>::max())
    ThrowCorrupt("the file " + quoted + " is not a whole number of pages");
  page_count_ = static_cast<uint32_t>(size / page_size_);
  for (Recent& recent : recent_) {
    recent.number = UINT32_MAX;
    recent.bytes.assign(page_size_, 0);
  }
}

std::span<const uint8_t> FilePageReader::Page(uint32_t number) {
  if (number >= page_count_) ThrowCorrupt("page " + std::to_string(number) + " lies past the end of the file");
  for (const Recent& recent : recent_)
    if (recent.number == number) return recent.bytes;
  Recent& slot = recent_[next_recent_];
  next_recent_ = (next_recent_ + 1) % kRecentPages;
  slot.number = UINT32_MAX;  // until the read succeeds
  ReadAt(*file_, uint64_t{number} * page_size_, slot.bytes, path_);
  slot.number = number;
  return slot.bytes;
}

void FilePageReader::CopyPage(uint32_t number, std::span<uint8_t> into) {
  if (number >= page_count_) ThrowCorrupt("page " + std::to_string(number) + " lies past the end of the file");
  if (into.size() != page_size_) throw std::logic_error("a page copied into a buffer of another size");
  for (const Recent& recent : recent_) {
    if (recent.number == number) {
      std::copy(recent.bytes.begin(), recent.bytes.end(), into.begin());
      return;
    }
  }
  ReadAt(*file_, uint64_t{number} * page_size_, into, path_);
}

void FilePageReader::AppendPages(uint32_t first, uint32_t count, std::vector<uint8_t>& out) {
  if (first >= page_count_ || count > page_count_ - first)
    ThrowCorrupt("page " + std::to_string(uint64_t{first} + count - 1) + " lies past the end of the file");
  const size_t at = out.size();
  out.resize(at + size_t{count} * page_size_);
  ReadAt(*file_, uint64_t{first} * page_size_, std::span<uint8_t>(out).subspan(at), path_);
}

}  // namespace jet::store
