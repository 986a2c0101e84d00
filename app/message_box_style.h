#pragma once

#include <string>
#include <vector>

// The platform's numeric message box styles taken apart: buttons (style & 7), icon
// (style & 0x70) and default button (style & 0x300), and the answers the buttons give
// (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No).
namespace app {

inline constexpr const char* kProgramTitle = "Vantrel";

enum class MessageIcon { kNone, kCritical, kQuestion, kExclamation, kInformation };

struct MessageBoxLayout {
  std::vector<int> answers;  // one per button, left to right
  MessageIcon icon = MessageIcon::kNone;
  int default_answer = 1;
  int escape_answer = 1;  // what closing the box without a button gives
};

MessageBoxLayout DecodeMessageBoxStyle(int style);

// A box without a title of its own shows the program's title.
std::string MessageBoxTitle(const std::string& title);

}  // namespace app
