#include "util/file_exists.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "util/file_errors.h"
#include "util/path_helpers.h"

namespace util {
namespace {

namespace fs = std::filesystem;

constexpr int16_t kDirectoryAttribute = 16;

// * any run of characters, ? any one character; letters compare without regard to case on
// Windows, as its file system does.
bool Matches(const std::string& pattern, const std::string& name) {
  auto same = [](char a, char b) {
#ifdef _WIN32
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
#else
    return a == b;
#endif
  };
  size_t p = 0, n = 0, star = std::string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

int16_t NumberFor(const std::error_code& error) {
  if (error == std::errc::permission_denied) return 75;
  if (error == std::errc::filename_too_long || error == std::errc::invalid_argument) return 52;
  if (error == std::errc::no_such_device || error == std::errc::no_such_device_or_address) return 68;
  if (error == std::errc::io_error) return 57;
  return 75;
}

}  // namespace

std::optional<std::string> FindFirstFile(const std::string& pattern, int16_t attributes) {
  if (pattern.find('\0') != std::string::npos) throw FileLookupError{52};
  const bool folders_too = (attributes & kDirectoryAttribute) != 0;
  std::string folder = DirDaPath(pattern, "\\");
  std::string name_pattern = FileDaPath(pattern, "\\", false);
  if (folder == Trim(pattern)) {  // no folder part: the current folder
    name_pattern = Trim(pattern);
    folder.assign(1, '.');  // not = ".": GCC 12 warns falsely (-Wrestrict) on that assignment
  }
  std::error_code error;
  // Wildcards count in the last part only, as the platform's lookup takes them.
  if (name_pattern.find_first_of("*?") == std::string::npos) {
    const fs::file_status status = fs::status(pattern, error);
    if (error && error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory)
      throw FileLookupError{NumberFor(error)};
    if (fs::is_regular_file(status) || (folders_too && fs::is_directory(status))) return name_pattern;
    return std::nullopt;
  }
  if (!fs::is_directory(folder, error)) return std::nullopt;  // nothing is found in a missing folder
  fs::directory_iterator entries(folder, error);
  if (error) throw FileLookupError{NumberFor(error)};
  for (const fs::directory_entry& entry : entries) {
    const std::string name = entry.path().filename().string();
    std::error_code kind_error;
    const bool regular = entry.is_regular_file(kind_error);
    const bool directory = entry.is_directory(kind_error);
    if ((regular || (folders_too && directory)) && Matches(name_pattern, name)) return name;
  }
  return std::nullopt;
}

bool FileExists(Platform& platform, std::string& path, int16_t attributes) {
  return FileExists(platform, path, attributes, FindFirstFile);
}

bool FileExists(Platform& platform, std::string& path, int16_t attributes, const FileLookup& lookup) {
  if (Trim(path).empty()) return false;
  path = WithoutQuotes(path);
  for (;;) {
    try {
      return lookup(path, attributes).has_value();
    } catch (const FileLookupError& error) {
      // Retry means look again; the user decides how often, so a second failure is asked
      // about again rather than escaping the caller.
      if (FileErrors(platform, error.number, path) != kFileErrorRetry) return false;
    }
  }
}

}  // namespace util
