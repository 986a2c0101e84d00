#pragma once
// Who uses which page: every page reached from the catalog is claimed by one structure, and a
// page claimed by two is damage (a write through one would destroy the other).

#include <cstdint>
#include <map>
#include <string>

#include "jet/check/check_report.h"

namespace jet::check {

enum class PageUse : uint8_t { kDefinition, kData, kIndex, kLongValue, kUsageMap };

const char* NameOf(PageUse use);

class PageClaims {
 public:
  // `owner` names the structure (table, index) within its kind. Long-value pages may carry
  // the values of several columns and tables, and map host pages many maps, so those claims
  // clash only with other kinds of use.
  void Claim(uint32_t page, PageUse use, const std::string& owner, CheckReport& report);

  // A row of a long-value page belongs to exactly one value: two values sharing a row would
  // change together. Also claims its page for long values.
  void ClaimLongValueRow(uint32_t page, uint8_t row, const std::string& owner, CheckReport& report);

  const std::map<uint32_t, std::pair<PageUse, std::string>>& claims() const { return claims_; }

 private:
  std::map<uint32_t, std::pair<PageUse, std::string>> claims_;
  std::map<std::pair<uint32_t, uint8_t>, std::string> long_value_rows_;
};

}  // namespace jet::check
