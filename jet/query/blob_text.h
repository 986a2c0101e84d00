#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/common/format.h"

namespace jet {

// Text inside property blobs is UCS-2 in Jet 4 and, in Jet 3, one byte a character in the
// database's code page (the header's; 1252 in Western Europe). Both directions are lossless
// for every text Access can store, so a blob read and written back keeps its bytes. Text
// that cannot be represented raises a corrupt-database error when read and a name-invalid
// error when written.
inline constexpr uint16_t kWesternCodePage = 1252;
std::string DecodeBlobText(std::span<const uint8_t> bytes, Format format, uint16_t code_page = kWesternCodePage);
std::vector<uint8_t> EncodeBlobText(const std::string& utf8, Format format, uint16_t code_page = kWesternCodePage);

}  // namespace jet
