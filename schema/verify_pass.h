#pragma once

#include "schema/engine.h"
#include "schema/pass_state.h"
#include "schema/pass_window.h"

namespace schema {

// The dry run behind VERIFICA: lists in the run log what an update would change and changes
// nothing. The outcome is left in state.nErrore / state.sErrore; both databases are closed
// and released at the end, whatever happened.
void VerifyUpdate(PassState& state, PassWindow& window, DBEngine& engine);

}  // namespace schema
