#include "jet/query/query_from_sql.h"

#include <algorithm>
#include <cctype>

#include "jet/common/error.h"
#include "jet/query/query_attribute.h"
#include "jet/query/sql_scan.h"

namespace jet {
namespace {

namespace qa = query_attribute;

constexpr int32_t kSyntaxFrom = 3131;
constexpr size_t kNotFound = std::string_view::npos;

[[noreturn]] void Syntax(int32_t number, const std::string& detail) {
  switch (number) {
    case kSyntaxFrom: throw Error(number, "Syntax error in FROM clause: " + detail + ".");
    case err::kSyntaxInsert: throw Error(number, "Syntax error in INSERT INTO statement: " + detail + ".");
    case err::kSyntaxUpdate: throw Error(number, "Syntax error in UPDATE statement: " + detail + ".");
    default: throw Error(err::kSyntaxOther, "Invalid SQL statement: " + detail + ".");
  }
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// A name as Jet stores it: without the brackets SQL needs around some names.
std::string Unbracket(const std::string& name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') return name.substr(1, name.size() - 2);
  return name;
}

std::string Unquote(const std::string& text) {
  if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') && text.back() == text.front()) {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

bool IsPlainName(const std::string& name) {
  if (name.empty()) return false;
  if (name.front() == '[') return name.back() == ']' && name.find(']') == name.size() - 1;
  return std::all_of(name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

QueryRow Row(uint8_t attribute, std::optional<std::string> expression = {}, std::optional<int16_t> flag = {},
             std::optional<std::string> name1 = {}, std::optional<std::string> name2 = {}) {
  QueryRow row;
  row.attribute = attribute;
  row.expression = std::move(expression);
  row.flag = flag;
  row.name1 = std::move(name1);
  row.name2 = std::move(name2);
  return row;
}

struct Parts {
  QueryRow type;
  std::vector<QueryRow> parameters;
  std::optional<int16_t> options;
  std::optional<std::string> top;
  std::vector<QueryRow> tables, columns, joins, wheres, groups, havings, orders;

  std::vector<QueryRow> Rows() const {
    std::vector<QueryRow> rows{Row(qa::kStart, {}, 0), type};
    rows.insert(rows.end(), parameters.begin(), parameters.end());
    if (options) rows.push_back(Row(qa::kOptions, {}, *options, top));
    for (const auto* list : {&tables, &columns, &joins, &wheres, &groups, &havings, &orders}) {
      rows.insert(rows.end(), list->begin(), list->end());
    }
    rows.push_back(Row(qa::kEnd));
    return rows;
  }
};

int16_t ParameterType(const std::string& name) {
  static const std::pair<const char*, int16_t> kTypes[] = {
      {"BIT", 1},        {"YESNO", 1},       {"BOOLEAN", 1},    {"LOGICAL", 1},    {"BYTE", 2},
      {"SHORT", 3},      {"SMALLINT", 3},    {"INTEGER2", 3},   {"LONG", 4},       {"INTEGER", 4},
      {"INT", 4},        {"INTEGER4", 4},    {"CURRENCY", 5},   {"MONEY", 5},      {"IEEESINGLE", 6},
      {"SINGLE", 6},     {"REAL", 6},        {"FLOAT4", 6},     {"IEEEDOUBLE", 7}, {"DOUBLE", 7},
      {"FLOAT", 7},      {"FLOAT8", 7},      {"NUMBER", 7},     {"DATETIME", 8},   {"DATE", 8},
      {"TIME", 8},       {"BINARY", 9},      {"VARBINARY", 9},  {"TEXT", 10},      {"CHAR", 10},
      {"VARCHAR", 10},   {"STRING", 10},     {"LONGBINARY", 11}, {"OLEOBJECT", 11}, {"IMAGE", 11},
      {"MEMO", 12},      {"LONGTEXT", 12},   {"LONGCHAR", 12},  {"NOTE", 12},      {"GUID", 15},
      {"UNIQUEIDENTIFIER", 15}};
  const std::string upper = Upper(name);
  for (const auto& [type_name, number] : kTypes) {
    if (upper == type_name) return number;
  }
  Syntax(err::kSyntaxOther, "unknown parameter type " + name);
}

std::vector<QueryRow> ParseParameters(const std::string& text) {
  std::vector<QueryRow> rows;
  for (const auto& declaration : SqlScan(text).Split(',')) {
    const size_t blank = declaration.find_last_of(" \t\r\n");
    if (blank == std::string::npos) Syntax(err::kSyntaxOther, "parameter without a type");
    const std::string name = Trim(declaration.substr(0, blank));
    if (name.empty()) Syntax(err::kSyntaxOther, "parameter without a name");
    rows.push_back(Row(qa::kParameter, {}, ParameterType(declaration.substr(blank + 1)), name));
  }
  return rows;
}

// --- FROM lists -------------------------------------------------------------------------

struct FromNode {
  std::vector<std::string> members;  // names joins refer to: alias, else table name
};

bool Mentions(const std::string& condition, const std::string& name) {
  const std::string upper = Upper(condition);
  for (const std::string& form : {Upper(name) + ".", "[" + Upper(name) + "]."}) {
    for (size_t at = upper.find(form); at != std::string::npos; at = upper.find(form, at + 1)) {
      const bool starts_word = at == 0 || !(std::isalnum(static_cast<unsigned char>(upper[at - 1])) ||
                                            upper[at - 1] == '_' || upper[at - 1] == '[');
      if (form[0] == '[' || starts_word) return true;
    }
  }
  return false;
}

std::string JoinedTable(const FromNode& side, const std::string& condition, bool last_by_default) {
  for (const auto& member : side.members) {
    if (Mentions(condition, member)) return member;
  }
  return last_by_default ? side.members.back() : side.members.front();
}

class FromParser {
 public:
  explicit FromParser(Parts& parts) : parts_(parts) {}

  void List(const std::string& text) {
    if (Trim(text).empty()) Syntax(kSyntaxFrom, "no table");
    for (const auto& item : SqlScan(text).Split(',')) Join(item, 0);
  }

 private:
  FromNode Join(const std::string& text, int depth) {
    if (depth > 64) Syntax(kSyntaxFrom, "joins nested too deeply");
    const SqlScan scan(text);
    size_t best = kNotFound;
    std::string keyword;
    int16_t kind = join_kind::kInner;
    for (const auto& [words, k] : {std::pair<std::string, int16_t>{"INNER JOIN", join_kind::kInner},
                                   {"LEFT JOIN", join_kind::kLeft},
                                   {"LEFT OUTER JOIN", join_kind::kLeft},
                                   {"RIGHT JOIN", join_kind::kRight},
                                   {"RIGHT OUTER JOIN", join_kind::kRight}}) {
      const auto all = scan.FindAll(words);
      if (!all.empty() && (best == kNotFound || all.back() > best)) {
        best = all.back();
        keyword = words;
        kind = k;
      }
    }
    if (best == kNotFound) {
      if (scan.Find("JOIN") != kNotFound) Syntax(kSyntaxFrom, "a join of an unknown kind");
      return Primary(text, depth);
    }
    const std::string rest = text.substr(scan.EndOf(keyword, best));
    const SqlScan rest_scan(rest);
    const size_t on = rest_scan.Find("ON");
    if (on == kNotFound) Syntax(kSyntaxFrom, "a join without ON");
    const std::string condition = Trim(rest.substr(rest_scan.EndOf("ON", on)));
    if (condition.empty() || SqlScan(condition).Find("ON") != kNotFound) Syntax(kSyntaxFrom, "a join condition");

    FromNode left = Join(text.substr(0, best), depth + 1);
    FromNode right = Primary(rest.substr(0, on), depth + 1);
    AddJoin(left, right, condition, kind);
    left.members.insert(left.members.end(), right.members.begin(), right.members.end());
    return left;
  }

  // Access keeps each of "(a) AND (b)" as a row of its own when they join the same two tables;
  // it lists them last condition first.
  void AddJoin(const FromNode& left, const FromNode& right, const std::string& condition, int16_t kind) {
    const SqlScan scan(condition);
    const auto ands = scan.FindAll("AND");
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t at : ands) {
      pieces.push_back(Trim(condition.substr(start, at - start)));
      start = at + 3;
    }
    pieces.push_back(Trim(condition.substr(start)));
    bool separate = pieces.size() > 1;
    for (auto& piece : pieces) {
      if (piece.size() < 2 || piece.front() != '(' || piece.back() != ')' || !SqlScan(piece.substr(1, piece.size() - 2)).TopLevel(0)) {
        separate = false;
        break;
      }
    }
    if (separate) {
      for (auto& piece : pieces) piece = Trim(piece.substr(1, piece.size() - 2));
      const std::string l = JoinedTable(left, pieces[0], true), r = JoinedTable(right, pieces[0], false);
      for (const auto& piece : pieces) {
        if (JoinedTable(left, piece, true) != l || JoinedTable(right, piece, false) != r) separate = false;
      }
    }
    if (!separate) pieces = {condition};
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
      parts_.joins.push_back(Row(qa::kJoin, *it, kind, JoinedTable(left, *it, true), JoinedTable(right, *it, false)));
    }
  }

  FromNode Primary(const std::string& raw, int depth) {
    const std::string text = Trim(raw);
    if (text.empty()) Syntax(kSyntaxFrom, "a missing table");
    if (text.front() == '(') {
      const size_t close = SqlScan(text).MatchingParen(0);
      if (close == kNotFound) Syntax(kSyntaxFrom, "an unclosed parenthesis");
      const std::string inner = text.substr(1, close - 1);
      if (close + 1 == text.size()) return Join(inner, depth + 1);
      if (!StartsWithWord(Trim(inner), "SELECT")) Syntax(kSyntaxFrom, "a parenthesis that is neither a join nor a SELECT");
      const std::string alias = Alias(text.substr(close + 1));
      if (alias.empty()) Syntax(kSyntaxFrom, "a SELECT in FROM without a name");
      parts_.tables.push_back(Row(qa::kTable, Trim(inner), {}, {}, alias));
      return FromNode{{alias}};
    }
    const SqlScan scan(text);
    size_t name_end = 0;
    while (name_end < text.size() && !(scan.TopLevel(name_end) && std::isspace(static_cast<unsigned char>(text[name_end])))) ++name_end;
    const std::string name = text.substr(0, name_end);
    if (!IsPlainName(name)) Syntax(kSyntaxFrom, "table name " + name);
    const std::string alias = Alias(text.substr(name_end));
    parts_.tables.push_back(Row(qa::kTable, {}, {}, Unbracket(name), alias.empty() ? std::nullopt : std::optional(alias)));
    return FromNode{{alias.empty() ? Unbracket(name) : alias}};
  }

  // "[AS] name" after a table; empty when nothing follows.
  static std::string Alias(const std::string& raw) {
    std::string text = Trim(raw);
    if (StartsWithWord(text, "AS")) text = Trim(text.substr(2));
    if (text.empty()) return "";
    if (!IsPlainName(text)) Syntax(kSyntaxFrom, "table alias " + text);
    return Unbracket(text);
  }

  Parts& parts_;
};

// --- SELECT-like statements -------------------------------------------------------------

// The clauses of a statement in the order Jet requires them; a keyword out of order or
// repeated is a syntax error rather than text silently folded into a neighbouring clause.
std::vector<std::optional<std::string>> Clauses(const std::string& text, const std::vector<std::string>& keywords) {
  const SqlScan scan(text);
  std::vector<size_t> starts(keywords.size(), kNotFound);
  size_t cursor = 0;
  for (size_t k = 0; k < keywords.size(); ++k) {
    const size_t at = scan.Find(keywords[k], cursor);
    if (at == kNotFound) continue;
    starts[k] = at;
    cursor = scan.EndOf(keywords[k], at);
  }
  std::vector<std::optional<std::string>> clauses(keywords.size() + 1);
  size_t previous_end = 0;
  size_t slot = 0;  // clause 0 is the text before the first keyword
  auto close = [&](size_t end) { clauses[slot] = Trim(text.substr(previous_end, end - previous_end)); };
  for (size_t k = 0; k < keywords.size(); ++k) {
    if (starts[k] == kNotFound) continue;
    close(starts[k]);
    slot = k + 1;
    previous_end = scan.EndOf(keywords[k], starts[k]);
  }
  close(text.size());
  for (const auto& clause : clauses) {
    if (!clause) continue;
    const SqlScan inner(*clause);
    for (const auto& keyword : keywords) {
      if (inner.Find(keyword) != kNotFound) Syntax(err::kSyntaxOther, keyword + " out of place");
    }
  }
  return clauses;
}

std::vector<std::string> List(const std::string& text) {
  auto items = SqlScan(text).Split(',');
  for (const auto& item : items) {
    if (item.empty()) Syntax(err::kSyntaxOther, "an empty item in a list");
  }
  return items;
}

QueryRow ColumnRow(const std::string& item, int16_t flag) {
  const SqlScan scan(item);
  const auto as = scan.FindAll("AS");
  if (as.empty()) return Row(qa::kColumn, item, flag);
  const std::string alias = Trim(item.substr(as.back() + 2));
  const std::string expression = Trim(item.substr(0, as.back()));
  if (!IsPlainName(alias) || expression.empty()) Syntax(err::kSyntaxOther, "column alias " + alias);
  return Row(qa::kColumn, expression, flag, Unbracket(alias));
}

// DISTINCT, DISTINCTROW, TOP n [PERCENT] at the head of a select list; returns the rest.
std::string Predicates(std::string text, Parts& parts) {
  int16_t options = parts.options.value_or(0);
  for (bool more = true; more;) {
    more = false;
    text = Trim(text);
    if (StartsWithWord(text, "DISTINCTROW")) {
      options |= query_option::kDistinctRow, text = text.substr(11), more = true;
    } else if (StartsWithWord(text, "DISTINCT")) {
      options |= query_option::kDistinct, text = text.substr(8), more = true;
    } else if (StartsWithWord(text, "ALL")) {
      text = text.substr(3), more = true;
    } else if (StartsWithWord(text, "TOP")) {
      text = Trim(text.substr(3));
      size_t digits = 0;
      while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
      if (digits == 0) Syntax(err::kSyntaxOther, "TOP without a number");
      parts.top = text.substr(0, digits);
      options |= query_option::kTop;
      text = Trim(text.substr(digits));
      if (StartsWithWord(text, "PERCENT")) options |= query_option::kPercent, text = text.substr(7);
      more = true;
    }
  }
  parts.options = options;
  return Trim(text);
}

void SelectList(const std::string& text, Parts& parts, int16_t flag) {
  if (text.empty()) Syntax(err::kSyntaxOther, "a SELECT without fields");
  for (const auto& item : List(text)) {
    if (item == "*") {
      parts.options = parts.options.value_or(0) | query_option::kSelectStar;
    } else {
      parts.columns.push_back(ColumnRow(item, flag));
    }
  }
}

void OrderBy(const std::string& text, Parts& parts) {
  for (auto item : List(text)) {
    std::optional<std::string> direction;
    const SqlScan scan(item);
    const auto desc = scan.FindAll("DESC"), asc = scan.FindAll("ASC");
    if (!desc.empty() && Trim(item.substr(desc.back() + 4)).empty()) {
      item = Trim(item.substr(0, desc.back()));
      direction = "D";
    } else if (!asc.empty() && Trim(item.substr(asc.back() + 3)).empty()) {
      item = Trim(item.substr(0, asc.back()));
    }
    parts.orders.push_back(Row(qa::kOrderBy, item, {}, direction));
  }
}

void Tail(const std::optional<std::string>& from, const std::optional<std::string>& where,
          const std::optional<std::string>& group, const std::optional<std::string>& having,
          const std::optional<std::string>& order, const std::optional<std::string>& owner, Parts& parts,
          int16_t group_flag) {
  if (from) FromParser(parts).List(*from);
  if (where) parts.wheres.push_back(Row(qa::kWhere, *where));
  if (group) {
    for (const auto& item : List(*group)) parts.groups.push_back(Row(qa::kGroupBy, item, group_flag));
  }
  if (having) parts.havings.push_back(Row(qa::kHaving, *having));
  if (order) OrderBy(*order, parts);
  if (owner) {
    if (!owner->empty()) Syntax(err::kSyntaxOther, "text after WITH OWNERACCESS OPTION");
    parts.options = parts.options.value_or(0) | query_option::kOwnerAccess;
  }
}

const std::vector<std::string> kSelectKeywords = {"INTO", "FROM", "WHERE", "GROUP BY", "HAVING", "ORDER BY",
                                                  "WITH OWNERACCESS OPTION"};

// "table [IN 'database']" of INTO and INSERT INTO.
void Target(const std::string& text, Parts& parts, int32_t error) {
  const SqlScan scan(text);
  const size_t in = scan.Find("IN");
  const std::string name = Trim(in == kNotFound ? text : text.substr(0, in));
  if (!IsPlainName(name)) Syntax(error, "target table " + name);
  parts.type.name1 = Unbracket(name);
  if (in != kNotFound) parts.type.name2 = Unquote(Trim(text.substr(in + 2)));
}

void Select(const std::string& body, Parts& parts, int16_t column_flag, int16_t group_flag) {
  const auto c = Clauses(Predicates(body, parts), kSelectKeywords);
  SelectList(*c[0], parts, column_flag);
  if (c[1]) {
    parts.type.flag = static_cast<int16_t>(QueryType::kMakeTable);
    Target(*c[1], parts, err::kSyntaxOther);
  }
  Tail(c[2], c[3], c[4], c[5], c[6], c[7], parts, group_flag);
}

void Insert(const std::string& body, Parts& parts) {
  const SqlScan scan(body);
  if (!StartsWithWord(body, "INTO")) Syntax(err::kSyntaxInsert, "INTO missing");
  const size_t select = scan.Find("SELECT");
  if (select == kNotFound) Syntax(err::kSyntaxInsert, "only INSERT INTO ... SELECT can be stored");
  std::string head = Trim(body.substr(4, select - 4));
  std::vector<std::string> targets;
  if (!head.empty() && head.back() == ')') {
    const size_t open = head.find('(');
    if (open == std::string::npos) Syntax(err::kSyntaxInsert, "field list");
    targets = List(head.substr(open + 1, head.size() - open - 2));
    head = Trim(head.substr(0, open));
  }
  Target(head, parts, err::kSyntaxInsert);
  parts.type.flag = static_cast<int16_t>(QueryType::kAppend);
  const auto c = Clauses(Predicates(body.substr(scan.EndOf("SELECT", select)), parts), kSelectKeywords);
  if (c[1]) Syntax(err::kSyntaxInsert, "INTO inside the SELECT");
  SelectList(*c[0], parts, 0);
  Tail(c[2], c[3], c[4], c[5], c[6], c[7], parts, 0);
  if (!targets.empty()) {
    if (targets.size() != parts.columns.size()) Syntax(err::kSyntaxInsert, "field counts differ");
    for (size_t i = 0; i < targets.size(); ++i) {
      if (!IsPlainName(targets[i])) Syntax(err::kSyntaxInsert, "field " + targets[i]);
      parts.columns[i].name2 = Unbracket(targets[i]);
    }
  }
}

void Update(const std::string& body, Parts& parts) {
  const auto c = Clauses(body, {"SET", "WHERE", "WITH OWNERACCESS OPTION"});
  if (!c[1] || c[0]->empty()) Syntax(err::kSyntaxUpdate, "SET missing");
  FromParser(parts).List(*c[0]);
  for (const auto& item : List(*c[1])) {
    const SqlScan scan(item);
    size_t eq = 0;
    while (eq < item.size() && !(item[eq] == '=' && scan.TopLevel(eq))) ++eq;
    const std::string target = Trim(item.substr(0, eq));
    const std::string value = eq < item.size() ? Trim(item.substr(eq + 1)) : "";
    if (target.empty() || value.empty()) Syntax(err::kSyntaxUpdate, "assignment " + item);
    parts.columns.push_back(Row(qa::kColumn, value, 0, {}, target));
  }
  if (c[2]) parts.wheres.push_back(Row(qa::kWhere, *c[2]));
  if (c[3]) Tail({}, {}, {}, {}, {}, c[3], parts, 0);
}

void Delete(const std::string& body, Parts& parts) {
  const auto c = Clauses(Predicates(body, parts), {"FROM", "WHERE", "WITH OWNERACCESS OPTION"});
  if (!c[1]) Syntax(err::kSyntaxOther, "DELETE without FROM");
  if (!c[0]->empty()) SelectList(*c[0], parts, 0);
  Tail(c[1], c[2], {}, {}, {}, c[3], parts, 0);
}

void CrossTab(const std::string& body, Parts& parts) {
  const auto c = Clauses(body, {"SELECT", "PIVOT"});
  if (!c[1] || !c[2]) Syntax(err::kSyntaxOther, "TRANSFORM without SELECT or PIVOT");
  if (SqlScan(*c[2]).Find("IN") != kNotFound) Syntax(err::kSyntaxOther, "PIVOT ... IN cannot be stored");
  for (const auto& item : List(*c[0])) parts.columns.push_back(ColumnRow(item, crosstab_part::kValue));
  Select(*c[1], parts, crosstab_part::kRowHeading, crosstab_part::kRowHeading);
  if (parts.type.flag != static_cast<int16_t>(QueryType::kCrossTab)) Syntax(err::kSyntaxOther, "INTO in a crosstab");
  parts.columns.push_back(Row(qa::kColumn, *c[2], crosstab_part::kColumnHeading));
  parts.groups.push_back(Row(qa::kGroupBy, *c[2], crosstab_part::kColumnHeading));
}

void Union(const std::string& text, const std::vector<size_t>& unions, Parts& parts) {
  const SqlScan scan(text);
  const size_t last = unions.back();
  std::string second = text.substr(last + 5);
  const bool all = StartsWithWord(Trim(second), "ALL");
  if (all) second = Trim(second).substr(3);
  size_t skip = 0;
  while (skip < second.size() && std::isspace(static_cast<unsigned char>(second[skip]))) ++skip;
  second = second.substr(skip);
  const std::string first = text.substr(0, last);
  if (Trim(first).empty() || Trim(second).empty()) Syntax(err::kSyntaxOther, "UNION with a missing part");
  parts.type.flag = static_cast<int16_t>(QueryType::kUnion);
  parts.options = all ? query_option::kSelectStar : query_option::kSelectStar | query_option::kUnionDistinct;
  parts.tables.push_back(Row(qa::kTable, first, {}, {}, "X7YZ_____1"));
  parts.tables.push_back(Row(qa::kTable, second, {}, {}, "X7YZ_____2"));
}

}  // namespace

std::vector<QueryRow> QueryRowsFromSql(const std::string& name, const std::string& sql) {
  if (sql.find('\0') != std::string::npos) Syntax(err::kSyntaxOther, "query " + name + " holds a zero character");
  std::string text = Trim(sql);
  SqlScan whole(text);  // refuses unbalanced text before anything else

  Parts parts;
  parts.type = Row(qa::kType, {}, static_cast<int16_t>(QueryType::kSelect));
  if (StartsWithWord(text, "CREATE") || StartsWithWord(text, "ALTER") || StartsWithWord(text, "DROP")) {
    // Access keeps data-definition text as written, with a terminating zero.
    parts.type.flag = static_cast<int16_t>(QueryType::kDataDefinition);
    parts.type.expression = text + std::string(1, '\0');
    return parts.Rows();
  }
  if (StartsWithWord(text, "PARAMETERS")) {
    size_t semicolon = 0;
    while (semicolon < text.size() && !(text[semicolon] == ';' && whole.TopLevel(semicolon))) ++semicolon;
    if (semicolon == text.size()) Syntax(err::kSyntaxOther, "PARAMETERS without its ';'");
    parts.parameters = ParseParameters(text.substr(10, semicolon - 10));
    text = Trim(text.substr(semicolon + 1));
  }
  while (!text.empty() && text.back() == ';') text = Trim(text.substr(0, text.size() - 1));
  const SqlScan scan(text);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ';' && scan.TopLevel(i)) Syntax(err::kSyntaxOther, "more than one statement");
  }

  const size_t first_word = std::min(text.find_first_of(" \t\r\n"), text.size());
  const std::string keyword = Upper(text.substr(0, first_word));
  const std::string body = text.substr(first_word);
  if (keyword == "SELECT") {
    const auto unions = scan.FindAll("UNION");
    if (unions.empty()) {
      Select(body, parts, 0, 0);
    } else {
      Union(text, unions, parts);
    }
  } else if (keyword == "TRANSFORM") {
    parts.type.flag = static_cast<int16_t>(QueryType::kCrossTab);
    CrossTab(body, parts);
  } else if (keyword == "INSERT") {
    Insert(Trim(body), parts);
  } else if (keyword == "UPDATE") {
    parts.type.flag = static_cast<int16_t>(QueryType::kUpdate);
    parts.options = 0;
    Update(body, parts);
  } else if (keyword == "DELETE") {
    parts.type.flag = static_cast<int16_t>(QueryType::kDelete);
    parts.options = parts.options.value_or(0);
    Delete(body, parts);
  } else {
    throw Error(err::kSyntaxOther,
                "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
  }
  return parts.Rows();
}

}  // namespace jet
