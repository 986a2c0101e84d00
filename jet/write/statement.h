#pragma once

#include <string>

#include "jet/core/value.h"

namespace jet {

// The statements the engine runs: a constant fill of one field over every row, and the copy
// of every row of one table into another, field by field by name.
//   UPDATE table SET field = constant
//   INSERT INTO target SELECT source.* FROM source
// Names may be bracketed ([Tab 1]); a field may be qualified by its table. Constants are
// numbers, 'text' or "text", True, False, Null and #date#. Anything else raises Jet's syntax
// errors (3129, 3134, 3144).
struct Statement {
  enum class Kind { kUpdate, kInsertSelect };
  Kind kind = Kind::kUpdate;
  std::string table;   // UPDATE: the table; INSERT: the target
  std::string field;   // UPDATE only
  Value constant;      // UPDATE only
  std::string source;  // INSERT only
};

Statement ParseStatement(const std::string& sql);

}  // namespace jet
