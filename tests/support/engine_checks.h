#pragma once

// Checks the write tests run on the files the engine wrote: the standard output of an
// independent reader (mdbtools), the number of the engine error an operation raises, and the
// damage the engine's checker finds. Header-only, so suites that never call them need not
// link the engine.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <string>
#include <vector>

#include "jet/check/database_check.h"
#include "jet/common/error.h"
#include "jet/core/database.h"

namespace vantrel::test {

// What the shell command prints on its standard output.
inline std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
    ::pclose(pipe);
  }
  return text;
}

// Every row of a table of the database, in scan order.
inline std::vector<jet::Row> RowsOf(jet::Database& database, const std::string& table) {
  std::vector<jet::Row> rows;
  auto cursor = database.Rows(*database.FindTable(table));
  for (jet::Row row; cursor.Next(row);) rows.push_back(row);
  return rows;
}

// A file's bytes, for checking that something was left exactly as it was.
inline std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Copies a sample database to where a test changes it; the samples are read-only, the copy
// must not be.
inline void CopyWritable(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::copy_file(from, to);
  std::filesystem::permissions(to, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
}

// The number of the engine error the operation raises; 0 when it succeeds.
inline int32_t ErrorOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const jet::Error& error) {
    return error.number();
  }
  return 0;
}

// The checker's error findings for the file, as "table: text"; warnings left out.
inline std::vector<std::string> CheckErrors(const std::filesystem::path& path) {
  auto database = jet::Database::Open(path);
  std::vector<std::string> errors;
  for (const auto& finding : jet::check::CheckDatabase(*database).findings)
    if (finding.severity == jet::check::Severity::kError) errors.push_back(finding.table + ": " + finding.text);
  return errors;
}

}  // namespace vantrel::test
