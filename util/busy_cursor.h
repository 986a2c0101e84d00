#pragma once

#include "util/platform.h"

namespace util {

// The hourglass while work runs, painted at once; failures of the platform are ignored.
void BusyCursorOn(Platform& platform);
void BusyCursorOff(Platform& platform);

}  // namespace util
