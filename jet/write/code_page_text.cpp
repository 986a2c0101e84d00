#include "jet/write/code_page_text.h"

#include <cstdio>

#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/query/property_blob.h"
#include "jet/query/property_value.h"

namespace jet {
namespace {

constexpr int32_t kDataTypeConversion = 3421;

// Whether the text holds a character the code page lacks, and the explanation if so.
bool Unstorable(const std::string& text, Format format, uint16_t code_page, std::string& why) {
  if (format != Format::kJet3) return false;
  const std::optional<char32_t> missing = FirstCharacterNotInCodePage(text, code_page);
  if (!missing) return false;
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(*missing));
  why = "this Access 97 (Jet 3) database keeps text in code page " + std::to_string(code_page) +
        ", which has no character " + code;
  return true;
}

// A blob's own format, from its signature; `fallback` for anything else (the parser then
// refuses it as damaged).
Format BlobFormat(const std::vector<uint8_t>& blob, Format fallback) {
  if (blob.size() >= 4 && blob[0] == 'M' && blob[1] == 'R' && blob[2] == '2' && blob[3] == 0) return Format::kJet4;
  if (blob.size() >= 4 && blob[0] == 'K' && blob[1] == 'K' && blob[2] == 'D' && blob[3] == 0) return Format::kJet3;
  return fallback;
}

}  // namespace

void CheckNameStorable(const std::string& name, const std::string& what, Format format, uint16_t code_page) {
  std::string why;
  if (Unstorable(name, format, code_page, why))
    throw Error(err::kNameInvalid, "'" + name + "' is not a valid name for " + what + ": " + why + ".");
}

void CheckTextStorable(const std::string& text, const std::string& what, Format format, uint16_t code_page) {
  std::string why;
  if (Unstorable(text, format, code_page, why))
    throw Error(kDataTypeConversion, "Data type conversion error: " + what + " ('" + text + "') cannot be stored, as " +
                                         why + ".");
}

std::vector<uint8_t> PropertyBlobFor(const std::vector<uint8_t>& blob, uint16_t source_code_page, Format format,
                                     uint16_t code_page, const std::string& owner) {
  if (blob.empty()) return blob;
  const Format from = BlobFormat(blob, format);
  // Jet 4 blobs hold UTF-16; Jet 3 ones bytes of their database's code page, which only
  // carry over unchanged between databases of the same code page.
  if (from == format && (format == Format::kJet4 || source_code_page == code_page)) return blob;
  PropertyBlob parsed = ParsePropertyBlob(blob, from);
  for (const std::string& name : parsed.names) CheckNameStorable(name, "a property of " + owner, format, code_page);
  for (PropertyGroup& group : parsed.groups) {
    CheckNameStorable(group.target, "a property target of " + owner, format, code_page);
    for (StoredProperty& property : group.properties) {
      if (property.type != dao_type::kText && property.type != dao_type::kMemo) continue;
      const std::string text = PropertyText(property, from, source_code_page);
      CheckTextStorable(text, "the property " + property.name + " of " + owner, format, code_page);
      const StoredProperty converted = TextProperty(property.name, text, format, code_page);
      property.value = converted.value;
    }
  }
  return EncodePropertyBlob(parsed, format, code_page);
}

}  // namespace jet
