#pragma once

#include <functional>

#include "schema/engine.h"
#include "schema/pass_state.h"
#include "schema/pass_window.h"

namespace schema {

// Work on both databases after a complete comparison, before they are closed.
using WhileOpen = std::function<void(Database& reference, Database& local)>;

// The dry run behind VERIFICA: lists in the run log what an update would change and changes
// nothing. The outcome is left in state.nErrore / state.sErrore; both databases are closed
// and released at the end, whatever happened. `after_comparison` runs only when the
// comparison succeeded, so that what follows it (the data-loss preview) reads the databases
// the pass has open instead of opening both files again; what it raises reaches the caller
// once the databases are closed.
void VerifyUpdate(PassState& state, PassWindow& window, DBEngine& engine, const WhileOpen& after_comparison = {});

}  // namespace schema
