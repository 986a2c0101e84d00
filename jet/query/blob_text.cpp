#include "jet/query/blob_text.h"

#include "jet/common/error.h"
#include "jet/common/text_codec.h"

namespace jet {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

[[noreturn]] void ThrowUnstorable(const std::string& text) {
  throw Error(err::kNameInvalid, "'" + text + "' holds characters a property blob cannot store.");
}

std::vector<char32_t> Utf8CodePoints(const std::string& text) {
  std::vector<char32_t> points;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : 4;
    if (extra == 4 || i + extra >= text.size()) ThrowUnstorable(text);
    char32_t c = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) ThrowUnstorable(text);
      c = (c << 6) | (next & 0x3F);
    }
    const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) ThrowUnstorable(text);
    points.push_back(c);
    i += extra + 1;
  }
  return points;
}

}  // namespace

std::string DecodeBlobText(std::span<const uint8_t> bytes, Format format, uint16_t code_page) {
  // Every byte of a supported code page has a character, so only an unknown page can fail.
  if (format == Format::kJet3) return DecodeJet3Text(bytes, code_page);
  std::string out;
  if (bytes.size() % 2 != 0) ThrowCorrupt("text of odd length in a property blob");
  for (size_t i = 0; i < bytes.size(); i += 2) {
    char32_t unit = bytes[i] | (bytes[i + 1] << 8);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      char32_t low = bytes[i + 2] | (bytes[i + 3] << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit < 0xE000) ThrowCorrupt("unpaired surrogate in a property blob text");
    AppendUtf8(out, unit);
  }
  return out;
}

std::vector<uint8_t> EncodeBlobText(const std::string& utf8, Format format, uint16_t code_page) {
  const std::vector<char32_t> points = Utf8CodePoints(utf8);  // validates the UTF-8 first
  if (format == Format::kJet3) {
    if (FirstCharacterNotInCodePage(utf8, code_page)) ThrowUnstorable(utf8);
    return EncodeJet3Text(utf8, code_page);
  }
  std::vector<uint8_t> out;
  for (char32_t c : points) {
    auto put = [&out](char32_t unit) {
      out.push_back(static_cast<uint8_t>(unit));
      out.push_back(static_cast<uint8_t>(unit >> 8));
    };
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  return out;
}

}  // namespace jet
