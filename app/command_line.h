#pragma once

#include <string>
#include <vector>

// The argument text another program starts us with: "reference|local|S".
namespace app {

// Fields as written, untrimmed, quotes kept; always at least six, so fields 0 to 2 exist.
std::vector<std::string> SplitCommandLine(const std::string& arguments);

// Both paths given: the update runs at once, without questions.
bool IsUnattended(const std::vector<std::string>& vArgs);

// The third field is "S" in either case (blanks count, so " S" is not it).
bool StaysOpen(const std::vector<std::string>& vArgs);

}  // namespace app
