#pragma once

#include <string>

#include "app/form_state.h"
#include "app/window_port.h"

namespace app {

// The form-state part of the load step: the command line into vArgs, bAuto and the two paths,
// the boxes filled, bKVO, the outcome and the exit flag reset, the commands hidden. Placing
// the window and clearing the run log belong to the window itself.
void Form_Load(FormState& form, WindowPort& window, const std::string& arguments);

}  // namespace app
