#pragma once

#include <string>

#include "util/platform.h"

// What the window's procedures reach of their controls, beyond the platform. The Qt window
// implements it; tests use a scripted double.
namespace app {

// How the file-open dialog is prepared. The filter is "description|pattern", pairs joined by
// "|"; the default extension is written with its full stop (".mdb").
struct FileDialogRequest {
  std::string title;
  std::string filter;
  std::string default_extension;
  std::string initial_folder;  // empty: the platform's own choice
  std::string file_name;       // what the name field shows at first
};

class WindowPort : public util::Platform {
 public:
  // Txt(0): the reference database; Txt(1): the local one.
  virtual std::string PathText(int index) const = 0;
  virtual void SetPathText(int index, const std::string& text) = 0;
  virtual void SetPathBoxesEnabled(bool enabled) = 0;
  virtual void FocusPathBox(int index) = 0;
  virtual void SetCommandsVisible(bool update, bool verify) = 0;
  // Shows the file-open dialog and waits: the chosen file's full path, or empty on cancel.
  virtual std::string ChooseFile(const FileDialogRequest& request) = 0;
};

}  // namespace app
