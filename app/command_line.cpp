#include "app/command_line.h"

#include "schema/comparison_rules.h"

namespace app {
namespace {

const std::string& Field(const std::vector<std::string>& vArgs, size_t index) {
  static const std::string kNone;
  return index < vArgs.size() ? vArgs[index] : kNone;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& arguments) {
  // The five bars appended guarantee the fields the callers index, whatever was passed.
  const std::string text = arguments + "|||||";
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t bar = text.find('|', start);
    if (bar == std::string::npos) {
      fields.push_back(text.substr(start));
      return fields;
    }
    fields.push_back(text.substr(start, bar - start));
    start = bar + 1;
  }
}

bool IsUnattended(const std::vector<std::string>& vArgs) { return !Field(vArgs, 0).empty() && !Field(vArgs, 1).empty(); }

bool StaysOpen(const std::vector<std::string>& vArgs) { return schema::UpperCase(Field(vArgs, 2)) == "S"; }

}  // namespace app
