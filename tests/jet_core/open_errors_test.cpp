#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "jet/common/error.h"
#include "jet/core/database.h"
#include "jet/core/header_page.h"
#include "tests/support/corpus.h"

namespace vantrel::test {
namespace {

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int32_t OpenError(const std::filesystem::path& path) {
  try {
    jet::Database::Open(path);
  } catch (const jet::Error& error) {
    return error.number();
  }
  return 0;
}

TEST(OpenDatabase, RefusesWhatIsNotAReadableJetDatabaseWithJetNumbers) {
  VANTREL_REQUIRE_CORPUS();
  TempDir dir;
  const auto sample = ReadFile(CorpusDir() / "jet4" / "testV2000.mdb");

  EXPECT_EQ(OpenError(dir / "missing.mdb"), jet::err::kCannotOpenFile);

  WriteFile(dir / "empty.mdb", {});
  EXPECT_EQ(OpenError(dir / "empty.mdb"), jet::err::kUnrecognizedFormat);

  WriteFile(dir / "text.mdb", std::vector<uint8_t>(8192, 'x'));
  EXPECT_EQ(OpenError(dir / "text.mdb"), jet::err::kUnrecognizedFormat);

  auto accdb = sample;
  accdb[0x14] = 0x02;  // the ACE formats of .accdb
  WriteFile(dir / "ace.accdb", accdb);
  EXPECT_EQ(OpenError(dir / "ace.accdb"), jet::err::kUnrecognizedFormat);

  // Cut inside a page, and cut at a page boundary before the catalog ends.
  WriteFile(dir / "mid.mdb", std::vector<uint8_t>(sample.begin(), sample.begin() + 4096 * 3 + 100));
  EXPECT_EQ(OpenError(dir / "mid.mdb"), jet::err::kCorrupt);
  WriteFile(dir / "two.mdb", std::vector<uint8_t>(sample.begin(), sample.begin() + 4096 * 2));
  EXPECT_EQ(OpenError(dir / "two.mdb"), jet::err::kCorrupt);

  std::filesystem::create_directory(dir / "folder.mdb");
  EXPECT_NE(OpenError(dir / "folder.mdb"), 0);
}

TEST(OpenDatabase, PasswordProtectedFileFailsLikeDaoWithoutThePassword) {
  VANTREL_REQUIRE_CORPUS();
  try {
    jet::Database::Open(CorpusDir() / "jet4" / "passwordV2000.mdb");
    FAIL() << "opened";
  } catch (const jet::Error& error) {
    EXPECT_EQ(error.number(), jet::err::kNotValidPassword);
    EXPECT_STREQ(error.description(), "Not a valid password.");
  }
}

TEST(OpenDatabase, HeaderGivesFormatCodePageAndSortOrder) {
  VANTREL_REQUIRE_CORPUS();
  auto jet4 = jet::Database::Open(CorpusDir() / "jet4" / "testV2000.mdb");
  EXPECT_EQ(jet4->format(), jet::Format::kJet4);
  EXPECT_EQ(jet4->header().code_page, 1252);
  EXPECT_EQ(jet4->header().sort_order, 0x0409);
  auto jet3 = jet::Database::Open(CorpusDir() / "jet3" / "testV1997.mdb");
  EXPECT_EQ(jet3->format(), jet::Format::kJet3);
  EXPECT_EQ(jet3->header().code_page, 1252);
}

// Damage anywhere must come out as an engine error: never a crash, a hang or a huge
// allocation. Each copy has a run of bytes of one page overwritten.
TEST(OpenDatabase, DamagedCopiesFailCleanly) {
  VANTREL_REQUIRE_CORPUS();
  TempDir dir;
  for (const char* name : {"jet4/testV2000.mdb", "jet3/testV1997.mdb", "jet4/queryTestV2000.mdb"}) {
    const auto sample = ReadFile(CorpusDir() / name);
    const size_t page_size = sample[0x14] == 0 ? 2048 : 4096;
    std::mt19937 random(42);
    for (int round = 0; round < 60; ++round) {
      auto bytes = sample;
      const size_t page = 1 + random() % (bytes.size() / page_size - 1);
      const size_t at = page * page_size + random() % page_size;
      const size_t length = 1 + random() % 64;
      for (size_t i = at; i < std::min(bytes.size(), at + length); ++i) bytes[i] = static_cast<uint8_t>(random());
      WriteFile(dir / "damaged.mdb", bytes);
      try {
        auto database = jet::Database::Open(dir / "damaged.mdb");
        for (const auto& table : database->tables()) {
          if (table.def.columns.empty()) continue;
          auto rows = database->Rows(table);
          jet::Row row;
          while (rows.Next(row)) {
          }
        }
      } catch (const jet::Error&) {
      }
    }
  }
}

TEST(HeaderPage, MaskIsItsOwnInverse) {
  std::vector<uint8_t> page(4096, 0);
  const auto masked = jet::UnmaskHeaderPage(page, jet::Format::kJet4);
  EXPECT_NE(masked, page);
  EXPECT_EQ(jet::UnmaskHeaderPage(masked, jet::Format::kJet4), page);
  // Jet 3 masks two bytes fewer.
  const auto masked3 = jet::UnmaskHeaderPage(std::vector<uint8_t>(2048, 0), jet::Format::kJet3);
  EXPECT_EQ(masked3[0x18 + 126], 0);
}

}  // namespace
}  // namespace vantrel::test
