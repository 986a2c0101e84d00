#pragma once

namespace jet {

class Database;

// A file cut short still opens, but its tables may point at pages past its end. Writing to
// it appends new pages there, so those references would point at the wrong pages and turn a
// file Access refuses into one it misreads. Raises 3049 (naming the table and the page) when
// a table's definition, usage maps or index roots lie past the end of the file.
void RequireTablesWithinFile(Database& database);

}  // namespace jet
