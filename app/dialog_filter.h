#pragma once

#include <string>
#include <vector>

namespace app {

struct NameFilter {
  std::string description;
  std::vector<std::string> patterns;  // "*.mdb", ... never empty ("*" when none was given)
};

// "description|pattern|description|pattern", a pattern holding several joined by ";".
std::vector<NameFilter> SplitDialogFilter(const std::string& filter);

}  // namespace app
