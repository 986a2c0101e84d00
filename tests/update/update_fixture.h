#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "jet/common/error.h"
#include "tests/support/fake_engine.h"
#include "tests/support/recording_window.h"
#include "update/update_pass.h"

namespace vantrel::test {

inline constexpr int32_t kSystemAttributes = static_cast<int32_t>(0x80000002u);
inline constexpr int32_t kLinkedAttributes = 0x40000000;

inline FakeField Text(const std::string& name, int32_t size) { return FakeField{.name = name, .type = 10, .size = size}; }
inline FakeField Long(const std::string& name) { return FakeField{.name = name, .type = 4, .size = 4}; }
inline FakeField OfType(const std::string& name, int16_t type) { return FakeField{.name = name, .type = type, .size = 0}; }

inline FakeTable Anagrafica() {
  return FakeTable{.name = "ANAGRAFICA",
                   .fields = {Long("ID"), Text("NOME", 50)},
                   .indexes = {FakeIndex{.name = "PrimaryKey", .primary = true, .unique = true, .fields = {"ID"}}}};
}

inline FakeTable MSysObjects() {
  return FakeTable{.name = "MSysObjects", .attributes = kSystemAttributes, .fields = {Long("Id")}};
}

inline const std::string kFailureTitle = "ERRORE in aggiornamento";

inline std::string FailureText(const std::string& table, const std::string& description) {
  return "ERRORE in aggiornamento DB: tabella " + table + "\n" + description +
         "\n\nRILANCIARE la fase di aggiornamento del DataBase (bottone 'ESEGUI'). ";
}

class UpdatePassTest : public ::testing::Test {
 protected:
  void Run(const FakeSchema& reference, const FakeSchema& local) {
    engine->Add("ref.mdb", reference);
    engine->Add("loc.mdb", local);
    state.LPathAgg = "ref.mdb";
    state.LPathLoc = "loc.mdb";
    state.nErrore = 1;  // as the update command leaves it
    update::RunUpdate(state, window, *engine);
  }

  FakeSchema Local() const { return engine->Snapshot("loc.mdb"); }

  const FakeTable* LocalTable(const std::string& name) const {
    local_snapshot_ = Local();
    auto found = std::find_if(local_snapshot_.tables.begin(), local_snapshot_.tables.end(),
                              [&](const FakeTable& table) { return table.name == name; });
    return found == local_snapshot_.tables.end() ? nullptr : &*found;
  }

  std::vector<std::string> LocalTableNames() const {
    std::vector<std::string> names;
    for (const FakeTable& table : Local().tables) names.push_back(table.name);
    return names;
  }

  // Makes the `nth` (1-based) call named `call` fail with an engine error.
  void FailCall(const std::string& call, int nth, int32_t number = 3259, const std::string& text = "Engine refused") {
    engine->before_call = [=, seen = 0](const std::string& name) mutable {
      if (name == call && ++seen == nth) throw jet::Error(number, text);
    };
  }

  // The pass ended as a failure: box shown, log pale red, everything released.
  void ExpectFailureReport(const std::string& table, const std::string& description) {
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, FailureText(table, description));
    EXPECT_EQ(window.boxes[0].style, 16);
    EXPECT_EQ(window.boxes[0].title, kFailureTitle);
    EXPECT_NE(state.nErrore, 0);
    EXPECT_EQ(state.sErrore, description);
    EXPECT_EQ(window.colours.back(), schema::kRunLogPaleRed);
    ExpectReleased();
  }

  void ExpectSuccess() {
    EXPECT_EQ(state.nErrore, 0) << state.sErrore;
    EXPECT_TRUE(window.boxes.empty());
    ASSERT_FALSE(window.colours.empty());
    EXPECT_EQ(window.colours.back(), schema::kRunLogPaleGreen);
    ExpectReleased();
  }

  void ExpectReleased() {
    EXPECT_EQ(engine->close_count(), engine->open_count());
    EXPECT_EQ(state.dbAgg, nullptr);
    EXPECT_EQ(state.dbLoc, nullptr);
    EXPECT_EQ(state.wsDAO, nullptr);
    EXPECT_EQ(window.busy_depth, 0);
  }

  // Held by pointer: the fake hands out objects bound to its address, so a case that runs
  // twice takes a fresh one.
  std::unique_ptr<FakeEngine> engine = std::make_unique<FakeEngine>();
  RecordingWindow window;
  schema::PassState state;

 private:
  mutable FakeSchema local_snapshot_;
};

}  // namespace vantrel::test
