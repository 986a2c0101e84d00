#include <iostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto arguments = cli::ParseArguments(words);
  if (!arguments) {
    cli::PrintUsage(std::cerr);
    return cli::kExitUsage;
  }
  return cli::RunCommand(*arguments, std::cout, std::cerr);
}
