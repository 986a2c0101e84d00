#include "jet/store/file_io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

#include "jet/common/error.h"
#include "jet/store/file_page_reader.h"

namespace jet::store {
namespace {

namespace fs = std::filesystem;

class FileIo : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vantrel_file_io_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    InjectFaultForTesting(std::nullopt);
    fs::remove_all(dir_);
  }
  fs::path dir_;
};

TEST_F(FileIo, InjectedFaultFiresOnTheNthCallOnceWithAJetError) {
  const fs::path path = dir_ / "out.bin";
  FileHandle file = CreateNew(path);
  const std::vector<uint8_t> bytes(100, 7);
  InjectFaultForTesting(InjectedFault{IoStep::kWrite, 2, ENOSPC});
  WriteAll(file, bytes, path);
  try {
    WriteAll(file, bytes, path);
    FAIL() << "the second write should fail";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), err::kDiskIo);
    EXPECT_NE(std::string(error.what()).find("disk is full"), std::string::npos);
  }
  WriteAll(file, bytes, path);  // the fault is gone
  EXPECT_EQ(FileSize(file, path), 200u);
}

TEST_F(FileIo, ReaderRefusesWhatIsNotAWholeJetFile) {
  const fs::path path = dir_ / "bad.mdb";
  auto write = [&](std::vector<uint8_t> bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  std::vector<uint8_t> page(4096, 0);
  page[1] = 1;
  std::copy_n("Standard Jet DB", 16, page.begin() + 4);
  page[0x14] = 1;

  write(page);
  {
    FileHandle file = OpenExisting(path, OpenMode::kRead);
    FilePageReader reader(file, path);
    EXPECT_EQ(reader.page_count(), 1u);
    EXPECT_THROW(reader.Page(1), Error);
  }
  std::vector<uint8_t> cut(page.begin(), page.begin() + 3000);
  write(cut);
  {
    FileHandle file = OpenExisting(path, OpenMode::kRead);
    EXPECT_THROW(FilePageReader(file, path), Error);
  }
  page[0x14] = 2;  // an .accdb
  write(page);
  {
    FileHandle file = OpenExisting(path, OpenMode::kRead);
    try {
      FilePageReader reader(file, path);
      FAIL();
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), err::kUnrecognizedFormat);
    }
  }
  try {
    OpenExisting(dir_ / "missing.mdb", OpenMode::kRead);
    FAIL();
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), err::kCannotOpenFile);
  }
}

}  // namespace
}  // namespace jet::store
