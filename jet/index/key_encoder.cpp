#include "jet/index/key_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

#include "jet/common/error.h"
#include "jet/index/stored_key.h"
#include "jet/index/text_key.h"

namespace jet {

namespace {

constexpr size_t kBinaryGroup = 8;
constexpr uint8_t kBinaryMoreFollows = 9;

[[noreturn]] void ThrowUnsupported(const std::string& detail) {
  throw Error(key_err::kUnsupportedKey, "Cannot build an index key: " + detail + ".");
}

void AppendBigEndian(std::vector<uint8_t>& out, uint64_t bits, int width_bytes) {
  for (int i = 0; i < width_bytes; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * (width_bytes - 1 - i))));
}

std::vector<uint8_t> BigEndian(uint64_t bits, int width_bytes) {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(width_bytes));
  AppendBigEndian(out, bits, width_bytes);
  return out;
}

// IEEE values: positives get the sign bit set, negatives are inverted whole, so that larger
// magnitudes of negatives come first. -0.0 is stored as Access would get it from the row.
uint64_t IeeeKeyBits(uint64_t bits, int width_bytes) {
  const uint64_t sign = uint64_t{1} << (8 * width_bytes - 1);
  const uint64_t mask = width_bytes == 8 ? ~uint64_t{0} : (sign << 1) - 1;
  return (bits & sign) != 0 ? (~bits & mask) : (bits | sign);
}

std::vector<uint8_t> IeeeKey(uint64_t bits, int width_bytes) { return BigEndian(IeeeKeyBits(bits, width_bytes), width_bytes); }

uint64_t IntegerKeyBits(int64_t value, int width_bytes) {
  const uint64_t sign = uint64_t{1} << (8 * width_bytes - 1);
  return static_cast<uint64_t>(value) ^ sign;
}

bool IsTextColumn(const ColumnDef& column) {
  return column.type == static_cast<uint8_t>(FieldType::kText) ||
         column.type == static_cast<uint8_t>(FieldType::kMemo);
}

// The General order is sort order 1033; 0 is what a column description built in code holds.
constexpr uint16_t kGeneralSortOrder = 0x0409;

bool PrintableAscii(std::string_view utf8) {
  return std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

void AppendTextValueKey(std::vector<uint8_t>& out, const ColumnDef& column, const std::string& text, Format format) {
  if (column.sort_order != 0 && column.sort_order != kGeneralSortOrder && !PrintableAscii(text)) {
    // Other sort orders (Swedish/Finnish 1053 is in the samples) share the General weights of
    // printable ASCII there; beyond it they reorder letters in ways no sample shows.
    ThrowUnsupported("text beyond ASCII in column " + column.name + " with sort order " +
                     std::to_string(column.sort_order));
  }
  AppendGeneralTextKey(out, text, format);
}

const ColumnDef* FindColumn(const TableDef& table, uint16_t number, size_t& position) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].number == number) {
      position = i;
      return &table.columns[i];
    }
  }
  return nullptr;
}

}  // namespace

std::vector<uint8_t> IntegerKey(int64_t value, int width_bytes) {
  return BigEndian(IntegerKeyBits(value, width_bytes), width_bytes);
}

std::vector<uint8_t> FloatKey(double value) { return IeeeKey(std::bit_cast<uint64_t>(value), 8); }

std::vector<uint8_t> SingleKey(float value) { return IeeeKey(std::bit_cast<uint32_t>(value), 4); }

std::vector<uint8_t> BooleanKey(bool value) { return {static_cast<uint8_t>(value ? 0x00 : 0xFF)}; }

// The first three GUID fields are stored little-endian; the key puts them in the order the
// GUID is written as text, then encodes the 16 bytes as binary.
std::vector<uint8_t> GuidKey(const Guid& value) {
  std::vector<uint8_t> bytes(value.bytes, value.bytes + 16);
  std::reverse(bytes.begin(), bytes.begin() + 4);
  std::reverse(bytes.begin() + 4, bytes.begin() + 6);
  std::reverse(bytes.begin() + 6, bytes.begin() + 8);
  return BinaryKey(bytes);
}

// Binary runs go in groups of eight bytes. After each group a marker byte: 9 when more groups
// follow, otherwise the number of bytes of the last group that are data (the rest is zero
// padding). So a shorter value that is a prefix of a longer one sorts first.
std::vector<uint8_t> BinaryKey(const std::vector<uint8_t>& bytes) {
  constexpr size_t kGroup = kBinaryGroup;
  std::vector<uint8_t> out;
  size_t at = 0;
  do {
    const size_t take = std::min(kGroup, bytes.size() - at);
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
               bytes.begin() + static_cast<std::ptrdiff_t>(at + take));
    out.insert(out.end(), kGroup - take, 0);
    at += take;
    out.push_back(at < bytes.size() ? kBinaryMoreFollows : static_cast<uint8_t>(take));
  } while (at < bytes.size());
  return out;
}

namespace {

// The value bytes of one non-null value, ascending, after what `out` holds: keys are built
// for every row of a table, and fixed-size values then need no buffer of their own.
void AppendValueKey(std::vector<uint8_t>& out, const ColumnDef& column, const Value& value, Format format) {
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          ThrowUnsupported("a null has no value bytes");
        } else if constexpr (std::is_same_v<T, bool>) {
          out.push_back(static_cast<uint8_t>(v ? 0x00 : 0xFF));
        } else if constexpr (std::is_same_v<T, uint8_t>) {
          out.push_back(v);
        } else if constexpr (std::is_same_v<T, int16_t>) {
          AppendBigEndian(out, IntegerKeyBits(v, 2), 2);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          AppendBigEndian(out, IntegerKeyBits(v, 4), 4);
        } else if constexpr (std::is_same_v<T, Currency>) {
          AppendBigEndian(out, IntegerKeyBits(v.ten_thousandths, 8), 8);
        } else if constexpr (std::is_same_v<T, float>) {
          AppendBigEndian(out, IeeeKeyBits(std::bit_cast<uint32_t>(v), 4), 4);
        } else if constexpr (std::is_same_v<T, double>) {
          AppendBigEndian(out, IeeeKeyBits(std::bit_cast<uint64_t>(v), 8), 8);
        } else if constexpr (std::is_same_v<T, DateTime>) {
          AppendBigEndian(out, IeeeKeyBits(std::bit_cast<uint64_t>(v.days), 8), 8);
        } else if constexpr (std::is_same_v<T, Guid>) {
          const std::vector<uint8_t> key = GuidKey(v);
          out.insert(out.end(), key.begin(), key.end());
        } else if constexpr (std::is_same_v<T, Binary>) {
          const std::vector<uint8_t> key = BinaryKey(v.bytes);
          out.insert(out.end(), key.begin(), key.end());
        } else if constexpr (std::is_same_v<T, std::string>) {
          if (!IsTextColumn(column)) ThrowUnsupported("text in column " + column.name + " that is not text");
          AppendTextValueKey(out, column, v, format);
        } else {
          static_assert(std::is_same_v<T, Decimal>);
          ThrowUnsupported("decimal column " + column.name + " (no sample of its key form)");
        }
      },
      value);
}

}  // namespace

std::vector<uint8_t> EncodeValueKey(const ColumnDef& column, const Value& value, Format format) {
  std::vector<uint8_t> out;
  AppendValueKey(out, column, value, format);
  return out;
}

void AppendColumnKey(std::vector<uint8_t>& key, const ColumnDef& column, const Value& value, bool ascending,
                     Format format) {
  if (IsNull(value)) {
    key.push_back(ascending ? key_flag::kAscendingNull : key_flag::kDescendingNull);
    return;
  }
  key.push_back(ascending ? key_flag::kAscending : key_flag::kDescending);
  const size_t start = key.size();
  try {
    AppendValueKey(key, column, value, format);
  } catch (...) {
    key.resize(start - 1);  // as it was: the caller may go on with the key
    throw;
  }
  if (!ascending) {
    const std::span<uint8_t> bytes = std::span<uint8_t>(key).subspan(start);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(~b);
    // Binary groups keep their "more follows" marker as it is; only the data and the final
    // count are inverted (seen on descending GUID indexes).
    if (std::holds_alternative<Guid>(value) || std::holds_alternative<Binary>(value)) {
      for (size_t marker = kBinaryGroup; marker + 1 < bytes.size(); marker += kBinaryGroup + 1) {
        bytes[marker] = kBinaryMoreFollows;
      }
    }
  }
}

std::vector<uint8_t> EncodeIndexKey(const TableDef& table, const RealIndexDef& index, const Row& row,
                                    Format format) {
  if (row.size() != table.columns.size()) {
    ThrowUnsupported("the row has " + std::to_string(row.size()) + " values for " +
                     std::to_string(table.columns.size()) + " columns");
  }
  std::vector<uint8_t> key;
  for (const IndexColumnDef& part : index.columns) {
    size_t position = 0;
    const ColumnDef* column = FindColumn(table, part.column_number, position);
    if (column == nullptr) ThrowUnsupported("index names column number " + std::to_string(part.column_number) +
                                            " that the table does not have");
    AppendColumnKey(key, *column, row[position], part.ascending, format);
  }
  return key;
}

namespace {

uint64_t LittleEndian(std::span<const uint8_t> bytes) {
  uint64_t bits = 0;
  for (size_t i = bytes.size(); i-- > 0;) bits = (bits << 8) | bytes[i];
  return bits;
}

int64_t SignExtended(uint64_t bits, size_t width_bytes) {
  const unsigned shift = static_cast<unsigned>(64 - 8 * width_bytes);
  return static_cast<int64_t>(bits << shift) >> shift;
}

void AppendStoredValueKey(std::vector<uint8_t>& out, const ColumnDef& column, const StoredKeyValue& value) {
  using Kind = StoredKeyValue::Kind;
  if (value.kind == Kind::kBoolean) {
    out.push_back(static_cast<uint8_t>(value.boolean ? 0x00 : 0xFF));
    return;
  }
  if (value.kind == Kind::kLatin1Text || value.kind == Kind::kUnitText) {
    const bool general = column.sort_order == 0 || column.sort_order == kGeneralSortOrder;
    if (value.kind == Kind::kLatin1Text) {
      if (!general && !std::all_of(value.bytes.begin(), value.bytes.end(), [](uint8_t b) { return b >= 0x20 && b < 0x7F; }))
        ThrowUnsupported("text beyond ASCII in column " + column.name + " with sort order " +
                         std::to_string(column.sort_order));
      AppendJet4TextKey(out, value.bytes);
    } else {
      if (!general && !std::all_of(value.units.begin(), value.units.end(), [](char16_t u) { return u >= 0x20 && u < 0x7F; }))
        ThrowUnsupported("text beyond ASCII in column " + column.name + " with sort order " +
                         std::to_string(column.sort_order));
      AppendJet4TextKey(out, std::span<const char16_t>(value.units.data(), value.units.size()));
    }
    return;
  }
  const std::span<const uint8_t> bytes = value.bytes;
  switch (static_cast<FieldType>(column.type)) {
    case FieldType::kByte: out.push_back(bytes[0]); return;
    case FieldType::kInteger:
    case FieldType::kLong:
    case FieldType::kCurrency: {
      const int width = static_cast<int>(bytes.size());
      AppendBigEndian(out, IntegerKeyBits(SignExtended(LittleEndian(bytes), bytes.size()), width), width);
      return;
    }
    case FieldType::kSingle:
    case FieldType::kDouble:
    case FieldType::kDateTime: {
      const int width = static_cast<int>(bytes.size());
      AppendBigEndian(out, IeeeKeyBits(LittleEndian(bytes), width), width);
      return;
    }
    case FieldType::kGuid: {
      Guid guid;
      std::copy(bytes.begin(), bytes.end(), guid.bytes);
      const std::vector<uint8_t> key = GuidKey(guid);
      out.insert(out.end(), key.begin(), key.end());
      return;
    }
    case FieldType::kBinary: {
      const std::vector<uint8_t> key = BinaryKey(std::vector<uint8_t>(bytes.begin(), bytes.end()));
      out.insert(out.end(), key.begin(), key.end());
      return;
    }
    default: throw std::logic_error("a stored key of a column type the stored path does not take");
  }
}

}  // namespace

void AppendStoredColumnKey(std::vector<uint8_t>& key, const ColumnDef& column, const StoredKeyValue& value,
                           bool ascending) {
  if (value.kind == StoredKeyValue::Kind::kNull) {
    key.push_back(ascending ? key_flag::kAscendingNull : key_flag::kDescendingNull);
    return;
  }
  key.push_back(ascending ? key_flag::kAscending : key_flag::kDescending);
  const size_t start = key.size();
  try {
    AppendStoredValueKey(key, column, value);
  } catch (...) {
    key.resize(start - 1);
    throw;
  }
  if (!ascending) {
    const std::span<uint8_t> bytes = std::span<uint8_t>(key).subspan(start);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(~b);
    if (value.kind == StoredKeyValue::Kind::kBytes &&
        (column.type == static_cast<uint8_t>(FieldType::kGuid) || column.type == static_cast<uint8_t>(FieldType::kBinary))) {
      for (size_t marker = kBinaryGroup; marker + 1 < bytes.size(); marker += kBinaryGroup + 1) {
        bytes[marker] = kBinaryMoreFollows;
      }
    }
  }
}

}  // namespace jet
