// Both passes given a local (or reference) database that is no database at all, a damaged
// one, one this engine must not touch, or a good one under an awkward path. A bad file must
// end the pass as a failure the user is told about, and must be left exactly as it was, with
// nothing written beside it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "jet/core/database.h"
#include "jet/write/database_writer.h"
#include "schema/engine.h"
#include "schema/verify_pass.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"
#include "tests/support/recording_window.h"
#include "update/update_pass.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

int bad_inputs_tried = 0;

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every name under the folder, so that a lock file or a temporary copy left behind shows.
std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) names.insert(entry.path().string());
  return names;
}

void CopyWritable(const fs::path& from, const fs::path& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
}

enum class Pass { kVerify, kUpdate };
const char* NameOf(Pass pass) { return pass == Pass::kVerify ? "verify" : "update"; }

struct Outcome {
  schema::PassState state;
  RecordingWindow window;
};

Outcome RunPass(Pass pass, const fs::path& reference, const fs::path& local) {
  Outcome outcome;
  outcome.state.LPathAgg = reference.string();
  outcome.state.LPathLoc = local.string();
  if (pass == Pass::kVerify)
    schema::VerifyUpdate(outcome.state, outcome.window, schema::TheEngine());
  else
    update::RunUpdate(outcome.state, outcome.window, schema::TheEngine());
  return outcome;
}

// What the user was shown: message boxes and run-log lines, one text.
std::string Shown(const RecordingWindow& window) {
  std::string text;
  for (const auto& box : window.boxes) text += box.title + " | " + box.text + "\n";
  for (const auto& line : window.lines) text += line + "\n";
  return text;
}

class BadInputTest : public ::testing::Test {
 protected:
  static void TearDownTestSuite() { std::printf("[ bad input ] %d bad inputs tried\n", bad_inputs_tried); }

  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    // A reference that differs from every local below, so a pass that wrongly opened the
    // bad file would have something to write into it.
    reference = dir / "ref.mdb";
    CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", reference);
    auto writer = jet::DatabaseWriter::Open(reference);
    writer->AddColumn("Table1", {"Nuovo", 10, 30});
    writer->Commit();
  }

  // Runs both passes with `bad` as one side; each must fail, say so, and leave `bad` and the
  // folder as they were.
  void ExpectRefused(const fs::path& bad, const std::string& what, bool bad_is_reference = false) {
    ++bad_inputs_tried;
    const bool is_file = fs::is_regular_file(bad);
    const std::string before = is_file ? Bytes(bad) : std::string();
    const std::string reference_before = Bytes(reference);
    const auto listing_before = Listing(dir.path());
    for (Pass pass : {Pass::kVerify, Pass::kUpdate}) {
      SCOPED_TRACE(std::string(NameOf(pass)) + " pass, " + what);
      const Outcome outcome =
          bad_is_reference ? RunPass(pass, bad, good_local) : RunPass(pass, reference, bad);
      EXPECT_NE(outcome.state.nErrore, 0) << "a bad database was reported as a success";
      EXPECT_FALSE(outcome.state.sErrore.empty());
      const std::string shown = Shown(outcome.window);
      EXPECT_FALSE(shown.empty()) << "the user is not told what happened";
      if (!outcome.state.sErrore.empty()) {
        EXPECT_NE(shown.find(outcome.state.sErrore), std::string::npos) << shown;
      }
      if (is_file) {
        EXPECT_TRUE(Bytes(bad) == before) << "the bad file was changed";
      }
      EXPECT_TRUE(Bytes(reference) == reference_before) << "the reference was changed";
      EXPECT_EQ(Listing(dir.path()), listing_before) << "something was left beside the file";
      EXPECT_EQ(outcome.window.busy_depth, 0);
    }
  }

  void TruncatedCase(const fs::path& source, uint64_t pages_kept, int& updated);

  TempDir dir;
  fs::path reference;
  fs::path good_local;
};

TEST_F(BadInputTest, EmptyAndRandomFilesAreRefused) {
  const fs::path empty = dir / "vuoto.mdb";
  WriteBytes(empty, "");
  ExpectRefused(empty, "empty file");

  std::mt19937 random(20261207);
  for (size_t size : {size_t{100}, size_t{4096}, size_t{4096 * 7}, size_t{4096 * 7 + 123}}) {
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
    const fs::path noise = dir / ("rumore" + std::to_string(size) + ".mdb");
    WriteBytes(noise, bytes);
    ExpectRefused(noise, "random bytes, " + std::to_string(size));
    fs::remove(noise);
  }
}

// A file cut at a page boundary. When the cut took only pages the update never needs (the
// last index page of a table it does not touch), the update may finish: it must then add no
// damage of its own to what the checker already finds. Every other cut must be refused.
void BadInputTest::TruncatedCase(const fs::path& source, uint64_t pages_kept, int& updated) {
  const fs::path cut = dir / "tronco.mdb";
  WriteBytes(cut, Bytes(source).substr(0, pages_kept * 4096));
  const std::string what = source.filename().string() + " cut after page " + std::to_string(pages_kept);
  TempDir scratch;
  const fs::path probe = scratch / "prova.mdb";
  fs::copy_file(cut, probe);
  const Outcome outcome = RunPass(Pass::kUpdate, reference, probe);
  if (outcome.state.nErrore != 0) {
    ExpectRefused(cut, what);
  } else {
    ++updated;
    ++bad_inputs_tried;
    std::printf("[ truncated ] %s: the update finished\n", what.c_str());
    const auto damage_before = CheckErrors(cut);
    for (const std::string& finding : CheckErrors(probe))
      EXPECT_NE(std::find(damage_before.begin(), damage_before.end(), finding), damage_before.end())
          << what << ": the update added damage: " << finding;
  }
  fs::remove(cut);
}

TEST_F(BadInputTest, FilesCutAtAPageBoundaryAreRefused) {
  const fs::path small = dir / "small.mdb";
  const fs::path big = dir / "big.mdb";
  CopyWritable(CorpusDir() / "jet4" / "emptyV2000.mdb", small);
  CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", big);
  int updated = 0;
  const uint64_t small_pages = fs::file_size(small) / 4096;
  for (uint64_t kept = 1; kept < small_pages; ++kept) TruncatedCase(small, kept, updated);
  // The big file: the first pages, where the catalog lives, and an even sample of the rest.
  const uint64_t big_pages = fs::file_size(big) / 4096;
  std::set<uint64_t> sample = {1, 2, 3, 4, big_pages - 1};
  for (uint64_t k = 1; k <= 16; ++k) sample.insert(k * big_pages / 17);
  for (uint64_t kept : sample) TruncatedCase(big, kept, updated);
  std::printf("[ truncated ] %llu cuts of emptyV2000 and %zu of testV2000; %d updated\n",
              static_cast<unsigned long long>(small_pages - 1), sample.size(), updated);
}

// emptyV2000 cut after page 7 keeps MSysObjects' definition (page 2) but not its data pages:
// the catalog reads as one without even its own row. Both passes must call that damage, not
// a database without tables.
TEST_F(BadInputTest, FileWhoseCatalogWasCutAwayIsRefused) {
  const fs::path cut = dir / "tronco.mdb";
  WriteBytes(cut, Bytes(CorpusDir() / "jet4" / "emptyV2000.mdb").substr(0, 7 * 4096));
  ExpectRefused(cut, "emptyV2000 cut after page 7");
}

TEST_F(BadInputTest, AccessTwoThousandSevenFilesAreRefused) {
  for (char version : {'\x02', '\x03'}) {
    const fs::path accdb = dir / ("accdb" + std::to_string(version) + ".mdb");
    CopyWritable(CorpusDir() / "jet4" / "emptyV2000.mdb", accdb);
    std::string bytes = Bytes(accdb);
    bytes[0x14] = version;
    WriteBytes(accdb, bytes);
    ExpectRefused(accdb, "version byte " + std::to_string(version));
    fs::remove(accdb);
  }
}

TEST_F(BadInputTest, PasswordProtectedFileIsRefused) {
  const fs::path locked = dir / "password.mdb";
  CopyWritable(CorpusDir() / "jet4" / "passwordV2000.mdb", locked);
  ExpectRefused(locked, "password-protected");
}

TEST_F(BadInputTest, ReadOnlyFileIsRefusedUntouched) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
  const fs::path read_only = dir / "solalettura.mdb";
  CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", read_only);
  fs::permissions(read_only, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                  fs::perm_options::replace);
  ++bad_inputs_tried;
  const std::string before = Bytes(read_only);
  const auto listing = Listing(dir.path());
  const Outcome outcome = RunPass(Pass::kUpdate, reference, read_only);
  EXPECT_NE(outcome.state.nErrore, 0);
  EXPECT_FALSE(Shown(outcome.window).empty());
  EXPECT_TRUE(Bytes(read_only) == before);
  EXPECT_EQ(Listing(dir.path()), listing);
}

TEST_F(BadInputTest, FolderInsteadOfAFileIsRefused) {
  const fs::path folder = dir / "cartella.mdb";
  fs::create_directory(folder);
  ExpectRefused(folder, "a folder");
  const fs::path missing = dir / "manca.mdb";
  ExpectRefused(missing, "no such file");
  EXPECT_FALSE(fs::exists(missing)) << "opening created the missing file";
}

TEST_F(BadInputTest, BadReferenceLeavesAGoodLocalUntouched) {
  good_local = dir / "loc.mdb";
  CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", good_local);
  const std::string local_before = Bytes(good_local);
  const fs::path empty = dir / "vuoto.mdb";
  WriteBytes(empty, "");
  ExpectRefused(empty, "empty reference", true);
  const fs::path cut = dir / "tronco.mdb";
  WriteBytes(cut, Bytes(reference).substr(0, 4096 * 3));
  ExpectRefused(cut, "truncated reference", true);
  // A reference whose catalog pages were cut away must not read as a database without
  // tables: the update would then drop every local table.
  const fs::path no_catalog = dir / "senzacatalogo.mdb";
  WriteBytes(no_catalog, Bytes(CorpusDir() / "jet4" / "emptyV2000.mdb").substr(0, 7 * 4096));
  ExpectRefused(no_catalog, "reference with its catalog cut away", true);
  const fs::path folder = dir / "cartella";
  fs::create_directory(folder);
  ExpectRefused(folder, "folder as reference", true);
  const fs::path locked = dir / "password.mdb";
  CopyWritable(CorpusDir() / "jet4" / "passwordV2000.mdb", locked);
  ExpectRefused(locked, "password-protected reference", true);
  EXPECT_TRUE(Bytes(good_local) == local_before);
}

// A reference cut anywhere: the update either refuses it and leaves the local as it was, or
// reads enough of it to finish, and then no local table the whole reference has is dropped.
TEST_F(BadInputTest, CutReferenceNeverCostsALocalTable) {
  const std::string whole = Bytes(reference);
  const uint64_t pages = whole.size() / 4096;
  const fs::path cut = dir / "rif_tronco.mdb";
  const fs::path local = dir / "loc.mdb";
  int finished = 0, refused = 0;
  for (uint64_t k = 1; k <= 24; ++k) {
    const uint64_t kept = k * pages / 25;
    WriteBytes(cut, whole.substr(0, kept * 4096));
    CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", local);
    const std::string local_before = Bytes(local);
    ++bad_inputs_tried;
    const Outcome outcome = RunPass(Pass::kUpdate, cut, local);
    SCOPED_TRACE("reference cut after page " + std::to_string(kept));
    if (outcome.state.nErrore != 0) {
      ++refused;
      EXPECT_FALSE(Shown(outcome.window).empty());
      EXPECT_TRUE(Bytes(local) == local_before);
    } else {
      ++finished;
      auto database = jet::Database::Open(local);
      for (const char* table : {"Table1", "Table2", "Table3", "Table4"})
        EXPECT_NE(database->FindTable(table), nullptr) << table << " was dropped";
    }
  }
  std::printf("[ cut reference ] %d refused, %d finished\n", refused, finished);
}

// A good pair under a path the engine must pass through unchanged: blanks, accented letters,
// a folder chain near the old 260-character limit.
void ExpectUpdatesUnder(const fs::path& reference, const fs::path& folder) {
  fs::create_directories(folder);
  const fs::path local = folder / "locale è.mdb";
  CopyWritable(CorpusDir() / "jet4" / "testV2000.mdb", local);
  const auto listing = Listing(folder);
  const Outcome verify = RunPass(Pass::kVerify, reference, local);
  EXPECT_EQ(verify.state.nErrore, 0) << verify.state.sErrore << Shown(verify.window);
  EXPECT_FALSE(verify.window.lines.empty()) << "the verify found no difference";
  const Outcome update = RunPass(Pass::kUpdate, reference, local);
  EXPECT_EQ(update.state.nErrore, 0) << update.state.sErrore << Shown(update.window);
  auto database = jet::Database::Open(local);
  ASSERT_NE(database->FindTable("Table1"), nullptr);
  EXPECT_NE(database->FindTable("Table1")->FindField("Nuovo"), nullptr) << local;
  EXPECT_EQ(Listing(folder), listing) << "something was left beside the file";
}

TEST_F(BadInputTest, GoodFilesUnderAwkwardPathsAreUpdated) {
  ExpectUpdatesUnder(reference, dir / "con spazi" / "due  spazi ");
  ExpectUpdatesUnder(reference, dir / "àèìòù" / "perché");
  fs::path deep = dir.path();
  while (deep.string().size() < 240) deep /= "cartella_lunga_" + std::to_string(deep.string().size());
  ExpectUpdatesUnder(reference, deep);
  // The reference under an awkward path too.
  const fs::path odd_reference = dir / "rif è con spazi.mdb";
  fs::copy_file(reference, odd_reference);
  ExpectUpdatesUnder(odd_reference, dir / "altra");
}

}  // namespace
}  // namespace vantrel::test
