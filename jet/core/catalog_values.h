#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "jet/core/value.h"

namespace jet {

// Values of system-table rows, read leniently: any integer width counts as a number, and a
// value of an unexpected type (a damaged row) reads as absent instead of raising.

inline int32_t AsInt32(const Value& value) {
  if (const auto* v = std::get_if<int32_t>(&value)) return *v;
  if (const auto* v = std::get_if<int16_t>(&value)) return *v;
  if (const auto* v = std::get_if<uint8_t>(&value)) return *v;
  return 0;
}

inline std::optional<std::string> AsText(const Value& value) {
  if (const auto* v = std::get_if<std::string>(&value)) return *v;
  return std::nullopt;
}

inline std::optional<std::vector<uint8_t>> AsBytes(const Value& value) {
  if (const auto* v = std::get_if<Binary>(&value)) return v->bytes;
  if (const auto* v = std::get_if<std::string>(&value)) return std::vector<uint8_t>(v->begin(), v->end());
  return std::nullopt;
}

}  // namespace jet
