#pragma once

#include <deque>
#include <string>
#include <vector>

#include "schema/pass_window.h"

namespace vantrel::test {

// A window for the passes that records what they show and answers message boxes from a
// script (1 = OK when the script runs dry).
class RecordingWindow : public schema::PassWindow {
 public:
  struct Box {
    std::string text;
    int style = 0;
    std::string title;
  };

  std::vector<std::string> lines;
  std::vector<uint32_t> colours;
  std::vector<Box> boxes;
  std::deque<int> answers;
  int clears = 0;
  int busy_depth = 0;
  int events = 0;

  void RunLogSetBackColor(uint32_t bgr) override { colours.push_back(bgr); }
  void RunLogClear() override {
    ++clears;
    lines.clear();
  }
  void RunLogAddItem(const std::string& line) override { lines.push_back(line); }
  int MessageBox(const std::string& text, int style, const std::string& title) override {
    boxes.push_back({text, style, title});
    if (answers.empty()) return 1;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void BusyCursorOn() override { ++busy_depth; }
  void BusyCursorOff() override { --busy_depth; }
  void DoEvents() override { ++events; }
};

}  // namespace vantrel::test
