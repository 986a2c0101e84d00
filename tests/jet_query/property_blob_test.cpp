#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <algorithm>
#include <fstream>
#include <map>

#include "jet/common/error.h"
#include "jet/query/blob_text.h"
#include "jet/query/property_blob.h"
#include "jet/query/property_value.h"
#include "tests/jet_query/corpus_data.h"
#include "tests/support/corpus.h"

namespace jet {
namespace {

using vantrel::test::CorpusPropertyBlobs;

// A small Jet 4 blob: one object group and one column group with a text and a boolean.
PropertyBlob SampleBlob(Format format) {
  PropertyBlob blob;
  PropertyGroup object;
  object.target = "Tabella";
  object.properties.push_back(BoolProperty("OrderByOn", false));
  PropertyGroup column;
  column.chunk_type = 1;
  column.target = "Città";
  column.properties.push_back(TextProperty("DefaultValue", "\"€ 5\"", format));
  column.properties.push_back(BoolProperty("Required", true));
  blob.groups = {object, column};
  return blob;
}

TEST(PropertyBlobCorpus, EveryStoredBlobEncodesBackToItsOwnBytes) {
  size_t checked = 0;
  for (const auto& blob : CorpusPropertyBlobs()) {
    SCOPED_TRACE(blob.file + " " + blob.object);
    const PropertyBlob parsed = ParsePropertyBlob(blob.bytes, blob.format);
    EXPECT_EQ(EncodePropertyBlob(parsed, blob.format), blob.bytes);
    ++checked;
  }
  EXPECT_GT(checked, 200u);
}

// The column properties the independent reader found must be what the blobs say.
TEST(PropertyBlobCorpus, ColumnPropertiesMatchTheIndependentReader) {
  VANTREL_REQUIRE_CORPUS();
  size_t compared = 0;
  std::map<std::string, nlohmann::json> expected_by_file;
  for (const auto& blob : CorpusPropertyBlobs()) {
    const auto dot = blob.file.find('/');
    const auto expected_path = vantrel::test::CorpusDir() / "expected" /
                               (blob.file.substr(0, dot) + "-" + blob.file.substr(dot + 1, blob.file.size() - dot - 5) + ".json");
    if (!expected_by_file.count(blob.file)) {
      std::ifstream in(expected_path);
      expected_by_file[blob.file] = in ? nlohmann::json::parse(in) : nlohmann::json();
    }
    const auto& expected = expected_by_file[blob.file];
    if (expected.is_null()) continue;
    const PropertyBlob parsed = ParsePropertyBlob(blob.bytes, blob.format);
    for (const auto& table : expected["tables"]) {
      if (table["name"] != blob.object) continue;
      for (const auto& column : table["columns"]) {
        const auto group = std::find_if(parsed.groups.begin(), parsed.groups.end(),
                                        [&](const PropertyGroup& g) { return g.target == column["name"]; });
        for (const char* name : {"DefaultValue", "ValidationRule", "ValidationText"}) {
          if (column[name].is_null()) continue;
          SCOPED_TRACE(blob.file + " " + blob.object + "." + column["name"].get<std::string>() + " " + name);
          ASSERT_NE(group, parsed.groups.end());
          const StoredProperty* property = FindProperty(*group, name);
          ASSERT_NE(property, nullptr);
          EXPECT_EQ(PropertyText(*property, blob.format), column[name].get<std::string>());
          ++compared;
        }
        for (const char* name : {"Required", "AllowZeroLength"}) {
          if (!column[name].is_boolean() || group == parsed.groups.end()) continue;
          const StoredProperty* property = FindProperty(*group, name);
          if (property == nullptr) continue;
          EXPECT_EQ(PropertyBool(*property), column[name].get<bool>()) << blob.object << "." << column["name"] << " " << name;
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 0u);
}

TEST(PropertyBlob, NewBlobsRoundTripInBothFormats) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    const auto bytes = EncodePropertyBlob(SampleBlob(format), format);
    const PropertyBlob back = ParsePropertyBlob(bytes, format);
    ASSERT_EQ(back.groups.size(), 2u);
    EXPECT_EQ(back.groups[1].target, "Città");
    EXPECT_EQ(back.groups[1].chunk_type, 1);
    EXPECT_EQ(back.names, (std::vector<std::string>{"OrderByOn", "DefaultValue", "Required"}));
    EXPECT_EQ(PropertyText(*FindProperty(back.groups[1], "defaultvalue"), format), "\"€ 5\"");
    EXPECT_TRUE(PropertyBool(*FindProperty(back.groups[1], "Required")));
    EXPECT_EQ(EncodePropertyBlob(back, format), bytes);
  }
}

TEST(PropertyBlob, EveryTruncationAndBadSignatureIsRefused) {
  const auto bytes = EncodePropertyBlob(SampleBlob(Format::kJet4), Format::kJet4);
  // A cut exactly between chunks leaves a shorter blob that is still whole; any other cut
  // ends inside a length-prefixed part and must be refused.
  std::vector<size_t> chunk_ends = {4};
  while (chunk_ends.back() < bytes.size()) {
    const size_t at = chunk_ends.back();
    chunk_ends.push_back(at + (bytes[at] | (bytes[at + 1] << 8)));
  }
  for (size_t length = 0; length < bytes.size(); ++length) {
    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
    if (std::find(chunk_ends.begin(), chunk_ends.end(), length) != chunk_ends.end()) {
      EXPECT_NO_THROW(ParsePropertyBlob(cut, Format::kJet4)) << "length " << length;
    } else {
      EXPECT_THROW(ParsePropertyBlob(cut, Format::kJet4), Error) << "length " << length;
    }
  }
  EXPECT_TRUE(ParsePropertyBlob(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4), Format::kJet4).groups.empty());
  EXPECT_THROW(ParsePropertyBlob(bytes, Format::kJet3), Error);  // MR2 read as a Jet 3 blob
}

TEST(PropertyBlob, DamagedLengthsAndIndexesAreRefused) {
  const auto good = EncodePropertyBlob(SampleBlob(Format::kJet4), Format::kJet4);
  const PropertyBlob parsed = ParsePropertyBlob(good, Format::kJet4);
  const uint32_t names_length = good[4] | (good[5] << 8);
  const size_t group = 4 + names_length;
  const size_t first_property = group + 6 + 6 + 2 * parsed.groups[0].target.size();

  auto damaged = [&](size_t at, uint8_t value) {
    auto copy = good;
    copy[at] = value;
    return copy;
  };
  EXPECT_THROW(ParsePropertyBlob(damaged(4, 3), Format::kJet4), Error);              // chunk shorter than its header
  EXPECT_THROW(ParsePropertyBlob(damaged(7, 0x7F), Format::kJet4), Error);           // chunk past the end
  EXPECT_THROW(ParsePropertyBlob(damaged(group + 6, 0xFF), Format::kJet4), Error);   // target length
  EXPECT_THROW(ParsePropertyBlob(damaged(first_property, 4), Format::kJet4), Error);      // record below its header
  EXPECT_THROW(ParsePropertyBlob(damaged(first_property + 4, 9), Format::kJet4), Error);  // name index
  EXPECT_THROW(ParsePropertyBlob(damaged(first_property + 6, 2), Format::kJet4), Error);  // value size
  EXPECT_THROW(ParsePropertyBlob(damaged(10, 0xD8), Format::kJet4), Error);               // name past its list
  EXPECT_THROW(ParsePropertyBlob(damaged(13, 0xDC), Format::kJet4), Error);               // unpaired surrogate
}

TEST(PropertyValue, TypedAccessorsRefuseValuesOfAnotherTypeOrSize) {
  StoredProperty integer{"Orientation", dao_type::kInteger, 0, {0xFE, 0xFF}};
  EXPECT_EQ(PropertyInteger(integer), -2);
  integer.value.pop_back();
  EXPECT_THROW(PropertyInteger(integer), Error);
  EXPECT_THROW(PropertyBool(integer), Error);
  EXPECT_THROW(PropertyText(integer, Format::kJet4), Error);
  StoredProperty odd{"DefaultValue", dao_type::kText, 0, {'a', 0, 'b'}};
  EXPECT_THROW(PropertyText(odd, Format::kJet4), Error);
  // Compressed Jet 4 text: FF FE, then single bytes until a zero switches to UCS-2.
  StoredProperty compressed{"DefaultValue", dao_type::kText, 0, {0xFF, 0xFE, 'a', 'b', 0, 0xAC, 0x20}};
  EXPECT_EQ(PropertyText(compressed, Format::kJet4), "ab€");
}

TEST(BlobText, EncodingsAreLosslessAndRefuseWhatTheyCannotHold) {
  const std::vector<uint8_t> every_byte = [] {
    std::vector<uint8_t> v;
    for (int b = 1; b < 256; ++b) v.push_back(static_cast<uint8_t>(b));
    return v;
  }();
  EXPECT_EQ(EncodeBlobText(DecodeBlobText(every_byte, Format::kJet3), Format::kJet3), every_byte);
  EXPECT_EQ(DecodeBlobText(EncodeBlobText("𝄞x", Format::kJet4), Format::kJet4), "𝄞x");
  EXPECT_THROW(EncodeBlobText("Ω", Format::kJet3), Error);
  EXPECT_THROW(EncodeBlobText("\xC3", Format::kJet4), Error);
  EXPECT_THROW(DecodeBlobText(std::vector<uint8_t>{0x00, 0xDC}, Format::kJet4), Error);
}

}  // namespace
}  // namespace jet
