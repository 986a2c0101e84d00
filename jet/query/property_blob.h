#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/common/format.h"
#include "jet/query/blob_text.h"

namespace jet {

// One property as stored in an object's property blob (MSysObjects.LvProp).
struct StoredProperty {
  std::string name;
  uint8_t type = 0;             // DAO type of the value (1 Boolean, 10 Text, 12 Memo, ...)
  uint8_t ddl_flag = 0;         // set for properties created by DDL / the engine
  std::vector<uint8_t> value;   // value bytes as stored (text in the blob's text encoding)
};

// The properties of one target inside the blob: the object itself (its own name) or one of
// its columns (the column's name).
struct PropertyGroup {
  std::string target;
  std::vector<StoredProperty> properties;
  // The kind of the group's chunk as stored: 0 for the object's own group, 1 for a column's.
  uint16_t chunk_type = 0;
};

struct PropertyBlob {
  std::vector<PropertyGroup> groups;
  // The property names in the order the blob lists them; properties refer to names by their
  // place here. Names used by a group but missing here are appended when the blob is encoded.
  std::vector<std::string> names;
};

// Parses a property blob; raises a corrupt-database error for a blob that does not fit.
// Names and targets come out as UTF-8.
PropertyBlob ParsePropertyBlob(std::span<const uint8_t> blob, Format format, uint16_t code_page = kWesternCodePage);

// The same blob bytes Access would store for these groups.
std::vector<uint8_t> EncodePropertyBlob(const PropertyBlob& blob, Format format, uint16_t code_page = kWesternCodePage);

}  // namespace jet
