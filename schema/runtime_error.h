#pragma once

#include <cstdint>
#include <string>

#include "jet/common/error.h"

namespace schema {

// The program's own runtime errors keep the numbers the original platform gives them, and
// travel as the same error type as the engine's, so that a pass's one handler sees both.
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kSubscriptOutOfRange = 9;

[[noreturn]] inline void RaiseOverflow() { throw jet::Error(kOverflow, "Overflow"); }
[[noreturn]] inline void RaiseSubscriptOutOfRange() { throw jet::Error(kSubscriptOutOfRange, "Subscript out of range"); }

// 16-bit counters and positions: arithmetic that leaves the 16-bit range raises Overflow.
inline int16_t CheckedInt16(int64_t value) {
  if (value < INT16_MIN || value > INT16_MAX) RaiseOverflow();
  return static_cast<int16_t>(value);
}
inline int16_t Add16(int16_t a, int64_t b) { return CheckedInt16(int64_t{a} + b); }

}  // namespace schema
