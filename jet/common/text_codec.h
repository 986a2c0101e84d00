#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/common/format.h"

namespace jet {

namespace codec_err {
// Text that cannot be stored as asked (not UTF-8, or a character the code page lacks).
inline constexpr int32_t kDataTypeConversion = 3421;  // "Data type conversion error."
}  // namespace codec_err

// Jet 4 text as stored: plain UCS-2LE, or the compressed form that starts with FF FE. The
// result is UTF-8; a lone surrogate becomes U+FFFD because UTF-8 cannot carry it.
std::string DecodeJet4Text(std::span<const uint8_t> stored);

// The UTF-16 units of Jet 4 stored text, into `units`: what DecodeJet4Text reads, before UTF-8.
// False when they hold a lone surrogate, which DecodeJet4Text turns into U+FFFD, so that a
// copy made from the units would differ from one made through UTF-8. Raises a
// corrupt-database error as DecodeJet4Text does.
bool StoredJet4TextUnits(std::span<const uint8_t> stored, std::u16string& units);

// Appends to `out` what EncodeJet4Text stores for the text whose units are `units`.
void AppendJet4Text(std::u16string_view units, bool column_compresses, std::vector<uint8_t>& out);

// Whether Access would store `utf8` compressed in a column whose compression setting is
// `column_compresses`. See text_codec.cpp for the rule and why it is the safe one.
bool Jet4CompressionApplies(std::string_view utf8, bool column_compresses);

// The bytes Access stores for `utf8` in a Jet 4 text or memo column. Raises
// codec_err::kDataTypeConversion for input that is not UTF-8.
std::vector<uint8_t> EncodeJet4Text(std::string_view utf8, bool column_compresses);

// Jet 3 text: one byte per character in a Windows single-byte code page. Code pages known:
// 1250, 1251, 1252, 1253, 1254, 1257; any other raises err::kUnrecognizedFormat.
std::string DecodeJet3Text(std::span<const uint8_t> stored, uint16_t code_page);

// Raises codec_err::kDataTypeConversion for a character the code page has no byte for.
std::vector<uint8_t> EncodeJet3Text(std::string_view utf8, uint16_t code_page);

bool IsSupportedCodePage(uint16_t code_page);

// The first character of `utf8` the code page has no byte for, or nothing when Jet 3 can
// store the whole text. Raises codec_err::kDataTypeConversion for input that is not UTF-8.
std::optional<char32_t> FirstCharacterNotInCodePage(std::string_view utf8, uint16_t code_page);

// Text stored in `format`: chooses the decoder above.
std::string DecodeText(std::span<const uint8_t> stored, Format format, uint16_t code_page);

// UTF-8 <-> UTF-16 with validation; shared by the encoders and by callers that count
// characters the way Access does (in UTF-16 units).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view units);
// How many UTF-16 units Utf8ToUtf16 gives for `utf8`, without building them; `utf8` must be
// valid (as text already encoded for a row is).
size_t Utf16Length(std::string_view utf8);

}  // namespace jet
