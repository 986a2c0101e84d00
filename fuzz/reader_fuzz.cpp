// libFuzzer entry: any bytes as a database file. The reader must answer with a jet::Error or
// a result, never crash, hang or allocate without bound.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "jet/common/error.h"
#include "jet/common/page_source.h"
#include "jet/core/database.h"

namespace {

class BytePages : public jet::PageSource {
 public:
  BytePages(const uint8_t* data, size_t size) : bytes_(data, data + size) {
    page_size_ = size > 0x14 && data[0x14] == 0 ? 2048 : 4096;
  }
  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return static_cast<uint32_t>(bytes_.size() / page_size_); }
  std::span<const uint8_t> Page(uint32_t number) override {
    if (number >= page_count()) jet::ThrowCorrupt("page past the end");
    return std::span<const uint8_t>(bytes_).subspan(size_t{number} * page_size_, page_size_);
  }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t page_size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BytePages pages(data, size);
  try {
    auto database = jet::Database::FromPages(pages, "fuzz.mdb");
    for (const auto& table : database->tables()) {
      if (table.def.columns.empty()) continue;
      auto rows = database->Rows(table);
      jet::Row row;
      for (int i = 0; i < 10000 && rows.Next(row); ++i) {
      }
    }
  } catch (const jet::Error&) {
  }
  return 0;
}
