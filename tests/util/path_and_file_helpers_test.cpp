#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "tests/support/corpus.h"
#include "tests/util/scripted_platform.h"
#include "util/busy_cursor.h"
#include "util/file_errors.h"
#include "util/file_exists.h"
#include "util/path_helpers.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

TEST(PathHelpers, TakePathsApartAtTheLastSeparator) {
  EXPECT_EQ(util::FileDaPath("C:\\Dati\\sede.mdb", "\\", false), "sede.mdb");
  EXPECT_EQ(util::FileDaPath("C:\\Dati\\sede.mdb", "\\", true), "sede");
  EXPECT_EQ(util::FileDaPath("C:\\Dati\\sede.2024.mdb", "\\", true), "sede");
  EXPECT_EQ(util::FileDaPath("C:\\Dati\\", "\\", false), "");
  EXPECT_EQ(util::FileDaPath("sede.mdb", "\\", false), "");  // a bare name has no separator
  EXPECT_EQ(util::FileDaPath("C:\\Dati\\se\"de.mdb", "\\", false), "se de.mdb");
  EXPECT_EQ(util::FileDaPath("\"C:\\Dati\\sede.mdb\"", "\\", false), "sede.mdb");
  EXPECT_EQ(util::FileDaPath("/srv/dati/KVO_ref.mdb", "\\", true), "KVO_ref");
  EXPECT_EQ(util::FileDaPath("a|b|c", "|", false), "c");

  EXPECT_EQ(util::DirDaPath("C:\\Dati\\sede.mdb", "\\"), "C:\\Dati\\");
  EXPECT_EQ(util::DirDaPath(" sede.mdb ", "\\"), "sede.mdb");
  EXPECT_EQ(util::DirDaPath("/srv/dati/sede.mdb", "\\"), "/srv/dati/");
  EXPECT_EQ(util::DirDaPath("C:\\sede.mdb", "\\"), "C:\\");
}

TEST(PathHelpers, OneTrailingSeparatorIsPutOnOrTakenOff) {
  std::string path = "  C:\\Dati\\  ";
  EXPECT_EQ(util::XBarFromPath(path, false, "\\"), "C:\\Dati");
  EXPECT_EQ(path, "C:\\Dati\\");  // the caller's variable is trimmed
  path = "C:\\Dati";
  EXPECT_EQ(util::XBarFromPath(path, true, "\\"), "C:\\Dati\\");
  path = "C:\\Dati\\";
  EXPECT_EQ(util::XBarFromPath(path, true, "\\"), "C:\\Dati\\");
  path = "C:\\Dati\\\\";
  EXPECT_EQ(util::XBarFromPath(path, false, "\\"), "C:\\Dati\\");
  path = "   ";
  EXPECT_EQ(util::XBarFromPath(path, true, "\\"), "");
  path = "C:\\Dati\\";
  EXPECT_EQ(util::XBarFromPath(path, false, "\\\\"), "C:\\Dati\\");  // a longer separator never matches
}

TEST(FileErrors, MessagesStylesTitlesAndAnswers) {
  ScriptedPlatform platform;
  platform.answers = {4};
  EXPECT_EQ(util::FileErrors(platform, 71, "A:\\sede.mdb"), util::kFileErrorRetry);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "Il disco non è pronto   A:");
  EXPECT_EQ(platform.boxes[0].style, 53);
  EXPECT_EQ(platform.boxes[0].title, "Errori su  A:\\sede.mdb");

  platform.answers = {1};
  EXPECT_EQ(util::FileErrors(platform, 76, "C:\\Dati\\sede.mdb"), util::kFileErrorGiveUp);
  EXPECT_EQ(platform.boxes.back().title, "Errori su  C:\\Dati");
  EXPECT_EQ(platform.boxes.back().text, "Questo percorso non esiste.");

  platform.answers = {5};
  EXPECT_EQ(util::FileErrors(platform, 62, "x"), util::kFileErrorIgnore);
  EXPECT_EQ(platform.boxes.back().text,
            "L'archivio ha un fine-file non standard,\no è stata fatta una lettura oltre la fine.");
  EXPECT_EQ(platform.boxes.back().style, 48);
  platform.answers = {3};
  EXPECT_EQ(util::FileErrors(platform, 52, "x"), util::kFileErrorGiveUp);
  platform.answers = {7};
  EXPECT_EQ(util::FileErrors(platform, 64, "x"), util::kFileErrorNoMessage);

  const size_t shown = platform.boxes.size();
  EXPECT_EQ(util::FileErrors(platform, 53, "C:\\sede.mdb"), util::kFileErrorNoMessage);
  EXPECT_EQ(platform.boxes.size(), shown);  // file not found has no message
}

TEST(FileExists, FindsFilesPatternsAndQuotedPaths) {
  TempDir dir;
  std::ofstream(dir / "sede.mdb") << "x";
  fs::create_directory(dir / "cartella");
  ScriptedPlatform platform;

  std::string quoted = "\"" + (dir / "sede.mdb").string() + "\"";
  EXPECT_TRUE(util::FileExists(platform, quoted));
  EXPECT_EQ(quoted, (dir / "sede.mdb").string());  // the caller's variable loses the quotes

  std::string pattern = (dir / "se?e.*").string();
  EXPECT_TRUE(util::FileExists(platform, pattern));
  pattern = (dir / "*.ldb").string();
  EXPECT_FALSE(util::FileExists(platform, pattern));

  std::string folder = (dir / "cartella").string();
  EXPECT_FALSE(util::FileExists(platform, folder));  // folders are not ordinary files
  EXPECT_TRUE(util::FileExists(platform, folder, 16));

  std::string missing = (dir / "manca" / "sede.mdb").string();
  EXPECT_FALSE(util::FileExists(platform, missing));
  std::string blank = "   ";
  EXPECT_FALSE(util::FileExists(platform, blank));
  EXPECT_TRUE(platform.boxes.empty());
}

TEST(FileExists, RetryLooksAgainAsOftenAsTheUserAsks) {
  ScriptedPlatform platform;
  int lookups = 0;
  auto not_ready_twice = [&](const std::string&, int16_t) -> std::optional<std::string> {
    if (++lookups <= 2) throw util::FileLookupError{71};
    return "sede.mdb";
  };
  platform.answers = {4, 4};
  std::string path = "A:\\sede.mdb";
  EXPECT_TRUE(util::FileExists(platform, path, 0, not_ready_twice));
  EXPECT_EQ(lookups, 3);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[0].text, "Il disco non è pronto   A:");

  // Cancel gives False at once; an error without a message gives False without a box.
  lookups = 0;
  platform.answers = {2};
  EXPECT_FALSE(util::FileExists(platform, path, 0, not_ready_twice));
  EXPECT_EQ(lookups, 1);
  auto unknown = [](const std::string&, int16_t) -> std::optional<std::string> { throw util::FileLookupError{53}; };
  const size_t shown = platform.boxes.size();
  EXPECT_FALSE(util::FileExists(platform, path, 0, unknown));
  EXPECT_EQ(platform.boxes.size(), shown);
}

TEST(FileExists, UnreadableFolderIsAnAccessError) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  TempDir dir;
  fs::create_directory(dir / "chiusa");
  fs::permissions(dir / "chiusa", fs::perms::none);
  ScriptedPlatform platform;
  std::string path = (dir / "chiusa" / "*.mdb").string();
  EXPECT_FALSE(util::FileExists(platform, path));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "Errore di accesso al percorso/file");
  fs::permissions(dir / "chiusa", fs::perms::owner_all);
}

TEST(BusyCursor, HourglassAndBackEachPaintedAtOnce) {
  ScriptedPlatform platform;
  util::BusyCursorOn(platform);
  util::BusyCursorOff(platform);
  EXPECT_EQ(platform.pointers, (std::vector<int>{util::kPointerHourglass, util::kPointerDefault}));
  EXPECT_EQ(platform.events, 2);
}

}  // namespace
}  // namespace vantrel::test
