#pragma once

#include <string>

namespace update {

// A table or field name as it stands in a statement: in brackets, so that names with
// blanks or reserved words still parse.
inline std::string Bracketed(const std::string& name) { return "[" + name + "]"; }

}  // namespace update
