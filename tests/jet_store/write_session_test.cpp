#include "jet/store/write_session.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "jet/common/error.h"
#include "jet/core/database.h"
#include "tests/support/corpus.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;
using jet::store::InjectedFault;
using jet::store::IoStep;
using jet::store::WriteSession;

std::vector<uint8_t> Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t FilesIn(const fs::path& dir) { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }

class WriteSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    database = dir / "local.mdb";
    fs::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", database);
    original = Bytes(database);
  }
  void TearDown() override { jet::store::InjectFaultForTesting(std::nullopt); }

  // Changes one byte of the last page (a page nothing reads during open).
  static void ChangeLastPage(WriteSession& session) {
    auto page = session.pages().MutablePage(session.pages().page_count() - 1);
    page[100] ^= 0xFF;
  }

  TempDir dir;
  fs::path database;
  std::vector<uint8_t> original;
};

TEST_F(WriteSessionTest, CommitReplacesTheFileAndTheLockFileComesAndGoes) {
  ::chmod(database.c_str(), 0640);
  {
    auto session = WriteSession::Open(database);
    EXPECT_TRUE(fs::exists(dir / "local.ldb"));
    ChangeLastPage(*session);
    const uint32_t added = session->pages().AppendPage();
    session->pages().MutablePage(added)[0] = 0x01;
    EXPECT_EQ(Bytes(database), original) << "nothing reaches the file before the commit";
    session->Commit();
    // The session goes on over the new file.
    EXPECT_EQ(session->pages().Page(added)[0], 0x01);
  }
  const auto now = Bytes(database);
  ASSERT_EQ(now.size(), original.size() + 4096);
  EXPECT_NE(now[original.size() - 4096 + 100], original[original.size() - 4096 + 100]);
  EXPECT_TRUE(std::equal(original.begin(), original.end() - 4096, now.begin()));
  EXPECT_FALSE(fs::exists(dir / "local.ldb"));
  EXPECT_EQ(FilesIn(dir.path()), 1u) << "no shadow file is left";
  struct stat info {};
  ASSERT_EQ(::stat(database.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_NO_THROW(jet::Database::Open(database));
}

TEST_F(WriteSessionTest, DroppedSessionLeavesTheFileAsItWas) {
  {
    auto session = WriteSession::Open(database);
    ChangeLastPage(*session);
  }
  EXPECT_EQ(Bytes(database), original);
  EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST_F(WriteSessionTest, SecondWriterIsRefusedAsInUse) {
  auto first = WriteSession::Open(database);
  try {
    WriteSession::Open(database);
    FAIL() << "opened twice";
  } catch (const jet::Error& error) {
    EXPECT_EQ(error.number(), jet::err::kInUseExclusive);
  }
  EXPECT_TRUE(fs::exists(dir / "local.ldb")) << "the refused writer must not remove the holder's lock file";
}

TEST_F(WriteSessionTest, ReadOnlyAndMissingFilesAreRefused) {
  try {
    WriteSession::Open(dir / "missing.mdb");
    FAIL();
  } catch (const jet::Error& error) {
    EXPECT_EQ(error.number(), jet::err::kCannotOpenFile);
  }
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write read-only files";
  ::chmod(database.c_str(), 0444);
  try {
    WriteSession::Open(database);
    FAIL();
  } catch (const jet::Error& error) {
    EXPECT_EQ(error.number(), jet::err::kReadOnly);
  }
  EXPECT_FALSE(fs::exists(dir / "local.ldb"));
}

// Whatever step of the commit fails, the database is byte-identical afterwards, no stray file
// is left, the error says what happened, and the same commit succeeds once the fault is gone.
TEST_F(WriteSessionTest, FailingWriteSyncOrRenameLeavesTheOriginal) {
  for (IoStep step : {IoStep::kWrite, IoStep::kSync, IoStep::kRename}) {
    for (int error : {ENOSPC, EIO, EACCES}) {
      for (int nth = 1; nth <= (step == IoStep::kWrite ? 3 : 1); ++nth) {
        auto session = WriteSession::Open(database);
        ChangeLastPage(*session);
        jet::store::InjectFaultForTesting(InjectedFault{step, nth, error});
        try {
          session->Commit();
          ADD_FAILURE() << "commit survived the fault";
        } catch (const jet::Error& failure) {
          EXPECT_EQ(failure.number(), jet::err::kDiskIo);
        }
        EXPECT_EQ(Bytes(database), original);
        EXPECT_EQ(FilesIn(dir.path()), 2u) << "the database and its lock file only";
        jet::store::InjectFaultForTesting(std::nullopt);
        session->Commit();
        session.reset();
        EXPECT_NE(Bytes(database), original);
        fs::remove(database);
        fs::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", database);
      }
    }
  }
}

}  // namespace
}  // namespace vantrel::test
