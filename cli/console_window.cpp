#include "cli/console_window.h"

#include <ostream>

namespace cli {

int FirstButtonAnswer(int style) {
  switch (style & 0x0F) {
    case 1: return 1;  // OK / Cancel
    case 2: return 3;  // Abort / Retry / Ignore
    case 3:            // Yes / No / Cancel
    case 4: return 6;  // Yes / No
    case 5: return 2;  // Retry / Cancel: a Retry nobody can act on would ask again for ever
    default: return 1; // OK
  }
}

void ConsoleWindow::RunLogAddItem(const std::string& line) { out_ << line << '\n' << std::flush; }

int ConsoleWindow::MessageBox(const std::string& text, int style, const std::string& title) {
  err_ << (title.empty() ? "Vantrel" : title) << ": " << text << '\n' << std::flush;
  return FirstButtonAnswer(style);
}

}  // namespace cli
