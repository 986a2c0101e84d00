#include "jet/common/text_codec.h"

#include <algorithm>
#include <cstdio>

#include "jet/common/error.h"

namespace jet {
namespace {

// Bytes 0x80-0xFF of each code page. Bytes a code page leaves undefined map to the C1
// control of the same number, as Windows converts them, so that every stored byte survives a
// read and a write unchanged.
constexpr char16_t kCp1250High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

constexpr char16_t kCp1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr char16_t kCp1252High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

constexpr char16_t kCp1253High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x008A, 0x2039, 0x008C, 0x008D, 0x008E, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x009A, 0x203A, 0x009C, 0x009D, 0x009E, 0x009F,
    0x00A0, 0x0385, 0x0386, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x2015,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x0384, 0x00B5, 0x00B6, 0x00B7,
    0x0388, 0x0389, 0x038A, 0x00BB, 0x038C, 0x00BD, 0x038E, 0x038F,
    0x0390, 0x0391, 0x0392, 0x0393, 0x0394, 0x0395, 0x0396, 0x0397,
    0x0398, 0x0399, 0x039A, 0x039B, 0x039C, 0x039D, 0x039E, 0x039F,
    0x03A0, 0x03A1, 0x00D2, 0x03A3, 0x03A4, 0x03A5, 0x03A6, 0x03A7,
    0x03A8, 0x03A9, 0x03AA, 0x03AB, 0x03AC, 0x03AD, 0x03AE, 0x03AF,
    0x03B0, 0x03B1, 0x03B2, 0x03B3, 0x03B4, 0x03B5, 0x03B6, 0x03B7,
    0x03B8, 0x03B9, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BE, 0x03BF,
    0x03C0, 0x03C1, 0x03C2, 0x03C3, 0x03C4, 0x03C5, 0x03C6, 0x03C7,
    0x03C8, 0x03C9, 0x03CA, 0x03CB, 0x03CC, 0x03CD, 0x03CE, 0x00FF,
};

constexpr char16_t kCp1254High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x008E, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x011E, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x0130, 0x015E, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x011F, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x0131, 0x015F, 0x00FF,
};

constexpr char16_t kCp1257High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x008A, 0x2039, 0x008C, 0x00A8, 0x02C7, 0x00B8,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x009A, 0x203A, 0x009C, 0x00AF, 0x02DB, 0x009F,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00D8, 0x00A9, 0x0156, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00C6,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00F8, 0x00B9, 0x0157, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00E6,
    0x0104, 0x012E, 0x0100, 0x0106, 0x00C4, 0x00C5, 0x0118, 0x0112,
    0x010C, 0x00C9, 0x0179, 0x0116, 0x0122, 0x0136, 0x012A, 0x013B,
    0x0160, 0x0143, 0x0145, 0x00D3, 0x014C, 0x00D5, 0x00D6, 0x00D7,
    0x0172, 0x0141, 0x015A, 0x016A, 0x00DC, 0x017B, 0x017D, 0x00DF,
    0x0105, 0x012F, 0x0101, 0x0107, 0x00E4, 0x00E5, 0x0119, 0x0113,
    0x010D, 0x00E9, 0x017A, 0x0117, 0x0123, 0x0137, 0x012B, 0x013C,
    0x0161, 0x0144, 0x0146, 0x00F3, 0x014D, 0x00F5, 0x00F6, 0x00F7,
    0x0173, 0x0142, 0x015B, 0x016B, 0x00FC, 0x017C, 0x017E, 0x02D9,
};

const char16_t* HighHalfOf(uint16_t code_page) {
  switch (code_page) {
    case 1250: return kCp1250High;
    case 1251: return kCp1251High;
    case 1252: return kCp1252High;
    case 1253: return kCp1253High;
    case 1254: return kCp1254High;
    case 1257: return kCp1257High;
    default: return nullptr;
  }
}

const char16_t* CheckedHighHalf(uint16_t code_page) {
  const char16_t* table = HighHalfOf(code_page);
  if (table == nullptr) {
    throw Error(err::kUnrecognizedFormat, "Text in code page " + std::to_string(code_page) + " is not supported.");
  }
  return table;
}

[[noreturn]] void ThrowConversion(const std::string& detail) {
  throw Error(codec_err::kDataTypeConversion, "Data type conversion error: " + detail + ".");
}

std::string CodePointName(char32_t c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
  return buffer;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The code point that starts at utf8[i], refusing overlong forms, surrogates and truncation;
// `i` moves past it.
char32_t NextCodePoint(std::string_view utf8, size_t& i) {
  const auto lead = static_cast<uint8_t>(utf8[i]);
  int extra = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    c = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07, minimum = 0x10000;
  } else {
    ThrowConversion("text is not valid UTF-8");
  }
  if (utf8.size() - i <= static_cast<size_t>(extra)) ThrowConversion("text is not valid UTF-8");
  for (int k = 1; k <= extra; ++k) {
    const auto next = static_cast<uint8_t>(utf8[i + k]);
    if ((next & 0xC0) != 0x80) ThrowConversion("text is not valid UTF-8");
    c = (c << 6) | (next & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) ThrowConversion("text is not valid UTF-8");
  i += static_cast<size_t>(extra) + 1;
  return c;
}

std::u32string Utf8ToCodePoints(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) out += NextCodePoint(utf8, i);
  return out;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  if (IsAscii(utf8)) {  // most stored text: no decoding needed
    out.resize(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) out[i] = static_cast<char16_t>(utf8[i]);
    return out;
  }
  out.reserve(utf8.size());
  // Decoded straight into the units: every text key of an index over text comes this way.
  for (size_t i = 0; i < utf8.size();) {
    char32_t c = NextCodePoint(utf8, i);
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
  }
  return out;
}

size_t Utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (char c : utf8) {
    const auto byte = static_cast<uint8_t>(c);
    if ((byte & 0xC0) != 0x80) ++units;  // each character's first byte
    if (byte >= 0xF0) ++units;           // beyond the BMP: a surrogate pair
  }
  return units;
}

std::string Utf16ToUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

namespace {

// The UTF-16 units of Jet 4 stored text, appended to `units`.
void StoredUnits(std::span<const uint8_t> stored, bool compressed, std::u16string& units) {
  if (compressed) {
    // Compressed: runs of one-byte characters (U+0001-U+00FF) and of UCS-2 units, each 0x00
    // byte switching between them; the stream starts with a one-byte run.
    units.reserve(stored.size());
    bool one_byte = true;
    size_t i = 2;
    while (i < stored.size()) {
      if (stored[i] == 0x00) {
        one_byte = !one_byte;
        ++i;
      } else if (one_byte) {
        units += static_cast<char16_t>(stored[i]);
        ++i;
      } else {
        if (i + 1 >= stored.size()) ThrowCorrupt("compressed text ends inside a character");
        units += static_cast<char16_t>(stored[i] | (stored[i + 1] << 8));
        i += 2;
      }
    }
  } else {
    if (stored.size() % 2 != 0) ThrowCorrupt("UCS-2 text of odd length " + std::to_string(stored.size()));
    units.reserve(stored.size() / 2);
    for (size_t i = 0; i < stored.size(); i += 2) units += static_cast<char16_t>(stored[i] | (stored[i + 1] << 8));
  }
}

}  // namespace

std::string DecodeJet4Text(std::span<const uint8_t> stored) {
  std::u16string units;
  const bool compressed = stored.size() >= 2 && stored[0] == 0xFF && stored[1] == 0xFE;
  // Object names and most short texts are ASCII: every catalog name takes this way, so it
  // copies bytes without building UTF-16 first.
  if (compressed && std::all_of(stored.begin() + 2, stored.end(), [](uint8_t b) { return b != 0 && b < 0x80; }))
    return std::string(stored.begin() + 2, stored.end());
  if (!compressed && stored.size() % 2 == 0) {
    bool ascii = true;
    for (size_t i = 0; i < stored.size() && ascii; i += 2) ascii = stored[i] < 0x80 && stored[i + 1] == 0;
    if (ascii) {
      std::string out(stored.size() / 2, '\0');
      for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char>(stored[2 * i]);
      return out;
    }
  }
  if (compressed && std::find(stored.begin() + 2, stored.end(), uint8_t{0}) == stored.end()) {
    // One run of one-byte characters, as Access compresses most text: Latin-1 straight to UTF-8,
    // into a string sized once (a rebuild decodes every text of every row this way).
    const auto high = static_cast<size_t>(
        std::count_if(stored.begin() + 2, stored.end(), [](uint8_t b) { return b >= 0x80; }));
    std::string out(stored.size() - 2 + high, '\0');
    size_t at = 0;
    for (size_t i = 2; i < stored.size(); ++i) {
      const uint8_t b = stored[i];
      if (b < 0x80) {
        out[at++] = static_cast<char>(b);
      } else {
        out[at++] = static_cast<char>(0xC0 | (b >> 6));
        out[at++] = static_cast<char>(0x80 | (b & 0x3F));
      }
    }
    return out;
  }
  StoredUnits(stored, compressed, units);
  return Utf16ToUtf8(units);
}

// Access compresses only where the column asks for it, and then only when every character
// fits one byte, none is U+0000 (the byte that would switch modes), and the result is shorter
// than plain UCS-2, i.e. from three characters on (marker + n bytes < 2n). It never
// compresses more than 1024 characters. Access can also write mixed runs, but when it
// chooses them is not known, so this encoder writes either the whole string compressed or
// none of it; every reader handles both. Memo values follow their own rule (row_encoder.cpp).
namespace {

bool CompressionApplies(std::u16string_view units, bool column_compresses) {
  if (!column_compresses) return false;
  if (units.size() < 3 || units.size() > 1024) return false;
  return std::none_of(units.begin(), units.end(), [](char16_t u) { return u == 0 || u > 0xFF; });
}

}  // namespace

bool Jet4CompressionApplies(std::string_view utf8, bool column_compresses) {
  return column_compresses && CompressionApplies(Utf8ToUtf16(utf8), column_compresses);
}

bool StoredJet4TextUnits(std::span<const uint8_t> stored, std::u16string& units) {
  units.clear();
  StoredUnits(stored, stored.size() >= 2 && stored[0] == 0xFF && stored[1] == 0xFE, units);
  // A lone surrogate reads as U+FFFD through UTF-8; the caller must take that way to agree.
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u < 0xD800 || u > 0xDFFF) continue;
    if (u > 0xDBFF || i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
    ++i;
  }
  return true;
}

void AppendJet4Text(std::u16string_view units, bool column_compresses, std::vector<uint8_t>& out) {
  if (CompressionApplies(units, column_compresses)) {
    out.reserve(out.size() + units.size() + 2);
    out.push_back(0xFF);
    out.push_back(0xFE);
    for (char16_t u : units) out.push_back(static_cast<uint8_t>(u));
    return;
  }
  out.reserve(out.size() + units.size() * 2 + 3);
  if (!units.empty() && units[0] == 0xFEFF) {
    // Stored plain, this text would begin with the compression marker and read back as
    // something else. Written as the marker followed by a single UCS-2 run it reads back
    // right, provided no unit has a zero low byte (which would end the run).
    for (char16_t u : units) {
      if ((u & 0xFF) == 0) ThrowConversion("text starting with U+FEFF and holding " + CodePointName(u) + " cannot be stored");
    }
    for (uint8_t marker : {0xFF, 0xFE, 0x00}) out.push_back(marker);
  }
  const size_t at = out.size();
  out.resize(at + 2 * units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    out[at + 2 * i] = static_cast<uint8_t>(units[i]);
    out[at + 2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
  }
}

std::vector<uint8_t> EncodeJet4Text(std::string_view utf8, bool column_compresses) {
  std::vector<uint8_t> out;
  AppendJet4Text(Utf8ToUtf16(utf8), column_compresses, out);
  return out;
}

bool IsSupportedCodePage(uint16_t code_page) { return HighHalfOf(code_page) != nullptr; }

std::string DecodeJet3Text(std::span<const uint8_t> stored, uint16_t code_page) {
  const char16_t* high = CheckedHighHalf(code_page);
  std::string out;
  out.reserve(stored.size());
  for (uint8_t b : stored) AppendUtf8(out, b < 0x80 ? char32_t{b} : char32_t{high[b - 0x80]});
  return out;
}

std::vector<uint8_t> EncodeJet3Text(std::string_view utf8, uint16_t code_page) {
  const char16_t* high = CheckedHighHalf(code_page);
  std::vector<uint8_t> out;
  out.reserve(utf8.size());
  for (char32_t c : Utf8ToCodePoints(utf8)) {
    if (c < 0x80) {
      out.push_back(static_cast<uint8_t>(c));
      continue;
    }
    int found = -1;
    for (int k = 0; k < 128 && found < 0; ++k) {
      if (high[k] == c) found = k;
    }
    if (found < 0) {
      ThrowConversion("character " + CodePointName(c) + " has no byte in code page " + std::to_string(code_page));
    }
    out.push_back(static_cast<uint8_t>(0x80 + found));
  }
  return out;
}

std::optional<char32_t> FirstCharacterNotInCodePage(std::string_view utf8, uint16_t code_page) {
  const char16_t* high = CheckedHighHalf(code_page);
  for (char32_t c : Utf8ToCodePoints(utf8)) {
    if (c < 0x80) continue;
    if (std::find(high, high + 128, c) == high + 128) return c;
  }
  return std::nullopt;
}

std::string DecodeText(std::span<const uint8_t> stored, Format format, uint16_t code_page) {
  return format == Format::kJet3 ? DecodeJet3Text(stored, code_page) : DecodeJet4Text(stored);
}

}  // namespace jet
