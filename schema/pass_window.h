#pragma once

#include <cstdint>
#include <string>

// What a pass needs of the window: the run log, message boxes, the busy pointer and the event
// queue. The Qt window, the console front end and the tests' double each implement it.
namespace schema {

inline constexpr uint32_t kRunLogPaleRed = 0xF0F0FF;    // &H00F0F0FF&: while working, after a failure
inline constexpr uint32_t kRunLogPaleGreen = 0xF0FFF0;  // &H00F0FFF0&: after success

class PassWindow {
 public:
  virtual ~PassWindow() = default;
  virtual void RunLogSetBackColor(uint32_t bgr) = 0;
  virtual void RunLogClear() = 0;
  // Appends a line at the end and repaints the run log at once.
  virtual void RunLogAddItem(const std::string& line) = 0;
  // Style and answer are the platform's numbers (0, 16, 36, 292, 48, 53; answers 1-7); an
  // empty title shows the program's title.
  virtual int MessageBox(const std::string& text, int style, const std::string& title) = 0;
  virtual void BusyCursorOn() = 0;
  virtual void BusyCursorOff() = 0;
  virtual void DoEvents() = 0;
};

}  // namespace schema
