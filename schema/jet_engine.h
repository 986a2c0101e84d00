#pragma once

#include "schema/engine.h"

namespace jet {
class Database;
}

namespace schema {

// The object model over the project's own Jet engine: what TheEngine() returns.
class JetEngine : public DBEngine {
 public:
  JetEngine();
  WorkspaceRef Workspaces(int16_t position) override;
  void CompactDatabase(const std::string& source, const std::string& destination) override;

 private:
  WorkspaceRef workspace_;
};

// What the engine read of a database opened through it, while nothing in it has been changed:
// a reader of the same file may use it instead of opening and reading the file again. Null
// for another engine's database and for one that is closed or being changed.
jet::Database* JetReadView(Database& database);

}  // namespace schema
