#pragma once

// Runs the built vantrel-cli as a script would, and makes the databases its tests work on.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "jet/core/database.h"
#include "jet/write/database_writer.h"

namespace vantrel::test {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<std::string> OutLines() const;
};

// The program with these arguments, its standard output and error caught in files of `dir`.
CliRun RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& dir);

std::string ReadText(const std::filesystem::path& path);

// A new table's definition with the fields and indexes of `table` as they are.
jet::NewTable CopyOf(const jet::TableInfo& table, const std::string& name);

// Replaces the table by one of the same name with the fields `change` leaves in the copy;
// the rows stay behind (a reference's rows play no part).
void RedefineTable(jet::DatabaseWriter& writer, const std::string& table,
                   const std::function<void(jet::NewTable&)>& change);

}  // namespace vantrel::test
