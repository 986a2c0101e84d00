#include "jet/query/query_sql.h"

#include <algorithm>
#include <cctype>

#include "jet/common/error.h"

namespace jet {
namespace {

namespace qa = query_attribute;

constexpr const char* kLineBreak = "\r\n";

std::string Text(const std::optional<std::string>& value) { return value.value_or(""); }

// Names are stored bare; SQL needs brackets around those that are not plain words.
std::string Name(const std::optional<std::string>& value) {
  const std::string name = Text(value);
  const bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0])) &&
                     std::all_of(name.begin(), name.end(), [](char c) {
                       return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
                     });
  return plain ? name : "[" + name + "]";
}

std::vector<const QueryRow*> RowsOf(const std::vector<QueryRow>& rows, uint8_t attribute) {
  std::vector<const QueryRow*> found;
  for (const auto& row : rows) {
    if (row.attribute == attribute) found.push_back(&row);
  }
  return found;
}

const QueryRow* FirstOf(const std::vector<QueryRow>& rows, uint8_t attribute) {
  for (const auto& row : rows) {
    if (row.attribute == attribute) return &row;
  }
  return nullptr;
}

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += separator;
    out += parts[i];
  }
  return out;
}

// DAO's names for parameter types in a PARAMETERS clause.
std::string ParameterTypeName(int16_t type) {
  switch (type) {
    case 1: return "Bit";
    case 2: return "Byte";
    case 3: return "Short";
    case 4: return "Long";
    case 5: return "Currency";
    case 6: return "IEEESingle";
    case 7: return "IEEEDouble";
    case 8: return "DateTime";
    case 9: return "Binary";
    case 10: return "Text";
    case 11: return "LongBinary";
    case 12: return "Memo";
    case 15: return "Guid";
    case 16: return "Long";  // big integer has no SQL name of its own in Jet 4
    case 20: return "Decimal";
    default: return "Value";
  }
}

int16_t OptionFlags(const std::vector<QueryRow>& rows) {
  const QueryRow* options = FirstOf(rows, qa::kOptions);
  return options ? options->flag.value_or(0) : 0;
}

std::string ParametersClause(const std::vector<QueryRow>& rows) {
  std::vector<std::string> parameters;
  for (const QueryRow* row : RowsOf(rows, qa::kParameter)) {
    parameters.push_back(Text(row->name1) + " " + ParameterTypeName(row->flag.value_or(0)));
  }
  if (parameters.empty()) return "";
  return "PARAMETERS " + Joined(parameters, ", ") + ";" + kLineBreak;
}

// The FROM list: every table once, tables linked by joins folded into one nested join each,
// in the place of the join's first table.
std::string FromList(const std::vector<QueryRow>& rows) {
  struct Component {
    std::string text;
    std::vector<std::string> members;  // the names joins use: alias, else table name
    bool is_join = false;
  };
  std::vector<Component> components;
  for (const QueryRow* row : RowsOf(rows, qa::kTable)) {
    Component c;
    const std::string alias = Text(row->name2);
    if (row->expression) {
      c.text = "(" + *row->expression + ")";
    } else {
      c.text = Name(row->name1);
    }
    if (!alias.empty()) c.text += " AS " + Name(alias);
    c.members.push_back(alias.empty() ? Text(row->name1) : alias);
    components.push_back(std::move(c));
  }

  // Joins between the same two tables form one ON with their conditions ANDed.
  struct Join {
    std::string left, right;
    int16_t kind;
    std::vector<std::string> conditions;
  };
  std::vector<Join> joins;
  for (const QueryRow* row : RowsOf(rows, qa::kJoin)) {
    const std::string left = Text(row->name1), right = Text(row->name2);
    auto same = std::find_if(joins.begin(), joins.end(), [&](const Join& j) { return j.left == left && j.right == right; });
    if (same == joins.end()) {
      joins.push_back({left, right, row->flag.value_or(join_kind::kInner), {Text(row->expression)}});
    } else {
      same->conditions.insert(same->conditions.begin(), Text(row->expression));
    }
  }

  auto find = [&components](const std::string& name) {
    return std::find_if(components.begin(), components.end(), [&](const Component& c) {
      return std::find(c.members.begin(), c.members.end(), name) != c.members.end();
    });
  };
  for (const auto& join : joins) {
    std::string on;
    if (join.conditions.size() == 1) {
      on = join.conditions[0];
    } else {
      std::vector<std::string> wrapped;
      for (const auto& condition : join.conditions) wrapped.push_back("(" + condition + ")");
      on = Joined(wrapped, " AND ");
    }
    auto left = find(join.left);
    auto right = find(join.right);
    if (left == components.end() || right == components.end()) {
      ThrowCorrupt("query join names a table the query does not list");
    }
    if (left == right) {
      // Both tables already joined through another path: the condition still applies.
      left->text += " AND (" + on + ")";
      continue;
    }
    const char* keyword = join.kind == join_kind::kLeft    ? " LEFT JOIN "
                          : join.kind == join_kind::kRight ? " RIGHT JOIN "
                                                           : " INNER JOIN ";
    auto operand = [](const Component& c) { return c.is_join ? "(" + c.text + ")" : c.text; };
    Component merged;
    merged.text = operand(*left) + keyword + operand(*right) + " ON " + on;
    merged.is_join = true;
    merged.members = left->members;
    merged.members.insert(merged.members.end(), right->members.begin(), right->members.end());
    *left = std::move(merged);
    components.erase(right);
  }
  std::vector<std::string> texts;
  for (const auto& c : components) texts.push_back(c.text);
  return Joined(texts, ", ");
}

std::string ColumnText(const QueryRow& row) {
  std::string text = Text(row.expression);
  if (row.name1 && !row.name1->empty()) text += " AS " + Name(row.name1);
  return text;
}

// Columns of the SELECT list, with "*" first when the query outputs all fields.
std::vector<std::string> SelectList(const std::vector<QueryRow>& rows, int16_t options) {
  std::vector<std::string> columns;
  if (options & query_option::kSelectStar) columns.push_back("*");
  for (const QueryRow* row : RowsOf(rows, qa::kColumn)) columns.push_back(ColumnText(*row));
  return columns;
}

std::string SelectPrefix(const std::vector<QueryRow>& rows, int16_t options) {
  std::string out;
  if (options & query_option::kDistinct) {
    out += " DISTINCT";
  } else if (options & query_option::kDistinctRow) {
    out += " DISTINCTROW";
  }
  if (options & query_option::kTop) {
    const QueryRow* row = FirstOf(rows, qa::kOptions);
    out += " TOP " + Text(row->name1);
    if (options & query_option::kPercent) out += " PERCENT";
  }
  return out;
}

std::string ExpressionClause(const std::vector<QueryRow>& rows, uint8_t attribute, const char* keyword) {
  const QueryRow* row = FirstOf(rows, attribute);
  if (!row || !row->expression) return "";
  return std::string(kLineBreak) + keyword + " " + *row->expression;
}

std::string GroupByClause(const std::vector<const QueryRow*>& groups) {
  std::vector<std::string> parts;
  for (const QueryRow* row : groups) parts.push_back(Text(row->expression));
  if (parts.empty()) return "";
  return std::string(kLineBreak) + "GROUP BY " + Joined(parts, ", ");
}

std::string OrderByClause(const std::vector<QueryRow>& rows) {
  std::vector<std::string> parts;
  for (const QueryRow* row : RowsOf(rows, qa::kOrderBy)) {
    std::string part = Text(row->expression);
    if (row->name1 && (*row->name1 == "D" || *row->name1 == "d")) part += " DESC";
    parts.push_back(part);
  }
  if (parts.empty()) return "";
  return std::string(kLineBreak) + "ORDER BY " + Joined(parts, ", ");
}

// Jet accepts a SELECT of expressions only, without FROM.
std::string FromClause(const std::vector<QueryRow>& rows) {
  if (!FirstOf(rows, qa::kTable)) return "";
  return std::string(kLineBreak) + "FROM " + FromList(rows);
}

// The tail shared by the select-like types: FROM, WHERE, GROUP BY, HAVING, ORDER BY.
std::string SelectTail(const std::vector<QueryRow>& rows) {
  std::string out = FromClause(rows);
  out += ExpressionClause(rows, qa::kWhere, "WHERE");
  out += GroupByClause(RowsOf(rows, qa::kGroupBy));
  out += ExpressionClause(rows, qa::kHaving, "HAVING");
  out += OrderByClause(rows);
  return out;
}

std::string InDatabase(const QueryRow& type_row) {
  if (!type_row.name2 || type_row.name2->empty()) return "";
  return " IN '" + *type_row.name2 + "'";
}

std::string OwnerAccess(int16_t options) {
  return (options & query_option::kOwnerAccess) ? std::string(kLineBreak) + "WITH OWNERACCESS OPTION" : "";
}

std::string SelectSql(const std::vector<QueryRow>& rows, const QueryRow& type_row, bool make_table) {
  const int16_t options = OptionFlags(rows);
  std::string out = "SELECT" + SelectPrefix(rows, options) + " " + Joined(SelectList(rows, options), ", ");
  if (make_table) out += " INTO " + Name(type_row.name1) + InDatabase(type_row);
  return out + SelectTail(rows) + OwnerAccess(options);
}

std::string AppendSql(const std::vector<QueryRow>& rows, const QueryRow& type_row) {
  const int16_t options = OptionFlags(rows);
  std::vector<std::string> targets;
  for (const QueryRow* row : RowsOf(rows, qa::kColumn)) {
    if (row->name2) targets.push_back(Name(row->name2));
  }
  std::string out = "INSERT INTO " + Name(type_row.name1) + InDatabase(type_row);
  if (!targets.empty()) out += " (" + Joined(targets, ", ") + ")";
  out += kLineBreak;
  std::vector<std::string> sources;
  if (options & query_option::kSelectStar) sources.push_back("*");
  for (const QueryRow* row : RowsOf(rows, qa::kColumn)) sources.push_back(Text(row->expression));
  out += "SELECT" + SelectPrefix(rows, options) + " " + Joined(sources, ", ");
  return out + SelectTail(rows) + OwnerAccess(options);
}

std::string UpdateSql(const std::vector<QueryRow>& rows) {
  std::vector<std::string> assignments;
  for (const QueryRow* row : RowsOf(rows, qa::kColumn)) {
    assignments.push_back(Text(row->name2) + " = " + Text(row->expression));
  }
  std::string out = "UPDATE " + FromList(rows) + kLineBreak + "SET " + Joined(assignments, ", ");
  out += ExpressionClause(rows, qa::kWhere, "WHERE");
  return out + OwnerAccess(OptionFlags(rows));
}

std::string DeleteSql(const std::vector<QueryRow>& rows) {
  const int16_t options = OptionFlags(rows);
  std::string out = "DELETE" + SelectPrefix(rows, options);
  const auto columns = SelectList(rows, options);
  if (!columns.empty()) out += " " + Joined(columns, ", ");
  out += std::string(kLineBreak) + "FROM " + FromList(rows);
  out += ExpressionClause(rows, qa::kWhere, "WHERE");
  return out + OwnerAccess(options);
}

std::string CrossTabSql(const std::vector<QueryRow>& rows) {
  std::vector<std::string> values, headings;
  std::string pivot;
  for (const QueryRow* row : RowsOf(rows, qa::kColumn)) {
    switch (row->flag.value_or(crosstab_part::kValue)) {
      case crosstab_part::kColumnHeading: pivot = Text(row->expression); break;
      case crosstab_part::kRowHeading: headings.push_back(ColumnText(*row)); break;
      default: values.push_back(ColumnText(*row)); break;
    }
  }
  std::vector<const QueryRow*> row_groups;
  for (const QueryRow* row : RowsOf(rows, qa::kGroupBy)) {
    if (row->flag.value_or(crosstab_part::kRowHeading) == crosstab_part::kRowHeading) row_groups.push_back(row);
  }
  const int16_t options = OptionFlags(rows);
  std::string out = "TRANSFORM " + Joined(values, ", ") + kLineBreak;
  out += "SELECT" + SelectPrefix(rows, options) + " " + Joined(headings, ", ");
  out += FromClause(rows);
  out += ExpressionClause(rows, qa::kWhere, "WHERE");
  out += GroupByClause(row_groups);
  out += ExpressionClause(rows, qa::kHaving, "HAVING");
  out += OrderByClause(rows);
  out += std::string(kLineBreak) + "PIVOT " + pivot;
  return out;
}

std::string TrimLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string UnionSql(const std::vector<QueryRow>& rows) {
  std::vector<std::string> parts;
  for (const QueryRow* row : RowsOf(rows, qa::kTable)) {
    if (row->expression) parts.push_back(TrimLineEnd(*row->expression));
  }
  if (parts.empty()) ThrowCorrupt("union query without its parts");
  const char* joiner = (OptionFlags(rows) & query_option::kUnionDistinct) ? "UNION " : "UNION ALL ";
  return Joined(parts, (std::string(kLineBreak) + joiner).c_str()) + OrderByClause(rows);
}

std::string StoredText(const QueryRow& type_row) {
  std::string text = Text(type_row.expression);
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

}  // namespace

QueryType QueryTypeOf(const std::vector<QueryRow>& rows) {
  const QueryRow* type_row = FirstOf(rows, qa::kType);
  if (!type_row || !type_row->flag) ThrowCorrupt("query without its type row");
  const int16_t flag = *type_row->flag;
  if (flag < static_cast<int16_t>(QueryType::kSelect) || flag > static_cast<int16_t>(QueryType::kUnion)) {
    ThrowCorrupt("query of unknown type " + std::to_string(flag));
  }
  return static_cast<QueryType>(flag);
}

const char* QueryTypeName(QueryType type) {
  switch (type) {
    case QueryType::kSelect: return "SELECT";
    case QueryType::kMakeTable: return "MAKE_TABLE";
    case QueryType::kAppend: return "APPEND";
    case QueryType::kUpdate: return "UPDATE";
    case QueryType::kDelete: return "DELETE";
    case QueryType::kCrossTab: return "CROSS_TAB";
    case QueryType::kDataDefinition: return "DATA_DEFINITION";
    case QueryType::kPassThrough: return "PASSTHROUGH";
    case QueryType::kUnion: return "UNION";
  }
  return "SELECT";
}

std::string QuerySql(const std::vector<QueryRow>& rows) {
  const QueryType type = QueryTypeOf(rows);
  const QueryRow& type_row = *FirstOf(rows, qa::kType);
  if (type == QueryType::kPassThrough || type == QueryType::kDataDefinition) return StoredText(type_row);
  std::string body;
  switch (type) {
    case QueryType::kSelect: body = SelectSql(rows, type_row, false); break;
    case QueryType::kMakeTable: body = SelectSql(rows, type_row, true); break;
    case QueryType::kAppend: body = AppendSql(rows, type_row); break;
    case QueryType::kUpdate: body = UpdateSql(rows); break;
    case QueryType::kDelete: body = DeleteSql(rows); break;
    case QueryType::kCrossTab: body = CrossTabSql(rows); break;
    default: body = UnionSql(rows); break;
  }
  return ParametersClause(rows) + body + ";";
}

}  // namespace jet
