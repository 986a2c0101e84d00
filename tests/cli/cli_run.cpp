#include "tests/cli/cli_run.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vantrel::test {
namespace {

std::string Quoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::vector<std::string> CliRun::OutLines() const {
  std::vector<std::string> lines;
  std::istringstream stream(out);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

CliRun RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& dir) {
  const std::filesystem::path out = dir / "cli.out", err = dir / "cli.err";
  std::string command = "cd " + Quoted(dir.string()) + " && " + Quoted(VANTREL_CLI_PATH);
  for (const std::string& argument : arguments) command += " " + Quoted(argument);
  command += " >" + Quoted(out.string()) + " 2>" + Quoted(err.string()) + " </dev/null";
  CliRun run;
  const int raw = std::system(command.c_str());
  run.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = ReadText(out);
  run.err = ReadText(err);
  return run;
}

jet::NewTable CopyOf(const jet::TableInfo& table, const std::string& name) {
  jet::NewTable copy;
  copy.name = name;
  for (const jet::FieldInfo& field : table.fields) {
    copy.columns.push_back({field.name(), field.dao_type, field.size});
    copy.properties.emplace_back();
  }
  for (const jet::IndexInfo& index : table.indexes) {
    if (index.foreign_key) continue;
    jet::NewIndex kept{index.name, index.primary, index.unique, {}};
    for (const jet::IndexFieldInfo& field : index.fields) kept.fields.push_back(field.name);
    copy.indexes.push_back(kept);
  }
  return copy;
}

void RedefineTable(jet::DatabaseWriter& writer, const std::string& table,
                   const std::function<void(jet::NewTable&)>& change) {
  jet::NewTable copy = CopyOf(*writer.database().FindTable(table), table + "_nuova");
  change(copy);
  writer.CreateTable(copy);
  writer.DeleteTable(table);
  writer.RenameTable(table + "_nuova", table);
}

}  // namespace vantrel::test
