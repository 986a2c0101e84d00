#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cli {

enum class Command { kHelp, kVersion, kVerify, kUpdate, kCompact, kDump, kCheck };

struct Arguments {
  Command command = Command::kHelp;
  std::vector<std::string> files;  // REF LOCAL, or the one FILE
  bool compact = true;             // update: compact afterwards, as an unattended run does
  std::optional<std::string> json; // path of the report; "-" for standard output
  bool progress = true;            // rows copied, on standard error
};

// The command line after the program's name. Empty when it is not one the program knows:
// a wrong command, a wrong number of files, or an option the command does not take.
std::optional<Arguments> ParseArguments(const std::vector<std::string>& words);

}  // namespace cli
