#pragma once

#include <string>

// What the shared helpers need of the platform: message boxes with the numeric styles and
// answers of the original program (styles 0, 16, 36, 48, 53, 292; answers 1 OK .. 7 No), the
// window's mouse pointer, and a turn of the event queue.
namespace util {

inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerHourglass = 11;

class Platform {
 public:
  virtual ~Platform() = default;
  // An empty title shows the program's title.
  virtual int MessageBox(const std::string& text, int style, const std::string& title) = 0;
  virtual void SetMousePointer(int pointer) = 0;
  virtual void DoEvents() = 0;
};

}  // namespace util
