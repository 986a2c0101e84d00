#pragma once

#include <functional>
#include <string>
#include <vector>

#include "jet/index/general_sort_order_table.h"

namespace vantrel::derive {

struct DerivedTables {
  std::vector<jet::GeneralSortWeight> jet4;
  std::vector<jet::GeneralSortWeight> jet3;
  std::vector<std::string> sources;  // the sample files read, for the header comment
  // Jet 4 characters no sample shows, taken from the public tables, and where those come from.
  std::vector<char16_t> jet4_public;
  std::string public_source;
};

// The whole text of jet/index/general_sort_order_table.cpp.
std::string WriteTableSource(const DerivedTables& tables);

// Character ranges as "U+0001-U+0008, U+0041" of the entries `chosen` picks.
std::string DescribeRanges(const std::vector<jet::GeneralSortWeight>& table,
                           const std::function<bool(const jet::GeneralSortWeight&)>& chosen);

}  // namespace vantrel::derive
