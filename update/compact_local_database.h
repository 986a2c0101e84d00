#pragma once

#include <string>

#include "schema/engine.h"
#include "schema/pass_state.h"
#include "schema/pass_window.h"

namespace update {

// Compacts the local database after a successful update: the engine writes a compact copy
// beside it (the path with its last character turned into "~"), which then takes the
// database's place. Every step goes to the run log, pale red while it runs or after a failure,
// pale green after success; a failure is shown in a message box and leaves nErrore alone.
//
// `path_box_text` is the local path box as the user left it. Blanks around it and surrounding
// double quotes are dropped, as the path check drops them.
void CompactLocalDatabase(const std::string& path_box_text, schema::PassState& state, schema::PassWindow& window,
                          schema::DBEngine& engine);

// The run-log colours of the compaction (0x00BBGGRR).
inline constexpr uint32_t kCompactionRunningColour = 0x00F0F0FF;
inline constexpr uint32_t kCompactionDoneColour = 0x00F0FFF0;

}  // namespace update
