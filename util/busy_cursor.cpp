#include "util/busy_cursor.h"

namespace util {
namespace {

void SetPointer(Platform& platform, int pointer) {
  try {
    platform.SetMousePointer(pointer);
    platform.DoEvents();
  } catch (...) {
    // The pointer is a courtesy: work goes on without it.
  }
}

}  // namespace

void BusyCursorOn(Platform& platform) { SetPointer(platform, kPointerHourglass); }
void BusyCursorOff(Platform& platform) { SetPointer(platform, kPointerDefault); }

}  // namespace util
