#include "jet/store/output_page_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <unistd.h>

#include "jet/common/error.h"

namespace jet::store {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kPage = 4096;

std::vector<uint8_t> Filled(uint8_t value) { return std::vector<uint8_t>(kPage, value); }

std::vector<uint8_t> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class OutputPages : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vantrel_output_pages_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// Pages gathered into runs must read back and land in the file exactly as if each had been
// written at once: rewritten inside the run, read while still held, read after a page that
// ends the run, with a gap the file reads as zeros, and a run longer than one write.
TEST_F(OutputPages, PagesReadBackAndReachTheFileAsWritten) {
  const fs::path building = dir_ / "building.mdb";
  const fs::path done = dir_ / "done.mdb";
  std::vector<std::vector<uint8_t>> expected(600, Filled(0));
  {
    OutputPageFile file(building, kPage);
    for (uint32_t n = 0; n < 4; ++n) {
      file.Write(n, Filled(static_cast<uint8_t>(n + 1)));
      expected[n] = Filled(static_cast<uint8_t>(n + 1));
    }
    file.Write(1, Filled(0x11));  // inside the run still held
    expected[1] = Filled(0x11);
    EXPECT_EQ(file.Page(1)[0], 0x11);
    EXPECT_EQ(file.Page(3)[kPage - 1], 4);
    file.Write(9, Filled(9));  // past a gap: pages 4 to 8 read as zeros
    expected[9] = Filled(9);
    EXPECT_EQ(file.page_count(), 10u);
    const auto gap = file.Page(6);
    EXPECT_EQ(std::vector<uint8_t>(gap.begin(), gap.end()), Filled(0));
    EXPECT_EQ(file.Page(2)[0], 3);  // back before the run, from the file
    file.Write(2, Filled(0x22));    // and changed again once out of the run
    expected[2] = Filled(0x22);
    EXPECT_EQ(file.Page(2)[5], 0x22);
    for (uint32_t n = 10; n < 600; ++n) {  // more than one write's worth of neighbours
      file.Write(n, Filled(static_cast<uint8_t>(n)));
      expected[n] = Filled(static_cast<uint8_t>(n));
    }
    EXPECT_EQ(file.Page(300)[0], static_cast<uint8_t>(300));
    EXPECT_EQ(file.Page(599)[0], static_cast<uint8_t>(599));
    file.Finish(done);
  }
  std::vector<uint8_t> all;
  for (const auto& page : expected) all.insert(all.end(), page.begin(), page.end());
  EXPECT_EQ(FileBytes(done), all);
  EXPECT_FALSE(fs::exists(building));
}

TEST_F(OutputPages, AnUnfinishedFileLeavesNothingBehind) {
  const fs::path building = dir_ / "building.mdb";
  {
    OutputPageFile file(building, kPage);
    file.Write(0, Filled(1));
    file.Write(1, Filled(2));
    EXPECT_THROW(file.Write(2, std::vector<uint8_t>(100, 0)), Error);
    EXPECT_THROW(file.Page(2), Error);
  }
  EXPECT_FALSE(fs::exists(building));
}

}  // namespace
}  // namespace jet::store
