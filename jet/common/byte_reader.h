#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "jet/common/error.h"

namespace jet {

// Little-endian, bounds-checked access to a run of bytes read from a file. Every read outside
// the run raises a corrupt-database error instead of touching memory it does not own, so
// parsers can follow offsets found in the file without checking each one by hand.
class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(std::span<const uint8_t> bytes, const char* what = "record") : bytes_(bytes), what_(what) {}

  size_t size() const { return bytes_.size(); }
  std::span<const uint8_t> bytes() const { return bytes_; }

  uint8_t U8(size_t at) const {
    Need(at, 1);
    return bytes_[at];
  }
  uint16_t U16(size_t at) const {
    Need(at, 2);
    return static_cast<uint16_t>(bytes_[at] | (bytes_[at + 1] << 8));
  }
  uint32_t U24(size_t at) const {
    Need(at, 3);
    return uint32_t{bytes_[at]} | (uint32_t{bytes_[at + 1]} << 8) | (uint32_t{bytes_[at + 2]} << 16);
  }
  uint32_t U32(size_t at) const {
    Need(at, 4);
    return uint32_t{bytes_[at]} | (uint32_t{bytes_[at + 1]} << 8) | (uint32_t{bytes_[at + 2]} << 16) |
           (uint32_t{bytes_[at + 3]} << 24);
  }
  uint64_t U64(size_t at) const { return uint64_t{U32(at)} | (uint64_t{U32(at + 4)} << 32); }
  int16_t I16(size_t at) const { return static_cast<int16_t>(U16(at)); }
  int32_t I32(size_t at) const { return static_cast<int32_t>(U32(at)); }
  int64_t I64(size_t at) const { return static_cast<int64_t>(U64(at)); }
  float F32(size_t at) const {
    uint32_t raw = U32(at);
    float value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
  }
  double F64(size_t at) const {
    uint64_t raw = U64(at);
    double value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
  }

  // A sub-run [at, at + length): checked here, so the caller may use it freely.
  std::span<const uint8_t> Slice(size_t at, size_t length) const {
    Need(at, length);
    return bytes_.subspan(at, length);
  }
  ByteReader Sub(size_t at, size_t length) const { return ByteReader(Slice(at, length), what_); }

  bool Has(size_t at, size_t length) const { return at <= bytes_.size() && length <= bytes_.size() - at; }

 private:
  // The check is on every read of every catalog page: kept small enough to inline, with the
  // message built out of line.
  void Need(size_t at, size_t length) const {
    if (!Has(at, length)) [[unlikely]]
      TooShort(at, length);
  }
  [[noreturn]] void TooShort(size_t at, size_t length) const {
    ThrowCorrupt(std::string(what_) + " too short (wanted " + std::to_string(length) + " bytes at " +
                 std::to_string(at) + " of " + std::to_string(bytes_.size()) + ")");
  }

  std::span<const uint8_t> bytes_;
  const char* what_ = "record";
};

// Little-endian writers into a caller-owned buffer; the buffer is sized by the caller.
inline void PutU16(uint8_t* at, uint16_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace jet
