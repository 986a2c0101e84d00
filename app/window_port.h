#pragma once

#include <string>

#include "util/platform.h"

// What the window's procedures reach of their controls, beyond the platform. The Qt window
// implements it; tests use a scripted double.
namespace app {

class WindowPort : public util::Platform {
 public:
  // Txt(0): the reference database; Txt(1): the local one.
  virtual std::string PathText(int index) const = 0;
  virtual void SetPathText(int index, const std::string& text) = 0;
  virtual void SetPathBoxesEnabled(bool enabled) = 0;
  virtual void FocusPathBox(int index) = 0;
  virtual void SetCommandsVisible(bool update, bool verify) = 0;
};

}  // namespace app
