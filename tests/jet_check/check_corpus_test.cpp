// The checker against files Access wrote: they are consistent by definition, so every error
// it reports on them is a fault of the checker.

#include <gtest/gtest.h>

#include <cstdio>

#include "jet/check/database_check.h"
#include "jet/common/error.h"
#include "jet/core/database.h"
#include "tests/support/corpus.h"

namespace jet::check {
namespace {

TEST(CheckCorpus, EverySampleDatabaseIsClean) {
  VANTREL_REQUIRE_CORPUS();
  uint32_t tables = 0, rows = 0, entries = 0, keys = 0;
  for (const auto& file : vantrel::test::CorpusFiles()) {
    SCOPED_TRACE(file.string());
    std::unique_ptr<Database> database;
    try {
      database = Database::Open(file);
    } catch (const Error& error) {
      if (error.number() == err::kNotValidPassword) continue;
      throw;
    }
    const CheckReport report = CheckDatabase(*database);
    EXPECT_TRUE(report.ok()) << Describe(report);
    EXPECT_GT(report.tables_checked, 0u);
    tables += report.tables_checked;
    rows += report.rows_checked;
    entries += report.index_entries_checked;
    keys += report.keys_compared;
    if (!report.findings.empty()) std::printf("%s\n%s", file.filename().c_str(), Describe(report).c_str());
  }
  std::printf("%u tables, %u rows, %u index entries, %u keys rebuilt and compared\n", tables, rows, entries, keys);
}

}  // namespace
}  // namespace jet::check
