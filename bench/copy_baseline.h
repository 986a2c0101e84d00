#pragma once
// The baseline the file benchmarks measure against: a plain copy of the file made durable,
// which is what `cp` and a sync cost.
#include <filesystem>

#include "jet/store/file_io.h"

namespace bench {

inline void CopyDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  auto file = jet::store::OpenExisting(to, jet::store::OpenMode::kReadWrite);
  jet::store::SyncFile(file, to);
}

}  // namespace bench
