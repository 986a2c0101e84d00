#include "jet/query/property_value.h"

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/query/blob_text.h"

namespace jet {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

[[noreturn]] void ThrowWrongType(const StoredProperty& property, const char* wanted) {
  ThrowCorrupt("property " + property.name + " of type " + std::to_string(property.type) + " read as " + wanted);
}

// Jet 4 may store text compressed: a FF FE mark, then runs of single bytes (the low byte of
// each character) and of two-byte characters, a zero byte switching from one to the other.
std::vector<uint8_t> ExpandCompressedText(std::span<const uint8_t> bytes) {
  std::vector<uint8_t> ucs2;
  bool compressed = true;
  for (size_t at = 2; at < bytes.size();) {
    if (bytes[at] == 0) {
      compressed = !compressed;
      ++at;
    } else if (compressed) {
      ucs2.push_back(bytes[at++]);
      ucs2.push_back(0);
    } else {
      if (at + 1 >= bytes.size()) ThrowCorrupt("compressed text ends inside a character");
      ucs2.push_back(bytes[at]);
      ucs2.push_back(bytes[at + 1]);
      at += 2;
    }
  }
  return ucs2;
}

}  // namespace

const StoredProperty* FindProperty(const PropertyGroup& group, const std::string& name) {
  for (const auto& property : group.properties) {
    if (SameName(property.name, name)) return &property;
  }
  return nullptr;
}

std::string PropertyText(const StoredProperty& property, Format format, uint16_t code_page) {
  if (property.type != dao_type::kText && property.type != dao_type::kMemo) ThrowWrongType(property, "text");
  const auto& v = property.value;
  if (format == Format::kJet4 && v.size() >= 2 && v[0] == 0xFF && v[1] == 0xFE) {
    return DecodeBlobText(ExpandCompressedText(v), format);
  }
  return DecodeBlobText(v, format, code_page);
}

bool PropertyBool(const StoredProperty& property) {
  if (property.type != dao_type::kBoolean || property.value.size() != 1) ThrowWrongType(property, "boolean");
  return property.value[0] != 0;
}

int64_t PropertyInteger(const StoredProperty& property) {
  const ByteReader reader(property.value, "property value");
  switch (property.type) {
    case dao_type::kByte:
      if (reader.size() == 1) return reader.U8(0);
      break;
    case dao_type::kInteger:
      if (reader.size() == 2) return reader.I16(0);
      break;
    case dao_type::kLong:
      if (reader.size() == 4) return reader.I32(0);
      break;
    default:
      break;
  }
  ThrowWrongType(property, "integer");
}

StoredProperty TextProperty(const std::string& name, const std::string& utf8, Format format, uint16_t code_page) {
  StoredProperty property;
  property.name = name;
  property.type = dao_type::kText;
  property.value = EncodeBlobText(utf8, format, code_page);
  return property;
}

StoredProperty BoolProperty(const std::string& name, bool value) {
  StoredProperty property;
  property.name = name;
  property.type = dao_type::kBoolean;
  property.value = {static_cast<uint8_t>(value ? 1 : 0)};
  return property;
}

}  // namespace jet
