#include "jet/index/key_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "jet/common/error.h"
#include "jet/index/text_key.h"

namespace jet {

namespace {

constexpr size_t kBinaryGroup = 8;
constexpr uint8_t kBinaryMoreFollows = 9;

[[noreturn]] void ThrowUnsupported(const std::string& detail) {
  throw Error(key_err::kUnsupportedKey, "Cannot build an index key: " + detail + ".");
}

std::vector<uint8_t> BigEndian(uint64_t bits, int width_bytes) {
  std::vector<uint8_t> out(static_cast<size_t>(width_bytes));
  for (int i = 0; i < width_bytes; ++i) {
    out[static_cast<size_t>(i)] = static_cast<uint8_t>(bits >> (8 * (width_bytes - 1 - i)));
  }
  return out;
}

// IEEE values: positives get the sign bit set, negatives are inverted whole, so that larger
// magnitudes of negatives come first. -0.0 is stored as Access would get it from the row.
std::vector<uint8_t> IeeeKey(uint64_t bits, int width_bytes) {
  const uint64_t sign = uint64_t{1} << (8 * width_bytes - 1);
  const uint64_t mask = width_bytes == 8 ? ~uint64_t{0} : (sign << 1) - 1;
  bits = (bits & sign) != 0 ? (~bits & mask) : (bits | sign);
  return BigEndian(bits, width_bytes);
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

std::vector<uint8_t> TextValueKey(const ColumnDef& column, const std::string& text, Format format) {
  if (column.sort_order != 0 && column.sort_order != kGeneralSortOrder && !PrintableAscii(text)) {
    // Other sort orders (Swedish/Finnish 1053 is in the samples) share the General weights of
    // printable ASCII there; beyond it they reorder letters in ways no sample shows.
    ThrowUnsupported("text beyond ASCII in column " + column.name + " with sort order " +
                     std::to_string(column.sort_order));
  }
  return GeneralTextKey(text, format);
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
  const uint64_t sign = uint64_t{1} << (8 * width_bytes - 1);
  return BigEndian(static_cast<uint64_t>(value) ^ sign, width_bytes);
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

std::vector<uint8_t> EncodeValueKey(const ColumnDef& column, const Value& value, Format format) {
  return std::visit(
      [&](const auto& v) -> std::vector<uint8_t> {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          ThrowUnsupported("a null has no value bytes");
        } else if constexpr (std::is_same_v<T, bool>) {
          return BooleanKey(v);
        } else if constexpr (std::is_same_v<T, uint8_t>) {
          return {v};
        } else if constexpr (std::is_same_v<T, int16_t>) {
          return IntegerKey(v, 2);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          return IntegerKey(v, 4);
        } else if constexpr (std::is_same_v<T, Currency>) {
          return IntegerKey(v.ten_thousandths, 8);
        } else if constexpr (std::is_same_v<T, float>) {
          return SingleKey(v);
        } else if constexpr (std::is_same_v<T, double>) {
          return FloatKey(v);
        } else if constexpr (std::is_same_v<T, DateTime>) {
          return FloatKey(v.days);
        } else if constexpr (std::is_same_v<T, Guid>) {
          return GuidKey(v);
        } else if constexpr (std::is_same_v<T, Binary>) {
          return BinaryKey(v.bytes);
        } else if constexpr (std::is_same_v<T, std::string>) {
          if (!IsTextColumn(column)) ThrowUnsupported("text in column " + column.name + " that is not text");
          return TextValueKey(column, v, format);
        } else {
          static_assert(std::is_same_v<T, Decimal>);
          ThrowUnsupported("decimal column " + column.name + " (no sample of its key form)");
        }
      },
      value);
}

void AppendColumnKey(std::vector<uint8_t>& key, const ColumnDef& column, const Value& value, bool ascending,
                     Format format) {
  if (IsNull(value)) {
    key.push_back(ascending ? key_flag::kAscendingNull : key_flag::kDescendingNull);
    return;
  }
  key.push_back(ascending ? key_flag::kAscending : key_flag::kDescending);
  std::vector<uint8_t> bytes = EncodeValueKey(column, value, format);
  if (!ascending) {
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(~b);
    // Binary groups keep their "more follows" marker as it is; only the data and the final
    // count are inverted (seen on descending GUID indexes).
    if (std::holds_alternative<Guid>(value) || std::holds_alternative<Binary>(value)) {
      for (size_t marker = kBinaryGroup; marker + 1 < bytes.size(); marker += kBinaryGroup + 1) {
        bytes[marker] = kBinaryMoreFollows;
      }
    }
  }
  key.insert(key.end(), bytes.begin(), bytes.end());
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

}  // namespace jet
