#include "update/compact_local_database.h"

#include <filesystem>

#include "jet/common/error.h"
#include "jet/store/file_io.h"
#include "util/path_helpers.h"

namespace update {
namespace {

constexpr int32_t kExclusivelyOpened = 3356;
constexpr int32_t kInUse = 3196;


std::string GeneralFailure(const std::string& path) {
  return "ERRORE IN FASE DI COMPATTAMENTO DEL DATABASE " + path + "\nCHIEDERE L'INTERVENTO DEL SISTEMISTA";
}

void Fail(const std::string& message, const std::string& path, schema::PassState& state, schema::PassWindow& window) {
  window.BusyCursorOff();
  state.sErrore = message;
  window.MessageBox(state.sErrore, 0, "Vantrel");
  window.RunLogAddItem(path + " NON compattato");
}

}  // namespace

void CompactLocalDatabase(const std::string& path_box_text, schema::PassState& state, schema::PassWindow& window,
                          schema::DBEngine& engine) {
  // The path as the path check takes it from the same box.
  const std::string path = util::WithoutQuotes(util::Trim(path_box_text));
  const std::string title;  // the form's sTitolo, never set
  window.BusyCursorOn();
  window.RunLogSetBackColor(kCompactionRunningColour);
  window.RunLogAddItem("------------- Compattamento " + title + " :   " + path);
  try {
    if (path.empty()) throw jet::Error(3024, "Could not find file ''.");
    const std::string temporary = path.substr(0, path.size() - 1) + "~";
    window.RunLogAddItem("Compattamento in corso ...");
    window.DoEvents();
    engine.CompactDatabase(path, temporary);
    // One rename puts the copy in the database's place: at every moment the path names either
    // the old database or the compacted one, never nothing.
    try {
      jet::store::RenameReplacing(temporary, path);
    } catch (...) {
      // The database is still the old one, whole; the copy would only make every later
      // compaction fail on the leftover name.
      jet::store::RemoveQuietly(temporary);
      throw;
    }
    try {
      const std::filesystem::path folder = std::filesystem::path(path).parent_path();
      jet::store::SyncDirectory(folder.empty() ? std::filesystem::path(".") : folder);
    } catch (const jet::Error&) {
      // The compacted database is in place and every reader sees it; only a crash before the
      // folder reaches the disk could bring the old one back, which is no loss either.
    }
    window.BusyCursorOff();
    window.RunLogAddItem("Compattatamento effettuato.");
    window.RunLogSetBackColor(kCompactionDoneColour);
  } catch (const jet::Error& error) {
    const bool held = error.number() == kExclusivelyOpened || error.number() == kInUse;
    Fail(held ? error.description() : GeneralFailure(path), path, state, window);
  } catch (const std::exception&) {
    // Anything else (no memory, a file-system error outside the engine) is still a failed
    // compaction of this database, reported as such rather than ending the program.
    Fail(GeneralFailure(path), path, state, window);
  }
}

}  // namespace update
