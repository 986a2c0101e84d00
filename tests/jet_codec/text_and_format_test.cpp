#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/core/value_format.h"
#include "tests/jet_codec/row_images.h"

namespace jet {
namespace {

using vantrel::test::Bytes;

int32_t ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.number();
  }
  return 0;
}

TEST(Jet4Text, PlainCompressedAndMixedRuns) {
  EXPECT_EQ(DecodeJet4Text(Bytes({'a', 0})), "a");
  EXPECT_EQ(DecodeJet4Text(Bytes({0xFF, 0xFE, 'a', 'b', 'c'})), "abc");
  // One-byte run, switch, a UCS-2 run (Cyrillic Zhe, L with stroke), switch back, one-byte run.
  EXPECT_EQ(DecodeJet4Text(Bytes({0xFF, 0xFE, 'x', 0, 0x16, 0x04, 0x41, 0x01, 0, 'y'})), "x\xD0\x96\xC5\x81y");
  EXPECT_EQ(DecodeJet4Text(Bytes({0xFF, 0xFE, 0xE9})), "\xC3\xA9");  // Latin-1 as one byte
  EXPECT_EQ(DecodeJet4Text(Bytes({0x3D, 0xD8, 0x00, 0xDE})), "\xF0\x9F\x98\x80");  // surrogate pair
  EXPECT_EQ(DecodeJet4Text(Bytes({0x3D, 0xD8})), "\xEF\xBF\xBD");                 // lone surrogate
  EXPECT_EQ(ErrorNumberOf([] { DecodeJet4Text(Bytes({'a', 0, 'b'})); }), err::kCorrupt);
  EXPECT_EQ(ErrorNumberOf([] { DecodeJet4Text(Bytes({0xFF, 0xFE, 'a', 0, 0x41})); }), err::kCorrupt);
}

// ASCII text takes a shorter way than other text; both must read the same at the edges of
// ASCII, with NUL units, and with units whose high byte is set.
TEST(Jet4Text, AsciiAndOtherTextReadAlikeAtTheEdges) {
  EXPECT_EQ(DecodeJet4Text(Bytes({})), "");
  EXPECT_EQ(DecodeJet4Text(Bytes({0xFF, 0xFE})), "");
  EXPECT_EQ(DecodeJet4Text(Bytes({'A', 0, 0x7F, 0, 0, 0})), std::string("A\x7F\0", 3));
  EXPECT_EQ(DecodeJet4Text(Bytes({'A', 0, 0x80, 0})), "A\xC2\x80");
  EXPECT_EQ(DecodeJet4Text(Bytes({'A', 1, 'b', 0})), "\xC5\x81" "b");  // U+0141: a high byte, not ASCII
  EXPECT_EQ(DecodeJet4Text(Bytes({0xFF, 0xFE, 'a', 0x7F})), "a\x7F");
  EXPECT_EQ(DecodeJet4Text(Bytes({0xFF, 0xFE, 'a', 0x80})), "a\xC2\x80");
  EXPECT_EQ(DecodeJet4Text(Bytes({0xFF, 0xFE, 0xFF, 'z', 0xC0})), "\xC3\xBFz\xC3\x80");  // both ends of Latin-1
  EXPECT_EQ(DecodeJet4Text(Bytes({0xFF, 0xFE, 'a', 0, 'A', 0})), "aA");  // a switch to UCS-2 is no one-byte run
}

TEST(Jet4Text, UnitsAreCountedAsDecodingWouldCountThem) {
  // A text field's size is in UTF-16 units: one per BMP character, two beyond it.
  for (const char* text : {"", "abc", "\xC3\xA9t\xC3\xA9", "\xE4\xB8\xAD\xE6\x96\x87", "a\xF0\x9F\x98\x80" "b",
                           "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF"}) {
    EXPECT_EQ(jet::Utf16Length(text), jet::Utf8ToUtf16(text).size()) << text;
  }
}

TEST(Jet4Text, CompressesExactlyWhenAccessWould) {
  EXPECT_EQ(EncodeJet4Text("abcdefg", true), Bytes({0xFF, 0xFE, 'a', 'b', 'c', 'd', 'e', 'f', 'g'}));
  EXPECT_EQ(EncodeJet4Text("a", true), Bytes({'a', 0}));              // not shorter compressed
  EXPECT_EQ(EncodeJet4Text("ab", true), Bytes({'a', 0, 'b', 0}));     // equal length: plain
  EXPECT_EQ(EncodeJet4Text("abc", false), Bytes({'a', 0, 'b', 0, 'c', 0}));  // column says no
  EXPECT_EQ(EncodeJet4Text("\xC3\xA9t\xC3\xA9", true), Bytes({0xFF, 0xFE, 0xE9, 't', 0xE9}));
  EXPECT_FALSE(Jet4CompressionApplies("ab\xD0\x96", true));       // a character above U+00FF
  EXPECT_FALSE(Jet4CompressionApplies(std::string("a\0b", 3), true));  // U+0000 would switch runs
  EXPECT_TRUE(Jet4CompressionApplies(std::string(1024, 'x'), true));
  EXPECT_FALSE(Jet4CompressionApplies(std::string(1025, 'x'), true));
  for (const char* text : {"", "a", "abc", "Stra\xC3\x9F" "e", "\xE4\xB8\xAD\xE6\x96\x87", "\xF0\x9F\x98\x80 ok"}) {
    EXPECT_EQ(DecodeJet4Text(EncodeJet4Text(text, true)), text);
  }
  // Plain UCS-2 starting with U+FEFF would look compressed.
  EXPECT_EQ(DecodeJet4Text(EncodeJet4Text("\xEF\xBB\xBF" "ab", false)), "\xEF\xBB\xBF" "ab");
  EXPECT_EQ(ErrorNumberOf([] { EncodeJet4Text("\xEF\xBB\xBF\xC4\x80", false); }), codec_err::kDataTypeConversion);
  EXPECT_EQ(ErrorNumberOf([] { EncodeJet4Text("\xC3", true); }), codec_err::kDataTypeConversion);
  EXPECT_EQ(ErrorNumberOf([] { EncodeJet4Text("\xC0\x80", true); }), codec_err::kDataTypeConversion);  // overlong
  EXPECT_EQ(ErrorNumberOf([] { EncodeJet4Text("\xED\xA0\x80", true); }), codec_err::kDataTypeConversion);  // surrogate
}

TEST(Jet3Text, WindowsCodePages) {
  EXPECT_EQ(DecodeJet3Text(Bytes({'C', 'a', 'f', 0xE9, 0x80}), 1252), "Caf\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(DecodeJet3Text(Bytes({0xC6}), 1251), "\xD0\x96");   // Cyrillic Zhe
  // Bytes a code page leaves undefined survive a read and a write.
  EXPECT_EQ(EncodeJet3Text(DecodeJet3Text(Bytes({0x81, 0x8D}), 1252), 1252), Bytes({0x81, 0x8D}));
  for (uint16_t code_page : {1250, 1251, 1252, 1253, 1254, 1257}) {
    std::vector<uint8_t> every;
    for (int b = 1; b < 256; ++b) every.push_back(static_cast<uint8_t>(b));
    EXPECT_EQ(EncodeJet3Text(DecodeJet3Text(every, code_page), code_page), every) << code_page;
  }
  EXPECT_EQ(ErrorNumberOf([] { EncodeJet3Text("\xD0\x96", 1252); }), codec_err::kDataTypeConversion);
  EXPECT_EQ(ErrorNumberOf([] { DecodeJet3Text(Bytes({'a'}), 932); }), err::kUnrecognizedFormat);
  EXPECT_EQ(ErrorNumberOf([] { EncodeJet3Text("a", 65001); }), err::kUnrecognizedFormat);
}

TEST(ValueFormat, DatesIncludingBeforeTheEpoch) {
  EXPECT_EQ(FormatDateTime({27293.0}), "1974-09-21T00:00:00");
  EXPECT_EQ(FormatDateTime({-1.25}), "1899-12-29T06:00:00");  // day counts back, time forward
  EXPECT_EQ(FormatDateTime({-0.5}), "1899-12-30T12:00:00");
  EXPECT_EQ(FormatDateTime({-657434.0}), "0100-01-01T00:00:00");
  EXPECT_EQ(FormatDateTime({2958465.0 + 86399.0 / 86400}), "9999-12-31T23:59:59");
  EXPECT_EQ(FormatDateTime({60.0}), "1900-02-28T00:00:00");
  EXPECT_EQ(FormatDateTime({61.0}), "1900-03-01T00:00:00");  // 1900 is not a leap year
  EXPECT_EQ(FormatDateTime({40381.990403252}), "2010-07-22T23:46:10");  // .84 s is cut, as dumped
  EXPECT_EQ(FormatDateTime({1.0 - 1e-10}), "1899-12-31T00:00:00");     // a hair before midnight
  EXPECT_EQ(FormatDateTime({-1.0 - (1.0 - 1e-10)}), "1899-12-30T00:00:00");
  EXPECT_EQ(FormatDateTime({-657434.75}), "0100-01-01T18:00:00");
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e300,
                     -657435.0, 2958466.0}) {
    EXPECT_EQ(ErrorNumberOf([&] { FormatDateTime({bad}); }), codec_err::kDataTypeConversion);
  }
}

TEST(ValueFormat, CurrencyDecimalGuidAndSingle) {
  EXPECT_EQ(FormatCurrency({35000}), "3.5000");
  EXPECT_EQ(FormatCurrency({-944300}), "-94.4300");
  EXPECT_EQ(FormatCurrency({-5}), "-0.0005");
  EXPECT_EQ(FormatCurrency({std::numeric_limits<int64_t>::min()}), "-922337203685477.5808");

  EXPECT_EQ(FormatDecimal({false, 18, 0, 1, 0, 0}), "1");
  EXPECT_EQ(FormatDecimal({true, 18, 2, 0, 0, 0}), "0.00");
  EXPECT_EQ(FormatDecimal({false, 18, 2, 1250, 0, 0}), "12.50");
  EXPECT_EQ(FormatDecimal({true, 18, 4, 5, 0, 0}), "-0.0005");
  EXPECT_EQ(FormatDecimal({false, 28, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}), "79228162514264337593543950335");
  EXPECT_EQ(FormatDecimal({false, 28, 28, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}), "7.9228162514264337593543950335");

  Guid guid;
  const std::vector<uint8_t> stored = Bytes({0xE6, 0x13, 0x05, 0x5E, 0xE9, 0x96, 0xA9, 0x43, 0xA4, 0x2F, 0x58, 0xB4, 0x95, 0x0C, 0xC0, 0x5C});
  std::copy(stored.begin(), stored.end(), guid.bytes);
  EXPECT_EQ(FormatGuid(guid), "{5E0513E6-96E9-43A9-A42F-58B4950CC05C}");

  EXPECT_EQ(FormatSingle(804983.4f), "804983.4");
}

}  // namespace
}  // namespace jet
