#pragma once

#include "schema/engine.h"

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

}  // namespace schema
