#include "cli/commands.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "app/prefix_rule.h"
#include "cli/console_window.h"
#include "cli/copy_progress.h"
#include "cli/data_loss_lines.h"
#include "cli/json_report.h"
#include "cli/recorded_window.h"
#include "jet/check/database_check.h"
#include "jet/common/error.h"
#include "jet/core/database.h"
#include "jet/dump/dump_json.h"
#include "jet/write/row_copy_progress.h"
#include "schema/data_loss_preview.h"
#include "schema/verify_pass.h"
#include "update/compact_local_database.h"
#include "update/update_pass.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

bool IsFile(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

// The texts and the order of the window's own path check, shown the way the console shows
// a message box.
bool PathsUsable(const Arguments& arguments, schema::PassWindow& window) {
  const bool two = arguments.files.size() == 2;
  const std::string& local = arguments.files.back();
  if (two && !IsFile(arguments.files[0])) {
    window.MessageBox("DataBase aggiornato inesistente\n" + arguments.files[0], 0, "");
    return false;
  }
  if (!IsFile(local)) {
    window.MessageBox("DataBase locale da aggiornare inesistente\n" + local, 0, "");
    return false;
  }
  if (two && SameFile(arguments.files[0], local)) {
    window.MessageBox("DataBase aggiornato uguale al DataBase locale da aggiornare\n" + arguments.files[0], 0, "");
    return false;
  }
  return true;
}

// Where the --json report goes. Opened before any work, so that a path that cannot be
// written fails the run before the database is touched; a report over one of the databases
// is refused rather than truncating it.
class ReportTarget {
 public:
  bool Open(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    if (!arguments.json) return true;
    path_ = *arguments.json;
    if (path_ == "-") {
      stream_ = &out;
      return true;
    }
    for (const std::string& file : arguments.files) {
      if (SameFile(*arguments.json, file)) {
        err << "Vantrel: il rapporto JSON non puo' sostituire il database\n" << file << '\n';
        return false;
      }
    }
    file_ = std::make_unique<std::ofstream>(*arguments.json, std::ios::binary | std::ios::trunc);
    if (!*file_) {
      err << "Vantrel: impossibile scrivere il rapporto JSON\n" << *arguments.json << '\n';
      return false;
    }
    stream_ = file_.get();
    return true;
  }
  bool wanted() const { return stream_ != nullptr; }
  bool takes_standard_output() const { return stream_ != nullptr && !file_; }
  bool Write(const RunReport& report, std::ostream& err) {
    if (!stream_) return true;
    // Paths and names need not be valid UTF-8; the report must still be written.
    *stream_ << ReportJson(report).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n' << std::flush;
    if (*stream_) return true;
    err << "Vantrel: impossibile scrivere il rapporto JSON\n" << path_ << '\n';
    return false;
  }

 private:
  std::string path_;
  std::ostream* stream_ = nullptr;
  std::unique_ptr<std::ofstream> file_;
};

void ReportFailure(const schema::PassState& state, std::ostream& err) {
  err << "Errore " << state.nErrore << ": " << state.sErrore << '\n' << std::flush;
}

const char* CommandName(Command command) {
  switch (command) {
    case Command::kVerify: return "verify";
    case Command::kUpdate: return "update";
    case Command::kCompact: return "compact";
    default: return "";
  }
}

// The work of verify, update and compact; the outcome is left in `state` and `report`.
int RunPass(const Arguments& arguments, schema::PassState& state, RecordedWindow& window, RunReport& report,
            std::ostream& err) {
  if (!PathsUsable(arguments, window)) {
    state.sErrore = window.boxes().back().text;
    return kExitUsage;
  }
  const std::string& local = arguments.files.back();
  schema::DBEngine& engine = schema::TheEngine();

  // Rows copied, on standard error, for the update's rebuilds and for the compaction.
  std::unique_ptr<jet::RowCopyProgressScope> progress;
  if (arguments.progress) progress = std::make_unique<jet::RowCopyProgressScope>(CopyProgressLines(err));

  if (arguments.command == Command::kCompact) {
    update::CompactLocalDatabase(local, state, window, engine);
    report.compacted = state.sErrore.empty();
    return *report.compacted ? kExitSuccess : kExitFailed;
  }

  state.LPathAgg = arguments.files[0];
  state.LPathLoc = local;
  // The window's own rule, so that both front ends agree on which tables are work tables.
  state.bKVO = app::ReferenceHasKvoPrefix(state.LPathAgg);
  if (arguments.command == Command::kVerify) {
    // The preview reads the databases the pass has open: on a large schema, reading both
    // catalogs again cost as much as the comparison itself.
    std::string preview_failure;
    schema::VerifyUpdate(state, window, engine, [&](schema::Database& reference, schema::Database& local) {
      try {
        report.previews = schema::PreviewDataLoss(reference, local);
      } catch (const jet::Error& error) {
        // The comparison itself is complete; only the extra figures are missing.
        preview_failure = "Errore " + std::to_string(error.number()) + ": " + error.description();
      } catch (const std::exception& error) {
        preview_failure = error.what();
      }
    });
    if (state.nErrore != 0) {
      ReportFailure(state, err);
      return kExitFailed;
    }
    if (!preview_failure.empty()) {
      err << "Anteprima non disponibile: " << preview_failure << '\n';
    } else {
      for (const std::string& line : DataLossLines(report.previews)) err << line << '\n';
    }
    return kExitSuccess;
  }

  // The update as an unattended run makes it: no question, the blank line first, and the
  // compaction straight after a successful pass.
  window.RunLogAddItem(" ");
  update::RunUpdate(state, window, engine);
  if (state.nErrore != 0) {
    ReportFailure(state, err);
    return kExitFailed;
  }
  if (!arguments.compact) return kExitSuccess;
  state.sErrore.clear();
  update::CompactLocalDatabase(local, state, window, engine);
  report.compacted = state.sErrore.empty();
  // The window leaves nErrore alone after a failed compaction; a script must still learn it.
  return *report.compacted ? kExitSuccess : kExitFailed;
}

// verify, update and compact: the window's procedures with the console as their window.
int RunPassCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
  ReportTarget report_target;
  std::ostream silent(nullptr);
  ConsoleWindow console(out, err);
  // With the report on standard output the run log is in the report only.
  ConsoleWindow quiet_console(silent, err);
  if (!report_target.Open(arguments, out, err)) return kExitUsage;
  RecordedWindow window(report_target.takes_standard_output() ? static_cast<schema::PassWindow&>(quiet_console)
                                                              : static_cast<schema::PassWindow&>(console));
  RunReport report;
  report.command = CommandName(arguments.command);
  report.files = arguments.files;
  auto finish = [&](int status, const schema::PassState& state) {
    report.exit_status = status;
    report.failed = status != kExitSuccess;
    if (report.failed) {
      // A refused path and a failed compaction leave no error number behind, only the text.
      if (state.nErrore != 0) report.error_number = state.nErrore;
      report.error_description = state.sErrore;
    }
    report.lines = window.lines();
    report.boxes = window.boxes();
    if (!report_target.Write(report, err) && status == kExitSuccess) return kExitFailed;
    return status;
  };

  schema::PassState state;
  int status = kExitFailed;
  try {
    status = RunPass(arguments, state, window, report, err);
  } catch (const std::exception& error) {
    // Whatever escapes the window's procedures still ends in a report that says so.
    if (const auto* jet_error = dynamic_cast<const jet::Error*>(&error)) {
      state.nErrore = schema::ErrorNumberForState(jet_error->number());
      state.sErrore = jet_error->description();
    } else {
      state.sErrore = error.what();
    }
    err << "Errore: " << state.sErrore << '\n';
  }
  return finish(status, state);
}

int Dump(const std::string& file, std::ostream& out) {
  auto database = jet::Database::Open(file);
  out << jet::DumpDatabase(*database).dump(2) << '\n';
  return kExitSuccess;
}

int Check(const std::string& file, std::ostream& out) {
  auto database = jet::Database::Open(file);
  const jet::check::CheckReport report = jet::check::CheckDatabase(*database);
  for (const auto& finding : report.findings) out << jet::check::Describe(finding) << '\n';
  out << report.tables_checked << " tables, " << report.rows_checked << " rows, " << report.index_entries_checked
      << " index entries checked: " << (report.ok() ? "no damage found" : "DAMAGED") << '\n';
  return report.ok() ? kExitSuccess : kExitFailed;
}

}  // namespace

void PrintUsage(std::ostream& out) {
  out << "Usage: vantrel-cli COMMAND [OPTIONS] FILES\n"
         "  verify REF LOCAL [--json PATH]       list what an update of LOCAL from REF would change,\n"
         "                                       with the rows each rebuilt field would lose (on stderr)\n"
         "  update REF LOCAL [--no-compact] [--json PATH] [--no-progress]\n"
         "                                       bring LOCAL in line with REF keeping its rows, then compact it\n"
         "  compact LOCAL [--json PATH]          compact LOCAL in place\n"
         "  check FILE                           check the file's pages, rows, long values and indexes\n"
         "  dump FILE                            print tables, indexes, queries and rows as JSON\n"
         "  --help                               show this text\n"
         "  --version                            show the program's version\n"
         "The run log goes to stdout exactly as the window shows it; message boxes, progress and\n"
         "the preview go to stderr. --json - puts the report on stdout in place of the run log.\n"
         "Exit status: 0 success, 1 the pass, the compaction or the check failed,\n"
         "2 bad arguments or a path that names no file.\n";
}

int RunCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
  try {
    switch (arguments.command) {
      case Command::kHelp: PrintUsage(out); return kExitSuccess;
      case Command::kVersion: out << "vantrel-cli 0.1\n"; return kExitSuccess;
      case Command::kVerify:
      case Command::kUpdate:
      case Command::kCompact: return RunPassCommand(arguments, out, err);
      case Command::kDump:
      case Command::kCheck:
        if (!IsFile(arguments.files[0])) {
          err << "Vantrel: file inesistente\n" << arguments.files[0] << '\n';
          return kExitUsage;
        }
        return arguments.command == Command::kDump ? Dump(arguments.files[0], out) : Check(arguments.files[0], out);
    }
  } catch (const jet::Error& error) {
    err << "Errore " << error.number() << ": " << error.description() << '\n';
    return kExitFailed;
  } catch (const std::exception& error) {
    err << "Errore: " << error.what() << '\n';
    return kExitFailed;
  }
  return kExitUsage;
}

}  // namespace cli
