#pragma once

#include "schema/engine.h"
#include "schema/pass_state.h"
#include "schema/pass_window.h"

namespace update {

// The update pass behind ESEGUI: brings the local database's structure in line with the
// reference, keeping the local rows. The outcome is left in state.nErrore / state.sErrore
// (0 and empty after a complete pass); a failure is also shown in a message box. Both
// databases are closed and released at the end, whatever happened.
void RunUpdate(schema::PassState& state, schema::PassWindow& window, schema::DBEngine& engine);

}  // namespace update
