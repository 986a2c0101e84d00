#pragma once

// Text keys in Access's "General" sort order, the order its indexes keep text in.

#include <cstdint>
#include <string_view>
#include <vector>

#include "jet/common/format.h"

namespace jet {

// The value bytes (without the column's flag byte) of `utf8` in an ascending index.
std::vector<uint8_t> GeneralTextKey(std::string_view utf8, Format format);

}  // namespace jet
