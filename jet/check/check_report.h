#pragma once
// What the consistency checker found in a database: a list of findings.

#include <cstdint>
#include <string>
#include <vector>

namespace jet::check {

enum class Severity : uint8_t {
  // Something Access itself leaves in files it wrote (a stale count, an unreferenced page):
  // worth knowing, not damage.
  kWarning,
  // Structure that contradicts itself: a reader may return wrong rows or fail.
  kError,
};

struct Finding {
  Severity severity = Severity::kError;
  uint32_t page = 0;   // the page the finding is about; 0 when it is about no one page
  std::string table;   // empty when it is about no one table
  std::string text;
};

struct CheckReport {
  std::vector<Finding> findings;
  // Counters, so a caller can tell a clean report from one that looked at nothing.
  uint32_t tables_checked = 0;
  uint32_t rows_checked = 0;
  uint32_t index_entries_checked = 0;
  uint32_t keys_compared = 0;  // entries whose key was rebuilt from their row and compared

  bool ok() const {
    for (const Finding& finding : findings)
      if (finding.severity == Severity::kError) return false;
    return true;
  }
  void Add(Severity severity, uint32_t page, std::string table, std::string text) {
    findings.push_back(Finding{severity, page, std::move(table), std::move(text)});
  }
  size_t CountOf(Severity severity) const {
    size_t count = 0;
    for (const Finding& finding : findings) count += finding.severity == severity;
    return count;
  }
};

// One line per finding, for logs and test messages.
std::string Describe(const Finding& finding);
std::string Describe(const CheckReport& report);

}  // namespace jet::check
