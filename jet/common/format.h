#pragma once

#include <cstdint>

namespace jet {

// The two on-disk formats the engine handles.
enum class Format : uint8_t {
  kJet3,  // Access 97: 2048-byte pages, single-byte text in the database's code page
  kJet4,  // Access 2000-2003: 4096-byte pages, UCS-2 text, optionally compressed
};

inline constexpr uint32_t PageSizeOf(Format format) { return format == Format::kJet3 ? 2048 : 4096; }

}  // namespace jet
