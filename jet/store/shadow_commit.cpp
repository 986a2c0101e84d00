#include "jet/store/shadow_commit.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <vector>

#include "jet/common/error.h"

#ifndef _WIN32
#include <unistd.h>
#else
#include <process.h>
#endif

namespace jet::store {
namespace {

// Pages go to the file in runs of this many: few system calls, little memory.
constexpr uint32_t kPagesPerWrite = 64;

long ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<long>(::getpid());
#endif
}

}  // namespace

namespace detail {

std::filesystem::path ShadowPathFor(const std::filesystem::path& database) {
  return UniquePathBeside(database, kShadowMarker);
}

FileHandle WriteShadow(PageSource& pages, const std::filesystem::path& shadow, const FileHandle& original,
                       const std::function<void()>& between_runs, const std::vector<bool>& discarded) {
  FileHandle file = CreateNew(shadow);
  const uint32_t page_size = pages.page_size();
  std::vector<uint8_t> run;
  run.reserve(size_t{page_size} * kPagesPerWrite);
  const uint32_t count = pages.page_count();
  for (uint32_t first = 0; first < count; first += kPagesPerWrite) {
    run.clear();
    const uint32_t last = std::min(count, first + kPagesPerWrite);
    pages.AppendPages(first, last - first, run);
    if (run.size() != size_t{last - first} * page_size)
      ThrowCorrupt("page " + std::to_string(first) + " and those after it have the wrong size");
    for (uint32_t page = first; page < last && page < discarded.size(); ++page)
      if (discarded[page] && page + 1 < count)
        std::fill_n(run.begin() + static_cast<std::ptrdiff_t>(size_t{page - first} * page_size), page_size, 0);
    WriteAll(file, run, shadow);
    if (between_runs) between_runs();
  }
  CopyModeAndOwner(original, file, shadow);
  SyncFile(file, shadow);
  return file;
}

}  // namespace detail

std::filesystem::path UniquePathBeside(const std::filesystem::path& database, const char* marker) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path path = database;
  path += marker + std::to_string(ProcessId()) + "-" + std::to_string(++counter);
  return path;
}

void RemoveStaleShadows(const std::filesystem::path& database) noexcept { RemoveStaleFiles(database, kShadowMarker); }

void RemoveStaleFiles(const std::filesystem::path& database, const char* marker) noexcept {
  std::error_code error;
  const std::filesystem::path folder =
      database.has_parent_path() ? database.parent_path() : std::filesystem::path(".");
  const std::string prefix = database.filename().string() + marker;
  for (auto it = std::filesystem::directory_iterator(folder, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) RemoveQuietly(it->path());
  }
}

}  // namespace jet::store
