#include <cstdio>
#include <filesystem>
#include <exception>
#include <iostream>
#include <string>

#include "jet/check/database_check.h"
#include "jet/common/error.h"
#include "jet/core/database.h"
#include "jet/dump/dump_json.h"
#include "cli/console_window.h"
#include "schema/comparison_rules.h"
#include "schema/jet_engine.h"
#include "schema/verify_pass.h"
#include "update/update_pass.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::ostream& out) {
  out << "Usage: vantrel-cli COMMAND [ARGUMENTS]\n"
         "  verify REF LOCAL  list what an update of LOCAL from REF would change\n"
         "  update REF LOCAL  bring the structure of LOCAL in line with REF, keeping its rows\n"
         "  check FILE        check the file's structure: pages, rows, long values, indexes\n"
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

int Check(const std::string& file) {
  auto database = jet::Database::Open(file);
  const jet::check::CheckReport report = jet::check::CheckDatabase(*database);
  for (const auto& finding : report.findings) std::cout << jet::check::Describe(finding) << "\n";
  std::cout << report.tables_checked << " tables, " << report.rows_checked << " rows, "
            << report.index_entries_checked << " index entries checked: "
            << (report.ok() ? "no damage found" : "DAMAGED") << "\n";
  return report.ok() ? 0 : kExitFailed;
}

// Runs one pass over the two files with the console as its window: the paths must name
// files, and the pass's own outcome decides the exit status.
int RunPass(const std::string& reference, const std::string& local,
            void (*pass)(schema::PassState&, schema::PassWindow&, schema::DBEngine&), bool blank_line_first) {
  for (const std::string& path : {reference, local}) {
    if (!std::filesystem::is_regular_file(path)) {
      std::cerr << "File non trovato: " << path << "\n";
      return kExitUsage;
    }
  }
  cli::ConsoleWindow window(std::cout, std::cerr);
  schema::PassState state;
  state.LPathAgg = reference;
  state.LPathLoc = local;
  state.bKVO = schema::HasKvoPrefix(std::filesystem::path(reference).filename().string());
  if (blank_line_first) window.RunLogAddItem(" ");
  pass(state, window, schema::TheEngine());
  if (state.nErrore != 0) {
    std::cerr << "Errore " << state.nErrore << ": " << state.sErrore << "\n";
    return kExitFailed;
  }
  return 0;
}

int Verify(const std::string& reference, const std::string& local) {
  return RunPass(reference, local, schema::VerifyUpdate, false);
}

// The update pass without questions, as an unattended run makes it.
int Update(const std::string& reference, const std::string& local) {
  const int status = RunPass(reference, local, update::RunUpdate, true);
  if (status == 0) std::cout << "Aggiornamento eseguito.\n";
  return status;
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
    if (command == "verify" && argc == 4) return Verify(argv[2], argv[3]);
    if (command == "update" && argc == 4) return Update(argv[2], argv[3]);
    if (command == "check" && argc == 3) return Check(argv[2]);
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
