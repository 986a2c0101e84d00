#pragma once

#include <array>
#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>

namespace schema {

// Name matching for tables, queries, fields and indexes: blanks around the names do not
// count, letter case does not count, everything else does. A name looked up is nearly always
// found spelt as stored: that case costs no call.
bool SameNameSpeltApart(std::string_view a, std::string_view b);  // names not byte for byte equal
inline bool SameName(std::string_view a, std::string_view b) { return a == b || SameNameSpeltApart(a, b); }

// What SameName compares: two names are the same exactly when their keys are equal.
std::string NameKey(std::string_view name);
// A hash of NameKey(name), so equal for any two names SameName holds for; an ASCII name is
// hashed as it stands, without building its key.
size_t NameKeyHash(std::string_view name);

// Attribute word of a table: the engine's system-object mask and linked-table bit.
inline constexpr uint32_t kSystemObjectMask = 0x80000002u;
inline constexpr uint32_t kLinkedTableBit = 0x40000000u;
inline bool IsSystemTable(int32_t attributes) { return (static_cast<uint32_t>(attributes) & kSystemObjectMask) != 0; }
inline bool IsLinkedTable(int32_t attributes) { return (static_cast<uint32_t>(attributes) & kLinkedTableBit) != 0; }

// A local query whose name starts with X is the site's own: never removed, never surplus.
bool IsKeptQuery(std::string_view name);

// Work tables of KVO databases are named with a trailing "_" or "_NN" above 10.
bool IsTemporaryTableName(std::string_view name);

// The prefix rule: a reference database whose file name starts with "KVO" (any case).
bool HasKvoPrefix(std::string_view file_name);

// The name a table name is compared under when the "never remove" exception is tested.
bool IsClientiTmp(std::string_view name);

// Display names of the field types 1 to 12, as the run log shows them.
class FieldTypeTable {
 public:
  FieldTypeTable();
  // Raises "Subscript out of range" (9) for a type without a name.
  const std::string& Name(int32_t type) const;

 private:
  std::array<std::string, 13> names_;  // slot 0 unused: types count from 1
};

// Leading-number parse of text: blanks skipped, stops at the first character that cannot
// continue a number, text without a number reads as 0.
double LeadingNumber(std::string_view text);

// Blanks (spaces only) removed at both ends.
inline std::string_view TrimBlanks(std::string_view text) {
  size_t first = 0;
  size_t end = text.size();
  while (first < end && text[first] == ' ') ++first;
  while (end > first && text[end - 1] == ' ') --end;
  return text.substr(first, end - first);
}

// Upper case of UTF-8 text, for ASCII and the Latin letters the databases use.
std::string UpperCase(std::string_view text);

}  // namespace schema
