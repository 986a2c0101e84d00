#include "app/message_box_style.h"

#include <algorithm>

namespace app {

MessageBoxLayout DecodeMessageBoxStyle(int style) {
  MessageBoxLayout box;
  switch (style & 0x7) {
    case 1: box.answers = {1, 2}; break;
    case 2: box.answers = {3, 4, 5}; break;
    case 3: box.answers = {6, 7, 2}; break;
    case 4: box.answers = {6, 7}; break;
    case 5: box.answers = {4, 2}; break;
    default: box.answers = {1}; break;  // 0, and the codes the platform does not define
  }
  switch (style & 0x70) {
    case 16: box.icon = MessageIcon::kCritical; break;
    case 32: box.icon = MessageIcon::kQuestion; break;
    case 48: box.icon = MessageIcon::kExclamation; break;
    case 64: box.icon = MessageIcon::kInformation; break;
    default: break;
  }
  // A default beyond the last button falls back to the first, as the platform does.
  const size_t default_index = static_cast<size_t>((style & 0x300) >> 8);
  box.default_answer = box.answers[default_index < box.answers.size() ? default_index : 0];
  // Closing the box answers Cancel where there is one; Yes/No and Abort/Retry/Ignore cannot
  // be closed that way on the platform, so the safe answer stands in: No, Abort.
  auto has = [&](int answer) { return std::find(box.answers.begin(), box.answers.end(), answer) != box.answers.end(); };
  if (has(2)) box.escape_answer = 2;
  else if (has(7)) box.escape_answer = 7;
  else box.escape_answer = box.answers.front();
  return box;
}

std::string MessageBoxTitle(const std::string& title) { return title.empty() ? kProgramTitle : title; }

}  // namespace app
