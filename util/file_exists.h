#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "util/platform.h"

namespace util {

// A failed directory lookup, with the platform's error number (52 bad name, 68 device
// unavailable, 71 disk not ready, 75 access error, 76 path not found ...).
struct FileLookupError {
  int16_t number;
};

// The first ordinary file matching `pattern` (a path whose last part may hold * and ?), as
// Dir$ finds it: its name, or nothing. Attribute mask 0 looks at ordinary files only; bit 16
// (directory) lets folders match too. Throws FileLookupError when the folder cannot be read.
std::optional<std::string> FindFirstFile(const std::string& pattern, int16_t attributes);

// True when a file matches the path. A path in double quotes loses them, in the caller's
// variable. A lookup error is shown through FileErrors; Retry looks again, as often as the
// user asks, anything else gives False.
bool FileExists(Platform& platform, std::string& path, int16_t attributes = 0);

// The same over another lookup (drives that are not ready cannot be had on demand in tests).
using FileLookup = std::function<std::optional<std::string>(const std::string& pattern, int16_t attributes)>;
bool FileExists(Platform& platform, std::string& path, int16_t attributes, const FileLookup& lookup);

}  // namespace util
