// The update pass with the disk failing under it: every write, sync and rename of its commit
// failed in turn with a full disk, an I/O error and a refused permission.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "jet/core/database.h"
#include "jet/store/file_io.h"
#include "jet/write/database_writer.h"
#include "schema/engine.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"
#include "tests/support/recording_window.h"
#include "update/update_pass.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;
using jet::store::InjectedFault;
using jet::store::IoStep;

// The same sample in both formats.
class UpdateFaultsTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    CopyWritable(CorpusDir() / GetParam(), reference_);
    auto writer = jet::DatabaseWriter::Open(reference_);
    writer->AddColumn("Table1", {"Nuovo", 10, 30});
    writer->Commit();
    RestoreLocal();
  }
  void TearDown() override { jet::store::InjectFaultForTesting(std::nullopt); }
  void RestoreLocal() {
    fs::remove(local_);
    CopyWritable(CorpusDir() / GetParam(), local_);
    original_ = FileBytes(local_);
  }
  schema::PassState Run() {
    schema::PassState state;
    state.LPathAgg = reference_.string();
    state.LPathLoc = local_.string();
    window_ = RecordingWindow();
    update::RunUpdate(state, window_, schema::TheEngine());
    return state;
  }

  TempDir folder_;
  fs::path reference_ = folder_ / "ref.mdb";
  fs::path local_ = folder_ / "loc.mdb";
  std::string original_;
  RecordingWindow window_;
};

TEST_P(UpdateFaultsTest, EveryFailedStepOfTheCommitLeavesTheLocalDatabaseAndAllowsARerun) {
  int faults = 0;
  for (IoStep step : {IoStep::kWrite, IoStep::kSync, IoStep::kRename}) {
    for (int error : {ENOSPC, EIO, EACCES}) {
      for (int nth = 1;; ++nth) {
        jet::store::InjectFaultForTesting(InjectedFault{step, nth, error});
        const schema::PassState state = Run();
        const bool fired = !jet::store::InjectedFaultPending();
        jet::store::InjectFaultForTesting(std::nullopt);
        if (!fired) {
          ASSERT_EQ(state.nErrore, 0) << state.sErrore;
          RestoreLocal();
          break;
        }
        if (state.nErrore == 0) {
          // Only the folder's sync may fail without failing the update: the new file is in
          // place by then.
          EXPECT_EQ(step, IoStep::kSync);
          RestoreLocal();
          continue;
        }
        ++faults;
        SCOPED_TRACE("step " + std::to_string(static_cast<int>(step)) + " call " + std::to_string(nth));
        ASSERT_TRUE(FileBytes(local_) == original_);
        EXPECT_FALSE(window_.boxes.empty()) << "the user must be told";
        EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 2) << "ref.mdb and loc.mdb only";
      }
    }
  }
  // The commit writes the file in chunks: the Access 97 sample is small enough for one, so
  // there each of the 3 steps fails once with each of the 3 errors.
  EXPECT_GE(faults, GetParam().rfind("jet3", 0) == 0 ? 9 : 21);
  std::printf("faults injected into update commits: %d\n", faults);
  const schema::PassState state = Run();
  EXPECT_EQ(state.nErrore, 0) << state.sErrore;
  EXPECT_NE(jet::Database::Open(local_)->FindTable("Table1")->FindField("Nuovo"), nullptr);
  EXPECT_EQ(CheckErrors(local_), std::vector<std::string>{});
}

// A pass that fails part way (a rebuild whose copy meets a value the new type cannot hold)
// keeps none of its changes: the local database is the old one, every row in place, and
// running the update again meets the same value instead of a half-updated database.
TEST_P(UpdateFaultsTest, AFailedPassLeavesTheLocalDatabaseAsItWas) {
  {
    auto writer = jet::DatabaseWriter::Open(reference_);
    writer->CreateTable({"Aaa", {{"Codice", 4, 4}}, {{}}, {}});
    writer->AddColumn("Table2", {"Altro", 10, 10});
    writer->DeleteColumn("Table1", "E");
    writer->AddColumn("Table1", {"E", 3, 2});  // a local row holds 333333333 here
    writer->Commit();
  }
  for (int run = 0; run < 2; ++run) {
    const schema::PassState state = Run();
    EXPECT_NE(state.nErrore, 0);
    ASSERT_FALSE(window_.boxes.empty());
    EXPECT_EQ(window_.boxes.back().title, "ERRORE in aggiornamento");
    EXPECT_EQ(window_.boxes.back().text.find("are in table"), std::string::npos) << "no rows were moved";
    EXPECT_TRUE(FileBytes(local_) == original_) << "run " << run;
  }
}

INSTANTIATE_TEST_SUITE_P(SampleFiles, UpdateFaultsTest, ::testing::Values("jet4/testV2000.mdb", "jet3/testV1997.mdb"),
                         [](const auto& info) { return fs::path(info.param).stem().string(); });

}  // namespace
}  // namespace vantrel::test
