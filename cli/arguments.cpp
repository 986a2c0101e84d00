#include "cli/arguments.h"

#include <array>
#include <utility>

namespace cli {
namespace {

struct Known {
  const char* name;
  Command command;
  size_t files;
};

constexpr std::array kCommands = {
    Known{"verify", Command::kVerify, 2}, Known{"update", Command::kUpdate, 2}, Known{"compact", Command::kCompact, 1},
    Known{"dump", Command::kDump, 1},     Known{"check", Command::kCheck, 1},
};

bool TakesJson(Command command) {
  return command == Command::kVerify || command == Command::kUpdate || command == Command::kCompact;
}

}  // namespace

std::optional<Arguments> ParseArguments(const std::vector<std::string>& words) {
  if (words.size() == 1 && (words[0] == "--help" || words[0] == "-h")) return Arguments{};
  if (words.size() == 1 && words[0] == "--version") {
    Arguments version;
    version.command = Command::kVersion;
    return version;
  }
  if (words.empty()) return std::nullopt;
  const Known* known = nullptr;
  for (const Known& candidate : kCommands)
    if (words[0] == candidate.name) known = &candidate;
  if (!known) return std::nullopt;

  Arguments arguments;
  arguments.command = known->command;
  bool options_end = false;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (options_end || word.empty() || word[0] != '-' || word == "-") {
      arguments.files.push_back(word);
    } else if (word == "--") {
      options_end = true;
    } else if (word == "--no-compact" && known->command == Command::kUpdate) {
      arguments.compact = false;
    } else if (word == "--no-progress" && known->command != Command::kDump && known->command != Command::kCheck) {
      arguments.progress = false;
    } else if (word == "--json" && TakesJson(known->command) && i + 1 < words.size() && !arguments.json) {
      arguments.json = words[++i];
    } else {
      return std::nullopt;
    }
  }
  if (arguments.files.size() != known->files) return std::nullopt;
  return arguments;
}

}  // namespace cli
