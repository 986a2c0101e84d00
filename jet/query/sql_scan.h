#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

// Splitting Jet SQL text at its top level: outside parentheses, [bracketed names], "text" and
// 'text' literals and #date# literals, which never hold clause keywords or list separators.
// The expressions themselves are kept as written; Access stores them as text.
class SqlScan {
 public:
  // Raises a syntax error (3129) for text whose brackets, quotes or parentheses do not close.
  explicit SqlScan(std::string_view text);

  // Where the keyword sequence (words separated by blanks, e.g. "GROUP BY") starts as whole
  // words at the top level, at or after `from`; npos when absent. Case does not matter.
  size_t Find(std::string_view keywords, size_t from = 0) const;
  // The end of the keyword sequence found at `at`.
  size_t EndOf(std::string_view keywords, size_t at) const;
  // Every top-level occurrence of the keyword sequence.
  std::vector<size_t> FindAll(std::string_view keywords) const;

  // The text split at its top-level occurrences of `separator`, each part trimmed.
  std::vector<std::string> Split(char separator) const;

  // The position of the ')' closing the '(' at `open`; npos when it is not closed.
  size_t MatchingParen(size_t open) const;

  // Whether position `at` lies at the top level.
  bool TopLevel(size_t at) const { return at < depth_.size() && depth_[at] == 0; }

 private:
  bool WordsAt(std::string_view keywords, size_t at, size_t* end) const;

  std::string_view text_;
  std::vector<unsigned char> depth_;    // 0 at the top level, 1 inside anything
  std::vector<unsigned char> literal_;  // 1 inside a literal or a bracketed name
};

std::string Trim(std::string_view text);
bool StartsWithWord(std::string_view text, std::string_view word);  // case-insensitive, whole word

}  // namespace jet
