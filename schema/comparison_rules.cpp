#include "schema/comparison_rules.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>

#include "schema/runtime_error.h"

namespace schema {

namespace {

// Decodes one UTF-8 sequence at `at`; malformed bytes are taken one by one as themselves so
// that no name, however odd, makes a comparison fail.
char32_t NextCodePoint(std::string_view text, size_t& at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length <= 1 || at + length > text.size()) {
    ++at;
    return lead;
  }
  char32_t cp = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      ++at;
      return lead;
    }
    cp = (cp << 6) | (byte(at + i) & 0x3F);
  }
  at += length;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t UpperCodePoint(char32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 32;
  // Latin-1 letters à..þ except ÷; ÿ has its capital in Latin Extended-A.
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 32;
  if (cp == 0xFF) return 0x178;
  // Latin Extended-A pairs capital/small on even/odd code points in most of its range.
  if ((cp >= 0x100 && cp <= 0x137) || (cp >= 0x14A && cp <= 0x177)) return cp & ~char32_t{1};
  if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E)) return (cp % 2 == 0) ? cp - 1 : cp;
  return cp;
}

}  // namespace

std::string UpperCase(std::string_view text) {
  // Most names are ASCII: every name of a large schema is keyed here, so those are copied
  // and raised in place, without decoding.
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::string out(text);
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
  }
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {  // most names are ASCII: no decoding
      out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
      ++at;
      continue;
    }
    AppendUtf8(out, UpperCodePoint(NextCodePoint(text, at)));
  }
  return out;
}

std::string NameKey(std::string_view name) { return UpperCase(TrimBlanks(name)); }

namespace {

// Names are compared and hashed eight bytes at a time: every field name of a large schema is
// hashed and compared a few times in a verify run, and byte by byte that was a tenth of it.
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// The bytes from `at` on, at most eight, in a word; the bytes past the end are 0.
uint64_t WordAt(std::string_view text, size_t at) {
  uint64_t word = 0;
  const size_t left = text.size() - at;
  if (left >= 8) {
    std::memcpy(&word, text.data() + at, 8);
    return word;
  }
  // Fewer: two loads that overlap in the middle, each byte landing at its own place (on a
  // little-endian machine; elsewhere byte by byte).
  const char* bytes = text.data() + at;
  if constexpr (std::endian::native != std::endian::little) {
    for (size_t k = 0; k < left; ++k) word |= uint64_t{static_cast<unsigned char>(bytes[k])} << (8 * k);
    return word;
  }
  if (left >= 4) {
    uint32_t low = 0, high = 0;
    std::memcpy(&low, bytes, 4);
    std::memcpy(&high, bytes + left - 4, 4);
    return uint64_t{low} | (uint64_t{high} << (8 * (left - 4)));
  }
  if (left == 0) return 0;
  auto byte = [&](size_t k) { return uint64_t{static_cast<unsigned char>(bytes[k])} << (8 * k); };
  return byte(0) | byte(left / 2) | byte(left - 1);
}

// Small ASCII letters of a word of ASCII bytes raised: no byte is 0x80 or above, so adding to
// a byte never carries into the next one.
uint64_t RaiseAsciiWord(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  const uint64_t from_a = word + kOnes * (0x80 - 'a');
  const uint64_t past_z = word + kOnes * (0x80 - 'z' - 1);
  const uint64_t small = from_a & ~past_z & kHighBits;
  return word - (small >> 2);  // 0x80 >> 2 is 'a' - 'A'
}

// The hash of a key from its words as they stand (already raised).
class KeyHash {
 public:
  void Add(uint64_t word) { hash_ = (hash_ ^ word) * 0x9E3779B97F4A7C15ull; }
  size_t Finish(size_t length) const {
    uint64_t hash = hash_ ^ length;
    hash ^= hash >> 32;
    hash *= 0xD6E8FEB86659FD93ull;
    hash ^= hash >> 32;
    return static_cast<size_t>(hash);
  }

 private:
  uint64_t hash_ = 0xCBF29CE484222325ull;
};

}  // namespace

size_t NameKeyHash(std::string_view name) {
  // An ASCII name is raised as it is hashed: its key has the same bytes. Any other byte makes
  // the key, which a capital of another length may make longer or shorter than the name.
  const std::string_view trimmed = TrimBlanks(name);
  KeyHash hash;
  for (size_t at = 0; at < trimmed.size(); at += 8) {
    const uint64_t word = WordAt(trimmed, at);
    if ((word & kHighBits) != 0) {
      const std::string key = UpperCase(trimmed);
      KeyHash of_key;
      for (size_t k = 0; k < key.size(); k += 8) of_key.Add(WordAt(key, k));
      return of_key.Finish(key.size());
    }
    hash.Add(RaiseAsciiWord(word));
  }
  return hash.Finish(trimmed.size());
}

bool SameNameSpeltApart(std::string_view a, std::string_view b) {
  a = TrimBlanks(a);
  b = TrimBlanks(b);
  // While both names are ASCII, their keys agree byte for byte with the names raised, so they
  // are settled without building keys. From the first other byte on, a capital may take
  // another length, and the keys decide.
  const size_t common = std::min(a.size(), b.size());
  for (size_t at = 0; at < common; at += 8) {
    const uint64_t x = WordAt(a.substr(0, common), at);
    const uint64_t y = WordAt(b.substr(0, common), at);
    if (((x | y) & kHighBits) != 0) return NameKey(a) == NameKey(b);
    if (x != y && RaiseAsciiWord(x) != RaiseAsciiWord(y)) return false;  // the keys differ here
  }
  // One name is the other's start. If the longer one goes on with other bytes, its key is
  // still longer: a capital of them is never shorter than one byte, and never empty.
  return a.size() == b.size();
}

bool IsKeptQuery(std::string_view name) { return !name.empty() && (name[0] == 'X' || name[0] == 'x'); }

bool HasKvoPrefix(std::string_view file_name) { return UpperCase(file_name.substr(0, 3)) == "KVO"; }

bool IsClientiTmp(std::string_view name) { return UpperCase(TrimBlanks(name)) == "CLIENTI_TMP"; }

double LeadingNumber(std::string_view text) {
  size_t at = 0;
  auto skip_blanks = [&] {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r')) ++at;
  };
  skip_blanks();
  double sign = 1;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    if (text[at] == '-') sign = -1;
    ++at;
  }
  double value = 0;
  double scale = 0;  // 0 while in the integer part, else the weight of the next decimal digit
  for (; at < text.size(); ++at) {
    char c = text[at];
    if (c == ' ' || c == '\t') continue;  // blanks inside a number do not end it
    if (c == '.' && scale == 0) {
      scale = 0.1;
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    if (scale == 0) {
      value = value * 10 + (c - '0');
    } else {
      value += (c - '0') * scale;
      scale /= 10;
    }
  }
  return sign * value;
}

bool IsTemporaryTableName(std::string_view name) {
  std::string_view trimmed = TrimBlanks(name);
  std::string_view tail = trimmed.size() > 3 ? trimmed.substr(trimmed.size() - 3) : trimmed;
  if (tail.empty()) return false;
  if (tail.back() == '_') return true;
  return tail.front() == '_' && LeadingNumber(tail.substr(tail.size() >= 2 ? tail.size() - 2 : 0)) > 10;
}

FieldTypeTable::FieldTypeTable()
    : names_{"",         "Booleano",  "Byte",       "Intero", "Int. Lungo", "Currency", "Pr. singola",
             "Pr. doppia", "Data/Ora", "Tipo 9", "Testo",  "LongBinary", "Memo"} {}

const std::string& FieldTypeTable::Name(int32_t type) const {
  if (type < 1 || type > 12) RaiseSubscriptOutOfRange();
  return names_[static_cast<size_t>(type)];
}

}  // namespace schema
