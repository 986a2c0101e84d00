#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/window_port.h"
#include "tests/util/scripted_platform.h"

namespace vantrel::test {

// The window as the path procedures see it: two boxes, the commands' visibility, the focus,
// and a file dialog that answers from a script (a cancel, the empty string, when it runs dry).
class ScriptedWindowPort : public app::WindowPort {
 public:
  std::string text[2];
  bool boxes_enabled = false;
  int focus = -1;
  bool update_visible = false, verify_visible = false;
  ScriptedPlatform platform;  // message boxes and their answers
  std::vector<app::FileDialogRequest> dialogs;
  std::deque<std::string> chosen_files;

  int MessageBox(const std::string& message, int style, const std::string& title) override {
    return platform.MessageBox(message, style, title);
  }
  void SetMousePointer(int pointer) override { platform.SetMousePointer(pointer); }
  void DoEvents() override { platform.DoEvents(); }
  std::string PathText(int index) const override { return text[index]; }
  void SetPathText(int index, const std::string& value) override { text[index] = value; }
  void SetPathBoxesEnabled(bool enabled) override { boxes_enabled = enabled; }
  void FocusPathBox(int index) override { focus = index; }
  void SetCommandsVisible(bool update, bool verify) override {
    update_visible = update;
    verify_visible = verify;
  }
  std::string ChooseFile(const app::FileDialogRequest& request) override {
    dialogs.push_back(request);
    if (chosen_files.empty()) return {};
    std::string file = chosen_files.front();
    chosen_files.pop_front();
    return file;
  }

  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& box : platform.boxes) texts.push_back(box.text);
    return texts;
  }
};

}  // namespace vantrel::test
