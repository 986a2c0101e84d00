#pragma once

#include "app/form_state.h"
#include "app/window_port.h"

namespace app {

// Takes the two paths from their boxes into the form state and tells the user what is wrong
// with them; offers both commands when they name two existing, different files. True then,
// and always while the user is leaving.
bool CheckPaths(FormState& form, WindowPort& window);

}  // namespace app
