// Run-log lines read back for the --json report: every line the passes and the compaction
// write, and the names that hold the lines' own words.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/arguments.h"
#include "cli/console_window.h"
#include "cli/copy_progress.h"
#include "cli/log_line.h"

namespace cli {
namespace {

std::string Describe(const std::optional<LogEntry>& entry) {
  if (!entry) return "none";
  std::string text = entry->kind;
  for (const std::string* part : {&entry->table, &entry->field, &entry->index, &entry->query, &entry->path})
    text += "|" + *part;
  auto known = [](const auto& value) { return value ? std::to_string(*value) : std::string("?"); };
  if (entry->old_type || entry->new_type) text += "|t" + known(entry->old_type) + ">" + known(entry->new_type);
  if (entry->old_size) text += "|s" + std::to_string(*entry->old_size) + ">" + std::to_string(*entry->new_size);
  return text;
}

TEST(LogLine, EveryLineOfThePassesAndTheCompaction) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Disconnetto: Collegata", "unlink_table|Collegata||||"},
      {"Cancello query: Vecchia", "delete_query||||Vecchia|"},
      {"Nuova query: Elenco", "new_query||||Elenco|"},
      {"Elimino Tabella: Storico", "delete_table|Storico||||"},
      {"Nuova tabella: Ordini", "new_table|Ordini||||"},
      {"Tabella  Clienti : Elimino Indice -> PerNome", "delete_index|Clienti||PerNome||"},
      {"Tabella  Clienti : Elimino  Campo -> Fax", "delete_field|Clienti|Fax|||"},
      {"Tabella  Clienti :     Nuovo  Campo: Email", "new_field|Clienti|Email|||"},
      {"Tabella  ANAGRAFICA : Campo NOME con dimensione diversa: da 50 a 100 - sostituisco ...",
       "size_change|ANAGRAFICA|NOME||||t10>10|s50>100"},
      {"Tabella  ANAGRAFICA : Campo NOME di tipo diverso: da 'Int. Lungo' a 'Testo' - sostituisco ...",
       "type_change|ANAGRAFICA|NOME||||t4>10"},
      {"Eliminata Query -> Vecchia", "deleted_query||||Vecchia|"},
      {"Nuova query -> Elenco", "created_query||||Elenco|"},
      {"Eliminata Tabella -> Storico", "deleted_table|Storico||||"},
      {"Nuova tabella Ordini", "created_table|Ordini||||"},
      {"Tabella  Clienti : Eliminato Indice -> PerNome", "deleted_index|Clienti||PerNome||"},
      {"Tabella  Clienti : Eliminato  Campo -> Fax", "deleted_field|Clienti|Fax|||"},
      {"Tabella  Clienti :     Nuovo  Campo -> Email", "added_field|Clienti|Email|||"},
      {"Tabella  Clienti :     Nuovo Indice -> PerEmail", "created_index|Clienti||PerEmail||"},
      {"------------- Compattamento  :   /dati/sede.mdb", "compaction_started|||||/dati/sede.mdb"},
      {"Compattamento in corso ...", "compaction_running|||||"},
      {"Compattatamento effettuato.", "compaction_done|||||"},
      {"/dati/sede.mdb NON compattato", "compaction_failed|||||/dati/sede.mdb"},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(Describe(ReadLogLine(line)), expected) << line;
}

TEST(LogLine, NamesThatHoldTheLinesOwnWords) {
  // A field named with the marker's words: the marker is the last one on the line.
  EXPECT_EQ(Describe(ReadLogLine("Tabella  T : Campo Prezzo con dimensione diversa: da 5 a 6 con dimensione "
                                 "diversa: da 10 a 20 - sostituisco ...")),
            "size_change|T|Prezzo con dimensione diversa: da 5 a 6||||t10>10|s10>20");
  // A field whose name reads like a new-field line still ends the table name at the first marker.
  EXPECT_EQ(Describe(ReadLogLine("Tabella  Ordini : Elimino  Campo -> X : Elimino Indice -> Y")),
            "delete_field|Ordini|X : Elimino Indice -> Y|||");
  EXPECT_EQ(Describe(ReadLogLine("Tabella  Rate :     Nuovo  Campo: Nuova tabella: x")), "new_field|Rate|Nuova tabella: x|||");
  // A type that has no display name is kept as unknown rather than guessed.
  EXPECT_EQ(Describe(ReadLogLine("Tabella  T : Campo F di tipo diverso: da 'Testo' a 'Altro' - sostituisco ...")),
            "type_change|T|F||||t10>?");
}

TEST(LogLine, LinesThatTellNothingAreNotEntries) {
  for (const std::string line : {" ", "", "Tabella  ", "Tabella  T : Campo F - sostituisco ...",
                                 "Tabella  T : Campo F con dimensione diversa: da x a 3 - sostituisco ...",
                                 "Impossibile aprire il database a.mdb: Could not find file"})
    EXPECT_EQ(Describe(ReadLogLine(line)), "none") << "'" << line << "'";
}

TEST(Arguments, OptionsBelongToTheirCommands) {
  auto update = ParseArguments({"update", "--no-compact", "a.mdb", "--json", "r.json", "b.mdb"});
  ASSERT_TRUE(update);
  EXPECT_EQ(update->files, (std::vector<std::string>{"a.mdb", "b.mdb"}));
  EXPECT_FALSE(update->compact);
  EXPECT_EQ(update->json, "r.json");
  // After "--" a name that starts with a dash is a file.
  auto dashed = ParseArguments({"verify", "--", "-ref.mdb", "--json"});
  ASSERT_TRUE(dashed);
  EXPECT_EQ(dashed->files, (std::vector<std::string>{"-ref.mdb", "--json"}));
  EXPECT_FALSE(ParseArguments({"update", "a", "b", "--json", "r", "--json", "s"}));
  EXPECT_FALSE(ParseArguments({"check", "a", "--no-progress"}));
  EXPECT_FALSE(ParseArguments({"--help", "verify"}));
}

TEST(CopyProgress, ATenthAtATimeAndOneLineAtTheEnd) {
  std::ostringstream err;
  CopyProgressLines progress(err);
  for (uint64_t done = 1; done <= 25; ++done) progress("T1", done, 25);
  progress("T1", 25, 25);  // the end of the copy, told again
  progress("U1", 3, 2);    // a stale count: the total has grown with the rows
  progress("U1", 3, 3);
  EXPECT_EQ(err.str(),
            "Copia righe T1: 3 / 25\nCopia righe T1: 5 / 25\nCopia righe T1: 8 / 25\nCopia righe T1: 10 / 25\n"
            "Copia righe T1: 13 / 25\nCopia righe T1: 15 / 25\nCopia righe T1: 18 / 25\nCopia righe T1: 20 / 25\n"
            "Copia righe T1: 23 / 25\nCopia righe T1: 25 / 25\nCopia righe U1: 3 / 2\n");
}

TEST(ConsoleWindow, BoxesGoToStderrAndAnswerWithoutWaiting) {
  std::ostringstream out, err;
  ConsoleWindow window(out, err);
  window.RunLogAddItem("Nuova tabella: Ordini");
  EXPECT_EQ(window.MessageBox("Vuoi aggiornare il DataBase locale", 36, ""), 6);
  EXPECT_EQ(window.MessageBox("ERRORE", 16, "ERRORE in aggiornamento"), 1);
  // A file error's Retry would only meet the same fault again.
  EXPECT_EQ(window.MessageBox("Disco non pronto", 53, ""), 2);
  EXPECT_EQ(out.str(), "Nuova tabella: Ordini\n");
  EXPECT_EQ(err.str(),
            "Vantrel: Vuoi aggiornare il DataBase locale\nERRORE in aggiornamento: ERRORE\nVantrel: Disco non pronto\n");
}

}  // namespace
}  // namespace cli
