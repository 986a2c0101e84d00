#include "jet/check/check_report.h"

namespace jet::check {

std::string Describe(const Finding& finding) {
  std::string line = finding.severity == Severity::kError ? "error" : "warning";
  if (finding.page != 0) line += " page " + std::to_string(finding.page);
  if (!finding.table.empty()) line += " [" + finding.table + "]";
  return line + ": " + finding.text;
}

std::string Describe(const CheckReport& report) {
  std::string text;
  for (const Finding& finding : report.findings) text += Describe(finding) + "\n";
  return text;
}

}  // namespace jet::check
