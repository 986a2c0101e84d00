#include "jet/query/property_blob.h"

#include <algorithm>
#include <limits>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/query/blob_text.h"

namespace jet {
namespace {

constexpr uint16_t kNamePoolChunk = 0x80;
constexpr size_t kChunkHeaderSize = 6;     // u32 length (header included), u16 chunk type
constexpr size_t kTargetHeaderSize = 6;    // u32 length (itself included), u16 name length
constexpr size_t kPropertyHeaderSize = 8;  // u16 length, u8 ddl flag, u8 type, u16 name, u16 size

const uint8_t* SignatureOf(Format format) {
  static constexpr uint8_t kJet4[4] = {'M', 'R', '2', 0};
  static constexpr uint8_t kJet3[4] = {'K', 'K', 'D', 0};
  return format == Format::kJet4 ? kJet4 : kJet3;
}

std::vector<std::string> ReadNamePool(const ByteReader& chunk, Format format, uint16_t code_page) {
  std::vector<std::string> names;
  for (size_t at = 0; at < chunk.size();) {
    const uint16_t length = chunk.U16(at);
    names.push_back(DecodeBlobText(chunk.Slice(at + 2, length), format, code_page));
    at += 2 + size_t{length};
  }
  return names;
}

PropertyGroup ReadGroup(const ByteReader& chunk, uint16_t chunk_type, const std::vector<std::string>& names,
                        Format format, uint16_t code_page) {
  PropertyGroup group;
  group.chunk_type = chunk_type;
  const uint32_t target_length = chunk.U32(0);
  const uint16_t name_length = chunk.U16(4);
  if (target_length != kTargetHeaderSize + name_length) ThrowCorrupt("property blob target of inconsistent length");
  group.target = DecodeBlobText(chunk.Slice(kTargetHeaderSize, name_length), format, code_page);
  for (size_t at = target_length; at < chunk.size();) {
    const uint16_t length = chunk.U16(at);
    const ByteReader record = chunk.Sub(at, length);
    if (length < kPropertyHeaderSize || size_t{record.U16(6)} + kPropertyHeaderSize != length) {
      ThrowCorrupt("property record of inconsistent length");
    }
    StoredProperty property;
    property.ddl_flag = record.U8(2);
    property.type = record.U8(3);
    const uint16_t name_index = record.U16(4);
    if (name_index >= names.size()) ThrowCorrupt("property refers to a name the blob does not list");
    property.name = names[name_index];
    auto value = record.Slice(kPropertyHeaderSize, length - kPropertyHeaderSize);
    property.value.assign(value.begin(), value.end());
    group.properties.push_back(std::move(property));
    at += length;
  }
  return group;
}

void AppendU16(std::vector<uint8_t>& out, size_t value, const char* what) {
  if (value > std::numeric_limits<uint16_t>::max()) {
    throw Error(err::kSyntaxOther, std::string(what) + " too long for a property blob.");
  }
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void AppendU32(std::vector<uint8_t>& out, size_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Fills in the length of the chunk that starts at `start` once its contents are written.
void CloseChunk(std::vector<uint8_t>& out, size_t start) {
  const size_t length = out.size() - start;
  if (length > std::numeric_limits<uint32_t>::max()) throw Error(err::kSyntaxOther, "Property blob too large.");
  PutU32(out.data() + start, static_cast<uint32_t>(length));
}

}  // namespace

PropertyBlob ParsePropertyBlob(std::span<const uint8_t> blob, Format format, uint16_t code_page) {
  const ByteReader reader(blob, "property blob");
  if (!std::equal(SignatureOf(format), SignatureOf(format) + 4, reader.Slice(0, 4).begin())) {
    ThrowCorrupt("property blob without its signature");
  }
  PropertyBlob result;
  bool seen_names = false;
  // Every chunk is at least its header long, so the walk ends within size / 6 steps.
  for (size_t at = 4; at < reader.size();) {
    const uint32_t length = reader.U32(at);
    if (length < kChunkHeaderSize) ThrowCorrupt("property blob chunk shorter than its header");
    const ByteReader chunk = reader.Sub(at, length);
    const uint16_t type = chunk.U16(4);
    const ByteReader body = chunk.Sub(kChunkHeaderSize, length - kChunkHeaderSize);
    if (type == kNamePoolChunk) {
      if (seen_names) ThrowCorrupt("property blob with two name lists");
      result.names = ReadNamePool(body, format, code_page);
      seen_names = true;
    } else {
      result.groups.push_back(ReadGroup(body, type, result.names, format, code_page));
    }
    at += length;
  }
  return result;
}

std::vector<uint8_t> EncodePropertyBlob(const PropertyBlob& blob, Format format, uint16_t code_page) {
  std::vector<std::string> names = blob.names;
  for (const auto& group : blob.groups) {
    for (const auto& property : group.properties) {
      if (std::find(names.begin(), names.end(), property.name) == names.end()) names.push_back(property.name);
    }
  }
  std::vector<uint8_t> out(SignatureOf(format), SignatureOf(format) + 4);

  size_t start = out.size();
  AppendU32(out, 0);
  AppendU16(out, kNamePoolChunk, "chunk type");
  for (const auto& name : names) {
    const auto bytes = EncodeBlobText(name, format, code_page);
    AppendU16(out, bytes.size(), "property name");
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  CloseChunk(out, start);

  for (const auto& group : blob.groups) {
    start = out.size();
    AppendU32(out, 0);
    AppendU16(out, group.chunk_type, "chunk type");
    const auto target = EncodeBlobText(group.target, format, code_page);
    AppendU32(out, kTargetHeaderSize + target.size());
    AppendU16(out, target.size(), "property target");
    out.insert(out.end(), target.begin(), target.end());
    for (const auto& property : group.properties) {
      const size_t index = std::find(names.begin(), names.end(), property.name) - names.begin();
      AppendU16(out, kPropertyHeaderSize + property.value.size(), "property value");
      out.push_back(property.ddl_flag);
      out.push_back(property.type);
      AppendU16(out, index, "property name list");
      AppendU16(out, property.value.size(), "property value");
      out.insert(out.end(), property.value.begin(), property.value.end());
    }
    CloseChunk(out, start);
  }
  return out;
}

}  // namespace jet
