#include "schema/comparison_rules.h"

#include <algorithm>
#include <cctype>

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

std::string_view TrimBlanks(std::string_view text) {
  size_t first = 0;
  size_t end = text.size();
  while (first < end && text[first] == ' ') ++first;
  while (end > first && text[end - 1] == ' ') --end;
  return text.substr(first, end - first);
}

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

size_t NameKeyHash(std::string_view name) {
  // FNV-1a over the bytes of the key; an ASCII name is raised as it is hashed.
  constexpr uint64_t kBasis = 14695981039346656037ull;
  constexpr uint64_t kPrime = 1099511628211ull;
  const std::string_view trimmed = TrimBlanks(name);
  uint64_t hash = kBasis;
  for (char c : trimmed) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      hash = kBasis;
      for (char k : UpperCase(trimmed)) hash = (hash ^ static_cast<unsigned char>(k)) * kPrime;
      return static_cast<size_t>(hash);
    }
    const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    hash = (hash ^ static_cast<unsigned char>(upper)) * kPrime;
  }
  return static_cast<size_t>(hash);
}

bool SameName(std::string_view a, std::string_view b) {
  a = TrimBlanks(a);
  b = TrimBlanks(b);
  // Most names are ASCII, whose capitals take one byte like their small letters, so while
  // both names are ASCII their keys agree byte for byte with the names raised: they are
  // settled in one walk, without building keys. From the first other byte on, a capital may
  // take another length, and the keys decide.
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (static_cast<unsigned char>(a[i]) >= 0x80 || static_cast<unsigned char>(b[i]) >= 0x80)
      return NameKey(a) == NameKey(b);
    if (upper(a[i]) != upper(b[i])) return false;  // the keys differ at this byte
  }
  // One name is the other's start: the shorter one is ASCII, so its key is as long as it, and
  // the longer one's key is longer.
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
