#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet {

// One row of MSysQueries: a stored query is the set of these rows that share its ObjectId.
// Attribute says what the row contributes (type, parameters, tables, joins, columns, criteria,
// ordering ...); the other fields carry its parts. Absent (Null) fields are empty optionals.
struct QueryRow {
  uint8_t attribute = 0;
  std::optional<std::string> expression;
  std::optional<int16_t> flag;
  std::optional<std::vector<uint8_t>> lv_extra;
  std::optional<std::string> name1;
  std::optional<std::string> name2;
  int32_t object_id = 0;
  std::optional<std::vector<uint8_t>> order;  // binary sort key of the row inside its query
};

}  // namespace jet
