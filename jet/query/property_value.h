#pragma once

#include <cstdint>
#include <string>

#include "jet/common/format.h"
#include "jet/query/property_blob.h"

namespace jet {

// DAO type numbers a property value carries.
namespace dao_type {
inline constexpr uint8_t kBoolean = 1;
inline constexpr uint8_t kByte = 2;
inline constexpr uint8_t kInteger = 3;
inline constexpr uint8_t kLong = 4;
inline constexpr uint8_t kText = 10;
inline constexpr uint8_t kMemo = 12;
}  // namespace dao_type

// The property of that name in the group (names compare without regard to ASCII case, as Jet
// names do), or nullptr.
const StoredProperty* FindProperty(const PropertyGroup& group, const std::string& name);

// Typed views of a value. Each raises a corrupt-database error when the stored type or size
// does not fit what is asked, so a damaged value is never read past its end.
std::string PropertyText(const StoredProperty& property, Format format, uint16_t code_page = kWesternCodePage);  // Text or Memo -> UTF-8
bool PropertyBool(const StoredProperty& property);
int64_t PropertyInteger(const StoredProperty& property);  // Byte, Integer or Long

// Values as Access stores them for new properties.
StoredProperty TextProperty(const std::string& name, const std::string& utf8, Format format,
                            uint16_t code_page = kWesternCodePage);
StoredProperty BoolProperty(const std::string& name, bool value);

}  // namespace jet
