#pragma once

#include <cstdint>
#include <string>

#include "util/platform.h"

namespace util {

// What FileErrors says the caller should do.
inline constexpr int16_t kFileErrorRetry = 0;
inline constexpr int16_t kFileErrorIgnore = 1;
inline constexpr int16_t kFileErrorGiveUp = 2;
inline constexpr int16_t kFileErrorNoMessage = 3;

// Shows the Italian message for a platform file error (titled "Errori su  " + the file, or its
// folder for a path not found) and maps the answer; numbers without a message show nothing.
int16_t FileErrors(Platform& platform, int16_t errVal, std::string N_filename);

}  // namespace util
