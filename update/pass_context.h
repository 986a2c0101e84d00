#pragma once

#include <set>
#include <string>

#include "schema/comparison_rules.h"
#include "schema/engine.h"
#include "schema/pass_state.h"
#include "schema/pass_window.h"

namespace update {

// What the phases of one update pass share: the window state, the run log, the type names
// and the reference table the walk is on.
struct PassContext {
  PassContext(schema::PassState& pass_state, schema::PassWindow& pass_window)
      : state(pass_state), window(pass_window) {}

  schema::Database& Reference() { return *state.dbAgg; }
  schema::Database& Local() { return *state.dbLoc; }
  void Line(const std::string& text) { window.RunLogAddItem(text); }
  // The prefix of every per-table line: "Tabella  " + the reference table's name.
  std::string TableLine(const std::string& rest) const { return "Tabella  " + table_name + rest; }

  schema::PassState& state;
  schema::PassWindow& window;
  schema::FieldTypeTable types;
  // The reference table being worked on, spelled as the reference database spells it; empty
  // before the table walk, so that the failure report names no table then.
  std::string table_name;
  // Reference tables rebuilt in this pass (upper-cased, trimmed): a table handed to the
  // rebuild a second time did not take its new structure, and rebuilding it again would
  // never end.
  std::set<std::string> rebuilt_tables;
};

}  // namespace update
