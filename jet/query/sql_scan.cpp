#include "jet/query/sql_scan.h"

#include <cctype>

#include "jet/common/error.h"

namespace jet {
namespace {

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

[[noreturn]] void ThrowUnbalanced() {
  throw Error(err::kSyntaxOther, "Invalid SQL statement: a bracket, quote or parenthesis is not closed.");
}

}  // namespace

std::string Trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

bool StartsWithWord(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Upper(text[i]) != Upper(word[i])) return false;
  }
  return text.size() == word.size() || !IsWordChar(text[word.size()]);
}

SqlScan::SqlScan(std::string_view text) : text_(text), depth_(text.size(), 0), literal_(text.size(), 0) {
  size_t parens = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '[' || c == '"' || c == '\'' || c == '#') {
      const char close = c == '[' ? ']' : c;
      if (c == '#' && i > 0 && IsWordChar(text[i - 1])) continue;  // a name ending in #
      size_t j = i + 1;
      while (j < text.size()) {
        if (text[j] == close) {
          // A doubled quote inside a literal is the quote itself.
          if (close != ']' && j + 1 < text.size() && text[j + 1] == close) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      if (j >= text.size()) ThrowUnbalanced();
      for (size_t k = i; k <= j; ++k) depth_[k] = literal_[k] = 1;
      i = j;
      continue;
    }
    if (c == '(') ++parens;
    if (parens > 0) depth_[i] = 1;
    if (c == ')') {
      if (parens == 0) ThrowUnbalanced();
      --parens;
    }
  }
  if (parens != 0) ThrowUnbalanced();
}

bool SqlScan::WordsAt(std::string_view keywords, size_t at, size_t* end) const {
  if (at > 0 && IsWordChar(text_[at - 1])) return false;
  size_t pos = at;
  size_t k = 0;
  while (k < keywords.size()) {
    if (keywords[k] == ' ') {
      if (pos >= text_.size() || !IsBlank(text_[pos])) return false;
      while (pos < text_.size() && IsBlank(text_[pos])) ++pos;
      ++k;
      continue;
    }
    if (pos >= text_.size() || !TopLevel(pos) || Upper(text_[pos]) != Upper(keywords[k])) return false;
    ++pos;
    ++k;
  }
  if (pos < text_.size() && IsWordChar(text_[pos])) return false;
  *end = pos;
  return true;
}

size_t SqlScan::Find(std::string_view keywords, size_t from) const {
  size_t end = 0;
  for (size_t at = from; at < text_.size(); ++at) {
    if (TopLevel(at) && WordsAt(keywords, at, &end)) return at;
  }
  return std::string_view::npos;
}

size_t SqlScan::EndOf(std::string_view keywords, size_t at) const {
  size_t end = at;
  WordsAt(keywords, at, &end);
  return end;
}

size_t SqlScan::MatchingParen(size_t open) const {
  size_t level = 0;
  for (size_t i = open; i < text_.size(); ++i) {
    if (literal_[i]) continue;
    if (text_[i] == '(') ++level;
    if (text_[i] == ')' && --level == 0) return i;
  }
  return std::string_view::npos;
}

std::vector<size_t> SqlScan::FindAll(std::string_view keywords) const {
  std::vector<size_t> found;
  for (size_t at = Find(keywords); at != std::string_view::npos; at = Find(keywords, at + 1)) found.push_back(at);
  return found;
}

std::vector<std::string> SqlScan::Split(char separator) const {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text_.size(); ++i) {
    if (i == text_.size() || (text_[i] == separator && TopLevel(i))) {
      parts.push_back(Trim(text_.substr(start, i - start)));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace jet
