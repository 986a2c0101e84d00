#pragma once

#include <iosfwd>
#include <string>

#include "schema/pass_window.h"

namespace cli {

// The run log on standard output, message boxes on standard error; nobody is there to answer,
// so every question takes the answer an unattended run gives (the box's first button).
class ConsoleWindow : public schema::PassWindow {
 public:
  ConsoleWindow(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  void RunLogSetBackColor(uint32_t) override {}
  void RunLogClear() override {}
  void RunLogAddItem(const std::string& line) override;
  int MessageBox(const std::string& text, int style, const std::string& title) override;
  void BusyCursorOn() override {}
  void BusyCursorOff() override {}
  void DoEvents() override {}

 private:
  std::ostream& out_;
  std::ostream& err_;
};

// The answer a message box of this style gets with nobody at the console: its first button,
// except that Retry / Cancel cancels, since nothing changes between two tries.
int FirstButtonAnswer(int style);

}  // namespace cli
