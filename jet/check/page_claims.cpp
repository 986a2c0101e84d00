#include "jet/check/page_claims.h"

namespace jet::check {

const char* NameOf(PageUse use) {
  switch (use) {
    case PageUse::kDefinition: return "table definition";
    case PageUse::kData: return "data";
    case PageUse::kIndex: return "index";
    case PageUse::kLongValue: return "long value";
    case PageUse::kUsageMap: return "usage map";
  }
  return "?";
}

void PageClaims::Claim(uint32_t page, PageUse use, const std::string& owner, CheckReport& report) {
  const auto [at, added] = claims_.emplace(page, std::make_pair(use, owner));
  if (added) return;
  const auto& [earlier_use, earlier_owner] = at->second;
  const bool sharable = use == PageUse::kLongValue || use == PageUse::kUsageMap;
  if (earlier_use == use && (sharable || earlier_owner == owner)) return;
  report.Add(Severity::kError, page, owner,
             std::string("page is used as ") + NameOf(use) + " page of " + owner + " and as " +
                 NameOf(earlier_use) + " page of " + earlier_owner);
}

void PageClaims::ClaimLongValueRow(uint32_t page, uint8_t row, const std::string& owner, CheckReport& report) {
  Claim(page, PageUse::kLongValue, owner, report);
  const auto [at, added] = long_value_rows_.emplace(std::make_pair(page, row), owner);
  if (!added)
    report.Add(Severity::kError, page, owner,
               "long-value row " + std::to_string(row) + " belongs to a value of " + owner + " and to one of " +
                   at->second);
}

}  // namespace jet::check
