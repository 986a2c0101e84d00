#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vantrel::test {

// The folder of Access-made sample databases, or an empty path when this checkout has none.
std::filesystem::path CorpusDir();

// Every .mdb of the corpus (jet3/ and jet4/), sorted by path; empty without a corpus.
std::vector<std::filesystem::path> CorpusFiles();

// expected/<folder>-<name>.json for a corpus file.
std::filesystem::path ExpectedJsonFor(const std::filesystem::path& mdb);

// A fresh empty folder under the system's temporary folder, removed when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace vantrel::test

// Skips the current test when the sample databases are not beside the checkout.
#define VANTREL_REQUIRE_CORPUS()                                                        \
  do {                                                                                 \
    if (::vantrel::test::CorpusDir().empty()) GTEST_SKIP() << "no sample databases"; \
  } while (0)
