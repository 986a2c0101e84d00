#pragma once

// An engine that keeps databases in memory, for tests of the passes that need schemas no
// sample file has (temporary names, kept queries, fields of every type and size). It follows
// the object model's rules as DAO does: positions are 0-based, Append and Delete act at once,
// names are unique case-insensitively, detached objects are stored only by Append.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "schema/engine.h"

namespace vantrel::test {

// Every member has an initialiser, so that tests may name only the members they care about.
struct FakeField {
  std::string name{};
  int16_t type = 10;
  int32_t size = 50;
  bool allow_zero_length = false;
  std::string default_value{};
  int16_t ordinal_position = 0;
  bool required = false;
  std::string validation_rule{};
  std::string validation_text{};
};

struct FakeIndex {
  std::string name{};
  bool primary = false;
  bool unique = false;
  std::vector<std::string> fields{};
};

struct FakeTable {
  std::string name{};
  int32_t attributes = 0;
  std::vector<FakeField> fields{};
  std::vector<FakeIndex> indexes{};
};

struct FakeQuery {
  std::string name{};
  std::string sql{};
};

// What one database file holds.
struct FakeSchema {
  std::vector<FakeTable> tables{};
  std::vector<FakeQuery> queries{};
  std::vector<std::string> statements{};  // every Execute, in order
};

class FakeEngine : public schema::DBEngine {
 public:
  FakeEngine();

  // The database a path names; OpenDatabase fails with 3024 for a path that has none.
  void Add(const std::string& path, const FakeSchema& schema);
  // What the database at `path` holds now.
  FakeSchema Snapshot(const std::string& path) const;

  // Called before every engine call with its name ("OpenDatabase", "Fields.Item", ...); it
  // may throw to simulate a failing call.
  std::function<void(const std::string& call)> before_call;

  int open_count() const { return open_count_; }
  int close_count() const { return close_count_; }

  schema::WorkspaceRef Workspaces(int16_t position) override;
  void CompactDatabase(const std::string& source, const std::string& destination) override;

  // Used by the objects the engine hands out.
  void Call(const std::string& name) {
    if (before_call) before_call(name);
  }
  schema::DatabaseRef Open(const std::string& path);
  void NoteClose() { ++close_count_; }

  struct Store;

 private:
  std::map<std::string, std::shared_ptr<Store>> files_;
  schema::WorkspaceRef workspace_;
  int open_count_ = 0;
  int close_count_ = 0;
};

}  // namespace vantrel::test
