#include "app/check_paths.h"

#include "app/prefix_rule.h"
#include "schema/comparison_rules.h"
#include "util/file_exists.h"
#include "util/path_helpers.h"

namespace app {
namespace {

bool Refuse(WindowPort& window, const std::string& sentence, const std::string& path, int focus) {
  window.MessageBox(sentence + "\n" + path, 0, "");
  window.SetPathBoxesEnabled(true);
  window.FocusPathBox(focus);
  return false;
}

}  // namespace

bool CheckPaths(FormState& form, WindowPort& window) {
  if (form.bUscita) return true;
  form.LPathAgg = util::Trim(window.PathText(0));
  if (form.LPathAgg.empty()) return false;
  if (!util::FileExists(window, form.LPathAgg, 0))
    return Refuse(window, "DataBase aggiornato inesistente", form.LPathAgg, 0);
  form.LPathLoc = util::Trim(window.PathText(1));
  if (form.LPathLoc.empty()) return false;
  if (!util::FileExists(window, form.LPathLoc, 0))
    return Refuse(window, "DataBase locale da aggiornare inesistente", form.LPathLoc, 1);
  if (schema::UpperCase(form.LPathAgg) == schema::UpperCase(form.LPathLoc))
    return Refuse(window, "DataBase aggiornato uguale al DataBase locale da aggiornare", form.LPathAgg, 0);
  form.bKVO = ReferenceHasKvoPrefix(form.LPathAgg);
  window.SetCommandsVisible(true, true);
  return true;
}

}  // namespace app
