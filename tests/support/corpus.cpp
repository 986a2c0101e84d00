#include "tests/support/corpus.h"

#include <algorithm>
#include <atomic>
#include <random>
#include <system_error>

#include <unistd.h>

namespace vantrel::test {

namespace fs = std::filesystem;

fs::path CorpusDir() {
  fs::path dir = VANTREL_CORPUS_DIR;
  std::error_code ec;
  if (fs::is_directory(dir / "jet4", ec) || fs::is_directory(dir / "jet3", ec)) return dir;
  return {};
}

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  fs::path dir = CorpusDir();
  if (dir.empty()) return files;
  for (const char* folder : {"jet3", "jet4"}) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir / folder, ec)) {
      if (entry.path().extension() == ".mdb") files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

fs::path ExpectedJsonFor(const fs::path& mdb) {
  std::string folder = mdb.parent_path().filename().string();
  return CorpusDir() / "expected" / (folder + "-" + mdb.stem().string() + ".json");
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device seed;
  for (;;) {
    fs::path candidate = fs::temp_directory_path() /
                         ("vantrel-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
                          std::to_string(seed() % 100000));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace vantrel::test
