#pragma once

#include <string>

// Taking paths apart as the window's procedures do. Positions count from the last separator;
// with "\" as the separator, "/" counts too, so the same calls work on POSIX paths.
namespace util {

// The file-name part after the last separator, trimmed, double quotes turned into blanks;
// without its extension (cut at the first full stop) when asked. Empty without a separator.
std::string FileDaPath(const std::string& path, const std::string& separator, bool without_extension);

// The folder part up to and including the last separator, trimmed; the trimmed path itself
// when it has no separator.
std::string DirDaPath(const std::string& path, const std::string& separator);

// Trims `LPath` in place, then puts one trailing separator on (bMetti) or takes one off.
std::string XBarFromPath(std::string& LPath, bool bMetti = false, const std::string& Lbar = "\\");

// Blanks removed at both ends (spaces only, as the original's Trim).
std::string Trim(const std::string& text);

// A path typed in double quotes, as the path check takes it: when a quote follows the first
// character, the first character and that quote go.
std::string WithoutQuotes(const std::string& path);

}  // namespace util
