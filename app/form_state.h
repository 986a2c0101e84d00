#pragma once

#include <string>
#include <vector>

#include "schema/pass_state.h"

namespace app {

// The window's variables: the passes' own, plus what the window itself decides by.
struct FormState : schema::PassState {
  bool bAuto = false;    // both paths on the command line: run unattended
  bool bUscita = false;  // the exit button has been pressed
  std::vector<std::string> vArgs;  // the command line split on "|"; fields 0 to 2 always exist
};

}  // namespace app
