#pragma once

#include <nlohmann/json.hpp>

#include "jet/core/database.h"

namespace jet {

// The engine's whole view of a database as JSON: format, tables and system tables (name,
// rowCount, columns with type, size and properties, indexes, rows) and queries (name, type,
// SQL). Tables are listed by name without regard to case; rows in stored order.
nlohmann::json DumpDatabase(Database& database, bool with_rows = true);

// One value as the dump writes it: numbers as numbers, currency and decimal as exact
// strings, dates as "yyyy-MM-ddTHH:mm:ss", binary as "hex:...", GUIDs in braces.
nlohmann::json DumpValue(const Value& value);

}  // namespace jet
