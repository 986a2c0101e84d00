#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "schema/comparison_rules.h"
#include "schema/runtime_error.h"

// How the passes walk the engine's collections: by 16-bit position, never by name.
namespace schema {

// Runs one statement with errors ignored: a failing statement is skipped.
template <typename Statement>
void IgnoringErrors(Statement&& statement) {
  try {
    statement();
  } catch (const std::exception&) {
  }
}

// Positions 0 .. count - 1 with 16-bit arithmetic: Count - 1 and every increment are
// checked, as everywhere in the passes. The body returns false to stop.
template <typename Body>
void ForEachPosition(int16_t count, Body&& body) {
  const int16_t last = Add16(count, -1);
  for (int16_t i = 0; i <= last; i = Add16(i, 1)) {
    if (!body(i)) return;
  }
}

// Position of the first item whose name is SameName with `name`, or -1.
template <typename NameAt>
int16_t FindByName(int16_t count, const std::string& name, NameAt&& name_at) {
  int16_t found = -1;
  ForEachPosition(count, [&](int16_t i) {
    if (!SameName(name_at(i), name)) return true;
    found = i;
    return false;
  });
  return found;
}

// Names of a collection, copied before any deletion so that deleting never disturbs the walk.
template <typename Collection>
std::vector<std::string> NamesOf(const Collection& collection) {
  std::vector<std::string> names;
  ForEachPosition(collection.Count(), [&](int16_t i) {
    names.push_back(collection.Item(i)->Name());
    return true;
  });
  return names;
}

}  // namespace schema
