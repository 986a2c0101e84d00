#include "jet/store/file_io.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// The copy lands at its own offset whichever way it goes, leaves the bytes around it alone,
// and a source that ends early is a damaged file rather than a short copy reported whole.
TEST_F(FileIo, CopyRangeCopiesInTheKernelOrThroughMemory) {
  const fs::path source_path = dir_ / "source.bin";
  std::vector<uint8_t> source(3 * 1024 * 1024 + 123);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 131 + i / 4096);
  {
    FileHandle file = CreateNew(source_path);
    WriteAll(file, source, source_path);
  }
  for (bool through_memory : {false, true}) {
    SCOPED_TRACE(through_memory ? "through memory" : "in the kernel");
    DisableKernelCopyForTesting(through_memory);
    const fs::path target_path = dir_ / (through_memory ? "memory.bin" : "kernel.bin");
    FileHandle from = OpenExisting(source_path, OpenMode::kRead);
    FileHandle to = CreateNew(target_path);
    const std::vector<uint8_t> filler(8192, 0xEE);
    WriteAll(to, filler, target_path);
    CopyRange(from, 4096, to, 100, source.size() - 4096, source_path, target_path);
    CopyRange(from, 0, to, 50, 0, source_path, target_path);  // nothing to copy, nothing changes
    std::vector<uint8_t> got(static_cast<size_t>(FileSize(to, target_path)));
    ReadAt(to, 0, got, target_path);
    ASSERT_EQ(got.size(), 100 + source.size() - 4096);
    EXPECT_TRUE(std::all_of(got.begin(), got.begin() + 100, [](uint8_t b) { return b == 0xEE; }));
    EXPECT_TRUE(std::equal(source.begin() + 4096, source.end(), got.begin() + 100));
    try {
      CopyRange(from, source.size() - 10, to, 0, 4096, source_path, target_path);
      FAIL() << "a copy past the source's end should fail";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), err::kCorrupt);
    }
    InjectFaultForTesting(InjectedFault{IoStep::kWrite, 1, ENOSPC});
    try {
      CopyRange(from, 0, to, 0, 4096, source_path, target_path);
      FAIL() << "the injected write fault should fire";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), err::kDiskIo);
    }
  }
  DisableKernelCopyForTesting(false);
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
    // A page copied into the caller's buffer reads as the page itself, and one past the end
    // is refused as Page refuses it.
    std::vector<uint8_t> copied(4096, 0xEE);
    reader.CopyPage(0, copied);
    EXPECT_EQ(copied, page);
    EXPECT_THROW(reader.CopyPage(1, copied), Error);
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
