#include "app/dialog_filter.h"

#include "util/path_helpers.h"

namespace app {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

}  // namespace

std::vector<NameFilter> SplitDialogFilter(const std::string& filter) {
  std::vector<NameFilter> filters;
  if (filter.empty()) return filters;
  const std::vector<std::string> fields = Split(filter, '|');
  for (size_t i = 0; i < fields.size(); i += 2) {
    NameFilter entry;
    entry.description = fields[i];
    if (i + 1 < fields.size()) {
      for (const std::string& pattern : Split(fields[i + 1], ';')) {
        const std::string trimmed = util::Trim(pattern);
        if (!trimmed.empty()) entry.patterns.push_back(trimmed);
      }
    }
    if (entry.patterns.empty()) entry.patterns.push_back("*");
    filters.push_back(std::move(entry));
  }
  return filters;
}

}  // namespace app
