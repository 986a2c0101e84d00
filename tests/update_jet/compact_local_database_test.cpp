// Compaction of the local database after an update, on copies of an Access sample through
// the real engine: the run log, its colours, the messages, and what is left on disk.
#include "update/compact_local_database.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "jet/store/file_io.h"
#include "jet/store/write_session.h"
#include "jet/write/compaction.h"
#include "schema/engine.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"
#include "tests/support/recording_window.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

class CompactLocalDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", local_);
    original_ = FileBytes(local_);
  }
  void Compact(const std::string& box) {
    update::CompactLocalDatabase(box, state_, window_, schema::TheEngine());
  }
  std::string Header(const fs::path& path) const { return "------------- Compattamento  :   " + path.string(); }

  TempDir folder_;
  fs::path local_ = folder_ / "sede.mdb";
  std::string original_;
  schema::PassState state_;
  RecordingWindow window_;
};

TEST_F(CompactLocalDatabaseTest, SuccessLeavesOnlyTheCompactedDatabaseOnPaleGreen) {
  state_.nErrore = 0;
  Compact("  " + local_.string() + " ");
  EXPECT_EQ(window_.lines, (std::vector<std::string>{Header(local_), "Compattamento in corso ...",
                                                     "Compattatamento effettuato."}));
  EXPECT_EQ(window_.colours, (std::vector<uint32_t>{0x00F0F0FF, 0x00F0FFF0}));
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_EQ(window_.busy_depth, 0);
  EXPECT_EQ(state_.nErrore, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1) << "only sede.mdb";
  EXPECT_LT(fs::file_size(local_), original_.size());
  EXPECT_EQ(CheckErrors(local_), std::vector<std::string>{});
}

TEST_F(CompactLocalDatabaseTest, LeftoverTemporaryFileFailsWithTheGeneralMessageAndTouchesNothing) {
  { std::ofstream(folder_ / "sede.md~") << "earlier failure"; }
  state_.nErrore = 0;
  Compact(local_.string());
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, "ERRORE IN FASE DI COMPATTAMENTO DEL DATABASE " + local_.string() +
                                       "\nCHIEDERE L'INTERVENTO DEL SISTEMISTA");
  EXPECT_EQ(window_.boxes[0].style, 0);
  EXPECT_EQ(window_.boxes[0].title, "Vantrel");
  EXPECT_EQ(window_.lines.back(), local_.string() + " NON compattato");
  EXPECT_EQ(window_.colours, std::vector<uint32_t>{0x00F0F0FF}) << "stays pale red";
  EXPECT_EQ(state_.sErrore, window_.boxes[0].text);
  EXPECT_EQ(state_.nErrore, 0);
  EXPECT_EQ(FileBytes(local_), original_);
  EXPECT_EQ(FileBytes(folder_ / "sede.md~"), "earlier failure");
}

TEST_F(CompactLocalDatabaseTest, HeldDatabaseShowsTheEnginesOwnDescription) {
  auto held = jet::store::WriteSession::Open(local_);
  Compact(local_.string());
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_NE(window_.boxes[0].text.find("already opened exclusively"), std::string::npos) << window_.boxes[0].text;
  EXPECT_EQ(window_.lines.back(), local_.string() + " NON compattato");
  EXPECT_EQ(FileBytes(local_), original_);
  EXPECT_FALSE(fs::exists(folder_ / "sede.md~"));
}

// The path box may hold the path in double quotes, as the path check accepts it; the
// compaction takes the same path instead of failing on the quotes.
TEST_F(CompactLocalDatabaseTest, QuotedPathBoxCompactsTheSameFile) {
  Compact("\"" + local_.string() + "\"");
  EXPECT_TRUE(window_.boxes.empty()) << window_.boxes[0].text;
  EXPECT_EQ(window_.lines.front(), Header(local_));
  EXPECT_EQ(window_.lines.back(), "Compattatamento effettuato.");
  EXPECT_LT(fs::file_size(local_), original_.size());
}

TEST_F(CompactLocalDatabaseTest, EmptyPathBoxIsReportedWithTheGeneralMessage) {
  Compact("   ");
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text,
            "ERRORE IN FASE DI COMPATTAMENTO DEL DATABASE \nCHIEDERE L'INTERVENTO DEL SISTEMISTA");
  EXPECT_EQ(window_.lines.back(), " NON compattato");
}

// A compaction killed at any moment leaves the database as it was; at worst a finished copy
// under the temporary name, which is a sound database too.
TEST_F(CompactLocalDatabaseTest, KilledAtRandomMomentsTheDatabaseStaysIntact) {
  std::mt19937 random(20261207);
  const int kills = 40;
  int killed_while_running = 0;
  for (int round = 0; round < kills; ++round) {
    fs::remove(folder_ / "sede.md~");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        jet::CompactDatabase(local_, folder_ / "sede.md~");
      } catch (...) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    ::usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
    int status = 0;
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) ++killed_while_running;
    ASSERT_EQ(FileBytes(local_), original_) << "round " << round;
    if (fs::exists(folder_ / "sede.md~")) {
      EXPECT_EQ(CheckErrors(folder_ / "sede.md~"), std::vector<std::string>{}) << "round " << round;
    }
  }
  EXPECT_GT(killed_while_running, 0);
  // Whatever a killed run left beside the database goes when it is next opened.
  fs::remove(folder_ / "sede.md~");
  { auto session = jet::store::WriteSession::Open(local_); }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1);
}

}  // namespace
}  // namespace vantrel::test

namespace vantrel::test {
namespace {

// Every write, sync and rename of a compaction failed in turn with a full disk, an I/O error
// and a refused permission: each time the database is the old one, byte for byte, nothing is
// left beside it, the user reads the general message, and the next run succeeds.
TEST_F(CompactLocalDatabaseTest, EveryFailedWriteSyncOrRenameLeavesTheDatabaseAndAllowsARerun) {
  using jet::store::InjectedFault;
  using jet::store::IoStep;
  int faults = 0;
  for (IoStep step : {IoStep::kWrite, IoStep::kSync, IoStep::kRename}) {
    for (int error : {ENOSPC, EIO, EACCES}) {
      for (int nth = 1;; ++nth) {
        window_ = RecordingWindow();
        jet::store::InjectFaultForTesting(InjectedFault{step, nth, error});
        Compact(local_.string());
        const bool fired = !jet::store::InjectedFaultPending();
        jet::store::InjectFaultForTesting(std::nullopt);
        if (!fired) {
          // The run made fewer calls of this step, so all of them were tried; it compacted the
          // database, which goes back to the original for the next sweep.
          EXPECT_EQ(window_.lines.back(), "Compattatamento effettuato.");
          fs::remove(local_);
          CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", local_);
          break;
        }
        if (window_.boxes.empty()) continue;  // a failure the compaction may ignore (folder sync)
        ++faults;
        ASSERT_TRUE(FileBytes(local_) == original_) << "step " << static_cast<int>(step) << " call " << nth;
        EXPECT_EQ(window_.boxes[0].text, "ERRORE IN FASE DI COMPATTAMENTO DEL DATABASE " + local_.string() +
                                             "\nCHIEDERE L'INTERVENTO DEL SISTEMISTA");
        EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1) << "call " << nth;
      }
    }
  }
  // Pages reach the copy in runs of up to a megabyte, so a small database takes few writes;
  // every step still fails at least once for each error.
  EXPECT_GE(faults, 9);
  std::printf("faults injected into compactions: %d\n", faults);
  window_ = RecordingWindow();
  Compact(local_.string());
  EXPECT_EQ(window_.lines.back(), "Compattatamento effettuato.");
  EXPECT_EQ(CheckErrors(local_), std::vector<std::string>{});
}

}  // namespace
}  // namespace vantrel::test
