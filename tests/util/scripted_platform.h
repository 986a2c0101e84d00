#pragma once

#include <deque>
#include <string>
#include <vector>

#include "util/platform.h"

namespace vantrel::test {

// Records every message box and answers from a script (2 = Cancel when it runs dry, so a
// forgotten answer can never make a retry loop spin).
class ScriptedPlatform : public util::Platform {
 public:
  struct Box {
    std::string text;
    int style = 0;
    std::string title;
  };
  std::vector<Box> boxes;
  std::deque<int> answers;
  std::vector<int> pointers;
  int events = 0;

  int MessageBox(const std::string& text, int style, const std::string& title) override {
    boxes.push_back({text, style, title});
    if (answers.empty()) return 2;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void SetMousePointer(int pointer) override { pointers.push_back(pointer); }
  void DoEvents() override { ++events; }
};

}  // namespace vantrel::test
