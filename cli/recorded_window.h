#pragma once

#include <string>
#include <vector>

#include "schema/pass_window.h"

namespace cli {

// Passes everything on to the window that shows it and keeps a copy of the run log and of
// the message boxes, for the report written after the run.
class RecordedWindow : public schema::PassWindow {
 public:
  struct Box {
    std::string text;
    int style = 0;
    std::string title;
    int answer = 0;
  };

  explicit RecordedWindow(schema::PassWindow& shown) : shown_(shown) {}

  const std::vector<std::string>& lines() const { return lines_; }
  const std::vector<Box>& boxes() const { return boxes_; }

  void RunLogSetBackColor(uint32_t bgr) override { shown_.RunLogSetBackColor(bgr); }
  void RunLogClear() override {
    lines_.clear();
    shown_.RunLogClear();
  }
  void RunLogAddItem(const std::string& line) override {
    lines_.push_back(line);
    shown_.RunLogAddItem(line);
  }
  int MessageBox(const std::string& text, int style, const std::string& title) override {
    const int answer = shown_.MessageBox(text, style, title);
    boxes_.push_back({text, style, title, answer});
    return answer;
  }
  void BusyCursorOn() override { shown_.BusyCursorOn(); }
  void BusyCursorOff() override { shown_.BusyCursorOff(); }
  void DoEvents() override { shown_.DoEvents(); }

 private:
  schema::PassWindow& shown_;
  std::vector<std::string> lines_;
  std::vector<Box> boxes_;
};

}  // namespace cli
