#include "jet/store/output_page_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <unistd.h>

#include "jet/common/error.h"
#include "jet/store/background_writer.h"
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

// Each case runs with the writes going past the system's cache, where this machine's
// filesystem has such writes, and through it.
class OutputPages : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    BackgroundWriter::DisableUncachedWritesForTesting(!GetParam());
    dir_ = fs::temp_directory_path() / ("vantrel_output_pages_" + std::to_string(::getpid()) + "_" +
                                        std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        (GetParam() ? "_uncached" : "_cached"));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    BackgroundWriter::DisableUncachedWritesForTesting(false);
    InjectFaultForTesting(std::nullopt);
    fs::remove_all(dir_);
  }
  fs::path dir_;
};

INSTANTIATE_TEST_SUITE_P(CachedAndNot, OutputPages, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Uncached" : "Cached"; });

// Pages gathered into runs must read back and land in the file exactly as if each had been
// written at once: rewritten inside the run, read while still held, read after a page that
// ends the run, with a gap the file reads as zeros, and a run longer than one write.
TEST_P(OutputPages, PagesReadBackAndReachTheFileAsWritten) {
  const fs::path building = dir_ / "building.mdb";
  const fs::path done = dir_ / "done.mdb";
  constexpr uint32_t kPages = 2600;  // more than two writes' worth
  std::vector<std::vector<uint8_t>> expected(kPages, Filled(0));
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
    for (uint32_t n = 10; n < kPages; ++n) {  // neighbours, some read back while their write waits
      file.Write(n, Filled(static_cast<uint8_t>(n)));
      expected[n] = Filled(static_cast<uint8_t>(n));
      if (n % 97 == 0) {
        EXPECT_EQ(file.Page(n - 50)[7], static_cast<uint8_t>(n - 50));
      }
    }
    file.Write(300, Filled(0x30));  // a page whose first write may still be queued
    expected[300] = Filled(0x30);
    EXPECT_EQ(file.Page(300)[0], 0x30);
    EXPECT_EQ(file.Page(kPages - 1)[0], static_cast<uint8_t>(kPages - 1));
    file.Finish(done);
  }
  std::vector<uint8_t> all;
  for (const auto& page : expected) all.insert(all.end(), page.begin(), page.end());
  const std::vector<uint8_t> landed = FileBytes(done);
  ASSERT_EQ(landed.size(), all.size());
  for (size_t page = 0; page < all.size() / kPage; ++page)
    ASSERT_TRUE(std::equal(all.begin() + page * kPage, all.begin() + (page + 1) * kPage, landed.begin() + page * kPage))
        << "page " << page;
  EXPECT_FALSE(fs::exists(building));
}

// Pages handed over as views in one call: they win over the same pages held from earlier
// single writes, a page read back before is read again, the file grows to hold them, and a
// batch larger than one system call's share still lands whole.
TEST_P(OutputPages, PagesWrittenTogetherLandAsIfWrittenOneByOne) {
  const fs::path building = dir_ / "building.mdb";
  const fs::path done = dir_ / "done.mdb";
  std::vector<std::vector<uint8_t>> expected(2102, Filled(0));
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
    for (uint32_t n = 0; n < 2000; ++n) many.push_back(Filled(static_cast<uint8_t>(n * 7)));
    std::vector<std::span<const uint8_t>> many_views(many.begin(), many.end());
    file.WritePages(102, many_views);  // past a gap, and more pages than one write takes
    for (uint32_t n = 0; n < 2000; ++n) expected[102 + n] = many[n];
    EXPECT_EQ(file.page_count(), 2102u);
    EXPECT_EQ(file.Page(50)[0], 0);
    EXPECT_EQ(file.Page(2101)[1], static_cast<uint8_t>(1999 * 7));

    const std::vector<uint8_t> short_page(100, 0);
    const std::vector<std::span<const uint8_t>> wrong = {std::span<const uint8_t>(short_page)};
    EXPECT_THROW(file.WritePages(2102, wrong), Error);
    EXPECT_EQ(file.page_count(), 2102u) << "a refused batch does not grow the file";
    file.Finish(done);
  }
  std::vector<uint8_t> all;
  for (const auto& page : expected) all.insert(all.end(), page.begin(), page.end());
  EXPECT_EQ(FileBytes(done), all);
}

// The writes go on behind the builder, so a failed one is raised by a later call: at the
// latest by Finish, which then names nothing, and the half-built file goes.
TEST_P(OutputPages, AFailedWriteIsRaisedLaterAndLeavesNothingBehind) {
  const fs::path building = dir_ / "building.mdb";
  const fs::path done = dir_ / "done.mdb";
  {
    OutputPageFile file(building, kPage);
    for (uint32_t n = 0; n < 1500; ++n) file.Write(n, Filled(static_cast<uint8_t>(n)));
    InjectFaultForTesting(InjectedFault{IoStep::kWrite, 1, ENOSPC});
    try {
      for (uint32_t n = 1500; n < 4000; ++n) file.Write(n, Filled(1));
      file.Finish(done);
      ADD_FAILURE() << "the file was finished after a write failed";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), err::kDiskIo);
      EXPECT_NE(std::string(error.what()).find("disk is full"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(InjectedFaultPending());
    EXPECT_THROW(file.Page(2), Error) << "a file that lost a write gives no pages back";
    EXPECT_THROW(file.Finish(done), Error);
  }
  EXPECT_FALSE(fs::exists(building));
  EXPECT_FALSE(fs::exists(done));
}

TEST_P(OutputPages, AnUnfinishedFileLeavesNothingBehind) {
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
