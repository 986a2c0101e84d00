#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "jet/common/error.h"
#include "jet/core/database.h"
#include "jet/dump/dump_json.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::ostream& out) {
  out << "Usage: vantrel-cli COMMAND [ARGUMENTS]\n"
         "  dump FILE         print the database's tables, indexes, queries and rows as JSON\n"
         "  --help            show this text\n"
         "  --version         show the program's version\n"
         "Exit status: 0 success, 1 the command failed, 2 bad arguments.\n";
}

int Dump(const std::string& file) {
  auto database = jet::Database::Open(file);
  std::cout << jet::DumpDatabase(*database).dump(2) << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "--help" || command == "-h") {
      PrintUsage(std::cout);
      return 0;
    }
    if (command == "--version") {
      std::cout << "vantrel-cli 0.1\n";
      return 0;
    }
    if (command == "dump" && argc == 3) return Dump(argv[2]);
    PrintUsage(std::cerr);
    return kExitUsage;
  } catch (const jet::Error& error) {
    std::cerr << "Errore " << error.number() << ": " << error.description() << "\n";
    return kExitFailed;
  } catch (const std::exception& error) {
    std::cerr << "Errore: " << error.what() << "\n";
    return kExitFailed;
  }
}
