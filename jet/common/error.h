#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace jet {

// Error numbers the engine raises. They are the numbers Jet itself uses, so that callers
// written against DAO see the same values.
namespace err {
inline constexpr int32_t kTableExists = 3010;
inline constexpr int32_t kDuplicateKey = 3022;
inline constexpr int32_t kCannotOpenFile = 3024;     // "Could not find file '...'."
inline constexpr int32_t kNotValidPassword = 3031;
inline constexpr int32_t kReadOnly = 3051;
inline constexpr int32_t kUnrecognizedFormat = 3343;  // "Unrecognized database format '...'."
inline constexpr int32_t kCorrupt = 3049;            // "Cannot open database '...'. It may not be a database..."
inline constexpr int32_t kDiskIo = 3043;
inline constexpr int32_t kNameInvalid = 3125;
inline constexpr int32_t kSyntaxOther = 3129;
inline constexpr int32_t kSyntaxInsert = 3134;
inline constexpr int32_t kSyntaxUpdate = 3144;
inline constexpr int32_t kTooManyFields = 3190;
inline constexpr int32_t kDuplicateField = 3191;
inline constexpr int32_t kInUseByOther = 3196;
inline constexpr int32_t kNotSupported = 3251;  // "Operation is not supported for this type of object."
inline constexpr int32_t kItemNotFound = 3265;
inline constexpr int32_t kFieldInIndex = 3280;
inline constexpr int32_t kInUseExclusive = 3356;
}  // namespace err

// The one exception type of the engine: a Jet error number with its description.
class Error : public std::runtime_error {
 public:
  Error(int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int32_t number() const { return number_; }
  const char* description() const { return what(); }

 private:
  int32_t number_;
};

// Structural damage found while reading a file: always reported as a corrupt database.
[[noreturn]] inline void ThrowCorrupt(const std::string& detail) {
  throw Error(err::kCorrupt, "The database is damaged: " + detail + ".");
}

// A table, field, index or query the caller named that is not there.
[[noreturn]] inline void ThrowItemNotFound(const std::string& what) {
  throw Error(err::kItemNotFound, "Item not found in this collection. (" + what + ")");
}

}  // namespace jet
