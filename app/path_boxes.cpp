#include "app/path_boxes.h"

#include "app/check_paths.h"
#include "util/path_helpers.h"

namespace app {

std::string ChooseDatabase(WindowPort& window, int index) {
  FileDialogRequest request;
  request.title = "DataBase da Aggiornare";
  request.filter = "File di Access (*.MDB)|*.mdb";
  request.default_extension = ".mdb";
  request.initial_folder = util::DirDaPath(window.PathText(index), "\\");
  request.file_name = "*.mdb";
  return window.ChooseFile(request);
}

void Txt_DblClick(FormState& form, WindowPort& window, int index) {
  window.SetPathText(index, ChooseDatabase(window, index));
  CheckPaths(form, window);
}

void Txt_LostFocus(FormState& form, WindowPort& window, int /*index*/) {
  if (!form.bAuto) CheckPaths(form, window);
}

bool Form_KeyDown(FormState& form, WindowPort& window, int key_code, int focused_box) {
  if (key_code != kKeyF4) return false;
  if (focused_box != 0 && focused_box != 1) return false;
  Txt_DblClick(form, window, focused_box);
  return true;
}

}  // namespace app
