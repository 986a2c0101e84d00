#pragma once

#include <string>

#include "app/form_state.h"
#include "app/window_port.h"

// Filling the two path boxes through the file-open dialog, and checking them as the user
// leaves one.
namespace app {

inline constexpr int kKeyF4 = 115;

// The file-open dialog for box `index`, starting in the folder the box names: the chosen
// path, or empty when the user cancels. The box itself is left alone.
std::string ChooseDatabase(WindowPort& window, int index);

// Double-click in box `index`: the box takes what the dialog gives (a cancel empties it),
// then the paths are checked.
void Txt_DblClick(FormState& form, WindowPort& window, int index);

// Box `index` has lost the focus: the paths are checked, except in an unattended run. The
// text is never changed here; the check only reads it.
void Txt_LostFocus(FormState& form, WindowPort& window, int index);

// The window's key step, seeing every key before the focused control. F4 (with any shift
// state) in a path box does what a double-click there does; `focused_box` is that box's
// index, or -1 when something else has the focus. True when the key was used up.
bool Form_KeyDown(FormState& form, WindowPort& window, int key_code, int focused_box);

}  // namespace app
