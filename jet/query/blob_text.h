#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/common/format.h"

namespace jet {

// Text inside property blobs and query rows is UCS-2 in Jet 4 and code page 1252 in Jet 3.
// Both directions are lossless for every text Access can store, so a blob read and written
// back keeps its bytes. Text that cannot be represented raises a corrupt-database error when
// read and a name-invalid error when written.
std::string DecodeBlobText(std::span<const uint8_t> bytes, Format format);
std::vector<uint8_t> EncodeBlobText(const std::string& utf8, Format format);

}  // namespace jet
