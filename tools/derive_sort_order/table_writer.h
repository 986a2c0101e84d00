#pragma once

#include <string>
#include <vector>

#include "jet/index/general_sort_order_table.h"

namespace vantrel::derive {

struct DerivedTables {
  std::vector<jet::GeneralSortWeight> jet4;
  std::vector<jet::GeneralSortWeight> jet3;
  std::vector<std::string> sources;  // the sample files read, for the header comment
};

// The whole text of jet/index/general_sort_order_table.cpp.
std::string WriteTableSource(const DerivedTables& tables);

// Character ranges as "U+0001-U+0008, U+0041", choosing observed or filled-in entries.
std::string DescribeRanges(const std::vector<jet::GeneralSortWeight>& table, bool observed);

}  // namespace vantrel::derive
