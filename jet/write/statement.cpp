#include "jet/write/statement.h"

#include <cctype>
#include <vector>

#include "jet/common/error.h"
#include "jet/write/value_conversion.h"

namespace jet {
namespace {

struct Token {
  enum class Kind { kName, kBracketed, kText, kNumber, kDate, kSymbol, kEnd };
  Kind kind = Kind::kEnd;
  std::string text;
};

[[noreturn]] void Syntax(int32_t number) {
  switch (number) {
    case err::kSyntaxInsert: throw Error(number, "Syntax error in INSERT INTO statement.");
    case err::kSyntaxUpdate: throw Error(number, "Syntax error in UPDATE statement.");
    default:
      throw Error(err::kSyntaxOther, "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
  }
}

bool NameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (static_cast<unsigned char>(c) >= 0x80);
}

std::vector<Token> Tokens(const std::string& sql, int32_t error) {
  std::vector<Token> tokens;
  size_t at = 0;
  while (at < sql.size()) {
    const char c = sql[at];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++at;
    } else if (c == '[') {
      const size_t end = sql.find(']', at + 1);
      if (end == std::string::npos || end == at + 1) Syntax(error);
      tokens.push_back({Token::Kind::kBracketed, sql.substr(at + 1, end - at - 1)});
      at = end + 1;
    } else if (c == '\'' || c == '"') {
      std::string text;
      size_t i = at + 1;
      for (;; ++i) {
        if (i >= sql.size()) Syntax(error);
        if (sql[i] == c) {
          if (i + 1 < sql.size() && sql[i + 1] == c) {  // a doubled quote stands for itself
            text += c;
            ++i;
            continue;
          }
          break;
        }
        text += sql[i];
      }
      tokens.push_back({Token::Kind::kText, text});
      at = i + 1;
    } else if (c == '#') {
      const size_t end = sql.find('#', at + 1);
      if (end == std::string::npos) Syntax(error);
      tokens.push_back({Token::Kind::kDate, sql.substr(at + 1, end - at - 1)});
      at = end + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               ((c == '-' || c == '+' || c == '.') && at + 1 < sql.size() &&
                (std::isdigit(static_cast<unsigned char>(sql[at + 1])) || sql[at + 1] == '.'))) {
      size_t end = at + 1;
      while (end < sql.size() && (std::isdigit(static_cast<unsigned char>(sql[end])) || sql[end] == '.' ||
                                  sql[end] == 'e' || sql[end] == 'E'))
        ++end;
      tokens.push_back({Token::Kind::kNumber, sql.substr(at, end - at)});
      at = end;
    } else if (NameCharacter(c)) {
      size_t end = at;
      while (end < sql.size() && NameCharacter(sql[end])) ++end;
      tokens.push_back({Token::Kind::kName, sql.substr(at, end - at)});
      at = end;
    } else {
      tokens.push_back({Token::Kind::kSymbol, std::string(1, c)});
      ++at;
    }
  }
  while (!tokens.empty() && tokens.back().kind == Token::Kind::kSymbol && tokens.back().text == ";") tokens.pop_back();
  tokens.push_back({});
  return tokens;
}

bool Keyword(const Token& token, const char* word) {
  if (token.kind != Token::Kind::kName) return false;
  const std::string& text = token.text;
  size_t i = 0;
  for (; word[i] != '\0'; ++i)
    if (i >= text.size() || std::toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
  return i == text.size();
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, int32_t error) : tokens_(std::move(tokens)), error_(error) {}

  const Token& Peek() const { return tokens_[at_]; }
  const Token& Take() { return tokens_[at_ < tokens_.size() - 1 ? at_++ : at_]; }
  void Expect(const char* word) {
    if (!Keyword(Take(), word)) Syntax(error_);
  }
  void ExpectSymbol(const char* symbol) {
    const Token& token = Take();
    if (token.kind != Token::Kind::kSymbol || token.text != symbol) Syntax(error_);
  }
  bool AtSymbol(const char* symbol) const { return Peek().kind == Token::Kind::kSymbol && Peek().text == symbol; }
  std::string Name() {
    const Token& token = Take();
    if (token.kind != Token::Kind::kName && token.kind != Token::Kind::kBracketed) Syntax(error_);
    return token.text;
  }
  void End() {
    if (Peek().kind != Token::Kind::kEnd) Syntax(error_);
  }

 private:
  std::vector<Token> tokens_;
  size_t at_ = 0;
  int32_t error_;
};

Value Constant(Parser& parser, int32_t error) {
  const Token token = parser.Take();
  switch (token.kind) {
    case Token::Kind::kText: return token.text;
    case Token::Kind::kNumber: {
      const bool integral = token.text.find_first_of(".eE") == std::string::npos;
      if (integral) {
        const long long value = std::stoll(token.text);
        if (value >= INT32_MIN && value <= INT32_MAX) return static_cast<int32_t>(value);
      }
      return std::stod(token.text);
    }
    case Token::Kind::kDate: {
      ColumnDef date;
      date.type = static_cast<uint8_t>(FieldType::kDateTime);
      return ConvertForColumn(token.text, date, Format::kJet4);
    }
    case Token::Kind::kName:
      if (Keyword(token, "NULL")) return Value{};
      if (Keyword(token, "TRUE")) return true;
      if (Keyword(token, "FALSE")) return false;
      [[fallthrough]];
    default:
      Syntax(error);
  }
}

}  // namespace

Statement ParseStatement(const std::string& sql) {
  size_t first = sql.find_first_not_of(" \t\r\n");
  const std::string head = first == std::string::npos ? "" : sql.substr(first, 6);
  std::string upper;
  for (char c : head) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Statement statement;
  if (upper == "UPDATE") {
    Parser parser(Tokens(sql, err::kSyntaxUpdate), err::kSyntaxUpdate);
    parser.Expect("UPDATE");
    statement.kind = Statement::Kind::kUpdate;
    statement.table = parser.Name();
    parser.Expect("SET");
    statement.field = parser.Name();
    if (parser.AtSymbol(".")) {  // table.field
      parser.Take();
      statement.field = parser.Name();
    }
    parser.ExpectSymbol("=");
    statement.constant = Constant(parser, err::kSyntaxUpdate);
    parser.End();
    return statement;
  }
  if (upper == "INSERT") {
    Parser parser(Tokens(sql, err::kSyntaxInsert), err::kSyntaxInsert);
    parser.Expect("INSERT");
    parser.Expect("INTO");
    statement.kind = Statement::Kind::kInsertSelect;
    statement.table = parser.Name();
    parser.Expect("SELECT");
    const std::string star_table = parser.Name();
    parser.ExpectSymbol(".");
    parser.ExpectSymbol("*");
    parser.Expect("FROM");
    statement.source = parser.Name();
    parser.End();
    // SELECT t.* FROM t: the star must be the FROM table's.
    std::string a = star_table, b = statement.source;
    for (char& c : a) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (char& c : b) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (a != b) throw Error(3075, "Syntax error (missing operator) in query expression '" + star_table + ".*'.");
    return statement;
  }
  Syntax(err::kSyntaxOther);
}

}  // namespace jet
