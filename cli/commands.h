#pragma once

#include <iosfwd>

#include "cli/arguments.h"

namespace cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;  // the pass, the compaction or the check failed
inline constexpr int kExitUsage = 2;   // bad arguments, or a path that names no file

void PrintUsage(std::ostream& out);

// Runs one command with the program's engine: the run log on `out` (or the --json report
// when it goes to standard output), message boxes, progress and failures on `err`.
int RunCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);

}  // namespace cli
