#include "jet/store/output_page_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <vector>

#include <unistd.h>

#include "jet/common/error.h"
#include "jet/store/file_io.h"

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

// Pages handed over as views in one call: they win over the same pages held from earlier
// single writes, a page read back before is read again, the file grows to hold them, and a
// batch larger than one system call's share still lands whole.
TEST_F(OutputPages, PagesWrittenTogetherLandAsIfWrittenOneByOne) {
  const fs::path building = dir_ / "building.mdb";
  const fs::path done = dir_ / "done.mdb";
  std::vector<std::vector<uint8_t>> expected(702, Filled(0));
  {
    OutputPageFile file(building, kPage);
    for (uint32_t n = 0; n < 4; ++n) {
      file.Write(n, Filled(static_cast<uint8_t>(n + 1)));
      expected[n] = Filled(static_cast<uint8_t>(n + 1));
    }
    file.Write(8, Filled(8));  // ends the run of 0 to 3, which reaches the file
    expected[8] = Filled(8);
    EXPECT_EQ(file.Page(2)[0], 3);  // now the page read back from the file
    file.Write(9, Filled(9));       // held, not yet in the file, when pages 2 to 9 come
    std::vector<std::vector<uint8_t>> batch;
    for (uint32_t n = 2; n < 10; ++n) batch.push_back(Filled(static_cast<uint8_t>(0x40 + n)));
    std::vector<std::span<const uint8_t>> views(batch.begin(), batch.end());
    file.WritePages(2, views);
    for (uint32_t n = 2; n < 10; ++n) expected[n] = batch[n - 2];
    EXPECT_EQ(file.Page(2)[0], 0x42);
    EXPECT_EQ(file.Page(9)[kPage - 1], 0x49);
    file.Write(3, Filled(0x33));  // a later single write wins again
    expected[3] = Filled(0x33);

    std::vector<std::vector<uint8_t>> many;
    for (uint32_t n = 0; n < 600; ++n) many.push_back(Filled(static_cast<uint8_t>(n * 7)));
    std::vector<std::span<const uint8_t>> many_views(many.begin(), many.end());
    file.WritePages(102, many_views);  // past a gap, and more pages than one call takes
    for (uint32_t n = 0; n < 600; ++n) expected[102 + n] = many[n];
    EXPECT_EQ(file.page_count(), 702u);
    EXPECT_EQ(file.Page(50)[0], 0);
    EXPECT_EQ(file.Page(701)[1], static_cast<uint8_t>(599 * 7));

    InjectFaultForTesting(InjectedFault{IoStep::kWrite, 1, ENOSPC});
    try {
      file.WritePages(702, views);
      ADD_FAILURE() << "the write survived a full disk";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), err::kDiskIo);
    }
    InjectFaultForTesting(std::nullopt);
    EXPECT_EQ(file.page_count(), 702u) << "a failed write does not grow the file";

    const std::vector<uint8_t> short_page(100, 0);
    const std::vector<std::span<const uint8_t>> wrong = {std::span<const uint8_t>(short_page)};
    EXPECT_THROW(file.WritePages(702, wrong), Error);
    EXPECT_EQ(file.page_count(), 702u);
    file.Finish(done);
  }
  std::vector<uint8_t> all;
  for (const auto& page : expected) all.insert(all.end(), page.begin(), page.end());
  EXPECT_EQ(FileBytes(done), all);
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
