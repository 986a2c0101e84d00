#include "app/form_load.h"

#include "app/command_line.h"
#include "app/prefix_rule.h"

namespace app {

void Form_Load(FormState& form, WindowPort& window, const std::string& arguments) {
  form.bUscita = false;
  // Neither command is offered before the activation step has looked at the paths.
  window.SetCommandsVisible(false, false);
  form.nErrore = 0;
  form.vArgs = SplitCommandLine(arguments);
  form.bAuto = IsUnattended(form.vArgs);
  form.LPathAgg = form.vArgs[0];
  form.LPathLoc = form.vArgs[1];
  window.SetPathText(0, form.LPathAgg);
  window.SetPathText(1, form.LPathLoc);
  form.bKVO = ReferenceHasKvoPrefix(form.LPathAgg);
}

}  // namespace app
