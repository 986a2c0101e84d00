#include "util/path_helpers.h"

namespace util {
namespace {

// Index of the last separator, or npos.
size_t LastSeparator(const std::string& path, const std::string& separator) {
  if (separator.empty()) return std::string::npos;
  size_t at = path.rfind(separator);
  if (separator == "\\") {
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && (at == std::string::npos || slash > at)) at = slash;
  }
  return at;
}

}  // namespace

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string WithoutQuotes(const std::string& path) {
  const size_t quote = path.find('"', 1);
  if (quote == std::string::npos) return path;
  std::string unquoted(path.begin() + 1, path.begin() + static_cast<std::ptrdiff_t>(quote));
  unquoted.append(path, quote + 1);
  return unquoted;
}

std::string FileDaPath(const std::string& path, const std::string& separator, bool without_extension) {
  std::string result;
  const size_t at = LastSeparator(path, separator);
  if (at != std::string::npos) result = Trim(path.substr(at + separator.size()));
  for (char& c : result)
    if (c == '"') c = ' ';
  result = Trim(result);
  if (without_extension) {
    const size_t dot = result.find('.');
    if (dot != std::string::npos) result.resize(dot);
  }
  return result;
}

std::string DirDaPath(const std::string& path, const std::string& separator) {
  const size_t at = LastSeparator(path, separator);
  if (at == std::string::npos) return Trim(path);
  return Trim(path.substr(0, at + separator.size()));
}

std::string XBarFromPath(std::string& LPath, bool bMetti, const std::string& Lbar) {
  LPath = Trim(LPath);
  std::string result = LPath;
  if (LPath.empty() || Lbar.size() != 1) {
    // A longer separator never equals the last character: adding puts it on, removing does nothing.
    if (!LPath.empty() && bMetti && Lbar.size() != 1) result = LPath + Lbar;
    return result;
  }
  const bool ends_with = LPath.back() == Lbar.front() || (Lbar == "\\" && LPath.back() == '/');
  if (bMetti && !ends_with) result = LPath + Lbar;
  if (!bMetti && ends_with) result = LPath.substr(0, LPath.size() - 1);
  return result;
}

}  // namespace util
