#include "jet/core/header_page.h"

#include <array>
#include <cmath>

#include "jet/common/byte_reader.h"
#include "jet/core/rc4.h"

namespace jet {
namespace {

constexpr std::array<uint8_t, 4> kHeaderMaskKey = {0xC7, 0xDA, 0x39, 0x6B};
constexpr size_t kJet3ColumnWord = 0x38;
constexpr size_t kSortOrderJet3 = 0x3A;
constexpr size_t kCodePage = 0x3C;
constexpr size_t kDatabaseKey = 0x3E;
constexpr size_t kPassword = 0x42;
constexpr size_t kSortOrderJet4 = 0x6E;
constexpr size_t kCreationDate = 0x72;

bool PasswordSet(const ByteReader& page, Format format, double creation_date) {
  if (format == Format::kJet3) {
    for (uint8_t byte : page.Slice(kPassword, 20))
      if (byte != 0) return true;
    return false;
  }
  // Jet 4 XORs the 20 UCS-2 characters with the whole days of the creation date, repeated;
  // an empty password leaves that pattern bare.
  const double days = std::isfinite(creation_date) ? std::trunc(creation_date) : 0;
  const uint32_t pattern =
      days >= -2147483648.0 && days <= 2147483647.0 ? static_cast<uint32_t>(static_cast<int32_t>(days)) : 0;
  for (size_t i = 0; i < 40; ++i) {
    const auto mask = static_cast<uint8_t>(pattern >> (8 * (i % 4)));
    if ((page.U8(kPassword + i) ^ mask) != 0) return true;
  }
  return false;
}

}  // namespace

std::vector<uint8_t> UnmaskHeaderPage(std::span<const uint8_t> page0, Format format) {
  std::vector<uint8_t> page(page0.begin(), page0.end());
  const size_t length = HeaderMaskLength(format);
  if (page.size() < kHeaderMaskOffset + length) ThrowCorrupt("the header page is too short");
  Rc4Apply(kHeaderMaskKey, std::span<uint8_t>(page).subspan(kHeaderMaskOffset, length));
  return page;
}

DatabaseHeader ReadDatabaseHeader(std::span<const uint8_t> page0, Format format) {
  const std::vector<uint8_t> clear = UnmaskHeaderPage(page0, format);
  const ByteReader page(clear, "header page");
  DatabaseHeader header;
  header.format = format;
  header.code_page = page.U16(kCodePage);
  header.database_key = page.U32(kDatabaseKey);
  if (format == Format::kJet3) {
    header.sort_order = page.U16(kSortOrderJet3);
    header.jet3_column_word = page.U16(kJet3ColumnWord);
  } else {
    header.sort_order = page.U16(kSortOrderJet4);
    header.sort_order_version = page.U8(kSortOrderJet4 + 3);
    header.creation_date = page.F64(kCreationDate);
  }
  header.has_password = PasswordSet(page, format, header.creation_date);
  return header;
}

}  // namespace jet
